// RePolygon: a polygon region of interest, clicked vertex by vertex or drawn freehand.
#pragma once

#include <type_traits>

#include <QPainter>
#include <QPoint>
#include <QRect>

#include <opencv2/core.hpp>

constexpr int kMaxPolygonPoints = 8096;

// The vertex arrays of a polygon, used as QPoint arrays. Default construction leaves the
// memory as it finds it: the region stores come zeroed from calloc and hold 800 polygons of
// two such arrays each, and writing all those zero points would give every empty slot real
// memory (about 200 MB per camera).
class PolygonPoints
{
public:
    PolygonPoints() = default;
    operator QPoint*() { return reinterpret_cast<QPoint*>(raw); }
    operator const QPoint*() const { return reinterpret_cast<const QPoint*>(raw); }
    // Every vertex (0, 0).
    void clear();

private:
    alignas(QPoint) unsigned char raw[kMaxPolygonPoints * sizeof(QPoint)];
};

// Plain value: the region stores copy and compare it byte-wise, so it holds no pointers.
class RePolygon
{
public:
    // Leaves count at 0; the region store sets it. The vertex arrays are not written (see
    // PolygonPoints): a polygon made on its own has meaningful vertices only below count.
    RePolygon();
    // The first n display points of pts; more than kMaxPolygonPoints are cut to that many.
    RePolygon(int n, const QPoint* pts);

    bool IsSelected() const { return selected; }
    void SetSelected(bool on) { selected = on; }
    void SetHand(bool on) { hand = on; }
    bool getHand() const { return hand; }
    void setNode(int n) { node = n; }
    void setShowA(float x, float y);
    // Image points from the display points, then both bounding rectangles.
    void setImageRect();
    // Bounding rectangles; the image one is clipped to the picture.
    void BoundingRect();
    // 255 where a pixel lies strictly inside the image polygon (even-odd), 0 on its edges.
    cv::Mat UpdateMask() const;
    // Vertex under p, only while selected.
    bool PtInCtrl(QPoint p, int* hit);
    bool Contains(const QPoint& p) const;
    // Drags one vertex; refused when it would leave the canvas margin.
    void Resize(int vertex, QPoint from, QPoint to, float scaleX, float scaleY);
    void Draw(QPainter& painter) const;

    int count;
    PolygonPoints points;       // display vertices
    PolygonPoints imagePoints;  // image vertices
    QRect rect;                 // display bounding rectangle (20 units margin left and top)
    QRect imageRect;            // image bounding rectangle
    bool selected;
    bool hand;  // drawn freehand as a gesture area
    int moveX;
    int moveY;
    float showAX;  // display units per image pixel
    float showAY;
    int node;  // -1 none
};

static_assert(std::is_trivially_copyable<RePolygon>::value, "region stores copy shapes byte-wise");

// Scan-line fill of the polygon pts[0..n-1] into mask, whose pixel (0, 0) is image pixel
// area.topLeft(): a pixel is 255 exactly when cv::pointPolygonTest would call it strictly
// inside (even-odd crossings, boundary pixels 0), without testing every pixel.
void FillPolygonStrictlyInside(cv::Mat& mask, const QRect& area, const QPoint* pts, int n);
