// Yes/no box asking for the number of touch-calibration points.
#pragma once

#include "choosebox.h"
#include "combobox.h"

class ChooseCaliNumWidget : public ChooseBox
{
public:
    explicit ChooseCaliNumWidget(QWidget* parent);

    ComboBox* comboBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};
