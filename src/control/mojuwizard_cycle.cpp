// The window's side of the detection cycle: pictures, lost cameras, the alarm page's inputs,
// the slots that forward to DetectionCycle, start and stop.
#include "cammerwidget.h"
#include "colorbutton.h"
#include "constructionhooks.h"
#include "drawroiwidget.h"
#include "indexbutton.h"
#include "ledlcd.h"
#include "lostcamerawarnbox.h"
#include "mojuwizard.h"
#include "mojuwizard_cycleparams.h"
#include "operatorprompts.h"
#include "platformclock.h"
#include "textids.h"
#include "tnr_netmn.h"
#include "warnbox.h"
#include "windowhooks.h"

using namespace cycle;

namespace {

constexpr int kWhiteBalancePass = 50;

bool Active(const QTimer* t)
{
    return t && t->isActive();
}

void Stop(QTimer* t)
{
    if (t)
        t->stop();
}

bool SideModes()
{
    return TwoSidedMode(Mode());
}

}  // namespace

qint64 cycle::NowTenths()
{
    constexpr qint64 kMsPerTenth = 100;
    return PlatformClock::now().toMSecsSinceEpoch() / kMsPerTenth;
}

void MoJuWizard::Run()
{
    detection.pass();
}

void MoJuWizard::OfferPassLater()
{
    // A pass or a recognition is under way and a box it opened runs the event loop. This
    // pass waits, but the passes go on being offered and the IO thread is told the window
    // lives: without the stamp the board link would stop 11 s into the box. A lost camera
    // withholds the stamp here as its own pass does.
    if (runTimer)
        runTimer->start(kRunIntervalMs);
    if (gpControlIO && CameraCheck())
        gpControlIO->updateThreadProtectTiming();
}

void MoJuWizard::BalanceWhiteOnce()
{
    if (++tR != kWhiteBalancePass)
        return;
    for (int c = 0; c < numCamera; ++c) {
        if (cammerWidgets[c])
            cammerWidgets[c]->SetWB();
    }
}

void MoJuWizard::TakeNewestPictures()
{
    const bool imageTrigger = Par(&WizardPara::externalTrigger) != 0;  // system5 12
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (cammerWidgets[c] && cammerWidgets[c]->UpdateImage()) {
            ++frameCount[c];
            if (imageTrigger && pageState != kPageAlarm)
                cTrigImage |= 1u << c;
        }
    }
}

void MoJuWizard::HoldForLostCameras()
{
    tR = 0;
    ShowOperatorNote(LanStr(kTextCameraUnavailable));
    Stop(inCheckTimer);
    if (runTimer)
        runTimer->start(kLostCameraRunIntervalMs);
    camerasOK = false;
}

void MoJuWizard::NoteCamerasBack()
{
    if (camerasOK)
        return;
    camerasOK = true;
    if (Par(&WizardPara::cameraLostAlarm) != 0 && gpLostCameraWarnBox)  // system2 12
        gpLostCameraWarnBox->hide();
    ShowOperatorNote(LanStr(kTextCameraBack));
    InsertRecord(LanStr(kTextCameraBack), "info");
}

bool MoJuWizard::TriggerOnNewPictures()
{
    const unsigned all = numCamera >= 32 ? ~0u : (1u << numCamera) - 1u;
    if ((cTrigImage & all) != all)
        return false;
    cTrigImage = 0;
    return true;
}

void MoJuWizard::HandleAlarmPageInputs()
{
    const int mode = Mode();
    if (inputLatch[kDoorInput]) {
        inputLatch[kDoorInput] = false;
        if (Par(&WizardPara::skipProdNgRecheck) != 0 && step == 0) {  // system13 18
            if (drawROIWidget)
                drawROIWidget->notCheckcur();
            pendingInput = kEjectorBackInput;
        } else {
            for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
                if (cammerWidgets[c])
                    std::fill(std::begin(cammerWidgets[c]->detected), std::end(cammerWidgets[c]->detected), false);
            }
            if (mode == kModeTurntable) {
                const int in0 = InputLevel(0), in3 = InputLevel(kReserveInput);
                if (in0 && !in3)
                    moldSide = 1;
                else if (!in0 && in3)
                    moldSide = 0;
            }
            if (drawROIWidget)
                drawROIWidget->reCheckButton->click();
        }
    } else if (mode == kModeStandard && Par(&WizardPara::inputResetRecheck) != 0) {  // system9 18
        if ((inputLatch[0] && step == 0) || (inputLatch[kEjectorBackInput] && step == 1)) {
            for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
                if (cammerWidgets[c] && step >= 0 && step < kMaxDetections)
                    cammerWidgets[c]->detected[step] = false;
            }
            if (drawROIWidget)
                drawROIWidget->reCheckButton->click();
        }
    }
    if (inputLatch[kEjectorBackInput] && step == 0)
        pendingInput = kEjectorBackInput;
    if (inputLatch[kReserveInput] && Par(&WizardPara::noDetectModeRelease) != 0 && drawROIWidget)  // system9 14
        drawROIWidget->notCheckcur();
}

void MoJuWizard::CycleStarts()
{
    TNR_NETMN::getInstance()->start_PeriodRecord();
    std::fill(std::begin(cycleCameraNG), std::end(cycleCameraNG), false);
    if (noInputAlarm) {
        noInputAlarm = false;
        if (gpWarnBox)
            gpWarnBox->hide();
    } else {
        const int seconds = Par(&WizardPara::inputTime);  // system2 18
        if (seconds >= 1 && inCheckTimer)
            inCheckTimer->start(seconds * 1000);
    }
}

void MoJuWizard::TimerUp(int d)
{
    detection.countdownTick(d);
}

void MoJuWizard::TimerUp0()
{
    TimerUp(0);
}
void MoJuWizard::TimerUp1()
{
    TimerUp(1);
}
void MoJuWizard::TimerUp2()
{
    TimerUp(2);
}
void MoJuWizard::TimerUp3()
{
    TimerUp(3);
}
void MoJuWizard::TimerUp4()
{
    TimerUp(4);
}
void MoJuWizard::TimerUp5()
{
    TimerUp(5);
}
void MoJuWizard::TimerUp6()
{
    TimerUp(6);
}
void MoJuWizard::TimerUp7()
{
    TimerUp(7);
}

int MoJuWizard::CheckInput(int i)
{
    if (i < 0 || i >= kTriggerInputs)
        return 0;
    inputLatch[i] = InputLevel(i) != 0;
    return inputLatch[i] ? 1 : 0;
}

#define MONITOR_CHECK_INPUT(n)            \
    void MoJuWizard::TimerCheckInput##n() \
    {                                     \
        Stop(checkInputTimers[n]);        \
        CheckInput(n);                    \
    }
MONITOR_CHECK_INPUT(0)
MONITOR_CHECK_INPUT(1)
MONITOR_CHECK_INPUT(2)
MONITOR_CHECK_INPUT(3)
MONITOR_CHECK_INPUT(4)
MONITOR_CHECK_INPUT(5)
MONITOR_CHECK_INPUT(6)
MONITOR_CHECK_INPUT(7)
#undef MONITOR_CHECK_INPUT

void MoJuWizard::ReCheck()
{
    detection.recheck();
}

void MoJuWizard::InCheck()
{
    SetOut(kClampOut, 1);
    Flush();
    Stop(inCheckTimer);
    InsertRecord(LanStr(kTextNoInput), "info");
    ShowOperatorNote(LanStr(kTextNoInput));
    noInputAlarm = true;
}

void MoJuWizard::StartDetect()
{
    detection.start();
    if (indexButton && indexButton->startStopButton)
        indexButton->SetStartStopText(LanStr(kTextStopDetection));
}

void MoJuWizard::ResetRun()
{
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        CammerWidget* v = cammerWidgets[c];
        if (!v)
            continue;
        v->cameraOk = true;
        for (int d = 0; d < gDNum && d < kMaxDetections; ++d)
            std::fill(std::begin(v->roiOk[d]), std::end(v->roiOk[d]), true);
    }
    for (int d = 0; d < gDNum && d < kMaxDetections; ++d) countdown[d] = 0;
}

void MoJuWizard::SetStopDetect()
{
    const int mode = Mode();
    if (mode != kModeMulti) {
        const bool mouldSide = ResultSlot(mode, step) != 0;
        stepCameraMask[mouldSide ? 1 : 0] = 0;
    }
    for (int d = 0; d < gDNum && d < kMaxDetections; ++d) {
        if (Active(upTimers[d])) {
            upTimers[d]->stop();
            countdown[d] = 0;
        }
    }
    lostInCountdown = 0;
    detection.steering().heldSteps = 0;
    runState = kRunStopped;
}

void MoJuWizard::StopDetect()
{
    TNR_NETMN::getInstance()->clear_PeriodRecords();
    detection.stop();
    if (indexButton && indexButton->startStopButton)
        indexButton->SetStartStopText(LanStr(kTextStartDetection));
}

void MoJuWizard::SlotStartStop()
{
    if (PageShown(kSettingsPageClass) || TeachingShown())
        return;
    if (runState == kRunStopped) {
        StartDetect();
        InsertRecord(LanStr(kTextStartedManually), "operate");
        LEDOnOff(kLedDetecting, 1);
    } else {
        if (Par(&WizardPara::stopDetectPswProtect) != 0 && CheckPassword() == 0)  // system6 12
            return;
        if (!AskOperator(LanStr(kTextSureToStop)))
            return;
        if (PageShown(kSettingsPageClass) || TeachingShown())
            return;
        StopDetect();
        InsertRecord(LanStr(kTextStoppedManually), "operate");
        LEDOnOff(kLedDetecting, 0);
    }
    update();
}

void MoJuWizard::SlotManualTrig(int d)
{
    if (PageShown(kSettingsPageClass) || TeachingShown())
        return;
    if (d < 0 || d >= kMaxDetections)
        return;
    const auto refuse = [](const QString& text) { WarnOperator(text); };
    const bool sides = SideModes();
    if (!StepEnabled(d)) {
        refuse(QStringLiteral("提示：该次检测没有启用！"));
        return;
    }
    if (sides) {
        const int in0 = InputLevel(0), in3 = InputLevel(kReserveInput);
        const QString closed = QStringLiteral("提示：当前为%1状态,无法抓拍%2！");
        if (!in0 && in3 && (d == 0 || d == 1)) {
            refuse(closed.arg(QStringLiteral("右模"), QStringLiteral("左模")));
            return;
        }
        if (in0 && !in3 && (d == 2 || d == 3)) {
            refuse(closed.arg(QStringLiteral("左模"), QStringLiteral("右模")));
            return;
        }
    }
    manualTrig = d;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (!cammerWidgets[c])
            continue;
        std::fill(std::begin(cammerWidgets[c]->detected), std::end(cammerWidgets[c]->detected), false);
        cammerWidgets[c]->ManualUpdateImage();
    }
}

void MoJuWizard::SlotManualTrig0()
{
    SlotManualTrig(0);
}

void MoJuWizard::SlotManualTrig1()
{
    SlotManualTrig(1);
}
