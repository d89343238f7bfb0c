// Card files of the set-up script, live card state and rates, access point scan.
#include "networkmanager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QRegularExpression>

#include "ccomp_diawait.h"
#include "commandrunner.h"
#include "networksettingdialog.h"
#include "systempaths.h"

namespace {

constexpr const char* kLoopback = "lo";
constexpr int kCommandWaitMs = 30000;

QByteArray readSysFile(const char* path, bool* ok = nullptr)
{
    QFile f(SysPath(QString::fromLatin1(path)));
    const bool opened = f.open(QIODevice::ReadOnly);
    if (ok)
        *ok = opened;
    return opened ? f.readAll() : QByteArray();
}

void takeString(const QJsonObject& obj, const char* key, QString& field)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    if (v.isString())
        field = v.toString();
}

void takeBool(const QJsonObject& obj, const char* key, bool& field)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    if (v.isBool())
        field = v.toBool();
}

// Appends the elements of a card file whose interface is still unclaimed, claiming it.
void takeCards(const QJsonDocument& doc, QStringList& interfaces, QJsonArray& out)
{
    const QJsonValue cards = doc.object().value("netcard_info");
    if (!cards.isArray())
        return;
    for (const QJsonValue& card : cards.toArray()) {
        const QString name = card.toObject().value("name").toString();
        if (interfaces.removeOne(name))
            out.append(card);
    }
}

}  // namespace

NetworkManager* NetworkManager::instance = nullptr;

NetworkManager* NetworkManager::getInstance()
{
    if (!instance)
        instance = new NetworkManager;
    return instance;
}

NetworkManager::NetworkManager()
{
    connect(&monitorTimer, &QTimer::timeout, this, &NetworkManager::sampleTick);
    queryDeadline.setSingleShot(true);
    connect(&queryDeadline, &QTimer::timeout, this, [this] {
        // What the query printed so far is all this tick gets.
        if (!query || !query->isRunning())
            return;
        const QByteArray partial = query->readAll();
        query->kill();
        takeQueryOutput(partial);
    });
    initnetcard(false);
}

QStringList NetworkManager::interfaceNames()
{
    bool ok = false;
    const QString text = QString::fromLatin1(readSysFile("/proc/net/dev", &ok));
    QStringList names;
    if (!ok)
        return names;
    static const QRegularExpression kName(R"(\s+(\S+):\s+)");
    auto it = kName.globalMatch(text);
    while (it.hasNext()) {
        const QString name = it.next().captured(1);
        if (name != kLoopback)
            names << name;
    }
    return names;
}

bool NetworkManager::isKnownInterface(const QString& name)
{
    return !name.isEmpty() && interfaceNames().contains(name);
}

bool NetworkManager::initnetcard(bool force)
{
    if (force || !QFileInfo::exists(SysPath(kWiredFile))) {
        CComp_DiaWait wait([this] { run_upnetcard(); }, nullptr);
        wait.exec();
        if (!QFileInfo::exists(SysPath(kWiredFile)))
            return false;
    }
    const QByteArray wired = readSysFile(kWiredFile);
    QStringList interfaces = interfaceNames();

    netcardInfo = QJsonArray();
    takeCards(QJsonDocument::fromJson(wired), interfaces, netcardInfo);
    if (netcardInfo.isEmpty()) {
        QFile::remove(SysPath(kReportFile));
        return false;
    }
    QJsonParseError error;
    const QJsonDocument wireless = QJsonDocument::fromJson(readSysFile(kWirelessFile), &error);
    if (error.error == QJsonParseError::NoError)
        takeCards(wireless, interfaces, netcardInfo);
    return true;
}

QMap<QString, stu_netinfo> NetworkManager::readNetInfo() const
{
    QMap<QString, stu_netinfo> cards;
    for (const QJsonValue& card : netcardInfo) {
        const stu_netinfo info = json2stu(card.toObject());
        cards.insert(info.name, info);
    }
    return cards;
}

stu_netinfo NetworkManager::json2stu(const QJsonObject& obj)
{
    stu_netinfo info;
    takeBool(obj, "isdhcp", info.isdhcp);
    takeBool(obj, "iswifi", info.iswifi);
    takeBool(obj, "ispriority", info.ispriority);
    takeString(obj, "name", info.name);
    takeString(obj, "address", info.address);
    takeString(obj, "netmask", info.netmask);
    takeString(obj, "gateway", info.gateway);
    takeString(obj, "mac", info.mac);
    takeString(obj, "dns", info.dns);
    takeString(obj, "status", info.status);
    takeString(obj, "describe", info.describe);
    const QJsonValue netplan = obj.value("describe_netplan");
    if (netplan.isString())
        info.describe += "(" + netplan.toString() + ")";
    if (info.iswifi) {
        takeBool(obj, "use", info.use);
        takeString(obj, "hotname", info.hotname);
        takeString(obj, "passwd", info.passwd);
    }
    return info;
}

QJsonObject NetworkManager::stu2json(const stu_netinfo& info)
{
    QJsonObject obj;
    obj.insert("name", info.name);
    obj.insert("address", info.address);
    obj.insert("netmask", info.netmask);
    obj.insert("gateway", info.gateway);
    obj.insert("mac", info.mac);
    obj.insert("dns", info.dns);
    obj.insert("status", info.status);
    obj.insert("describe", info.describe);
    obj.insert("isdhcp", info.isdhcp);
    obj.insert("iswifi", info.iswifi);
    // Only one card can be the priority card: the one the rows named last.
    obj.insert("ispriority", info.name == getInstance()->priorityCard ? info.ispriority : false);
    if (info.iswifi) {
        obj.insert("use", info.use);
        obj.insert("hotname", info.hotname);
        obj.insert("passwd", info.passwd);
    }
    return obj;
}

bool NetworkManager::samplingIdle()
{
    return gpNetDialog && gpNetDialog->isHidden();
}

void NetworkManager::NDSpeed_Touch(bool on, int interval)
{
    if (samplingIdle())
        return;
    tickCount = 0;
    if (on) {
        monitorTimer.setInterval(interval);
        monitorTimer.start();
    } else {
        monitorTimer.stop();
    }
}

void NetworkManager::sampleTick()
{
    if (samplingIdle())
        return;
    // The card query runs beside the event loop, so the detection cycle keeps its timing;
    // a query still running from the last tick has had its time.
    if (query && query->isRunning()) {
        queryDeadline.stop();
        const QByteArray partial = query->readAll();
        query->kill();
        takeQueryOutput(partial);
    }
    qInfo() << "start ifconfig";
    rateDue = tickCount++ % kRateEveryTicks == 0;
    if (!query) {
        query = new AsyncCommand(this);
        connect(query, &AsyncCommand::sigFinished, this, [this](int) {
            queryDeadline.stop();
            takeQueryOutput(query->readAll());
        });
    }
    query->start("ifconfig", {});
    queryDeadline.start(kQueryWaitMs);
}

void NetworkManager::takeQueryOutput(const QByteArray& output)
{
    static const QRegularExpression kBlock(R"(^(\S+):\s+flags=\S+<UP,BROADCAST,\S+>\s+.*)",
                                           QRegularExpression::DotMatchesEverythingOption);
    const QStringList blocks = QString::fromLocal8Bit(output).split("\n\n", Qt::SkipEmptyParts);
    for (const QString& block : blocks) {
        const QRegularExpressionMatch m = kBlock.match(block);
        if (!m.hasMatch())
            continue;
        const QString name = m.captured(1);
        stu_speedinfo info = speedMap.value(name);
        if (!block.contains("RUNNING"))
            info.active = false;
        speedMap.insert(name, info);
    }
    if (rateDue) {
        rateDue = false;
        ratePass();
    }
    qInfo() << "ifconfig finish";
}

QString NetworkManager::rateText(float rate)
{
    if (int(rate / 1048576) > 0)
        return QString::number(rate / 1048576, 'f', 2) + "mb/s";
    if (int(rate / 1024) < 1)
        return QString::number(rate, 'f', 2) + "b/s";
    return QString::number(rate / 1024, 'f', 2) + "kb/s";
}

void NetworkManager::ratePass()
{
    bool ok = false;
    const QString text = QString::fromLatin1(readSysFile("/proc/net/dev", &ok));
    if (!ok)
        return;
    static const QRegularExpression kLine(R"(^\s*(\S+):\s+(\d+)\s+./*)");
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = kLine.match(line);
        if (!m.hasMatch())
            continue;
        const QString name = m.captured(1);
        if (name == kLoopback || !speedMap.contains(name))
            continue;
        const quint64 count = m.captured(2).toULongLong();
        stu_speedinfo& info = speedMap[name];
        const float rate = float(count - info.count) / kRatePeriodS;
        info.count = count;
        info.active = rate != 0;
        info.speed = rateText(rate);
    }
}

QStringList NetworkManager::getHotPoints(const QString& interfaceName)
{
    hotPoints.clear();
    // The name goes to the tools as an argument of its own, never through a shell line,
    // and only when the kernel lists it.
    if (!isKnownInterface(interfaceName)) {
        qWarning().noquote() << "access point scan refused for" << interfaceName;
        wirelessIf.clear();
        return hotPoints;
    }
    CommandRunner::run("ifconfig", {interfaceName, "down"});
    CommandRunner::run("iwconfig", {interfaceName, "mode", "managed"});
    CommandRunner::run("ifconfig", {interfaceName, "up"});
    wirelessIf = interfaceName;
    CComp_DiaWait wait([this] { run_wireless(); }, nullptr);
    wait.exec();
    return hotPoints;
}

int NetworkManager::run_upnetcard()
{
    return CommandRunner::run("python3", {kSetupScript}, -1).exitCode;
}

void NetworkManager::run_wireless()
{
    qInfo() << "start run wireless";
    const CommandResult scan = CommandRunner::run("iwlist", {wirelessIf, "scan"}, kCommandWaitMs);
    static const QRegularExpression kEssid("\\s+ESSID:\"(.*)\"");
    for (const QString& line : QString::fromUtf8(scan.output).split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = kEssid.match(line);
        if (!m.hasMatch())
            continue;
        const QString essid = m.captured(1);
        if (!essid.isEmpty() && !hotPoints.contains(essid))
            hotPoints << essid;
    }
    qInfo() << "finish run wireless";
}

QMap<QString, QString> NetworkManager::NetInfoChk() const
{
    QMap<QString, QString> groups;
    for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
        if (nif.name() == kLoopback || nif.addressEntries().isEmpty())
            continue;
        QStringList parts = nif.addressEntries().first().ip().toString().split('.', Qt::SkipEmptyParts);
        if (parts.size() != 4)
            continue;
        parts.removeLast();
        groups[parts.join('.')] += nif.name() + ";";
    }
    return groups;
}

bool NetworkManager::isWifi(const QString& name)
{
    if (!isKnownInterface(name))
        return false;
    return QFileInfo(SysPath("/sys/class/net/" + name + "/wireless")).isDir();
}

bool NetworkManager::getProcessAlive(const QString& name)
{
    qInfo() << "getProcessAlive";
    // The listing is searched here rather than by a shell pipe, so the name is never a
    // shell word; the search itself leaves no line of its own to skip.
    const CommandResult ps = CommandRunner::run("ps", {"-aux"}, kCommandWaitMs);
    bool alive = false;
    if (!name.isEmpty()) {
        for (const QString& line : QString::fromLocal8Bit(ps.output).split('\n', Qt::SkipEmptyParts)) {
            if (line.contains(name) && !line.split(' ', Qt::SkipEmptyParts).contains("grep")) {
                alive = true;
                break;
            }
        }
    }
    qInfo() << "end"
            << "getProcessAlive";
    return alive;
}

bool NetworkManager::chkIPformat(const QString& text)
{
    if (text.isEmpty())
        return false;
    QHostAddress address;
    return address.setAddress(text);
}

bool NetworkManager::isPingTarget(const QString& text)
{
    return !text.startsWith('-') && chkIPformat(text);
}
