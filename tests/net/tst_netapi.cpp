// HTTP API server: the service switch, the counts route, bad requests and a bounded load with a Modbus poller.
// ctest-timeout: 300
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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
#include "platformclock.h"
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

// A connection from `source` (an address of the loopback range): the API tells clients apart
// by their address.
int connectTo(int port, int timeoutS = 10, const char* source = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (source) {
        sockaddr_in from = {};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{timeoutS, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendText(int fd, const std::string& text)
{
    QCOMPARE(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
}

// One HTTP answer read from a raw connection; status -1 when the connection ends or the
// socket's time-out passes first.
Answer readAnswer(int fd)
{
    std::string in;
    char buf[4096];
    for (;;) {
        const size_t end = in.find("\r\n\r\n");
        if (end != std::string::npos) {
            QByteArray head = QByteArray::fromStdString(in.substr(0, end)).toLower();
            const int at = head.indexOf("content-length:");
            const size_t length = at < 0 ? 0 : size_t(head.mid(at + 15).split('\r').first().trimmed().toInt());
            if (in.size() >= end + 4 + length) {
                Answer a;
                a.status = std::stoi(in.substr(9, 3));
                a.body = QJsonDocument::fromJson(QByteArray::fromStdString(in.substr(end + 4, length))).object();
                return a;
            }
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return Answer{};
        in.append(buf, size_t(n));
    }
}


// A valid request of the day on a raw connection from `source`, answered while this (the GUI)
// thread runs its events.
Answer askFrom(int port, const char* source)
{
    const int fd = connectTo(port, 10, source);
    if (fd < 0)
        return Answer{};
    const std::string request = std::string("POST ") + HttpApiServer::kRouteCount +
                                " HTTP/1.1\r\nHost: monitor\r\nContent-Length: " + std::to_string(kDay.size()) +
                                "\r\n\r\n" + kDay.toStdString();
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    auto answer = std::async(std::launch::async, [fd] { return readAnswer(fd); });
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(2);
    ::close(fd);
    return answer.get();
}

// Threads of this process whose name starts with one of `names` (the servers name theirs).
int threadsNamed(const QStringList& names)
{
    int n = 0;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + task + "/comm");
        if (!comm.open(QIODevice::ReadOnly))
            continue;  // ended meanwhile
        const QString name = QString::fromLatin1(comm.readAll().trimmed());
        for (const QString& prefix : names) n += name.startsWith(prefix);
    }
    return n;
}

const std::string kHead = std::string("POST ") + HttpApiServer::kRouteCount + " HTTP/1.1\r\nHost: monitor\r\n";

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

    // A port already taken, here by the API of this program as by a second monitor on the
    // machine: logged once, nothing listens, the program goes on.
    void portInUseIsLoggedOnce()
    {
        const int taken = net->apiServer->port();
        TestSupport::clearCapturedMessages();
        HttpApiServer other;
        QVERIFY(!other.start("127.0.0.1", taken));
        QVERIFY(!other.listening());
        QCOMPARE(TestSupport::capturedMessages().filter("HTTP API: cannot listen").size(), 1);
        ModbusServer modbus("127.0.0.1", taken);
        QVERIFY(!modbus.listening());
        QCOMPARE(TestSupport::capturedMessages().filter("Modbus server: cannot listen").size(), 1);
    }

    // 200 idle connections and 10 that trickle their head in, from clients within their share
    // of the cap: a valid request is still answered, while they are held.
    void heldConnectionsDoNotSilenceTheApi()
    {
        writeConfig(true);
        net->initStart();
        const int port = net->apiServer->port();
        const char* const sources[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
        std::vector<int> held;
        for (int i = 0; i < 210; ++i) {
            const int fd = connectTo(port, 10, sources[i % 4]);
            QVERIFY(fd >= 0);
            if (i >= 200)
                sendText(fd, kHead.substr(0, 20));
            held.push_back(fd);
        }
        const Answer a = ask(kDay, 2);
        const int open = net->apiServer->connections();
        for (int fd : held) ::close(fd);
        QCOMPARE(a.status, 200);
        QVERIFY(hasSeries(a.body));
        QVERIFY2(open >= 200, qPrintable(QString::number(open)));
    }

    // On the steered clock: an idle connection is closed after kIdleCloseMs, unanswered; a
    // request that trickles in, a byte per step, kRequestMs after its connection opened (not per
    // byte), with a 408, whether its head or its request line was under way. Past its address's
    // share of the cap, or past the cap, a connection is answered 503 and closed at once; one
    // client holding its share keeps no other out.
    void deadlinesAndTheCap()
    {
        const int port = net->apiServer->port();
        const qint64 start = PlatformClock::monotonicMs();
        // Each sends its first text 1 s after connecting (an idle one nothing), then a byte a step.
        struct Held
        {
            const char* name;
            std::string first;
            int fd = -1;
            qint64 closed = -1;
            std::string got;
            bool begun = false;
            bool waited = false;
        } held[] = {{"idle", "", -1, -1, {}, false, false},
                    {"head under way", kHead, -1, -1, {}, false, false},
                    {"request line under way", "POST /v18/http", -1, -1, {}, false, false}};
        const auto deadlineOf = [](const Held& h) {
            // The first request counts from the connection, not from its first byte.
            return h.first.empty() ? HttpApiServer::kIdleCloseMs : HttpApiServer::kRequestMs;
        };
        for (Held& h : held) h.fd = connectTo(port);
        const auto open = [&] {
            return std::any_of(std::begin(held), std::end(held), [](const Held& h) { return h.closed < 0; });
        };
        while (PlatformClock::monotonicMs() - start < 3 * HttpApiServer::kRequestMs && open()) {
            const qint64 now = PlatformClock::monotonicMs() - start;
            for (Held& h : held)
                if (h.closed < 0 && !h.first.empty() && now >= 1000) {
                    sendText(h.fd, h.begun ? "X" : h.first);
                    h.begun = true;
                }
            PlatformClock::advanceMonotonic(100);
            // The server looks at the clock once a slice of its own time: once a deadline has
            // come, the clock stands still until that connection is closed (or clearly is not),
            // so that a loaded machine cannot make a timely close look late.
            Held* due = nullptr;
            for (Held& h : held)
                if (h.closed < 0 && !h.waited && PlatformClock::monotonicMs() - start >= deadlineOf(h))
                    due = &h;
            QElapsedTimer wall;
            wall.start();
            do {
                QTest::qWait(15);
                for (Held& h : held)
                    if (h.closed < 0 && ClosedByServer(h.fd, &h.got))
                        h.closed = PlatformClock::monotonicMs() - start;
            } while (due && due->closed < 0 && wall.elapsed() < 5000);
            if (due)
                due->waited = true;
        }
        for (const Held& h : held) {
            ::close(h.fd);
            const bool idle = h.first.empty();
            const qint64 from = deadlineOf(h);
            QVERIFY2(h.closed >= from && h.closed < from + 500,
                     qPrintable(QString("%1 closed at %2").arg(h.name).arg(h.closed)));
            QVERIFY2(idle ? h.got.empty()
                          : h.got.find("HTTP/1.1 408 ") == 0 && h.got.find(R"({"code":408,)") != std::string::npos,
                     h.got.c_str());
        }

        QTRY_COMPARE(net->apiServer->connections(), 0);
        const int share = HttpApiServer::kMaxConnections / 4;
        std::vector<int> full;
        for (int i = 0; i < share + 36; ++i) full.push_back(connectTo(port, 2, "127.0.0.1"));
        QTRY_COMPARE(net->apiServer->connections(), share);
        const Answer beyondShare = readAnswer(full.back());
        const Answer other = askFrom(port, "127.0.0.2");
        const char* const sources[] = {"127.0.0.3", "127.0.0.4", "127.0.0.5"};
        for (int i = 0; i < 3 * share; ++i) full.push_back(connectTo(port, 10, sources[i % 3]));
        QTRY_COMPARE(net->apiServer->connections(), HttpApiServer::kMaxConnections);
        const int extra = connectTo(port, 2, "127.0.0.6");
        const Answer beyondCap = readAnswer(extra);
        ::close(extra);
        for (int fd : full) ::close(fd);
        QCOMPARE(other.status, 200);
        QVERIFY(hasSeries(other.body));
        for (const Answer& refused : {beyondShare, beyondCap}) {
            QCOMPARE(refused.status, 503);
            QCOMPARE(refused.body.value("message").toString(), QString("too many connections"));
        }
    }

    // A request the server cannot take whole gets one answer, then its connection is closed,
    // before the rest of what the client sends is taken for a request of its own: a POST
    // without a length (a body sent all the same), a length beyond the limit, a head that
    // cannot be parsed, a 100 KB URI (or one that has not ended yet: not waited for), a 10 MB
    // chunked body. Each answer carries the JSON of the other errors and reaches the client,
    // however much it still sends.
    void requestsNotTakenWholeAreAnsweredOnceThenClosed()
    {
        writeConfig(true);
        net->initStart();
        const int port = net->apiServer->port();
        std::string chunks;
        const std::string chunk(64 * 1024, 'x');
        for (int i = 0; i < 160; ++i) chunks += "10000\r\n" + chunk + "\r\n";
        const struct
        {
            const char* name;
            std::string text;
            int status;
            const char* message;
        } cases[] = {
            {"no length, a body all the same", kHead + "\r\n" + kDay.toStdString(), 400,
             "starttime and finishtime must be strings"},
            {"length beyond the limit", kHead + "Content-Length: 10485760\r\n\r\n", 413, "body too large"},
            {"head not parsed", "NOT A REQUEST\r\nX\r\nY\r\n\r\n", 400, "bad request"},
            {"100 KB URI", "GET /" + std::string(100 * 1024, 'u') + " HTTP/1.1\r\nHost: monitor\r\n\r\n", 414,
             "URI too long"},
            {"20 KB URI not ended", "GET /" + std::string(20 * 1024, 'u'), 414, "URI too long"},
            {"10 MB chunked", kHead + "Transfer-Encoding: chunked\r\n\r\n" + chunks + "0\r\n\r\n", 413,
             "body too large"},
        };
        for (const auto& c : cases) {
            const int fd = connectTo(port, 10);
            QVERIFY(fd >= 0);
            // Sent while the server answers; once the answer is in the client is done.
            auto sent = std::async(std::launch::async, [fd, &c] {
                return ::send(fd, c.text.data(), c.text.size(), MSG_NOSIGNAL) == ssize_t(c.text.size());
            });
            std::string got;
            char buf[4096];
            auto answered = [&got] {
                const size_t end = got.find("\r\n\r\n");
                const size_t at = got.find("Content-Length: ");
                return end != std::string::npos && at < end &&
                       got.size() >= end + 4 + std::stoul(got.substr(at + 16, end - at - 16));
            };
            for (ssize_t n; !answered() && (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) got.append(buf, size_t(n));
            const bool whole = sent.get();
            ::shutdown(fd, SHUT_WR);
            for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) got.append(buf, size_t(n));
            ::close(fd);
            const std::string statusLine = "HTTP/1.1 " + std::to_string(c.status) + " ";
            const std::string body = "{\"code\":" + std::to_string(c.status) + ",\"message\":\"" + c.message;
            QVERIFY2(whole, c.name);
            QVERIFY2(got.find(statusLine) == 0 && got.find("HTTP/1.1", 1) == std::string::npos &&
                         got.find(body) != std::string::npos,
                     qPrintable(QString("%1: %2").arg(c.name, QString::fromStdString(got))));
        }
        QCOMPARE(ask(kDay, 3).status, 200);  // the server goes on
    }

    // The GUI thread takes no events while two floods come: one request waits for it and
    // gets 503 after kGuiAnswerMs, every other one 503 busy after kBusyWaitMs; the path stays
    // busy until the GUI thread took the one query it was given, so the second flood queues
    // nothing more. Once the GUI thread runs, the abandoned query is skipped and the next
    // request is answered.
    void floodWhileTheGuiThreadIsBlocked()
    {
        writeConfig(true);
        net->initStart();
        const int port = net->apiServer->port();
        const int before = queries;
        TestSupport::clearCapturedMessages();
        constexpr int kFlood = 8;
        std::vector<Answer> answers;
        for (int round = 0; round < 2; ++round) {
            std::vector<std::future<Answer>> flood;
            for (int i = 0; i < kFlood; ++i)
                flood.push_back(std::async(std::launch::async, [port] { return post(port, kDay.toStdString(), 120); }));
            const auto allDone = [&] {
                for (auto& f : flood)
                    if (f.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                        return false;
                return true;
            };
            for (int i = 0; i < 300 && !allDone(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                PlatformClock::advanceMonotonic(1000);
            }
            QVERIFY(allDone());
            for (auto& f : flood) answers.push_back(f.get());
        }
        int noAnswer = 0, busy = 0;
        for (const Answer& a : answers) {
            QCOMPARE(a.status, 503);
            noAnswer += a.body.value("message").toString() == "no answer in time";
            busy += a.body.value("message").toString() == "busy";
        }
        QCOMPARE(noAnswer, 1);
        QCOMPARE(busy, 2 * kFlood - 1);
        QTest::qWait(50);
        QCOMPARE(queries.load(), before);
        QCOMPARE(ask(kDay).status, 200);
        QCOMPARE(queries.load(), before + 1);
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

    // A stop while connections keep coming to both servers: once ModbusServer::stop and
    // stopServices have returned, none of their threads runs and nothing listens; a second
    // stop returns as well.
    void stopUnderAFloodLeavesNoThread()
    {
        writeConfig(true);
        net->initStart();
        const int apiPort = net->apiServer->port();
        const int modbusPort = FreePort();
        ModbusServer modbus("127.0.0.1", modbusPort);
        QVERIFY(modbus.listening());
        const QStringList names{"http-accept", "http-conn", "ModbusServer"};
        std::atomic<bool> flooding{true};
        std::vector<std::thread> flood;
        for (int i = 0; i < 8; ++i)
            flood.emplace_back([&, i] {
                // Each keeps its last 16 connections open, half a head sent on each.
                std::vector<int> open(16, -1);
                for (size_t n = 0; flooding; ++n) {
                    int& slot = open[n % open.size()];
                    if (slot >= 0)
                        ::close(slot);
                    slot = connectTo(i % 2 ? modbusPort : apiPort, 1);
                    if (slot >= 0)
                        ::send(slot, kHead.data(), kHead.size(), MSG_NOSIGNAL);
                }
                for (int fd : open)
                    if (fd >= 0)
                        ::close(fd);
            });
        // Connection threads under way (a new one carries its creator's name for a moment; a
        // busy machine may take a while to start them).
        int connThreads = 0, modbusThreads = 0;
        for (int i = 0; i < 1000; ++i) {
            connThreads = threadsNamed({"http-conn"});
            modbusThreads = threadsNamed({"ModbusServer"});
            if (connThreads > 0 && modbusThreads == 1)
                break;
            QTest::qWait(10);
        }
        modbus.stop();
        net->stopServices();
        int left = threadsNamed(names);
        // A joined thread may still be listed for the moment the kernel takes to reap it.
        for (int i = 0; i < 100 && left > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            left = threadsNamed(names);
        }
        const int apiAfter = connectTo(apiPort, 1);
        const int modbusAfter = connectTo(modbusPort, 1);
        flooding = false;
        for (std::thread& t : flood) t.join();
        QVERIFY2(connThreads > 0 && modbusThreads == 1,
                 qPrintable(QStringLiteral("before the stop: %1 connection threads, %2 Modbus threads")
                                .arg(connThreads)
                                .arg(modbusThreads)));
        QCOMPARE(left, 0);
        QCOMPARE(apiAfter, -1);
        QCOMPARE(modbusAfter, -1);
        QVERIFY(!net->apiServer->listening() && !modbus.listening());
        modbus.stop();
        net->stopServices();
    }

    void cleanupTestCase() { net->apiServer->stop(); }
};

MONITOR_TEST_MAIN(TestNetApi)
#include "tst_netapi.moc"
