// ClustomRect: a rectangular region of interest in display and image coordinates.
#pragma once

#include <type_traits>

#include <QPainter>
#include <QPoint>
#include <QRect>

#include <opencv2/core.hpp>

// Plain value: the region stores copy and compare it byte-wise, so it holds no pointers.
class ClustomRect
{
public:
    ClustomRect();

    bool IsSelected() const { return selected; }
    void SetSelected(bool on) { selected = on; }
    void setShowA(float x, float y);
    // Image rectangle from the display rectangle, clipped to the picture.
    void setImageRect();
    // All 255 over the image rectangle; empty when the rectangle has no positive size.
    cv::Mat UpdateMask() const;
    // Handle under p (0..7 clockwise from the top-left corner), only while selected.
    bool PtInCtrl(QPoint p, int* hit);
    bool Contains(QPoint p) const;
    void Resize(int hit, QPoint from, QPoint to);
    void Draw(QPainter& painter) const;
    void GetRectExt(QRect& out) const { out = rect; }

    QRect rect;       // display rectangle, inclusive corners
    QRect imageRect;  // image rectangle, inclusive corners
    bool selected;
    int moveX;
    int moveY;
    float showAX;  // display units per image pixel
    float showAY;
    int handle;  // -1 none
};

static_assert(std::is_trivially_copyable<ClustomRect>::value, "region stores copy shapes byte-wise");
