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

// Takes the lock of path and keeps its descriptor open for the rest of the process.
bool hold(const QString& path, const QString& what, QString* why)
{
    QMutexLocker lock(&gLockMutex);
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (gHeld.contains(absolute))
        return true;
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    const int fd = ::open(QFile::encodeName(absolute).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (why)
            *why = QStringLiteral("the lock %1 cannot be opened: %2")
                       .arg(absolute, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (why)
            *why = error == EWOULDBLOCK
                       ? QStringLiteral("%1 already runs %2; its lock is %3").arg(holderText(absolute), what, absolute)
                       : QStringLiteral("the lock %1 cannot be taken: %2")
                             .arg(absolute, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::write(fd, pid.constData(), size_t(pid.size())) != pid.size()) {
        // The lock holds all the same; only the message of a refused monitor is poorer.
    }
    gHeld << absolute;
    return true;
}

}  // namespace

bool InstanceLock::holdWorkFolder(QString* why)
{
    return hold(QString::fromLatin1(kWorkFolderLock),
                QStringLiteral("in this working folder (%1)").arg(QDir::currentPath()), why);
}

bool InstanceLock::holdSerialDevice(const QString& device, QString* why)
{
    return hold(serialLockPath(device), QStringLiteral("on the IO board at %1").arg(device), why);
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
