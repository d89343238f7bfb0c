// ClustomRect: image geometry, mask, handle hit test, resizing and drawing of a rectangle.
#include "rect.h"

#include "miscfunc.h"
#include "viewgeometry.h"

namespace {

struct CornerHandle
{
    int handle;
    QPoint (QRect::*corner)() const;
};

// Corners are tested before edges, and in this order, so overlapping handles of a small
// rectangle resolve the way operators are used to.
const CornerHandle kCorners[] = {{kHandleTopLeft, &QRect::topLeft},
                                 {kHandleTopRight, &QRect::topRight},
                                 {kHandleBottomLeft, &QRect::bottomLeft},
                                 {kHandleBottomRight, &QRect::bottomRight}};

// Which coordinates a handle drags: {left, top, right, bottom}.
const bool kHandleMoves[8][4] = {
    {true, true, false, false}, {false, true, false, false}, {false, true, true, false}, {false, false, true, false},
    {false, false, true, true}, {false, false, false, true}, {true, false, false, true}, {true, false, false, false},
};

}  // namespace

ClustomRect::ClustomRect() : selected(false), moveX(0), moveY(0), showAX(1.0f), showAY(1.0f), handle(kHandleNone) {}

void ClustomRect::setShowA(float x, float y)
{
    showAX = x;
    showAY = y;
}

void ClustomRect::setImageRect()
{
    const int left = ToImageNearest(rect.left(), showAX);
    const int top = ToImageNearest(rect.top(), showAY);
    const int w = ToImageNearest(rect.right() - rect.left() + 1, showAX);
    const int h = ToImageNearest(rect.bottom() - rect.top() + 1, showAY);
    imageRect = ClipToPicture(QRect(QPoint(left, top), QPoint(left + w - 1, top + h - 1)), showAX, showAY);
}

cv::Mat ClustomRect::UpdateMask() const
{
    if (imageRect.width() <= 0 || imageRect.height() <= 0)
        return cv::Mat();
    return cv::Mat(imageRect.height(), imageRect.width(), CV_8UC1, cv::Scalar(255));
}

bool ClustomRect::PtInCtrl(QPoint p, int* hit)
{
    handle = kHandleNone;
    if (selected) {
        for (const CornerHandle& c : kCorners) {
            if (PointAround((rect.*c.corner)(), p, kHandleTolerance)) {
                handle = c.handle;
                break;
            }
        }
    }
    if (selected && handle < 0) {
        const int tolX = rect.width() / 4;
        const int tolY = rect.height() / 4;
        if (LineAround(rect.left(), p.x(), p.y(), rect.top(), rect.bottom(), tolX))
            handle = kHandleLeft;
        else if (LineAround(rect.right(), p.x(), p.y(), rect.top(), rect.bottom(), tolX))
            handle = kHandleRight;
        else if (LineAround(rect.top(), p.y(), p.x(), rect.left(), rect.right(), tolY))
            handle = kHandleTop;
        else if (LineAround(rect.bottom(), p.y(), p.x(), rect.left(), rect.right(), tolY))
            handle = kHandleBottom;
    }
    if (hit)
        *hit = handle;
    return handle >= 0;
}

bool ClustomRect::Contains(QPoint p) const
{
    return rect.adjusted(-kHandleTolerance, -kHandleTolerance, kHandleTolerance, kHandleTolerance).contains(p);
}

void ClustomRect::Resize(int hit, QPoint from, QPoint to)
{
    if (hit < 0 || hit > 7)
        return;
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    const bool* moves = kHandleMoves[hit];
    if (moves[0])
        rect.setLeft(rect.left() + dx);
    if (moves[1])
        rect.setTop(rect.top() + dy);
    if (moves[2])
        rect.setRight(rect.right() + dx);
    if (moves[3])
        rect.setBottom(rect.bottom() + dy);
    if (moves[0] || moves[2])
        moveX = dx;
    if (moves[1] || moves[3])
        moveY = dy;
}

void ClustomRect::Draw(QPainter& painter) const
{
    OutlinePen outline(painter);
    if (!selected) {
        painter.drawRect(rect);
        return;
    }
    // Corner k is handle 2k (kHandleTopLeft, ...); the side from it to the next is 2k + 1.
    const QPoint corners[4] = {rect.topLeft(), rect.topRight(), rect.bottomRight(), rect.bottomLeft()};
    for (int k = 0; k < 4; ++k) DrawHandleSquare(painter, corners[k], handle == 2 * k);
    for (int k = 0; k < 4; ++k) {
        outline.setColor(handle == 2 * k + 1 ? Qt::yellow : Qt::magenta);
        painter.drawLine(corners[k], corners[(k + 1) % 4]);
    }
}
