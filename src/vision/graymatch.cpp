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
