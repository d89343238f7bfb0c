// The statistics page's boxes through the window's shared boxes.
#include "statisticsprompts.h"

#include "choosebox.h"
#include "operatorprompts.h"
#include "warnbox.h"

namespace StatisticsPrompts {

void warn(const QString& text)
{
    if (!gpWarnBox) {
        WarnOperator(text);
        return;
    }
    // The start notice may still be up: the answer replaces it.
    gpWarnBox->hide();
    gpWarnBox->setText(text);
    gpWarnBox->exec();
}

void notify(const QString& text)
{
    if (!gpWarnBox) {
        WarnOperator(text);
        return;
    }
    gpWarnBox->setText(text);
    gpWarnBox->show();
    gpWarnBox->update();
}

bool ask(const QString& text)
{
    if (!gpChooseBox)
        return AskOperator(text);
    gpChooseBox->setText(text);
    return gpChooseBox->exec() == 1;
}

}  // namespace StatisticsPrompts
