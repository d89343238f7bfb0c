// The camera-lost box.
#include "lostcamerawarnbox.h"

#include "commandrunner.h"
#include "globals.h"
#include "ledlcd.h"
#include "mojuwizard.h"
#include "platformclock.h"

LostCameraWarnBox* gpLostCameraWarnBox = nullptr;

namespace {
constexpr int kTextShutDown = 209;
constexpr int kTextCameraDisconnect = 657;
constexpr int kSettleBeforePowerOffMs = 1000;
const char* const kPowerOffRemark = "因丢失相机手动关闭电源";
const char* const kPowerOffCommand = "init 0";
}  // namespace

LostCameraWarnBox::LostCameraWarnBox(QWidget* parent) : WarnBox(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
    confirmButton->setText(gaLanStr[kTextShutDown * kLanColumns + gLan]);
    setText(gaLanStr[kTextCameraDisconnect * kLanColumns + gLan]);
}

void LostCameraWarnBox::accept()
{
    if (gpWin)
        gpWin->InsertRecord(kPowerOffRemark, "operate");
    StopWTD();
    if (gpWin)
        gpWin->FLushAll();
    PlatformClock::sleepMs(kSettleBeforePowerOffMs);
    CommandRunner::runLine(kPowerOffCommand);
    QDialog::accept();
}

void LostCameraWarnBox::hideEvent(QHideEvent*) {}
