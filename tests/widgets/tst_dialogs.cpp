// The shared modal boxes: answers, placement, screen wake-up, the alarm boxes' actions,
// painting, and the modal answerer that every later test relies on.
#include <QImage>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>

#include "choosebox.h"
#include "choosecalinumwidget.h"
#include "commandrunner.h"
#include "controlport.h"
#include "devices.h"
#include "globals.h"
#include "lanstr.h"
#include "ledlcd.h"
#include "lostcamerawarnbox.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "platformexit.h"
#include "productalarmwarnbox.h"
#include "testsupport.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

constexpr int kFakeLedFd = 7;
constexpr unsigned long kLcdOn = 0x5A018B00;
const QRect kCentredBox(1920 / 2 - 375, 1080 / 2 - 185, 750, 370);

bool isRed(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80;
}

// Bounding box of the red (text) pixels of a rendered box.
QRect redArea(QWidget* w)
{
    const QImage img = w->grab().toImage();
    QRect area;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (isRed(img.pixel(x, y)))
                area |= QRect(x, y, 1, 1);
    return area;
}

}  // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;

private slots:
    void initTestCase()
    {
        InitLanStr();
        gLan = 1;
        CreateGlobalMutexes();
        PlatformClock::setSleepScale(0.01);
        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        win->lcdTimer = new QTimer(win);
        gpWPara = new WizardPara;
        gpControlIO = new ControlPort;
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
        gpLostCameraWarnBox = new LostCameraWarnBox(nullptr);
        gpProductAlarmWarnBox = new ProductAlarmWarnBox(win);
        gpProductAlarmWarnBox->hide();
        gfLED = kFakeLedFd;
    }

    void init()
    {
        CommandRunner::setMode(CommandRunner::Record);
        CommandRunner::clearCalls();
        Devices::clearRecordedLedRequests();
        linux_kernel_proc_version = "Linux version 5.4.0-150-generic (buildd@lcy02) #167";
        win->screenOff = 0;
        win->lcdTimer->stop();
    }

    void sharedBoxesReturnOneOnlyForYes()
    {
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Confirm, ModalAnswerer::Escape, ModalAnswerer::Yes, ModalAnswerer::No,
                         ModalAnswerer::Escape});
        gpWarnBox->setText("first warning");
        QCOMPARE(gpWarnBox->exec(), 1);
        gpWarnBox->setText("second warning");
        QCOMPARE(gpWarnBox->exec(), 0);
        gpChooseBox->setText("delete?");
        QCOMPARE(gpChooseBox->exec(), 1);
        QCOMPARE(gpChooseBox->exec(), 0);
        QCOMPARE(gpChooseBox->exec(), 0);
        QCOMPARE(answerer.pendingAnswers(), 0);
        QCOMPARE(answerer.texts(), QStringList({"first warning", "second warning", "delete?", "delete?", "delete?"}));
        QCOMPARE(gpWarnBox->confirmButton->text(), QString("Confirm"));
        // Made before the parameters give the language, the box speaks the screens' language.
        gLan = 3;
        gpWarnBox->show();
        gpLostCameraWarnBox->show();
        gLan = 1;
        QCOMPARE(gpWarnBox->confirmButton->text(), QString::fromUtf8("確認"));
        QCOMPARE(gpLostCameraWarnBox->confirmButton->text(), QString::fromUtf8("シャットダウン"));
        for (WarnBox* box : {static_cast<WarnBox*>(gpWarnBox), static_cast<WarnBox*>(gpLostCameraWarnBox)})
            box->hide(), box->show(), box->hide();
        QCOMPARE(gpChooseBox->yesButton->text(), QString("YES"));
        QCOMPARE(gpChooseBox->noButton->text(), QString("NO"));
    }

    void boxesSitCentredAndReturnThere()
    {
        QCOMPARE(gpWarnBox->geometry(), kCentredBox);
        QCOMPARE(gpChooseBox->geometry(), kCentredBox);
        gpWarnBox->show();
        gpWarnBox->move(10, 10);
        gpWarnBox->hide();
        gpWarnBox->show();
        QCOMPARE(gpWarnBox->geometry(), kCentredBox);
        // The confirm button sits low in the box, centred horizontally.
        const QRect b = gpWarnBox->confirmButton->geometry();
        QCOMPARE(b.size(), QSize(220, 100));
        QCOMPARE(b.center().x(), 375 - 1 + (750 % 2));
        QVERIFY(b.top() > 370 / 2);
        QVERIFY(b.bottom() < 370);
        gpWarnBox->hide();

        QCOMPARE(gpChooseBox->yesButton->geometry(), QRect(105, 235, 220, 100));
        QCOMPARE(gpChooseBox->noButton->geometry(), QRect(425, 235, 220, 100));
        QVERIFY(gpChooseBox->isHidden());

        // Other sizes place everything relative to the box, not to the screen.
        ChooseBox small(nullptr, 600, 300);
        QCOMPARE(small.geometry(), QRect(660, 390, 600, 300));
        QCOMPARE(small.yesButton->geometry(), QRect(30, 200, 220, 100));
        QCOMPARE(small.noButton->geometry(), QRect(350, 200, 220, 100));
        QCOMPARE(small.minimumSize(), QSize(600, 300));
        QCOMPARE(small.maximumSize(), QSize(600, 300));
    }

    void warningWakesDarkScreenAndRestartsTimer()
    {
        gpWPara->screenOffTime = 600;
        win->screenOff = 1;
        gpWarnBox->show();
        QCOMPARE(win->screenOff, 0);
        QCOMPARE(Devices::recordedLedRequests(), QList<unsigned long>({kLcdOn}));
        QVERIFY(win->lcdTimer->isActive());
        QCOMPARE(win->lcdTimer->interval(), 600 * 1000);
        gpWarnBox->hide();

        // Screen already on: only the position is touched.
        Devices::clearRecordedLedRequests();
        win->lcdTimer->stop();
        gpWarnBox->show();
        QVERIFY(Devices::recordedLedRequests().isEmpty());
        QVERIFY(!win->lcdTimer->isActive());
        gpWarnBox->hide();

        // No screen-off time: the screen wakes, the timer stays as it was.
        gpWPara->screenOffTime = 0;
        win->screenOff = 1;
        gpWarnBox->show();
        QCOMPARE(win->screenOff, 0);
        QVERIFY(!win->lcdTimer->isActive());
        gpWarnBox->hide();

        // The alarm boxes share the wake-up; the yes/no box does not.
        win->screenOff = 1;
        gpChooseBox->show();
        QCOMPARE(win->screenOff, 1);
        gpChooseBox->hide();
        gpProductAlarmWarnBox->show();
        QCOMPARE(win->screenOff, 0);
        gpProductAlarmWarnBox->hide();
    }

    void backlightBySysfsOnNewerKernels()
    {
        linux_kernel_proc_version = "Linux version 6.5.0-35-generic (buildd@lcy02-amd64-079) #35~22.04.1-Ubuntu";
        Devices::clearRecordedBacklightWrites();
        LCDOnOff(0);
        QCOMPARE(win->screenOff, 1);
        LCDOnOff(1);
        QCOMPARE(win->screenOff, 0);
        // bl_power takes 1 for dark and 0 for lit, written through the device seam, not a shell.
        QCOMPARE(Devices::recordedBacklightWrites(), QList<int>({1, 0}));
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QVERIFY(Devices::recordedLedRequests().isEmpty());
    }

    void ledMaskAndWatchdog()
    {
        LEDOnOff(6, 0);
        LEDOnOff(7, 1);
        LEDOnOff(4, 2);  // only bit 0 of `on` counts
        QCOMPARE(Devices::recordedLedRequests(),
                 QList<unsigned long>({0x5A018000 + 0xBF, 0x5A018000 + 0xBF, 0x5A018000 + 0xAF}));
        LEDOnOff(6, 1);
        LEDOnOff(4, 1);
        // Not an LED of the byte mask: nothing changes, nothing is sent.
        Devices::clearRecordedLedRequests();
        LEDOnOff(40, 0);
        LEDOnOff(-1, 0);
        QVERIFY(Devices::recordedLedRequests().isEmpty());
        LEDOnOff(7, 1);
        QCOMPARE(Devices::recordedLedRequests(), QList<unsigned long>({0x5A018000 + 0xFF}));

        gisRunWTD = true;
        Exit(3);
        QVERIFY(!gisRunWTD);
    }

    void productAlarmConfirmClearsOutputsAndCounter()
    {
        QCOMPARE(gpProductAlarmWarnBox->text(), QString("生产已达设定次数，请确认后复位"));
        for (int out : {0, 1, 2}) gpControlIO->IOSetOut(out, 1);
        gpControlIO->IOFlashOut();
        QCOMPARE(gDataOut & 0x7u, 0x7u);
        win->productCount = 12;
        win->productAlarm = true;

        // The detection cycle shows it without exec; the operator confirms.
        gpProductAlarmWarnBox->show();
        gpProductAlarmWarnBox->confirmButton->click();
        QCOMPARE(gDataOut & 0x7u, 0x2u);
        QCOMPARE(win->productCount, 0);
        QVERIFY(!win->productAlarm);
        QVERIFY(gpProductAlarmWarnBox->isHidden());
        gpControlIO->IOSetOut(1, 0);
        gpControlIO->IOFlashOut();
    }

    void lostCameraConfirmPowersOffThroughRecorder()
    {
        QCOMPARE(gpLostCameraWarnBox->confirmButton->text(), gaLanStr[209 * 4 + 1]);
        QCOMPARE(gpLostCameraWarnBox->text(), gaLanStr[657 * 4 + 1]);
        gisRunWTD = true;
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        TestSupport::clearCapturedMessages();
        QCOMPARE(gpLostCameraWarnBox->exec(), 1);
        QVERIFY(!gisRunWTD);
        QCOMPARE(CommandRunner::callTexts(), QStringList({"init 0"}));
        QVERIFY(!CommandRunner::calls().first().executed);
        // The operation record, as the main window's record function logs it.
        const QString log = TestSupport::capturedMessages().join('\n');
        QVERIFY2(log.contains("因丢失相机手动关闭电源") && log.contains("operate"), qPrintable(log));
    }

    // Log mode lets harmless commands through: a start that only records them keeps any
    // that a fault would let out away from the machine running the test.
    void lostCameraNeverConfirmedOutsideRecordMode()
    {
        static QStringList started;
        started.clear();
        CommandRunner::setProcessStart([](const CommandCall& call, int, bool) {
            started << call.text;
            return CommandResult();
        });
        ModalAnswerer answerer;
        answerer.setReportFailures(false);
        answerer.answer(ModalAnswerer::Confirm);
        CommandRunner::setMode(CommandRunner::Log);
        const int result = gpLostCameraWarnBox->exec();
        CommandRunner::setMode(CommandRunner::Record);
        CommandRunner::setProcessStart(nullptr);
        QCOMPARE(result, 0);
        QCOMPARE(answerer.failures().size(), 1);
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QVERIFY2(started.isEmpty(), qPrintable(started.join('\n')));
    }

    void answererFailsAtDeadlineInsteadOfHanging()
    {
        ModalAnswerer answerer(200);
        answerer.setReportFailures(false);
        gpChooseBox->setText("nobody answers");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(gpChooseBox->exec(), 0);
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(answerer.failures().size(), 1);
        QVERIFY(answerer.failures().first().contains("nobody answers"));
    }

    void answererReachesBoxesInsideHiddenMainWindow()
    {
        // The main window re-parents the boxes; they then run exec as child widgets.
        QWidget mainWindow;
        ChooseBox* saved = gpChooseBox;
        auto restore = qScopeGuard([saved] { gpChooseBox = saved; });
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
        gpChooseBox->setParent(&mainWindow);
        gpChooseBox->setWindowFlags(gpChooseBox->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint);
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Yes, ModalAnswerer::No});
        gpChooseBox->setText("inside");
        QCOMPARE(gpChooseBox->exec(), 1);
        QCOMPARE(gpChooseBox->exec(), 0);
        QCOMPARE(answerer.texts(), QStringList({"inside", "inside"}));
    }

    void setTextDoesNotShow()
    {
        ModalAnswerer answerer;
        gpWarnBox->setText("stored only");
        gpChooseBox->setText("stored only");
        QTest::qWait(30);
        QVERIFY(gpWarnBox->isHidden());
        QVERIFY(gpChooseBox->isHidden());
        QVERIFY(answerer.shown().isEmpty());
    }

    void paintingKeepsTextInItsBand()
    {
        gpWarnBox->setText("W\nW");
        const QImage warn = gpWarnBox->grab().toImage();
        QCOMPARE(warn.size(), QSize(750, 370));
        QCOMPARE(warn.pixel(1, 1), qRgb(255, 255, 255));
        QCOMPARE(warn.pixel(748, 368), qRgb(255, 255, 255));
        const QRect warnText = redArea(gpWarnBox);
        QVERIFY(!warnText.isEmpty());
        QVERIFY(qAbs(warnText.center().x() - 375) <= 3);
        QVERIFY(qAbs(warnText.center().y() - (5 + 370 * 2 / 3 / 2)) <= 5);
        QVERIFY(warnText.height() > 60);  // two lines

        // The yes/no question sits on the bottom edge of its band, above the buttons.
        gpChooseBox->setText("Q");
        const QRect chooseText = redArea(gpChooseBox);
        QVERIFY(!chooseText.isEmpty());
        QVERIFY(chooseText.bottom() < 370 / 2 - 50);
        QVERIFY(chooseText.bottom() > 370 / 2 - 50 - 20);
        QVERIFY(qAbs(chooseText.center().x() - 375) <= 3);

        ChooseCaliNumWidget cali(nullptr);
        cali.setText("Q");
        QVERIFY(qAbs(redArea(&cali).center().x() - (50 + 375)) <= 3);
    }

    void calibrationChoiceLayout()
    {
        ChooseCaliNumWidget cali(nullptr);
        QCOMPARE(cali.comboBox->geometry(), QRect(275, 370 / 4 + 30, 200, 50));
        QCOMPARE(cali.comboBox->count(), 3);
        QCOMPARE(cali.comboBox->itemText(0), QString(" 4 "));
        QCOMPARE(cali.comboBox->itemText(1), QString(" 9 "));
        QCOMPARE(cali.comboBox->itemText(2), QString(" 25 "));
        QCOMPARE(cali.comboBox->font().pixelSize(), 33);
        QCOMPARE(cali.yesButton->text(), QString("YES"));
        QCOMPARE(cali.geometry(), kCentredBox);
    }
};

MONITOR_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
