// The system parameter record, its layout in table sysparam of PARAM.db, and the parameter groups.
#pragma once

#include <QDir>
#include <QSqlQuery>
#include <QString>
#include <QVector>

class WizardPara;

// Machine modes (detectMode): how many detections a cycle has and what they are called.
constexpr int kModeStandard = 0;
constexpr int kModeTwoColour = 1;
constexpr int kModeTurntable = 2;
constexpr int kModeMulti = 3;

// The two-sided machines (two-colour, turntable) run a product and a mould step per side:
// steps 0/1 on one side, 2/3 on the other.
constexpr bool TwoSidedMode(int mode)
{
    return mode == kModeTwoColour || mode == kModeTurntable;
}

// The result slot of step d: 0 product, 1 mould on the two-sided machines (either side), the
// step itself in the other modes.
constexpr int ResultSlot(int mode, int d)
{
    return TwoSidedMode(mode) ? (d & 1) : d;
}

// A trigger setting that any of its inputs satisfies (in place of one input number).
constexpr int kAnyTrigger = 255;

// Rule applied to a value after every load. Unless marked signed, comparisons treat the
// value as unsigned 32 bits, so a negative value counts as too large.
struct SysParamClamp
{
    enum Kind {
        None,
        Above,              // value > high -> fallback
        Outside,            // value outside low..high -> fallback
        OutsideUnlessZero,  // value not 0 and outside low..high -> fallback
        MinusOneOrZero,     // value other than -1 and 0 -> fallback
        BelowSigned,        // value < low (signed) -> fallback
        OutsideSigned,      // value outside low..high (signed) -> fallback
    };
    Kind kind = None;
    int low = 0;
    int high = 0;
    int fallback = 0;

    int apply(int value) const;
};

// Consecutive positions of one sysparam row that share a destination and a rule.
struct SysParamRun
{
    enum Kind {
        Values,    // element `first` + k of the member that `member` returns
        Spare,     // every position reads into and is written from spareWord
        Language,  // the global gLan
        Mode,      // loaded into detectMode, saved from detectModeNext
    };
    Kind kind = Values;
    int* (*member)(WizardPara&) = nullptr;
    int first = 0;
    int count = 1;
    int initial = 0;  // the constructor value of these elements
    SysParamClamp clamp;
};

// One row of table sysparam. The password row holds text and has no runs.
struct SysParamRow
{
    QString name;
    QVector<SysParamRun> runs;
    int valueCount = 0;
    bool isText = false;
    // Value inserted at load when the row is missing; empty: a missing row is left alone.
    QString insertWhenMissing;
};

class WizardPara
{
public:
    WizardPara();
    ~WizardPara();
    WizardPara(const WizardPara&) = default;
    WizardPara& operator=(const WizardPara&) = default;

    // Field by field: every integer, the password text up to its NUL, the group fields.
    bool operator==(const WizardPara& other) const;
    bool operator!=(const WizardPara& other) const { return !(*this == other); }

    // Load and save through the main window's query on connection "dbIn" (or a query of
    // that connection when there is no main window), or through the query given.
    void LoadDatafromFile();
    void LoadDatafromFile(QSqlQuery& query);
    // True when every statement succeeded.
    bool SaveDatatoFile();
    bool SaveDatatoFile(QSqlQuery& query);
    void SaveChkDBItem(const QString& name);
    bool SaveChkDBItem(QSqlQuery& query, const QString& name);

    // Parameter groups: sysadd.txt and the sub-directories of ./paraGroup.
    void updateGroupName();
    QString getCurGroupName() const;
    void SaveAddFile();

    // The 23 rows in the stored table's order; the settings screen walks them too.
    static const QVector<SysParamRow>& sysParamRows();
    static const SysParamRow* sysParamRow(const QString& name);
    // The record value at a 1-based position of a row (numFailDetect 1 is the mode saved
    // for the next start, system2 13 the global gLan, a spare position spareWord);
    // null for the password row or a position the row does not have.
    int* sysParamValue(const QString& row, int position);
    // The stored text of a row as the save writes it, the language position given.
    QString sysParamText(const SysParamRow& row, int language) const;

    // The globals a load derives besides the record: gDNum and the main window's side flag.
    struct DerivedGlobals
    {
        static constexpr int kLeave = -1;
        int detections;
        int leftMoldOnly;  // kLeave: not changed
    };
    // What every load does after reading the rows, leaving the globals it derives to the
    // caller (only a stray gLan is clamped): the clamps, the next-start mode and the derived
    // values of the record. The factory data is the constructor's record after these rules.
    DerivedGlobals applyLoadRules();

    // Mode-3 names of the 18 monitored signals (gaName) from the input and output name
    // choices, in the current language; the settings screen calls it after a commit too.
    void setStageNames() const;

    // The detection switches, triggers and slot count of the machine mode in force, from the
    // record's own settings; the settings screen re-derives them after its edits.
    DerivedGlobals deriveValues();

    // Re-detect count of detection 0 or 1 (the unset word109 and reMoldTimes); 0 beyond.
    int reDetectTimes(int detection) const;

    int exposeTime[8] = {};
    int adjustPlus[8] = {};
    int sharp[8] = {};
    int contrast[8] = {};
    int gamma[8] = {};
    int trigInDelay[8] = {};
    int detectTrigIn[8] = {};
    int inInvert[8] = {};
    int outInitState[9] = {};
    int semiAuto = 0;
    int detectEnabled[8] = {};
    int sameParams = 0;
    int stopClampOnStop = 0;
    int motionCorrect = 0;
    int cutEjectorOnClamp = 0;
    int isPswUsed = 0;
    int templateAutoUpdate = 0;
    int detectProd = 0;
    int templateNum = 0;
    int ngRecordNum = 0;
    int okRecordNum = 0;
    int screenOffTime = 0;
    int speed = 0;
    int amplify = 0;
    int autoLogout = 0;
    int word109 = 0;  // read with reMoldTimes as a pair by detection; nothing sets it
    int reMoldTimes = 0;
    int reMoldDelay = 0;
    int ejectorPulse = 0;
    int clampPulse = 0;
    int output4Pulse = 0;
    int inputTime = 0;
    int shakeEraseTime = 0;
    int filterSize = 0;
    int filterArea = 0;
    int colorMinArea = 0;
    int colorMaxArea = 0;
    int matchAccuracy = 0;
    int zoomLayers = 0;
    int noEjectorCtrlInProd = 0;
    int ejectorPulseNoAlarm = 0;
    int moldNgPulse = 0;
    int input4Use = 0;
    int cutClampTimedMoldOk = 0;
    int cutEjectorTimedProdOk = 0;
    int okNgPulses = 0;
    int cutEjectorOnProdAlarm = 0;
    int cutClampOnMoldAlarm = 0;
    int moldNgTimedRelease = 0;
    int noDetectModeRelease = 0;
    int prodNgNoEjector = 0;
    int inputResetRecheck = 0;
    int noDetectPswProtect = 0;
    int addTemplatePswProtect = 0;
    int stopDetectPswProtect = 0;
    int doorLiftsAlarm = 0;
    int defectDetect = 0;
    int spotDetect = 0;
    int ignoreArea = 0;
    int manualLocate = 0;
    int showAllParams = 0;
    int doorTriggerDetect = 0;
    int sys3Value10 = 0;
    int useStatistics = 0;
    int output4Use = 0;
    int matchOffset = 0;
    int sys7Value11 = 0;
    int templateIsNg[2] = {};
    int realtimeRoi = 0;
    int useLog = 0;
    int sys6Value11 = 0;
    int matchBrightness = 0;
    int angleCorrect = 0;
    int holdImageAfterAlarm = 0;
    int addAllTemplates = 0;
    int sampleSeparately = 0;
    int skipProdNgRecheck = 0;
    int shieldPin = 0;
    int cameraLostAlarm = 0;
    int okMoldNum = 0;
    int continuationArea = 0;
    int rectToQuad = 0;
    int continuousCopy = 0;
    int zoomEnable = 0;
    int ioPort = 0;
    int colorCamera = 0;
    int grayChannel = 0;
    int noLensOptimize = 0;
    int minSpot = 0;
    int showManualSnapshot = 0;
    int showFactoryParams = 0;
    int separateDetectSignal = 0;
    int detectMode = 0;
    int detectModeNext = 0;
    int moldSide = 0;
    int preCut = 0;
    int autoShading = 0;
    int blackArea = 0;
    int whiteArea = 0;
    int whiteNumber = 0;
    int blackNumber = 0;
    int colorSpot = 0;
    int similarity = 0;
    int matchAngle = 0;
    int spareWord = 0;
    char password[100] = {};
    int days = 0;
    int lostUpanAlarm = 0;
    int useDiskSaveImage = 0;
    int sys7Value12 = 0;
    int detectCount = 0;
    int detectIoRow[8] = {};
    int ioRowInput[8] = {};
    int ioRowOutMode[8] = {};
    int detectIoRowLive[8] = {};
    int inNameSel[8] = {};
    int outNameSel[8] = {};
    int detectSlots = 0;
    int ioPageFlag = 0;
    int externalTrigger = 0;
    int sys11Values1to8[8] = {};
    int sys11Values9to16[8] = {};
    int hMirror[8] = {};
    int vMirror[8] = {};
    int sys9Value17 = 0;  // reserved: read and written back unchanged
    QString groupName;
    QDir groupDir;
    int groupIndex = -1;
    int sys9Value19 = 0;

private:
    void readGroupIndex();
    void applyClamps();
    void setSignalNames();
    void readRow(QSqlQuery& query, const SysParamRow& row);
    // Where position k of a run lives; forSave picks detectModeNext for the mode position.
    static int* runTarget(WizardPara& para, const SysParamRun& run, int k, bool forSave);
};

extern WizardPara* gpWPara;
extern WizardPara* gpWParaBak;

// The live parameters: the current record gpWPara, or the defaults while there is none.
const WizardPara& LivePara();
