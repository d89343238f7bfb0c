#include "versiondownloaddialog.h"

#include <QAbstractButton>
#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

#include "configfile.h"
#include "globals.h"
#include "lanstr.h"
#include "operatorprompts.h"
#include "pagedialogs.h"
#include "systempaths.h"

namespace {

const char* const kListPath = "/version/list.xml";
const char* const kPackagePath = "/version/";
const char* const kTarget = "/root/bin-AOI/newupdate.tar.gz";
constexpr int kTransferTimeoutMs = 10000;
constexpr int kTextConfirm = 121;
constexpr int kTextCancel = 124;
int gServerPort = 0;

}  // namespace

VersionDownloadDialog::VersionDownloadDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("version Library"));
    list = new QListWidget(this);
    downloadButton = new QPushButton(LanStr(kTextConfirm), this);
    cancelButton = new QPushButton(LanStr(kTextCancel), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(downloadButton);
    layout->addWidget(cancelButton);
    resize(600, 500);
    connect(downloadButton, &QPushButton::clicked, this, &VersionDownloadDialog::slotDownload);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    network = new QNetworkAccessManager(this);
    QNetworkRequest request(listUrl());
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { listArrived(reply); });
}

QString VersionDownloadDialog::serverAddress()
{
    QJsonObject config;
    ReadJsonObject(QString::fromLatin1(kNetConfigFile), config);
    return config.value(QStringLiteral("serveraddr")).toString();
}

void VersionDownloadDialog::setServerPort(int port)
{
    gServerPort = port;
}

QUrl VersionDownloadDialog::listUrl()
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(serverAddress());
    url.setPort(gServerPort > 0 ? gServerPort : kServerPort);
    url.setPath(QString::fromLatin1(kListPath));
    return url;
}

QUrl VersionDownloadDialog::packageUrl(const QString& file)
{
    QUrl url = listUrl();
    url.setPath(QString::fromLatin1(kPackagePath) + file);
    return url;
}

QString VersionDownloadDialog::downloadTarget()
{
    return SysPath(QString::fromLatin1(kTarget));
}

QStringList VersionDownloadDialog::parseList(const QByteArray& xml, bool* ok)
{
    QDomDocument doc;
    const bool parsed = doc.setContent(xml);
    if (ok)
        *ok = parsed;
    QStringList files;
    if (!parsed)
        return files;
    const QDomNodeList nodes = doc.documentElement().elementsByTagName(QStringLiteral("version"));
    for (int i = 0; i < nodes.size(); ++i) {
        const QString file = nodes.at(i).toElement().attribute(QStringLiteral("file"));
        // A file name only: the list must not steer the download elsewhere on the server.
        if (!file.isEmpty() && !file.contains('/') && package.contains(QFileInfo(file).suffix()))
            files << file;
    }
    return files;
}

void VersionDownloadDialog::listArrived(QNetworkReply* reply)
{
    reply->deleteLater();
    bool ok = reply->error() == QNetworkReply::NoError;
    if (ok)
        versions = parseList(reply->readAll(), &ok);
    else
        qWarning().noquote() << "version list from" << listUrl().toString() << ":" << reply->errorString();
    ready = ok;
    probed = true;
    list->clear();
    list->addItems(versions);
    if (!versions.isEmpty())
        list->setCurrentRow(0);
    emit sigProbed(ready);
}

void VersionDownloadDialog::slotDownload()
{
    const QListWidgetItem* item = list->currentItem();
    if (!item)
        return;
    downloadButton->setEnabled(false);
    QNetworkRequest request(packageUrl(item->text()));
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { packageArrived(reply); });
}

void VersionDownloadDialog::packageArrived(QNetworkReply* reply)
{
    reply->deleteLater();
    downloadButton->setEnabled(true);
    bool ok = reply->error() == QNetworkReply::NoError;
    if (ok) {
        const QString target = downloadTarget();
        QDir().mkpath(QFileInfo(target).absolutePath());
        QSaveFile file(target);
        ok = file.open(QIODevice::WriteOnly) && file.write(reply->readAll()) >= 0 && file.commit();
    }
    if (!ok)
        qWarning().noquote() << "version download failed:" << reply->errorString();
    emit sigDownloaded(ok);
    if (ok)
        accept();
}

namespace SystemActions {

void ToVersion(QAbstractButton* button, QWidget* window, const QWidget* page)
{
    if (button)
        button->setEnabled(false);
    QPointer<QAbstractButton> guard(button);
    auto* dialog = new VersionDownloadDialog(window);
    // Queued: the dialog runs from the event loop, not inside the network reply's signal.
    QObject::connect(
        dialog, &VersionDownloadDialog::sigProbed, dialog,
        [dialog, guard, page](bool ready) {
            if (ready)
                PageDialogs::Exec(*dialog, page);
            else
                WarnOperator(QObject::tr("网络异常无法访问"));
            if (guard)
                guard->setEnabled(true);
            dialog->deleteLater();
        },
        Qt::QueuedConnection);
}

}  // namespace SystemActions
