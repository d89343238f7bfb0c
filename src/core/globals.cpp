// Definitions of the start-up module's process-wide state.
#include "globals.h"

QString gaLanStr[kLanEntries * kLanColumns];
int gLan = 0;

QString linux_kernel_proc_version;
int gfLED = -1;
QString gDeviceID;
QString gAppDirPath;
QString gTempTime;
int gSource = -1;
int TriginNo[8] = {1, 3, 4, 5, 6, 7, 8, 9};
int OutputNo[8] = {2, 4, 5, 6, 7, 8, 9, 1};
QString gaName[18];
QMap<QString, CameraInterface*> cameraInterfaceMap;

int gShowW = 1920;
int gShowH = 1080;

QMutex* pMutexIO = nullptr;
QMutex* pMutexSaveFail = nullptr;
QMutex* pMutex[8] = {};
QMutex* phttpMutex[8] = {};
bool isImageFill[8] = {};

MoJuWizard* gpWin = nullptr;

int numCamera = 1;
int gDNum = 1;
int gTempNum = 1;
int gPicNumNG = 0;
int gPicNumOK = 0;
bool gisColor = false;
bool gisGrayHue = false;
int gDrawHint = 0;
int gHelpC = 0;
int gFromTrain = 0;
bool gisSafeDoorOpen = false;
bool gisTempAlarm = false;
int gFailCycleNum[8] = {};
int gAllCycleNum[8] = {};
bool gisReTrain = false;
bool gisReShape = false;
int gAllNum[8] = {};
int gFailNum[8] = {};
int gSyncNGNum = 0;
int gSyncNGCycleNum = 0;

QPixmap* gpPixmapLogo = nullptr;
QPixmap* gpPixmapBG = nullptr;
QPixmap* gpPixmapTitle = nullptr;
QPixmap* gpPixmapLine = nullptr;
QPixmap* gpPixmapEdit = nullptr;
QPixmap* gpPixmapSlideru = nullptr;
QPixmap* gpPixmapSliderd = nullptr;
QPixmap* gpPixmapSlidert = nullptr;
QPixmap* gpPixmapButton[2] = {};
QPixmap* gpPixmapOUT[2] = {};
QPixmap* gpPixmapMove[7] = {};

const char* const kAppVersion = "18.0.1.67";

void CreateGlobalMutexes()
{
    if (!pMutexIO)
        pMutexIO = new QMutex;
    if (!pMutexSaveFail)
        pMutexSaveFail = new QMutex;
    for (int i = 0; i < 8; ++i) {
        if (!pMutex[i])
            pMutex[i] = new QMutex;
        if (!phttpMutex[i])
            phttpMutex[i] = new QMutex;
        isImageFill[i] = false;
    }
}

void LoadGlobalPixmaps()
{
    struct PixmapEntry
    {
        const char* path;
        QPixmap** slot;
    };
    // Load order matters to nobody but is kept as the panel has always done it.
    const PixmapEntry table[] = {
        {"./images/logo.bmp", &gpPixmapLogo},
        {"./images/background.png", &gpPixmapBG},
        {"./images/title.png", &gpPixmapTitle},
        {"./images/line.png", &gpPixmapLine},
        {"./images/edit.png", &gpPixmapEdit},
        {"./images/slideru.png", &gpPixmapSlideru},
        {"./images/sliderd.png", &gpPixmapSliderd},
        {"./images/slidert.png", &gpPixmapSlidert},
        {"./images/buttonu.png", &gpPixmapButton[0]},
        {"./images/buttond.png", &gpPixmapButton[1]},
        {"./images/OUT1.png", &gpPixmapOUT[0]},
        {"./images/OUT0.png", &gpPixmapOUT[1]},
        {"./images/Origin.png", &gpPixmapMove[0]},
        {"./images/MoveUp.png", &gpPixmapMove[1]},
        {"./images/MoveDown.png", &gpPixmapMove[2]},
        {"./images/MoveLeft.png", &gpPixmapMove[3]},
        {"./images/MoveRight.png", &gpPixmapMove[4]},
        {"./images/EnlargeScale.png", &gpPixmapMove[5]},
        {"./images/ReductionScale.png", &gpPixmapMove[6]},
    };
    for (const PixmapEntry& e : table) *e.slot = new QPixmap(QString::fromLatin1(e.path));
}
