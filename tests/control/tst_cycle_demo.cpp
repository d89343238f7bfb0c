// The demo's mould as ./run.sh prepares it: the window loads the taught region and template and guards the mould.
// ctest-timeout: 120
#include <QtTest>

#include "cammerwidget.h"
#include "cyclerig.h"
#include "mojuwizard.h"
#include "testsupport.h"

class TestCycleDemo : public QObject
{
    Q_OBJECT

    CycleRig rig;

private slots:
    void initTestCase()
    {
        rig.demoMould = true;
        QVERIFY(rig.start());
    }

    void init() { rig.beginScenario(); }
    void cleanup() { rig.endScenario(); }

    // A clean mould passes a second after the mould opened; the left-over part the knob puts in raises the alarm on the
    // taught region until the alarm releases itself.
    void guardsTheTaughtMould()
    {
        QVERIFY(rig.setPart(0, false));
        const qint64 edge = rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        const qint64 off = rig.waitOutput(kClampOut, false, 3000);
        QVERIFY(off > 0 && off - edge >= 1000 * 1000);
        QVERIFY(rig.view(0)->cameraOk);

        QVERIFY(rig.setPart(0, true));
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QCOMPARE(rig.window->pageState, 2);
        QVERIFY(!rig.view(0)->roiOk[1][0]);
        // The demo mould's alarm releases itself after five seconds; its output follows the
        // alarm page, which comes up between the two.
        QVERIFY(rig.waitOutput(kOutput4, true, 1000) > 0);
        QVERIFY(rig.setPart(0, false));
        const qint64 released = rig.waitOutput(kAlarmOut, false, 7000);
        QVERIFY(released > 0);
        QVERIFY(rig.window->pageState != 2);
    }
};

MONITOR_TEST_MAIN(TestCycleDemo)
#include "tst_cycle_demo.moc"
