// DateSeletDialog: the range of days the statistics export asks for.
#pragma once

#include <QDialog>
#include <QPair>
#include <QString>

class QButtonGroup;
class QDateEdit;

class DateSeletDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DateSeletDialog(QWidget* parent);

    // Both dates from the chosen range; a custom range keeps what was edited.
    void updateDate();
    // (first day, last day) as "yyyy-MM-dd".
    QPair<QString, QString> getDays();

    QButtonGroup* rangeGroup = nullptr;
    QDateEdit* startEdit = nullptr;
    QDateEdit* endEdit = nullptr;
    int rangeType = 0;  // 0 custom, 1 one day, 2 seven days, 3 a month, 4 six months, 5 a year
};
