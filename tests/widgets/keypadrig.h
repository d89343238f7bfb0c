// Test helpers for the line edits and keypads: open a keypad as a tap does, press keys,
// and the stage the keypad tests run on.
#pragma once

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>

#include "edit.h"
#include "globals.h"
#include "keypads.h"
#include "lanstr.h"
#include "mainstate.h"
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
    CreateNumPad();
    CreateNumCharPad();
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

// The main state with both keypads for the whole test, in English, and a full-screen
// page for each test function to put its edits on. The state is a plain one, or a light
// main window a test hands in where it needs the window's slots.
struct Stage
{
    MainState* state = nullptr;
    QWidget* screen = nullptr;

    void start(MainState* given = nullptr)
    {
        InitLanStr();
        gLan = 1;
        state = given ? given : new MainState;
        ensureKeypads();
    }

    void openScreen()
    {
        screen = new QWidget;
        screen->setGeometry(0, 0, 1920, 1080);
        screen->show();
    }

    // The keypads were re-parented into the page: take them out before it goes.
    void closeScreen()
    {
        if (gpNumPad)
            gpNumPad->setParent(nullptr);
        if (gpNumCharPad)
            gpNumCharPad->setParent(nullptr);
        state->curInputEdit = nullptr;
        delete screen;
        screen = nullptr;
    }

    Edit* editAt(int type, QWidget* parent, const QRect& geometry)
    {
        auto* e = new Edit(type, parent, 1);
        e->setGeometry(geometry);
        return e;
    }
};

// The test object of the keypad tests: the stage for the whole run and a fresh page for
// each test function. A test source deriving from it includes "moc_keypadrig.cpp".
class StageTest : public QObject
{
    Q_OBJECT

protected:
    Stage stage;
    // The state the stage starts on; null for a plain one.
    virtual MainState* makeState() { return nullptr; }

private slots:
    void initTestCase() { stage.start(makeState()); }
    void init() { stage.openScreen(); }
    void cleanup() { stage.closeScreen(); }
    void cleanupTestCase() { delete stage.state; }
};

}  // namespace KeypadRig
