// Operator surface: camera layouts, zoom and pan, button bar, status strip, touch wake, logout and calibration hold.
// ctest-timeout: 120
#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include "cameramanager.h"
#include "cammerwidget.h"
#include "colorbutton.h"
#include "combobox.h"
#include "commandrunner.h"
#include "controlport.h"
#include "devices.h"
#include "factoryfixture.h"
#include "floatslider.h"
#include "globals.h"
#include "indexbutton.h"
#include "iostatus.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "ledlcd.h"
#include "mapplication.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "platformclock.h"
#include "simcameracontrol.h"
#include "testsupport.h"
#include "textfit.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

constexpr int kFakeLedFd = 7;
constexpr unsigned long kLedMask = 0x5A018000;
constexpr unsigned long kLcdOn = 0x5A018B00;
const char* const kOldKernel = "Linux version 5.4.0-150-generic (buildd@lcy02) #167";
const char* const kNewKernel = "Linux version 6.5.0-35-generic (buildd@lcy02-amd64-079) #35~22.04.1-Ubuntu";

QRect Cell(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

class TestOperatorSurface : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    CammerWidget* views[kMaxCameras] = {};
    QDateTime clock = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));

    MApplication* app() { return static_cast<MApplication*>(QCoreApplication::instance()); }

    // The fake clock moves on well past the touch screen's 10 ms double-delivery window.
    void tick(int ms = 1000)
    {
        clock = clock.addMSecs(ms);
        PlatformClock::setNow(clock);
    }

    // Only the first n camera views take part, as after a start with n cameras.
    void useCameras(int n)
    {
        numCamera = n;
        for (int c = 0; c < kMaxCameras; ++c) {
            win->cammerWidgets[c] = c < n ? views[c] : nullptr;
            if (c >= n)
                views[c]->hide();
        }
        win->viewCamera = n == 1 ? 0 : n;
        win->ChangeCammer();
    }

    // What the main window's constructor builds of the operator surface.
    void buildSurface()
    {
        win->helpButton = new ColorButton(QString(), win, 3);
        win->helpButton->setGeometry(5, 300, 70, 70);
        win->versionLabel = new QLabel("Ver:18.0.1.67", win);
        win->versionLabel->setGeometry(gShowW - 240, gShowH - 50, 240, 30);
        win->modeLabel = new QLabel(win);
        win->modeLabel->setGeometry(gShowW - 240, gShowH - 85, 240, 30);
        win->ioStatusWidget = new IOStatusWidget(win);
        win->indexButton = new IndexButton(win);
        win->zoomSlider = new FloatSlider(win);
        win->zoomSlider->setGeometry((gShowW - 1000) / 2, gShowH - 125, 1000, 35);
        win->zoomSlider->scale = 100.0f;
        win->zoomSlider->slider->setRange(100, 500);
        connect(win->zoomSlider, &FloatSlider::updateValue, win, &MoJuWizard::MScale);
        win->logoutTimer = new QTimer(win);
        connect(win->logoutTimer, &QTimer::timeout, win, &MoJuWizard::TimerLogout);
        win->lcdTimer = new QTimer(win);
        connect(win->lcdTimer, &QTimer::timeout, win, &MoJuWizard::TimerLCD);
        win->drawHintTimer = new QTimer(win);
        connect(win->drawHintTimer, &QTimer::timeout, win, &MoJuWizard::SlotDrawHint);
        win->installEventFilter(win);
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        gLan = 1;
        CreateGlobalMutexes();
        LoadGlobalPixmaps();
        PlatformClock::setSleepScale(0.01);
        PlatformClock::setNow(clock);
        QVERIFY(FactoryFixture::writeAll());
        gfLED = kFakeLedFd;

        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        win->setFixedSize(gShowW, gShowH);
        QVERIFY(MainWindowRig::openWindowDatabases(win, false));
        gpWPara = new WizardPara;
        gpWPara->LoadDatafromFile();
        gLan = 1;  // the factory record says Chinese; the checks read the English texts
        gpWParaBak = new WizardPara;
        gpControlIO = new ControlPort;
        gDNum = 2;

        CameraManager* manager = CameraManager::getInstance();
        manager->loadPlugins();
        QVERIFY(!manager->plugins.isEmpty());
        CameraInterface* factory = manager->plugins.first();
        auto* control = qobject_cast<SimCameraControl*>(factory);
        QVERIFY(control);
        control->configure(QJsonObject{
            {"cameraCount", kMaxCameras}, {"width", 640}, {"height", 480}, {"color", false}, {"source", "scene"}});
        const QVector<_cameraInfo> cameras = factory->findCameras();
        QCOMPARE(cameras.size(), kMaxCameras);
        manager->noRealCamera = false;
        for (int c = 0; c < kMaxCameras; ++c) {
            views[c] = new CammerWidget(win, c, cameras.at(c));
            QVERIFY(views[c]->cameraOpen);
            views[c]->ManualUpdateImage();
            views[c]->UpdateImage();
        }
        buildSurface();
        useCameras(8);
        win->show();
    }

    void init()
    {
        CommandRunner::clearCalls();
        Devices::clearRecordedLedRequests();
        Devices::clearRecordedBacklightWrites();
        tick();
    }

    // Runs first: the LED mask is still the fresh 0xFF.
    void ledMaskBlinkAndBacklight()
    {
        LEDOnOff(6, 0);
        LEDOnOff(6, 1);
        QCOMPARE(Devices::recordedLedRequests(), QList<unsigned long>({0x5A0180BF, 0x5A0180FF}));

        // The 1 s tick blinks LED 5 while detecting and holds it on while stopped.
        Devices::clearRecordedLedRequests();
        win->runState = 1;
        win->SlotFPS();
        win->SlotFPS();
        win->runState = 3;
        win->SlotFPS();
        win->SlotFPS();
        QCOMPARE(Devices::recordedLedRequests(),
                 QList<unsigned long>({kLedMask + 0xDF, kLedMask + 0xFF, kLedMask + 0xFF, kLedMask + 0xFF}));
        win->runState = 1;

        // Screen timer: dark on the old kernels by ioctl, on the newer ones by bl_power.
        Devices::clearRecordedLedRequests();
        linux_kernel_proc_version = kNewKernel;
        win->lcdTimer->start(50);
        QTRY_COMPARE(win->screenOff, 1);
        QVERIFY(!win->lcdTimer->isActive());
        QCOMPARE(Devices::recordedBacklightWrites(), QList<int>({1}));
        linux_kernel_proc_version = kOldKernel;
        LCDOnOff(1);
        QCOMPARE(win->screenOff, 0);
        QCOMPARE(Devices::recordedLedRequests(), QList<unsigned long>({kLcdOn}));
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    void cameraLayouts()
    {
        const int W = gShowW, H = gShowH;
        gpWPara->zoomEnable = 1;

        useCameras(2);
        QCOMPARE(views[0]->geometry(), Cell(0, 0, 959, 1079));
        QCOMPARE(views[1]->geometry(), Cell(960, 0, 1919, 1079));
        QCOMPARE(views[1]->showScaleX, 960.0f / 640.0f);
        QCOMPARE(views[1]->showScaleY, 1080.0f / 480.0f);
        QCOMPARE(views[1]->winScaleX, 0.5f);
        QCOMPARE(views[1]->winScaleY, 1.0f);
        QVERIFY(win->zoomSlider->isHidden());  // the grid is never zoomed

        // Five cameras: columns one pixel wider than a third, the last one past the edge.
        useCameras(5);
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(views[c]->x(), (c % 3) * 641);
            QCOMPARE(views[c]->y(), (c / 3) * 540);
            QCOMPARE(views[c]->width(), 641);
        }
        QCOMPARE(views[2]->geometry().right(), 1922);

        useCameras(3);
        QCOMPARE(views[2]->geometry(), Cell(0, 540, 959, 1079));

        useCameras(8);
        for (int c = 0; c < 8; ++c) QCOMPARE(views[c]->geometry(), QRect((c % 4) * 480, (c / 4) * 540, 480, 540));

        // A press on a view selects it full size; the others go; the slider comes.
        win->viewCamera = 6;
        win->ChangeCammer();
        QCOMPARE(views[6]->geometry(), QRect(0, 0, W, H));
        QVERIFY(views[6]->isVisible());
        for (int c : {0, 1, 5, 7}) QVERIFY(views[c]->isHidden());
        QVERIFY(!win->zoomSlider->isHidden());
        QCOMPARE(views[6]->winScaleX, 1.0f);

        // The multi-screen button returns to the grid.
        win->indexButton->show();
        QTest::mouseClick(win->indexButton->multiScreenButton, Qt::LeftButton);
        QCOMPARE(win->viewCamera, 8);
        QVERIFY(views[0]->isVisible() && views[7]->isVisible());
        QCOMPARE(views[7]->geometry(), QRect(1440, 540, 480, 540));

        // One camera: full screen, zoom slider left as it was; return only resets the zoom.
        win->zoomSlider->hide();
        useCameras(1);
        QCOMPARE(win->viewCamera, 0);
        QCOMPARE(views[0]->geometry(), QRect(0, 0, W, H));
        QVERIFY(win->zoomSlider->isHidden());
        win->zoomFactor = 3.0;
        win->zoomOffsetX = -40;
        win->SlotReturn();
        QCOMPARE(win->viewCamera, 0);
        QCOMPARE(win->zoomFactor, 1.0);
        QCOMPARE(win->zoomOffsetX, 0.0);
        win->showhideMscale();
        QVERIFY(!win->zoomSlider->isHidden());
        gpWPara->zoomEnable = 0;
        win->showhideMscale();
        QVERIFY(win->zoomSlider->isHidden());
    }

    void zoomAndPan()
    {
        useCameras(1);
        win->zoomCentreX = 100;
        win->zoomCentreY = 50;
        win->MScale(2.0f);
        QCOMPARE(win->zoomOffsetX, -100.0);
        QCOMPARE(win->zoomOffsetY, -50.0);
        win->MScale(4.0f);
        QCOMPARE(win->zoomOffsetX, -300.0);
        QCOMPARE(win->zoomOffsetY, -150.0);

        // A drag moves the zoomed picture and keeps the slider awake.
        win->zoomSlider->idleTimer->stop();
        win->panLastX = 10;
        win->panLastY = 10;
        win->updateMScale(30, 45);
        QCOMPARE(win->zoomOffsetX, -280.0);
        QCOMPARE(win->zoomOffsetY, -115.0);
        QCOMPARE(win->panLastX, 30);
        QVERIFY(win->zoomSlider->idleTimer->isActive());

        // Factor 1 whatever the centre: no offset, and panning does nothing.
        win->MScale(1.0f);
        QCOMPARE(win->zoomOffsetX, 0.0);
        QCOMPARE(win->zoomOffsetY, 0.0);
        win->updateMScale(90, 90);
        QCOMPARE(win->zoomOffsetX, 0.0);
        QCOMPARE(win->panLastX, 30);

        // The slider drives the factor and falls back to its minimum.
        win->zoomCentreX = 0;
        win->zoomCentreY = 0;
        win->zoomSlider->slider->setValue(250);
        QCOMPARE(win->zoomFactor, 2.5);
        win->MScaleSetToMin();
        QCOMPARE(win->zoomSlider->slider->value(), 100);
        QCOMPARE(win->zoomFactor, 1.0);
    }

    void buttonBar()
    {
        IndexButton* bar = win->indexButton;
        QCOMPARE(bar->geometry(), QRect(gShowW - 240, 0, 240, gShowH));
        QCOMPARE(bar->startStopButton->text(), QString("Stop Detection"));
        QCOMPARE(bar->multiScreenButton->size(), QSize(240, 76));
        QCOMPARE(bar->snapshotButton->size(), QSize(115, 76));
        QVERIFY(!bar->statisticsButton);  // its screen comes later
        QCOMPARE(bar->systemButton->text(), QString("System Param"));

        // Standard mode, manual trigger on, product detection off: only the mould snapshot.
        gpWPara->detectMode = 0;
        gpWPara->showManualSnapshot = 1;
        gpWPara->detectProd = 0;
        bar->Reset();
        QVERIFY(bar->isHidden());
        bar->show();
        QVERIFY(bar->expanded);
        QVERIFY(!bar->mouldTrigButton->isHidden());
        QVERIFY(bar->productTrigButton->isHidden());
        QVERIFY(bar->detectCombo->isHidden() && bar->snapshotButton->isHidden());
        QVERIFY(!bar->areaButton->isHidden() && !bar->resampleButton->isHidden());
        QCOMPARE(bar->detectCombo->count(), 0);
        QCOMPARE(bar->CurChooseTrig(), -1);

        // An empty combo triggers nothing.
        win->manualTrig = gDNum;
        bar->snapshotButton->click();
        QCOMPARE(win->manualTrig, gDNum);

        // The logo collapses the bar, and the logo goes with it.
        QTest::mouseClick(bar->logoButton, Qt::LeftButton);
        QVERIFY(!bar->expanded);
        QVERIFY(bar->isHidden());
        bar->show();
        QVERIFY(bar->expanded);
        bar->checkShowHide();
        QVERIFY(!bar->isHidden());

        // Two minutes after the last press on a view it folds by itself (shortened here).
        bar->hideTimer->start(30);
        QTRY_VERIFY(bar->isHidden());
        QVERIFY(!bar->hideTimer->isActive());

        // Multiple detections: the combo lists the stages, the snapshot fires the chosen one.
        gpWPara->detectMode = 3;
        gpWPara->detectCount = 5;
        gpWPara->detectEnabled[2] = 1;
        bar->Reset();
        QStringList items;
        for (int i = 0; i < bar->detectCombo->count(); ++i) items << bar->detectCombo->itemText(i);
        QCOMPARE(items, QStringList({"1st", "2nd", "3rd", "4th", "5th"}));
        bar->show();
        QVERIFY(bar->mouldTrigButton->isHidden() && bar->productTrigButton->isHidden());
        QVERIFY(!bar->detectCombo->isHidden() && !bar->snapshotButton->isHidden());
        bar->detectCombo->setCurrentIndex(2);
        bar->snapshotButton->click();
        QCOMPARE(win->manualTrig, 2);

        gpWPara->detectMode = 0;
        gpWPara->detectEnabled[2] = 0;
        gpWPara->showManualSnapshot = 0;
        bar->Reset();
    }

    void pagesFromTheBar()
    {
        IndexButton* bar = win->indexButton;
        useCameras(2);
        gpWPara->isPswUsed = 0;
        win->pageState = 0;
        bar->show();
        win->ioStatusWidget->show();

        // An NG alarm holds the system: the teaching page stays shut.
        win->pageState = 2;
        bar->areaButton->click();
        QCOMPARE(win->pageState, 2);
        QVERIFY(!bar->isHidden());

        win->pageState = 0;
        bar->areaButton->click();
        QCOMPARE(win->pageState, 3);
        QVERIFY(bar->isHidden());
        QVERIFY(win->ioStatusWidget->isHidden());

        // A re-train opens the page too but leaves the status strip.
        win->pageState = 0;
        win->ioStatusWidget->show();
        bar->show();
        gFromTrain = 0;
        win->CheckArea(true);
        QCOMPARE(win->pageState, 3);
        QCOMPARE(gFromTrain, 1);
        QVERIFY(bar->isHidden());
        QVERIFY(!win->ioStatusWidget->isHidden());

        // Entering the settings with the factory level and passwords in use keeps the operator level.
        win->pageState = 0;
        gpWPara->isPswUsed = 1;
        win->pswLevel = 2;
        gpWPara->templateNum = 42;
        gpWParaBak->templateNum = 7;
        bar->show();
        win->zoomSlider->show();
        win->SlotSystemPara();
        QCOMPARE(win->pswLevel, 1);
        QCOMPARE(gpWParaBak->templateNum, 42);
        QVERIFY(*gpWParaBak == *gpWPara);
        QVERIFY(bar->isHidden() && !bar->expanded);
        QVERIFY(win->zoomSlider->isHidden());
        gpWPara->isPswUsed = 0;
        win->pswLevel = 0;

        // The size hint ends with its timer.
        gDrawHint = 1;
        win->drawHintTimer->start(20);
        QTRY_COMPARE(gDrawHint, 0);
        QVERIFY(!win->drawHintTimer->isActive());

        // A press on the window closes an open keypad.
        gpNumPad = new NumberInput(nullptr);
        gpNumPad->show();
        QTest::mousePress(win, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(gpNumPad->isHidden());
    }

    void statusStrip()
    {
        IOStatusWidget* strip = win->ioStatusWidget;
        strip->show();
        QCOMPARE(strip->geometry(), QRect(0, gShowH - 180, gShowW, 180));
        IOStatusWidget::groupNames = [] { return QStringList({"default", "cup-lid"}); };
        gpWPara->detectMode = 0;
        gpWPara->isPswUsed = 0;
        gpWPara->ejectorPulseNoAlarm = 0;
        gpWPara->groupIndex = 1;
        win->cycleTime = 123;
        clock = QDateTime(QDate(2026, 3, 15), QTime(8, 5, 9));  // later than every press so far
        PlatformClock::setNow(clock);

        IOStatusWidget::Layout l = strip->layout();
        QList<int> xs;
        for (const IOStatusWidget::Lamp& lamp : l.lamps) xs << lamp.lamp.x();
        QCOMPARE(xs, QList<int>({7, 82, 157, 232, 322, 397, 472, 547}));
        QCOMPARE(l.lamps.at(4).kind, 1);
        QCOMPARE(l.lamps.at(0).lamp, QRect(7, 95, 70, 80));
        QCOMPARE(l.lamps.at(0).nameBox, QRect(7, 157, 70, 18));
        QCOMPARE(l.lamps.at(5).name, gaName[5]);
        QVERIFY(!l.showLogin);
        QVERIFY(l.showProduct);
        QCOMPARE(l.productAt, QPoint(697, 155));
        QCOMPARE(l.productText, QString("cup-lid"));  // the label of entry 557 is empty in English
        QCOMPARE(l.clockText, QString("2026-03-15 08.05.09  Cycle 12.3S"));
        QCOMPARE(l.clockAt, QPoint(1150, 155));
        QVERIFY(!l.showDisk);

        win->cycleTime = 0;
        QVERIFY(strip->layout().clockText.endsWith("Cycle  0.0S"));

        // Passwords in use: the login state leads, the product follows 150 + 20 per language.
        gpWPara->isPswUsed = 1;
        win->pswLevel = 1;
        l = strip->layout();
        QVERIFY(l.showLogin);
        QCOMPARE(l.loginText, QString("Logged"));
        QCOMPARE(l.loginAt, QPoint(697, 157));
        QCOMPARE(l.productAt, QPoint(697 + 150 + 20, 155));
        QMap<QString, int> drawnPx;  // with room at their places the texts keep the strip's 35 px
        TextFit::SetDrawObserver([&drawnPx](const TextFit::Drawn& d) { drawnPx[d.shown] = d.font.pixelSize(); });
        strip->grab();
        TextFit::SetDrawObserver({});
        QCOMPARE(drawnPx.value("Logged"), 35);

        // A touch on the strip logs out and shows it.
        QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(900, 90));
        QCOMPARE(win->pswLevel, 0);
        QCOMPARE(strip->layout().loginText, QString("Unlogged"));

        // The "default" group names no product; the extra outputs continue the row.
        gpWPara->groupIndex = 0;
        gpWPara->ejectorPulseNoAlarm = 1;
        IOStatusWidget::usbDiskPresent = [] { return true; };
        l = strip->layout();
        QVERIFY(!l.showProduct);
        QCOMPARE(l.lamps.size(), 12);
        QCOMPARE(l.lamps.last().lamp.x(), 847);
        QCOMPARE(l.lamps.last().name, QString(" N 4 "));
        QCOMPARE(l.lamps.last().number, 7);
        QCOMPARE(l.loginAt.x(), 997);
        QVERIFY(l.showDisk);
        QCOMPARE(l.diskRect, QRect(1080, 120, 50, 50));

        // Multiple detections on a wide screen: the inputs that trigger, the outputs below.
        gpWPara->detectMode = 3;
        gpWPara->detectCount = 6;
        gpWPara->ejectorPulseNoAlarm = 0;
        gpWPara->isPswUsed = 0;
        const int savedTrig[3] = {gpWPara->detectTrigIn[0], gpWPara->detectTrigIn[1], gpWPara->detectTrigIn[2]};
        // Shared with the later cases: given back however this one ends.
        const auto standardMachine = [savedTrig] {
            for (int d = 0; d < 3; ++d) gpWPara->detectTrigIn[d] = savedTrig[d];
            gpWPara->detectMode = 0;
            gpWPara->groupIndex = 1;
            IOStatusWidget::usbDiskPresent = nullptr;
        };
        const auto restore = qScopeGuard(standardMachine);
        for (int& t : gpWPara->detectTrigIn) t = -1;
        gpWPara->detectTrigIn[0] = 0;
        gpWPara->detectTrigIn[1] = 5;
        gpWPara->detectTrigIn[2] = 7;  // the count of 6 leaves input 7 without a lamp
        gpWPara->ioRowInput[0] = 1;    // trigger choice 1 is input 3 (index 2)
        l = strip->layout();
        QList<QPair<int, int>> inputs, outputs;
        for (const IOStatusWidget::Lamp& lamp : l.lamps)
            (lamp.kind == 0 ? inputs : outputs) << qMakePair(lamp.number, lamp.lamp.x());
        QCOMPARE(inputs, (QList<QPair<int, int>>{{0, 7}, {2, 82}, {5, 157}}));
        QCOMPARE(outputs.size(), 6);
        QCOMPARE(outputs.first(), qMakePair(0, 7));
        QCOMPARE(outputs.last(), qMakePair(5, 7 + 5 * 75));
        QCOMPARE(l.lamps.first().lamp.y(), 10);
        QCOMPARE(l.lamps.first().nameBox.y(), 70);
        QCOMPARE(l.lamps.last().lamp.y(), 95);
        QCOMPARE(l.lamps.last().nameBox.y(), 154);
        QCOMPARE(l.lamps.last().name, gaName[9 + 5]);
        standardMachine();

        // The lamp picture follows the output word.
        const QRect lamp(322, 95, 70, 80);
        gpControlIO->outWord = 0;
        const QImage off = strip->grab(lamp).toImage();
        gpControlIO->outWord = 1;
        const QImage on = strip->grab(lamp).toImage();
        gpControlIO->inWord = 1;
        const QImage inputOn = strip->grab(QRect(7, 95, 70, 80)).toImage();
        gpControlIO->outWord = 0;
        gpControlIO->inWord = 0;
        QVERIFY(!off.isNull());
        QVERIFY(off != on);
        // One picture for a lit input and a lit output (their names overlap the lamps' foot).
        QCOMPARE(inputOn.copy(0, 0, 70, 60), on.copy(0, 0, 70, 60));
    }

    void touchOnDarkScreenOnlyWakes()
    {
        auto* button = new QPushButton("under the finger", win);
        button->setGeometry(300, 300, 200, 100);
        button->show();
        QSignalSpy clicks(button, &QPushButton::clicked);
        gpWPara->screenOffTime = 30;

        LCDOnOff(0);
        QCOMPARE(win->screenOff, 1);
        Devices::clearRecordedLedRequests();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(win->screenOff, 0);
        QCOMPARE(Devices::recordedLedRequests(), QList<unsigned long>({kLcdOn}));
        QCOMPARE(clicks.count(), 0);
        QVERIFY(win->lcdTimer->isActive());
        QCOMPARE(win->lcdTimer->interval(), 30000);

        tick();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);

        // A second press 5 ms later restarts no timer, and still reaches the button.
        win->lcdTimer->stop();
        tick(5);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 2);
        QVERIFY(!win->lcdTimer->isActive());

        // Without a screen-off time the timer is never started, but a dark screen still wakes.
        gpWPara->screenOffTime = 0;
        LCDOnOff(0);
        tick();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(win->screenOff, 0);
        QCOMPARE(clicks.count(), 2);
        QVERIFY(!win->lcdTimer->isActive());
        delete button;
    }

    void logoutAfterIdleTime()
    {
        gpWPara->autoLogout = 1;
        win->pswLevel = 1;
        QTest::mouseClick(win, Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(win->logoutTimer->isActive());
        QTest::qWait(500);
        tick();
        QCOMPARE(win->pswLevel, 1);
        const int leftBeforePress = win->logoutTimer->remainingTime();
        QTest::mouseClick(win, Qt::LeftButton, {}, QPoint(600, 400));
        QElapsedTimer sinceLastPress;
        sinceLastPress.start();
        // The press starts the second again (at most half of the first one's was left).
        QVERIFY2(
            win->logoutTimer->remainingTime() > leftBeforePress,
            qPrintable(QString("%1 after, %2 before").arg(win->logoutTimer->remainingTime()).arg(leftBeforePress)));
        QTRY_COMPARE_WITH_TIMEOUT(win->pswLevel, 0, 10000);
        // A second after the last press, however late a busy machine ran the timer; a coarse
        // timer may fire a few per cent early.
        QVERIFY2(sinceLastPress.elapsed() >= 950, qPrintable(QString::number(sinceLastPress.elapsed())));
        QVERIFY(!win->logoutTimer->isActive());

        // Without a logout time presses leave the level alone.
        gpWPara->autoLogout = 0;
        win->pswLevel = 2;
        tick();
        QTest::mouseClick(win, Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(!win->logoutTimer->isActive());
        win->pswLevel = 0;
    }

    void calibrationHoldOnSimulatedCameras()
    {
        // Real cameras: a long hold never arms the calibration.
        CameraManager::_instance->noRealCamera = false;
        QTest::mousePress(win, Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(!app()->tsTimer->isActive());
        QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(600, 400));

        CameraManager::_instance->noRealCamera = true;
        const int countedBefore = ts_calibrate_times;
        // The first press on simulated cameras is only noted.
        tick();
        QTest::mousePress(win, Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(!app()->tsTimer->isActive());
        QVERIFY(!ts_firstpress.isEmpty());
        QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(600, 400));

        // A press released early stops the hold.
        tick();
        QTest::mousePress(win, Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(app()->tsTimer->isActive());
        QCOMPARE(app()->tsTimer->interval(), MApplication::kCalibrationHoldMs);
        QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(!app()->tsTimer->isActive());
        QVERIFY(CommandRunner::callTexts().isEmpty());

        // Held to the end: the hint asks to let go; the release calibrates and reboots.
        tick();
        QTest::mousePress(win, Qt::LeftButton, {}, QPoint(600, 400));
        app()->tsTimer->start(20);  // the five seconds, shortened
        QTRY_VERIFY(app()->tsTimeout);
        QCOMPARE(ts_calibrate_times, countedBefore + 3);
        gisRunWTD = true;
        QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(600, 400));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"./tsc", "reboot"}));
        QVERIFY(!gisRunWTD);
        QVERIFY(!win->dbIn.isOpen());  // databases closed before the reboot
        QVERIFY(!app()->tsTimeout);
        QVERIFY(!ts_calibrate.isEmpty());
        CameraManager::_instance->noRealCamera = false;
    }

    // Saves what the operator sees with 1, 2 and 8 cameras (for a look by eye) and checks
    // that the strip and the bar stand on top of the views.
    void screenGrabs()
    {
        win->dbIn.open();
        gpWPara->isPswUsed = 1;
        gpWPara->showManualSnapshot = 1;
        gpWPara->detectProd = 1;
        win->cycleTime = 87;
        win->pageState = 0;
        const QString folder = qEnvironmentVariable("MONITOR_GRAB_DIR", TestSupport::workDir());
        for (int n : {1, 2, 8}) {
            useCameras(n);
            for (int c = 0; c < n; ++c) {
                views[c]->ManualUpdateImage();
                views[c]->UpdateImage();
            }
            win->ioStatusWidget->show();
            win->ioStatusWidget->raise();
            win->indexButton->Reset();
            win->indexButton->show();
            win->indexButton->raise();
            const QImage shot = win->grab().toImage();
            QCOMPARE(shot.size(), QSize(gShowW, gShowH));
            QVERIFY(shot.save(QString("%1/operator-%2-cameras.png").arg(folder).arg(n)));
            // The clock is drawn in green on the strip.
            QVERIFY(TestSupport::containsGreen(shot, QRect(QPoint(1150, gShowH - 60), QPoint(1499, gShowH - 26))));
        }
    }
};

MONITOR_TEST_MAIN_APP(TestOperatorSurface, MApplication)

#include "tst_operatorsurface.moc"
