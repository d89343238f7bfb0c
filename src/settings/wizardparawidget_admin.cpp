// Settings screen: the buttons of the system actions, parameter groups, records, data export
// and the administration pages. The actions themselves live in their own files; the screen
// lends them its accept, its controls and its group list.
#include <QJsonObject>
#include <QListWidget>
#include <QSqlTableModel>

#include "colorbutton.h"
#include "combobox.h"
#include "customionamewidget.h"
#include "dataexport.h"
#include "diskmanager.h"
#include "edit.h"
#include "modifytimewidget.h"
#include "mojuwizard.h"
#include "operatorprompts.h"
#include "pagedialogs.h"
#include "paragroups.h"
#include "saveimagesettingdailog.h"
#include "systemactions.h"
#include "systempaths.h"
#include "versiondownloaddialog.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

constexpr int kRecordPage = 5;

// The mount path of the first USB disk the watcher knows, as a panel path: the watcher keeps
// mapped paths, and the export maps the path it is given itself.
QString FirstDiskMount()
{
    QString mount = DiskManager::getInstance()->getMountPath().value(0);
    const QString root = SystemPaths::root();
    if (!root.isEmpty() && mount.startsWith(root + '/'))
        mount = mount.mid(root.size());
    return mount;
}

}  // namespace

void WizardParaWidget::connectActions()
{
    exportAction = new DataExportAction(FirstDiskMount, ShowOperatorNote, this);
    connect(exportAction, &DataExportAction::sigExportDataStart, this, &WizardParaWidget::sigExportDataStart);
    connect(exportAction, &DataExportAction::sigExportDataFinish, this, &WizardParaWidget::sigExportDataFinish);

    connect(resetCountButton, &QPushButton::clicked, this, &WizardParaWidget::ResetTotal);
    connect(languageCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &WizardParaWidget::SlotChangeLan);
    connect(shutDownButton, &QPushButton::clicked, this, &WizardParaWidget::SlotShutDown);
    connect(ioNameButton, &QPushButton::clicked, this, &WizardParaWidget::SlotShowCustomIONameWidget);
    connect(backupButton, &QPushButton::clicked, this, &WizardParaWidget::SlotParaGroupBackup);
    connect(restoreGroupButton, &QPushButton::clicked, this, &WizardParaWidget::SlotParaGroupRestore);
    connect(deleteGroupButton, &QPushButton::clicked, this, &WizardParaWidget::SlotParaGroupDelete);
    connect(changePwdButton, &QPushButton::clicked, this, &WizardParaWidget::ChangePwd);
    connect(factoryRestoreButton, &QPushButton::clicked, this, &WizardParaWidget::SlotRestoreFactorySet);
    connect(versionButton, &QPushButton::clicked, this, &WizardParaWidget::SlotToVerion);
    connect(updateButton, &QPushButton::clicked, this, &WizardParaWidget::SlotUpdateApp);
    connect(exportButton, &QPushButton::clicked, this, &WizardParaWidget::SlotExportData);
    connect(exitButton, &QPushButton::clicked, this, &WizardParaWidget::SlotExit);
    connect(saveImageButton, &QPushButton::clicked, this, &WizardParaWidget::SlotSaveImageSetting);
    connect(modifyTimeButton, &QPushButton::clicked, this, &WizardParaWidget::SlotModifyTime);
    connect(calibrateButton, &QPushButton::clicked, this, &WizardParaWidget::SlotCalibration);
    connect(recordButton, &QPushButton::clicked, this, &WizardParaWidget::SlotToRecord);
    connect(recordList, &QListWidget::itemClicked, this, &WizardParaWidget::UpdateRecord);
}

void WizardParaWidget::ResetTotal()
{
    SystemActions::ResetTotal();
}

void WizardParaWidget::ChangePwd()
{
    SystemActions::ChangePassword(newPwdEdit, confirmPwdEdit);
}

void WizardParaWidget::SlotUpdateApp()
{
    SystemActions::UpdateApp();
}

void WizardParaWidget::SlotExportData()
{
    exportAction->exportData();
}

void WizardParaWidget::SlotShutDown()
{
    SystemActions::ShutDown([this] { accept(); });
}

void WizardParaWidget::SlotChangeLan(int index)
{
    SystemActions::ChangeLanguage(index, languageCombo->count(), [this] { accept(); });
}

void WizardParaWidget::SlotExit()
{
    SystemActions::ExitProgram([this] { accept(); });
}

void WizardParaWidget::SlotModifyTime()
{
    SystemActions::ModifyTime(modifyTimeWidget, [this] { accept(); }, this);
}

void WizardParaWidget::SlotCalibration()
{
    SystemActions::Calibration();
}

void WizardParaWidget::SlotClearRecord()
{
    SystemActions::ClearRecords();
}

void WizardParaWidget::SlotToVerion()
{
    SystemActions::ToVersion(versionButton, win, this);
}

void WizardParaWidget::SlotToRecord()
{
    RecordBrowser::FillList(recordList);
    UpdateRecord(recordList->item(0));
    page = kRecordPage;
    DoChangePage();
}

void WizardParaWidget::UpdateRecord(QListWidgetItem* item)
{
    recordModel = RecordBrowser::Show(item, recordList->row(item), recordTable, recordModel);
}

void WizardParaWidget::ParaGroupUpdateList()
{
    ParaGroups::FillCombo(groupCombo);
}

namespace {

ParaGroups::Screen GroupScreen(WizardParaWidget* screen)
{
    return {[screen] { screen->accept(); }, [screen] { screen->ParaGroupUpdateList(); },
            [screen](int index) { screen->groupCombo->setCurrentIndex(screen->groupCombo->findData(index)); }};
}

}  // namespace

void WizardParaWidget::SlotParaGroupBackup()
{
    ParaGroups::Backup(groupNameEdit->text(), GroupScreen(this));
}

void WizardParaWidget::SlotParaGroupRestore()
{
    ParaGroups::Restore(groupCombo->currentText(), GroupScreen(this));
}

void WizardParaWidget::SlotParaGroupDelete()
{
    ParaGroups::Delete(groupCombo->currentText(), GroupScreen(this));
}

void WizardParaWidget::SlotRestoreFactorySet()
{
    ParaGroups::RestoreFactorySet();
}

void WizardParaWidget::SlotShowCustomIONameWidget()
{
    CustomIONameWidget* names = win ? win->customIONameWidget : nullptr;
    if (!names)
        return;
    names->init();
    // What was typed on the screen goes into the edit copy, which refills the screen when the
    // naming page hands back; nothing is applied yet.
    readControls();
    hidingForNaming = true;
    hide();
    hidingForNaming = false;
    names->show();
    names->raise();
}

void WizardParaWidget::SlotSaveImageSetting()
{
    if (!gpWParaBak)
        return;
    WizardPara& bak = *gpWParaBak;
    QJsonObject values{{QStringLiteral("days"), bak.days},
                       {QStringLiteral("lostUpanAlarm"), bak.lostUpanAlarm},
                       {QStringLiteral("useDiskSaveImage"), bak.useDiskSaveImage}};
    SaveImageSettingDailog dialog(this);
    dialog.init(values);
    if (PageDialogs::Exec(dialog, this) != QDialog::Accepted)
        return;
    dialog.save(values);
    // An empty or unreadable day count keeps the old one; the copier follows on accept.
    const int days = values.value(QStringLiteral("days")).toInt(-1);
    if (days != -1)
        bak.days = days;
    bak.lostUpanAlarm = values.value(QStringLiteral("lostUpanAlarm")).toInt(0);
    bak.useDiskSaveImage = values.value(QStringLiteral("useDiskSaveImage")).toInt(0);
}
