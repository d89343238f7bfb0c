// The main window's plain state: the values the cycle, the views, the widgets and the stores share.
#pragma once

#include <QDir>
#include <QRgb>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include "monitorlimits.h"

class Edit;
class QTimer;

// Page states of the main window (pageState).
constexpr int kPageMain = 0;
constexpr int kPageResult = 1;  // a result is shown
constexpr int kPageAlarm = 2;   // an NG alarm holds
constexpr int kPageTeaching = 3;

// Drawing modes of the camera views (drawMode).
constexpr int kDrawNone = 0;  // select and move
constexpr int kDrawRect = 1;
constexpr int kDrawPolygon = 2;  // a polygon or a gesture
constexpr int kDrawCircle = 4;

// Codes of detectState, per camera and detection.
constexpr int kStateNone = 0;
constexpr int kStateJudged = 1;
constexpr int kStateOkToWrite = 2;
constexpr int kStateAlarmWaits = 3;
constexpr int kStateClearedNotDetect = 4;
constexpr int kStateClearedByTemplate = 5;
constexpr int kStateClearedMouldDetect = 6;
constexpr int kStateRedetect = 7;
constexpr int kStateNgToWrite = 9;
constexpr int kStateBothToWrite = 10;

// Run states (runState).
constexpr int kRunDetecting = 1;
constexpr int kRunStopped = 3;

// Password levels of the operator logged in (pswLevel).
constexpr int kPswNone = 0;
constexpr int kPswOperator = 1;
constexpr int kFactoryLevel = 2;

// The main window inherits this; code below the main window reads it through gpState and
// tests build one on its own, so neither needs the window.
struct MainState
{
    // The newest state is the one in use: constructing one points gpState at it, and
    // destroying it clears gpState again. Virtual, so a test may delete the main window
    // through the state it handed out.
    MainState();
    virtual ~MainState();
    MainState(const MainState&) = delete;
    MainState& operator=(const MainState&) = delete;

    // The camera shown full size (0 .. numCamera - 1), or numCamera for the grid of all.
    int viewCamera = 0;
    // Failure-image folders: [camera][detection][0 NG, 1 OK].
    QDir failDirs[kMaxCameras][kMaxDetections][2];

    // Timers the camera views and the teaching page look at; created and owned by the window.
    QTimer* showTimer = nullptr;
    QTimer* drawHintTimer = nullptr;
    QTimer* upTimers[kMaxDetections] = {};

    float countdown[kMaxDetections] = {};  // seconds left of each step's trigger delay
    int frameCount[kMaxCameras] = {};
    QTimer* lcdTimer = nullptr;     // switches the back-light off
    QTimer* logoutTimer = nullptr;  // logs the operator out; every touch restarts it
    // 256 opaque greys, the colour table of every 8-bit picture; shared for the whole run.
    QVector<QRgb>* grayTable = nullptr;
    int step = 0;
    Edit* curInputEdit = nullptr;
    int runState = 1;                       // 1 detecting, 3 stopped
    int pageState = 0;                      // 0 main view, 1 result shown, 2 NG alarm holds, 3 teaching page
    int cyclePhase = 3;                     // 1 detecting, 2 detected, 3 waiting
    int pswLevel = 0;                       // 0 none, 1 operator, 2 factory
    int moldSide = 1;                       // machine modes 1 and 2: 1 = the left side's detections only
    int reCheckCount[kMaxDetections] = {};  // re-checks left, counting down
    int reCheckPending = 0;
    QSqlDatabase dbRecord;  // connection "dbRecord" on RECORD.db
    QSqlDatabase dbIn;      // connection "dbIn" on PARAM.db
    QSqlQuery queryIn;      // shared with the parameter loaders
    int cycleTime = 0;      // tenths of a second
    bool productAlarm = false;
    double zoomOffsetX = 0;
    double zoomOffsetY = 0;
    double zoomFactor = 1.0;
    int panLastX = 0;
    int panLastY = 0;

    // State the camera views and the teaching page share with the cycle.
    int curDetect = 0;      // detection shown and edited on the teaching page
    int drawMode = 0;       // 0 select and move, 1 rectangle, 2 polygon or gesture, 4 circle
    bool handDraw = false;  // drawing mode 2 draws a freehand gesture area
    bool copyMode = false;  // the next press on the editable view copies a region
    // Per camera and step: 3 NG waiting for the operator, 4..8 cleared, 9/10 pictures to write.
    int detectState[kMaxCameras][kMaxDetections] = {};
    bool lastCycleNG = false;    // some camera was NG at the last judgement
    bool doorTriggered = false;  // the current cycle was started by the safety door
    int pixelX = 0;
    int pixelY = 0;
    int pixelValue = 0;
    int clickX = 0;
    int clickY = 0;
    int screenOff = 0;  // 1 while the back-light is off; written only by LCDOnOff
    int productCount = 0;
};

// The state in use: the main window's (set first by its constructor) or one a test builds.
extern MainState* gpState;

// The colour table of 8-bit pictures: 256 opaque greys, one table for the whole run.
QVector<QRgb>* SharedGrayTable();
