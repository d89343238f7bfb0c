// Parameter, text and output helpers shared by the detection cycle files of the main window.
#pragma once

#include <QString>
#include <QTimer>

#include "controlport.h"
#include "globals.h"
#include "lanstr.h"
#include "monitorlimits.h"
#include "platformclock.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace cycle {

// Output indices.
constexpr int kFirstRejectOut = 4;
constexpr int kDelayedOut = 4;
constexpr int kRejectGroups = 4;

constexpr int kRunIntervalMs = 100;
constexpr int kLostCameraRunIntervalMs = 1000;
constexpr int kTickMs = 100;
constexpr int kTenthMs = 100;
constexpr int kShowResultMs = 2000;
// The IO thread publishes the output word once per poll (a few ms) and the board answers in
// the next one: an output state held for less than this after its word went out would never
// reach the board.
constexpr int kMinPulseMs = 50;
// A pulse whose word the link has not sent yet looks again after this (the IO thread's poll).
constexpr int kPulseUnsentRetryMs = 5;

constexpr int kNoGroup = -1;
// Mode 3: output number (1-based) of step k; entry 7 is the last step's.
constexpr int kLastStepOutputEntry = 7;

// A member of the live parameter record; 0 when there is none. The stored row and 1-based
// position of each member read ("system5 9") stand beside its use.
inline int Par(int WizardPara::*member)
{
    return gpWPara ? gpWPara->*member : 0;
}

// Element i of an array member of the live parameter record; 0 when there is none.
template <int N>
inline int Par(int (WizardPara::*member)[N], int i)
{
    return gpWPara && i >= 0 && i < N ? (gpWPara->*member)[i] : 0;
}

inline int Mode()
{
    return gpWPara ? gpWPara->detectMode : kModeStandard;
}

inline bool StepEnabled(int d)
{
    return gpWPara && d >= 0 && d < kMaxDetections && gpWPara->detectEnabled[d] != 0;
}

// The trigger input of step d (0-based, 255 any, -1 none); a stored value outside the
// inputs and not "any" means the step has no trigger.
inline int StepTrigger(int d)
{
    if (!gpWPara || d < 0 || d >= kMaxDetections)
        return -1;
    const int t = gpWPara->detectTrigIn[d];
    if (t == kAnyTrigger || (t >= 0 && t < kTriggerInputs))
        return t;
    return -1;
}

// Mode 3: the stage group of step k (-1 none, also for a stored group out of range).
inline int StepGroup(int k)
{
    if (k < 0 || k >= kMaxDetections)
        return kNoGroup;
    const int g = Par(&WizardPara::detectIoRow, k);  // system9 k + 1
    return g >= 0 && g < kMaxDetections ? g : kNoGroup;
}

// Mode 3: the cut mode of group g (0 cut all .. 5 NG cut self; 2 "not cut" for no group).
inline int GroupCutMode(int g)
{
    constexpr int kNotCut = 2;
    return g >= 0 && g < kMaxDetections ? Par(&WizardPara::ioRowOutMode, g) : kNotCut;  // system8 g + 10
}

// Mode 3: the output index of step k (the last step uses entry 7); -1 when the table holds
// no output for it.
inline int StepOutput(int k)
{
    const int entry = k == gDNum - 1 ? kLastStepOutputEntry : k;
    if (entry < 0 || entry >= kMaxDetections)
        return -1;
    const int out = OutputNo[entry] - 1;
    return out >= 0 && out < kDrivenOutputs ? out : -1;
}

inline void SetOut(int k, int on)
{
    if (gpControlIO && k >= 0)
        gpControlIO->IOSetOut(k, on);
}

inline void Flush()
{
    if (gpControlIO)
        gpControlIO->IOFlashOut();
}

inline int InputLevel(int i)
{
    return gpControlIO ? gpControlIO->IOState(0, i) : 0;
}

// A timer that ends an output state: never shorter than the board can see.
inline void StartPulse(QTimer* timer, int tenths)
{
    if (timer)
        timer->start(qMax(tenths * kTenthMs, kMinPulseMs));
}

// What is left of a pulse of `tenths` begun by publication `word` once its own time is up:
// the pulse is timed from the board's first echo that shows the word, not from its
// publication. A busy machine may send it late and a board may miss writes; a level that
// changed back before the board took it would never have been seen. 0 when it may end now.
inline qint64 PulseLeftMs(quint64 word, int tenths)
{
    if (!gpControlIO)
        return 0;
    const qint64 taken = gpControlIO->outputSentAt(word);
    if (taken < 0)
        return kPulseUnsentRetryMs;
    return qMax<qint64>(0, taken + qMax(tenths * kTenthMs, kMinPulseMs) - PlatformClock::monotonicMs());
}

// The clock of the cycle times: seconds x 10 + microseconds / 100000, in 64 bits (32 would overflow).
qint64 NowTenths();

}  // namespace cycle
