// Yes/no box asking for the number of touch-calibration points.
#include "choosecalinumwidget.h"

#include <QFont>

#include "warnbox.h"

namespace {

constexpr int kComboWidth = 200;
constexpr int kComboHeight = 50;
constexpr int kComboBelowQuarter = 30;
constexpr int kComboFontPx = 33;
constexpr int kItemHeight = 50;
constexpr int kTextBandX = 50;
constexpr int kTextBandY = 50;
constexpr int kTextBandHeight = 50;
const char* const kPointCounts[] = {" 4 ", " 9 ", " 25 "};

}  // namespace

ChooseCaliNumWidget::ChooseCaliNumWidget(QWidget* parent) : ChooseBox(parent, WarnBox::kBoxWidth, WarnBox::kBoxHeight)
{
    comboBox = new ComboBox(this);
    QFont font("wqy-microhei");
    font.setPixelSize(kComboFontPx);
    comboBox->setFont(font);
    comboBox->setGeometry((width() - kComboWidth) / 2, height() / 4 + kComboBelowQuarter, kComboWidth, kComboHeight);
    comboBox->setFixedSize(kComboWidth, kComboHeight);
    for (const char* count : kPointCounts) comboBox->addItem(count);
    comboBox->setItemHeight(kItemHeight);
}

void ChooseCaliNumWidget::paintEvent(QPaintEvent*)
{
    WarnBox::paintBox(this, QRect(kTextBandX, kTextBandY, width(), kTextBandHeight), Qt::AlignCenter, question);
}
