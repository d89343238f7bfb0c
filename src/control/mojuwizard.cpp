// Main window: construction in its fixed order, destruction, and the password checks other parts call.
#include "mojuwizard.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QTextStream>

#include "brokendatabase.h"
#include "cameramanager.h"
#include "cammerwidget.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "commandrunner.h"
#include "constructionhooks.h"
#include "controlport.h"
#include "drawroiwidget.h"
#include "floatslider.h"
#include "globals.h"
#include "indexbutton.h"
#include "iostatus.h"
#include "keypads.h"
#include "ledlcd.h"
#include "lostcamerawarnbox.h"
#include "mojuwizard_cycleparams.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "operatorboxes.h"
#include "operatorprompts.h"
#include "passwordbox.h"
#include "platformclock.h"
#include "platformscreen.h"
#include "productalarmwarnbox.h"
#include "recordsink.h"
#include "splashframe.h"
#include "textids.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

// Splash progress of the construction.
constexpr int kSplashInterface = 71;
constexpr int kSplashData = 75;
constexpr int kSplashCameras = 80;
constexpr int kSplashApplication = 85;
constexpr int kSplashServers = 90;

const char* const kWorkspaceDir = "/cnt_net/workspace/";
const char* const kCountFile = "count.ini";
const char* const kParamFile = "PARAM.db";
const char* const kParamFactoryCopy = "./paraGroup/default/PARAM.db";
const char* const kParamProbe = "select count(*) from sysparam";
const char* const kRecordFile = "RECORD.db";
const char* const kRecordEmptyCopy = "RECORDNULL.db";
const char* const kDateFile = "time.txt";
const char* const kDateFormat = "yyyy-MM-dd";

// Folders of each camera and detection; the doubled slashes are the stored paths' own.
const char* const kAlarmImageRoot = "./alarmimage";
const char* const kNgFolder = "%1//camera%2//detect%3//NG";
const char* const kOkFolder = "%1//camera%2//detect%3//OK";
const char* const kTemplateFolder = "./cammer%1%2";
const char* const kOriginalImageRoot = "./originalimage";
const char* const kOriginalFolder = "%1//cammer%2%3";

// Screen furniture.
constexpr int kSharedBoxWidth = 750;
constexpr int kSharedBoxHeight = 370;
constexpr int kHelpButtonX = 5;
constexpr int kHelpButtonY = 300;
constexpr int kHelpButtonSize = 70;
constexpr int kHelpButtonSizeClass = 3;
const char* const kHelpIcon = "./images/help.png";
constexpr int kLabelWidth = 240;
constexpr int kLabelHeight = 30;
constexpr int kVersionLabelRise = 50;
constexpr int kModeLabelRise = 85;
constexpr int kNoteLabelRise = 120;
const char* const kGreenLabelStyle = "QLabel{outline:0px;border:none;font-size:25px;color:#00FF00;}";
const char* const kOrangeLabelStyle = "QLabel{outline:0px;border:none;font-size:25px;color:#ff9900;}";
constexpr int kZoomSliderWidth = 1000;
constexpr int kZoomSliderHeight = 35;
constexpr int kZoomSliderRise = 125;
constexpr float kZoomDivisor = 100.0f;
constexpr int kZoomMin = 100;  // factor 1.00
constexpr int kZoomMax = 500;  // factor 5.00

// Timers the constructor starts.
constexpr int kFirstRunMs = 5;
constexpr int kTempePeriodMs = 600000;
constexpr int kTempe1PeriodMs = 10000;
constexpr int kCheckTempPeriodMs = 5000;
constexpr int kCheckDatePeriodMs = 60000;
constexpr int kFpsPeriodMs = 1000;
constexpr int kIOChangeRunMs = 1;
constexpr int kMsPerSecond = 1000;

// Output 0 goes on at start; outputs 1 and 2 go off together when outputsOffTimer fires.

QString lanText(int entry, int lan = gLan)
{
    return gaLanStr[entry * kLanColumns + lan];
}

void splashStep(int step, const QString& text)
{
    if (g_splashframe)
        g_splashframe->flushstep(step, text);
}

}  // namespace

MoJuWizard::MoJuWizard(LightConstruction, QWidget* parent) : QWidget(parent)
{
    gpWin = this;
    grayTable = SharedGrayTable();
    InstallHooks();
}

MoJuWizard::~MoJuWizard()
{
    // The server and the connections go first; QWidget then deletes the children (views,
    // labels, timers) and the dialogs adopted at the end of construction.
    modbusServer.reset();
    queryIn = QSqlQuery();
    dbIn = QSqlDatabase();
    dbRecord = QSqlDatabase();
    if (gpWin == this) {
        gpWin = nullptr;
        SetRecordSink({});
        SetFlushAllHook({});
        SetLostCameraHook({});
        SetViewHooks({});
        SetTeachingHooks({});
        SetBoardOutputHooks({}, {});
    }
}

void MoJuWizard::InstallHooks()
{
    SetRecordSink([this](const QString& text, const QString& type) { InsertRecord(text, type); });
    SetFlushAllHook([this] { FLushAll(); });
    SetLostCameraHook([this] { LostCamera(); });
    // Only the window's own views lay out and pan the window.
    ViewHooks views;
    views.touched = [this] { ViewPressed(); };
    views.pan = [this](const QObject* view, int x, int y) {
        if (view && view->parent() == this)
            updateMScale(x, y);
    };
    views.layOut = [this](const QObject* view) {
        if (view && view->parent() == this)
            ChangeCammer();
    };
    views.settingsShown = [this] { return PageShown(kSettingsPageClass); };
    SetViewHooks(std::move(views));
    TeachingHooks teaching;
    teaching.changeCammer = [this] { ChangeCammer(); };
    teaching.checkPassword = [this] { return CheckPassword(); };
    teaching.redetectStep = [this] { RedetectStep(); };
    teaching.clearStepAlarm = [this] { ClearStepAlarm(); };
    teaching.setOutput = [](int output, int on) {
        if (gpControlIO)
            gpControlIO->IOSetOut(output, on);
    };
    teaching.flushOutputs = [] {
        if (gpControlIO)
            gpControlIO->IOFlashOut();
    };
    teaching.backTrain = [this] { BackTrain(); };
    teaching.zoomToMin = [this] { MScaleSetToMin(); };
    teaching.showStatusStrip = [this](bool show) {
        if (ioStatusWidget)
            ioStatusWidget->setVisible(show);
    };
    teaching.showButtonBar = [this](bool show) {
        if (indexButton)
            indexButton->setVisible(show);
    };
    teaching.showHelpButton = [this](bool show) { showhideHelp(show); };
    teaching.showVersion = [this](bool show) { showhideVersion(show); };
    teaching.showHelpPage = [this] { SlotHelp(); };
    SetTeachingHooks(std::move(teaching));
    SetBoardOutputHooks(
        [](int output, int on) {
            if (gpControlIO)
                gpControlIO->IOSetOut(output, on);
        },
        [] {
            if (gpControlIO)
                gpControlIO->IOFlashOut();
        });
    InstallOperatorPrompts();
    InstallCyclePorts();
}

int MoJuWizard::CheckPassword()
{
    if (gpWPara && gpWPara->isPswUsed == 0)
        return 1;
    if (pswLevel != kPswNone)
        return pswLevel;
    // The box writes the level it grants into pswLevel; its exec result says nothing more.
    if (gpPasswordBox)
        gpPasswordBox->exec();
    return pswLevel;
}

bool MoJuWizard::CheckRoot()
{
    if (pswLevel == kFactoryLevel)
        return true;
    if (gpPasswordBox)
        gpPasswordBox->exec();
    return pswLevel == kFactoryLevel;
}

// Construction runs in a fixed order: later steps rely on what earlier ones made (the
// parameters before the cameras, the cameras before their folders and buffers, every
// timer before detection starts).
MoJuWizard::MoJuWizard(QWidget* /*parent: the window is always top-level*/) : QWidget(nullptr)
{
    initMembers();
    takeScreen();
    openCountFile();
    createLoginAndInputTimers();
    gpWarnBox = new WarnBox(nullptr);
    openParamDatabase();
    openRecordDatabase();
    loadParameters();
    chooseFirstStep();
    copyParameterGlobals();
    findCameras();
    createDialogsAndKeypads();
    openIOBoard();
    splashStep(kSplashCameras, lanText(kTextFindCameras));
    grayTable = SharedGrayTable();
    buildCameraViews();
    checkCameraCount();
    CallConstructionHook(Construction().servers, this);
    splashStep(kSplashServers, lanText(kTextLoadInterface));
    createHelpButtonAndLabels();
    ioStatusWidget = new IOStatusWidget(this);
    indexButton = new IndexButton(this);
    drawROIWidget = new DrawROIWidget(this, cammerWidgets);
    drawROIWidget->hide();
    CallConstructionHook(Construction().pages, this);
    zoomOffsetX = 0;
    zoomOffsetY = 0;
    zoomFactor = 1.0;
    zoomCentreX = 0;
    createZoomSlider();
    CallConstructionHook(Construction().pagesReady, this);
    gpPasswordBox = new PasswordBox(nullptr);
    ChangeCammer();
    createFailureFolders();
    createCycleTimers();
    allocateFailureImages();
    CallConstructionHook(Construction().failureImages, this);
    createOutputTimers();
    prepareRecordDate();
    CallConstructionHook(Construction().statistics, this);
    startDetecting();
    startClocksAndCounters();
    adoptSharedDialogs();
    createOneShotTimers();
    CallConstructionHook(Construction().disks, this);
}

void MoJuWizard::initMembers()
{
    for (auto& camera : failDirs) {
        for (auto& detection : camera) {
            detection[0] = QDir();
            detection[1] = QDir();
        }
    }
    recordDir = QDir();
    recordDate.clear();
    step = 0;
    curInputEdit = nullptr;
    runState = kRunDetecting;
    pageState = kPageMain;
    cyclePhase = 3;
    pswLevel = kPswNone;
    noInputAlarm = false;
    dbRecord = QSqlDatabase();
    dbIn = QSqlDatabase();
    queryIn = QSqlQuery();
    modbusServer.reset();
    splashStep(kSplashInterface, "加载界面中...");
}

void MoJuWizard::takeScreen()
{
    gpWin = this;
    InstallHooks();
    LCDOnOff(1);
    setWindowFlags(Qt::CustomizeWindowHint);
    const QRect screen = PlatformScreen::geometry();
    gShowW = screen.width();
    gShowH = screen.height();
    setFixedSize(gShowW, gShowH);
}

void MoJuWizard::openCountFile()
{
    const QString workspace = QDir::currentPath() + kWorkspaceDir;
    QDir().mkpath(workspace);
    countSettings = new QSettings(workspace + kCountFile, QSettings::IniFormat, QCoreApplication::instance());
}

void MoJuWizard::createLoginAndInputTimers()
{
    gpWPara = nullptr;
    gisTempAlarm = false;
    logoutTimer = new QTimer(this);
    connect(logoutTimer, &QTimer::timeout, this, &MoJuWizard::TimerLogout);
    lcdTimer = new QTimer(this);
    connect(lcdTimer, &QTimer::timeout, this, &MoJuWizard::TimerLCD);
    for (int i = 0; i < kTriggerInputs; ++i) {
        checkInputTimers[i] = new QTimer(this);
        connect(checkInputTimers[i], &QTimer::timeout, this, [this, i] {
            checkInputTimers[i]->stop();
            CheckInput(i);
        });
        inputLatch[i] = false;
    }
    splashStep(kSplashData, "加载数据...");
}

// A missing database is put back from its copy and the machine restarted on it. When the
// copy is missing too, a restart would find the same state and restart again for ever:
// the warning stays the only reaction and the program carries on.
bool MoJuWizard::restoreMissingFile(const QString& file, const QString& copy, int warningEntry,
                                    const QString& copyCommand)
{
    if (QFile::exists(file))
        return true;
    qWarning().noquote() << file << "is missing; restoring it from" << copy;
    WarnOperator(lanText(warningEntry, kLanEnglish));  // the language is not loaded yet
    CommandRunner::runLine(copyCommand);
    CommandRunner::runLine("sync");
    // In record mode nothing runs: the copy stands in for the file it would have made.
    const bool restored =
        QFile::exists(file) || (CommandRunner::mode() == CommandRunner::Record && QFile::exists(copy));
    if (!restored) {
        qWarning().noquote() << copy << "is missing too;" << file << "not restored, no restart";
        return false;
    }
    CommandRunner::runLine("reboot");
    return true;
}

void MoJuWizard::openParamDatabase()
{
    const QString file = QString::fromLatin1(kParamFile);
    // One that opens but cannot be read would run every mould on built-in defaults, without a
    // taught region: it is set aside and restored as a missing one is.
    SetAsideBrokenDatabase(file, QString::fromLatin1(kParamProbe), QString::fromLatin1(kParamFactoryCopy));
    restoreMissingFile(file, QString::fromLatin1(kParamFactoryCopy), kTextParamFileError,
                       QString("cp -f %1 ./").arg(kParamFactoryCopy));
    dbIn = QSqlDatabase::contains("dbIn") ? QSqlDatabase::database("dbIn", false)
                                          : QSqlDatabase::addDatabase("QSQLITE", "dbIn");
    dbIn.setDatabaseName(file);
    // SQLite would create an empty file, which the next start would take for a good one and
    // never warn again; without the file the parameters keep their defaults.
    if (QFile::exists(file))
        dbIn.open();
    queryIn = QSqlQuery(dbIn);
}

void MoJuWizard::openRecordDatabase()
{
    restoreMissingFile(QString::fromLatin1(kRecordFile), QString::fromLatin1(kRecordEmptyCopy), kTextRecordDbError,
                       QString("cp -f %1 %2").arg(kRecordEmptyCopy, kRecordFile));
    // Opens RECORD.db (from the empty copy when still missing) and adds the record type column.
    openRecordDb();
}

void MoJuWizard::loadParameters()
{
    gpWPara = new WizardPara;
    gpWPara->LoadDatafromFile();
    gpWParaBak = new WizardPara;
}

void MoJuWizard::chooseFirstStep()
{
    const int mode = gpWPara->detectMode;
    if (mode == kModeMulti) {
        step = 0;
        multiDetectIndex = gDNum - 1;
        return;
    }
    step = gpWPara->detectProd == 1 ? 0 : 1;           // system1 2
    if (TwoSidedMode(mode) && gpWPara->moldSide == 1)  // numFailDetect 2
        step += 2;
}

void MoJuWizard::copyParameterGlobals()
{
    gTempNum = gpWPara->templateNum;
    gPicNumNG = gpWPara->ngRecordNum;
    gPicNumOK = gpWPara->okRecordNum;
    gisCOM = gpWPara->ioPort;
    gisColor = gpWPara->colorCamera != 0;
    gisGrayHue = gpWPara->grayChannel != 0;
}

void MoJuWizard::findCameras()
{
    CameraManager* manager = CameraManager::getInstance();
    manager->loadPlugins();
    manager->loadCameraSN();
    manager->findCameras();
    manager->sortCamera();
}

void MoJuWizard::createDialogsAndKeypads()
{
    gpChooseBox = new ChooseBox(nullptr, kSharedBoxWidth, kSharedBoxHeight);
    CreateNumPad();
    CreateNumCharPad();
}

void MoJuWizard::openIOBoard()
{
    gpControlIO = new ControlPort;
    gpControlIO->IOSetOut(kClampOut, 1);
    gpControlIO->IOFlashOut();
}

// Builds a view per camera, at most kMaxCameras; a camera that does not open is dropped and
// the next one takes its index. Returns how many opened.
int MoJuWizard::openCameraViews(const QVector<_cameraInfo>& cameras, QVector<_cameraInfo>* opened)
{
    numCamera = 0;
    for (const _cameraInfo& info : cameras) {
        if (numCamera >= kMaxCameras)
            break;
        auto* view = new CammerWidget(this, numCamera, info);
        if (!view->cameraOpen) {
            qWarning().noquote() << "camera" << info.serial() << "did not open; its view is dropped";
            delete view;
            continue;
        }
        cammerWidgets[numCamera] = view;
        if (opened)
            opened->append(info);
        ++numCamera;
    }
    return numCamera;
}

void MoJuWizard::buildCameraViews()
{
    CameraManager* manager = CameraManager::getInstance();
    const QVector<_cameraInfo> found = manager->cameras;
    QVector<_cameraInfo> opened;
    openCameraViews(found, &opened);
    manager->cameras = opened;
    if (numCamera == 0) {
        manager->cameras.clear();
        openCameraViews(manager->findSumulateCameras(), nullptr);
    }
}

void MoJuWizard::checkCameraCount()
{
    CameraManager::getInstance()->checkCameraCount();
    viewCamera = numCamera == 1 ? 0 : numCamera;
    splashStep(kSplashApplication, lanText(kTextLoadInterface));
}

void MoJuWizard::createHelpButtonAndLabels()
{
    helpButton = new ColorButton(QString(), this, kHelpButtonSizeClass);
    helpButton->setGeometry(kHelpButtonX, kHelpButtonY, kHelpButtonSize, kHelpButtonSize);
    helpButton->setIcon(QIcon(kHelpIcon));
    helpButton->setIconSize(QSize(kHelpButtonSize, kHelpButtonSize));
    connect(helpButton, &ColorButton::clicked, this, &MoJuWizard::SlotHelp);

    const auto makeLabel = [this](int rise, const char* style) {
        auto* label = new QLabel(this);
        label->setGeometry(gShowW - kLabelWidth, gShowH - rise, kLabelWidth, kLabelHeight);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(style);
        return label;
    };
    versionLabel = makeLabel(kVersionLabelRise, kGreenLabelStyle);
    versionLabel->setText(QString("Ver:") + kAppVersion);
    modeLabel = makeLabel(kModeLabelRise, kGreenLabelStyle);
    const int mode = gpWPara->detectMode;
    const int modeEntry = mode == kModeMulti ? kTextMultiDetect : kTextModeNames + mode;
    modeLabel->setText(tr("模式: ") + lanText(modeEntry));
    noteLabel = makeLabel(kNoteLabelRise, kOrangeLabelStyle);
}

void MoJuWizard::createZoomSlider()
{
    zoomSlider = new FloatSlider(this);
    zoomSlider->setFixedSize(kZoomSliderWidth, kZoomSliderHeight);
    zoomSlider->move((gShowW - kZoomSliderWidth) / 2, gShowH - kZoomSliderRise);
    zoomSlider->scale = kZoomDivisor;
    zoomSlider->slider->setRange(kZoomMin, kZoomMax);
    connect(zoomSlider, &FloatSlider::updateValue, this, &MoJuWizard::MScale);
}

void MoJuWizard::createFailureFolders()
{
    for (int c = 1; c <= numCamera; ++c) {
        for (int d = 1; d <= kMaxDetections; ++d) {
            const QString ng = QString(kNgFolder).arg(kAlarmImageRoot).arg(c).arg(d);
            const QString ok = QString(kOkFolder).arg(kAlarmImageRoot).arg(c).arg(d);
            QDir().mkpath(ng);
            QDir().mkpath(ok);
            failDirs[c - 1][d - 1][0] = QDir(ng);
            failDirs[c - 1][d - 1][1] = QDir(ok);
            QDir().mkpath(QString(kTemplateFolder).arg(c).arg(d));
            QDir().mkpath(QString(kOriginalFolder).arg(kOriginalImageRoot).arg(c).arg(d));
        }
    }
}

void MoJuWizard::createCycleTimers()
{
    runTimer = new QTimer(this);
    runTimer->setSingleShot(true);
    connect(runTimer, &QTimer::timeout, this, &MoJuWizard::Run);
    inCheckTimer = new QTimer(this);
    connect(inCheckTimer, &QTimer::timeout, this, &MoJuWizard::InCheck);
    drawHintTimer = new QTimer(this);
    connect(drawHintTimer, &QTimer::timeout, this, &MoJuWizard::SlotDrawHint);
    tempeCount = 0;
    tempeTimer = new QTimer(this);
    connect(tempeTimer, &QTimer::timeout, this, &MoJuWizard::TimerTempe);
    tempeTimer->start(kTempePeriodMs);
    tempe1Timer = new QTimer(this);
    connect(tempe1Timer, &QTimer::timeout, this, &MoJuWizard::TimerTempe1);
    tempe1Timer->start(kTempe1PeriodMs);
    void (MoJuWizard::*const countdownTicks[kMaxDetections])() = {
        &MoJuWizard::TimerUp0, &MoJuWizard::TimerUp1, &MoJuWizard::TimerUp2, &MoJuWizard::TimerUp3,
        &MoJuWizard::TimerUp4, &MoJuWizard::TimerUp5, &MoJuWizard::TimerUp6, &MoJuWizard::TimerUp7,
    };
    for (int d = 0; d < kMaxDetections; ++d) {
        upTimers[d] = new QTimer(this);
        connect(upTimers[d], &QTimer::timeout, this, countdownTicks[d]);
    }
}

// The writer thread takes these under pMutexSaveFail. They are left uninitialised: a slot
// is read only after a view has rendered into it, and untouched pages cost no memory.
void MoJuWizard::allocateFailureImages()
{
    constexpr int kRgb32Bytes = 4;
    for (int c = 0; c < numCamera; ++c) {
        const CammerWidget* view = cammerWidgets[c];
        const size_t bytes = size_t(view->imageWidth) * size_t(view->imageHeight) * kRgb32Bytes;
        for (int d = 0; d < kMaxDetections; ++d) {
            for (int k = 0; k < 2; ++k) {
                const int slot = (c * kMaxDetections + d) * 2 + k;
                gpFailImage[slot] = new unsigned char[bytes];
                gisSaveFail[slot] = false;
            }
        }
        frameCount[c] = 0;
    }
}

void MoJuWizard::createOutputTimers()
{
    showTimer = new QTimer(this);
    connect(showTimer, &QTimer::timeout, this, &MoJuWizard::TimerShow);
    outNGTimer = new QTimer(this);
    connect(outNGTimer, &QTimer::timeout, this, &MoJuWizard::OutTimerOutNG);
    notAllowCloseTimer = new QTimer(this);
    connect(notAllowCloseTimer, &QTimer::timeout, this, &MoJuWizard::OutTimerNotAllowClose);
    reserveOutputTimer = new QTimer(this);
    connect(reserveOutputTimer, &QTimer::timeout, this, &MoJuWizard::OutTimerReserveOutput);
    notAllowThimbleTimer = new QTimer(this);
    connect(notAllowThimbleTimer, &QTimer::timeout, this, &MoJuWizard::OutTimerNotAllowThimble);
    checkTempTimer = new QTimer(this);
    connect(checkTempTimer, &QTimer::timeout, this, &MoJuWizard::CheckTemp);
    checkTempTimer->start(kCheckTempPeriodMs);
    resetAlarmTimer = new QTimer(this);
    connect(resetAlarmTimer, &QTimer::timeout, this, &MoJuWizard::SlotResetAlarm);
}

void MoJuWizard::prepareRecordDate()
{
    recordDir = QDir("./RECORD");
    recordDir.mkpath(".");
    checkDateTimer = new QTimer(this);
    connect(checkDateTimer, &QTimer::timeout, this, &MoJuWizard::SlotCheckDate);

    QFile dateFile(kDateFile);
    if (dateFile.open(QIODevice::ReadOnly)) {
        QTextStream in(&dateFile);
        in >> recordDate;
    } else {
        recordDate = PlatformClock::now().date().toString(kDateFormat);
        if (dateFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            dateFile.write(recordDate.toLatin1());
    }
    dateFile.close();
    SlotCheckDate();
}

void MoJuWizard::startDetecting()
{
    StartDetect();
    for (bool& ng : rejectGroupNG) ng = false;
    reTrainState = 0;
    manualTrig = gDNum;
    // The board still held the clamp of the last run: its mould is judged before any release.
    if (gpControlIO->boardHeldClamp())
        detection.keepHeldMould(gpControlIO->boardHeldAlarm());
    // A board late at the start is decided on the same way once it answers; nothing went to it
    // meanwhile.
    connect(gpControlIO, &ControlPort::boardAnswered, this, [this](qint64 lateMs) {
        InsertRecord(QString("IO BOARD LATE = %1 ms").arg(lateMs), "info");
        if (gpControlIO->boardHeldClamp() && runState != kRunStopped)
            detection.keepHeldMould(gpControlIO->boardHeldAlarm());
    });
    installEventFilter(this);
    gpWarnBox->hide();
    runTimer->start(kFirstRunMs);
    // Queued: the restart waits until the slot that flushed the outputs has returned.
    connect(
        gpControlIO, &ControlPort::sigIOChange, this,
        [this] {
            runTimer->start(kIOChangeRunMs);
            if (ioStatusWidget)
                ioStatusWidget->repaint();
        },
        Qt::QueuedConnection);
}

void MoJuWizard::startClocksAndCounters()
{
    checkDateTimer->start(kCheckDatePeriodMs);
    InsertRecord(lanText(kTextSystemReady).arg(numCamera), "info");
    fpsTimer = new QTimer(this);
    connect(fpsTimer, &QTimer::timeout, this, &MoJuWizard::SlotFPS);
    fpsTimer->start(kFpsPeriodMs);
    cycleTime = 0;
    cycleStartTime = cycle::NowTenths();  // the clock the cycle measures with
    gisRunWTD = true;
    CountRead();
    if (gpWPara->screenOffTime > 0)
        lcdTimer->start(gpWPara->screenOffTime * kMsPerSecond);
}

void MoJuWizard::adoptSharedDialogs()
{
    gpWarnBox->setParent(this);
    gpChooseBox->setParent(this);
    gpChooseBox->setWindowFlags(gpChooseBox->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint);
    gpNumPad->setParent(this);
    gpNumCharPad->setParent(this);
    gpPasswordBox->setParent(this);
    gpLostCameraWarnBox = new LostCameraWarnBox(nullptr);
    gpProductAlarmWarnBox = new ProductAlarmWarnBox(this);
    gpProductAlarmWarnBox->hide();
}

void MoJuWizard::createOneShotTimers()
{
    delayOutput3Timer = new QTimer(this);
    connect(delayOutput3Timer, &QTimer::timeout, this, &MoJuWizard::SlotTimerDelayOutput3);
    clearNGAlarmTimer = new QTimer(this);
    clearNGAlarmTimer->setSingleShot(true);
    // A coarse timer may release the alarm up to 5 % early.
    clearNGAlarmTimer->setTimerType(Qt::PreciseTimer);
    connect(clearNGAlarmTimer, &QTimer::timeout, this, &MoJuWizard::SlotClearNGAlarm);
    sysFunc4OutputTimer = new QTimer(this);
    connect(sysFunc4OutputTimer, &QTimer::timeout, this, &MoJuWizard::OutTimerSysFunc4Output);
    outputsOffTimer = new QTimer(this);
    outputsOffTimer->setSingleShot(true);
    connect(outputsOffTimer, &QTimer::timeout, this, [this] { detection.endPulse(CyclePulse::OutputsOff); });
    reCheckTimer = new QTimer(this);
    reCheckTimer->setSingleShot(true);
    connect(reCheckTimer, &QTimer::timeout, this, &MoJuWizard::ReCheck);
}
