// Start with a PARAM.db and a RECORD.db that open but cannot be read: both kept aside; the parameters restored
// as a missing file is, with the restart; the records start afresh from the empty copy, without one.
#include <QDir>
#include <QFile>

#include "commandrunner.h"
#include "factoryfixture.h"
#include "globals.h"
#include "mainwindowrig.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "testsupport.h"

namespace {

const QByteArray kGarbage = QByteArray("this was a database once").repeated(200);

void spoil(const QString& file)
{
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(kGarbage);
}

// The one file kept aside for `base` ("PARAM" -> PARAM-broken-<date>.db), with its bytes.
QByteArray keptAside(const char* base)
{
    const QStringList kept = QDir().entryList({QString("%1-broken-*.db").arg(base)}, QDir::Files);
    if (kept.size() != 1)
        return QByteArray();
    QFile f(kept.first());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestMainWindowBrokenDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MainWindowRig::prepareOneCameraStart()); }

    void unreadableDatabasesAreKeptAsideAndReplaced()
    {
        spoil("PARAM.db");
        spoil("RECORD.db");
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        TestSupport::clearCapturedMessages();
        CommandRunner::clearCalls();
        new MoJuWizard(nullptr);

        // PARAM.db: the missing file's warning, copy, sync and restart; nothing lost.
        QCOMPARE(answerer.texts(), QStringList({MainWindowRig::english(160)}));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"cp -f ./paraGroup/default/PARAM.db ./", "sync", "reboot"}));
        QCOMPARE(keptAside("PARAM"), kGarbage);
        // RECORD.db: the empty copy took its place and holds the start-up record.
        QCOMPARE(keptAside("RECORD"), kGarbage);
        QCOMPARE(MainWindowRig::recordRows(), QStringList({gaLanStr[150 * kLanColumns + gLan].arg(1) + "|info"}));
        const QString log = TestSupport::capturedMessages().join('\n');
        QVERIFY2(log.contains("PARAM.db cannot be read") && log.contains("RECORD.db cannot be read"), qPrintable(log));
    }
};

MONITOR_TEST_MAIN(TestMainWindowBrokenDb)
#include "tst_mainwindow_brokendb.moc"
