// Grey template defect matcher: the calls, training each stage's model and running the stages.
// Training folds each reference into the band (graymatch_band.cpp) and, for hue, into the colour
// stage (graymatch_hue.cpp, which also holds AddColour); Train then decides where the plain
// comparison is reliable (graymatch_floor.cpp) and how movements meet the outline
// (graymatch_moved.cpp). Match runs the stages in turn: the light brings the crop to the
// references' brightness (graymatch_light.cpp); the band's departures say whether the crop
// departs; the search decides where it lies (graymatch_search.cpp); the band marks the change
// there; the floor adds what a plain comparison finds where it is reliable. What one stage
// guarantees no later one takes back: the floor's marks are only ever added.
#include "graymatch_stages.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include <QDebug>

#include <opencv2/imgproc.hpp>

using namespace MatchStages;

namespace {
constexpr int kMaxAmplify = 4;          // amplify is clamped to 0..4
constexpr int kToleranceDivisor = 220;  // (100 - sensitivity)^2 / 220: 14 grey levels at 45

// One grey match after the light: where the crop departs, where it lies, what departs there.
struct GreyJudgement
{
    const GrayMatch& m;
    const cv::Mat& image;
    const cv::Mat& around;
    const double light, agree, ratio;
    Levels& levels;
    Comparison* cmp;  // [band, mean, own, own mean, changed], as Match sets them up
    ExactLight& exact;
    cv::Mat& diff;

    void Run();
    void JudgeAt(cv::Point shift, int here, bool aligned, Edges& edges, cv::Mat* marks);
};

// The departures from the band where the crop lies (the pixels', per row, and the means'). Where
// there are none and the texture sits at its alignment, the floor alone judges; else the crop is
// judged at the movement the search finds for it: the band's search where the band departs, or,
// where it takes the crop in, the texture's by the references' own values.
void GreyJudgement::Run()
{
    static thread_local cv::Mat marks[4];  // the departures of each of cmp[0..3]
    static thread_local std::vector<int> rowCounts;  // the departures of each row
    rowCounts.resize(size_t(m.height));
    const int lightReach = exact.Reach();
    const int here = MarkDepartures(cmp[0], marks[0], rowCounts.data());
    const int meansHere = MarkDeparturesIn(cmp[1], marks[1], MeanArea(image.size(), cv::Point(), levels.rimSeen));
    const bool departs = here > 0 || meansHere > 0;
    // A fine texture off its alignment may stay inside the band: found by its own values.
    bool aligned = false;  // a narrow crop's alignment read on the window around it
    // (The own values' departures, counted on texture there and marked by the floor, found once.)
    const int ownStill = departs ? 0 : MarkDepartures(cmp[2], marks[2]);
    const cv::Point textureShift =
        departs ? cv::Point() : TextureShift(cmp[2], m, 0, around, ratio, &aligned, &marks[2]);
    if (!departs && textureShift == cv::Point()) {
        diff = cv::Mat::zeros(m.height, m.width, CV_8UC1);
        MarkPlain(m, cmp[2], cv::Point(), 0, diff, aligned, &exact, lightReach, &marks[2], ownStill);
        return;
    }
    // A crop a few pixels off is judged where it lies: every pixel against the references moved
    // by the best shift, the uncovered strip against the nearest reference pixels.
    static thread_local Edges edges;
    edges.reset(m);
    const cv::Rect searched = SearchedMeans(marks[1].size());
    const int searchedHere = searched.empty() ? 0 : cv::countNonZero(marks[1](searched));
    cv::Point shift = departs ? BestShift(cmp, edges, here + searchedHere, rowCounts) : textureShift;
    if (departs && shift != cv::Point() &&
        (!FitsOwnBetter(cmp[2], m, shift) || !WindowExplains(cmp[2], m, shift, around, ratio)))
        shift = cv::Point();
    if (departs && shift == cv::Point())
        shift = TextureShift(cmp[2], m, here, around, ratio, &aligned);
    JudgeAt(shift, here, aligned, edges, marks);
}

// The crop judged at shift (none: where it lies): the comparisons moved there and the light read
// again where it fits; the band's change marked, then the floor's.
void GreyJudgement::JudgeAt(cv::Point shift, int here, bool aligned, Edges& edges, cv::Mat* marks)
{
    const int lightReach = exact.Reach();
    int bandHere = here;  // the pixels departing from the band where the crop is compared
    // A departing mean marks only where the pixel itself changed (see MarkChange).
    cmp[1].also = &cmp[4];
    static thread_local cv::Mat moved[4][2];  // [comparison][low, high]
    // After a movement the means at the references' rim are judged where both sides read what the
    // references saw there (see MeanArea), a pixel wider (see WidenRing); the frame's rim, which
    // shows what lay around the references, where the frame's windows read it around the crop. Not
    // after a movement at the search's reach: the crop may lie farther off, its rim farthest.
    const bool inRim =
        levels.rimSeen && shift != cv::Point() && std::max(std::abs(shift.x), std::abs(shift.y)) < kMaxShift;
    const cv::Rect means = MeanArea(image.size(), shift, levels.rimSeen && (inRim || shift == cv::Point()), inRim);
    if (shift == cv::Point()) {
        MarkDeparturesIn(cmp[1], marks[1], means);
    } else {
        MoveComparisons(cmp, edges, shift, moved);
        levels.Refit(ratio, light, agree, moved[2][0], moved[2][1], moved[3][0], moved[3][1], cmp);
        if (inRim)
            WidenRing(moved[1], moved[3], means, MeanArea(image.size(), shift));
        // Means only where their windows lie on what the references saw.
        const int meansThere = MarkDeparturesIn(cmp[1], marks[1], means);
        bandHere = MarkDepartures(cmp[0], marks[0]);
        if (bandHere + meansThere == 0) {
            diff = cv::Mat::zeros(m.height, m.width, CV_8UC1);
            MarkPlain(m, cmp[2], shift, 0, diff, aligned, &exact, lightReach);
            return;
        }
    }
    const int ownHere = MarkChange(cmp, marks, means, m.judged, m.wholeMask, diff);
    MarkPlain(m, cmp[2], shift, bandHere, diff, aligned, &exact, lightReach, &marks[2], ownHere, &cmp[0]);
}
}  // namespace

void GrayMatch::Clear()
{
    valid = false;
    tempCount = 0;
    judged.release();
    band = own = mean = ownMean = context = ownContext = nearby = meanAround = ownMeanAround = Band();
    rimMeans = false;
    firm.release();
    textured.release();
    textureSpan.release();
    texturedCount = 0;
    wholeMask = true;
    hueRefs.clear();
    hueExcuse.release();
    chromaRefs.clear();
    chromaStep.release();
    chromaFirm.clear();
    chromaLoose.clear();
    chromaMeans.clear();
    meanRim = MeanRim();
    outline = Outline();
    aroundAt = cv::Rect();
    around = Band();
    aroundCount = 0;
}

void GrayMatch::Create(int w, int h, const cv::Mat& mask, int)
{
    Clear();
    width = std::max(0, w);
    height = std::max(0, h);
    if (!mask.empty() && mask.type() == CV_8UC1 && mask.cols == width && mask.rows == height) {
        cv::compare(mask, 255, judged, cv::CMP_EQ);
    } else {
        if (!mask.empty())
            qWarning() << "GrayMatch: mask of" << mask.cols << "x" << mask.rows << "for a model of" << width << "x"
                       << height << ", judging every pixel";
        judged = cv::Mat(height, width, CV_8UC1, cv::Scalar(255));
    }
    wholeMask = cv::countNonZero(judged) == width * height;
    if (wholeMask)
        return;
    cv::Mat one, count;
    cv::threshold(judged, one, 0, 1, cv::THRESH_BINARY);
    cv::boxFilter(one, count, CV_16U, cv::Size(kMeanWindow, kMeanWindow), cv::Point(-1, -1), false, cv::BORDER_REFLECT);
    for (const bool inside : {true, false}) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int n = count.at<unsigned short>(y, x);
                if (n > 0 && n < kMeanWindow * kMeanWindow && (judged.at<unsigned char>(y, x) != 0) == inside) {
                    meanRim.at.emplace_back(x, y);
                    meanRim.count.push_back(static_cast<unsigned char>(n));
                }
            }
        if (inside)
            meanRim.judged = meanRim.at.size();
    }
}

void GrayMatch::AddTemp(const cv::Mat& crop)
{
    if (crop.type() != CV_8UC1 || crop.cols != width || crop.rows != height || width == 0 || height == 0) {
        qWarning() << "GrayMatch: reference crop of" << crop.cols << "x" << crop.rows << "ignored, model is" << width
                   << "x" << height;
        return;
    }
    ++tempCount;
    if (circular) {
        hueRefs.push_back(HueField(crop));
        HueExcuse(hueExcuse, crop);
        cv::insertChannel(cv::Mat::zeros(crop.size(), CV_32F), hueRefs.back(), 3);  // firm nowhere yet
        return;
    }
    FoldBand(*this, crop);
}

void GrayMatch::AddContext(const cv::Mat& picture, cv::Rect at)
{
    if (circular || picture.type() != CV_8UC1 || at.size() != cv::Size(width, height) || aroundCount + 1 != tempCount)
        return;
    if (std::min(width, height) >= kTextureContext) {
        // A whole crop's means over the picture around it (a masked one's windows read only its
        // judged pixels, none of which lie outside).
        const cv::Rect window(at.x - kRimAround, at.y - kRimAround, width + 2 * kRimAround, height + 2 * kRimAround);
        if (!wholeMask || (window & cv::Rect(0, 0, picture.cols, picture.rows)) != window)
            return;
        cv::Mat all, m, lo, hi;
        MeansAround(picture(window), all, m, &lo, &hi);
        meanAround.fold(lo, hi);
        ownMeanAround.fold(m.clone(), cv::Mat());
        aroundAt = window - at.tl();
        ++aroundCount;
        return;
    }
    const cv::Rect window = cv::Rect(at.x - kTextureAround, at.y - kTextureAround, width + 2 * kTextureAround,
                                     height + 2 * kTextureAround) &
                            cv::Rect(0, 0, picture.cols, picture.rows);
    // Every reference over the same window (the pictures of a camera are of one size).
    if ((window & at) != at || (aroundCount > 0 && window - at.tl() != aroundAt))
        return;
    aroundAt = window - at.tl();
    around.fold(picture(window).clone(), cv::Mat());
    ++aroundCount;
}

void GrayMatchModel::Band::fold(const cv::Mat& lo, const cv::Mat& hi)
{
    const cv::Mat& top = hi.empty() ? lo : hi;
    if (low.empty()) {
        low = lo;
        high = top;
        return;
    }
    if (high.data == low.data)
        high = low.clone();
    cv::min(low, lo, low);
    cv::max(high, top, high);
}

void GrayMatchModel::Band::open(const cv::Mat& out)
{
    if (high.data == low.data)
        high = low.clone();
    low.setTo(0, out);
    high.setTo(255, out);
}

void GrayMatch::Train(int sensitivity, int amplify, int toleranceScale, int toleranceMax)
{
    sensitivity = std::clamp(sensitivity, 0, 100);
    gain = 1 + std::clamp(amplify, 0, kMaxAmplify);
    const long long loose = 100 - sensitivity;
    tolerance = int(std::clamp(1 + loose * loose * std::max(0, toleranceScale) / 100 / kToleranceDivisor, 1LL,
                               std::max(1LL, (long long)toleranceMax)));
    valid = tempCount > 0;
    if (aroundCount != tempCount)  // a reference without the picture around it: none is read
        aroundAt = cv::Rect(), around = meanAround = ownMeanAround = Band(), aroundCount = 0;
    rimMeans = valid && !meanAround.low.empty();
    if (rimMeans)
        TakeRimMeans(*this);
    if (valid && !circular && !wholeMask)
        outline = MakeOutline(judged, band);
    if (valid && !circular) {
        TrainFloor(*this);
        // What a movement is held to over the whole crop, outline included.
        context = band;
        ownContext = own;
        if (!wholeMask) {
            context.low = band.low.clone(), context.high = band.high.clone();
            ownContext.low = own.low.clone(), ownContext.high = own.high.clone();
        }
    }
    chromaFirm.clear();
    chromaLoose.clear();
    if (valid && circular && !chromaRefs.empty() && chromaRefs.size() == hueRefs.size())
        SortChroma(*this);
    if (valid && !circular) {
        // Pixels left out of judging can never depart: their bands are the whole range.
        const cv::Mat out = judged == 0;
        if (!wholeMask)
            for (Band* b : {&band, &own, &mean, &ownMean}) b->open(out);
    }
}

void GrayMatch::Match(const cv::Mat& image, cv::Mat& diff, double light, double agree, const cv::Mat& colour,
                      const cv::Mat& around) const
{
    if (!valid || image.type() != CV_8UC1 || image.cols != width || image.rows != height) {
        diff = cv::Mat::zeros(image.rows, image.cols, CV_8UC1);
        return;
    }
    // departure * gain > tolerance  <=>  departure > tolerance / gain for integer departures
    const int limit = tolerance / gain;
    if (circular) {
        MatchHue(*this, image, colour, limit, diff);
        if (!colour.empty())
            MatchChroma(*this, colour, limit, diff);
        return;
    }
    Levels levels(*this, image, around);
    const unsigned char lim = static_cast<unsigned char>(std::clamp(limit, 0, 255));
    const unsigned char meanLim = static_cast<unsigned char>(std::clamp(limit / kMeanShare, kMinMeanLimit, 255));
    // The pixels against the band and against the references' own values, the means against
    // theirs, and the pixels' own values again with half the tolerance (the pixel changed at
    // all): [band, mean, own, own mean, changed].
    const unsigned char changeLim = static_cast<unsigned char>(std::min(255, limit / 2));
    cv::Mat& level = levels.level;
    cv::Mat& levelMeans = levels.levelMeans;
    Comparison cmp[5] = {{&level, &level, &band.low, &band.high, lim, 255},
                         {&levelMeans, &levelMeans, &mean.low, &mean.high, meanLim, 255},
                         {&level, &level, &own.low, &own.high, lim, 255},
                         {&levelMeans, &levelMeans, &ownMean.low, &ownMean.high, meanLim, 255},
                         {&level, &level, &own.low, &own.high, changeLim, 255}};
    // What a region leaves out never departs, also where a movement brings it onto judged pixels.
    if (!wholeMask)
        for (Comparison& c : cmp) c.only = &judged;
    const double ratio = levels.Read(light, agree);
    if (levels.Dims(ratio, light, agree)) {
        Dimmed(*this, ratio).Match(image, diff, 1.0, 0, colour);
        return;
    }
    levels.BringTo(ratio, cmp);
    ExactLight exact(cmp[2], image, ratio, light, agree, lim);
    GreyJudgement{*this, image, around, light, agree, ratio, levels, cmp, exact, diff}.Run();
}

// The tolerant band: how far each pixel, and the mean around it, may lie from the references.
// Guarantees: at the references' brightness a pixel departs only beyond the tolerance outside the
// darkest..brightest value the references show in its 3 x 3 neighbourhood, so a shift of a pixel
// and the spread between references never depart; its 5 x 5 mean departs beyond a third of the
// tolerance (at least 3 levels) from the references' means a pixel around where the pixel itself
// changed by half of it, so a small faint part on a texture, inside every pixel's band, departs.
// A departing area takes its rim with it, and gaps of up to 6 pixels between and inside marks a
// 3 x 3 opening keeps are closed (a part partly on a surface of its own grey is judged whole);
// marks scattered alone are never joined. Pixels the mask leaves out never depart.
namespace MatchStages {

namespace {
constexpr int kFillSpan = 7;  // gaps up to this less one pixel between marks that hold together are closed

// The departures of row y of the crop's part `at` from row y of the band's part `ref` (see
// Departures); with Store, 255 in d where a pixel departs, else 0. The conditions the comparison
// has are template arguments: the row's loop carries no test that is the same for every pixel.
template <bool Also, bool Only, bool Store>
int DepartureRow(const Comparison& c, cv::Rect at, cv::Rect ref, int y, unsigned char* d)
{
    const int width = at.width;
    const Comparison& a = Also ? *c.also : c;
    const unsigned char lim = c.lim, ceiling = c.ceiling, alsoLim = a.lim, alsoCeiling = a.ceiling;
    const unsigned char* v = c.up->ptr<unsigned char>(at.y + y) + at.x;
    const unsigned char* w = c.down->ptr<unsigned char>(at.y + y) + at.x;
    const unsigned char* lo = c.low->ptr<unsigned char>(ref.y + y) + ref.x;
    const unsigned char* hi = c.high->ptr<unsigned char>(ref.y + y) + ref.x;
    const unsigned char* av = a.up->ptr<unsigned char>(at.y + y) + at.x;
    const unsigned char* aw = a.down->ptr<unsigned char>(at.y + y) + at.x;
    const unsigned char* alo = a.low->ptr<unsigned char>(ref.y + y) + ref.x;
    const unsigned char* ahi = a.high->ptr<unsigned char>(ref.y + y) + ref.x;
    const unsigned char* judged = Only ? c.only->ptr<unsigned char>(at.y + y) + at.x : nullptr;
    int x = 0, here = 0;
#if CV_SIMD
    const cv::v_uint8 vlim = cv::vx_setall_u8(lim), alim = cv::vx_setall_u8(alsoLim);
    const cv::v_uint8 vceil = cv::vx_setall_u8(ceiling), aceil = cv::vx_setall_u8(alsoCeiling);
    auto departedAt = [&](int i) {
        // u8 subtraction saturates at 0
        cv::v_uint8 departed = cv::v_max(cv::vx_load(lo + i) - cv::vx_load(v + i),
                                         cv::v_min(cv::vx_load(w + i), vceil) - cv::vx_load(hi + i)) > vlim;
        if (Also)
            departed = departed & (cv::v_max(cv::vx_load(alo + i) - cv::vx_load(av + i),
                                             cv::v_min(cv::vx_load(aw + i), aceil) - cv::vx_load(ahi + i)) > alim);
        if (Only)
            departed = departed & cv::vx_load(judged + i);
        return departed;
    };
    // Each lane counts its departures (255 is -1: subtracting it adds one), summed up at the end
    // of the row or of each run of 254 vectors (the last whole vector may add one), before a lane
    // could overflow.
    const cv::v_uint8 one = cv::vx_setall_u8(1);
    cv::v_uint8 lanes = cv::vx_setzero_u8();
    cv::v_uint32 sum = cv::vx_setzero_u32();
    const int whole = width - cv::v_uint8::nlanes;  // where the row's last whole vector starts
    while (x <= whole) {
        const int stop = std::min(whole, x + 253 * cv::v_uint8::nlanes);
        for (; x <= stop; x += cv::v_uint8::nlanes) {
            const cv::v_uint8 departed = departedAt(x);
            if (Store)
                cv::v_store(d + x, departed);
            lanes = cv::v_sub_wrap(lanes, departed);
        }
        if (x <= whole) {
            sum += cv::v_dotprod_expand_fast(lanes, one);
            lanes = cv::vx_setzero_u8();
        }
    }
    if (x < width && width >= cv::v_uint8::nlanes) {
        // The rest as the row's last whole vector, its pixels counted already left out.
        const int last = width - cv::v_uint8::nlanes;
        const cv::v_uint8 departed = departedAt(last);
        if (Store)
            cv::v_store(d + last, departed);
        static const cv::v_uint8 lane = [] {
            unsigned char l[cv::v_uint8::nlanes];
            for (int i = 0; i < cv::v_uint8::nlanes; ++i) l[i] = static_cast<unsigned char>(i);
            return cv::vx_load(l);
        }();
        const cv::v_uint8 fresh = lane >= cv::vx_setall_u8(static_cast<unsigned char>(x - last));
        lanes = cv::v_sub_wrap(lanes, departed & fresh);
        x = width;
    }
    sum += cv::v_dotprod_expand_fast(lanes, one);
    here = int(cv::v_reduce_sum(sum));
#endif
    for (; x < width; ++x) {
        const bool departed = std::max(lo[x] - v[x], std::min(w[x], ceiling) - hi[x]) > lim &&
                              (!Also || std::max(alo[x] - av[x], std::min(aw[x], alsoCeiling) - ahi[x]) > alsoLim) &&
                              (!Only || judged[x]);
        if (Store)
            d[x] = departed ? 255 : 0;
        here += departed;
    }
    return here;
}

// Departures with the comparison's conditions as template arguments.
template <bool Also, bool Only, bool Store>
int DepartureRows(const Comparison& c, cv::Rect at, cv::Rect ref, int rowStep, int cap, cv::Mat* out, int first,
                  int* perRow)
{
    int count = 0;
    auto row = [&](int y) {
        const int here = DepartureRow<Also, Only, Store>(c, at, ref, y, Store ? out->ptr<unsigned char>(y) : nullptr);
        if (perRow)
            perRow[y] = here;
        return here;
    };
    for (int y = first; y < at.height && count <= cap; y += rowStep) count += row(y);
    for (int y = 0; y < first && count <= cap; y += rowStep) count += row(y);
    return count;
}
}  // namespace

int Departures(const Comparison& c, cv::Rect at, cv::Rect ref, int rowStep, int cap,
               cv::Mat* out, int first, int* perRow)
{
    first = std::clamp(first / rowStep * rowStep, 0, std::max(0, at.height - 1) / rowStep * rowStep);
    using Rows = int (*)(const Comparison&, cv::Rect, cv::Rect, int, int, cv::Mat*, int, int*);
    static const Rows rows[8] = {DepartureRows<false, false, false>, DepartureRows<false, false, true>,
                                 DepartureRows<false, true, false>,  DepartureRows<false, true, true>,
                                 DepartureRows<true, false, false>,  DepartureRows<true, false, true>,
                                 DepartureRows<true, true, false>,   DepartureRows<true, true, true>};
    const int kind = (c.also ? 4 : 0) + (c.only ? 2 : 0) + (out ? 1 : 0);
    return rows[kind](c, at, ref, rowStep, cap, out, first, perRow);
}

int MarkDepartures(const Comparison& c, cv::Mat& out, int* perRow)
{
    out.create(c.up->size(), CV_8UC1);
    const cv::Rect all(cv::Point(), out.size());
    return Departures(c, all, all, 1, INT_MAX, &out, 0, perRow);
}

int MarkDeparturesIn(const Comparison& c, cv::Mat& out, cv::Rect area)
{
    out.create(c.up->size(), CV_8UC1);
    area &= cv::Rect(cv::Point(), out.size());
    KeepOnly(out, area);
    if (area.empty())
        return 0;
    cv::Mat inside = out(area);
    return Departures(c, area, area, 1, INT_MAX, &inside);
}

// The 5 x 5 means of the crop in the middle of window (kRimAround wider each side) into means (a
// view of all, the window's means), and their band a pixel around into low, high: the windows at
// the crop's rim read what lies around it.
void MeansAround(const cv::Mat& window, cv::Mat& all, cv::Mat& means, cv::Mat* low, cv::Mat* high)
{
    if (!low) {
        // The means alone need half a window around: the windows of the crop's pixels lie on it.
        const int skip = kRimAround - kMeanWindow / 2;
        BoxMean5(window(cv::Rect(skip, skip, window.cols - 2 * skip, window.rows - 2 * skip)), all);
        means = all(cv::Rect(kMeanWindow / 2, kMeanWindow / 2, all.cols - kMeanWindow + 1, all.rows - kMeanWindow + 1));
        return;
    }
    BoxMean5(window, all);
    const cv::Rect inner(kRimAround, kRimAround, window.cols - 2 * kRimAround, window.rows - 2 * kRimAround);
    means = all(inner);
    cv::Mat lo, hi;
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::erode(all, lo, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(all, hi, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    *low = lo(inner).clone(), *high = hi(inner).clone();
}

namespace {
// Closes the gaps of up to kFillSpan - 1 pixels between and inside marks that a 3 x 3 opening
// keeps (a part, or its pieces), so a part is judged whole where some of its pixels match the
// surface under them; the gap closed counts to the area weighed against the alarm area. Marks
// scattered alone (sensor noise at a high sensitivity) take no part: they are never joined into
// an area.
void FillGaps(cv::Mat& diff)
{
    const cv::Rect box = cv::boundingRect(diff);
    if (box.empty())
        return;
    static thread_local cv::Mat held;
    // The opening keeps nothing where the cross erodes every mark: where no mark has its four
    // neighbours marked too (past the crop's edge counts as marked, as the erosion takes it).
    bool kept = false;
    for (int y = box.y; y < box.br().y && !kept; ++y) {
        const unsigned char* m = diff.ptr<unsigned char>(y);
        const unsigned char* up = y > 0 ? diff.ptr<unsigned char>(y - 1) : nullptr;
        const unsigned char* down = y + 1 < diff.rows ? diff.ptr<unsigned char>(y + 1) : nullptr;
        for (int x = box.x; x < box.br().x && !kept; ++x)
            kept = m[x] && (x == 0 || m[x - 1]) && (x + 1 == diff.cols || m[x + 1]) && (!up || up[x]) &&
                   (!down || down[x]);
    }
    if (!kept)
        return;
    // Only the marks' surroundings are worked on: a closing adds nothing outside their box.
    const int pad = kFillSpan / 2 + 1;
    const cv::Rect around = cv::Rect(box.x - pad, box.y - pad, box.width + 2 * pad, box.height + 2 * pad) &
                            cv::Rect(cv::Point(), diff.size());
    cv::Mat part = diff(around);
    // Opened as the general filter opens a picture's part: eroded over the crop's pixels a pixel
    // around it too, the erosion then dilated on its own.
    ErodeInPicture(part, held, [](cv::Mat& m) { Cross<true>(m); });
    held = held.clone();
    Cross<false>(held);
    if (cv::countNonZero(held) == 0)
        return;
    // Past the crop's edge the marks go on as they end there: a part cut by it is closed up to it
    // (a repeated border adds nothing a square's least or greatest does not take in already).
    Square<false>(held, kFillSpan);
    Square<true>(held, kFillSpan);
    cv::bitwise_or(part, held, part);
}
}  // namespace

// The last step of a match: the change marked from the departures of the pixels (marks[0]) and
// of the means (marks[1]) so far, with the comparisons cmp as they stand (moved, if the crop
// was). A change is marked only where the picture changed: a departing mean marks the pixels
// that differ from the references' own values by at least half the tolerance (not the rim its
// window reaches beyond a part). A departing area's rim: next to a departing pixel, a pixel that
// departs from the references' own value departs too, and where the references are textured
// (the band wider than the tolerance: there a single pixel hides a faint change), one whose mean
// departs from the references' own mean. (A band departure is always an own departure, and so
// are the means'; the mask is in the bands since training.)
// Returns the pixels departing from the references' own values, left in marks[2].
int MarkChange(Comparison* cmp, cv::Mat* marks, cv::Rect means, const cv::Mat& judged, bool wholeMask, cv::Mat& diff)
{
    // Textured: high - low > lim, which is the departure of low..high from the band high..low.
    const Comparison textured = {cmp[0].low, cmp[0].high, cmp[0].high, cmp[0].low, cmp[0].lim, 255};
    cmp[3].also = &textured;
    MarkDeparturesIn(cmp[3], marks[3], means);
    const int own = MarkDepartures(cmp[2], marks[2]);
    PerPixel(marks[0], marks[1], marks[1], [](auto band, auto means, auto) { return band | means; });
    Dilate3(marks[0]);
    // (the crop's pixels outside the region never count)
    PerPixel(marks[3], marks[2], judged, [](auto means, auto pixels, auto in) { return (means | pixels) & in; });
    diff.create(marks[0].size(), CV_8UC1);
    PerPixel(diff, marks[0], marks[3], [](auto, auto near, auto changed) { return near & changed; });
    FillGaps(diff);
    if (!wholeMask)
        cv::bitwise_and(diff, judged, diff);
    return own;
}

// A reference crop folded in: the band is the darkest and brightest over each pixel's 3 x 3
// neighbourhood (an edge may move by a pixel), own the pixel itself, mean and ownMean the same of
// the 5 x 5 means over judged pixels.
void FoldBand(GrayMatch& model, const cv::Mat& crop)
{
    cv::Mat lo, hi, m, meanLo, meanHi;
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::erode(crop, lo, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(crop, hi, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    WindowMean(crop, model, m, false);
    cv::erode(m, meanLo, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(m, meanHi, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    model.band.fold(lo, hi);
    model.own.fold(crop.clone(), cv::Mat());
    model.mean.fold(meanLo, meanHi);
    model.ownMean.fold(m, cv::Mat());
}

// The rim's means and their band as read over the picture around (every reference had it); inside
// it the band a pixel around stays as read on the crop (its neighbours in the rim would widen it by
// what lies beyond the crop, and a part inside would pass where it departed before).
void TakeRimMeans(GrayMatch& model)
{
    model.ownMean = model.ownMeanAround;
    const int half = kMeanWindow / 2;
    const cv::Rect inner(half, half, model.width - 2 * half, model.height - 2 * half);
    GrayMatch::Band rim{model.meanAround.low.clone(), model.meanAround.high.clone()};
    model.mean.low(inner).copyTo(rim.low(inner));
    model.mean.high(inner).copyTo(rim.high(inner));
    model.mean = rim;
}

}  // namespace MatchStages

// What a crop moved against its references is compared with.
// Guarantees: a crop moved by (dx, dy) meets the reference pixel it now lies on; the strip the
// movement uncovers at the crop's edge, and the judged pixels it brings onto pixels the mask
// leaves out (a circle's or polygon's outline, ignored points), meet the references' widest band
// within the movement's reach of the nearest judged pixel: after a movement every judged pixel is
// judged, and none against what the references never saw as the region. Means are judged only
// where their windows lie on what the references saw (at the rim too where both sides read the
// picture around the crop). The model's own bands are never written.
namespace MatchStages {

namespace {
// A band of the references (low or high, or the own values) as the crop moved by shift meets
// it: crop pixel p gets the value of reference pixel p - shift. The strip the movement uncovers
// shows what lay outside the region when it was taught; it is judged against the references'
// values within the movement's reach of the nearest reference pixel inside the region (edge:
// only its border lines are read), the widest of them (low: darkest, high: brightest). So every
// pixel of the crop is judged.
void MovedBand(const cv::Mat& band, const cv::Mat& edge, cv::Point shift, cv::Mat& out)
{
    const cv::Size size = band.size();
    const cv::Rect ref = Overlap(size, shift), crop = ref + shift;
    out.create(size, CV_8UC1);
    if (ref.empty())
        return;
    for (int y = 0; y < size.height; ++y) {
        const int ry = std::clamp(y - shift.y, ref.y, ref.br().y - 1);
        const bool inside = y - shift.y == ry;
        const unsigned char* b = (inside ? band : edge).ptr<unsigned char>(ry);
        const unsigned char* e = edge.ptr<unsigned char>(ry);
        unsigned char* o = out.ptr<unsigned char>(y);
        std::fill(o, o + crop.x, e[ref.x]);
        std::memcpy(o + crop.x, b + ref.x, size_t(ref.width));
        std::fill(o + crop.br().x, o + size.width, e[ref.br().x - 1]);
    }
}

// The band's border lines widened to take in what lies within reach of them, borders repeated
// (Darkest: the least value, else the greatest): out has the band's size, and only its first
// and last rows and columns are set, all a movement's strip reads of it.
template <bool Darkest>
void WidenBorders(const cv::Mat& band, int reach, cv::Mat& out)
{
    const int rows = band.rows, cols = band.cols;
    out.create(band.size(), CV_8UC1);
    auto pick = [](unsigned char a, unsigned char b) { return Darkest ? std::min(a, b) : std::max(a, b); };
    static thread_local std::vector<unsigned char> across, widened;
    // a[i] = pick(a[i], b[i]) for i < n, in vectors where they are.
    auto pickAll = [&](unsigned char* a, const unsigned char* b, int n) {
        int i = 0;
#if CV_SIMD
        for (; i + cv::v_uint8::nlanes <= n; i += cv::v_uint8::nlanes)
            cv::v_store(a + i, Darkest ? cv::v_min(cv::vx_load(a + i), cv::vx_load(b + i))
                                       : cv::v_max(cv::vx_load(a + i), cv::vx_load(b + i)));
#endif
        for (; i < n; ++i) a[i] = pick(a[i], b[i]);
    };
    // One border line: across takes in the line and the lines up to reach into the band from its
    // side (start: the line's first pixel, step: to the next along it, inward: to the next line
    // in), with its ends repeated reach times; then put(i, v) the across within reach along it.
    auto line = [&](int length, int depth, const unsigned char* start, ptrdiff_t step, ptrdiff_t inward,
                    const auto& put) {
        across.assign(size_t(length + 2 * reach), Darkest ? 255 : 0);
        unsigned char* a = across.data() + reach;
        for (int j = 0; j <= std::min(reach, depth - 1); ++j) {
            const unsigned char* b = start + j * inward;
            if (step == 1)
                pickAll(a, b, length);
            else
                for (int i = 0; i < length; ++i) a[i] = pick(a[i], b[i * step]);
        }
        std::fill(across.begin(), across.begin() + reach, a[0]);
        std::fill(a + length, a + length + reach, a[length - 1]);
        widened.assign(across.begin(), across.begin() + length);
        for (int k = 1; k <= 2 * reach; ++k) pickAll(widened.data(), across.data() + k, length);
        for (int i = 0; i < length; ++i) put(i, widened[i]);
    };
    const ptrdiff_t stride = ptrdiff_t(band.step[0]), outStride = ptrdiff_t(out.step[0]);
    const unsigned char* first = band.ptr<unsigned char>(0);
    unsigned char* top = out.ptr<unsigned char>(0);
    unsigned char* bottom = out.ptr<unsigned char>(rows - 1);
    line(cols, rows, first, 1, stride, [&](int i, unsigned char v) { top[i] = v; });
    line(cols, rows, band.ptr<unsigned char>(rows - 1), 1, -stride, [&](int i, unsigned char v) { bottom[i] = v; });
    line(rows, cols, first, stride, 1, [&](int i, unsigned char v) { top[i * outStride] = v; });
    line(rows, cols, first + cols - 1, stride, -1, [&](int i, unsigned char v) { top[i * outStride + cols - 1] = v; });
}
}  // namespace

// Departures of the strip the movement uncovers (the crop's pixels outside the overlap), each
// against the nearest reference pixel inside the region in c's band widened to the movement's
// reach (see MovedBand), on every rowStep-th row.
int CountStrip(const Comparison& c, cv::Point shift, int rowStep)
{
    const cv::Size size = c.up->size();
    const cv::Rect crop = Overlap(size, shift) + shift;
    int count = 0;
    for (int y = 0; y < size.height; y += rowStep) {
        const int ry = std::clamp(y - shift.y, 0, size.height - 1);
        const unsigned char* v = c.up->ptr<unsigned char>(y);
        const unsigned char* w = c.down->ptr<unsigned char>(y);
        const unsigned char* lo = c.low->ptr<unsigned char>(ry);
        const unsigned char* hi = c.high->ptr<unsigned char>(ry);
        const unsigned char* judged = c.only ? c.only->ptr<unsigned char>(y) : nullptr;
        const bool wholeRow = y < crop.y || y >= crop.br().y;
        for (int x = 0; x < size.width; ++x) {
            if (!wholeRow && x == crop.x)
                x = crop.br().x;  // the overlap is counted apart
            if (x >= size.width)
                break;
            const int rx = std::clamp(x - shift.x, 0, size.width - 1);
            count += std::max(lo[rx] - v[x], std::min(w[x], c.ceiling) - hi[rx]) > c.lim && (!judged || judged[x]);
        }
    }
    return count;
}

void Edges::reset(const GrayMatch& m)
{
    model = &m;
    std::fill(std::begin(ready), std::end(ready), false);
    for (bool* own : outlinedReady) std::fill(own, own + kMaxShift, false);
    asked[0].clear(), asked[1].clear();
}

// Writes the outline values of reach over band at the outline pixels from .. to (indices in
// the outline; with edge, only those near the crop's edge).
void Edges::write(int reach, size_t from, size_t to, bool edge, cv::Mat (&band)[2]) const
{
    const GrayMatch::Outline& o = model->outline;
    const unsigned char* lo = o.low.data() + size_t(reach) * o.at.size();
    const unsigned char* hi = o.high.data() + size_t(reach) * o.at.size();
    unsigned char *low = band[0].data, *high = band[1].data;
    const int* at = o.at.data();
    if (!edge) {
        // Four at a time, each place read once: a byte written may alias anything.
        size_t k = from;
        for (; k + 4 <= to; k += 4) {
            const int a0 = at[k], a1 = at[k + 1], a2 = at[k + 2], a3 = at[k + 3];
            low[a0] = lo[k], low[a1] = lo[k + 1], low[a2] = lo[k + 2], low[a3] = lo[k + 3];
            high[a0] = hi[k], high[a1] = hi[k + 1], high[a2] = hi[k + 2], high[a3] = hi[k + 3];
        }
        for (; k < to; ++k) {
            const int a = at[k];
            low[a] = lo[k], high[a] = hi[k];
        }
        return;
    }
    for (auto k = std::lower_bound(o.edge.begin(), o.edge.end(), from); k != o.edge.end() && *k < to; ++k)
        low[at[*k]] = lo[*k], high[at[*k]] = hi[*k];
}

// The model's band (own: its own values) into band; with edge, only what lies within
// kMaxShift of the crop's edge (the rest is left as it was).
void Edges::copySource(bool own, cv::Mat (&band)[2], bool edge) const
{
    const GrayMatch::Band& source = own ? model->own : model->band;
    const cv::Mat* from[2] = {&source.low, &source.high};
    const int rows = from[0]->rows, cols = from[0]->cols;
    for (int side = 0; side < 2; ++side) {
        if (!edge || rows <= 2 * kMaxShift || cols <= 2 * kMaxShift) {
            from[side]->copyTo(band[side]);
            continue;
        }
        band[side].create(rows, cols, CV_8UC1);
        for (int y = 0; y < rows; ++y) {
            const unsigned char* f = from[side]->ptr<unsigned char>(y);
            unsigned char* t = band[side].ptr<unsigned char>(y);
            if (y < kMaxShift || y >= rows - kMaxShift) {
                std::memcpy(t, f, size_t(cols));
                continue;
            }
            std::memcpy(t, f, kMaxShift);
            std::memcpy(t + cols - kMaxShift, f + cols - kMaxShift, kMaxShift);
        }
    }
}

// c (the pixels against the band, or with own against the references' own values) as a
// movement of that reach compares them: where the region leaves pixels out, a judged pixel
// coming to lie on one is held against the band within reach of the nearest judged pixel.
// Only judged pixels may be compared with it.
Comparison Edges::outline(const Comparison& c, bool own, int reach)
{
    if (model->outline.at.empty())
        return c;
    if (asked[own].empty() || asked[own].back() != reach)
        asked[own].push_back(reach);
    cv::Mat(&band)[2] = outlined[own][reach];
    if (!outlinedReady[own][reach]) {
        copySource(own, band);
        write(reach, 0, model->outline.within[std::min(reach + 1, kMaxShift)], false, band);
        outlinedReady[own][reach] = true;
    }
    Comparison out = c;
    out.low = &band[0], out.high = &band[1];
    return out;
}

// c as outline gives it for the reach asked last, as far as that reach reads (a movement of
// that reach brings judged pixels reach + 1 out, and the strip it uncovers is widened by
// reach along the crop's edge), and past that with the values the reaches asked before gave:
// each reach's values are written over those of the reaches before it, as far as it reads.
// What reads there (the brightness read after a movement, which takes in every pixel of
// the crop with a band, and the strip's band widened along the crop's edge) sees what the
// search's earlier reaches gave. With edge, only the outline pixels near the crop's edge.
// Without edge the band outline gave for the reach asked last is carried on in place (it
// holds that reach's values as far as they go): outline gives that reach afresh after it.
Comparison Edges::overlay(const Comparison& c, bool own, bool edge)
{
    if (model->outline.at.empty() || asked[own].empty())
        return c;
    const int last = asked[own].back();
    const bool inPlace = !edge && outlinedReady[own][last];
    cv::Mat(&band)[2] = inPlace ? outlined[own][last] : overlaid[own];
    size_t covered = 0;  // the last reach to write an outline pixel gives its value
    if (inPlace) {
        covered = model->outline.within[std::min(last + 1, kMaxShift)];
        outlinedReady[own][last] = false;
    } else {
        copySource(own, band, edge);
    }
    for (auto r = asked[own].rbegin(); r != asked[own].rend(); ++r) {
        const size_t to = model->outline.within[std::min(2 * *r + 2, kMaxShift)];
        if (to > covered) {
            write(*r, covered, to, edge, band);
            covered = to;
        }
    }
    Comparison out = c;
    out.low = &band[0], out.high = &band[1];
    return out;
}

// c, the pixels against the band as outline gave them last, with its band widened to take
// in what lies within reach of each pixel (0: as it is).
Comparison Edges::widened(const Comparison& c, int reach)
{
    if (reach <= 0)
        return c;
    if (!ready[reach]) {
        const Comparison band = overlay(c, false, true);  // only the border lines are read
        WidenBorders<true>(*band.low, reach, low[reach]);
        WidenBorders<false>(*band.high, reach, high[reach]);
        ready[reach] = true;
    }
    Comparison out = c;
    out.low = &low[reach], out.high = &high[reach];
    return out;
}

// The crop's pixels whose means are judged after a movement by shift (none: 0, 0): their
// windows lie wholly on the crop and on what the references saw. Where a window reaches past
// the crop, its mirrored half doubles what lies at the edge, and a movement brings in there what
// lay outside the region when it was taught; in that rim and in the strip a movement uncovers,
// only single pixels are judged. Where the windows read the picture around the crop on both
// sides (rimSeen), the rim's means are judged too; where both read what the references saw at
// their rim, the frame's around the crop and theirs around their own (inRim: after a movement),
// up to the edge of the references moved.
cv::Rect MeanArea(cv::Size size, cv::Point shift, bool rimSeen, bool inRim)
{
    const int half = rimSeen ? 0 : kMeanWindow / 2;
    const cv::Rect area = Overlap(size, shift) + shift;
    if (inRim)
        return area & cv::Rect(half, half, size.width - 2 * half, size.height - 2 * half);
    const cv::Rect inner(area.x + half, area.y + half, area.width - 2 * half, area.height - 2 * half);
    return inner.width > 0 && inner.height > 0 ? inner : cv::Rect();
}

// After a movement, the means at the references' rim (the ring of means, the crop's part inRim
// adds to MeanArea) against the references' means within two pixels, the own means there too
// (mean: [low, high] of the means a pixel around, moved; own: the own means moved): the search
// reads its movement on the crop's middle, and a turn leaves the rim, farthest from it, up to a
// pixel further off than that.
void WidenRing(cv::Mat (&mean)[2], cv::Mat (&own)[2], cv::Rect means, cv::Rect inner)
{
    const int rows = mean[0].rows, cols = mean[0].cols;
    // The ring's pixels of row y: all of them above and below inner, else those left and right of it.
    auto eachInRing = [&](int y, auto&& at) {
        const bool whole = y < inner.y || y >= inner.br().y;
        for (int x = means.x; x < means.br().x; ++x) {
            if (!whole && x == inner.x)
                x = inner.br().x;
            if (x >= means.br().x)
                break;
            at(x);
        }
    };
    for (int y = means.y; y < means.br().y; ++y) {
        const int y0 = std::max(0, y - 1), y1 = std::min(rows - 1, y + 1);
        // (Row pointers held apart: a byte written through own may alias any Mat's header.)
        const unsigned char* low[3] = {mean[0].ptr(y0), mean[0].ptr(y), mean[0].ptr(y1)};
        const unsigned char* high[3] = {mean[1].ptr(y0), mean[1].ptr(y), mean[1].ptr(y1)};
        unsigned char* ownLow = own[0].ptr(y);
        unsigned char* ownHigh = own[1].ptr(y);
        eachInRing(y, [&](int x) {
            const int x0 = std::max(0, x - 1), x1 = std::min(cols - 1, x + 1);
            unsigned char lo = 255, hi = 0;
            for (int v = 0; v < 3; ++v)
                for (int u = x0; u <= x1; ++u) {
                    lo = std::min(lo, low[v][u]);
                    hi = std::max(hi, high[v][u]);
                }
            ownLow[x] = lo, ownHigh[x] = hi;
        });
    }
    // (Written apart: the ring's pixels read each other's bands a pixel around.)
    for (int y = means.y; y < means.br().y; ++y) {
        unsigned char* low = mean[0].ptr(y);
        unsigned char* high = mean[1].ptr(y);
        const unsigned char* ownLow = own[0].ptr(y);
        const unsigned char* ownHigh = own[1].ptr(y);
        eachInRing(y, [&](int x) { low[x] = ownLow[x], high[x] = ownHigh[x]; });
    }
}

// The region's outline as movements meet it (see GrayMatch::Outline): the pixels left out within
// kMaxShift of a judged pixel, each with its nearest judged pixel (chessboard distance, found by
// a breadth-first walk from the judged pixels), and the band's darkest and brightest value over
// the judged pixels within each reach of that one.
GrayMatch::Outline MakeOutline(const cv::Mat& judged, const GrayMatch::Band& band)
{
    GrayMatch::Outline o;
    const int w = judged.cols, h = judged.rows;
    std::vector<int> nearest(size_t(w) * h, -1), from, queue;
    std::vector<unsigned char> distance(size_t(w) * h, 0);
    for (int i = 0; i < w * h; ++i)
        if (judged.data[i])
            nearest[i] = i, queue.push_back(i);
    for (size_t head = 0; head < queue.size(); ++head) {
        const int i = queue[head], y = i / w, x = i % w;
        if (distance[i] >= kMaxShift)
            continue;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int ny = y + dy, nx = x + dx, n = ny * w + nx;
                if (ny < 0 || ny >= h || nx < 0 || nx >= w || nearest[n] >= 0)
                    continue;
                nearest[n] = nearest[i];
                distance[n] = static_cast<unsigned char>(distance[i] + 1);
                queue.push_back(n);
                o.at.push_back(n);
                from.push_back(nearest[i]);
            }
    }
    const size_t n = o.at.size();
    o.within.assign(kMaxShift + 1, 0);
    for (int i : o.at) ++o.within[distance[i]];
    for (int d = 1; d <= kMaxShift; ++d) o.within[d] += o.within[d - 1];
    for (size_t k = 0; k < n; ++k) {
        const int y = o.at[k] / w, x = o.at[k] % w;
        if (std::min({x, y, w - 1 - x, h - 1 - y}) < kMaxShift)
            o.edge.push_back(k);
    }
    o.low.resize(n * kMaxShift);
    o.high.resize(n * kMaxShift);
    // Pixels left out take no part: the darkest of a window is never one of them, nor the brightest.
    cv::Mat lo = band.low.clone(), hi = band.high.clone();
    lo.setTo(255, judged == 0);
    hi.setTo(0, judged == 0);
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    for (int reach = 0; reach < kMaxShift; ++reach) {
        if (reach > 0) {
            cv::erode(lo, lo, square);
            cv::dilate(hi, hi, square);
        }
        for (size_t k = 0; k < n; ++k) {
            o.low[reach * n + k] = lo.data[from[k]];
            o.high[reach * n + k] = hi.data[from[k]];
        }
    }
    return o;
}

// The comparisons cmp[0..4] as the crop moved by shift meets the references: each pixel against
// the reference pixel it lies on; the strip the movement uncovers, and the pixels it brings onto
// what the region leaves out, against the band widened to the movement's reach. The bands are
// written into moved ([comparison][low, high]), never into the model's own buffers.
void MoveComparisons(Comparison* cmp, Edges& edges, cv::Point shift, cv::Mat (*moved)[2])
{
    const int reach = StripReach(shift);
    const Comparison pixels = edges.outline(cmp[0], false, reach);
    const Comparison ownPixels = edges.overlay(edges.outline(cmp[2], true, reach), true);
    const Comparison near = edges.widened(pixels, reach);
    const Comparison* bandOf[4] = {&pixels, &cmp[1], &ownPixels, &cmp[3]};
    const Comparison* edgeOf[4] = {&near, &cmp[1], &near, &cmp[3]};
    for (int k = 0; k < 4; ++k) {
        MovedBand(*bandOf[k]->low, *edgeOf[k]->low, shift, moved[k][0]);
        MovedBand(*bandOf[k]->high, *edgeOf[k]->high, shift, moved[k][1]);
    }
    for (int k = 0; k < 4; ++k) cmp[k].low = &moved[k][0], cmp[k].high = &moved[k][1];
    cmp[4].low = cmp[2].low, cmp[4].high = cmp[2].high;
}

}  // namespace MatchStages

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

// The floor: what a plain comparison finds where it is reliable departs, whatever the band made of it.
// Guarantees: each pixel against the references' own value at its place (at the region's
// alignment and light, beyond the tolerance, opened by a 3 x 3 cross) is marked where that plain
// comparison is reliable. Reliable, decided at training per pixel: firm where a whole pixel of
// movement changes the references by at most a third of the tolerance, marked where the pixel
// also lies off every reference value within 3 pixels (a shake the band took in is no part);
// textured elsewhere (fine ribs, knurls, edges), marked while the crop sits still (at most half
// of those pixels depart, and no movement of up to 2 pixels leaves clearly fewer), in solid areas
// (7 x 7) or in strips of ribs joined across gaps of a pixel or two; and, sitting still or not,
// where the crop is smooth though the references were textured (a smooth part of a fine
// texture's mean grey 6 pixels wide or more), unless the crop keeps no texture anywhere (a blur).
namespace MatchStages {

namespace {
constexpr int kNearReach = 3;   // a movement nothing found leaves a firm pixel within the references this far around
constexpr int kNearShare = 2;   // give or take tolerance / this for noise
constexpr int kStillGain = 2;   // a movement leaving 2 / 3 of the departures or fewer explains them
constexpr int kStillReach = 2;  // the movements a textured crop is tried at to tell whether it sits still
constexpr int kSolidSpan = 7;   // a textured pixel's mark holds only within a square this wide of marks
constexpr int kJoinedShare = 2;  // joined strips hold where the marks elsewhere are at most 1 in this many of theirs
constexpr int kFlatSpan = 4;    // a smooth area holds a square this wide: a turn leaves strips of at most 3 pixels
constexpr int kFlatShare = 2;   // smooth: the crop's 3 x 3 range at most 1 in this many of the references'
constexpr int kTextureKeptShare = 4;  // a crop keeping the texture's range on 1 in this many textured pixels is no blur
constexpr int kTraceShare = 2;  // a crop whose values follow the references' by this share keeps the texture's trace

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

// The firm pixels' departures of firmOwn (own, or own at the frame's light) into firmMarks, where
// the pixel lies off every reference value within kNearReach pixels as well, with the references'
// masks moved by shift. Returns the references' textured mask at the crop's place.
const cv::Mat* FirmMarks(const GrayMatch& m, Comparison firmOwn, cv::Point shift, cv::Mat& firmMarks)
{
    static thread_local cv::Mat firm, textured, nearLow, nearHigh;
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
    firmOwn.also = &offNear;
    firmOwn.only = firmAt;
    MarkDepartures(firmOwn, firmMarks);
    return texturedAt;
}
}  // namespace

// The plain comparison's floor: each pixel against the references' own value at its place (own,
// at the region's alignment and light, as the match last moved it) beyond the tolerance, where
// that comparison is reliable, opened by a 3 x 3 cross as a plain comparison is, ORed into diff.
// On firm pixels (see GrayMatch::firm) always, but only where the pixel lies off every reference
// value within kNearReach pixels as well (a movement nothing found changes a firm pixel by
// little, and that little is no part); on textured ones while the region sits at its alignment
// (at most 1 in kStillShare of them departs). So whatever a plain comparison marks where it is
// quiet under the nuisances the matcher tolerates is marked, whatever the band makes of it.
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
    static thread_local cv::Mat marks, firmMarks, onTexture, flatMarks, joined, span, opened, flatOpened;
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
    // On texture only solid areas count: a crop a fraction of a pixel off (a slight turn) departs
    // in lines and specks along the texture's edges, a part as a whole (a piece of ribs moved
    // half an odd period as strips a pixel apart: see JoinedMarks).
    cv::bitwise_and(marks, *texturedAt, onTexture);
    const bool anyOnTexture = cv::countNonZero(onTexture) > 0;
    static thread_local Smooth smooth;
    if (anyOnTexture)
        SmoothPixels(m, *own.up, shift, own.lim, *texturedAt, smooth);
    const int texturedCount = shift == cv::Point() ? m.texturedCount : cv::countNonZero(*texturedAt);
    // The band weighs against every mark on texture, which are marks: where it departs at more than
    // 1 in kBandShare of all of them, the solid areas need not be found.
    const bool bandDeparts = bandHere * kBandShare > marked;
    int markedOnTexture = 0, onTextureCount = 0;
    if (!bandDeparts) {
        if (anyOnTexture)
            FlatMarks(smooth, marks, flatMarks);
        OpenSquare(onTexture, kSolidSpan);
        if (anyOnTexture) {
            if (shift != cv::Point())
                MoveMask(m.textureSpan, shift, span);
            JoinedMarks(marks, shift == cv::Point() ? m.textureSpan : span, onTexture, joined);
            cv::bitwise_or(onTexture, joined, onTexture);
        }
        cv::bitwise_and(onTexture, *texturedAt, joined);
        onTextureCount = cv::countNonZero(joined);
        // Whether the crop sits still, against the solid areas alone (a smooth part may cover most
        // of a small region).
        markedOnTexture = anyOnTexture ? cv::countNonZero(onTexture | flatMarks) : 0;
    }
    // The band's departures that say the crop is off lie where the solid marks do (a texture's
    // cells moved beyond its reach): a compression's specks elsewhere say nothing of them.
    if (band && !bandDeparts && bandHere * kBandShare > markedOnTexture && markedOnTexture > 0) {
        cv::bitwise_or(onTexture, flatMarks, span);
        Square<false>(span, kSolidSpan);
        Comparison near = *band;
        near.only = &span;
        bandHere = Departures(near, all, all);
    }
    // The smooth areas' marks as the plain comparison has them there too: its marks opened over
    // the whole crop, then kept in the areas (opened within them alone, a blurred part's marks,
    // which hold together with the texture's around it, lose what the plain comparison keeps).
    const bool off = bandDeparts || bandHere * kBandShare > markedOnTexture ||
                     (!aligned && !SitsStill(own, *texturedAt, onTextureCount, texturedCount,
                                             m.wholeMask ? nullptr : &m.judged, shift));
    const bool smoothHolds = off && anyOnTexture &&
                             (smooth.kept * kTextureKeptShare >= texturedCount || KeepsNoTrace(own, *texturedAt));
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
        cv::bitwise_or(onTexture, firmMarks, marks);
        if (anyOnTexture)  // (the smooth areas' marks: the gate above is the solid areas' alone)
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
