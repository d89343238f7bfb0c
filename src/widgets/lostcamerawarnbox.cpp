// The camera-lost box.
#include "lostcamerawarnbox.h"

#include "commandrunner.h"
#include "globals.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "platformclock.h"
#include "recordsink.h"
#include "textids.h"
#include "windowhooks.h"

LostCameraWarnBox* gpLostCameraWarnBox = nullptr;

namespace {
constexpr int kSettleBeforePowerOffMs = 1000;
const char* const kPowerOffRemark = "因丢失相机手动关闭电源";
const char* const kPowerOffCommand = "init 0";
}  // namespace

LostCameraWarnBox::LostCameraWarnBox(QWidget* parent) : WarnBox(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
    confirmEntry = kTextShutDown;
    confirmButton->setText(LanStr(kTextShutDown));
    setText(LanStr(kTextCameraDisconnect));
}

void LostCameraWarnBox::accept()
{
    RecordOperation(kPowerOffRemark, "operate");
    StopWTD();
    FlushAll();
    PlatformClock::sleepMs(kSettleBeforePowerOffMs);
    CommandRunner::runLine(kPowerOffCommand);
    QDialog::accept();
}

void LostCameraWarnBox::hideEvent(QHideEvent*) {}
