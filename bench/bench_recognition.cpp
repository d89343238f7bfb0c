// Benchmark of one camera's recognition: 1280 x 1024 grey, 100 regions, on one core. Every
// figure is the shortest of several calls (other work on a shared machine only adds time) and
// stands beside its baseline measured in the same run. Run under `taskset -c N` for one core.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <QtGlobal>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "../tests/vision/recogrig.h"
#include "miscfunc.h"
#include "plainjudgement.h"
#include "simscene.h"

namespace {
constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kRegions = 100;
constexpr int kGridColumns = 10;

// Shortest time of one call over rounds calls, after one warm-up call.
double MsPerCall(int rounds, const std::function<void()>& call)
{
    call();
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        call();
        best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void QuietInfo(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

cv::Mat Scene(double noise, quint32 noiseSeed, double dx = 0, double dy = 0, double turn = 0)
{
    SimSceneOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.seed = 3;
    o.noise = noise;
    o.noiseSeed = noiseSeed;
    o.shiftX = dx;
    o.shiftY = dy;
    o.rotation = turn;
    return SimScene::render(o);
}

// 100 regions of 120 x 94 in a 10 x 10 grid.
std::vector<cv::Rect> Grid()
{
    std::vector<cv::Rect> rects;
    for (int i = 0; i < kRegions; ++i)
        rects.emplace_back(8 + (i % kGridColumns) * 127, 6 + (i / kGridColumns) * 101, 120, 94);
    return rects;
}

// Run over 100 regions of one mix against the plain judgement of the same crops: a still
// frame, a frame shaken by 2 px that nothing corrects, and a frame with ten dark objects in
// the first ten regions (its NG count is the sanity figure).
void JudgementRows(const char* name, const std::function<int(int)>& funcOf)
{
    const std::vector<cv::Rect> rects = Grid();
    const cv::Mat templ = Scene(2, 1);
    RecogRig rig(kWidth, kHeight, false, 1);
    rig.setTemplate(0, 0, templ);
    for (size_t i = 0; i < rects.size(); ++i) {
        const int f = funcOf(int(i));
        if (f == kFuncDefect)
            rig.addRect(0, rects[i], f, 45, 100, 3);
        else if (f == kFuncSimilarity)
            rig.addRect(0, rects[i], f, 80);
        else
            rig.addRect(0, rects[i], f, f == kFuncBlackArea ? 30 : 235, 100000);
    }
    CammerRecong& rec = rig.build();
    cv::Mat objects = Scene(2, 4);
    for (int i = 0; i < 10; ++i) objects(cv::Rect(rects[i].x + 40, rects[i].y + 30, 30, 30)).setTo(10);
    struct Frame
    {
        const char* name;
        cv::Mat picture;
    };
    for (const Frame& f : {Frame{"still", Scene(2, 2)}, Frame{"shaken 2,-2 px", Scene(2, 3, 2, -2)},
                           Frame{"10 dark objects", objects}}) {
        rig.setAligned(f.picture);
        double run = 1e300, plain = 1e300;
        int plainNg = 0;
        for (int i = 0; i < 10; ++i) {  // alternated, so that both see the same machine
            run = std::min(run, MsPerCall(3, [&] { rec.Run(0); }));
            plain = std::min(plain, MsPerCall(3, [&] { plainNg = PlainJudgement(f.picture, templ, rects); }));
        }
        int ng = 0;
        for (int i = 0; i < kRegions; ++i) ng += rig.view->roiOk[0][i] ? 0 : 1;
        std::printf("  %-22s %-16s %8.2f ms %8.2f ms %7.2fx   NG %3d (plain %3d)\n", name, f.name, run, plain,
                    run / plain, ng, plainNg);
        std::fflush(stdout);
    }
}

// Position correction at the factory search offset 8000 (the whole picture) with a 5 degree
// rotation search: with a 200 x 160 position region and with none (the central model). The
// error is what is left after the correction: the shift at the model's centre and the turn.
void PositionRows()
{
    const cv::Mat templ = Scene(2, 1);
    struct Motion
    {
        double dx, dy, turn;
    };
    std::printf(
        "\nposition correction ShapeMatch: offset 8000, rotation 5, layers 5, accuracy 5; part moved and\n"
        "turned about the frame centre, noise 2; baseline: a plain correlation of the model at a quarter\n"
        "size over the whole picture and one warp\n");
    std::printf("  %-26s %-16s %9s %9s %16s %10s\n", "model", "motion", "ms", "baseline", "shift err (rest)",
                "turn err");
    for (int central = 0; central < 2; ++central) {
        RecogRig rig(kWidth, kHeight, false, 1);
        rig.para->motionCorrect = 0;
        rig.para->matchAngle = 5;
        rig.para->matchOffset = 8000;
        rig.setTemplate(0, 0, templ);
        const cv::Rect model = central ? cv::Rect(320, 256, 960, 768) : cv::Rect(540, 430, 200, 160);
        if (!central)
            rig.addRect(0, model, kFuncPosition);
        CammerRecong& rec = rig.build();
        for (const Motion m : {Motion{7, -5, 2}, Motion{-3, 4, -1}, Motion{0, 0, 0.5}}) {
            SimSceneOptions o;
            o.width = kWidth, o.height = kHeight, o.seed = 3, o.noise = 2, o.noiseSeed = 9;
            o.shiftX = m.dx, o.shiftY = m.dy, o.rotation = m.turn;
            rig.setRaw(SimScene::render(o));
            rec.HomoTransShape(0);
            const double ms = MsPerCall(5, [&] { rec.ShapeMatch(); });
            cv::Mat small, part, result, warped;
            const double base = MsPerCall(5, [&] {
                cv::resize(rig.work(), small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
                cv::resize(templ(model), part, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
                cv::matchTemplate(small, part, result, cv::TM_CCOEFF_NORMED);
                cv::warpAffine(rig.work(), warped, cv::getRotationMatrix2D(cv::Point2f(640, 512), m.turn, 1.0),
                               rig.work().size());
            });
            // Where the correction puts the model's centre: found shift, then the turn about it.
            cv::Mat crop = rig.work()(rec.searchRect[0]).clone();
            int x = 0, y = 0;
            double score = 0, angle = 0;
            const bool found = rec.findShape[0].Find(crop, 0, &x, &y, &score, &angle);
            const cv::Mat h = SimScene::homography(o);
            const cv::Point2d c(rec.shapeCenterX[0], rec.shapeCenterY[0]);
            const cv::Mat p = h * (cv::Mat_<double>(3, 1) << c.x, c.y, 1.0);
            const cv::Point2d moved(p.at<double>(0) / p.at<double>(2), p.at<double>(1) / p.at<double>(2));
            // The picture moves by whole pixels: the error is against the nearest whole move, and
            // what is left of the true move after it (at most 0.71 px) no correction can mend.
            const cv::Point nearest(int(std::lround(c.x - moved.x)), int(std::lround(c.y - moved.y)));
            const cv::Point err = cv::Point(x - rec.searchRect[0].x, y - rec.searchRect[0].y) - nearest;
            char motion[32], shift[32];
            std::snprintf(motion, sizeof motion, "%+.0f,%+.0f px %+.1f deg", m.dx, m.dy, m.turn);
            std::snprintf(shift, sizeof shift, "%+d,%+d px (%.2f)", err.x, err.y,
                          std::hypot(c.x - moved.x - nearest.x, c.y - moved.y - nearest.y));
            std::printf("  %-26s %-16s %6.1f ms %6.1f ms %16s %6.3f deg%s\n",
                        central ? "none (central 960 x 768)" : "region 200 x 160", motion, ms, base, shift,
                        std::abs(angle + m.turn), found ? "" : " NOT FOUND");
            std::fflush(stdout);
        }
    }
}
}  // namespace

int main()
{
    qInstallMessageHandler(QuietInfo);
    cv::setNumThreads(1);
    std::printf("recognition of one camera, %d x %d grey (synthetic scene), one thread (-O2)\n", kWidth, kHeight);
    std::printf(
        "\njudgement of %d regions of 120 x 94: Run against the plain judgement of the same crops (absolute\n"
        "difference to the template, threshold 14, opening 3, contours and their areas)\n",
        kRegions);
    std::printf("  %-22s %-16s %11s %11s %8s\n", "regions", "frame", "Run", "plain", "ratio");
    JudgementRows("mixed 50/30/10/10", [](int i) {
        const int k = i % 10;
        return k < 5 ? kFuncDefect : k < 8 ? kFuncSimilarity : k == 8 ? kFuncBlackArea : kFuncWhiteArea;
    });
    JudgementRows("defect only", [](int) { return kFuncDefect; });
    JudgementRows("similarity only", [](int) { return kFuncSimilarity; });
    PositionRows();
    return 0;
}
