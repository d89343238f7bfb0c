// Network service manager singleton: service switches, the cycle's period record, the peer client and the API server.
#pragma once

#include <atomic>

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>

class HttpApiServer;
class Tcp_Push2APP;
class ViewWatch2VRQ;

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
    // Created on first use; not thread-safe by design (the GUI thread creates it at start-up).
    static TNR_NETMN* getInstance();
    static TNR_NETMN* __instance;

    TNR_NETMN();

    // The service switches and names of cnt_net/config.json.
    bool device_worknetfunc = false;  // big data networking (the companion peer)
    bool device_workvideo = false;    // screen video to the peer
    bool device_workapifunc = false;  // the HTTP API service
    QString devicename;
    QString workspace;

    // Stores the three switches; initStart replaces them by the file's.
    void setWorkTask(bool net, bool video, bool api);
    // Reads the switches, the device name and the workspace from cnt_net/config.json (a key
    // missing or of another type keeps its value; an unreadable file keeps them all), then
    // (re)starts the peer client by the networking switch and the API server, which listens
    // whatever its switch says and answers 403 while it is off. Called again by the network
    // page: a server already listening at the same place is kept, not bound twice.
    void initStart();

    // Stops the HTTP API server, the subscriber push and the companion peer: returns once none
    // of their threads runs (the API's accept loop and connection threads, the push's HTTP
    // thread); messages still waiting for the peer or a subscriber are dropped. Idempotent;
    // called on the GUI thread, which owns the peer and the push. initStart starts them again.
    void stopServices();

    // Link to the companion peer: -1 networking off, -2 no connection, -3 the peer cannot
    // reach its server, -4 this machine is not registered there, 1 all well.
    int isAllowSnd_2_VW() const;

    // ---- the period record of a mould cycle ----
    // Opens a record (a new uuid, start time now) and empties roiCache (GUI thread).
    void start_PeriodRecord();
    // Adds a saved picture to the latest record, the open one of the running cycle or the
    // one just finished, under "%1;%2;%3" (camera; detection; ok)
    // and publishes it to the peer and the API subscribers; when neither publishing is on it
    // only empties the pending records. Any thread.
    void add_PeriodRecord_Picture(int camera, int detection, bool ok, QString path);
    // Closes the record with the region results of roiCache and sends it on (GUI thread).
    void finish_PeriodRecord();
    // Detection stops: the pending records and roiCache are emptied.
    void clear_PeriodRecords();

    // Period records, newest last: the running cycle's open record and finished ones still
    // waiting for their pictures; at most kKeptPeriods.
    static constexpr int kKeptPeriods = 8;
    QMutex periodListMutex;
    QList<QJsonObject> periodRecords;
    // Pictures of the latest record: key "%1;%2;%3" (camera; detection; ok) to file path.
    QMutex periodMapMutex;
    QMap<QString, QString> periodPictures;

    // Key "%1;%2;%3": camera index; detection; region. Written by the recogniser on the GUI
    // thread without a lock.
    QMap<QString, param_roi> roiCache;
    static QString roiKey(int camera, int detect, int roi);

    ViewWatch2VRQ* vw = nullptr;         // the companion-peer client
    HttpApiServer* apiServer = nullptr;  // created by the first initStart
    Tcp_Push2APP* push = nullptr;        // the API subscribers

private:
    // Empties the list and the map, each under its mutex (any thread).
    void clear_PeriodRecordsLocked();
    // Appends to periodRecords, keeping the newest kKeptPeriods (periodListMutex held).
    void keepPeriodLocked(const QJsonObject& record);

    bool periodOpen = false;  // the newest record belongs to a cycle not finished yet
    // The publishing switches as initStart left them, for the callers on other threads.
    std::atomic<bool> publishPeer{false};
    std::atomic<bool> publishApi{false};
};
