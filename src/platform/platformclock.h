// The wall clock, the monotonic clock and sleeping, all of which tests can steer.
#pragma once

#include <functional>

#include <QDateTime>

class PlatformClock
{
public:
    // Wall clock: the real time plus an offset, or a fixed time while one is set.
    static QDateTime now();
    static void setNow(const QDateTime& fixed);  // freeze the wall clock at this time
    static void setOffsetMs(qint64 offsetMs);    // run the real clock shifted
    static void resetNow();

    // Monotonic milliseconds since an arbitrary start; tests may add to it.
    static qint64 monotonicMs();
    static void advanceMonotonic(qint64 ms);

    // Every deliberate wait of the program; tests can shorten or replace it.
    static void sleepMs(int ms);
    static void setSleepHook(std::function<void(int)> hook);  // empty restores the real sleep
    static void setSleepScale(double scale);                  // 0.01 makes a 1 s sleep 10 ms
};
