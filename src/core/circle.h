// Circle: a disc or ring region of interest in display and image coordinates.
#pragma once

#include <type_traits>

#include <QPainter>
#include <QPoint>
#include <QRect>

#include <opencv2/core.hpp>

// Plain value: the region stores copy and compare it byte-wise, so it holds no pointers.
class Circle
{
public:
    Circle();

    bool IsSelected() const { return selected; }
    void SetSelected(bool on) { selected = on; }
    void setShowA(float x, float y);
    // Image centre, radii and bounding rectangle (clipped to the picture) from the display data.
    void setImageRect();
    // The ring imageInnerR <= distance < imageR over the image rectangle.
    cv::Mat UpdateMask() const;
    // Rim handle under p: 1 top, 3 right, 5 bottom, 7 left, even numbers the quadrants.
    bool PtInCtrl(QPoint p, int* hit);
    bool Contains(QPoint p) const;
    // Drags the rim to the pointer; the centre stays.
    void Resize(int hit, QPoint from, QPoint to);
    void Draw(QPainter& painter) const;
    void GetRectExt(QRect& out) const { out = rect; }
    // Bounding rectangle from centre and radius; keeps the inner radius within [0, r].
    void UpdateRect();
    // Centre and radius from the bounding rectangle (anchored at its top-left), then UpdateRect.
    void UpdateAll();

    QRect rect;       // display bounding rectangle
    QRect imageRect;  // image bounding rectangle
    int cx;
    int cy;
    int r;
    int innerR;  // 0 makes a full disc
    int imageCx;
    int imageCy;
    int imageR;
    int imageInnerR;
    bool selected;
    float showAX;  // display units per image pixel
    float showAY;
    int handle;  // -1 none
};

static_assert(std::is_trivially_copyable<Circle>::value, "region stores copy shapes byte-wise");
