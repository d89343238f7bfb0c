#include "systemactions.h"

#include <cstring>

#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QTableView>

#include "cammerwidget.h"
#include "commandrunner.h"
#include "globals.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "miscfunc.h"
#include "modifytimewidget.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "operatorprompts.h"
#include "pagedialogs.h"
#include "platformclock.h"
#include "platformexit.h"
#include "recordsink.h"
#include "textids.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

constexpr int kTextAskPowerOff = 291;
constexpr int kTextPoweredOff = 292;
constexpr int kTextAskRestart = 293;
constexpr int kTextAskExit = 294;
constexpr int kTextExited = 295;
constexpr int kTextPressToExit = 296;
constexpr int kTextAskClearRecords = 297;
constexpr int kTextRecordsCleared = 298;
constexpr int kTextAskSwitchLanguage = 318;
constexpr int kTextLanguageSwitched = 319;
constexpr int kTextTimeModified = 401;
constexpr int kTextAskModifyTime = 402;
constexpr int kTextPasswordEmpty = 278;
constexpr int kTextPasswordChanged = 279;
constexpr int kTextPasswordsDiffer = 280;
constexpr int kTextColumnTime = 288;
constexpr int kTextColumnUser = 289;
constexpr int kTextColumnContent = 290;

constexpr int kPasswordChars = 32;
constexpr int kClockSettleMs = 1000;
const char* const kOperate = "operate";

void call(const SystemActions::Accept& accept)
{
    if (accept)
        accept();
}

bool saveParams()
{
    return !gpWPara || gpWPara->SaveDatatoFile();
}

void record(int entry)
{
    RecordOperation(LanStr(entry), QString::fromLatin1(kOperate));
}

}  // namespace

namespace SystemActions {

bool ShutDown(const Accept& accept)
{
    if (!AskOperator(LanStr(kTextAskPowerOff)))
        return false;
    call(accept);
    saveParams();
    record(kTextPoweredOff);
    StopWTD();
    FlushAll();
    CommandRunner::runLine(AskOperator(LanStr(kTextAskRestart)) ? QStringLiteral("reboot") : QStringLiteral("init 0"));
    return true;
}

bool ExitProgram(const Accept& accept)
{
    if (!AskOperator(LanStr(kTextAskExit)))
        return false;
    record(kTextExited);
    call(accept);
    saveParams();
    WarnOperator(LanStr(kTextPressToExit));
    if (gpWin) {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (CammerWidget* view = gpWin->cammerWidgets[c]) {
                view->CameraStop();
                view->CameraClose();
            }
        }
    }
    // A normal end like a stop signal: the statistics and counters are written, the threads end.
    PlatformExit::stop(0);
    return true;
}

bool ChangeLanguage(int index, int itemCount, const Accept& accept)
{
    if (index == gLan || index < 0 || index >= itemCount)
        return false;
    if (!AskOperator(LanStr(kTextAskSwitchLanguage)))
        return false;
    // The record speaks the language in force when it was asked for.
    const QString switched = LanStr(kTextLanguageSwitched);
    const int before = gLan;
    gLan = index;
    call(accept);
    // Restarted without the new language stored (a full disk), the monitor would come back
    // in the old one as if the switch had been done.
    if (!saveParams()) {
        gLan = before;
        qWarning() << "language: the new language did not reach PARAM.db, no restart";
        WarnOperator(LanStr(kTextLanguageNotSaved));
        return false;
    }
    RecordOperation(switched, QString::fromLatin1(kOperate));
    StopWTD();
    FlushAll();
    CommandRunner::runLine(QStringLiteral("reboot"));
    return true;
}

bool ModifyTime(ModifyTimeWidget* box, const Accept& accept, const QWidget* page)
{
    if (!box)
        return false;
    box->editDateTime->ShowDateTime();
    if (PageDialogs::Exec(*box, page) != QDialog::Accepted)
        return false;
    if (!AskOperator(LanStr(kTextAskModifyTime)))
        return false;
    box->editDateTime->setSysDateTime();
    call(accept);
    saveParams();
    record(kTextTimeModified);
    StopWTD();
    FlushAll();
    PlatformClock::sleepMs(kClockSettleMs);
    CommandRunner::runLine(QStringLiteral("reboot"));
    return true;
}

void Calibration()
{
    CommandRunner::runLine(QStringLiteral("./tsc"));
    FlushAll();
    CommandRunner::runLine(QStringLiteral("reboot"));
}

bool ChangePassword(QLineEdit* password, QLineEdit* confirm)
{
    if (!password || !confirm)
        return false;
    const QString first = password->text();
    const QString second = confirm->text();
    if (gpNumPad)
        gpNumPad->hide();
    if (first.isEmpty() || second.isEmpty()) {
        WarnOperator(LanStr(kTextPasswordEmpty));
        return false;
    }
    if (first != second) {
        WarnOperator(LanStr(kTextPasswordsDiffer));
        return false;
    }
    if (gpWParaBak) {
        const QByteArray bytes = first.left(kPasswordChars).toLatin1();
        std::memset(gpWParaBak->password, 0, sizeof gpWParaBak->password);
        std::memcpy(gpWParaBak->password, bytes.constData(), size_t(bytes.size()));
    }
    WarnOperator(LanStr(kTextPasswordChanged));
    password->clear();
    confirm->clear();
    return true;
}

bool ClearRecords()
{
    if (!gpWin || !gpWin->CheckRoot())
        return false;
    if (!AskOperator(LanStr(kTextAskClearRecords)) || !gpWin->CheckRoot())
        return false;
    gpWin->ClearRecord();
    record(kTextRecordsCleared);
    return true;
}

void ResetTotal()
{
    for (int i = 0; i < 8; ++i) {
        gAllNum[i] = 0;
        gFailNum[i] = 0;
        gAllCycleNum[i] = 0;
        gFailCycleNum[i] = 0;
    }
    gSyncNGNum = 0;
    gSyncNGCycleNum = 0;
    if (gpWin)
        gpWin->CountWrite();
}

void UpdateApp()
{
    // The button is there; updating the program from it is not offered yet.
}

}  // namespace SystemActions

namespace RecordBrowser {

namespace {
const char* const kCurrentConnection = "dbRecord";
const char* const kListConnection = "dbList";
const char* const kRecordFolder = "./RECORD";
constexpr int kColumnWidths[] = {120, 125, 1330};
}  // namespace

void FillList(QListWidget* list)
{
    if (!list)
        return;
    list->clear();
    list->addItem(PlatformClock::now().date().toString(QStringLiteral("yyyy-MM-dd")));
    const QFileInfoList files =
        QDir(QString::fromLatin1(kRecordFolder)).entryInfoList({QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files)
        list->addItem(file.completeBaseName());
    list->setCurrentRow(0);
}

QSqlTableModel* Show(QListWidgetItem* item, int row, QTableView* view, QSqlTableModel* shown)
{
    if (view)
        view->setModel(nullptr);
    delete shown;
    if (!item || !view)
        return nullptr;

    QSqlDatabase db;
    if (row == 0) {
        db = QSqlDatabase::database(QString::fromLatin1(kCurrentConnection), false);
    } else {
        const QString name = QString::fromLatin1(kListConnection);
        db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.close();
        const QString file = QStringLiteral("%1//%2.db")
                                 .arg(QDir(QString::fromLatin1(kRecordFolder)).absolutePath(), item->text());
        // Opening would create a missing file: an archive that is not there shows nothing.
        if (!QFileInfo(file).isFile())
            return nullptr;
        db.setDatabaseName(file);
        if (!db.open())
            return nullptr;
        // Archives written before records had a type gain the column, so they show like today's.
        addColumnIfNotExists(db, QStringLiteral("RECORD"), QStringLiteral("recordtype"), QStringLiteral("TEXT"));
    }
    if (!db.isValid() || !db.isOpen())
        return nullptr;

    auto* model = new QSqlTableModel(nullptr, db);
    model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    model->setTable(QStringLiteral("RECORD"));
    model->setSort(0, Qt::DescendingOrder);
    model->select();
    model->setHeaderData(0, Qt::Horizontal, LanStr(kTextColumnTime));
    model->setHeaderData(1, Qt::Horizontal, LanStr(kTextColumnUser));
    model->setHeaderData(2, Qt::Horizontal, LanStr(kTextColumnContent));
    view->setModel(model);
    view->verticalHeader()->hide();
    for (int c = 3; c < model->columnCount(); ++c)
        view->setColumnHidden(c, true);
    for (int c = 0; c < 3; ++c)
        view->setColumnWidth(c, kColumnWidths[c]);
    // The widths are fixed: a long record takes more lines rather than being cut.
    view->setWordWrap(true);
    view->resizeRowsToContents();
    return model;
}

}  // namespace RecordBrowser
