// Main window: construction for tests and the operations other parts call.
#include "mojuwizard.h"

#include <QDebug>

#include "globals.h"
#include "passwordbox.h"
#include "platformclock.h"
#include "wizardpara.h"

int numCamera = 1;
int gDNum = 1;
int gTempNum = 1;
bool gisColor = false;
bool gisGrayHue = false;
int gDrawHint = 0;
int gHelpC = 0;
int gFromTrain = 0;
bool gisSafeDoorOpen = false;
bool gisTempAlarm = false;
int gFailCycleNum[8] = {};
int gAllCycleNum[8] = {};

MoJuWizard::MoJuWizard(LightConstruction, QWidget* parent) : QWidget(parent)
{
    gpWin = this;
    for (int i = 0; i < 256; ++i)
        grayTable.append(qRgb(i, i, i));
}

MoJuWizard::~MoJuWizard()
{
    if (gpWin == this)
        gpWin = nullptr;
}

// Operation records land with the record database; until then they are logged so that
// callers can be exercised.
void MoJuWizard::InsertRecord(QString text, QString type)
{
    qInfo().noquote() << "InsertRecord" << type << text;
}

void MoJuWizard::FLushAll()
{
    if (dbIn.isOpen())
        dbIn.close();
    PlatformClock::sleepMs(500);
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

int MoJuWizard::CheckRoot()
{
    constexpr int kFactoryLevel = 2;
    if (pswLevel == kFactoryLevel)
        return 1;
    if (gpPasswordBox)
        gpPasswordBox->exec();
    return pswLevel == kFactoryLevel ? 1 : 0;
}
