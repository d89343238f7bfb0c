// The production statistics model: today's counts per group, camera, detection and hour, and the day cycle.
#pragma once

#include <atomic>

#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include "statisticstypes.h"

class QThread;
class QTimer;
class ResStatisticsDatabase;

class ResStatisticsParam : public QObject
{
    Q_OBJECT

public:
    static ResStatisticsParam* getInstance();

    // Tests build models of their own; the program uses the singleton, never destroyed.
    explicit ResStatisticsParam(QObject* parent = nullptr);
    ~ResStatisticsParam() override;

    ResStatisticsDatabase* database = nullptr;
    QTimer* dayTimer = nullptr;
    // Seconds since 1970 of the running day's start. Written on the GUI thread only; the
    // database thread reads it when it converts an older record.
    std::atomic<quint32> dayStart{0};
    // The current parameter group. Written on the GUI thread through setCurGroupName only;
    // the database thread reads it through getCurGroupName, both under groupNameMutex.
    QString curGroupName = QStringLiteral("default");
    CountGroupList curCount;
    CountGroupList viewCount;
    QString viewGroupName;
    QList<bool> cameraCycleOK;
    bool allCycleOK = true;
    int morningsStart = 8;
    int morningsEnd = 20;
    int nightStart = 20;
    int nightEnd = 8;

    void init(QString groupName, int count);
    void setTimer(bool on);
    // The stop's save: the running day as it stands goes to ResStatistics.db (behind any
    // minute save still queued) before this returns, for the process may end right after.
    // False when the day did not reach the file.
    bool saveRunningDay();
    // The database thread ends (after what it was given); the stop does this last.
    void endDatabaseThread();

    void checkCameraDetectCount(int count);
    int getCount(ShiftType shift, bool ok, int camera, int detect);
    QList<int> getRes(ShiftType shift, bool ok, int camera, int detect);
    QList<int> getShiftTimeList(ShiftType shift);
    CountGroup getGoupFromName(QString name);
    QStringList getGroups();
    void setCurGroup();
    QString getCurDBDate() const;
    // The hour of day the running day began at: the start hour its groups are counted with.
    int dayStartHour() const;
    // The hour of day a group's buckets begin at: the one this program marked, or for a day
    // an older program stored, the morning start in force (as that program read its days).
    int bucketsFrom(const CountGroup& group) const;
    QString getCurGroupName() const;
    void setCurGroupName(const QString& name);
    // The viewed day becomes a copy of the running day's counts (what the screens read).
    void viewRunningDay();

    void laodConfig();
    void saveConfig();
    void createNewTime();
    void readTime();
    void laodConfigFromJson(QJsonObject obj);
    bool checkParam(QJsonObject& obj);

    void calcCount(CountDetect& detect);
    void calcCount(CountCamera& camera);
    void calcCount(CountGroup& group);
    void calcCount(CountGroupList& list);

    // Fresh values.
    static void initStuStatisticsCount(sCount& count);
    static void initStuCountDetect(CountDetect& detect);
    static void initStuCountCamera(CountCamera& camera);
    static void initStuCountGroup(CountGroup& group, QString name);
    void initStuCount(CountGroupList& list);
    // Stored records written by hand or by older programs may hold short hour lists or
    // lack an aggregate: every hour list gets 24 entries and every camera at least
    // `detectCount` detections, so the counting and the screens index safely.
    static void padCount(CountGroupList& list, int detectCount);
    // Adds the counts of `from` to `into`: groups by name, cameras and detections by
    // position, hour by hour; what only `from` has is appended. Totals are not recomputed.
    static void mergeCount(CountGroupList& into, const CountGroupList& from);

    // The day document (its JSON form).
    static QJsonObject StuCountToJson(CountGroupList list);
    static QJsonObject StuCountGroupToJson(CountGroup group);
    static QJsonObject StuCountCameraToJson(CountCamera camera, int id, int& detectCount);
    static QJsonObject StuCountDetectToJson(CountDetect detect, int id);
    static void StuCountFromJson(CountGroupList& list, QJsonObject obj);
    static void StuCountGroupFromJson(CountGroup& group, QJsonObject obj);
    static void StuCountCameraFromJson(CountCamera& camera, QJsonObject obj);
    static void StuCountDetectFromJson(CountDetect& detect, QJsonObject obj);

    // The latest moment at the morning start hour that is not after `now` (seconds since 1970).
    quint32 latestMorningStart(const QDateTime& now) const;
    // Whether the check at `now` closes the running day: a whole day after its start, when
    // the next day can carry a later date, or a clock set back by a day or more.
    bool dayEnds(const QDateTime& now) const;

public slots:
    void addRecord(int detect, int hour, QList<bool> cameraOK, bool cycleEnd);
    void checkDate();
    void slotUpdateRecord(int row, QString file);
    void slotRecvRecord(QJsonObject json, bool ok);

signals:
    void sigUpdateRecord(QString file);
    void sigLoadFinish(bool ok);
    void sigSaveRecord(QString curDate, QJsonObject json, bool isMove);
    // For the statistics page: a judged detection was counted (it refreshes what it shows).
    void sigCheckUpdate();
    // For the statistics page: a closed day became a day file (it rebuilds its day list).
    void sigDayListChanged();

private:
    mutable QMutex groupNameMutex;
    QThread* databaseThread = nullptr;
    // The viewed group's entry; `dayHour` receives the start hour its day was counted with.
    const CountDetect* selectEntry(int camera, int detect, int* dayHour = nullptr);
    void sumShifts(CountDetect& detect, int dayHour) const;
    void sumShifts(CountCamera& camera, int dayHour) const;
};
