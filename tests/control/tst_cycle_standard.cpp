// Detection cycle of the standard machine on the simulated board and camera: judgement, alarms, operator
// actions, a box during a recognition, the counters on disk.
// ctest-timeout: 240
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QtTest>

#include "cammerwidget.h"
#include "colorbutton.h"
#include "controlport.h"
#include "cyclerig.h"
#include "globals.h"
#include "indexbutton.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "testsupport.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

const char* const kStallWarning = "controlport_thread - main_thread > 10s will timeout exit";

}  // namespace

class TestCycleStandard : public QObject
{
    Q_OBJECT

    CycleRig rig;

private slots:
    void initTestCase() { QVERIFY(rig.start()); }

    void init()
    {
        rig.beginScenario();
        QVERIFY(rig.setPart(0, false));
    }

    void cleanup() { rig.endScenario(); }

    // Delay 5, OK picture: the clamp output comes on at the cycle start, before the countdown
    // runs, and goes off once the mould is judged, its 500 ms later.
    void okMouldReleasesTheClamp()
    {
        QVERIFY(rig.mouldOnly(5));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        // Times as the program published the words; the board link adds its own delay (how
        // soon the clamp follows the edge is measured in bench/).
        const qint64 on = rig.published(kClampOut, true, edge);
        const qint64 off = rig.published(kClampOut, false, on);
        QVERIFY(on > 0 && off > 0);
        QVERIFY2(Ms(on, off) >= 490, qPrintable(QString::number(Ms(on, off))));
        QVERIFY(!rig.wasAt(kAlarmOut, true, edge, rig.nowUs()));
        QCOMPARE(rig.window->pageState, 1);  // the result on show
        QCOMPARE(rig.window->step, 1);
        QVERIFY(rig.view(0)->cameraOk);
    }

    // A mould-open pulse that rises and falls while the window is busy (no pass runs in
    // between) still starts the cycle once the window gets to it.
    void pulseWhileTheWindowIsBusyStartsTheCycle()
    {
        QVERIFY(rig.mouldOnly(1));
        const auto inputBit = [](int level) {
            QElapsedTimer t;
            t.start();
            for (;;) {
                {
                    QMutexLocker lock(pMutexIO);
                    if (int(gDataIn & 1u) == level)
                        return true;
                }
                if (t.elapsed() > 10000)
                    return false;
                QThread::msleep(1);
            }
        };
        rig.pulse(kMouldOpen, 300);
        // Busy: no events until the IO thread has seen the input rise and fall again.
        QVERIFY(inputBit(1));
        QVERIFY(inputBit(0));
        QVERIFY(rig.waitOutput(kClampOut, true, 2000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
    }

    // The cycle time is the wall-clock time between two cycle starts, in tenths.
    void cycleTimeBetweenTwoStarts()
    {
        QVERIFY(rig.mouldOnly(1));
        const QDateTime t0 = QDateTime::fromMSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() * 1000);
        PlatformClock::setNow(t0);
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
        PlatformClock::setNow(t0.addMSecs(12345));
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        PlatformClock::resetNow();
        QCOMPARE(rig.window->cycleTime, 123);
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
    }

    // NG picture: clamp and alarm stay on, the alarm page holds the system, the "run" record
    // names the camera; the release drops both outputs and lets the next cycle run.
    void ngMouldRaisesAndClearsTheAlarm()
    {
        QVERIFY(rig.mouldOnly(5));
        rig.setParam("system2", 4, 5);  // NG pictures kept
        rig.apply();
        const int recordsBefore = rig.records("run").size();
        QVERIFY(rig.setPart(0, true));
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
        rig.wait(600);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(rig.bit(rig.syncedOutputs(), kAlarmOut));
        QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, edge));
        QCOMPARE(rig.window->pageState, 2);
        QCOMPARE(rig.window->runState, 3);
        QVERIFY(!rig.view(0)->cameraOk);
        const QStringList runs = rig.records("run");
        QCOMPARE(runs.size(), recordsBefore + 1);
        QCOMPARE(runs.last(), QStringLiteral("1号相机 报警"));
        // The NG picture waits for the operator in its failure slot, rendered.
        QCOMPARE(rig.window->detectState[0][1], 3);

        // While the alarm holds, a new mould-open edge starts nothing.
        rig.openMould();
        rig.wait(800);
        QCOMPARE(rig.window->pageState, 2);

        // Release as the automatic release does it.
        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
        QCOMPARE(rig.window->pageState, 1);
        QCOMPARE(rig.window->runState, 1);
        QCOMPARE(rig.records("run").last(), QStringLiteral("所有相机都不检测本模"));

        // Detection goes on.
        const qint64 next = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        const qint64 off = rig.waitOutput(kClampOut, false, 2000);
        QVERIFY(off > 0 && Ms(next, off) >= 500);
    }

    // Timed release of a mould NG: output 4 on with the alarm, and the release after its time.
    void timedReleaseOfAMouldAlarm()
    {
        QVERIFY(rig.mouldOnly(2));
        rig.setParam("system9", 11, 1);
        rig.setParam("system9", 12, 5);
        QVERIFY(rig.setPart(0, true));
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
        QVERIFY(rig.waitOutput(kOutput4, true, 500) > 0);
        QVERIFY(rig.setPart(0, false));
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        // The release time as the program timed it: the link's delay differs from edge to edge.
        const qint64 alarm = rig.published(kAlarmOut, true, edge);
        const qint64 released = rig.published(kAlarmOut, false, alarm);
        QVERIFY(alarm > 0 && released > 0);
        QVERIFY2(Ms(alarm, released) >= 450, qPrintable(QString::number(Ms(alarm, released))));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(rig.window->pageState != 2);
    }

    // A stored trigger input outside the board's inputs switches the step off: the cycle
    // starts, nothing is judged.
    void triggerOutOfRangeMeansTheStepIsOff()
    {
        QVERIFY(rig.mouldOnly(1));
        gpWPara->detectTrigIn[1] = 9;
        const int judged = gAllNum[0];
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        rig.wait(500);
        QCOMPARE(gAllNum[0], judged);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
    }

    // No mould-open edge for a second after a cycle start: the clamp output is cut, the
    // warning shows and is recorded; the next cycle start takes the warning away.
    void noInputAlarmAfterTheSetTime()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system2", 18, 1);
        const QString text = gaLanStr[335 * kLanColumns + gLan];
        const int infos = rig.records("info").count(text);
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
        const qint64 cut = rig.waitOutput(kClampOut, true, 2000);
        QVERIFY(cut > 0);
        QVERIFY2(Ms(edge, cut) >= 950, qPrintable(QString::number(Ms(edge, cut))));
        QVERIFY(rig.window->noInputAlarm);
        QCOMPARE(gpWarnBox->text(), text);
        QCOMPARE(rig.records("info").count(text), infos + 1);
        const qint64 next = rig.openMould();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window->noInputAlarm, 10000);
        QVERIFY(gpWarnBox->isHidden());
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
        // That start did not arm the timer again.
        rig.wait(1300);
        QVERIFY(!rig.wasAt(kClampOut, true, next + 500 * kMs, rig.nowUs()));
    }

    // Manual triggers: the chosen step is judged at once and counts nothing; a disabled step
    // is refused with a message.
    void manualTriggerJudgesWithoutCounting()
    {
        QVERIFY(rig.mouldOnly(5));
        const int judged = gAllNum[0];
        rig.window->SlotManualTrig(1);
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->pageState, 1, 10000);
        QCOMPARE(rig.window->step, 1);
        QCOMPARE(rig.window->reTrainState, 0);
        QCOMPARE(gAllNum[0], judged);

        rig.answerer->clearShown();
        rig.answerer->answer(ModalAnswerer::Confirm);
        rig.window->SlotManualTrig(0);
        QCOMPARE(rig.answerer->texts(), QStringList{QStringLiteral("提示：该次检测没有启用！")});
        QCOMPARE(rig.window->manualTrig, gDNum);
    }

    // The start/stop button: stopped detection ignores the mould; both changes are recorded.
    void startStopButton()
    {
        QVERIFY(rig.mouldOnly(1));
        const int operates = rig.records("operate").size();
        rig.answerer->answer(ModalAnswerer::Yes);
        rig.window->SlotStartStop();
        QCOMPARE(rig.window->runState, 3);
        QCOMPARE(rig.window->indexButton->startStopButton->text(), gaLanStr[136 * kLanColumns + gLan]);
        const qint64 edge = rig.openMould();
        rig.wait(500);
        QVERIFY(!rig.wasAt(kClampOut, true, edge + 1, rig.nowUs()));
        rig.window->SlotStartStop();
        QCOMPARE(rig.window->runState, 1);
        QCOMPARE(rig.window->indexButton->startStopButton->text(), gaLanStr[127 * kLanColumns + gLan]);
        const QStringList operate = rig.records("operate");
        QCOMPARE(operate.size(), operates + 2);
        QCOMPARE(operate.at(operates), gaLanStr[141 * kLanColumns + gLan]);
        QCOMPARE(operate.at(operates + 1), gaLanStr[142 * kLanColumns + gLan]);
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
    }

    // Re-sampling: the operator confirms it, the next mould's frame (with the part in it)
    // becomes template 0, the teaching page opens; after it is left the templates are
    // retrained and that part no longer alarms.
    void resamplingTakesTheNextFrameAsTemplate()
    {
        QVERIFY(rig.mouldOnly(2));
        QVERIFY(rig.setPart(0, true));
        const int operates = rig.records("operate").size();
        rig.answerer->answer(ModalAnswerer::Yes);
        rig.window->SlotReTrain();
        QCOMPARE(rig.window->reTrainState, 1);
        QVERIFY(rig.view(0)->pendingTemplate[1]);
        QCOMPARE(rig.records("operate").size(), operates + 1);
        QVERIFY(rig.records("operate").last().endsWith(gaLanStr[139 * kLanColumns + gLan]));

        const int judged = gAllNum[0];
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->pageState, 3, 10000);  // the teaching page
        QVERIFY(!rig.view(0)->pendingTemplate[1]);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kAlarmOut));
        QCOMPARE(gAllNum[0], judged);
        QCOMPARE(QImage(rig.view(0)->DetectionDir(1) + "/template0.bmp").pixelColor(320, 240).value(), 0);

        // Leaving the teaching page.
        gFromTrain = 0;
        rig.window->pageState = 0;
        rig.window->BackTrain();
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!gisReTrain, 10000);  // retrained when the shown result ends

        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        QVERIFY(rig.view(0)->cameraOk);
        QCOMPARE(gAllNum[0], judged + 1);

        // The clean mould is now the different one: teach it back for the other scenarios.
        QVERIFY(rig.setPart(0, false));
        rig.view(0)->SaveReTrainImage(1);
        rig.window->ResetRun();
        gisReTrain = true;
        rig.window->TimerShow();
    }

    // A temperature alarm: the periodic check blinks the alarm output, and a mould judged
    // while it is pending counts as NG.
    void temperatureAlarm()
    {
        QVERIFY(rig.mouldOnly(1));
        // Set for the whole process: every exit of this test takes it back.
        gisTempAlarm = true;
        const auto noTemperatureAlarm = qScopeGuard([] { gisTempAlarm = false; });
        const qint64 checked = rig.nowUs();
        rig.window->CheckTemp();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 500) > 0);
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        const qint64 on = rig.published(kAlarmOut, true, checked);
        const qint64 off = rig.published(kAlarmOut, false, on);
        QVERIFY2(on > 0 && off > 0 && Ms(on, off) >= 900, qPrintable(QString::number(Ms(on, off))));

        // The cameras see nothing wrong: the alarm page holds the mould closed (the alarm
        // output is the periodic check's).
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->pageState, 2, 10000);
        QVERIFY(rig.view(0)->cameraOk);
        rig.wait(300);
        QVERIFY(rig.heldSince(kClampOut, edge) >= 0);
        gisTempAlarm = false;
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
        QVERIFY(rig.window->pageState != 2);
    }

    // A nested event loop inside the judgement (a slot of the statistics hand-off waits) runs
    // the timers and the IO signal: neither the pass nor the countdown may start again.
    void nestedEventLoopsDoNotRunTheCycleTwice()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system6", 10, 1);  // statistics on: the judgement emits sendRecord
        int nested = 0;
        const auto connection = connect(rig.window, &MoJuWizard::sendRecord, this, [&] {
            if (nested++ > 0)
                return;
            rig.window->TimerUp(1);
            rig.window->Run();
            QTest::qWait(300);
        });
        const int judged = gAllNum[0];
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, false, 3000) > 0);
        rig.wait(200);
        disconnect(connection);
        QCOMPARE(nested, 1);
        QCOMPARE(gAllNum[0], judged + 1);
    }

    // A box opened during a recognition (here in the judgement's hand-off to the statistics)
    // stays up for 20 s of the steered clock. The board is polled throughout: after every
    // second the clock moves on, it sees new frames before the next one. A delay of 0 runs
    // the recognition inside the pass that saw the input.
    void boardPolledWhileABoxOfTheRecognitionIsOpen_data()
    {
        QTest::addColumn<int>("delay");
        QTest::newRow("after the countdown") << 1;
        QTest::newRow("within the pass") << 0;
    }
    void boardPolledWhileABoxOfTheRecognitionIsOpen()
    {
        QFETCH(int, delay);
        QVERIFY(rig.mouldOnly(delay));
        rig.setParam("system6", 10, 1);
        constexpr int kBoxSeconds = 20;
        // Real time allowed for the board to see a frame after a step of the clock.
        constexpr int kFrameDeadlineMs = 5000;
        int secondsPolled = 0;
        bool silent = false;
        int boxes = 0;
        const auto connection = connect(rig.window, &MoJuWizard::sendRecord, this, [&] {
            if (boxes++ > 0)
                return;
            QDialog box(rig.window);
            QTimer clock;
            QElapsedTimer waiting;
            int framesAtStep = rig.board.frameCount();
            waiting.start();
            connect(&clock, &QTimer::timeout, &box, [&] {
                if (rig.board.frameCount() == framesAtStep) {
                    if (waiting.elapsed() > kFrameDeadlineMs) {
                        silent = true;
                        box.reject();
                    }
                    return;
                }
                if (secondsPolled == kBoxSeconds) {
                    box.accept();
                    return;
                }
                ++secondsPolled;
                PlatformClock::advanceMonotonic(1000);
                // Frames the IO thread had on the way before the step do not count.
                QThread::msleep(10);
                framesAtStep = rig.board.frameCount();
                waiting.restart();
            });
            clock.start(50);
            box.exec();
        });
        const auto disconnectAtEnd = qScopeGuard([connection] { disconnect(connection); });
        TestSupport::clearCapturedMessages();
        const int judged = gAllNum[0];
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(boxes, 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(gAllNum[0], judged + 1, 10000);
        QVERIFY2(!silent, qPrintable(QString("no frame after %1 s of the box").arg(secondsPolled)));
        QCOMPARE(secondsPolled, kBoxSeconds);
        QVERIFY(TestSupport::capturedMessages().filter(kStallWarning).isEmpty());
        // Detection goes on.
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(gAllNum[0], judged + 2, 10000);
    }

    // The production counters are on disk in count.ini once a mould cycle ends, and a start
    // reads them back from there.
    void countersReachCountIniAtTheCycleEndAndSurviveARestart()
    {
        QVERIFY(rig.mouldOnly(1));
        const int judged = gAllNum[0];
        const int cycles = gAllCycleNum[0];
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        QCOMPARE(gAllCycleNum[0], cycles + 1);
        const QString path = rig.window->countSettings->fileName();
        const QByteArray allLine = QString("list_allnum=%1, 0, 0, 0, 0, 0, 0, 0\n").arg(judged + 1).toLatin1();
        const QByteArray cycleLine = QString("list_allcyclenum=%1, 0, 0, 0, 0, 0, 0, 0\n").arg(cycles + 1).toLatin1();
        const auto onDisk = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(onDisk().contains(allLine) && onDisk().contains(cycleLine), 10000);

        // A restart: the counters start from nothing and a fresh settings object reads the file.
        delete rig.window->countSettings;
        std::fill(std::begin(gAllNum), std::end(gAllNum), 0);
        std::fill(std::begin(gAllCycleNum), std::end(gAllCycleNum), 0);
        rig.window->countSettings = new QSettings(path, QSettings::IniFormat);
        rig.window->CountRead();
        QCOMPARE(gAllNum[0], judged + 1);
        QCOMPARE(gAllCycleNum[0], cycles + 1);
    }
};

MONITOR_TEST_MAIN(TestCycleStandard)
#include "tst_cycle_standard.moc"
