// Settings screen: applying the edits (confirm), or putting the cameras back on a refusal.
#include <QDebug>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "checkbox.h"
#include "choosebox.h"
#include "combobox.h"
#include "drawroiwidget.h"
#include "editbox.h"
#include "globals.h"
#include "indexbutton.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "resstatisticsparam.h"
#include "settingstable.h"
#include "textids.h"
#include "warnbox.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

using SettingsTable::Control;
using SettingsTable::Kind;

namespace {

constexpr int kTextNoDetection = 232;
constexpr int kTextSaveQuestion = 234;
constexpr int kTextRestartTemplates = 276;
constexpr int kTextRestartIo = 309;
constexpr int kTextRestartMode = 277;

constexpr int kRowShowAll = 41;
constexpr int kRowOutputs = 53;
constexpr int kRowTestImages = 87;

void Warn(const QString& text)
{
    if (!gpWarnBox)
        return;
    gpWarnBox->setText(text);
    gpWarnBox->exec();
}

// The detection functions of which at least one must be on.
bool AnyDetectionFunction(const WizardPara& p)
{
    for (int v : {p.defectDetect, p.spotDetect, p.blackArea, p.whiteArea, p.whiteNumber, p.blackNumber, p.colorSpot,
                  p.similarity})
        if (v != 0)
            return true;
    return false;
}

// Functions whose settings only show with "Display all the parameters".
bool NeedsAllParameters(const WizardPara& p)
{
    return p.spotDetect || p.whiteArea || p.blackArea || p.whiteNumber || p.blackNumber;
}

template <class T>
bool Changed(const WizardPara& a, const WizardPara& b, T WizardPara::*m)
{
    return a.*m != b.*m;
}

CammerWidget* View(MoJuWizard* win, int camera)
{
    return win && camera >= 0 && camera < kMaxCameras ? win->cammerWidgets[camera] : nullptr;
}

// What clears the cycle of the detections below a new count: every camera's pending mask,
// state word and cycle flags, and the views' per-detection flags. The cycle's own verbs take
// this over once they exist; start-up may point Settings().clearCycle elsewhere.
void ClearCycleState(MoJuWizard* win, int count)
{
    for (int d = 0; d < count && d < kMaxDetections; ++d) {
        win->stepCameraMask[d] = 0;
        win->reCheckCount[d] = 0;
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            win->detectState[c][d] = 0;
            if (CammerWidget* view = View(win, c))
                view->detected[d] = false;
        }
    }
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) win->cycleCameraNG[c] = false;
    win->lastCycleNG = false;
    win->step = count - 1;
}

}  // namespace

void WizardParaWidget::readControls()
{
    WizardPara& bak = *gpWParaBak;
    const bool multi = modeInForce() == kModeMulti;
    const QVector<Control>& table = SettingsTable::controls();
    for (int i = 0; i < table.size(); ++i) {
        const Control& c = table[i];
        if (c.row >= 3 && c.row <= 8 && !multi)
            continue;
        if (c.row == kRowOutputs && !checkOutputNum(c.outputNumber - 1))
            continue;
        QWidget* w = controlWidgets[i];
        if (c.row == kRowTestImages) {
            if (win)
                win->saveTestImages = check(c.row)->value() != 0;
            continue;
        }
        if (c.row == kRowShowAll && NeedsAllParameters(bak))
            check(c.row)->setValue(1);
        int* f = SettingsTable::field(bak, c);
        if (!f)
            continue;
        switch (c.kind) {
            case Kind::Box:
                *f = static_cast<EditBox*>(w)->value();
                break;
            case Kind::Check:
                *f = static_cast<CheckBox*>(w)->value();
                break;
            case Kind::InvertedCheck:
                *f = static_cast<CheckBox*>(w)->value() ? 0 : -1;
                break;
            case Kind::Combo:
                *f = w->findChild<ComboBox*>()->currentIndex();
                break;
        }
    }
}

bool WizardParaWidget::noDetectionFunction() const
{
    return !AnyDetectionFunction(*gpWParaBak);
}

void WizardParaWidget::accept()
{
    if (!gpWPara || !gpWParaBak)
        return;
    if (win && win->pswLevel == kFactoryLevel)
        win->pswLevel = gpWPara->isPswUsed != 0 ? kPswOperator : kPswNone;
    readControls();
    if (noDetectionFunction()) {
        Warn(LanStr(kTextNoDetection));
        return;
    }
    if (*gpWPara == *gpWParaBak) {
        if (wdrOffPending && win)
            win->CameraSetSpeed();
        finish();
        return;
    }
    int answer = 0;
    if (gpChooseBox) {
        gpChooseBox->setText(LanStr(kTextSaveQuestion));
        answer = gpChooseBox->exec();
    }
    if (answer == 1)
        commit();
    else
        restoreCameras();
    finish();
}

void WizardParaWidget::commit()
{
    const WizardPara before = *gpWPara;
    const QString text = SettingsTable::RecordText(before, *gpWParaBak);
    applyDetectionMapping();
    if (win)
        win->InsertRecord(text, QStringLiteral("set"));
    *gpWPara = *gpWParaBak;
    if (!gpWPara->SaveDatatoFile()) {
        // The settings are in force but PARAM.db still holds the old ones: say so, or the
        // operator finds them gone after the next start.
        qWarning() << "settings: saving the system parameters to PARAM.db failed";
        Warn(LanStr(kTextSettingsNotSaved));
    }
    applyEffects(before);
}

void WizardParaWidget::applyDetectionMapping()
{
    WizardPara& bak = *gpWParaBak;
    if (modeInForce() == kModeMulti) {
        const int count = bak.detectCount;
        if (count != gDNum) {
            ResStatisticsParam::getInstance()->checkCameraDetectCount(count);
            if (win && win->drawROIWidget)
                win->drawROIWidget->ChangeDetectNum(count);
            if (win) {
                if (Settings().clearCycle)
                    Settings().clearCycle(win, count);
                else
                    ClearCycleState(win, count);
            }
        }
        gDNum = count;
        bak.deriveValues();
        bak.setStageNames();
        return;
    }
    const WizardPara::DerivedGlobals derived = bak.deriveValues();
    if (win && derived.leftMoldOnly != WizardPara::DerivedGlobals::kLeave)
        win->moldSide = derived.leftMoldOnly;
}

void WizardParaWidget::applyEffects(const WizardPara& before)
{
    const WizardPara& now = *gpWPara;
    auto changed = [&before, &now](auto member) { return Changed(before, now, member); };
    const bool motion = changed(&WizardPara::motionCorrect) || changed(&WizardPara::matchAngle);
    const bool offset = changed(&WizardPara::matchOffset);
    const bool side = changed(&WizardPara::moldSide);
    const bool retrainOnly =
        motion || offset || changed(&WizardPara::matchAccuracy) || changed(&WizardPara::zoomLayers);
    const bool sharing = changed(&WizardPara::detectProd) || changed(&WizardPara::sameParams) || side;
    const bool amplify = changed(&WizardPara::amplify);

    if (changed(&WizardPara::externalTrigger))
        for (int c = 0; c < numCamera; ++c)
            if (CammerWidget* view = View(win, c))
                view->CameraChangeTrig(now.externalTrigger != 0);
    if ((changed(&WizardPara::speed) || wdrOffPending) && win)
        win->CameraSetSpeed();

    const int mode = modeInForce();
    for (int c = 0; c < numCamera; ++c) {
        CammerWidget* view = View(win, c);
        if (!view || !view->recognizer)
            continue;
        CammerRecong* recog = view->recognizer;
        auto eachDetection = [&now](auto action) {
            for (int d = 0; d < gDNum && d < kMaxDetections; ++d)
                if (now.detectEnabled[d])
                    action(d);
        };
        if (side || offset || motion)
            eachDetection([recog](int d) {
                recog->CreateShape(d);
                recog->CreateHomoShape(d);
            });
        if (sharing) {
            const bool copies =
                now.sameParams && (mode == kModeTwoColour || mode == kModeTurntable || (mode == 0 && now.detectProd));
            if (copies && view->storeA) {
                view->CopyPara();
                view->storeA->SaveDatatoFile();
            }
            eachDetection([recog, retrainOnly](int d) {
                if (!retrainOnly)
                    recog->CreateShape(d);
                recog->VarTrain(d);
            });
        } else if (amplify) {
            eachDetection([recog](int d) { recog->VarTrain(d); });
        } else if (retrainOnly) {
            eachDetection([recog](int d) { recog->CreateShape(d); });
        }
    }

    if (changed(&WizardPara::templateNum) || changed(&WizardPara::ngRecordNum) || changed(&WizardPara::okRecordNum))
        Warn(LanStr(kTextRestartTemplates));
    if (changed(&WizardPara::ioPort) || changed(&WizardPara::colorCamera) || changed(&WizardPara::grayChannel) ||
        changed(&WizardPara::noLensOptimize))
        Warn(LanStr(kTextRestartIo));
    if (changed(&WizardPara::detectModeNext))
        Warn(LanStr(kTextRestartMode));
    if ((changed(&WizardPara::showManualSnapshot) || changed(&WizardPara::detectProd)) && win && win->indexButton)
        win->indexButton->ShowHide(0);
    if (changed(&WizardPara::days) && Settings().copierDays)
        Settings().copierDays(now.days);
    if (changed(&WizardPara::useDiskSaveImage) && Settings().copierRun)
        Settings().copierRun(now.useDiskSaveImage != 0);
}

// NO: the edit copy takes the live values again and every camera tuned during the visit gets
// them back, the mirrors and the wide dynamic range included.
void WizardParaWidget::restoreCameras()
{
    const WizardPara edited = *gpWParaBak;
    *gpWParaBak = *gpWPara;
    const WizardPara& live = *gpWPara;
    const bool wdrChanged = edited.autoShading != live.autoShading;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        CammerWidget* view = View(win, c);
        if (!view)
            continue;
        if (edited.exposeTime[c] != live.exposeTime[c] || wdrOffPending)
            view->SetExposeTime();
        if (edited.adjustPlus[c] != live.adjustPlus[c])
            view->SetAdjustPlus();
        if (edited.sharp[c] != live.sharp[c])
            view->SetSharp();
        if (edited.contrast[c] != live.contrast[c])
            view->SetContrast();
        if (edited.gamma[c] != live.gamma[c])
            view->SetGamma();
        if (edited.hMirror[c] != live.hMirror[c])
            view->SetHMirror();
        if (edited.vMirror[c] != live.vMirror[c])
            view->SetVMirror();
        if (wdrChanged)
            view->SetWDR();
        if (wdrOffPending)
            view->SetSpeed();
    }
}

void WizardParaWidget::finish()
{
    hide();
    wdrOffPending = false;
    ResStatisticsParam::getInstance()->setTimer(gpWPara->useStatistics != 0);
    if (win) {
        for (CammerWidget* view : win->cammerWidgets)
            if (view)
                view->update();
        win->showhideMscale();
    }
}
