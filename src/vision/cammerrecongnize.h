// CammerRecong: one camera's recogniser: training, perspective and position correction, region judgement.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "cammersingleton.h"
#include "findshape.h"
#include "graymatch.h"
#include "imghomotrans.h"
#include "recogdata.h"
#include "surf.h"
#include "viewgeometry.h"

class CammerSingleton;
class WizardPara;
struct param_roi;

// Codes of "REG RUN ERROR" for a region that cannot be judged.
constexpr int kRegNoMask = -1;
constexpr int kRegNoDetMask = -2;
constexpr int kRegEmptyRect = -3;

// Use per camera and detection d (the camera view owns one recogniser, built on its working
// store storeA and itself):
//   training: CreateHomoShape(d), CreateShape(d), VarTrain(d) (the constructor does this for
//             every enabled detection); VarTrain(d) alone after template or ignore changes;
//   judging:  view->rawImage filled, main window step = d, then HomoTransShape(d),
//             ShapeMatch(), Run(d); results in roiOk, roiValue, roiBoxes, cameraOk,
//             displayMask of the view and in TNR_NETMN::roiCache;
//   preview:  RunTest(d, roi) on storeB / editMasks / templates[d][curTempIndex].
class CammerRecong
{
public:
    CammerRecong(CammerSingleton* store, CammerRecogData* view);

    void Run(int det);
    void VarTrain(int det);
    void RunTest(int det, int roi);
    void CreateShape(int det);
    void ShapeMatch();
    void CreateHomoShape(int det);
    int HomoTransShape(int det);

    // dst = 255 where lo <= src <= hi (both inclusive), else 0.
    static void ThresholdFUNC(cv::Mat src, cv::Mat& dst, int lo, int hi);

    CammerSingleton* store;
    CammerRecogData* view;
    cv::Mat detMask[kMaxDetections];
    GrayMatch grayMatch[kMaxDetections][kMaxRegions];
    SURF surf[kMaxDetections][kMaxRegions];
    ImgHomoTrans homo[kMaxDetections];
    double norm[kMaxDetections] = {};
    FindShape findShape[kMaxDetections];
    int shapeCenterX[kMaxDetections] = {};
    int shapeCenterY[kMaxDetections] = {};
    cv::Rect searchRect[kMaxDetections];
    // Where the last position correction of each detection took each pixel of the judged
    // picture from in the picture it corrected (valid when corrected).
    cv::Matx23d correctedFrom[kMaxDetections];
    bool corrected[kMaxDetections] = {};
    // Per detection whose taught place stands out only by the finest detail of its picture (a
    // grain, or a featureless surface's noise, which a quarter size averages away): the model's
    // rectangle, mask and taught crop, whose detail a find must show (see ShapeMatch); else empty.
    cv::Rect fineRect[kMaxDetections];
    cv::Mat fineMask[kMaxDetections];
    cv::Mat fineTaught[kMaxDetections];

private:
    // A region cut to the picture: its rectangle and its mask (shape AND detection mask).
    struct Cut
    {
        cv::Rect rect;
        cv::Mat mask;
        int code = 0;  // 0, or the REG RUN ERROR code
    };
    // What one region's function makes of its crop before the opening.
    struct Band
    {
        cv::Mat band;
        int kernel = 1;
        int score = 0;  // similarity only
    };

    // Functions that only feed training or the corrections and are never judged.
    static bool NotJudged(int f);
    bool Color() const;
    cv::Rect PictureRect() const;
    static cv::Rect ShapeRect(const CammerSingleton* s, int det, int r);
    // The shape's rectangle clipped to the picture and its mask cut to match.
    Cut ClipShape(const CammerSingleton* s, const cv::Mat& shapeMask, int det, int r) const;
    // ClipShape, then ANDed with the detection mask; maskRequired says whether a missing
    // detection mask is an error (judging) or simply not applied (preview). Without judgedMask the
    // mask stays the shape's alone (a view: never write through it), for functions that never read it.
    Cut CutRegion(const CammerSingleton* s, const cv::Mat& shapeMask, int det, int r, bool maskRequired,
                  bool judgedMask = true) const;
    // Whether function f's band reads the region's judged mask (the matchers apply their own).
    static bool BandReadsMask(int f);
    // countSlack: how far below the crop size the count functions' kernel clears the band
    // (2 when judging, 3 for the preview).
    // light: the frame's light around the region (see RegionLight; 0 = the matcher reads its own);
    // around: the picture over the window the region's matcher reads a texture's alignment on
    // (see AroundRegion; empty: none).
    Band MakeBand(const CammerSingleton* s, int det, int r, const cv::Mat& roi, const cv::Mat& colorRoi,
                  const cv::Mat& m, int kernel, int countSlack, double light = 0, const cv::Mat& around = cv::Mat());
    // The picture over the window around region r's crop at rect that its defect matcher keeps
    // (GrayMatch::aroundAt), filled where the last correction left it without content; empty when
    // the matcher keeps none.
    cv::Mat AroundRegion(int det, int r, const cv::Mat& picture, cv::Rect rect) const;
    // The frame's light over picture (see TrainLight): the cells' ratios of their sums to the
    // taught ones, fitted by a smooth surface (a gain, a gradient, a vignetting) from the cells
    // that agree with it, so that parts and objects, however large, are left out. Kept in
    // frameLight[det]; not valid when too few cells tell it or they scatter about any smooth light.
    void FitLight(int det, const cv::Mat& picture);
    // The frame's light at the centre of rect (0: unknown, the matcher reads its own); where it
    // changes across rect, roi (rect's crop) becomes a copy levelled to that light, so that a
    // gradient neither eats a faint part's contrast nor marks a clean region's far side.
    double RegionLight(int det, cv::Rect rect, cv::Mat& roi) const;
    // The cells over the taught picture ref of det on which FitLight reads the frame's light,
    // with their sums.
    void TrainLight(int det, const cv::Mat& ref);
    using Contours = std::vector<std::vector<cv::Point>>;
    // Opens the band with its kernel, ORs the result into overlay and returns its outer contours.
    static Contours Blobs(const Band& band, cv::Mat overlay);
    // Sum of the contours' areas, truncated after each addition.
    static int AreaSum(const Contours& contours);
    // Pass rule of the region's function on its measurements; value becomes the region's
    // shown value (area, score or count) and rec gets the limits the network record carries.
    bool Judge(int det, int r, int area, int score, int count, int& value, param_roi& rec) const;
    void ReportRegionError(int det, int code) const;
    bool TemplatesReady(int det, const char* what) const;
    // The pixels of rect (255, rect's size) that the last position correction of det left
    // without content (a moved or turned picture leaves an empty strip at its edge), filled in
    // roi (rect's crop, made a copy of its own) with what the taught picture has there; empty
    // when every pixel of rect has content.
    cv::Mat FillUncovered(int det, cv::Rect rect, cv::Mat& roi) const;
    // The picture used for training from template k of det (converted for colour cameras).
    cv::Mat TrainingPicture(int det, int k);

    cv::Mat normalised;  // reused buffer of the brightness-matched picture
    // Per detection on grey pictures, the cells over the picture where the frame's light is read.
    struct LightCell
    {
        cv::Rect rect;
        long refSum;  // weighted against fine textures (see CellSum)
        int pixels;
    };
    std::vector<LightCell> lightCells[kMaxDetections];
    // The light of the frame last judged against the taught picture: ratio = c . (1, u, v, u^2,
    // u v, v^2), u and v the pixel's offset from the picture's centre in half its longer side,
    // read no further out than the cells that told it (within), sure to within agree (see
    // GrayMatch::Match).
    struct LightSurface
    {
        bool valid = false;
        double c[6] = {};
        cv::Rect2d within;
        double agree = 0;
        // Less sure: the cells read and their ratios (where a smooth light was fitted, those that
        // agree with it), whose ring around a region tells its light (a picture off its place moves
        // its detail alike close around), and the cells' pitch.
        std::vector<std::pair<cv::Rect, float>> read;
        int pitch = 0;
    };
    LightSurface frameLight[kMaxDetections];
};
