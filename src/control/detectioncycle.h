// The decisions of the detection cycle: the pass of the input scan (which edges latch, which
// step's countdown an input starts, the door and manual triggers), which outputs a judged
// step sets, whether it raises the NG alarm, re-checks or shows and counts its result, the
// timed release of the alarm and the ends of the output pulses. The window (or a test) supplies the environment
// through CyclePorts; the shared state it reads and writes is gpState's.
#pragma once

#include <QObject>

#include "monitorlimits.h"

// The output pulses of a judgement, each ended by its own timer.
enum class CyclePulse
{
    StepOutput,     // machine mode 3: the delayed switch of the step's own output
    OutputsOff,     // product NG without stop: the ejector pulse
    NotAllowClose,  // the clamp (and alarm) pulse
    RejectNG,       // the reject groups' pulse
    NotAllowThimble,
    TimedRelease,  // the alarm's automatic release
};

// What the cycle asks of its environment.
class CyclePorts
{
public:
    virtual ~CyclePorts() = default;
    virtual int cameraCount() const = 0;
    // The recognition result of camera c for the step just run.
    virtual bool cameraNG(int camera) const = 0;
    virtual void blinkCameraAlarm(int camera) { (void)camera; }
    virtual void setOut(int output, int on) = 0;
    virtual void flush() = 0;
    virtual void startPulse(CyclePulse pulse, int tenths) = 0;
    virtual void stopPulse(CyclePulse pulse) = 0;
    // At a pulse's end: false while the word that began it has not reached the board long
    // enough (its timer is then started again for the rest).
    virtual bool pulseMayEnd(CyclePulse pulse)
    {
        (void)pulse;
        return true;
    }
    // False while a page that hides the camera views (the settings screen) is up.
    virtual bool resultMayShow() const { return true; }
    // The judged step's result goes on show (timer, repaint, lamps).
    virtual void showResult(int step, bool pulseNG) { (void)step, (void)pulseNG; }
    // The window's part of a raised alarm: peer, screen wake, stop, alarm page, lamps, record.
    virtual void showAlarm(int step, const bool ng[]) { (void)step, (void)ng; }
    // The window's part of an alarm ended by an OK re-check: peer, teaching page, cycle reset.
    virtual void leaveAlarm() {}
    // Detection stops: the delayed output, the pictures taken and the latched inputs are
    // forgotten.
    virtual void forgetTriggers() {}
    // The countdowns stop and the cycle holds (MoJuWizard::SetStopDetect).
    virtual void holdDetection() {}
    // Every output off (not published).
    virtual void resetAllOutputs() {}
    // Clears the judged cameras and the countdowns (MoJuWizard::ResetRun).
    virtual void resetRun() {}
    // Camera c has its picture of step s judged (the re-detection leaves it alone).
    virtual bool cameraDetected(int camera, int step) const { (void)camera, (void)step; return true; }
    // Bit c of mask: camera c owes its result of result slot `slot` (stepCameraMask).
    virtual void setCamerasOwing(int slot, int mask) { (void)slot, (void)mask; }
    // Runs the recognition of camera c on its picture of step s (RunAlgorithm).
    virtual void runRecognition(int camera, int step) { (void)camera, (void)step; }
    // Camera c has no picture of step s: it is NG, and its outputs act as any NG camera's.
    virtual void judgeWithoutPicture(int camera, int step) { (void)camera, (void)step; }
    // The countdown of step d: its timer runs; stop it.
    virtual bool countdownRunning(int d) const { (void)d; return false; }
    virtual void stopCountdown(int d) { (void)d; }
    // The camera views show the countdowns.
    virtual void repaintViews() {}
    // At the end of step d's countdown: true when a camera is away, or was lost while it
    // counted down; the step then waits for a picture taken after every camera is back.
    virtual bool holdForLostCamera(int d) { (void)d; return false; }
    // Every camera open and connected.
    virtual bool camerasOpen() { return true; }
    // After an OK last step with automatic template update: the pictures for the new templates.
    virtual void keepTemplatePictures() {}
    // The statistics and counters of a counted judgement; lastStep ends the cycle.
    virtual void count(const bool ng[], bool NG, bool lastStep) { (void)ng, (void)NG, (void)lastStep; }
    // Failure pictures of the step and their hand-off to the image writer.
    virtual void keepPictures(int step, const bool ng[], bool NG, bool redetecting, bool noStopNG)
    {
        (void)step, (void)ng, (void)NG, (void)redetecting, (void)noStopNG;
    }
    // A judgement is done (the peer's alarm timing).
    virtual void judged() {}

    // The window's side of a pass of the input scan (MoJuWizard::Run).
    // A pass came while one or a recognition is under way: offered again later, liveness stamp.
    virtual void offerPassLater() {}
    // White balance once, 50 passes after start and after each camera recovery.
    virtual void balanceWhiteOnce() {}
    // The board's edge of trigger input i since the last pass (0 none).
    virtual int inputEdge(int i) { (void)i; return 0; }
    // Starts the debounce of input i for `tenths`; false when it has none (latched at once).
    virtual bool startDebounce(int i, int tenths) { (void)i, (void)tenths; return false; }
    // Every camera view takes its newest picture.
    virtual void takeNewestPictures() {}
    // A lost camera holds the machine (note, slow passes).
    virtual void holdForLostCameras() {}
    // While a camera is away the clamp output is held on over whatever level the cycle sets
    // (published by the next flush); when the hold ends the cycle's own level is published.
    virtual void holdClampForCameras(bool hold) { (void)hold; }
    // Every camera is back (note, record) after a loss.
    virtual void noteCamerasBack() {}
    // The production-count alarm's box shows until confirmed.
    virtual void showProductionAlarm() {}
    // The alarm page takes the latched inputs (re-check buttons).
    virtual void takeAlarmPageInputs() {}
    // The no-input watch of the cycle stops.
    virtual void stopInputWatch() {}
    // The delayed automatic re-check: its timer runs; start it (false when there is none).
    virtual bool recheckDelayRunning() const { return false; }
    virtual bool startRecheckDelay(int tenths) { (void)tenths; return false; }
    // Camera c's picture of step d is to be taken and judged anew.
    virtual void forgetDetected(int camera, int d) { (void)camera, (void)d; }
    // Every camera has delivered a new picture since the last image trigger (and it is reset).
    virtual bool takeImageTrigger() { return false; }
    // A cycle starts: the period record, the no-input watch (or its alarm ends), the
    // cycle's NG cameras forgotten.
    virtual void cycleStarts() {}
    // Step d's countdown timer starts ticking (every 100 ms).
    virtual void startCountdown(int d) { (void)d; }
    // The window repaints (countdowns, side).
    virtual void repaint() {}
    // End of a pass: the next is offered and the IO thread told the window lives.
    virtual void passDone() {}
};

// Values the window's other cycle steps (trigger scan, recognition) share with the judgement.
struct CycleSteering
{
    int multiDetectIndex = 0;
    int reTrigInput = -1;
    int pendingInput = -1;
    int restartStep = 0;
    int reTrainState = 0;  // 0 input trigger, 1 template re-sampling, 2 manual trigger
    int trigSkipCount = 0;
    int autoRun = 1;
    int shownStep = 0;             // step whose result is on show until TimerShow
    bool rejectGroupNG[4] = {};    // reject group g had an NG region in this cycle's product step
    int manualTrig = 0;            // detection of a manual trigger; gDNum means none
    int stepCameraMask[kMaxDetections] = {};  // bit c: camera c still owes its result of the step
    bool inputLatch[kTriggerInputs] = {};     // input i rose (debounced) since the last pass
    int reCheckDelay = 0;                     // tenths of a second
    qint64 cycleStartTime = 0;  // tenths of a second since the epoch; 32 bits would overflow
    int lastDelay = 0;          // tenths, the delay last started (additive delays)
    // Bit d: a camera was lost while step d counted down, so its last picture may be from
    // before the loss (set by the window's LostCamera, cleared when the countdown starts,
    // ends or is stopped).
    unsigned lostInCountdown = 0;
    // Bit d: step d's countdown ended while a camera was away (or had been): the clamp holds
    // and the step waits for a new picture of every camera (cleared when it is judged or
    // detection stops).
    unsigned heldSteps = 0;
};

class DetectionCycle : public QObject
{
    Q_OBJECT

public:
    explicit DetectionCycle(QObject* parent = nullptr);
    void setPorts(CyclePorts* ports);
    // A pass of the input scan (every 100 ms): edges, pictures, lost cameras, alarms,
    // re-detection, the door, manual and image triggers, then the latched inputs.
    void pass();
    CycleSteering& steering() { return steer; }

    // Detection starts: the outputs the options hold from the start, a fresh cycle state.
    void start();
    // Right after start: the board held the clamp when the program started, so a mould the
    // last run left unjudged may be open. Unless the start holds the clamp itself, the clamp
    // stays on and the mould step is judged on the first pictures, as a step held for a lost
    // camera is (the NG alarm when none comes). alarmHeld: the board held the NG alarm too, so
    // that mould was judged and counted before the stop; the alarm stays on and the new
    // judgement counts nothing.
    void keepHeldMould(bool alarmHeld = false);
    // Detection stops: outputs off but the clamp the option holds, the cycle back to its start.
    void stop();
    // Machine mode 3: presets the step outputs by their cut modes (published by the caller).
    void presetStageOutputs();
    // Judges the current step (gpState->step) over all cameras; clear: the operator's answer
    // or a re-check, which counts nothing.
    void judgeStep(bool clear);
    // The current step's cameras waiting on the alarm are taken as not detected and the step
    // is judged again without counting.
    void clearStepAlarm();
    // A tick of step d's countdown (100 ms): at its end the step's cameras are recognised
    // and judged.
    void countdownTick(int d);
    // The delayed re-check of the current step after an NG with re-checks left.
    void recheck();
    // A recognition and its judgement are under way (a box of it may run the event loop).
    bool busy() const { return inDetection; }
    // The operator's re-check of the current step: its cameras not yet passed owe a result
    // again and are judged, then the step is judged with the operator's answer.
    void redetectStep();
    // The alarm's automatic release; nothing when the alarm is already over.
    bool releaseAlarm();
    // Stops the automatic release and switches its output off (not published).
    void endTimedRelease();
    // The next judgement skips the template-alarm handling (a re-detection).
    void markRecheck() { reCheckJudge = true; }
    // Machine mode 3: after step k, the next step with a trigger is started again by the same
    // input when it shares it.
    void nextStepTrigger(int k);
    // Pulse ends.
    void endPulse(CyclePulse pulse);
    // The shown result's time is up: the cycle moves on to its next step unless a re-check
    // or an alarm holds it. True when the result page gave way to the main view.
    bool resultShown();

signals:
    void outputsChanged();
    void alarmRaised(int step);
    void alarmEnded();

private:
    struct Judgement;
    Judgement beginJudgement(bool clear) const;
    void judgeCameras(Judgement& j);
    void countTemperatureAlarm(Judgement& j);
    void setStepOutputs(Judgement& j);
    void setStageOutputs(Judgement& j);
    void decideShowAndCount(Judgement& j);
    void endAlarmOnOkRecheck(const Judgement& j);
    void showResult(const Judgement& j);
    void setCountedOutputs(Judgement& j);
    void publish(const Judgement& j);
    void raiseAlarm(const Judgement& j);
    void setOut(int output, int on);
    void flush();
    void endStepOutputPulse();
    void advanceStep();
    void applyHeldTicks();
    // The steps of a pass; those returning bool end the pass when true.
    void passSteps();
    bool countdownRunning() const;
    bool scanInputEdges(bool busy);
    bool holdForProductionAlarm();
    bool takeAlarmPageInputs();
    bool redetectFailedStep();
    void doorTriggersMouldStep();
    bool followSidesWhileStopped();
    bool runManualTrigger();
    void triggerOnNewPictures();
    void startLatchedInputs();
    void endPass();
    // A step held for a lost camera: judged once every camera has a new picture; the NG alarm
    // when none comes in time.
    void holdStep(int d);
    void watchHeldSteps(bool camerasBack);
    void releaseAfterCameras();
    // The end of step d's countdown: its cameras recognised (those in `withoutPicture` NG
    // without one) and the step judged.
    void recogniseAndJudge(int d, unsigned withoutPicture, bool pictureMissing);
    bool inputStartsCycle(int input) const;
    void followSideOfInput(int input);
    void startCycle(int input);
    void setCycleStartOutputs(int input);
    void reopenMouldSide();
    // Machine mode 3: 0 a step was chosen, 1 the input starts none, 2 the pass ends.
    int selectStage(int input);
    int stepOfTrigger(int input) const;
    int nextStageStep() const;
    bool startCountdowns(int input);
    bool countdownMatches(int k, int input, bool* restart) const;

    CyclePorts* ports = nullptr;
    CycleSteering steer;
    bool reCheckJudge = false;
    bool sysFunc4Pending = false;  // machine mode 3: a delayed output switch is armed
    int sysFunc4Output = -1;       // its output index, -1 none
    bool timedReleaseOutput = false;
    // The alarm up came from a step judged without a picture of some camera: nothing judged
    // the mould, so the timed release waits for a judgement (the operator's re-check) and
    // then falls due at once; the operator's own answer still releases.
    bool alarmWithoutPicture = false;
    bool releaseAwaitsJudgement = false;
    // The held mould of the start was judged and counted by the run before (the board held
    // its alarm): its judgement now counts nothing.
    bool heldMouldCounted = false;
    // The timed release came while a camera was away: it is carried out once every camera is
    // back, never on a camera's old picture and never letting the machine close meanwhile.
    bool releaseAwaitsCameras = false;
    // The clamp level the cycle last set itself (start() begins it at off).
    bool clampSet = false;
    // A recognition is under way: a second must not start from a nested event loop.
    bool inDetection = false;
    // A pass is under way (a box it opened runs the event loop).
    bool inPass = false;
    // Countdown ticks that came while a recognition was under way, applied when it returns:
    // a box it opened must not stretch the other steps' countdowns.
    int heldTicks[kMaxDetections] = {};
    // Held steps: the time the cycle first saw the cameras away (-1 all there), whether every
    // camera has been seen back since the hold with the pictures counted then, and when the
    // alarm is due without a new picture (steerable monotonic clock).
    qint64 lostSinceMs = -1;
    bool heldCamerasBack = false;
    int heldPictures[kMaxCameras] = {};
    qint64 heldDueMs = 0;
};
