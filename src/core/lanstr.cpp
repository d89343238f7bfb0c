// Start-up fill of the four-language text table.
#include "lanstr.h"

#include <QString>

void InitLanStr()
{
    for (int r = 0; r < kLanRowCount; ++r) {
        const LanRow& row = kLanRows[r];
        for (int lan = 0; lan < kLanColumns; ++lan)
            gaLanStr[row.entry * kLanColumns + lan] = QString::fromUtf8(row.cell[lan]);
    }
}

QString LanStr(int entry)
{
    if (entry < 0 || entry >= kLanEntries || gLan < 0 || gLan >= kLanColumns)
        return QString();
    return gaLanStr[entry * kLanColumns + gLan];
}
