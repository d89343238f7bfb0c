// Text entries, parameter access and the question helpers shared by the teaching page's files.
#pragma once

#include <QString>

#include "choosebox.h"
#include "lanstr.h"
#include "mainstate.h"
#include "textids.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace teach {

// The toggled captions are Chinese in every language.
inline const char* const kEndRect = "结束画四边形";
inline const char* const kEndCircle = "结束画圆形";
inline const char* const kEndHand = "结束手势区域";
inline const char* const kEndCopy = "结束区域复制";

// The largest alarm area whose blobs may be ignored.
constexpr int kMaxIgnoredArea = 2000;

// The two-sided machines: two-colour and turntable.
inline bool SideModes()
{
    const int mode = LivePara().detectMode;
    return mode == kModeTwoColour || mode == kModeTurntable;
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
