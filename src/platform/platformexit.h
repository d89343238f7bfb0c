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

class PlatformExit
{
public:
    // What runs before a requested end or a stop signal: start-up closes the databases here.
    static void setStopFlush(std::function<void()> flush);
    // The stop flush, then Exit(code).
    static void stop(int code);
    // The handler runs instead of ending the process; empty restores ::exit.
    static void setHandler(std::function<void(int)> handler);
    // Runs first on every Exit (the watchdog flag is cleared there).
    static void setBeforeExit(std::function<void()> hook);
    static int lastCode();  // -1 until Exit was called
    static int callCount();
};
