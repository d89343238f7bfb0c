// The tolerant band: how far each pixel, and the mean around it, may lie from the references.
// Guarantees: at the references' brightness a pixel departs only beyond the tolerance outside the
// darkest..brightest value the references show in its 3 x 3 neighbourhood, so a shift of a pixel
// and the spread between references never depart; its 5 x 5 mean departs beyond a third of the
// tolerance (at least 3 levels) from the references' means a pixel around where the pixel itself
// changed by half of it, so a small faint part on a texture, inside every pixel's band, departs.
// A departing area takes its rim with it, and gaps of up to 6 pixels between and inside marks a
// 3 x 3 opening keeps are closed (a part partly on a surface of its own grey is judged whole);
// marks scattered alone are never joined. Pixels the mask leaves out never depart.
#include "graymatch_stages.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

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
