// The production-count alarm box.
#include "productalarmwarnbox.h"

#include "globals.h"
#include "mainstate.h"
#include "windowhooks.h"

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
    for (int out : kAlarmOutputs) SetBoardOutput(out, 0);
    FlushBoardOutputs();
    if (gpState) {
        gpState->productCount = 0;
        gpState->productAlarm = false;
    }
    QDialog::accept();
}
