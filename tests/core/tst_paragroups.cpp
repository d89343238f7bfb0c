// Tests of the parameter groups: sysadd.txt, the ./paraGroup listing and the current group name.
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QtTest>

#include "testsupport.h"
#include "wizardpara.h"

class TestParaGroups : public QObject
{
    Q_OBJECT

    static void writeIndexFile(const QByteArray& content)
    {
        QFile file(QStringLiteral("sysadd.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    static QByteArray indexFile()
    {
        QFile file(QStringLiteral("sysadd.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // The group part of a load; without a database every row simply counts as missing.
    static WizardPara load()
    {
        WizardPara para;
        QSqlQuery noDatabase;
        para.LoadDatafromFile(noDatabase);
        return para;
    }

private slots:
    void init()
    {
        QDir(QStringLiteral("paraGroup")).removeRecursively();
        QFile::remove(QStringLiteral("sysadd.txt"));
    }

    void indexSelectsASortedSubdirectory_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("group");

        QTest::newRow("0") << QByteArray("0\n") << "A1";
        QTest::newRow("1") << QByteArray("1") << "default";
        QTest::newRow("2") << QByteArray("2\n") << "zz";
        QTest::newRow("3 past the end") << QByteArray("3\n") << "default";
        QTest::newRow("-1") << QByteArray("-1") << "default";
        QTest::newRow("-7") << QByteArray("-7") << "default";
        QTest::newRow("empty") << QByteArray() << "default";
        QTest::newRow("garbage") << QByteArray("garbage\n") << "default";
        QTest::newRow("decimal, not octal") << QByteArray("02") << "zz";
    }

    void indexSelectsASortedSubdirectory()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, group);
        for (const char* dir : {"paraGroup/zz", "paraGroup/default", "paraGroup/A1"})
            QVERIFY(QDir().mkpath(QString::fromLatin1(dir)));
        QFile plain(QStringLiteral("paraGroup/aa.txt"));  // files are not groups
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        writeIndexFile(file);

        const WizardPara para = load();
        QCOMPARE(para.getCurGroupName(), group);
        QCOMPARE(indexFile(), file);
    }

    void garbageCountsAsNoGroup()
    {
        QVERIFY(QDir().mkpath(QStringLiteral("paraGroup/A1")));
        writeIndexFile("x1");
        QCOMPARE(load().groupIndex, -1);
    }

    void missingFilesAreCreated()
    {
        const WizardPara para = load();
        QCOMPARE(indexFile(), QByteArray("-1"));
        QCOMPARE(para.groupIndex, -1);
        QCOMPARE(para.getCurGroupName(), QStringLiteral("default"));
        QVERIFY(QDir(QStringLiteral("paraGroup")).exists());
        QCOMPARE(para.groupDir, QDir(QStringLiteral("./paraGroup")));
    }

    void missingGroupFolderIsCreatedWhateverTheIndex()
    {
        writeIndexFile("1\n");
        const WizardPara para = load();
        QVERIFY(QDir(QStringLiteral("paraGroup")).exists());
        QCOMPARE(para.groupIndex, 1);
        QCOMPARE(para.getCurGroupName(), QStringLiteral("default"));
    }

    void saveAddFileStoresTheIndexAndResolvesTheName()
    {
        for (const char* dir : {"paraGroup/A1", "paraGroup/default", "paraGroup/zz"})
            QVERIFY(QDir().mkpath(QString::fromLatin1(dir)));
        WizardPara para = load();
        para.groupIndex = 2;
        para.SaveAddFile();
        QCOMPARE(indexFile(), QByteArray("2\n"));
        QCOMPARE(para.getCurGroupName(), QStringLiteral("zz"));
        QCOMPARE(load().getCurGroupName(), QStringLiteral("zz"));

        // The group deleted behind the program's back: the name falls back, the index stays.
        QVERIFY(QDir(QStringLiteral("paraGroup/zz")).removeRecursively());
        const WizardPara stale = load();
        QCOMPARE(stale.groupIndex, 2);
        QCOMPARE(stale.getCurGroupName(), QStringLiteral("default"));
    }

    void unwritableIndexFileLeavesTheNameAlone()
    {
        QVERIFY(QDir().mkpath(QStringLiteral("paraGroup/A1")));
        WizardPara para = load();
        QVERIFY(QFile::remove(QStringLiteral("sysadd.txt")));
        QVERIFY(QDir().mkpath(QStringLiteral("sysadd.txt")));  // a folder cannot be opened for writing
        para.groupIndex = 0;
        para.SaveAddFile();
        QCOMPARE(para.getCurGroupName(), QStringLiteral("default"));
        QVERIFY(QDir().rmdir(QStringLiteral("sysadd.txt")));
    }
};

MONITOR_TEST_MAIN(TestParaGroups)
#include "tst_paragroups.moc"
