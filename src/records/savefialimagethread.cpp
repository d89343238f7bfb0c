// The failure-image writer: slots taken under pMutexSaveFail, encoding and disk work outside it.
#include "savefialimagethread.h"

#include <algorithm>
#include <cstring>

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QVector>

#include "cammerwidget.h"
#include "copy2movedisk.h"
#include "diskwrite.h"
#include "globals.h"
#include "mainstate.h"
#include "platformclock.h"
#include "recordsink.h"
#include "tnr_netmn.h"

namespace {

constexpr int kPausePictureMs = 200;
constexpr int kPauseBetweenBothMs = 1000;
constexpr int kPausePassMs = 100;
constexpr int kNg = 0;
constexpr int kOk = 1;
const char* const kNameFormat = "yyyy-MM-dd_hh.mm.ss";
// A picture is written under its name plus kUnfinishedSuffix (ReplaceWholeFile), beside where it
// goes, then renamed: readers list "*.jpg" (the records page, the USB copier, the peer) and never
// meet a half-written one; what a crash leaves is swept at start.

int Slot(int c, int d, int k)
{
    return (c * kMaxDetections + d) * 2 + k;
}

// A flag counts for a detection that the judgement raising it had in use; under pMutexSaveFail.
bool Raised(int slot, int d)
{
    return gisSaveFail[slot] && d < gFailImageJob[slot].detections;
}

}  // namespace

SaveFialImageThread* gpSaveFialImageThread = nullptr;
std::function<void(int, int, bool, const QString&)> SaveFialImageThread::pictureHandOff;

SaveFialImageThread::SaveFialImageThread() : QThread(nullptr) {}

SaveFialImageThread::~SaveFialImageThread()
{
    requestInterruption();
    wait();
}

void SaveFialImageThread::stop()
{
    requestInterruption();
    wait();
    pass();
}

void SaveFialImageThread::setImageSize(int camera, QSize size)
{
    if (camera >= 0 && camera < kMaxCameras)
        sizes[camera] = size;
}

void SaveFialImageThread::run()
{
    removeUnfinished();
    while (!isInterruptionRequested()) pass();
}

QDateTime SaveFialImageThread::pictureTime(const QFileInfo& entry)
{
    // "<time>" or "<region>_<time>", as the writer names its pictures.
    static const QRegularExpression named(
        QStringLiteral("^(?:\\d+_)?(\\d{4}-\\d\\d-\\d\\d_\\d\\d\\.\\d\\d\\.\\d\\d)$"));
    const QRegularExpressionMatch m = named.match(entry.completeBaseName());
    if (m.hasMatch()) {
        const QDateTime t = QDateTime::fromString(m.captured(1), QString::fromLatin1(kNameFormat));
        if (t.isValid())
            return t;
    }
    return entry.lastModified();
}

void SaveFialImageThread::removeUnfinished()
{
    if (!gpState)
        return;
    for (const auto& camera : gpState->failDirs) {
        for (const auto& detection : camera) {
            for (const QDir& folder : detection) {
                const QString pattern = QStringLiteral("*.jpg") + QLatin1String(kUnfinishedSuffix);
                for (const QFileInfo& f : folder.entryInfoList({pattern}, QDir::Files | QDir::Hidden))
                    QFile::remove(f.absoluteFilePath());
            }
        }
    }
}

void SaveFialImageThread::prune(const QString& folder, int limit)
{
    QFileInfoList entries = QDir(folder).entryInfoList({"*.jpg"}, QDir::AllEntries | QDir::NoDotAndDotDot);
    if (entries.size() < limit)
        return;
    // Oldest by the time in the name, which copying a folder does not change. Pictures dated
    // after now were written before the clock was set back: they go first, or else every new
    // picture would be the oldest and remove the one before it.
    const QDateTime now = PlatformClock::now();
    struct Entry
    {
        QFileInfo info;
        QDateTime time;
        bool ahead;
    };
    QVector<Entry> pictures;
    for (const QFileInfo& info : entries) {
        const QDateTime t = pictureTime(info);
        pictures.append({info, t, t > now});
    }
    std::sort(pictures.begin(), pictures.end(), [](const Entry& a, const Entry& b) {
        if (a.ahead != b.ahead)
            return b.ahead;
        return a.time != b.time ? a.time > b.time : a.info.fileName() < b.info.fileName();
    });
    for (int i = std::max(limit - 1, 0); i < pictures.size(); ++i) QFile::remove(pictures[i].info.absoluteFilePath());
}

QString SaveFialImageThread::write(const QImage& image, const QString& folder, int limit, int failIndex, int* error)
{
    *error = 0;
    // A folder that may hold no picture gets none.
    if (limit < 1)
        return QString();
    // The folder may have been removed since start-up.
    if (!QDir().mkpath(folder)) {
        qWarning() << "failure image folder cannot be made:" << folder;
        return QString();
    }
    prune(folder, limit);
    QString name = PlatformClock::now().toString(kNameFormat);
    if (failIndex >= 1)
        name = QString("%1_%2").arg(failIndex).arg(name);
    const QString path = folder + "/" + name + ".jpg";
    // Encoded first, so that a failing write says why (a full disk is told to the operator).
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPEG")) {
        qWarning() << "failure image not encoded:" << path;
        return QString();
    }
    // The rename replaces a picture of the same name (the same second) in one step.
    *error = ReplaceWholeFile(path, jpeg);
    if (*error != 0) {
        qWarning().noquote() << "failure image not written:" << path << std::strerror(*error);
        return QString();
    }
    return path;
}

void SaveFialImageThread::pass()
{
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        const QSize size = sizes[c];
        if (size.isEmpty())
            continue;
        QImage work(size, QImage::Format_RGB32);
        for (int d = 0; d < kMaxDetections; ++d) saveDetection(c, d, work);
    }
    PlatformClock::sleepMs(kPausePassMs);
}

void SaveFialImageThread::saveDetection(int c, int d, QImage& work)
{
    const size_t bytes = size_t(work.width()) * size_t(work.height()) * 4;
    bool ngWaits = false;
    bool okWaits = false;
    int failIndex = 0;
    {
        QMutexLocker lock(pMutexSaveFail);
        ngWaits = Raised(Slot(c, d, kNg), d);
        okWaits = Raised(Slot(c, d, kOk), d);
        failIndex = gFailIndex[c * kMaxDetections + d];
    }
    for (int k = kNg; k <= kOk; ++k) {
        FailImageJob job;
        {
            QMutexLocker lock(pMutexSaveFail);
            const int slot = Slot(c, d, k);
            if (!Raised(slot, d))
                continue;
            if (gpFailImage[slot])
                std::memcpy(work.bits(), gpFailImage[slot], bytes);
            job = gFailImageJob[slot];
            gisSaveFail[slot] = false;
        }
        // An OK picture of a detection that also failed goes with the NG pictures.
        const bool toNg = k == kNg || ngWaits;
        const int limit = toNg ? job.ngLimit : job.okLimit;
        QString folder;
        if (gpState)
            folder = QDir::cleanPath(gpState->failDirs[c][d][toNg ? 0 : 1].absolutePath());
        int error = 0;
        const QString path = gpState ? write(work, folder, limit, failIndex, &error) : QString();
        if (IsNoSpaceError(error))
            ReportNoSpace(StoredKind::Picture);
        if (!path.isEmpty()) {
            ReportStored(StoredKind::Picture);
            const QFileInfo file(path);
            Copy2MoveDisk::getInstance()->add_map_actqueue(folder, file.completeBaseName(), work.copy());
            const bool ok = k == kOk && okWaits;
            if (pictureHandOff)
                pictureHandOff(c, d, ok, path);
            else
                TNR_NETMN::getInstance()->add_PeriodRecord_Picture(c, d, ok, path);
        }
        PlatformClock::sleepMs(k == kNg && ngWaits && okWaits ? kPauseBetweenBothMs : kPausePictureMs);
    }
    if (ngWaits) {
        QMutexLocker lock(pMutexSaveFail);
        gFailIndex[c * kMaxDetections + d] = 0;
    }
}
