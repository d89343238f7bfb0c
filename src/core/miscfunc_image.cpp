// Grey and hue conversion of camera frames, buffers made pictures for saving, picture shifting and
// rotation, touch and range tests.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "globals.h"
#include "miscfunc.h"

namespace {

// A screen coordinate is kept this far inside the canvas edges.
constexpr int kScreenMargin = 3;
constexpr int kMinTolerance = 3;
constexpr int kMaxTolerance = 50;
constexpr double kHueSixth = 42.5;
// Border factor of TransformImage: the diagonal of a square, so that rotated corners survive.
constexpr double kDiagonalFactor = 1.414;

int ClampTolerance(int tolerance)
{
    return std::clamp(tolerance, kMinTolerance, kMaxTolerance);
}

int ClampToScreen(int v, int size)
{
    if (v < kScreenMargin)
        return kScreenMargin;
    if (v >= size - 2)
        return size - kScreenMargin;
    return v;
}

}  // namespace

// clang-format off
const int gaRGB2Gray[768] = {
    // byte 0 (weight 0.299)
    0, 306, 612, 918, 1224, 1530, 1837, 2143, 2449, 2755, 3061, 3367, 3674, 3980, 4286, 4592,
    4898, 5204, 5511, 5817, 6123, 6429, 6735, 7042, 7348, 7654, 7960, 8266, 8572, 8879, 9185, 9491,
    9797, 10103, 10409, 10716, 11022, 11328, 11634, 11940, 12247, 12553, 12859, 13165, 13471, 13777, 14084, 14390,
    14696, 15002, 15308, 15614, 15921, 16227, 16533, 16839, 17145, 17452, 17758, 18064, 18370, 18676, 18982, 19289,
    19595, 19901, 20207, 20513, 20819, 21126, 21432, 21738, 22044, 22350, 22657, 22963, 23269, 23575, 23881, 24187,
    24494, 24800, 25106, 25412, 25718, 26024, 26331, 26637, 26943, 27249, 27555, 27862, 28168, 28474, 28780, 29086,
    29392, 29699, 30005, 30311, 30617, 30923, 31229, 31536, 31842, 32148, 32454, 32760, 33067, 33373, 33679, 33985,
    34291, 34597, 34904, 35210, 35516, 35822, 36128, 36434, 36741, 37047, 37353, 37659, 37965, 38272, 38578, 38884,
    39190, 39496, 39802, 40109, 40415, 40721, 41027, 41333, 41639, 41946, 42252, 42558, 42864, 43170, 43476, 43783,
    44089, 44395, 44701, 45007, 45314, 45620, 45926, 46232, 46538, 46844, 47151, 47457, 47763, 48069, 48375, 48681,
    48988, 49294, 49600, 49906, 50212, 50519, 50825, 51131, 51437, 51743, 52049, 52356, 52662, 52968, 53274, 53580,
    53886, 54193, 54499, 54805, 55111, 55417, 55724, 56030, 56336, 56642, 56948, 57254, 57561, 57867, 58173, 58479,
    58785, 59091, 59398, 59704, 60010, 60316, 60622, 60929, 61235, 61541, 61847, 62153, 62459, 62766, 63072, 63378,
    63684, 63990, 64296, 64603, 64909, 65215, 65521, 65827, 66134, 66440, 66746, 67052, 67358, 67664, 67971, 68277,
    68583, 68889, 69195, 69501, 69808, 70114, 70420, 70726, 71032, 71339, 71645, 71951, 72257, 72563, 72869, 73176,
    73482, 73788, 74094, 74400, 74706, 75013, 75319, 75625, 75931, 76237, 76544, 76850, 77156, 77462, 77768, 78074,
    // byte 1 (weight 0.587)
    0, 601, 1202, 1803, 2404, 3005, 3606, 4207, 4808, 5409, 6010, 6611, 7213, 7814, 8415, 9016,
    9617, 10218, 10819, 11420, 12021, 12622, 13223, 13825, 14426, 15027, 15628, 16229, 16830, 17431, 18032, 18633,
    19234, 19835, 20436, 21038, 21639, 22240, 22841, 23442, 24043, 24644, 25245, 25846, 26447, 27048, 27650, 28251,
    28852, 29453, 30054, 30655, 31256, 31857, 32458, 33059, 33660, 34262, 34863, 35464, 36065, 36666, 37267, 37868,
    38469, 39070, 39671, 40272, 40873, 41475, 42076, 42677, 43278, 43879, 44480, 45081, 45682, 46283, 46884, 47485,
    48087, 48688, 49289, 49890, 50491, 51092, 51693, 52294, 52895, 53496, 54097, 54699, 55300, 55901, 56502, 57103,
    57704, 58305, 58906, 59507, 60108, 60709, 61310, 61912, 62513, 63114, 63715, 64316, 64917, 65518, 66119, 66720,
    67321, 67922, 68524, 69125, 69726, 70327, 70928, 71529, 72130, 72731, 73332, 73933, 74534, 75136, 75737, 76338,
    76939, 77540, 78141, 78742, 79343, 79944, 80545, 81146, 81747, 82349, 82950, 83551, 84152, 84753, 85354, 85955,
    86556, 87157, 87758, 88359, 88961, 89562, 90163, 90764, 91365, 91966, 92567, 93168, 93769, 94370, 94971, 95572,
    96174, 96775, 97376, 97977, 98578, 99179, 99780, 100381, 100982, 101583, 102184, 102786, 103387, 103988, 104589, 105190,
    105791, 106392, 106993, 107594, 108195, 108796, 109398, 109999, 110600, 111201, 111802, 112403, 113004, 113605, 114206, 114807,
    115408, 116009, 116611, 117212, 117813, 118414, 119015, 119616, 120217, 120818, 121419, 122020, 122621, 123223, 123824, 124425,
    125026, 125627, 126228, 126829, 127430, 128031, 128632, 129233, 129835, 130436, 131037, 131638, 132239, 132840, 133441, 134042,
    134643, 135244, 135845, 136446, 137048, 137649, 138250, 138851, 139452, 140053, 140654, 141255, 141856, 142457, 143058, 143660,
    144261, 144862, 145463, 146064, 146665, 147266, 147867, 148468, 149069, 149670, 150272, 150873, 151474, 152075, 152676, 153277,
    // byte 2 (weight 0.114)
    0, 116, 233, 350, 466, 583, 700, 817, 933, 1050, 1167, 1284, 1400, 1517, 1634, 1751,
    1867, 1984, 2101, 2217, 2334, 2451, 2568, 2684, 2801, 2918, 3035, 3151, 3268, 3385, 3502, 3618,
    3735, 3852, 3969, 4085, 4202, 4319, 4435, 4552, 4669, 4786, 4902, 5019, 5136, 5253, 5369, 5486,
    5603, 5720, 5836, 5953, 6070, 6187, 6303, 6420, 6537, 6653, 6770, 6887, 7004, 7120, 7237, 7354,
    7471, 7587, 7704, 7821, 7938, 8054, 8171, 8288, 8404, 8521, 8638, 8755, 8871, 8988, 9105, 9222,
    9338, 9455, 9572, 9689, 9805, 9922, 10039, 10156, 10272, 10389, 10506, 10622, 10739, 10856, 10973, 11089,
    11206, 11323, 11440, 11556, 11673, 11790, 11907, 12023, 12140, 12257, 12374, 12490, 12607, 12724, 12840, 12957,
    13074, 13191, 13307, 13424, 13541, 13658, 13774, 13891, 14008, 14125, 14241, 14358, 14475, 14592, 14708, 14825,
    14942, 15058, 15175, 15292, 15409, 15525, 15642, 15759, 15876, 15992, 16109, 16226, 16343, 16459, 16576, 16693,
    16809, 16926, 17043, 17160, 17276, 17393, 17510, 17627, 17743, 17860, 17977, 18094, 18210, 18327, 18444, 18561,
    18677, 18794, 18911, 19027, 19144, 19261, 19378, 19494, 19611, 19728, 19845, 19961, 20078, 20195, 20312, 20428,
    20545, 20662, 20779, 20895, 21012, 21129, 21245, 21362, 21479, 21596, 21712, 21829, 21946, 22063, 22179, 22296,
    22413, 22530, 22646, 22763, 22880, 22996, 23113, 23230, 23347, 23463, 23580, 23697, 23814, 23930, 24047, 24164,
    24281, 24397, 24514, 24631, 24748, 24864, 24981, 25098, 25214, 25331, 25448, 25565, 25681, 25798, 25915, 26032,
    26148, 26265, 26382, 26499, 26615, 26732, 26849, 26966, 27082, 27199, 27316, 27432, 27549, 27666, 27783, 27899,
    28016, 28133, 28250, 28366, 28483, 28600, 28717, 28833, 28950, 29067, 29184, 29300, 29417, 29534, 29650, 29767,
};
// clang-format on

void RGB2Gray(unsigned char* dst, int* src, int w, int h)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(src);
    const long n = static_cast<long>(w) * h;
    for (long i = 0; i < n; ++i, bytes += 4)
        dst[i] = static_cast<unsigned char>(
            (gaRGB2Gray[bytes[0]] + gaRGB2Gray[256 + bytes[1]] + gaRGB2Gray[512 + bytes[2]]) / 1024);
}

void RGBA2Gray(unsigned char* dst, int* src, int w, int h)
{
    RGB2Gray(dst, src, w, h);
}

unsigned char RGB2HueByte(unsigned char r, unsigned char g, unsigned char b)
{
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    if (mx == 0 || mx == mn)
        return 0;
    const float d = static_cast<float>(mx - mn);
    if (r == mx) {
        const float hue = (g - b) / d;
        return static_cast<unsigned char>(g < b ? static_cast<int>((hue + 6) * kHueSixth)
                                                : static_cast<int>(hue * kHueSixth));
    }
    if (g == mx)
        return static_cast<unsigned char>(static_cast<int>(((b - r) / d + 2) * kHueSixth));
    return static_cast<unsigned char>(static_cast<int>(((r - g) / d + 4) * kHueSixth));
}

void RGBA2Hue(unsigned char* dst, int* src, int w, int h)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(src);
    const long n = static_cast<long>(w) * h;
    for (long i = 0; i < n; ++i, bytes += 4) dst[i] = RGB2HueByte(bytes[0], bytes[1], bytes[2]);
}

void Gray2RGBA(unsigned char* src, int* dst, int w, int h)
{
    const long n = static_cast<long>(w) * h;
    for (long i = 0; i < n; ++i) {
        const int g = src[i];
        dst[i] = g | g << 8 | g << 16;
    }
}

QImage PackedRowsImage(const unsigned char* rows, int w, int h, int bytesPerPixel, const QVector<QRgb>& colours)
{
    const bool colour = bytesPerPixel == 4;
    QImage picture(w, h, colour ? QImage::Format_RGB32 : QImage::Format_Indexed8);
    if (picture.isNull() || !rows)
        return QImage();
    const size_t rowBytes = size_t(w) * size_t(colour ? 4 : 1);
    for (int y = 0; y < h; ++y) std::memcpy(picture.scanLine(y), rows + size_t(y) * rowBytes, rowBytes);
    if (!colour && !colours.isEmpty())
        picture.setColorTable(colours);
    return picture;
}

void MoveImage(cv::Mat src, cv::Mat& dst, int dx, int dy)
{
    // Moving a picture onto itself would read rows already overwritten.
    if (dst.data == src.data)
        src = src.clone();
    dst.create(src.size(), src.type());
    dst.setTo(0);
    const int cols = src.cols;
    const int rows = src.rows;
    if (std::abs(dx) >= cols || std::abs(dy) >= rows)
        return;
    const size_t pixel = src.elemSize();
    const int width = cols - std::abs(dx);
    const int fromX = dx >= 0 ? 0 : -dx;
    const int toX = dx >= 0 ? dx : 0;
    for (int y = std::max(0, dy); y < std::min(rows, rows + dy); ++y)
        std::memcpy(dst.ptr(y) + toX * pixel, src.ptr(y - dy) + fromX * pixel, width * pixel);
}

void TransformImage(cv::Mat src, cv::Mat& dst, cv::Point offset, cv::Point centre, double angle)
{
    // warpAffine throws on an empty picture; there is nothing to move anyway.
    if (src.empty()) {
        dst.release();
        return;
    }
    const int side = static_cast<int>(std::max(src.rows, src.cols) * kDiagonalFactor);
    const int padX = (side - src.cols) / 2;
    const int padY = (side - src.rows) / 2;
    cv::Mat padded;
    cv::copyMakeBorder(src, padded, padY, padY, padX, padX, cv::BORDER_CONSTANT, cv::Scalar(0));
    cv::Mat moved(padded.size(), padded.type());
    MoveImage(padded, moved, offset.x, offset.y);
    const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(centre.x + padX, centre.y + padY), angle, 1.0);
    cv::Mat rotated;
    cv::warpAffine(moved, rotated, m, padded.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    dst = rotated(cv::Rect(padX, padY, src.cols, src.rows)).clone();
}

bool PointAround(QPoint a, QPoint b, int tolerance)
{
    const int t = ClampTolerance(tolerance);
    return std::abs(a.x() - b.x()) < t && std::abs(a.y() - b.y()) < t;
}

bool LineAround(int a, int b, int tolerance)
{
    return std::abs(a - b) < ClampTolerance(tolerance);
}

bool LineAround(int a, int b, int c, int lo, int hi, int tolerance)
{
    return LineAround(a, b, tolerance) && lo <= c && c <= hi;
}

void CheckInRange(int* v, int horizontal, int, int)
{
    *v = ClampToScreen(*v, horizontal ? gShowW : gShowH);
}

void CheckInRange(QRect* r, int, int, bool keepSize)
{
    int left = r->left(), top = r->top(), right = r->right(), bottom = r->bottom();
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (!keepSize) {
        r->setCoords(ClampToScreen(left, gShowW), ClampToScreen(top, gShowH), ClampToScreen(right, gShowW),
                     ClampToScreen(bottom, gShowH));
        return;
    }
    // The order of the four pushes decides which edge wins on a rectangle larger than the screen.
    int dx = 0, dy = 0;
    if (left < kScreenMargin)
        dx = kScreenMargin - left;
    if (top < kScreenMargin)
        dy = kScreenMargin - top;
    if (right + dx >= gShowW - 2)
        dx = gShowW - kScreenMargin - right;
    if (bottom + dy >= gShowH - 2)
        dy = gShowH - kScreenMargin - bottom;
    r->setCoords(left + dx, top + dy, right + dx, bottom + dy);
}
