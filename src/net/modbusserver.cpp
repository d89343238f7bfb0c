// Modbus TCP server on Qt SerialBus.
#include "modbusserver.h"

#include <QDebug>
#include <QModbusTcpServer>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include "globals.h"
#include "mainstate.h"
#include "platformconfig.h"

// The server object, living in the pool thread: holding registers come from the samples.
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
    bool writeData(const QModbusDataUnit& unit) override
    {
        if (unit.registerType() == QModbusDataUnit::HoldingRegisters)
            return false;
        return QModbusTcpServer::writeData(unit);
    }

private:
    const std::atomic<quint16>* values;
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
        server,
        [this, &ok, &error, host, port] {
            server->setConnectionParameter(QModbusDevice::NetworkAddressParameter, host);
            server->setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
            ok = server->connectDevice() && server->state() == QModbusDevice::ConnectedState;
            error = server->errorString();
        },
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
            s,
            [s] {
                s->disconnectDevice();
                delete s;
            },
            Qt::BlockingQueuedConnection);
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
