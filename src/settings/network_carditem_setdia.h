// The modal editor of one network card: addressing, priority and a wireless card's access point.
#pragma once

#include "ccomp_dialogframe.h"
#include "networkmanager.h"

class Network_CardItem_SetDia : public CComp_DialogFrame
{
    Q_OBJECT

public:
    Network_CardItem_SetDia(stu_netinfo info, QWidget* parent);

    // The record with what the controls hold (found by their object names); no address is checked.
    stu_netinfo getNetINfo();

    stu_netinfo info;
};
