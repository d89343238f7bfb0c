// RoiParamPanel: function defaults, slider tables, panel placement and the parameter slots.
#include "roiparampanel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "colorbutton.h"
#include "combobox.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "slider.h"
#include "textfit.h"
#include "textids.h"
#include "wizardpara.h"

namespace {

constexpr int kUnset = INT_MIN;  // a default the function does not write

struct FuncDefaults
{
    int p1, p2, p3;
};

int Halves(int low, int high)
{
    return int((unsigned(high) << 16) | (unsigned(low) & 0xFFFFu));
}

// Defaults by function; function 0 reads two of them from the parameters.
const FuncDefaults kFuncDefaults[kFuncCount] = {
    {45, kUnset, kUnset},  // from filterArea and filterSize
    {80, 500, 12800},      // para3 bytes: min grey 0, max grey 50
    {0, 0, 30},
    {10, 0, 1},
    {50, 100, kUnset},
    {200, 100, kUnset},
    {80, kUnset, kUnset},
    {128, Halves(1, 100), 1},
    {128, Halves(1, 100), 1},
    {Halves(1, 100), Halves(1, 100), Halves(1, 100)},
    {1, 1, 1},
};

int WizardPara::*const kFuncSwitch[kFuncCount] = {
    &WizardPara::defectDetect, &WizardPara::spotDetect, &WizardPara::ignoreArea,   &WizardPara::manualLocate,
    &WizardPara::blackArea,    &WizardPara::whiteArea,  &WizardPara::similarity,   &WizardPara::whiteNumber,
    &WizardPara::blackNumber,  &WizardPara::colorSpot,  &WizardPara::angleCorrect,
};

// Caption of the function button: a text entry, or a fixed text where the table has none.
struct Caption
{
    int entry;
    const char* fixed;
};

const Caption kFuncCaption[kFuncCount] = {
    {25, nullptr},  {15, nullptr},  {17, nullptr},  {21, nullptr},    {392, nullptr}, {393, nullptr},
    {398, nullptr}, {521, nullptr}, {626, nullptr}, {-1, "颜色斑点"}, {583, nullptr},
};

struct SliderDef
{
    ParamPart part;
    int min;
    int max;
    Caption caption;
};

constexpr int kSliders = 3;  // 0 sensitivity (para1), 1 area (para2), 2 filter (para3)

// What each slider edits on the first page, by function.
const SliderDef kPage1[kFuncCount][kSliders] = {
    {{ParamPart::Whole, 0, 100, {23, nullptr}},
     {ParamPart::Whole, 0, 1000, {24, nullptr}},
     {ParamPart::Whole, 1, 10, {22, nullptr}}},
    {{ParamPart::Whole, 0, 999999, {13, nullptr}},
     {ParamPart::Whole, 0, 999999, {14, nullptr}},
     {ParamPart::Byte0, 0, 255, {10, nullptr}}},
    {{ParamPart::Whole, 0, 255, {16, nullptr}},
     {ParamPart::Whole, 0, 255, {16, nullptr}},
     {ParamPart::Whole, 0, 255, {16, nullptr}}},
    {{ParamPart::Whole, 0, 100, {16, nullptr}},
     {ParamPart::Whole, 0, 10, {16, nullptr}},
     {ParamPart::Whole, 0, 10, {16, nullptr}}},
    {{ParamPart::Whole, 0, 255, {11, nullptr}},
     {ParamPart::Whole, 0, 50000, {24, nullptr}},
     {ParamPart::Whole, 0, 255, {16, nullptr}}},
    {{ParamPart::Whole, 0, 255, {10, nullptr}},
     {ParamPart::Whole, 0, 50000, {24, nullptr}},
     {ParamPart::Whole, 0, 255, {16, nullptr}}},
    {{ParamPart::Whole, 0, 100, {362, nullptr}},
     {ParamPart::Whole, 0, 50000, {24, nullptr}},
     {ParamPart::Whole, 0, 255, {16, nullptr}}},
    {{ParamPart::Whole, 0, 255, {10, nullptr}},
     {ParamPart::Low16, 0, 100, {627, nullptr}},
     {ParamPart::Whole, 1, 100, {22, nullptr}}},
    {{ParamPart::Whole, 0, 255, {11, nullptr}},
     {ParamPart::Low16, 0, 100, {627, nullptr}},
     {ParamPart::Whole, 1, 100, {22, nullptr}}},
    {{ParamPart::Low16, 0, 255, {-1, "红色最小"}},
     {ParamPart::Low16, 0, 255, {-1, "绿色最小"}},
     {ParamPart::Low16, 0, 255, {-1, "蓝色最小"}}},
    {{ParamPart::Whole, 1, 2, {16, nullptr}},
     {ParamPart::Whole, 1, 2, {16, nullptr}},
     {ParamPart::Whole, 1, 2, {16, nullptr}}},
};

// The sliders that edit another part of their parameter on the second page.
struct Page2Spec
{
    int func;
    int slider;
    SliderDef def;
};

const Page2Spec kPage2[] = {
    {1, 2, {ParamPart::Byte1, 0, 255, {11, nullptr}}},     {7, 1, {ParamPart::High16, 0, 100, {628, nullptr}}},
    {8, 1, {ParamPart::High16, 0, 100, {628, nullptr}}},   {9, 0, {ParamPart::High16, 0, 255, {-1, "红色最大"}}},
    {9, 1, {ParamPart::High16, 0, 255, {-1, "绿色最大"}}}, {9, 2, {ParamPart::High16, 0, 255, {-1, "蓝色最大"}}},
};

const SliderDef& SliderOf(int f, int s, bool page2)
{
    if (f < 0 || f >= kFuncCount)
        f = 0;
    if (page2) {
        for (const Page2Spec& p : kPage2) {
            if (p.func == f && p.slider == s)
                return p.def;
        }
    }
    return kPage1[f][s];
}

bool HasSecondPage(int f)
{
    return f == 1 || f == 7 || f == 8 || f == 9;
}

// Packed parts a function keeps in parameter s, each with its own range (a synchronised
// change must stay inside each part).
std::vector<SliderDef> PartsOf(int f, int s)
{
    std::vector<SliderDef> parts{SliderOf(f, s, false)};
    const SliderDef& second = SliderOf(f, s, true);
    if (second.part != parts.front().part)
        parts.push_back(second);
    return parts;
}

QString CaptionText(const Caption& c)
{
    if (c.fixed)
        return QString::fromUtf8(c.fixed);
    return LanStr(c.entry);
}

int CurDetect()
{
    return gpState ? std::clamp(gpState->curDetect, 0, kMaxDetections - 1) : 0;
}

// Layout: rows 50 apart, 45 high; the panel reserves 51 per row and keeps 20 from the region.
constexpr int kRowPitch = 50;
constexpr int kRowHeight = 45;
constexpr int kRowReserve = 51;
constexpr int kRegionGap = 20;
constexpr int kAboveMargin = 40;
constexpr int kBottomReserve = 70;
constexpr int kPanelLeft = 400;
constexpr int kSliderRightFromCentre = 424;
constexpr int kHintMs = 3000;

struct Span
{
    int left;
    int right;
};

// Button row, by widget: x ranges for every language but Japanese, and for Japanese.
enum RowWidget {
    kRowFunc,
    kRowParaSwitch,
    kRowOutN,
    kRowNextRoi,
    kRowObject,
    kRowAdd10,
    kRowAdd1,
    kRowSub1,
    kRowSub10
};
const Span kButtonRow[][2] = {
    {{483, 602}, {483, 602}},     {{606, 725}, {606, 785}},     {{729, 793}, {789, 853}},
    {{797, 916}, {857, 1036}},    {{920, 1009}, {1040, 1129}},  {{1013, 1102}, {1133, 1222}},
    {{1106, 1195}, {1226, 1315}}, {{1199, 1288}, {1319, 1408}}, {{1292, 1381}, {1412, 1501}},
};
const Span kLabelFunc{400, 479};

// Bottom row: y from gShowH - 80 to gShowH - 6.
constexpr int kBottomTop = 80;
constexpr int kBottomEnd = 6;
const Span kSyncSpan{350, 529};
const Span kToggleSpan{540, 649};
const Span kMoveSpans[4] = {{660, 819}, {830, 989}, {1000, 1159}, {1170, 1329}};
const Span kMoveAllSpan{1340, 1519};
// Width a button's rounded face keeps free beside its caption.
constexpr int kCaptionEdges = 6;

void PlaceSpan(QWidget* w, Span s, int top, int bottom)
{
    w->setGeometry(s.left, top, s.right - s.left + 1, bottom - top + 1);
}

ColorButton* MakeButton(const QString& text, QWidget* parent, int sizeClass, bool repeat)
{
    auto* b = new ColorButton(text, parent, sizeClass);
    if (repeat)
        b->SetRepeat();
    b->hide();
    return b;
}

}  // namespace

int GetFuncInitParam(int f, int& p1, int& p2, int& p3)
{
    const bool known = f >= 0 && f < kFuncCount;
    const FuncDefaults& d = kFuncDefaults[known ? f : 0];
    if (d.p1 != kUnset)
        p1 = d.p1;
    if (d.p2 != kUnset)
        p2 = d.p2;
    if (d.p3 != kUnset)
        p3 = d.p3;
    if (!known || f == 0) {
        p2 = LivePara().filterArea;
        p3 = LivePara().filterSize;
    }
    return known ? 1 : 0;
}

bool FuncEnabled(const WizardPara& p, int f)
{
    return f >= 0 && f < kFuncCount && p.*kFuncSwitch[f] != 0;
}

int ReadPart(int word, ParamPart part)
{
    const unsigned w = unsigned(word);
    switch (part) {
        case ParamPart::Low16:
            return int(w & 0xFFFFu);
        case ParamPart::High16:
            return int(w >> 16);
        case ParamPart::Byte0:
            return int(w & 0xFFu);
        case ParamPart::Byte1:
            return int((w >> 8) & 0xFFu);
        case ParamPart::Whole:
            break;
    }
    return word;
}

int WritePart(int word, ParamPart part, int value)
{
    const unsigned w = unsigned(word);
    const unsigned v = unsigned(value);
    switch (part) {
        case ParamPart::Low16:
            return int((w & 0xFFFF0000u) | (v & 0xFFFFu));
        case ParamPart::High16:
            return int((w & 0xFFFFu) | (v << 16));
        case ParamPart::Byte0:
            return int((w & ~0xFFu) | (v & 0xFFu));
        case ParamPart::Byte1:
            return int((w & ~0xFF00u) | ((v & 0xFFu) << 8));
        case ParamPart::Whole:
            break;
    }
    return value;
}

int PanelTop(const CammerSingleton& s, int d, int i, int h, float fullScaleY)
{
    const int type = s.shapeType[d][i];
    QRect image(0, 0, 0, 0);
    if (type == kShapeRect)
        image = s.rects[d][i].imageRect;
    else if (type == kShapeCircle)
        image = s.circles[d][i].imageRect;
    else if (type == kShapePolygon)
        image = s.polygons[d][i].imageRect;
    int top = 0, bottom = 0;
    if (type == kShapeRect || type == kShapeCircle || type == kShapePolygon) {
        top = int(float(image.top()) * fullScaleY);
        bottom = int(float(image.bottom() + 1) * fullScaleY);
    }
    const int need = h + kRegionGap;
    const int fallback = gShowH - kBottomReserve - h;
    if (need < top - kAboveMargin)
        return top - need;
    if (bottom + need < gShowH - kBottomReserve)
        return bottom + kRegionGap;
    if (type == kShapeRect)
        return top + kRegionGap;
    if (type == kShapeCircle) {
        const Circle& c = s.circles[d][i];
        return c.r > need ? c.cy - need : fallback;
    }
    if (type == kShapePolygon) {
        const RePolygon& p = s.polygons[d][i];
        std::vector<int> ys;
        for (int k = 0; k < std::clamp(p.count, 0, kMaxPolygonPoints); ++k) ys.push_back(p.points[k].y());
        std::sort(ys.begin(), ys.end());
        if (!ys.empty() && need < ys.front())
            return ys.front() - need;
        for (size_t k = 1; k < ys.size(); ++k) {
            if (ys[k] - ys[k - 1] > need)
                return ys[k] - need;
        }
    }
    return fallback;
}

RoiParamPanel::RoiParamPanel(CammerWidget* owner) : QObject(owner), view(owner)
{
    sliderFilter = new Slider(0, 10, 1, 25, view, LanStr(kTextFilterSize));
    sliderSensitivity = new Slider(0, 100, 1, 25, view, LanStr(kTextSensitivityLabel));
    sliderArea = new Slider(0, 1000, 1, 50, view, LanStr(kTextArea));
    for (Slider* s : {sliderFilter, sliderSensitivity, sliderArea}) s->hide();
    connect(sliderFilter, &QAbstractSlider::valueChanged, this, &RoiParamPanel::SlotMinWH);
    connect(sliderSensitivity, &QAbstractSlider::valueChanged, this, &RoiParamPanel::SlotSensitivity);
    connect(sliderArea, &QAbstractSlider::valueChanged, this, &RoiParamPanel::SlotArea);

    labelFunc = new QLabel(LanStr(kTextFunc), view);
    QFont font("wqy-microhei");
    font.setPixelSize(30);
    labelFunc->setFont(font);
    labelFunc->setStyleSheet("color: green;");
    labelFunc->hide();

    buttonFunc = MakeButton(QString(), view, 3, false);
    connect(buttonFunc, &QPushButton::clicked, this, &RoiParamPanel::SlotChangeFunc);
    buttonParaSwitch = MakeButton(LanStr(kTextParaSwitch), view, 0, false);
    connect(buttonParaSwitch, &QPushButton::clicked, this, &RoiParamPanel::SlotChangeParaShow);

    comboOutN = new ComboBox(view);
    for (int n = 0; n < 4; ++n) comboOutN->addItem(QString("N%1").arg(n + 1), n);
    QFont comboFont = comboOutN->font();
    comboFont.setPixelSize(20);
    comboOutN->setFont(comboFont);
    comboOutN->setItemHeight(50);
    comboOutN->hide();
    connect(comboOutN, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &RoiParamPanel::SlotOutN);

    buttonNextRoi = MakeButton(LanStr(kTextRoiSwitch), view, 0, false);
    connect(buttonNextRoi, &QPushButton::clicked, view, &CammerWidget::SlotNextROI);
    buttonObject = MakeButton(QString(), view, 0, false);
    connect(buttonObject, &QPushButton::clicked, view, &CammerWidget::SlotChangeObject);
    buttonAdd10 = MakeButton(QString(), view, 0, true);
    connect(buttonAdd10, &QPushButton::clicked, view, &CammerWidget::SlotAdd10);
    buttonAdd1 = MakeButton(QString(), view, 0, true);
    connect(buttonAdd1, &QPushButton::clicked, view, &CammerWidget::SlotAdd1);
    buttonSub1 = MakeButton(QString(), view, 0, true);
    connect(buttonSub1, &QPushButton::clicked, view, &CammerWidget::SlotSub1);
    buttonSub10 = MakeButton(QString(), view, 0, true);
    connect(buttonSub10, &QPushButton::clicked, view, &CammerWidget::SlotSub10);

    const int bottomTop = gShowH - kBottomTop;
    const int bottomEnd = gShowH - kBottomEnd;
    buttonSync = MakeButton(QString::fromUtf8("同步参数"), view, 4, false);
    PlaceSpan(buttonSync, kSyncSpan, bottomTop, bottomEnd);
    connect(buttonSync, &QPushButton::clicked, this, &RoiParamPanel::SlotSyncParam);

    buttonMoveToggle = MakeButton(LanStr(kTextMoveU), view, 4, false);
    buttonMoveToggle->setCheckable(true);
    PlaceSpan(buttonMoveToggle, kToggleSpan, bottomTop, bottomEnd);
    connect(buttonMoveToggle, &QPushButton::toggled, this, [this](bool on) {
        buttonMoveToggle->setChecked(on);
        ShowHideROIPara();
    });

    const int moveTexts[4] = {kTextMoveU, kTextMoveD, kTextMoveL, kTextMoveR};
    ColorButton** moves[4] = {&buttonMoveT, &buttonMoveB, &buttonMoveL, &buttonMoveR};
    for (int k = 0; k < 4; ++k) {
        *moves[k] = MakeButton(LanStr(moveTexts[k]), view, 0, true);
        PlaceSpan(*moves[k], kMoveSpans[k], bottomTop, bottomEnd);
    }
    connect(buttonMoveT, &QPushButton::clicked, view, &CammerWidget::SlotMoveT);
    connect(buttonMoveB, &QPushButton::clicked, view, &CammerWidget::SlotMoveB);
    connect(buttonMoveL, &QPushButton::clicked, view, &CammerWidget::SlotMoveL);
    connect(buttonMoveR, &QPushButton::clicked, view, &CammerWidget::SlotMoveR);
    buttonMoveAll = MakeButton(LanStr(kTextHideSet), view, 0, false);
    PlaceSpan(buttonMoveAll, kMoveAllSpan, bottomTop, bottomEnd);
    connect(buttonMoveAll, &QPushButton::clicked, view, &CammerWidget::SlotMoveAll);
}

int* RoiParamPanel::SelectedParam(int s) const
{
    CammerSingleton* store = view->storeB;
    const int d = CurDetect();
    const int i = view->curRoi;
    if (!store || i < 0 || i >= kMaxRegions)
        return nullptr;
    int(*params[kSliders])[kMaxRegions] = {store->para1, store->para2, store->para3};
    return &params[s][d][i];
}

int RoiParamPanel::SelectedFunc() const
{
    if (!view->storeB || view->curRoi < 0 || view->curRoi >= kMaxRegions)
        return 0;
    return view->storeB->func[CurDetect()][view->curRoi];
}

bool RoiParamPanel::WriteSlider(int s, int v)
{
    int* param = SelectedParam(s);
    if (!param)
        return false;
    const SliderDef& def = SliderOf(SelectedFunc(), s, view->panelPage2);
    *param = WritePart(*param, def.part, v);
    return def.part == ParamPart::Whole;
}

void RoiParamPanel::FillSlider(int s)
{
    Slider* sliders[kSliders] = {sliderSensitivity, sliderArea, sliderFilter};
    const int* param = SelectedParam(s);
    if (!param)
        return;
    const SliderDef& def = SliderOf(SelectedFunc(), s, view->panelPage2);
    // Filling from the store must not write the intermediate values of the range change back.
    const QSignalBlocker block(sliders[s]);
    sliders[s]->Reset(def.min, def.max, 1, ReadPart(*param, def.part), CaptionText(def.caption));
}

void RoiParamPanel::Preview()
{
    const int d = CurDetect();
    const int roi = view->curRoi;
    if (!view->recognizer || roi < 0 || roi >= kMaxRegions)
        return;
    // The preview measures the edit store's region on a template, and the recogniser leaves
    // its value in the judgement arrays under the region's number. That value is the edit
    // region's label; the working store's region of that number keeps its verdict, value and
    // blobs for the alarm answers.
    const int judged = view->roiValue[d][roi];
    const int boxes = view->roiBoxes[d][roi][0][0];
    view->roiValue[d][roi] = -1;
    view->recognizer->RunTest(d, roi);
    const int measured = view->roiValue[d][roi];
    view->roiValue[d][roi] = judged;
    view->roiBoxes[d][roi][0][0] = boxes;
    if (measured >= 0)
        view->editLabels[d][roi].preview = measured;
}

void RoiParamPanel::StartHint(int value)
{
    gDrawHint = value;
    if (gpState && gpState->drawHintTimer)
        gpState->drawHintTimer->start(kHintMs);
}

void RoiParamPanel::SlotSensitivity(int v)
{
    if (view->curRoi < 0)
        return;
    const bool whole = WriteSlider(0, v);
    if (whole && SelectedFunc() == 1)
        StartHint(int(std::sqrt(double(v))));
    Preview();
}

void RoiParamPanel::SlotArea(int v)
{
    if (view->curRoi < 0)
        return;
    gDrawHint = 0;
    if (WriteSlider(1, v))
        StartHint(int(std::sqrt(double(v))));
    Preview();
}

void RoiParamPanel::SlotMinWH(int v)
{
    if (view->curRoi < 0)
        return;
    if (WriteSlider(2, v))
        StartHint(v);
    Preview();
}

void RoiParamPanel::SlotOutN(int n)
{
    if (view->curRoi < 0 || !view->storeB || view->curRoi >= kMaxRegions)
        return;
    if (CurDetect() == 0)
        view->storeB->outN[view->curRoi] = n;
}

void RoiParamPanel::SlotChangeParaShow()
{
    if (view->curRoi < 0)
        return;
    view->panelPage2 = !view->panelPage2;
    const int f = SelectedFunc();
    if (!HasSecondPage(f))
        return;
    for (int s = 0; s < kSliders; ++s) {
        if (SliderOf(f, s, true).part != SliderOf(f, s, false).part)
            FillSlider(s);
    }
    view->update();
}

void RoiParamPanel::SlotChangeFunc()
{
    CammerSingleton* store = view->storeB;
    const int i = view->curRoi;
    if (i < 0 || !store || i >= kMaxRegions)
        return;
    const int d = CurDetect();
    const int f = store->func[d][i];
    // The search ends at the current function itself, so that with none switched on the
    // region keeps what it has rather than falling back to an unswitched one.
    int next = -1;
    for (int k = 1; k <= kFuncCount; ++k) {
        const int candidate = ((f < 0 ? 0 : f) + k) % kFuncCount;
        if (FuncEnabled(LivePara(), candidate)) {
            next = candidate;
            break;
        }
    }
    if (next >= 0) {
        int p1 = 0, p2 = 0, p3 = 0;
        GetFuncInitParam(next, p1, p2, p3);
        store->func[d][i] = next;
        store->para1[d][i] = p1;
        store->para2[d][i] = p2;
        store->para3[d][i] = p3;
    }
    ShowHideROIPara();
    view->panelPage2 = false;
}

void RoiParamPanel::SlotSyncParam()
{
    CammerSingleton* store = view->storeB;
    const int d = CurDetect();
    const int i = view->curRoi;
    if (!store || i < 0 || i >= std::clamp(store->roiNum[d], 0, kMaxRegions))
        return;
    const int f = store->func[d][i];
    int(*params[kSliders])[kMaxRegions] = {store->para1, store->para2, store->para3};
    const int before[kSliders] = {store->selPara1, store->selPara2, store->selPara3};
    for (int s = 0; s < kSliders; ++s) {
        // Each packed value carries its own change, so that a carry cannot spill into its
        // neighbour, and stays within its slider's range.
        for (const SliderDef& part : PartsOf(f, s)) {
            const long long delta =
                (long long)ReadPart(params[s][d][i], part.part) - (long long)ReadPart(before[s], part.part);
            if (delta == 0)
                continue;
            for (int j = 0; j < std::clamp(store->roiNum[d], 0, kMaxRegions); ++j) {
                if (j == store->selRoi || store->func[d][j] != f)
                    continue;
                int& word = params[s][d][j];
                const long long moved = (long long)ReadPart(word, part.part) + delta;
                if (part.part == ParamPart::Whole)
                    word = int(std::clamp<long long>(moved, INT_MIN, INT_MAX));
                else
                    word = WritePart(word, part.part, int(std::clamp<long long>(moved, part.min, part.max)));
            }
        }
    }
    // A fresh snapshot: the next sync carries only what changes from here.
    store->setSelectRoi(i);
}

void RoiParamPanel::HideAll()
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             sliderFilter,     sliderSensitivity, sliderArea,  labelFunc,   buttonFunc,  buttonParaSwitch, comboOutN,
             buttonNextRoi,    buttonObject,      buttonAdd10, buttonAdd1,  buttonSub1,  buttonSub10,      buttonSync,
             buttonMoveToggle, buttonMoveT,       buttonMoveB, buttonMoveL, buttonMoveR, buttonMoveAll})
        w->hide();
}

void RoiParamPanel::Place(int y)
{
    const int right = gShowW / 2 + kSliderRightFromCentre;
    int row = y;
    sliderSensitivity->setGeometry(kPanelLeft, row, right - kPanelLeft + 1, kRowHeight);
    for (Slider* s : {sliderArea, sliderFilter}) {
        if (s->isHidden())
            continue;
        row += kRowPitch;
        s->setGeometry(kPanelLeft, row, right - kPanelLeft + 1, kRowHeight);
    }
    row += kRowPitch;
    const int lang = gLan == kLanJapanese ? 1 : 0;
    PlaceSpan(labelFunc, kLabelFunc, row, row + kRowHeight - 1);
    QWidget* rowWidgets[] = {buttonFunc,  buttonParaSwitch, comboOutN,  buttonNextRoi, buttonObject,
                             buttonAdd10, buttonAdd1,       buttonSub1, buttonSub10};
    for (int k = kRowFunc; k <= kRowSub10; ++k)
        PlaceSpan(rowWidgets[k], kButtonRow[k][lang], row, row + kRowHeight - 1);
}

void RoiParamPanel::ShowHideROIPara()
{
    view->showTestMask = false;
    CammerSingleton* store = view->storeB;
    const int d = CurDetect();
    const int i = view->curRoi;
    if (i < 0 || !store || i >= kMaxRegions) {
        HideAll();
        {
            const QSignalBlocker block(buttonMoveToggle);
            buttonMoveToggle->setChecked(false);
        }
        view->moveMode = 0;
        view->curPoint = 0;
        buttonMoveAll->setText(LanStr(kTextHideSet));
        view->update();
        return;
    }
    const WizardPara& p = LivePara();
    const int f = store->func[d][i];

    QWidget* editing[] = {sliderSensitivity, sliderArea,    sliderFilter, labelFunc,  buttonFunc,
                          buttonParaSwitch,  buttonObject,  buttonAdd10,  buttonAdd1, buttonSub1,
                          buttonSub10,       buttonNextRoi, buttonSync,   comboOutN};
    if (view->moveMode != 0) {
        for (QWidget* w : editing) w->hide();
    } else {
        sliderSensitivity->setVisible(f != 2 && f != 3);
        sliderArea->setVisible(f == 0 ? p.showAllParams != 0 : (f != 2 && f != 3 && f != 6));
        sliderFilter->setVisible(f == 0 ? p.showAllParams != 0 : !(f >= 2 && f <= 6));
        bool others = false;
        for (int k = 1; k < kFuncCount; ++k) others = others || FuncEnabled(p, k);
        labelFunc->setVisible(others);
        buttonFunc->setVisible(others);
        for (QWidget* w : std::initializer_list<QWidget*>{buttonObject, buttonAdd10, buttonAdd1, buttonSub1,
                                                          buttonSub10, buttonNextRoi, buttonSync})
            w->show();
        const bool outN = d == 0 && p.ejectorPulseNoAlarm != 0;
        if (outN) {
            const QSignalBlocker block(comboOutN);
            comboOutN->setCurrentIndex(std::clamp(store->outN[i], 0, 3));
        }
        comboOutN->setVisible(outN);
    }

    int rows = sliderArea->isHidden() ? 3 : 4;
    if (sliderFilter->isHidden())
        rows -= 1;
    const int h = rows * kRowReserve;
    Place(PanelTop(*store, d, i, h, view->fullScaleY));

    view->panelPage2 = false;
    for (int s = 0; s < kSliders; ++s) FillSlider(s);
    const Caption& caption = kFuncCaption[f >= 0 && f < kFuncCount ? f : 0];
    buttonFunc->setText(CaptionText(caption));

    buttonMoveToggle->show();
    const bool fine = buttonMoveToggle->isChecked();
    buttonMoveToggle->setText(QString::fromUtf8(fine ? "隐藏" : "微调"));
    for (QWidget* w :
         std::initializer_list<QWidget*>{buttonMoveT, buttonMoveB, buttonMoveL, buttonMoveR, buttonMoveAll})
        w->setVisible(fine);
    buttonParaSwitch->setVisible(HasSecondPage(f));

    const int type = store->shapeType[d][i];
    const bool radius = type == kShapeCircle && view->curPoint <= 1;
    const char* steps[2][4] = {{"Y -1", "X -1", "Y +1", "X +1"}, {"+10", "+1", "-1", "-10"}};
    ColorButton* stepButtons[4] = {buttonAdd10, buttonAdd1, buttonSub1, buttonSub10};
    for (int k = 0; k < 4; ++k) stepButtons[k]->setText(QString::fromLatin1(steps[radius ? 1 : 0][k]));

    QString object;
    if (type == kShapeRect) {
        object = LanStr(view->curPoint == 1 ? kTextRBPoint : kTextTLPoint);
    } else if (type == kShapeCircle) {
        object = LanStr(view->curPoint == 1 ? kTextOuterR : view->curPoint == 2 ? kTextCentre : kTextInnerR);
    } else if (type == kShapePolygon) {
        object = LanStr(kTextPolygonPoint).arg(view->curPoint + 1);
    }
    buttonObject->setText(object);
    FitCaptions();
    view->update();
}

void RoiParamPanel::FitCaptions()
{
    // The buttons keep their places and their 45 or 75 px: a caption longer than its button
    // (English and Japanese mostly) takes two lines or a smaller font.
    for (ColorButton* b :
         {buttonFunc, buttonParaSwitch, buttonNextRoi, buttonObject, buttonAdd10, buttonAdd1, buttonSub1, buttonSub10,
          buttonSync, buttonMoveToggle, buttonMoveT, buttonMoveB, buttonMoveL, buttonMoveR, buttonMoveAll})
        TextFit::RefitButton(b, kCaptionEdges);
}
