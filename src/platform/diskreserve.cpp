// The stop's room on the working disk: set aside behind a page kept for the stop's note, given back to the stop's writes.
#include "diskreserve.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include "diskwrite.h"

namespace DiskReserve {

namespace {

// A page that begins with the note mark lists what the last stop lost; one that begins with
// the no-room mark (or an empty file: a page that found no room at all) was left by a run
// that held no room; a page of zeros has nothing to tell.
const char kNoteMark[] = "lost at the last stop\n";
const char kNoRoomMark[] = "no room held\n";
// The room is written in pieces of this size.
constexpr qint64 kChunkBytes = 64 * 1024;

QMutex gMutex;
bool gLastRead = false;
QStringList gLast;
bool gHeld = false;
bool gReleased = false;
// A failure is logged once until the room is held again.
bool gFailureLogged = false;

QString path()
{
    return QString::fromLatin1(kFile);
}

QByteArray nativePath()
{
    return QFile::encodeName(path());
}

QStringList readPage()
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(kNoteBytes);
    if (head.isEmpty() || head.startsWith(kNoRoomMark))
        return {QString::fromLatin1(kNoRoomHeld)};
    if (!head.startsWith(kNoteMark))
        return {};
    const QByteArray text = head.mid(int(sizeof kNoteMark) - 1);
    const int end = text.indexOf('\0');
    return QString::fromUtf8(end >= 0 ? text.left(end) : text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The page of the last run is read before anything here writes over it (gMutex held).
void readLastOnce()
{
    if (gLastRead)
        return;
    gLast = readPage();
    gLastRead = true;
}

// Writes `bytes` of `data` at `offset` of fd; 0 or the errno.
int writeAt(int fd, const char* data, qint64 bytes, qint64 offset)
{
    while (bytes > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(bytes), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        bytes -= n;
        offset += n;
    }
    return 0;
}

// Writes the page whole, in place: once it stood on the disk, no new room is needed. `create`:
// the file may be made for it, before its write is asked (a full disk still has room for a
// name when it has none for a page: the empty file then says that no room was held). 0 or
// the errno.
int writePage(const QByteArray& text, bool create)
{
    QByteArray page = text.left(int(kNoteBytes) - 1);
    page.append(QByteArray(int(kNoteBytes) - page.size(), '\0'));
    const int fd = ::open(nativePath().constData(), O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0)
        return errno;
    int error = DiskWriteRefusal(path());
    if (error == 0)
        error = writeAt(fd, page.constData(), page.size(), 0);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

// The zeros behind the page, up to `bytes`; on a failure what was written goes back to the
// disk at once (the running program needs it more than half a room). 0 or the errno.
int writeRoom(qint64 bytes)
{
    if (const int refused = DiskWriteRefusal(path()))
        return refused;
    const int fd = ::open(nativePath().constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const QByteArray zeros(int(kChunkBytes), '\0');
    int error = 0;
    for (qint64 at = kNoteBytes; at < bytes && error == 0; at += kChunkBytes)
        error = writeAt(fd, zeros.constData(), std::min(kChunkBytes, bytes - at), at);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (error == 0 && ::ftruncate(fd, off_t(bytes)) != 0)
        error = errno;
    if (error != 0 && ::ftruncate(fd, off_t(kNoteBytes)) != 0)
        qWarning().noquote() << "a part-written room for the stop cannot be given back:" << std::strerror(errno);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

// The room the disk offers this program now, in bytes.
qint64 freeBytes()
{
    struct statvfs fs = {};
    if (::statvfs(".", &fs) != 0)
        return 0;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

// How much of the file stands on the disk.
qint64 allocatedBytes()
{
    struct stat st = {};
    return ::stat(nativePath().constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : 0;
}

}  // namespace

QStringList LastStopLosses()
{
    QMutexLocker lock(&gMutex);
    readLastOnce();
    return gLast;
}

bool Take(qint64 bytes)
{
    QMutexLocker lock(&gMutex);
    readLastOnce();
    // The page first, saying that no room is held: a stop that finds no room to note its
    // losses, or a crash, leaves it so, and the next start says that much.
    int error = writePage(kNoRoomMark, true);
    if (error == 0)
        error = writeRoom(bytes);
    if (error == 0)
        error = writePage(QByteArray(), false);
    gHeld = error == 0;
    if (gHeld) {
        if (gFailureLogged)
            qInfo() << "room set aside for the stop's writes again";
        gFailureLogged = false;
    } else if (!gFailureLogged) {
        gFailureLogged = true;
        qWarning().noquote() << "no room set aside for the stop's writes:" << std::strerror(error);
    }
    return gHeld;
}

bool TakeIfMissing()
{
    {
        QMutexLocker lock(&gMutex);
        if (gHeld || gReleased)
            return gHeld;
    }
    // Only when the disk seems to have the room: a try that cannot succeed would take the
    // last free blocks from the running program's writes for a moment.
    if (freeBytes() < kBytes - allocatedBytes())
        return false;
    return Take();
}

bool Held()
{
    QMutexLocker lock(&gMutex);
    return gHeld;
}

void Release()
{
    QMutexLocker lock(&gMutex);
    gReleased = true;
    gHeld = false;
    struct stat st = {};
    if (::stat(nativePath().constData(), &st) != 0 || st.st_size <= kNoteBytes)
        return;
    if (::truncate(nativePath().constData(), kNoteBytes) != 0)
        qWarning().noquote() << "the stop's room cannot be given back:" << std::strerror(errno);
}

bool NoteLosses(const QStringList& lost)
{
    QMutexLocker lock(&gMutex);
    if (lost.isEmpty()) {
        // Nothing to tell; a page that could not be cleared for want of room holds nothing
        // worth its place either.
        if (writePage(QByteArray(), false) != 0) {
            struct stat st = {};
            if (::stat(nativePath().constData(), &st) == 0 && st.st_size < kNoteBytes)
                QFile::remove(path());
        }
        return true;
    }
    const QByteArray note = QByteArray(kNoteMark) + lost.join(QLatin1Char('\n')).toUtf8().left(kNoteBytes / 2);
    const int error = writePage(note, true);
    if (error != 0)
        qWarning().noquote() << "the stop's losses cannot be noted for the next start:" << std::strerror(error);
    return error == 0;
}

void ResetForTest()
{
    QMutexLocker lock(&gMutex);
    gLastRead = false;
    gLast.clear();
    gHeld = false;
    gReleased = false;
    gFailureLogged = false;
}

}  // namespace DiskReserve
