// The step box of the settings pages.
#include "editbox.h"

#include <QFont>
#include <QPalette>

#include "textfit.h"

namespace {

constexpr int kSpacing = 10;
constexpr int kCaptionWidth = 160;
constexpr int kRowHeight = 50;
constexpr int kStepWidth = 130;
constexpr int kFieldWidth = 150;
constexpr int kPixelSize = 27;
constexpr int kButtonSizeClass = 3;
constexpr int kEditType = Edit::kNumericPad | Edit::kInGrandparent;  // shown in the box's parent
constexpr int kTypeInteger = 0;
constexpr int kTypeDecimal = 2;
constexpr int kSmallStep = 1;
constexpr int kBigStep = 5;
// Compact form.
constexpr int kSampleCaptionWidth = 120;
constexpr int kSampleStepWidth = 90;
constexpr int kSampleFieldWidth = 100;
const char* const kFontFamily = "wqy-microhei";

QFont boxFont()
{
    QFont font(kFontFamily);
    font.setPixelSize(kPixelSize);
    return font;
}

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, colour);
    w->setPalette(palette);
}

}  // namespace

EditBox::EditBox(int min, int max, QWidget* parent, const QString& caption, QString unit, int type, int divisor)
    : QWidget(parent),
      minValue(min),
      maxValue(max),
      divisor(divisor > 0 ? divisor : 1),
      type(type),
      captionText(caption)
{
    layout = new QHBoxLayout(this);
    layout->setSpacing(kSpacing);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    this->caption = new QLabel(this);
    this->caption->setFixedSize(kCaptionWidth, kRowHeight);
    this->caption->setFont(boxFont());
    setTextColour(this->caption, Qt::yellow);
    // The caption's size is fixed: a longer one is broken into lines, or made smaller.
    TextFit::FitLabel(this->caption, caption);
    layout->addWidget(this->caption);

    // Steps are in raw units: one tenth of the shown number with divisor 10.
    auto stepButton = [this](const char* sign, int rawStep, void (EditBox::*slot)()) {
        const QString label = QString("%1 %2").arg(sign).arg(double(rawStep) / this->divisor);
        auto* b = new ColorButton(label, this, kButtonSizeClass);
        b->setFixedSize(kStepWidth, kRowHeight);
        b->SetRepeat();
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    subFiveButton = stepButton("-", kBigStep, &EditBox::SubFive);
    subOneButton = stepButton("-", kSmallStep, &EditBox::SubOne);
    layout->addWidget(subFiveButton);
    layout->addWidget(subOneButton);

    edit = new EditParam(kEditType, unit, this);
    edit->setFixedSize(kFieldWidth, kRowHeight);
    edit->setFrame(true);
    edit->setFont(boxFont());
    connect(edit, &Edit::focusOut, this, &EditBox::CheckRange);
    layout->addWidget(edit);

    addOneButton = stepButton("+", kSmallStep, &EditBox::AddOne);
    addFiveButton = stepButton("+", kBigStep, &EditBox::AddFive);
    layout->addWidget(addOneButton);
    layout->addWidget(addFiveButton);
}

void EditBox::setUse0(bool on)
{
    use0 = on;
}

void EditBox::setSampleMode()
{
    caption->setFixedWidth(kSampleCaptionWidth);
    TextFit::Refit(caption);
    subOneButton->setFixedWidth(kSampleStepWidth);
    addOneButton->setFixedWidth(kSampleStepWidth);
    edit->setFixedWidth(kSampleFieldWidth);
    subFiveButton->hide();
    addFiveButton->hide();
}

void EditBox::step(int delta)
{
    boxValue += delta;
    CheckRange();
}

void EditBox::AddOne()
{
    step(kSmallStep);
}

void EditBox::SubOne()
{
    step(-kSmallStep);
}

void EditBox::AddFive()
{
    step(kBigStep);
}

void EditBox::SubFive()
{
    step(-kBigStep);
}

int EditBox::value()
{
    return boxValue;
}

void EditBox::setInputValue(int v)
{
    boxValue = v;
}

void EditBox::setValue(int v)
{
    boxValue = v;
    CheckRange();
}

void EditBox::setValue()
{
    if (type == kTypeInteger)
        edit->setValue(boxValue);
    else if (type == kTypeDecimal)
        edit->setValue(double(boxValue) / divisor);
}

void EditBox::CheckRange()
{
    if (boxValue >= minValue) {
        if (boxValue > maxValue)
            boxValue = maxValue;
    } else if (!(boxValue == 0 && use0)) {
        boxValue = minValue;
    }
    setValue();
    emit valueChanged(boxValue);
}

void EditBox::setText(QString text)
{
    TextFit::FitLabel(caption, text);
}

int EditBox::getType()
{
    return type;
}

void EditBox::setSampleShow()
{
    subFiveButton->hide();
    subOneButton->hide();
    addOneButton->hide();
    addFiveButton->hide();
}

void EditBox::setLabelColor(QColor color)
{
    setTextColour(caption, color);
}

void EditBox::paintEvent(QPaintEvent*) {}
