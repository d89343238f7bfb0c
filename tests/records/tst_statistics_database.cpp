// Statistics storage: the day document, the live file's repair, minute saves a second connection sees, the daily
// archive and its failures.
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include "commandrunner.h"
#include "globals.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "statisticsrig.h"
#include "testsupport.h"

using StatRig::at;
using StatRig::secs;

namespace {

const CountGroup* groupOf(const CountGroupList& day, const QString& name)
{
    for (const CountGroup& g : day.groups)
        if (g.groupName == name)
            return &g;
    return nullptr;
}

// The OK cycles of all cameras that the live file holds for group "g".
int storedCycles(const QString& file)
{
    const CountGroupList day = StatRig::storedDay(file);
    const CountGroup* g = groupOf(day, "g");
    return g ? StatRig::sum(g->all.count.OK) : -1;
}

// Captures messages with their level (the log file drops debug lines).
QList<QPair<QtMsgType, QString>> gLevels;
QMutex gLevelsMutex;
void levelHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    QMutexLocker lock(&gLevelsMutex);
    gLevels.append({type, msg});
}

}  // namespace

class TestStatisticsDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        StatRig::useUtc();
        numCamera = 2;
        gDNum = 2;
    }

    void init()
    {
        StatRig::freshFiles();
        CommandRunner::clearCalls();
        PlatformClock::setNow(at("2026-12-05 09:00:00"));
    }

    void cleanup() { PlatformClock::resetNow(); }

    // Written and read back: names, dates, shift starts and hours survive; ids are positions.
    void documentRoundTrip()
    {
        ResStatisticsParam m;
        CountGroupList day;
        day.date = "2026-12-05";
        CountGroup g;
        g.morningStart = 6;
        g.nightStart = 18;
        g.countedFrom = 6;
        ResStatisticsParam::initStuCountGroup(g, "g");
        g.cameras[1].detects[0].OK[5] = 7;
        g.cameras[1].cameraID = 42;
        g.all.count.NG[23] = 3;
        CountGroup empty;
        empty.groupName = "none";
        day.groups << g << empty;
        const QJsonObject json = ResStatisticsParam::StuCountToJson(day);
        const QJsonObject first = json["groups"].toArray()[0].toObject();
        QCOMPARE(first["cameraCount"].toInt(), 2);
        QCOMPARE(first["detectCount"].toInt(), 2);
        QCOMPARE(first["datas"].toArray()[2].toObject()["cameraID"].toInt(), -1);
        const QJsonObject second = json["groups"].toArray()[1].toObject();
        QCOMPARE(second["cameraCount"].toInt(), 0);
        QCOMPARE(second["datas"].toArray().size(), 1);
        QVERIFY(!second.contains("countedFrom"));  // a day read from an older program stays unmarked

        CountGroupList back;
        ResStatisticsParam::StuCountFromJson(back, json);
        QCOMPARE(back.date, day.date);
        QCOMPARE(back.groups.size(), 2);
        QCOMPARE(back.groups[0].morningStart, 6);
        QCOMPARE(back.groups[0].nightStart, 18);
        QCOMPARE(back.groups[0].countedFrom, 6);
        QCOMPARE(back.groups[1].countedFrom, -1);
        QCOMPARE(back.groups[0].cameras[1].cameraID, 1);
        QCOMPARE(back.groups[0].cameras[1].detects[0].OK, g.cameras[1].detects[0].OK);
        QCOMPARE(back.groups[0].all.cameraID, -1);
        QCOMPARE(back.groups[0].all.count.detectID, -1);
        QCOMPARE(back.groups[0].all.count.NG[23], 3);

        // Stored ids 5 and 2 read as positions 0 and 1; a short array stays short; no groups, no groups.
        const QJsonObject odd{
            {"groupName", "x"},
            {"datas",
             QJsonArray{QJsonObject{{"cameraID", 5},
                                    {"data", QJsonArray{QJsonObject{{"detectID", 0}, {"OK", QJsonArray{1, 2, 3}}}}}},
                        QJsonObject{{"cameraID", 2}, {"data", QJsonArray{}}}}}};
        CountGroup read;
        ResStatisticsParam::StuCountGroupFromJson(read, odd);
        QCOMPARE(read.cameras.size(), 2);
        QCOMPARE(read.cameras[0].detects[0].OK, QList<int>({1, 2, 3}));
        QCOMPARE(read.morningStart, 8);
        ResStatisticsParam::StuCountFromJson(back, QJsonObject{{"date", "d"}});
        QCOMPARE(back.groups.size(), 0);
    }

    // A day an older program stored (no mark of the hour its buckets begin at, "morningStart" 8
    // whatever it counted from) reads as that program read it, from the morning start in force
    // (here 9): 5 moulds in the morning, 3 at night, its 09:00 moulds under 9 in the chart.
    void dayOfAnOlderProgramReadsAsItDid()
    {
        QFile fixture(QFINDTESTDATA("older-program-day.json"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        const QString file = StatRig::dayFile("2026-11-30");
        QVERIFY(StatRig::storeDay(file, QJsonDocument::fromJson(fixture.readAll()).object()));
        ResStatisticsParam m;
        m.init("default", gDNum);
        m.laodConfigFromJson({{"morningsStart", 9}, {"morningsEnd", 20}, {"nightStart", 20}, {"nightEnd", 9}});
        QSignalSpy loaded(&m, &ResStatisticsParam::sigLoadFinish);
        m.slotUpdateRecord(1, file);
        QVERIFY(loaded.wait(10000));
        m.viewGroupName = "default";
        for (int camera : {0, kStatAllIndex}) {
            QCOMPARE(m.getCount(Morning, true, camera, 0), 5);
            QCOMPARE(m.getCount(Night, true, camera, kStatAllIndex), 3);
            QCOMPARE(m.getCount(Night, false, camera, 0), 1);
        }
        QCOMPARE(m.getRes(Morning, true, kStatAllIndex, kStatAllIndex).first(), 2);
    }

    // A fresh installation: the first load stores an all-zero record of the current group,
    // dated with the running day. An archived per-row day is converted in place.
    void firstLoadAndPerRowConversion()
    {
        ResStatisticsParam m;
        m.init("g", gDNum);
        const CountGroupList live = StatRig::storedDay("ResStatistics.db");
        QCOMPARE(live.date, QString("2026-12-05"));
        QCOMPARE(live.groups.size(), 1);
        QCOMPARE(live.groups[0].groupName, QString("g"));
        QCOMPARE(live.groups[0].cameras.size(), 2);

        const QString file = StatRig::dayFile("2026-11-30");
        const QString thirty = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30";
        QVERIFY(StatRig::exec(file, "insert into resstatistics values ('C1_D0', ?, ?)", {thirty, "4 5"}));
        QVERIFY(StatRig::exec(file, "insert into resstatistics values ('C8_D8', '9', '1 1 1 1 1 1 1 1 1 1')"));
        QSignalSpy loaded(&m, &ResStatisticsParam::sigLoadFinish);
        m.slotUpdateRecord(1, file);
        QVERIFY(loaded.wait(10000));
        QCOMPARE(loaded[0][0].toBool(), true);
        QCOMPARE(m.viewCount.date, QString("2026-11-30"));
        QCOMPARE(m.getGroups(), QStringList({"default"}));
        m.viewGroupName = "default";
        QCOMPARE(m.getRes(AllDay, true, 1, 0).last(), 24);
        QCOMPARE(m.getRes(AllDay, false, 1, 0).mid(0, 3), QList<int>({4, 5, 0}));
        QCOMPARE(m.getCount(AllDay, false, 8, 8), 10);
        QVERIFY(StatRig::storedText(file).contains("2026-11-30"));

        // A day file that is not there: an empty day "default" of the running date.
        m.slotUpdateRecord(1, "ResStatistics/1999-01-01.db");
        QVERIFY(loaded.wait(10000));
        QCOMPARE(loaded[1][0].toBool(), false);
        QCOMPARE(m.viewCount.date, QString("2026-12-05"));
        QVERIFY(!QFile::exists("ResStatistics/1999-01-01.db"));
    }

    // A failing save is logged as a warning (the log file drops debug lines).
    void failedUpsertIsAWarning()
    {
        QVERIFY(StatRig::exec("ResStatistics.db", "drop table resstatistics"));
        QVERIFY(StatRig::exec("ResStatistics.db", "create table resstatistics (name text, value1 text, value2 text)"));
        ResStatisticsDatabase db(nullptr);
        {
            QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "upsert");
            c.setDatabaseName("ResStatistics.db");
            QVERIFY(c.open());
            gLevels.clear();
            const QtMessageHandler previous = qInstallMessageHandler(levelHandler);
            const bool saved = db.saveCountFromJson(QJsonObject{{"date", "x"}}, QSqlQuery(c));
            qInstallMessageHandler(previous);
            QVERIFY(!saved);
            c.close();
        }
        QSqlDatabase::removeDatabase("upsert");
        QCOMPARE(gLevels.size(), 1);
        QCOMPARE(gLevels[0].first, QtWarningMsg);
        QVERIFY(gLevels[0].second.startsWith("Upsert failed:"));
    }

    // A live file that is no database is kept aside and the template takes its place: no
    // box, no reboot. Without a template the program runs on without statistics.
    void brokenLiveFileIsRepairedNotRebooted()
    {
        QFile live("ResStatistics.db");
        QVERIFY(live.open(QIODevice::WriteOnly | QIODevice::Truncate));
        live.write(QByteArray(4096, 'x'));
        live.close();
        {
            ResStatisticsDatabase db(nullptr);
            QVERIFY(db.usable);
        }
        QVERIFY(!CommandRunner::callTexts().contains("reboot"));
        QCOMPARE(QDir(".").entryList({"ResStatistics-broken-*.db"}).size(), 1);
        QVERIFY(StatRig::exec("ResStatistics.db", "select count(*) from resstatistics"));

        QVERIFY(live.open(QIODevice::WriteOnly | QIODevice::Truncate));
        live.write(QByteArray(4096, 'y'));
        live.close();
        QFile::remove("ResStatisticsNULL.db");
        TestSupport::clearCapturedMessages();
        ResStatisticsParam m;
        m.init("g", gDNum);
        QVERIFY(!m.database->usable);
        m.setTimer(true);
        QVERIFY(!m.dayTimer->isActive());
        QVERIFY(TestSupport::capturedMessages().join("\n").contains("runs without statistics"));
        QVERIFY(!CommandRunner::callTexts().contains("reboot"));
        m.addRecord(0, 0, {true, true}, true);  // counting goes on in memory
        m.checkDate();
    }

    // What a power loss would leave: after each minute save a second connection reads every
    // count handed over before it.
    void everyMinuteSaveIsReadableFromAnotherConnection()
    {
        ResStatisticsParam m;
        m.init("g", gDNum);
        for (int round = 1; round <= 3; ++round) {
            PlatformClock::setNow(at("2026-12-05 09:00:00").addSecs(60 * round));
            for (int i = 0; i < round; ++i) {
                m.addRecord(0, 0, {true, true}, false);
                m.addRecord(1, 0, {true, true}, true);
            }
            m.checkDate();
            const int expected = round * (round + 1) / 2;
            QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), expected, 10000);
        }
        // The GUI thread hands the save over; the database thread writes it.
        QVERIFY(m.database->thread() != QThread::currentThread());

        // The stop's save is written when it returns, also behind work the thread still has.
        m.addRecord(1, 0, {true, true}, true);
        QMetaObject::invokeMethod(m.database, [] { QThread::msleep(300); });
        m.saveRunningDay();
        QCOMPARE(storedCycles("ResStatistics.db"), 7);
    }

    // The day change archives ./ResStatistics/<date>.db and starts the next day in a fresh
    // file; a restart reloads the running day.
    void dayChangeArchivesAndRestartReloads()
    {
        QSignalSpy* listed = nullptr;
        {
            ResStatisticsParam m;
            m.init("g", gDNum);
            listed = new QSignalSpy(&m, &ResStatisticsParam::sigDayListChanged);
            m.addRecord(1, 0, {true, false}, true);
            PlatformClock::setNow(at("2026-12-06 08:00:00"));
            m.checkDate();
            QVERIFY(listed->wait(10000));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists("ResStatistics/2026-12-05.db"), 10000);
            const CountGroupList archived = StatRig::storedDay("ResStatistics/2026-12-05.db");
            QCOMPARE(archived.date, QString("2026-12-05"));
            QCOMPARE(StatRig::sum(groupOf(archived, "g")->all.count.NG), 1);
            QCOMPARE(StatRig::storedText("ResStatistics.db"), QString());  // the template

            PlatformClock::setNow(at("2026-12-06 09:30:00"));
            m.addRecord(1, 0, {true, true}, true);
            m.addRecord(1, 0, {true, true}, true);
            PlatformClock::setNow(at("2026-12-06 09:31:00"));
            m.checkDate();
            QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), 2, 10000);
            delete listed;
        }
        // A group stored with another start hour (an older program) is counted from the day's.
        CountGroupList stored = StatRig::storedDay("ResStatistics.db");
        stored.groups[0].morningStart = 6;
        QVERIFY(StatRig::storeDay("ResStatistics.db", ResStatisticsParam::StuCountToJson(stored)));
        ResStatisticsParam again;
        again.init("g", gDNum);
        QCOMPARE(again.curCount.date, QString("2026-12-06"));
        QCOMPARE(groupOf(again.curCount, "g")->morningStart, 8);
        QCOMPARE(StatRig::sum(groupOf(again.curCount, "g")->all.count.OK), 2);
        again.addRecord(1, 0, {true, true}, true);
        QCOMPARE(groupOf(again.curCount, "g")->all.count.OK[1], 3);
        QVERIFY(QFile::exists("ResStatistics/2026-12-05.db"));
    }

    // A clock corrected back over the morning hour keeps the day just archived whole; a clock
    // set back a whole day, to a date that has a day file, adds the running day to that file
    // at its end, and the minute saves go on meanwhile.
    void clockSetBackNeverOverwritesADayFile()
    {
        ResStatisticsParam m;
        m.init("g", gDNum);
        QSignalSpy loaded(&m, &ResStatisticsParam::sigLoadFinish);
        // What the database thread has done once it answers a load asked for after it.
        auto settle = [&] {
            m.slotUpdateRecord(1, "ResStatistics/none.db");
            QVERIFY(loaded.wait(10000));
        };
        auto cycles = [&](int n) {
            for (int i = 0; i < n; ++i) m.addRecord(1, 0, {true, true}, true);
        };
        auto check = [&](const QString& time) {
            PlatformClock::setNow(at(time));
            m.checkDate();
        };
        cycles(3);
        check("2026-12-06 08:02:00");
        cycles(1);
        for (const char* time : {"2026-12-06 07:57:00", "2026-12-06 08:00:00", "2026-12-06 08:01:00"}) check(time);
        settle();
        QCOMPARE(storedCycles("ResStatistics/2026-12-05.db"), 3);
        QCOMPARE(storedCycles("ResStatistics.db"), 1);
        QCOMPARE(m.getCurDBDate(), QString("2026-12-06"));

        check("2026-12-05 08:00:00");
        QCOMPARE(m.getCurDBDate(), QString("2026-12-05"));
        cycles(2);
        check("2026-12-05 08:01:00");
        QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), 2, 10000);
        check("2026-12-06 08:00:00");
        cycles(1);
        check("2026-12-06 08:01:00");
        QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), 1, 10000);
        QCOMPARE(storedCycles("ResStatistics/2026-12-05.db"), 5);
        QCOMPARE(StatRig::storedDay("ResStatistics/2026-12-05.db").date, QString("2026-12-05"));
        check("2026-12-07 08:00:00");
        settle();
        QCOMPARE(storedCycles("ResStatistics/2026-12-06.db"), 2);
        QCOMPARE(QDir("ResStatistics").entryList({"*.db"}), (QStringList{"2026-12-05.db", "2026-12-06.db"}));
    }

    // Merging keeps groups by name and adds hour by hour; what only the running day has is added.
    void mergeAddsHourByHour()
    {
        CountGroupList day;
        CountGroup g;
        ResStatisticsParam::initStuCountGroup(g, "g");
        g.all.count.OK[3] = 2;
        day.groups << g;
        CountGroupList running = day;
        running.groups[0].all.count.OK[3] = 5;
        running.groups[0].all.count.NG[4] = 1;
        CountCamera extra;
        ResStatisticsParam::initStuCountCamera(extra);
        extra.count.NG[0] = 9;
        running.groups[0].cameras << extra;
        running.groups << g;
        running.groups[1].groupName = "h";
        ResStatisticsParam::mergeCount(day, running);
        QCOMPARE(day.groups.size(), 2);
        QCOMPARE(day.groups[0].all.count.OK[3], 7);
        QCOMPARE(day.groups[0].all.count.NG[4], 1);
        QCOMPARE(day.groups[0].cameras.size(), 3);
        QCOMPARE(day.groups[0].cameras[2].count.NG[0], 9);
        QCOMPARE(day.groups[1].groupName, QString("h"));
    }

    // A move that fails keeps the closed day in the live file: the new day's saves do not
    // overwrite it, and the move is tried again at each save until it succeeds.
    void failedMoveKeepsTheDay()
    {
        ResStatisticsParam m;
        m.init("g", gDNum);
        m.addRecord(1, 0, {true, true}, true);
        m.addRecord(1, 0, {true, true}, true);
        // Something in the way of the day file (as root a read-only folder would not stop it).
        QVERIFY(QDir().mkpath("ResStatistics/2026-12-05.db/in-the-way"));
        PlatformClock::setNow(at("2026-12-06 08:00:00"));
        m.checkDate();
        QCOMPARE(m.curCount.date, QString("2026-12-06"));
        m.addRecord(1, 0, {true, true}, true);
        PlatformClock::setNow(at("2026-12-06 08:01:00"));
        m.checkDate();
        PlatformClock::setNow(at("2026-12-06 08:02:00"));
        m.checkDate();
        // Both saves ran on the database thread before this answer comes back.
        QSignalSpy loaded(&m, &ResStatisticsParam::sigLoadFinish);
        m.slotUpdateRecord(1, "ResStatistics.db");
        QVERIFY(loaded.wait(10000));
        QCOMPARE(m.viewCount.date, QString("2026-12-05"));
        QCOMPARE(storedCycles("ResStatistics.db"), 2);

        QVERIFY(QDir("ResStatistics/2026-12-05.db").removeRecursively());
        PlatformClock::setNow(at("2026-12-06 08:03:00"));
        m.checkDate();
        QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), 1, 10000);
        QCOMPARE(storedCycles("ResStatistics/2026-12-05.db"), 2);
        QCOMPARE(StatRig::storedDay("ResStatistics.db").date, QString("2026-12-06"));
    }

    // A live file that cannot take the closing save is still archived at the day change,
    // and the next day starts in a fresh file.
    void unwritableLiveFileIsArchivedAnyway()
    {
        ResStatisticsParam m;
        m.init("g", gDNum);
        QFile live("ResStatistics.db");
        QVERIFY(live.open(QIODevice::WriteOnly | QIODevice::Truncate));
        live.write(QByteArray(4096, 'z'));
        live.close();
        PlatformClock::setNow(at("2026-12-06 08:00:00"));
        m.checkDate();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists("ResStatistics/2026-12-05.db"), 10000);
        m.addRecord(1, 0, {true, true}, true);
        PlatformClock::setNow(at("2026-12-06 08:01:00"));
        m.checkDate();
        QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), 1, 10000);
    }

    // A live file still holding a closed day at start (its move failed before a restart) is
    // archived under its own date, and the running day starts empty.
    void staleLiveDayIsArchivedAtStart()
    {
        {
            ResStatisticsParam m;
            m.init("g", gDNum);
            m.addRecord(1, 0, {true, true}, true);
            m.checkDate();
            QTRY_COMPARE_WITH_TIMEOUT(storedCycles("ResStatistics.db"), 1, 10000);
        }
        QFile config("resstatistics.json");
        QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write(
            QString(R"({"time": "%1", "morningsStart": 8, "morningsEnd": 20, "nightStart": 20, "nightEnd": 8})")
                .arg(secs("2026-12-06 08:00:00"))
                .toUtf8());
        config.close();
        PlatformClock::setNow(at("2026-12-06 09:00:00"));
        ResStatisticsParam m;
        m.init("g", gDNum);
        QCOMPARE(m.curCount.date, QString("2026-12-06"));
        QCOMPARE(storedCycles("ResStatistics/2026-12-05.db"), 1);
        QCOMPARE(StatRig::storedText("ResStatistics.db"), QString());
        // The new day starts at zero.
        m.addRecord(1, 0, {true, true}, true);
        QCOMPARE(StatRig::sum(groupOf(m.curCount, "g")->all.count.OK), 1);
    }
};

MONITOR_TEST_MAIN(TestStatisticsDatabase)
#include "tst_statistics_database.moc"
