// The statistics storage: the running day in ResStatistics.db, the closed days under ./ResStatistics, and the query of
// the HTTP API.
#pragma once

#include <QDate>
#include <QJsonObject>
#include <QObject>
#include <QSqlQuery>
#include <QString>

#include "statisticstypes.h"

class ResStatisticsParam;

// File names, relative to the working folder.
inline const char* const kStatLiveFile = "ResStatistics.db";
inline const char* const kStatTemplateFile = "ResStatisticsNULL.db";
inline const char* const kStatArchiveDir = "./ResStatistics";
inline const char* const kStatJsonRow = "statisticsjson";

class ResStatisticsDatabase : public QObject
{
    Q_OBJECT

public:
    // Prepares and tests the live file (on the GUI thread, before the object moves to its thread).
    explicit ResStatisticsDatabase(ResStatisticsParam* model, QObject* parent = nullptr);

    ResStatisticsParam* param = nullptr;
    // False when the live file is broken and no template could replace it: the program runs
    // on without statistics.
    bool usable = true;
    // The date of a closed day whose file could not be moved to the day folder: the live
    // file still holds that day, so no newer day is written over it until the move succeeds.
    QString pendingArchive;

    void loadCountFromJson(QString file, QJsonObject& json);
    void loadCountFromJson(QString file);
    QJsonObject loadCountFromJson(QSqlQuery query, QString file);
    static bool loadCountFromJson(CountGroup& group, QSqlQuery& query);
    static bool loadCountCamera(CountCamera& camera, int c, QSqlQuery query);
    static bool loadCountDetect(CountDetect& entry, QString statement, QSqlQuery query);
    bool saveCountFromJson(QJsonObject json, QSqlQuery query);

    // Moves the live file to the day folder under `date` and puts a fresh template in its
    // place; a day file of that date that exists already receives the live counts added to
    // its own. False (and the live file untouched) when the move did not happen.
    bool archiveLive(const QString& date);

    // What slotSaveRecord does; false when the day's document did not reach the live file.
    bool saveRecord(const QString& curDate, const QJsonObject& json, bool isMove);

    // The HTTP API's question: hour series of cycles and NG cycles between two moments
    // ("yyyy-MM-dd hh:mm:ss", local time) for one group (empty: the current group). False,
    // with the five keys holding empty arrays, when a moment is not of that form.
    static bool loadCount(QString start, QString end, QJsonObject& result, QString groupName);
    // The date the live file's record carries (between midnight and the morning start that
    // is still yesterday); `fallback` when the file holds no dated record. Any thread.
    static QString liveRecordDate(const QDate& fallback);

public slots:
    void slotSaveRecord(QString curDate, QJsonObject json, bool isMove);
    void slotUpdateRecord(QString file);

signals:
    void sigLoadFinish(QJsonObject json, bool ok);
    // A closed day is now the day file of `date`.
    void sigArchived(QString date);

private:
    bool liveFileWorks();
    void restoreLiveFromTemplate();
    void keepBrokenLiveAside();
    // The day document of a statistics file; false when it is no statistics database.
    bool readDocument(const QString& file, QJsonObject& json);
    bool mergeLiveInto(const QString& target, const QString& date);
    bool saveLive(const QJsonObject& json);
};

QString removeSuffix(const QString& path);
