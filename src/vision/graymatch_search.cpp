// The movement and alignment search: where a crop that nothing corrected is judged.
// Guarantees: a crop a few pixels off its references (vibration, a slight turn of the camera) is
// judged where it lies, at the whole-pixel movement of up to 8 pixels each way that at least
// halves its departures over the same pixels for every movement, nearest first. A movement is
// taken only where it fits the references' own values better than none (the band spans a fine
// texture's range, so it fits any movement about as well) and explains on the whole crop, outline
// and all, what it explains on the region: one that carries a part off a thin region's mask, past
// the crop's edge or onto a piece of texture moved half a period explains nothing, and the part
// departs. A fine texture off its alignment stays inside the band: it is found by the references'
// own values, up to 4 pixels each way, narrow crops on the picture around them.
#include "graymatch_stages.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace MatchStages {

namespace {
constexpr int kMinShiftDepartures = 6;  // fewer departures are noise: not worth a search
constexpr int kCleanShare = 50;         // 1 in this many pixels departing is nearly clean
constexpr int kDenseRows = 2;           // rows each side of the densest that a movement must clear
constexpr int kShiftCloser = 9;  // a farther movement wins only leaving fewer than these tenths (a texture fits itself a period on)
constexpr int kTextureReach = 4;    // a texture is tried this far each way: half the coarsest period the band misses
constexpr int kTextureTrigger = 4;  // searched where more than 1 in this many textured pixels depart
constexpr int kTextureGain = 4;     // a texture's movement must clear 1 in this many departing pixels
constexpr int kTextureTriggerRows = 4;  // the window's rows that tell whether to search: 1 in this many
constexpr int kTextureCloser = 4;   // a farther texture movement wins only leaving fewer than these fifths
constexpr int kContextShare = 2;    // a movement must explain on the whole crop 1 in this many of what it does on the region
}  // namespace

std::vector<cv::Point> NearestFirst(int reach, int step, int within)
{
    std::vector<cv::Point> m;
    for (int dy = -reach; dy <= reach; dy += step)
        for (int dx = -reach; dx <= reach; dx += step)
            if (std::abs(dx) > within || std::abs(dy) > within)
                m.emplace_back(dx, dy);
    std::stable_sort(m.begin(), m.end(), [](cv::Point a, cv::Point b) { return a.dot(a) < b.dot(b); });
    return m;
}

// The part of the crop whose means every movement the search may take leaves comparable: the
// crop without a rim of the movement's reach and half a window.
cv::Rect SearchedMeans(cv::Size size)
{
    const int rim = kMaxShift + kMeanWindow / 2;
    const cv::Rect inner(rim, rim, size.width - 2 * rim, size.height - 2 * rim);
    return inner.width > 0 && inner.height > 0 ? inner : cv::Rect();
}

namespace {
// Whether the movement by shift explains, on the whole crop (the pixels the region leaves out
// judged too, against the references as they were taught there), at least 1 / kContextShare of
// the departures it explains on the region, both counted on the pixels the movement keeps on the
// crop. On a flat surface every movement fits the surface, and one that carries a part off a thin
// or concave region's mask explains it on the region (it meets references left out there) but
// nothing around it: the part departs there still. The means (cmp[1], over means) alike: a faint
// part on a texture moves only the means, and a movement of a period that carries them off the
// mask explains them on the region alone; it explains them where their pixels stay on pixels the
// references judged.
bool ExplainedAround(const Comparison* cmp, const GrayMatch& m, cv::Point shift, cv::Rect means)
{
    const Comparison& pixels = cmp[0];
    Comparison around = pixels;
    around.low = &m.context.low, around.high = &m.context.high;
    around.only = nullptr, around.also = nullptr;
    Comparison region = pixels;
    region.also = nullptr;
    region.low = &m.band.low, region.high = &m.band.high;
    const cv::Rect ref = Overlap(pixels.up->size(), shift), at = ref + shift;
    const int regionGain = Departures(region, at, at) - Departures(region, at, ref);
    // (A region that judges its whole crop was taught as its context: the same gain.)
    const int aroundGain = m.wholeMask ? regionGain : Departures(around, at, at) - Departures(around, at, ref);
    if (aroundGain * kContextShare < regionGain)
        return false;
    if (m.wholeMask || means.empty())
        return true;
    static thread_local cv::Mat stays;
    MoveMask(m.judged, shift, stays);
    cv::bitwise_and(stays, m.judged, stays);
    Comparison meanRegion = cmp[1];
    meanRegion.also = nullptr;
    Comparison onMask = meanRegion;
    onMask.only = &stays;
    const int keptGain = Departures(onMask, means, means) - Departures(onMask, means, means - shift);
    const int meanGain = Departures(meanRegion, means, means) - Departures(meanRegion, means, means - shift);
    return keptGain * kContextShare >= meanGain;
}

// The bands take in a pixel around, so the movements beside the coarse one leave about as few
// departures: the one that fits exactly is the one whose pixels depart least from the
// references' own values (ownValues), over the part of the crop all of them overlap; none beyond
// r each way.
cv::Point Closest(const Comparison& ownValues, Edges& edges, cv::Point coarse, cv::Size size, int r)
{
    cv::Point best = coarse;
    cv::Rect common(cv::Point(), size);
    for (int k = 0; k < 9; ++k) {
        const cv::Point d = coarse + cv::Point(k % 3 - 1, k / 3 - 1);
        common &= Overlap(size, d) + d;
    }
    // The fewest departures win, the coarse movement among equals, else the first in turn. The
    // coarse one is counted first: it mostly fits best, and the others' counts stop as soon as
    // they pass it. (The outlined bands are asked for in turn all the same: what reads them all
    // later sees the reaches in that order.)
    Comparison own[9] = {};
    bool asked[9] = {};
    for (int k = 0; k < 9; ++k) {
        const cv::Point d = coarse + cv::Point(k % 3 - 1, k / 3 - 1);
        if (d == cv::Point() || std::abs(d.x) > r || std::abs(d.y) > r || common.empty())
            continue;
        own[k] = edges.outline(ownValues, true, StripReach(d));
        asked[k] = true;
    }
    int closest = INT_MAX;
    for (const int k : {4, 0, 1, 2, 3, 5, 6, 7, 8}) {
        if (!asked[k])
            continue;
        const cv::Point d = coarse + cv::Point(k % 3 - 1, k / 3 - 1);
        const int c = Departures(own[k], common, common - d, 2, closest);
        if (c < closest)
            closest = c, best = d;
    }
    return best;
}
}  // namespace

// Whether the movement by shift fits the references' own values as taught over the whole crop
// (outline included; own: the pixels against them, lim and light as the match has them) clearly
// better than no movement: of the crop's pixels whose verdict it changes (those the movement
// keeps on the crop), it clears at least kShiftGain times as many as it makes depart, and
// kStillMargin more. The band spans a fine texture's range at every pixel, so it fits such a crop
// at any movement about as well, and one that carries a part into the strip it uncovers or onto a
// piece of the texture moved half a period leaves fewer departures from it; the references' own
// values tell where the crop lies (what the operator left out to change departs alike at both),
// and a movement they do not support is none.
bool FitsOwnBetter(const Comparison& own, const GrayMatch& m, cv::Point shift)
{
    const cv::Rect ref = Overlap(own.up->size(), shift), at = ref + shift;
    // The pixels departing where the crop lies and not moved (cleared), and the other way (made),
    // counted in one pass.
    const cv::Mat &low = m.ownContext.low, &high = m.ownContext.high;
    const unsigned char lim = own.lim, ceiling = own.ceiling;
    int cleared = 0, made = 0;
#if CV_SIMD
    LaneCount clearedLanes, madeLanes;
    const cv::v_uint8 vlim = cv::vx_setall_u8(lim), vceil = cv::vx_setall_u8(ceiling);
#endif
    for (int y = 0; y < at.height; ++y) {
        const unsigned char* v = own.up->ptr<unsigned char>(at.y + y) + at.x;
        const unsigned char* w = own.down->ptr<unsigned char>(at.y + y) + at.x;
        const unsigned char* lo[2] = {low.ptr<unsigned char>(at.y + y) + at.x, low.ptr<unsigned char>(ref.y + y) + ref.x};
        const unsigned char* hi[2] = {high.ptr<unsigned char>(at.y + y) + at.x,
                                      high.ptr<unsigned char>(ref.y + y) + ref.x};
        int x = 0;
#if CV_SIMD
        for (; x + cv::v_uint8::nlanes <= at.width; x += cv::v_uint8::nlanes) {
            const cv::v_uint8 up = cv::vx_load(v + x), down = cv::v_min(cv::vx_load(w + x), vceil);
            // u8 subtraction saturates at 0
            const cv::v_uint8 here = cv::v_max(cv::vx_load(lo[0] + x) - up, down - cv::vx_load(hi[0] + x)) > vlim;
            const cv::v_uint8 there = cv::v_max(cv::vx_load(lo[1] + x) - up, down - cv::vx_load(hi[1] + x)) > vlim;
            clearedLanes.add(here & ~there);
            madeLanes.add(there & ~here);
        }
#endif
        for (; x < at.width; ++x) {
            const bool here = std::max(lo[0][x] - v[x], std::min(w[x], ceiling) - hi[0][x]) > lim;
            const bool there = std::max(lo[1][x] - v[x], std::min(w[x], ceiling) - hi[1][x]) > lim;
            cleared += here && !there;
            made += there && !here;
        }
    }
#if CV_SIMD
    cleared += clearedLanes.sum();
    made += madeLanes.sum();
#endif
    return cleared >= kShiftGain * made && cleared - made >= kStillMargin;
}

// The whole-pixel movement of the crop against the references, up to kMaxShift each way, that
// leaves the fewest departures over the whole crop: of the pixels (the overlap against the
// moved references, the uncovered strip against the nearest reference pixels) and of the means
// inside SearchedMeans, the same pixels for every movement and for none. A coarse search at
// even steps (the bands take in the odd ones; every second row is enough), refined around the
// best. A movement counts only when it clearly does better than none: departuresHere is the
// number of those departures of the crop where it lies. cmp: [0] the pixels, [1] the means,
// [2] the pixels against the references' own values. rowCounts: the departures of the pixels
// where the crop lies, per row.
cv::Point BestShift(const Comparison* cmp, Edges& edges, int departuresHere, const std::vector<int>& rowCounts)
{
    const cv::Size size = cmp[0].up->size();
    const int r = std::min({kMaxShift, (size.width - 8) / 4, (size.height - 8) / 4}) / 2 * 2;
    if (r < 2 || departuresHere < kMinShiftDepartures)
        return cv::Point();
    const int enough = departuresHere / kShiftGain;  // a movement must leave fewer than this
    int fewest = enough;
    const cv::Rect means = SearchedMeans(size);
    // The rows where the crop departs most (a part that stays there whatever the movement): a
    // movement that explains the crop leaves fewer departures there, so the search counts from
    // them, and the wide search (many movements, each of several pixels) goes on with one only
    // when it does.
    const int denseRow = int(std::max_element(rowCounts.begin(), rowCounts.end()) - rowCounts.begin());
    const cv::Rect denseRows =
        cv::Rect(0, denseRow - kDenseRows, size.width, 2 * kDenseRows + 1) & cv::Rect(cv::Point(), size);
    const int denseHere = std::accumulate(rowCounts.begin() + denseRows.y, rowCounts.begin() + denseRows.br().y, 0);
    // The search counts every second row (twice that compares with the whole crop's
    // departures), the refinement every row: a movement leaving a thin line of departures
    // along the rows it skips must not win there.
    int limit = fewest;  // a count past this stops
    auto count = [&](cv::Point d, int rowStep) {
        const cv::Rect ref = Overlap(size, d);
        const cv::Rect there = (ref + d) & denseRows;
        const Comparison pixels = edges.outline(cmp[0], false, StripReach(d));
        if (rowStep > 2 && !there.empty() && Departures(pixels, there, there - d, 1, denseHere - 1) >= denseHere)
            return INT_MAX;
        int total =
            rowStep * Departures(pixels, ref + d, ref, rowStep, limit / rowStep, nullptr, denseRow - ref.y - d.y);
        if (total <= limit && !means.empty())
            total += rowStep * Departures(cmp[1], means, means - d, rowStep, (limit - total) / rowStep, nullptr,
                                          denseRow - means.y);
        if (total <= limit)
            total += rowStep * CountStrip(edges.widened(pixels, StripReach(d)), d, rowStep);
        return total;
    };
    cv::Point best;
    bool found = false;
    // Even steps, the nearest first: most shaking is a pixel or two, and when that leaves the
    // crop nearly clean the wide search is not needed.
    const int clean = size.area() / kCleanShare;  // pixels that may still depart
    for (int dy = -2; dy <= 2; dy += 2)
        for (int dx = -2; dx <= 2; dx += 2) {
            if (dx == 0 && dy == 0)
                continue;
            limit = fewest;
            const int c = count(cv::Point(dx, dy), 2);
            if (c < fewest)
                fewest = c, best = cv::Point(dx, dy), found = true;
        }
    // The wide search nearest first: a fine texture fits itself a period on about as well, and a
    // farther movement judges more of the crop (its strip, the outline) against bands widened to
    // its reach, so it leaves fewer departures for that alone. A farther one replaces a nearer
    // one only where it leaves clearly fewer.
    static const std::vector<cv::Point> wide = NearestFirst(kMaxShift, 2, 2);
    if (r > 2 && !(found && fewest <= clean))
        for (const cv::Point d : wide) {
            if (std::abs(d.x) > r || std::abs(d.y) > r)
                continue;
            limit = found && d.dot(d) > best.dot(best) ? fewest * kShiftCloser / 10 : fewest;
            const int c = count(d, 4);
            if (c < limit)
                fewest = c, best = d, found = true;
        }
    if (!found)
        return cv::Point();
    const cv::Point coarse = best;
    best = Closest(cmp[2], edges, coarse, size, r);
    // Taken only when it still does clearly better than none, the strip judged too, and when
    // what it explains on the region it explains on the whole crop as well.
    limit = enough;
    for (const cv::Point d : {best, coarse}) {
        if (count(d, 1) < enough && ExplainedAround(cmp, *edges.model, d, means))
            return d;
    }
    return cv::Point();
}

// Whether a movement the band's search found for a narrow crop also fits the window around it
// (picture, see TextureShift) clearly better than none: its pixels against the references' own
// values depart less there moved than not, by at least 1 / kContextShare of what it gains so on
// the region (own: the crop's pixels against them). A crop that small is mostly part where a part
// lies: a movement that explains the part on it moves the whole window's texture and edges off.
// A crop with no window is left to ExplainedAround alone.
bool WindowExplains(const Comparison& own, const GrayMatch& m, cv::Point shift, const cv::Mat& picture, double ratio)
{
    const cv::Size size = own.up->size();
    if (std::min(size.width, size.height) >= kTextureContext || m.aroundAt.empty() ||
        picture.size() != m.aroundAt.size())
        return true;
    Comparison region = own;
    region.also = nullptr;
    const cv::Rect ref = Overlap(size, shift), at = ref + shift;
    const int regionGain = Departures(region, at, at) - Departures(region, at, ref);
    Comparison around = own;
    around.also = nullptr, around.only = nullptr;
    around.up = around.down = &AroundLevel(picture, ratio);
    around.low = &m.around.low, around.high = &m.around.high;
    const cv::Rect wideRef = Overlap(m.aroundAt.size(), shift), wideAt = wideRef + shift;
    const int aroundGain = Departures(around, wideAt, wideAt) - Departures(around, wideAt, wideRef);
    return aroundGain > 0 && aroundGain * kContextShare >= regionGain;
}

// The movement of a textured crop off its alignment (more than 1 in kTextureTrigger of its
// textured pixels departing from the references' own values; crops at least kTextureContext
// wide): the one of up to kTextureReach pixels each way at which the fewest pixels depart from
// the references' own values as taught over the whole crop, outline included (own: the pixels
// against them, lim and light as the match has them), nearest first. All are counted on the
// same pixels, those every movement keeps on the crop, so a movement that carries a part off a
// thin region's mask or past the crop's edge gains nothing. Taken only where it clears at least
// 1 in kTextureGain of the pixels departing where the crop lies; else (0, 0). Only where the band
// takes the movement in (bandHere, the pixels departing from the band, at most 1 in kBandShare of
// those departing from their own values): a part or an edge moved further than the band reaches
// is the search by the band's. A narrower crop is searched so on the window around it instead
// (picture: the frame over m.aroundAt, brought to the references' light by ratio as the crop is;
// none: not searched); aligned then tells whether the window sits at the movement found (at most
// 1 in kStillShare of its pixels departing there, as SitsStill asks of a wide crop's): the crop
// does too, whatever share of it a part covers. ownMarks, when given: own's departures as
// MarkDepartures marks them.
cv::Point TextureShift(const Comparison& own, const GrayMatch& m, int bandHere, const cv::Mat& picture, double ratio,
                       bool* aligned, const cv::Mat* ownMarks)
{
    const cv::Size size = own.up->size();
    const cv::Rect all(cv::Point(), size);
    const bool narrow = std::min(size.width, size.height) < kTextureContext;
    if (m.texturedCount == 0 || (narrow && (m.aroundAt.empty() || picture.size() != m.aroundAt.size())))
        return cv::Point();
    Comparison around = own;
    around.also = nullptr, around.only = nullptr;
    around.low = &m.ownContext.low, around.high = &m.ownContext.high;
    // Every movement is counted on the same pixels, those all of them keep on the crop: one that
    // merely carries a part past the crop's edge gains nothing.
    cv::Rect inner(kTextureReach, kTextureReach, size.width - 2 * kTextureReach, size.height - 2 * kTextureReach);
    // A narrow crop, on the window around it: a piece moved over most of it may fit where the
    // texture does not, so the crop alone may not even show that it is off.
    Comparison wide = around;
    cv::Rect within;
    int departingAround = 0;
    if (narrow) {
        wide.up = wide.down = &AroundLevel(picture, ratio);
        wide.low = &m.around.low, wide.high = &m.around.high;
        within = cv::Rect(kTextureReach, kTextureReach, m.aroundAt.width - 2 * kTextureReach,
                          m.aroundAt.height - 2 * kTextureReach);
        // (Every kTextureTriggerRows-th row tells whether to search: counted whole only then.)
        departingAround = kTextureTriggerRows * Departures(wide, within, within, kTextureTriggerRows,
                                                           within.area() / kTextureTrigger / kTextureTriggerRows);
    }
    Comparison onTexture = own;
    onTexture.also = nullptr, onTexture.only = &m.textured;
    const int textureHere = ownMarks ? CountBoth(*ownMarks, m.textured) : Departures(onTexture, all, all);
    if (textureHere * kTextureTrigger <= m.texturedCount &&
        departingAround * kTextureTrigger <= within.area())
        return cv::Point();
    if (narrow)
        departingAround = Departures(wide, within, within);
    int here = Departures(around, narrow ? all : inner, narrow ? all : inner);
    if (bandHere * kBandShare > here)
        return cv::Point();  // the band does not take it in: the search by the band's own
    if (narrow)
        around = wide, inner = within, here = departingAround;
    // The movements nearest first: of those that fit about as well, the nearest is taken.
    static const std::vector<cv::Point> moves = NearestFirst(kTextureReach);
    cv::Point best;
    int fewest = here - std::max(here / kTextureGain, kStillMargin);
    for (const cv::Point d : moves) {
        const int enough = best == cv::Point() ? fewest : fewest * kTextureCloser / 5;
        const int there = Departures(around, inner, inner - d, 1, enough);
        if (there < enough)
            best = d, fewest = there;
    }
    if (narrow && aligned)
        *aligned = (best == cv::Point() ? here : fewest) * kStillShare <= inner.area();
    return best;
}

}  // namespace MatchStages
