// Main window: the shared keypads and their re-creation when one is destroyed.
#include <QCoreApplication>

#include "globals.h"
#include "mojuwizard.h"
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
        if (!MoJuWizard::KeypadsClosingDown() && gpWin)
            again();
    });
}

}  // namespace

bool MoJuWizard::KeypadsClosingDown()
{
    return !QCoreApplication::instance() || QCoreApplication::closingDown() || gisQuitting;
}

void MoJuWizard::CreateNumPad()
{
    if (!gpNumPad)
        createKeypad(gpNumPad, &MoJuWizard::CreateNumPad);
}

void MoJuWizard::CreateNumCharPad()
{
    if (!gpNumCharPad)
        createKeypad(gpNumCharPad, &MoJuWizard::CreateNumCharPad);
}
