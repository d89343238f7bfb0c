// The thread that owns the serial line: polls the board, parses its replies, re-sends outputs.
#pragma once

#include <atomic>

#include <QThread>

class IOThread : public QThread
{
    Q_OBJECT

public:
    explicit IOThread(QObject* parent = nullptr);

    // Ends the loop after its current iteration and waits for it (the stop of the program).
    // The board keeps the output word it was last given.
    void stop();

    // Liveness stamp of the GUI thread, in PlatformClock::monotonicMs(). Written by the GUI
    // thread, read here; a wall-clock step must not stop or prolong the board traffic.
    std::atomic<qint64> protectTime{0};
    // The latest publication (gDataOutSeq) the board's echo showed it holding, and when
    // (PlatformClock::monotonicMs; stored before the number). Read by the GUI thread.
    std::atomic<quint64> sentSeq{0};
    std::atomic<qint64> sentAtMs{0};

    // Set before the thread starts when the board did not answer the start's wait: replies
    // are dropped and no output word is sent until the GUI thread, told of the first reply
    // by firstAnswer, has decided on it and cleared this.
    std::atomic<bool> awaitingFirstAnswer{false};

signals:
    // A poll reply brought an input word different from gDataIn (already stored).
    void sigIOChange();
    // The board's first reply while awaitingFirstAnswer: the output word it holds.
    void firstAnswer(int echo);

protected:
    void run() override;

private:
    // Reads the published word, sends it when it is new, then takes the waiting replies.
    void receiveLatest();
    void receive(unsigned int out, quint64 seq);
    void noteSent(quint64 seq);
    void sendNext();
    bool firstAnswerTold = false;
    quint64 offeredSeq = 0;  // the latest publication sent unasked
};
