// Front LEDs, LCD back-light and watchdog-run flag.
#include "ledlcd.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>
#include <QTimer>

#include "devices.h"
#include "globals.h"
#include "mainstate.h"
#include "platformclock.h"
#include "platformexit.h"
#include "wizardpara.h"

bool gisRunWTD = false;

namespace {

constexpr unsigned long kLedMaskRequest = 0x5A018000;
constexpr unsigned long kLcdOnRequest = 0x5A018B00;
constexpr unsigned long kLcdOffRequest = 0x5A018A00;
constexpr int kLedMaskInitial = 0xFF;
constexpr int kLedCount = 8;
constexpr int kWatchdogGraceMs = 1000;

// Newer panel kernels drive the back-light through sysfs instead of the LED device.
const char* const kSysfsBacklightKernel = "^Linux version 6.\\d+\\.\\d+-\\d+-generic*";
constexpr int kBacklightPowerOn = 0;
constexpr int kBacklightPowerOff = 1;

int gLedMask = kLedMaskInitial;

// The watchdog must learn of every deliberate end, or it resets the panel mid-shutdown.
void registerStopWTDBeforeExit()
{
    PlatformExit::setBeforeExit(StopWTD);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(registerStopWTDBeforeExit)

void LCDOnOff(int on)
{
    static const QRegularExpression sysfsKernel(kSysfsBacklightKernel);
    const bool sysfs = sysfsKernel.match(linux_kernel_proc_version).hasMatch();
    qInfo() << "LCDOnOff isOn" << on << (sysfs ? "true" : "false");
    if (sysfs)
        Devices::writeBacklightPower(on ? kBacklightPowerOn : kBacklightPowerOff);
    else
        Devices::ledIoctl(gfLED, on ? kLcdOnRequest : kLcdOffRequest);
    if (gpState)
        gpState->screenOff = on ? 0 : 1;
}

bool WakeScreen()
{
    if (!gpState || !gpState->screenOff)
        return false;
    LCDOnOff(1);
    if (gpWPara && gpWPara->screenOffTime > 0 && gpState->lcdTimer)
        gpState->lcdTimer->start(gpWPara->screenOffTime * 1000);
    return true;
}

void LEDOnOff(int led, int on)
{
    // The mask is one byte: other numbers name no LED (and would shift out of the int).
    if (led < 0 || led >= kLedCount)
        return;
    if (on & 1)
        gLedMask |= 1 << led;
    else
        gLedMask &= ~(1 << led);
    if (gfLED > 0)
        Devices::ledIoctl(gfLED, kLedMaskRequest + gLedMask);
}

void StopWTD()
{
    gisRunWTD = false;
    PlatformClock::sleepMs(kWatchdogGraceMs);
}
