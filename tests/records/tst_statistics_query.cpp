// The HTTP API's statistics query: hour series from day files and the live file, zero fill, older records and refused
// windows.
#include <QJsonArray>
#include <QtTest>

#include "cameramanager.h"
#include "globals.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "statisticsrig.h"
#include "testsupport.h"

using StatRig::at;

namespace {

const QStringList kKeys{"detect_all", "detect_all_detail", "detect_ng", "detect_ng_detail", "every_detect"};

// A stored day of group "g" with one camera and two detections; entry (camera, detect) holds
// OK = 10 * bucket + base and NG = base in every bucket, base = 1 + camera + 2 * detect
// (camera and detection -1 for the aggregates).
QJsonObject storedDay(const QString& date, int morningStart = 8, const QString& name = "g")
{
    auto detect = [](int c, int d) {
        const int base = 1 + (c + 1) + 3 * (d + 1);
        QJsonArray ok, ng;
        for (int h = 0; h < kStatHours; ++h) {
            ok.append(10 * h + base);
            ng.append(base);
        }
        return QJsonObject{{"detectID", d}, {"OK", ok}, {"NG", ng}};
    };
    QJsonArray datas;
    for (int c : {0, -1}) {
        QJsonArray data{detect(c, 0), detect(c, 1), detect(c, -1)};
        datas.append(QJsonObject{{"cameraID", c}, {"data", data}});
    }
    const QJsonObject group{{"groupName", name}, {"morningStart", morningStart},
                            {"nightStart", 20},  {"cameraCount", 1},
                            {"detectCount", 2},  {"datas", datas}};
    return QJsonObject{{"date", date}, {"groups", QJsonArray{group}}};
}

int base(int c, int d)
{
    return 1 + (c + 1) + 3 * (d + 1);
}

QList<int> range(int from, int count)
{
    QList<int> l;
    for (int i = 0; i < count; ++i) l << from + i;
    return l;
}

QList<int> ints(const QJsonValue& v)
{
    QList<int> l;
    for (const QJsonValue& e : v.toArray()) l << e.toInt();
    return l;
}

// Every series of a result, nested ones included.
QList<QJsonArray> allSeries(const QJsonObject& r)
{
    QList<QJsonArray> out{r["detect_all"].toArray(), r["detect_ng"].toArray()};
    for (const char* key : {"detect_all_detail", "detect_ng_detail"})
        for (const QJsonValue& s : r[key].toArray()) out << s.toArray();
    for (const QJsonValue& o : r["every_detect"].toArray()) {
        const QJsonObject d = o.toObject();
        out << d["detect_index_all"].toArray() << d["detect_index_ng"].toArray();
        for (const char* key : {"detect_index_all_detail", "detect_index_ng_detail"})
            for (const QJsonValue& s : d[key].toArray()) out << s.toArray();
    }
    return out;
}

void checkAligned(const QJsonObject& r, int length)
{
    for (const QString& k : kKeys) QVERIFY2(r.contains(k), qPrintable(k));
    for (const QJsonArray& s : allSeries(r)) QCOMPARE(s.size(), length);
}

}  // namespace

class TestStatisticsQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        StatRig::useUtc();
        numCamera = 1;
        gDNum = 2;
        CameraManager::getInstance()->cameras.resize(1);
    }

    void init()
    {
        StatRig::freshFiles();
        PlatformClock::setNow(at("2026-12-07 12:00:00"));
    }

    void cleanup() { PlatformClock::resetNow(); }

    // 10:00 to 12:30 on a day starting at 08:00: buckets 2, 3 and 4 of its own file; the day
    // before contributes nothing.
    void windowWithinOneDay()
    {
        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-02"), storedDay("2024-05-02")));
        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-01"), storedDay("2024-05-01")));
        QJsonObject r{{"other", 1}};
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 10:00:00", "2024-05-02 12:30:00", r, "g"));
        QCOMPARE(r["other"].toInt(), 1);
        checkAligned(r, 3);
        auto all = [](int c, int d, int h) { return 10 * h + 2 * base(c, d); };
        QCOMPARE(ints(r["detect_all"]), QList<int>({all(-1, -1, 2), all(-1, -1, 3), all(-1, -1, 4)}));
        QCOMPARE(ints(r["detect_ng"]), StatRig::filled(3, base(-1, -1)));
        QCOMPARE(ints(r["detect_all_detail"].toArray()[0]), QList<int>({all(0, -1, 2), all(0, -1, 3), all(0, -1, 4)}));
        const QJsonObject second = r["every_detect"].toArray()[1].toObject();
        QCOMPARE(ints(second["detect_index_ng"]), StatRig::filled(3, base(-1, 1)));
        QCOMPARE(ints(second["detect_index_all_detail"].toArray()[0]).first(), all(0, 1, 2));
        QVERIFY(!second.contains("detect_index"));

        // From midnight: the first eight hours are buckets 16 to 23 of the day before.
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 00:00:00", "2024-05-02 09:59:59", r, "g"));
        checkAligned(r, 10);
        QCOMPARE(ints(r["detect_all"]).first(), all(-1, -1, 16));
        QCOMPARE(ints(r["detect_all"]).last(), all(-1, -1, 1));
    }

    // A missing day and a day of other groups give zeros from 08:00 of their date; objects
    // made for them carry "detect_index".
    void missingDaysAreZeroFilled()
    {
        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-03"), storedDay("2024-05-03", 8, "other")));
        QJsonObject r;
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 06:00:00", "2024-05-03 09:59:59", r, "g"));
        // 05-01 gives 06:00..07:59, 05-02 all 24, 05-03 08:00..09:59.
        checkAligned(r, 28);
        QCOMPARE(ints(r["detect_all"]), StatRig::filled(28, 0));
        const QJsonArray every = r["every_detect"].toArray();
        QCOMPARE(every.size(), 2);
        QCOMPARE(every[1].toObject()["detect_index"].toInt(), 2);

        // A camera only on the later day: zeros for the earlier day's hours.
        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-03"), storedDay("2024-05-03")));
        CameraManager::getInstance()->cameras.clear();
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 06:00:00", "2024-05-03 09:59:59", r, "g"));
        CameraManager::getInstance()->cameras.resize(1);
        checkAligned(r, 28);
        QCOMPARE(ints(r["detect_all_detail"].toArray()[0]).mid(0, 26), StatRig::filled(26, 0));
        QCOMPARE(ints(r["detect_all_detail"].toArray()[0]).last(), 10 + 2 * base(0, -1));
    }

    // Consecutive days with other morning starts: a day runs until the next one starts, so
    // that a window of n hours gives n elements and element i is hour i.
    void daysWithOtherMorningStarts_data()
    {
        QTest::addColumn<int>("firstMorning");
        QTest::addColumn<int>("secondMorning");  // -1: no file for the second day
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QList<int>>("buckets");  // of the first day, then of the second; -1 a zero between
        QList<int> overlap = range(0, 22);
        overlap << 0 << 1;
        QTest::newRow("second starts 2 h earlier") << 8 << 6 << "2024-05-02 08:00:00"
                                                   << "2024-05-03 07:59:59" << overlap;
        QList<int> gap = range(0, 24);
        gap << -1 << -1 << 0 << 1;
        QTest::newRow("second starts 2 h later") << 8 << 10 << "2024-05-02 08:00:00"
                                                 << "2024-05-03 11:59:59" << gap;
        QList<int> missing = range(4, 20);
        for (int i = 0; i < 4; ++i) missing << -1;
        QTest::newRow("evening start, next day missing") << 20 << -1 << "2024-05-03 00:00:00"
                                                         << "2024-05-03 23:59:59" << missing;
    }
    void daysWithOtherMorningStarts()
    {
        QFETCH(int, firstMorning);
        QFETCH(int, secondMorning);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QList<int>, buckets);
        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-02"), storedDay("2024-05-02", firstMorning)));
        QFile::remove("ResStatistics/2024-05-03.db");
        if (secondMorning >= 0)
            QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-03"), storedDay("2024-05-03", secondMorning)));
        QJsonObject r;
        QVERIFY(ResStatisticsDatabase::loadCount(start, end, r, "g"));
        checkAligned(r, buckets.size());
        QList<int> expected;
        for (int b : buckets) expected << (b < 0 ? 0 : 10 * b + 2 * base(-1, -1));
        QCOMPARE(ints(r["detect_all"]), expected);
    }

    // The morning start moved at 12:29 (the statistics page's hours confirmed) while moulds of
    // 11:xx are counted: the running day keeps the start hour it is counted with, so the API and
    // the page's morning chart keep them under 11; the new hour holds from the next day on.
    void morningStartMovedDuringTheDay_data()
    {
        QTest::addColumn<int>("moved");
        QTest::newRow("later") << 9;
        QTest::newRow("earlier") << 7;
    }
    void morningStartMovedDuringTheDay()
    {
        QFETCH(int, moved);
        PlatformClock::setNow(at("2026-12-07 11:30:00"));
        ResStatisticsParam m;
        m.init("g", gDNum);
        m.addRecord(1, 11, {true}, true);
        PlatformClock::setNow(at("2026-12-07 12:29:00"));
        QJsonObject hours{{"morningsStart", moved}, {"morningsEnd", 20}, {"nightStart", 20}, {"nightEnd", moved}};
        QVERIFY(m.checkParam(hours));
        m.laodConfigFromJson(hours);
        m.setCurGroup();
        m.checkDate();
        auto hourOf = [](const QString& start, const QString& end) {
            QJsonObject r;
            ResStatisticsDatabase::loadCount(start, end, r, "g");
            return ints(r["detect_all"]);
        };
        QTRY_COMPARE_WITH_TIMEOUT(hourOf("2026-12-07 11:00:00", "2026-12-07 12:59:59"), QList<int>({1, 0}), 10000);

        m.slotUpdateRecord(0, QString());
        m.viewGroupName = "g";
        const QList<int> labels = m.getShiftTimeList(Morning);
        const QList<int> series = m.getRes(Morning, true, kStatAllIndex, kStatAllIndex);
        QCOMPARE(series.size(), labels.size());
        QCOMPARE(series.value(labels.indexOf(11)), 1);
        QCOMPARE(m.getCount(Morning, true, kStatAllIndex, kStatAllIndex), 1);

        // The next day begins at the new hour, and its groups record it.
        PlatformClock::setNow(at("2026-12-08 12:00:00"));
        m.checkDate();
        m.addRecord(1, 12, {true}, true);
        QCOMPARE(m.curCount.groups.first().morningStart, moved);
    }

    // An older per-row day file is read as the group "default"; a per-row live file as the
    // requested group, without the query writing to it.
    void perRowFiles()
    {
        const QString file = StatRig::dayFile("2024-05-02");
        QVERIFY(StatRig::exec(file, "insert into resstatistics values ('C8_D8', '1 2 3 4', '0 0 1 1')"));
        QVERIFY(StatRig::exec(file, "insert into resstatistics values ('C0_D1', '5 5 5 5', '')"));
        QJsonObject r;
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 08:00:00", "2024-05-02 11:59:59", r, "default"));
        checkAligned(r, 4);
        QCOMPARE(ints(r["detect_all"]), QList<int>({1, 2, 4, 5}));
        QCOMPARE(ints(r["detect_ng"]), QList<int>({0, 0, 1, 1}));
        QCOMPARE(ints(r["every_detect"].toArray()[1].toObject()["detect_index_all_detail"].toArray()[0]),
                 StatRig::filled(4, 5));
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 08:00:00", "2024-05-02 11:59:59", r, "g"));
        QCOMPARE(ints(r["detect_all"]), StatRig::filled(4, 0));
        QVERIFY(StatRig::storedText(file).isEmpty());

        QVERIFY(StatRig::exec("ResStatistics.db", "insert into resstatistics values ('C8_D8', '7 7', '')"));
        QVERIFY(ResStatisticsDatabase::loadCount("2026-12-07 08:00:00", "2026-12-07 09:59:59", r, "g"));
        QCOMPARE(ints(r["detect_all"]), QList<int>({7, 7}));
        QVERIFY(StatRig::storedText("ResStatistics.db").isEmpty());
    }

    // Between midnight and the morning start the running day is yesterday's: the live file is
    // read under its own date, and the calendar day's archive (not there yet) gives zeros.
    void liveRecordServedUnderItsOwnDate()
    {
        PlatformClock::setNow(at("2026-12-06 03:00:00"));
        QVERIFY(StatRig::storeDay("ResStatistics.db", storedDay("2026-12-05")));
        QJsonObject r;
        QVERIFY(ResStatisticsDatabase::loadCount("2026-12-05 20:00:00", "2026-12-06 02:59:59", r, "g"));
        checkAligned(r, 7);
        QCOMPARE(ints(r["detect_ng"]), StatRig::filled(7, base(-1, -1)));
        QCOMPARE(ints(r["detect_all"]).first(), 10 * 12 + 2 * base(-1, -1));
    }

    // Times from the network: a wrong form is refused before any file opens; an end before
    // the start gives empty series; ten years are capped at 366 days.
    void windowsFromTheNetwork()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        QJsonObject r{{"detect_all", QJsonArray{1}}};
        QVERIFY(!ResStatisticsDatabase::loadCount("2024-13-01 00:00:00", "2024-12-01 00:00:00", r, "g"));
        for (const QString& k : kKeys) QCOMPARE(r[k].toArray().size(), 0);
        QVERIFY(!ResStatisticsDatabase::loadCount("2024-05-01", "2024-05-02 00:00:00", r, "g"));

        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-02"), storedDay("2024-05-02")));
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 12:30:00", "2024-05-02 10:00:00", r, "g"));
        checkAligned(r, 0);
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 10:00:00", "2014-05-02 10:00:00", r, "g"));
        checkAligned(r, 0);

        QVERIFY(ResStatisticsDatabase::loadCount("2014-01-01 10:00:00", "2024-01-01 10:00:00", r, "g"));
        checkAligned(r, 366 * 24 + 1);
        QCOMPARE(r["every_detect"].toArray().size(), 2);

        // Each call's connection is gone afterwards.
        QCOMPARE(QSqlDatabase::connectionNames(), before);

        // A load of the database thread's under way keeps its connection through a query.
        {
            QSqlDatabase loading = QSqlDatabase::addDatabase("QSQLITE", "dbFindResStatistics");
            loading.setDatabaseName("ResStatistics/2024-05-02.db");
            QVERIFY(loading.open());
            QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 10:00:00", "2024-05-02 12:30:00", r, "g"));
            QVERIFY(loading.isOpen());
            QSqlQuery q(loading);
            QVERIFY(q.exec("select count(*) from resstatistics"));
            QCOMPARE(QSqlDatabase::database("dbFindResStatistics", false).databaseName(),
                     QString("ResStatistics/2024-05-02.db"));
        }
        QSqlDatabase::removeDatabase("dbFindResStatistics");
    }

    // Stored entries beyond the day's camera or detection count are skipped; series stay aligned.
    void foreignIdsAreSkipped()
    {
        QJsonObject day = storedDay("2024-05-02");
        QJsonObject group = day["groups"].toArray()[0].toObject();
        QJsonArray datas = group["datas"].toArray();
        QJsonObject stray = datas[0].toObject();
        stray["cameraID"] = 5;
        datas.append(stray);
        QJsonObject wrongDetect = datas[0].toObject();
        QJsonArray data = wrongDetect["data"].toArray();
        QJsonObject d = data[0].toObject();
        d["detectID"] = 7;
        data.append(d);
        wrongDetect["data"] = data;
        datas[0] = wrongDetect;
        group["datas"] = datas;
        day["groups"] = QJsonArray{group};
        QVERIFY(StatRig::storeDay(StatRig::dayFile("2024-05-02"), day));
        QJsonObject r;
        QVERIFY(ResStatisticsDatabase::loadCount("2024-05-02 10:00:00", "2024-05-02 12:30:00", r, "g"));
        checkAligned(r, 3);
        QCOMPARE(r["detect_all_detail"].toArray().size(), 1);
        QCOMPARE(r["every_detect"].toArray().size(), 2);
    }
};

MONITOR_TEST_MAIN(TestStatisticsQuery)
#include "tst_statistics_query.moc"
