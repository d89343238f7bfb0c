// SQLite files that are there but cannot be read, and setting them aside for a look later.
#pragma once

#include <QString>

// Whether `probe` (a select on the table every such file has) runs on `file`; *why gets the
// database's error otherwise. A missing file is not readable. A file another connection holds
// locked counts as readable: it is busy, not broken.
bool DatabaseReadable(const QString& file, const QString& probe, QString* why = nullptr);

// When `file` exists but cannot be read, renames it to "<name>-broken-<yyyyMMdd-hhmmss>.db"
// beside itself and logs an error, so that the caller puts `replacement` in its place as for
// a missing file. A replacement that cannot be read either would only bring the same state
// back at every start: the file then stays, with the error logged. True when it was set aside.
bool SetAsideBrokenDatabase(const QString& file, const QString& probe, const QString& replacement);
