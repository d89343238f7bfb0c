// Judgement of a detection step over all cameras, the NG alarm and the step advance.
#include <QMutexLocker>

#include "cammerrecongnize.h"
#include "cammerwidget.h"
#include "constructionhooks.h"
#include "drawroiwidget.h"
#include "indexbutton.h"
#include "ledlcd.h"
#include "mojuwizard.h"
#include "mojuwizard_cycleparams.h"
#include "textids.h"
#include "tnr_netmn.h"
#include "viewwatch2vrq.h"
#include "warnbox.h"

using namespace cycle;

namespace {

constexpr int kBlinkMs = 1000;
constexpr int kResetAlarmMs = 1000;

void AtomicAdd(int& counter)
{
    __atomic_add_fetch(&counter, 1, __ATOMIC_SEQ_CST);
}

void HandOver(int camera, int k, int which)
{
    const int slot = (camera * kMaxDetections + k) * 2 + which;
    if (slot < 0 || slot >= kFailSlotCount)
        return;
    QMutexLocker lock(pMutexSaveFail);
    gisSaveFail[slot] = true;
}

}  // namespace

void MoJuWizard::CheckNG()
{
    CheckNG(false);
}

// What one judgement reads and decides, handed from step to step.
struct MoJuWizard::Judgement
{
    bool clear = false;
    int mode = kModeStandard;
    int s = 0;  // the step judged
    int P = 0;  // its result slot
    int L = 1;  // the slot of the cycle's last step
    bool pulses = false;
    bool prodNoAlarm = false;
    bool noEjectorCtrl = false;
    bool prodNoEjector = false;
    bool mouldNoAlarm = false;
    int ejectorP = 0;
    int clampP = 0;
    int redetectsLeft = 0;

    bool ng[kMaxCameras] = {};
    bool NG = false;
    bool alarm = false;
    // Pulses that end outputs of this judgement, timed from their publication.
    bool stepOutputPulse = false;
    bool ejectorPulse = false;
    bool clampPulse = false;
    bool rejectPulse = false;
    bool thimblePulse = false;
    // An NG that does not stop the machine, and what of the shown result and counting follow.
    bool noStopNG = false;
    bool show = false;
    bool count = false;
};

void MoJuWizard::CheckNG(bool clear)
{
    // 1. Right after a re-sampling the teaching page owns the pictures.
    if (gFromTrain)
        return;
    Judgement j = BeginJudgement(clear);

    // 2. Cameras.
    JudgeCameras(j);
    // 3. Mould step: a pending temperature alarm counts as NG.
    CountTemperatureAlarm(j);

    // The outputs of the whole judgement are decided first and published once, below: a
    // level set here and taken back a few lines later (an OK mould that reaches the
    // production limit) must never reach the board.
    // 4.-5. Outputs. Pulses that end outputs of this judgement are timed from their publication.
    SetStepOutputs(j);
    // 6. Alarm.
    if (j.alarm && pageState != kPageAlarm) {
        if (j.redetectsLeft != 0) {
            if (j.mode != kModeMulti)
                reCheckPending = 1;
        } else {
            RaiseAlarm(j.ng);
        }
    }
    // 7.-9. Which of the shown result, counting and pictures follow.
    DecideShowAndCount(j);
    if (j.show && pageState != kPageAlarm && pageState != kPageTeaching && !PageShown(kSettingsPageClass))
        ShowResult(j);
    // 11.-14. Outputs of a counted judgement.
    if (j.count)
        SetCountedOutputs(j);

    // The one publication of this judgement's outputs.
    PublishJudgement(j);

    // 10. Counting.
    if (j.count && !j.clear && reTrainState == 0)
        CountJudgement(j);
    // 15.-16. Pictures of the step and their hand-off to the image writer.
    KeepStepPictures(j);
    // 17. A finished alarm is reported to the companion peer.
    ViewWatch2VRQ::ofManager()->sndAlarmFinishTiming();
    reTrainState = 0;
}

MoJuWizard::Judgement MoJuWizard::BeginJudgement(bool clear) const
{
    Judgement j;
    j.clear = clear;
    j.mode = Mode();
    j.s = step;
    j.P = ResultSlot(j.mode, j.s);
    j.L = j.mode == kModeMulti ? gDNum - 1 : 1;
    j.pulses = Par(&WizardPara::okNgPulses) != 0;                  // system5 9
    j.prodNoAlarm = Par(&WizardPara::ejectorPulseNoAlarm) != 0;    // system2 7
    j.noEjectorCtrl = Par(&WizardPara::noEjectorCtrlInProd) != 0;  // system2 9
    j.prodNoEjector = Par(&WizardPara::prodNgNoEjector) != 0;      // system9 15
    j.mouldNoAlarm = Par(&WizardPara::moldNgPulse) != 0;           // system14 1
    j.ejectorP = Par(&WizardPara::ejectorPulse);                   // system2 5
    j.clampP = Par(&WizardPara::clampPulse);                       // system2 6
    j.redetectsLeft = j.P >= 0 && j.P < kMaxDetections ? reCheckCount[j.P] : 0;
    j.clampPulse = j.pulses && j.clampP > 0;
    return j;
}

void MoJuWizard::JudgeCameras(Judgement& j)
{
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        CammerWidget* v = cammerWidgets[c];
        if (!v || v->cameraOk)
            continue;
        j.ng[c] = j.NG = true;
        if (v->timerShowAlarm)
            v->timerShowAlarm->start(kBlinkMs);
    }
    lastCycleNG = j.NG;
}

void MoJuWizard::CountTemperatureAlarm(Judgement& j)
{
    if (j.P == 1) {
        if (Par(&WizardPara::shieldPin) != 0 && !j.NG)  // system13 20
            trigSkipCount = 0;
        if (!reCheckJudge && gisTempAlarm)
            j.NG = true;
    }
    reCheckJudge = false;
}

void MoJuWizard::SetStepOutputs(Judgement& j)
{
    if (j.pulses) {
        SetOut(kClampOut, j.NG ? 1 : 0);
        SetOut(kEjectorOut, j.NG ? 0 : 1);
        SetOut(kAlarmOut, j.NG ? 1 : 0);
        return;
    }
    if (j.mode == kModeMulti) {
        SetStageOutputs(j);
    } else if (j.P == 0) {
        if (!j.NG) {
            if (j.prodNoEjector) {
                SetOut(kEjectorOut, 1);
                j.ejectorPulse = true;
            } else if (!j.noEjectorCtrl && !j.prodNoAlarm) {
                SetOut(kEjectorOut, 0);
            }
        } else if (j.prodNoEjector) {
            j.ejectorPulse = true;
        } else if (!j.prodNoAlarm) {
            j.alarm = true;
        }
    } else if (j.P == 1) {
        if (!j.NG) {
            if (!gisReTrain && !j.mouldNoAlarm)
                SetOut(kClampOut, 0);
        } else if (!j.mouldNoAlarm) {
            j.alarm = true;
        }
    }
    reCheckPending = 0;
}

// Machine mode 3: the step's own output by its group's cut mode.
void MoJuWizard::SetStageOutputs(Judgement& j)
{
    const int k = multiDetectIndex;
    const int out = StepOutput(k);
    const int cut = GroupCutMode(StepGroup(k));
    if (!j.NG) {
        SetOut(out, 0);
        if ((cut == 3 || cut == 4) && j.clampP > 0 && out >= 0) {
            sysFunc4Pending = true;
            sysFunc4Output = out;
            j.stepOutputPulse = true;
        }
        NextStepTrigger(k);
    } else {
        if (cut == 5)
            SetOut(out, 1);
        j.alarm = true;
    }
}

void MoJuWizard::DecideShowAndCount(Judgement& j)
{
    const int P = j.P;
    j.noStopNG = j.NG && (j.pulses || (P == 0 && (j.prodNoAlarm || j.prodNoEjector)) || (P == 1 && j.mouldNoAlarm));
    if (j.NG) {
        if (j.noStopNG) {
            j.show = true;
            j.count = !(j.pulses && j.redetectsLeft != 0);
        } else {
            j.count = j.redetectsLeft == 0;
        }
    } else if (pageState == kPageAlarm) {
        if (P == 0 && j.prodNoAlarm) {
            j.count = true;
        } else {
            // 8. The OK re-check ends the alarm.
            EndAlarmOnOkRecheck(j);
            j.show = j.count = true;
        }
    } else {
        j.show = j.count = true;
    }
}

// The peer's alarm state becomes "finish pending" and the teaching page leaves the alarm page.
void MoJuWizard::EndAlarmOnOkRecheck(const Judgement& j)
{
    ViewWatch2VRQ::ofManager()->alarmState = ViewWatch2VRQ::kAlarmFinishPending;
    if (drawROIWidget)
        drawROIWidget->Restart();
    EndTimedRelease();
    if (j.mode == kModeMulti) {
        SetOut(kAlarmOut, 0);
    } else if (j.P == 1) {
        SetOut(kClampOut, 0);
        SetOut(kAlarmOut, 0);
    } else if (j.P == 0) {
        SetOut(kEjectorOut, 0);
        SetOut(kAlarmOut, 0);
    }
    pageState = kPageMain;
    ResetRun();
    runState = kRunDetecting;
    if (j.P == 0 && j.mode == kModeStandard && Par(&WizardPara::semiAuto) == 0) {  // system1 1
        pendingInput = 1;
        restartStep = 1;
    }
}

void MoJuWizard::ShowResult(const Judgement& j)
{
    pageState = kPageResult;
    if (showTimer)
        showTimer->start(kShowResultMs);
    shownStep = j.s;
    update();
    const bool pulseNG = j.NG && j.pulses;
    LEDOnOff(kLedResult, pulseNG ? 0 : 1);
    LEDOnOff(kLedAlarm, pulseNG ? 1 : 0);
    if (j.P == 1 && !j.NG && StepEnabled(0) && Par(&WizardPara::cutEjectorOnClamp) != 0 && !j.prodNoAlarm &&
        !j.noEjectorCtrl)  // system2 1
        SetOut(kEjectorOut, 1);
}

void MoJuWizard::SetCountedOutputs(Judgement& j)
{
    const bool NG = j.NG;
    const int P = j.P;
    // 11. Product NG without alarm: reject groups and the ejector pulse.
    if (NG && P == 0 && j.prodNoAlarm) {
        for (int g = 0; g < kRejectGroups; ++g) {
            if (rejectGroupNG[g])
                SetOut(kFirstRejectOut + g, 1);
        }
        if (!j.noEjectorCtrl)
            SetOut(kEjectorOut, 1);
        j.rejectPulse = j.ejectorP > 0;
        if (j.mode == kModeMulti)
            NextStepTrigger(multiDetectIndex);
    }
    // 12. Mould NG without alarm: clamp and alarm pulse.
    if (NG && P == 1 && j.mouldNoAlarm) {
        SetOut(kClampOut, 1);
        SetOut(kAlarmOut, 1);
        j.clampPulse = true;
    }
    // 13. Timed cuts after an OK.
    if (!NG && P == 0 && Par(&WizardPara::cutEjectorTimedProdOk) != 0)  // system8 18
        j.thimblePulse = true;
    if (!NG && P == 1 && Par(&WizardPara::cutClampTimedMoldOk) != 0)  // system2 8
        j.clampPulse = true;
    // 14. Production-count alarm after an OK mould: the clamp output stays on.
    const int limit = Par(&WizardPara::okMoldNum);  // system14 3
    if (!NG && P == 1 && limit != 0) {
        if (reTrainState == 1) {
            productCount = 0;
        } else if (reTrainState == 0 && !j.clear && ++productCount >= limit) {
            SetOut(kClampOut, 1);
            SetOut(kAlarmOut, 1);
            productAlarm = true;
        }
    }
}

void MoJuWizard::PublishJudgement(const Judgement& j)
{
    Flush();
    if (j.stepOutputPulse)
        StartPulse(sysFunc4OutputTimer, j.clampP);
    if (j.ejectorPulse)
        StartPulse(outputsOffTimer, j.ejectorP);
    if (j.clampPulse)
        StartPulse(notAllowCloseTimer, j.clampP);
    if (j.rejectPulse)
        StartPulse(outNGTimer, j.ejectorP);
    if (j.thimblePulse)
        StartPulse(notAllowThimbleTimer, j.ejectorP);
}

void MoJuWizard::CountJudgement(const Judgement& j)
{
    if (Par(&WizardPara::useStatistics) != 0)  // system6 10
        AddStatistics();
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        AtomicAdd(gAllNum[c]);
        if (j.ng[c]) {
            AtomicAdd(gFailNum[c]);
            cycleCameraNG[c] = true;
        }
    }
    if (j.NG)
        AtomicAdd(gSyncNGNum);
    if (j.P != j.L)
        return;
    bool anyNG = false;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        AtomicAdd(gAllCycleNum[c]);
        if (cycleCameraNG[c]) {
            AtomicAdd(gFailCycleNum[c]);
            anyNG = true;
        }
    }
    if (anyNG)
        AtomicAdd(gSyncNGCycleNum);
    TNR_NETMN::getInstance()->finish_PeriodRecord();
    CountWrite();
}

void MoJuWizard::KeepStepPictures(const Judgement& j)
{
    // 15. Pictures of the step.
    if (j.s >= 0 && j.s < kMaxDetections) {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c)
            HandleDetectState(c, j.s, j.ng[c], j.NG && j.redetectsLeft != 0 && !j.noStopNG);
    }
    // 16. Hand-off to the image writer; an alarmed NG keeps its picture for the operator.
    if (j.NG && !j.noStopNG)
        return;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        for (int k = 0; k < gDNum && k < kMaxDetections; ++k) {
            int& code = detectState[c][k];
            if (code == kStateOkToWrite || code == kStateBothToWrite)
                HandOver(c, k, 1);
            if (code == kStateNgToWrite || code == kStateBothToWrite)
                HandOver(c, k, 0);
            if (code == kStateOkToWrite || code == kStateNgToWrite || code == kStateBothToWrite)
                code = kStateNone;
        }
    }
}

void MoJuWizard::HandleDetectState(int c, int k, bool cameraNG, bool redetecting)
{
    CammerWidget* v = cammerWidgets[c];
    int& code = detectState[c][k];
    const int slot = ResultSlot(Mode(), k);
    const bool noStop = Par(&WizardPara::okNgPulses) != 0 ||
                        (slot == 0 && Par(&WizardPara::ejectorPulseNoAlarm) != 0) ||
                        (slot == 1 && Par(&WizardPara::moldNgPulse) != 0);  // system5 9, system2 7, system14 1
    switch (code) {
        case kStateJudged:
            if (!cameraNG) {
                if (gPicNumOK > 0 && v) {
                    v->SaveFailImage(k, 1);
                    code = kStateOkToWrite;
                } else {
                    code = kStateNone;
                }
            } else if (!redetecting) {
                if (gPicNumNG > 0 && v) {
                    v->SaveFailImage(k, 0);
                    code = noStop ? kStateNgToWrite : kStateAlarmWaits;
                } else {
                    code = kStateNone;
                }
            }
            break;
        case kStateClearedNotDetect:
        case kStateClearedByTemplate:
        case kStateClearedMouldDetect:
            ViewWatch2VRQ::ofManager()->addClearMethod(c, code);
            if (v && gPicNumNG > 0)
                v->UpdateFailImage(k, 0);
            code = gPicNumNG > 0 ? kStateNgToWrite : kStateNone;
            break;
        case kStateRedetect:
            if (cameraNG) {
                code = kStateAlarmWaits;
            } else {
                if (v && gPicNumNG > 0)
                    v->UpdateFailImage(k, 0);
                if (v && gPicNumOK > 0) {
                    v->SaveFailImage(k, 1);
                    v->UpdateFailImage(k, 1);
                }
                code = kStateBothToWrite;
            }
            break;
        default:
            break;
    }
}

void MoJuWizard::RaiseAlarm(bool ng[])
{
    const int mode = Mode();
    ViewWatch2VRQ::ofManager()->sndAlarmStartTiming(step);
    // Outputs set here are published by the judgement with the rest of its outputs.
    if (autoRun && mode != kModeMulti)
        SetOut(kClampOut, 1);
    WakeScreen();
    SetStopDetect();
    pageState = kPageAlarm;
    viewCamera = numCamera;
    ChangeCammer();
    for (const char* page : {"HelpWidget", kSettingsPageClass}) {
        if (QWidget* w = PageByClass(page))
            w->hide();
    }
    if (indexButton)
        indexButton->hide();
    if (drawROIWidget)
        drawROIWidget->Reset(false);
    reCheckPending = 0;
    LEDOnOff(kLedResult, 0);
    LEDOnOff(kLedAlarm, 1);
    const int P = ResultSlot(mode, step);
    if (P == 1 && Par(&WizardPara::moldNgTimedRelease) != 0) {  // system9 11
        SetOut(kOutput4, 1);
        timedReleaseOutput = true;
        StartPulse(clearNGAlarmTimer, Par(&WizardPara::output4Pulse));  // system9 12
    }
    QString text;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (ng[c])
            text += LanStr(kTextCameraInList).arg(c + 1);
    }
    text.chop(1);
    InsertRecord(text + LanStr(kTextAlarm), "run");
}

// Machine mode 3: after step k, the next step with a trigger is started again by the same
// input when it shares it.
void MoJuWizard::NextStepTrigger(int k)
{
    int next = -1;
    for (int j = k + 1; j < gDNum && j < kMaxDetections; ++j) {
        if (StepTrigger(j) != -1) {
            next = j;
            break;
        }
    }
    if (next >= 0 && StepTrigger(next) == StepTrigger(k)) {
        reTrigInput = StepTrigger(next);
        pendingInput = -1;
    } else {
        reTrigInput = -1;
        if (pendingInput != -1) {
            reTrigInput = pendingInput;
            pendingInput = -1;
        }
    }
}

void MoJuWizard::TimerShow()
{
    if (showTimer)
        showTimer->stop();
    const int mode = Mode();
    if (pageState != kPageAlarm) {
        LEDOnOff(kLedResult, 1);
        LEDOnOff(kLedAlarm, 1);
        if (reCheckPending == 0 && shownStep == step && gDNum > 0) {
            const int next = (step + 1) % gDNum;
            if (mode == kModeMulti) {
                // With no enabled detection the step stays where it is.
                for (int i = 0; i < gDNum; ++i) {
                    const int j = (next + i) % gDNum;
                    if (StepEnabled(j)) {
                        step = j;
                        break;
                    }
                }
            } else {
                step = next;
                if ((step & 1) == 0 && Par(&WizardPara::detectProd) == 0)  // system1 2
                    step = (step + 1) % gDNum;
                if (TwoSidedMode(mode)) {
                    const int side = Par(&WizardPara::moldSide);  // numFailDetect 2
                    if (side == 0)
                        step = step % 2;
                    else if (side == 1)
                        step = step % 2 + 2;
                }
            }
        }
        cyclePhase = 3;
        if (pageState == kPageResult) {
            pageState = kPageMain;
            update();
        }
    } else {
        cyclePhase = 3;
    }

    if (gisReTrain) {
        gisReTrain = false;
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            CammerWidget* v = cammerWidgets[c];
            if (!v || !v->recognizer)
                continue;
            for (int d = 0; d < gDNum && d < kMaxDetections; ++d) {
                if (!StepEnabled(d))
                    continue;
                v->recognizer->CreateShape(d);
                v->recognizer->CreateHomoShape(d);
                v->recognizer->VarTrain(d);
            }
        }
    } else if (gisReShape) {
        gisReShape = false;
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            CammerWidget* v = cammerWidgets[c];
            if (!v || !v->recognizer)
                continue;
            v->recognizer->CreateShape(1);
            v->recognizer->CreateHomoShape(1);
            v->recognizer->VarTrain(1);
        }
    }
}

void MoJuWizard::CheckTemp()
{
    if (!gisTempAlarm)
        return;
    SetOut(kAlarmOut, 1);
    Flush();
    if (resetAlarmTimer)
        resetAlarmTimer->start(kResetAlarmMs);
}

void MoJuWizard::SlotResetAlarm()
{
    if (pageState != kPageAlarm) {
        SetOut(kAlarmOut, 0);
        Flush();
    }
    if (resetAlarmTimer)
        resetAlarmTimer->stop();
}

// The alarm is over, however it ended: its automatic release must not fire into a later
// cycle, and the mould-NG output it switched on goes off with it (published by the caller).
void MoJuWizard::EndTimedRelease()
{
    if (clearNGAlarmTimer)
        clearNGAlarmTimer->stop();
    if (timedReleaseOutput) {
        SetOut(kOutput4, 0);
        timedReleaseOutput = false;
    }
}

void MoJuWizard::SlotClearNGAlarm()
{
    // An alarm the operator has already cleared leaves nothing to release.
    if (pageState != kPageAlarm)
        return;
    if (drawROIWidget)
        drawROIWidget->SlotSaveData();
    gSource = -1;
    // The released mould was counted when it was judged NG: the release counts nothing, as
    // the operator's "not detect" does not.
    ClearStepAlarm();
    InsertRecord(LanStr(kTextAllNotDetected), "run");
}

void MoJuWizard::ClearStepAlarm()
{
    const int s = step;
    ResetRun();
    if (s >= 0 && s < kMaxDetections) {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (detectState[c][s] == kStateAlarmWaits)
                detectState[c][s] = kStateClearedNotDetect;
        }
    }
    reCheckJudge = true;
    CheckNG(true);
}

void MoJuWizard::RedetectStep()
{
    const int s = step;
    ResetRun();
    if (s < 0 || s >= kMaxDetections)
        return;
    const int mode = Mode();
    const int t = ResultSlot(mode, s);
    const int last = mode == kModeMulti ? gDNum - 1 : 1;
    stepCameraMask[t] = 0;

    // The hold outputs of the step go on again while its cameras are judged anew.
    const bool ejectorFree = Par(&WizardPara::noEjectorCtrlInProd) == 0 &&  // system2 9
                             Par(&WizardPara::ejectorPulseNoAlarm) == 0 &&  // system2 7
                             Par(&WizardPara::cutEjectorOnProdAlarm) == 0;  // system5 11
    if (t == last && Par(&WizardPara::cutClampOnMoldAlarm) == 0) {          // system5 13
        if (Par(&WizardPara::moldNgPulse) == 0)                             // system14 1
            SetOut(kClampOut, 1);
        else if (t == 0 && ejectorFree)
            SetOut(kEjectorOut, 1);
    } else if (t == 0 && ejectorFree) {
        SetOut(kEjectorOut, 1);
    }
    Flush();

    // Cameras the operator took as not detected keep that answer.
    int again[kMaxCameras];
    int n = 0;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        CammerWidget* v = cammerWidgets[c];
        if (!v || v->detected[s] || !StepEnabled(s))
            continue;
        stepCameraMask[t] |= 1 << c;
        if (detectState[c][s] == kStateAlarmWaits)
            detectState[c][s] = kStateRedetect;
        again[n++] = c;
    }
    for (int i = 0; i < n; ++i) RunAlgorithm(again[i], s);
    reCheckJudge = true;
    CheckNG(true);
}

int MoJuWizard::CameraCheck()
{
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        const CammerWidget* v = cammerWidgets[c];
        if (v && !(v->cameraOpen && v->cameraConnected))
            return 0;
    }
    return 1;
}

void MoJuWizard::CameraRestart()
{
    bool all = true;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        CammerWidget* v = cammerWidgets[c];
        if (!v || v->cameraOpen)
            continue;
        v->CameraOpen();
        all = all && v->cameraOpen;
    }
    if (!all)
        return;
    if (gpWarnBox)
        gpWarnBox->hide();
    if (fpsTimer)
        fpsTimer->start(1000);
}

void MoJuWizard::CameraSetSpeed()
{
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (cammerWidgets[c])
            cammerWidgets[c]->SetSpeed();
    }
}
