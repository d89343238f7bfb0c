// The IO board link against the simulated board over a real pseudo-terminal.
// ctest-timeout: 240
#include <algorithm>
#include <atomic>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>

#include "controlport.h"
#include "globals.h"
#include "ioboard-sim/ioboardsim.h"
#include "iothread.h"
#include "mojuwizard.h"
#include "mojuwizard_cycleparams.h"
#include "platformclock.h"
#include "posix_qextserialport.h"
#include "systempaths.h"
#include "testsupport.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

constexpr int kPort = 3;
constexpr int kStampPeriodMs = 100;  // as the detection pass stamps in normal running
constexpr int kStallPauseMs = 1000;  // the stalled IO thread's pause between warnings
constexpr int kPollPauseMs = 5;      // the IO thread's pause between two polls
constexpr int kRealBoardReplyMs = 40;
constexpr int kReplyWaitMs = 2;  // the pause after a request, before its reply is read
constexpr int kStallSpeedUp = 20;
const char* const kStallWarning = "controlport_thread - main_thread > 10s will timeout exit";

int stallWarnings()
{
    return int(TestSupport::capturedMessages().count(kStallWarning));
}

unsigned int dataIn()
{
    QMutexLocker lock(pMutexIO);
    return gDataIn;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

int countCommand(const QVector<IOBoardSim::Frame>& frames, int command)
{
    return int(
        std::count_if(frames.begin(), frames.end(), [&](const IOBoardSim::Frame& f) { return f.command == command; }));
}

}  // namespace

class TestControlPort : public QObject
{
    Q_OBJECT

    struct Change
    {
        qint64 atUs;
        unsigned int word;  // gDataIn as the GUI thread saw it on receipt
        int rose0;          // IOInTrigger(0) run on receipt, as the detection pass would
    };

    IOBoardSim board;
    QTimer stampTimer;
    QVector<Change> changes;
    bool triggerOnChange = false;
    std::atomic<unsigned int> wordAtEmit{0};  // gDataIn read in the IO thread as it emits
    std::atomic<qint64> emitUs{0};            // board clock as the IO thread emits
    std::atomic<int> stallPauses{0};
    std::atomic<int> pollPauses{0};   // the pauses of a poll period
    std::atomic<int> otherPauses{0};  // any other pause

    // The way the judgement drives the board: every driven output, then one publication.
    void publish(unsigned int word)
    {
        for (int k = 0; k < kDrivenOutputs; ++k) gpControlIO->IOSetOut(k, (word >> k) & 1u);
        gpControlIO->IOFlashOut();
    }

    bool settleInputs(unsigned int word)
    {
        board.setInputs(word);
        QElapsedTimer t;
        t.start();
        while (dataIn() != word && t.elapsed() < 10000) QTest::qWait(1);
        return dataIn() == word;
    }

    // Spins a real event loop (as the GUI thread does) until `count` changes were received.
    bool waitForChanges(int count, int timeoutMs)
    {
        if (changes.size() >= count)
            return true;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(
            gpControlIO->ioThread, &IOThread::sigIOChange, &loop,
            [&] {
                if (changes.size() >= count)
                    loop.quit();
            },
            Qt::QueuedConnection);
        guard.start(timeoutMs);
        loop.exec();
        return changes.size() >= count;
    }

    // Lock-step: the pause after each request lasts until its reply has come in, so every
    // iteration reads the board's answer to its own request, however the processor is shared
    // between the board's thread and the link's.
    static void lockStep()
    {
        PlatformClock::setSleepHook([](int ms) {
            QElapsedTimer replied;
            replied.start();
            while (ms == kReplyWaitMs && gpCom->bytesAvailable() < kReplyFrameSize && replied.elapsed() < 2000)
                QThread::usleep(200);
            QThread::msleep(ms);
        });
    }

    static void drainPort()
    {
        for (qint64 n = gpCom->bytesAvailable(); n > 0; n = gpCom->bytesAvailable()) gpCom->read(n);
    }

    void latchAll()
    {
        for (int i = 0; i < kTriggerInputs; ++i) gpControlIO->IOInTrigger(i);
    }

private slots:
    void initTestCase()
    {
        CreateGlobalMutexes();
        gpWPara = new WizardPara;
        QVERIFY(board.start());
        // The link builds "/dev/ttyS<n>"; the system-path root makes it the board's terminal.
        const QString device = SysPath(QString("/dev/ttyS%1").arg(kPort));
        TestSupport::writeSysFile("/dev/.keep", "");
        QVERIFY(QFile::link(board.devicePath(), device));
        gisCOM = kPort;

        // A board left holding the clamp and the alarm by a run that crashed: the link reads
        // it before publishing anything and keeps them. A real board answers slower than the
        // simulated one, within the start's wait.
        board.holdOutputs(0x05);
        board.setReplyDelayMs(kRealBoardReplyMs);
        gpControlIO = new ControlPort;
        board.setReplyDelayMs(0);
        QVERIFY(!gpControlIO->boardLate);
        QTest::qWait(2 * kRealBoardReplyMs);
        drainPort();  // the late answers to the start's other polls
        QVERIFY(gpCom && gpCom->isOpen());
        QCOMPARE(gpCom->portName(), device);
        QCOMPARE(gpControlIO->boardStartOutputs, 0x05);
        QVERIFY(gpControlIO->boardHeldClamp());
        QCOMPARE(gDataOut, 0x05u);
        gpWPara->outInitState[kClampOut] = 1;  // wired inverted, the same bit is the clamp off
        QVERIFY(!gpControlIO->boardHeldClamp());
        gpWPara->outInitState[kClampOut] = 0;
        publish(0);
        board.holdOutputs(0);
        board.clearFrames();

        gpControlIO->InitIOThread();
        connect(gpControlIO->ioThread, &IOThread::sigIOChange, this, [this] {
            const qint64 at = IOBoardSim::clockUs();
            changes.append({at, dataIn(), triggerOnChange ? gpControlIO->IOInTrigger(0) : -1});
        });
        connect(
            gpControlIO->ioThread, &IOThread::sigIOChange, this,
            [this] {
                wordAtEmit = dataIn();
                emitUs = IOBoardSim::clockUs();
            },
            Qt::DirectConnection);
        connect(&stampTimer, &QTimer::timeout, gpControlIO, &ControlPort::updateThreadProtectTiming);
        stampTimer.start(kStampPeriodMs);
    }

    void init()
    {
        std::fill(std::begin(gpWPara->outInitState), std::end(gpWPara->outInitState), 0);
        gpWPara->output4Use = 0;
        gpWPara->input4Use = 0;
        gpWPara->detectMode = 0;
        board.resetFaults();
        triggerOnChange = false;
        if (!stampTimer.isActive()) {
            gpControlIO->updateThreadProtectTiming();
            stampTimer.start(kStampPeriodMs);
        }
    }

    void cleanupTestCase()
    {
        stampTimer.stop();
        gpControlIO->ioThread->requestInterruption();
        QVERIFY(gpControlIO->ioThread->wait(5000));
        board.stop();
    }

    // Must stay first: it counts iterations from the start of the IO thread.
    void quietIterationsPollAndAskTemperatures()
    {
        QVERIFY(board.waitForFrames(420, 10000));
        const QByteArray poll = hex("5F02000061F5");
        QByteArray cycle;
        for (int i = 1; i <= 210; ++i) cycle += i == 200 ? hex("5F03000062F5") : i == 210 ? hex("5F04000063F5") : poll;
        QCOMPARE(cycle.count(poll), 208);
        QCOMPARE(board.receivedBytes().left(2 * cycle.size()), cycle + cycle);

        // One iteration per 5 ms sleep at least.
        const QVector<IOBoardSim::Frame> frames = board.frames();
        QVERIFY(frames[209].atUs - frames[0].atUs >= 209 * 5000 * 9 / 10);
        unsigned char sumWraps[] = {0xFF, 0x02};
        QCOMPARE(calcLRC(sumWraps, 2), static_cast<unsigned char>(0x01));
        QCOMPARE(calcLRC(sumWraps, 0), static_cast<unsigned char>(0));
    }

    void wordsWithControlBytesPassUnchanged()
    {
        // Line feed, ^C, XON and XOFF: a cooked line would translate or swallow them.
        for (unsigned int word : {0x0Au, 0x03u, 0x11u, 0x13u}) {
            publish(word);
            QVERIFY2(board.waitForOutputs(word, 10000), qPrintable(QString::number(word, 16)));
            QVERIFY(board.receivedBytes().contains(IOBoardSim::commandFrame(kCmdSetOutputs, word)));
        }
        QVERIFY(board.receivedBytes().contains(hex("5F010A006AF5")));
        for (unsigned int word : {0x0Au, 0x03u, 0x11u, 0x13u, 0x30Au}) QVERIFY(settleInputs(word));
        publish(0);
        QVERIFY(board.waitForOutputs(0, 10000));
        QVERIFY(settleInputs(0));
    }

    void outputsAreResentUntilTheEchoMatches()
    {
        lockStep();
        const auto realSleep = qScopeGuard([] { PlatformClock::setSleepHook({}); });
        board.ignoreOutputFrames(3);
        board.clearFrames();
        publish(0x05);
        QVERIFY(board.waitForOutputs(0x05, 10000));
        // Counted in iterations (one poll each), not in time: a busy machine runs fewer of them.
        const auto setsIn = [](const QVector<IOBoardSim::Frame>& frames) {
            QVector<int> sets;
            for (int i = 0; i < frames.size(); ++i) {
                if (frames[i].command == kCmdSetOutputs)
                    sets << i;
            }
            return sets;
        };
        QVector<int> sets = setsIn(board.frames());
        QVERIFY(!sets.isEmpty());
        QVERIFY(board.waitForFrames(sets.last() + 20, 10000));
        QVector<IOBoardSim::Frame> frames = board.frames();
        sets = setsIn(frames);
        for (int i : sets) QCOMPARE(frames[i].value, 0x05u);
        QCOMPARE(sets.size(), 4);  // three ignored, the fourth taken
        // Once per iteration: each re-send follows the poll whose reply showed the old outputs
        // (a reply that comes in late on a busy machine moves the re-send one iteration on).
        for (int i = 1; i < sets.size(); ++i)
            QVERIFY2(sets[i] - sets[i - 1] >= 2 && sets[i] - sets[i - 1] <= 4, qPrintable(QString::number(sets[i])));
        QVERIFY(frames.size() - sets.last() > 15);

        // A board that never confirms gets the word again in every iteration, without limit.
        board.setFixedEcho(0x1FF);
        board.clearFrames();
        constexpr int kResends = 40;
        QElapsedTimer resending;
        resending.start();
        while (countCommand(board.frames(), kCmdSetOutputs) < kResends && resending.elapsed() < 10000) QTest::qWait(10);
        frames = board.frames();
        QVERIFY2(countCommand(frames, kCmdSetOutputs) >= kResends,
                 qPrintable(QString::number(countCommand(frames, kCmdSetOutputs))));
        for (int i = 1; i < frames.size(); ++i)
            QVERIFY2(frames[i].command != kCmdSetOutputs || frames[i - 1].command != kCmdSetOutputs,
                     qPrintable(QString::number(i)));
        const int polls =
            countCommand(frames, kCmdPoll) + countCommand(frames, kCmdTempFirst) + countCommand(frames, kCmdTempSecond);
        QVERIFY(polls > 10);
        QVERIFY2(countCommand(frames, kCmdSetOutputs) >= polls - 2, qPrintable(QString::number(polls)));
        // Once the board confirms, the re-sending stops within the replies already on their way.
        board.setFixedEcho(-1);
        board.clearFrames();
        QVERIFY(board.waitForFrames(60, 10000));
        frames = board.frames();
        sets = setsIn(frames);
        QVERIFY2(sets.isEmpty() || frames.size() - sets.last() > 20, qPrintable(QString::number(sets.last())));
        publish(0);
        QVERIFY(board.waitForOutputs(0, 10000));
    }

    void damagedRepliesGiveTheInputsOnce_data()
    {
        QTest::addColumn<int>("corruption");
        QTest::newRow("bad checksum") << int(IOBoardSim::BadChecksum);
        QTest::newRow("bad end byte") << int(IOBoardSim::BadEndByte);
    }
    void damagedRepliesGiveTheInputsOnce()
    {
        QFETCH(int, corruption);
        QVERIFY(settleInputs(0));
        QTest::qWait(20);
        changes.clear();
        IOBoardSim::ReplyFaults faults;
        // A well-formed reply of an unknown type, then bytes that only look like a frame start.
        faults.garbage = IOBoardSim::replyFrame(7, 0x3FF) + hex("005F02F513110A");
        faults.corruptCopy = IOBoardSim::Corruption(corruption);
        faults.splitAt = 3;
        board.setInputs(0x2A, faults);
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 1, 10000);
        QTest::qWait(100);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes[0].word, 0x2Au);
        QVERIFY(settleInputs(0));
    }

    void slowAndFloodingBoardStillDelivers()
    {
        QVERIFY(settleInputs(0));
        QTest::qWait(20);
        changes.clear();
        board.setReplyDelayMs(12);  // replies two iterations late
        QVERIFY(settleInputs(0x01));
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 1, 10000);
        QTest::qWait(100);
        QCOMPARE(changes.size(), 1);
        board.resetFaults();

        // More than the receive buffer holds, with no frame in it: the link drops the surplus
        // and picks up the replies that follow.
        board.sendRaw(QByteArray(5000, char(kFrameHead)));
        QVERIFY(settleInputs(0x02));
        QVERIFY(settleInputs(0));

        // A reply that begins three bytes into a broken frame is the only one that comes.
        board.setSilent(true);
        QTest::qWait(20);
        board.sendRaw(hex("5F0200") + IOBoardSim::replyFrame(kCmdPoll, 0x04));
        QTRY_COMPARE_WITH_TIMEOUT(dataIn(), 0x04u, 10000);
        board.setSilent(false);
        QVERIFY(settleInputs(0));
    }

    void temperatureRepliesFillTheTable()
    {
        QCOMPARE(IOBoardSim::replyFrame(kCmdTempFirst, 0x12345678), hex("5F0378563412 76F5"));
        // Each reply is read before the next request goes out, as a board answers within a
        // poll: a simulated board starved by a busy machine would answer a block late, into
        // the other block's words.
        lockStep();
        const auto realSleep = qScopeGuard([] { PlatformClock::setSleepHook({}); });
        board.setTemperature(0, 0x12345678);
        board.setTemperature(1, 0x0BADF00D);
        QTRY_COMPARE_WITH_TIMEOUT(gFTemp[0].load(), 0x12345678u, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(gFTemp[8].load(), 0x0BADF00Du, 20000);
        for (int i = 0; i < kTempWords; ++i) {
            if (i != 0 && i != 8)
                QCOMPARE(gFTemp[i].load(), 0u);
        }
    }

    void outputInversionAndMirror()
    {
        gpControlIO->IOResetAllOut();
        QCOMPARE(gpControlIO->outWord, 0u);
        gpWPara->outInitState[1] = 1;
        gpWPara->outInitState[8] = 1;  // stored as system7 value 19
        gpControlIO->IOSetOut(1, 1);
        QCOMPARE(gpControlIO->IOState(1, 1), 0);
        gpControlIO->IOSetOut(1, 0);
        gpControlIO->IOSetOut(8, 0);
        QCOMPARE(gpControlIO->outWord, 0x102u);
        QCOMPARE(gpControlIO->IOState(1, 1), 1);

        QSignalSpy published(gpControlIO, &ControlPort::sigIOChange);
        gpControlIO->IOFlashOut();
        gpControlIO->IOFlashOut();
        QCOMPARE(published.size(), 1);
        QVERIFY(board.waitForOutputs(0x102, 10000));

        init();
        gpWPara->output4Use = 2;  // bit 3 follows output 1
        gpControlIO->IOResetAllOut();
        gpControlIO->IOSetOut(1, 1);
        QCOMPARE(gpControlIO->outWord, 0x0Au);
        gpControlIO->IOFlashOut();
        QVERIFY(board.waitForOutputs(0x0A, 10000));
        gpControlIO->IOSetOut(1, 0);
        QCOMPARE(gpControlIO->outWord, 0u);
        gpControlIO->IOSetOut(3, 1);
        QCOMPARE(gpControlIO->outWord, 0x08u);
        gpControlIO->IOResetAllOut();
        gpControlIO->IOFlashOut();
        QVERIFY(board.waitForOutputs(0, 10000));
        QCOMPARE(published.size(), 3);
    }

    // A publication counts as taken only once the board's echo shows it: a silent board gets
    // nothing; a board that misses the writes gets the word again at every poll, and a pulse
    // of the word is timed from the echo, its whole length; a word published again unchanged
    // is no new publication.
    void publicationCountsAsSentOnceSent()
    {
        publish(0);
        QVERIFY(board.waitForOutputs(0, 10000));
        QTRY_VERIFY_WITH_TIMEOUT(gpControlIO->outputSentAt(gpControlIO->publishedWord()) >= 0, 10000);
        board.setSilent(true);
        const auto speaks = qScopeGuard([this] { board.setSilent(false); });
        QTest::qWait(50);  // replies on their way before the silence
        publish(0x06);
        const quint64 word = gpControlIO->publishedWord();
        publish(0x06);
        QCOMPARE(gpControlIO->publishedWord(), word);
        QTest::qWait(100);
        QCOMPARE(gpControlIO->outputSentAt(word), qint64(-1));
        const qint64 spoke = PlatformClock::monotonicMs();
        board.setSilent(false);
        QVERIFY(board.waitForOutputs(0x06, 10000));
        QTRY_VERIFY_WITH_TIMEOUT(gpControlIO->outputSentAt(word) >= spoke, 10000);

        // Writes missed: sent again and again, taken only at the echo, a pulse's whole length left then.
        board.ignoreOutputFrames(60);
        publish(0x12);
        const quint64 missed = gpControlIO->publishedWord();
        QTest::qWait(50);
        QCOMPARE(gpControlIO->outputSentAt(missed), qint64(-1));
        QVERIFY(board.waitForOutputs(0x12, 10000));
        QTRY_VERIFY_WITH_TIMEOUT(gpControlIO->outputSentAt(missed) >= 0, 10000);
        QVERIFY(cycle::PulseLeftMs(missed, 30) > 1500);
        publish(0);
        QVERIFY(board.waitForOutputs(0, 10000));
    }

    // An input that rises and falls before the GUI thread looks still gives one rise; one
    // that stays high gives none when others change.
    void pulseBetweenTwoPassesGivesOneRise()
    {
        QVERIFY(settleInputs(0));
        latchAll();
        QVERIFY(settleInputs(0x01));
        QVERIFY(settleInputs(0));
        QCOMPARE(gpControlIO->IOInTrigger(0), 1);
        QCOMPARE(gpControlIO->IOInTrigger(0), 0);
        for (int i = 1; i < kTriggerInputs; ++i) QCOMPARE(gpControlIO->IOInTrigger(i), 0);
        // An input that stays high does not rise again when another one changes.
        QVERIFY(settleInputs(0x01));
        latchAll();
        QVERIFY(settleInputs(0x05));
        QVERIFY(settleInputs(0x01));
        QCOMPARE(gpControlIO->IOInTrigger(0), 0);
        QCOMPARE(gpControlIO->IOInTrigger(2), 1);
        QVERIFY(settleInputs(0));
        latchAll();
    }

    void risingEdgesAndInput3Merge_data()
    {
        QTest::addColumn<int>("merge");
        QTest::addColumn<unsigned int>("rises");  // inputs that report a rise when input 3 rises
        QTest::newRow("off") << 0 << 0x08u;
        QTest::newRow("into 0") << 1 << 0x09u;
        QTest::newRow("into 1") << 2 << 0x0Au;
        QTest::newRow("into 2") << 3 << 0x0Cu;
        QTest::newRow("4 merges nothing") << 4 << 0x08u;
        QTest::newRow("5 merges nothing") << 5 << 0x08u;
        QTest::newRow("-1 merges nothing") << -1 << 0x08u;
    }
    void risingEdgesAndInput3Merge()
    {
        QFETCH(int, merge);
        QFETCH(unsigned int, rises);
        gpWPara->input4Use = merge;
        QVERIFY(settleInputs(0));
        latchAll();
        QVERIFY(settleInputs(0x08));
        unsigned int rose = 0;
        for (int i = 0; i < kTriggerInputs; ++i) rose |= unsigned(gpControlIO->IOInTrigger(i)) << i;
        QCOMPARE(rose, rises);
        QCOMPARE(gpControlIO->inWord, rises);
        // The level stays: no second rise; it falls: no rise either.
        for (int i = 0; i < kTriggerInputs; ++i) QCOMPARE(gpControlIO->IOInTrigger(i), 0);
        QVERIFY(settleInputs(0));
        for (int i = 0; i < kTriggerInputs; ++i) QCOMPARE(gpControlIO->IOInTrigger(i), 0);
    }

    void safetyDoorDropsTheAlarm_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("alarmInverted");
        QTest::addColumn<bool>("acts");
        QTest::newRow("standard") << 0 << 0 << true;
        QTest::newRow("standard, alarm inverted") << 0 << 1 << true;
        QTest::newRow("multi-detection, alarm inverted") << 3 << 1 << true;
        QTest::newRow("two-colour") << 1 << 0 << false;
        QTest::newRow("turntable, alarm inverted") << 2 << 1 << false;
    }
    void safetyDoorDropsTheAlarm()
    {
        QFETCH(int, mode);
        QFETCH(int, alarmInverted);
        QFETCH(bool, acts);
        gpWPara->detectMode = mode;
        gpWPara->outInitState[2] = alarmInverted;
        gisSafeDoorOpen = false;
        const unsigned int alarmOn = alarmInverted ? 0u : 0x04u;
        const unsigned int alarmOff = alarmInverted ? 0x04u : 0u;
        gpControlIO->IOResetAllOut();
        gpControlIO->IOSetOut(0, 1);
        gpControlIO->IOSetOut(2, 1);
        gpControlIO->IOFlashOut();
        QVERIFY(board.waitForOutputs(0x01 | alarmOn, 10000));

        QVERIFY(settleInputs(0x02));  // door closed
        latchAll();
        QVERIFY(!gisSafeDoorOpen);
        QVERIFY(settleInputs(0));  // door opened
        latchAll();
        QCOMPARE(gisSafeDoorOpen, acts);
        QCOMPARE(gpControlIO->IOState(1, 2), int((acts ? alarmOff : alarmOn) >> 2));
        QVERIFY(board.waitForOutputs(0x01 | (acts ? alarmOff : alarmOn), 10000));
        gisSafeDoorOpen = false;
    }

    void livenessStopsAndResumesTheTraffic()
    {
        stampTimer.stop();
        gpControlIO->updateThreadProtectTiming();
        TestSupport::clearCapturedMessages();

        // Wall-clock steps do not count: the stamp is taken on the monotonic clock.
        const auto realClock = qScopeGuard([] { PlatformClock::resetNow(); });
        PlatformClock::setOffsetMs(2LL * 24 * 3600 * 1000);
        board.clearFrames();
        QVERIFY(board.waitForFrames(9, 5000));
        PlatformClock::setOffsetMs(-3600 * 1000);
        board.clearFrames();
        QVERIFY(board.waitForFrames(9, 5000));
        PlatformClock::resetNow();

        // Just under 11 s without a stamp: still polling.
        gpControlIO->updateThreadProtectTiming();
        PlatformClock::advanceMonotonic(10700);
        board.clearFrames();
        QVERIFY(board.waitForFrames(9, 5000));
        QCOMPARE(stallWarnings(), 0);

        // The stalled thread's one-second pauses are counted and pass in a fraction of the time.
        PlatformClock::setSleepHook([this](int ms) {
            if (ms == kStallPauseMs) {
                ++stallPauses;
                ms /= kStallSpeedUp;
            } else if (ms == kReplyWaitMs || ms == kPollPauseMs - kReplyWaitMs) {
                ++pollPauses;
            } else {
                ++otherPauses;
            }
            QThread::msleep(ms);
        });
        const auto realSleep = qScopeGuard([] { PlatformClock::setSleepHook({}); });
        PlatformClock::advanceMonotonic(400);
        QTest::qWait(20);
        TestSupport::clearCapturedMessages();
        board.clearFrames();
        const int pausesBefore = stallPauses;
        // Eight pauses, however long a busy machine makes them.
        QTRY_VERIFY_WITH_TIMEOUT(stallPauses - pausesBefore >= 8, 20 * kStallPauseMs);
        QCOMPARE(board.frameCount(), 0);
        // One warning per one-second pause: about once a second.
        const int warnings = stallWarnings();
        const int pauses = stallPauses - pausesBefore;
        QVERIFY2(warnings >= 4 && qAbs(warnings - pauses) <= 1,
                 qPrintable(QString("%1 warnings, %2 pauses").arg(warnings).arg(pauses)));

        // Polling resumes when the pause in progress ends; one more pause only when the stamp
        // fell between the check and the warning.
        const int pausesAtStamp = stallPauses;
        const qint64 stampedUs = IOBoardSim::clockUs();
        gpControlIO->updateThreadProtectTiming();
        QVERIFY(board.waitForFrames(1, 3000));
        QVERIFY(stallPauses - pausesAtStamp <= 1);
        const qint64 resumedMs = (board.frames().first().atUs - stampedUs) / 1000;
        QVERIFY2(resumedMs <= 2 * kStallPauseMs / kStallSpeedUp + 100, qPrintable(QString::number(resumedMs)));

        // Between polls the thread pauses for the poll period, its reply read within it, through
        // the sleep seam.
        pollPauses = 0;
        otherPauses = 0;
        QTRY_VERIFY_WITH_TIMEOUT(pollPauses >= 10, 3000);
        QCOMPARE(otherPauses.load(), 0);
        stampTimer.start(kStampPeriodMs);
    }

    void inputEdgeReachesTheGuiThreadWithinAPoll()
    {
        lockStep();
        const auto realSleep = qScopeGuard([] { PlatformClock::setSleepHook({}); });
        QVERIFY(settleInputs(0));
        latchAll();
        QTest::qWait(20);
        changes.clear();
        triggerOnChange = true;
        QRandomGenerator random(20240229);
        QVector<double> latencyMs;
        constexpr int kEdges = 200;
        for (int n = 0; n < kEdges; ++n) {
            const unsigned int word = n % 2 == 0 ? 0x01u : 0u;
            board.clearFrames();
            board.setInputs(word);
            const qint64 edgeUs = board.inputsChangedUs();
            QVERIFY(waitForChanges(n + 1, 10000));
            const Change& c = changes[n];
            latencyMs << (c.atUs - edgeUs) / 1000.0;
            // Within a poll: the reply to the first poll after the edge brings the signal (or the
            // reply to one the board stamped just before the edge but answered after it).
            // Counted in polls, not in milliseconds, which depend on how busy the machine is.
            int polls = 0;
            for (const IOBoardSim::Frame& f : board.frames()) {
                if (f.command == kCmdPoll && f.atUs > edgeUs && f.atUs <= emitUs.load())
                    ++polls;
            }
            QVERIFY2(polls <= 1, qPrintable(QString("edge %1: %2 polls").arg(n).arg(polls)));
            // The word is stored before the signal: the pass it triggers sees the edge.
            QCOMPARE(wordAtEmit.load(), word);
            QCOMPARE(c.word, word);
            QCOMPARE(c.rose0, word ? 1 : 0);
            // Edges fall at every phase of the poll period.
            QTest::qWait(int(random.bounded(3, 15)));
        }
        triggerOnChange = false;
        QCOMPARE(changes.size(), kEdges);
        std::sort(latencyMs.begin(), latencyMs.end());
        const double median = (latencyMs[kEdges / 2 - 1] + latencyMs[kEdges / 2]) / 2;
        qInfo("input edge to sigIOChange on the GUI thread over %d edges: median %.2f ms, max %.2f ms, min %.2f ms",
              kEdges, median, latencyMs.last(), latencyMs.first());
    }

    // A board late at the start (250 ms, or silent for 2 s) holding the clamp and alarm of a
    // crashed run gets no output word and gives no input until it has answered once; then it
    // keeps both. Last: it builds the link anew.
    void boardLateAtTheStartGetsNothingUntilItAnswers_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("250 ms late") << false;
        QTest::newRow("silent 2 s") << true;
    }
    void boardLateAtTheStartGetsNothingUntilItAnswers()
    {
        QFETCH(bool, silent);
        const int lateMs = silent ? 2000 : 250;
        if (gpControlIO->ioThread)
            gpControlIO->ioThread->stop();
        QTest::qWait(500);
        drainPort();  // the answers to the last polls, late ones included
        delete gpCom;
        board.holdOutputs(0x05);
        board.setInputs(silent ? 0x02 : 0x01);
        const qint64 began = IOBoardSim::clockUs();
        silent ? board.setSilent(true) : board.setReplyDelayMs(lateMs);
        gpControlIO = new ControlPort;
        QVERIFY(gpControlIO->boardLate);
        gpControlIO->InitIOThread();
        QTest::qWait(50);
        publish(0x100);  // as the window does meanwhile
        connect(&stampTimer, &QTimer::timeout, gpControlIO, &ControlPort::updateThreadProtectTiming);
        if (silent)
            QTimer::singleShot(lateMs, [this] { board.resetFaults(); });
        QTRY_COMPARE_WITH_TIMEOUT(gpControlIO->boardStartOutputs, 0x05, 15000);
        board.resetFaults();
        QTRY_COMPARE_WITH_TIMEOUT(dataIn(), silent ? 0x02u : 0x01u, 10000);
        QVERIFY((IOBoardSim::clockUs() - began) / 1000 >= lateMs);
        QCOMPARE(gDataOut, 0x105u);
        for (const IOBoardSim::OutputChange& c : board.outputChanges()) QVERIFY(c.atUs < began || (c.word & 0x05u) == 0x05u);
    }
};

MONITOR_TEST_MAIN(TestControlPort)
#include "tst_controlport.moc"
