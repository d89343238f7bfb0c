// The simulated IO board: answers the board's frame protocol on a pseudo-terminal from a thread of its own.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QVector>

class IOBoardSim
{
public:
    // One command frame received from the system.
    struct Frame
    {
        qint64 atUs;
        int command;
        unsigned int value;
    };
    // The held output word changed to `word` (a set-outputs frame that was not ignored).
    struct OutputChange
    {
        qint64 atUs;
        unsigned int word;
    };
    enum Corruption { NoCorruption, BadChecksum, BadEndByte };
    // Faults of the next poll reply (the one that carries the inputs), used once.
    struct ReplyFaults
    {
        QByteArray garbage;                     // sent first
        Corruption corruptCopy = NoCorruption;  // then a damaged copy of the reply (other inputs)
        int splitAt = 0;                        // then the reply, its first splitAt bytes apart
        int splitGapMs = 20;                    // from the rest by this gap (well over one poll)
    };

    IOBoardSim();
    ~IOBoardSim();
    IOBoardSim(const IOBoardSim&) = delete;
    IOBoardSim& operator=(const IOBoardSim&) = delete;

    // Opens the pseudo-terminal and starts the board's thread; false when no terminal is to be had.
    bool start();
    void stop();
    // The path the system opens as its serial device.
    QString devicePath() const;

    // The time base of every stamp here: CLOCK_MONOTONIC in microseconds.
    static qint64 clockUs();
    static QByteArray commandFrame(int command, unsigned int value);
    static QByteArray replyFrame(int type, unsigned int data);

    // Inputs, as the board reports them in its next poll reply.
    void setInputs(unsigned int word);
    void setInputs(unsigned int word, const ReplyFaults& faults);  // both take effect together
    void setInput(int n, bool on);
    void pulseInput(int n, int widthMs);
    unsigned int inputs() const;
    qint64 inputsChangedUs() const;

    // Outputs the board holds.
    unsigned int outputs() const;
    // The board holds `word` as if the system had set it (a run that ended without resetting
    // its outputs leaves them so); recorded as an output change. Also before start().
    void holdOutputs(unsigned int word);
    QVector<OutputChange> outputChanges() const;
    // Waits until the board holds `word`; *atUs receives when it began to.
    bool waitForOutputs(unsigned int word, int timeoutMs, qint64* atUs = nullptr);

    QVector<Frame> frames() const;
    int frameCount() const;
    void clearFrames();  // also clears receivedBytes()
    // Every byte received since the last clearFrames(), exactly as it came.
    QByteArray receivedBytes() const;
    bool waitForFrames(int count, int timeoutMs);

    // Value of the temperature replies: block 0 answers command 3, block 1 command 4.
    void setTemperature(int block, unsigned int value);

    // Fault knobs.
    void setReplyDelayMs(int ms);
    void faultNextReply(const ReplyFaults& faults);
    void splitNextReply(int firstBytes, int gapMs = 20);
    void garbageBeforeNextReply(const QByteArray& bytes);
    void corruptCopyBeforeNextReply(Corruption kind);
    void ignoreOutputFrames(int n);
    void setSilent(bool silent);
    void setFixedEcho(int word);  // -1: echo the held outputs
    void resetFaults();
    // Bytes sent to the system as they are, after any replies already queued.
    void sendRaw(const QByteArray& bytes);

private:
    struct Pending
    {
        qint64 dueUs;
        QByteArray bytes;
    };
    struct InputEvent
    {
        qint64 dueUs;
        int bit;
        bool on;
    };

    void loop();
    void wake();
    void takeBytes(const unsigned char* data, int n);
    void handleFrame(int command, unsigned int value, qint64 nowUs);
    void queueReply(const QByteArray& reply, qint64 nowUs);
    void queueLocked(const QByteArray& bytes, qint64 dueUs);
    void runDue(qint64 nowUs);
    void writeAll(const QByteArray& bytes);
    qint64 nextDueLocked() const;
    void setInputsLocked(unsigned int word);

    int masterFd = -1;
    int slaveFd = -1;
    int wakePipe[2] = {-1, -1};
    QString path;
    std::thread worker;
    bool running = false;

    mutable std::mutex mutex;
    std::condition_variable changed;
    QByteArray rx;
    QByteArray rawRx;
    unsigned int inWord = 0;
    qint64 inChangedUs = 0;
    unsigned int outWord = 0;
    unsigned int temperature[2] = {};
    QVector<Frame> received;
    QVector<OutputChange> outChanges;
    std::deque<Pending> outgoing;
    std::vector<InputEvent> inputEvents;
    int replyDelayMs = 0;
    ReplyFaults nextFaults;
    int ignoreOutputs = 0;
    bool silent = false;
    int fixedEcho = -1;
};
