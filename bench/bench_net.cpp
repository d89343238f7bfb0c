// Network services: the API under a bounded load with a Modbus poller, and the network calls of a cycle with the peer
//
// One run on the development machine (8 cores shared with other builds), Release build:
//   API load: 1000 requests (200 malformed) from 4 clients in 0.50 s = 1986 requests/s; 1000
//     answered as expected; GUI thread's longest stall 2.1 ms; 96 Modbus polls meanwhile;
//     baseline: the query alone on one thread 2665 queries/s.
//   Peer client: 1000 queued messages delivered in 0.32 s = 3081 messages/s.
//   Network calls of one cycle on the GUI thread: networking off (baseline) 23.7 us, peer up
//     87.6 us, peer away 69.1 us (1000 queued = the bound).
// The same load inside tst_netapi (with its 1 ms stall probe and a cycle every 10 ms):
//   about 420 requests/s, longest GUI stall 9 to 11 ms.
// off, up and away.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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

int modbusSocket(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
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
            const unsigned char req[12] = {quint8(++t >> 8), quint8(t), 0, 0, 0, 6, 1, 3, 0, 0, 0, 5};
            unsigned char rep[19];
            if (::send(fd, req, sizeof req, MSG_NOSIGNAL) != sizeof req ||
                ::recv(fd, rep, sizeof rep, MSG_WAITALL) != sizeof rep)
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
    cycleRuns(net);
    net->apiServer->stop();
    return 0;
}
