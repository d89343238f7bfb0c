// Process-wide state of the start-up module: texts, pixmaps, mutexes, screen size, tables.
#pragma once

#include <QMap>
#include <QMutex>
#include <QPixmap>
#include <QString>
#include <QStringList>

class CameraInterface;
class MoJuWizard;

// The text table: entry N in language L is gaLanStr[N * 4 + L].
constexpr int kLanEntries = 2048;
constexpr int kLanColumns = 4;
extern QString gaLanStr[kLanEntries * kLanColumns];
extern int gLan;  // 0 Simplified Chinese, 1 English, 2 Traditional Chinese, 3 Japanese
constexpr int kLanEnglish = 1;
constexpr int kLanJapanese = 3;

// Signal-name tables (four columns, the Japanese one repeats the English).
extern const char* gInName[16][4];
extern const char* gOutName[14][4];

extern QString linux_kernel_proc_version;
extern int gfLED;
extern QString gDeviceID;
extern QString gAppDirPath;
extern QString gTempTime;
extern int gSource;  // -1 detecting, 0 Template, 1 Live Image, 2 Recent NG, 3 OK Record, 4 NG Record
// Picture sources of the camera views (gSource).
constexpr int kSourceDetecting = -1;
constexpr int kSourceTemplate = 0;
constexpr int kSourceLiveImage = 1;
constexpr int kSourceRecentNG = 2;
constexpr int kSourceOKRecord = 3;
constexpr int kSourceNGRecord = 4;
extern int TriginNo[8];
extern int OutputNo[8];
extern QString gaName[18];
extern QMap<QString, CameraInterface*> cameraInterfaceMap;

extern int gShowW;  // screen width and height in pixels, set by the main window
extern int gShowH;

extern QMutex* pMutexIO;
extern QMutex* pMutexSaveFail;
extern QMutex* pMutex[8];
extern QMutex* phttpMutex[8];
extern bool isImageFill[8];

extern MoJuWizard* gpWin;

// Globals of the detection control that the views and widgets read.
extern int numCamera;
extern int gDNum;
extern int gTempNum;
extern int gPicNumNG;
extern int gPicNumOK;
extern bool gisColor;
extern bool gisGrayHue;
extern int gDrawHint;
extern int gHelpC;
extern int gFromTrain;
extern bool gisSafeDoorOpen;
extern bool gisTempAlarm;
extern int gFailCycleNum[8];
extern int gAllCycleNum[8];
// Set after the teaching page was left following a re-sampling: the next TimerShow rebuilds
// every enabled detection's shapes; gisReShape rebuilds the mould step's only.
extern bool gisReTrain;
extern bool gisReShape;
// Production counters kept in count.ini: per camera all and failed inspections, and the
// cycles judged NG on several cameras together.
extern int gAllNum[8];
extern int gFailNum[8];
extern int gSyncNGNum;
extern int gSyncNGCycleNum;

extern QPixmap* gpPixmapLogo;
extern QPixmap* gpPixmapBG;
extern QPixmap* gpPixmapTitle;
extern QPixmap* gpPixmapLine;
extern QPixmap* gpPixmapEdit;
extern QPixmap* gpPixmapSlideru;
extern QPixmap* gpPixmapSliderd;
extern QPixmap* gpPixmapSlidert;
extern QPixmap* gpPixmapButton[2];
extern QPixmap* gpPixmapOUT[2];
extern QPixmap* gpPixmapMove[7];

// Suffixes of update packages (one copy for the whole program).
inline const QStringList package = {"gz", "tar", "rar"};

// The application's own version, logged at start and written into the JSON configuration.
extern const char* const kAppVersion;

// Creates the mutexes in the order start-up needs (IO, failure images, then per camera).
void CreateGlobalMutexes();
// Loads the shared pixmaps from ./images/ (missing files give null pixmaps).
void LoadGlobalPixmaps();
