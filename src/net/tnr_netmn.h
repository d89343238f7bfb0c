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

    // The service switches and names of cnt_net/config.json.
    bool device_worknetfunc = false;  // big data networking (the companion peer)
    bool device_workvideo = false;    // screen video to the peer
    bool device_workapifunc = false;  // the HTTP API server
    QString devicename;
    QString workspace;

    // Stores the three switches; initStart replaces them by the file's.
    void setWorkTask(bool net, bool video, bool api);
    // Reads the switches, the device name and the workspace from cnt_net/config.json (a key
    // missing or of another type keeps its value; an unreadable file keeps them all).
    void initStart();

    // Key "%1;%2;%3": camera index; detection; region. Written by the recogniser on the GUI
    // thread without a lock.
    QMap<QString, param_roi> roiCache;

    static QString roiKey(int camera, int detect, int roi);

    // A picture the failure-image writer saved (camera and detection from 0). Any thread.
    void add_PeriodRecord_Picture(int camera, int detection, bool ok, QString path);
};
