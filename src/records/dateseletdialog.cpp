// The export's date-range dialog: quick ranges ending today, or two dates edited by hand.
#include "dateseletdialog.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platformclock.h"

namespace {

constexpr int kCellWidth = 150;
constexpr int kCellHeight = 50;
constexpr int kEditWidth = 330;
constexpr int kEditFontPx = 30;
constexpr int kArrowPx = 50;
const char* const kDateFormat = "yyyy-MM-dd";
const char* const kEditStyle =
    "QDateEdit::up-button{subcontrol-origin:border;subcontrol-position:right;image: "
    "url(./images/right.png);width: %1px;height: %1px;}QDateEdit::down-button "
    "{subcontrol-origin:border;subcontrol-position:left;image: url(./images/left.png);width: %1px;height: %1px;}";
const char* const kDialogStyle = "QRadioButton{font-size:33px;}QPushButton{font-size:33px;}QLabel{font-size:33px;}";

enum Range { Custom = 0, OneDay, SevenDays, OneMonth, SixMonths, OneYear };

QDate today()
{
    return PlatformClock::now().date();
}

QLabel* makeLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFixedSize(kCellWidth, kCellHeight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QDateEdit* makeDateEdit(QWidget* parent)
{
    auto* edit = new QDateEdit(today(), parent);
    edit->setDisplayFormat(QString::fromLatin1(kDateFormat));
    QFont font(QStringLiteral("wenquanyi"));
    font.setPixelSize(kEditFontPx);
    edit->setFont(font);
    edit->setFixedSize(kEditWidth, kCellHeight);
    edit->setAlignment(Qt::AlignCenter);
    edit->setStyleSheet(QString::fromLatin1(kEditStyle).arg(kArrowPx));
    return edit;
}

}  // namespace

DateSeletDialog::DateSeletDialog(QWidget* parent) : QDialog(parent)
{
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(makeLabel(QStringLiteral("时间："), this));
    rangeGroup = new QButtonGroup(this);
    const QStringList names{QStringLiteral("自定义"), QStringLiteral("1天"),   QStringLiteral("7天"),
                            QStringLiteral("1个月"),  QStringLiteral("6个月"), QStringLiteral("1年")};
    for (int id = 0; id < names.size(); ++id) {
        auto* button = new QRadioButton(names[id], this);
        button->setFixedSize(kCellWidth, kCellHeight);
        rangeGroup->addButton(button, id);
        rangeRow->addWidget(button);
    }

    startEdit = makeDateEdit(this);
    endEdit = makeDateEdit(this);
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(makeLabel(QStringLiteral("开始时间"), this));
    startRow->addWidget(startEdit);
    startRow->addStretch();
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(makeLabel(QStringLiteral("结束时间"), this));
    endRow->addWidget(endEdit);
    endRow->addStretch();

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    for (QPushButton* b : {ok, cancel}) b->setFixedSize(kCellWidth, kCellHeight);
    // Acting on the press, not the release: the touch panel's releases are unreliable.
    connect(ok, &QPushButton::pressed, this, &QDialog::accept);
    connect(cancel, &QPushButton::pressed, this, &QDialog::reject);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(ok);
    buttonRow->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rangeRow);
    layout->addLayout(startRow);
    layout->addLayout(endRow);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(rangeGroup, &QButtonGroup::idClicked, this, [this](int id) {
        rangeType = id;
        updateDate();
    });
    // Editing a date by hand makes the range a custom one.
    auto toCustom = [this] {
        if (rangeType != Custom)
            rangeGroup->button(Custom)->click();
    };
    connect(startEdit, &QDateEdit::dateChanged, this, toCustom);
    connect(endEdit, &QDateEdit::dateChanged, this, toCustom);

    rangeGroup->button(OneDay)->click();
    setStyleSheet(QString::fromLatin1(kDialogStyle));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

void DateSeletDialog::updateDate()
{
    if (rangeType == Custom)
        return;
    const QDate end = today();
    QDate start = end;
    switch (rangeType) {
        case OneDay:
            start = end.addDays(-1);
            break;
        case SevenDays:
            start = end.addDays(-7);
            break;
        case OneMonth:
            start = end.addMonths(-1);
            break;
        case SixMonths:
            start = end.addMonths(-6);
            break;
        case OneYear:
            start = end.addYears(-1);
            break;
        default:
            break;
    }
    startEdit->blockSignals(true);
    endEdit->blockSignals(true);
    endEdit->setDate(end);
    startEdit->setDate(start.addDays(1));
    startEdit->blockSignals(false);
    endEdit->blockSignals(false);
    update();
}

QPair<QString, QString> DateSeletDialog::getDays()
{
    return {startEdit->date().toString(QString::fromLatin1(kDateFormat)),
            endEdit->date().toString(QString::fromLatin1(kDateFormat))};
}
