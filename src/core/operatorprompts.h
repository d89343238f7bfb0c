// Warnings and yes/no questions for the operator from any layer, shown by the boxes the widgets
// layer installs (as the operation-record sink is installed by the window).
#pragma once

#include <functional>

#include <QString>

class QDialog;

struct OperatorPrompts
{
    // A modal warning with one confirm button.
    std::function<void(const QString& text)> warn;
    // The same warning box shown without waiting: the caller carries on while it stands.
    std::function<void(const QString& text)> note;
    // A notice that must reach the operator, shown without waiting in a box of its own, which
    // the warnings and notes neither replace nor hide; notices come one after the other.
    std::function<void(const QString& text)> notice;
    // A modal yes/no question; true for YES.
    std::function<bool(const QString& text)> ask;
    // A yes/no question over the whole screen, for start-up before the window shows anything
    // around it; `waiting` is told the box while it waits and null once it is answered.
    // Returns the box's exec result (1 YES).
    std::function<int(const QString& text, const std::function<void(QDialog*)>& waiting)> askFullScreen;
};

// Without installed prompts a warning is only logged and every question is answered NO, so
// nothing irreversible follows from a question nobody saw.
void WarnOperator(const QString& text);
void ShowOperatorNote(const QString& text);
// Without an installed notice box the note box shows it.
void ShowOperatorNotice(const QString& text);
bool AskOperator(const QString& text);
int AskOperatorFullScreen(const QString& text, const std::function<void(QDialog*)>& waiting = {});

void SetOperatorPrompts(OperatorPrompts prompts);
