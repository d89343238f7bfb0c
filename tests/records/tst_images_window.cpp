// The main window with the failure-image writer, the USB copier and the disk watcher as start-up
// hooks them in: USB disk events (records, the lost-disk warning, the USB lamp) and an NG cycle
// whose picture lands in the NG folder, on the USB disk and on the NG records page.
// ctest-timeout: 180
#include <QtTest>

#include "cammerwidget.h"
#include "combobox.h"
#include "constructionhooks.h"
#include "copy2movedisk.h"
#include "cyclerig.h"
#include "diskmanager.h"
#include "drawroiwidget.h"
#include "iostatus.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "savefialimagethread.h"
#include "startup.h"
#include "testsupport.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

const char* const kInserted = "存图磁盘已经插入";
const char* const kPulled = "存图磁盘已拔出或是接触不良";
const char* const kPulledWarning = "警告：存图磁盘已拔出或是\n接触不良，请确认！";

UPanInfo Stick(const QString& mount)
{
    UPanInfo d;
    d.uuid = "AB12-34CD";
    d.label = "STICK";
    d.devNode = "/dev/sdb1";
    d.bus = "usb";
    d.mountPath = mount;
    return d;
}

QStringList Jpegs(const QString& folder)
{
    return QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
}

}  // namespace

class TestImagesWindow : public QObject
{
    Q_OBJECT

    CycleRig rig;
    QString mount;

    // What the watcher announces, delivered as its queued signal would be.
    void announce(const QVector<UPanInfo>& disks)
    {
        emit DiskManager::getInstance()->diskInfoChange(disks);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<UPanInfo>("UPanInfo");
        qRegisterMetaType<QVector<UPanInfo>>("QVector<UPanInfo>");
        ConstructionHooks hooks = Construction();
        AddImageAndDiskHooks(hooks);
        SetConstructionHooks(hooks);
        // NG pictures kept, the copy switch and the lost-disk warning on.
        QVERIFY(rig.start(1, 1, {{"system2", 4, 5}, {"system10", 19, 1}, {"system10", 18, 1}}));
        SetConstructionHooks({});
        StartImageCopyAndDiskWatch();
        QVERIFY(Copy2MoveDisk::getInstance()->isRunning());
        QVERIFY(gpSaveFialImageThread && gpSaveFialImageThread->isRunning());
        mount = TestSupport::sysRoot() + "/mnt";
        QDir().mkpath(mount);
    }

    void cleanupTestCase()
    {
        gpSaveFialImageThread->requestInterruption();
        QVERIFY(gpSaveFialImageThread->wait(10000));
        Copy2MoveDisk::getInstance()->stopAndWait();  // no loop left to log into the test's end
        DiskManager::getInstance()->stop();
    }

    // Plugged in: an "info" record and the lamp; pulled with the option on: the warning, not
    // modal, and the record; with the option off only the record.
    void diskEvents()
    {
        IOStatusWidget* strip = rig.window->ioStatusWidget;
        QVERIFY(!strip->layout().showDisk);
        const int infos = rig.records("info").size();
        announce({Stick(mount)});
        QCOMPARE(rig.records("info").size(), infos + 1);
        QCOMPARE(rig.records("info").last(), QString::fromUtf8(kInserted));
        QVERIFY(strip->layout().showDisk);

        gpWPara->lostUpanAlarm = 1;
        announce({});
        // The window stays off screen in the test: its boxes count as shown when not hidden.
        QVERIFY(!gpWarnBox->isHidden());
        QCOMPARE(gpWarnBox->text(), QString::fromUtf8(kPulledWarning));
        QVERIFY(!gpWarnBox->isModal());
        // The answerer notes a box shown inside a hidden window at its next poll.
        QTRY_VERIFY(rig.answerer->texts().contains(QString::fromUtf8(kPulledWarning)));
        QCOMPARE(rig.records("info").last(), QString::fromUtf8(kPulled));
        QVERIFY(!strip->layout().showDisk);
        gpWarnBox->hide();

        gpWPara->lostUpanAlarm = 0;
        announce({Stick(mount)});
        announce({});
        QCOMPARE(rig.records("info").size(), infos + 4);
        QCOMPARE(rig.records("info").last(), QString::fromUtf8(kPulled));
        QVERIFY(gpWarnBox->isHidden());
    }

    // An NG mould, released and followed by a good one: its picture is written into
    // alarmimage/camera1/detect2/NG, copied to the USB disk, and the NG records page shows it.
    void ngPictureSavedAndShown()
    {
        announce({Stick(mount)});
        QVERIFY(rig.mouldOnly(5));
        QVERIFY(rig.setPart(0, true));
        rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 3000) > 0);
        QVERIFY(rig.setPart(0, false));
        rig.window->SlotClearNGAlarm();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        QVERIFY(rig.waitOutput(kClampOut, false, 2000) > 0);
        rig.openMould();
        const QString ng = QDir::current().absoluteFilePath("alarmimage/camera1/detect2/NG");
        QTRY_COMPARE_WITH_TIMEOUT(Jpegs(ng).size(), 1, 15000);
        const QString name = Jpegs(ng).first();
        const QImage saved(ng + "/" + name);
        QCOMPARE(saved.size(), QSize(rig.view(0)->imageWidth, rig.view(0)->imageHeight));
        const QString day = PlatformClock::now().toString("yyyyMMdd");
        const QString copy = mount + "/monitor_AB12-34CD/" + day + "/camera1/detect2/NG/" + name;
        QTRY_VERIFY_WITH_TIMEOUT(!QImage(copy).isNull(), 10000);

        // The NG records page of the teaching page, on the mould detection.
        rig.window->SlotShowAlarmImgae();
        DrawROIWidget* page = DrawROIWidget::instance();
        QVERIFY(page && !page->isHidden());
        if (page->detectCombo->currentIndex() != 1)
            page->detectCombo->setCurrentIndex(1);
        page->setSource(kSourceNGRecord);
        QCOMPARE(page->recordCount, 1);
        QCOMPARE(page->recordName + ".jpg", name);
        QCOMPARE(page->recordImage.size(), saved.size());
        // The view paints the saved picture, not a black field.
        const QImage shown = rig.view(0)->grab().toImage();
        int lit = 0;
        for (int y = 100; y < shown.height(); y += 17)
            for (int x = 0; x < shown.width(); x += 17) lit += qGray(shown.pixel(x, y)) > 40;
        QVERIFY2(lit > 20, qPrintable(QString("lit samples %1").arg(lit)));
    }

    // The program stopped while an NG alarm waits for the operator: the stop writes the
    // alarm's picture (the operator's answer would have). Last: it stops the writer.
    void stopDuringTheAlarmWritesItsPicture()
    {
        QVERIFY(rig.mouldOnly(5));
        QVERIFY(rig.setPart(0, true));
        rig.openMould();
        QVERIFY(rig.waitOutput(kAlarmOut, true, 3000) > 0);
        const QString ng = QDir::current().absoluteFilePath("alarmimage/camera1/detect2/NG");
        const int before = Jpegs(ng).size();
        StopFlush();
        gpSaveFialImageThread->stop();
        QCOMPARE(Jpegs(ng).size(), before + 1);
    }
};

MONITOR_TEST_MAIN(TestImagesWindow)
#include "tst_images_window.moc"
