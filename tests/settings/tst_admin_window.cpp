// The administration pages in the whole main window: created through the start-up's hooks
// as hidden children, in English, and the help reached from the teaching page's alarm help;
// the button bar and the settings screen of a window started in English.
// ctest-timeout: 120
#include <QDir>
#include <QFile>
#include <QPushButton>

#include "cameramanager.h"
#include "constructionhooks.h"
#include "customionamewidget.h"
#include "drawroiwidget.h"
#include "factoryfixture.h"
#include "globals.h"
#include "colorbutton.h"
#include "combobox.h"
#include "hardwareconfigurationwidget.h"
#include "helpwidget.h"
#include "indexbutton.h"
#include "ioboard-sim/ioboardsim.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "startup.h"
#include "systempaths.h"
#include "testsupport.h"
#include "widgetchangecamera.h"
#include "wizardparawidget.h"

class TestAdminWindow : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    IOBoardSim* board = nullptr;  // outlives the window: never deleted

private slots:
    void initTestCase()
    {
        InitLanStr();
        CreateGlobalMutexes();
        QVERIFY(FactoryFixture::writeAll());
        QVERIFY(MainWindowRig::setLanguage("PARAM.db", 1));
        MainWindowRig::writeSimCameras(MainWindowRig::threeCameras(-1));
        // The help pages painted by the build, beside the test program.
        const QDir painted(QCoreApplication::applicationDirPath() + "/help-en");
        QDir().mkpath("help-en");
        for (const QString& name : painted.entryList({"*.png"}, QDir::Files))
            QFile::copy(painted.filePath(name), "help-en/" + name);

        board = new IOBoardSim;
        QVERIFY(board->start());
        SystemPaths::setSerialDevice(board->devicePath());

        ModalAnswerer answerer;
        answerer.watchCameraCountQuestion();
        answerer.answer(ModalAnswerer::No);
        ConstructionHooks hooks;
        AddSettingsHooks(hooks);
        AddAdminPageHooks(hooks);
        SetConstructionHooks(std::move(hooks));
        win = new MoJuWizard(nullptr);
        SetConstructionHooks({});
        QVERIFY(win);
    }

    void pagesAreHiddenChildrenInEnglish()
    {
        QCOMPARE(gLan, 1);
        QVERIFY(win->helpWidget && win->widgetChangeCamera && win->customIONameWidget &&
                win->hardwareConfigurationWidget);
        QCOMPARE(win->helpWidget->parentWidget(), win);
        QVERIFY(win->helpWidget->isHidden() && win->widgetChangeCamera->isHidden() &&
                win->customIONameWidget->isHidden() && win->hardwareConfigurationWidget->isHidden());
        QCOMPARE(win->helpWidget->pageCount, 7);
        QCOMPARE(win->helpWidget->returnButton->text(), QString("Return"));
        QCOMPARE(win->widgetChangeCamera->choices.size(), numCamera);
    }

    void teachingAlarmHelpShowsPageSix()
    {
        win->show();
        gHelpC = 0;
        win->drawROIWidget->SlotHelp();
        QVERIFY(win->helpWidget->isVisible());
        QCOMPARE(gHelpC, HelpWidget::kAlarmPage);
        const QImage shot = win->grab().toImage();
        const QString path = qEnvironmentVariable("ADMIN_SCREENSHOT");
        if (!path.isEmpty())
            shot.save(path);
        // The alarm page is painted (not the window behind it), the button band gray.
        QCOMPARE(QColor(shot.pixel(5, 5)), QColor(24, 40, 64));
        QCOMPARE(QColor(shot.pixel(1291, 1)), QColor(Qt::gray));
        win->helpWidget->SlotReturn();
        QVERIFY(!win->helpWidget->isVisible());
        if (!path.isEmpty())
            win->grab().toImage().save(path + ".main.png");
    }

    // The language stored by the switch is the one the next start speaks: the bar and the
    // settings screen read in English.
    void barAndSettingsReadInEnglish()
    {
        win->show();
        IndexButton* bar = win->indexButton;
        bar->show();
        QCOMPARE(bar->systemButton->text(), LanStr(215));
        QCOMPARE(bar->systemButton->text(), QString("System Param"));
        const QString path = qEnvironmentVariable("ADMIN_SCREENSHOT");
        if (!path.isEmpty())
            win->grab().toImage().save(path + ".bar.png");
        bar->systemButton->click();
        WizardParaWidget* screen = win->wizardParaWidget;
        QTRY_VERIFY(screen && screen->isVisible());
        QCOMPARE(screen->navButtons[0]->text(), QString("System Param"));
        QCOMPARE(screen->shutDownButton->text(), LanStr(209));
        QCOMPARE(screen->languageCombo->currentIndex(), 1);
        if (!path.isEmpty())
            win->grab().toImage().save(path + ".settings.png");
        screen->hide();
    }
};

MONITOR_TEST_MAIN(TestAdminWindow)
#include "tst_admin_window.moc"
