// The panel's screen size as the program sees it: the primary screen's, unless a test sets the panel's own.
#pragma once

#include <QRect>

namespace PlatformScreen {

// The primary screen's geometry, or the one set below; empty without a screen.
QRect geometry();
// Tests: the panel's 1920 x 1080 on an offscreen screen of 800 x 600. An empty rectangle
// goes back to the primary screen.
void setGeometry(const QRect& geometry);

}  // namespace PlatformScreen
