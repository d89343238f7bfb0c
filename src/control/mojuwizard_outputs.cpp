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
    detection.endPulse(CyclePulse::RejectNG);
}

void MoJuWizard::OutTimerNotAllowClose()
{
    detection.endPulse(CyclePulse::NotAllowClose);
}

void MoJuWizard::OutTimerSysFunc4Output()
{
    detection.endPulse(CyclePulse::StepOutput);
}

void MoJuWizard::OutTimerNotAllowThimble()
{
    detection.endPulse(CyclePulse::NotAllowThimble);
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
    detection.presetStageOutputs();
}
