// Main window: operation records in RECORD.db, their daily archive and the database shutdown.
#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

#include "brokendatabase.h"
#include "globals.h"
#include "lanstr.h"
#include "miscfunc.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "viewwatch2vrq.h"

namespace {

const char* const kRecordConnection = "dbRecord";
const char* const kRecordFile = "RECORD.db";
const char* const kRecordTemplate = "RECORDNULL.db";
const char* const kRecordProbe = "select count(*) from RECORD";
const char* const kDateFile = "time.txt";
const char* const kDateFormat = "yyyy-MM-dd";
const char* const kTimeFormat = "hh.mm.ss";
constexpr int kFlushSettleMs = 500;
constexpr int kRollOverSettleMs = 300;

// Level name text entries, indexed by the login level; other levels read as not logged in.
constexpr int kLevelText[] = {156, 155, 154};

QString levelName(int level)
{
    const int levels = static_cast<int>(sizeof(kLevelText) / sizeof(kLevelText[0]));
    const int entry = level >= 0 && level < levels ? kLevelText[level] : kLevelText[0];
    return LanStr(entry);
}

// The archive name of the day's file: the recorded date, or the file's own date when the
// recorded one is not a date (an empty or damaged time.txt). A name already taken (the
// clock was set back) gets a running number, so no earlier archive is overwritten.
QString freeArchivePath(const QDir& dir, const QString& recordDate)
{
    QString day = recordDate.trimmed();
    if (!QDate::fromString(day, QString::fromLatin1(kDateFormat)).isValid())
        day = QFileInfo(QString::fromLatin1(kRecordFile)).lastModified().toString(QString::fromLatin1(kDateFormat));
    QString path = dir.absoluteFilePath(day + QStringLiteral(".db"));
    for (int n = 1; QFile::exists(path); ++n) path = dir.absoluteFilePath(QStringLiteral("%1_%2.db").arg(day).arg(n));
    return path;
}

}  // namespace

// Opens RECORD.db on demand. A missing or unreadable file is replaced by the template first:
// SQLite would otherwise create an empty file without the table and every record would be lost.
bool MoJuWizard::openRecordDb()
{
    if (dbRecord.isOpen())
        return true;
    const QString connection = QString::fromLatin1(kRecordConnection);
    if (!dbRecord.isValid()) {
        dbRecord = QSqlDatabase::contains(connection)
                       ? QSqlDatabase::database(connection, false)
                       : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        dbRecord.setDatabaseName(QString::fromLatin1(kRecordFile));
    }
    const QString file = QString::fromLatin1(kRecordFile);
    // One that cannot be read would drop every record: it is set aside, and the empty copy
    // takes its place as for a missing one.
    SetAsideBrokenDatabase(file, QString::fromLatin1(kRecordProbe), QString::fromLatin1(kRecordTemplate));
    if (!QFile::exists(file) && !QFile::copy(QString::fromLatin1(kRecordTemplate), file)) {
        qWarning().noquote() << "operation records:" << file << "is missing and" << kRecordTemplate
                             << "cannot replace it";
        return false;
    }
    if (!dbRecord.open()) {
        qWarning().noquote() << "operation records: cannot open" << file << dbRecord.lastError().text();
        return false;
    }
    addColumnIfNotExists(dbRecord, QStringLiteral("RECORD"), QStringLiteral("recordtype"), QStringLiteral("TEXT"));
    return true;
}

void MoJuWizard::InsertRecord(QString s, QString type)
{
    // The log keeps every record, also those a database that cannot be opened drops.
    qInfo().noquote() << "InsertRecord" << type << s;
    if (!openRecordDb())
        return;
    const QString time = PlatformClock::now().toString(QString::fromLatin1(kTimeFormat));
    const QString level = levelName(pswLevel);

    // The peer gets the record even when the statement below fails.
    QJsonObject record;
    record.insert(QStringLiteral("recordtime"), time);
    record.insert(QStringLiteral("recordpassword"), level);
    record.insert(QStringLiteral("remarks"), s);
    record.insert(QStringLiteral("recordtype"), type);
    ViewWatch2VRQ::ofManager()->sndRecordOperate(record);

    // Bound values: a quote in the text must not break the statement.
    QSqlQuery query(dbRecord);
    query.prepare(
        QStringLiteral("INSERT INTO RECORD(recordtime, recordpassword, remarks, recordtype) "
                       "VALUES(?, ?, ?, ?)"));
    // A null text would be stored as NULL; the columns hold text, empty at the least.
    for (const QString& value : {time, level, s, type}) query.addBindValue(value.isNull() ? QString("") : value);
    if (!query.exec())
        qWarning().noquote() << "operation records: cannot store" << s << query.lastError().text();
}

void MoJuWizard::InsertRecord(QString s)
{
    InsertRecord(s, QString(""));
}

void MoJuWizard::ClearRecord()
{
    if (!openRecordDb())
        return;
    QSqlQuery query(dbRecord);
    if (!query.exec(QStringLiteral("DELETE FROM RECORD")))
        qWarning().noquote() << "operation records: cannot clear" << query.lastError().text();
}

void MoJuWizard::SlotCheckDate()
{
    const QString today = PlatformClock::now().date().toString(QString::fromLatin1(kDateFormat));
    if (today == recordDate)
        return;

    dbRecord.close();
    const QString file = QString::fromLatin1(kRecordFile);
    if (QFile::exists(file)) {
        recordDir.mkpath(QStringLiteral("."));
        const QString archive = freeArchivePath(recordDir, recordDate);
        // Without the move the day's records stay where they are and the next check tries
        // again; the template must not replace them.
        if (!QFile::rename(file, archive)) {
            qWarning().noquote() << "operation records: cannot move" << file << "to" << archive
                                 << "- the records stay in place";
            return;
        }
    }
    if (!QFile::copy(QString::fromLatin1(kRecordTemplate), file))
        qWarning().noquote() << "operation records: cannot copy" << kRecordTemplate << "to" << file;
    PlatformClock::sleepMs(kRollOverSettleMs);

    recordDate = today;
    QFile dateFile(QString::fromLatin1(kDateFile));
    if (dateFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        dateFile.write(today.toLatin1());
}

void MoJuWizard::FLushAll()
{
    // The settings object writes count.ini only a moment after a change: an end right after a
    // judgement would drop it.
    CountSync();
    if (dbIn.isOpen())
        dbIn.close();
    if (dbRecord.isOpen())
        dbRecord.close();
    PlatformClock::sleepMs(kFlushSettleMs);
}
