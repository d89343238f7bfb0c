// Routing of the Qt message functions into rotating log files, and the archive clean-up.
#pragma once

#include <QObject>
#include <QString>

// Folders relative to the program's working directory.
extern const char* const kLogDir;        // live log files and the archives of earlier runs
extern const char* const kLogStdoutDir;  // written by other processes, only pruned here

constexpr int kMaxLogArchives = 20;
constexpr int kMaxStdoutFiles = 50;
constexpr int kMaxLogFileMb = 200;

class LogManager : public QObject
{
    Q_OBJECT

public:
    // Archives the logs of earlier runs, prunes the output folder, starts the log files and
    // installs the message handler. One per process (LogManager::__instance).
    explicit LogManager(QObject* parent = nullptr);

    static LogManager* __instance;

    static void outputMessage(QtMsgType type, const QMessageLogContext& context, const QString& message);
    // Renames the last run's log to a numbered archive, keeps the newest kMaxLogArchives.
    static void clearup_cachelogfile();
};

// Writer of the failure dump on a fatal signal: one ERROR line, then the files are flushed.
void SignalHandle(const char* data, int size);
