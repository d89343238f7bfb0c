// SaveImageSettingDailog: days kept on the USB disk, the copy switch and the lost-disk warning.
#pragma once

#include <QDialog>
#include <QJsonObject>

class CheckBox;
class ColorButton;
class Edit;
class QLabel;

class SaveImageSettingDailog : public QDialog
{
public:
    explicit SaveImageSettingDailog(QWidget* parent);

    // Keys "days", "useDiskSaveImage", "lostUpanAlarm"; absent keys leave their control.
    void init(const QJsonObject& values);
    // "days" is -1 when the edit does not hold a decimal integer.
    void save(QJsonObject& values) const;
    void setDays(int days);
    int getDays(bool* ok) const;

    QLabel* daysLabel;
    Edit* daysEdit;
    CheckBox* useDiskBox;
    CheckBox* lostDiskBox;
    ColorButton* okButton;
    ColorButton* cancelButton;
};
