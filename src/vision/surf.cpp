// Feature-score matcher.
#include "surf.h"

#include "graymatch_hue.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QDebug>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace {
constexpr int kGridCells = 48;              // longer side of the working grid
constexpr double kLumC = 6.5025;            // (0.01 * 255)^2
constexpr double kStructC = 58.5225;        // (0.03 * 255)^2
constexpr unsigned char kCellInside = 250;  // area-reduced mask value of a cell inside the mask

constexpr float kHueScale = 100.0f;  // a clear hue direction has this length in the grid
// Hue cells of faint tints swing with the noise more than grey cells do: raised
// stabilisers keep such swings between near-empty grids from reading as structure, while
// clear hues (cell variances in the thousands) still decide.
constexpr double kHueLumC = 1000.0;
constexpr double kHueStructC = 4000.0;
constexpr double kHueStrengthC = 5000.0;  // a clear hue against none still scores a third
constexpr double kHueGain = 3.0;          // strength a weaker crop is brought up by at most
constexpr float kFirmCell = 0.5f;         // share of a cell's pixels of firm colour that makes it firm
// Share of a cell's pixels whose hue is known (see HueField) below which the crop's cell is
// left out, and above which it counts whole.
constexpr float kUnknownShare = 0.4f, kKnownShare = 0.8f;
// Hues the conversion gives where the two brightest channels are equal, as where both clip at
// white: 60, 180 and 300 degrees on the 0..255 circle. A cell with this share of them is read by
// them where the reference's clear hue (this share of a whole one) lies beyond the pair's reach:
// 60 degrees either side, and a margin for noise and cells across an edge.
constexpr int kTopPairHue[3] = {42, 127, 212};
constexpr float kPairShare = 0.5f, kClearRef = 0.6f;
const float kPairReachCos = float(std::cos(CV_PI * 88.0 / 180.0));
constexpr float kNoDirection = 0.5f;     // cell strength below which its hue direction is rounding
constexpr int kBlockCells = 8;            // side of the blocks of the local similarity
constexpr double kBlockRetry = 0.8;       // a block below this is tried a cell around too
// Hue blocks are steadied against noise (see Steadied), so a part's block may weigh more than
// the whole region: a coloured part of a block's size fails where it would not count with grey.
constexpr double kHueBlockWeight = 4.0;
constexpr double kHueBlockRetry = 0.0;    // hue blocks: only where they are wholly unlike
constexpr double kShiftGain = 2.0;        // hue: a displacement must halve the dissimilarity
constexpr double kSameCellsGain = 1.5;    // or take a third of it away on the cells it compares
constexpr int kWideShift = 3;             // a poor match is looked for this many times further
constexpr double kWideBelow = 0.9;        // below this similarity nearby
// A hue is as good as the colour's distance from grey (its chroma, over the coherence window)
// lets it be: sensor noise and compression turn a faint tint's hue in whole blocks while its
// chroma stays a few levels, so the hue weighs nothing below kGreyChroma and wholly from
// kClearChroma (a firm colour, which neither turns), continuously between.
constexpr float kGreyChroma = 8.0f, kClearChroma = 24.0f;
// Compression turns a tint but makes none out of grey, and a brighter frame moves a chroma by a
// tenth: a crop's chroma above every chroma the references show within a displacement's reach
// by more than sensor noise leaves over the coherence window (a level or two) is colour a part
// brought, however faint. There the crop's hue weighs wholly from that margin above the
// references' chroma (rising over kChromaLevel, a level of the channels, so that the weight does
// not jump with rounding), instead of from kGreyChroma: the margin holds the noise already, so
// a ramp past it would only let a faint part's colour count in part (a turned faint tint keeps
// its chroma, so it still weighs nothing).
constexpr float kGreyNoiseChroma = 4.0f, kChromaLevel = 1.0f;
// The hue stabilisers of a block's mean hue direction and strength hold what noise can do to the
// mean of a clear colour's cells, whose hue weighs whole. Cells weighed by their colour's strength
// hold that share of a clear colour's energy (the square of their weight), and so does what noise
// does to their hue: those stabilisers shrink with it, so that a faint but steady tint that goes is
// a change as a clear colour's going is. The weight itself is noisy, though: a brighter or darker
// frame moves every chroma by a tenth (at most of kClearChroma, where the weight stops growing) and
// sensor noise each cell's by up to kGreyNoiseChroma, each a share of the weight's ramp; over the n
// cells of a mean the light's swing stays, the sensor's falls to its n-th. Compression moves a
// chroma as far as the sensor does, but over whole blocks of pixels at once (it turns or wipes a
// faint tint blockwise): its swing does not fall with the cells either. The structure's
// stabiliser stays whole: a cell's own weight swings by the sensor's share (a quarter of a clear
// colour's length) however faint it is, as much as the near-grey hue noise it was chosen to hold.
constexpr double kLightSwing = 0.1;
constexpr double kRamp = double(kClearChroma - kGreyChroma);
constexpr double kLightWeight2 = (kLightSwing * kClearChroma / kRamp) * (kLightSwing * kClearChroma / kRamp);
constexpr double kSensorWeight2 = (kGreyNoiseChroma / kRamp) * (kGreyNoiseChroma / kRamp);
constexpr double kCompressionWeight2 = kSensorWeight2;  // see above: one swing, not averaged

struct ShiftScore
{
    double score = -1.0;
    int dx = 0;
    int dy = 0;
    cv::Vec2d meanShift;  // image mean minus reference mean, per channel
};

// The sums of one structural similarity over a rectangle of cells: per lane of the vectors
// (lanes alternate between the channels of hue grids), then per channel.
// A crop's working grid ready for the sums: the grid, its square and, for hue, how much of each
// cell's hue is known, 0..1 in every channel (empty: all of it).
struct Live
{
    cv::Mat v, v2, known, pairs;
    cv::Mat direction;  // hue: where v has faded to nothing, the direction its pixels still show
    cv::Mat gone;       // hue: per cell the share of its pixels whose lost hue nothing excuses
    cv::Mat colour;     // hue, weighed: per cell the mean weight its pixels' chroma gives their hue
};

struct CellSums
{
    double n = 0, st[2] = {}, si[2] = {}, stt = 0, sii = 0, sti = 0;
};

// Sums over the cells of ref inside area that the mask keeps and that land inside img when
// it is displaced by (dx, dy) cells. Each row is one pass of vector arithmetic over the masked
// reference (m: the mask as 0 or 1 per channel, rm = ref * m, rrm = ref * ref * m) and the
// image with its squares. The channels and whether hue is weighed by how much of it is known
// are fixed per call, so that the sums past a row's last whole vector stay in registers; a
// search calls this thousands of times on small grids.
template <int ch, bool weighed>
CellSums SumCellsOf(const SURF::Grids& ref, const Live& live, int dx, int dy, cv::Rect area)
{
    const cv::Mat& img = live.v;
    const cv::Mat& img2 = live.v2;
    const cv::Mat& known = live.known;
    CellSums c;
    const int y0 = std::max(area.y, -dy), y1 = std::min(area.y + area.height, img.rows - dy);
    const int x0 = std::max(area.x, -dx), x1 = std::min(area.x + area.width, img.cols - dx);
    if (y0 >= y1 || x0 >= x1)
        return c;
    const int len = (x1 - x0) * ch;
    float lanes[2][cv::v_float32::nlanes] = {};
    float n = 0, stt = 0, sii = 0, sti = 0, tail[2][2] = {};
    cv::v_float32 vst = cv::vx_setzero_f32(), vsi = cv::vx_setzero_f32(), vn = cv::vx_setzero_f32();
    cv::v_float32 vstt = cv::vx_setzero_f32(), vsii = cv::vx_setzero_f32(), vsti = cv::vx_setzero_f32();
    const float* m = ref.m.ptr<float>(y0) + x0 * ch;
    const float* rm = ref.rm.ptr<float>(y0) + x0 * ch;
    const float* rrm = ref.rrm.ptr<float>(y0) + x0 * ch;
    const float* v = img.ptr<float>(y0 + dy) + (x0 + dx) * ch;
    const float* v2 = img2.ptr<float>(y0 + dy) + (x0 + dx) * ch;
    const float* kn = weighed ? known.ptr<float>(y0 + dy) + (x0 + dx) * ch : nullptr;
    const size_t steps[6] = {ref.m.step[0] / sizeof(float),   ref.rm.step[0] / sizeof(float),
                             ref.rrm.step[0] / sizeof(float), img.step[0] / sizeof(float),
                             img2.step[0] / sizeof(float),    weighed ? known.step[0] / sizeof(float) : 0};
    // One cell (channel) past the last whole vector, into the sums of its channel.
    auto single = [&](int k, int channel) {
        const float w = weighed ? kn[k] : 1.0f;
        n += m[k] * w;
        tail[0][channel] += rm[k] * w;
        tail[1][channel] += m[k] * w * v[k];
        stt += rrm[k] * w;
        sii += m[k] * w * v2[k];
        sti += rm[k] * w * v[k];
    };
    for (int y = y0; y < y1; ++y) {
        int k = 0;
        for (; k <= len - cv::v_float32::nlanes; k += cv::v_float32::nlanes) {
            cv::v_float32 vm = cv::vx_load(m + k), vr = cv::vx_load(rm + k), vrr = cv::vx_load(rrm + k);
            if (weighed) {
                const cv::v_float32 vk = cv::vx_load(kn + k);
                vm = vm * vk, vr = vr * vk, vrr = vrr * vk;
            }
            const cv::v_float32 vv = cv::vx_load(v + k);
            vn += vm;
            vst += vr;
            vstt += vrr;
            vsi += vm * vv;
            vsii += vm * cv::vx_load(v2 + k);
            vsti += vr * vv;
        }
        // Whole vectors hold whole cells, so the rest starts at a cell's first channel.
        for (; k + ch <= len; k += ch)
            for (int channel = 0; channel < ch; ++channel) single(k + channel, channel);
        m += steps[0], rm += steps[1], rrm += steps[2], v += steps[3], v2 += steps[4];
        if (weighed)
            kn += steps[5];
    }
    cv::v_store(lanes[0], vst);
    cv::v_store(lanes[1], vsi);
    for (int l = 0; l < cv::v_float32::nlanes; ++l) {
        c.st[l % ch] += lanes[0][l];
        c.si[l % ch] += lanes[1][l];
    }
    for (int k = 0; k < ch; ++k) c.st[k] += tail[0][k], c.si[k] += tail[1][k];
    c.n = (cv::v_reduce_sum(vn) + n) / ch;
    c.stt = cv::v_reduce_sum(vstt) + stt;
    c.sii = cv::v_reduce_sum(vsii) + sii;
    c.sti = cv::v_reduce_sum(vsti) + sti;
    return c;
}

CellSums SumCells(const SURF::Grids& ref, const Live& live, int dx, int dy, cv::Rect area)
{
    const bool weighed = !live.known.empty();
    if (live.v.channels() == 1)
        return weighed ? SumCellsOf<1, true>(ref, live, dx, dy, area) : SumCellsOf<1, false>(ref, live, dx, dy, area);
    return weighed ? SumCellsOf<2, true>(ref, live, dx, dy, area) : SumCellsOf<2, false>(ref, live, dx, dy, area);
}

// Structural similarity of ref against img displaced by (dx, dy) cells, over the cells of
// ref inside area that the mask keeps and that land inside img. With two channels (hue
// directions) means are vectors, variances and the covariance sum over both channels; energy:
// the share of a clear colour's energy the compared cells' colour weights leave (see
// kLightWeight2).
ShiftScore ScoreAt(const SURF::Grids& ref, const Live& live, int dx, int dy, int minCells, cv::Rect area,
                   double energy = 1.0)
{
    const cv::Mat& img = live.v;
    const bool hue = img.channels() == 2;
    const double structC = hue ? kHueStructC : kStructC;
    const int ch = img.channels();
    const CellSums sums = SumCells(ref, live, dx, dy, area);
    const double n = sums.n;
    ShiftScore s;
    s.dx = dx;
    s.dy = dy;
    if (n < minCells || n < 1)
        return s;
    const double scale = hue ? std::min(1.0, energy + kLightWeight2 + kCompressionWeight2 + kSensorWeight2 / n) : 1.0;
    const double lumC = (hue ? kHueLumC : kLumC) * scale;
    double mtt = 0, mii = 0, mti = 0;
    for (int c = 0; c < ch; ++c) {
        const double mt = sums.st[c] / n, mi = sums.si[c] / n;
        mtt += mt * mt;
        mii += mi * mi;
        mti += mt * mi;
        s.meanShift[c] = mi - mt;
    }
    double vt = std::max(0.0, sums.stt / n - mtt), vi = std::max(0.0, sums.sii / n - mii);
    double cov = sums.sti / n - mti;
    if (hue && sums.sii > 0) {
        // Faint tints lose coherence, and so strength, as the noise grows while their hue stays:
        // a crop weaker than its references is brought up to their strength, by at most
        // kHueGain, so that only a hue that all but vanished reads as a change.
        const double g = std::clamp(std::sqrt(sums.stt / sums.sii), 1.0, kHueGain);
        mii *= g * g, mti *= g, vi *= g * g, cov *= g;
    }
    double lum = (2 * mti + lumC) / (mtt + mii + lumC);
    if (hue) {
        // The mean hue's direction decides; its strength only where a clear hue came or went,
        // since faint tints lose coherence (strength) with every bit more noise.
        const double nt = std::sqrt(mtt), ni = std::sqrt(mii);
        const double strengthC = kHueStrengthC * scale;
        lum = (mti + lumC) / (nt * ni + lumC) * (2 * nt * ni + strengthC) / (mtt + mii + strengthC);
    }
    const double structure = (2 * cov + structC) / (vt + vi + structC);
    s.score = lum * structure;
    return s;
}

ShiftScore ScoreAt(const SURF::Grids& ref, const Live& live, int dx, int dy, int minCells)
{
    return ScoreAt(ref, live, dx, dy, minCells, cv::Rect(0, 0, live.v.cols, live.v.rows));
}

// A grid of cells' energies (see kLightWeight2) summed over rectangles of cells: an integral, of the
// cells mask keeps where given.
cv::Mat EnergySums(const cv::Mat& energy, const cv::Mat& mask = cv::Mat())
{
    cv::Mat kept = energy.clone(), sums;
    if (!mask.empty())
        kept.setTo(0, mask == 0);
    cv::integral(kept, sums, CV_64F);
    return sums;
}

// The sum over the cells of r read from an integral of T.
template <typename T = double>
T SumOver(const cv::Mat& integral, cv::Rect r)
{
    return integral.at<T>(r.br().y, r.br().x) - integral.at<T>(r.y, r.br().x) - integral.at<T>(r.br().y, r.x) +
           integral.at<T>(r.y, r.x);
}

// The energy (see kLightWeight2) a block's compared cells hold at a displacement: the mean of the
// reference's kept cells' (refs: per reference EnergySums over the kept cells; cells: how many the
// block keeps) and of the crop's cells the displacement lands it on, by how much of their hue is
// known. 1 where either is not weighed.
struct BlockEnergy
{
    const std::vector<cv::Mat>* refs = nullptr;
    cv::Mat crop, known;  // EnergySums of the crop cells' energies times how much of their hue is known, and of that
    double At(size_t k, int cells, cv::Rect block, cv::Point shift) const
    {
        if (!refs || k >= refs->size() || (*refs)[k].empty() || crop.empty())
            return 1.0;
        const cv::Rect landed = (block + shift) & cv::Rect(0, 0, crop.cols - 1, crop.rows - 1);
        const double known = landed.empty() ? 0.0 : SumOver(this->known, landed);
        if (cells <= 0 || known <= 0)
            return 1.0;
        return (SumOver((*refs)[k], block) / cells + SumOver(crop, landed) / known) / 2;
    }
};

// The crop's grid as compared with one reference at a displacement. Hue of a faint tint under
// strong noise keeps its direction while its coherence, and so its strength, drops well below the
// reference's: each cell of the crop that still shows a direction is compared at the strength of
// the reference cell it lands on when that is stronger (a hue that came where none was keeps its
// own strength; a cell with no direction left stays empty; on a firm colour, which noise cannot
// blur that far, by kHueGain at most; where the crop's colour weighs less than the reference's,
// to the reference's unweighed strength at the crop's weight only: noise takes coherence, while
// a colour faded towards grey is a change). A cell mostly of hue the conversion
// gives for two equal brightest channels is not known, as white clipping in a brighter frame gives
// it; but brightness keeps the order of the channels, so where the reference shows a clear hue
// whose two brightest channels are another pair, something else lies there: the cell counts, at
// that pair's hue. (plain: the reference's hue unweighed by its colour's strength, which tells
// its channels' order; empty: ref is.)
Live Steadied(const Live& live, const cv::Mat& ref, const cv::Mat& plain, const cv::Mat& firm, cv::Point shift)
{
    Live out{live.v.clone(), cv::Mat(), live.known, live.pairs, cv::Mat(), live.gone, live.colour};
    bool cloned = false;
    for (int y = std::max(0, shift.y); y < std::min(out.v.rows, ref.rows + shift.y); ++y) {
        cv::Vec2f* v = out.v.ptr<cv::Vec2f>(y);
        const cv::Vec2f* r = ref.ptr<cv::Vec2f>(y - shift.y);
        const cv::Vec2f* c = plain.empty() ? r : plain.ptr<cv::Vec2f>(y - shift.y);
        const cv::Vec2f* p = live.pairs.empty() ? nullptr : live.pairs.ptr<cv::Vec2f>(y);
        const cv::Vec2f* d = live.direction.empty() ? nullptr : live.direction.ptr<cv::Vec2f>(y);
        const float* g = live.gone.empty() ? nullptr : live.gone.ptr<float>(y);
        const float* fr = firm.empty() ? nullptr : firm.ptr<float>(y - shift.y);
        const float* cw = live.colour.empty() || plain.empty() ? nullptr : live.colour.ptr<float>(y);
        for (int x = std::max(0, shift.x); x < std::min(out.v.cols, ref.cols + shift.x); ++x) {
            const cv::Vec2f& rx = r[x - shift.x];
            const float l = std::sqrt(v[x].dot(v[x])), strength = std::sqrt(rx.dot(rx));
            // Only the part of the cell that still has a hue is brought up: pixels that lost it
            // (white, black, grey where the references cannot have lost it) stay empty.
            float up = strength * (g ? 1.0f - g[x] : 1.0f);
            // A firm colour (see AddColour) loses little to noise: brought up by kHueGain at most.
            if (fr && fr[x - shift.x] >= kFirmCell)
                up = std::min(up, l * float(kHueGain));
            const float share = p ? std::sqrt(p[x].dot(p[x])) : 0.0f;
            const cv::Vec2f& cx = c[x - shift.x];
            const float clear = std::sqrt(cx.dot(cx));
            // Noise takes coherence, not chroma: the crop's colour weighs as it is.
            if (cw)
                up = std::min(up, clear * cw[x]);
            if (share >= kPairShare && clear >= kClearRef * kHueScale && p[x].dot(cx) < kPairReachCos * share * clear) {
                v[x] = p[x] * (clear / share);
                if (!cloned)
                    out.known = live.known.clone(), cloned = true;
                out.known.at<cv::Vec2f>(y, x) = cv::Vec2f(1, 1);
            } else if (up > l) {
                const float dl = d ? std::sqrt(d[x].dot(d[x])) : 0.0f;
                if (l > kNoDirection)
                    v[x] *= up / l;
                else if (dl > kNoDirection)
                    v[x] = d[x] * (up / dl);
            }
        }
    }
    out.v2 = out.v.mul(out.v);
    return out;
}

// Keeps in largest the larger of it and more, pixel by pixel (more alone where largest is empty).
void KeepLargest(cv::Mat& largest, const cv::Mat& more)
{
    if (largest.size() == more.size())
        cv::max(largest, more, largest);
    else
        largest = more.clone();
}

// Reference k's grid unweighed by its colour (see Steadied); empty where it is not weighed.
const cv::Mat& Plain(const std::vector<cv::Mat>& plain, size_t k)
{
    static const cv::Mat none;
    return k < plain.size() ? plain[k] : none;
}

// The least similar part of the region: the similarity of every block of kBlockCells cells
// (blocks overlap by half), each against the reference it is most like, at the region's best
// displacement (the grids are smoothed, so the part of a cell by which a slight turn moves
// the parts of a region differently does not count), or a cell around it where that fits
// better; blocks the mask keeps less than half of are left out. 1 when no block counts.
double WorstBlock(const std::vector<SURF::Grids>& refs, const std::vector<Live>& lives, const cv::Mat& kept,
                  cv::Point shift, double retryBelow, const BlockEnergy& energy = BlockEnergy())
{
    const Live& live = lives.front();
    const cv::Mat& img = live.v;
    const int bw = std::min(kBlockCells, img.cols), bh = std::min(kBlockCells, img.rows);
    const int stepX = std::max(1, bw / 2), stepY = std::max(1, bh / 2);
    double worst = 1.0;
    for (int y = 0;; y = std::min(y + stepY, img.rows - bh)) {
        for (int x = 0;; x = std::min(x + stepX, img.cols - bw)) {
            const cv::Rect block(x, y, bw, bh);
            const int cells = SumOver<int>(kept, block);
            if (cells * 2 >= bw * bh) {
                double best = -1.0;
                for (size_t k = 0; k < refs.size(); ++k)
                    best = std::max(best, ScoreAt(refs[k], lives[k], shift.x, shift.y, cells / 2, block,
                                                  energy.At(k, cells, block, shift))
                                              .score);
                // Where a part moved by most of a cell against the rest, the cell beside fits. (A
                // block whose hue is mostly not known is left out, not looked for beside.)
                for (int n = 0; n < 9 && best < retryBelow && (best > -1.0 || live.known.empty()); ++n)
                    if (n != 4)
                        for (size_t k = 0; k < refs.size(); ++k) {
                            const cv::Point beside(shift.x + n % 3 - 1, shift.y + n / 3 - 1);
                            best = std::max(best, ScoreAt(refs[k], lives[k], beside.x, beside.y, cells / 2, block,
                                                          energy.At(k, cells, block, beside))
                                                      .score);
                        }
                if (best > -1.0)  // else the displacement took the block mostly off the crop
                    worst = std::min(worst, best);
            }
            if (x == img.cols - bw)
                break;
        }
        if (y == img.rows - bh)
            break;
    }
    return worst;
}

// The working grid of an 8-bit crop of cells wider than 16 pixels: each cell the mean of the
// side x side pixels it holds (fewer at the right and bottom edges), as float.
void ReduceWideCells(const cv::Mat& src, int side, cv::Size grid, cv::Mat& out)
{
    out.create(grid, CV_32FC1);
    std::vector<float> sums(size_t(grid.width));
    for (int cy = 0; cy < grid.height; ++cy) {
        const int y0 = cy * side, y1 = std::min(src.rows, y0 + side);
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int y = y0; y < y1; ++y) {
            const unsigned char* p = src.ptr<unsigned char>(y);
            for (int cx = 0, x = 0; cx < grid.width; ++cx) {
                float sum = 0;
                for (const int end = std::min(src.cols, x + side); x < end; ++x) sum += float(p[x]);
                sums[size_t(cx)] += sum;
            }
        }
        float* o = out.ptr<float>(cy);
        for (int cx = 0; cx < grid.width; ++cx)
            o[cx] = sums[size_t(cx)] / float((y1 - y0) * (std::min(src.cols, (cx + 1) * side) - cx * side));
    }
}

// The working grid of an 8-bit crop: each cell the mean of the pixels it holds, as float.
void ReduceCells(const cv::Mat& src, int side, cv::Size grid, cv::Mat& out)
{
    if (src.type() == CV_8UC1 && side <= 16) {
        // Grey crops, the common case: the cell's rows summed first (one pass the compiler
        // vectorises), then each cell's columns.
        out.create(grid, CV_32FC1);
        std::vector<unsigned short> rows(size_t(src.cols));
        for (int cy = 0; cy < grid.height; ++cy) {
            const int y0 = cy * side, y1 = std::min(src.rows, y0 + side);
            std::fill(rows.begin(), rows.end(), 0);
            for (int y = y0; y < y1; ++y) {
                const unsigned char* p = src.ptr<unsigned char>(y);
                unsigned short* r = rows.data();
                int x = 0;
#if CV_SIMD
                for (; x + cv::v_uint16::nlanes <= src.cols; x += cv::v_uint16::nlanes)
                    cv::v_store(r + x, cv::vx_load(r + x) + cv::vx_load_expand(p + x));
#endif
                for (; x < src.cols; ++x) r[x] = static_cast<unsigned short>(r[x] + p[x]);
            }
            float* o = out.ptr<float>(cy);
            const float whole = 1.0f / float((y1 - y0) * side);
            const int full = src.cols / side;  // cells wholly inside the crop
            for (int cx = 0; cx < full; ++cx) {
                const unsigned short* r = &rows[size_t(cx) * side];
                int sum = 0;
                for (int k = 0; k < side; ++k) sum += r[k];
                o[cx] = float(sum) * whole;
            }
            for (int cx = full; cx < grid.width; ++cx) {
                const int x0 = cx * side, x1 = std::min(src.cols, x0 + side);
                int sum = 0;
                for (int x = x0; x < x1; ++x) sum += rows[x];
                o[cx] = float(sum) / float((y1 - y0) * (x1 - x0));
            }
        }
    } else {
        ReduceWideCells(src, side, grid, out);
    }
}

// Cell c of m spread evenly over n pixels: its pixels [first, last) and the shares of its first
// and last pixel it covers (a pixel on a cell's border counts in part to both cells).
struct Span
{
    int first, last;
    float wFirst, wLast;
    float Weight(int i) const { return i == first ? wFirst : i == last - 1 ? wLast : 1.0f; }
};

Span SpanOf(int c, int m, int n)
{
    const double scale = double(n) / m, b = c * scale, e = std::min(double(n), (c + 1) * scale);
    Span s;
    s.first = int(b);
    s.last = std::clamp(int(std::ceil(e - 1e-7)), s.first + 1, n);
    s.wFirst = float(std::min(e, s.first + 1.0) - b);
    s.wLast = s.last - 1 > s.first ? float(e - (s.last - 1)) : s.wFirst;
    return s;
}

// The working grid of an 8-bit crop whose sides are no multiple of the cell: cells spread
// evenly over the crop. Cells of whole pixels with a cut last cell would have hard borders
// that, on a grain of a pixel or two, make their means jump with the fraction of a pixel a
// slight turn moves the picture; cells sharing their border pixels move smoothly.
void SpreadCells(const cv::Mat& src, cv::Size grid, cv::Mat& out)
{
    // The rows are summed in 16 bits with weights in steps of 1 / grid.height (where a cell's
    // borders fall), which holds crops up to about 200 pixels high; higher ones go in float.
    const int m = grid.height;
    const bool narrow = 255 * (src.rows + m) < 65536;
    const float norm = float(double(grid.width) * grid.height / (double(src.cols) * src.rows)) / (narrow ? m : 1);
    std::vector<Span> xs(size_t(grid.width));
    for (int cx = 0; cx < grid.width; ++cx) xs[size_t(cx)] = SpanOf(cx, grid.width, src.cols);
    out.create(grid, CV_32FC1);
    std::vector<float> acc(size_t(src.cols));
    std::vector<unsigned short> acc16(size_t(src.cols));
    // The columns of one row of cells summed up.
    auto cells = [&](const auto* acc, int cy) {
        float* o = out.ptr<float>(cy);
        for (int cx = 0; cx < grid.width; ++cx) {
            const Span& sx = xs[size_t(cx)];
            float sum = sx.wFirst * float(acc[sx.first]);
            for (int x = sx.first + 1; x < sx.last - 1; ++x) sum += float(acc[x]);
            if (sx.last - 1 > sx.first)
                sum += sx.wLast * float(acc[sx.last - 1]);
            o[cx] = sum * norm;
        }
    };
    for (int cy = 0; cy < grid.height; ++cy) {
        const Span ys = SpanOf(cy, grid.height, src.rows);
        if (narrow) {
            std::fill(acc16.begin(), acc16.end(), 0);
            for (int y = ys.first; y < ys.last; ++y) {
                const auto w = static_cast<unsigned short>(std::lround(ys.Weight(y) * m));
                const unsigned char* p = src.ptr<unsigned char>(y);
                unsigned short* a = acc16.data();
                int x = 0;
#if CV_SIMD
                const cv::v_uint16 vw = cv::vx_setall_u16(w);
                for (; x + cv::v_uint16::nlanes <= src.cols; x += cv::v_uint16::nlanes)
                    cv::v_store(a + x, cv::vx_load(a + x) + cv::v_mul_wrap(cv::vx_load_expand(p + x), vw));
#endif
                for (; x < src.cols; ++x) a[x] = static_cast<unsigned short>(a[x] + w * p[x]);
            }
            cells(acc16.data(), cy);
        } else {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (int y = ys.first; y < ys.last; ++y) {
                const float w = ys.Weight(y);
                const unsigned char* p = src.ptr<unsigned char>(y);
                for (int x = 0; x < src.cols; ++x) acc[size_t(x)] += w * float(p[x]);
            }
            cells(acc.data(), cy);
        }
    }
}

// Per pixel of a colour picture (8-bit, 3 or 4 channels) the length of its mean chroma (see
// ChromaMeans); empty without a colour.
cv::Mat ChromaLength(const cv::Mat& colour)
{
    if (colour.empty() || colour.depth() != CV_8U || colour.channels() < 3)
        return cv::Mat();
    cv::Mat planes[2], length;
    cv::split(ChromaMeans(colour), planes);
    cv::magnitude(planes[0], planes[1], length);
    return length;
}

// The largest chroma (see ChromaLength) within reach pixels of each pixel of a colour picture.
cv::Mat ChromaWithin(const cv::Mat& colour, int reach)
{
    cv::Mat length = ChromaLength(colour);
    if (!length.empty() && reach > 0)
        cv::dilate(length, length, cv::getStructuringElement(cv::MORPH_RECT, {2 * reach + 1, 2 * reach + 1}),
                   cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    return length;
}

// Per pixel of a colour picture how much its hue weighs: its chroma's distance from grey ramped
// from kGreyChroma to kClearChroma, or where given, as much as it rises from floor's chroma
// (the references' within reach and sensor noise's) over kChromaLevel if that is more; empty
// without a colour. fresh (where given with floor): 255 where the colour is clear and rises above
// floor by another noise margin, a colour no reference within reach shows: clipping a reference
// in a brighter frame lowers its chroma, crushing it leaves none.
cv::Mat ChromaWeight(const cv::Mat& colour, const cv::Mat& floor = cv::Mat(), cv::Mat* fresh = nullptr)
{
    cv::Mat length = ChromaLength(colour);
    if (length.empty())
        return length;
    cv::Mat weight = (length - kGreyChroma) / (kClearChroma - kGreyChroma);
    if (floor.size() == length.size()) {
        cv::max(weight, (length - floor) / kChromaLevel, weight);
        if (fresh)
            *fresh = (length >= kClearChroma) & (length - floor >= kGreyNoiseChroma);
    }
    cv::min(cv::max(weight, 0.0), 1.0, weight);
    return weight;
}

// The working grid of a hue crop: per cell the mean of its pixels' hue directions weighted by
// their coherence (and by weight, per pixel 0..1, where given: see ChromaWeight; colour: per cell
// the mean of that weight); faded: weighted by HueStrength instead; known: how much of its hue is known,
// 0..1 in both channels; pairs: the mean of the unit directions of the pixels whose hue is one of
// kTopPairHue, 0 for the others (length: their share, if they agree). Summed straight into the
// cells: the pictures of the crop's size are not kept. fresh (8-bit, where given): pixels of a
// colour the references cannot explain (see ChromaWeight), whose hue is never lost: a cyan,
// yellow or magenta of two equal brightest channels, or a red, gets the hue clipping and grey get.
cv::Mat HueCells(const cv::Mat& hue, int side, cv::Size grid, cv::Mat* faded, cv::Mat* known, cv::Mat* pairs,
                 cv::Mat* gone, const cv::Mat& excuse, const cv::Mat& weight = cv::Mat(), cv::Mat* colour = nullptr,
                 const cv::Mat& fresh = cv::Mat())
{
    static const std::array<cv::Vec2f, 256> unit = [] {
        std::array<cv::Vec2f, 256> u{};
        for (int h : kTopPairHue)
            u[h] = cv::Vec2f(float(std::cos(2 * CV_PI * h / 255)), float(std::sin(2 * CV_PI * h / 255)));
        return u;
    }();
    // A reference's own lost hue weighs nothing; the crop's only where the references excuse it.
    const bool kept = !fresh.empty() && fresh.size() == hue.size() && excuse.size() == hue.size();
    const cv::Mat field = known ? HueField(hue, kept ? cv::Mat(excuse & ~fresh) : excuse) : HueField(hue);
    cv::Mat w = cv::Mat::zeros(grid, CV_32FC2), d = cv::Mat::zeros(grid, CV_32FC2), p = cv::Mat::zeros(grid, CV_32FC2);
    cv::Mat k = cv::Mat::zeros(grid, CV_32FC1), out = cv::Mat::zeros(grid, CV_32FC1), cs = cv::Mat::zeros(grid, CV_32FC1);
    const bool excused = !excuse.empty() && excuse.size() == hue.size();
    const bool weighed = !weight.empty() && weight.size() == hue.size();
    for (int y = 0; y < hue.rows; ++y) {
        const unsigned char* e = excused ? excuse.ptr<unsigned char>(y) : nullptr;
        const float* cw = weighed ? weight.ptr<float>(y) : nullptr;
        const unsigned char* fr = kept ? fresh.ptr<unsigned char>(y) : nullptr;
        float* oc = out.ptr<float>(y / side);
        const cv::Vec4f* f = field.ptr<cv::Vec4f>(y);
        const unsigned char* h = hue.ptr<unsigned char>(y);
        cv::Vec2f* wc = w.ptr<cv::Vec2f>(y / side);
        cv::Vec2f* dc = d.ptr<cv::Vec2f>(y / side);
        cv::Vec2f* pc = p.ptr<cv::Vec2f>(y / side);
        float* kc = k.ptr<float>(y / side);
        float* sc = cs.ptr<float>(y / side);
        for (int x = 0; x < hue.cols; ++x) {
            const int c = x / side;
            // Pixels whose hue tells clipping rather than colour carry none.
            const cv::Vec2f direction = cv::Vec2f(f[x][0], f[x][1]) * (kHueScale * f[x][3] * (cw ? cw[x] : 1.0f));
            wc[c] += direction * f[x][2];
            dc[c] += direction * HueStrength(f[x][2]);
            kc[c] += f[x][3];
            sc[c] += cw ? cw[x] : 1.0f;
            pc[c] += unit[h[x]];
            oc[c] += e && !e[x] && HueLost(h[x]) && !(fr && fr[x]) ? 1.0f : 0.0f;
        }
    }
    for (int cy = 0; cy < grid.height; ++cy) {
        const int rows = std::min(hue.rows, (cy + 1) * side) - cy * side;
        for (int cx = 0; cx < grid.width; ++cx) {
            const float n = float(rows * (std::min(hue.cols, (cx + 1) * side) - cx * side));
            w.at<cv::Vec2f>(cy, cx) /= n, d.at<cv::Vec2f>(cy, cx) /= n, p.at<cv::Vec2f>(cy, cx) /= n;
            k.at<float>(cy, cx) = HueRamp(k.at<float>(cy, cx) / n, kUnknownShare, kKnownShare);
            out.at<float>(cy, cx) /= n;
            cs.at<float>(cy, cx) /= n;
        }
    }
    if (faded)
        *faded = d;
    if (pairs)
        *pairs = p;
    if (gone)
        *gone = out;
    if (colour && weighed)
        *colour = cs;
    if (known)
        cv::merge(std::vector<cv::Mat>{k, k}, *known);
    return w;
}

// A grid and its mask ready for SumCells.
SURF::Grids SumGrids(const cv::Mat& grid, const cv::Mat& mask)
{
    SURF::Grids g;
    cv::Mat one;
    mask.convertTo(one, CV_32F, 1.0 / 255);
    if (grid.channels() == 2)
        cv::merge(std::vector<cv::Mat>{one, one}, g.m);
    else
        g.m = one;
    g.rm = grid.mul(g.m);
    g.rrm = g.rm.mul(grid);
    return g;
}
// The crop's grid smoothed over a cell around for the blocks (faded: hue weighted by
// HueStrength). A hue cell that lost most of its hue stays empty: its neighbours' hue spread
// into it would hide a part that took a colour away, which no slight turn explains.
Live Smoothed(const Live& live, const cv::Mat& faded, bool hue)
{
    Live smooth;
    cv::GaussianBlur(faded, smooth.v, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    if (hue) {
        faded.copyTo(smooth.v, live.gone >= 0.5);
        cv::GaussianBlur(live.v, smooth.direction, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    }
    smooth.v2 = smooth.v.mul(smooth.v);
    smooth.known = live.known;
    smooth.pairs = live.pairs;
    smooth.gone = live.gone;
    smooth.colour = live.colour;
    return smooth;
}

// A smoothed hue grid taken back towards its sharp one (both of one size) as far as clear (per
// cell of a reference, 0..1: the mean weight its colour gives its hue; see ChromaWeight) says, each
// cell by the reference cell it lands on at a displacement of shift cells (cells landing on none
// stay smoothed), or as far as own (the crop's cells' weights, where given) says where that is
// more. Smoothing mixes the directions of neighbouring cells: two clear hues side by side cancel
// into a short vector, and a cell whose colour a part took away is filled by its neighbours' hue,
// so a clear colour lost or turned reads as a faint one. A clear colour's hue is steady, in the
// references and where it rises in the crop, and a cell or two of it displaced by a slight move
// weighs little in a block; only faint tints, whose hue compression turns in blocks of pixels,
// are compared smoothed.
void Sharpened(cv::Mat& smooth, const cv::Mat& sharp, const cv::Mat& clear, cv::Point shift,
               const cv::Mat& own = cv::Mat())
{
    for (int y = std::max(0, shift.y); y < std::min(smooth.rows, clear.rows + shift.y); ++y) {
        cv::Vec2f* s = smooth.ptr<cv::Vec2f>(y);
        const cv::Vec2f* p = sharp.ptr<cv::Vec2f>(y);
        const float* c = clear.ptr<float>(y - shift.y);
        const float* o = own.empty() ? nullptr : own.ptr<float>(y);
        for (int x = std::max(0, shift.x); x < std::min(smooth.cols, clear.cols + shift.x); ++x) {
            const float a = std::clamp(std::max(c[x - shift.x], o ? o[x] : 0.0f), 0.0f, 1.0f);
            s[x] = s[x] * (1.0f - a) + p[x] * a;
        }
    }
}

// Marks in out (the crop's size) where the crop departs from reference bestRef at the best
// displacement, in the crop's own cells, as the score saw them (hue: steadied).
void MarkDepartures(const SURF& m, const Live& live, const ShiftScore& best, size_t bestRef, cv::Mat& out)
{
    const bool circular = m.circular;
    const Live shown = circular ? Steadied(live, m.refs[bestRef], Plain(m.plainRefs, bestRef), m.firmCells[bestRef],
                                           {best.dx, best.dy}) : live;
    const cv::Mat& img = shown.v;
    cv::Mat marks = cv::Mat::zeros(m.grid, CV_8UC1);
    const cv::Mat& ref = m.refs[bestRef];
    for (int y = 0; y < ref.rows; ++y) {
        const int iy = y + best.dy;
        if (iy < 0 || iy >= img.rows)
            continue;
        for (int x = 0; x < ref.cols; ++x) {
            const int ix = x + best.dx;
            if (ix < 0 || ix >= img.cols || !m.cellMask.at<unsigned char>(y, x) ||
                (circular && shown.known.at<cv::Vec2f>(iy, ix)[0] < 0.5f))
                continue;
            double d2 = 0;
            for (int c = 0; c < ref.channels(); ++c) {
                // Hue directions are compared as they are; grey cells after the brightness shift.
                const double d = img.ptr<float>(iy)[ix * ref.channels() + c] -
                                 ref.ptr<float>(y)[x * ref.channels() + c] - (circular ? 0.0 : best.meanShift[c]);
                d2 += d * d;
            }
            if (d2 > double(m.diffLevel) * m.diffLevel)
                marks.at<unsigned char>(iy, ix) = 255;
        }
    }
    cv::resize(marks, out, out.size(), 0, 0, cv::INTER_NEAREST);
}
}  // namespace

void SURF::Clear()
{
    valid = false;
    refs.clear();
    smoothRefs.clear();
    refSums.clear();
    smoothSums.clear();
    edgeRefs.clear();
    contextRefs.clear();
    firmCells.clear();
    clearCells.clear();
    cellMask.release();
    blockMask.release();
    blockKept.release();
    hueExcuse.release();
    lastHue.release();
    weighed = false;
    plainRefs.clear();
    plainSmoothRefs.clear();
    blockEnergy.clear();
    refChroma.release();
    greyFloor.release();
}

void SURF::Create(int w, int h, const cv::Mat& mask)
{
    Clear();
    width = std::max(0, w);
    height = std::max(0, h);
    if (width == 0 || height == 0)
        return;
    cell = std::max(1, (std::max(width, height) + kGridCells - 1) / kGridCells);
    grid = cv::Size((width + cell - 1) / cell, (height + cell - 1) / cell);
    cv::Mat full;
    if (!mask.empty() && mask.type() == CV_8UC1 && mask.cols == width && mask.rows == height) {
        cv::compare(mask, 255, full, cv::CMP_EQ);
    } else {
        if (!mask.empty())
            qWarning() << "SURF: mask of" << mask.cols << "x" << mask.rows << "for a model of" << width << "x" << height
                       << ", using every pixel";
        full = cv::Mat(height, width, CV_8UC1, cv::Scalar(255));
    }
    cv::Mat reduced;
    ReduceCells(full, cell, grid, reduced);
    cv::compare(reduced, kCellInside, cellMask, cv::CMP_GE);
    // A mask thinner than a cell still counts wherever it touches.
    if (cv::countNonZero(cellMask) == 0)
        cv::compare(reduced, 0, cellMask, cv::CMP_GT);
    // The blocks compare smoothed grids: their cells keep a cell off what the mask leaves out.
    cv::erode(cellMask, blockMask, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(255));
    cv::integral(blockMask / 255, blockKept, CV_32S);
}

cv::Mat SURF::ToGrid(const cv::Mat& crop, cv::Mat* faded, cv::Mat* known, cv::Mat* pairs, cv::Mat* gone,
                     const cv::Mat& colour, const cv::Mat& floor, cv::Mat* weights) const
{
    if (circular) {
        cv::Mat fresh;
        const cv::Mat weight = colour.size() == crop.size() ? ChromaWeight(colour, floor, &fresh) : cv::Mat();
        return HueCells(crop, cell, grid, faded, known, pairs, gone, hueExcuse, weight, weights, fresh);
    }
    cv::Mat out;
    if (grid.width == crop.cols && grid.height == crop.rows) {
        cv::Mat reduced;
        cv::blur(crop, reduced, cv::Size(3, 3));  // damp pixel noise where no reduction does
        reduced.convertTo(out, CV_32F);
    } else if (crop.cols % cell == 0 && crop.rows % cell == 0) {
        ReduceCells(crop, cell, grid, out);  // the same cells as SpreadCells, only quicker
    } else {
        SpreadCells(crop, grid, out);
    }
    if (faded)
        *faded = out;
    return out;
}

void SURF::AddTemp(const cv::Mat& crop, int shiftCells, int diff, int minimum)
{
    if (crop.type() != CV_8UC1 || crop.cols != width || crop.rows != height || width == 0 || height == 0) {
        qWarning() << "SURF: reference crop of" << crop.cols << "x" << crop.rows << "ignored, model is" << width << "x"
                   << height;
        return;
    }
    shift = std::max(0, shiftCells);
    diffLevel = std::max(0, diff);
    minScore = minimum;
    refs.emplace_back();
    firmCells.emplace_back();
    smoothRefs.emplace_back();
    refSums.emplace_back();
    smoothSums.emplace_back();
    if (circular) {
        HueExcuse(hueExcuse, crop);
        lastHue = crop;
    }
    SetLastRef(crop, cv::Mat());
}

void SURF::SetLastRef(const cv::Mat& crop, const cv::Mat& colour)
{
    cv::Mat faded;
    if (!colour.empty()) {
        // The channels' order that a clipped pair is held against is the colour's however faint.
        plainRefs.resize(refs.size());
        plainSmoothRefs.resize(refs.size());
        plainRefs.back() = refs.back();
        plainSmoothRefs.back() = smoothRefs.back();
    }
    cv::Mat clear;
    refs.back() = ToGrid(crop, &faded, nullptr, nullptr, nullptr, colour, cv::Mat(), &clear);
    smoothRefs.back() = cv::Mat();  // the plain grid may share the old one
    cv::GaussianBlur(faded, smoothRefs.back(), cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    clearCells.resize(refs.size());
    clearCells.back() = clear;
    if (!clear.empty())
        Sharpened(smoothRefs.back(), faded, clear, cv::Point());
    refSums.back() = SumGrids(refs.back(), cellMask);
    smoothSums.back() = SumGrids(smoothRefs.back(), blockMask);
}

void SURF::AddColour(const cv::Mat& colour)
{
    if (!circular || colour.depth() != CV_8U || colour.channels() < 3 || colour.cols != width ||
        colour.rows != height || refs.empty())
        return;
    HueExcuse(hueExcuse, colour);
    cv::Mat firm;
    FirmColour(colour, firm);
    ReduceCells(firm, cell, grid, firmCells.back());
    firmCells.back() /= 255.0;
    // The reference's hue weighed by its colour's strength, as the crops' will be.
    if (lastHue.size() == colour.size())
        SetLastRef(lastHue, colour);
    weighed = true;
    KeepLargest(refChroma, ChromaWithin(colour, shift * kWideShift * cell));
}

void SURF::AddContext(const cv::Mat& picture, cv::Rect at, const cv::Mat& colour)
{
    if (!circular || refs.empty() || picture.type() != CV_8UC1 || at.size() != cv::Size(width, height))
        return;
    // Whole cells around the crop, so that the context's cells lie on the crop's; off the
    // picture its border is repeated.
    const int pad = shift * kWideShift, margin = pad * cell;
    const cv::Rect around(at.x - margin, at.y - margin, grid.width * cell + 2 * margin, grid.height * cell + 2 * margin);
    if ((around & cv::Rect(0, 0, picture.cols, picture.rows)).empty())
        return;
    // from over span, its border repeated off the picture.
    auto widened = [&](const cv::Mat& from, cv::Rect span) {
        const cv::Rect inside = span & cv::Rect(0, 0, picture.cols, picture.rows);
        cv::Mat wide;
        cv::copyMakeBorder(from(inside), wide, inside.y - span.y, span.br().y - inside.br().y,
                           inside.x - span.x, span.br().x - inside.br().x, cv::BORDER_REPLICATE);
        return wide;
    };
    const cv::Mat weight = colour.size() == picture.size() ? ChromaWeight(widened(colour, around)) : cv::Mat();
    if (colour.size() == picture.size()) {
        // The colour a displacement may bring in from around the region, too.
        const cv::Rect reach(at.x - margin, at.y - margin, width + 2 * margin, height + 2 * margin);
        KeepLargest(refChroma, ChromaWithin(widened(colour, reach), margin)(cv::Rect(margin, margin, width, height)));
    }
    contextRefs.resize(refs.size());
    contextRefs.back() = HueCells(widened(picture, around), cell, grid + cv::Size(2 * pad, 2 * pad), nullptr, nullptr, nullptr,
                                  nullptr, cv::Mat(), weight);
}

void SURF::Train(int, int, int, int)
{
    valid = !refs.empty();
    edgeRefs.clear();
    edgePad = shift * kWideShift;
    greyFloor.release();
    if (weighed && refChroma.size() == cv::Size(width, height))
        greyFloor = refChroma + kGreyNoiseChroma;  // above the references' chroma by sensor noise's
    const cv::Size padded = grid + cv::Size(2 * edgePad, 2 * edgePad);
    for (size_t k = 0; k < refs.size() && circular; ++k) {
        cv::Mat grid;
        cv::copyMakeBorder(refs[k], grid, edgePad, edgePad, edgePad, edgePad, cv::BORDER_REPLICATE);
        // Where the reference picture around the region is known, a displacement brings that in.
        if (k < contextRefs.size() && contextRefs[k].size() == padded) {
            contextRefs[k].copyTo(grid);
            refs[k].copyTo(grid(cv::Rect(edgePad, edgePad, refs[k].cols, refs[k].rows)));
        }
        edgeRefs.push_back(grid);
    }
    blockEnergy.assign(refs.size(), cv::Mat());
    for (size_t k = 0; k < clearCells.size() && circular; ++k)
        if (!clearCells[k].empty())
            blockEnergy[k] = EnergySums(clearCells[k].mul(clearCells[k]), blockMask);
}

namespace {
// The blocks' stabilisers as the colour weights of the compared cells let noise be (see
// kLightWeight2), over the crop's cells as much as their hue is known, as the sums weigh them.
// The whole region keeps them whole: its displacement is chosen, and must explain the crop,
// against them, and a faint colour a shake brings in from beside the region (where no
// displacement compares it) or a brighter frame takes in part is no part.
BlockEnergy CropEnergy(const SURF& m, const Live& live)
{
    BlockEnergy energy{&m.blockEnergy, cv::Mat(), cv::Mat()};
    if (m.circular && !live.colour.empty()) {
        cv::Mat known;
        cv::extractChannel(live.known, known, 0);
        energy.crop = EnergySums(live.colour.mul(live.colour).mul(known));
        energy.known = EnergySums(known);
    }
    return energy;
}

// A foreign part covers only a few of the region's cells: the whole region's similarity
// hardly drops, its part's does. The score is the mean of the two (at most the whole's):
// one block quite unlike its reference fails the region, and a region covered in part
// still scores above unrelated content. Both grids are smoothed over a cell around for
// the blocks, so that a part lying between two cells does not read as a change (smooth: the
// crop's smoothed grid, made on first need). Hue grids there leave out the hue of near-grey
// pixels, which is noise: over a block it does not average away as it does over the region.
double WithParts(const SURF& m, const Live& live, const cv::Mat& faded, Live& smooth, const BlockEnergy& energy,
                 ShiftScore whole, size_t ref, int minCells)
{
    if (whole.score <= 0)
        return whole.score;
    const bool hue = m.circular;
    if (hue)
        whole = ScoreAt(m.refSums[ref],
                        Steadied(live, m.refs[ref], Plain(m.plainRefs, ref), m.firmCells[ref], {whole.dx, whole.dy}),
                        whole.dx, whole.dy, minCells);
    if (smooth.v.empty())
        smooth = Smoothed(live, faded, hue);
    const cv::Point at(whole.dx, whole.dy);
    std::vector<Live> lives;
    if (hue)
        for (size_t k = 0; k < m.smoothRefs.size(); ++k) {
            // Where reference k shows a clear colour the crop is compared as sharp as it is.
            Live sharp = smooth;
            if (k < m.clearCells.size() && !m.clearCells[k].empty()) {
                sharp.v = smooth.v.clone();
                Sharpened(sharp.v, faded, m.clearCells[k], at, live.colour);
                sharp.v2 = sharp.v.mul(sharp.v);
            }
            lives.push_back(Steadied(sharp, m.smoothRefs[k], Plain(m.plainSmoothRefs, k), m.firmCells[k], at));
        }
    else
        lives.assign(m.smoothRefs.size(), smooth);
    const double worst = WorstBlock(m.smoothSums, lives, m.blockKept, at, hue ? kHueBlockRetry : kBlockRetry, energy);
    return std::min(whole.score, (whole.score + (hue ? kHueBlockWeight : 1) * worst) / (hue ? kHueBlockWeight + 1 : 2));
}

// On hue a displacement is taken only where it explains the whole crop clearly better than
// none (still: the best score without one): on a surface of one colour every displacement fits
// about as well, and one that moves a part at the region's edge out of the compared cells would
// win. So the crop's cells that a displacement leaves without a reference cell are held against
// the reference's nearest cells (its border repeated): a part there still counts, while texture
// shaken by a cell or two leaves only a strip of them. (Grey texture a pixel or two off fits a
// displacement only so much better that the rule would refuse vibration.)
bool Explains(const SURF& m, const Live& live, const ShiftScore& s, size_t k, int minCells, double still)
{
    if (!m.circular || (s.dx == 0 && s.dy == 0))
        return true;
    // Every cell of the crop the region holds where it lies, against the reference displaced,
    // its outline and what lay around it included: a part the displacement takes off the
    // region's cells still counts.
    const cv::Mat& padded = m.edgeRefs[k];
    cv::Mat held = cv::Mat::zeros(padded.size(), CV_8UC1);
    m.cellMask.copyTo(held(cv::Rect(cv::Point(m.edgePad - s.dx, m.edgePad - s.dy), m.cellMask.size())));
    const double whole = ScoreAt(SumGrids(padded, held), live, s.dx - m.edgePad, s.dy - m.edgePad, minCells).score;
    if ((1.0 - whole) * kShiftGain <= 1.0 - still)
        return true;
    // Or on the very cells of the crop the displacement compares (the region's cells moved
    // with it): a part the displacement leaves out, off the crop or off the region's outline,
    // is left out of the still comparison too, while texture shaken off its place fits the
    // displacement clearly better there.
    const cv::Rect all(0, 0, m.cellMask.cols, m.cellMask.rows);
    cv::Mat same = cv::Mat::zeros(m.cellMask.size(), m.cellMask.type());
    const cv::Rect kept = all & (all - cv::Point(s.dx, s.dy));
    if (!kept.empty())
        m.cellMask(kept).copyTo(same(kept + cv::Point(s.dx, s.dy)));
    double stillThere = -1.0;
    for (size_t j = 0; j < m.refs.size(); ++j)
        stillThere = std::max(stillThere, ScoreAt(SumGrids(m.refs[j], same), live, 0, 0, minCells).score);
    return (1.0 - s.score) * kSameCellsGain <= 1.0 - stillThere;
}
}  // namespace

float SURF::Match(const cv::Mat& image, cv::Mat& out, const cv::Mat& colour) const
{
    out = cv::Mat::zeros(image.rows, image.cols, CV_8UC1);
    if (!valid || image.type() != CV_8UC1 || image.cols != width || image.rows != height)
        return 0.0f;
    Live live, smooth;
    cv::Mat faded;
    live.v = ToGrid(image, &faded, circular ? &live.known : nullptr, circular ? &live.pairs : nullptr,
                    circular ? &live.gone : nullptr, weighed ? colour : cv::Mat(), greyFloor,
                    circular ? &live.colour : nullptr);
    live.v2 = live.v.mul(live.v);
    int minCells = std::max(1, cv::countNonZero(cellMask) / 2);
    if (circular) {
        // Where the crop's hue is lost as the references explain (clipped at white where they lie
        // near it, or lost in them too), the region is judged on the rest; a crop all of such
        // losses departs from nothing.
        cv::Mat share;
        cv::extractChannel(live.known, share, 0);
        const int cells = cv::countNonZero(cellMask);
        const double knownCells = cells ? cv::mean(share, cellMask)[0] * cells : 0.0;
        if (knownCells < 1)
            return 100.0f;
        minCells = std::max(1, std::min(minCells, int(knownCells / 2)));
    }
    const BlockEnergy energy = CropEnergy(*this, live);
    ShiftScore best;
    size_t bestRef = 0;
    // A displacement must explain the crop clearly better than none (see Explains).
    double still = -1.0;
    for (size_t k = 0; k < refs.size() && circular; ++k)
        still = std::max(still, ScoreAt(refSums[k], live, 0, 0, minCells).score);
    // Nearby first; a poor match is looked for further away (vibration nothing corrects
    // moves a region by a few cells), without searching again where it looked already.
    for (int reach : {shift, shift * kWideShift}) {
        if (reach > shift && best.score >= kWideBelow)
            break;
        ShiftScore found;
        size_t foundRef = 0;
        for (size_t k = 0; k < refs.size(); ++k) {
            for (int dy = -reach; dy <= reach; ++dy) {
                for (int dx = -reach; dx <= reach; ++dx) {
                    if (reach > shift && std::abs(dx) <= shift && std::abs(dy) <= shift)
                        continue;
                    const ShiftScore s = ScoreAt(refSums[k], live, dx, dy, minCells);
                    if (s.score > found.score && Explains(*this, live, s, k, minCells, still)) {
                        found = s;
                        foundRef = k;
                    }
                }
            }
        }
        found.score = WithParts(*this, live, faded, smooth, energy, found, foundRef, minCells);
        if (found.score > best.score) {
            best = found;
            bestRef = foundRef;
        }
        if (shift == 0)  // no displacement tolerated: nothing further to look at
            break;
    }
    const float score = static_cast<float>(std::clamp(best.score * 100.0, 0.0, 100.0));
    if (score >= minScore)
        return score;

    MarkDepartures(*this, live, best, bestRef, out);
    return score;
}

