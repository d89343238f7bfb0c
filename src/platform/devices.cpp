// LED device and I/O privilege behind the platform seam.
#include "devices.h"

#include <fcntl.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include "commandrunner.h"
#include "systempaths.h"

namespace {
QMutex gDeviceMutex;
QList<unsigned long> gLedRequests;
QList<int> gBacklightWrites;
const char* const kBacklightPowerPath = "/sys/class/backlight/intel_backlight/bl_power";
}  // namespace

int Devices::openLed()
{
    const QByteArray path = SysPath("/dev/led").toLocal8Bit();
    return ::open(path.constData(), O_RDWR);
}

int Devices::ledIoctl(int fd, unsigned long request)
{
    if (fd <= 0)
        return -1;
    if (CommandRunner::mode() != CommandRunner::Real) {
        QMutexLocker lock(&gDeviceMutex);
        gLedRequests.append(request);
        return 0;
    }
    return ::ioctl(fd, request);
}

QList<unsigned long> Devices::recordedLedRequests()
{
    QMutexLocker lock(&gDeviceMutex);
    return gLedRequests;
}

void Devices::clearRecordedLedRequests()
{
    QMutexLocker lock(&gDeviceMutex);
    gLedRequests.clear();
}

int Devices::writeBacklightPower(int value)
{
    if (CommandRunner::mode() != CommandRunner::Real) {
        QMutexLocker lock(&gDeviceMutex);
        gBacklightWrites.append(value);
        return 0;
    }
    QFile file(SysPath(QString::fromLatin1(kBacklightPowerPath)));
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    return file.write(QByteArray::number(value) + '\n') > 0 ? 0 : -1;
}

QList<int> Devices::recordedBacklightWrites()
{
    QMutexLocker lock(&gDeviceMutex);
    return gBacklightWrites;
}

void Devices::clearRecordedBacklightWrites()
{
    QMutexLocker lock(&gDeviceMutex);
    gBacklightWrites.clear();
}

int Devices::requestIoPrivilege(int level)
{
    if (CommandRunner::mode() != CommandRunner::Real)
        return 0;
    return ::iopl(level);
}
