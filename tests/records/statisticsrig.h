// Helpers of the statistics tests: UTC local time, fresh statistics files, and rows read and written through a
// connection of the test's own.
#pragma once

#include <ctime>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <QtTest>

#include "factory-data/factorydata.h"
#include "modalanswerer.h"
#include "resstatisticsparam.h"
#include "statisticsprompts.h"

namespace StatRig {

// Local time is UTC in these tests, so that day starts and hour buckets are plain numbers.
inline void useUtc()
{
    qputenv("TZ", "UTC");
    tzset();
}

inline QDateTime at(const QString& text)
{
    return QDateTime::fromString(text, "yyyy-MM-dd hh:mm:ss");
}

inline quint32 secs(const QString& text)
{
    return at(text).toTime_t();
}

// The live file and its template as the factory ships them; no config, no day folder.
inline void freshFiles()
{
    for (const QString& name : QDir(".").entryList({"ResStatistics*.db", "resstatistics.json", "restime.txt"}))
        QFile::remove(name);
    QDir("ResStatistics").removeRecursively();
    QVERIFY(FactoryData::writeStatisticsDb("ResStatistics.db"));
    QVERIFY(FactoryData::writeStatisticsDb("ResStatisticsNULL.db"));
}

// Runs statements on a file through a connection of the test's own.
inline bool exec(const QString& file, const QString& statement, const QVariantList& values = {})
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "statrig");
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(statement);
            for (const QVariant& v : values) q.addBindValue(v);
            ok = q.exec();
            q.clear();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("statrig");
    return ok;
}

// The "statisticsjson" text of a file; empty when there is none.
inline QString storedText(const QString& file)
{
    QString text;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "statrig");
        db.setDatabaseName(file);
        db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000");
        if (QFile::exists(file) && db.open()) {
            QSqlQuery q(db);
            if (q.exec("select value1 from resstatistics where name='statisticsjson'") && q.next())
                text = q.value(0).toString();
            q.clear();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("statrig");
    return text;
}

inline CountGroupList storedDay(const QString& file)
{
    CountGroupList day;
    ResStatisticsParam::StuCountFromJson(day, QJsonDocument::fromJson(storedText(file).toUtf8()).object());
    return day;
}

inline bool storeDay(const QString& file, const QJsonObject& day)
{
    return exec(file, "insert or replace into resstatistics (name, value1, value2) values ('statisticsjson', ?, '')",
                {QString::fromUtf8(QJsonDocument(day).toJson())});
}

// A day file of the factory's empty form under ./ResStatistics.
inline QString dayFile(const QString& date)
{
    QDir().mkpath("ResStatistics");
    const QString file = "ResStatistics/" + date + ".db";
    QFile::remove(file);
    FactoryData::writeStatisticsDb(file);
    return file;
}

// The statistics page's own boxes, answered and recorded like the shared ones.
inline void watchPageBoxes(ModalAnswerer& answerer, QWidget* page)
{
    answerer.watch(
        "page WarnBox",
        [page] { return page->findChild<QDialog*>(StatisticsPrompts::kWarnBoxName, Qt::FindDirectChildrenOnly); },
        ModalAnswerer::boxText);
    answerer.watch(
        "page ChooseBox",
        [page] { return page->findChild<QDialog*>(StatisticsPrompts::kChooseBoxName, Qt::FindDirectChildrenOnly); },
        ModalAnswerer::boxText);
}

// A list of n equal values.
inline QList<int> filled(int n, int value)
{
    QList<int> l;
    for (int i = 0; i < n; ++i) l << value;
    return l;
}

// Sum of a list of hour counts.
inline int sum(const QList<int>& hours)
{
    int s = 0;
    for (int v : hours) s += v;
    return s;
}

// Whole cycles (OK and NG) of one group of a day.
inline int cycles(const CountGroupList& day, const QString& group)
{
    for (const CountGroup& g : day.groups)
        if (g.groupName == group)
            return sum(g.all.count.OK) + sum(g.all.count.NG);
    return 0;
}

}  // namespace StatRig
