// Detection cycle of the standard machine while its simulated camera is lost (the camera's scripted loss): the
// clamp is held, no step is judged on a picture from before the loss.
// ctest-timeout: 180
#include <functional>

#include <QFile>
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
            const bool counting = rig.window->upTimers[1]->isActive();
            if (!connected && !lost) {
                lost = true;
                countingAtLoss = counting;
                reCheckWaitingAtLoss = rig.window->reCheckTimer->isActive();
                if (whileLost)
                    whileLost();
            }
            if (lost && !connected && wasCounting && !counting)
                countdownEndedWhileLost = true;
            if (lost && connected && !back) {
                back = true;
                backWhileCounting = counting;
            }
            if (!rig.window->camerasOK) {
                intervalWhileLost = rig.window->runTimer->interval();
                warningWhileLost = gpWarnBox->isHidden() ? QString() : gpWarnBox->text();
            }
            wasCounting = counting;
        }
        CycleRig& rig;
        // Runs once the camera is seen lost, in the view's reconnection loop.
        std::function<void()> whileLost;
        QTimer timer;
        bool lost = false;
        bool back = false;
        bool wasCounting = false;
        bool countingAtLoss = false;
        bool reCheckWaitingAtLoss = false;
        bool countdownEndedWhileLost = false;
        bool backWhileCounting = false;
        int intervalWhileLost = 0;
        QString warningWhileLost;
    };

private slots:
    void initTestCase() { QVERIFY(rig.start()); }

    void init() { QVERIFY(rig.setPart(0, false)); }

    // The camera goes away early in a 1.5 s countdown and comes back after its third
    // reconnection attempt, long after the countdown ended. Meanwhile the clamp output is held,
    // the warning shows and the passes slow to one a second; the step gets no judgement (its
    // last picture is from before the loss), so nothing is released or counted. The return is
    // recorded and the next mould is judged as usual.
    void lostCameraHoldsTheStepUntilItReturns()
    {
        QVERIFY(rig.mouldOnly(15));
        const QString back = gaLanStr[656 * kLanColumns + gLan];
        const int infos = rig.records("info").count(back);
        const int judged = gAllNum[0];
        LossWatch watch(rig);
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        scriptLoss();
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        // The test waits in the view's reconnection loop until the camera is back.
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->camerasOK, 15000);
        QVERIFY2(watch.countingAtLoss, "the camera was lost after the countdown ended");
        QVERIFY(watch.countdownEndedWhileLost);
        QCOMPARE(watch.intervalWhileLost, 1000);
        QCOMPARE(watch.warningWhileLost, gaLanStr[39 * kLanColumns + gLan]);
        QCOMPARE(rig.records("info").count(back), infos + 1);
        QVERIFY(!rig.wasAt(kClampOut, false, edge + 50 * kMs, rig.nowUs()));
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QCOMPARE(gAllNum[0], judged);

        QTRY_COMPARE_WITH_TIMEOUT(rig.window->runTimer->interval(), 100, 10000);
        const qint64 next = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, false, 3000) > 0);
        QVERIFY(rig.firstChange(kClampOut, false, next) > 0);
        QCOMPARE(gAllNum[0], judged + 1);
    }

    // Lost and back within one countdown: the picture at its end is new, but the step still
    // gets no OK.
    void cameraLostDuringTheCountdownGivesNoOK()
    {
        QVERIFY(rig.mouldOnly(30));
        auto* camera = qobject_cast<SimCameraControl*>(rig.view(0)->camera);
        QVERIFY(camera);
        camera->setReconnectTries(1);
        const auto restore = qScopeGuard([camera] { camera->setReconnectTries(kRigReconnectTries); });
        const int judged = gAllNum[0];
        LossWatch watch(rig);
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        scriptLoss();
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window->upTimers[1]->isActive(), 10000);
        QVERIFY2(watch.backWhileCounting, "the camera came back after the countdown ended");
        rig.wait(300);
        QVERIFY(!rig.wasAt(kClampOut, false, edge + 50 * kMs, rig.nowUs()));
        QCOMPARE(gAllNum[0], judged);
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->camerasOK, 10000);

        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, false, 3000) > 0);
        QCOMPARE(gAllNum[0], judged + 1);
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
        QVERIFY(!rig.wasAt(kClampOut, false, edge + 50 * kMs, rig.nowUs()));
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
        QVERIFY(!rig.wasAt(kClampOut, false, edge + 50 * kMs, rig.nowUs()));
        QVERIFY(!rig.wasAt(kAlarmOut, false, edge + 2000 * kMs, rig.nowUs()));

        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
    }
};

MONITOR_TEST_MAIN(TestCycleLostCamera)
#include "tst_cycle_lostcamera.moc"
