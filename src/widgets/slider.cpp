// Painted integer slider of the parameter panel.
#include "slider.h"

#include <climits>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "edit.h"
#include "globals.h"
#include "textfit.h"

namespace {

// Horizontal layout of the painted parts.
constexpr int kNameWidth = 120;
constexpr int kFieldX = 135;
constexpr int kFieldWidth = 100;
constexpr int kSubButtonX = 240;
constexpr int kTrackX = 315;
constexpr int kTrackReserve = 395;  // everything on the row but the track
constexpr double kStartMarginShare = 0.03;
constexpr double kTravelShare = 0.93;
constexpr int kInset = 3;
constexpr int kFillInset = 11;
constexpr int kHandleWidth = 10;
// A finger is wider than the handle: grab within this band around it.
constexpr int kGrabLeft = 20;
constexpr int kGrabRight = 19;
// The release area that opens the keypad for the value.
constexpr int kFieldTapFirstX = 135;
constexpr int kFieldTapLastX = 214;

constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 41;
constexpr int kButtonSizeClass = 3;
constexpr int kButtonCentreFix = 28;
constexpr int kButtonLift = 6;

constexpr int kEditType = Edit::kNumericPad | Edit::kInGrandparent;  // shown in the grandparent
constexpr int kEditStyle = 1;
constexpr int kEditHeight = 60;

constexpr int kNamePixelSize = 30;

void drawPicture(QPainter& painter, const QRect& target, const QPixmap* picture)
{
    if (picture)
        painter.drawPixmap(target, *picture);
}

}  // namespace

Slider::Slider(int min, int max, int pageStep, int value, QWidget* parent, const QString& name)
    : QAbstractSlider(parent)
{
    setOrientation(Qt::Horizontal);
    setObjectName(name);
    setMinimum(min);
    setMaximum(max);
    setPageStep(pageStep);
    setValue(value);

    addButton = new ColorButton(tr("+ 1"), this, kButtonSizeClass);
    addButton->setFixedSize(kButtonWidth, kButtonHeight);
    connect(addButton, &QPushButton::clicked, this, &Slider::Add);
    addButton->SetRepeat();

    subButton = new ColorButton(tr("- 1"), this, kButtonSizeClass);
    subButton->setFixedSize(kButtonWidth, kButtonHeight);
    connect(subButton, &QPushButton::clicked, this, &Slider::Sub);
    subButton->SetRepeat();

    valueEdit = new Edit(kEditType, this, kEditStyle);
    valueEdit->setGeometry(0, 0, 0, kEditHeight);
    connect(valueEdit, &QLineEdit::textChanged, this, &Slider::SetText);
}

void Slider::Reset(int min, int max, int pageStep, int value, const QString& name)
{
    setObjectName(name);
    setMinimum(min);
    setMaximum(max);
    setPageStep(pageStep);
    setValue(value);
    pressX = -1;
    pressY = -1;
    update();
}

void Slider::Add()
{
    if (value() < maximum())
        setValue(value() + 1);
}

void Slider::Sub()
{
    if (value() > minimum())
        setValue(value() - 1);
}

void Slider::SetText(const QString& text)
{
    // The keypad empties the field when it opens; that is not a value of 0.
    if (text.isEmpty())
        return;
    bool ok = false;
    uint number = text.toUInt(&ok, 10);
    if (!ok)
        number = 0;
    setValue(static_cast<int>(qMin<uint>(number, INT_MAX)));
}

void Slider::resizeEvent(QResizeEvent* event)
{
    trackLength = width() - kTrackReserve;
    startMargin = static_cast<int>(trackLength * kStartMarginShare);
    travel = static_cast<int>(trackLength * kTravelShare);
    const int buttonY = (height() - kButtonCentreFix) / 2 - kButtonLift;
    subButton->move(kSubButtonX, buttonY);
    addButton->move(width() - addButton->width(), buttonY);
    QAbstractSlider::resizeEvent(event);
}

void Slider::paintEvent(QPaintEvent*)
{
    const int h = height();
    QPainter painter(this);
    painter.setPen(Qt::green);
    QFont font("wqy-microhei");
    font.setPixelSize(kNamePixelSize);
    painter.setFont(font);
    // A name longer than its place (most in Japanese) takes two lines or a smaller font
    // rather than running under the value field.
    TextFit::Draw(painter, QRect(0, 0, kNameWidth, h), Qt::AlignLeft | Qt::AlignVCenter, objectName());

    const QRect field(kFieldX, kInset, kFieldWidth, h - 2 * kInset);
    drawPicture(painter, field, gpPixmapEdit);
    painter.drawText(field, Qt::AlignCenter, QString::number(value()));

    drawPicture(painter, QRect(kTrackX, kInset, trackLength, h - 2 * kInset), gpPixmapSliderd);

    // An empty range (or a track not laid out yet) draws no fill rather than dividing by 0.
    int fill = 0;
    if (maximum() != minimum() && travel > 0)
        fill = static_cast<int>(static_cast<float>(value() - minimum()) / static_cast<float>(maximum() - minimum()) *
                                static_cast<float>(travel));
    drawPicture(painter, QRect(kTrackX + startMargin, kFillInset, fill, h - 2 * kFillInset), gpPixmapSlideru);

    handleX = kTrackX + startMargin + fill;
    handleY = kInset;
    handleWidth = kHandleWidth;
    handleHeight = h - 2 * kInset;
    drawPicture(painter, QRect(handleX, handleY, handleWidth, handleHeight), gpPixmapSlidert);
}

void Slider::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->localPos().toPoint();
    if (p.x() >= handleX - kGrabLeft && p.x() <= handleX + handleWidth + kGrabRight) {
        pressX = p.x();
        pressY = p.y();
    } else {
        pressX = -1;
        pressY = -1;
    }
}

void Slider::mouseMoveEvent(QMouseEvent* event)
{
    if (pressX < 1 || travel <= 0)
        return;
    const QPoint p = event->localPos().toPoint();
    const float dx = static_cast<float>(p.x() - pressX);
    const int step = static_cast<int>(static_cast<float>(maximum() - minimum()) * (dx / static_cast<float>(travel)));
    // Below one step the press point stays, so slow movements add up.
    if (step == 0)
        return;
    setValue(value() + step);
    pressX = p.x();
    pressY = p.y();
}

void Slider::mouseReleaseEvent(QMouseEvent* event)
{
    pressX = -1;
    pressY = -1;
    const int x = event->localPos().toPoint().x();
    if (x < kFieldTapFirstX || x > kFieldTapLastX)
        return;
    // Focus makes the editor the keypads' target; the release places the keypad for it.
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(valueEdit, &focusIn);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(valueEdit, &release);
}
