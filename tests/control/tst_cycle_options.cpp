// Detection cycle options of the standard machine: debounce, skipped edges, delays, pre-output, re-detection, limits,
// pulses. ctest-timeout: 240
#include <algorithm>

#include <QMutexLocker>
#include <QtTest>

#include "cammerwidget.h"
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

    void init() { QVERIFY(rig.setPart(0, false)); }

    // Debounce 3 tenths: an input held 200 ms is a bounce, one held 400 ms starts the cycle.
    void debounceFiltersShortPulses()
    {
        QVERIFY(rig.mouldOnly(3));
        rig.setParam("system6", 9, 3);
        // Well apart from the 300 ms on either side: the link sees both edges of a pulse a
        // little late, and on a busy machine not by the same amount.
        const qint64 bounce = rig.pulse(kMouldOpen, 100);
        rig.wait(700);
        QVERIFY(!rig.wasAt(kClampOut, true, bounce, rig.nowUs()));
        const qint64 held = rig.pulse(kMouldOpen, 600);
        const qint64 on = rig.waitOutput(kClampOut, true, 1500);
        QVERIFY(on > 0);
        QVERIFY2(Ms(held, on) >= 290, qPrintable(QString::number(Ms(held, on))));
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
        const qint64 product = rig.publishedAt(kEjectorOut, false, rig.waitOutput(kEjectorOut, false, 2000));
        const qint64 mould = rig.publishedAt(kClampOut, false, rig.waitOutput(kClampOut, false, 2000));
        QVERIFY(product > 0 && mould > 0);
        QVERIFY2(Ms(edge, product) >= 300 && Ms(edge, product) < 700, qPrintable(QString::number(Ms(edge, product))));
        QVERIFY2(Ms(edge, mould) >= 500 && Ms(edge, mould) < 1000, qPrintable(QString::number(Ms(edge, mould))));
    }

    // Pre-output 5 tenths with a 10-tenth mould delay: the clamp output is not switched at the
    // cycle start but when half a second of the countdown is left.
    void preOutputSwitchesTheClampBeforeTheJudgement()
    {
        QVERIFY(rig.mouldOnly(10));
        rig.setParam("system1", 6, 5);
        const qint64 edge = rig.openMould();
        const qint64 on = rig.publishedAt(kClampOut, true, rig.waitOutput(kClampOut, true, 2000));
        QVERIFY(on > 0);
        QVERIFY2(Ms(edge, on) >= 500 && Ms(edge, on) < 1000, qPrintable(QString::number(Ms(edge, on))));
        const qint64 off = rig.waitOutput(kClampOut, false, 2000);
        QVERIFY2(off > 0 && Ms(edge, off) >= 1000, qPrintable(QString::number(Ms(edge, off))));
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
        QVERIFY(!rig.wasAt(kClampOut, false, second + 50 * kMs, rig.nowUs()));
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
        // Pulse lengths as the program timed them: the link's delay differs from edge to edge.
        const qint64 ejectorOn = rig.publishedAt(kEjectorOut, true, rig.waitOutput(kEjectorOut, true, 2000));
        QVERIFY(ejectorOn > 0);
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        const qint64 ejectorOff = rig.publishedAt(kEjectorOut, false, rig.waitOutput(kEjectorOut, false, 2000));
        QVERIFY2(ejectorOff > 0 && Ms(ejectorOn, ejectorOff) >= 280,
                 qPrintable(QString::number(Ms(ejectorOn, ejectorOff))));
        QVERIFY(!rig.wasAt(kAlarmOut, true, ok, rig.nowUs()));

        QVERIFY(rig.setPart(0, true));
        rig.wait(300);
        rig.openMould();
        const qint64 alarmOn = rig.publishedAt(kAlarmOut, true, rig.waitOutput(kAlarmOut, true, 2000));
        QVERIFY(alarmOn > 0);
        QVERIFY(rig.bit(rig.syncedOutputs(), kClampOut));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kEjectorOut));
        const qint64 alarmOff = rig.publishedAt(kAlarmOut, false, rig.waitOutput(kAlarmOut, false, 2000));
        QVERIFY2(alarmOff > 0 && Ms(alarmOn, alarmOff) >= 280, qPrintable(QString::number(Ms(alarmOn, alarmOff))));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        // No alarm page in pulse mode: the NG picture, rendered into its slot, goes to the writer.
        QVERIFY(rig.window->pageState != 2);
        QMutexLocker lock(pMutexSaveFail);
        QVERIFY(gisSaveFail[kNgSlot]);
        const auto* pixels = reinterpret_cast<const QRgb*>(gpFailImage[kNgSlot]);
        QVERIFY(
            std::any_of(pixels, pixels + rig.view(0)->imagePixels, [](QRgb p) { return (p & 0xFFFFFF) == 0xFF0000; }));
    }

    // "No ejector on a product NG" with an ejector pulse of 0: the OK product still gives the
    // ejector a pulse the board sees (a zero-length pulse would end before the IO link sent it).
    void zeroLengthEjectorPulseStillReachesTheBoard()
    {
        rig.resetParams();
        rig.setParam("system1", 2, 1);  // product step on
        rig.setParam("system9", 15, 1);
        rig.setParam("system2", 5, 0);
        rig.setParam("trigInDelay", 1, 1);
        rig.setParam("trigInDelay", 2, 5);
        rig.apply();
        QVERIFY(rig.restartDetection());
        const qint64 edge = rig.openMould();
        // The board saw the pulse; its length as the program timed it (on a busy machine the
        // link may bring the switching on late and the switching off at once).
        const qint64 reached = rig.waitOutput(kEjectorOut, true, 1500);
        QVERIFY(reached > 0);
        QVERIFY2(Ms(edge, reached) >= 100, qPrintable(QString::number(Ms(edge, reached))));
        const qint64 on = rig.publishedAt(kEjectorOut, true, reached);
        const qint64 off = rig.publishedAt(kEjectorOut, false, rig.waitOutput(kEjectorOut, false, 1000));
        QVERIFY(off > 0);
        QVERIFY2(Ms(on, off) >= 40, qPrintable(QString::number(Ms(on, off))));
        QVERIFY(rig.waitOutput(kClampOut, false, 1500) > 0);
    }
};

MONITOR_TEST_MAIN(TestCycleOptions)
#include "tst_cycle_options.moc"
