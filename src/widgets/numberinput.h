// The shared numeric keypad: types into the main window's current input edit.
#pragma once

#include <QButtonGroup>
#include <QVector>
#include <QWidget>

#include "colorbutton.h"

class NumberInput : public QWidget
{
    Q_OBJECT

public:
    explicit NumberInput(QWidget* parent);
    ~NumberInput() override;

    // The keypads' look: translucent cream face with a dark outline.
    static void paintPad(QWidget* pad, const QRect& updateRect);

    QButtonGroup* group;
    ColorButton* digitKeys[10];
    ColorButton* confirmKey;
    ColorButton* deleteKey;
    bool replace = true;  // the next digit replaces the text

signals:
    // Enter while the password box is shown: the box checks its entry.
    void chkpassword();

public slots:
    void setContent(int id);
    void eraseContent();
    void eraseAll();
    void HideUpdate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// The ten digits 0..9, each once, in random order.
QVector<int> genRandomNumber();

extern NumberInput* gpNumPad;
