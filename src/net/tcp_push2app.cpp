// Push of detection results to the API subscribers.
#include "tcp_push2app.h"

#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QThread>

#include "globals.h"

namespace {
const char* const kFile = "subscriber.ini";
const char* const kGroup = "subscribers";
}  // namespace

Tcp_Push2APP::Tcp_Push2APP(QObject* parent) : QObject(parent) {}

void Tcp_Push2APP::load(const QString& workspace)
{
    subscribers.clear();
    const QString path = QDir(workspace).filePath(QString::fromLatin1(kFile));
    if (QFile::exists(path)) {
        QSettings ini(path, QSettings::IniFormat);
        ini.beginGroup(QString::fromLatin1(kGroup));
        for (const QString& key : ini.childKeys()) {
            const QUrl url(ini.value(key).toString().trimmed());
            if (url.isValid() && url.scheme() == QLatin1String("http"))
                subscribers.append(url);
            else
                qWarning() << "subscriber.ini: not an http URL, skipped:" << key << ini.value(key).toString();
        }
    }
    inFlight = QList<int>();
    for (int i = 0; i < subscribers.size(); ++i) inFlight.append(0);
    if (!subscribers.isEmpty())
        qInfo() << "API subscribers:" << subscribers;
}

void Tcp_Push2APP::publish(const QJsonObject& body)
{
    const QByteArray data = QJsonDocument(body).toJson(QJsonDocument::Compact);
    if (QThread::currentThread() != thread())
        QMetaObject::invokeMethod(
            this, [this, data] { send(data); }, Qt::QueuedConnection);
    else
        send(data);
}

void Tcp_Push2APP::stop()
{
    subscribers.clear();
    inFlight.clear();
    if (!manager)
        return;
    // Deleting the manager aborts its replies and waits for its HTTP thread.
    for (QNetworkReply* reply : manager->findChildren<QNetworkReply*>()) reply->abort();
    delete manager;
    manager = nullptr;
}

void Tcp_Push2APP::send(const QByteArray& body)
{
    if (subscribers.isEmpty())
        return;
    if (!manager)
        manager = new QNetworkAccessManager(this);
    for (int i = 0; i < subscribers.size(); ++i) {
        if (inFlight[i] >= kMaxInFlight)
            continue;
        QNetworkRequest request(subscribers[i]);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        request.setRawHeader("Device-ID", gDeviceID.toUtf8());
        request.setTransferTimeout(kReplyTimeoutMs);
        QNetworkReply* reply = manager->post(request, body);
        ++inFlight[i];
        const QList<QUrl> listed = subscribers;
        connect(reply, &QNetworkReply::finished, this, [this, reply, i, listed] {
            reply->deleteLater();
            // A reload in between starts the counts afresh.
            if (listed == subscribers && i < inFlight.size())
                --inFlight[i];
        });
    }
}
