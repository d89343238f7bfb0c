// Steerable wall clock, monotonic clock and sleep.
#include "platformclock.h"

#include <atomic>

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

namespace {
QMutex gClockMutex;
QDateTime gFixedNow;
qint64 gOffsetMs = 0;
std::atomic<qint64> gMonotonicExtra{0};
std::function<void(int)> gSleepHook;
double gSleepScale = 1.0;

QElapsedTimer& monotonicBase()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}
}  // namespace

QDateTime PlatformClock::now()
{
    QMutexLocker lock(&gClockMutex);
    if (gFixedNow.isValid())
        return gFixedNow;
    return QDateTime::currentDateTime().addMSecs(gOffsetMs);
}

void PlatformClock::setNow(const QDateTime& fixed)
{
    QMutexLocker lock(&gClockMutex);
    gFixedNow = fixed;
}

void PlatformClock::setOffsetMs(qint64 offsetMs)
{
    QMutexLocker lock(&gClockMutex);
    gFixedNow = QDateTime();
    gOffsetMs = offsetMs;
}

void PlatformClock::resetNow()
{
    QMutexLocker lock(&gClockMutex);
    gFixedNow = QDateTime();
    gOffsetMs = 0;
}

qint64 PlatformClock::monotonicMs()
{
    return monotonicBase().elapsed() + gMonotonicExtra.load();
}

void PlatformClock::advanceMonotonic(qint64 ms)
{
    gMonotonicExtra += ms;
}

void PlatformClock::sleepMs(int ms)
{
    std::function<void(int)> hook;
    double scale;
    {
        QMutexLocker lock(&gClockMutex);
        hook = gSleepHook;
        scale = gSleepScale;
    }
    if (hook) {
        hook(ms);
        return;
    }
    const int real = int(ms * scale);
    if (real > 0)
        QThread::msleep(real);
}

void PlatformClock::setSleepHook(std::function<void(int)> hook)
{
    QMutexLocker lock(&gClockMutex);
    gSleepHook = std::move(hook);
}

void PlatformClock::setSleepScale(double scale)
{
    QMutexLocker lock(&gClockMutex);
    gSleepScale = scale < 0 ? 0 : scale;
}
