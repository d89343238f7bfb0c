// Statistics database: the HTTP API's query, hour series of cycles and NG cycles over a time window.
#include <atomic>
#include <optional>

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>

#include "cameramanager.h"
#include "globals.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "wizardpara.h"

namespace {

const char* const kMomentFormat = "yyyy-MM-dd hh:mm:ss";
const char* const kDateFormat = "yyyy-MM-dd";
const char* const kReadStatement = "select value1 from resstatistics where name='statisticsjson'";
// The window is capped: a year and a day of day files is the most one call opens.
constexpr int kMaxWindowDays = 366;
constexpr qint64 kDaySecs = 86400;
constexpr qint64 kHourSecs = 3600;
// A day with no usable data is zero-filled from this hour of its date.
constexpr int kZeroFillHour = 8;
// The database thread may be writing the live file: the query waits for its lock this long.
const char* const kReadOnlyOptions = "QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000";

std::atomic<int> gQueryConnections{0};

using Series = QVector<int>;
using SeriesList = QVector<Series>;

// One object of "every_detect".
struct DetectSeries
{
    Series all, ng;
    SeriesList allDetail, ngDetail;
    int index = 0;  // "detect_index" when above 0
};

// The five result arrays while they are built. Nested JSON arrays copy a whole series at
// every append, which over a year of hours costs seconds; these are converted once at the end.
struct QuerySeries
{
    Series detectNg, detectAll;
    SeriesList ngDetail, allDetail;
    QVector<DetectSeries> everyDetect;
};

// Grows a list of series to `count`; a new series gets a zero for every hour already in the
// result, so that a camera first seen on a later day stays aligned with the others.
void growSeries(SeriesList& list, int count, int hours)
{
    while (list.size() < count) list.append(Series(hours, 0));
}

void appendZeros(Series& s, int n)
{
    s.insert(s.size(), n, 0);
}

// A zero copy of an "every_detect" object, shaped like it; it carries no "detect_index".
DetectSeries creatorEveryDetectIndex(const DetectSeries& shape)
{
    DetectSeries fresh;
    fresh.all = Series(shape.all.size(), 0);
    fresh.ng = Series(shape.ng.size(), 0);
    for (const Series& s : shape.allDetail) fresh.allDetail.append(Series(s.size(), 0));
    for (const Series& s : shape.ngDetail) fresh.ngDetail.append(Series(s.size(), 0));
    return fresh;
}

void growEveryDetect(QVector<DetectSeries>& every, int count, bool numbered, int hours)
{
    while (every.size() < count) {
        DetectSeries fresh;
        if (every.isEmpty()) {
            fresh.all = Series(hours, 0);
            fresh.ng = Series(hours, 0);
        } else {
            fresh = creatorEveryDetectIndex(every.first());
        }
        if (numbered)
            fresh.index = every.size() + 1;
        every.append(fresh);
    }
}

// The hour buckets [first, last) of the day that runs from `dayStart` to `dayEnd` (whole
// hours) that lie in the window; false when the day lies wholly outside it. Buckets past the
// stored 24 (a day that runs on to a later next day) read as zeros.
bool bucketRange(const QDateTime& dayStart, const QDateTime& dayEnd, const QDateTime& start, const QDateTime& end,
                 int& first, int& last)
{
    const qint64 hours = dayStart.secsTo(dayEnd) / kHourSecs;
    const qint64 s = dayStart.secsTo(start);
    const qint64 e = dayStart.secsTo(end);
    if (hours <= 0 || s >= hours * kHourSecs || e < 0)
        return false;
    first = s < kHourSecs ? 0 : int(s / kHourSecs);
    last = e >= (hours - 1) * kHourSecs ? int(hours) : int(e / kHourSecs) + 1;
    return true;
}

void completeDataForErrorData(const QDateTime& dayStart, const QDateTime& dayEnd, const QDateTime& start,
                              const QDateTime& end, QuerySeries& r, int cameraCount, int detectCount)
{
    int first = 0, last = kStatHours;
    if (!bucketRange(dayStart, dayEnd, start, end, first, last))
        return;
    const int hours = r.detectAll.size();
    growSeries(r.allDetail, cameraCount, hours);
    growSeries(r.ngDetail, cameraCount, hours);
    growEveryDetect(r.everyDetect, detectCount, true, hours);
    for (DetectSeries& d : r.everyDetect) {
        growSeries(d.allDetail, cameraCount, hours);
        growSeries(d.ngDetail, cameraCount, hours);
    }
    const int n = qMax(0, last - first);
    appendZeros(r.detectNg, n);
    appendZeros(r.detectAll, n);
    for (Series& s : r.ngDetail) appendZeros(s, n);
    for (Series& s : r.allDetail) appendZeros(s, n);
    for (DetectSeries& d : r.everyDetect) {
        appendZeros(d.all, n);
        appendZeros(d.ng, n);
        for (Series& s : d.allDetail) appendZeros(s, n);
        for (Series& s : d.ngDetail) appendZeros(s, n);
    }
}

// Makes every series this day has no entry for as long as the others will be after the
// day's own values; the day's entries then append their buckets.
bool completeData(const QDateTime& dayStart, const QDateTime& dayEnd, const QDateTime& start, const QDateTime& end,
                  QuerySeries& r, int cameraCount, int detectCount, int& first, int& last)
{
    first = 0;
    last = kStatHours;
    if (!bucketRange(dayStart, dayEnd, start, end, first, last))
        return false;
    const int n = qMax(0, last - first);
    const int hours = r.detectAll.size();
    growEveryDetect(r.everyDetect, detectCount, false, hours);
    for (int i = 0; i < r.everyDetect.size(); ++i) {
        DetectSeries& d = r.everyDetect[i];
        const bool absent = i >= detectCount;
        if (absent) {
            appendZeros(d.all, n);
            appendZeros(d.ng, n);
        }
        for (SeriesList* list : {&d.allDetail, &d.ngDetail}) {
            growSeries(*list, cameraCount, hours);
            for (int c = 0; c < list->size(); ++c) {
                if (absent || c >= cameraCount)
                    appendZeros((*list)[c], n);
            }
        }
    }
    for (SeriesList* list : {&r.allDetail, &r.ngDetail}) {
        growSeries(*list, cameraCount, hours);
        for (int c = cameraCount; c < list->size(); ++c) appendZeros((*list)[c], n);
    }
    return true;
}

int element(const QJsonArray& array, int h)
{
    return h < array.size() ? array.at(h).toInt() : 0;
}

// Appends the buckets of one stored day group; entries beyond the day's camera or
// detection count (a hand-edited or foreign record) are skipped, so every index is in range.
void appendGroup(const QJsonObject& group, QuerySeries& r, int cameraCount, int detectCount, int first, int last)
{
    const QJsonArray datas = group.value(QStringLiteral("datas")).toArray();
    for (const QJsonValue& cv : datas) {
        const QJsonObject camera = cv.toObject();
        const int c = camera.value(QStringLiteral("cameraID")).toInt();
        if (c < -1 || c >= cameraCount || c >= r.allDetail.size())
            continue;
        const QJsonArray data = camera.value(QStringLiteral("data")).toArray();
        for (const QJsonValue& dv : data) {
            const QJsonObject detect = dv.toObject();
            const int d = detect.value(QStringLiteral("detectID")).toInt();
            if (d < -1 || d >= detectCount || d >= r.everyDetect.size())
                continue;
            const QJsonArray ok = detect.value(QStringLiteral("OK")).toArray();
            const QJsonArray ng = detect.value(QStringLiteral("NG")).toArray();
            Series* allTo = nullptr;
            Series* ngTo = nullptr;
            if (c == -1 && d == -1) {
                allTo = &r.detectAll;
                ngTo = &r.detectNg;
            } else if (d == -1) {
                allTo = &r.allDetail[c];
                ngTo = &r.ngDetail[c];
            } else if (c == -1) {
                allTo = &r.everyDetect[d].all;
                ngTo = &r.everyDetect[d].ng;
            } else {
                DetectSeries& e = r.everyDetect[d];
                if (c >= e.allDetail.size() || c >= e.ngDetail.size())
                    continue;
                allTo = &e.allDetail[c];
                ngTo = &e.ngDetail[c];
            }
            for (int h = first; h < last; ++h) {
                const int n = element(ng, h);
                ngTo->append(n);
                allTo->append(n + element(ok, h));
            }
        }
    }
}

QJsonArray toJson(const Series& s)
{
    QJsonArray a;
    for (int v : s) a.append(v);
    return a;
}

QJsonArray toJson(const SeriesList& list)
{
    QJsonArray a;
    for (const Series& s : list) a.append(toJson(s));
    return a;
}

void writeResult(const QuerySeries& r, QJsonObject& result)
{
    QJsonArray every;
    for (const DetectSeries& d : r.everyDetect) {
        QJsonObject o;
        o.insert(QStringLiteral("detect_index_all"), toJson(d.all));
        o.insert(QStringLiteral("detect_index_ng"), toJson(d.ng));
        o.insert(QStringLiteral("detect_index_all_detail"), toJson(d.allDetail));
        o.insert(QStringLiteral("detect_index_ng_detail"), toJson(d.ngDetail));
        if (d.index > 0)
            o.insert(QStringLiteral("detect_index"), d.index);
        every.append(o);
    }
    result.insert(QStringLiteral("detect_all"), toJson(r.detectAll));
    result.insert(QStringLiteral("detect_all_detail"), toJson(r.allDetail));
    result.insert(QStringLiteral("detect_ng"), toJson(r.detectNg));
    result.insert(QStringLiteral("detect_ng_detail"), toJson(r.ngDetail));
    result.insert(QStringLiteral("every_detect"), every);
}

QJsonObject readDay(QSqlQuery& query)
{
    QString text;
    if (query.exec(QString::fromLatin1(kReadStatement)) && query.next())
        text = query.value(0).toString();
    query.finish();
    return text.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(text.toUtf8()).object();
}

bool hasStoredText(QSqlQuery& query)
{
    bool stored = false;
    if (query.exec(QString::fromLatin1(kReadStatement)) && query.next())
        stored = !query.value(0).toString().isEmpty();
    query.finish();
    return stored;
}

}  // namespace

QString ResStatisticsDatabase::liveRecordDate(const QDate& fallback)
{
    const QString connection = QStringLiteral("dbQueryResStatistics%1").arg(gQueryConnections++);
    QString date;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setConnectOptions(QString::fromLatin1(kReadOnlyOptions));
        db.setDatabaseName(QString::fromLatin1(kStatLiveFile));
        if (QFile::exists(db.databaseName()) && db.open()) {
            QSqlQuery query(db);
            date = readDay(query).value(QStringLiteral("date")).toString();
            query.clear();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return QDate::fromString(date, QString::fromLatin1(kDateFormat)).isValid()
               ? date
               : fallback.toString(QString::fromLatin1(kDateFormat));
}

bool ResStatisticsDatabase::loadCount(QString start, QString end, QJsonObject& result, QString groupName)
{
    QuerySeries series;
    const QString format = QString::fromLatin1(kMomentFormat);
    const QDateTime from = QDateTime::fromString(start, format);
    QDateTime to = QDateTime::fromString(end, format);
    // The moments come from the network: a text of another form is refused before any file opens.
    if (!from.isValid() || !to.isValid()) {
        qWarning().noquote() << "statistics query: refused times" << start << end;
        writeResult(series, result);
        return false;
    }
    if (to > from.addDays(kMaxWindowDays))
        to = from.addDays(kMaxWindowDays);
    if (groupName.isEmpty())
        groupName = gpWPara ? gpWPara->getCurGroupName() : QStringLiteral("default");

    // A connection of its own per call: the database thread uses its names at the same time,
    // and the HTTP server may ask from more than one thread.
    const QString connection = QStringLiteral("dbQueryResStatistics%1").arg(gQueryConnections++);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setConnectOptions(QString::fromLatin1(kReadOnlyOptions));
    }
    const QDateTime now = PlatformClock::now();
    const QString live = liveRecordDate(now.date());
    const int cameraCount = CameraManager::getInstance()->cameras.size();

    // One stored day of the requested group, or a day without usable data (zero-filled).
    struct Day
    {
        QDateTime start;
        QVector<QJsonObject> groups;  // empty: zeros
    };
    auto startOf = [](const QDate& date, const QJsonObject& group) {
        const QJsonValue morning = group.value(QStringLiteral("morningStart"));
        const int stored = morning.isDouble() ? morning.toInt() : kZeroFillHour;
        return QDateTime(date, QTime(stored >= 0 && stored < kStatHours ? stored : kZeroFillHour, 0, 0));
    };
    // A day runs until the next day starts, so that element i of a series is hour i of the
    // window when consecutive days have different morning starts: an earlier next start cuts
    // the day short, a later one leaves zeros in between.
    auto emitDay = [&](const Day& day, const QDateTime& end) {
        if (day.groups.isEmpty()) {
            completeDataForErrorData(day.start, end, from, to, series, cameraCount, gDNum);
            return;
        }
        for (const QJsonObject& group : day.groups) {
            const int k = group.value(QStringLiteral("cameraCount")).toInt();
            const int m = group.value(QStringLiteral("detectCount")).toInt();
            int first = 0, last = kStatHours;
            if (completeData(startOf(day.start.date(), group), end, from, to, series, k, m, first, last))
                appendGroup(group, series, k, m, first, last);
        }
    };
    std::optional<Day> pending;

    QDateTime cursor = from.addDays(-2);
    while (cursor < to) {
        cursor = cursor.addDays(1);
        const QDate date = cursor.date();
        const QString dayText = date.toString(QString::fromLatin1(kDateFormat));
        const QString file = dayText == live ? QString::fromLatin1("./") + kStatLiveFile
                                             : QString::fromLatin1(kStatArchiveDir) + "/" + dayText + ".db";
        Day day;
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        db.setDatabaseName(file);
        if (QFile::exists(file) && db.open()) {
            QJsonObject stored;
            {
                QSqlQuery query(db);
                if (hasStoredText(query)) {
                    stored = readDay(query);
                } else {
                    // An older per-row day file.
                    CountGroup group;
                    group.groupName = QStringLiteral("null");
                    ResStatisticsParam::initStuCountGroup(group, QStringLiteral("default"));
                    ResStatisticsDatabase::loadCountFromJson(group, query);
                    CountGroupList list;
                    if (removeSuffix(file) == QLatin1String("ResStatistics")) {
                        list.date = live;
                        group.groupName = groupName;
                    } else {
                        list.date = removeSuffix(file);
                    }
                    list.groups << group;
                    stored = ResStatisticsParam::StuCountToJson(list);
                }
                query.clear();
            }
            db.close();
            QDate storedDate = QDate::fromString(stored.value(QStringLiteral("date")).toString(), kDateFormat);
            if (!storedDate.isValid())
                storedDate = date;
            for (const QJsonValue& gv : stored.value(QStringLiteral("groups")).toArray()) {
                const QJsonObject group = gv.toObject();
                if (group.value(QStringLiteral("groupName")).toString() == groupName)
                    day.groups << group;
            }
            if (!day.groups.isEmpty())
                day.start = startOf(storedDate, day.groups.first());
        }
        if (day.groups.isEmpty()) {
            // Zeros from 08:00 of the date, or from where the day before ends when that is later.
            day.start = QDateTime(date, QTime(kZeroFillHour, 0, 0));
            if (pending && pending->start.addSecs(kDaySecs) > day.start)
                day.start = pending->start.addSecs(kDaySecs);
        }
        if (pending)
            emitDay(*pending, day.start);
        pending = day;
    }
    if (pending)
        emitDay(*pending, pending->start.addSecs(kDaySecs));
    QSqlDatabase::removeDatabase(connection);
    writeResult(series, result);
    return true;
}
