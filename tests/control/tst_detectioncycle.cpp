// Decisions of the detection cycle's judgement without a window: a recording output sink,
// stand-in recognition results per camera and pulse timers on the steerable clock.
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "detectioncycle.h"
#include "globals.h"
#include "mainstate.h"
#include "platformclock.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

constexpr int kOutputs = 8;

// Records every output level the cycle sets, the words it publishes, the pulses it starts
// (as deadlines on the monotonic clock) and the window duties it asks for.
class RecordingPorts : public CyclePorts
{
public:
    DetectionCycle* cycle = nullptr;
    int cameras = 2;
    bool ng[kMaxCameras] = {};
    int level[kOutputs] = {};
    std::vector<std::vector<int>> published;
    std::map<CyclePulse, qint64> pulseDue;
    std::map<CyclePulse, int> pulseTenths;
    bool settingsUp = false;
    int shown = 0;
    int alarmsShown = 0;
    int alarmsLeft = 0;
    int resets = 0;
    int counted = 0;
    int countedLast = 0;
    // Stand-in recognition: the result each camera's re-run delivers, and what ran.
    bool detected[kMaxCameras] = {};
    bool rerunNG[kMaxCameras] = {};
    int owing = -1;
    std::vector<int> reran;
    std::function<void(int)> duringRecognition;
    bool countdownOn[kMaxDetections] = {};
    bool open = true;
    // Lost cameras: away ones judge NG; `stalled` ones deliver no new picture.
    bool away[kMaxCameras] = {};
    bool stalled[kMaxCameras] = {};
    bool hold = false;              // a camera was lost during the countdown
    bool clampHold = false;         // the lost cameras' hold of the clamp
    bool newPicturesOfAll = false;  // the image trigger
    bool recheckWaiting = false;    // the re-check's delay runs
    std::vector<int> withoutPicture;
    // The pass: board edges delivered once, debounce timers, countdowns started, duties.
    bool edge[kTriggerInputs] = {};
    int edgesAsked = 0;
    bool hasDebounce = true;
    std::map<int, int> debounceTenths;
    std::vector<int> countdownsStarted;
    std::vector<std::pair<int, int>> forgotten;
    int picturesTaken = 0;
    int lostHolds = 0;
    int productionAlarmShown = 0;
    int cyclesStarted = 0;
    int passesDone = 0;

    int cameraCount() const override { return cameras; }
    bool cameraNG(int c) const override { return ng[c]; }
    void setOut(int k, int on) override
    {
        if (k < kOutputs)
            level[k] = on;
    }
    // The board's word: the clamp held on while a camera is away, whatever its level.
    void flush() override
    {
        published.emplace_back(level, level + kOutputs);
        if (clampHold)
            published.back()[kClampOut] = 1;
    }
    void holdClampForCameras(bool on) override { clampHold = on; }
    void startPulse(CyclePulse p, int tenths) override
    {
        pulseDue[p] = PlatformClock::monotonicMs() + tenths * 100;
        pulseTenths[p] = tenths;
    }
    void stopPulse(CyclePulse p) override { pulseDue.erase(p); }
    bool resultMayShow() const override { return !settingsUp; }
    void showResult(int, bool) override { ++shown; }
    void showAlarm(int, const bool[]) override { ++alarmsShown; }
    void leaveAlarm() override { ++alarmsLeft; }
    void resetAllOutputs() override { std::fill(std::begin(level), std::end(level), 0); }
    // As the window's ResetRun: every camera is OK again until it is judged anew.
    void resetRun() override
    {
        ++resets;
        std::fill(std::begin(ng), std::end(ng), false);
    }
    bool cameraDetected(int c, int) const override { return detected[c]; }
    void setCamerasOwing(int, int mask) override { owing = mask; }
    void runRecognition(int c, int) override
    {
        reran.push_back(c);
        ng[c] = rerunNG[c] || away[c];
        if (duringRecognition)
            duringRecognition(c);
    }
    void judgeWithoutPicture(int c, int) override
    {
        withoutPicture.push_back(c);
        ng[c] = true;
    }
    bool holdForLostCamera(int) override { return hold || !camerasOpen(); }
    bool countdownRunning(int d) const override { return countdownOn[d]; }
    int inputEdge(int i) override
    {
        ++edgesAsked;
        const bool e = edge[i];
        edge[i] = false;
        return e ? 1 : 0;
    }
    bool startDebounce(int i, int tenths) override
    {
        if (hasDebounce)
            debounceTenths[i] = tenths;
        return hasDebounce;
    }
    void takeNewestPictures() override
    {
        ++picturesTaken;
        for (int c = 0; c < cameras; ++c) gpState->frameCount[c] += away[c] || stalled[c] ? 0 : 1;
    }
    void holdForLostCameras() override { ++lostHolds; }
    void showProductionAlarm() override { ++productionAlarmShown; }
    bool recheckDelayRunning() const override { return recheckWaiting; }
    bool startRecheckDelay(int) override { return recheckWaiting = true; }
    bool takeImageTrigger() override { return std::exchange(newPicturesOfAll, false); }
    void forgetDetected(int c, int d) override { forgotten.emplace_back(c, d); }
    void cycleStarts() override { ++cyclesStarted; }
    void startCountdown(int d) override
    {
        countdownsStarted.push_back(d);
        countdownOn[d] = true;
    }
    void passDone() override { ++passesDone; }
    void stopCountdown(int d) override { countdownOn[d] = false; }
    bool camerasOpen() override
    {
        return open && std::none_of(away, away + cameras, [](bool a) { return a; });
    }
    void count(const bool[], bool, bool lastStep) override
    {
        ++counted;
        countedLast += lastStep ? 1 : 0;
    }

    // Advances the clock and fires the pulses that are due, as the window's timers do.
    void advance(qint64 ms)
    {
        PlatformClock::advanceMonotonic(ms);
        const qint64 now = PlatformClock::monotonicMs();
        for (auto it = pulseDue.begin(); it != pulseDue.end();) {
            const CyclePulse p = it->first;
            if (it->second > now) {
                ++it;
                continue;
            }
            it = pulseDue.erase(it);
            if (p == CyclePulse::TimedRelease) {
                if (cycle->releaseAlarm())
                    cycle->clearStepAlarm();
            } else {
                cycle->endPulse(p);
            }
            it = pulseDue.begin();
        }
    }
    int lastPublished(int k) const { return published.empty() ? -1 : published.back()[size_t(k)]; }
    // Every word published from entry `from` on (up to entry `to`) has output k at `on`.
    bool publishedAt(int k, int on, size_t from, size_t to = size_t(-1)) const
    {
        to = std::min(to, published.size());
        return std::all_of(published.begin() + qint64(std::min(from, to)), published.begin() + qint64(to),
                           [&](const std::vector<int>& w) { return w[size_t(k)] == on; });
    }
};

// A row of the input decisions: the options, the edges of each pass, what must follow.
struct InputCase
{
    const char* name;
    int mode;
    std::function<void(WizardPara&, CycleSteering&, RecordingPorts&)> setup;
    std::vector<std::vector<int>> passes;
    int cycles;
    std::vector<int> countdowns;
    int lastDelay = 0;  // tenths counted by the last countdown started
    int clamp = -1;     // -1: not looked at
    int ejector = -1;
    int side = -1;
    int stage = -1;
};

const std::vector<InputCase>& inputCases()
{
    constexpr int k0 = kModeStandard, k1 = kModeTwoColour, k2 = kModeTurntable, k3 = kModeMulti;
    constexpr int kDoor = kDoorInput, kBack = kEjectorBackInput, kRes = kReserveInput;
    using P = WizardPara;
    using S = CycleSteering;
    using R = RecordingPorts;
    // Mode 3 with stages, a cycle open and its first stage judged.
    const auto openStages = [](P& p, S& s, R&) {
        p.ioPageFlag = 1;
        s.multiDetectIndex = 0;
        std::fill(s.stepCameraMask, s.stepCameraMask + 3, 3);
    };
    // One row a line.
    // clang-format off
    static const std::vector<InputCase> cases = {
        {"0: mould open starts the product step", k0, nullptr, {{0}}, 1, {0}, 3, 1, 1},
        {"0: ejector back alone opens nothing", k0, nullptr, {{kBack}}, 0, {}},
        {"0: product, then mould counts both delays", k0, nullptr, {{0}, {kBack}}, 1, {0, 1}, 7, 1, 1},
        {"0: semi-auto mould counts its own delay", k0, [](P& p, S&, R&) { p.semiAuto = 1; }, {{0}, {kBack}}, 1, {0, 1}, 4, 1},
        {"0: separate signal, start by ejector back", k0, [](P& p, S&, R&) { p.separateDetectSignal = 1; }, {{kBack}}, 1, {1}, 4, 1, 0},
        {"0: separate signal, start by mould open", k0, [](P& p, S&, R&) { p.separateDetectSignal = 1; }, {{0}}, 1, {0}, 3, 0, 1},
        {"0: pre-cut holds no clamp at the start", k0, [](P& p, S&, R&) { p.preCut = 5; }, {{0}}, 1, {0}, 3, 0, 1},
        {"0: no ejector control holds no ejector", k0, [](P& p, S&, R&) { p.noEjectorCtrlInProd = 1; }, {{0}}, 1, {0}, 3, 1, 0},
        {"0: product NG pulses drop ejector and gates", k0, [](P& p, S&, R& r) { p.ejectorPulseNoAlarm = 1; r.level[kEjectorOut] = r.level[5] = 1; },
         {{0}}, 1, {0}, 3, 1, 0},
        {"0: pulse mode holds nothing", k0, [](P& p, S&, R&) { p.okNgPulses = 1; }, {{0}}, 1, {0}, 3, 0, 0},
        {"0: skipped ejector-back edges", k0, [](P& p, S&, R&) { p.separateDetectSignal = 1; p.shieldPin = 2; }, {{kBack}, {kBack}, {kBack}}, 1, {1}, 4},
        {"0: debounced edge latches later", k0, [](P& p, S&, R&) { p.shakeEraseTime = 2; }, {{0}}, 0, {}},
        {"0: image trigger opens the cycle", k0, [](P& p, S&, R& r) { p.externalTrigger = 1; r.newPicturesOfAll = true; }, {{}}, 1, {0}, 3, 1, 1},
        {"0: running product countdown holds the edge back", k0, [](P&, S&, R& r) { r.countdownOn[0] = true; }, {{0}}, 0, {}},
        {"0: running mould countdown holds the edge back", k0, [](P&, S&, R& r) { r.countdownOn[1] = true; }, {{0}}, 0, {}},
        {"0: stopped detection starts nothing", k0, [](P&, S&, R&) { gpState->runState = kRunStopped; }, {{0}}, 0, {}},
        {"1: mould open starts no mould step", k1, nullptr, {{0}}, 1, {}, 0, 1},
        {"1: ejector back judges the left mould", k1, nullptr, {{0}, {kBack}}, 1, {1}, 4, -1, -1, 1},
        {"1: reserve judges the right mould", k1, nullptr, {{0}, {kRes}}, 1, {1}, 4, -1, -1, 0},
        {"1: side rule 0: reserve keeps the side", k1, [](P& p, S&, R&) { p.moldSide = 0; }, {{0}, {kRes}}, 1, {1}, 4, -1, -1, 1},
        {"1: stopped: reserve turns to the right mould", k1, [](P&, S&, R&) { gpState->runState = kRunStopped; }, {{kRes}}, 0, {}, 0, -1, -1, 0},
        {"1: stopped: ejector back turns to the left mould", k1, [](P&, S&, R&) { gpState->runState = kRunStopped; gpState->moldSide = 0; },
         {{kBack}}, 0, {}, 0, -1, -1, 1},
        {"1: stopped, side rule 1: ejector back keeps the side", k1,
         [](P& p, S&, R&) { p.moldSide = 1; gpState->runState = kRunStopped; gpState->moldSide = 0; }, {{kBack}}, 0, {}, 0, -1, -1, 0},
        {"1: stopped, side rule 0: reserve keeps the side", k1, [](P& p, S&, R&) { p.moldSide = 0; gpState->runState = kRunStopped; },
         {{kRes}}, 0, {}, 0, -1, -1, 1},
        {"2: mould open starts the left mould", k2, nullptr, {{0}}, 1, {1}, 4, 1, -1, 1},
        {"2: reserve starts the right mould", k2, nullptr, {{kRes}}, 1, {1}, 4, 1, -1, 0},
        {"2: door and ejector back start nothing", k2, nullptr, {{kDoor}, {kBack}}, 0, {}},
        {"2: side rule 1: mould open starts nothing", k2, [](P& p, S&, R&) { p.moldSide = 1; }, {{0}}, 0, {}},
        {"2: side rule 0: reserve starts nothing", k2, [](P& p, S&, R&) { p.moldSide = 0; }, {{kRes}}, 0, {}},
        {"3: each input starts its step", k3, nullptr, {{kBack}}, 1, {1}, 4, 0, -1, -1, 1},
        {"3: stages: not the next stage's input", k3, openStages, {{kRes}}, 0, {}, 0, -1, -1, -1, 0},
        {"3: stages: the next stage's input", k3, openStages, {{kBack}}, 0, {1}, 4, -1, -1, -1, 1},
        {"3: a re-trigger takes the next step of its input", k3,
         [](P& p, S& s, R&) { std::fill(p.detectTrigIn, p.detectTrigIn + 3, 0); s.multiDetectIndex = 0; s.reTrigInput = 0; },
         {{}}, 1, {1}, 4, -1, -1, -1, 1},
        {"3: without a re-trigger the input's first step", k3,
         [](P& p, S& s, R&) { std::fill(p.detectTrigIn, p.detectTrigIn + 3, 0); s.multiDetectIndex = 1; },
         {{0}}, 1, {0}, 3, -1, -1, -1, 0},
        {"3: running first countdown holds the edge back", k3, [](P&, S&, R& r) { r.countdownOn[0] = true; }, {{kBack}}, 0, {}},
        {"3: running middle countdown holds the edge back", k3, [](P&, S&, R& r) { r.countdownOn[1] = true; }, {{0}}, 0, {}},
    };
    // clang-format on
    return cases;
}

// A row of the judgement's outputs: the options, the step and its result, the clamp and
// ejector published; then, after `pulseMs` (-1 none), those its pulse's end publishes.
struct JudgeCase
{
    const char* name;
    std::function<void(WizardPara&, MainState&, RecordingPorts&)> setup;
    int step;
    bool ng;
    int clamp;
    int ejector;
    int pulseMs = -1;
    int clampAfter = -1;
    int ejectorAfter = -1;
};

const std::vector<JudgeCase>& judgeCases()
{
    using P = WizardPara;
    using M = MainState;
    using R = RecordingPorts;
    // One row a line.
    // clang-format off
    static const std::vector<JudgeCase> cases = {
        {"product OK releases the ejector", nullptr, 0, false, 1, 0},
        {"product OK, ejector not controlled", [](P& p, M&, R&) { p.noEjectorCtrlInProd = 1; }, 0, false, 1, 1},
        {"product OK, no ejector on NG: ejector pulse", [](P& p, M&, R& r) { p.prodNgNoEjector = 1; p.ejectorPulse = 3; r.level[kEjectorOut] = 0; },
         0, false, 1, 1, 300, 1, 0},
        {"product OK, timed ejector cut", [](P& p, M&, R&) { p.cutEjectorTimedProdOk = 1; p.ejectorPulse = 2; }, 0, false, 1, 0, 200, 1, 1},
        {"mould OK releases the clamp", nullptr, 1, false, 0, 1},
        {"mould OK, mould no-alarm keeps the clamp", [](P& p, M&, R&) { p.moldNgPulse = 1; }, 1, false, 1, 1},
        {"mould OK frees the ejector when clamping", [](P& p, M&, R& r) { p.cutEjectorOnClamp = 1; r.level[kEjectorOut] = 0; }, 1, false, 0, 1},
        {"mould NG without alarm keeps the ejector", [](P& p, M&, R& r) { p.cutEjectorOnClamp = 1; p.moldNgPulse = 1; p.clampPulse = 2; r.level[kEjectorOut] = 0; },
         1, true, 1, 0, 200, 0, 0},
        {"mould OK, timed clamp cut", [](P& p, M&, R&) { p.cutClampTimedMoldOk = 1; p.clampPulse = 4; }, 1, false, 0, 1, 400, 1, 1},
        {"mould OK, timed clamp cut, stopped meanwhile", [](P& p, M& m, R&) { p.cutClampTimedMoldOk = 1; p.clampPulse = 4; m.runState = kRunStopped; },
         1, false, 0, 1, 400, 0, 1},
    };
    // clang-format on
    return cases;
}

}  // namespace

class TestDetectionCycle : public QObject
{
    Q_OBJECT

    WizardPara* para = nullptr;
    MainState* state = nullptr;
    DetectionCycle* cycle = nullptr;
    RecordingPorts* ports = nullptr;
    // The output table is the program's global: every test gets it back however it ends.
    int savedOutputNo[kMaxDetections] = {};

    void judge(int step, bool cam0NG, bool clear = false)
    {
        state->step = step;
        ports->ng[0] = cam0NG;
        cycle->judgeStep(clear);
    }

    // A pass of the input scan with a rising edge on each input given.
    void passWithEdges(std::initializer_list<int> inputs)
    {
        for (int i : inputs) ports->edge[i] = true;
        cycle->pass();
    }

    // Standard machine: the product step triggered by input 0, the mould step by input 2,
    // each with its countdown; no manual trigger waiting.
    void triggersWithCountdowns()
    {
        para->detectTrigIn[0] = 0;
        para->detectTrigIn[1] = kEjectorBackInput;
        para->trigInDelay[0] = 3;
        para->trigInDelay[1] = 4;
        cycle->steering().manualTrig = gDNum;
        cycle->steering().restartStep = -1;
    }

private slots:
    void init()
    {
        para = new WizardPara;
        gpWPara = para;
        para->detectMode = kModeStandard;
        para->detectEnabled[0] = para->detectEnabled[1] = 1;
        gDNum = 2;
        numCamera = 2;
        gFromTrain = 0;
        gisTempAlarm = false;
        gisReTrain = false;
        state = new MainState;
        state->runState = kRunDetecting;
        state->pageState = kPageMain;
        cycle = new DetectionCycle;
        ports = new RecordingPorts;
        ports->cycle = cycle;
        cycle->setPorts(ports);
        std::copy(std::begin(OutputNo), std::end(OutputNo), savedOutputNo);
    }

    void cleanup()
    {
        std::copy(std::begin(savedOutputNo), std::end(savedOutputNo), OutputNo);
        gisTempAlarm = false;
        delete cycle;
        delete ports;
        delete state;
        gpWPara = nullptr;
        delete para;
    }

    // Standard machine: an OK mould lets the machine close, is shown and ends a counted cycle.
    void okMouldReleasesClampShowsAndCountsCycle()
    {
        ports->level[kClampOut] = 1;
        judge(1, false);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->published.size(), size_t(1));
        QCOMPARE(state->pageState, kPageResult);
        QCOMPARE(ports->shown, 1);
        QCOMPARE(ports->counted, 1);
        QCOMPARE(ports->countedLast, 1);
        QCOMPARE(cycle->steering().shownStep, 1);
    }

    // An NG mould without re-checks left raises the alarm: the clamp holds, the alarm page.
    void ngMouldRaisesAlarmAndHoldsClamp()
    {
        QSignalSpy raised(cycle, &DetectionCycle::alarmRaised);
        judge(1, true);
        QCOMPARE(raised.count(), 1);
        QCOMPARE(state->pageState, kPageAlarm);
        QCOMPARE(ports->alarmsShown, 1);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->shown, 0);
        QCOMPARE(state->lastCycleNG, true);
    }

    // The re-check limit: while re-checks are left an NG only asks for a re-check, uncounted;
    // the last one raises the alarm.
    void recheckLimitDefersAlarm()
    {
        state->reCheckCount[1] = 1;
        judge(1, true);
        QCOMPARE(state->pageState, kPageMain);
        QCOMPARE(state->reCheckPending, 1);
        QCOMPARE(ports->counted, 0);
        QCOMPARE(ports->alarmsShown, 0);
        state->reCheckCount[1] = 0;
        judge(1, true);
        QCOMPARE(state->pageState, kPageAlarm);
        QCOMPARE(ports->counted, 1);
    }

    // An OK re-check during the alarm ends it: outputs off, main page, detecting again.
    void okRecheckEndsAlarm()
    {
        judge(1, true);
        QSignalSpy ended(cycle, &DetectionCycle::alarmEnded);
        state->runState = kRunStopped;
        judge(1, false, true);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ports->alarmsLeft, 1);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->lastPublished(kAlarmOut), 0);
        QCOMPARE(state->runState, kRunDetecting);
        QVERIFY(state->pageState != kPageAlarm);
        QCOMPARE(ports->counted, 1);  // the NG was counted; the operator's re-check is not
    }

    // Standard machine, product step OK after an alarm: the next cycle restarts at the mould step.
    void productRecheckRestartsAtMouldStep()
    {
        state->pageState = kPageAlarm;
        judge(0, false, true);
        QCOMPARE(cycle->steering().restartStep, 1);
        QCOMPARE(cycle->steering().pendingInput, 1);
        QCOMPARE(ports->lastPublished(kEjectorOut), 0);
    }

    // Option: product NG without alarm: reject groups and ejector on for the ejector pulse.
    void productNgWithoutAlarmRejects()
    {
        para->ejectorPulseNoAlarm = 1;
        para->ejectorPulse = 7;
        cycle->steering().rejectGroupNG[2] = true;
        judge(0, true);
        QCOMPARE(ports->alarmsShown, 0);
        QCOMPARE(state->pageState, kPageResult);
        QCOMPARE(ports->lastPublished(kEjectorOut), 1);
        QCOMPARE(ports->lastPublished(4 + 2), 1);
        QCOMPARE(ports->lastPublished(4 + 1), 0);
        QCOMPARE(ports->pulseTenths[CyclePulse::RejectNG], 7);
        ports->advance(700);
        QCOMPARE(ports->lastPublished(kEjectorOut), 0);
        QCOMPARE(ports->lastPublished(4 + 2), 0);
    }

    // Option: OK/NG pulses: an NG sets clamp and alarm, no alarm page; the pulse end clears them.
    void okNgPulsesPulseWithoutAlarm()
    {
        para->okNgPulses = 1;
        para->clampPulse = 5;
        judge(1, true);
        QCOMPARE(state->pageState, kPageResult);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->lastPublished(kEjectorOut), 0);
        QCOMPARE(ports->lastPublished(kAlarmOut), 1);
        ports->advance(499);
        QCOMPARE(ports->lastPublished(kAlarmOut), 1);
        ports->advance(1);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->lastPublished(kAlarmOut), 0);
    }

    // Option: mould NG as a pulse: clamp and alarm on without the alarm page.
    void mouldNgPulseWithoutAlarm()
    {
        para->moldNgPulse = 1;
        para->clampPulse = 3;
        judge(1, true);
        QCOMPARE(ports->alarmsShown, 0);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->lastPublished(kAlarmOut), 1);
        ports->advance(300);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->lastPublished(kAlarmOut), 0);
    }

    // Option: production limit: the OK mould that reaches it holds the clamp; the level taken
    // back earlier in the same judgement is never published.
    void productionLimitHoldsClampPublishedOnce()
    {
        para->okMoldNum = 2;
        judge(1, false);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QVERIFY(!state->productAlarm);
        judge(1, false);
        QCOMPARE(ports->published.size(), size_t(2));
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->lastPublished(kAlarmOut), 1);
        QVERIFY(state->productAlarm);
    }

    // The timed release: output 4 during the alarm, released when its time is up, not before.
    void timedReleaseEndsAlarmOnTime()
    {
        para->moldNgTimedRelease = 1;
        para->output4Pulse = 30;
        judge(1, true);
        QCOMPARE(ports->lastPublished(kOutput4), 1);
        ports->advance(2999);
        QCOMPARE(state->pageState, kPageAlarm);
        ports->advance(1);
        QVERIFY(state->pageState != kPageAlarm);
        QCOMPARE(ports->lastPublished(kOutput4), 0);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->counted, 1);  // the release counts nothing
    }

    // An alarm the operator ended leaves nothing for the timed release.
    void timedReleaseStoppedWithAlarm()
    {
        para->moldNgTimedRelease = 1;
        para->output4Pulse = 30;
        judge(1, true);
        judge(1, false, true);
        QCOMPARE(ports->pulseDue.count(CyclePulse::TimedRelease), size_t(0));
        QCOMPARE(ports->lastPublished(kOutput4), 0);
        QVERIFY(!cycle->releaseAlarm());
    }

    // A temperature alarm makes an OK mould NG, except on a re-detection.
    void temperatureAlarmCountsAsNg()
    {
        gisTempAlarm = true;
        judge(1, false);
        QCOMPARE(state->pageState, kPageAlarm);
        state->pageState = kPageMain;
        cycle->markRecheck();
        judge(1, false, true);
        QCOMPARE(state->pageState, kPageResult);
    }

    // Two-sided machines: step 3 is the second side's mould: its OK lets the machine close
    // and ends the cycle; step 2, that side's product, does neither.
    void twoSidedSecondMouldIsMould()
    {
        para->detectMode = kModeTwoColour;
        gDNum = 4;
        ports->level[kClampOut] = 1;
        judge(2, false);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->countedLast, 0);
        judge(3, false);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->countedLast, 1);
    }

    // Machine mode 3: an OK stage switches its own output off; an NG of a "NG cut self" group
    // switches it on and raises the alarm without touching the clamp.
    void multiStageOutputs()
    {
        para->detectMode = kModeMulti;
        gDNum = 3;
        OutputNo[0] = 5;  // step 0 drives output index 4
        para->detectIoRow[0] = 0;
        para->ioRowOutMode[0] = 5;
        cycle->steering().multiDetectIndex = 0;
        ports->level[4] = 1;
        judge(0, false);
        QCOMPARE(ports->lastPublished(4), 0);
        state->pageState = kPageMain;
        judge(0, true);
        QCOMPARE(ports->lastPublished(4), 1);
        QCOMPARE(state->pageState, kPageAlarm);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
    }

    // The settings screen and the teaching page keep the result off the screen.
    void resultNotShownOverPages()
    {
        ports->settingsUp = true;
        judge(1, false);
        QCOMPARE(ports->shown, 0);
        ports->settingsUp = false;
        state->pageState = kPageTeaching;
        judge(1, false);
        QCOMPARE(ports->shown, 0);
        QCOMPARE(ports->counted, 2);
    }

    // The shown result's end moves on to the next step; a pending re-check holds the step.
    void resultEndAdvancesStep()
    {
        para->detectProd = 1;
        judge(0, false);
        QVERIFY(cycle->resultShown());
        QCOMPARE(state->step, 1);
        QCOMPARE(state->pageState, kPageMain);
        judge(1, false);
        state->reCheckPending = 1;
        QVERIFY(cycle->resultShown());
        QCOMPARE(state->step, 1);
    }

    // Without product detection the product step is skipped; a two-sided machine set to one
    // side stays on that side's steps.
    void stepAdvanceSkipsProductAndOtherSide()
    {
        para->detectProd = 0;
        judge(1, false);
        cycle->resultShown();
        QCOMPARE(state->step, 1);
        para->detectMode = kModeTurntable;
        gDNum = 4;
        para->detectProd = 1;
        para->moldSide = 1;
        judge(3, false);
        cycle->resultShown();
        QCOMPARE(state->step, 2);
        judge(2, false);
        cycle->resultShown();
        QCOMPARE(state->step, 3);
    }

    // The operator's re-detect: only the cameras not yet passed run again; an OK re-run ends
    // the alarm, an NG one keeps it.
    void redetectRerunsOwingCameras()
    {
        para->detectEnabled[1] = 1;
        ports->ng[1] = true;
        judge(1, true);
        QCOMPARE(state->pageState, kPageAlarm);
        state->detectState[0][1] = kStateAlarmWaits;
        ports->detected[1] = true;  // camera 2 was passed by the operator
        ports->rerunNG[0] = true;
        cycle->redetectStep();
        QCOMPARE(ports->reran, std::vector<int>{0});
        QCOMPARE(ports->owing, 1);
        QCOMPARE(state->detectState[0][1], kStateRedetect);
        QCOMPARE(state->pageState, kPageAlarm);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        ports->rerunNG[0] = false;
        gisTempAlarm = true;  // a re-detection is judged on its cameras alone
        cycle->redetectStep();
        QVERIFY(state->pageState != kPageAlarm);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->counted, 1);  // the re-detections count nothing
    }

    // A countdown ticks down in tenths; at its end the cameras are recognised and judged once.
    void countdownEndsInJudgement()
    {
        state->step = 1;
        state->countdown[1] = 0.3f;
        ports->countdownOn[1] = true;
        cycle->countdownTick(1);
        cycle->countdownTick(1);
        QVERIFY(ports->reran.empty());
        QVERIFY(ports->published.empty());
        cycle->countdownTick(1);
        QCOMPARE(ports->reran, (std::vector<int>{0, 1}));
        QVERIFY(!ports->countdownOn[1]);
        QCOMPARE(ports->counted, 1);
        QCOMPARE(state->cyclePhase, 2);
    }

    // Option: the clamp is held the pre-cut time before the mould's countdown ends.
    void preCutHoldsClampBeforeCountdownEnds()
    {
        para->preCut = 2;  // tenths
        state->step = 1;
        state->countdown[1] = 0.5f;
        ports->countdownOn[1] = true;
        for (int tick = 0; tick < 3; ++tick) cycle->countdownTick(1);  // 0.5 s -> 0.2 s
        QVERIFY(ports->published.empty());
        cycle->countdownTick(1);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QVERIFY(ports->reran.empty());
    }

    // A tick that comes while a recognition runs is applied after it, not lost.
    void tickDuringRecognitionIsHeld()
    {
        state->step = 1;
        state->countdown[0] = 0.3f;
        ports->countdownOn[0] = true;
        ports->countdownOn[1] = true;
        ports->duringRecognition = [this](int) { cycle->countdownTick(0); };
        QVERIFY(!cycle->busy());
        cycle->countdownTick(1);
        QVERIFY(!cycle->busy());
        QVERIFY(qAbs(state->countdown[0] - 0.1f) < 0.01f);  // both held ticks applied
    }

    // The delayed re-check holds the clamp, re-runs every camera and judges again; an OK
    // re-check shows the result and lets the machine close.
    void recheckRerunsAndJudges()
    {
        state->reCheckCount[1] = 1;
        judge(1, true);
        QCOMPARE(state->reCheckPending, 1);
        state->reCheckCount[1] = 0;
        ports->ng[0] = true;
        ports->rerunNG[0] = false;
        ports->duringRecognition = [this](int) { QCOMPARE(ports->level[kClampOut], 1); };
        cycle->recheck();
        QCOMPARE(ports->reran, (std::vector<int>{0, 1}));
        QCOMPARE(ports->owing, 3);
        QCOMPARE(state->pageState, kPageResult);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
    }

    // A re-check while a camera is away is given back, not dropped.
    void recheckGivenBackWhileCameraAway()
    {
        state->step = 1;
        ports->open = false;
        cycle->recheck();
        QCOMPARE(state->reCheckCount[1], 1);
        QVERIFY(ports->reran.empty());
    }

    // Start: every output off except those the options hold from the start; no re-check left.
    void startHoldsOptionOutputsAndClearsRechecks()
    {
        ports->level[kAlarmOut] = 1;
        state->reCheckCount[1] = 2;
        state->reCheckPending = 1;
        state->runState = kRunStopped;
        para->cutClampTimedMoldOk = 1;
        para->clampPulse = 4;
        cycle->start();
        QCOMPARE(ports->published.size(), size_t(1));
        QCOMPARE(ports->lastPublished(kAlarmOut), 0);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->lastPublished(kEjectorOut), 0);
        QCOMPARE(state->reCheckCount[1], 0);
        QCOMPARE(state->reCheckPending, 0);
        QCOMPARE(state->runState, kRunDetecting);
        QCOMPARE(ports->resets, 1);
        para->cutEjectorOnClamp = 1;
        cycle->start();
        QCOMPARE(ports->lastPublished(kEjectorOut), 1);
    }

    // Machine mode 3 start: a "cut self" group holds the outputs of its own steps only.
    void startPresetsStageOutputs()
    {
        para->detectMode = kModeMulti;
        gDNum = 3;
        OutputNo[0] = 5;
        OutputNo[1] = 6;
        OutputNo[7] = 7;
        para->detectIoRow[0] = -1;
        para->detectIoRow[1] = 1;
        para->detectIoRow[2] = 2;
        para->ioRowOutMode[1] = 3;
        para->ioRowOutMode[2] = 2;
        cycle->start();
        QCOMPARE(ports->lastPublished(4), 0);
        QCOMPARE(ports->lastPublished(5), 1);
        QCOMPARE(ports->lastPublished(6), 0);
    }

    // Stop: every output off but the clamp the option holds; mode 3 returns to its last step.
    void stopHoldsClampByOptionAndRewindsStages()
    {
        ports->level[kEjectorOut] = 1;
        para->stopClampOnStop = 1;
        cycle->stop();
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->lastPublished(kEjectorOut), 0);
        QCOMPARE(state->runState, kRunStopped);
        para->stopClampOnStop = 0;
        para->detectMode = kModeMulti;
        gDNum = 3;
        state->step = 1;
        cycle->steering().multiDetectIndex = 1;
        cycle->stop();
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(state->step, 2);
        QCOMPARE(cycle->steering().multiDetectIndex, 2);
        QCOMPARE(ports->owing, 0);
    }

    // An input edge starts the countdown of the step it triggers: input 0 opens the cycle
    // (cameras owe both steps, the clamp is held) and counts down the product step; the
    // mould step's input counts down the mould step. Before a cycle is open the mould
    // input starts nothing.
    void inputEdgeStartsCountdownOfItsStep()
    {
        triggersWithCountdowns();
        passWithEdges({kEjectorBackInput});
        QVERIFY(ports->countdownsStarted.empty());
        QCOMPARE(ports->cyclesStarted, 0);
        passWithEdges({0});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{0}));
        QCOMPARE(ports->cyclesStarted, 1);
        QVERIFY(qAbs(state->countdown[0] - 0.3f) < 0.01f);
        QCOMPARE(state->cyclePhase, 1);
        QCOMPARE(cycle->steering().stepCameraMask[0], 3);
        QCOMPARE(cycle->steering().stepCameraMask[1], 3);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        ports->countdownOn[0] = false;
        passWithEdges({kEjectorBackInput});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{0, 1}));
        QVERIFY(qAbs(state->countdown[1] - 0.4f) < 0.01f);
        QCOMPARE(ports->cyclesStarted, 1);
        QCOMPARE(ports->passesDone, 3);
        QCOMPARE(ports->picturesTaken, 3);
    }

    // While a countdown runs every new edge is dropped (and the pending input forgotten),
    // though every input is still asked: no debounce starts, the door does not trigger, and
    // the dropped edges start nothing afterwards.
    void runningCountdownHoldsTriggersBack()
    {
        triggersWithCountdowns();
        para->doorTriggerDetect = 1;
        ports->countdownOn[1] = true;
        cycle->steering().pendingInput = 1;
        passWithEdges({0, kDoorInput});
        QCOMPARE(ports->edgesAsked, kTriggerInputs);
        QCOMPARE(cycle->steering().pendingInput, -1);
        QVERIFY(ports->reran.empty());
        para->shakeEraseTime = 2;
        passWithEdges({0});
        QVERIFY(ports->debounceTenths.empty());
        ports->countdownOn[1] = false;
        cycle->pass();
        QVERIFY(ports->countdownsStarted.empty());
        QCOMPARE(ports->cyclesStarted, 0);
        QVERIFY(ports->reran.empty());
    }

    // Debounce: an edge latches only when the input's debounce timer confirms it; without
    // a debounce time (or timer) it latches at once.
    void debounceDelaysTheLatch()
    {
        triggersWithCountdowns();
        para->shakeEraseTime = 2;
        passWithEdges({0});
        QCOMPARE(ports->debounceTenths[0], 2);
        QVERIFY(ports->countdownsStarted.empty());
        QVERIFY(!cycle->steering().inputLatch[0]);
        ports->hasDebounce = false;
        passWithEdges({0});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{0}));
        QVERIFY(!cycle->steering().inputLatch[0]);  // every latch is spent at the pass end
    }

    // The production-count alarm ends the pass: an edge ends it before the pictures and is
    // dropped; without edges its box shows after the pictures. No cycle starts, and the
    // pass still ends (outputs, next pass); the dropped edge starts nothing afterwards.
    void productionAlarmEndsPass()
    {
        triggersWithCountdowns();
        state->productAlarm = true;
        passWithEdges({0, kDoorInput});
        QCOMPARE(ports->edgesAsked, kTriggerInputs);
        QCOMPARE(ports->picturesTaken, 0);
        cycle->pass();
        QCOMPARE(ports->picturesTaken, 1);
        QCOMPARE(ports->productionAlarmShown, 1);
        QCOMPARE(ports->cyclesStarted, 0);
        QCOMPARE(ports->passesDone, 2);
        QCOMPARE(ports->published.size(), size_t(2));
        state->productAlarm = false;
        cycle->pass();
        QVERIFY(ports->countdownsStarted.empty());
        QCOMPARE(ports->cyclesStarted, 0);
    }

    // Machine mode 3 without stages: each input selects the first step it triggers, cuts
    // the outputs of that step's group and counts it down. With stages an input that is
    // not the next stage's trigger ends the pass; the next stage's trigger selects it.
    void multiModeSelectsStageOfInput()
    {
        para->detectMode = kModeMulti;
        gDNum = 3;
        para->detectEnabled[2] = 1;
        OutputNo[0] = 5;
        OutputNo[1] = 6;
        OutputNo[7] = 7;
        const int trig[3] = {0, kEjectorBackInput, kReserveInput};
        for (int k = 0; k < 3; ++k) {
            para->detectTrigIn[k] = trig[k];
            para->trigInDelay[k] = 2;
            para->detectIoRow[k] = -1;
        }
        para->detectIoRow[1] = 1;
        para->ioRowOutMode[1] = 3;  // cut self
        cycle->steering().manualTrig = gDNum;
        passWithEdges({kEjectorBackInput});
        QCOMPARE(cycle->steering().multiDetectIndex, 1);
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{1}));
        QCOMPARE(ports->lastPublished(5), 1);
        QCOMPARE(ports->lastPublished(4), 0);

        para->ioPageFlag = 1;
        ports->countdownOn[1] = false;
        cycle->steering().multiDetectIndex = 0;
        passWithEdges({kReserveInput});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{1}));
        QCOMPARE(cycle->steering().multiDetectIndex, 0);
        passWithEdges({kEjectorBackInput});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{1, 1}));
        QCOMPARE(cycle->steering().multiDetectIndex, 1);
    }

    // Option: the safety door runs the mould step at once (its pictures retaken, both
    // cameras recognised and judged); not while detection is stopped.
    void doorTriggersMouldStepAtOnce()
    {
        triggersWithCountdowns();
        para->doorTriggerDetect = 1;
        state->runState = kRunStopped;
        passWithEdges({kDoorInput});
        QVERIFY(ports->reran.empty());
        state->runState = kRunDetecting;
        state->step = 1;
        passWithEdges({kDoorInput});
        QCOMPARE(ports->reran, (std::vector<int>{0, 1}));
        QCOMPARE(ports->forgotten, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}}));
        QCOMPARE(state->detectState[0][1], 1);
        QCOMPARE(ports->counted, 1);
        QCOMPARE(cycle->steering().autoRun, 0);
        QVERIFY(ports->countdownsStarted.empty());
    }

    // The manual trigger runs its step at once and once, as a manual re-training state;
    // when its judgement raises the alarm the pass ends there.
    void manualTriggerRunsStepAtOnce()
    {
        triggersWithCountdowns();
        state->step = 1;
        cycle->steering().manualTrig = 1;
        int trainState = -1;
        ports->duringRecognition = [&](int) { trainState = cycle->steering().reTrainState; };
        cycle->pass();
        QCOMPARE(ports->reran, (std::vector<int>{0, 1}));
        QCOMPARE(trainState, 2);
        QCOMPARE(cycle->steering().manualTrig, gDNum);
        cycle->pass();
        QCOMPARE(ports->reran.size(), size_t(2));

        // An NG that raises the alarm: the clamp is held and the pass ends, so an input
        // latched in the same pass starts no cycle.
        ports->rerunNG[0] = true;
        cycle->steering().manualTrig = 1;
        passWithEdges({0});
        QCOMPARE(ports->reran.size(), size_t(4));
        QCOMPARE(state->pageState, kPageAlarm);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->cyclesStarted, 0);
    }

    // A step whose countdown ends while a camera is away holds the clamp and waits: it is
    // judged on the first pictures every camera takes after the return; a camera back without
    // a new picture for 2 s, or away for 6 s, gets the NG alarm instead (re-checks left or
    // not). Meanwhile new edges are held back as by a running countdown; nothing is left
    // standing with the clamp held and neither a judgement nor an alarm.
    void heldStepWaitsForPicturesAfterTheReturn_data()
    {
        QTest::addColumn<bool>("returns");
        QTest::addColumn<bool>("delivers");
        QTest::addColumn<int>("alarmAfterMs");  // -1: judged OK on the new pictures
        QTest::newRow("back with new pictures") << true << true << -1;
        QTest::newRow("back without a picture") << true << false << 2000;
        QTest::newRow("staying away") << false << false << 6000;
    }
    void heldStepWaitsForPicturesAfterTheReturn()
    {
        QFETCH(bool, returns);
        QFETCH(bool, delivers);
        QFETCH(int, alarmAfterMs);
        triggersWithCountdowns();
        state->reCheckCount[1] = 2;
        ports->level[kClampOut] = 1;
        state->step = 1;
        ports->countdownOn[1] = true;
        ports->away[1] = true;
        cycle->countdownTick(1);
        QVERIFY(ports->reran.empty());
        QCOMPARE(ports->lastPublished(kClampOut), -1);
        cycle->pass();  // the lost pass: the clamp is held, the loss's time taken
        QCOMPARE(ports->lostHolds, 1);
        if (returns) {
            ports->advance(500);
            ports->away[1] = false;
            ports->stalled[1] = !delivers;
            passWithEdges({0});  // back: the pictures of this pass may be older than the return
            QVERIFY(ports->reran.empty());
        }
        const qint64 wait = alarmAfterMs < 0 ? 100 : alarmAfterMs;
        ports->advance(wait - 1);
        cycle->pass();
        if (alarmAfterMs >= 0) {
            QVERIFY(ports->reran.empty() && ports->withoutPicture.empty());
            QCOMPARE(ports->alarmsShown, 0);
            ports->advance(1);
            cycle->pass();
        }
        QCOMPARE(ports->counted, 1);
        QCOMPARE(ports->cyclesStarted, 0);  // the edge during the hold started nothing
        QCOMPARE(cycle->steering().heldSteps, 0u);
        if (alarmAfterMs < 0) {
            QCOMPARE(ports->reran, (std::vector<int>{0, 1}));
            QCOMPARE(state->pageState, kPageResult);
            QCOMPARE(ports->lastPublished(kClampOut), 0);
        } else {
            QCOMPARE(ports->reran, (returns ? std::vector<int>{0} : std::vector<int>{0, 1}));
            QCOMPARE(ports->withoutPicture, (returns ? std::vector<int>{1} : std::vector<int>{}));
            QCOMPARE(ports->alarmsShown, 1);
            QCOMPARE(state->pageState, kPageAlarm);
            QCOMPARE(ports->lastPublished(kClampOut), 1);
            QCOMPARE(state->reCheckPending, 0);
        }
        // Stopping detection forgets a hold.
        ports->hold = true;
        ports->countdownOn[1] = true;
        cycle->countdownTick(1);
        QCOMPARE(cycle->steering().heldSteps, 2u);
        cycle->stop();
        QCOMPARE(cycle->steering().heldSteps, 0u);
    }

    // The program starts with the board holding the clamp (its last run ended while a mould
    // was held): the mould step keeps the clamp and is judged on the first pictures, with
    // the NG alarm when none comes within 2 s; the edge of a mould-open signal still high is
    // no second cycle. A start that holds the clamp by its own option holds nothing more.
    // The board holding the alarm too: that mould was counted before the stop; the alarm stays
    // on and it is not counted again. The timed release never lets a mould without a picture go.
    void heldMouldAtStartIsJudgedBeforeItsRelease_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("option");  // 1: the timed clamp cut holds the clamp from the start
        QTest::addColumn<bool>("part");
        QTest::addColumn<bool>("delivers");
        QTest::addColumn<int>("judged");  // the detection judged, -1 none
        QTest::addColumn<bool>("alarmHeld");
        QTest::newRow("clean mould") << kModeStandard << 0 << false << true << 1 << false;
        QTest::newRow("part in the mould") << kModeStandard << 0 << true << true << 1 << false;
        QTest::newRow("no picture") << kModeStandard << 0 << false << false << 1 << false;
        QTest::newRow("right side of the two-colour machine") << kModeTwoColour << 0 << false << true << 3 << false;
        QTest::newRow("last of three detections") << kModeMulti << 0 << false << true << 2 << false;
        QTest::newRow("start holds the clamp itself") << kModeStandard << 1 << false << true << -1 << false;
        QTest::newRow("alarm held, part still in") << kModeStandard << 0 << true << true << 1 << true;
        QTest::newRow("alarm held, no picture") << kModeStandard << 0 << false << false << 1 << true;
    }
    void heldMouldAtStartIsJudgedBeforeItsRelease()
    {
        QFETCH(int, mode);
        QFETCH(int, option);
        QFETCH(bool, part);
        QFETCH(bool, delivers);
        QFETCH(int, judged);
        QFETCH(bool, alarmHeld);
        para->moldNgTimedRelease = 1;
        para->output4Pulse = 5;
        para->detectMode = mode;
        gDNum = mode == kModeStandard ? 2 : mode == kModeMulti ? 3 : 4;
        std::fill(para->detectEnabled, para->detectEnabled + gDNum, 1);
        OutputNo[kMaxDetections - 1] = 1;  // the last step's output is the clamp
        state->moldSide = 0;
        para->cutClampTimedMoldOk = option;
        para->clampPulse = 4;
        cycle->steering().manualTrig = gDNum;
        ports->rerunNG[0] = part;
        ports->stalled[0] = !delivers;
        cycle->start();
        const size_t started = ports->published.size();
        cycle->keepHeldMould(alarmHeld);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        QCOMPARE(ports->lastPublished(kAlarmOut), alarmHeld ? 1 : 0);
        if (judged < 0) {
            QCOMPARE(cycle->steering().heldSteps, 0u);
            return;
        }
        QCOMPARE(cycle->steering().heldSteps, 1u << judged);
        QCOMPARE(state->detectState[0][judged], 1);
        ports->edge[0] = true;  // the mould-open signal, high since before the start
        cycle->pass();          // pictures of the first pass may be older than the start
        ports->advance(delivers ? 100 : 1999);
        const size_t judging = ports->published.size();
        cycle->pass();
        if (!delivers) {
            QVERIFY(ports->withoutPicture.empty() && ports->reran.empty());
            ports->advance(1);
            cycle->pass();
            QCOMPARE(ports->withoutPicture, std::vector<int>{0});
        }
        const bool alarm = part || !delivers;
        QVERIFY(ports->publishedAt(kClampOut, 1, started, judging));
        QVERIFY(ports->publishedAt(kClampOut, 1, started) == alarm);
        QVERIFY(!alarmHeld || ports->publishedAt(kAlarmOut, 1, started));
        QCOMPARE(state->step, judged);
        QCOMPARE(ports->counted, alarmHeld ? 0 : 1);
        QCOMPARE(ports->countedLast, alarmHeld ? 0 : 1);
        QCOMPARE(ports->cyclesStarted, 0);
        QCOMPARE(cycle->steering().heldSteps, 0u);
        QCOMPARE(state->pageState, alarm ? kPageAlarm : kPageResult);
        QCOMPARE(ports->lastPublished(kClampOut), alarm ? 1 : 0);
        if (!alarm)
            return;
        ports->advance(500);
        QCOMPARE(ports->lastPublished(kClampOut), delivers ? 0 : 1);
        if (delivers)
            return;
        // Without a picture: the operator's answer, or a re-check that judges it (the timed
        // release held back is then due).
        ports->rerunNG[0] = true;
        ports->stalled[0] = false;
        alarmHeld ? cycle->clearStepAlarm() : cycle->redetectStep();
        ports->advance(1);
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QCOMPARE(ports->counted, alarmHeld ? 0 : 1);
    }

    // Mode 3, the inputs of all three stages in one poll: each judgement switches off its own
    // step's output. The clamp (the last step's) holds until its step is judged, no step
    // output stays on, and the mould counts once, with the stage option or without.
    void multiStagesInOnePollJudgeTheirOwnOutputs_data()
    {
        QTest::addColumn<int>("stages");
        QTest::addColumn<bool>("part");  // on the mould step
        for (int stages : {0, 1}) {
            for (bool part : {false, true}) QTest::addRow("stages %d, part %d", stages, int(part)) << stages << part;
        }
    }
    void multiStagesInOnePollJudgeTheirOwnOutputs()
    {
        QFETCH(int, stages);
        QFETCH(bool, part);
        para->detectMode = kModeMulti;
        para->ioPageFlag = stages;
        gDNum = 3;
        const int trig[3] = {0, kEjectorBackInput, kReserveInput};
        for (int k = 0; k < 3; ++k) {
            para->detectEnabled[k] = para->trigInDelay[k] = para->ioRowOutMode[k] = 1;  // cut self
            para->detectTrigIn[k] = trig[k];
            para->detectIoRow[k] = k;
        }
        cycle->steering().manualTrig = gDNum;
        cycle->steering().multiDetectIndex = gDNum - 1;  // as the last cycle leaves it
        passWithEdges({0, kEjectorBackInput, kReserveInput});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{0, 1, 2}));
        const size_t selected = ports->published.size();
        for (int d = 0; d < 3; ++d) {
            ports->rerunNG[0] = part && d == 2;
            cycle->countdownTick(d);  // judged on its first tick
            QVERIFY(d == 2 || ports->publishedAt(kClampOut, 1, selected));
        }
        QCOMPARE(ports->lastPublished(OutputNo[0] - 1) + ports->lastPublished(OutputNo[1] - 1), 0);
        QCOMPARE(ports->lastPublished(kClampOut), part ? 1 : 0);
        QCOMPARE(ports->alarmsShown, part ? 1 : 0);
        QCOMPARE(ports->counted, 3);
        QCOMPARE(ports->countedLast, 1);
    }

    // Nothing lets the machine close while a camera is away: the timed release waits for the
    // return (the alarm holds meanwhile), and what else ends the alarm or the detection
    // meanwhile leaves the clamp held until then. Once every camera is back the clamp is
    // released or the alarm holds; it is never held with neither.
    void nothingReleasesTheClampWhileACameraIsAway_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("timed release") << 0;
        QTest::newRow("stop detection") << 1;
        QTest::newRow("not detected on the alarm page") << 2;
        QTest::newRow("mould NG pulse ends") << 3;
    }
    void nothingReleasesTheClampWhileACameraIsAway()
    {
        QFETCH(int, action);
        triggersWithCountdowns();
        para->moldNgTimedRelease = 1;
        para->output4Pulse = 30;
        para->moldNgPulse = action == 3 ? 1 : 0;
        para->clampPulse = 20;
        judge(1, true);
        QCOMPARE(ports->lastPublished(kClampOut), 1);
        ports->away[1] = true;
        cycle->pass();
        const size_t away = ports->published.size();
        if (action == 1)
            cycle->stop();
        ports->advance(3000);
        cycle->pass();
        if (action == 2) {
            // After the release fell due the operator answers; the next mould alarms anew,
            // its own release 3 s after it.
            cycle->clearStepAlarm();
            judge(1, true);
            ports->advance(2000);
        }
        QVERIFY(ports->publishedAt(kClampOut, 1, away));
        if (action == 0) {
            QCOMPARE(state->pageState, kPageAlarm);
            QVERIFY(ports->publishedAt(kOutput4, 1, away));
        }
        ports->away[1] = false;
        cycle->pass();
        ports->advance(1);  // the release that waited
        cycle->pass();
        if (action == 2) {
            QCOMPARE(state->pageState, kPageAlarm);
            ports->advance(1000);
            cycle->pass();
        }
        QCOMPARE(ports->lastPublished(kClampOut), 0);
        QVERIFY(state->pageState != kPageAlarm);
        QCOMPARE(ports->lastPublished(kOutput4), 0);
        QCOMPARE(ports->counted, action == 2 ? 2 : 1);
    }

    // The inputs of every machine mode and input option: which edge opens a cycle, whose
    // countdown it starts (and with which delay), which side and stage it picks, and the clamp
    // and ejector outputs a cycle start holds. One row a mode or option; each pass delivers the
    // edges of one group, and the countdowns it started are over before the next.
    void inputDecisionsPerModeAndOption_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(inputCases().size()); ++i) QTest::newRow(inputCases()[size_t(i)].name) << i;
    }
    void inputDecisionsPerModeAndOption()
    {
        QFETCH(int, row);
        const InputCase& c = inputCases()[size_t(row)];
        // Mode 0 a product and a mould step, modes 1 and 2 the two sides' mould steps on any
        // trigger, mode 3 three steps on inputs 0, 2 and 3, each its own group, none cutting.
        const bool sides = c.mode == kModeTwoColour || c.mode == kModeTurntable;
        para->detectMode = c.mode;
        gDNum = sides ? 4 : c.mode == kModeMulti ? 3 : 2;
        const int trig[kMaxDetections] = {0, kEjectorBackInput, kReserveInput};
        for (int d = 0; d < gDNum; ++d) {
            para->detectEnabled[d] = !sides || (d & 1);
            para->detectTrigIn[d] = sides ? kAnyTrigger : trig[d];
            para->trigInDelay[d] = d + 3;
            para->detectIoRow[d] = d;
            para->ioRowOutMode[d] = 2;  // "not cut"
        }
        para->detectProd = 1;
        para->moldSide = 2;  // both sides
        state->moldSide = 1;
        CycleSteering& steer = cycle->steering();
        steer.manualTrig = gDNum;
        steer.restartStep = -1;
        steer.multiDetectIndex = gDNum - 1;
        if (c.setup)
            c.setup(*para, steer, *ports);
        for (const std::vector<int>& edges : c.passes) {
            for (int i : edges) ports->edge[i] = true;
            cycle->pass();
            std::fill(std::begin(ports->countdownOn), std::end(ports->countdownOn), false);
        }
        QCOMPARE(ports->cyclesStarted, c.cycles);
        QCOMPARE(ports->countdownsStarted, c.countdowns);
        if (!c.countdowns.empty())
            QCOMPARE(qRound(state->countdown[c.countdowns.back()] * 10), c.lastDelay);
        if (c.clamp >= 0)
            QCOMPARE(ports->level[kClampOut], c.clamp);
        if (c.ejector >= 0)
            QCOMPARE(ports->level[kEjectorOut], c.ejector);
        if (c.side >= 0)
            QCOMPARE(state->moldSide, c.side);
        if (c.stage >= 0)
            QCOMPARE(steer.multiDetectIndex, c.stage);
    }

    // A manual trigger whose judgement raises the alarm holds its step for the alarm page: the
    // clamp for the mould, the ejector for the product (unless the ejector is not controlled).
    void manualTriggerAlarmHoldsItsStep_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<bool>("noEjectorControl");
        QTest::addColumn<int>("clamp");
        QTest::addColumn<int>("ejector");
        QTest::newRow("mould") << 1 << false << 1 << 0;
        QTest::newRow("product") << 0 << false << 0 << 1;
        QTest::newRow("product, ejector not controlled") << 0 << true << 0 << 0;
    }
    void manualTriggerAlarmHoldsItsStep()
    {
        QFETCH(int, d);
        QFETCH(bool, noEjectorControl);
        QFETCH(int, clamp);
        QFETCH(int, ejector);
        triggersWithCountdowns();
        para->noEjectorCtrlInProd = noEjectorControl ? 1 : 0;
        state->step = d;
        cycle->steering().autoRun = 0;
        cycle->steering().manualTrig = d;
        ports->rerunNG[0] = true;
        cycle->pass();
        QCOMPARE(ports->reran, (std::vector<int>{0, 1}));
        QCOMPARE(state->pageState, kPageAlarm);
        QCOMPARE(ports->lastPublished(kClampOut), clamp);
        QCOMPARE(ports->lastPublished(kEjectorOut), ejector);
        QCOMPARE(ports->counted, 0);
    }

    // After an OK re-check of the product step on the alarm page the mould step starts again
    // with its own delay, not added to the product step's.
    void restartedMouldStepCountsItsOwnDelay()
    {
        triggersWithCountdowns();
        para->detectProd = 1;  // additive delays
        passWithEdges({0});
        QVERIFY(qAbs(state->countdown[0] - 0.3f) < 0.01f);
        ports->countdownOn[0] = false;
        state->pageState = kPageAlarm;
        judge(0, false, true);
        QCOMPARE(cycle->steering().restartStep, 1);
        cycle->pass();
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{0, 1}));
        QVERIFY2(qAbs(state->countdown[1] - 0.4f) < 0.01f, qPrintable(QString::number(state->countdown[1])));
        QCOMPARE(cycle->steering().restartStep, -1);
        // A plain mould edge of the next cycle adds the product's delay again.
        ports->countdownOn[1] = false;
        passWithEdges({0});
        ports->countdownOn[0] = false;
        passWithEdges({kEjectorBackInput});
        QVERIFY(qAbs(state->countdown[1] - 0.7f) < 0.01f);
    }

    // The mould step's automatic re-check holds the clamp whenever it runs: with or without
    // the pre-cut, with re-checks still left after it or not, at once or after its delay.
    // From the cycle start to the last judgement the clamp is never published off.
    void recheckHoldsTheClampWheneverItRuns_data()
    {
        QTest::addColumn<int>("preCut");
        QTest::addColumn<int>("rechecks");
        QTest::addColumn<int>("delay");
        for (int preCut : {0, 2})
            for (int rechecks : {1, 2})
                for (int delay : {0, 3})
                    QTest::addRow("pre-cut %d, %d re-checks, delay %d", preCut, rechecks, delay)
                        << preCut << rechecks << delay;
    }
    void recheckHoldsTheClampWheneverItRuns()
    {
        QFETCH(int, preCut);
        QFETCH(int, rechecks);
        QFETCH(int, delay);
        triggersWithCountdowns();
        para->detectEnabled[0] = 0;
        para->preCut = preCut;
        para->reMoldTimes = rechecks;
        para->reMoldDelay = delay;
        if (preCut != 0)
            para->cutClampOnMoldAlarm = 1;  // the clamp waits for the pre-cut, not the cycle start
        ports->hasDebounce = false;
        passWithEdges({0});
        passWithEdges({kEjectorBackInput});
        QCOMPARE(ports->countdownsStarted, (std::vector<int>{1}));
        QCOMPARE(state->reCheckCount[1], rechecks);
        state->step = 1;
        int clampAtRecognition = 1;
        size_t wordsBeforeLastRecognition = 0;
        ports->duringRecognition = [&](int) {
            clampAtRecognition = std::min(clampAtRecognition, ports->level[kClampOut]);
            wordsBeforeLastRecognition = ports->published.size();
        };
        ports->rerunNG[0] = true;
        for (int tick = 0; tick < 4; ++tick) cycle->countdownTick(1);
        QCOMPARE(ports->reran.size(), size_t(2));
        for (int round = 0; round < rechecks; ++round) {
            QCOMPARE(state->reCheckPending, 1);
            if (round == rechecks - 1)
                ports->rerunNG[0] = false;
            cycle->pass();
            QCOMPARE(ports->recheckWaiting, delay != 0);
            if (delay != 0) {
                ports->recheckWaiting = false;
                cycle->recheck();  // the re-check's timer, as the window's would fire it
            }
        }
        QCOMPARE(ports->reran.size(), size_t(2 * (rechecks + 1)));
        QCOMPARE(clampAtRecognition, 1);
        QCOMPARE(state->pageState, kPageResult);
        const auto firstOn = std::find_if(ports->published.begin(), ports->published.end(),
                                          [](const std::vector<int>& w) { return w[kClampOut] == 1; });
        QVERIFY(firstOn - ports->published.begin() < std::ptrdiff_t(wordsBeforeLastRecognition));
        QVERIFY(std::all_of(firstOn, ports->published.begin() + std::ptrdiff_t(wordsBeforeLastRecognition),
                            [](const std::vector<int>& w) { return w[kClampOut] == 1; }));
        QCOMPARE(ports->lastPublished(kClampOut), 0);
    }

    // The outputs a judged step of the standard machine sets, option by option, and those the
    // end of its pulse sets (the clamp and ejector are held as a cycle holds them).
    void judgementOutputsPerOption_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(judgeCases().size()); ++i) QTest::newRow(judgeCases()[size_t(i)].name) << i;
    }
    void judgementOutputsPerOption()
    {
        QFETCH(int, row);
        const JudgeCase& c = judgeCases()[size_t(row)];
        ports->level[kClampOut] = ports->level[kEjectorOut] = 1;
        if (c.setup)
            c.setup(*para, *state, *ports);
        judge(c.step, c.ng);
        QCOMPARE(ports->lastPublished(kClampOut), c.clamp);
        QCOMPARE(ports->lastPublished(kEjectorOut), c.ejector);
        if (c.pulseMs < 0)
            return;
        ports->advance(c.pulseMs);
        QCOMPARE(ports->lastPublished(kClampOut), c.clampAfter);
        QCOMPARE(ports->lastPublished(kEjectorOut), c.ejectorAfter);
    }

    // The re-check's hold outputs as it starts: the clamp for the last step unless the pre-cut
    // time holds it with re-checks still left, the ejector for the product step.
    void recheckSetsTheHoldOutput_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("preCut");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("clamp");
        QTest::addColumn<int>("ejector");
        QTest::newRow("mould") << 1 << 0 << 1 << 1 << 0;
        QTest::newRow("mould, pre-cut, the last") << 1 << 3 << 0 << 1 << 0;
        QTest::newRow("mould, pre-cut, more left") << 1 << 3 << 1 << 0 << 0;
        QTest::newRow("product") << 0 << 0 << 0 << 0 << 1;
    }
    void recheckSetsTheHoldOutput()
    {
        QFETCH(int, step);
        QFETCH(int, preCut);
        QFETCH(int, left);
        QFETCH(int, clamp);
        QFETCH(int, ejector);
        para->preCut = preCut;
        state->step = step;
        state->reCheckCount[step] = left;
        std::vector<int> atRecognition;
        ports->duringRecognition = [&](int) {
            if (atRecognition.empty())
                atRecognition = {ports->level[kClampOut], ports->level[kEjectorOut]};
        };
        cycle->recheck();
        QCOMPARE(atRecognition, (std::vector<int>{clamp, ejector}));
        QCOMPARE(ports->owing, 3);
    }

    // Semi-auto: ejector back re-opens the mould step of an open cycle (its cameras owe their
    // results again, the clamp is held); without it the input leaves the mould step as it is.
    void ejectorBackReopensTheMouldStepSemiAuto_data()
    {
        QTest::addColumn<int>("semiAuto");
        QTest::newRow("semi-auto") << 1;
        QTest::newRow("automatic") << 0;
    }
    void ejectorBackReopensTheMouldStepSemiAuto()
    {
        QFETCH(int, semiAuto);
        triggersWithCountdowns();
        para->semiAuto = semiAuto;
        para->detectTrigIn[1] = kReserveInput;  // no countdown of its own from ejector back
        passWithEdges({0});
        ports->countdownOn[0] = false;
        cycle->steering().stepCameraMask[1] = 1;  // camera 2 has judged the mould
        ports->level[kClampOut] = 0;
        passWithEdges({kEjectorBackInput});
        QCOMPARE(cycle->steering().stepCameraMask[1], semiAuto ? 3 : 1);
        QCOMPARE(ports->lastPublished(kClampOut), semiAuto);
    }

    // Machine mode 3: after an OK step the next step with a trigger is started again by the
    // same input when it shares it; otherwise an input waiting meanwhile is taken up instead.
    void multiStepOkRetriggersTheSharedInput()
    {
        para->detectMode = kModeMulti;
        gDNum = 3;
        para->detectEnabled[2] = 1;
        for (int k = 0; k < 3; ++k) para->detectIoRow[k] = -1;
        const int trig[2][3] = {{0, -1, 0}, {0, -1, kReserveInput}};
        for (const auto& t : trig) {
            std::copy(t, t + 3, para->detectTrigIn);
            cycle->steering().multiDetectIndex = 0;
            cycle->steering().reTrigInput = -1;
            cycle->steering().pendingInput = kEjectorBackInput;
            judge(0, false);
            const bool shared = t[2] == t[0];
            QCOMPARE(cycle->steering().reTrigInput, shared ? 0 : kEjectorBackInput);
            QCOMPARE(cycle->steering().pendingInput, -1);
        }
    }

    // Right after a re-sampling nothing is judged.
    void nothingJudgedAfterResampling()
    {
        gFromTrain = 1;
        judge(1, true);
        QVERIFY(ports->published.empty());
        QCOMPARE(state->pageState, kPageMain);
    }
};

QTEST_GUILESS_MAIN(TestDetectionCycle)
#include "tst_detectioncycle.moc"
