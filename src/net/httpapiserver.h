// HTTP API server: the production counts of a time window for other programs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class HttpFront;

// Listens in a thread of its own; every connection gets a thread while it lasts (HttpFront:
// connection cap, request deadline, idle closing). Each request is checked there; the answer
// itself is built on the GUI thread by a queued invocation, because the query reads what the
// GUI thread writes. One request of a path at a time: a second waits for the first (at most
// kBusyWaitMs, then 503). The path stays busy until the GUI thread has taken up the
// invocation, also when its requester gave up after kGuiAnswerMs, so that a flood never
// queues more than one query on the GUI thread. Both waits run on the platform's monotonic
// clock.
class HttpApiServer
{
public:
    static constexpr const char* kRouteCount = "/v18/http/production_count_bytime";
    static constexpr int kBusyWaitMs = 5000;
    static constexpr int kGuiAnswerMs = 10000;
    static constexpr int kMaxBodyBytes = 64 * 1024;
    static constexpr int kMaxConnections = 256;
    static constexpr int kIdleCloseMs = 2000;
    static constexpr int kRequestMs = 3000;
    static constexpr const char* kTimeFormat = "yyyy-MM-dd hh:mm:ss";

    // The statistics query (the records layer's): the two moments, the result to fill;
    // false when it refused them. Start-up hands it in; without it the route answers 503.
    using CountQuery = std::function<bool(const QString& start, const QString& finish, QJsonObject& result)>;
    static void setCountQuery(CountQuery query);

    HttpApiServer();
    ~HttpApiServer();
    HttpApiServer(const HttpApiServer&) = delete;
    HttpApiServer& operator=(const HttpApiServer&) = delete;

    // Listens on host:port (port 0: any free port). False, logged, when the port cannot be
    // bound; the rest of the program goes on without the API.
    bool start(const QString& host, int port);
    void stop();
    bool listening() const { return boundPort > 0; }
    int connections() const;
    int port() const { return boundPort; }
    QString host() const { return boundHost; }

    // The API service switch: off, every request of the route gets 403.
    std::atomic<bool> apiEnabled{false};

    struct Reply
    {
        int status = 200;
        QJsonObject body;
    };
    // The route's handler, on a server thread: 403 when the service is off, 400 for a body
    // without the two time strings or with a time of another form, else the query's series
    // with "device_sn" and "device_id" (200).
    Reply httpapi__get_production_count_bytime(const QByteArray& body);

private:
    // The busy mark of the route: taken before the GUI thread is asked, given back by the
    // GUI thread's invocation (or at once when asking fails).
    struct Route
    {
        std::mutex mutex;
        std::condition_variable free;
        bool busy = false;
    };
    bool takeRoute(long long deadlineMs);
    static void releaseRoute(Route& route);

    std::unique_ptr<HttpFront> server;
    std::thread listener;
    // Shared with the GUI-thread invocation, which may run after the request gave up.
    std::shared_ptr<Route> route = std::make_shared<Route>();
    std::atomic<bool> halting{false};
    int boundPort = 0;
    QString boundHost;
};
