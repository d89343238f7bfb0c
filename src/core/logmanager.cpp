// Log files through glog: set-up, the Qt message handler and the start-up archive clean-up.
#include "logmanager.h"

#include <string>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <glog/logging.h>

const char* const kLogDir = "./cnt_net/workspace/log/";
const char* const kLogStdoutDir = "./cnt_net/workspace/log_stdout/";

LogManager* LogManager::__instance = nullptr;

namespace {

// Source lines the non-info severities are attributed to (kept stable for readers of old logs).
constexpr int kCriticalLine = 244;
constexpr int kFatalLine = 250;
constexpr int kSignalLine = 26;

const char* const kLiveStampFormat = "yyyyMMdd-hhmmss";
const char* const kArchiveStampFormat = "yyyyMMdd_hhmmss";
// Live logs that by their name are a run's errors.
const QStringList kErrorRunPrefixes = {QStringLiteral("ERROR"), QStringLiteral("FATAL")};

struct Destination
{
    google::LogSeverity severity;
    const char* prefix;
};
const Destination kDestinations[] = {
    {google::GLOG_INFO, "./cnt_net/workspace/log/LOG_"},
    {google::GLOG_WARNING, "./cnt_net/workspace/log/WARNING_"},
    {google::GLOG_ERROR, "./cnt_net/workspace/log/ERROR_"},
    {google::GLOG_FATAL, "./cnt_net/workspace/log/FATAL_"},
};

void writeLine(const char* file, int line, google::LogSeverity severity, const QByteArray& text)
{
    google::LogMessage(file, line, severity).stream() << text.constData();
}

// Stage 1: drop the severity links of the last run and the duplicate files they point to;
// true when the last run had an ERROR link.
bool removeRunLinks(const QDir& dir)
{
    bool hadError = false;
    const QFileInfoList entries = dir.entryInfoList({"*"}, QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo& entry : entries) {
        if (!entry.exists() || !entry.isSymLink())
            continue;
        const QString link = entry.filePath();
        const QString target = entry.symLinkTarget();
        if (entry.fileName().contains(".ERROR"))
            hadError = true;
        QFile::remove(link);
        if (!entry.fileName().contains(".INFO"))
            QFile::remove(target);
    }
    return hadError;
}

bool archiveNumber(const QString& name, int* number)
{
    const QStringList parts = name.split("_");
    if (parts.size() != 4)
        return false;
    bool ok = false;
    *number = parts[0].toInt(&ok, 10);
    return ok;
}

// Stage 2: takes the numbered archives out of names, lowest number first.
QStringList takeArchives(QStringList& names)
{
    QStringList ordered;
    for (;;) {
        int best = -1;
        int bestNumber = 0;
        for (int i = 0; i < names.size(); ++i) {
            int number = 0;
            if (archiveNumber(names[i], &number) && (best < 0 || number > bestNumber)) {
                best = i;
                bestNumber = number;
            }
        }
        if (best < 0)
            return ordered;
        ordered.prepend(names.takeAt(best));
    }
}

// The name of a new archive before it is numbered: X and `rest`, with a count after the X
// where runs started in one second already took that name.
QString unusedName(const QDir& dir, const QString& rest)
{
    QString name = QStringLiteral("X") + rest;
    for (int n = 2; QFileInfo::exists(dir.filePath(name)) || QFileInfo(dir.filePath(name)).isSymLink(); ++n)
        name = QStringLiteral("X%1").arg(n) + rest;
    return name;
}

}  // namespace

LogManager::LogManager(QObject* parent) : QObject(parent)
{
    QDir().mkpath(kLogDir);
    QDir().mkpath(kLogStdoutDir);
    clearup_cachelogfile();

    QDir stdoutDir(kLogStdoutDir);
    QFileInfoList outputs = stdoutDir.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Time);
    while (outputs.size() > kMaxStdoutFiles) QFile::remove(outputs.takeLast().filePath());

    // glog keeps the pointer for the program's short name: the text must live for ever.
    static const QByteArray programPath = QCoreApplication::applicationFilePath().toLatin1();
    if (!google::IsGoogleLoggingInitialized())
        google::InitGoogleLogging(programPath.constData());

    FLAGS_log_dir = kLogDir;
    FLAGS_logbufsecs = 0;
    FLAGS_max_log_size = kMaxLogFileMb;
    FLAGS_stop_logging_if_full_disk = true;
    FLAGS_logtostderr = false;
    FLAGS_alsologtostderr = false;
    // No copy to standard error, not even of ERROR and FATAL lines (the library's default).
    FLAGS_stderrthreshold = google::NUM_SEVERITIES;

    google::SetLogFilenameExtension(".log");
    for (const Destination& d : kDestinations) google::SetLogDestination(d.severity, d.prefix);

    google::InstallFailureSignalHandler();
    google::InstallFailureWriter([](const char* data, size_t size) { SignalHandle(data, static_cast<int>(size)); });

    qInstallMessageHandler(outputMessage);
}

void LogManager::outputMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArray source = context.file ? QString(context.file).section('/', -1).toUtf8() : QByteArray("unknow");
    switch (type) {
        case QtDebugMsg:
            break;
        case QtInfoMsg:
            writeLine(source.constData(), context.line, google::GLOG_INFO, message.toUtf8());
            break;
        case QtWarningMsg:
            writeLine(source.constData(), context.line, google::GLOG_INFO, "---warning--- " + message.toUtf8());
            break;
        case QtCriticalMsg:
            writeLine(__FILE__, kCriticalLine, google::GLOG_ERROR, "\t" + message.toUtf8());
            break;
        case QtFatalMsg:
            writeLine(__FILE__, kFatalLine, google::GLOG_FATAL, "\t" + message.toUtf8());
            break;
    }
}

void LogManager::clearup_cachelogfile()
{
    QDir dir(kLogDir);
    const bool hadError = removeRunLinks(dir);

    // Oldest first: runs that left their logs in one second are archived in the order they ran.
    QStringList names = dir.entryList({"*.*"}, QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    QStringList ordered = takeArchives(names);

    // Stage 3: the last runs' logs become new archives; anything else unexpected goes.
    for (const QString& name : names) {
        const QStringList parts = name.split("_");
        if (parts.size() != 2) {
            QFile::remove(dir.filePath(name));
            continue;
        }
        const QString stamp = parts[1].split(".").first();
        const QDateTime started = QDateTime::fromString(stamp, kLiveStampFormat);
        // A refused start leaves only the log of its error, and no link.
        const bool error = hadError || kErrorRunPrefixes.contains(parts[0]);
        const QString newName =
            unusedName(dir, QString(error ? "_ERROR_" : "_LOG_") +
                                (started.isValid() ? started.toString(kArchiveStampFormat) : QString()) + ".txt");
        QFile::rename(dir.filePath(name), dir.filePath(newName));
        ordered.append(newName);
    }

    // Stage 4: keep the newest archives and number them 1.. from the oldest.
    while (ordered.size() > kMaxLogArchives) QFile::remove(dir.filePath(ordered.takeFirst()));
    for (int i = 0; i < ordered.size(); ++i) {
        QStringList parts = ordered[i].split("_");
        if (parts.size() != 4) {
            QFile::remove(dir.filePath(ordered[i]));
            continue;
        }
        parts[0] = QString::number(i + 1);
        QFile::rename(dir.filePath(ordered[i]), dir.filePath(parts.join("_")));
    }
}

void SignalHandle(const char* data, int size)
{
    writeLine(__FILE__, kSignalLine, google::GLOG_ERROR, QByteArray(data, size));
    google::FlushLogFiles(google::GLOG_ERROR);
}
