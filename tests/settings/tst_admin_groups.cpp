// Parameter groups: backup, restore, delete and factory restore on a working folder of
// template folders, with the commands recorded and the questions answered by the test.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
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

// A parameter database of machine mode `mode` (3: `detections` detections), marked with `tag`.
void writeParamDb(const QString& path, const QByteArray& tag, int detections, int mode = 3)
{
    QFile::remove(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "groupdb");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("CREATE TABLE sysparam(name TEXT, value TEXT)"));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO sysparam VALUES('numFailDetect', '%1 0 0 0')").arg(mode)));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO sysparam VALUES('system8', '%1 0')").arg(detections)));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO sysparam VALUES('tag', '%1')").arg(QString(tag))));
    }
    QSqlDatabase::removeDatabase("groupdb");
}

// The tag of a database written by writeParamDb; the plain content of any other file.
QByteArray paramTag(const QString& path)
{
    QByteArray tag;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "tagdb");
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec("SELECT value FROM sysparam WHERE name='tag'") && q.next())
            tag = q.value(0).toString().toUtf8();
    }
    QSqlDatabase::removeDatabase("tagdb");
    return tag.isEmpty() ? readFile(path) : tag;
}

// A group folder holding PARAM.db of machine `mode` and the template folders of 3 cameras x
// `detections`.
void writeGroup(const QString& name, const QByteArray& tag, int detections = 4, int mode = 3)
{
    for (int c = 1; c <= 3; ++c)
        for (int d = 1; d <= detections; ++d)
            writeFile(QStringLiteral("paraGroup/%1/cammer%2%3/t.bmp").arg(name).arg(c).arg(d), tag);
    writeParamDb(QStringLiteral("paraGroup/%1/PARAM.db").arg(name), tag, detections, mode);
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

    // Over an existing name: NO keeps the old group and saves nothing; YES replaces it and
    // leaves nothing of the old one aside (each backup would keep a whole copy).
    void backupOverExistingName()
    {
        writeGroup("B", "old");
        prompts.reset({true, false, true, true});
        QCOMPARE(ParaGroups::Backup("B", {}), ParaGroups::Result::Cancelled);
        QCOMPARE(paramTag("paraGroup/B/PARAM.db"), QByteArray("old"));
        QCOMPARE(prompts.asked.last(), LanStr(284));
        QVERIFY(!QFile::exists("sysadd.txt") || readFile("sysadd.txt") != "0\n");
        QCOMPARE(ParaGroups::Backup("B", {}), ParaGroups::Result::Done);
        QCOMPARE(paramTag("paraGroup/B/PARAM.db") + readFile("paraGroup/B/cammer34/t.bmp"), QByteArray("workwork"));
        QCOMPARE(QDir(".").entryList({".paraGroup*"}, QDir::AllEntries | QDir::Hidden), QStringList());
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
        QCOMPARE(paramTag("PARAM.db"), QByteArray("zz"));
        QCOMPARE(paramTag("paraGroup/zz/PARAM.db"), QByteArray("zz"));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"sync", "reboot"}));
        QCOMPARE(records, QStringList{"operate:" + LanStr(286).arg("zz")});
        // The next start resolves the stored index to the same group.
        WizardPara next;
        next.groupIndex = 2;
        next.updateGroupName();
        QCOMPARE(next.getCurGroupName(), QString("zz"));
    }

    // A group the next start could not run on, or one whose copy fails part way, leaves the
    // working set, the current group and the machine as they were.
    void restoreOfAnIncompleteGroupTouchesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("result");
        QTest::newRow("no PARAM.db") << "remove PARAM.db" << int(ParaGroups::Result::Refused);
        QTest::newRow("PARAM.db is text") << "text PARAM.db" << int(ParaGroups::Result::Refused);
        QTest::newRow("PARAM.db without sysparam") << "empty database" << int(ParaGroups::Result::Refused);
        QTest::newRow("a detection's templates missing") << "remove cammer23" << int(ParaGroups::Result::Refused);
        QTest::newRow("first folder unreadable") << "dangling cammer11" << int(ParaGroups::Result::Failed);
    }

    void restoreOfAnIncompleteGroupTouchesNothing()
    {
        QFETCH(QString, damage);
        QFETCH(int, result);
        writeGroup("zz", "zz");
        if (damage == "remove PARAM.db")
            QFile::remove("paraGroup/zz/PARAM.db");
        if (damage == "text PARAM.db")
            writeFile("paraGroup/zz/PARAM.db", "not a database");
        if (damage == "empty database") {
            writeParamDb("paraGroup/zz/PARAM.db", "zz", 4);
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "dropdb");
            db.setDatabaseName("paraGroup/zz/PARAM.db");
            QVERIFY(db.open());
            QSqlQuery(db).exec("DROP TABLE sysparam");
            db.close();
        }
        if (damage == "remove cammer23")
            QDir("paraGroup/zz/cammer23").removeRecursively();
        // The last folder copies well: only a copy that counts every failure refuses.
        if (damage == "dangling cammer11")
            QVERIFY(QFile::link("/nonexistent/picture.bmp", "paraGroup/zz/cammer11/u.bmp"));
        QSqlDatabase::removeDatabase("dropdb");
        prompts.reset({true});
        QCOMPARE(int(ParaGroups::Restore("zz", {})), result);
        for (int c = 1; c <= 3; ++c)
            for (int d = 1; d <= 4; ++d)
                QCOMPARE(readFile(QStringLiteral("cammer%1%2/t.bmp").arg(c).arg(d)), QByteArray("work"));
        QCOMPARE(readFile("PARAM.db"), QByteArray("work"));
        QVERIFY(!QFile::exists("sysadd.txt"));
        QVERIFY(!QFile::exists(".paraGroup-restore"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QVERIFY(records.isEmpty());
        QCOMPARE(prompts.warned, QStringList{LanStr(kTextGroupIncomplete)});
    }

    // A group whose machine has two detections (the standard mode, a multi-detection mode of
    // two, a mode the next start reads as standard) restores them and leaves the teaching of
    // detections 3 and 4 in place; the two-sided machines have four, so a group of theirs
    // holding only two is incomplete.
    void restoreCountsTheGroupsDetections_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("folders");
        QTest::addColumn<bool>("restored");
        QTest::newRow("standard") << 0 << 2 << true;
        QTest::newRow("multi-detection of two") << 3 << 2 << true;
        QTest::newRow("unknown mode") << 7 << 2 << true;
        QTest::newRow("two-colour, four") << 1 << 4 << true;
        QTest::newRow("two-colour, two") << 1 << 2 << false;
        QTest::newRow("turntable, two") << 2 << 2 << false;
        QTest::newRow("multi-detection of four, three") << 3 << 3 << false;
    }

    void restoreCountsTheGroupsDetections()
    {
        QFETCH(int, mode);
        QFETCH(int, folders);
        QFETCH(bool, restored);
        writeGroup("g", "g", folders, mode);
        if (mode == 3 && !restored)
            writeParamDb("paraGroup/g/PARAM.db", "g", 4, mode);
        prompts.reset({true});
        QCOMPARE(ParaGroups::Restore("g", {}), restored ? ParaGroups::Result::Done : ParaGroups::Result::Refused);
        for (int c = 1; c <= 3; ++c)
            for (int d = 1; d <= 4; ++d)
                QCOMPARE(readFile(QStringLiteral("cammer%1%2/t.bmp").arg(c).arg(d)),
                         QByteArray(restored && d <= folders ? "g" : "work"));
        QCOMPARE(readFile("PARAM.db") == "work", !restored);
        QCOMPARE(CommandRunner::callTexts(), restored ? QStringList({"sync", "reboot"}) : QStringList());
    }

    // A backup that cannot be made is told, leaves no group folder behind, keeps an older
    // group of the same name and keeps the current group.
    void failedBackupLeavesNothingAndKeepsTheCurrentGroup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("name too long for a folder") << QString(300, 'n') << false;
        QTest::newRow("template unreadable, old group kept") << "A1" << true;
        QTest::newRow("last move refused, old group kept") << "A1" << false;
    }

    void failedBackupLeavesNothingAndKeepsTheCurrentGroup()
    {
        QFETCH(QString, name);
        QFETCH(bool, overwrite);
        writeGroup("A1", "old");
        writeGroup("zz", "zz");
        para.groupIndex = 2;
        para.SaveAddFile();
        paraBak = para;
        if (overwrite)
            QVERIFY(QFile::link("/nonexistent/picture.bmp", "cammer12/u.bmp"));
        // The whole copy stands aside, the old group has moved out of its way: then the move
        // of the copy to the group's name fails.
        if (QByteArray(QTest::currentDataTag()).startsWith("last move"))
            ParaGroups::SetFolderRename([](const QString& from, const QString& to) {
                return !from.startsWith(".paraGroup-backup") && QDir().rename(from, to);
            });
        prompts.reset({true, true});
        QCOMPARE(ParaGroups::Backup(name, {}), ParaGroups::Result::Failed);
        ParaGroups::SetFolderRename({});
        QCOMPARE(prompts.warned, QStringList{LanStr(707)});
        QCOMPARE(ParaGroups::list(), QStringList({"A1", "default", "zz"}));
        QCOMPARE(paramTag("paraGroup/A1/PARAM.db"), QByteArray("old"));
        QCOMPARE(readFile("paraGroup/A1/cammer12/t.bmp"), QByteArray("old"));
        QVERIFY(QDir(".").entryList({".paraGroup*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
        QCOMPARE(readFile("sysadd.txt"), QByteArray("2\n"));
        QCOMPARE(para.getCurGroupName(), QString("zz"));
        QCOMPARE(paraBak.groupIndex, 2);
        QFile::remove("cammer12/u.bmp");
    }

    // Both moves refused: the old group cannot be put back and stays aside; the next backup
    // keeps it under a name of its own rather than removing it.
    void oldGroupLeftAsideSurvivesTheNextBackup()
    {
        const auto tidy = qScopeGuard([] {
            ParaGroups::SetFolderRename({});
            for (const QString& f : QDir(".").entryList({".paraGroup*"}, QDir::Dirs | QDir::Hidden))
                QDir(f).removeRecursively();
        });
        writeGroup("A1", "old");
        ParaGroups::SetFolderRename([](const QString& from, const QString& to) {
            return !from.startsWith(".paraGroup") && QDir().rename(from, to);
        });
        prompts.reset({true, true});
        QCOMPARE(ParaGroups::Backup("A1", {}), ParaGroups::Result::Failed);
        ParaGroups::SetFolderRename({});
        QCOMPARE(paramTag(".paraGroup-replaced/PARAM.db"), QByteArray("old"));

        prompts.reset({true});
        QCOMPARE(ParaGroups::Backup("B", {}), ParaGroups::Result::Done);
        const QStringList kept = QDir(".").entryList({".paraGroup*"}, QDir::Dirs | QDir::Hidden);
        QCOMPARE(kept.size(), 1);
        QVERIFY(kept.first().startsWith(".paraGroup-replaced-"));
        QCOMPARE(paramTag(kept.first() + "/PARAM.db"), QByteArray("old"));
        QCOMPARE(readFile(kept.first() + "/cammer12/t.bmp"), QByteArray("old"));
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
        QCOMPARE(paramTag("paraGroup/zz/PARAM.db"), QByteArray("zz"));
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
