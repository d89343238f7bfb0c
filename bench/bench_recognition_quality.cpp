// Recognition quality at factory parameters: false alarms and misses of the defect and similarity
// functions on real photographs, the same photographs with glare (flat near-white areas and
// clipped specular highlights) and with near-black areas, a fine texture and a synthetic scene;
// then the speed of the judgement and of the corrections, each beside a plain OpenCV baseline
// of the same run.
//
// The photographs are the example pictures of the opencv-doc package; bench/install-photos.sh
// installs them. Run: bench_recognition_quality [photo folder] [--quality-only|--speed-only|
// --position-only|--factory-position-only|--perspective-only|--judgement-only|--shapes-only]
// [--rows=<first letters of row groups>] [--scene=<name>] [--faults-only]
// [--floor-seed=S [--floor-count=N]] (the recognition floor over generated scenes S .. S + N - 1 alone)
// (row groups: a lighting and noise, b vibration nothing corrects, c sensitivity, e colour,
// d corrected, g objects at a region's edge, i parts at the outline of circles and polygons,
// h regions centred on a highlight, f the recognition floor over the floor test's generated scenes,
// n the rows named after the defect matcher's faults,
// k colour cameras in a brighter or darker frame and regions washed out,
// p the factory position correction on a featureless picture,
// 7 the 5 degree position search on repeating patterns and regions at the picture's edge)
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

#include <QFile>
#include <QtGlobal>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/stitching/detail/matchers.hpp>

#include "../tests/vision/floorgen.h"
#include "../tests/vision/recogrig.h"
#include "miscfunc.h"
#include "plainjudgement.h"
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
    int sensitivity = 45;     // the defect regions' training sensitivity
    int matchAngle = 5;       // rotation search of the position correction (0: shift only)
    char group = 'a';
    bool noGrey = false;  // measured on the colour camera only
};

struct Tally
{
    long judged = 0, alarms = 0;         // clean regions
    long planted = 0, missed = 0;        // visible objects
    long huePlanted = 0, hueMissed = 0;  // visible objects whose change a hue picture can show
    double worstMiss = 0;                // worst scene's miss share
    double worstAlarm = 0;
    double worstHueMiss = 0;
    double worstBoth = -1;   // worst scene by the larger of its miss and false-alarm shares
    std::string worstScene;  // its name
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

// The camera's picture of canvas: moved, brightness changed and noisy; 8UC1 or 8UC4. paste
// may change the moved picture (CV_32F grey or CV_32FC3) before the noise: objects placed in
// the frame's own coordinates.
cv::Mat Frame(const cv::Mat& canvas, const Nuisance& n, bool colour, double noise, std::mt19937& rng,
              const std::function<void(cv::Mat&)>& paste = {})
{
    cv::Mat moved;
    cv::warpPerspective(canvas, moved, Motion(n), cv::Size(kW, kH), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    cv::Mat f;
    moved.convertTo(f, CV_32F, n.gain);
    if (!colour)
        cv::cvtColor(f, f, cv::COLOR_BGR2GRAY);
    if (paste)
        paste(f);
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

// Polished steel and glare: every region gets a flat near-white patch (250) over 10 to 25 % of
// its area, and clipped specular highlights are strewn over the picture.
Scene Glare(const Scene& photo, std::mt19937& rng)
{
    Scene s{photo.name + "+glare", photo.canvas.clone()};
    std::uniform_real_distribution<double> unit(0, 1);
    for (const cv::Rect& r : Regions()) {
        const double share = 0.10 + 0.15 * unit(rng);
        const int w = int(r.width * (0.4 + 0.4 * unit(rng)));
        const int h = std::clamp(int(share * r.width * r.height / w), 4, r.height - 4);
        const int x = r.x + int((r.width - w) * unit(rng)), y = r.y + int((r.height - h) * unit(rng));
        s.canvas(cv::Rect(x + kMargin, y + kMargin, w, h)).setTo(cv::Scalar::all(250));
    }
    cv::Mat f, spot = cv::Mat::zeros(s.canvas.size(), CV_32F);
    for (int i = 0; i < 60; ++i) {
        const cv::Point c(int(unit(rng) * spot.cols), int(unit(rng) * spot.rows));
        const double sigma = 3 + 12 * unit(rng);
        cv::Mat one = cv::Mat::zeros(spot.size(), CV_32F);
        cv::circle(one, c, 1, cv::Scalar(1), cv::FILLED);
        cv::GaussianBlur(one, one, cv::Size(0, 0), sigma);
        double peak = 0;
        cv::minMaxLoc(one, nullptr, &peak);
        spot += one * (300.0 / peak);
    }
    s.canvas.convertTo(f, CV_32FC3);
    cv::Mat spot3;
    cv::merge(std::vector<cv::Mat>{spot, spot, spot}, spot3);
    cv::Mat(f + spot3).convertTo(s.canvas, CV_8UC3);
    return s;
}

// Near-black areas: every region gets a flat patch of grey 4 over 10 to 25 % of its area and
// the picture's lower half is darkened to a quarter.
Scene Dark(const Scene& photo, std::mt19937& rng)
{
    Scene s{photo.name + "+dark", photo.canvas.clone()};
    cv::Mat lower = s.canvas(cv::Rect(0, s.canvas.rows / 2, s.canvas.cols, s.canvas.rows / 2));
    lower.convertTo(lower, -1, 0.25);
    std::uniform_real_distribution<double> unit(0, 1);
    for (const cv::Rect& r : Regions()) {
        const double share = 0.10 + 0.15 * unit(rng);
        const int w = int(r.width * (0.4 + 0.4 * unit(rng)));
        const int h = std::clamp(int(share * r.width * r.height / w), 4, r.height - 4);
        const int x = r.x + int((r.width - w) * unit(rng)), y = r.y + int((r.height - h) * unit(rng));
        s.canvas(cv::Rect(x + kMargin, y + kMargin, w, h)).setTo(cv::Scalar::all(4));
    }
    return s;
}

// Fine texture: brushed metal, grain of one to two pixels across and streaks along the rows.
Scene Fine(std::mt19937& rng)
{
    cv::Mat grain(kH + 2 * kMargin, kW + 2 * kMargin, CV_32F);
    cv::theRNG().state = rng();
    cv::randn(grain, 0, 1);
    cv::GaussianBlur(grain, grain, cv::Size(0, 0), 6.0, 0.7);
    cv::Mat g;
    cv::normalize(grain, g, 0, 1, cv::NORM_MINMAX);
    cv::Mat grey;
    g.convertTo(grey, CV_8U, 120, 80);
    cv::Mat bgr;
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
    return {"fine texture", bgr};
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
    explicit Rig(bool colour, int sensitivity = 45) : rig(kW, kH, colour, 1)
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
                rig.addRect(0, regions[i], kFuncDefect, sensitivity, 100, 3);
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
    Rig r(colour, n.sensitivity);
    r.rig.para->motionCorrect = n.position ? 0 : -1;
    r.rig.para->angleCorrect = n.homography ? 1 : 0;
    r.rig.para->matchAngle = n.matchAngle;
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
        const double both = std::max(planted[f] ? 100.0 * missed[f] / planted[f] : 0.0,
                                     judged[f] ? 100.0 * alarms[f] / judged[f] : 0.0);
        if (both > t[f].worstBoth) {
            t[f].worstBoth = both;
            t[f].worstScene = s.name;
        }
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

struct RowResult
{
    Tally grey[2], hue[2];
};

// Whether the row meets its target; empty when the row has none.
std::string Verdict(const Nuisance& n, const RowResult& res)
{
    auto share = [](long part, long whole) { return whole ? 100.0 * part / whole : 0.0; };
    const Tally& f0 = res.grey[0];
    const double fa = share(f0.alarms, f0.judged), miss = share(f0.missed, f0.planted);
    std::string out;
    if (n.group == 'a' || (n.group == 'c' && n.sensitivity <= 65))
        out = fa <= 1.0 && miss <= 2.0 ? "grey f0 met" : "grey f0 NOT met";
    else if (n.group == 'b')
        out = fa <= 2.0 && miss <= 2.0 ? "grey f0 met" : "grey f0 NOT met";
    if (n.group == 'e') {
        const bool h0 = share(res.hue[0].alarms, res.hue[0].judged) <= 2.0 &&
                        share(res.hue[0].hueMissed, res.hue[0].huePlanted) <= 5.0;
        const bool h6 = share(res.hue[1].alarms, res.hue[1].judged) <= 2.0 &&
                        share(res.hue[1].hueMissed, res.hue[1].huePlanted) <= 10.0;
        out += std::string(out.empty() ? "" : "; ") + (h0 ? "hue f0 met" : "hue f0 NOT met") + ", " +
               (h6 ? "hue f6 met" : "hue f6 NOT met");
    }
    return out;
}

void QualityTable(const std::vector<Scene>& scenes, const cv::Mat& texture, const std::string& groups)
{
    std::vector<Nuisance> rows;
    auto row = [&](Nuisance n, char group) {
        n.group = group;
        if (groups.find(group) != std::string::npos)
            rows.push_back(n);
    };
    Nuisance n2{"noise 2"};
    n2.colour = false;
    row(n2, 'a');
    Nuisance n3{"noise 3", 3};
    n3.colour = false;
    row(n3, 'a');
    Nuisance n5{"noise 5", 5};
    n5.colour = false;
    row(n5, 'a');
    Nuisance bright{"brightness +10%", 2, 1.1};
    bright.colour = false;
    row(bright, 'a');
    Nuisance brighter{"brightness +20%", 2, 1.2};
    brighter.colour = false;
    row(brighter, 'a');
    Nuisance dim{"brightness -10%", 2, 0.9};
    dim.colour = false;
    row(dim, 'a');
    for (double g : {1.1, 0.9}) {
        Nuisance b{g > 1 ? "noise 5, brightness +10%" : "noise 5, brightness -10%", 5, g};
        b.colour = false;
        row(b, 'a');
    }
    struct Vibration
    {
        const char* name;
        double dx, dy, angle;
    };
    for (const Vibration& v :
         {Vibration{"shift 1,0 uncorrected", 1, 0, 0}, Vibration{"shift 2,-2 uncorrected", 2, -2, 0},
          Vibration{"turn 0.5 deg uncorrected", 0, 0, 0.5}, Vibration{"shift 2,2 + turn 0.5 unc.", 2, 2, -0.5}}) {
        Nuisance b{v.name};
        b.shiftX = v.dx, b.shiftY = v.dy, b.rotation = v.angle, b.colour = false;
        row(b, 'b');
    }
    for (int sens : {25, 45, 65, 85}) {
        static const char* const names[] = {"sensitivity 25, noise 5", "sensitivity 45, noise 5",
                                            "sensitivity 65, noise 5", "sensitivity 85, noise 5"};
        Nuisance c{names[(sens - 25) / 20], 5};
        c.sensitivity = sens, c.colour = false;
        row(c, 'c');
    }
    // Colour cameras (no correction exists for them): the colour rows.
    for (double noise : {3.0, 5.0})
        for (double g : {1.0, 1.1, 0.9}) {
            static const char* const names[2][3] = {
                {"colour, noise 3", "colour, noise 3, br. +10%", "colour, noise 3, br. -10%"},
                {"colour, noise 5", "colour, noise 5, br. +10%", "colour, noise 5, br. -10%"}};
            Nuisance c{names[noise > 3][g == 1.0 ? 0 : g > 1 ? 1 : 2], noise, g};
            c.noGrey = true;
            row(c, 'e');
        }
    Nuisance shift{"shift 7,-5 corrected"};
    shift.shiftX = 7, shift.shiftY = -5, shift.position = true, shift.colour = false;
    row(shift, 'd');
    for (double a : {1.0, 3.0}) {
        Nuisance turn{a == 1.0 ? "turn 1 deg corrected" : "turn 3 deg corrected"};
        turn.rotation = a, turn.shiftX = 3, turn.shiftY = 2, turn.position = true, turn.colour = false;
        row(turn, 'd');
    }
    // The same turn with no correction, beside the factory's shift-only correction of it.
    Nuisance plainTurn{"turn 1 deg uncorrected"};
    plainTurn.rotation = 1.0, plainTurn.shiftX = 3, plainTurn.shiftY = 2, plainTurn.colour = false;
    row(plainTurn, 'd');
    Nuisance factoryTurn{"turn 1 deg, shift-only corr."};
    factoryTurn.rotation = 1.0, factoryTurn.shiftX = 3, factoryTurn.shiftY = 2, factoryTurn.position = true;
    factoryTurn.matchAngle = 0, factoryTurn.colour = false;
    row(factoryTurn, 'd');
    Nuisance persp{"perspective 1% corrected"};
    persp.perspective = 0.01, persp.homography = true, persp.colour = false;
    row(persp, 'd');

    std::printf("\nRecognition quality at factory parameters (sensitivity 45, area 100, filter 3, similarity 80)\n");
    std::printf(
        "%zu scenes x %d regions of %d x %d (half defect, half similarity); %d clean and %d planted frames "
        "per scene and row\n",
        scenes.size(), kColumns * kRows, kRegionW, kRegionH, kCleanFrames, kDefectFrames);
    std::printf(
        "FA (false alarms): %% of clean regions NG; miss: %% of planted objects (mean grey change >= %d) passed;\n"
        "(worst scene) in brackets; hue = colour camera at the hue conversion; 'hue-vis' = objects whose change\n"
        "a hue picture can show (hues 30 levels apart, or a clear colour against a near grey)\n"
        "targets: a and c (sensitivity 25..65) grey f0 miss <= 2, FA <= 1; b grey f0 miss <= 2, FA <= 2;\n"
        "colour at noise 3 and 5, brightness +-10 %%: hue f0 hue-vis miss <= 5, hue f6 hue-vis miss <= 10,\n"
        "both FA <= 2\n\n",
        kVisibleChange);
    std::printf("%-26s | %-13s %-13s %-13s %-13s | %-13s %-13s %-13s %-13s %-13s %-13s | %s\n", "nuisance",
                "grey f0 FA", "grey f0 miss", "grey f6 FA", "grey f6 miss", "hue f0 FA", "hue f0 miss",
                "hue f0 hue-vis", "hue f6 FA", "hue f6 miss", "hue f6 hue-vis", "target");
    char lastGroup = 0;
    for (const Nuisance& n : rows) {
        if (lastGroup && n.group != lastGroup)
            std::printf("\n");
        lastGroup = n.group;
        RowResult res;
        for (const Scene& s : scenes) {
            if (!n.noGrey)
                Measure(s, texture, n, false, res.grey);
            if (n.colour)
                Measure(s, texture, n, true, res.hue);
        }
        const Tally* grey = res.grey;
        const Tally* hue = res.hue;
        std::printf("%-26s | %s %s %s %s | %s %s %s %s %s %s | %s\n", n.name,
                    Percent(grey[0].alarms, grey[0].judged, grey[0].worstAlarm).c_str(),
                    Percent(grey[0].missed, grey[0].planted, grey[0].worstMiss).c_str(),
                    Percent(grey[1].alarms, grey[1].judged, grey[1].worstAlarm).c_str(),
                    Percent(grey[1].missed, grey[1].planted, grey[1].worstMiss).c_str(),
                    Percent(hue[0].alarms, hue[0].judged, hue[0].worstAlarm).c_str(),
                    Percent(hue[0].missed, hue[0].planted, hue[0].worstMiss).c_str(),
                    Percent(hue[0].hueMissed, hue[0].huePlanted, hue[0].worstHueMiss).c_str(),
                    Percent(hue[1].alarms, hue[1].judged, hue[1].worstAlarm).c_str(),
                    Percent(hue[1].missed, hue[1].planted, hue[1].worstMiss).c_str(),
                    Percent(hue[1].hueMissed, hue[1].huePlanted, hue[1].worstHueMiss).c_str(), Verdict(n, res).c_str());
        std::printf("%-26s   worst scene grey f0: %s, grey f6: %s", "", grey[0].worstScene.c_str(),
                    grey[1].worstScene.c_str());
        if (n.colour)
            std::printf(", hue f0: %s, hue f6: %s", hue[0].worstScene.c_str(), hue[1].worstScene.c_str());
        std::printf("\n");
        std::fflush(stdout);
    }
}

// Flat polished surface: grey 130 with a faint gradient (about 120 to 140 across, a little down
// the rows); the frames add sensor noise of sigma 2 to 3.
Scene Flat()
{
    cv::Mat grey(kH + 2 * kMargin, kW + 2 * kMargin, CV_8UC1);
    for (int y = 0; y < grey.rows; ++y)
        for (int x = 0; x < grey.cols; ++x)
            grey.at<unsigned char>(y, x) =
                cv::saturate_cast<unsigned char>(120 + 20.0 * x / grey.cols + 6.0 * y / grey.rows);
    cv::Mat bgr;
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
    return {"flat surface", bgr};
}

// Left-over parts at a region's edge: squares of 10, 12, 15 and 20 px, dark (grey 10..40) or of
// low contrast (a flat patch 35 grey levels off the mean it covers), touching one side of every
// defect region or 2, 4, 8 px in, placed in the judged frame's own coordinates; objects whose
// mean change stays below the visible change are left out. Still frames and small movements
// nothing corrects, on the photographs and on a flat polished surface.
void EdgeTable(const std::vector<Scene>& photos)
{
    const int sizes[] = {10, 12, 15, 20};
    const int insets[] = {0, 2, 4, 8};
    std::vector<Nuisance> nuisances;
    Nuisance still{"still, noise 3", 3};
    nuisances.push_back(still);
    Nuisance s1{"shift 1,0 uncorrected", 3};
    s1.shiftX = 1;
    nuisances.push_back(s1);
    Nuisance s2{"shift 2,-2 uncorrected", 3};
    s2.shiftX = 2, s2.shiftY = -2;
    nuisances.push_back(s2);
    Nuisance t5{"turn 0.5 deg uncorrected", 3};
    t5.rotation = 0.5;
    nuisances.push_back(t5);
    std::vector<Scene> surfaces[2] = {photos, {Flat()}};
    std::printf(
        "\nObjects at a region's edge: 48 regions of %d x %d, all function 0, factory parameters; each\n"
        "frame puts one object in every region, at one of its four sides; misses in %% (worst scene),\n"
        "dark and low-contrast together, then low-contrast alone; FA: clean regions NG (2 frames);\n"
        "target: misses <= 2 %% for objects of 12 px and up\n",
        kRegionW, kRegionH);
    std::printf("%-13s %-25s %4s | %-12s %-12s %-12s %-12s | %-12s %-12s | %-9s | %s\n", "surface", "nuisance", "size",
                "edge", "2 px in", "4 px in", "8 px in", "all", "low-contr.", "FA", "target");
    for (int flat = 0; flat < 2; ++flat) {
        const int repeats = flat ? 4 : 1;  // one flat scene: more frames of it
        for (const Nuisance& n : nuisances) {
            long planted[4][4] = {}, missed[4][4] = {}, lowPlanted[4] = {}, lowMissed[4] = {};
            double worst[4][5] = {};
            std::string worstName[4];
            long judged = 0, alarms = 0;
            for (const Scene& s : surfaces[flat]) {
                Rig r(false);
                r.rig.para->motionCorrect = -1;
                const std::vector<cv::Rect> regions = Regions();
                for (size_t i = 0; i < regions.size(); ++i) {
                    r.rig.storeA->func[0][i] = kFuncDefect;
                    r.rig.storeA->para1[0][i] = 45, r.rig.storeA->para2[0][i] = 100, r.rig.storeA->para3[0][i] = 3;
                }
                std::mt19937 rng(77);
                const Nuisance templNoise{"still"};
                r.rig.setTemplate(0, 0, Frame(s.canvas, templNoise, false, kTemplateNoise, rng));
                CammerRecong& rec = r.rig.build();
                for (int k = 0; k < kCleanFrames; ++k) {
                    Judge(r, rec, Frame(s.canvas, n, false, n.noise, rng));
                    for (size_t i = 0; i < regions.size(); ++i) alarms += r.rig.view->roiOk[0][i] ? 0 : 1;
                    judged += long(regions.size());
                }
                long scenePlanted[4][4] = {}, sceneMissed[4][4] = {};
                for (int rep = 0; rep < repeats; ++rep)
                    for (int kind = 0; kind < 2; ++kind)
                        for (int si = 0; si < 4; ++si)
                            for (int ii = 0; ii < 4; ++ii) {
                                const int side = sizes[si], inset = insets[ii];
                                std::vector<cv::Rect> boxes(regions.size());
                                std::vector<bool> visible(regions.size());
                                auto paste = [&](cv::Mat& f) {
                                    for (size_t i = 0; i < regions.size(); ++i) {
                                        const cv::Rect& g = regions[i];
                                        std::uniform_int_distribution<int> alongX(0, g.width - side),
                                            alongY(0, g.height - side);
                                        const int where = int(i + rep + kind + si + ii) % 4;
                                        cv::Point at =
                                            where == 0   ? cv::Point(g.x + alongX(rng), g.y + inset)
                                            : where == 1 ? cv::Point(g.x + g.width - side - inset, g.y + alongY(rng))
                                            : where == 2 ? cv::Point(g.x + alongX(rng), g.y + g.height - side - inset)
                                                         : cv::Point(g.x + inset, g.y + alongY(rng));
                                        boxes[i] = cv::Rect(at, cv::Size(side, side));
                                        cv::Mat area = f(boxes[i]);
                                        const double m = cv::mean(area)[0];
                                        const double value = kind == 0
                                                                 ? 10 + std::uniform_int_distribution<int>(0, 30)(rng)
                                                                 : (m < 128 ? m + 35 : m - 35);
                                        cv::Mat d;
                                        cv::absdiff(area, cv::Scalar(value), d);
                                        visible[i] = cv::mean(d)[0] >= kVisibleChange;
                                        area.setTo(value);
                                    }
                                };
                                Judge(r, rec, Frame(s.canvas, n, false, n.noise, rng, paste));
                                for (size_t i = 0; i < regions.size(); ++i) {
                                    if (!visible[i])
                                        continue;
                                    const bool miss = r.rig.view->roiOk[0][i];
                                    ++scenePlanted[si][ii];
                                    sceneMissed[si][ii] += miss;
                                    if (kind == 1) {
                                        ++lowPlanted[si];
                                        lowMissed[si] += miss;
                                    }
                                }
                            }
                for (int si = 0; si < 4; ++si) {
                    long p = 0, m = 0;
                    for (int ii = 0; ii < 4; ++ii) {
                        planted[si][ii] += scenePlanted[si][ii];
                        missed[si][ii] += sceneMissed[si][ii];
                        p += scenePlanted[si][ii];
                        m += sceneMissed[si][ii];
                        if (scenePlanted[si][ii])
                            worst[si][ii] = std::max(worst[si][ii], 100.0 * sceneMissed[si][ii] / scenePlanted[si][ii]);
                    }
                    const double share = p ? 100.0 * m / p : 0.0;
                    if (share >= worst[si][4] && p) {
                        worst[si][4] = share;
                        worstName[si] = s.name;
                    }
                }
            }
            for (int si = 0; si < 4; ++si) {
                long p = 0, m = 0;
                std::string cells;
                for (int ii = 0; ii < 4; ++ii) {
                    p += planted[si][ii];
                    m += missed[si][ii];
                    cells += Percent(missed[si][ii], planted[si][ii], worst[si][ii]) + " ";
                }
                const bool met = sizes[si] < 12 || (p && 100.0 * m / p <= 2.0);
                std::printf("%-13s %-25s %2d px | %s| %s %s | %s | %s%s\n", flat ? "flat" : "photographs",
                            si == 0 ? n.name : "", sizes[si], cells.c_str(), Percent(m, p, worst[si][4]).c_str(),
                            Percent(lowMissed[si], lowPlanted[si], 0).substr(0, 5).c_str(),
                            si == 0 ? Percent(alarms, judged, 0).substr(0, 5).c_str() : "     ",
                            sizes[si] < 12 ? "-"
                            : met          ? "met"
                                           : "NOT met",
                            worstName[si].empty() || !m ? "" : ("  worst " + worstName[si]).c_str());
                std::fflush(stdout);
            }
        }
    }
}

// Regions drawn on a highlight: 12 clipped specular highlights a scene, each with a function-0
// region of 40 to 100 px centred on it, taught at the scene's brightness and judged in frames
// 10 % and 20 % brighter (noise 2). A region that fails in every frame is a standing false alarm.
void HighlightTable(const std::vector<Scene>& scenes)
{
    std::printf(
        "\nRegions centred on a highlight (12 a scene, %zu scenes), function 0, factory parameters; 4 frames\n"
        "each; FA: %% of region judgements NG; 'every frame': regions NG in all 4; target: none at +10 %%\n",
        scenes.size());
    std::printf("%-18s %-16s %-16s %s\n", "brightness", "FA", "every frame", "target");
    for (double gain : {1.1, 1.2}) {
        long judged = 0, alarms = 0, always = 0, regionsAll = 0;
        std::string worstScene;
        for (const Scene& base : scenes) {
            std::mt19937 rng(31);
            std::uniform_real_distribution<double> unit(0, 1);
            Scene s{base.name, base.canvas.clone()};
            RecogRig rig(kW, kH, false, 1);
            rig.para->filterArea = 100, rig.para->filterSize = 3, rig.para->minSpot = 3, rig.para->amplify = 0;
            cv::Mat spot = cv::Mat::zeros(s.canvas.size(), CV_32F);
            for (int i = 0; i < 12; ++i) {
                const int side = 40 + int(60 * unit(rng));
                const cv::Point c(kInset + side / 2 + int(unit(rng) * (kW - 2 * kInset - side)),
                                  kInset + side / 2 + int(unit(rng) * (kH - 2 * kInset - side)));
                const double sigma = side * (0.3 + 0.3 * unit(rng));
                cv::Mat one = cv::Mat::zeros(spot.size(), CV_32F);
                cv::circle(one, c + cv::Point(kMargin, kMargin), 1, cv::Scalar(1), cv::FILLED);
                cv::GaussianBlur(one, one, cv::Size(0, 0), sigma);
                double peak = 0;
                cv::minMaxLoc(one, nullptr, &peak);
                spot += one * ((250 + 150 * unit(rng)) / peak);
                rig.addRect(0, cv::Rect(c.x - side / 2, c.y - side / 2, side, side), kFuncDefect, 45, 100, 3);
            }
            cv::Mat f, spot3;
            s.canvas.convertTo(f, CV_32FC3);
            cv::merge(std::vector<cv::Mat>{spot, spot, spot}, spot3);
            cv::Mat(f + spot3).convertTo(s.canvas, CV_8UC3);
            const Nuisance still{"still"};
            rig.setTemplate(0, 0, Frame(s.canvas, still, false, kTemplateNoise, rng));
            CammerRecong& rec = rig.build();
            std::vector<int> fails(12, 0);
            Nuisance n{"brighter", 2, gain};
            for (int k = 0; k < 4; ++k) {
                rig.setRaw(Frame(s.canvas, n, false, n.noise, rng));
                rec.HomoTransShape(0);
                rec.ShapeMatch();
                rec.Run(0);
                for (int i = 0; i < 12; ++i) fails[i] += rig.view->roiOk[0][i] ? 0 : 1;
            }
            for (int i = 0; i < 12; ++i) {
                judged += 4;
                alarms += fails[i];
                always += fails[i] == 4;
                if (fails[i] == 4)
                    worstScene = s.name;
            }
            regionsAll += 12;
        }
        char every[64];
        std::snprintf(every, sizeof every, "%ld of %ld", always, regionsAll);
        std::printf("%-18s %-16s %-16s %s%s\n", gain > 1.15 ? "+20 %" : "+10 %",
                    Percent(alarms, judged, 0).substr(0, 5).c_str(), every,
                    gain > 1.15   ? "-"
                    : always == 0 ? "met"
                                  : "NOT met",
                    worstScene.empty() ? "" : ("  (e.g. " + worstScene + ")").c_str());
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
    std::printf("  %-12s %8s %10s %10s %10s %10s %10s   %s\n", "scene", "features", "1 thread", "baseline", "threads",
                "baseline", "of it SIFT", "mean grey error before -> after");
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
        double ms[2] = {1e9, 1e9}, base[2] = {1e9, 1e9}, extract[2] = {1e9, 1e9};
        for (int t = 0; t < 2; ++t) {
            cv::setNumThreads(t == 0 ? 1 : threads);
            for (int i = 0; i < 3; ++i) {  // alternated, so that both see the same machine
                ms[t] = std::min(ms[t], MsPerCall(1, [&] { rec.HomoTransShape(0); }));
                cv::detail::ImageFeatures f;
                extract[t] = std::min(extract[t], MsPerCall(0, [&] { rec.homo[0].findFeature(frame, f, 0); }));
                base[t] = std::min(base[t], MsPerCall(1, [&] { plain.correct(frame, plainOut); }));
            }
        }
        cv::setNumThreads(1);
        cv::Mat reference = Frame(sc.canvas, still, false, 0, rng);
        const cv::Rect inner(kInset, kInset, kW - 2 * kInset, kH - 2 * kInset);
        std::printf("  %-12s %8zu %7.1f ms %7.1f ms %7.1f ms %7.1f ms %7.1f ms   %5.1f -> %4.1f (baseline %4.1f)\n",
                    sc.name.c_str(), rec.homo[0].features[1].keypoints.size(), ms[0], base[0], ms[1], base[1],
                    extract[1], MeanAbsDiff(frame, reference, inner), MeanAbsDiff(rig.work(), reference, inner),
                    MeanAbsDiff(plainOut, reference, inner));
        std::fflush(stdout);
    }
}

// Run over 100 regions against the plain OpenCV judgement of the same regions in the same run:
// defect regions only, then mixed functions (defect, similarity, black and white area); a still
// frame, and a frame shaken by 2 px that nothing corrects. Then the sanity line: the NG count of
// a frame with known planted objects.
void JudgementSpeed(const std::vector<Scene>& scenes)
{
    const Scene& s = scenes.front();
    std::mt19937 rng(99);
    const Nuisance still{"still"};
    const cv::Mat templ = Frame(s.canvas, still, false, kTemplateNoise, rng);
    std::vector<cv::Rect> rects;
    for (int i = 0; i < 100; ++i) rects.emplace_back(8 + (i % 10) * 127, 6 + (i / 10) * 101, kRegionW, kRegionH - 6);
    auto funcOf = [](bool mixed, int i) {
        if (!mixed)
            return kFuncDefect;
        const int k = i % 10;
        return k < 5 ? kFuncDefect : k < 8 ? kFuncSimilarity : k == 8 ? kFuncBlackArea : kFuncWhiteArea;
    };
    std::printf(
        "\njudgement of 100 regions (one thread): Run against the plain judgement of the same crops (absolute\n"
        "difference to the template, threshold 14, opening 3, contours and their areas, every region)\n");
    std::printf("  %-34s %10s %10s %8s\n", "regions, frame", "Run ms", "plain ms", "ratio");
    Nuisance shaken{"shaken"};
    shaken.shiftX = 2, shaken.shiftY = -2;
    for (int mixed = 0; mixed < 2; ++mixed) {
        RecogRig rig(kW, kH, false, 1);
        rig.setTemplate(0, 0, templ);
        for (size_t i = 0; i < rects.size(); ++i) {
            const int f = funcOf(mixed, int(i));
            if (f == kFuncDefect)
                rig.addRect(0, rects[i], f, 45, 100, 3);
            else if (f == kFuncSimilarity)
                rig.addRect(0, rects[i], f, 80);
            else
                rig.addRect(0, rects[i], f, f == kFuncBlackArea ? 30 : 235, 100000);
        }
        CammerRecong& rec = rig.build();
        for (int shake = 0; shake < 2; ++shake) {
            const cv::Mat live = Frame(s.canvas, shake ? shaken : still, false, 2, rng);
            rig.setAligned(live);
            auto plain = [&] { PlainJudgement(live, templ, rects); };
            // Alternated, so that both see the same machine.
            double run = 1e9, naive = 1e9;
            for (int i = 0; i < 20; ++i) {
                run = std::min(run, MsPerCall(3, [&] { rec.Run(0); }));
                naive = std::min(naive, MsPerCall(3, plain));
            }
            int ng = 0;
            for (int i = 0; i < 100; ++i) ng += rig.view->roiOk[0][i] ? 0 : 1;
            std::printf(
                "  %-34s %10.2f %10.2f %8.2f   (NG regions %d)\n",
                (std::string(mixed ? "mixed 50/30/10/10" : "defect only") + (shake ? ", shaken 2,-2 px" : ", still"))
                    .c_str(),
                run, naive, run / naive, ng);
            std::fflush(stdout);
        }
        if (mixed) {
            // Sanity: dark squares of 30 x 30 in the first ten defect regions and a white one
            // in the first white-area region must fail exactly those eleven regions.
            cv::Mat planted = Frame(s.canvas, still, false, 2, rng);
            int expected = 0;
            for (size_t i = 0, dark = 0; i < rects.size(); ++i) {
                const int f = funcOf(true, int(i));
                if (f == kFuncDefect && dark < 10) {
                    planted(cv::Rect(rects[i].x + 40, rects[i].y + 30, 30, 30)).setTo(0);
                    ++dark, ++expected;
                }
            }
            cv::Mat whiteRegion = planted(rects[9]);
            cv::Mat whitePatch = whiteRegion(cv::Rect(10, 10, 40, 40));
            whitePatch.setTo(255);
            rig.storeA->para2[0][9] = 1000;  // the white-area region's limit: 1600 white pixels fail it
            ++expected;
            rig.setAligned(planted);
            double run = 1e9, naive = 1e9;
            for (int i = 0; i < 20; ++i) {
                run = std::min(run, MsPerCall(3, [&] { rec.Run(0); }));
                naive = std::min(naive, MsPerCall(3, [&] { PlainJudgement(planted, templ, rects); }));
            }
            int ng = 0;
            for (int i = 0; i < 100; ++i) ng += rig.view->roiOk[0][i] ? 0 : 1;
            std::printf("  %-34s %10.2f %10.2f %8.2f   (NG regions %d)\n", "mixed, 11 parts present", run, naive,
                        run / naive, ng);
            std::printf("  sanity: frame with %d known objects: %d regions NG (%s)\n", expected, ng,
                        ng == expected ? "as expected" : "WRONG");
        }
    }
}

// Circle (r 42) and polygon regions (six oblique sides, radius 52) in the 48 cells, function 0,
// factory parameters, no correction: every frame puts a dark (grey 10..40) or faint (35 levels
// off the mean it covers) square part of 12 or 15 px wholly inside every region, touching its
// outline from inside or 2 px in, in a direction turning from region to region and frame to
// frame; parts whose mean change stays below the visible change are left out.
void BorderTable(const std::vector<Scene>& photos)
{
    using floorgen::Place;
    std::vector<Nuisance> nuisances;
    nuisances.push_back(Nuisance{"still, noise 3", 3});
    Nuisance s1{"shift 1,0 uncorrected", 3};
    s1.shiftX = 1;
    nuisances.push_back(s1);
    Nuisance s2{"shift 2,-2, +10 %", 3, 1.1};
    s2.shiftX = 2, s2.shiftY = -2;
    nuisances.push_back(s2);
    std::vector<Scene> surfaces[2] = {photos, {Flat()}};
    std::printf(
        "\nParts at the outline of circle (r 42) and polygon regions (six oblique sides, r 52): 48 regions, all\n"
        "function 0, factory parameters; misses in %% (worst scene), dark and faint together, then faint alone;\n"
        "FA: clean regions NG (2 frames); plain: misses the plain comparison finds\n"
        "against a template moved and lit as the frame; target: misses <= 2 %%\n");
    std::printf("%-12s %-22s %-8s %4s | %-13s %-13s | %-6s | %-6s | %-6s | %s\n", "surface", "nuisance", "shape",
                "size", "touching", "2 px in", "faint", "FA", "plain", "target");
    const int sizes[] = {12, 15};
    const Place places[] = {Place::Touching, Place::TwoIn};
    for (int flat = 0; flat < 2; ++flat)
        for (const Nuisance& n : nuisances)
            for (int polygon = 0; polygon < 2; ++polygon) {
                long planted[2][2] = {}, missed[2][2] = {}, faintPlanted[2] = {}, faintMissed[2] = {};
                long plainFinds[2] = {};  // misses the plain comparison finds (on a template lying and lit alike)
                long judged = 0, alarms = 0;
                double worst[2][2] = {};
                for (const Scene& s : surfaces[flat]) {
                    RecogRig rig(kW, kH, false, 1);
                    rig.para->filterArea = 100, rig.para->filterSize = 3, rig.para->minSpot = 3, rig.para->amplify = 0;
                    std::vector<floorgen::Region> regions;
                    for (const cv::Rect& r : Regions()) {
                        floorgen::Region g;
                        g.shape = polygon ? floorgen::Shape::Convex : floorgen::Shape::Circle;
                        g.func = kFuncDefect;
                        g.centre = (r.tl() + r.br()) / 2;
                        const int i = polygon ? rig.addPolygon(0, floorgen::RegularPolygon(g.centre, 6, 52, 15),
                                                               kFuncDefect, 45, 100, 3)
                                              : rig.addCircle(0, g.centre, 42, 0, kFuncDefect, 45, 100, 3);
                        floorgen::Describe(rig, i, g);
                        regions.push_back(g);
                    }
                    std::mt19937 rng(77);
                    const Nuisance still{"still"};
                    rig.setTemplate(0, 0, Frame(s.canvas, still, false, kTemplateNoise, rng));
                    // What a plain comparison of pictures lying and lit alike would see (its own
                    // random numbers: the frames stay as they are).
                    std::mt19937 aside(5);
                    const cv::Mat registered = Frame(s.canvas, n, false, kTemplateNoise, aside);
                    CammerRecong& rec = rig.build();
                    for (int k = 0; k < kCleanFrames; ++k) {
                        rig.setRaw(Frame(s.canvas, n, false, n.noise, rng));
                        rec.HomoTransShape(0);
                        rec.ShapeMatch();
                        rec.Run(0);
                        for (size_t i = 0; i < regions.size(); ++i) alarms += rig.view->roiOk[0][i] ? 0 : 1;
                        judged += long(regions.size());
                    }
                    long scenePlanted[2][2] = {}, sceneMissed[2][2] = {};
                    int turn = 0;
                    for (int rep = 0; rep < (flat ? 4 : 1); ++rep)
                        for (int kind = 0; kind < 2; ++kind)
                            for (int si = 0; si < 2; ++si)
                                for (int pi = 0; pi < 2; ++pi) {
                                    ++turn;
                                    std::vector<bool> visible(regions.size());
                                    auto paste = [&](cv::Mat& f) {
                                        for (size_t i = 0; i < regions.size(); ++i) {
                                            const cv::Rect at = floorgen::PlacePart(
                                                regions[i], (turn * 3 + int(i) * 5) * CV_PI / 8, sizes[si], places[pi]);
                                            cv::Mat area = f(at);
                                            const double m = cv::mean(area)[0];
                                            const double value =
                                                kind == 0 ? 10 + std::uniform_int_distribution<int>(0, 30)(rng)
                                                          : (m < 128 ? m + 35 : m - 35);
                                            cv::Mat d;
                                            cv::absdiff(area, cv::Scalar(value), d);
                                            visible[i] = !at.empty() && cv::mean(d)[0] >= kVisibleChange;
                                            area.setTo(value);
                                        }
                                    };
                                    const cv::Mat frame = Frame(s.canvas, n, false, n.noise, rng, paste);
                                    rig.setRaw(frame);
                                    rec.HomoTransShape(0);
                                    rec.ShapeMatch();
                                    rec.Run(0);
                                    for (size_t i = 0; i < regions.size(); ++i) {
                                        if (!visible[i])
                                            continue;
                                        const bool miss = rig.view->roiOk[0][i];
                                        const cv::Rect b = regions[i].box;
                                        plainFinds[si] +=
                                            miss && PlainArea(frame(b), registered(b), regions[i].judged) > 100;
                                        ++scenePlanted[si][pi];
                                        sceneMissed[si][pi] += miss;
                                        if (kind == 1) {
                                            ++faintPlanted[si];
                                            faintMissed[si] += miss;
                                        }
                                    }
                                }
                    for (int si = 0; si < 2; ++si)
                        for (int pi = 0; pi < 2; ++pi) {
                            planted[si][pi] += scenePlanted[si][pi];
                            missed[si][pi] += sceneMissed[si][pi];
                            if (scenePlanted[si][pi])
                                worst[si][pi] =
                                    std::max(worst[si][pi], 100.0 * sceneMissed[si][pi] / scenePlanted[si][pi]);
                        }
                }
                for (int si = 0; si < 2; ++si) {
                    const long p = planted[si][0] + planted[si][1], m = missed[si][0] + missed[si][1];
                    std::printf("%-12s %-22s %-8s %2d px | %s %s | %s | %s | %6ld | %s\n",
                                flat ? "flat" : "photographs", n.name, polygon ? "polygon" : "circle", sizes[si],
                                Percent(missed[si][0], planted[si][0], worst[si][0]).c_str(),
                                Percent(missed[si][1], planted[si][1], worst[si][1]).c_str(),
                                Percent(faintMissed[si], faintPlanted[si], 0).substr(0, 6).c_str(),
                                Percent(alarms, judged, 0).substr(0, 6).c_str(), plainFinds[si],
                                p && 100.0 * m / p <= 2.0 ? "met" : "NOT met");
                    std::fflush(stdout);
                }
            }
}

// The floor test's photographs (pieces of baboon, building and fruits), from the resources.
std::vector<cv::Mat> FloorPhotos()
{
    std::vector<cv::Mat> out;
    for (const char* name : {"baboon.jpg", "building.jpg", "fruits.jpg"}) {
        QFile f(QString(":/floor/") + name);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = f.readAll();
        out.push_back(
            cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8UC1, const_cast<char*>(bytes.data())), cv::IMREAD_COLOR));
    }
    return out;
}

// The tally by shape, surface, condition and part, and the kinds (shape x surface x condition)
// with the most violations.
void FloorReport(const floorgen::Tally& t, FILE* out, size_t worstKinds = 20)
{
    auto line = [&](const std::string& name, const floorgen::Count& c) {
        std::fprintf(out, "  %-52s missed %5ld of %5ld (%5.1f %%)   clean NG %5ld of %5ld (%5.1f %%)\n", name.c_str(),
                     c.partsMissed, c.partsAsked, floorgen::Share(c.partsMissed, c.partsAsked), c.cleanNg, c.cleanAsked,
                     floorgen::Share(c.cleanNg, c.cleanAsked));
    };
    line("all", t.all);
    static const char* const titles[] = {"by region shape", "by surface", "by condition", "by part", "by place"};
    for (int k = 0; k < 5; ++k) {
        std::fprintf(out, " %s\n", titles[k]);
        for (const auto& e : t.by[k]) line(e.first, e.second);
    }
    std::vector<std::pair<std::string, floorgen::Count>> kinds(t.by[5].begin(), t.by[5].end());
    std::sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) {
        return a.second.partsMissed + a.second.cleanNg > b.second.partsMissed + b.second.cleanNg;
    });
    std::fprintf(out, " kinds (shape | surface | condition) with the most violations\n");
    for (size_t k = 0; k < kinds.size() && k < worstKinds && kinds[k].second.partsMissed + kinds[k].second.cleanNg; ++k)
        line(kinds[k].first, kinds[k].second);
}
// The recognition floor over the case generator's scenes first .. first + count - 1 (the floor
// test walks 1 .. 400): the parts the plain comparison finds where it is quiet and Run misses,
// the clean frames it is quiet on and Run fails, by kind, and the first violations by seed.
void FloorGenerator(const std::vector<cv::Mat>& photos, unsigned first, unsigned count)
{
    std::printf(
        "\nRecognition floor, generated scenes %u .. %u (%d x %d frames, 6 regions, %d frames each and one of\n"
        "strands on ribs and knurls, factory parameters): missed = parts the plain comparison finds where it\n"
        "is quiet, passed by Run; clean NG = clean regions it is quiet on, failed by Run\n",
        first, first + count - 1, floorgen::kFrameW, floorgen::kFrameH, floorgen::kFramesPerScene);
    floorgen::Tally t;
    for (unsigned seed = first; seed < first + count; ++seed) floorgen::Evaluate(floorgen::Draw(seed), photos, t);
    FloorReport(t, stdout);
    std::printf(" first violations\n");
    for (size_t k = 0; k < t.violations.size() && k < (count == 1 ? 100u : 30u); ++k)
        std::printf("  %s\n", t.violations[k].c_str());
    std::fflush(stdout);
}

constexpr unsigned kFaultSeed = 900000;  // the fault rows' scenes, away from the floor test's

// One row named after the fault it guards: `scenes` generated scenes, each made over by `make`;
// found = parts the plain comparison finds where it is quiet that Run finds too. The target: at most
// mostMissed per cent of them missed, and no clean region NG.
void FaultRow(const char* name, double mostMissed, const std::vector<cv::Mat>& photos, int scenes,
              const std::function<void(floorgen::Scene&, cv::RNG&)>& make)
{
    floorgen::Tally t;
    for (int k = 0; k < scenes; ++k) {
        floorgen::Scene s = floorgen::Draw(kFaultSeed + unsigned(k));
        cv::RNG rng(uint64_t(k) + 1);
        make(s, rng);
        floorgen::Evaluate(s, photos, t);
    }
    const floorgen::Count& c = t.all;
    const bool met = floorgen::Share(c.partsMissed, c.partsAsked) <= mostMissed && c.cleanNg == 0;
    std::printf("  %-82s found %4ld of %4ld   clean NG %4ld of %4ld   %s\n", name, c.partsAsked - c.partsMissed,
                c.partsAsked, c.cleanNg, c.cleanAsked, met ? "met" : "NOT met");
    std::fflush(stdout);
}

// A still frame of a grey camera without correction; every region `region`, every frame's parts
// drawn by `part` (frames: how many).
void Plain(floorgen::Scene& s, const floorgen::RegionSpec& region, int frames, cv::RNG& rng,
           const std::function<floorgen::PartSpec(cv::RNG&)>& part)
{
    s.colour = false, s.correction = false;
    s.condition = floorgen::Condition::Still;
    s.dx = s.dy = 0;
    s.regions.assign(6, region);
    s.frames.assign(size_t(frames), {});
    for (auto& f : s.frames)
        for (int i = 0; i < 6; ++i) {
            floorgen::PartSpec p = part(rng);
            p.direction = rng.uniform(0.0, 2 * CV_PI);
            f.push_back(p);
        }
}

// The strands of fault 1: threads 4-5 x 44 px of a fine texture's own grey (ribs of 4 px across or
// along, a 2 x 2 knurl, contrast 40 and 80), still or shifted 1-3 px uncorrected (then in the
// region's middle: a shift carries a strand at the outline partly past the crop, where the plain
// comparison at the true place still sees it); strands of other widths; strong strings 2-3 x 30-40
// px on any grey surface under the generator's conditions.
void StrandRows(const std::vector<cv::Mat>& photos)
{
    using namespace floorgen;
    RegionSpec box;
    box.shape = Shape::Rectangle, box.w = 100, box.h = 80;
    struct Strands
    {
        std::string name;
        Surface surface;  // Count: ribs or a knurl
        int turn;         // the strands' length from the rows in degrees (-1: along either); the ribs run down
        int contrast;     // 0: 40 or 80
        int lo, hi;       // width
        bool shaken;
    };
    std::vector<Strands> rows;
    const char* const own = "fault 1 strands 4-5 x 44 px own grey: ";
    for (const int contrast : {40, 80}) {
        const std::string c = ", contrast " + std::to_string(contrast);
        rows.push_back({own + std::string("across ribs 4 px") + c, Surface::Ribs, 0, contrast, 4, 5, false});
        rows.push_back({own + std::string("along ribs 4 px") + c, Surface::Ribs, 90, contrast, 4, 5, false});
        rows.push_back({own + std::string("knurl 2 x 2") + c, Surface::Knurl, -1, contrast, 4, 5, false});
    }
    rows.push_back({own + std::string("ribs 4 px, shifted 1-3 px uncorrected"), Surface::Ribs, -1, 0, 4, 5, true});
    rows.push_back({own + std::string("knurl 2 x 2, shifted 1-3 px uncorrected"), Surface::Knurl, -1, 0, 4, 5, true});
    rows.push_back({"fault 1 strands 3 and 6-8 px own grey: ribs and knurl 4 px", Surface::Count, -1, 0, 3, 8, false});
    for (const Strands& x : rows)
        FaultRow(x.name.c_str(), 5.0, photos, 12, [&](floorgen::Scene& s, cv::RNG& rng) {
            Plain(s, box, 2, rng, [&](cv::RNG& r) {
                PartSpec p;
                p.kind = Part::Strand, p.place = x.shaken ? Place::Centre : Place::Anywhere, p.h = 44;
                do p.w = r.uniform(x.lo, x.hi + 1);
                while (x.lo == 3 && p.w > 3 && p.w < 6);
                p.turn = x.turn >= 0 ? x.turn : 90.0 * r.uniform(0, 2);
                return p;
            });
            s.surface = x.surface == Surface::Count ? (rng.uniform(0, 2) ? Surface::Ribs : Surface::Knurl) : x.surface;
            s.period = 4, s.grey = rng.uniform(80, 171), s.across = false;
            s.contrast = x.contrast ? x.contrast : 40 * rng.uniform(1, 3);
            if (x.shaken) {
                s.condition = Condition::Shift;
                do s.dx = rng.uniform(-3, 4), s.dy = rng.uniform(-3, 4);
                while (s.dx == 0 && s.dy == 0);
            }
        });
    FaultRow("fault 1 strong strings 2-3 x 30-40 px: grey surfaces, the generator's conditions", 5.0, photos, 48,
             [&](floorgen::Scene& s, cv::RNG& rng) {
                 s.colour = false;
                 const Surface grey[] = {Surface::Photo, Surface::Flat, Surface::Ribs, Surface::Knurl};
                 s.surface = grey[rng.uniform(0, 4)];
                 for (auto& f : s.frames)
                     for (PartSpec& p : f) {
                         p.kind = Part::Strand, p.w = rng.uniform(2, 4), p.h = rng.uniform(30, 41);
                         p.level = rng.uniform(0, 2) ? rng.uniform(10, 41) : rng.uniform(225, 256);
                         p.turn = rng.uniform(0, 3) ? 90.0 * rng.uniform(0, 2) : rng.uniform(0.0, 180.0);
                     }
                 for (RegionSpec& g : s.regions) g.func = kFuncDefect;
             });
}

// The rows that reproduce the measurements of the defect matcher's faults: smooth parts on fine
// textures, faint parts over half a region, clear colour on faintly tinted greys, faint parts in
// thin, concave and ring regions, slivers under uneven light, textured colour regions that shake.
void FaultRows(const std::vector<cv::Mat>& photos)
{
    using namespace floorgen;
    std::printf(
        "\nFaults of the defect matcher, factory parameters, function 0: found = parts found of those the plain\n"
        "comparison finds where it is quiet; clean NG = clean regions failed of those it is quiet on; targets:\n"
        "faults 1 to 3 found >= 95 %%, fault 4 missed <= 3 %%, every row clean NG 0\n");
    auto region = [](Shape shape, int w, int h) {
        RegionSpec r;
        r.shape = shape, r.w = w, r.h = h;
        return r;
    };
    const RegionSpec box = region(Shape::Rectangle, 100, 80);
    auto sized = [](Part kind, int lo, int hi, int level, Place place) {
        return [=](cv::RNG& rng) {
            PartSpec p;
            p.kind = kind, p.place = place, p.level = level;
            p.w = p.h = rng.uniform(lo, hi + 1);
            return p;
        };
    };
    struct Texture
    {
        const char* name;
        Surface surface;
        int period;
        Part part;
        int lo, hi;
    };
    for (const Texture& x :
         {Texture{"fault 1 fine texture: ribs 4 px, smooth part 14-20 px", Surface::Ribs, 4, Part::Smooth, 14, 20},
          Texture{"fault 1 fine texture: ribs 4 px, smooth part 30 px", Surface::Ribs, 4, Part::Smooth, 30, 30},
          Texture{"fault 1 fine texture: ribs 4 px, piece moved half a period 14-20", Surface::Ribs, 4, Part::Moved, 14,
                  20},
          Texture{"fault 1 fine texture: knurl 2 x 2, smooth part 14-20 px", Surface::Knurl, 4, Part::Smooth, 14, 20},
          Texture{"fault 1 fine texture: knurl 2 x 2, smooth part 30 px", Surface::Knurl, 4, Part::Smooth, 30, 30},
          Texture{"fault 1 fine texture: knurl 2 x 2, piece moved half a period", Surface::Knurl, 4, Part::Moved, 14,
                  20},
          Texture{"fault 1 control: ribs 6 px, smooth part 14-20 px", Surface::Ribs, 6, Part::Smooth, 14, 20},
          Texture{"fault 1 control: ribs 6 px, smooth part 30 px", Surface::Ribs, 6, Part::Smooth, 30, 30}})
        FaultRow(x.name, 5.0, photos, 12, [&](floorgen::Scene& s, cv::RNG& rng) {
            Plain(s, box, 2, rng, sized(x.part, x.lo, x.hi, 0, Place::Anywhere));
            s.surface = x.surface, s.period = x.period, s.contrast = rng.uniform(40, 81), s.grey = rng.uniform(80, 171);
        });
    StrandRows(photos);
    struct Faint
    {
        const char* name;
        RegionSpec region;
        int side, lo, hi;
    };
    for (const Faint& x : {Faint{"fault 2 half-region part: 64 px, 15-20 levels, 100 x 80 region", box, 64, 15, 20},
                           Faint{"fault 2 half-region part: 64 px, 22 levels, 100 x 80 region", box, 64, 22, 22},
                           Faint{"fault 2 half-region part: 14 px, 18-22 levels, circle r 12",
                                 region(Shape::SmallCircle, 12, 0), 14, 18, 22}})
        FaultRow(x.name, 5.0, photos, 8, [&](floorgen::Scene& s, cv::RNG& rng) {
            Plain(s, x.region, 2, rng, [&](cv::RNG& r) {
                PartSpec p = sized(Part::Faint, x.side, x.side, 0, Place::Centre)(r);
                p.level = Signed(r, x.lo, x.hi);
                return p;
            });
            s.surface = Surface::Flat, s.grey = rng.uniform(60, 180);
        });
    for (int chroma : {0, 2, 6})
        for (int side : {14, 20}) {
            char name[96];
            std::snprintf(name, sizeof name, "fault 3 tinted grey: chroma %d surface, green chroma 60 part %d px",
                          chroma, side);
            FaultRow(name, 5.0, photos, 8, [&](floorgen::Scene& s, cv::RNG& rng) {
                Plain(s, box, 2, rng, sized(Part::Hue, side, side, 60, Place::Anywhere));
                s.colour = true;
                s.surface = Surface::Tinted, s.grey = rng.uniform(80, 171);
                s.tint = Tinted(0, rng.uniform(0.0, 360.0), chroma);
                for (auto& f : s.frames)
                    for (PartSpec& p : f) p.hue = 120;
            });
        }
    for (int across = 0; across < 2; ++across)
        FaultRow(across ? "fault 4 low contrast 15-25 levels, thin and concave regions: across the outline"
                        : "fault 4 low contrast 15-25 levels, thin and concave regions: inside",
                 3.0, photos, 64, [&](floorgen::Scene& s, cv::RNG& rng) {
                     Plain(s, box, 4, rng, [&](cv::RNG& r) {
                         PartSpec p;
                         p.kind = Part::Faint, p.w = p.h = r.uniform(12, 31);
                         p.level = Signed(r, 15, 25);
                         static const Place inside[] = {Place::Centre, Place::Anywhere, Place::Touching, Place::TwoIn};
                         p.place = across ? Place::HalfOutside : inside[r.uniform(0, 4)];
                         return p;
                     });
                     const Shape shapes[] = {Shape::L,    Shape::U,    Shape::Chevron,
                                             Shape::Star, Shape::Ring, Shape::Sliver};
                     for (int i = 0; i < 6; ++i) {
                         RegionSpec& g = s.regions[size_t(i)];
                         g.shape = shapes[i], g.angle = rng.uniform(0.0, 360.0);
                         g.w = shapes[i] == Shape::Sliver ? rng.uniform(10, 19)
                               : i < 3                    ? rng.uniform(40, 56)
                                                          : rng.uniform(45, 73);
                         g.h = shapes[i] == Shape::Sliver ? 150 : rng.uniform(15, g.w - 22);
                     }
                     s.surface = Surface::Flat, s.grey = rng.uniform(60, 180);
                 });
    FaultRow("fault 5 slivers 10-18 x 150 at 12 angles, light gradient 10-30 %", 0.0, photos, 6,
             [&](floorgen::Scene& s, cv::RNG& rng) {
                 Plain(s, box, 4, rng, [](cv::RNG&) { return PartSpec(); });
                 for (int i = 0; i < 6; ++i) {
                     RegionSpec& g = s.regions[size_t(i)];
                     g.shape = Shape::Sliver, g.w = rng.uniform(10, 19), g.h = 150;
                     g.angle = 15.0 * (((s.seed - kFaultSeed) * 6 + unsigned(i)) % 12);
                 }
                 s.surface = Surface::Flat, s.grey = rng.uniform(60, 180);
                 s.condition = Condition::Gradient, s.amount = rng.uniform(0.10, 0.30);
                 s.direction = rng.uniform(0.0, 2 * CV_PI);
             });
    // The synthetic scene's windows stand in for the photographs in the second row.
    const cv::Mat sim = Synthetic().canvas;
    std::vector<cv::Mat> synthetic;
    for (const cv::Point at : {cv::Point(200, 180), cv::Point(760, 620), cv::Point(300, 700)})
        synthetic.push_back(sim(cv::Rect(at, cv::Size(kFrameW, kFrameH))).clone());
    for (int scene = 0; scene < 2; ++scene)
        FaultRow(scene ? "fault 6 textured colour similarity regions moved 2-4 px: synthetic"
                       : "fault 6 textured colour similarity regions moved 2-4 px: photographs",
                 0.0, scene ? synthetic : photos, 6, [&](floorgen::Scene& s, cv::RNG& rng) {
                     s.colour = true, s.correction = false;
                     // The similarity is what may displace a hue region; the defect function
                     // tolerates a pixel of movement only, on every camera.
                     for (RegionSpec& g : s.regions) g.func = kFuncSimilarity;
                     s.surface = Surface::Photo, s.photo = rng.uniform(0, 3);
                     s.condition = Condition::Shift;
                     s.dx = Signed(rng, 2, 4), s.dy = rng.uniform(-4, 5);
                     s.frames.assign(4, std::vector<PartSpec>(6));
                 });
}

// Run over 100 regions of one shape (rectangles 120 x 94, circles r 46, polygons of six oblique
// sides r 50), function 0, against the plain judgement of the same crops and masks: a still
// frame, one shaken by 2,-2 px, one with 30 px dark parts in ten regions and one with 12 px
// parts touching the outline of ten regions. Run's time is the figure to hold against an
// earlier tree's run of this same bench.
void ShapeSpeed(const std::vector<Scene>& scenes)
{
    const Scene& s = scenes.front();
    std::mt19937 rng(99);
    const Nuisance still{"still"};
    const cv::Mat templ = Frame(s.canvas, still, false, kTemplateNoise, rng);
    std::printf(
        "\njudgement of 100 regions of one shape, function 0 (one thread): Run against the plain judgement\n"
        "of the same crops and masks\n");
    std::printf("  %-10s %-22s %10s %10s %8s   %s\n", "shape", "frame", "Run ms", "plain ms", "ratio", "NG (plain)");
    Nuisance shaken{"shaken"};
    shaken.shiftX = 2, shaken.shiftY = -2;
    for (int shape = 0; shape < 3; ++shape) {
        RecogRig rig(kW, kH, false, 1);
        rig.setTemplate(0, 0, templ);
        std::vector<floorgen::Region> regions;
        for (int i = 0; i < 100; ++i) {
            floorgen::Region g;
            g.centre = cv::Point(8 + (i % 10) * 127 + 60, 6 + (i / 10) * 101 + 47);
            g.shape = shape == 0   ? floorgen::Shape::Rectangle
                      : shape == 1 ? floorgen::Shape::Circle
                                   : floorgen::Shape::Convex;
            const int k =
                shape == 0
                    ? rig.addRect(0, cv::Rect(g.centre.x - 60, g.centre.y - 47, 120, 94), kFuncDefect, 45, 100, 3)
                : shape == 1
                    ? rig.addCircle(0, g.centre, 46, 0, kFuncDefect, 45, 100, 3)
                    : rig.addPolygon(0, floorgen::RegularPolygon(g.centre, 6, 50, 15), kFuncDefect, 45, 100, 3);
            floorgen::Describe(rig, k, g);
            regions.push_back(g);
        }
        CammerRecong& rec = rig.build();
        struct Row
        {
            const char* name;
            cv::Mat picture;
        };
        auto parts = [&](int side, floorgen::Place place) {
            return Frame(s.canvas, still, false, 2, rng, [&](cv::Mat& f) {
                for (int i = 0; i < 10; ++i)
                    f(floorgen::PlacePart(regions[size_t(i) * 10], i * CV_PI / 4, side, place)).setTo(10);
            });
        };
        for (const Row& row : {Row{"still", Frame(s.canvas, still, false, 2, rng)},
                               Row{"shaken 2,-2 px", Frame(s.canvas, shaken, false, 2, rng)},
                               Row{"10 dark 30 px parts", parts(30, floorgen::Place::Centre)},
                               Row{"10 at the outline 12 px", parts(12, floorgen::Place::Touching)}}) {
            rig.setAligned(row.picture);
            int plainNg = 0;
            auto plain = [&] {
                plainNg = 0;
                for (const floorgen::Region& g : regions)
                    plainNg += PlainArea(row.picture(g.box), templ(g.box), g.judged) > 100;
            };
            double run = 1e9, naive = 1e9;
            for (int i = 0; i < 10; ++i) {  // alternated, so that both see the same machine
                run = std::min(run, MsPerCall(3, [&] { rec.Run(0); }));
                naive = std::min(naive, MsPerCall(3, plain));
            }
            int ng = 0;
            for (int i = 0; i < 100; ++i) ng += rig.view->roiOk[0][i] ? 0 : 1;
            std::printf("  %-10s %-22s %10.2f %10.2f %8.2f   %d (%d)\n",
                        shape == 0   ? "rectangle"
                        : shape == 1 ? "circle"
                                     : "polygon",
                        row.name, run, naive, run / naive, ng, plainNg);
            std::fflush(stdout);
        }
    }
}

// Position correction at the factory search offset (8000: the whole picture is searched) with
// a 5 degree rotation search, with a 200 x 160 position region off the frame's centre and with
// none (the central model); the part moved by 7,-5 px and turned 2 deg about the frame centre. The error is what
// the correction leaves at the model's centre (whole pixels, as the picture is moved) and of
// the turn.
void FactoryPositionSpeed(const std::vector<Scene>& scenes)
{
    std::mt19937 rng(99);
    const Nuisance still{"still"};
    std::printf(
        "\nposition correction (ShapeMatch) at the factory offset 8000, rotation 5, layers 5, accuracy 5;\n"
        "part moved by 7,-5 px and turned 2 deg; baseline: a plain correlation at a quarter size and one warp\n");
    std::printf("  %-22s %-9s %9s %9s %9s %12s %10s   %s\n", "scene", "model", "ms", "search", "baseline", "shift err",
                "turn err", "mean grey error");
    for (const Scene& sc : scenes) {
        const cv::Mat templ = Frame(sc.canvas, still, false, kTemplateNoise, rng);
        for (int central = 0; central < 2; ++central) {
            RecogRig rig(kW, kH, false, 1);
            rig.para->motionCorrect = 0;
            rig.para->matchAngle = 5;
            rig.para->matchOffset = 8000;
            rig.para->zoomLayers = 5;
            rig.setTemplate(0, 0, templ);
            // The region lies off the frame's centre, so that the turn moves it by a fraction of
            // a pixel too (the exact correction is then the nearest whole one).
            const cv::Rect model = central ? cv::Rect(320, 256, 960, 768) : cv::Rect(560, 440, 200, 160);
            if (!central)
                rig.addRect(0, model, kFuncPosition);
            CammerRecong& rec = rig.build();
            Nuisance n{"moved"};
            n.shiftX = 7, n.shiftY = -5, n.rotation = 2;
            rig.setRaw(Frame(sc.canvas, n, false, 2, rng));
            rec.HomoTransShape(0);
            const double ms = MsPerCall(3, [&] { rec.ShapeMatch(); });
            cv::Mat search = rig.work()(rec.searchRect[0]).clone();
            int x = 0, y = 0;
            double score = 0, angle = 0;
            bool found = false;
            const double find = MsPerCall(3, [&] { found = rec.findShape[0].Find(search, 0, &x, &y, &score, &angle); });
            cv::Mat small, part, result, warped;
            const double base = MsPerCall(3, [&] {
                cv::resize(rig.work(), small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
                cv::resize(templ(model), part, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
                cv::matchTemplate(small, part, result, cv::TM_CCOEFF_NORMED);
                cv::warpAffine(rig.work(), warped, cv::getRotationMatrix2D(cv::Point2f(640, 510), angle, 1.0),
                               rig.work().size());
            });
            // Where the motion took the model's centre (frame coordinates), and the whole-pixel
            // shift that brings it back nearest.
            const cv::Mat m = Motion(n);
            const cv::Point2d c(rec.shapeCenterX[0], rec.shapeCenterY[0]);
            const cv::Mat p = m * (cv::Mat_<double>(3, 1) << c.x + kMargin, c.y + kMargin, 1.0);
            const cv::Point2d moved(p.at<double>(0) / p.at<double>(2), p.at<double>(1) / p.at<double>(2));
            const int ex = (x - rec.searchRect[0].x) - int(std::lround(c.x - moved.x));
            const int ey = (y - rec.searchRect[0].y) - int(std::lround(c.y - moved.y));
            const cv::Mat reference = Frame(sc.canvas, still, false, 0, rng);
            const cv::Rect inner(kInset, kInset, kW - 2 * kInset, kH - 2 * kInset);
            char err[32];
            std::snprintf(err, sizeof err, "%+d,%+d px", ex, ey);
            std::printf("  %-22s %-9s %6.1f ms %6.1f ms %6.1f ms %12s %6.3f deg   %5.1f -> %4.1f%s\n", sc.name.c_str(),
                        central ? "central" : "region", ms, find, base, err, std::abs(angle + n.rotation),
                        MeanAbsDiff(rig.work(), reference, inner), MeanAbsDiff(rig.aligned(), reference, inner),
                        found ? "" : "  NOT FOUND");
            std::fflush(stdout);
        }
    }
}

// What the user must draw for an exact correction: position regions of several sizes and
// places, none (the central model), a rotation range below the turn and the factory shift-only
// search, against no correction. Worst over the scenes: the shift error at the model's centre
// (against the nearest whole pixel), the turn error, and how far the corrected picture still
// leaves the corners of the judged regions from where they were drawn (a whole-pixel move
// leaves up to 0.71 px); found and exact count the scenes.
void PositionDrawing(const std::vector<Scene>& scenes)
{
    struct Drawing
    {
        const char* name;
        cv::Rect model;  // empty: no position region
        int matchAngle, motionCorrect;
        double turn, shiftX, shiftY;
    };
    const Drawing rows[] = {
        {"200 x 160 near the centre", {560, 440, 200, 160}, 5, 0, 2, 7, -5},
        {"400 x 320 near the centre", {440, 352, 400, 320}, 5, 0, 2, 7, -5},
        {"100 x 80 near the centre", {590, 472, 100, 80}, 5, 0, 2, 7, -5},
        {"50 x 40 near the centre", {615, 492, 50, 40}, 5, 0, 2, 7, -5},
        {"200 x 160 in a corner", {40, 40, 200, 160}, 5, 0, 2, 7, -5},
        {"none (central 960 x 768)", {}, 5, 0, 2, 7, -5},
        {"200 x 160, range 1 < turn", {560, 440, 200, 160}, 1, 0, 2, 7, -5},
        {"200 x 160, range 5", {560, 440, 200, 160}, 5, 0, 1, 3, 2},
        {"200 x 160, shift only", {560, 440, 200, 160}, 0, 0, 1, 3, 2},
        {"none, shift only (factory)", {}, 0, 0, 1, 3, 2},
        {"none, range 5", {}, 5, 0, 1, 3, 2},
        {"no correction", {}, 0, -1, 1, 3, 2},
    };
    std::mt19937 rng(7);
    const Nuisance still{"still"};
    std::printf(
        "\nwhat to draw: position correction at offset 8000, layers 5, accuracy 5, worst of %zu scenes;\n"
        "misplaced: the corners of the %d judged regions after the correction\n",
        scenes.size(), kColumns * kRows);
    std::printf("  %-28s %-16s %5s %5s %9s %9s %18s\n", "position region", "motion", "found", "exact", "shift err",
                "turn err", "misplaced mean max");
    for (const Drawing& d : rows) {
        int found = 0, exact = 0, worstShift = 0;
        double worstTurn = 0, worstPlace = 0, meanPlace = 0;
        for (const Scene& sc : scenes) {
            RecogRig rig(kW, kH, false, 1);
            rig.para->motionCorrect = d.motionCorrect;
            rig.para->matchAngle = d.matchAngle;
            rig.para->matchOffset = 8000;
            rig.para->zoomLayers = 5;
            rig.setTemplate(0, 0, Frame(sc.canvas, still, false, kTemplateNoise, rng));
            if (!d.model.empty())
                rig.addRect(0, d.model, kFuncPosition);
            CammerRecong& rec = rig.build();
            Nuisance n{"moved"};
            n.shiftX = d.shiftX, n.shiftY = d.shiftY, n.rotation = d.turn;
            rig.setRaw(Frame(sc.canvas, n, false, 2, rng));
            rec.HomoTransShape(0);
            int x = 0, y = 0;
            double score = 0, angle = 0;
            const cv::Rect search = rec.searchRect[0];
            cv::Mat crop = search.empty() ? cv::Mat() : rig.work()(search).clone();
            const bool hit = d.motionCorrect == 0 && rec.findShape[0].Find(crop, 0, &x, &y, &score, &angle);
            // The correction's map from the moved picture to the corrected one, as ShapeMatch applies it.
            const cv::Point2d c(rec.shapeCenterX[0], rec.shapeCenterY[0]);
            const cv::Point2d off = hit ? cv::Point2d(x - search.x, y - search.y) : cv::Point2d();
            const cv::Mat turn = cv::getRotationMatrix2D(c, d.matchAngle > 0 ? angle : 0.0, 1.0);
            const cv::Mat m = Motion(n);
            auto corrected = [&](cv::Point2d p) {
                const cv::Mat q = m * (cv::Mat_<double>(3, 1) << p.x + kMargin, p.y + kMargin, 1.0);
                const cv::Mat r = turn * (cv::Mat_<double>(3, 1) << q.at<double>(0) / q.at<double>(2) + off.x,
                                          q.at<double>(1) / q.at<double>(2) + off.y, 1.0);
                return cv::Point2d(r.at<double>(0), r.at<double>(1));
            };
            const cv::Point2d atCentre = corrected(c) - c;
            const int shiftErr =
                std::max(std::abs(int(std::lround(atCentre.x))), std::abs(int(std::lround(atCentre.y))));
            double place = 0;
            for (const cv::Rect& r : Regions()) {
                double region = 0;
                for (const cv::Point2d p : {cv::Point2d(r.tl()), cv::Point2d(r.br()), cv::Point2d(r.x, r.y + r.height),
                                            cv::Point2d(r.x + r.width, r.y)})
                    region = std::max(region, cv::norm(corrected(p) - p));
                place = std::max(place, region);
                meanPlace += region / Regions().size() / scenes.size();
            }
            const double turnErr = std::abs((d.matchAngle > 0 ? angle : 0.0) + n.rotation);
            found += hit;
            exact += hit && shiftErr == 0 && turnErr < 0.1;
            worstShift = std::max(worstShift, hit ? shiftErr : 0);
            worstTurn = std::max(worstTurn, turnErr);
            worstPlace = std::max(worstPlace, place);
        }
        char motion[32];
        std::snprintf(motion, sizeof motion, "%+.0f,%+.0f px %+.0f deg", d.shiftX, d.shiftY, d.turn);
        std::printf("  %-28s %-16s %3d %5d %6d px %5.3f deg %6.2f px %6.2f px\n", d.name, motion, found, exact,
                    worstShift, worstTurn, meanPlace, worstPlace);
        std::fflush(stdout);
    }
}

void QuietInfo(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

// A teal surface with a faint gradient: a clear colour everywhere, which a part of no colour
// (clipped white, crushed black, grey) takes away.
Scene Teal()
{
    cv::Mat bgr(kH + 2 * kMargin, kW + 2 * kMargin, CV_8UC3);
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            const double g = 20.0 * x / bgr.cols + 6.0 * y / bgr.rows;
            bgr.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(120 + g), cv::saturate_cast<uchar>(130 + g),
                                                cv::saturate_cast<uchar>(20 + g / 2));
        }
    return {"teal surface", bgr};
}

// Colour cameras in a frame 10 % brighter or darker, per function [f0, f6]: false alarms on clean
// frames, the misses of objects whose change a hue picture can show ([parts, patches]), and the
// regions washed out ([white, black]) that fail.
struct ColourTally
{
    long judged[2] = {}, alarms[2] = {}, planted[2][2] = {}, missed[2][2] = {}, washed[2][2] = {}, washedNg[2][2] = {};
    double worstAlarm[2] = {};
};

// The objects of one frame, one a region: kind 0 a bright and 1 a dark foreign part of a random
// colour, 2 a patch of the scene darkened in place (x0.15: dark colours fall to black), 3 one
// brightened (x3: bright ones clip at white); washed: the whole region white (every channel
// clipped) or black (crushed to 0), kind 0 or 1.
struct ColourObjects
{
    std::vector<cv::Rect> boxes;
    std::vector<int> kinds;
    std::vector<cv::Scalar> colours;
    bool wash = false;

    ColourObjects(const std::vector<cv::Rect>& regions, int frame, bool washed, size_t turn, std::mt19937& rng)
        : boxes(regions.size()), kinds(regions.size()), colours(regions.size()), wash(washed)
    {
        std::uniform_real_distribution<double> unit(0, 1);
        for (size_t i = 0; i < regions.size(); ++i) {
            const cv::Rect& g = regions[i];
            std::uniform_int_distribution<int> side(15, 40);
            const int w = side(rng), h = side(rng);
            boxes[i] = wash ? g
                            : cv::Rect(g.x + std::uniform_int_distribution<int>(2, g.width - w - 2)(rng),
                                       g.y + std::uniform_int_distribution<int>(2, g.height - h - 2)(rng), w, h);
            kinds[i] = wash ? int(i / 2 + turn) % 2 : int(i / 2 + size_t(frame)) % 4;
            // A colour of some saturation: one channel lowered fully, the next in part.
            const double v = kinds[i] == 0 ? 0.75 + 0.25 * unit(rng) : 0.25 * unit(rng);
            const double sat = 0.4 + 0.6 * unit(rng), hue = unit(rng) * 6;
            cv::Vec3d c(v, v, v);
            c[int(hue) % 3] *= 1 - sat;
            c[(int(hue) + 1) % 3] *= 1 - sat * (hue - int(hue));
            colours[i] = cv::Scalar(c[0] * 255, c[1] * 255, c[2] * 255);
        }
    }
    void paste(cv::Mat& f) const
    {
        for (size_t i = 0; i < boxes.size(); ++i) {
            cv::Mat area = f(boxes[i]);
            if (wash)
                area.setTo(kinds[i] ? cv::Scalar::all(-100) : cv::Scalar::all(400));
            else if (kinds[i] < 2)
                area.setTo(colours[i]);
            else
                area *= kinds[i] == 2 ? 0.15 : 3.0;
        }
    }
};

// One scene in one frame nuisance, into t.
void MeasureColour(const Scene& s, const Nuisance& n, ColourTally& t)
{
    Rig r(true);
    r.rig.para->motionCorrect = -1;
    std::mt19937 rng(4321);
    const Nuisance still{"still"};
    r.rig.setTemplate(0, 0, Frame(s.canvas, still, true, kTemplateNoise, rng));
    CammerRecong& rec = r.rig.build();
    const std::vector<cv::Rect> regions = Regions();
    long judged[2] = {}, alarms[2] = {};
    for (int k = 0; k < kCleanFrames; ++k) {
        Judge(r, rec, Frame(s.canvas, n, true, n.noise, rng));
        for (size_t i = 0; i < regions.size(); ++i) {
            const int f = IsDefectRegion(int(i)) ? 0 : 1;
            ++judged[f];
            alarms[f] += r.rig.view->roiOk[0][i] ? 0 : 1;
        }
    }
    for (int f = 0; f < 2; ++f) {
        t.judged[f] += judged[f], t.alarms[f] += alarms[f];
        t.worstAlarm[f] = std::max(t.worstAlarm[f], 100.0 * alarms[f] / std::max(1L, judged[f]));
    }
    // Objects in the frame's own coordinates; the hue picture's view of the change is read from
    // the noiseless frame at the same brightness without and with them.
    cv::Mat plain, changed;
    cv::cvtColor(Frame(s.canvas, n, true, 0, rng), plain, cv::COLOR_BGRA2BGR);
    for (int k = 0; k < kDefectFrames + 1; ++k) {
        const ColourObjects o(regions, k, k == kDefectFrames, s.name.size(), rng);
        const auto paste = [&](cv::Mat& f) { o.paste(f); };
        Judge(r, rec, Frame(s.canvas, n, true, n.noise, rng, paste));
        cv::cvtColor(Frame(s.canvas, n, true, 0, rng, paste), changed, cv::COLOR_BGRA2BGR);
        for (size_t i = 0; i < regions.size(); ++i) {
            const cv::Mat whole(o.boxes[i].size(), CV_8UC1, cv::Scalar(255));
            if (HueVisibleShare(plain(o.boxes[i]), changed(o.boxes[i]), whole) < 0.5)
                continue;
            const int f = IsDefectRegion(int(i)) ? 0 : 1;
            const bool ok = r.rig.view->roiOk[0][i];
            if (o.wash) {
                ++t.washed[f][o.kinds[i]];
                t.washedNg[f][o.kinds[i]] += !ok;
            } else {
                ++t.planted[f][o.kinds[i] / 2];
                t.missed[f][o.kinds[i] / 2] += ok;
            }
        }
    }
}

void PrintColourRow(const char* name, bool brighter, const ColourTally& t)
{
    auto pct = [](long part, long whole) {
        char b[16];
        if (whole == 0)
            return std::string("  -   ");
        std::snprintf(b, sizeof b, "%5.1f ", 100.0 * part / whole);
        return std::string(b);
    };
    const long planted[2] = {t.planted[0][0] + t.planted[0][1], t.planted[1][0] + t.planted[1][1]};
    const long missed[2] = {t.missed[0][0] + t.missed[0][1], t.missed[1][0] + t.missed[1][1]};
    // (Misses are a target in the brighter frame; the darker one is there for its false alarms.)
    const bool missesMet = !brighter || (100.0 * missed[0] <= 5.0 * std::max(1L, planted[0]) &&
                                         100.0 * missed[1] <= 10.0 * std::max(1L, planted[1]));
    const bool met = t.alarms[0] + t.alarms[1] == 0 && missesMet &&
                     t.washedNg[0][0] + t.washedNg[0][1] + t.washedNg[1][0] + t.washedNg[1][1] ==
                         t.washed[0][0] + t.washed[0][1] + t.washed[1][0] + t.washed[1][1];
    std::printf("%-16s |", name);
    for (int f = 0; f < 2; ++f)
        std::printf(" %s %-13s %-13s %-13s |", Percent(t.alarms[f], t.judged[f], t.worstAlarm[f]).c_str(),
                    pct(t.missed[f][0], t.planted[f][0]).c_str(), pct(t.missed[f][1], t.planted[f][1]).c_str(),
                    pct(missed[f], planted[f]).c_str());
    std::printf(" %s %s %s %s | %s\n", pct(t.washedNg[0][0], t.washed[0][0]).c_str(),
                pct(t.washedNg[0][1], t.washed[0][1]).c_str(), pct(t.washedNg[1][0], t.washed[1][0]).c_str(),
                pct(t.washedNg[1][1], t.washed[1][1]).c_str(), met ? "met" : "NOT met");
    std::printf("%-16s   objects: f0 %ld + %ld, f6 %ld + %ld; washed regions: f0 %ld + %ld, f6 %ld + %ld\n", "",
                t.planted[0][0], t.planted[0][1], t.planted[1][0], t.planted[1][1], t.washed[0][0], t.washed[0][1],
                t.washed[1][0], t.washed[1][1]);
    std::fflush(stdout);
}

// Colour cameras in a frame 10 % brighter or darker (see ColourTally and ColourObjects): a region
// that lost its colour must fail.
void ColourTable(const std::vector<Scene>& scenes)
{
    std::printf(
        "\nColour cameras, hue conversion, frames 10 %% brighter or darker: %zu scenes x 48 regions (half f0, half "
        "f6);\n"
        "FA: clean regions NG (2 frames); parts, patches: hue-vis misses of foreign parts and of patches darkened\n"
        "or brightened in place (4 frames); washed NG: regions of clear colour washed out white or black that fail;\n"
        "targets: FA 0 and washed NG 100 at +-10 %%, hue-vis misses at +10 %% f0 <= 5, f6 <= 10\n",
        scenes.size());
    std::printf("%-16s | %-13s %-13s %-13s %-13s | %-13s %-13s %-13s %-13s | %-6s %-6s %-6s %-6s | %s\n", "frame",
                "f0 FA", "f0 parts", "f0 patches", "f0 all", "f6 FA", "f6 parts", "f6 patches", "f6 all", "f0 wht",
                "f0 blk", "f6 wht", "f6 blk", "target");
    for (const Nuisance& n : {Nuisance{"noise 3, +10%", 3, 1.1}, Nuisance{"noise 5, +10%", 5, 1.1},
                              Nuisance{"noise 3, -10%", 3, 0.9}, Nuisance{"noise 5, -10%", 5, 0.9}}) {
        ColourTally t;
        for (const Scene& s : scenes) MeasureColour(s, n, t);
        PrintColourRow(n.name, n.gain > 1, t);
    }
}

// The factory position correction (shift only, the central model, no position region) on a
// featureless picture (the flat polished surface) beside photographs moved by 3,2 px: 48
// function-0 regions; the taught frame itself, 4 clean frames (noise 3; brightness 1, +10 %,
// -10 %, 1) and 4 frames with a 20 px dark part in every region. On the flat surface nothing
// may move and no clean region fail; on the photographs the correction stays exact.
void FeaturelessPosition(const std::vector<Scene>& scenes)
{
    std::printf(
        "\nFactory position correction (shift only, central model) on a featureless picture: 48 function-0\n"
        "regions; moved: frames the correction moved (of 9: the taught frame, 4 clean, 4 with parts), the\n"
        "largest move; clean NG: regions NG on the taught and clean frames (of 240); parts missed: 20 px dark\n"
        "parts (grey 20, on grey 50 and brighter); target on the flat surface: nothing moved, no clean NG\n");
    std::printf("%-16s %-14s %-9s %-10s %-13s %-9s %s\n", "scene", "motion", "moved", "largest", "clean NG", "missed",
                "target");
    for (const Scene& sc : scenes) {
        const bool flat = sc.name == "flat surface";
        Rig r(false);
        r.rig.para->motionCorrect = 0, r.rig.para->matchAngle = 0, r.rig.para->matchOffset = 8000;
        const std::vector<cv::Rect> regions = Regions();
        for (size_t i = 0; i < regions.size(); ++i) {
            r.rig.storeA->func[0][i] = kFuncDefect;
            r.rig.storeA->para1[0][i] = 45, r.rig.storeA->para2[0][i] = 100, r.rig.storeA->para3[0][i] = 3;
        }
        std::mt19937 rng(808);
        const Nuisance still{"still"};
        const cv::Mat templ = Frame(sc.canvas, still, false, kTemplateNoise, rng);
        r.rig.setTemplate(0, 0, templ);
        CammerRecong& rec = r.rig.build();
        int moved = 0, largest = 0, cleanNg = 0, planted = 0, missed = 0;
        for (int k = 0; k < 9; ++k) {
            Nuisance n{"frame", 3, k == 2 ? 1.1 : k == 3 ? 0.9 : 1.0};
            n.shiftX = flat ? 0 : 3, n.shiftY = flat ? 0 : 2;
            const bool parts = k >= 5;
            std::vector<bool> visible(regions.size());
            auto paste = [&](cv::Mat& f) {
                for (size_t i = 0; i < regions.size() && parts; ++i) {
                    const cv::Rect& g = regions[i];
                    const cv::Rect at(g.x + 4 + int(rng() % unsigned(g.width - 28)),
                                      g.y + 4 + int(rng() % unsigned(g.height - 28)), 20, 20);
                    visible[i] = cv::mean(f(at))[0] >= 20 + kVisibleChange;
                    f(at).setTo(20);
                }
            };
            Judge(r, rec, k == 0 ? templ : Frame(sc.canvas, n, false, n.noise, rng, paste));
            if (std::memcmp(r.rig.view->alignedImage, r.rig.view->workImage, r.rig.view->imageBytes) != 0) {
                ++moved;
                cv::Mat crop = r.rig.work()(rec.searchRect[0]).clone();
                int x = 0, y = 0;
                double score = 0, angle = 0;
                if (rec.findShape[0].Find(crop, 0, &x, &y, &score, &angle))
                    largest = std::max({largest, std::abs(x - rec.searchRect[0].x), std::abs(y - rec.searchRect[0].y)});
            }
            for (size_t i = 0; i < regions.size(); ++i) {
                const bool ok = r.rig.view->roiOk[0][i];
                if (parts) {
                    planted += visible[i];
                    missed += visible[i] && ok;
                } else {
                    cleanNg += !ok;
                }
            }
        }
        char motion[32], mv[32], lg[32], ng[32], ms[32];
        std::snprintf(motion, sizeof motion, "%s", flat ? "still" : "moved 3,2 px");
        std::snprintf(mv, sizeof mv, "%d of 9", moved);
        std::snprintf(lg, sizeof lg, "%d px", largest);
        std::snprintf(ng, sizeof ng, "%d of 240", cleanNg);
        std::snprintf(ms, sizeof ms, "%.1f %%", 100.0 * missed / std::max(1, planted));
        std::printf("%-16s %-14s %-9s %-10s %-13s %-9s %s\n", sc.name.c_str(), motion, mv, lg, ng, ms,
                    !flat                        ? "-"
                    : moved == 0 && cleanNg == 0 ? "met"
                                                 : "NOT met");
        std::fflush(stdout);
    }
}

// The 5 degree position search with a drawn 240 x 200 position region (offset 100) on seven
// photographs (rows of text, a chessboard and round sweets among them: patterns that repeat at a
// coarse level): 24 clean frames moved by 1 to 3 px each way (noise 2). wrong: frames the
// correction moved 2 px or more off the true shift or turned by half a degree or more; NG: the
// 48 regions of the mixed table; edge NG: 20 defect regions drawn flush with the picture's edge
// (5 along each side) on the same frames, which the corrected shift leaves an empty strip in.
// Target: nothing wrong, no NG.
void PoseRows(const std::string& folder)
{
    const char* const photos[] = {"graf1.png",      "building.jpg", "baboon.jpg",  "fruits.jpg",
                                  "imageTextR.png", "left03.jpg",   "smarties.png"};
    std::printf(
        "\nPosition search, 5 deg, drawn 240 x 200 position region, 24 clean frames moved 1-3 px: wrong: frames\n"
        "moved 2+ px off or turned 0.5+ deg (worst error); NG: of 48 regions x 24; edge NG: of 20 regions flush\n"
        "with the picture's edge x 24\n");
    std::printf("  %-14s %-8s %-14s %-12s %-12s %s\n", "photograph", "wrong", "worst", "NG", "edge NG", "target");
    const cv::Rect model((kW - 240) / 2, (kH - 200) / 2, 240, 200);
    std::vector<cv::Rect> edges;
    for (int k = 0; k < 5; ++k) {
        const int x = 40 + k * (kW - 200) / 4, y = 40 + k * (kH - 180) / 4;
        edges.emplace_back(x, 0, 120, 100);
        edges.emplace_back(x, kH - 100, 120, 100);
        edges.emplace_back(0, y, 120, 100);
        edges.emplace_back(kW - 120, y, 120, 100);
    }
    for (const char* name : photos) {
        cv::Mat photo = cv::imread(folder + "/" + name, cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::printf("  %-14s missing\n", name);
            continue;
        }
        cv::Mat canvas;
        cv::resize(photo, canvas, cv::Size(kW + 2 * kMargin, kH + 2 * kMargin), 0, 0, cv::INTER_CUBIC);
        std::mt19937 rng(4242);
        const Nuisance still{"still"};
        const cv::Mat templ = Frame(canvas, still, false, kTemplateNoise, rng);
        Rig r(false), edge(false);
        for (Rig* g : {&r, &edge}) {
            if (g == &edge) {
                g->rig.storeA->roiNum[0] = 0;
                for (const cv::Rect& e : edges) g->rig.addRect(0, e, kFuncDefect, 45, 100, 3);
            }
            g->rig.addRect(0, model, kFuncPosition);
            g->rig.para->motionCorrect = 0;
            g->rig.setTemplate(0, 0, templ);
        }
        CammerRecong& rec = r.rig.build();
        CammerRecong& edgeRec = edge.rig.build();
        int wrong = 0, ng = 0, edgeNg = 0, worstShift = 0;
        double worstTurn = 0;
        for (int f = 0; f < 24; ++f) {
            Nuisance n{"moved"};
            const int sx = 1 + int(rng() % 3), sy = 1 + int(rng() % 3);
            n.shiftX = (rng() % 2 ? sx : -sx), n.shiftY = (rng() % 2 ? sy : -sy);
            const cv::Mat frame = Frame(canvas, n, false, 2, rng);
            Judge(r, rec, frame);
            Judge(edge, edgeRec, frame);
            cv::Mat crop = r.rig.work()(rec.searchRect[0]).clone();
            int x = 0, y = 0;
            double score = 0, angle = 0;
            const bool hit = rec.findShape[0].Find(crop, 0, &x, &y, &score, &angle);
            const int err = hit ? std::max(std::abs(x - rec.searchRect[0].x + int(n.shiftX)),
                                           std::abs(y - rec.searchRect[0].y + int(n.shiftY)))
                                : 0;
            worstShift = std::max(worstShift, err);
            worstTurn = std::max(worstTurn, hit ? std::abs(angle) : 0.0);
            wrong += hit && (err >= 2 || std::abs(angle) >= 0.5);
            for (int i = 0; i < kColumns * kRows; ++i) ng += !r.rig.view->roiOk[0][i];
            for (size_t i = 0; i < edges.size(); ++i) edgeNg += !edge.rig.view->roiOk[0][i];
        }
        char worst[32], ngs[32], edgeNgs[32];
        std::snprintf(worst, sizeof worst, "%d px %.1f deg", worstShift, worstTurn);
        std::snprintf(ngs, sizeof ngs, "%d of %d", ng, 24 * kColumns * kRows);
        std::snprintf(edgeNgs, sizeof edgeNgs, "%d of %d", edgeNg, 24 * int(edges.size()));
        std::printf("  %-14s %2d of 24 %-14s %-12s %-12s %s\n", name, wrong, worst, ngs, edgeNgs,
                    wrong == 0 && ng == 0 && edgeNg == 0 ? "met" : "NOT met");
        std::fflush(stdout);
    }
}
}  // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(QuietInfo);
    std::string folder = "/usr/share/doc/opencv-doc/examples/data";
    bool quality = true, position = true, perspective = true, judgement = true, factory = true;
    bool shapes = false;
    std::string groups = "abcedgihfknp7";
    std::string only;                     // --scene=<name>: that scene alone
    long floorSeed = -1, floorCount = 1;  // --floor-seed=S [--floor-count=N]: those generated scenes alone
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--rows=", 0) == 0)
            groups = a.substr(7);
        else if (a.rfind("--floor-seed=", 0) == 0)
            floorSeed = std::stol(a.substr(13));
        else if (a.rfind("--floor-count=", 0) == 0)
            floorCount = std::stol(a.substr(14));
        else if (a == "--faults-only")
            groups = "n", position = perspective = judgement = factory = false;
        else if (a.rfind("--scene=", 0) == 0)
            only = a.substr(8);
        else if (a == "--factory-position-only")
            quality = position = perspective = judgement = false;
        else if (a == "--shapes-only")
            quality = position = perspective = judgement = factory = false, shapes = true;
        else if (a == "--speed-only")
            quality = false;
        else if (a == "--quality-only")
            position = perspective = judgement = factory = false;
        else if (a == "--position-only" || a == "--perspective-only" || a == "--judgement-only") {
            quality = false;
            position = a == "--position-only";
            perspective = a == "--perspective-only";
            judgement = a == "--judgement-only";
            factory = false;
        } else {
            folder = a;
        }
    }
    const std::vector<cv::Mat> floorPhotos = FloorPhotos();
    if (floorSeed >= 0) {
        FloorGenerator(floorPhotos, unsigned(floorSeed), unsigned(std::max(1L, floorCount)));
        return 0;
    }
    if (groups == "n") {
        FaultRows(floorPhotos);
        return 0;
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
    std::mt19937 sceneRng(5);
    const std::vector<Scene> photos(scenes.begin(), scenes.begin() + 4);
    scenes.push_back(Glare(photos[0], sceneRng));  // graf1: flat paint
    scenes.push_back(Glare(photos[3], sceneRng));  // fruits: smooth shapes
    scenes.push_back(Dark(photos[1], sceneRng));   // building
    scenes.push_back(Fine(sceneRng));
    if (!only.empty())
        scenes.erase(std::remove_if(scenes.begin(), scenes.end(), [&](const Scene& sc) { return sc.name != only; }),
                     scenes.end());
    cv::Mat texture = cv::imread(folder + "/orange.jpg", cv::IMREAD_COLOR);
    if (texture.empty())
        texture = scenes.front().canvas;
    if (quality) {
        QualityTable(scenes, texture, groups);
        if (groups.find('g') != std::string::npos)
            EdgeTable(photos);
        if (groups.find('i') != std::string::npos)
            BorderTable(photos);
        if (groups.find('f') != std::string::npos)
            FloorGenerator(floorPhotos, 1, 400);
        if (groups.find('n') != std::string::npos)
            FaultRows(floorPhotos);
        if (groups.find('p') != std::string::npos)
            FeaturelessPosition({Flat(), photos[0], photos[3]});
        if (groups.find('k') != std::string::npos) {
            std::vector<Scene> coloured(scenes.begin(), scenes.begin() + std::min<size_t>(5, scenes.size()));
            coloured.push_back(Teal());
            ColourTable(coloured);
        }
        if (groups.find('7') != std::string::npos)
            PoseRows(folder);
        if (groups.find('h') != std::string::npos) {
            std::vector<Scene> lit(scenes.begin(), scenes.begin() + std::min<size_t>(5, scenes.size()));
            lit.push_back(Fine(sceneRng));
            lit.push_back(Flat());
            HighlightTable(lit);
        }
    }
    if (position || perspective || judgement || factory || shapes) {
        cv::setNumThreads(1);
        std::printf("\nSpeed, one thread unless said (run under taskset -c 0 for one core)\n");
    }
    if (position)
        PositionSpeed(scenes);
    if (factory) {
        FactoryPositionSpeed(scenes);
        PositionDrawing(scenes);
    }
    if (perspective)
        PerspectiveSpeed(std::vector<Scene>(scenes.begin(), scenes.begin() + 5));
    if (judgement)
        JudgementSpeed(scenes);
    if (judgement || shapes)
        ShapeSpeed(scenes);
    return 0;
}
