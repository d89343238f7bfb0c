// The shared boxes installed as the operator prompts.
#include "operatorboxes.h"

#include <QDebug>

#include "choosebox.h"
#include "globals.h"
#include "operatorprompts.h"
#include "warnbox.h"

void InstallOperatorPrompts()
{
    OperatorPrompts prompts;
    prompts.warn = [](const QString& text) {
        if (!gpWarnBox) {
            qWarning().noquote() << "no warning box for:" << text;
            return;
        }
        gpWarnBox->setText(text);
        gpWarnBox->exec();
    };
    prompts.note = [](const QString& text) {
        if (!gpWarnBox) {
            qWarning().noquote() << "no warning box for:" << text;
            return;
        }
        gpWarnBox->setText(text);
        gpWarnBox->show();
    };
    prompts.ask = [](const QString& text) {
        if (!gpChooseBox) {
            qWarning().noquote() << "no question box, answered NO:" << text;
            return false;
        }
        gpChooseBox->setText(text);
        return gpChooseBox->exec() == 1;
    };
    prompts.askFullScreen = [](const QString& text, const std::function<void(QDialog*)>& waiting) {
        ChooseBox box(nullptr, gShowW, gShowH);
        box.setText(text);
        if (waiting)
            waiting(&box);
        const int answer = box.exec();
        if (waiting)
            waiting(nullptr);
        return answer;
    };
    SetOperatorPrompts(std::move(prompts));
}
