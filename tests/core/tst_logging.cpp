// Log files: the start-up archive clean-up, the output-folder pruning and the message routing.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "logmanager.h"
#include "platformclock.h"
#include "startupguard.h"
#include "testsupport.h"

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString logPath(const QString& name)
{
    return QString(kLogDir) + name;
}

void resetLogDir()
{
    QDir(kLogDir).removeRecursively();
    QDir().mkpath(kLogDir);
}

QStringList logNames()
{
    QStringList names = QDir(kLogDir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    return names;
}

QByteArray allLogText()
{
    QByteArray all;
    for (const QString& name : QDir(kLogDir).entryList({"*.log"}, QDir::Files)) all += readFile(logPath(name));
    return all;
}

QString singleFile(const QString& pattern)
{
    const QStringList names = QDir(kLogDir).entryList({pattern}, QDir::Files | QDir::NoSymLinks);
    return names.size() == 1 ? logPath(names.first()) : QString();
}

}  // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    // These run before the log manager exists: the clean-up is called on its own.
    void erroredRunIsArchivedAfterTwentyOthers()
    {
        resetLogDir();
        for (int n = 1; n <= kMaxLogArchives; ++n)
            writeFile(logPath(QString("%1_LOG_20240101_0000%2.txt").arg(n).arg(n, 2, 10, QChar('0'))),
                      QByteArray::number(n));
        writeFile(logPath("LOG_20240105-081500.1234.log"), "last run");
        writeFile(logPath("ERROR_20240105-081500.1234.log"), "error lines");
        writeFile(logPath("WARNING_20240105-081500.1234.log"), "warning lines");
        QFile::link("LOG_20240105-081500.1234.log", logPath("monitor.INFO"));
        QFile::link("ERROR_20240105-081500.1234.log", logPath("monitor.ERROR"));
        QFile::link("WARNING_20240105-081500.1234.log", logPath("monitor.WARNING"));
        QFile::link("gone.log", logPath("old.INFO"));    // target missing: left alone
        writeFile(logPath("README"), "no dot");          // never touched
        writeFile(logPath("a_b_c.txt"), "three parts");  // neither archive nor live log

        LogManager::clearup_cachelogfile();

        QStringList expected;
        for (int n = 1; n < kMaxLogArchives; ++n)
            expected << QString("%1_LOG_20240101_0000%2.txt").arg(n).arg(n + 1, 2, 10, QChar('0'));
        expected << "20_ERROR_20240105_081500.txt"
                 << "README"
                 << "old.INFO";
        expected.sort();
        QCOMPARE(logNames(), expected);
        QCOMPARE(readFile(logPath("1_LOG_20240101_000002.txt")), QByteArray("2"));
        QCOMPARE(readFile(logPath("19_LOG_20240101_000020.txt")), QByteArray("20"));
        QCOMPARE(readFile(logPath("20_ERROR_20240105_081500.txt")), QByteArray("last run"));
        QVERIFY(QFileInfo(logPath("old.INFO")).isSymLink());
    }

    void cleanRunFillsGapsAndDropsUnreadableStamps()
    {
        resetLogDir();
        writeFile(logPath("3_LOG_20240101_010000.txt"), "three");
        writeFile(logPath("7_ERROR_20240102_010000.txt"), "seven");
        writeFile(logPath("LOG_20240106-090000.77.log"), "good stamp");
        writeFile(logPath("LOG_garbage.78.log"), "bad stamp");
        QFile::link("LOG_20240106-090000.77.log", logPath("monitor.INFO"));

        LogManager::clearup_cachelogfile();

        const QStringList names = logNames();
        QVERIFY2(names.contains("1_LOG_20240101_010000.txt"), qPrintable(names.join(' ')));
        QVERIFY(names.contains("2_ERROR_20240102_010000.txt"));
        QCOMPARE(readFile(logPath("2_ERROR_20240102_010000.txt")), QByteArray("seven"));
        // The good stamp keeps the LOG form (no error link); the bad one is gone.
        QStringList archived = names.filter("_LOG_20240106_090000.txt");
        QCOMPARE(archived.size(), 1);
        QCOMPARE(readFile(logPath(archived.first())), QByteArray("good stamp"));
        QCOMPARE(names.size(), 3);
        for (const QString& n : names) QVERIFY(!n.startsWith("X_"));
    }

    // Three starts refused within one second, then a good run: each keeps its archive, a refused
    // one marked as an error, numbered without a gap in the order they ran.
    void refusedStartsOfOneSecondKeepTheirLogs()
    {
        resetLogDir();
        PlatformClock::setNow(QDateTime(QDate(2024, 1, 8), QTime(9, 30)));
        QStringList expected;
        for (int i = 1; i <= 3; ++i) {
            const pid_t child = ::fork();
            if (child == 0)
                ::_exit(RefuseStart("refused", 0));
            QVERIFY(child > 0 && ::waitpid(child, nullptr, 0) == child);
            expected << QString("%1_ERROR_20240108_093000.txt %2").arg(i).arg(child);
            QTest::qSleep(10);  // apart on the files' clock
        }
        PlatformClock::resetNow();
        LogManager::clearup_cachelogfile();
        writeFile(logPath("LOG_20240108-093000.9.log"), "good run");
        QFile::link("LOG_20240108-093000.9.log", logPath("monitor.INFO"));
        LogManager::clearup_cachelogfile();
        QStringList kept;  // each with the process id its line names
        for (const QString& name : logNames()) kept << name + ' ' + readFile(logPath(name)).split(' ').value(2);
        QCOMPARE(kept, expected << "4_LOG_20240108_093000.txt ");
    }

    void startupPrunesOutputFolderAndLogsAtOnce()
    {
        resetLogDir();
        writeFile(logPath("LOG_20240107-100000.5.log"), "previous run");
        QFile::link("LOG_20240107-100000.5.log", logPath("monitor.INFO"));
        const QDateTime base = QDateTime::currentDateTime().addDays(-1);
        for (int i = 0; i < kMaxStdoutFiles + 5; ++i) {
            const QString path = QString(kLogStdoutDir) + QString("out%1.txt").arg(i);
            writeFile(path, "x");
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(base.addSecs(i * 60), QFileDevice::FileModificationTime));
        }

        LogManager::__instance = new LogManager(nullptr);

        const QStringList outputs = QDir(kLogStdoutDir).entryList(QDir::Files);
        QCOMPARE(outputs.size(), kMaxStdoutFiles);
        for (int i = 0; i < 5; ++i) QVERIFY(!outputs.contains(QString("out%1.txt").arg(i)));
        QVERIFY(logNames().contains("1_LOG_20240107_100000.txt"));

        qInfo() << "info-marker-41";
        const QString live = singleFile("LOG_*.log");
        QVERIFY2(!live.isEmpty(), qPrintable(logNames().join(' ')));
        const QByteArray text = readFile(live);
        QVERIFY(text.contains("info-marker-41"));
        QVERIFY(text.contains("tst_logging.cpp:"));

        qWarning() << "warn-marker-42";
        qDebug() << "debug-marker-43";
        QVERIFY(readFile(live).contains("---warning--- warn-marker-42"));
        QVERIFY(!allLogText().contains("debug-marker-43"));
        QVERIFY(singleFile("WARNING_*.log").isEmpty());

        qCritical() << "critical-marker-44";
        const QByteArray errors = readFile(singleFile("ERROR_*.log"));
        QVERIFY(errors.contains("logmanager.cpp:244] \tcritical-marker-44"));
        QVERIFY(readFile(live).contains("critical-marker-44"));

        LogManager::outputMessage(QtInfoMsg, QMessageLogContext(), "no-context-marker-45");
        QVERIFY(readFile(live).contains("unknow:0] no-context-marker-45"));

        qInfo() << "中文-marker-46";
        QVERIFY(readFile(live).contains(QString("中文-marker-46").toUtf8()));

        // The test capture goes on top of the log manager's handler and passes every line on.
        TestSupport::clearCapturedMessages();
        qInfo() << "captured-marker-47";
        QVERIFY(TestSupport::capturedMessages().contains("captured-marker-47"));
        QVERIFY(readFile(live).contains("captured-marker-47"));
    }

    // Error lines go to the log files only, never to standard error.
    void errorLinesStayOutOfStandardError()
    {
        QVERIFY(LogManager::__instance);
        const QString path = TestSupport::workDir() + "/stderr.txt";
        fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        const int fd = ::open(qPrintable(path), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(saved >= 0 && fd >= 0);
        dup2(fd, STDERR_FILENO);
        ::close(fd);
        qCritical() << "critical-marker-51";
        fflush(stderr);
        dup2(saved, STDERR_FILENO);
        ::close(saved);
        QVERIFY(readFile(singleFile("ERROR_*.log")).contains("critical-marker-51"));
        QVERIFY(!readFile(path).contains("critical-marker-51"));
    }
};

MONITOR_TEST_MAIN(TestLogging)
#include "tst_logging.moc"
