// Maps the absolute system paths the program reads and writes onto a configurable root.
#pragma once

#include <QString>

class SystemPaths
{
public:
    // The folder that stands for "/" of the panel; empty means the real root.
    static void setRoot(const QString& root);
    static QString root();

    // "/proc/cpuinfo" -> "<root>/proc/cpuinfo". Relative paths are returned unchanged.
    static QString map(const QString& absolutePath);

    // The serial device of board port n ("/dev/ttyS%1"), or the configured override.
    static void setSerialDevice(const QString& path);
    static QString serialDevice(int port);
};

// Short form used by every caller.
inline QString SysPath(const QString& absolutePath)
{
    return SystemPaths::map(absolutePath);
}
