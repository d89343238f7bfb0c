// The grey matcher's stages as they call one another (private to graymatch*.cpp): the constants
// more than one stage reads, the comparison of a crop with a band, and each stage's entry points.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include "graymatch.h"
#include "graymatch_hue.h"
#include "graymatch_masks.h"

namespace MatchStages {

// ---- The band (graymatch_band.cpp)
constexpr int kMeanWindow = 5;   // pixels square a mean is taken over: a small faint part moves it
constexpr int kMeanShare = 3;    // the means depart beyond tolerance / this: a mean carries a fifth of the noise
constexpr int kMinMeanLimit = 3;  // grey levels the means may always differ by (rounding, noise)
constexpr int kRimAround = kMeanWindow / 2 + 1;  // a whole crop's rim means are read this much wider each side

// One comparison of the crop with the references' band: single pixels, or the means around
// them. Levels are the crop brought to the references' brightness. A pixel clipped at white is
// kept at 255 there: its light was at least `ceiling` (255 at the references' brightness), so
// it can lie above the band only by what `ceiling` does and never below it. Every other level
// is at most `ceiling`, so min(level, ceiling) is the lowest light a level stands for. up is
// the brightest the crop may be at a pixel and is held against low, down (capped at ceiling)
// the darkest and is held against high; for single pixels both are the level itself, for the
// means they are the means of the level and of the level capped at ceiling.
struct Comparison
{
    const cv::Mat* up;
    const cv::Mat* down;
    const cv::Mat* low;
    const cv::Mat* high;
    unsigned char lim;  // a pixel departs when it lies more than this outside [low, high]
    unsigned char ceiling;
    const Comparison* also = nullptr;  // a pixel departs only where it departs from this too
    const cv::Mat* only = nullptr;     // the crop's pixels that may depart (255; none: all)
};

// Departures of the crop's part `at` (of up and down) from the band's part `ref` of the same
// size, on every rowStep-th row; counting stops after the first row that takes it above cap.
// With out (8-bit, at's size, allocated), 255 where the pixel departs, else 0; with perRow (at's
// height), each row's count (rows not counted keep theirs). The rows are taken from row `first`
// of at on, then from its top: started where departures are dense, a count over the cap stops
// early.
int Departures(const Comparison& c, cv::Rect at, cv::Rect ref, int rowStep = 1, int cap = INT_MAX,
               cv::Mat* out = nullptr, int first = 0, int* perRow = nullptr);
// Over out's size (the whole crop): 255 where the crop departs from the band, else 0; the
// number of such pixels (with perRow, of each row).
int MarkDepartures(const Comparison& c, cv::Mat& out, int* perRow = nullptr);
// The same inside area alone (0 elsewhere).
int MarkDeparturesIn(const Comparison& c, cv::Mat& out, cv::Rect area);
// The 5 x 5 means of the crop in the middle of window (kRimAround wider each side) into means (a
// view of all, the window's means), and their band a pixel around into low, high.
void MeansAround(const cv::Mat& window, cv::Mat& all, cv::Mat& means, cv::Mat* low = nullptr,
                 cv::Mat* high = nullptr);
// The change marked into diff from the band's departures so far (see graymatch_band.cpp).
int MarkChange(Comparison* cmp, cv::Mat* marks, cv::Rect means, const cv::Mat& judged, bool wholeMask, cv::Mat& diff);
// A reference crop folded into the bands; the rim's means read over the picture around taken.
void FoldBand(GrayMatch& model, const cv::Mat& crop);
void TakeRimMeans(GrayMatch& model);

// ---- The light (graymatch_light.cpp)
constexpr double kMinBrightness = 0.85;  // the darkest frame the band follows, against the references
constexpr double kMaxBrightness = 1.18;  // the brightest
constexpr double kIgnoredBrightness = 0.02;  // smaller changes of light are left to the tolerance
constexpr int kMinRatioMid = 32;     // a band's low + high below this (dark pixels) gives no usable ratio
constexpr int kMinRatioPixels = 12;  // fewer usable pixels tell no light

// Median ratio of the crop to the references' own values (low, high; the means' where they lie
// well below white), limited to what the band follows; see graymatch_light.cpp.
double BrightnessRatio(const cv::Mat& image, const cv::Mat& low, const cv::Mat& high, const cv::Mat& imageMeans,
                       const cv::Mat& meanLow, const cv::Mat& meanHigh, double around = 0, double agree = 0);
// The frame's window around a narrow crop brought to the references' light by ratio as the crop is.
const cv::Mat& AroundLevel(const cv::Mat& picture, double ratio);
// The model with its references at `ratio` (below 1) of their brightness, tolerance and all.
GrayMatch Dimmed(const GrayMatch& m, double ratio);
// The crop (and the frame's window around it) brought to the references' brightness: level and
// levelMeans, which the comparisons read (see graymatch_light.cpp).
struct Levels
{
    Levels(const GrayMatch& model, const cv::Mat& image, const cv::Mat& around);
    // The light the crop is judged at: the frame's where it is sure, else the region's pixels'.
    double Read(double light, double agree) const;
    // Whether a darker frame is judged against the references dimmed to it instead.
    bool Dims(double ratio, double light, double agree) const;
    // The crop brought to ratio; the comparisons' ceilings and darkest means set so.
    void BringTo(double ratio, Comparison* cmp);
    // After a movement: the light read again on the references moved (own, ownMean), where not sure.
    void Refit(double ratio, double light, double agree, const cv::Mat& low, const cv::Mat& high,
               const cv::Mat& meanLow, const cv::Mat& meanHigh, Comparison* cmp);

    const GrayMatch& model;
    const cv::Mat& image;
    const cv::Mat& around;
    const bool rimSeen;  // the means at the crop's rim read over the frame's window around it
    cv::Mat level, levelMeans;

private:
    bool Clipped();
    void MeansOf(const cv::Mat& crop, const cv::Mat& table, unsigned char ceiling, cv::Mat& out, int buffer);
    int anyClipped = -1;
};
// The firm pixels' plain comparison at the frame's light itself, when it is sure.
class ExactLight
{
public:
    ExactLight(const Comparison& own, const cv::Mat& image, double ratio, double light, double agree,
               unsigned char lim);
    // own (as the match last moved it) at that light; nullptr where it is not sure or no different.
    const Comparison* At();
    // The grey levels by which a departure at the references' light may differ at the frame's.
    int Reach() const;

private:
    const Comparison& own;
    const cv::Mat& image;
    const double ratio;
    const unsigned char lim;
    const bool on;
    Comparison exact = {};
};

// ---- The movement and alignment search (graymatch_search.cpp, graymatch_moved.cpp)
constexpr int kMaxShift = 8;         // the farthest movement each way nothing corrects that a crop is matched at
constexpr int kShiftGain = 2;        // a movement must at least halve the departures
constexpr int kTextureContext = 40;  // crops narrower than this read their texture's alignment around them
constexpr int kTextureAround = kTextureContext;  // the window around such a crop, this much wider each side

// Where a crop moved by (dx, dy) against the references overlaps them: the references' part
// (the crop's part is that rectangle moved by (dx, dy)).
inline cv::Rect Overlap(cv::Size size, cv::Point shift)
{
    const int x0 = std::max(0, -shift.x), y0 = std::max(0, -shift.y);
    return cv::Rect(x0, y0, size.width - std::abs(shift.x), size.height - std::abs(shift.y)) &
           cv::Rect(cv::Point(), size);
}
// The bands already take in one pixel around: a movement's strip reaches the rest of it.
inline int StripReach(cv::Point shift)
{
    return std::max(std::abs(shift.x), std::abs(shift.y)) - 1;
}
// The movements up to reach pixels each way, at steps of step, beyond within pixels either way
// (0: every movement), nearest first (of equal distance, in rows from the top).
std::vector<cv::Point> NearestFirst(int reach, int step = 1, int within = 0);

// The pixels' band widened to the reaches of the movements along its border lines, filled on
// first use within one match: what the strip a movement uncovers, and a judged pixel a movement
// brings onto the outline, are judged against (see graymatch_moved.cpp).
struct Edges
{
    const GrayMatch* model = nullptr;
    cv::Mat low[kMaxShift], high[kMaxShift];
    bool ready[kMaxShift] = {};
    // [band, own][reach][low, high], each filled on first use (the search goes back and forth
    // between reaches): the outline pixels within reach + 1 of a judged pixel, all that a judged
    // pixel moved that far can come to lie on.
    cv::Mat outlined[2][kMaxShift][2];
    bool outlinedReady[2][kMaxShift] = {};
    // [band, own]: the reaches asked for so far, in turn (a repeat is noted once), and the bands
    // as they leave the outline (see overlay).
    std::vector<int> asked[2];
    cv::Mat overlaid[2][2];

    void reset(const GrayMatch& m);
    void write(int reach, size_t from, size_t to, bool edge, cv::Mat (&band)[2]) const;
    void copySource(bool own, cv::Mat (&band)[2], bool edge = false) const;
    Comparison outline(const Comparison& c, bool own, int reach);
    Comparison overlay(const Comparison& c, bool own, bool edge = false);
    Comparison widened(const Comparison& c, int reach);
};
// Departures of the strip the movement uncovers, against the band widened to its reach.
int CountStrip(const Comparison& c, cv::Point shift, int rowStep);
// The crop's pixels whose means are judged after a movement by shift (see graymatch_moved.cpp).
cv::Rect MeanArea(cv::Size size, cv::Point shift, bool rimSeen = false, bool inRim = false);
// After a movement, the means at the references' rim against their means within two pixels.
void WidenRing(cv::Mat (&mean)[2], cv::Mat (&own)[2], cv::Rect means, cv::Rect inner);
// The region's outline as movements meet it (see GrayMatch::Outline).
GrayMatch::Outline MakeOutline(const cv::Mat& judged, const GrayMatch::Band& band);
// The comparisons cmp[0..4] as the crop moved by shift meets the references, into moved.
void MoveComparisons(Comparison* cmp, Edges& edges, cv::Point shift, cv::Mat (*moved)[2]);
// The part of the crop whose means every movement the search may take leaves comparable.
cv::Rect SearchedMeans(cv::Size size);
// The movement the band's departures ask for (see graymatch_search.cpp); (0, 0) for none.
cv::Point BestShift(const Comparison* cmp, Edges& edges, int departuresHere, const std::vector<int>& rowCounts);
// Whether that movement fits the references' own values clearly better than none.
bool FitsOwnBetter(const Comparison& own, const GrayMatch& m, cv::Point shift);
// Whether a movement found for a narrow crop also fits the window around it.
bool WindowExplains(const Comparison& own, const GrayMatch& m, cv::Point shift, const cv::Mat& picture, double ratio);
// The movement of a textured crop off its alignment that the band took in; (0, 0) for none.
cv::Point TextureShift(const Comparison& own, const GrayMatch& m, int bandHere, const cv::Mat& picture, double ratio,
                       bool* aligned = nullptr, const cv::Mat* ownMarks = nullptr);

// ---- The floor (graymatch_floor.cpp)
constexpr int kFirmStepShare = 3;  // firm: a pixel of movement moves the references by at most tolerance / this
constexpr int kStillShare = 2;     // a textured crop sits still while at most 1 in this many of its pixels depart
constexpr int kStillMargin = 24;   // fewer departures than this say nothing of a movement (noise)
constexpr int kBandShare = 2;      // the band departing at more than 1 in this many marks on texture: the crop is off

// The plain comparison's floor, ORed into diff (see graymatch_floor.cpp).
void MarkPlain(const GrayMatch& m, const Comparison& own, cv::Point shift, int bandHere, cv::Mat& diff,
               bool aligned = false, ExactLight* exact = nullptr, int lightReach = 0,
               const cv::Mat* ownMarks = nullptr, int ownCount = 0, const Comparison* band = nullptr);
// Which judged pixels the plain comparison is reliable on (firm) and which only while the crop
// sits still (textured), and the references' values nearby.
void TrainFloor(GrayMatch& model);

// ---- Colour and hue (graymatch_hue.cpp)
void MatchHue(const GrayMatch& m, const cv::Mat& image, const cv::Mat& colour, int limit, cv::Mat& diff);
void MatchChroma(const GrayMatch& m, const cv::Mat& colour, int limit, cv::Mat& diff);
// The judged pixels where the plain colour comparison is reliable (chromaFirm), and the others.
void SortChroma(GrayMatch& model);

// ---- Masks and morphology (graymatch_masks.cpp)

// Each pixel of out set to op(out, a, b) (8-bit pictures of one size; op takes pixels and vectors
// alike), row by row in vectors.
template <typename Op>
void PerPixel(cv::Mat& out, const cv::Mat& a, const cv::Mat& b, Op op)
{
    for (int y = 0; y < out.rows; ++y) {
        unsigned char* o = out.ptr<unsigned char>(y);
        const unsigned char* pa = a.ptr<unsigned char>(y);
        const unsigned char* pb = b.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        for (; x + cv::v_uint8::nlanes <= out.cols; x += cv::v_uint8::nlanes)
            cv::v_store(o + x, op(cv::vx_load(o + x), cv::vx_load(pa + x), cv::vx_load(pb + x)));
#endif
        for (; x < out.cols; ++x) o[x] = static_cast<unsigned char>(op(o[x], pa[x], pb[x]));
    }
}

#if CV_SIMD
// The lanes set (255) in the vectors added, counted in the lanes themselves (255 is -1: subtracting
// it adds one) and summed up before a lane could overflow.
struct LaneCount
{
    cv::v_uint8 lanes = cv::vx_setzero_u8();
    int added = 0, total = 0;
    void add(const cv::v_uint8& set)
    {
        lanes = cv::v_sub_wrap(lanes, set);
        if (++added == 255)
            sum();
    }
    int sum()
    {
        total += int(cv::v_reduce_sum(cv::v_dotprod_expand_fast(lanes, cv::vx_setall_u8(1))));
        lanes = cv::vx_setzero_u8();
        added = 0;
        return total;
    }
};
#endif

// The pixels set (255) in both a and b (8-bit pictures of one size).
int CountBoth(const cv::Mat& a, const cv::Mat& b);
// Mean over 5 x 5 pixels, borders mirrored, rounded (see graymatch_masks.cpp).
void BoxMean5(const cv::Mat& src, cv::Mat& out, const cv::Mat* mask = nullptr,
              const GrayMatch::MeanRim* rim = nullptr, size_t rimPixels = 0);
// Mean of src over 5 x 5 pixels over the model's judged pixels only (see graymatch_masks.cpp).
void WindowMean(const cv::Mat& src, const GrayMatch& model, cv::Mat& out, bool judgedOnly = true);
// Clears marks outside area.
void KeepOnly(cv::Mat& marks, cv::Rect area);
// mask moved by shift over a picture of its size, 0 where the movement uncovers the crop.
void MoveMask(const cv::Mat& mask, cv::Point shift, cv::Mat& out);
// marks (8-bit) eroded (Darkest) or dilated in place by a square before + 1 + after pixels wide,
// as cv::erode and cv::dilate do it with a rectangle and its anchor.
template <bool Darkest>
void Stretch(cv::Mat& marks, int before, int after);
// The same by a square span pixels wide (odd) about each pixel.
template <bool Darkest>
void Square(cv::Mat& marks, int span);
// marks (8-bit) eroded (Darkest) or dilated in place by the 3 x 3 cross, as cv::erode and
// cv::dilate do it.
template <bool Darkest>
void Cross(cv::Mat& marks);
// marks (8-bit) dilated in place by a 3 x 3 square, as cv::dilate does it.
void Dilate3(cv::Mat& marks);

// part (8-bit, possibly a part of a larger picture) eroded by erode (in place) as the general
// filter erodes a picture's part: over the part's pixels and a pixel around it in the picture too
// (what lies past the picture's edge takes no part), into out, the part's size (a view of out's
// buffer).
template <typename Erode>
void ErodeInPicture(const cv::Mat& part, cv::Mat& out, Erode erode)
{
    cv::Mat wider = part;
    wider.adjustROI(1, 1, 1, 1);
    cv::Size whole;
    cv::Point at, widerAt;
    part.locateROI(whole, at);
    wider.locateROI(whole, widerAt);
    wider.copyTo(out);
    erode(out);
    out = out(cv::Rect(at - widerAt, part.size()));
}

}  // namespace MatchStages
