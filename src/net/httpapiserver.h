// HTTP API server: the production counts of a time window for other programs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace httplib {
class Server;
}

// Listens in threads of its own (the HTTP library's pool). Each request is checked there;
// the answer itself is built on the GUI thread by a queued invocation, because the query
// reads what the GUI thread writes. One request of a path at a time: a second waits for
// the first (at most kBusyWaitMs, then 503).
class HttpApiServer
{
public:
    static constexpr const char* kRouteCount = "/v18/http/production_count_bytime";
    static constexpr int kBusyWaitMs = 5000;
    static constexpr int kGuiAnswerMs = 10000;
    static constexpr int kReadTimeoutS = 5;
    static constexpr int kMaxBodyBytes = 64 * 1024;
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
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    std::timed_mutex countBusy;
    int boundPort = 0;
    QString boundHost;
};
