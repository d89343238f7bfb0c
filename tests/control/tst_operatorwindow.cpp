// The whole main window under the application object: the operator's surface as built, its timers, a touch on a dark
// screen. ctest-timeout: 120
#include <QDir>
#include <QJsonObject>
#include <QLabel>

#include "cameramanager.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "combobox.h"
#include "commandrunner.h"
#include "devices.h"
#include "drawroiwidget.h"
#include "factoryfixture.h"
#include "floatslider.h"
#include "globals.h"
#include "indexbutton.h"
#include "iostatus.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "mainwindowrig.h"
#include "mapplication.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

constexpr int kFakeLedFd = 7;
constexpr unsigned long kLcdOn = 0x5A018B00;
constexpr unsigned long kLcdOff = 0x5A018A00;

}  // namespace

class TestOperatorWindow : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    QDateTime clock = QDateTime(QDate(2026, 5, 4), QTime(7, 0, 0));

    MApplication* app() { return static_cast<MApplication*>(QCoreApplication::instance()); }

    // A press and release on the window, a second after the last one.
    void touch(QPoint at = QPoint(700, 400))
    {
        clock = clock.addSecs(1);
        PlatformClock::setNow(clock);
        QTest::mouseClick(win, Qt::LeftButton, {}, at);
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        CreateGlobalMutexes();
        LoadGlobalPixmaps();
        PlatformClock::setNow(clock);
        gfLED = kFakeLedFd;
        QVERIFY(FactoryFixture::writeAll());
        QVERIFY(MainWindowRig::setLanguage("PARAM.db", 1));
        QVERIFY(MainWindowRig::setParam("PARAM.db", "isPswUsed", 1, 1));
        QVERIFY(MainWindowRig::setParam("PARAM.db", "system3", 9, 1));  // log out after 1 s
        MainWindowRig::writeSimCameras(QJsonObject{{"cameraType", 0},
                                                   {"cameraCount", 2},
                                                   {"width", 640},
                                                   {"height", 480},
                                                   {"color", false},
                                                   {"source", "scene"},
                                                   {"fps", 10}});
        ModalAnswerer answerer;
        answerer.watchCameraCountQuestion();
        answerer.answer(ModalAnswerer::No);
        win = new MoJuWizard(nullptr);
        QCOMPARE(answerer.pendingAnswers(), 0);
        win->show();
    }

    void surfaceAsBuilt()
    {
        QCOMPARE(numCamera, 2);
        QCOMPARE(win->viewCamera, 2);
        // The window takes the screen it finds (the offscreen one here, 800 x 600).
        QCOMPARE(win->size(), QSize(gShowW, gShowH));
        QCOMPARE(win->cammerWidgets[1]->geometry(), QRect(gShowW / 2, 0, gShowW / 2, gShowH));
        QCOMPARE(win->ioStatusWidget->geometry(), QRect(0, gShowH - 180, gShowW, 180));
        QVERIFY(win->ioStatusWidget->isVisible());
        QCOMPARE(win->indexButton->geometry(), QRect(gShowW - 240, 0, 240, gShowH));
        QVERIFY(win->indexButton->isHidden());  // it comes with the first press on a view
        QCOMPARE(win->indexButton->CurChooseTrig(), -1);
        QVERIFY(win->zoomSlider->isHidden());
        // Simulated cameras: the start and stop button reads as detecting.
        QCOMPARE(win->indexButton->startStopButton->text(), LanStr(127));
        QCOMPARE(win->ioStatusWidget->layout().loginText, QString("Unlogged"));
    }

    void loginLapsesAfterTheSetTime()
    {
        // The first press of the run on simulated cameras is only noted by the calibration
        // hold; every later one restarts the logout count.
        touch();
        win->pswLevel = 1;
        touch();
        QVERIFY(win->logoutTimer->isActive());
        QCOMPARE(win->logoutTimer->interval(), 1000);
        QCOMPARE(win->ioStatusWidget->layout().loginText, QString("Logged"));
        QTRY_COMPARE_WITH_TIMEOUT(win->pswLevel, 0, 10000);
        QCOMPARE(win->ioStatusWidget->layout().loginText, QString("Unlogged"));
    }

    void darkScreenWakesOnTouchOnly()
    {
        Devices::clearRecordedLedRequests();
        win->lcdTimer->start(20);
        QTRY_COMPARE(win->screenOff, 1);
        QVERIFY(!win->lcdTimer->isActive());

        // The waking press reaches nothing: the button bar stays folded.
        win->indexButton->show();
        win->indexButton->SlotShowHideTimeout();
        QVERIFY(win->indexButton->isHidden());
        touch();
        QCOMPARE(win->screenOff, 0);
        QCOMPARE(Devices::recordedLedRequests(), QList<unsigned long>({kLcdOff, kLcdOn}));
        QVERIFY(!app()->tsTimer->isActive());  // released in time: no calibration
        QVERIFY(CommandRunner::callTexts().filter("tsc").isEmpty());
    }

    void ledFiveBlinksEverySecond()
    {
        Devices::clearRecordedLedRequests();
        // Two ticks, however late a busy machine runs them.
        QTRY_VERIFY_WITH_TIMEOUT(Devices::recordedLedRequests().size() >= 2, 10000);
        const QList<unsigned long> requests = Devices::recordedLedRequests();
        // Consecutive ticks switch LED 5 (bit 0x20) the other way.
        QVERIFY(((requests[0] ^ requests[1]) & 0x20) != 0);
    }

    // The camera view reaches the bar and the window by name only: a press selects the camera
    // and brings the bar, a drag pans the zoomed picture.
    void pressOnAViewSelectsItAndBringsTheBar()
    {
        win->indexButton->show();
        win->indexButton->SlotShowHideTimeout();
        win->viewCamera = numCamera;
        win->ChangeCammer();
        CammerWidget* view = win->cammerWidgets[1];
        clock = clock.addSecs(1);
        PlatformClock::setNow(clock);
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(200, 300));
        QCOMPARE(win->viewCamera, 1);
        QCOMPARE(view->geometry(), QRect(0, 0, gShowW, gShowH));
        QVERIFY(!win->indexButton->isHidden());
        QVERIFY(win->indexButton->expanded);
        QVERIFY(win->indexButton->hideTimer->isActive());
        QCOMPARE(win->indexButton->hideTimer->interval(), 120000);
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(200, 300));

        // Zoomed, the picture follows the finger from where each drag starts: a second drag
        // does not first jump by the gap between the end of the first one and its own press.
        win->zoomSlider->slider->setValue(300);
        QCOMPARE(win->zoomFactor, 3.0);
        const double x0 = win->zoomOffsetX, y0 = win->zoomOffsetY;
        const auto drag = [&](QPoint from, QPoint to) {
            clock = clock.addSecs(1);
            PlatformClock::setNow(clock);
            QTest::mousePress(view, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, QPointF(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &move);
            QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        };
        drag(QPoint(200, 300), QPoint(260, 330));
        QCOMPARE(win->zoomOffsetX, x0 + 60);
        QCOMPARE(win->zoomOffsetY, y0 + 30);
        drag(QPoint(900, 700), QPoint(910, 700));
        QCOMPARE(win->zoomOffsetX, x0 + 70);
        QCOMPARE(win->zoomOffsetY, y0 + 30);

        // The multi-screen button puts the grid back at factor 1.
        win->indexButton->multiScreenButton->click();
        QCOMPARE(win->viewCamera, numCamera);
        QCOMPARE(win->zoomFactor, 1.0);
        QCOMPARE(win->zoomSlider->slider->value(), 100);
    }

    // On the alarm page's live picture of all cameras a press on one chooses it on the page
    // too, which brings the ignore-point commands of a single camera.
    void pressDuringAnAlarmChoosesTheCameraOnThePage()
    {
        DrawROIWidget* page = win->drawROIWidget;
        QVERIFY(page);
        win->pageState = 2;
        win->viewCamera = numCamera;
        win->ChangeCammer();
        page->Reset(false);
        QCOMPARE(gSource, 1);
        QCOMPARE(page->cameraCombo->currentIndex(), numCamera);  // "All Camera"
        QVERIFY(page->ignoreButton->isHidden());

        clock = clock.addSecs(1);
        PlatformClock::setNow(clock);
        QTest::mouseClick(win->cammerWidgets[1], Qt::LeftButton, {}, QPoint(200, 300));
        QCOMPARE(win->viewCamera, 1);
        QCOMPARE(page->cameraCombo->currentIndex(), 1);
        QVERIFY(page->ignoreButton->isVisible());
        QVERIFY(page->showIgnoredButton->isVisible() && page->deleteIgnoredButton->isVisible());
        QCOMPARE(gSource, 1);

        page->Restart();
        gSource = -1;
        win->SlotReturn();
        QCOMPARE(win->pageState, 0);
    }

    // While End Set asks whether to keep the changes, the teaching page's picture is still
    // up: the status strip comes back only after the answer, so the legend of filter size
    // and area at the bottom of the view stays readable.
    void endSetQuestionLeavesTheLegendReadable()
    {
        DrawROIWidget* page = win->drawROIWidget;
        win->pswLevel = 1;
        win->SlotAdjustArea();
        QCOMPARE(gSource, 0);
        QVERIFY(win->ioStatusWidget->isHidden());
        CammerWidget* view = win->cammerWidgets[0];
        view->storeB->para1[1][kMaxRegions - 1] += 1;  // a change beyond the drawn regions

        QImage shot;
        bool stripShown = true;
        ModalAnswerer answerer;
        answerer.answerWith([&](QDialog* box) {
            shot = win->grab().toImage();
            stripShown = win->ioStatusWidget->isVisible();
            box->reject();
        });
        page->returnButton->click();
        QCOMPARE(answerer.pendingAnswers(), 0);
        QVERIFY(!shot.isNull());
        const QString folder = qEnvironmentVariable("MONITOR_GRAB_DIR", QDir::currentPath());
        QVERIFY(shot.save(QString("%1/operator-window-end-set-question.png").arg(folder)));
        QVERIFY(!stripShown);
        // The legend's blue square of the filter size, (160, h - 89)-(189, h - 60) of the view.
        const int h = view->height() - 1;
        QCOMPARE(shot.pixel(view->mapTo(win, QPoint(175, h - 75))), qRgb(0, 0, 255));
        // Answered, the page is left and the strip is back.
        QVERIFY(page->isHidden());
        QVERIFY(win->ioStatusWidget->isVisible());
        view->storeB->para1[1][kMaxRegions - 1] -= 1;
        win->SlotReturn();
    }

    void lookOfTheScreen()
    {
        win->indexButton->show();
        win->indexButton->raise();
        const QImage shot = win->grab().toImage();
        QCOMPARE(shot.size(), QSize(gShowW, gShowH));
        const QString folder = qEnvironmentVariable("MONITOR_GRAB_DIR", QDir::currentPath());
        QVERIFY(shot.save(QString("%1/operator-window-2-cameras.png").arg(folder)));
        // The version label in green at the bottom right, under the bar's column.
        QVERIFY(TestSupport::containsGreen(shot, win->versionLabel->geometry()));
    }
};

MONITOR_TEST_MAIN_APP(TestOperatorWindow, MApplication)

#include "tst_operatorwindow.moc"
