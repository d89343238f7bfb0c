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
    bool noInputAlarm = false;
    // Failure-image folders: [camera][detection][0 NG, 1 OK].
    QDir failDirs[kMaxCameras][kMaxDetections][2];
    // The daily archives of RECORD.db, and the date "yyyy-MM-dd" its records belong to
    // (kept in time.txt).
    QDir recordDir{QStringLiteral("./RECORD")};
    QString recordDate;

    // Timers of the cycle and the screens; created and owned by the main window.
    QTimer* runTimer = nullptr;
    QTimer* tempeTimer = nullptr;
    QTimer* showTimer = nullptr;
    QTimer* inCheckTimer = nullptr;
    QTimer* drawHintTimer = nullptr;
    QTimer* checkInputTimers[kTriggerInputs] = {};
    QTimer* checkTempTimer = nullptr;
    QTimer* resetAlarmTimer = nullptr;
    QTimer* clearNGAlarmTimer = nullptr;
    QTimer* upTimers[kMaxDetections] = {};
    QTimer* outNGTimer = nullptr;
    QTimer* notAllowCloseTimer = nullptr;
    QTimer* notAllowThimbleTimer = nullptr;
    QTimer* reserveOutputTimer = nullptr;
    QTimer* logoutTimer = nullptr;
    QTimer* checkDateTimer = nullptr;
    QTimer* sysFunc4OutputTimer = nullptr;
    QTimer* outputsOffTimer = nullptr;
    QTimer* reCheckTimer = nullptr;
    QTimer* tempe1Timer = nullptr;
    QTimer* delayOutput3Timer = nullptr;
    QTimer* fpsTimer = nullptr;

    float countdown[kMaxDetections] = {};  // seconds left of each step's trigger delay
    int tempeCount = 0;
    int frameCount[kMaxCameras] = {};
    QTimer* lcdTimer = nullptr;  // switches the back-light off
    int manualTrig = 0;          // detection of a manual trigger; gDNum means none
    // Per step: bit c set while camera c still owes its result.
    int stepCameraMask[kMaxDetections] = {};
    // 256 opaque greys, the colour table of every 8-bit picture; shared for the whole run.
    QVector<QRgb>* grayTable = nullptr;
    int step = 0;
    Edit* curInputEdit = nullptr;
    int runState = 1;    // 1 detecting, 3 stopped
    int pageState = 0;   // 0 main view, 1 result shown, 2 NG alarm holds, 3 teaching page
    int cyclePhase = 3;  // 1 detecting, 2 detected, 3 waiting
    int pswLevel = 0;    // 0 none, 1 operator, 2 factory
    int moldSide = 1;    // machine modes 1 and 2: 1 = the left side's detections only
    int restartStep = 0;
    int autoRun = 1;
    int reCheckCount[kMaxDetections] = {};  // re-checks left, counting down
    int reCheckDelay = 0;                   // tenths of a second
    int reCheckPending = 0;
    QSqlDatabase dbRecord;      // connection "dbRecord" on RECORD.db
    QSqlDatabase dbIn;          // connection "dbIn" on PARAM.db
    QSqlQuery queryIn;          // shared with the parameter loaders
    int cycleTime = 0;          // tenths of a second
    qint64 cycleStartTime = 0;  // tenths of a second since the epoch; 32 bits would overflow
    int trigSkipCount = 0;
    int pendingInput = -1;
    int reTrigInput = -1;
    int multiDetectIndex = 0;
    int reTrainState = 0;  // 0 input trigger, 1 template re-sampling, 2 manual trigger
    bool inputLatch[kTriggerInputs] = {};
    bool camerasOK = true;
    bool productAlarm = false;
    double zoomOffsetX = 0;
    double zoomOffsetY = 0;
    double zoomFactor = 1.0;
    int zoomCentreX = 0;
    int zoomCentreY = 0;
    int panLastX = 0;
    int panLastY = 0;

    // State the camera views and the teaching page share with the cycle.
    int curDetect = 0;      // detection shown and edited on the teaching page
    int drawMode = 0;       // 0 select and move, 1 rectangle, 2 polygon or gesture, 4 circle
    bool handDraw = false;  // drawing mode 2 draws a freehand gesture area
    bool copyMode = false;  // the next press on the editable view copies a region
    // Per camera and step: 3 NG waiting for the operator, 4..8 cleared, 9/10 pictures to write.
    int detectState[kMaxCameras][kMaxDetections] = {};
    bool reCheckJudge = false;   // the next judgement skips the template-alarm handling
    bool lastCycleNG = false;    // some camera was NG at the last judgement
    bool doorTriggered = false;  // the current cycle was started by the safety door
    int pixelX = 0;
    int pixelY = 0;
    int pixelValue = 0;
    int clickX = 0;
    int clickY = 0;
    int screenOff = 0;  // 1 while the back-light is off; written only by LCDOnOff
    int productCount = 0;

    // Detection cycle state (input scan, judgement and outputs).
    bool rejectGroupNG[4] = {};            // reject group g had an NG region in this cycle's product step
    bool cycleCameraNG[kMaxCameras] = {};  // camera c was NG in this cycle
    int shownStep = 0;                     // step whose result is on show until TimerShow
    bool sysFunc4Pending = false;          // machine mode 3: a delayed output switch is armed
    int sysFunc4Output = -1;               // its output index, -1 none
    bool saveTestImages = false;           // every judged frame is also saved as a test image
    int tR = 0;                            // passes since start or camera recovery (white balance)
    unsigned int cTrigImage = 0;           // bit c: camera c delivered since the last image trigger
    int lastDelay = 0;                     // tenths, the delay last started (additive delays)
};

// The state in use: the main window's (set first by its constructor) or one a test builds.
extern MainState* gpState;

// The colour table of 8-bit pictures: 256 opaque greys, one table for the whole run.
QVector<QRgb>* SharedGrayTable();
