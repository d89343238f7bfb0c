// CammerWidget painting: picture, judgement and ignore overlays, regions with labels, result, header, shape in drawing.
#include "cammerwidget.h"

#include <algorithm>
#include <cmath>

#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "cammersingleton.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "textfit.h"
#include "textids.h"
#include "wizardpara.h"

namespace {

constexpr char kFontFamily[] = "wqy-microhei";
constexpr quint32 kOverlayRed = 0xFFFF0000u;
constexpr quint32 kOverlayCyan = 0xFF00FFFFu;
const QColor kAreaColour("#E9967A");

constexpr int kBlinkShowIgnore = 2;
constexpr int kShortLabels = 11;  // from this many regions on, labels carry only the value
constexpr float kCountdownShown = 0.02f;
constexpr int kLegendWidth = 365;  // from the view's edge to the end of the legend's value, and a margin

QString DetectionName(int d)
{
    const int mode = LivePara().detectMode;
    if (TwoSidedMode(mode))
        return LanStr(kTextLeftProd + d);
    if (mode == kModeMulti)
        return LanStr(kTextFirst + d);
    return LanStr(kTextProd + d);
}

bool TimerRunning(const QTimer* t)
{
    return t && t->isActive();
}

// The image rectangle of region i, or an empty one for an unknown shape type.
QRect ImageRect(const CammerSingleton& s, int d, int i)
{
    QRect area;
    VisitShape(s, d, i, [&](const auto& shape) { area = shape.imageRect; });
    return area;
}

// Top-left of the region's display rectangle; the first vertex of a polygon.
QPoint Anchor(const CammerSingleton& s, int d, int i)
{
    QPoint anchor;
    VisitShape(s, d, i,
               ShapeCases{[&](const RePolygon& poly) { anchor = poly.points[0]; },
                          [&](const auto& shape) { anchor = shape.rect.topLeft(); }});
    return anchor;
}

unsigned Byte0(int v)
{
    return unsigned(v) & 0xFFu;
}

unsigned Byte1(int v)
{
    return (unsigned(v) >> 8) & 0xFFu;
}

unsigned Low16(int v)
{
    return unsigned(v) & 0xFFFFu;
}

unsigned High16(int v)
{
    return unsigned(v) >> 16;
}

// The parameter text of a region's label, by function and by whether the Template is shown.
QString ParamText(int f, int p1, int p2, int p3, bool templ)
{
    const WizardPara& w = LivePara();
    switch (f) {
        case 0:
            if (w.showAllParams)
                return templ ? QString("%1,%2,%3").arg(p1).arg(p2).arg(p3) : QString::number(p2);
            return templ ? QString("%1, %2, %3").arg(p1).arg(w.filterArea).arg(w.filterSize)
                         : QString::number(w.filterArea);
        case 1:
            return templ ? QString("%1--%2,%3--%4").arg(p1).arg(p2).arg(Byte0(p3)).arg(Byte1(p3))
                         : QString("%1--%2").arg(p1).arg(p2);
        case 4:
        case 5:
            return templ ? QString("%1, %2").arg(Byte0(p1)).arg(p2) : QString::number(p2);
        case 6:
            return QString::number(p1);
        case 7:
        case 8:
            return templ ? QString("%1,%2--%3,%4").arg(Byte0(p1)).arg(Low16(p2)).arg(High16(p2)).arg(p3)
                         : QString("%1--%2").arg(Low16(p2)).arg(High16(p2));
        case 9:
            return QString("%1, %2").arg(w.colorMinArea).arg(w.colorMaxArea);
        default:
            return QString::number(p2);
    }
}

// A filled square of side s centred on (x, y).
void DrawSizeSquare(QPainter& painter, int x, int y, int side, const QColor& colour)
{
    if (side <= 0)
        return;
    painter.fillRect(QRect(x - side / 2, y - side / 2, side, side), colour);
}

}  // namespace

void CammerWidget::ExpandOpaque()
{
    if (isColor) {
        ExpandToDisplay(curImage);
        return;
    }
    // Opaque greys: a picture grabbed from the view keeps its pixels.
    auto* rgb = reinterpret_cast<quint32*>(displayRgb);
    for (int i = 0; i < imagePixels; ++i) rgb[i] = 0xFF000000u | 0x010101u * curImage[i];
}

void CammerWidget::PaintOverlay(int d, int i, const unsigned char* mask, quint32 colour, const CammerSingleton& s)
{
    if (!mask)
        return;
    // Shapes clip their image rectangles, but a store filled elsewhere need not: the buffers
    // end at the picture.
    const QRect area = ImageRect(s, d, i).intersected(QRect(0, 0, imageWidth, imageHeight));
    if (area.isEmpty())
        return;
    auto* rgb = reinterpret_cast<quint32*>(displayRgb);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const size_t row = size_t(y) * imageWidth;
        for (int x = area.left(); x <= area.right(); ++x) {
            if (mask[row + x])
                rgb[row + x] = colour;
        }
    }
}

void CammerWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    QFont font(kFontFamily);
    font.setWeight(QFont::Normal);
    painter.setFont(font);
    if (!curImage || !displayRgb) {
        painter.fillRect(rect(), Qt::black);
        QWidget::paintEvent(event);
        return;
    }
    columnCover = DrawROIWidget::LeftCover(this);
    if (gSource == kSourceRecentNG)
        PaintRecentNg(painter, font);
    else if (gSource == kSourceOKRecord || gSource == kSourceNGRecord)
        PaintRecord(painter, font);
    else if (gSource >= kSourceDetecting && gSource <= kSourceLiveImage && cameraIndex < numCamera)
        PaintLive(painter, font);
}

void CammerWidget::ApplyPanZoom(QPainter& painter) const
{
    if (!gpState)
        return;
    painter.translate(gpState->zoomOffsetX, gpState->zoomOffsetY);
    painter.scale(gpState->zoomFactor, gpState->zoomFactor);
}

// The operator moves the teaching page's column to the left to see what the right of the
// picture holds: the view's own texts there (status, counters, legend, result) move right of
// it, each by the column's width on the screen, whatever scale and zoom the painter holds.
void CammerWidget::PastColumn(QPainter& painter) const
{
    if (columnCover > 0)
        painter.setWorldTransform(painter.worldTransform() * QTransform::fromTranslate(columnCover, 0));
}

// The legend stands in the bottom-left corner. A column on the left covers that corner, and
// right of the column the region panel's bottom row begins: the legend then takes the
// bottom-right corner, which the column left free.
void CammerWidget::LegendPastColumn(QPainter& painter) const
{
    if (columnCover > 0)
        painter.setWorldTransform(painter.worldTransform() * QTransform::fromTranslate(width() - kLegendWidth, 0));
}

void CammerWidget::PaintRecentNg(QPainter& painter, QFont& font)
{
    const int d = gpState ? std::clamp(gpState->curDetect, 0, kMaxDetections - 1) : 0;
    ExpandOpaque();
    painter.save();
    ApplyPanZoom(painter);
    painter.drawImage(rect(), displayImage);
    painter.restore();
    PastColumn(painter);

    QString status;
    QColor colour = Qt::green;
    if (pendingTemplate[d]) {
        colour = Qt::cyan;
        status = LanStr(kTextResampling);
    } else if (gpState && gpState->runState == kRunStopped) {
        colour = Qt::red;
        status = LanStr(kTextStopping);
    } else {
        status = LanStr(kTextDetecting);
    }
    font.setPixelSize(35);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPoint(5, 40), LanStr(kTextCamHeader).arg(cameraIndex + 1).arg(DetectionName(d)).arg(status));
    painter.setPen(Qt::green);
    painter.drawText(
        QPoint(700, 40),
        LanStr(kTextLately).arg(DetectionName(d)).arg(recentNgView + 1).arg(std::min(recentNgPos[d], kRecentNgCount)));
    painter.drawText(QPoint(5, 80), recentNgTime[d][std::clamp(recentNgView, 0, kRecentNgCount - 1)]);
}

void CammerWidget::PaintRecord(QPainter& painter, QFont& font)
{
    const DrawROIWidget* page = DrawROIWidget::instance();
    if (!page)
        return;
    if (page->recordCount > 0) {
        painter.save();
        ApplyPanZoom(painter);
        // A stored picture carries its stamps at its left edge ("NG", how the alarm was
        // cleared): with the column over the view's left edge it fits the rest of the view,
        // so that the column hides none of it.
        painter.drawImage(rect().adjusted(columnCover, 0, 0, 0), page->recordImage);
        painter.restore();
    }
    PastColumn(painter);
    const bool ok = gSource == kSourceOKRecord;
    const QString title = LanStr(ok ? kTextOkRecords : kTextNgRecords);
    const QString detection = DetectionName(gpState ? std::clamp(gpState->curDetect, 0, kMaxDetections - 1) : 0);
    font.setPixelSize(35);
    painter.setFont(font);
    painter.setPen(Qt::green);
    if (gLan == kLanJapanese) {
        // One line in Japanese. Its entry holds only the camera and the detection, so the
        // title and the counts follow it rather than fill places it does not have.
        painter.drawText(QPoint(5, 40), LanStr(kTextRecordHeader).arg(page->recordCamera + 1).arg(detection) +
                                            title.trimmed() +
                                            QString(" %1 / %2").arg(page->recordIndex + 1).arg(page->recordCount));
        painter.drawText(QPoint(655, 85), page->recordName);
        return;
    }
    painter.drawText(QPoint(5, 40), LanStr(kTextRecordHeader).arg(page->recordCamera + 1).arg(detection));
    painter.drawText(
        QPoint(705, 40),
        QString::fromUtf8("%1图片数 %2 / %3").arg(ok ? "OK" : "NG").arg(page->recordIndex + 1).arg(page->recordCount));
    painter.drawText(QPoint(1205, 40), page->recordName);
}

void CammerWidget::PaintLive(QPainter& painter, QFont& font)
{
    const bool templ = gSource == kSourceTemplate;
    const CammerSingleton* store = templ ? storeB : storeA;
    if (!store)
        return;
    const CammerSingleton& s = *store;
    const int d = std::clamp(gpState ? (templ ? gpState->curDetect : gpState->step) : 0, 0, kMaxDetections - 1);
    const int n = std::clamp(s.roiNum[d], 0, kMaxRegions);
    const int page = gpState ? gpState->pageState : kPageMain;
    const bool live = gSource == kSourceLiveImage;
    const bool current = gpState && cameraIndex == gpState->viewCamera;
    const WizardPara& w = LivePara();
    const bool selected = curRoi >= 0 && curRoi < n;

    // 1-4: picture and overlays, written into the display buffer.
    ExpandOpaque();
    const bool failShown =
        (page == kPageAlarm && live && blinkState == 1) || (!cameraOk && gpState && TimerRunning(gpState->showTimer));
    if (failShown) {
        for (int i = 0; i < n; ++i) {
            if (!ShownOk(s, d, i))
                PaintOverlay(d, i, displayMask, kOverlayRed, s);
        }
    }
    if (templ || (page == kPageAlarm && live && blinkState == kBlinkShowIgnore)) {
        for (int i = 0; i < n; ++i) PaintOverlay(d, i, ignoreMask[d], kOverlayCyan, s);
    }
    if (showTestMask && selected)
        PaintOverlay(d, curRoi, displayMask, kOverlayCyan, s);

    painter.save();
    if (current)
        ApplyPanZoom(painter);
    painter.drawImage(rect(), displayImage);

    // 6: the large result.
    const bool resultShown =
        page == kPageResult || (page == kPageMain && w.realtimeRoi && live) || (page == kPageAlarm && live);
    if (resultShown) {
        painter.save();
        painter.scale(winScaleX, winScaleY);
        PastColumn(painter);
        font.setPixelSize(100);
        painter.setFont(font);
        painter.setPen(cameraOk ? Qt::green : Qt::red);
        painter.drawText(QPoint(5, 200), cameraOk ? "OK" : "NG");
        painter.restore();
    }
    const bool regionsSkipped = (page == kPageMain && !w.realtimeRoi && !templ) ||
                                (page != kPageMain && page != kPageResult && !templ && !(page == kPageAlarm && live));
    QString selectedText;
    if (!regionsSkipped)
        PaintRegions(painter, font, s, d, n, selectedText);
    painter.restore();

    // 8: header, in display units.
    painter.save();
    painter.scale(winScaleX, winScaleY);
    PastColumn(painter);
    PaintHeader(painter, font, d, selectedText);
    painter.restore();

    // 9: the shape being drawn.
    if (touchState == 1 && gpState) {
        painter.save();
        if (current)
            ApplyPanZoom(painter);
        PaintDrawing(painter, font);
        painter.restore();
    }
}

void CammerWidget::PaintRegions(QPainter& painter, QFont& font, const CammerSingleton& s, int d, int n,
                                QString& selectedText)
{
    const bool templ = gSource == kSourceTemplate;
    const int page = gpState ? gpState->pageState : kPageMain;
    const WizardPara& w = LivePara();
    const bool selected = curRoi >= 0 && curRoi < n;
    font.setPixelSize(30);
    painter.setFont(font);
    const QColor basePen = page == kPageMain ? QColor(Qt::darkBlue) : painter.pen().color();
    painter.setPen(basePen);

    if (templ) {
        painter.save();
        LegendPastColumn(painter);
        const int h = height() - 1;
        const QString values[2] = {QString::number(w.filterSize), QString::number(w.filterArea)};
        const int names[2] = {kTextFilterSize, kTextArea};
        const QColor colours[2] = {Qt::blue, kAreaColour};
        const int tops[2] = {h - 89, h - 44};
        // The 30 px font's line is taller than a legend row of 30 px: the name keeps its size,
        // centred on the row as drawn there, its line passing the row's edges by a few pixels
        // (the rows are 15 px apart). Only a name too wide for the room before the swatch
        // ("filter Size :", "フィルタサイズ :") is made smaller.
        const int grow = std::max(0, QFontMetrics(painter.font()).height() - 30);
        for (int k = 0; k < 2; ++k) {
            painter.setPen(colours[k]);
            TextFit::Draw(painter, QRect(QPoint(10, tops[k] - grow / 2), QPoint(159, tops[k] + 29 + grow - grow / 2)),
                          Qt::AlignLeft | Qt::AlignVCenter, QString("%1 :").arg(LanStr(names[k])));
            painter.fillRect(QRect(QPoint(160, tops[k]), QPoint(189, tops[k] + 29)), colours[k]);
            if (!w.showAllParams)
                painter.drawText(QRect(QPoint(205, tops[k]), QPoint(354, tops[k] + 29)),
                                 Qt::AlignLeft | Qt::AlignVCenter, values[k]);
        }
        painter.restore();
    }

    const int mode = gpState ? gpState->drawMode : 0;
    const bool endHint = w.continuationArea && (mode == 1 || mode == 4 || (mode == 2 && gpState && gpState->handDraw));
    for (int i = 0; i < n; ++i) {
        const int f = s.func[d][i];
        if (f == kFuncPosition && !templ)
            continue;
        if (templ && selected && i != curRoi && moveMode != 2)
            continue;
        const QRect image = ImageRect(s, d, i);

        // Size squares, in display units under the pan and zoom only.
        if (templ && (!selected || i == curRoi)) {
            const int cx = (image.left() + image.right()) / 2;
            const int q = (image.right() - image.left()) / 4;
            const int xa = int(float(cx - q) * fullScaleX);
            const int xb = int(float(cx + q) * fullScaleX);
            const int cy = int(float((image.top() + image.bottom()) / 2) * fullScaleY);
            if (!w.showAllParams) {
                DrawSizeSquare(painter, xa, cy, w.filterSize, Qt::blue);
                DrawSizeSquare(painter, xb, cy, int(std::sqrt(double(w.filterArea))), kAreaColour);
            } else if (f == 0) {
                DrawSizeSquare(painter, xa, cy, s.para3[d][i], Qt::blue);
                DrawSizeSquare(painter, xb, cy, int(std::sqrt(double(std::max(s.para2[d][i], 0)))), kAreaColour);
            } else if (f == 7 || f == 8) {
                DrawSizeSquare(painter, xa, cy, 2 * s.para3[d][i] + 1, Qt::blue);
            }
        }
        if (endHint && i == curRoi) {
            const QPoint centre(int(float(image.left() + image.right()) / 2 * fullScaleX),
                                int(float(image.top() + image.bottom()) / 2 * fullScaleY));
            painter.setPen(Qt::green);
            const QFontMetrics metrics(painter.font());
            const QString end = QString::fromUtf8("双击结束");
            painter.drawText(centre - QPoint(metrics.horizontalAdvance(end) / 2, -metrics.ascent() / 2), end);
        }

        // Outline and label, in display units.
        painter.save();
        painter.scale(winScaleX, winScaleY);
        QColor pen = basePen;
        if (page != kPageMain)
            pen = (cameraOk || ShownOk(s, d, i)) ? Qt::green : Qt::red;
        if (f == kFuncIgnore)
            pen = Qt::yellow;
        painter.setPen(pen);
        VisitShape(
            s, d, i,
            ShapeCases{[&](const RePolygon& poly) {
                           poly.Draw(painter);
                           if (templ && i == curRoi && poly.IsSelected() && curPoint < poly.count) {
                               QPen marker(Qt::cyan);
                               marker.setWidth(2);
                               painter.setPen(marker);
                               const QPoint v = poly.points[curPoint];
                               painter.drawEllipse(QRect(QPoint(v.x() - 5, v.y() - 5), QPoint(v.x() + 4, v.y() + 4)));
                               painter.setPen(pen);
                           }
                       },
                       [&](const auto& shape) { shape.Draw(painter); }});
        const QString params = ParamText(f, s.para1[d][i], s.para2[d][i], s.para3[d][i], templ);
        const int value = ShownValue(s, d, i);
        const QString label = n < kShortLabels ? QString("%1: %2 / %3 ").arg(i + 1).arg(params).arg(value)
                                               : QString("%1: %2").arg(i + 1).arg(value);
        if (templ && selected) {
            if (i == curRoi)
                selectedText = label;
        } else {
            const QPoint a = Anchor(s, d, i);
            const QRect box = templ ? QRect(QPoint(a.x(), a.y() - 29), QPoint(a.x() + 399, a.y() - 5))
                                    : QRect(QPoint(a.x(), a.y() - 26), QPoint(a.x() + 399, a.y() - 2));
            painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, label);
        }
        painter.restore();
    }
}

void CammerWidget::PaintHeader(QPainter& painter, QFont& font, int d, const QString& selectedText)
{
    const bool templ = gSource == kSourceTemplate;
    QString status;
    QColor colour = Qt::green;
    if (pendingTemplate[d]) {
        colour = Qt::cyan;
        status = LanStr(kTextResampling);
    } else if (gpState && gpState->runState == kRunStopped) {
        colour = Qt::red;
        status = LanStr(kTextStopping);
        if (gisTempAlarm)
            status += QString::fromUtf8("   温度报警");
    } else if (gpState && gpState->reCheckPending) {
        // The cycle counts the re-checks still to come.
        status = QString::fromUtf8("%1次重检中").arg(gpState->reCheckCount[d]);
    } else if (gpState) {
        const int phases[4] = {0, kTextDetecting, kTextDetected, kTextWaiting};
        const int phase = gpState->cyclePhase;
        if (phase >= 1 && phase <= 3)
            status = LanStr(phases[phase]);
    }
    font.setPixelSize(35);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPoint(5, 40), LanStr(kTextCamHeader).arg(cameraIndex + 1).arg(DetectionName(d)).arg(status));

    if (gpState) {
        for (int k = 0; k < std::clamp(gDNum, 0, kMaxDetections); ++k) {
            if (!TimerRunning(gpState->upTimers[k]))
                continue;
            if (gpState->countdown[k] > kCountdownShown) {
                font.setPixelSize(45);
                painter.setFont(font);
                painter.drawText(QPoint(5, 90), QString::number(double(gpState->countdown[k]), 'g', 3));
            }
            break;
        }
    }

    font.setPixelSize(35);
    painter.setFont(font);
    painter.setPen(Qt::green);
    if (templ) {
        painter.drawText(QPoint(850, 40),
                         LanStr(kTextTemplates).arg(curTempIndex + 1).arg(templateCount[d]).arg(selectedText));
        const bool current = gpState && cameraIndex == gpState->viewCamera;
        if (current && gpState->pageState != kPageResult && gisColor) {
            const unsigned v = unsigned(gpState->pixelValue);
            painter.drawText(QPoint(800, 80),
                             QString::fromUtf8("颜色：") +
                                 QString("%1, %2, %3").arg((v >> 16) & 0xFFu).arg((v >> 8) & 0xFFu).arg(v & 0xFFu));
        }
        painter.drawText(QPoint(5, 80), gTempTime);
    } else {
        const int c = std::clamp(cameraIndex, 0, kMaxDetections - 1);
        painter.drawText(QPoint(750, 40), LanStr(kTextCounters).arg(gFailCycleNum[c]).arg(gAllCycleNum[c]).arg(fps));
    }
}

void CammerWidget::PaintDrawing(QPainter& painter, QFont& font)
{
    const int mode = gpState->drawMode;
    QPen pen(Qt::green);
    if (mode == 2) {
        pen.setWidth(2);
        painter.setPen(pen);
        if (drawPointCount <= 0)
            return;
        const int count = std::min(drawPointCount, kMaxDrawPoints);
        const bool continuation = LivePara().continuationArea != 0;
        if (continuation && count > 2 && !gpState->handDraw) {
            font.setPixelSize(30);
            painter.setFont(font);
            const QFontMetrics metrics(painter.font());
            const QString end = QString::fromUtf8("双击结束");
            painter.drawText(getPointsCenter() - QPoint(metrics.horizontalAdvance(end) / 2, -metrics.ascent() / 2),
                             end);
        }
        if (continuation) {
            pen.setColor(Qt::magenta);
            painter.setPen(pen);
        }
        painter.drawPolygon(drawPoints, count, Qt::OddEvenFill);
        QPen first(Qt::cyan);
        first.setWidth(2);
        painter.setPen(first);
        const QPoint v = drawPoints[0];
        painter.drawEllipse(QRect(QPoint(v.x() - 5, v.y() - 5), QPoint(v.x() + 4, v.y() + 4)));
    } else if (mode == 4) {
        painter.setPen(pen);
        drawCircle.Draw(painter);
    } else if (mode == 1) {
        painter.setPen(pen);
        drawRect.Draw(painter);
    }
}
