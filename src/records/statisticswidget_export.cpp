// The statistics page's export: the request (disk, range, notice) and the report of its end.
#include <QDebug>

#include "dateseletdialog.h"
#include "exportresultworker.h"
#include "lanstr.h"
#include "resstatisticsparam.h"
#include "startupfiles.h"
#include "statisticsprompts.h"
#include "statisticswidget.h"
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
        StatisticsPrompts::warn(LanStr(kTextExporting));
        return;
    }
    // FindAU mounts the disk it finds at /mnt; the worker writes there.
    while (FindAU().isEmpty()) {
        if (!StatisticsPrompts::ask(LanStr(kTextNoUsbDisk)))
            return;
    }
    QPair<QString, QString> days;
    {
        DateSeletDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        days = dialog.getDays();
    }
    StatisticsPrompts::notify(tr("开始生产统计数据导出\n导出进度可在主界面右下角查看"));
    canExport = false;
    emit sigExportData(days);
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
    StatisticsPrompts::warn(LanStr(ok ? kTextExportDone : kTextStatisticsExportFailed));
}
