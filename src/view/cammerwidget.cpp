// CammerWidget: construction, destruction, scales, mask sets, paired regions, blink, frame rate, double tap.
#include "cammerwidget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <QDebug>
#include <QResizeEvent>

#include "cameramanager.h"
#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "platformclock.h"
#include "roiparampanel.h"
#include "windowhooks.h"
#include "wizardpara.h"

unsigned char* gpFailImage[kFailSlotCount] = {};
bool gisSaveFail[kFailSlotCount] = {};
int gFailIndex[kFailIndexCount] = {};
FailImageJob gFailImageJob[kFailSlotCount];

namespace {
constexpr int kFpsPeriodMs = 1000;
constexpr int kDetectModeMulti = 3;

// Double tap on a view: a second press this soon and this close to the first.
constexpr qint64 kDoubleTapMs = 800;
constexpr int kDoubleTapMaxDx = 20;  // exclusive
constexpr int kDoubleTapMaxDy = 19;  // inclusive

// Drawing tools of the main window and the teaching-page slot a double tap ends them with.
struct DoubleTapAction
{
    int drawMode;
    int handDraw;  // -1 either
    void (DrawROIWidget::*slot)();
    const char* slotName;  // for the log
};
const DoubleTapAction kDoubleTapActions[] = {
    {kDrawPolygon, 0, &DrawROIWidget::SlotDrawPloygn, "SlotDrawPloygn"},
    {kDrawPolygon, 1, &DrawROIWidget::SlotDrawHand, "SlotDrawHand"},
    {kDrawCircle, -1, &DrawROIWidget::SlotDrawCircle, "SlotDrawCircle"},
    {kDrawRect, -1, &DrawROIWidget::SlotDrawRect, "SlotDrawRect"},
};

// Paired detections that share their partner's regions, by detection mode.
struct DetectionPair
{
    int from;
    int to;
};
const DetectionPair kStandardPairs[] = {{0, 1}};
const DetectionPair kTwoSidePairs[] = {{1, 3}, {0, 2}};

void SetShapeSelected(CammerSingleton& store, int d, int i, bool on)
{
    VisitShape(store, d, i, [on](auto& shape) { shape.SetSelected(on); });
}

int ShownDetections()
{
    return std::clamp(gDNum, 0, kMaxDetections);
}
}  // namespace

CammerWidget::CammerWidget(QWidget* parent, int index, _cameraInfo info) : QWidget(parent)
{
    cameraIndex = index;
    pluginName = info.pluginName;
    ResetEditLabels();
    // The description's block is the plug-in's: its serial need not end within these bytes.
    std::memcpy(cameraSerial, info.serialNumber, kCameraSerialBytes);
    cameraSerial[kCameraSerialBytes - 1] = '\0';

    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    hide();

    camera = CameraManager::getInstance()->createCamera(info);
    if (camera)
        CameraOpen();
    if (!cameraOpen) {
        // The owner discards a view without a camera; the camera object must not outlive it
        // unreleased.
        delete camera;
        camera = nullptr;
        return;
    }
    connect(camera, &CameraInterface::sigCameraLost, this, &CammerWidget::SlotLoss);
    simulated = camera->cameraType() == 0;

    AllocImages(imageWidth, imageHeight, gisColor);
    curImage = ZeroedBuffer(size_t(imageBytes));
    displayRgb = ZeroedBuffer(size_t(imagePixels) * 4);
    displayImage = QImage(displayRgb, imageWidth, imageHeight, imageWidth * 4, QImage::Format_RGB32);
    lastRoi = -1;
    panel = new RoiParamPanel(this);

    blinkState = 0;
    cameraOk = true;

    const int nd = PreparedDetections();
    for (int d = 0; d < nd; ++d) {
        pendingTemplate[d] = false;
        LoadTemplate(d);
    }
    recentNgView = 0;
    for (int d = 0; d < nd; ++d) {
        recentNgPos[d] = 0;
        detected[d] = false;
        for (unsigned char*& frame : recentNg[d]) frame = ZeroedBuffer(size_t(imageBytes));
    }
    LoadIgnorePoint();

    storeA = new CammerSingleton(cameraIndex);
    storeA->LoadDatafromFile(this);
    storeB = new CammerSingleton(cameraIndex);
    recognizer = new CammerRecong(storeA, this);

    HotCameraUpdateROI();
    CameraStart();
    initSetting();

    timerShowAlarm = new QTimer(this);
    connect(timerShowAlarm, &QTimer::timeout, this, &CammerWidget::TimerShowAlarm);
    timerFps = new QTimer(this);
    connect(timerFps, &QTimer::timeout, this, &CammerWidget::TimerFPS);
    timerFps->start(kFpsPeriodMs);

    panelPage2 = false;
    moveMode = 0;
    setCurRoi(-1);
    connect(this, &CammerWidget::clicked, this, &CammerWidget::SlotCheckDoubleClicked);
}

// The picture buffers of the recogniser's part go with the base.
CammerWidget::~CammerWidget()
{
    delete recognizer;
    delete storeA;
    delete storeB;
    FreeBuffer(curImage);
    displayImage = QImage();
    FreeBuffer(displayRgb);
    for (auto& ring : recentNg) {
        for (unsigned char* frame : ring) FreeBuffer(frame);
    }
    delete camera;
}

const WizardPara& CammerWidget::TunedPara()
{
    const auto& settingsShown = ViewToWindow().settingsShown;
    if (gpWParaBak && settingsShown && settingsShown())
        return *gpWParaBak;
    return LivePara();
}

int CammerWidget::PreparedDetections()
{
    return LivePara().detectMode == kDetectModeMulti ? kMaxDetections : ShownDetections();
}

void CammerWidget::RecogRepaint()
{
    update();
}

// ---- scales ----

void CammerWidget::setWinSW()
{
    winScaleX = float(geometry().width()) / float(gShowW);
}

void CammerWidget::setWinSH()
{
    winScaleY = float(geometry().height()) / float(gShowH);
}

void CammerWidget::setShowSW()
{
    if (imageWidth > 0)
        showScaleX = float(geometry().width()) / float(imageWidth);
}

void CammerWidget::setShowSH()
{
    if (imageHeight > 0)
        showScaleY = float(geometry().height()) / float(imageHeight);
}

void CammerWidget::resizeEvent(QResizeEvent* event)
{
    setWinSW();
    setWinSH();
    setShowSW();
    setShowSH();
    QWidget::resizeEvent(event);
}

// ---- mask sets and paired regions ----

void CammerWidget::BackMask()
{
    for (int d = 0; d < ShownDetections(); ++d) {
        for (int i = 0; i < kMaxRegions; ++i) editMasks[d][i] = workMasks[d][i];
    }
    ResetEditLabels();
}

void CammerWidget::RestorMask()
{
    const WizardPara& p = LivePara();
    for (int d = 0; d < ShownDetections(); ++d) {
        // Detections that CopyPara fills from their partner keep their masks.
        const bool copied = p.sameParams && ((p.detectMode == 0 && p.detectEnabled[0] && d % 2 == 1) ||
                                             ((p.detectMode == 1 || p.detectMode == 2) && d > 1));
        if (copied)
            continue;
        for (int i = 0; i < kMaxRegions; ++i) workMasks[d][i] = editMasks[d][i];
    }
    FollowEditLabels();
}

void CammerWidget::CopyPara()
{
    if (!storeA)
        return;
    const int mode = LivePara().detectMode;
    const DetectionPair* begin = nullptr;
    const DetectionPair* end = nullptr;
    if (mode == 1 || mode == 2) {
        begin = std::begin(kTwoSidePairs);
        end = std::end(kTwoSidePairs);
    } else if (mode == 0) {
        begin = std::begin(kStandardPairs);
        end = std::end(kStandardPairs);
    }
    CammerSingleton& s = *storeA;
    for (const DetectionPair* pair = begin; pair != end; ++pair) {
        const int from = pair->from;
        const int to = pair->to;
        s.roiNum[to] = s.roiNum[from];
        for (int i = 0; i < std::clamp(s.roiNum[from], 0, kMaxRegions); ++i) {
            VisitShapeArrays(s, s.shapeType[from][i], [&](auto& shapes) { shapes[to][i] = shapes[from][i]; });
            s.shapeType[to][i] = s.shapeType[from][i];
            SetShapeSelected(s, to, i, false);
            workMasks[to][i] = workMasks[from][i];
            s.func[to][i] = s.func[from][i];
            s.para1[to][i] = s.para1[from][i];
            s.para2[to][i] = s.para2[from][i];
            s.para3[to][i] = s.para3[from][i];
        }
    }
}

// ---- selection ----

void CammerWidget::setCurRoi(int i)
{
    if (i == curRoi)
        return;
    curRoi = i;
    if (storeB)
        storeB->setSelectRoi(i);
}

void CammerWidget::DeselectROI()
{
    touchState = 0;
    touchMoved = false;
    pressed = false;
    polygonActive = false;
    if (!LivePara().continuationArea) {
        if (gpState)
            gpState->drawMode = 0;
        drawPointCount = 0;
    }
    if (curRoi < 0)
        return;
    const int d = gpState ? gpState->curDetect : 0;
    if (storeB && d >= 0 && d < kMaxDetections && curRoi < kMaxRegions)
        SetShapeSelected(*storeB, d, curRoi, false);
    setCurRoi(-1);
}

// ---- timers ----

void CammerWidget::TimerShowAlarm()
{
    if (cameraOk) {
        blinkState = 0;
        if (timerShowAlarm)
            timerShowAlarm->stop();
    } else {
        blinkState = blinkState ? 0 : 1;
    }
    update();
}

void CammerWidget::TimerFPS()
{
    if (camera)
        camera->getFps(&fps);
}

// ---- double tap ----

// The tap timing is shared by all views: a double tap may span two of them.
void CammerWidget::SlotCheckDoubleClicked(QPoint p)
{
    static bool started = false;
    static qint64 lastTapMs = 0;
    static QPoint lastTap;
    const qint64 now = PlatformClock::now().toMSecsSinceEpoch();
    // The very first tap only starts the timing: alone it is no double tap.
    const bool quick = started && now - lastTapMs < kDoubleTapMs && std::abs(p.x() - lastTap.x()) < kDoubleTapMaxDx;
    const int earlierY = lastTap.y();
    started = true;
    lastTap = p;
    lastTapMs = now;
    if (!quick || std::abs(p.y() - earlierY) > kDoubleTapMaxDy || !LivePara().continuationArea || gSource != 0 ||
        !gpState)
        return;

    for (const DoubleTapAction& action : kDoubleTapActions) {
        if (action.drawMode != gpState->drawMode || (action.handDraw >= 0 && action.handDraw != int(gpState->handDraw)))
            continue;
        if (action.drawMode == kDrawPolygon && !gpState->handDraw) {
            // The first tap of the pair already added this vertex.
            if (drawPointCount > 0)
                drawPointCount -= 1;
            polygonByDoubleClick = true;
        }
        if (DrawROIWidget* page = DrawROIWidget::instance())
            (page->*action.slot)();
        else
            qWarning() << "camera" << cameraIndex + 1 << "double tap: no teaching page to end drawing with"
                       << action.slotName;
        return;
    }
}
