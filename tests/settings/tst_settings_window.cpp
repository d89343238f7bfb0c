// Settings screen on the whole window: opened by the system button, every page drawn, and a
// delay changed there used by the next cycle on the board.
// ctest-timeout: 180
#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <QtTest>

#include "checkbox.h"
#include "choosecalinumwidget.h"
#include "colorbutton.h"
#include "constructionhooks.h"
#include "drawroiwidget.h"
#include "cyclerig.h"
#include "editbox.h"
#include "indexbutton.h"
#include "iowidget.h"
#include "mainstate.h"
#include "modalanswerer.h"
#include "networksettingdialog.h"
#include "saveimagesettingdailog.h"
#include "mojuwizard.h"
#include "startup.h"
#include "testsupport.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

// Where the pictures of the pages go when someone wants to look at them.
QString ShotFolder()
{
    return qEnvironmentVariable("SETTINGS_SHOT_DIR");
}

}  // namespace

class TestSettingsWindow : public QObject
{
    Q_OBJECT

    CycleRig rig;
    WizardParaWidget* screen = nullptr;

    // The window as the operator sees it; kept when a folder for the pictures is given.
    QImage shot(const QString& name)
    {
        QCoreApplication::processEvents();
        const QImage image = rig.window->grab().toImage();
        if (!ShotFolder().isEmpty())
            image.save(QDir(ShotFolder()).filePath(name + ".png"));
        return image;
    }

    void openByButton()
    {
        IndexButton* bar = rig.window->indexButton;
        bar->show();
        QVERIFY(bar->systemButton->isVisible());
        bar->systemButton->click();
        QTRY_VERIFY(screen->isVisible());
        QVERIFY(bar->isHidden());
    }

private slots:
    void initTestCase()
    {
        ConstructionHooks hooks;
        AddSettingsHooks(hooks);
        SetConstructionHooks(hooks);
        QVERIFY(rig.start());
        SetConstructionHooks({});
        screen = rig.window->wizardParaWidget;
        rig.window->resize(gShowW, gShowH);
        rig.window->show();
    }

    // The screen is a hidden child the window finds by its class name.
    void createdHiddenAsAChildOfTheWindow()
    {
        QVERIFY(screen);
        QCOMPARE(screen->parentWidget(), static_cast<QWidget*>(rig.window));
        QCOMPARE(rig.window->PageByClass("WizardParaWidget"), static_cast<QWidget*>(screen));
        QCOMPARE(screen->objectName(), QString("WizardParaWidget"));
        QVERIFY(screen->isHidden());
        // The touch-calibration question is made with the screen and kept hidden.
        QVERIFY(screen->chooseCaliNumWidget);
        QCOMPARE(screen->chooseCaliNumWidget->parentWidget(), static_cast<QWidget*>(screen));
        QVERIFY(screen->chooseCaliNumWidget->isHidden());
        // On the bar the system button stands between start/stop and resample.
        IndexButton* bar = rig.window->indexButton;
        bar->show();
        QCoreApplication::processEvents();
        QVERIFY(bar->systemButton->y() > bar->startStopButton->y());
        QVERIFY(bar->systemButton->y() < bar->resampleButton->y());
        bar->Reset();
    }

    void everyPageDraws()
    {
        // The window's screen builds its pages when it is first opened.
        QVERIFY(screen->navButtons.isEmpty());
        openByButton();
        QCOMPARE(screen->navButtons.size(), 6);
        QCOMPARE(screen->page, 0);
        QVERIFY(!shot("page0-common").isNull());
        QVERIFY(screen->box(1)->isVisible() && screen->box(9)->isVisible());

        screen->SlotToCamera();
        QCOMPARE(screen->page, 1);
        QVERIFY(screen->exposureBox->isVisible());
        shot("page1-camera");
        screen->SlotChangeShowMode();
        QVERIFY(!screen->navButtons[0]->isVisible());
        shot("page1-simple");
        screen->SlotChangeShowMode();
        QVERIFY(screen->navButtons[0]->isVisible());

        rig.window->pswLevel = kFactoryLevel;
        screen->SlotToIO();
        QCOMPARE(screen->page, 3);
        shot("page3-io");
        screen->SlotShowIOWidget();
        shot("page3-io-dialog");
        screen->ioWidget->hide();
        screen->SlotToAdvance();
        QCOMPARE(screen->page, 4);
        shot("page4-advanced");

        // The factory details, then back as they were.
        screen->check(82)->setChecked(true);
        screen->SlotToCamera();
        QVERIFY(screen->check(29)->isVisible());
        shot("page1-factory");
        screen->SlotToIO();
        QVERIFY(screen->box(48)->isVisible());
        shot("page3-factory");
        screen->check(82)->setChecked(false);
        screen->DoChangePage();
        QVERIFY(!screen->box(48)->isVisible());

        // Nothing changed: Confirm closes without a question.
        rig.answerer->clearShown();
        screen->navButtons[5]->click();
        QTRY_VERIFY(screen->isHidden());
        QVERIFY(rig.answerer->texts().isEmpty());
        rig.window->pswLevel = kPswNone;
    }

    // With password use on, the system button opens the screen only for someone logged in;
    // the IO and advanced pages want the factory level (the fixed code while password use
    // is off, the code with the hour while it is on) whatever the operator's level.
    void passwordsGuardTheScreenAndItsPages_data()
    {
        QTest::addColumn<int>("passwordUse");
        QTest::addColumn<QString>("entry");     // typed into the box; empty: cancelled
        QTest::addColumn<bool>("screenOpens");  // after the system button
        QTest::addColumn<bool>("pagesOpen");    // IO and advanced, after the same entry
        QTest::newRow("use on, cancelled") << 1 << QString() << false << false;
        QTest::newRow("use on, operator") << 1 << "2468" << true << false;
        QTest::newRow("use off, cancelled") << 0 << QString() << true << false;
        QTest::newRow("use off, operator") << 0 << "2468" << true << false;
        QTest::newRow("use off, factory") << 0 << "8517" << true << true;
    }

    void passwordsGuardTheScreenAndItsPages()
    {
        QFETCH(int, passwordUse);
        QFETCH(QString, entry);
        QFETCH(bool, screenOpens);
        QFETCH(bool, pagesOpen);
        gpWPara->isPswUsed = passwordUse;
        qstrcpy(gpWPara->password, "2468");
        rig.window->pswLevel = kPswNone;
        IndexButton* bar = rig.window->indexButton;
        bar->show();
        auto answer = [this, &entry] {
            if (entry.isEmpty())
                rig.answerer->answer(ModalAnswerer::No);
            else
                rig.answerer->answerPassword(entry);
        };
        if (passwordUse)
            answer();
        bar->systemButton->click();
        QCOMPARE(screen->isVisible(), screenOpens);
        if (screenOpens) {
            for (auto toPage : {&WizardParaWidget::SlotToIO, &WizardParaWidget::SlotToAdvance}) {
                rig.window->pswLevel = passwordUse ? kPswOperator : kPswNone;
                screen->SlotToCommon();
                answer();
                (screen->*toPage)();
                QCOMPARE(screen->page != 0, pagesOpen);
            }
            screen->hide();
        }
        QCOMPARE(rig.answerer->pendingAnswers(), 0);
        bar->Reset();
        gpWPara->isPswUsed = 0;
        rig.window->pswLevel = kPswNone;
    }

    // "Reset Count" zeroes the counters in count.ini at once, not at the next cycle.
    void resetCountReachesTheCountFile()
    {
        for (int c = 0; c < 8; ++c) gAllNum[c] = gFailNum[c] = gAllCycleNum[c] = gFailCycleNum[c] = c + 3;
        gSyncNGNum = gSyncNGCycleNum = 9;
        rig.window->CountWrite();
        const QString file = rig.window->countSettings->fileName();
        rig.window->countSettings->sync();
        openByButton();
        screen->resetCountButton->click();
        QSettings stored(file, QSettings::IniFormat);
        const QStringList keys = stored.allKeys();
        QVERIFY(keys.size() >= 6);
        for (const QString& key : keys)
            for (const QString& v : stored.value(key).toStringList())
                QVERIFY2(v.trimmed().toInt() == 0, qPrintable(key + "=" + stored.value(key).toStringList().join(',')));
        screen->hide();
    }

    // The mould delay changed on the screen holds the clamp that much longer on the next cycle.
    void changedDelayIsUsedByTheNextCycle()
    {
        QVERIFY(rig.mouldOnly(5));
        openByButton();
        screen->box(2)->setValue(15);
        rig.answerer->clearShown();
        rig.answerer->answer(ModalAnswerer::Yes);
        screen->navButtons[5]->click();
        QTRY_VERIFY(screen->isHidden());
        QCOMPARE(gpWPara->trigInDelay[1], 15);
        QCOMPARE(rig.records("set").size(), 1);

        const qint64 edge = rig.openMould();
        QVERIFY(rig.waitOutput(kClampOut, true, 1000) > 0);
        const qint64 off = rig.publishedAt(kClampOut, false, rig.waitOutput(kClampOut, false, 4000));
        QVERIFY(off > 0);
        QVERIFY2(Ms(edge, off) >= 1500, qPrintable(QString::number(Ms(edge, off))));
    }

    // The factory restore without its package says so and leaves the operator where he was.
    void factoryRestoreWithoutPackageStaysOnTheScreen()
    {
        openByButton();
        rig.answerer->clearShown();
        rig.answerer->answer({ModalAnswerer::Yes, ModalAnswerer::Confirm});
        screen->factoryRestoreButton->click();
        QTRY_COMPARE(rig.answerer->pendingAnswers(), 0);
        QCoreApplication::processEvents();
        QVERIFY(screen->isVisible());
        screen->hide();
    }

    // An NG alarm raised while one of the screen's dialogs is open takes the screen: the dialog
    // closes unsaved, as an open keypad does, and the alarm page stands in front, over nothing.
    void alarmClosesTheScreensDialogsUnsaved()
    {
        QVERIFY(rig.mouldOnly(1));
        const auto restore = qScopeGuard([this] {
            rig.window->drawROIWidget->Restart(), rig.setPart(0, false), rig.restartDetection();
        });
        // Once the dialog runs: an edit in it, then the mould that raises the alarm. A dialog the
        // alarm leaves standing fails the test when the answerer's time is up.
        const auto alarmInside = [this](std::function<QDialog*()> dialog) {
            QVERIFY(rig.restartDetection() && rig.setPart(0, true));
            openByButton();
            rig.answerer->watch("page dialog", std::move(dialog));
            rig.answerer->answerWith([this](QDialog* d) {
                for (QLineEdit* e : d->findChildren<QLineEdit*>()) e->setText("77");
                rig.openMould();
            });
        };
        const int daysWere = gpWParaBak->days;
        alarmInside([this]() -> QDialog* {
            for (QDialog* d : screen->findChildren<QDialog*>())
                if (dynamic_cast<SaveImageSettingDailog*>(d))
                    return d;
            return nullptr;
        });
        screen->SlotSaveImageSetting();
        QCOMPARE(gpState->pageState, kPageAlarm);
        QVERIFY(screen->isHidden() && rig.window->drawROIWidget->isVisible());
        QCOMPARE(gpWParaBak->days, daysWere);

        rig.window->drawROIWidget->Restart();
        alarmInside([] { return static_cast<QDialog*>(gpNetDialog); });
        QCOMPARE(OpenNetworkDialog(screen), int(QDialog::Rejected));
        QCOMPARE(gpState->pageState, kPageAlarm);
        QVERIFY(gpNetDialog->isHidden() && screen->isHidden() && !QApplication::activeModalWidget());
        QVERIFY(rig.window->drawROIWidget->isVisible() && rig.answerer->failures().isEmpty());
    }
};

MONITOR_TEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
