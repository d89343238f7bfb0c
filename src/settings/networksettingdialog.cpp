// The network settings dialog: card rows, card files, peer link settings and ping.
#include "networksettingdialog.h"

#include <QDebug>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "c_type_com.h"
#include "commandrunner.h"
#include "configfile.h"
#include "edit.h"
#include "editip.h"
#include "lanstr.h"
#include "mapplication.h"
#include "network_carditem.h"
#include "networkmanager.h"
#include "pagedialogs.h"
#include "platformscreen.h"
#include "systempaths.h"
#include "textshowwidget.h"
#include "tnr_netmn.h"

NetworkSettingDialog* gpNetDialog = nullptr;

namespace {

constexpr int kTextTitle = 328;
constexpr int kTextBigData = 598;
constexpr int kTextVideo = 599;
constexpr int kTextNativeId = 600;
constexpr int kTextServerAddress = 602;

constexpr int kWidth = 1280;
constexpr int kHeight = 960;
constexpr int kRefreshMs = 1000;
constexpr int kPingReadMs = 100;
constexpr int kSamplingMs = 500;
constexpr int kTextKeypadType = 6;
constexpr char kNoAddress[] = "0.0.0.0";
constexpr int kOctets = 4;
constexpr uint kOctetMax = 255;
constexpr int kPingPanelGap = 70;
const char* const kStateStyle = "QLabel{outline:0px;border:none;font-size:20px;color:lightblue;}";
const char* const kPingStyle = "outline:0px;border:none;font-size:32px;color:white;background-color:#00BCD4;";
const char* const kCheckStyle = "QCheckBox{font-size:24px;color:white;}";
const char* const kCaptionStyle = "QLabel{outline:0px;border:none;font-size:24px;color:white;}";

// Link check results and the entries that name them; anything else counts as linked.
const struct
{
    int result;
    int entry;
} kLinkStates[] = {{-1, 605}, {-2, 603}, {-3, 604}, {-4, 606}};
constexpr int kTextLinked = 607;

QCheckBox* checkBox(const QString& text, bool on, QWidget* parent)
{
    auto* c = new QCheckBox(text, parent);
    c->setStyleSheet(kCheckStyle);
    c->setChecked(on);
    return c;
}

bool writeJson(const QString& path, const QJsonObject& obj)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    f.write(QJsonDocument(obj).toJson(QJsonDocument::Indented));
    return true;
}

}  // namespace

NetworkSettingDialog::NetworkSettingDialog(QWidget* parent) : CComp_DialogFrame(LanStr(kTextTitle), parent)
{
    const QRect screen = PlatformScreen::geometry();
    setGeometry(screen.width() / 2 - kWidth / 2, screen.height() / 2 - kHeight / 2, kWidth, kHeight);

    auto* cancel = new QPushButton("取消", this);
    cancel->setFixedSize(100, 50);
    cancel->setStyleSheet(kCancelButtonStyle);
    connect(cancel, &QPushButton::pressed, this, &QDialog::reject);
    addTitleWgt(cancel);

    auto* body = new QHBoxLayout(contentWidget);
    body->setSpacing(100);
    body->setContentsMargins(8, 20, 8, 0);

    NetworkManager* manager = NetworkManager::getInstance();
    manager->initnetcard(false);
    manager->NDSpeed_Touch(true, kSamplingMs);

    auto* scroll = new QScrollArea(contentWidget);
    scroll->setMinimumWidth(700);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setStyleSheet(C_Type_COM::getSlider());
    auto* cards = new QWidget;
    auto* cardLayout = new QVBoxLayout(cards);
    cardLayout->setSpacing(10);
    int cardsHeight = 0;
    const QMap<QString, stu_netinfo> infos = manager->readNetInfo();
    for (auto it = infos.cbegin(); it != infos.cend(); ++it) {
        auto* item = new Network_CardItem(it.value(), cards);
        connect(item, &Network_CardItem::sigUpdateAll, this, &NetworkSettingDialog::slotUpdateAll,
                Qt::QueuedConnection);
        cardItems.insert(it.key(), item);
        cardLayout->addWidget(item);
        cardsHeight += item->minimumHeight() + 10;
    }
    cardLayout->addStretch();
    cards->setFixedSize(800, cardsHeight);
    scroll->setWidget(cards);
    body->addWidget(scroll);

    cardTimer.setInterval(kRefreshMs);
    connect(&cardTimer, &QTimer::timeout, this, &NetworkSettingDialog::slotTimeout_ChKState);
    cardTimer.start();
    ininconfig();

    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    auto* stateRow = new QHBoxLayout;
    stateLabel = new QLabel(contentWidget);
    stateLabel->setObjectName("lab_showstate");
    stateLabel->setStyleSheet(kStateStyle);
    applyButton = new QPushButton(contentWidget);
    applyButton->setIcon(QIcon("./images/Rotate.png"));
    applyButton->setFixedSize(100, 50);
    applyButton->setIconSize(QSize(60, 40));
    applyButton->setStyleSheet(kApplyButtonStyle);
    connect(applyButton, &QPushButton::clicked, this, &NetworkSettingDialog::slotUpdateVRQ);
    stateRow->addWidget(stateLabel);
    stateRow->addWidget(applyButton);
    right->addLayout(stateRow);

    apiCheck = checkBox(tr("是否开启API接口功能"), stuconfig.device_workapifunc, contentWidget);
    netCheck = checkBox(LanStr(kTextBigData), stuconfig.device_worknetfunc, contentWidget);
    videoCheck = checkBox(LanStr(kTextVideo), stuconfig.device_workvideo, contentWidget);
    right->addWidget(apiCheck);
    right->addWidget(netCheck);
    right->addWidget(videoCheck);

    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel(LanStr(kTextNativeId), contentWidget);
    nameLabel->setStyleSheet(kCaptionStyle);
    deviceNameEdit = new Edit(kTextKeypadType, contentWidget, 1);
    deviceNameEdit->setMaximumWidth(200);
    deviceNameEdit->setText(stuconfig.devicename);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(deviceNameEdit);
    nameRow->addStretch();
    right->addLayout(nameRow);

    serverEdit = new EditIP(LanStr(kTextServerAddress), 0, contentWidget);
    // A host name or anything else the four octets cannot show stays out of them (they read
    // 0.0.0.0), and is kept until the operator types an address (slotUpdateVRQ).
    const bool showable = ShowableAddress(stuconfig.serveraddr);
    if (showable)
        serverEdit->setAddress(stuconfig.serveraddr);
    right->addWidget(serverEdit);

    auto* pingRow = new QHBoxLayout;
    pingButton = new QPushButton(tr("Ping"), contentWidget);
    pingButton->setFixedSize(150, 50);
    pingButton->setStyleSheet(kPingStyle);
    connect(pingButton, &QPushButton::clicked, this, &NetworkSettingDialog::slotPing);
    pingTargetEdit = new Edit(kTextKeypadType, contentWidget, 1);
    pingTargetEdit->setFixedSize(400, 50);
    pingTargetEdit->setText(showable || stuconfig.serveraddr.isEmpty() ? serverEdit->getAddress()
                                                                        : stuconfig.serveraddr);
    pingRow->addWidget(pingButton);
    pingRow->addWidget(pingTargetEdit);
    right->addLayout(pingRow);
    right->addStretch();
    body->addLayout(right);
    body->addStretch();
    connect(serverEdit, &EditIP::textchange, this, [this] { pingTargetEdit->setText(serverEdit->getAddress()); });

    stateTimer.setInterval(kRefreshMs);
    connect(&stateTimer, &QTimer::timeout, this, &NetworkSettingDialog::slotTimeout_VRQState);
    stateTimer.start();

    pingPanel = new TextShowWidget(contentWidget);
    pingPanel->hide();
    connect(pingPanel, &TextShowWidget::sigHideWidget, this, &NetworkSettingDialog::slotClosePing);
    pingProcess = new AsyncCommand(this);
    pingTimer.setInterval(kPingReadMs);
    connect(&pingTimer, &QTimer::timeout, this, &NetworkSettingDialog::slotPingOutput);

    setWindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint);
    setDefaultWgt(this, QString());
}

bool NetworkSettingDialog::ininconfig()
{
    QJsonObject config;
    if (!ReadJsonObject(QString::fromLatin1(kConfigFile), config))
        return false;
    const auto text = [&config](const char* key, QString& field) {
        if (config.value(key).isString())
            field = config.value(key).toString();
    };
    const auto flag = [&config](const char* key, bool& field) {
        if (config.value(key).isBool())
            field = config.value(key).toBool();
    };
    text("devicename", stuconfig.devicename);
    text("serveraddr", stuconfig.serveraddr);
    flag("device_workapifunc", stuconfig.device_workapifunc);
    flag("device_worknetfunc", stuconfig.device_worknetfunc);
    flag("device_workvideo", stuconfig.device_workvideo);
    return true;
}

void NetworkSettingDialog::slotUpdateVRQ()
{
    stuconfig.device_workapifunc = apiCheck->isChecked();
    stuconfig.device_worknetfunc = netCheck->isChecked();
    stuconfig.device_workvideo = videoCheck->isChecked();
    stuconfig.devicename = deviceNameEdit->text();
    // The editor reads empty octets, and so an address it could not show, as 0.0.0.0: that
    // never replaces the stored address.
    const QString typed = serverEdit->getAddress();
    if (typed != QLatin1String(kNoAddress))
        stuconfig.serveraddr = typed;

    // Read, change, write: the file also holds keys of others (version, camcount, ...).
    QJsonObject config;
    ReadJsonObject(QString::fromLatin1(kConfigFile), config);
    config.insert("device_workapifunc", stuconfig.device_workapifunc);
    config.insert("device_worknetfunc", stuconfig.device_worknetfunc);
    config.insert("device_workvideo", stuconfig.device_workvideo);
    config.insert("devicename", stuconfig.devicename);
    config.insert("serveraddr", stuconfig.serveraddr);
    config.insert("serverport", stuconfig.serverport);
    if (!config.contains("videoapp_dir"))
        config.insert("videoapp_dir", stuconfig.videoapp_dir);
    if (!config.contains("workspace"))
        config.insert("workspace", stuconfig.workspace);

    QFile out(kConfigFile);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        out.write(QJsonDocument(config).toJson(QJsonDocument::Indented));
        out.waitForBytesWritten(1000);
        out.close();
    } else {
        qWarning() << "network settings:" << kConfigFile << "cannot be written";
    }

    // The services read the file back when they start again; the switches first, so that
    // a file that could not be written still leaves the services as the dialog says.
    TNR_NETMN* services = TNR_NETMN::getInstance();
    services->setWorkTask(stuconfig.device_worknetfunc, stuconfig.device_workvideo, stuconfig.device_workapifunc);
    services->initStart();
}

void NetworkSettingDialog::slotUpdateAll()
{
    QJsonArray wired;
    QJsonArray wireless;
    for (Network_CardItem* item : cardItems)
        (item->info.iswifi ? wireless : wired).append(NetworkManager::stu2json(item->info));
    writeJson(SysPath(NetworkManager::kWiredFile), {{"netcard_info", wired}});
    writeJson(SysPath(NetworkManager::kWirelessFile), {{"netcard_info", wireless}});

    NetworkManager* manager = NetworkManager::getInstance();
    manager->initnetcard(true);
    const QMap<QString, stu_netinfo> infos = manager->readNetInfo();
    for (auto it = infos.cbegin(); it != infos.cend(); ++it)
        if (Network_CardItem* item = cardItems.value(it.key()))
            item->reload_information(it.value());
    update();
}

void NetworkSettingDialog::slotTimeout_ChKState()
{
    if (!isVisible())
        return;
    const QMap<QString, stu_speedinfo>& speeds = NetworkManager::getInstance()->speedMap;
    for (auto it = speeds.cbegin(); it != speeds.cend(); ++it) {
        if (Network_CardItem* item = cardItems.value(it.key())) {
            item->chgHardWare(it.value().active);
            item->updateSpeed(it.value().speed);
        }
    }
}

bool NetworkSettingDialog::ShowableAddress(const QString& address)
{
    const QStringList parts = address.split('.');
    if (parts.size() != kOctets)
        return false;
    for (const QString& part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 10);
        if (!ok || value > kOctetMax || QString::number(value) != part)
            return false;
    }
    return true;
}

QString NetworkSettingDialog::linkStateText(int result)
{
    for (const auto& state : kLinkStates)
        if (state.result == result)
            return LanStr(state.entry);
    return LanStr(kTextLinked);
}

int NetworkSettingDialog::linkResult()
{
    return TNR_NETMN::getInstance()->isAllowSnd_2_VW();
}

void NetworkSettingDialog::slotTimeout_VRQState()
{
    if (!isVisible())
        return;
    stateLabel->setText("Unknow");
    stateLabel->setText(linkStateText(linkResult()));
    stateLabel->update();
}

void NetworkSettingDialog::slotPing()
{
    const QRect at = pingButton->geometry();
    pingPanel->move(at.x(), at.y() + at.height() + kPingPanelGap);
    pingPanel->show();
    pingPanel->raise();
    pingPanel->textBrowser->clear();
    pingProcess->kill();
    // The target reaches ping as one argument, and only as an address: "-f 10.0.0.1" would
    // otherwise flood as root.
    const QString target = pingTargetEdit->text().trimmed();
    if (!NetworkManager::isPingTarget(target)) {
        qWarning().noquote() << "ping refused for" << target;
        return;
    }
    qInfo() << "start ping";
    pingProcess->start("ping", {target});
    pingTimer.start();
    qInfo() << "ping finish";
    update();
}

void NetworkSettingDialog::slotPingOutput()
{
    QString text = QString::fromLocal8Bit(pingProcess->readAll());
    if (text.isEmpty())
        return;
    text.chop(1);
    pingPanel->textBrowser->append(text);
}

void NetworkSettingDialog::slotClosePing()
{
    pingProcess->kill();
    pingTimer.stop();
    pingPanel->textBrowser->clear();
    pingPanel->hide();
}

void NetworkSettingDialog::showEvent(QShowEvent* event)
{
    CComp_DialogFrame::showEvent(event);
    NetworkManager::getInstance()->NDSpeed_Touch(true, kSamplingMs);
}

void NetworkSettingDialog::hideEvent(QHideEvent* event)
{
    // A card's editor goes with the dialog, unsaved.
    PageDialogs::CloseOf(this);
    pingProcess->kill();
    pingTimer.stop();
    pingPanel->hide();
    CComp_DialogFrame::hideEvent(event);
}

int OpenNetworkDialog(const QWidget* page)
{
    if (!gpNetDialog)
        gpNetDialog = new NetworkSettingDialog(nullptr);
    const int result = PageDialogs::Exec(*gpNetDialog, page);
    if (result == QDialog::Accepted)
        gpNetDialog->slotUpdateVRQ();
    if (auto* app = qobject_cast<MApplication*>(qApp))
        app->manualStopTscTimeup();
    return result;
}
