#include "hardwareconfigurationwidget.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "cammerwidget.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"

namespace {
constexpr int kTextConfirm = 121;
const QRect kCountRect(860, 400, 200, 80);
const QRect kConfirmRect(860, 560, 200, 60);
}  // namespace

HardwareConfigurationWidget::HardwareConfigurationWidget(MoJuWizard* parent) : QWidget(parent), window(parent)
{
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("Count"));
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(40);
    countLabel->setFont(font);
    countLabel->setAlignment(Qt::AlignCenter);
    countLabel->setGeometry(kCountRect);
    confirmButton = new QPushButton(LanStr(kTextConfirm), this);
    confirmButton->setGeometry(kConfirmRect);
    connect(confirmButton, &QPushButton::clicked, this, &HardwareConfigurationWidget::slotConfirm);
}

void HardwareConfigurationWidget::slotConfirm()
{
    hide();
    if (window)
        if (QWidget* settings = window->PageByClass("WizardParaWidget"))
            settings->show();
}

void HardwareConfigurationWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (gpPixmapBG)
        painter.drawPixmap(rect(), *gpPixmapBG);
}

void HardwareConfigurationWidget::showEvent(QShowEvent* event)
{
    if (countLabel) {
        const CammerWidget* first = window ? window->cammerWidgets[0] : nullptr;
        countLabel->setText(first && first->simulated ? QStringLiteral("0") : QString::number(numCamera));
    }
    QWidget::showEvent(event);
}
