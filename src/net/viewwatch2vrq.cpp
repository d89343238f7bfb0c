// Client of the companion peer.
#include "viewwatch2vrq.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "globals.h"
#include "platformclock.h"
#include "publictools.h"
#include "tnr_netmn.h"

namespace {

const char* const kPathPrefix = "/inline/bymain/";
const char* const kTimeFormat = "yyyy-MM-dd hh:mm:ss.zzz";

// The clear methods of detectState codes 4 to 6, as the peer receives them.
struct ClearMethod
{
    int code;
    const char* text;
};
constexpr ClearMethod kClearMethods[] = {
    {4, "notdetect"},
    {5, "addtemplate"},
    {6, "redetectmould"},
};

void keepBounded(QList<QJsonObject>& list, const QJsonObject& o, int bound)
{
    list.append(o);
    while (list.size() > bound) list.removeFirst();
}

}  // namespace

ViewWatch2VRQ* ViewWatch2VRQ::ofManager()
{
    return TNR_NETMN::getInstance()->vw;
}

ViewWatch2VRQ::ViewWatch2VRQ(QObject* parent) : QObject(parent) {}

QString ViewWatch2VRQ::clearMethodText(int code)
{
    for (const ClearMethod& m : kClearMethods) {
        if (m.code == code)
            return QString::fromLatin1(m.text);
    }
    return QStringLiteral("code%1").arg(code);
}

void ViewWatch2VRQ::start(bool on, const QString& host, int port)
{
    if (!on) {
        if (running)
            qInfo() << "companion peer: networking off";
        running = false;
        queue.clear();
        if (retryTimer)
            retryTimer->stop();
        // Replies still under way finish on their own and are then ignored.
        return;
    }
    const bool moved = host != peerHost || port != peerPort;
    peerHost = host;
    peerPort = port;
    if (moved) {
        queue.clear();
        link = kLinkDown;
    }
    running = true;
    if (!manager) {
        manager = new QNetworkAccessManager(this);
        retryTimer = new QTimer(this);
        retryTimer->setSingleShot(true);
        connect(retryTimer, &QTimer::timeout, this, &ViewWatch2VRQ::pump);
    }
    qInfo() << "companion peer: posting to" << host << port;
    pump();
}

int ViewWatch2VRQ::linkState() const
{
    return running ? link : kLinkOff;
}

void ViewWatch2VRQ::sndRecordOperate(QJsonObject record)
{
    keepBounded(sentRecords, record, kKeptRecords);
    post(QString::fromLatin1(kPathRecord), record);
}

void ViewWatch2VRQ::syncTempList(QJsonObject lists)
{
    keepBounded(sentTempLists, lists, kKeptRecords);
    post(QString::fromLatin1(kPathTempList), lists);
}

void ViewWatch2VRQ::sndAlarmStartTiming(int step)
{
    alarmUuid = new_uuid();
    alarmState = kAlarmOpen;
    clearMethods = QJsonArray();
    QJsonObject body;
    body.insert(QStringLiteral("uuid"), alarmUuid);
    body.insert(QStringLiteral("step"), step);
    body.insert(QStringLiteral("starttime"), PlatformClock::now().toString(QString::fromLatin1(kTimeFormat)));
    post(QString::fromLatin1(kPathAlarmStart), body);
}

void ViewWatch2VRQ::addClearMethod(int camera, int code)
{
    clearMethods.append(QJsonObject{
        {QStringLiteral("camera"), camera},
        {QStringLiteral("code"), code},
        {QStringLiteral("method"), clearMethodText(code)},
    });
}

void ViewWatch2VRQ::sndAlarmFinishTiming()
{
    if (!running || alarmState != kAlarmFinishPending)
        return;
    QJsonObject body;
    body.insert(QStringLiteral("uuid"), alarmUuid);
    body.insert(QStringLiteral("finishtime"), PlatformClock::now().toString(QString::fromLatin1(kTimeFormat)));
    body.insert(QStringLiteral("clearmethods"), clearMethods);
    post(QString::fromLatin1(kPathAlarmFinish), body);
    clearMethods = QJsonArray();
    alarmState = kAlarmNone;
}

void ViewWatch2VRQ::post(const QString& path, const QJsonObject& body)
{
    Message m{path, QJsonDocument(body).toJson(QJsonDocument::Compact)};
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, m] { enqueue(m); }, Qt::QueuedConnection);
        return;
    }
    enqueue(m);
}

void ViewWatch2VRQ::enqueue(const Message& m)
{
    if (!running)
        return;
    queue.append(m);
    if (queue.size() > queueBound) {
        queue.removeFirst();
        if (!dropLogged)
            qWarning() << "companion peer: unreachable, the oldest waiting messages are dropped";
        dropLogged = true;
    }
    pump();
}

void ViewWatch2VRQ::pump()
{
    if (!running || !manager)
        return;
    // While the peer is away a single message probes it; the retry timer paces the probes.
    const int limit = link == kLinkDown ? 1 : kInFlight;
    if (link == kLinkDown && retryTimer->isActive())
        return;
    while (!queue.isEmpty() && inFlight < limit) {
        const Message m = queue.takeFirst();
        QNetworkRequest request(QUrl(QStringLiteral("http://%1:%2%3%4").arg(peerHost).arg(peerPort).arg(kPathPrefix, m.path)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        request.setRawHeader("Device-ID", gDeviceID.toUtf8());
        request.setTransferTimeout(kReplyTimeoutMs);
        QNetworkReply* reply = manager->post(request, m.body);
        ++inFlight;
        connect(reply, &QNetworkReply::finished, this, [this, reply, m] { finished(reply, m); });
    }
}

void ViewWatch2VRQ::finished(QNetworkReply* reply, const Message& m)
{
    reply->deleteLater();
    --inFlight;
    if (!running)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        // No answer at all: the peer is away. The message goes back to the front and waits.
        if (link != kLinkDown)
            qWarning() << "companion peer: not reachable:" << reply->errorString();
        link = kLinkDown;
        queue.prepend(m);
        while (queue.size() > queueBound) queue.removeFirst();
        retryTimer->start(kRetryMs);
        return;
    }
    // The peer answered; its body may say how its own link to the server stands.
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    const int code = answer.value(QStringLiteral("code")).toInt(0);
    link = code == kLinkNoServer || code == kLinkUnregistered ? code : kLinkOk;
    dropLogged = false;
    pump();
}
