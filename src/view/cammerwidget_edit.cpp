// CammerWidget region operations: picking, cycling, fine steps, moves, polygons, copies, deletion, pixel readout.
#include "cammerwidget.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <vector>

#include "cammersingleton.h"
#include "colorbutton.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "miscfunc.h"
#include "operatorprompts.h"
#include "roiparampanel.h"
#include "textids.h"
#include "wizardpara.h"

namespace {

constexpr int kLabelRise = 26;  // the label of a region stands this far above its first point
constexpr int kEdgeMargin = 3;  // moved polygon vertices keep this far from the view's edges

// First function a new first region gets, by the switches in this order; else function 0.
const int kFirstFuncOrder[] = {1, 4, 5, 6, 7, 8, 9};

int CurDetect()
{
    return gpState ? std::clamp(gpState->curDetect, 0, kMaxDetections - 1) : 0;
}

}  // namespace

// ---- helpers shared by editing and drawing ----

bool CammerWidget::PolygonFits(const RePolygon& poly, QPoint shift) const
{
    for (int k = 0; k < poly.count; ++k) {
        const QPoint q = poly.points[k] + shift;
        if (q.x() < kEdgeMargin || q.y() < kEdgeMargin || q.x() >= width() - kEdgeMargin ||
            q.y() >= height() - kEdgeMargin)
            return false;
    }
    return true;
}

void CammerWidget::RebuildMask(int d, int i)
{
    VisitShape(*storeB, d, i, [&](auto& shape) {
        shape.setShowA(fullScaleX, fullScaleY);
        shape.setImageRect();
        editMasks[d][i] = shape.UpdateMask();
    });
}

void CammerWidget::SetHint(int d, int i)
{
    QPoint first;
    const bool known = VisitShape(*storeB, d, i,
                                  ShapeCases{[&](const RePolygon& poly) { first = poly.points[0]; },
                                             [&](const auto& shape) { first = shape.rect.topLeft(); }});
    if (!known)
        return;
    hintX = first.x();
    hintY = first.y() - kLabelRise;
}

bool CammerWidget::HitRegion(int d, int i, QPoint p)
{
    bool hit = false;
    VisitShape(*storeB, d, i, [&](auto& shape) {
        int handle = -1;
        hit = shape.Contains(p) || shape.PtInCtrl(p, &handle);
    });
    return hit;
}

void CammerWidget::SelectShape(int d, int i, bool on)
{
    VisitShape(*storeB, d, i, [on](auto& shape) { shape.SetSelected(on); });
}

int CammerWidget::RegionCount(int d) const
{
    return storeB ? std::clamp(storeB->roiNum[d], 0, kMaxRegions) : 0;
}

void CammerWidget::NewRegionFunction(int d, int c)
{
    CammerSingleton& s = *storeB;
    if (c > 0) {
        s.func[d][c] = s.func[d][c - 1];
        s.para1[d][c] = s.para1[d][c - 1];
        s.para2[d][c] = s.para2[d][c - 1];
        s.para3[d][c] = s.para3[d][c - 1];
        return;
    }
    int f = 0;
    for (int candidate : kFirstFuncOrder) {
        if (gpWPara && FuncEnabled(*gpWPara, candidate)) {
            f = candidate;
            break;
        }
    }
    int p1 = 0, p2 = 0, p3 = 0;
    GetFuncInitParam(f, p1, p2, p3);
    s.func[d][c] = f;
    s.para1[d][c] = p1;
    s.para2[d][c] = p2;
    s.para3[d][c] = p3;
}

void CammerWidget::ShowHideROIPara()
{
    if (panel)
        panel->ShowHideROIPara();
}

// ---- labels of the edit store ----

void CammerWidget::ResetEditLabels()
{
    for (auto& detection : editLabels) {
        for (int i = 0; i < kMaxRegions; ++i) detection[i] = {i, -1};
    }
}

void CammerWidget::MarkNewRegion(int d, int i)
{
    if (d >= 0 && d < kMaxDetections && i >= 0 && i < kMaxRegions)
        editLabels[d][i] = {-1, -1};
}

bool CammerWidget::ShownOk(const CammerSingleton& s, int d, int i) const
{
    if (&s != storeB)
        return roiOk[d][i];
    const int origin = editLabels[d][i].origin;
    return origin < 0 || origin >= kMaxRegions || roiOk[d][origin];
}

int CammerWidget::ShownValue(const CammerSingleton& s, int d, int i) const
{
    if (&s != storeB)
        return roiValue[d][i];
    const EditLabel& label = editLabels[d][i];
    if (label.preview >= 0)
        return label.preview;
    return label.origin >= 0 && label.origin < kMaxRegions ? roiValue[d][label.origin] : 0;
}

void CammerWidget::FollowEditLabels()
{
    for (int d = 0; d < kMaxDetections; ++d) {
        const int n = storeA ? std::clamp(storeA->roiNum[d], 0, kMaxRegions) : 0;
        bool same = true;
        for (int k = 0; k < n && same; ++k) same = editLabels[d][k].origin == k;
        if (same)
            continue;
        // Verdict, value and blobs move together, so that a region's flag always meets its own
        // blobs; a region without an origin was not judged and passes until the next judgement.
        std::vector<bool> ok(static_cast<size_t>(n), true);
        std::vector<int> value(static_cast<size_t>(n), 0);
        std::vector<std::array<std::array<int, 4>, kMaxRoiBoxes>> boxes(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            const int origin = editLabels[d][k].origin;
            if (origin < 0 || origin >= kMaxRegions) {
                boxes[k][0][0] = 0;
                continue;
            }
            ok[k] = roiOk[d][origin];
            value[k] = roiValue[d][origin];
            std::memcpy(boxes[k].data(), roiBoxes[d][origin], sizeof(roiBoxes[d][origin]));
        }
        for (int k = 0; k < n; ++k) {
            roiOk[d][k] = ok[k];
            roiValue[d][k] = value[k];
            std::memcpy(roiBoxes[d][k], boxes[k].data(), sizeof(roiBoxes[d][k]));
        }
    }
    ResetEditLabels();
}

// ---- picking ----

bool CammerWidget::PtInRegion(QPoint p)
{
    const int d = CurDetect();
    if (!storeB || curRoi < 0 || curRoi >= RegionCount(d))
        return false;
    return HitRegion(d, curRoi, p);
}

bool CammerWidget::PtInRect(QPoint p)
{
    const int d = CurDetect();
    const int n = RegionCount(d);
    const int start = curRoi >= 0 && curRoi < n ? curRoi : 0;
    for (int k = 0; k < n; ++k) {
        const int j = (start + k) % n;
        if (HitRegion(d, j, p)) {
            setCurRoi(j);
            SetHint(d, j);
            touchPoint = p;
            return true;
        }
    }
    return false;
}

bool CammerWidget::PtInRectMove(QPoint p)
{
    const int d = CurDetect();
    for (int i = 0; i < RegionCount(d); ++i) {
        if (HitRegion(d, i, p))
            return true;
    }
    return false;
}

bool CammerWidget::GetSelectedRect()
{
    const int d = CurDetect();
    const CammerSingleton* s = storeB;
    for (int i = 0; i < RegionCount(d); ++i) {
        const int type = s->shapeType[d][i];
        const bool selected = (type == kShapeRect && s->rects[d][i].IsSelected()) ||
                              (type == kShapeCircle && s->circles[d][i].IsSelected()) ||
                              (type == kShapePolygon && s->polygons[d][i].IsSelected());
        if (selected) {
            setCurRoi(i);
            return true;
        }
    }
    return false;
}

void CammerWidget::SlotNextROI()
{
    const int d = CurDetect();
    const int n = RegionCount(d);
    for (int k = 0; k < n; ++k) {
        const int j = (curRoi + 1 + k) % n;
        if (j < 0 || !HitRegion(d, j, touchPoint))
            continue;
        DeselectROI();
        setCurRoi(j);
        SetHint(d, j);
        SelectShape(d, j, true);
        ShowHideROIPara();
        update();
        return;
    }
}

// ---- fine adjustment ----

void CammerWidget::SlotChangeObject()
{
    const int d = CurDetect();
    if (curRoi < 0 || curRoi >= RegionCount(d))
        return;
    // The points fine adjustment steps through: two corners; inner rim, rim and centre; the vertices.
    int points = 0;
    VisitShape(*storeB, d, curRoi,
               ShapeCases{[&](const ClustomRect&) { points = 2; }, [&](const Circle&) { points = 3; },
                          [&](const RePolygon& poly) { points = poly.count; }});
    curPoint = curPoint + 1 >= points ? 0 : curPoint + 1;
    ShowHideROIPara();
    update();
}

void CammerWidget::SlotAdd10()
{
    SlotSize(0);
}

void CammerWidget::SlotAdd1()
{
    SlotSize(1);
}

void CammerWidget::SlotSub1()
{
    SlotSize(2);
}

void CammerWidget::SlotSub10()
{
    SlotSize(3);
}

void CammerWidget::SlotSize(int step)
{
    const int d = CurDetect();
    if (step < 0 || step > 3 || curRoi < 0 || curRoi >= RegionCount(d))
        return;
    // Steps 0..3 move a point up, left, down, right, or change a radius by +10, +1, -1, -10.
    static const QPoint kPointStep[4] = {{0, -1}, {-1, 0}, {0, 1}, {1, 0}};
    static const int kRadiusStep[4] = {10, 1, -1, -10};
    CammerSingleton& s = *storeB;
    const QPoint delta = kPointStep[step];
    bool moved = false;
    VisitShape(s, d, curRoi,
               ShapeCases{[&](ClustomRect& rect) {
                              QRect& r = rect.rect;
                              if (curPoint == 0)
                                  r.setTopLeft(r.topLeft() + delta);
                              else
                                  r.setBottomRight(r.bottomRight() + delta);
                              CheckInRange(&r, imageWidth, imageHeight, false);
                              moved = true;
                          },
                          [&](Circle& c) {
                              if (curPoint == 2) {
                                  c.cx += delta.x();
                                  c.cy += delta.y();
                              } else if (curPoint == 1) {
                                  c.r += kRadiusStep[step];
                              } else {
                                  c.innerR += kRadiusStep[step];
                              }
                              c.UpdateRect();
                              CheckInRange(&c.rect, imageWidth, imageHeight, false);
                              c.UpdateAll();
                              moved = true;
                          },
                          [&](RePolygon& poly) {
                              if (curPoint >= poly.count)
                                  return;
                              int x = poly.points[curPoint].x() + delta.x();
                              int y = poly.points[curPoint].y() + delta.y();
                              CheckInRange(&x, 1, 0, 0);
                              CheckInRange(&y, 0, 0, 0);
                              poly.points[curPoint] = QPoint(x, y);
                              moved = true;
                          }});
    if (!moved)
        return;
    RebuildMask(d, curRoi);
    SetHint(d, curRoi);
    update();
}

// ---- moves ----

void CammerWidget::SlotMoveT()
{
    SlotMove(0, -1);
}

void CammerWidget::SlotMoveB()
{
    SlotMove(0, 1);
}

void CammerWidget::SlotMoveL()
{
    SlotMove(-1, 0);
}

void CammerWidget::SlotMoveR()
{
    SlotMove(1, 0);
}

void CammerWidget::SlotMove(int dx, int dy)
{
    const int d = CurDetect();
    const int n = RegionCount(d);
    int first = curRoi, last = curRoi;
    if (moveMode == 2) {
        first = 0;
        last = n - 1;
    } else if (curRoi < 0 || curRoi >= n) {
        return;
    }
    CammerSingleton& s = *storeB;
    // A polygon that cannot follow stops the move before anything moves: the regions of a
    // detection keep their places relative to each other.
    for (int i = first; i <= last; ++i) {
        if (s.shapeType[d][i] != kShapePolygon)
            continue;
        if (!PolygonFits(s.polygons[d][i], QPoint(dx, dy)))
            return;
    }
    const auto move = ShapeCases{[&](RePolygon& poly) {
                                     for (int k = 0; k < poly.count; ++k) poly.points[k] += QPoint(dx, dy);
                                 },
                                 [&](Circle& c) {
                                     c.rect.translate(dx, dy);
                                     CheckInRange(&c.rect, imageWidth, imageHeight, true);
                                     c.UpdateAll();
                                 },
                                 [&](ClustomRect& r) {
                                     r.rect.translate(dx, dy);
                                     CheckInRange(&r.rect, imageWidth, imageHeight, true);
                                 }};
    for (int i = first; i <= last; ++i) {
        if (!VisitShape(s, d, i, move))
            continue;
        RebuildMask(d, i);
        SetHint(d, i);
    }
    ShowHideROIPara();
    update();
}

void CammerWidget::SlotMoveAll()
{
    if (curRoi >= 0) {
        moveMode = (moveMode + 1) % 3;
        const int texts[3] = {kTextHideSet, kTextAllMove, kTextSingleMove};
        if (panel)
            panel->buttonMoveAll->setText(LanStr(texts[moveMode]));
    }
    ShowHideROIPara();
}

// ---- new regions ----

void CammerWidget::SavePolygon()
{
    if (touchState != 1 || !gpState || gpState->drawMode != 2 || !storeB)
        return;
    const int d = CurDetect();
    CammerSingleton& s = *storeB;
    const int n = RegionCount(d);
    if (n >= kMaxRegions) {
        WarnOperator(LanStr(kTextAreaLimit));
        return;
    }
    if (drawPointCount <= 2) {
        drawPointCount = 0;
        return;
    }
    drawPointCount = std::min(drawPointCount, kMaxDrawPoints - 1);
    if (curRoi >= 0 && curRoi < n)
        SelectShape(d, curRoi, false);
    RePolygon& poly = s.polygons[d][n];
    poly = RePolygon(drawPointCount, drawPoints);
    s.shapeType[d][n] = kShapePolygon;
    RebuildMask(d, n);
    poly.SetSelected(true);
    poly.SetHand(gpState->handDraw);
    NewRegionFunction(d, n);
    if (d == 0)
        s.outN[n] = 0;
    MarkNewRegion(d, n);
    s.roiNum[d] = n + 1;
    setCurRoi(n);
    SetHint(d, n);
    touchState = 0;
    polygonActive = false;
    if (!(gpWPara && gpWPara->continuationArea) || !gpState->handDraw)
        gpState->drawMode = 0;
    drawPointCount = 0;
    ShowHideROIPara();
    update();
}

void CammerWidget::SlotCopyArea(QPoint p)
{
    const int d = CurDetect();
    const int n = RegionCount(d);
    if (n == 0 || !storeB)
        return;
    if (!AskOperator(LanStr(kTextCopyAsk)))
        return;
    if (n >= kMaxRegions) {
        WarnOperator(LanStr(kTextAreaLimit));
        return;
    }
    if (curRoi < 0 || curRoi >= n)
        setCurRoi(lastRoi >= 0 && lastRoi < n ? lastRoi : n - 1);
    const int from = curRoi;
    CammerSingleton& s = *storeB;
    const int type = s.shapeType[d][from];
    if (!VisitShapeArrays(s, type, [&](auto& shapes) { shapes[d][n] = shapes[d][from]; }))
        return;
    s.shapeType[d][n] = type;
    // The copy's first vertex, or its centre, goes to the pressed point.
    auto centreOn = [&](QRect& rect) {
        const QPoint centre((rect.left() + rect.right()) / 2, (rect.top() + rect.bottom()) / 2);
        rect.translate(p - centre);
        CheckInRange(&rect, imageWidth, imageHeight, true);
    };
    VisitShape(s, d, n,
               ShapeCases{[&](RePolygon& copy) {
                              const QPoint shift = p - copy.points[0];
                              for (int k = 0; k < copy.count; ++k) {
                                  int x = copy.points[k].x() + shift.x();
                                  int y = copy.points[k].y() + shift.y();
                                  CheckInRange(&x, 1, 0, 0);
                                  CheckInRange(&y, 0, 0, 0);
                                  copy.points[k] = QPoint(x, y);
                              }
                          },
                          [&](Circle& copy) {
                              centreOn(copy.rect);
                              copy.UpdateAll();
                          },
                          [&](ClustomRect& copy) { centreOn(copy.rect); }});
    SelectShape(d, n, true);
    SelectShape(d, from, false);
    RebuildMask(d, n);
    s.func[d][n] = s.func[d][from];
    s.para1[d][n] = s.para1[d][from];
    s.para2[d][n] = s.para2[d][from];
    s.para3[d][n] = s.para3[d][from];
    if (d == 0)
        s.outN[n] = s.outN[from];
    MarkNewRegion(d, n);
    s.roiNum[d] = n + 1;
    setCurRoi(n);
    ShowHideROIPara();
    update();
}

// ---- deletion ----

void CammerWidget::DeleteROI(int i)
{
    const int d = CurDetect();
    const int n = RegionCount(d);
    // An index past the regions names no rectangle: its stale shape must not clear ignore points.
    if (!storeB || i < 0 || i >= n)
        return;
    CammerSingleton& s = *storeB;
    QRect area;
    VisitShape(s, d, i, [&](const auto& shape) { area = shape.imageRect; });
    area = area.intersected(QRect(0, 0, imageWidth, imageHeight));
    if (ignoreMask[d] && !area.isEmpty()) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memset(ignoreMask[d] + size_t(y) * imageWidth + area.left(), 0, size_t(area.width()));
        SaveIgnorePoint(d);
    }
    for (int k = i; k + 1 < n; ++k) {
        VisitShapeArrays(s, s.shapeType[d][k + 1], [&](auto& shapes) { shapes[d][k] = shapes[d][k + 1]; });
        editMasks[d][k] = editMasks[d][k + 1];
        s.shapeType[d][k] = s.shapeType[d][k + 1];
        s.func[d][k] = s.func[d][k + 1];
        s.para1[d][k] = s.para1[d][k + 1];
        s.para2[d][k] = s.para2[d][k + 1];
        s.para3[d][k] = s.para3[d][k + 1];
        if (d == 0)
            s.outN[k] = s.outN[k + 1];
        // The judgement stays with the working store's numbering until the commit: only the
        // label of what a region stands for moves with it.
        editLabels[d][k] = editLabels[d][k + 1];
    }
    s.roiNum[d] = n - 1;
}

// ---- readouts ----

void CammerWidget::MUpdateXYV(int x, int y)
{
    if (!gpState)
        return;
    const float zoom = float(gpState->zoomFactor);
    const int ix = int((float(x) - float(gpState->zoomOffsetX)) * float(imageWidth) / (float(gShowW) * zoom));
    const int iy = int((float(y) - float(gpState->zoomOffsetY)) * float(imageHeight) / (float(gShowH) * zoom));
    gpState->pixelX = ix;
    gpState->pixelY = iy;
    if (!curImage || ix < 0 || ix >= imageWidth || iy < 0 || iy >= imageHeight)
        return;
    const size_t at = size_t(iy) * imageWidth + ix;
    if (isColor) {
        quint32 word = 0;
        std::memcpy(&word, curImage + at * 4, sizeof word);
        gpState->pixelValue = int(word);
    } else {
        gpState->pixelValue = curImage[at];
    }
}

QPoint CammerWidget::getPointsCenter()
{
    if (drawPointCount <= 0)
        return QPoint(499999, 499999);
    int minX = 999999, minY = 999999, maxX = 0, maxY = 0;
    for (int k = 0; k < std::min(drawPointCount, kMaxDrawPoints); ++k) {
        minX = std::min(minX, drawPoints[k].x());
        maxX = std::max(maxX, drawPoints[k].x());
        minY = std::min(minY, drawPoints[k].y());
        maxY = std::max(maxY, drawPoints[k].y());
    }
    return QPoint((minX + maxX) / 2, (minY + maxY) / 2);
}
