// The IO thread's loop: one poll or temperature request every 5 ms, reply parsing, output repair.
#include "iothread.h"

#include <cstring>

#include <QMutexLocker>

#include "controlport.h"
#include "globals.h"
#include "platformclock.h"
#include "posix_qextserialport.h"

namespace {

constexpr int kPollPeriodMs = 5;
// A poll's reply is there within about this (6 + 8 bytes at 115200 baud and the board's
// turn-around): it is read then, not a whole period later with the next poll, so an input
// edge reaches the window sooner. A later reply is read with the next poll as before.
constexpr int kReplyWaitMs = 2;
constexpr qint64 kLivenessTimeoutMs = 11000;
constexpr int kStalledSleepMs = 1000;
constexpr int kBufferSize = 1024;
// Within every 210 iterations: the first temperature block at 200, the second at 210.
constexpr int kTempFirstIteration = 200;
constexpr int kTempSecondIteration = 210;
constexpr int kTempSecondIndex = 8;
constexpr int kReplyInputs = 2;
constexpr int kReplyTempFirst = 3;
constexpr int kReplyTempSecond = 4;

// Receive state; lives for the whole process like the one board it talks to.
unsigned char sData[kBufferSize];
unsigned char sDataB[kBufferSize];
int sLen = 0;
int sCT = 0;
int sCTIdx = 0;

bool isReply(unsigned char* p)
{
    return p[0] == kFrameHead && p[6] == calcLRC(p, 6) && p[7] == kFrameEnd;
}

unsigned int tenBits(unsigned char low, unsigned char high)
{
    return low | (unsigned(high & 3) << 8);
}

}  // namespace

IOThread::IOThread(QObject* parent) : QThread(parent) {}

void IOThread::run()
{
    protectTime.store(PlatformClock::monotonicMs());
    {
        // A word published before the thread ran goes out at the first reply that differs.
        QMutexLocker lock(pMutexIO);
        offeredSeq = gDataOutSeq;
    }
    // Interruption is requested by the stop of the program (and by tests tearing down).
    while (!isInterruptionRequested()) {
        if (PlatformClock::monotonicMs() - protectTime.load() >= kLivenessTimeoutMs) {
            qWarning("controlport_thread - main_thread > 10s will timeout exit");
            PlatformClock::sleepMs(kStalledSleepMs);
            continue;
        }
        receiveLatest();
        sendNext();
        PlatformClock::sleepMs(kReplyWaitMs);
        receiveLatest();
        PlatformClock::sleepMs(kPollPeriodMs - kReplyWaitMs);
    }
}

void IOThread::receiveLatest()
{
    unsigned int out;
    quint64 seq;
    {
        QMutexLocker lock(pMutexIO);
        out = gDataOut;
        seq = gDataOutSeq;
    }
    // A new publication goes out at once; a reply that still shows other outputs sends it
    // again below. Nothing goes out before a board late at the start has been decided on.
    if (seq != offeredSeq && !awaitingFirstAnswer.load()) {
        offeredSeq = seq;
        ComSend(kCmdSetOutputs, int(out));
    }
    receive(out, seq);
}

void IOThread::stop()
{
    requestInterruption();
    wait();
}

void IOThread::receive(unsigned int out, quint64 seq)
{
    const qint64 n = gpCom ? gpCom->bytesAvailable() : 0;
    if (n <= 0)
        return;
    const qint64 got = gpCom->read(reinterpret_cast<char*>(sDataB), qMin<qint64>(n, kBufferSize));
    if (got <= 0)
        return;
    const int keep = qMin<int>(int(got), kBufferSize - sLen);
    memcpy(sData + sLen, sDataB, size_t(keep));
    sLen += keep;
    if (sLen < kReplyFrameSize)
        return;

    bool resend = false;
    bool echoed = false;
    int pos = 0;
    while (sLen - pos >= kReplyFrameSize) {
        unsigned char* p = sData + pos;
        if (!isReply(p)) {
            ++pos;
            continue;
        }
        if (p[1] == kReplyInputs && awaitingFirstAnswer.load()) {
            // The GUI thread decides on the word the board holds before anything is sent
            // or any input taken; replies meanwhile are dropped (the next poll repeats them).
            if (!firstAnswerTold) {
                firstAnswerTold = true;
                emit firstAnswer(int(tenBits(p[4], p[5])));
            }
        } else if (p[1] == kReplyInputs) {
            const unsigned int in = tenBits(p[2], p[3]);
            // Only this thread writes gDataIn, so the comparison needs no lock; the word is
            // stored before the signal so that the detection pass it queues reads the new word.
            if (in != gDataIn) {
                {
                    QMutexLocker lock(pMutexIO);
                    gRoseIn |= in & ~gDataIn;
                    gDataIn = in;
                }
                emit sigIOChange();
            }
            if (tenBits(p[4], p[5]) != out)
                resend = true;
            else
                echoed = true;
        } else if (p[1] == kReplyTempFirst || p[1] == kReplyTempSecond) {
            if (sCTIdx < kTempWords)
                gFTemp[sCTIdx++].store(unsigned(p[2]) | unsigned(p[3]) << 8 | unsigned(p[4]) << 16 |
                                       unsigned(p[5]) << 24);
        }
        pos += kReplyFrameSize;
    }
    sLen -= pos;
    memmove(sData, sData + pos, size_t(sLen));

    if (resend)
        ComSend(kCmdSetOutputs, int(out));
    // Output pulses are timed from the first echo that shows their word: a word sent is not
    // yet a word taken (the board may miss writes), and it is sent again until it is.
    if (echoed)
        noteSent(seq);
}

void IOThread::noteSent(quint64 seq)
{
    if (seq <= sentSeq.load(std::memory_order_relaxed))
        return;
    sentAtMs.store(PlatformClock::monotonicMs());
    sentSeq.store(seq, std::memory_order_release);
}

void IOThread::sendNext()
{
    ++sCT;
    if (sCT == kTempFirstIteration) {
        sCTIdx = 0;
        ComSend(kCmdTempFirst, 0);
    } else if (sCT == kTempSecondIteration) {
        sCTIdx = kTempSecondIndex;
        sCT = 0;
        ComSend(kCmdTempSecond, 0);
    } else {
        ComSend(kCmdPoll, 0);
    }
}
