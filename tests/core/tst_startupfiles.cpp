// The USB data partition search and the version file that start-up writes for the network services.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "commandrunner.h"
#include "globals.h"
#include "startupfiles.h"
#include "testsupport.h"

namespace {

const char* const kConfig = "cnt_net/config.json";

void writeConfig(const QByteArray& text)
{
    QDir().mkpath("cnt_net");
    QFile f(kConfig);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// Leaves junk where the next call's locals will live, so a local read before it is written
// shows as the junk rather than as a lucky zero.
[[gnu::noinline]] void dirtyStack()
{
    volatile unsigned char junk[64 * 1024];
    for (unsigned char& b : const_cast<unsigned char(&)[64 * 1024]>(junk)) b = 0xA5;
}

QByteArray readConfig()
{
    QFile f(kConfig);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestStartupFiles : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
    }

    void findAUMountsTheFirstDataPartitionBesideTheSystemDisk_data()
    {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("commands");
        const QString blkid = "bash -c blkid";
        QTest::newRow("stick after the system disk")
            << QByteArray(
                   "/dev/sda2: UUID=\"a\" TYPE=\"ext4\"\n\n/dev/sdb1: LABEL=\"STICK\" TYPE=\"vfat\"\n"
                   "/dev/sdc1: TYPE=\"ntfs\"\n")
            << "/mnt" << QStringList({blkid, "bash -c umount /mnt", "bash -c mount /dev/sdb1 /mnt"});
        QTest::newRow("stick listed before the system disk")
            << QByteArray("/dev/sdb1: TYPE=\"vfat\"\n/dev/sda2: TYPE=\"ext4\"\n") << QString() << QStringList({blkid});
        QTest::newRow("ext4 stick is taken for the system disk")
            << QByteArray("/dev/sda2: TYPE=\"ext4\"\n/dev/sdb1: TYPE=\"ext4\"\n") << QString() << QStringList({blkid});
        QTest::newRow("partition of the system disk itself")
            << QByteArray("/dev/sda2: TYPE=\"ext4\"\n/dev/sda1: TYPE=\"vfat\"\n") << QString() << QStringList({blkid});
        QTest::newRow("no listing") << QByteArray() << QString() << QStringList({blkid});
    }
    void findAUMountsTheFirstDataPartitionBesideTheSystemDisk()
    {
        QFETCH(QByteArray, listing);
        QFETCH(QString, result);
        QFETCH(QStringList, commands);
        // The stick is already at /mnt (the watcher mounted it): unmounted and mounted again.
        TestSupport::writeSysFile("/proc/mounts", "/dev/sda2 / ext4 rw 0 0\n/dev/sdb1 /mnt vfat rw 0 0\n");
        CommandRunner::addAnswer("blkid", 0, listing);
        QCOMPARE(FindAU(), result);
        QCOMPARE(CommandRunner::callTexts(), commands);
    }

    void findAUReportsAMountThatDidNotHappen()
    {
        TestSupport::writeSysFile("/proc/mounts", "/dev/sda2 / ext4 rw 0 0\n");
        CommandRunner::addAnswer("blkid", 0, "/dev/sda2: TYPE=\"ext4\"\n/dev/sdb1: TYPE=\"exfat\"\n");
        QCOMPARE(FindAU(), QString());
        QCOMPARE(CommandRunner::callTexts(), QStringList({"bash -c blkid", "bash -c mount /dev/sdb1 /mnt"}));
    }

    void versionFileKeepsTheOtherKeys()
    {
        numCamera = 3;
        writeConfig(R"({"devicename": "M7", "device_workapifunc": true, "version": "1.0"})");
        writeVersionToJson();
        const QJsonObject o = QJsonDocument::fromJson(readConfig()).object();
        QCOMPARE(o.value("version").toString(), QString("18.0.1.67"));
        QCOMPARE(o.value("camcount").toInt(), 3);
        QCOMPARE(o.value("devicename").toString(), QString("M7"));
        QCOMPARE(o.value("device_workapifunc").toBool(), true);

        QFile::remove(kConfig);
        writeVersionToJson();
        QCOMPARE(QJsonDocument::fromJson(readConfig()).object().keys(), QStringList({"camcount", "version"}));
    }

    // An empty file (a start that stopped between creating and writing it) is an empty object.
    void versionFileFillsAnEmptyFile()
    {
        numCamera = 2;
        for (const QByteArray& empty : {QByteArray(), QByteArray(" \n")}) {
            writeConfig(empty);
            dirtyStack();
            writeVersionToJson();
            const QJsonObject o = QJsonDocument::fromJson(readConfig()).object();
            QCOMPARE(o.value("version").toString(), QString("18.0.1.67"));
            QCOMPARE(o.value("camcount").toInt(), 2);
        }
    }

    void versionFileLeavesAFileItCannotParse()
    {
        const QByteArray broken = R"({"devicename": "M7", "serveraddr": )";
        writeConfig(broken);
        writeVersionToJson();
        QCOMPARE(readConfig(), broken);
    }
};

MONITOR_TEST_MAIN(TestStartupFiles)
#include "tst_startupfiles.moc"
