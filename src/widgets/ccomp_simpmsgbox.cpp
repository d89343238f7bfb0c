// A scrollable message with Cancel and OK.
#include "ccomp_simpmsgbox.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kMinW = 400;
constexpr int kMinH = 200;
constexpr int kMaxSide = 800;
constexpr int kLabelMargin = 5;
constexpr int kLabelPointSize = 15;
constexpr int kCloseSide = 40;
// Over the top right corner of a message of minimum width.
constexpr int kCloseX = 360;
constexpr int kClosedResult = -1;

// The 40-pixel top padding of the scroll bar leaves room for the close button.
const char* const kScrollStyle =
    "QScrollArea{background-color:white;border:0px;}QScrollBar:vertical{background:white;padding-top:40px;padding-"
    "bottom:0px;padding-left:0px;padding-right:0px;solid #d7d7d7;border-radius:7px;}QScrollBar::handle:vertical{"
    "background:#B7B7B7;border-radius:7px;min-height:80px}QScrollBar::handle:vertical:hover{background:#949494;}"
    "QScrollBar::add-line:vertical {height:0px;subcontrol-position:bottom;subcontrol-origin:margin;}QScrollBar::sub-"
    "line:vertical {height:0px;subcontrol-position:top;subcontrol-origin:margin;}QScrollBar::sub-line:vertical:"
    "pressed {background-color:#FFC107;}";

const char* const kDialogStyle =
    "QDialog{outline:0px;border:none;background-color:rgb(110,110,110);}QLabel{color:black;background-color:white;"
    "min-height:200px}QPushButton{outline:0px;border:none;font-size:15px;height:50px;color:black;background-color:"
    "white;}QPushButton:hover{background-color:#FFC107;}QPushButton:!hover{background-color:white;}";

}  // namespace

CComp_SimpMsgBox::CComp_SimpMsgBox(const QString& text, QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);

    auto* cancelButton = new QPushButton("取消", this);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* okButton = new QPushButton("确定", this);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* label = new QLabel(text);
    label->setMinimumSize(kMinW, kMinH);
    label->setMaximumWidth(kMaxSide);
    label->setMargin(kLabelMargin);
    label->setAlignment(Qt::AlignCenter);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QFont font("simsun");
    font.setPointSize(kLabelPointSize);
    label->setFont(font);
    label->setWordWrap(true);
    label->adjustSize();

    auto* scroll = new QScrollArea(this);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumSize(kMinW, kMinH);
    scroll->setMaximumSize(kMaxSide, kMaxSide);
    scroll->setWidget(label);
    scroll->setWidgetResizable(true);
    scroll->setStyleSheet(kScrollStyle);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    layout->addWidget(scroll);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(okButton);
    layout->addLayout(buttons);

    auto* closeButton = new QPushButton(this);
    closeButton->setIcon(QIcon(":/fork.png"));
    closeButton->setFixedSize(kCloseSide, kCloseSide);
    closeButton->move(kCloseX, 0);
    connect(closeButton, &QPushButton::clicked, this, [this] { done(kClosedResult); });

    setStyleSheet(kDialogStyle);
}
