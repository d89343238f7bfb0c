// Grey and hue conversion, grey to colour, picture shifting and rotation, touch and range tests.
#include <cmath>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <QImage>

#include <opencv2/core.hpp>

#include "globals.h"
#include "miscfunc.h"
#include "testsupport.h"

class TestMiscfuncImage : public QObject
{
    Q_OBJECT

private:
    // One RGB32 picture row with the given pixels, read back as the camera buffer of ints.
    static std::vector<int> Rgb32Row(std::initializer_list<QRgb> pixels)
    {
        QImage image(static_cast<int>(pixels.size()), 1, QImage::Format_RGB32);
        int x = 0;
        for (QRgb p : pixels) image.setPixel(x++, 0, p);
        const int* words = reinterpret_cast<const int*>(image.constScanLine(0));
        return std::vector<int>(words, words + pixels.size());
    }

    // A buffer whose last byte sits just before a page that may not be read: a reader running
    // past its end faults, as the sanitizer build would report.
    struct GuardedBuffer
    {
        explicit GuardedBuffer(size_t bytes)
        {
            const size_t page = size_t(sysconf(_SC_PAGESIZE));
            span = (bytes + page - 1) / page * page + page;
            base = static_cast<unsigned char*>(
                mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
            mprotect(base + span - page, page, PROT_NONE);
            data = base + span - page - bytes;
        }
        ~GuardedBuffer() { munmap(base, span); }
        unsigned char* base;
        size_t span;
        unsigned char* data;
    };

private slots:
    // A camera buffer of packed rows, saved as BMP and read back, pixel for pixel; widths whose
    // 8-bit rows Qt pads are read within the buffer.
    void packedRowsSaveWhole()
    {
        QFETCH(int, width);
        QFETCH(int, bytesPerPixel);
        const int height = 5;
        const size_t rowBytes = size_t(width) * size_t(bytesPerPixel);
        GuardedBuffer buffer(rowBytes * height);
        for (size_t i = 0; i < rowBytes * height; ++i) buffer.data[i] = static_cast<unsigned char>(i * 7 % 251);
        QVector<QRgb> grey;
        for (int i = 0; i < 256; ++i) grey.append(qRgb(i, i, i));

        const QImage picture = PackedRowsImage(buffer.data, width, height, bytesPerPixel, grey);
        QVERIFY(picture.save("packed.bmp"));
        const QImage back("packed.bmp");
        QCOMPARE(back.size(), QSize(width, height));
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            const unsigned char* row = buffer.data + size_t(y) * rowBytes;
            for (int x = 0; x < width; ++x) {
                const QRgb expected = bytesPerPixel == 1 ? qRgb(row[x], row[x], row[x])
                                                         : qRgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
                wrong += (back.pixel(x, y) & 0xFFFFFF) != (expected & 0xFFFFFF);
            }
        }
        QCOMPARE(wrong, 0);
    }
    void packedRowsSaveWhole_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("bytesPerPixel");
        QTest::newRow("grey 641") << 641 << 1;
        QTest::newRow("grey 1278") << 1278 << 1;
        QTest::newRow("colour 641") << 641 << 4;
    }

    void grayTableHoldsTheFixedPointWeights()
    {
        QCOMPARE(gaRGB2Gray[1], 306);
        QCOMPARE(gaRGB2Gray[257], 601);
        QCOMPARE(gaRGB2Gray[513], 116);
        QCOMPARE(gaRGB2Gray[255], 78074);
        QCOMPARE(gaRGB2Gray[511], 153277);
        QCOMPARE(gaRGB2Gray[767], 29767);
        const double weights[3] = {0.299, 0.587, 0.114};
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 256; ++i)
                QCOMPARE(gaRGB2Gray[k * 256 + i], static_cast<int>(std::floor(i * weights[k] * 1024)));
    }

    void grayWeighsByteZeroAsRed()
    {
        // In RGB32 memory byte 0 is blue, yet it carries the red weight.
        std::vector<int> src = Rgb32Row(
            {qRgb(255, 255, 255), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 0), qRgb(10, 20, 30)});
        src[4] |= 0xFF000000;  // byte 3 is never read
        unsigned char dst[6] = {};
        RGBA2Gray(dst, src.data(), 3, 2);
        QCOMPARE(int(dst[0]), 254);
        QCOMPARE(int(dst[1]), 76);
        QCOMPARE(int(dst[2]), 29);
        QCOMPARE(int(dst[3]), 149);
        QCOMPARE(int(dst[4]), 0);
        QCOMPARE(int(dst[5]), (gaRGB2Gray[30] + gaRGB2Gray[256 + 20] + gaRGB2Gray[512 + 10]) / 1024);
    }

    void hueOnTheByteCircle()
    {
        QCOMPARE(int(RGB2HueByte(255, 0, 0)), 0);
        QCOMPARE(int(RGB2HueByte(0, 255, 0)), 85);
        QCOMPARE(int(RGB2HueByte(0, 0, 255)), 170);
        QCOMPARE(int(RGB2HueByte(255, 0, 1)), 254);
        QCOMPARE(int(RGB2HueByte(128, 128, 128)), 0);
        QCOMPARE(int(RGB2HueByte(0, 0, 0)), 0);
        QCOMPARE(int(RGB2HueByte(255, 255, 0)), 42);   // yellow: one sixth
        QCOMPARE(int(RGB2HueByte(255, 0, 255)), 212);  // magenta: five sixths
        QCOMPARE(int(RGB2HueByte(0, 255, 255)), 127);  // cyan: half

        // Bytes 0, 1, 2 of the pixel are r, g, b; a pure RGB32 blue has byte 0 = 255.
        std::vector<int> src = Rgb32Row({qRgb(0, 0, 255), qRgb(0, 255, 0), qRgb(255, 0, 0)});
        unsigned char dst[3] = {};
        RGBA2Hue(dst, src.data(), 3, 1);
        QCOMPARE(int(dst[0]), 0);
        QCOMPARE(int(dst[1]), 85);
        QCOMPARE(int(dst[2]), 170);
    }

    void grayExpandsToThreeBytes()
    {
        unsigned char src[4] = {0, 1, 0x7F, 255};
        int dst[4] = {-1, -1, -1, -1};
        Gray2RGBA(src, dst, 2, 2);
        QCOMPARE(dst[0], 0);
        QCOMPARE(dst[1], 0x010101);
        QCOMPARE(dst[2], 0x7F7F7F);
        QCOMPARE(dst[3], 0xFFFFFF);
    }

    void moveImageShiftsAndZeroFills()
    {
        cv::Mat src(20, 30, CV_8UC1);
        for (int y = 0; y < src.rows; ++y)
            for (int x = 0; x < src.cols; ++x) src.at<uchar>(y, x) = static_cast<uchar>(1 + (x + 7 * y) % 250);
        const int shifts[][2] = {{5, -3}, {-4, 6}, {0, 0}, {29, 19}, {-30, 0}, {0, 25}};
        for (const auto& s : shifts) {
            cv::Mat dst(src.size(), src.type(), cv::Scalar(77));
            MoveImage(src, dst, s[0], s[1]);
            for (int y = 0; y < src.rows; ++y)
                for (int x = 0; x < src.cols; ++x) {
                    const int sx = x - s[0], sy = y - s[1];
                    const bool inside = sx >= 0 && sx < src.cols && sy >= 0 && sy < src.rows;
                    QCOMPARE(int(dst.at<uchar>(y, x)), inside ? int(src.at<uchar>(sy, sx)) : 0);
                }
        }
        // By (5, -3): the first 5 columns and the last 3 rows are 0.
        cv::Mat dst(src.size(), src.type());
        MoveImage(src, dst, 5, -3);
        QCOMPARE(cv::countNonZero(dst.colRange(0, 5)), 0);
        QCOMPARE(cv::countNonZero(dst.rowRange(17, 20)), 0);
        QCOMPARE(cv::countNonZero(dst), 25 * 17);

        // Onto itself, the content still moves intact.
        cv::Mat same = src.clone();
        MoveImage(same, same, 2, 1);
        QCOMPARE(int(same.at<uchar>(1, 2)), int(src.at<uchar>(0, 0)));
        QCOMPARE(int(same.at<uchar>(19, 29)), int(src.at<uchar>(18, 27)));
    }

    void transformShiftsThenRotatesInsideABorder()
    {
        cv::Mat src(100, 200, CV_8UC1, cv::Scalar(0));
        src.at<uchar>(90, 100) = 200;  // pushed below the picture by the shift
        src.at<uchar>(50, 120) = 100;
        cv::Mat dst;
        TransformImage(src, dst, cv::Point(0, 30), cv::Point(100, 50), 90.0);
        QCOMPARE(dst.size(), src.size());
        QCOMPARE(dst.type(), src.type());
        // (100, 120) turns a quarter about (100, 50) to (170, 50): the border kept it.
        QCOMPARE(int(dst.at<uchar>(50, 170)), 200);
        // (120, 80) turns to (130, 30).
        QCOMPARE(int(dst.at<uchar>(30, 130)), 100);
        QCOMPARE(cv::countNonZero(dst), 2);

        cv::Mat unchanged;
        TransformImage(src, unchanged, cv::Point(0, 0), cv::Point(7, 3), 0.0);
        QCOMPARE(cv::countNonZero(unchanged != src), 0);

        cv::Mat none = src.clone();
        TransformImage(cv::Mat(), none, cv::Point(3, 4), cv::Point(0, 0), 30.0);
        QVERIFY(none.empty());
    }

    void touchTolerancesAreClamped()
    {
        QVERIFY(PointAround(QPoint(100, 100), QPoint(119, 81), 20));
        QVERIFY(!PointAround(QPoint(100, 100), QPoint(120, 100), 20));
        QVERIFY(!PointAround(QPoint(100, 100), QPoint(100, 80), 20));
        QVERIFY(PointAround(QPoint(0, 0), QPoint(49, -49), 100));
        QVERIFY(!PointAround(QPoint(0, 0), QPoint(50, 0), 100));
        QVERIFY(PointAround(QPoint(0, 0), QPoint(2, 2), 0));
        QVERIFY(!PointAround(QPoint(0, 0), QPoint(3, 0), 0));

        QVERIFY(LineAround(10, 12, 0));
        QVERIFY(!LineAround(10, 13, 1));
        QVERIFY(LineAround(10, 59, 70));
        QVERIFY(!LineAround(10, 60, 70));
        QVERIFY(LineAround(10, 14, 100, 100, 200, 5));
        QVERIFY(LineAround(10, 14, 200, 100, 200, 5));
        QVERIFY(!LineAround(10, 14, 99, 100, 200, 5));
        QVERIFY(!LineAround(10, 14, 201, 100, 200, 5));
        QVERIFY(!LineAround(10, 15, 150, 100, 200, 5));
    }

    void screenRangeKeepsThreeFromTheEdges()
    {
        const int xs[][2] = {{-7, 3}, {2, 3}, {3, 3}, {1917, 1917}, {1918, 1917}, {1920, 1917}, {5000, 1917}};
        for (const auto& c : xs) {
            int v = c[0];
            CheckInRange(&v, 1, 0, 0);
            QCOMPARE(v, c[1]);
        }
        int y = 1078;
        CheckInRange(&y, 0, 0, 0);
        QCOMPARE(y, 1077);
        y = 1077;
        CheckInRange(&y, 0, 0, 0);
        QCOMPARE(y, 1077);

        QRect r(QPoint(2, 2), QPoint(102, 102));
        CheckInRange(&r, 0, 0, true);
        QCOMPARE(r, QRect(QPoint(3, 3), QPoint(103, 103)));

        r = QRect(QPoint(1950, 1100), QPoint(1850, 1000));  // corners given the wrong way round
        CheckInRange(&r, 0, 0, true);
        QCOMPARE(r, QRect(QPoint(1817, 977), QPoint(1917, 1077)));

        r = QRect(QPoint(-10, 500), QPoint(2000, 1100));
        CheckInRange(&r, 0, 0, false);
        QCOMPARE(r, QRect(QPoint(3, 500), QPoint(1917, 1077)));

        // Wider than the screen: the right edge is pushed last and wins.
        r = QRect(QPoint(0, 10), QPoint(1999, 20));
        CheckInRange(&r, 0, 0, true);
        QCOMPARE(r, QRect(QPoint(-82, 10), QPoint(1917, 20)));
    }
};

MONITOR_TEST_MAIN(TestMiscfuncImage)
#include "tst_miscfunc_image.moc"
