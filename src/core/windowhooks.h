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
