// Client of the companion peer.
#include "viewwatch2vrq.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

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
        inFlight = 0;
        if (socket) {
            replyTimer->stop();
            socket->abort();
        }
        return;
    }
    const bool moved = host != peerHost || port != peerPort;
    peerHost = host;
    peerPort = port;
    if (!socket) {
        socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, this, [this] {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            write();
        });
        connect(socket, &QTcpSocket::readyRead, this, &ViewWatch2VRQ::readReply);
        // A reply the peer ends by closing the connection is complete then; otherwise the
        // message under way failed.
        const auto lost = [this] {
            if (inFlight)
                readReply();
            if (inFlight)
                finished(0, QByteArray());
        };
        connect(socket, &QTcpSocket::errorOccurred, this, lost);
        connect(socket, &QTcpSocket::disconnected, this, lost);
        retryTimer = new QTimer(this);
        retryTimer->setSingleShot(true);
        connect(retryTimer, &QTimer::timeout, this, &ViewWatch2VRQ::pump);
        replyTimer = new QTimer(this);
        replyTimer->setSingleShot(true);
        connect(replyTimer, &QTimer::timeout, this, [this] {
            if (inFlight)
                finished(0, QByteArray());
        });
    }
    if (moved) {
        queue.clear();
        link = kLinkDown;
        inFlight = 0;
        socket->abort();
    }
    running = true;
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
        QMetaObject::invokeMethod(
            this, [this, m] { enqueue(m); }, Qt::QueuedConnection);
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
    if (!running || !socket || inFlight || queue.isEmpty())
        return;
    // While the peer is away the retry timer paces the probes.
    if (link == kLinkDown && retryTimer->isActive())
        return;
    current = queue.takeFirst();
    inFlight = 1;
    replyBuffer.clear();
    replyTimer->start(kReplyTimeoutMs);
    if (socket->state() == QAbstractSocket::ConnectedState) {
        reused = true;
        write();
    } else {
        reused = false;
        socket->abort();
        socket->connectToHost(peerHost, quint16(peerPort));
    }
}

void ViewWatch2VRQ::write()
{
    if (!inFlight)
        return;
    QByteArray request = "POST " + QByteArray(kPathPrefix) + current.path.toUtf8() + " HTTP/1.1\r\n";
    request += "Host: " + peerHost.toUtf8() + ':' + QByteArray::number(peerPort) + "\r\n";
    request += "Content-Type: application/json\r\n";
    request += "Device-ID: " + gDeviceID.toUtf8() + "\r\n";
    request += "Content-Length: " + QByteArray::number(current.body.size()) + "\r\n\r\n";
    request += current.body;
    socket->write(request);
}

void ViewWatch2VRQ::readReply()
{
    replyBuffer += socket->readAll();
    if (!inFlight)
        return;
    const int end = replyBuffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = replyBuffer.left(end).split('\n');
    const int status = lines.value(0).split(' ').value(1).toInt();
    int length = -1;
    for (const QByteArray& line : lines) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            length = line.mid(colon + 1).trimmed().toInt();
    }
    const bool closed = socket->state() != QAbstractSocket::ConnectedState;
    // Without a length the body runs to the end of the connection.
    if (length < 0 ? !closed : replyBuffer.size() < end + 4 + length)
        return;
    const QByteArray body = replyBuffer.mid(end + 4, length < 0 ? -1 : length);
    // A peer that ends the connection after this reply gets the next message on a new one.
    if (replyBuffer.left(end).toLower().contains("connection: close")) {
        const QSignalBlocker quiet(socket);
        socket->abort();
    }
    finished(status > 0 ? status : 0, body);
}

void ViewWatch2VRQ::finished(int status, const QByteArray& body)
{
    replyTimer->stop();
    inFlight = 0;
    replyBuffer.clear();
    if (!running)
        return;
    if (status <= 0) {
        socket->abort();
        if (reused) {
            // The peer had closed the idle connection: once more on a new one.
            queue.prepend(current);
            pump();
            return;
        }
        // No answer at all: the peer is away. The message goes back to the front and waits.
        if (link != kLinkDown)
            qWarning() << "companion peer: not reachable:" << socket->errorString();
        link = kLinkDown;
        queue.prepend(current);
        while (queue.size() > queueBound) queue.removeFirst();
        retryTimer->start(kRetryMs);
        return;
    }
    // The peer answered; its body may say how its own link to the server stands.
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    const int code = answer.value(QStringLiteral("code")).toInt(0);
    link = code == kLinkNoServer || code == kLinkUnregistered ? code : kLinkOk;
    dropLogged = false;
    pump();
}
