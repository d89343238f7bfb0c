// Settings screen on the whole window: opened by the system button, every page drawn, and a
// delay changed there used by the next cycle on the board.
// ctest-timeout: 180
#include <QDir>
#include <QtTest>

#include "checkbox.h"
#include "colorbutton.h"
#include "constructionhooks.h"
#include "cyclerig.h"
#include "editbox.h"
#include "indexbutton.h"
#include "iowidget.h"
#include "modalanswerer.h"
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
        openByButton();
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
};

MONITOR_TEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
