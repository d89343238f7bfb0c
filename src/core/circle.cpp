// Circle: image geometry, ring mask, rim hit test, resizing and drawing of a disc or ring.
#include "circle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "viewgeometry.h"

Circle::Circle()
    : cx(0),
      cy(0),
      r(0),
      innerR(0),
      imageCx(0),
      imageCy(0),
      imageR(0),
      imageInnerR(0),
      selected(false),
      showAX(1.0f),
      showAY(1.0f),
      handle(kHandleNone)
{
    UpdateAll();
}

void Circle::setShowA(float x, float y)
{
    showAX = x;
    showAY = y;
}

void Circle::UpdateRect()
{
    const int left = cx - r;
    const int top = cy - r;
    rect.setCoords(left, top, left + 2 * r - 1, top + 2 * r - 1);
    if (innerR > r)
        innerR = r;
    if (innerR < 0)
        innerR = 0;
}

void Circle::UpdateAll()
{
    const int w = rect.right() - rect.left() + 1;
    const int h = rect.bottom() - rect.top() + 1;
    r = std::min(h / 2, w / 2);
    cx = rect.left() + r;
    cy = rect.top() + r;
    UpdateRect();
}

void Circle::setImageRect()
{
    imageR = static_cast<int>(std::nearbyint((static_cast<float>(r) / showAX + static_cast<float>(r) / showAY) / 2));
    imageInnerR = static_cast<int>(
        std::nearbyint((static_cast<float>(innerR) / showAX + static_cast<float>(innerR) / showAY) / 2));
    imageCx = ToImageTruncated(cx, showAX);
    imageCy = ToImageTruncated(cy, showAY);
    const int left = imageCx - imageR;
    const int top = imageCy - imageR;
    imageRect =
        ClipToPicture(QRect(QPoint(left, top), QPoint(left + 2 * imageR - 1, top + 2 * imageR - 1)), showAX, showAY);
}

cv::Mat Circle::UpdateMask() const
{
    if (imageRect.width() <= 0 || imageRect.height() <= 0)
        return cv::Mat();
    // Distances are taken from the image centre, so a clipped rectangle keeps its part of the ring.
    const long outer2 = static_cast<long>(imageR) * imageR;
    const long inner2 = static_cast<long>(imageInnerR) * imageInnerR;
    cv::Mat mask(imageRect.height(), imageRect.width(), CV_8UC1);
    for (int y = 0; y < mask.rows; ++y) {
        const long dy = imageRect.top() + y - imageCy;
        unsigned char* row = mask.ptr<unsigned char>(y);
        for (int x = 0; x < mask.cols; ++x) {
            const long dx = imageRect.left() + x - imageCx;
            const long d2 = dx * dx + dy * dy;
            row[x] = (inner2 <= d2 && d2 < outer2) ? 255 : 0;
        }
    }
    return mask;
}

bool Circle::PtInCtrl(QPoint p, int* hit)
{
    handle = kHandleNone;
    const long dx = p.x() - cx;
    const long dy = p.y() - cy;
    const long d2 = dx * dx + dy * dy;
    const long rr = static_cast<long>(r) * r;
    const long band = 2L * kHandleTolerance * r;
    const long tol2 = static_cast<long>(kHandleTolerance) * kHandleTolerance;
    const bool onRing = d2 <= rr + band + tol2 && d2 >= rr - band + tol2;
    if (selected && onRing) {
        if (std::abs(cx - p.x()) < kHandleTolerance)
            handle = p.y() > cy ? kHandleBottom : kHandleTop;
        else if (std::abs(cy - p.y()) < kHandleTolerance)
            handle = p.x() < cx ? kHandleLeft : kHandleRight;
        else if (p.x() < cx && p.y() < cy)
            handle = kHandleTopLeft;
        else if (p.x() > cx && p.y() < cy)
            handle = kHandleTopRight;
        else if (p.x() > cx && p.y() > cy)
            handle = kHandleBottomRight;
        else if (p.x() < cx && p.y() > cy)
            handle = kHandleBottomLeft;
    }
    if (hit)
        *hit = handle;
    return handle >= 0;
}

bool Circle::Contains(QPoint p) const
{
    return rect.adjusted(-kHandleTolerance, -kHandleTolerance, kHandleTolerance, kHandleTolerance).contains(p);
}

void Circle::Resize(int, QPoint, QPoint to)
{
    const float dx = static_cast<float>(to.x() - cx);
    const float dy = static_cast<float>(to.y() - cy);
    r = static_cast<int>(std::sqrt(dx * dx + dy * dy));
    UpdateRect();
}

void Circle::Draw(QPainter& painter) const
{
    OutlinePen outline(painter);
    if (selected) {
        const QPoint axisPoints[4] = {{cx, rect.top()}, {rect.right(), cy}, {cx, rect.bottom()}, {rect.left(), cy}};
        for (int k = 0; k < 4; ++k) DrawHandleSquare(painter, axisPoints[k], handle == 2 * k + 1);
        outline.setColor(Qt::magenta);
    }
    painter.drawEllipse(rect);
    outline.setColor(Qt::yellow);
    painter.drawEllipse(QRect(cx - innerR, cy - innerR, 2 * innerR, 2 * innerR));
}
