// The only way the program ends itself; tests replace the handler.
#pragma once

#include <functional>

void Exit(int code);

class PlatformExit
{
public:
    // The handler runs instead of ending the process; empty restores ::exit.
    static void setHandler(std::function<void(int)> handler);
    // Runs first on every Exit (the watchdog flag is cleared there).
    static void setBeforeExit(std::function<void()> hook);
    static int lastCode();  // -1 until Exit was called
    static int callCount();
};
