// The statistics page's export: the request (disk, range, notice) and the report of its end.
#include <QDebug>

#include "dateseletdialog.h"
#include "diskmanager.h"
#include "exportresultworker.h"
#include "lanstr.h"
#include "pagedialogs.h"
#include "resstatisticsparam.h"
#include "startupfiles.h"
#include "statisticsprompts.h"
#include "statisticswidget.h"
#include "systempaths.h"
#include "textids.h"
#include "wizardpara.h"

namespace {
constexpr int kTextExportDone = 147;
constexpr int kTextNoUsbDisk = 320;
constexpr int kTextExporting = 654;
}  // namespace

void StatisticsWidget::SlotExportData()
{
    if (!canExport) {
        StatisticsPrompts::warn(LanStr(kTextExporting), this);
        return;
    }
    QString disk;
    while ((disk = exportDisk()).isEmpty()) {
        if (!StatisticsPrompts::ask(LanStr(kTextNoUsbDisk), this))
            return;
    }
    QPair<QString, QString> days;
    {
        DateSeletDialog dialog(this);
        if (PageDialogs::Exec(dialog, this) != QDialog::Accepted)
            return;
        days = dialog.getDays();
    }
    StatisticsPrompts::notify(tr("开始生产统计数据导出\n导出进度可在主界面右下角查看"), this);
    canExport = false;
    // The worker is idle until the request below reaches it on its thread.
    exportWorker->mountPoint = disk;
    emit sigExportData(days);
}

QString StatisticsWidget::exportDisk()
{
    // The disk watcher owns the mount points: its disk at /mnt, else its first disk. FindAU,
    // which mounts at /mnt on its own, would put another disk under the watcher's disk there;
    // it only searches when no watcher runs.
    DiskManager* watcher = DiskManager::_instance;
    if (!watcher)
        return FindAU();
    const QStringList mounted = watcher->getMountPath();
    const QString first = SysPath(QString::fromLatin1(ExportResultWorker::kDefaultMountPoint));
    return DiskManager::toPanelPath(mounted.contains(first) ? first : mounted.value(0));
}

void StatisticsWidget::exportFinished()
{
    canExport = true;
    // Switched off in the settings meanwhile: the day timer stays off.
    ResStatisticsParam::getInstance()->setTimer(gpWPara && gpWPara->useStatistics != 0);
    emit sigExportDataFinish();
    const bool ok = exportWorker->succeeded;
    if (!ok)
        qWarning() << "statistics export failed";
    StatisticsPrompts::warn(LanStr(ok ? kTextExportDone : kTextStatisticsExportFailed), this);
}
