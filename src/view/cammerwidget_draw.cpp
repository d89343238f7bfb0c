// CammerWidget touch handling: camera choice and panning, region selection, dragging, and drawing new regions.
#include "cammerwidget.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QMouseEvent>

#include "cammersingleton.h"
#include "combobox.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "miscfunc.h"
#include "operatorprompts.h"
#include "textids.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

constexpr int kMinNewShape = 9;          // a new rectangle or circle must span more than this
constexpr float kMoveStepPixels = 3.0f;  // a dragged region follows in steps of image pixels
constexpr int kFreehandDrop = 5;         // a gesture of this many points or fewer is no region

int CurDetect()
{
    return gpState ? std::clamp(gpState->curDetect, 0, kMaxDetections - 1) : 0;
}

int DrawMode()
{
    return gpState ? gpState->drawMode : kDrawNone;
}

bool HandDraw()
{
    return gpState && gpState->handDraw;
}

bool Continuation()
{
    return gpWPara && gpWPara->continuationArea;
}

// Nearest integer, halves going up.
int RoundUp(double v)
{
    return int(std::floor(v + 0.5));
}

void ClampToCanvas(QPoint& p)
{
    int x = p.x(), y = p.y();
    CheckInRange(&x, 1, 0, 0);
    CheckInRange(&y, 0, 0, 0);
    p = QPoint(x, y);
}

// The teaching page's camera combo set to camera c, so that its slot runs even when the
// combo already shows it.
void ChooseOnPage(int c)
{
    DrawROIWidget* page = DrawROIWidget::instance();
    if (!page || !page->cameraCombo)
        return;
    if (page->cameraCombo->currentIndex() != c)
        page->cameraCombo->setCurrentIndex(c);
    else
        page->SlotChangeCamera(c);
}

}  // namespace

QPoint CammerWidget::EditPoint(int x, int y) const
{
    if (!gpState)
        return QPoint(x, y);
    const double zoom = gpState->zoomFactor != 0 ? gpState->zoomFactor : 1.0;
    return QPoint(int((x - gpState->zoomOffsetX) / zoom), int((y - gpState->zoomOffsetY) / zoom));
}

void CammerWidget::PanWindow(int x, int y)
{
    if (const auto& pan = ViewToWindow().pan)
        pan(this, x, y);
}

void CammerWidget::mousePressEvent(QMouseEvent* event)
{
    const int x = RoundUp(event->localPos().x());
    const int y = RoundUp(event->localPos().y());
    emit clicked(QPoint(x, y));
    if (gpState && cameraIndex == gpState->viewCamera) {
        gpState->clickX = x;
        gpState->clickY = y;
        // A drag of the zoomed picture measures from where the finger came down, not from
        // where the previous drag ended.
        gpState->panLastX = x;
        gpState->panLastY = y;
        MUpdateXYV(x, y);
    }
    // The button bar hides after a while without touches: every touch keeps it.
    if (const auto& touched = ViewToWindow().touched)
        touched();
    if (cameraIndex >= numCamera) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (gpState && gpState->viewCamera == numCamera) {
        gpState->viewCamera = cameraIndex;
        if (const auto& layOut = ViewToWindow().layOut)
            layOut(this);
        // On the alarm's live picture the page follows the chosen camera: its combo's slot
        // shows the commands that need a single camera (the ignore points).
        if (gpState->pageState == kPageAlarm && gSource == kSourceLiveImage)
            ChooseOnPage(cameraIndex);
        QWidget::mousePressEvent(event);
        return;
    }
    if (gSource != 0 || !storeB) {
        setCursor(Qt::ArrowCursor);
        QWidget::mousePressEvent(event);
        return;
    }
    touchState = 0;
    pressed = true;
    const QPoint p = EditPoint(x, y);
    if (gpState && gpState->copyMode) {
        if (!(gpWPara && gpWPara->continuousCopy))
            gpState->copyMode = false;
        SlotCopyArea(p);
        return;
    }
    const int d = CurDetect();
    CammerSingleton& s = *storeB;
    const int mode = DrawMode();
    if (mode == kDrawNone) {
        if (GetSelectedRect()) {
            const int type = s.shapeType[d][curRoi];
            if (!PtInRegion(p)) {
                lastRoi = curRoi;
                SelectShape(d, curRoi, false);
                setCurRoi(-1);
                setCursor(Qt::CrossCursor);
                curPos = prevPos = p;
            } else {
                // A press on a handle resizes (state 3), anywhere else in the region moves it (2).
                const auto grab = [&](bool onHandle) {
                    if (onHandle) {
                        touchState = 3;
                    } else {
                        setCursor(Qt::SizeAllCursor);
                        touchState = 2;
                    }
                    prevPos = p;
                    return onHandle;
                };
                if (type == kShapeRect) {
                    grab(s.rects[d][curRoi].PtInCtrl(p, &dragHandle));
                    drawRect.rect = s.rects[d][curRoi].rect;
                    touchMoved = true;
                } else if (type == kShapeCircle) {
                    if (grab(s.circles[d][curRoi].PtInCtrl(p, &dragHandle))) {
                        drawCircle.rect = s.circles[d][curRoi].rect;
                        drawCircle.UpdateAll();
                    }
                    touchMoved = true;
                } else if (type == kShapePolygon) {
                    grab(s.polygons[d][curRoi].PtInCtrl(p, &dragHandle));
                    polygonActive = true;
                }
            }
        } else if (PtInRect(p)) {
            setCursor(Qt::SizeAllCursor);
            SelectShape(d, curRoi, true);
            prevPos = p;
            curPoint = 0;
            touchState = 2;
            const int type = s.shapeType[d][curRoi];
            if (type == kShapeRect) {
                touchMoved = true;
                drawRect.rect = s.rects[d][curRoi].rect;
            } else if (type == kShapeCircle) {
                touchMoved = true;
                drawCircle.rect = s.circles[d][curRoi].rect;
                drawCircle.UpdateAll();
            } else if (type == kShapePolygon) {
                polygonActive = true;
            }
        }
        update();
    } else if (mode == kDrawRect || mode == kDrawCircle || mode == kDrawPolygon) {
        if (Continuation())
            DeselectROI();
        setCursor(Qt::CrossCursor);
        curPos = prevPos = p;
        if (mode == kDrawRect) {
            drawRect.rect.setTopLeft(p);
            touchState = 5;
            touchMoved = true;
        } else if (mode == kDrawCircle) {
            drawCircle.rect.setTopLeft(p);
            touchState = 5;
            touchMoved = true;
        } else if (polygonByDoubleClick) {
            const int last = RegionCount(d) - 1;
            if (last >= 0) {
                setCurRoi(last);
                SelectShape(d, last, true);
            }
            polygonByDoubleClick = false;
        } else {
            touchState = 1;
            if (!polygonActive) {
                polygonActive = true;
                if (Continuation() && !HandDraw()) {
                    if (DrawROIWidget* page = DrawROIWidget::instance())
                        page->startDrawPloygn();
                }
            }
            if (!HandDraw()) {
                if (drawPointCount >= kMaxDrawPoints) {
                    drawPointCount = kMaxDrawPoints - 1;
                    WarnOperator(LanStr(kTextPolygonLimit));
                } else {
                    drawPoints[drawPointCount++] = p;
                }
            }
        }
    }
    QWidget::mousePressEvent(event);
}

void CammerWidget::mouseMoveEvent(QMouseEvent* event)
{
    const int x = RoundUp(event->localPos().x());
    const int y = RoundUp(event->localPos().y());
    if (gpState && cameraIndex == gpState->viewCamera)
        MUpdateXYV(x, y);
    if (cameraIndex >= numCamera) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const bool leftHeld = event->buttons() & Qt::LeftButton;
    if (gSource != 0 || !storeB) {
        if (leftHeld)
            PanWindow(x, y);
        QWidget::mouseMoveEvent(event);
        return;
    }
    QPoint p = EditPoint(x, y);
    const int d = CurDetect();
    CammerSingleton& s = *storeB;
    const bool selected = GetSelectedRect();
    const int type = selected ? s.shapeType[d][curRoi] : 0;
    const int mode = DrawMode();
    if (touchMoved) {
        if (touchState == 3 && selected) {
            curPos = p;
            if (type == kShapeRect) {
                s.rects[d][curRoi].Resize(dragHandle, prevPos, curPos);
                CheckInRange(&s.rects[d][curRoi].rect, imageWidth, imageHeight, false);
            } else if (type == kShapeCircle) {
                Circle& c = s.circles[d][curRoi];
                c.Resize(dragHandle, prevPos, curPos);
                CheckInRange(&c.rect, imageWidth, imageHeight, false);
                c.UpdateAll();
            }
            prevPos = p;
            update();
        } else if (touchState == 5) {
            touchState = 1;
            if (mode == kDrawRect) {
                drawRect.rect.setBottomRight(p);
            } else if (mode == kDrawCircle) {
                drawCircle.rect.setBottomRight(p);
                drawCircle.UpdateAll();
            }
        } else if (touchState == 1) {
            update();
            ClampToCanvas(p);
            if (mode == kDrawRect) {
                drawRect.rect.setBottomRight(p);
            } else if (mode == kDrawCircle) {
                drawCircle.rect.setBottomRight(p);
                drawCircle.UpdateAll();
            }
            update();
        } else if (touchState == 2 && selected) {
            const float ax = std::abs(prevPos.x() - p.x()) / fullScaleX;
            const float ay = std::abs(prevPos.y() - p.y()) / fullScaleY;
            if (ax >= kMoveStepPixels || ay >= kMoveStepPixels) {
                curPos = p;
                const QPoint shift = p - prevPos;
                if (type == kShapeRect) {
                    QRect& r = s.rects[d][curRoi].rect;
                    r.translate(shift);
                    CheckInRange(&r, imageWidth, imageHeight, true);
                } else if (type == kShapeCircle) {
                    Circle& c = s.circles[d][curRoi];
                    c.rect.translate(shift);
                    CheckInRange(&c.rect, imageWidth, imageHeight, true);
                    c.UpdateAll();
                }
                prevPos = p;
                update();
            }
        }
    } else if (polygonActive) {
        if (touchState == 2 && pressed && selected && type == kShapePolygon) {
            const float ax = std::abs(prevPos.x() - p.x()) / fullScaleX;
            const float ay = std::abs(prevPos.y() - p.y()) / fullScaleY;
            if (ax >= kMoveStepPixels || ay >= kMoveStepPixels) {
                curPos = p;
                RePolygon& poly = s.polygons[d][curRoi];
                const QPoint shift = p - prevPos;
                if (PolygonFits(poly, shift)) {
                    for (int k = 0; k < poly.count; ++k) poly.points[k] += shift;
                    poly.setShowA(fullScaleX, fullScaleY);
                    poly.setImageRect();
                    prevPos = p;
                }
            }
            update();
        } else if (touchState == 3 && pressed && selected && type == kShapePolygon) {
            curPos = p;
            s.polygons[d][curRoi].Resize(dragHandle, prevPos, curPos, fullScaleX, fullScaleY);
            prevPos = p;
            update();
        } else if (touchState == 1) {
            if (HandDraw() && drawPointCount < kMaxDrawPoints - 1)
                drawPoints[drawPointCount++] = p;
            update();
        }
    } else {
        int handle = -1;
        if (selected && type == kShapeRect && s.rects[d][curRoi].PtInCtrl(p, &handle)) {
            dragHandle = handle;
            static const Qt::CursorShape kHandleCursor[8] = {
                Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor,
                Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor};
            setCursor(kHandleCursor[handle & 7]);
            update();
        } else if (selected && type == kShapeCircle && s.circles[d][curRoi].PtInCtrl(p, &handle)) {
            dragHandle = handle;
            static const Qt::CursorShape kHandleCursor[8] = {
                Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor,
                Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor};
            setCursor(kHandleCursor[handle & 7]);
            update();
        } else if (selected && type == kShapePolygon && s.polygons[d][curRoi].PtInCtrl(p, &handle)) {
            dragHandle = handle;
            setCursor(Qt::SizeFDiagCursor);
            update();
        } else if (PtInRectMove(p)) {
            setCursor(Qt::SizeAllCursor);
        } else {
            if (leftHeld)
                PanWindow(x, y);
            setCursor(Qt::ArrowCursor);
        }
    }
    QWidget::mouseMoveEvent(event);
}

void CammerWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (cameraIndex >= numCamera || gSource != 0 || !storeB) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int d = CurDetect();
    CammerSingleton& s = *storeB;
    const int mode = DrawMode();
    if (touchMoved) {
        if (touchState == 1) {
            const QRect shape = mode == kDrawRect ? drawRect.rect : drawCircle.rect;
            const bool accepted = (mode == kDrawRect || mode == kDrawCircle) &&
                                  shape.right() - shape.left() > kMinNewShape &&
                                  shape.bottom() - shape.top() > kMinNewShape;
            const int c = RegionCount(d);
            if (accepted && c >= kMaxRegions) {
                WarnOperator(LanStr(kTextAreaLimit));
                touchMoved = false;
            } else {
                if (accepted) {
                    if (curRoi >= 0 && curRoi < c)
                        SelectShape(d, curRoi, false);
                    if (mode == kDrawCircle) {
                        s.circles[d][c] = drawCircle;
                        s.shapeType[d][c] = kShapeCircle;
                    } else if (gpWPara && gpWPara->rectToQuad) {
                        const QRect& r = drawRect.rect;
                        const QPoint corners[4] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
                        s.polygons[d][c] = RePolygon(4, corners);
                        s.polygons[d][c].SetHand(false);
                        s.shapeType[d][c] = kShapePolygon;
                    } else {
                        s.rects[d][c] = drawRect;
                        s.shapeType[d][c] = kShapeRect;
                    }
                    RebuildMask(d, c);
                    SelectShape(d, c, true);
                    SetHint(d, c);
                    NewRegionFunction(d, c);
                    MarkNewRegion(d, c);
                    if (d == 0)
                        s.outN[c] = 0;
                    s.roiNum[d] = c + 1;
                    setCurRoi(c);
                }
                if (!Continuation() && gpState)
                    gpState->drawMode = 0;
                touchState = 0;
                touchMoved = false;
            }
        } else if (touchState == 5) {
            if (!Continuation() && gpState)
                gpState->drawMode = 0;
            touchState = 0;
            touchMoved = false;
        } else if (touchState == 2 || touchState == 3) {
            touchMoved = false;
        }
    }
    if (touchState == 2 || touchState == 3) {
        if (curRoi >= 0 && curRoi < RegionCount(d)) {
            RebuildMask(d, curRoi);
            SetHint(d, curRoi);
        }
        polygonActive = false;
        touchState = 0;
    } else if (touchState == 1 && polygonActive && HandDraw()) {
        if (drawPointCount > kFreehandDrop) {
            SavePolygon();
        } else {
            polygonActive = false;
            touchState = 0;
            if (!Continuation() && gpState)
                gpState->drawMode = 0;
            drawPointCount = 0;
            ShowHideROIPara();
            update();
        }
    }
    ShowHideROIPara();
    pressed = false;
    update();
    QWidget::mouseReleaseEvent(event);
}

void CammerWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    QWidget::mouseDoubleClickEvent(event);
}
