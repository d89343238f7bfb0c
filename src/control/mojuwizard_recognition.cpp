// Recognition run of one camera and step, and the operator's template re-sampling.
#include <cstring>

#include <QDateTime>
#include <QDebug>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include <opencv2/imgproc.hpp>

#include "cameramanager.h"
#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "constructionhooks.h"
#include "operatorprompts.h"
#include "drawroiwidget.h"
#include "ledlcd.h"
#include "miscfunc.h"
#include "mojuwizard.h"
#include "mojuwizard_cycleparams.h"
#include "platformclock.h"
#include "textids.h"
#include "viewwatch2vrq.h"

using namespace cycle;

namespace {

constexpr int kDiffThreshold = 50;
constexpr int kSmallKernel = 3;
constexpr int kMouldKernel = 30;
constexpr int kGrowKernel = 50;
constexpr double kHullTolerance = 10.0;
constexpr double kSensitivityShare = 0.2;

bool LiveSource()
{
    return gSource == -1 || gSource == 1;
}

}  // namespace

void MoJuWizard::RunAlgorithm(int camera, int detect)
{
    Recognise(camera, detect, true);
}

void MoJuWizard::JudgeWithoutPicture(int camera, int detect)
{
    Recognise(camera, detect, false);
}

void MoJuWizard::Recognise(int camera, int detect, bool picture)
{
    if (camera < 0 || camera >= kMaxCameras || detect < 0 || detect >= kMaxDetections)
        return;
    CammerWidget* v = cammerWidgets[camera];
    if (!v || !v->recognizer)
        return;
    const int mode = Mode();
    const bool sides = TwoSidedMode(mode);
    // 1. Modes 1 and 2 run the current side's detection of the step slot.
    int d = detect;
    if (sides && reTrainState != 2) {
        if (d > 1)
            d -= 2;
        if (moldSide == 0)
            d += 2;
    }
    const int slot = ResultSlot(mode, d);
    step = d;
    stepCameraMask[slot] &= ~(1 << camera);

    // A camera that is away has no picture of this step, and the one it left from before the
    // loss must neither pass nor become a template: the camera is NG until it is back (the
    // alarm page's re-check), and its outputs act as any NG camera's.
    if (!picture || !v->cameraOpen || !v->cameraConnected) {
        qWarning() << "camera" << camera + 1 << "has no picture: not judged";
        v->cameraOk = false;
        ActOnCameraNG(camera, d, slot, false);
        Flush();
        return;
    }

    // 3. Every judged frame as a test picture, when asked.
    if (saveTestImages && v->rawImage)
        SaveTestPicture(camera, d);

    // 4. A pending re-sampling takes this frame as template 0.
    if (v->pendingTemplate[d]) {
        TakeTemplateFrame(camera, d);
        return;
    }

    // 5. The recogniser judges the frame.
    v->recognizer->HomoTransShape(d);
    v->recognizer->ShapeMatch();
    v->recognizer->Run(d);

    const bool pulses = Par(&WizardPara::okNgPulses) != 0;                // system5 9
    const bool prodNoAlarm = Par(&WizardPara::ejectorPulseNoAlarm) != 0;  // system2 7
    const bool mouldNoAlarm = Par(&WizardPara::moldNgPulse) != 0;         // system14 1
    // 6. The view shows the judged picture or the newest frame.
    const bool holdJudged =
        (CameraManager::getInstance() && CameraManager::getInstance()->noRealCamera) ||
        (!v->cameraOk && LiveSource() && Par(&WizardPara::holdImageAfterAlarm) != 0 && !pulses &&  // system12 18
         ((slot == 0 && !prodNoAlarm) || (slot == 1 && !mouldNoAlarm)));
    const unsigned char* shown = holdJudged ? v->alignedImage : v->rawImage;
    if (shown && v->curImage && shown != v->curImage)
        std::memcpy(v->curImage, shown, size_t(v->imageBytes));

    // 8. This camera's NG acts at once on the outputs that must not wait for the others.
    if (!v->cameraOk)
        ActOnCameraNG(camera, d, slot);
    Flush();
    if (LiveSource())
        v->update();
}

void MoJuWizard::SaveTestPicture(int camera, int d)
{
    CammerWidget* v = cammerWidgets[camera];
    const QImage frame = PackedRowsImage(v->rawImage, v->imageWidth, v->imageHeight, gisColor ? 4 : 1,
                                         !gisColor && grayTable ? *grayTable : QVector<QRgb>());
    const QString name = QStringLiteral("./originalimage/cammer%1%2/template%3.bmp")
                             .arg(camera + 1)
                             .arg(d + 1)
                             .arg(PlatformClock::now().toString("yyyyMMdd-hhmmss-zzz"));
    frame.save(name);  // a failed save is not reported
}

void MoJuWizard::TakeTemplateFrame(int camera, int d)
{
    CammerWidget* v = cammerWidgets[camera];
    const int mode = Mode();
    if (StepEnabled(d)) {
        v->SaveReTrainImage(d);
        // The same shape as every template-list message: lists of camera and detection.
        ViewWatch2VRQ::ofManager()->syncTempList(
            QJsonObject{{"camera", QJsonArray{camera}}, {"detect", QJsonArray{d}}});
    }
    v->pendingTemplate[d] = false;
    v->cameraOk = true;
    v->detected[d] = true;
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (!cammerWidgets[c])
            continue;
        for (int k = 0; k < gDNum && k < kMaxDetections; ++k) {
            if (mode == kModeTurntable && (k >> 1) == moldSide)
                continue;
            if (StepEnabled(k) && cammerWidgets[c]->pendingTemplate[k]) {
                if (LiveSource())
                    v->update();
                return;
            }
        }
    }
    StartDetect();
    if (Par(&WizardPara::okNgPulses) == 0) {  // system5 9
        SetOut(kClampOut, 1);
        Flush();
    }
    CheckArea(false);
    return;
}

void MoJuWizard::ActOnCameraNG(int camera, int d, int slot, bool picture)
{
    CammerWidget* v = cammerWidgets[camera];
    const int mode = Mode();
    const bool pulses = Par(&WizardPara::okNgPulses) != 0;                // system5 9
    const bool prodNoAlarm = Par(&WizardPara::ejectorPulseNoAlarm) != 0;  // system2 7
    const bool mouldNoAlarm = Par(&WizardPara::moldNgPulse) != 0;         // system14 1
    const int left = slot >= 0 && slot < kMaxDetections ? reCheckCount[slot] : 0;
    if (pulses) {
        // Pulse mode: the judgement sets every output.
    } else if (mode == kModeMulti) {
        if (!(d == 0 && prodNoAlarm))
            SetOut(kAlarmOut, 1);
    } else if (slot == 1) {
        if (!mouldNoAlarm && left == 0) {
            SetOut(kClampOut, 1);
            SetOut(kAlarmOut, 1);
        }
    } else if (!prodNoAlarm) {
        if (Par(&WizardPara::noEjectorCtrlInProd) != 0 ||
            Par(&WizardPara::prodNgNoEjector) != 0) {  // system2 9, system9 15
            if (left == 0)
                SetOut(kAlarmOut, 1);
        } else {
            SetOut(kEjectorOut, 1);
            if (reTrainState != 2 && Par(&WizardPara::preCut) == 0 &&
                Par(&WizardPara::cutClampOnMoldAlarm) == 0 &&                  // system1 6, system5 13
                Par(&WizardPara::separateDetectSignal) == 0 && !mouldNoAlarm)  // system12 20
                SetOut(kClampOut, 1);
            if (left == 0)
                SetOut(kAlarmOut, 1);
        }
    }
    // Reject groups of the product step.
    if (prodNoAlarm && (mode == kModeMulti ? d == 0 : slot == 0) && v->storeA) {
        const int regions = qBound(0, v->storeA->roiNum[0], kMaxRegions);
        for (int k = 0; k < regions; ++k) {
            const int g = v->storeA->outN[k];
            if (!v->roiOk[0][k] && g >= 0 && g < kRejectGroups)
                rejectGroupNG[g] = true;
        }
    }
    // Recent-NG ring of the detection (a camera without a picture has none to keep).
    if (picture && detectState[camera][d] == 1 && left == 0 && v->recentNg[d][0] && v->alignedImage) {
        const int pos = v->recentNgPos[d] % kRecentNgCount;
        if (v->recentNg[d][pos]) {
            std::memcpy(v->recentNg[d][pos], v->alignedImage, size_t(v->imageBytes));
            v->recentNgTime[d][pos] = PlatformClock::now().toString("yyyy-MM-dd hh.mm.ss");
            ++v->recentNgPos[d];
        }
    }
}

void MoJuWizard::SlotReTrain()
{
    const auto pagesUp = [this] {
        return PageShown(kSettingsPageClass) || TeachingShown() || PageShown("WidgetChangeCamera") ||
               PageShown("CustomIONameWidget");
    };
    if (pagesUp())
        return;
    if (CheckPassword() == 0)
        return;
    if (!AskOperator(LanStr(kTextSureToResample)))
        return;
    if (PageShown(kSettingsPageClass) || TeachingShown() || pageState == kPageAlarm)
        return;
    pageState = kPageMain;
    if (runState == kRunStopped) {
        StartDetect();
        LEDOnOff(kLedDetecting, 1);
    }
    if (drawROIWidget)
        drawROIWidget->SlotTempDeleteAll();
    const bool oneCamera = Par(&WizardPara::sampleSeparately) != 0 && viewCamera != numCamera;  // system7 14
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        if (oneCamera && c != viewCamera)
            continue;
        CammerWidget* v = cammerWidgets[c];
        if (!v)
            continue;
        v->cameraOk = true;
        for (int k = 0; k < gDNum && k < kMaxDetections; ++k) {
            if (StepEnabled(k))
                v->pendingTemplate[k] = true;
            if (v->ignoreMask[k])
                std::memset(v->ignoreMask[k], 0, size_t(v->imagePixels));
            v->SaveIgnorePoint(k);
            std::fill(std::begin(v->roiOk[k]), std::end(v->roiOk[k]), true);
        }
    }
    const QString who = oneCamera ? LanStr(kTextCamera).arg(viewCamera + 1) : LanStr(kTextAllCameras);
    InsertRecord(who + LanStr(kTextResampleTemplate), "operate");
    reTrainState = 1;
    if (CameraManager* m = CameraManager::getInstance()) {
        m->resetCameraSN();
        m->saveCameraSN();
    }
    update();
}

void MoJuWizard::BackTrain()
{
    if (Par(&WizardPara::okNgPulses) == 0) {  // system5 9
        SetOut(kClampOut, 0);
        if (Par(&WizardPara::cutEjectorOnClamp) != 0 && StepEnabled(0) && Par(&WizardPara::noEjectorCtrlInProd) == 0 &&
            Par(&WizardPara::ejectorPulseNoAlarm) == 0 &&  // system2 1, system2 9, system2 7
            Mode() == kModeStandard)
            SetOut(kEjectorOut, 1);
    }
    Flush();
    runState = kRunDetecting;
    CheckNG(true);
    gisReTrain = true;
}

void MoJuWizard::AutogenerationRegion(int d)
{
    if (viewCamera < 0 || viewCamera >= numCamera || viewCamera >= kMaxCameras || d < 0 || d >= kMaxDetections)
        return;
    CammerWidget* v = cammerWidgets[viewCamera];
    if (!v || !v->storeB || !v->templates[0] || !v->templates[1] || !v->templates[0][0] || !v->templates[1][0])
        return;
    const int w = v->imageWidth, h = v->imageHeight;
    const cv::Mat t0(h, w, CV_8UC1, v->templates[0][0]);
    const cv::Mat t1(h, w, CV_8UC1, v->templates[1][0]);
    cv::Mat diff;
    cv::absdiff(t0, t1, diff);
    cv::Mat mask;
    cv::threshold(diff, mask, kDiffThreshold, 255, cv::THRESH_TRUNC);
    const cv::Mat small = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kSmallKernel, kSmallKernel));
    const cv::Mat mould = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(kMouldKernel, kMouldKernel));
    const cv::Mat grow = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(kGrowKernel, kGrowKernel));
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, small);
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, mould);
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, mould);
    cv::dilate(mask, mask, grow);

    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(mask, contours, hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    if (contours.empty())
        return;
    std::vector<cv::Point> all;
    for (const auto& c : contours) all.insert(all.end(), c.begin(), c.end());
    std::vector<cv::Point> hull, poly;
    cv::convexHull(all, hull, false, true);
    cv::approxPolyDP(hull, poly, kHullTolerance, true);
    if (poly.size() < 3)
        return;

    std::vector<QPoint> pts;
    for (size_t i = 0; i < poly.size() && i < size_t(kMaxPolygonPoints); ++i) pts.emplace_back(poly[i].x, poly[i].y);
    CammerSingleton& s = *v->storeB;
    const int n = s.roiNum[d];
    if (n < 0 || n >= kMaxRegions)
        return;
    RePolygon& p = s.polygons[d][n];
    p = RePolygon(int(pts.size()), pts.data());
    p.setShowA(float(w), float(h));
    p.setImageRect();
    v->editMasks[d][n] = p.UpdateMask();
    s.shapeType[d][n] = kShapePolygon;
    p.SetSelected(true);
    s.func[d][n] = 0;

    const cv::Rect box = cv::boundingRect(poly) & cv::Rect(0, 0, w, h);
    const int nonZero = box.area() > 0 ? cv::countNonZero(diff(box)) : 0;
    // An empty difference gives no sensitivity rather than a division by zero.
    const int meanDiff = box.area() > 0 ? int(cv::mean(diff(box))[0]) : 0;
    s.para1[d][n] = nonZero > 0 ? int(kSensitivityShare * double(meanDiff * box.width * box.height / nonZero)) : 0;
    s.para2[d][n] = Par(&WizardPara::filterArea);  // system4 3
    s.para3[d][n] = Par(&WizardPara::filterSize);  // system4 2
    s.roiNum[d] = 1;
    drawMode = 0;
    v->curRoi = -1;
    update();
}
