// Modbus TCP server on Qt SerialBus.
#include "modbusserver.h"

#include <QDataStream>
#include <QDebug>
#include <QHash>
#include <QModbusTcpServer>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include "globals.h"
#include "mainstate.h"
#include "platformclock.h"
#include "platformconfig.h"

namespace {

constexpr int kHeaderBytes = 7;    // transaction, protocol, length, unit
constexpr int kMaxLength = 254;    // unit and the longest PDU (253 bytes)
constexpr quint8 kAnyUnitLow = 0;  // unit ids that many clients use for a TCP server
constexpr quint8 kAnyUnitHigh = 255;

quint16 BigEndian16(const QByteArray& b, int at)
{
    return quint16(quint8(b[at]) << 8 | quint8(b[at + 1]));
}

bool IsWrite(QModbusPdu::FunctionCode fc)
{
    switch (fc) {
        case QModbusPdu::WriteSingleCoil:
        case QModbusPdu::WriteSingleRegister:
        case QModbusPdu::WriteMultipleCoils:
        case QModbusPdu::WriteMultipleRegisters:
        case QModbusPdu::MaskWriteRegister:
        case QModbusPdu::ReadWriteMultipleRegisters:
            return true;
        default:
            return false;
    }
}

}  // namespace

// The server object, living in the pool thread. It reads the Modbus TCP frames itself (the
// library's TCP server answers only its own unit id and trusts the protocol id and the length
// field) and lets the library's request processing answer each PDU from the samples.
class RegisterServer : public QModbusTcpServer
{
public:
    explicit RegisterServer(const std::atomic<quint16>* values) : values(values)
    {
        QModbusDataUnitMap map;
        map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, ModbusServer::kRegisters});
        setMap(map);
        setServerAddress(ModbusServer::kServerAddress);
    }

    bool listen(const QString& host, int port, QString& error)
    {
        listener = new QTcpServer(this);
        connect(listener, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = listener->nextPendingConnection()) admit(s);
        });
        idleCheck = new QTimer(this);
        connect(idleCheck, &QTimer::timeout, this, &RegisterServer::closeIdle);
        idleCheck->start(kIdleCheckMs);
        if (listener->listen(QHostAddress(host), quint16(port)))
            return true;
        error = listener->errorString();
        return false;
    }

    // Ends every connection and the listener (server thread).
    void shut()
    {
        if (idleCheck)
            idleCheck->stop();
        if (listener)
            listener->close();
        const QList<QTcpSocket*> open = conns.keys();
        for (QTcpSocket* s : open) drop(s);
    }

    std::atomic<int> held{0};

protected:
    bool readData(QModbusDataUnit* unit) const override
    {
        if (unit->registerType() != QModbusDataUnit::HoldingRegisters)
            return QModbusTcpServer::readData(unit);
        const int first = unit->startAddress();
        const int count = int(unit->valueCount());
        if (first < 0 || count < 0 || first + count > ModbusServer::kRegisters)
            return false;
        for (int i = 0; i < count; ++i) unit->setValue(i, values[first + i].load());
        return true;
    }
    // The registers report; they are not set from outside.
    QModbusResponse processRequest(const QModbusPdu& request) override
    {
        if (IsWrite(request.functionCode()))
            return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalFunction);
        return QModbusTcpServer::processRequest(request);
    }

private:
    struct Conn
    {
        QByteArray buffer;  // received, not yet taken as frames
        qint64 lastRequestMs = 0;
        QString address;  // the client's, for its share of the connections
        quint64 order = 0;  // of admission: the lowest is the oldest
    };

    void admit(QTcpSocket* s)
    {
        const QString address = s->peerAddress().toString();
        if (conns.size() >= ModbusServer::kMaxConnections && !makeRoomFor(address)) {
            s->abort();
            s->deleteLater();
            return;
        }
        // Qt reads no further than this ahead: a client that sends faster than it reads its
        // answers meets the kernel's flow control instead of growing this program.
        s->setReadBufferSize(kReadAheadBytes);
        conns.insert(s, Conn{QByteArray(), PlatformClock::monotonicMs(), address, ++admitted});
        held = conns.size();
        connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
        // Answers taken by the client: reading may go on where it stopped.
        connect(s, &QTcpSocket::bytesWritten, this, [this, s] { serve(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { forget(s); });
    }

    // All connections are held: one from `address` takes the place of another, so that no
    // client, however many addresses it has, shuts every other out. The address holding the
    // most gives its oldest connection when it holds at least kShareGap more than `address`
    // (so shares never swap back and forth, and a client reconnecting from its own address
    // gains nothing); else, among the addresses holding one more than `address` (when every
    // address holds one, all of them), the connection least recently active gives way. False:
    // `address` already holds its share, nothing was closed.
    bool makeRoomFor(const QString& address)
    {
        QHash<QString, int> held;
        for (const Conn& c : qAsConst(conns)) ++held[c.address];
        const int own = held.value(address);
        QString most;
        for (auto it = held.cbegin(); it != held.cend(); ++it)
            if (most.isEmpty() || it.value() > held.value(most))
                most = it.key();
        const bool fromMost = held.value(most) >= own + kShareGap;
        if (!fromMost && held.value(most) <= own)
            return false;
        QTcpSocket* gives = nullptr;
        auto before = [](const Conn& a, const Conn& b, bool byActivity) {
            if (byActivity && a.lastRequestMs != b.lastRequestMs)
                return a.lastRequestMs < b.lastRequestMs;
            return a.order < b.order;
        };
        for (auto it = conns.cbegin(); it != conns.cend(); ++it) {
            const Conn& c = it.value();
            const bool candidate = fromMost ? c.address == most : held.value(c.address) > own;
            if (candidate && (!gives || before(c, conns.value(gives), !fromMost)))
                gives = it.key();
        }
        drop(gives);
        return true;
    }

    // One turn of a connection: at most kFramesPerTurn requests, and none while too many of
    // its answers wait; whatever is left goes on after the other connections' events.
    void serve(QTcpSocket* s)
    {
        auto it = conns.find(s);
        if (it == conns.end())
            return;
        Conn& c = it.value();
        int answered = 0;
        while (s->bytesToWrite() <= ModbusServer::kMaxUnsentBytes) {
            if (c.buffer.size() < kHeaderBytes || c.buffer.size() < 6 + BigEndian16(c.buffer, 4))
                c.buffer += s->read(kReadAheadBytes);
            const int result = takeFrame(s, c);
            if (result == kDropped)
                return;
            if (result == kIncomplete)
                break;
            if (result == kAnswered && ++answered >= ModbusServer::kFramesPerTurn) {
                QMetaObject::invokeMethod(
                    this, [this, s] { serve(s); }, Qt::QueuedConnection);
                return;
            }
        }
    }

    enum { kIncomplete, kSkipped, kAnswered, kDropped };

    // Takes the first frame of the buffer and answers it.
    int takeFrame(QTcpSocket* s, Conn& c)
    {
        QByteArray& buffer = c.buffer;
        if (buffer.size() < kHeaderBytes)
            return kIncomplete;
        const quint16 transaction = BigEndian16(buffer, 0);
        const quint16 protocol = BigEndian16(buffer, 2);
        const int length = BigEndian16(buffer, 4);
        const quint8 unitId = quint8(buffer[6]);
        if (length < 2 || length > kMaxLength) {
            drop(s);  // no frame is that long or that short: the stream is lost
            return kDropped;
        }
        if (buffer.size() < 6 + length)
            return kIncomplete;
        const QByteArray pdu = buffer.mid(kHeaderBytes, length - 1);
        buffer.remove(0, 6 + length);
        c.lastRequestMs = PlatformClock::monotonicMs();
        if (protocol != 0)
            return kSkipped;  // not Modbus: dropped unanswered
        const QModbusRequest request(QModbusPdu::FunctionCode(quint8(pdu[0])), pdu.mid(1));
        const int expected = QModbusRequest::calculateDataSize(request);
        if (expected >= 0 && expected != pdu.size() - 1) {
            drop(s);  // the length field lies: where the next frame begins is unknown
            return kDropped;
        }
        if (unitId != serverAddress() && unitId != kAnyUnitLow && unitId != kAnyUnitHigh)
            return kSkipped;
        const QModbusResponse response = processRequest(request);
        QByteArray reply;
        QDataStream out(&reply, QIODevice::WriteOnly);
        out << transaction << quint16(0) << quint16(response.size() + 1) << unitId << response;
        s->write(reply);
        return kAnswered;
    }

    void closeIdle()
    {
        const qint64 now = PlatformClock::monotonicMs();
        QList<QTcpSocket*> idle;
        for (auto it = conns.cbegin(); it != conns.cend(); ++it)
            if (now - it.value().lastRequestMs >= ModbusServer::kIdleCloseMs)
                idle << it.key();
        for (QTcpSocket* s : idle) drop(s);
    }

    void forget(QTcpSocket* s)
    {
        if (conns.remove(s))
            s->deleteLater();
        held = conns.size();
    }

    void drop(QTcpSocket* s)
    {
        const QSignalBlocker quiet(s);
        conns.remove(s);
        held = conns.size();
        s->abort();
        s->deleteLater();
    }

    // How often idle connections are looked for; a steered clock is seen within this.
    static constexpr int kIdleCheckMs = 250;
    static constexpr qint64 kReadAheadBytes = 4096;
    static constexpr int kShareGap = 2;

    const std::atomic<quint16>* values;
    QTcpServer* listener = nullptr;
    QTimer* idleCheck = nullptr;
    QHash<QTcpSocket*, Conn> conns;
    quint64 admitted = 0;
};

ModbusServer::ModbusServer() : ModbusServer(NetPorts::current().listen, NetPorts::current().modbus) {}

ModbusServer::ModbusServer(const QString& host, int port)
{
    refresh();
    sampler = new QTimer(this);
    connect(sampler, &QTimer::timeout, this, &ModbusServer::refresh);
    sampler->start(kSampleMs);
    open(host, port);
}

void ModbusServer::open(const QString& host, int port)
{
    pool = new QThread;
    pool->setObjectName(QStringLiteral("ModbusServer"));
    server = new RegisterServer(regs);
    server->moveToThread(pool);
    pool->start();
    bool ok = false;
    QString error;
    QMetaObject::invokeMethod(
        server, [this, &ok, &error, host, port] { ok = server->listen(host, port, error); },
        Qt::BlockingQueuedConnection);
    bound = ok;
    if (ok)
        qInfo() << "Modbus server: listening on" << host << port;
    else
        qWarning().noquote() << QStringLiteral(
                                    "Modbus server: cannot listen on %1:%2 (%3); the program runs without it")
                                    .arg(host)
                                    .arg(port)
                                    .arg(error.isEmpty() ? QStringLiteral("in use or not permitted") : error);
}

ModbusServer::~ModbusServer()
{
    stop();
}

void ModbusServer::stop()
{
    std::lock_guard<std::mutex> lock(stopMutex);
    if (server) {
        RegisterServer* s = server;
        server = nullptr;
        // The sockets and the listener belong to the server's thread: they are closed there,
        // and deleted before that thread's loop ends.
        QMetaObject::invokeMethod(
            s,
            [s] {
                s->shut();
                delete s;
            },
            Qt::BlockingQueuedConnection);
    }
    if (pool) {
        pool->quit();
        pool->wait();
        delete pool;
        pool = nullptr;
    }
    bound = false;
}

int ModbusServer::connections() const
{
    return server ? server->held.load() : 0;
}

void ModbusServer::sample(quint16 values[kRegisters])
{
    int state = 0;
    if (gpState) {
        if (gpState->pageState == kPageAlarm)
            state = 2;
        else if (gpState->runState == kRunDetecting)
            state = 1;
    }
    values[0] = quint16(state);
    values[1] = quint16(gAllCycleNum[0]);
    values[2] = quint16(gSyncNGCycleNum);
    values[3] = quint16(gAllNum[0]);
    values[4] = quint16(gSyncNGNum);
}

void ModbusServer::refresh()
{
    quint16 values[kRegisters] = {};
    sample(values);
    for (int i = 0; i < kRegisters; ++i) regs[i].store(values[i]);
}
