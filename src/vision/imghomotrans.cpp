// Perspective correction of a picture onto a template.
#include "imghomotrans.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/flann.hpp>
#include <opencv2/imgproc.hpp>

namespace {
constexpr double kWorkPixels = 500000.0;  // pictures are worked at about half a megapixel
constexpr double kRansacThreshold = 3.0;
constexpr int kRansacIters = 2000;
constexpr double kRansacConfidence = 0.995;
constexpr size_t kMinPairs = 4;
// Features are looked for only around the mask's pixels: the picture is cut to the mask's
// bounding box plus this border, which covers the widest support of a detected feature at
// the scales that matter, so the features inside the mask do not change.
constexpr int kCutBorder = 24;

cv::Ptr<cv::DescriptorMatcher> NewMatcher()
{
    // The nearest-two search of the stitching module's pairwise matcher: KD-trees, default checks.
    return cv::makePtr<cv::FlannBasedMatcher>(cv::makePtr<cv::flann::KDTreeIndexParams>(),
                                              cv::makePtr<cv::flann::SearchParams>());
}

// Best-of-two-nearest matches of the rows [range) of a against the trained matcher (b's
// descriptors), each kept when its distance is below (1 - conf) times the second nearest.
// Query indices are those of a. Searches of a trained matcher only read it, so parts of a
// may be searched at the same time.
std::vector<cv::DMatch> RatioMatches(cv::DescriptorMatcher& trained, const cv::Mat& a, cv::Range range, float conf)
{
    std::vector<std::vector<cv::DMatch>> pairs;
    trained.knnMatch(a.rowRange(range), pairs, 2);
    std::vector<cv::DMatch> out;
    for (const auto& p : pairs)
        if (p.size() >= 2 && p[0].distance < (1.f - conf) * p[1].distance)
            out.emplace_back(p[0].queryIdx + range.start, p[0].trainIdx, p[0].distance);
    return out;
}

// The rows of a split into n parts.
cv::Range Part(const cv::Mat& a, int i, int n)
{
    return cv::Range(a.rows * i / n, a.rows * (i + 1) / n);
}
}  // namespace

ImgHomoTrans::ImgHomoTrans() : features(2) {}

bool ImgHomoTrans::setTemplate(const cv::Mat& templ, const cv::Mat& templMask, int minFeatures)
{
    features.assign(2, cv::detail::ImageFeatures());
    templateMatcher.release();
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
    // The template's search structure is built once per training, not once per picture.
    if (!features[1].descriptors.empty()) {
        templateMatcher = NewMatcher();
        // A copy: a Mat mapped from the UMat would pin it past the next setTemplate.
        templateMatcher->add(std::vector<cv::Mat>{features[1].descriptors.getMat(cv::ACCESS_READ).clone()});
        templateMatcher->train();
    }
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
    if (!mask.empty() && mask.type() == CV_8UC1 && mask.size() == resized.size()) {
        // Only the part around the mask is searched; keypoints return to resized coordinates.
        const cv::Rect box = cv::boundingRect(mask);
        const cv::Rect cut = box.empty() ? box
                                         : cv::Rect(box.x - kCutBorder, box.y - kCutBorder, box.width + 2 * kCutBorder,
                                                    box.height + 2 * kCutBorder) &
                                               cv::Rect(0, 0, resized.cols, resized.rows);
        if (cut.empty()) {
            out = cv::detail::ImageFeatures();
        } else {
            cv::detail::computeImageFeatures(detector, resized(cut), out, mask(cut));
            for (cv::KeyPoint& k : out.keypoints) k.pt += cv::Point2f(float(cut.x), float(cut.y));
        }
        out.img_size = resized.size();
    } else {
        cv::detail::computeImageFeatures(detector, resized, out);
    }
    out.img_idx = index;
}

bool ImgHomoTrans::transImageHomo(cv::Mat src, cv::Mat& dst, float matchConf)
{
    // Without template features no pair can match; spare the picture's extraction.
    if (src.empty() || features.size() != 2 || features[1].keypoints.size() < kMinPairs || !templateMatcher)
        return false;
    findFeature(src, features[0], 0);
    // The matcher cannot index an empty descriptor set (a uniform picture has none).
    if (features[0].keypoints.size() < kMinPairs)
        return false;
    // Pairwise best-of-two-nearest matching both ways, as the stitching module's matcher does:
    // picture -> template, then template -> picture pairs not found the first way. The
    // searches run in parts side by side when threads are available, the picture's search
    // structure being built meanwhile; the parts' results are joined in order.
    const cv::Mat picture = features[0].descriptors.getMat(cv::ACCESS_READ);
    const cv::Mat templ = features[1].descriptors.getMat(cv::ACCESS_READ);
    const int parts = std::max(1, cv::getNumThreads());
    std::vector<std::vector<cv::DMatch>> forward(parts), backward(parts);
    cv::Ptr<cv::DescriptorMatcher> pictureMatcher = NewMatcher();
    cv::parallel_for_(cv::Range(0, parts + 1), [&](const cv::Range& range) {
        for (int task = range.start; task < range.end; ++task) {
            if (task == parts) {
                pictureMatcher->add(std::vector<cv::Mat>{picture});
                pictureMatcher->train();
            } else {
                forward[task] = RatioMatches(*templateMatcher, picture, Part(picture, task, parts), matchConf);
            }
        }
    });
    cv::parallel_for_(cv::Range(0, parts), [&](const cv::Range& range) {
        for (int task = range.start; task < range.end; ++task)
            backward[task] = RatioMatches(*pictureMatcher, templ, Part(templ, task, parts), matchConf);
    });
    std::vector<cv::DMatch> matches;
    for (const auto& part : forward) matches.insert(matches.end(), part.begin(), part.end());
    std::set<std::pair<int, int>> found;
    for (const cv::DMatch& m : matches) found.insert({m.queryIdx, m.trainIdx});
    for (const auto& part : backward)
        for (const cv::DMatch& m : part)
            if (!found.count({m.trainIdx, m.queryIdx}))
                matches.emplace_back(m.trainIdx, m.queryIdx, m.distance);

    std::vector<cv::Point2f> picturePts, templatePts;
    for (const cv::DMatch& m : matches) {
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
