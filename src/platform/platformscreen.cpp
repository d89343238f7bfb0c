// The screen size seam: the primary screen's geometry or a fixed one.
#include "platformscreen.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
QRect gFixedGeometry;
}  // namespace

namespace PlatformScreen {

QRect geometry()
{
    if (!gFixedGeometry.isEmpty())
        return gFixedGeometry;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

void setGeometry(const QRect& geometry)
{
    gFixedGeometry = geometry;
}

}  // namespace PlatformScreen
