#include "customionamewidget.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "wizardpara.h"

namespace {

constexpr int kTextConfirm = 121;
constexpr int kNames = 8;
constexpr int kInRows = 16;
constexpr int kOutRows = 14;
constexpr int kLeft = 100;
constexpr int kColumnPitch = 700;
constexpr int kTop = 40;
constexpr int kRowPitch = 70;
constexpr int kBoxWidth = 420;
constexpr int kBoxHeight = 50;
constexpr int kCaptionWidth = 140;

template <int Rows>
void fill(QComboBox* box, const char* (&table)[Rows][4], int choice)
{
    const bool blocked = box->blockSignals(true);
    box->clear();
    for (int r = 0; r < Rows; ++r) {
        const char* name = table[r][qBound(0, gLan, 3)];
        box->addItem(name ? QString::fromUtf8(name) : QString());
    }
    box->setCurrentIndex(choice >= 0 && choice < Rows ? choice : 0);
    box->blockSignals(blocked);
}

}  // namespace

CustomIONameWidget::CustomIONameWidget(MoJuWizard* parent) : QWidget(parent), window(parent)
{
    for (int column = 0; column < 2; ++column) {
        for (int i = 0; i < kNames; ++i) {
            const int x = kLeft + column * kColumnPitch;
            const int y = kTop + i * kRowPitch;
            auto* caption = new QLabel(QStringLiteral("%1%2").arg(column == 0 ? "IN" : "OUT").arg(i + 1), this);
            caption->setGeometry(x, y, kCaptionWidth, kBoxHeight);
            auto* box = new QComboBox(this);
            box->setGeometry(x + kCaptionWidth, y, kBoxWidth, kBoxHeight);
            (column == 0 ? inputNames : outputNames) << box;
        }
    }
    confirmButton = new QPushButton(LanStr(kTextConfirm), this);
    confirmButton->setGeometry(kLeft, kTop + kNames * kRowPitch, 200, kBoxHeight);
    connect(confirmButton, &QPushButton::clicked, this, &CustomIONameWidget::slotConfirm);
}

void CustomIONameWidget::init()
{
    const WizardPara* para = gpWParaBak ? gpWParaBak : gpWPara;
    for (int i = 0; i < kNames; ++i) {
        fill<kInRows>(inputNames.at(i), gInName, para ? para->inNameSel[i] : 0);
        fill<kOutRows>(outputNames.at(i), gOutName, para ? para->outNameSel[i] : 0);
    }
}

void CustomIONameWidget::slotConfirm()
{
    if (gpWParaBak) {
        for (int i = 0; i < kNames; ++i) {
            gpWParaBak->inNameSel[i] = inputNames.at(i)->currentIndex();
            gpWParaBak->outNameSel[i] = outputNames.at(i)->currentIndex();
        }
    }
    hide();
    if (window)
        if (QWidget* settings = window->PageByClass("WizardParaWidget"))
            settings->show();
}
