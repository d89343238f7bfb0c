// Calls from the lower layers up to the main window, through functions the window installs.
#pragma once

#include <functional>

// Closes PARAM.db and RECORD.db before files are replaced or the machine goes down; does
// nothing while no window installed the hook.
void FlushAll();
void SetFlushAllHook(std::function<void()> hook);

// A camera view lost its camera; the window reacts before the view reconnects.
void ReportLostCamera();
void SetLostCameraHook(std::function<void()> hook);

// What the teaching page asks of the main window. Each member may be empty (no window, or a
// test that leaves it out); the page then skips that call.
struct TeachingHooks
{
    std::function<void()> changeCammer;          // lays the views out for viewCamera
    std::function<int()> checkPassword;          // 0 refused, else the granted level
    std::function<void()> resetRun;              // countdowns and step back to the start
    std::function<void(int, int)> runAlgorithm;  // judges camera's current picture of a step
    std::function<void(bool)> checkNG;           // the judgement of the current step
    std::function<void(int, int)> setOutput;     // output n on (1) or off (0), sent by flushOutputs
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
