// Colour and hue: the matcher on hue pictures (angles on a 0..255 circle) and colour crops.
// Guarantees: where the references' and the crop's hue are coherent over 5 x 5 pixels, a pixel
// departs by the circular distance of the mean directions from every reference a pixel around;
// where hue jumps from pixel to pixel (near-grey colours under sensor noise) it weighs nothing,
// and only a clear hue appearing, a firm one vanishing, or the mean hues' resultants moving by
// more than twice their noise depart. A hue lost to clipping or crushing that a reference
// explains departs from nothing. Given the crop's colour, a hue departs only where its colour
// moved too (compression turns a faint tint's hue every way, not its colour), and the plain colour
// comparison (each pixel's chroma against the references' at the crop's light, clipped as the
// camera clips) is a floor as the grey one is: on firm colour, or as solid areas elsewhere.
// Colour cameras correct no position: a crop up to 3 pixels off is compared where it lies.
#include "graymatch_stages.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

using namespace MatchStages;

namespace {
constexpr int kHueWindow = 5;         // pixels over which hue coherence is measured
constexpr double kHueLevels = 255.0;  // the hue conversion's full circle
constexpr float kMinHueShare = 0.5f;  // windows with fewer pixels of a hue lose coherence
constexpr int kTopPairHue[3] = {42, 127, 212};  // two equal brightest channels (60, 180, 300 degrees), as both clipped
constexpr float kKnownHueShare = 0.6f;  // crop windows with fewer pixels that count: excused
constexpr int kClipReach = 200;   // a channel this bright may clip in a frame 1.18 times as bright (216, less noise)
constexpr int kFirmChroma = 20;   // a colour this far from grey keeps a clear hue under noise and light
constexpr int kCrushReach = 8;    // a channel this dark may be crushed to black
// Coherence ramps (the mean resultant length of 25 hue directions): random directions (grey
// pixels) stay below 0.55, a faint tint flips between 0.5 and 0.9 as the noise changes.
constexpr float kSomeLo = 0.30f, kSomeHi = 0.55f;    // "has some hue"
constexpr float kClearLo = 0.85f, kClearHi = 0.95f;  // "has a clear hue"
constexpr float kDirLo = 0.60f, kDirHi = 0.85f;      // direction weight
constexpr float kFadeLo = 0.45f, kFadeHi = 0.70f;    // strength: where noise fades out
constexpr float kResultantNoise = 2.0f;    // spreads of noise the mean hue may move by
constexpr float kChromaSine = 0.8660254f;  // sin 60 degrees: the chroma plane's second axis
constexpr int kHueReach = 3;    // movements (pixels each way) a hue crop is tried at (no position correction)
constexpr int kMinChromaSum = kMinRatioMid;  // darker unclipped channels give no usable ratio
constexpr int kChromaReach = 3;  // movements (pixels each way) the colour comparison is tried at
constexpr int kChromaSolid = 5;  // off firm colour, a departing area holds only this solid
}  // namespace

float HueRamp(float r, float lo, float hi)
{
    return std::clamp((r - lo) / (hi - lo), 0.0f, 1.0f);
}

float HueStrength(float coherence)
{
    return coherence * HueRamp(coherence, kFadeLo, kFadeHi);
}

float HueDirectionWeight(float coherence)
{
    return HueRamp(coherence, kDirLo, kDirHi);
}

cv::Mat HueField(const cv::Mat& hue, const cv::Mat& excuse)
{
    // Hue 0 is also what the conversion gives where all three channels are equal (grey, black,
    // and white clipped in all channels), so an exact 0 says nothing: it is left out of the
    // mean, and a window that is mostly such pixels has no coherent hue. A red part under
    // sensor noise gives 0 only at some pixels and keeps its direction from the others.
    // The hues of two equal brightest channels (white clipped in two of them) are counted apart:
    // the last channel says which pixels count.
    static const std::array<cv::Vec4f, 256> unit = [] {
        std::array<cv::Vec4f, 256> u{};
        for (int i = 1; i < 256; ++i) {
            const double a = 2 * CV_PI * i / kHueLevels;
            u[i] = cv::Vec4f(float(std::cos(a)), float(std::sin(a)), 1.0f, 1.0f);
        }
        return u;
    }();
    const bool all = excuse.empty() || excuse.size() != hue.size();
    cv::Mat mean(hue.size(), CV_32FC4);
    for (int y = 0; y < hue.rows; ++y) {
        const unsigned char* h = hue.ptr<unsigned char>(y);
        const unsigned char* e = all ? nullptr : excuse.ptr<unsigned char>(y);
        cv::Vec4f* f = mean.ptr<cv::Vec4f>(y);
        for (int x = 0; x < hue.cols; ++x) {
            f[x] = unit[h[x]];
            f[x][3] = HueLost(h[x]) && (all || e[x]) ? 0.0f : 1.0f;
        }
    }
    cv::blur(mean, mean, cv::Size(kHueWindow, kHueWindow), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::Mat field(hue.size(), CV_32FC4);
    for (int y = 0; y < hue.rows; ++y) {
        const cv::Vec4f* m = mean.ptr<cv::Vec4f>(y);
        cv::Vec4f* f = field.ptr<cv::Vec4f>(y);
        for (int x = 0; x < hue.cols; ++x) {
            const float r = std::sqrt(m[x][0] * m[x][0] + m[x][1] * m[x][1]);
            const float told = m[x][2];  // share of the window with a hue
            const float coherence = told > 1e-6f ? r / told * std::min(1.0f, told / kMinHueShare) : 0.0f;
            f[x] = r > 1e-6f ? cv::Vec4f(m[x][0] / r, m[x][1] / r, std::min(1.0f, coherence), m[x][3])
                             : cv::Vec4f(1, 0, 0, m[x][3]);
        }
    }
    return field;
}

namespace {
// B, G, R of an 8-bit colour picture (3 or 4 channels) as 32FC3.
cv::Mat ColourOf(const cv::Mat& colour)
{
    cv::Mat out;
    if (colour.channels() == 4)
        cv::cvtColor(colour, out, cv::COLOR_BGRA2BGR);
    else
        out = colour;
    out.convertTo(out, CV_32F);
    return out;
}

// The chroma (x, y) of a colour: the part of it brightness alone does not move (R - (G + B) / 2
// and (G - B) sqrt(3) / 2; its length does not depend on the channels' order).
inline cv::Vec2f Chroma(float b, float g, float r)
{
    return cv::Vec2f(r - 0.5f * (g + b), kChromaSine * (g - b));
}
}  // namespace

cv::Mat ChromaMeans(const cv::Mat& colour)
{
    // The plane perpendicular to grey (see Chroma): brightness alone moves a colour only along it.
    cv::Mat chroma;
    cv::transform(ColourOf(colour), chroma, cv::Matx23f(-0.5f, -0.5f, 1.0f, -kChromaSine, kChromaSine, 0.0f));
    cv::blur(chroma, chroma, cv::Size(kHueWindow, kHueWindow), cv::Point(-1, -1), cv::BORDER_REFLECT);
    return chroma;
}

namespace {
// The darkest and the brightest of each pixel's three colour channels.
void ChannelSpan(const cv::Mat& colour, cv::Mat& lo, cv::Mat& hi)
{
    cv::Mat planes[4];
    cv::split(colour, planes);
    cv::min(planes[0], planes[1], lo);
    cv::min(lo, planes[2], lo);
    cv::max(planes[0], planes[1], hi);
    cv::max(hi, planes[2], hi);
}
}  // namespace

void FirmColour(const cv::Mat& colour, cv::Mat& firm)
{
    cv::Mat lo, hi;
    ChannelSpan(colour, lo, hi);
    cv::compare(hi - lo, kFirmChroma, firm, cv::CMP_GE);
}

bool HueLost(unsigned char hue)
{
    return hue == 0 || hue == kTopPairHue[0] || hue == kTopPairHue[1] || hue == kTopPairHue[2];
}

void HueExcuse(cv::Mat& excuse, const cv::Mat& picture)
{
    if (excuse.size() != picture.size() || excuse.type() != CV_8UC1)
        excuse = cv::Mat::zeros(picture.size(), CV_8UC1);
    cv::Mat explained;
    if (picture.channels() == 1) {
        // A hue: where its window has lost its hue (not a pixel that happens to have two equal
        // channels, as a yellow under noise often has).
        cv::Mat share;
        cv::extractChannel(HueField(picture), share, 3);
        cv::compare(share, kKnownHueShare, explained, cv::CMP_LT);
    } else {
        // A colour: where every channel may clip at white, or is as dark as crushed.
        cv::Mat lo, hi, bright;
        ChannelSpan(picture, lo, hi);
        cv::compare(lo, kClipReach, bright, cv::CMP_GE);
        cv::compare(hi, kCrushReach, explained, cv::CMP_LE);
        cv::bitwise_or(explained, bright, explained);
    }
    cv::dilate(explained, explained, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3)));
    cv::bitwise_or(excuse, explained, excuse);
}

namespace {
// How far the mean hue of window a lies from that of window b beyond what sensor noise moves it:
// the distance of their resultants (direction times coherence), less kResultantNoise times its
// spread. The resultant grows with the colour's distance from grey without a step, so a clear
// hue appearing on a faint tint departs however faint, where the ramps of "some", "clear" and
// "direction" leave a gap. Noise moves each component of the resultant of n directions by
// about sqrt((1 - r^2) / 2n); between two clear hues the spread vanishes and this is their chord.
// More noise also shortens a faint tint's resultant while its direction stays: the reference's
// is shortened to the crop's length first, so only a stronger or another hue departs here.
float ResultantDeparture(const cv::Vec4f& a, const cv::Vec4f& b)
{
    const float weaker = b[2] > a[2] ? a[2] : b[2];
    const float dx = a[0] * a[2] - b[0] * weaker, dy = a[1] * a[2] - b[1] * weaker;
    const float spread = std::sqrt((2.0f - a[2] * a[2] - b[2] * b[2]) / (2.0f * kHueWindow * kHueWindow));
    return std::sqrt(dx * dx + dy * dy) - kResultantNoise * spread;
}

// Departure of hue pixel a from reference pixel b, in field units (1 = a whole clear hue,
// about 40 grey levels): the chord between clear directions, or a clear change of coherence.
// Where the crop's window is largely pixels whose hue is lost in a way the references explain
// (clipping of a near-white reference in a brighter frame, the reference's own lost hue: the
// hue then tells the clipping, not the colour), it departs from nothing.
float HueDeparture(const cv::Vec4f& a, const cv::Vec4f& b)
{
    if (a[3] < kKnownHueShare)
        return 0.0f;
    const float dx = a[0] - b[0], dy = a[1] - b[1];
    // Directions count where both are clear. Where the reference's colour is firm (b[3]: sensor
    // noise and brightness cannot blur it), the crop's direction counts as soon as it shows
    // some: a near-grey part there has a hue of its own, while a faint tint drowned by noise
    // (not firm) keeps the direction it had only on average.
    const float weight = std::max(std::min(HueDirectionWeight(a[2]), HueDirectionWeight(b[2])),
                                  b[3] * std::min(HueDirectionWeight(b[2]), HueRamp(a[2], kFadeLo, kFadeHi)));
    const float direction = weight * std::sqrt(dx * dx + dy * dy);
    const float appeared = HueRamp(a[2], kClearLo, kClearHi) - HueRamp(b[2], kSomeLo, kSomeHi);
    // A firm colour's hue stays clear under noise: there one that is no longer clear has gone.
    const float vanished = HueRamp(b[2], kClearLo, kClearHi) - (1.0f - b[3]) * HueRamp(a[2], kSomeLo, kSomeHi) -
                           b[3] * HueRamp(a[2], kDirLo, kDirHi);
    // The crop's window must show a hue of its own for its resultant to count (compression and
    // noise turn a faint tint's few coherent windows every way).
    return std::max({direction, appeared, vanished, HueDirectionWeight(a[2]) * ResultantDeparture(a, b)});
}

// The distance of the mean colours below which a hue departure is no change: the means' share
// of the tolerance, as the grey means depart (a part the plain comparison finds moves the mean of
// every window it covers a third of by that much).
float ChromaLimit(int limit)
{
    return float(std::max(kMinMeanLimit, limit / kMeanShare));
}

// Whether the colour around (x, y) of the crop (chroma means) lies farther than reach from that
// of every reference a pixel around at (the place the crop's pixel is held against); true where
// a reference's colour is unknown.
bool ColourChanged(const GrayMatch& m, const cv::Mat& chroma, int x, int y, float reach, cv::Point at)
{
    const cv::Vec2f c = chroma.at<cv::Vec2f>(y, x);
    for (const cv::Mat& ref : m.chromaMeans) {
        if (ref.empty())
            return true;
        for (int ry = std::max(0, at.y - 1); ry <= std::min(m.height - 1, at.y + 1); ++ry) {
            const cv::Vec2f* r = ref.ptr<cv::Vec2f>(ry);
            for (int rx = std::max(0, at.x - 1); rx <= std::min(m.width - 1, at.x + 1); ++rx) {
                const float dx = c[0] - r[rx][0], dy = c[1] - r[rx][1];
                if (dx * dx + dy * dy <= reach * reach)
                    return false;
            }
        }
    }
    return true;
}

// Colour cameras correct no position, so a crop a few pixels off its references turns the hue at
// every colour edge. The movement of up to kHueReach pixels each way that explains it: the one
// (nearest first) that leaves the fewest of the region's pixels whose colour (chroma means) lies
// off every reference's where the movement holds it, taken only where it at least halves them.
// Every movement is counted on the same pixels, the region's where each of them keeps the
// references on the crop, and at the crop's place: every reference pixel is one the camera saw
// (the outline too), so no movement carries a part off the region's mask.
cv::Point HueShift(const GrayMatch& m, const cv::Mat& chroma, float reach)
{
    const cv::Rect inner(kHueReach, kHueReach, m.width - 2 * kHueReach, m.height - 2 * kHueReach);
    if (inner.width <= 0 || inner.height <= 0)
        return cv::Point();
    for (const cv::Mat& ref : m.chromaMeans)
        if (ref.empty())
            return cv::Point();  // a reference's colour unknown: every colour departs from it
    const float far = reach * reach;
    // (Every second pixel of every second row: the means are smooth over 5 pixels.)
    auto count = [&](cv::Point d) {
        int n = 0;
        for (int y = inner.y; y < inner.br().y; y += 2) {
            const cv::Vec2f* c = chroma.ptr<cv::Vec2f>(y);
            const unsigned char* j = m.judged.ptr<unsigned char>(y);
            for (int x = inner.x; x < inner.br().x; x += 2) {
                if (!j[x])
                    continue;
                bool off = true;
                for (const cv::Mat& ref : m.chromaMeans) {
                    const cv::Vec2f& r = ref.at<cv::Vec2f>(y - d.y, x - d.x);
                    const float dx = c[x][0] - r[0], dy = c[x][1] - r[1];
                    if (dx * dx + dy * dy <= far) {
                        off = false;
                        break;
                    }
                }
                n += off;
            }
        }
        return n;
    };
    static const std::vector<cv::Point> nearFirst = NearestFirst(kHueReach);
    int fewest = count(cv::Point()) / kShiftGain + 1;  // a movement must leave fewer
    cv::Point shift;
    for (const cv::Point d : nearFirst) {
        const int n = fewest > 1 ? count(d) : INT_MAX;
        if (n < fewest)
            fewest = n, shift = d;
    }
    return shift;
}

// The crop's light against the first reference: the median ratio over the firm pixels (too few:
// over every judged pixel, a crop a pixel off gives ratios as often above one as below) of the
// sums of the channels the crop did not clip at white or crush to black, limited to what the grey
// band follows. A hue part keeps the grey of what it covers; a white or black one tells nothing.
double ChromaLight(const GrayMatch& m, const cv::Mat& live)
{
    static thread_local std::vector<float> ratios;
    ratios.clear();
    const cv::Mat& ref = m.chromaRefs.front();
    auto add = [&](const std::vector<cv::Point>& at) {
        for (const cv::Point& q : at) {
            const cv::Vec3f &r = ref.at<cv::Vec3f>(q), &l = live.at<cv::Vec3f>(q);
            float sr = 0, sl = 0;
            for (int c = 0; c < 3; ++c)
                if (l[c] > 0 && l[c] < 255)
                    sr += r[c], sl += l[c];
            if (sr >= kMinChromaSum)
                ratios.push_back(sl / sr);
        }
    };
    add(m.chromaFirm);
    if (ratios.size() < size_t(kMinRatioPixels))
        add(m.chromaLoose);
    if (ratios.size() < size_t(kMinRatioPixels))
        return 1.0;
    std::nth_element(ratios.begin(), ratios.begin() + long(ratios.size() / 2), ratios.end());
    return std::clamp(double(ratios[ratios.size() / 2]), kMinBrightness, kMaxBrightness);
}

// The pixels at (the firm ones by default) whose colour departs, compared with the crop moved by
// shift (the crop's pixel q + shift against the references' at q), at light k: beyond limit as
// the plain comparison rounds it. Counts those of the compared pixels; marks them at the crop's
// place when marks is given.
int ChromaDepartures(const GrayMatch& m, const cv::Mat& live, double k, int limit, cv::Point shift, int& compared,
                     cv::Mat* marks, const std::vector<cv::Point>* at = nullptr)
{
    const float far = float((limit + 0.5) * (limit + 0.5)), light = float(k);
    const cv::Rect inside(cv::Point(), live.size());
    int count = 0;
    compared = 0;
    for (const cv::Point& q : at ? *at : m.chromaFirm) {
        const cv::Point p = q + shift;
        if (!inside.contains(p))
            continue;
        ++compared;
        const cv::Vec3f& l = live.at<cv::Vec3f>(p);
        float best = far;
        for (const cv::Mat& ref : m.chromaRefs) {
            const cv::Vec3f& r = ref.at<cv::Vec3f>(q);
            const cv::Vec2f d = Chroma(l[0] - std::min(255.0f, light * r[0]), l[1] - std::min(255.0f, light * r[1]),
                                       l[2] - std::min(255.0f, light * r[2]));
            best = std::min(best, d[0] * d[0] + d[1] * d[1]);
        }
        if (best >= far) {
            ++count;
            if (marks)
                marks->at<unsigned char>(p) = 255;
        }
    }
    return count;
}
}  // namespace

namespace MatchStages {

// GrayMatch::Match of a hue crop: departures beyond limit grey levels (a chord of limit + 1
// levels between clear hues), from every reference a pixel around. With the crop's colour, a
// pixel departs only where its colour also moved off every reference's (see ChromaMeans).
void MatchHue(const GrayMatch& m, const cv::Mat& image, const cv::Mat& colour, int limit, cv::Mat& diff)
{
    const cv::Mat field = HueField(image, m.hueExcuse);
    const bool gated = !m.chromaMeans.empty() && colour.depth() == CV_8U && colour.channels() >= 3 &&
                       colour.cols == m.width && colour.rows == m.height;
    const cv::Mat chroma = gated ? ChromaMeans(colour) : cv::Mat();
    const float reach = ChromaLimit(limit);
    const float far = float(2 * std::sin((limit + 1) * CV_PI / kHueLevels));
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    // The crop's pixel p against the references at p - shift, where they lie on the crop: the
    // references never saw what a movement brings in at the crop's edge.
    auto mark = [&](cv::Point shift) {
        diff = cv::Mat::zeros(m.height, m.width, CV_8UC1);
        const cv::Rect compared = cv::Rect(0, 0, m.width, m.height) & (cv::Rect(0, 0, m.width, m.height) + shift);
        for (int y = compared.y; y < compared.br().y; ++y) {
            const cv::Vec4f* f = field.ptr<cv::Vec4f>(y);
            const unsigned char* j = m.judged.ptr<unsigned char>(y);
            unsigned char* out = diff.ptr<unsigned char>(y);
            const int qy = y - shift.y;
            for (int x = compared.x; x < compared.br().x; ++x) {
                if (!j[x])
                    continue;
                const int qx = x - shift.x;
                float best = far;
                // Like the grey band, a reference one pixel away is accepted.
                for (const cv::Mat& ref : m.hueRefs) {
                    for (int ry = std::max(0, qy - 1); ry <= std::min(m.height - 1, qy + 1) && best >= far; ++ry) {
                        const cv::Vec4f* r = ref.ptr<cv::Vec4f>(ry);
                        for (int rx = std::max(0, qx - 1); rx <= std::min(m.width - 1, qx + 1) && best >= far; ++rx)
                            best = std::min(best, HueDeparture(f[x], r[rx]));
                    }
                }
                if (best >= far && (!gated || ColourChanged(m, chroma, x, y, reach, cv::Point(qx, qy))))
                    out[x] = 255;
            }
        }
        // Lone noise pixels dropped.
        cv::morphologyEx(diff, diff, cv::MORPH_OPEN, square);
    };
    mark(cv::Point());
    if (gated && cv::countNonZero(diff) > 0) {
        const cv::Point shift = HueShift(m, chroma, reach);
        if (shift != cv::Point())
            mark(shift);
    }
    // The 5 x 5 coherence window and the one-pixel allowance leave only the core of a changed
    // area departing: give its lost rim back.
    cv::dilate(diff, diff, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kHueWindow, kHueWindow)));
    cv::bitwise_and(diff, m.judged, diff);
}

// The plain colour comparison's floor (hue models given the crop's colour): a pixel whose chroma
// lies farther than the tolerance from the references' at the crop's light departs, whatever its
// hue (a stronger colour of the reference's own hue on a faint tint, a white or black part on a
// colour), as a plain comparison opened by a 3 x 3 cross marks it. An area counts where it is
// found reliably: on pixels whose references' colour is firm (see GrayMatch::chromaFirm), or as a
// solid area (kChromaSolid square) elsewhere, where a movement of a fraction of a pixel, blur and
// compression depart only in lines along the texture's edges; it is then marked whole, with the
// comparison's departures that hold together with it. The crop is compared where it lies, or at
// the movement of up to kChromaReach pixels that at least halves the departures (colour cameras
// correct no position).
void MatchChroma(const GrayMatch& m, const cv::Mat& colour, int limit, cv::Mat& diff)
{
    if (m.chromaFirm.empty() && m.chromaLoose.empty())
        return;
    if (colour.depth() != CV_8U || colour.channels() < 3 || colour.cols != m.width || colour.rows != m.height)
        return;
    const cv::Mat live = ColourOf(colour);
    const double k = ChromaLight(m, live);
    static thread_local cv::Mat raw, seeds, solid, marks, labels;
    static const cv::Mat cross = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    static const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kChromaSolid, kChromaSolid));
    int compared = 0, here = 0;
    // Every pixel's departures at shift into raw, the areas found reliably into seeds.
    auto departing = [&](cv::Point shift) {
        raw = cv::Mat::zeros(m.height, m.width, CV_8UC1);
        int n = 0;
        here = ChromaDepartures(m, live, k, limit, shift, compared, &raw);
        cv::morphologyEx(raw, seeds, cv::MORPH_OPEN, cross);
        here += ChromaDepartures(m, live, k, limit, shift, n, &raw, &m.chromaLoose);
        compared += n;
        cv::morphologyEx(raw, solid, cv::MORPH_OPEN, square);
        cv::bitwise_or(seeds, solid, seeds);
        cv::bitwise_and(seeds, m.judged, seeds);
        return cv::countNonZero(seeds) > 0;
    };
    // Departures that open to nothing (noise, edges) need no movement to explain them.
    if (!departing(cv::Point()))
        return;
    cv::Point shift;
    const double still = double(here) / std::max(1, compared);
    double best = still;
    for (int dy = -kChromaReach; dy <= kChromaReach; ++dy)
        for (int dx = -kChromaReach; dx <= kChromaReach; ++dx) {
            int n = 0, l = 0;
            const int there = ChromaDepartures(m, live, k, limit, cv::Point(dx, dy), n, nullptr) +
                              ChromaDepartures(m, live, k, limit, cv::Point(dx, dy), l, nullptr, &m.chromaLoose);
            const double share = double(there) / std::max(1, n + l);
            if (n + l > 0 && share * kShiftGain <= still && share < best)
                best = share, shift = cv::Point(dx, dy);
        }
    if (shift != cv::Point() && !departing(shift))
        return;
    cv::morphologyEx(raw, marks, cv::MORPH_OPEN, cross);
    cv::bitwise_and(marks, m.judged, marks);
    cv::bitwise_or(marks, seeds, marks);
    const int n = cv::connectedComponents(marks, labels, 8, CV_32S);
    std::vector<unsigned char> keep(size_t(n), 0);
    for (int y = 0; y < m.height; ++y) {
        const unsigned char* f = seeds.ptr<unsigned char>(y);
        const int* l = labels.ptr<int>(y);
        for (int x = 0; x < m.width; ++x)
            if (f[x])
                keep[size_t(l[x])] = 1;
    }
    for (int y = 0; y < m.height; ++y) {
        const int* l = labels.ptr<int>(y);
        unsigned char* d = diff.ptr<unsigned char>(y);
        for (int x = 0; x < m.width; ++x)
            if (l[x] > 0 && keep[size_t(l[x])])
                d[x] = 255;
    }
}

// The plain colour comparison is reliable where a whole pixel of movement changes the references'
// 3 x 3 mean chroma by at most a share of the tolerance (chromaFirm); the other judged pixels are
// chromaLoose.
void SortChroma(GrayMatch& model)
{
    const float step = float(model.tolerance / model.gain) / kFirmStepShare;
    for (int y = 0; y < model.height; ++y)
        for (int x = 0; x < model.width; ++x)
            if (model.judged.at<unsigned char>(y, x) && model.chromaStep.at<float>(y, x) <= step)
                model.chromaFirm.emplace_back(x, y);
            else if (model.judged.at<unsigned char>(y, x))
                model.chromaLoose.emplace_back(x, y);
}

}  // namespace MatchStages

// Where every channel of the reference lies within a brighter frame's reach of white (kClipReach)
// or near black (kCrushReach), a lost hue is excused there and a pixel around; where its colour
// lies kFirmChroma or more from grey it is firm, and a hue there that is no longer clear, or a
// faint one of another direction, departs. The colour also feeds the plain colour comparison.
void GrayMatch::AddColour(const cv::Mat& colour)
{
    if (!circular || colour.depth() != CV_8U || colour.channels() < 3 || colour.cols != width ||
        colour.rows != height || hueRefs.empty())
        return;
    HueExcuse(hueExcuse, colour);
    // The share of each window whose colour is firm, in the reference field's last channel.
    cv::Mat firm;
    FirmColour(colour, firm);
    firm.convertTo(firm, CV_32F, 1.0 / 255);
    cv::blur(firm, firm, cv::Size(kHueWindow, kHueWindow), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::insertChannel(firm, hueRefs.back(), 3);
    // The plain colour comparison is reliable where a whole pixel of movement changes the chroma
    // by little (see SortChroma).
    chromaRefs.push_back(ColourOf(colour));
    // (Measured on the 3 x 3 mean: sensor noise is no movement.)
    cv::Mat mean;
    cv::blur(chromaRefs.back(), mean, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::Mat step(mean.size(), CV_32F, cv::Scalar(0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const cv::Vec3f& h = mean.at<cv::Vec3f>(y, x);
            float most = 0;
            for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny)
                for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
                    const cv::Vec3f& n = mean.at<cv::Vec3f>(ny, nx);
                    const cv::Vec2f d = Chroma(n[0] - h[0], n[1] - h[1], n[2] - h[2]);
                    most = std::max(most, d[0] * d[0] + d[1] * d[1]);
                }
            step.at<float>(y, x) = std::sqrt(most);
        }
    if (chromaStep.empty())
        chromaStep = step;
    else
        cv::max(chromaStep, step, chromaStep);
    chromaMeans.resize(hueRefs.size());
    chromaMeans.back() = ChromaMeans(colour);
}
