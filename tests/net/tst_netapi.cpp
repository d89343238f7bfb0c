// HTTP API server: the service switch, the counts route, bad requests and a bounded load with a Modbus poller.
// ctest-timeout: 300
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTimer>
#include <QtTest>

#include <httplib.h>

#include "factoryfixture.h"
#include "globals.h"
#include "httpapiserver.h"
#include "modbusserver.h"
#include "netpeer.h"
#include "networksettingdialog.h"
#include "platformconfig.h"
#include "resstatisticsdatabase.h"
#include "testsupport.h"
#include "tnr_netmn.h"

namespace {

struct Answer
{
    int status = -1;  // -1: no answer within the client's time-out
    QJsonObject body;
};

const char* const kSeries[] = {"detect_all", "detect_all_detail", "detect_ng", "detect_ng_detail", "every_detect"};

Answer post(int port, const std::string& body, int timeoutS)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(timeoutS, 0);
    client.set_connection_timeout(timeoutS, 0);
    const auto r = client.Post(HttpApiServer::kRouteCount, body, "application/json");
    Answer a;
    if (r) {
        a.status = r->status;
        a.body = QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
    }
    return a;
}

// Asks from another thread while the GUI thread (this one) runs its events, as the program's
// would while it answers.
Answer ask(const QByteArray& body, int timeoutS = 20)
{
    const int port = TNR_NETMN::getInstance()->apiServer->port();
    auto future =
        std::async(std::launch::async, [port, body, timeoutS] { return post(port, body.toStdString(), timeoutS); });
    while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(2);
    return future.get();
}

void writeConfig(bool api, bool net = false)
{
    QDir().mkpath("cnt_net");
    QFile f("cnt_net/config.json");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(QJsonObject{{"devicename", "Press 7"},
                                      {"device_worknetfunc", net},
                                      {"device_workvideo", false},
                                      {"device_workapifunc", api},
                                      {"workspace", "./cnt_net/workspace"}})
                .toJson());
}

const QByteArray kDay = R"({"starttime": "2026-12-07 00:00:00", "finishtime": "2026-12-07 23:59:59"})";

bool hasSeries(const QJsonObject& o)
{
    for (const char* key : kSeries)
        if (!o.contains(key))
            return false;
    return true;
}

// One Modbus TCP "read holding registers 0..4" exchange on a plain socket; false on any fault.
bool readRegisters(int fd, quint16 transaction, quint16 out[5])
{
    const unsigned char request[12] = {quint8(transaction >> 8), quint8(transaction), 0, 0, 0, 6, 1, 3, 0, 0, 0, 5};
    if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request)
        return false;
    unsigned char reply[19];
    size_t got = 0;
    while (got < sizeof reply) {
        const ssize_t n = ::recv(fd, reply + got, sizeof reply - got, 0);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    if (reply[7] != 3 || reply[8] != 10)
        return false;
    for (int i = 0; i < 5; ++i) out[i] = quint16(reply[9 + 2 * i] << 8 | reply[10 + 2 * i]);
    return true;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

class TestNetApi : public QObject
{
    Q_OBJECT

    TNR_NETMN* net = nullptr;
    std::atomic<int> queries{0};

private slots:
    void initTestCase()
    {
        QVERIFY(FactoryFixture::writeAll("."));
        NetPorts::current().listen = "127.0.0.1";
        NetPorts::current().api = 0;  // any free port
        NetPorts::current().peer = FreePort();
        gDeviceID = "SN-0042";
        // The query start-up hands in (HandNetworkQueries), counted.
        HttpApiServer::setCountQuery([this](const QString& start, const QString& finish, QJsonObject& result) {
            ++queries;
            return ResStatisticsDatabase::loadCount(start, finish, result, QString());
        });
        writeConfig(false);
        net = TNR_NETMN::getInstance();
        net->initStart();
        QVERIFY(net->apiServer && net->apiServer->listening());
    }

    // Off: 403 with the service's text; on: the five series with the device's identity.
    // Restarting with the same settings keeps the listening server.
    void switchDecidesAndRestartKeepsTheServer()
    {
        const Answer off = ask(kDay);
        QCOMPARE(off.status, 403);
        QCOMPARE(off.body.value("message").toString(), QString("未启用API服务"));

        const int port = net->apiServer->port();
        writeConfig(true);
        net->initStart();
        QCOMPARE(net->apiServer->port(), port);
        const Answer on = ask(kDay);
        QCOMPARE(on.status, 200);
        QVERIFY(hasSeries(on.body));
        QCOMPARE(on.body.value("device_sn").toString(), QString("SN-0042"));
        QCOMPARE(on.body.value("device_id").toString(), QString("Press 7"));
        // A day of hours per series.
        QCOMPARE(on.body.value("detect_all").toArray().size(), 24);
    }

    // A malformed body gets 400 at once (the client gives up after a second); the busy mark
    // is gone with it, so the next valid request is answered. Bad moments never reach the
    // query on the GUI thread.
    void badRequestsAnswered400AndReleaseTheRoute_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not json") << QByteArray("{starttime: ");
        QTest::newRow("no times") << QByteArray("{}");
        QTest::newRow("finish missing") << QByteArray(R"({"starttime": "2026-12-07 00:00:00"})");
        QTest::newRow("numbers") << QByteArray(R"({"starttime": 1, "finishtime": 2})");
        QTest::newRow("unparsable") << QByteArray(R"({"starttime": "yesterday", "finishtime": "2026-12-07 23:59:59"})");
        QTest::newRow("bad date") << QByteArray(
            R"({"starttime": "2026-02-30 00:00:00", "finishtime": "2026-12-07 23:59:59"})");
    }
    void badRequestsAnswered400AndReleaseTheRoute()
    {
        QFETCH(QByteArray, body);
        writeConfig(true);
        net->initStart();
        const int before = queries;
        const Answer bad = ask(body, 1);
        QCOMPARE(bad.status, 400);
        QCOMPARE(queries.load(), before);
        const Answer next = ask(kDay, 3);
        QCOMPARE(next.status, 200);
        QVERIFY(hasSeries(next.body));
    }

    // The network dialog's API switch takes effect on the running server, no restart needed.
    void apiSwitchedOnInTheDialogAnswersAtOnce()
    {
        writeConfig(false);
        net->initStart();
        QCOMPARE(ask(kDay).status, 403);
        NetworkSettingDialog dialog(nullptr);
        QVERIFY(!dialog.apiCheck->isChecked());
        dialog.apiCheck->setChecked(true);
        dialog.slotUpdateVRQ();
        const Answer on = ask(kDay);
        QCOMPARE(on.status, 200);
        QVERIFY(hasSeries(on.body));
        dialog.apiCheck->setChecked(false);
        dialog.slotUpdateVRQ();
        QCOMPARE(ask(kDay).status, 403);
        writeConfig(true);
        net->initStart();
    }

    // Ten years are asked: the answer covers at most a year and a day of hours.
    void windowIsCapped()
    {
        const Answer a = ask(R"({"starttime": "2020-01-01 00:00:00", "finishtime": "2030-01-01 00:00:00"})");
        QCOMPARE(a.status, 200);
        QVERIFY(a.body.value("detect_all").toArray().size() <= 367 * 24);
    }

    // A port already taken: logged once, nothing listens, the program goes on.
    void portInUseIsLoggedOnce()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        TestSupport::clearCapturedMessages();
        HttpApiServer other;
        QVERIFY(!other.start("127.0.0.1", taken.serverPort()));
        QVERIFY(!other.listening());
        QCOMPARE(TestSupport::capturedMessages().filter("HTTP API: cannot listen").size(), 1);
        ModbusServer modbus("127.0.0.1", taken.serverPort());
        QVERIFY(!modbus.listening());
        QCOMPARE(TestSupport::capturedMessages().filter("Modbus server: cannot listen").size(), 1);
    }

    // 1000 requests from 4 clients, a fifth of them malformed, while a Modbus client polls and
    // cycles hand their records to the network services on the GUI thread.
    void boundedLoad()
    {
        writeConfig(true);
        net->initStart();
        const int apiPort = net->apiServer->port();
        const int modbusPort = FreePort();
        ModbusServer modbus("127.0.0.1", modbusPort);
        QVERIFY(modbus.listening());

        // Cycles: a period record with two regions and the counters every 10 ms.
        QTimer cycles;
        int cycleCount = 0;
        connect(&cycles, &QTimer::timeout, [&] {
            net->start_PeriodRecord();
            net->roiCache.insert(TNR_NETMN::roiKey(0, 1, 0), param_roi{0, 1, 0, 2, 17, 0, 40, -1, 1});
            net->roiCache.insert(TNR_NETMN::roiKey(0, 1, 1), param_roi{0, 1, 1, 2, 55, 0, 40, -1, 0});
            net->finish_PeriodRecord();
            ++gAllCycleNum[0];
            ++cycleCount;
        });
        cycles.start(10);
        // The GUI thread's longest gap between two 1 ms ticks.
        QElapsedTimer tick;
        qint64 worst = 0;
        QTimer stall;
        stall.setTimerType(Qt::PreciseTimer);
        connect(&stall, &QTimer::timeout, [&] { worst = std::max(worst, tick.restart()); });

        constexpr int kClients = 4;
        constexpr int kPerClient = 250;
        std::atomic<int> valid{0}, validOk{0}, malformed{0}, malformedOk{0}, wrong{0};
        std::atomic<bool> loadDone{false};
        std::atomic<int> polls{0}, pollFaults{0};
        std::atomic<quint16> lastCycles{0};

        std::thread poller([&] {
            const int fd = connectTo(modbusPort);
            if (fd < 0) {
                ++pollFaults;
                return;
            }
            quint16 t = 0;
            while (!loadDone) {
                quint16 regs[5];
                if (readRegisters(fd, ++t, regs)) {
                    ++polls;
                    lastCycles = regs[1];
                } else {
                    ++pollFaults;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::close(fd);
        });

        const std::string malformedBodies[] = {"{starttime", "{}", R"({"starttime": "2026-12-07 00:00:00"})",
                                               R"({"starttime": "soon", "finishtime": "later"})",
                                               std::string(2000, 'x')};
        QElapsedTimer run;
        run.start();
        tick.start();
        stall.start(1);
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", apiPort);
                client.set_read_timeout(20, 0);
                for (int i = 0; i < kPerClient; ++i) {
                    const bool bad = (i + c) % 5 == 0;
                    const std::string body = bad ? malformedBodies[(i / 5 + c) % 5] : kDay.toStdString();
                    const auto r = client.Post(HttpApiServer::kRouteCount, body, "application/json");
                    if (bad) {
                        ++malformed;
                        if (r && r->status == 400)
                            ++malformedOk;
                    } else {
                        ++valid;
                        const QJsonObject o =
                            r ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object() : QJsonObject();
                        if (r && r->status == 200 && hasSeries(o) && o.value("device_sn").toString() == "SN-0042")
                            ++validOk;
                        else
                            ++wrong;
                    }
                }
            });
        }
        // Garbage that is no HTTP at all, on raw connections, mixed in (from a thread of its
        // own: a blocking connect must not count as a stall of the GUI thread).
        std::atomic<int> junkSent{0};
        clients.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                const int fd = connectTo(apiPort);
                if (fd < 0)
                    continue;
                const char junk[] = "\x16\x03\x01 not a request\r\n\r\n";
                if (::send(fd, junk, sizeof junk - 1, MSG_NOSIGNAL) > 0)
                    ++junkSent;
                ::close(fd);
            }
        });
        QDeadlineTimer deadline(240000);
        while (valid + malformed < kClients * kPerClient && !deadline.hasExpired()) QTest::qWait(5);
        for (std::thread& t : clients) t.join();
        const double seconds = run.nsecsElapsed() / 1e9;
        stall.stop();
        cycles.stop();
        loadDone = true;
        poller.join();

        qInfo(
            "load: %d requests in %.2f s = %.0f requests/s; GUI thread's longest stall %lld ms; %d Modbus polls; %d "
            "cycles",
            kClients * kPerClient, seconds, kClients * kPerClient / seconds, worst, polls.load(), cycleCount);
        QCOMPARE(valid + malformed, kClients * kPerClient);
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(validOk.load(), valid.load());
        QCOMPARE(malformedOk.load(), malformed.load());
        QCOMPARE(pollFaults.load(), 0);
        QCOMPARE(junkSent.load(), 5);
        QVERIFY(polls > 0);
        QVERIFY(cycleCount > 0);
        // The poller saw the cycle counter move.
        QVERIFY(lastCycles.load() > 0);
    }

    void cleanupTestCase() { net->apiServer->stop(); }
};

MONITOR_TEST_MAIN(TestNetApi)
#include "tst_netapi.moc"
