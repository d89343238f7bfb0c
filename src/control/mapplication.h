// MApplication: the application object that sees every touch first (logout, screen wake, calibration hold).
#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>

class WarnBox;

// Local times "yyyyMMdd_hhmmss.zzz" of the application's creation, the first press and the
// calibration start, and the presses counted while calibration is armed; only logged.
extern QString ts_create;
extern QString ts_firstpress;
extern QString ts_calibrate;
extern int ts_calibrate_times;

class MApplication : public QApplication
{
    Q_OBJECT

public:
    MApplication(int& argc, char** argv);

    // A press restarts the logout and screen-off timers and wakes a dark screen (the waking
    // press reaches no widget). On simulated cameras a press held five seconds and released
    // runs the touch calibration and reboots.
    bool notify(QObject* receiver, QEvent* event) override;

    QTimer* tsTimer = nullptr;  // the calibration hold; its timeout arms the calibration
    bool tsTimeout = false;     // the hold time has elapsed

    // The hold's time in milliseconds.
    static constexpr int kCalibrationHoldMs = 5000;

public slots:
    // Called after modal dialogs that may have swallowed the release.
    void manualStopTscTimeup();

private:
    void calibrationTimeout();
    bool pressed(QObject* receiver, QEvent* event);
    void released();

    WarnBox* releaseHint = nullptr;  // "release to calibrate", shown when the hold has elapsed
};
