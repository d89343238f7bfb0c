// DrawROIWidget: adding and deleting templates, showing, adding and clearing ignore points.
#include <algorithm>
#include <cstring>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "colorbutton.h"
#include "drawroiwidget.h"
#include "drawroiwidget_p.h"
#include "globals.h"
#include "miscfunc.h"
#include "recordsink.h"
#include "viewwatch2vrq.h"

using namespace teach;

namespace {

constexpr int kShowIgnored = 2;

QString TemplateFile(int camera, int d, int k)
{
    return QString("./cammer%1%2/template%3.bmp").arg(camera + 1).arg(d + 1).arg(k);
}

// The slot a full library gives up: the oldest template file but template0.bmp. A file
// beyond the library is removed and the last slot taken; so is the last slot when no file
// names a usable slot (removed from outside, or a name that is no number): template 0, the
// re-train picture, is never replaced.
int SlotToReplace(int camera, int d)
{
    const int last = gTempNum - 1;
    const QDir dir(QString("./cammer%1%2").arg(camera + 1).arg(d + 1));
    for (const QFileInfo& file : dir.entryInfoList({"template*.bmp"}, QDir::Files, QDir::Time | QDir::Reversed)) {
        QString name = file.fileName();
        if (name == "template0.bmp")
            continue;
        bool number = false;
        const int k = name.mid(int(qstrlen("template")), name.size() - int(qstrlen("template.bmp"))).toInt(&number);
        if (!number || k <= 0)
            continue;
        if (k >= gTempNum) {
            QFile::remove(file.absoluteFilePath());
            return last;
        }
        return k;
    }
    return last;
}

}  // namespace

void DrawROIWidget::SlotAddTemp()
{
    if (!gpState)
        return;
    const WizardPara& p = LivePara();
    const int page = gpState->pageState;
    const bool liveAlarm = page == kPageAlarm && gSource == kSourceLiveImage;
    if (liveAlarm) {
        CammerWidget* v = SelectedView();
        if (!p.addAllTemplates && (!v || v->cameraOk)) {
            WarnOperator(LanStr(kTextSwitchToAlarmCamera));
            return;
        }
        if (!gisSafeDoorOpen && p.doorLiftsAlarm) {
            WarnOperator(LanStr(kTextOpenSafetyDoor));
            return;
        }
    }
    if (gTempNum <= 1) {
        WarnOperator(LanStr(kTextOneTemplateOnly));
        return;
    }
    if (p.addTemplatePswProtect && !PasswordGranted())
        return;
    const int d = liveAlarm ? gpState->step : gpState->curDetect;
    if (!AskOperator(LanStr(kTextSureAddTemplate)))
        return;
    const int camera = gpState->viewCamera;
    if (camera < 0 || camera > numCamera)
        return;
    if (page == kPageAlarm && gSource != kSourceLiveImage && gSource != kSourceRecentNG)
        return;
    if (page == kPageTeaching && gSource != kSourceRecentNG)
        return;
    if (camera == numCamera) {
        for (int c = 0; c < numCamera; ++c) AddTemp(c, d);
    } else {
        AddTemp(camera, d);
    }
    if (gSource != kSourceRecentNG)
        SlotReCheck();
}

void DrawROIWidget::AddTemp(int camera, int d)
{
    CammerWidget* v = View(camera);
    if (!v || !gpState || d < 0 || d >= kMaxDetections || !v->templates[d] || !v->templateValid[d])
        return;
    if (gSource != kSourceRecentNG && v->cameraOk)
        return;
    const int slotCount = std::min(gTempNum, v->templateSlots[d]);
    if (slotCount < 2)
        return;

    int k = -1;
    if (v->templateCount[d] < gTempNum) {
        for (int i = 0; i < slotCount; ++i) {
            if (v->templateValid[d][i] == 0) {
                k = i;
                break;
            }
        }
    }
    if (k >= 0) {
        v->templateValid[d][k] = 1;
        ++v->templateCount[d];
    } else {
        k = std::min(SlotToReplace(camera, d), slotCount - 1);
        if (v->templateValid[d][k] == 0) {
            v->templateValid[d][k] = 1;
            ++v->templateCount[d];
        }
    }

    const int shownDetect = std::clamp(gpState->curDetect, 0, kMaxDetections - 1);
    const unsigned char* picture = gSource == kSourceLiveImage
                                       ? v->alignedImage
                                       : v->recentNg[shownDetect][std::clamp(v->recentNgView, 0, kRecentNgCount - 1)];
    if (picture)
        std::memcpy(v->templates[d][k], picture, size_t(v->imageBytes));
    v->DetectionDir(d);  // makes the folder when missing
    const QImage file = PackedRowsImage(v->templates[d][k], v->imageWidth, v->imageHeight, gisColor ? 4 : 1,
                                        !gisColor && gpState->grayTable ? *gpState->grayTable : QVector<QRgb>());
    if (!file.save(TemplateFile(camera, d, k)))
        qWarning().noquote() << "cannot write the template" << TemplateFile(camera, d, k);

    if (gSource != kSourceLiveImage) {
        retrainCamera[camera] = true;
        return;
    }
    if (v->recognizer)
        v->recognizer->VarTrain(gpState->step);
    v->detected[d] = true;
    int& state = gpState->detectState[camera][d];
    if (state == kStateAlarmWaits)
        state = kStateClearedByTemplate;
    RecordOperation(LanStr(kTextTemplateAdded).arg(camera + 1), "operate");
}

void DrawROIWidget::SlotTempDeleteCur()
{
    CammerWidget* v = SelectedView();
    if (!v || !gpState)
        return;
    const int d = gpState->curDetect;
    const int index = v->curTempIndex;
    if (index == 0) {
        WarnOperator(LanStr(kTextResampleFirst));
        return;
    }
    if (!AskOperator(LanStr(kTextSureDeleteTemplate)) || SelectedView() != v)
        return;
    if (d < 0 || d >= kMaxDetections || !v->templateValid[d] || index < 0 || index >= v->templateSlots[d])
        return;
    // A slot already empty must not count the library down a second time.
    if (v->templateValid[d][index] != 0) {
        v->templateValid[d][index] = 0;
        --v->templateCount[d];
    }
    retrainCamera[v->cameraIndex] = true;
    QFile::remove(TemplateFile(v->cameraIndex, d, index));
    SlotTempNext();
    RecordOperation(LanStr(kTextTemplateDeleted).arg(gpState->viewCamera + 1).arg(index + 1), "operate");
}

void DrawROIWidget::SlotTempDeleteAll()
{
    if (!gpState)
        return;
    const bool oneCamera = LivePara().sampleSeparately && gpState->viewCamera >= 0 && gpState->viewCamera < numCamera;
    QJsonArray cameras;
    QJsonArray detections;
    for (int c = 0; c < numCamera; ++c) {
        if (oneCamera && c != gpState->viewCamera)
            continue;
        CammerWidget* v = View(c);
        if (!v)
            continue;
        for (int d = 0; d < gDNum && d < kMaxDetections; ++d) {
            v->templateCount[d] = 1;
            v->curTempIndex = 0;
            retrainCamera[c] = true;
            if (v->templateValid[d])
                for (int k = 1; k < std::min(gTempNum, v->templateSlots[d]); ++k) v->templateValid[d][k] = 0;
            const QDir dir(QString("./cammer%1%2").arg(c + 1).arg(d + 1));
            for (const QString& name : dir.entryList({"template*"}, QDir::Files))
                if (!name.contains("template0.bmp"))
                    QFile::remove(dir.filePath(name));
            cameras.append(c);
            detections.append(d);
        }
    }
    ViewWatch2VRQ::ofManager()->syncTempList(QJsonObject{{"camera", cameras}, {"detect", detections}});
    RecordOperation(LanStr(kTextAllTemplatesDeleted), "run");
}

// ---- ignore points ----

void DrawROIWidget::SlotShowHideAlarmPoint()
{
    CammerWidget* v = SelectedView();
    if (!v || v->cameraOk) {
        WarnOperator(LanStr(kTextSwitchToAlarmCamera));
        return;
    }
    const bool show = v->blinkState != kShowIgnored;
    v->blinkState = show ? kShowIgnored : 0;
    showIgnoredButton->setText(LanStr(show ? kTextHideIgnoreP : kTextDisplayIgnoredP));
    FitCaptions();
    v->update();
}

void DrawROIWidget::SlotIgnoreAlarmPoint()
{
    CammerWidget* v = SelectedView();
    if (!v || v->cameraOk) {
        WarnOperator(LanStr(kTextSwitchToAlarmCamera));
        return;
    }
    const AskedOn asked = Asking();
    if (!PasswordGranted() || !StillOn(asked))
        return;
    if (!AskOperator(LanStr(kTextSureIgnore)) || !StillOn(asked))
        return;
    const int s = gpState->step;
    if (s < 0 || s >= kMaxDetections || !v->ignoreMask[s] || !v->displayMask || !v->storeA)
        return;
    const int regions = std::clamp(v->storeA->roiNum[s], 0, kMaxRegions);
    bool ignored = false;
    for (int k = 0; k < regions; ++k) {
        if (v->roiOk[s][k])
            continue;
        if (v->roiValue[s][k] > kMaxIgnoredArea) {
            WarnOperator(LanStr(kTextAlarmAreaTooBig).arg(kMaxIgnoredArea));
            continue;
        }
        ignored = true;
        const auto& boxes = v->roiBoxes[s][k];
        const int n = std::clamp(boxes[0][0], 0, kMaxRoiBoxes - 1);
        for (int b = 1; b <= n; ++b) {
            // Boxes end one past their last pixel; a box reaching the edge ends at the picture.
            const int left = std::max(boxes[b][0], 0);
            const int top = std::max(boxes[b][1], 0);
            const int right = std::min(boxes[b][2], v->imageWidth);
            const int bottom = std::min(boxes[b][3], v->imageHeight);
            for (int y = top; y < bottom; ++y) {
                const size_t row = size_t(y) * size_t(v->imageWidth);
                for (int x = left; x < right; ++x)
                    if (v->displayMask[row + x])
                        v->ignoreMask[s][row + x] = 255;
            }
        }
    }
    // The record tells what was done: nothing when every alarming region was refused.
    if (ignored)
        RecordOperation(LanStr(kTextIgnoring).arg(gpState->viewCamera + 1), "operate");
    v->update();
    v->SaveIgnorePoint(s);
    if (v->recognizer)
        v->recognizer->VarTrain(s);
}

void DrawROIWidget::SlotDeleteIgnorePoint()
{
    CammerWidget* v = SelectedView();
    if (!v || v->cameraOk) {
        WarnOperator(LanStr(kTextSwitchToAlarmCamera));
        return;
    }
    if (!AskOperator(LanStr(kTextSureDeleteIgnored)))
        return;
    RecordOperation(LanStr(kTextIgnoredDeleted).arg(gpState->viewCamera + 1), "operate");
    const int s = gpState->step;
    if (s < 0 || s >= kMaxDetections || !v->ignoreMask[s])
        return;
    std::memset(v->ignoreMask[s], 0, size_t(v->imagePixels));
    v->update();
    v->SaveIgnorePoint(s);
    if (v->recognizer)
        v->recognizer->VarTrain(s);
}
