// The production-count alarm: confirming it drops the alarm outputs and restarts the count.
#pragma once

#include "warnbox.h"

class ProductAlarmWarnBox : public WarnBox
{
    Q_OBJECT

public:
    explicit ProductAlarmWarnBox(QWidget* parent);

public slots:
    void accept() override;
};

extern ProductAlarmWarnBox* gpProductAlarmWarnBox;
