// Statistics joined to the real main window: judged cycles on two simulated cameras reach the model and, after the
// minute save or at the stop, ResStatistics.db. ctest-timeout: 240
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include "camerastatisticswidget.h"
#include "camereatabwidget.h"
#include "cammerwidget.h"
#include "colorbutton.h"
#include "constructionhooks.h"
#include "cyclerig.h"
#include "diskreserve.h"
#include "diskwrite.h"
#include "globals.h"
#include "indexbutton.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "mainstate.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformexit.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "startup.h"
#include "statisticsrig.h"
#include "statisticswidget.h"
#include "systemactions.h"
#include "testsupport.h"
#include "textids.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

// An operation record in RECORD.db whose remarks are exactly `text`.
static bool HasRecord(const QString& text)
{
    for (const QString& row : MainWindowRig::recordRows())
        if (row.left(row.lastIndexOf('|')) == text)
            return true;
    return false;
}

class TestStatisticsWindow : public QObject
{
    Q_OBJECT

    CycleRig rig;

private slots:
    void initTestCase()
    {
        // The window's statistics step as start-up fills it; the statistics switch on.
        ConstructionHooks hooks;
        AddStatisticsHook(hooks);
        AddSettingsHooks(hooks);
        SetConstructionHooks(hooks);
        QVERIFY(rig.start(2, 1, {{"system6", 10, 1}}));
        SetConstructionHooks({});
    }

    // One OK cycle, then one with camera 1 NG, on the mould step (the cycle's last detection).
    void judgedCyclesReachTheLiveFile()
    {
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        QVERIFY(model->database && model->database->usable);
        QVERIFY(model->dayTimer->isActive());
        QCOMPARE(model->curGroupName, gpWPara->getCurGroupName());
        QSignalSpy counted(model, &ResStatisticsParam::sigCheckUpdate);

        QVERIFY(rig.mouldOnly(1));
        QVERIFY(rig.setPart(0, false));
        QVERIFY(rig.setPart(1, false));
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(counted.size(), 1, 10000);
        QVERIFY(rig.waitOutput(kClampOut, false, 5000) > 0);

        QVERIFY(rig.setPart(1, true));
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(counted.size(), 2, 10000);
        QVERIFY(!rig.view(1)->cameraOk);

        model->checkDate();
        CountGroupList stored;
        const CountGroup* g = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                stored = StatRig::storedDay(kStatLiveFile);
                g = nullptr;
                for (const CountGroup& candidate : stored.groups)
                    if (candidate.groupName == model->curGroupName)
                        g = &candidate;
                return g && StatRig::sum(g->all.count.NG) == 1;
            }(),
            10000);
        using StatRig::sum;
        QCOMPARE(stored.date, model->getCurDBDate());
        QCOMPARE(g->cameras.size(), 2);
        // Per camera and detection: one result per judged detection, on the mould step only.
        QCOMPARE(sum(g->cameras[0].detects[1].OK), 2);
        QCOMPARE(sum(g->cameras[1].detects[1].OK), 1);
        QCOMPARE(sum(g->cameras[1].detects[1].NG), 1);
        QCOMPARE(sum(g->cameras[0].detects[0].OK) + sum(g->cameras[0].detects[0].NG), 0);
        // All cameras: OK only when every camera was.
        QCOMPARE(sum(g->all.detects[1].OK), 1);
        QCOMPARE(sum(g->all.detects[1].NG), 1);
        // Whole cycles.
        QCOMPARE(sum(g->cameras[0].count.OK), 2);
        QCOMPARE(sum(g->cameras[1].count.NG), 1);
        QCOMPARE(sum(g->all.count.OK), 1);
    }

    // The button bar's statistics button shows the page over the window; a cycle judged while the running day is
    // shown moves the figures of all cameras.
    void statisticsButtonAndLivePage()
    {
        gpWin->show();  // as start-up shows it: the page reloads its days when it is shown
        IndexButton* bar = gpWin->indexButton;
        QVERIFY(bar->statisticsButton);
        bar->expanded = true;
        bar->ShowHide(1);
        QVERIFY(bar->statisticsButton->isVisible());
        StatisticsWidget* page = StatisticsWidget::instance;
        QVERIFY(page);
        QCOMPARE(page->parentWidget(), static_cast<QWidget*>(gpWin));
        QVERIFY(page->isHidden());
        QVERIFY(!page->cameraTabs);  // built when the page is first shown

        bar->statisticsButton->click();
        QVERIFY(page->isVisible());
        QVERIFY(page->cameraTabs);
        QCOMPARE(page->geometry(), QRect(0, 0, 1920, 1080));
        QCOMPARE(page->cameraTabs->count(), 3);
        QCOMPARE(page->dayList->currentRow(), 0);
        CameraStatisticsWidget* all = page->cameraPages[0]->pages[0];
        QTRY_COMPARE_WITH_TIMEOUT(all->valueLabels[2][0]->text(), QString("2"), 5000);

        // The last cycle's NG alarm holds detection: back to detecting, then one OK cycle.
        QVERIFY(rig.restartDetection());
        QVERIFY(rig.setPart(1, false));
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(all->valueLabels[2][0]->text(), QString("3"), 10000);
        QCOMPARE(all->valueLabels[2][1]->text(), QString("2"));
        QCOMPARE(all->valueLabels[2][2]->text(), QString("66.67%"));
        QCOMPARE(page->grab().size(), QSize(1920, 1080));

        page->SlotConfirm();
        QVERIFY(page->isHidden());
    }

    // Over the window, the page's questions show above it, and an NG alarm raised while it is
    // shown makes it give way to the alarm page.
    void questionsAboveAndAlarmOverThePage()
    {
        IndexButton* bar = gpWin->indexButton;
        bar->expanded = true;
        bar->ShowHide(1);
        bar->statisticsButton->click();
        StatisticsWidget* page = StatisticsWidget::instance;
        QVERIFY(page->isVisible());
        StatRig::watchPageBoxes(*rig.answerer, page);
        bool above = false;
        rig.answerer->answerWith([&above, page](QDialog* box) {
            above = box->isWindow() || page->isAncestorOf(box);
            box->reject();
        });
        page->SlotExportData();  // no disk: the question, declined
        QVERIFY(above);
        QVERIFY(page->isVisible());

        QVERIFY(rig.restartDetection());
        QVERIFY(rig.setPart(1, true));
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(gpState->pageState, kPageAlarm, 10000);
        QVERIFY(page->isHidden());
    }

    // Leaving the settings screen sets the day timer by the statistics switch, whatever it was before.
    void settingsScreenLeavesTheDayTimerAsTheSwitchSays()
    {
        QTimer* timer = ResStatisticsParam::getInstance()->dayTimer;
        WizardParaWidget* settings = gpWin->wizardParaWidget;
        QVERIFY(timer && settings);
        const int switchWas = gpWPara->useStatistics;
        const int defectWas = gpWPara->defectDetect;
        gpWPara->defectDetect = 1;  // the screen refuses to close with no detection function on
        for (const bool on : {true, false, true}) {
            gpWPara->useStatistics = on ? 1 : 0;
            if (on)
                timer->stop();
            else
                timer->start();
            *gpWParaBak = *gpWPara;  // what the screen edits, as its button opens it
            settings->show();
            settings->accept();  // nothing changed: no question, the screen closes
            QVERIFY(settings->isHidden());
            QCOMPARE(timer->isActive(), on);
        }
        gpWPara->useStatistics = switchWas;
        gpWPara->defectDetect = defectWas;
        *gpWParaBak = *gpWPara;
    }

    // A stop on a full disk: the room set aside at start goes to the stop's writes, so the
    // running day, count.ini and the kept records get there. Without any room what was lost is
    // noted, and the next start tells it in the log, the records and a box.
    void stopOnAFullDisk()
    {
        QFETCH(bool, room);
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        QVERIFY(DiskReserve::Take());
        SetDiskWriteFailure([room](const QString& path) {
            if (path.endsWith(DiskReserve::kFile))
                return 0;
            return !room || QFileInfo(DiskReserve::kFile).size() > DiskReserve::kNoteBytes ? ENOSPC : 0;
        });
        const auto lift = qScopeGuard([] { SetDiskWriteFailure({}); });
        const int counted = StatRig::cycles(model->curCount, model->curGroupName) + 2;
        model->addRecord(0, 10, {true, true}, true);
        model->addRecord(0, 10, {true, false}, true);
        gAllCycleNum[0] += 2;
        gpWin->CountWrite();
        const QString kept = QString("kept while full, room %1").arg(room);
        gpWin->InsertRecord(kept, "info");
        StopFlush();
        SetDiskWriteFailure({});
        QFile ini("cnt_net/workspace/count.ini");
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const bool iniHolds = ini.readAll().contains(QString("list_allcyclenum=%1,").arg(gAllCycleNum[0]).toLatin1());
        const bool recordKept = HasRecord(kept);
        const int stored = StatRig::cycles(StatRig::storedDay(kStatLiveFile), model->curGroupName);
        DiskReserve::ResetForTest();  // as the next start reads the page
        // The note's page stays for the next stop, whatever this one noted.
        QCOMPARE(QFileInfo(DiskReserve::kFile).size(), DiskReserve::kNoteBytes);
        if (room) {
            QVERIFY(DiskReserve::LastStopLosses().isEmpty());
            QVERIFY(iniHolds && recordKept);
            QCOMPARE(stored, counted);
            return;
        }
        QVERIFY(!iniHolds && !recordKept && stored < counted);
        QCOMPARE(DiskReserve::LastStopLosses(), QStringList({"statistics", "counters", "records 1"}));
        TestSupport::clearCapturedMessages();
        TellLastStopLosses();
        QVERIFY(!TestSupport::capturedMessages().filter("the last stop could not write").isEmpty());
        const QString told = LanStr(kTextLostAtStop).arg(
            QStringList{LanStr(kTextLostStatistics), LanStr(kTextLostCounters), LanStr(kTextLostRecords).arg(1)}.join(
                ", "));
        QVERIFY2(HasRecord(told), qPrintable(told));
        QVERIFY(QFile::remove(DiskReserve::kFile));
        DiskReserve::ResetForTest();
    }
    void stopOnAFullDisk_data()
    {
        QTest::addColumn<bool>("room");
        QTest::newRow("room set aside") << true;
        QTest::newRow("no room at all") << false;
    }

    // Three moulds, the program stopped right after the last judgement, before the settings
    // object wrote count.ini by itself and long before the next minute save: when it ends, the
    // running day in ResStatistics.db and count.ini hold all three.
    void stopRightAfterJudgementsKeepsThem()
    {
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        QVERIFY(rig.restartDetection());
        QVERIFY(rig.setPart(1, false));
        auto cycles = [model](const CountGroupList& day) {
            for (const CountGroup& g : day.groups)
                if (g.groupName == model->curGroupName)
                    return StatRig::sum(g.all.count.OK) + StatRig::sum(g.all.count.NG);
            return 0;
        };
        auto storedCycles = [&] { return cycles(StatRig::storedDay(kStatLiveFile)); };
        auto iniCycles = [] {
            QFile ini("cnt_net/workspace/count.ini");
            const QRegularExpression line("list_allcyclenum=(\\d+)");
            return ini.open(QIODevice::ReadOnly) ? line.match(QString::fromLatin1(ini.readAll())).captured(1).toInt()
                                                 : -1;
        };
        model->checkDate();
        const int counted = cycles(model->curCount);  // the cycles of the tests before
        QTRY_COMPARE_WITH_TIMEOUT(storedCycles(), counted, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(iniCycles(), gAllCycleNum[0], 10000);
        const int before = gAllCycleNum[0];

        InstallStopSequence();
        int storedAtExit = -1;
        int iniAtExit = -1;
        PlatformExit::setHandler([&](int) {
            storedAtExit = storedCycles();
            iniAtExit = iniCycles();
        });
        QSignalSpy judged(model, &ResStatisticsParam::sigCheckUpdate);
        for (int mould = 1; mould <= 3; ++mould) {
            if (mould == 3) {
                // Queued before the settings object's own write of the count the judgement makes.
                connect(model, &ResStatisticsParam::sigCheckUpdate, this, [] {
                    QMetaObject::invokeMethod(
                        qApp, [] { PlatformExit::stop(0); }, Qt::QueuedConnection);
                });
            }
            rig.openMould();
            QTRY_COMPARE_WITH_TIMEOUT(judged.size(), mould, 10000);
            if (mould < 3)
                QVERIFY(rig.waitOutput(kClampOut, false, 5000) > 0);
        }
        QTRY_VERIFY_WITH_TIMEOUT(storedAtExit >= 0, 10000);
        QCOMPARE(gAllCycleNum[0], before + 3);
        QCOMPARE(storedAtExit, counted + 3);
        QCOMPARE(iniAtExit, before + 3);
        PlatformExit::setHandler([](int code) { qWarning("Exit(%d) called", code); });
    }

    // The settings screen's exit is a normal end too: through the same stop, so the record it
    // writes is closed with RECORD.db before the exit.
    void settingsExitEndsThroughTheStop()
    {
        bool recordOpenAtExit = true;
        PlatformExit::setHandler([&recordOpenAtExit](int) { recordOpenAtExit = gpState->dbRecord.isOpen(); });
        rig.answerer->answer({ModalAnswerer::Yes, ModalAnswerer::Yes});  // exit? then the notice
        QVERIFY(SystemActions::ExitProgram([] {}));
        QVERIFY(!recordOpenAtExit);
        PlatformExit::setHandler([](int code) { qWarning("Exit(%d) called", code); });
    }
};

MONITOR_TEST_MAIN(TestStatisticsWindow)
#include "tst_statistics_window.moc"
