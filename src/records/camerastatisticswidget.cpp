// One statistics page: the three blocks of figures on the left, the morning and night charts on the right.
#include "camerastatisticswidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

#include "histogram.h"
#include "lanstr.h"
#include "resstatisticsparam.h"
#include "textfit.h"

namespace {

constexpr int kFontPx = 27;
constexpr int kTitleWidth = 150;
constexpr int kTitleHeight = 50;
constexpr int kCellWidth = 120;
constexpr int kCellHeight = 35;
constexpr int kChartHeight = 420;
constexpr int kMarginPx = 10;
constexpr int kRateDigits = 4;

// Block titles and the captions of the three figures.
constexpr int kBlockTitles[3] = {545, 546, 587};  // morning shift, night shift, total
constexpr int kCaptions[3] = {547, 542, 588};     // total, OK total, pass rate

QList<int> hours(int from, int to)
{
    QList<int> list;
    for (int h = from; h <= to; ++h) list << h;
    return list;
}

// The labels' sizes are fixed: a longer text is broken into lines, or made smaller.
QLabel* makeLabel(const QString& text, const QFont& font, int w, int h, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(font);
    label->setFixedSize(w, h);
    TextFit::FitLabel(label, text);
    return label;
}

}  // namespace

CameraStatisticsWidget::CameraStatisticsWidget(int camera, int detect, QWidget* parent)
    : QWidget(parent), cameraCode(camera), detectCode(detect)
{
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(kFontPx);

    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    for (int block = 0; block < 3; ++block) {
        auto* stack = new QVBoxLayout;
        stack->setSpacing(3);
        stack->addWidget(makeLabel(LanStr(kBlockTitles[block]), font, kTitleWidth, kTitleHeight, this));
        for (int f = 0; f < 3; ++f) {
            QLabel* caption = makeLabel(LanStr(kCaptions[f]), font, kCellWidth, kCellHeight, this);
            caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            QLabel* value = makeLabel(QString(), font, kCellWidth, kCellHeight, this);
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            value->setStyleSheet(QStringLiteral("color:green;"));
            valueLabels[block][f] = value;
            stack->addWidget(caption);
            stack->addWidget(value);
        }
        stack->addStretch();
        left->addLayout(stack);
    }
    left->addStretch();

    ResStatisticsParam* model = ResStatisticsParam::getInstance();
    const QList<int> okHours = model->getRes(AllDay, true, camera, detect);
    const QList<int> ngHours = model->getRes(AllDay, false, camera, detect);
    morningChart = new Histogram(this, hours(8, 19), okHours, ngHours);
    nightChart = new Histogram(this, hours(20, 23) + hours(0, 7), okHours, ngHours);
    for (Histogram* chart : {morningChart, nightChart}) chart->setFixedHeight(kChartHeight);
    auto* right = new QVBoxLayout;
    right->setSpacing(5);
    right->addWidget(morningChart);
    right->addWidget(nightChart);
    right->addStretch();

    auto* outer = new QHBoxLayout(this);
    outer->setSpacing(5);
    outer->setContentsMargins(kMarginPx, kMarginPx, kMarginPx, kMarginPx);
    outer->addLayout(left);
    outer->addLayout(right);

    updateData();
}

void CameraStatisticsWidget::updateData()
{
    ResStatisticsParam* model = ResStatisticsParam::getInstance();
    for (int s = 0; s < 3; ++s) {
        const auto shift = ShiftType(s);
        const int ok = model->getCount(shift, true, cameraCode, detectCode);
        const int ng = model->getCount(shift, false, cameraCode, detectCode);
        const int total = ok + ng;
        valueLabels[s][0]->setText(QString::number(total));
        valueLabels[s][1]->setText(QString::number(ok));
        // A shift without moulds has no pass rate: "-" rather than 0 of 0 ("nan%").
        valueLabels[s][2]->setText(total == 0 ? QStringLiteral("-")
                                              : QString::number(ok * 100 / double(total), 'g', kRateDigits) + "%");
    }
    morningChart->modifyDataAxisY(model->getRes(Morning, true, cameraCode, detectCode),
                                  model->getRes(Morning, false, cameraCode, detectCode));
    morningChart->modifyDataAxisX(model->getShiftTimeList(Morning));
    nightChart->modifyDataAxisY(model->getRes(Night, true, cameraCode, detectCode),
                                model->getRes(Night, false, cameraCode, detectCode));
    nightChart->modifyDataAxisX(model->getShiftTimeList(Night));
    update();
}

void CameraStatisticsWidget::showEvent(QShowEvent* event)
{
    updateData();
    QWidget::showEvent(event);
}
