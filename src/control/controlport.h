// The IO board link: serial frames, the shared input/output words and the GUI-side facade.
#pragma once

#include <atomic>

#include <QObject>

#include "monitorlimits.h"

class IOThread;
class Posix_QextSerialPort;

// Frame bytes of the board protocol.
constexpr unsigned char kFrameHead = 0x5F;
constexpr unsigned char kFrameEnd = 0xF5;
constexpr int kCommandFrameSize = 6;
constexpr int kReplyFrameSize = 8;
// Commands of the system to the board.
constexpr int kCmdSetOutputs = 1;
constexpr int kCmdPoll = 2;
constexpr int kCmdTempFirst = 3;
constexpr int kCmdTempSecond = 4;
// Outputs 0..8 are driven; the board reports 10 bits of inputs and outputs.
constexpr int kDrivenOutputs = 9;
constexpr int kTempWords = 16;

extern Posix_QextSerialPort* gpCom;
extern int gisCOM;                                    // serial port number n of "/dev/ttyS<n>"
extern unsigned int gDataIn;                          // written by the IO thread under pMutexIO
extern unsigned int gDataOut;                         // written by IOFlashOut under pMutexIO
// Counts the changes of gDataOut (written with it, under pMutexIO): the IO thread tells by it
// which publication a word it sends belongs to.
extern quint64 gDataOutSeq;
extern std::atomic<unsigned int> gFTemp[kTempWords];  // values of the temperature replies
// Inputs that rose since the GUI thread last looked (set by the IO thread, taken by
// IOInTrigger, under pMutexIO): a pulse that ends between two passes still counts.
extern unsigned int gRoseIn;

unsigned char calcLRC(unsigned char* data, unsigned short length);
void ComInit();
void ComSend(int command, int value);

class ControlPort : public QObject
{
    Q_OBJECT

public:
    explicit ControlPort(QObject* parent = nullptr);

    unsigned char prevIn[kTriggerInputs] = {};
    unsigned int outWord = 0;  // physical levels: inversion is applied when a bit is written
    // Rises taken from gRoseIn and not yet reported by IOInTrigger.
    unsigned char risePending[kTriggerInputs] = {};
    unsigned int inWord = 0;
    IOThread* ioThread = nullptr;
    // The output word the board held when the link opened (the echo of its first poll
    // reply), -1 when it did not answer in time. The board keeps the word it was last given,
    // so after a crash this is the dead run's.
    int boardStartOutputs = -1;
    // Logical outputs held on over the levels the cycle sets (bit k: output k), while a camera
    // is away; the board gets the cycle's own levels back when the hold ends.
    unsigned int heldOn = 0;

    void InitIOThread();
    void IOSetOut(int k, int on);
    void IOResetAllOut();
    void IOFlashOut();
    // Holds output k on (published with the next IOFlashOut) or ends the hold.
    void IOHoldOn(int k, bool hold);
    // The board held the clamp output (the alarm output) on, at its logical level, when the
    // link opened or, for a board late at the start, when it first answered.
    bool boardHeldClamp() const;
    bool boardHeldAlarm() const;
    // The board answered no poll in the start's wait: until it answers, the IO thread polls
    // but sends it no output word and takes no inputs (a word published now could release a
    // mould the last run left held). Its first answer reaches boardAnswered.
    bool boardLate = false;
    int IOState(int kind, int n);
    int IOInTrigger(int i);
    void updateThreadProtectTiming();
    // The publication the board is to hold now (gDataOutSeq of the latest IOFlashOut).
    quint64 publishedWord() const;
    // When (PlatformClock::monotonicMs) a reply of the board first showed it holding
    // publication `seq` or a later one; -1 not yet (sent is not enough: a board may miss a
    // write). Without an IO thread nothing is ever sent, and every publication counts as
    // taken at 0.
    qint64 outputSentAt(quint64 seq) const;

signals:
    void sigIOChange();
    // A board late at the start answered (its output word is in boardStartOutputs), `lateMs`
    // after the start's wait began. The receiver decides on the held mould (without one the
    // link keeps the clamp and alarm the board held); the IO thread goes on once it returned.
    void boardAnswered(qint64 lateMs);

private slots:
    void takeFirstAnswer(int echo);

private:
    // outWord with the held outputs on: what IOFlashOut publishes.
    unsigned int boardWord() const;
    bool boardHeld(int k) const;
    // Keeps the clamp and the alarm the board held (not published).
    void keepBoardHeldOutputs();
    qint64 startWaitBegan = 0;
};

extern ControlPort* gpControlIO;
