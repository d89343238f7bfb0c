// The replaceable calls up to the main window.
#include "windowhooks.h"

namespace {

std::function<void()>& flushHook()
{
    static std::function<void()> hook;
    return hook;
}

std::function<void()>& lostCameraHook()
{
    static std::function<void()> hook;
    return hook;
}

struct BoardOutputHooks
{
    std::function<void(int, int)> set;
    std::function<void()> flush;
};

BoardOutputHooks& boardOutputHooks()
{
    static BoardOutputHooks hooks;
    return hooks;
}

}  // namespace

void SetBoardOutput(int output, int on)
{
    if (boardOutputHooks().set)
        boardOutputHooks().set(output, on);
}

void FlushBoardOutputs()
{
    if (boardOutputHooks().flush)
        boardOutputHooks().flush();
}

void SetBoardOutputHooks(std::function<void(int, int)> set, std::function<void()> flush)
{
    boardOutputHooks() = {std::move(set), std::move(flush)};
}

void FlushAll()
{
    if (flushHook())
        flushHook()();
}

void SetFlushAllHook(std::function<void()> hook)
{
    flushHook() = std::move(hook);
}

void ReportLostCamera()
{
    if (lostCameraHook())
        lostCameraHook()();
}

void SetLostCameraHook(std::function<void()> hook)
{
    lostCameraHook() = std::move(hook);
}

namespace {

ViewHooks& viewHooks()
{
    static ViewHooks hooks;
    return hooks;
}

}  // namespace

void SetViewHooks(ViewHooks hooks)
{
    viewHooks() = std::move(hooks);
}

const ViewHooks& ViewToWindow()
{
    return viewHooks();
}

namespace {

TeachingHooks& teachingHooks()
{
    static TeachingHooks hooks;
    return hooks;
}

}  // namespace

void SetTeachingHooks(TeachingHooks hooks)
{
    teachingHooks() = std::move(hooks);
}

const TeachingHooks& Teaching()
{
    return teachingHooks();
}
