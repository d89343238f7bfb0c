// platform.json reader.
#include "platformconfig.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "commandrunner.h"
#include "systempaths.h"

namespace {

constexpr int kMaxPort = 65535;

void readPort(const QJsonObject& ports, const char* key, int& port)
{
    const int value = ports.value(key).toInt(-1);
    if (value > 0 && value <= kMaxPort)
        port = value;
    else if (ports.contains(key))
        qWarning() << "platform file: port" << key << "out of range, keeps" << port;
}

}  // namespace

NetPorts& NetPorts::current()
{
    static NetPorts ports;
    return ports;
}

bool PlatformConfig::load(const QString& path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning() << "platform file unreadable:" << path << err.errorString();
        return false;
    }
    const QJsonObject obj = doc.object();
    const QString commands = obj.value("commands").toString();
    if (commands == "log")
        CommandRunner::setMode(CommandRunner::Log);
    else if (commands == "record")
        CommandRunner::setMode(CommandRunner::Record);
    else if (commands == "real")
        CommandRunner::setMode(CommandRunner::Real);
    if (obj.contains("root"))
        SystemPaths::setRoot(obj.value("root").toString());
    if (obj.contains("serial"))
        SystemPaths::setSerialDevice(obj.value("serial").toString());
    NetPorts& net = NetPorts::current();
    if (obj.value("listen").isString())
        net.listen = obj.value("listen").toString();
    const QJsonObject ports = obj.value("ports").toObject();
    readPort(ports, "api", net.api);
    readPort(ports, "peer", net.peer);
    readPort(ports, "modbus", net.modbus);
    return true;
}
