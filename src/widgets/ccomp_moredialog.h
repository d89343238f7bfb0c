// A titled list of choice buttons; each reports its text once and closes the dialog.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>
#include <QVBoxLayout>

class CComp_MoreDialog : public QDialog
{
    Q_OBJECT

public:
    CComp_MoreDialog(const QString& title, QWidget* parent);

    void addBtn(const QString& text);

    QLabel* messageLabel;
    QLabel* titleLabel;
    QVBoxLayout* buttonColumn;

signals:
    void sigClick(QString text);
};
