// Detection cycle of the main window: input scan, triggers, countdowns, start and stop.
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
#include "productalarmwarnbox.h"
#include "textids.h"
#include "tnr_netmn.h"
#include "warnbox.h"
#include "windowhooks.h"

using namespace cycle;

namespace {

constexpr int kWhiteBalancePass = 50;

constexpr int kStageChosen = 0;
constexpr int kStageNone = 1;  // the input is done
constexpr int kStageEndsPass = 2;

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

void MoJuWizard::StartLatchedInputs()
{
    for (int i = 0; i < kTriggerInputs; ++i) {
        if (!inputLatch[i] && i != reTrigInput && i != pendingInput)
            continue;
        inputLatch[i] = false;
        pendingInput = -1;
        const int mode = Mode();
        const bool start = InputStartsCycle(i);
        if (start)
            StartCycle(i);
        if (mode == kModeTurntable && start)
            moldSide = i == 0 ? 1 : 0;

        if (mode != kModeMulti) {
            if (!start && stepCameraMask[1] == 0)
                continue;
            FollowSideOfInput(i);
            if (!start && stepCameraMask[1] == 0)
                continue;
        } else {
            const int stage = SelectStage(i);
            if (stage == kStageEndsPass)
                break;
            if (stage == kStageNone)
                continue;
        }
        if (StartCountdowns(i))
            break;
        reTrigInput = -1;
        update();
    }
}

bool MoJuWizard::InputStartsCycle(int i) const
{
    const int side = Par(&WizardPara::moldSide);  // numFailDetect 2
    switch (Mode()) {
        case kModeStandard:
            return i == 0 || (i == kEjectorBackInput && Par(&WizardPara::separateDetectSignal) == 1);  // system12 20
        case kModeTwoColour:
            return i == 0;
        case kModeTurntable:
            return (i == 0 && side != 1) || (i == kReserveInput && side != 0);
        default:
            return Par(&WizardPara::ioPageFlag) == 0 ||  // system11 17
                   (i == 0 && reTrigInput == -1 && gDNum >= 1 && stepCameraMask[gDNum - 1] == 0);
    }
}

// Modes 0-2: the input that opens the mould (or turns the side) re-arms the mould step.
void MoJuWizard::FollowSideOfInput(int i)
{
    const int mode = Mode();
    const int side = Par(&WizardPara::moldSide);  // numFailDetect 2
    const bool reopen =
        (mode == kModeStandard && i == kEjectorBackInput && Par(&WizardPara::semiAuto) != 0) ||  // system1 1
        (mode == kModeTwoColour && i == kEjectorBackInput) ||
        (mode == kModeTwoColour && i == kReserveInput && side != 0) ||
        (mode == kModeTurntable && i == kEjectorBackInput);
    if (mode == kModeTwoColour && i == kEjectorBackInput)
        moldSide = 1;
    if (mode == kModeTwoColour && i == kReserveInput && side != 0)
        moldSide = 0;
    if (reopen && !(mode == kModeTwoColour && i == kEjectorBackInput && side == 1))
        ReopenMouldSide();
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

void MoJuWizard::StartCycle(int input)
{
    const int mode = Mode();
    TNR_NETMN::getInstance()->start_PeriodRecord();
    std::fill(std::begin(cycleCameraNG), std::end(cycleCameraNG), false);
    const qint64 now = NowTenths();
    cycleTime = int(now - cycleStartTime);
    cycleStartTime = now;
    if (noInputAlarm) {
        noInputAlarm = false;
        if (gpWarnBox)
            gpWarnBox->hide();
    } else {
        const int seconds = Par(&WizardPara::inputTime);  // system2 18
        if (seconds >= 1 && inCheckTimer)
            inCheckTimer->start(seconds * 1000);
    }
    std::fill(std::begin(stepCameraMask), std::end(stepCameraMask), 0);
    std::fill(std::begin(reCheckCount), std::end(reCheckCount), 0);
    if (mode != kModeMulti && Par(&WizardPara::okNgPulses) == 0 &&
        Par(&WizardPara::moldNgPulse) == 0)               // system5 9, system14 1
        reCheckCount[1] = Par(&WizardPara::reMoldTimes);  // system1 7
    std::fill(std::begin(rejectGroupNG), std::end(rejectGroupNG), false);
    gisSafeDoorOpen = false;
    reCheckDelay = Par(&WizardPara::reMoldDelay);  // system14 2
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        for (int d = 0; d < gDNum && d < kMaxDetections; ++d) {
            if (StepEnabled(d))
                stepCameraMask[mode == kModeMulti ? d : (d & 1)] |= 1 << c;
            if (cammerWidgets[c])
                cammerWidgets[c]->detected[d] = false;
            detectState[c][d] = 1;
        }
    }

    if (Par(&WizardPara::okNgPulses) != 0 || mode == kModeMulti)  // system5 9
        return;
    const bool separateStart = mode == kModeStandard && Par(&WizardPara::separateDetectSignal) == 1;  // system12 20
    if (Par(&WizardPara::preCut) == 0 && Par(&WizardPara::cutClampOnMoldAlarm) == 0 &&
        Par(&WizardPara::moldNgPulse) == 0 &&  // system1 6, system5 13, system14 1
        (!separateStart || input == kEjectorBackInput))
        SetOut(kClampOut, 1);
    if (stepCameraMask[0] != 0) {
        if (Par(&WizardPara::ejectorPulseNoAlarm) != 0 ||
            Par(&WizardPara::cutEjectorOnProdAlarm) != 0) {  // system2 7, system5 11
            for (int k : {1, 4, 5, 6, 7}) SetOut(k, 0);
        } else if (Par(&WizardPara::noEjectorCtrlInProd) == 0 && Par(&WizardPara::prodNgNoEjector) == 0 &&
                   (!separateStart || input == 0)) {  // system2 9, system9 15
            SetOut(kEjectorOut, 1);
        }
    }
    Flush();
}

void MoJuWizard::ReopenMouldSide()
{
    const bool sides = SideModes();
    stepCameraMask[1] = 0;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (cammerWidgets[c])
            std::fill(std::begin(cammerWidgets[c]->detected), std::end(cammerWidgets[c]->detected), false);
        if (StepEnabled(1) || (sides && StepEnabled(3)))
            stepCameraMask[1] |= 1 << c;
    }
    if (Par(&WizardPara::okNgPulses) != 0)  // system5 9
        return;
    if (Par(&WizardPara::cutClampOnMoldAlarm) == 0 && Par(&WizardPara::moldNgPulse) == 0 &&
        Par(&WizardPara::preCut) == 0)  // system5 13, system14 1, system1 6
        SetOut(kClampOut, 1);
    Flush();
}

// Machine mode 3: chooses the step the input starts (multiDetectIndex) and switches the
// cut outputs of its group.
int MoJuWizard::SelectStage(int input)
{
    const bool stages = Par(&WizardPara::ioPageFlag) != 0;  // system11 17
    if (gDNum < 1)
        return kStageNone;
    if (stages && reTrigInput == -1) {
        int next = multiDetectIndex + 1;
        while (next < kMaxDetections - 1 && StepTrigger(next) == -1) ++next;
        if (!(next >= gDNum || next == 0 || StepTrigger(next) == input))
            return kStageEndsPass;
    }
    if (stepCameraMask[gDNum - 1] == 0 || input > gDNum)
        return kStageNone;

    int k = -1;
    bool cut = true;
    if (!stages) {
        const int from = reTrigInput != -1 ? multiDetectIndex + 1 : 0;
        for (int j = qMax(0, from); j < kMaxDetections; ++j) {
            if (StepTrigger(j) == input) {
                k = j;
                break;
            }
        }
        if (k < 0)
            return kStageNone;
    } else {
        k = 0;
        for (int j = multiDetectIndex + 1; j < gDNum; ++j) {
            if (StepGroup(j) != kNoGroup) {
                k = j;
                break;
            }
        }
        cut = StepGroup(k) != StepGroup(multiDetectIndex) || (input == 0 && multiDetectIndex == gDNum - 1);
    }
    const int g = StepGroup(k);
    const int c = GroupCutMode(g);
    if (cut && c != 2) {
        for (int j = k; j < gDNum; ++j) {
            if (((c & ~4) == 0 && StepGroup(j) != kNoGroup) || ((c & ~2) == 1 && StepGroup(j) == g))
                SetOut(StepOutput(j), 1);
        }
    }
    multiDetectIndex = k;
    return kStageChosen;
}

bool MoJuWizard::StartCountdowns(int input)
{
    const int mode = Mode();
    const bool sides = SideModes();
    const int n = sides ? 2 : qMin(gDNum, kMaxDetections);
    for (int k = 0; k < n; ++k) {
        const bool enabled = (sides && moldSide == 0) ? StepEnabled(k + 2) : StepEnabled(k);
        if (!enabled || Active(upTimers[k]))
            continue;
        const int trigger = StepTrigger(k);
        bool restart = false;
        bool match = false;
        switch (mode) {
            case kModeStandard:
                restart = k == restartStep;
                match = restart || trigger == input;
                break;
            case kModeTwoColour:
                match = trigger == kAnyTrigger ? (input == 2 || input == 3) : trigger == input;
                break;
            case kModeTurntable:
                match = trigger == kAnyTrigger ? (input == 0 || input == 3) : trigger == input;
                break;
            default:
                match = k == multiDetectIndex && stepCameraMask[k] != 0;
                break;
        }
        if (!match)
            continue;
        if (restart) {
            restartStep = -1;
            lastDelay = 0;
        }
        const int plain = Par(&WizardPara::trigInDelay, k);  // trigInDelay k + 1
        int delay = plain;
        if (!restart && mode == kModeStandard && k >= 1 && Par(&WizardPara::semiAuto) == 0 &&
            Par(&WizardPara::detectProd) != 0)  // system1 1, system1 2
            delay = plain + lastDelay;
        lastDelay = delay;
        lostInCountdown &= ~(1u << k);
        if (delay > 0) {
            countdown[k] = float(delay) / 10.0f;
            if (upTimers[k]) {
                // A coarse timer may tick 5 % early: the n-th tick must not come before n x 100 ms.
                upTimers[k]->setTimerType(Qt::PreciseTimer);
                upTimers[k]->start(kTickMs);
            }
            cyclePhase = 1;
        } else {
            countdown[k] = 0;
            TimerUp(k);
            if (runState == kRunStopped || mode == kModeMulti)
                return true;
        }
        if (mode == kModeMulti)
            return false;
    }
    return false;
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
        indexButton->startStopButton->setText(LanStr(kTextStopDetection));
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
    runState = kRunStopped;
}

void MoJuWizard::StopDetect()
{
    TNR_NETMN::getInstance()->clear_PeriodRecords();
    detection.stop();
    if (indexButton && indexButton->startStopButton)
        indexButton->startStopButton->setText(LanStr(kTextStartDetection));
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
