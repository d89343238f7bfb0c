// The demo's taught mould: a defect region and template 0 of camera 1's mould step in a runtime folder.
#pragma once

#include <QString>

namespace DemoMould {

// Writes the region (the middle half of the picture, in display units of a screenW x
// screenH screen) into PARAM.db of `dir` and the simulated camera's clean scene as template
// 0, gives the mould step a delay of one second and a mould alarm that releases itself
// after five seconds, unless camera 1 already has regions there. False with *message set when a file could
// not be read or written; *message also says what was done.
bool write(const QString& dir, int screenW, int screenH, QString* message);

}  // namespace DemoMould
