// Main window: construction for tests and the operations other parts call.
#include "mojuwizard.h"

#include "globals.h"
#include "passwordbox.h"
#include "recordsink.h"
#include "windowhooks.h"
#include "wizardpara.h"

MoJuWizard::MoJuWizard(LightConstruction, QWidget* parent) : QWidget(parent)
{
    gpWin = this;
    grayTable = SharedGrayTable();
    InstallHooks();
}

MoJuWizard::~MoJuWizard()
{
    if (gpWin == this) {
        gpWin = nullptr;
        SetRecordSink({});
        SetFlushAllHook({});
        SetLostCameraHook({});
    }
}

void MoJuWizard::InstallHooks()
{
    SetRecordSink([this](const QString& text, const QString& type) { InsertRecord(text, type); });
    SetFlushAllHook([this] { FLushAll(); });
    SetLostCameraHook([this] { LostCamera(); });
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
