// Four octet fields separated by dots; reports the whole address on every change.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QWidget>

class IPAddressEdite : public QWidget
{
    Q_OBJECT

public:
    explicit IPAddressEdite(QWidget* parent);

    void setAddress(QString text);
    QString getAddress();
    void setReadOnly(bool readOnly);

    QLineEdit* octets[4];

signals:
    void sigChangeStr(QString text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
