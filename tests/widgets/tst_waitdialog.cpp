// ctest-timeout: 60
// The wait dialog: its operation runs off the GUI thread, the picture stays its minimum
// time, and exec always returns (empty, throwing, already finished operations).
#include <atomic>
#include <stdexcept>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "ccomp_diawait.h"
#include "testsupport.h"

class TestWaitDialog : public QObject
{
    Q_OBJECT

private slots:
    void runsOffGuiThreadAndStaysItsMinimumTime()
    {
        std::atomic<QThread*> worker{nullptr};
        QElapsedTimer clock;
        clock.start();
        CComp_DiaWait wait([&] { worker = QThread::currentThread(); }, nullptr);
        QCOMPARE(wait.size(), QSize(64, 64));
        QVERIFY(wait.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(wait.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(wait.exec(), 1);
        QVERIFY(clock.elapsed() >= 100);
        QVERIFY(worker.load() != nullptr);
        QVERIFY(worker.load() != QThread::currentThread());
        QVERIFY(wait.isHidden());
    }

    void longOperationKeepsThePictureModal()
    {
        std::atomic<bool> release{false};
        std::atomic<bool> done{false};
        CComp_DiaWait wait(
            [&] {
                while (!release) QThread::msleep(5);
                done = true;
            },
            nullptr);
        bool modalWhileRunning = false;
        QTimer::singleShot(300, [&] {
            // Escape and a close request cannot end the wait before the operation does.
            QTest::keyClick(&wait, Qt::Key_Escape);
            wait.close();
            modalWhileRunning = QApplication::activeModalWidget() == &wait && wait.isVisible() && !done;
            release = true;
        });
        QCOMPARE(wait.exec(), 1);
        QVERIFY(modalWhileRunning);
        QVERIFY(done);
    }

    void emptyOrThrowingOperationStillReturns()
    {
        QTest::ignoreMessage(QtWarningMsg, "wait dialog: empty operation skipped");
        QTest::ignoreMessage(QtCriticalMsg, "wait dialog: operation failed: scan failed");
        QTest::ignoreMessage(QtCriticalMsg, "wait dialog: operation failed with an unknown exception");
        CComp_DiaWait empty(std::function<void()>(), nullptr);
        QCOMPARE(empty.exec(), 1);

        CComp_DiaWait throwing([] { throw std::runtime_error("scan failed"); }, nullptr);
        QCOMPARE(throwing.exec(), 1);
        CComp_DiaWait throwingOther([] { throw 42; }, nullptr);
        QCOMPARE(throwingOther.exec(), 1);
    }

    void finishBeforeExecReturnsAtOnce()
    {
        CComp_DiaWait wait([] {}, nullptr);
        // The caller let the event loop run before exec: the finish is already handled.
        QTRY_VERIFY_WITH_TIMEOUT(wait.finished, 5000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(wait.exec(), 1);
        // One that waited for a finish already handled would wait for ever; a busy machine may
        // take its time over one that does not.
        QVERIFY(clock.elapsed() < 5000);
    }

    void destructionWaitsForTheWorker()
    {
        std::atomic<bool> done{false};
        auto* wait = new CComp_DiaWait(
            [&] {
                QThread::msleep(200);
                done = true;
            },
            nullptr);
        delete wait;
        QVERIFY(done);
        // Its queued finish went with it.
        QTest::qWait(20);
    }
};

MONITOR_TEST_MAIN(TestWaitDialog)
#include "tst_waitdialog.moc"
