// Recognition run of one camera and step, and the operator's template re-sampling.
#include "mojuwizard.h"

void MoJuWizard::RunAlgorithm(int, int) {}
void MoJuWizard::SlotReTrain() {}
void MoJuWizard::BackTrain() {}
void MoJuWizard::AutogenerationRegion(int) {}
