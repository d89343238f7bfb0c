// The machine's network cards: card files of the set-up script, live state and rates, access point scan.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class AsyncCommand;

// One network card as the card files describe it; copied freely.
struct stu_netinfo
{
    bool isdhcp = false;
    bool iswifi = false;
    bool ispriority = false;
    QString name;  // interface name, the record's key everywhere
    QString address;
    QString netmask;
    QString gateway;
    QString mac;
    QString dns;
    QString status;
    QString describe;
    bool use = true;  // wireless cards only
    QString hotname;  // access point, wireless cards only
    QString passwd;   // access point password, wireless cards only
};

// Live state of one card.
struct stu_speedinfo
{
    bool active = false;  // running and received data in the last measured period
    quint64 count = 0;    // receive byte counter at the last sample
    QString speed = "0 kb/s";
};

class NetworkManager : public QObject
{
public:
    static NetworkManager* getInstance();

    // Card files of the set-up script (panel paths; read and written through SysPath).
    static constexpr const char* kWiredFile = "/etc/netplan/netplan_prejson.txt";
    static constexpr const char* kWirelessFile = "/etc/netplan/wifi_prejson.txt";
    static constexpr const char* kReportFile = "/etc/network/pyreport.txt";
    static constexpr const char* kSetupScript = "./cnt_net/zelkq30_upnetcard.py";

    // Runs the set-up script when the wired file is missing or force is set, then rebuilds
    // netcardInfo from the cards that are current interfaces; true when a wired card was kept.
    bool initnetcard(bool force);
    QMap<QString, stu_netinfo> readNetInfo() const;
    static stu_netinfo json2stu(const QJsonObject& obj);
    static QJsonObject stu2json(const stu_netinfo& info);

    // Switches the sampling tick; idles while the network dialog exists and is hidden.
    void NDSpeed_Touch(bool on, int interval);
    // Access point names seen by the wireless interface; empty for a name that is not a card.
    QStringList getHotPoints(const QString& interfaceName);
    int run_upnetcard();
    void run_wireless();
    QMap<QString, QString> NetInfoChk() const;

    static bool isWifi(const QString& name);
    static bool getProcessAlive(const QString& name);
    static bool chkIPformat(const QString& text);

    // Interfaces of /proc/net/dev in their order, without the loopback; empty when unreadable.
    static QStringList interfaceNames();
    // Whether a name may reach a command: only interfaces the kernel lists.
    static bool isKnownInterface(const QString& name);
    // A ping target goes to ping as one argument: it must be an address and must not look
    // like an option.
    static bool isPingTarget(const QString& text);
    // Rate text of the sampling: "1.00mb/s", "1024.00kb/s", "1022.80b/s".
    static QString rateText(float bytesPerSecond);

    // The sampling tick (public so that tests can step it without waiting on the timer).
    void sampleTick();

    QJsonArray netcardInfo;
    QMap<QString, stu_speedinfo> speedMap;
    QTimer monitorTimer;
    int tickCount = 0;
    QString wirelessIf;
    QStringList hotPoints;
    QString priorityCard;

    // Seconds between two rate passes: five ticks of the dialog's 500 ms.
    static constexpr float kRatePeriodS = 2.5f;
    static constexpr int kRateEveryTicks = 5;
    // How long a tick lets the card query print before it takes what has come.
    static constexpr int kQueryWaitMs = 200;

private:
    NetworkManager();
    static bool samplingIdle();
    void takeQueryOutput(const QByteArray& output);
    void ratePass();

    static NetworkManager* instance;
    AsyncCommand* query = nullptr;  // the running "ifconfig"
    QTimer queryDeadline;
    bool rateDue = false;  // the tick that started the query asks for a rate pass
};
