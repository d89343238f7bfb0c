// Parameter groups: backup, restore, delete and factory restore on a working folder of
// template folders, with the commands recorded and the questions answered by the test.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QtTest>

#include "admintestprompts.h"
#include "commandrunner.h"
#include "globals.h"
#include "lanstr.h"
#include "paragroups.h"
#include "recordsink.h"
#include "resstatisticsparam.h"
#include "systempaths.h"
#include "testsupport.h"
#include "textids.h"
#include "wizardpara.h"

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A group folder holding PARAM.db and every template folder of 3 cameras x 4 detections.
void writeGroup(const QString& name, const QByteArray& tag)
{
    for (int c = 1; c <= 3; ++c)
        for (int d = 1; d <= 4; ++d)
            writeFile(QStringLiteral("paraGroup/%1/cammer%2%3/t.bmp").arg(name).arg(c).arg(d), tag);
    writeFile(QStringLiteral("paraGroup/%1/PARAM.db").arg(name), tag);
}

}  // namespace

class TestAdminGroups : public QObject
{
    Q_OBJECT

    AdminPrompts prompts;
    QStringList records;
    WizardPara para;
    WizardPara paraBak;

private slots:
    void initTestCase()
    {
        InitLanStr();
        gpWPara = &para;
        gpWParaBak = &paraBak;
        prompts.install();
        SetRecordSink([this](const QString& text, const QString& type) { records << type + ':' + text; });
    }

    void init()
    {
        QDir(QStringLiteral("paraGroup")).removeRecursively();
        QFile::remove(QStringLiteral("sysadd.txt"));
        for (int c = 1; c <= 3; ++c)
            for (int d = 1; d <= 4; ++d) {
                QDir(QStringLiteral("cammer%1%2").arg(c).arg(d)).removeRecursively();
                writeFile(QStringLiteral("cammer%1%2/t.bmp").arg(c).arg(d), "work");
            }
        writeFile(QStringLiteral("PARAM.db"), "work");
        QDir().mkpath(QStringLiteral("paraGroup/default"));
        numCamera = 3;
        gDNum = 4;
        para.groupIndex = -1;
        para.updateGroupName();
        prompts.reset();
        records.clear();
        CommandRunner::clearCalls();
    }

    void backupCopiesTemplatesAndBecomesCurrent()
    {
        prompts.reset({true});
        int refreshed = 0;
        int selected = -2;
        ParaGroups::Screen screen;
        screen.refreshList = [&] { ++refreshed; };
        screen.selectGroup = [&](int index) { selected = index; };
        QCOMPARE(ParaGroups::Backup("B", screen), ParaGroups::Result::Done);

        const QStringList copied =
            QDir("paraGroup/B").entryList({"cammer*"}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        QCOMPARE(copied.size(), 12);
        QCOMPARE(readFile("paraGroup/B/cammer34/t.bmp"), QByteArray("work"));
        QCOMPARE(readFile("paraGroup/B/PARAM.db"), QByteArray("work"));
        QCOMPARE(refreshed, 1);
        // "B" sorts before "default".
        QCOMPARE(selected, 0);
        QCOMPARE(readFile("sysadd.txt"), QByteArray("0\n"));
        QCOMPARE(para.getCurGroupName(), QString("B"));
        QCOMPARE(paraBak.groupIndex, 0);
        QCOMPARE(paraBak.groupName, QString("B"));
        QCOMPARE(ResStatisticsParam::getInstance()->getCurGroupName(), QString("B"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    void backupOverExistingNameAnsweredNoKeepsTheGroup()
    {
        writeGroup("B", "old");
        prompts.reset({true, false});
        QCOMPARE(ParaGroups::Backup("B", {}), ParaGroups::Result::Cancelled);
        QCOMPARE(readFile("paraGroup/B/PARAM.db"), QByteArray("old"));
        QCOMPARE(prompts.asked.last(), LanStr(284));
        QVERIFY(!QFile::exists("sysadd.txt") || readFile("sysadd.txt") != "0\n");
    }

    void restoreReplacesWorkingSetAndRestarts()
    {
        writeGroup("A1", "a1");
        writeGroup("zz", "zz");
        prompts.reset({true});
        QCOMPARE(ParaGroups::Restore("zz", {}), ParaGroups::Result::Done);

        QCOMPARE(readFile("sysadd.txt"), QByteArray("2\n"));
        QCOMPARE(readFile("cammer11/t.bmp"), QByteArray("zz"));
        QCOMPARE(readFile("cammer34/t.bmp"), QByteArray("zz"));
        QCOMPARE(readFile("PARAM.db"), QByteArray("zz"));
        QVERIFY(readFile("paraGroup/zz/PARAM.db") == "zz");
        QCOMPARE(CommandRunner::callTexts(), QStringList({"sync", "reboot"}));
        QCOMPARE(records, QStringList{"operate:" + LanStr(286).arg("zz")});
        // The next start resolves the stored index to the same group.
        WizardPara next;
        next.groupIndex = 2;
        next.updateGroupName();
        QCOMPARE(next.getCurGroupName(), QString("zz"));
    }

    void restoreOfAnIncompleteGroupTouchesNothing()
    {
        writeGroup("zz", "zz");
        QFile::remove("paraGroup/zz/PARAM.db");
        prompts.reset({true});
        QCOMPARE(ParaGroups::Restore("zz", {}), ParaGroups::Result::Refused);
        QCOMPARE(readFile("cammer11/t.bmp"), QByteArray("work"));
        QCOMPARE(readFile("PARAM.db"), QByteArray("work"));
        QVERIFY(!QFile::exists("sysadd.txt"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QCOMPARE(prompts.warned, QStringList{LanStr(kTextGroupIncomplete)});
    }

    void unsafeOrEmptyNamesIssueNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("warning");
        QTest::newRow("empty") << QString() << kTextGroupNoneChosen;
        QTest::newRow("dot dot") << QString("..") << int(kTextGroupNameUnsafe);
        QTest::newRow("shell") << QString("a;reboot") << int(kTextGroupNameUnsafe);
        QTest::newRow("slash") << QString("/") << int(kTextGroupNameUnsafe);
        QTest::newRow("blank") << QString("  ") << int(kTextGroupNameUnsafe);
        QTest::newRow("path") << QString("../x") << int(kTextGroupNameUnsafe);
    }

    void unsafeOrEmptyNamesIssueNothing()
    {
        QFETCH(QString, name);
        QFETCH(int, warning);
        writeGroup("zz", "zz");
        for (int action = 0; action < 3; ++action) {
            prompts.reset({true, true, true});
            const ParaGroups::Result result = action == 0   ? ParaGroups::Restore(name, {})
                                              : action == 1 ? ParaGroups::Delete(name, {})
                                                            : ParaGroups::Backup(name, {});
            QCOMPARE(result, ParaGroups::Result::Refused);
            QVERIFY2(prompts.asked.isEmpty(), qPrintable(prompts.asked.join('|')));
            const int expected = action == 2 && name.isEmpty() ? 282 : warning;
            QCOMPARE(prompts.warned, QStringList{LanStr(expected)});
        }
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QVERIFY(QFileInfo("paraGroup/default").isDir());
        QCOMPARE(readFile("paraGroup/zz/PARAM.db"), QByteArray("zz"));
        QCOMPARE(readFile("cammer11/t.bmp"), QByteArray("work"));
        QVERIFY(!QFile::exists("sysadd.txt"));
    }

    void defaultGroupIsNeverDeleted()
    {
        prompts.reset({true});
        QCOMPARE(ParaGroups::Delete("default", {}), ParaGroups::Result::Refused);
        QVERIFY(QFileInfo("paraGroup/default").isDir());
        QVERIFY(prompts.asked.isEmpty());
    }

    void deletingAnEarlierGroupKeepsTheCurrentOne()
    {
        writeGroup("A1", "a1");
        writeGroup("zz", "zz");
        para.groupIndex = 2;
        para.SaveAddFile();
        QCOMPARE(para.getCurGroupName(), QString("zz"));
        prompts.reset({true});
        int refreshed = 0;
        ParaGroups::Screen screen;
        screen.refreshList = [&] { ++refreshed; };
        QCOMPARE(ParaGroups::Delete("A1", screen), ParaGroups::Result::Done);
        QVERIFY(!QFileInfo::exists("paraGroup/A1"));
        QCOMPARE(para.getCurGroupName(), QString("zz"));
        QCOMPARE(readFile("sysadd.txt"), QByteArray("1\n"));
        QCOMPARE(paraBak.groupName, QString("zz"));
        QCOMPARE(refreshed, 1);

        QComboBox combo;
        ParaGroups::FillCombo(&combo);
        QCOMPARE(combo.count(), 1);
        QCOMPARE(combo.itemText(0), QString("zz"));
        QCOMPARE(combo.itemData(0).toInt(), 1);
    }

    void deletingTheCurrentGroupMakesDefaultCurrent()
    {
        writeGroup("zz", "zz");
        para.groupIndex = 1;
        para.SaveAddFile();
        prompts.reset({true});
        QCOMPARE(ParaGroups::Delete("zz", {}), ParaGroups::Result::Done);
        QCOMPARE(readFile("sysadd.txt"), QByteArray("-1\n"));
        QCOMPARE(para.getCurGroupName(), QString("default"));
        QCOMPARE(ResStatisticsParam::getInstance()->getCurGroupName(), QString("default"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    void factoryRestoreNeedsItsPackage()
    {
        prompts.reset({true});
        QCOMPARE(ParaGroups::RestoreFactorySet(), ParaGroups::Result::Refused);
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QCOMPARE(prompts.warned, QStringList{LanStr(kTextFactoryPackageMissing)});

        writeFile("paraGroup/default/20clearsh.tar.gz", "package");
        prompts.reset({true});
        QCOMPARE(ParaGroups::RestoreFactorySet(), ParaGroups::Result::Done);
        QCOMPARE(readFile(SysPath("/root/bin-AOI/newupdate.tar.gz")), QByteArray("package"));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"sync", "reboot"}));
    }
};

MONITOR_TEST_MAIN(TestAdminGroups)
#include "tst_admin_groups.moc"
