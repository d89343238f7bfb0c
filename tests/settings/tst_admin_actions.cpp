// System actions, the record browser and the data export: the order of their effects with
// commands recorded, questions answered by the test and a steered clock.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTableView>
#include <QtTest>

#include "admintestprompts.h"
#include "commandrunner.h"
#include "dataexport.h"
#include "factoryfixture.h"
#include "filetree.h"
#include "globals.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "modifytimewidget.h"
#include "platformclock.h"
#include "recordsink.h"
#include "systemactions.h"
#include "systempaths.h"
#include "testsupport.h"
#include "textids.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

}  // namespace

class TestAdminActions : public QObject
{
    Q_OBJECT

    AdminPrompts prompts;
    EffectTrace trace;
    WizardPara para;
    WizardPara paraBak;


private slots:
    void initTestCase()
    {
        InitLanStr();
        gpWPara = &para;
        gpWParaBak = &paraBak;
        prompts.install();
        SetRecordSink([this](const QString& text, const QString& type) { trace.note("record:" + type + ':' + text); });
        SetFlushAllHook([this] { trace.note("flush"); });
        PlatformClock::setSleepHook([this](int ms) { trace.note(QStringLiteral("sleep:%1").arg(ms)); });
    }

    void init()
    {
        prompts.install();
        gLan = 1;
        prompts.reset();
        CommandRunner::clearCalls();
        trace.clear();
    }

    void shutDownEndsWithRebootOrPowerOff_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::addColumn<QString>("last");
        QTest::newRow("YES restarts") << true << "cmd:reboot";
        QTest::newRow("NO powers off") << false << "cmd:init 0";
    }

    void shutDownEndsWithRebootOrPowerOff()
    {
        QFETCH(bool, restart);
        QFETCH(QString, last);
        prompts.reset({true, restart});
        QVERIFY(SystemActions::ShutDown([this] { trace.note("accept"); }));
        QCOMPARE(trace.full(), QStringList({"accept", "record:operate:" + LanStr(292), "sleep:1000", "flush", last}));
        QCOMPARE(prompts.asked, QStringList({LanStr(291), LanStr(293)}));
    }

    void shutDownAnsweredNoDoesNothing()
    {
        prompts.reset({false});
        QVERIFY(!SystemActions::ShutDown([this] { trace.note("accept"); }));
        QVERIFY(trace.full().isEmpty());
    }

    void clockChangeSetsBothClocksThenRestarts()
    {
        ModifyTimeWidget box(nullptr);
        ModalAnswerer answerer;
        answerer.watch("time", [&box]() -> QDialog* { return &box; });
        answerer.answerWith([](QDialog* d) {
            auto* b = static_cast<ModifyTimeWidget*>(d);
            b->editDateTime->dateEdit->setDate(QDate(2024, 2, 29));
            b->editDateTime->timeEdit->setTime(QTime(23, 59, 59));
            d->accept();
        });
        prompts.install();
        prompts.reset({true});
        QVERIFY(SystemActions::ModifyTime(&box, [this] { trace.note("accept"); }));
        QCOMPARE(trace.full(), QStringList({"cmd:date -s 2024-02-29 23:59:59", "cmd:hwclock --systohc", "accept",
                                           "record:operate:" + LanStr(401), "sleep:1000", "flush", "sleep:1000",
                                           "cmd:reboot"}));
        QCOMPARE(prompts.asked, QStringList{LanStr(402)});
    }

    void languageAlreadyActiveOrOutsideDoesNothing()
    {
        prompts.reset({true, true});
        QVERIFY(!SystemActions::ChangeLanguage(1, 4, [this] { trace.note("accept"); }));
        QVERIFY(!SystemActions::ChangeLanguage(4, 4, [this] { trace.note("accept"); }));
        QVERIFY(prompts.asked.isEmpty());
        QVERIFY(trace.full().isEmpty());
    }

    void passwordIsCutAndMustMatch()
    {
        QLineEdit first;
        QLineEdit second;
        first.setText("a");
        second.setText("b");
        QVERIFY(!SystemActions::ChangePassword(&first, &second));
        QCOMPARE(prompts.warned, QStringList{LanStr(280)});

        const QString forty = QString("0123456789").repeated(4);
        std::fill(std::begin(paraBak.password), std::end(paraBak.password), 'x');
        first.setText(forty);
        second.setText(forty);
        QVERIFY(SystemActions::ChangePassword(&first, &second));
        QCOMPARE(QByteArray(paraBak.password), forty.left(32).toLatin1());
        QCOMPARE(paraBak.password[99], '\0');
        QVERIFY(first.text().isEmpty() && second.text().isEmpty());
    }

    void resetTotalZeroesTheCounters()
    {
        gAllNum[3] = 7;
        gFailNum[0] = 2;
        gAllCycleNum[7] = 9;
        gFailCycleNum[1] = 1;
        gSyncNGNum = 4;
        gSyncNGCycleNum = 5;
        SystemActions::ResetTotal();
        QCOMPARE(gAllNum[3] + gFailNum[0] + gAllCycleNum[7] + gFailCycleNum[1] + gSyncNGNum + gSyncNGCycleNum, 0);
    }

    void oldArchiveGainsTheTypeColumnNewestFirst()
    {
        QDir().mkpath("RECORD");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName("RECORD/2024-01-01.db");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("CREATE TABLE RECORD(recordtime TEXT, recordpassword TEXT, remarks TEXT)"));
            QVERIFY(q.exec("INSERT INTO RECORD VALUES('2024-01-01 08:00:00', 'op', 'first')"));
            QVERIFY(q.exec("INSERT INTO RECORD VALUES('2024-01-01 09:00:00', 'op', 'second')"));
            db.close();
        }
        QSqlDatabase::removeDatabase("old");

        QListWidget list;
        RecordBrowser::FillList(&list);
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.item(0)->text(), PlatformClock::now().date().toString("yyyy-MM-dd"));
        QCOMPARE(list.item(1)->text(), QString("2024-01-01"));

        QTableView view;
        QSqlTableModel* model = RecordBrowser::Show(list.item(1), 1, &view, nullptr);
        QVERIFY(model);
        QCOMPARE(model->columnCount(), 4);
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(0, 2)).toString(), QString("second"));
        QVERIFY(view.isColumnHidden(3));
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), LanStr(288));

        // A file that is not there leaves the table empty.
        QListWidgetItem missing("1999-01-01");
        QVERIFY(!RecordBrowser::Show(&missing, 1, &view, model));
        QVERIFY(!QFile::exists("RECORD/1999-01-01.db"));
    }

    void exportCopiesThenEmptiesRawPictures()
    {
        numCamera = 2;
        gDNum = 4;
        for (int c = 1; c <= 2; ++c)
            for (int d = 1; d <= 4; ++d)
                writeFile(QStringLiteral("originalimage/cammer%1%2/raw.bmp").arg(c).arg(d), "raw");
        writeFile("PARAM.db", "params");
        QDir().mkpath(SysPath("/mnt0"));
        TestSupport::writeSysFile("/proc/mounts", "/dev/sda2 / ext4 rw 0 0\n/dev/sdb1 /mnt0 vfat rw 0 0\n");
        PlatformClock::setNow(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        const bool ok = DataExport::Run("/mnt0");
        PlatformClock::resetNow();
        QVERIFY(ok);
        const QString copy = SysPath("/mnt0") + "/2026-03-04_05.06.07/bin-AOI";
        QVERIFY(QFile::exists(copy + "/PARAM.db"));
        QVERIFY(QFile::exists(copy + "/originalimage/cammer24/raw.bmp"));
        // The copy does not hold itself.
        QVERIFY(!QFileInfo::exists(copy + "/sysroot/mnt0/2026-03-04_05.06.07"));
        for (int c = 1; c <= 2; ++c)
            for (int d = 1; d <= 4; ++d) {
                const QDir raw(QStringLiteral("originalimage/cammer%1%2").arg(c).arg(d));
                QVERIFY(raw.exists());
                QVERIFY(raw.isEmpty());
            }
        QCOMPARE(CommandRunner::callTexts(), QStringList{"sync"});
    }

    // The mount folders exist without a disk: nothing is written there. A disk pulled during
    // the copy keeps the pictures too.
    void failedExportKeepsPicturesAndSaysSo()
    {
        numCamera = 1;
        gDNum = 1;
        writeFile("originalimage/cammer11/raw.bmp", "raw");
        QDir(SysPath("/mnt3")).removeRecursively();
        QVERIFY(QDir().mkpath(SysPath("/mnt3")));
        TestSupport::writeSysFile("/proc/mounts", "/dev/sda2 / ext4 rw 0 0\n/dev/sdb1 /mnt3/usb vfat rw 0 0\n");
        QVERIFY(!DataExport::Run("/mnt3"));  // no disk there
        QVERIFY(QDir(SysPath("/mnt3")).isEmpty());
        QVERIFY(QFile::exists("originalimage/cammer11/raw.bmp"));

        TestSupport::writeSysFile("/proc/mounts", "/dev/sdb1 /mnt3 vfat rw 0 0\n");
        PlatformClock::setSleepHook([](int) { TestSupport::writeSysFile("/proc/mounts", "\n"); });
        QVERIFY(!DataExport::Run("/mnt3"));
        PlatformClock::setSleepHook([this](int ms) { trace.note(QStringLiteral("sleep:%1").arg(ms)); });
        QVERIFY(QFile::exists("originalimage/cammer11/raw.bmp"));
        // A copy whose disk went away makes no folder in its place.
        QVERIFY(!FileTree::copy("originalimage", SysPath("/mnt3/gone/bin-AOI")));
        QVERIFY(!QFileInfo::exists(SysPath("/mnt3/gone")));

        DataExportAction action([] { return QStringLiteral("/mnt3"); });
        QSignalSpy start(&action, &DataExportAction::sigExportDataStart);
        QSignalSpy finish(&action, &DataExportAction::sigExportDataFinish);
        prompts.reset({true});
        action.exportData();
        QCOMPARE(start.count(), 1);
        QCOMPARE(finish.count(), 1);
        QCOMPARE(prompts.warned, QStringList{LanStr(kTextDataExportFailed)});
        QVERIFY(QFile::exists("originalimage/cammer11/raw.bmp"));
        QVERIFY(!DataExportAction::running());
    }

    void exportActionReportsSuccessAndAsksForADisk()
    {
        numCamera = 1;
        gDNum = 1;
        QDir().mkpath(SysPath("/mnt1"));
        TestSupport::writeSysFile("/proc/mounts", "/dev/sdb1 /mnt1 vfat rw 0 0\n");
        int probes = 0;
        DataExportAction action([&probes] { return ++probes < 2 ? QString() : QStringLiteral("/mnt1"); });
        QLabel note;
        action.showProgressOn(&note);
        QStringList notes;
        QSignalSpy start(&action, &DataExportAction::sigExportDataStart);
        // A second press while the copy runs starts nothing: the operator is told it runs.
        connect(&action, &DataExportAction::sigExportDataStart, this, [&] {
            notes << note.text();
            QVERIFY(DataExportAction::running());
            action.exportData();
        });
        connect(&action, &DataExportAction::sigExportDataFinish, this, [&] { notes << note.text(); });
        prompts.reset({true, true});
        action.exportData();
        QCOMPARE(start.count(), 1);
        QCOMPARE(prompts.asked, QStringList({LanStr(324), LanStr(320)}));
        QCOMPARE(prompts.warned, QStringList({QString::fromUtf8("正在导出"), LanStr(147)}));
        QCOMPARE(notes, QStringList({"数据导出中", ""}));
    }

    // Stored, the switch restarts and the next start reads it; the record speaks the language
    // current when it was asked for. When PARAM.db cannot take it (a full disk) nothing restarts,
    // the old language stays and a box says why.
    void languageSwitchIsStoredForTheNextStart()
    {
        QFETCH(bool, stored);
        QVERIFY(FactoryFixture::writeAll());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "dbIn");
            db.setDatabaseName("PARAM.db");
            QVERIFY(db.open());
            gLan = 0;
            para.LoadDatafromFile();
            QCOMPARE(gLan, 0);
            if (!stored)
                QVERIFY(QSqlQuery(db).exec("PRAGMA query_only = ON"));
            const QString chinese = LanStr(319);
            prompts.reset({true});
            QCOMPARE(SystemActions::ChangeLanguage(1, 4, [this] { trace.note("accept"); }), stored);
            if (stored) {
                QCOMPARE(trace.full(), QStringList({"accept", "record:operate:" + chinese, "sleep:1000", "flush",
                                                   "cmd:reboot"}));
            } else {
                QCOMPARE(trace.full(), QStringList{"accept"});
                QCOMPARE(prompts.warned, QStringList{LanStr(kTextLanguageNotSaved)});
                QCOMPARE(gLan, 0);
            }
            QVERIFY(QSqlQuery(db).exec("PRAGMA query_only = OFF"));

            gLan = 0;
            WizardPara next;
            next.LoadDatafromFile();
            QCOMPARE(gLan, stored ? 1 : 0);
            db.close();
        }
        QSqlDatabase::removeDatabase("dbIn");
    }
    void languageSwitchIsStoredForTheNextStart_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("stored") << true;
        QTest::newRow("PARAM.db cannot take it") << false;
    }
};

MONITOR_TEST_MAIN(TestAdminActions)
#include "tst_admin_actions.moc"
