// Detection cycle of the multiple-detection machine: stages, step outputs and the step advance.
// ctest-timeout: 240
#include <QtTest>

#include "cyclerig.h"
#include "globals.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

constexpr int kCutSelf = 1;
constexpr int kAllDuration = 4;
constexpr int kShowMs = 2000;

}  // namespace

class TestCycleMulti : public QObject
{
    Q_OBJECT

    CycleRig rig;

private slots:
    // Three steps, the middle one without a group (off); step 0 in group 0 on input 0,
    // step 2 in group 1 on input 2; each group cuts its own output.
    void init() { rig.beginScenario(); }
    void cleanup() { rig.endScenario(); }

    void initTestCase()
    {
        QVERIFY(rig.start(1, 1,
                          {{"numFailDetect", 1, kModeMulti},
                           {"system8", 1, 3},
                           {"system9", 1, 0},
                           {"system9", 2, -1},
                           {"system9", 3, 1},
                           {"system8", 2, 0},
                           {"system8", 3, 1},
                           {"system8", 10, kCutSelf},
                           {"system8", 11, kCutSelf},
                           {"trigInDelay", 1, 2},
                           {"trigInDelay", 3, 2}}));
        QCOMPARE(gDNum, 3);
        QVERIFY(gpWPara->detectEnabled[0] && !gpWPara->detectEnabled[1] && gpWPara->detectEnabled[2]);
        QCOMPARE(gpWPara->detectTrigIn[0], 0);
        QCOMPARE(gpWPara->detectTrigIn[2], 2);
    }

    // Each input starts its step's countdown and cuts that step's output until the step is
    // judged OK; the shown result then advances the step over the disabled one: 0, 2, 0.
    void stepsAdvanceOverTheDisabledStep()
    {
        QVERIFY(rig.setPart(0, false));
        QCOMPARE(rig.window->step, 0);
        const int firstOut = OutputNo[0] - 1;  // step 0
        const int lastOut = OutputNo[7] - 1;   // the last step

        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(firstOut, true, 1000) > 0);
        QVERIFY(!rig.bit(rig.syncedOutputs(), lastOut));
        QVERIFY(rig.waitOutput(firstOut, false, 1500) > 0);
        QCOMPARE(rig.window->multiDetectIndex, 0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->step, 2, kShowMs + 10000);

        rig.pulse(2, 100);
        QVERIFY(rig.waitOutput(lastOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(lastOut, false, 1500) > 0);
        QCOMPARE(rig.window->multiDetectIndex, 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->step, 0, kShowMs + 10000);
        QVERIFY(rig.window->pageState != 2);
    }

    // Cut mode "all duration": starting detection presets the outputs of every step with a
    // group; an OK step drops its output and switches it on again after the clamp pulse.
    void allDurationOutputsArePresetAndRearmed()
    {
        rig.setParam("system8", 10, kAllDuration);
        rig.setParam("system2", 6, 3);  // clamp pulse 300 ms
        rig.apply();
        QVERIFY(rig.restartDetection());
        const int firstOut = OutputNo[0] - 1;
        const int lastOut = OutputNo[7] - 1;
        QVERIFY(rig.bit(rig.syncedOutputs(), firstOut));
        QVERIFY(rig.bit(rig.syncedOutputs(), lastOut));
        QVERIFY(rig.setPart(0, false));
        const qint64 edge = rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(firstOut, false, 1500) > 0);
        QVERIFY(rig.waitOutput(firstOut, true, 1500) > 0);
        // The gap as the program timed it: the link's delay differs from edge to edge.
        const qint64 off = rig.published(firstOut, false, edge);
        const qint64 on = rig.published(firstOut, true, off);
        QVERIFY2(off > 0 && on > 0 && Ms(off, on) >= 280, qPrintable(QString::number(Ms(off, on))));
        rig.resetParams();
    }

    // An NG step raises the alarm output at once and holds the system.
    void ngStepRaisesTheAlarm()
    {
        QVERIFY(rig.restartDetection());
        QVERIFY(rig.setPart(0, true));
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(2, true, 1500) > 0);
        QCOMPARE(rig.window->pageState, 2);
        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(2, false, 1000) > 0);
    }
};

MONITOR_TEST_MAIN(TestCycleMulti)
#include "tst_cycle_multi.moc"
