// CammerRecong: template training of the matchers and the parameter preview.
#include "cammerrecongnize.h"

#include <algorithm>
#include <vector>

#include <QDebug>

#include <opencv2/imgproc.hpp>

#include "cammersingleton.h"
#include "miscfunc.h"
#include "wizardpara.h"

namespace {
constexpr int kCountBoundSlackPreview = 3;
// Arguments of the matchers' training (see graymatch.h and surf.h).
constexpr int kGrayToleranceScale = 100;
constexpr int kGrayToleranceMax = 150;
constexpr int kSurfShiftCells = 1;
constexpr int kSurfDiffLevel = 50;
}  // namespace

bool CammerRecong::TemplatesReady(int det, const char* what) const
{
    if (det >= 0 && det < kMaxDetections && view->templates[det] && view->templateValid[det] && view->imagePixels > 0)
        return true;
    qWarning() << what << "skipped: camera" << view->cameraIndex << "detection" << det
               << "has no prepared template pictures";
    return false;
}

cv::Mat CammerRecong::TrainingPicture(int det, int k)
{
    if (!Color())
        return view->GrayMat(view->templates[det][k]);
    auto convert = gisGrayHue ? RGBA2Gray : RGBA2Hue;
    convert(view->grayImage, reinterpret_cast<int*>(view->templates[det][k]), view->imageWidth, view->imageHeight);
    return view->GrayMat(view->grayImage);
}

void CammerRecong::VarTrain(int det)
{
    if (!store || !TemplatesReady(det, "training") || !view->ignoreMask[det])
        return;
    const WizardPara& p = LivePara();
    for (int r = 0; r < kMaxRegions; ++r) {
        if (grayMatch[det][r].IsValid())
            grayMatch[det][r].Clear();
        if (surf[det][r].IsValid())
            surf[det][r].Clear();
    }
    const cv::Mat ignore = view->GrayMat(view->ignoreMask[det]);
    detMask[det] = ignore.clone();
    const int count = std::min(store->roiNum[det], kMaxRegions);
    for (int r = 0; r < count; ++r) {
        if (store->func[det][r] != kFuncIgnore)
            continue;
        const cv::Rect shape = ShapeRect(store, det, r);
        const cv::Rect inside = shape & PictureRect();
        if (shape.width < 1 || shape.height < 1 || inside.empty())
            continue;
        // The mask keeps the shape's size and place; off the picture nothing is ignored.
        cv::Mat copied = cv::Mat::zeros(shape.size(), CV_8UC1);
        ignore(inside).copyTo(copied(inside - shape.tl()));
        view->workMasks[det][r] = copied;
    }
    cv::bitwise_not(detMask[det], detMask[det]);
    lightCells[det].clear();
    // The frame's light is read against the first picture taught (grey pictures only).
    for (int i = 0; i < std::min(gTempNum, view->templateSlots[det]); ++i)
        if (view->templateValid[det][i]) {
            if (!Color() || gisGrayHue)
                TrainLight(det, TrainingPicture(det, i));
            break;
        }

    for (int r = 0; r < count; ++r) {
        const int f = store->func[det][r];
        if (f != kFuncDefect && f != kFuncSimilarity)
            continue;
        const Cut cut = CutRegion(store, view->workMasks[det][r], det, r, true);
        if (cut.code)
            continue;  // judging reports the region
        const cv::Rect& rect = cut.rect;
        // Colour cameras judging the hue hand the matchers angles, not intensities.
        const bool hue = Color() && !gisGrayHue;
        if (f == kFuncSimilarity) {
            surf[det][r].circular = hue;
            surf[det][r].Create(rect.width, rect.height, cut.mask.clone());
        } else {
            grayMatch[det][r].circular = hue;
            grayMatch[det][r].Create(rect.width, rect.height, cut.mask, 0);
        }
        int n = 0;
        for (int i = 0; i < std::min(gTempNum, view->templateSlots[det]); ++i) {
            if (!view->templateValid[det][i])
                continue;
            ++n;
            const cv::Mat picture = TrainingPicture(det, i);
            norm[det] = cv::norm(picture, cv::NORM_L2);
            const cv::Mat crop = picture(rect);
            if (f == kFuncSimilarity) {
                surf[det][r].AddTemp(crop.clone(), kSurfShiftCells, kSurfDiffLevel, store->para1[det][r]);
                // The colour around weighs the hue around as the crop's colour weighs its own.
                surf[det][r].AddContext(picture, rect, hue ? view->ColorMat(view->templates[det][i]) : cv::Mat());
            } else {
                grayMatch[det][r].AddTemp(crop);
                grayMatch[det][r].AddContext(picture, rect);  // a narrow crop's texture aligns on it
            }
            // The hue alone cannot tell a colour clipped by a brighter frame from one a part took
            // away: the matchers learn where the reference's colour lies near white or black.
            if (hue) {
                const cv::Mat colour = view->ColorMat(view->templates[det][i])(rect);
                if (f == kFuncSimilarity)
                    surf[det][r].AddColour(colour);
                else
                    grayMatch[det][r].AddColour(colour);
            }
            if (n >= view->templateCount[det])
                break;
        }
        if (f == kFuncSimilarity)
            surf[det][r].Train(0, 0, 0, 0);
        else
            grayMatch[det][r].Train(store->para1[det][r], p.amplify, kGrayToleranceScale, kGrayToleranceMax);
    }
}

void CammerRecong::RunTest(int det, int roi)
{
    if (!view->displayMask || det < 0 || det >= kMaxDetections || roi < 0 || roi >= kMaxRegions)
        return;
    cv::Mat overlayAll = view->GrayMat(view->displayMask);
    overlayAll.setTo(0);
    view->roiValue[det][roi] = 0;
    view->roiBoxes[det][roi][0][0] = 0;
    const CammerSingleton* s = view->storeB;
    if (!s || roi >= s->roiNum[det])
        return;
    const int f = s->func[det][roi];
    if (f == kFuncDefect || f == kFuncSimilarity || NotJudged(f)) {
        view->RecogRepaint();
        return;
    }
    const int k = view->curTempIndex;
    if (!TemplatesReady(det, "preview") || k < 0 || k >= view->templateSlots[det])
        return;
    const Cut cut = CutRegion(s, view->editMasks[det][roi], det, roi, false);
    if (!cut.code) {
        const bool color = Color();
        const cv::Mat picture = color ? view->GrayMat(view->grayImage) : view->GrayMat(view->templates[det][k]);
        const cv::Mat colorRoi = color ? view->ColorMat(view->templates[det][k])(cut.rect) : cv::Mat();
        const Band band = MakeBand(s, det, roi, picture(cut.rect), colorRoi, cut.mask, 1, kCountBoundSlackPreview);
        const Contours contours = Blobs(band, overlayAll(cut.rect));
        const bool counting = f == kFuncWhiteNumber || f == kFuncBlackNumber;
        const int value = counting ? int(contours.size()) : AreaSum(contours);
        view->roiValue[det][roi] = value;
    }
    view->showTestMask = true;
    view->RecogRepaint();
}
