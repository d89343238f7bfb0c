// Entries of the text table that the code names; look them up with LanStr (lanstr.h).
#pragma once

// Messages about cameras and parameter files.
constexpr int kTextCameraParamFileError = 0;  // "Camera parameter file error!"
constexpr int kTextCameraUnavailable = 39;    // the camera is unavailable, check the connection
constexpr int kTextNoCameraClearSn = 134;     // no camera: clear the stored serial numbers?
constexpr int kTextParamFileError = 160;      // system parameter file error, restore a group
constexpr int kTextCameraCountChanged = 360;  // the number of cameras changed: clear them?
constexpr int kTextCameraLost = 655;          // "Camera %1 lost for the %2 time!"
constexpr int kTextCameraDisconnect = 657;
constexpr int kTextShutDown = 209;
constexpr int kTextDoorTrigger = 265;  // the safety door started the detection

// Buttons and labels of the dialogs and keypads.
constexpr int kTextConfirm = 121;
constexpr int kTextYes = 122;
constexpr int kTextNo = 123;
constexpr int kTextCancel = 124;
constexpr int kTextPassword = 125;  // "Password:" (the line edit's placeholder)
constexpr int kTextBackspace = 157;
constexpr int kTextCapsWhileLower = 158;
constexpr int kTextCapsWhileUpper = 159;
constexpr int kTextPwdLabel = 356;
constexpr int kTextWrong = 357;  // wrong password
constexpr int kTextPunctuation = 441;
constexpr int kTextCharacters = 442;

// Teaching page and detection control.
constexpr int kTextHideSet = 12;
constexpr int kTextAreaLimit = 36;  // the regions reached their limit
constexpr int kTextStopDetection = 127;
constexpr int kTextStartDetection = 136;
