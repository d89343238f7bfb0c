// Main window: construction for tests and the operations other parts call.
#include "mojuwizard.h"

#include "globals.h"
#include "passwordbox.h"
#include "wizardpara.h"

int numCamera = 1;
int gDNum = 1;
int gTempNum = 1;
int gPicNumNG = 0;
int gPicNumOK = 0;
bool gisColor = false;
bool gisGrayHue = false;
int gDrawHint = 0;
int gHelpC = 0;
int gFromTrain = 0;
bool gisSafeDoorOpen = false;
bool gisTempAlarm = false;
int gFailCycleNum[8] = {};
int gAllCycleNum[8] = {};

namespace {

constexpr int kGrayLevels = 256;

QVector<QRgb>* sharedGrayTable()
{
    static QVector<QRgb> table = [] {
        QVector<QRgb> t;
        t.reserve(kGrayLevels);
        for (int i = 0; i < kGrayLevels; ++i) t.append(qRgb(i, i, i));
        return t;
    }();
    return &table;
}

}  // namespace

MoJuWizard::MoJuWizard(LightConstruction, QWidget* parent) : QWidget(parent)
{
    gpWin = this;
    grayTable = sharedGrayTable();
}

MoJuWizard::~MoJuWizard()
{
    if (gpWin == this)
        gpWin = nullptr;
}

int MoJuWizard::CheckPassword()
{
    if (gpWPara && gpWPara->isPswUsed == 0)
        return 1;
    if (pswLevel != 0)
        return pswLevel;
    // The box writes the level it grants into pswLevel; its exec result says nothing more.
    if (gpPasswordBox)
        gpPasswordBox->exec();
    return pswLevel;
}

bool MoJuWizard::CheckRoot()
{
    constexpr int kFactoryLevel = 2;
    if (pswLevel == kFactoryLevel)
        return true;
    if (gpPasswordBox)
        gpPasswordBox->exec();
    return pswLevel == kFactoryLevel;
}
