// The main window: owner of the camera views, dialogs, timers and the detection cycle.
#pragma once

#include <QDir>
#include <QList>
#include <QRgb>
#include <QSharedPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

class CammerWidget;
class ColorButton;
class CustomIONameWidget;
class DrawROIWidget;
class Edit;
class FloatSlider;
class HardwareConfigurationWidget;
class HelpWidget;
class IOStatusWidget;
class IndexButton;
class ModbusServer;
class QLabel;
class QSettings;
class WidgetChangeCamera;
class WizardParaWidget;

// Globals of the detection control that the views and widgets read.
extern int numCamera;
extern int gDNum;
extern int gTempNum;
extern int gPicNumNG;
extern int gPicNumOK;
extern bool gisColor;
extern bool gisGrayHue;
extern int gDrawHint;
extern int gHelpC;
extern int gFromTrain;
extern bool gisSafeDoorOpen;
extern bool gisTempAlarm;
extern int gFailCycleNum[8];
extern int gAllCycleNum[8];

class MoJuWizard : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxCameras = 8;
    static constexpr int kMaxDetections = 8;
    static constexpr int kTriggerInputs = 8;

    // Tag for tests: sets gpWin and nothing else, so a test fills only what it needs.
    struct LightConstruction
    {
    };
    explicit MoJuWizard(LightConstruction, QWidget* parent = nullptr);
    ~MoJuWizard() override;

    // Screens and views; the camera views are indexed by camera number - 1.
    CammerWidget* cammerWidgets[kMaxCameras] = {};
    DrawROIWidget* drawROIWidget = nullptr;
    WizardParaWidget* wizardParaWidget = nullptr;
    IOStatusWidget* ioStatusWidget = nullptr;
    IndexButton* indexButton = nullptr;
    HelpWidget* helpWidget = nullptr;
    WidgetChangeCamera* widgetChangeCamera = nullptr;
    CustomIONameWidget* customIONameWidget = nullptr;
    HardwareConfigurationWidget* hardwareConfigurationWidget = nullptr;

    // The camera shown full size (0 .. numCamera - 1), or numCamera for the grid of all.
    int viewCamera = 0;
    bool noInputAlarm = false;
    // Failure-image folders: [camera][detection][0 NG, 1 OK].
    QDir failDirs[kMaxCameras][kMaxDetections][2];
    // The daily archives of RECORD.db, and the date "yyyy-MM-dd" its records belong to
    // (kept in time.txt).
    QDir recordDir{QStringLiteral("./RECORD")};
    QString recordDate;

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
    float countdown[kMaxDetections] = {};  // seconds left of each step's trigger delay
    QTimer* outNGTimer = nullptr;
    QTimer* notAllowCloseTimer = nullptr;
    QTimer* notAllowThimbleTimer = nullptr;
    QTimer* reserveOutputTimer = nullptr;
    QTimer* logoutTimer = nullptr;
    QTimer* checkDateTimer = nullptr;
    QTimer* sysFunc4OutputTimer = nullptr;
    QTimer* outputsOffTimer = nullptr;
    QTimer* reCheckTimer = nullptr;
    int tempeCount = 0;
    QTimer* tempe1Timer = nullptr;
    QTimer* delayOutput3Timer = nullptr;
    QTimer* fpsTimer = nullptr;
    int frameCount[kMaxCameras] = {};
    QTimer* lcdTimer = nullptr;
    int manualTrig = 0;  // detection of a manual trigger; gDNum means none
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
    QSqlDatabase dbRecord;   // connection "dbRecord" on RECORD.db
    QSqlDatabase dbIn;       // connection "dbIn" on PARAM.db
    QSqlQuery queryIn;       // shared with the parameter loaders
    int cycleTime = 0;       // tenths of a second
    int cycleStartTime = 0;  // tenths of a second, wrapping in 32 bits
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
    ColorButton* helpButton = nullptr;
    QLabel* versionLabel = nullptr;
    QLabel* modeLabel = nullptr;
    QLabel* noteLabel = nullptr;
    FloatSlider* zoomSlider = nullptr;
    QSettings* countSettings = nullptr;
    QSharedPointer<ModbusServer> modbusServer;

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

    // Reacts to a camera view that lost its camera, before the view reconnects.
    void LostCamera();
    int CheckPassword();
    bool CheckRoot();

    // The keypads always exist: a destroyed one is replaced at once, except while the
    // program closes down.
    static bool KeypadsClosingDown();
    static void CreateNumPad();
    static void CreateNumCharPad();

signals:
    void sendRecord(int step, int hour, QList<bool> cameraOK, bool lastStep);

public slots:
    // Operation records in RECORD.db, each mirrored to the companion peer.
    void InsertRecord(QString s, QString type);
    void InsertRecord(QString s);
    void ClearRecord();
    void SlotCheckDate();
    // Closes PARAM.db and RECORD.db before files are replaced or the machine goes down.
    void FLushAll();

private:
    bool openRecordDb();
};
