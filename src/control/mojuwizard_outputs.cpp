// Machine outputs of the detection cycle: pulse ends, delayed outputs and the mode-3 preset.
#include "mojuwizard.h"
#include "mojuwizard_cycleparams.h"

using namespace cycle;

namespace {

void StopTimer(QTimer* t)
{
    if (t)
        t->stop();
}

}  // namespace

void MoJuWizard::OutTimerOutNG()
{
    StopTimer(outNGTimer);
    if (Par(&WizardPara::noEjectorCtrlInProd) == 0)  // system2 9
        SetOut(kEjectorOut, 0);
    for (int g = 0; g < kRejectGroups; ++g) SetOut(kFirstRejectOut + g, 0);
    Flush();
}

void MoJuWizard::OutTimerNotAllowClose()
{
    StopTimer(notAllowCloseTimer);
    if (Par(&WizardPara::okNgPulses) != 0) {  // system5 9
        SetOut(kClampOut, 0);
        SetOut(kEjectorOut, 0);
    } else if (Par(&WizardPara::moldNgPulse) != 0) {  // system14 1
        SetOut(kClampOut, 0);
    } else {
        // The clamp is allowed again a fixed time after an OK mould.
        if (runState != kRunStopped) {
            SetOut(kClampOut, 1);
            Flush();
        }
        return;
    }
    SetOut(kAlarmOut, 0);
    Flush();
}

void MoJuWizard::OutTimerSysFunc4Output()
{
    StopTimer(sysFunc4OutputTimer);
    if (Mode() != kModeMulti)
        return;
    if (sysFunc4Pending && sysFunc4Output != -1) {
        SetOut(sysFunc4Output, 1);
        Flush();
    }
    sysFunc4Pending = false;
    sysFunc4Output = -1;
}

void MoJuWizard::OutTimerNotAllowThimble()
{
    StopTimer(notAllowThimbleTimer);
    if (Par(&WizardPara::okNgPulses) != 0) {  // system5 9
        SetOut(kClampOut, 0);
        SetOut(kEjectorOut, 0);
    } else if (runState != kRunStopped) {
        SetOut(kEjectorOut, 1);
    }
    Flush();
}

void MoJuWizard::OutTimerReserveOutput()
{
    StopTimer(reserveOutputTimer);
    SetOut(kOutput4, 0);
    Flush();
}

void MoJuWizard::SlotTimerDelayOutput3()
{
    SetOut(kDelayedOut, 1);
    Flush();
    StopTimer(delayOutput3Timer);
}

void MoJuWizard::mulitOutputInit()
{
    if (Mode() != kModeMulti || gDNum < 1)
        return;
    for (int k = 0; k < gDNum && k < kMaxDetections; ++k) {
        const int g = StepGroup(k);
        const int cut = GroupCutMode(g);
        if (cut != 3 && cut != 4)
            continue;
        for (int j = k; j < gDNum && j < kMaxDetections; ++j) {
            const int gj = StepGroup(j);
            if ((cut == 4 && gj != kNoGroup) || (cut == 3 && g != kNoGroup && gj == g))
                SetOut(StepOutput(j), 1);
        }
    }
}
