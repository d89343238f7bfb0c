// The production statistics' count values: a shift's totals, a detection, a camera, a group and a day.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVector>

// Hour buckets of a statistics day.
constexpr int kStatHours = 24;
// On the statistics screens the index 8 stands for "all": the all-camera entry, or the
// whole-cycle count of a camera.
constexpr int kStatAllIndex = 8;

struct sCount
{
    int NG = 0;
    int OK = 0;
};

struct CountDetect
{
    int detectID = -1;
    QList<int> OK;
    QList<int> NG;
    sCount morning;
    sCount night;
    sCount day;
};

struct CountCamera
{
    int cameraID = -1;
    CountDetect count;  // whole-cycle counts: one per finished mould cycle
    QList<CountDetect> detects;
};

struct CountGroup
{
    int morningStart = 8;
    int nightStart = 20;
    QString groupName;
    // The hour of day its hour buckets begin at, as this program marks the days it writes;
    // -1 for a day an older program stored, whose buckets are read from the morning start
    // in force, as that program read them.
    int countedFrom = -1;
    CountCamera all;  // all cameras together
    QList<CountCamera> cameras;
};

struct CountGroupList
{
    QString date;  // yyyy-MM-dd
    QVector<CountGroup> groups;
};

enum ShiftType : int { Morning = 0, Night = 1, AllDay = 2 };

Q_DECLARE_METATYPE(CountGroup)
