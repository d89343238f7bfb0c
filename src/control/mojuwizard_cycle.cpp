// Detection cycle of the main window: input scan, triggers, countdowns, start and stop.
#include "mojuwizard.h"

void MoJuWizard::Run() {}
void MoJuWizard::TimerUp(int) {}
void MoJuWizard::TimerUp0()
{
    TimerUp(0);
}
void MoJuWizard::TimerUp1()
{
    TimerUp(1);
}
void MoJuWizard::TimerUp2()
{
    TimerUp(2);
}
void MoJuWizard::TimerUp3()
{
    TimerUp(3);
}
void MoJuWizard::TimerUp4()
{
    TimerUp(4);
}
void MoJuWizard::TimerUp5()
{
    TimerUp(5);
}
void MoJuWizard::TimerUp6()
{
    TimerUp(6);
}
void MoJuWizard::TimerUp7()
{
    TimerUp(7);
}
int MoJuWizard::CheckInput(int)
{
    return 0;
}
void MoJuWizard::TimerCheckInput0() {}
void MoJuWizard::TimerCheckInput1() {}
void MoJuWizard::TimerCheckInput2() {}
void MoJuWizard::TimerCheckInput3() {}
void MoJuWizard::TimerCheckInput4() {}
void MoJuWizard::TimerCheckInput5() {}
void MoJuWizard::TimerCheckInput6() {}
void MoJuWizard::TimerCheckInput7() {}
void MoJuWizard::ReCheck() {}
void MoJuWizard::InCheck() {}
void MoJuWizard::StartDetect() {}
void MoJuWizard::StopDetect() {}
void MoJuWizard::SetStopDetect() {}
void MoJuWizard::ResetRun() {}
void MoJuWizard::SlotStartStop() {}
void MoJuWizard::SlotManualTrig(int) {}
void MoJuWizard::SlotManualTrig0()
{
    SlotManualTrig(0);
}
void MoJuWizard::SlotManualTrig1()
{
    SlotManualTrig(1);
}
