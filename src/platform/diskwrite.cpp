// Whole-file writes with the errno of a failure, behind a seam that tests replace.
#include "diskwrite.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex gFailureMutex;
std::function<int(const QString&)> gFailure;

int InjectedFailure(const QString& path)
{
    QMutexLocker lock(&gFailureMutex);
    return gFailure ? gFailure(path) : 0;
}

}  // namespace

int WriteWholeFile(const QString& path, const QByteArray& data)
{
    if (const int injected = InjectedFailure(path))
        return injected;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    const char* p = data.constData();
    qint64 left = data.size();
    int error = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        // A short write is followed by one that reports why it stopped.
        p += n;
        left -= n;
    }
    // Some file systems report a full disk only when the file is closed.
    // (Linux closes the file also when close is interrupted.)
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

int ReplaceWholeFile(const QString& path, const QByteArray& data)
{
    const QString part = path + QLatin1String(kUnfinishedSuffix);
    int error = WriteWholeFile(part, data);
    if (error == 0 && std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0)
        QFile::remove(part);
    return error;
}

bool IsNoSpaceError(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

void SetDiskWriteFailure(std::function<int(const QString& path)> failure)
{
    QMutexLocker lock(&gFailureMutex);
    gFailure = std::move(failure);
}

int DiskWriteRefusal(const QString& path)
{
    return InjectedFailure(path);
}
