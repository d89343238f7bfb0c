// The pointer to the main window's plain state and the shared grey colour table.
#include "mainstate.h"

MainState* gpState = nullptr;

MainState::MainState()
{
    gpState = this;
}

MainState::~MainState()
{
    if (gpState == this)
        gpState = nullptr;
}

QVector<QRgb>* SharedGrayTable()
{
    constexpr int kGrayLevels = 256;
    static QVector<QRgb> table = [] {
        QVector<QRgb> t;
        t.reserve(kGrayLevels);
        for (int i = 0; i < kGrayLevels; ++i) t.append(qRgb(i, i, i));
        return t;
    }();
    return &table;
}
