// Start without PARAM.db: the warning, the restore from the factory copy and the restart; no restart when the copy is
// missing too.
#include <QFile>

#include "commandrunner.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "testsupport.h"

class TestMainWindowRestore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MainWindowRig::prepareOneCameraStart()); }

    // PARAM.db and its factory copy are both gone; RECORD.db is gone but its empty copy is
    // there. One window shows both ways a restore ends.
    void restartOnlyWhenTheCopyMadeTheFile()
    {
        QVERIFY(QFile::remove("PARAM.db"));
        QVERIFY(QFile::remove("paraGroup/default/PARAM.db"));
        QVERIFY(QFile::remove("RECORD.db"));

        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Confirm, ModalAnswerer::Confirm});
        CommandRunner::clearCalls();
        auto* win = new MoJuWizard(nullptr);

        // The language is not loaded yet: the warnings are English whatever it will be.
        QCOMPARE(answerer.texts(), QStringList({MainWindowRig::english(160), MainWindowRig::english(135)}));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"cp -f ./paraGroup/default/PARAM.db ./", "sync",
                                                          "cp -f RECORDNULL.db RECORD.db", "sync", "reboot"}));
        // No empty PARAM.db stands in for the missing one: the next start warns again.
        QVERIFY(!QFile::exists("PARAM.db"));
        // The window is up on default parameters with its camera and its record.
        QCOMPARE(numCamera, 1);
        QCOMPARE(win->viewCamera, 0);
        QVERIFY(MainWindowRig::recordRows().contains(gaLanStr[150 * kLanColumns + gLan].arg(1) + "|info"));
    }
};

MONITOR_TEST_MAIN(TestMainWindowRestore)
#include "tst_mainwindow_restore.moc"
