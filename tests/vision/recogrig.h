// Test rig of the recogniser: a camera's buffers, region stores and parameters without widgets or cameras.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "globals.h"
#include "mainstate.h"
#include "wizardpara.h"

// Owns one camera's data, both stores and a parameter record installed as gpWPara. Regions
// are rectangles given in image pixels; their masks are all 255 unless replaced.
struct RecogRig
{
    RecogRig(int width, int height, bool color = false, int templateSlots = 3)
        : para(new WizardPara),
          storeA(new CammerSingleton(0)),
          storeB(new CammerSingleton(0)),
          view(new CammerRecogData)
    {
        gpWPara = para.get();
        gisColor = color;
        gisGrayHue = true;
        gTempNum = templateSlots;
        for (int& enabled : para->detectEnabled) enabled = 0;
        para->detectEnabled[0] = 1;
        para->filterSize = 3;
        para->filterArea = 100;
        para->minSpot = 3;
        para->amplify = 0;
        para->showAllParams = 0;
        para->motionCorrect = -1;
        para->matchAngle = 0;
        para->matchAccuracy = 5;
        para->zoomLayers = 5;
        para->matchOffset = 8000;
        para->angleCorrect = 0;
        para->matchBrightness = 0;
        para->colorMinArea = 1;
        para->colorMaxArea = 1000;
        para->detectMode = 0;
        view->AllocImages(width, height, color);
        view->storeA = storeA.get();
        view->storeB = storeB.get();
        for (int d = 0; d < kMaxDetections; ++d) view->AllocTemplates(d, templateSlots);
    }
    ~RecogRig()
    {
        if (gpWPara == para.get())
            gpWPara = nullptr;
        gisColor = false;
    }

    // Adds a rectangle region to detection det of the working store (and the edit store);
    // -1 when the detection is full.
    int addRect(int det, cv::Rect r, int func, int p1 = 0, int p2 = 0, int p3 = 0)
    {
        if (storeA->roiNum[det] >= kMaxRegions)
            return -1;
        const int i = storeA->roiNum[det]++;
        storeA->func[det][i] = func;
        storeA->para1[det][i] = p1;
        storeA->para2[det][i] = p2;
        storeA->para3[det][i] = p3;
        storeA->shapeType[det][i] = kShapeRect;
        storeA->rects[det][i].imageRect = QRect(r.x, r.y, r.width, r.height);
        view->workMasks[det][i] = cv::Mat(r.height, r.width, CV_8UC1, cv::Scalar(255));
        view->editMasks[det][i] = view->workMasks[det][i];
        mirror(det, i);
        return i;
    }

    // A circle (a ring where innerR > 0) or a polygon of image points, with the masks the
    // shapes give; -1 when the detection is full.
    int addCircle(int det, cv::Point centre, int r, int innerR, int func, int p1 = 0, int p2 = 0, int p3 = 0)
    {
        const int i = addRect(det, cv::Rect(centre.x - r, centre.y - r, 2 * r, 2 * r), func, p1, p2, p3);
        if (i < 0)
            return i;
        Circle& c = storeA->circles[det][i];
        c.imageCx = centre.x, c.imageCy = centre.y, c.imageR = r, c.imageInnerR = innerR;
        c.imageRect = QRect(centre.x - r, centre.y - r, 2 * r, 2 * r);
        return setShape(det, i, kShapeCircle, c.UpdateMask());
    }
    int addPolygon(int det, const std::vector<cv::Point>& points, int func, int p1 = 0, int p2 = 0, int p3 = 0)
    {
        const cv::Rect box = cv::boundingRect(points);
        const int i = addRect(det, box, func, p1, p2, p3);
        if (i < 0)
            return i;
        RePolygon& poly = storeA->polygons[det][i];
        poly.count = int(points.size());
        for (size_t k = 0; k < points.size(); ++k) poly.imagePoints[int(k)] = QPoint(points[k].x, points[k].y);
        poly.imageRect = QRect(box.x, box.y, box.width, box.height);
        return setShape(det, i, kShapePolygon, poly.UpdateMask());
    }

    void setTemplate(int det, int k, const cv::Mat& picture)
    {
        std::memcpy(view->templates[det][k], picture.data, view->imageBytes);
        if (!view->templateValid[det][k])
            ++view->templateCount[det];
        view->templateValid[det][k] = 1;
    }

    // Puts the picture where each stage of the picture road reads it.
    void setRaw(const cv::Mat& picture) { std::memcpy(view->rawImage, picture.data, view->imageBytes); }
    void setAligned(const cv::Mat& picture) { std::memcpy(view->alignedImage, picture.data, view->imageBytes); }

    cv::Mat work() const { return view->GrayMat(view->workImage); }
    cv::Mat aligned() const { return view->GrayMat(view->alignedImage); }
    cv::Mat ignore(int det) const { return view->GrayMat(view->ignoreMask[det]); }

    // Builds the recogniser, which trains every enabled detection.
    CammerRecong& build()
    {
        recog.reset(new CammerRecong(storeA.get(), view.get()));
        return *recog;
    }

    int setShape(int det, int i, int type, const cv::Mat& mask)
    {
        storeA->shapeType[det][i] = type;
        view->workMasks[det][i] = mask;
        view->editMasks[det][i] = mask;
        mirror(det, i);
        return i;
    }

    // The edit store follows the working store's region i (copying the whole store, mostly
    // unused polygon slots, costs far more than the judgement of a frame).
    void mirror(int det, int i)
    {
        storeB->roiNum[det] = storeA->roiNum[det];
        storeB->func[det][i] = storeA->func[det][i];
        storeB->para1[det][i] = storeA->para1[det][i];
        storeB->para2[det][i] = storeA->para2[det][i];
        storeB->para3[det][i] = storeA->para3[det][i];
        storeB->shapeType[det][i] = storeA->shapeType[det][i];
        storeB->rects[det][i] = storeA->rects[det][i];
        storeB->circles[det][i] = storeA->circles[det][i];
        storeB->polygons[det][i] = storeA->polygons[det][i];
    }

    std::unique_ptr<WizardPara> para;
    std::unique_ptr<CammerSingleton> storeA;
    std::unique_ptr<CammerSingleton> storeB;
    std::unique_ptr<CammerRecogData> view;
    std::unique_ptr<CammerRecong> recog;
};

// Mean absolute grey difference inside rect.
inline double MeanAbsDiff(const cv::Mat& a, const cv::Mat& b, cv::Rect rect)
{
    cv::Mat d;
    cv::absdiff(a(rect), b(rect), d);
    return cv::mean(d)[0];
}
