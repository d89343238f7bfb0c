// The whole main window built once: three simulated cameras (the second does not open), the IO board, the databases.
// ctest-timeout: 120
#include <limits>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

#include "cameramanager.h"
#include "cammerwidget.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "commandrunner.h"
#include "constructionhooks.h"
#include "controlport.h"
#include "factoryfixture.h"
#include "floatslider.h"
#include "globals.h"
#include "ioboard-sim/ioboardsim.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "lostcamerawarnbox.h"
#include "mainwindowrig.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "passwordbox.h"
#include "productalarmwarnbox.h"
#include "systempaths.h"
#include "testsupport.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

constexpr int kTextNoRealCamera = 134;
const char* const kCountFile = "cnt_net/workspace/count.ini";

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    IOBoardSim* board = nullptr;  // outlives the IO thread: never deleted
    QStringList questions;
    QList<CommandCall> constructionCalls;
    // Each construction hook as it was called, with what the window had built by then.
    QStringList joined;

private slots:
    void initTestCase()
    {
        // What main has done before it builds the window.
        InitLanStr();
        CreateGlobalMutexes();

        QVERIFY(FactoryFixture::writeAll());
        QVERIFY(MainWindowRig::setLanguage("PARAM.db", 1));
        MainWindowRig::writeSimCameras(MainWindowRig::threeCameras(1));
        QDir().mkpath("cnt_net/workspace");
        QFile count(kCountFile);
        QVERIFY(count.open(QIODevice::WriteOnly));
        count.write(
            "[General]\n"
            "list_allnum=5, 0, 0, 0, 0, 0, 0, 0\n"
            "list_failnum=100000001, -5, 100000000\n"
            "list_allcyclenum=1, 2, 3, 4, 5, 6, 7, 8, 9, 10\n"
            "gSyncNGNum=7\n");
        count.close();

        board = new IOBoardSim;
        QVERIFY(board->start());
        SystemPaths::setSerialDevice(board->devicePath());

        // Simulated cameras only: the count check asks whether to forget the stored order.
        ModalAnswerer answerer;
        answerer.watchCameraCountQuestion();
        answerer.answer(ModalAnswerer::No);
        ConstructionHooks hooks;
        auto seen = [this](const char* step) {
            return [this, step](QWidget* window) {
                auto* w = static_cast<MoJuWizard*>(window);
                joined << QString("%1 teaching=%2 zoom=%3 failImage=%4 password=%5 lostBox=%6 cameras=%7 running=%8")
                              .arg(step)
                              .arg(w->drawROIWidget != nullptr)
                              .arg(w->zoomSlider != nullptr)
                              .arg(gpFailImage[0] != nullptr)
                              .arg(gpPasswordBox != nullptr)
                              .arg(gpLostCameraWarnBox != nullptr)
                              .arg(numCamera)
                              .arg(w->runTimer && w->runTimer->isActive());
            };
        };
        hooks.servers = seen("servers");
        hooks.pages = [this, seen](QWidget* window) {
            seen("pages")(window);
            auto* page = new QWidget(window);
            page->setObjectName("pageFromAbove");
            page->hide();
        };
        hooks.pagesReady = seen("pagesReady");
        hooks.failureImages = seen("failureImages");
        hooks.statistics = seen("statistics");
        hooks.disks = seen("disks");
        SetConstructionHooks(std::move(hooks));
        CommandRunner::clearCalls();
        win = new MoJuWizard(nullptr);
        SetConstructionHooks({});
        constructionCalls = CommandRunner::calls();
        questions = answerer.texts();
        QCOMPARE(answerer.pendingAnswers(), 0);

        // As main does next.
        gpControlIO->InitIOThread();
    }

    // Start-up hands the window what the layers above it build; each part joins at its step,
    // once, seeing what the steps before it made.
    void upperLayersJoinAtTheirSteps()
    {
        QCOMPARE(joined, QStringList({
                             "servers teaching=0 zoom=0 failImage=0 password=0 lostBox=0 cameras=2 running=0",
                             "pages teaching=1 zoom=0 failImage=0 password=0 lostBox=0 cameras=2 running=0",
                             "pagesReady teaching=1 zoom=1 failImage=0 password=0 lostBox=0 cameras=2 running=0",
                             "failureImages teaching=1 zoom=1 failImage=1 password=1 lostBox=0 cameras=2 running=0",
                             "statistics teaching=1 zoom=1 failImage=1 password=1 lostBox=0 cameras=2 running=0",
                             "disks teaching=1 zoom=1 failImage=1 password=1 lostBox=1 cameras=2 running=1",
                         }));
        auto* page = win->findChild<QWidget*>("pageFromAbove");
        QVERIFY(page);
        QCOMPARE(page->parentWidget(), win);
        QVERIFY(page->isHidden());
    }

    void camerasThatOpenTakeTheNumbersInOrder()
    {
        QCOMPARE(numCamera, 2);
        QCOMPARE(win->viewCamera, 2);  // the grid of all cameras
        QCOMPARE(questions, QStringList({MainWindowRig::english(kTextNoRealCamera)}));

        const QVector<_cameraInfo> kept = CameraManager::getInstance()->cameras;
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept[0].serial(), QString("SIMCAM01X"));
        QCOMPARE(kept[1].serial(), QString("SIMCAM03X"));
        QVERIFY(win->cammerWidgets[0] && win->cammerWidgets[1]);
        QVERIFY(!win->cammerWidgets[2]);
        QCOMPARE(win->cammerWidgets[1]->cameraIndex, 1);
        QCOMPARE(QString(win->cammerWidgets[1]->cameraSerial), QString("SIMCAM03X"));
        QCOMPARE(win->findChildren<CammerWidget*>().size(), 2);  // the dropped view is gone
    }

    void foldersAndImageSlotsOnlyForOpenedCameras()
    {
        for (int c = 1; c <= 2; ++c) {
            for (int d = 1; d <= 8; ++d) {
                const QString where = QString("camera %1 detection %2").arg(c).arg(d);
                QVERIFY2(QDir(QString("alarmimage/camera%1/detect%2/NG").arg(c).arg(d)).exists(), qPrintable(where));
                QVERIFY2(QDir(QString("alarmimage/camera%1/detect%2/OK").arg(c).arg(d)).exists(), qPrintable(where));
                QVERIFY2(QDir(QString("cammer%1%2").arg(c).arg(d)).exists(), qPrintable(where));
                QVERIFY2(QDir(QString("originalimage/cammer%1%2").arg(c).arg(d)).exists(), qPrintable(where));
                QCOMPARE(QDir::cleanPath(win->failDirs[c - 1][d - 1][0].absolutePath()),
                         QDir::cleanPath(QDir::current().absoluteFilePath(
                             QString("alarmimage/camera%1/detect%2/NG").arg(c).arg(d))));
            }
        }
        QVERIFY(!QDir("alarmimage/camera3").exists());
        QVERIFY(!QDir("cammer31").exists());
        QVERIFY(QDir("RECORD").exists());

        for (int slot = 0; slot < kFailSlotCount; ++slot) {
            QCOMPARE(gpFailImage[slot] != nullptr, slot < 2 * 8 * 2);
            QVERIFY(!gisSaveFail[slot]);
        }
    }

    void startIsRecordedAndChangesNothingOnTheHost()
    {
        QVERIFY(MainWindowRig::recordRows().contains("The system is ready, there is 2 cameras|info"));
        for (const CommandCall& call : constructionCalls)
            QVERIFY2(!CommandRunner::isHostChanging(call), qPrintable(call.text));
        QVERIFY(!CommandRunner::callTexts().contains("reboot"));

        QFile date("time.txt");
        QVERIFY(date.open(QIODevice::ReadOnly));
        QCOMPARE(QString(date.readAll()), QDate::currentDate().toString("yyyy-MM-dd"));
        QCOMPARE(win->recordDate, QDate::currentDate().toString("yyyy-MM-dd"));
        QVERIFY(QDir("RECORD").entryList({"*.db"}).isEmpty());  // nothing to archive on the first day
    }

    void timersRunAtTheirIntervals()
    {
        struct Expect
        {
            const char* name;
            QTimer* timer;
            bool active;
            int interval;  // checked when active
            bool singleShot;
        };
        const Expect expects[] = {
            {"tempeTimer", win->tempeTimer, true, 600000, false},
            {"tempe1Timer", win->tempe1Timer, true, 10000, false},
            {"checkTempTimer", win->checkTempTimer, true, 5000, false},
            {"checkDateTimer", win->checkDateTimer, true, 60000, false},
            {"fpsTimer", win->fpsTimer, true, 1000, false},
            {"lcdTimer", win->lcdTimer, false, 0, false},  // the factory screen time-out is 0
            {"showTimer", win->showTimer, false, 0, false},
            {"inCheckTimer", win->inCheckTimer, false, 0, false},
            {"drawHintTimer", win->drawHintTimer, false, 0, false},
            {"resetAlarmTimer", win->resetAlarmTimer, false, 0, false},
            {"clearNGAlarmTimer", win->clearNGAlarmTimer, false, 0, true},
            {"outNGTimer", win->outNGTimer, false, 0, false},
            {"notAllowCloseTimer", win->notAllowCloseTimer, false, 0, false},
            {"notAllowThimbleTimer", win->notAllowThimbleTimer, false, 0, false},
            {"reserveOutputTimer", win->reserveOutputTimer, false, 0, false},
            {"logoutTimer", win->logoutTimer, false, 0, false},
            {"sysFunc4OutputTimer", win->sysFunc4OutputTimer, false, 0, false},
            {"outputsOffTimer", win->outputsOffTimer, false, 0, true},
            {"reCheckTimer", win->reCheckTimer, false, 0, true},
            {"delayOutput3Timer", win->delayOutput3Timer, false, 0, false},
        };
        for (const Expect& e : expects) {
            QVERIFY2(e.timer, e.name);
            QVERIFY2(e.timer->parent() == win, e.name);
            QVERIFY2(e.timer->isActive() == e.active, e.name);
            if (e.active)
                QVERIFY2(e.timer->interval() == e.interval, e.name);
            QVERIFY2(e.timer->isSingleShot() == e.singleShot, e.name);
        }
        QVERIFY(win->runTimer->isSingleShot());
        for (int i = 0; i < 8; ++i) {
            QVERIFY(win->upTimers[i] && !win->upTimers[i]->isActive());
            QVERIFY(win->checkInputTimers[i] && !win->checkInputTimers[i]->isActive());
        }
        QVERIFY(gisRunWTD);
        QCOMPARE(win->manualTrig, gDNum);
        // Today's wall clock in tenths of a second no longer fits 32 bits.
        QVERIFY(win->cycleStartTime > qint64(std::numeric_limits<int>::max()));
        QCOMPARE(win->cycleTime, 0);
    }

    void sharedDialogsBelongToTheWindow()
    {
        QCOMPARE(gpWarnBox->parentWidget(), win);
        QCOMPARE(gpChooseBox->parentWidget(), win);
        QVERIFY(gpChooseBox->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(gpNumPad->parentWidget(), win);
        QCOMPARE(gpNumCharPad->parentWidget(), win);
        QCOMPARE(gpPasswordBox->parentWidget(), win);
        QVERIFY(gpLostCameraWarnBox && !gpLostCameraWarnBox->parentWidget());
        QCOMPARE(gpProductAlarmWarnBox->parentWidget(), win);
        QVERIFY(gpProductAlarmWarnBox->isHidden());
        QVERIFY(gpWarnBox->isHidden());

        // A destroyed keypad is replaced at once.
        delete gpNumPad;
        QVERIFY(gpNumPad);
    }

    void screenFurniture()
    {
        // The panel's screen, whatever the test platform's own screen is.
        QCOMPARE(QSize(gShowW, gShowH), QSize(1920, 1080));
        QCOMPARE(win->size(), QSize(1920, 1080));
        QCOMPARE(win->versionLabel->text(), QString("Ver:18.0.1.67"));
        QCOMPARE(win->modeLabel->text(), QString("模式: ") + MainWindowRig::english(384));
        QCOMPARE(win->versionLabel->geometry(), QRect(gShowW - 240, gShowH - 50, 240, 30));
        QCOMPARE(win->zoomSlider->slider->minimum(), 100);
        QCOMPARE(win->zoomSlider->slider->maximum(), 500);
        QCOMPARE(win->helpButton->geometry(), QRect(5, 300, 70, 70));
    }

    void ioLinkAndLiveViewsRun()
    {
        // The IO thread polls the board and hands it the output word detection started with.
        QVERIFY(board->waitForFrames(20, 5000));
        unsigned int published = 0;
        {
            QMutexLocker lock(pMutexIO);
            published = gDataOut & ((1u << kDrivenOutputs) - 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(board->outputs() & ((1u << kDrivenOutputs) - 1), published, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(win->cammerWidgets[0]->frameCount > 0 && win->cammerWidgets[1]->frameCount > 0, 5000);
    }

    void countersLoadFromAndSaveToCountIni()
    {
        QCOMPARE(gAllNum[0], 5);
        const int expectedFail[8] = {0, 0, 100000000, 0, 0, 0, 0, 0};
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(gFailNum[c], expectedFail[c]);
            QCOMPARE(gAllCycleNum[c], c + 1);  // the list's ninth and tenth values are ignored
        }
        QCOMPARE(gSyncNGNum, 7);
        QCOMPARE(gSyncNGCycleNum, 0);

        gAllNum[0] = 7;
        win->CountWrite();
        win->countSettings->sync();
        QFile count(kCountFile);
        QVERIFY(count.open(QIODevice::ReadOnly));
        const QByteArray text = count.readAll();
        QVERIFY2(text.contains("list_allnum=7, 0, 0, 0, 0, 0, 0, 0\n"), text.constData());
        QVERIFY2(text.contains("gSyncNGcycleNum=0\n"), text.constData());
        count.close();

        // Stopped between the steps of a cycle: the stop's flush writes the counts of the step
        // already judged (the cycle's end, which writes them otherwise, never comes).
        for (int c = 0; c < numCamera; ++c) win->cammerWidgets[c]->cameraOk = true;
        win->step = 0;
        win->detection.judgeStep(false);
        QCOMPARE(gAllNum[0], 8);
        win->FLushAll();
        QVERIFY(count.open(QIODevice::ReadOnly));
        const QByteArray stopped = count.readAll();
        QVERIFY2(stopped.contains(QString("list_allnum=8, %1, %2, 0,").arg(gAllNum[1]).arg(gAllNum[2]).toLatin1()),
                 stopped.constData());

        // A write that cannot get there (its folder gone) is logged; the next one that does is
        // not, although the settings object keeps the first error it met for good.
        QVERIFY(QDir().rename("cnt_net/workspace", "cnt_net/workspace.away"));
        QFile blocker("cnt_net/workspace");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TestSupport::clearCapturedMessages();
        gAllNum[0] = 8;
        QVERIFY(!win->CountSync());
        QVERIFY(QFile::remove("cnt_net/workspace"));
        QVERIFY(QDir().rename("cnt_net/workspace.away", "cnt_net/workspace"));
        gAllNum[0] = 9;
        QVERIFY(win->CountSync());
        QCOMPARE(TestSupport::capturedMessages().filter("counters: cannot write").size(), 1);
        QFile again(kCountFile);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QVERIFY(again.readAll().contains("list_allnum=9,"));
    }

    void statisticsGetEveryCameraAndTheCycleEnd()
    {
        QSignalSpy spy(win, &MoJuWizard::sendRecord);
        const int savedStep = win->step;
        win->cammerWidgets[0]->cameraOk = true;
        win->cammerWidgets[1]->cameraOk = false;
        win->step = gDNum - 1;
        win->AddStatistics();
        win->step = 0;
        win->AddStatistics();
        win->step = savedStep;
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy[0][0].toInt(), gDNum - 1);
        QCOMPARE(spy[0][2].value<QList<bool>>(), QList<bool>({true, false}));
        QCOMPARE(spy[0][3].toBool(), true);
        QCOMPARE(spy[1][3].toBool(), gDNum == 1);
    }
};

MONITOR_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
