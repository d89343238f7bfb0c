// Start-up sequence: the development-desktop probe, then one whole start on the panel path.
#include <csignal>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMutex>
#include <QPointer>
#include <QProgressBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include "commandrunner.h"
#include "controlport.h"
#include "copy2movedisk.h"
#include "factoryfixture.h"
#include "globals.h"
#include "httpapiserver.h"
#include "iothread.h"
#include "logmanager.h"
#include "mainwindowrig.h"
#include "modbusserver.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "platformconfig.h"
#include "platformexit.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "savefialimagethread.h"
#include "splashframe.h"
#include "startup.h"
#include "testsupport.h"
#include "tnr_netmn.h"

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
    }

    void developmentDesktopIsTheExactPluginPath()
    {
        const struct
        {
            QByteArray output;
            bool development;
        } cases[] = {
            {"/opt/Qt5.15.7/plugins/platforms\n", true},    {"/opt/Qt5.15.7/plugins/platforms", true},
            {"/opt/Qt5.15.7/plugins/platforms \n", false},  {"/opt/qt5.15.7/plugins/platforms\n", false},
            {"\n/opt/Qt5.15.7/plugins/platforms\n", false}, {"", false},
        };
        for (const auto& c : cases) {
            CommandRunner::clearAnswers();
            CommandRunner::addAnswer(TestSupport::kPluginPathProbe, 0, c.output);
            QVERIFY2(isOpen_Env() == c.development, c.output.constData());
        }
        const CommandCall probe = CommandRunner::calls().first();
        QCOMPARE(probe.program, QString("bash"));
        QCOMPARE(probe.args, QStringList({"-c", TestSupport::kPluginPathProbe}));
    }

    void panelStartShowsEveryStepInOrder()
    {
        TestSupport::writeSysFile("/proc/version", QByteArray("Linux version 6.1.0\0rest", 24));
        TestSupport::writeSysFile("/proc/cpuinfo", "Serial\t\t: 00000000feedbeef\n");
        QVERIFY(FactoryFixture::writeAll());
        MainWindowRig::writeSimCameras(MainWindowRig::oneRealLookingCamera());
        QDir().mkpath("cnt_net");
        QFile config("cnt_net/config.json");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"devicename": "M7", "device_workapifunc": true})");
        config.close();

        QTcpServer probe;  // a port known to the clients of the stop below
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        NetPorts::current().modbus = probe.serverPort();
        probe.close();

        QList<int> steps;
        QPointer<SplashFrame> splash;
        QStringList waitTexts;
        int waitedMs = 0;
        PlatformClock::setSleepHook([&](int ms) {
            // The waits of start-up itself; the IO thread polls through the same clock.
            if (gpWin || QThread::currentThread() != qApp->thread())
                return;
            if (steps.isEmpty()) {
                splash = g_splashframe;
                steps << g_splashframe->curValue;
                connect(g_splashframe->progressBar, &QProgressBar::valueChanged, this, [&](int v) { steps << v; });
            }
            waitedMs += ms;
            waitTexts << g_splashframe->findChild<QLabel*>("loadlabel")->text();
        });
        TestSupport::quitWhenLoopRuns();
        char arg0[] = "tst_startup";
        char* argv[] = {arg0, nullptr};
        int argc = 1;
        const int result = StartUp(argc, argv);
        PlatformClock::setSleepHook(nullptr);

        QCOMPARE(result, 0);
        // The main window reports 71 to 90 while it is built.
        QCOMPARE(steps, QList<int>({0,  6,  7,  8,  9,  10, 15, 18, 21, 23, 26, 29, 31,
                                    34, 37, 39, 42, 50, 60, 71, 75, 80, 85, 90, 100}));
        QCOMPARE(waitedMs, 15000);
        QCOMPARE(waitTexts.first(), QString("启动..."));
        QCOMPARE(waitTexts[1], QString("配置网卡中..."));
        QCOMPARE(waitTexts.last(), QString("等待相机开启..."));
        QVERIFY(!splash);  // finished on the main window and deleted by the event loop
        QVERIFY(!g_splashframe);
        QCOMPARE(CommandRunner::callTexts(),
                 QStringList({QString("bash -c ") + TestSupport::kPluginPathProbe,
                              "python3 ./cnt_net/zelkq30_upnetcard.py &", "notify-send 监视器已开启"}));

        // The network-card script runs detached, its output kept in the companion-output folder.
        const CommandCall netcard = CommandRunner::calls().at(1);
        QVERIFY(netcard.detached && netcard.shell);
        QVERIFY2(netcard.outputFile.startsWith(QString(kLogStdoutDir) + "upnetcard_"), qPrintable(netcard.outputFile));
        QVERIFY(QDir(kLogStdoutDir).exists());

        QCOMPARE(linux_kernel_proc_version, QString("Linux version 6.1.0"));
        QCOMPARE(gfLED, -1);
        QCOMPARE(gDeviceID, QString("00000000feedbeef"));

        // The main window is up full-screen with its camera, the IO thread runs, the
        // version file carries the camera count and the network services read their switches.
        QVERIFY(gpWin && gpWin->isFullScreen() && gpWin->isVisible());
        QCOMPARE(numCamera, 1);
        QVERIFY(gpControlIO->ioThread && gpControlIO->ioThread->isRunning());
        QVERIFY(config.open(QIODevice::ReadOnly));
        const QJsonObject written = QJsonDocument::fromJson(config.readAll()).object();
        QCOMPARE(written.value("version").toString(), QString("18.0.1.67"));
        QCOMPARE(written.value("camcount").toInt(), 1);
        QCOMPARE(written.value("devicename").toString(), QString("M7"));
        QCOMPARE(TNR_NETMN::getInstance()->devicename, QString("M7"));
        QVERIFY(TNR_NETMN::getInstance()->device_workapifunc);
        QVERIFY(pMutexIO && pMutexSaveFail && pMutex[7] && phttpMutex[7]);
        QCOMPARE(gaLanStr[652 * kLanColumns + 1], QString("complete"));
        QVERIFY(gpPixmapMove[6] && !gpPixmapMove[6]->isNull());  // the painted pictures are in place
        QVERIFY(LogManager::__instance);
        QByteArray log;
        for (const QString& name : QDir(kLogDir).entryList({"LOG_*.log"}, QDir::Files)) {
            QFile f(QString(kLogDir) + name);
            if (f.open(QIODevice::ReadOnly))
                log += f.readAll();
        }
        QVERIFY(log.contains("*********************** application 18.0.1.67 ***********************"));
    }

    // After a start: SIGTERM and Ctrl-C flush, end through Exit(0) and leave no error behind,
    // so the next start archives the run as a plain one. By then every worker has ended, also
    // with clients connected to both servers: none may run on while the process tears down.
    void stopSignalsAreANormalEnd()
    {
        QVERIFY(LogManager::__instance);
        ModbusServer* modbus = gpWin->modbusServer.data();
        HttpApiServer* api = TNR_NETMN::getInstance()->apiServer;
        QVERIFY(modbus && modbus->listening() && api && api->listening());
        QList<QSharedPointer<QTcpSocket>> clients;
        for (int port : {int(NetPorts::current().modbus), api->port()}) {
            for (int i = 0; i < 8; ++i) {
                clients << QSharedPointer<QTcpSocket>::create();
                clients.last()->connectToHost(QHostAddress::LocalHost, quint16(port));
                QVERIFY(clients.last()->waitForConnected(5000));
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(modbus->connections() == 8 && api->connections() == 8, 10000);
        // The IO thread and the copier linger after their stop is asked, as a loop in a slow
        // write would, and the statistics database thread is busy when its end comes: the end
        // waits for them. The copier is told from the disk watcher, the other pool thread of
        // 50 ms pauses, by the watcher's pauses while the copier is stopped.
        QThread* io = gpControlIO->ioThread;
        std::atomic<bool> database{true};
        Copy2MoveDisk* copier = Copy2MoveDisk::getInstance();
        copier->stopAndWait();
        QMutex watcherMutex;
        QSet<QThread*> watcher;
        bool learning = true;
        PlatformClock::setSleepHook([&](int ms) {
            QThread* self = QThread::currentThread();
            if (self == qApp->thread())
                return;  // the flush's and the watchdog's waits: the lingering is measured against the rest
            if (self == io) {
                while (!io->isInterruptionRequested()) QThread::msleep(1);
                QThread::msleep(2000);
                return;
            }
            if (ms == 50) {
                QMutexLocker lock(&watcherMutex);
                if (learning) {
                    watcher.insert(self);
                } else if (!watcher.contains(self)) {
                    lock.unlock();
                    while (copier->isRunning()) QThread::msleep(1);
                    QThread::msleep(500);
                    if (database.exchange(false))
                        QMetaObject::invokeMethod(
                            ResStatisticsParam::getInstance()->database, [] { QThread::msleep(500); },
                            Qt::QueuedConnection);
                    return;
                }
            }
            QThread::msleep(ulong(ms));
        });
        QTest::qWait(300);
        {
            QMutexLocker lock(&watcherMutex);
            QCOMPARE(watcher.size(), 1);
            learning = false;
        }
        copier->start();
        QStringList running;
        PlatformExit::setHandler([&](int code) {
            qWarning("Exit(%d) called", code);
            const struct
            {
                bool runs;
                const char* what;
            } workers[] = {
                {gpControlIO->ioThread->isRunning(), "IO thread"},
                {gpSaveFialImageThread->isRunning(), "picture writer"},
                {modbus->listening(), "Modbus server"},
                {api->listening() || api->connections() > 0, "HTTP API"},
                {QThreadPool::globalInstance()->activeThreadCount() > 0, "USB copier or disk watcher"},
                {ResStatisticsParam::getInstance()->database->thread()->isRunning(), "statistics database"},
            };
            for (const auto& w : workers)
                if (w.runs)
                    running << w.what;
        });
        // As the start installed it.
        int exits = PlatformExit::callCount();
        QVERIFY(std::raise(SIGTERM) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(PlatformExit::callCount(), exits + 1, 10000);
        QCOMPARE(PlatformExit::lastCode(), 0);
        QVERIFY2(running.isEmpty(), qPrintable(running.join(", ")));
        PlatformClock::setSleepHook(nullptr);
        PlatformExit::setHandler([](int code) { qWarning("Exit(%d) called", code); });
        PlatformExit::setStopWorkers(nullptr);

        int flushes = 0;
        InstallStopSignals([&flushes] { ++flushes; });
        for (int sig : {SIGTERM, SIGINT}) {
            exits = PlatformExit::callCount();
            QVERIFY(std::raise(sig) == 0);
            QTRY_COMPARE_WITH_TIMEOUT(PlatformExit::callCount(), exits + 1, 10000);
            QCOMPARE(PlatformExit::lastCode(), 0);
        }
        QCOMPARE(flushes, 2);
        InstallStopSignals(nullptr);

        QDir logs(kLogDir);
        QVERIFY(logs.entryList({"*.ERROR", "ERROR_*", "FATAL_*"}, QDir::Files | QDir::System).isEmpty());
        LogManager::clearup_cachelogfile();
        QVERIFY(logs.entryList({"*_ERROR_*"}, QDir::Files).isEmpty());
        QCOMPARE(logs.entryList({"*_LOG_*"}, QDir::Files).size(), 1);
    }
};

MONITOR_TEST_MAIN(TestStartUp)
#include "tst_startup.moc"
