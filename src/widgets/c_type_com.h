// Style-sheet service: buttons, line edits, progress bars and sliders in four colour schemes.
#pragma once

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QString>
#include <QWidget>

class C_Type_COM : public QWidget
{
    Q_OBJECT

public:
    // Values 0 to 3 index the colour table; any other value leaves the widget alone.
    enum C_Color { Color_Dark = 0, Color_Green = 1, Color_Blue = 2, Color_Red = 3 };

    explicit C_Type_COM(QWidget* parent = nullptr);

    static void setBtnQss(QPushButton* b, QString bg, QString fg, QString hoverBg, QString hoverFg, QString pressedBg,
                          QString pressedFg);
    static void setBtnQss(QPushButton* b, C_Color c);
    static void setTxtQss(QLineEdit* e, QString border, QString focusBorder);
    static void setTxtQss(QLineEdit* e, C_Color c);
    static void setBarQss(QProgressBar* p, QString bg, QString chunk);
    static void setBarQss(QProgressBar* p, C_Color c);
    static void setSliderQss(QSlider* s, QString groove, QString subPage, QString handle);
    static void setSliderQss(QSlider* s, C_Color c);
    // Grey page with a slim white vertical scroll bar, for setDefaultWgt's extra text.
    static QString getSlider();

public slots:
    void initForm();
};
