// Modbus TCP server on Qt SerialBus.
#include "modbusserver.h"

#include <QDataStream>
#include <QDebug>
#include <QHash>
#include <QModbusTcpServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include "globals.h"
#include "mainstate.h"
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
            while (QTcpSocket* s = listener->nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    pending.remove(s);
                    s->deleteLater();
                });
            }
        });
        if (listener->listen(QHostAddress(host), quint16(port)))
            return true;
        error = listener->errorString();
        return false;
    }

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
    void read(QTcpSocket* s)
    {
        QByteArray& buffer = pending[s];
        buffer += s->readAll();
        while (buffer.size() >= kHeaderBytes) {
            const quint16 transaction = BigEndian16(buffer, 0);
            const quint16 protocol = BigEndian16(buffer, 2);
            const int length = BigEndian16(buffer, 4);
            const quint8 unitId = quint8(buffer[6]);
            if (length < 2 || length > kMaxLength) {
                drop(s);  // no frame is that long or that short: the stream is lost
                return;
            }
            if (buffer.size() < 6 + length)
                return;
            const QByteArray pdu = buffer.mid(kHeaderBytes, length - 1);
            buffer.remove(0, 6 + length);
            if (protocol != 0)
                continue;  // not Modbus: dropped unanswered
            const QModbusRequest request(QModbusPdu::FunctionCode(quint8(pdu[0])), pdu.mid(1));
            const int expected = QModbusRequest::calculateDataSize(request);
            if (expected >= 0 && expected != pdu.size() - 1) {
                drop(s);  // the length field lies: where the next frame begins is unknown
                return;
            }
            if (unitId != serverAddress() && unitId != kAnyUnitLow && unitId != kAnyUnitHigh)
                continue;
            const QModbusResponse response = processRequest(request);
            QByteArray reply;
            QDataStream out(&reply, QIODevice::WriteOnly);
            out << transaction << quint16(0) << quint16(response.size() + 1) << unitId << response;
            s->write(reply);
        }
    }

    void drop(QTcpSocket* s)
    {
        pending.remove(s);
        s->abort();
        s->deleteLater();  // again, when abort found it closed already
    }

    const std::atomic<quint16>* values;
    QTcpServer* listener = nullptr;
    QHash<QTcpSocket*, QByteArray> pending;
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
    if (server) {
        RegisterServer* s = server;
        QMetaObject::invokeMethod(
            s, [s] { delete s; }, Qt::BlockingQueuedConnection);
    }
    if (pool) {
        pool->quit();
        pool->wait();
        delete pool;
    }
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
