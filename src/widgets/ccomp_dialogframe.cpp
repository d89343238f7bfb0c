// Frameless base dialog with a title bar and the style setters of its family.
#include "ccomp_dialogframe.h"

#include <QDebug>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

constexpr int kTitleBarHeight = 60;
constexpr int kOkButtonWidth = 100;
constexpr int kOkButtonHeight = 50;
constexpr int kTitleMarginX = 8;
constexpr int kBodySpacing = 5;
constexpr int kBodyBottomMargin = 5;
constexpr int kMinWidth = 1000;
constexpr int kMinHeight = 800;

const char* const kTitleBarStyle = "color:white;background-color:rgb(80,80,80);font-size:32px";
const char* const kOkButtonStyle = "outline:0px;border:none;font-size:32px;color:white;background-color:#8BC34A;";

const char* const kPushButtonStyle =
    "QPushButton{outline:0px;border:none;font-size:%2px;color:white;background-color:%1;}"
    "QPushButton:pressed{color:#ffffff;background:#f1c232;}";

const char* const kLineEditStyle =
    "QLineEdit{color:white;font-size:20px;border: 1px solid #959595;height:32px;}QLineEdit:!focus{border: 1px solid "
    "#959595;background:transparent;color:white;}QLineEdit:focus{background:white;color:black;}";

const char* const kComboStyle =
    "QComboBox {color:white;font-size:22px;height:40px;border:1px solid "
    "#BDBDBD;background-color:#607D8B;combobox-popup:0;}QComboBox::drop-down{width:40px;height:40px;border-style:"
    "none;}QComboBox::down-arrow{width:30px;height:30px;image:url(:/img/Resources/RightTriangle.png);}QComboBox::"
    "down-arrow:open{image: url(:/img/Resources/DownTriangle.png);}QComboBox QAbstractItemView::item "
    "{outline:0px;color:black;min-height:45px;height:40px;background-color:white;}QComboBox "
    "QAbstractItemView::item:focus {color:white;min-height:50px;height:40px;background-color:#607D8B;}";

const char* const kDefaultPageStyle =
    "QDialog{background-color:rgb(110,110,110);outline:0px;border:none;}QTabWidget::pane{border: 1px solid "
    "#BDBDBD;background-color:#616161;}QTabWidget::tab-bar{alignment:left;top:1px;}QTabBar::tab{color:white;border: "
    "1px solid #BDBDBD;padding-left: 10px;padding-right: "
    "10px;}QTabBar::tab:selected{height:50px;width:110px;color:white;font-size:26px;background-color:#616161;border: "
    "1px solid #BDBDBD;border-bottom: 1px solid "
    "#616161;}QTabBar::tab:!selected{height:40px;width:110px;font-size:22px;top:10px;background-color: rgb(110, 110, "
    "110);}QPushButton{outline:0px;border:none;font-size:32px;color:white;background-color:#00BCD4;}QLabel{color:"
    "white;font-size:26px;}QRadioButton,QCheckBox{color:white;font-size:26px;}QRadioButton::indicator{width:32px;"
    "height:32px;}QCheckBox::indicator{width:32px;height:32px;}QRadioButton::indicator::unchecked {image: "
    "url(:/img/Resources/RadioBox1.png);}QRadioButton::indicator::checked {image: "
    "url(:/img/Resources/RadioBox2.png);}QCheckBox::indicator::unchecked {image: "
    "url(./images/CheckBox1.png);}QCheckBox::indicator::checked {image: "
    "url(./images/CheckBox2.png);}QListWidget{font-size:22px;color:white;background-color:#616161;alternate-"
    "background-color:#757575;border:1px solid "
    "#BDBDBD;}QScrollArea{background-color:rgb(80,80,80);}QLineEdit{color:white;font-size:20px;padding:0px 5px 0px "
    "5px;border: 1px solid #959595;height:32px;}QLineEdit:!focus{border: 1px solid "
    "#959595;background:transparent;color:white;}QLineEdit:focus{background:white;color:black;}";

}  // namespace

CComp_DialogFrame::CComp_DialogFrame(const QString& title, QWidget* parent) : QDialog(parent)
{
    qInfo().noquote() << "open dialog:" + title;

    auto* titleBar = new QWidget(this);
    titleBar->setFixedHeight(kTitleBarHeight);
    titleBar->setStyleSheet(kTitleBarStyle);

    titleLabel = new QLabel(titleBar);
    titleLabel->setFixedHeight(kTitleBarHeight);
    titleLabel->setText(title);

    auto* okButton = new QPushButton("确定", titleBar);
    okButton->setFixedSize(kOkButtonWidth, kOkButtonHeight);
    okButton->setStyleSheet(kOkButtonStyle);
    // The press, not the click, confirms: a finger that slides off still counts.
    connect(okButton, &QPushButton::pressed, this, &CComp_DialogFrame::acceptDialog);

    titleLayout = new QHBoxLayout(titleBar);
    titleLayout->addWidget(titleLabel);
    titleLayout->addStretch();
    titleLayout->addWidget(okButton);
    titleLayout->setContentsMargins(kTitleMarginX, 0, kTitleMarginX, 0);

    contentWidget = new QWidget(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleBar);
    layout->addWidget(contentWidget);
    layout->setSpacing(kBodySpacing);
    layout->setContentsMargins(0, 0, 0, kBodyBottomMargin);

    setMinimumSize(kMinWidth, kMinHeight);
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
}

void CComp_DialogFrame::setTitleText(QString text)
{
    titleLabel->setText(text);
    update();
}

void CComp_DialogFrame::addTitleWgt(QWidget* w)
{
    titleLayout->insertWidget(titleLayout->count() - 1, w);
}

void CComp_DialogFrame::acceptDialog()
{
    accept();
}

void CComp_DialogFrame::mousePressEvent(QMouseEvent* event)
{
    pressed = true;
    pressGlobalPos = event->globalPos();
    pressLocalPos = event->localPos().toPoint();
    QDialog::mousePressEvent(event);
}

void CComp_DialogFrame::mouseReleaseEvent(QMouseEvent* event)
{
    pressed = false;
    QDialog::mouseReleaseEvent(event);
}

void CComp_DialogFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (movable && pressed)
        move(event->globalPos() - pressLocalPos);
    QDialog::mouseMoveEvent(event);
}

void CComp_DialogFrame::setStylePushButton(QPushButton* b, const QString& colour, int fontSize, const QString& extra)
{
    b->setStyleSheet(QString::fromLatin1(kPushButtonStyle).arg(colour).arg(fontSize) + extra);
}

void CComp_DialogFrame::setStyleLineEdit(QLineEdit* e, const QString& extra)
{
    e->setStyleSheet(QString::fromLatin1(kLineEditStyle) + extra);
}

void CComp_DialogFrame::setStyleCombobox(QComboBox* c, QStyledItemDelegate* d, const QString& extra)
{
    c->setItemDelegate(d);
    c->setStyleSheet(QString::fromLatin1(kComboStyle) + extra);
}

void CComp_DialogFrame::setDefaultWgt(QWidget* w, const QString& extra)
{
    w->setStyleSheet(QString::fromLatin1(kDefaultPageStyle) + extra);
}
