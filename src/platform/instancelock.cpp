// flock-held locks of the working folder and of the serial device.
#include "instancelock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include "commandrunner.h"
#include "systempaths.h"

namespace {

const char* const kWorkFolderLock = "monitor.lock";
const char* const kLockFolder = "/run/lock";
const char* const kSerialLockPrefix = "monitor-serial-";

QMutex gLockMutex;
QStringList gHeld;  // lock files this process holds

// Who holds a lock, from the process id its holder wrote, when that process still runs.
QString holderText(const QString& path)
{
    QFile f(path);
    bool ok = false;
    const qint64 pid = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong(&ok) : 0;
    if (ok && pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM))
        return QStringLiteral("another monitor (process %1)").arg(pid);
    return QStringLiteral("another process");
}

// Takes the lock of path and keeps its descriptor open for the rest of the process; the
// descriptor, or -1 with the reason (gLockMutex held).
int holdLocked(const QString& absolute, const QString& what, QString* why)
{
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    const int fd = ::open(QFile::encodeName(absolute).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (why)
            *why = QStringLiteral("the lock %1 cannot be opened: %2")
                       .arg(absolute, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (why)
            *why = error == EWOULDBLOCK
                       ? QStringLiteral("%1 already runs %2; its lock is %3").arg(holderText(absolute), what, absolute)
                       : QStringLiteral("the lock %1 cannot be taken: %2")
                             .arg(absolute, QString::fromLocal8Bit(std::strerror(error)));
        return -1;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::write(fd, pid.constData(), size_t(pid.size())) != pid.size()) {
        // The lock holds all the same; only the message of a refused monitor is poorer.
    }
    return fd;
}

// The device itself, locked on a descriptor of its own: the lock files of two runtime folders
// that map different roots never meet, the device does. A device that cannot be opened has
// nobody to share it with (the port reports it when it opens). False when another holds it.
bool holdDeviceLocked(const QString& device, int* fd, QString* why)
{
    *fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0 || ::flock(*fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    const int error = errno;
    ::close(*fd);
    *fd = -1;
    if (why)
        *why =
            error == EWOULDBLOCK
                ? QStringLiteral("another process already runs on the IO board at %1; it holds the device").arg(device)
                : QStringLiteral("the IO board at %1 cannot be locked: %2")
                      .arg(device, QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

}  // namespace

bool InstanceLock::holdWorkFolder(QString* why)
{
    QMutexLocker lock(&gLockMutex);
    const QString absolute = QFileInfo(QString::fromLatin1(kWorkFolderLock)).absoluteFilePath();
    if (gHeld.contains(absolute))
        return true;
    if (holdLocked(absolute, QStringLiteral("in this working folder (%1)").arg(QDir::currentPath()), why) < 0)
        return false;
    gHeld << absolute;
    return true;
}

bool InstanceLock::holdSerialDevice(const QString& device, QString* why)
{
    QMutexLocker lock(&gLockMutex);
    const QString absolute = QFileInfo(serialLockPath(device)).absoluteFilePath();
    if (gHeld.contains(absolute))
        return true;
    const int fileFd = holdLocked(absolute, QStringLiteral("on the IO board at %1").arg(device), why);
    if (fileFd < 0)
        return false;
    int deviceFd = -1;
    if (!holdDeviceLocked(device, &deviceFd, why)) {
        ::close(fileFd);  // not this monitor's board: the lock file goes with it
        return false;
    }
    gHeld << absolute;
    return true;
}

QString InstanceLock::serialLockPath(const QString& device)
{
    QString name = QFileInfo(device).absoluteFilePath();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name = QString::fromLatin1(kSerialLockPrefix) + name.mid(1) + QStringLiteral(".lock");
    const bool mapped = !SystemPaths::root().isEmpty();
    if (mapped || CommandRunner::mode() == CommandRunner::Real)
        return SysPath(QString::fromLatin1(kLockFolder)) + QLatin1Char('/') + name;
    return name;
}
