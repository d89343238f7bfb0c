// Detection cycle of the two-sided machines (two-colour and turntable) on the simulated board and camera.
// ctest-timeout: 240
#include <QtTest>

#include "cammerwidget.h"
#include "cyclerig.h"
#include "globals.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

constexpr int kBothSides = 2;

}  // namespace

class TestCycleSides : public QObject
{
    Q_OBJECT

    CycleRig rig;

    // Both sides watched, mould steps only, delay 2 tenths.
    void Machine(int mode)
    {
        rig.resetParams();
        rig.setMode(mode);
        rig.setParam("numFailDetect", 2, kBothSides);
        rig.setParam("system1", 2, 0);
        rig.setParam("trigInDelay", 2, 2);
        rig.apply();
        QVERIFY(rig.restartDetection());
        QCOMPARE(gDNum, 4);
        QVERIFY(gpWPara->detectEnabled[1] && gpWPara->detectEnabled[3]);
        QVERIFY(!gpWPara->detectEnabled[0] && !gpWPara->detectEnabled[2]);
    }

    // The mould of the side is judged: the clamp output drops (OK) or the alarm comes on (NG).
    void ExpectJudged(int detection, bool ng)
    {
        if (ng) {
            QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
            QCOMPARE(rig.window->pageState, 2);
        } else {
            QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
            QVERIFY(rig.window->pageState != 2);
        }
        QCOMPARE(rig.window->step, detection);
    }

    void ClearAlarm()
    {
        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
    }

private slots:
    void initTestCase() { QVERIFY(rig.start(1, 1, {{"numFailDetect", 1, kModeTwoColour}})); }

    void init()
    {
        rig.beginScenario();
        QVERIFY(rig.setPart(0, false));
    }

    void cleanup() { rig.endScenario(); }

    // Two-colour machine: input 0 opens the cycle, input 2 then judges the left mould
    // (detection 1) and input 3 the right one (detection 3).
    void twoColourSideInputsChooseTheMould()
    {
        Machine(kModeTwoColour);
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        rig.wait(400);
        // Input 0 alone starts no countdown: the mould steps wait for their side input.
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        rig.pulse(2, 100);
        ExpectJudged(1, false);
        QCOMPARE(rig.window->moldSide, 1);

        QVERIFY(rig.setPart(0, true));
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        rig.wait(200);
        rig.pulse(3, 100);
        ExpectJudged(3, true);
        QCOMPARE(rig.window->moldSide, 0);
        QCOMPARE(rig.records("run").last(), QStringLiteral("1号相机 报警"));
        ClearAlarm();
    }

    // Turntable, trigger "any": inputs 0 and 3 start the left and the right mould; inputs 1
    // and 2 start nothing.
    void turntableStartsOnInputsZeroAndThree()
    {
        Machine(kModeTurntable);
        QCOMPARE(gpWPara->detectTrigIn[1], 255);
        for (int input : {1, 2}) {
            const qint64 at = rig.pulse(input, 100);
            rig.wait(500);
            QVERIFY2(!rig.wasAt(kClampOut, true, at, rig.nowUs()), qPrintable(QString::number(input)));
        }
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        ExpectJudged(1, false);
        QCOMPARE(rig.window->moldSide, 1);

        QVERIFY(rig.setPart(0, true));
        rig.pulse(3, 100);
        ExpectJudged(3, true);
        QCOMPARE(rig.window->moldSide, 0);
        ClearAlarm();
    }
};

MONITOR_TEST_MAIN(TestCycleSides)
#include "tst_cycle_sides.moc"
