// Settings screen: live tuning of one camera into the edit copy and the camera itself.
#include <QJsonObject>

#include "camerainterface.h"
#include "cammerwidget.h"
#include "checkbox.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "editbox.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

constexpr int kTextRestoreQuestion = 527;
constexpr int kTextCompletely = 299;
constexpr int kTextSimply = 300;
constexpr int kCameraPage = 1;
constexpr int kRowColorSpot = 37;
constexpr int kRowFactoryParams = 82;

CammerWidget* View(MoJuWizard* win, int camera)
{
    if (!win || camera < 0 || camera >= kMaxCameras)
        return nullptr;
    return win->cammerWidgets[camera];
}

}  // namespace

// Each value goes into the edit copy of the camera being tuned and to that camera only.
void WizardParaWidget::SetExposeTime(int v)
{
    gpWParaBak->exposeTime[cameraIndex] = v;
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetExposeTime();
}

void WizardParaWidget::SetAdjust(int v)
{
    gpWParaBak->adjustPlus[cameraIndex] = v;
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetAdjustPlus();
}

void WizardParaWidget::SetSharp(int v)
{
    gpWParaBak->sharp[cameraIndex] = v;
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetSharp();
}

void WizardParaWidget::SetContrast(int v)
{
    gpWParaBak->contrast[cameraIndex] = v;
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetContrast();
}

void WizardParaWidget::SetGamma(int v)
{
    gpWParaBak->gamma[cameraIndex] = v;
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetGamma();
}

void WizardParaWidget::SetAutoWDR(int state)
{
    gpWParaBak->autoShading = state;
    if (state == 0)
        wdrOffPending = true;
    for (int c = 0; c < numCamera; ++c)
        if (CammerWidget* view = View(win, c))
            view->SetWDR();
}

// A closed camera keeps only the stored value and gets it when it opens.
void WizardParaWidget::SetHMirror()
{
    gpWParaBak->hMirror[cameraIndex] = hMirrorBox->value();
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetHMirror();
}

void WizardParaWidget::SetVMirror()
{
    gpWParaBak->vMirror[cameraIndex] = vMirrorBox->value();
    if (CammerWidget* view = View(win, cameraIndex))
        view->SetVMirror();
}

void WizardParaWidget::SlotChangeCamera()
{
    if (numCamera <= 1 || !win)
        return;
    cameraIndex = (cameraIndex + 1) % numCamera;
    win->viewCamera = cameraIndex;
    win->ChangeCammer();
    // The value boxes signal their change, so the new camera gets the edit copy's values;
    // the mirror boxes only show theirs.
    const WizardPara& bak = *gpWParaBak;
    const int c = cameraIndex;
    exposureBox->setValue(bak.exposeTime[c]);
    gainBox->setValue(bak.adjustPlus[c]);
    clarityBox->setValue(bak.sharp[c]);
    truthBox->setValue(bak.contrast[c]);
    gammaBox->setValue(bak.gamma[c]);
    hMirrorBox->setValue(bak.hMirror[c]);
    vMirrorBox->setValue(bak.vMirror[c]);
    update();
}

void WizardParaWidget::SlotRestoreDefaultSettings()
{
    if (!gpChooseBox)
        return;
    gpChooseBox->setText(LanStr(kTextRestoreQuestion));
    if (gpChooseBox->exec() != 1)
        return;
    if (CammerWidget* view = View(win, cameraIndex))
        view->RestoreDefaultSettings();
    const WizardPara& bak = *gpWParaBak;
    const int c = cameraIndex;
    for (const auto& [b, v] : {std::pair<EditBox*, int>{exposureBox, bak.exposeTime[c]},
                               {gainBox, bak.adjustPlus[c]},
                               {clarityBox, bak.sharp[c]},
                               {truthBox, bak.contrast[c]},
                               {gammaBox, bak.gamma[c]}}) {
        const QSignalBlocker block(b);
        b->setValue(v);
    }
    if (EditBox* speed = box(22)) {
        const QSignalBlocker block(speed);
        speed->setValue(bak.speed);
    }
    hMirrorBox->setValue(bak.hMirror[c]);
    vMirrorBox->setValue(bak.vMirror[c]);
}

void WizardParaWidget::SlotChangeShowMode()
{
    simpleDisplay = !simpleDisplay;
    fitButton(showModeButton, LanStr(simpleDisplay ? kTextCompletely : kTextSimply));
    DoChangePage();
    // The colour-spot box is shown only here, on the way back to the full display; the next
    // page change hides it again.
    if (!simpleDisplay && page == kCameraPage && check(kRowFactoryParams)->isChecked()) {
        check(kRowColorSpot)->show();
        layoutColumns();
    }
    if (win)
        win->update();
}

void WizardParaWidget::SlotTuneCamera()
{
    hide();
    if (win)
        if (QWidget* numbering = win->PageByClass("WidgetChangeCamera"))
            numbering->show();
}

void WizardParaWidget::SlotAutoExposeTimeTimeout()
{
    autoExposeTimer->stop();
    CammerWidget* view = View(win, cameraIndex);
    if (!view || !view->camera)
        return;
    const QJsonObject values = view->camera->getParams(0);
    if (values.contains(QStringLiteral("ExposureTime"))) {
        gpWParaBak->exposeTime[cameraIndex] = int(values.value(QStringLiteral("ExposureTime")).toDouble() / 1000);
        const QSignalBlocker block(exposureBox);
        exposureBox->setValue(gpWParaBak->exposeTime[cameraIndex]);
    }
    if (values.contains(QStringLiteral("Gain"))) {
        gpWParaBak->adjustPlus[cameraIndex] = values.value(QStringLiteral("Gain")).toInt();
        const QSignalBlocker block(gainBox);
        gainBox->setValue(gpWParaBak->adjustPlus[cameraIndex]);
    }
    update();
}
