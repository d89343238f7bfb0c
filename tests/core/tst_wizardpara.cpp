// Tests of the parameter record: factory data, load clamps, derived values, storage faults, comparison.
#include <functional>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include "factorydata.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

const QString kConnection = QStringLiteral("tst-param");

QStringList valuesOf(const QString& text)
{
    return text.split(' ');
}

// Runs checks on a query of another database file, on a connection removed afterwards.
void onDatabase(const QString& file, const std::function<void(QSqlQuery&)>& check)
{
    const QString connection = QStringLiteral("tst-side");
    {
        QSqlDatabase side = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        side.setDatabaseName(file);
        QVERIFY(side.open());
        {
            QSqlQuery query(side);
            check(query);
        }
        side.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

}  // namespace

class TestWizardPara : public QObject
{
    Q_OBJECT

    MainState* window = nullptr;
    QSqlDatabase db;

    QSqlQuery query() { return QSqlQuery(db); }

    QString rowValue(const QString& name)
    {
        QSqlQuery q = query();
        q.exec(QStringLiteral("select value from sysparam where name='%1'").arg(name));
        return q.next() ? q.value(0).toString() : QString();
    }

    bool rowExists(const QString& name)
    {
        QSqlQuery q = query();
        q.exec(QStringLiteral("select value from sysparam where name='%1'").arg(name));
        return q.next();
    }

    void setRow(const QString& name, const QString& value)
    {
        QSqlQuery q = query();
        q.prepare(QStringLiteral("update sysparam set value=? where name=?"));
        q.addBindValue(value);
        q.addBindValue(name);
        QVERIFY(q.exec());
    }

    void deleteRow(const QString& name)
    {
        QSqlQuery q = query();
        QVERIFY(q.exec(QStringLiteral("delete from sysparam where name='%1'").arg(name)));
    }

    WizardPara load()
    {
        WizardPara para;
        QSqlQuery q = query();
        para.LoadDatafromFile(q);
        return para;
    }

    bool save(WizardPara& para)
    {
        QSqlQuery q = query();
        return para.SaveDatatoFile(q);
    }

    // A row with the given value at one 1-based position and zeros elsewhere.
    static QString rowWith(int count, int position, const QString& value)
    {
        QStringList values;
        for (int i = 1; i <= count; ++i) values << (i == position ? value : QStringLiteral("0"));
        return values.join(' ');
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        window = new MainState;
    }

    void init()
    {
        gLan = 0;
        QFile::remove(QStringLiteral("name.txt"));
        QVERIFY(FactoryFixture::writeAll());
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        QVERIFY(db.open());
    }

    void cleanup()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(kConnection);
    }

    void cleanupTestCase() { delete window; }

    void factoryFilesHoldTheConstructorValues()
    {
        WizardPara defaults;
        defaults.applyLoadRules();
        QSqlQuery q = query();
        QVERIFY(q.exec(QStringLiteral("select count(*) from sysparam")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 23);
        for (const SysParamRow& row : WizardPara::sysParamRows()) {
            const QString value = rowValue(row.name);
            QCOMPARE(value, defaults.sysParamText(row, 0));
            if (!row.isText)
                QCOMPARE(valuesOf(value).size(), row.valueCount);
        }
        // Constructor values as a load leaves them: the file is a fixed point of load and save.
        QCOMPARE(valuesOf(rowValue("system10")).at(16), QStringLiteral("31"));
        QCOMPARE(valuesOf(rowValue("system8")).at(0), QStringLiteral("2"));
        QCOMPARE(valuesOf(rowValue("system9")).at(8), QStringLiteral("5"));
        QCOMPARE(valuesOf(rowValue("system2")).at(1), QStringLiteral("10"));
        QCOMPARE(valuesOf(rowValue("system3")).at(3), QStringLiteral("1"));
        QCOMPARE(rowValue("password"), QString());
        for (int c = 0; c < 8; ++c) {
            const QSqlRecord columns = db.record(QStringLiteral("cammer%1").arg(c));
            QCOMPARE(columns.count(), 2);
            QCOMPARE(columns.fieldName(0), QStringLiteral("name"));
            QCOMPARE(columns.fieldName(1), QStringLiteral("value"));
        }

        for (const char* file : {"SN.db", "paraGroup/default/SN.db"}) {
            onDatabase(QString::fromLatin1(file), [](QSqlQuery& s) {
                QVERIFY(s.exec(QStringLiteral("select name, value from sysparam order by name")));
                for (int k = 0; k < 8; ++k) {
                    QVERIFY(s.next());
                    QCOMPARE(s.value(0).toString(), QStringLiteral("serialNB%1").arg(k));
                    QCOMPARE(s.value(1).toString(), QStringLiteral("0"));
                }
                QVERIFY(!s.next());
            });
        }
        for (const char* file : {"RECORD.db", "RECORDNULL.db"}) {
            onDatabase(QString::fromLatin1(file), [](QSqlQuery& s) {
                QVERIFY(
                    s.exec("INSERT INTO RECORD(recordtime, recordpassword, remarks, recordtype) "
                           "VALUES('13.05.09', 'x', 'y', 'run')"));
            });
        }
        for (const char* file : {"ResStatistics.db", "ResStatisticsNULL.db"}) {
            onDatabase(QString::fromLatin1(file), [](QSqlQuery& s) {
                QVERIFY(s.exec("INSERT INTO resstatistics (name, value1, value2) VALUES ('a', '1', '')"));
                QVERIFY(!s.exec("INSERT INTO resstatistics (name, value1, value2) VALUES ('a', '2', '')"));
            });
        }
        QVERIFY(QFile::exists(QStringLiteral("paraGroup/default/PARAM.db")));
        QFile sysadd(QStringLiteral("sysadd.txt"));
        QVERIFY(sysadd.open(QIODevice::ReadOnly));
        QCOMPARE(sysadd.readAll(), QByteArray("-1"));
    }

    void factoryDataKeepsAnOperatorsFiles()
    {
        setRow("trigInDelay", "5 5 5 5 5 5 5 5");
        QVERIFY(QFile::remove(QStringLiteral("paraGroup/default/PARAM.db")));
        QVERIFY(QFile::remove(QStringLiteral("sysadd.txt")));
        QVERIFY(FactoryData::writeAll(QStringLiteral("."), FactoryData::Existing::Keep));
        QCOMPARE(rowValue("trigInDelay"), QStringLiteral("5 5 5 5 5 5 5 5"));
        QVERIFY(QFile::exists(QStringLiteral("sysadd.txt")));

        onDatabase(QStringLiteral("paraGroup/default/PARAM.db"), [](QSqlQuery& g) {
            QVERIFY(g.exec(QStringLiteral("select value from sysparam where name='trigInDelay'")));
            QVERIFY(g.next());
            QCOMPARE(g.value(0).toString(), QStringLiteral("0 0 0 0 0 0 0 0"));
        });
    }

    void loadThenSaveKeepsEveryRow()
    {
        QMap<QString, QString> before;
        for (const SysParamRow& row : WizardPara::sysParamRows()) before[row.name] = rowValue(row.name);
        WizardPara para = load();
        QVERIFY(save(para));
        for (const SysParamRow& row : WizardPara::sysParamRows()) QCOMPARE(rowValue(row.name), before[row.name]);
    }

    void saveWritesTheLastSpareIntoEverySpare()
    {
        setRow("trigInDelay", "1 2 3 4 5 6 7 8");
        setRow("numFailDetect", "2 1 44 1 0 1 0 1");
        setRow("system13", rowWith(20, 19, "5"));
        setRow("system14", "1 2 3 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 9");
        WizardPara para = load();
        QCOMPARE(para.spareWord, 9);
        QVERIFY(save(para));
        QCOMPARE(rowValue("trigInDelay"), QStringLiteral("1 2 3 4 5 6 7 8"));
        QCOMPARE(rowValue("numFailDetect"), QStringLiteral("2 1 9 1 0 1 0 1"));
        const QStringList system13 = valuesOf(rowValue("system13"));
        QCOMPARE(system13.at(0), QStringLiteral("9"));
        QCOMPARE(system13.at(18), QStringLiteral("9"));
        QCOMPARE(valuesOf(rowValue("system9")).at(19), QStringLiteral("9"));
        QCOMPARE(rowValue("system14"), QStringLiteral("1 2 3 1 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9 9"));
    }

    void loadClamps_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("expected");

        QTest::newRow("exposure -5") << "exposeTime"
                                     << "-5 10001 10000 7" << 1 << 30;
        QTest::newRow("exposure 10001") << "exposeTime"
                                        << "-5 10001 10000 7" << 2 << 30;
        QTest::newRow("exposure 10000 kept") << "exposeTime"
                                             << "-5 10001 10000 7" << 3 << 10000;
        QTest::newRow("camera 6 gain") << "system6" << rowWith(12, 3, "-1") << 3 << 32;
        QTest::newRow("gamma") << "numAllDetect"
                               << "0 0 0 0 0 0 0 20000" << 8 << 70;
        QTest::newRow("motion correct 1") << "system1" << rowWith(9, 4, "1") << 4 << -1;
        QTest::newRow("motion correct 0") << "system1" << rowWith(9, 4, "0") << 4 << 0;
        QTest::newRow("screen off 0") << "system2" << rowWith(18, 16, "0") << 16 << 0;
        QTest::newRow("screen off 29") << "system2" << rowWith(18, 16, "29") << 16 << 600;
        QTest::newRow("screen off 10000") << "system2" << rowWith(18, 16, "10000") << 16 << 600;
        QTest::newRow("screen off 30") << "system2" << rowWith(18, 16, "30") << 16 << 30;
        QTest::newRow("template number 0") << "system2" << rowWith(18, 2, "0") << 2 << 10;
        QTest::newRow("input time") << "system2" << rowWith(18, 18, "100000001") << 18 << 60;
        QTest::newRow("hex filter size") << "system4"
                                         << "0 0x10 010" << 2 << 16;
        QTest::newRow("octal filter area") << "system4"
                                           << "0 0x10 010" << 3 << 8;
        QTest::newRow("days -3") << "system10" << rowWith(20, 17, "-3") << 17 << 31;
        QTest::newRow("days 5") << "system10" << rowWith(20, 17, "5") << 17 << 5;
        QTest::newRow("mode 7") << "numFailDetect"
                                << "7 0 0 0 0 0 0 0" << 1 << 0;
        QTest::newRow("detect count 9") << "system8" << rowWith(20, 1, "9") << 1 << 2;
        QTest::newRow("match angle") << "system5" << rowWith(13, 10, "181") << 10 << 0;
        QTest::newRow("spare too large") << "system14" << rowWith(20, 20, "100000001") << 20 << 0;
        // Stored indices into fixed tables: out of range counts as none or row 0.
        QTest::newRow("io row 9") << "system9" << rowWith(20, 1, "9") << 1 << -1;
        QTest::newRow("io row -2") << "system9" << rowWith(20, 2, "-2") << 2 << -1;
        QTest::newRow("io row -1 kept") << "system9" << rowWith(20, 3, "-1") << 3 << -1;
        QTest::newRow("io row input 8") << "system8" << rowWith(20, 2, "8") << 2 << 0;
        QTest::newRow("input name 16") << "system10" << rowWith(20, 1, "16") << 1 << 0;
        QTest::newRow("input name 15 kept") << "system10" << rowWith(20, 1, "15") << 1 << 15;
        QTest::newRow("output name 14") << "system10" << rowWith(20, 9, "14") << 9 << 0;
        QTest::newRow("output name -1") << "system10" << rowWith(20, 16, "-1") << 16 << 0;
    }

    void loadClamps()
    {
        QFETCH(QString, row);
        QFETCH(QString, value);
        QFETCH(int, position);
        QFETCH(int, expected);
        setRow(row, value);
        WizardPara para = load();
        QCOMPARE(*para.sysParamValue(row, position), expected);
    }

    void shortSystem2ZeroesTheLanguage()
    {
        setRow("system2", "0 5 3 0 0 0 0 0 0 0 0 0");
        gLan = 2;
        WizardPara para = load();
        QCOMPARE(gLan, 0);
        QCOMPARE(para.matchOffset, 8000);
        QCOMPARE(para.screenOffTime, 0);
        QCOMPARE(para.templateNum, 5);

        setRow("system2", rowWith(18, 13, "2"));
        para = load();
        QCOMPARE(gLan, 2);
        setRow("system2", rowWith(18, 13, "4"));
        para = load();
        QCOMPARE(gLan, 0);
        gLan = 3;
        QVERIFY(save(para));
        QCOMPARE(valuesOf(rowValue("system2")).at(12), QStringLiteral("3"));
    }

    void atLeastOneInspectionIsOn()
    {
        WizardPara para = load();
        QCOMPARE(para.defectDetect, 1);
        QCOMPARE(para.spotDetect, 0);
        setRow("system3", rowWith(11, 5, "1"));
        para = load();
        QCOMPARE(para.defectDetect, 0);
    }

    void modeIsSavedForTheNextStart()
    {
        setRow("numFailDetect", "3 0 0 0 0 0 0 0");
        WizardPara para = load();
        QCOMPARE(para.detectMode, 3);
        QCOMPARE(para.detectModeNext, 3);
        *para.sysParamValue("numFailDetect", 1) = 1;
        QCOMPARE(para.detectModeNext, 1);
        QVERIFY(save(para));
        QCOMPARE(valuesOf(rowValue("numFailDetect")).at(0), QStringLiteral("1"));
        QCOMPARE(para.detectMode, 3);
    }

    void derivedValuesPerMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("semi");
        QTest::addColumn<int>("prod");
        QTest::addColumn<QVector<int>>("enabled");
        QTest::addColumn<QVector<int>>("triggers");
        QTest::addColumn<int>("dnum");
        QTest::addColumn<int>("leftMoldOnly");

        const int unchanged = 7;
        QTest::newRow("standard semi") << 0 << 0 << 1 << 1 << QVector<int>{1, 1} << QVector<int>{0, 2} << 2
                                       << unchanged;
        QTest::newRow("standard") << 0 << 0 << 0 << 0 << QVector<int>{0, 1} << QVector<int>{0, 0} << 2 << unchanged;
        QTest::newRow("two-colour left") << 1 << 0 << 0 << 1 << QVector<int>{1, 1, 0, 0} << QVector<int>{0, 2} << 4
                                         << 1;
        QTest::newRow("two-colour right")
            << 1 << 1 << 0 << 1 << QVector<int>{0, 0, 1, 1} << QVector<int>{0, 3} << 4 << 0;
        QTest::newRow("two-colour both") << 1 << 2 << 0 << 0 << QVector<int>{0, 1, 0, 1} << QVector<int>{0, 255} << 4
                                         << unchanged;
        QTest::newRow("two-colour side 9")
            << 1 << 9 << 0 << 0 << QVector<int>{0, 1, 0, 0} << QVector<int>{0, 2} << 4 << 1;
        QTest::newRow("turntable right") << 2 << 1 << 0 << 0 << QVector<int>{0, 0, 0, 1} << QVector<int>{3, 3} << 4
                                         << 0;
        QTest::newRow("turntable right semi")
            << 2 << 1 << 1 << 1 << QVector<int>{0, 0, 1, 1} << QVector<int>{3, 2} << 4 << 0;
        QTest::newRow("turntable both") << 2 << 3 << 0 << 1 << QVector<int>{1, 1, 1, 1} << QVector<int>{255, 255} << 4
                                        << unchanged;
    }

    void derivedValuesPerMode()
    {
        QFETCH(int, mode);
        QFETCH(int, side);
        QFETCH(int, semi);
        QFETCH(int, prod);
        QFETCH(QVector<int>, enabled);
        QFETCH(QVector<int>, triggers);
        QFETCH(int, dnum);
        QFETCH(int, leftMoldOnly);

        setRow("numFailDetect", QStringLiteral("%1 %2 0 0 0 0 0 0").arg(mode).arg(side));
        setRow("system1", QStringLiteral("%1 %2 0 0 0 0 0 0 0").arg(semi).arg(prod));
        window->moldSide = 7;
        gDNum = 0;
        WizardPara para = load();
        for (int d = 0; d < enabled.size(); ++d) QCOMPARE(para.detectEnabled[d], enabled[d]);
        QCOMPARE(para.detectTrigIn[0], triggers[0]);
        QCOMPARE(para.detectTrigIn[1], triggers[1]);
        QCOMPARE(gDNum, dnum);
        QCOMPARE(para.detectSlots, 4);
        QCOMPARE(window->moldSide, leftMoldOnly);
        QVERIFY(para.moldSide <= 3);
    }

    void standardModeSetsRejectOutputStates()
    {
        WizardPara para = load();
        QCOMPARE(QVector<int>(para.outInitState + 4, para.outInitState + 8), QVector<int>(4, 1));
        setRow("system2", rowWith(18, 7, "1"));
        para = load();
        QCOMPARE(QVector<int>(para.outInitState + 4, para.outInitState + 8), QVector<int>(4, 0));
    }

    void multiDetectionMapsTriggersThroughTriginNo()
    {
        setRow("numFailDetect", "3 0 0 0 0 0 0 0");
        setRow("system8", "3 2 5 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
        setRow("system9", "1 -1 0 1 1 1 1 1 0 0 0 0 0 0 0 0 0 0 0 0");
        gDNum = 0;
        WizardPara para = load();
        QCOMPARE(gDNum, 3);
        QCOMPARE(para.detectSlots, 3);
        const int enabled[8] = {1, 0, 1, 0, 0, 0, 0, 0};
        const int triggers[8] = {TriginNo[5] - 1, -1, TriginNo[2] - 1, -1, -1, -1, -1, -1};
        for (int d = 0; d < 8; ++d) {
            QCOMPARE(para.detectEnabled[d], enabled[d]);
            QCOMPARE(para.detectTrigIn[d], triggers[d]);
        }
        QCOMPARE(para.detectTrigIn[0], 6);
        QCOMPARE(para.detectIoRowLive[0], 1);
        QCOMPARE(para.detectIoRowLive[1], -1);
        QCOMPARE(para.detectIoRowLive[3], 0);

        // A corrupt row and input choice disable the detection instead of reading past the tables.
        setRow("system8", "2 99 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
        setRow("system9", "5000 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
        para = load();
        QCOMPARE(para.detectEnabled[0], 0);
        QCOMPARE(para.detectTrigIn[0], -1);
        QCOMPARE(para.detectEnabled[1], 1);
        QCOMPARE(para.detectTrigIn[1], TriginNo[0] - 1);
    }

    void signalNames()
    {
        gLan = 1;
        setRow("system2", rowWith(18, 13, "1"));
        WizardPara para = load();
        QCOMPARE(gaName[0], QStringLiteral("Open"));
        QCOMPARE(gaName[7], gaLanStr[304 * 4 + 1]);
        QCOMPARE(gaName[6], gaLanStr[307 * 4 + 1]);

        setRow("numFailDetect", "2 0 0 0 0 0 0 0");
        para = load();
        QCOMPARE(gaName[0], gaLanStr[379 * 4 + 1]);
        QCOMPARE(gaName[4], gaLanStr[378 * 4 + 1]);

        setRow("numFailDetect", "3 0 0 0 0 0 0 0");
        setRow("system10", "2 0 1 3 4 5 6 15 13 0 1 2 3 4 5 12 31 0 0 0");
        para = load();
        QCOMPARE(gaName[0], QString::fromUtf8(gInName[2][1]));
        QCOMPARE(gaName[1], gaLanStr[302 * 4 + 1]);
        QCOMPARE(gaName[8], QString::fromUtf8(gInName[15][1]));
        QCOMPARE(gaName[9], QString::fromUtf8(gOutName[13][1]));
        QCOMPARE(gaName[11], gaLanStr[307 * 4 + 1]);
        QCOMPARE(gaName[17], QString::fromUtf8(gOutName[12][1]));

        QFile names(QStringLiteral("name.txt"));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write("Mould\r\nDoor\n\xE9\xA1\xB6\xE9\x92\x88\n");
        names.close();
        gaName[9] = QStringLiteral("kept");
        para = load();
        QCOMPARE(gaName[0], QStringLiteral("Mould"));
        QCOMPARE(gaName[1], QStringLiteral("Door"));
        QCOMPARE(gaName[2], QString::fromUtf8("\xE9\xA1\xB6\xE9\x92\x88"));
        for (int i = 3; i < 8; ++i) QVERIFY(gaName[i].isEmpty());
        QCOMPARE(gaName[9], QStringLiteral("kept"));
    }

    void missingRows()
    {
        deleteRow("system11");
        deleteRow("system7");
        deleteRow("exposeTime");
        WizardPara para = load();
        QCOMPARE(rowValue("system11"), rowWith(20, 0, QString()));
        QCOMPARE(rowValue("system7"), rowWith(20, 7, "1"));
        QCOMPARE(para.templateIsNg[0], 0);
        QCOMPARE(para.outInitState[2], 0);
        QVERIFY(!rowExists("exposeTime"));

        para.templateIsNg[1] = 1;
        para.exposeTime[2] = 44;
        QVERIFY(save(para));
        QCOMPARE(valuesOf(rowValue("system11")).at(18), QStringLiteral("1"));
        QCOMPARE(rowValue("exposeTime"), QStringLiteral("0 0 44 0"));
    }

    void saveChkDBItemCreatesOnlyMissingRows()
    {
        QSqlQuery q = query();
        WizardPara para;
        deleteRow("system3");
        QVERIFY(para.SaveChkDBItem(q, "system3"));
        QCOMPARE(rowValue("system3"), QStringLiteral("0"));
        setRow("system4", "1 2 3");
        QVERIFY(para.SaveChkDBItem(q, "system4"));
        QCOMPARE(rowValue("system4"), QStringLiteral("1 2 3"));
    }

    void passwords()
    {
        WizardPara para = load();
        const QByteArray quoted = "it's \"x\"; --";
        qstrcpy(para.password, quoted.constData());
        QVERIFY(save(para));
        QCOMPARE(rowValue("password"), QString::fromLatin1(quoted));
        WizardPara back = load();
        QCOMPARE(QByteArray(back.password), quoted);

        setRow("password", QString(100, QLatin1Char('p')));
        WizardPara kept;
        qstrcpy(kept.password, "old");
        QSqlQuery q = query();
        kept.LoadDatafromFile(q);
        QCOMPARE(QByteArray(kept.password), QByteArray("old"));

        setRow("password", QString(99, QLatin1Char('p')));
        kept.LoadDatafromFile(q);
        QCOMPARE(QByteArray(kept.password), QByteArray(99, 'p'));
    }

    void comparisonIsFieldByField()
    {
        const WizardPara base = load();
        WizardPara copy;
        copy = base;
        QVERIFY(copy == base);

        // Leftovers after the password's NUL are not part of it.
        copy.password[50] = 'z';
        QVERIFY(copy == base);

        // Every stored value counts.
        for (const SysParamRow& row : WizardPara::sysParamRows()) {
            for (int pos = 1; pos <= row.valueCount; ++pos) {
                WizardPara changed = base;
                int* value = changed.sysParamValue(row.name, pos);
                QVERIFY(value);
                if (value == &gLan)
                    continue;
                *value += 1;
                QVERIFY2(changed != base, qPrintable(QStringLiteral("%1 %2").arg(row.name).arg(pos)));
            }
        }
        WizardPara probe = base;
        QVERIFY(!probe.sysParamValue(QStringLiteral("password"), 1));
        QVERIFY(!probe.sysParamValue(QStringLiteral("system4"), 4));
        QVERIFY(!probe.sysParamValue(QStringLiteral("system4"), 0));
        QVERIFY(!probe.sysParamValue(QStringLiteral("nosuchrow"), 1));

        // And so do the values kept only in memory.
        int WizardPara::*const unstored[] = {&WizardPara::colorMinArea, &WizardPara::colorMaxArea,
                                             &WizardPara::detectMode,   &WizardPara::detectSlots,
                                             &WizardPara::word109,      &WizardPara::groupIndex};
        for (int WizardPara::*field : unstored) {
            WizardPara changed = base;
            changed.*field += 1;
            QVERIFY(changed != base);
        }
        int(WizardPara::*const unstoredArrays[])[8] = {&WizardPara::detectTrigIn, &WizardPara::inInvert,
                                                       &WizardPara::detectEnabled, &WizardPara::detectIoRowLive};
        for (auto field : unstoredArrays) {
            WizardPara changed = base;
            (changed.*field)[7] += 1;
            QVERIFY(changed != base);
        }
        WizardPara renamed = base;
        renamed.groupName = QStringLiteral("zz");
        QVERIFY(renamed != base);
        WizardPara password = base;
        password.password[0] = 'q';
        QVERIFY(password != base);
    }

    void mainWindowQueryIsUsed()
    {
        window->dbIn = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
        window->dbIn.setDatabaseName(QStringLiteral("PARAM.db"));
        QVERIFY(window->dbIn.open());
        window->queryIn = QSqlQuery(window->dbIn);

        setRow("trigInDelay", "8 7 6 5 4 3 2 1");
        WizardPara para;
        para.LoadDatafromFile();
        QCOMPARE(para.trigInDelay[0], 8);
        // The shared query holds no read open after a load: other connections can still write.
        setRow("system13", rowWith(20, 20, "0"));
        para.trigInDelay[7] = 99;
        QVERIFY(para.SaveDatatoFile());
        QCOMPARE(rowValue("trigInDelay"), QStringLiteral("8 7 6 5 4 3 2 99"));

        // Without a main window the record still finds the connection by name, and leaves
        // the side flag alone.
        gpState = nullptr;
        setRow("numFailDetect", "1 0 0 0 0 0 0 0");
        window->moldSide = 5;
        para.LoadDatafromFile();
        QCOMPARE(para.trigInDelay[7], 99);
        QCOMPARE(window->moldSide, 5);
        gpState = window;

        window->queryIn = QSqlQuery();
        window->dbIn.close();
        window->dbIn = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("dbIn"));
    }

    void reDetectTimesPairsWord109WithReMoldTimes()
    {
        WizardPara para;
        para.word109 = 4;
        para.reMoldTimes = 6;
        QCOMPARE(para.reDetectTimes(0), 4);
        QCOMPARE(para.reDetectTimes(1), 6);
        QCOMPARE(para.reDetectTimes(2), 0);
        QCOMPARE(para.reDetectTimes(-1), 0);
    }
};

MONITOR_TEST_MAIN(TestWizardPara)
#include "tst_wizardpara.moc"
