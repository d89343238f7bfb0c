// The detection cycle's timing: countdown ticks, the delayed and the operator's re-checks,
// the step after a shown result and the ends of the output pulses.
#include <algorithm>
#include <utility>

#include "detectioncycle.h"
#include "mainstate.h"
#include "mojuwizard_cycleparams.h"
#include "platformclock.h"

using namespace cycle;

namespace {

// A countdown above this has at least one more tick to go.
constexpr float kCountdownLeft = 0.11f;
constexpr float kTickSeconds = 0.1f;
// A step held for a lost camera gets its alarm when the camera is still away this long after
// the cycle saw it go: the passes of a camera loss do not tell the IO thread the window lives,
// and 11 s after the last pass that did, the board hears nothing more, the alarm included.
constexpr qint64 kHeldAwayMs = 6000;
// Once every camera is back, each has this long to deliver a new picture.
constexpr qint64 kHeldPictureMs = 2000;

}  // namespace

void DetectionCycle::endPulse(CyclePulse pulse)
{
    if (!ports || !gpState || !ports->pulseMayEnd(pulse))
        return;
    ports->stopPulse(pulse);
    const bool stopped = gpState->runState == kRunStopped;
    switch (pulse) {
        case CyclePulse::OutputsOff:
            setOut(kEjectorOut, 0);
            setOut(kAlarmOut, 0);
            flush();
            break;
        case CyclePulse::RejectNG:
            if (Par(&WizardPara::noEjectorCtrlInProd) == 0)  // system2 9
                setOut(kEjectorOut, 0);
            for (int g = 0; g < kRejectGroups; ++g) setOut(kFirstRejectOut + g, 0);
            flush();
            break;
        case CyclePulse::NotAllowClose:
            if (Par(&WizardPara::okNgPulses) != 0) {  // system5 9
                setOut(kClampOut, 0);
                setOut(kEjectorOut, 0);
            } else if (Par(&WizardPara::moldNgPulse) != 0) {  // system14 1
                setOut(kClampOut, 0);
            } else {
                // The clamp is allowed again a fixed time after an OK mould.
                if (!stopped) {
                    setOut(kClampOut, 1);
                    flush();
                }
                return;
            }
            setOut(kAlarmOut, 0);
            flush();
            break;
        case CyclePulse::StepOutput:
            endStepOutputPulse();
            break;
        case CyclePulse::NotAllowThimble:
            if (Par(&WizardPara::okNgPulses) != 0) {  // system5 9
                setOut(kClampOut, 0);
                setOut(kEjectorOut, 0);
            } else if (!stopped) {
                setOut(kEjectorOut, 1);
            }
            flush();
            break;
        case CyclePulse::TimedRelease:
            break;
    }
}

void DetectionCycle::endStepOutputPulse()
{
    if (Mode() != kModeMulti)
        return;
    if (sysFunc4Pending && sysFunc4Output != -1) {
        setOut(sysFunc4Output, 1);
        flush();
    }
    sysFunc4Pending = false;
    sysFunc4Output = -1;
}

bool DetectionCycle::resultShown()
{
    if (!gpState)
        return false;
    MainState& st = *gpState;
    st.cyclePhase = 3;
    if (st.pageState == kPageAlarm)
        return false;
    if (st.reCheckPending == 0 && steer.shownStep == st.step && gDNum > 0)
        advanceStep();
    if (st.pageState != kPageResult)
        return false;
    st.pageState = kPageMain;
    return true;
}

void DetectionCycle::advanceStep()
{
    int& step = gpState->step;
    const int mode = Mode();
    const int next = (step + 1) % gDNum;
    if (mode == kModeMulti) {
        // With no enabled detection the step stays where it is.
        for (int i = 0; i < gDNum; ++i) {
            const int j = (next + i) % gDNum;
            if (StepEnabled(j)) {
                step = j;
                break;
            }
        }
        return;
    }
    step = next;
    if ((step & 1) == 0 && Par(&WizardPara::detectProd) == 0)  // system1 2
        step = (step + 1) % gDNum;
    if (TwoSidedMode(mode)) {
        const int side = Par(&WizardPara::moldSide);  // numFailDetect 2
        if (side == 0)
            step = step % 2;
        else if (side == 1)
            step = step % 2 + 2;
    }
}

void DetectionCycle::redetectStep()
{
    if (!gpState || !ports)
        return;
    const int s = gpState->step;
    ports->resetRun();
    if (s < 0 || s >= kMaxDetections)
        return;
    const int mode = Mode();
    const int t = ResultSlot(mode, s);
    const int last = mode == kModeMulti ? gDNum - 1 : 1;
    int owing = 0;
    ports->setCamerasOwing(t, owing);

    // The hold outputs of the step go on again while its cameras are judged anew.
    const bool ejectorFree = Par(&WizardPara::noEjectorCtrlInProd) == 0 &&  // system2 9
                             Par(&WizardPara::ejectorPulseNoAlarm) == 0 &&  // system2 7
                             Par(&WizardPara::cutEjectorOnProdAlarm) == 0;  // system5 11
    if (t == last && Par(&WizardPara::cutClampOnMoldAlarm) == 0) {          // system5 13
        if (Par(&WizardPara::moldNgPulse) == 0)                             // system14 1
            setOut(kClampOut, 1);
        else if (t == 0 && ejectorFree)
            setOut(kEjectorOut, 1);
    } else if (t == 0 && ejectorFree) {
        setOut(kEjectorOut, 1);
    }
    flush();

    // Cameras the operator took as not detected keep that answer.
    int again[kMaxCameras];
    int n = 0;
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) {
        if (ports->cameraDetected(c, s) || !StepEnabled(s))
            continue;
        owing |= 1 << c;
        ports->setCamerasOwing(t, owing);
        if (gpState->detectState[c][s] == kStateAlarmWaits)
            gpState->detectState[c][s] = kStateRedetect;
        again[n++] = c;
    }
    for (int i = 0; i < n; ++i) ports->runRecognition(again[i], s);
    reCheckJudge = true;
    alarmWithoutPicture = false;
    const bool releaseDue = std::exchange(releaseAwaitsJudgement, false);
    judgeStep(true);
    // A timed release held back for want of a judgement is due now that there is one.
    if (releaseDue && gpState->pageState == kPageAlarm)
        ports->startPulse(CyclePulse::TimedRelease, 0);
}

void DetectionCycle::countdownTick(int d)
{
    if (d < 0 || d >= kMaxDetections || !ports || !gpState)
        return;
    MainState& st = *gpState;
    if (inDetection) {
        // Not now (a box of the recognition runs the event loop), but not lost either.
        ++heldTicks[d];
        return;
    }
    const int last = Mode() == kModeMulti ? gDNum - 1 : 1;
    const int pre = Par(&WizardPara::preCut);  // system1 6
    if (d == last && pre >= 1 && pre <= 99 && pre + 0.01f >= 10.0f * st.countdown[d] &&
        Par(&WizardPara::okNgPulses) == 0) {  // system5 9
        setOut(kClampOut, 1);
        flush();
    }
    if (st.countdown[d] > kCountdownLeft) {
        st.countdown[d] -= kTickSeconds;
        ports->repaintViews();
        return;
    }

    ports->stopCountdown(d);
    if (ports->holdForLostCamera(d)) {
        holdStep(d);
        return;
    }
    recogniseAndJudge(d, 0, false);
}

void DetectionCycle::recogniseAndJudge(int d, unsigned withoutPicture, bool pictureMissing)
{
    MainState& st = *gpState;
    const int mode = Mode();
    const int last = mode == kModeMulti ? gDNum - 1 : 1;
    steer.heldSteps &= ~(1u << d);
    // No picture, no re-check: the alarm is raised now, not after a re-check that could not
    // get one either.
    const int slot = ResultSlot(mode, d);
    if (pictureMissing && slot >= 0 && slot < kMaxDetections)
        st.reCheckCount[slot] = 0;
    // Machine mode 3: the step whose countdown ended is the one judged (several may run).
    if (mode == kModeMulti)
        st.step = d;
    inDetection = true;
    bool allOK = true;
    for (int c = 0; c < ports->cameraCount() && c < kMaxCameras; ++c) {
        if ((withoutPicture >> c) & 1u)
            ports->judgeWithoutPicture(c, d);
        else
            ports->runRecognition(c, d);
        if (ports->cameraNG(c))
            allOK = false;
    }
    // A camera there but without a new picture: nothing judged the mould. (A camera away has
    // its own wait: the release waits for its return.)
    alarmWithoutPicture = withoutPicture != 0;
    const bool counted = std::exchange(heldMouldCounted, false);
    judgeStep(counted);
    st.cyclePhase = 2;
    if (st.pageState != kPageAlarm && d == last && allOK && st.reCheckPending == 0 &&
        Par(&WizardPara::templateAutoUpdate) != 0) {  // system4 1
        gisReShape = true;
        ports->keepTemplatePictures();
    }
    inDetection = false;
    applyHeldTicks();
}

void DetectionCycle::holdStep(int d)
{
    if (steer.heldSteps == 0) {
        heldCamerasBack = false;
        const qint64 now = PlatformClock::monotonicMs();
        heldDueMs = (lostSinceMs >= 0 ? lostSinceMs : now) + kHeldAwayMs;
    }
    steer.heldSteps |= 1u << d;
}

// Every pass, the lost camera's included: a held step is judged on the first pictures taken
// after every camera is back; without them in time it gets the NG alarm. Either way the
// clamp the hold set is never left standing on its own.
void DetectionCycle::watchHeldSteps(bool camerasBack)
{
    const qint64 now = PlatformClock::monotonicMs();
    if (!camerasBack) {
        if (lostSinceMs < 0)
            lostSinceMs = now;
        if (heldCamerasBack && steer.heldSteps != 0) {
            heldCamerasBack = false;
            heldDueMs = lostSinceMs + kHeldAwayMs;
        }
    } else {
        lostSinceMs = -1;
    }
    if (steer.heldSteps == 0 || inDetection)
        return;
    const int cameras = qMin(ports->cameraCount(), kMaxCameras);
    unsigned stale = 0;
    if (camerasBack && !heldCamerasBack) {
        // The pictures of this pass may have been taken before the return: count from here.
        heldCamerasBack = true;
        std::copy(gpState->frameCount, gpState->frameCount + kMaxCameras, heldPictures);
        heldDueMs = now + kHeldPictureMs;
        return;
    }
    if (camerasBack) {
        for (int c = 0; c < cameras; ++c) {
            if (gpState->frameCount[c] == heldPictures[c])
                stale |= 1u << c;
        }
        if (stale != 0 && now < heldDueMs)
            return;
    } else if (now < heldDueMs) {
        return;
    }
    // A camera still away is NG by itself (it has no picture to judge).
    const bool missing = !camerasBack || stale != 0;
    for (int d = 0; d < kMaxDetections && steer.heldSteps != 0; ++d) {
        if ((steer.heldSteps >> d) & 1u)
            recogniseAndJudge(d, stale, missing);
    }
}

void DetectionCycle::applyHeldTicks()
{
    for (int d = 0; d < kMaxDetections; ++d) {
        while (heldTicks[d] > 0 && !inDetection) {
            --heldTicks[d];
            // A countdown stopped meanwhile has no tick left to take.
            if (!ports->countdownRunning(d)) {
                heldTicks[d] = 0;
                break;
            }
            countdownTick(d);
        }
    }
}

void DetectionCycle::recheck()
{
    if (!ports || !gpState)
        return;
    MainState& st = *gpState;
    const int k = ResultSlot(Mode(), st.step);
    if (k < 0 || k >= kMaxDetections)
        return;
    if (inDetection || !ports->camerasOpen()) {
        // A recognition is under way (a box of it runs the event loop) or a camera is away:
        // the re-check is given back for the first pass after that to start again. Dropped,
        // the last one would leave the cycle waiting for it with no alarm.
        ++st.reCheckCount[k];
        return;
    }
    const int last = Mode() == kModeMulti ? gDNum - 1 : 1;
    int owing = 0;
    ports->setCamerasOwing(k, owing);
    if (k == last && (Par(&WizardPara::preCut) == 0 || st.reCheckCount[k] == 0))  // system1 6
        setOut(kClampOut, 1);
    else if (k == 0 && Par(&WizardPara::noEjectorCtrlInProd) == 0 &&
             Par(&WizardPara::ejectorPulseNoAlarm) == 0)  // system2 9, system2 7
        setOut(kEjectorOut, 1);
    flush();
    const int cameras = ports->cameraCount();
    if (cameras <= 0) {
        judgeStep(false);
        return;
    }
    inDetection = true;
    if (StepEnabled(st.step)) {
        for (int c = 0; c < cameras && c < kMaxCameras; ++c) owing |= 1 << c;
        ports->setCamerasOwing(k, owing);
        for (int c = 0; c < cameras && c < kMaxCameras; ++c) ports->runRecognition(c, st.step);
    }
    judgeStep(false);
    inDetection = false;
    applyHeldTicks();
}
