// Network service manager singleton.
#include "tnr_netmn.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QThread>

#include "configfile.h"
#include "globals.h"
#include "httpapiserver.h"
#include "platformclock.h"
#include "platformconfig.h"
#include "publictools.h"
#include "tcp_push2app.h"
#include "viewwatch2vrq.h"

namespace {
const char* const kDefaultWorkspace = "./cnt_net/workspace";
const char* const kTimeFormat = "yyyy-MM-dd hh:mm:ss.zzz";

void readBool(const QJsonObject& config, const char* key, bool& value)
{
    if (config.value(key).isBool())
        value = config.value(key).toBool();
}

void readString(const QJsonObject& config, const char* key, QString& value)
{
    if (config.value(key).isString())
        value = config.value(key).toString();
}

QJsonObject regionJson(const param_roi& r)
{
    return QJsonObject{
        {QStringLiteral("camera"), r.camera},     {QStringLiteral("detect"), r.detect},
        {QStringLiteral("roi"), r.roi},           {QStringLiteral("func"), r.func},
        {QStringLiteral("value"), r.value},       {QStringLiteral("low"), r.low},
        {QStringLiteral("high"), r.high},         {QStringLiteral("third"), r.third},
        {QStringLiteral("cameraok"), r.cameraOk},
    };
}
}  // namespace

TNR_NETMN* TNR_NETMN::__instance = nullptr;

// Whichever route creates the manager first makes it the instance.
TNR_NETMN::TNR_NETMN()
{
    if (!__instance)
        __instance = this;
    vw = new ViewWatch2VRQ;
    push = new Tcp_Push2APP;
    // The writer thread may be the first caller: the clients still belong to the GUI thread,
    // whose event loop carries their sockets.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (QThread::currentThread() != app->thread()) {
            vw->moveToThread(app->thread());
            push->moveToThread(app->thread());
        }
    }
}

TNR_NETMN* TNR_NETMN::getInstance()
{
    if (!__instance)
        new TNR_NETMN();
    return __instance;
}

QString TNR_NETMN::roiKey(int camera, int detect, int roi)
{
    return QString("%1;%2;%3").arg(camera).arg(detect).arg(roi);
}

void TNR_NETMN::setWorkTask(bool net, bool video, bool api)
{
    device_worknetfunc = net;
    device_workvideo = video;
    device_workapifunc = api;
}

void TNR_NETMN::initStart()
{
    QJsonObject config;
    if (!QFile::exists(kNetConfigFile)) {
        qInfo() << "network services:" << kNetConfigFile << "cannot be read; services keep their settings";
    } else {
        ReadJsonObject(QString::fromLatin1(kNetConfigFile), config);
        readString(config, "devicename", devicename);
        readBool(config, "device_worknetfunc", device_worknetfunc);
        readBool(config, "device_workvideo", device_workvideo);
        readBool(config, "device_workapifunc", device_workapifunc);
        readString(config, "workspace", workspace);
    }
    qInfo() << "network services: net" << device_worknetfunc << "video" << device_workvideo << "api"
            << device_workapifunc << "device" << devicename;

    const NetPorts& ports = NetPorts::current();
    // The peer is a program on this machine.
    vw->start(device_worknetfunc, QStringLiteral("127.0.0.1"), ports.peer);
    push->load(workspace.isEmpty() ? QString::fromLatin1(kDefaultWorkspace) : workspace);

    if (!apiServer)
        apiServer = new HttpApiServer;
    apiServer->apiEnabled = device_workapifunc;
    if (!apiServer->listening() || apiServer->host() != ports.listen ||
        (ports.api != 0 && apiServer->port() != ports.api))
        apiServer->start(ports.listen, ports.api);
    publishPeer = device_worknetfunc;
    publishApi = device_workapifunc;
}

void TNR_NETMN::stopServices()
{
    publishPeer = false;
    publishApi = false;
    if (apiServer)
        apiServer->stop();
    vw->start(false, QString(), 0);
    push->stop();
}

int TNR_NETMN::isAllowSnd_2_VW() const
{
    if (!device_worknetfunc || !vw)
        return ViewWatch2VRQ::kLinkOff;
    return vw->linkState();
}

void TNR_NETMN::start_PeriodRecord()
{
    // The record exists from the cycle's start: pictures of its first steps are handed
    // before it is finished.
    QJsonObject record;
    record.insert(QStringLiteral("uuid"), new_uuid());
    record.insert(QStringLiteral("device_sn"), gDeviceID);
    record.insert(QStringLiteral("starttime"), PlatformClock::now().toString(QString::fromLatin1(kTimeFormat)));
    {
        QMutexLocker lock(&periodListMutex);
        if (periodOpen && !periodRecords.isEmpty())
            periodRecords.removeLast();  // a cycle that never finished
        keepPeriodLocked(record);
    }
    periodOpen = true;
    roiCache.clear();
    QMutexLocker lock(&periodMapMutex);
    periodPictures.clear();
}

void TNR_NETMN::finish_PeriodRecord()
{
    const bool wasOpen = periodOpen;
    periodOpen = false;
    if (!publishPeer && !publishApi)
        return;
    QJsonArray regions;
    for (const param_roi& r : roiCache) regions.append(regionJson(r));
    QJsonObject record;
    {
        QMutexLocker lock(&periodListMutex);
        const bool open = wasOpen && !periodRecords.isEmpty();
        if (open) {
            record = periodRecords.last();
        } else {
            record.insert(QStringLiteral("uuid"), new_uuid());
            record.insert(QStringLiteral("device_sn"), gDeviceID);
            record.insert(QStringLiteral("starttime"), QString());
        }
        record.insert(QStringLiteral("finishtime"), PlatformClock::now().toString(QString::fromLatin1(kTimeFormat)));
        record.insert(QStringLiteral("regions"), regions);
        if (open)
            periodRecords.last() = record;
        else
            keepPeriodLocked(record);
    }
    if (publishPeer)
        vw->post(QString::fromLatin1(ViewWatch2VRQ::kPathPeriodRecord), record);
    if (publishApi)
        push->publish(record);
}

void TNR_NETMN::add_PeriodRecord_Picture(int camera, int detection, bool ok, QString path)
{
    const bool peer = publishPeer;
    const bool api = publishApi;
    if (!peer && !api) {
        clear_PeriodRecordsLocked();
        return;
    }
    QString uuid;
    {
        // The open record of the cycle, or the one it just finished.
        QMutexLocker lock(&periodListMutex);
        if (!periodRecords.isEmpty())
            uuid = periodRecords.last().value(QStringLiteral("uuid")).toString();
    }
    {
        QMutexLocker lock(&periodMapMutex);
        periodPictures.insert(QString("%1;%2;%3").arg(camera).arg(detection).arg(ok ? 1 : 0), path);
    }
    const QJsonObject picture{
        {QStringLiteral("uuid"), uuid}, {QStringLiteral("camera"), camera}, {QStringLiteral("detect"), detection},
        {QStringLiteral("ok"), ok},     {QStringLiteral("path"), path},
    };
    if (peer)
        vw->post(QString::fromLatin1(ViewWatch2VRQ::kPathPicture), picture);
    if (api)
        push->publish(picture);
}

void TNR_NETMN::keepPeriodLocked(const QJsonObject& record)
{
    periodRecords.append(record);
    while (periodRecords.size() > kKeptPeriods) periodRecords.removeFirst();
}

void TNR_NETMN::clear_PeriodRecordsLocked()
{
    {
        QMutexLocker lock(&periodListMutex);
        periodRecords.clear();
    }
    QMutexLocker lock(&periodMapMutex);
    periodPictures.clear();
}

void TNR_NETMN::clear_PeriodRecords()
{
    clear_PeriodRecordsLocked();
    roiCache.clear();
    periodOpen = false;
}
