// Machine outputs of the detection cycle: pulse ends, delayed outputs and the mode-3 preset.
#include "mojuwizard.h"

void MoJuWizard::OutTimerOutNG() {}
void MoJuWizard::OutTimerNotAllowClose() {}
void MoJuWizard::OutTimerSysFunc4Output() {}
void MoJuWizard::OutTimerNotAllowThimble() {}
void MoJuWizard::OutTimerReserveOutput() {}
void MoJuWizard::SlotTimerDelayOutput3() {}
void MoJuWizard::mulitOutputInit() {}
