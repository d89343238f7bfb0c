// The stop's room on the working disk: set aside at start, given back to the stop's writes, and the note of their losses.
#include "diskreserve.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QDebug>
#include <QFile>

#include "diskwrite.h"

namespace DiskReserve {

namespace {

// A note begins with this line; a reserve holds only zeros.
const char kNoteMark[] = "lost at the last stop\n";

QByteArray fileName()
{
    return QFile::encodeName(QString::fromLatin1(kFile));
}

}  // namespace

QStringList LastStopLosses()
{
    QFile file(QString::fromLatin1(kFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(kNoteBytes);
    if (!head.startsWith(kNoteMark))
        return {};
    const QByteArray text = head.mid(int(sizeof kNoteMark) - 1);
    const int end = text.indexOf('\0');
    return QString::fromUtf8(end >= 0 ? text.left(end) : text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool Take(qint64 bytes)
{
    const int error = WriteWholeFile(QString::fromLatin1(kFile), QByteArray(int(bytes), '\0'));
    if (error == 0)
        return true;
    // A part-written reserve is no reserve; what it holds goes back to the disk.
    QFile::remove(QString::fromLatin1(kFile));
    qWarning().noquote() << "no room set aside for the stop's writes:" << std::strerror(error);
    return false;
}

void Release()
{
    if (::truncate(fileName().constData(), kNoteBytes) != 0 && errno != ENOENT)
        qWarning().noquote() << "the stop's room cannot be given back:" << std::strerror(errno);
}

bool NoteLosses(const QStringList& lost)
{
    if (lost.isEmpty()) {
        QFile::remove(QString::fromLatin1(kFile));
        return true;
    }
    const QByteArray note = QByteArray(kNoteMark) + lost.join(QLatin1Char('\n')).toUtf8().left(kNoteBytes / 2) + '\0';
    // Written over the kept page in place: a full disk has no new block to give.
    int error = DiskWriteRefusal(QString::fromLatin1(kFile));
    if (error == 0) {
        const int fd = ::open(fileName().constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::pwrite(fd, note.constData(), size_t(note.size()), 0) != note.size())
            error = errno;
        if (fd >= 0 && ::close(fd) != 0 && error == 0)
            error = errno;
    }
    if (error != 0)
        qWarning().noquote() << "the stop's losses cannot be noted for the next start:" << std::strerror(error);
    return error == 0;
}

}  // namespace DiskReserve
