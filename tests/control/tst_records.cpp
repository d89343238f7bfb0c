// Operation records: the stored row, the copy for the peer, the older table, clearing and the daily archive.
#include <cerrno>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include "diskwrite.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "operatorprompts.h"
#include "platformclock.h"
#include "testsupport.h"
#include "textids.h"
#include "viewwatch2vrq.h"

namespace {

struct Row
{
    QVariant time, level, remarks, type;
};

// Reads every row of table RECORD of a database file through a connection of its own.
QList<Row> rowsOf(const QString& file)
{
    QList<Row> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec("SELECT recordtime, recordpassword, remarks, recordtype FROM RECORD");
            while (q.next()) rows.append({q.value(0), q.value(1), q.value(2), q.value(3)});
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("reader");
    return rows;
}

void runSql(const QString& file, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writer");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements) QVERIFY2(q.exec(s), qPrintable(s));
        db.close();
    }
    QSqlDatabase::removeDatabase("writer");
}

QByteArray fileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList archives()
{
    return QDir("RECORD").entryList({"*.db"}, QDir::Files, QDir::Name);
}

const QDateTime kMorning(QDate(2026, 12, 7), QTime(9, 7, 3));

}  // namespace

class TestRecords : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    QStringList notes;  // what the operator was shown without waiting

    QList<QJsonObject>& peer() { return ViewWatch2VRQ::ofManager()->sentRecords; }

private slots:
    void initTestCase()
    {
        InitLanStr();
        PlatformClock::setSleepScale(0.01);
        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        OperatorPrompts prompts;
        prompts.note = [this](const QString& text) { notes << text; };
        SetOperatorPrompts(prompts);
    }

    // A fresh factory RECORD.db without time.txt or archives, English, not logged in.
    void init()
    {
        TestSupport::clearCapturedMessages();
        win->FLushAll();
        QDir("RECORD").removeRecursively();
        QFile::remove("RECORD");
        QFile::remove("time.txt");
        QVERIFY(FactoryFixture::writeAll("."));
        PlatformClock::setNow(kMorning);
        gLan = 1;
        win->pswLevel = 0;
        win->recordDate = "2026-12-07";
        peer().clear();
    }

    void cleanupTestCase()
    {
        delete win;
        PlatformClock::resetNow();
    }

    void storesTimeLevelTextAndType()
    {
        win->InsertRecord("Operator's \"stop\"; DROP TABLE RECORD", "operate");
        win->pswLevel = 2;
        win->InsertRecord("second", "info");
        win->pswLevel = 1;
        win->InsertRecord("one argument");
        gLan = 0;
        win->pswLevel = 0;
        win->InsertRecord("中文", "run");

        const QList<Row> rows = rowsOf("RECORD.db");
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].time.toString(), QString("09.07.03"));
        QCOMPARE(rows[0].level.toString(), QString("Unlogged"));
        QCOMPARE(rows[0].remarks.toString(), QString("Operator's \"stop\"; DROP TABLE RECORD"));
        QCOMPARE(rows[0].type.toString(), QString("operate"));
        QCOMPARE(rows[1].level.toString(), QString("Advanced"));
        QCOMPARE(rows[2].level.toString(), QString("Primary"));
        // The one-argument form stores an empty text, not NULL.
        QVERIFY(!rows[2].type.isNull());
        QCOMPARE(rows[2].type.toString(), QString(""));
        QCOMPARE(rows[3].level.toString(), gaLanStr[156 * kLanColumns + 0]);
        QCOMPARE(rows[3].remarks.toString(), QString("中文"));

        // The peer gets the same four values, in the same order as the database.
        QCOMPARE(peer().size(), 4);
        const QJsonObject first = peer().first();
        QCOMPARE(first.value("recordtime").toString(), QString("09.07.03"));
        QCOMPARE(first.value("recordpassword").toString(), QString("Unlogged"));
        QCOMPARE(first.value("remarks").toString(), QString("Operator's \"stop\"; DROP TABLE RECORD"));
        QCOMPARE(first.value("recordtype").toString(), QString("operate"));
        QCOMPARE(peer()[2].value("recordtype").toString(), QString(""));

        // Without a link the kept copies stay bounded: the oldest make room.
        for (int i = 0; i < ViewWatch2VRQ::kKeptRecords; ++i)
            ViewWatch2VRQ::ofManager()->sndRecordOperate(QJsonObject{{"remarks", QString::number(i)}});
        QCOMPARE(peer().size(), ViewWatch2VRQ::kKeptRecords);
        QCOMPARE(peer().first().value("remarks").toString(), QString("0"));
        QCOMPARE(peer().last().value("remarks").toString(), QString::number(ViewWatch2VRQ::kKeptRecords - 1));
    }

    void olderTableGainsTheTypeColumn()
    {
        QFile::remove("RECORD.db");
        runSql("RECORD.db", {"CREATE TABLE RECORD (recordtime TEXT, recordpassword TEXT, remarks TEXT)",
                             "INSERT INTO RECORD VALUES ('08.00.00', 'Unlogged', 'old row')"});
        win->InsertRecord("new row", "info");
        const QList<Row> rows = rowsOf("RECORD.db");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].remarks.toString(), QString("old row"));
        QCOMPARE(rows[1].remarks.toString(), QString("new row"));
        QCOMPARE(rows[1].type.toString(), QString("info"));
    }

    void clearRemovesEveryRow()
    {
        win->InsertRecord("a", "operate");
        win->InsertRecord("b", "operate");
        win->ClearRecord();
        QVERIFY(rowsOf("RECORD.db").isEmpty());
        win->InsertRecord("after clearing", "operate");
        QCOMPARE(rowsOf("RECORD.db").size(), 1);
    }

    // With neither RECORD.db nor its template there is nothing to write into: the record is
    // dropped, the peer is not told, and no table-less RECORD.db appears.
    void noDatabaseDropsTheRecord()
    {
        win->FLushAll();
        QFile::remove("RECORD.db");
        QFile::remove("RECORDNULL.db");
        win->InsertRecord("lost", "info");
        QVERIFY(!QFile::exists("RECORD.db"));
        QVERIFY(peer().isEmpty());
    }

    // A full disk: the statement fails (SQLite's page limit answers as a full disk does), or the
    // day's fresh file cannot be copied after the roll-over. The records wait in order, with the
    // times of their events, the operator is told once, the peer has them at once, and the
    // minute's date check writes them when there is space again.
    void fullDiskKeepsTheRecords()
    {
        QFETCH(bool, atRollOver);
        win->InsertRecord("before", "info");
        if (atRollOver) {
            SetDiskWriteFailure([](const QString& path) { return path.startsWith("RECORD.db") ? ENOSPC : 0; });
            win->recordDate = "2026-12-06";
            win->SlotCheckDate();
            QCOMPARE(archives(), QStringList{"2026-12-06.db"});
            QVERIFY(!QFile::exists("RECORD.db"));
        } else {
            QSqlQuery pages(win->dbRecord);
            QVERIFY(pages.exec("PRAGMA page_count") && pages.next());
            QVERIFY(pages.exec(QString("PRAGMA max_page_count = %1").arg(pages.value(0).toInt())));
        }
        const auto lift = qScopeGuard([] { SetDiskWriteFailure({}); });
        const QString big(6000, QChar('x'));
        notes.clear();
        peer().clear();
        PlatformClock::setNow(kMorning.addSecs(1));
        win->InsertRecord(big, "run");
        PlatformClock::setNow(kMorning.addSecs(2));
        win->InsertRecord("after", "operate");
        QCoreApplication::processEvents();
        QCOMPARE(notes, QStringList{LanStr(kTextDiskFull)});
        QCOMPARE(peer().size(), 2);
        const int before = atRollOver ? 0 : 1;
        QCOMPARE(rowsOf("RECORD.db").size(), before);

        // Space again.
        SetDiskWriteFailure({});
        if (!atRollOver)
            QVERIFY(QSqlQuery(win->dbRecord).exec("PRAGMA max_page_count = 1073741823"));
        win->SlotCheckDate();
        const QList<Row> rows = rowsOf("RECORD.db");
        QCOMPARE(rows.size(), before + 2);
        QCOMPARE(rows[before].remarks.toString(), big);
        QCOMPARE(rows[before].time.toString(), QString("09.07.04"));
        QCOMPARE(rows[before + 1].remarks.toString(), QString("after"));
        QCOMPARE(rows[before + 1].type.toString(), QString("operate"));
        QCOMPARE(rows[before + 1].time.toString(), QString("09.07.05"));
        QCOMPARE(peer().size(), 2);
        QCOMPARE(notes.size(), 1);
    }
    void fullDiskKeepsTheRecords_data()
    {
        QTest::addColumn<bool>("atRollOver");
        QTest::newRow("statement") << false;
        QTest::newRow("day's new file") << true;
    }

    // Records kept on a full disk through one or two midnights: the day's file is archived
    // only once its own records are in, and each waiting record lands in the file of its day.
    void keptRecordsGoToTheirOwnDay()
    {
        QFETCH(int, days);
        SetDiskWriteFailure([](const QString& path) { return path.startsWith("RECORD.db") ? ENOSPC : 0; });
        const auto lift = qScopeGuard([] { SetDiskWriteFailure({}); });
        for (int d = 0; d <= days; ++d) {
            PlatformClock::setNow(QDateTime(kMorning.date().addDays(d), QTime(23, 59, 0)));
            win->SlotCheckDate();
            win->InsertRecord(QString("day %1").arg(d), "run");
        }
        QVERIFY(archives().isEmpty());
        PlatformClock::setNow(PlatformClock::now().addSecs(120));
        SetDiskWriteFailure({});
        win->SlotCheckDate();
        QStringList expected;
        for (int d = 0; d <= days; ++d) {
            const QString day = kMorning.date().addDays(d).toString("yyyy-MM-dd");
            const QList<Row> rows = rowsOf("RECORD/" + day + ".db");
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows[0].remarks.toString(), QString("day %1").arg(d));
            expected << day + ".db";
        }
        QCOMPARE(archives(), expected);
        QVERIFY(rowsOf("RECORD.db").isEmpty());
        QCOMPARE(win->recordDate, PlatformClock::now().date().toString("yyyy-MM-dd"));
    }
    void keptRecordsGoToTheirOwnDay_data()
    {
        QTest::addColumn<int>("days");
        QTest::newRow("one midnight") << 1;
        QTest::newRow("two midnights") << 2;
    }

    // A stop after midnight with records kept from either side of it: each goes into its own
    // day's file, or, when the day's file cannot be archived, into the one there is rather
    // than being lost.
    void stopWritesRecordsKeptOverMidnight()
    {
        QFETCH(bool, archiveBlocked);
        if (archiveBlocked) {
            QFile blocker("RECORD");  // a file where the folder belongs
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        SetDiskWriteFailure([](const QString& path) { return path.startsWith("RECORD.db") ? ENOSPC : 0; });
        win->InsertRecord("today", "run");
        PlatformClock::setNow(kMorning.addDays(1));
        win->InsertRecord("tomorrow", "run");
        SetDiskWriteFailure({});
        win->FLushAll();
        QVERIFY(win->flushLosses.isEmpty());
        QCOMPARE(rowsOf("RECORD.db").size(), archiveBlocked ? 2 : 1);
        QCOMPARE(rowsOf("RECORD/2026-12-07.db").size(), archiveBlocked ? 0 : 1);
        QFile::remove("RECORD");
    }
    void stopWritesRecordsKeptOverMidnight_data()
    {
        QTest::addColumn<bool>("archiveBlocked");
        QTest::newRow("archived") << false;
        QTest::newRow("archive blocked") << true;
    }

    void sameDayLeavesTheFile()
    {
        win->InsertRecord("today", "info");
        win->SlotCheckDate();
        win->SlotCheckDate();
        QVERIFY(archives().isEmpty());
        QCOMPARE(rowsOf("RECORD.db").size(), 1);
        QCOMPARE(win->recordDate, QString("2026-12-07"));
    }

    void newDayArchivesAndStartsFresh()
    {
        win->recordDate = "2026-12-06";
        win->InsertRecord("yesterday", "run");
        PlatformClock::setNow(kMorning.addSecs(60));
        win->SlotCheckDate();

        QCOMPARE(archives(), QStringList{"2026-12-06.db"});
        const QList<Row> old = rowsOf("RECORD/2026-12-06.db");
        QCOMPARE(old.size(), 1);
        QCOMPARE(old[0].remarks.toString(), QString("yesterday"));
        QVERIFY(rowsOf("RECORD.db").isEmpty());
        QCOMPARE(win->recordDate, QString("2026-12-07"));
        QCOMPARE(fileText("time.txt"), QByteArray("2026-12-07"));

        // The first record of the new day reopens the database and lands in the new file.
        win->InsertRecord("today", "info");
        QCOMPARE(rowsOf("RECORD.db").size(), 1);
        QCOMPARE(rowsOf("RECORD/2026-12-06.db").size(), 1);
    }

    // The clock set back: the day's archive already exists and must survive.
    void takenArchiveNameGetsANumber()
    {
        QDir().mkpath("RECORD");
        runSql("RECORD/2026-12-08.db", {"CREATE TABLE RECORD (recordtime TEXT, recordpassword TEXT, remarks TEXT, "
                                        "recordtype TEXT)",
                                        "INSERT INTO RECORD VALUES ('10.00.00', 'Unlogged', 'first archive', 'run')"});
        win->recordDate = "2026-12-08";
        win->InsertRecord("second day 8", "run");
        win->SlotCheckDate();
        QCOMPARE(archives(), (QStringList{"2026-12-08.db", "2026-12-08_1.db"}));
        QCOMPARE(rowsOf("RECORD/2026-12-08.db")[0].remarks.toString(), QString("first archive"));
        QCOMPARE(rowsOf("RECORD/2026-12-08_1.db")[0].remarks.toString(), QString("second day 8"));
    }

    // An empty or damaged time.txt date names the archive after the file's own date.
    void brokenDateFallsBackToTheFileDate()
    {
        QFETCH(QString, recorded);
        win->recordDate = recorded;
        win->InsertRecord("undated", "info");
        win->FLushAll();
        QFile file("RECORD.db");
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime(QDate(2026, 11, 30), QTime(18, 0)), QFileDevice::FileModificationTime));
        file.close();

        win->SlotCheckDate();
        QCOMPARE(archives(), QStringList{"2026-11-30.db"});
        QCOMPARE(rowsOf("RECORD/2026-11-30.db").size(), 1);
        QCOMPARE(win->recordDate, QString("2026-12-07"));
    }
    void brokenDateFallsBackToTheFileDate_data()
    {
        QTest::addColumn<QString>("recorded");
        QTest::newRow("empty") << QString("");
        QTest::newRow("damaged") << QString("2026-13-45");
        QTest::newRow("not a date") << QString("\x01garbage");
    }

    // A move that fails keeps the day's records in RECORD.db (the template must not
    // replace them) and the next check tries again.
    void failedMoveKeepsTheRecords()
    {
        QFile blocker("RECORD");
        QVERIFY(blocker.open(QIODevice::WriteOnly));  // a file where the folder belongs
        blocker.close();
        win->recordDate = "2026-12-06";
        win->InsertRecord("must survive", "run");
        win->SlotCheckDate();

        QVERIFY(!TestSupport::capturedMessages().filter("cannot move").isEmpty());
        QCOMPARE(win->recordDate, QString("2026-12-06"));
        QVERIFY(!QFile::exists("time.txt"));
        win->InsertRecord("still yesterday's file", "run");
        QCOMPARE(rowsOf("RECORD.db").size(), 2);

        QVERIFY(QFile::remove("RECORD"));
        win->SlotCheckDate();
        QCOMPARE(archives(), QStringList{"2026-12-06.db"});
        QCOMPARE(rowsOf("RECORD/2026-12-06.db").size(), 2);
        QCOMPARE(win->recordDate, QString("2026-12-07"));
    }

    // Without the template the roll-over still archives; the next record restores the
    // fresh file from the template once it is back.
    void missingTemplateAtRollOver()
    {
        win->recordDate = "2026-12-06";
        win->InsertRecord("yesterday", "run");
        QVERIFY(QFile::rename("RECORDNULL.db", "template.keep"));
        win->SlotCheckDate();
        QCOMPARE(archives(), QStringList{"2026-12-06.db"});
        QVERIFY(!QFile::exists("RECORD.db"));

        QVERIFY(QFile::rename("template.keep", "RECORDNULL.db"));
        win->InsertRecord("today", "info");
        const QList<Row> rows = rowsOf("RECORD.db");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].remarks.toString(), QString("today"));
        QVERIFY(rowsOf("RECORDNULL.db").isEmpty());
    }
};

MONITOR_TEST_MAIN(TestRecords)
#include "tst_records.moc"
