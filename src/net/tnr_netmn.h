// Network service manager singleton; here it holds the per-region results of the detection cycle.
#pragma once

#include <QMap>
#include <QString>

// One region's result of a judgement, as the network services report it.
struct param_roi
{
    int camera = 0;
    int detect = 0;
    int roi = 0;
    int func = 0;
    int value = 0;
    int low = -1;
    int high = -1;
    int third = -1;
    int cameraOk = 0;
};
static_assert(sizeof(param_roi) == 9 * 4, "param_roi is nine 32-bit ints");

class TNR_NETMN
{
public:
    // Created on first use; not thread-safe by design (GUI thread only).
    static TNR_NETMN* getInstance();
    static TNR_NETMN* __instance;

    TNR_NETMN();

    // Key "%1;%2;%3": camera index; detection; region. Written by the recogniser on the GUI
    // thread without a lock.
    QMap<QString, param_roi> roiCache;

    static QString roiKey(int camera, int detect, int roi);
};
