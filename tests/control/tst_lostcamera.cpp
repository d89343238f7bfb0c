// The main window's reaction to a lost camera: the clamp output and the warning chosen by the parameter.
#include <QMutexLocker>

#include "commandrunner.h"
#include "controlport.h"
#include "globals.h"
#include "lanstr.h"
#include "lostcamerawarnbox.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

constexpr unsigned int kClampBit = 1u << 0;

unsigned int publishedOutputs()
{
    QMutexLocker lock(pMutexIO);
    return gDataOut;
}

}  // namespace

class TestLostCamera : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;

private slots:
    void initTestCase()
    {
        InitLanStr();
        CreateGlobalMutexes();
        gLan = 1;
        gpWPara = new WizardPara;
        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        gpControlIO = new ControlPort;
        gpWarnBox = new WarnBox(nullptr);
        gpLostCameraWarnBox = new LostCameraWarnBox(nullptr);
    }

    void init()
    {
        TestSupport::clearCapturedMessages();
        gpWarnBox->hide();
        gpLostCameraWarnBox->hide();
        gpWarnBox->setText("");
        gpControlIO->IOHoldOn(kClampOut, false);
        gpControlIO->IOResetAllOut();
        gpControlIO->IOFlashOut();
        win->runState = 1;
    }

    void cleanupTestCase()
    {
        delete gpLostCameraWarnBox;
        delete gpWarnBox;
        delete win;
    }

    void plainWarningHoldsTheClamp_data()
    {
        QTest::addColumn<int>("inverted");
        QTest::newRow("normal output") << 0;
        QTest::newRow("inverted output") << 1;
    }
    void plainWarningHoldsTheClamp()
    {
        QFETCH(int, inverted);
        gpWPara->outInitState[0] = inverted;
        gpWPara->cameraLostAlarm = 0;
        gpControlIO->IOResetAllOut();
        gpControlIO->IOFlashOut();

        win->LostCamera();

        // The clamp output is on at its logical level, whatever the wiring, and the status
        // strip shows it so.
        QCOMPARE(bool(publishedOutputs() & kClampBit), !inverted);
        QCOMPARE(gpControlIO->IOState(1, kClampOut), inverted ? 0 : 1);
        QVERIFY(gpWarnBox->isVisible());
        QVERIFY(!gpLostCameraWarnBox->isVisible());
        QCOMPARE(gpWarnBox->text(), QString("Warning: The camera is unavailable, \r\n please check the connection!"));
        QVERIFY(TestSupport::capturedMessages().contains("lsotCamera"));
        gpWPara->outInitState[0] = 0;
    }

    void powerOffBoxWhenChosen()
    {
        gpWPara->cameraLostAlarm = 1;
        CommandRunner::clearCalls();
        win->LostCamera();
        QVERIFY(gpLostCameraWarnBox->isVisible());
        QVERIFY(!gpWarnBox->isVisible());
        QVERIFY(publishedOutputs() & kClampBit);
        // Showing the box is all: nothing is recorded and nothing is run until the operator confirms.
        QVERIFY(CommandRunner::calls().isEmpty());
        gpWPara->cameraLostAlarm = 0;
    }

    // A camera lost and back while a step counts down: the picture the step would judge at
    // the countdown's end may be from before the loss, so the step waits for new pictures
    // with the clamp held, though every camera is there again.
    void cameraLostDuringACountdownHoldsItsStep()
    {
        QTimer countdown;
        win->upTimers[1] = &countdown;
        countdown.start(60000);
        win->LostCamera();
        QVERIFY(win->CameraCheck());
        gpControlIO->IOHoldOn(kClampOut, false);  // the pass after the return ends the hold
        win->countdown[1] = 0;
        win->detection.countdownTick(1);
        QCOMPARE(win->detection.steering().heldSteps, 2u);
        QVERIFY(publishedOutputs() & kClampBit);
        win->upTimers[1] = nullptr;
        win->detection.steering().heldSteps = 0;
    }

    void stoppedDetectionLeavesTheOutputs()
    {
        win->runState = 3;
        win->LostCamera();
        QCOMPARE(publishedOutputs() & kClampBit, 0u);
        QVERIFY(gpWarnBox->isVisible());
    }
};

MONITOR_TEST_MAIN(TestLostCamera)
#include "tst_lostcamera.moc"
