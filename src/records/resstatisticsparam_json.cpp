// Statistics model: the JSON form of a statistics day, its fresh values and the padding of stored records.
#include <algorithm>

#include <QJsonArray>
#include <QJsonValue>

#include "globals.h"
#include "resstatisticsparam.h"

namespace {

constexpr int kDefaultMorningStart = 8;
constexpr int kDefaultNightStart = 20;
// A group this program wrote carries the hour its buckets begin at under this key; older
// programs wrote none.
const char* const kCountedFromKey = "countedFrom";

QJsonArray toArray(const QList<int>& values)
{
    QJsonArray array;
    for (int v : values) array.append(v);
    return array;
}

QList<int> toList(const QJsonValue& value)
{
    QList<int> list;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& v : array) list << v.toInt();
    return list;
}

// A number under `key`, or `fallback` when it is missing or no number.
int numberOr(const QJsonObject& obj, const char* key, int fallback)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    return v.isDouble() ? v.toInt() : fallback;
}

void padHours(QList<int>& hours)
{
    while (hours.size() < kStatHours) hours << 0;
}

void padDetect(CountDetect& detect)
{
    padHours(detect.OK);
    padHours(detect.NG);
}

void padCamera(CountCamera& camera, int detectCount)
{
    padDetect(camera.count);
    while (camera.detects.size() < detectCount) {
        CountDetect fresh;
        ResStatisticsParam::initStuCountDetect(fresh);
        camera.detects << fresh;
    }
    for (CountDetect& d : camera.detects) padDetect(d);
}

void addHours(QList<int>& into, const QList<int>& from)
{
    while (into.size() < from.size()) into << 0;
    for (int i = 0; i < from.size(); ++i) into[i] += from[i];
}

void addDetect(CountDetect& into, const CountDetect& from)
{
    addHours(into.OK, from.OK);
    addHours(into.NG, from.NG);
}

void addCamera(CountCamera& into, const CountCamera& from)
{
    addDetect(into.count, from.count);
    for (int d = 0; d < from.detects.size(); ++d) {
        if (d < into.detects.size())
            addDetect(into.detects[d], from.detects[d]);
        else
            into.detects << from.detects[d];
    }
}

}  // namespace

void ResStatisticsParam::mergeCount(CountGroupList& into, const CountGroupList& from)
{
    for (const CountGroup& g : from.groups) {
        auto same = std::find_if(into.groups.begin(), into.groups.end(),
                                 [&g](const CountGroup& mine) { return mine.groupName == g.groupName; });
        if (same == into.groups.end()) {
            into.groups << g;
            continue;
        }
        addCamera(same->all, g.all);
        for (int c = 0; c < g.cameras.size(); ++c) {
            if (c < same->cameras.size())
                addCamera(same->cameras[c], g.cameras[c]);
            else
                same->cameras << g.cameras[c];
        }
    }
}

void ResStatisticsParam::initStuStatisticsCount(sCount& count)
{
    count.NG = 0;
    count.OK = 0;
}

void ResStatisticsParam::initStuCountDetect(CountDetect& detect)
{
    detect.detectID = -1;
    detect.OK.clear();
    detect.NG.clear();
    for (int h = 0; h < kStatHours; ++h) {
        detect.OK << 0;
        detect.NG << 0;
    }
    initStuStatisticsCount(detect.morning);
    initStuStatisticsCount(detect.night);
    initStuStatisticsCount(detect.day);
}

void ResStatisticsParam::initStuCountCamera(CountCamera& camera)
{
    camera.cameraID = -1;
    initStuCountDetect(camera.count);
    camera.detects.clear();
    for (int d = 0; d < gDNum; ++d) {
        CountDetect fresh;
        initStuCountDetect(fresh);
        camera.detects << fresh;
    }
}

void ResStatisticsParam::initStuCountGroup(CountGroup& group, QString name)
{
    group.cameras.clear();
    for (int c = 0; c < numCamera; ++c) {
        CountCamera fresh;
        initStuCountCamera(fresh);
        group.cameras << fresh;
    }
    initStuCountCamera(group.all);
    group.groupName = name;
}

void ResStatisticsParam::initStuCount(CountGroupList& list)
{
    CountGroup group;
    group.morningStart = kDefaultMorningStart;
    group.nightStart = kDefaultNightStart;
    initStuCountGroup(group, QStringLiteral("default"));
    list.groups.clear();
    list.groups << group;
    list.date = getCurDBDate();
}

void ResStatisticsParam::padCount(CountGroupList& list, int detectCount)
{
    for (CountGroup& g : list.groups) {
        padCamera(g.all, detectCount);
        for (CountCamera& c : g.cameras) padCamera(c, detectCount);
    }
}

QJsonObject ResStatisticsParam::StuCountDetectToJson(CountDetect detect, int id)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("detectID"), id);
    obj.insert(QStringLiteral("OK"), toArray(detect.OK));
    obj.insert(QStringLiteral("NG"), toArray(detect.NG));
    return obj;
}

QJsonObject ResStatisticsParam::StuCountCameraToJson(CountCamera camera, int id, int& detectCount)
{
    QJsonArray data;
    detectCount = 0;
    for (const CountDetect& d : camera.detects) data.append(StuCountDetectToJson(d, detectCount++));
    data.append(StuCountDetectToJson(camera.count, -1));
    QJsonObject obj;
    obj.insert(QStringLiteral("data"), data);
    obj.insert(QStringLiteral("cameraID"), id);
    return obj;
}

QJsonObject ResStatisticsParam::StuCountGroupToJson(CountGroup group)
{
    int detectCount = gDNum;
    QJsonArray datas;
    for (int i = 0; i < group.cameras.size(); ++i) datas.append(StuCountCameraToJson(group.cameras[i], i, detectCount));
    datas.append(StuCountCameraToJson(group.all, -1, detectCount));
    QJsonObject obj;
    obj.insert(QStringLiteral("datas"), datas);
    obj.insert(QStringLiteral("cameraCount"), group.cameras.size());
    obj.insert(QStringLiteral("detectCount"), detectCount);
    obj.insert(QStringLiteral("groupName"), group.groupName);
    obj.insert(QStringLiteral("morningStart"), group.morningStart);
    obj.insert(QStringLiteral("nightStart"), group.nightStart);
    if (group.countedFrom >= 0)
        obj.insert(QLatin1String(kCountedFromKey), group.countedFrom);
    return obj;
}

QJsonObject ResStatisticsParam::StuCountToJson(CountGroupList list)
{
    QJsonArray groups;
    for (const CountGroup& g : list.groups) groups.append(StuCountGroupToJson(g));
    QJsonObject obj;
    obj.insert(QStringLiteral("groups"), groups);
    obj.insert(QStringLiteral("date"), list.date);
    return obj;
}

void ResStatisticsParam::StuCountFromJson(CountGroupList& list, QJsonObject obj)
{
    list.date = obj.value(QStringLiteral("date")).toString();
    list.groups.clear();
    const QJsonArray groups = obj.value(QStringLiteral("groups")).toArray();
    for (const QJsonValue& v : groups) {
        CountGroup group;
        group.groupName = QStringLiteral("null");
        StuCountGroupFromJson(group, v.toObject());
        list.groups << group;
    }
}

void ResStatisticsParam::StuCountGroupFromJson(CountGroup& group, QJsonObject obj)
{
    group.cameras.clear();
    const QJsonArray datas = obj.value(QStringLiteral("datas")).toArray();
    for (const QJsonValue& v : datas) {
        const QJsonObject camera = v.toObject();
        if (camera.value(QStringLiteral("cameraID")).toInt() == -1) {
            StuCountCameraFromJson(group.all, camera);
            continue;
        }
        CountCamera fresh;
        StuCountCameraFromJson(fresh, camera);
        group.cameras << fresh;
    }
    group.groupName = obj.value(QStringLiteral("groupName")).toString();
    group.morningStart = numberOr(obj, "morningStart", kDefaultMorningStart);
    group.nightStart = numberOr(obj, "nightStart", kDefaultNightStart);
    const int countedFrom = numberOr(obj, kCountedFromKey, -1);
    group.countedFrom = countedFrom >= 0 && countedFrom < kStatHours ? countedFrom : -1;
}

void ResStatisticsParam::StuCountCameraFromJson(CountCamera& camera, QJsonObject obj)
{
    camera.detects.clear();
    const QJsonArray data = obj.value(QStringLiteral("data")).toArray();
    for (const QJsonValue& v : data) {
        const QJsonObject detect = v.toObject();
        if (detect.value(QStringLiteral("detectID")).toInt() == -1) {
            StuCountDetectFromJson(camera.count, detect);
            continue;
        }
        CountDetect fresh;
        StuCountDetectFromJson(fresh, detect);
        camera.detects << fresh;
    }
    camera.cameraID = obj.value(QStringLiteral("cameraID")).toInt();
}

void ResStatisticsParam::StuCountDetectFromJson(CountDetect& detect, QJsonObject obj)
{
    detect.OK = toList(obj.value(QStringLiteral("OK")));
    detect.NG = toList(obj.value(QStringLiteral("NG")));
    detect.detectID = obj.value(QStringLiteral("detectID")).toInt();
}
