// Grey template defect matcher.
#include "graymatch.h"

#include <algorithm>

#include <QDebug>

#include <opencv2/imgproc.hpp>

namespace {
constexpr int kMaxAmplify = 4;
}

void GrayMatch::Clear()
{
    valid = false;
    tempCount = 0;
    judged.release();
    low.release();
    high.release();
}

void GrayMatch::Create(int w, int h, const cv::Mat& mask, int)
{
    Clear();
    width = std::max(0, w);
    height = std::max(0, h);
    if (!mask.empty() && mask.type() == CV_8UC1 && mask.cols == width && mask.rows == height) {
        cv::compare(mask, 255, judged, cv::CMP_EQ);
    } else {
        if (!mask.empty())
            qWarning() << "GrayMatch: mask of" << mask.cols << "x" << mask.rows << "for a model of" << width << "x"
                       << height << ", judging every pixel";
        judged = cv::Mat(height, width, CV_8UC1, cv::Scalar(255));
    }
}

void GrayMatch::AddTemp(const cv::Mat& crop)
{
    if (crop.type() != CV_8UC1 || crop.cols != width || crop.rows != height || width == 0 || height == 0) {
        qWarning() << "GrayMatch: reference crop of" << crop.cols << "x" << crop.rows << "ignored, model is" << width
                   << "x" << height;
        return;
    }
    cv::Mat lo, hi;
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::erode(crop, lo, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(crop, hi, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    if (tempCount == 0) {
        low = lo;
        high = hi;
    } else {
        cv::min(low, lo, low);
        cv::max(high, hi, high);
    }
    ++tempCount;
}

void GrayMatch::Train(int sensitivity, int amplify, int toleranceScale, int toleranceMax)
{
    sensitivity = std::clamp(sensitivity, 0, 100);
    gain = 1 + std::clamp(amplify, 0, kMaxAmplify);
    tolerance = std::clamp((100 - sensitivity) * toleranceScale / 100, 1, std::max(1, toleranceMax));
    valid = tempCount > 0;
}

void GrayMatch::Match(const cv::Mat& image, cv::Mat& diff) const
{
    if (!valid || image.type() != CV_8UC1 || image.cols != width || image.rows != height) {
        diff = cv::Mat::zeros(image.rows, image.cols, CV_8UC1);
        return;
    }
    cv::Mat below, above;
    cv::subtract(low, image, below);  // saturates at 0 inside the band
    cv::subtract(image, high, above);
    cv::max(below, above, below);
    // departure * gain > tolerance  <=>  departure > tolerance / gain for integer departures
    cv::threshold(below, above, tolerance / gain, 255, cv::THRESH_BINARY);
    cv::bitwise_and(above, judged, diff);
}
