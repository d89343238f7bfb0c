// Detection cycle options of the standard machine: debounce, skipped edges, delays, pre-output, re-detection, limits,
// pulses. ctest-timeout: 240
#include <algorithm>

#include <QMutexLocker>
#include <QtTest>

#include "cammerwidget.h"
#include "controlport.h"
#include "cyclerig.h"
#include "globals.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "wizardpara.h"

class TestCycleOptions : public QObject
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

    // Debounce 1 s: an input held 100 ms is a bounce, one held 1.6 s starts the cycle once
    // the debounce time is over.
    void debounceFiltersShortPulses()
    {
        QVERIFY(rig.mouldOnly(3));
        rig.setParam("system6", 9, 10);
        // Far apart from the debounce time on either side: the link sees both edges of a pulse
        // a little late, and on a busy machine not by the same amount.
        const qint64 bounce = rig.pulse(kMouldOpen, 100);
        rig.wait(1500);
        QVERIFY(!rig.wasAt(kClampOut, true, bounce, rig.nowUs()));
        const qint64 held = rig.pulse(kMouldOpen, 1600);
        QVERIFY(rig.waitOutput(kClampOut, true, 3000) > 0);
        const qint64 on = rig.published(kClampOut, true, held);
        // Less the 5 % a coarse timer may fire early.
        QVERIFY2(on > 0 && Ms(held, on) >= 950, qPrintable(QString::number(Ms(held, on))));
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
    }

    // Input 2 also starts a cycle, and its first two edges after the start of detection are
    // skipped: the third starts the cycle.
    void ejectorBackEdgesSkippedAfterStart()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system1", 1, 1);  // the mould step on input 2
        rig.setParam("system12", 20, 1);
        rig.setParam("system13", 20, 2);
        rig.apply();
        QCOMPARE(gpWPara->detectTrigIn[1], 2);
        for (int skipped = 0; skipped < 2; ++skipped) {
            const qint64 at = rig.pulse(2, 100);
            rig.wait(400);
            QVERIFY2(!rig.wasAt(kClampOut, true, at + 1, rig.nowUs()), qPrintable(QString::number(skipped)));
        }
        rig.pulse(2, 100);
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 1000) > 0);
    }

    // Product and mould steps on one input: the mould step counts its own delay after the
    // product step's (3 + 2 tenths); the ejector is released by the product judgement.
    void additiveDelaysFireAtTheSummedTimes()
    {
        rig.resetParams();
        rig.setParam("system1", 2, 1);  // product step on: its delay adds to the mould step's
        rig.setParam("trigInDelay", 1, 3);
        rig.setParam("trigInDelay", 2, 2);
        rig.apply();
        QVERIFY(rig.restartDetection());
        QVERIFY(gpWPara->detectEnabled[0]);
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kEjectorOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kEjectorOut, false, 2000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        // As the program timed them; the exact sums are the decision tests' on the steered clock.
        const qint64 product = rig.published(kEjectorOut, false, edge);
        const qint64 mould = rig.published(kClampOut, false, edge);
        QVERIFY(product > 0 && mould > product);
        QVERIFY2(Ms(edge, product) >= 300, qPrintable(QString::number(Ms(edge, product))));
        QVERIFY2(Ms(edge, mould) >= 500, qPrintable(QString::number(Ms(edge, mould))));
    }

    // Pre-output 5 tenths with a 10-tenth mould delay: the clamp output is not switched at the
    // cycle start but when half a second of the countdown is left.
    void preOutputSwitchesTheClampBeforeTheJudgement()
    {
        QVERIFY(rig.mouldOnly(10));
        rig.setParam("system1", 6, 5);
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 2000) > 0);
        const qint64 off = rig.waitOutput(kClampOut, false, 2000);
        QVERIFY2(off > 0 && Ms(edge, off) >= 1000, qPrintable(QString::number(Ms(edge, off))));
        const qint64 on = rig.published(kClampOut, true, edge);
        QVERIFY2(on > 0 && Ms(edge, on) >= 500 && on < rig.published(kClampOut, false, on),
                 qPrintable(QString::number(Ms(edge, on))));
    }

    // One re-detection left: the NG mould is judged again after the re-check delay instead of
    // raising the alarm; the part is gone by then and the mould passes.
    void mouldNgWithRedetectionLeftJudgesAgain()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system1", 7, 1);   // re-detections of the mould step
        rig.setParam("system14", 2, 8);  // 800 ms before the re-check
        const int runs = rig.records("run").size();
        QVERIFY(rig.setPart(0, true));
        const qint64 edge = rig.openMould();
        QTRY_VERIFY_WITH_TIMEOUT(rig.window->reCheckPending == 1 || rig.window->reCheckTimer->isActive(), 10000);
        QVERIFY(!rig.view(0)->cameraOk);
        QVERIFY(rig.window->pageState != 2);
        QVERIFY(rig.setPart(0, false));
        const qint64 off = rig.waitOutput(kClampOut, false, 3000);
        QVERIFY(off > 0);
        // A tenth of countdown and the re-check's 800 ms, less the 5 % a coarse timer may fire early.
        QVERIFY2(Ms(edge, off) >= 855, qPrintable(QString::number(Ms(edge, off))));
        QVERIFY(!rig.wasAt(kAlarmOut, true, edge, rig.nowUs()));
        QCOMPARE(rig.records("run").size(), runs);
        // The NG of the first judgement was not counted as a picture.
        QVERIFY(rig.window->detectState[0][1] != 3);
    }

    // Production limit 2: the second OK mould raises the production alarm.
    void productionLimitRaisesItsAlarm()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system14", 3, 2);
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        QVERIFY(!rig.window->productAlarm);
        const qint64 second = rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(rig.window->productAlarm);
        // Every further edge is ignored while the alarm shows.
        rig.wait(200);
        rig.openMould();
        rig.wait(600);
        QVERIFY(rig.bit(rig.syncedOutputs(), kAlarmOut));
        QVERIFY(rig.heldBefore(kClampOut, kAlarmOut, second));
        rig.setParam("system14", 3, 0);
    }

    // Pulse mode: the judgement sets all three outputs and the clamp pulse ends them.
    void pulseModeEndsTheOutputsAfterTheClampPulse()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system5", 9, 1);
        rig.setParam("system2", 6, 3);
        rig.setParam("system2", 4, 5);  // NG pictures kept
        rig.apply();
        constexpr int kNgSlot = (0 * 8 + 1) * 2;  // camera 1, mould step, NG
        {
            QMutexLocker lock(pMutexSaveFail);
            gisSaveFail[kNgSlot] = false;
            std::fill_n(gpFailImage[kNgSlot], rig.view(0)->imagePixels * 4, 0);
        }
        const qint64 ok = rig.openMould();
        QVERIFY(rig.waitOutput(kEjectorOut, true, 2000) > 0);
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(rig.waitOutput(kEjectorOut, false, 2000) > 0);
        // Pulse lengths as the program timed them: the link's delay differs from edge to edge.
        const qint64 ejectorOn = rig.published(kEjectorOut, true, ok);
        const qint64 ejectorOff = rig.published(kEjectorOut, false, ejectorOn);
        QVERIFY2(ejectorOn > 0 && ejectorOff > 0 && Ms(ejectorOn, ejectorOff) >= 280,
                 qPrintable(QString::number(Ms(ejectorOn, ejectorOff))));
        QVERIFY(!rig.wasAt(kAlarmOut, true, ok, rig.nowUs()));

        QVERIFY(rig.setPart(0, true));
        rig.wait(300);
        const qint64 ng = rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kEjectorOut));
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        const qint64 alarmOn = rig.published(kAlarmOut, true, ng);
        const qint64 alarmOff = rig.published(kAlarmOut, false, alarmOn);
        QVERIFY2(alarmOn > 0 && alarmOff > 0 && Ms(alarmOn, alarmOff) >= 280,
                 qPrintable(QString::number(Ms(alarmOn, alarmOff))));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        // No alarm page in pulse mode: the NG picture, rendered into its slot, goes to the writer.
        QVERIFY(rig.window->pageState != 2);
        QMutexLocker lock(pMutexSaveFail);
        QVERIFY(gisSaveFail[kNgSlot]);
        const auto* pixels = reinterpret_cast<const QRgb*>(gpFailImage[kNgSlot]);
        QVERIFY(
            std::any_of(pixels, pixels + rig.view(0)->imagePixels, [](QRgb p) { return (p & 0xFFFFFF) == 0xFF0000; }));
    }

    // "No ejector on a product NG" with an ejector pulse of 0: the OK product gives the ejector
    // a pulse the board sees even while the link cannot send it at once (the board says
    // nothing for a while from before the judgement): the pulse ends only after its word went
    // out.
    void zeroLengthEjectorPulseStillReachesTheBoard()
    {
        rig.resetParams();
        rig.setParam("system1", 2, 1);  // product step on
        rig.setParam("system9", 15, 1);
        rig.setParam("system2", 5, 0);
        rig.setParam("trigInDelay", 1, 5);
        rig.setParam("trigInDelay", 2, 30);
        rig.apply();
        QVERIFY(rig.restartDetection());
        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        rig.board.setSilent(true);
        const auto speaks = qScopeGuard([this] { rig.board.setSilent(false); });
        const auto ejectorPublished = [] {
            QMutexLocker lock(pMutexIO);
            return CycleRig::bit(gDataOut, kEjectorOut);
        };
        QTRY_VERIFY_WITH_TIMEOUT(ejectorPublished(), 10000);
        // Far beyond the shortest pulse: a pulse timed from its publication would be over.
        rig.wait(300);
        const qint64 spoke = rig.nowUs();
        rig.board.setSilent(false);
        QVERIFY(rig.waitOutput(kEjectorOut, true, 2000) >= spoke);
        QVERIFY(rig.waitOutput(kEjectorOut, false, 2000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 5000) > 0);
    }
};

MONITOR_TEST_MAIN(TestCycleOptions)
#include "tst_cycle_options.moc"
