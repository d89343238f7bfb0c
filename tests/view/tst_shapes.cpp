// Region shapes: image geometry, masks, hit tests, resizing and drawing of rectangles, circles, polygons.
#include <memory>
#include <random>
#include <vector>

#include <QImage>
#include <QPainter>

#include <opencv2/imgproc.hpp>

#include "circle.h"
#include "globals.h"
#include "polygon.h"
#include "rect.h"
#include "testsupport.h"

namespace {

// Scales of a 640 x 480 camera on the 1920 x 1080 canvas: the two axes differ.
constexpr float kScaleX = 3.0f;
constexpr float kScaleY = 2.25f;

// Every pixel of the mask against OpenCV's own strictly-inside test.
bool MaskMatchesPointTest(const cv::Mat& mask, const QRect& area, const std::vector<cv::Point>& poly, QString* why)
{
    for (int y = 0; y < mask.rows; ++y)
        for (int x = 0; x < mask.cols; ++x) {
            const cv::Point2f p(area.left() + x, area.top() + y);
            const int expected = cv::pointPolygonTest(poly, p, false) > 0 ? 255 : 0;
            if (mask.at<uchar>(y, x) != expected) {
                *why = QString("pixel (%1, %2) is %3").arg(p.x).arg(p.y).arg(mask.at<uchar>(y, x));
                return false;
            }
        }
    return true;
}

std::unique_ptr<RePolygon> MakePolygon(const std::vector<QPoint>& pts, float sx = 1.0f, float sy = 1.0f)
{
    auto polygon = std::make_unique<RePolygon>(static_cast<int>(pts.size()), pts.data());
    polygon->setShowA(sx, sy);
    polygon->setImageRect();
    return polygon;
}

// A circle from its display centre and radii, with its image geometry for the given scales.
Circle MakeCircle(int cx, int cy, int r, int innerR, float sx = 1.0f, float sy = 1.0f)
{
    Circle c;
    c.cx = cx;
    c.cy = cy;
    c.r = r;
    c.innerR = innerR;
    c.UpdateRect();
    c.setShowA(sx, sy);
    c.setImageRect();
    return c;
}

QColor PixelAt(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

}  // namespace

class TestShapes : public QObject
{
    Q_OBJECT

private slots:
    void shapesStartEmpty()
    {
        ClustomRect r;
        QCOMPARE(r.rect, QRect(QPoint(0, 0), QPoint(-1, -1)));
        QCOMPARE(r.imageRect, QRect(QPoint(0, 0), QPoint(-1, -1)));
        QVERIFY(!r.IsSelected());
        QCOMPARE(r.handle, -1);
        Circle c;
        QCOMPARE(c.rect, QRect(QPoint(0, 0), QPoint(-1, -1)));
        QCOMPARE(c.r, 0);
        QCOMPARE(c.handle, -1);
        auto p = std::make_unique<RePolygon>();
        QCOMPARE(p->node, -1);
        QVERIFY(!p->getHand());
        QCOMPARE(p->points[8095], QPoint(0, 0));
    }

    void rectImageGeometryRoundsHalvesToEven()
    {
        ClustomRect r;
        r.rect = QRect(QPoint(5, 7), QPoint(9, 11));  // 2.5 and 3.5 image pixels from the origin, 2.5 wide
        r.setShowA(2.0f, 2.0f);
        r.setImageRect();
        QCOMPARE(r.imageRect, QRect(QPoint(2, 4), QPoint(3, 5)));
        const cv::Mat mask = r.UpdateMask();
        QCOMPARE(mask.rows, 2);
        QCOMPARE(mask.cols, 2);
        QCOMPARE(mask.type(), CV_8UC1);
        QCOMPARE(cv::countNonZero(mask == 255), 4);

        r.rect = QRect(QPoint(100, 100), QPoint(399, 324));
        r.setShowA(kScaleX, kScaleY);
        r.setImageRect();
        QCOMPARE(r.imageRect, QRect(33, 44, 100, 100));
    }

    void rectWithoutImageSizeGivesEmptyMask()
    {
        ClustomRect r;
        r.setShowA(kScaleX, kScaleY);
        r.rect = QRect(QPoint(100, 100), QPoint(100, 200));  // one display unit: a third of a pixel
        r.setImageRect();
        QVERIFY(r.UpdateMask().empty());
        r.rect = QRect(QPoint(100, 100), QPoint(50, 200));  // reversed
        r.setImageRect();
        QVERIFY(r.UpdateMask().empty());
    }

    void imageRectanglesStayOnThePicture()
    {
        ClustomRect r;
        r.rect = QRect(QPoint(1890, 1060), QPoint(1949, 1119));  // reaches past the canvas
        r.setShowA(kScaleX, kScaleY);
        r.setImageRect();
        QCOMPARE(r.imageRect, QRect(QPoint(630, 471), QPoint(639, 479)));
        QCOMPARE(r.UpdateMask().size(), cv::Size(10, 9));

        r.rect = QRect(QPoint(-60, -40), QPoint(29, 29));
        r.setImageRect();
        QCOMPARE(r.imageRect.topLeft(), QPoint(0, 0));

        r.rect = QRect(QPoint(2000, 100), QPoint(2100, 200));  // wholly off the picture
        r.setImageRect();
        QVERIFY(r.UpdateMask().empty());

        // Unequal scales make the image circle larger than the display circle allows for.
        const Circle edge = MakeCircle(1915, 540, 40, 10, kScaleX, kScaleY);
        QCOMPARE(edge.imageR, 16);
        QCOMPARE(edge.imageCx, 638);
        QCOMPARE(edge.imageRect, QRect(QPoint(622, 224), QPoint(639, 255)));
        const cv::Mat clipped = edge.UpdateMask();
        QCOMPARE(clipped.size(), cv::Size(18, 32));
        // The kept part is the left part of the same ring away from the edge.
        const Circle inside = MakeCircle(960, 540, 40, 10, kScaleX, kScaleY);
        const cv::Mat whole = inside.UpdateMask();
        QCOMPARE(whole.size(), cv::Size(32, 32));
        QCOMPARE(cv::countNonZero(whole.colRange(0, 18) != clipped), 0);
    }

    void rectHandlesInOrderWithTolerances()
    {
        ClustomRect r;
        r.rect = QRect(QPoint(100, 100), QPoint(300, 200));
        int hit = 99;
        QVERIFY(!r.PtInCtrl(QPoint(100, 100), &hit));
        QCOMPARE(hit, -1);
        r.SetSelected(true);
        const struct
        {
            QPoint p;
            int handle;
        } cases[] = {
            {{100, 100}, 0},  {{119, 81}, 0},  {{300, 100}, 2}, {{100, 200}, 6},
            {{300, 200}, 4},  {{149, 150}, 7},  // width 201 / 4 = 50
            {{150, 150}, -1}, {{251, 150}, 3}, {{200, 124}, 1}, {{200, 176}, 5},
            {{200, 125}, -1}, {{60, 150}, 7},  {{40, 150}, -1},  // within the edge band but left of the corner test
            {{200, 226}, -1}, {{200, 75}, -1},
        };
        for (const auto& c : cases) {
            QCOMPARE(r.PtInCtrl(c.p, &hit), c.handle >= 0);
            QCOMPARE(hit, c.handle);
            QCOMPARE(r.handle, c.handle);
        }
        // A corner wins over an edge; top-left wins over top-right on a small rectangle.
        r.rect = QRect(QPoint(100, 100), QPoint(109, 400));
        QVERIFY(r.PtInCtrl(QPoint(105, 105), &hit));
        QCOMPARE(hit, 0);
        // Ten units wide: the left edge is hit only within 3.
        QVERIFY(r.PtInCtrl(QPoint(102, 250), &hit));
        QCOMPARE(hit, 7);
        QVERIFY(!r.PtInCtrl(QPoint(103, 250), &hit));
        QVERIFY(r.PtInCtrl(QPoint(107, 250), &hit));
        QCOMPARE(hit, 3);
    }

    void rectContainsAndResize()
    {
        ClustomRect r;
        r.rect = QRect(QPoint(100, 100), QPoint(200, 150));
        QVERIFY(r.Contains(QPoint(80, 80)));
        QVERIFY(r.Contains(QPoint(220, 170)));
        QVERIFY(!r.Contains(QPoint(79, 120)));
        QVERIFY(!r.Contains(QPoint(150, 171)));

        const QRect start = r.rect;
        const struct
        {
            int handle;
            QRect expected;
            int moveX, moveY;
        } cases[] = {
            {0, QRect(QPoint(105, 97), QPoint(200, 150)), 5, -3},
            {1, QRect(QPoint(100, 97), QPoint(200, 150)), 0, -3},
            {2, QRect(QPoint(100, 97), QPoint(205, 150)), 5, -3},
            {3, QRect(QPoint(100, 100), QPoint(205, 150)), 5, 0},
            {4, QRect(QPoint(100, 100), QPoint(205, 147)), 5, -3},
            {5, QRect(QPoint(100, 100), QPoint(200, 147)), 0, -3},
            {6, QRect(QPoint(105, 100), QPoint(200, 147)), 5, -3},
            {7, QRect(QPoint(105, 100), QPoint(200, 150)), 5, 0},
            {8, start, 0, 0},
        };
        for (const auto& c : cases) {
            r.rect = start;
            r.moveX = r.moveY = 0;
            r.Resize(c.handle, QPoint(50, 50), QPoint(55, 47));
            QCOMPARE(r.rect, c.expected);
            QCOMPARE(r.moveX, c.moveX);
            QCOMPARE(r.moveY, c.moveY);
        }
        QRect out;
        r.GetRectExt(out);
        QCOMPARE(out, r.rect);
    }

    void circleGeometry()
    {
        Circle c;
        c.rect = QRect(QPoint(10, 10), QPoint(109, 49));  // wide: the circle sits in its left part
        c.UpdateAll();
        QCOMPARE(c.r, 20);
        QCOMPARE(QPoint(c.cx, c.cy), QPoint(30, 30));
        QCOMPARE(c.rect, QRect(QPoint(10, 10), QPoint(49, 49)));

        c = MakeCircle(100, 90, 3, 1, 2.0f, 2.0f);
        QCOMPARE(c.imageR, 2);       // 1.5 goes to 2
        QCOMPARE(c.imageInnerR, 0);  // 0.5 goes to 0
        c.r = 5;
        c.UpdateRect();
        c.setImageRect();
        QCOMPARE(c.imageR, 2);  // 2.5 goes to 2

        c = MakeCircle(101, 100, 40, 0, kScaleX, kScaleY);
        QCOMPARE(c.imageCx, 33);  // truncated
        QCOMPARE(c.imageCy, 44);
        QCOMPARE(c.imageR, 16);
        QCOMPARE(c.imageRect, QRect(17, 28, 32, 32));
    }

    void circleRingMasks()
    {
        Circle c = MakeCircle(300, 300, 10, 4);
        cv::Mat mask = c.UpdateMask();
        QCOMPARE(mask.size(), cv::Size(20, 20));
        QCOMPARE(int(mask.at<uchar>(10, 10)), 0);    // centre of a ring
        QCOMPARE(int(mask.at<uchar>(10, 14)), 255);  // distance 4: on the inner rim, kept
        QCOMPARE(int(mask.at<uchar>(10, 13)), 0);
        QCOMPARE(int(mask.at<uchar>(1, 10)), 255);  // distance 9
        QCOMPARE(int(mask.at<uchar>(0, 10)), 0);    // distance 10: outside
        QCOMPARE(int(mask.at<uchar>(0, 0)), 0);

        c.innerR = 0;
        c.setImageRect();
        mask = c.UpdateMask();
        QCOMPARE(int(mask.at<uchar>(10, 10)), 255);

        // An inner radius beyond the radius is limited to it: the ring is empty.
        c.innerR = 50;
        c.Resize(3, QPoint(0, 0), QPoint(340, 330));
        QCOMPARE(c.r, 50);
        QCOMPARE(c.innerR, 50);
        c.Resize(1, QPoint(0, 0), QPoint(300, 340));
        QCOMPARE(c.r, 40);
        QCOMPARE(c.innerR, 40);
        c.setImageRect();
        mask = c.UpdateMask();
        QCOMPARE(mask.size(), cv::Size(80, 80));
        QCOMPARE(cv::countNonZero(mask), 0);
        QCOMPARE(c.rect, QRect(QPoint(260, 260), QPoint(339, 339)));
    }

    void circleRimHandles()
    {
        Circle c = MakeCircle(500, 500, 10, 0);
        int hit = 9;
        QVERIFY(!c.PtInCtrl(QPoint(500, 490), &hit));
        QCOMPARE(hit, -1);
        c.SetSelected(true);
        for (int d : {10, 20, 30}) QVERIFY2(c.PtInCtrl(QPoint(500, 500 - d), &hit), qPrintable(QString::number(d)));
        QVERIFY(!c.PtInCtrl(QPoint(500, 491), &hit));
        QVERIFY(!c.PtInCtrl(QPoint(500, 469), &hit));

        c.r = 20;
        c.UpdateRect();
        QVERIFY(c.PtInCtrl(QPoint(500, 500), &hit));  // radius 20: even the centre
        QCOMPARE(hit, 1);
        QVERIFY(c.PtInCtrl(QPoint(500, 540), &hit));
        QVERIFY(!c.PtInCtrl(QPoint(500, 541), &hit));

        c.r = 100;
        c.UpdateRect();
        const struct
        {
            QPoint p;
            int handle;
        } cases[] = {
            {{519, 400}, 1}, {{481, 600}, 5}, {{400, 519}, 7}, {{600, 481}, 3},  {{429, 429}, 0},
            {{571, 429}, 2}, {{571, 571}, 4}, {{429, 571}, 6}, {{500, 500}, -1}, {{500, 379}, -1},
        };
        for (const auto& k : cases) {
            c.PtInCtrl(k.p, &hit);
            QCOMPARE(hit, k.handle);
            QCOMPARE(c.handle, k.handle);
        }
        QVERIFY(c.Contains(QPoint(380, 380)));
        QVERIFY(!c.Contains(QPoint(379, 500)));
        QVERIFY(c.Contains(QPoint(619, 619)));
    }

    void polygonCutToCapacity()
    {
        std::vector<QPoint> pts(9000);
        for (int i = 0; i < 9000; ++i) pts[i] = QPoint(i % 1900 + 5, i / 1900 + 5);
        RePolygon* big = new RePolygon(9000, pts.data());
        QCOMPARE(big->count, kMaxPolygonPoints);
        QCOMPARE(big->points[8095], pts[8095]);
        delete big;
        auto none = std::make_unique<RePolygon>(-4, pts.data());
        QCOMPARE(none->count, 0);
    }

    void polygonBoundsAndImagePoints()
    {
        auto p = MakePolygon({{5, 7}, {41, 9}, {40, 30}}, 2.0f, 2.0f);
        QCOMPARE(p->imagePoints[0], QPoint(2, 4));  // 2.5 and 3.5 to the even neighbours
        QCOMPARE(p->imagePoints[1], QPoint(20, 4));
        QCOMPARE(p->imagePoints[2], QPoint(20, 15));
        QCOMPARE(p->imageRect, QRect(QPoint(2, 4), QPoint(19, 14)));
        QCOMPARE(p->rect, QRect(QPoint(-15, -13), QPoint(40, 29)));  // margin left and top only

        auto single = MakePolygon({{50, 60}});
        QCOMPARE(single->imageRect, QRect(QPoint(50, 60), QPoint(49, 59)));
        QCOMPARE(single->rect, QRect(QPoint(30, 40), QPoint(49, 59)));
        QVERIFY(single->UpdateMask().empty());

        auto off = MakePolygon({{1800, 10}, {1917, 10}, {1917, 200}}, 1.0f, 1.0f);
        off->setShowA(kScaleX, kScaleY);
        off->setImageRect();
        QCOMPARE(off->imageRect.right(), 638);
        auto wide = MakePolygon({{10, 10}, {2500, 10}, {10, 1500}});
        QCOMPARE(wide->imageRect, QRect(QPoint(10, 10), QPoint(1919, 1079)));
        QCOMPARE(wide->UpdateMask().size(), cv::Size(1910, 1070));
    }

    void polygonMaskIsStrictlyInside()
    {
        auto square = MakePolygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
        cv::Mat mask = square->UpdateMask();
        QCOMPARE(mask.size(), cv::Size(10, 10));
        QCOMPARE(cv::countNonZero(mask), 81);
        QCOMPARE(cv::countNonZero(mask.row(0)), 0);
        QCOMPARE(cv::countNonZero(mask.col(0)), 0);

        // Shapes with the awkward cases of a scan line: horizontal edges, vertices on a row,
        // spikes, collinear and repeated points, self-crossing, holes by the even-odd rule.
        const std::vector<std::vector<QPoint>> shapes = {
            {{10, 10}, {60, 10}, {60, 40}, {40, 40}, {40, 20}, {30, 20}, {30, 40}, {10, 40}},
            {{30, 5}, {55, 30}, {30, 55}, {5, 30}},
            {{5, 5}, {50, 40}, {50, 5}, {5, 40}},
            {{5, 20}, {20, 5}, {20, 5}, {35, 20}, {50, 5}, {50, 50}, {35, 35}, {20, 50}, {5, 35}, {5, 35}},
            {{3, 3}, {60, 3}, {60, 60}, {3, 60}, {3, 3}, {20, 20}, {40, 20}, {40, 40}, {20, 40}, {20, 20}},
            {{5, 5}, {25, 5}, {45, 5}, {45, 25}, {45, 45}, {25, 45}, {5, 45}},
            {{10, 30}, {50, 29}, {12, 28}, {48, 31}},
        };
        for (const auto& s : shapes) {
            auto p = MakePolygon(s);
            std::vector<cv::Point> cvPoints;
            for (const QPoint& q : s) cvPoints.emplace_back(q.x(), q.y());
            QString why;
            QVERIFY2(MaskMatchesPointTest(p->UpdateMask(), p->imageRect, cvPoints, &why), qPrintable(why));
        }

        // Random freehand strokes, scaled to the image like the store does.
        std::mt19937 random(12345);
        for (int round = 0; round < 60; ++round) {
            const int n = 3 + static_cast<int>(random() % 40);
            std::vector<QPoint> s;
            for (int k = 0; k < n; ++k)
                s.emplace_back(3 + static_cast<int>(random() % 300), 3 + static_cast<int>(random() % 200));
            auto p = MakePolygon(s, kScaleX, kScaleY);
            std::vector<cv::Point> cvPoints;
            for (int k = 0; k < n; ++k) cvPoints.emplace_back(p->imagePoints[k].x(), p->imagePoints[k].y());
            QString why;
            QVERIFY2(MaskMatchesPointTest(p->UpdateMask(), p->imageRect, cvPoints, &why),
                     qPrintable(QString("round %1: %2").arg(round).arg(why)));
        }
    }

    void polygonContainsAndVertices()
    {
        // 78 units wide: the bounding rectangle decides, even outside the edges.
        auto narrow = MakePolygon({{100, 100}, {178, 100}, {178, 300}});
        QCOMPARE(narrow->rect.right() - narrow->rect.left(), 97);
        auto thin = MakePolygon({{120, 100}, {178, 100}, {178, 300}});
        QCOMPARE(thin->rect.right() - thin->rect.left(), 77);
        QVERIFY(thin->Contains(QPoint(101, 290)));
        QVERIFY(!thin->Contains(QPoint(178, 200)));

        auto tri = MakePolygon({{100, 100}, {300, 100}, {100, 300}});
        QVERIFY(tri->Contains(QPoint(150, 150)));
        QVERIFY(!tri->Contains(QPoint(100, 150)));  // on an edge
        QVERIFY(!tri->Contains(QPoint(250, 250)));
        // Two points enclose nothing: a wide stroke is still picked by its bounding rectangle.
        auto stroke = MakePolygon({{100, 100}, {400, 300}});
        QVERIFY(stroke->Contains(QPoint(390, 110)));
        QVERIFY(!stroke->Contains(QPoint(401, 200)));

        int hit = 5;
        QVERIFY(!tri->PtInCtrl(QPoint(100, 100), &hit));
        QCOMPARE(hit, -1);
        tri->SetSelected(true);
        auto close = MakePolygon({{100, 100}, {110, 100}, {100, 300}});
        close->SetSelected(true);
        QVERIFY(close->PtInCtrl(QPoint(106, 100), &hit));
        QCOMPARE(hit, 0);  // first vertex in index order
        QCOMPARE(close->node, 0);
        QVERIFY(close->PtInCtrl(QPoint(125, 101), &hit));
        QCOMPARE(hit, 1);
        QVERIFY(!close->PtInCtrl(QPoint(200, 200), &hit));
        QCOMPARE(close->node, -1);
    }

    void polygonVertexDragStaysOnScreen()
    {
        auto p = MakePolygon({{100, 100}, {300, 100}, {100, 300}}, kScaleX, kScaleY);
        p->Resize(0, QPoint(50, 50), QPoint(-47, 50), kScaleX, kScaleY);  // to x = 3
        QCOMPARE(p->points[0], QPoint(3, 100));
        QCOMPARE(p->imagePoints[0], QPoint(1, 44));
        p->Resize(0, QPoint(50, 50), QPoint(49, 50), kScaleX, kScaleY);  // to x = 2
        QCOMPARE(p->points[0], QPoint(3, 100));
        QCOMPARE(p->moveX, -1);
        p->Resize(1, QPoint(0, 0), QPoint(1617, 0), kScaleX, kScaleY);  // to gShowW - 3
        QCOMPARE(p->points[1], QPoint(1917, 100));
        p->Resize(1, QPoint(0, 0), QPoint(1, 0), kScaleX, kScaleY);  // to gShowW - 2
        QCOMPARE(p->points[1], QPoint(1917, 100));
        p->Resize(2, QPoint(0, 0), QPoint(0, 777), kScaleX, kScaleY);  // to gShowH - 3
        QCOMPARE(p->points[2], QPoint(100, 1077));
        p->Resize(2, QPoint(0, 0), QPoint(0, 1), kScaleX, kScaleY);
        QCOMPARE(p->points[2], QPoint(100, 1077));
        p->Resize(7, QPoint(0, 0), QPoint(5, 5), kScaleX, kScaleY);  // no such vertex
        QCOMPARE(p->points[7], QPoint(0, 0));
    }

    void drawingColours()
    {
        QImage canvas(400, 400, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        painter.setPen(QPen(Qt::green, 1));

        ClustomRect r;
        r.rect = QRect(QPoint(20, 20), QPoint(120, 120));
        r.Draw(painter);
        QCOMPARE(PixelAt(canvas, 70, 20), QColor(Qt::green));
        QCOMPARE(PixelAt(canvas, 70, 21), QColor(Qt::green));  // three units wide
        QCOMPARE(painter.pen().width(), 1);                    // the caller's pen is back

        r.SetSelected(true);
        r.handle = 0;
        r.Draw(painter);
        QCOMPARE(PixelAt(canvas, 10, 15), QColor(Qt::yellow));    // top-left square edge
        QCOMPARE(PixelAt(canvas, 130, 15), QColor(Qt::magenta));  // top-right square
        QCOMPARE(PixelAt(canvas, 70, 20), QColor(Qt::magenta));   // top edge
        r.handle = 3;
        r.Draw(painter);
        QCOMPARE(PixelAt(canvas, 120, 70), QColor(Qt::yellow));  // right edge is active
        QCOMPARE(PixelAt(canvas, 10, 15), QColor(Qt::magenta));

        Circle c = MakeCircle(250, 250, 60, 20);
        c.Draw(painter);
        QCOMPARE(PixelAt(canvas, 250, 190), QColor(Qt::green));   // outer rim in the caller's colour
        QCOMPARE(PixelAt(canvas, 250, 230), QColor(Qt::yellow));  // inner circle
        c.SetSelected(true);
        c.handle = 5;
        c.Draw(painter);
        QCOMPARE(PixelAt(canvas, 190, 250), QColor(Qt::magenta));
        QCOMPARE(PixelAt(canvas, 241, 318), QColor(Qt::yellow));  // bottom axis square
        QCOMPARE(PixelAt(canvas, 250, 230), QColor(Qt::yellow));

        painter.end();
        canvas.fill(Qt::black);
        painter.begin(&canvas);
        painter.setPen(QPen(Qt::green, 1));
        auto p = MakePolygon({{50, 50}, {350, 50}, {350, 350}});
        p->SetSelected(true);
        p->SetHand(true);
        p->Draw(painter);
        QCOMPARE(PixelAt(canvas, 200, 50), QColor(Qt::magenta));
        QCOMPARE(PixelAt(canvas, 41, 45), QColor(Qt::black));  // no vertex squares when hand-drawn
        p->SetHand(false);
        p->setNode(1);
        p->Draw(painter);
        QCOMPARE(PixelAt(canvas, 41, 45), QColor(Qt::magenta));
        QCOMPARE(PixelAt(canvas, 359, 45), QColor(Qt::yellow));
    }
};

MONITOR_TEST_MAIN(TestShapes)
#include "tst_shapes.moc"
