// The modal editor of one network card.
#include "network_carditem_setdia.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "edit.h"
#include "editip.h"
#include "lanstr.h"
#include "networksettingdialog.h"
#include "textfit.h"

namespace {

constexpr int kTextActive = 250;
constexpr int kTextDeactive = 251;
constexpr int kTextMask = 330;
constexpr int kTextStatic = 608;
constexpr int kTextAutomatic = 609;
constexpr int kTextConnectionMode = 610;
constexpr int kTextGateway = 611;
constexpr int kTextDns = 612;
constexpr int kTextEnableCard = 613;
constexpr int kTextWifiPassword = 669;

constexpr int kEditorWidth = 800;
constexpr int kEditorHeight = 500;
constexpr int kWirelessEditorHeight = 800;
constexpr int kIpEditorWidth = 550;
constexpr int kIpKeypadInNetDialog = 1;
constexpr int kTextKeypadType = 6;
constexpr int kCancelPadding = 6;
const char* const kEditorStyle = "QDialog{background-color:rgb(110,110,110);border: 1px solid #BDBDBD;}";
const char* const kCaptionStyle = "QLabel{outline:0px;border:none;font-size:22px;color:white;}";

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setStyleSheet(kCaptionStyle);
    return l;
}

QComboBox* combo(const QString& name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setMinimumWidth(300);
    CComp_DialogFrame::setStyleCombobox(c, new QStyledItemDelegate(c), QString());
    return c;
}

}  // namespace

Network_CardItem_SetDia::Network_CardItem_SetDia(stu_netinfo record, QWidget* parent)
    : CComp_DialogFrame("Net_Card Setting", parent), info(std::move(record))
{
    setFixedSize(kEditorWidth, info.iswifi ? kWirelessEditorHeight : kEditorHeight);
    auto* cancel = new QPushButton(tr("cancel"), this);
    cancel->setFixedSize(100, 50);
    cancel->setStyleSheet(NetworkSettingDialog::kCancelButtonStyle);
    // The button's size is fixed: its caption is made to fit it.
    TextFit::FitButton(cancel, cancel->text(), kCancelPadding);
    connect(cancel, &QPushButton::pressed, this, &QDialog::reject);
    addTitleWgt(cancel);
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint);
    setStyleSheet(kEditorStyle);

    auto* layout = new QVBoxLayout(contentWidget);
    layout->setContentsMargins(20, 50, 20, 50);
    layout->setSpacing(10);

    if (info.iswifi) {
        const QStringList found = NetworkManager::getInstance()->getHotPoints(info.name);

        auto* useRow = new QHBoxLayout;
        auto* use = combo("QComboBox_pComUse", contentWidget);
        use->addItems({LanStr(kTextActive), LanStr(kTextDeactive)});
        use->setCurrentIndex(info.use ? 0 : 1);
        useRow->addWidget(caption(LanStr(kTextEnableCard), contentWidget));
        useRow->addWidget(use);
        layout->addLayout(useRow);

        auto* hotRow = new QHBoxLayout;
        auto* hotName = new Edit(kTextKeypadType, contentWidget, 1);
        hotName->setObjectName("Edit_editHotName");
        hotName->setMaximumWidth(300);
        if (!info.hotname.isEmpty())
            hotName->setText(info.hotname);
        auto* points = combo("QComboBox_pLabHotName", contentWidget);
        points->addItems(found);
        // The stored access point stays choosable although this scan did not see it.
        if (!info.hotname.isEmpty()) {
            if (!found.contains(info.hotname))
                points->addItem(info.hotname);
            points->setCurrentText(info.hotname);
        }
        connect(points, QOverload<int>::of(&QComboBox::activated), hotName,
                [points, hotName](int index) { hotName->setText(points->itemText(index)); });
        hotRow->addWidget(caption(tr("wifi名称:"), contentWidget));
        hotRow->addWidget(hotName);
        hotRow->addWidget(points);
        layout->addLayout(hotRow);

        auto* passRow = new QHBoxLayout;
        auto* passwd = new Edit(kTextKeypadType, contentWidget, 1);
        passwd->setObjectName("Edit_editPasswd");
        passwd->setMaximumWidth(300);
        if (!info.passwd.isEmpty())
            passwd->setText(info.passwd);
        passRow->addWidget(caption(LanStr(kTextWifiPassword), contentWidget));
        passRow->addWidget(passwd);
        passRow->addStretch();
        layout->addLayout(passRow);
    }

    auto* modeRow = new QHBoxLayout;
    auto* modeLabel = caption(LanStr(kTextConnectionMode), contentWidget);
    modeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* mode = combo("QComboBox_pComTool", contentWidget);
    mode->addItems({LanStr(kTextStatic), LanStr(kTextAutomatic)});
    mode->setCurrentIndex(info.isdhcp ? 1 : 0);
    auto* priority = new QCheckBox(tr("优先"), contentWidget);
    priority->setObjectName("RouteMetric");
    priority->setStyleSheet("QCheckBox{font-size:22px;color:white;}");
    priority->setChecked(info.ispriority);
    modeRow->addWidget(modeLabel);
    modeRow->addWidget(mode);
    modeRow->addWidget(priority);
    layout->addLayout(modeRow);

    const struct
    {
        QString caption;
        const char* name;
        const QString& value;
    } editors[] = {
        {"IP :", "IPAddressEdite_IP", info.address},
        {LanStr(kTextMask), "IPAddressEdite_Mask", info.netmask},
        {LanStr(kTextGateway), "IPAddressEdite_Route", info.gateway},
        {LanStr(kTextDns), "IPAddressEdite_DNS", info.dns},
    };
    for (const auto& e : editors) {
        auto* ip = new EditIP(e.caption, kIpKeypadInNetDialog, contentWidget);
        ip->setObjectName(e.name);
        ip->setFixedWidth(kIpEditorWidth);
        ip->setAddress(e.value);
        layout->addWidget(ip);
    }
}

stu_netinfo Network_CardItem_SetDia::getNetINfo()
{
    if (auto* mode = findChild<QComboBox*>("QComboBox_pComTool"))
        info.isdhcp = mode->currentIndex() == 1;
    const struct
    {
        const char* name;
        QString& field;
    } editors[] = {
        {"IPAddressEdite_IP", info.address},
        {"IPAddressEdite_Mask", info.netmask},
        {"IPAddressEdite_Route", info.gateway},
        {"IPAddressEdite_DNS", info.dns},
    };
    for (const auto& e : editors)
        if (auto* ip = findChild<EditIP*>(e.name))
            e.field = ip->getAddress();
    if (auto* use = findChild<QComboBox*>("QComboBox_pComUse"))
        info.use = use->currentIndex() == 0;
    if (auto* hotName = findChild<Edit*>("Edit_editHotName"))
        info.hotname = hotName->text();
    if (auto* passwd = findChild<Edit*>("Edit_editPasswd"))
        info.passwd = passwd->text();
    if (auto* priority = findChild<QCheckBox*>("RouteMetric"))
        info.ispriority = priority->isChecked();
    return info;
}
