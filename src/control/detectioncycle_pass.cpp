// A pass of the detection cycle's input scan: which input edges latch, what ends the pass,
// the automatic re-detection, the door and manual triggers.
#include <algorithm>

#include "detectioncycle.h"
#include "mainstate.h"
#include "mojuwizard_cycleparams.h"

using namespace cycle;

void DetectionCycle::pass()
{
    if (!ports)
        return;
    if (inPass || inDetection) {
        ports->offerPassLater();
        return;
    }
    inPass = true;
    struct Leave
    {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inPass};
    passSteps();
}

void DetectionCycle::passSteps()
{
    // 1. White balance 50 passes after start and after each camera recovery.
    ports->balanceWhiteOnce();
    // 2. A running countdown holds every new trigger back.
    const bool busy = countdownRunning();
    if (busy)
        steer.pendingInput = -1;
    // 3. Input edges; every input's edge state advances on every pass.
    bool ends = scanInputEdges(busy);
    if (!ends) {
        // 4. Newest pictures.
        ports->takeNewestPictures();
        // 5. A lost camera holds the mould closed; passes slow to one a second. The hold
        // stands over the cycle's own clamp level, which whatever happens meanwhile (a
        // stop, an answer on the alarm page, a pulse's end) may set: no closing while a
        // camera is away, and once it is back the clamp is what the cycle left, never held
        // with nothing to judge and no alarm.
        if (!ports->camerasOpen()) {
            ports->holdClampForCameras(true);
            flush();
            ports->holdForLostCameras();
            watchHeldSteps(false);
            return;
        }
        // 6. Recovery; a step held for the camera is judged on its new pictures. The end of
        // the hold is published with the rest of this pass, in one word.
        ports->holdClampForCameras(false);
        ports->noteCamerasBack();
        watchHeldSteps(true);
        releaseAfterCameras();
    }
    // 7. The production-count alarm holds everything until it is confirmed.
    ends = ends || holdForProductionAlarm();
    // 8. The alarm page takes the inputs.
    ends = ends || takeAlarmPageInputs();
    // 9. Automatic re-detection of the failed step.
    ends = ends || redetectFailedStep();
    // 10. Automatic trigger: the safety door runs the mould step at once.
    if (!ends)
        doorTriggersMouldStep();
    // 11. Stopped: only the side switches of the two-colour machine are followed.
    ends = ends || followSidesWhileStopped();
    // 12. Manual trigger, without delay.
    ends = ends || runManualTrigger();
    // 13. Image trigger: every camera has a new picture.
    if (!ends)
        triggerOnNewPictures();
    // 14.-15. Latched inputs start cycles and countdowns.
    if (!ends && !busy)
        startLatchedInputs();
    // 16. End of every pass but the lost-camera one.
    endPass();
}

// A timed release that came while a camera was away is carried out now: its time is up.
void DetectionCycle::releaseAfterCameras()
{
    if (!releaseAwaitsCameras)
        return;
    releaseAwaitsCameras = false;
    ports->startPulse(CyclePulse::TimedRelease, 0);
}

bool DetectionCycle::countdownRunning() const
{
    // A step held for a lost camera is a countdown that has not ended in a judgement yet.
    bool busy = steer.heldSteps != 0;
    for (int d = 0; d < gDNum && d < kMaxDetections; ++d) busy = busy || ports->countdownRunning(d);
    return busy;
}

bool DetectionCycle::scanInputEdges(bool busy)
{
    bool ends = false;
    const int skipEdges = Par(&WizardPara::shieldPin);      // system13 20
    const int debounce = Par(&WizardPara::shakeEraseTime);  // system6 9
    for (int i = 0; i < kTriggerInputs; ++i) {
        // Every input is asked, also after the production alarm ended the pass: a rise left
        // unasked would start a cycle once the alarm is confirmed.
        const int edge = ports->inputEdge(i);
        if (!edge || busy || ends)
            continue;
        if (gpState->productAlarm) {
            ends = true;
            continue;
        }
        if (skipEdges != 0 && i == kEjectorBackInput && steer.trigSkipCount++ < skipEdges)
            continue;
        if (!(debounce > 0 && ports->startDebounce(i, debounce)))
            steer.inputLatch[i] = true;
    }
    return ends;
}

bool DetectionCycle::holdForProductionAlarm()
{
    if (!gpState->productAlarm)
        return false;
    ports->showProductionAlarm();
    return true;
}

bool DetectionCycle::takeAlarmPageInputs()
{
    if (gpState->pageState != kPageAlarm)
        return false;
    ports->takeAlarmPageInputs();
    ports->stopInputWatch();
    return true;
}

bool DetectionCycle::redetectFailedStep()
{
    if (!gpState->reCheckPending)
        return false;
    const int s = ResultSlot(Mode(), gpState->step);
    int* left = gpState->reCheckCount;
    if (s >= 0 && s < kMaxDetections && left[s] > 0 && !ports->recheckDelayRunning()) {
        --left[s];
        if (steer.reCheckDelay == 0 || !ports->startRecheckDelay(steer.reCheckDelay))
            recheck();
    }
    ports->stopInputWatch();
    return true;
}

void DetectionCycle::doorTriggersMouldStep()
{
    if (Par(&WizardPara::doorTriggerDetect) == 0 || gpState->runState == kRunStopped ||  // system3 11
        !(steer.inputLatch[kDoorInput] || steer.pendingInput == 1))
        return;
    steer.inputLatch[kDoorInput] = false;
    steer.pendingInput = -1;
    const bool sides = TwoSidedMode(Mode());
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) {
        for (int d : {1, 3}) {
            if (d == 3 && !sides)
                continue;
            ports->forgetDetected(c, d);
            gpState->detectState[c][d] = 1;
        }
    }
    steer.autoRun = 1;
    if (Mode() == kModeMulti && gDNum >= 1) {
        steer.multiDetectIndex = gDNum - 1;
        setOut(StepOutput(gDNum - 1), 1);
        countdownTick(gDNum - 1);
    } else {
        countdownTick(1);
    }
    steer.autoRun = 0;
}

bool DetectionCycle::followSidesWhileStopped()
{
    if (gpState->runState != kRunStopped)
        return false;
    if (Mode() == kModeTwoColour) {
        const int side = Par(&WizardPara::moldSide);  // numFailDetect 2
        if (steer.inputLatch[kEjectorBackInput] && side != 1)
            gpState->moldSide = 1;
        if (steer.inputLatch[kReserveInput] && side != 0)
            gpState->moldSide = 0;
    }
    ports->stopInputWatch();
    return true;
}

bool DetectionCycle::runManualTrigger()
{
    if (steer.manualTrig == gDNum)
        return false;
    const int mode = Mode();
    const int d = steer.manualTrig;
    steer.manualTrig = gDNum;
    const bool enabled = StepEnabled(d) || (TwoSidedMode(mode) && StepEnabled(d + 2));
    if (d < 0 || d >= kMaxDetections || !enabled)
        return false;
    const qint64 now = NowTenths();
    gpState->cycleTime = int(now - steer.cycleStartTime);
    steer.cycleStartTime = now;
    steer.reTrainState = 2;
    if (d == 0)
        std::fill(std::begin(steer.rejectGroupNG), std::end(steer.rejectGroupNG), false);
    gpState->reCheckCount[0] = gpState->reCheckCount[1] = 0;
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) gpState->detectState[c][d] = 1;
    if (mode == kModeMulti) {
        steer.multiDetectIndex = d;
        setOut(StepOutput(d), 1);
    }
    countdownTick(d);
    if (gpState->pageState != kPageAlarm)
        return false;
    if (Par(&WizardPara::okNgPulses) == 0 && mode != kModeMulti) {  // system5 9
        if (d == 1 && Par(&WizardPara::moldNgPulse) == 0)           // system14 1
            setOut(kClampOut, 1);
        if (d == 0 && Par(&WizardPara::noEjectorCtrlInProd) == 0 &&
            Par(&WizardPara::ejectorPulseNoAlarm) == 0)  // system2 9, system2 7
            setOut(kEjectorOut, 1);
    }
    flush();
    return true;
}

void DetectionCycle::triggerOnNewPictures()
{
    if (Par(&WizardPara::externalTrigger) == 0)  // system5 12
        return;
    if (ports->takeImageTrigger())
        steer.pendingInput = 0;
}

void DetectionCycle::endPass()
{
    flush();
    std::fill(std::begin(steer.inputLatch), std::end(steer.inputLatch), false);
    ports->passDone();
}
