// The hourly bar chart: a slot per hour, the OK bar in its left half and the NG bar in its right half.
#include "histogram.h"

#include <algorithm>

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include "lanstr.h"
#include "textfit.h"

namespace {

constexpr int kWidth = 1550;
constexpr int kHeight = 500;
constexpr int kAxisMargin = 20;  // room for the hour labels below and the axis on the left
constexpr int kTopRoom = 60;     // the highest bar stops this far below the top (legend room)
constexpr int kAxisTop = 40;
constexpr int kTickLength = 10;
constexpr int kValueHeight = 20;
constexpr int kFontPx = 15;
constexpr int kLegendPointSize = 10;
constexpr int kLegendRight = 140;
constexpr int kLegendTop = 5;
constexpr int kLegendWidth = 100;
constexpr int kLegendHeight = 30;
constexpr int kLegendLeastPx = 8;
constexpr int kSwatchBottom = 34;
constexpr int kSwatchGap = 5;
constexpr int kLegendStep = 105;
// Without any slot the slot width would span the chart: the legend then keeps the swatch of a
// chart of this many slots (the 12 hours of a shift).
constexpr int kLegendSlots = 12;
constexpr int kTextQualified = 589;
constexpr int kTextAnomaly = 590;

const QColor kOkColour(0, 255, 0, 200);
const QColor kNgColour(255, 0, 0, 200);

}  // namespace

Histogram::Histogram(QWidget* parent, QList<int> axisX, QList<int> axisY1, QList<int> axisY2)
    : QWidget(parent), dataAxisX(std::move(axisX)), dataAxisY1(std::move(axisY1)), dataAxisY2(std::move(axisY2))
{
    setFixedSize(kWidth, kHeight);
    recount();
}

void Histogram::recount()
{
    dataCount = std::min({dataAxisX.size(), dataAxisY1.size(), dataAxisY2.size()});
    clcMaxY();
    update();
}

void Histogram::modifyDataAxisX(QList<int> axisX)
{
    dataAxisX = std::move(axisX);
    recount();
}

bool Histogram::modifyDataAxisY(QList<int> axisY1, QList<int> axisY2)
{
    dataAxisY1 = std::move(axisY1);
    dataAxisY2 = std::move(axisY2);
    recount();
    return true;
}

bool Histogram::modifyDataAxisY1(QList<int> axisY1)
{
    dataAxisY1 = std::move(axisY1);
    recount();
    return true;
}

bool Histogram::modifyDataAxisY2(QList<int> axisY2)
{
    dataAxisY2 = std::move(axisY2);
    recount();
    return true;
}

void Histogram::clcMaxY()
{
    maxY = 0;
    for (int v : dataAxisY1) maxY = std::max(maxY, v);
    for (int v : dataAxisY2) maxY = std::max(maxY, v);
}

void Histogram::paintEvent(QPaintEvent*)
{
    const int W = width();
    const int H = height();
    QPainter painter(this);
    painter.setPen(Qt::black);
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(kFontPx);
    painter.setFont(font);

    painter.drawLine(0, H - kAxisMargin, W, H - kAxisMargin);
    painter.drawLine(kAxisMargin, kAxisTop, kAxisMargin, H);

    const double scale = maxY > 0 ? double(H - kTopRoom) / maxY : 0.0;
    const int u = (W - 2 * kAxisMargin) / (dataCount + 1);
    const int half = u / 2;

    auto drawBar = [&](int left, int value, const QColor& colour) {
        const int h = int(value * scale);
        painter.fillRect(QRect(left, H - h - kAxisMargin, half, h), colour);
        const int textTop = std::min(H - h - kAxisMargin, H - 2 * kAxisMargin);
        painter.drawText(QRect(left, textTop, half, kValueHeight), Qt::AlignCenter, QString::number(value));
    };
    for (int i = 0; i < dataCount; ++i) {
        const int x = (i + 1) * u + kAxisMargin;
        painter.drawLine(x, H - kAxisMargin - kTickLength, x, H - kAxisMargin);
        painter.drawText(QRect(x - half, H - kAxisMargin, u, kAxisMargin), Qt::AlignCenter,
                         QString::number(dataAxisX[i]));
        drawBar(x - half, dataAxisY1[i], kOkColour);
        drawBar(x, dataAxisY2[i], kNgColour);
    }

    QFont legendFont = painter.font();
    legendFont.setPointSize(kLegendPointSize);
    legendFont.setPixelSize(QFontInfo(legendFont).pixelSize());  // whole pixels, as the fitting measures
    painter.setFont(legendFont);
    const int swatch = dataCount > 0 ? half : (W - 2 * kAxisMargin) / (kLegendSlots + 1) / 2;
    const int okText = W - kLegendRight;
    // A caption wider than its 100 px takes two lines at 10 pt, which are a pixel or two taller
    // than the 30 px rectangle: the room grows to them about the same middle, so that the
    // caption keeps its size. One whose lines do not fit even so (a screen of more dots per
    // inch) is made smaller, down to a size below the screens' usual least.
    const QFontMetrics legendMetrics(legendFont);
    const int tall = std::max(kLegendHeight, 2 * legendMetrics.lineSpacing());
    const int top = kLegendTop - (tall - kLegendHeight) / 2;
    // Broken where the full size needs it, when the lines then fit; else the fitting finds the size.
    const auto caption = [&](int entry) {
        const QString lines = TextFit::Wrap(LanStr(entry), legendMetrics, kLegendWidth);
        return TextFit::Fits(lines, legendFont, QSize(kLegendWidth, tall)) ? lines : LanStr(entry);
    };
    TextFit::Draw(painter, QRect(okText, top, kLegendWidth, tall), Qt::AlignCenter, caption(kTextQualified), true,
                  kLegendLeastPx);
    const int okSwatch = okText - (swatch + kSwatchGap);
    painter.fillRect(QRect(okSwatch, kLegendTop, swatch, kSwatchBottom - kLegendTop + 1), kOkColour);
    const int ngText = okSwatch - kLegendStep;
    TextFit::Draw(painter, QRect(ngText, top, kLegendWidth, tall), Qt::AlignCenter, caption(kTextAnomaly), true,
                  kLegendLeastPx);
    const int ngSwatch = ngText - (swatch + kSwatchGap);
    painter.fillRect(QRect(ngSwatch, kLegendTop, swatch, kSwatchBottom - kLegendTop + 1), kNgColour);
}
