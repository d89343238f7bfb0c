// Parameter record: the sysparam row table, constructor values, load clamps and derived values.
#include "wizardpara.h"

#include <algorithm>
#include <iterator>
#include <type_traits>

#include <QFile>
#include <QTextStream>

#include "globals.h"
#include "lanstr.h"
#include "monitorlimits.h"
#include "textids.h"

WizardPara* gpWPara = nullptr;
WizardPara* gpWParaBak = nullptr;

const WizardPara& LivePara()
{
    static const WizardPara defaults;
    return gpWPara ? *gpWPara : defaults;
}

namespace {

constexpr int kInNameRows = static_cast<int>(std::size(gInName));
constexpr int kOutNameRows = static_cast<int>(std::size(gOutName));
constexpr int kIoRows = 8;
constexpr int kTriggerChoices = static_cast<int>(std::size(TriginNo));
constexpr int kNamedSignals = 8;

template <auto M>
int* memberOf(WizardPara& p)
{
    auto& m = p.*M;
    if constexpr (std::is_array_v<std::remove_reference_t<decltype(m)>>)
        return m;
    else
        return &m;
}

SysParamClamp above(int high, int fallback)
{
    return {SysParamClamp::Above, 0, high, fallback};
}

SysParamClamp outside(int low, int high, int fallback)
{
    return {SysParamClamp::Outside, low, high, fallback};
}

template <auto M>
SysParamRun one(SysParamClamp clamp = {}, int initial = 0)
{
    return {SysParamRun::Values, &memberOf<M>, 0, 1, initial, clamp};
}

template <auto M>
SysParamRun many(int first, int count, SysParamClamp clamp = {})
{
    return {SysParamRun::Values, &memberOf<M>, first, count, 0, clamp};
}

SysParamRun spare(int count = 1)
{
    return {SysParamRun::Spare, nullptr, 0, count, 0, above(100000000, 0)};
}

SysParamRun language()
{
    return {SysParamRun::Language, nullptr, 0, 1, 0, above(3, 0)};
}

SysParamRun mode()
{
    return {SysParamRun::Mode, nullptr, 0, 1, 0, above(3, 0)};
}

SysParamRow row(const char* name, QVector<SysParamRun> runs, const QString& insertWhenMissing = QString())
{
    SysParamRow r;
    r.name = QString::fromLatin1(name);
    for (const SysParamRun& run : runs) r.valueCount += run.count;
    r.runs = std::move(runs);
    r.insertWhenMissing = insertWhenMissing;
    return r;
}

QString zeros(int count)
{
    QStringList values;
    for (int i = 0; i < count; ++i) values << QStringLiteral("0");
    return values.join(' ');
}

using W = WizardPara;

// Exposure, gain, sharpness and contrast of cameras 0..3 have rows of their own; the
// later cameras were added into system5 and system6, hence the split runs.
QVector<SysParamRow> buildRows()
{
    const SysParamClamp exposeClamp = above(10000, 30);
    const SysParamClamp gainClamp = above(10000, 32);
    const SysParamClamp sharpClamp = above(10000, 0);
    const SysParamClamp contrastClamp = above(10000, 50);
    // Stored indices into fixed tables: a corrupt database must not index past them.
    const SysParamClamp ioRowClamp = {SysParamClamp::OutsideSigned, -1, kIoRows - 1, -1};

    SysParamRow password = row("password", {});
    password.isText = true;

    // A re-created system7 carries a 1 at position 7: the alarm output's initial state.
    const QString system7Missing = QStringLiteral("0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");

    return {
        row("trigInDelay", {many<&W::trigInDelay>(0, 8)}),
        row("exposeTime", {many<&W::exposeTime>(0, 4, exposeClamp)}),
        row("adjustPlus", {many<&W::adjustPlus>(0, 4, gainClamp)}),
        row("sharp", {many<&W::sharp>(0, 4, sharpClamp)}),
        row("contrast", {many<&W::contrast>(0, 4, contrastClamp)}),
        row("numAllDetect", {many<&W::gamma>(0, 8, above(10000, 70))}),
        row("numFailDetect", {mode(), one<&W::moldSide>(), spare(), one<&W::autoShading>(), one<&W::colorSpot>(),
                              one<&W::blackArea>(), one<&W::whiteArea>(), one<&W::similarity>()}),
        row("isPswUsed", {one<&W::isPswUsed>()}),
        password,
        row("system1", {one<&W::semiAuto>(), one<&W::detectProd>(), one<&W::sameParams>(),
                        one<&W::motionCorrect>({SysParamClamp::MinusOneOrZero, 0, 0, -1}), one<&W::stopClampOnStop>(),
                        one<&W::preCut>(above(10000, 0)), one<&W::reMoldTimes>(above(10000, 0)),
                        one<&W::okRecordNum>(above(20000, 0)), one<&W::rectToQuad>()}),
        row("system2", {one<&W::cutEjectorOnClamp>(), one<&W::templateNum>(outside(1, 100, 10)),
                        one<&W::minSpot>(outside(1, 100, 3)), one<&W::ngRecordNum>(above(20000, 0)),
                        one<&W::ejectorPulse>(above(10000, 0)), one<&W::clampPulse>(above(10000, 0)),
                        one<&W::ejectorPulseNoAlarm>(), one<&W::cutClampTimedMoldOk>(), one<&W::noEjectorCtrlInProd>(),
                        one<&W::noDetectPswProtect>(), one<&W::addTemplatePswProtect>(), one<&W::cameraLostAlarm>(),
                        language(), one<&W::output4Use>(), one<&W::matchOffset>(outside(1, 8000, 8000)),
                        one<&W::screenOffTime>({SysParamClamp::OutsideUnlessZero, 30, 9999, 600}),
                        one<&W::speed>(above(100, 12)), one<&W::inputTime>(above(100000000, 60))}),
        row("system3",
            {one<&W::input4Use>(), one<&W::doorLiftsAlarm>(), one<&W::amplify>(above(4, 0)), one<&W::defectDetect>(),
             one<&W::spotDetect>(), one<&W::ignoreArea>(), one<&W::manualLocate>(), one<&W::showAllParams>(),
             one<&W::autoLogout>(above(10000, 0)), one<&W::sys3Value10>(), one<&W::doorTriggerDetect>()}),
        row("system4", {one<&W::templateAutoUpdate>(), one<&W::filterSize>(outside(1, 100, 3)),
                        one<&W::filterArea>(outside(1, 1000, 100))}),
        row("system5", {many<&W::exposeTime>(4, 2, exposeClamp), many<&W::adjustPlus>(4, 2, gainClamp),
                        many<&W::sharp>(4, 2, sharpClamp), many<&W::contrast>(4, 2, contrastClamp),
                        one<&W::okNgPulses>(), one<&W::matchAngle>(above(180, 0)), one<&W::cutEjectorOnProdAlarm>(),
                        one<&W::externalTrigger>(), one<&W::cutClampOnMoldAlarm>()}),
        row("system6",
            {many<&W::exposeTime>(6, 2, exposeClamp), many<&W::adjustPlus>(6, 2, gainClamp),
             many<&W::sharp>(6, 2, sharpClamp), many<&W::contrast>(6, 2, contrastClamp), one<&W::shakeEraseTime>(),
             one<&W::useStatistics>(), one<&W::sys6Value11>(), one<&W::stopDetectPswProtect>()}),
        row("system7",
            {one<&W::ioPort>(above(100, 0)), one<&W::colorCamera>(), one<&W::grayChannel>(),
             one<&W::showManualSnapshot>(), many<&W::outInitState>(0, 3), one<&W::noLensOptimize>(),
             many<&W::outInitState>(3, 1), one<&W::showFactoryParams>(), one<&W::sys7Value11>(), one<&W::sys7Value12>(),
             one<&W::realtimeRoi>(), one<&W::sampleSeparately>(), many<&W::outInitState>(4, 5), one<&W::whiteNumber>()},
            system7Missing),
        row("system8",
            {one<&W::detectCount>(outside(2, 8, 2), 2), many<&W::ioRowInput>(0, 8, above(kTriggerChoices - 1, 0)),
             many<&W::ioRowOutMode>(0, 8), one<&W::cutEjectorTimedProdOk>(), one<&W::useLog>(),
             one<&W::matchBrightness>()},
            zeros(20)),
        row("system9",
            {many<&W::detectIoRow>(0, 8, ioRowClamp), one<&W::matchAccuracy>(above(10, 5), 5),
             one<&W::zoomLayers>(above(10, 5), 5), one<&W::moldNgTimedRelease>(), one<&W::output4Pulse>(),
             one<&W::continuationArea>(), one<&W::noDetectModeRelease>(), one<&W::prodNgNoEjector>(),
             one<&W::continuousCopy>(), one<&W::sys9Value17>(), one<&W::inputResetRecheck>(), one<&W::sys9Value19>(),
             spare()},
            zeros(20)),
        row("system10",
            {many<&W::inNameSel>(0, 8, above(kInNameRows - 1, 0)),
             many<&W::outNameSel>(0, 8, above(kOutNameRows - 1, 0)),
             one<&W::days>({SysParamClamp::BelowSigned, 1, 0, 31}, 31), one<&W::lostUpanAlarm>(),
             one<&W::useDiskSaveImage>(), spare()},
            zeros(20)),
        row("system11",
            {many<&W::sys11Values1to8>(0, 8), many<&W::sys11Values9to16>(0, 8), one<&W::ioPageFlag>(),
             many<&W::templateIsNg>(0, 2), spare()},
            zeros(20)),
        row("system12",
            {one<&W::angleCorrect>(), many<&W::hMirror>(0, 8), many<&W::vMirror>(0, 8), one<&W::holdImageAfterAlarm>(),
             one<&W::addAllTemplates>(), one<&W::separateDetectSignal>()},
            zeros(20)),
        row("system13",
            {spare(16), one<&W::blackNumber>(), one<&W::skipProdNgRecheck>(), spare(), one<&W::shieldPin>()},
            zeros(20)),
        row("system14",
            {one<&W::moldNgPulse>(), one<&W::reMoldDelay>(), one<&W::okMoldNum>(), one<&W::zoomEnable>(), spare(16)},
            zeros(20)),
    };
}

// Values kept only in memory that still have a constructor value and a load clamp.
const QVector<SysParamRun>& unstoredRuns()
{
    static const QVector<SysParamRun> runs = {
        one<&W::colorMinArea>(outside(1, 100000, 1000)),
        one<&W::colorMaxArea>(outside(1, 100000, 1000), 1000),
    };
    return runs;
}

// --- field-by-field comparison -------------------------------------------------------

bool sameValue(int a, int b)
{
    return a == b;
}

template <std::size_t N>
bool sameValue(const int (&a)[N], const int (&b)[N])
{
    return std::equal(std::begin(a), std::end(a), std::begin(b));
}

// The password is a C string: bytes after its NUL are leftovers, not part of the value.
template <std::size_t N>
bool sameValue(const char (&a)[N], const char (&b)[N])
{
    return qstrncmp(a, b, N) == 0;
}

bool sameValue(const QString& a, const QString& b)
{
    return a == b;
}

bool sameValue(const QDir& a, const QDir& b)
{
    return a == b;
}

template <class... M>
bool sameMembers(const WizardPara& a, const WizardPara& b, M... members)
{
    return (sameValue(a.*members, b.*members) && ...);
}

// --- derived values ----------------------------------------------------------------

// Marks an enable flag that follows the product-detection switch.
constexpr int kFollowsProd = -1;
constexpr int kUnchanged = WizardPara::DerivedGlobals::kLeave;

// Two-colour and turntable machines: which detections run for each mould side.
struct SideRule
{
    int enabled[4];
    int leftMoldOnly;
    int triggerCode;
};

const SideRule kSideRules[] = {
    {{kFollowsProd, 1, 0, 0}, 1, 0},                                // left mould
    {{0, 0, kFollowsProd, 1}, 0, 3},                                // right mould
    {{kFollowsProd, 1, kFollowsProd, 1}, kUnchanged, kAnyTrigger},  // both
    {{kFollowsProd, 1, kFollowsProd, 1}, kUnchanged, kAnyTrigger},
};

// Default signal names of machine modes 0..2 (text-table entries).
const int kModeSignalEntries[3][kNamedSignals] = {
    {301, 302, 303, 304, 305, 306, 307, 304},
    {301, 302, 376, 377, 305, 378, 307, 304},
    {379, 380, 381, 382, 378, 306, 307, 304},
};

// A name choice outside its table counts as row 0.
template <std::size_t Rows>
QString signalName(const char* (&table)[Rows][kLanColumns], int choice)
{
    const char* name = table[static_cast<quint32>(choice) < Rows ? choice : 0][gLan];
    return name ? QString::fromUtf8(name) : QString();
}

}  // namespace

// --- SysParamClamp -----------------------------------------------------------------

int SysParamClamp::apply(int value) const
{
    const quint32 u = static_cast<quint32>(value);
    const bool outsideUnsigned = u < static_cast<quint32>(low) || u > static_cast<quint32>(high);
    bool bad = false;
    switch (kind) {
        case None:
            break;
        case Above:
            bad = u > static_cast<quint32>(high);
            break;
        case Outside:
            bad = outsideUnsigned;
            break;
        case OutsideUnlessZero:
            bad = value != 0 && outsideUnsigned;
            break;
        case MinusOneOrZero:
            bad = value != -1 && value != 0;
            break;
        case BelowSigned:
            bad = value < low;
            break;
        case OutsideSigned:
            bad = value < low || value > high;
            break;
    }
    return bad ? fallback : value;
}

// --- WizardPara --------------------------------------------------------------------

WizardPara::WizardPara() : groupName(QStringLiteral("default"))
{
    auto setInitial = [this](const SysParamRun& run) {
        // The language lives outside the record: constructing one must not reset it.
        if (run.kind == SysParamRun::Language)
            return;
        for (int k = 0; k < run.count; ++k) *runTarget(*this, run, k, false) = run.initial;
    };
    for (const SysParamRow& r : sysParamRows()) std::for_each(r.runs.begin(), r.runs.end(), setInitial);
    std::for_each(unstoredRuns().begin(), unstoredRuns().end(), setInitial);
    detectEnabled[1] = 1;
}

WizardPara::~WizardPara() = default;

bool WizardPara::operator==(const WizardPara& o) const
{
    return sameMembers(
        *this, o, &W::exposeTime, &W::adjustPlus, &W::sharp, &W::contrast, &W::gamma, &W::trigInDelay, &W::detectTrigIn,
        &W::inInvert, &W::outInitState, &W::semiAuto, &W::detectEnabled, &W::sameParams, &W::stopClampOnStop,
        &W::motionCorrect, &W::cutEjectorOnClamp, &W::isPswUsed, &W::templateAutoUpdate, &W::detectProd,
        &W::templateNum, &W::ngRecordNum, &W::okRecordNum, &W::screenOffTime, &W::speed, &W::amplify, &W::autoLogout,
        &W::word109, &W::reMoldTimes, &W::reMoldDelay, &W::ejectorPulse, &W::clampPulse, &W::output4Pulse,
        &W::inputTime, &W::shakeEraseTime, &W::filterSize, &W::filterArea, &W::colorMinArea, &W::colorMaxArea,
        &W::matchAccuracy, &W::zoomLayers, &W::noEjectorCtrlInProd, &W::ejectorPulseNoAlarm, &W::moldNgPulse,
        &W::input4Use, &W::cutClampTimedMoldOk, &W::cutEjectorTimedProdOk, &W::okNgPulses, &W::cutEjectorOnProdAlarm,
        &W::cutClampOnMoldAlarm, &W::moldNgTimedRelease, &W::noDetectModeRelease, &W::prodNgNoEjector,
        &W::inputResetRecheck, &W::noDetectPswProtect, &W::addTemplatePswProtect, &W::stopDetectPswProtect,
        &W::doorLiftsAlarm, &W::defectDetect, &W::spotDetect, &W::ignoreArea, &W::manualLocate, &W::showAllParams,
        &W::doorTriggerDetect, &W::sys3Value10, &W::useStatistics, &W::output4Use, &W::matchOffset, &W::sys7Value11,
        &W::templateIsNg, &W::realtimeRoi, &W::useLog, &W::sys6Value11, &W::matchBrightness, &W::angleCorrect,
        &W::holdImageAfterAlarm, &W::addAllTemplates, &W::sampleSeparately, &W::skipProdNgRecheck, &W::shieldPin,
        &W::cameraLostAlarm, &W::okMoldNum, &W::continuationArea, &W::rectToQuad, &W::continuousCopy, &W::zoomEnable,
        &W::ioPort, &W::colorCamera, &W::grayChannel, &W::noLensOptimize, &W::minSpot, &W::showManualSnapshot,
        &W::showFactoryParams, &W::separateDetectSignal, &W::detectMode, &W::detectModeNext, &W::moldSide, &W::preCut,
        &W::autoShading, &W::blackArea, &W::whiteArea, &W::whiteNumber, &W::blackNumber, &W::colorSpot, &W::similarity,
        &W::matchAngle, &W::spareWord, &W::password, &W::days, &W::lostUpanAlarm, &W::useDiskSaveImage, &W::sys7Value12,
        &W::detectCount, &W::detectIoRow, &W::ioRowInput, &W::ioRowOutMode, &W::detectIoRowLive, &W::inNameSel,
        &W::outNameSel, &W::detectSlots, &W::ioPageFlag, &W::externalTrigger, &W::sys11Values1to8, &W::sys11Values9to16,
        &W::hMirror, &W::vMirror, &W::sys9Value17, &W::groupName, &W::groupDir, &W::groupIndex, &W::sys9Value19);
}

const QVector<SysParamRow>& WizardPara::sysParamRows()
{
    static const QVector<SysParamRow> rows = buildRows();
    return rows;
}

const SysParamRow* WizardPara::sysParamRow(const QString& name)
{
    for (const SysParamRow& r : sysParamRows()) {
        if (r.name == name)
            return &r;
    }
    return nullptr;
}

int* WizardPara::runTarget(WizardPara& para, const SysParamRun& run, int k, bool forSave)
{
    switch (run.kind) {
        case SysParamRun::Spare:
            return &para.spareWord;
        case SysParamRun::Language:
            return &gLan;
        case SysParamRun::Mode:
            return forSave ? &para.detectModeNext : &para.detectMode;
        case SysParamRun::Values:
            break;
    }
    return run.member(para) + run.first + k;
}

int* WizardPara::sysParamValue(const QString& rowName, int position)
{
    const SysParamRow* r = sysParamRow(rowName);
    if (!r || position < 1)
        return nullptr;
    int k = position - 1;
    for (const SysParamRun& run : r->runs) {
        if (k < run.count)
            return runTarget(*this, run, k, true);
        k -= run.count;
    }
    return nullptr;
}

int WizardPara::reDetectTimes(int detection) const
{
    const int pair[2] = {word109, reMoldTimes};
    return detection == 0 || detection == 1 ? pair[detection] : 0;
}

void WizardPara::applyClamps()
{
    auto clampRun = [this](const SysParamRun& run) {
        for (int k = 0; k < run.count; ++k) {
            int* value = runTarget(*this, run, k, false);
            *value = run.clamp.apply(*value);
        }
    };
    for (const SysParamRow& r : sysParamRows()) std::for_each(r.runs.begin(), r.runs.end(), clampRun);
    std::for_each(unstoredRuns().begin(), unstoredRuns().end(), clampRun);
}

WizardPara::DerivedGlobals WizardPara::applyLoadRules()
{
    applyClamps();
    detectModeNext = detectMode;
    return deriveValues();
}

WizardPara::DerivedGlobals WizardPara::deriveValues()
{
    // At least one inspection method is always on.
    const int* const inspections[] = {&defectDetect, &spotDetect,  &blackArea,   &whiteArea,
                                      &similarity,   &whiteNumber, &blackNumber, &colorSpot};
    if (std::all_of(std::begin(inspections), std::end(inspections), [](const int* f) { return *f == 0; }))
        defectDetect = 1;

    switch (detectMode) {
        case 0:
            detectSlots = 4;
            detectEnabled[1] = 1;
            detectEnabled[0] = detectProd;
            detectTrigIn[0] = 0;
            detectTrigIn[1] = semiAuto ? 2 : 0;
            std::fill(outInitState + 4, outInitState + 8, ejectorPulseNoAlarm == 0 ? 1 : 0);
            return {2, kUnchanged};
        case 1:
        case 2: {
            detectSlots = 4;
            moldSide = SysParamClamp{SysParamClamp::Above, 0, 3, 0}.apply(moldSide);
            const SideRule& rule = kSideRules[moldSide];
            for (int d = 0; d < 4; ++d)
                detectEnabled[d] = rule.enabled[d] == kFollowsProd ? (detectProd != 0) : rule.enabled[d];
            const int c = rule.triggerCode;
            if (detectMode == 1) {
                detectTrigIn[0] = 0;
                detectTrigIn[1] = moldSide == 0 ? 2 : c;
            } else {
                detectTrigIn[0] = c;
                detectTrigIn[1] = semiAuto ? 2 : c;
            }
            return {4, rule.leftMoldOnly};
        }
        default:
            detectSlots = detectCount;
            for (int d = 0; d < kMaxDetections; ++d) {
                const bool used = d < detectCount;
                if (used)
                    detectIoRowLive[d] = detectIoRow[d];
                // Choices edited since the load are not clamped: one that points outside the
                // choice list, or at an input the board does not have, leaves the detection off.
                const int ioRow = used ? detectIoRow[d] : -1;
                const bool rowKnown = ioRow >= 0 && ioRow < kMaxDetections;
                const int input = rowKnown ? ioRowInput[ioRow] : -1;
                const bool triggers = input >= 0 && input < kTriggerChoices;
                detectEnabled[d] = triggers ? 1 : 0;
                detectTrigIn[d] = triggers ? TriginNo[input] - 1 : -1;
            }
            return {detectCount, kUnchanged};
    }
}

void WizardPara::setSignalNames()
{
    // An operator-supplied name file overrides the defaults of every mode.
    QFile nameFile(QStringLiteral("name.txt"));
    if (nameFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&nameFile);
        in.setCodec("UTF-8");
        for (int i = 0; i < kNamedSignals; ++i) gaName[i] = in.readLine();
        return;
    }
    if (detectMode < 3) {
        for (int i = 0; i < kNamedSignals; ++i) gaName[i] = LanStr(kModeSignalEntries[detectMode][i]);
        return;
    }
    setStageNames();
}

void WizardPara::setStageNames() const
{
    gaName[0] = signalName(gInName, inNameSel[0]);
    gaName[1] = LanStr(kTextSafetySignal);
    for (int i = 1; i < 8; ++i) gaName[1 + i] = signalName(gInName, inNameSel[i]);
    gaName[9] = signalName(gOutName, outNameSel[0]);
    gaName[10] = signalName(gOutName, outNameSel[1]);
    gaName[11] = LanStr(kTextAlarmSignal);
    for (int i = 2; i < 8; ++i) gaName[10 + i] = signalName(gOutName, outNameSel[i]);
}
