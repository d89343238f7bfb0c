// SQL column utilities on a real SQLite file: adding once, refusing a missing table, exact names; unreadable files set
// aside.
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "brokendatabase.h"
#include "miscfunc.h"
#include "platformclock.h"
#include "testsupport.h"

namespace {

int columnCount(QSqlDatabase& db, const QString& table, const QString& column)
{
    QSqlQuery q(db);
    q.exec(QString("PRAGMA table_info(%1);").arg(table));
    int n = 0;
    while (q.next()) n += q.value(1).toString() == column ? 1 : 0;
    return n;
}

bool logged(const QString& start)
{
    for (const QString& m : TestSupport::capturedMessages())
        if (m.startsWith(start))
            return true;
    return false;
}

}  // namespace

class TestSqlColumns : public QObject
{
    Q_OBJECT

    QSqlDatabase db;

private slots:
    void initTestCase()
    {
        db = QSqlDatabase::addDatabase("QSQLITE", "records");
        db.setDatabaseName("RECORD.db");
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("CREATE TABLE RECORD (recordtime TEXT, recordpassword TEXT, remarks TEXT);"));
        QVERIFY(q.exec("INSERT INTO RECORD VALUES ('2024-01-05 08:15:00', '8517', 'old row');"));
    }

    void init() { TestSupport::clearCapturedMessages(); }

    void addsOnceAndKeepsRows()
    {
        QVERIFY(!columnExists(db, "RECORD", "recordtype"));
        QVERIFY(addColumnIfNotExists(db, "RECORD", "recordtype", "TEXT"));
        QVERIFY(logged("Column \"recordtype\" added to table \"RECORD\""));
        QVERIFY(!addColumnIfNotExists(db, "RECORD", "recordtype", "TEXT"));
        QVERIFY(logged("Column \"recordtype\" already exists in table \"RECORD\""));
        QCOMPARE(columnCount(db, "RECORD", "recordtype"), 1);
        QVERIFY(columnExists(db, "RECORD", "recordtype"));

        QSqlQuery q(db);
        QVERIFY(q.exec("SELECT remarks, recordtype FROM RECORD;"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("old row"));
        QVERIFY(q.value(1).isNull());
    }

    void namesAreExact()
    {
        QVERIFY(columnExists(db, "RECORD", "remarks"));
        QVERIFY(!columnExists(db, "RECORD", "Remarks"));
        QVERIFY(!columnExists(db, "RECORD", "remark"));
    }

    void missingTableWarns()
    {
        QVERIFY(!columnExists(db, "NOTHERE", "recordtype"));
        QVERIFY(!addColumnIfNotExists(db, "NOTHERE", "recordtype", "TEXT"));
        QVERIFY(logged("Failed to add column:"));
        QVERIFY(!db.tables().contains("NOTHERE"));
    }

    void brokenStatementWarns()
    {
        QVERIFY(!columnExists(db, "no such(", "x"));
        QVERIFY(logged("Failed to get table info:"));
        QVERIFY(!addColumnIfNotExists(db, "no such(", "x", "TEXT"));
        QVERIFY(logged("Failed to add column:"));
    }

    // A file that cannot be read goes aside, bytes and all, only when its replacement can be
    // read; a good file, one another connection holds locked (busy, not broken), a missing one
    // and an earlier broken copy stay as they are.
    void unreadableFilesGoAsideForAReadableReplacement()
    {
        const QString probe = "select count(*) from RECORD";
        QVERIFY(DatabaseReadable("RECORD.db", probe));  // the good one of this test
        QVERIFY(QFile::copy("RECORD.db", "good-copy.db"));
        const QByteArray garbage = "no database at all";
        auto spoil = [&](const QString& file) {
            QFile f(file);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(garbage) > 0;
        };
        QVERIFY(spoil("broken-copy.db"));
        const struct
        {
            const char* content;  // good, busy, broken or missing
            const char* replacement;
            bool setAside;
        } cases[] = {
            {"good", "good-copy.db", false},
            {"busy", "good-copy.db", false},
            {"missing", "good-copy.db", false},
            {"broken", "broken-copy.db", false},
            {"broken", "good-copy.db", true},
            {"broken", "good-copy.db", true},  // the same second: the first copy keeps its name
        };
        PlatformClock::setNow(QDateTime(QDate(2026, 3, 7), QTime(9, 15, 0)));
        int aside = 0;
        for (const auto& c : cases) {
            QFile::remove("sample.db");
            const bool busy = qstrcmp(c.content, "busy") == 0;
            if (qstrcmp(c.content, "good") == 0 || busy)
                QVERIFY(QFile::copy("RECORD.db", "sample.db"));
            else if (qstrcmp(c.content, "broken") == 0)
                QVERIFY(spoil("sample.db"));
            {
                QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
                holder.setDatabaseName("sample.db");
                if (busy) {
                    QVERIFY(holder.open());
                    QVERIFY(QSqlQuery(holder).exec("BEGIN EXCLUSIVE"));
                }
                TestSupport::clearCapturedMessages();
                QCOMPARE(SetAsideBrokenDatabase("sample.db", probe, c.replacement), c.setAside);
                holder.close();
            }
            QSqlDatabase::removeDatabase("holder");
            aside += c.setAside ? 1 : 0;
            QCOMPARE(QFile::exists("sample.db"), qstrcmp(c.content, "missing") != 0 && !c.setAside);
            QCOMPARE(logged("sample.db cannot be read"), qstrcmp(c.content, "broken") == 0);
        }
        PlatformClock::resetNow();
        const QStringList kept = QDir().entryList({"sample-broken-*"}, QDir::Files, QDir::Name);
        QCOMPARE(kept, QStringList({"sample-broken-20260307-091500.db", "sample-broken-20260307-091500_1.db"}));
        QFile first(kept.first());
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.readAll(), garbage);
        QCOMPARE(aside, 2);
    }
};

MONITOR_TEST_MAIN(TestSqlColumns)
#include "tst_sqlcolumns.moc"
