// The replaceable operator prompts.
#include "operatorprompts.h"

#include <QDebug>

namespace {

OperatorPrompts& prompts()
{
    static OperatorPrompts current;
    return current;
}

}  // namespace

void WarnOperator(const QString& text)
{
    if (!prompts().warn) {
        qWarning().noquote() << "no warning box for:" << text;
        return;
    }
    prompts().warn(text);
}

void ShowOperatorNote(const QString& text)
{
    if (!prompts().note) {
        qWarning().noquote() << "no warning box for:" << text;
        return;
    }
    prompts().note(text);
}

void ShowOperatorNotice(const QString& text)
{
    if (!prompts().notice) {
        ShowOperatorNote(text);
        return;
    }
    prompts().notice(text);
}

bool AskOperator(const QString& text)
{
    if (!prompts().ask) {
        qWarning().noquote() << "no question box, answered NO:" << text;
        return false;
    }
    return prompts().ask(text);
}

int AskOperatorFullScreen(const QString& text, const std::function<void(QDialog*)>& waiting)
{
    if (!prompts().askFullScreen) {
        qWarning().noquote() << "no question box, answered NO:" << text;
        return 0;
    }
    return prompts().askFullScreen(text, waiting);
}

void SetOperatorPrompts(OperatorPrompts newPrompts)
{
    prompts() = std::move(newPrompts);
}
