// What keeps the program from starting: a platform file that cannot be trusted, another monitor.
#pragma once

#include <QString>

// Tells why the program does not start, on standard error and in the log folder, and returns
// exitCode. Before the log manager exists the reason is the only line of a log file of its
// own: starting the run's log would archive the files of a monitor that still runs.
int RefuseStart(const QString& why, int exitCode);

// The start-up's first steps: platform.json (its command mode, paths and ports), then the locks
// of the working folder and, when platform.json names it, of the IO board's serial device.
// 0 when the program may start, otherwise the exit code after RefuseStart.
int ClaimPlatform();
