// Detection cycle of the standard machine while its simulated camera is lost (the camera's scripted loss): the
// clamp is held, no step is judged on a picture from before the loss, and none is left standing without a
// judgement or an alarm.
// ctest-timeout: 180
#include <functional>

#include <QFile>
#include <QScopeGuard>
#include <QtTest>

#include "cammerwidget.h"
#include "controlport.h"
#include "cyclerig.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "mojuwizard.h"
#include "simcameracontrol.h"
#include "testsupport.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

constexpr int kRigReconnectTries = 3;  // as the rig configures the simulated camera

}  // namespace

class TestCycleLostCamera : public QObject
{
    Q_OBJECT

    CycleRig rig;

    // The camera's scripted loss (the simulated camera reads it at its next grab), and what
    // its scene does meanwhile.
    static void scriptLoss(const char* meanwhile = "")
    {
        QFile knob("simcamera.in");
        QVERIFY(knob.open(QIODevice::WriteOnly | QIODevice::Truncate));
        knob.write(QByteArray("lose 1\n") + meanwhile);
    }

    // Looks at the window every 10 ms, also from inside the event loop the view of a lost
    // camera runs until the camera is back (the test's own code waits in that loop).
    struct LossWatch
    {
        explicit LossWatch(CycleRig& r) : rig(r)
        {
            QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
            timer.start(10);
        }
        void look()
        {
            const bool connected = rig.view(0)->cameraConnected;
            if (!connected && !lost) {
                lost = true;
                judgedAtLoss = gAllNum[0];
                reCheckWaitingAtLoss = rig.window->reCheckTimer->isActive();
                if (whileLost)
                    whileLost();
            }
            if (lost && connected && backUs < 0)
                backUs = CycleRig::nowUs();
            if (lost && !connected) {
                judgedWhileAway = judgedWhileAway || gAllNum[0] != judgedAtLoss;
                releasedWhileAway = releasedWhileAway || !CycleRig::bit(rig.outputs(), kClampOut);
                const bool alarmOn = CycleRig::bit(rig.outputs(), kAlarmOut);
                alarmDroppedWhileAway = alarmDroppedWhileAway || (alarmOnBoardWhileAway && !alarmOn);
                alarmOnBoardWhileAway = alarmOnBoardWhileAway || alarmOn;
            }
            if (lost && !connected && !alarmWhileAway && rig.window->pageState == 2) {
                alarmWhileAway = true;
                if (whileAlarmed)
                    whileAlarmed();
            }
            if (!rig.window->camerasOK) {
                intervalWhileLost = rig.window->runTimer->interval();
                warningWhileLost = gpWarnBox->isHidden() ? QString() : gpWarnBox->text();
            }
        }
        CycleRig& rig;
        // Run once the camera is seen lost, and once the alarm page is seen up while it is
        // still away, in the view's reconnection loop.
        std::function<void()> whileLost;
        std::function<void()> whileAlarmed;
        bool alarmWhileAway = false;
        // Seen while the camera was away (the watch looks every 10 ms or so, as the event
        // loop allows): a judgement, the clamp output off on the board.
        int judgedAtLoss = 0;
        bool judgedWhileAway = false;
        bool releasedWhileAway = false;
        bool alarmOnBoardWhileAway = false;
        bool alarmDroppedWhileAway = false;  // the alarm output went off again
        QTimer timer;
        bool lost = false;
        qint64 backUs = -1;  // board clock, as the watch saw it
        bool reCheckWaitingAtLoss = false;
        int intervalWhileLost = 0;
        QString warningWhileLost;
    };

    SimCameraControl* camera() const { return qobject_cast<SimCameraControl*>(rig.view(0)->camera); }

private slots:
    void initTestCase() { QVERIFY(rig.start()); }

    void init()
    {
        rig.beginScenario();
        QVERIFY(rig.setPart(0, false));
    }

    void cleanup()
    {
        camera()->setReconnectTries(kRigReconnectTries);
        rig.endScenario();
    }

    // The camera goes away while the mould's countdown runs and a part comes into the mould
    // meanwhile (or none does); it is back after the countdown ended, or before. Meanwhile the
    // clamp holds, the warning shows and the passes slow to one a second. Once it is back the
    // step is judged on a picture taken after the return: the part raises the alarm (the
    // picture from before the loss would have passed), a clean mould is released; a camera
    // back without a new picture gets the alarm (its picture from before the loss is clean).
    // Each counts once. The return is recorded and the next mould is judged as usual.
    void heldStepIsJudgedOnAPictureTakenAfterTheReturn_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("tries");
        QTest::addColumn<bool>("part");
        QTest::addColumn<bool>("pictures");  // the camera delivers after its return
        QTest::newRow("back after the countdown, part came") << 15 << 3 << true << true;
        QTest::newRow("back after the countdown, clean") << 15 << 3 << false << true;
        QTest::newRow("back within the countdown, part came") << 30 << 1 << true << true;
        QTest::newRow("back after the countdown without a picture") << 15 << 3 << false << false;
    }
    void heldStepIsJudgedOnAPictureTakenAfterTheReturn()
    {
        QFETCH(int, delay);
        QFETCH(int, tries);
        QFETCH(bool, part);
        QFETCH(bool, pictures);
        QVERIFY(rig.mouldOnly(delay));
        camera()->setReconnectTries(tries);
        const QString back = gaLanStr[656 * kLanColumns + gLan];
        const int infos = rig.records("info").count(back);
        const int judged = gAllNum[0];
        LossWatch watch(rig);
        // Grabs that fail once it is back (set while it is away, where they do not count).
        if (!pictures)
            watch.whileLost = [this] { camera()->failGrabs(1000000); };
        const auto delivers = qScopeGuard([this] { camera()->failGrabs(0); });
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        scriptLoss(part ? "defect 1 on\n" : "");
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        // The test waits in the view's reconnection loop until the camera is back.
        QTRY_VERIFY_WITH_TIMEOUT(watch.backUs > 0, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(gAllNum[0], judged + 1, 10000);
        QVERIFY(!watch.judgedWhileAway);
        QVERIFY(!watch.releasedWhileAway);
        QCOMPARE(watch.intervalWhileLost, 1000);
        QCOMPARE(watch.warningWhileLost, gaLanStr[39 * kLanColumns + gLan]);
        QCOMPARE(rig.records("info").count(back), infos + 1);
        if (part || !pictures) {
            QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
            QCOMPARE(rig.window->pageState, 2);
            QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, edge));
            camera()->failGrabs(0);
            QVERIFY(rig.setPart(0, false));
            // A mould judged without a picture waits for the operator: no timed release.
            pictures ? rig.window->SlotClearNGAlarm() : rig.window->ClearStepAlarm();
            QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
        } else {
            QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
            QVERIFY(!rig.wasAt(kAlarmOut, true, edge, rig.nowUs()));
        }

        QTRY_COMPARE_WITH_TIMEOUT(rig.window->runTimer->interval(), 100, 10000);
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 3000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 3000) > 0);
        QCOMPARE(gAllNum[0], judged + 2);
    }

    // The camera goes away in the countdown and stays away: the held step cannot wait for it
    // past the time the board link lives without a normal pass. The NG alarm comes on the
    // board while the camera is away (the clamp held all along), the alarm page holds and
    // names the camera, the mould counts once as NG. Once the camera is back the operator
    // releases the alarm.
    void cameraStayingAwayRaisesTheAlarm()
    {
        QVERIFY(rig.mouldOnly(5));
        camera()->setReconnectTries(1000);
        const int judged = gAllNum[0];
        const int failed = gFailNum[0];
        const int runs = rig.records("run").size();
        LossWatch watch(rig);
        // The test waits in the view's reconnection loop: the camera may come back once the
        // alarm is seen.
        watch.whileAlarmed = [this] { camera()->setReconnectTries(1); };
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        scriptLoss();
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(watch.backUs > 0, 30000);
        QVERIFY(watch.alarmWhileAway && watch.judgedWhileAway);
        QVERIFY(watch.alarmOnBoardWhileAway);
        QVERIFY(!watch.releasedWhileAway);
        QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, edge));
        QCOMPARE(rig.window->pageState, 2);
        QCOMPARE(gAllNum[0], judged + 1);
        QCOMPARE(gFailNum[0], failed + 1);
        QCOMPARE(rig.records("run").size(), runs + 1);
        QCOMPARE(rig.records("run").last(), QStringLiteral("1号相机 报警"));

        QTRY_VERIFY_WITH_TIMEOUT(rig.window->camerasOK, 15000);
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
        QCOMPARE(gAllNum[0], judged + 1);
    }

    // The camera goes away in the countdown and comes back only after the timed release of
    // the alarm it gets meanwhile (or after the operator stopped detection while it was
    // away): nothing lets the machine close while it is away, the alarm holds until then, and
    // once it is back the clamp is released rather than left standing with no alarm.
    void nothingReleasesTheClampWhileTheCameraIsAway_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("timed release") << false;
        QTest::newRow("detection stopped") << true;
    }
    void nothingReleasesTheClampWhileTheCameraIsAway()
    {
        QFETCH(bool, stop);
        QVERIFY(rig.mouldOnly(5));
        rig.setParam("system9", 11, 1);   // timed release
        rig.setParam("system9", 12, 10);  // after 1 s
        camera()->setReconnectTries(1000);
        const int judged = gAllNum[0];
        const QString released = gaLanStr[103 * kLanColumns + gLan];
        const int releases = rig.records("run").count(released);
        LossWatch watch(rig);
        QTimer back;
        back.setSingleShot(true);
        qint64 letBackUs = -1;  // board clock: the camera cannot be back before this
        connect(&back, &QTimer::timeout, [&] {
            letBackUs = CycleRig::nowUs();
            camera()->setReconnectTries(1);
        });
        // Back 2.5 s after the alarm, when its release (1 s) is long due; or 2.5 s after the stop.
        watch.whileAlarmed = [&] { back.start(2500); };
        if (stop) {
            watch.whileLost = [&] {
                rig.window->StopDetect();
                back.start(2500);
            };
        }
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        scriptLoss();
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(watch.backUs > 0, 30000);
        QVERIFY(!watch.releasedWhileAway);
        QCOMPARE(watch.alarmWhileAway, !stop);
        QVERIFY(!watch.alarmDroppedWhileAway);
        QVERIFY(rig.waitOutput(kClampOut, false, 10000) > 0);
        // The board's own record: the clamp first went off after the camera was let back (the
        // watch may see the return only after the release it brings, on a loaded machine).
        QVERIFY(letBackUs > 0 && rig.firstChange(kClampOut, false, edge) > letBackUs);
        QVERIFY(!CycleRig::bit(rig.syncedOutputs(), kAlarmOut));
        QVERIFY(rig.window->pageState != 2);
        if (!stop) {
            QCOMPARE(gAllNum[0], judged + 1);
            QCOMPARE(rig.records("run").count(released), releases + 1);
        }
    }

    // The mould alarms, its re-check is due in 2 s; the part goes, then the camera goes away
    // and the part comes back while it is away. The re-check waits for the camera rather than
    // judging its last picture (without the part): the clamp output holds, and the picture
    // after its return raises the alarm.
    void reCheckWaitsForALostCamera()
    {
        QVERIFY(rig.mouldOnly(2));
        rig.setParam("system1", 7, 1);    // one re-check
        rig.setParam("system14", 2, 20);  // 2 s after the NG
        QVERIFY(rig.setPart(0, true));
        const qint64 edge = rig.openMould();
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->reCheckTimer->isActive(), 10000);
        QVERIFY(rig.setPart(0, false));
        LossWatch watch(rig);
        scriptLoss("defect 1 on\n");
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        QVERIFY2(watch.reCheckWaitingAtLoss, "the camera was lost after the re-check ran");
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->camerasOK, 15000);
        QVERIFY(rig.waitOutput(kAlarmOut, true, 5000) > 0);
        QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, edge));
        QCOMPARE(rig.window->pageState, 2);

        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
    }
    // The alarm page holds a mould NG. The part goes, then the camera goes away and the part
    // comes back while it is away; the operator's re-check on the alarm page meanwhile must
    // not pass the camera on its last picture (without the part): the alarm holds.
    void alarmPageReCheckDoesNotPassALostCamera()
    {
        QVERIFY(rig.mouldOnly(2));
        QVERIFY(rig.setPart(0, true));
        const qint64 edge = rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->pageState, 2, 10000);
        QVERIFY(rig.waitOutput(kAlarmOut, true, 1000) > 0);
        QVERIFY(rig.setPart(0, false));
        LossWatch watch(rig);
        bool alarmAfterReCheck = false;
        watch.whileLost = [&] {
            rig.window->drawROIWidget->reCheckButton->click();
            alarmAfterReCheck = rig.window->pageState == 2;
        };
        scriptLoss("defect 1 on\n");
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->camerasOK, 15000);
        QVERIFY(alarmAfterReCheck);
        QCOMPARE(rig.window->pageState, 2);
        QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, edge));
        QCOMPARE(rig.heldSince(kAlarmOut, edge), rig.firstChange(kAlarmOut, true, edge));

        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
    }
};

MONITOR_TEST_MAIN(TestCycleLostCamera)
#include "tst_cycle_lostcamera.moc"
