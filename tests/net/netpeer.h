// Test stand-ins for the network neighbours: a companion peer that records what it is posted, and free ports.
#pragma once

#include <sys/socket.h>

#include <cerrno>
#include <string>

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "platformclock.h"

// A free TCP port on 127.0.0.1 at the moment of the call.
inline int FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return -1;
    return probe.serverPort();
}

// Whether the server has ended the connection (whatever it wrote before is read away, into
// `read` when given).
inline bool ClosedByServer(int fd, std::string* read = nullptr)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0)
            return true;
        if (n < 0)
            return errno != EAGAIN && errno != EWOULDBLOCK;
        if (read)
            read->append(buf, size_t(n));
    }
}

// A minimal HTTP/1.1 receiver on 127.0.0.1: every request is recorded and answered 200 with
// `answer` as its JSON body; connections are kept alive as the client asks. The other modes
// are peers that misbehave after recording the request.
class TestPeer : public QObject
{
public:
    enum Mode {
        Answer,
        Silent,    // never answers
        Slow,      // answers 6 s later on the platform's monotonic clock
        Garbled,   // answers with bytes that are no HTTP reply
        CutOff,    // closes the connection in the middle of its reply
        Pieces,    // writes its reply in pieces, 20 ms apart
        CloseOld,  // closes, unanswered, a connection that has carried a request before
        HangUp,    // closes every connection unanswered
    };
    Mode mode = Answer;
    static constexpr qint64 kSlowMs = 6000;

    struct Message
    {
        QString method;
        QString path;
        QByteArray deviceId;
        QJsonObject body;
    };

    QList<Message> messages;
    int connections = 0;
    QByteArray answer = R"({"code":0})";
    bool closeAfterReply = false;  // a peer that serves one request per connection

    TestPeer()
    {
        slowTimer.setInterval(20);
        connect(&slowTimer, &QTimer::timeout, this, [this] {
            for (int i = slow.size() - 1; i >= 0; --i) {
                if (PlatformClock::monotonicMs() < slow[i].due)
                    continue;
                if (slow[i].socket)
                    slow[i].socket->write(reply());
                slow.removeAt(i);
            }
        });
        slowTimer.start();
    }
    ~TestPeer() override
    {
        // The sockets die with the server, after the buffers: nothing may reach them then.
        for (QTcpSocket* s : buffers.keys()) QObject::disconnect(s, nullptr, this, nullptr);
    }

    bool listen(int port = 0)
    {
        connect(&server, &QTcpServer::newConnection, this, &TestPeer::accept, Qt::UniqueConnection);
        return server.listen(QHostAddress::LocalHost, quint16(port));
    }
    void close()
    {
        server.close();
        dropConnections();
    }
    // The peer ends every connection it has, and goes on listening.
    void dropConnections()
    {
        for (QTcpSocket* s : buffers.keys()) s->abort();
    }
    int port() const { return server.serverPort(); }
    // Connections open now.
    int open() const { return buffers.size(); }

    QList<Message> on(const QString& path) const
    {
        QList<Message> found;
        for (const Message& m : messages)
            if (m.path == path)
                found.append(m);
        return found;
    }

private:
    void accept()
    {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++connections;
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            buffers.insert(s, QByteArray());
            connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                buffers.remove(s);
                served.remove(s);
                s->deleteLater();
            });
        }
    }

    void read(QTcpSocket* s)
    {
        QByteArray& buf = buffers[s];
        buf += s->readAll();
        for (;;) {
            const int end = buf.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = buf.left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            int length = 0;
            QByteArray device;
            for (const QByteArray& l : lines) {
                const int colon = l.indexOf(':');
                if (colon < 0)
                    continue;
                const QByteArray key = l.left(colon).trimmed().toLower();
                if (key == "content-length")
                    length = l.mid(colon + 1).trimmed().toInt();
                else if (key == "device-id")
                    device = l.mid(colon + 1).trimmed();
            }
            if (buf.size() < end + 4 + length)
                return;
            Message m;
            m.method = QString::fromLatin1(first.value(0));
            m.path = QString::fromLatin1(first.value(1));
            m.deviceId = device;
            m.body = QJsonDocument::fromJson(buf.mid(end + 4, length)).object();
            messages.append(m);
            buf.remove(0, end + 4 + length);
            const int carried = served[s]++;
            if (!respond(s, carried))
                return;
        }
    }

    QByteArray reply() const
    {
        return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
               QByteArray::number(answer.size()) + (closeAfterReply ? "\r\nConnection: close" : "") + "\r\n\r\n" +
               answer;
    }

    // False when the connection is gone.
    bool respond(QTcpSocket* s, int carriedBefore)
    {
        const QByteArray r = reply();
        switch (mode) {
            case Silent:
                return true;
            case Slow:
                slow.append({s, PlatformClock::monotonicMs() + kSlowMs});
                return true;
            case Garbled:
                s->write("\x16\x03\x01 garbage\r\n\r\n");
                return true;
            case CutOff:
                s->write(r.left(r.size() / 2));
                s->disconnectFromHost();
                return false;
            case Pieces: {
                // The head without its blank line, the blank line with half the body, the rest.
                const int head = r.indexOf("\r\n\r\n");
                const int half = head + 4 + int(answer.size()) / 2;
                const QList<QByteArray> pieces{r.left(head), r.mid(head, half - head), r.mid(half)};
                for (int i = 0; i < pieces.size(); ++i) {
                    QTimer::singleShot(20 * i, this, [s = QPointer<QTcpSocket>(s), piece = pieces[i]] {
                        if (s)
                            s->write(piece);
                    });
                }
                return true;
            }
            case HangUp:
                s->abort();
                return false;
            case CloseOld:
                if (carriedBefore > 0) {
                    s->abort();
                    return false;
                }
                break;
            case Answer:
                break;
        }
        s->write(r);
        if (closeAfterReply) {
            s->disconnectFromHost();
            return false;
        }
        return true;
    }

    struct Due
    {
        QPointer<QTcpSocket> socket;
        qint64 due;
    };

    QTcpServer server;
    QHash<QTcpSocket*, QByteArray> buffers;
    QHash<QTcpSocket*, int> served;  // requests each connection carried
    QList<Due> slow;
    QTimer slowTimer;
};
