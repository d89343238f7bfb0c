// The production-count alarm box.
#include "productalarmwarnbox.h"

#include "controlport.h"
#include "globals.h"
#include "mainstate.h"

ProductAlarmWarnBox* gpProductAlarmWarnBox = nullptr;

namespace {
// The outputs the production alarm switches on.
constexpr int kAlarmOutputs[] = {0, 2};
}  // namespace

ProductAlarmWarnBox::ProductAlarmWarnBox(QWidget* parent) : WarnBox(parent)
{
    setText(tr("生产已达设定次数，请确认后复位"));
}

void ProductAlarmWarnBox::accept()
{
    if (gpControlIO) {
        for (int out : kAlarmOutputs) gpControlIO->IOSetOut(out, 0);
        gpControlIO->IOFlashOut();
    }
    if (gpState) {
        gpState->productCount = 0;
        gpState->productAlarm = false;
    }
    QDialog::accept();
}
