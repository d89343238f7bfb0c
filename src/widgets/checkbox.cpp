// The kit's check box.
#include "checkbox.h"

#include <QFont>
#include <QPalette>

namespace {

constexpr int kPixelSize = 28;
constexpr int kIndicatorSize = 32;
const char* const kFontFamily = "wqy-microhei";
const char* const kIndicatorStyle =
    "QCheckBox::indicator {width: %1px; height: %2px;} QCheckBox::indicator:checked {border-radius:5px; "
    "background:white; border-image: url(./images/check.png);}";

}  // namespace

CheckBox::CheckBox(QWidget* parent, const QString& text) : QCheckBox(text, parent)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::yellow);
    setPalette(palette);
    QFont font(kFontFamily);
    font.setPixelSize(kPixelSize);
    setFont(font);
    setStyleSheet(QString::fromLatin1(kIndicatorStyle).arg(kIndicatorSize).arg(kIndicatorSize));
}

int CheckBox::value() const
{
    return checkState() == Qt::Checked ? 1 : 0;
}

void CheckBox::setValue(int v)
{
    setCheckState(v != 0 ? Qt::Checked : Qt::Unchecked);
}
