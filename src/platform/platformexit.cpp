// Process exit through one replaceable function.
#include "platformexit.h"

#include <atomic>
#include <cstdlib>

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex gExitMutex;
std::function<void(int)> gExitHandler;
std::function<void()> gBeforeExit;
std::atomic<int> gLastCode{-1};
std::atomic<int> gCalls{0};
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
