// The kit's styled push button.
#include "colorbutton.h"

#include "globals.h"

namespace {

constexpr int kRepeatDelayMs = 300;
constexpr int kRepeatIntervalMs = 50;
constexpr int kDefaultFontPx = 25;

struct FontSizeRow
{
    int sizeClass;
    int simplifiedChinesePx;
    int otherLanguagesPx;
};
const FontSizeRow kFontSizes[] = {
    {3, 27, 22},
    {4, 33, 30},
};

const char* const kButtonStyle =
    "QPushButton{outline:0px;border:none;font-size:%1px;color:white;background-color:#322f2f;border-radius: 8px;}"
    "QPushButton:checked{color:#ffffff;background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ed9d11, stop:1 "
    "#ff9900);}QPushButton:pressed{color:#ffffff;background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ed9d11, "
    "stop:1 #ff9900);}QPushButton:disabled {  background-color: gray;   color: white; }";

}  // namespace

ColorButton::ColorButton(const QString& text, QWidget* parent, int sizeClass)
    : QPushButton(parent), sizeClass(sizeClass)
{
    setText(text);
    setStyleSheet(QString::fromLatin1(kButtonStyle).arg(fontPixelSize(sizeClass, gLan)));
    setAttribute(Qt::WA_StyledBackground, true);
}

void ColorButton::SetRepeat()
{
    setAutoRepeat(true);
    setAutoRepeatDelay(kRepeatDelayMs);
    setAutoRepeatInterval(kRepeatIntervalMs);
}

int ColorButton::fontPixelSize(int sizeClass, int lan)
{
    for (const FontSizeRow& row : kFontSizes)
        if (row.sizeClass == sizeClass)
            return lan == 0 ? row.simplifiedChinesePx : row.otherLanguagesPx;
    return kDefaultFontPx;
}
