// The main window: owner of the camera views, dialogs, timers and the detection cycle.
#pragma once

#include <QDir>
#include <QList>
#include <QRgb>
#include <QScopedPointer>
#include <QSharedPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include "camerainterface.h"
#include "detectioncycle.h"
#include "globals.h"
#include "mainstate.h"
#include "upaninfo.h"

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
    // Tag for tests: sets gpState, gpWin, the record sink and the window hooks, nothing else.
    struct LightConstruction
    {
    };
    explicit MoJuWizard(LightConstruction, QWidget* parent = nullptr);
    // The whole window: databases, parameters, cameras, dialogs, IO link, folders, timers;
    // detection runs when it returns. The parent is not used: the window is top-level.
    explicit MoJuWizard(QWidget* parent = nullptr);
    ~MoJuWizard() override;
    // Makes InsertRecord the sink of RecordOperation and FLushAll and LostCamera the targets
    // of FlushAll and ReportLostCamera (windowhooks.h); every constructor calls it.
    void InstallHooks();

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

    ColorButton* helpButton = nullptr;
    QLabel* versionLabel = nullptr;
    QLabel* modeLabel = nullptr;
    QLabel* noteLabel = nullptr;
    FloatSlider* zoomSlider = nullptr;
    QSettings* countSettings = nullptr;
    // What the last FLushAll could not write: "counters", "records N" (N kept records).
    QStringList flushLosses;
    QSharedPointer<ModbusServer> modbusServer;

    // The cycle's and the window's own state: nothing below the window reads it (public, as
    // the window's state always was, for the scenario tests).
    bool noInputAlarm = false;
    // The daily archives of RECORD.db, and the date "yyyy-MM-dd" its records belong to
    // (kept in time.txt).
    QDir recordDir{QStringLiteral("./RECORD")};
    QString recordDate;
    // Timers of the cycle and the screens.
    QTimer* runTimer = nullptr;
    QTimer* tempeTimer = nullptr;
    QTimer* inCheckTimer = nullptr;
    QTimer* checkInputTimers[kTriggerInputs] = {};
    QTimer* checkTempTimer = nullptr;
    QTimer* resetAlarmTimer = nullptr;
    QTimer* clearNGAlarmTimer = nullptr;
    QTimer* outNGTimer = nullptr;
    QTimer* notAllowCloseTimer = nullptr;
    QTimer* notAllowThimbleTimer = nullptr;
    QTimer* reserveOutputTimer = nullptr;
    QTimer* checkDateTimer = nullptr;
    QTimer* sysFunc4OutputTimer = nullptr;
    QTimer* outputsOffTimer = nullptr;
    QTimer* reCheckTimer = nullptr;
    QTimer* tempe1Timer = nullptr;
    QTimer* delayOutput3Timer = nullptr;
    QTimer* fpsTimer = nullptr;
    int tempeCount = 0;
    // The judgement's decisions and their private state; the values it shares with the
    // trigger scan and recognition steps are bound below by name.
    DetectionCycle detection;
    int& manualTrig = detection.steering().manualTrig;  // detection of a manual trigger; gDNum means none
    // Per step: bit c set while camera c still owes its result.
    int (&stepCameraMask)[kMaxDetections] = detection.steering().stepCameraMask;
    int& restartStep = detection.steering().restartStep;
    int& autoRun = detection.steering().autoRun;
    int& reCheckDelay = detection.steering().reCheckDelay;         // tenths of a second
    qint64& cycleStartTime = detection.steering().cycleStartTime;  // tenths since the epoch
    int& trigSkipCount = detection.steering().trigSkipCount;
    int& pendingInput = detection.steering().pendingInput;
    int& reTrigInput = detection.steering().reTrigInput;
    int& multiDetectIndex = detection.steering().multiDetectIndex;
    int& reTrainState = detection.steering().reTrainState;  // 0 input trigger, 1 template re-sampling, 2 manual trigger
    bool (&inputLatch)[kTriggerInputs] = detection.steering().inputLatch;
    bool camerasOK = true;
    int zoomCentreX = 0;
    int zoomCentreY = 0;
    bool (&rejectGroupNG)[4] = detection.steering().rejectGroupNG;  // reject group g had an NG region in this cycle's product step
    bool cycleCameraNG[kMaxCameras] = {};  // camera c was NG in this cycle
    int& shownStep = detection.steering().shownStep;  // step whose result is on show until TimerShow
    bool saveTestImages = false;           // every judged frame is also saved as a test image
    int tR = 0;                            // passes since start or camera recovery (white balance)
    unsigned int cTrigImage = 0;           // bit c: camera c delivered since the last image trigger
    int& lastDelay = detection.steering().lastDelay;  // tenths, the delay last started (additive delays)

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
    // The teaching page's re-check of the current step: its cameras not yet passed owe a
    // result again and are judged, then the step is judged with the operator's answer.
    void RedetectStep();
    // The current step's cameras waiting on the alarm are taken as not detected; the step is
    // judged again without counting.
    void ClearStepAlarm();
    // Hands the current judgement of every camera to the statistics (sendRecord).
    void AddStatistics();

    // Pan of the zoomed single camera by a drag (the camera view calls it on moves).
    void updateMScale(int x, int y);
    // The zoom slider shown or hidden; without an argument, by the zoom switch and whether
    // one camera fills the screen.
    void showhideMscale(bool show);
    void showhideMscale();
    void showhideHelp(bool show);
    void showhideVersion(bool show);
    // A page the window does not know by type yet, found among its children by class name
    // (null when there is none); PageShown: that page is on screen.
    QWidget* PageByClass(const char* className) const;
    bool PageShown(const char* className) const;
    // The teaching page is on screen.
    bool TeachingShown() const;

signals:
    void sendRecord(int step, int hour, QList<bool> cameraOK, bool lastStep);
    // Every list of USB disks the watcher announces, passed on to the image copier.
    void diskInfoForward(QVector<UPanInfo> infos);

public slots:
    // The image copier's disk came (true) or went: records, the lost-disk warning, the USB lamp.
    void SlotDiskStateChange(bool inserted);
    void SlotDiskInfoChange(QVector<UPanInfo> infos);

public slots:
    // Operation records in RECORD.db, each mirrored to the companion peer.
    void InsertRecord(QString s, QString type);
    void InsertRecord(QString s);
    void ClearRecord();
    void SlotCheckDate();
    // Writes the counters to count.ini at once (CountSync), then closes PARAM.db and
    // RECORD.db, before files are replaced or the machine goes down.
    void FLushAll();
    // The production counters in cnt_net/workspace/count.ini. CountWrite hands them to the
    // settings object, which writes the file a moment later; CountSync writes it now and
    // answers whether count.ini holds them.
    void CountRead();
    void CountWrite();
    bool CountSync();
    // The stop of the program: the NG pictures of an alarm still up go to the image writer
    // (its stop writes them); the operator's answer would have sent them later.
    void HandOverAlarmPictures();

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
    // Camera `camera` has no picture of detection `detect` (it did not deliver one in time):
    // NG, with the outputs of an NG camera.
    void JudgeWithoutPicture(int camera, int detect);
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

    // Camera layout, zoom, pages and view duties.
    void MScale(float value);
    void MScaleSetToMin();
    void ChangeCammer();
    void SlotDrawHint();
    void SlotShowAlarmImgae();
    void SlotAdjustArea();
    void SlotHelp();
    void SlotSystemPara();
    void SlotReturn();
    void SlotMuliManualTrig();
    void SlotFPS();
    void CheckArea(bool Flag);
    void CheckArea();

    // Login, screen and counting timers.
    void TimerLogout();
    void TimerLCD();
    void TimerTempe();
    void TimerTempe1();

protected:
    // Sees the presses delivered to the window: an open keypad closes on a press elsewhere.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool countFileHoldsCounts() const;
    // Opens RECORD.db; false when it cannot be, with `noSpace` set when the disk is full.
    bool openRecordDb(bool* noSpace = nullptr);
    // Records not yet in RECORD.db, oldest first (the disk was full): each new record and the
    // minute's date check write them in order; a stop loses those still waiting. One that
    // waited (`waited`) goes into the file of its own date: it is held until the day's change
    // gives RECORD.db that date.
    struct KeptRecord
    {
        QString date, time, level, text, type;
        bool waited = false;
    };
    QList<KeptRecord> keptRecords;
    // Writes them in order; `anyDay` writes also those held for their day's file.
    void writeKeptRecords(bool anyDay = false);
    bool heldForItsDay() const;
    // Archives RECORD.db and starts the file of `day`; false when the archive move failed.
    bool rollOver(const QString& day);
    // A press on a camera view keeps the button bar (ViewHooks::touched).
    void ViewPressed();
    // The window's side of a pass of Run (DetectionCycle::pass decides), in their order.
    void OfferPassLater();
    void BalanceWhiteOnce();
    void TakeNewestPictures();
    void HoldForLostCameras();
    void NoteCamerasBack();
    // Every camera delivered since the last image trigger; resets the deliveries.
    bool TriggerOnNewPictures();
    void CycleStarts();
    void HandleAlarmPageInputs();
    // The window's side of the judgement (DetectionCycle decides).
    friend class WindowCyclePorts;
    QScopedPointer<CyclePorts> cyclePorts;
    void InstallCyclePorts();
    void CountJudgement(const bool ng[], bool NG, bool lastStep);
    void KeepStepPictures(int step, const bool ng[], bool NG, bool redetecting, bool noStopNG);
    void HandleDetectState(int camera, int stepIndex, bool cameraNG, bool redetecting);
    void ShowAlarm(int step, const bool ng[]);

    // Bit d: a camera was lost while step d counted down, so its last picture may be from
    // before the loss (set by LostCamera, cleared when the countdown ends or is stopped).
    unsigned& lostInCountdown = detection.steering().lostInCountdown;
    // At the end of step d's countdown: true when a camera is away or was lost meanwhile; the
    // step then holds the clamp until the cycle judges it on new pictures.
    bool HoldForLostCamera(int d);

    // Steps of a recognition run (RunAlgorithm) of a camera in detection d.
    void SaveTestPicture(int camera, int d);
    void TakeTemplateFrame(int camera, int d);
    void ActOnCameraNG(int camera, int d, int slot, bool picture = true);
    // RunAlgorithm; without a picture the camera is NG as one that is away.
    void Recognise(int camera, int detect, bool picture);

    // Construction steps, in the order the constructor runs them.
    void initMembers();
    void takeScreen();
    void openCountFile();
    void createLoginAndInputTimers();
    void openParamDatabase();
    void openRecordDatabase();
    void loadParameters();
    void chooseFirstStep();
    void copyParameterGlobals();
    void findCameras();
    void createDialogsAndKeypads();
    void openIOBoard();
    void buildCameraViews();
    void checkCameraCount();
    void createHelpButtonAndLabels();
    void createZoomSlider();
    void createFailureFolders();
    void createCycleTimers();
    void allocateFailureImages();
    void createOutputTimers();
    void prepareRecordDate();
    void startDetecting();
    void startClocksAndCounters();
    void adoptSharedDialogs();
    void createOneShotTimers();
    // Restores a missing database from its copy; false when the copy did not produce it.
    bool restoreMissingFile(const QString& file, const QString& copy, int warningEntry, const QString& copyCommand);
    int openCameraViews(const QVector<_cameraInfo>& cameras, QVector<_cameraInfo>* opened);
};
