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
        inFlight = 0;
        tries = 0;
        if (ticker)
            ticker->stop();
        if (socket) {
            const QSignalBlocker quiet(socket);
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
            if (inFlight)
                write();
            else if (!answerFailed)
                setLink(peerCode);  // opened while idle: the peer is there
        });
        connect(socket, &QTcpSocket::readyRead, this, &ViewWatch2VRQ::readReply);
        connect(socket, &QTcpSocket::errorOccurred, this, &ViewWatch2VRQ::lost);
        connect(socket, &QTcpSocket::disconnected, this, &ViewWatch2VRQ::lost);
        ticker = new QTimer(this);
        connect(ticker, &QTimer::timeout, this, &ViewWatch2VRQ::tick);
    }
    if (moved) {
        queue.clear();
        link = kLinkDown;
        inFlight = 0;
        tries = 0;
        lastConnectAt = -1;
        const QSignalBlocker quiet(socket);
        socket->abort();
    }
    running = true;
    nextTryAt = 0;
    ticker->start(kTickMs);
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
        if (!inFlight)
            tries = 0;  // the tries counted were the dropped message's
        if (!dropLogged)
            qWarning() << "companion peer: unreachable, the oldest waiting messages are dropped";
        dropLogged = true;
    }
    pump();
}

void ViewWatch2VRQ::pump()
{
    if (!running || !socket || inFlight)
        return;
    const qint64 now = PlatformClock::monotonicMs();
    if (queue.isEmpty()) {
        // Nothing to send: keep the link open, so that its state stays true. A connection
        // the peer closed is opened again at once, unless the last one was just opened.
        if (socket->state() == QAbstractSocket::UnconnectedState &&
            (lastConnectAt < 0 || now >= lastConnectAt + kRetryMs))
            connectPeer();
        return;
    }
    // While the peer is away, or after a try that failed, the message waits its turn.
    if (now < nextTryAt)
        return;
    current = queue.takeFirst();
    inFlight = 1;
    written = false;
    replyBuffer.clear();
    replyDeadline = now + kReplyTimeoutMs;
    reused = socket->state() == QAbstractSocket::ConnectedState;
    if (reused)
        write();
    else if (socket->state() == QAbstractSocket::UnconnectedState)
        connectPeer();
    // else still connecting: the connection writes it
}

void ViewWatch2VRQ::connectPeer()
{
    {
        const QSignalBlocker quiet(socket);
        socket->abort();
    }
    lastConnectAt = PlatformClock::monotonicMs();
    socket->connectToHost(peerHost, quint16(peerPort));
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
    written = true;
}

void ViewWatch2VRQ::readReply()
{
    replyBuffer += socket->readAll();
    if (!inFlight)
        return;
    static const QByteArray kHttp = "HTTP/";
    if (!replyBuffer.startsWith(kHttp) && !kHttp.startsWith(replyBuffer)) {
        failed(true, QStringLiteral("answer not understood"));
        return;
    }
    const int end = replyBuffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = replyBuffer.left(end).split('\n');
    const int status = lines.value(0).split(' ').value(1).toInt();
    if (status < 100 || status > 999) {
        failed(true, QStringLiteral("answer not understood"));
        return;
    }
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
    answered(body);
}

// The connection closed or could not be opened.
void ViewWatch2VRQ::lost()
{
    // A closing connection reports an error first and its end after: act once, at the end.
    if (!running || socket->state() != QAbstractSocket::UnconnectedState)
        return;
    if (!inFlight) {
        if (socket->error() != QAbstractSocket::RemoteHostClosedError)
            link = kLinkDown;  // refused while idle: the peer is away
        if (link == kLinkDown)
            answerFailed = false;  // whoever answers next is another peer
        pump();
        return;
    }
    // A reply the peer ends by closing the connection is complete now.
    readReply();
    if (!inFlight)
        return;
    if (!written) {
        failed(false, socket->errorString());
        return;
    }
    if (reused && replyBuffer.isEmpty()) {
        // The peer had closed the kept connection before this message reached it: once more
        // at once, on a new one.
        inFlight = 0;
        queue.prepend(current);
        pump();
        return;
    }
    failed(true, replyBuffer.isEmpty() ? QStringLiteral("connection closed without an answer")
                                       : QStringLiteral("connection closed mid-answer"));
}

void ViewWatch2VRQ::tick()
{
    if (!running)
        return;
    if (inFlight && PlatformClock::monotonicMs() >= replyDeadline) {
        if (written)
            failed(true, QStringLiteral("no answer in %1 s").arg(kReplyTimeoutMs / 1000));
        else
            failed(false, QStringLiteral("no connection in %1 s").arg(kReplyTimeoutMs / 1000));
        return;
    }
    pump();
}

void ViewWatch2VRQ::answered(const QByteArray& body)
{
    inFlight = 0;
    tries = 0;
    replyBuffer.clear();
    answerFailed = false;
    // The peer's body may say how its own link to the server stands.
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    const int code = answer.value(QStringLiteral("code")).toInt(0);
    peerCode = code == kLinkNoServer || code == kLinkUnregistered ? code : kLinkOk;
    setLink(peerCode);
    dropLogged = false;
    pump();
}

void ViewWatch2VRQ::setLink(int state)
{
    if (link == kLinkDown && state != kLinkDown)
        qInfo() << "companion peer: reachable, link state" << state;
    link = state;
}

void ViewWatch2VRQ::failed(bool taken, const QString& why)
{
    inFlight = 0;
    replyBuffer.clear();
    {
        // A late answer must not be taken for the next message's.
        const QSignalBlocker quiet(socket);
        socket->abort();
    }
    const qint64 now = PlatformClock::monotonicMs();
    if (link != kLinkDown)
        qWarning().noquote() << "companion peer:" << (taken ? why : QStringLiteral("not reachable: ") + why);
    link = kLinkDown;
    if (!taken) {
        // The peer is away: the message waits at the front, one probe every kRetryMs.
        answerFailed = false;
        queue.prepend(current);
        while (queue.size() > queueBound) queue.removeFirst();
        nextTryAt = now + kRetryMs;
        return;
    }
    answerFailed = true;
    if (++tries < kTries) {
        queue.prepend(current);
        nextTryAt = now + (qint64(kRetryMs) << (tries - 1));
        return;
    }
    qWarning().noquote() << QStringLiteral("companion peer: %1 message dropped after %2 tries: %3")
                                .arg(current.path)
                                .arg(tries)
                                .arg(why);
    tries = 0;
    nextTryAt = 0;
    pump();
}
