// The operator's button column: logo, navigation, start/stop, re-sampling and manual triggers.
#include "indexbutton.h"

#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QShowEvent>
#include <QVBoxLayout>

#include "colorbutton.h"
#include "combobox.h"
#include "constructionhooks.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "textfit.h"
#include "textids.h"
#include "wizardpara.h"

namespace {

constexpr int kBarWidth = 240;
constexpr int kButtonHeight = 76;
constexpr int kSnapshotWidth = 115;
constexpr int kComboWidth = 125;
constexpr int kComboFontPx = 33;
constexpr int kComboItemHeight = 66;
constexpr int kBottomMargin = 60;
constexpr int kButtonSizeClass = 4;
constexpr int kTextStatisticsButton = 541;
// Width the rounded face keeps free beside a caption.
constexpr int kCaptionEdges = 6;

const char* const kLogoStyle = "QPushButton {    border: none;    outline: none;    background: transparent;}";

int MachineMode()
{
    return gpWPara ? gpWPara->detectMode : kModeStandard;
}

void SetShown(QWidget* w, bool shown)
{
    if (w)
        w->setVisible(shown);
}

}  // namespace

IndexButton::IndexButton(MoJuWizard* parent) : QWidget(parent)
{
    const QString logoFile = QFile::exists("./images/logo2.png") ? QStringLiteral("./images/logo2.png")
                                                                 : QStringLiteral("./images/logo2.bmp");
    logoButton = new QPushButton(this);
    logoButton->setFixedSize(kBarWidth, logoHeight);
    logoButton->setIcon(
        QIcon(QPixmap(logoFile).scaled(logoButton->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    logoButton->setIconSize(logoButton->size());
    logoButton->setStyleSheet(kLogoStyle);
    connect(logoButton, &QPushButton::clicked, this, [this] {
        expanded = !expanded;
        ShowHide(1);
    });

    // The size class's 30-33 px do not hold every caption in 240 px (Japanese above all): a
    // long one gets two lines or a somewhat smaller font.
    auto makeButton = [this](int entry) {
        auto* b = new ColorButton(QString(), this, kButtonSizeClass);
        b->setFixedSize(kBarWidth, kButtonHeight);
        TextFit::FitButton(b, LanStr(entry), kCaptionEdges);
        return b;
    };
    startStopButton = makeButton(kTextStopDetection);
    resampleButton = makeButton(kTextResample);
    areaButton = makeButton(kTextAreaSettings);
    multiScreenButton = makeButton(kTextMultiScreen);
    productTrigButton = makeButton(kTextProductSnapshot);
    mouldTrigButton = makeButton(kTextMouldSnapshot);
    if (const std::function<void()> showStatistics = Construction().showStatistics) {
        statisticsButton = makeButton(kTextStatisticsButton);
        connect(statisticsButton, &QPushButton::clicked, this, showStatistics);
    }
    snapshotButton = new ColorButton(QString(), this, kButtonSizeClass);
    snapshotButton->setFixedSize(kSnapshotWidth, kButtonHeight);
    TextFit::FitButton(snapshotButton, tr("抓拍"), kCaptionEdges);
    systemButton = makeButton(kTextSystemParam);
    connect(systemButton, &QPushButton::clicked, parent, &MoJuWizard::SlotSystemPara);

    connect(startStopButton, &QPushButton::clicked, parent, &MoJuWizard::SlotStartStop);
    connect(resampleButton, &QPushButton::clicked, parent, &MoJuWizard::SlotReTrain);
    connect(areaButton, &QPushButton::clicked, parent, &MoJuWizard::SlotAdjustArea);
    connect(multiScreenButton, &QPushButton::clicked, parent, &MoJuWizard::SlotReturn);
    connect(productTrigButton, &QPushButton::clicked, parent, &MoJuWizard::SlotManualTrig0);
    connect(mouldTrigButton, &QPushButton::clicked, parent, &MoJuWizard::SlotManualTrig1);
    connect(snapshotButton, &QPushButton::clicked, parent, &MoJuWizard::SlotMuliManualTrig);

    detectCombo = new ComboBox(this);
    detectCombo->setFixedSize(kComboWidth, kButtonHeight);
    QFont comboFont(QStringLiteral("wqy-microhei"));
    comboFont.setPixelSize(kComboFontPx);
    detectCombo->setFont(comboFont);
    detectCombo->setItemHeight(kComboItemHeight);

    auto* snapshotRow = new QHBoxLayout;
    snapshotRow->setContentsMargins(0, 0, 0, 0);
    // 115 + 125 px fill the bar's 240 exactly: any gap pushes the combo past the screen's edge.
    snapshotRow->setSpacing(0);
    snapshotRow->addWidget(snapshotButton);
    snapshotRow->addWidget(detectCombo);

    hideTimer = new QTimer(this);
    connect(hideTimer, &QTimer::timeout, this, &IndexButton::SlotShowHideTimeout);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(1);
    column->setContentsMargins(0, 0, 0, kBottomMargin);
    for (QWidget* w :
         std::initializer_list<QWidget*>{logoButton, multiScreenButton, startStopButton, systemButton, resampleButton,
                                         areaButton, statisticsButton, mouldTrigButton, productTrigButton})
        if (w)
            column->addWidget(w);
    column->addLayout(snapshotRow);
    column->addStretch();

    setGeometry(gShowW - kBarWidth, 0, kBarWidth, gShowH);
    Reset();
}

void IndexButton::ShowHide(int mode)
{
    if (mode == 0)
        setVisible(false);
    else if (mode == 1)
        setVisible(expanded);
    const bool v = mode == 1 ? expanded : true;

    for (QWidget* w :
         std::initializer_list<QWidget*>{multiScreenButton, startStopButton, systemButton, resampleButton, areaButton})
        SetShown(w, v);

    const int machineMode = MachineMode();
    const bool manualTrigger = gpWPara && gpWPara->showManualSnapshot != 0;
    const bool productDetection = gpWPara && gpWPara->detectProd != 0;
    SetShown(productTrigButton, manualTrigger && productDetection && machineMode == kModeStandard);
    SetShown(mouldTrigButton, manualTrigger && machineMode == kModeStandard);
    SetShown(detectCombo, manualTrigger && machineMode != kModeStandard);
    SetShown(snapshotButton, manualTrigger && machineMode != kModeStandard);
    SetShown(statisticsButton, gpWPara && gpWPara->useStatistics != 0);
}

void IndexButton::SlotShowHideTimeout()
{
    expanded = false;
    ShowHide(1);
    hideTimer->stop();
}

void IndexButton::checkShowHide()
{
    if (!expanded) {
        expanded = true;
        ShowHide(1);
    }
}

void IndexButton::Reset()
{
    ShowHide(0);
    ResetComboChooseManualTrig();
}

void IndexButton::ResetComboChooseManualTrig()
{
    detectCombo->clear();
    int first = 0;
    int count = 0;
    switch (MachineMode()) {
        case kModeTwoColour:
        case kModeTurntable:
            first = kTextLeftProd;
            count = gDNum;
            break;
        case kModeMulti:
            first = kTextFirst;
            count = gpWPara ? gpWPara->detectCount : 0;
            break;
        default:
            break;
    }
    // The stage count is clamped to 2..8 at load; the bound keeps a stray value inside the table.
    count = qBound(0, count, kMaxDetections);
    for (int d = 0; d < count; ++d) detectCombo->addItem(QStringLiteral("%1").arg(LanStr(first + d)));
}

void IndexButton::SetStartStopText(const QString& text)
{
    TextFit::FitButton(startStopButton, text, kCaptionEdges);
}

int IndexButton::CurChooseTrig()
{
    return detectCombo->currentIndex();
}

void IndexButton::paintEvent(QPaintEvent*) {}

void IndexButton::showEvent(QShowEvent* event)
{
    expanded = true;
    ShowHide(1);
    QWidget::showEvent(event);
}
