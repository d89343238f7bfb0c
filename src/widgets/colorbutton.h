// The kit's styled push button: white text on a dark rounded face, orange while pressed.
#pragma once

#include <QPushButton>
#include <QString>

class ColorButton : public QPushButton
{
public:
    // sizeClass 3 and 4 pick a larger font (language dependent); any other gets 25 px.
    ColorButton(const QString& text, QWidget* parent, int sizeClass);

    // Auto-repeat while held: first repeat after 300 ms, then every 50 ms.
    void SetRepeat();

    // Font size in pixels for a size class in language lan.
    static int fontPixelSize(int sizeClass, int lan);

    int sizeClass;
};
