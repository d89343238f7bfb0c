// Network service manager singleton.
#include "tnr_netmn.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const char* const kConfigFile = "./cnt_net/config.json";

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
}  // namespace

TNR_NETMN* TNR_NETMN::__instance = nullptr;

// Whichever route creates the manager first makes it the instance.
TNR_NETMN::TNR_NETMN()
{
    if (!__instance)
        __instance = this;
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
    QFile file(kConfigFile);
    if (!file.open(QIODevice::ReadOnly)) {
        qInfo() << "network services:" << kConfigFile << "cannot be read; services keep their settings";
    } else {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        const QJsonObject config = doc.object();
        readString(config, "devicename", devicename);
        readBool(config, "device_worknetfunc", device_worknetfunc);
        readBool(config, "device_workvideo", device_workvideo);
        readBool(config, "device_workapifunc", device_workapifunc);
        readString(config, "workspace", workspace);
    }
    qInfo() << "network services: net" << device_worknetfunc << "video" << device_workvideo << "api"
            << device_workapifunc << "device" << devicename;
    // The companion-peer client and the HTTP API server are initialised here with these
    // settings once they exist.
}

void TNR_NETMN::add_PeriodRecord_Picture(int camera, int detection, bool ok, QString path)
{
    // Nothing publishes pictures yet.
    Q_UNUSED(camera)
    Q_UNUSED(detection)
    Q_UNUSED(ok)
    Q_UNUSED(path)
}
