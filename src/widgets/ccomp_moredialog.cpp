// A titled list of choice buttons.
#include "ccomp_moredialog.h"

#include <QPushButton>

namespace {

constexpr int kWidth = 500;
constexpr int kTitleHeight = 60;
constexpr int kMessageHeight = 150;
constexpr int kButtonHeight = 40;
constexpr int kButtonSpacing = 2;

const char* const kButtonStyle =
    "QPushButton{outline:0px;border:none;font-size:15px;height:25px;color:white;background-color:#3498DB;text-align:"
    "left;padding-left: 5px;}QPushButton:hover{background-color:#FFC107;color:#3498DB;}QPushButton:!hover{"
    "background-color:#3498DB;color:white;}";

}  // namespace

CComp_MoreDialog::CComp_MoreDialog(const QString& title, QWidget* parent) : QDialog(parent)
{
    setFixedWidth(kWidth);
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    setStyleSheet("background-color:gray;");

    auto* titleBar = new QWidget(this);
    titleBar->setFixedHeight(kTitleHeight);
    titleBar->setStyleSheet("color:white;background-color:rgb(80,80,80);font-size:32px;padding: 5px, 0px, 0px, 0px;");
    titleLabel = new QLabel(titleBar);
    titleLabel->setFixedHeight(kTitleHeight);
    titleLabel->setText(title);

    messageLabel = new QLabel(this);
    messageLabel->setStyleSheet("color:white;font-size:25px;");
    messageLabel->setFixedHeight(kMessageHeight);
    messageLabel->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(titleBar);
    layout->addWidget(messageLabel);
    buttonColumn = new QVBoxLayout;
    buttonColumn->setSpacing(kButtonSpacing);
    layout->addLayout(buttonColumn);
}

void CComp_MoreDialog::addBtn(const QString& text)
{
    auto* button = new QPushButton(text, this);
    button->setFixedSize(kWidth, kButtonHeight);
    button->setStyleSheet(kButtonStyle);
    buttonColumn->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, button] {
        emit sigClick(button->text());
        accept();
    });
}
