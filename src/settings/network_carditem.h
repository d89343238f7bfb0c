// One card row of the network settings dialog: addresses, live state and rate, the edit button.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "networkmanager.h"

class Network_CardItem : public QWidget
{
    Q_OBJECT

public:
    Network_CardItem(const stu_netinfo& info, QWidget* parent);

    // Border colour of the row: green while the card runs, red otherwise.
    void chgHardWare(bool active);
    void updateSpeed(const QString& text);

    stu_netinfo info;
    QLabel* labName;
    QLabel* labMac;
    QLabel* labSpeed;
    QLabel* labip;
    QLabel* labmask;
    QLabel* labroute;
    QLabel* labtip;
    QLabel* labpriority;
    QLabel* labuse;
    QPushButton* modifyButton;

    static constexpr int kWidth = 680;
    static constexpr int kHeight = 120;

signals:
    // The row's card changed: every card file is written again.
    void sigUpdateAll();

public slots:
    void reload_information(stu_netinfo record);
    void slotChgCardInfo();

private:
    void showPriority();
    QString rowStyle;
};
