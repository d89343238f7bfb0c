// The shared keypads and their re-creation when one is destroyed.
#include "keypads.h"

#include <QCoreApplication>

#include "mainstate.h"
#include "numberinput.h"
#include "numcharinput.h"

namespace {

bool gisQuitting = false;

void watchForQuit()
{
    static bool watching = false;
    if (watching || !QCoreApplication::instance())
        return;
    watching = true;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { gisQuitting = true; });
}

// The re-created keypad carries the same hook, so no later loss leaves the global empty.
// With the main window gone (its children, the keypads among them, die with it) nothing
// is re-created.
template <typename Pad>
void createKeypad(Pad*& global, void (*again)())
{
    watchForQuit();
    global = new Pad(nullptr);
    QObject::connect(global, &QObject::destroyed, [again] {
        if (!KeypadsClosingDown() && gpState)
            again();
    });
}

}  // namespace

bool KeypadsClosingDown()
{
    return !QCoreApplication::instance() || QCoreApplication::closingDown() || gisQuitting;
}

void CreateNumPad()
{
    if (!gpNumPad)
        createKeypad(gpNumPad, &CreateNumPad);
}

void CreateNumCharPad()
{
    if (!gpNumCharPad)
        createKeypad(gpNumCharPad, &CreateNumCharPad);
}
