// The statistics page's boxes: the shared warning and yes/no boxes of the window, or the operator prompts without one.
#pragma once

#include <QString>

namespace StatisticsPrompts {
// A modal warning; returns once it is confirmed.
void warn(const QString& text);
// A warning left on screen while the caller goes on.
void notify(const QString& text);
// A modal yes/no question; true for YES.
bool ask(const QString& text);
}  // namespace StatisticsPrompts
