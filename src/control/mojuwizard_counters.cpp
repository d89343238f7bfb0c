// Main window: the production counters in count.ini and the hand-over of judgements to the statistics.
#include <QDebug>
#include <QFile>
#include <QMap>
#include <QList>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include "cammerwidget.h"
#include "diskwrite.h"
#include "globals.h"
#include "mojuwizard.h"
#include "platformclock.h"

namespace {

// A list entry beyond this (or negative) is a corrupt or overflowed count and loads as 0.
constexpr int kMaxListCount = 100000000;

const char* const kAllNumKey = "list_allnum";
const char* const kFailNumKey = "list_failnum";
const char* const kSyncNGKey = "gSyncNGNum";
const char* const kAllCycleKey = "list_allcyclenum";
const char* const kFailCycleKey = "list_failcyclenum";
const char* const kSyncNGCycleKey = "gSyncNGcycleNum";

// The settings object reads a line "a, b, c" back as a string list; a single value reads
// as a plain string, which toStringList turns into a one-entry list.
void readList(QSettings& settings, const char* key, int (&counts)[kMaxCameras])
{
    const QStringList values = settings.value(QString::fromLatin1(key)).toStringList();
    const int n = qMin(values.size(), kMaxCameras);
    for (int c = 0; c < n; ++c) {
        const int v = values[c].trimmed().toInt();
        counts[c] = (v < 0 || v > kMaxListCount) ? 0 : v;
    }
}

void writeList(QSettings& settings, const char* key, const int (&counts)[kMaxCameras])
{
    QList<QVariant> values;
    for (int v : counts) values << v;
    settings.setValue(QString::fromLatin1(key), values);
}

}  // namespace

void MoJuWizard::CountRead()
{
    for (int c = 0; c < kMaxCameras; ++c) {
        gAllNum[c] = 0;
        gFailNum[c] = 0;
        gAllCycleNum[c] = 0;
        gFailCycleNum[c] = 0;
    }
    gSyncNGNum = 0;
    gSyncNGCycleNum = 0;
    // Without the file (or before the constructor opened it) everything starts at zero.
    if (!countSettings)
        return;
    readList(*countSettings, kAllNumKey, gAllNum);
    readList(*countSettings, kFailNumKey, gFailNum);
    gSyncNGNum = countSettings->value(QString::fromLatin1(kSyncNGKey), 0).toInt();
    readList(*countSettings, kAllCycleKey, gAllCycleNum);
    readList(*countSettings, kFailCycleKey, gFailCycleNum);
    gSyncNGCycleNum = countSettings->value(QString::fromLatin1(kSyncNGCycleKey), 0).toInt();
}

void MoJuWizard::CountWrite()
{
    if (!countSettings)
        return;
    writeList(*countSettings, kAllNumKey, gAllNum);
    writeList(*countSettings, kFailNumKey, gFailNum);
    countSettings->setValue(QString::fromLatin1(kSyncNGKey), gSyncNGNum);
    writeList(*countSettings, kAllCycleKey, gAllCycleNum);
    writeList(*countSettings, kFailCycleKey, gFailCycleNum);
    countSettings->setValue(QString::fromLatin1(kSyncNGCycleKey), gSyncNGCycleNum);
}

bool MoJuWizard::CountSync()
{
    if (!countSettings)
        return true;
    // The counts of a cycle still running are written too: CountWrite waits for its end.
    CountWrite();
    const int refused = DiskWriteRefusal(countSettings->fileName());
    if (refused == 0)
        countSettings->sync();
    // The settings object keeps the first error it met for good, also one of an earlier write
    // on a full disk: the file itself says whether this write got there.
    const bool written = refused == 0 && (countSettings->status() == QSettings::NoError || countFileHoldsCounts());
    if (!written)
        qWarning().noquote() << "counters: cannot write" << countSettings->fileName();
    return written;
}

bool MoJuWizard::countFileHoldsCounts() const
{
    // Read from the disk itself: another settings object of the same file would answer from
    // the values this one still holds unwritten.
    QFile file(countSettings->fileName());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QMap<QString, QString> stored;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            stored.insert(line.left(equals).trimmed(), line.mid(equals + 1).remove(QLatin1Char(' ')).trimmed());
    }
    // The settings object holds lists as numbers, the file as texts separated by ", ".
    for (const char* key : {kAllNumKey, kFailNumKey, kSyncNGKey, kAllCycleKey, kFailCycleKey, kSyncNGCycleKey}) {
        const QVariant held = countSettings->value(QString::fromLatin1(key));
        const QString text = held.type() == QVariant::List ? held.toStringList().join(QLatin1Char(',')) : held.toString();
        if (stored.value(QString::fromLatin1(key)) != text)
            return false;
    }
    return true;
}

void MoJuWizard::AddStatistics()
{
    const int hour = PlatformClock::now().time().hour();
    QList<bool> okPerCamera;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c)
        okPerCamera << (cammerWidgets[c] && cammerWidgets[c]->cameraOk);
    emit sendRecord(step, hour, okPerCamera, step == gDNum - 1);
}
