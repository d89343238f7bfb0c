// USB disk watcher on fake udev records, links and /proc/mounts under the system-path root: what
// it mounts where, what it announces, what it unmounts, and what it never touches.
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include "commandrunner.h"
#include "diskmanager.h"
#include "platformclock.h"
#include "systempaths.h"
#include "testsupport.h"
#include "upaninfo.h"

namespace {

QString Root()
{
    return SystemPaths::root();
}

QString Mnt(const QString& suffix = QString())
{
    return Root() + "/mnt" + suffix;
}

// A udev record of a block device of major 8; `uuid` empty for a whole disk.
void Record(const QString& name, const QString& uuid, const QString& bus, const QString& label = QString(),
            const QString& fsType = "vfat")
{
    QByteArray text = "S:disk/by-id/" + bus.toUtf8() + "-disk\n";
    if (!uuid.isEmpty())
        text += "S:disk/by-uuid/" + uuid.toUtf8() + "\n";
    if (!label.isEmpty())
        text += "S:disk/by-label/" + label.toUtf8() + "\n";
    text += "E:ID_BUS=" + bus.toUtf8() + "\nE:ID_FS_TYPE=" + fsType.toUtf8() + "\n";
    TestSupport::writeSysFile("/run/udev/data/" + name, text);
}

void Link(const QString& uuid, const QString& devNode)
{
    const QString dir = SysPath("/dev/disk/by-uuid/");
    QDir().mkpath(dir);
    QFile::remove(dir + uuid);
    QVERIFY(QFile::link(devNode, dir + uuid));
}

void Unplug(const QString& record, const QString& uuid)
{
    QFile::remove(SysPath("/run/udev/data/" + record));
    QFile::remove(SysPath("/dev/disk/by-uuid/" + uuid));
}

void SetMounts(const QStringList& lines)
{
    TestSupport::writeSysFile("/proc/mounts", lines.join('\n').toUtf8() + "\n");
}

QStringList Mounts()
{
    QFile f(SysPath("/proc/mounts"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class TestDisk : public QObject
{
    Q_OBJECT

    int applied = 0;
    QStringList refused;  // device nodes the fake kernel will not mount
    QStringList busy;     // mount points the fake kernel will not unmount (their umount fails)

    // The fake kernel: what the recorded mount and umount lines would have done to /proc/mounts.
    void applyCommands()
    {
        const QStringList texts = CommandRunner::callTexts();
        QStringList mounts = Mounts();
        for (; applied < texts.size(); ++applied) {
            const QStringList w = texts[applied].split(' ');
            if (w.size() == 3 && w[0] == "mount" && !refused.contains(w[1]))
                mounts << w[1] + " " + w[2] + " vfat rw 0 0";
            if (w.size() == 2 && w[0] == "umount" && !busy.contains(w[1])) {
                for (int i = 0; i < mounts.size(); ++i) {
                    const QStringList f = mounts[i].split(' ');
                    if (f[0] == w[1] || f[1] == w[1]) {
                        mounts.removeAt(i);
                        break;
                    }
                }
            }
        }
        SetMounts(mounts);
    }

    QStringList newCommands(int since) const { return CommandRunner::callTexts().mid(since); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QVector<UPanInfo>>("QVector<UPanInfo>");
        // The settle wait after a mount is when the kernel has done its work.
        PlatformClock::setSleepHook([this](int) { applyCommands(); });
    }

    void init()
    {
        QDir(SysPath("/run/udev")).removeRecursively();
        QDir(SysPath("/dev")).removeRecursively();
        for (const QString& p : DiskManager::mountPoints()) QDir(p).removeRecursively();
        // The system disk, mounted at / and /boot.
        Record("b8:0", QString(), "ata");
        Record("b8:2", "SYS-ROOT", "ata", QString(), "ext4");
        Record("b8:1", "SYS-BOOT", "ata", QString(), "vfat");
        Link("SYS-ROOT", "/dev/sda2");
        Link("SYS-BOOT", "/dev/sda1");
        SetMounts({"/dev/sda2 / ext4 rw 0 0", "/dev/sda1 /boot/efi vfat rw 0 0"});
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
        applied = 0;
        refused.clear();
        busy.clear();
        TestSupport::clearCapturedMessages();
    }

    // One stick: mounted at <root>/mnt by one recorded command, one list announced; a second
    // stick goes to /mnt0; pulling the first unmounts it and announces the shorter list.
    void mountsAndUnmountsSticks()
    {
        DiskManager watcher;
        QVERIFY(watcher.ignoreList.contains("b8:2"));
        QVERIFY(watcher.ignoreList.contains("b8:1"));
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QSignalSpy spy(&watcher, &DiskManager::diskInfoChange);

        Record("b8:16", QString(), "usb");  // the stick's whole disk: no uuid
        Record("b8:17", "1111-AAAA", "usb", "STICK1");
        Link("1111-AAAA", "/dev/sdb1");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts(), QStringList{"mount /dev/sdb1 " + Mnt()});
        QVERIFY(QDir(Mnt()).exists());
        QCOMPARE(spy.size(), 1);
        auto list = spy.at(0).at(0).value<QVector<UPanInfo>>();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].uuid, QString("1111-AAAA"));
        QCOMPARE(list[0].label, QString("STICK1"));
        QCOMPARE(list[0].devNode, QString("/dev/sdb1"));
        QCOMPARE(list[0].bus, QString("usb"));
        QCOMPARE(list[0].mountPath, Mnt());
        QVERIFY(list[0].byPath.isEmpty() && list[0].fsType.isEmpty());

        // Nothing changed: nothing run, nothing announced.
        QVERIFY(!watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().size(), 1);

        Record("b8:33", "2222-BBBB", "usb", "STICK2");
        Link("2222-BBBB", "/dev/sdc1");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().last(), "mount /dev/sdc1 " + Mnt("0"));
        list = spy.last().at(0).value<QVector<UPanInfo>>();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].mountPath, Mnt());
        QCOMPARE(list[1].mountPath, Mnt("0"));
        QCOMPARE(watcher.getMountPath(), (QStringList{Mnt(), Mnt("0")}));

        const int before = CommandRunner::callTexts().size();
        Unplug("b8:17", "1111-AAAA");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(newCommands(before), QStringList{"umount " + Mnt()});
        list = spy.last().at(0).value<QVector<UPanInfo>>();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].uuid, QString("2222-BBBB"));
        // The freed /mnt goes to the next stick.
        QCOMPARE(watcher.get_efficientMountPath(), Mnt());
    }

    // Two sticks in one pass: listed in UUID order and mounted from the last, so the greater
    // UUID gets /mnt. With every mount point taken, a sixth disk shares /mnt3.
    void mountOrderAndTheSixthDisk()
    {
        DiskManager watcher;
        QSignalSpy spy(&watcher, &DiskManager::diskInfoChange);
        Record("b8:17", "BBBB", "usb");
        Link("BBBB", "/dev/sdb1");
        Record("b8:33", "AAAA", "usb");
        Link("AAAA", "/dev/sdc1");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts(), (QStringList{"mount /dev/sdb1 " + Mnt(), "mount /dev/sdc1 " + Mnt("0")}));
        auto list = spy.last().at(0).value<QVector<UPanInfo>>();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].uuid, QString("AAAA"));
        QCOMPARE(list[0].mountPath, Mnt("0"));
        QCOMPARE(list[1].mountPath, Mnt());

        for (int i = 0; i < 4; ++i) {
            const QString uuid = QString("CCC%1").arg(i);
            Record(QString("b8:%1").arg(49 + 16 * i), uuid, "usb");
            Link(uuid, QString("/dev/sd%11").arg(QChar('d' + i)));
            QVERIFY(watcher.pollOnce());
        }
        QCOMPARE(watcher.getMountPath(), (QStringList{Mnt("0"), Mnt(), Mnt("1"), Mnt("2"), Mnt("3"), Mnt("3")}));
    }

    // A known disk that comes back under another device node is unmounted from its old node
    // before it is mounted again: nothing stays stacked under the new mount.
    void newDeviceNodeUnmountsTheOldOne()
    {
        DiskManager watcher;
        Record("b8:17", "1111-AAAA", "usb");
        Link("1111-AAAA", "/dev/sdb1");
        QVERIFY(watcher.pollOnce());
        Link("1111-AAAA", "/dev/sdc1");
        const int before = CommandRunner::callTexts().size();
        QVERIFY(watcher.pollOnce());
        QCOMPARE(newCommands(before), (QStringList{"umount " + Mnt(), "mount /dev/sdc1 " + Mnt()}));
        QCOMPARE(Mounts().filter(" " + Mnt() + " ").size(), 1);
        QCOMPARE(watcher.disks().value(0).devNode, QString("/dev/sdc1"));
    }

    // A pulled stick whose unmount fails keeps its mount point from the next stick, and the
    // unmount is tried again on later passes until it works.
    void failedUnmountIsRetried()
    {
        DiskManager watcher;
        Record("b8:17", "1111-AAAA", "usb");
        Link("1111-AAAA", "/dev/sdb1");
        QVERIFY(watcher.pollOnce());
        busy << Mnt();
        CommandRunner::addAnswer("umount " + Mnt(), 32);
        Unplug("b8:17", "1111-AAAA");
        QVERIFY(watcher.pollOnce());
        Record("b8:33", "2222-BBBB", "usb");
        Link("2222-BBBB", "/dev/sdc1");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(watcher.getMountPath(), QStringList{Mnt("0")});
        QCOMPARE(CommandRunner::callTexts().filter("umount " + Mnt()).size(), 1);
        QVERIFY(!watcher.pollOnce());  // not yet: a second between tries
        QCOMPARE(CommandRunner::callTexts().filter("umount " + Mnt()).size(), 1);

        PlatformClock::advanceMonotonic(1100);
        QVERIFY(!watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().filter("umount " + Mnt()).size(), 2);
        busy.clear();
        CommandRunner::clearAnswers();
        PlatformClock::advanceMonotonic(1100);
        QVERIFY(!watcher.pollOnce());
        applyCommands();
        QCOMPARE(CommandRunner::callTexts().filter("umount " + Mnt()).size(), 3);
        QVERIFY(Mounts().filter(" " + Mnt() + " ").isEmpty());
        Record("b8:49", "3333-CCCC", "usb");
        Link("3333-CCCC", "/dev/sdd1");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(watcher.getMountPath(), (QStringList{Mnt("0"), Mnt()}));
        PlatformClock::advanceMonotonic(1100);
        watcher.pollOnce();
        QCOMPARE(CommandRunner::callTexts().filter("umount " + Mnt()).size(), 3);
    }

    // /proc/mounts is compared field by field: /dev/sdb10 is not /dev/sdb1 and /mnt0 is not /mnt.
    void mountTableFieldsExact()
    {
        SetMounts({"/dev/sdb10 " + Mnt("0") + " vfat rw 0 0"});
        DiskManager watcher;
        CommandRunner::clearCalls();
        watcher.clear_mount("/dev/sdb1");
        watcher.clear_mount(Mnt());
        QVERIFY(CommandRunner::callTexts().isEmpty());
        // A mount that does not show in the table failed, however alike a line looks.
        refused << "/dev/sdb1";
        QVERIFY(!watcher.mountCommand("/dev/sdb1", Mnt()));
        refused.clear();
        QVERIFY(watcher.mountCommand("/dev/sdb1", Mnt()));
        // The start-up frees our mount points, and only ours.
        SetMounts({"/dev/sdb10 " + Mnt("0") + " vfat rw 0 0", "/dev/sda2 / ext4 rw 0 0",
                   "/dev/sdz1 /media/stick vfat rw 0 0"});
        CommandRunner::clearCalls();
        DiskManager second;
        QCOMPARE(CommandRunner::callTexts(), QStringList{"umount " + Mnt("0")});
    }

    // A disk the system mounted elsewhere and a disk on another bus are neither mounted nor
    // unmounted.
    void leavesSystemDisksAlone()
    {
        DiskManager watcher;
        Record("b8:48", "3333-CCCC", "usb");
        Link("3333-CCCC", "/dev/sdd1");
        Record("b8:64", "4444-DDDD", "ata");
        Link("4444-DDDD", "/dev/sde1");
        SetMounts({"/dev/sda2 / ext4 rw 0 0", "/dev/sdd1 /media/data vfat rw 0 0"});
        QSignalSpy spy(&watcher, &DiskManager::diskInfoChange);
        QVERIFY(!watcher.pollOnce());
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QVERIFY(spy.isEmpty());
        QVERIFY(watcher.disks().isEmpty());
        watcher.clear_mount("/dev/sdd1");
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    // A record read while udev was still writing it (no uuid yet) is read again once it changes.
    void recordWithoutUuidReadAgainWhenItChanges()
    {
        DiskManager watcher;
        Record("b8:80", QString(), "usb");
        QVERIFY(!watcher.pollOnce());
        QVERIFY(CommandRunner::callTexts().isEmpty());
        Record("b8:80", "5555-EEEE", "usb");
        const QString path = SysPath("/run/udev/data/b8:80");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        f.close();
        Link("5555-EEEE", "/dev/sdf1");
        QVERIFY(watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts(), QStringList{"mount /dev/sdf1 " + Mnt()});
        // The system disk's records stay ignored by name.
        QVERIFY(watcher.ignoreList.contains("b8:2"));
    }

    // A mount that fails is tried again after growing pauses, and logged once.
    void failingMountBacksOff()
    {
        DiskManager watcher;
        refused << "/dev/sdg1";
        Record("b8:96", "6666-FFFF", "usb");
        Link("6666-FFFF", "/dev/sdg1");
        QVERIFY(!watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().filter("mount /dev/sdg1").size(), 1);
        for (int i = 0; i < 5; ++i) QVERIFY(!watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().filter("mount /dev/sdg1").size(), 1);
        PlatformClock::advanceMonotonic(1100);
        QVERIFY(!watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().filter("mount /dev/sdg1").size(), 2);
        QVERIFY(!watcher.pollOnce());
        QCOMPARE(CommandRunner::callTexts().filter("mount /dev/sdg1").size(), 2);
        QCOMPARE(TestSupport::capturedMessages().filter("could not be mounted").size(), 1);
        // Once the kernel takes it, it is mounted and announced.
        refused.clear();
        PlatformClock::advanceMonotonic(2100);
        QVERIFY(watcher.pollOnce());
        QCOMPARE(watcher.getMountPath(), QStringList{Mnt()});
    }
};

MONITOR_TEST_MAIN(TestDisk)
#include "tst_disk.moc"
