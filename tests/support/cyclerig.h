// Cycle rig: the whole main window on a simulated IO board and simulated cameras, driven by input words.
#pragma once

#include <atomic>
#include <thread>

#include <QString>
#include <QStringList>
#include <QVector>

#include "ioboard-sim/ioboardsim.h"
#include "windowhooks.h"

class CammerWidget;
class ModalAnswerer;
class MoJuWizard;

// The board input the machine opens the mould with; the outputs are the cycle's (windowhooks.h).
constexpr int kMouldOpen = 0;

constexpr qint64 kMs = 1000;  // board-clock microseconds per millisecond

// Time between two board stamps in milliseconds.
inline double Ms(qint64 fromUs, qint64 toUs)
{
    return double(toUs - fromUs) / kMs;
}

// One per test process (the main window is built once). The working folder gets the factory
// data, a simcamera.json with `cameras` free-running scene cameras and the board's
// pseudo-terminal as the serial device; the window is then constructed the way main() does
// and every camera is taught: `regions` defect regions on detections 0 to 3 and template 0
// from a clean frame. Pictures are switched with the cameras' command file (simcamera.in),
// inputs through the board, and the board's output word is recorded with time stamps.
class CycleRig
{
public:
    CycleRig() = default;
    ~CycleRig();
    CycleRig(const CycleRig&) = delete;
    CycleRig& operator=(const CycleRig&) = delete;

    // A parameter value stored in PARAM.db before the window loads it (row, 1-based position).
    struct Preset
    {
        const char* row;
        int position;
        int value;
    };
    // False (with a message through qWarning) when something could not be set up. The
    // presets go into the factory PARAM.db first (the machine mode decides which detections
    // the camera views prepare, so it must be there when the window is built).
    bool start(int cameras = 1, int regions = 1, const QVector<Preset>& presets = {});
    // The first half of start: the window is built as main() builds it and its IO thread
    // runs, but nothing is taught and detection is not restarted: the window starts on what
    // the board and the cameras hold (set them first).
    bool build(int cameras = 1, const QVector<Preset>& presets = {});
    // Set before start or build: every camera starts with the left-over part in its picture
    // (setPart takes it out).
    bool partAtStart = false;

    // Set before start: instead of the rig's teaching, the window loads the demo's taught
    // mould (demo-mould) from the working folder, the way ./run.sh prepares it.
    bool demoMould = false;

    MoJuWizard* window = nullptr;
    IOBoardSim board;
    // Answers the boxes of the window; the start answers the simulated-camera question No.
    ModalAnswerer* answerer = nullptr;

    CammerWidget* view(int camera) const;

    // ---- parameters of the live record (re-derived by apply) ----
    void setParam(const char* row, int position, int value);
    void setMode(int mode);
    // What a parameter load derives: steps, triggers, gDNum and the side.
    void apply();
    // The parameters as stored at the start (factory data and presets), then apply.
    void resetParams();

    // Back to a detecting window with no alarm, no countdown and all outputs as the start of
    // detection leaves them; waits until the board holds them.
    bool restartDetection();
    // Mould step only, input delay `tenths`, the other options as the factory sets them; then
    // restartDetection. False (with a message) unless detection 1 alone is enabled.
    bool mouldOnly(int tenths);

    // ---- pictures ----
    // Puts a left-over part into (or takes it out of) camera `camera`'s picture and waits until
    // the view has grabbed a frame that shows it.
    bool setPart(int camera, bool present);

    // ---- a scenario (one test function) ----
    // Call from the test's init(): the scenario's output trace starts here.
    void beginScenario();
    // Call from the test's cleanup(): a failed scenario prints the board's output words and
    // the program's publications around its failure; every scenario leaves the shared state
    // (temperature alarm, steered clock, board faults, parameters) as it found it, however it
    // ended.
    void endScenario();
    // The trace part of endScenario alone, for scenarios that keep their own parameters.
    void reportIfFailed() const;

    // ---- inputs ----
    void setInput(int input, bool on);
    // A pulse of at least `ms` on the board's input, held until the IO thread has read it, as
    // the machine holds its signal until the monitor answers; returns when the pulse began
    // (board clock, us).
    qint64 pulse(int input, int ms);
    // The machine opens the mould: a 100 ms pulse on kMouldOpen; the board time of its edge.
    qint64 openMould() { return pulse(kMouldOpen, 100); }

    // ---- outputs over time (board clock, microseconds) ----
    static qint64 nowUs();
    // What the board holds now (it may still be behind the word the program last published).
    unsigned int outputs() const;
    // Waits (without processing events) until the board holds the word the program last
    // published; false when it does not within a few seconds.
    bool syncOutputs();
    // The board's outputs once it holds the published word.
    unsigned int syncedOutputs();
    static bool bit(unsigned int word, int n) { return (word >> n) & 1u; }
    // Processes events until output `n` is (or since the call was, however briefly) at `on`; the
    // time it got there, or -1 on time-out.
    // The time-out is what an idle machine needs; the rig stretches it for a busy one.
    qint64 waitOutput(int n, bool on, int timeoutMs);
    // When the program published the first word after `afterUs` that puts output `n` at `on`
    // (the start of the timer or pulse behind it, without the board link's delay, which a busy
    // machine stretches differently for each change); -1 when there is none. Matched by order,
    // never by the board's time: chain them (the release after the edge, the re-set after the
    // release) and check with waitOutput that the board took each.
    qint64 published(int n, bool on, qint64 afterUs) const;
    // The publication behind the board taking output `n` at `on` at `boardAtUs` (a time
    // waitOutput returned): the first of `on` after the last publication of the other level
    // the program made before that time; -1 for -1.
    qint64 publishedAt(int n, bool on, qint64 boardAtUs) const;
    // The first change after `sinceUs` that puts output `n` at `on`; -1 when there is none.
    qint64 firstChange(int n, bool on, qint64 sinceUs) const;
    // Whether output n was ever at `on` between the two times (inclusive of the level at `fromUs`).
    bool wasAt(int n, bool on, qint64 fromUs, qint64 toUs) const;
    // Output n came on at or after `fromUs` (or was on then) and the board has held it on ever
    // since: the time it came on, else -1. Order, not speed: the clamp held before a judgement
    // is `heldSince(kClampOut, edge)` below the judgement's first output change.
    qint64 heldSince(int n, qint64 fromUs) const;
    // Output `held` came on after `fromUs` (or was on then) before output `judged` first came on,
    // and the board has held it on ever since: the clamp was on before the judgement and never
    // dropped.
    bool heldBefore(int held, int judged, qint64 fromUs) const;
    // Processes events for `ms`.
    static void wait(int ms);

    // ---- records ----
    // Remarks of the operation records of a type, oldest first.
    QStringList records(const QString& type) const;

    // Prints the board's output changes and the program's publications from `fromUs` on (the
    // latest ones when there are many), times relative to it.
    void traceOutputs(qint64 fromUs) const;

private:
    bool teach(CammerWidget* v, int regions);
    void joinPulse();
    // Ends the last pulse once it is long enough and the IO thread has read it.
    std::thread pulseEnd;
    qint64 scenarioStartUs = 0;
    // Every word the program published (the IO port's change signal), board clock.
    QVector<IOBoardSim::OutputChange> publications;
    int cameraCount = 0;
    int regionCount = 0;
};
