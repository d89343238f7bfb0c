// The statistics page: its controls, the viewed day and group, the shift hours and the following of the running day.
#include "statisticswidget.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QShowEvent>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "camereatabwidget.h"
#include "colorbutton.h"
#include "combobox.h"
#include "exportresultworker.h"
#include "lanstr.h"
#include "pagedialogs.h"
#include "resstatisticsparam.h"
#include "statisticsprompts.h"
#include "textfit.h"
#include "wizardpara.h"

namespace {

constexpr int kPageWidth = 1920;
constexpr int kPageHeight = 1080;
constexpr int kTabsHeight = 980;
constexpr int kTabColumns = 11;
constexpr int kGroupWidth = 300;
constexpr int kRowHeight = 50;
constexpr int kBigFontPx = 33;
constexpr int kHourItemHeight = 40;
constexpr int kShiftLabelWidth = 125;
constexpr int kToLabelWidth = 100;
constexpr int kHourBoxWidth = 100;
constexpr int kButtonWidth = 300;
constexpr int kButtonStyle = 3;
constexpr int kTopSpacing = 100;
constexpr int kOuterMargin = 10;
constexpr int kHours = 24;

constexpr int kTextReturn = 58;
constexpr int kTextExportData = 326;
constexpr int kTextSaveSystemParams = 234;
constexpr int kTextAllCameraTab = 585;
constexpr int kTextCameraTab = 586;

const char* const kPageStyle =
    "StatisticsWidget{background-color: #FFFFFF;background: #FFFFFF;}QListWidget {font-size:22px;}"
    "QListWidget::item { height: 50px; }";
const char* const kCameraTabsStyle =
    "QTabBar::tab {   width: 200px;   height: 50px;   font-size: 25px;}QTabBar::tab:selected {    background: "
    "#ff9900;    color: white;}";
const char* const kDetectTabsStyle = "QTabBar::tab{width: 230px; height: 50px; font-size: 25px;}";
const char* const kDayFolder = "./ResStatistics";
constexpr int kCameraTabWidth = 200;
constexpr int kDetectTabWidth = 230;
constexpr int kTabFrame = 8;  // a tab's frame beside the width its style gives

// The tabs keep the width their style gives while all of them fit the row; more tabs than
// fit (eight cameras, or seven detections and more) share the row instead of being cut off.
QString FittedTabs(const char* style, int givenWidth, int tabs, int rowWidth)
{
    const int width = std::min(givenWidth, rowWidth / std::max(tabs, 1) - kTabFrame);
    return QString::fromLatin1(style).replace(QStringLiteral("width: %1px").arg(givenWidth),
                                              QStringLiteral("width: %1px").arg(width));
}

QFont bigFont()
{
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(kBigFontPx);
    return font;
}

ComboBox* makeHourBox(QWidget* parent)
{
    auto* box = new ComboBox(parent);
    box->setFixedSize(kHourBoxWidth, kRowHeight);
    box->setFont(bigFont());
    box->setItemHeight(kHourItemHeight);
    for (int h = 0; h < kHours; ++h) box->addItem(QString::number(h), h);
    return box;
}

// The shift captions in the hour boxes' font, smaller only where a caption needs it.
QLabel* makeFixedLabel(const QString& text, int width, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(bigFont());
    label->setFixedSize(width, kRowHeight);
    TextFit::FitLabel(label, text);
    return label;
}

// The top row's fixed controls leave less than 100 px between them on a 1920 px page: the
// gaps share what is left, so that no control is pushed over the next.
int TopRowSpacing(int rowWidth, int controlsWidth, int gaps)
{
    return std::clamp((rowWidth - controlsWidth) / std::max(gaps, 1), 0, kTopSpacing);
}

}  // namespace

StatisticsWidget* StatisticsWidget::instance = nullptr;

StatisticsWidget* StatisticsWidget::getInstance(QWidget* parent)
{
    if (!instance)
        instance = new StatisticsWidget(parent);
    return instance;
}

StatisticsWidget::StatisticsWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatisticsWidget"));
    setFixedSize(kPageWidth, kPageHeight);
    // The range travels to the worker's thread queued.
    qRegisterMetaType<QPair<QString, QString>>();
    exportThread = new QThread;
    exportWorker = new ExportResultWorker;
    exportWorker->moveToThread(exportThread);

    // The minute saves and the day change stay off while the exporter reads the day files.
    connect(this, &StatisticsWidget::sigExportData, this, [] { ResStatisticsParam::getInstance()->setTimer(false); });
    connect(this, &StatisticsWidget::sigExportData, exportWorker, &ExportResultWorker::work);
    connect(exportWorker, &ExportResultWorker::exportProgress, this, &StatisticsWidget::sigExportProgress);
    connect(exportWorker, &ExportResultWorker::finish, this, &StatisticsWidget::exportFinished);
    exportThread->start();

    StatisticsPrompts::makeBoxes(this);
    setStyleSheet(QString::fromLatin1(kPageStyle));
    setAttribute(Qt::WA_StyledBackground, true);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    hide();
}

StatisticsWidget::~StatisticsWidget()
{
    if (instance == this)
        instance = nullptr;
    exportThread->quit();
    exportThread->wait();
    delete exportWorker;
    delete exportThread;
}

void StatisticsWidget::createWidget(QStringList titles)
{
    if (cameraTabs)
        return;
    const int w = width();
    cameraTabs = new QTabWidget(this);
    cameraTabs->setFixedSize(w / kTabColumns * 10 - 2, kTabsHeight);
    const int tabs = qBound(0, numCamera, 8) + 1;
    cameraTabs->setStyleSheet(FittedTabs(kCameraTabsStyle, kCameraTabWidth, tabs, cameraTabs->width()));
    for (int t = 0; t < tabs; ++t) {
        auto* page = new CamereaTabWidget((t + kStatAllIndex) % 9, titles, cameraTabs);
        page->setFixedSize(cameraTabs->size());
        page->setStyleSheet(FittedTabs(kDetectTabsStyle, kDetectTabWidth, std::min<int>(titles.size(), 9), page->width()));
        cameraPages[t] = page;
        cameraTabs->addTab(page, t == 0 ? LanStr(kTextAllCameraTab) : LanStr(kTextCameraTab).arg(t));
    }

    dayList = new QListWidget(this);
    dayList->setFixedHeight(kTabsHeight);
    connect(dayList, &QListWidget::itemClicked, this, &StatisticsWidget::UpdateRecord);

    groupBox = new ComboBox(this);
    groupBox->setFixedSize(kGroupWidth, kRowHeight);
    groupBox->setFont(bigFont());
    groupBox->view()->setFont(bigFont());
    groupBox->setItemHeight(kRowHeight);
    connect(groupBox, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        ResStatisticsParam::getInstance()->viewGroupName = text;
        updateShownTab();
    });

    ResStatisticsParam* model = ResStatisticsParam::getInstance();
    morningStartBox = makeHourBox(this);
    morningEndBox = makeHourBox(this);
    nightStartBox = makeHourBox(this);
    nightEndBox = makeHourBox(this);
    morningStartBox->setCurrentIndex(model->morningsStart);
    morningEndBox->setCurrentIndex(model->morningsEnd);
    nightStartBox->setCurrentIndex(model->nightStart);
    nightEndBox->setCurrentIndex(model->nightEnd);
    auto shiftRow = [this](const QString& title, ComboBox* from, ComboBox* to) {
        auto* row = new QHBoxLayout;
        row->setSpacing(0);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(makeFixedLabel(title, kShiftLabelWidth, this));
        row->addWidget(from);
        QLabel* between = makeFixedLabel(QStringLiteral("到"), kToLabelWidth, this);
        between->setAlignment(Qt::AlignCenter);
        row->addWidget(between);
        row->addWidget(to);
        return row;
    };

    auto* returnButton = new ColorButton(LanStr(kTextReturn), this, kButtonStyle);
    auto* exportButton = new ColorButton(LanStr(kTextExportData), this, kButtonStyle);
    returnButton->setFixedSize(kButtonWidth, kRowHeight);
    exportButton->setFixedSize(kButtonWidth, kRowHeight);
    connect(returnButton, &QPushButton::clicked, this, &StatisticsWidget::SlotConfirm);
    connect(exportButton, &QPushButton::clicked, this, &StatisticsWidget::SlotExportData);

    auto* top = new QHBoxLayout;
    constexpr int kShiftRowWidth = kShiftLabelWidth + kHourBoxWidth + kToLabelWidth + kHourBoxWidth;
    top->setSpacing(TopRowSpacing(w - 2 * kOuterMargin, kGroupWidth + 2 * kShiftRowWidth + 2 * kButtonWidth, 4));
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(groupBox);
    top->addLayout(shiftRow(QStringLiteral("早班: 从"), morningStartBox, morningEndBox));
    top->addLayout(shiftRow(QStringLiteral("晚班: 从"), nightStartBox, nightEndBox));
    top->addWidget(returnButton);
    top->addWidget(exportButton);

    auto* body = new QHBoxLayout;
    body->addWidget(dayList);
    body->addWidget(cameraTabs);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kOuterMargin, kOuterMargin, kOuterMargin, kOuterMargin);
    outer->addLayout(top);
    outer->addLayout(body);
    outer->addStretch();
}

void StatisticsWidget::createWidgetWhenShown(QStringList titles)
{
    pendingTitles = std::move(titles);
    controlsPending = true;
}

// Every show passes here: the controls are built before Qt shows the children, as if they had
// been built at once.
void StatisticsWidget::setVisible(bool visible)
{
    if (visible && controlsPending) {
        controlsPending = false;
        createWidget(std::exchange(pendingTitles, {}));
    }
    QWidget::setVisible(visible);
}

void StatisticsWidget::showEvent(QShowEvent* event)
{
    initWidget();
    QWidget::showEvent(event);
}

// Hidden under its open date dialog (an NG alarm takes the screen): the dialog goes too.
void StatisticsWidget::hideEvent(QHideEvent* event)
{
    PageDialogs::CloseOf(this);
    QWidget::hideEvent(event);
}

void StatisticsWidget::initWidget()
{
    // Shown before the window built the controls: nothing to fill yet.
    if (!dayList)
        return;
    ResStatisticsParam* model = ResStatisticsParam::getInstance();
    morningStartBox->setCurrentIndex(model->morningsStart);
    morningEndBox->setCurrentIndex(model->morningsEnd);
    nightStartBox->setCurrentIndex(model->nightStart);
    nightEndBox->setCurrentIndex(model->nightEnd);
    updateList();
    updateGroupsList(true);
}

void StatisticsWidget::updateList()
{
    if (!dayList)
        return;
    dayList->clear();
    dayList->addItem(ResStatisticsParam::getInstance()->getCurDBDate());
    const QStringList days =
        QDir(QString::fromLatin1(kDayFolder))
            .entryList({"*.db"}, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = days.crbegin(); it != days.crend(); ++it) dayList->addItem(it->chopped(3));
    dayList->setCurrentRow(0);
    UpdateRecord(dayList->item(0));
}

void StatisticsWidget::UpdateRecord(QListWidgetItem* item)
{
    if (!item || !dayList)
        return;
    const QString path =
        QString("%1//%2.db").arg(QFileInfo(QString::fromLatin1(kDayFolder)).absoluteFilePath(), item->text());
    emit sigUpdateRecord(dayList->row(item), path);
}

void StatisticsWidget::slotUpdateRecord(bool)
{
    if (!dayList)
        return;
    updateGroupsList(true);
    updateShownTab();
}

void StatisticsWidget::updateGroupsList(bool block)
{
    if (!groupBox)
        return;
    ResStatisticsParam* model = ResStatisticsParam::getInstance();
    groupBox->blockSignals(block);
    groupBox->clear();
    groupBox->addItems(model->getGroups());
    model->viewGroupName = groupBox->currentText();
    groupBox->blockSignals(false);
    if (dayList && dayList->currentRow() == 0)
        groupBox->setCurrentIndex(
            groupBox->findText(model->getCurGroupName(), Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void StatisticsWidget::updateShownTab()
{
    if (!cameraTabs)
        return;
    if (auto* tab = qobject_cast<CamereaTabWidget*>(cameraTabs->currentWidget()))
        tab->updateData();
}

void StatisticsWidget::checkUpdate()
{
    if (!dayList || dayList->currentRow() != 0)
        return;
    // The page reads the model's copy of the viewed day, which the counting does not touch.
    ResStatisticsParam* model = ResStatisticsParam::getInstance();
    model->viewRunningDay();
    // The day's first count of a group adds it: the box then offers it, and shows it.
    QStringList listed;
    for (int i = 0; i < groupBox->count(); ++i) listed << groupBox->itemText(i);
    if (listed != model->getGroups())
        updateGroupsList(true);
    updateShownTab();
}

void StatisticsWidget::slotDayListChanged()
{
    if (isVisible())
        updateList();
}

void StatisticsWidget::SlotConfirm()
{
    if (morningStartBox) {
        QJsonObject obj;
        obj.insert(QStringLiteral("morningsStart"), morningStartBox->currentIndex());
        obj.insert(QStringLiteral("morningsEnd"), morningEndBox->currentIndex());
        obj.insert(QStringLiteral("nightStart"), nightStartBox->currentIndex());
        obj.insert(QStringLiteral("nightEnd"), nightEndBox->currentIndex());
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        if (model->checkParam(obj)) {
            if (StatisticsPrompts::ask(LanStr(kTextSaveSystemParams), this)) {
                model->laodConfigFromJson(obj);
                model->setCurGroup();
                model->checkDate();
                // Saved now: the day change alone would save the hours only the next morning.
                model->saveConfig();
            }
        }
    }
    hide();
}
