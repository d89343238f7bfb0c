// The statistics export on its own thread: day files of a range, the exporter's progress, the move to the disk.
#include "exportresultworker.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTextCodec>
#include <QTimer>

#include "commandrunner.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"
#include "systempaths.h"

namespace {

const char* const kExporter = "./cnt_net/export_result_statistics/export_result_statistics";
const char* const kDayFolder = "./ResStatistics";
const char* const kLiveFile = "./ResStatistics.db";
const char* const kDateFormat = "yyyy-MM-dd";
const char* const kStampFormat = "yyyy-MM-dd_hh.mm.ss";
const char* const kMoveCommand = "find ./ResStatistics -mindepth 1 -maxdepth 1 -type d -exec mv {} %1/%2/ \\; ";
constexpr int kBaseLimitMs = 10 * 60 * 1000;
constexpr int kPerFileLimitMs = 60 * 1000;
constexpr int kMoveLimitMs = 10 * 60 * 1000;
constexpr int kSyncLimitMs = 5 * 60 * 1000;

// Reads an AsyncCommand to its end (or the limit) on the calling thread's event loop.
// Complete lines go to `onLine`; a last line without its newline is handed over at the end.
struct RunOutcome
{
    int exitCode = -1;
    bool timedOut = false;
};

RunOutcome runLines(const QString& program, const QStringList& arguments, int timeout,
                    const std::function<void(const QByteArray&)>& onLine)
{
    RunOutcome outcome;
    AsyncCommand command;
    QEventLoop loop;
    QByteArray buffer;
    auto drain = [&](bool all) {
        buffer += command.readAll();
        int end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            onLine(buffer.left(end));
            buffer.remove(0, end + 1);
        }
        if (all && !buffer.isEmpty()) {
            onLine(buffer);
            buffer.clear();
        }
    };
    QObject::connect(&command, &AsyncCommand::sigReadyRead, &loop, [&] { drain(false); });
    QObject::connect(&command, &AsyncCommand::sigFinished, &loop, [&](int code) {
        drain(true);
        outcome.exitCode = code;
        loop.quit();
    });
    // Armed before the start, so a limit that has already passed ends the run before any answer.
    if (timeout >= 0)
        QTimer::singleShot(timeout, &loop, [&] {
            outcome.timedOut = true;
            command.kill();
            loop.quit();
        });
    command.start(program, arguments);
    if (command.isRunning())
        loop.exec();
    return outcome;
}

void logOutcome(const RunOutcome& outcome)
{
    if (outcome.timedOut)
        qInfo() << "Process ended at its time limit";
    else if (outcome.exitCode < 0)
        qInfo() << "Process crashed!";
    else
        qInfo() << "Process finished with exit code:" << outcome.exitCode;
}

}  // namespace

bool runAndPrintOutput(const QString& program, const QStringList& arguments, int timeout)
{
    qDebug() << program << arguments;
    const RunOutcome outcome =
        runLines(program, arguments, timeout, [](const QByteArray& line) { qDebug().noquote() << line; });
    logOutcome(outcome);
    return !outcome.timedOut && outcome.exitCode == 0;
}

ExportResultWorker::ExportResultWorker(QObject* parent)
    : QObject(parent), mountPoint(QString::fromLatin1(kDefaultMountPoint))
{
}

int ExportResultWorker::exportTimeLimitMs(int files)
{
    return kBaseLimitMs + kPerFileLimitMs * files;
}

bool ExportResultWorker::isMountPoint(const QString& mountPoint)
{
    return IsMountPoint(mountPoint);
}

void ExportResultWorker::countLine(const QByteArray& raw)
{
    const QString line = QTextCodec::codecForLocale()->toUnicode(raw);
    qDebug().noquote() << line;
    if (line.startsWith(QLatin1String("Done"))) {
        ++doneCount;
        emit exportProgress(fileCount, doneCount);
    }
}

bool ExportResultWorker::exportToHistogram(const QString& program, const QStringList& arguments, int timeout)
{
    qInfo() << "start export to histogram";
    const RunOutcome outcome =
        runLines(program, arguments, timeout, [this](const QByteArray& line) { countLine(line); });
    logOutcome(outcome);
    return !outcome.timedOut && outcome.exitCode == 0;
}

void ExportResultWorker::work(QPair<QString, QString> dates)
{
    qInfo() << "start export Statistics result work";
    const QDateTime started = PlatformClock::now();
    const QString stamp = started.toString(QString::fromLatin1(kStampFormat));
    const QDate first = QDate::fromString(dates.first, QString::fromLatin1(kDateFormat));
    const QDate last = QDate::fromString(dates.second, QString::fromLatin1(kDateFormat));

    QStringList files;
    const QDir dayFolder(QString::fromLatin1(kDayFolder));
    for (const QString& name : dayFolder.entryList({"*.db"}, QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDate day = QDate::fromString(name.section('.', 0, 0), QString::fromLatin1(kDateFormat));
        if (day.isValid() && first <= day && day <= last)
            files << QString::fromLatin1(kDayFolder) + "/" + name;
    }
    // The running day goes by the date its record carries: between midnight and the
    // morning start it is still yesterday's, which the calendar date would leave out.
    const QDate running =
        QDate::fromString(ResStatisticsDatabase::liveRecordDate(started.date()), QString::fromLatin1(kDateFormat));
    if (first <= running && running <= last)
        files << QString::fromLatin1(kLiveFile);

    fileCount = files.size();
    doneCount = 0;
    emit exportProgress(fileCount, 0);
    bool ok = exportToHistogram(QString::fromLatin1(kExporter), {files.join(',')}, exportTimeLimitMs(fileCount));

    // Without a disk mounted there the folders would land on the system disk: the results
    // then stay where the exporter left them.
    const QString mount = mountPoint;
    if (!isMountPoint(mount)) {
        qWarning() << "statistics export:" << mount << "is no mount point, the results stay in" << kDayFolder;
        ok = false;
    } else {
        const QString destination = SysPath(mount);
        QDir disk(destination);
        if (!disk.exists(stamp) && !disk.mkdir(stamp)) {
            qWarning() << "statistics export: cannot create" << destination + "/" + stamp;
            ok = false;
        } else {
            ok = runAndPrintOutput("/bin/sh", {"-c", QString::fromLatin1(kMoveCommand).arg(destination, stamp)},
                                   kMoveLimitMs) &&
                 ok;
        }
    }
    CommandRunner::run("sync", {}, kSyncLimitMs);
    qInfo() << "sync finish";
    succeeded = ok;
    emit finish();
}
