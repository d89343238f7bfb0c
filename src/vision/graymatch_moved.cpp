// What a crop moved against its references is compared with.
// Guarantees: a crop moved by (dx, dy) meets the reference pixel it now lies on; the strip the
// movement uncovers at the crop's edge, and the judged pixels it brings onto pixels the mask
// leaves out (a circle's or polygon's outline, ignored points), meet the references' widest band
// within the movement's reach of the nearest judged pixel: after a movement every judged pixel is
// judged, and none against what the references never saw as the region. Means are judged only
// where their windows lie on what the references saw (at the rim too where both sides read the
// picture around the crop). The model's own bands are never written.
#include "graymatch_stages.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

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
