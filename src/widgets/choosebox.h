// The shared yes/no box: exec gives 1 for YES and 0 for NO or any other way of closing.
#pragma once

#include <QDialog>
#include <QString>

#include "colorbutton.h"

class ChooseBox : public QDialog
{
public:
    // Buttons and the text band are placed relative to width x height; the box is
    // centred on the screen and created hidden.
    ChooseBox(QWidget* parent, int width, int height);

    // Only stores the question for the next paint; neither shows nor repaints the box.
    void setText(const QString& text);
    QString text() const;

    ColorButton* yesButton;
    ColorButton* noButton;
    QString question;
    int boxWidth;
    int boxHeight;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The shared yes/no box (750 x 370).
extern ChooseBox* gpChooseBox;
