// The save-image settings dialog.
#include "saveimagesettingdailog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "checkbox.h"
#include "colorbutton.h"
#include "edit.h"
#include "lanstr.h"
#include "textfit.h"

namespace {

constexpr int kTextLostDiskWarning = 678;
constexpr int kEditNumeric = 5;
constexpr int kIndicatorRoom = 45;

void StyleBox(CheckBox* box)
{
    box->setFixedSize(300, 60);
    QFont font("wqy-microhei");
    font.setPixelSize(33);
    box->setFont(font);
    // The box's size is fixed: a caption too long for it beside the indicator is broken
    // into lines, or made smaller.
    TextFit::FitButton(box, box->text(), kIndicatorRoom);
}

}  // namespace

SaveImageSettingDailog::SaveImageSettingDailog(QWidget* parent) : QDialog(parent)
{
    setFixedSize(600, 300);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
    setStyleSheet("QDialog{background-image: url(./images/background.png);background-color:rgb(110,110,110);"
                  "outline:0px;border:none;}");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);

    auto* daysRow = new QHBoxLayout;
    daysLabel = new QLabel(QString::fromUtf8("储存天数"), this);
    daysLabel->setFixedSize(150, 50);
    daysLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    daysLabel->setStyleSheet("QLabel{color:white;font-size:33px;}");
    daysEdit = new Edit(kEditNumeric, this, 1);
    daysEdit->setFixedSize(200, 50);
    daysEdit->setAlignment(Qt::AlignCenter);
    daysEdit->setStyleSheet("Edit{color:black;font-size:33px;}");
    daysRow->addWidget(daysLabel);
    daysRow->addWidget(daysEdit);
    layout->addLayout(daysRow);

    useDiskBox = new CheckBox(this, QString::fromUtf8("启用磁盘存储图片记录"));
    StyleBox(useDiskBox);
    layout->addWidget(useDiskBox, 0, Qt::AlignHCenter);
    lostDiskBox = new CheckBox(this, LanStr(kTextLostDiskWarning));
    StyleBox(lostDiskBox);
    layout->addWidget(lostDiskBox, 0, Qt::AlignHCenter);
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    okButton = new ColorButton(QString::fromUtf8("确定"), this, 3);
    okButton->setFixedSize(150, 70);
    cancelButton = new ColorButton(QString::fromUtf8("取消"), this, 3);
    cancelButton->setFixedSize(150, 70);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    connect(okButton, &QPushButton::pressed, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::pressed, this, &QDialog::reject);
}

void SaveImageSettingDailog::init(const QJsonObject& values)
{
    if (values.contains("days"))
        setDays(values.value("days").toInt());
    if (values.contains("useDiskSaveImage"))
        useDiskBox->setChecked(values.value("useDiskSaveImage").toInt() != 0);
    if (values.contains("lostUpanAlarm"))
        lostDiskBox->setChecked(values.value("lostUpanAlarm").toInt() != 0);
}

void SaveImageSettingDailog::save(QJsonObject& values) const
{
    bool ok = false;
    const int days = getDays(&ok);
    values.insert("days", ok ? days : -1);
    values.insert("useDiskSaveImage", useDiskBox->isChecked() ? 1 : 0);
    values.insert("lostUpanAlarm", lostDiskBox->isChecked() ? 1 : 0);
}

void SaveImageSettingDailog::setDays(int days)
{
    daysEdit->setText(QString::number(days));
}

int SaveImageSettingDailog::getDays(bool* ok) const
{
    bool parsed = false;
    const int days = daysEdit->text().toInt(&parsed, 10);
    if (ok)
        *ok = parsed;
    return parsed ? days : 0;
}
