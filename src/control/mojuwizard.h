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

#include "globals.h"
#include "mainstate.h"

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

// The plain state it shares with the lower layers lives in MainState (gpState).
class MoJuWizard : public QWidget, public MainState
{
    Q_OBJECT

public:
    // Tag for tests: sets gpState, gpWin and the record sink, so a test fills only what it needs.
    struct LightConstruction
    {
    };
    explicit MoJuWizard(LightConstruction, QWidget* parent = nullptr);
    ~MoJuWizard() override;
    // Makes InsertRecord the sink of RecordOperation; every constructor calls it.
    void InstallRecordSink();

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
    ColorButton* helpButton = nullptr;
    QLabel* versionLabel = nullptr;
    QLabel* modeLabel = nullptr;
    QLabel* noteLabel = nullptr;
    FloatSlider* zoomSlider = nullptr;
    QSettings* countSettings = nullptr;
    QSharedPointer<ModbusServer> modbusServer;
    // Detection cycle state (input scan, judgement and outputs).
    bool rejectGroupNG[4] = {};  // reject group g had an NG region in this cycle's product step
    bool cycleCameraNG[kMaxCameras] = {};  // camera c was NG in this cycle
    int shownStep = 0;                     // step whose result is on show until TimerShow
    bool sysFunc4Pending = false;          // machine mode 3: a delayed output switch is armed
    int sysFunc4Output = -1;               // its output index, -1 none
    bool saveTestImages = false;           // every judged frame is also saved as a test image

    // Reacts to a camera view that lost its camera, before the view reconnects.
    void LostCamera();
    // 1 when every camera view reports its camera open (1 with no camera).
    int CameraCheck();
    void CameraRestart();
    void CameraSetSpeed();
    // Machine mode 3: presets the step outputs by their cut modes (published by the caller).
    void mulitOutputInit();
    void AutogenerationRegion(int detect);
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

    // Detection cycle: input scan, countdowns, triggers, start and stop.
    void Run();
    void TimerUp(int d);
    void TimerUp0();
    void TimerUp1();
    void TimerUp2();
    void TimerUp3();
    void TimerUp4();
    void TimerUp5();
    void TimerUp6();
    void TimerUp7();
    int CheckInput(int i);
    void TimerCheckInput0();
    void TimerCheckInput1();
    void TimerCheckInput2();
    void TimerCheckInput3();
    void TimerCheckInput4();
    void TimerCheckInput5();
    void TimerCheckInput6();
    void TimerCheckInput7();
    void ReCheck();
    void InCheck();
    void StartDetect();
    void StopDetect();
    void SetStopDetect();
    void ResetRun();
    void SlotStartStop();
    void SlotManualTrig(int d);
    void SlotManualTrig0();
    void SlotManualTrig1();

    // Recognition run and template re-sampling.
    void RunAlgorithm(int camera, int detect);
    void SlotReTrain();
    void BackTrain();

    // Judgement, alarms and output pulses.
    void CheckNG(bool clear);
    void CheckNG();
    void TimerShow();
    void OutTimerOutNG();
    void OutTimerNotAllowClose();
    void OutTimerSysFunc4Output();
    void OutTimerNotAllowThimble();
    void OutTimerReserveOutput();
    void CheckTemp();
    void SlotResetAlarm();
    void SlotTimerDelayOutput3();
    void SlotClearNGAlarm();

private:
    bool openRecordDb();
};
