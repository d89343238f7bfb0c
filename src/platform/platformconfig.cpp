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

const struct
{
    const char* name;
    CommandRunner::Mode mode;
} kModes[] = {{"real", CommandRunner::Real}, {"log", CommandRunner::Log}, {"record", CommandRunner::Record}};

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

PlatformConfig::Outcome PlatformConfig::load(const QString& path, QString* why)
{
    auto refuse = [&](const QString& reason) {
        if (why)
            *why = QStringLiteral("%1 %2").arg(path, reason);
        return Refused;
    };
    QFile file(path);
    if (!file.exists())
        return Absent;
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("cannot be read: %1").arg(file.errorString()));
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &err);
    if (err.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("is not JSON (%1 at byte %2)").arg(err.errorString()).arg(err.offset));
    if (!doc.isObject())
        return refuse(QStringLiteral("is not a JSON object"));
    const QJsonObject obj = doc.object();
    const QJsonValue commands = obj.value("commands");
    if (commands.isUndefined())
        return refuse(QStringLiteral("names no command mode (\"commands\": \"real\", \"log\" or \"record\")"));
    const CommandRunner::Mode* mode = nullptr;
    for (const auto& known : kModes)
        if (commands.toString() == QLatin1String(known.name))
            mode = &known.mode;
    if (!mode)
        return refuse(QStringLiteral("names an unknown command mode %1 (\"real\", \"log\" or \"record\")")
                          .arg(commands.isString() ? QStringLiteral("\"%1\"").arg(commands.toString())
                                                   : QStringLiteral("that is no text")));
    for (const char* key : {"root", "serial"})
        if (obj.contains(key) && !obj.value(key).isString())
            return refuse(QStringLiteral("gives \"%1\" as something other than text").arg(key));

    CommandRunner::setMode(*mode);
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
    return Applied;
}
