// Statistics database: the live day file, its minute saves and daily archive, day loads and the older per-row records.
#include "resstatisticsdatabase.h"

#include <cstring>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>
#include <QVariant>

#include "commandrunner.h"
#include "diskwrite.h"
#include "globals.h"
#include "platformclock.h"
#include "resstatisticsparam.h"

namespace {

const char* const kSaveConnection = "dbResStatistics";
const char* const kLoadConnection = "dbFindResStatistics";
const char* const kSaveStatement =
    "INSERT INTO resstatistics (name, value1, value2) VALUES (:name, :value1, :value2) ON CONFLICT(name) DO UPDATE "
    "SET value1 = excluded.value1, value2 = excluded.value2";
const char* const kReadStatement = "select value1 from resstatistics where name='statisticsjson'";
const char* const kRowStatement = "select value1 ,value2 from resstatistics where name='C%1_D%2'";
// The table every statistics file has; reading it tells a working file from a broken one.
const char* const kProbeStatement = "select count(*) from resstatistics";

QString liveFile()
{
    return QString::fromLatin1(kStatLiveFile);
}

QString templateFile()
{
    return QString::fromLatin1(kStatTemplateFile);
}

// Opens `file` under `connection` (added here); the caller closes and removes it.
bool openConnection(const QString& connection, const QString& file)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    return db.open();
}

void closeConnection(const QString& connection)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

// The first up to 24 whitespace-separated integers of a per-row text overwrite `hours` from its start.
void overwriteHours(QList<int>& hours, const QString& text)
{
    const QStringList numbers = text.split(QRegExp(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (int i = 0; i < numbers.size() && i < kStatHours; ++i) {
        while (hours.size() <= i) hours << 0;
        hours[i] = numbers[i].toInt();
    }
}

}  // namespace

QString removeSuffix(const QString& path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return path;
    return path.left(dot).split(QLatin1Char('/')).last();
}

ResStatisticsDatabase::ResStatisticsDatabase(ResStatisticsParam* model, QObject* parent) : QObject(parent), param(model)
{
    if (!QFile::exists(liveFile()))
        restoreLiveFromTemplate();
    if (liveFileWorks())
        return;
    // A broken live file would stop the statistics at every start: it is kept aside for a
    // look later, and the template takes its place.
    keepBrokenLiveAside();
    restoreLiveFromTemplate();
    if (liveFileWorks())
        return;
    usable = false;
    qWarning().noquote() << "statistics: neither" << liveFile() << "nor" << templateFile()
                         << "can be used; the program runs without statistics";
}

void ResStatisticsDatabase::keepBrokenLiveAside()
{
    const QString aside =
        QStringLiteral("ResStatistics-broken-%1.db").arg(PlatformClock::now().toString("yyyyMMdd-hhmmss"));
    QFile::remove(aside);
    if (QFile::exists(liveFile()) && !QFile::rename(liveFile(), aside))
        qWarning().noquote() << "statistics: cannot move the broken" << liveFile() << "aside";
    else if (QFile::exists(aside))
        qWarning().noquote() << "statistics: the broken" << liveFile() << "is kept as" << aside;
}

void ResStatisticsDatabase::restoreLiveFromTemplate()
{
    QFile::remove(liveFile());
    if (!QFile::copy(templateFile(), liveFile())) {
        qWarning().noquote() << "statistics: cannot copy" << templateFile() << "to" << liveFile();
        return;
    }
    CommandRunner::runLine(QStringLiteral("sync"));
}

bool ResStatisticsDatabase::liveFileWorks()
{
    const QString connection = QString::fromLatin1(kSaveConnection);
    bool works = false;
    // Opening a missing file would create an empty one without the table.
    if (QFile::exists(liveFile()) && openConnection(connection, liveFile())) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        works = query.exec(QString::fromLatin1(kProbeStatement));
        if (!works)
            qWarning().noquote() << "statistics:" << liveFile() << "is not readable:" << query.lastError().text();
        query.clear();
    }
    closeConnection(connection);
    return works;
}

bool ResStatisticsDatabase::readDocument(const QString& file, QJsonObject& json)
{
    const QString connection = QString::fromLatin1(kLoadConnection);
    bool readable = false;
    // Opening a missing file would create it.
    if (QFile::exists(file) && openConnection(connection, file)) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        readable = query.exec(QString::fromLatin1(kProbeStatement));
        query.finish();
        if (readable)
            json = loadCountFromJson(query, file);
        query.clear();
    }
    closeConnection(connection);
    return readable;
}

bool ResStatisticsDatabase::mergeLiveInto(const QString& target, const QString& date)
{
    QJsonObject stored;
    if (!readDocument(target, stored)) {
        // No day file at all, only its name: it is kept aside and the live file takes its place.
        const QString aside = target + ".broken";
        QFile::remove(aside);
        qWarning().noquote() << "statistics: the unreadable" << target << "is kept as" << aside;
        return QFile::rename(target, aside) && QFile::rename(liveFile(), target);
    }
    QJsonObject live;
    if (!readDocument(liveFile(), live)) {
        // Nothing to add: the broken live file is kept aside and the day file stays.
        keepBrokenLiveAside();
        return true;
    }
    CountGroupList day;
    ResStatisticsParam::StuCountFromJson(day, stored);
    CountGroupList running;
    ResStatisticsParam::StuCountFromJson(running, live);
    ResStatisticsParam::mergeCount(day, running);
    day.date = date;

    const QString connection = QString::fromLatin1(kSaveConnection);
    bool saved = false;
    if (openConnection(connection, target)) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        saved = saveCountFromJson(ResStatisticsParam::StuCountToJson(day), query);
        query.clear();
    }
    closeConnection(connection);
    if (!saved)
        return false;
    qInfo().noquote() << "statistics: the running record of" << date << "is added to the day file" << target;
    QFile::remove(liveFile());
    return true;
}

bool ResStatisticsDatabase::archiveLive(const QString& date)
{
    QDir dir(QString::fromLatin1(kStatArchiveDir));
    if (!dir.exists())
        QDir().mkpath(dir.path());
    const QString target = QFileInfo(dir.absolutePath() + "/" + date + ".db").absoluteFilePath();
    // A second day change to the same date (the clock set back): the day file already holds
    // a closed day, so the running record is added to it rather than written over it.
    const bool moved = QFileInfo(target).isFile() ? mergeLiveInto(target, date) : QFile::rename(liveFile(), target);
    if (!moved || !QFile::exists(target)) {
        qWarning().noquote() << "statistics: cannot move" << liveFile() << "to" << target
                             << "- the live file keeps the day of" << date;
        return false;
    }
    restoreLiveFromTemplate();
    return true;
}

void ResStatisticsDatabase::slotSaveRecord(QString curDate, QJsonObject json, bool isMove)
{
    saveRecord(curDate, json, isMove);
}

bool ResStatisticsDatabase::saveRecord(const QString& curDate, const QJsonObject& json, bool isMove)
{
    if (!usable)
        return false;
    // The live file still holds a closed day: it is moved first, and nothing newer is
    // written over it while the move fails.
    if (!pendingArchive.isEmpty()) {
        if (!archiveLive(pendingArchive))
            return false;
        const QString archived = pendingArchive;
        pendingArchive.clear();
        emit sigArchived(archived);
    }
    const bool saved = saveLive(json);

    // The closing day is archived even when its last save failed: the file holds the
    // minute saves before it, and the next day must not be written into it.
    if (!isMove)
        return saved;
    if (!archiveLive(curDate)) {
        pendingArchive = curDate;
        return saved;
    }
    emit sigArchived(curDate);
    return saved;
}

bool ResStatisticsDatabase::saveLive(const QJsonObject& json)
{
    if (!QFile::exists(liveFile()))
        restoreLiveFromTemplate();
    if (const int refused = DiskWriteRefusal(liveFile())) {
        qWarning().noquote() << "statistics: cannot write" << liveFile() << ":" << std::strerror(refused);
        return false;
    }
    const QString connection = QString::fromLatin1(kSaveConnection);
    bool saved = false;
    if (QFile::exists(liveFile()) && openConnection(connection, liveFile())) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        saved = saveCountFromJson(json, query);
        query.clear();
    }
    closeConnection(connection);
    return saved;
}

bool ResStatisticsDatabase::saveCountFromJson(QJsonObject json, QSqlQuery query)
{
    const QString text = QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented));
    query.prepare(QString::fromLatin1(kSaveStatement));
    query.bindValue(QStringLiteral(":name"), QString::fromLatin1(kStatJsonRow));
    query.bindValue(QStringLiteral(":value1"), text);
    query.bindValue(QStringLiteral(":value2"), QStringLiteral(""));
    if (!query.exec()) {
        // A lost minute of counts must reach the log file, which drops debug lines.
        qWarning().noquote() << "Upsert failed:" << query.lastError().text();
        return false;
    }
    return true;
}

void ResStatisticsDatabase::slotUpdateRecord(QString file)
{
    loadCountFromJson(file);
}

void ResStatisticsDatabase::loadCountFromJson(QString file, QJsonObject& json)
{
    const QString connection = QString::fromLatin1(kLoadConnection);
    // Opening a missing file would create it.
    if (QFile::exists(file) && openConnection(connection, file)) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        json = loadCountFromJson(query, file);
        query.clear();
    }
    closeConnection(connection);
}

void ResStatisticsDatabase::loadCountFromJson(QString file)
{
    const QString connection = QString::fromLatin1(kLoadConnection);
    if (!QFile::exists(file) || !openConnection(connection, file)) {
        closeConnection(connection);
        emit sigLoadFinish(QJsonObject(), false);
        return;
    }
    QJsonObject json;
    {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        json = loadCountFromJson(query, file);
        query.clear();
    }
    closeConnection(connection);
    emit sigLoadFinish(json, true);
}

QJsonObject ResStatisticsDatabase::loadCountFromJson(QSqlQuery query, QString file)
{
    auto readText = [&query] {
        QString text;
        if (query.exec(QString::fromLatin1(kReadStatement)) && query.next())
            text = query.value(0).toString();
        query.finish();
        return text;
    };
    QString text = readText();
    if (text.isEmpty()) {
        CountGroup group;
        group.groupName = QStringLiteral("null");
        ResStatisticsParam::initStuCountGroup(group, QStringLiteral("default"));
        for (int c = 0; c < group.cameras.size(); ++c) loadCountCamera(group.cameras[c], c, query);
        loadCountCamera(group.all, kStatAllIndex, query);

        CountGroupList list;
        const QString base = removeSuffix(file);
        if (base != QLatin1String("ResStatistics") || !param) {
            list.date = base;
        } else {
            list.date = param->getCurDBDate();
            group.groupName = param->getCurGroupName();
        }
        list.groups << group;
        saveCountFromJson(ResStatisticsParam::StuCountToJson(list), query);
        text = readText();
        if (text.isEmpty())
            qInfo() << "resstatistics laod statisticsjson fail";
    }
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

bool ResStatisticsDatabase::loadCountFromJson(CountGroup& group, QSqlQuery& query)
{
    for (int c = 0; c < group.cameras.size(); ++c) loadCountCamera(group.cameras[c], c, query);
    loadCountCamera(group.all, kStatAllIndex, query);
    return true;
}

bool ResStatisticsDatabase::loadCountCamera(CountCamera& camera, int c, QSqlQuery query)
{
    for (int d = 0; d < gDNum; ++d) {
        while (camera.detects.size() <= d) {
            CountDetect fresh;
            ResStatisticsParam::initStuCountDetect(fresh);
            camera.detects << fresh;
        }
        loadCountDetect(camera.detects[d], QString::fromLatin1(kRowStatement).arg(c).arg(d), query);
    }
    loadCountDetect(camera.count, QString::fromLatin1(kRowStatement).arg(c).arg(kStatAllIndex), query);
    return true;
}

bool ResStatisticsDatabase::loadCountDetect(CountDetect& entry, QString statement, QSqlQuery query)
{
    bool found = false;
    if (query.exec(statement) && query.next()) {
        overwriteHours(entry.OK, query.value(0).toString());
        overwriteHours(entry.NG, query.value(1).toString());
        found = true;
    }
    query.finish();
    return found;
}
