// Date and time editor and the setting of the system clock.
#include "editdatetime.h"

#include <QFont>
#include <QGridLayout>
#include <QPalette>

#include "commandrunner.h"
#include "platformclock.h"

namespace {

constexpr int kHeight = 80;
constexpr int kPixelSize = 30;
constexpr int kFieldWidth = 330;
constexpr int kFieldHeight = 60;
constexpr int kArrowSize = 60;
constexpr int kSpacing = 10;
constexpr int kCommandWaitMs = 3000;
const char* const kFontFamily = "wenquanyi";
const char* const kClockFormat = "yyyy-MM-dd hh:mm:ss";

// %2 is the editor class; both arrows are pictures at the field's ends.
const char* const kArrowStyle =
    "%2::up-button{subcontrol-origin:border;subcontrol-position:right;image: url(./images/right.png);width: "
    "%1px;height: %1px;}%2::down-button {subcontrol-origin:border;subcontrol-position:left;image: "
    "url(./images/left.png);width: %1px;height: %1px;}";

QString arrowStyle(const char* editorClass)
{
    return QString::fromLatin1(kArrowStyle).arg(kArrowSize).arg(QLatin1String(editorClass));
}

}  // namespace

EditDateTime::EditDateTime(const QString& caption, QWidget* parent) : QWidget(parent), dateTime(PlatformClock::now())
{
    setFixedHeight(kHeight);
    QFont font(kFontFamily);
    font.setPixelSize(kPixelSize);
    setFont(font);

    captionLabel = new QLabel(caption, this);
    captionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = captionLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::yellow);
    captionLabel->setPalette(palette);

    dateEdit = new QDateEdit(this);
    dateEdit->setDisplayFormat("yyyy-MM-dd");
    dateEdit->setFixedSize(kFieldWidth, kFieldHeight);
    dateEdit->setAlignment(Qt::AlignCenter);
    dateEdit->setStyleSheet(arrowStyle("QDateEdit"));

    timeEdit = new QTimeEdit(this);
    timeEdit->setDisplayFormat("HH:mm:ss");
    timeEdit->setFixedSize(kFieldWidth, kFieldHeight);
    timeEdit->setAlignment(Qt::AlignCenter);
    timeEdit->setStyleSheet(arrowStyle("QTimeEdit"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(captionLabel, 0, 0);
    grid->addWidget(dateEdit, 0, 1);
    grid->addWidget(timeEdit, 0, 2);
    grid->setHorizontalSpacing(kSpacing);
    grid->setVerticalSpacing(kSpacing);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void EditDateTime::ShowDateTime()
{
    const QDateTime now = PlatformClock::now();
    dateEdit->setDate(now.date());
    timeEdit->setTime(now.time());
}

void EditDateTime::setSysDateTime()
{
    dateTime = QDateTime(dateEdit->date(), timeEdit->time());
    // The hardware clock takes the new time from the system clock, so the order matters.
    CommandRunner::run("date", {"-s", dateTime.toString(kClockFormat)}, kCommandWaitMs);
    CommandRunner::run("hwclock", {"--systohc"}, kCommandWaitMs);
}
