// Windows, masks and morphology shared by the matcher's stages.
// Guarantees: each helper gives exactly what its OpenCV counterpart gives on the same picture
// (borders as noted: the 5 x 5 means mirror, erosions and dilations leave what lies past the edge
// out), only without the general filter's set-up, which costs more than the work on a region's
// crop; tst_matchers holds them to it. Nothing here decides what departs.
#include "graymatch_stages.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace MatchStages {

// The pixels set (255) in both a and b (8-bit pictures of one size).
int CountBoth(const cv::Mat& a, const cv::Mat& b)
{
    int count = 0;
#if CV_SIMD
    LaneCount lanes;
#endif
    for (int y = 0; y < a.rows; ++y) {
        const unsigned char* pa = a.ptr<unsigned char>(y);
        const unsigned char* pb = b.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        for (; x + cv::v_uint8::nlanes <= a.cols; x += cv::v_uint8::nlanes) lanes.add(cv::vx_load(pa + x) & cv::vx_load(pb + x));
#endif
        for (; x < a.cols; ++x) count += (pa[x] & pb[x]) != 0;
    }
#if CV_SIMD
    count += lanes.sum();
#endif
    return count;
}

namespace {

// Mirrored index (fedcba|abcdef) of i in 0..n-1.
int Mirror(int i, int n)
{
    return i < 0 ? -i - 1 : i >= n ? 2 * n - i - 1 : i;
}

// The column sums c of row y of src over its five rows (mirrored at the edges): summed for the
// first row, else carried on from the row before (the row leaving taken off, the row coming
// added). With mask (0 or 255, src's size), only the pixels it sets count.
void ColumnSums5(const cv::Mat& src, const cv::Mat* mask, int y, unsigned short* c)
{
    const int rows = src.rows, cols = src.cols;
    auto keep = [&](int row) { return mask ? mask->ptr<unsigned char>(row) : nullptr; };
    int x = 0;
    if (y == 0) {
        const unsigned char *r[5], *k[5];
        for (int j = 0; j < 5; ++j)
            r[j] = src.ptr<unsigned char>(Mirror(j - 2, rows)), k[j] = keep(Mirror(j - 2, rows));
        if (mask)
            for (; x < cols; ++x)
                c[x] = static_cast<unsigned short>((r[0][x] & k[0][x]) + (r[1][x] & k[1][x]) + (r[2][x] & k[2][x]) +
                                                   (r[3][x] & k[3][x]) + (r[4][x] & k[4][x]));
        else
            for (; x < cols; ++x) c[x] = static_cast<unsigned short>(r[0][x] + r[1][x] + r[2][x] + r[3][x] + r[4][x]);
        return;
    }
    // The multiset of rows moves on by one, mirrored rows included.
    const int coming = Mirror(y + 2, rows), leaving = Mirror(y - 3, rows);
    const unsigned char* in = src.ptr<unsigned char>(coming);
    const unsigned char* off = src.ptr<unsigned char>(leaving);
    const unsigned char* inKeep = keep(coming);
    const unsigned char* offKeep = keep(leaving);
#if CV_SIMD
    if (mask)
        for (; x + cv::v_uint16::nlanes <= cols; x += cv::v_uint16::nlanes)
            cv::v_store(c + x, cv::v_sub_wrap(cv::v_add_wrap(cv::vx_load(c + x), cv::vx_load_expand(in + x) &
                                                                                     cv::vx_load_expand(inKeep + x)),
                                              cv::vx_load_expand(off + x) & cv::vx_load_expand(offKeep + x)));
    else
        for (; x + cv::v_uint16::nlanes <= cols; x += cv::v_uint16::nlanes)
            cv::v_store(c + x, cv::v_sub_wrap(cv::v_add_wrap(cv::vx_load(c + x), cv::vx_load_expand(in + x)),
                                              cv::vx_load_expand(off + x)));
#endif
    for (; x < cols; ++x)
        c[x] = static_cast<unsigned short>(c[x] + (mask ? in[x] & inKeep[x] : in[x]) -
                                           (mask ? off[x] & offKeep[x] : off[x]));
}

// The sums h of five column sums c across (mirrored at the edges).
void AcrossSums5(const unsigned short* c, int cols, unsigned short* h)
{
    int x = 0;
    if (cols < 5) {
        for (; x < cols; ++x) {
            int sum = 0;
            for (int k = -2; k <= 2; ++k) sum += c[Mirror(x + k, cols)];
            h[x] = static_cast<unsigned short>(sum);
        }
        return;
    }
    // The mirrored edges spelt out (fedcba|abcdef).
    h[0] = static_cast<unsigned short>(2 * c[0] + 2 * c[1] + c[2]);
    h[1] = static_cast<unsigned short>(2 * c[0] + c[1] + c[2] + c[3]);
    h[cols - 2] = static_cast<unsigned short>(c[cols - 4] + c[cols - 3] + c[cols - 2] + 2 * c[cols - 1]);
    h[cols - 1] = static_cast<unsigned short>(c[cols - 3] + 2 * c[cols - 2] + 2 * c[cols - 1]);
    x = 2;
#if CV_SIMD
    auto five = [&](int at) {
        cv::v_store(h + at, cv::vx_load(c + at - 2) + cv::vx_load(c + at - 1) + cv::vx_load(c + at) +
                                cv::vx_load(c + at + 1) + cv::vx_load(c + at + 2));
    };
    for (; x + cv::v_uint16::nlanes <= cols - 2; x += cv::v_uint16::nlanes) five(x);
    // The rest up to the mirrored edge as one vector ending there (the sums it repeats are the same).
    if (x < cols - 2 && cols - 2 - cv::v_uint16::nlanes >= 2) {
        five(cols - 2 - cv::v_uint16::nlanes);
        x = cols - 2;
    }
#endif
    for (; x < cols - 2; ++x) h[x] = static_cast<unsigned short>(c[x - 2] + c[x - 1] + c[x] + c[x + 1] + c[x + 2]);
}

// o = (s + 12) / 25 for every five-by-five sum s of h up to 6375, as the high half of
// (s + 12) * 20972 shifted right by 3 (exact in that range).
void Means25(const unsigned short* h, int cols, unsigned char* o)
{
    int x = 0;
#if CV_SIMD
    const cv::v_uint16 half = cv::vx_setall_u16(12), scale = cv::vx_setall_u16(20972);
    auto means = [&](int at) { cv::v_pack_store(o + at, cv::v_mul_hi(cv::vx_load(h + at) + half, scale) >> 3); };
    for (; x + cv::v_uint16::nlanes <= cols; x += cv::v_uint16::nlanes) means(x);
    if (x < cols && cols >= cv::v_uint16::nlanes) {
        means(cols - cv::v_uint16::nlanes);
        x = cols;
    }
#endif
    for (; x < cols; ++x) o[x] = static_cast<unsigned char>((h[x] + 12) / 25);
}

}  // namespace

// Mean over 5 x 5 pixels, borders mirrored (fedcba|abcdef), rounded: a box filter in vectors
// (the general filter costs several times as much on a region's crop), row by row from the
// column sums carried on from the row before. With mask (8-bit, 0 or 255, src's size; crops of
// 3 x 3 and more, WindowMean takes smaller ones), only the pixels it sets are summed, and the sum
// at the first rimPixels pixels of rim is divided by the count of judged pixels it holds instead
// of 25 (the rim lists its pixels row by row, the judged ones first).
void BoxMean5(const cv::Mat& src, cv::Mat& out, const cv::Mat* mask, const GrayMatch::MeanRim* rim,
              size_t rimPixels)
{
    static_assert(kMeanWindow == 5, "BoxMean5 sums five pixels each way");
    const int rows = src.rows, cols = src.cols;
    out.create(src.size(), CV_8UC1);
    if (rows < 3 || cols < 3) {
        cv::blur(src, out, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REFLECT);
        return;
    }
    // round(sum / n) = (2 sum + n) / 2n, as a multiplication by 2^24 / 2n rounded up (exact for
    // sums of 25 bytes).
    static const std::array<unsigned long long, kMeanWindow* kMeanWindow> inverse = [] {
        std::array<unsigned long long, kMeanWindow * kMeanWindow> t{};
        for (int n = 1; n < kMeanWindow * kMeanWindow; ++n) t[n] = ((1ULL << 24) + 2 * n - 1) / (2 * n);
        return t;
    }();
    // The column sums and the window sums of the row at hand.
    static thread_local std::vector<unsigned short> column, window;
    column.resize(size_t(cols));
    window.resize(size_t(cols));
    unsigned short* c = column.data();
    unsigned short* h = window.data();
    // The rim's two runs (judged, then left out), each row by row: where each stands.
    size_t rimAt[2] = {0, rim ? std::min(rim->judged, rimPixels) : 0};
    const size_t rimEnd[2] = {rimAt[1], rimPixels};
    for (int y = 0; y < rows; ++y) {
        ColumnSums5(src, mask, y, c);
        AcrossSums5(c, cols, h);
        unsigned char* o = out.ptr<unsigned char>(y);
        Means25(h, cols, o);
        for (int run = 0; rim && run < 2; ++run)
            for (size_t& k = rimAt[run]; k < rimEnd[run] && rim->at[k].y == y; ++k) {
                const int n = rim->count[k];
                o[rim->at[k].x] = static_cast<unsigned char>(((2ULL * h[rim->at[k].x] + n) * inverse[n]) >> 24);
            }
    }
}

// Mean of src over kMeanWindow x kMeanWindow pixels, over the model's judged pixels of the window
// only, so what a region leaves out never reaches a judged pixel's mean. 8-bit, rounded; 0 where a
// window holds no judged pixel. judgedOnly: pixels left out get a mean only where no judged
// pixel's is read.
void WindowMean(const cv::Mat& src, const GrayMatch& model, cv::Mat& out, bool judgedOnly)
{
    if (model.wholeMask) {
        BoxMean5(src, out);
        return;
    }
    if (src.rows >= 3 && src.cols >= 3) {
        BoxMean5(src, out, &model.judged, &model.meanRim, judgedOnly ? model.meanRim.judged : model.meanRim.at.size());
        return;
    }
    static thread_local cv::Mat masked;
    cv::bitwise_and(src, model.judged, masked);
    const cv::Size window(kMeanWindow, kMeanWindow);
    static thread_local cv::Mat sum, count, one;
    cv::boxFilter(masked, sum, CV_16U, window, cv::Point(-1, -1), false, cv::BORDER_REFLECT);
    cv::threshold(model.judged, one, 0, 1, cv::THRESH_BINARY);
    cv::boxFilter(one, count, CV_16U, window, cv::Point(-1, -1), false, cv::BORDER_REFLECT);
    cv::divide(sum, count, out, 1, CV_8U);
}

// Clears marks outside area (row by row: the general setTo costs more than the work here).
void KeepOnly(cv::Mat& marks, cv::Rect area)
{
    area &= cv::Rect(cv::Point(), marks.size());
    for (int y = 0; y < marks.rows; ++y) {
        unsigned char* m = marks.ptr<unsigned char>(y);
        if (y < area.y || y >= area.br().y) {
            std::memset(m, 0, size_t(marks.cols));
            continue;
        }
        std::memset(m, 0, size_t(area.x));
        std::memset(m + area.br().x, 0, size_t(marks.cols - area.br().x));
    }
}

// mask moved by shift over a picture of its size, 0 where the movement uncovers the crop.
void MoveMask(const cv::Mat& mask, cv::Point shift, cv::Mat& out)
{
    out.create(mask.size(), CV_8UC1);
    const cv::Rect ref = Overlap(mask.size(), shift), at = ref + shift;
    // Row by row: the general setTo and copyTo cost more than the work here.
    for (int y = 0; y < out.rows; ++y) {
        unsigned char* o = out.ptr<unsigned char>(y);
        if (ref.empty() || y < at.y || y >= at.br().y) {
            std::memset(o, 0, size_t(out.cols));
            continue;
        }
        std::memset(o, 0, size_t(at.x));
        std::memcpy(o + at.x, mask.ptr<unsigned char>(y - shift.y) + ref.x, size_t(ref.width));
        std::memset(o + at.br().x, 0, size_t(out.cols - at.br().x));
    }
}

// marks (8-bit) eroded (Darkest) or dilated in place by a square before + 1 + after pixels wide,
// reaching before pixels up and left of each pixel and after pixels down and right, as cv::erode
// and cv::dilate do it with a rectangle and its anchor (what lies past the edge takes no part): the
// least or greatest across, then down, in vectors. The general filter's set-up alone costs more
// than the work on a region's crop.
template <bool Darkest>
void Stretch(cv::Mat& marks, int before, int after)
{
    const int rows = marks.rows, cols = marks.cols;
    if (rows == 0 || cols == 0 || before + after == 0)
        return;
    auto pick = [](unsigned char a, unsigned char b) { return Darkest ? std::min(a, b) : std::max(a, b); };
    static thread_local std::vector<unsigned char> across;  // each row's pick over x - before .. x + after
    across.resize(size_t(rows) * cols);
    for (int y = 0; y < rows; ++y) {
        const unsigned char* m = marks.ptr<unsigned char>(y);
        unsigned char* a = &across[size_t(y) * cols];
        auto plain = [&](int x) {
            unsigned char v = m[x];
            for (int k = std::max(0, x - before); k <= std::min(cols - 1, x + after); ++k) v = pick(v, m[k]);
            a[x] = v;
        };
        int x = 0;
        for (; x < std::min(before, cols); ++x) plain(x);
#if CV_SIMD
        auto vector = [&](int at) {
            cv::v_uint8 v = cv::vx_load(m + at - before);
            for (int k = 1 - before; k <= after; ++k)
                v = Darkest ? cv::v_min(v, cv::vx_load(m + at + k)) : cv::v_max(v, cv::vx_load(m + at + k));
            cv::v_store(a + at, v);
        };
        for (; x + cv::v_uint8::nlanes <= cols - after; x += cv::v_uint8::nlanes) vector(x);
        // The rest up to the last ones as one vector ending there (what it repeats is the same).
        if (x < cols - after && cols - after - cv::v_uint8::nlanes >= before) {
            vector(cols - after - cv::v_uint8::nlanes);
            x = cols - after;
        }
#endif
        for (; x < cols; ++x) plain(x);
    }
    for (int y = 0; y < rows; ++y) {
        const int first = std::max(0, y - before), last = std::min(rows - 1, y + after);
        unsigned char* m = marks.ptr<unsigned char>(y);
        const unsigned char* a = &across[size_t(first) * cols];
        int x = 0;
#if CV_SIMD
        auto vector = [&](int at) {
            cv::v_uint8 v = cv::vx_load(a + at);
            for (int k = 1; k <= last - first; ++k)
                v = Darkest ? cv::v_min(v, cv::vx_load(a + size_t(k) * cols + at))
                            : cv::v_max(v, cv::vx_load(a + size_t(k) * cols + at));
            cv::v_store(m + at, v);
        };
        for (; x + cv::v_uint8::nlanes <= cols; x += cv::v_uint8::nlanes) vector(x);
        if (x < cols && cols >= cv::v_uint8::nlanes) {
            vector(cols - cv::v_uint8::nlanes);
            x = cols;
        }
#endif
        for (; x < cols; ++x) {
            unsigned char v = a[x];
            for (int k = 1; k <= last - first; ++k) v = pick(v, a[size_t(k) * cols + x]);
            m[x] = v;
        }
    }
}
template void Stretch<true>(cv::Mat&, int, int);
template void Stretch<false>(cv::Mat&, int, int);

// marks (8-bit) eroded (Darkest) or dilated in place by a square span pixels wide (odd) about each
// pixel (see Stretch).
template <bool Darkest>
void Square(cv::Mat& marks, int span)
{
    Stretch<Darkest>(marks, span / 2, span / 2);
}
template void Square<true>(cv::Mat&, int);
template void Square<false>(cv::Mat&, int);

// marks (8-bit) eroded (Darkest) or dilated in place by the 3 x 3 cross (the pixel and its four
// neighbours), as cv::erode and cv::dilate do it (what lies past the edge takes no part).
template <bool Darkest>
void Cross(cv::Mat& marks)
{
    const int rows = marks.rows, cols = marks.cols;
    if (rows == 0 || cols == 0)
        return;
    auto pick = [](unsigned char a, unsigned char b) { return Darkest ? std::min(a, b) : std::max(a, b); };
    static thread_local std::vector<unsigned char> source;
    source.resize(size_t(rows) * cols);
    for (int y = 0; y < rows; ++y) std::memcpy(&source[size_t(y) * cols], marks.ptr<unsigned char>(y), size_t(cols));
    for (int y = 0; y < rows; ++y) {
        const unsigned char* here = &source[size_t(y) * cols];
        const unsigned char* up = &source[size_t(std::max(0, y - 1)) * cols];  // (the row itself at the edge)
        const unsigned char* down = &source[size_t(std::min(rows - 1, y + 1)) * cols];
        unsigned char* m = marks.ptr<unsigned char>(y);
        auto plain = [&](int x) {
            unsigned char v = pick(pick(up[x], down[x]), here[x]);
            if (x > 0)
                v = pick(v, here[x - 1]);
            if (x + 1 < cols)
                v = pick(v, here[x + 1]);
            m[x] = v;
        };
        int x = 0;
        if (cols > 0)
            plain(x++);
#if CV_SIMD
        auto vector = [&](int at) {
            const cv::v_uint8 u = cv::vx_load(up + at), d = cv::vx_load(down + at), l = cv::vx_load(here + at - 1),
                              c = cv::vx_load(here + at), r = cv::vx_load(here + at + 1);
            cv::v_store(m + at, Darkest ? cv::v_min(cv::v_min(cv::v_min(u, d), cv::v_min(l, r)), c)
                                        : cv::v_max(cv::v_max(cv::v_max(u, d), cv::v_max(l, r)), c));
        };
        for (; x + cv::v_uint8::nlanes <= cols - 1; x += cv::v_uint8::nlanes) vector(x);
        if (x < cols - 1 && cols - 1 - cv::v_uint8::nlanes >= 1) {  // the rest as one vector ending there
            vector(cols - 1 - cv::v_uint8::nlanes);
            x = cols - 1;
        }
#endif
        for (; x < cols; ++x) plain(x);
    }
}
template void Cross<true>(cv::Mat&);
template void Cross<false>(cv::Mat&);

// marks (8-bit) dilated in place by a 3 x 3 square, as cv::dilate does it (what lies past the
// edge takes no part), in two vector passes: the general filter costs several times as much on a
// region's crop.
void Dilate3(cv::Mat& marks)
{
    const int rows = marks.rows, cols = marks.cols;
    if (rows == 0 || cols == 0)
        return;
    static thread_local std::vector<unsigned char> across;  // each row's maximum over x - 1 .. x + 1
    across.resize(size_t(rows) * cols);
    for (int y = 0; y < rows; ++y) {
        const unsigned char* m = marks.ptr<unsigned char>(y);
        unsigned char* a = &across[size_t(y) * cols];
        a[0] = cols > 1 ? std::max(m[0], m[1]) : m[0];
        int x = 1;
#if CV_SIMD
        auto vector = [&](int at) {
            cv::v_store(a + at,
                        cv::v_max(cv::v_max(cv::vx_load(m + at - 1), cv::vx_load(m + at)), cv::vx_load(m + at + 1)));
        };
        for (; x + cv::v_uint8::nlanes <= cols - 1; x += cv::v_uint8::nlanes) vector(x);
        if (x < cols - 1 && cols - 1 - cv::v_uint8::nlanes >= 1) {  // the rest as one vector ending there
            vector(cols - 1 - cv::v_uint8::nlanes);
            x = cols - 1;
        }
#endif
        for (; x < cols - 1; ++x) a[x] = std::max({m[x - 1], m[x], m[x + 1]});
        if (cols > 1)
            a[cols - 1] = std::max(m[cols - 2], m[cols - 1]);
    }
    for (int y = 0; y < rows; ++y) {
        const unsigned char* up = &across[size_t(std::max(0, y - 1)) * cols];
        const unsigned char* here = &across[size_t(y) * cols];
        const unsigned char* down = &across[size_t(std::min(rows - 1, y + 1)) * cols];
        unsigned char* m = marks.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        auto vector = [&](int at) {
            cv::v_store(m + at,
                        cv::v_max(cv::v_max(cv::vx_load(up + at), cv::vx_load(here + at)), cv::vx_load(down + at)));
        };
        for (; x + cv::v_uint8::nlanes <= cols; x += cv::v_uint8::nlanes) vector(x);
        if (x < cols && cols >= cv::v_uint8::nlanes) {
            vector(cols - cv::v_uint8::nlanes);
            x = cols;
        }
#endif
        for (; x < cols; ++x) m[x] = std::max({up[x], here[x], down[x]});
    }
}

}  // namespace MatchStages

using namespace MatchStages;

// The box around marks' non-zero pixels (8-bit; cv::boundingRect of a mask misses some in narrow
// pictures), a row's ends found eight pixels at a time.
cv::Rect MarksBox(const cv::Mat& marks)
{
    int x0 = marks.cols, x1 = -1, y0 = -1, y1 = -1;
    auto zeroWord = [](const unsigned char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return w == 0;
    };
    for (int y = 0; y < marks.rows; ++y) {
        const unsigned char* m = marks.ptr<unsigned char>(y);
        int first = 0;
        while (first + 8 <= marks.cols && zeroWord(m + first)) first += 8;
        while (first < marks.cols && !m[first]) ++first;
        if (first == marks.cols)
            continue;
        int last = marks.cols;  // one past
        while (last - 8 > first && zeroWord(m + last - 8)) last -= 8;
        while (!m[last - 1]) --last;
        y0 = y0 < 0 ? y : y0, y1 = y;
        x0 = std::min(x0, first), x1 = std::max(x1, last - 1);
    }
    return y0 < 0 ? cv::Rect() : cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

// marks (8-bit) opened in place by a square span pixels wide, as cv::morphologyEx does it (an even
// square has no middle pixel: eroded about the one up and left of its middle, dilated about the one
// down and right, as cv::erode and cv::dilate with those anchors, the opening keeps every square
// that fits where it lies). An opening keeps nothing outside the marks' box, and within it reads no
// further than a pixel around (a pixel left out erodes all the square reaches from it): only that
// part is worked on.
void OpenSquare(cv::Mat& marks, int span)
{
    const cv::Rect box = MarksBox(marks);
    if (box.empty())
        return;
    cv::Mat part = marks(cv::Rect(box.x - 1, box.y - 1, box.width + 2, box.height + 2) &
                         cv::Rect(cv::Point(), marks.size()));
    Stretch<true>(part, (span - 1) / 2, span / 2);
    Stretch<false>(part, span / 2, (span - 1) / 2);
}

void OpenCross(cv::Mat& marks)
{
    Cross<true>(marks);
    Cross<false>(marks);
}

// The least of each pixel's eight neighbours, read from a copy bordered by 255 (what lies past the
// edge takes no part), in vectors.
void ErodeRing(cv::Mat& marks)
{
    const int rows = marks.rows, cols = marks.cols;
    if (rows == 0 || cols == 0)
        return;
    const int stride = cols + 2;
    static thread_local std::vector<unsigned char> bordered;
    bordered.assign(size_t(rows + 2) * size_t(stride), 255);
    for (int y = 0; y < rows; ++y)
        std::memcpy(&bordered[size_t(y + 1) * stride + 1], marks.ptr<unsigned char>(y), size_t(cols));
    for (int y = 0; y < rows; ++y) {
        // The rows above, at and below, each from the column left of the pixel on.
        const unsigned char* up = &bordered[size_t(y) * stride];
        const unsigned char* here = up + stride;
        const unsigned char* down = here + stride;
        unsigned char* m = marks.ptr<unsigned char>(y);
        int x = 0;
#if CV_SIMD
        auto vector = [&](int at) {
            auto at3 = [&](const unsigned char* row) {
                return cv::v_min(cv::v_min(cv::vx_load(row + at), cv::vx_load(row + at + 1)), cv::vx_load(row + at + 2));
            };
            cv::v_store(m + at, cv::v_min(cv::v_min(at3(up), at3(down)),
                                          cv::v_min(cv::vx_load(here + at), cv::vx_load(here + at + 2))));
        };
        for (; x + cv::v_uint8::nlanes <= cols; x += cv::v_uint8::nlanes) vector(x);
        if (x < cols && cols >= cv::v_uint8::nlanes) {  // the rest as one vector ending at the edge
            vector(cols - cv::v_uint8::nlanes);
            x = cols;
        }
#endif
        for (; x < cols; ++x)
            m[x] = std::min({up[x], up[x + 1], up[x + 2], here[x], here[x + 2], down[x], down[x + 1], down[x + 2]});
    }
}
