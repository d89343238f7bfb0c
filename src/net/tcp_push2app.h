// Push of detection results to the API subscribers listed in the workspace's subscriber.ini.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// subscriber.ini holds one group [subscribers] whose every value is an http URL; each
// published object is POSTed there as JSON. Pushes never wait and are never retried: a
// subscriber that does not keep up loses results rather than holding the monitor.
class Tcp_Push2APP : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxInFlight = 16;  // per subscriber
    static constexpr int kReplyTimeoutMs = 3000;

    explicit Tcp_Push2APP(QObject* parent = nullptr);

    // Reads "<workspace>/subscriber.ini"; a missing file means nobody subscribes.
    void load(const QString& workspace);
    QList<QUrl> subscribers;

    // Posts `body` to every subscriber; callable from any thread.
    void publish(const QJsonObject& body);
    // Drops the subscribers and every push under way and ends the HTTP thread behind them;
    // nothing is posted until load() again (this object's thread).
    void stop();

private:
    void send(const QByteArray& body);

    QNetworkAccessManager* manager = nullptr;
    QList<int> inFlight;
};
