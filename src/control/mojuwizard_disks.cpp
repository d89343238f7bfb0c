// Main window: what it does when the USB image disk comes or goes.
#include "iostatus.h"
#include "mojuwizard.h"
#include "warnbox.h"
#include "wizardpara.h"

void MoJuWizard::SlotDiskStateChange(bool inserted)
{
    if (inserted) {
        InsertRecord(tr("存图磁盘已经插入"), "info");
    } else {
        if (LivePara().lostUpanAlarm != 0 && gpWarnBox) {
            gpWarnBox->setText(tr("警告：存图磁盘已拔出或是\n接触不良，请确认！"));
            gpWarnBox->setModal(false);
            gpWarnBox->show();
            gpWarnBox->raise();
        }
        InsertRecord(tr("存图磁盘已拔出或是接触不良"), "info");
    }
    if (ioStatusWidget)
        ioStatusWidget->update();
}

void MoJuWizard::SlotDiskInfoChange(QVector<UPanInfo> infos)
{
    emit diskInfoForward(infos);
    if (ioStatusWidget)
        ioStatusWidget->update();
}
