// HTTP API server on the HTTP library's server.
#include "httpapiserver.h"

#include <pthread.h>

#include <chrono>

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>

#include "globals.h"
#include "httpfront.h"
#include "platformclock.h"
#include "tnr_netmn.h"

namespace {

const char* const kApiOff = "未启用API服务";
// Waits are cut into slices so that a halt or a clock a test moved on is seen soon.
constexpr int kSliceMs = 100;

HttpApiServer::CountQuery& countQuery()
{
    static HttpApiServer::CountQuery query;
    return query;
}

HttpApiServer::Reply failure(int status, const QString& message)
{
    HttpApiServer::Reply r;
    r.status = status;
    r.body.insert(QStringLiteral("code"), status);
    r.body.insert(QStringLiteral("message"), message);
    return r;
}

bool validTime(const QJsonValue& v)
{
    return v.isString() &&
           QDateTime::fromString(v.toString(), QString::fromLatin1(HttpApiServer::kTimeFormat)).isValid();
}

}  // namespace

void HttpApiServer::setCountQuery(CountQuery query)
{
    countQuery() = std::move(query);
}

HttpApiServer::HttpApiServer() = default;

HttpApiServer::~HttpApiServer()
{
    stop();
}

bool HttpApiServer::start(const QString& host, int port)
{
    stop();
    halting = false;
    HttpFront::Limits limits;
    limits.maxConnections = kMaxConnections;
    limits.idleMs = kIdleCloseMs;
    limits.requestMs = kRequestMs;
    limits.maxBodyBytes = kMaxBodyBytes;
    server = std::make_unique<HttpFront>(limits);
    server->Post(kRouteCount, [this](const httplib::Request& req, httplib::Response& res) {
        const Reply r = httpapi__get_production_count_bytime(QByteArray::fromStdString(req.body));
        res.status = r.status;
        res.set_content(QJsonDocument(r.body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    });
    const int bound = server->bindTo(host.toStdString(), port);
    if (bound <= 0) {
        qWarning().noquote()
            << QStringLiteral(
                   "HTTP API: cannot listen on %1:%2 (in use or not permitted); the program runs without the API")
                   .arg(host)
                   .arg(port);
        server.reset();
        return false;
    }
    boundPort = bound;
    boundHost = host;
    HttpFront* s = server.get();
    listener = std::thread([s] {
        ::pthread_setname_np(::pthread_self(), "http-accept");
        s->acceptLoop();
    });
    qInfo() << "HTTP API: listening on" << host << bound;
    return true;
}

void HttpApiServer::stop()
{
    if (!server)
        return;
    halting = true;
    server->halt();
    if (listener.joinable())
        listener.join();
    server.reset();
    boundPort = 0;
}

int HttpApiServer::connections() const
{
    return server ? server->connections() : 0;
}

bool HttpApiServer::takeRoute(long long deadlineMs)
{
    std::unique_lock<std::mutex> lock(route->mutex);
    while (route->busy) {
        if (halting || PlatformClock::monotonicMs() >= deadlineMs)
            return false;
        route->free.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
    route->busy = true;
    return true;
}

void HttpApiServer::releaseRoute(Route& route)
{
    {
        std::lock_guard<std::mutex> lock(route.mutex);
        route.busy = false;
    }
    route.free.notify_all();
}

HttpApiServer::Reply HttpApiServer::httpapi__get_production_count_bytime(const QByteArray& body)
{
    if (!apiEnabled)
        return failure(403, QString::fromUtf8(kApiOff));
    // Checked here, before the GUI thread sees the request: a bad moment never reaches the
    // day loop of the query.
    const QJsonObject request = QJsonDocument::fromJson(body).object();
    const QJsonValue start = request.value(QStringLiteral("starttime"));
    const QJsonValue finish = request.value(QStringLiteral("finishtime"));
    if (!start.isString() || !finish.isString())
        return failure(400, QStringLiteral("starttime and finishtime must be strings"));
    if (!validTime(start) || !validTime(finish))
        return failure(400, QStringLiteral("times must read yyyy-MM-dd hh:mm:ss"));

    if (!takeRoute(PlatformClock::monotonicMs() + kBusyWaitMs))
        return failure(503, QStringLiteral("busy"));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !countQuery()) {
        releaseRoute(*route);
        return failure(503, QStringLiteral("statistics not available"));
    }

    struct Asked
    {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        bool abandoned = false;
        Reply reply;
    };
    auto asked = std::make_shared<Asked>();
    const QString from = start.toString();
    const QString to = finish.toString();
    QMetaObject::invokeMethod(
        app,
        [asked, from, to, route = route] {
            bool wanted = false;
            {
                std::lock_guard<std::mutex> lock(asked->mutex);
                wanted = !asked->abandoned;
            }
            Reply r;
            if (wanted) {
                QJsonObject result;
                if (countQuery() && countQuery()(from, to, result)) {
                    result.insert(QStringLiteral("device_sn"), gDeviceID);
                    result.insert(QStringLiteral("device_id"), TNR_NETMN::getInstance()->devicename);
                    r.body = result;
                } else {
                    r = failure(400, QStringLiteral("times refused"));
                }
            }
            {
                std::lock_guard<std::mutex> lock(asked->mutex);
                asked->reply = r;
                asked->done = true;
            }
            asked->answered.notify_all();
            releaseRoute(*route);
        },
        Qt::QueuedConnection);
    const long long deadline = PlatformClock::monotonicMs() + kGuiAnswerMs;
    std::unique_lock<std::mutex> lock(asked->mutex);
    while (!asked->done) {
        if (halting || PlatformClock::monotonicMs() >= deadline) {
            asked->abandoned = true;
            return failure(503, QStringLiteral("no answer in time"));
        }
        asked->answered.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
    return asked->reply;
}
