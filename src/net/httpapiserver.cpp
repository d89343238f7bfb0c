// HTTP API server on the HTTP library's server.
#include "httpapiserver.h"

#include <chrono>
#include <future>

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>

#include <httplib.h>

#include "globals.h"
#include "tnr_netmn.h"

namespace {

const char* const kApiOff = "未启用API服务";

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
    server = std::make_unique<httplib::Server>();
    server->set_read_timeout(kReadTimeoutS, 0);
    server->set_write_timeout(kReadTimeoutS, 0);
    server->set_payload_max_length(kMaxBodyBytes);
    server->Post(kRouteCount, [this](const httplib::Request& req, httplib::Response& res) {
        const Reply r = httpapi__get_production_count_bytime(QByteArray::fromStdString(req.body));
        res.status = r.status;
        res.set_content(QJsonDocument(r.body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    });
    const std::string address = host.toStdString();
    int bound = 0;
    if (port == 0)
        bound = server->bind_to_any_port(address);
    else if (server->bind_to_port(address, port))
        bound = port;
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
    httplib::Server* s = server.get();
    listener = std::thread([s] { s->listen_after_bind(); });
    qInfo() << "HTTP API: listening on" << host << bound;
    return true;
}

void HttpApiServer::stop()
{
    if (!server)
        return;
    server->stop();
    if (listener.joinable())
        listener.join();
    server.reset();
    boundPort = 0;
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

    // The busy mark is the lock: it is released on every way out.
    std::unique_lock<std::timed_mutex> busy(countBusy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs)))
        return failure(503, QStringLiteral("busy"));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !countQuery())
        return failure(503, QStringLiteral("statistics not available"));

    auto answer = std::make_shared<std::promise<Reply>>();
    std::future<Reply> future = answer->get_future();
    const QString from = start.toString();
    const QString to = finish.toString();
    QMetaObject::invokeMethod(
        app,
        [answer, from, to] {
            Reply r;
            QJsonObject result;
            if (!countQuery() || !countQuery()(from, to, result)) {
                answer->set_value(failure(400, QStringLiteral("times refused")));
                return;
            }
            result.insert(QStringLiteral("device_sn"), gDeviceID);
            result.insert(QStringLiteral("device_id"), TNR_NETMN::getInstance()->devicename);
            r.body = result;
            answer->set_value(r);
        },
        Qt::QueuedConnection);
    if (future.wait_for(std::chrono::milliseconds(kGuiAnswerMs)) != std::future_status::ready)
        return failure(503, QStringLiteral("no answer in time"));
    return future.get();
}
