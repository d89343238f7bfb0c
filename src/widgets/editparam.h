// The number field of the step box: keypad keys change the box's value, not the text.
#pragma once

#include <QLabel>
#include <QString>

#include "edit.h"

class EditBox;

class EditParam : public Edit
{
    Q_OBJECT

public:
    EditParam(int type, QString unit, EditBox* box);

    void addValue(QString key, bool replace) override;
    void deleteValue(bool& emptied) override;

    EditBox* box;
    QLabel* unitLabel = nullptr;  // null when the unit text is empty
    int charWidth = 0;
    int labelX = 0;

public slots:
    // Keeps the unit just right of the centred number.
    void ChangeLabelP(QString text);
};
