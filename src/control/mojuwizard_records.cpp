// Main window: operation records in RECORD.db, their daily archive and the database shutdown.
#include <cerrno>
#include <cstring>

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

#include "brokendatabase.h"
#include "diskwrite.h"
#include "globals.h"
#include "lanstr.h"
#include "miscfunc.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "recordsink.h"
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
// Records kept while the disk is full, about a day of moulds; beyond it the oldest go.
constexpr int kMaxKeptRecords = 10000;
// SQLite's result code of a full disk (SQLITE_FULL), in the low byte of extended codes.
constexpr int kSqliteFull = 13;

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

// Copies the empty template into place through a file of its own, so that a full disk leaves
// no half-copied database behind. 0, or the errno of the failure.
int CopyRecordTemplate(const QString& file)
{
    QFile from(QString::fromLatin1(kRecordTemplate));
    if (!from.open(QIODevice::ReadOnly))
        return ENOENT;
    return ReplaceWholeFile(file, from.readAll());
}

bool IsDiskFull(const QSqlError& error)
{
    bool number = false;
    const int code = error.nativeErrorCode().toInt(&number);
    return number && (code & 0xFF) == kSqliteFull;
}

}  // namespace

// Opens RECORD.db on demand. A missing or unreadable file is replaced by the template first:
// SQLite would otherwise create an empty file without the table and every record would be lost.
bool MoJuWizard::openRecordDb(bool* noSpace)
{
    if (noSpace)
        *noSpace = false;
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
    if (!QFile::exists(file)) {
        if (const int error = CopyRecordTemplate(file)) {
            qWarning().noquote() << "operation records:" << file << "is missing and" << kRecordTemplate
                                 << "cannot replace it:" << std::strerror(error);
            if (noSpace)
                *noSpace = IsNoSpaceError(error);
            return false;
        }
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
    bool noSpace = false;
    if (!openRecordDb(&noSpace) && !noSpace)
        return;
    // A null text would be stored as NULL; the columns hold text, empty at the least.
    auto text = [](const QString& value) { return value.isNull() ? QString("") : value; };
    const QDateTime now = PlatformClock::now();
    const KeptRecord record{now.date().toString(QString::fromLatin1(kDateFormat)),
                            now.toString(QString::fromLatin1(kTimeFormat)), levelName(pswLevel), text(s), text(type)};

    // The peer gets the record even when the database cannot take it now.
    QJsonObject peerRecord;
    peerRecord.insert(QStringLiteral("recordtime"), record.time);
    peerRecord.insert(QStringLiteral("recordpassword"), record.level);
    peerRecord.insert(QStringLiteral("remarks"), s);
    peerRecord.insert(QStringLiteral("recordtype"), type);
    ViewWatch2VRQ::ofManager()->sndRecordOperate(peerRecord);

    // Behind those still waiting, so that RECORD.db keeps the order of the events.
    keptRecords.append(record);
    if (keptRecords.size() > kMaxKeptRecords) {
        qWarning().noquote() << "operation records: too many waiting, dropped" << keptRecords.first().text;
        keptRecords.removeFirst();
    }
    writeKeptRecords();
}

bool MoJuWizard::heldForItsDay() const
{
    return !keptRecords.isEmpty() && keptRecords.first().waited && keptRecords.first().date != recordDate;
}

void MoJuWizard::writeKeptRecords(bool anyDay)
{
    if (keptRecords.isEmpty() || (!anyDay && heldForItsDay()))
        return;
    // Those still waiting after a failure waited through it: they belong to their own day.
    auto kept = [this] {
        for (KeptRecord& record : keptRecords) record.waited = true;
    };
    bool noSpace = false;
    if (!openRecordDb(&noSpace)) {
        kept();
        if (noSpace)
            ReportNoSpace(StoredKind::Record);
        return;
    }
    while (!keptRecords.isEmpty()) {
        if (!anyDay && heldForItsDay())
            return;
        const KeptRecord& record = keptRecords.first();
        // Bound values: a quote in the text must not break the statement.
        QSqlQuery query(dbRecord);
        query.prepare(
            QStringLiteral("INSERT INTO RECORD(recordtime, recordpassword, remarks, recordtype) "
                           "VALUES(?, ?, ?, ?)"));
        for (const QString& value : {record.time, record.level, record.text, record.type}) query.addBindValue(value);
        const int refused = DiskWriteRefusal(QString::fromLatin1(kRecordFile));
        if (refused != 0 || !query.exec()) {
            const QString why = refused != 0 ? QString::fromLocal8Bit(std::strerror(refused)) : query.lastError().text();
            qWarning().noquote() << "operation records: cannot store" << record.text << "-" << keptRecords.size()
                                 << "kept for later:" << why;
            kept();
            if (IsNoSpaceError(refused) || IsDiskFull(query.lastError()))
                ReportNoSpace(StoredKind::Record);
            return;
        }
        keptRecords.removeFirst();
    }
    ReportStored(StoredKind::Record);
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
    // Records kept from a full disk go first, into the day's file they belong to.
    writeKeptRecords();
    const QString today = PlatformClock::now().date().toString(QString::fromLatin1(kDateFormat));
    while (today != recordDate) {
        // The day's file is closed only once its own kept records are in.
        if (!keptRecords.isEmpty() && keptRecords.first().date == recordDate)
            return;
        // Records that waited through the change go into a file of their own day, which may
        // lie between the closed day and today when the disk was full for longer.
        if (!rollOver(heldForItsDay() ? keptRecords.first().date : today))
            return;
        writeKeptRecords();
    }
}

bool MoJuWizard::rollOver(const QString& day)
{
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
            return false;
        }
    }
    // Without the copy (a full disk) the next record tries again.
    if (const int error = CopyRecordTemplate(file))
        qWarning().noquote() << "operation records: cannot copy" << kRecordTemplate << "to" << file << ":"
                             << std::strerror(error);
    PlatformClock::sleepMs(kRollOverSettleMs);

    recordDate = day;
    QFile dateFile(QString::fromLatin1(kDateFile));
    if (dateFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        dateFile.write(day.toLatin1());
    return true;
}

void MoJuWizard::FLushAll()
{
    // The settings object writes count.ini only a moment after a change: an end right after a
    // judgement would drop it.
    flushLosses.clear();
    if (!CountSync())
        flushLosses << QStringLiteral("counters");
    // Kept records that wait for their day's file get it now; what still waits goes into the
    // file there is rather than being lost with the program.
    writeKeptRecords();
    if (heldForItsDay())
        SlotCheckDate();
    writeKeptRecords(true);
    if (!keptRecords.isEmpty()) {
        qWarning().noquote() << "operation records:" << keptRecords.size() << "could not be written";
        flushLosses << QStringLiteral("records %1").arg(keptRecords.size());
    }
    if (dbIn.isOpen())
        dbIn.close();
    if (dbRecord.isOpen())
        dbRecord.close();
    PlatformClock::sleepMs(kFlushSettleMs);
}
