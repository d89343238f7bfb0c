// A 35 x 35 status picture.
#include "ccomp_labstatus.h"

namespace {
constexpr int kSidePx = 35;
}

CComp_LabStatus::CComp_LabStatus(QWidget* parent) : QLabel(parent)
{
    setFixedSize(kSidePx, kSidePx);
    busyMovie = new QMovie(":/wait.gif", QByteArray(), this);
    successPixmap = new QPixmap(":/right.png");
    errorPixmap = new QPixmap(":/error.png");
    setStatus(Busy);
}

CComp_LabStatus::~CComp_LabStatus()
{
    delete successPixmap;
    delete errorPixmap;
}

void CComp_LabStatus::setStatus(CComp_LabStatus::STATUS s)
{
    switch (s) {
        case Busy:
            setMovie(busyMovie);
            busyMovie->start();
            break;
        case Error:
            busyMovie->stop();
            setPixmap(*errorPixmap);
            break;
        case Success:
            busyMovie->stop();
            setPixmap(*successPixmap);
            break;
    }
    status = s;
    show();
}
