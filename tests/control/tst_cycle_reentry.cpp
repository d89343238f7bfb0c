// Detection cycle while a recognition is under way and a box it opened runs the event loop: countdown ticks and
// re-checks that come meanwhile wait for it instead of being lost.
#include <QMutexLocker>
#include <QTimer>
#include <QtTest>

#include "controlport.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

constexpr unsigned int kClampBit = 1u << 0;
// Long enough never to fire by itself: the test delivers the ticks.
constexpr int kNeverMs = 3600 * 1000;

unsigned int publishedOutputs()
{
    QMutexLocker lock(pMutexIO);
    return gDataOut;
}

}  // namespace

class TestCycleReentry : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    QTimer* mouldTimer = nullptr;
    QTimer* productTimer = nullptr;
    QTimer* reCheckTimer = nullptr;
    // Each judgement handed to the statistics: the step it judged.
    QList<int> judged;
    // Runs inside the statistics hand-off of the next judgement, i.e. while its recognition is
    // still under way (as a box opened there would).
    std::function<void()> duringRecognition;

private slots:
    void initTestCase()
    {
        InitLanStr();
        CreateGlobalMutexes();
        gpWPara = new WizardPara;
        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        gpControlIO = new ControlPort;
        // The window's own timers as its constructor connects them.
        productTimer = new QTimer(win);
        connect(productTimer, &QTimer::timeout, win, &MoJuWizard::TimerUp0);
        mouldTimer = new QTimer(win);
        connect(mouldTimer, &QTimer::timeout, win, &MoJuWizard::TimerUp1);
        reCheckTimer = new QTimer(win);
        reCheckTimer->setSingleShot(true);
        connect(reCheckTimer, &QTimer::timeout, win, &MoJuWizard::ReCheck);
        win->upTimers[0] = productTimer;
        win->upTimers[1] = mouldTimer;
        win->reCheckTimer = reCheckTimer;
        connect(win, &MoJuWizard::sendRecord, this, [this](int step) {
            judged << step;
            if (auto f = std::move(duringRecognition)) {
                duringRecognition = nullptr;
                f();
            }
        });
    }

    void init()
    {
        // Standard machine, product and mould step, one camera that always sees an OK part.
        *gpWPara = WizardPara();
        gpWPara->detectMode = 0;
        gpWPara->detectEnabled[0] = gpWPara->detectEnabled[1] = 1;
        *gpWPara->sysParamValue("system6", 10) = 1;  // statistics: every judgement is handed over
        gDNum = 2;
        numCamera = 1;
        judged.clear();
        duringRecognition = nullptr;
        productTimer->stop();
        mouldTimer->stop();
        reCheckTimer->stop();
        win->pageState = 0;
        win->runState = 1;
        win->reCheckPending = 0;
        std::fill(std::begin(win->reCheckCount), std::end(win->reCheckCount), 0);
        std::fill(std::begin(win->countdown), std::end(win->countdown), 0.0f);
        gpControlIO->IOResetAllOut();
        gpControlIO->IOFlashOut();
    }

    void cleanupTestCase()
    {
        numCamera = 0;
        delete win;
    }

    // The mould step counts down 3 ticks. Two of them come while the product step's
    // recognition is under way: they are taken when it returns, so the third tick judges.
    void ticksDuringARecognitionAreKept()
    {
        win->step = 0;
        win->countdown[1] = 0.3f;
        mouldTimer->start(kNeverMs);
        duringRecognition = [this] {
            win->TimerUp1();
            win->TimerUp1();
        };
        win->TimerUp(0);
        QCOMPARE(judged, QList<int>({0}));
        QVERIFY(mouldTimer->isActive());
        QVERIFY(qAbs(win->countdown[1] - 0.1f) < 0.01f);

        win->step = 1;
        win->TimerUp1();
        QCOMPARE(judged, QList<int>({0, 1}));
        QVERIFY(!mouldTimer->isActive());
    }

    // A tick of a countdown that was stopped while the recognition ran is not taken.
    void ticksOfAStoppedCountdownAreDropped()
    {
        win->step = 0;
        win->countdown[1] = 0.3f;
        mouldTimer->start(kNeverMs);
        duringRecognition = [this] {
            win->TimerUp1();
            win->SetStopDetect();
        };
        win->TimerUp(0);
        QCOMPARE(judged, QList<int>({0}));
        QVERIFY(!mouldTimer->isActive());
        QCOMPARE(win->countdown[1], 0.0f);
        win->runState = 1;
    }

    // The last re-check of the mould step is armed by a pass; its delay ends while a
    // recognition is under way. Then it does nothing at all (no output switched, the camera
    // still owed) and is handed back, so the pass after the recognition starts it again.
    void reCheckDuringARecognitionIsHandedBack()
    {
        win->step = 1;
        win->reCheckPending = 1;
        win->reCheckCount[1] = 1;
        win->reCheckDelay = 1;
        win->Run();
        QCOMPARE(win->reCheckCount[1], 0);
        QVERIFY(reCheckTimer->isActive());

        win->stepCameraMask[1] = 1;
        unsigned int outputsThen = ~0u;
        int maskThen = -1;
        int countThen = -1;
        duringRecognition = [&] {
            QTRY_VERIFY_WITH_TIMEOUT(!reCheckTimer->isActive(), 5000);
            outputsThen = publishedOutputs();
            maskThen = win->stepCameraMask[1];
            countThen = win->reCheckCount[1];
        };
        // The recognition whose box is up.
        win->countdown[0] = 0;
        win->TimerUp(0);
        QCOMPARE(judged.size(), 1);
        QCOMPARE(outputsThen & kClampBit, 0u);
        QCOMPARE(maskThen, 1);
        QCOMPARE(countThen, 1);

        // Still owed: the next pass starts it, and it judges the mould step.
        win->step = 1;
        win->reCheckPending = 1;
        judged.clear();
        win->Run();
        QCOMPARE(win->reCheckCount[1], 0);
        QTRY_COMPARE_WITH_TIMEOUT(judged, QList<int>({1}), 5000);
        QCOMPARE(win->reCheckPending, 0);
    }
};

MONITOR_TEST_MAIN(TestCycleReentry)
#include "tst_cycle_reentry.moc"
