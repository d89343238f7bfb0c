// Modbus TCP server: the running state and the production counters in holding registers 0 to 4.
#pragma once

#include <atomic>
#include <mutex>

#include <QObject>
#include <QString>

class QThread;
class QTimer;
class RegisterServer;

// Holding registers (read-only; a write is answered with exception 01, illegal function):
//   0  running state: 0 stopped, 1 detecting, 2 an NG alarm holds
//   1  mould cycles judged (gAllCycleNum of camera 1), modulo 65536
//   2  mould cycles with an NG (gSyncNGCycleNum), modulo 65536
//   3  detection steps judged (gAllNum of camera 1), modulo 65536
//   4  detection steps with an NG (gSyncNGNum), modulo 65536
// Unit 1 answers, and so do units 0 and 255, which many Modbus TCP clients use for a TCP
// server; a frame of another protocol id is dropped, one whose length field lies ends its
// connection. The server runs in a thread of its own (a pool of one, with its own event loop); the
// registers are sampled from the main window's state on the GUI thread every kSampleMs and
// read by the server thread, so neither thread waits for the other.
// No client can take the server from the others: at most kMaxConnections are held; one more
// takes the place of the oldest connection of the address holding the most when that address
// holds at least two more than its own; else of the least recently active connection of the
// addresses holding one more than its own (when every address holds one: of any address);
// else, its address already holding its share, it is closed at once. So a client holding them
// all keeps them until another address comes, and every address gets in, also when 64
// addresses hold one each. A connection without a request for kIdleCloseMs is closed, a connection
// whose unread answers pass kMaxUnsentBytes is not read from until its client takes them,
// and each connection is served at most kFramesPerTurn requests before the others' turn.
class ModbusServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRegisters = 5;
    static constexpr int kSampleMs = 100;
    static constexpr int kServerAddress = 1;
    static constexpr int kMaxConnections = 64;
    static constexpr int kIdleCloseMs = 60000;
    static constexpr int kMaxUnsentBytes = 64 * 1024;
    static constexpr int kFramesPerTurn = 16;

    // Listens on the configured address and port (NetPorts); a port that cannot be bound is
    // logged once and the server stays idle.
    ModbusServer();
    ModbusServer(const QString& host, int port);
    ~ModbusServer() override;

    bool listening() const { return bound; }
    // Closes every connection and the listener and ends the server's thread; returns once it
    // has ended. Idempotent; called from any thread but the server's own (the GUI thread at a
    // stop). The registers are no longer served afterwards.
    void stop();
    // Connections held now (read on the server's thread).
    int connections() const;
    quint16 reg(int i) const { return regs[i].load(); }

    // The register values from the state in core (GUI thread).
    static void sample(quint16 values[kRegisters]);
    // Samples now (the timer does it every kSampleMs).
    void refresh();

private:
    void open(const QString& host, int port);

    QThread* pool = nullptr;
    RegisterServer* server = nullptr;
    QTimer* sampler = nullptr;
    std::atomic<quint16> regs[kRegisters] = {};
    bool bound = false;
    std::mutex stopMutex;
};
