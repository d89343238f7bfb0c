// Test helpers for the line edits and keypads: open a keypad as a tap does, press keys.
#pragma once

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QWidget>

#include "edit.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "numcharinput.h"

namespace KeypadRig {

// What a tap on an edit delivers: focus first, then the release that places the keypad.
inline void tap(QWidget* edit)
{
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(edit, &in);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &release);
}

inline void sendFocusOut(QWidget* edit)
{
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(edit, &out);
}

inline void ensureKeypads()
{
    MoJuWizard::CreateNumPad();
    MoJuWizard::CreateNumCharPad();
}

// The numeric key that currently shows digit d (the labels move for passwords).
inline ColorButton* digitKey(int d)
{
    for (ColorButton* key : gpNumPad->digitKeys)
        if (key->text() == QString::number(d))
            return key;
    return nullptr;
}

inline void typeDigits(const QString& digits)
{
    for (const QChar c : digits) digitKey(c.digitValue())->click();
}

}  // namespace KeypadRig
