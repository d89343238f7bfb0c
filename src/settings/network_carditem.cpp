// One card row of the network settings dialog.
#include "network_carditem.h"

#include <QHBoxLayout>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include "globals.h"
#include "mapplication.h"
#include "network_carditem_setdia.h"
#include "networksettingdialog.h"
#include "numberinput.h"
#include "pagedialogs.h"

namespace {

constexpr int kJapanese = 3;
constexpr int kUpdateDelayMs = 100;  // the editor has closed before the card files are written
const char* const kRowStyle =
    "QWidget{border-style:solid;background-color:rgb(110,110,110);border: 0px;border-left: 10px solid red;}";
const char* const kNameStyle = "QLabel{outline:0px;border:none;font-weight:bold;font-size:30px;color:lightblue;}";
const char* const kLabelStyle = "QLabel{outline:0px;border:none;font-size:15px;color:white;}";
const char* const kSpeedStyle = "QLabel{outline:0px;border:none;font-size:15px;color:lightblue;}";

QLabel* label(QWidget* parent, const QString& text, const char* style, const QString& name = QString())
{
    auto* l = new QLabel(text, parent);
    l->setStyleSheet(style);
    if (!name.isEmpty())
        l->setObjectName(name);
    return l;
}

}  // namespace

Network_CardItem::Network_CardItem(const stu_netinfo& record, QWidget* parent)
    : QWidget(parent), info(record), rowStyle(kRowStyle)
{
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(rowStyle);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(30, 0, 10, 0);
    outer->setSpacing(5);
    auto* inner = new QWidget(this);
    inner->setMinimumWidth(620);
    inner->setStyleSheet("QWidget{border:none;}");
    auto* row = new QHBoxLayout(inner);
    row->setSpacing(10);
    row->setContentsMargins(30, 0, 0, 0);
    outer->addWidget(inner);

    auto* lines = new QVBoxLayout;
    auto* line1 = new QHBoxLayout;
    line1->setSpacing(20);
    if (info.iswifi) {
        auto* wifi = new QLabel(inner);
        wifi->setFixedSize(40, 40);
        wifi->setPixmap(QPixmap("./images/wifi.png").scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        line1->addWidget(wifi);
    }
    labName = label(inner, info.name, kNameStyle);
    labName->setMinimumWidth(300);
    labMac = label(inner, info.mac, kLabelStyle);
    labMac->setMaximumWidth(150);
    labSpeed = label(inner, QString(), kSpeedStyle);
    labSpeed->setMinimumWidth(80);
    line1->addWidget(labName);
    line1->addWidget(labMac);
    line1->addWidget(labSpeed);
    line1->addStretch();

    auto* line2 = new QHBoxLayout;
    line2->setSpacing(20);
    labip = label(inner, info.address, kLabelStyle, "labip");
    labmask = label(inner, info.netmask, kLabelStyle, "labmask");
    labroute = label(inner, info.gateway, kLabelStyle, "labroute");
    line2->addWidget(labip);
    line2->addWidget(labmask);
    line2->addWidget(labroute);
    line2->addStretch();

    auto* line3 = new QHBoxLayout;
    labtip = label(inner, info.describe, kLabelStyle, "labtip");
    labtip->setMaximumWidth(400);
    labtip->setVisible(gLan != kJapanese);
    labpriority = label(inner, QString(), kLabelStyle, "labpriority");
    labpriority->setFixedSize(80, 15);
    line3->addWidget(labtip);
    line3->addStretch();
    line3->addWidget(labpriority);

    lines->addLayout(line1);
    lines->addLayout(line2);
    lines->addLayout(line3);
    row->addLayout(lines);
    row->addStretch();

    labuse = new QLabel(inner);
    labuse->setObjectName("labuse");
    labuse->setFixedSize(60, 60);
    labuse->setPixmap(QPixmap("./images/error.png").scaled(60, 60, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    labuse->setVisible(!info.use);
    row->addWidget(labuse);

    modifyButton = new QPushButton(inner);
    modifyButton->setFixedSize(60, 60);
    modifyButton->setIcon(QIcon("./images/modify.png"));
    modifyButton->setIconSize(QSize(40, 40));
    modifyButton->setStyleSheet(NetworkSettingDialog::kApplyButtonStyle);
    connect(modifyButton, &QPushButton::released, this, &Network_CardItem::slotChgCardInfo, Qt::QueuedConnection);
    row->addWidget(modifyButton);

    if (info.ispriority)
        NetworkManager::getInstance()->priorityCard = info.name;
    showPriority();
}

void Network_CardItem::showPriority()
{
    labpriority->setText(info.ispriority ? tr("优先启用") : QString());
}

void Network_CardItem::chgHardWare(bool active)
{
    QString style = rowStyle;
    if (active)
        style.replace("red", "green");
    if (styleSheet() != style)
        setStyleSheet(style);
}

void Network_CardItem::updateSpeed(const QString& text)
{
    labSpeed->setText(text);
}

void Network_CardItem::reload_information(stu_netinfo record)
{
    info = record;
    labip->setText(info.address);
    labmask->setText(info.netmask);
    labroute->setText(info.gateway);
    labtip->setText(info.describe);
    labuse->setVisible(!info.use);
    showPriority();
    update();
}

void Network_CardItem::slotChgCardInfo()
{
    QWidget* host = gpNetDialog ? static_cast<QWidget*>(gpNetDialog) : window();
    Network_CardItem_SetDia editor(info, host);
    editor.move((host->width() - editor.width()) / 2, (host->height() - editor.height()) / 2);
    const int result = PageDialogs::Exec(editor, gpNetDialog);

    // The numeric keypad served the editor's octets inside the dialog: it goes through its
    // life cycle (its destruction clears the global and a fresh one replaces it), so the next
    // numeric entry starts from a new keypad and none is left behind.
    if (gpNumPad) {
        gpNumPad->hide();
        delete gpNumPad;
    }
    if (result != QDialog::Accepted)
        return;

    info = editor.getNetINfo();
    if (info.ispriority)
        NetworkManager::getInstance()->priorityCard = info.name;
    QTimer::singleShot(kUpdateDelayMs, this, &Network_CardItem::sigUpdateAll);
    if (auto* app = qobject_cast<MApplication*>(qApp))
        app->manualStopTscTimeup();
}
