// A 35 x 35 status picture: busy animation, success or error.
#pragma once

#include <QLabel>
#include <QMovie>
#include <QPixmap>

class CComp_LabStatus : public QLabel
{
public:
    enum STATUS { Success = 0, Busy = 1, Error = 2 };

    explicit CComp_LabStatus(QWidget* parent);
    ~CComp_LabStatus() override;

    // 0, 1, 2 change the picture; any other value only records itself and shows the label.
    void setStatus(CComp_LabStatus::STATUS status);

    STATUS status = Busy;
    QMovie* busyMovie;
    QPixmap* successPixmap;
    QPixmap* errorPixmap;
};
