// CammerWidget painting: the current picture, under the main window's pan and zoom for the current camera.
#include "cammerwidget.h"

#include <QPaintEvent>
#include <QPainter>

#include "mojuwizard.h"

void CammerWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (!curImage || !displayRgb) {
        painter.fillRect(rect(), Qt::black);
        QWidget::paintEvent(event);
        return;
    }
    ExpandToDisplay(curImage);
    if (gpWin && cameraIndex == gpWin->viewCamera) {
        painter.translate(gpWin->zoomOffsetX, gpWin->zoomOffsetY);
        painter.scale(gpWin->zoomFactor, gpWin->zoomFactor);
    }
    painter.drawImage(rect(), displayImage);
}
