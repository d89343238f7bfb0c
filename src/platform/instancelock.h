// Locks that keep a second monitor off a working folder and off an IO board's serial device.
#pragma once

#include <QString>

// Each lock is an flock on a small file, held on an open descriptor until the process ends:
// the kernel drops it when the process dies, however it dies, so no stale lock survives a
// crash or a power cut. The holder's process id is written into the file for the message a
// refused second monitor gives.
class InstanceLock
{
public:
    // monitor.lock in the working folder. False, with the reason, when another process holds it.
    static bool holdWorkFolder(QString* why);
    // The lock of one serial device, and the device itself (flock on a descriptor of the
    // device: two runtime folders with roots of their own meet there); true at once for a
    // device this process already holds.
    static bool holdSerialDevice(const QString& device, QString* why);
    // Where a device's lock lives: /run/lock through the path mapping on the panel and wherever
    // a root is mapped; off the panel without a mapped root, in the working folder (nothing is
    // written under the host's /run).
    static QString serialLockPath(const QString& device);
};
