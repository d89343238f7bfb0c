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
    void initTestCase()
    {
        InitLanStr();
        CreateGlobalMutexes();
        QVERIFY(FactoryFixture::writeAll());
        MainWindowRig::writeSimCameras(MainWindowRig::oneRealLookingCamera());
    }

    void warningThenTheThreeRestoreCommands()
    {
        QVERIFY(QFile::remove("PARAM.db"));
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        CommandRunner::clearCalls();
        new MoJuWizard(nullptr);

        QCOMPARE(answerer.texts(), QStringList({gaLanStr[160 * kLanColumns + 1]}));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"cp -f ./paraGroup/default/PARAM.db ./", "sync", "reboot"}));
        QCOMPARE(numCamera, 1);
    }
};

MONITOR_TEST_MAIN(TestMainWindowNoParam)
#include "tst_mainwindow_noparam.moc"
