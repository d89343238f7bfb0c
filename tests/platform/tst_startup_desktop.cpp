// Start-up on the development desktop: no network-card script and no camera wait, straight to the main window, which
// tells what the last stop could not write.
#include <atomic>
#include <cerrno>
#include <functional>

#include <QFileInfo>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include "commandrunner.h"
#include "diskreserve.h"
#include "diskwrite.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "mojuwizard.h"
#include "operatorboxes.h"
#include "platformclock.h"
#include "splashframe.h"
#include "startup.h"
#include "testsupport.h"
#include "textids.h"
#include "warnbox.h"

namespace {

class SplashWatch : public QObject
{
public:
    explicit SplashWatch(std::function<void()> onSplash) : onSplash(std::move(onSplash)) {}

protected:
    bool eventFilter(QObject*, QEvent*) override
    {
        if (g_splashframe && onSplash) {
            auto call = std::move(onSplash);
            onSplash = nullptr;
            call();
        }
        return false;
    }

private:
    std::function<void()> onSplash;
};

}  // namespace

class TestStartUpDesktop : public QObject
{
    Q_OBJECT

private slots:
    // The disk is full when it starts: the last stop's note is read, and told once the window
    // and RECORD.db stand; the room for the next stop is taken as soon as the disk has it.
    void desktopStartSkipsTheWaits()
    {
        QVERIFY(FactoryFixture::writeAll());
        QVERIFY(DiskReserve::NoteLosses({"counters", "records 2"}));
        DiskReserve::ResetForTest();
        std::atomic<int> asked{0};
        SetDiskWriteFailure([&asked](const QString& path) {
            if (!path.endsWith(DiskReserve::kFile))
                return 0;
            ++asked;
            return ENOSPC;
        });
        MainWindowRig::writeSimCameras(MainWindowRig::oneRealLookingCamera());
        CommandRunner::addAnswer(TestSupport::kPluginPathProbe, 0, "/opt/Qt5.15.7/plugins/platforms\n");

        // Every report processes events: the first event seen once the splash exists starts
        // the watch of its progress.
        QList<int> steps;
        QPointer<SplashFrame> splash;
        SplashWatch watch([&] {
            splash = g_splashframe;
            steps << g_splashframe->curValue;
            connect(g_splashframe->progressBar, &QProgressBar::valueChanged, this, [&](int v) { steps << v; });
        });
        qApp->installEventFilter(&watch);
        int waitedMs = 0;
        PlatformClock::setSleepHook([&](int ms) {
            if (!gpWin && QThread::currentThread() == qApp->thread())
                waitedMs += ms;
        });
        TestSupport::quitWhenLoopRuns();
        char arg0[] = "tst_startup_desktop";
        char* argv[] = {arg0, nullptr};
        int argc = 1;
        QCOMPARE(StartUp(argc, argv), 0);
        PlatformClock::setSleepHook(nullptr);
        qApp->removeEventFilter(&watch);

        QCOMPARE(steps, QList<int>({0, 50, 60, 71, 75, 80, 85, 90, 100}));
        QCOMPARE(waitedMs, 0);
        QCOMPARE(CommandRunner::callTexts(), QStringList({QString("bash -c ") + TestSupport::kPluginPathProbe,
                                                          QString("notify-send 监视器已开启")}));
        QVERIFY(!splash);
        QVERIFY(gpWin && gpWin->isFullScreen());

        const QString told =
            LanStr(kTextLostAtStop).arg(LanStr(kTextLostCounters) + ", " + LanStr(kTextLostRecords).arg(2));
        QTRY_VERIFY(OperatorNoticeBox() && OperatorNoticeBox()->isVisible());
        QCOMPARE(OperatorNoticeBox()->text(), told);
        QVERIFY(MainWindowRig::recordRows().contains(told + "|info"));
        QVERIFY(!DiskReserve::Held());
        const int atStart = asked;
        QTRY_VERIFY_WITH_TIMEOUT(asked > atStart, 20000);  // looked again while the disk was full
        SetDiskWriteFailure({});
        QTRY_VERIFY_WITH_TIMEOUT(DiskReserve::Held(), 20000);
        QCOMPARE(QFileInfo(DiskReserve::kFile).size(), DiskReserve::kBytes);
    }
};

MONITOR_TEST_MAIN(TestStartUpDesktop)
#include "tst_startup_desktop.moc"
