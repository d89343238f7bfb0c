// The application object: first look at every touch, automatic logout, screen wake and the calibration hold.
#include "mapplication.h"

#include <QDebug>
#include <QEvent>

#include "cameramanager.h"
#include "commandrunner.h"
#include "globals.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "mainstate.h"
#include "platformclock.h"
#include "textids.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"

QString ts_create;
QString ts_firstpress;
QString ts_calibrate;
int ts_calibrate_times = 0;

namespace {

// Touch screens deliver one press to the window and again to the widget under it within
// a few milliseconds; only the first counts.
constexpr qint64 kRepeatedPressMs = 10;
constexpr int kRebootGraceMs = 500;

const char* const kTimeFormat = "yyyyMMdd_hhmmss.zzz";

QString NowText()
{
    return PlatformClock::now().toString(kTimeFormat);
}

bool SimulatedCameras()
{
    // The manager is only asked, never created, from here.
    return CameraManager::_instance && CameraManager::_instance->noRealCamera;
}

}  // namespace

MApplication::MApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    tsTimer = new QTimer(this);
    connect(tsTimer, &QTimer::timeout, this, &MApplication::calibrationTimeout);
    ts_create = NowText();
}

void MApplication::manualStopTscTimeup()
{
    tsTimer->stop();
}

void MApplication::calibrationTimeout()
{
    tsTimer->stop();
    if (!gpState || !SimulatedCameras())
        return;
    tsTimeout = true;
    if (!releaseHint)
        releaseHint = new WarnBox(nullptr);
    releaseHint->setText(LanStr(kTextReleaseToCalibrate));
    releaseHint->show();
}

bool MApplication::notify(QObject* receiver, QEvent* event)
{
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            return pressed(receiver, event);
        case QEvent::MouseButtonRelease:
            released();
            break;
        default:
            break;
    }
    return QApplication::notify(receiver, event);
}

bool MApplication::pressed(QObject* receiver, QEvent* event)
{
    static qint64 lasttouch = 0;
    static bool ts_first_enable = false;

    const qint64 now = PlatformClock::now().toMSecsSinceEpoch();
    if (now - lasttouch <= kRepeatedPressMs)
        return QApplication::notify(receiver, event);
    lasttouch = now;

    if (SimulatedCameras() && !tsTimer->isActive() && !tsTimeout) {
        ++ts_calibrate_times;
        if (!ts_first_enable) {
            ts_firstpress = NowText();
            ts_first_enable = true;
            return QApplication::notify(receiver, event);
        }
        tsTimer->start(kCalibrationHoldMs);
    }

    if (gpWPara && gpState) {
        if (gpState->logoutTimer && gpWPara->autoLogout > 0)
            gpState->logoutTimer->start(gpWPara->autoLogout * 1000);
        if (gpState->lcdTimer && gpWPara->screenOffTime >= 1)
            gpState->lcdTimer->start(gpWPara->screenOffTime * 1000);
    }

    // The touch that wakes a dark screen only wakes it: it must not press what it lands on.
    if (WakeScreen())
        return true;
    return QApplication::notify(receiver, event);
}

void MApplication::released()
{
    if (!tsTimeout) {
        if (tsTimer->isActive())
            tsTimer->stop();
        return;
    }
    // The calibration program takes the screen; the hint must not stay over it.
    if (releaseHint)
        releaseHint->hide();
    ts_calibrate = NowText();
    qInfo() << "ts_calibrate: create/press/release,times" << ts_create << ts_firstpress << ts_calibrate
            << ts_calibrate_times;
    CommandRunner::shell("./tsc", -1);
    qInfo() << "isTs Timeout ./tsc running";
    if (gpState) {
        gisRunWTD = false;
        PlatformClock::sleepMs(kRebootGraceMs);
        FlushAll();
        CommandRunner::runLine("reboot");
    }
    tsTimeout = false;
}
