// Start-up and memory of the program started as ./run.sh starts it, beside an earlier build in the same run
//
// Each run copies a runtime folder prepared by scripts/prepare-run.sh (factory data and the demo
// mould), puts the simulated IO board on a pseudo-terminal, writes platform.json as
// scripts/write-platform-json.sh does (free loopback ports instead of the demo's), and starts
// ./monitor on the VNC platform with the loopback shim, as ./run.sh does without a display.
// Measured per run: the first poll frame at the board after the fork, the resident memory and
// threads 5 s after that poll, and what the first NG (a left-over part on camera 1, input 1
// pulsed) adds once the alarm has released itself and its picture is written. The builds take
// turns, so both see the same load.
//
// Usage: bench_startup --base <bin folder of the earlier build> [--runs N] [--source <source folder>]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>

#include "ioboard-sim/ioboardsim.h"

namespace {

constexpr int kPollCommand = 2;     // the IO thread's poll of the inputs
constexpr unsigned kAlarmBit = 1u << 2;
constexpr int kMouldOpenInput = 0;  // input 1
constexpr int kPulseMs = 200;
constexpr int kFirstPollTimeoutMs = 20000;
constexpr int kIdleSettleMs = 5000;
constexpr int kAlarmTimeoutMs = 15000;
constexpr int kAfterAlarmMs = 8000;  // the demo mould's alarm releases itself after 5 s
constexpr int kStopTimeoutMs = 10000;
const char* const kScreen = "1920x1080";

struct Sample
{
    double firstPollMs = -1;
    double idleMb = -1;
    int threads = -1;
    double ngAddsMb = -1;
    int polls = 0;
    bool alarm = false;
};

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : -1;
}

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// VmRSS in MB and the thread count of a running process.
bool readStatus(pid_t pid, double* rssMb, int* threads)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() >= 2 && w[0] == "VmRSS:")
            *rssMb = w[1].toDouble() / 1024.0;
        else if (w.size() >= 2 && w[0] == "Threads:")
            *threads = w[1].toInt();
    }
    return true;
}

double loadAverage()
{
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').first().toDouble() : -1;
}

void writePlatformJson(const QString& dir, const QString& serial)
{
    const QJsonObject ports{{"api", freePort()}, {"peer", freePort()}, {"modbus", freePort()}};
    const QJsonObject conf{{"commands", "log"},
                           {"root", dir + "/sysroot"},
                           {"listen", "127.0.0.1"},
                           {"ports", ports},
                           {"serial", serial}};
    QFile f(dir + "/platform.json");
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QJsonDocument(conf).toJson());
    QDir().mkpath(dir + "/cnt_net");
    QFile net(dir + "/cnt_net/config.json");
    if (!net.exists() && net.open(QIODevice::WriteOnly))
        net.write(R"({"devicename": "demo", "device_worknetfunc": false, "device_workvideo": false,)"
                  R"( "device_workapifunc": true, "workspace": "./cnt_net/workspace"})");
}

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text);
}

// Forks and starts ./monitor in dir; *startUs receives the board clock just before the fork.
pid_t startMonitor(const QString& dir, const QString& shim, qint64* startUs)
{
    const int vncPort = freePort();
    const std::string cwd = dir.toStdString();
    const std::string platform = QString("vnc:size=%1:port=%2").arg(kScreen).arg(vncPort).toStdString();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("QT_QPA_PLATFORM_PLUGIN_PATH=/opt/Qt5.15.7/plugins/platforms");
    env.push_back("VNC_LOCAL_PORT=" + std::to_string(vncPort));
    env.push_back("LD_PRELOAD=" + shim.toStdString());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string prog = "./monitor", flag = "-platform";
    char* argv[] = {prog.data(), flag.data(), const_cast<char*>(platform.c_str()), nullptr};
    *startUs = IOBoardSim::clockUs();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (chdir(cwd.c_str()) == 0)
            execve(argv[0], argv, envp.data());
        _exit(127);
    }
    return pid;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

Sample measure(const QString& pristine, const QString& dir, const QString& shim)
{
    Sample s;
    QDir(dir).removeRecursively();
    if (!run("cp", {"-a", pristine, dir}))
        return s;
    IOBoardSim board;
    if (!board.start())
        return s;
    writePlatformJson(dir, board.devicePath());
    qint64 startUs = 0;
    const pid_t pid = startMonitor(dir, shim, &startUs);
    if (pid <= 0)
        return s;

    qint64 pollUs = -1;
    waitFor(
        [&] {
            for (const IOBoardSim::Frame& f : board.frames())
                if (f.command == kPollCommand) {
                    pollUs = f.atUs;
                    return true;
                }
            return waitpid(pid, nullptr, WNOHANG) != 0;
        },
        kFirstPollTimeoutMs);
    if (pollUs >= 0) {
        s.firstPollMs = (pollUs - startUs) / 1000.0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSettleMs));
        readStatus(pid, &s.idleMb, &s.threads);
        for (const IOBoardSim::Frame& f : board.frames()) s.polls += f.command == kPollCommand ? 1 : 0;

        writeFile(dir + "/simcamera.in", "defect 1 on\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the camera takes the part in
        board.pulseInput(kMouldOpenInput, kPulseMs);
        s.alarm = waitFor([&] { return (board.outputs() & kAlarmBit) != 0; }, kAlarmTimeoutMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(kAfterAlarmMs));
        double afterMb = -1;
        int threads = 0;
        if (s.alarm && readStatus(pid, &afterMb, &threads))
            s.ngAddsMb = afterMb - s.idleMb;
    }
    kill(pid, SIGTERM);
    if (!waitFor([&] { return waitpid(pid, nullptr, WNOHANG) != 0; }, kStopTimeoutMs)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    board.stop();
    return s;
}

double median(std::vector<double> v)
{
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

QString figures(const std::vector<double>& v, const char* format)
{
    QStringList parts;
    for (double x : v) parts << QString::asprintf(format, x);
    return parts.join(' ');
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const QString& name, const QString& fallback) {
        const int at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const QString ownBin = QCoreApplication::applicationDirPath();
    const QString baseBin = option("--base", QString());
    const int runs = option("--runs", "5").toInt();
    const QString source = option("--source", QDir(ownBin + "/../..").absolutePath());
    if (baseBin.isEmpty() || !QFileInfo::exists(baseBin + "/monitor") || runs < 1) {
        std::fprintf(stderr, "usage: bench_startup --base <bin folder of the earlier build> [--runs N] [--source DIR]\n");
        return 2;
    }

    const QString work = QString("/tmp/bench-startup-%1").arg(getpid());
    QDir().mkpath(work);
    const QString shim = work + "/vnc-localhost.so";
    if (!run("cc", {"-shared", "-fPIC", "-O2", "-o", shim, source + "/scripts/vnc-localhost.c", "-ldl"}))
        return 1;
    struct Build
    {
        const char* name;
        QString bin;
        QString pristine;
        std::vector<Sample> samples;
    };
    Build builds[] = {{"earlier", baseBin, work + "/pristine-earlier", {}}, {"this", ownBin, work + "/pristine-this", {}}};
    for (Build& b : builds) {
        if (!run(source + "/scripts/prepare-run.sh", {b.bin, b.pristine})) {
            std::fprintf(stderr, "cannot prepare a runtime folder from %s\n", qPrintable(b.bin));
            return 1;
        }
    }

    const double loadBefore = loadAverage();
    for (int r = 0; r < runs; ++r)
        for (Build& b : builds) {
            const Sample s = measure(b.pristine, work + "/run", shim);
            b.samples.push_back(s);
            std::printf("run %d %-8s first poll %7.1f ms  idle %6.1f MB %2d threads  first NG adds %6.1f MB%s\n", r + 1,
                        b.name, s.firstPollMs, s.idleMb, s.threads, s.ngAddsMb, s.alarm ? "" : "  (no NG alarm)");
            std::fflush(stdout);
        }
    const double loadAfter = loadAverage();

    std::printf("\nmedian of %d runs each, load average %.1f -> %.1f\n", runs, loadBefore, loadAfter);
    std::printf("%-22s %12s %12s\n", "", "earlier", "this");
    auto row = [&](const char* label, auto pick, const char* format) {
        std::vector<double> v[2];
        for (int i = 0; i < 2; ++i)
            for (const Sample& s : builds[i].samples) v[i].push_back(pick(s));
        std::printf("%-22s %12.1f %12.1f   (%s | %s)\n", label, median(v[0]), median(v[1]),
                    qPrintable(figures(v[0], format)), qPrintable(figures(v[1], format)));
    };
    row("first board poll ms", [](const Sample& s) { return s.firstPollMs; }, "%.0f");
    row("idle RSS MB", [](const Sample& s) { return s.idleMb; }, "%.0f");
    row("idle threads", [](const Sample& s) { return double(s.threads); }, "%.0f");
    row("first NG adds MB", [](const Sample& s) { return s.ngAddsMb; }, "%.0f");
    // Sanity: the board was polled at its 5 ms period while idle, and every run saw its NG alarm.
    for (const Build& b : builds) {
        int alarms = 0, polls = 0;
        for (const Sample& s : b.samples) {
            alarms += s.alarm ? 1 : 0;
            polls += s.polls;
        }
        std::printf("sanity %-8s NG alarms %d of %d, %.0f polls in the first %d s after the first one\n", b.name,
                    alarms, runs, double(polls) / runs, kIdleSettleMs / 1000);
    }
    QDir(work).removeRecursively();
    return 0;
}
