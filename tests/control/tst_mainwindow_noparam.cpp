// Start without PARAM.db while its factory copy is there: the warning, then the copy, sync and restart.
#include <QFile>

#include "commandrunner.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "testsupport.h"

class TestMainWindowNoParam : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MainWindowRig::prepareOneCameraStart()); }

    void warningThenTheThreeRestoreCommands()
    {
        QVERIFY(QFile::remove("PARAM.db"));
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        CommandRunner::clearCalls();
        new MoJuWizard(nullptr);

        QCOMPARE(answerer.texts(), QStringList({MainWindowRig::english(160)}));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"cp -f ./paraGroup/default/PARAM.db ./", "sync", "reboot"}));
        QCOMPARE(numCamera, 1);
    }
};

MONITOR_TEST_MAIN(TestMainWindowNoParam)
#include "tst_mainwindow_noparam.moc"
