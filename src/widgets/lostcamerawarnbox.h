// The camera-lost box: confirming it records the event and powers the machine off.
#pragma once

#include "warnbox.h"

class LostCameraWarnBox : public WarnBox
{
    Q_OBJECT

public:
    explicit LostCameraWarnBox(QWidget* parent);

public slots:
    void accept() override;

protected:
    void hideEvent(QHideEvent* event) override;
};

extern LostCameraWarnBox* gpLostCameraWarnBox;
