// The thread that owns the serial line: polls the board, parses its replies, re-sends outputs.
#pragma once

#include <atomic>

#include <QThread>

class IOThread : public QThread
{
    Q_OBJECT

public:
    explicit IOThread(QObject* parent = nullptr);

    // Liveness stamp of the GUI thread, in PlatformClock::monotonicMs(). Written by the GUI
    // thread, read here; a wall-clock step must not stop or prolong the board traffic.
    std::atomic<qint64> protectTime{0};

signals:
    // A poll reply brought an input word different from gDataIn (already stored).
    void sigIOChange();

protected:
    void run() override;

private:
    void receive(unsigned int out);
    void sendNext();
};
