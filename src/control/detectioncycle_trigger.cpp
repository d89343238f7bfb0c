// The latched inputs of a pass: which input starts a cycle, which step's countdown it
// starts, the side it turns to and, in machine mode 3, the stage it selects.
#include <algorithm>

#include "detectioncycle.h"
#include "mainstate.h"
#include "mojuwizard_cycleparams.h"

using namespace cycle;

namespace {

constexpr int kStageChosen = 0;
constexpr int kStageNone = 1;  // the input is done
constexpr int kStageEndsPass = 2;

}  // namespace

void DetectionCycle::startLatchedInputs()
{
    for (int i = 0; i < kTriggerInputs; ++i) {
        if (!steer.inputLatch[i] && i != steer.reTrigInput && i != steer.pendingInput)
            continue;
        steer.inputLatch[i] = false;
        steer.pendingInput = -1;
        const int mode = Mode();
        const bool start = inputStartsCycle(i);
        if (start)
            startCycle(i);
        if (mode == kModeTurntable && start)
            gpState->moldSide = i == 0 ? 1 : 0;

        if (mode != kModeMulti) {
            if (!start && steer.stepCameraMask[1] == 0)
                continue;
            followSideOfInput(i);
            if (!start && steer.stepCameraMask[1] == 0)
                continue;
        } else {
            const int stage = selectStage(i);
            if (stage == kStageEndsPass)
                break;
            if (stage == kStageNone)
                continue;
        }
        if (startCountdowns(i))
            break;
        steer.reTrigInput = -1;
        ports->repaint();
    }
}

bool DetectionCycle::inputStartsCycle(int i) const
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
                   (i == 0 && steer.reTrigInput == -1 && gDNum >= 1 && steer.stepCameraMask[gDNum - 1] == 0);
    }
}

// Modes 0-2: the input that opens the mould (or turns the side) re-arms the mould step.
void DetectionCycle::followSideOfInput(int i)
{
    const int mode = Mode();
    const int side = Par(&WizardPara::moldSide);  // numFailDetect 2
    const bool reopen =
        (mode == kModeStandard && i == kEjectorBackInput && Par(&WizardPara::semiAuto) != 0) ||  // system1 1
        (mode == kModeTwoColour && i == kEjectorBackInput) ||
        (mode == kModeTwoColour && i == kReserveInput && side != 0) ||
        (mode == kModeTurntable && i == kEjectorBackInput);
    if (mode == kModeTwoColour && i == kEjectorBackInput)
        gpState->moldSide = 1;
    if (mode == kModeTwoColour && i == kReserveInput && side != 0)
        gpState->moldSide = 0;
    if (reopen && !(mode == kModeTwoColour && i == kEjectorBackInput && side == 1))
        reopenMouldSide();
}

void DetectionCycle::startCycle(int input)
{
    const int mode = Mode();
    ports->cycleStarts();
    const qint64 now = NowTenths();
    gpState->cycleTime = int(now - steer.cycleStartTime);
    steer.cycleStartTime = now;
    std::fill(std::begin(steer.stepCameraMask), std::end(steer.stepCameraMask), 0);
    std::fill(std::begin(gpState->reCheckCount), std::end(gpState->reCheckCount), 0);
    if (mode != kModeMulti && Par(&WizardPara::okNgPulses) == 0 &&
        Par(&WizardPara::moldNgPulse) == 0)                        // system5 9, system14 1
        gpState->reCheckCount[1] = Par(&WizardPara::reMoldTimes);  // system1 7
    std::fill(std::begin(steer.rejectGroupNG), std::end(steer.rejectGroupNG), false);
    gisSafeDoorOpen = false;
    steer.reCheckDelay = Par(&WizardPara::reMoldDelay);  // system14 2
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) {
        for (int d = 0; d < gDNum && d < kMaxDetections; ++d) {
            if (StepEnabled(d))
                steer.stepCameraMask[mode == kModeMulti ? d : (d & 1)] |= 1 << c;
            ports->forgetDetected(c, d);
            gpState->detectState[c][d] = 1;
        }
    }
    if (Par(&WizardPara::okNgPulses) != 0 || mode == kModeMulti)  // system5 9
        return;
    setCycleStartOutputs(input);
}

// Modes 0-2 without pulses: the clamp and ejector are held until their steps are judged.
void DetectionCycle::setCycleStartOutputs(int input)
{
    const bool separateStart = Mode() == kModeStandard && Par(&WizardPara::separateDetectSignal) == 1;  // system12 20
    if (Par(&WizardPara::preCut) == 0 && Par(&WizardPara::cutClampOnMoldAlarm) == 0 &&
        Par(&WizardPara::moldNgPulse) == 0 &&  // system1 6, system5 13, system14 1
        (!separateStart || input == kEjectorBackInput))
        setOut(kClampOut, 1);
    if (steer.stepCameraMask[0] != 0) {
        if (Par(&WizardPara::ejectorPulseNoAlarm) != 0 ||
            Par(&WizardPara::cutEjectorOnProdAlarm) != 0) {  // system2 7, system5 11
            for (int k : {1, 4, 5, 6, 7}) setOut(k, 0);
        } else if (Par(&WizardPara::noEjectorCtrlInProd) == 0 && Par(&WizardPara::prodNgNoEjector) == 0 &&
                   (!separateStart || input == 0)) {  // system2 9, system9 15
            setOut(kEjectorOut, 1);
        }
    }
    flush();
}

void DetectionCycle::reopenMouldSide()
{
    const bool sides = TwoSidedMode(Mode());
    steer.stepCameraMask[1] = 0;
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) {
        for (int d = 0; d < kMaxDetections; ++d) ports->forgetDetected(c, d);
        if (StepEnabled(1) || (sides && StepEnabled(3)))
            steer.stepCameraMask[1] |= 1 << c;
    }
    if (Par(&WizardPara::okNgPulses) != 0)  // system5 9
        return;
    if (Par(&WizardPara::cutClampOnMoldAlarm) == 0 && Par(&WizardPara::moldNgPulse) == 0 &&
        Par(&WizardPara::preCut) == 0)  // system5 13, system14 1, system1 6
        setOut(kClampOut, 1);
    flush();
}

// Machine mode 3: chooses the step the input starts (multiDetectIndex) and switches the
// cut outputs of its group.
int DetectionCycle::selectStage(int input)
{
    const bool stages = Par(&WizardPara::ioPageFlag) != 0;  // system11 17
    if (gDNum < 1)
        return kStageNone;
    if (stages && steer.reTrigInput == -1) {
        int next = steer.multiDetectIndex + 1;
        while (next < kMaxDetections - 1 && StepTrigger(next) == -1) ++next;
        if (!(next >= gDNum || next == 0 || StepTrigger(next) == input))
            return kStageEndsPass;
    }
    if (steer.stepCameraMask[gDNum - 1] == 0 || input > gDNum)
        return kStageNone;
    const int k = stages ? nextStageStep() : stepOfTrigger(input);
    if (k < 0)
        return kStageNone;
    const bool cut = !stages || StepGroup(k) != StepGroup(steer.multiDetectIndex) ||
                     (input == 0 && steer.multiDetectIndex == gDNum - 1);
    const int g = StepGroup(k);
    const int c = GroupCutMode(g);
    if (cut && c != 2) {
        for (int j = k; j < gDNum; ++j) {
            if (((c & ~4) == 0 && StepGroup(j) != kNoGroup) || ((c & ~2) == 1 && StepGroup(j) == g))
                setOut(StepOutput(j), 1);
        }
    }
    steer.multiDetectIndex = k;
    return kStageChosen;
}

// Mode 3 without stages: the first step (after the current one on a re-trigger) the input
// triggers; -1 none.
int DetectionCycle::stepOfTrigger(int input) const
{
    const int from = steer.reTrigInput != -1 ? steer.multiDetectIndex + 1 : 0;
    for (int j = qMax(0, from); j < kMaxDetections; ++j) {
        if (StepTrigger(j) == input)
            return j;
    }
    return -1;
}

// Mode 3 with stages: the next step with a group, else the first.
int DetectionCycle::nextStageStep() const
{
    for (int j = steer.multiDetectIndex + 1; j < gDNum; ++j) {
        if (StepGroup(j) != kNoGroup)
            return j;
    }
    return 0;
}

// True when the pass ends after a step ran at once.
bool DetectionCycle::startCountdowns(int input)
{
    const int mode = Mode();
    const bool sides = TwoSidedMode(mode);
    const int n = sides ? 2 : qMin(gDNum, kMaxDetections);
    for (int k = 0; k < n; ++k) {
        const bool enabled = (sides && gpState->moldSide == 0) ? StepEnabled(k + 2) : StepEnabled(k);
        if (!enabled || ports->countdownRunning(k))
            continue;
        bool restart = false;
        if (!countdownMatches(k, input, &restart))
            continue;
        if (restart)
            steer.restartStep = -1;
        const int plain = Par(&WizardPara::trigInDelay, k);  // trigInDelay k + 1
        int delay = plain;
        // A restarted step counts its own delay, not the sum.
        if (!restart && mode == kModeStandard && k >= 1 && Par(&WizardPara::semiAuto) == 0 &&
            Par(&WizardPara::detectProd) != 0)  // system1 1, system1 2
            delay = plain + steer.lastDelay;
        steer.lastDelay = delay;
        steer.lostInCountdown &= ~(1u << k);
        if (delay > 0) {
            gpState->countdown[k] = float(delay) / 10.0f;
            ports->startCountdown(k);
            gpState->cyclePhase = 1;
        } else {
            gpState->countdown[k] = 0;
            countdownTick(k);
            if (gpState->runState == kRunStopped || mode == kModeMulti)
                return true;
        }
        if (mode == kModeMulti)
            return false;
    }
    return false;
}

// Whether the input starts step k's countdown; *restart: mode 0's step to start again.
bool DetectionCycle::countdownMatches(int k, int input, bool* restart) const
{
    const int trigger = StepTrigger(k);
    switch (Mode()) {
        case kModeStandard:
            *restart = k == steer.restartStep;
            return *restart || trigger == input;
        case kModeTwoColour:
            return trigger == kAnyTrigger ? (input == 2 || input == 3) : trigger == input;
        case kModeTurntable:
            return trigger == kAnyTrigger ? (input == 0 || input == 3) : trigger == input;
        default:
            return k == steer.multiDetectIndex && steer.stepCameraMask[k] != 0;
    }
}
