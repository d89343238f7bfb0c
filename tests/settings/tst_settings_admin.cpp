// Settings screen: its system-action buttons pressed on the screen itself, with commands
// recorded, questions answered by the test and the actions' effects checked.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "admintestprompts.h"
#include "checkbox.h"
#include "colorbutton.h"
#include "combobox.h"
#include "commandrunner.h"
#include "constructionhooks.h"
#include "customionamewidget.h"
#include "diskmanager.h"
#include "edit.h"
#include "editbox.h"
#include "factoryfixture.h"
#include "iowidget.h"
#include "globals.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "mainstate.h"
#include "modalanswerer.h"
#include "modifytimewidget.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "platformclock.h"
#include "recordsink.h"
#include "saveimagesettingdailog.h"
#include "startup.h"
#include "systempaths.h"
#include "testsupport.h"
#include "windowhooks.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

void WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// What a finger on a field delivers: the focus moves (the field typed into so far loses it),
// then the release that places the keypad.
void Tap(QWidget* field)
{
    if (gpState && gpState->curInputEdit && gpState->curInputEdit != field) {
        QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
        QApplication::sendEvent(gpState->curInputEdit, &out);
    }
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(field, &in);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(field, &release);
}

// Presses the keys of `text` on whichever keypad shows them.
void Type(const QString& text)
{
    for (const QChar c : text) {
        const QString key(c);
        bool pressed = false;
        for (ColorButton* b : gpNumPad->digitKeys)
            if (gpNumPad->isVisible() && b->text() == key && !pressed) {
                b->click();
                pressed = true;
            }
        for (ColorButton* b : gpNumCharPad->keys)
            if (gpNumCharPad->isVisible() && b && b->text() == key && !pressed) {
                b->click();
                pressed = true;
            }
        QVERIFY2(pressed, qPrintable("no key " + key));
    }
}

int StoredValue(const QString& row, int position)
{
    int value = -9999;
    {
        QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "reader");
        conn.setDatabaseName("PARAM.db");
        QSqlQuery q(conn);
        if (conn.open() && q.exec("SELECT value FROM sysparam WHERE name='" + row + "'") && q.next())
            value = q.value(0).toString().split(' ').value(position - 1).toInt();
    }
    QSqlDatabase::removeDatabase("reader");
    return value;
}

}  // namespace

class TestSettingsAdmin : public QObject
{
    Q_OBJECT

    AdminPrompts prompts;
    EffectTrace trace;
    MoJuWizard* win = nullptr;
    WizardParaWidget* screen = nullptr;


    // Shown the way the window's parameter action shows it, on the given page.
    void open(int page)
    {
        *gpWParaBak = *gpWPara;
        screen->show();
        QVERIFY(screen->isVisible());
        if (page == 4) {
            win->pswLevel = kFactoryLevel;
            screen->SlotToAdvance();
        }
        QCOMPARE(screen->page, page);
        CommandRunner::clearCalls();
        trace.clear();
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        gLan = 1;
        CreateGlobalMutexes();
        QVERIFY(FactoryFixture::writeAll());
        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        QVERIFY(MainWindowRig::openWindowDatabases(win, true));
        win->noteLabel = new QLabel(win);
        win->pswLevel = kFactoryLevel;
        gpWPara = new WizardPara;
        gpWParaBak = new WizardPara;
        gpWPara->LoadDatafromFile();
        gLan = 1;
        gShowW = 1920;
        gShowH = 1080;
        numCamera = 1;
        gDNum = 1;

        screen = new WizardParaWidget(win);
        win->wizardParaWidget = screen;
        screen->hide();
        // The window joins the screen's export signals when it builds its disk handling.
        ConstructionHooks hooks;
        AddImageAndDiskHooks(hooks);
        hooks.disks(win);
        win->resize(1920, 1080);
        win->show();

        SetRecordSink([this](const QString& text, const QString& type) { trace.note("record:" + type + ':' + text); });
        // The databases close at the flush: what is saved later is lost.
        SetFlushAllHook([this] { trace.note(QStringLiteral("flush, templates %1").arg(StoredValue("system2", 2))); });
        PlatformClock::setSleepHook([this](int ms) { trace.note(QStringLiteral("sleep:%1").arg(ms)); });
    }

    void init()
    {
        prompts.install();
        prompts.reset();
        gLan = 1;
        CommandRunner::clearCalls();
        trace.clear();
    }

    void cleanup() { screen->hide(); }

    void shutDownButtonRestartsOrPowersOff_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::addColumn<QString>("last");
        QTest::newRow("YES restarts") << true << "cmd:reboot";
        QTest::newRow("NO powers off") << false << "cmd:init 0";
    }

    void shutDownButtonRestartsOrPowersOff()
    {
        QFETCH(bool, restart);
        QFETCH(QString, last);
        open(0);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(screen->shutDownButton->isVisible());
        // A value in force but not yet stored is saved before the machine goes down.
        const int templates = StoredValue("system2", 2) % 50 + 2;
        gpWPara->templateNum = templates;
        *gpWParaBak = *gpWPara;
        prompts.reset({true, restart});
        screen->shutDownButton->click();
        QCOMPARE(prompts.asked, QStringList({LanStr(291), LanStr(293)}));
        QCOMPARE(trace.full(), QStringList({"record:operate:" + LanStr(292), "sleep:1000",
                                            QStringLiteral("flush, templates %1").arg(templates), last}));
        // The screen's own accept ran first: nothing was edited, so it just closed.
        QVERIFY(screen->isHidden());
    }

    void resetCountButtonZeroesTheCounters()
    {
        open(0);
        if (QTest::currentTestFailed())
            return;
        gAllNum[2] = 5;
        gFailCycleNum[0] = 4;
        gSyncNGNum = 3;
        screen->resetCountButton->click();
        QCOMPARE(gAllNum[2] + gFailCycleNum[0] + gSyncNGNum, 0);
    }

    // Choosing English on the combo asks, records, switches and restarts; the next start
    // reads the language from PARAM.db.
    void languageComboSwitchesAndRestarts()
    {
        gLan = 0;
        gpWPara->SaveDatatoFile();
        open(0);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(screen->languageCombo->currentIndex(), 0);
        // Asked and recorded in the language in force when pressed.
        const QString question = LanStr(318);
        const QString chineseRecord = LanStr(319);
        prompts.reset({true});
        screen->languageCombo->setCurrentIndex(1);
        QCOMPARE(prompts.asked, QStringList{question});
        QCOMPARE(gLan, 1);
        QCOMPARE(trace.full().mid(0, 2), QStringList({"record:operate:" + chineseRecord, "sleep:1000"}));
        QCOMPARE(trace.full().value(3), QString("cmd:reboot"));
        gLan = 0;
        WizardPara next;
        next.LoadDatafromFile();
        QCOMPARE(gLan, 1);
    }

    void groupBackupThroughTheButton()
    {
        QDir("paraGroup").removeRecursively();
        QDir().mkpath("paraGroup/default");
        QDir().mkpath("paraGroup/A1");
        WriteFile("cammer11/template.bmp", "t");
        open(4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(screen->backupButton->isVisible());
        QCOMPARE(screen->groupCombo->count(), 0);
        screen->ParaGroupUpdateList();
        QCOMPARE(screen->groupCombo->count(), 1);
        screen->groupNameEdit->setText("B");
        prompts.reset({true});
        screen->backupButton->click();
        QVERIFY2(prompts.warned.isEmpty(), qPrintable(prompts.warned.join('|')));
        QVERIFY(QFile::exists("paraGroup/B/PARAM.db"));
        QVERIFY(QFile::exists("paraGroup/B/cammer11/template.bmp"));
        // The list keeps "default" out, carries each group's index, and selects the new group.
        QCOMPARE(screen->groupCombo->count(), 2);
        QCOMPARE(screen->groupCombo->currentText(), QString("B"));
        QCOMPARE(screen->groupCombo->currentData().toInt(), 1);
        QCOMPARE(gpWPara->groupIndex, 1);
        QVERIFY(screen->isHidden());
    }

    void recordButtonShowsTheRecordPage()
    {
        QDir("RECORD").removeRecursively();
        QDir().mkpath("RECORD");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName("RECORD/2024-01-01.db");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("CREATE TABLE RECORD(recordtime TEXT, recordpassword TEXT, remarks TEXT)"));
            QVERIFY(q.exec("INSERT INTO RECORD VALUES('2024-01-01 08:00:00', 'op', 'first')"));
            QVERIFY(q.exec("INSERT INTO RECORD VALUES('2024-01-01 09:00:00', 'op', 'second')"));
            db.close();
        }
        QSqlDatabase::removeDatabase("old");

        open(4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(screen->recordButton->isVisible());
        screen->recordButton->click();
        QCOMPARE(screen->page, 5);
        QVERIFY(screen->recordList->isVisible() && screen->recordTable->isVisible());
        QCOMPARE(screen->recordList->count(), 2);
        QVERIFY(screen->recordTable->model());
        QCOMPARE(screen->recordTable->model(), static_cast<QAbstractItemModel*>(screen->recordModel));

        // Pressing the archive shows it, newest first.
        QListWidgetItem* archive = screen->recordList->item(1);
        QTest::mouseClick(screen->recordList->viewport(), Qt::LeftButton, {},
                          screen->recordList->visualItemRect(archive).center());
        QSqlTableModel* model = screen->recordModel;
        QVERIFY(model);
        QCOMPARE(screen->recordTable->model(), static_cast<QAbstractItemModel*>(model));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(0, 2)).toString(), QString("second"));
    }

    // The export runs from the button on the first USB disk and shows on the window's note.
    void exportShowsOnTheWindowNote()
    {
        WriteFile("originalimage/cammer11/raw.bmp", "raw");
        QDir(SysPath("/mnt1")).removeRecursively();
        QVERIFY(QDir().mkpath(SysPath("/mnt1")));
        TestSupport::writeSysFile("/proc/mounts", "/dev/sdb1 /mnt1 vfat rw 0 0\n");
        UPanInfo disk;
        disk.uuid = "EXPORT-1";
        disk.mountPath = SysPath("/mnt1");
        DiskManager::getInstance()->updateUPanInfo(disk);

        open(4);
        if (QTest::currentTestFailed())
            return;
        QStringList notes;
        connect(screen, &WizardParaWidget::sigExportDataStart, this, [&] { notes << win->noteLabel->text(); });
        connect(screen, &WizardParaWidget::sigExportDataFinish, this, [&] { notes << win->noteLabel->text(); });
        prompts.reset({true});
        screen->exportButton->click();
        DiskManager::getInstance()->removeUPanInfo(QStringLiteral("EXPORT-1"));
        disconnect(screen, nullptr, this, nullptr);

        QCOMPARE(notes, QStringList({"数据导出中", ""}));
        // The note that the export started, then the success.
        QCOMPARE(prompts.warned.size(), 2);
        QCOMPARE(prompts.warned.last(), LanStr(147));
        const QStringList stamps = QDir(SysPath("/mnt1")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(stamps.size(), 1);
        QVERIFY(QFile::exists(SysPath("/mnt1") + '/' + stamps.first() + "/bin-AOI/originalimage/cammer11/raw.bmp"));
        QVERIFY(!QFile::exists("originalimage/cammer11/raw.bmp"));
    }

    void saveImageSettingsTakeTheDialogsValues()
    {
        open(4);
        if (QTest::currentTestFailed())
            return;
        gpWParaBak->days = 31;
        gpWParaBak->useDiskSaveImage = 0;
        gpWParaBak->lostUpanAlarm = 1;
        ModalAnswerer answerer;
        // The dialog class has no meta-object of its own: find it among the screen's dialogs.
        answerer.watch("saveImage", [this]() -> QDialog* {
            for (QDialog* d : screen->findChildren<QDialog*>())
                if (dynamic_cast<SaveImageSettingDailog*>(d))
                    return d;
            return nullptr;
        });
        int shownDays = -1;
        answerer.answerWith([&shownDays](QDialog* d) {
            auto* dialog = static_cast<SaveImageSettingDailog*>(d);
            bool ok = false;
            shownDays = dialog->getDays(&ok);
            dialog->setDays(7);
            dialog->useDiskBox->setChecked(true);
            dialog->lostDiskBox->setChecked(false);
            d->accept();
        });
        screen->saveImageButton->click();
        QCOMPARE(shownDays, 31);
        QCOMPARE(gpWParaBak->days, 7);
        QCOMPARE(gpWParaBak->useDiskSaveImage, 1);
        QCOMPARE(gpWParaBak->lostUpanAlarm, 0);

        // An empty day count keeps the old one.
        answerer.answerWith([](QDialog* d) {
            static_cast<SaveImageSettingDailog*>(d)->daysEdit->clear();
            d->accept();
        });
        screen->saveImageButton->click();
        QCOMPARE(gpWParaBak->days, 7);
        QCOMPARE(gpWParaBak->useDiskSaveImage, 1);
    }

    // The remaining buttons of the advanced page, each up to its first visible effect.
    void advancedButtonsReachTheirActions()
    {
        QDir("paraGroup").removeRecursively();
        for (const char* group : {"paraGroup/default", "paraGroup/A1", "paraGroup/zz"}) QDir().mkpath(group);
        open(4);
        if (QTest::currentTestFailed())
            return;
        screen->ParaGroupUpdateList();

        screen->newPwdEdit->setText("4321");
        screen->confirmPwdEdit->setText("4321");
        screen->changePwdButton->click();
        QCOMPARE(QByteArray(gpWParaBak->password), QByteArray("4321"));

        screen->groupCombo->setCurrentIndex(screen->groupCombo->findText("zz"));
        prompts.reset({false});
        screen->restoreGroupButton->click();
        QCOMPARE(prompts.asked, QStringList{LanStr(285)});

        screen->groupCombo->setCurrentIndex(screen->groupCombo->findText("A1"));
        prompts.reset({true});
        screen->deleteGroupButton->click();
        QCOMPARE(prompts.asked, QStringList{LanStr(287)});
        QVERIFY(!QDir("paraGroup/A1").exists());
        QCOMPARE(screen->groupCombo->count(), 1);
        QCOMPARE(screen->groupCombo->itemText(0), QString("zz"));

        prompts.reset({false});
        screen->factoryRestoreButton->click();
        QCOMPARE(prompts.asked, QStringList{LanStr(551) + "?"});

        prompts.reset({false});
        screen->exitButton->click();
        QCOMPARE(prompts.asked, QStringList{LanStr(294)});

        trace.clear();
        CommandRunner::clearCalls();
        screen->calibrateButton->click();
        QCOMPARE(trace.full().size(), 3);
        QCOMPARE(trace.full().first(), QString("cmd:./tsc"));
        QCOMPARE(trace.full().last(), QString("cmd:reboot"));

        ModalAnswerer answerer;
        answerer.watch("time", [this]() -> QDialog* { return screen->modifyTimeWidget; });
        answerer.answer(ModalAnswerer::No);
        screen->modifyTimeButton->click();
        QCOMPARE(answerer.pendingAnswers(), 0);
        QVERIFY(screen->isVisible());
    }

    // The IO naming page stands in for the screen and hands back to it when confirmed: on the
    // IO page, with what was typed before still there and nothing applied.
    void ioNameButtonOpensTheNamingPage()
    {
        win->customIONameWidget = new CustomIONameWidget(win);
        win->customIONameWidget->hide();
        gpWPara->detectMode = kModeMulti;
        open(0);
        if (QTest::currentTestFailed())
            return;
        const WizardPara live = *gpWPara;
        screen->box(1)->setValue(live.trigInDelay[0] + 7);
        win->pswLevel = kFactoryLevel;
        screen->SlotToIO();
        screen->box(44)->setValue(live.preCut + 3);
        screen->check(54)->setValue(!live.cutEjectorOnClamp);
        screen->combo(64)->setCurrentIndex(kModeMulti);
        QVERIFY(screen->ioNameButton->isVisible());
        gpWParaBak->outNameSel[2] = 1;
        screen->ioNameButton->click();
        QVERIFY(screen->isHidden());
        QVERIFY(win->customIONameWidget->isVisible());
        QCOMPARE(win->customIONameWidget->outputNames.at(2)->currentIndex(), 1);
        win->customIONameWidget->outputNames.at(3)->setCurrentIndex(2);
        win->customIONameWidget->confirmButton->click();
        QVERIFY(win->customIONameWidget->isHidden());
        QVERIFY(screen->isVisible());
        QCOMPARE(screen->page, 3);
        QVERIFY(screen->box(44)->isVisible());
        QCOMPARE(screen->box(44)->value(), live.preCut + 3);
        QCOMPARE(screen->check(54)->value(), int(!live.cutEjectorOnClamp));
        QCOMPARE(screen->combo(64)->currentIndex(), int(kModeMulti));
        QCOMPARE(screen->box(1)->value(), live.trigInDelay[0] + 7);
        QCOMPARE(gpWParaBak->outNameSel[3], 2);
        QVERIFY(*gpWPara == live);
        QVERIFY(trace.full().isEmpty());
        // Any other way out starts on the first page again.
        screen->hide();
        QCOMPARE(screen->page, 0);
        gpWPara->detectMode = kModeStandard;
    }

    // The group name and the new passwords are typed on the keypads a tap opens on the page.
    void advancedFieldsOpenTheirKeypads()
    {
        open(4);
        if (QTest::currentTestFailed())
            return;
        Tap(screen->groupNameEdit);
        QVERIFY(gpNumCharPad->isVisible());
        QCOMPARE(gpNumCharPad->parentWidget(), static_cast<QWidget*>(screen));
        Type("line7");
        QCOMPARE(screen->groupNameEdit->text(), QString("line7"));

        for (Edit* field : {screen->newPwdEdit, screen->confirmPwdEdit}) {
            Tap(field);
            QVERIFY(gpNumPad->isVisible());
            QVERIFY(!gpNumCharPad->isVisible());
            QCOMPARE(field->echoMode(), QLineEdit::Password);
            Type("2580");
            QCOMPARE(field->text(), QString("2580"));
        }
        screen->changePwdButton->click();
        QCOMPARE(QByteArray(gpWParaBak->password), QByteArray("2580"));
    }
};

MONITOR_TEST_MAIN(TestSettingsAdmin)
#include "tst_settings_admin.moc"
