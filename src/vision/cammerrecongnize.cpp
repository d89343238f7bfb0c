// CammerRecong: construction, shared region helpers and the region judgement Run.
#include "cammerrecongnize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include <QDebug>
#include <QString>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include "cammersingleton.h"
#include "graymatch_masks.h"
#include "miscfunc.h"
#include "recordsink.h"
#include "tnr_netmn.h"
#include "wizardpara.h"

namespace {
constexpr int kCountBoundSlackRun = 2;  // count functions clear the band when k >= 2*(min/2) - 2
constexpr long long kMaxKernel = 1 << 30;
// The frame's light: read on cells of kLightCell pixels square, kLightPitch or more apart over the
// picture (at most about kLightMaxCells of them), from cells whose taught mean is neither too dark
// for a ratio nor near white and where next to nothing clipped.
constexpr int kLightCell = 24;
constexpr int kLightPitch = 16;
constexpr int kLightMaxCells = 1200;
constexpr int kLightDarkest = 24;
constexpr int kLightBrightest = 230;
constexpr size_t kMinLightCells = 4;
constexpr int kLightClippedShare = 16;  // a cell with more than 1 in this many pixels at white
constexpr float kLightDetail = 1.5f;  // cells of more detail than this many times the median are left out
// The smooth light is fitted to the cells that agree with it: within kLightAgree of it, or
// kLightSigmas times the cells' own scatter about it (a robust deviation: 1.4826 times the median
// absolute one), a few rounds from the cells' median. A part lies further off, however much of the
// frame around a region it covers.
constexpr double kLightAgree = 0.02;
constexpr double kLightSigmas = 3.0;
constexpr double kRobustSigma = 1.4826;
constexpr int kLightRounds = 5;
// Cells that scatter more than this about the smooth light tell none (a picture with much detail,
// well off its place): the region's own pixels tell it then.
constexpr double kLightSpread = 0.03;
// Cells that scatter more than this about it (a picture a little off its place) leave the light
// less sure: a region's own pixels within kLightAround of it tell its light then.
constexpr double kLightSure = 0.01;
constexpr double kLightAround = 0.06;
// Then the ring of cells around the region tells the light it is judged at: the mean of the
// middle half of their ratios, at most kRingSpread apart, then of those within kRingAgree of it.
constexpr double kRingSpread = 0.06;
constexpr double kRingAgree = 0.1;
// A full surface needs cells enough to pin its six terms, a plane three.
constexpr size_t kQuadraticCells = 30;
constexpr size_t kPlaneCells = 10;
// A region whose light changes by more than this across it is levelled to its centre's light.
constexpr double kLightEven = 0.01;

// A cell's light is its sum weighted each way by boxes of 8, 8, 6 and 5 pixels convolved: a fine
// texture moved a few pixels (ribs, a knurl of period 2 to 8) changes a plain sum by up to a row of
// the texture in sixteen, several per cent, and this one by next to nothing: each box takes out
// the periods that divide its length, and together they leave a tenth of a per cent of the rest.
constexpr int kLightBoxes[] = {8, 8, 6, 5};
constexpr int kLightWeightSum = 8 * 8 * 6 * 5;  // per axis
static_assert(8 + 8 + 6 + 5 - 3 == kLightCell, "the boxes fill a cell");
const std::array<long, kLightCell>& LightWeights()
{
    static const std::array<long, kLightCell> w = [] {
        std::array<long, kLightCell> out{};
        out[0] = 1;
        int length = 1;
        for (const int box : kLightBoxes) {
            std::array<long, kLightCell> next{};
            for (int i = 0; i < length; ++i)
                for (int k = 0; k < box; ++k) next[size_t(i + k)] += out[size_t(i)];
            out = next;
            length += box - 1;
        }
        return out;
    }();
    return w;
}
long LightWeight(int i)
{
    return LightWeights()[size_t(i)];
}
// The weighted sum of picture over cell (kLightCell square), and how many of its pixels are
// clipped at white.
long CellSum(const cv::Mat& picture, cv::Rect cell, int* clipped = nullptr)
{
    long sum = 0;
    int white = 0;
#if CV_SIMD128
    // A row of a cell is a vector and a half of bytes; in 32 bits the whole weighted sum stays
    // below 1920 * 1920 * 255, so the vectors give exactly the sum below, several times as fast
    // (a frame's light reads about a thousand cells).
    static_assert(kLightCell == 24 && kLightWeightSum * kLightWeightSum * 255LL < (1LL << 31), "one vector and a half");
    static const std::array<cv::v_int16x8, 3> across = [] {
        short w[kLightCell];
        for (int x = 0; x < kLightCell; ++x) w[x] = short(LightWeight(x));
        return std::array<cv::v_int16x8, 3>{cv::v_load(w), cv::v_load(w + 8), cv::v_load(w + 16)};
    }();
    const cv::v_uint8x16 white8 = cv::v_setall_u8(255);
    cv::v_uint8x16 whites = cv::v_setzero_u8();  // per lane, at most two a row
    cv::v_int32x4 total = cv::v_setzero_s32();
    for (int y = 0; y < kLightCell; ++y) {
        const unsigned char* v = picture.ptr<unsigned char>(cell.y + y) + cell.x;
        const cv::v_uint8x16 head = cv::v_load(v), tail = cv::v_load_low(v + 16);  // (its upper half 0)
        cv::v_uint16x8 a0, a1;
        cv::v_expand(head, a0, a1);
        const cv::v_int32x4 row = cv::v_dotprod(cv::v_reinterpret_as_s16(a0), across[0]) +
                                  cv::v_dotprod(cv::v_reinterpret_as_s16(a1), across[1]) +
                                  cv::v_dotprod(cv::v_reinterpret_as_s16(cv::v_expand_low(tail)), across[2]);
        total += row * cv::v_setall_s32(int(LightWeight(y)));
        // 255 is -1: subtracting a lane at white adds one.
        whites = cv::v_sub_wrap(cv::v_sub_wrap(whites, head == white8), tail == white8);
    }
    sum = cv::v_reduce_sum(total);
    white = int(cv::v_reduce_sum(whites));
#else
    for (int y = 0; y < kLightCell; ++y) {
        const unsigned char* v = picture.ptr<unsigned char>(cell.y + y) + cell.x;
        long row = 0;
        for (int x = 0; x < kLightCell; ++x) {
            row += LightWeight(x) * v[x];
            white += v[x] == 255;
        }
        sum += LightWeight(y) * row;
    }
#endif
    if (clipped)
        *clipped = white;
    return sum;
}

// Asks for rect's rows of picture (8-bit) to be brought into the cache: a region's crop, read row
// by row out of a large picture, otherwise waits on memory for a good share of its judgement.
void Prefetch(const cv::Mat& picture, cv::Rect rect)
{
    constexpr int kLine = 64;
    for (int y = rect.y; y < rect.br().y; ++y) {
        const unsigned char* row = picture.ptr<unsigned char>(y);
        for (int x = rect.x; x < rect.br().x + kLine - 1; x += kLine)
            __builtin_prefetch(row + std::min(x, rect.br().x - 1));
    }
}

int Byte0(int v)
{
    return v & 0xFF;
}
int Byte1(int v)
{
    return (v >> 8) & 0xFF;
}
int Low16(int v)
{
    return v & 0xFFFF;
}
int High16(int v)
{
    return int((unsigned(v) >> 16) & 0xFFFF);
}

// A band given with its ends reversed is used with the ends swapped.
std::pair<int, int> Ordered(int lo, int hi)
{
    return lo <= hi ? std::make_pair(lo, hi) : std::make_pair(hi, lo);
}
}  // namespace

CammerRecong::CammerRecong(CammerSingleton* s, CammerRecogData* v) : store(s), view(v)
{
    for (int d = 0; d < kMaxDetections; ++d) {
        if (!LivePara().detectEnabled[d])
            continue;
        CreateHomoShape(d);
        CreateShape(d);
        VarTrain(d);
    }
}

bool CammerRecong::NotJudged(int f)
{
    return f == kFuncIgnore || f == kFuncPosition || f == kFuncPerspective;
}

bool CammerRecong::Color() const
{
    return gisColor && view->isColor;
}

cv::Rect CammerRecong::PictureRect() const
{
    return cv::Rect(0, 0, view->imageWidth, view->imageHeight);
}

void CammerRecong::ThresholdFUNC(cv::Mat src, cv::Mat& dst, int lo, int hi)
{
    if (src.type() == CV_8UC1) {
        // In one pass (the general thresholds cost more than the work on a region's crop).
        dst.create(src.size(), CV_8UC1);
        const int least = std::clamp(lo, 0, 256), most = std::clamp(hi, -1, 255);
        if (least > most) {
            dst.setTo(0);
            return;
        }
        for (int y = 0; y < src.rows; ++y) {
            const unsigned char* v = src.ptr<unsigned char>(y);
            unsigned char* d = dst.ptr<unsigned char>(y);
            int x = 0;
#if CV_SIMD
            const cv::v_uint8 vl = cv::vx_setall_u8(static_cast<unsigned char>(least)),
                              vh = cv::vx_setall_u8(static_cast<unsigned char>(most));
            for (; x + cv::v_uint8::nlanes <= src.cols; x += cv::v_uint8::nlanes) {
                const cv::v_uint8 p = cv::vx_load(v + x);
                cv::v_store(d + x, (p >= vl) & (p <= vh));
            }
#endif
            for (; x < src.cols; ++x) d[x] = v[x] >= least && v[x] <= most ? 255 : 0;
        }
        return;
    }
    cv::Mat atLeast, atMost;
    cv::threshold(~src, atLeast, 255 - lo, 255, cv::THRESH_BINARY_INV);
    cv::threshold(src, atMost, hi, 255, cv::THRESH_BINARY_INV);
    cv::bitwise_and(atLeast, atMost, dst);
}

cv::Rect CammerRecong::ShapeRect(const CammerSingleton* s, int det, int r)
{
    // A type that is neither rectangle nor circle is judged as a polygon.
    QRect q = s->polygons[det][r].imageRect;
    VisitShape(*s, det, r, [&](const auto& shape) { q = shape.imageRect; });
    return cv::Rect(q.left(), q.top(), q.right() - q.left() + 1, q.bottom() - q.top() + 1);
}

CammerRecong::Cut CammerRecong::ClipShape(const CammerSingleton* s, const cv::Mat& shapeMask, int det, int r) const
{
    Cut cut;
    // A polygon of two points encloses nothing either: its mask is all zero, so it could
    // never fail. Like one of fewer points, it is a region that cannot be judged.
    const bool polygon = s->shapeType[det][r] != kShapeRect && s->shapeType[det][r] != kShapeCircle;
    if (shapeMask.rows == 0 || shapeMask.cols == 0 || (polygon && s->polygons[det][r].count < 3)) {
        cut.code = kRegNoMask;
        return cut;
    }
    const cv::Rect shape = ShapeRect(s, det, r);
    // A rectangle drawn at another screen scale may leave the picture: use what lies inside.
    cut.rect = shape.width >= 1 && shape.height >= 1 ? shape & PictureRect() : cv::Rect();
    if (cut.rect.empty()) {
        cut.code = kRegEmptyRect;
        return cut;
    }
    // The shape mask is laid at the shape's top-left corner; what it does not cover is left out.
    const cv::Rect inMask = (cut.rect - shape.tl()) & cv::Rect(0, 0, shapeMask.cols, shapeMask.rows);
    if (inMask.size() == cut.rect.size()) {
        cut.mask = shapeMask(inMask);
    } else {
        cut.mask = cv::Mat::zeros(cut.rect.size(), CV_8UC1);
        if (!inMask.empty())
            shapeMask(inMask).copyTo(cut.mask(inMask + shape.tl() - cut.rect.tl()));
    }
    return cut;
}

CammerRecong::Cut CammerRecong::CutRegion(const CammerSingleton* s, const cv::Mat& shapeMask, int det, int r,
                                          bool maskRequired, bool judgedMask) const
{
    const cv::Mat& dm = detMask[det];
    if (shapeMask.rows && shapeMask.cols && maskRequired && (dm.rows == 0 || dm.cols == 0)) {
        Cut cut;
        cut.code = kRegNoDetMask;
        return cut;
    }
    Cut cut = ClipShape(s, shapeMask, det, r);
    if (cut.code || !judgedMask)
        return cut;
    // cut.mask may be a view into the region's own mask: never write through it.
    cv::Mat judged;
    if (dm.size() == PictureRect().size())
        cv::bitwise_and(dm(cut.rect), cut.mask, judged);
    else
        judged = cut.mask.clone();
    cut.mask = judged;
    return cut;
}

bool CammerRecong::BandReadsMask(int f)
{
    return f != kFuncDefect && f != kFuncSimilarity;
}

CammerRecong::Contours CammerRecong::Blobs(const Band& band, cv::Mat overlay)
{
    Contours contours;
    // Most regions pass with nothing marked: an empty band opens to nothing and has no blobs.
    if (cv::countNonZero(band.band) == 0)
        return contours;
    cv::Mat opened = band.band;  // a 1 x 1 opening changes nothing
    // The factory kernel, 3, is the cross, opened in vectors (a band is a picture of its own, whose
    // opening reads nothing around it).
    if (band.kernel == 3 && !band.band.isSubmatrix()) {
        opened = band.band.clone();
        OpenCross(opened);
    } else if (band.kernel > 1) {
        cv::morphologyEx(band.band, opened, cv::MORPH_OPEN,
                         cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(band.kernel, band.kernel)));
    }
    cv::bitwise_or(overlay, opened, overlay);
    cv::findContours(opened, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    return contours;
}

int CammerRecong::AreaSum(const Contours& contours)
{
    int value = 0;
    for (const auto& c : contours) value = int(value + cv::contourArea(c));
    return value;
}

cv::Mat CammerRecong::AroundRegion(int det, int r, const cv::Mat& picture, cv::Rect rect) const
{
    const GrayMatch& gm = grayMatch[det][r];
    const cv::Rect window = gm.aroundAt + rect.tl();
    if (!gm.IsValid() || gm.aroundAt.empty() || (window & cv::Rect(0, 0, picture.cols, picture.rows)) != window)
        return cv::Mat();
    cv::Mat around = picture(window);
    FillUncovered(det, window, around);
    return around;
}

CammerRecong::Band CammerRecong::MakeBand(const CammerSingleton* s, int det, int r, const cv::Mat& roi,
                                          const cv::Mat& colorRoi, const cv::Mat& m, int kernel, int countSlack,
                                          double light, const cv::Mat& around)
{
    const WizardPara& p = LivePara();
    const int f = s->func[det][r], p1 = s->para1[det][r], p2 = s->para2[det][r], p3 = s->para3[det][r];
    Band out;
    out.kernel = kernel;
    auto bandOf = [&](const cv::Mat& src, std::pair<int, int> ends) {
        cv::Mat t;
        ThresholdFUNC(src, t, ends.first, ends.second);
        cv::bitwise_and(t, m, t);
        return t;
    };
    switch (f) {
        case kFuncDefect:
            out.kernel = p.showAllParams ? p3 : p.filterSize;
            // The matcher applies its own mask (ignore points included).
            if (grayMatch[det][r].IsValid())
                grayMatch[det][r].Match(roi, out.band, light, light > 0 ? frameLight[det].agree : 0, colorRoi,
                                        around);
            break;
        case kFuncSpot:
            out.band = bandOf(roi, Ordered(Byte0(p3), Byte1(p3)));
            out.kernel = p.minSpot;
            break;
        case kFuncBlackArea:
        case kFuncBlackNumber:
        case kFuncWhiteArea:
        case kFuncWhiteNumber: {
            const bool dark = f == kFuncBlackArea || f == kFuncBlackNumber;
            out.band = bandOf(roi, dark ? std::make_pair(0, Byte0(p1)) : std::make_pair(Byte0(p1), 255));
            out.kernel = p.minSpot;
            if (f == kFuncBlackNumber || f == kFuncWhiteNumber) {
                // 64-bit: a radius from an edited database must not overflow.
                const long long k = 2LL * p3 + 1;
                const long long bound = 2 * (std::min(roi.rows, roi.cols) / 2) - countSlack;
                out.kernel = k > 0 ? int(std::min<long long>(k, kMaxKernel)) : 1;
                if (k >= bound)
                    out.band.setTo(0);
            }
            break;
        }
        case kFuncSimilarity:
            out.kernel = 1;
            if (surf[det][r].IsValid())
                out.score = int(surf[det][r].Match(roi, out.band, colorRoi));
            break;
        case kFuncColorSpot:
            out.kernel = p.minSpot;
            if (!colorRoi.empty()) {
                cv::Mat planes[4];
                cv::split(colorRoi, planes);
                out.band = cv::Mat(roi.size(), CV_8UC1, cv::Scalar(255));
                const std::pair<int, int> bands[3] = {{2, p1}, {1, p2}, {0, p3}};
                for (const auto& [plane, para] : bands)
                    cv::bitwise_and(out.band, bandOf(planes[plane], Ordered(Low16(para), High16(para))), out.band);
            }
            break;
        default:
            out.band = bandOf(roi, {0, 255});
            out.kernel = p.minSpot;
            break;
    }
    if (out.band.empty())  // an untrained matcher, or colour on a grey camera: nothing marked
        out.band = cv::Mat::zeros(roi.size(), CV_8UC1);
    // A kernel of 0 or less (from a synchronised parameter or an edited database) would
    // make the opening assert. A kernel reaching every pixel of the crop from every other
    // opens exactly as any larger one, so a huge size is cut there instead of allocated.
    out.kernel = std::clamp(out.kernel, 1, 2 * (roi.rows + roi.cols) + 1);
    return out;
}

namespace {
// The terms of the light surface at picture point p (see LightSurface).
std::array<double, 6> LightTerms(cv::Point2d p, cv::Size picture)
{
    const double half = std::max(picture.width, picture.height) / 2.0;
    const double u = (p.x - picture.width / 2.0) / half, v = (p.y - picture.height / 2.0) / half;
    return {1.0, u, v, u * u, u * v, v * v};
}

double LightAt(const double (&c)[6], const cv::Rect2d& within, cv::Point2d p, cv::Size picture)
{
    // No further out than the cells that told it: a surface pinned on one side of the picture
    // says little of the other.
    p.x = std::clamp(p.x, within.x, within.x + within.width);
    p.y = std::clamp(p.y, within.y, within.y + within.height);
    const std::array<double, 6> t = LightTerms(p, picture);
    double l = 0;
    for (size_t k = 0; k < t.size(); ++k) l += c[k] * t[k];
    return l;
}

// Least squares of the first `terms` terms through the ratios of the cells kept.
bool FitTerms(const std::vector<std::array<double, 6>>& terms, const std::vector<float>& ratios,
              const std::vector<char>& kept, int n, double c[6])
{
    cv::Matx66d a = cv::Matx66d::zeros();
    cv::Vec6d b;
#if CV_SIMD128_64F
    // Every sum in vectors of two, each the same products added in the same order as one by one
    // (the terms left out are summed too, and dropped): a frame's light fits a few times.
    cv::v_float64x2 sums[6][3], rhs[3];
    for (auto& row : sums)
        for (cv::v_float64x2& v : row) v = cv::v_setzero_f64();
    for (cv::v_float64x2& v : rhs) v = cv::v_setzero_f64();
    for (size_t k = 0; k < ratios.size(); ++k) {
        if (!kept[k])
            continue;
        const double* t = terms[k].data();
        const cv::v_float64x2 pairs[3] = {cv::v_load(t), cv::v_load(t + 2), cv::v_load(t + 4)};
        const cv::v_float64x2 ratio = cv::v_setall_f64(double(ratios[k]));
        for (int j = 0; j < 3; ++j) rhs[j] += pairs[j] * ratio;
        for (int i = 0; i < 6; ++i) {
            const cv::v_float64x2 ti = cv::v_setall_f64(t[i]);
            for (int j = 0; j < 3; ++j) sums[i][j] += ti * pairs[j];
        }
    }
    double flat[6][6], rhsFlat[6];
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 3; ++j) cv::v_store(&flat[i][2 * j], sums[i][j]);
    for (int j = 0; j < 3; ++j) cv::v_store(&rhsFlat[2 * j], rhs[j]);
    for (int i = 0; i < n; ++i) {
        b[i] = rhsFlat[i];
        for (int j = 0; j < n; ++j) a(i, j) = flat[i][j];
    }
#else
    for (size_t k = 0; k < ratios.size(); ++k) {
        if (!kept[k])
            continue;
        for (int i = 0; i < n; ++i) {
            b[i] += terms[k][size_t(i)] * ratios[k];
            for (int j = 0; j < n; ++j) a(i, j) += terms[k][size_t(i)] * terms[k][size_t(j)];
        }
    }
#endif
    for (int i = n; i < 6; ++i) a(i, i) = 1;  // the terms left out stay 0
    cv::Vec6d x;
    if (!cv::solve(a, b, x, cv::DECOMP_SVD))
        return false;
    for (int i = 0; i < 6; ++i) c[i] = x[i];
    return true;
}
}  // namespace

void CammerRecong::FitLight(int det, const cv::Mat& picture)
{
    LightSurface& s = frameLight[det];
    s.valid = false;
    const std::vector<LightCell>& cells = lightCells[det];
    if (cells.size() < kMinLightCells || picture.type() != CV_8UC1 || picture.size() != PictureRect().size())
        return;
    static thread_local std::vector<float> ratios, residuals, order;
    static thread_local std::vector<std::array<double, 6>> terms;
    static thread_local std::vector<cv::Point2d> centres;
    static thread_local std::vector<char> kept;
    ratios.clear(), terms.clear(), centres.clear(), s.read.clear();
    for (const LightCell& c : cells) {
        int clipped = 0;
        const long sum = CellSum(picture, c.rect, &clipped);
        if (clipped * kLightClippedShare > c.pixels)
            continue;
        ratios.push_back(float(sum) / float(c.refSum));
        s.read.emplace_back(c.rect, ratios.back());
        centres.emplace_back(c.rect.x + c.rect.width / 2.0, c.rect.y + c.rect.height / 2.0);
        terms.push_back(LightTerms(centres.back(), picture.size()));
    }
    if (ratios.size() < kMinLightCells)
        return;
    // From the cells' median, rounds of a fit to the cells that agree with the last one.
    order = ratios;
    std::nth_element(order.begin(), order.begin() + order.size() / 2, order.end());
    double c[6] = {order[order.size() / 2], 0, 0, 0, 0, 0};
    kept.assign(ratios.size(), 1);
    residuals.resize(ratios.size());
    double sigma = 0;
    size_t n = 0;
    for (int round = 0; round <= kLightRounds; ++round) {
        for (size_t k = 0; k < ratios.size(); ++k) {
            double l = 0;
            for (size_t t = 0; t < 6; ++t) l += c[t] * terms[k][t];
            residuals[k] = float(std::abs(ratios[k] - l));
        }
        order = residuals;
        std::nth_element(order.begin(), order.begin() + order.size() / 2, order.end());
        sigma = kRobustSigma * order[order.size() / 2];
        const double agree = std::max(kLightAgree, kLightSigmas * sigma);
        n = 0;
        for (size_t k = 0; k < ratios.size(); ++k) n += (kept[k] = residuals[k] <= agree);
        if (round == kLightRounds || n < kMinLightCells)
            break;
        const int used = n >= kQuadraticCells ? 6 : n >= kPlaneCells ? 3 : 1;
        if (!FitTerms(terms, ratios, kept, used, c))
            return;
    }
    // Cells that scatter about any smooth light, or too few agreeing with it, tell no smooth light
    // (a picture well off its place, a texture moved by part of its period): only the ring around
    // a region may still tell its light.
    if (n < kMinLightCells || n * 2 < ratios.size() || sigma > kLightSpread) {
        s.agree = kLightAround;
        s.valid = true;
        return;
    }
    double x0 = picture.cols, y0 = picture.rows, x1 = 0, y1 = 0;
    for (size_t k = 0; k < ratios.size(); ++k)
        if (kept[k]) {
            x0 = std::min(x0, centres[k].x), x1 = std::max(x1, centres[k].x);
            y0 = std::min(y0, centres[k].y), y1 = std::max(y1, centres[k].y);
        }
    std::copy(c, c + 6, s.c);
    s.agree = sigma <= kLightSure ? 0 : kLightAround;
    // A ring around a region reads its light from the cells that agree with the frame's: where a
    // frame off its place moves detail through a few of them, they are its detail, not its light.
    size_t agreeing = 0;
    for (size_t k = 0; k < s.read.size(); ++k)
        if (kept[k])
            s.read[agreeing++] = s.read[k];
    s.read.resize(agreeing);
    s.within = cv::Rect2d(x0, y0, x1 - x0, y1 - y0);
    s.valid = true;
}

namespace {
// The light of the cells read in a ring `pitch` wide around rect (see kRingSpread): a cell's pitch
// and size, so that whole cells lie in it wherever their grid falls; 0 when too few tell it or they
// disagree (a picture with much detail, well off its place, whose cells a shift moves each its own
// way: a few of them agree by chance).
double RingLight(const std::vector<std::pair<cv::Rect, float>>& read, int pitch, cv::Rect rect)
{
    const cv::Rect around(rect.x - pitch, rect.y - pitch, rect.width + 2 * pitch, rect.height + 2 * pitch);
    static thread_local std::vector<float> ratios;
    ratios.clear();
    // The cells were read row by row over the picture (see TrainLight): only those from the ring's
    // top down to its bottom are looked at, a hundred regions a frame.
    auto from = std::partition_point(read.begin(), read.end(),
                                     [&](const std::pair<cv::Rect, float>& c) { return c.first.y < around.y; });
    for (auto c = from; c != read.end() && c->first.y < around.br().y; ++c) {
        const auto& [cell, ratio] = *c;
        if ((cell & rect).empty() && (cell & around) == cell)
            ratios.push_back(ratio);
    }
    // The light is read from the middle half: it must hold as many cells as a frame's light needs
    // (of four cells two would be taken, whose agreement says nothing of the ring's).
    const size_t quarter = ratios.size() / 4;
    if (ratios.size() - 2 * quarter < kMinLightCells)
        return 0;
    std::sort(ratios.begin(), ratios.end());
    const double middle =
        std::accumulate(ratios.begin() + quarter, ratios.end() - quarter, 0.0) / double(ratios.size() - 2 * quarter);
    if (ratios[ratios.size() - 1 - quarter] - ratios[quarter] > kRingSpread * middle)
        return 0;
    double sum = 0;
    int n = 0;
    for (const float q : ratios)
        if (std::abs(q - middle) <= kRingAgree * middle)
            sum += q, ++n;
    return n > 0 ? sum / n : middle;
}
}  // namespace

double CammerRecong::RegionLight(int det, cv::Rect rect, cv::Mat& roi) const
{
    const LightSurface& s = frameLight[det];
    if (!s.valid || roi.type() != CV_8UC1 || roi.size() != rect.size())
        return 0;
    if (s.agree > 0)
        return RingLight(s.read, s.pitch + kLightCell, rect);
    const cv::Size picture = PictureRect().size();
    const double centre = LightAt(s.c, s.within, (rect.tl() + rect.br()) * 0.5, picture);
    if (centre <= 0)
        return 0;
    const cv::Point2d corners[4] = {rect.tl(), cv::Point(rect.br().x, rect.y), cv::Point(rect.x, rect.br().y),
                                    rect.br()};
    double most = 0;
    for (const cv::Point2d& p : corners) most = std::max(most, std::abs(LightAt(s.c, s.within, p, picture) / centre - 1));
    if (most <= kLightEven)
        return centre;
    // Each pixel brought to the centre's light; a pixel clipped at white stays so (it only says its
    // light was at least that), others stay below it.
    cv::Mat levelled(roi.size(), CV_8UC1);
    for (int y = 0; y < roi.rows; ++y) {
        const unsigned char* v = roi.ptr<unsigned char>(y);
        unsigned char* o = levelled.ptr<unsigned char>(y);
        for (int x = 0; x < roi.cols; ++x) {
            const double l = LightAt(s.c, s.within, cv::Point2d(rect.x + x, rect.y + y), picture);
            o[x] = v[x] == 255 ? 255 : cv::saturate_cast<unsigned char>(std::min(254.0, v[x] * centre / l));
        }
    }
    roi = levelled;
    return centre;
}

void CammerRecong::TrainLight(int det, const cv::Mat& ref)
{
    std::vector<LightCell>& cells = lightCells[det];
    cells.clear();
    const cv::Mat& dm = detMask[det];
    std::vector<float> detail;
    // Cells over the picture wholly on judged pixels, of a taught mean neither too dark for a
    // ratio nor near white, each with the taught sum of the rows read; spread out on a large
    // picture, so that reading them stays cheap.
    const int stride = std::max(kLightPitch, int(std::sqrt(double(ref.total()) / kLightMaxCells)));
    frameLight[det].pitch = stride;
    for (int cy = 0; cy + kLightCell <= ref.rows; cy += stride)
        for (int cx = 0; cx + kLightCell <= ref.cols; cx += stride) {
            const cv::Rect cell(cx, cy, kLightCell, kLightCell);
            if (dm.size() == ref.size() && cv::countNonZero(dm(cell)) < cell.area())
                continue;
            LightCell c{cell, CellSum(ref, cell), cell.area()};
            long steps = 0;
            for (int y = cell.y; y < cell.br().y; ++y) {
                const unsigned char* t = ref.ptr<unsigned char>(y);
                for (int x = cell.x + 1; x < cell.br().x; ++x) steps += std::abs(int(t[x]) - int(t[x - 1]));
            }
            const long weights = long(kLightWeightSum) * kLightWeightSum;
            if (c.refSum < kLightDarkest * weights || c.refSum > kLightBrightest * weights)
                continue;
            cells.push_back(c);
            detail.push_back(float(steps) / float(c.pixels));
        }
    if (cells.empty())
        return;
    // Cells of much more detail than most are left out: a picture a few pixels off changes their
    // sums most.
    std::vector<float> order(detail);
    std::nth_element(order.begin(), order.begin() + order.size() / 2, order.end());
    const float most = order[order.size() / 2] * kLightDetail + 1;
    size_t kept = 0;
    for (size_t k = 0; k < cells.size(); ++k)
        if (detail[k] <= most)
            cells[kept++] = cells[k];
    cells.resize(kept);
}

void CammerRecong::ReportRegionError(int det, int code) const
{
    const QString text = QString("REG RUN ERROR = %1, %2, %3").arg(view->cameraIndex).arg(det).arg(code);
    qWarning().noquote() << text;
    RecordOperation(text, "info");
}

bool CammerRecong::Judge(int det, int r, int area, int score, int count, int& value, param_roi& rec) const
{
    value = area;
    const WizardPara& p = LivePara();
    const int f = store->func[det][r], p1 = store->para1[det][r], p2 = store->para2[det][r];
    rec.third = store->para3[det][r];
    rec.low = -1;
    rec.high = -1;
    switch (f) {
        case kFuncDefect: {
            bool ok = value <= (p.showAllParams ? p2 : p.filterArea);
            // Two flags only: detections of the paired modes share them, others beyond 1 have none.
            const int k2 = (p.detectMode == 1 || p.detectMode == 2) ? det % 2 : det;
            if (k2 < 2 && p.templateIsNg[k2])
                ok = !ok;
            rec.low = p1;
            rec.high = p2;
            return ok;
        }
        case kFuncSpot:
            rec.low = p1;
            rec.high = p2;
            return value >= p1 && value <= p2;
        case kFuncBlackArea:
        case kFuncWhiteArea:
            rec.low = 0;
            rec.high = p2;
            return value <= p2;
        case kFuncSimilarity:
            value = score;
            rec.low = p1;
            return value >= p1;
        case kFuncWhiteNumber:
        case kFuncBlackNumber:
            value = count;
            std::tie(rec.low, rec.high) = Ordered(Low16(p2), High16(p2));
            return value >= rec.low && value <= rec.high;
        case kFuncColorSpot:
            return value >= p.colorMinArea && value <= p.colorMaxArea;
        default:
            return true;
    }
}

void CammerRecong::Run(int det)
{
    if (det < 0 || det >= kMaxDetections || !store || !view->alignedImage || !view->displayMask) {
        qWarning() << "camera" << view->cameraIndex << "detection" << det << "cannot be judged: no pictures";
        view->cameraOk = false;
        return;
    }
    const WizardPara& p = LivePara();
    view->cameraOk = true;
    for (int r = 0; r < std::min(store->roiNum[det], kMaxRegions); ++r) view->roiOk[det][r] = true;

    const bool color = Color();
    cv::Mat picture = view->GrayMat(view->alignedImage);
    cv::Mat colorPicture;
    if (color) {
        colorPicture = view->ColorMat(view->alignedImage);
        auto convert = gisGrayHue ? RGBA2Gray : RGBA2Hue;
        convert(view->grayImage, reinterpret_cast<int*>(view->alignedImage), view->imageWidth, view->imageHeight);
        picture = view->GrayMat(view->grayImage);
    }
    if (p.matchBrightness && norm[det] > 0) {
        cv::normalize(picture, normalised, norm[det], 0, cv::NORM_L2, -1);
        picture = normalised;
    }
    cv::Mat overlayAll = view->GrayMat(view->displayMask);
    overlayAll = cv::Scalar::all(0);  // (a plain fill of zeros, where setTo copies a pattern)
    FitLight(det, picture);

    param_roi rec;
    int kernel = 1;
    for (int r = 0; r < std::min(store->roiNum[det], kMaxRegions); ++r) {
        const int f = store->func[det][r];
        int(&boxes)[kMaxRoiBoxes][4] = view->roiBoxes[det][r];
        if (NotJudged(f)) {
            view->roiValue[det][r] = 0;
            boxes[0][0] = 0;
            continue;
        }
        if (r + 1 < std::min(store->roiNum[det], kMaxRegions)) {
            const cv::Rect next = ShapeRect(store, det, r + 1) & PictureRect();
            Prefetch(picture, next);
            Prefetch(overlayAll, next);  // (written where the next region marks anything)
        }
        // The detection mask's crop is read only where the band needs it (the matchers apply their
        // own): read row by row out of a picture-sized mask it costs a good share of a judgement.
        const Cut cut = CutRegion(store, view->workMasks[det][r], det, r, true, BandReadsMask(f));
        if (cut.code) {
            view->cameraOk = false;
            ReportRegionError(det, cut.code);
            continue;
        }
        cv::Mat roi = picture(cut.rect);
        // A region at the picture's edge is judged only where the corrected picture has content.
        const cv::Mat uncovered = FillUncovered(det, cut.rect, roi);
        const double light = f == kFuncDefect ? RegionLight(det, cut.rect, roi) : 0;
        const cv::Mat around = f == kFuncDefect ? AroundRegion(det, r, picture, cut.rect) : cv::Mat();
        Band band = MakeBand(store, det, r, roi, color ? colorPicture(cut.rect) : cv::Mat(), cut.mask, kernel,
                             kCountBoundSlackRun, light, around);
        if (!uncovered.empty())
            band.band.setTo(0, uncovered);
        kernel = band.kernel;
        const Contours contours = Blobs(band, overlayAll(cut.rect));
        int stored = 0;
        for (size_t n = 0; n < contours.size() && n < kMaxRoiBoxes - 1; ++n) {
            const cv::Rect b = cv::boundingRect(contours[n]);
            int* box = boxes[n + 1];
            box[0] = cut.rect.x + b.x;
            box[1] = cut.rect.y + b.y;
            box[2] = cut.rect.x + b.x + b.width;
            box[3] = cut.rect.y + b.y + b.height;
            ++stored;
        }
        boxes[0][0] = stored;
        // The network record carries the blob area for every function, also where the
        // region's shown value is a score or a count.
        const int area = AreaSum(contours);
        int value = 0;
        const bool ok = Judge(det, r, area, band.score, int(contours.size()), value, rec);
        view->roiValue[det][r] = value;
        if (!ok) {
            view->roiOk[det][r] = false;
            view->cameraOk = false;
        }
        rec.camera = view->cameraIndex;
        rec.detect = det;
        rec.roi = r;
        rec.func = f;
        rec.value = area;
        rec.cameraOk = view->cameraOk;
        TNR_NETMN::getInstance()->roiCache.insert(TNR_NETMN::roiKey(view->cameraIndex, det, r), rec);
    }
}
