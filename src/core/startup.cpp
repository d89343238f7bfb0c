// Start-up sequence: process-wide state, splash, logging, texts, main window, event loop.
#include "startup.h"

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QLabel>
#include <QMetaType>
#include <QPair>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextCodec>
#include <QTimer>

#include "cammerwidget.h"
#include "commandrunner.h"
#include "constructionhooks.h"
#include "controlport.h"
#include "copy2movedisk.h"
#include "customionamewidget.h"
#include "devices.h"
#include "diskmanager.h"
#include "diskreserve.h"
#include "exportnote.h"
#include "globals.h"
#include "hardwareconfigurationwidget.h"
#include "helpwidget.h"
#include "httpapiserver.h"
#include "iostatus.h"
#include "iothread.h"
#include "lanstr.h"
#include "logmanager.h"
#include "mapplication.h"
#include "modbusserver.h"
#include "mojuwizard.h"
#include "operatorprompts.h"
#include "platformclock.h"
#include "platformexit.h"
#include "publictools.h"
#include "recordsink.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"
#include "savefialimagethread.h"
#include "splashframe.h"
#include "startupfiles.h"
#include "startupguard.h"
#include "statisticswidget.h"
#include "systempaths.h"
#include "textids.h"
#include "tnr_netmn.h"
#include "upaninfo.h"
#include "widgetchangecamera.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

// Where the development desktop's Qt keeps its platform plug-ins.
const char* const kDevQtPluginPath = "/opt/Qt5.15.7/plugins/platforms";
constexpr int kEnvProbeTimeoutMs = 30000;
constexpr int kWaitStepMs = 1000;

// Splash steps of the waits for the network card and the cameras.
constexpr int kNetcardFirstStep = 6;
constexpr int kNetcardWaits = 5;
constexpr int kCameraWaitStep = 15;
constexpr int kCameraWaits = 10;
constexpr int kCameraDoneStep = 50;
constexpr int kLoadAppStep = 60;
constexpr int kOtherPluginsStep = 90;
constexpr int kCompleteStep = 100;
// How often a start without room for the stop's writes looks for it again.
constexpr int kReserveRetryMs = 2000;

const char* const kNetcardScript = "python3 ./cnt_net/zelkq30_upnetcard.py &";

// Written from the signal handler, read on the main thread: the handler itself may do
// nothing but this write.
int gStopPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(gStopPipe[1], &byte, 1);
    (void)written;
}

QString ReadProcVersion()
{
    QFile file(SysPath("/proc/version"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray data = file.readAll();
    const int nul = data.indexOf('\0');
    return QString::fromUtf8(nul >= 0 ? data.left(nul) : data);
}

// The network card is set up by a script in the background; the cameras need their time
// to come up after power-on, so the splash counts them in.
void WaitForNetworkAndCameras()
{
    // Detached, its output into the companion-output folder: through a pipe the script died of
    // its first line as soon as the shell had returned, and the card stayed unconfigured.
    const QString output =
        QString(kLogStdoutDir) + "upnetcard_" + PlatformClock::now().toString("yyyyMMdd-hhmmss") + ".txt";
    CommandRunner::startDetachedLine(kNetcardScript, output);
    for (int i = 0; i < kNetcardWaits; ++i) {
        PlatformClock::sleepMs(kWaitStepMs);
        g_splashframe->flushstep(kNetcardFirstStep + i, "配置网卡中...");
    }
    int step = kCameraWaitStep;
    g_splashframe->flushstep(step, "等待相机开启...");
    for (int k = 1; k <= kCameraWaits; ++k) {
        PlatformClock::sleepMs(kWaitStepMs);
        step += 2 + (k % 3 != 0 ? 1 : 0);
        g_splashframe->flushstep(step, "等待相机开启...");
    }
}

}  // namespace

void InstallStopSignals(std::function<void()> flush)
{
    PlatformExit::setStopFlush(std::move(flush));
    if (gStopPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gStopPipe) != 0) {
            qWarning() << "stop signals keep their default action: no socket pair";
            return;
        }
        auto* notifier = new QSocketNotifier(gStopPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [] {
            char byte = 0;
            while (::read(gStopPipe[0], &byte, 1) > 0) {
            }
            qInfo() << "stopped by signal: normal end";
            PlatformExit::stop(0);
        });
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void StopFlush()
{
    // The room set aside at start: on a full disk the writes below take it.
    DiskReserve::Release();
    QStringList lost;
    // While every thread still runs: the statistics' save goes through their database thread.
    if (!ResStatisticsParam::getInstance()->saveRunningDay())
        lost << QStringLiteral("statistics");
    // The counters written to count.ini, PARAM.db and RECORD.db closed.
    if (gpWin) {
        gpWin->HandOverAlarmPictures();
        gpWin->FLushAll();
        lost << gpWin->flushLosses;
    }
    DiskReserve::NoteLosses(lost);
}

void TellLastStopLosses()
{
    const QStringList lost = DiskReserve::LastStopLosses();
    if (lost.isEmpty())
        return;
    QString text;
    if (lost == QStringList(QString::fromLatin1(DiskReserve::kNoRoomHeld))) {
        qWarning() << "the last run held no room for its stop's writes: what its stop could not write is not known";
        text = LanStr(kTextNoRoomAtLastStop);
    } else {
        qWarning().noquote() << "the last stop could not write:" << lost.join(", ");
        // What the note names; "records N" names N operation records.
        const QList<QPair<QString, int>> names{{QStringLiteral("counters"), kTextLostCounters},
                                               {QStringLiteral("statistics"), kTextLostStatistics},
                                               {QStringLiteral("records"), kTextLostRecords}};
        QStringList told;
        for (const QString& item : lost) {
            for (const auto& name : names) {
                if (name.first == item.section(QLatin1Char(' '), 0, 0))
                    told << LanStr(name.second).arg(item.section(QLatin1Char(' '), 1, 1));
            }
        }
        text = LanStr(kTextLostAtStop).arg(told.join(QStringLiteral(", ")));
    }
    RecordOperation(text, QStringLiteral("info"));
    ShowOperatorNotice(text);
}

void KeepTakingStopReserve()
{
    if (DiskReserve::Held())
        return;
    // Started on a full disk: the room is taken as soon as the disk has it again.
    auto* retry = new QTimer(QCoreApplication::instance());
    QObject::connect(retry, &QTimer::timeout, retry, [retry] {
        if (DiskReserve::TakeIfMissing())
            retry->deleteLater();
    });
    retry->start(kReserveRetryMs);
}

void StopWorkers()
{
    // The picture writer first: its last pictures still reach the copier and the services.
    if (gpSaveFialImageThread)
        gpSaveFialImageThread->stop();
    if (TNR_NETMN::__instance)
        TNR_NETMN::__instance->stopServices();
    if (gpWin && gpWin->modbusServer)
        gpWin->modbusServer->stop();
    if (gpControlIO && gpControlIO->ioThread)
        gpControlIO->ioThread->stop();
    if (Copy2MoveDisk::_instance)
        Copy2MoveDisk::_instance->stopAndWait();
    if (DiskManager::_instance)
        DiskManager::_instance->stop();
    ResStatisticsParam::getInstance()->endDatabaseThread();
}

void InstallStopSequence()
{
    InstallStopSignals(StopFlush);
    PlatformExit::setStopWorkers(StopWorkers);
}

bool isOpen_Env()
{
    const CommandResult r = CommandRunner::run("bash", {"-c", "echo $QT_QPA_PLATFORM_PLUGIN_PATH"}, kEnvProbeTimeoutMs);
    const QString first = QString::fromLocal8Bit(r.output).split("\n").first();
    qInfo() << first;
    return first == kDevQtPluginPath;
}

// The page's title of every detection: all detections first, then the names of the machine mode.
QStringList StatisticsTitles()
{
    constexpr int kTextAllDetect = 584;
    const int mode = gpWPara ? gpWPara->detectMode : kModeStandard;
    const int first = mode == kModeMulti                                   ? kTextFirst
                      : (mode == kModeTwoColour || mode == kModeTurntable) ? kTextLeftProd
                                                                           : kTextProd;
    QStringList titles{LanStr(kTextAllDetect)};
    for (int d = 0; d < gDNum; ++d) titles << LanStr(first + d);
    return titles;
}

void AddStatisticsHook(ConstructionHooks& hooks)
{
    hooks.statistics = [](QWidget* window) {
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        model->init(gpWPara ? gpWPara->getCurGroupName() : QStringLiteral("default"), gDNum);
        model->setTimer(gpWPara && gpWPara->useStatistics != 0);

        // The page is a child of the window, covering it when the button bar shows it.
        StatisticsWidget* page = StatisticsWidget::getInstance(window);
        if (page->parentWidget() != window) {
            page->setParent(window);
            page->hide();
        }
        page->createWidgetWhenShown(StatisticsTitles());
        auto* win = qobject_cast<MoJuWizard*>(window);
        if (win)
            QObject::connect(win, &MoJuWizard::sendRecord, model, &ResStatisticsParam::addRecord);
        QObject::connect(page, &StatisticsWidget::sigUpdateRecord, model, &ResStatisticsParam::slotUpdateRecord);
        QObject::connect(model, &ResStatisticsParam::sigLoadFinish, page, &StatisticsWidget::slotUpdateRecord);
        QObject::connect(model, &ResStatisticsParam::sigCheckUpdate, page, &StatisticsWidget::checkUpdate);
        QObject::connect(model, &ResStatisticsParam::sigDayListChanged, page, &StatisticsWidget::slotDayListChanged);
        if (win) {
            QObject::connect(page, &StatisticsWidget::sigExportProgress, win, [win](int total, int done) {
                ExportNote::statisticsProgress(win->noteLabel, total, done);
            });
            QObject::connect(page, &StatisticsWidget::sigExportDataFinish, win,
                             [win] { ExportNote::statisticsFinished(win->noteLabel); });
        }
    };
    hooks.showStatistics = [] {
        StatisticsWidget* page = StatisticsWidget::getInstance(gpWin);
        page->setGeometry(0, 0, gShowW, gShowH);
        page->show();
        page->raise();
    };
}

void AddSettingsHooks(ConstructionHooks& hooks)
{
    // The settings screen is the first of the window's pages; pages added by others follow.
    hooks.pages = [next = hooks.pages](QWidget* window) {
        if (auto* win = qobject_cast<MoJuWizard*>(window)) {
            // Its pages are built when the operator first opens it.
            win->wizardParaWidget = new WizardParaWidget(win, true);
            win->wizardParaWidget->hide();
        }
        CallConstructionHook(next, window);
    };
    hooks.pagesReady = [next = hooks.pagesReady](QWidget* window) {
        CallConstructionHook(next, window);
        if (auto* win = qobject_cast<MoJuWizard*>(window); win && win->wizardParaWidget)
            win->wizardParaWidget->hide();
    };
}

void AddServersHook(ConstructionHooks& hooks)
{
    hooks.servers = [](QWidget* window) {
        if (auto* win = qobject_cast<MoJuWizard*>(window))
            win->modbusServer.reset(new ModbusServer());
    };
}

void HandNetworkQueries()
{
    // The API answers from the statistics of the current parameter group.
    HttpApiServer::setCountQuery([](const QString& start, const QString& finish, QJsonObject& result) {
        return ResStatisticsDatabase::loadCount(start, finish, result, QString());
    });
}

void AddImageAndDiskHooks(ConstructionHooks& hooks)
{
    hooks.failureImages = [](QWidget* window) {
        // Made here, on the GUI thread, before the writer may hand anything to them.
        TNR_NETMN::getInstance();
        Copy2MoveDisk::getInstance();
        auto* thread = new SaveFialImageThread;
        if (auto* win = qobject_cast<MoJuWizard*>(window)) {
            for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
                if (const CammerWidget* view = win->cammerWidgets[c])
                    thread->setImageSize(c, QSize(view->imageWidth, view->imageHeight));
            }
        }
        gpSaveFialImageThread = thread;
        thread->start(QThread::InheritPriority);
    };
    hooks.disks = [](QWidget* window) {
        Copy2MoveDisk* copier = Copy2MoveDisk::getInstance();
        DiskManager* watcher = DiskManager::getInstance();
        IOStatusWidget::usbDiskPresent = [] { return !Copy2MoveDisk::getInstance()->currentPrepath().isEmpty(); };
        auto* win = qobject_cast<MoJuWizard*>(window);
        if (!win)
            return;
        QObject::connect(copier, &Copy2MoveDisk::diskStateChange, win, &MoJuWizard::SlotDiskStateChange);
        QObject::connect(watcher, &DiskManager::diskInfoChange, win, &MoJuWizard::SlotDiskInfoChange);
        QObject::connect(win, &MoJuWizard::diskInfoForward, copier, &Copy2MoveDisk::diskInfoChange);
        // The settings screen's data export shows on the note label while it runs.
        if (WizardParaWidget* settings = win->wizardParaWidget) {
            QObject::connect(settings, &WizardParaWidget::sigExportDataStart, win, [win] {
                if (win->noteLabel)
                    win->noteLabel->setText(QCoreApplication::translate("MoJuWizard", "数据导出中"));
            });
            QObject::connect(settings, &WizardParaWidget::sigExportDataFinish, win, [win] {
                if (win->noteLabel)
                    win->noteLabel->clear();
            });
        }
    };
}

void StartImageCopyAndDiskWatch()
{
    // The settings screen changes the copier's days and switch while the program runs.
    Settings().copierDays = [](int days) { Copy2MoveDisk::getInstance()->days = days; };
    Settings().copierRun = [](bool run) {
        if (run)
            Copy2MoveDisk::getInstance()->start();
        else
            Copy2MoveDisk::getInstance()->stop();
    };
    Copy2MoveDisk* copier = Copy2MoveDisk::getInstance();
    copier->days = gpWPara ? gpWPara->days : Copy2MoveDisk::kDefaultDays;
    if (gpWPara && gpWPara->useDiskSaveImage != 0)
        copier->start();
    DiskManager::getInstance()->start();
}

// The help, camera-numbering, IO-naming and hardware pages of the window, after whatever
// the hooks already create at those steps (the settings screen comes first).
void AddAdminPageHooks(ConstructionHooks& hooks)
{
    hooks.pages = [before = hooks.pages](QWidget* window) {
        CallConstructionHook(before, window);
        auto* win = qobject_cast<MoJuWizard*>(window);
        if (!win)
            return;
        win->helpWidget = new HelpWidget(win);
        win->helpWidget->setGeometry(0, 0, gShowW, gShowH);
        win->widgetChangeCamera = new WidgetChangeCamera(win);
        win->widgetChangeCamera->setGeometry(0, 0, gShowW, gShowH);
        win->customIONameWidget = new CustomIONameWidget(win);
        win->customIONameWidget->setGeometry(0, 0, gShowW, gShowH);
        for (QWidget* page : {static_cast<QWidget*>(win->helpWidget), static_cast<QWidget*>(win->widgetChangeCamera),
                              static_cast<QWidget*>(win->customIONameWidget)})
            page->hide();
    };
    hooks.pagesReady = [before = hooks.pagesReady](QWidget* window) {
        CallConstructionHook(before, window);
        auto* win = qobject_cast<MoJuWizard*>(window);
        if (!win)
            return;
        if (win->customIONameWidget) {
            win->customIONameWidget->init();
            win->customIONameWidget->hide();
        }
        win->hardwareConfigurationWidget = new HardwareConfigurationWidget(win);
        win->hardwareConfigurationWidget->setGeometry(0, 0, gShowW, gShowH);
        win->hardwareConfigurationWidget->hide();
        if (win->helpWidget)
            win->helpWidget->hide();
        if (win->widgetChangeCamera)
            win->widgetChangeCamera->hide();
    };
}

int StartUp(int argc, char** argv)
{
    // Off the panel platform.json decides whether commands run and where system files are;
    // nothing starts when it cannot be trusted or another monitor holds the folder or board.
    if (const int refused = ClaimPlatform())
        return refused;

    linux_kernel_proc_version = ReadProcVersion();

    // Types carried by queued signals.
    qRegisterMetaType<CountGroup>("CountGroup");
    qRegisterMetaType<QPair<QString, QString>>("QPair<QString, QString>");
    qRegisterMetaType<UPanInfo>("UPanInfo");
    qRegisterMetaType<QVector<UPanInfo>>("QVector<UPanInfo>");

    Devices::requestIoPrivilege(3);
    gfLED = Devices::openLed();

    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        app = new MApplication(argc, argv);

    g_splashframe = new SplashFrame;
    g_splashframe->flushstep(0, "启动...");

    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    if (!LogManager::__instance)
        LogManager::__instance = new LogManager(nullptr);
    // After the log manager: its crash handler also catches SIGTERM, which is no crash.
    InstallStopSequence();
    // Room for the stop's writes before the window's files take it; the last stop's note is
    // read first, and told once the window and its records stand.
    DiskReserve::Take();
    KeepTakingStopReserve();

    if (!isOpen_Env())
        WaitForNetworkAndCameras();
    g_splashframe->flushstep(kCameraDoneStep, "相机等待完毕...");

    qInfo() << "*********************** application" << kAppVersion << "***********************";
    CreateGlobalMutexes();

    InitLanStr();

    LoadGlobalPixmaps();
    g_splashframe->flushstep(kLoadAppStep, "加载应用程序...");
    gAppDirPath = QCoreApplication::applicationDirPath();

    ConstructionHooks hooks = Construction();
    AddStatisticsHook(hooks);
    AddSettingsHooks(hooks);
    AddServersHook(hooks);
    AddImageAndDiskHooks(hooks);
    AddAdminPageHooks(hooks);
    SetConstructionHooks(hooks);
    // The main window reports its own splash steps (71 to 90) while it is built.
    new MoJuWizard(nullptr);

    g_splashframe->flushstep(kOtherPluginsStep, LanStr(kTextLoadOtherPlugins));
    gDeviceID = getlocal_deviceid();
    writeVersionToJson();
    HandNetworkQueries();
    // The IO thread starts first, here, and the window shows; the network services, then the
    // USB copier and the disk watcher, start after them from the event loop: their listening
    // sockets, threads and files would otherwise keep the board unpolled while they come up.
    TNR_NETMN* services = TNR_NETMN::getInstance();
    QTimer::singleShot(0, app, [services] {
        services->initStart();
        StartImageCopyAndDiskWatch();
    });
    if (gpControlIO)
        gpControlIO->InitIOThread();
    if (gpWin)
        gpWin->showFullScreen();

    g_splashframe->flushstep(kCompleteStep, LanStr(kTextComplete));
    if (gpWin) {
        g_splashframe->finish(gpWin);
        g_splashframe->deleteLater();
        g_splashframe = nullptr;
    }

    QTimer::singleShot(0, app, TellLastStopLosses);

    CommandRunner::run("notify-send", {"监视器已开启"});
    return app->exec();
}
