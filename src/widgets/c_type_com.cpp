// Style-sheet service in four colour schemes.
#include "c_type_com.h"

namespace {

struct ColourScheme
{
    const char* buttonBg;
    const char* buttonFg;
    const char* hoverBg;
    const char* hoverFg;
    const char* pressedBg;
    const char* pressedFg;
    const char* focusBorder;
    const char* slider;
};

const ColourScheme kSchemes[] = {
    {"#323232", "#FFFFFF", "#323232", "#FFFFFF", "#C8934A", "#FFFFFF", "#34495E", "#191532"},
    {"#1ABC9C", "#E6F8F5", "#2EE1C1", "#FFFFFF", "#16A086", "#A7EEE6", "#1ABC9C", "#1ABC9C"},
    {"#3498DB", "#FFFFFF", "#5DACE4", "#E5FEFF", "#2483C7", "#A0DAFB", "#3498DB", "#3498DB"},
    {"#E74C3C", "#FFFFFF", "#EC7064", "#FFF5E7", "#DC2D1A", "#F5A996", "#E74C3C", "#E74C3C"},
};
constexpr int kSchemeCount = sizeof(kSchemes) / sizeof(kSchemes[0]);

const ColourScheme* scheme(int c)
{
    return c >= 0 && c < kSchemeCount ? &kSchemes[c] : nullptr;
}

const char* const kTxtBorder = "#DCE4EC";
const char* const kSliderGroove = "#FFFBF0";
constexpr int kBarHeight = 8;
constexpr int kBarRadius = 8;
constexpr int kGrooveHeight = 14;
constexpr int kGrooveRadius = 4;
constexpr int kHandleWidth = 16;
constexpr int kHandleMargin = 3;
constexpr int kHandleRadius = 6;

const char* const kScrollPageStyle =
    "QWidget{background-color:rgb(110,110,110);border:0px;}QScrollBar:vertical{background:#FFFFFF;padding-top:0px;"
    "padding-bottom:0px;padding-left:0px;padding-right:0px;solid #d7d7d7;border-radius:7px;}QScrollBar::handle:"
    "vertical{background:#B7B7B7;border-radius:7px;min-height:80px}QScrollBar::handle:vertical:hover{background:#"
    "949494;}QScrollBar::add-line:vertical {height:0px;subcontrol-position:bottom;subcontrol-origin:margin;}"
    "QScrollBar::sub-line:vertical {height:0px;subcontrol-position:top;subcontrol-origin:margin;}QScrollBar::sub-"
    "line:vertical:pressed {background-color:#FFC107;}";

}  // namespace

C_Type_COM::C_Type_COM(QWidget* parent) : QWidget(parent) {}

void C_Type_COM::initForm() {}

void C_Type_COM::setBtnQss(QPushButton* b, QString bg, QString fg, QString hoverBg, QString hoverFg, QString pressedBg,
                           QString pressedFg)
{
    b->setFocusPolicy(Qt::NoFocus);
    QString qss;
    qss += QString("QPushButton{border-style:none;padding:3px;border-radius:5px;color:%1;background:%2;}").arg(fg, bg);
    qss += QString("QPushButton:hover{color:%1;background:%2;}").arg(hoverFg, hoverBg);
    qss += QString("QPushButton:pressed{color:%1;background:%2;}").arg(pressedFg, pressedBg);
    b->setStyleSheet(qss);
}

void C_Type_COM::setBtnQss(QPushButton* b, C_Color c)
{
    if (const ColourScheme* s = scheme(c))
        setBtnQss(b, s->buttonBg, s->buttonFg, s->hoverBg, s->hoverFg, s->pressedBg, s->pressedFg);
}

void C_Type_COM::setTxtQss(QLineEdit* e, QString border, QString focusBorder)
{
    QString qss;
    qss += QString("QLineEdit{border-style:none;padding:1px;border-radius:5px;border:2px solid %1;}").arg(border);
    qss += QString("QLineEdit:focus{border:2px solid %1;}").arg(focusBorder);
    e->setStyleSheet(qss);
}

void C_Type_COM::setTxtQss(QLineEdit* e, C_Color c)
{
    if (const ColourScheme* s = scheme(c))
        setTxtQss(e, kTxtBorder, s->focusBorder);
}

void C_Type_COM::setBarQss(QProgressBar* p, QString bg, QString chunk)
{
    QString qss;
    qss += QString(
               "QProgressBar{font:9pt;height:%2px;background:%1;border-radius:%3px;text-align:center;border:1px "
               "solid %1;}")
               .arg(bg)
               .arg(kBarHeight)
               .arg(kBarRadius);
    qss += QString("QProgressBar:chunk{border-radius:%2px;background-color:%1;}").arg(chunk).arg(kBarRadius);
    p->setStyleSheet(qss);
}

void C_Type_COM::setBarQss(QProgressBar*, C_Color) {}

void C_Type_COM::setSliderQss(QSlider* s, QString groove, QString subPage, QString handle)
{
    QString qss;
    qss += QString(
               "QSlider::groove:horizontal,QSlider::add-page:horizontal{height:%2px;border-radius:%3px;background:"
               "%1;}")
               .arg(groove)
               .arg(kGrooveHeight)
               .arg(kGrooveRadius);
    qss += QString("QSlider::sub-page:horizontal{height:%2px;border-radius:%3px;background:%1;}")
               .arg(subPage)
               .arg(kGrooveHeight)
               .arg(kGrooveRadius);
    qss += QString(
               "QSlider::handle:horizontal{width:%2px;margin-top:-%3px;margin-bottom:-%3px;border-radius:%4px;"
               "background:qradialgradient(spread:pad,cx:0.5,cy:0.5,radius:0.5,fx:0.5,fy:0.5,stop:0.6 "
               "#FFFFFF,stop:0.8 %1);}")
               .arg(handle)
               .arg(kHandleWidth)
               .arg(kHandleMargin)
               .arg(kHandleRadius);
    qss += "QSlider {background:rgb(170,170,170);margin:5px;padding:2px;height:10px;border-radius:4px}";
    // Comes after the coloured sub-page rule on purpose, so it decides the sub-page's look.
    qss +=
        "QSlider::sub-page:horizontal{background:qlineargradient(spread:pad, x1:0, y1:0, x2:1, y2:0, stop:1 "
        "rgba(50,50,50, 255), stop:0 blue)}";
    s->setStyleSheet(qss);
}

void C_Type_COM::setSliderQss(QSlider* s, C_Color c)
{
    if (const ColourScheme* sc = scheme(c))
        setSliderQss(s, kSliderGroove, sc->slider, sc->slider);
}

QString C_Type_COM::getSlider()
{
    return QString::fromLatin1(kScrollPageStyle);
}
