// The floor: what a plain comparison finds where it is reliable departs, whatever the band made of it.
// Guarantees: each pixel against the references' own value at its place (at the region's
// alignment and light, beyond the tolerance, opened by a 3 x 3 cross) is marked where that plain
// comparison is reliable. Reliable, decided at training per pixel: firm where a whole pixel of
// movement changes the references by at most a third of the tolerance, marked where the pixel
// also lies off every reference value within 3 pixels (a shake the band took in is no part);
// textured elsewhere (fine ribs, knurls, edges), marked as the plain comparison marks them, down
// to its own opening, wherever the crop sits still: at most half of those pixels depart, no
// movement of up to 2 pixels leaves clearly fewer, and no slight drift or turn (a fraction of a
// pixel, fitted on the references' slopes) leaves at most half of them. A drifting crop departs
// in lines along the texture's edges, a part as a whole: there only solid areas (7 x 7) count,
// and strips of ribs joined across gaps of a pixel or two. Sitting still or not, marked where
// the crop is smooth though the references were textured (a smooth part of a fine texture's mean
// grey 6 pixels wide or more), unless the crop keeps no texture anywhere (a blur).
#include "graymatch_stages.h"

#include <algorithm>
#include <cstring>

#include <opencv2/imgproc.hpp>

namespace MatchStages {

namespace {
constexpr int kNearReach = 3;   // a movement nothing found leaves a firm pixel within the references this far around
constexpr int kNearShare = 2;   // give or take tolerance / this for noise
constexpr int kStillGain = 2;   // a movement leaving 2 / 3 of the departures or fewer explains them
constexpr int kStillReach = 2;  // the movements a textured crop is tried at to tell whether it sits still
constexpr int kSolidSpan = 7;   // a drifting crop's mark on texture holds only within a square this wide of marks
constexpr int kJoinedShare = 2;  // joined strips hold where the marks elsewhere are at most 1 in this many of theirs
constexpr int kFlatSpan = 4;    // a smooth area holds a square this wide: a turn leaves strips of at most 3 pixels
constexpr int kFlatShare = 2;   // smooth: the crop's 3 x 3 range at most 1 in this many of the references'
constexpr int kTextureKeptShare = 4;  // a crop keeping the texture's range on 1 in this many textured pixels is no blur
constexpr int kTraceShare = 2;  // a crop whose values follow the references' by this share keeps the texture's trace
constexpr int kDriftRounds = 3;         // rounds of the drift's fit: each reaches a pixel further on a fine texture
constexpr double kDriftReach = 1.5;     // pixels: a crop farther off moved, as the whole-pixel movements tell
constexpr double kDriftTurn = 0.035;    // radians (2 degrees): a steeper turn is no slight one
constexpr double kDriftDamping = 0.01;  // the fit's steps damped by this share of each term's own weight
constexpr double kDriftSettled = 0.02;  // pixels: a drift, or a round of its fit, moving no pixel farther is none
constexpr int kDriftShare = 2;          // a drift leaving at most 1 in this many departures on texture explains them

// Whether the crop sits at its alignment on its textured pixels (255 in textured, count of
// them), where departing of them depart from own (the pixels against the references' own values
// as the match compares them): at most 1 in kStillShare of them departs, and no movement of up
// to kStillReach pixels leaves clearly fewer departing (a part departs wherever the crop lies; a
// crop a pixel or two off that the band took in departs less moved back; noise departs as much
// anywhere on a texture that fits itself moved along). judged (none: every pixel), the pixels the
// references judged where own has them (moved by shift): own takes anything in elsewhere.
bool SitsStill(const Comparison& own, const cv::Mat& textured, int departing, int count,
               const cv::Mat* judged = nullptr, cv::Point shift = cv::Point())
{
    if (departing * kStillShare > count)
        return false;
    if (departing < kStillMargin)
        return true;
    static thread_local cv::Mat kept;
    Comparison c = own;
    c.only = &textured;
    const cv::Size size = own.up->size();
    for (int dy = -kStillReach; dy <= kStillReach; ++dy)
        for (int dx = -kStillReach; dx <= kStillReach; ++dx) {
            const cv::Point d(dx, dy);
            const cv::Rect ref = Overlap(size, d), at = ref + d;
            if (d == cv::Point() || ref.empty())
                continue;
            // Both counted on the pixels the movement keeps on the crop and on the references'
            // mask: one that carries a part half outside a region over its outline, where the
            // references take in anything, explains nothing.
            if (judged) {
                MoveMask(*judged, shift + d, kept);
                cv::bitwise_and(kept, textured, kept);
                c.only = &kept;
            }
            const int here = Departures(c, at, at);
            const int clearlyFewer = std::min(here * kStillGain / (kStillGain + 1), here - kStillMargin);
            if (clearlyFewer > 0 && Departures(c, at, ref, 1, clearlyFewer) < clearlyFewer)
                return false;
        }
    return true;
}

// The marks (the departures from the references' own values) within an area where the crop is
// smooth though the references were textured, into out: its 3 x 3 range at most 1 in kFlatShare
// of the band's (the references' own 3 x 3 range, moved by shift) where that range exceeds lim
// (only there can a smooth part depart at all), holding a square kFlatSpan wide, and a pixel
// around (the part's rim). Pixels where the references' range is within lim (the middle of a
// coarser texture's cell, a smooth spot) say nothing: gaps of them up to 2 pixels wide between
// smooth pixels are smooth too, and so is a single pixel all of whose neighbours are (noise). A
// smooth part of the texture's mean grey 6 pixels wide or more is
// such an area, and there its marks count as the plain comparison has them, holes that noise
// leaves included; a crop turned or moved keeps the texture's range, displaced, so that the
// references' range exceeds its own at most along a strip 3 pixels wide beside each edge (the
// references' 3 x 3 range holds 3 pixels about an edge), which the square does not fit.
// SmoothPixels finds the smooth pixels (and counts the textured ones where the crop keeps the
// texture's range), FlatMarks the marks in their areas.

struct Smooth
{
    cv::Mat flat;  // 255 where the crop's range is smooth and the references' range says so
    cv::Mat said;  // 255 where the references' range exceeds lim
    int kept = 0;  // the textured pixels where the crop keeps the texture's range
};

// The first step of FlatMarks: which pixels are smooth, which say so, and how many textured ones
// keep the texture's range.
void SmoothPixels(const GrayMatch& m, const cv::Mat& crop, cv::Point shift, unsigned char lim, const cv::Mat& textured,
                  Smooth& into)
{
    static thread_local cv::Mat high, low;
    static thread_local std::vector<unsigned char> bandRange;  // a row's, under the crop as it moved
    cv::Mat& smooth = into.flat;
    cv::Mat& informative = into.said;
    int& kept = into.kept;
    crop.copyTo(high);
    Dilate3(high);
    // The least around each pixel, taken where the crop lies in a larger picture over what lies
    // around it there too (as the general erosion reads a picture's part).
    ErodeInPicture(crop, low, [](cv::Mat& m) { Square<true>(m, 3); });
    smooth.create(crop.size(), CV_8UC1);
    informative.create(crop.size(), CV_8UC1);
    bandRange.resize(size_t(crop.cols));
    const cv::Rect ref = Overlap(crop.size(), shift), at = ref + shift;
    kept = 0;  // the textured pixels that are not smooth
    static_assert(kFlatShare == 2, "range * kFlatShare <= band is range <= band - range");
#if CV_SIMD
    LaneCount counted;
#endif
    for (int y = 0; y < crop.rows; ++y) {
        unsigned char* band = bandRange.data();
        std::memset(band, 0, bandRange.size());  // (0 where the movement uncovers the crop)
        if (!ref.empty() && y >= at.y && y < at.br().y) {
            const unsigned char* lo = m.band.low.ptr<unsigned char>(y - shift.y) + ref.x;
            const unsigned char* hi = m.band.high.ptr<unsigned char>(y - shift.y) + ref.x;
            int x = 0;
#if CV_SIMD
            for (; x + cv::v_uint8::nlanes <= ref.width; x += cv::v_uint8::nlanes)
                cv::v_store(band + at.x + x, cv::vx_load(hi + x) - cv::vx_load(lo + x));  // (saturates at 0)
#endif
            for (; x < ref.width; ++x) band[at.x + x] = static_cast<unsigned char>(std::max(0, hi[x] - lo[x]));
        }
        const unsigned char* h = high.ptr<unsigned char>(y);
        const unsigned char* l = low.ptr<unsigned char>(y);
        const unsigned char* t = textured.ptr<unsigned char>(y);
        unsigned char* sm = smooth.ptr<unsigned char>(y);
        unsigned char* inf = informative.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        const cv::v_uint8 vlim = cv::vx_setall_u8(lim);
        for (; x + cv::v_uint8::nlanes <= crop.cols; x += cv::v_uint8::nlanes) {
            const cv::v_uint8 range = cv::vx_load(h + x) - cv::vx_load(l + x), b = cv::vx_load(band + x);
            const cv::v_uint8 flat = range <= b - range, said = b > vlim;  // (u8 subtraction saturates at 0)
            cv::v_store(inf + x, said);
            cv::v_store(sm + x, flat & said);
            counted.add(cv::vx_load(t + x) & ~flat);
        }
#endif
        for (; x < crop.cols; ++x) {
            const bool flat = (h[x] - l[x]) * kFlatShare <= band[x];
            kept += t[x] && !flat;
            inf[x] = band[x] > lim ? 255 : 0;
            sm[x] = flat && band[x] > lim ? 255 : 0;
        }
    }
#if CV_SIMD
    kept += counted.sum();
#endif
}

void FlatMarks(const Smooth& smooth, const cv::Mat& marks, cv::Mat& out)
{
    static thread_local cv::Mat low, area;
    // The marks are all that is kept: only their surroundings are worked on, as far as what follows
    // reads (a closing and a ring, the even opening, the rim), each as on a picture of its own
    // there, which differs from the whole crop's only that far from its edge.
    out.create(marks.size(), CV_8UC1);
    out.setTo(0);
    const cv::Rect box = MarksBox(marks);
    if (box.empty())
        return;
    const int reach = 2 + kFlatSpan + 1;
    const cv::Rect window = cv::Rect(box.x - reach, box.y - reach, box.width + 2 * reach, box.height + 2 * reach) &
                            cv::Rect(cv::Point(), marks.size());
    const cv::Mat flat = smooth.flat(window), said = smooth.said(window);
    // Gaps of pixels that say nothing are closed; of the others only a pixel all of whose 8
    // neighbours are smooth (noise): two edges' strips a pixel or two apart stay apart.
    flat.copyTo(area);
    Square<false>(area, 3);
    Square<true>(area, 3);
    flat.copyTo(low);
    ErodeRing(low);
    PerPixel(area, flat, said, [](auto closed, auto f, auto s) { return (closed & ~s) | f; });
    PerPixel(area, low, low, [](auto a, auto ring, auto) { return a | ring; });
    // (An even square has no centre: the opening keeps every square that fits where it lies.)
    OpenSquare(area, kFlatSpan);
    Dilate3(area);
    cv::Mat part = out(window);
    area.copyTo(part);
    PerPixel(part, marks(window), marks(window), [](auto a, auto mk, auto) { return a & mk; });
}

// Whether the crop (own: its levels against the references' own values, as the match moved them)
// keeps no trace of the texture on the textured pixels (255 in textured): the correlation of its
// levels with the middle of the references' own values there is below 1 / kTraceShare.
bool KeepsNoTrace(const Comparison& own, const cv::Mat& textured)
{
    cv::Mat mid, level;
    cv::addWeighted(*own.low, 0.5, *own.high, 0.5, 0, mid, CV_32F);
    own.up->convertTo(level, CV_32F);
    cv::Scalar levelMean, levelSpread, midMean, midSpread;
    cv::meanStdDev(level, levelMean, levelSpread, textured);
    cv::meanStdDev(mid, midMean, midSpread, textured);
    if (midSpread[0] <= 0 || levelSpread[0] <= 0)
        return midSpread[0] > 0;
    level -= levelMean[0];
    mid -= midMean[0];
    const double covariance = cv::mean(level.mul(mid), textured)[0];
    return covariance * kTraceShare < levelSpread[0] * midSpread[0];
}

// The marks (the plain comparison's, over every judged pixel) in the solid areas of texture
// their strips make joined across gaps of a pixel or two, into joined (see kJoinedShare): on
// texture (GrayMatch::textureSpan: the textured pixels and the firm ones between them), strips
// that survive the plain comparison's 3 x 3 opening, closed, then opened kSolidSpan wide; none
// where the marks elsewhere are more than 1 in kJoinedShare of those in them. solidMarks: the
// marks already in solid areas.
void JoinedMarks(const cv::Mat& marks, const cv::Mat& texture, const cv::Mat& solidMarks, cv::Mat& joined)
{
    static thread_local cv::Mat area;
    // A joined square holds at least half its pixels marked, none of them in a solid area yet.
    joined.create(marks.size(), CV_8UC1);
    int fresh = 0;
#if CV_SIMD
    LaneCount counted;
#endif
    for (int y = 0; y < marks.rows; ++y) {
        const unsigned char* m = marks.ptr<unsigned char>(y);
        const unsigned char* t = texture.ptr<unsigned char>(y);
        const unsigned char* solid = solidMarks.ptr<unsigned char>(y);
        unsigned char* j = joined.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        for (; x + cv::v_uint8::nlanes <= marks.cols; x += cv::v_uint8::nlanes) {
            const cv::v_uint8 both = cv::vx_load(m + x) & cv::vx_load(t + x);
            cv::v_store(j + x, both);
            counted.add(both & ~cv::vx_load(solid + x));
        }
#endif
        for (; x < marks.cols; ++x) {
            j[x] = m[x] & t[x];
            fresh += (j[x] & ~solid[x] & 0xFF) != 0;
        }
    }
#if CV_SIMD
    fresh += counted.sum();
#endif
    if (fresh * 2 < kSolidSpan * kSolidSpan) {
        joined.setTo(0);
        return;
    }
    // Only the joined marks' surroundings are worked on: what follows keeps nothing beyond a pixel
    // outside their box and spreads that by half a solid square, so the part around that, all
    // empty, reads as it does in the whole crop.
    const cv::Rect box = MarksBox(joined);
    const int reach = kSolidSpan / 2 + 2;
    const cv::Rect window = cv::Rect(box.x - reach, box.y - reach, box.width + 2 * reach, box.height + 2 * reach) &
                            cv::Rect(cv::Point(), marks.size());
    cv::Mat inWindow = joined(window);
    inWindow.copyTo(area);
    OpenCross(area);
    Square<false>(area, 3);  // closed by the 3 x 3 square
    Square<true>(area, 3);
    OpenSquare(area, kSolidSpan);
    PerPixel(inWindow, area, area, [](auto j, auto a, auto) { return j & a; });
    const int inside = cv::countNonZero(inWindow);
    if (inside == 0)
        return;
    Square<false>(area, kSolidSpan);
    // The marks elsewhere: all of them less those in the spread squares.
    cv::Mat within = marks(window).clone();
    PerPixel(within, area, area, [](auto m, auto a, auto) { return m & a; });
    if ((cv::countNonZero(marks) - cv::countNonZero(within)) * kJoinedShare > inside)
        joined.setTo(0);
}

// Whether every pixel set in marks is set in diff (8-bit pictures of one size, 0 or 255).
bool Within(const cv::Mat& marks, const cv::Mat& diff)
{
    for (int y = 0; y < marks.rows; ++y) {
        const unsigned char* m = marks.ptr<unsigned char>(y);
        const unsigned char* d = diff.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        cv::v_uint8 outside = cv::vx_setzero_u8();
        for (; x + cv::v_uint8::nlanes <= marks.cols; x += cv::v_uint8::nlanes)
            outside = outside | (cv::vx_load(m + x) & ~cv::vx_load(d + x));
        if (cv::v_check_any(outside))
            return false;
#endif
        for (; x < marks.cols; ++x)
            if (m[x] & ~d[x] & 0xFF)
                return false;
    }
    return true;
}

// Marks in firmMarks the pixels departing (255 in departing) that lie within the range of the
// references' values within kNearReach pixels yet off each of those values by more than the
// tolerance (own: the crop against the references' own values): a part of a texture's mean grey
// on its flat stretches, which a shake that nothing found would never make, since it brings one of
// those values.
void OffEveryValue(const Comparison& own, const cv::Mat& departing, cv::Mat& firmMarks)
{
    const int lim = own.lim, ceiling = own.ceiling;
    const cv::Size size = departing.size();
    for (int y = 0; y < size.height; ++y) {
        const unsigned char* d = departing.ptr<unsigned char>(y);
        unsigned char* f = firmMarks.ptr<unsigned char>(y);
        for (int x = 0; x < size.width; ++x) {
            if (!d[x] || f[x])
                continue;
            const int up = own.up->at<unsigned char>(y, x),
                      down = std::min<int>(own.down->at<unsigned char>(y, x), ceiling);
            bool off = true;
            for (int v = std::max(0, y - kNearReach); off && v <= std::min(size.height - 1, y + kNearReach); ++v) {
                const unsigned char* lo = own.low->ptr<unsigned char>(v);
                const unsigned char* hi = own.high->ptr<unsigned char>(v);
                for (int u = std::max(0, x - kNearReach); u <= std::min(size.width - 1, x + kNearReach); ++u)
                    if (std::max(lo[u] - up, down - hi[u]) <= lim) {
                        off = false;
                        break;
                    }
            }
            if (off)
                f[x] = 255;
        }
    }
}

// The firm pixels' departures of firmOwn (own, or own at the frame's light) into firmMarks, where
// the pixel lies off every reference value within kNearReach pixels as well, with the references'
// masks moved by shift. Returns the references' textured mask at the crop's place.
const cv::Mat* FirmMarks(const GrayMatch& m, Comparison firmOwn, cv::Point shift, cv::Mat& firmMarks)
{
    static thread_local cv::Mat firm, textured, nearLow, nearHigh, departing;
    const cv::Mat* firmAt = &m.firm;
    const cv::Mat* texturedAt = &m.textured;
    Comparison offNear = firmOwn;
    offNear.lim = static_cast<unsigned char>(firmOwn.lim / kNearShare);
    offNear.low = &m.nearby.low, offNear.high = &m.nearby.high;
    if (shift != cv::Point()) {
        MoveMask(m.firm, shift, firm);
        MoveMask(m.textured, shift, textured);
        MoveMask(m.nearby.low, shift, nearLow);
        MoveMask(m.nearby.high, shift, nearHigh);
        // 255 where ~textured & ~firm
        PerPixel(nearHigh, textured, firm, [](auto h, auto t, auto f) { return h | (~t & ~f); });
        firmAt = &firm, texturedAt = &textured;
        offNear.low = &nearLow, offNear.high = &nearHigh;
    }
    firmOwn.only = firmAt;
    firmOwn.also = nullptr;
    if (MarkDepartures(firmOwn, departing) == 0) {
        departing.copyTo(firmMarks);
        return texturedAt;
    }
    Comparison offAround = firmOwn;
    offAround.also = &offNear;
    MarkDepartures(offAround, firmMarks);
    OffEveryValue(firmOwn, departing, firmMarks);
    return texturedAt;
}

// The marks on texture a crop that sits still keeps, two ways: the plain comparison's own (every
// mark on the textured pixels), or those in solid areas alone, kSolidSpan wide, where a slight
// drift of the crop explains the rest (see Drifts); both with the joined strips (JoinedMarks).
struct TextureMarks
{
    struct Kept
    {
        cv::Mat marks;       // on the textured pixels (and the firm ones the joined strips span)
        cv::Mat opened;      // those the plain comparison's opening keeps (the solid areas: all)
        int onTextured = 0;  // of them on textured pixels
        int marked = 0;      // of them and the smooth areas' marks
    };
    Kept plain, solid;
    cv::Mat adds;  // the plain comparison's marks on texture beyond the solid areas and diff (empty: none)
};

// The marks (own's departures over every judged pixel) on texture (the references' textured mask
// at the crop's place, moved by shift), sorted into out; flatMarks: the smooth areas' marks.
void SortTextureMarks(const GrayMatch& m, const cv::Mat& marks, const cv::Mat& textured, cv::Point shift,
                      bool anyOnTexture, const cv::Mat& flatMarks, const cv::Mat& diff, TextureMarks& out)
{
    static thread_local cv::Mat span, joined;
    cv::Mat& opened = out.plain.opened;
    cv::bitwise_and(marks, textured, out.plain.marks);
    out.plain.marks.copyTo(out.solid.marks);
    OpenSquare(out.solid.marks, kSolidSpan);
    if (anyOnTexture) {
        if (shift != cv::Point())
            MoveMask(m.textureSpan, shift, span);
        JoinedMarks(marks, shift == cv::Point() ? m.textureSpan : span, out.solid.marks, joined);
        cv::bitwise_or(out.solid.marks, joined, out.solid.marks);
        cv::bitwise_or(out.plain.marks, joined, out.plain.marks);
    }
    out.solid.onTextured = CountBoth(out.solid.marks, textured);
    out.solid.marked = anyOnTexture ? cv::countNonZero(out.solid.marks | flatMarks) : 0;
    out.plain.marks.copyTo(opened);
    OpenCross(opened);
    out.plain.onTextured = CountBoth(opened, textured);
    out.plain.marked = anyOnTexture ? cv::countNonZero(opened | flatMarks) : 0;
    out.solid.opened = out.solid.marks;
    out.adds.create(marks.size(), CV_8UC1);
    PerPixel(out.adds, opened, out.solid.marks, [](auto, auto o, auto solid) { return o & ~solid; });
    PerPixel(out.adds, diff, diff, [](auto a, auto d, auto) { return a & ~d; });
    if (cv::countNonZero(out.adds) == 0)
        out.adds.release();
}

// A slight movement of the crop against its references: by (x, y) pixels and turned by `turn`
// radians about the crop's middle.
struct Drift
{
    double x = 0, y = 0, turn = 0;
};

// The map from a crop pixel to where its content lay on the references, drifted by d.
cv::Matx23d DriftMap(const Drift& d, cv::Size size)
{
    const double cx = (size.width - 1) / 2.0, cy = (size.height - 1) / 2.0;
    const double c = std::cos(d.turn), s = std::sin(d.turn);
    // q = R(-turn) (p - middle - (x, y)) + middle
    const double ux = -cx - d.x, uy = -cy - d.y;
    return cv::Matx23d(c, s, c * ux + s * uy + cx, -s, c, -s * ux + c * uy + cy);
}

// One row's terms of the drift's normal equations (see DriftStep): [xx, xy, xt, yy, yt, tt] into
// n and toward [x, y, t] into b, over x0 .. x1 - 1; r, up and down: the references' middle value
// drifted, on the row and the rows above and below; v the crop's levels, o the pixels fitted; dy
// and cx: the row's and the middle's place.
void AddDriftRow(const float* r, const float* up, const float* down, const unsigned char* v, const unsigned char* o,
                 int x0, int x1, double dy, double cx, double (&n)[6], double (&b)[3])
{
    int x = x0;
#if CV_SIMD
    // (In lanes of floats, summed up for the row: at most a crop's width of terms each.)
    cv::v_float32 s[9];
    for (cv::v_float32& t : s) t = cv::vx_setzero_f32();
    float offsets[cv::v_float32::nlanes];
    for (int k = 0; k < cv::v_float32::nlanes; ++k) offsets[k] = float(k);
    const cv::v_float32 half = cv::vx_setall_f32(0.5f), rowAt = cv::vx_setall_f32(float(dy));
    const cv::v_float32 lane = cv::vx_load(offsets), unit = cv::vx_setall_f32(1.0f / 255);
    for (; x + cv::v_float32::nlanes <= x1; x += cv::v_float32::nlanes) {
        const cv::v_float32 w = cv::v_cvt_f32(cv::v_reinterpret_as_s32(cv::vx_load_expand_q(o + x))) * unit;
        const cv::v_float32 gx = (cv::vx_load(r + x + 1) - cv::vx_load(r + x - 1)) * half * w;
        const cv::v_float32 gy = (cv::vx_load(down + x) - cv::vx_load(up + x)) * half * w;
        const cv::v_float32 level = cv::v_cvt_f32(cv::v_reinterpret_as_s32(cv::vx_load_expand_q(v + x)));
        const cv::v_float32 e = (level - cv::vx_load(r + x)) * w;
        const cv::v_float32 at = cv::vx_setall_f32(float(x - cx)) + lane;
        const cv::v_float32 jt = gx * rowAt - gy * at;  // (the terms x and y are -gx and -gy)
        s[0] += gx * gx, s[1] += gx * gy, s[2] -= gx * jt, s[3] += gy * gy, s[4] -= gy * jt, s[5] += jt * jt;
        s[6] -= gx * e, s[7] -= gy * e, s[8] += jt * e;
    }
    for (int k = 0; k < 6; ++k) n[k] += cv::v_reduce_sum(s[k]);
    for (int k = 0; k < 3; ++k) b[k] += cv::v_reduce_sum(s[6 + k]);
#endif
    for (; x < x1; ++x) {
        if (!o[x])
            continue;
        // d(mid drifted)/d(x, y, turn): the content comes from (p - (x, y)) turned back
        const float gx = 0.5f * (r[x + 1] - r[x - 1]), gy = 0.5f * (down[x] - up[x]);
        const double jx = -gx, jy = -gy, jt = gx * dy - gy * (x - cx), e = v[x] - r[x];
        n[0] += jx * jx, n[1] += jx * jy, n[2] += jx * jt, n[3] += jy * jy, n[4] += jy * jt, n[5] += jt * jt;
        b[0] += jx * e, b[1] += jy * e, b[2] += jt * e;
    }
}

// One round of the fit of the drift that best explains level (8-bit) against mid (32F, the
// references' middle value) on the pixels set in over within inner: least squares on the slopes
// of mid drifted by d, the step added to d. Returns how far the step moves the farthest pixel, or
// a negative figure where the slopes tell nothing.
double DriftStep(const cv::Mat& level, const cv::Mat& mid, const cv::Mat& over, cv::Rect inner, Drift& d)
{
    static thread_local cv::Mat moved;
    const cv::Mat* at = &mid;
    if (d.x != 0 || d.y != 0 || d.turn != 0) {
        cv::warpAffine(mid, moved, DriftMap(d, level.size()), level.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        at = &moved;
    }
    const double cx = (level.cols - 1) / 2.0, cy = (level.rows - 1) / 2.0;
    // The normal equations' terms: [xx, xy, xt, yy, yt, tt] and toward [x, y, t].
    double n[6] = {}, b[3] = {};
    for (int y = inner.y; y < inner.br().y; ++y)
        AddDriftRow(at->ptr<float>(y), at->ptr<float>(y - 1), at->ptr<float>(y + 1), level.ptr<unsigned char>(y),
                    over.ptr<unsigned char>(y), inner.x, inner.br().x, y - cy, cx, n, b);
    // Damped (ribs tell no movement along themselves: the least one that fits is taken).
    const double damped = 1 + kDriftDamping;
    const cv::Matx33d normal(n[0] * damped, n[1], n[2], n[1], n[3] * damped, n[4], n[2], n[4], n[5] * damped);
    cv::Vec3d step;
    if (!cv::solve(normal, cv::Vec3d(b[0], b[1], b[2]), step, cv::DECOMP_CHOLESKY))
        return -1;
    d.x += step[0], d.y += step[1], d.turn += step[2];
    return std::abs(step[2]) * std::max(cx, cy) + std::max(std::abs(step[0]), std::abs(step[1]));
}

// The departures on the textured pixels (255 in textured) within inner of the crop (own) against
// the references drifted by d.
int DepartingDrifted(const Comparison& own, const cv::Mat& textured, cv::Rect inner, const Drift& d)
{
    static thread_local cv::Mat low, high;
    const cv::Size size = own.up->size();
    const cv::Matx23d map = DriftMap(d, size);
    cv::warpAffine(*own.low, low, map, size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    cv::warpAffine(*own.high, high, map, size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    Comparison drifted = own;
    drifted.also = nullptr, drifted.only = &textured;
    drifted.low = &low, drifted.high = &high;
    return Departures(drifted, inner, inner);
}

// Whether the crop (own: its levels against the references' own values, as the match moved them
// by shift) drifted a fraction of a pixel or turned slightly off them, so that its departures on
// the textured pixels (255 in textured) are lines along the texture's edges, not a part: a drift
// (at most kDriftReach pixels and kDriftTurn), fitted round by round, leaves at most 1 in
// kDriftShare of them, and kStillMargin fewer. A part departs from the references however they
// drift; the texture's own departures of a still crop, noise, stay as many. Each round is tried
// as it comes: a crop off by a clear drift is told after the first.
bool Drifts(const Comparison& own, const cv::Mat& textured, cv::Point shift)
{
    static thread_local cv::Mat mid;
    const cv::Size size = own.up->size();
    // (Off the strip a movement uncovers and a pixel more, which the slopes read.)
    const int rimX = std::abs(shift.x) + 2, rimY = std::abs(shift.y) + 2;
    const cv::Rect inner(rimX, rimY, size.width - 2 * rimX, size.height - 2 * rimY);
    if (inner.width <= 0 || inner.height <= 0)
        return false;
    Comparison still = own;
    still.also = nullptr, still.only = &textured;
    const int here = Departures(still, inner, inner);
    if (here < kStillMargin)
        return false;
    cv::addWeighted(*own.low, 0.5, *own.high, 0.5, 0, mid, CV_32F);
    Drift d;
    const double reach = std::max(size.width, size.height) / 2.0;  // the turn's farthest pixel
    for (int round = 0; round < kDriftRounds; ++round) {
        const double stepped = DriftStep(*own.up, mid, textured, inner, d);
        if (stepped < 0 || std::abs(d.x) > kDriftReach || std::abs(d.y) > kDriftReach || std::abs(d.turn) > kDriftTurn)
            return false;
        const double farthest = std::abs(d.turn) * reach + std::max(std::abs(d.x), std::abs(d.y));
        if (farthest < kDriftSettled)
            return false;  // (none: the crop sits still)
        const int there = DepartingDrifted(own, textured, inner, d);
        if (there * kDriftShare <= here && here - there >= kStillMargin)
            return true;
        if (stepped < kDriftSettled)
            return false;
    }
    return false;
}

// Whether the band departs at more than 1 in kBandShare of own's departures (marks, marked of
// them; bandHere: the band's departures, band its comparison): the band weighs against every mark
// on texture, which are marks, and the texture's marks need not be sorted. Where it seems to and
// the crop has marks on texture, both as the plain comparison's opening keeps them: a
// compression's specks beyond the band over a whole texture say nothing of where the crop lies.
bool BandDeparts(const Comparison* band, int bandHere, const cv::Mat& marks, int marked, bool anyOnTexture)
{
    if (bandHere * kBandShare <= marked)
        return false;
    if (!band || !anyOnTexture)
        return true;
    static thread_local cv::Mat bandMarks, opened;
    MarkDepartures(*band, bandMarks);
    OpenCross(bandMarks);
    marks.copyTo(opened);
    OpenCross(opened);
    return cv::countNonZero(bandMarks) * kBandShare > cv::countNonZero(opened);
}
}  // namespace

// The plain comparison's floor: each pixel against the references' own value at its place (own,
// at the region's alignment and light, as the match last moved it) beyond the tolerance, where
// that comparison is reliable, opened by a 3 x 3 cross as a plain comparison is, ORed into diff.
// On firm pixels (see GrayMatch::firm) always, but only where the pixel lies off every reference
// value within kNearReach pixels as well (a movement nothing found changes a firm pixel by
// little, and that little is no part); on textured ones while the region sits at its alignment
// (see SitsStill and Drifts), all of them, or in solid areas alone where the crop drifts. So
// whatever a plain comparison marks where it is quiet under the nuisances the matcher tolerates
// is marked, whatever the band makes of it.
// exact, when given, makes own at the frame's light itself, which the firm pixels are held to, and
// departs nowhere that own does not within lightReach levels. ownMarks (with ownCount), when given:
// own's departures as MarkDepartures marks them.
void MarkPlain(const GrayMatch& m, const Comparison& own, cv::Point shift, int bandHere, cv::Mat& diff,
               bool aligned, ExactLight* exact, int lightReach,
               const cv::Mat* ownMarks, int ownCount, const Comparison* band)
{
    const cv::Rect all(cv::Point(), own.up->size());
    Comparison near = own;
    near.lim = static_cast<unsigned char>(std::max(0, int(own.lim) - lightReach));
    static thread_local cv::Mat marks, firmMarks, onTexture, flatMarks, span, opened, flatOpened;
    static thread_local TextureMarks texture;
    if (m.firm.empty())
        return;
    // (own's departures, where the caller found them already.)
    auto ownDepartures = [&](const Comparison& c) {
        if (!ownMarks || c.lim != own.lim)
            return MarkDepartures(c, marks);
        ownMarks->copyTo(marks);
        return ownCount;
    };
    if (ownDepartures(near) == 0)
        return;
    // Every mark below lies where near departs (the firm pixels are judged ones where the crop
    // lies, or every pixel is), and the opening keeps no more of less: where near's departures,
    // opened, lie in diff already, nothing is added.
    if (shift == cv::Point() || m.wholeMask) {
        OpenCross(marks);
        if (Within(marks, diff))
            return;
    }
    const Comparison* firmLight = exact ? exact->At() : nullptr;
    const int marked = ownDepartures(own);
    const cv::Mat* texturedAt = FirmMarks(m, firmLight ? *firmLight : own, shift, firmMarks);
    cv::bitwise_and(marks, *texturedAt, onTexture);
    const bool anyOnTexture = cv::countNonZero(onTexture) > 0;
    static thread_local Smooth smooth;
    if (anyOnTexture)
        SmoothPixels(m, *own.up, shift, own.lim, *texturedAt, smooth);
    const int texturedCount = shift == cv::Point() ? m.texturedCount : cv::countNonZero(*texturedAt);
    const bool bandDeparts = BandDeparts(band, bandHere, marks, marked, anyOnTexture);
    bool drifts = true;  // (as good as no marks on texture)
    if (!bandDeparts) {
        if (anyOnTexture)
            FlatMarks(smooth, marks, flatMarks);
        SortTextureMarks(m, marks, *texturedAt, shift, anyOnTexture, flatMarks, diff, texture);
        drifts = texture.adds.empty() || Drifts(own, *texturedAt, shift);
    }
    TextureMarks::Kept& kept = drifts ? texture.solid : texture.plain;
    // The band's departures that say the crop is off lie where the marks on texture do (a
    // texture's cells moved beyond its reach): a compression's specks elsewhere say nothing of them,
    // nor do those on firm pixels the plain comparison holds as part of a part.
    if (band && !bandDeparts && bandHere * kBandShare > kept.marked && kept.marked > 0) {
        cv::bitwise_or(kept.opened, flatMarks, span);
        Square<false>(span, kSolidSpan);
        PerPixel(span, firmMarks, firmMarks, [](auto s, auto f, auto) { return s & ~f; });
        Comparison near = *band;
        near.only = &span;
        bandHere = Departures(near, all, all);
    }
    const bool off = bandDeparts || bandHere * kBandShare > kept.marked ||
                     (!aligned && !SitsStill(own, *texturedAt, kept.onTextured, texturedCount,
                                             m.wholeMask ? nullptr : &m.judged, shift));
    const bool smoothHolds = off && anyOnTexture &&
                             (smooth.kept * kTextureKeptShare >= texturedCount || KeepsNoTrace(own, *texturedAt));
    // The smooth areas' marks as the plain comparison has them there too: its marks opened over
    // the whole crop, then kept in the areas (opened within them alone, a blurred part's marks,
    // which hold together with the texture's around it, lose what the plain comparison keeps).
    const bool withFlat = off ? smoothHolds : anyOnTexture;
    if (withFlat) {
        marks.copyTo(opened);
        OpenCross(opened);
        FlatMarks(smooth, opened, flatOpened);
    }
    if (off) {
        if (smoothHolds && bandDeparts)
            FlatMarks(smooth, marks, flatMarks);
        firmMarks.copyTo(marks);  // (the buffers are kept: never share them)
        if (smoothHolds)
            cv::bitwise_or(marks, flatMarks, marks);
    } else {
        cv::bitwise_or(kept.marks, firmMarks, marks);
        if (anyOnTexture)  // (the smooth areas' marks: the gate above is the texture's alone)
            cv::bitwise_or(marks, flatMarks, marks);
    }
    OpenCross(marks);  // (a 3 x 3 ellipse is that cross)
    if (withFlat)
        cv::bitwise_or(marks, flatOpened, marks);
    cv::bitwise_or(diff, marks, diff);
}

// Where a whole pixel of movement changes the references by at most a share of the tolerance the
// plain comparison is firm; the other judged pixels are textured.
void TrainFloor(GrayMatch& model)
{
    const int limit = model.tolerance / model.gain;
    cv::Mat up = model.band.high - model.own.low, down = model.own.high - model.band.low;
    cv::max(up, down, up);
    cv::compare(up, limit / kFirmStepShare, model.firm, cv::CMP_LE);
    cv::bitwise_and(model.firm, model.judged, model.firm);
    cv::bitwise_and(model.judged, ~model.firm, model.textured);
    model.texturedCount = cv::countNonZero(model.textured);
    cv::morphologyEx(model.textured, model.textureSpan, cv::MORPH_CLOSE, cv::Mat());
    const cv::Mat near = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * kNearReach + 1, 2 * kNearReach + 1));
    cv::erode(model.own.low, model.nearby.low, near, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(model.own.high, model.nearby.high, near, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
}

}  // namespace MatchStages
