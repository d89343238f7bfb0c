// Network services: the API under a bounded load with a Modbus poller, the API and a Modbus poller
// with idle and slow HTTP connections and a Modbus client that never reads held, and the network
// calls of a cycle with the peer.
//
// One run on the development machine (8 cores shared with other builds and tests, so figures
// move by a factor of two between runs), Release build:
//   API load: 1000 requests (200 malformed) from 4 clients in 1.51 s = 662 requests/s; 1000
//     answered as expected; GUI thread's longest stall 51.4 ms; 263 Modbus polls meanwhile;
//     baseline: the query alone on one thread 1632 queries/s.
//   API, 400 valid requests from 4 clients: nothing else connected (baseline) 769 requests/s,
//     p50 3.8 ms, p99 31.4 ms, Modbus poll p99 2.2 ms; with 200 idle and 10 slow connections
//     held (from four addresses, the server closing and the holder reopening them) and a Modbus
//     client sending without reading (5886 KiB pushed in before it was held) 929 requests/s,
//     p50 3.7 ms, p99 10.9 ms, 400 of 400 answered, Modbus poll p99 0.5 ms, 78 of 78 answered.
//     Before the Modbus bounds, against the program (`bench_net 127.0.0.1:PORT --modbus PORT`):
//     the poller got 1 answer in 3.7 s while the other client flooded (10753 KiB pushed in);
//     after: 83 of 83, p99 0.6 ms.
//   Peer client: 976 queued messages delivered in 0.32 s = 3095 messages/s.
//   Network calls of one cycle on the GUI thread: networking off (baseline) 54.9 us, peer up
//     110.0 us, peer away 105.2 us (1000 queued = the bound).
// `bench_net HOST:PORT [--modbus PORT]` measures only the held connections against a running
// monitor (the demo's API is 127.0.0.1:18100, its Modbus 18502); `--held-requests N` sets the
// requests per client.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <httplib.h>

#include "commandrunner.h"
#include "factory-data/factorydata.h"
#include "globals.h"
#include "httpapiserver.h"
#include "modbusserver.h"
#include "platformconfig.h"
#include "resstatisticsdatabase.h"
#include "tnr_netmn.h"
#include "viewwatch2vrq.h"

namespace {

constexpr int kClients = 4;
constexpr int kPerClient = 250;
constexpr int kCycles = 2000;
constexpr int kIdle = 200;
constexpr int kSlow = 10;
int gHeldRequests = 100;  // per client; "--held-requests N" changes it
const char* const kDay = R"({"starttime": "2026-12-07 00:00:00", "finishtime": "2026-12-07 23:59:59"})";

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : -1;
}

void writeConfig(bool net, bool api)
{
    QDir().mkpath("cnt_net");
    QFile f("cnt_net/config.json");
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(
        QJsonDocument(QJsonObject{{"devicename", "bench"}, {"device_worknetfunc", net}, {"device_workapifunc", api}})
            .toJson());
}

void waitEvents(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// A connection from `source` when given (an address of the loopback range: the API shares its
// cap per client address).
int connectTo(const std::string& host, int port, const char* source = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (source) {
        sockaddr_in from = {};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
    }
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    ::inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int modbusSocket(int port)
{
    return connectTo("127.0.0.1", port);
}

// One Modbus read of the five registers; false on any fault.
bool modbusRead(int fd, quint16 t)
{
    const unsigned char req[12] = {quint8(t >> 8), quint8(t), 0, 0, 0, 6, 1, 3, 0, 0, 0, 5};
    unsigned char rep[19];
    return ::send(fd, req, sizeof req, MSG_NOSIGNAL) == sizeof req &&
           ::recv(fd, rep, sizeof rep, MSG_WAITALL) == sizeof rep;
}

// The API under load: 1000 requests from 4 clients, every fifth malformed, a Modbus poller and
// a cycle every 10 ms on the GUI thread.
void loadRun(TNR_NETMN* net)
{
    writeConfig(false, true);
    net->initStart();
    const int apiPort = net->apiServer->port();

    // Baseline: the query alone on this thread, as many times as valid requests are sent.
    const int validCount = kClients * kPerClient * 4 / 5;
    QElapsedTimer base;
    base.start();
    for (int i = 0; i < validCount; ++i) {
        QJsonObject r;
        ResStatisticsDatabase::loadCount("2026-12-07 00:00:00", "2026-12-07 23:59:59", r, QString());
    }
    const double baseS = base.nsecsElapsed() / 1e9;

    const int modbusPort = freePort();
    ModbusServer modbus("127.0.0.1", modbusPort);
    std::atomic<bool> done{false};
    std::atomic<int> polls{0};
    std::thread poller([&] {
        const int fd = modbusSocket(modbusPort);
        quint16 t = 0;
        while (fd >= 0 && !done) {
            if (!modbusRead(fd, ++t))
                break;
            ++polls;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (fd >= 0)
            ::close(fd);
    });
    QTimer cycles;
    QObject::connect(&cycles, &QTimer::timeout, [net] {
        net->start_PeriodRecord();
        net->roiCache.insert(TNR_NETMN::roiKey(0, 1, 0), param_roi{0, 1, 0, 2, 17, 0, 40, -1, 1});
        net->finish_PeriodRecord();
        ++gAllCycleNum[0];
    });
    cycles.start(10);

    std::atomic<int> finished{0}, ok{0};
    qint64 worstUs = 0;
    QElapsedTimer run;
    run.start();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", apiPort);
            client.set_read_timeout(30, 0);
            for (int i = 0; i < kPerClient; ++i) {
                const bool bad = (i + c) % 5 == 0;
                const auto r = client.Post(HttpApiServer::kRouteCount,
                                           bad ? std::string("{starttime") : std::string(kDay), "application/json");
                if (r && r->status == (bad ? 400 : 200))
                    ++ok;
                ++finished;
            }
        });
    }
    QElapsedTimer gap;
    gap.start();
    while (finished < kClients * kPerClient) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        worstUs = std::max(worstUs, gap.nsecsElapsed() / 1000);
        gap.restart();
    }
    const double s = run.nsecsElapsed() / 1e9;
    for (std::thread& t : clients) t.join();
    done = true;
    poller.join();
    cycles.stop();
    std::printf(
        "API load: %d requests (%d malformed) from %d clients in %.2f s = %.0f requests/s; %d answered as expected\n",
        kClients * kPerClient, kClients * kPerClient / 5, kClients, s, kClients * kPerClient / s, ok.load());
    std::printf("  GUI thread's longest stall between two event passes: %.1f ms; Modbus polls meanwhile: %d\n",
                worstUs / 1000.0, polls.load());
    std::printf("  baseline: the query alone on one thread, %d times: %.2f s = %.0f queries/s\n", validCount, baseS,
                validCount / baseS);
}

// Connections that occupy the API: `idle` that never send and `slow` that send one byte of a
// head every 2 s, each opened again when the server closes it; on this machine spread over four
// client addresses, each within its share of the cap.
class Holder
{
public:
    Holder(std::string host, int port, int idle, int slow) : host(std::move(host)), port(port)
    {
        local = this->host.rfind("127.", 0) == 0;
        for (int i = 0; i < idle + slow; ++i) conns.push_back({-1, i >= idle, 0, 0});
        thread = std::thread([this] { run(); });
    }
    ~Holder()
    {
        stop = true;
        thread.join();
        for (Conn& c : conns)
            if (c.fd >= 0)
                ::close(c.fd);
    }
    int open() const { return opened; }
    int reopened() const { return reopens; }

private:
    struct Conn
    {
        int fd;
        bool slow;
        size_t sent;
        qint64 lastMs;
    };
    void run()
    {
        static const std::string head = std::string("POST ") + HttpApiServer::kRouteCount + " HTTP/1.1\r\nHost: x\r\n";
        QElapsedTimer clock;
        clock.start();
        while (!stop) {
            int count = 0;
            for (Conn& c : conns) {
                char buf[512];
                if (c.fd >= 0 && (::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT) == 0 ||
                                  (errno != EAGAIN && errno != EWOULDBLOCK && errno != 0))) {
                    ::close(c.fd);
                    c.fd = -1;
                    ++reopens;
                }
                errno = 0;
                if (c.fd < 0) {
                    static const char* const kSources[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
                    c.fd = connectTo(host, port, local ? kSources[(&c - conns.data()) % 4] : nullptr);
                    c.sent = 0;
                    c.lastMs = clock.elapsed() - 2000;
                }
                if (c.fd >= 0 && c.slow && clock.elapsed() - c.lastMs >= 2000) {
                    ::send(c.fd, head.data() + c.sent % head.size(), 1, MSG_NOSIGNAL);
                    ++c.sent;
                    c.lastMs = clock.elapsed();
                }
                count += c.fd >= 0;
            }
            opened = count;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    const std::string host;
    const int port;
    bool local = false;
    std::vector<Conn> conns;
    std::atomic<bool> stop{false};
    std::atomic<int> opened{0}, reopens{0};
    std::thread thread;
};

// A Modbus client that sends read requests as fast as the server takes them and never reads
// the answers.
class ModbusFlood
{
public:
    explicit ModbusFlood(int port) : fd(modbusSocket(port))
    {
        if (fd >= 0)
            thread = std::thread([this] { run(); });
    }
    ~ModbusFlood()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        if (fd >= 0)
            ::close(fd);
    }
    long long pushedBytes() const { return pushed; }

private:
    void run()
    {
        std::string burst;
        for (int i = 0; i < 100; ++i) burst += std::string("\0\1\0\0\0\6\1\3\0\0\0\5", 12);
        while (!stop) {
            const ssize_t n = ::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                pushed += n;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    const int fd;
    std::atomic<bool> stop{false};
    std::atomic<long long> pushed{0};
    std::thread thread;
};

struct Latency
{
    double perSecond = 0;
    double p50Ms = 0, p99Ms = 0, maxMs = 0;
    int ok = 0, sent = 0;
    // A Modbus client polling every 5 ms meanwhile, when a port is given.
    int polls = 0, pollFaults = 0;
    double pollP99Ms = 0, pollMaxMs = 0;
};

// kClients clients, `each` valid requests apiece on kept-alive connections; `pump` runs the
// GUI thread's events meanwhile (the in-process server answers there).
Latency measure(const std::string& host, int port, int modbusPort, int each, bool pump)
{
    std::vector<double> ms;
    std::mutex msMutex;
    std::atomic<int> ok{0}, finished{0};
    std::vector<double> pollMs;
    int pollFaults = 0;
    std::thread poller([&] {
        const int fd = modbusPort > 0 ? modbusSocket(modbusPort) : -1;
        if (modbusPort > 0 && fd < 0)
            ++pollFaults;
        timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        for (quint16 t = 1; fd >= 0 && finished < kClients; ++t) {
            QElapsedTimer took;
            took.start();
            if (!modbusRead(fd, t)) {
                ++pollFaults;
                break;
            }
            pollMs.push_back(took.nsecsElapsed() / 1e6);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (fd >= 0)
            ::close(fd);
    });
    QElapsedTimer run;
    run.start();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            httplib::Client client(host, port);
            client.set_read_timeout(30, 0);
            for (int i = 0; i < each; ++i) {
                QElapsedTimer t;
                t.start();
                const auto r = client.Post(HttpApiServer::kRouteCount, kDay, "application/json");
                const double took = t.nsecsElapsed() / 1e6;
                ok += r && r->status == 200;
                std::lock_guard<std::mutex> lock(msMutex);
                ms.push_back(took);
            }
            ++finished;
        });
    }
    while (finished < kClients) {
        if (pump)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (std::thread& t : clients) t.join();
    const double s = run.nsecsElapsed() / 1e9;
    poller.join();
    Latency l;
    std::sort(pollMs.begin(), pollMs.end());
    l.polls = int(pollMs.size());
    l.pollFaults = pollFaults;
    if (!pollMs.empty()) {
        l.pollP99Ms = pollMs[std::min(pollMs.size() - 1, pollMs.size() * 99 / 100)];
        l.pollMaxMs = pollMs.back();
    }
    std::sort(ms.begin(), ms.end());
    l.sent = int(ms.size());
    l.ok = ok;
    l.perSecond = ms.size() / s;
    l.p50Ms = ms[ms.size() / 2];
    l.p99Ms = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    l.maxMs = ms.back();
    return l;
}

void printModbus(const Latency& l)
{
    if (l.polls + l.pollFaults > 0)
        std::printf("  Modbus poller meanwhile: %d polls answered, %d failed, p99 %.1f ms, max %.1f ms\n", l.polls,
                    l.pollFaults, l.pollP99Ms, l.pollMaxMs);
}

// Valid requests with nothing else connected (baseline), then with 200 idle and 10 slow
// connections and a Modbus client that never reads held, in one run; a Modbus client polls
// throughout when a Modbus port is given.
void heldRun(const std::string& host, int port, int modbusPort, bool pump)
{
    const Latency none = measure(host, port, modbusPort, gHeldRequests, pump);
    std::printf(
        "API, %d valid requests from %d clients, nothing else connected (baseline): %.0f requests/s, "
        "p50 %.1f ms, p99 %.1f ms, max %.1f ms, %d of %d answered 200\n",
        none.sent, kClients, none.perSecond, none.p50Ms, none.p99Ms, none.maxMs, none.ok, none.sent);
    printModbus(none);
    Holder holder(host, port, kIdle, kSlow);
    std::unique_ptr<ModbusFlood> flood(modbusPort > 0 ? new ModbusFlood(modbusPort) : nullptr);
    // Until they are all open (and the first closings have come round).
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 2500) {
        if (pump)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int openBefore = holder.open();
    const Latency held = measure(host, port, modbusPort, gHeldRequests, pump);
    std::printf(
        "API, the same with %d idle and %d slow connections held (%d open before, %d after, %d reopened "
        "after the server closed them)%s: %.0f requests/s, p50 %.1f ms, p99 %.1f ms, max %.1f ms, %d of %d "
        "answered 200\n",
        kIdle, kSlow, openBefore, holder.open(), holder.reopened(),
        flood ? " and a Modbus client sending without reading" : "", held.perSecond, held.p50Ms, held.p99Ms, held.maxMs,
        held.ok, held.sent);
    printModbus(held);
    if (flood)
        std::printf("  the Modbus client that never reads pushed %lld KiB in\n", flood->pushedBytes() / 1024);
}

// The network calls one judged cycle makes on the GUI thread: period record with four regions,
// an operation record, and every tenth cycle an alarm start and finish.
double cycleCalls(TNR_NETMN* net, ViewWatch2VRQ* vw, int n)
{
    qint64 ns = 0;
    QElapsedTimer t;
    for (int i = 0; i < n; ++i) {
        t.start();
        net->start_PeriodRecord();
        for (int r = 0; r < 4; ++r)
            net->roiCache.insert(TNR_NETMN::roiKey(0, 1, r), param_roi{0, 1, r, 2, 10 + r, 0, 40, -1, 1});
        vw->sndRecordOperate(QJsonObject{
            {"recordtime", "09.00.00"}, {"recordpassword", "Unlogged"}, {"remarks", "bench"}, {"recordtype", "run"}});
        net->finish_PeriodRecord();
        if (i % 10 == 0) {
            vw->sndAlarmStartTiming(1);
            vw->addClearMethod(0, 4);
            vw->alarmState = ViewWatch2VRQ::kAlarmFinishPending;
            vw->sndAlarmFinishTiming();
        }
        ns += t.nsecsElapsed();
        // Between cycles the GUI thread runs its events, the client's replies among them.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return ns / 1000.0 / n;
}

void cycleRuns(TNR_NETMN* net)
{
    ViewWatch2VRQ* vw = net->vw;
    const int peerPort = freePort();
    NetPorts::current().peer = peerPort;

    writeConfig(false, false);
    net->initStart();
    const double off = cycleCalls(net, vw, kCycles);

    httplib::Server peer;
    // The library writes a reply's head and body apart: without this the peer's own Nagle
    // delay, not the client, would set the pace.
    peer.set_tcp_nodelay(true);
    std::atomic<int> received{0};
    peer.Post(R"(/inline/bymain/.*)", [&](const httplib::Request&, httplib::Response& res) {
        ++received;
        res.set_content(R"({"code":0})", "application/json");
    });
    peer.bind_to_port("127.0.0.1", peerPort);
    std::thread peerThread([&] { peer.listen_after_bind(); });
    writeConfig(true, false);
    net->initStart();
    const double up = cycleCalls(net, vw, kCycles);
    const int queuedUp = vw->pending();
    // The burst above outruns any peer; how fast the queue drains is the client's rate.
    const int receivedBefore = received;
    QElapsedTimer drain;
    drain.start();
    waitEvents([&] { return vw->pending() == 0; });
    const double drainS = drain.nsecsElapsed() / 1e9;
    const int drained = received - receivedBefore;
    peer.stop();
    peerThread.join();

    // The peer away: the port is closed; the first refusal marks the link down.
    vw->sndRecordOperate(QJsonObject{{"remarks", "probe"}});
    waitEvents([&] { return net->isAllowSnd_2_VW() == ViewWatch2VRQ::kLinkDown; });
    const double away = cycleCalls(net, vw, kCycles);
    std::printf("peer client: %d queued messages delivered in %.2f s = %.0f messages/s\n", drained, drainS,
                drained / drainS);
    std::printf("cycle's network calls on the GUI thread, per cycle over %d cycles:\n", kCycles);
    std::printf(
        "  networking off (baseline) %.1f us; peer up %.1f us (%d messages received, %d still queued); peer away %.1f "
        "us "
        "(%d queued, bound %d)\n",
        off, up, received.load(), queuedUp, away, vw->pending(), ViewWatch2VRQ::kQueueBound);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // bench_net [HOST:PORT] [--held-requests N]: with a target, only the held connections are
    // measured, against a running monitor.
    std::string target;
    int modbusPort = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--held-requests") == 0 && i + 1 < argc)
            gHeldRequests = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--modbus") == 0 && i + 1 < argc)
            modbusPort = std::atoi(argv[++i]);
        else if (std::strchr(argv[i], ':'))
            target = argv[i];
    }
    if (!target.empty()) {
        QCoreApplication app(argc, argv);
        const size_t colon = target.rfind(':');
        heldRun(target.substr(0, colon), std::stoi(target.substr(colon + 1)), modbusPort, false);
        return 0;
    }
    CommandRunner::setMode(CommandRunner::Record);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    FactoryData::writeStatisticsDb("ResStatistics.db");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    NetPorts::current().listen = "127.0.0.1";
    NetPorts::current().api = 0;
    gDeviceID = "bench";
    HttpApiServer::setCountQuery([](const QString& a, const QString& b, QJsonObject& r) {
        return ResStatisticsDatabase::loadCount(a, b, r, QString());
    });
    TNR_NETMN* net = TNR_NETMN::getInstance();
    loadRun(net);
    writeConfig(false, true);
    net->initStart();
    {
        const int modbusPort = freePort();
        ModbusServer modbus("127.0.0.1", modbusPort);
        heldRun("127.0.0.1", net->apiServer->port(), modbus.listening() ? modbusPort : -1, true);
    }
    cycleRuns(net);
    net->apiServer->stop();
    return 0;
}
