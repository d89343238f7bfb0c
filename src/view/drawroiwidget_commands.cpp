// DrawROIWidget: drawing-mode buttons, region deletion, and the alarm answers not-detect and re-detect.
#include <algorithm>
#include <cstring>

#include <QVector>

#include "cammersingleton.h"
#include "cammerwidget.h"
#include "colorbutton.h"
#include "combobox.h"
#include "drawroiwidget.h"
#include "drawroiwidget_p.h"
#include "globals.h"
#include "recordsink.h"
#include "windowhooks.h"

using namespace teach;

void DrawROIWidget::SetIdleCaptions()
{
    rectButton->setText(LanStr(kTextDrawRect));
    circleButton->setText(LanStr(kTextDrawCircle));
    polygonButton->setText(LanStr(kTextDrawPolygon));
    handButton->setText(LanStr(kTextDrawGesture));
}

void DrawROIWidget::StartDrawMode(CammerWidget* v, int mode)
{
    gpState->copyMode = false;
    v->DeselectROI();
    v->ShowHideROIPara();
    gpState->drawMode = mode;
}

// ---- drawing buttons ----

void DrawROIWidget::ToggleShapeTool(int mode, ColorButton* button, int idleText, const char* endText)
{
    CammerWidget* v = SelectedView();
    if (!v || gSource != kSourceTemplate)
        return;
    if (!LivePara().continuationArea) {
        StartDrawMode(v, mode);
        polygonButton->setText(LanStr(kTextDrawPolygon));
    } else if (gpState->drawMode == mode) {
        gpState->drawMode = kDrawNone;
        button->setText(LanStr(idleText));
    } else {
        StartDrawMode(v, mode);
        SetIdleCaptions();
        button->setText(QString::fromUtf8(endText));
    }
    setCheckable();
}

void DrawROIWidget::SlotDrawRect()
{
    ToggleShapeTool(kDrawRect, rectButton, kTextDrawRect, kEndRect);
}

void DrawROIWidget::SlotDrawCircle()
{
    ToggleShapeTool(kDrawCircle, circleButton, kTextDrawCircle, kEndCircle);
}

void DrawROIWidget::SlotDrawHand()
{
    CammerWidget* v = SelectedView();
    if (!v || gSource != kSourceTemplate)
        return;
    if (!LivePara().continuationArea) {
        gpState->handDraw = true;
        StartDrawMode(v, kDrawPolygon);
        polygonButton->setText(LanStr(kTextDrawPolygon));
    } else if (gpState->drawMode == kDrawPolygon && gpState->handDraw) {
        gpState->handDraw = false;
        gpState->drawMode = kDrawNone;
        handButton->setText(LanStr(kTextDrawGesture));
    } else {
        gpState->handDraw = true;
        v->drawPointCount = 0;
        StartDrawMode(v, kDrawPolygon);
        SetIdleCaptions();
        handButton->setText(QString::fromUtf8(kEndHand));
    }
    setCheckable();
}

void DrawROIWidget::SlotDrawPloygn()
{
    CammerWidget* v = SelectedView();
    if (!v || gSource != kSourceTemplate)
        return;
    gpState->copyMode = false;
    if (!LivePara().continuationArea) {
        gpState->handDraw = false;
        if (gpState->drawMode != kDrawPolygon) {
            StartDrawMode(v, kDrawPolygon);
            polygonButton->setText(LanStr(kTextEndPolygon));
        } else {
            v->SavePolygon();
            if (gpState->drawMode == kDrawNone)
                polygonButton->setText(LanStr(kTextDrawPolygon));
            v->update();
        }
    } else if (gpState->drawMode != kDrawPolygon || gpState->handDraw) {
        gpState->handDraw = false;
        v->drawPointCount = 0;
        StartDrawMode(v, kDrawPolygon);
        SetIdleCaptions();
        polygonButton->setText(LanStr(kTextEndPolygon));
    } else {
        const bool drawing = v->polygonActive;
        v->SavePolygon();
        if (drawing) {
            // Ready for the next polygon.
            v->polygonActive = false;
            v->touchState = 0;
            v->ShowHideROIPara();
            gpState->drawMode = kDrawPolygon;
            polygonButton->setText(LanStr(kTextEndPolygon));
        } else {
            gpState->drawMode = kDrawNone;
            polygonButton->setText(LanStr(kTextDrawPolygon));
        }
        rectButton->setText(LanStr(kTextDrawRect));
        circleButton->setText(LanStr(kTextDrawCircle));
        handButton->setText(LanStr(kTextDrawGesture));
        v->update();
    }
    setCheckable();
}

void DrawROIWidget::SlotCopyArea()
{
    if (!SelectedView() || gSource != kSourceTemplate)
        return;
    if (LivePara().continuousCopy && gpState->copyMode) {
        gpState->copyMode = false;
        copyButton->setText(LanStr(kTextCopyCurrent));
    } else {
        gpState->copyMode = true;
        gpState->drawMode = kDrawNone;
        SetIdleCaptions();
        if (LivePara().continuousCopy)
            copyButton->setText(QString::fromUtf8(kEndCopy));
    }
    setCheckable();
}

void DrawROIWidget::startDrawPloygn()
{
    polygonButton->setText(LanStr(kTextEndCurrentPolygon));
    FitCaptions();
}

void DrawROIWidget::setCheckable()
{
    const WizardPara& p = LivePara();
    ColorButton* const drawing[] = {rectButton, circleButton, polygonButton, handButton};
    for (ColorButton* b : drawing) {
        b->setCheckable(p.continuationArea != 0);
        b->setChecked(false);
    }
    copyButton->setCheckable(p.continuousCopy != 0);
    copyButton->setChecked(false);
    FitCaptions();
    ColorButton* const all[] = {rectButton, circleButton,    polygonButton,  handButton,
                                copyButton, deleteRoiButton, deleteAllButton};
    // Leaving toggle operation must not keep buttons a running mode had disabled.
    for (ColorButton* b : all) b->setEnabled(true);
    if (!p.continuationArea && !p.continuousCopy)
        return;
    const int mode = gpState ? gpState->drawMode : kDrawNone;
    ColorButton* only = nullptr;
    if (mode != kDrawNone && p.continuationArea) {
        if (mode == kDrawRect)
            only = rectButton;
        else if (mode == kDrawCircle)
            only = circleButton;
        else if (mode == kDrawPolygon)
            only = gpState->handDraw ? handButton : polygonButton;
    } else if (gpState && gpState->copyMode && p.continuousCopy) {
        only = copyButton;
    }
    if (!only)
        return;
    for (ColorButton* b : all) b->setEnabled(false);
    only->setEnabled(true);
    only->setChecked(true);
}

// ---- deleting ----

void DrawROIWidget::SlotDeleteROI()
{
    CammerWidget* v = SelectedView();
    if (!v || gSource != kSourceTemplate)
        return;
    gpState->copyMode = false;
    if (v->curRoi == -1) {
        WarnOperator(LanStr(kTextNoAreaSelected));
        return;
    }
    if (AskOperator(LanStr(kTextSureDeleteArea)) && SelectedView() == v && v->curRoi >= 0) {
        v->DeleteROI(v->curRoi);
        v->setCurRoi(-1);
        v->ShowHideROIPara();
    }
    if (parentWidget())
        parentWidget()->update();
}

void DrawROIWidget::SlotDeleteAllROI()
{
    CammerWidget* v = SelectedView();
    if (!v || gSource != kSourceTemplate)
        return;
    gpState->copyMode = false;
    const int d = gpState->curDetect;
    if (AskOperator(LanStr(kTextSureDeleteAllAreas)) && d >= 0 && d < kMaxDetections && v->storeB) {
        v->storeB->roiNum[d] = 0;
        v->setCurRoi(-1);
        v->ShowHideROIPara();
        if (v->ignoreMask[d])
            std::memset(v->ignoreMask[d], 0, size_t(v->imagePixels));
        v->SaveIgnorePoint(d);
    }
    if (parentWidget())
        parentWidget()->update();
}

// ---- alarm answers ----

void DrawROIWidget::SlotNoCheckCur()
{
    if (!gpState)
        return;
    const WizardPara& p = LivePara();
    const int s = gpState->step;
    const AskedOn asked = Asking();
    if (p.noDetectPswProtect && (!PasswordGranted() || !StillOn(asked)))
        return;
    if (!gisSafeDoorOpen && p.doorLiftsAlarm) {
        WarnOperator(LanStr(kTextOpenSafetyDoor));
        return;
    }
    if (CammerWidget* v = SelectedView()) {
        const int c = gpState->viewCamera;
        if (v->cameraOk && gpState->lastCycleNG) {
            WarnOperator(LanStr(kTextSwitchToAlarmCamera));
            return;
        }
        if (!AskOperator(LanStr(kTextSureNoDetectCamera).arg(c + 1)) || !StillOn(asked))
            return;
        if (s >= 0 && s < kMaxDetections) {
            v->detected[s] = true;
            if (gpState->detectState[c][s] == kStateAlarmWaits)
                gpState->detectState[c][s] = kStateClearedNotDetect;
        }
        RecordOperation(LanStr(kTextCameraNotDetected).arg(c + 1), "operate");
        SlotReCheck();
        return;
    }
    if (!AskOperator(LanStr(kTextSureNoDetectAll)) || !StillOn(asked))
        return;
    NotDetectStep("operate");
}

void DrawROIWidget::notCheckcur()
{
    if (gpState)
        NotDetectStep("run");
}

void DrawROIWidget::NotDetectStep(const char* recordType)
{
    SlotSaveData();
    gSource = kSourceDetecting;
    Call(Teaching().clearStepAlarm);
    RecordOperation(LanStr(kTextAllNotDetected), recordType);
}

void DrawROIWidget::SlotReCheck()
{
    if (!gpState)
        return;
    const int s = gpState->step;
    const int c0 = gpState->viewCamera;
    SlotSaveData();
    Call(Teaching().redetectStep);
    if (s < 0 || s >= kMaxDetections)
        return;

    // While the alarm holds the page stays open on its source; on the live picture it moves
    // on to the next camera still NG.
    if (gpState->pageState == kPageAlarm) {
        if (c0 >= 0 && c0 < numCamera && gSource == kSourceLiveImage) {
            int next = c0;
            for (int i = 0; i < numCamera; ++i) {
                const int c = (c0 + i) % numCamera;
                if (View(c) && !View(c)->cameraOk) {
                    next = c;
                    break;
                }
            }
            gpState->viewCamera = next;
            Call(Teaching().changeCammer);
            const QSignalBlocker block(cameraCombo);
            cameraCombo->setCurrentIndex(next);
        }
        return;
    }
    gSource = kSourceDetecting;
}
