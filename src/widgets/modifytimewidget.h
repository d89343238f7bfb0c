// The date-and-time question box of the settings screen.
#pragma once

#include "choosebox.h"
#include "editdatetime.h"

class ModifyTimeWidget : public ChooseBox
{
public:
    explicit ModifyTimeWidget(QWidget* parent);

    EditDateTime* editDateTime;

protected:
    void paintEvent(QPaintEvent* event) override;
};
