// Shape locator: exhaustive correlation search at the top of a pyramid, hill-climbing refinement below.
#include "findshape.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QDebug>

#include <opencv2/imgproc.hpp>

namespace {
constexpr int kMinPatternSide = 12;  // the top level keeps the pattern at least this big
constexpr int kMinPoints = 24;       // sample points a level needs
constexpr int kMinTopPoints = 64;    // sample points the top search keeps however large the image
constexpr size_t kMaxPoints = 2000;  // sample points kept per level
constexpr double kMinInside = 0.8;   // share of points that must land inside the image
constexpr double kDefaultMinScore = 0.5;
constexpr int kCandidates = 6;          // top-level poses refined
constexpr int kTopStride = 2;           // the top level's positions tried (pyramid levels are smooth)
constexpr size_t kCandidateHead = 256;  // best top-level poses they are usually picked from
constexpr size_t kDescending = 3;       // candidates taken one level down the pyramid at most
constexpr double kRivalScore = 0.15;    // and none this far below the best
constexpr double kNearRival = 0.02;     // the same further down
constexpr int kMaxClimbSteps = 40;
constexpr int kMinImageSide = 4;
constexpr int kMaxLayers = 10;
constexpr double kMaxAngleStep = 10.0;
constexpr double kMinAngleStep = 0.02;
constexpr int kPolishSteps = 8;
constexpr double kPolishDone = 0.01;  // pixels: a smaller step ends the polish
// A find must stand out: the correlation this many pixels around the found pose (at its level)
// stays below it by kDistinct, or by kShortfalls times what the find lacks of a perfect fit
// (1 - score) where that is less, which is only above a score of 0.95. On a featureless picture
// (a polished surface, a faint or a steep gradient) every place fits about as well and the best
// one stands out only by the noise, which takes as much from its own fit: the places around
// come within about a tenth of its shortfall. A small region on a smooth part of a photograph
// fits a live picture almost perfectly while its correlation 8 px around falls by only a few
// hundredths, mostly by several times its shortfall: twice it keeps nine in ten of those finds
// and refuses most of the few that land off their place.
constexpr double kDistinctRadius = 8.0;
constexpr int kDistinctDirections = 16;
constexpr double kDistinct = 0.1;
constexpr double kShortfalls = 2.0;
// The level a taught place is judged at (a quarter size): the noise of one picture, which
// alone makes a place on a featureless picture fit its own picture best, is averaged away.
constexpr int kQuietLevel = 2;
// A picture that fits itself almost perfectly at a peak a few pixels off its place repeats (ribs,
// a knurl, tiles) and its periods, up to this far, are looked for around the taught place.
constexpr int kRepeatReach = 12;
constexpr double kRepeatDistance = 2.5;  // pixels: nearer is the place itself
// What a period off may lack of a perfect fit: a blurred knurl's lacks 0.01, a small
// region's on a photograph a second window off 0.014.
constexpr double kRepeatShortfall = 0.012;

struct Pose
{
    double x = 0;
    double y = 0;
    double angle = 0;
    double score = -2;
};

struct Sums
{
    double n = 0, st = 0, sv = 0, stt = 0, svv = 0, stv = 0;
    void add(double t, double v)
    {
        n += 1;
        st += t;
        sv += v;
        stt += t * t;
        svv += v * v;
        stv += t * v;
    }
    double ncc(size_t total) const
    {
        if (n < kMinInside * total || n < 2)
            return -2;
        const double vt = stt - st * st / n, vv = svv - sv * sv / n;
        if (vt <= 1e-6 || vv <= 1e-6)
            return 0;
        return (stv - st * sv / n) / std::sqrt(vt * vv);
    }
};

double Rad(double deg)
{
    return deg * CV_PI / 180.0;
}

// Weights of the pixels before, at and after the nearest one for a sample f (-0.5..0.5) off it.
// Like linear interpolation they sum to 1 and place the sample at f, but the sum of their
// squares is 1/2 at every f: the sensor noise of a sample is the same wherever it falls, so no
// place between the pixels fits better by averaging the noise away. Linear interpolation keeps
// all of a pixel's noise on it and a quarter of it half-way between two (half and half per
// axis): on a smooth picture a turn of a few tenths of a degree, which moves every point off its
// pixel, won by that alone and was met by a shift a pixel off. At f = 0.5 these weights are the
// linear ones (0, 1/2, 1/2); at f = 0 they are (1/6, 2/3, 1/6).
void EvenWeights(double f, double w[3])
{
    const double a = (4 - std::sqrt(std::max(0.0, 4 - 12 * f * f))) / 12;
    w[0] = a - f / 2;
    w[1] = 1 - 2 * a;
    w[2] = a + f / 2;
}

// Grey value at (px, py) with EvenWeights across x and across y; the caller keeps the point
// 1.5 pixels inside.
double EvenSample(const cv::Mat& img, double px, double py)
{
    const int nx = cvRound(px), ny = cvRound(py);
    double wx[3], wy[3];
    EvenWeights(px - nx, wx);
    EvenWeights(py - ny, wy);
    double sum = 0;
    for (int j = 0; j < 3; ++j) {
        const unsigned char* r = img.ptr<unsigned char>(ny - 1 + j) + nx - 1;
        sum += wy[j] * (wx[0] * r[0] + wx[1] * r[1] + wx[2] * r[2]);
    }
    return sum;
}

// Correlation of the level's pattern placed with its centre at (cx, cy), turned by angle, each
// point read by sample where it lies at least edge pixels inside the picture.
template <typename Sample>
double ScoreWith(const cv::Mat& img, const FindShape::Level& level, double cx, double cy, double angle, double edge,
                 Sample sample)
{
    const double c = std::cos(Rad(angle)), s = std::sin(Rad(angle));
    const double maxX = img.cols - 1 - edge, maxY = img.rows - 1 - edge;
    Sums sums;
    for (size_t i = 0; i < level.offsets.size(); ++i) {
        const cv::Point2f& o = level.offsets[i];
        const double px = cx + c * o.x - s * o.y, py = cy + s * o.x + c * o.y;
        if (px < edge || py < edge || px > maxX || py > maxY)
            continue;
        sums.add(level.values[i], sample(px, py));
    }
    return sums.ncc(level.offsets.size());
}

// ScorePose with EvenSample.
double EvenScore(const cv::Mat& img, const FindShape::Level& level, double cx, double cy, double angle)
{
    return ScoreWith(img, level, cx, cy, angle, 1.5, [&img](double px, double py) { return EvenSample(img, px, py); });
}

// Correlation of the level's pattern placed with its centre at (cx, cy), turned by angle.
double ScorePose(const cv::Mat& img, const FindShape::Level& level, double cx, double cy, double angle)
{
    return ScoreWith(img, level, cx, cy, angle, 0, [&img](double px, double py) {
        const int x0 = static_cast<int>(px), y0 = static_cast<int>(py);
        const int x1 = std::min(x0 + 1, img.cols - 1), y1 = std::min(y0 + 1, img.rows - 1);
        const double fx = px - x0, fy = py - y0;
        const unsigned char* r0 = img.ptr<unsigned char>(y0);
        const unsigned char* r1 = img.ptr<unsigned char>(y1);
        const double top = r0[x0] + (r0[x1] - r0[x0]) * fx;
        const double bottom = r1[x0] + (r1[x1] - r1[x0]) * fx;
        return top + (bottom - top) * fy;
    });
}

// Every integer position and listed angle; returns the best poses, at least 2 pixels apart.
std::vector<Pose> SearchTop(const cv::Mat& img, const FindShape::Level& level, const std::vector<double>& angles,
                            int stride)
{
    const size_t n = level.offsets.size();
    std::vector<int> t(n);
    long long st = 0, stt = 0;
    for (size_t i = 0; i < n; ++i) {
        t[i] = int(level.values[i]);
        st += t[i];
        stt += t[i] * t[i];
    }
    const double templVar = double(stt) - double(st) * st / n;
    std::vector<Pose> all;
    std::vector<cv::Point> rotated(n);
    std::vector<ptrdiff_t> linear(n);
    for (double angle : angles) {
        const double c = std::cos(Rad(angle)), s = std::sin(Rad(angle));
        cv::Point lo(INT_MAX, INT_MAX), hi(INT_MIN, INT_MIN);
        for (size_t i = 0; i < n; ++i) {
            const cv::Point2f& o = level.offsets[i];
            rotated[i] = cv::Point(cvRound(c * o.x - s * o.y), cvRound(s * o.x + c * o.y));
            linear[i] = ptrdiff_t(rotated[i].y) * ptrdiff_t(img.step) + rotated[i].x;
            lo = cv::Point(std::min(lo.x, rotated[i].x), std::min(lo.y, rotated[i].y));
            hi = cv::Point(std::max(hi.x, rotated[i].x), std::max(hi.y, rotated[i].y));
        }
        const double boxArea = double(hi.x - lo.x + 1) * (hi.y - lo.y + 1);
        for (int y = 0; y < img.rows; y += stride) {
            for (int x = 0; x < img.cols; x += stride) {
                double score;
                if (x + lo.x >= 0 && y + lo.y >= 0 && x + hi.x < img.cols && y + hi.y < img.rows) {
                    // Wholly inside: integer sums, no bounds tests.
                    const unsigned char* base = img.ptr<unsigned char>(y) + x;
                    long long sv = 0, svv = 0, stv = 0;
                    for (size_t i = 0; i < n; ++i) {
                        const int v = base[linear[i]];
                        sv += v;
                        svv += v * v;
                        stv += t[i] * v;
                    }
                    const double vv = double(svv) - double(sv) * sv / n;
                    score = vv > 1e-6 && templVar > 1e-6 ? (stv - double(st) * sv / n) / std::sqrt(templVar * vv) : 0;
                } else {
                    // Too little of the pattern's box on the image to reach the inside share.
                    const int w = std::min(img.cols - 1, x + hi.x) - std::max(0, x + lo.x) + 1;
                    const int h = std::min(img.rows - 1, y + hi.y) - std::max(0, y + lo.y) + 1;
                    if (w <= 0 || h <= 0 || double(w) * h < kMinInside * boxArea)
                        continue;
                    Sums sums;
                    for (size_t i = 0; i < n; ++i) {
                        const int px = x + rotated[i].x, py = y + rotated[i].y;
                        if (px < 0 || py < 0 || px >= img.cols || py >= img.rows)
                            continue;
                        sums.add(t[i], img.ptr<unsigned char>(py)[px]);
                    }
                    score = sums.ncc(n);
                }
                if (score > 0)
                    all.push_back({double(x), double(y), angle, score});
            }
        }
    }
    // The candidates come from the best few hundred poses; only when those crowd into fewer
    // than kCandidates places is the whole list ordered.
    const auto better = [](const Pose& a, const Pose& b) { return a.score > b.score; };
    const size_t head = std::min(all.size(), kCandidateHead);
    std::partial_sort(all.begin(), all.begin() + head, all.end(), better);
    std::vector<Pose> picked;
    auto pick = [&](size_t end) {
        picked.clear();
        for (size_t k = 0; k < end && int(picked.size()) < kCandidates; ++k) {
            const Pose& p = all[k];
            const bool near = std::any_of(picked.begin(), picked.end(), [&](const Pose& q) {
                return std::abs(q.x - p.x) <= 2 && std::abs(q.y - p.y) <= 2;
            });
            if (!near)
                picked.push_back(p);
        }
    };
    pick(head);
    if (int(picked.size()) < kCandidates && head < all.size()) {
        std::sort(all.begin() + head, all.end(), better);
        pick(all.size());
    }
    return picked;
}

// Orders the poses best first and keeps those that may still win a level further down, one of
// each place they climbed to (a pixel and an angle step around): the best, and up to kDescending - 1 more no more than margin below it.
void KeepRivals(std::vector<Pose>& poses, double margin, double angleStep)
{
    std::sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.score > b.score; });
    std::vector<Pose> kept;
    for (const Pose& p : poses) {
        const bool same = std::any_of(kept.begin(), kept.end(), [&](const Pose& q) {
            return std::abs(q.x - p.x) <= 1 && std::abs(q.y - p.y) <= 1 && std::abs(q.angle - p.angle) <= angleStep;
        });
        if (!same && kept.size() < kDescending && p.score >= poses.front().score - margin)
            kept.push_back(p);
    }
    poses.swap(kept);
}

// Moves the pose one pixel or one angle step at a time while the score improves. On the way
// down the pyramid: the best of the eight positions around at its angle, then the better of the
// angles beside at that position (a third of the poses of trying every combination). joint (the
// last polish at full resolution): every combination of a pixel and an angle step around, so
// that a ridge of position and angle together does not stop it short of the peak.
void Climb(const cv::Mat& img, const FindShape::Level& level, Pose& pose, double angleStep, int range,
           bool joint = false)
{
    // Poses scored once are not scored again: each step looks at most of the last one's.
    std::vector<Pose> seen;
    auto scoreAt = [&](double x, double y, double angle) {
        for (const Pose& p : seen)
            if (p.x == x && p.y == y && p.angle == angle)
                return p.score;
        seen.push_back({x, y, angle, ScorePose(img, level, x, y, angle)});
        return seen.back().score;
    };
    pose.score = scoreAt(pose.x, pose.y, pose.angle);
    const int turns = range > 0 ? 1 : 0;
    for (int step = 0; step < kMaxClimbSteps; ++step) {
        Pose best = pose;
        for (int da = joint ? -turns : 0; da <= (joint ? turns : 0); ++da) {
            const double angle = pose.angle + da * angleStep;
            if (std::abs(angle) > range)
                continue;
            for (int k = 0; k < 9; ++k) {
                const double dx = k % 3 - 1, dy = k / 3 - 1;
                if (dx != 0 || dy != 0 || da) {
                    const double score = scoreAt(pose.x + dx, pose.y + dy, angle);
                    if (score > best.score)
                        best = {pose.x + dx, pose.y + dy, angle, score};
                }
            }
        }
        for (int da = -turns; !joint && da <= turns; da += 2) {
            const double angle = best.angle + da * angleStep;
            if (std::abs(angle) > range)
                continue;
            const double score = scoreAt(best.x, best.y, angle);
            if (score > best.score)
                best = {best.x, best.y, angle, score};
        }
        if (best.score <= pose.score)
            return;
        pose = best;
    }
}

// Grey value at (px, py) by bilinear interpolation; the caller keeps the point a pixel inside.
double Sample(const cv::Mat& img, double px, double py)
{
    const int x0 = static_cast<int>(px), y0 = static_cast<int>(py);
    const double fx = px - x0, fy = py - y0;
    const unsigned char* r0 = img.ptr<unsigned char>(y0) + x0;
    const unsigned char* r1 = img.ptr<unsigned char>(y0 + 1) + x0;
    const double top = r0[0] + (r0[1] - r0[0]) * fx;
    return top + (r1[0] + (r1[1] - r1[0]) * fx - top) * fy;
}

// Gauss-Newton steps on position and turn together towards the correlation's peak (the least
// squares fit of the pattern to the picture under a gain and an offset has its minimum there).
// Steps of one pose at a time stop short where the points lie off the centre: a turn then moves
// them like a shift, and position and turn climb only together along a narrow ridge. A step is
// kept only when it raises the correlation.
// even: samples with EvenSample and scores with EvenScore, else linear interpolation.
void Polish(const cv::Mat& img, const FindShape::Level& level, Pose& pose, int range, bool even = false)
{
    const auto sample = even ? EvenSample : Sample;
    const auto scoreAt = even ? EvenScore : ScorePose;
    const double inside = even ? 2.5 : 1;  // the samples of the gradient a pixel off stay inside
    const size_t n = level.offsets.size();
    std::vector<double> v(n), gx(n), gy(n);
    std::vector<char> in(n);
    for (int step = 0; step < kPolishSteps; ++step) {
        const double c = std::cos(Rad(pose.angle)), s = std::sin(Rad(pose.angle));
        double m = 0, sv = 0, st = 0, svv = 0, stv = 0;
        for (size_t i = 0; i < n; ++i) {
            const cv::Point2f& o = level.offsets[i];
            const double px = pose.x + c * o.x - s * o.y, py = pose.y + s * o.x + c * o.y;
            in[i] = px >= inside && py >= inside && px < img.cols - 1 - inside && py < img.rows - 1 - inside;
            if (!in[i])
                continue;
            v[i] = sample(img, px, py);
            gx[i] = (sample(img, px + 1, py) - sample(img, px - 1, py)) / 2;
            gy[i] = (sample(img, px, py + 1) - sample(img, px, py - 1)) / 2;
            const double t = level.values[i];
            m += 1, sv += v[i], st += t, svv += v[i] * v[i], stv += t * v[i];
        }
        const double varV = svv - sv * sv / std::max(m, 1.0);
        if (m < kMinInside * n || varV <= 1e-6)
            return;
        // The pattern as the picture's gain and offset see it: t ~ gain v + offset.
        const double gain = (stv - st * sv / m) / varV, offset = (st - gain * sv) / m;
        const int unknowns = range > 0 ? 3 : 2;
        cv::Matx33d h = cv::Matx33d::zeros();
        cv::Vec3d g(0, 0, 0);
        for (size_t i = 0; i < n; ++i) {
            if (!in[i])
                continue;
            const cv::Point2f& o = level.offsets[i];
            const cv::Vec3d j(gain * gx[i], gain * gy[i],
                              gain * (gx[i] * (-s * o.x - c * o.y) + gy[i] * (c * o.x - s * o.y)));
            const double e = level.values[i] - gain * v[i] - offset;
            for (int a = 0; a < unknowns; ++a) {
                g[a] += j[a] * e;
                for (int b = 0; b < unknowns; ++b) h(a, b) += j[a] * j[b];
            }
        }
        if (unknowns == 2)
            h(2, 2) = 1;
        cv::Vec3d d;
        if (!cv::solve(h, g, d, cv::DECOMP_CHOLESKY))
            return;
        // A step that overshoots (the fit is linear only near the peak) is halved.
        Pose next;
        for (int half = 0; half < 3 && next.score <= pose.score; ++half, d *= 0.5) {
            const double angle = std::clamp(pose.angle + d[2] * 180.0 / CV_PI, -double(range), double(range));
            next = {pose.x + d[0], pose.y + d[1], angle, scoreAt(img, level, pose.x + d[0], pose.y + d[1], angle)};
        }
        if (next.score <= pose.score)
            return;
        const double moved = std::abs(next.x - pose.x) + std::abs(next.y - pose.y);
        pose = next;
        if (moved < kPolishDone)
            return;
    }
}

// Whether pose scores at least margin above the poses kDistinctRadius around it.
bool Distinct(const cv::Mat& img, const FindShape::Level& level, const Pose& pose, double margin)
{
    for (int k = 0; k < kDistinctDirections; ++k) {
        const double a = 2 * CV_PI * k / kDistinctDirections;
        const double around = ScorePose(img, level, pose.x + kDistinctRadius * std::cos(a),
                                        pose.y + kDistinctRadius * std::sin(a), pose.angle);
        if (around > pose.score - margin)
            return false;
    }
    return true;
}

// Sample points of a level: the strongest edges, then an even spread of the rest.
FindShape::Level MakeLevel(const cv::Mat& templ, const cv::Mat& keep, double centreX, double centreY)
{
    const size_t maxPoints = kMaxPoints;
    cv::Mat gx, gy;
    cv::Sobel(templ, gx, CV_32F, 1, 0);
    cv::Sobel(templ, gy, CV_32F, 0, 1);
    struct Candidate
    {
        float across, down;  // gradient strength along x and along y
        int x, y;
    };
    std::vector<Candidate> cands;
    for (int y = 0; y < templ.rows; ++y)
        for (int x = 0; x < templ.cols; ++x)
            if (keep.at<unsigned char>(y, x))
                cands.push_back({std::abs(gx.at<float>(y, x)), std::abs(gy.at<float>(y, x)), x, y});
    if (cands.size() > maxPoints) {
        // The strongest edges across x and, apart, across y: a pattern of streaks along one
        // direction still places the points that fix the position along it.
        const size_t quarter = maxPoints / 4;
        std::nth_element(cands.begin(), cands.begin() + quarter, cands.end(),
                         [](const Candidate& a, const Candidate& b) { return a.across > b.across; });
        std::nth_element(cands.begin() + quarter, cands.begin() + 2 * quarter, cands.end(),
                         [](const Candidate& a, const Candidate& b) { return a.down > b.down; });
        const size_t strong = 2 * quarter;
        std::vector<Candidate> chosen(cands.begin(), cands.begin() + strong);
        const size_t rest = cands.size() - strong, want = maxPoints - strong;
        for (size_t k = 0; k < want; ++k) chosen.push_back(cands[strong + k * rest / want]);
        cands.swap(chosen);
    }
    FindShape::Level level;
    double radius = 1;
    for (const Candidate& c : cands) {
        const cv::Point2f o(float(c.x - centreX), float(c.y - centreY));
        level.offsets.push_back(o);
        level.values.push_back(templ.at<unsigned char>(c.y, c.x));
        radius = std::max(radius, std::hypot(double(o.x), double(o.y)));
    }
    level.angleStep = float(std::clamp(180.0 / CV_PI / radius, kMinAngleStep, kMaxAngleStep));
    return level;
}

bool IsFlat(const FindShape::Level& level)
{
    if (level.values.empty())
        return true;
    const auto [lo, hi] = std::minmax_element(level.values.begin(), level.values.end());
    return *hi - *lo < 2;
}
}  // namespace

bool FindShape::CreateShape(const cv::Mat& templ, double minScore, int finestLevel, int angleRange, int centerX,
                            int centerY, bool, int maskThreshold, cv::Mat mask, int accuracy, int layers)
{
    levels.clear();
    if (templ.empty() || templ.type() != CV_8UC1) {
        qWarning() << "FindShape: no 8-bit pattern to teach";
        return false;
    }
    cv::Mat keep;
    if (!mask.empty() && mask.type() == CV_8UC1 && mask.size() == templ.size())
        cv::compare(mask, std::clamp(maskThreshold, 1, 255), keep, cv::CMP_GE);
    else
        keep = cv::Mat(templ.size(), CV_8UC1, cv::Scalar(255));

    range = std::clamp(angleRange, 0, 180);
    halvings = std::clamp(accuracy, 0, 10) / 2;
    centreX = centerX;
    centreY = centerY;
    minimum = minScore > 0 ? minScore : kDefaultMinScore;

    const double cx0 = templ.cols / 2, cy0 = templ.rows / 2;
    wantedTop = std::clamp(layers, 0, kMaxLayers);
    // Every level the pattern's size allows is kept: Find may search above wantedTop.
    const int maxLayers = kMaxLayers;
    cv::Mat t = templ, k = keep;
    const cv::Mat edge = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    for (int l = 0; l <= maxLayers; ++l) {
        if (l > 0) {
            if (std::min(t.cols, t.rows) / 2 < kMinPatternSide)
                break;
            cv::pyrDown(t, t);
            cv::Mat shrunk;
            cv::resize(keep, shrunk, t.size(), 0, 0, cv::INTER_AREA);
            cv::compare(shrunk, 250, k, cv::CMP_GE);
        }
        // Blurring mixes in what lies outside the pattern: keep points off its edge.
        cv::Mat inner;
        cv::erode(k, inner, edge, cv::Point(-1, -1), l > 0 ? 1 : 0, cv::BORDER_CONSTANT, cv::Scalar(0));
        const double scale = 1 << l;
        Level level = MakeLevel(t, inner, cx0 / scale, cy0 / scale);
        if (level.offsets.size() < size_t(kMinPoints) || IsFlat(level))
            break;
        levels.push_back(std::move(level));
    }
    finest = std::clamp(finestLevel, 0, std::max(0, int(levels.size()) - 1));
    if (levels.empty()) {
        qWarning() << "FindShape: the pattern is flat or its mask keeps too few pixels";
        return false;
    }
    return true;
}

bool FindShape::Find(cv::Mat& image, int minScorePercent, int* x, int* y, double* score, double* angle)
{
    if (!IsValid() || image.empty() || image.type() != CV_8UC1)
        return false;
    std::vector<cv::Mat> pyr{image};
    while (int(pyr.size()) < int(levels.size()) && std::min(pyr.back().cols, pyr.back().rows) / 2 >= kMinImageSide) {
        cv::Mat next;
        cv::pyrDown(pyr.back(), next);
        pyr.push_back(next);
    }
    auto anglesAt = [&](int level) {
        std::vector<double> angles{0.0};
        if (range > 0) {
            const int n = int(std::ceil(2.0 * range / levels[level].angleStep)) + 1;
            angles.clear();
            for (int i = 0; i < n; ++i) angles.push_back(-range + 2.0 * range * i / (n - 1));
        }
        return angles;
    };
    // The top level asked for, or a coarser one while its exhaustive search would cost more
    // than the budget (about 10 ms on one core): a finer top level costs seconds without
    // finding better poses, since the refinement below reaches full resolution anyway.
    auto searchCost = [&](int level) {
        return double(pyr[level].total()) * double(levels[level].offsets.size()) * double(anglesAt(level).size());
    };
    const int coarsest = int(pyr.size()) - 1;
    int top = std::min(wantedTop, coarsest);
    while (top < coarsest && searchCost(top) > topBudget) ++top;
    const int stop = std::min(finest, top);
    const std::vector<double> angles = anglesAt(top);
    // Every top-level candidate climbs and goes down the pyramid while it stays near the best:
    // on a coarse level a repeating pattern (a grid, a chessboard, rows of text) fits a place a
    // period off, turned, as well as or better than the true one, which only the finer levels
    // tell apart.
    // Where even the coarsest level costs more (a search over the whole picture), its
    // exhaustive search takes an even share of the points that fits the budget; the climb on
    // that level and below uses them all.
    FindShape::Level thin;
    const FindShape::Level* searched = &levels[top];
    const double cost = searchCost(top);
    const size_t points = levels[top].offsets.size();
    if (cost > topBudget) {
        const size_t want = std::max(size_t(kMinTopPoints), size_t(double(points) * topBudget / cost));
        if (want < points) {
            for (size_t i = 0; i < want; ++i) {
                thin.offsets.push_back(levels[top].offsets[i * points / want]);
                thin.values.push_back(levels[top].values[i * points / want]);
            }
            thin.angleStep = levels[top].angleStep;
            searched = &thin;
        }
    }
    std::vector<Pose> poses = SearchTop(pyr[top], *searched, angles, kTopStride);
    for (Pose& pose : poses) Climb(pyr[top], levels[top], pose, levels[top].angleStep, range);
    // The place where nothing moved goes down as well, whatever it scores on the coarse levels.
    Pose unmoved;
    if (hasOrigin) {
        unmoved = {(centreX - origin.x) / double(1 << top), (centreY - origin.y) / double(1 << top), 0.0};
        Climb(pyr[top], levels[top], unmoved, levels[top].angleStep, range);
    }
    for (int l = top - 1; l >= stop; --l) {
        // A candidate that climbed onto the unmoved place goes down with it, once.
        if (hasOrigin)
            poses.erase(std::remove_if(poses.begin(), poses.end(),
                                       [&](const Pose& p) {
                                           return p.x == unmoved.x && p.y == unmoved.y && p.angle == unmoved.angle;
                                       }),
                        poses.end());
        // Below the coarsest levels the scores part: only near rivals still go down.
        KeepRivals(poses, l == top - 1 ? kRivalScore : kNearRival, levels[l + 1].angleStep);
        if (hasOrigin)
            poses.push_back(unmoved);
        for (Pose& pose : poses) {
            pose.x *= 2;
            pose.y *= 2;
            Climb(pyr[l], levels[l], pose, levels[l].angleStep, range);
        }
        if (hasOrigin) {
            unmoved = poses.back();
            poses.pop_back();
        }
    }
    Pose best = unmoved;
    for (const Pose& p : poses)
        if (p.score > best.score)
            best = p;
    // The last steps at the finest level try every combination of position and turn, then the
    // polish finds the peak between the pixels: a part a fraction of a pixel off its whole-pixel
    // place would otherwise be met by a slightly wrong turn and, where the points lie off the
    // centre, that turn by a shift rounded to the wrong pixel. The position is then given to the
    // nearest pixel.
    double step = levels[stop].angleStep;
    for (int h = 0; h < halvings && range > 0 && best.score > -2; ++h) {
        step /= 2;
        Climb(pyr[stop], levels[stop], best, step, range, true);
    }
    if (best.score > -2)
        Polish(pyr[stop], levels[stop], best, range);
    const double needed = minScorePercent > 0 ? minScorePercent / 100.0 : minimum;
    if (best.score < needed ||
        !Distinct(pyr[stop], levels[stop], best, std::min(kDistinct, kShortfalls * (1 - best.score))))
        return false;
    // Whether there is a find is judged as above; the pose it gives is polished once more with
    // samples whose noise is the same wherever they fall, so that no pose wins by falling between
    // the pixels.
    Pose fit = best;
    fit.score = EvenScore(pyr[stop], levels[stop], fit.x, fit.y, fit.angle);
    Polish(pyr[stop], levels[stop], fit, range, true);
    const double scale = 1 << stop;
    *x = centreX - cvRound(fit.x * scale);
    *y = centreY - cvRound(fit.y * scale);
    *angle = fit.angle;
    if (score)
        *score = best.score;
    return true;
}

bool FindShape::StandsOut(const cv::Mat& image, int x, int y, const cv::Vec3d* rival) const
{
    if (!IsValid() || image.empty() || image.type() != CV_8UC1)
        return false;
    const int want = std::min(int(levels.size()) - 1, kQuietLevel);
    cv::Mat img = image;
    int l = 0;
    for (; l < want && std::min(img.cols, img.rows) / 2 >= kMinImageSide; ++l) {
        cv::Mat next;
        cv::pyrDown(img, next);
        img = next;
    }
    const double scale = 1 << l;
    Pose place{(centreX - x) / scale, (centreY - y) / scale, 0.0};
    place.score = ScorePose(img, levels[l], place.x, place.y, 0.0);
    // The taught picture fits itself perfectly: only the fixed margin tells anything here.
    if (place.score < minimum || !Distinct(img, levels[l], place, kDistinct))
        return false;
    return !rival || ScorePose(img, levels[l], (centreX - (*rival)[0]) / scale, (centreY - (*rival)[1]) / scale,
                               (*rival)[2]) <= place.score - kDistinct;
}

bool FindShape::Repeats(const cv::Mat& image, int x, int y) const
{
    if (!IsValid() || image.empty() || image.type() != CV_8UC1)
        return false;
    // The scores around the place, a pixel beyond the reach so that every place within it can
    // be told a peak: a smooth picture fits almost as well a few pixels off, but falls away
    // from its place all the way; a repeating one rises again to a peak a period off.
    const int side = 2 * kRepeatReach + 3, c = kRepeatReach + 1;
    cv::Mat_<double> scores(side, side);
    for (int dy = 0; dy < side; ++dy)
        for (int dx = 0; dx < side; ++dx)
            scores(dy, dx) = ScorePose(image, levels[0], centreX - x + dx - c, centreY - y + dy - c, 0.0);
    for (int dy = 1; dy < side - 1; ++dy)
        for (int dx = 1; dx < side - 1; ++dx) {
            const double here = scores(dy, dx);
            if (std::hypot(dx - c, dy - c) < kRepeatDistance || here < 1.0 - kRepeatShortfall)
                continue;
            bool peak = true;
            for (int v = -1; v <= 1 && peak; ++v)
                for (int u = -1; u <= 1 && peak; ++u) peak = (u == 0 && v == 0) || scores(dy + v, dx + u) <= here;
            if (peak)
                return true;
        }
    return false;
}
