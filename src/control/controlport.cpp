// The serial frames of the IO board and the GUI-thread facade over the shared IO words.
#include "controlport.h"

#include <QMutexLocker>

#include "globals.h"
#include "instancelock.h"
#include "iothread.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "platformexit.h"
#include "posix_qextserialport.h"
#include "startupguard.h"
#include "systempaths.h"
#include "windowhooks.h"
#include "wizardpara.h"

Posix_QextSerialPort* gpCom = nullptr;
int gisCOM = 0;
unsigned int gDataIn = 0;
unsigned int gDataOut = 0;
quint64 gDataOutSeq = 0;
unsigned int gRoseIn = 0;
std::atomic<unsigned int> gFTemp[kTempWords] = {};
ControlPort* gpControlIO = nullptr;

namespace {

// The safety door is input 1; opening it drops the alarm output 2.
// The mirror output copies its level onto output 3.
constexpr int kMirrorTargetBit = 3;
constexpr unsigned int kInput3Mask = 1u << 3;
// Everything the link reads of the live parameter record, in one place.
int outputInverted(int k)
{
    return gpWPara && k >= 0 && k < kDrivenOutputs ? gpWPara->outInitState[k] : 0;
}
int mirrorOutput()
{
    return gpWPara ? gpWPara->output4Use : 0;
}
int input3Merge()
{
    return gpWPara ? gpWPara->input4Use : 0;
}
int machineMode()
{
    return gpWPara ? gpWPara->detectMode : 0;
}

// The word of the latest IOFlashOut, process-wide like the board it stands for.
unsigned int gLastFlashedOut = 0;

bool validBit(int n)
{
    return n >= 0 && n < 32;
}

// Output k of `word` at logical level `on` (inversion applied, the mirror output following).
unsigned int WithOutput(unsigned int word, int k, int on)
{
    const int v = outputInverted(k) ? !on : on;
    unsigned int bits = 1u << k;
    const int mirror = mirrorOutput();
    if (mirror != 0 && k == mirror - 1)
        bits |= 1u << kMirrorTargetBit;
    return v ? word | bits : word & ~bits;
}

// The board answers a poll within a few milliseconds; without an answer in this time the
// link starts as if the board held nothing.
constexpr qint64 kStartReplyWaitMs = 200;
constexpr qint64 kStartPollEveryMs = 20;
constexpr unsigned char kReplyTypeInputs = 2;

// The output echo of the board's first poll reply, or -1.
int ReadBoardOutputs()
{
    if (!gpCom || !gpCom->isOpen())
        return -1;
    QByteArray held;
    const qint64 start = PlatformClock::monotonicMs();
    qint64 polled = start - kStartPollEveryMs;
    for (qint64 now = start; now - start < kStartReplyWaitMs; now = PlatformClock::monotonicMs()) {
        if (now - polled >= kStartPollEveryMs) {
            ComSend(kCmdPoll, 0);
            polled = now;
        }
        const qint64 n = gpCom->bytesAvailable();
        if (n > 0)
            held += gpCom->read(n);
        for (int pos = 0; pos + kReplyFrameSize <= held.size(); ++pos) {
            auto* p = reinterpret_cast<unsigned char*>(held.data() + pos);
            if (p[0] == kFrameHead && p[1] == kReplyTypeInputs && p[6] == calcLRC(p, 6) && p[7] == kFrameEnd)
                return int(p[4] | (unsigned(p[5] & 3) << 8));
        }
        PlatformClock::sleepMs(1);
    }
    return -1;
}

}  // namespace

unsigned char calcLRC(unsigned char* data, unsigned short length)
{
    unsigned char sum = 0;
    for (unsigned short i = 0; i < length; ++i) sum = static_cast<unsigned char>(sum + data[i]);
    return sum;
}

void ComInit()
{
    const QString device = SystemPaths::serialDevice(gisCOM);
    // On the panel the device follows the stored port, so its lock is taken here, before the
    // port opens (a device named by platform.json was locked at the start).
    QString why;
    if (!InstanceLock::holdSerialDevice(device, &why)) {
        Exit(RefuseStart(why, kExitAnotherMonitor));
        return;
    }
    gpCom = new Posix_QextSerialPort(device, QextSerialBase::Polling);
    if (!gpCom->open(QIODevice::ReadWrite))
        qWarning("IO board port %s: %s", qPrintable(gpCom->portName()), qPrintable(gpCom->errorString()));
    gpCom->setBaudRate(BAUD115200);
    gpCom->setDataBits(DATA_8);
    gpCom->setParity(PAR_NONE);
    gpCom->setStopBits(STOP_1);
    gpCom->setFlowControl(FLOW_OFF);
    gpCom->setTimeout(1);
}

void ComSend(int command, int value)
{
    // Without a port every poll would log a write error, 200 times a second.
    if (!gpCom || !gpCom->isOpen())
        return;
    unsigned char frame[kCommandFrameSize] = {kFrameHead,
                                              static_cast<unsigned char>(command),
                                              static_cast<unsigned char>(value & 0xFF),
                                              static_cast<unsigned char>((value >> 8) & 0xFF),
                                              0,
                                              kFrameEnd};
    frame[4] = calcLRC(frame, 4);
    gpCom->write(reinterpret_cast<const char*>(frame), kCommandFrameSize);
}

ControlPort::ControlPort(QObject* parent) : QObject(parent)
{
    ComInit();
    // The board is read before anything is published: after a crash it still holds the dead
    // run's outputs, and a clamp it holds keeps a mould nobody has judged yet. Reset, it
    // would let the machine close on it; the window judges that mould first.
    startWaitBegan = PlatformClock::monotonicMs();
    boardStartOutputs = ReadBoardOutputs();
    // A board busy or rebooting for a moment is ordinary: the outputs wait for its answer.
    boardLate = boardStartOutputs < 0 && gpCom && gpCom->isOpen();
    if (boardLate)
        qWarning("IO board: no answer within %lld ms of the start; no output is sent until it answers",
                 static_cast<long long>(kStartReplyWaitMs));
    IOResetAllOut();
    keepBoardHeldOutputs();
    IOFlashOut();
}

bool ControlPort::boardHeld(int k) const
{
    if (boardStartOutputs < 0)
        return false;
    const bool bit = (unsigned(boardStartOutputs) >> k) & 1u;
    return bit != (outputInverted(k) != 0);
}

bool ControlPort::boardHeldClamp() const
{
    return boardHeld(kClampOut);
}

bool ControlPort::boardHeldAlarm() const
{
    return boardHeld(kAlarmOut);
}

// A held clamp keeps a mould nobody has judged since; the alarm held with it is that mould's.
void ControlPort::keepBoardHeldOutputs()
{
    if (!boardHeldClamp())
        return;
    IOSetOut(kClampOut, 1);
    if (boardHeldAlarm())
        IOSetOut(kAlarmOut, 1);
}

void ControlPort::takeFirstAnswer(int echo)
{
    boardStartOutputs = echo;
    boardLate = false;
    const qint64 lateMs = PlatformClock::monotonicMs() - startWaitBegan;
    qWarning("IO board: first answer %lld ms after the start, holding outputs 0x%x",
             static_cast<long long>(lateMs), unsigned(echo));
    // The window decides on the held mould as at an in-time start; without one the link
    // keeps what the board held.
    if (receivers(SIGNAL(boardAnswered(qint64))) > 0) {
        emit boardAnswered(lateMs);
    } else {
        keepBoardHeldOutputs();
        IOFlashOut();
    }
    if (ioThread)
        ioThread->awaitingFirstAnswer.store(false);
}

void ControlPort::InitIOThread()
{
    ioThread = new IOThread;
    ioThread->awaitingFirstAnswer.store(boardLate);
    connect(ioThread, &IOThread::firstAnswer, this, &ControlPort::takeFirstAnswer, Qt::QueuedConnection);
    // The slot is the main window's detection pass; queued onto the GUI thread.
    if (gpWin)
        connect(ioThread, &IOThread::sigIOChange, gpWin, &MoJuWizard::Run);
    ioThread->start();
}

void ControlPort::IOSetOut(int k, int on)
{
    if (!validBit(k))
        return;
    outWord = WithOutput(outWord, k, on);
}

void ControlPort::IOHoldOn(int k, bool hold)
{
    if (!validBit(k))
        return;
    if (hold)
        heldOn |= 1u << k;
    else
        heldOn &= ~(1u << k);
}

void ControlPort::IOResetAllOut()
{
    for (int k = 0; k < kDrivenOutputs; ++k) IOSetOut(k, 0);
}

unsigned int ControlPort::boardWord() const
{
    unsigned int word = outWord;
    for (int k = 0; k < kDrivenOutputs; ++k) {
        if ((heldOn >> k) & 1u)
            word = WithOutput(word, k, 1);
    }
    return word;
}

void ControlPort::IOFlashOut()
{
    const unsigned int word = boardWord();
    {
        QMutexLocker lock(pMutexIO);
        if (gDataOut != word)
            ++gDataOutSeq;
        gDataOut = word;
    }
    if (word != gLastFlashedOut) {
        gLastFlashedOut = word;
        emit sigIOChange();
    }
}

int ControlPort::IOState(int kind, int n)
{
    if (!validBit(n))
        return 0;
    // The outputs as the board is told them, holds included.
    return int(((kind != 0 ? boardWord() : inWord) >> n) & 1u);
}

int ControlPort::IOInTrigger(int i)
{
    unsigned int roseIn;
    {
        QMutexLocker lock(pMutexIO);
        inWord = gDataIn;
        roseIn = gRoseIn;
        gRoseIn = 0;
    }
    const int merge = input3Merge();
    // The shift is taken modulo 32 so that settings of 5 and above stay defined (and merge nothing).
    if (merge != 0) {
        inWord |= (inWord & kInput3Mask) >> ((4u - unsigned(merge)) & 31u);
        roseIn |= (roseIn & kInput3Mask) >> ((4u - unsigned(merge)) & 31u);
    }
    for (int k = 0; k < kTriggerInputs; ++k) {
        if ((roseIn >> k) & 1u)
            risePending[k] = 1;
    }

    if (i < 0 || i >= kTriggerInputs)
        return 0;
    const unsigned char level = (inWord >> i) & 1u;
    // A rise the IO thread saw counts even when the input fell again before this pass.
    const int rose = (prevIn[i] == 0 && level == 1) || risePending[i];
    risePending[i] = 0;

    const int mode = machineMode();
    if (mode != kModeTwoColour && mode != kModeTurntable && prevIn[kDoorInput] == 1 &&
        ((inWord >> kDoorInput) & 1u) == 0) {
        // The alarm's logical level: with the output inverted its physical bit reads the other way.
        const int alarmOn = int((outWord >> kAlarmOut) & 1u) ^ (outputInverted(kAlarmOut) ? 1 : 0);
        if (alarmOn)
            IOSetOut(kAlarmOut, 0);
        IOFlashOut();
        gisSafeDoorOpen = true;
    }

    prevIn[i] = level;
    return rose;
}

quint64 ControlPort::publishedWord() const
{
    // Only this (the GUI) thread writes it.
    return gDataOutSeq;
}

qint64 ControlPort::outputSentAt(quint64 seq) const
{
    if (!ioThread)
        return 0;
    return ioThread->sentSeq.load(std::memory_order_acquire) >= seq ? ioThread->sentAtMs.load() : -1;
}

void ControlPort::updateThreadProtectTiming()
{
    if (ioThread)
        ioThread->protectTime.store(PlatformClock::monotonicMs());
}
