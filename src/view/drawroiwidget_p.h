// Text entries, parameter access and the password question shared by the teaching page's files.
#pragma once

#include <QString>

#include "lanstr.h"
#include "mainstate.h"
#include "operatorprompts.h"
#include "textids.h"
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
    return TwoSidedMode(LivePara().detectMode);
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
