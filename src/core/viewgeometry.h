// What the region shapes and the region store need of a camera view: scales and region masks.
#pragma once

#include <cmath>

#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>

#include <opencv2/core.hpp>

#include "globals.h"
#include "monitorlimits.h"

// The camera view provides this (it may simply inherit it); tests fill it without widgets.
// fullScaleX/Y are display units per image pixel: gShowW / imageWidth, gShowH / imageHeight.
struct ViewGeometry
{
    float fullScaleX = 1.0f;
    float fullScaleY = 1.0f;
    cv::Mat workMasks[kMaxDetections][kMaxRegions];  // masks of the working store
};

// Display to image coordinates: nearest integer with halves to the even neighbour, and
// truncation toward zero; the division is done in single precision.
inline int ToImageNearest(int v, float scale)
{
    return static_cast<int>(std::nearbyint(static_cast<float>(v) / scale));
}

inline int ToImageTruncated(int v, float scale)
{
    return static_cast<int>(static_cast<float>(v) / scale);
}

// The picture a shape lives on follows from its scales, which are the canvas size over the
// picture size; a rectangle handed to users never leaves that picture. A rectangle with no
// positive size stays as it is, so its users still see it as empty.
inline QRect ClipToPicture(const QRect& r, float showAX, float showAY)
{
    if (r.width() <= 0 || r.height() <= 0 || !(showAX > 0) || !(showAY > 0))
        return r;
    const int pictureW = static_cast<int>(std::lround(gShowW / showAX));
    const int pictureH = static_cast<int>(std::lround(gShowH / showAY));
    const QRect clipped = r.intersected(QRect(0, 0, pictureW, pictureH));
    // A shape entirely off the picture keeps an empty rectangle at its own corner.
    return clipped.isEmpty() ? QRect(r.left(), r.top(), 0, 0) : clipped;
}

// Editing and drawing conventions shared by the three shapes.
// The handles of a rectangle or circle, clockwise from the top-left: corners (a circle's
// quadrants) even, the middles of the sides (a circle's rim points) odd.
constexpr int kHandleNone = -1;
constexpr int kHandleTopLeft = 0;
constexpr int kHandleTop = 1;
constexpr int kHandleTopRight = 2;
constexpr int kHandleRight = 3;
constexpr int kHandleBottomRight = 4;
constexpr int kHandleBottom = 5;
constexpr int kHandleBottomLeft = 6;
constexpr int kHandleLeft = 7;
constexpr int kHandleTolerance = 20;  // handle hit distance and the grab margin around a shape
constexpr int kHandleSide = 20;       // side of a drawn handle square
constexpr int kOutlineWidth = 3;

// A handle square of kHandleSide centred on p, yellow while it is the active handle.
inline void DrawHandleSquare(QPainter& painter, QPoint p, bool active)
{
    QPen pen = painter.pen();
    pen.setColor(active ? Qt::yellow : Qt::magenta);
    painter.setPen(pen);
    painter.drawRect(QRect(p.x() - kHandleSide / 2, p.y() - kHandleSide / 2, kHandleSide, kHandleSide));
}

// Saves the painter and widens a copy of its pen for an outline; restores on destruction.
class OutlinePen
{
public:
    explicit OutlinePen(QPainter& painter) : p(painter)
    {
        p.save();
        QPen pen = p.pen();
        pen.setWidth(kOutlineWidth);
        p.setPen(pen);
    }
    ~OutlinePen() { p.restore(); }
    OutlinePen(const OutlinePen&) = delete;
    OutlinePen& operator=(const OutlinePen&) = delete;

    void setColor(const QColor& c)
    {
        QPen pen = p.pen();
        pen.setColor(c);
        p.setPen(pen);
    }

private:
    QPainter& p;
};
