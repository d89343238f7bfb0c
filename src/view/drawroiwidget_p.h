// Text entries, parameter access and the question helpers shared by the teaching page's files.
#pragma once

#include <QString>

#include "choosebox.h"
#include "lanstr.h"
#include "mainstate.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace teach {

// Captions of the page.
constexpr int kTextCopyCurrent = 9;
constexpr int kTextEndPolygon = 33;
constexpr int kTextEndSet = 42;
constexpr int kTextCameraN = 43;
constexpr int kTextAllCamera = 44;
constexpr int kTextItem = 46;
constexpr int kTextDontDetect = 47;
constexpr int kTextAddAsTemp = 48;
constexpr int kTextDrawRect = 49;
constexpr int kTextDrawCircle = 51;
constexpr int kTextDrawPolygon = 53;
constexpr int kTextIgnoreAlarmP = 54;
constexpr int kTextDelThisRoi = 55;
constexpr int kTextDelIgnoredP = 56;
constexpr int kTextDelAllRoi = 57;
constexpr int kTextPreviousPicture = 59;
constexpr int kTextRecentNG = 60;
constexpr int kTextReDetected = 61;
constexpr int kTextNextPicture = 62;
constexpr int kTextDeleteTemp = 63;
constexpr int kTextDisplayIgnoredP = 64;
constexpr int kTextDrawGesture = 104;
constexpr int kTextHelp = 111;
constexpr int kTextHideIgnoreP = 112;
constexpr int kTextOKRecord = 207;
constexpr int kTextNGRecord = 208;
constexpr int kTextLiveTemp = 212;
constexpr int kTextTemplate = 223;
constexpr int kTextLiveImage = 224;
constexpr int kTextProd = 263;
constexpr int kTextLeftProd = 372;
constexpr int kTextFirst = 477;  // "1st" .. "8th"
constexpr int kTextPreviousTemplate = 559;
constexpr int kTextNextTemplate = 560;
constexpr int kTextEndCurrentPolygon = 670;

// Warnings and questions.
constexpr int kTextNoAreaSelected = 65;
constexpr int kTextSureDeleteArea = 66;
constexpr int kTextSureDeleteAllAreas = 67;
constexpr int kTextResampleFirst = 68;
constexpr int kTextSureDeleteTemplate = 69;
constexpr int kTextTemplateDeleted = 70;
constexpr int kTextAllTemplatesDeleted = 71;
constexpr int kTextSureSave = 72;
constexpr int kTextSureNoDetectAll = 102;
constexpr int kTextAllNotDetected = 103;
constexpr int kTextSureNoDetectCamera = 105;
constexpr int kTextCameraNotDetected = 106;
constexpr int kTextSwitchToAlarmCamera = 107;
constexpr int kTextSureAddTemplate = 108;
constexpr int kTextTemplateAdded = 109;
constexpr int kTextSureIgnore = 113;
constexpr int kTextIgnoring = 114;
constexpr int kTextAlarmAreaTooBig = 115;
constexpr int kTextSureDeleteIgnored = 116;
constexpr int kTextIgnoredDeleted = 117;
constexpr int kTextProdNotEnabled = 118;
constexpr int kTextSameParamsStandard = 119;
constexpr int kTextOpenSafetyDoor = 195;
constexpr int kTextOneTemplateOnly = 258;
constexpr int kTextSameParamsSides = 371;

// The toggled captions are Chinese in every language.
inline const char* const kEndRect = "结束画四边形";
inline const char* const kEndCircle = "结束画圆形";
inline const char* const kEndHand = "结束手势区域";
inline const char* const kEndCopy = "结束区域复制";

// Drawing modes of the views.
constexpr int kDrawNone = 0;
constexpr int kDrawRect = 1;
constexpr int kDrawPolygon = 2;
constexpr int kDrawCircle = 4;

// Page states of the main window.
constexpr int kPageAlarm = 2;
constexpr int kPageTeaching = 3;

// Detection states the page writes.
constexpr int kStateWaiting = 3;
constexpr int kStateNotDetected = 4;
constexpr int kStateAddedTemplate = 5;
constexpr int kStateReDetected = 7;

constexpr int kModeStandard = 0;
constexpr int kModeMulti = 3;

// The largest alarm area whose blobs may be ignored.
constexpr int kMaxIgnoredArea = 2000;

inline const WizardPara& Para()
{
    return LivePara();
}

inline bool SideModes()
{
    return Para().detectMode == 1 || Para().detectMode == 2;
}

// The warning box with a text; nothing when no box exists.
inline void Warn(const QString& text)
{
    if (!gpWarnBox)
        return;
    gpWarnBox->setText(text);
    gpWarnBox->exec();
}

// The yes/no box; only YES (exec 1) counts.
inline bool Ask(const QString& text)
{
    if (!gpChooseBox)
        return false;
    gpChooseBox->setText(text);
    return gpChooseBox->exec() == 1;
}

// The main window's password question; without a window nothing is guarded.
inline bool PasswordGranted()
{
    const auto& check = Teaching().checkPassword;
    return !check || check() != 0;
}

template <typename F, typename... A>
void Call(const F& hook, A... args)
{
    if (hook)
        hook(args...);
}

}  // namespace teach
