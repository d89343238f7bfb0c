// The LED/LCD device and port I/O privilege, used only where the panel has them.
#pragma once

#include <QList>

class Devices
{
public:
    // Opens the LED device ("/dev/led" under the system root) read-write; -1 when missing.
    static int openLed();
    // ioctl on the LED device; does nothing (returns -1) for a descriptor <= 0. In record
    // mode the request is only remembered.
    static int ledIoctl(int fd, unsigned long request);
    static QList<unsigned long> recordedLedRequests();
    static void clearRecordedLedRequests();

    // Back-light power of the newer panel kernels ("/sys/class/backlight/intel_backlight/
    // bl_power" under the system root: 0 on, 1 off). Written only in real mode; otherwise
    // the value is only remembered. Returns 0 on success, -1 when the file cannot be written.
    static int writeBacklightPower(int value);
    static QList<int> recordedBacklightWrites();
    static void clearRecordedBacklightWrites();

    // Port I/O privilege; asked of the kernel only in real mode.
    static int requestIoPrivilege(int level);
};
