// Benchmark of the detection cycle: input edge at the simulated board to the judged output frame on the board.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QVector>

#include "cammerrecongnize.h"
#include "cammerwidget.h"
#include "controlport.h"
#include "cyclerig.h"
#include "iothread.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "windowhooks.h"

namespace {

constexpr int kRegions = 100;
constexpr int kCycles = 100;
constexpr int kEjector = 1;
constexpr int kInputPulseMs = 30;
constexpr int kClampCycles = 30;

void QuietInfo(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtInfoMsg && type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

double Median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

double Max(const QVector<double>& v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

}  // namespace

int main(int argc, char** argv)
{
    TestSupport::initTestProcess();
    QApplication app(argc, argv);
    TestSupport::setPanelScreen();
    qInstallMessageHandler(QuietInfo);

    CycleRig rig;
    // Mould step only, no delay; OK and NG output pulses, so that every judged cycle shows on
    // the board as the ejector output switching on (and off again 100 ms later).
    if (!rig.start(1, kRegions, {{"system1", 2, 0}, {"trigInDelay", 2, 0}, {"system5", 9, 1}, {"system2", 6, 1}})) {
        std::fprintf(stderr, "bench_cycle: the rig did not start\n");
        return 1;
    }
    CammerWidget* v = rig.view(0);
    QVector<double> edgeToOutput;
    QVector<double> judgement;
    // Where the time goes: the IO thread seeing the edge, the window publishing the answer,
    // the board taking it.
    QVector<double> edgeToSeen;
    QVector<double> seenToPublished;
    QVector<double> publishedToBoard;
    std::atomic<qint64> seenUs{0};
    QObject::connect(
        gpControlIO->ioThread, &IOThread::sigIOChange, gpControlIO->ioThread,
        [&seenUs] {
            qint64 none = 0;
            seenUs.compare_exchange_strong(none, CycleRig::nowUs());
        },
        Qt::DirectConnection);
    int lost = 0;
    for (int i = 0; i < kCycles; ++i) {
        rig.wait(150);
        seenUs = 0;
        const qint64 edge = rig.pulse(0, kInputPulseMs);
        const qint64 on = rig.waitOutput(kEjector, true, 2000);
        if (on < 0) {
            ++lost;
            continue;
        }
        edgeToOutput << double(on - edge) / 1000.0;
        const qint64 published = rig.publishedAt(kEjector, true, on);
        if (seenUs > 0 && published > 0) {
            edgeToSeen << double(seenUs - edge) / 1000.0;
            seenToPublished << double(published - seenUs) / 1000.0;
            publishedToBoard << double(on - published) / 1000.0;
        }
        if (rig.waitOutput(kEjector, false, 2000) < 0)
            ++lost;
        // The same judgement on the frame just judged, timed on its own.
        const auto start = std::chrono::steady_clock::now();
        rig.window->step = 1;
        v->recognizer->HomoTransShape(1);
        v->recognizer->ShapeMatch();
        v->recognizer->Run(1);
        const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        judgement << spent.count();
    }
    std::printf("cycle: 1 camera %dx%d, %d regions, delay 0, %d cycles (%d without output)\n", v->imageWidth,
                v->imageHeight, kRegions, kCycles, lost);
    std::printf("  input edge -> output frame: median %.1f ms, max %.1f ms\n", Median(edgeToOutput), Max(edgeToOutput));
    std::printf("  judgement (recognition of the frame): median %.1f ms, max %.1f ms\n", Median(judgement),
                Max(judgement));
    std::printf("  edge -> output beyond the judgement: median %.1f ms\n", Median(edgeToOutput) - Median(judgement));
    std::printf("  of which: edge -> seen by the IO thread %.1f ms, seen -> answer published %.1f ms, "
                "published -> board %.1f ms (medians)\n",
                Median(edgeToSeen), Median(seenToPublished), Median(publishedToBoard));

    // The clamp a cycle start holds, timed here rather than in the window scenarios: input edge
    // to the clamp output on the board (mould step, 0.5 s delay, no pulses), beside the board
    // link alone (a word published straight to the board).
    rig.setParam("system5", 9, 0);
    rig.setParam("trigInDelay", 2, 5);
    rig.apply();
    QVector<double> edgeToClamp;
    QVector<double> link;
    if (!rig.restartDetection())
        ++lost;
    for (int i = 0; i < kClampCycles; ++i) {
        rig.wait(150);
        const qint64 edge = rig.pulse(0, kInputPulseMs);
        const qint64 on = rig.waitOutput(kClampOut, true, 2000);
        if (on < 0 || rig.waitOutput(kClampOut, false, 3000) < 0) {
            ++lost;
            continue;
        }
        edgeToClamp << double(on - edge) / 1000.0;
        // The spare output 4, switched on and off straight through the link.
        for (bool level : {true, false}) {
            const qint64 published = CycleRig::nowUs();
            gpControlIO->IOSetOut(kOutput4, level ? 1 : 0);
            gpControlIO->IOFlashOut();
            const qint64 reached = rig.waitOutput(kOutput4, level, 2000);
            if (reached >= 0)
                link << double(reached - published) / 1000.0;
        }
    }
    std::printf("  input edge -> clamp held at the board: median %.1f ms, max %.1f ms (%d cycles)\n",
                Median(edgeToClamp), Max(edgeToClamp), int(edgeToClamp.size()));
    std::printf("  baseline, published word -> board: median %.1f ms, max %.1f ms\n", Median(link), Max(link));
    TestSupport::finishTestProcess();
    return lost == 0 ? 0 : 1;
}
