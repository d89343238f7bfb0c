// The version download dialog: the list of program versions on the update server, fetched
// over HTTP without blocking the GUI thread, and the download of the chosen package.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QUrl>

class QAbstractButton;
class QListWidget;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;

class VersionDownloadDialog : public QDialog
{
    Q_OBJECT

public:
    // Starts asking the server for its list; sigProbed tells the answer.
    explicit VersionDownloadDialog(QWidget* parent);

    static constexpr int kServerPort = 10440;
    // The update server: "serveraddr" of cnt_net/config.json.
    static QString serverAddress();
    // Off the panel (tests) the server may listen elsewhere; 0 restores the update port.
    static void setServerPort(int port);
    static QUrl listUrl();
    static QUrl packageUrl(const QString& file);
    // Where an accepted download goes: the program's update package, unpacked outside the
    // program at the next start.
    static QString downloadTarget();
    // The package files of a version list document, in document order; only files whose
    // suffix is one of `package` count.
    static QStringList parseList(const QByteArray& xml, bool* ok = nullptr);

    bool ready = false;  // the server answered with a list
    bool probed = false;
    QStringList versions;
    QListWidget* list = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* cancelButton = nullptr;

signals:
    void sigProbed(bool ready);
    void sigDownloaded(bool ok);

public slots:
    void slotDownload();

private:
    void listArrived(QNetworkReply* reply);
    void packageArrived(QNetworkReply* reply);

    QNetworkAccessManager* network;
};

namespace SystemActions {
// "version Library": the button is disabled while the dialog asks the server and runs, and
// enabled again however the dialog ends; without an answer the operator is told so. The dialog
// is one of `page`, closed when the page is hidden.
void ToVersion(QAbstractButton* button, QWidget* window, const QWidget* page = nullptr);
}  // namespace SystemActions
