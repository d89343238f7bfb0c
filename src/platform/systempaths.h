// Maps the absolute system paths the program reads and writes onto a configurable root.
#pragma once

#include <QPair>
#include <QString>
#include <QVector>

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
    // The override alone; empty on the panel, where the port number picks the device.
    static QString configuredSerialDevice();
};

// Short form used by every caller.
inline QString SysPath(const QString& absolutePath)
{
    return SystemPaths::map(absolutePath);
}

// The mount table (/proc/mounts through the mapping) as (device, mount point) pairs, the
// table's octal escapes undone; false when it cannot be read.
bool ReadMountTable(QVector<QPair<QString, QString>>& out);
// Whether something is mounted exactly at `mountPoint` (a whole field, never a prefix:
// "/mnt" is not "/mnt0").
bool IsMountPoint(const QString& mountPoint);
