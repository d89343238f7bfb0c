// Failure-image writer: folders and retention, the pair of pictures of a re-detected NG, the
// hand-offs to the network service and the USB copier, a folder gone since start-up, a zero limit.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>

#include "cammerwidget.h"
#include "copy2movedisk.h"
#include "diskwrite.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "operatorprompts.h"
#include "platformclock.h"
#include "savefialimagethread.h"
#include "testsupport.h"
#include "textids.h"

namespace {

constexpr int kW = 64;
constexpr int kH = 48;

struct HandOff
{
    int camera;
    int detection;
    bool ok;
    QString path;
};

int Slot(int c, int d, int k)
{
    return (c * kMaxDetections + d) * 2 + k;
}

QString Folder(int c, int d, bool ok)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(
        QString("alarmimage/camera%1/detect%2/%3").arg(c + 1).arg(d + 1).arg(ok ? "OK" : "NG")));
}

QStringList Jpegs(const QString& folder)
{
    return QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
}

}  // namespace

class TestImages : public QObject
{
    Q_OBJECT

    MainState* state = nullptr;
    SaveFialImageThread* writer = nullptr;
    QList<HandOff> handOffs;
    QDateTime clock;
    QVector<int> sleeps;
    std::function<void()> atNextPause;  // runs once, at the writer's next pause
    std::function<void(int)> threadSleep;  // the pauses of other threads, when set
    QStringList notes;                     // what the operator was shown without waiting

    // Fills a slot with one colour and raises its flag, as the view and the judgement do.
    void raise(int c, int d, int k, QRgb colour)
    {
        {
            QMutexLocker lock(pMutexSaveFail);
            auto* px = reinterpret_cast<QRgb*>(gpFailImage[Slot(c, d, k)]);
            std::fill(px, px + kW * kH, colour);
        }
        RaiseFailImage(Slot(c, d, k));
    }

    // A picture file made `ageSecs` ago.
    static void oldFile(const QString& path, int ageSecs)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.flush();
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-ageSecs), QFileDevice::FileModificationTime));
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        OperatorPrompts prompts;
        prompts.note = [this](const QString& text) { notes << text; };
        SetOperatorPrompts(prompts);
        CreateGlobalMutexes();
        state = new MainState;
        numCamera = 2;
        gDNum = 2;
        for (int c = 0; c < kMaxCameras; ++c)
            for (int d = 0; d < kMaxDetections; ++d) {
                state->failDirs[c][d][0] = QDir(QString("./alarmimage//camera%1//detect%2//NG").arg(c + 1).arg(d + 1));
                state->failDirs[c][d][1] = QDir(QString("./alarmimage//camera%1//detect%2//OK").arg(c + 1).arg(d + 1));
            }
        for (int s = 0; s < 2 * kMaxDetections * 2; ++s) gpFailImage[s] = new unsigned char[kW * kH * 4];
        writer = new SaveFialImageThread;
        writer->setImageSize(0, QSize(kW, kH));
        writer->setImageSize(1, QSize(kW, kH));
        SaveFialImageThread::pictureHandOff = [this](int c, int d, bool ok, const QString& path) {
            handOffs.append({c, d, ok, path});
        };
        // The writer's pauses move the steered wall clock; the copier's pool thread sleeps for real.
        clock = QDateTime(QDate(2026, 12, 6), QTime(17, 28, 42));
        PlatformClock::setNow(clock);
        PlatformClock::setSleepHook([this](int ms) {
            if (QThread::currentThread() != qApp->thread()) {
                if (threadSleep)
                    threadSleep(ms);
                else
                    QThread::msleep(ulong(ms));
                return;
            }
            sleeps.append(ms);
            clock = clock.addMSecs(ms);
            PlatformClock::setNow(clock);
            if (auto then = std::exchange(atNextPause, {}))
                then();
        });
    }

    void init()
    {
        QDir("alarmimage").removeRecursively();
        for (int c = 1; c <= 2; ++c)
            for (int d = 1; d <= kMaxDetections; ++d) {
                QDir().mkpath(QString("alarmimage/camera%1/detect%2/NG").arg(c).arg(d));
                QDir().mkpath(QString("alarmimage/camera%1/detect%2/OK").arg(c).arg(d));
            }
        QMutexLocker lock(pMutexSaveFail);
        std::fill(std::begin(gisSaveFail), std::end(gisSaveFail), false);
        std::fill(std::begin(gFailIndex), std::end(gFailIndex), 0);
        handOffs.clear();
        sleeps.clear();
        atNextPause = {};
        clock = QDateTime(QDate(2026, 12, 6), QTime(17, 28, 42));
        PlatformClock::setNow(clock);
        gPicNumNG = 3;
        gPicNumOK = 3;
        TestSupport::clearCapturedMessages();
    }

    void cleanupTestCase()
    {
        PlatformClock::setSleepHook({});
        PlatformClock::resetNow();
        delete writer;
    }

    // At the limit the oldest goes so the new picture leaves exactly the limit; below it none goes.
    void ngLimitKeepsNewest()
    {
        const QString ng = Folder(0, 0, false);
        oldFile(ng + "/a.jpg", 300);
        oldFile(ng + "/b.jpg", 200);
        oldFile(ng + "/c.jpg", 100);
        raise(0, 0, 0, qRgb(200, 0, 0));
        writer->pass();
        QCOMPARE(Jpegs(ng), (QStringList{"2026-12-06_17.28.42.jpg", "b.jpg", "c.jpg"}));
        QCOMPARE(QImage(ng + "/2026-12-06_17.28.42.jpg").size(), QSize(kW, kH));
        QCOMPARE(handOffs.size(), 1);
        QCOMPARE(handOffs[0].ok, false);
        QCOMPARE(handOffs[0].path, ng + "/2026-12-06_17.28.42.jpg");
        QVERIFY(!gisSaveFail[Slot(0, 0, 0)]);

        // Limit lowered: a folder with limit + 5 loses its 6 oldest before the write.
        gPicNumOK = 2;
        const QString ok = Folder(1, 1, true);
        for (int i = 0; i < 7; ++i) oldFile(ok + QString("/%1.jpg").arg(i), 1000 - i * 10);
        raise(1, 1, 1, qRgb(0, 200, 0));
        writer->pass();
        QCOMPARE(Jpegs(ok).size(), 2);
        QVERIFY(Jpegs(ok).contains("6.jpg"));
    }

    // The oldest go by the time in their names, not by when the files were last written (a
    // folder copied back has new file times). After the clock was set back, the pictures
    // dated ahead of it go first, so that the new pictures stay.
    void pruningByTheTimeInTheName()
    {
        const QString ng = Folder(0, 0, false);
        oldFile(ng + "/2026-12-06_17.00.00.jpg", 100);
        oldFile(ng + "/2_2026-12-06_17.10.00.jpg", 200);
        oldFile(ng + "/2026-12-06_17.20.00.jpg", 300);
        raise(0, 0, 0, qRgb(200, 0, 0));
        writer->pass();
        QCOMPARE(Jpegs(ng),
                 (QStringList{"2026-12-06_17.20.00.jpg", "2026-12-06_17.28.42.jpg", "2_2026-12-06_17.10.00.jpg"}));

        // On the panel the file times follow the clock too.
        auto stamp = [&ng] {
            for (const QString& name : Jpegs(ng)) {
                QFile f(ng + "/" + name);
                QVERIFY(f.open(QIODevice::ReadWrite));
                QVERIFY(
                    f.setFileTime(SaveFialImageThread::pictureTime(QFileInfo(f)), QFileDevice::FileModificationTime));
            }
        };
        stamp();
        QStringList written;
        for (const char* time : {"17:00:00", "17:00:10", "17:00:20"}) {
            clock = QDateTime(QDate(2026, 12, 6), QTime::fromString(time, "hh:mm:ss"));
            PlatformClock::setNow(clock);
            raise(0, 0, 0, qRgb(200, 0, 0));
            writer->pass();
            stamp();
            written << QString("2026-12-06_%1.jpg").arg(QString(time).replace(':', '.'));
        }
        QCOMPARE(Jpegs(ng), written);
    }

    // Two pictures of one folder in the same second: the second replaces the first.
    void sameSecondReplaces()
    {
        raise(1, 0, 0, qRgb(255, 0, 0));
        writer->pass();
        raise(1, 0, 0, qRgb(0, 0, 255));
        writer->pass();
        const QString ng = Folder(1, 0, false);
        QCOMPARE(Jpegs(ng), QStringList{"2026-12-06_17.28.42.jpg"});
        QVERIFY(qBlue(QImage(ng + "/2026-12-06_17.28.42.jpg").pixel(5, 5)) > 200);
        QCOMPARE(handOffs.size(), 2);
    }

    // An OK picture that arrives while the NG one is written goes with it to the NG folder, and
    // counts as not OK: only a flag seen at the start of the detection's turn says OK.
    void okFlagRisingAfterTheSnapshot()
    {
        atNextPause = [this] { raise(0, 1, 1, qRgb(0, 200, 0)); };
        raise(0, 1, 0, qRgb(200, 0, 0));
        writer->pass();
        QCOMPARE(handOffs.size(), 2);
        QCOMPARE(handOffs[1].ok, false);
        QCOMPARE(QFileInfo(handOffs[1].path).absolutePath(), Folder(0, 1, false));
        QVERIFY(!gisSaveFail[Slot(0, 1, 1)]);
    }

    // A re-detected NG: both pictures into the NG folder a second apart, the failing region in
    // both names, two hand-offs in order (ok false, then true), the region number reset.
    void bothSlotsGoToNgFolder()
    {
        gPicNumNG = 5;
        raise(0, 1, 0, qRgb(255, 0, 0));
        raise(0, 1, 1, qRgb(0, 0, 255));
        {
            QMutexLocker lock(pMutexSaveFail);
            gFailIndex[1] = 3;
        }
        writer->pass();
        const QString ng = Folder(0, 1, false);
        QCOMPARE(Jpegs(ng), (QStringList{"3_2026-12-06_17.28.42.jpg", "3_2026-12-06_17.28.43.jpg"}));
        QVERIFY(Jpegs(Folder(0, 1, true)).isEmpty());
        QCOMPARE(handOffs.size(), 2);
        QCOMPARE(handOffs[0].ok, false);
        QCOMPARE(handOffs[1].ok, true);
        QCOMPARE(handOffs[1].camera, 0);
        QCOMPARE(handOffs[1].detection, 1);
        QCOMPARE(handOffs[1].path, ng + "/3_2026-12-06_17.28.43.jpg");
        QCOMPARE(sleeps.mid(0, 2), (QVector<int>{1000, 200}));
        // The second picture is the OK slot's.
        QVERIFY(qBlue(QImage(handOffs[1].path).pixel(5, 5)) > 200);
        QCOMPARE(gFailIndex[1], 0);
    }

    // A reader never meets a half-written picture: it appears under its name only once it is
    // whole. One a write left unfinished is gone once the writer starts again.
    void picturesAppearOnlyWhole()
    {
        const QSize big(2400, 1800);
        const int slot = Slot(1, 0, 0);
        std::vector<quint32> noise(size_t(big.width()) * size_t(big.height()));
        QRandomGenerator(7).fillRange(noise.data(), noise.size());
        unsigned char* small = gpFailImage[slot];
        gpFailImage[slot] = reinterpret_cast<unsigned char*>(noise.data());
        writer->setImageSize(1, big);
        const auto restore = qScopeGuard([&] {
            gpFailImage[slot] = small;
            writer->setImageSize(1, QSize(kW, kH));
        });
        RaiseFailImage(slot);
        const QString ng = Folder(1, 0, false);
        std::atomic<bool> written{false};
        std::thread pass([&] {
            writer->pass();
            written = true;
        });
        QStringList broken;
        while (!written) {
            for (const QString& name : Jpegs(ng)) {
                QFile f(ng + "/" + name);
                if (f.open(QIODevice::ReadOnly) && !f.readAll().endsWith("\xFF\xD9") && !broken.contains(name))
                    broken << name;
            }
        }
        pass.join();
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(' ')));
        QCOMPARE(Jpegs(ng), QStringList{"2026-12-06_17.28.42.jpg"});
        QCOMPARE(QImage(ng + "/" + Jpegs(ng).first()).size(), big);
        QCOMPARE(QDir(ng).entryList(QDir::Files), Jpegs(ng));

        const QStringList leftovers = {ng + "/2026-12-06_17.28.40.jpg.part",
                                       Folder(0, 7, true) + "/2026-12-06_17.28.41.jpg.part"};
        for (const QString& path : leftovers) oldFile(path, 10);
        SaveFialImageThread starting;
        starting.start();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(leftovers[0]) && !QFile::exists(leftovers[1]), 10000);
        QCOMPARE(Jpegs(ng).size(), 1);
    }

    // The stop of the program: a picture judged while the writer ends its last pass is written
    // before stop returns.
    void stopWritesWhatWasJudgedMeanwhile()
    {
        SaveFialImageThread last;
        last.setImageSize(0, QSize(kW, kH));
        std::atomic<bool> paused{false};
        threadSleep = [&](int ms) {
            if (QThread::currentThread() != &last || ms != 100) {
                QThread::msleep(ulong(ms));
                return;
            }
            paused = true;  // the pause after a pass, held until the stop
            while (!last.isInterruptionRequested()) QThread::msleep(1);
        };
        last.start();
        QTRY_VERIFY_WITH_TIMEOUT(paused, 5000);
        raise(0, 0, 0, qRgb(200, 0, 0));
        last.stop();
        threadSleep = {};
        QVERIFY(last.isFinished());
        QCOMPARE(Jpegs(Folder(0, 0, false)).size(), 1);
    }

    // OK alone: OK folder, ok true, the region number of a waiting NG stays.
    void okAloneAndUnusedDetections()
    {
        {
            QMutexLocker lock(pMutexSaveFail);
            gFailIndex[0] = 2;
        }
        raise(0, 0, 1, qRgb(0, 200, 0));
        // Detection 3 is beyond gDNum: never looked at.
        raise(0, 3, 0, qRgb(200, 0, 0));
        writer->pass();
        QCOMPARE(Jpegs(Folder(0, 0, true)), QStringList{"2_2026-12-06_17.28.42.jpg"});
        QCOMPARE(handOffs.size(), 1);
        QCOMPARE(handOffs[0].ok, true);
        QCOMPARE(gFailIndex[0], 2);
        QVERIFY(gisSaveFail[Slot(0, 3, 0)]);
        QVERIFY(Jpegs(Folder(0, 3, false)).isEmpty());
    }

    // A folder removed after start-up is made again; a folder that cannot be made loses the
    // picture with a log line and hands nothing on.
    void missingFolder()
    {
        const QString ng = Folder(1, 0, false);
        QVERIFY(QDir(QFileInfo(ng).path()).removeRecursively());
        raise(1, 0, 0, qRgb(200, 0, 0));
        writer->pass();
        QCOMPARE(Jpegs(ng).size(), 1);
        QCOMPARE(handOffs.size(), 1);
        QVERIFY(QFileInfo::exists(handOffs[0].path));

        // A plain file where the camera's folder should be.
        handOffs.clear();
        QVERIFY(QDir(QFileInfo(ng).path()).removeRecursively());
        QFile blocker(QFileInfo(ng).path());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        raise(1, 0, 0, qRgb(200, 0, 0));
        writer->pass();
        QVERIFY(handOffs.isEmpty());
        QVERIFY(!TestSupport::capturedMessages().filter(ng).isEmpty());
        QFile::remove(QFileInfo(ng).path());
    }

    // A limit of 0 (an OK re-detect sends its picture to the NG folder all the same): nothing is
    // written, nothing handed on, the slots are free again.
    void zeroLimitWritesNothing()
    {
        gPicNumNG = 0;
        const QString ng = Folder(0, 0, false);
        oldFile(ng + "/kept.jpg", 100);
        raise(0, 0, 0, qRgb(200, 0, 0));
        raise(0, 0, 1, qRgb(0, 200, 0));
        writer->pass();
        QCOMPARE(Jpegs(ng), QStringList{"kept.jpg"});
        QVERIFY(handOffs.isEmpty());
        QVERIFY(!gisSaveFail[Slot(0, 0, 0)] && !gisSaveFail[Slot(0, 0, 1)]);
    }

    // A full disk: the pictures are lost, the slots free again, nothing handed on, and the
    // operator told once; a picture written again makes the next full disk told again; other
    // failures are only logged.
    void fullDiskIsToldOnce()
    {
        const auto lift = qScopeGuard([] { SetDiskWriteFailure({}); });
        auto writeOne = [this](int error) {
            SetDiskWriteFailure([error](const QString&) { return error; });
            raise(0, 0, 0, qRgb(200, 0, 0));
            writer->pass();
            QCoreApplication::processEvents();
        };
        writeOne(ENOSPC);
        writeOne(ENOSPC);
        const QString ng = Folder(0, 0, false);
        QVERIFY(QDir(ng).entryList(QDir::Files).isEmpty());
        QVERIFY(handOffs.isEmpty());
        QVERIFY(!gisSaveFail[Slot(0, 0, 0)]);
        QCOMPARE(notes, QStringList{LanStr(kTextDiskFull)});

        writeOne(0);
        QCOMPARE(Jpegs(ng).size(), 1);
        QCOMPARE(notes.size(), 1);
        writeOne(EDQUOT);
        QCOMPARE(notes.size(), 2);
        writeOne(0);
        writeOne(EACCES);
        QCOMPARE(notes.size(), 2);
        QCOMPARE(handOffs.size(), 2);
    }

    // A write the disk stops half-way (here the process's file size limit) leaves neither a
    // picture cut short nor its unfinished file, and nothing is handed on.
    void writeStoppedHalfWay()
    {
        rlimit was{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &was) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = was;
        small.rlim_cur = 100;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        raise(0, 0, 0, qRgb(200, 0, 0));
        writer->pass();
        setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(QDir(Folder(0, 0, false)).entryList(QDir::Files).isEmpty());
        QVERIFY(handOffs.isEmpty());
    }

    // The writer takes the detection count and the limits the judgement had when it raised the
    // flag: settings applied meanwhile change the globals on the GUI thread only.
    void valuesTravelWithTheJob()
    {
        raise(0, 1, 0, qRgb(200, 0, 0));
        SaveFialImageThread running;
        running.setImageSize(0, QSize(kW, kH));
        running.start();
        const QString ng = Folder(0, 1, false);
        const auto restore = qScopeGuard([] { gDNum = 2; });
        // The settings screen lowers the detections to one and keeps no pictures.
        QTRY_VERIFY_WITH_TIMEOUT(([&ng] {
                                     gDNum = 1;
                                     gPicNumNG = 0;
                                     gPicNumOK = 0;
                                     return Jpegs(ng).size() == 1;
                                 }()),
                                 10000);
        running.requestInterruption();
        QVERIFY(running.wait(10000));
        QCOMPARE(handOffs.size(), 1);
    }

    // The saved picture also goes to the USB copier, which puts it under the disk's folder of
    // the day: <mount>/monitor_<uuid>/<yyyyMMdd>/camera1/detect2/NG/<name>.jpg.
    void copiedToTheUsbDisk()
    {
        const QString mount = TestSupport::sysRoot() + "/mnt";
        QDir().mkpath(mount);
        Copy2MoveDisk* copier = Copy2MoveDisk::getInstance();
        UPanInfo disk;
        disk.uuid = "AB12-34CD";
        disk.mountPath = mount;
        copier->diskInfoChange({disk});
        copier->start();
        raise(0, 1, 0, qRgb(200, 0, 0));
        writer->pass();
        const QString copy = mount + "/monitor_AB12-34CD/20261206/camera1/detect2/NG/2026-12-06_17.28.42.jpg";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(copy) && !QImage(copy).isNull(), 10000);
        // The copier's loop ends here, not after the test: its last log line and pause would
        // otherwise meet the test log and this object as the process takes them down.
        copier->stopAndWait();
        copier->diskInfoChange({});
    }
};

MONITOR_TEST_MAIN(TestImages)
#include "tst_images.moc"
