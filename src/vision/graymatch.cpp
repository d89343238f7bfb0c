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

// A crop narrower than kTextureContext either way keeps the references' own values over a window
// kTextureAround wider each side (within the picture): the search reads its texture's alignment
// there. A wider crop that judges every pixel keeps the references' 5 x 5 means and their band
// read over the picture kRimAround wider each side: its rim's means then read what lies around it,
// not its mirrored edge. One call after each AddTemp; a model trained with fewer keeps none.
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
