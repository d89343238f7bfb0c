// DrawROIWidget: the commit of the teaching, its operation records and the retraining; leaving the page.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <QDebug>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "drawroiwidget.h"
#include "drawroiwidget_p.h"
#include "globals.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "recordsink.h"
#include "textids.h"

using namespace teach;

namespace {

const char* const kColourSpotName = "颜色斑点";

struct FunctionName
{
    int func;
    int entry;
};
const FunctionName kFunctionNames[] = {{0, 25}, {1, 15}, {2, 17}, {3, 21}, {7, 521}, {8, 626}, {10, 21}};

QString FunctionText(int f)
{
    if (f == 9)
        return QString::fromUtf8(kColourSpotName);
    for (const FunctionName& n : kFunctionNames)
        if (n.func == f)
            return LanStr(n.entry);
    return QString();
}

QString ShapeText(int type)
{
    if (type == kShapeRect)
        return LanStr(kTextRectName);
    if (type == kShapeCircle)
        return LanStr(kTextCircleName);
    return LanStr(kTextPolygonName);
}

// The fields of a shape that looking at it changes: selecting marks it, a press or a hover
// remembers the handle under the finger, a drag its last step. None of them is taught.
struct Transient
{
    bool selected;
    int handle;
    int moveX;
    int moveY;
};

Transient Take(const ClustomRect& r)
{
    return {r.selected, r.handle, r.moveX, r.moveY};
}

Transient Take(const Circle& c)
{
    return {c.selected, c.handle, 0, 0};
}

Transient Take(const RePolygon& p)
{
    return {p.selected, p.node, p.moveX, p.moveY};
}

void Put(ClustomRect& r, const Transient& t)
{
    r.selected = t.selected;
    r.handle = t.handle;
    r.moveX = t.moveX;
    r.moveY = t.moveY;
}

void Put(Circle& c, const Transient& t)
{
    c.selected = t.selected;
    c.handle = t.handle;
}

void Put(RePolygon& p, const Transient& t)
{
    p.selected = t.selected;
    p.node = t.handle;
    p.moveX = t.moveX;
    p.moveY = t.moveY;
}

// While it lives, the edit store's selection (the snapshot setSelectRoi took and the
// transient fields of every shape) equals the working store's, so that the whole-store
// comparison and the record's shape comparison see only what the operator taught; the edit
// store gets its own back at the end (the page may still show the selection).
class SelectionAligned
{
public:
    SelectionAligned(const CammerSingleton& a, CammerSingleton& b) : edit(b)
    {
        saved.reserve(size_t(kMaxDetections) * kMaxRegions * 3);
        for (int d = 0; d < kMaxDetections; ++d) {
            for (int k = 0; k < kMaxRegions; ++k) {
                saved.push_back(Take(b.rects[d][k]));
                saved.push_back(Take(b.circles[d][k]));
                saved.push_back(Take(b.polygons[d][k]));
                Put(b.rects[d][k], Take(a.rects[d][k]));
                Put(b.circles[d][k], Take(a.circles[d][k]));
                Put(b.polygons[d][k], Take(a.polygons[d][k]));
            }
        }
        selection = {b.selRoi, b.selFunc, b.selPara1, b.selPara2, b.selPara3};
        SetSelection(b, {a.selRoi, a.selFunc, a.selPara1, a.selPara2, a.selPara3});
    }
    ~SelectionAligned()
    {
        size_t at = 0;
        for (int d = 0; d < kMaxDetections; ++d) {
            for (int k = 0; k < kMaxRegions; ++k) {
                Put(edit.rects[d][k], saved[at++]);
                Put(edit.circles[d][k], saved[at++]);
                Put(edit.polygons[d][k], saved[at++]);
            }
        }
        SetSelection(edit, selection);
    }
    SelectionAligned(const SelectionAligned&) = delete;
    SelectionAligned& operator=(const SelectionAligned&) = delete;

private:
    static void SetSelection(CammerSingleton& s, const std::array<int, 5>& v)
    {
        s.selRoi = v[0];
        s.selFunc = v[1];
        s.selPara1 = v[2];
        s.selPara2 = v[3];
        s.selPara3 = v[4];
    }

    CammerSingleton& edit;
    std::vector<Transient> saved;
    std::array<int, 5> selection{};
};

bool ShapeDiffers(const CammerSingleton& a, const CammerSingleton& b, int d, int k, int type)
{
    if (type == kShapeRect)
        return std::memcmp(&a.rects[d][k], &b.rects[d][k], sizeof(ClustomRect)) != 0;
    if (type == kShapeCircle)
        return std::memcmp(&a.circles[d][k], &b.circles[d][k], sizeof(Circle)) != 0;
    return std::memcmp(&a.polygons[d][k], &b.polygons[d][k], sizeof(RePolygon)) != 0;
}

// The spot function keeps its grey limits in the two low bytes of its third value: byte 0 the
// minimum, byte 1 the maximum, as the panel and the recogniser read them.
int MinGrey(int p3)
{
    return int(unsigned(p3) & 0xFFu);
}

int MaxGrey(int p3)
{
    return int((unsigned(p3) >> 8) & 0xFFu);
}

// One phrase of a changed parameter, empty when the value stayed.
QString Phrase(int entry, int before, int after)
{
    return before == after ? QString() : LanStr(entry).arg(before).arg(after);
}

QString DetectionTitle(int c, int d)
{
    const int mode = LivePara().detectMode;
    const int entry = (mode == 1 || mode == 2) ? kTextLeftProd + d
                      : mode == kModeMulti     ? kTextFirst + d
                                               : kTextProd + d;
    return LanStr(kTextTitle).arg(c + 1).arg(LanStr(entry));
}

// The record of a region in both stores; empty when nothing worth a record changed.
QString ChangedText(const CammerSingleton& a, const CammerSingleton& b, int d, int k)
{
    const int type = b.shapeType[d][k];
    const bool moved = ShapeDiffers(a, b, d, k, type);
    const int f = b.func[d][k];
    const QString function = a.func[d][k] == f
                                 ? LanStr(kTextFunctionIs)
                                 : LanStr(kTextFunctionFrom) + FunctionText(a.func[d][k]) + LanStr(kTextFunctionTo);
    const int p1a = a.para1[d][k], p1b = b.para1[d][k];
    const int p2a = a.para2[d][k], p2b = b.para2[d][k];
    const int p3a = a.para3[d][k], p3b = b.para3[d][k];
    QString params;
    bool phrases = false;
    if (f == kFuncDefect) {
        const QString s1 = Phrase(kTextSensitivity, p1a, p1b), s2 = Phrase(kTextAreaChanged, p2a, p2b),
                      s3 = Phrase(kTextMinSize, p3a, p3b);
        phrases = !(s1 + s2 + s3).isEmpty();
        params = LanStr(kTextDefectChanged).arg(s1, s2, s3);
    } else if (f == kFuncSpot) {
        const QString s1 = Phrase(kTextMinGrey, MinGrey(p3a), MinGrey(p3b));
        const QString s2 = Phrase(kTextMaxGrey, MaxGrey(p3a), MaxGrey(p3b));
        const QString s3 = Phrase(kTextMinArea, p1a, p1b), s4 = Phrase(kTextMaxArea, p2a, p2b);
        phrases = !(s1 + s2 + s3 + s4).isEmpty();
        params = LanStr(kTextSpotChanged).arg(s1, s2, s3, s4);
    } else if (f == kFuncIgnore) {
        params = LanStr(kTextIgnoreArea);
    } else if (f == kFuncPosition) {
        const QString s1 = Phrase(kTextAccuracy, p1a, p1b), s2 = Phrase(kTextLeastMatch, p2a, p2b),
                      s3 = Phrase(kTextSearchSpeed, p3a, p3b);
        phrases = !(s1 + s2 + s3).isEmpty();
        params = LanStr(kTextPositionChanged).arg(s1, s2, s3);
    } else if (f == kFuncPerspective) {
        params = LanStr(kTextAngleCorrection);
    }
    if (!moved && !phrases)
        return QString();
    return LanStr(kTextChanged)
        .arg(ShapeText(type), QString::number(k + 1), function, params, moved ? LanStr(kTextShapeMoved) : QString());
}

QString DeletedText(const CammerSingleton& a, int d, int k)
{
    const int f = a.func[d][k];
    const QString name = f == kFuncPerspective ? LanStr(kTextAngleCorrection) : FunctionText(f);
    return LanStr(kTextDeleted).arg(ShapeText(a.shapeType[d][k]), QString::number(k + 1), name);
}

QString AddedText(const CammerSingleton& b, int d, int k)
{
    const int f = b.func[d][k];
    const int p1 = b.para1[d][k], p2 = b.para2[d][k], p3 = b.para3[d][k];
    QString what;
    // The values in the order the texts name them, as the panel and the changed-region
    // phrases read them: a defect region's filter size is its third value and its alarm
    // area its second; a position region keeps accuracy, least match and search speed.
    if (f == kFuncDefect)
        what = LanStr(kTextAddedDefect).arg(p1).arg(p3).arg(p2);
    else if (f == kFuncSpot)
        what = LanStr(kTextAddedSpot).arg(MinGrey(p3)).arg(MaxGrey(p3)).arg(p1).arg(p2);
    else if (f == kFuncIgnore)
        what = LanStr(kTextIgnoreArea);
    else if (f == kFuncPosition)
        what = LanStr(kTextAddedPosition).arg(p3).arg(p1).arg(p2);
    else if (f == kFuncPerspective)
        what = LanStr(kTextAngleCorrection);
    return LanStr(kTextAdded).arg(ShapeText(b.shapeType[d][k]), QString::number(k + 1), what);
}

bool IsPosition(int f)
{
    return f == kFuncPosition || f == kFuncPerspective;
}

bool RegionDiffers(const CammerSingleton& a, const CammerSingleton& b, int d, int k)
{
    return a.shapeType[d][k] != b.shapeType[d][k] || a.func[d][k] != b.func[d][k] || a.para1[d][k] != b.para1[d][k] ||
           a.para2[d][k] != b.para2[d][k] || a.para3[d][k] != b.para3[d][k] ||
           ShapeDiffers(a, b, d, k, b.shapeType[d][k]);
}

bool StoresDiffer(const CammerWidget* v)
{
    if (!v || !v->storeA || !v->storeB)
        return false;
    const SelectionAligned aligned(*v->storeA, *v->storeB);
    return std::memcmp(v->storeA, v->storeB, sizeof(CammerSingleton)) != 0;
}

}  // namespace

bool DrawROIWidget::RecordChanges(int c)
{
    const CammerWidget* v = View(c);
    const CammerSingleton& a = *v->storeA;
    const CammerSingleton& b = *v->storeB;
    const SelectionAligned aligned(a, *v->storeB);
    bool position = false;
    for (int d = 0; d < gDNum && d < kMaxDetections; ++d) {
        const QString title = DetectionTitle(c, d);
        const int before = std::clamp(a.roiNum[d], 0, kMaxRegions);
        const int after = std::clamp(b.roiNum[d], 0, kMaxRegions);
        for (int k = 0; k < std::max(before, after); ++k) {
            QString text;
            if (k < before && k < after) {
                if (RegionDiffers(a, b, d, k))
                    position = position || IsPosition(a.func[d][k]) || IsPosition(b.func[d][k]);
                text = ChangedText(a, b, d, k);
            } else if (k < before) {
                position = position || IsPosition(a.func[d][k]);
                text = DeletedText(a, d, k);
            } else {
                position = position || IsPosition(b.func[d][k]);
                text = AddedText(b, d, k);
            }
            if (!text.isEmpty())
                RecordOperation(title + text, "set");
        }
    }
    return position;
}

void DrawROIWidget::SlotSaveData()
{
    const WizardPara& p = LivePara();
    bool changed = false;
    bool saveFailed = false;
    for (int c = 0; c < numCamera; ++c) changed = changed || StoresDiffer(View(c));
    if (changed && AskOperator(LanStr(kTextSureSave))) {
        for (int c = 0; c < numCamera; ++c) {
            CammerWidget* v = View(c);
            if (!StoresDiffer(v))
                continue;
            const bool position = RecordChanges(c);
            CopyStore(*v->storeA, *v->storeB);
            v->RestorMask();
            if (p.sameParams && (SideModes() || (p.detectMode == kModeStandard && p.detectEnabled[0]))) {
                v->CopyPara();
                CopyStore(*v->storeB, *v->storeA);
                v->BackMask();
            }
            if (!v->storeA->SaveDatatoFile()) {
                qWarning() << "camera" << c + 1
                           << "teaching committed but not written to PARAM.db: it is lost at the next start";
                saveFailed = true;
            }
            retrainCamera[c] = true;
            if (position && v->recognizer) {
                for (int d = 0; d < kMaxDetections; ++d) {
                    if (!p.detectEnabled[d])
                        continue;
                    v->recognizer->CreateHomoShape(d);
                    v->recognizer->CreateShape(d);
                }
            }
        }
    }
    // Template changes retrain even when the operator keeps the regions as they were.
    for (int c = 0; c < numCamera; ++c) {
        CammerWidget* v = View(c);
        if (!retrainCamera[c] || !v)
            continue;
        retrainCamera[c] = false;
        if (!v->recognizer)
            continue;
        for (int d = 0; d < gDNum && d < kMaxDetections; ++d)
            if (p.detectEnabled[d])
                v->recognizer->VarTrain(d);
    }
    // Told once the recognisers work with the new teaching: it holds until the next start.
    if (saveFailed)
        WarnOperator(LanStr(kTextTeachingNotSaved));
}

void DrawROIWidget::SlotReturn()
{
    if (gpNumPad)
        gpNumPad->HideUpdate();
    if (gpNumCharPad)
        gpNumCharPad->HideUpdate();
    if (gpState)
        gpState->drawMode = kDrawNone;
    for (int c = 0; c < numCamera; ++c) {
        CammerWidget* v = View(c);
        if (!v)
            continue;
        v->curTempIndex = 0;
        v->DeselectROI();
        v->ShowHideROIPara();
        v->HotCameraUpdateROI();
    }
    Call(Teaching().zoomToMin);
    SlotSaveData();
    // Only after the question: the strip would cover the legend of the picture it asks about.
    Call(Teaching().showStatusStrip, true);
    if (gpState && gpState->pageState == kPageAlarm) {
        setSource(kSourceLiveImage);
        return;
    }
    panelLeft = false;
    if (gpState)
        gpState->copyMode = false;
    gSource = kSourceDetecting;
    Call(Teaching().showHelpButton, true);
    Restart();
    if (gFromTrain) {
        gFromTrain = 0;
        Call(Teaching().backTrain);
    }
}
