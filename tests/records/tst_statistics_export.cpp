// Statistics export from the page to the disk at /mnt, commands recorded: the exporter's argument and progress, the
// move, the note label, the report of failures, the mount check, the time limit and the day timer.
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "choosebox.h"
#include "commandrunner.h"
#include "dateseletdialog.h"
#include "diskmanager.h"
#include "exportnote.h"
#include "exportresultworker.h"
#include "globals.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "platformclock.h"
#include "resstatisticsparam.h"
#include "statisticsrig.h"
#include "statisticswidget.h"
#include "systempaths.h"
#include "testsupport.h"
#include "textids.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

const char* const kExporter = "./cnt_net/export_result_statistics/export_result_statistics";
const char* const kStamp = "2026-12-05_10.00.00";
const QString kNotice = QString::fromUtf8("开始生产统计数据导出\n导出进度可在主界面右下角查看");

void mountTable(const QByteArray& lines)
{
    TestSupport::writeSysFile("/proc/mounts", "/dev/sda1 / ext4 rw 0 0\n" + lines);
}

QList<CommandCall> callsOf(const QString& program)
{
    QList<CommandCall> found;
    for (const CommandCall& c : CommandRunner::calls())
        if (c.program == program)
            found << c;
    return found;
}

}  // namespace

class TestStatisticsExport : public QObject
{
    Q_OBJECT

    StatisticsWidget* page = nullptr;
    QLabel note;
    QString disk;

    // One request through the page: the disk found, the range chosen in the dialog, the end reported and confirmed.
    // Returns the texts the boxes showed.
    QStringList runExport(const QString& first, const QString& last)
    {
        ModalAnswerer answerer(20000);
        StatRig::watchPageBoxes(answerer, page);
        answerer.watch("dates", [this]() -> QDialog* { return page->findChild<DateSeletDialog*>(); });
        answerer.answerWith([first, last](QDialog* d) {
            auto* dialog = static_cast<DateSeletDialog*>(d);
            dialog->startEdit->setDate(QDate::fromString(first, "yyyy-MM-dd"));
            dialog->endEdit->setDate(QDate::fromString(last, "yyyy-MM-dd"));
            dialog->accept();
        });
        answerer.answer(ModalAnswerer::Confirm);
        QSignalSpy finished(page, &StatisticsWidget::sigExportDataFinish);
        page->SlotExportData();
        if (!finished.wait(30000) && finished.isEmpty())
            return {"no end"};
        if (!QTest::qWaitFor([&answerer] { return answerer.pendingAnswers() == 0; }, 10000))
            return {"end not confirmed"};
        QStringList shown = answerer.texts();
        shown.removeAll(QString());
        return shown;
    }

private slots:
    void initTestCase()
    {
        StatRig::useUtc();
        InitLanStr();
        gLan = 1;
        numCamera = 2;
        gDNum = 2;
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
        gpWPara = new WizardPara;
        gpWPara->useStatistics = 1;
        PlatformClock::setNow(StatRig::at("2026-12-05 10:00:00"));
        StatRig::freshFiles();
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        model->init("g", gDNum);
        model->setTimer(true);
        page = StatisticsWidget::getInstance();
        page->createWidget({"All detect", "Prod", "Mold"});
        connect(page, &StatisticsWidget::sigExportProgress, &note,
                [this](int total, int done) { ExportNote::statisticsProgress(&note, total, done); });
        connect(page, &StatisticsWidget::sigExportDataFinish, &note, [this] { ExportNote::statisticsFinished(&note); });
        disk = SysPath("/mnt");
        QVERIFY(disk != "/mnt");
        QVERIFY(QDir().mkpath(disk));
    }

    void init()
    {
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
        CommandRunner::addAnswer("blkid", 0,
                                 "/dev/sda1: UUID=\"a\" TYPE=\"ext4\"\n/dev/sdb1: UUID=\"b\" TYPE=\"vfat\"\n");
        mountTable("/dev/sdb1 /mnt vfat rw 0 0\n");
        QDir(disk).removeRecursively();
        QDir().mkpath(disk);
        QDir("ResStatistics").removeRecursively();
        for (const char* day : {"2026-12-01", "2026-12-02", "2026-12-03"}) StatRig::dayFile(day);
        gpWPara->useStatistics = 1;
        ResStatisticsParam::getInstance()->setTimer(true);
        note.clear();
    }

    // Day files 12-02 and 12-03 and the running day; three "Done" lines of five; the results moved to the stamp
    // folder on the disk; the note label counts up to 100 % and is emptied at the end.
    void exportsTheRangeToTheDisk()
    {
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\nnoise\ndone x\nDone b\nDone c\n");
        QSignalSpy progress(page, &StatisticsWidget::sigExportProgress);
        QStringList labels;
        QObject watching;  // the label's texts are collected while it lives
        connect(page, &StatisticsWidget::sigExportProgress, &watching, [&labels, this] { labels << note.text(); });

        const QStringList shown = runExport("2026-12-02", "2026-12-05");
        QCOMPARE(shown, (QStringList{kNotice, LanStr(147)}));

        const QList<CommandCall> exporter = callsOf(kExporter);
        QCOMPARE(exporter.size(), 1);
        QCOMPARE(exporter[0].args,
                 QStringList{"./ResStatistics/2026-12-02.db,./ResStatistics/2026-12-03.db,./ResStatistics.db"});
        QList<QPair<int, int>> steps;
        for (const QList<QVariant>& s : progress) steps << qMakePair(s[0].toInt(), s[1].toInt());
        QCOMPARE(steps, (QList<QPair<int, int>>{{3, 0}, {3, 1}, {3, 2}, {3, 3}}));
        QCOMPARE(labels,
                 (QStringList{"生产统计导出中0%", "生产统计导出中33%", "生产统计导出中66%", "生产统计导出中100%"}));
        QCOMPARE(note.text(), QString());

        QVERIFY(QDir(disk).exists(kStamp));
        const QList<CommandCall> moves = callsOf("/bin/sh");
        QCOMPARE(moves.size(), 1);
        QCOMPARE(moves[0].args, (QStringList{"-c", QString("find ./ResStatistics -mindepth 1 -maxdepth 1 -type d "
                                                           "-exec mv {} %1/%2/ \\; ")
                                                       .arg(disk, kStamp)}));
        QVERIFY(CommandRunner::callTexts().contains("sync"));
        for (const char* day : {"2026-12-01", "2026-12-02", "2026-12-03"})
            QVERIFY(QFile::exists(QString("ResStatistics/%1.db").arg(day)));
        QVERIFY(page->canExport);
        QVERIFY(ResStatisticsParam::getInstance()->dayTimer->isActive());

        // No file in the range: an empty argument, progress 0 of 0, the label left as it was.
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
        CommandRunner::addAnswer("blkid", 0, "/dev/sda1: TYPE=\"ext4\"\n/dev/sdb1: TYPE=\"vfat\"\n");
        note.setText("before");
        progress.clear();
        labels.clear();
        runExport("2026-11-01", "2026-11-02");
        QCOMPARE(callsOf(kExporter).value(0).args, QStringList{QString()});
        QCOMPARE(progress.size(), 1);
        QCOMPARE(labels, QStringList{"before"});
        QLabel other;
        ExportNote::statisticsProgress(&other, 4, 3);
        QCOMPARE(other.text(), QString::fromUtf8("生产统计导出中75%"));
    }

    // Between midnight and the morning start the running day is still yesterday's: a range of
    // yesterday hands over the live file, a range of the calendar day does not. Both ends of a
    // range count.
    void runningDayGoesByItsRecordDate()
    {
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\n");
        PlatformClock::setNow(StatRig::at("2026-12-06 03:00:00"));
        const QStringList arguments{"2026-12-05", "2026-12-05", "2026-12-06", "2026-12-06", "2026-12-02", "2026-12-03"};
        QStringList handed;
        for (int i = 0; i < arguments.size(); i += 2) {
            CommandRunner::clearCalls();
            runExport(arguments[i], arguments[i + 1]);
            handed << callsOf(kExporter).value(0).args.value(0, "none");
        }
        PlatformClock::setNow(StatRig::at("2026-12-05 10:00:00"));
        QCOMPARE(handed, (QStringList{"./ResStatistics.db", QString(),
                                      "./ResStatistics/2026-12-02.db,./ResStatistics/2026-12-03.db"}));
    }

    // With the disk watcher running, the export takes its disk (the one at /mnt first) and
    // never mounts behind its back; without any disk it asks.
    void exportGoesToTheWatchersDisk()
    {
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\n");
        DiskManager::_instance = new DiskManager;
        auto known = [](const QString& uuid, const QString& point) {
            UPanInfo d;
            d.uuid = uuid;
            d.devNode = "/dev/" + uuid;
            d.mountPath = SysPath(point);
            DiskManager::_instance->updateUPanInfo(d);
        };
        const QString other = SysPath("/mnt0");
        QDir(other).removeRecursively();
        QVERIFY(QDir().mkpath(other));
        mountTable("/dev/sdc1 /mnt0 vfat rw 0 0\n");
        known("sdc1", "/mnt0");
        CommandRunner::clearCalls();
        QCOMPARE(runExport("2026-12-02", "2026-12-02"), (QStringList{kNotice, LanStr(147)}));
        QVERIFY(QDir(other).exists(kStamp));
        QVERIFY(!QDir(disk).exists(kStamp));

        mountTable("/dev/sdc1 /mnt0 vfat rw 0 0\n/dev/sdb1 /mnt vfat rw 0 0\n");
        known("sdb1", "/mnt");
        QDir(other).removeRecursively();
        QCOMPARE(runExport("2026-12-02", "2026-12-02"), (QStringList{kNotice, LanStr(147)}));
        QVERIFY(QDir(disk).exists(kStamp));
        for (const QString& text : CommandRunner::callTexts())
            QVERIFY2(!text.contains("blkid") && !text.contains("mount"), qPrintable(text));

        delete DiskManager::_instance;
        DiskManager::_instance = nullptr;
    }

    // An exporter that is missing, crashes or exits non-zero: failure reported, the page free for the next export.
    void failedExporterIsReported_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::newRow("missing or crashed") << -1;
        QTest::newRow("non-zero exit") << 1;
    }
    void failedExporterIsReported()
    {
        QFETCH(int, exitCode);
        CommandRunner::addAnswer("export_result_statistics", exitCode, "Done a\n");
        QCOMPARE(runExport("2026-12-02", "2026-12-02"), (QStringList{kNotice, LanStr(kTextStatisticsExportFailed)}));
        QVERIFY(page->canExport);
        QCOMPARE(note.text(), QString());

        CommandRunner::clearAnswers();
        CommandRunner::addAnswer("blkid", 0, "/dev/sda1: TYPE=\"ext4\"\n/dev/sdb1: TYPE=\"vfat\"\n");
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\n");
        QCOMPARE(runExport("2026-12-02", "2026-12-02"), (QStringList{kNotice, LanStr(147)}));
    }

    // Nothing mounted exactly at /mnt (here a disk at /mnt/usb): no folder made, nothing moved, failure reported.
    void exportWithoutMountedDiskLeavesResults()
    {
        mountTable("/dev/sdb1 /mnt/usb vfat rw 0 0\n");
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\n");
        QVERIFY(QDir().mkpath("ResStatistics/statistics_1"));
        QCOMPARE(runExport("2026-12-02", "2026-12-02"), (QStringList{kNotice, LanStr(kTextStatisticsExportFailed)}));
        QVERIFY(QDir("ResStatistics/statistics_1").exists());
        QVERIFY(QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        QVERIFY(callsOf("/bin/sh").isEmpty());
        QVERIFY(ExportResultWorker::isMountPoint("/mnt/usb"));
        QVERIFY(!ExportResultWorker::isMountPoint("/mnt"));
    }

    // The exporter gets 10 minutes and 1 more per file; at its limit it is ended and counts as failed.
    void hungExporterIsEnded()
    {
        QCOMPARE(ExportResultWorker::exportTimeLimitMs(0), 600000);
        QCOMPARE(ExportResultWorker::exportTimeLimitMs(3), 780000);
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\n");
        ExportResultWorker worker;
        QSignalSpy progress(&worker, &ExportResultWorker::exportProgress);
        // A limit already passed ends the run before the exporter's answer.
        QVERIFY(!worker.exportToHistogram(kExporter, {"x"}, 0));
        QVERIFY(progress.isEmpty());
        QVERIFY(worker.exportToHistogram(kExporter, {"x"}, 60000));
        QCOMPARE(progress.size(), 1);
    }

    // Statistics switched off meanwhile: the end of an export leaves the day timer off.
    void dayTimerRestartsOnlyWhenStatisticsAreOn()
    {
        CommandRunner::addAnswer("export_result_statistics", 0, "Done a\n");
        gpWPara->useStatistics = 0;
        QSignalSpy requested(page, &StatisticsWidget::sigExportData);
        bool stoppedDuring = false, refusedDuring = false;  // the day timer, and a second export
        QObject watching;
        connect(page, &StatisticsWidget::sigExportData, &watching, [&] {
            stoppedDuring = !ResStatisticsParam::getInstance()->dayTimer->isActive();
            refusedDuring = !page->canExport;
        });
        runExport("2026-12-02", "2026-12-02");
        QVERIFY(stoppedDuring && refusedDuring);
        QCOMPARE(requested.size(), 1);
        QVERIFY(!ResStatisticsParam::getInstance()->dayTimer->isActive());
    }

    // A request while an export runs only warns; without a disk the operator may give up.
    void secondRequestAndMissingDisk()
    {
        ModalAnswerer answerer;
        StatRig::watchPageBoxes(answerer, page);
        page->canExport = false;
        answerer.answer(ModalAnswerer::Confirm);
        QSignalSpy requested(page, &StatisticsWidget::sigExportData);
        page->SlotExportData();
        QCOMPARE(answerer.texts(), QStringList{LanStr(654)});
        QVERIFY(CommandRunner::calls().isEmpty());
        page->canExport = true;

        CommandRunner::clearAnswers();
        answerer.clearShown();
        answerer.answer({ModalAnswerer::Yes, ModalAnswerer::No});
        page->SlotExportData();
        QCOMPARE(answerer.texts(), (QStringList{LanStr(320), LanStr(320)}));
        QCOMPARE(requested.size(), 0);
        QVERIFY(page->canExport);
    }
};

MONITOR_TEST_MAIN(TestStatisticsExport)
#include "tst_statistics_export.moc"
