// Client of the companion peer; for now it keeps the operation records handed to it.
#pragma once

#include <QJsonObject>
#include <QList>

class ViewWatch2VRQ
{
public:
    // Records kept while no link carries them away; the oldest go first, so that a monitor
    // running for months does not grow without end.
    static constexpr int kKeptRecords = 1000;

    // The peer client of the network manager (the manager is created when it does not
    // exist yet).
    static ViewWatch2VRQ* ofManager();

    // Hands one operation record to the peer. No link exists yet: the record is kept in
    // sentRecords, in the order of the calls, at most kKeptRecords of them.
    void sndRecordOperate(QJsonObject record);

    QList<QJsonObject> sentRecords;

    // Tells the peer which cameras and detections lost their templates: {"camera": [...],
    // "detect": [...]}, one entry per pair. Kept like the records while no link exists.
    void syncTempList(QJsonObject lists);
    QList<QJsonObject> sentTempLists;
};
