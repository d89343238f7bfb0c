// Device identity, interface addresses and the small text and number helpers.
#include "publictools.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <cstdio>

#include <QDebug>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUuid>

#include "commandrunner.h"
#include "netif.h"
#include "platformclock.h"
#include "systempaths.h"

namespace {

constexpr int kBlkidTimeoutMs = 1000;
constexpr int kRouteLineMax = 256;  // 255 characters and the terminator
constexpr int kDottedBufSize = 16;
constexpr int kMacBufSize = 18;

void copyOut(char* dest, int size, const std::string& text)
{
    if (dest)
        qstrncpy(dest, text.c_str(), size);
}

// The gateway of the first default route in the kernel's route table; false when the table
// lists none or cannot be read (then *readable is false).
bool readDefaultGateway(quint32* gateway, bool* readable)
{
    const QByteArray path = SysPath("/proc/net/route").toLocal8Bit();
    FILE* file = std::fopen(path.constData(), "r");
    *readable = file != nullptr;
    if (!file)
        return false;
    char line[kRouteLineMax];
    bool found = false;
    if (std::fgets(line, sizeof(line), file)) {  // header line
        while (std::fgets(line, sizeof(line), file)) {
            char ifname[kRouteLineMax];
            unsigned int dest = 0;
            unsigned int gw = 0;
            if (std::sscanf(line, "%255s %x %x", ifname, &dest, &gw) == 3 && dest == 0) {
                *gateway = gw;
                found = true;
                break;
            }
        }
    }
    std::fclose(file);
    return found;
}

}  // namespace

QString getlocal_deviceid()
{
    QString id = QString::number(PlatformClock::now().toMSecsSinceEpoch());
    const QString cpuinfo = SysPath("/proc/cpuinfo");
    if (!QFile::exists(cpuinfo))
        return id;

    QFile file(cpuinfo);
    QString text;
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    static const QRegularExpression serialRx("^Serial\\s+:\\s+(\\S+)");
    bool matched = false;
    for (const QString& line : text.split("\n")) {
        const QRegularExpressionMatch m = serialRx.match(line);
        if (m.hasMatch()) {
            id = m.captured(1);
            matched = true;
        }
    }
    if (!matched) {
        const QString uuid = found_diskuuid_by_blkid();
        if (!uuid.isEmpty())
            id = uuid;
    }
    id.remove(';');
    return id.split("-").last();
}

QString found_diskuuid_by_blkid()
{
    qInfo() << "found_diskuuid_by_blkid";
    const CommandResult r = CommandRunner::run("bash", {"-c", "blkid"}, kBlkidTimeoutMs);
    static const QRegularExpression uuidRx("^.*\\s+UUID=\"(\\S+)\".*");
    QString result;
    for (const QString& line : QString::fromUtf8(r.output).split("\n", Qt::SkipEmptyParts)) {
        const QStringList parts = line.split("TYPE=", Qt::SkipEmptyParts);
        if (parts.size() != 2 || !parts[1].contains("ext4"))
            continue;
        const QRegularExpressionMatch m = uuidRx.match(line);
        if (m.hasMatch())
            result = m.captured(1);
    }
    qInfo() << "end"
            << "found_diskuuid_by_blkid";
    return result;
}

int GetIfAddr(char* name, char* ip, char* mask, char* gateway, char* mac)
{
    int fd = NetIf::openSocket();
    if (fd < 0) {
        qWarning() << "socket error";
        return -1;
    }
    unsigned char hw[6] = {};
    if (NetIf::hardwareAddress(fd, name, hw) != 0) {
        NetIf::closeSocket(fd);
        qWarning() << "ioctl SIOCGIFHWADDR error";
        return -2;
    }
    copyOut(mac, kMacBufSize, ethaddr2string(hw));

    quint32 addr = 0;
    if (NetIf::address(fd, name, &addr) != 0) {
        NetIf::closeSocket(fd);
        return -4;
    }
    copyOut(ip, kDottedBufSize, nint2string(addr));

    quint32 netmask = 0;
    if (NetIf::netmask(fd, name, &netmask) != 0) {
        NetIf::closeSocket(fd);
        return -5;
    }
    copyOut(mask, kDottedBufSize, nint2string(netmask));
    NetIf::closeSocket(fd);

    quint32 gw = 0;
    bool readable = false;
    const bool found = readDefaultGateway(&gw, &readable);
    if (!readable)
        return -6;
    if (!found) {
        // Without a default route the peers cannot be reached: route through our own address.
        fd = NetIf::openSocket();
        if (fd < 0)
            return -7;
        int last = NetIf::deleteDefaultRoute(fd);
        if ((last == 0 || last == -ESRCH) && addr != 0)
            last = NetIf::addDefaultRoute(fd, addr);
        NetIf::closeSocket(fd);
        if (last != 0)
            return -8;
        gw = addr;
    }
    copyOut(gateway, kDottedBufSize, nint2string(gw));
    return 0;
}

std::string ethaddr2string(unsigned char* mac)
{
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5])
        .toStdString();
}

int string2ethaddr(const QString& text, unsigned char* mac)
{
    const QStringList parts = text.split(":");
    if (parts.size() != 6)
        return 0;
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<unsigned char>(parts[i].toUInt(nullptr, 16) & 0xff);
    return 0;
}

std::string nint2string(unsigned int addr)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a;
    a.s_addr = addr;
    ::inet_ntop(AF_INET, &a, text, sizeof(text));
    return text;
}

int set_socket_nonblock(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return -1;
    return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

int RandPort()
{
    for (;;) {
        const int port = static_cast<int>(QRandomGenerator::global()->generate() & 0xffff);
        if (port >= kRandPortMin && (port < kReservedPortFirst || port > kReservedPortLast))
            return port;
    }
}

QString new_uuid()
{
    const QStringList groups = QUuid::createUuid().toString().split("-");
    QString first = groups.isEmpty() ? QString("0") : groups.first();
    first.remove('{');
    return QString("SC_#%1_#%2").arg(first, PlatformClock::now().toString("yyyyMMdd_hhmmsszzz"));
}

bool setIPLast(QString& ip, int last)
{
    QStringList parts = ip.split(".");
    if (parts.size() != 4)
        return false;
    parts[3] = QString::number(last);
    ip = parts.join(".");
    return true;
}

QString getSubNet(const QString& ip, const QString& mask)
{
    const QStringList a = ip.split(".");
    const QStringList m = mask.split(".");
    if (a.size() != 4 || m.size() != 4)
        return QString();
    QStringList net;
    for (int i = 0; i < 4; ++i) {
        bool okA = false;
        bool okM = false;
        const int va = a[i].toInt(&okA, 10);
        const int vm = m[i].toInt(&okM, 10);
        if (!okA || !okM)
            return QString();
        net << QString::number(va & vm);
    }
    return net.join(".");
}

qint64 gettimeofday_ms()
{
    return PlatformClock::now().toMSecsSinceEpoch();
}

int curtime_qint64_2_int()
{
    return static_cast<int>((gettimeofday_ms() / 10) % 1000000000);
}
