// Calls from the lower layers up to the main window, through functions the window installs.
#pragma once

#include <functional>

// Outputs of the IO board by their role in the cycle (the bits of the board's output word).
constexpr int kClampOut = 0;  // holds the machine until the mould is judged
constexpr int kEjectorOut = 1;
constexpr int kAlarmOut = 2;
constexpr int kOutput4 = 3;
// Inputs of the IO board by their role (input 0 and the trigger inputs are set by parameters).
constexpr int kDoorInput = 1;  // the safety door
constexpr int kEjectorBackInput = 2;
constexpr int kReserveInput = 3;

// Closes PARAM.db and RECORD.db before files are replaced or the machine goes down; does
// nothing while no window installed the hook.
void FlushAll();
void SetFlushAllHook(std::function<void()> hook);

// A camera view lost its camera; the window reacts before the view reconnects.
void ReportLostCamera();
void SetLostCameraHook(std::function<void()> hook);

// Board outputs set from below the window (the product-count alarm box): output n on (1) or
// off (0), then the changed word handed to the IO thread. Nothing happens while no window
// installed them.
void SetBoardOutput(int output, int on);
void FlushBoardOutputs();
void SetBoardOutputHooks(std::function<void(int output, int on)> set, std::function<void()> flush);

class QObject;

// What a camera view asks of the main window. Each member stays empty while no window
// installed it (a view tested alone); the view then does nothing more.
struct ViewHooks
{
    // A press on any view: the button bar's hide timer restarts; on the main or result page
    // the bar expands, or comes back unless the settings page is shown.
    std::function<void()> touched;
    // From a view of the window: the zoomed picture pans with the pointer, now at (x, y).
    std::function<void(const QObject* view, int x, int y)> pan;
    // From a view of the window: the views are laid out again for viewCamera.
    std::function<void(const QObject* view)> layOut;
    // The settings page is shown (the camera setters then follow its copy of the parameters).
    std::function<bool()> settingsShown;
};
void SetViewHooks(ViewHooks hooks);
const ViewHooks& ViewToWindow();

// What the teaching page asks of the main window. Each member may be empty (no window, or a
// test that leaves it out); the page then skips that call.
struct TeachingHooks
{
    std::function<void()> changeCammer;  // lays the views out for viewCamera
    std::function<int()> checkPassword;  // 0 refused, else the granted level
    // The operator's answers on the alarm page, carried out by the cycle on its own state:
    // the current step's cameras not yet passed owe a result again and are judged, then the
    // step with the operator's answer (not counted);
    std::function<void()> redetectStep;
    // the current step's cameras waiting on the alarm are taken as not detected and the step
    // is judged again (not counted).
    std::function<void()> clearStepAlarm;
    std::function<void(int, int)> setOutput;  // output n on (1) or off (0), sent by flushOutputs
    std::function<void()> flushOutputs;
    std::function<void()> backTrain;  // leaves the re-sampling after the page
    std::function<void()> zoomToMin;  // the zoom slider back to its minimum
    std::function<void(bool)> showStatusStrip;
    std::function<void(bool)> showButtonBar;
    std::function<void(bool)> showHelpButton;
    std::function<void(bool)> showVersion;
    std::function<void()> showHelpPage;
};
void SetTeachingHooks(TeachingHooks hooks);
const TeachingHooks& Teaching();
