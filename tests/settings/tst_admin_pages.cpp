// The help viewer, the camera numbering page, the hardware page and the version dialog
// against a local HTTP server.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "admintestprompts.h"
#include "commandrunner.h"
#include "constructionhooks.h"
#include "customionamewidget.h"
#include "globals.h"
#include "hardwareconfigurationwidget.h"
#include "helpwidget.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "startup.h"
#include "testsupport.h"
#include "textids.h"
#include "versiondownloaddialog.h"
#include "widgetchangecamera.h"
#include "windowhooks.h"

namespace {

void writeHelpPages(const QString& folder, int count)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QImage page(100, 80, QImage::Format_RGB32);
        page.fill(QColor(10 * i, 200, 0));
        QVERIFY(page.save(QStringLiteral("%1/%2.png").arg(folder).arg(i, 2, 10, QLatin1Char('0'))));
    }
}

// Answers every GET with one document (HTTP/1.0, connection closed after the body).
class TinyHttpServer : public QTcpServer
{
public:
    QByteArray body;
    QStringList paths;

    TinyHttpServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    paths << QString::fromLatin1(request.split(' ').value(1));
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
};

VersionDownloadDialog* openVersionDialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<VersionDownloadDialog*>(w); d && d->isVisible())
            return d;
    return nullptr;
}

}  // namespace

class TestAdminPages : public QObject
{
    Q_OBJECT

    AdminPrompts prompts;

private slots:
    void initTestCase()
    {
        InitLanStr();
        gLan = 1;
    }

    void init()
    {
        prompts.install();
        prompts.reset();
        CommandRunner::clearCalls();
        gHelpC = 0;
    }

    void helpPagesWrapAndAlarmOpensPageSix()
    {
        writeHelpPages("help-en", 7);
        HelpWidget help(nullptr);
        help.resize(1920, 1080);
        QCOMPARE(help.pageCount, 7);

        QTest::mouseClick(help.alarmButton, Qt::LeftButton);
        QCOMPARE(gHelpC, HelpWidget::kAlarmPage);
        // Seven pages: after the alarm page comes the first one.
        help.SlotNext();
        QCOMPARE(gHelpC, 0);
        help.SlotLast();
        QCOMPARE(gHelpC, 6);
        help.SlotAlarm();
        QCOMPARE(gHelpC, 6);

        // The buttons stay in the band, which is painted gray over the page.
        for (QPushButton* b : {help.alarmButton, help.lastButton, help.nextButton, help.returnButton})
            QVERIFY(QRect(1290, 0, 630, 70).contains(b->geometry()));
        gHelpC = 1;
        QImage shot(1920, 1080, QImage::Format_RGB32);
        shot.fill(Qt::black);
        help.render(&shot);
        QCOMPARE(QColor(shot.pixel(5, 5)), QColor(10, 200, 0));
        QCOMPARE(QColor(shot.pixel(1291, 1)), QColor(Qt::gray));

        help.show();
        QTest::mouseClick(help.returnButton, Qt::LeftButton);
        QVERIFY(!help.isVisible());
    }

    void helpWithoutPagesKeepsTheIndex()
    {
        QDir("help-en").removeRecursively();
        HelpWidget help(nullptr);
        QCOMPARE(help.pageCount, 0);
        gHelpC = 3;
        help.SlotNext();
        help.SlotLast();
        QCOMPARE(gHelpC, 3);
    }

    void pagesAreChildrenOfTheWindowAfterTheSettingsScreen()
    {
        numCamera = 2;
        writeHelpPages("help-en", 7);
        MoJuWizard win{MoJuWizard::LightConstruction{}};
        ConstructionHooks hooks;
        QWidget* settings = nullptr;
        hooks.pages = [&settings](QWidget* w) { settings = new QWidget(w); };
        AddAdminPageHooks(hooks);
        hooks.pages(&win);
        hooks.pagesReady(&win);

        QVERIFY(settings && win.helpWidget && win.widgetChangeCamera && win.customIONameWidget &&
                win.hardwareConfigurationWidget);
        const QObjectList children = win.children();
        QVERIFY(children.indexOf(settings) < children.indexOf(win.helpWidget));
        QVERIFY(children.indexOf(win.helpWidget) < children.indexOf(win.widgetChangeCamera));
        QVERIFY(children.indexOf(win.widgetChangeCamera) < children.indexOf(win.customIONameWidget));
        for (QWidget* page : {static_cast<QWidget*>(win.helpWidget), static_cast<QWidget*>(win.widgetChangeCamera),
                              static_cast<QWidget*>(win.customIONameWidget),
                              static_cast<QWidget*>(win.hardwareConfigurationWidget)})
            QVERIFY(page->isHidden());
        QCOMPARE(win.customIONameWidget->inputNames.at(0)->count(), 16);

        // The teaching page's help opens the alarm help page through the window.
        win.show();
        gHelpC = HelpWidget::kAlarmPage;
        win.SlotHelp();
        QVERIFY(win.helpWidget->isVisible());
        QCOMPARE(gHelpC, HelpWidget::kAlarmPage);
    }

    void repeatedCameraNumbersAreRefused()
    {
        numCamera = 3;
        WidgetChangeCamera page(nullptr);
        QCOMPARE(page.choices.size(), 3);
        page.choices[1]->setCurrentIndex(0);
        prompts.reset({true});
        QVERIFY(!page.SlotOK());
        QCOMPARE(prompts.warned, QStringList{LanStr(kTextCameraNumberRepeated)});
        QVERIFY(CommandRunner::callTexts().isEmpty());

        page.choices[0]->setCurrentIndex(1);
        prompts.reset({true});
        QVERIFY(page.SlotOK());
        QCOMPARE(page.chosen, QVector<int>({1, 0, 2}));
        QCOMPARE(CommandRunner::callTexts(), QStringList{"reboot"});
    }

    void eightCamerasDrawEightCaptions()
    {
        QCOMPARE(WidgetChangeCamera::captionRect(1, 1920), QRect(QPoint(20, 10), QPoint(1919, 59)));
        QCOMPARE(WidgetChangeCamera::captionRect(8, 1920), QRect(QPoint(20, 430), QPoint(1919, 479)));
    }

    void hardwarePageCountsCameras()
    {
        numCamera = 3;
        HardwareConfigurationWidget page(nullptr);
        page.show();
        QCOMPARE(page.countLabel->text(), QString("3"));
        QCOMPARE(page.countLabel->objectName(), QString("Count"));
        page.slotConfirm();
        QVERIFY(!page.isVisible());
    }

    void versionListIsParsedFromTheDocument()
    {
        bool ok = false;
        const QStringList files = VersionDownloadDialog::parseList(
            "<versionlist><version name='a' file='18.0.1.68.tar.gz'/><version file='notes.txt'/>"
            "<version file='../x.tar'/><version file='18.0.1.69.tar'/></versionlist>",
            &ok);
        QVERIFY(ok);
        QCOMPARE(files, QStringList({"18.0.1.68.tar.gz", "18.0.1.69.tar"}));
        VersionDownloadDialog::parseList("<broken", &ok);
        QVERIFY(!ok);
    }

    void cancelledVersionDialogEnablesTheButtonAgain()
    {
        TinyHttpServer server;
        server.body = "<versionlist><version file='18.0.1.68.tar.gz'/></versionlist>";
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QDir().mkpath("cnt_net");
        QFile config("cnt_net/config.json");
        QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
        config.write("{\"serveraddr\": \"127.0.0.1\"}");
        config.close();
        VersionDownloadDialog::setServerPort(server.serverPort());

        QPushButton button;
        ModalAnswerer answerer(20000);
        prompts.install();
        answerer.watch("version", [] { return static_cast<QDialog*>(openVersionDialog()); });
        int listed = -1;
        answerer.answerWith([&listed](QDialog* d) {
            listed = static_cast<VersionDownloadDialog*>(d)->list->count();
            d->reject();
        });
        SystemActions::ToVersion(&button, nullptr);
        QVERIFY(!button.isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(button.isEnabled(), 20000);
        QCOMPARE(listed, 1);
        QCOMPARE(server.paths.value(0), QString("/version/list.xml"));
        QVERIFY(prompts.warned.isEmpty());

        // No server: the operator is told and the button comes back.
        server.close();
        SystemActions::ToVersion(&button, nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(button.isEnabled(), 20000);
        QCOMPARE(prompts.warned, QStringList{"网络异常无法访问"});
        VersionDownloadDialog::setServerPort(0);
    }
};

MONITOR_TEST_MAIN(TestAdminPages)
#include "tst_admin_pages.moc"
