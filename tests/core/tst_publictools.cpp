// Public tools: device identity, interface addresses with the route repair, address texts, ports.
#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>

#include <QRegularExpression>

#include "commandrunner.h"
#include "netif.h"
#include "platformclock.h"
#include "publictools.h"
#include "systempaths.h"
#include "testsupport.h"

namespace {

const QByteArray kRouteHeader = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const QByteArray kLanRoute = "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
const QByteArray kDefaultRoute = "eth1\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";

struct IfResult
{
    int status = 0;
    char ip[16] = "unset";
    char mask[16] = "unset";
    char gateway[16] = "unset";
    char mac[18] = "unset";
};

IfResult queryIf(const char* name)
{
    IfResult r;
    QByteArray n(name);
    r.status = GetIfAddr(n.data(), r.ip, r.mask, r.gateway, r.mac);
    return r;
}

}  // namespace

class TestPublicTools : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
        NetIf::clearRecordedRouteChanges();
        PlatformClock::resetNow();
        QFile::remove(SysPath("/proc/cpuinfo"));
        QFile::remove(SysPath("/proc/net/route"));
    }

    void deviceIdFromCpuSerialLastLineWins()
    {
        TestSupport::writeSysFile("/proc/cpuinfo", "processor\t: 0\nSerial\t\t: 00000000abcdef12\nHardware\t: X\n");
        QCOMPARE(getlocal_deviceid(), QString("00000000abcdef12"));
        TestSupport::writeSysFile("/proc/cpuinfo", "Serial : 1111\nmodel : y\nSerial : 2222;33-abc\n\n");
        QCOMPARE(getlocal_deviceid(), QString("abc"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    void deviceIdFromExt4UuidOfBlkid()
    {
        TestSupport::writeSysFile("/proc/cpuinfo", "processor\t: 0\nmodel name\t: test cpu\n");
        CommandRunner::addAnswer("blkid", 0,
                                 "/dev/sda: PTUUID=\"5e2b\" PTTYPE=\"gpt\"\n"
                                 "/dev/sda1: UUID=\"7A1B-2C3D\" BLOCK_SIZE=\"512\" TYPE=\"vfat\"\n"
                                 "/dev/sda2: UUID=\"1b4e28ba-2fa1-11d2-883f-0016d3cca427\" BLOCK_SIZE=\"4096\" "
                                 "TYPE=\"ext4\" PARTUUID=\"aa-01\"\n"
                                 "\n"
                                 "/dev/sdb: UUID=\"dead-beefbeefbeef\" TYPE=\"ext4\" PTTYPE=\"dos\"\n");
        QCOMPARE(found_diskuuid_by_blkid(), QString("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));
        QCOMPARE(getlocal_deviceid(), QString("0016d3cca427"));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"bash -c blkid", "bash -c blkid"}));
        const CommandCall call = CommandRunner::calls().first();
        QCOMPARE(call.program, QString("bash"));
        QCOMPARE(call.args, QStringList({"-c", "blkid"}));
    }

    void deviceIdFallsBackToStartTime()
    {
        const QDateTime fixed = QDateTime::fromMSecsSinceEpoch(1700000000123LL);
        PlatformClock::setNow(fixed);
        // No cpuinfo at all: no blkid either.
        QCOMPARE(getlocal_deviceid(), QString("1700000000123"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
        // cpuinfo without a serial and blkid without an ext4 partition.
        TestSupport::writeSysFile("/proc/cpuinfo", "processor\t: 0\n");
        CommandRunner::addAnswer("blkid", 0, "/dev/sda1: UUID=\"7A1B-2C3D\" TYPE=\"vfat\"\n");
        QCOMPARE(getlocal_deviceid(), QString("1700000000123"));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"bash -c blkid"}));
    }

    void gatewayFromRouteTable()
    {
        TestSupport::writeSysFile("/proc/net/route", kRouteHeader + kLanRoute + kDefaultRoute);
        const IfResult r = queryIf("lo");
        QCOMPARE(r.status, 0);
        QCOMPARE(QString(r.ip), QString("127.0.0.1"));
        QCOMPARE(QString(r.mask), QString("255.0.0.0"));
        QCOMPARE(QString(r.mac), QString("00:00:00:00:00:00"));
        QCOMPARE(QString(r.gateway), QString("192.168.1.1"));
        QVERIFY(NetIf::recordedRouteChanges().isEmpty());
    }

    void missingDefaultRouteIsRepairedThroughSeam()
    {
        TestSupport::writeSysFile("/proc/net/route", kRouteHeader + kLanRoute);
        IfResult r = queryIf("lo");
        QCOMPARE(r.status, 0);
        QCOMPARE(QString(r.gateway), QString("127.0.0.1"));
        QCOMPARE(NetIf::recordedRouteChanges(), QStringList({"route del default", "route add default gw 127.0.0.1"}));

        // "No such route" on the delete still adds; any other refusal or a failed add is -8.
        NetIf::clearRecordedRouteChanges();
        NetIf::scriptRouteResults({-ESRCH, 0});
        QCOMPARE(queryIf("lo").status, 0);
        QCOMPARE(NetIf::recordedRouteChanges().size(), 2);

        NetIf::clearRecordedRouteChanges();
        NetIf::scriptRouteResults({-EPERM});
        r = queryIf("lo");
        QCOMPARE(r.status, -8);
        QCOMPARE(QString(r.gateway), QString("unset"));
        QCOMPARE(NetIf::recordedRouteChanges(), QStringList({"route del default"}));

        NetIf::clearRecordedRouteChanges();
        NetIf::scriptRouteResults({0, -EPERM});
        QCOMPARE(queryIf("lo").status, -8);
    }

    void interfaceFailures()
    {
        TestSupport::writeSysFile("/proc/net/route", kRouteHeader + kDefaultRoute);
        TestSupport::clearCapturedMessages();
        // 16 characters do not fit the kernel's name field: refused before any request.
        IfResult r = queryIf("abcdefghijklmnop");
        QCOMPARE(r.status, -2);
        QCOMPARE(QString(r.mac), QString("unset"));
        QCOMPARE(TestSupport::capturedMessages(), QStringList({"ioctl SIOCGIFHWADDR error"}));
        QCOMPARE(queryIf(std::string(300, 'x').c_str()).status, -2);
        QCOMPARE(queryIf("nosuchif0").status, -2);
        QFile::remove(SysPath("/proc/net/route"));
        r = queryIf("lo");
        QCOMPARE(r.status, -6);
        QCOMPARE(QString(r.ip), QString("127.0.0.1"));  // filled before the failure
        QCOMPARE(QString(r.gateway), QString("unset"));
        QCOMPARE(TestSupport::capturedMessages().size(), 3);  // only the -2 refusals are logged
        QVERIFY(NetIf::recordedRouteChanges().isEmpty());
    }

    void addressTexts()
    {
        QString ip = "192.168.1.10";
        QVERIFY(setIPLast(ip, 200));
        QCOMPARE(ip, QString("192.168.1.200"));
        ip = "192.168.1";
        QVERIFY(!setIPLast(ip, 5));
        QCOMPARE(ip, QString("192.168.1"));

        QCOMPARE(getSubNet("192.168.5.77", "255.255.255.0"), QString("192.168.5.0"));
        QCOMPARE(getSubNet("10.20.30.40", "255.240.0.0"), QString("10.16.0.0"));
        QVERIFY(getSubNet("192.168.5.77", "255.255.0").isEmpty());
        QVERIFY(getSubNet("192.168.x.77", "255.255.255.0").isEmpty());

        unsigned char mac[6] = {0xaa, 0x0b, 0xcc, 0x0d, 0xee, 0x0f};
        QCOMPARE(QString::fromStdString(ethaddr2string(mac)), QString("aa:0b:cc:0d:ee:0f"));
        unsigned char out[6] = {1, 2, 3, 4, 5, 6};
        QCOMPARE(string2ethaddr("aa:bb:cc:dd:ee", out), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 6), QByteArray("\x01\x02\x03\x04\x05\x06", 6));
        QCOMPARE(string2ethaddr("AA:0b:zz:1:ee:ff", out), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 6), QByteArray("\xaa\x0b\x00\x01\xee\xff", 6));

        QCOMPARE(QString::fromStdString(nint2string(htonl(0xC0A80105))), QString("192.168.1.5"));
    }

    void uniqueNamesPortsAndClock()
    {
        PlatformClock::setNow(QDateTime(QDate(2024, 1, 5), QTime(8, 15, 0, 7)));
        const QString name = new_uuid();
        QVERIFY2(QRegularExpression("^SC_#[0-9a-f]{8}_#20240105_081500007$").match(name).hasMatch(), qPrintable(name));
        QVERIFY(new_uuid() != name);

        for (int i = 0; i < 20000; ++i) {
            const int port = RandPort();
            QVERIFY(port >= kRandPortMin && port <= 0xffff);
            QVERIFY(port < kReservedPortFirst || port > kReservedPortLast);
        }

        PlatformClock::setNow(QDateTime::fromMSecsSinceEpoch(20000012345LL));
        QCOMPARE(gettimeofday_ms(), 20000012345LL);
        QCOMPARE(curtime_qint64_2_int(), 1234);
        PlatformClock::setNow(QDateTime::fromMSecsSinceEpoch(9999999999LL));
        QCOMPARE(curtime_qint64_2_int(), 999999999);
        PlatformClock::setNow(QDateTime::fromMSecsSinceEpoch(10000000000LL));
        QCOMPARE(curtime_qint64_2_int(), 0);
    }

    void nonBlockingSockets()
    {
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        QCOMPARE(set_socket_nonblock(fds[0]), 0);
        QVERIFY(::fcntl(fds[0], F_GETFL) & O_NONBLOCK);
        ::close(fds[0]);
        ::close(fds[1]);
        QCOMPARE(set_socket_nonblock(fds[0]), -1);
    }
};

MONITOR_TEST_MAIN(TestPublicTools)
#include "tst_publictools.moc"
