// Recognition quality at factory parameters: false alarms and misses of the defect and similarity
// functions on real photographs and a synthetic scene, then the speed of the corrections.
//
// The photographs are the example pictures of the opencv-doc package; bench/install-photos.sh
// installs them. Run: bench_recognition_quality [photo folder] [--quality-only|--speed-only|
// --position-only|--perspective-only|--judgement-only]
// (speed figures are for one core: run under `taskset -c 0`).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <QtGlobal>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/stitching/detail/matchers.hpp>

#include "../tests/vision/recogrig.h"
#include "miscfunc.h"
#include "simscene.h"

namespace {
constexpr int kW = 1280;
constexpr int kH = 1024;
constexpr int kMargin = 64;  // canvas border so that a moved part still fills the frame
constexpr int kRegionW = 120;
constexpr int kRegionH = 100;
constexpr int kColumns = 8;
constexpr int kRows = 6;
constexpr int kInset = 60;  // regions keep off the frame's edge, where rotations leave black wedges
constexpr int kCleanFrames = 2;
constexpr int kDefectFrames = 4;
constexpr int kTemplateNoise = 2;
constexpr int kVisibleChange = 30;  // mean grey change that makes a pasted object "visible"

const char* const kPhotos[] = {"graf1.png", "building.jpg", "baboon.jpg", "fruits.jpg"};

struct Scene
{
    std::string name;
    cv::Mat canvas;  // 8UC3 B,G,R of (kW + 2 kMargin) x (kH + 2 kMargin)
};

// One row of the table: what happens to the frame between teaching and judging.
struct Nuisance
{
    const char* name;
    double noise = 2;
    double gain = 1.0;
    double shiftX = 0, shiftY = 0, rotation = 0;
    double perspective = 0;   // top corners move in by this fraction of the width
    bool position = false;    // position correction on
    bool homography = false;  // perspective correction on
    bool colour = true;       // also measured on a colour camera (no correction exists there)
};

struct Tally
{
    long judged = 0, alarms = 0;         // clean regions
    long planted = 0, missed = 0;        // visible objects
    long huePlanted = 0, hueMissed = 0;  // visible objects whose change a hue picture can show
    double worstMiss = 0;                // worst scene's miss share
    double worstAlarm = 0;
    double worstHueMiss = 0;
};

std::vector<cv::Rect> Regions()
{
    std::vector<cv::Rect> out;
    const int cellW = (kW - 2 * kInset) / kColumns, cellH = (kH - 2 * kInset) / kRows;
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kColumns; ++col)
            out.emplace_back(kInset + col * cellW + (cellW - kRegionW) / 2,
                             kInset + row * cellH + (cellH - kRegionH) / 2, kRegionW, kRegionH);
    return out;
}

bool IsDefectRegion(int i)
{
    return ((i % kColumns) + (i / kColumns)) % 2 == 0;
}

// Maps canvas pixels to the frame as the nuisance moved the part.
cv::Mat Motion(const Nuisance& n)
{
    const cv::Point2f c(kW / 2.0f, kH / 2.0f);
    cv::Mat rot = cv::getRotationMatrix2D(c, n.rotation, 1.0);
    cv::Mat a = cv::Mat::eye(3, 3, CV_64F);
    rot.copyTo(a(cv::Rect(0, 0, 3, 2)));
    a.at<double>(0, 2) += n.shiftX;
    a.at<double>(1, 2) += n.shiftY;
    if (n.perspective > 0) {
        const float f = float(n.perspective * kW);
        const cv::Point2f from[4] = {{0, 0}, {kW, 0}, {kW, kH}, {0, kH}};
        const cv::Point2f to[4] = {{f, 0}, {kW - f, 0}, {kW, kH}, {0, kH}};
        a = cv::getPerspectiveTransform(from, to) * a;
    }
    cv::Mat fromCanvas = cv::Mat::eye(3, 3, CV_64F);
    fromCanvas.at<double>(0, 2) = -kMargin;
    fromCanvas.at<double>(1, 2) = -kMargin;
    return a * fromCanvas;
}

// The camera's picture of canvas: moved, brightness changed and noisy; 8UC1 or 8UC4.
cv::Mat Frame(const cv::Mat& canvas, const Nuisance& n, bool colour, double noise, std::mt19937& rng)
{
    cv::Mat moved;
    cv::warpPerspective(canvas, moved, Motion(n), cv::Size(kW, kH), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    cv::Mat f;
    moved.convertTo(f, CV_32F, n.gain);
    if (!colour)
        cv::cvtColor(f, f, cv::COLOR_BGR2GRAY);
    if (noise > 0) {
        cv::Mat g(f.size(), f.type());
        cv::theRNG().state = rng();
        cv::randn(g, 0, noise);
        f += g;
    }
    cv::Mat out;
    f.convertTo(out, CV_8U);
    if (colour)
        cv::cvtColor(out, out, cv::COLOR_BGR2BGRA);
    return out;
}

// Pastes one foreign object or removes a part inside region r (canvas coordinates); returns
// the object's mask in reference-frame coordinates.
cv::Mat Plant(cv::Mat& canvas, const cv::Mat& texture, cv::Rect r, int kind, std::mt19937& rng)
{
    std::uniform_int_distribution<int> sizeOf(15, 60);
    const int w = sizeOf(rng), h = std::clamp(w + std::uniform_int_distribution<int>(-8, 8)(rng), 15, 60);
    const int x = r.x + std::uniform_int_distribution<int>(2, r.width - w - 2)(rng);
    const int y = r.y + std::uniform_int_distribution<int>(2, r.height - h - 2)(rng);
    const cv::Rect box(x + kMargin, y + kMargin, w, h);
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::Mat local = cv::Mat::zeros(h, w, CV_8UC1);
    if (kind % 2 == 0)
        cv::ellipse(local, cv::Point(w / 2, h / 2), cv::Size(w / 2, h / 2), 0, 0, 360, cv::Scalar(255), -1);
    else
        local.setTo(255);
    local.copyTo(mask(cv::Rect(x, y, w, h)));
    cv::Mat patch(h, w, CV_8UC3);
    std::uniform_real_distribution<double> unit(0, 1);
    auto randomColour = [&](double lo, double hi) {
        const double v = lo + (hi - lo) * unit(rng), s = unit(rng), hue = unit(rng) * 6;
        const int i = int(hue);
        const double f = hue - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
        const double rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
        return cv::Scalar(rgb[i % 6][2] * 255, rgb[i % 6][1] * 255, rgb[i % 6][0] * 255);
    };
    switch (kind % 4) {
        case 0:  // bright
            patch.setTo(randomColour(0.75, 1.0));
            break;
        case 1:  // dark
            patch.setTo(randomColour(0.0, 0.25));
            break;
        case 2: {  // textured: a piece of another picture
            const int tx = std::uniform_int_distribution<int>(0, texture.cols - w - 1)(rng);
            const int ty = std::uniform_int_distribution<int>(0, texture.rows - h - 1)(rng);
            texture(cv::Rect(tx, ty, w, h)).copyTo(patch);
            break;
        }
        default: {  // removed part: the surroundings smeared over it
            cv::Mat around =
                canvas(cv::Rect(box.x - w, box.y - h, 3 * w, 3 * h) & cv::Rect(0, 0, canvas.cols, canvas.rows)).clone();
            cv::Scalar m = cv::mean(around);
            patch.setTo(m);
            break;
        }
    }
    patch.copyTo(canvas(box), local);
    return mask;
}

double MeanChange(const cv::Mat& before, const cv::Mat& after, const cv::Mat& mask)
{
    cv::Mat d;
    cv::absdiff(before, after, d);
    return cv::mean(d, mask)[0];
}

cv::Mat Chroma(const cv::Mat& bgr)
{
    cv::Mat planes[3], hi, lo;
    cv::split(bgr, planes);
    cv::max(planes[0], planes[1], hi);
    cv::max(hi, planes[2], hi);
    cv::min(planes[0], planes[1], lo);
    cv::min(lo, planes[2], lo);
    return hi - lo;
}

cv::Mat Hue(const cv::Mat& bgr)
{
    cv::Mat bgra, hue(bgr.size(), CV_8UC1);
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    RGBA2Hue(hue.data, reinterpret_cast<int*>(bgra.data), bgr.cols, bgr.rows);
    return hue;
}

// Share of the object's pixels whose change a hue picture can show at all: both clearly
// coloured with hues 30 levels apart, or a clear colour against a near grey.
double HueVisibleShare(const cv::Mat& before, const cv::Mat& after, const cv::Mat& mask)
{
    const cv::Mat ca = Chroma(before), cb = Chroma(after), ha = Hue(before), hb = Hue(after);
    int n = 0, visible = 0;
    for (int y = 0; y < mask.rows; ++y)
        for (int x = 0; x < mask.cols; ++x) {
            if (!mask.at<unsigned char>(y, x))
                continue;
            ++n;
            const int a = ca.at<unsigned char>(y, x), b = cb.at<unsigned char>(y, x);
            const int d = std::abs(ha.at<unsigned char>(y, x) - hb.at<unsigned char>(y, x));
            const bool turned = a >= 12 && b >= 12 && std::min(d, 255 - d) >= kVisibleChange;
            const bool coloured = (a >= 25 && b <= 6) || (b >= 25 && a <= 6);
            visible += turned || coloured;
        }
    return n ? double(visible) / n : 0.0;
}

Scene Synthetic()
{
    SimSceneOptions o;
    o.width = kW + 2 * kMargin;
    o.height = kH + 2 * kMargin;
    o.seed = 11;
    o.color = true;
    cv::Mat c = SimScene::render(o);
    cv::Mat bgr;
    cv::cvtColor(c, bgr, cv::COLOR_BGRA2BGR);
    return {"synthetic", bgr};
}

struct Rig
{
    explicit Rig(bool colour) : rig(kW, kH, colour, 1)
    {
        rig.para->filterArea = 100;  // factory values of the region and system parameters
        rig.para->filterSize = 3;
        rig.para->minSpot = 3;
        rig.para->amplify = 0;
        rig.para->matchAccuracy = 5;
        rig.para->zoomLayers = 5;
        rig.para->matchOffset = 100;
        rig.para->matchAngle = 5;
        gisGrayHue = false;  // colour cameras judge the hue
        const std::vector<cv::Rect> regions = Regions();
        for (size_t i = 0; i < regions.size(); ++i) {
            if (IsDefectRegion(int(i)))
                rig.addRect(0, regions[i], kFuncDefect, 45, 100, 3);
            else
                rig.addRect(0, regions[i], kFuncSimilarity, 80, 0, 0);
        }
    }
    RecogRig rig;
};

void Judge(Rig& r, CammerRecong& rec, const cv::Mat& frame)
{
    r.rig.setRaw(frame);
    rec.HomoTransShape(0);
    rec.ShapeMatch();
    rec.Run(0);
}

// Tallies of one scene for one nuisance: [0] defect, [1] similarity.
void Measure(const Scene& s, const cv::Mat& texture, const Nuisance& n, bool colour, Tally t[2])
{
    Rig r(colour);
    r.rig.para->motionCorrect = n.position ? 0 : -1;
    r.rig.para->angleCorrect = n.homography ? 1 : 0;
    std::mt19937 rng(1234);
    const Nuisance still{"still"};
    r.rig.setTemplate(0, 0, Frame(s.canvas, still, colour, kTemplateNoise, rng));
    CammerRecong& rec = r.rig.build();
    const std::vector<cv::Rect> regions = Regions();
    long judged[2] = {}, alarms[2] = {}, planted[2] = {}, missed[2] = {};
    const long sceneHuePlanted[2] = {t[0].huePlanted, t[1].huePlanted};
    const long sceneHueMissed[2] = {t[0].hueMissed, t[1].hueMissed};
    for (int k = 0; k < kCleanFrames; ++k) {
        Judge(r, rec, Frame(s.canvas, n, colour, n.noise, rng));
        for (size_t i = 0; i < regions.size(); ++i) {
            const int f = IsDefectRegion(int(i)) ? 0 : 1;
            ++judged[f];
            alarms[f] += r.rig.view->roiOk[0][i] ? 0 : 1;
        }
    }
    cv::Mat referenceGrey;
    cv::cvtColor(s.canvas(cv::Rect(kMargin, kMargin, kW, kH)), referenceGrey, cv::COLOR_BGR2GRAY);
    const cv::Mat reference = s.canvas(cv::Rect(kMargin, kMargin, kW, kH));
    for (int k = 0; k < kDefectFrames; ++k) {
        cv::Mat canvas = s.canvas.clone();
        std::vector<cv::Mat> masks(regions.size());
        for (size_t i = 0; i < regions.size(); ++i) masks[i] = Plant(canvas, texture, regions[i], int(i / 2) + k, rng);
        Judge(r, rec, Frame(canvas, n, colour, n.noise, rng));
        cv::Mat changed;
        cv::cvtColor(canvas(cv::Rect(kMargin, kMargin, kW, kH)), changed, cv::COLOR_BGR2GRAY);
        for (size_t i = 0; i < regions.size(); ++i) {
            if (MeanChange(referenceGrey, changed, masks[i]) < kVisibleChange)
                continue;
            const int f = IsDefectRegion(int(i)) ? 0 : 1;
            const bool miss = r.rig.view->roiOk[0][i];
            ++planted[f];
            missed[f] += miss;
            const cv::Rect box = cv::boundingRect(masks[i]);
            if (colour &&
                HueVisibleShare(reference(box), canvas(box + cv::Point(kMargin, kMargin)), masks[i](box)) >= 0.5) {
                ++t[f].huePlanted;
                t[f].hueMissed += miss;
            }
        }
    }
    for (int f = 0; f < 2; ++f) {
        t[f].worstHueMiss = std::max(t[f].worstHueMiss, t[f].huePlanted > sceneHuePlanted[f]
                                                            ? 100.0 * (t[f].hueMissed - sceneHueMissed[f]) /
                                                                  (t[f].huePlanted - sceneHuePlanted[f])
                                                            : 0.0);
        t[f].judged += judged[f];
        t[f].alarms += alarms[f];
        t[f].planted += planted[f];
        t[f].missed += missed[f];
        t[f].worstMiss = std::max(t[f].worstMiss, planted[f] ? 100.0 * missed[f] / planted[f] : 0.0);
        t[f].worstAlarm = std::max(t[f].worstAlarm, judged[f] ? 100.0 * alarms[f] / judged[f] : 0.0);
    }
}

std::string Percent(long part, long whole, double worst)
{
    char buf[64];
    if (whole == 0)
        return "      -      ";
    std::snprintf(buf, sizeof buf, "%5.1f (%5.1f)", 100.0 * part / whole, worst);
    return buf;
}

void QualityTable(const std::vector<Scene>& scenes, const cv::Mat& texture)
{
    std::vector<Nuisance> rows;
    rows.push_back({"noise 2"});
    rows.push_back({"noise 3", 3});
    rows.push_back({"noise 5", 5});
    rows.push_back({"brightness +10%", 2, 1.1});
    rows.push_back({"brightness -10%", 2, 0.9});
    Nuisance shift{"shift 7,-5 corrected"};
    shift.shiftX = 7, shift.shiftY = -5, shift.position = true, shift.colour = false;
    rows.push_back(shift);
    for (double a : {1.0, 2.0, 3.0}) {
        Nuisance turn{a == 1.0 ? "turn 1 deg corrected" : a == 2.0 ? "turn 2 deg corrected" : "turn 3 deg corrected"};
        turn.rotation = a, turn.shiftX = 3, turn.shiftY = 2, turn.position = true, turn.colour = false;
        rows.push_back(turn);
    }
    Nuisance persp{"perspective 1% corrected"};
    persp.perspective = 0.01, persp.homography = true, persp.colour = false;
    rows.push_back(persp);

    std::printf("\nRecognition quality at factory parameters (sensitivity 45, area 100, filter 3, similarity 80)\n");
    std::printf(
        "%zu scenes x %d regions of %d x %d (half defect, half similarity); %d clean and %d planted frames "
        "per scene and row\n",
        scenes.size(), kColumns * kRows, kRegionW, kRegionH, kCleanFrames, kDefectFrames);
    std::printf(
        "false alarms: %% of clean regions NG; misses: %% of planted objects (mean grey change >= %d) passed;\n"
        "(worst scene) in brackets; hue = colour camera at the hue conversion; 'hue-vis' = objects whose change\n"
        "a hue picture can show (hues 30 levels apart, or a clear colour against a near grey)\n\n",
        kVisibleChange);
    std::printf("%-25s | %-13s %-13s %-13s %-13s | %-13s %-13s %-13s %-13s %-13s\n", "nuisance", "grey f0 FA",
                "grey f0 miss", "grey f6 FA", "grey f6 miss", "hue f0 FA", "hue f0 miss", "hue f0 hue-vis", "hue f6 FA",
                "hue f6 miss");
    for (const Nuisance& n : rows) {
        Tally grey[2], hue[2];
        for (const Scene& s : scenes) {
            Measure(s, texture, n, false, grey);
            if (n.colour)
                Measure(s, texture, n, true, hue);
        }
        std::printf("%-25s | %s %s %s %s | %s %s %s %s %s\n", n.name,
                    Percent(grey[0].alarms, grey[0].judged, grey[0].worstAlarm).c_str(),
                    Percent(grey[0].missed, grey[0].planted, grey[0].worstMiss).c_str(),
                    Percent(grey[1].alarms, grey[1].judged, grey[1].worstAlarm).c_str(),
                    Percent(grey[1].missed, grey[1].planted, grey[1].worstMiss).c_str(),
                    Percent(hue[0].alarms, hue[0].judged, hue[0].worstAlarm).c_str(),
                    Percent(hue[0].missed, hue[0].planted, hue[0].worstMiss).c_str(),
                    Percent(hue[0].hueMissed, hue[0].huePlanted, hue[0].worstHueMiss).c_str(),
                    Percent(hue[1].alarms, hue[1].judged, hue[1].worstAlarm).c_str(),
                    Percent(hue[1].missed, hue[1].planted, hue[1].worstMiss).c_str());
        std::fflush(stdout);
    }
}

// Shortest time of one call: other work on a shared machine only ever adds time.
double MsPerCall(int rounds, const std::function<void()>& call)
{
    if (rounds == 0) {  // one cold call
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    call();  // warm-up
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        call();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return *std::min_element(times.begin(), times.end());
}

// Position search per zoom-layer value, its accuracy, perspective correction per scene and the
// judgement of 100 regions against the plain OpenCV judgement, all on one thread.
void PositionSpeed(const std::vector<Scene>& scenes)
{
    const Scene& s = scenes.front();
    std::mt19937 rng(99);
    const Nuisance still{"still"};
    const cv::Mat templ = Frame(s.canvas, still, false, kTemplateNoise, rng);

    std::printf(
        "position search (Find) per zoom-layer value, rotation range 5, region 200 x 160 offset 100 and\n"
        "the central 960 x 768 model over the whole picture; error of shift (px) and angle (deg):\n");
    std::printf(
        "(baseline: the same search starting exactly at the asked layer, one call; '-' where it takes\n"
        "seconds)\n");
    std::printf("%6s %12s %12s %12s %12s %12s %14s\n", "layers", "region ms", "baseline", "central ms", "baseline",
                "shift err", "angle err");
    struct Truth
    {
        double dx, dy, angle;
    };
    const Truth truths[] = {{7, -5, 0}, {-4, 6, 2}, {3, 2, -3}};
    for (int layers = 0; layers <= 10; ++layers) {
        double ms[2] = {}, base[2] = {-1, -1};
        double shiftErr = 0, angleErr = 0;
        for (int central = 0; central < 2; ++central) {
            RecogRig rig(kW, kH, false, 1);
            rig.para->motionCorrect = 0;
            rig.para->matchAngle = 5;
            rig.para->matchOffset = 100;
            rig.para->zoomLayers = layers;
            rig.setTemplate(0, 0, templ);
            const cv::Rect model(540, 430, 200, 160);
            if (!central)
                rig.addRect(0, model, kFuncPosition);
            CammerRecong& rec = rig.build();
            for (const Truth& t : truths) {
                Nuisance n{"moved"};
                n.shiftX = t.dx;
                n.shiftY = t.dy;
                n.rotation = t.angle;
                // Rotation about the model's centre, so the truth is the shift itself.
                cv::Mat frame = Frame(s.canvas, n, false, 2, rng);
                cv::Mat search = frame(rec.searchRect[0]).clone();
                int x = 0, y = 0;
                double score = 0, angle = 0;
                ms[central] += MsPerCall(2, [&] { rec.findShape[0].Find(search, 0, &x, &y, &score, &angle); });
                if (&t == truths && (layers >= 2 || !central)) {
                    FindShape plain = rec.findShape[0];
                    plain.topBudget = 1e300;
                    int px = 0, py = 0;
                    double ps = 0, pa = 0;
                    base[central] = MsPerCall(0, [&] { plain.Find(search, 0, &px, &py, &ps, &pa); });
                }
                if (!central) {
                    // The frame turned about its own centre, which is the model's centre here.
                    const double ex = std::abs(x - rec.searchRect[0].x + t.dx);
                    const double ey = std::abs(y - rec.searchRect[0].y + t.dy);
                    shiftErr = std::max(shiftErr, std::max(ex, ey));
                    // Find reports the correcting turn, the opposite of the part's.
                    angleErr = std::max(angleErr, std::abs(angle + t.angle));
                }
            }
        }
        auto baseText = [](double b) { return b < 0 ? std::string("-") : std::to_string(int(b + 0.5)); };
        std::printf("%6d %12.2f %12s %12.2f %12s %12.2f %14.3f\n", layers, ms[0] / 3, baseText(base[0]).c_str(),
                    ms[1] / 3, baseText(base[1]).c_str(), shiftErr, angleErr);
        std::fflush(stdout);
    }
}

// The perspective correction done the plain way, as a baseline: the whole half-megapixel
// picture's features, the stitching module's pairwise matcher, the homography and the warp.
class PlainHomography
{
public:
    PlainHomography(const cv::Mat& templ, const cv::Mat& fullMask)
    {
        scale = float(std::min(1.0, std::sqrt(500000.0 / (double(templ.rows) * templ.cols))));
        cv::resize(fullMask, mask, cv::Size(), scale, scale, cv::INTER_LINEAR_EXACT);
        features[1] = Features(templ, 1);
    }
    void correct(const cv::Mat& src, cv::Mat& dst)
    {
        features[0] = Features(src, 0);
        cv::detail::BestOf2NearestMatcher matcher(false, 0.4f, 6, 6);
        cv::detail::MatchesInfo info;
        matcher(features[0], features[1], info);
        matcher.collectGarbage();
        std::vector<cv::Point2f> a, b;
        for (const cv::DMatch& m : info.matches) {
            a.push_back(features[0].keypoints[m.queryIdx].pt / scale);
            b.push_back(features[1].keypoints[m.trainIdx].pt / scale);
        }
        if (a.size() < 4)
            return;
        const cv::Mat h = cv::findHomography(a, b, cv::RANSAC, 3.0, cv::noArray(), 2000, 0.995);
        if (!h.empty())
            cv::warpPerspective(src, dst, h, src.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    }

private:
    cv::detail::ImageFeatures Features(const cv::Mat& image, int index)
    {
        cv::Mat resized;
        cv::resize(image, resized, cv::Size(), scale, scale, cv::INTER_LINEAR_EXACT);
        cv::detail::ImageFeatures f;
        cv::detail::computeImageFeatures(cv::SIFT::create(0, 3, 0.04, 10, 1.6), resized, f, mask);
        f.img_idx = index;
        return f;
    }
    float scale = 1;
    cv::Mat mask;
    cv::detail::ImageFeatures features[2];
};

void PerspectiveSpeed(const std::vector<Scene>& scenes)
{
    std::mt19937 rng(99);
    const Nuisance still{"still"};
    const int threads = std::min(4, cv::getNumberOfCPUs());
    std::printf(
        "\nperspective correction (HomoTransShape) per scene, 1280 x 1024, perspective 1%%, no perspective\n"
        "region (the central rectangle is matched); baseline: the plain pipeline in the same run;\n"
        "1 thread, then %d threads (OpenCV's own parallel loops, as the program runs):\n",
        threads);
    std::printf("  %-12s %10s %10s %10s %10s   %s\n", "scene", "1 thread", "baseline", "threads", "baseline",
                "mean grey error before -> after");
    for (const Scene& sc : scenes) {
        RecogRig rig(kW, kH, false, 1);
        rig.para->angleCorrect = 1;
        const cv::Mat templ = Frame(sc.canvas, still, false, kTemplateNoise, rng);
        rig.setTemplate(0, 0, templ);
        CammerRecong& rec = rig.build();
        Nuisance n{"tilted"};
        n.perspective = 0.01;
        const cv::Mat frame = Frame(sc.canvas, n, false, 2, rng);
        rig.setRaw(frame);
        cv::Mat fullMask = cv::Mat::zeros(kH, kW, CV_8UC1);
        fullMask(cv::Rect(kW / 4, kH / 4, 3 * kW / 4, 3 * kH / 4) & cv::Rect(0, 0, kW, kH)).setTo(255);
        PlainHomography plain(templ, fullMask);
        cv::Mat plainOut = frame.clone();
        double ms[2] = {1e9, 1e9}, base[2] = {1e9, 1e9};
        for (int t = 0; t < 2; ++t) {
            cv::setNumThreads(t == 0 ? 1 : threads);
            for (int i = 0; i < 3; ++i) {  // alternated, so that both see the same machine
                ms[t] = std::min(ms[t], MsPerCall(1, [&] { rec.HomoTransShape(0); }));
                base[t] = std::min(base[t], MsPerCall(1, [&] { plain.correct(frame, plainOut); }));
            }
        }
        cv::setNumThreads(1);
        cv::Mat reference = Frame(sc.canvas, still, false, 0, rng);
        const cv::Rect inner(kInset, kInset, kW - 2 * kInset, kH - 2 * kInset);
        std::printf("  %-12s %7.1f ms %7.1f ms %7.1f ms %7.1f ms   %5.1f -> %4.1f (baseline %4.1f)\n", sc.name.c_str(),
                    ms[0], base[0], ms[1], base[1], MeanAbsDiff(frame, reference, inner),
                    MeanAbsDiff(rig.work(), reference, inner), MeanAbsDiff(plainOut, reference, inner));
        std::fflush(stdout);
    }
}

void JudgementSpeed(const std::vector<Scene>& scenes)
{
    const Scene& s = scenes.front();
    std::mt19937 rng(99);
    const Nuisance still{"still"};
    const cv::Mat templ = Frame(s.canvas, still, false, kTemplateNoise, rng);
    // 100 defect regions of 120 x 100 over the picture.
    RecogRig rig(kW, kH, false, 1);
    rig.setTemplate(0, 0, templ);
    std::vector<cv::Rect> rects;
    for (int i = 0; i < 100; ++i) rects.emplace_back(8 + (i % 10) * 127, 6 + (i / 10) * 101, kRegionW, kRegionH - 6);
    for (const cv::Rect& r : rects) rig.addRect(0, r, kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    const cv::Mat live = Frame(s.canvas, still, false, 2, rng);
    rig.setAligned(live);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    auto naiveJudgement = [&] {
        for (const cv::Rect& r : rects) {
            cv::Mat d, b, o;
            cv::absdiff(live(r), templ(r), d);
            cv::threshold(d, b, 30, 255, cv::THRESH_BINARY);
            cv::morphologyEx(b, o, cv::MORPH_OPEN, kernel);
            std::vector<std::vector<cv::Point>> contours;
            cv::findContours(o, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
            double area = 0;
            for (const auto& c : contours) area += cv::contourArea(c);
            (void)area;
        }
    };
    // Alternated, so that both see the same machine.
    double run = 1e9, naive = 1e9;
    for (int i = 0; i < 40; ++i) {
        run = std::min(run, MsPerCall(3, [&] { rec.Run(0); }));
        naive = std::min(naive, MsPerCall(3, naiveJudgement));
    }
    std::printf("\njudgement of 100 defect regions: Run %.2f ms, plain OpenCV judgement %.2f ms (ratio %.2f)\n", run,
                naive, run / naive);
}

void QuietInfo(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}
}  // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(QuietInfo);
    std::string folder = "/usr/share/doc/opencv-doc/examples/data";
    bool quality = true, position = true, perspective = true, judgement = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--speed-only")
            quality = false;
        else if (a == "--quality-only")
            position = perspective = judgement = false;
        else if (a == "--position-only" || a == "--perspective-only" || a == "--judgement-only") {
            quality = false;
            position = a == "--position-only";
            perspective = a == "--perspective-only";
            judgement = a == "--judgement-only";
        } else {
            folder = a;
        }
    }
    std::vector<Scene> scenes;
    for (const char* name : kPhotos) {
        cv::Mat photo = cv::imread(folder + "/" + name, cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::fprintf(stderr, "%s/%s missing: run bench/install-photos.sh\n", folder.c_str(), name);
            return 1;
        }
        cv::Mat big;
        cv::resize(photo, big, cv::Size(kW + 2 * kMargin, kH + 2 * kMargin), 0, 0, cv::INTER_CUBIC);
        scenes.push_back({name, big});
    }
    scenes.push_back(Synthetic());
    cv::Mat texture = cv::imread(folder + "/orange.jpg", cv::IMREAD_COLOR);
    if (texture.empty())
        texture = scenes[2].canvas;
    if (quality)
        QualityTable(scenes, texture);
    if (position || perspective || judgement) {
        cv::setNumThreads(1);
        std::printf("\nSpeed, one thread unless said (run under taskset -c 0 for one core)\n");
    }
    if (position)
        PositionSpeed(scenes);
    if (perspective)
        PerspectiveSpeed(scenes);
    if (judgement)
        JudgementSpeed(scenes);
    return 0;
}
