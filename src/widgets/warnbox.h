// The shared message box: a painted 750 x 370 box with one confirm button, centred on the screen.
#pragma once

#include <QColor>
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

    // The size of the kit's boxes and where they sit: the middle of the panel's screen.
    static constexpr int kBoxWidth = 750;
    static constexpr int kBoxHeight = 370;
    static QRect centredRect();
    // The boxes' finger-sized button (220 x 100, size class 3) labelled with a text entry.
    static ColorButton* makeButton(int textEntry, QWidget* box);
    // The painted look of the kit's boxes: background picture, the text in the band (red
    // for messages), white frame.
    static void paintBox(QWidget* box, const QRect& textBand, int alignment, const QString& text,
                         const QColor& pen = Qt::red);

    ColorButton* confirmButton;
    QString message;
    // The confirm button's text entry, read again at every showing: the shared box is made
    // before the parameters say which language the screens speak.
    int confirmEntry;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

// The shared message box, created by the main window before anything else may warn.
extern WarnBox* gpWarnBox;
