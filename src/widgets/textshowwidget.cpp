// A framed text panel with a close button.
#include "textshowwidget.h"

#include <QIcon>
#include <QPushButton>

namespace {
constexpr int kPanelWidth = 560;
constexpr int kPanelHeight = 300;
constexpr int kCloseX = 500;
constexpr int kCloseSide = 60;
constexpr int kCloseIconSide = 40;
}  // namespace

TextShowWidget::TextShowWidget(QWidget* parent) : QWidget(parent)
{
    textBrowser = new QTextBrowser(this);
    textBrowser->setStyleSheet("font-size:15px;");
    textBrowser->setFixedSize(kPanelWidth, kPanelHeight);

    auto* closeButton = new QPushButton(this);
    closeButton->setIcon(QIcon("./images/error.png"));
    closeButton->setStyleSheet("outline:0px;border:none;background-color:rgba(110,110,110,0)");
    closeButton->move(kCloseX, 0);
    closeButton->setFixedSize(kCloseSide, kCloseSide);
    closeButton->setIconSize(QSize(kCloseIconSide, kCloseIconSide));
    connect(closeButton, &QPushButton::clicked, this, [this] {
        emit sigHideWidget();
        hide();
    });

    setFixedSize(kPanelWidth, kPanelHeight);
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    setStyleSheet("outline:0px; border:2px solid #00BCD4");
}
