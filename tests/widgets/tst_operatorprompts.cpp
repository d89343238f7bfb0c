// Warnings, questions and board outputs that lower layers reach through core: what happens
// with and without the shared boxes installed, and the product-count alarm's reset.
#include <QList>
#include <QPair>

#include "choosebox.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "modalanswerer.h"
#include "operatorboxes.h"
#include "operatorprompts.h"
#include "productalarmwarnbox.h"
#include "recordsink.h"
#include "testsupport.h"
#include "textids.h"
#include "warnbox.h"
#include "windowhooks.h"

class TestOperatorPrompts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitLanStr();
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, WarnBox::kBoxWidth, WarnBox::kBoxHeight);
    }

    // Nobody installed the boxes (a tool, a lower part tested alone): nothing irreversible
    // follows from a question nobody saw, and the warning is not lost from the log.
    void withoutBoxesWarningsAreLoggedAndQuestionsSayNo()
    {
        SetOperatorPrompts({});
        TestSupport::clearCapturedMessages();
        WarnOperator("camera table broken");
        ShowOperatorNote("camera away");
        QVERIFY(!AskOperator("forget the cameras?"));
        QCOMPARE(AskOperatorFullScreen("reboot now?"), 0);
        const QString log = TestSupport::capturedMessages().join('\n');
        QVERIFY2(log.contains("camera table broken"), qPrintable(log));
        QVERIFY(log.contains("camera away"));
        QVERIFY(log.contains("forget the cameras?"));
        QVERIFY(gpWarnBox->isHidden());
        QVERIFY(gpChooseBox->isHidden());
    }

    void installedBoxesShowTheTextAndGiveTheAnswer()
    {
        InstallOperatorPrompts();
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Confirm, ModalAnswerer::Yes, ModalAnswerer::No});
        WarnOperator("camera table broken");
        QVERIFY(AskOperator("forget the cameras?"));
        QVERIFY(!AskOperator("forget them all?"));
        QCOMPARE(answerer.texts(), QStringList({"camera table broken", "forget the cameras?", "forget them all?"}));
    }

    // A note stands on the screen while its caller carries on: shown, not waiting for an answer.
    void noteShowsTheWarningBoxWithoutWaiting()
    {
        InstallOperatorPrompts();
        ModalAnswerer answerer;
        ShowOperatorNote("camera away");
        QVERIFY(gpWarnBox->isVisible());
        QVERIFY(!gpWarnBox->testAttribute(Qt::WA_ShowModal));
        QCOMPARE(gpWarnBox->text(), QString("camera away"));
        gpWarnBox->hide();
    }

    // The full-disk notice, shown once an episode, stands in a box of its own: a lost camera's
    // note neither replaces it nor takes it away when the cycle clears the warning box, and a
    // second notice follows once the first is confirmed.
    void fullDiskNoticeOutlivesTheOtherNotes()
    {
        InstallOperatorPrompts();
        ReportNoSpace(StoredKind::Picture);
        QCoreApplication::processEvents();
        ShowOperatorNote("camera away");
        gpWarnBox->hide();
        WarnBox* notice = OperatorNoticeBox();
        QVERIFY(notice && notice != gpWarnBox);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), LanStr(kTextDiskFull));
        // Notices that come meanwhile wait, each once, and follow in the order they came; the
        // standing one is not queued again.
        for (const char* text : {"next", "last", "next"}) ShowOperatorNotice(text);
        ShowOperatorNotice(LanStr(kTextDiskFull));
        QCOMPARE(notice->text(), LanStr(kTextDiskFull));
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            notice->confirmButton->click();
            QTest::qWait(20);
            if (notice->isVisible())
                shown << notice->text();
        }
        QCOMPARE(shown, (QStringList{"next", "last"}));
        ReportStored(StoredKind::Picture);
    }

    // The full-screen question tells its caller which box waits, so the caller can name it.
    void fullScreenQuestionCoversTheScreenAndNamesItsBox()
    {
        InstallOperatorPrompts();
        QDialog* waiting = nullptr;
        QList<bool> seen;
        ModalAnswerer answerer;
        answerer.watch(
            "FullScreen", [&waiting] { return waiting; }, &ModalAnswerer::boxText);
        answerer.answer(ModalAnswerer::Yes);
        const int answer = AskOperatorFullScreen("cameras changed", [&](QDialog* box) {
            if (box)
                QCOMPARE(box->size(), QSize(gShowW, gShowH));
            waiting = box;
            seen << (box != nullptr);
        });
        QCOMPARE(answer, 1);
        QCOMPARE(seen, QList<bool>({true, false}));
        QVERIFY(answerer.texts().contains("cameras changed"));
    }

    // Confirming the production alarm switches the clamp and alarm outputs off on the board
    // and starts counting afresh.
    void productAlarmResetSwitchesItsOutputsOff()
    {
        MainState state;
        state.productCount = 12;
        state.productAlarm = true;
        QList<QPair<int, int>> set;
        int flushes = 0;
        SetBoardOutputHooks([&](int output, int on) { set << qMakePair(output, on); }, [&] { ++flushes; });
        ProductAlarmWarnBox box(nullptr);
        box.accept();
        QCOMPARE(set, (QList<QPair<int, int>>{{kClampOut, 0}, {kAlarmOut, 0}}));
        QCOMPARE(flushes, 1);
        QCOMPARE(state.productCount, 0);
        QVERIFY(!state.productAlarm);
        SetBoardOutputHooks({}, {});
        box.accept();  // without a window nothing is sent and nothing breaks
        QCOMPARE(set.size(), 2);
    }
};

MONITOR_TEST_MAIN(TestOperatorPrompts)
#include "tst_operatorprompts.moc"
