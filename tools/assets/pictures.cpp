// Painting of the monitor's pictures: a steel-grey panel look with one cyan accent, large
// shapes and strong contrast between states, readable on a touch panel at arm's length.
#include "pictures.h"

#include <cmath>

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

const QColor kAccentLight(0x4D, 0xD0, 0xE1);
const QColor kAccent(0x00, 0xBC, 0xD4);
const QColor kAccentDeep(0x00, 0x83, 0x8F);
const QColor kPanelTop(0x5A, 0x61, 0x69);
const QColor kPanelBottom(0x30, 0x35, 0x3B);
const QColor kSteelLight(0xF5, 0xF7, 0xF8);
const QColor kSteelMid(0xCF, 0xD8, 0xDC);
const QColor kSteelDark(0x90, 0xA4, 0xAE);
const QColor kSlate(0x37, 0x47, 0x4F);
const QColor kSlateDeep(0x26, 0x32, 0x38);
const QColor kGrooveTop(0x1E, 0x22, 0x26);
const QColor kGrooveBottom(0x46, 0x4C, 0x53);
const QColor kTick(0x2E, 0x9D, 0x3A);
const QColor kLampOn(0x00, 0xE6, 0x76);
const QColor kLampOff(0x1B, 0x33, 0x20);
const QColor kAlarm(0xD3, 0x2F, 0x2F);

QLinearGradient Vertical(const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// A rounded plate with a vertical gradient and a frame drawn inside the area.
void Plate(QPainter& p, const QRectF& area, qreal radius, const QColor& top, const QColor& bottom, const QColor& frame,
           qreal frameWidth)
{
    const qreal inset = frameWidth / 2;
    const QRectF r = area.adjusted(inset, inset, -inset, -inset);
    p.setPen(frameWidth > 0 ? QPen(frame, frameWidth) : Qt::NoPen);
    p.setBrush(Vertical(r, top, bottom));
    p.drawRoundedRect(r, radius, radius);
}

// A soft light on the upper half of a plate, so raised parts read as raised.
void Gloss(QPainter& p, const QRectF& area, qreal radius, int alpha)
{
    QRectF upper = area;
    upper.setHeight(area.height() / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(upper, QColor(255, 255, 255, alpha), QColor(255, 255, 255, 0)));
    p.drawRoundedRect(upper, radius, radius);
}

// A round button face: steel bezel around a slate dome.
void RoundButton(QPainter& p, const QRectF& area)
{
    const QPointF c = area.center();
    const qreal r = std::min(area.width(), area.height()) / 2 - 1;
    QLinearGradient bezel(c.x(), c.y() - r, c.x(), c.y() + r);
    bezel.setColorAt(0, kSteelLight);
    bezel.setColorAt(1, kSteelDark);
    p.setPen(QPen(kSlateDeep, 1.5));
    p.setBrush(bezel);
    p.drawEllipse(c, r, r);
    const qreal face = r * 0.86;
    QRadialGradient dome(c.x(), c.y() - face * 0.4, face * 1.4);
    dome.setColorAt(0, QColor(0x60, 0x7D, 0x8B));
    dome.setColorAt(1, kSlateDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(dome);
    p.drawEllipse(c, face, face);
}

QPen GlyphPen(qreal width, const QColor& color = Qt::white)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A filled triangle pointing along (dx, dy) around the centre, for arrows.
void Arrow(QPainter& p, const QPointF& c, qreal size, int dx, int dy, const QColor& color)
{
    const QPointF tip(c.x() + dx * size * 0.6, c.y() + dy * size * 0.6);
    const QPointF back(c.x() - dx * size * 0.45, c.y() - dy * size * 0.45);
    const QPointF side(-dy * size * 0.6, dx * size * 0.6);
    p.setPen(GlyphPen(size * 0.12, color));
    p.setBrush(color);
    p.drawPolygon(QPolygonF({tip, back + side, back - side}));
}

void Tick(QPainter& p, const QRectF& r, const QColor& color, qreal width)
{
    p.setPen(GlyphPen(width, color));
    p.setBrush(Qt::NoBrush);
    const QPointF pts[] = {{r.left() + r.width() * 0.18, r.top() + r.height() * 0.52},
                           {r.left() + r.width() * 0.42, r.top() + r.height() * 0.76},
                           {r.left() + r.width() * 0.82, r.top() + r.height() * 0.26}};
    p.drawPolyline(pts, 3);
}

// Dialog and page backdrop: brushed steel-grey, a little lighter at the top edge.
void PaintBackground(QPainter& p, const QRectF& r)
{
    p.fillRect(r, Vertical(r, kPanelTop, kPanelBottom));
    p.setPen(QPen(QColor(255, 255, 255, 10), 1));
    for (qreal y = r.top() + 2; y < r.bottom(); y += 4) p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 2), QColor(255, 255, 255, 40));
}

void PaintTitle(QPainter& p, const QRectF& r)
{
    p.fillRect(r, Vertical(r, kSlate, kSlateDeep));
    p.fillRect(QRectF(r.left(), r.bottom() - 3, r.width(), 3), kAccent);
}

void PaintLine(QPainter& p, const QRectF& r)
{
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, QColor(0, 0, 0, 0));
    g.setColorAt(0.5, kAccent);
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(r, g);
}

// The value field of the painted slider: a dark inset window for green digits.
void PaintEdit(QPainter& p, const QRectF& r)
{
    Plate(p, r, 6, kGrooveTop, QColor(0x35, 0x3B, 0x42), kSteelDark, 2);
}

// The slider's track: a dark groove.
void PaintSliderTrack(QPainter& p, const QRectF& r)
{
    Plate(p, r, std::min(r.width(), r.height()) * 0.25, kGrooveTop, kGrooveBottom, QColor(0x12, 0x14, 0x16), 1.5);
}

// The filled part of the track: the accent colour, lit from above.
void PaintSliderFill(QPainter& p, const QRectF& r)
{
    const qreal radius = std::min(r.width(), r.height()) * 0.25;
    Plate(p, r, radius, kAccentLight, kAccentDeep, kAccentDeep, 1);
    Gloss(p, r.adjusted(1, 1, -1, -1), radius, 90);
}

// The handle: a bright steel bar with grip grooves, visible on both the groove and the fill.
void PaintSliderHandle(QPainter& p, const QRectF& r)
{
    const QRectF body = r.adjusted(0.75, 0.75, -0.75, -0.75);
    QLinearGradient metal(body.topLeft(), body.topRight());
    metal.setColorAt(0, kSteelMid);
    metal.setColorAt(0.45, kSteelLight);
    metal.setColorAt(1, kSteelDark);
    p.setPen(QPen(kSlateDeep, 1.5));
    p.setBrush(metal);
    p.drawRoundedRect(body, 4, 4);
    p.setPen(QPen(QColor(0x45, 0x5A, 0x64), 1.5));
    const qreal cy = r.center().y();
    for (int i = -1; i <= 1; ++i)
        p.drawLine(QPointF(r.left() + r.width() * 0.28, cy + i * 5), QPointF(r.right() - r.width() * 0.28, cy + i * 5));
}

void PaintButtonUp(QPainter& p, const QRectF& r)
{
    Plate(p, r, 10, QColor(0x60, 0x7D, 0x8B), kSlate, kSlateDeep, 2);
    Gloss(p, r.adjusted(2, 2, -2, -2), 8, 60);
}

void PaintButtonDown(QPainter& p, const QRectF& r)
{
    Plate(p, r, 10, kSlateDeep, QColor(0x45, 0x5A, 0x64), kAccent, 2);
}

// A signal lamp in the upper part of its 70 x 80 cell; the strip writes the name below it.
void Lamp(QPainter& p, const QRectF& r, bool lit)
{
    const qreal radius = r.width() * 0.4;
    const QPointF c(r.center().x(), r.top() + radius + 4);
    if (lit) {
        QRadialGradient halo(c, radius + 4);
        halo.setColorAt(0.8, QColor(kLampOn.red(), kLampOn.green(), kLampOn.blue(), 120));
        halo.setColorAt(1, QColor(kLampOn.red(), kLampOn.green(), kLampOn.blue(), 0));
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(c, radius + 4, radius + 4);
    }
    QLinearGradient bezel(c.x(), c.y() - radius, c.x(), c.y() + radius);
    bezel.setColorAt(0, kSteelLight);
    bezel.setColorAt(1, kSlate);
    p.setPen(QPen(kSlateDeep, 1.5));
    p.setBrush(bezel);
    p.drawEllipse(c, radius, radius);
    const qreal glass = radius * 0.76;
    QRadialGradient light(c, glass);
    if (lit) {
        light.setColorAt(0, QColor(0xCC, 0xFF, 0xE0));
        light.setColorAt(0.5, kLampOn);
        light.setColorAt(1, QColor(0x1B, 0x7A, 0x3A));
    } else {
        light.setColorAt(0, QColor(0x2E, 0x4A, 0x33));
        light.setColorAt(1, kLampOff);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawEllipse(c, glass, glass);
    p.setBrush(QColor(255, 255, 255, lit ? 150 : 50));
    p.drawEllipse(QPointF(c.x() - glass * 0.35, c.y() - glass * 0.4), glass * 0.28, glass * 0.18);
}

// Image index 0 of the strip's lamps is drawn for a signal that is off.
void PaintLampOff(QPainter& p, const QRectF& r)
{
    Lamp(p, r, false);
}

void PaintLampOn(QPainter& p, const QRectF& r)
{
    Lamp(p, r, true);
}

void PaintOrigin(QPainter& p, const QRectF& r)
{
    RoundButton(p, r);
    const QPointF c = r.center();
    const qreal s = r.width() * 0.18;
    p.setPen(GlyphPen(r.width() * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, s, s);
    p.drawLine(QPointF(c.x() - 1.8 * s, c.y()), QPointF(c.x() + 1.8 * s, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 1.8 * s), QPointF(c.x(), c.y() + 1.8 * s));
}

void MoveButton(QPainter& p, const QRectF& r, int dx, int dy)
{
    RoundButton(p, r);
    Arrow(p, r.center(), r.width() * 0.4, dx, dy, Qt::white);
}

void PaintMoveUp(QPainter& p, const QRectF& r)
{
    MoveButton(p, r, 0, -1);
}

void PaintMoveDown(QPainter& p, const QRectF& r)
{
    MoveButton(p, r, 0, 1);
}

void PaintMoveLeft(QPainter& p, const QRectF& r)
{
    MoveButton(p, r, -1, 0);
}

void PaintMoveRight(QPainter& p, const QRectF& r)
{
    MoveButton(p, r, 1, 0);
}

void ScaleButton(QPainter& p, const QRectF& r, bool enlarge)
{
    RoundButton(p, r);
    const QPointF c = r.center();
    const qreal s = r.width() * 0.22;
    p.setPen(GlyphPen(r.width() * 0.1));
    p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() + s, c.y()));
    if (enlarge)
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + s));
}

void PaintEnlarge(QPainter& p, const QRectF& r)
{
    ScaleButton(p, r, true);
}

void PaintReduce(QPainter& p, const QRectF& r)
{
    ScaleButton(p, r, false);
}

// The monitor's mark: a camera lens watching the two halves of a mould, no lettering.
void PaintLogo(QPainter& p, const QRectF& r)
{
    Plate(p, r, 12, kSlate, kSlateDeep, kAccent, 2);
    const qreal h = r.height();
    const QPointF lens(r.left() + h * 0.55, r.center().y());
    const qreal outer = h * 0.34;
    p.setPen(QPen(kSteelLight, 3));
    p.setBrush(QColor(0x12, 0x16, 0x1A));
    p.drawEllipse(lens, outer, outer);
    QRadialGradient iris(lens, outer * 0.7);
    iris.setColorAt(0, kAccentLight);
    iris.setColorAt(1, kAccentDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(iris);
    p.drawEllipse(lens, outer * 0.62, outer * 0.62);
    p.setBrush(QColor(0x0A, 0x0C, 0x0E));
    p.drawEllipse(lens, outer * 0.26, outer * 0.26);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QPointF(lens.x() - outer * 0.25, lens.y() - outer * 0.3), outer * 0.12, outer * 0.12);

    const qreal left = r.left() + h * 1.1;
    const qreal halfWidth = (r.right() - left - h * 0.25) / 2 - 3;
    const QRectF moving(left, r.top() + h * 0.25, halfWidth, h * 0.5);
    const QRectF fixed(moving.right() + 6, moving.top(), halfWidth, h * 0.5);
    Plate(p, moving, 4, kSteelLight, kSteelDark, kSlateDeep, 1.5);
    Plate(p, fixed, 4, kSteelLight, kSteelDark, kSlateDeep, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    // The parting line, where the monitor looks.
    p.drawRect(QRectF(moving.right() + 1, moving.top() - h * 0.08, 4, moving.height() + h * 0.16));
}

// The kit's check box, checked: a green tick on the white field the style sheet provides.
void PaintCheck(QPainter& p, const QRectF& r)
{
    Tick(p, r, kTick, r.width() * 0.14);
}

void DialogCheckBox(QPainter& p, const QRectF& r, bool checked)
{
    const QRectF box = r.adjusted(2, 2, -2, -2);
    if (checked)
        Plate(p, box, 5, kAccentLight, kAccentDeep, Qt::white, 2);
    else
        Plate(p, box, 5, QColor(0x4A, 0x4F, 0x55), QColor(0x3A, 0x3F, 0x45), QColor(0xE0, 0xE0, 0xE0), 2);
    if (checked)
        Tick(p, box, Qt::white, r.width() * 0.12);
}

void PaintDialogUnchecked(QPainter& p, const QRectF& r)
{
    DialogCheckBox(p, r, false);
}

void PaintDialogChecked(QPainter& p, const QRectF& r)
{
    DialogCheckBox(p, r, true);
}

void StepButton(QPainter& p, const QRectF& r, int dx)
{
    const QRectF face = r.adjusted(3, 3, -3, -3);
    Plate(p, face, 10, QColor(0x60, 0x7D, 0x8B), kSlate, kSlateDeep, 2);
    Gloss(p, face.adjusted(2, 2, -2, -2), 8, 50);
    Arrow(p, r.center(), r.width() * 0.38, dx, 0, Qt::white);
}

void PaintLeft(QPainter& p, const QRectF& r)
{
    StepButton(p, r, -1);
}

void PaintRight(QPainter& p, const QRectF& r)
{
    StepButton(p, r, 1);
}

// Busy picture: twelve spokes fading round the circle.
void PaintWait(QPainter& p, const QRectF& r)
{
    constexpr int kSpokes = 12;
    const QPointF c = r.center();
    const qreal outer = r.width() * 0.44;
    const qreal inner = r.width() * 0.22;
    for (int i = 0; i < kSpokes; ++i) {
        const qreal angle = 2 * M_PI * i / kSpokes;
        QColor color = kAccent;
        color.setAlpha(40 + 215 * i / (kSpokes - 1));
        p.setPen(GlyphPen(r.width() * 0.08, color));
        p.drawLine(QPointF(c.x() + inner * std::sin(angle), c.y() - inner * std::cos(angle)),
                   QPointF(c.x() + outer * std::sin(angle), c.y() - outer * std::cos(angle)));
    }
}

// Fold button of the zoom slider: a chevron towards where the slider goes.
void FoldButton(QPainter& p, const QRectF& r, int dx)
{
    Plate(p, r, 5, kSlate, kSlateDeep, kSteelDark, 1.5);
    const QPointF c = r.center();
    const qreal s = r.width() * 0.22;
    p.setPen(GlyphPen(r.width() * 0.14, kAccentLight));
    p.setBrush(Qt::NoBrush);
    const QPointF pts[] = {{c.x() - dx * s, c.y() - 2 * s}, {c.x() + dx * s, c.y()}, {c.x() - dx * s, c.y() + 2 * s}};
    p.drawPolyline(pts, 3);
}

void PaintHide(QPainter& p, const QRectF& r)
{
    FoldButton(p, r, -1);
}

void PaintShow(QPainter& p, const QRectF& r)
{
    FoldButton(p, r, 1);
}

// Show/hide button of the teaching page's column: two chevrons pointing where the column
// goes, right (fold away) when unchecked and left (bring back) when checked.
void ColumnFold(QPainter& p, const QRectF& r, int dx)
{
    Plate(p, r, 8, kSlate, kSlateDeep, kSteelDark, 1.5);
    const qreal s = r.height() * 0.16;
    p.setPen(GlyphPen(r.height() * 0.08, kAccentLight));
    p.setBrush(Qt::NoBrush);
    for (const qreal x : {r.center().x() - 1.2 * s, r.center().x() + 1.2 * s}) {
        const QPointF pts[] = {
            {x - dx * s, r.center().y() - 2 * s}, {x + dx * s, r.center().y()}, {x - dx * s, r.center().y() + 2 * s}};
        p.drawPolyline(pts, 3);
    }
}

void PaintColumnFold(QPainter& p, const QRectF& r)
{
    ColumnFold(p, r, 1);
}

void PaintColumnUnfold(QPainter& p, const QRectF& r)
{
    ColumnFold(p, r, -1);
}

// Close button of the text panel: a white cross on a red disc.
void PaintError(QPainter& p, const QRectF& r)
{
    const QPointF c = r.center();
    const qreal radius = r.width() / 2 - 1;
    QRadialGradient disc(c.x(), c.y() - radius * 0.4, radius * 1.4);
    disc.setColorAt(0, QColor(0xEF, 0x53, 0x50));
    disc.setColorAt(1, QColor(0xB7, 0x1C, 0x1C));
    p.setPen(QPen(QColor(0x7F, 0x00, 0x00), 1.5));
    p.setBrush(disc);
    p.drawEllipse(c, radius, radius);
    const qreal s = radius * 0.42;
    p.setPen(GlyphPen(r.width() * 0.11));
    p.drawLine(QPointF(c.x() - s, c.y() - s), QPointF(c.x() + s, c.y() + s));
    p.drawLine(QPointF(c.x() + s, c.y() - s), QPointF(c.x() - s, c.y() + s));
}

// Help button: a question mark drawn as strokes, so no font is needed.
void PaintHelp(QPainter& p, const QRectF& r)
{
    const QPointF c = r.center();
    const qreal radius = r.width() / 2 - 1;
    QRadialGradient disc(c.x(), c.y() - radius * 0.4, radius * 1.4);
    disc.setColorAt(0, kAccentLight);
    disc.setColorAt(1, kAccentDeep);
    p.setPen(QPen(kSteelLight, 2));
    p.setBrush(disc);
    p.drawEllipse(c, radius, radius);

    const qreal s = r.width() / 70.0;
    const QRectF hook(c.x() - 11 * s, c.y() - 21 * s, 22 * s, 22 * s);
    QPainterPath mark;
    mark.arcMoveTo(hook, 160);
    mark.arcTo(hook, 160, -220);
    mark.lineTo(c.x(), c.y() + 6 * s);
    mark.lineTo(c.x(), c.y() + 10 * s);
    p.setPen(GlyphPen(6 * s));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(c.x(), c.y() + 19 * s), 3.8 * s, 3.8 * s);
}

// USB disk present: a stick with its plug upwards.
void PaintDisk(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    const QRectF plug(r.left() + w * 0.32, r.top() + w * 0.06, w * 0.36, w * 0.3);
    Plate(p, plug, 2, kSteelLight, kSteelDark, kSlateDeep, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kSlateDeep);
    p.drawRect(QRectF(plug.left() + w * 0.07, plug.top() + w * 0.08, w * 0.07, w * 0.07));
    p.drawRect(QRectF(plug.right() - w * 0.14, plug.top() + w * 0.08, w * 0.07, w * 0.07));
    const QRectF body(r.left() + w * 0.22, plug.bottom() - 1, w * 0.56, r.bottom() - plug.bottom() - 1);
    Plate(p, body, 6, kAccent, kAccentDeep, kSlateDeep, 1.5);
    p.setBrush(kLampOn);
    p.drawEllipse(QPointF(body.center().x(), body.bottom() - w * 0.14), w * 0.05, w * 0.05);
}

// Wireless card mark: a dot under three arcs opening upwards, in the accent colour.
void PaintWifi(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    const QPointF base(r.center().x(), r.bottom() - w * 0.18);
    p.setBrush(Qt::NoBrush);
    p.setPen(GlyphPen(w * 0.09, kAccentLight));
    for (int i = 1; i <= 3; ++i) {
        const qreal radius = w * 0.22 * i;
        p.drawArc(QRectF(base.x() - radius, base.y() - radius, 2 * radius, 2 * radius), 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentLight);
    p.drawEllipse(base, w * 0.08, w * 0.08);
}

// Edit button of a card row: a pencil slanting down to the left over a short line.
void PaintModify(QPainter& p, const QRectF& r)
{
    const qreal w = r.width();
    p.save();
    p.translate(r.center());
    p.rotate(45);
    const QRectF body(-w * 0.1, -w * 0.42, w * 0.2, w * 0.6);
    Plate(p, body, 1, kSteelLight, kSteelDark, kSlateDeep, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRect(QRectF(body.left() + 1, body.top() + 1, body.width() - 2, w * 0.1));
    QPainterPath tip;
    tip.moveTo(body.left(), body.bottom());
    tip.lineTo(body.right(), body.bottom());
    tip.lineTo(0, body.bottom() + w * 0.2);
    tip.closeSubpath();
    p.setBrush(QColor(0xFF, 0xCC, 0x80));
    p.drawPath(tip);
    p.setBrush(kSlateDeep);
    p.drawEllipse(QPointF(0, body.bottom() + w * 0.17), w * 0.03, w * 0.03);
    p.restore();
    p.setPen(GlyphPen(w * 0.06, kSteelLight));
    p.drawLine(QPointF(r.left() + w * 0.12, r.bottom() - w * 0.08), QPointF(r.left() + w * 0.5, r.bottom() - w * 0.08));
}

// Apply button of the peer link: a circular arrow, three quarters round with its head.
void PaintRotate(QPainter& p, const QRectF& r)
{
    const QPointF c = r.center();
    const qreal radius = std::min(r.width(), r.height()) * 0.34;
    const qreal pen = radius * 0.28;
    p.setPen(GlyphPen(pen, kSteelLight));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    p.drawArc(ring, 90 * 16, -280 * 16);
    // The head sits at the arc's start (the top), pointing along the turn.
    const QPointF top(c.x(), c.y() - radius);
    QPainterPath head;
    head.moveTo(top.x() - pen * 1.6, top.y() - pen * 1.5);
    head.lineTo(top.x() + pen * 1.4, top.y());
    head.lineTo(top.x() - pen * 1.6, top.y() + pen * 1.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kSteelLight);
    p.drawPath(head);
}

}  // namespace

const std::vector<Picture>& Pictures()
{
    // Sizes are the ones the screens draw them at, so most pictures show unscaled; the
    // stretched ones (backdrop, title, tracks, handle) are sized for their commonest use.
    static const std::vector<Picture> pictures = {
        // Loaded once at start-up.
        {"logo.bmp", {240, 96}, PaintLogo},
        {"background.png", {750, 370}, PaintBackground},
        {"title.png", {1024, 64}, PaintTitle},
        {"line.png", {1024, 4}, PaintLine},
        {"edit.png", {100, 54}, PaintEdit},
        {"slideru.png", {200, 38}, PaintSliderFill},
        {"sliderd.png", {216, 54}, PaintSliderTrack},
        {"slidert.png", {25, 54}, PaintSliderHandle},
        {"buttonu.png", {160, 60}, PaintButtonUp},
        {"buttond.png", {160, 60}, PaintButtonDown},
        {"OUT1.png", {70, 80}, PaintLampOff},
        {"OUT0.png", {70, 80}, PaintLampOn},
        {"Origin.png", {64, 64}, PaintOrigin},
        {"MoveUp.png", {64, 64}, PaintMoveUp},
        {"MoveDown.png", {64, 64}, PaintMoveDown},
        {"MoveLeft.png", {64, 64}, PaintMoveLeft},
        {"MoveRight.png", {64, 64}, PaintMoveRight},
        {"EnlargeScale.png", {64, 64}, PaintEnlarge},
        {"ReductionScale.png", {64, 64}, PaintReduce},
        // Loaded by the widgets and screens that show them.
        {"check.png", {32, 32}, PaintCheck},
        {"CheckBox1.png", {32, 32}, PaintDialogUnchecked},
        {"CheckBox2.png", {32, 32}, PaintDialogChecked},
        {"left.png", {60, 60}, PaintLeft},
        {"right.png", {60, 60}, PaintRight},
        {"wait.png", {64, 64}, PaintWait},
        {"hide.png", {25, 35}, PaintHide},
        {"show.png", {25, 35}, PaintShow},
        {"error.png", {40, 40}, PaintError},
        {"help.png", {70, 70}, PaintHelp},
        {"logo2.png", {240, 96}, PaintLogo},
        {"disk.png", {50, 50}, PaintDisk},
        {"ShowHide.png", {240, 76}, PaintColumnFold},
        {"ShowHideChecked.png", {240, 76}, PaintColumnUnfold},
        // The network settings dialog.
        {"wifi.png", {40, 40}, PaintWifi},
        {"modify.png", {40, 40}, PaintModify},
        {"Rotate.png", {60, 40}, PaintRotate},
    };
    return pictures;
}

QImage PaintPicture(const Picture& picture)
{
    QImage image(picture.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        picture.paint(painter, QRectF(QPointF(0, 0), QSizeF(picture.size)));
    }
    if (QString::fromLatin1(picture.file).endsWith(".bmp", Qt::CaseInsensitive)) {
        // No alpha in a bitmap file: flatten onto the backdrop colour rather than black.
        QImage flat(picture.size, QImage::Format_RGB32);
        flat.fill(kPanelBottom);
        QPainter(&flat).drawImage(0, 0, image);
        return flat;
    }
    return image;
}

QStringList WritePictures(const QString& dir)
{
    QStringList failed;
    for (const Picture& picture : Pictures()) {
        const QString path = QDir(dir).filePath(QString::fromLatin1(picture.file));
        if (!PaintPicture(picture).save(path))
            failed << path;
    }
    return failed;
}

QStringList WriteHelpPages(const QString& root)
{
    // Placeholders: one page per help step; page 6 is the alarm help that the teaching page
    // and the help viewer's alarm button open.
    constexpr int kPages = 7;
    constexpr int kAlarmPage = 6;
    const struct
    {
        const char* folder;
        const char* title;
        const char* alarm;
    } languages[] = {{"help", "帮助 第%1页", "报警帮助"}, {"help-en", "Help page %1", "Alarm help"}};
    QStringList failed;
    for (const auto& language : languages) {
        const QDir dir(QDir(root).filePath(QString::fromLatin1(language.folder)));
        QDir().mkpath(dir.path());
        for (int page = 0; page < kPages; ++page) {
            QImage image(1920, 1080, QImage::Format_RGB32);
            image.fill(QColor(24, 40, 64));
            QPainter painter(&image);
            painter.setPen(Qt::white);
            QFont font;
            font.setPixelSize(72);
            painter.setFont(font);
            const QString title = page == kAlarmPage ? QString::fromUtf8(language.alarm)
                                                     : QString::fromUtf8(language.title).arg(page + 1);
            painter.drawText(image.rect(), Qt::AlignCenter, title);
            painter.end();
            const QString path = dir.filePath(QStringLiteral("%1.png").arg(page, 2, 10, QLatin1Char('0')));
            if (!image.save(path))
                failed << path;
        }
    }
    return failed;
}
