// The zoom slider of the main window.
#include "floatslider.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>

namespace {

constexpr int kIdleMs = 30000;
constexpr int kButtonWidth = 25;
constexpr int kButtonHeight = 35;
constexpr int kSliderMin = 0;
constexpr int kSliderMax = 100;
constexpr int kSliderSideMargin = 20;
constexpr int kLayoutGap = 10;
constexpr int kDecimals = 2;

const char* const kHidePicture = "./images/hide.png";
const char* const kShowPicture = "./images/show.png";
const char* const kLabelStyle = "QLabel{outline:0px;border:none;font-size:25px;color:#00FF00;}";
const char* const kSliderStyle =
    "QSlider::groove:horizontal{border: 0px solid #bbb;}"
    "QSlider::sub-page:horizontal{border-image:url(./images/slideru.png);background: rgb(90,49,255);border-radius: "
    "2px;margin-top:8px;margin-bottom:8px;}"
    "QSlider::add-page:horizontal{border-image:url(./images/sliderd.png);background: rgb(255,255, 255);border: 0px "
    "solid #777;border-radius: 2px;margin-top:9px;margin-bottom:9px;}"
    "QSlider::handle:horizontal{border-image:url(./images/slidert.png);background: rgb(193,204,208);width: "
    "25px;border: 1px solid rgb(193,204,208);border-radius: 2px;margin-top:1px;margin-bottom:1px;}";

}  // namespace

FloatSlider::FloatSlider(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);

    label = new QLabel("0.00");
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(kLabelStyle);
    layout->addWidget(label, 0, Qt::AlignCenter);

    foldButton = new QPushButton;
    foldButton->setFixedSize(kButtonWidth, kButtonHeight);
    setFoldIcon(kHidePicture);
    connect(foldButton, &QPushButton::clicked, this, &FloatSlider::fold);
    layout->addWidget(foldButton, 0, Qt::AlignCenter);

    slider = new QSlider(Qt::Horizontal);
    slider->setRange(kSliderMin, kSliderMax);
    slider->setContentsMargins(kSliderSideMargin, 0, kSliderSideMargin, 0);
    layout->addWidget(slider, 0, Qt::AlignCenter);
    layout->addStretch();
    layout->setContentsMargins(0, 0, 0, 0);

    setStyleSheet(kSliderStyle);
    connect(slider, &QSlider::valueChanged, this, &FloatSlider::updateLabel);

    idleTimer = new QTimer(this);
    idleTimer->setInterval(kIdleMs);
    idleTimer->setSingleShot(true);
    connect(idleTimer, &QTimer::timeout, this, &FloatSlider::setToMinValue);
}

void FloatSlider::setValue(float v)
{
    slider->setValue(static_cast<int>(v * scale));
    label->setText(QString::number(v, 'f', kDecimals));
    value = v;
}

void FloatSlider::setToMinValue()
{
    setValue(slider->minimum() / scale);
}

void FloatSlider::startTimer()
{
    idleTimer->start();
}

void FloatSlider::updateLabel(int intValue)
{
    value = intValue / scale;
    label->setText(QString::number(value, 'f', kDecimals));
    startTimer();
    emit updateValue(value);
}

void FloatSlider::showEvent(QShowEvent* event)
{
    slider->setFixedWidth(width() - label->width() - foldButton->width() - kLayoutGap);
    slider->setFixedHeight(height());
    QWidget::showEvent(event);
}

void FloatSlider::setFoldIcon(const char* picture)
{
    QPixmap pixmap(picture);
    if (!pixmap.isNull())
        pixmap = pixmap.scaled(foldButton->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    foldButton->setIcon(QIcon(pixmap));
    foldButton->setIconSize(foldButton->size());
}

void FloatSlider::fold()
{
    slider->setVisible(slider->isHidden());
    setFoldIcon(slider->isHidden() ? kShowPicture : kHidePicture);
}
