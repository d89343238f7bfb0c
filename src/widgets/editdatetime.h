// Date and time editor that shows the clock and sets the system clock from its fields.
#pragma once

#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QString>
#include <QTimeEdit>
#include <QWidget>

class EditDateTime : public QWidget
{
    Q_OBJECT

public:
    EditDateTime(const QString& caption, QWidget* parent);

    void ShowDateTime();
    // Sets the system clock, then the hardware clock from it; blocks up to 3 s for each.
    void setSysDateTime();

    QDateEdit* dateEdit;
    QTimeEdit* timeEdit;
    QLabel* captionLabel;
    QDateTime dateTime;
};
