// The network card manager and the network settings dialog on canned card files, /proc/net/dev
// and ifconfig output: card list, rates and states, card file writes, peer link settings,
// and that no operator text reaches a command as anything but one checked argument.
#include <functional>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTextBrowser>
#include <QtTest>

#include "commandrunner.h"
#include "editip.h"
#include "globals.h"
#include "keypads.h"
#include "lanstr.h"
#include "mainstate.h"
#include "network_carditem.h"
#include "network_carditem_setdia.h"
#include "networkmanager.h"
#include "networksettingdialog.h"
#include "numberinput.h"
#include "systempaths.h"
#include "testsupport.h"
#include "textshowwidget.h"
#include "tnr_netmn.h"

namespace {

const char* const kScript = "python3 ./cnt_net/zelkq30_upnetcard.py";

// Receive counters chosen so that one rate pass over 2.5 s gives the three units.
QByteArray procNetDev(quint64 eth0, quint64 eth1, quint64 wlan0)
{
    return QString(
               "Inter-|   Receive                                                |  Transmit\n"
               " face |bytes    packets errs drop fifo frame compressed multicast|bytes\n"
               "    lo: 99999     10    0    0    0     0          0         0    99999\n"
               "  eth0: %1   20    0    0    0     0          0         0     500\n"
               "  eth1: %2   20    0    0    0     0          0         0     500\n"
               " wlan0: %3   20    0    0    0     0          0         0     500\n")
        .arg(eth0)
        .arg(eth1)
        .arg(wlan0)
        .toLatin1();
}

QByteArray ifconfigOutput(bool eth1Running)
{
    QByteArray out =
        "eth0: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500\n"
        "        inet 192.168.1.10  netmask 255.255.255.0  broadcast 192.168.1.255\n"
        "\n";
    out += eth1Running ? "eth1: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500\n"
                       : "eth1: flags=4099<UP,BROADCAST,MULTICAST>  mtu 1500\n";
    out +=
        "        ether 00:11:22:33:44:56  txqueuelen 1000  (Ethernet)\n"
        "\n"
        "lo: flags=73<UP,LOOPBACK,RUNNING>  mtu 65536\n"
        "        inet 127.0.0.1  netmask 255.0.0.0\n"
        "\n"
        "wlan0: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500\n"
        "        inet 10.0.0.7  netmask 255.255.255.0\n";
    return out;
}

QJsonObject card(const QString& name, const QString& address, bool priority, bool wifi = false)
{
    QJsonObject c{{"name", name},
                  {"address", address},
                  {"netmask", "255.255.255.0"},
                  {"gateway", "192.168.1.1"},
                  {"mac", "00:11:22:33:44:55"},
                  {"dns", "8.8.8.8"},
                  {"status", "up"},
                  {"describe", "eth port"},
                  {"isdhcp", false},
                  {"iswifi", wifi},
                  {"ispriority", priority}};
    if (wifi) {
        c.insert("use", false);
        c.insert("hotname", "Stored");
        c.insert("passwd", "secret");
    }
    return c;
}

void writeCards(const char* file, const QJsonArray& cards)
{
    TestSupport::writeSysFile(file, QJsonDocument(QJsonObject{{"netcard_info", cards}}).toJson());
}

QJsonArray readCards(const char* file)
{
    QFile f(SysPath(file));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object().value("netcard_info").toArray();
}

QJsonObject cardNamed(const QJsonArray& cards, const QString& name)
{
    for (const QJsonValue& c : cards)
        if (c.toObject().value("name").toString() == name)
            return c.toObject();
    return {};
}

// The two wired cards (eth0 the priority one) and the wireless one, all current interfaces.
void writeStandardCards()
{
    TestSupport::writeSysFile("/proc/net/dev", procNetDev(0, 0, 0));
    writeCards(NetworkManager::kWiredFile, {card("eth1", "192.168.2.10", false), card("eth0", "192.168.1.10", true)});
    writeCards(NetworkManager::kWirelessFile, {card("wlan0", "10.0.0.7", false, true)});
}

QStringList callsStarting(const QString& prefix)
{
    QStringList found;
    for (const QString& text : CommandRunner::callTexts())
        if (text.startsWith(prefix))
            found << text;
    return found;
}

// The dialog of type T that runs its modal loop: a window, or (the card editor) a frameless
// child of the network settings dialog.
template <typename T>
T* runningDialog()
{
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget()))
        return dialog;
    if (gpNetDialog)
        for (T* child : gpNetDialog->findChildren<T*>())
            if (child->isVisible() && child->isModal())
                return child;
    return nullptr;
}

// Runs action on the first modal dialog of type T to come up; fails the test when none does.
template <typename T>
void whenModal(std::function<void(T*)> action)
{
    auto* poll = new QTimer;
    auto* waited = new QElapsedTimer;
    waited->start();
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, waited, action] {
        if (auto* dialog = runningDialog<T>()) {
            poll->stop();
            poll->deleteLater();
            delete waited;
            action(dialog);
        } else if (waited->elapsed() > 20000) {
            poll->stop();
            poll->deleteLater();
            delete waited;
            QFAIL("no modal dialog came up");
        }
    });
    poll->start();
}

}  // namespace

class TestNetwork : public QObject
{
    Q_OBJECT

    NetworkSettingDialog* dialog()
    {
        if (!gpNetDialog)
            gpNetDialog = new NetworkSettingDialog(nullptr);
        return gpNetDialog;
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        gLan = 1;
        new MainState;  // the keypads' re-creation needs the main state
        CreateNumPad();
        CreateNumCharPad();
        QDir().mkpath("cnt_net");
        writeStandardCards();
    }

    void init()
    {
        CommandRunner::clearCalls();
        CommandRunner::clearAnswers();
    }

    // A test that stops early leaves the dialog shown; hidden, its sampling idles again.
    void cleanup()
    {
        if (gpNetDialog)
            gpNetDialog->hide();
    }

    // Cards come from the files only for current interfaces, once each, wired first; the
    // script runs only when the wired file is missing or the caller forces it.
    void cardListFromCardFiles()
    {
        writeCards(NetworkManager::kWiredFile, {card("eth1", "192.168.2.10", false), card("lo", "127.0.0.1", false),
                                                card("eth9", "192.168.9.9", false), card("eth1", "192.168.2.99", false),
                                                card("eth0", "192.168.1.10", true)});
        NetworkManager* manager = NetworkManager::getInstance();
        CommandRunner::clearCalls();
        QVERIFY(manager->initnetcard(false));
        QVERIFY(callsStarting("python3").isEmpty());
        QStringList names;
        for (const QJsonValue& c : manager->netcardInfo) names << c.toObject().value("name").toString();
        QCOMPARE(names, QStringList({"eth1", "eth0", "wlan0"}));
        QCOMPARE(manager->readNetInfo().value("eth1").address, QString("192.168.2.10"));
        QCOMPARE(manager->readNetInfo().keys(), QStringList({"eth0", "eth1", "wlan0"}));

        QVERIFY(manager->initnetcard(true));
        QCOMPARE(callsStarting("python3"), QStringList({kScript}));

        // Only the loopback in the wired file: no cards, and the report file goes.
        writeCards(NetworkManager::kWiredFile, {card("lo", "127.0.0.1", false)});
        TestSupport::writeSysFile(NetworkManager::kReportFile, "old report");
        QVERIFY(!manager->initnetcard(false));
        QVERIFY(manager->netcardInfo.isEmpty());
        QVERIFY(!QFile::exists(SysPath(NetworkManager::kReportFile)));
        writeStandardCards();
        QVERIFY(manager->initnetcard(false));
    }

    void cardRecordsReadAndWrite()
    {
        QJsonObject obj = card("eth2", "1.2.3.4", true);
        obj.insert("describe_netplan", "dhcp");
        obj.insert("isdhcp", "yes");  // not a boolean: the default stays
        obj.insert("use", false);     // a wired card has no "use"
        const stu_netinfo info = NetworkManager::json2stu(obj);
        QCOMPARE(info.describe, QString("eth port(dhcp)"));
        QVERIFY(!info.isdhcp);
        QVERIFY(info.use);
        QVERIFY(info.ispriority);

        NetworkManager::getInstance()->priorityCard = "eth0";
        const QJsonObject back = NetworkManager::stu2json(info);
        QCOMPARE(back.value("ispriority").toBool(true), false);  // not the priority card
        QCOMPARE(back.value("describe").toString(), QString("eth port(dhcp)"));
        QVERIFY(!back.contains("describe_netplan"));
        QVERIFY(!back.contains("use"));

        const stu_netinfo wifi = NetworkManager::json2stu(card("wlan0", "10.0.0.7", false, true));
        QVERIFY(!wifi.use);
        QCOMPARE(wifi.hotname, QString("Stored"));
        QCOMPARE(NetworkManager::stu2json(wifi).value("passwd").toString(), QString("secret"));
    }

    // Of two cards marked priority, the row built last names the priority card and only it
    // is written so; Japanese hides the description line.
    void rowsNamePriorityAndHideDescription()
    {
        NetworkManager* manager = NetworkManager::getInstance();
        const QString kept = manager->priorityCard;
        const stu_netinfo first = NetworkManager::json2stu(card("eth0", "192.168.1.10", true));
        const stu_netinfo second = NetworkManager::json2stu(card("eth1", "192.168.2.10", true));
        gLan = 3;
        QWidget page;
        Network_CardItem a(first, &page);
        Network_CardItem b(second, &page);
        gLan = 1;
        QCOMPARE(manager->priorityCard, QString("eth1"));
        QVERIFY(!NetworkManager::stu2json(a.info).value("ispriority").toBool(true));
        QVERIFY(NetworkManager::stu2json(b.info).value("ispriority").toBool());
        QCOMPARE(a.labpriority->text(), QString("优先启用"));  // until reloaded
        QVERIFY(a.labtip->isHidden());
        manager->priorityCard = kept;
    }

    void rateTexts()
    {
        QCOMPARE(NetworkManager::rateText(1048576), QString("1.00mb/s"));
        QCOMPARE(NetworkManager::rateText(1048575), QString("1024.00kb/s"));
        QCOMPARE(NetworkManager::rateText(1023), QString("1023.00b/s"));
        QCOMPARE(NetworkManager::rateText(1024), QString("1.00kb/s"));
        QCOMPARE(NetworkManager::rateText(0), QString("0.00b/s"));
        QCOMPARE(NetworkManager::rateText(12800), QString("12.50kb/s"));
    }

    // The dialog's rows show the rates of a rate pass and the state of each card query.
    void rowsShowRatesAndStates()
    {
        NetworkSettingDialog* d = dialog();
        d->show();
        QCOMPARE(d->cardItems.keys(), QStringList({"eth0", "eth1", "wlan0"}));
        NetworkManager* manager = NetworkManager::getInstance();
        QCOMPARE(manager->priorityCard, QString("eth0"));

        // 2621440 / 2.5 = 1048576 B/s; 2621437 / 2.5 just under 1 MiB/s; 2557 / 2.5 = 1022.8 B/s.
        TestSupport::writeSysFile("/proc/net/dev", procNetDev(2621440, 2621437, 2557));
        CommandRunner::addAnswer("ifconfig", 0, ifconfigOutput(false));
        manager->NDSpeed_Touch(true, 500);
        manager->monitorTimer.stop();  // stepped by hand below
        manager->sampleTick();
        QTRY_COMPARE(manager->speedMap.value("wlan0").speed, QString("1022.80b/s"));
        QCOMPARE(manager->speedMap.value("eth0").speed, QString("1.00mb/s"));
        QCOMPARE(manager->speedMap.value("eth1").speed, QString("1024.00kb/s"));
        QVERIFY(!manager->speedMap.contains("lo"));
        QCOMPARE(callsStarting("ifconfig"), QStringList({"ifconfig"}));

        d->slotTimeout_ChKState();
        QCOMPARE(d->cardItems["eth0"]->labSpeed->text(), QString("1.00mb/s"));
        QCOMPARE(d->cardItems["wlan0"]->labSpeed->text(), QString("1022.80b/s"));
        QVERIFY(d->cardItems["eth1"]->styleSheet().contains("solid green"));

        // A query without RUNNING turns the card red until a rate pass measures traffic.
        manager->sampleTick();
        QTRY_VERIFY(!manager->speedMap.value("eth1").active);
        QVERIFY(manager->speedMap.value("eth0").active);
        d->slotTimeout_ChKState();
        QVERIFY(d->cardItems["eth1"]->styleSheet().contains("solid red"));
        QVERIFY(d->cardItems["eth0"]->styleSheet().contains("solid green"));

        // No traffic at the next rate pass (the fifth tick): 0.00b/s, inactive.
        for (int i = 0; i < 3; ++i) {
            manager->sampleTick();
            QTest::qWait(20);
        }
        manager->sampleTick();
        QTRY_COMPARE(manager->speedMap.value("eth0").speed, QString("0.00b/s"));
        QVERIFY(!manager->speedMap.value("eth0").active);

        // Hidden, the dialog's sampling idles and runs no query.
        d->hide();
        CommandRunner::clearCalls();
        manager->sampleTick();
        QTest::qWait(20);
        QVERIFY(callsStarting("ifconfig").isEmpty());
    }

    // Marking eth1 priority in its editor rewrites both card files from all rows, eth0 no
    // longer priority, and then runs the set-up script.
    void priorityEditRewritesCardFiles()
    {
        NetworkSettingDialog* d = dialog();
        d->show();
        NetworkManager::getInstance()->priorityCard = "eth0";
        QPointer<NumberInput> oldPad = gpNumPad;
        QVERIFY(oldPad);
        whenModal<Network_CardItem_SetDia>([](Network_CardItem_SetDia* editor) {
            editor->findChild<QCheckBox*>("RouteMetric")->setChecked(true);
            editor->findChild<EditIP*>("IPAddressEdite_IP")->setAddress("192.168.2.20");
            editor->acceptDialog();
        });
        d->cardItems["eth1"]->slotChgCardInfo();
        QCOMPARE(NetworkManager::getInstance()->priorityCard, QString("eth1"));
        // The keypad went through its life cycle: the old one is gone, a fresh one serves.
        QVERIFY(oldPad.isNull());
        QVERIFY(gpNumPad);

        QTRY_COMPARE(callsStarting("python3"), QStringList({kScript}));
        const QJsonArray wired = readCards(NetworkManager::kWiredFile);
        QCOMPARE(wired.size(), 2);
        QCOMPARE(cardNamed(wired, "eth0").value("ispriority").toBool(true), false);
        QCOMPARE(cardNamed(wired, "eth1").value("ispriority").toBool(), true);
        QCOMPARE(cardNamed(wired, "eth1").value("address").toString(), QString("192.168.2.20"));
        const QJsonArray wireless = readCards(NetworkManager::kWirelessFile);
        QCOMPARE(wireless.size(), 1);
        QCOMPARE(cardNamed(wireless, "wlan0").value("hotname").toString(), QString("Stored"));
        // Rows reload from the rewritten files.
        QTRY_COMPARE(d->cardItems["eth1"]->labip->text(), QString("192.168.2.20"));
        QCOMPARE(d->cardItems["eth1"]->labpriority->text(), QString("优先启用"));

        // A cancelled edit changes nothing and still leaves a fresh keypad.
        oldPad = gpNumPad;
        CommandRunner::clearCalls();
        whenModal<Network_CardItem_SetDia>([](Network_CardItem_SetDia* editor) { editor->reject(); });
        d->cardItems["eth0"]->slotChgCardInfo();
        QVERIFY(oldPad.isNull());
        QVERIFY(gpNumPad);
        QTest::qWait(200);
        QVERIFY(callsStarting("python3").isEmpty());
        d->hide();
        writeStandardCards();
    }

    // A wireless card's editor scans through argument lists and keeps the stored access point.
    void wirelessEditorAndScan()
    {
        CommandRunner::addAnswer("iwlist", 0,
                                 "wlan0     Scan completed :\n"
                                 "          ESSID:\"Plant\"\n"
                                 "          ESSID:\"\"\n"
                                 "          ESSID:\"Office\"\n"
                                 "          ESSID:\"Plant\"\n");
        stu_netinfo info = NetworkManager::json2stu(card("wlan0", "10.0.0.7", false, true));
        Network_CardItem_SetDia editor(info, nullptr);
        QCOMPARE(CommandRunner::callTexts(), QStringList({"ifconfig wlan0 down", "iwconfig wlan0 mode managed",
                                                          "ifconfig wlan0 up", "iwlist wlan0 scan"}));
        for (const CommandCall& call : CommandRunner::calls()) QVERIFY(!call.shell);
        auto* points = editor.findChild<QComboBox*>("QComboBox_pLabHotName");
        QStringList items;
        for (int i = 0; i < points->count(); ++i) items << points->itemText(i);
        QCOMPARE(items, QStringList({"Plant", "Office", "Stored"}));
        QCOMPARE(points->currentText(), QString("Stored"));
        QCOMPARE(editor.findChild<QComboBox*>("QComboBox_pComUse")->currentIndex(), 1);
        editor.findChild<QComboBox*>("QComboBox_pComUse")->setCurrentIndex(0);
        editor.findChild<QComboBox*>("QComboBox_pComTool")->setCurrentIndex(1);
        const stu_netinfo back = editor.getNetINfo();
        QVERIFY(back.use);
        QVERIFY(back.isdhcp);
        QCOMPARE(back.address, QString("10.0.0.7"));
        QCOMPARE(back.passwd, QString("secret"));
    }

    // Operator text never reaches a command unchecked: a name the kernel does not list and a
    // ping target that is an option run nothing.
    void hostileNamesRunNothing()
    {
        QVERIFY(NetworkManager::getInstance()->getHotPoints("eth0;reboot").isEmpty());
        QVERIFY(!NetworkManager::isWifi("eth0;reboot"));
        QVERIFY(CommandRunner::calls().isEmpty());

        NetworkManager::getProcessAlive("eth0;reboot");
        QCOMPARE(CommandRunner::calls().size(), 1);
        QCOMPARE(CommandRunner::calls().first().program, QString("ps"));
        QCOMPARE(CommandRunner::calls().first().args, QStringList({"-aux"}));
        QVERIFY(!CommandRunner::calls().first().shell);

        CommandRunner::clearCalls();
        NetworkSettingDialog* d = dialog();
        d->show();
        NetworkManager::getInstance()->monitorTimer.stop();  // only the ping's calls below
        for (const char* target : {"-f 10.0.0.1", "-f", "10.0.0.1; reboot", "10.0.0.1 -f"}) {
            d->pingTargetEdit->setText(target);
            d->slotPing();
        }
        QTest::qWait(50);
        QVERIFY2(CommandRunner::calls().isEmpty(), qPrintable(CommandRunner::callTexts().join(" | ")));

        CommandRunner::addAnswer("ping", 0, "PING 10.0.0.1 56(84) bytes of data.\n64 bytes from 10.0.0.1\n");
        d->pingTargetEdit->setText("10.0.0.1");
        d->slotPing();
        QCOMPARE(CommandRunner::calls().size(), 1);
        QCOMPARE(CommandRunner::calls().first().program, QString("ping"));
        QCOMPARE(CommandRunner::calls().first().args, QStringList({"10.0.0.1"}));
        QVERIFY(d->pingPanel->isVisible());
        QTRY_VERIFY(d->pingPanel->textBrowser->toPlainText().contains("64 bytes from 10.0.0.1"));
        emit d->pingPanel->sigHideWidget();
        QVERIFY(!d->pingPanel->isVisible());
        QVERIFY(d->pingPanel->textBrowser->toPlainText().isEmpty());
        d->hide();
    }

    // Applying keeps the file's other keys, fixes the port, adds the folders only when
    // missing, and the services take the switches read back from the file.
    void peerLinkSettingsReadModifyWrite()
    {
        {
            QFile f(NetworkSettingDialog::kConfigFile);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QJsonDocument(QJsonObject{{"version", "2.1.0"},
                                              {"camcount", 4},
                                              {"serverport", "9999"},
                                              {"workspace", "/data/ws/"},
                                              {"devicename", "M-07"},
                                              {"serveraddr", "10.1.2.3"},
                                              {"device_workapifunc", false},
                                              {"device_worknetfunc", "yes"},
                                              {"device_workvideo", true}})
                        .toJson());
        }
        NetworkSettingDialog fresh(nullptr);
        QCOMPARE(fresh.stuconfig.devicename, QString("M-07"));
        QCOMPARE(fresh.stuconfig.serverport, QString("10432"));
        QVERIFY(!fresh.stuconfig.device_worknetfunc);  // not a boolean in the file
        QVERIFY(fresh.videoCheck->isChecked());
        QCOMPARE(fresh.serverEdit->getAddress(), QString("10.1.2.3"));
        QCOMPARE(fresh.pingTargetEdit->text(), QString("10.1.2.3"));

        fresh.apiCheck->setChecked(true);
        fresh.netCheck->setChecked(true);
        fresh.deviceNameEdit->setText("M-08");
        fresh.slotUpdateVRQ();

        QFile f(NetworkSettingDialog::kConfigFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject config = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(config.value("version").toString(), QString("2.1.0"));
        QCOMPARE(config.value("camcount").toInt(), 4);
        QCOMPARE(config.value("serverport").toString(), QString("10432"));
        QCOMPARE(config.value("workspace").toString(), QString("/data/ws/"));
        QCOMPARE(config.value("videoapp_dir").toString(), QString("/root/bin-AOI/cnt_net/"));
        QCOMPARE(config.value("devicename").toString(), QString("M-08"));
        QCOMPARE(config.value("device_workapifunc").toBool(), true);
        QCOMPARE(config.value("device_worknetfunc").toBool(), true);
        QCOMPARE(config.value("device_workvideo").toBool(), true);

        TNR_NETMN* services = TNR_NETMN::getInstance();
        QVERIFY(services->device_workapifunc);
        QVERIFY(services->device_worknetfunc);
        QCOMPARE(services->devicename, QString("M-08"));
        QCOMPARE(services->workspace, QString("/data/ws/"));
    }

    // A server address the four octets cannot show is kept through an apply (they show
    // 0.0.0.0); a typed one replaces it; the empty address is never written.
    void serverAddressTheEditorCannotShowIsKept_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");  // by the octets when the dialog opens
        QTest::addColumn<QString>("typed");  // octets typed before the apply; empty: untouched
        QTest::addColumn<QString>("written");
        // clang-format off
        QTest::newRow("host name kept") << "server.local" << "0.0.0.0" << "" << "server.local";
        QTest::newRow("five parts kept") << "10.1.2.3.4" << "0.0.0.0" << "" << "10.1.2.3.4";
        QTest::newRow("octet above 255 kept") << "10.1.2.300" << "0.0.0.0" << "" << "10.1.2.300";
        QTest::newRow("octet 255 shown") << "10.255.2.255" << "10.255.2.255" << "" << "10.255.2.255";
        QTest::newRow("host name replaced") << "server.local" << "0.0.0.0" << "10.0.0.5" << "10.0.0.5";
        QTest::newRow("address kept") << "10.1.2.3" << "10.1.2.3" << "" << "10.1.2.3";
        QTest::newRow("address replaced") << "10.1.2.3" << "10.1.2.3" << "10.1.2.9" << "10.1.2.9";
        QTest::newRow("emptied address kept") << "10.1.2.3" << "10.1.2.3" << "0.0.0.0" << "10.1.2.3";
        QTest::newRow("nothing stored, nothing typed") << "" << "0.0.0.0" << "" << "";
        // clang-format on
    }

    void serverAddressTheEditorCannotShowIsKept()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        {
            QFile f(NetworkSettingDialog::kConfigFile);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QJsonDocument(QJsonObject{{"serveraddr", stored}}).toJson());
        }
        NetworkSettingDialog fresh(nullptr);
        QCOMPARE(fresh.pingTargetEdit->text(), stored.isEmpty() ? QString("0.0.0.0") : stored);
        QCOMPARE(fresh.serverEdit->getAddress(), shown);
        const QStringList octets = typed.split('.');
        for (int i = 0; i < octets.size() && !typed.isEmpty(); ++i) fresh.serverEdit->octets[i]->setText(octets.at(i));
        fresh.slotUpdateVRQ();
        QFile f(NetworkSettingDialog::kConfigFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).object().value("serveraddr").toString(), written);
        QCOMPARE(fresh.stuconfig.serveraddr, written);
    }

    void linkStateTexts()
    {
        QCOMPARE(NetworkSettingDialog::linkStateText(-1), QString("Networking program not started"));
        QCOMPARE(NetworkSettingDialog::linkStateText(-2), QString("Unsuccessful communication with VRq"));
        QCOMPARE(NetworkSettingDialog::linkStateText(-3), QString("Failed to connect to the server"));
        QCOMPARE(NetworkSettingDialog::linkStateText(-4), QString("This machine is not registered on the server"));
        QCOMPARE(NetworkSettingDialog::linkStateText(0), QString("Connection successful"));
        QCOMPARE(NetworkSettingDialog::linkStateText(1), QString("Connection successful"));
    }

    // The settings screen's button: one dialog for the run; accepting applies the peer link.
    void openNetworkDialogAppliesWhenAccepted()
    {
        QFile::remove(NetworkSettingDialog::kConfigFile);
        NetworkSettingDialog* before = dialog();
        whenModal<NetworkSettingDialog>([](NetworkSettingDialog* d) {
            d->deviceNameEdit->setText("Line-3");
            d->acceptDialog();
        });
        QCOMPARE(OpenNetworkDialog(), int(QDialog::Accepted));
        QCOMPARE(gpNetDialog, before);
        QFile f(NetworkSettingDialog::kConfigFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).object().value("devicename").toString(), QString("Line-3"));
        f.close();

        QFile::remove(NetworkSettingDialog::kConfigFile);
        whenModal<NetworkSettingDialog>([](NetworkSettingDialog* d) { d->reject(); });
        QCOMPARE(OpenNetworkDialog(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(NetworkSettingDialog::kConfigFile));
    }
};

MONITOR_TEST_MAIN(TestNetwork)
#include "tst_network.moc"
