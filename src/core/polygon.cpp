// RePolygon: image geometry, exact scan-line mask, vertex hit test, dragging and drawing.
#include "polygon.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "miscfunc.h"
#include "viewgeometry.h"

namespace {

// Below this display width or height a polygon is hit anywhere in its bounding rectangle.
constexpr int kNarrowPolygon = 79;

// A non-horizontal edge, lower end first; it crosses rows yLow <= y < yHigh.
struct ScanEdge
{
    int yLow;
    int yHigh;
    int xLow;
    int dx;  // x change from the lower to the upper end
};

// Where an edge crosses a row: the first pixel right of it and the last pixel left of it.
struct Crossing
{
    double x;
    int firstRight;
    int lastLeft;
};

int64_t FloorDiv(int64_t num, int64_t den)
{
    const int64_t q = num / den;
    return (num % den != 0 && num < 0) ? q - 1 : q;
}

Crossing CrossRow(const ScanEdge& e, int y)
{
    const int dy = e.yHigh - e.yLow;
    const int64_t num = static_cast<int64_t>(y - e.yLow) * e.dx;
    const int64_t whole = e.xLow + FloorDiv(num, dy);
    const bool exact = num % dy == 0;
    // A pixel exactly on the edge lies on the boundary and belongs to neither side.
    return {e.xLow + static_cast<double>(num) / dy, static_cast<int>(whole + 1),
            static_cast<int>(exact ? whole - 1 : whole)};
}

void ClearSpan(cv::Mat& mask, const QRect& area, int y, int x0, int x1)
{
    if (y < area.top() || y > area.bottom())
        return;
    x0 = std::max(x0, area.left());
    x1 = std::min(x1, area.right());
    if (x0 <= x1)
        std::memset(mask.ptr<unsigned char>(y - area.top()) + (x0 - area.left()), 0, x1 - x0 + 1);
}

}  // namespace

void FillPolygonStrictlyInside(cv::Mat& mask, const QRect& area, const QPoint* pts, int n)
{
    mask.setTo(0);
    if (n < 3)
        return;
    std::vector<ScanEdge> edges;
    edges.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QPoint& a = pts[i == 0 ? n - 1 : i - 1];
        const QPoint& b = pts[i];
        if (a.y() == b.y())
            continue;
        const QPoint& lo = a.y() < b.y() ? a : b;
        const QPoint& hi = a.y() < b.y() ? b : a;
        edges.push_back({lo.y(), hi.y(), lo.x(), hi.x() - lo.x()});
    }
    std::sort(edges.begin(), edges.end(), [](const ScanEdge& l, const ScanEdge& r) { return l.yLow < r.yLow; });

    std::vector<const ScanEdge*> active;
    std::vector<Crossing> crossings;
    size_t next = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        while (next < edges.size() && edges[next].yLow <= y) active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [y](const ScanEdge* e) { return e->yHigh <= y; }),
                     active.end());
        crossings.clear();
        for (const ScanEdge* e : active) crossings.push_back(CrossRow(*e, y));
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        unsigned char* row = mask.ptr<unsigned char>(y - area.top());
        for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const int x0 = std::max(crossings[k].firstRight, area.left());
            const int x1 = std::min(crossings[k + 1].lastLeft, area.right());
            if (x0 <= x1)
                std::memset(row + (x0 - area.left()), 255, x1 - x0 + 1);
        }
    }
    // Vertices and horizontal edges are boundary too, although they add no crossing.
    for (int i = 0; i < n; ++i) {
        const QPoint& a = pts[i == 0 ? n - 1 : i - 1];
        const QPoint& b = pts[i];
        if (a.y() == b.y())
            ClearSpan(mask, area, a.y(), std::min(a.x(), b.x()), std::max(a.x(), b.x()));
        else
            ClearSpan(mask, area, b.y(), b.x(), b.x());
    }
}

void PolygonPoints::clear()
{
    std::memset(raw, 0, sizeof(raw));
}

RePolygon::RePolygon()
    : count(0), selected(false), hand(false), moveX(0), moveY(0), showAX(1.0f), showAY(1.0f), node(-1)
{
}

RePolygon::RePolygon(int n, const QPoint* pts) : RePolygon()
{
    // Stores compare polygons byte-wise: the unused vertices must be zero, not left-overs.
    points.clear();
    imagePoints.clear();
    count = std::clamp(n, 0, kMaxPolygonPoints);
    if (count >= 1)
        std::copy(pts, pts + count, static_cast<QPoint*>(points));
}

void RePolygon::setShowA(float x, float y)
{
    showAX = x;
    showAY = y;
}

void RePolygon::setImageRect()
{
    for (int i = 0; i < count; ++i)
        imagePoints[i] = QPoint(ToImageNearest(points[i].x(), showAX), ToImageNearest(points[i].y(), showAY));
    BoundingRect();
}

void RePolygon::BoundingRect()
{
    // With fewer than two points the rectangles come from point 0 alone.
    const int n = count >= 2 ? count : 1;
    int minX = imagePoints[0].x(), maxX = minX, minY = imagePoints[0].y(), maxY = minY;
    int dMinX = points[0].x(), dMaxX = dMinX, dMinY = points[0].y(), dMaxY = dMinY;
    for (int i = 1; i < n; ++i) {
        minX = std::min(minX, imagePoints[i].x());
        maxX = std::max(maxX, imagePoints[i].x());
        minY = std::min(minY, imagePoints[i].y());
        maxY = std::max(maxY, imagePoints[i].y());
        dMinX = std::min(dMinX, points[i].x());
        dMaxX = std::max(dMaxX, points[i].x());
        dMinY = std::min(dMinY, points[i].y());
        dMaxY = std::max(dMaxY, points[i].y());
    }
    imageRect = ClipToPicture(QRect(QPoint(minX, minY), QPoint(maxX - 1, maxY - 1)), showAX, showAY);
    rect = QRect(QPoint(dMinX - kHandleTolerance, dMinY - kHandleTolerance), QPoint(dMaxX - 1, dMaxY - 1));
}

cv::Mat RePolygon::UpdateMask() const
{
    const int rows = imageRect.bottom() - imageRect.top() + 1;
    const int cols = imageRect.right() - imageRect.left() + 1;
    if (rows <= 0 || cols <= 0)
        return cv::Mat();
    cv::Mat mask(rows, cols, CV_8UC1);
    FillPolygonStrictlyInside(mask, imageRect, imagePoints, count);
    return mask;
}

bool RePolygon::PtInCtrl(QPoint p, int* hit)
{
    node = -1;
    for (int i = 0; selected && i < count; ++i) {
        if (PointAround(points[i], p, kHandleTolerance)) {
            node = i;
            break;
        }
    }
    if (hit)
        *hit = node;
    return node >= 0;
}

bool RePolygon::Contains(const QPoint& p) const
{
    // Fewer than three points enclose nothing; the bounding rectangle still lets them be picked.
    if (count < 3 || rect.right() - rect.left() < kNarrowPolygon || rect.bottom() - rect.top() < kNarrowPolygon)
        return rect.contains(p);
    static_assert(sizeof(QPoint) == 2 * sizeof(int), "display points are read as an OpenCV contour");
    const cv::Mat contour(count, 1, CV_32SC2, const_cast<QPoint*>(static_cast<const QPoint*>(points)));
    return cv::pointPolygonTest(contour, cv::Point2f(p.x(), p.y()), false) > 0;
}

void RePolygon::Resize(int vertex, QPoint from, QPoint to, float scaleX, float scaleY)
{
    if (vertex < 0 || vertex >= count)
        return;
    moveX = to.x() - from.x();
    moveY = to.y() - from.y();
    const QPoint moved = points[vertex] + QPoint(moveX, moveY);
    int x = moved.x(), y = moved.y();
    CheckInRange(&x, 1, 0, 0);
    CheckInRange(&y, 0, 0, 0);
    if (x != moved.x() || y != moved.y())
        return;
    points[vertex] = moved;
    imagePoints[vertex] = QPoint(ToImageNearest(moved.x(), scaleX), ToImageNearest(moved.y(), scaleY));
}

void RePolygon::Draw(QPainter& painter) const
{
    OutlinePen outline(painter);
    if (selected && !hand) {
        for (int i = 0; i < count; ++i) DrawHandleSquare(painter, points[i], i == node);
    }
    if (selected)
        outline.setColor(Qt::magenta);
    painter.drawPolygon(points, count, Qt::OddEvenFill);
}
