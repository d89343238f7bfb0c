// The one entry point for every shell command and external program the system runs.
#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

struct CommandResult
{
    int exitCode = 0;   // the program's exit code; -1 when it could not start or crashed
    QByteArray output;  // standard output (and error, when merged)
    bool started = true;
    bool timedOut = false;
};

// One call as the runner saw it: a shell line (program "sh", args {"-c", line}) or a
// program with its arguments. `text` is the exact line for shell calls and the program
// followed by its arguments joined by single blanks otherwise.
struct CommandCall
{
    bool shell = false;
    QString text;
    QString program;
    QStringList args;
    bool executed = false;  // false in record mode and for host-changing calls in log mode
    bool detached = false;  // started and left running on its own
    QString outputFile;     // a detached call's standard output and error go here (appended)
};

// How a call that is let through is started: the real one starts processes; a test of log
// mode installs one that only records, so a fault in the classification starts nothing.
using ProcessStart = std::function<CommandResult(const CommandCall& call, int timeoutMs, bool mergeChannels)>;

class CommandRunner
{
public:
    // Real: the panel, everything runs. Record: tests, nothing runs, every call is kept
    // and answered from the script. Log: a demo off the panel, host-changing commands
    // are logged and not run, the rest runs.
    enum Mode { Real, Record, Log };

    static void setMode(Mode mode);
    static Mode mode();
    static QString modeName(Mode mode);

    // A shell line, as the C library's shell call would run it: returns the exit status (0 for success).
    static int runLine(const QString& line);
    // A shell line with its merged output; timeoutMs < 0 waits for ever.
    static CommandResult shell(const QString& line, int timeoutMs = 30000);
    // A program with arguments, blocking up to timeoutMs for start and finish.
    static CommandResult run(const QString& program, const QStringList& args, int timeoutMs = 30000,
                             bool mergeChannels = true);
    // A program started and left running on its own; with an output file its standard
    // output and error are appended there instead of being dropped.
    static bool startDetached(const QString& program, const QStringList& args, const QString& outputFile = QString());
    // The same for a shell line.
    static bool startDetachedLine(const QString& line, const QString& outputFile = QString());

    // Replaces how let-through calls are started; an empty function restores real processes.
    static void setProcessStart(ProcessStart start);
    static bool hasProcessStart();  // true while a replacement is installed

    // True when a call would change the host (reboot, clock, mounts, network, ...).
    static bool isHostChanging(const CommandCall& call);

    // Record-mode script: the first rule whose pattern is contained in the call's text
    // answers it; rules are kept until cleared. Without a rule a call answers 0 and "".
    static void addAnswer(const QString& contains, int exitCode, const QByteArray& output = QByteArray());
    static void clearAnswers();
    static QList<CommandCall> calls();
    static QStringList callTexts();
    static void clearCalls();

private:
    static CommandResult dispatch(CommandCall call, int timeoutMs, bool mergeChannels);
    static CommandResult startProcess(const CommandCall& call, int timeoutMs, bool mergeChannels);
    static CommandResult answerFor(const QString& text);
};

// A long-running command read as it goes (ping and the like). In record and log modes
// (for host-changing programs) the scripted or empty answer arrives from the event loop.
class AsyncCommand : public QObject
{
    Q_OBJECT
public:
    explicit AsyncCommand(QObject* parent = nullptr);
    ~AsyncCommand() override;

    void start(const QString& program, const QStringList& args);
    void kill();
    bool isRunning() const;
    QByteArray readAll();

signals:
    void sigReadyRead();
    void sigFinished(int exitCode);

private:
    QProcess* process = nullptr;
    QByteArray pending;
    bool running = false;
};
