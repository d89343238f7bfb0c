// Main window: the reaction to a camera view that lost its camera.
#include <QCoreApplication>
#include <QDebug>

#include "controlport.h"
#include "globals.h"
#include "lanstr.h"
#include "lostcamerawarnbox.h"
#include "mojuwizard.h"
#include "textids.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

}  // namespace

void MoJuWizard::LostCamera()
{
    qInfo() << "lsotCamera";
    // The clamp output holds the machine while the camera is away; a stopped detection
    // leaves the outputs to the operator.
    if (runState != kRunStopped && gpControlIO) {
        gpControlIO->IOSetOut(kClampOut, 1);
        gpControlIO->IOFlashOut();
    }
    // The parameter chooses between the plain warning and the box that powers off.
    const bool plainWarning = !gpWPara || gpWPara->cameraLostAlarm == 0;
    if (plainWarning) {
        if (gpWarnBox) {
            gpWarnBox->setText(LanStr(kTextCameraUnavailable));
            gpWarnBox->show();
        }
    } else if (gpLostCameraWarnBox) {
        gpLostCameraWarnBox->show();
    }
    repaint();
    QCoreApplication::processEvents();
}
