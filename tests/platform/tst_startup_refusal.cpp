// Starts that must not happen: a platform file that cannot be trusted, a second monitor on a folder or a board.
// ctest-timeout: 120
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "commandrunner.h"
#include "controlport.h"
#include "globals.h"
#include "instancelock.h"
#include "logmanager.h"
#include "platformexit.h"
#include "splashframe.h"
#include "startup.h"
#include "systempaths.h"
#include "testsupport.h"

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text);
}

// Every file under dir, relative to it.
QStringList filesUnder(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

QByteArray logText(const QString& dir)
{
    QByteArray text;
    for (const QString& name : filesUnder(dir))
        if (name.startsWith(kLogDir + 2)) {
            QFile f(dir + "/" + name);
            if (f.open(QIODevice::ReadOnly))
                text += f.readAll();
        }
    return text;
}

struct Run
{
    int code = -1;
    QByteArray err;
};

// The program itself, started in dir as ./run.sh starts it.
Run startMonitor(const QString& dir)
{
    QProcess monitor;
    monitor.setWorkingDirectory(dir);
    monitor.start(QCoreApplication::applicationDirPath() + "/monitor", QStringList());
    Run run;
    if (!monitor.waitForFinished(30000)) {
        monitor.kill();
        monitor.waitForFinished();
        return run;
    }
    run.code = monitor.exitStatus() == QProcess::NormalExit ? monitor.exitCode() : -1;
    run.err = monitor.readAllStandardError();
    return run;
}

// A process that holds the lock file until it is killed.
void hold(QProcess& holder, const QString& file)
{
    holder.start("flock", {"-F", file, "sleep", "60"});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY(QProcess::execute("flock", {"-n", file, "true"}) != 0);
}

}  // namespace

class TestStartUpRefusal : public QObject
{
    Q_OBJECT

private slots:
    // The program reads the file before anything else: a refused one ends it with the reason on
    // standard error and in its log folder, and nothing else happens, no command either.
    void untrustedPlatformFileStopsTheProgram()
    {
        // Each with a word of its reason.
        const QList<QPair<QByteArray, QByteArray>> files{
            {"{}", "no command mode"}, {"not json", "not JSON"}, {R"({"commands": "LOG"})", "unknown command mode"},
            {R"({"commands": "log", "root": 5})", "\"root\""}, {R"({"commands": "log", "listen": 5})", "\"listen\""},
            {R"({"commands": "log", "listen": "127.0.0.1 "})", "\"listen\""},
            {R"({"commands": "log", "ports": {}})", "without a port"},
            {R"({"commands": "log", "ports": {"api": 18100, "apl": 18101}})", "unknown port \"apl\""},
            {R"({"commands": "log", "ports": {"api": 8080.5}})", "port \"api\""}};
        for (const auto& [text, reason] : files) {
            const QString dir = TestSupport::workDir() + "/untrusted";
            QDir(dir).removeRecursively();
            writeFile(dir + "/platform.json", text);
            const Run run = startMonitor(dir);
            QCOMPARE(run.code, kExitPlatformFile);
            QVERIFY2(run.err.startsWith("monitor not started: platform.json ") && run.err.contains(reason),
                     run.err.constData());
            QVERIFY2(logText(dir).contains(run.err.trimmed()), logText(dir).constData());
            const QStringList left = filesUnder(dir);
            QCOMPARE(left.size(), 2);  // the file and the log line
            QVERIFY2(left.first().startsWith("cnt_net/workspace/log/ERROR_"), qPrintable(left.join(' ')));

            // The same start inside this process, in record mode: no command was even asked for.
            QDir::setCurrent(dir);
            CommandRunner::clearCalls();
            char arg0[] = "monitor";
            char* argv[] = {arg0, nullptr};
            int argc = 1;
            QCOMPARE(StartUp(argc, argv), kExitPlatformFile);
            QDir::setCurrent(TestSupport::workDir());
            QCOMPARE(CommandRunner::callTexts(), QStringList());
            QCOMPARE(CommandRunner::mode(), CommandRunner::Record);
            QVERIFY(!g_splashframe && !LogManager::__instance);
        }
    }

    // A second monitor in the same folder, or in another folder on the same board, refuses
    // before it opens a database or the board; once the first one is gone it would start.
    void secondMonitorRefusesWhileTheFirstRuns()
    {
        const QString root = TestSupport::sysRoot();
        const QString board = TestSupport::workDir() + "/pts-board";
        const QByteArray platform =
            QString(R"({"commands": "record", "root": "%1", "serial": "%2"})").arg(root, board).toUtf8();
        const QString first = TestSupport::workDir() + "/first";
        const QString second = TestSupport::workDir() + "/second";
        for (const QString& dir : {first, second}) writeFile(dir + "/platform.json", platform);
        const QString serialLock = InstanceLock::serialLockPath(board);
        QDir().mkpath(QFileInfo(serialLock).absolutePath());

        const struct
        {
            QString lock;
            QString dir;
            QString says;
        } cases[] = {
            {first + "/monitor.lock", first, "already runs in this working folder (" + first + ")"},
            {serialLock, second, "already runs on the IO board at " + board},
        };
        for (const auto& c : cases) {
            QProcess holder;
            hold(holder, c.lock);
            const QStringList before = filesUnder(c.dir);
            const Run run = startMonitor(c.dir);
            QCOMPARE(run.code, kExitAnotherMonitor);
            QVERIFY2(run.err.contains(c.says.toUtf8()), run.err.constData());
            QVERIFY2(logText(c.dir).contains(run.err.trimmed()), logText(c.dir).constData());
            // No database, no board, no screen: only the log line is new (and the folder's lock
            // file, where the folder was free).
            QStringList added = filesUnder(c.dir);
            for (const QString& name : before + QStringList("monitor.lock")) added.removeAll(name);
            QVERIFY2(added.size() == 1 && added.first().startsWith("cnt_net/workspace/log/ERROR_"),
                     qPrintable(added.join(' ')));
            holder.kill();  // the kernel frees the lock with its holder
            holder.waitForFinished();
            QCOMPARE(QProcess::execute("flock", {"-n", c.lock, "true"}), 0);
        }
    }

    // The monitor holding the folder is another user's: the refused one (not allowed to signal
    // it) still names it by its process, not merely as another process.
    void anotherUsersMonitorIsNamed()
    {
        QTemporaryDir shared(QDir::tempPath() + "/monitor-shared-XXXXXX");
        const QString dir = shared.path();
        QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0777) == 0);
        writeFile(dir + "/platform.json", R"({"commands": "record"})");
        QProcess holder;
        hold(holder, dir + "/monitor.lock");
        const qint64 holding = holder.processId();
        writeFile(dir + "/monitor.lock", QByteArray::number(holding) + "\n");
        QVERIFY(::chmod(QFile::encodeName(dir + "/monitor.lock").constData(), 0666) == 0);
        QProcess monitor;
        monitor.setWorkingDirectory(dir);
        monitor.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                  QCoreApplication::applicationDirPath() + "/monitor"});
        QVERIFY(monitor.waitForFinished(30000));
        const QByteArray err = monitor.readAllStandardError();
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(monitor.exitCode(), kExitAnotherMonitor);
        QVERIFY2(err.contains(QString("another monitor (process %1) already runs").arg(holding).toUtf8()),
                 err.constData());
    }

    // On the panel the board's device follows a stored parameter, so the board link takes its
    // lock: a device another monitor holds ends this one before the port opens.
    void boardLinkLocksThePanelsDevice()
    {
        const QString device = SystemPaths::serialDevice(0);  // no device named by a platform file
        QProcess holder;
        hold(holder, InstanceLock::serialLockPath(device));
        gpCom = nullptr;
        const int exits = PlatformExit::callCount();
        ComInit();
        QCOMPARE(PlatformExit::callCount(), exits + 1);
        QCOMPARE(PlatformExit::lastCode(), kExitAnotherMonitor);
        QVERIFY(!gpCom);
        holder.kill();
        holder.waitForFinished();
        ComInit();
        QCOMPARE(PlatformExit::callCount(), exits + 1);
        QVERIFY(gpCom);  // opened now, on a device that is not there
    }

    // Two runtime folders, each mapping a root of its own, name one board (a pseudo-terminal):
    // their lock files never meet, the device does. This process takes the first folder and
    // the board with the monitor's own locks; a monitor started in either folder refuses.
    // (Last: the locks stay with this process.)
    void secondMonitorMeetsTheLocksOfTheFirst()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        char name[128] = {};
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 &&
                ::ptsname_r(master, name, sizeof name) == 0);
        const QString board = QString::fromLatin1(name);
        const QString first = TestSupport::workDir() + "/own-root-first";
        const QString second = TestSupport::workDir() + "/own-root-second";
        for (const QString& dir : {first, second})
            writeFile(
                dir + "/platform.json",
                QString(R"({"commands": "record", "root": "%1/sysroot", "serial": "%2"})").arg(dir, board).toUtf8());

        const QString oldRoot = SystemPaths::root();
        QDir::setCurrent(first);
        SystemPaths::setRoot(first + "/sysroot");
        QString why;
        const bool held = InstanceLock::holdWorkFolder(&why) && InstanceLock::holdSerialDevice(board, &why);
        SystemPaths::setRoot(oldRoot);
        QDir::setCurrent(TestSupport::workDir());
        QVERIFY2(held, qPrintable(why));

        const struct
        {
            QString dir;
            QString says;
        } cases[] = {
            {first, "already runs in this working folder (" + first + ")"},
            {second, "already runs on the IO board at " + board},
        };
        for (const auto& c : cases) {
            const Run run = startMonitor(c.dir);
            QCOMPARE(run.code, kExitAnotherMonitor);
            QVERIFY2(run.err.contains(c.says.toUtf8()), run.err.constData());
        }
        ::close(master);
    }
};

MONITOR_TEST_MAIN(TestStartUpRefusal)
#include "tst_startup_refusal.moc"
