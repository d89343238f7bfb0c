// Main window: the reaction to a camera view that lost its camera, and the countdown it leaves without a judgement.
#include <QCoreApplication>
#include <QDebug>

#include "controlport.h"
#include "globals.h"
#include "lanstr.h"
#include "lostcamerawarnbox.h"
#include "mojuwizard.h"
#include "operatorprompts.h"
#include "textids.h"
#include "windowhooks.h"
#include "wizardpara.h"

void MoJuWizard::LostCamera()
{
    qInfo() << "lsotCamera";
    // The steps counting down now would judge a picture taken before the loss.
    for (int d = 0; d < kMaxDetections; ++d) {
        if (upTimers[d] && upTimers[d]->isActive())
            lostInCountdown |= 1u << d;
    }
    // The clamp output holds the machine while the camera is away, over the level the cycle
    // keeps (the pass ends the hold once every camera is back); a stopped detection leaves
    // the outputs to the operator.
    if (runState != kRunStopped && gpControlIO) {
        gpControlIO->IOHoldOn(kClampOut, true);
        gpControlIO->IOFlashOut();
    }
    // The parameter chooses between the plain warning and the box that powers off.
    const bool plainWarning = !gpWPara || gpWPara->cameraLostAlarm == 0;
    if (plainWarning) {
        ShowOperatorNote(LanStr(kTextCameraUnavailable));
    } else if (gpLostCameraWarnBox) {
        gpLostCameraWarnBox->show();
    }
    repaint();
    QCoreApplication::processEvents();
}

bool MoJuWizard::HoldForLostCamera(int d)
{
    const unsigned bit = 1u << d;
    const bool lostMeanwhile = (lostInCountdown & bit) != 0;
    lostInCountdown &= ~bit;
    if (!lostMeanwhile && CameraCheck())
        return false;
    // No judgement on that picture, so no OK: the clamp output holds the machine as it does
    // while a camera is away, and the step waits for the cameras' new pictures.
    qWarning() << "camera lost during the countdown of step" << d + 1 << "- the step waits for a new picture";
    if (gpControlIO) {
        gpControlIO->IOSetOut(kClampOut, 1);
        gpControlIO->IOFlashOut();
    }
    return true;
}
