// The only way the program ends itself; tests replace the handler.
#pragma once

#include <functional>

// Exit codes beside 0 (a normal end). ./run.sh reads the last two: off the panel a logged
// "reboot" ends the program with kExitRestart, and the demo starts it again; a logged power-off
// ends it with kExitPowerOff, and the demo ends.
constexpr int kExitPlatformFile = 2;    // platform.json is there but cannot be trusted
constexpr int kExitAnotherMonitor = 3;  // another monitor holds the working folder or the IO board
constexpr int kExitRestart = 10;
constexpr int kExitPowerOff = 11;

void Exit(int code);

// An end asked for while a step runs (off the panel, a logged "reboot"): once that step has
// returned and the event loop runs (not in the middle of start-up), PlatformExit::stop(code).
// Further requests before it ends count as the same one.
void RequestExit(int code);

// A normal end (a stop signal, a logged restart or power-off, the settings screen's exit) goes
// through PlatformExit::stop: first what must reach the disk, then the worker threads end, and
// only then Exit, so that no thread works on while the process tears down its globals.
class PlatformExit
{
public:
    // What must reach the disk: start-up saves the statistics, syncs the counters and closes
    // the databases here.
    static void setStopFlush(std::function<void()> flush);
    // What ends the worker threads, after the flush: start-up stops the servers and joins
    // the threads here. It returns only when none of them runs.
    static void setStopWorkers(std::function<void()> stopWorkers);
    // The stop flush, the workers' stop, then Exit(code).
    static void stop(int code);
    // The handler runs instead of ending the process; empty restores ::exit.
    static void setHandler(std::function<void(int)> handler);
    // Runs first on every Exit (the watchdog flag is cleared there).
    static void setBeforeExit(std::function<void()> hook);
    static int lastCode();  // -1 until Exit was called
    static int callCount();
};
