// The IO configuration dialog: writes the detection count, trigger choices and name choices.
#include "iowidget.h"

#include <QLabel>
#include <QPainter>

#include "colorbutton.h"
#include "combobox.h"
#include "editbox.h"
#include "globals.h"
#include "lanstr.h"
#include "monitorlimits.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

constexpr int kX = 120;
constexpr int kY = 110;
constexpr int kWidth = 1680;
constexpr int kHeight = 880;
constexpr int kRowTop = 150;
constexpr int kRowStep = 70;
constexpr int kComboHeight = 50;
constexpr int kFontPx = 25;
constexpr int kButtonSizeClass = 3;
constexpr int kOutModes = 4;
// Column x of: caption, trigger choice, choice-list input, output mode, input name, output name.
constexpr int kColumns[] = {30, 180, 420, 660, 900, 1260};
constexpr int kColumnWidths[] = {140, 200, 200, 200, 320, 320};

constexpr int kTextConfirm = 121;
constexpr int kTextReturn = 58;
constexpr int kTextFirstOrdinal = 477;  // "1st" .. "8th"
constexpr int kTextMold = 264;
constexpr int kTextCustomIo = 473;

QFont Font()
{
    QFont f(QStringLiteral("wqy-microhei"));
    f.setPixelSize(kFontPx);
    return f;
}

QString NameOf(const char* (*table)[kLanColumns], int rows, int choice)
{
    const char* name = table[choice >= 0 && choice < rows ? choice : 0][gLan];
    return name ? QString::fromUtf8(name) : QString();
}

}  // namespace

IOWidget::IOWidget(WizardParaWidget* parent) : QWidget(parent), settings(parent)
{
    setObjectName(QStringLiteral("IOWidget"));
    setGeometry(kX, kY, kWidth, kHeight);
    setFont(Font());
    countBox = new EditBox(2, kMaxDetections, this, LanStr(kTextCustomIo));
    countBox->move(kColumns[0], 40);

    auto makeCombo = [this](int column, int row) {
        auto* c = new ComboBox(this);
        c->setFont(Font());
        c->setGeometry(kColumns[column], kRowTop + row * kRowStep, kColumnWidths[column], kComboHeight);
        return c;
    };
    for (int d = 0; d < kMaxDetections; ++d) {
        auto* caption = new QLabel(LanStr(kTextFirstOrdinal + d), this);
        caption->setGeometry(kColumns[0], kRowTop + d * kRowStep, kColumnWidths[0], kComboHeight);
        QPalette p = caption->palette();
        p.setColor(QPalette::WindowText, Qt::yellow);
        caption->setPalette(p);

        ComboBox* trigger = makeCombo(1, d);
        trigger->addItem(QStringLiteral("-"), -1);
        for (int r = 0; r < kMaxDetections; ++r) trigger->addItem(QString::number(r + 1), r);
        triggerCombos << trigger;

        ComboBox* input = makeCombo(2, d);
        for (int in : TriginNo) input->addItem(QStringLiteral("IN%1").arg(in));
        inputCombos << input;

        ComboBox* outMode = makeCombo(3, d);
        for (int m = 0; m < kOutModes; ++m) outMode->addItem(QString::number(m));
        outModeCombos << outMode;

        ComboBox* inName = makeCombo(4, d);
        for (const auto& row : gInName) inName->addItem(QString::fromUtf8(row[gLan]));
        inNameCombos << inName;

        ComboBox* outName = makeCombo(5, d);
        for (const auto& row : gOutName) outName->addItem(QString::fromUtf8(row[gLan]));
        outNameCombos << outName;
    }
    confirmButton = new ColorButton(LanStr(kTextConfirm), this, kButtonSizeClass);
    confirmButton->setGeometry(kWidth - 560, kHeight - 90, 250, 70);
    returnButton = new ColorButton(LanStr(kTextReturn), this, kButtonSizeClass);
    returnButton->setGeometry(kWidth - 290, kHeight - 90, 250, 70);
    connect(confirmButton, &QPushButton::clicked, this, &IOWidget::SlotConfirm);
    connect(returnButton, &QPushButton::clicked, this, &QWidget::hide);
    init();
}

QString IOWidget::reCheckCaption()
{
    if (!gpWParaBak || gpWParaBak->detectMode != kModeMulti)
        return LanStr(kTextMold);
    const WizardPara& bak = *gpWParaBak;
    return NameOf(gInName, int(std::size(gInName)), bak.inNameSel[1]);
}

void IOWidget::init()
{
    if (gpWParaBak) {
        const WizardPara& bak = *gpWParaBak;
        countBox->setInputValue(bak.detectCount);
        countBox->setValue();
        auto set = [](ComboBox* c, int index) { c->setCurrentIndex(index >= 0 && index < c->count() ? index : 0); };
        for (int d = 0; d < kMaxDetections; ++d) {
            const int choice = triggerCombos[d]->findData(bak.detectIoRow[d]);
            triggerCombos[d]->setCurrentIndex(choice >= 0 ? choice : 0);
            set(inputCombos[d], bak.ioRowInput[d]);
            set(outModeCombos[d], bak.ioRowOutMode[d]);
            set(inNameCombos[d], bak.inNameSel[d]);
            set(outNameCombos[d], bak.outNameSel[d]);
        }
    }
    settings->ResetReCheck1Text(reCheckCaption());
}

void IOWidget::SlotConfirm()
{
    if (gpWParaBak) {
        WizardPara& bak = *gpWParaBak;
        bak.detectCount = countBox->value();
        for (int d = 0; d < kMaxDetections; ++d) {
            bak.detectIoRow[d] = triggerCombos[d]->currentData().toInt();
            bak.ioRowInput[d] = inputCombos[d]->currentIndex();
            bak.ioRowOutMode[d] = outModeCombos[d]->currentIndex();
            bak.inNameSel[d] = inNameCombos[d]->currentIndex();
            bak.outNameSel[d] = outNameCombos[d]->currentIndex();
        }
    }
    settings->ResetReCheck1Text(reCheckCaption());
    hide();
    settings->DoChangePage();
}

void IOWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(30, 60, 100));
    p.setPen(QPen(Qt::yellow, 2));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}
