// Statistics model: counting judged detections, the once-a-minute save, the day change and the screens' reading.
#include "resstatisticsparam.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QTimer>

#include "globals.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"

namespace {

constexpr int kCheckPeriodMs = 60000;
constexpr quint32 kDaySeconds = 86400;
constexpr quint32 kHourSeconds = 3600;
constexpr int kCycleFlags = 8;
const char* const kConfigFile = "resstatistics.json";
const char* const kTimeFile = "restime.txt";
const char* const kDateFormat = "yyyy-MM-dd";

ResStatisticsParam* gStatisticsInstance = nullptr;

quint32 nowSeconds()
{
    return PlatformClock::now().toTime_t();
}

void addOne(CountDetect& entry, int bucket, bool ok)
{
    QList<int>& hours = ok ? entry.OK : entry.NG;
    if (bucket < hours.size())
        hours[bucket] += 1;
}

int hoursBetween(int from, int to)
{
    return (to + 24 - from) % 24;
}

// How many hours after the start hour a day was counted with the shift hours now in force
// begin (-11 to 12): the buckets of a day stay where they were counted when the morning start
// is moved, and the shifts are read that far along them.
int shiftOffset(int morningsStart, int dayHour)
{
    const int ahead = ((morningsStart - dayHour) % 24 + 24) % 24;
    return ahead > 12 ? ahead - 24 : ahead;
}

const sCount* shiftTotal(const CountDetect& entry, ShiftType shift)
{
    switch (shift) {
        case Morning:
            return &entry.morning;
        case Night:
            return &entry.night;
        case AllDay:
            return &entry.day;
    }
    return nullptr;
}

}  // namespace

ResStatisticsParam* ResStatisticsParam::getInstance()
{
    if (!gStatisticsInstance)
        gStatisticsInstance = new ResStatisticsParam;
    return gStatisticsInstance;
}

ResStatisticsParam::ResStatisticsParam(QObject* parent) : QObject(parent) {}

ResStatisticsParam::~ResStatisticsParam()
{
    if (gStatisticsInstance == this)
        gStatisticsInstance = nullptr;
    if (databaseThread) {
        databaseThread->quit();
        databaseThread->wait();
        delete database;
        delete databaseThread;
    }
}

void ResStatisticsParam::init(QString groupName, int count)
{
    setCurGroupName(groupName);
    laodConfig();

    databaseThread = new QThread;
    database = new ResStatisticsDatabase(this);
    QJsonObject json;
    if (database->usable)
        database->loadCountFromJson(QString::fromLatin1(kStatLiveFile), json);

    StuCountFromJson(curCount, json);
    // A live file that still holds a closed day (its move to the day folder failed, or the
    // day start was lost) is archived under its own date before today's counting begins.
    if (database->usable && !curCount.date.isEmpty() && curCount.date != getCurDBDate()) {
        qWarning().noquote() << "statistics: the live record of" << curCount.date << "is archived before"
                             << getCurDBDate() << "starts";
        if (!database->archiveLive(curCount.date))
            database->pendingArchive = curCount.date;
        curCount.groups.clear();
        curCount.date = getCurDBDate();
    }
    padCount(curCount, count);
    // The running day is counted from its day start: its groups record that hour, also those an
    // older program stored with another one.
    for (CountGroup& g : curCount.groups) g.morningStart = g.countedFrom = dayStartHour();
    database->moveToThread(databaseThread);
    databaseThread->start();

    checkCameraDetectCount(count);
    calcCount(curCount);

    // With no group loaded the screens show the current group until it has counts.
    viewGroupName = curCount.groups.isEmpty() ? curGroupName : curCount.groups.first().groupName;

    connect(this, &ResStatisticsParam::sigUpdateRecord, database, &ResStatisticsDatabase::slotUpdateRecord);
    connect(this, &ResStatisticsParam::sigSaveRecord, database, &ResStatisticsDatabase::slotSaveRecord);
    connect(database, SIGNAL(sigLoadFinish(QJsonObject, bool)), this, SLOT(slotRecvRecord(QJsonObject, bool)));
    connect(database, &ResStatisticsDatabase::sigArchived, this, &ResStatisticsParam::sigDayListChanged);

    for (int i = 0; i < kCycleFlags; ++i) cameraCycleOK << true;

    dayTimer = new QTimer(this);
    dayTimer->setInterval(kCheckPeriodMs);
    connect(dayTimer, &QTimer::timeout, this, &ResStatisticsParam::checkDate);
}

void ResStatisticsParam::setTimer(bool on)
{
    if (!dayTimer)
        return;
    if (on && database && !database->usable) {
        qWarning() << "statistics: no usable ResStatistics.db, the day timer stays off";
        on = false;
    }
    if (on)
        dayTimer->start();
    else
        dayTimer->stop();
}

bool ResStatisticsParam::saveRunningDay()
{
    if (!database || !database->usable)
        return true;
    calcCount(curCount);
    const QJsonObject json = StuCountToJson(curCount);
    const QString date = getCurDBDate();
    // No day change here: a closed day is archived by the first check after the next start.
    ResStatisticsDatabase* db = database;
    bool saved = false;
    auto save = [db, date, json, &saved] { saved = db->saveRecord(date, json, false); };
    if (databaseThread && databaseThread->isRunning() && QThread::currentThread() != databaseThread)
        QMetaObject::invokeMethod(db, save, Qt::BlockingQueuedConnection);
    else
        save();
    return saved;
}

void ResStatisticsParam::endDatabaseThread()
{
    if (!databaseThread)
        return;
    databaseThread->quit();
    databaseThread->wait();
}

void ResStatisticsParam::addRecord(int detect, int /*hour*/, QList<bool> cameraOK, bool cycleEnd)
{
    CountGroup* group = nullptr;
    for (CountGroup& g : curCount.groups) {
        if (g.groupName == curGroupName) {
            group = &g;
            break;
        }
    }
    if (!group) {
        CountGroup fresh;
        fresh.morningStart = fresh.countedFrom = dayStartHour();
        fresh.nightStart = 20;
        fresh.groupName = QStringLiteral("null");
        initStuCountGroup(fresh, curGroupName);
        curCount.groups << fresh;
        group = &curCount.groups.last();
    }

    const quint32 elapsed = nowSeconds() - dayStart.load();
    const int bucket = int(qMin<quint32>(elapsed / kHourSeconds, kStatHours - 1));

    // A detection beyond a camera's list (a record loaded from elsewhere) is not counted.
    bool ok = true;
    const int cameras = qMin(cameraOK.size(), group->cameras.size());
    for (int c = 0; c < cameras; ++c) {
        if (detect >= 0 && detect < group->cameras[c].detects.size())
            addOne(group->cameras[c].detects[detect], bucket, cameraOK[c]);
        ok = ok && cameraOK[c];
        if (c < cameraCycleOK.size())
            cameraCycleOK[c] = cameraCycleOK[c] && cameraOK[c];
    }
    if (detect >= 0 && detect < group->all.detects.size())
        addOne(group->all.detects[detect], bucket, ok);
    allCycleOK = allCycleOK && ok;

    if (cycleEnd) {
        const int flags = qMin(cameraCycleOK.size(), group->cameras.size());
        for (int c = 0; c < flags; ++c) {
            addOne(group->cameras[c].count, bucket, cameraCycleOK[c]);
            cameraCycleOK[c] = true;
        }
        addOne(group->all.count, bucket, allCycleOK);
        allCycleOK = true;
    }
    calcCount(*group);
    emit sigCheckUpdate();
}

quint32 ResStatisticsParam::latestMorningStart(const QDateTime& now) const
{
    const QDateTime today(now.date(), QTime(morningsStart, 0, 0));
    return (today <= now ? today : QDateTime(now.date().addDays(-1), QTime(morningsStart, 0, 0))).toTime_t();
}

bool ResStatisticsParam::dayEnds(const QDateTime& now) const
{
    const quint32 start = dayStart.load();
    const quint32 nowSecs = now.toTime_t();
    if (nowSecs < start) {
        // The clock was set back before the day's start: a correction of less than a day
        // keeps counting the running day, which would otherwise be archived again under
        // its own date when the clock reaches its start once more.
        return start - nowSecs >= kDaySeconds;
    }
    if (nowSecs - start < kDaySeconds)
        return false;
    // The next day must carry a later date than the closing one: after the morning start
    // was moved later, the latest morning start may still lie on the closing day's date,
    // and that day would be archived again under it. The running day then goes on until a
    // morning start on a later date has passed.
    return QDateTime::fromTime_t(latestMorningStart(now)).date() > QDateTime::fromTime_t(start).date();
}

void ResStatisticsParam::checkDate()
{
    const QDateTime now = PlatformClock::now();
    const bool ends = dayEnds(now);
    calcCount(curCount);
    const QJsonObject json = StuCountToJson(curCount);
    emit sigSaveRecord(getCurDBDate(), json, ends);
    if (!ends)
        return;

    // The new day starts at the latest morning start that has passed: a change before the
    // morning hour (the panel was off, or the clock was set back) must not set a start in
    // the future, which would make every following check another day change.
    dayStart = latestMorningStart(now);
    saveConfig();
    curCount.groups.clear();
    CountGroup group;
    group.morningStart = group.countedFrom = dayStartHour();
    group.nightStart = 20;
    group.groupName = QStringLiteral("null");
    initStuCountGroup(group, curGroupName);
    curCount.groups << group;
    curCount.date = getCurDBDate();
    calcCount(curCount);
}

void ResStatisticsParam::slotUpdateRecord(int row, QString file)
{
    if (row != 0) {
        emit sigUpdateRecord(file);
        return;
    }
    viewRunningDay();
    emit sigLoadFinish(true);
}

void ResStatisticsParam::slotRecvRecord(QJsonObject json, bool ok)
{
    if (ok) {
        StuCountFromJson(viewCount, json);
        padCount(viewCount, 0);
    } else {
        initStuCount(viewCount);
    }
    calcCount(viewCount);
    emit sigLoadFinish(ok);
}

void ResStatisticsParam::checkCameraDetectCount(int count)
{
    for (CountGroup& g : curCount.groups) {
        if (g.groupName != curGroupName)
            continue;
        for (CountCamera* c : [&g] {
                 QList<CountCamera*> all{&g.all};
                 for (CountCamera& camera : g.cameras) all << &camera;
                 return all;
             }()) {
            while (c->detects.size() < count) {
                CountDetect fresh;
                initStuCountDetect(fresh);
                c->detects << fresh;
            }
        }
    }
}

const CountDetect* ResStatisticsParam::selectEntry(int camera, int detect, int* dayHour)
{
    const CountGroup* group = nullptr;
    for (const CountGroup& g : viewCount.groups) {
        if (g.groupName == viewGroupName) {
            group = &g;
            break;
        }
    }
    // A group really named "null" reads as absent, as the group lookup answers.
    if (!group || group->groupName == QLatin1String("null"))
        return nullptr;
    if (dayHour)
        *dayHour = bucketsFrom(*group);
    const CountCamera* cam = nullptr;
    if (camera == kStatAllIndex)
        cam = &group->all;
    else if (camera >= 0 && camera < group->cameras.size())
        cam = &group->cameras[camera];
    if (!cam)
        return nullptr;
    if (detect == kStatAllIndex)
        return &cam->count;
    if (detect >= 0 && detect < cam->detects.size())
        return &cam->detects[detect];
    return nullptr;
}

int ResStatisticsParam::getCount(ShiftType shift, bool ok, int camera, int detect)
{
    const CountDetect* entry = selectEntry(camera, detect);
    const sCount* total = entry ? shiftTotal(*entry, shift) : nullptr;
    if (!total)
        return 0;
    return ok ? total->OK : total->NG;
}

QList<int> ResStatisticsParam::getRes(ShiftType shift, bool ok, int camera, int detect)
{
    int dayHour = morningsStart;
    const CountDetect* entry = selectEntry(camera, detect, &dayHour);
    if (!entry)
        return {};
    const QList<int>& hours = ok ? entry->OK : entry->NG;
    int first = 0;
    int count = 0;
    switch (shift) {
        case Morning:
            count = hoursBetween(morningsStart, morningsEnd);
            break;
        case Night:
            first = hoursBetween(morningsStart, nightStart);
            count = hoursBetween(nightStart, nightEnd);
            break;
        case AllDay:
            return hours;
        default:
            return {};
    }
    // Hours before the day began hold nothing of it; the series ends with the day.
    first += shiftOffset(morningsStart, dayHour);
    QList<int> series;
    for (int b = first; b < first + count && b < hours.size(); ++b) series << (b < 0 ? 0 : hours[b]);
    return series;
}

QList<int> ResStatisticsParam::getShiftTimeList(ShiftType shift)
{
    QList<int> list;
    int s = 0, e = 0;
    switch (shift) {
        case AllDay:
            for (int h = 0; h < kStatHours; ++h) list << h;
            return list;
        case Morning:
            s = morningsStart;
            e = morningsEnd;
            break;
        case Night:
            s = nightStart;
            e = nightEnd;
            break;
        default:
            return list;
    }
    if (e <= s)
        e += 24;
    for (int h = s; h < e; ++h) list << h % 24;
    return list;
}

CountGroup ResStatisticsParam::getGoupFromName(QString name)
{
    for (const CountGroup& g : viewCount.groups) {
        if (g.groupName == name)
            return g;
    }
    CountGroup absent;
    absent.groupName = QStringLiteral("null");
    return absent;
}

QStringList ResStatisticsParam::getGroups()
{
    QStringList names;
    for (const CountGroup& g : viewCount.groups) names << g.groupName;
    return names;
}

void ResStatisticsParam::setCurGroup()
{
    // The morning start stays the one the running day is counted with: its buckets begin
    // there, and the new hour holds from the next day on.
    for (CountGroup& g : curCount.groups) {
        if (g.groupName == curGroupName) {
            g.nightStart = nightStart;
            return;
        }
    }
}

int ResStatisticsParam::bucketsFrom(const CountGroup& group) const
{
    return group.countedFrom >= 0 ? group.countedFrom : morningsStart;
}

int ResStatisticsParam::dayStartHour() const
{
    return QDateTime::fromTime_t(dayStart.load()).time().hour();
}

QString ResStatisticsParam::getCurDBDate() const
{
    return QDateTime::fromTime_t(dayStart.load()).toString(QString::fromLatin1(kDateFormat));
}

void ResStatisticsParam::viewRunningDay()
{
    viewCount.date = curCount.date;
    viewCount.groups = curCount.groups;
    calcCount(viewCount);
}

QString ResStatisticsParam::getCurGroupName() const
{
    QMutexLocker lock(&groupNameMutex);
    return curGroupName;
}

void ResStatisticsParam::setCurGroupName(const QString& name)
{
    QMutexLocker lock(&groupNameMutex);
    curGroupName = name;
}

void ResStatisticsParam::laodConfig()
{
    QFile file(QString::fromLatin1(kConfigFile));
    if (!file.open(QIODevice::ReadOnly)) {
        createNewTime();
        saveConfig();
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning().noquote() << "laodConfig fail, Error parsing JSON:" << error.errorString();
        createNewTime();
        saveConfig();
        return;
    }
    laodConfigFromJson(doc.object());
}

void ResStatisticsParam::laodConfigFromJson(QJsonObject obj)
{
    if (obj.contains(QStringLiteral("time")))
        dayStart = obj.value(QStringLiteral("time")).toString().toUInt();
    auto hour = [&obj](const char* key) {
        const QJsonValue v = obj.value(QLatin1String(key));
        return v.isDouble() ? v.toInt() : 0;
    };
    morningsStart = hour("morningsStart");
    morningsEnd = hour("morningsEnd");
    nightStart = hour("nightStart");
    nightEnd = hour("nightEnd");
}

bool ResStatisticsParam::checkParam(QJsonObject& obj)
{
    obj.insert(QStringLiteral("time"), QString::number(dayStart.load()));
    auto differs = [&obj](const char* key, int mine) { return obj.value(QLatin1String(key)).toInt() != mine; };
    return differs("morningsStart", morningsStart) || differs("morningsEnd", morningsEnd) ||
           differs("nightStart", nightStart) || differs("nightEnd", nightEnd);
}

void ResStatisticsParam::saveConfig()
{
    QJsonObject obj;
    obj.insert(QStringLiteral("time"), QString::number(dayStart.load()));
    obj.insert(QStringLiteral("morningsStart"), morningsStart);
    obj.insert(QStringLiteral("morningsEnd"), morningsEnd);
    obj.insert(QStringLiteral("nightStart"), nightStart);
    obj.insert(QStringLiteral("nightEnd"), nightEnd);
    QFile file(QString::fromLatin1(kConfigFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QJsonDocument(obj).toJson(QJsonDocument::Indented));
}

void ResStatisticsParam::createNewTime()
{
    // Like a day change: never a start in the future (a start before the morning hour).
    dayStart = latestMorningStart(PlatformClock::now());
}

void ResStatisticsParam::readTime()
{
    QFile file(QString::fromLatin1(kTimeFile));
    if (file.open(QIODevice::ReadOnly)) {
        dayStart = QString::fromLatin1(file.readAll()).trimmed().toUInt();
        return;
    }
    createNewTime();
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(dayStart.load()));
}

void ResStatisticsParam::calcCount(CountDetect& detect)
{
    sumShifts(detect, morningsStart);
}

void ResStatisticsParam::sumShifts(CountDetect& detect, int dayHour) const
{
    initStuStatisticsCount(detect.morning);
    initStuStatisticsCount(detect.night);
    initStuStatisticsCount(detect.day);
    const int first = shiftOffset(morningsStart, dayHour);
    const int morningBuckets = hoursBetween(morningsStart, morningsEnd);
    auto morning = [first, morningBuckets](int i) { return i >= first && i < first + morningBuckets; };
    for (int i = 0; i < detect.OK.size(); ++i) {
        (morning(i) ? detect.morning : detect.night).OK += detect.OK[i];
        detect.day.OK += detect.OK[i];
    }
    for (int i = 0; i < detect.NG.size(); ++i) {
        (morning(i) ? detect.morning : detect.night).NG += detect.NG[i];
        detect.day.NG += detect.NG[i];
    }
}

void ResStatisticsParam::calcCount(CountCamera& camera)
{
    sumShifts(camera, morningsStart);
}

void ResStatisticsParam::sumShifts(CountCamera& camera, int dayHour) const
{
    for (CountDetect& d : camera.detects) sumShifts(d, dayHour);
    sumShifts(camera.count, dayHour);
}

void ResStatisticsParam::calcCount(CountGroup& group)
{
    // Each day's shifts are read from the start hour it was counted with.
    const int dayHour = bucketsFrom(group);
    for (CountCamera& c : group.cameras) sumShifts(c, dayHour);
    sumShifts(group.all, dayHour);
}

void ResStatisticsParam::calcCount(CountGroupList& list)
{
    for (CountGroup& g : list.groups) calcCount(g);
}
