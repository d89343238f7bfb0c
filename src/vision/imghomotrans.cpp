// Perspective correction of a picture onto a template.
#include "imghomotrans.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

namespace {
constexpr double kWorkPixels = 500000.0;  // pictures are worked at about half a megapixel
constexpr int kMatchThresh = 6;
constexpr double kRansacThreshold = 3.0;
constexpr int kRansacIters = 2000;
constexpr double kRansacConfidence = 0.995;
constexpr size_t kMinPairs = 4;
}  // namespace

ImgHomoTrans::ImgHomoTrans() : features(2) {}

bool ImgHomoTrans::setTemplate(const cv::Mat& templ, const cv::Mat& templMask, int minFeatures)
{
    features.assign(2, cv::detail::ImageFeatures());
    if (templ.rows * templ.cols == 0)
        return false;
    scale = float(std::min(1.0, std::sqrt(kWorkPixels / (double(templ.rows) * templ.cols))));
    if (!templMask.empty()) {
        if (templMask.type() != CV_8UC1 || templMask.size() != templ.size())
            return false;
        cv::resize(templMask, mask, cv::Size(), scale, scale, cv::INTER_LINEAR_EXACT);
    } else {
        mask = templMask;
    }
    findFeature(templ, features[1], 1);
    return minFeatures <= int(features[1].keypoints.size());
}

void ImgHomoTrans::findFeature(const cv::Mat& image, cv::detail::ImageFeatures& out, int index)
{
    if (image.empty())
        return;
    cv::Ptr<cv::Feature2D> detector = cv::SIFT::create(0, 3, 0.04, 10, 1.6);
    cv::Mat gray = image;
    if (image.channels() == 3)
        cv::cvtColor(image, gray, cv::COLOR_BGR2GRAY);
    cv::Mat resized;
    cv::resize(gray, resized, cv::Size(), scale, scale, cv::INTER_LINEAR_EXACT);
    if (!mask.empty() && mask.type() == CV_8UC1 && mask.size() == resized.size())
        cv::detail::computeImageFeatures(detector, resized, out, mask);
    else
        cv::detail::computeImageFeatures(detector, resized, out);
    out.img_idx = index;
}

bool ImgHomoTrans::transImageHomo(cv::Mat src, cv::Mat& dst, float matchConf)
{
    // Without template features no pair can match; spare the picture's extraction.
    if (src.empty() || features.size() != 2 || features[1].keypoints.size() < kMinPairs)
        return false;
    findFeature(src, features[0], 0);
    // The matcher cannot index an empty descriptor set (a uniform picture has none).
    if (features[0].keypoints.size() < kMinPairs)
        return false;
    cv::detail::BestOf2NearestMatcher matcher(false, matchConf, kMatchThresh, kMatchThresh);
    cv::detail::MatchesInfo info;
    matcher(features[0], features[1], info);
    matcher.collectGarbage();

    std::vector<cv::Point2f> picturePts, templatePts;
    for (const cv::DMatch& m : info.matches) {
        picturePts.push_back(features[0].keypoints[m.queryIdx].pt / scale);
        templatePts.push_back(features[1].keypoints[m.trainIdx].pt / scale);
    }
    if (picturePts.size() < kMinPairs)
        return false;
    const cv::Mat h = cv::findHomography(picturePts, templatePts, cv::RANSAC, kRansacThreshold, cv::noArray(),
                                         kRansacIters, kRansacConfidence);
    if (h.empty())
        return false;
    cv::warpPerspective(src, dst, h, src.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    return true;
}
