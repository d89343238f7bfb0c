// Data export to a USB disk: the worker that copies the working folder, and the settings screen's action around it.
#include "dataexport.h"

#include <atomic>

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QPointer>
#include <QtConcurrent>

#include "commandrunner.h"
#include "filetree.h"
#include "globals.h"
#include "lanstr.h"
#include "operatorprompts.h"
#include "platformclock.h"
#include "systempaths.h"

namespace {

const char* const kStampFormat = "yyyy-MM-dd_hh.mm.ss";
// The copy keeps the installation folder's name on the disk.
const char* const kCopyName = "bin-AOI";
const char* const kRawImages = "./originalimage";
constexpr int kFolderPauseMs = 100;
constexpr int kSyncPauseMs = 300;

constexpr int kTextAskExport = 324;
constexpr int kTextNoDisk = 320;
constexpr int kTextExported = 147;
constexpr int kTextExportFailed = 704;

std::atomic<bool> gExporting{false};

}  // namespace

namespace DataExport {

bool Run(const QString& mountPath)
{
    const QString stamp = PlatformClock::now().toString(QString::fromLatin1(kStampFormat));
    const QString mount = SysPath(mountPath);
    const QString target = QStringLiteral("%1/%2").arg(mount, stamp);
    // The mount folders exist with or without a disk: only a disk mounted there takes the
    // copy, and only the stamp folder is made on it.
    bool ok = IsMountPoint(mountPath) && QDir(mount).mkdir(stamp);
    if (ok) {
        // The disk may be mounted inside the working folder (off the panel): never copy the
        // copy into itself.
        const QString destination = QFileInfo(target).absoluteFilePath();
        ok = FileTree::copy(QDir::currentPath(), target + '/' + kCopyName, destination);
    }
    PlatformClock::sleepMs(kFolderPauseMs);
    // A disk pulled during the copy may leave a copy that looks complete: the pictures go
    // only while the disk is still there.
    ok = ok && IsMountPoint(mountPath);
    if (!ok) {
        qWarning().noquote() << "data export to" << target << "failed: the raw pictures are kept";
        CommandRunner::runLine(QStringLiteral("sync"));
        return false;
    }
    for (int c = 1; c <= numCamera; ++c) {
        for (int d = 1; d <= gDNum; ++d) {
            FileTree::empty(QStringLiteral("%1/cammer%2%3").arg(QLatin1String(kRawImages)).arg(c).arg(d));
            PlatformClock::sleepMs(kFolderPauseMs);
        }
    }
    PlatformClock::sleepMs(kSyncPauseMs);
    CommandRunner::runLine(QStringLiteral("sync"));
    return true;
}

}  // namespace DataExport

DataExportAction::DataExportAction(std::function<QString()> firstDisk, std::function<void(const QString&)> notice,
                                   QObject* parent)
    : QObject(parent), firstDisk(std::move(firstDisk)), notice(std::move(notice))
{
}

bool DataExportAction::running()
{
    return gExporting;
}

void DataExportAction::showProgressOn(QLabel* note)
{
    if (!note)
        return;
    QPointer<QLabel> label(note);
    connect(this, &DataExportAction::sigExportDataStart, note, [label] {
        if (label)
            label->setText(tr("数据导出中"));
    });
    connect(this, &DataExportAction::sigExportDataFinish, note, [label] {
        if (label)
            label->clear();
    });
}

void DataExportAction::exportData()
{
    if (gExporting) {
        WarnOperator(tr("正在导出"));
        return;
    }
    if (!AskOperator(LanStr(kTextAskExport)))
        return;
    QString mount;
    while ((mount = firstDisk ? firstDisk() : QString()).isEmpty()) {
        if (!AskOperator(LanStr(kTextNoDisk)))
            return;
    }
    if (notice)
        notice(tr("开始数据导出,\n导出进度可在主界面右下角查看"));

    gExporting = true;
    QFutureWatcher<bool> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcher<bool>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(QThreadPool::globalInstance(), &DataExport::Run, mount));
    emit sigExportDataStart();
    if (!watcher.isFinished())
        loop.exec();
    const bool ok = watcher.result();
    gExporting = false;
    emit sigExportDataFinish();
    emit sigExportResult(ok);
    WarnOperator(LanStr(ok ? kTextExported : kTextExportFailed));
}
