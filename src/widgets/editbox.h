// The step box: caption, -5 / -1 / +1 / +5 buttons and a number field with its unit.
#pragma once

#include <QColor>
#include <QHBoxLayout>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "colorbutton.h"
#include "editparam.h"

class EditBox : public QWidget
{
    Q_OBJECT

public:
    // type 0 shows the integer, type 2 the value divided by `divisor` as a decimal.
    EditBox(int min, int max, QWidget* parent, const QString& caption, QString unit = QString(), int type = 0,
            int divisor = 1);

    void setUse0(bool on);
    // Compact form: narrower caption, field and one-steps; no five-steps.
    void setSampleMode();

    EditParam* edit;
    ColorButton* addOneButton;
    ColorButton* subOneButton;
    ColorButton* addFiveButton;
    ColorButton* subFiveButton;
    QLabel* caption;
    QHBoxLayout* layout;
    int minValue;
    int maxValue;
    int sizeMode = 4;
    int boxValue = 0;   // the value, unscaled (read with value())
    bool use0 = false;  // 0 is accepted below the lower bound
    int divisor;
    int type;
    QString captionText;

signals:
    void valueChanged(int value);

public slots:
    void AddOne();
    void SubOne();
    void AddFive();
    void SubFive();
    int value();
    // Stores only: no range check, no redraw, no signal.
    void setInputValue(int v);
    void setValue(int v);
    // Writes the stored value into the field.
    void setValue();
    // Clamps, redraws and emits valueChanged, also when nothing changed.
    void CheckRange();
    void setText(QString text);
    int getType();
    void setSampleShow();
    void setLabelColor(QColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void step(int delta);
};
