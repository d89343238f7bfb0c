// USB image copier: day folders and their retention on a disk folder, the disk it follows and
// when it says so, the bounded queue; the save-image settings dialog.
#include <atomic>
#include <thread>

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include "checkbox.h"
#include "colorbutton.h"
#include "commandrunner.h"
#include "copy2movedisk.h"
#include "edit.h"
#include "lanstr.h"
#include "platformclock.h"
#include "saveimagesettingdailog.h"
#include "testsupport.h"

namespace {

UPanInfo Disk(const QString& uuid, const QString& mount)
{
    UPanInfo d;
    d.uuid = uuid;
    d.mountPath = mount;
    return d;
}

QString Source()
{
    return QDir::current().absoluteFilePath("alarmimage/camera1/detect2/NG");
}

QImage Picture()
{
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 10));
    return image;
}

}  // namespace

class TestCopy : public QObject
{
    Q_OBJECT

    QString mount;
    QString root;  // <mount>/monitor_<uuid>

    QStringList dayFolders() const { return QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name); }

    // `count` day folders ending the day before `last`.
    void makeDays(const QDate& last, int count)
    {
        for (int i = 0; i < count; ++i) QDir().mkpath(root + "/" + last.addDays(-i).toString("yyyyMMdd") + "/camera1");
    }

private slots:
    void initTestCase()
    {
        mount = TestSupport::sysRoot() + "/mnt";
        root = mount + "/monitor_AB12-34CD";
        InitLanStr();
    }

    void init()
    {
        QDir(mount).removeRecursively();
        QDir().mkpath(mount);
        CommandRunner::clearCalls();
        PlatformClock::setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    }

    // 31 days kept: the first picture of a new day makes the 32nd folder and the oldest goes.
    // A folder anyone may name on the stick is never run nor removed, and nothing is run at all.
    void keepsTheNewestDays()
    {
        Copy2MoveDisk copier;
        copier.diskInfoChange({Disk("AB12-34CD", mount)});
        copier.start();
        makeDays(QDate(2026, 12, 6), 31);
        QDir().mkpath(root + "/0;touch x");
        QDir().mkpath(root + "/000notes");
        copier.add_map_actqueue(Source(), "2026-12-07_09.00.00", Picture());
        QStringList days = dayFolders();
        QVERIFY(days.contains("0;touch x"));
        QVERIFY(days.contains("000notes"));
        days.removeAll("0;touch x");
        days.removeAll("000notes");
        QCOMPARE(days.size(), 31);
        QCOMPARE(days.first(), QString("20261107"));
        QCOMPARE(days.last(), QString("20261207"));
        QVERIFY(QDir(root + "/20261207/camera1/detect2/NG").exists());
        QVERIFY(CommandRunner::calls().isEmpty());
        // The same folder again: no retention pass.
        copier.add_map_actqueue(Source(), "2026-12-07_09.00.01", Picture());
        QCOMPARE(dayFolders().size(), 33);

        // Days lowered to 7: one old folder per new folder.
        copier.days = 7;
        copier.add_map_actqueue(QDir::current().absoluteFilePath("alarmimage/camera1/detect2/OK"), "n", Picture());
        QCOMPARE(dayFolders().size(), 32);
        QVERIFY(!dayFolders().contains("20261107"));
        QVERIFY(dayFolders().contains("20261108"));
        copier.stop();
    }

    // A day count below 1 keeps 31, so today's folder is never the one removed; otherwise
    // exactly the set number of day folders stays.
    void dayCountBelowOneKeeps31()
    {
        Copy2MoveDisk copier;
        copier.days = 0;
        copier.diskInfoChange({Disk("AB12-34CD", mount)});
        copier.start();
        makeDays(QDate(2026, 12, 6), 3);
        copier.add_map_actqueue(Source(), "a", Picture());
        QCOMPARE(dayFolders(), (QStringList{"20261204", "20261205", "20261206", "20261207"}));
        // Exactly the set number of days stays.
        copier.days = 4;
        copier.add_map_actqueue(QDir::current().absoluteFilePath("alarmimage/camera2/detect1/OK"), "b", Picture());
        QCOMPARE(dayFolders().size(), 4);
        copier.days = 3;
        copier.add_map_actqueue(QDir::current().absoluteFilePath("alarmimage/camera3/detect1/OK"), "c", Picture());
        QCOMPARE(dayFolders(), (QStringList{"20261205", "20261206", "20261207"}));
        copier.stop();
    }

    // The queue: at most 11 pictures, the smallest destination written first, a replacement only
    // while ten or fewer wait; without a disk it is emptied and nothing is queued when stopped.
    void queueAndCopy()
    {
        Copy2MoveDisk copier;
        copier.diskInfoChange({Disk("AB12-34CD", mount)});
        copier.add_map_actqueue(Source(), "stopped", Picture());
        QCOMPARE(copier.queued(), 0);
        copier.start();
        for (int i = 0; i < 10; ++i) copier.add_map_actqueue(Source(), QString("p%1").arg(i, 2, 10, QChar('0')), Picture());
        const QString dest = root + "/20261207/camera1/detect2/NG/";
        QTRY_VERIFY_WITH_TIMEOUT(!QImage(dest + "p09.jpg").isNull(), 10000);
        QVERIFY(!QImage(dest + "p00.jpg").isNull());
        QCOMPARE(copier.queued(), 0);
        copier.stop();
    }

    void queueBound()
    {
        Copy2MoveDisk copier;
        copier.diskInfoChange({Disk("AB12-34CD", mount)});
        // Pictures are queued only while the copier runs: hold its loop in a long sleep.
        PlatformClock::setSleepHook([](int) { QThread::msleep(2000); });
        // Every later sleep of the process would last 2 s: given back however this case ends.
        const auto realSleep = qScopeGuard([] { PlatformClock::setSleepHook({}); });
        copier.start();
        QImage red = Picture();
        red.fill(Qt::red);
        for (int i = 0; i < 11; ++i) copier.add_map_actqueue(Source(), QString("q%1").arg(i, 2, 10, QChar('0')), Picture());
        QCOMPARE(copier.queued(), 11);
        copier.add_map_actqueue(Source(), "q99", Picture());
        QCOMPARE(copier.queued(), 11);
        copier.stop();
        PlatformClock::setSleepHook({});
        // The smallest destination first.
        copier.copyOnce();
        QVERIFY(QFileInfo::exists(root + "/20261207/camera1/detect2/NG/q00.jpg"));
        QVERIFY(!QFileInfo::exists(root + "/20261207/camera1/detect2/NG/q01.jpg"));
        // No disk: the queue is dropped.
        copier.diskInfoChange({});
        copier.copyOnce();
        QCOMPARE(copier.queued(), 0);
    }

    // A copy loop hung in a write to its disk: stopping the copier (settings apply, on the GUI
    // thread) does not wait for it, a new start copies at once, and the hung loop ends later.
    void stopDoesNotWaitForAHungLoop()
    {
        Copy2MoveDisk copier;
        copier.diskInfoChange({Disk("AB12-34CD", mount)});
        QSemaphore hang, done;
        std::atomic<int> pauses{0};
        std::atomic<bool> gaveUp{false};
        PlatformClock::setSleepHook([&](int) {
            if (pauses++ == 0)
                hang.acquire();
            else
                QThread::msleep(5);
        });
        // Frees the hung loop when stop() waits for it, rather than hanging the test.
        std::thread watchdog([&] {
            if (!done.tryAcquire(1, 5000))
                gaveUp = true;
            hang.release();
        });
        copier.start();
        QTRY_COMPARE_WITH_TIMEOUT(pauses.load(), 1, 5000);
        copier.stop();
        const bool stoppedAtOnce = !gaveUp;
        copier.start();
        copier.add_map_actqueue(Source(), "after", Picture());
        const QString copied = root + "/20261207/camera1/detect2/NG/after.jpg";
        const bool copiedMeanwhile = QTest::qWaitFor([&] { return QFileInfo::exists(copied); }, 3000) && !gaveUp;
        done.release();
        watchdog.join();
        copier.stop();
        PlatformClock::setSleepHook({});
        QVERIFY(stoppedAtOnce);
        QVERIFY(copiedMeanwhile);
    }

    // Two disks: the first is taken and kept; when it goes the copier moves to the other without
    // a word; when the last goes it says so. A stopped copier follows the disks silently.
    void followsOneDisk()
    {
        Copy2MoveDisk copier;
        QSignalSpy spy(&copier, &Copy2MoveDisk::diskStateChange);
        copier.diskInfoChange({Disk("A", "/m/a")});
        QCOMPARE(copier.currentPrepath(), QString("/m/a"));
        QVERIFY(spy.isEmpty());
        copier.diskInfoChange({});
        copier.start();
        copier.diskInfoChange({Disk("A", "/m/a")});
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.last().at(0).toBool(), true);
        copier.diskInfoChange({Disk("B", "/m/b"), Disk("A", "/m/a")});
        QCOMPARE(copier.currentDeviceId(), QString("A"));
        copier.diskInfoChange({Disk("B", "/m/b")});
        QCOMPARE(copier.currentPrepath(), QString("/m/b"));
        QCOMPARE(spy.size(), 1);
        copier.diskInfoChange({});
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.last().at(0).toBool(), false);
        QVERIFY(copier.currentPrepath().isEmpty());
        copier.stop();
    }

    void settingsDialog()
    {
        SaveImageSettingDailog dialog(nullptr);
        QCOMPARE(dialog.size(), QSize(600, 300));
        QCOMPARE(dialog.lostDiskBox->text(), LanStr(678));
        dialog.init(QJsonObject{{"days", 12}, {"useDiskSaveImage", 1}, {"lostUpanAlarm", 0}});
        QCOMPARE(dialog.daysEdit->text(), QString("12"));
        dialog.init(QJsonObject{{"lostUpanAlarm", 1}});
        QVERIFY(dialog.useDiskBox->isChecked() && dialog.lostDiskBox->isChecked());
        QJsonObject out;
        dialog.save(out);
        QCOMPARE(out, (QJsonObject{{"days", 12}, {"useDiskSaveImage", 1}, {"lostUpanAlarm", 1}}));
        dialog.daysEdit->setText("");
        bool ok = true;
        QCOMPARE(dialog.getDays(&ok), 0);
        QVERIFY(!ok);
        dialog.save(out);
        QCOMPARE(out.value("days").toInt(), -1);
        QTimer::singleShot(0, dialog.okButton, [&] { QTest::mousePress(dialog.okButton, Qt::LeftButton); });
        QCOMPARE(dialog.exec(), 1);
        QTimer::singleShot(0, dialog.cancelButton, [&] { QTest::mousePress(dialog.cancelButton, Qt::LeftButton); });
        QCOMPARE(dialog.exec(), 0);
    }
};

MONITOR_TEST_MAIN(TestCopy)
#include "tst_copy.moc"
