// Entries of the text table that the code names; look them up with LanStr (lanstr.h).
#pragma once

// Include this only from .cpp files and private headers, so that a new entry rebuilds only
// the code that shows texts.

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

// Main window, cycle and start-up.
constexpr int kTextRecordDbError = 135;
constexpr int kTextSystemReady = 150;
constexpr int kTextModeNames = 384;  // + mode, for modes 0..2
constexpr int kTextMultiDetect = 472;
constexpr int kTextFindCameras = 649;
constexpr int kTextLoadInterface = 650;
constexpr int kTextLoadOtherPlugins = 651;
constexpr int kTextComplete = 652;
constexpr int kTextSureToStop = 140;
constexpr int kTextStoppedManually = 141;
constexpr int kTextStartedManually = 142;
constexpr int kTextNoInput = 335;
constexpr int kTextCameraBack = 656;
constexpr int kTextCameraInList = 151;
constexpr int kTextAlarm = 152;
constexpr int kTextAllNotDetected = 103;
constexpr int kTextCamera = 586;
constexpr int kTextAllCameras = 585;
constexpr int kTextResampleTemplate = 139;
constexpr int kTextSureToResample = 137;
constexpr int kTextReleaseToCalibrate = 370;

// Button bar and status strip.
constexpr int kTextResample = 129;
constexpr int kTextSystemParam = 215;
constexpr int kTextAreaSettings = 130;
constexpr int kTextProductSnapshot = 131;
constexpr int kTextMouldSnapshot = 132;
constexpr int kTextMultiScreen = 126;
constexpr int kTextLeftProd = 372;  // "Left prod", ... in modes 1 and 2
constexpr int kTextFirst = 477;     // "1st", "2nd", ... in mode 3
constexpr int kTextLogged = 308;
constexpr int kTextUnlogged = 156;
constexpr int kTextProductName = 557;
constexpr int kTextClock = 110;

// Camera views.
constexpr int kTextFilterSize = 22;
constexpr int kTextSensitivityLabel = 23;  // "Sensitivity" (kTextSensitivity is the record phrase)
constexpr int kTextArea = 24;
constexpr int kTextResampling = 310;
constexpr int kTextStopping = 311;
constexpr int kTextDetecting = 312;
constexpr int kTextCamHeader = 313;
constexpr int kTextLately = 314;
constexpr int kTextTemplates = 315;
constexpr int kTextCounters = 316;
constexpr int kTextDetected = 528;
constexpr int kTextWaiting = 529;
constexpr int kTextOkRecords = 216;
constexpr int kTextNgRecords = 217;
constexpr int kTextRecordHeader = 218;
constexpr int kTextProd = 263;
constexpr int kTextCopyAsk = 38;
constexpr int kTextAllMove = 32;
constexpr int kTextSingleMove = 34;
constexpr int kTextPolygonLimit = 35;

// Region parameter panel.
constexpr int kTextFunc = 2;
constexpr int kTextParaSwitch = 3;
constexpr int kTextRoiSwitch = 4;
constexpr int kTextMoveU = 5;
constexpr int kTextMoveD = 6;
constexpr int kTextMoveL = 7;
constexpr int kTextMoveR = 8;
constexpr int kTextRBPoint = 29;
constexpr int kTextTLPoint = 30;
constexpr int kTextOuterR = 26;
constexpr int kTextCentre = 27;
constexpr int kTextInnerR = 28;
constexpr int kTextPolygonPoint = 31;

// Teaching page: captions, warnings and questions.
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
constexpr int kTextPreviousTemplate = 559;
constexpr int kTextNextTemplate = 560;
constexpr int kTextEndCurrentPolygon = 670;
constexpr int kTextNoAreaSelected = 65;
constexpr int kTextSureDeleteArea = 66;
constexpr int kTextSureDeleteAllAreas = 67;
constexpr int kTextResampleFirst = 68;
constexpr int kTextSureDeleteTemplate = 69;
constexpr int kTextTemplateDeleted = 70;
constexpr int kTextAllTemplatesDeleted = 71;
constexpr int kTextSureSave = 72;
constexpr int kTextSureNoDetectAll = 102;
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

// Teaching page: the operation records of region changes.
constexpr int kTextIgnoreArea = 17;
constexpr int kTextTitle = 73;
constexpr int kTextRectName = 74;
constexpr int kTextCircleName = 75;
constexpr int kTextPolygonName = 76;
constexpr int kTextAddedSpot = 77;
constexpr int kTextAddedDefect = 78;
constexpr int kTextAddedPosition = 79;
constexpr int kTextAdded = 80;
constexpr int kTextDeleted = 81;
constexpr int kTextFunctionFrom = 82;
constexpr int kTextFunctionTo = 83;
constexpr int kTextFunctionIs = 84;
constexpr int kTextMinGrey = 85;
constexpr int kTextMaxGrey = 86;
constexpr int kTextMinArea = 87;
constexpr int kTextMaxArea = 88;
constexpr int kTextSpotChanged = 89;
constexpr int kTextAccuracy = 90;
constexpr int kTextLeastMatch = 91;
constexpr int kTextSearchSpeed = 92;
constexpr int kTextPositionChanged = 93;
constexpr int kTextSensitivity = 94;
constexpr int kTextAreaChanged = 95;
constexpr int kTextMinSize = 96;
constexpr int kTextDefectChanged = 97;
constexpr int kTextShapeMoved = 98;
constexpr int kTextChanged = 99;
constexpr int kTextAngleCorrection = 583;

// Signal names of the IO lamps.
constexpr int kTextSafetySignal = 302;  // "Safety"
constexpr int kTextAlarmSignal = 307;   // "Alrm"

// Teaching page: the commit reached the working store but not PARAM.db.
constexpr int kTextTeachingNotSaved = 679;
// Statistics export.
constexpr int kTextStatisticsExportFailed = 680;  // the export did not reach the disk

// Settings screen: the applied settings did not reach PARAM.db.
constexpr int kTextSettingsNotSaved = 681;
// Parameter groups, data export and camera numbering (administration actions).
constexpr int kTextGroupNameUnsafe = 700;     // the typed group name cannot name a folder
constexpr int kTextGroupNoneChosen = 701;     // restore or delete without a chosen group
constexpr int kTextGroupIncomplete = 702;     // the group lacks PARAM.db or a template folder
constexpr int kTextFactoryPackageMissing = 703;
constexpr int kTextDataExportFailed = 704;    // the copy did not reach the disk
constexpr int kTextCameraNumberRepeated = 705;
constexpr int kTextGroupDefaultKept = 706;    // the factory group cannot be deleted
// A picture or an operation record could not be written: the disk is full.
constexpr int kTextDiskFull = 708;
// The last stop found the disk full: what it could not write (%1: the names below, joined).
constexpr int kTextLostAtStop = 720;
constexpr int kTextLostCounters = 721;
constexpr int kTextLostStatistics = 722;
constexpr int kTextLostRecords = 723;  // %1: how many
// The new language did not reach PARAM.db: the restart would come back in the old one.
constexpr int kTextLanguageNotSaved = 724;
// The last run held no room for its stop's writes (the disk was full): its losses are not known.
constexpr int kTextNoRoomAtLastStop = 730;
