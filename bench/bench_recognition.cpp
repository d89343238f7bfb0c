// Benchmark of one camera's recognition: 1280 x 1024 grey, 100 regions of mixed functions, on one core.
#include <chrono>
#include <cstdio>
#include <functional>

#include <QtGlobal>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "../tests/vision/recogrig.h"
#include "miscfunc.h"
#include "simscene.h"

namespace {
constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kRegions = 100;  // 99 judged and one position region
constexpr int kGridColumns = 10;
constexpr int kJudgeRounds = 100;
constexpr int kCorrectionRounds = 20;

// The judged functions in the mix, with their parameters (defaults of the region panel).
struct Mix
{
    int func, p1, p2, p3;
};
constexpr Mix kMix[] = {
    {kFuncDefect, 45, 100, 3},           {kFuncDefect, 45, 100, 3},     {kFuncDefect, 45, 100, 3},
    {kFuncSimilarity, 80, 0, 0},         {kFuncSimilarity, 80, 0, 0},   {kFuncSpot, 80, 500, 50 << 8},
    {kFuncBlackArea, 50, 100, 0},        {kFuncWhiteArea, 200, 100, 0}, {kFuncWhiteNumber, 128, 6553601, 1},
    {kFuncBlackNumber, 128, 6553601, 1},
};

double MsPerCall(int rounds, const std::function<void()>& call)
{
    call();  // warm-up: first allocations
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) call();
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / rounds;
}

void QuietInfo(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}
}  // namespace

int main()
{
    qInstallMessageHandler(QuietInfo);
    cv::setNumThreads(1);

    SimSceneOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.seed = 3;
    const cv::Mat templ = SimScene::render(o);

    RecogRig rig(kWidth, kHeight);
    rig.para->motionCorrect = 0;
    rig.para->matchAngle = 10;
    rig.para->matchOffset = 50;
    rig.setTemplate(0, 0, templ);
    rig.setTemplate(1, 0, templ);  // detection 1 has no regions: its position model is the central rectangle
    // Regions of 60..150 x 50..90 pixels in a 10 x 10 grid over the picture.
    const int cellW = kWidth / kGridColumns, cellH = kHeight / (kRegions / kGridColumns);
    for (int i = 0; i < kRegions - 1; ++i) {
        const Mix& m = kMix[i % (sizeof(kMix) / sizeof(kMix[0]))];
        const cv::Rect r((i % kGridColumns) * cellW + 4, (i / kGridColumns) * cellH + 4, 60 + (i * 13) % 61,
                         50 + (i * 7) % 41);
        rig.addRect(0, r, m.func, m.p1, m.p2, m.p3);
    }
    rig.addRect(0, cv::Rect(540, 430, 200, 160), kFuncPosition);

    const auto trainStart = std::chrono::steady_clock::now();
    CammerRecong& rec = rig.build();
    const std::chrono::duration<double, std::milli> trained = std::chrono::steady_clock::now() - trainStart;

    o.noise = 3;
    o.shiftX = 6;
    o.shiftY = -4;
    o.rotation = 1.5;
    o.defect = true;
    o.defectX = 300;
    o.defectY = 200;
    const cv::Mat live = SimScene::render(o);
    rig.setRaw(live);
    rec.HomoTransShape(0);
    rec.ShapeMatch();

    const double judge = MsPerCall(kJudgeRounds, [&] { rec.Run(0); });
    int ng = 0;
    for (int r = 0; r < kRegions - 1; ++r) ng += rig.view->roiOk[0][r] ? 0 : 1;
    const double position = MsPerCall(kCorrectionRounds, [&] { rec.ShapeMatch(); });
    auto searchOf = [&](int det) {
        cv::Mat search = rig.work()(rec.searchRect[det]).clone();
        return MsPerCall(kCorrectionRounds, [&] {
            int x = 0, y = 0;
            double score = 0, angle = 0;
            rec.findShape[det].Find(search, 0, &x, &y, &score, &angle);
        });
    };
    const double find = searchOf(0);
    rec.CreateShape(1);
    const double findWhole = searchOf(1);
    const double transform = MsPerCall(kCorrectionRounds, [&] {
        cv::Mat out;
        TransformImage(rig.work(), out, cv::Point(6, -4), cv::Point(640, 512), 1.5);
    });
    const double copy = MsPerCall(kCorrectionRounds, [&] { rec.HomoTransShape(0); });

    rig.para->angleCorrect = 1;
    rec.CreateHomoShape(0);
    const double perspective = MsPerCall(kCorrectionRounds / 4, [&] { rec.HomoTransShape(0); });

    std::printf("recognition of one camera, %d x %d grey, %d regions (%d judged), one thread (-O2)\n", kWidth, kHeight,
                kRegions, kRegions - 1);
    std::printf("  training (construction)          %8.2f ms\n", trained.count());
    std::printf("  judgement Run                    %8.2f ms per camera (%d regions NG)\n", judge, ng);
    std::printf("  position correction ShapeMatch   %8.2f ms (rotation range 10, offset 50)\n", position);
    std::printf("    of which the shape search       %8.2f ms\n", find);
    std::printf("    of which shift and rotation     %8.2f ms (whole picture)\n", transform);
    std::printf("  shape search, no position region %8.2f ms (central 960 x 768 over the whole picture)\n", findWhole);
    std::printf("  perspective off (copy)           %8.2f ms\n", copy);
    std::printf("  perspective correction           %8.2f ms\n", perspective);
    return 0;
}
