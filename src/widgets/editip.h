// IPv4 address editor: a caption and four octet fields typed with the numeric keypad.
#pragma once

#include <QColor>
#include <QHBoxLayout>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "edit.h"

class EditIP : public QWidget
{
    Q_OBJECT

public:
    // flag 1: the keypad opens inside the network settings dialog; 0: in the editor's parent.
    EditIP(const QString& caption, int flag, QWidget* parent);

    // Each octet: "." removed, empty or not an unsigned number reads "0".
    QString getAddress();
    // Fills the octets part by part; a missing or empty part keeps its octet's text.
    void setAddress(const QString& text);

    QLabel* captionLabel;
    QLabel* dotLabels[3];
    Edit* octets[4];
    QHBoxLayout* layout;
    QColor titleColor = Qt::yellow;
    QString address;

signals:
    void textchange(QString curtext);

public slots:
    void SlotPressDot_0();
    void SlotPressDot_1();
    void SlotPressDot_2();

private:
    void moveToOctet(int index);
};
