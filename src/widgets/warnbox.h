// The shared message box: a painted 750 x 370 box with one confirm button, centred on the screen.
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>

#include "colorbutton.h"

class WarnBox : public QDialog
{
public:
    explicit WarnBox(QWidget* parent);

    // Only stores the text for the next paint; neither shows nor repaints the box.
    void setText(const QString& text);
    QString text() const;

    // The painted look of the kit's boxes: background picture, red text in the band,
    // white frame.
    static void paintBox(QWidget* box, const QRect& textBand, int alignment, const QString& text);

    ColorButton* confirmButton;
    QString message;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

// The shared message box, created by the main window before anything else may warn.
extern WarnBox* gpWarnBox;
