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
std::function<int(const QString&)> gCloseFailure;

int InjectedFailure(const QString& path)
{
    QMutexLocker lock(&gFailureMutex);
    return gFailure ? gFailure(path) : 0;
}

// The errno of closing fd, 0 when it closed cleanly.
int CloseError(int fd, const QString& path)
{
    if (::close(fd) != 0)
        return errno;
    QMutexLocker lock(&gFailureMutex);
    return gCloseFailure ? gCloseFailure(path) : 0;
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
    const int closeError = CloseError(fd, path);
    if (error == 0 && closeError != EINTR)
        error = closeError;
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

void SetDiskCloseFailure(std::function<int(const QString& path)> failure)
{
    QMutexLocker lock(&gFailureMutex);
    gCloseFailure = std::move(failure);
}

int DiskWriteRefusal(const QString& path)
{
    return InjectedFailure(path);
}
