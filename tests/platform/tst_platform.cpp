// The platform seams: recorded and logged commands, mapped system paths, clock, exit, the platform file and the locks.
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

#include "commandrunner.h"
#include "devices.h"
#include "diskreserve.h"
#include "diskwrite.h"
#include "instancelock.h"
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

        // The mount table writes blanks, tabs and backslashes as octal escapes; points compare
        // exactly, so an unread escape is a disk that never seems mounted.
        TestSupport::writeSysFile("/proc/mounts",
                                  "/dev/sda2 / ext4 rw 0 0\n"
                                  "/dev/sdb1 /mnt/USB\\040DISK vfat rw 0 0\n"
                                  "/dev/sdc1 /mnt1\\134x\\011 vfat rw 0 0\n"
                                  "/dev/sdd1 /mnt2\\04 vfat rw 0 0\n");
        QVector<QPair<QString, QString>> table;
        QVERIFY(ReadMountTable(table));
        QCOMPARE(table.size(), 4);
        QCOMPARE(table[1].second, QString("/mnt/USB DISK"));
        QCOMPARE(table[2].second, QString("/mnt1\\x\t"));
        QCOMPARE(table[3].second, QString("/mnt2\\04"));  // too short for an escape: kept
        QVERIFY(IsMountPoint("/mnt/USB DISK") && !IsMountPoint("/mnt/USB"));
    }

    // Only a file that says what it wants is applied; anything else is refused whole, so that
    // a typo never leaves the commands real on a development machine.
    void platformFileIsAppliedOrRefusedWhole()
    {
        QDir().mkpath("platform-dir.json");                  // there, but no file to read
        QVERIFY(::mkfifo("platform-fifo.json", 0600) == 0);  // opening it to read would wait for a writer
        const struct
        {
            const char* name;
            QByteArray text;
            PlatformConfig::Outcome outcome;
            CommandRunner::Mode mode;
            const char* reason;
        } cases[] = {
            {"absent.json", QByteArray(), PlatformConfig::Absent, CommandRunner::Record, ""},
            {"log.json", R"({"commands": "log", "serial": "/tmp/pts-sim", "root": "/tmp/fake-root"})",
             PlatformConfig::Applied, CommandRunner::Log, ""},
            {"real.json", R"({"commands": "real"})", PlatformConfig::Applied, CommandRunner::Real, ""},
            {"empty.json", "{}", PlatformConfig::Refused, CommandRunner::Record, "names no command mode"},
            {"text.json", "not json", PlatformConfig::Refused, CommandRunner::Record, "is not JSON"},
            {"array.json", R"(["log"])", PlatformConfig::Refused, CommandRunner::Record, "is not a JSON object"},
            {"case.json", R"({"commands": "LOG"})", PlatformConfig::Refused, CommandRunner::Record,
             "unknown command mode \"LOG\""},
            {"number.json", R"({"commands": 1})", PlatformConfig::Refused, CommandRunner::Record,
             "unknown command mode"},
            {"root.json", R"({"commands": "log", "root": 5})", PlatformConfig::Refused, CommandRunner::Record,
             "\"root\""},
            // Of the wrong kind, a listening address or a port binds every interface or the panel's.
            {"l5.json", R"({"commands": "log", "listen": 5})", PlatformConfig::Refused, CommandRunner::Record,
             "\"listen\""},
            {"la.json", R"({"commands": "log", "listen": ["127.0.0.1"]})", PlatformConfig::Refused, CommandRunner::Record,
             "\"listen\""},
            {"lx.json", R"({"commands": "log", "listen": "localhost:x"})", PlatformConfig::Refused,
             CommandRunner::Record, "\"listen\""},
            {"pm.json", R"({"commands": "log", "ports": "many"})", PlatformConfig::Refused, CommandRunner::Record,
             "\"ports\""},
            {"pt.json", R"({"commands": "log", "ports": {"api": "18100"}})", PlatformConfig::Refused,
             CommandRunner::Record, "\"api\""},
            {"pb.json", R"({"commands": "log", "ports": {"modbus": 70000}})", PlatformConfig::Refused,
             CommandRunner::Record, "\"modbus\""},
            {"p0.json", R"({"commands": "log", "ports": {"peer": 0}})", PlatformConfig::Refused, CommandRunner::Record,
             "\"peer\""},
            {"platform-dir.json", QByteArray(), PlatformConfig::Refused, CommandRunner::Record,
             "is not a regular file"},
            {"platform-fifo.json", QByteArray(), PlatformConfig::Refused, CommandRunner::Record,
             "is not a regular file"},
            {"big.json", "{\"commands\": \"log\", \"pad\": \"" + QByteArray(64 * 1024, 'x') + "\"}",
             PlatformConfig::Refused, CommandRunner::Record, "is larger than 64 KiB"},
        };
        const QString oldRoot = SystemPaths::root();
        for (const auto& c : cases) {
            if (!c.text.isNull()) {
                QFile f(c.name);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(c.text);
            }
            QString why;
            const PlatformConfig::Outcome outcome = PlatformConfig::load(c.name, &why);
            const CommandRunner::Mode mode = CommandRunner::mode();
            const QString root = SystemPaths::root();
            const QString serial = SystemPaths::serialDevice(1);
            CommandRunner::setMode(CommandRunner::Record);
            SystemPaths::setRoot(oldRoot);
            SystemPaths::setSerialDevice(QString());
            QVERIFY2(outcome == c.outcome, c.name);
            QVERIFY2(mode == c.mode, c.name);
            QVERIFY2(why.contains(c.reason) && why.startsWith(c.name) == (outcome == PlatformConfig::Refused),
                     qPrintable(why));
            if (qstrcmp(c.name, "log.json") == 0) {
                QCOMPARE(serial, QString("/tmp/pts-sim"));
                QCOMPARE(root, QString("/tmp/fake-root"));
            } else {
                QCOMPARE(root, oldRoot);  // a refused file sets nothing
            }
        }
    }

    // Off the panel a logged restart or power-off ends the program from the event loop, after
    // the stop flush and then the workers' stop, with the code ./run.sh reads; record mode and
    // other commands end nothing.
    void logModeEndsTheProgramForARestartOrPowerOff()
    {
        CommandRunner::setProcessStart([](const CommandCall&, int, bool) { return CommandResult(); });
        QStringList order;
        PlatformExit::setStopFlush([&order] { order << "flush"; });
        PlatformExit::setStopWorkers([&order] { order << "workers"; });
        PlatformExit::setHandler([&order](int) { order << "exit"; });
        const int before = PlatformExit::callCount();
        const struct
        {
            CommandRunner::Mode mode;
            const char* line;
            int code;  // 0: the program goes on
        } cases[] = {
            {CommandRunner::Log, "reboot", kExitRestart},
            {CommandRunner::Log, "sync; reboot", kExitRestart},
            {CommandRunner::Log, "bash -c 'init 6'", kExitRestart},
            {CommandRunner::Log, "shutdown -r now", kExitRestart},
            {CommandRunner::Log, "init 0", kExitPowerOff},
            {CommandRunner::Log, "poweroff", kExitPowerOff},
            {CommandRunner::Log, "sync", 0},
            {CommandRunner::Log, "hwclock --systohc", 0},
            {CommandRunner::Record, "reboot", 0},
        };
        for (const auto& c : cases) {
            CommandRunner::setMode(c.mode);
            order.clear();
            const int calls = PlatformExit::callCount();
            CommandRunner::runLine(c.line);
            CommandRunner::runLine(c.line);     // asked twice, ends once
            QCoreApplication::processEvents();  // as start-up does between its steps
            order << "returned";
            QEventLoop loop;  // the end waits for a running event loop
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
            QCOMPARE(PlatformExit::callCount() - calls, c.code ? 1 : 0);
            if (c.code) {
                QVERIFY2(PlatformExit::lastCode() == c.code, c.line);
                QCOMPARE(order, QStringList({"returned", "flush", "workers", "exit"}));
            }
        }
        QVERIFY(PlatformExit::callCount() - before == 6);
        PlatformExit::setStopFlush(nullptr);
        PlatformExit::setStopWorkers(nullptr);
        PlatformExit::setHandler([](int code) { qWarning("Exit(%d) called", code); });
    }

    // The fixture keeps every test on loopback and off the fixed ports, and says so.
    void testsListenOnlyOnLoopbackAtFreePorts()
    {
        QCOMPARE(NetPorts::current().listen, QString("127.0.0.1"));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        server.close();
        QVERIFY(TestSupport::takeRefusedListens().isEmpty());
        QVERIFY(!server.listen(QHostAddress::Any, 0));
        QVERIFY(!server.listen(QHostAddress::LocalHost, NetPorts::kModbusDefault));
        QVERIFY(!server.listen(QHostAddress::LocalHost, NetPorts::kApiDefault));
        const QStringList refused = TestSupport::takeRefusedListens();
        QCOMPARE(refused.size(), 3);
        QVERIFY2(refused.first().endsWith(":0") && refused.last() == "127.0.0.1:10100", qPrintable(refused.join(' ')));
    }

    // A lock holds while its holder lives, whoever it is, and the kernel frees it when the
    // holder dies; the serial device's lock lies under the mapped root, never the host's /run.
    void locksLastAsLongAsTheirHolder()
    {
        const QString device = TestSupport::workDir() + "/pts-board";
        const QString serialLock = InstanceLock::serialLockPath(device);
        QVERIFY2(serialLock.startsWith(TestSupport::sysRoot() + "/run/lock/"), qPrintable(serialLock));
        const QString oldRoot = SystemPaths::root();
        SystemPaths::setRoot(QString());
        const QString unmapped = InstanceLock::serialLockPath(device);
        CommandRunner::setMode(CommandRunner::Real);
        const QString panel = InstanceLock::serialLockPath("/dev/ttyS0");
        CommandRunner::setMode(CommandRunner::Record);
        SystemPaths::setRoot(oldRoot);
        QVERIFY2(!unmapped.startsWith('/'), qPrintable(unmapped));  // in the working folder
        QCOMPARE(panel, QString("/run/lock/monitor-serial-dev_ttyS0.lock"));

        QDir().mkpath(QFileInfo(serialLock).absolutePath());
        for (const QString& file : {QString("monitor.lock"), serialLock}) {
            QProcess holder;
            holder.start("flock", {"-F", file, "sleep", "60"});  // the lock stays with the one process
            QVERIFY(holder.waitForStarted());
            QTRY_VERIFY(QProcess::execute("flock", {"-n", file, "true"}) != 0);
            QString why;
            const bool held =
                file == serialLock ? InstanceLock::holdSerialDevice(device, &why) : InstanceLock::holdWorkFolder(&why);
            QVERIFY(!held);
            QVERIFY2(why.contains("already runs") && why.contains(file == serialLock ? device : QDir::currentPath()),
                     qPrintable(why));
            holder.kill();  // SIGKILL: no clean-up of its own
            holder.waitForFinished();
        }
        QString why;
        QVERIFY2(InstanceLock::holdWorkFolder(&why) && InstanceLock::holdSerialDevice(device, &why), qPrintable(why));
        QCOMPARE(QProcess::execute("flock", {"-n", "monitor.lock", "true"}), 1);  // held for good
        QFile pid("monitor.lock");
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(pid.readAll().trimmed().toLongLong(), qint64(QCoreApplication::applicationPid()));
    }

    // A whole-file write is written only when the disk took all of it, the close included (where
    // some file systems first tell a full disk): a replaced file is then left as it was.
    void wholeFileWritesCountTheirClose()
    {
        const auto lift = qScopeGuard([] { SetDiskCloseFailure({}); });
        QCOMPARE(ReplaceWholeFile("kept.ini", "old"), 0);
        SetDiskCloseFailure([](const QString&) { return ENOSPC; });
        QCOMPARE(WriteWholeFile("whole.ini", "new"), ENOSPC);
        QCOMPARE(ReplaceWholeFile("kept.ini", "new"), ENOSPC);
        QFile kept("kept.ini");
        QVERIFY(kept.open(QIODevice::ReadOnly) && !QFile::exists("kept.ini.part"));
        QCOMPARE(kept.readAll(), QByteArray("old"));
    }

    // The stop's room on a disk that fills. The note's page stays once it stood on the disk (a
    // note needs no new room); the last note is read before the room is taken again; a room
    // written only in part is given back; a start without room takes it once the disk has it;
    // where not even a page could be kept, the next start still learns that no room was held.
    void stopReserveKeepsItsPage()
    {
        using namespace DiskReserve;
        const QStringList lost{"statistics", "records 3"};
        const auto lift = qScopeGuard([] {
            SetDiskWriteFailure({});
            ResetForTest();
        });
        auto size = [] { return QFileInfo(kFile).size(); };
        auto full = [](const QString&) { return ENOSPC; };
        QVERIFY(Take() && size() == kBytes);
        Release();
        QCOMPARE(size(), kNoteBytes);
        QVERIFY(NoteLosses(lost) && size() == kNoteBytes);
        ResetForTest();  // the next start
        QVERIFY(Take());
        QCOMPARE(LastStopLosses(), lost);

        // Full at the next start (the page written in place, the room not), full at its stop.
        Release();
        ResetForTest();
        int writes = 0;
        SetDiskWriteFailure([&writes](const QString&) { return ++writes > 1 ? ENOSPC : 0; });
        QVERIFY(!Take() && !TakeIfMissing() && size() == kNoteBytes);
        SetDiskWriteFailure(full);
        QVERIFY(!NoteLosses(lost) && size() == kNoteBytes);
        ResetForTest();
        QCOMPARE(LastStopLosses(), QStringList(kNoRoomHeld));
        SetDiskWriteFailure({});
        QVERIFY(TakeIfMissing() && Held() && size() == kBytes);

        // The disk takes only part of the room (here the process's file size limit).
        Release();
        ResetForTest();
        rlimit was{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &was) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = was;
        small.rlim_cur = kBytes / 8;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool took = Take();
        setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!took && size() == kNoteBytes);

        // No page ever: the empty file the start made tells the next start, unless its stop
        // lost nothing.
        for (const QStringList& stopLost : {lost, QStringList()}) {
            QVERIFY(QFile::remove(kFile));
            ResetForTest();
            SetDiskWriteFailure(full);
            QVERIFY(!Take());
            Release();
            QCOMPARE(NoteLosses(stopLost), stopLost.isEmpty());
            ResetForTest();
            QCOMPARE(LastStopLosses(), stopLost.isEmpty() ? QStringList() : QStringList(kNoRoomHeld));
        }
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
