// Outputs of the judgement on the simulated board: the timed alarm release, the production limit, the reject gates
// and the timed clamp cut. Four regions side by side (reject groups 0 to 3); the part is put into one of them.
// ctest-timeout: 240
#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>
#include <QSettings>
#include <QThread>
#include <QtTest>

#include "cammerwidget.h"
#include "colorbutton.h"
#include "controlport.h"
#include "cyclerig.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

constexpr int kRegions = 4;
constexpr int kFirstRejectOut = 4;  // output of reject group 0
constexpr int kPartLevelMax = 10;   // the part is black
constexpr int kPartRadius = 15;     // pixels of the camera's picture
const QString kAllNotDetected = QStringLiteral("所有相机都不检测本模");

}  // namespace

class TestCycleOutputs : public QObject
{
    Q_OBJECT

    CycleRig rig;

    // Centre of region `region` in the camera's picture: the rig lays the regions out in ten
    // columns of one row across the operator's canvas.
    QPoint regionCentre(int region) const
    {
        const CammerWidget* v = rig.view(0);
        const int columnWidth = (gShowW - 80) / 10;
        const int x = 40 + region * columnWidth + columnWidth / 2;
        return {x * v->imageWidth / gShowW, v->imageHeight / 2};
    }

    int level(QPoint p) const
    {
        const CammerWidget* v = rig.view(0);
        return v->rawImage[p.y() * v->imageWidth + p.x()];
    }

    // A left-over part in region `region` (or no part with -1); returns once the camera's
    // frames show it.
    bool putPart(int region)
    {
        const QPoint at = regionCentre(region < 0 ? 0 : region);
        QFile file("simcamera.in");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(region < 0 ? QByteArray("defect 1 off\n")
                              : QString("defect 1 on %1 %2 %3\n").arg(at.x()).arg(at.y()).arg(kPartRadius).toUtf8());
        file.close();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000) {
            rig.wait(20);
            if ((level(at) <= kPartLevelMax) == (region >= 0))
                return true;
        }
        qWarning("no frame with the part %s", region < 0 ? "gone" : "in");
        return false;
    }

    int notDetectedRecords() const { return rig.records("run").count(kAllNotDetected); }

    // The whole-mould count as count.ini holds it.
    int storedCycles() const
    {
        rig.window->countSettings->sync();
        const QSettings file(rig.window->countSettings->fileName(), QSettings::IniFormat);
        return file.value("list_allcyclenum").toStringList().value(0).toInt();
    }

    // Timed release of a mould alarm after `tenths`.
    void timedRelease(int tenths)
    {
        rig.setParam("system9", 11, 1);
        rig.setParam("system9", 12, tenths);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(rig.start(1, kRegions));
        // The texture under every region's centre is lighter than the part.
        for (int r = 0; r < kRegions; ++r)
            QVERIFY2(level(regionCentre(r)) > kPartLevelMax, qPrintable(QString::number(r)));
    }

    void init()
    {
        rig.beginScenario();
        QVERIFY(putPart(-1));
    }

    void cleanup() { rig.endScenario(); }

    // The operator clears a timed-release alarm by a re-check: the release is off with the
    // alarm. The next mould's countdown outlasts the cleared alarm's release time, and its
    // clamp output stays on for the whole delay; each mould counts once and nobody chose
    // "not detect".
    void clearedAlarmIsNotReleasedLater()
    {
        QVERIFY(rig.mouldOnly(30));
        timedRelease(20);
        const int cycles = gAllCycleNum[0];
        const int notDetected = notDetectedRecords();
        QVERIFY(putPart(0));
        rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 5000) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->pageState, 2, 5000);
        QVERIFY(rig.waitOutput(kOutput4, true, 1000) > 0);
        QCOMPARE(gAllCycleNum[0], cycles + 1);

        QVERIFY(putPart(-1));
        rig.window->drawROIWidget->reCheckButton->click();
        QVERIFY(rig.window->pageState != 2);
        // The alarm's outputs end with it, output 4 among them.
        QVERIFY(rig.waitOutput(kAlarmOut, false, 1000) > 0);
        QVERIFY(rig.waitOutput(kOutput4, false, 1000) > 0);

        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        const qint64 off = rig.waitOutput(kClampOut, false, 6000);
        QVERIFY(off > 0);
        QVERIFY2(Ms(edge, off) >= 3000, qPrintable(QString::number(Ms(edge, off))));
        QVERIFY(!rig.wasAt(kOutput4, true, edge, rig.nowUs()));
        QCOMPARE(gAllCycleNum[0], cycles + 2);
        QCOMPARE(storedCycles(), gAllCycleNum[0]);
        QCOMPARE(notDetectedRecords(), notDetected);
    }

    // The automatic release after its full time: output 4 goes off with the alarm and stays
    // off through the next OK mould; the released mould was counted once, when it was judged.
    void timedReleaseEndsOutput4AndCountsTheMouldOnce()
    {
        QVERIFY(rig.mouldOnly(1));
        timedRelease(10);
        // A coarse timer may fire up to 5 % early, which a single run sees only by chance.
        QCOMPARE(rig.window->clearNGAlarmTimer->timerType(), Qt::PreciseTimer);
        const int cycles = gAllCycleNum[0];
        const int notDetected = notDetectedRecords();
        QVERIFY(putPart(0));
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 2000) > 0);
        QVERIFY(rig.waitOutput(kOutput4, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kAlarmOut, false, 3000) > 0);
        // The alarm output is published by the recognition, before the release is armed.
        const qint64 alarm = rig.published(kAlarmOut, true, edge);
        const qint64 released = rig.published(kAlarmOut, false, alarm);
        QVERIFY(alarm > 0 && released > 0);
        QVERIFY2(Ms(alarm, released) >= 1000, qPrintable(QString::number(Ms(alarm, released))));
        QVERIFY(rig.window->pageState != 2);
        QVERIFY(!rig.bit(rig.syncedOutputs(), kOutput4));
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
        QCOMPARE(notDetectedRecords(), notDetected + 1);
        QCOMPARE(gAllCycleNum[0], cycles + 1);
        QCOMPARE(storedCycles(), cycles + 1);

        QVERIFY(putPart(-1));
        const qint64 next = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        QVERIFY(!rig.wasAt(kOutput4, true, next, rig.nowUs()));
        QCOMPARE(gAllCycleNum[0], cycles + 2);
    }

    // Production limit 1: every OK mould from the first on reaches it and holds the clamp.
    // The judgement is driven directly, 200 times, while the board records its outputs: the
    // clamp output is never published off, and the board never sees it drop.
    void productionLimitNeverDropsTheClamp()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system14", 3, 1);
        QCOMPARE(rig.window->step, 1);
        gpControlIO->IOSetOut(kClampOut, 1);
        gpControlIO->IOFlashOut();
        QVERIFY(rig.syncOutputs());
        QVector<unsigned int> words;
        const auto connection = connect(
            gpControlIO, &ControlPort::sigIOChange, this,
            [&words] {
                QMutexLocker lock(pMutexIO);
                words << gDataOut;
            },
            Qt::DirectConnection);
        const qint64 from = rig.nowUs();
        for (int mould = 0; mould < 200; ++mould) {
            rig.window->ResetRun();
            rig.window->CheckNG(false);
            // The IO thread polls every 5 ms: let it look at the word at many moments.
            QThread::usleep(1000 + (mould % 5) * 1000);
        }
        disconnect(connection);
        QVERIFY(rig.syncOutputs());
        QVERIFY(rig.window->productAlarm);
        for (unsigned int w : words) QVERIFY2(rig.bit(w, kClampOut), qPrintable(QString::number(w, 2)));
        QVERIFY(!rig.wasAt(kClampOut, false, from, rig.nowUs()));
        QVERIFY(rig.bit(rig.outputs(), kAlarmOut));
        rig.setParam("system14", 3, 0);
    }

    // Product NG without alarm: the part in the region of reject group 3 opens that gate alone,
    // for the ejector pulse; the other gates stay shut. The part is gone before the mould step.
    void ngPartGoesThroughTheGateOfItsRegionOnly()
    {
        rig.resetParams();
        rig.setParam("system1", 2, 1);  // product step on
        rig.setParam("system2", 7, 1);  // product NG: reject gates, no alarm
        rig.setParam("system2", 5, 5);  // ejector pulse 0.5 s
        rig.setParam("trigInDelay", 1, 1);
        rig.setParam("trigInDelay", 2, 30);
        rig.apply();
        QVERIFY(rig.restartDetection());
        QVERIFY(gpWPara->detectEnabled[0]);
        QVERIFY(putPart(3));
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kFirstRejectOut + 3, true, 2000) > 0);
        QVERIFY(putPart(-1));
        QVERIFY(rig.waitOutput(kFirstRejectOut + 3, false, 2000) > 0);
        const qint64 open = rig.published(kFirstRejectOut + 3, true, edge);
        const qint64 shut = rig.published(kFirstRejectOut + 3, false, open);
        // Less the 5 % a coarse timer may fire early.
        QVERIFY2(open > 0 && shut > 0 && Ms(open, shut) >= 450, qPrintable(QString::number(Ms(open, shut))));
        for (int g = 0; g < 3; ++g)
            QVERIFY2(!rig.wasAt(kFirstRejectOut + g, true, edge, rig.nowUs()), qPrintable(QString::number(g)));
        QVERIFY(!rig.wasAt(kAlarmOut, true, edge, rig.nowUs()));
        // The clean mould step follows.
        QVERIFY(rig.waitOutput(kClampOut, false, 6000) > 0);
        QVERIFY(rig.window->pageState != 2);
    }

    // "Cut the clamping at fixed time after mold ok": the OK mould releases the clamp, and the
    // clamp pulse sets it again while detecting; once detection is stopped it stays released.
    void timedClampCutSetsTheClampAgainWhileDetecting()
    {
        QVERIFY(rig.mouldOnly(1));
        rig.setParam("system2", 8, 1);
        rig.setParam("system2", 6, 8);  // clamp pulse 0.8 s
        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, true, 2000) > 0);
        // The release after the cycle start's clamp, then the re-set after the release, in that
        // order (matched by order, not by the board's time: a busy machine stamps late).
        const qint64 off = rig.published(kClampOut, false, rig.published(kClampOut, true, edge));
        const qint64 again = rig.published(kClampOut, true, off);
        // Less the 5 % a coarse timer may fire early.
        QVERIFY2(off > 0 && again > 0 && Ms(off, again) >= 750, qPrintable(QString::number(Ms(off, again))));

        rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        // Stopped before the pulse ends (its end is called here, not left to a busy machine).
        rig.window->StopDetect();
        rig.window->notAllowCloseTimer->stop();
        rig.window->OutTimerNotAllowClose();
        QVERIFY(!rig.bit(rig.syncedOutputs(), kClampOut));
    }
};

MONITOR_TEST_MAIN(TestCycleOutputs)
#include "tst_cycle_outputs.moc"
