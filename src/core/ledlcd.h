// Front LEDs, the LCD back-light and the watchdog-run flag of the panel.
#pragma once

// Set by the main window at start; cleared by StopWTD and before a calibration reboot.
extern bool gisRunWTD;

// Front LEDs the cycle drives (LEDOnOff's led).
constexpr int kLedDetecting = 4;
constexpr int kLedRunBlink = 5;
constexpr int kLedResult = 6;
constexpr int kLedAlarm = 7;

// Back-light on (non-zero) or off; the main window's screenOff follows.
void LCDOnOff(int on);
// A dark screen lights again with its full time-out before it goes dark; returns whether it
// was dark. Whatever the operator must see (a warning, an alarm, a touch) wakes it.
bool WakeScreen();
// Sets bit `led` of the LED mask (initially 0xFF) to on & 1 and hands the mask to the device.
void LEDOnOff(int led, int on);
// Clears the watchdog-run flag and gives the watchdog a second to notice. Also runs
// before every Exit.
void StopWTD();
