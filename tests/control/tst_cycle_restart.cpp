// A restart while the board still holds the clamp of a run that died mid-cycle: the mould in the press is judged before
// the machine may close on it.
// ctest-timeout: 120
#include <QtTest>

#include "cyclerig.h"
#include "globals.h"
#include "mojuwizard.h"
#include "testsupport.h"

class TestCycleRestart : public QObject
{
    Q_OBJECT

    CycleRig rig;

private slots:
    void cleanup() { rig.reportIfFailed(); }

    // The last run was killed while the clamp held a mould with a part left in it, and the
    // machine still signals the open mould (a level signal). The board, busy for a moment,
    // answers the restart late: nothing is sent to it until it has, and the late start is
    // recorded. The restart keeps the clamp on from its first word, judges that mould on its
    // first pictures (the alarm), counts it once (the high input opens no second cycle) and
    // lets the machine close only when the demo mould's alarm releases itself.
    void heldMouldIsJudgedBeforeTheRelease()
    {
        constexpr int kLateMs = 250;
        rig.demoMould = true;
        rig.partAtStart = true;
        rig.board.holdOutputs(1u << kClampOut);
        rig.board.setInput(kMouldOpen, true);
        rig.board.setReplyDelayMs(kLateMs);
        rig.beginScenario();
        const qint64 before = rig.nowUs();
        QVERIFY(rig.build());
        rig.board.setReplyDelayMs(0);
        QVERIFY(CycleRig::bit(rig.outputs(), kClampOut));
        QTRY_VERIFY(rig.records("info").filter("IO BOARD LATE").size() == 1);
        QVERIFY(rig.waitOutput(kAlarmOut, true, 5000) > 0);
        QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, before));
        QCOMPARE(rig.window->pageState, 2);
        QCOMPARE(gAllNum[0], 1);
        QCOMPARE(gFailNum[0], 1);
        QCOMPARE(rig.records("run").size(), 1);

        const qint64 alarm = rig.firstChange(kAlarmOut, true, before);
        const qint64 released = rig.waitOutput(kClampOut, false, 8000);
        QVERIFY(released > alarm);
        QVERIFY(!rig.wasAt(kClampOut, false, before, alarm));
        QCOMPARE(gAllNum[0], 1);
    }
};

MONITOR_TEST_MAIN(TestCycleRestart)
#include "tst_cycle_restart.moc"
