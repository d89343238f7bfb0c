// CammerRecong: perspective correction (raw -> work) and position correction (work -> aligned).
#include "cammerrecongnize.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include <QDebug>

#include "cammersingleton.h"
#include "mainstate.h"
#include "miscfunc.h"
#include "platformclock.h"
#include "wizardpara.h"

namespace {
constexpr int kMinTemplateFeatures = 300;
constexpr float kHomoMatchConf = 0.4f;
constexpr int kMaxMatchAngle = 180;
constexpr int kPatternMaskValue = 255;

bool RotationAllowed(int matchAngle)
{
    return matchAngle >= 1 && matchAngle <= kMaxMatchAngle;
}

// The map TurnAndMove and MoveImage apply: from a pixel of the corrected picture to the pixel
// of the picture it was corrected from.
cv::Matx23d CorrectedFrom(cv::Point offset, cv::Point centre, double angle)
{
    cv::Matx23d m = cv::getRotationMatrix2D(cv::Point2f(centre.x, centre.y), angle, 1.0);
    m(0, 2) += m(0, 0) * offset.x + m(0, 1) * offset.y;
    m(1, 2) += m(1, 0) * offset.x + m(1, 1) * offset.y;
    cv::Matx23d from;
    cv::invertAffineTransform(m, from);
    return from;
}

// What TransformImage makes of src (moved by offset, then turned by angle about centre, in
// a border wide enough for the turned corners, then cut back), written straight into dst of
// src's size with one warp of the picture's own size instead of one of the bordered picture
// (about a third of the pixels). The same picture as long as the move keeps the picture inside
// that border, which it does for any offset the search can find within the border; larger
// offsets take the bordered way, which drops what leaves the border.
void TurnAndMove(const cv::Mat& src, cv::Mat& dst, cv::Point offset, cv::Point centre, double angle)
{
    const int side = static_cast<int>(std::max(src.rows, src.cols) * 1.414);
    if (std::abs(offset.x) > (side - src.cols) / 2 || std::abs(offset.y) > (side - src.rows) / 2) {
        cv::Mat turned;
        TransformImage(src, turned, offset, centre, angle);
        turned.copyTo(dst);
        return;
    }
    // p = R (q + offset - centre) + centre
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(centre.x, centre.y), angle, 1.0);
    m.at<double>(0, 2) += m.at<double>(0, 0) * offset.x + m.at<double>(0, 1) * offset.y;
    m.at<double>(1, 2) += m.at<double>(1, 0) * offset.x + m.at<double>(1, 1) * offset.y;
    cv::warpAffine(src, dst, m, src.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
}

// A find of a model whose place stands out only by its finest detail must show that detail: the
// taught crop's and the corrected one's departures from their kDetailSpan square means correlate
// over the model's mask by at least kDetailSigmas times what chance gives (one over the root of
// the pixels). Sensor noise, the only detail a featureless surface has, is new in every picture,
// so that a find it seems to make (the live picture's parts or light lined up with the taught
// noise) is none; a grain the live picture still shows correlates far above it.
constexpr int kDetailSpan = 5;
constexpr double kDetailSigmas = 5.0;

cv::Mat Detail(const cv::Mat& picture)
{
    cv::Mat f, mean;
    picture.convertTo(f, CV_32F);
    cv::blur(f, mean, cv::Size(kDetailSpan, kDetailSpan), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    return f - mean;
}

bool ShowsDetail(const cv::Mat& taught, const cv::Mat& corrected, const cv::Mat& mask)
{
    const cv::Mat a = Detail(taught), b = Detail(corrected);
    double n = 0, sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int y = 0; y < a.rows; ++y) {
        const float* pa = a.ptr<float>(y);
        const float* pb = b.ptr<float>(y);
        const unsigned char* m = mask.ptr<unsigned char>(y);
        for (int x = 0; x < a.cols; ++x)
            if (m[x]) {
                n += 1, sa += pa[x], sb += pb[x];
                saa += double(pa[x]) * pa[x], sbb += double(pb[x]) * pb[x], sab += double(pa[x]) * pb[x];
            }
    }
    const double va = saa - sa * sa / std::max(n, 1.0), vb = sbb - sb * sb / std::max(n, 1.0);
    if (n < 2 || va <= 0 || vb <= 0)
        return false;
    const double r = (sab - sa * sb / n) / std::sqrt(va * vb);
    return r * std::sqrt(n) >= kDetailSigmas;
}

// The central rectangle used when a detection marks no region of its own.
cv::Rect CentralRect(int w, int h)
{
    return cv::Rect(w / 4, h / 4, 3 * w / 4, 3 * h / 4);
}
}  // namespace

void CammerRecong::CreateShape(int det)
{
    const WizardPara& p = LivePara();
    if (p.motionCorrect == -1 || Color() || !store || !TemplatesReady(det, "position model"))
        return;
    const int w = view->imageWidth, h = view->imageHeight;

    // One position region per detection is the case that works: with several, rectangle and
    // mask both come from the first, so that their sizes agree.
    Cut model;
    model.code = kRegEmptyRect;
    for (int r = 0; r < std::min(store->roiNum[det], kMaxRegions); ++r) {
        if (store->func[det][r] == kFuncPosition) {
            model = ClipShape(store, view->workMasks[det][r], det, r);
            break;
        }
    }
    if (model.code) {
        model.rect = CentralRect(w, h) & PictureRect();
        model.mask = cv::Mat(model.rect.size(), CV_8UC1, cv::Scalar(255));
    }
    const cv::Rect& rect = model.rect;
    // What the operator left out of judging moves: the model does not follow it either.
    if (view->ignoreMask[det]) {
        cv::Mat kept;
        cv::bitwise_and(model.mask, ~view->GrayMat(view->ignoreMask[det])(rect), kept);
        model.mask = kept;
    }
    shapeCenterX[det] = rect.x + rect.width / 2;
    shapeCenterY[det] = rect.y + rect.height / 2;
    const cv::Mat templ = view->GrayMat(view->templates[det][0])(rect);
    const int angle = RotationAllowed(p.matchAngle) ? p.matchAngle : p.motionCorrect;
    findShape[det].CreateShape(templ, 0.0, 0, angle, shapeCenterX[det], shapeCenterY[det], false, kPatternMaskValue,
                               model.mask, p.matchAccuracy, p.zoomLayers);
    const int m = p.matchOffset;
    const cv::Rect search = cv::Rect(rect.x - m, rect.y - m, rect.width + 2 * m, rect.height + 2 * m) & PictureRect();
    searchRect[det] = search.empty() ? cv::Rect(0, 0, 0, 0) : search;
    // A model that does not find its own picture where it was taught (a featureless picture)
    // would move every picture by chance: there is none, and pictures are judged as they come.
    // Where the search misses the taught place on a photograph (it takes the best of a few
    // coarse candidates, and a repeating facade offers many), the place itself still stands
    // out above what the search found: the model is kept. A picture that repeats itself a few
    // pixels off (ribs, a knurl) has none either: a live picture fits every period about as
    // well, the noise and the parts pick one, and a move by a period carries every region off.
    fineRect[det] = cv::Rect();
    fineMask[det].release();
    fineTaught[det].release();
    if (findShape[det].IsValid() && !search.empty()) {
        cv::Mat taught = view->GrayMat(view->templates[det][0])(search).clone();
        int x = 0, y = 0;
        double score = 0, turn = 0;
        const bool found = findShape[det].Find(taught, 0, &x, &y, &score, &turn);
        const cv::Vec3d elsewhere(x, y, turn);
        const bool missed = !found || x != search.x || y != search.y;
        const bool standsOut = findShape[det].StandsOut(taught, search.x, search.y, missed && found ? &elsewhere : nullptr);
        if (findShape[det].Repeats(taught, search.x, search.y) || (missed && !standsOut)) {
            qWarning() << "camera" << view->cameraIndex << "detection" << det
                       << "position model not distinct on its own picture: no position correction";
            findShape[det] = FindShape();
        } else if (!standsOut) {
            fineRect[det] = rect;
            fineMask[det] = model.mask.clone();
            fineTaught[det] = templ.clone();
        }
    }
    // Live pictures are searched from the taught place too (not the taught picture itself, where
    // it fits perfectly even on a featureless surface).
    if (findShape[det].IsValid())
        findShape[det].SetSearchOrigin(search.x, search.y);
}

void CammerRecong::ShapeMatch()
{
    const int det = gpState ? gpState->step : 0;  // without a main window (tools, tests): detection 0
    if (det < 0 || det >= kMaxDetections || !view->workImage || !view->alignedImage) {
        qWarning() << "camera" << view->cameraIndex << "position correction of detection" << det << "skipped";
        return;
    }
    const WizardPara& p = LivePara();
    const cv::Rect& search = searchRect[det];
    corrected[det] = false;
    if (p.motionCorrect != -1 && findShape[det].IsValid() && !Color() && !search.empty()) {
        const cv::Mat work = view->GrayMat(view->workImage);
        cv::Mat crop = work(search).clone();
        const qint64 start = PlatformClock::monotonicMs();
        int x = 0, y = 0;
        double score = 0, angle = 0;
        if (findShape[det].Find(crop, 0, &x, &y, &score, &angle)) {
            const int dx = x - search.x, dy = y - search.y;
            cv::Mat aligned = view->GrayMat(view->alignedImage);
            const cv::Point centre(shapeCenterX[det], shapeCenterY[det]);
            if (RotationAllowed(p.matchAngle)) {
                TurnAndMove(work, aligned, cv::Point(dx, dy), centre, angle);
            } else {
                MoveImage(work, aligned, dx, dy);
            }
            if (!fineTaught[det].empty() && !ShowsDetail(fineTaught[det], aligned(fineRect[det]), fineMask[det])) {
                qInfo() << "NG运行时间" << PlatformClock::monotonicMs() - start << "(no detail of the model at the find)";
                std::memcpy(view->alignedImage, view->workImage, view->imageBytes);
                return;
            }
            correctedFrom[det] = CorrectedFrom(cv::Point(dx, dy), centre, RotationAllowed(p.matchAngle) ? angle : 0.0);
            corrected[det] = true;
            qInfo() << "OK运行时间" << PlatformClock::monotonicMs() - start << "x: " << dx << "y: " << dy
                    << "a: " << angle;
            return;
        }
        qInfo() << "NG运行时间" << PlatformClock::monotonicMs() - start;
    }
    std::memcpy(view->alignedImage, view->workImage, view->imageBytes);
}

cv::Mat CammerRecong::FillUncovered(int det, cv::Rect rect, cv::Mat& roi) const
{
    if (det < 0 || det >= kMaxDetections || !corrected[det] || Color())
        return cv::Mat();
    const cv::Matx23d& from = correctedFrom[det];
    const double right = view->imageWidth - 1, bottom = view->imageHeight - 1;
    auto outside = [&](double x, double y) {
        const cv::Vec2d q = from * cv::Vec3d(x, y, 1.0);
        return q[0] < 0 || q[1] < 0 || q[0] > right || q[1] > bottom;
    };
    // The map keeps straight lines: a rectangle whose corners come from inside lies wholly inside.
    const int x1 = rect.x + rect.width - 1, y1 = rect.y + rect.height - 1;
    if (!outside(rect.x, rect.y) && !outside(x1, rect.y) && !outside(rect.x, y1) && !outside(x1, y1))
        return cv::Mat();
    cv::Mat uncovered(rect.size(), CV_8UC1);
    for (int y = 0; y < rect.height; ++y) {
        unsigned char* u = uncovered.ptr<unsigned char>(y);
        for (int x = 0; x < rect.width; ++x) u[x] = outside(rect.x + x, rect.y + y) ? 255 : 0;
    }
    if (cv::countNonZero(uncovered) == 0)
        return cv::Mat();
    roi = roi.clone();
    view->GrayMat(view->templates[det][0])(rect).copyTo(roi, uncovered);
    return uncovered;
}

void CammerRecong::CreateHomoShape(int det)
{
    if (!LivePara().angleCorrect || Color() || !store || !TemplatesReady(det, "perspective model"))
        return;
    const int w = view->imageWidth, h = view->imageHeight;
    cv::Mat mask = cv::Mat::zeros(h, w, CV_8UC1);
    bool lastUsable = false;
    for (int r = 0; r < std::min(store->roiNum[det], kMaxRegions); ++r) {
        if (store->func[det][r] != kFuncPerspective)
            continue;
        const Cut cut = ClipShape(store, view->workMasks[det][r], det, r);
        lastUsable = cut.code == 0;
        if (lastUsable)
            cut.mask.copyTo(mask(cut.rect));
    }
    if (!lastUsable)
        mask(CentralRect(w, h) & PictureRect()).setTo(255);
    homo[det].setTemplate(view->GrayMat(view->templates[det][0]), mask, kMinTemplateFeatures);
}

int CammerRecong::HomoTransShape(int det)
{
    if (!view->rawImage || !view->workImage)
        return 1;
    if (LivePara().angleCorrect && !Color() && det >= 0 && det < kMaxDetections) {
        cv::Mat work = view->GrayMat(view->workImage);
        if (homo[det].transImageHomo(view->GrayMat(view->rawImage), work, kHomoMatchConf))
            return 1;
    }
    std::memcpy(view->workImage, view->rawImage, view->imageBytes);
    return 1;
}
