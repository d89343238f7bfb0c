// Parameter record storage: loading and saving the rows of table sysparam in PARAM.db.
#include "wizardpara.h"

#include <cstring>

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

#include "globals.h"
#include "mainstate.h"

namespace {

constexpr char kParamConnection[] = "dbIn";
constexpr int kPasswordMax = 99;  // bytes before the terminating NUL

// Spare values are read in this order, so the last spare of the last row read wins.
const char* const kLoadOrder[] = {
    "trigInDelay", "exposeTime", "adjustPlus", "numFailDetect", "numAllDetect", "isPswUsed", "password", "system1",
    "system2",     "system3",    "system4",    "sharp",         "contrast",     "system5",   "system6",  "system7",
    "system8",     "system9",    "system10",   "system11",      "system12",     "system13",  "system14",
};

const char* const kSaveOrder[] = {
    "trigInDelay", "exposeTime", "sharp",    "contrast", "adjustPlus", "numFailDetect", "numAllDetect", "isPswUsed",
    "password",    "system1",    "system2",  "system3",  "system4",    "system5",       "system6",      "system7",
    "system8",     "system9",    "system10", "system11", "system12",   "system13",      "system14",
};

bool logFailure(bool ok, const QSqlQuery& query, const QString& statement)
{
    if (!ok)
        qWarning().noquote() << "sysparam statement failed:" << statement << query.lastError().text();
    return ok;
}

bool execute(QSqlQuery& query, const QString& statement)
{
    return logFailure(query.exec(statement), query, statement);
}

// The main window's shared query when it exists; otherwise one on the "dbIn" connection.
template <class Action>
auto withParamQuery(Action&& action)
{
    if (gpState)
        return action(gpState->queryIn);
    QSqlQuery query(QSqlDatabase::database(QString::fromLatin1(kParamConnection)));
    return action(query);
}

}  // namespace

void WizardPara::LoadDatafromFile()
{
    withParamQuery([this](QSqlQuery& query) { LoadDatafromFile(query); });
}

void WizardPara::LoadDatafromFile(QSqlQuery& query)
{
    readGroupIndex();
    for (const char* name : kLoadOrder) readRow(query, *sysParamRow(QString::fromLatin1(name)));
    // A select left open keeps PARAM.db read-locked for every other connection.
    query.finish();
    const DerivedGlobals derived = applyLoadRules();
    gDNum = derived.detections;
    if (gpState && derived.leftMoldOnly != DerivedGlobals::kLeave)
        gpState->moldSide = derived.leftMoldOnly;
    setSignalNames();
}

void WizardPara::readRow(QSqlQuery& query, const SysParamRow& row)
{
    execute(query, QStringLiteral("select value from sysparam where name='%1'").arg(row.name));
    if (!query.next()) {
        if (!row.insertWhenMissing.isEmpty())
            execute(query,
                    QStringLiteral("insert into sysparam values('%1', '%2')").arg(row.name, row.insertWhenMissing));
        return;
    }
    QString value = query.value(0).toString();
    if (row.isText) {
        QByteArray bytes = value.toLatin1();
        const int nul = bytes.indexOf('\0');
        if (nul >= 0)
            bytes.truncate(nul);
        if (bytes.size() <= kPasswordMax)
            std::memcpy(password, bytes.constData(), static_cast<size_t>(bytes.size()) + 1);
        return;
    }
    // Integer base is detected per number ("0x" hexadecimal, a leading 0 octal); a value
    // missing at the end of the row reads as 0.
    QTextStream in(&value, QIODevice::ReadOnly);
    for (const SysParamRun& run : row.runs) {
        for (int k = 0; k < run.count; ++k) {
            int number = 0;
            in >> number;
            *runTarget(*this, run, k, false) = number;
        }
    }
}

QString WizardPara::sysParamText(const SysParamRow& row, int language) const
{
    if (row.isText)
        return QString::fromLatin1(password, static_cast<int>(qstrnlen(password, sizeof password)));
    // Only reads through the target; runTarget hands out writable pointers for the load.
    WizardPara& self = const_cast<WizardPara&>(*this);
    QStringList values;
    for (const SysParamRun& run : row.runs) {
        for (int k = 0; k < run.count; ++k)
            values << QString::number(run.kind == SysParamRun::Language ? language : *runTarget(self, run, k, true));
    }
    return values.join(' ');
}

bool WizardPara::SaveDatatoFile()
{
    return withParamQuery([this](QSqlQuery& query) { return SaveDatatoFile(query); });
}

bool WizardPara::SaveDatatoFile(QSqlQuery& query)
{
    bool ok = true;
    for (const char* name : kSaveOrder) {
        const SysParamRow& row = *sysParamRow(QString::fromLatin1(name));
        // An update of a missing row changes nothing and still succeeds: create it first.
        ok = SaveChkDBItem(query, row.name) && ok;
        if (row.isText) {
            // The operator's text may hold quotes: bound, never pasted into the statement.
            const QString statement = QStringLiteral("update sysparam set value=? where name='password'");
            query.prepare(statement);
            query.addBindValue(sysParamText(row, gLan));
            ok = logFailure(query.exec(), query, statement) && ok;
            continue;
        }
        ok = execute(query, QStringLiteral("update sysparam set value='%1' where name='%2'")
                                .arg(sysParamText(row, gLan), row.name)) &&
             ok;
    }
    return ok;
}

void WizardPara::SaveChkDBItem(const QString& name)
{
    withParamQuery([this, &name](QSqlQuery& query) { SaveChkDBItem(query, name); });
}

bool WizardPara::SaveChkDBItem(QSqlQuery& query, const QString& name)
{
    if (!execute(query, QStringLiteral("select value from sysparam where name='%1'").arg(name)))
        return false;
    if (query.next()) {
        query.finish();
        return true;
    }
    return execute(query, QStringLiteral("insert into sysparam values('%1','0')").arg(name));
}
