// Start-up on the development desktop: no network-card script and no camera wait, straight to the main window.
#include <functional>

#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include "commandrunner.h"
#include "factoryfixture.h"
#include "globals.h"
#include "mainwindowrig.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "splashframe.h"
#include "startup.h"
#include "testsupport.h"

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
    void desktopStartSkipsTheWaits()
    {
        QVERIFY(FactoryFixture::writeAll());
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
    }
};

MONITOR_TEST_MAIN(TestStartUpDesktop)
#include "tst_startup_desktop.moc"
