// The recognition floor, walked by the floor test and the quality bench: wherever the plain
// comparison finds a part and is quiet on the same clean frame, Run finds it too; wherever the
// plain comparison is quiet on a clean frame, Run is quiet.
#pragma once

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "../../bench/plainjudgement.h"
#include "miscfunc.h"
#include "recogrig.h"

namespace floorcase {
constexpr int kFrameW = 480;
constexpr int kFrameH = 260;
constexpr int kCell = 160;  // regions lie in a 3 x 2 grid of cells of 160 x 130
constexpr int kCellH = 130;
constexpr int kAlarmArea = 100;  // the factory alarm area
constexpr int kIgnoredWidth = 40;

enum class Shape { Rectangle, Circle, Polygon, Ring, BesideIgnored, Pentagon };
// Grey parts, then what a colour camera sees: a part of another clear hue, one clipped at white
// or crushed to black, and the whole region washed out.
enum class Part { Dark, Bright, Faint, Hue, White, Black, WashedWhite, WashedBlack };
enum class Place { Centre, Touching, TwoIn };

struct Nuisance
{
    const char* name;
    double gain;
    double noise;
};

struct Options
{
    std::vector<Part> parts;
    std::vector<int> sizes;
    std::vector<Place> places;
    std::vector<Nuisance> nuisances;
    int repeats = 1;         // frames of each part, size and place (the direction turns between them)
    bool correction = true;  // the factory position correction (grey cameras only)
};

struct Tally
{
    long cleanAsked = 0, cleanRaised = 0;  // clean frames the plain comparison is quiet on; Run NG
    long partsAsked = 0, partsMissed = 0;  // parts it finds on a frame it is quiet on; Run passed
    std::vector<std::string> violations;
};

struct Region
{
    Shape shape;
    int func;
    cv::Rect box;
    cv::Mat judged;  // the box's pixels the region judges (its shape without the ignored area)
    cv::Point centre;
    int ringMid = 0;  // rings: the radius halfway between their circles
};

inline const char* Name(Shape s)
{
    static const char* const names[] = {"rectangle", "circle", "hexagon", "ring", "beside ignored", "pentagon"};
    return names[int(s)];
}
inline const char* Name(Part p)
{
    static const char* const names[] = {"dark",  "bright", "faint",        "hue",
                                        "white", "black",  "washed white", "washed black"};
    return names[int(p)];
}
inline const char* Name(Place p)
{
    static const char* const names[] = {"centre", "touching", "2 px in"};
    return names[int(p)];
}

inline std::vector<cv::Point> RegularPolygon(cv::Point c, int sides, double radius, double firstDegrees)
{
    std::vector<cv::Point> out;
    for (int k = 0; k < sides; ++k) {
        const double a = (firstDegrees + 360.0 * k / sides) * CV_PI / 180;
        out.emplace_back(int(std::lround(c.x + radius * std::cos(a))), int(std::lround(c.y + radius * std::sin(a))));
    }
    return out;
}

// The box and the mask of region i of detection 0 (the shape, the centre and the function set).
inline void Describe(RecogRig& rig, int i, Region& g)
{
    const QRect q = rig.storeA->shapeType[0][i] == kShapeCircle    ? rig.storeA->circles[0][i].imageRect
                    : rig.storeA->shapeType[0][i] == kShapePolygon ? rig.storeA->polygons[0][i].imageRect
                                                                   : rig.storeA->rects[0][i].imageRect;
    g.box = cv::Rect(q.x(), q.y(), q.width(), q.height());
    g.judged = rig.view->workMasks[0][i].clone();
}

// The regions of one frame, one a cell, added to the rig's detection 0 at factory parameters
// (defect regions; a colour camera also has two similarity regions). The ignored area beside its
// region is painted into the ignore mask.
inline std::vector<Region> AddRegions(RecogRig& rig, bool colour)
{
    const Shape grey[] = {Shape::Rectangle, Shape::Circle,        Shape::Polygon,
                          Shape::Ring,      Shape::BesideIgnored, Shape::Pentagon};
    const Shape hue[] = {Shape::Rectangle, Shape::Circle, Shape::Polygon, Shape::Rectangle, Shape::Circle, Shape::Ring};
    std::vector<Region> out;
    for (int k = 0; k < 6; ++k) {
        Region g;
        g.shape = colour ? hue[k] : grey[k];
        g.func = colour && (k == 3 || k == 4) ? kFuncSimilarity : kFuncDefect;
        const cv::Point c((k % 3) * kCell + kCell / 2, (k / 3) * kCellH + kCellH / 2);
        const int p1 = g.func == kFuncDefect ? 45 : 80, p2 = g.func == kFuncDefect ? 100 : 0;
        const int p3 = g.func == kFuncDefect ? 3 : 0;
        int i = 0;
        switch (g.shape) {
            case Shape::Circle:
                i = rig.addCircle(0, c, 42, 0, g.func, p1, p2, p3);
                break;
            case Shape::Ring:
                i = rig.addCircle(0, c, 50, 20, g.func, p1, p2, p3);
                g.ringMid = 35;
                break;
            case Shape::Polygon:  // six sides, none along a row or a column
                i = rig.addPolygon(0, RegularPolygon(c, 6, 52, 15), g.func, p1, p2, p3);
                break;
            case Shape::Pentagon:
                i = rig.addPolygon(0, RegularPolygon(c, 5, 54, 10), g.func, p1, p2, p3);
                break;
            default:
                i = rig.addRect(0, cv::Rect(c.x - 60, c.y - 50, 120, 100), g.func, p1, p2, p3);
                break;
        }
        g.centre = c;
        Describe(rig, i, g);
        if (g.shape == Shape::BesideIgnored) {
            // Something that moves lies on the right of the region: the operator left it out.
            const cv::Rect ignored(g.box.br().x - kIgnoredWidth, g.box.y - 10, kIgnoredWidth + 10, g.box.height + 20);
            rig.ignore(0)(ignored).setTo(255);
            g.judged((ignored - g.box.tl()) & cv::Rect(cv::Point(), g.box.size())).setTo(0);
            g.centre.x -= kIgnoredWidth / 2;
        }
        out.push_back(g);
    }
    return out;
}

// A square part of side `side` in the region: at its centre (a ring: halfway between its circles
// in that direction), or slid from there along `angle` until it touches the region's outline
// from inside, or stops 2 px before it. Empty when it does not fit.
inline cv::Rect PlacePart(const Region& g, double angle, int side, Place place)
{
    const cv::Point2d dir(std::cos(angle), std::sin(angle));
    const cv::Point2d home = cv::Point2d(g.centre) + dir * double(g.ringMid);
    auto at = [&](double t) {
        const cv::Point c(int(std::lround(home.x + t * dir.x)), int(std::lround(home.y + t * dir.y)));
        return cv::Rect(c.x - side / 2, c.y - side / 2, side, side);
    };
    // The square grown by `margin` lies on judged pixels only.
    auto fits = [&](cv::Rect r, int margin) {
        r = cv::Rect(r.x - margin - g.box.x, r.y - margin - g.box.y, r.width + 2 * margin, r.height + 2 * margin);
        return (r & cv::Rect(cv::Point(), g.judged.size())) == r && cv::countNonZero(g.judged(r)) == r.area();
    };
    const int margin = place == Place::TwoIn ? 2 : 0;
    if (!fits(at(0), margin))
        return cv::Rect();
    if (place == Place::Centre)
        return at(0);
    // (Rounding may leave a step that does not fit before one that does.)
    double last = 0;
    for (double t = 0.25; t <= last + 1.0; t += 0.25)
        if (fits(at(t), margin))
            last = t;
    return at(last);
}

// The camera's picture of canvas (8UC3): brightness times gain, then paste (on the 32-bit grey or
// three-channel picture), sensor noise of the given seed; grey 8UC1 or colour 8UC4.
inline cv::Mat MakeFrame(const cv::Mat& canvas, bool colour, double gain, double noise, unsigned seed,
                         const std::function<void(cv::Mat&)>& paste)
{
    cv::Mat f, out;
    canvas.convertTo(f, CV_32F, gain);
    if (!colour)
        cv::cvtColor(f, f, cv::COLOR_BGR2GRAY);
    paste(f);
    cv::Mat n(f.size(), f.type());
    cv::theRNG().state = seed;
    cv::randn(n, cv::Scalar::all(0), cv::Scalar::all(noise));
    cv::Mat(f + n).convertTo(out, CV_8U);
    if (colour)
        cv::cvtColor(out, out, cv::COLOR_BGR2BGRA);
    return out;
}

// What the region's judgement sees of a frame: the grey picture, or the hue of a colour one.
inline cv::Mat Judged(const cv::Mat& frame)
{
    if (frame.type() == CV_8UC1)
        return frame;
    cv::Mat hue(frame.size(), CV_8UC1);
    RGBA2Hue(hue.data, reinterpret_cast<int*>(const_cast<unsigned char*>(frame.data)), frame.cols, frame.rows);
    return hue;
}

// Pastes part p over rect of the 32-bit picture f; rng gives its grey level.
inline void Paste(cv::Mat& f, cv::Rect rect, Part p, cv::RNG& rng)
{
    cv::Mat area = f(rect);
    const cv::Scalar covered = cv::mean(area);
    switch (p) {
        case Part::Dark:
            area.setTo(cv::Scalar::all(10 + rng.uniform(0, 31)));
            break;
        case Part::Bright:
            area.setTo(cv::Scalar::all(225 + rng.uniform(0, 31)));
            break;
        case Part::Faint:
            area.setTo(cv::Scalar::all(covered[0] < 128 ? covered[0] + 35 : covered[0] - 35));
            break;
        case Part::Hue: {
            // A colour of any hue and saturation, bright or dark in turn.
            const double v = rng.uniform(0, 2) ? rng.uniform(0.75, 1.0) : rng.uniform(0.0, 0.25);
            const double sat = rng.uniform(0.0, 1.0), h = rng.uniform(0.0, 6.0), frac = h - int(h);
            const double lo = v * (1 - sat), down = v * (1 - sat * frac), up = v * (1 - sat * (1 - frac));
            const double rgb[6][3] = {{v, up, lo},   {down, v, lo}, {lo, v, up},
                                      {lo, down, v}, {up, lo, v},   {v, lo, down}};
            const double* c = rgb[int(h) % 6];
            area.setTo(cv::Scalar(c[2] * 255, c[1] * 255, c[0] * 255));
            break;
        }
        case Part::White:
        case Part::WashedWhite:
            area.setTo(cv::Scalar::all(400));  // over-exposed: clipped whatever the noise
            break;
        case Part::Black:
        case Part::WashedBlack:
            area.setTo(cv::Scalar::all(-100));
            break;
    }
}

// Walks the cases on one surface (8UC3 of kFrameW x kFrameH): a rig taught on it, then per
// nuisance, part, size and place a clean frame and the same frame with a part in every region,
// each judged by Run (with the factory position correction on grey cameras) and by the plain
// comparison of the judged picture.
inline void Walk(const std::string& surface, const cv::Mat& canvas, bool colour, const Options& o, Tally& t)
{
    RecogRig rig(kFrameW, kFrameH, colour, 1);
    gisGrayHue = false;  // colour cameras judge the hue
    rig.para->motionCorrect = o.correction ? 0 : -1;
    rig.para->matchAngle = 0;
    rig.para->matchOffset = 8000;
    const std::vector<Region> regions = AddRegions(rig, colour);
    cv::RNG rng(7);
    // The ignored area changes from frame to frame.
    auto moving = [&](cv::Mat& f, unsigned seed) {
        for (const Region& g : regions)
            if (g.shape == Shape::BesideIgnored)
                f(cv::Rect(g.box.br().x - kIgnoredWidth + int(seed % 7) * 4, g.box.y + int(seed % 5) * 12, 12, 30))
                    .setTo(cv::Scalar::all(seed % 2 ? 250 : 5));
    };
    // The taught picture, and the same lit as a frame of that gain.
    auto taught = [&](double gain) { return MakeFrame(canvas, colour, gain, 2, 1, [&](cv::Mat& f) { moving(f, 1); }); };
    const cv::Mat templ = taught(1.0);
    rig.setTemplate(0, 0, templ);
    CammerRecong& rec = rig.build();
    const cv::Mat plainTempl = Judged(templ).clone();
    auto judge = [&](const cv::Mat& frame, std::vector<bool>& ok, std::vector<double>& plain) {
        rig.setRaw(frame);
        rec.HomoTransShape(0);
        rec.ShapeMatch();
        rec.Run(0);
        const cv::Mat seen = Judged(frame);
        ok.resize(regions.size());
        plain.resize(regions.size());
        for (size_t i = 0; i < regions.size(); ++i) {
            ok[i] = rig.view->roiOk[0][i];
            const cv::Rect b = regions[i].box;
            plain[i] = PlainArea(seen(b), plainTempl(b), regions[i].judged, colour);
        }
    };
    unsigned seed = 10;
    int turn = 0;
    for (const Nuisance& n : o.nuisances)
        for (const Part part : o.parts)
            for (const int side : o.sizes)
                for (const Place place : o.places)
                    for (int rep = 0; rep < o.repeats; ++rep) {
                        const bool washed = part == Part::WashedWhite || part == Part::WashedBlack;
                        if (washed && (place != Place::Centre || side != o.sizes.front()))
                            continue;
                        ++seed, ++turn;
                        std::vector<cv::Rect> at(regions.size());
                        for (size_t i = 0; i < regions.size(); ++i)
                            at[i] = washed ? regions[i].box
                                           : PlacePart(regions[i], (turn + int(i) * 3) * CV_PI / 4, side, place);
                        std::vector<bool> cleanOk, partOk;
                        std::vector<double> cleanPlain, partPlain;
                        judge(MakeFrame(canvas, colour, n.gain, n.noise, seed, [&](cv::Mat& f) { moving(f, seed); }),
                              cleanOk, cleanPlain);
                        const cv::Mat partFrame = MakeFrame(canvas, colour, n.gain, n.noise, seed, [&](cv::Mat& f) {
                            moving(f, seed);
                            for (size_t i = 0; i < regions.size(); ++i)
                                if (!at[i].empty())
                                    Paste(f, at[i], part, rng);
                        });
                        judge(partFrame, partOk, partPlain);
                        for (size_t i = 0; i < regions.size(); ++i) {
                            if (cleanPlain[i] > kAlarmArea)
                                continue;  // the plain comparison asks nothing of this frame
                            const Region& g = regions[i];
                            char what[200];
                            std::snprintf(what, sizeof what, "%s, %s, %s f%d, %s %d px %s (direction %d)",
                                          surface.c_str(), n.name, Name(g.shape), g.func, Name(part), side, Name(place),
                                          (turn + int(i) * 3) % 8);
                            ++t.cleanAsked;
                            if (!cleanOk[i]) {
                                ++t.cleanRaised;
                                t.violations.push_back(std::string(what) + ": clean frame NG, plain area " +
                                                       std::to_string(int(cleanPlain[i])));
                            }
                            // Similarity regions (a score of the whole region) are asked only for
                            // what washes a colour out over 30 px or more.
                            const bool asked = g.func == kFuncDefect ||
                                               (part >= Part::White && (side >= 30 || part >= Part::WashedWhite));
                            if (at[i].empty() || !asked || partPlain[i] <= kAlarmArea)
                                continue;
                            ++t.partsAsked;
                            if (partOk[i]) {
                                ++t.partsMissed;
                                // What the plain comparison makes of it against the template lit as
                                // the frame: the part alone, without the frame's brightness change.
                                const cv::Mat lit = Judged(taught(n.gain));
                                const cv::Rect b = g.box;
                                const int alike = int(PlainArea(Judged(partFrame)(b), lit(b), g.judged, colour));
                                t.violations.push_back(
                                    std::string(what) + ": part passed, plain area " +
                                    std::to_string(int(partPlain[i])) + " (against the template lit as the frame " +
                                    std::to_string(alike) + "), value " + std::to_string(rig.view->roiValue[0][i]));
                            }
                        }
                    }
    gisGrayHue = true;
}
}  // namespace floorcase
