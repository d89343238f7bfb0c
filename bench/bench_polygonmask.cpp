// Times the mask of an 8096-point freehand polygon covering most of a 1920 x 1080 canvas.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <QPoint>

#include <opencv2/core.hpp>

#include "globals.h"
#include "polygon.h"

namespace {

constexpr int kCanvasW = 1920;
constexpr int kCanvasH = 1080;
constexpr int kRuns = 20;
constexpr double kPi = 3.14159265358979323846;

// A wobbly closed stroke around the canvas centre, the way a finger draws a large area.
std::vector<QPoint> FreehandStroke()
{
    std::vector<QPoint> pts;
    for (int i = 0; i < kMaxPolygonPoints; ++i) {
        const double t = 2 * kPi * i / kMaxPolygonPoints;
        const double wobble = 1.0 + 0.04 * std::sin(37 * t) + 0.02 * std::sin(211 * t);
        const int x = static_cast<int>(kCanvasW / 2 + 930 * wobble * std::cos(t));
        const int y = static_cast<int>(kCanvasH / 2 + 520 * wobble * std::sin(t));
        pts.emplace_back(std::clamp(x, 3, kCanvasW - 3), std::clamp(y, 3, kCanvasH - 3));
    }
    return pts;
}

}  // namespace

int main()
{
    gShowW = kCanvasW;
    gShowH = kCanvasH;
    const std::vector<QPoint> stroke = FreehandStroke();
    auto polygon = std::make_unique<RePolygon>(static_cast<int>(stroke.size()), stroke.data());
    polygon->SetHand(true);
    polygon->setShowA(1.0f, 1.0f);
    polygon->setImageRect();

    double best = 1e9, total = 0;
    cv::Mat mask;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        mask = polygon->UpdateMask();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms);
        total += ms;
    }
    const double covered = 100.0 * cv::countNonZero(mask) / (kCanvasW * kCanvasH);
    std::printf("polygon mask: %d points, %dx%d mask, %.1f%% of the canvas inside\n", polygon->count, mask.cols,
                mask.rows, covered);
    std::printf("best %.2f ms, mean %.2f ms over %d runs\n", best, total / kRuns, kRuns);
    return 0;
}
