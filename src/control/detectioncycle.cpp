// Judgement of a detection step over all cameras, the NG alarm and its timed release.
#include "detectioncycle.h"

#include <algorithm>

#include "mainstate.h"
#include "mojuwizard_cycleparams.h"

using namespace cycle;

// What one judgement reads and decides, handed from step to step.
struct DetectionCycle::Judgement
{
    bool clear = false;
    int mode = kModeStandard;
    int s = 0;  // the step judged
    int P = 0;  // its result slot
    int L = 1;  // the slot of the cycle's last step
    bool pulses = false;
    bool prodNoAlarm = false;
    bool noEjectorCtrl = false;
    bool prodNoEjector = false;
    bool mouldNoAlarm = false;
    int ejectorP = 0;
    int clampP = 0;
    int redetectsLeft = 0;

    bool ng[kMaxCameras] = {};
    bool NG = false;
    bool alarm = false;
    // Pulses that end outputs of this judgement, timed from their publication.
    bool stepOutputPulse = false;
    bool ejectorPulse = false;
    bool clampPulse = false;
    bool rejectPulse = false;
    bool thimblePulse = false;
    // An NG that does not stop the machine, and what of the shown result and counting follow.
    bool noStopNG = false;
    bool show = false;
    bool count = false;
};

DetectionCycle::DetectionCycle(QObject* parent) : QObject(parent) {}

void DetectionCycle::setPorts(CyclePorts* p)
{
    ports = p;
}

void DetectionCycle::setOut(int output, int on)
{
    if (output == kClampOut)
        clampSet = on != 0;
    if (ports && output >= 0)
        ports->setOut(output, on);
}

void DetectionCycle::flush()
{
    if (ports)
        ports->flush();
    emit outputsChanged();
}

void DetectionCycle::judgeStep(bool clear)
{
    // 1. Right after a re-sampling the teaching page owns the pictures.
    if (gFromTrain || !ports || !gpState)
        return;
    MainState& st = *gpState;
    Judgement j = beginJudgement(clear);

    // 2. Cameras.
    judgeCameras(j);
    // 3. Mould step: a pending temperature alarm counts as NG.
    countTemperatureAlarm(j);

    // The outputs of the whole judgement are decided first and published once, below: a
    // level set here and taken back a few lines later (an OK mould that reaches the
    // production limit) must never reach the board.
    // 4.-5. Outputs. Pulses that end outputs of this judgement are timed from their publication.
    setStepOutputs(j);
    // 6. Alarm.
    if (j.alarm && st.pageState != kPageAlarm) {
        if (j.redetectsLeft != 0) {
            if (j.mode != kModeMulti)
                st.reCheckPending = 1;
        } else {
            raiseAlarm(j);
        }
    }
    // 7.-9. Which of the shown result, counting and pictures follow.
    decideShowAndCount(j);
    if (j.show && st.pageState != kPageAlarm && st.pageState != kPageTeaching && ports->resultMayShow())
        showResult(j);
    // 11.-14. Outputs of a counted judgement.
    if (j.count)
        setCountedOutputs(j);

    // The one publication of this judgement's outputs.
    publish(j);

    // 10. Counting.
    if (j.count && !j.clear && steer.reTrainState == 0)
        ports->count(j.ng, j.NG, j.P == j.L);
    // 15.-16. Pictures of the step and their hand-off to the image writer.
    ports->keepPictures(j.s, j.ng, j.NG, j.NG && j.redetectsLeft != 0 && !j.noStopNG, j.noStopNG);
    // 17. A finished alarm is reported to the companion peer.
    ports->judged();
    steer.reTrainState = 0;
}

DetectionCycle::Judgement DetectionCycle::beginJudgement(bool clear) const
{
    Judgement j;
    j.clear = clear;
    j.mode = Mode();
    j.s = gpState->step;
    j.P = ResultSlot(j.mode, j.s);
    j.L = j.mode == kModeMulti ? gDNum - 1 : 1;
    j.pulses = Par(&WizardPara::okNgPulses) != 0;                  // system5 9
    j.prodNoAlarm = Par(&WizardPara::ejectorPulseNoAlarm) != 0;    // system2 7
    j.noEjectorCtrl = Par(&WizardPara::noEjectorCtrlInProd) != 0;  // system2 9
    j.prodNoEjector = Par(&WizardPara::prodNgNoEjector) != 0;      // system9 15
    j.mouldNoAlarm = Par(&WizardPara::moldNgPulse) != 0;           // system14 1
    j.ejectorP = Par(&WizardPara::ejectorPulse);                   // system2 5
    j.clampP = Par(&WizardPara::clampPulse);                       // system2 6
    j.redetectsLeft = j.P >= 0 && j.P < kMaxDetections ? gpState->reCheckCount[j.P] : 0;
    j.clampPulse = j.pulses && j.clampP > 0;
    return j;
}

void DetectionCycle::judgeCameras(Judgement& j)
{
    const int n = ports->cameraCount();
    for (int c = 0; c < n && c < kMaxCameras; ++c) {
        if (!ports->cameraNG(c))
            continue;
        j.ng[c] = j.NG = true;
        ports->blinkCameraAlarm(c);
    }
    gpState->lastCycleNG = j.NG;
}

void DetectionCycle::countTemperatureAlarm(Judgement& j)
{
    if (j.P == 1) {
        if (Par(&WizardPara::shieldPin) != 0 && !j.NG)  // system13 20
            steer.trigSkipCount = 0;
        if (!reCheckJudge && gisTempAlarm)
            j.NG = true;
    }
    reCheckJudge = false;
}

void DetectionCycle::setStepOutputs(Judgement& j)
{
    if (j.pulses) {
        setOut(kClampOut, j.NG ? 1 : 0);
        setOut(kEjectorOut, j.NG ? 0 : 1);
        setOut(kAlarmOut, j.NG ? 1 : 0);
        return;
    }
    if (j.mode == kModeMulti) {
        setStageOutputs(j);
    } else if (j.P == 0) {
        if (!j.NG) {
            if (j.prodNoEjector) {
                setOut(kEjectorOut, 1);
                j.ejectorPulse = true;
            } else if (!j.noEjectorCtrl && !j.prodNoAlarm) {
                setOut(kEjectorOut, 0);
            }
        } else if (j.prodNoEjector) {
            j.ejectorPulse = true;
        } else if (!j.prodNoAlarm) {
            j.alarm = true;
        }
    } else if (j.P == 1) {
        if (!j.NG) {
            if (!gisReTrain && !j.mouldNoAlarm)
                setOut(kClampOut, 0);
        } else if (!j.mouldNoAlarm) {
            j.alarm = true;
        }
    }
    gpState->reCheckPending = 0;
}

// Machine mode 3: the step's own output by its group's cut mode.
void DetectionCycle::setStageOutputs(Judgement& j)
{
    // The judged step, not the stage selected last: inputs of several stages in one poll
    // select them all before the first is judged.
    const int k = j.s;
    const int out = StepOutput(k);
    const int cut = GroupCutMode(StepGroup(k));
    if (!j.NG) {
        setOut(out, 0);
        if ((cut == 3 || cut == 4) && j.clampP > 0 && out >= 0) {
            sysFunc4Pending = true;
            sysFunc4Output = out;
            j.stepOutputPulse = true;
        }
        nextStepTrigger(k);
    } else {
        if (cut == 5)
            setOut(out, 1);
        j.alarm = true;
    }
}

void DetectionCycle::decideShowAndCount(Judgement& j)
{
    const int P = j.P;
    j.noStopNG = j.NG && (j.pulses || (P == 0 && (j.prodNoAlarm || j.prodNoEjector)) || (P == 1 && j.mouldNoAlarm));
    if (j.NG) {
        if (j.noStopNG) {
            j.show = true;
            j.count = !(j.pulses && j.redetectsLeft != 0);
        } else {
            j.count = j.redetectsLeft == 0;
        }
    } else if (gpState->pageState == kPageAlarm) {
        if (P == 0 && j.prodNoAlarm) {
            j.count = true;
        } else {
            // 8. The OK re-check ends the alarm.
            endAlarmOnOkRecheck(j);
            j.show = j.count = true;
        }
    } else {
        j.show = j.count = true;
    }
}

// The peer's alarm state becomes "finish pending" and the teaching page leaves the alarm page.
void DetectionCycle::endAlarmOnOkRecheck(const Judgement& j)
{
    ports->leaveAlarm();
    endTimedRelease();
    if (j.mode == kModeMulti) {
        setOut(kAlarmOut, 0);
    } else if (j.P == 1) {
        setOut(kClampOut, 0);
        setOut(kAlarmOut, 0);
    } else if (j.P == 0) {
        setOut(kEjectorOut, 0);
        setOut(kAlarmOut, 0);
    }
    gpState->pageState = kPageMain;
    ports->resetRun();
    gpState->runState = kRunDetecting;
    if (j.P == 0 && j.mode == kModeStandard && Par(&WizardPara::semiAuto) == 0) {  // system1 1
        steer.pendingInput = 1;
        steer.restartStep = 1;
    }
    emit alarmEnded();
}

void DetectionCycle::showResult(const Judgement& j)
{
    gpState->pageState = kPageResult;
    steer.shownStep = j.s;
    ports->showResult(j.s, j.NG && j.pulses);
    if (j.P == 1 && !j.NG && StepEnabled(0) && Par(&WizardPara::cutEjectorOnClamp) != 0 && !j.prodNoAlarm &&
        !j.noEjectorCtrl)  // system2 1
        setOut(kEjectorOut, 1);
}

void DetectionCycle::setCountedOutputs(Judgement& j)
{
    const bool NG = j.NG;
    const int P = j.P;
    // 11. Product NG without alarm: reject groups and the ejector pulse.
    if (NG && P == 0 && j.prodNoAlarm) {
        for (int g = 0; g < kRejectGroups; ++g) {
            if (steer.rejectGroupNG[g])
                setOut(kFirstRejectOut + g, 1);
        }
        if (!j.noEjectorCtrl)
            setOut(kEjectorOut, 1);
        j.rejectPulse = j.ejectorP > 0;
        if (j.mode == kModeMulti)
            nextStepTrigger(j.s);
    }
    // 12. Mould NG without alarm: clamp and alarm pulse.
    if (NG && P == 1 && j.mouldNoAlarm) {
        setOut(kClampOut, 1);
        setOut(kAlarmOut, 1);
        j.clampPulse = true;
    }
    // 13. Timed cuts after an OK.
    if (!NG && P == 0 && Par(&WizardPara::cutEjectorTimedProdOk) != 0)  // system8 18
        j.thimblePulse = true;
    if (!NG && P == 1 && Par(&WizardPara::cutClampTimedMoldOk) != 0)  // system2 8
        j.clampPulse = true;
    // 14. Production-count alarm after an OK mould: the clamp output stays on.
    const int limit = Par(&WizardPara::okMoldNum);  // system14 3
    if (!NG && P == 1 && limit != 0) {
        if (steer.reTrainState == 1) {
            gpState->productCount = 0;
        } else if (steer.reTrainState == 0 && !j.clear && ++gpState->productCount >= limit) {
            setOut(kClampOut, 1);
            setOut(kAlarmOut, 1);
            gpState->productAlarm = true;
        }
    }
}

void DetectionCycle::publish(const Judgement& j)
{
    flush();
    if (j.stepOutputPulse)
        ports->startPulse(CyclePulse::StepOutput, j.clampP);
    if (j.ejectorPulse)
        ports->startPulse(CyclePulse::OutputsOff, j.ejectorP);
    if (j.clampPulse)
        ports->startPulse(CyclePulse::NotAllowClose, j.clampP);
    if (j.rejectPulse)
        ports->startPulse(CyclePulse::RejectNG, j.ejectorP);
    if (j.thimblePulse)
        ports->startPulse(CyclePulse::NotAllowThimble, j.ejectorP);
}

void DetectionCycle::raiseAlarm(const Judgement& j)
{
    // Outputs set here are published by the judgement with the rest of its outputs.
    if (steer.autoRun && j.mode != kModeMulti)
        setOut(kClampOut, 1);
    gpState->pageState = kPageAlarm;
    ports->showAlarm(j.s, j.ng);
    gpState->pageState = kPageAlarm;
    gpState->reCheckPending = 0;
    if (j.P == 1 && Par(&WizardPara::moldNgTimedRelease) != 0) {  // system9 11
        setOut(kOutput4, 1);
        timedReleaseOutput = true;
        ports->startPulse(CyclePulse::TimedRelease, Par(&WizardPara::output4Pulse));  // system9 12
    }
    emit alarmRaised(j.s);
}

// Machine mode 3: after step k, the next step with a trigger is started again by the same
// input when it shares it.
void DetectionCycle::nextStepTrigger(int k)
{
    int next = -1;
    for (int j = k + 1; j < gDNum && j < kMaxDetections; ++j) {
        if (StepTrigger(j) != -1) {
            next = j;
            break;
        }
    }
    if (next >= 0 && StepTrigger(next) == StepTrigger(k)) {
        steer.reTrigInput = StepTrigger(next);
        steer.pendingInput = -1;
    } else {
        steer.reTrigInput = -1;
        if (steer.pendingInput != -1) {
            steer.reTrigInput = steer.pendingInput;
            steer.pendingInput = -1;
        }
    }
}

// The alarm is over, however it ended: its automatic release must not fire into a later
// cycle, and the mould-NG output it switched on goes off with it (published by the caller).
void DetectionCycle::endTimedRelease()
{
    releaseAwaitsCameras = false;
    releaseAwaitsJudgement = false;
    alarmWithoutPicture = false;
    if (ports)
        ports->stopPulse(CyclePulse::TimedRelease);
    if (timedReleaseOutput) {
        setOut(kOutput4, 0);
        timedReleaseOutput = false;
    }
}

bool DetectionCycle::releaseAlarm()
{
    // An alarm the operator has already cleared leaves nothing to release.
    if (!gpState || gpState->pageState != kPageAlarm)
        return false;
    // Released now, the alarm would end while nothing can see the mould and the lost camera's
    // hold would be all that keeps the machine: the release waits for the cameras.
    if (ports && !ports->camerasOpen()) {
        releaseAwaitsCameras = true;
        return false;
    }
    // Nothing judged the mould (no picture): released now, it would go unjudged.
    if (alarmWithoutPicture) {
        releaseAwaitsJudgement = true;
        return false;
    }
    // Its output 4 goes off no sooner than the board can have seen it on.
    return !ports || ports->pulseMayEnd(CyclePulse::TimedRelease);
}

void DetectionCycle::clearStepAlarm()
{
    if (!gpState)
        return;
    const int s = gpState->step;
    if (ports)
        ports->resetRun();
    if (s >= 0 && s < kMaxDetections) {
        for (int c = 0; ports && c < ports->cameraCount() && c < kMaxCameras; ++c) {
            if (gpState->detectState[c][s] == kStateAlarmWaits)
                gpState->detectState[c][s] = kStateClearedNotDetect;
        }
    }
    reCheckJudge = true;
    judgeStep(true);
}

void DetectionCycle::start()
{
    if (!ports || !gpState)
        return;
    MainState& st = *gpState;
    ports->resetAllOutputs();
    clampSet = false;
    if (Par(&WizardPara::cutEjectorOnClamp) != 0)  // system2 1
        setOut(kEjectorOut, 1);
    if (Par(&WizardPara::cutClampTimedMoldOk) != 0 && Par(&WizardPara::clampPulse) > 0)  // system2 8, system2 6
        setOut(kClampOut, 1);
    if (Par(&WizardPara::cutEjectorTimedProdOk) != 0 && Par(&WizardPara::ejectorPulse) > 0)  // system8 18, system2 5
        setOut(kEjectorOut, 1);
    presetStageOutputs();
    flush();
    st.pageState = kPageMain;
    st.reCheckPending = 0;
    std::fill(std::begin(st.reCheckCount), std::end(st.reCheckCount), 0);
    ports->resetRun();
    st.runState = kRunDetecting;
    steer.trigSkipCount = 0;
}

void DetectionCycle::keepHeldMould(bool alarmHeld)
{
    // With the clamp held by the start's own options nothing is released, and a clamp held
    // between cycles tells of no open mould.
    if (!ports || !gpState || clampSet)
        return;
    MainState& st = *gpState;
    const int mode = Mode();
    int d = mode == kModeMulti ? gDNum - 1 : 1;
    if (TwoSidedMode(mode) && st.moldSide == 0)
        d += 2;
    if (d < 0 || d >= kMaxDetections || !StepEnabled(d))
        return;
    setOut(kClampOut, 1);
    if (alarmHeld)
        setOut(kAlarmOut, 1);
    flush();
    heldMouldCounted = alarmHeld;
    st.step = d;
    if (mode == kModeMulti)
        steer.multiDetectIndex = d;
    const int slot = ResultSlot(mode, d);
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) {
        steer.stepCameraMask[slot] |= 1 << c;
        ports->forgetDetected(c, d);
        st.detectState[c][d] = 1;
    }
    holdStep(d);
}

void DetectionCycle::presetStageOutputs()
{
    if (Mode() != kModeMulti || gDNum < 1)
        return;
    for (int k = 0; k < gDNum && k < kMaxDetections; ++k) {
        const int g = StepGroup(k);
        const int cut = GroupCutMode(g);
        if (cut != 3 && cut != 4)
            continue;
        for (int j = k; j < gDNum && j < kMaxDetections; ++j) {
            const int gj = StepGroup(j);
            if ((cut == 4 && gj != kNoGroup) || (cut == 3 && g != kNoGroup && gj == g))
                setOut(StepOutput(j), 1);
        }
    }
}

void DetectionCycle::stop()
{
    if (!ports || !gpState)
        return;
    ports->resetAllOutputs();
    if (Par(&WizardPara::stopClampOnStop) == 1)  // system1 5
        setOut(kClampOut, 1);
    flush();
    ports->forgetTriggers();
    if (Mode() == kModeMulti) {
        for (int k = 0; k < kMaxDetections; ++k) ports->setCamerasOwing(k, 0);
        gpState->step = steer.multiDetectIndex = qMax(0, gDNum - 1);
    }
    ports->holdDetection();
    steer.heldSteps = 0;
    heldMouldCounted = false;
    gpState->runState = kRunStopped;
}
