// Command runner: real, recorded and logged execution of shell lines and programs.
#include "commandrunner.h"

#include <QDebug>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

namespace {

struct RunnerState
{
    QMutex mutex;
    CommandRunner::Mode mode = CommandRunner::Real;
    QList<CommandCall> calls;
    QList<QPair<QString, CommandResult>> answers;
};

RunnerState& state()
{
    static RunnerState s;
    return s;
}

// Programs that change the machine they run on; in log mode they are never started.
const QStringList kHostChangingPrograms = {
    "reboot", "init", "shutdown", "poweroff", "halt", "date", "hwclock", "mount", "umount",
    "ifconfig", "iwconfig", "ip", "route", "tsc", "notify-send", "netplan", "ifup", "ifdown",
    "dhclient", "systemctl", "ipcrm", "wpa_supplicant",
};
// Folders of the host that no demo may write into.
const QStringList kProtectedRoots = {"/sys", "/etc", "/root", "/boot", "/dev", "/proc", "/usr", "/lib"};

bool writesProtected(const QString& segment)
{
    static const QRegularExpression redirect(R"(>{1,2}\s*(\S+))");
    auto it = redirect.globalMatch(segment);
    while (it.hasNext()) {
        const QString target = it.next().captured(1);
        for (const QString& root : kProtectedRoots)
            if (target == root || target.startsWith(root + "/"))
                return true;
    }
    const QStringList words = segment.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return false;
    const QString prog = QFileInfo(words.first()).fileName();
    static const QStringList writers = {"cp", "mv", "rm", "tar", "tee", "dd", "ln", "chmod", "chown", "mkdir", "rsync"};
    if (!writers.contains(prog))
        return false;
    for (int i = 1; i < words.size(); ++i)
        for (const QString& root : kProtectedRoots)
            if (words[i] == root || words[i].startsWith(root + "/"))
                return true;
    return false;
}

bool segmentChangesHost(const QString& segment)
{
    QStringList words = segment.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    while (!words.isEmpty() && (words.first() == "sudo" || words.first() == "nohup" || words.first() == "exec"
                                || words.first().contains('=')))
        words.removeFirst();
    if (words.isEmpty())
        return false;
    const QString prog = QFileInfo(words.first()).fileName();
    if (kHostChangingPrograms.contains(prog))
        return true;
    if (segment.contains("upnetcard"))   // the network-card set-up script rewrites the host's network
        return true;
    return writesProtected(segment);
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
    case Real: return "real";
    case Record: return "record";
    case Log: return "log";
    }
    return "real";
}

bool CommandRunner::isHostChanging(const CommandCall& call)
{
    if (!call.shell) {
        const QString prog = QFileInfo(call.program).fileName();
        if (kHostChangingPrograms.contains(prog))
            return true;
        if ((prog == "sh" || prog == "bash") && call.args.size() >= 2 && call.args[0] == "-c")
            return isHostChanging(CommandCall{true, call.args[1], QString(), {}, false});
        return segmentChangesHost(call.text);
    }
    static const QRegularExpression separators(R"(;|&&|\|\||\||&|\n|`|\$\()");
    for (const QString& segment : call.text.split(separators, Qt::SkipEmptyParts))
        if (segmentChangesHost(segment.trimmed()))
            return true;
    return false;
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
    for (const CommandCall& c : calls())
        texts << c.text;
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
        QMutexLocker lock(&state().mutex);
        state().calls.append(call);
        return CommandResult();
    }
    call.executed = true;
    {
        QMutexLocker lock(&state().mutex);
        state().calls.append(call);
    }
    QProcess proc;
    if (mergeChannels)
        proc.setProcessChannelMode(QProcess::MergedChannels);
    if (call.shell)
        proc.start("/bin/sh", {"-c", call.text});
    else
        proc.start(call.program, call.args);
    CommandResult result;
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

int CommandRunner::system(const QString& line)
{
    return shell(line, -1).exitCode;
}

CommandResult CommandRunner::shell(const QString& line, int timeoutMs)
{
    CommandCall call{true, line, "sh", {"-c", line}, false};
    return dispatch(call, timeoutMs, true);
}

CommandResult CommandRunner::run(const QString& program, const QStringList& args, int timeoutMs, bool mergeChannels)
{
    CommandCall call{false, (QStringList{program} + args).join(' '), program, args, false};
    return dispatch(call, timeoutMs, mergeChannels);
}

bool CommandRunner::startDetached(const QString& program, const QStringList& args)
{
    CommandCall call{false, (QStringList{program} + args).join(' '), program, args, false};
    const Mode m = mode();
    if (m == Record || (m == Log && isHostChanging(call))) {
        if (m == Log)
            qInfo().noquote() << "command not run (log mode):" << call.text;
        QMutexLocker lock(&state().mutex);
        state().calls.append(call);
        return true;
    }
    call.executed = true;
    {
        QMutexLocker lock(&state().mutex);
        state().calls.append(call);
    }
    return QProcess::startDetached(program, args);
}

AsyncCommand::AsyncCommand(QObject* parent) : QObject(parent) {}

AsyncCommand::~AsyncCommand()
{
    kill();
}

void AsyncCommand::start(const QString& program, const QStringList& args)
{
    kill();
    CommandCall call{false, (QStringList{program} + args).join(' '), program, args, false};
    const CommandRunner::Mode m = CommandRunner::mode();
    running = true;
    if (m == CommandRunner::Record || (m == CommandRunner::Log && CommandRunner::isHostChanging(call))) {
        // Recorded like a blocking call; the scripted answer arrives from the event loop.
        const CommandResult answer = m == CommandRunner::Record ? CommandRunner::run(program, args)
                                                                : CommandResult();
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
