// Life cycle of the two shared keypads: they always exist while the main state does.
#pragma once

// True once the program closes down; from then on a destroyed keypad is not replaced.
bool KeypadsClosingDown();
// Create the number keypad (gpNumPad) or the character keypad (gpNumCharPad) when it does
// not exist; a destroyed one is replaced at once, except while the program closes down or
// after the main state is gone.
void CreateNumPad();
void CreateNumCharPad();
