// Statistics model on the steerable clock: hour buckets and shifts, cycle counts, the day change and what a stored
// record may lack.
#include <algorithm>

#include <QJsonArray>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include "globals.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "statisticsrig.h"
#include "testsupport.h"

using StatRig::at;
using StatRig::secs;

namespace {

// A model counting today for group "g" with two cameras and two detections, no database.
void prepare(ResStatisticsParam& m, const QString& dayStart = "2026-12-05 08:00:00")
{
    numCamera = 2;
    gDNum = 2;
    m.curGroupName = "g";
    m.dayStart = secs(dayStart);
    m.curCount.date = m.getCurDBDate();
    m.cameraCycleOK = QList<bool>{true, true, true, true, true, true, true, true};
}

const CountGroup& group(ResStatisticsParam& m, const QString& name = "g")
{
    for (const CountGroup& g : m.curCount.groups)
        if (g.groupName == name)
            return g;
    static CountGroup none;
    return none;
}

}  // namespace

class TestStatisticsModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { StatRig::useUtc(); }

    void init() { StatRig::freshFiles(); }

    void cleanup() { PlatformClock::resetNow(); }

    // Buckets count hours from the day start; the default shifts split them 0-11 / 12-23.
    void hourBucketsAndShiftTotals()
    {
        ResStatisticsParam m;
        prepare(m);
        const QStringList stamps{"2026-12-05 08:59:59", "2026-12-05 09:00:00", "2026-12-05 19:59:59",
                                 "2026-12-05 20:00:00", "2026-12-06 07:59:59"};
        for (const QString& s : stamps) {
            PlatformClock::setNow(at(s));
            m.addRecord(0, 0, {true, false}, false);
        }
        const CountDetect& d0 = group(m).cameras[0].detects[0];
        QList<int> expected = StatRig::filled(kStatHours, 0);
        for (int b : {0, 1, 11, 12, 23}) expected[b] = 1;
        QCOMPARE(d0.OK, expected);
        QCOMPARE(group(m).cameras[1].detects[0].NG, expected);
        QCOMPARE(group(m).all.detects[0].NG, expected);
        QCOMPARE(d0.morning.OK, 3);
        QCOMPARE(d0.night.OK, 2);
        QCOMPARE(d0.day.OK, 5);

        // Stamped before the day start, or 30 hours after it: the last bucket.
        PlatformClock::setNow(at("2026-12-05 07:00:00"));
        m.addRecord(1, 0, {true, true}, false);
        PlatformClock::setNow(at("2026-12-06 14:00:00"));
        m.addRecord(1, 0, {true, true}, false);
        QCOMPARE(group(m).cameras[0].detects[1].OK[23], 2);

        // What the screens read of the viewed day.
        m.slotUpdateRecord(0, QString());
        m.viewGroupName = "g";
        QCOMPARE(m.getRes(Night, true, 0, 0), expected.mid(12));
        QCOMPARE(m.getCount(Morning, true, 0, 0), 3);
        QCOMPARE(m.getCount(AllDay, false, 8, 0), 5);
        QCOMPARE(m.getCount(AllDay, true, 9, 0), 0);
        QCOMPARE(m.getCount(AllDay, true, 0, 5), 0);
        QCOMPARE(m.getShiftTimeList(Night), QList<int>({20, 21, 22, 23, 0, 1, 2, 3, 4, 5, 6, 7}));
        m.viewGroupName = "other";
        QCOMPARE(m.getCount(AllDay, true, 0, 0), 0);

        // Shifts with a gap (8-18, 20-6) or an overlap (8-20, 18-8): the night series starts at
        // the night's own hour.
        m.viewGroupName = "g";
        m.morningsEnd = 18;
        m.nightEnd = 6;
        QCOMPARE(m.getRes(Night, true, 0, 0), expected.mid(12, 10));
        QCOMPARE(m.getShiftTimeList(Night), QList<int>({20, 21, 22, 23, 0, 1, 2, 3, 4, 5}));
        QCOMPARE(m.getRes(Morning, true, 0, 0), expected.mid(0, 10));
        m.morningsEnd = 20;
        m.nightStart = 18;
        m.nightEnd = 8;
        QCOMPARE(m.getRes(Night, true, 0, 0), expected.mid(10));
        m.nightStart = 20;

        // Equal morning start and end: every bucket is night.
        m.morningsEnd = 8;
        QVERIFY(m.getRes(Morning, true, 0, 0).isEmpty());
        QCOMPARE(m.getShiftTimeList(Morning).size(), 24);
    }

    // Two cameras, two detections: camera 0 OK throughout, camera 1 NG only in the first.
    void cycleCountsPerCameraAndForAll()
    {
        ResStatisticsParam m;
        prepare(m);
        PlatformClock::setNow(at("2026-12-05 10:30:00"));
        m.addRecord(0, 10, {true, false}, false);
        m.addRecord(1, 10, {true, true}, true);
        const CountGroup& g = group(m);
        QCOMPARE(g.cameras[0].detects[0].day.OK, 1);
        QCOMPARE(g.cameras[0].detects[1].day.OK, 1);
        QCOMPARE(g.cameras[0].count.day.OK, 1);
        QCOMPARE(g.cameras[1].detects[0].day.NG, 1);
        QCOMPARE(g.cameras[1].detects[1].day.OK, 1);
        QCOMPARE(g.cameras[1].count.day.NG, 1);
        QCOMPARE(g.all.detects[0].day.NG, 1);
        QCOMPARE(g.all.detects[1].day.OK, 1);
        QCOMPARE(g.all.count.day.NG, 1);
        QCOMPARE(g.all.count.day.OK, 0);

        // A cycle broken off before its end makes the next finished cycle NG.
        m.addRecord(0, 10, {true, false}, false);
        m.addRecord(0, 10, {true, true}, false);
        m.addRecord(1, 10, {true, true}, true);
        QCOMPARE(group(m).cameras[1].count.day.NG, 2);
        QCOMPARE(group(m).cameras[0].count.day.OK, 2);
        // The flags start afresh with each cycle: a clean one counts OK.
        m.addRecord(0, 10, {true, true}, false);
        m.addRecord(1, 10, {true, true}, true);
        QCOMPARE(group(m).cameras[1].count.day.OK, 1);
        QCOMPARE(group(m).all.count.day.OK, 1);

        // Fewer flags than cameras count only the first cameras; another group is appended.
        m.curGroupName = "h";
        m.addRecord(0, 10, {false}, true);
        QCOMPARE(group(m, "h").cameras[0].detects[0].day.NG, 1);
        QCOMPARE(group(m, "h").cameras[1].detects[0].day.NG + group(m, "h").cameras[1].detects[0].day.OK, 0);
        m.slotUpdateRecord(0, QString());
        QCOMPARE(m.getGroups(), QStringList({"g", "h"}));
    }

    // A check one second before a whole day only saves; at a whole day it archives and starts anew.
    void dayChangeAtAWholeDay()
    {
        ResStatisticsParam m;
        prepare(m);
        QSignalSpy saves(&m, &ResStatisticsParam::sigSaveRecord);
        PlatformClock::setNow(at("2026-12-05 10:00:00"));
        m.addRecord(0, 0, {true, true}, true);
        PlatformClock::setNow(at("2026-12-06 07:59:59"));
        m.checkDate();
        QCOMPARE(saves.size(), 1);
        QCOMPARE(saves[0][2].toBool(), false);
        QCOMPARE(m.getCurDBDate(), QString("2026-12-05"));

        PlatformClock::setNow(at("2026-12-06 08:00:00"));
        m.checkDate();
        QCOMPARE(saves.size(), 2);
        QCOMPARE(saves[1][0].toString(), QString("2026-12-05"));
        QCOMPARE(saves[1][2].toBool(), true);
        // The closing day's whole record goes with the move.
        CountGroupList closed;
        ResStatisticsParam::StuCountFromJson(closed, saves[1][1].toJsonObject());
        QCOMPARE(closed.date, QString("2026-12-05"));
        QCOMPARE(StatRig::sum(closed.groups[0].all.count.OK), 1);
        QCOMPARE(m.dayStart.load(), secs("2026-12-06 08:00:00"));
        QCOMPARE(m.curCount.date, QString("2026-12-06"));
        QCOMPARE(m.curCount.groups.size(), 1);
        QCOMPARE(StatRig::sum(group(m).all.count.OK), 0);
        QVERIFY(QFile::exists("resstatistics.json"));
    }

    // A day change found before the morning start hour (the panel was off over night) starts
    // the day at yesterday's morning hour, not at today's one still to come; so the next
    // minute only saves.
    void dayChangeBeforeTheMorningHourStartsNoFutureDay()
    {
        ResStatisticsParam m;
        prepare(m);
        QSignalSpy saves(&m, &ResStatisticsParam::sigSaveRecord);
        PlatformClock::setNow(at("2026-12-07 03:00:00"));
        m.checkDate();
        QCOMPARE(saves.last()[2].toBool(), true);
        QCOMPARE(m.dayStart.load(), secs("2026-12-06 08:00:00"));
        QCOMPARE(m.getCurDBDate(), QString("2026-12-06"));

        PlatformClock::setNow(at("2026-12-07 03:01:00"));
        m.checkDate();
        QCOMPARE(saves.last()[2].toBool(), false);
        m.addRecord(0, 0, {true, true}, true);
        QCOMPARE(group(m).all.count.OK[19], 1);  // 03:01 is 19 hours into the day of 12-06

        // A missing config file before the morning hour gives the same start.
        QFile::remove("resstatistics.json");
        ResStatisticsParam fresh;
        fresh.laodConfig();
        QCOMPARE(fresh.dayStart.load(), secs("2026-12-06 08:00:00"));
    }

    // A day closes only when the next one can carry a later date: a clock set back by less
    // than a day, or a morning start moved later, keeps counting the running day; the
    // archive of its date is never made a second time.
    void dayChangeNeedsALaterDate_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("morning");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("next");  // the new day start, empty when the day runs on
        QTest::newRow("a whole day") << "2026-12-05 08:00:00" << 8 << "2026-12-06 08:00:00"
                                     << "2026-12-06 08:00:00";
        QTest::newRow("back 5 minutes over the morning hour")
            << "2026-12-06 08:00:00" << 8 << "2026-12-06 07:55:00" << QString();
        QTest::newRow("back 23 hours") << "2026-12-06 08:00:00" << 8 << "2026-12-05 09:00:00" << QString();
        QTest::newRow("back a whole day") << "2026-12-06 08:00:00" << 8 << "2026-12-05 08:00:00"
                                          << "2026-12-05 08:00:00";
        QTest::newRow("morning moved to 20, next morning")
            << "2026-12-05 08:00:00" << 20 << "2026-12-06 08:00:00" << QString();
        QTest::newRow("morning moved to 20, at 20:00") << "2026-12-05 08:00:00" << 20 << "2026-12-06 20:00:00"
                                                       << "2026-12-06 20:00:00";
        QTest::newRow("morning moved to 6") << "2026-12-05 08:00:00" << 6 << "2026-12-06 08:00:00"
                                            << "2026-12-06 06:00:00";
    }
    void dayChangeNeedsALaterDate()
    {
        QFETCH(QString, start);
        QFETCH(int, morning);
        QFETCH(QString, now);
        QFETCH(QString, next);
        ResStatisticsParam m;
        prepare(m, start);
        m.morningsStart = morning;
        QSignalSpy saves(&m, &ResStatisticsParam::sigSaveRecord);
        PlatformClock::setNow(at(now));
        m.addRecord(0, 0, {true, true}, true);
        m.checkDate();
        QCOMPARE(saves.size(), 1);
        QCOMPARE(saves[0][0].toString(), at(start).toString("yyyy-MM-dd"));
        QCOMPARE(saves[0][2].toBool(), !next.isEmpty());
        QCOMPARE(m.dayStart.load(), secs(next.isEmpty() ? start : next));
        QCOMPARE(m.curCount.date, m.getCurDBDate());
        QCOMPARE(StatRig::sum(group(m).all.count.OK), next.isEmpty() ? 1 : 0);
    }

    // The morning start moved during a day: the day goes on counting from its own start hour, in
    // its groups, in a group first seen after the move, for every camera and detection; the
    // morning is the new start to 20:00 of the day's date, the night the rest, and a chart's
    // column holds the moulds of its clock hour. Random moulds and move, by seed.
    void morningMovedDuringTheDayKeepsEachMouldsHour()
    {
        struct Mould
        {
            QDateTime at;
            QString group;  // empty: the move
            int detect;
            bool ok[2];
        };
        const QDateTime start = at("2026-12-05 08:00:00");
        for (quint32 seed = 1; seed <= 40; ++seed) {
            QRandomGenerator random{seed};
            ResStatisticsParam m;
            prepare(m);
            const int moved = 4 + random.bounded(9);
            const QDateTime moveAt = start.addSecs(random.bounded(86400));
            QList<Mould> moulds{{moveAt, QString(), 0, {}}};
            for (int i = 0; i < 40; ++i) {
                const QDateTime t = start.addSecs(random.bounded(86400));
                moulds << Mould{t, t > moveAt && random.bounded(2) ? "h" : "g", random.bounded(2),
                                {random.bounded(3) > 0, random.bounded(3) > 0}};
            }
            std::stable_sort(moulds.begin(), moulds.end(), [](const Mould& a, const Mould& b) { return a.at < b.at; });
            for (const Mould& mould : moulds) {
                PlatformClock::setNow(mould.at);
                if (mould.group.isEmpty()) {
                    m.laodConfigFromJson({{"morningsStart", moved}, {"morningsEnd", 20}, {"nightStart", 20}, {"nightEnd", moved}});
                    m.setCurGroup();
                    m.checkDate();
                    continue;
                }
                m.curGroupName = mould.group;
                m.addRecord(mould.detect, 0, {mould.ok[0], mould.ok[1]}, false);
            }
            m.slotUpdateRecord(0, QString());
            // The moulds of the viewed group, one entry and result, in [from, from + hours).
            auto counted = [&](int camera, int detect, bool ok, const QDateTime& from, int hours) {
                return int(std::count_if(moulds.begin(), moulds.end(), [&](const Mould& x) {
                    return x.group == m.viewGroupName && x.detect == detect && x.at >= from &&
                           x.at < from.addSecs(hours * 3600) &&
                           (camera == kStatAllIndex ? x.ok[0] && x.ok[1] : x.ok[camera]) == ok;
                }));
            };
            for (const QString& g : m.getGroups())
                for (int camera : {0, 1, kStatAllIndex})
                    for (int detect : {0, 1})
                        for (bool ok : {true, false}) {
                            m.viewGroupName = g;
                            const QString what = QString("seed %1: %2 %3 %4").arg(seed).arg(g).arg(camera).arg(detect);
                            const int morning = counted(camera, detect, ok, QDateTime(start.date(), QTime(moved, 0)), 20 - moved);
                            QVERIFY2(m.getCount(Morning, ok, camera, detect) == morning &&
                                         m.getCount(Night, ok, camera, detect) == counted(camera, detect, ok, start, 24) - morning,
                                     qPrintable(what));
                            const QList<int> labels = m.getShiftTimeList(Morning);
                            const QList<int> series = m.getRes(Morning, ok, camera, detect);
                            for (int i = 0; i < series.size(); ++i)
                                QVERIFY2(series[i] == counted(camera, detect, ok, QDateTime(start.date(), QTime(labels[i], 0)), 1),
                                         qPrintable(what));
                        }
        }
    }

    // The stored day start and hours: missing hours read as 0, a file that does not parse is replaced.
    void configFile()
    {
        ResStatisticsParam m;
        PlatformClock::setNow(at("2026-12-05 09:00:00"));
        m.laodConfig();
        QCOMPARE(m.dayStart.load(), secs("2026-12-05 08:00:00"));
        QFile f("resstatistics.json");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject saved = QJsonDocument::fromJson(f.readAll()).object();
        f.close();
        QCOMPARE(saved.value("time").toString(), QString::number(secs("2026-12-05 08:00:00")));
        QCOMPARE(saved.value("nightEnd").toInt(), 8);

        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(R"({"time": "12345", "morningsStart": 6})");
        f.close();
        m.laodConfig();
        QCOMPARE(m.dayStart.load(), 12345u);
        QCOMPARE(m.morningsStart, 6);
        QCOMPARE(m.morningsEnd, 0);

        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{not json");
        f.close();
        TestSupport::clearCapturedMessages();
        m.laodConfig();
        QVERIFY(TestSupport::capturedMessages().join("\n").contains("laodConfig fail, Error parsing JSON:"));
        QCOMPARE(m.dayStart.load(), secs("2026-12-05 06:00:00"));

        QJsonObject hours{{"morningsStart", 6}, {"morningsEnd", 0}, {"nightStart", 0}, {"nightEnd", 0}};
        QVERIFY(!m.checkParam(hours));
        QCOMPARE(hours.value("time").toString(), QString::number(m.dayStart.load()));
        hours.insert("nightEnd", 7);
        QVERIFY(m.checkParam(hours));
    }

    // Raising the detection count grows the live lists; lowering it keeps them.
    void detectionCountGrowsOnly()
    {
        ResStatisticsParam m;
        prepare(m);
        m.addRecord(0, 0, {true, true}, false);
        m.checkCameraDetectCount(4);
        QCOMPARE(group(m).all.detects.size(), 4);
        QCOMPARE(group(m).cameras[1].detects.size(), 4);
        QCOMPARE(group(m).cameras[1].detects[3].OK, StatRig::filled(kStatHours, 0));
        m.checkCameraDetectCount(2);
        QCOMPARE(group(m).cameras[0].detects.size(), 4);
    }

    // A live record without any group: the screens show the current group rather than
    // reading the first of none.
    void startWithoutAnyStoredGroup()
    {
        numCamera = 2;
        gDNum = 2;
        PlatformClock::setNow(at("2026-12-05 09:00:00"));
        QVERIFY(StatRig::storeDay("ResStatistics.db", QJsonObject{{"date", "2026-12-05"}, {"groups", QJsonArray()}}));
        ResStatisticsParam m;
        m.init("mould-7", gDNum);
        QCOMPARE(m.curCount.groups.size(), 0);
        QCOMPARE(m.viewGroupName, QString("mould-7"));
        m.addRecord(1, 0, {true, true}, true);
        QCOMPARE(group(m, "mould-7").all.count.OK[1], 1);
    }

    // A stored record with short hour lists, no all-camera object and a camera without its
    // cycle entry is padded on load, so counting into any bucket is safe.
    void shortStoredListsArePadded()
    {
        numCamera = 2;
        gDNum = 2;
        PlatformClock::setNow(at("2026-12-05 20:30:00"));
        const QJsonObject shortDetect{{"detectID", 0}, {"OK", QJsonArray{1, 2, 3}}, {"NG", QJsonArray{}}};
        const QJsonObject camera{{"cameraID", 0}, {"data", QJsonArray{shortDetect}}};
        const QJsonObject g{{"groupName", "g"}, {"datas", QJsonArray{camera}}};
        QVERIFY(StatRig::storeDay("ResStatistics.db", QJsonObject{{"date", "2026-12-05"}, {"groups", QJsonArray{g}}}));
        ResStatisticsParam m;
        m.init("g", gDNum);
        m.addRecord(1, 0, {false, true}, true);
        const CountGroup& loaded = group(m);
        QCOMPARE(loaded.cameras.size(), 1);
        QCOMPARE(loaded.cameras[0].detects[0].OK.mid(0, 4), QList<int>({1, 2, 3, 0}));
        QCOMPARE(loaded.cameras[0].detects[0].OK.size(), kStatHours);
        QCOMPARE(loaded.cameras[0].detects[1].NG[12], 1);
        QCOMPARE(loaded.cameras[0].count.NG[12], 1);
        QCOMPARE(loaded.all.detects[1].NG[12], 1);
        QCOMPARE(loaded.all.count.NG.size(), kStatHours);
        QCOMPARE(loaded.cameras[0].detects[0].day.OK, 6);
    }
};

MONITOR_TEST_MAIN(TestStatisticsModel)
#include "tst_statistics_model.moc"
