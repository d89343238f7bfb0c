// Test stand-ins for the network neighbours: a companion peer that records what it is posted, and free ports.
#pragma once

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A free TCP port on 127.0.0.1 at the moment of the call.
inline int FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return -1;
    return probe.serverPort();
}

// A minimal HTTP/1.1 receiver on 127.0.0.1: every request is recorded and answered 200 with
// `answer` as its JSON body; connections are kept alive as the client asks.
class TestPeer : public QObject
{
public:
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

    TestPeer() = default;
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
        for (QTcpSocket* s : buffers.keys()) s->abort();
    }
    int port() const { return server.serverPort(); }

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
            s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                     QByteArray::number(answer.size()) + (closeAfterReply ? "\r\nConnection: close" : "") + "\r\n\r\n" +
                     answer);
            if (closeAfterReply) {
                s->disconnectFromHost();
                return;
            }
        }
    }

    QTcpServer server;
    QHash<QTcpSocket*, QByteArray> buffers;
};
