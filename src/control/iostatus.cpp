// The status strip: IO lamps with their names, login state, product name, USB disk, clock and cycle time.
#include "iostatus.h"

#include <QDir>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "controlport.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "textfit.h"
#include "textids.h"
#include "wizardpara.h"

std::function<bool()> IOStatusWidget::usbDiskPresent;
std::function<QStringList()> IOStatusWidget::groupNames;

namespace {

constexpr int kStripHeight = 180;
constexpr int kLampW = 70;
constexpr int kLampH = 80;
constexpr int kNameH = 18;
constexpr int kLampStep = 75;
constexpr int kFirstLampX = 7;
constexpr int kSecondInputX = 82;
constexpr int kOutputGap = 90;  // from the last input lamp to the first output lamp
constexpr int kTextGap = 150;   // from the last lamp to the login text, and on to the product
constexpr int kProductPerLanguage = 20;
constexpr int kWideScreen = 1024;  // above this, mode 3 puts the outputs on a row of their own
constexpr int kMaxSignal = 8;      // inputs and outputs 0..8 have lamps
constexpr int kExtraOutputs = 4;
constexpr int kNameFontPx = 16;
// A name wider than its 70 px box at 16 px is drawn smaller than the screens' usual least.
constexpr int kNameLeastPx = 10;
constexpr int kProductLines = 2;
constexpr int kTextGapAbove = 30;
constexpr int kTextFontPx = 35;
constexpr int kTextBaseLine = 155;
constexpr int kClockX = 1150;
const QRect kDiskRect(1080, 120, 50, 50);
constexpr int kTextEndGap = 10;
// The window's mode and version labels stand over the strip's right end.
constexpr int kWindowLabelsWidth = 240;
const QColor kProductColour("#ff9900");

const char* const kFontFamily = "wqy-microhei";
const char* const kDefaultGroup = "default";

QFont StripFont(int px)
{
    QFont f(QString::fromLatin1(kFontFamily));
    f.setPixelSize(px);
    return f;
}

QStringList GroupFolders()
{
    if (!gpWPara)
        return {};
    return QDir(gpWPara->groupDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

IOStatusWidget::IOStatusWidget(MoJuWizard* parent) : QWidget(parent)
{
    setGeometry(0, gShowH - kStripHeight, gShowW, kStripHeight);
}

void IOStatusWidget::layoutLamps(Layout& out) const
{
    const int h = height();
    const int mode = gpWPara ? gpWPara->detectMode : 0;
    const bool multi = mode == kModeMulti;
    // Mode 3's detection count as the record loaded it.
    const int count = gpWPara ? gpWPara->detectCount : 0;

    bool hasLamp[kMaxSignal + 1] = {};
    if (!multi) {
        for (int i = 0; i < 4; ++i) hasLamp[i] = true;
    } else if (gpWPara) {
        for (int d = 0; d < kMaxDetections; ++d) {
            const int input = gpWPara->detectTrigIn[d];
            if (input >= 0 && input <= kMaxSignal)
                hasLamp[input] = true;
        }
        const int choice = gpWPara->ioRowInput[0];
        if (choice >= 0 && choice < 8 && TriginNo[choice] >= 1 && TriginNo[choice] - 1 <= kMaxSignal)
            hasLamp[TriginNo[choice] - 1] = true;
    }

    const int lampTop = h - (multi ? 170 : 85);
    const int inputNameTop = h - (multi ? 110 : 23);
    auto addLamp = [&out](int kind, int number, int x, int top, int nameTop, const QString& name) {
        out.lamps.append({kind, number, QRect(x, top, kLampW, kLampH), QRect(x, nameTop, kLampW, kNameH), name});
    };

    // Inputs: 0 at x 7, 1 at x 82, every later one a step right of the last input drawn
    // from 1 on (or at x 82 when there is none).
    int lastX = kFirstLampX;
    int lastFromOne = -1;
    for (int i = 0; i <= kMaxSignal; ++i) {
        if (!hasLamp[i])
            continue;
        if (multi && i >= 4 && !(count > i || (i == kMaxSignal && count >= kMaxSignal)))
            continue;
        int x = kFirstLampX;
        if (i >= 1)
            x = lastFromOne < 0 ? kSecondInputX : lastFromOne + kLampStep;
        addLamp(0, i, x, lampTop, inputNameTop, gaName[i]);
        lastX = x;
        if (i >= 1)
            lastFromOne = x;
    }

    // Outputs: a row after the inputs, or in mode 3 on a wide screen a second row.
    const bool secondRow = multi && gShowW > kWideScreen;
    const int outTop = secondRow ? h - 85 : lampTop;
    const int outNameTop = secondRow ? h - 26 : (multi ? inputNameTop : h - 23);
    int x = secondRow ? kFirstLampX : lastX + kOutputGap;
    const int nameBase = multi ? 9 : 4;
    int lastOutput = -1;
    for (int j = 0; j <= kMaxSignal; ++j) {
        if (j >= 4 && !(multi && (count > j || (j == kMaxSignal && count >= kMaxSignal))))
            break;
        addLamp(1, j, x, outTop, outNameTop, gaName[nameBase + j]);
        lastOutput = j;
        x += kLampStep;
    }
    // The switch of system2 value 7 also shows the four outputs after the last one.
    if (gpWPara && gpWPara->ejectorPulseNoAlarm != 0) {
        for (int k = 1; k <= kExtraOutputs; ++k) {
            addLamp(1, lastOutput + k, x, outTop, outNameTop, QStringLiteral(" N %1 ").arg(k));
            x += kLampStep;
        }
    }
}

IOStatusWidget::Layout IOStatusWidget::layout() const
{
    Layout out;
    layoutLamps(out);
    const int h = height();
    const bool multi = gpWPara && gpWPara->detectMode == kModeMulti;
    const int lastLampX = out.lamps.isEmpty() ? kFirstLampX : out.lamps.last().lamp.left();

    out.showLogin = gpWPara && gpWPara->isPswUsed != 0;
    if (out.showLogin) {
        out.loginText = LanStr(gpState && gpState->pswLevel != kPswNone ? kTextLogged : kTextUnlogged);
        out.loginAt = QPoint(lastLampX + kTextGap, h - (multi ? 26 : 23));
    }

    if (gpWPara) {
        const QStringList groups = groupNames ? groupNames() : GroupFolders();
        const int index = gpWPara->groupIndex;
        if (index >= 0 && index < groups.size() && groups.at(index) != QLatin1String(kDefaultGroup)) {
            out.showProduct = true;
            out.productText = LanStr(kTextProductName) + groups.at(index);
            const int px =
                out.showLogin ? out.loginAt.x() + kTextGap + kProductPerLanguage * gLan : lastLampX + kTextGap;
            out.productAt = QPoint(px, kTextBaseLine);
        }
    }

    out.showDisk = usbDiskPresent && usbDiskPresent();
    out.diskRect = kDiskRect;

    const int cycleTime = gpState ? gpState->cycleTime : 0;
    out.clockText = LanStr(kTextClock)
                        .arg(PlatformClock::now().toString("yyyy-MM-dd hh.mm.ss"))
                        .arg(double(cycleTime) / 10.0, 4, 'f', 1);
    out.clockAt = QPoint(kClockX, kTextBaseLine);
    return out;
}

void IOStatusWidget::mousePressEvent(QMouseEvent*)
{
    if (gpState)
        gpState->pswLevel = kPswNone;
    update();
}

void IOStatusWidget::paintEvent(QPaintEvent*)
{
    const Layout l = layout();
    QPainter p(this);
    // The teaching page's column moved to the left would hide the first lamps: the strip's
    // row moves right of it, into the room the window's version labels leave while the page
    // shows.
    p.translate(DrawROIWidget::LeftCover(this), 0);

    // The names keep 16 px, centred on their 70 x 18 boxes (the font's descent may pass the
    // box by a pixel); only a name wider than its box is drawn smaller.
    const QFont nameFont = StripFont(kNameFontPx);
    const int nameRoom = std::max(kNameH, QFontMetrics(nameFont).height());
    p.setFont(nameFont);
    p.setPen(QColor(0, 255, 255));
    for (const Lamp& lamp : l.lamps) {
        const int state = gpControlIO ? gpControlIO->IOState(lamp.kind, lamp.number) : 0;
        if (gpPixmapOUT[state])
            p.drawPixmap(lamp.lamp, *gpPixmapOUT[state]);
        const int grow = nameRoom - kNameH;
        TextFit::Draw(p, lamp.nameBox.adjusted(0, -grow / 2, 0, grow - grow / 2), Qt::AlignCenter, lamp.name, false,
                      kNameLeastPx);
    }
    if (l.showDisk)
        p.drawPixmap(l.diskRect, QPixmap("./images/disk.png"));
    paintTexts(p, l);
}

void IOStatusWidget::paintTexts(QPainter& p, const Layout& l)
{
    // The texts keep their places; each ends before the next one (the login before the
    // product name, both before the disk icon and the clock, the clock before the window's
    // mode and version labels). Many lamps leave a text too little room there: it then takes
    // the line above the clock, which nothing else uses.
    const QFont font = StripFont(kTextFontPx);
    p.setFont(font);
    const QFontMetrics metrics(font);
    // One line takes the font's height, more lines their spacing each (as the fitting counts).
    const auto room = [&metrics](const QPoint& baseLine, int right, int lines) {
        const int bottom = baseLine.y() + metrics.descent();
        const int tall = lines == 1 ? metrics.height() : lines * metrics.lineSpacing();
        return QRect(baseLine.x(), bottom - tall, right - baseLine.x(), tall);
    };
    const auto fits = [&font](const QRect& r, const QString& text, int lines) {
        if (r.width() <= 0)
            return false;
        QString shown;
        const QFont fitted = TextFit::Fit(font, text, r.size(), lines > 1, &shown);
        return TextFit::Fits(shown, fitted, r.size());
    };
    // The right end of a text starting at x on the clock's line: the next thing right of it.
    const auto endBefore = [&l](int x, int next) {
        if (l.showDisk && l.diskRect.left() > x)
            next = std::min(next, l.diskRect.left());
        return next - kTextEndGap;
    };
    const int clockRight = width() - kWindowLabelsWidth - kTextEndGap;

    struct Placed
    {
        QRect room;
        QString text;
        QColor colour;
        int lines;
    };
    QVector<Placed> placed;
    QVector<Placed> above;  // placed in the line above the clock, left to right
    const QColor loginColour = gpState && gpState->pswLevel != kPswNone ? QColor(Qt::green) : QColor(Qt::red);
    if (l.showLogin) {
        const QRect r = room(l.loginAt, endBefore(l.loginAt.x(), l.showProduct ? l.productAt.x() : l.clockAt.x()), 1);
        if (fits(r, l.loginText, 1))
            placed.append({r, l.loginText, loginColour, 1});
        else
            above.append({QRect(), l.loginText, loginColour, 1});
    }
    if (l.showProduct) {
        const QRect r = room(l.productAt, endBefore(l.productAt.x(), l.clockAt.x()), kProductLines);
        if (fits(r, l.productText, kProductLines))
            placed.append({r, l.productText, kProductColour, kProductLines});
        else
            above.append({QRect(), l.productText, kProductColour, 1});
    }
    int x = l.clockAt.x();
    const QPoint aboveLine(0, kTextBaseLine - metrics.lineSpacing());
    for (int i = 0; i < above.size(); ++i) {
        Placed& t = above[i];
        const bool last = i + 1 == above.size();
        const int right = last ? clockRight : std::min(clockRight, x + metrics.horizontalAdvance(t.text));
        t.room = room(QPoint(x, aboveLine.y()), right, 1);
        placed.append(t);
        x = right + kTextGapAbove;
    }
    placed.append({room(l.clockAt, clockRight, 1), l.clockText, QColor(Qt::green), 1});
    for (const Placed& t : placed) {
        p.setPen(t.colour);
        TextFit::Draw(p, t.room, Qt::AlignLeft | Qt::AlignBottom, t.text, t.lines > 1);
    }
}
