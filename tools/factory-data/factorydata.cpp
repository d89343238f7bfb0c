// Factory databases and files: written from the parameter record's row table and fixed schemas.
#include "factorydata.h"

#include <atomic>
#include <functional>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "monitorlimits.h"
#include "wizardpara.h"

namespace FactoryData {

namespace {

constexpr int kFactoryLanguage = 0;

using Fill = std::function<bool(QSqlQuery&)>;

bool run(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement))
        return true;
    qWarning().noquote() << "factory data:" << statement << query.lastError().text();
    return false;
}

bool insertPair(QSqlQuery& query, const QString& table, const QString& name, const QString& value)
{
    query.prepare(QStringLiteral("insert into %1 values(?, ?)").arg(table));
    query.addBindValue(name);
    query.addBindValue(value);
    if (query.exec())
        return true;
    qWarning().noquote() << "factory data: insert" << name << "into" << table << query.lastError().text();
    return false;
}

bool createNameValueTable(QSqlQuery& query, const QString& table)
{
    return run(query, QStringLiteral("create table %1 (name text primary key, value text)").arg(table));
}

// Builds one SQLite file from scratch on a connection of its own, removed afterwards.
bool buildDatabase(const QString& path, const Fill& fill)
{
    static std::atomic<int> serial{0};
    const QString connection = QStringLiteral("factorydata-%1").arg(++serial);
    if (QFile::exists(path) && !QFile::remove(path)) {
        qWarning().noquote() << "factory data: cannot replace" << path;
        return false;
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (db.open()) {
            db.transaction();
            {
                QSqlQuery query(db);
                ok = fill(query);
            }
            ok = ok ? db.commit() : (db.rollback(), false);
            db.close();
        } else {
            qWarning().noquote() << "factory data: cannot open" << path << db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

bool writeText(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

}  // namespace

bool writeParamDb(const QString& path)
{
    return buildDatabase(path, [](QSqlQuery& query) {
        // As a load leaves them, so that loading and saving the factory file changes nothing.
        WizardPara defaults;
        defaults.applyLoadRules();
        bool ok = createNameValueTable(query, QStringLiteral("sysparam"));
        for (const SysParamRow& row : WizardPara::sysParamRows())
            ok = ok &&
                 insertPair(query, QStringLiteral("sysparam"), row.name, defaults.sysParamText(row, kFactoryLanguage));
        for (int c = 0; c < kMaxCameras; ++c) ok = ok && createNameValueTable(query, QStringLiteral("cammer%1").arg(c));
        return ok;
    });
}

bool writeSerialDb(const QString& path)
{
    return buildDatabase(path, [](QSqlQuery& query) {
        bool ok = createNameValueTable(query, QStringLiteral("sysparam"));
        for (int c = 0; c < kMaxCameras; ++c)
            ok = ok && insertPair(query, QStringLiteral("sysparam"), QStringLiteral("serialNB%1").arg(c),
                                  QStringLiteral("0"));
        return ok;
    });
}

bool writeRecordDb(const QString& path)
{
    return buildDatabase(path, [](QSqlQuery& query) {
        return run(query, QStringLiteral("create table RECORD (recordtime text, recordpassword text, "
                                         "remarks text, recordtype text)"));
    });
}

bool writeStatisticsDb(const QString& path)
{
    return buildDatabase(path, [](QSqlQuery& query) {
        return run(query, QStringLiteral("create table resstatistics (name text unique, value1 text, value2 text)"));
    });
}

bool writeAll(const QString& dir, Existing existing)
{
    const QDir root(dir);
    if (!root.mkpath(QStringLiteral("paraGroup/default")))
        return false;

    struct Output
    {
        const char* file;
        std::function<bool(const QString&)> write;
    };
    // The default group gets its own fresh copies, so that it stays factory data even when
    // the working databases are kept.
    const Output outputs[] = {
        {"PARAM.db", writeParamDb},
        {"SN.db", writeSerialDb},
        {"RECORD.db", writeRecordDb},
        {"RECORDNULL.db", writeRecordDb},
        {"ResStatistics.db", writeStatisticsDb},
        {"ResStatisticsNULL.db", writeStatisticsDb},
        {"paraGroup/default/PARAM.db", writeParamDb},
        {"paraGroup/default/SN.db", writeSerialDb},
        {"sysadd.txt", [](const QString& path) { return writeText(path, "-1"); }},
    };
    bool ok = true;
    for (const Output& out : outputs) {
        const QString path = root.filePath(QString::fromLatin1(out.file));
        if (existing == Existing::Keep && QFile::exists(path))
            continue;
        if (!out.write(path)) {
            qWarning().noquote() << "factory data: cannot write" << path;
            ok = false;
        }
    }
    return ok;
}

}  // namespace FactoryData
