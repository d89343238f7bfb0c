// Judgement of a detection step over all cameras, the NG alarm and the step advance.
#include "mojuwizard.h"

void MoJuWizard::CheckNG(bool) {}
void MoJuWizard::CheckNG()
{
    CheckNG(false);
}
void MoJuWizard::TimerShow() {}
void MoJuWizard::CheckTemp() {}
void MoJuWizard::SlotResetAlarm() {}
void MoJuWizard::SlotClearNGAlarm() {}
int MoJuWizard::CameraCheck()
{
    return 1;
}
void MoJuWizard::CameraRestart() {}
void MoJuWizard::CameraSetSpeed() {}
