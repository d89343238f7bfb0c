// The light: the crop brought to the references' brightness before anything is compared.
// Guarantees: a change of the whole frame's light of up to 15 % (lighting, exposure) departs
// nowhere. The ratio is the frame's light at the region where the caller read it sure: the
// region's own pixels would take a part over half of them for light. Where it is less sure, the
// median over the region's judged pixels that agree with it (a part lies further off, however
// much of the region it covers); without it, over all of them; limited to 0.85..1.18. A pixel
// clipped at white only says its light was at least 255 / ratio: it never lies below its band,
// and above it only by that much (glare passes). In a darker frame under a sure light whose crop
// would pass white so scaled, the references are dimmed to the crop instead, tolerance and all,
// so a part brighter than a near-white surface keeps its contrast; and the floor's firm pixels
// are compared at the frame's light itself, where the ratio moves a grey level by half a level.
#include "graymatch_stages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include <opencv2/imgproc.hpp>

namespace MatchStages {

namespace {
constexpr double kExactBrightness = 0.5 / 255;  // the firm pixels compared at the light itself beyond this change
constexpr double kRefitBrightness = 0.01;     // a ratio read again after a movement is taken this far off
constexpr int kRatioBins = 256;               // brightness ratio histogram: bin = ratio * 128
constexpr int kRatioOne = 128;                // the bin of a ratio of one
constexpr int kRatioRowStep = 8;              // the sparse sample of the brightness ratio: every 8th row,
constexpr int kRatioColumnStep = 5;           // every 5th pixel of it
constexpr int kDenseRatioBelow = 48;          // fewer usable pixels in it: every pixel is looked at
constexpr int kMeanRatioBelow = 200;  // references' means below this cannot clip in a frame the band follows

// Scratch pictures kept per thread: a hundred regions a cycle need no allocations.
thread_local cv::Mat scaled, capped, imageMeans, meanUp, meanDown;
thread_local cv::Mat rimWindow, rimMeansAll[3];  // [image, brought to the light, capped]
thread_local cv::Mat exactLevel;
}  // namespace

// Median ratio of image to the middle of the references' own values (low..high at the pixel
// itself: a crop a pixel or two off gives ratios as often above one as below, where the middle
// of a neighbourhood's band would lean on a textured surface) over the judged pixels (every
// fifth pixel of every eighth row is plenty), limited to the brightness changes the band
// follows. Pixels left out of judging carry the band 0..255 and are skipped, and so are the pixels
// a movement brings onto them (their means stay the whole range, which is no brightness, whatever
// their own band took from the outline) and pixels clipped at white: they only say the light is
// at least that bright. A region drawn on a highlight may keep only a few unclipped pixels in a
// brighter frame: then every pixel is looked at, and when still too few are left, the frame is
// taken as bright as the band follows (a clipped pixel then stands for the least light it may
// have had).
double BrightnessRatio(const cv::Mat& image, const cv::Mat& low, const cv::Mat& high, const cv::Mat& imageMeans,
                       const cv::Mat& meanLow, const cv::Mat& meanHigh, double around, double agree)
{
    // 128 / middle of the band for each low + high; 0 where too dark for a ratio.
    static const std::array<float, 511> inverse = [] {
        std::array<float, 511> t{};
        for (int sum = kMinRatioMid; sum < 511; ++sum) t[sum] = float(2.0 * kRatioOne / sum);
        return t;
    }();
    std::array<int, kRatioBins> hist{};
    int n = 0, clipped = 0;
    auto sample = [&](int rowStep, int colStep) {
        for (int y = rowStep / 4; y < image.rows; y += rowStep) {
            const unsigned char* v = image.ptr<unsigned char>(y);
            const unsigned char* lo = low.ptr<unsigned char>(y);
            const unsigned char* hi = high.ptr<unsigned char>(y);
            const unsigned char* mv = imageMeans.ptr<unsigned char>(y);
            const unsigned char* mlo = meanLow.ptr<unsigned char>(y);
            const unsigned char* mhi = meanHigh.ptr<unsigned char>(y);
            for (int x = colStep / 2; x < image.cols; x += colStep) {
                const float inv = inverse[lo[x] + hi[x]];
                if (inv <= 0 || (lo[x] == 0 && hi[x] == 255))
                    continue;
                if (v[x] == 255) {
                    ++clipped;
                    continue;
                }
                // Moved onto references left out: the outline gave the pixel a band, not a mean.
                if (mlo[x] == 0 && mhi[x] == 255)
                    continue;
                // Where the references' mean lies well below white (few pixels around can have
                // clipped), the means' ratio, which a textured crop a pixel off hardly moves.
                const int meanSum = mlo[x] + mhi[x];
                const bool byMeans = meanSum < 2 * kMeanRatioBelow && inverse[meanSum] > 0;
                ++hist[std::min(kRatioBins - 1, int(byMeans ? mv[x] * inverse[meanSum] : v[x] * inv))];
                ++n;
            }
        }
    };
    sample(kRatioRowStep, kRatioColumnStep);
    if (n < kDenseRatioBelow) {
        hist.fill(0);
        n = clipped = 0;
        sample(1, 1);
    }
    // With the frame's light known, only the pixels that agree with it count: a part lies further
    // off, however much of the region it covers.
    int first = 0, last = kRatioBins - 1;
    if (around > 0) {
        first = std::clamp(int(around * (1 - agree) * kRatioOne), 0, kRatioBins - 1);
        last = std::clamp(int(around * (1 + agree) * kRatioOne), first, kRatioBins - 1);
        n = std::accumulate(hist.begin() + first, hist.begin() + last + 1, 0);
        if (n < kMinRatioPixels)
            return std::clamp(around, kMinBrightness, kMaxBrightness);
    }
    if (n < kMinRatioPixels)
        return clipped > n ? kMaxBrightness : 1.0;
    int seen = 0, bin = first;
    while (bin < last && (seen += hist[bin]) * 2 < n) ++bin;
    return std::clamp((bin + 0.5) / kRatioOne, kMinBrightness, kMaxBrightness);
}

// The frame's window around a narrow crop (see GrayMatch::AddContext) brought to the references'
// light by ratio as the crop is (a pixel clipped at white stays 255).
const cv::Mat& AroundLevel(const cv::Mat& picture, double ratio)
{
    if (std::abs(ratio - 1.0) <= kIgnoredBrightness)
        return picture;
    static thread_local cv::Mat level;  // (never a view of the picture: it is written)
    cv::Mat table(1, 256, CV_8UC1);
    for (int v = 0; v < 255; ++v) table.data[v] = cv::saturate_cast<unsigned char>(v / ratio);
    table.data[255] = 255;
    cv::LUT(picture, table, level);
    return level;
}

// The model with its references at `ratio` (below 1) of their brightness, and its tolerance so
// (a departure the same share of the grey): a darker frame's crop is compared as it lies where
// bringing it to the references' brightness would take its bright pixels past white, and a part
// brighter than a surface near white would be cut down to that surface's grey. A band's top at
// white stays white (left out of judging, or a reference clipped there: anything up to white).
GrayMatch Dimmed(const GrayMatch& m, double ratio)
{
    GrayMatch d = m;
    cv::Mat lowTable(1, 256, CV_8UC1), highTable(1, 256, CV_8UC1);
    for (int v = 0; v < 256; ++v)
        lowTable.data[v] = highTable.data[v] = cv::saturate_cast<unsigned char>(v * ratio);
    highTable.data[255] = 255;
    for (GrayMatch::Band* b : {&d.band, &d.own, &d.mean, &d.ownMean, &d.context, &d.ownContext, &d.nearby}) {
        if (b->low.empty())
            continue;
        cv::Mat low, high;
        cv::LUT(b->low, lowTable, low);
        cv::LUT(b->high, highTable, high);
        b->low = low, b->high = high;
    }
    for (unsigned char& v : d.outline.low) v = lowTable.data[v];
    for (unsigned char& v : d.outline.high) v = highTable.data[v];
    d.tolerance = std::max(1, int(m.tolerance / m.gain * ratio));
    d.gain = 1;
    return d;
}

Levels::Levels(const GrayMatch& model, const cv::Mat& image, const cv::Mat& around)
    : model(model), image(image), around(around),
      rimSeen(model.rimMeans && around.type() == CV_8UC1 && around.size() == model.aroundAt.size())
{
    MeansOf(image, cv::Mat(), 255, imageMeans, 0);
}

// Whether a pixel of the crop is clipped at white (found once).
bool Levels::Clipped()
{
    if (anyClipped < 0) {
        double brightest = 0;
        cv::minMaxLoc(image, nullptr, &brightest);
        anyClipped = brightest >= 255;
    }
    return anyClipped == 1;
}

// The means of crop, image brought to the light by table (empty: as it is) and capped at ceiling.
// A whole crop's means at its rim are read over the frame's window around it where the references'
// were read so (rimSeen): the same windows on both sides, so the rim is judged on means as the
// rest is.
void Levels::MeansOf(const cv::Mat& crop, const cv::Mat& table, unsigned char ceiling, cv::Mat& out, int buffer)
{
    if (!rimSeen) {
        WindowMean(crop, model, out);
        return;
    }
    (void)crop;  // (the window's middle)
    if (table.empty()) {
        MeansAround(around, rimMeansAll[buffer], out);
        return;
    }
    cv::LUT(around, table, rimWindow);
    if (ceiling < 255)
        cv::min(rimWindow, ceiling, rimWindow);
    MeansAround(rimWindow, rimMeansAll[buffer], out);
}

// The frame's light where the caller read it sure: the region's own pixels (their median) would
// take a part over half of them for light. Where the caller is less sure of it, the median of the
// pixels that agree with it.
double Levels::Read(double light, double agree) const
{
    return light > 0 && agree <= 0 ? std::clamp(light, kMinBrightness, kMaxBrightness)
                                   : BrightnessRatio(image, model.own.low, model.own.high, imageMeans,
                                                     model.ownMean.low, model.ownMean.high, light, agree);
}

// A darker frame under a sure light whose brightest judged pixel would pass white brought to the
// references' brightness.
bool Levels::Dims(double ratio, double light, double agree) const
{
    if (!(ratio < 1.0 - kIgnoredBrightness && light > 0 && agree <= 0))
        return false;
    double brightest = 0;
    cv::minMaxLoc(image, nullptr, &brightest, nullptr, nullptr, model.wholeMask ? cv::noArray() : model.judged);
    return brightest > 255 * ratio;
}

// The level at that brightness ratio, and the means of the brightest and the darkest light the
// crop stands for (they differ only where pixels clip at white in a brighter frame).
void Levels::BringTo(double ratio, Comparison* cmp)
{
    level = image;
    levelMeans = imageMeans;
    unsigned char ceiling = 255;
    cv::Mat table;
    if (std::abs(ratio - 1.0) > kIgnoredBrightness) {
        table.create(1, 256, CV_8UC1);
        for (int v = 0; v < 255; ++v) table.data[v] = cv::saturate_cast<unsigned char>(v / ratio);
        table.data[255] = 255;
        cv::LUT(image, table, scaled);
        level = scaled;
        ceiling = cv::saturate_cast<unsigned char>(255 / ratio);
        MeansOf(level, table, 255, meanUp, 1);
        levelMeans = meanUp;
    }
    const cv::Mat* darkMean = &levelMeans;
    // Only pixels clipped at white lie above the ceiling: without them both means are one.
    if (ceiling < 255 && Clipped()) {
        cv::min(level, ceiling, capped);
        MeansOf(capped, table, ceiling, meanDown, 2);
        darkMean = &meanDown;
    }
    cmp[0].ceiling = cmp[2].ceiling = cmp[4].ceiling = ceiling;
    cmp[1].down = cmp[3].down = darkMean;
}

// The brightness the region's pixels told where the crop lay off its references is read again
// where it fits, from those agreeing with the frame's light when it is known (the few pixels a
// movement fits on a thin region would give any ratio); a sure light stays.
void Levels::Refit(double ratio, double light, double agree, const cv::Mat& low, const cv::Mat& high,
                   const cv::Mat& meanLow, const cv::Mat& meanHigh, Comparison* cmp)
{
    const double fitted =
        light > 0 && agree <= 0 ? ratio : BrightnessRatio(image, low, high, imageMeans, meanLow, meanHigh, light, agree);
    if (std::abs(fitted - ratio) > kRefitBrightness)
        BringTo(fitted, cmp);
}

ExactLight::ExactLight(const Comparison& own, const cv::Mat& image, double ratio, double light, double agree,
                       unsigned char lim)
    : own(own), image(image), ratio(ratio), lim(lim),
      on(light > 0 && agree <= 0 && std::abs(ratio - 1.0) > kExactBrightness)
{
}

// Taken where the crop is judged: own as the movement left it. A faint part a few levels above
// the tolerance in a frame 2 % darker would lose a fifth of its contrast at the ratio the band
// ignores.
const Comparison* ExactLight::At()
{
    if (!on)
        return nullptr;
    exact = own;
    if (std::abs(ratio - 1.0) <= kIgnoredBrightness) {
        cv::Mat table(1, 256, CV_8UC1);
        for (int v = 0; v < 255; ++v) table.data[v] = cv::saturate_cast<unsigned char>(v / ratio);
        table.data[255] = 255;
        cv::LUT(image, table, exactLevel);
        exact.up = exact.down = &exactLevel;
        exact.ceiling = cv::saturate_cast<unsigned char>(255 / ratio);
    }
    // The plain comparison's tolerance is in the frame's grey: in a brighter frame a departure
    // at the references' brightness weighs that much more.
    exact.lim = static_cast<unsigned char>(std::min(double(lim), std::floor(lim / ratio)));
    return &exact;
}

int ExactLight::Reach() const
{
    return on ? lim - int(std::min(double(lim), std::floor(lim / ratio))) + int(std::ceil(255 * std::abs(1 / ratio - 1))) + 1
              : 0;
}

}  // namespace MatchStages
