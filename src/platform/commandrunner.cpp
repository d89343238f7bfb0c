// Command runner: real, recorded and logged execution of shell lines and programs.
#include "commandrunner.h"

#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include "platformexit.h"

namespace {

struct RunnerState
{
    QMutex mutex;
    CommandRunner::Mode mode = CommandRunner::Real;
    QList<CommandCall> calls;
    QList<QPair<QString, CommandResult>> answers;
    ProcessStart start;  // empty: real processes
};

RunnerState& state()
{
    static RunnerState s;
    return s;
}

// Programs that change the machine they run on; in log mode they are never started.
const QStringList kHostChangingPrograms = {
    "reboot",      "init",    "shutdown", "poweroff", "halt",     "hwclock",   "mount", "umount",         "tsc",
    "notify-send", "netplan", "ifup",     "ifdown",   "dhclient", "systemctl", "ipcrm", "wpa_supplicant",
};

bool moreThanOneOperand(const QStringList& args)
{
    int operands = 0;
    for (const QString& a : args) operands += a.startsWith('-') ? 0 : 1;
    return operands > 1;
}

bool anyArgumentIn(const QStringList& args, const QStringList& verbs)
{
    for (const QString& a : args)
        if (verbs.contains(a))
            return true;
    return false;
}

// The clock is set by "-s"/"--set" or by a bare date operand; "+FORMAT" only prints.
bool dateSetsClock(const QStringList& args)
{
    for (const QString& a : args)
        if (a == "-s" || a.startsWith("--set") || (!a.startsWith('-') && !a.startsWith('+')))
            return true;
    return false;
}

// Network tools that also serve as plain read-outs (the network pages list interfaces
// with a bare "ifconfig"): they change the host only with these arguments.
struct ReadingTool
{
    const char* program;
    std::function<bool(const QStringList&)> changes;
};
const ReadingTool kReadingTools[] = {
    {"ifconfig", moreThanOneOperand},  // "ifconfig eth0" reads, "ifconfig eth0 up" changes
    {"iwconfig", moreThanOneOperand},
    {"route",
     [](const QStringList& a) {
         return anyArgumentIn(a, {"add", "del", "delete", "flush"});
     }},
    // ip accepts abbreviated verbs ("ip r a"), so only the plain read-outs count as reading:
    // an object alone ("ip addr") or followed by show / list.
    {"ip",
     [](const QStringList& a) {
         QStringList operands;
         for (const QString& x : a)
             if (!x.startsWith('-'))
                 operands << x;
         if (operands.size() <= 1)
             return false;
         return !QStringList({"show", "list", "ls", "lst"}).contains(operands.at(1));
     }},
    {"date", dateSetsClock},
};

// Folders of the host that no demo may write into, and the device files any command may.
const QStringList kProtectedRoots = {"/sys", "/etc", "/root", "/boot", "/dev", "/proc", "/usr", "/lib"};
const QStringList kHarmlessDevices = {"/dev/null", "/dev/stdout", "/dev/stderr", "/dev/tty"};

bool isProtectedPath(const QString& path)
{
    if (kHarmlessDevices.contains(path) || path.startsWith("/dev/fd/"))
        return false;
    for (const QString& root : kProtectedRoots)
        if (path == root || path.startsWith(root + "/"))
            return true;
    return false;
}

// Redirections in the shell text, or a file tool naming a protected path among its arguments.
bool writesProtected(const QString& shellText, const QString& prog, const QStringList& args)
{
    static const QRegularExpression redirect(R"(>{1,2}\s*(\S+))");
    auto it = redirect.globalMatch(shellText);
    while (it.hasNext())
        if (isProtectedPath(it.next().captured(1)))
            return true;
    static const QStringList writers = {"cp", "mv", "rm", "tar", "tee", "dd", "ln", "chmod", "chown", "mkdir", "rsync"};
    if (!writers.contains(prog))
        return false;
    for (const QString& a : args)
        if (isProtectedPath(a))
            return true;
    return false;
}

bool lineChangesHost(const QString& line);

// Where one simple command of a shell line ends and the next begins.
const QRegularExpression& shellSeparators()
{
    static const QRegularExpression separators(R"(;|&&|\|\||\||&|\n|`|\$\(|\(|\))");
    return separators;
}

// A program with its arguments; shellText is the simple command it came from, if any.
bool programChangesHost(const QString& program, const QStringList& args, const QString& shellText)
{
    const QString prog = QFileInfo(program).fileName();
    if ((prog == "sh" || prog == "bash") && args.size() >= 2 && args.first() == "-c")
        return lineChangesHost(args.mid(1).join(' '));
    if (kHostChangingPrograms.contains(prog))
        return true;
    for (const ReadingTool& tool : kReadingTools)
        if (prog == tool.program)
            return tool.changes(args);
    return writesProtected(shellText, prog, args);
}

// One simple command of a shell line: wrappers and variable assignments are looked through,
// quotes are dropped (a nested "sh -c '...'" is then judged as a line of its own).
QStringList commandWords(const QString& plainSegment)
{
    static const QStringList wrappers = {"sudo", "nohup", "exec", "env", "nice", "setsid", "command"};
    QStringList words = plainSegment.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    while (!words.isEmpty() && (wrappers.contains(words.first()) || words.first().contains('='))) words.removeFirst();
    return words;
}

QString unquoted(const QString& segment)
{
    return QString(segment).remove('"').remove('\'');
}

bool segmentChangesHost(const QString& segment)
{
    if (segment.contains("upnetcard"))  // the network-card set-up script rewrites the host's network
        return true;
    const QString plain = unquoted(segment);
    const QStringList words = commandWords(plain);
    if (words.isEmpty())
        return false;
    return programChangesHost(words.first(), words.mid(1), plain);
}

bool lineChangesHost(const QString& line)
{
    for (const QString& segment : line.split(shellSeparators(), Qt::SkipEmptyParts))
        if (segmentChangesHost(segment.trimmed()))
            return true;
    return false;
}

// What a call would do to the running program by taking the machine down: kExitRestart for a
// restart (reboot, init 6, shutdown -r), kExitPowerOff for a power-off (init 0, poweroff, halt,
// shutdown), 0 otherwise.
int lineStopCode(const QString& line);

int programStopCode(const QString& program, const QStringList& args)
{
    const QString prog = QFileInfo(program).fileName();
    if ((prog == "sh" || prog == "bash") && args.size() >= 2 && args.first() == "-c")
        return lineStopCode(args.mid(1).join(' '));
    QStringList operands;
    for (const QString& a : args)
        if (!a.startsWith('-'))
            operands << a;
    const QString first = operands.value(0);
    if (prog == "reboot" || (prog == "init" && first == "6") || (prog == "systemctl" && first == "reboot"))
        return kExitRestart;
    if (prog == "shutdown" && !args.contains("-c"))
        return args.contains("-r") || args.contains("--reboot") ? kExitRestart : kExitPowerOff;
    if (prog == "poweroff" || prog == "halt" || (prog == "init" && first == "0") ||
        (prog == "systemctl" && (first == "poweroff" || first == "halt")))
        return kExitPowerOff;
    return 0;
}

int lineStopCode(const QString& line)
{
    for (const QString& segment : line.split(shellSeparators(), Qt::SkipEmptyParts)) {
        const QStringList words = commandWords(unquoted(segment));
        if (words.isEmpty())
            continue;
        if (const int code = programStopCode(words.first(), words.mid(1)))
            return code;
    }
    return 0;
}

int stopCodeOf(const CommandCall& call)
{
    return call.shell ? lineStopCode(call.text) : programStopCode(call.program, call.args);
}

}  // namespace

void CommandRunner::setMode(Mode mode)
{
    QMutexLocker lock(&state().mutex);
    state().mode = mode;
}

CommandRunner::Mode CommandRunner::mode()
{
    QMutexLocker lock(&state().mutex);
    return state().mode;
}

QString CommandRunner::modeName(Mode mode)
{
    switch (mode) {
        case Real:
            return "real";
        case Record:
            return "record";
        case Log:
            return "log";
    }
    return "real";
}

bool CommandRunner::isHostChanging(const CommandCall& call)
{
    if (call.shell)
        return lineChangesHost(call.text);
    if (call.text.contains("upnetcard"))
        return true;
    return programChangesHost(call.program, call.args, QString());
}

void CommandRunner::addAnswer(const QString& contains, int exitCode, const QByteArray& output)
{
    QMutexLocker lock(&state().mutex);
    CommandResult r;
    r.exitCode = exitCode;
    r.output = output;
    state().answers.append({contains, r});
}

void CommandRunner::clearAnswers()
{
    QMutexLocker lock(&state().mutex);
    state().answers.clear();
}

QList<CommandCall> CommandRunner::calls()
{
    QMutexLocker lock(&state().mutex);
    return state().calls;
}

QStringList CommandRunner::callTexts()
{
    QStringList texts;
    for (const CommandCall& c : calls()) texts << c.text;
    return texts;
}

void CommandRunner::clearCalls()
{
    QMutexLocker lock(&state().mutex);
    state().calls.clear();
}

CommandResult CommandRunner::answerFor(const QString& text)
{
    QMutexLocker lock(&state().mutex);
    for (const auto& rule : state().answers)
        if (text.contains(rule.first))
            return rule.second;
    return CommandResult();
}

CommandResult CommandRunner::dispatch(CommandCall call, int timeoutMs, bool mergeChannels)
{
    const Mode m = mode();
    if (m == Record) {
        {
            QMutexLocker lock(&state().mutex);
            state().calls.append(call);
        }
        return answerFor(call.text);
    }
    if (m == Log && isHostChanging(call)) {
        qInfo().noquote() << "command not run (log mode):" << call.text;
        {
            QMutexLocker lock(&state().mutex);
            state().calls.append(call);
        }
        // Off the panel the program goes down as the panel would, so that no step after a
        // restart works on closed databases; the demo's runner starts it again.
        if (const int code = stopCodeOf(call)) {
            qInfo().noquote() << (code == kExitRestart ? "the program ends for the restart:"
                                                       : "the program ends for the power-off:")
                              << call.text;
            RequestExit(code);
        }
        return CommandResult();
    }
    call.executed = true;
    {
        QMutexLocker lock(&state().mutex);
        state().calls.append(call);
    }
    return startProcess(call, timeoutMs, mergeChannels);
}

void CommandRunner::setProcessStart(ProcessStart start)
{
    QMutexLocker lock(&state().mutex);
    state().start = std::move(start);
}

bool CommandRunner::hasProcessStart()
{
    QMutexLocker lock(&state().mutex);
    return bool(state().start);
}

CommandResult CommandRunner::startProcess(const CommandCall& call, int timeoutMs, bool mergeChannels)
{
    ProcessStart replacement;
    {
        QMutexLocker lock(&state().mutex);
        replacement = state().start;
    }
    if (replacement)
        return replacement(call, timeoutMs, mergeChannels);

    const QString program = call.shell ? QStringLiteral("/bin/sh") : call.program;
    const QStringList args = call.shell ? QStringList{"-c", call.text} : call.args;
    CommandResult result;
    if (call.detached) {
        QProcess proc;
        proc.setProgram(program);
        proc.setArguments(args);
        proc.setStandardInputFile(QProcess::nullDevice());
        // A detached program must not write into a pipe nobody reads: its first line would end it.
        const QString out = call.outputFile.isEmpty() ? QProcess::nullDevice() : call.outputFile;
        proc.setStandardOutputFile(out, QIODevice::Append);
        proc.setStandardErrorFile(out, QIODevice::Append);
        result.started = proc.startDetached();
        result.exitCode = result.started ? 0 : -1;
        return result;
    }
    QProcess proc;
    if (mergeChannels)
        proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start(program, args);
    if (!proc.waitForStarted(timeoutMs < 0 ? -1 : timeoutMs)) {
        result.started = false;
        result.exitCode = -1;
        return result;
    }
    if (!proc.waitForFinished(timeoutMs < 0 ? -1 : timeoutMs)) {
        result.timedOut = true;
        proc.kill();
        proc.waitForFinished(1000);
    }
    result.output = proc.readAllStandardOutput();
    result.exitCode = (proc.exitStatus() == QProcess::NormalExit && !result.timedOut) ? proc.exitCode() : -1;
    return result;
}

int CommandRunner::runLine(const QString& line)
{
    return shell(line, -1).exitCode;
}

CommandResult CommandRunner::shell(const QString& line, int timeoutMs)
{
    CommandCall call{true, line, "sh", {"-c", line}, false, false, QString()};
    return dispatch(call, timeoutMs, true);
}

CommandResult CommandRunner::run(const QString& program, const QStringList& args, int timeoutMs, bool mergeChannels)
{
    CommandCall call{false, (QStringList{program} + args).join(' '), program, args, false, false, QString()};
    return dispatch(call, timeoutMs, mergeChannels);
}

bool CommandRunner::startDetached(const QString& program, const QStringList& args, const QString& outputFile)
{
    CommandCall call{false, (QStringList{program} + args).join(' '), program, args, false, true, outputFile};
    return dispatch(call, 0, false).started;
}

bool CommandRunner::startDetachedLine(const QString& line, const QString& outputFile)
{
    CommandCall call{true, line, "sh", {"-c", line}, false, true, outputFile};
    return dispatch(call, 0, false).started;
}

AsyncCommand::AsyncCommand(QObject* parent) : QObject(parent) {}

AsyncCommand::~AsyncCommand()
{
    kill();
}

void AsyncCommand::start(const QString& program, const QStringList& args)
{
    kill();
    CommandCall call{false, (QStringList{program} + args).join(' '), program, args, false, false, QString()};
    const CommandRunner::Mode m = CommandRunner::mode();
    running = true;
    if (m == CommandRunner::Record || (m == CommandRunner::Log && CommandRunner::isHostChanging(call)) ||
        CommandRunner::hasProcessStart()) {
        // Recorded (and in log mode logged) like a blocking call, which runs nothing here, or
        // handed to the replaced start; the answer arrives from the event loop.
        const CommandResult answer = CommandRunner::run(program, args);
        QTimer::singleShot(0, this, [this, answer]() {
            if (!running)
                return;
            pending += answer.output;
            if (!answer.output.isEmpty())
                emit sigReadyRead();
            running = false;
            emit sigFinished(answer.exitCode);
        });
        return;
    }
    process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::readyRead, this, [this]() {
        pending += process->readAll();
        emit sigReadyRead();
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                running = false;
                emit sigFinished(status == QProcess::NormalExit ? code : -1);
            });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError err) {
        if (err == QProcess::FailedToStart) {
            running = false;
            emit sigFinished(-1);
        }
    });
    process->start(program, args);
}

void AsyncCommand::kill()
{
    running = false;
    if (process) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
        process->deleteLater();
        process = nullptr;
    }
}

bool AsyncCommand::isRunning() const
{
    return running;
}

QByteArray AsyncCommand::readAll()
{
    QByteArray out = pending;
    pending.clear();
    return out;
}
