// Judgement of a detection step over all cameras, the NG alarm and the step advance.
#include "cammerrecongnize.h"
#include "cammerwidget.h"
#include "constructionhooks.h"
#include "drawroiwidget.h"
#include "indexbutton.h"
#include "ledlcd.h"
#include "mojuwizard.h"
#include "mojuwizard_cycleparams.h"
#include "productalarmwarnbox.h"
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
    RaiseFailImage((camera * kMaxDetections + k) * 2 + which);
}

}  // namespace

// The window's side of the judgement: camera views, timers, pages, lamps, counters.
class WindowCyclePorts : public CyclePorts
{
public:
    explicit WindowCyclePorts(MoJuWizard* window) : w(window) {}

    int cameraCount() const override { return numCamera; }
    bool cameraNG(int c) const override
    {
        const CammerWidget* v = w->cammerWidgets[c];
        return v && !v->cameraOk;
    }
    void blinkCameraAlarm(int c) override
    {
        CammerWidget* v = w->cammerWidgets[c];
        if (v && v->timerShowAlarm)
            v->timerShowAlarm->start(kBlinkMs);
    }
    void setOut(int k, int on) override { SetOut(k, on); }
    void flush() override { Flush(); }
    void startPulse(CyclePulse pulse, int tenths) override
    {
        pulseWord[int(pulse)] = gpControlIO ? gpControlIO->publishedWord() : 0;
        pulseTenths[int(pulse)] = tenths;
        StartPulse(timer(pulse), tenths);
    }
    bool pulseMayEnd(CyclePulse pulse) override
    {
        const qint64 left = PulseLeftMs(pulseWord[int(pulse)], pulseTenths[int(pulse)]);
        QTimer* t = timer(pulse);
        if (left <= 0 || !t)
            return true;
        t->start(int(left));
        return false;
    }
    void stopPulse(CyclePulse pulse) override
    {
        if (QTimer* t = timer(pulse))
            t->stop();
    }
    bool resultMayShow() const override { return !w->PageShown(kSettingsPageClass); }
    void showResult(int, bool pulseNG) override
    {
        if (w->showTimer)
            w->showTimer->start(kShowResultMs);
        w->update();
        LEDOnOff(kLedResult, pulseNG ? 0 : 1);
        LEDOnOff(kLedAlarm, pulseNG ? 1 : 0);
    }
    void showAlarm(int step, const bool ng[]) override { w->ShowAlarm(step, ng); }
    void leaveAlarm() override
    {
        ViewWatch2VRQ::ofManager()->alarmState = ViewWatch2VRQ::kAlarmFinishPending;
        if (w->drawROIWidget)
            w->drawROIWidget->Restart();
    }
    void resetRun() override { w->ResetRun(); }
    void forgetTriggers() override
    {
        if (w->delayOutput3Timer)
            w->delayOutput3Timer->stop();
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (w->cammerWidgets[c])
                std::fill(std::begin(w->cammerWidgets[c]->detected), std::end(w->cammerWidgets[c]->detected), false);
        }
        std::fill(std::begin(w->inputLatch), std::end(w->inputLatch), false);
        for (QTimer* t : w->checkInputTimers) {
            if (t)
                t->stop();
        }
    }
    void holdDetection() override { w->SetStopDetect(); }
    void resetAllOutputs() override
    {
        if (gpControlIO)
            gpControlIO->IOResetAllOut();
    }
    bool cameraDetected(int c, int s) const override
    {
        const CammerWidget* v = w->cammerWidgets[c];
        return !v || v->detected[s];
    }
    void setCamerasOwing(int slot, int mask) override { w->stepCameraMask[slot] = mask; }
    void runRecognition(int c, int s) override { w->RunAlgorithm(c, s); }
    void judgeWithoutPicture(int c, int s) override { w->JudgeWithoutPicture(c, s); }
    bool countdownRunning(int d) const override { return w->upTimers[d] && w->upTimers[d]->isActive(); }
    void stopCountdown(int d) override
    {
        if (w->upTimers[d])
            w->upTimers[d]->stop();
    }
    void repaintViews() override
    {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (w->cammerWidgets[c])
                w->cammerWidgets[c]->update();
        }
    }
    bool holdForLostCamera(int d) override { return w->HoldForLostCamera(d); }
    bool camerasOpen() override { return w->CameraCheck() != 0; }
    void keepTemplatePictures() override
    {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (w->cammerWidgets[c])
                w->cammerWidgets[c]->SaveReTrainImage(1);
        }
    }
    void count(const bool ng[], bool NG, bool lastStep) override { w->CountJudgement(ng, NG, lastStep); }
    void keepPictures(int step, const bool ng[], bool NG, bool redetecting, bool noStopNG) override
    {
        w->KeepStepPictures(step, ng, NG, redetecting, noStopNG);
    }
    void judged() override { ViewWatch2VRQ::ofManager()->sndAlarmFinishTiming(); }

    void offerPassLater() override { w->OfferPassLater(); }
    void balanceWhiteOnce() override { w->BalanceWhiteOnce(); }
    int inputEdge(int i) override { return gpControlIO ? gpControlIO->IOInTrigger(i) : 0; }
    bool startDebounce(int i, int tenths) override { return start(w->checkInputTimers[i], tenths); }
    void takeNewestPictures() override { w->TakeNewestPictures(); }
    void holdForLostCameras() override { w->HoldForLostCameras(); }
    void holdClampForCameras(bool hold) override
    {
        if (gpControlIO)
            gpControlIO->IOHoldOn(kClampOut, hold);
    }
    void noteCamerasBack() override { w->NoteCamerasBack(); }
    void showProductionAlarm() override
    {
        if (gpProductAlarmWarnBox && gpProductAlarmWarnBox->isHidden())
            gpProductAlarmWarnBox->show();
    }
    void takeAlarmPageInputs() override { w->HandleAlarmPageInputs(); }
    void stopInputWatch() override
    {
        if (w->inCheckTimer)
            w->inCheckTimer->stop();
    }
    bool recheckDelayRunning() const override { return w->reCheckTimer && w->reCheckTimer->isActive(); }
    bool startRecheckDelay(int tenths) override { return start(w->reCheckTimer, tenths); }
    void forgetDetected(int c, int d) override
    {
        if (w->cammerWidgets[c])
            w->cammerWidgets[c]->detected[d] = false;
    }
    bool takeImageTrigger() override { return w->TriggerOnNewPictures(); }
    void cycleStarts() override { w->CycleStarts(); }
    void startCountdown(int d) override
    {
        if (QTimer* t = w->upTimers[d]) {
            // A coarse timer may tick 5 % early: the n-th tick must not come before n x 100 ms.
            t->setTimerType(Qt::PreciseTimer);
            t->start(kTickMs);
        }
    }
    void repaint() override { w->update(); }
    void passDone() override
    {
        if (w->runTimer)
            w->runTimer->start(kRunIntervalMs);
        if (gpControlIO)
            gpControlIO->updateThreadProtectTiming();
    }

private:
    static bool start(QTimer* t, int tenths)
    {
        if (!t)
            return false;
        t->start(tenths * kTenthMs);
        return true;
    }
    QTimer* timer(CyclePulse pulse) const
    {
        switch (pulse) {
            case CyclePulse::StepOutput:
                return w->sysFunc4OutputTimer;
            case CyclePulse::OutputsOff:
                return w->outputsOffTimer;
            case CyclePulse::NotAllowClose:
                return w->notAllowCloseTimer;
            case CyclePulse::RejectNG:
                return w->outNGTimer;
            case CyclePulse::NotAllowThimble:
                return w->notAllowThimbleTimer;
            case CyclePulse::TimedRelease:
                return w->clearNGAlarmTimer;
        }
        return nullptr;
    }

    MoJuWizard* w;
    // The publication each pulse began with (its judgement publishes before it starts them).
    quint64 pulseWord[int(CyclePulse::TimedRelease) + 1] = {};
    int pulseTenths[int(CyclePulse::TimedRelease) + 1] = {};
};

void MoJuWizard::InstallCyclePorts()
{
    cyclePorts.reset(new WindowCyclePorts(this));
    detection.setPorts(cyclePorts.data());
}

void MoJuWizard::CheckNG()
{
    CheckNG(false);
}

void MoJuWizard::CheckNG(bool clear)
{
    detection.judgeStep(clear);
}

void MoJuWizard::CountJudgement(const bool ng[], bool NG, bool lastStep)
{
    if (Par(&WizardPara::useStatistics) != 0)  // system6 10
        AddStatistics();
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        AtomicAdd(gAllNum[c]);
        if (ng[c]) {
            AtomicAdd(gFailNum[c]);
            cycleCameraNG[c] = true;
        }
    }
    if (NG)
        AtomicAdd(gSyncNGNum);
    if (!lastStep)
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

void MoJuWizard::KeepStepPictures(int s, const bool ng[], bool NG, bool redetecting, bool noStopNG)
{
    // 15. Pictures of the step.
    if (s >= 0 && s < kMaxDetections) {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c)
            HandleDetectState(c, s, ng[c], redetecting);
    }
    // 16. Hand-off to the image writer; an alarmed NG keeps its picture for the operator.
    if (NG && !noStopNG)
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

void MoJuWizard::HandOverAlarmPictures()
{
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        for (int k = 0; k < gDNum && k < kMaxDetections; ++k) {
            if (detectState[c][k] == kStateAlarmWaits)
                HandOver(c, k, 0);
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

// The window's part of a raised alarm; DetectionCycle sets the outputs and the page state.
void MoJuWizard::ShowAlarm(int alarmStep, const bool ng[])
{
    ViewWatch2VRQ::ofManager()->sndAlarmStartTiming(alarmStep);
    WakeScreen();
    SetStopDetect();
    pageState = kPageAlarm;
    viewCamera = numCamera;
    ChangeCammer();
    // Full-screen pages over the window give way, or the alarm would go unseen.
    for (const char* page : {"HelpWidget", kSettingsPageClass, "StatisticsWidget"}) {
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
    QString text;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (ng[c])
            text += LanStr(kTextCameraInList).arg(c + 1);
    }
    text.chop(1);
    InsertRecord(text + LanStr(kTextAlarm), "run");
}

void MoJuWizard::TimerShow()
{
    if (showTimer)
        showTimer->stop();
    if (pageState != kPageAlarm) {
        LEDOnOff(kLedResult, 1);
        LEDOnOff(kLedAlarm, 1);
    }
    if (detection.resultShown())
        update();

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

void MoJuWizard::SlotClearNGAlarm()
{
    // An alarm the operator has already cleared leaves nothing to release.
    if (!detection.releaseAlarm())
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
    detection.clearStepAlarm();
}

void MoJuWizard::RedetectStep()
{
    detection.redetectStep();
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
