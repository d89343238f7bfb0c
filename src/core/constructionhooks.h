// What the layers above the main window add to it while it is built: start-up (the
// composition root) fills these before it creates the window, and the window's constructor
// calls each at its step. An empty hook leaves the window without that part.
#pragma once

#include <functional>

class QWidget;

// The window finds its pages among its children by class name: the settings screen the
// pages hook creates is of this class.
inline constexpr const char* kSettingsPageClass = "WizardParaWidget";

struct ConstructionHooks
{
    // After the camera count check: the network servers the window holds (the Modbus server).
    std::function<void(QWidget* window)> servers;
    // After the teaching page: the settings screen, the help, camera-numbering and IO-naming
    // pages, children of the window in this order, each created hidden.
    std::function<void(QWidget* window)> pages;
    // After the zoom slider: the IO-naming page initialised, the hardware page created; every
    // page hidden (the password box follows).
    std::function<void(QWidget* window)> pagesReady;
    // Once the failure-image buffers exist: the failure-image writer thread.
    std::function<void(QWidget* window)> failureImages;
    // After the record date is known, before detection starts: the statistics model and
    // screen with their connections to the window.
    std::function<void(QWidget* window)> statistics;
    // The button bar's statistics button: shows the statistics page over the whole window.
    // Without it the bar has no statistics button.
    std::function<void()> showStatistics;
    // Last: the USB image copier, the disk watcher and the export signals.
    std::function<void(QWidget* window)> disks;
};

void SetConstructionHooks(ConstructionHooks hooks);
const ConstructionHooks& Construction();
// Calls one hook when it is set.
void CallConstructionHook(const std::function<void(QWidget*)>& hook, QWidget* window);
