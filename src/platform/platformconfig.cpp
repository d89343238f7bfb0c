// platform.json reader.
#include "platformconfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

#include "commandrunner.h"
#include "systempaths.h"

namespace {

constexpr int kMaxPort = 65535;
// A platform file is a few lines; anything bigger is no platform file.
constexpr qint64 kMaxFileBytes = 64 * 1024;

// The file's bytes; the reason it is refused when it is no regular file of bounded size or
// cannot be read. Opened without waiting, so that a FIFO or a device refuses instead of
// blocking the start for ever.
QString readBounded(const QString& path, QByteArray& text)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    QString why;
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        why = QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("is not a regular file");
    else if (st.st_size > kMaxFileBytes)
        why = QStringLiteral("is larger than %1 KiB").arg(kMaxFileBytes / 1024);
    text.resize(int(kMaxFileBytes) + 1);
    qint64 got = 0;
    while (why.isEmpty() && got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, size_t(text.size() - got));
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            why = QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        else
            got += n;
    }
    ::close(fd);
    if (why.isEmpty() && got > kMaxFileBytes)
        why = QStringLiteral("is larger than %1 KiB").arg(kMaxFileBytes / 1024);
    text.resize(int(got));
    return why;
}

const struct
{
    const char* name;
    CommandRunner::Mode mode;
} kModes[] = {{"real", CommandRunner::Real}, {"log", CommandRunner::Log}, {"record", CommandRunner::Record}};

// Takes the port under `key` when given; false when it is no whole number from 1 to kMaxPort.
bool readPort(const QJsonObject& ports, const char* key, int& port)
{
    if (!ports.contains(key))
        return true;
    const QJsonValue value = ports.value(key);
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < 1 || number > kMaxPort)
        return false;
    port = int(number);
    return true;
}

// Where the network services listen and the ports, as the file gives them over the ones
// before; the reason when a value is of the wrong kind (a listening address that is no
// address would bind every interface or none, a port of the wrong kind the panel's) or a name
// is unknown (a typo would leave the panel's port in force without a word).
QString readNetPorts(const QJsonObject& obj, NetPorts& net)
{
    if (obj.contains("listen")) {
        const QJsonValue listen = obj.value("listen");
        const QString text = listen.toString();
        QHostAddress address;
        // The address parser forgives blanks around it; the servers that bind it do not.
        if (!listen.isString() || text.trimmed() != text || !address.setAddress(text))
            return QStringLiteral("gives \"listen\" as something other than an IP address");
        net.listen = address.toString();
    }
    if (!obj.contains("ports"))
        return QString();
    if (!obj.value("ports").isObject())
        return QStringLiteral("gives \"ports\" as something other than an object");
    const QJsonObject ports = obj.value("ports").toObject();
    const struct
    {
        const char* key;
        int& port;
    } kPorts[] = {{"api", net.api}, {"peer", net.peer}, {"modbus", net.modbus}};
    const QString known = QStringLiteral("\"api\", \"peer\" or \"modbus\"");
    if (ports.isEmpty())
        return QStringLiteral("gives \"ports\" without a port (%1)").arg(known);
    for (auto it = ports.begin(); it != ports.end(); ++it)
        if (std::none_of(std::begin(kPorts), std::end(kPorts),
                         [&it](const auto& p) { return it.key() == QLatin1String(p.key); }))
            return QStringLiteral("names an unknown port \"%1\" (%2)").arg(it.key(), known);
    for (const auto& p : kPorts)
        if (!readPort(ports, p.key, p.port))
            return QStringLiteral("gives the port \"%1\" as something other than a whole number from 1 to %2")
                .arg(QLatin1String(p.key))
                .arg(kMaxPort);
    return QString();
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
    if (!QFile::exists(path))
        return Absent;
    QByteArray text;
    const QString unread = readBounded(path, text);
    if (!unread.isEmpty())
        return refuse(unread);
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &err);
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
    NetPorts net = NetPorts::current();
    const QString wrongNet = readNetPorts(obj, net);
    if (!wrongNet.isEmpty())
        return refuse(wrongNet);

    CommandRunner::setMode(*mode);
    if (obj.contains("root"))
        SystemPaths::setRoot(obj.value("root").toString());
    if (obj.contains("serial"))
        SystemPaths::setSerialDevice(obj.value("serial").toString());
    NetPorts::current() = net;
    return Applied;
}
