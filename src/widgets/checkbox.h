// The kit's on/off switch, read and written as 0/1.
#pragma once

#include <QCheckBox>
#include <QString>

class CheckBox : public QCheckBox
{
public:
    CheckBox(QWidget* parent, const QString& text);

    // 1 only when checked (a partial state reads 0).
    int value() const;
    // Any non-zero value checks the box.
    void setValue(int v);
};
