// The step box's number field: keypad digits build the box's integer value.
#include "editparam.h"

#include <climits>

#include <QFont>
#include <QHBoxLayout>

#include "editbox.h"

namespace {

constexpr int kUnitCharWidth = 27;
constexpr int kUnitExtraWidth = 10;
constexpr int kUnitHeight = 50;
constexpr int kUnitPixelSize = 27;
constexpr int kUnitTop = 1;
const char* const kFontFamily = "wqy-microhei";

}  // namespace

EditParam::EditParam(int type, QString unit, EditBox* box) : Edit(type, box, 1), box(box)
{
    setFocusPolicy(Qt::StrongFocus);
    setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    if (unit.isEmpty())
        return;

    charWidth = kUnitCharWidth;
    unitLabel = new QLabel(unit, this);
    unitLabel->setFixedSize(unit.length() * kUnitCharWidth + kUnitExtraWidth, kUnitHeight);
    QFont font(kFontFamily);
    font.setPixelSize(kUnitPixelSize);
    unitLabel->setFont(font);
    unitLabel->setAlignment(Qt::AlignCenter);

    const QMargins margins = textMargins();
    setTextMargins(margins.left(), margins.top(), unitLabel->width(), margins.bottom());

    auto* row = new QHBoxLayout(this);
    row->addStretch();
    row->addWidget(unitLabel);
    row->setSpacing(0);
    row->setContentsMargins(0, 0, 0, 0);
    connect(this, &QLineEdit::textChanged, this, &EditParam::ChangeLabelP);
}

void EditParam::addValue(QString key, bool replace)
{
    const int digit = key.toInt();
    // Computed wide so that a long run of digits clamps instead of overflowing.
    const qlonglong next = replace ? digit : qlonglong(box->value()) * 10 + digit;
    box->setValue(static_cast<int>(qBound<qlonglong>(INT_MIN, next, INT_MAX)));
}

void EditParam::deleteValue(bool&)
{
    box->setValue(box->value() / 10);
}

void EditParam::ChangeLabelP(QString text)
{
    if (!unitLabel)
        return;
    labelX = ((width() - unitLabel->width()) + static_cast<int>(text.length() * kUnitCharWidth * 0.5)) / 2;
    unitLabel->move(labelX, kUnitTop);
}
