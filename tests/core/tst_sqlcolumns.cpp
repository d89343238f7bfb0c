// SQL column utilities on a real SQLite file: adding once, refusing a missing table, exact names.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "miscfunc.h"
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
};

MONITOR_TEST_MAIN(TestSqlColumns)
#include "tst_sqlcolumns.moc"
