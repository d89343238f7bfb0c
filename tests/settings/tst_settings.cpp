// Settings screen: applying edits (record, storage, refusal, mapping), camera tuning and the IO dialog.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include "../view/cammerwidgetrig.h"
#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "checkbox.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "combobox.h"
#include "drawroiwidget.h"
#include "editbox.h"
#include "hardwareconfigurationwidget.h"
#include "indexbutton.h"
#include "iowidget.h"
#include "modalanswerer.h"
#include "networksettingdialog.h"
#include "platformclock.h"
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
        // The half second the window waits after closing its databases buys nothing here.
        PlatformClock::setSleepHook([](int) {});
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

    // A screen that builds its pages when first shown has them, filled from the record, whether
    // it is shown itself or, never hidden, with the window.
    void pagesBuiltWhenFirstShown()
    {
        gpWPara->trigInDelay[0] = 17;
        *gpWParaBak = *gpWPara;
        WizardParaWidget itself(win, true);
        itself.hide();
        QVERIFY(itself.navButtons.isEmpty() && itself.chooseCaliNumWidget);
        itself.show();
        QCOMPARE(itself.navButtons.size(), 6);
        QCOMPARE(itself.box(1)->value(), 17);
        QVERIFY(itself.box(1)->isVisible());
        itself.hide();

        win->hide();
        WizardParaWidget withWindow(win, true);
        win->show();
        QVERIFY(withWindow.isVisible());
        QCOMPARE(withWindow.box(1)->value(), 17);
        withWindow.hide();
    }

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

    // With every detection function off nothing is taken; any one of them, similarity too, will do.
    void noDetectionFunctionIsRefused_data()
    {
        QTest::addColumn<int>("kept");  // the row of the one function left on, 0: none
        QTest::newRow("none") << 0;
        QTest::newRow("similarity alone") << 38;
    }

    void noDetectionFunctionIsRefused()
    {
        QFETCH(int, kept);
        open();
        for (int row = 29; row <= 38; ++row)
            if (row != 31 && row != 32)
                screen->check(row)->setValue(row == kept);
        screen->box(1)->setValue(gpWPara->trigInDelay[0] + 3);
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(answerer.texts(), QStringList{Entry(kept ? 234 : 232)});
        QCOMPARE(screen->isVisible(), !kept);
        QCOMPARE(StoredValue("system3", 4), gpWPara->defectDetect);
        QCOMPARE(StoredValue("trigInDelay", 1), gpWPara->trigInDelay[0]);
        QCOMPARE(SetRecords().isEmpty(), !kept);
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
    // Each follows its own setting only.
    void copierFollowsDaysAndSwitch_data()
    {
        QTest::addColumn<bool>("newDays");
        QTest::addColumn<bool>("switchOn");
        QTest::newRow("days") << true << false;
        QTest::newRow("switch") << false << true;
        QTest::newRow("both") << true << true;
    }

    void copierFollowsDaysAndSwitch()
    {
        QFETCH(bool, newDays);
        QFETCH(bool, switchOn);
        QList<int> days;
        QList<bool> runs;
        Settings().copierDays = [&days](int d) { days << d; };
        Settings().copierRun = [&runs](bool on) { runs << on; };
        gpWPara->useDiskSaveImage = 0;
        open();
        gpWParaBak->days = gpWPara->days + (newDays ? 2 : 0);
        gpWParaBak->useDiskSaveImage = switchOn ? 1 : 0;
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        Settings() = {};
        QCOMPARE(days, newDays ? QList<int>{gpWPara->days} : QList<int>{});
        QCOMPARE(runs, switchOn ? QList<bool>{true} : QList<bool>{});
    }

    // Restart notes come after the save, each once and in their order.
    void restartNotesInTheirOrder_data()
    {
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QList<int>>("notes");
        QTest::newRow("delay") << "delay" << QList<int>{};
        QTest::newRow("templates and IO port") << "templates io" << QList<int>{276, 309};
        QTest::newRow("OK pictures, colour camera") << "ok colour" << QList<int>{276, 309};
        QTest::newRow("next mode") << "mode" << QList<int>{277};
        QTest::newRow("all three") << "mode io templates" << QList<int>{276, 309, 277};
    }

    void restartNotesInTheirOrder()
    {
        QFETCH(QString, changes);
        QFETCH(QList<int>, notes);
        open();
        screen->box(2)->setValue(gpWPara->trigInDelay[1] + 1);
        if (changes.contains("templates"))
            screen->box(74)->setValue(gpWPara->templateNum + 1);
        if (changes.contains("ok"))
            screen->box(76)->setValue(gpWPara->okRecordNum + 1);
        if (changes.contains("io"))
            screen->combo(42)->setCurrentIndex((gpWPara->ioPort + 1) % 8);
        if (changes.contains("colour"))
            screen->check(23)->setValue(!gpWPara->colorCamera);
        if (changes.contains("mode"))
            screen->combo(64)->setCurrentIndex(kModeMulti);
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Yes, ModalAnswerer::Confirm, ModalAnswerer::Confirm, ModalAnswerer::Confirm});
        screen->accept();
        QStringList expected{Entry(234)};
        for (int n : notes) expected << Entry(n);
        QCOMPARE(answerer.texts(), expected);
    }

    // The record lists every recorded setting in its fixed order, and the settings that have
    // no item change silently.
    void recordItemsInTheirOrder()
    {
        const WizardPara before = *gpWPara;
        auto changedCopy = [&before](int row, int output) {
            WizardPara after = before;
            const SettingsTable::Control* c = SettingsTable::control(row, output);
            int* f = SettingsTable::field(after, *c);
            *f = c->kind == SettingsTable::Kind::InvertedCheck ? (*f == 0 ? -1 : 0)
                 : c->kind == SettingsTable::Kind::Check   ? !*f
                                                           : *f + 1;
            return after;
        };
        const QString head = Entry(235);
        // (row, output) in the order of the record; row 0 marks camera 2's exposure, -1 the password.
        const QList<QPair<int, int>> order = {
            {1, 0},  {2, 0},  {9, 0},  {11, 0}, {12, 0}, {17, 0}, {19, 0}, {21, 0}, {20, 0}, {18, 0}, {0, 0},
            {22, 0}, {23, 0}, {24, 0}, {39, 0}, {27, 0}, {28, 0}, {25, 0}, {29, 0}, {30, 0}, {31, 0}, {32, 0},
            {40, 0}, {41, 0}, {34, 0}, {33, 0}, {35, 0}, {36, 0}, {38, 0}, {42, 0}, {43, 0}, {44, 0}, {45, 0},
            {46, 0}, {51, 0}, {52, 0}, {53, 1}, {53, 2}, {53, 3}, {53, 4}, {65, 0}, {54, 0}, {55, 0}, {56, 0},
            {57, 0}, {58, 0}, {59, 0}, {61, 0}, {62, 0}, {63, 0}, {74, 0}, {75, 0}, {76, 0}, {78, 0}, {79, 0},
            {73, 0}, {77, 0}, {80, 0}, {81, 0}, {88, 0}, {89, 0}, {101, 0}, {-1, 0}};
        WizardPara all = before;
        QString expected = head;
        for (const auto& [row, output] : order) {
            WizardPara one = before;
            if (row == 0) {
                one.exposeTime[1] += 1;
                all.exposeTime[1] += 1;
            } else if (row < 0) {
                qstrcpy(one.password, "changed");
                qstrcpy(all.password, "changed");
            } else {
                one = changedCopy(row, output);
                *SettingsTable::field(all, *SettingsTable::control(row, output)) =
                    SettingsTable::fieldValue(one, *SettingsTable::control(row, output));
            }
            const QString item = SettingsTable::RecordText(before, one);
            QVERIFY2(item.size() > head.size(), qPrintable(QString("row %1 has no item").arg(row)));
            expected += item.mid(head.size());
        }
        QCOMPARE(SettingsTable::RecordText(before, all), expected);

        for (int row : {3, 8, 10, 13, 14, 15, 16, 26, 37, 47, 48, 49, 50, 60, 64, 66, 72, 82, 86, 90, 100})
            QCOMPARE(SettingsTable::RecordText(before, changedCopy(row, 0)), head);
        QCOMPARE(SettingsTable::RecordText(before, changedCopy(53, 5)), head);
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
        // The names of the signals go with the count and the triggers.
        for (int i = 0; i < 8; ++i) {
            io->inNameCombos[i]->setCurrentIndex((i + 3) % io->inNameCombos[i]->count());
            io->outNameCombos[i]->setCurrentIndex((i + 5) % io->outNameCombos[i]->count());
        }
        io->SlotConfirm();
        QVERIFY(io->isHidden());
        QCOMPARE(gpWParaBak->detectCount, 6);
        QCOMPARE(gpWParaBak->detectIoRow[5], -1);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(gpWParaBak->inNameSel[i], (i + 3) % io->inNameCombos[i]->count());
            QCOMPARE(gpWParaBak->outNameSel[i], (i + 5) % io->outNameCombos[i]->count());
        }
        // The re-check box is named after the second detection's input.
        QCOMPARE(screen->box(9)->caption->text(), QString::fromUtf8(gInName[gpWParaBak->inNameSel[1]][gLan]));
        QVERIFY(gpWParaBak->inNameSel[1] != gpWParaBak->inNameSel[0]);

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
        QCOMPARE(StoredValue("system10", 9 + 2), gpWParaBak->outNameSel[2]);
        // The dialog shows them again when it opens next.
        screen->SlotShowIOWidget();
        QCOMPARE(io->outNameCombos[7]->currentIndex(), gpWPara->outNameSel[7]);
        QCOMPARE(io->inNameCombos[1]->currentIndex(), gpWPara->inNameSel[1]);
        io->hide();
        gpWPara->detectMode = 0;
    }

    // Mode 3 page 0: the captions of the numbered detections, delay boxes up to the count, and
    // the boxes below them moved down row by row; mode 0 keeps two delays.
    void firstPageFollowsTheModeInForce_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("count");
        QTest::newRow("standard") << int(kModeStandard) << 2;
        QTest::newRow("multi, 5") << int(kModeMulti) << 5;
        QTest::newRow("multi, 8") << int(kModeMulti) << 8;
    }

    void firstPageFollowsTheModeInForce()
    {
        QFETCH(int, mode);
        QFETCH(int, count);
        gpWPara->detectMode = mode;
        gpWPara->detectCount = count;
        for (int d = 0; d < 8; ++d) gpWPara->trigInDelay[d] = 10 * d + 1;
        open();
        const bool multi = mode == kModeMulti;
        QCOMPARE(screen->box(1)->caption->text(), Entry(multi ? 508 : 161));
        QCOMPARE(screen->box(2)->caption->text(), Entry(multi ? 509 : 162));
        QCOMPARE(screen->check(19)->text(), Entry(multi ? 510 : 175));
        for (int row = 1; row <= 8; ++row) {
            QCOMPARE(screen->box(row)->isVisible(), row <= count);
            if (row <= count)
                QCOMPARE(screen->box(row)->value(), 10 * (row - 1) + 1);
        }
        const int pitch = multi ? 53 : 60;
        const int y0 = count * pitch + 105;
        QCOMPARE(screen->box(9)->y(), y0 + 50);
        QCOMPARE(screen->box(10)->y(), y0 + 100);
        QCOMPARE(screen->box(11)->y(), y0 + 100 + pitch + 60);
        QCOMPARE(screen->box(12)->y(), y0 + 100 + pitch + 120);
        for (int row = 2; row <= count; ++row)
            QCOMPARE(screen->box(row)->y() - screen->box(row - 1)->y(), pitch);

        // A delay typed there is applied and stored in its own place.
        screen->box(count)->setValue(77);
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(StoredValue("trigInDelay", count), 77);
        gpWPara->detectMode = kModeStandard;
    }

    // Mode 3: the state combos of outputs 5..9 show with enough detections and go back to
    // their own positions of system7.
    void outputStatesFiveToNineRoundTrip()
    {
        gpWPara->detectMode = kModeMulti;
        gpWPara->detectCount = 6;
        gpWPara->showFactoryParams = 1;
        const int positions[9] = {5, 6, 7, 9, 15, 16, 17, 18, 19};
        for (int o = 0; o < 9; ++o) gpWPara->outInitState[o] = o % 2;
        QVERIFY(gpWPara->SaveDatatoFile());
        open();
        win->pswLevel = kFactoryLevel;
        screen->SlotToIO();
        for (int n = 1; n <= 9; ++n) {
            QCOMPARE(screen->combo(53, n)->isVisible(), n <= 4 || 6 >= n - 1);
            QCOMPARE(screen->combo(53, n)->currentIndex(), (n - 1) % 2);
            screen->combo(53, n)->setCurrentIndex(n % 2);
        }
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        for (int n = 1; n <= 9; ++n) QCOMPARE(StoredValue("system7", positions[n - 1]), n % 2);
        gpWPara->detectCount = 2;
        open();
        win->pswLevel = kFactoryLevel;
        screen->SlotToIO();
        QVERIFY(screen->combo(53, 4)->isVisible());
        QVERIFY(!screen->combo(53, 5)->isVisible());
        win->pswLevel = 0;
        gpWPara->detectMode = kModeStandard;
        gpWPara->showFactoryParams = 0;
    }

    // What confirming rebuilds on every camera and enabled detection below the count: the
    // position model (S), the perspective model (H), the matchers (V), and the copy of the
    // shared parameters (C); nothing for settings the models do not use.
    void confirmRebuildsWhatTheChangeNeeds_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("rebuilt");   // detection 0 / detection 1
        QTest::addColumn<bool>("copied");
        QTest::newRow("delay") << "delay" << "/" << false;
        QTest::newRow("external trigger") << "trigger" << "/" << false;
        QTest::newRow("speed") << "speed" << "/" << false;
        QTest::newRow("offset") << "offset" << "SH/SH" << false;
        QTest::newRow("rotation range") << "angle" << "SH/SH" << false;
        QTest::newRow("accuracy") << "accuracy" << "S/S" << false;
        QTest::newRow("zoom layers") << "layers" << "S/S" << false;
        QTest::newRow("amplify") << "amplify" << "V/V" << false;
        QTest::newRow("mould side") << "side" << "SHV/SHV" << false;
        QTest::newRow("sharing on") << "sharing" << "SV/SV" << true;
        QTest::newRow("sharing and accuracy") << "sharing accuracy" << "V/V" << true;
        QTest::newRow("sharing and offset") << "sharing offset" << "SHV/SHV" << true;
        QTest::newRow("amplify and accuracy") << "amplify accuracy" << "V/V" << false;
        QTest::newRow("product detection off") << "prodoff" << "/SV" << false;
    }

    void confirmRebuildsWhatTheChangeNeeds()
    {
        QFETCH(QString, change);
        QFETCH(QString, rebuilt);
        QFETCH(bool, copied);
        gpWPara->detectProd = 1;
        gpWPara->sameParams = 0;
        gpWPara->motionCorrect = 0;
        gpWPara->angleCorrect = 1;
        gpWPara->detectEnabled[2] = 1;  // enabled, but not below the count of two
        open();
        WizardPara& bak = *gpWParaBak;
        if (change.contains("delay"))
            screen->box(1)->setValue(bak.trigInDelay[0] + 5);
        if (change.contains("speed"))
            screen->box(22)->setValue(bak.speed + 1);
        if (change.contains("offset"))
            screen->box(73)->setValue(bak.matchOffset > 1 ? bak.matchOffset - 1 : 2);
        if (change.contains("angle"))
            screen->box(81)->setValue(bak.matchAngle > 0 ? bak.matchAngle - 1 : 1);
        if (change.contains("accuracy"))
            screen->box(15)->setValue((bak.matchAccuracy + 1) % 10);
        if (change.contains("layers"))
            screen->box(16)->setValue((bak.zoomLayers + 1) % 10);
        if (change.contains("amplify"))
            screen->box(78)->setValue((bak.amplify + 1) % 4);
        if (change.contains("side"))
            screen->combo(65)->setCurrentIndex((bak.moldSide + 1) % 3);
        if (change.contains("sharing"))
            screen->check(20)->setValue(1);
        if (change.contains("prodoff"))
            screen->check(19)->setValue(0);
        if (change.contains("trigger"))
            screen->check(25)->setValue(bak.externalTrigger ? 0 : 1);

        // Sentinels the rebuilds overwrite.
        const cv::Rect untouched(1, 2, 3, 4);
        for (CammerWidget* v : views) {
            for (int d = 0; d < 3; ++d) {
                v->recognizer->searchRect[d] = untouched;
                v->recognizer->homo[d].features.clear();
                v->recognizer->detMask[d] = cv::Mat();
                if (!v->templates[d])
                    v->LoadTemplate(d);
                QVERIFY(v->templates[d] && v->ignoreMask[d]);
            }
            v->storeA->roiNum[0] = 1;
            v->storeA->para3[0][0] = 7;
            v->storeA->para3[1][0] = 4321;
        }
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(answerer.texts(), QStringList{Entry(234)});

        const QStringList expected = rebuilt.split('/');
        for (CammerWidget* v : views) {
            for (int d = 0; d < 3; ++d) {
                QString seen;
                if (v->recognizer->searchRect[d] != untouched)
                    seen += 'S';
                if (!v->recognizer->homo[d].features.empty())
                    seen += 'H';
                if (!v->recognizer->detMask[d].empty())
                    seen += 'V';
                QCOMPARE(seen, expected.value(d));
            }
            QCOMPARE(v->storeA->para3[1][0] == 7, copied);
            // The cameras are told the trigger mode chosen, only when it changed.
            const QStringList trigger = CammerWidgetRig::control(v)->recordedCalls().filter("setTriggerMode");
            QCOMPARE(trigger, change == "trigger" ? QStringList{QString("setTriggerMode %1").arg(
                                                        gpWPara->externalTrigger ? "true" : "false")}
                                                  : QStringList());
        }
        gpWPara->detectEnabled[2] = 0;
    }

    // Turning the wide dynamic range off sends the speed again whatever is answered, and on
    // NO the exposure too, to every camera.
    void wideDynamicRangeOffSendsSpeedAgain_data()
    {
        QTest::addColumn<int>("answer");  // -1: nothing else changed, nothing asked
        QTest::newRow("no other change") << -1;
        QTest::newRow("YES") << int(ModalAnswerer::Yes);
        QTest::newRow("NO") << int(ModalAnswerer::No);
    }

    void wideDynamicRangeOffSendsSpeedAgain()
    {
        QFETCH(int, answer);
        gpWPara->autoShading = 1;
        gpWPara->showFactoryParams = 1;
        open();
        screen->SlotToCamera();
        QVERIFY(screen->check(27)->isVisible());
        screen->check(27)->setChecked(false);
        screen->check(27)->setChecked(true);
        QVERIFY(screen->wdrOffPending);
        if (answer >= 0)
            screen->box(1)->setValue(gpWPara->trigInDelay[0] + 1);
        camera(0)->clearRecordedCalls();
        camera(1)->clearRecordedCalls();
        ModalAnswerer answerer;
        if (answer >= 0)
            answerer.answer(ModalAnswerer::Answer(answer));
        screen->accept();
        QCOMPARE(answerer.texts().size(), answer >= 0 ? 1 : 0);
        for (int c = 0; c < 2; ++c) {
            const QStringList calls = camera(c)->recordedCalls();
            QVERIFY2(calls.contains(QString("setSpeed %1").arg(gpWPara->speed)), qPrintable(calls.join(", ")));
            QCOMPARE(calls.contains(QString("setExposeTime %1").arg(gpWPara->exposeTime[c])),
                     answer == ModalAnswerer::No);
        }
        QVERIFY(!screen->wdrOffPending);
        gpWPara->showFactoryParams = 0;
    }

    // "Restore" asks, then the camera's defaults fill the edit copy and the boxes.
    void cameraDefaultsOnlyAfterYes()
    {
        open();
        screen->SlotToCamera();
        screen->SlotChangeCamera();
        const WizardPara before = *gpWParaBak;
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::No);
        screen->SlotRestoreDefaultSettings();
        QCOMPARE(answerer.texts(), QStringList{Entry(527)});
        QVERIFY(*gpWParaBak == before);
        QVERIFY(!camera(1)->recordedCalls().contains("restoreDefaultSettings 1"));

        answerer.answer(ModalAnswerer::Yes);
        screen->SlotRestoreDefaultSettings();
        QVERIFY(camera(1)->recordedCalls().contains("restoreDefaultSettings 1"));
        // The simulated camera's defaults.
        const int values[] = {30, 32, 0, 50, 70};
        EditBox* boxes[] = {screen->exposureBox, screen->gainBox, screen->clarityBox, screen->truthBox,
                            screen->gammaBox};
        const int stored[] = {gpWParaBak->exposeTime[1], gpWParaBak->adjustPlus[1], gpWParaBak->sharp[1],
                              gpWParaBak->contrast[1], gpWParaBak->gamma[1]};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(stored[i], values[i]);
            QCOMPARE(boxes[i]->value(), values[i]);
        }
        QCOMPARE(gpWParaBak->speed, 12);
        QCOMPARE(screen->box(22)->value(), 12);
        QCOMPARE(gpWParaBak->exposeTime[0], before.exposeTime[0]);
    }

    // The auto-exposure timer's end reads exposure and gain back from the camera into the
    // edit copy and the boxes, and sends nothing back.
    void autoExposureReadsTheCameraBack()
    {
        open();
        screen->SlotToCamera();
        views[0]->camera->setExposeTime(44);
        views[0]->camera->setAdjustPlus(21);
        camera(0)->clearRecordedCalls();
        screen->autoExposeTimer->start(60000);
        screen->SlotAutoExposeTimeTimeout();
        QVERIFY(!screen->autoExposeTimer->isActive());
        QCOMPARE(gpWParaBak->exposeTime[0], 44);
        QCOMPARE(gpWParaBak->adjustPlus[0], 21);
        QCOMPARE(screen->exposureBox->value(), 44);
        QCOMPARE(screen->gainBox->value(), 21);
        QVERIFY2(camera(0)->recordedCalls().isEmpty(), qPrintable(camera(0)->recordedCalls().join(", ")));
        QCOMPARE(gpWPara->exposeTime[0], 50);
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

        // From the last camera "Switch C" goes round to the first, which gets its values again.
        gpWParaBak->exposeTime[0] = 61;
        screen->SlotChangeCamera();
        QCOMPARE(screen->cameraIndex, 0);
        QCOMPARE(win->viewCamera, 0);
        QCOMPARE(screen->exposureBox->value(), 61);
        QVERIFY(camera(0)->recordedCalls().contains("setExposeTime 61"));
    }

    // The mirror of the camera being tuned, and of no other.
    void mirrorStopsSetsAndRestarts()
    {
        for (int tuned = 0; tuned < 2; ++tuned) {
            gpWPara->hMirror[0] = gpWPara->hMirror[1] = 0;
            open();
            screen->SlotToCamera();
            if (tuned == 1)
                screen->SlotChangeCamera();
            camera(0)->clearRecordedCalls();
            camera(1)->clearRecordedCalls();
            screen->hMirrorBox->setValue(1);
            screen->SetHMirror();
            QCOMPARE(gpWParaBak->hMirror[tuned], 1);
            QCOMPARE(gpWParaBak->hMirror[1 - tuned], 0);
            QCOMPARE(camera(tuned)->recordedCalls(), QStringList({"stopGrab", "setHMirror true", "startGrab"}));
            QVERIFY(camera(1 - tuned)->recordedCalls().isEmpty());
            screen->hide();
        }
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
        screen->exposureBox->setValue(42);
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
        QVERIFY2(calls.contains("setExposeTime 50"), qPrintable(calls.join(", ")));
        QVERIFY2(calls.contains("setVMirror false"), qPrintable(calls.join(", ")));
        QVERIFY2(calls.contains("setWDR false"), qPrintable(calls.join(", ")));
        QVERIFY(camera(1)->recordedCalls().contains("setWDR false"));
        QVERIFY(!camera(1)->recordedCalls().contains("setAdjustPlus 7"));
        QVERIFY(*gpWParaBak == *gpWPara);
        QVERIFY(SetRecords().isEmpty());
        QCOMPARE(StoredValue("system12", 10), 0);
    }

    // Simple display hides the navigation, "reordering" and the camera details the page
    // names, not the clarity, truth and Gamma boxes; leaving it with the factory details on
    // shows the colour-spot box, until the next page change.
    void simpleDisplayHidesWhatItNames()
    {
        gpWPara->showFactoryParams = 1;
        open();
        screen->SlotToCamera();
        QWidget* spot = screen->check(37);
        QVERIFY(!spot->isVisible());
        screen->SlotChangeShowMode();
        QCOMPARE(screen->showModeButton->text(), Entry(299));
        for (ColorButton* b : screen->navButtons) QVERIFY(!b->isVisible());
        QVERIFY(!screen->tuneCameraButton->isVisible());
        for (int row : {22, 23, 27, 29, 36, 37, 38, 41}) QVERIFY2(!screen->check(row) || !screen->check(row)->isVisible(), qPrintable(QString::number(row)));
        QVERIFY(!screen->box(22)->isVisible());
        QVERIFY(!screen->hMirrorBox->isVisible() && !screen->vMirrorBox->isVisible());
        for (EditBox* b : {screen->exposureBox, screen->gainBox, screen->clarityBox, screen->truthBox, screen->gammaBox})
            QVERIFY(b->isVisible());

        screen->SlotChangeShowMode();
        QCOMPARE(screen->showModeButton->text(), Entry(300));
        QVERIFY(screen->navButtons[0]->isVisible() && screen->tuneCameraButton->isVisible());
        QVERIFY(spot->isVisible());
        QVERIFY(screen->check(29)->isVisible() && screen->hMirrorBox->isVisible());
        // The box has a place of its own in its column.
        for (int row : {36, 38})
            QVERIFY(!screen->check(row)->geometry().intersects(spot->geometry()));
        screen->SlotToCommon();
        screen->SlotToCamera();
        QVERIFY(!spot->isVisible());

        // Without the factory details it stays hidden.
        screen->check(82)->setChecked(false);
        screen->DoChangePage();
        screen->SlotChangeShowMode();
        screen->SlotChangeShowMode();
        QVERIFY(!spot->isVisible() && !screen->clarityBox->isVisible());
        gpWPara->showFactoryParams = 0;
    }

    // The button bar is set up again after a change of the manual snapshot or the product
    // detection, and only then.
    void barFollowsSnapshotAndProductSwitches_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("refreshed");
        QTest::newRow("manual snapshot") << 83 << true;
        QTest::newRow("product detection") << 19 << true;
        QTest::newRow("semi-automatic") << 17 << false;
    }

    void barFollowsSnapshotAndProductSwitches()
    {
        QFETCH(int, row);
        QFETCH(bool, refreshed);
        if (!win->indexButton)
            win->indexButton = new IndexButton(win);
        open();
        win->indexButton->show();
        screen->check(row)->setValue(!screen->check(row)->value());
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        screen->accept();
        QCOMPARE(win->indexButton->isHidden(), refreshed);
        win->indexButton->hide();
    }

    // The hardware page counts the cameras in use; a simulated first camera counts none.
    void hardwarePageCountsNoSimulatedCamera()
    {
        HardwareConfigurationWidget page(win);
        for (bool simulated : {true, false}) {
            views[0]->simulated = simulated;
            page.show();
            QCOMPARE(page.countLabel->text(), simulated ? QString("0") : QString("2"));
            page.hide();
        }
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
