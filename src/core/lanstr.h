// Start-up fill of the four-language text table gaLanStr and the rows it is filled from.
#pragma once

#include "globals.h"

// One entry of the text table: its number and its texts in column order (Simplified
// Chinese, English, Traditional Chinese, Japanese); a cell without text is "".
struct LanRow
{
    int entry;
    const char* cell[kLanColumns];
};

// Every entry that has text, in ascending entry order (generated table).
extern const LanRow kLanRows[];
extern const int kLanRowCount;

// Fills gaLanStr from kLanRows: entries in ascending order, each entry's four cells in
// column order. Called once at start-up before any window exists; cells of entries that
// have no row are left empty.
void InitLanStr();

// The text of an entry in the current language gLan; empty for an entry outside the table.
QString LanStr(int entry);
