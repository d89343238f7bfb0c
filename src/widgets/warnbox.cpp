// The shared message box.
#include "warnbox.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QTimer>
#include <QVBoxLayout>

#include "globals.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "mainstate.h"
#include "textfit.h"
#include "textids.h"
#include "wizardpara.h"

WarnBox* gpWarnBox = nullptr;

namespace {

constexpr int kButtonWidth = 220;
constexpr int kButtonHeight = 100;
constexpr int kButtonSizeClass = 3;
constexpr int kTextTop = 5;
// Stretch factors above and below the button: it sits low in the box.
constexpr int kStretchAbove = 20;
constexpr int kStretchBelow = 3;

constexpr int kTextPixelSize = 40;
constexpr int kFrameWidth = 5;
constexpr int kTextMargin = 20;
const char* const kFontFamily = "wqy-microhei";

}  // namespace

QRect WarnBox::centredRect()
{
    return QRect(gShowW / 2 - kBoxWidth / 2, gShowH / 2 - kBoxHeight / 2, kBoxWidth, kBoxHeight);
}

ColorButton* WarnBox::makeButton(int textEntry, QWidget* box)
{
    auto* button = new ColorButton(LanStr(textEntry), box, kButtonSizeClass);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    return button;
}

WarnBox::WarnBox(QWidget* parent) : QDialog(parent), confirmEntry(kTextConfirm)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
    setGeometry(centredRect());

    confirmButton = makeButton(kTextConfirm, this);
    connect(confirmButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(kStretchAbove);
    layout->addWidget(confirmButton, 0, Qt::AlignCenter);
    layout->addStretch(kStretchBelow);
}

void WarnBox::setText(const QString& text)
{
    message = text;
}

QString WarnBox::text() const
{
    return message;
}

void WarnBox::paintBox(QWidget* box, const QRect& textBand, int alignment, const QString& text, const QColor& pen)
{
    QPainter painter(box);
    if (gpPixmapBG)
        painter.drawPixmap(box->rect(), *gpPixmapBG);
    QFont font(kFontFamily);
    font.setPixelSize(kTextPixelSize);
    painter.setFont(font);
    painter.setPen(pen);
    // A line too long for the band is broken (and the font made smaller only when the lines
    // then do not fit its height); the margin keeps the text off the frame.
    TextFit::Draw(painter, textBand.adjusted(kTextMargin, 0, -kTextMargin, 0), alignment, text);
    painter.setPen(QPen(Qt::white, kFrameWidth));
    painter.drawRect(0, 0, box->width() - 1, box->height() - 1);
}

void WarnBox::paintEvent(QPaintEvent*)
{
    paintBox(this, QRect(0, kTextTop, width(), (2 * height()) / 3), Qt::AlignCenter, message);
}

void WarnBox::showEvent(QShowEvent* event)
{
    // Callers may have moved the box; every showing puts it back in the middle.
    setGeometry(centredRect());
    confirmButton->setText(LanStr(confirmEntry));
    // A warning must be seen: wake a dark screen and give it its full time again.
    WakeScreen();
    QDialog::showEvent(event);
}

void WarnBox::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
}
