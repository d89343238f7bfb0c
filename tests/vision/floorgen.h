// The recognition floor's case generator, walked by the floor test and the quality bench: a seed
// gives a camera, a surface, a condition and six regions with a part in each of two frames;
// wherever the plain comparison (against the template lit as the frame, at the region's true
// place) is quiet on the clean frame and finds the part, Run must find it; wherever it is quiet
// on a clean frame, Run must pass it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "../../bench/plainjudgement.h"
#include "miscfunc.h"
#include "recogrig.h"

namespace floorgen {
constexpr int kCell = 168;  // regions lie in a 3 x 2 grid of cells: a 150 px sliver fits at any angle
constexpr int kFrameW = 3 * kCell;
constexpr int kFrameH = 2 * kCell;
constexpr int kMargin = 6;       // canvas border: the frame may move by up to this much and still be full
constexpr int kAlarmArea = 100;  // the factory alarm area
constexpr int kIgnoredWidth = 40;
constexpr int kTemplateNoise = 2;
constexpr int kFramesPerScene = 2;  // frames of parts every scene has (ribs and knurls: one of strands more)
constexpr uint64_t kStrandStream = 0x5D1A0C3Bu;  // the strands' draws, apart from the scene's others
// The frame is a window of a camera picture this large: light gradients and vignetting spread over it.
constexpr double kCameraW = 1280, kCameraH = 1024;

enum class Shape { Rectangle, Circle, Convex, L, U, Chevron, Star, Ring, Sliver, SmallCircle, BesideIgnored, Count };
// Grey cameras see the photographs, flat surfaces and fine textures; colour cameras the colour
// photographs, tinted greys and clear colours.
enum class Surface { Photo, Flat, Ribs, Knurl, Tinted, Colour, Count };
// Moved: a piece of the surface moved by half its period (a texture) or 3 px; Washed: the whole
// region clipped white or crushed black; Strand: a thread of plastic or a fibre, w px wide and h
// long, of the surface's local mean grey or, given a level, of that grey (a strong string).
enum class Part { None, Dark, Bright, Smooth, Faint, Moved, Hue, White, Black, Washed, Strand, Count };
enum class Place { Centre, Anywhere, Touching, TwoIn, HalfOutside, Count };
enum class Condition { Still, Noise, Light, Gradient, Vignette, Blur, Jpeg, Shift, Count };

inline const char* Name(Shape s)
{
    static const char* const n[] = {"rectangle", "circle",       "convex polygon", "L", "U", "chevron", "star", "ring",
                                    "sliver",    "small circle", "beside ignored"};
    return n[int(s)];
}
inline const char* Name(Surface s)
{
    static const char* const n[] = {"photograph", "flat", "ribs", "knurl", "tinted grey", "colour"};
    return n[int(s)];
}
inline const char* Name(Part p)
{
    static const char* const n[] = {"none",        "dark", "bright", "smooth", "faint",
                                    "moved piece", "hue",  "white",  "black",  "washed", "strand"};
    return n[int(p)];
}
inline const char* Name(Place p)
{
    static const char* const n[] = {"centre", "anywhere", "touching", "2 px in", "half outside"};
    return n[int(p)];
}
inline const char* Name(Condition c)
{
    static const char* const n[] = {"still", "noise", "light", "gradient", "vignetting", "blur", "JPEG", "shift"};
    return n[int(c)];
}

// Sizes by shape: rectangle w x h; circle, polygons radius w; ring radii w and h; sliver width w,
// length h, turned by angle (degrees).
struct RegionSpec
{
    Shape shape = Shape::Rectangle;
    int w = 100, h = 80;
    double angle = 0;
    int sides = 6;     // convex polygons
    cv::Point offset;  // from the cell's centre
    int func = kFuncDefect;
};

// A part of w x h: level is the grey of dark and bright parts, the offset from the covered grey
// of faint ones, the chroma of hue ones (of hue angle `hue`, degrees); washed parts are white at
// a positive level.
struct PartSpec
{
    Part kind = Part::None;
    int w = 15, h = 15;
    Place place = Place::Anywhere;
    double direction = 0;  // radians: where it slides to the outline, and its random place
    int level = 0;
    double hue = 120;
    double turn = 0;  // strands: degrees their length is turned from the rows
};

struct Scene
{
    unsigned seed = 0;
    bool colour = false, correction = false;
    Surface surface = Surface::Flat;
    int photo = 0;                          // photographs: which
    int period = 4, contrast = 60;          // textures
    bool across = false;                    // ribs along the rows
    int grey = 128;                         // flat, textured and tinted surfaces
    cv::Scalar tint = cv::Scalar(0, 0, 0);  // tinted and colour surfaces: B, G, R added to the grey
    Condition condition = Condition::Still;
    double noise = 2;
    double amount = 0;  // gain, gradient or vignetting share, blur sigma or JPEG quality
    double direction = 0;
    cv::Point camera;  // the frame's place in the camera picture (vignetting)
    int dx = 0, dy = 0;
    std::vector<RegionSpec> regions;            // one a cell
    std::vector<std::vector<PartSpec>> frames;  // one part a region, per frame
};

struct Region
{
    Shape shape = Shape::Rectangle;
    int func = kFuncDefect;
    cv::Rect box;
    cv::Mat judged;    // the box's pixels the region judges (its shape without the ignored area)
    cv::Point centre;  // the point parts start from
    int ringMid = 0;   // rings: the radius halfway between their circles, from the centre
};

inline std::vector<cv::Point> RegularPolygon(cv::Point c, int sides, double radius, double firstDegrees)
{
    std::vector<cv::Point> out;
    for (int k = 0; k < sides; ++k) {
        const double a = (firstDegrees + 360.0 * k / sides) * CV_PI / 180;
        out.emplace_back(int(std::lround(c.x + radius * std::cos(a))), int(std::lround(c.y + radius * std::sin(a))));
    }
    return out;
}

// The outline of a concave shape of radius r about c, turned by degrees.
inline std::vector<cv::Point> Outline(Shape s, cv::Point c, double r, double degrees)
{
    static const std::vector<cv::Point2d> l = {{-1, -1}, {-0.2, -1}, {-0.2, 0.4}, {1, 0.4}, {1, 1}, {-1, 1}};
    static const std::vector<cv::Point2d> u = {{-1, -1},  {-0.4, -1}, {-0.4, 0.4}, {0.4, 0.4},
                                               {0.4, -1}, {1, -1},    {1, 1},      {-1, 1}};
    static const std::vector<cv::Point2d> chevron = {{-1, -0.9}, {0, 0.1}, {1, -0.9}, {1, -0.2}, {0, 0.8}, {-1, -0.2}};
    std::vector<cv::Point2d> unit = s == Shape::L ? l : s == Shape::U ? u : chevron;
    if (s == Shape::Star) {
        unit.clear();
        for (int k = 0; k < 10; ++k) {
            const double a = CV_PI * k / 5 - CV_PI / 2, rk = k % 2 ? 0.45 : 1.0;
            unit.emplace_back(rk * std::cos(a), rk * std::sin(a));
        }
    }
    const double a = degrees * CV_PI / 180;
    std::vector<cv::Point> out;
    for (const cv::Point2d& p : unit)
        out.emplace_back(int(std::lround(c.x + r * (p.x * std::cos(a) - p.y * std::sin(a)))),
                         int(std::lround(c.y + r * (p.x * std::sin(a) + p.y * std::cos(a)))));
    return out;
}

// The box and the mask of region i of detection 0.
inline void Describe(RecogRig& rig, int i, Region& g)
{
    const QRect q = rig.storeA->shapeType[0][i] == kShapeCircle    ? rig.storeA->circles[0][i].imageRect
                    : rig.storeA->shapeType[0][i] == kShapePolygon ? rig.storeA->polygons[0][i].imageRect
                                                                   : rig.storeA->rects[0][i].imageRect;
    g.box = cv::Rect(q.x(), q.y(), q.width(), q.height());
    g.judged = rig.view->workMasks[0][i].clone();
}

// Adds the scene's regions, one a cell, to the rig's detection 0 at factory parameters; the area
// ignored beside its region is painted into the ignore mask.
inline std::vector<Region> AddRegions(RecogRig& rig, const Scene& s)
{
    std::vector<Region> out;
    for (size_t k = 0; k < s.regions.size(); ++k) {
        const RegionSpec& r = s.regions[k];
        Region g;
        g.shape = r.shape;
        g.func = r.func;
        const cv::Point c = cv::Point(int(k % 3) * kCell + kCell / 2, int(k / 3) * kCell + kCell / 2) + r.offset;
        const int p1 = r.func == kFuncDefect ? 45 : 80, p2 = r.func == kFuncDefect ? 100 : 0;
        const int p3 = r.func == kFuncDefect ? 3 : 0;
        int i = 0;
        switch (r.shape) {
            case Shape::Circle:
            case Shape::SmallCircle:
                i = rig.addCircle(0, c, r.w, 0, r.func, p1, p2, p3);
                break;
            case Shape::Ring:
                i = rig.addCircle(0, c, r.w, r.h, r.func, p1, p2, p3);
                break;
            case Shape::Convex:
                i = rig.addPolygon(0, RegularPolygon(c, r.sides, r.w, r.angle), r.func, p1, p2, p3);
                break;
            case Shape::L:
            case Shape::U:
            case Shape::Chevron:
            case Shape::Star:
                i = rig.addPolygon(0, Outline(r.shape, c, r.w, r.angle), r.func, p1, p2, p3);
                break;
            case Shape::Sliver: {
                const cv::RotatedRect sliver(c, cv::Size2f(float(r.h), float(r.w)), float(r.angle));
                cv::Point2f corners[4];
                sliver.points(corners);
                std::vector<cv::Point> points;
                for (const cv::Point2f& p : corners) points.emplace_back(int(std::lround(p.x)), int(std::lround(p.y)));
                i = rig.addPolygon(0, points, r.func, p1, p2, p3);
                break;
            }
            default:
                i = rig.addRect(0, cv::Rect(c.x - r.w / 2, c.y - r.h / 2, r.w, r.h), r.func, p1, p2, p3);
                break;
        }
        Describe(rig, i, g);
        if (r.shape == Shape::BesideIgnored) {
            // Something that moves lies on the right of the region: the operator left it out.
            const cv::Rect ignored(g.box.br().x - kIgnoredWidth, g.box.y - 4, kIgnoredWidth + 4, g.box.height + 8);
            rig.ignore(0)(ignored).setTo(255);
            g.judged((ignored - g.box.tl()) & cv::Rect(cv::Point(), g.box.size())).setTo(0);
        }
        // Parts start from the region's most inner pixel (rings: halfway between their circles).
        cv::Mat inner, padded;
        cv::copyMakeBorder(g.judged, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
        cv::distanceTransform(padded, inner, cv::DIST_L2, 3);
        cv::Point most;
        cv::minMaxLoc(inner, nullptr, nullptr, nullptr, &most);
        g.centre = g.box.tl() + most - cv::Point(1, 1);
        out.push_back(g);
    }
    return out;
}

// A part of w x h in the region: at its centre, or slid from there along `angle` until it touches
// the region's outline from inside, or stops 2 px before it. Empty when it does not fit.
inline cv::Rect PlacePart(const Region& g, double angle, int w, int h, Place place)
{
    const cv::Point2d dir(std::cos(angle), std::sin(angle));
    const cv::Point2d home = cv::Point2d(g.centre) + dir * double(g.ringMid);
    auto at = [&](double t) {
        const cv::Point c(int(std::lround(home.x + t * dir.x)), int(std::lround(home.y + t * dir.y)));
        return cv::Rect(c.x - w / 2, c.y - h / 2, w, h);
    };
    // The part grown by `margin` lies on judged pixels only.
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
inline cv::Rect PlacePart(const Region& g, double angle, int side, Place place)
{
    return PlacePart(g, angle, side, side, place);
}

constexpr int kShortestStrand = 20;  // a strand that fits nowhere is shortened down to this length

// The box a strand w px wide and length px long turned by degrees from the rows lies in.
inline cv::Size StrandBox(int w, int length, double degrees)
{
    const double c = std::abs(std::cos(degrees * CV_PI / 180)), s = std::abs(std::sin(degrees * CV_PI / 180));
    return cv::Size(int(std::lround(length * c + w * s)), int(std::lround(length * s + w * c)));
}

// Where a part lies in template coordinates (empty: it fits nowhere, even made smaller; a strand
// only shorter). Anywhere: wholly inside at a place the direction picks; half outside: centred on
// the outline.
inline cv::Rect Where(const Region& g, const PartSpec& p)
{
    if (p.kind == Part::Washed)
        return g.box;
    const bool strand = p.kind == Part::Strand;
    for (double scale = 1.0; strand ? p.h * scale >= kShortestStrand : std::min(p.w, p.h) * scale >= 6;
         scale *= 0.8) {
        const cv::Size size = strand ? StrandBox(p.w, int(p.h * scale), p.turn)
                                     : cv::Size(int(p.w * scale), int(p.h * scale));
        const int w = size.width, h = size.height;
        if (p.place == Place::Anywhere || p.place == Place::HalfOutside) {
            cv::Mat room;
            if (p.place == Place::Anywhere) {
                cv::erode(g.judged, room, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(w, h)), cv::Point(-1, -1),
                          1, cv::BORDER_CONSTANT, cv::Scalar(0));
            } else {
                cv::Mat eroded;
                cv::erode(g.judged, eroded, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
                room = g.judged - eroded;
            }
            std::vector<cv::Point> spots;
            cv::findNonZero(room, spots);
            if (spots.empty())
                continue;
            const size_t k = size_t(std::fmod(p.direction / (2 * CV_PI) + 1.0, 1.0) * double(spots.size()));
            const cv::Point c = g.box.tl() + spots[std::min(k, spots.size() - 1)];
            return cv::Rect(c.x - w / 2, c.y - h / 2, w, h);
        }
        const cv::Rect r = PlacePart(g, p.direction, w, h, p.place);
        if (!r.empty())
            return r;
    }
    return cv::Rect();
}

// The colour of grey m turned to hue `degrees` with the given chroma (B, G, R).
inline cv::Scalar Tinted(double m, double degrees, double chroma)
{
    cv::Vec3d c;
    for (int k = 0; k < 3; ++k)  // R, G, B at 0, 120, 240 degrees
        c[k] = std::cos((degrees - 120.0 * k) * CV_PI / 180);
    const double lo = std::min({c[0], c[1], c[2]}), hi = std::max({c[0], c[1], c[2]});
    const double mean = (c[0] + c[1] + c[2]) / 3;
    for (int k = 0; k < 3; ++k) c[k] = m + (c[k] - mean) * chroma / (hi - lo);
    return cv::Scalar(c[2], c[1], c[0]);
}

// The scene's surface: 32FC3 B, G, R of the frame with a margin all round.
inline cv::Mat Canvas(const Scene& s, const std::vector<cv::Mat>& photos)
{
    const cv::Size size(kFrameW + 2 * kMargin, kFrameH + 2 * kMargin);
    cv::Mat out;
    if (s.surface == Surface::Photo && !photos.empty()) {
        cv::resize(photos[size_t(s.photo) % photos.size()], out, size, 0, 0, cv::INTER_CUBIC);
        out.convertTo(out, CV_32FC3);
        return out;
    }
    out.create(size, CV_32FC3);
    const int half = std::max(1, s.period / 2);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            double v = s.grey;
            if (s.surface == Surface::Ribs)
                v += ((s.across ? y : x) % s.period < half ? 0.5 : -0.5) * s.contrast;
            else if (s.surface == Surface::Knurl)
                v += ((x / half + y / half) % 2 ? 0.5 : -0.5) * s.contrast;
            else  // a polished surface: a faint gradient of its own
                v += 20.0 * x / size.width + 6.0 * y / size.height;
            out.at<cv::Vec3f>(y, x) = cv::Vec3f(float(v + s.tint[0]), float(v + s.tint[1]), float(v + s.tint[2]));
        }
    return out;
}

inline double GreyOf(const cv::Scalar& bgr)
{
    return 0.114 * bgr[0] + 0.587 * bgr[1] + 0.299 * bgr[2];
}

// A strand p.w px wide along the middle of its box r (canvas coordinates; area: the canvas there),
// turned by p.turn: of the surface's mean grey over the box and 4 px around (a fine texture's own
// grey), or of the grey p.level.
inline void PaintStrand(cv::Mat& area, const cv::Mat& surface, cv::Rect r, const PartSpec& p)
{
    constexpr int kAround = 4;
    const cv::Rect local =
        cv::Rect(r.x - kAround, r.y - kAround, r.width + 2 * kAround, r.height + 2 * kAround) &
        cv::Rect(cv::Point(), surface.size());
    const cv::Scalar grey = p.level ? cv::Scalar::all(p.level) : cv::mean(surface(local));
    const double c = std::abs(std::cos(p.turn * CV_PI / 180)), s = std::abs(std::sin(p.turn * CV_PI / 180));
    // The length the box was made for (see StrandBox), read back along its longer side.
    const double length = c >= s ? (r.width - p.w * s) / c : (r.height - p.w * c) / s;
    cv::Point2f corners[4];
    cv::RotatedRect(cv::Point2f(r.width / 2.0f - 0.5f, r.height / 2.0f - 0.5f), cv::Size2f(float(length), float(p.w)),
                    float(p.turn))
        .points(corners);
    std::vector<cv::Point> outline;
    for (const cv::Point2f& k : corners) outline.emplace_back(int(std::lround(k.x)), int(std::lround(k.y)));
    cv::Mat mask = cv::Mat::zeros(area.size(), CV_8UC1);
    cv::fillConvexPoly(mask, outline, cv::Scalar(255));
    area.setTo(grey, mask);
}

// Paints part p over rect r (canvas coordinates) of the canvas.
inline void Paint(cv::Mat& canvas, const cv::Mat& surface, const Scene& s, cv::Rect r, const PartSpec& p)
{
    r &= cv::Rect(cv::Point(), canvas.size());
    cv::Mat area = canvas(r);
    const cv::Scalar covered = cv::mean(surface(r));
    const double m = GreyOf(covered);
    switch (p.kind) {
        case Part::Dark:
        case Part::Bright:
            area.setTo(cv::Scalar::all(p.level));
            break;
        case Part::Smooth:
            area.setTo(covered);
            break;
        case Part::Faint:
            area.setTo(cv::Scalar::all(m + p.level));
            break;
        case Part::Moved: {
            const int by = s.surface == Surface::Ribs || s.surface == Surface::Knurl ? std::max(1, s.period / 2) : 3;
            const cv::Point step = s.surface == Surface::Ribs && s.across ? cv::Point(0, by) : cv::Point(by, 0);
            const cv::Rect from = (r + step) & cv::Rect(cv::Point(), surface.size());
            surface(from).copyTo(canvas(cv::Rect(r.tl(), from.size())));
            break;
        }
        case Part::Hue:
            area.setTo(Tinted(m, p.hue, p.level));
            break;
        case Part::White:
            area.setTo(cv::Scalar::all(400));  // over-exposed: clipped whatever the noise
            break;
        case Part::Black:
            area.setTo(cv::Scalar::all(-100));
            break;
        case Part::Washed:
            area.setTo(cv::Scalar::all(p.level > 0 ? 400 : -100));
            break;
        case Part::Strand:
            PaintStrand(area, surface, r, p);
            break;
        default:
            break;
    }
}

// The light over the frame (32FC1): the gain, a gradient or a vignetting.
inline cv::Mat Light(const Scene& s)
{
    cv::Mat l(kFrameH, kFrameW, CV_32FC1);
    const double gain = s.condition == Condition::Light ? s.amount : 1.0;
    const double rMax = std::hypot(kCameraW / 2, kCameraH / 2);
    for (int y = 0; y < kFrameH; ++y)
        for (int x = 0; x < kFrameW; ++x) {
            double v = gain;
            if (s.condition == Condition::Gradient)
                v *= 1 + s.amount *
                             ((x - kFrameW / 2) * std::cos(s.direction) + (y - kFrameH / 2) * std::sin(s.direction)) /
                             kCameraW;
            if (s.condition == Condition::Vignette) {
                const double r = std::hypot(x + s.camera.x - kCameraW / 2, y + s.camera.y - kCameraH / 2) / rMax;
                v *= 1 - s.amount * r * r;
            }
            l.at<float>(y, x) = float(v);
        }
    return l;
}

inline cv::Mat Lit(const cv::Mat& picture, const cv::Mat& light)
{
    cv::Mat out;
    if (picture.channels() == 1) {
        cv::multiply(picture, light, out);
    } else {
        cv::Mat l3;
        cv::merge(std::vector<cv::Mat>{light, light, light}, l3);
        cv::multiply(picture, l3, out);
    }
    return out;
}

// The camera's picture of canvas (32FC3 with margins): the taught one (still, noise of the
// template), or a frame under the scene's condition and light; grey 8UC1 or colour 8UC4.
inline cv::Mat Render(const Scene& s, const cv::Mat& canvas, const cv::Mat& light, bool taught, unsigned noiseSeed)
{
    const bool moved = !taught && s.condition == Condition::Shift;
    cv::Mat f = canvas(cv::Rect(kMargin - (moved ? s.dx : 0), kMargin - (moved ? s.dy : 0), kFrameW, kFrameH)).clone();
    if (!s.colour)
        cv::cvtColor(f, f, cv::COLOR_BGR2GRAY);
    if (!taught)
        f = Lit(f, light);
    if (!taught && s.condition == Condition::Blur)
        cv::GaussianBlur(f, f, cv::Size(0, 0), s.amount);
    cv::Mat n(f.size(), f.type());
    cv::RNG(noiseSeed).fill(n, cv::RNG::NORMAL, 0, taught ? kTemplateNoise : s.noise);
    cv::Mat out;
    cv::Mat(f + n).convertTo(out, CV_8U);
    if (!taught && s.condition == Condition::Jpeg) {
        std::vector<unsigned char> bytes;
        cv::imencode(".jpg", out, bytes, {cv::IMWRITE_JPEG_QUALITY, int(s.amount)});
        out = cv::imdecode(bytes, s.colour ? cv::IMREAD_COLOR : cv::IMREAD_GRAYSCALE);
    }
    if (s.colour)
        cv::cvtColor(out, out, cv::COLOR_BGR2BGRA);
    return out;
}

// A size between lo and hi of either sign.
inline int Signed(cv::RNG& rng, int lo, int hi)
{
    const int size = rng.uniform(lo, hi + 1);
    return rng.uniform(0, 2) ? size : -size;
}

inline int Pick(cv::RNG& rng, int n)
{
    return rng.uniform(0, n);
}

// The scene's condition, how much of it, and whether a grey camera corrects the position.
inline void DrawCondition(Scene& s, cv::RNG& rng)
{
    s.condition = Condition(Pick(rng, int(Condition::Count)));
    s.correction = !s.colour && Pick(rng, 2);
    s.noise = rng.uniform(1.5, 3.0);
    switch (s.condition) {
        case Condition::Noise:
            s.noise = rng.uniform(4.0, 6.0);
            break;
        case Condition::Light:
            s.amount = Pick(rng, 2) ? rng.uniform(1.05, 1.15) : rng.uniform(0.85, 0.95);
            break;
        case Condition::Gradient:
        case Condition::Vignette:
            s.amount = rng.uniform(0.10, 0.30);
            break;
        case Condition::Blur:
            s.amount = rng.uniform(0.6, 1.2);
            break;
        case Condition::Jpeg:
            s.amount = rng.uniform(50, 86);
            break;
        case Condition::Shift:
            do s.dx = rng.uniform(-3, 4), s.dy = rng.uniform(-3, 4);
            while (s.dx == 0 && s.dy == 0);
            break;
        default:
            break;
    }
}

// A region of the given camera, sized to fit its cell at any angle.
inline RegionSpec DrawRegion(bool colour, cv::RNG& rng)
{
    RegionSpec r;
    r.shape = Shape(Pick(rng, int(Shape::Count)));
    r.angle = rng.uniform(0.0, 360.0);
    r.sides = rng.uniform(5, 9);
    switch (r.shape) {
        case Shape::Rectangle:
            r.w = rng.uniform(40, 141), r.h = rng.uniform(40, 141);
            break;
        case Shape::BesideIgnored:
            r.w = 120, r.h = 100;
            break;
        case Shape::Circle:
            r.w = rng.uniform(25, 71);
            break;
        case Shape::SmallCircle:
            r.w = rng.uniform(10, 15);
            break;
        case Shape::Ring:
            r.w = rng.uniform(40, 73), r.h = rng.uniform(15, r.w - 17);
            break;
        case Shape::Sliver:
            r.w = rng.uniform(10, 19), r.h = 150, r.angle = rng.uniform(0.0, 180.0);
            break;
        case Shape::Convex:
        case Shape::Star:
            r.w = rng.uniform(40, 73);
            break;
        default:  // L, U and chevron reach out to 1.4 times their radius
            r.w = rng.uniform(35, 56);
            break;
    }
    // A colour camera also has similarity regions.
    r.func = colour && Pick(rng, 6) == 0 && r.shape != Shape::SmallCircle ? kFuncSimilarity : kFuncDefect;
    return r;
}

// A part for the given camera: its kind, level, size, shape and place.
inline PartSpec DrawPart(bool colour, cv::RNG& rng)
{
    PartSpec p;
    const int kind = Pick(rng, 100);
    if (colour)
        p.kind = kind < 45   ? Part::Hue
                 : kind < 60 ? Part::White
                 : kind < 75 ? Part::Black
                 : kind < 85 ? Part::Dark
                 : kind < 95 ? Part::Bright
                             : Part::Washed;
    else
        p.kind = kind < 15   ? Part::Dark
                 : kind < 30 ? Part::Bright
                 : kind < 55 ? Part::Smooth
                 : kind < 90 ? Part::Faint
                             : Part::Moved;
    const int faintest = Pick(rng, 4) ? 30 : 60;  // mostly faint, now and then strong
    p.level = p.kind == Part::Dark     ? rng.uniform(10, 41)
              : p.kind == Part::Bright ? rng.uniform(225, 256)
              : p.kind == Part::Faint  ? Signed(rng, 12, faintest)
              : p.kind == Part::Hue    ? rng.uniform(20, 81)
                                       : Signed(rng, 1, 1);
    p.hue = rng.uniform(0.0, 360.0);
    const double u = rng.uniform(0.0, 1.0);
    p.w = p.h = 12 + int(58 * u * u);
    if (Pick(rng, 4) == 0) {  // elongated
        (Pick(rng, 2) ? p.h : p.w) = std::max(6, p.w / rng.uniform(2, 5));
    }
    p.place = Place(Pick(rng, int(Place::Count)));
    p.direction = rng.uniform(0.0, 2 * CV_PI);
    return p;
}

// A strand: mostly of the surface's own grey, 3 to 8 px wide, now and then a strong dark or bright
// string 2 or 3 px wide; along the rows or the columns, or at any angle.
inline PartSpec DrawStrand(cv::RNG& rng)
{
    PartSpec p;
    p.kind = Part::Strand;
    const bool strong = Pick(rng, 4) == 0;
    p.w = strong ? rng.uniform(2, 4) : rng.uniform(3, 9);
    p.h = rng.uniform(30, 51);
    p.level = !strong ? 0 : Pick(rng, 2) ? rng.uniform(10, 41) : rng.uniform(225, 256);
    p.turn = Pick(rng, 3) == 0 ? rng.uniform(0.0, 180.0) : 90.0 * Pick(rng, 2);
    p.place = Place(Pick(rng, int(Place::Count)));
    p.direction = rng.uniform(0.0, 2 * CV_PI);
    return p;
}

// A grey camera on ribs or a knurl sees a frame of strands too, one a region, after the others.
// Drawn from a stream of their own, so that the scenes' other draws stay as they were.
inline void DrawStrands(Scene& s, cv::RNG rng)
{
    if (s.colour || (s.surface != Surface::Ribs && s.surface != Surface::Knurl))
        return;
    std::vector<PartSpec> strands;
    for (int k = 0; k < 6; ++k) strands.push_back(DrawStrand(rng));
    s.frames.push_back(strands);
}

// Everything of a scene from its seed.
inline Scene Draw(unsigned seed)
{
    // Neighbouring seeds must give unrelated scenes: the seed is scrambled before it starts the generator.
    uint64_t z = uint64_t(seed) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    cv::RNG rng(z ^ (z >> 31));
    Scene s;
    s.seed = seed;
    s.colour = Pick(rng, 4) == 0;
    static const Surface grey[] = {Surface::Photo, Surface::Flat, Surface::Ribs, Surface::Knurl};
    static const Surface colour[] = {Surface::Photo, Surface::Tinted, Surface::Colour};
    s.surface = s.colour ? colour[Pick(rng, 3)] : grey[Pick(rng, 4)];
    s.photo = Pick(rng, 3);
    s.period = rng.uniform(3, 9);
    s.contrast = rng.uniform(40, 81);
    s.across = Pick(rng, 2);
    s.grey = s.surface == Surface::Flat ? rng.uniform(50, 200) : rng.uniform(80, 170);
    if (s.surface == Surface::Tinted)
        s.tint = Tinted(0, rng.uniform(0.0, 360.0), rng.uniform(0, 7));
    else if (s.surface == Surface::Colour)
        s.tint = Tinted(0, rng.uniform(0.0, 360.0), rng.uniform(40, 120));
    DrawCondition(s, rng);
    s.direction = rng.uniform(0.0, 2 * CV_PI);
    s.camera = cv::Point(rng.uniform(0, int(kCameraW) - kFrameW), rng.uniform(0, int(kCameraH) - kFrameH));
    for (int k = 0; k < 6; ++k) s.regions.push_back(DrawRegion(s.colour, rng));
    for (int f = 0; f < kFramesPerScene; ++f) {
        std::vector<PartSpec> parts;
        for (int k = 0; k < 6; ++k) parts.push_back(DrawPart(s.colour, rng));
        s.frames.push_back(parts);
    }
    DrawStrands(s, cv::RNG(z ^ kStrandStream));
    return s;
}

struct Count
{
    long cleanAsked = 0, cleanNg = 0;      // clean regions the plain comparison is quiet on; Run NG
    long partsAsked = 0, partsMissed = 0;  // parts it finds where it is quiet; Run passed
    void add(const Count& o)
    {
        cleanAsked += o.cleanAsked, cleanNg += o.cleanNg, partsAsked += o.partsAsked, partsMissed += o.partsMissed;
    }
};

struct Tally
{
    Count all;
    // By shape, surface, condition, part, place and all three of shape, surface and condition.
    std::map<std::string, Count> by[6];
    std::vector<std::string> violations;
};

inline std::string SurfaceName(const Scene& s)
{
    return std::string(s.colour ? "colour " : "grey ") + Name(s.surface);
}
inline std::string ConditionName(const Scene& s)
{
    return std::string(Name(s.condition)) + (s.correction ? ", corrected" : "");
}

// What Run and the plain comparison made of one region in one frame.
struct Verdict
{
    bool ok;
    int value;
    double plain;
};

// Tallies region i of frame f of the scene: the clean frame's verdict and, where the plain
// comparison finds the part `p` at `at`, the part frame's; nothing where it is not quiet.
inline void Tell(const Scene& s, size_t f, size_t i, const Region& g, const PartSpec& p, cv::Rect at,
                 const Verdict& clean, const Verdict& part, Tally& t)
{
    if (clean.plain > kAlarmArea)
        return;  // the plain comparison asks nothing of this region in this frame
    Count c;
    ++c.cleanAsked;
    c.cleanNg += !clean.ok;
    // Similarity regions (a score of the whole region) are asked only for what washes a
    // colour out over 30 px or more.
    const bool asked = g.func == kFuncDefect ||
                       (p.kind >= Part::White && (std::min(at.width, at.height) >= 30 || p.kind == Part::Washed));
    const bool counted = !at.empty() && asked && part.plain > kAlarmArea;
    c.partsAsked += counted;
    c.partsMissed += counted && part.ok;
    char what[200];
    std::snprintf(what, sizeof what, "seed %u frame %zu region %zu: %s, %s, %s f%d", s.seed, f, i,
                  SurfaceName(s).c_str(), ConditionName(s).c_str(), Name(g.shape), g.func);
    if (!clean.ok)
        t.violations.push_back(std::string(what) + ": clean frame NG, plain area " + std::to_string(int(clean.plain)) +
                               ", value " + std::to_string(clean.value));
    if (counted && part.ok) {
        char missed[160];
        const bool levelled =
            p.kind == Part::Dark || p.kind == Part::Bright || p.kind == Part::Faint || p.kind == Part::Hue ||
            p.kind == Part::Strand;
        std::snprintf(missed, sizeof missed, ", %s part%s %d x %d px %s: passed, plain area %d, value %d", Name(p.kind),
                      levelled ? (" " + std::to_string(p.level)).c_str() : "", at.width, at.height, Name(p.place),
                      int(part.plain), part.value);
        t.violations.push_back(what + std::string(missed));
    }
    const std::string keys[6] = {
        Name(g.shape), SurfaceName(s), ConditionName(s),
        Name(p.kind),  Name(p.place),  std::string(Name(g.shape)) + " | " + SurfaceName(s) + " | " + ConditionName(s)};
    t.all.add(c);
    for (int k = 0; k < 6; ++k) t.by[k][keys[k]].add(c);
}

// Judges one scene: a rig taught on it, then per frame a clean frame and the same with the parts,
// each judged by Run and by the plain comparison; tallied into t.
inline void Evaluate(const Scene& s, const std::vector<cv::Mat>& photos, Tally& t)
{
    RecogRig rig(kFrameW, kFrameH, s.colour, 1);
    gisGrayHue = false;  // colour cameras judge the hue
    rig.para->motionCorrect = s.correction ? 0 : -1;
    rig.para->matchAngle = 0;
    rig.para->matchOffset = 8000;
    const std::vector<Region> regions = AddRegions(rig, s);
    const cv::Mat canvas = Canvas(s, photos), light = Light(s);
    // The ignored area's content changes from frame to frame.
    auto moving = [&](cv::Mat& picture, unsigned k) {
        for (const Region& g : regions)
            if (g.shape == Shape::BesideIgnored)
                picture(cv::Rect(g.box.br().x - kIgnoredWidth + int(k % 7) * 4, g.box.y + int(k % 5) * 12, 12, 30))
                    .setTo(cv::Scalar::all(k % 2 ? 250 : 5));
    };
    const unsigned noiseSeed = s.seed * 7919u + 1;
    cv::Mat taught = Render(s, canvas, light, true, noiseSeed);
    moving(taught, 1);
    rig.setTemplate(0, 0, taught);
    CammerRecong& rec = rig.build();
    // The template lit as the frame, as the plain comparison takes it region by region (a colour
    // camera's compares the colours).
    cv::Mat taughtF;
    taught.convertTo(taughtF, CV_32F);
    if (s.colour)
        cv::cvtColor(taughtF, taughtF, cv::COLOR_BGRA2BGR);
    const cv::Point shift = s.condition == Condition::Shift ? cv::Point(s.dx, s.dy) : cv::Point();
    std::vector<cv::Mat> lit(regions.size());
    for (size_t i = 0; i < regions.size(); ++i)
        Lit(taughtF(regions[i].box), light(regions[i].box + shift)).convertTo(lit[i], CV_8U);
    auto judge = [&](const cv::Mat& frame) {
        rig.setRaw(frame);
        rec.HomoTransShape(0);
        rec.ShapeMatch();
        rec.Run(0);
        std::vector<Verdict> v;
        for (size_t i = 0; i < regions.size(); ++i) {
            const cv::Mat seen = frame(regions[i].box + shift);
            v.push_back({rig.view->roiOk[0][i], rig.view->roiValue[0][i],
                         s.colour ? PlainColourArea(seen, lit[i], regions[i].judged)
                                  : PlainArea(seen, lit[i], regions[i].judged)});
        }
        return v;
    };
    for (size_t f = 0; f < s.frames.size(); ++f) {
        const unsigned frameSeed = noiseSeed + 101u * unsigned(f + 1);
        cv::Mat withParts = canvas.clone();
        std::vector<cv::Rect> at(regions.size());
        for (size_t i = 0; i < regions.size() && i < s.frames[f].size(); ++i) {
            if (s.frames[f][i].kind == Part::None)
                continue;
            at[i] = Where(regions[i], s.frames[f][i]);
            if (!at[i].empty())
                Paint(withParts, canvas, s, at[i] + cv::Point(kMargin, kMargin), s.frames[f][i]);
        }
        cv::Mat cleanFrame = Render(s, canvas, light, false, frameSeed),
                parted = Render(s, withParts, light, false, frameSeed);
        moving(cleanFrame, frameSeed), moving(parted, frameSeed);
        const std::vector<Verdict> clean = judge(cleanFrame), part = judge(parted);
        for (size_t i = 0; i < regions.size(); ++i)
            Tell(s, f, i, regions[i], i < s.frames[f].size() ? s.frames[f][i] : PartSpec(), at[i], clean[i], part[i],
                 t);
    }
    gisGrayHue = true;
}

inline double Share(long part, long whole)
{
    return whole ? 100.0 * part / whole : 0.0;
}

}  // namespace floorgen
