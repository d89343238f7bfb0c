// Painted integer slider for the camera view's parameter panel: name, value field that
// opens the numeric keypad, "- 1" / "+ 1" buttons and a track dragged by the finger.
#pragma once

#include <QAbstractSlider>
#include <QString>

#include "colorbutton.h"

class Edit;

class Slider : public QAbstractSlider
{
    Q_OBJECT

public:
    Slider(int min, int max, int pageStep, int value, QWidget* parent, const QString& name);

    // New name, minimum, maximum, page step and value, in this order; any drag ends.
    void Reset(int min, int max, int pageStep, int value, const QString& name);

public slots:
    void Add();
    void Sub();
    // The keypad's text: an unsigned decimal, anything else reads 0; clamped to the range.
    void SetText(const QString& text);

public:
    ColorButton* addButton;
    ColorButton* subButton;
    Edit* valueEdit;  // invisible: receives the keypad's input
    int trackLength = 0;
    int startMargin = 0;
    int travel = 0;
    int handleX = 0;
    int handleY = 0;
    int handleWidth = 0;
    int handleHeight = 0;
    int pressX = -1;  // -1, -1 while no drag is under way
    int pressY = -1;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
