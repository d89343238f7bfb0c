// Client of the companion peer.
#include "viewwatch2vrq.h"

#include "tnr_netmn.h"

ViewWatch2VRQ* ViewWatch2VRQ::ofManager()
{
    // One client per process, like the manager it belongs to; never freed.
    TNR_NETMN::getInstance();
    static ViewWatch2VRQ* client = new ViewWatch2VRQ();
    return client;
}

void ViewWatch2VRQ::sndRecordOperate(QJsonObject record)
{
    sentRecords.append(record);
    while (sentRecords.size() > kKeptRecords) sentRecords.removeFirst();
}

void ViewWatch2VRQ::syncTempList(QJsonObject lists)
{
    sentTempLists.append(lists);
    while (sentTempLists.size() > kKeptRecords) sentTempLists.removeFirst();
}
