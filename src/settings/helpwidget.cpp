#include "helpwidget.h"

#include <QDir>
#include <QPainter>
#include <QPushButton>

#include "globals.h"
#include "lanstr.h"

namespace {

constexpr int kTextAlarmHelp = 146;
constexpr int kTextPreStep = 339;
constexpr int kTextNextStep = 340;
constexpr int kTextReturn = 58;
// The band behind the page buttons, at the top right of the 1920-wide page.
const QRect kButtonBand(1290, 0, 630, 70);
constexpr int kButtonGap = 10;

}  // namespace

HelpWidget::HelpWidget(QWidget* parent) : QWidget(parent)
{
    const QDir dir(gLan == 0 ? QStringLiteral("./help/") : QStringLiteral("./help-en/"));
    for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
        pageFiles << dir.filePath(name);
    pageCount = pageFiles.size();
    pages.resize(pageCount);

    const int width = (kButtonBand.width() - kButtonGap * 5) / 4;
    const int height = kButtonBand.height() - 2 * kButtonGap;
    const int entries[] = {kTextAlarmHelp, kTextPreStep, kTextNextStep, kTextReturn};
    QPushButton** buttons[] = {&alarmButton, &lastButton, &nextButton, &returnButton};
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(LanStr(entries[i]), this);
        button->setGeometry(kButtonBand.x() + kButtonGap + i * (width + kButtonGap), kButtonBand.y() + kButtonGap,
                            width, height);
        *buttons[i] = button;
    }
    connect(alarmButton, &QPushButton::clicked, this, &HelpWidget::SlotAlarm);
    connect(lastButton, &QPushButton::clicked, this, &HelpWidget::SlotLast);
    connect(nextButton, &QPushButton::clicked, this, &HelpWidget::SlotNext);
    connect(returnButton, &QPushButton::clicked, this, &HelpWidget::SlotReturn);
}

void HelpWidget::SlotAlarm()
{
    gHelpC = kAlarmPage;
    update();
}

void HelpWidget::SlotLast()
{
    if (pageCount <= 0)
        return;
    gHelpC = gHelpC - 1 < 0 ? pageCount - 1 : gHelpC - 1;
    update();
}

void HelpWidget::SlotNext()
{
    if (pageCount <= 0)
        return;
    gHelpC = (gHelpC + 1) % pageCount;
    update();
}

void HelpWidget::SlotReturn()
{
    hide();
}

void HelpWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (gHelpC >= 0 && gHelpC < pageCount) {
        for (int i = 0; i < pageCount; ++i)
            if (i != gHelpC)
                pages[i] = QPixmap();
        if (pages.at(gHelpC).isNull())
            pages[gHelpC] = QPixmap(pageFiles.at(gHelpC));
        painter.drawPixmap(0, 0, pages.at(gHelpC));
    }
    painter.fillRect(kButtonBand, Qt::gray);
}
