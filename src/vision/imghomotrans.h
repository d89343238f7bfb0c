// Perspective correction of a picture onto a template by SIFT features and a RANSAC homography.
#pragma once

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/stitching/detail/matchers.hpp>

class ImgHomoTrans
{
public:
    ImgHomoTrans();

    // Learns the template's features (mask: 8-bit of templ's size, or empty). Returns true
    // when at least minFeatures keypoints were found.
    bool setTemplate(const cv::Mat& templ, const cv::Mat& mask, int minFeatures);
    // Features of image, worked at the stored scale and restricted by the stored mask.
    void findFeature(const cv::Mat& image, cv::detail::ImageFeatures& features, int index);
    // Warps src into the template's frame; false (dst untouched) when it cannot.
    bool transImageHomo(cv::Mat src, cv::Mat& dst, float matchConf);

    cv::Mat mask;
    std::vector<cv::detail::ImageFeatures> features;  // [0] last picture, [1] template
    float scale = 1.0f;
    cv::Ptr<cv::DescriptorMatcher> templateMatcher;  // nearest-neighbour search over features[1]
};
