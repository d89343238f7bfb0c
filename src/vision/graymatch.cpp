// Grey template defect matcher.
#include "graymatch.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QDebug>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace {
constexpr int kMaxAmplify = 4;
constexpr int kToleranceDivisor = 220;   // (100 - sensitivity)^2 / 220: 14 grey levels at 45
constexpr double kMinBrightness = 0.85;  // brightness ratios the band follows
constexpr double kMaxBrightness = 1.18;
constexpr double kIgnoredBrightness = 0.02;  // smaller ratios are left to the tolerance
constexpr int kRatioBins = 256;              // brightness ratio histogram: bin = ratio * 128
constexpr int kRatioOne = 128;
constexpr int kMinRatioMid = 32;  // low + high below this (dark pixels) gives no usable ratio
constexpr int kMinRatioPixels = 12;
constexpr int kRatioRowStep = 8;      // the sparse sample of the brightness ratio
constexpr int kRatioColumnStep = 5;
constexpr int kDenseRatioBelow = 48;  // fewer usable pixels in it: every pixel is looked at
constexpr int kHueWindow = 5;         // pixels over which hue coherence is measured
constexpr double kHueLevels = 255.0;  // the hue conversion's full circle
constexpr float kMinHueShare = 0.5f;  // windows with fewer pixels of a hue lose coherence
// Coherence ramps (mean resultant length of 25 hue directions). Random directions (grey
// pixels) stay below 0.55; a faint tint flips between 0.5 and 0.9 as the noise changes,
// so only a clear change of coherence counts, and directions count where both are clear.
constexpr float kSomeLo = 0.30f, kSomeHi = 0.55f;    // "has some hue"
constexpr float kClearLo = 0.85f, kClearHi = 0.95f;  // "has a clear hue"
constexpr float kDirLo = 0.60f, kDirHi = 0.85f;      // direction weight
constexpr float kFadeLo = 0.45f, kFadeHi = 0.70f;    // strength: where noise fades out
// Small movements nothing corrects (vibration, a part a pixel or two off, a slight turn of the
// camera, which moves regions far from its centre by several pixels): the crop is matched at
// the whole-pixel movement up to this many pixels that explains it best.
constexpr int kMaxShift = 8;
constexpr int kMinShiftDepartures = 6;  // fewer departures are noise: not worth a search
constexpr int kShiftGain = 2;           // a movement must at least halve the departures
constexpr int kCleanShare = 50;         // 1 in this many pixels departing is nearly clean
// Median ratio of image to the band's middle over the judged pixels (every fifth pixel of
// every eighth row is plenty), limited to the brightness changes the band follows. Pixels
// left out of judging carry the band 0..255 and are skipped, and so are pixels clipped at
// white: they only say the light is at least that bright. A region drawn on a highlight may
// keep only a few unclipped pixels in a brighter frame: then every pixel is looked at.
double BrightnessRatio(const cv::Mat& image, const cv::Mat& low, const cv::Mat& high)
{
    // 128 / middle of the band for each low + high; 0 where too dark for a ratio.
    static const std::array<float, 511> inverse = [] {
        std::array<float, 511> t{};
        for (int sum = kMinRatioMid; sum < 511; ++sum) t[sum] = float(2.0 * kRatioOne / sum);
        return t;
    }();
    std::array<int, kRatioBins> hist{};
    int n = 0;
    auto sample = [&](int rowStep, int colStep) {
        for (int y = rowStep / 4; y < image.rows; y += rowStep) {
            const unsigned char* v = image.ptr<unsigned char>(y);
            const unsigned char* lo = low.ptr<unsigned char>(y);
            const unsigned char* hi = high.ptr<unsigned char>(y);
            for (int x = colStep / 2; x < image.cols; x += colStep) {
                const float inv = inverse[lo[x] + hi[x]];
                if (inv <= 0 || (lo[x] == 0 && hi[x] == 255) || v[x] == 255)
                    continue;
                ++hist[std::min(kRatioBins - 1, int(v[x] * inv))];
                ++n;
            }
        }
    };
    sample(kRatioRowStep, kRatioColumnStep);
    if (n < kDenseRatioBelow) {
        hist.fill(0);
        n = 0;
        sample(1, 1);
    }
    if (n < kMinRatioPixels)
        return 1.0;
    int seen = 0, bin = 0;
    while (bin < kRatioBins - 1 && (seen += hist[bin]) * 2 < n) ++bin;
    return std::clamp((bin + 0.5) / kRatioOne, kMinBrightness, kMaxBrightness);
}
// Levels are the crop brought to the references' brightness. A pixel clipped at white is kept
// at 255 there: its light was at least `ceiling` (255 at the references' brightness), so it
// can lie above the band only by what `ceiling` does and never below it. Every other level
// is at most `ceiling`, so min(level, ceiling) is the lowest light a level stands for.
//
// Over out's size (8-bit, allocated): 255 where level lies more than lim outside [low, high],
// else 0; the number of such pixels. All four may be views of the same size.
int MarkDepartures(const cv::Mat& level, const cv::Mat& low, const cv::Mat& high, unsigned char lim,
                   unsigned char ceiling, cv::Mat& out)
{
    const int width = out.cols;
    int count = 0;
    for (int y = 0; y < out.rows; ++y) {
        const unsigned char* v = level.ptr<unsigned char>(y);
        const unsigned char* lo = low.ptr<unsigned char>(y);
        const unsigned char* hi = high.ptr<unsigned char>(y);
        unsigned char* d = out.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        const cv::v_uint8 vlim = cv::vx_setall_u8(lim);
        const cv::v_uint8 vceil = cv::vx_setall_u8(ceiling);
        const cv::v_uint8 one = cv::vx_setall_u8(1);
        cv::v_uint32 sum = cv::vx_setzero_u32();
        for (; x <= width - cv::v_uint8::nlanes; x += cv::v_uint8::nlanes) {
            const cv::v_uint8 px = cv::vx_load(v + x);  // u8 subtraction saturates at 0
            const cv::v_uint8 departed =
                cv::v_max(cv::vx_load(lo + x) - px, cv::v_min(px, vceil) - cv::vx_load(hi + x)) > vlim;
            cv::v_store(d + x, departed);
            sum += cv::v_dotprod_expand_fast(departed & one, one);
        }
        count += int(cv::v_reduce_sum(sum));
#endif
        for (; x < width; ++x) {
            d[x] = std::max(lo[x] - v[x], std::min(v[x], ceiling) - hi[x]) > lim ? 255 : 0;
            count += d[x] != 0;
        }
    }
    return count;
}

// The number of departures of MarkDepartures on every rowStep-th row, without a picture;
// counting stops after the first row that takes it above cap.
int CountDepartures(const cv::Mat& level, const cv::Mat& low, const cv::Mat& high, unsigned char lim,
                    unsigned char ceiling, int rowStep, int cap)
{
    const int width = level.cols;
    int count = 0;
    for (int y = 0; y < level.rows && count <= cap; y += rowStep) {
        const unsigned char* v = level.ptr<unsigned char>(y);
        const unsigned char* lo = low.ptr<unsigned char>(y);
        const unsigned char* hi = high.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        const cv::v_uint8 vlim = cv::vx_setall_u8(lim);
        const cv::v_uint8 vceil = cv::vx_setall_u8(ceiling);
        const cv::v_uint8 one = cv::vx_setall_u8(1);
        cv::v_uint32 sum = cv::vx_setzero_u32();
        for (; x <= width - cv::v_uint8::nlanes; x += cv::v_uint8::nlanes) {
            const cv::v_uint8 px = cv::vx_load(v + x);
            const cv::v_uint8 departed =
                cv::v_max(cv::vx_load(lo + x) - px, cv::v_min(px, vceil) - cv::vx_load(hi + x)) > vlim;
            sum += cv::v_dotprod_expand_fast(departed & one, one);
        }
        count += int(cv::v_reduce_sum(sum));
#endif
        for (; x < width; ++x) count += std::max(lo[x] - v[x], std::min(v[x], ceiling) - hi[x]) > lim;
    }
    return count;
}

// Where a crop moved by (dx, dy) against the references overlaps them: the references' part
// (the crop's part is that rectangle moved by (dx, dy)).
cv::Rect Overlap(cv::Size size, cv::Point shift)
{
    const int x0 = std::max(0, -shift.x), y0 = std::max(0, -shift.y);
    return cv::Rect(x0, y0, size.width - std::abs(shift.x), size.height - std::abs(shift.y)) &
           cv::Rect(cv::Point(), size);
}

// A band of the references (low or high, or the own values) as the crop moved by shift meets
// it: crop pixel p gets the value of reference pixel p - shift. The strip the movement uncovers
// shows what lay outside the region when it was taught; it is judged against the references'
// values within the movement's reach of the nearest reference pixel inside the region (edge),
// the widest of them (low: darkest, high: brightest). So every pixel of the crop is judged.
void MovedBand(const cv::Mat& band, const cv::Mat& edge, cv::Point shift, cv::Mat& out)
{
    const cv::Rect ref = Overlap(band.size(), shift);
    cv::copyMakeBorder(edge(ref), out, std::max(0, shift.y), std::max(0, -shift.y), std::max(0, shift.x),
                       std::max(0, -shift.x), cv::BORDER_REPLICATE);
    band(ref).copyTo(out(ref + shift));
}

// Departures of the strip the movement uncovers (the crop's pixels outside the overlap), each
// against the nearest reference pixel inside the region, on every rowStep-th row.
int CountStrip(const cv::Mat& level, const cv::Mat& low, const cv::Mat& high, unsigned char lim, unsigned char ceiling,
               cv::Point shift, int rowStep)
{
    const cv::Rect crop = Overlap(level.size(), shift) + shift;
    int count = 0;
    for (int y = 0; y < level.rows; y += rowStep) {
        const int ry = std::clamp(y - shift.y, 0, level.rows - 1);
        const unsigned char* v = level.ptr<unsigned char>(y);
        const unsigned char* lo = low.ptr<unsigned char>(ry);
        const unsigned char* hi = high.ptr<unsigned char>(ry);
        const bool wholeRow = y < crop.y || y >= crop.br().y;
        for (int x = 0; x < level.cols; ++x) {
            if (!wholeRow && x == crop.x)
                x = crop.br().x;  // the overlap is counted apart
            if (x >= level.cols)
                break;
            const int rx = std::clamp(x - shift.x, 0, level.cols - 1);
            count += std::max(lo[rx] - v[x], std::min(v[x], ceiling) - hi[rx]) > lim;
        }
    }
    return count;
}

// The whole-pixel movement of the crop against the references, up to kMaxShift each way, that
// leaves the fewest departures over the whole crop (the overlap against the moved references,
// the uncovered strip against the nearest reference pixels): a coarse search at even steps
// (the 3 x 3 band takes in the odd ones; every second row is enough), refined around the best.
// A movement counts only when it clearly does better than none: departuresHere is the number
// of departures of the crop where it lies.
cv::Point BestShift(const cv::Mat& level, const cv::Mat& low, const cv::Mat& high, unsigned char lim,
                    unsigned char ceiling, int departuresHere)
{
    const int r = std::min({kMaxShift, (level.cols - 8) / 4, (level.rows - 8) / 4}) / 2 * 2;
    if (r < 2 || departuresHere < kMinShiftDepartures)
        return cv::Point();
    const int enough = departuresHere / kShiftGain;  // a movement must leave fewer than this
    int fewest = enough;
    // The search counts every second row (twice that compares with the whole crop's
    // departures), the refinement every row: a movement leaving a thin line of departures
    // along the rows it skips must not win there.
    auto count = [&](cv::Point d, int rowStep) {
        const cv::Rect ref = Overlap(level.size(), d);
        const int inside = CountDepartures(level(ref + d), low(ref), high(ref), lim, ceiling, rowStep, fewest / rowStep);
        return inside * rowStep > fewest ? inside * rowStep
                                         : rowStep * (inside + CountStrip(level, low, high, lim, ceiling, d, rowStep));
    };
    cv::Point best;
    bool found = false;
    // Even steps, the nearest first: most shaking is a pixel or two, and when that leaves the
    // crop nearly clean the wide search is not needed.
    const int clean = level.rows * level.cols / kCleanShare;  // pixels that may still depart
    for (int reach : {2, r}) {
        if (reach > 2 && found && fewest <= clean)
            break;
        for (int dy = -reach; dy <= reach; dy += 2)
            for (int dx = -reach; dx <= reach; dx += 2) {
                if ((dx == 0 && dy == 0) || (reach > 2 && std::abs(dx) <= 2 && std::abs(dy) <= 2))
                    continue;
                const int c = count(cv::Point(dx, dy), 2);
                if (c < fewest)
                    fewest = c, best = cv::Point(dx, dy), found = true;
            }
    }
    if (!found)
        return cv::Point();
    const cv::Point coarse = best;
    fewest = enough;
    found = false;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const cv::Point d = coarse + cv::Point(dx, dy);
            if (d != cv::Point() && std::abs(d.x) <= r && std::abs(d.y) <= r) {
                const int c = count(d, 1);
                if (c < fewest)
                    fewest = c, best = d, found = true;
            }
        }
    return found ? best : cv::Point();
}

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

cv::Mat HueField(const cv::Mat& hue)
{
    // Hue 0 is also what the conversion gives where all three channels are equal (grey, black,
    // and white clipped in all channels), so an exact 0 says nothing: it is left out of the
    // mean, and a window that is mostly such pixels has no coherent hue. A red part under
    // sensor noise gives 0 only at some pixels and keeps its direction from the others.
    static const std::array<cv::Vec3f, 256> unit = [] {
        std::array<cv::Vec3f, 256> u{};
        for (int i = 1; i < 256; ++i) {
            const double a = 2 * CV_PI * i / kHueLevels;
            u[i] = cv::Vec3f(float(std::cos(a)), float(std::sin(a)), 1.0f);
        }
        return u;
    }();
    cv::Mat mean(hue.size(), CV_32FC3);
    for (int y = 0; y < hue.rows; ++y) {
        const unsigned char* h = hue.ptr<unsigned char>(y);
        cv::Vec3f* f = mean.ptr<cv::Vec3f>(y);
        for (int x = 0; x < hue.cols; ++x) f[x] = unit[h[x]];
    }
    cv::blur(mean, mean, cv::Size(kHueWindow, kHueWindow), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::Mat field(hue.size(), CV_32FC3);
    for (int y = 0; y < hue.rows; ++y) {
        const cv::Vec3f* m = mean.ptr<cv::Vec3f>(y);
        cv::Vec3f* f = field.ptr<cv::Vec3f>(y);
        for (int x = 0; x < hue.cols; ++x) {
            const float r = std::sqrt(m[x][0] * m[x][0] + m[x][1] * m[x][1]);
            const float told = m[x][2];  // share of the window with a hue
            const float coherence = told > 1e-6f ? r / told * std::min(1.0f, told / kMinHueShare) : 0.0f;
            f[x] = r > 1e-6f ? cv::Vec3f(m[x][0] / r, m[x][1] / r, std::min(1.0f, coherence)) : cv::Vec3f(1, 0, 0);
        }
    }
    return field;
}

namespace {
// Departure of hue pixel a from reference pixel b, in field units (1 = a whole clear hue,
// about 40 grey levels): the chord between clear directions, or a clear change of coherence.
float HueDeparture(const cv::Vec3f& a, const cv::Vec3f& b)
{
    const float dx = a[0] - b[0], dy = a[1] - b[1];
    const float direction = std::min(HueDirectionWeight(a[2]), HueDirectionWeight(b[2])) * std::sqrt(dx * dx + dy * dy);
    const float appeared = HueRamp(a[2], kClearLo, kClearHi) - HueRamp(b[2], kSomeLo, kSomeHi);
    const float vanished = HueRamp(b[2], kClearLo, kClearHi) - HueRamp(a[2], kSomeLo, kSomeHi);
    return std::max(direction, std::max(appeared, vanished));
}
}  // namespace

void GrayMatch::Clear()
{
    valid = false;
    tempCount = 0;
    judged.release();
    low.release();
    high.release();
    pointLow.release();
    pointHigh.release();
    hueRefs.clear();
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
        return;
    }
    cv::Mat lo, hi;
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::erode(crop, lo, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(crop, hi, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    if (low.empty()) {
        low = lo;
        high = hi;
        // One reference: its own values are both ends (one buffer, half the memory to read).
        pointLow = crop.clone();
        pointHigh = pointLow;
    } else {
        // The band only widens: the darkest of the lows, the brightest of the highs.
        cv::min(low, lo, low);
        cv::max(high, hi, high);
        if (pointHigh.data == pointLow.data)
            pointHigh = pointLow.clone();
        cv::min(pointLow, crop, pointLow);
        cv::max(pointHigh, crop, pointHigh);
    }
}

void GrayMatch::Train(int sensitivity, int amplify, int toleranceScale, int toleranceMax)
{
    sensitivity = std::clamp(sensitivity, 0, 100);
    gain = 1 + std::clamp(amplify, 0, kMaxAmplify);
    const long long loose = 100 - sensitivity;
    tolerance = int(std::clamp(1 + loose * loose * std::max(0, toleranceScale) / 100 / kToleranceDivisor, 1LL,
                               std::max(1LL, (long long)toleranceMax)));
    valid = tempCount > 0;
    if (valid && !circular) {
        // Pixels left out of judging can never depart: their bands are the whole range.
        const cv::Mat out = judged == 0;
        low.setTo(0, out);
        high.setTo(255, out);
        pointLow.setTo(0, out);
        if (pointHigh.data != pointLow.data)
            pointHigh.setTo(255, out);
        else if (cv::countNonZero(out) > 0)
            pointHigh = pointLow.clone(), pointHigh.setTo(255, out);
    }
}

void GrayMatch::Match(const cv::Mat& image, cv::Mat& diff) const
{
    if (!valid || image.type() != CV_8UC1 || image.cols != width || image.rows != height) {
        diff = cv::Mat::zeros(image.rows, image.cols, CV_8UC1);
        return;
    }
    // departure * gain > tolerance  <=>  departure > tolerance / gain for integer departures
    const int limit = tolerance / gain;
    if (circular) {
        const cv::Mat field = HueField(image);
        // Field distance that departs: a chord of (limit + 1) levels between clear hues.
        const float far = float(2 * std::sin((limit + 1) * CV_PI / kHueLevels));
        diff = cv::Mat::zeros(height, width, CV_8UC1);
        for (int y = 0; y < height; ++y) {
            const cv::Vec3f* f = field.ptr<cv::Vec3f>(y);
            const unsigned char* j = judged.ptr<unsigned char>(y);
            unsigned char* out = diff.ptr<unsigned char>(y);
            for (int x = 0; x < width; ++x) {
                if (!j[x])
                    continue;
                float best = far;
                // Like the grey band, a reference one pixel away is accepted.
                for (const cv::Mat& ref : hueRefs) {
                    for (int ry = std::max(0, y - 1); ry <= std::min(height - 1, y + 1) && best >= far; ++ry) {
                        const cv::Vec3f* r = ref.ptr<cv::Vec3f>(ry);
                        for (int rx = std::max(0, x - 1); rx <= std::min(width - 1, x + 1) && best >= far; ++rx)
                            best = std::min(best, HueDeparture(f[x], r[rx]));
                    }
                }
                if (best >= far)
                    out[x] = 255;
            }
        }
        // The 5 x 5 coherence window and the one-pixel allowance leave only the core of a
        // changed area departing: give its lost rim back, after dropping lone noise pixels.
        const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
        cv::morphologyEx(diff, diff, cv::MORPH_OPEN, square);
        cv::dilate(diff, diff, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kHueWindow, kHueWindow)));
        cv::bitwise_and(diff, judged, diff);
        return;
    }
    // The crop is brought to the references' brightness rather than the band to the crop's:
    // one conversion instead of two. Pixels clipped at white stay 255 (see MarkDepartures).
    cv::Mat level = image;
    const double ratio = BrightnessRatio(image, low, high);
    unsigned char ceiling = 255;
    if (std::abs(ratio - 1.0) > kIgnoredBrightness) {
        static thread_local cv::Mat scaled;
        cv::Mat table(1, 256, CV_8UC1);
        for (int v = 0; v < 255; ++v) table.data[v] = cv::saturate_cast<unsigned char>(v / ratio);
        table.data[255] = 255;
        cv::LUT(image, table, scaled);
        level = scaled;
        ceiling = cv::saturate_cast<unsigned char>(255 / ratio);
    }
    // Departures from the band (with the neighbourhood), noting whether there is any.
    // Scratch pictures kept per thread: a hundred regions a cycle need no allocations.
    static thread_local cv::Mat departs, own;
    departs.create(height, width, CV_8UC1);
    const unsigned char lim = static_cast<unsigned char>(std::clamp(limit, 0, 255));
    const int here = MarkDepartures(level, low, high, lim, ceiling, departs);
    if (here == 0) {
        diff = cv::Mat::zeros(height, width, CV_8UC1);
        return;
    }
    // A crop a few pixels off is judged where it lies: every pixel against the references moved
    // by the best shift, the uncovered strip against the nearest reference pixels.
    const cv::Point shift = BestShift(level, low, high, lim, ceiling, here);
    static thread_local cv::Mat movedLow, movedHigh, movedPointLow, movedPointHigh, edgeLow, edgeHigh;
    const cv::Mat* bandLow = &low;
    const cv::Mat* bandHigh = &high;
    const cv::Mat* ownLow = &pointLow;
    const cv::Mat* ownHigh = &pointHigh;
    if (shift != cv::Point()) {
        // The band already takes in one pixel around; the strip's reach is the rest of the movement.
        // (The scratch pictures never take the model's own buffers: they are written into.)
        const int reach = std::max(std::abs(shift.x), std::abs(shift.y)) - 1;
        if (reach > 0) {
            const cv::Mat window = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * reach + 1, 2 * reach + 1));
            cv::erode(low, edgeLow, window, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
            cv::dilate(high, edgeHigh, window, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        }
        const cv::Mat& nearLow = reach > 0 ? edgeLow : low;
        const cv::Mat& nearHigh = reach > 0 ? edgeHigh : high;
        MovedBand(low, nearLow, shift, movedLow);
        MovedBand(high, nearHigh, shift, movedHigh);
        MovedBand(pointLow, nearLow, shift, movedPointLow);
        MovedBand(pointHigh, nearHigh, shift, movedPointHigh);
        bandLow = &movedLow, bandHigh = &movedHigh, ownLow = &movedPointLow, ownHigh = &movedPointHigh;
        if (MarkDepartures(level, *bandLow, *bandHigh, lim, ceiling, departs) == 0) {
            diff = cv::Mat::zeros(height, width, CV_8UC1);
            return;
        }
    }
    // The envelope takes a pixel from the rim of a departing area where the references are
    // textured: next to a departing pixel, a pixel that departs from the references' own
    // values at that place departs too. (A band departure is always an own departure; the
    // mask is in the bands since training.)
    own.create(height, width, CV_8UC1);
    MarkDepartures(level, *ownLow, *ownHigh, lim, ceiling, own);
    static const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::dilate(departs, departs, square);
    cv::bitwise_and(departs, own, diff);
    if (shift != cv::Point())
        cv::bitwise_and(diff, judged, diff);  // the crop's pixels outside the region never count
}
