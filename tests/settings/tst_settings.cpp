// Settings screen: applying edits (record, storage, refusal, mapping), camera tuning and the IO dialog.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include "../view/cammerwidgetrig.h"
#include "checkbox.h"
#include "choosebox.h"
#include "combobox.h"
#include "drawroiwidget.h"
#include "editbox.h"
#include "iowidget.h"
#include "modalanswerer.h"
#include "networksettingdialog.h"
#include "resstatisticsparam.h"
#include "settingstable.h"
#include "testsupport.h"
#include "warnbox.h"
#include "wizardparawidget.h"

namespace {

// One value (1-based position) of a sysparam row as stored in PARAM.db.
int StoredValue(const QString& row, int position)
{
    int value = -9999;
    {
        QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "reader");
        conn.setDatabaseName("PARAM.db");
        if (conn.open()) {
            QSqlQuery q(conn);
            q.prepare("SELECT value FROM sysparam WHERE name=?");
            q.addBindValue(row);
            if (q.exec() && q.next())
                value = q.value(0).toString().split(' ').value(position - 1).toInt();
        }
    }
    QSqlDatabase::removeDatabase("reader");
    return value;
}

QStringList SetRecords()
{
    QStringList rows;
    {
        QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "records");
        conn.setDatabaseName("RECORD.db");
        if (conn.open()) {
            QSqlQuery q(conn);
            q.exec("SELECT remarks FROM RECORD WHERE recordtype='set'");
            while (q.next()) rows << q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase("records");
    return rows;
}

QString Entry(int n)
{
    return LanStr(n);
}

}  // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    MoJuWizard* win = nullptr;
    WizardParaWidget* screen = nullptr;
    CammerWidget* views[2] = {};

    SimCameraControl* camera(int c) { return CammerWidgetRig::control(views[c]); }

    // Opens the screen the way the window's parameter action does.
    void open()
    {
        win->viewCamera = 0;
        *gpWParaBak = *gpWPara;
        screen->show();
        QVERIFY(screen->isVisible());
        camera(0)->clearRecordedCalls();
        camera(1)->clearRecordedCalls();
    }

private slots:
    void initTestCase()
    {
        rig.start(QJsonArray{QJsonObject{}, QJsonObject{}});
        win = rig.window;
        win->resize(1920, 1080);
        gShowW = 1920;
        gShowH = 1080;
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
        gpWPara->LoadDatafromFile();
        numCamera = 2;
        for (int c = 0; c < 2; ++c) {
            views[c] = rig.view(c, c);
            win->cammerWidgets[c] = views[c];
            QVERIFY(views[c]->cameraOpen);
        }
        win->drawROIWidget = new DrawROIWidget(win, win->cammerWidgets);
        win->drawROIWidget->hide();
        ResStatisticsParam::getInstance()->init("default", gDNum);
        screen = new WizardParaWidget(win);
        win->wizardParaWidget = screen;
        screen->hide();
        win->show();
    }

    void init()
    {
        gLan = 1;
        QVERIFY(FactoryFixture::writeAll());
        win->FLushAll();
        win->dbIn = QSqlDatabase::database("dbIn");
        win->dbIn.setDatabaseName("PARAM.db");
        QVERIFY(win->dbIn.open());
        win->queryIn = QSqlQuery(win->dbIn);
        gpWPara->LoadDatafromFile();
        gLan = 1;
        // The camera boxes start from 1: values the boxes would change on a camera switch.
        for (int c = 0; c < 2; ++c) gpWPara->exposeTime[c] = 50;
        *gpWParaBak = *gpWPara;
        gDNum = 2;
        TestSupport::clearCapturedMessages();
    }

    void cleanup() { screen->hide(); }

    // ---- applying ----

    void noChangeAsksNothingAndCloses()
    {
        open();
        ModalAnswerer answerer;
        screen->accept();
        QVERIFY(answerer.texts().isEmpty());
        QVERIFY(SetRecords().isEmpty());
        QVERIFY(screen->isHidden());
    }

    void noDetectionFunctionIsRefused()
    {
        open();
        for (int row = 29; row <= 38; ++row)
            if (row != 31 && row != 32)
                screen->check(row)->setValue(0);
        screen->box(1)->setValue(gpWPara->trigInDelay[0] + 3);
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        screen->accept();
        QCOMPARE(answerer.texts(), QStringList{Entry(232)});
        QVERIFY(screen->isVisible());
        QCOMPARE(StoredValue("system3", 4), gpWPara->defectDetect);
        QCOMPARE(StoredValue("trigInDelay", 1), gpWPara->trigInDelay[0]);
        QVERIFY(SetRecords().isEmpty());
    }

    void delayAndGainAreRecordedAndStored()
    {
        gpWPara->trigInDelay[0] = 5;
        gpWPara->adjustPlus[1] = 10;
        QVERIFY(gpWPara->SaveDatatoFile());
        open();
        screen->box(1)->setValue(12);
        screen->SlotToCamera();
        screen->SlotChangeCamera();
        QCOMPARE(screen->cameraIndex, 1);
        screen->gainBox->setValue(20);

        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(answerer.texts(), QStringList{Entry(234)});
        QCOMPARE(SetRecords(), QStringList{"Modify the system parameters"
                                           ", The time delay for detection Prodis changed from 5 to 12"
                                           ", The gain of camera 2 is changed from 10 to 20"});
        QCOMPARE(StoredValue("trigInDelay", 1), 12);
        QCOMPARE(StoredValue("adjustPlus", 2), 20);
        QCOMPARE(gpWPara->trigInDelay[0], 12);
        QVERIFY(*gpWPara == *gpWParaBak);
        QVERIFY(screen->isHidden());
    }

    void switchesAndValuesUseTheirForms()
    {
        gpWPara->semiAuto = 0;
        gpWPara->motionCorrect = 0;
        gpWPara->stopClampOnStop = 0;
        gpWPara->templateNum = 10;
        QVERIFY(gpWPara->SaveDatatoFile());
        WizardPara after = *gpWPara;
        after.semiAuto = 1;
        after.motionCorrect = -1;
        after.stopClampOnStop = 1;
        after.templateNum = 12;
        QCOMPARE(SettingsTable::RecordText(*gpWPara, after),
                 QString("Modify the system parameters, %1 is changed to active, %2 is changed to deactive"
                         ", %3 is changed to Prohibit to clamp, %4 is changed from 10 to 12")
                     .arg(Entry(174), Entry(176), Entry(179), Entry(185)));
    }

    // Spot detection needs the detail display: the box is ticked again before it is read.
    // "Motion correcte" unticked is stored as -1.
    void detailDisplayForcedAndMotionInverted()
    {
        gpWPara->spotDetect = 1;
        gpWPara->showAllParams = 1;
        gpWPara->motionCorrect = 0;
        QVERIFY(gpWPara->SaveDatatoFile());
        open();
        screen->check(41)->setValue(0);
        screen->check(21)->setValue(0);
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(gpWPara->showAllParams, 1);
        QCOMPARE(gpWPara->motionCorrect, -1);
        QCOMPARE(StoredValue("system1", 4), -1);
        QCOMPARE(SetRecords(), QStringList{"Modify the system parameters, " + Entry(176) + " is changed to deactive"});
    }

    // The image-storage days and the USB copy switch reach the copier through start-up's functions.
    void copierFollowsDaysAndSwitch()
    {
        QList<int> days;
        QList<bool> runs;
        Settings().copierDays = [&days](int d) { days << d; };
        Settings().copierRun = [&runs](bool on) { runs << on; };
        gpWPara->useDiskSaveImage = 0;
        open();
        gpWParaBak->days = gpWPara->days + 2;
        gpWParaBak->useDiskSaveImage = 1;
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        Settings() = {};
        QCOMPARE(days, QList<int>{gpWPara->days});
        QCOMPARE(runs, QList<bool>{true});
    }

    // Restart notes come in their order after the save.
    void templatesAndIoPortShowTwoNotes()
    {
        open();
        screen->box(74)->setValue(gpWPara->templateNum + 1);
        screen->combo(42)->setCurrentIndex((gpWPara->ioPort + 1) % 8);
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Yes, ModalAnswerer::Confirm, ModalAnswerer::Confirm});
        screen->accept();
        QCOMPARE(answerer.texts(), QStringList({Entry(234), Entry(276), Entry(309)}));
    }

    // A save that fails is told and logged: the settings are in force only until a restart.
    void failedSaveIsTold()
    {
        open();
        screen->box(2)->setValue(gpWPara->trigInDelay[1] + 1);
        QSqlQuery(win->dbIn).exec("DROP TABLE sysparam");
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Yes, ModalAnswerer::Confirm});
        screen->accept();
        QCOMPARE(answerer.texts(), QStringList({Entry(234), Entry(681)}));
        QVERIFY(TestSupport::capturedMessages().join('\n').contains("saving the system parameters"));
        QVERIFY(screen->isHidden());
    }

    // Trigger choices edited on the IO page are not clamped like loaded ones: a choice outside
    // the list, or a list row naming no input, leaves that detection off.
    void outOfRangeTriggerChoiceTurnsTheDetectionOff()
    {
        gpWPara->detectMode = kModeMulti;
        gpWParaBak->detectMode = kModeMulti;
        gDNum = 4;
        gpWPara->detectCount = 4;
        open();
        gpWParaBak->detectCount = 4;
        for (int d = 0; d < 4; ++d) gpWParaBak->detectIoRow[d] = d;
        gpWParaBak->detectIoRow[1] = 12;
        gpWParaBak->ioRowInput[2] = 9;
        gpWParaBak->ioRowInput[3] = 1;
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(gpWPara->detectEnabled[1], 0);
        QCOMPARE(gpWPara->detectTrigIn[1], -1);
        QCOMPARE(gpWPara->detectEnabled[2], 0);
        QCOMPARE(gpWPara->detectTrigIn[2], -1);
        QCOMPARE(gpWPara->detectEnabled[3], 1);
        QCOMPARE(gpWPara->detectTrigIn[3], TriginNo[1] - 1);
        gpWPara->detectMode = 0;
    }

    // Mode 3: the IO dialog's count 4 -> 6 resizes the teaching page and the statistics.
    void detectionCountFromTheIoDialog()
    {
        gpWPara->detectMode = kModeMulti;
        gpWPara->detectCount = 4;
        gDNum = 4;
        win->stepCameraMask[3] = 3;
        win->detectState[1][2] = kStateAlarmWaits;
        ResStatisticsParam::getInstance()->init("default", 4);
        open();
        screen->SlotShowIOWidget();
        IOWidget* io = screen->ioWidget;
        QVERIFY(io->isVisible());
        io->countBox->setValue(6);
        for (int d = 0; d < 6; ++d) io->triggerCombos[d]->setCurrentIndex(d == 5 ? 0 : d + 1);
        io->SlotConfirm();
        QVERIFY(io->isHidden());
        QCOMPARE(gpWParaBak->detectCount, 6);
        QCOMPARE(gpWParaBak->detectIoRow[5], -1);

        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(gDNum, 6);
        QCOMPARE(win->drawROIWidget->detectCombo->count(), 6);
        QCOMPARE(win->stepCameraMask[3], 0);
        QCOMPARE(win->detectState[1][2], 0);
        QCOMPARE(win->step, 5);
        QCOMPARE(gpWPara->detectEnabled[4], 1);
        QCOMPARE(gpWPara->detectEnabled[5], 0);  // no trigger chosen
        const ResStatisticsParam* stats = ResStatisticsParam::getInstance();
        for (const CountGroup& g : stats->curCount.groups)
            if (g.groupName == stats->curGroupName)
                QCOMPARE(g.all.detects.size(), 6);
        QCOMPARE(StoredValue("system8", 1), 6);
        gpWPara->detectMode = 0;
    }

    // ---- camera tuning ----

    void tuningReachesOnlyTheCameraTuned()
    {
        open();
        screen->SlotToCamera();
        QCOMPARE(screen->cameraIndex, 0);
        screen->SlotChangeCamera();
        camera(0)->clearRecordedCalls();
        camera(1)->clearRecordedCalls();
        screen->exposureBox->setValue(42);
        screen->gammaBox->setValue(90);
        QCOMPARE(gpWParaBak->exposeTime[1], 42);
        QCOMPARE(gpWParaBak->gamma[1], 90);
        QVERIFY(camera(1)->recordedCalls().contains("setExposeTime 42"));
        QVERIFY(camera(1)->recordedCalls().contains("setGamma 90"));
        QVERIFY(camera(0)->recordedCalls().isEmpty());
        QCOMPARE(gpWPara->exposeTime[1] == 42, false);
    }

    void mirrorStopsSetsAndRestarts()
    {
        gpWPara->hMirror[0] = 0;
        open();
        screen->SlotToCamera();
        screen->hMirrorBox->setValue(1);
        screen->SetHMirror();
        QCOMPARE(gpWParaBak->hMirror[0], 1);
        QCOMPARE(camera(0)->recordedCalls(), QStringList({"stopGrab", "setHMirror true", "startGrab"}));
        QVERIFY(camera(1)->recordedCalls().isEmpty());
    }

    // NO puts back what the visit changed on the cameras: the values, the mirrors and WDR.
    void refusalRestoresMirrorAndWdr()
    {
        gpWPara->vMirror[0] = 0;
        gpWPara->autoShading = 0;
        gpWPara->adjustPlus[0] = 7;
        QVERIFY(gpWPara->SaveDatatoFile());
        open();
        screen->SlotToCamera();
        screen->gainBox->setValue(30);
        screen->vMirrorBox->setValue(1);
        screen->SetVMirror();
        screen->check(27)->setChecked(true);
        camera(0)->clearRecordedCalls();
        camera(1)->clearRecordedCalls();

        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::No);
        screen->accept();
        QVERIFY(answerer.texts().contains(Entry(234)));
        const QStringList calls = camera(0)->recordedCalls();
        QVERIFY2(calls.contains("setAdjustPlus 7"), qPrintable(calls.join(", ")));
        QVERIFY2(calls.contains("setVMirror false"), qPrintable(calls.join(", ")));
        QVERIFY2(calls.contains("setWDR false"), qPrintable(calls.join(", ")));
        QVERIFY(camera(1)->recordedCalls().contains("setWDR false"));
        QVERIFY(!camera(1)->recordedCalls().contains("setAdjustPlus 7"));
        QVERIFY(*gpWParaBak == *gpWPara);
        QVERIFY(SetRecords().isEmpty());
        QCOMPARE(StoredValue("system12", 10), 0);
    }

    // ---- pages ----

    // "Network Param" opens the network dialog, made once and kept for the run.
    void networkButtonOpensTheNetworkDialog()
    {
        open();
        QList<NetworkSettingDialog*> seen;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            if (gpNetDialog && gpNetDialog->isVisible() && gpNetDialog->isModal()) {
                seen << gpNetDialog;
                gpNetDialog->reject();
            }
        });
        poll.start();
        screen->navButtons[2]->click();
        screen->navButtons[2]->click();
        poll.stop();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0], seen[1]);
    }

    void pagesShowTheirControls()
    {
        open();
        QVERIFY(screen->box(1)->isVisible());
        QVERIFY(!screen->box(3)->isVisible());  // standard mode: two delays
        QVERIFY(!screen->box(13)->isVisible());
        win->pswLevel = kFactoryLevel;
        screen->SlotToIO();
        QCOMPARE(screen->page, 3);
        QVERIFY(screen->box(43)->isVisible());
        QVERIFY(!screen->box(1)->isVisible());
        screen->combo(64)->setCurrentIndex(3);
        QVERIFY(screen->customIoButton->isVisible());
        screen->combo(64)->setCurrentIndex(1);
        QVERIFY(!screen->customIoButton->isVisible());
        QVERIFY(screen->combo(65)->isVisible());
        screen->hide();
        QCOMPARE(screen->page, 0);
        win->pswLevel = 0;
    }
};

MONITOR_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
