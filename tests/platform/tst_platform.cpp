// The platform seams: recorded and logged commands, mapped system paths, clock, exit.
#include <QFile>
#include <QSignalSpy>

#include "commandrunner.h"
#include "devices.h"
#include "platformclock.h"
#include "platformconfig.h"
#include "platformexit.h"
#include "systempaths.h"
#include "testsupport.h"

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    // A failed check returns early: no test may leave log mode or a replaced start behind.
    void cleanup()
    {
        CommandRunner::setMode(CommandRunner::Record);
        CommandRunner::setProcessStart(nullptr);
    }

    void init()
    {
        CommandRunner::setMode(CommandRunner::Record);
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
    }

    void recordModeKeepsOrderAndRunsNothing()
    {
        const QString marker = TestSupport::workDir() + "/must-not-exist";
        QCOMPARE(CommandRunner::runLine("touch " + marker), 0);
        CommandRunner::run("reboot", {});
        CommandRunner::run("date", {"-s", "2024-02-29 23:59:59"});
        CommandRunner::startDetached("notify-send", {"监视器已开启"});
        QCOMPARE(CommandRunner::callTexts(),
                 QStringList({"touch " + marker, "reboot", "date -s 2024-02-29 23:59:59", "notify-send 监视器已开启"}));
        const auto calls = CommandRunner::calls();
        QCOMPARE(calls[2].args, QStringList({"-s", "2024-02-29 23:59:59"}));
        for (const CommandCall& c : calls) QVERIFY(!c.executed);
        QVERIFY(!QFile::exists(marker));
    }

    void recordModeAnswersFromScript()
    {
        CommandRunner::addAnswer("blkid", 0, "UUID=\"1234-abcd\"\n");
        CommandRunner::addAnswer("findmnt", 3);
        const CommandResult r = CommandRunner::shell("blkid /dev/sda1");
        QCOMPARE(r.output, QByteArray("UUID=\"1234-abcd\"\n"));
        QCOMPARE(CommandRunner::run("findmnt", {"-n"}).exitCode, 3);
        QCOMPARE(CommandRunner::run("ls", {}).exitCode, 0);
        QVERIFY(CommandRunner::run("ls", {}).output.isEmpty());
    }

    void asyncCommandAnswersFromEventLoop()
    {
        CommandRunner::addAnswer("ping", 0, "64 bytes from 127.0.0.1\n");
        AsyncCommand cmd;
        QSignalSpy finished(&cmd, &AsyncCommand::sigFinished);
        cmd.start("ping", {"-c", "1", "127.0.0.1"});
        QVERIFY(finished.wait(2000));
        QCOMPARE(cmd.readAll(), QByteArray("64 bytes from 127.0.0.1\n"));
        QCOMPARE(CommandRunner::callTexts().last(), QString("ping -c 1 127.0.0.1"));
    }

    void hostChangingCommandsAreRecognised_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("changes");
        QTest::newRow("reboot") << "reboot" << true;
        QTest::newRow("sync then reboot") << "sync;reboot" << true;
        QTest::newRow("init 0") << "init 0" << true;
        QTest::newRow("clock") << "date -s \"2024-01-01 00:00:00\"" << true;
        QTest::newRow("hwclock") << "hwclock --systohc" << true;
        QTest::newRow("mount") << "mount -t vfat /dev/sdb1 /media/usb" << true;
        QTest::newRow("umount path") << "/bin/umount /media/usb" << true;
        QTest::newRow("ifconfig") << "ifconfig eth0 192.168.1.5" << true;
        QTest::newRow("route") << "route add default gw 10.0.0.1" << true;
        QTest::newRow("ip") << "ip addr flush dev eth0" << true;
        QTest::newRow("netcard script") << "python3 ./cnt_net/zelkq30_upnetcard.py &" << true;
        QTest::newRow("calibration") << "./tsc" << true;
        QTest::newRow("sysfs write") << "echo 1 > /sys/class/backlight/intel_backlight/bl_power" << true;
        QTest::newRow("etc copy") << "cp ./netplan.yaml /etc/netplan/01.yaml" << true;
        QTest::newRow("wifi reset") << "ifconfig wlan0 down \n iwconfig wlan0 mode managed \n ifconfig wlan0 up"
                                    << true;
        QTest::newRow("link up") << "ip link set eth0 up" << true;
        QTest::newRow("abbreviated route add") << "ip r a default via 10.0.0.1" << true;
        QTest::newRow("nested shell") << "bash -c 'sync; reboot'" << true;
        QTest::newRow("subshell") << "(sleep 1; init 6) &" << true;
        QTest::newRow("quoted sysfs") << "echo 0 > \"/sys/class/backlight/x/bl_power\"" << true;
        QTest::newRow("interface list") << "ifconfig" << false;
        QTest::newRow("one interface") << "ifconfig eth0" << false;
        QTest::newRow("address read") << "ip -4 addr show dev eth0" << false;
        QTest::newRow("route read") << "route -n" << false;
        QTest::newRow("clock read") << "date \"+%Y-%m-%d\"" << false;
        QTest::newRow("quiet") << "blkid 2>/dev/null >/dev/null" << false;
        QTest::newRow("sync") << "sync" << false;
        QTest::newRow("local copy") << "cp -r ./a ./b" << false;
        QTest::newRow("blkid") << "blkid -s UUID /dev/sda1" << false;
        QTest::newRow("ping") << "ping -c 1 127.0.0.1" << false;
    }

    void hostChangingCommandsAreRecognised()
    {
        QFETCH(QString, line);
        QFETCH(bool, changes);
        QCOMPARE(CommandRunner::isHostChanging(CommandCall{true, line, "sh", {"-c", line}, false, false, QString()}),
                 changes);
    }

    // Log mode with a start that only records what would have run: a fault in the
    // classification shows here as a host-changing command among the started ones, and
    // still reaches nothing on the machine running the test.
    void logModeStartsOnlyHarmlessCommands()
    {
        static QStringList started;
        started.clear();
        CommandRunner::setProcessStart([](const CommandCall& call, int, bool) {
            started << (call.detached ? "detached: " : "") + call.text;
            return CommandResult();
        });
        CommandRunner::setMode(CommandRunner::Log);
        const QString marker = TestSupport::workDir() + "/log-mode-marker";
        QCOMPARE(CommandRunner::runLine("touch '" + marker + "'"), 0);
        QCOMPARE(CommandRunner::run("reboot", {}).exitCode, 0);
        QCOMPARE(CommandRunner::run("hwclock", {"--systohc"}).exitCode, 0);
        QCOMPARE(CommandRunner::runLine("touch '" + marker + "2'; init 0"), 0);  // the whole line is held back
        const auto calls = CommandRunner::calls();
        QCOMPARE(calls.size(), 4);
        QVERIFY(calls[0].executed);
        QVERIFY(!calls[1].executed && !calls[2].executed && !calls[3].executed);

        QVERIFY(CommandRunner::startDetachedLine("python3 ./cnt_net/zelkq30_upnetcard.py &", "netcard.txt"));
        QVERIFY(CommandRunner::startDetached("notify-send", {"监视器已开启"}));
        CommandRunner::run("ip", {"r", "a", "default", "via", "10.0.0.1"});
        CommandRunner::runLine("date -s \"2024-01-01 00:00:00\"");
        CommandRunner::runLine("echo 0 > /sys/class/backlight/x/bl_power");
        CommandRunner::run("ifconfig", {"eth0"});

        // A long-running host-changing command is held back and logged the same way.
        TestSupport::clearCapturedMessages();
        AsyncCommand cmd;
        QSignalSpy finished(&cmd, &AsyncCommand::sigFinished);
        cmd.start("ifconfig", {"eth0", "down"});
        QVERIFY(finished.wait(2000));
        QCOMPARE(CommandRunner::callTexts().last(), QString("ifconfig eth0 down"));
        QVERIFY(!CommandRunner::calls().last().executed);
        QVERIFY(TestSupport::capturedMessages().join('\n').contains("command not run (log mode): ifconfig eth0 down"));
        cmd.start("ping", {"-c", "1", "127.0.0.1"});
        QVERIFY(finished.wait(2000));

        CommandRunner::setMode(CommandRunner::Record);
        CommandRunner::setProcessStart(nullptr);
        QCOMPARE(started, QStringList({"touch '" + marker + "'", "ifconfig eth0", "ping -c 1 127.0.0.1"}));
        QVERIFY(!QFile::exists(marker));
    }

    // The real start, with harmless commands only: a blocking line and a detached one whose
    // output goes to its file instead of a pipe that closes under it.
    void realStartRunsBlockingAndDetached()
    {
        CommandRunner::setMode(CommandRunner::Log);
        const QString marker = TestSupport::workDir() + "/real-start-marker";
        QCOMPARE(CommandRunner::runLine("touch '" + marker + "'"), 0);
        QVERIFY(QFile::exists(marker));
        const QString out = TestSupport::workDir() + "/detached.txt";
        QVERIFY(CommandRunner::startDetachedLine("echo first-line; echo second-line >&2", out));
        QByteArray text;
        for (int i = 0; i < 200 && !text.contains("second-line"); ++i) {
            QTest::qWait(10);
            QFile f(out);
            if (f.open(QIODevice::ReadOnly))
                text = f.readAll();
        }
        CommandRunner::setMode(CommandRunner::Record);
        QVERIFY2(text.contains("first-line") && text.contains("second-line"), text.constData());
        QVERIFY(CommandRunner::calls().last().detached);
    }

    void systemPathsMapOntoRoot()
    {
        const QString root = TestSupport::sysRoot();
        QVERIFY(!root.isEmpty());
        QCOMPARE(SysPath("/proc/cpuinfo"), root + "/proc/cpuinfo");
        QCOMPARE(SysPath("./relative/file"), QString("./relative/file"));
        QCOMPARE(SystemPaths::serialDevice(3), root + "/dev/ttyS3");
        TestSupport::writeSysFile("/proc/version", "Linux version 6.1.0-1-generic\n");
        QFile f(SysPath("/proc/version"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith("Linux version"));
        QCOMPARE(Devices::openLed(), -1);  // no device under the root
        QCOMPARE(Devices::ledIoctl(-1, 0x5A018B00), -1);
    }

    void platformFileSetsModeSerialAndRoot()
    {
        QFile f("platform-test.json");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"commands": "log", "serial": "/tmp/pts-sim", "root": "/tmp/fake-root"})");
        f.close();
        const QString oldRoot = SystemPaths::root();
        QVERIFY(PlatformConfig::load("platform-test.json"));
        QCOMPARE(CommandRunner::mode(), CommandRunner::Log);
        QCOMPARE(SystemPaths::serialDevice(1), QString("/tmp/pts-sim"));
        QCOMPARE(SysPath("/etc/netplan"), QString("/tmp/fake-root/etc/netplan"));
        SystemPaths::setRoot(oldRoot);
        SystemPaths::setSerialDevice(QString());
        CommandRunner::setMode(CommandRunner::Record);
        QVERIFY(!PlatformConfig::load("no-such-platform.json"));
    }

    void clockAndSleepAreSteerable()
    {
        const QDateTime fixed(QDate(2024, 3, 7), QTime(9, 15, 0));
        PlatformClock::setNow(fixed);
        QCOMPARE(PlatformClock::now(), fixed);
        PlatformClock::resetNow();
        QVERIFY(qAbs(PlatformClock::now().secsTo(QDateTime::currentDateTime())) < 5);

        const qint64 before = PlatformClock::monotonicMs();
        PlatformClock::advanceMonotonic(11000);
        QVERIFY(PlatformClock::monotonicMs() - before >= 11000);

        int asked = 0;
        PlatformClock::setSleepHook([&](int ms) { asked += ms; });
        PlatformClock::sleepMs(1000);
        PlatformClock::setSleepHook(nullptr);
        QCOMPARE(asked, 1000);
    }

    void exitGoesThroughHandler()
    {
        int got = -1;
        bool before = false;
        PlatformExit::setBeforeExit([&] { before = true; });
        PlatformExit::setHandler([&](int code) { got = code; });
        Exit(7);
        QCOMPARE(got, 7);
        QVERIFY(before);
        QCOMPARE(PlatformExit::lastCode(), 7);
        PlatformExit::setBeforeExit(nullptr);
    }
};

MONITOR_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
