// Process exit through one replaceable function.
#include "platformexit.h"

#include <atomic>
#include <cstdlib>

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

namespace {
QMutex gExitMutex;
std::function<void(int)> gExitHandler;
std::function<void()> gBeforeExit;
std::atomic<int> gLastCode{-1};
std::atomic<int> gCalls{0};
std::function<void()> gStopFlush;
std::function<void()> gStopWorkers;
std::atomic<bool> gExitRequested{false};
// A requested end waits for the event loop: start-up only processes events between its steps.
constexpr int kLoopWaitMs = 10;

void exitWhenLoopRuns(int code)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread()->loopLevel() == 0) {
        QTimer::singleShot(kLoopWaitMs, app, [code] { exitWhenLoopRuns(code); });
        return;
    }
    PlatformExit::stop(code);
    gExitRequested = false;  // only reached where Exit returns (a test's handler)
}
}  // namespace

void Exit(int code)
{
    gLastCode = code;
    ++gCalls;
    std::function<void(int)> handler;
    std::function<void()> before;
    {
        QMutexLocker lock(&gExitMutex);
        handler = gExitHandler;
        before = gBeforeExit;
    }
    if (before)
        before();
    if (handler) {
        handler(code);
        return;
    }
    std::exit(code);
}

void PlatformExit::setHandler(std::function<void(int)> handler)
{
    QMutexLocker lock(&gExitMutex);
    gExitHandler = std::move(handler);
}

int PlatformExit::lastCode()
{
    return gLastCode;
}

int PlatformExit::callCount()
{
    return gCalls;
}

void PlatformExit::setBeforeExit(std::function<void()> hook)
{
    QMutexLocker lock(&gExitMutex);
    gBeforeExit = std::move(hook);
}

void RequestExit(int code)
{
    if (gExitRequested.exchange(true))
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        exitWhenLoopRuns(code);
        return;
    }
    // Posted to the GUI thread also when asked from another thread.
    QTimer::singleShot(0, app, [code] { exitWhenLoopRuns(code); });
}

void PlatformExit::setStopFlush(std::function<void()> flush)
{
    QMutexLocker lock(&gExitMutex);
    gStopFlush = std::move(flush);
}

void PlatformExit::setStopWorkers(std::function<void()> stopWorkers)
{
    QMutexLocker lock(&gExitMutex);
    gStopWorkers = std::move(stopWorkers);
}

void PlatformExit::stop(int code)
{
    std::function<void()> flush;
    std::function<void()> stopWorkers;
    {
        QMutexLocker lock(&gExitMutex);
        flush = gStopFlush;
        stopWorkers = gStopWorkers;
    }
    if (flush)
        flush();
    if (stopWorkers)
        stopWorkers();
    Exit(code);
}
