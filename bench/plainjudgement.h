// The baseline of the judgement benches and of the recognition floor test: what a user could
// write with OpenCV in an afternoon.
#pragma once

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// One region's crops: the absolute difference to the template (on a hue picture the distance
// round the 0..255 circle), a threshold, the region's mask (empty: every pixel), a 3 x 3
// opening and the summed areas of the outer contours.
inline double PlainArea(const cv::Mat& live, const cv::Mat& templ, const cv::Mat& mask = cv::Mat(),
                        bool circular = false, int threshold = 14)
{
    static const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    thread_local cv::Mat d, b, o;
    thread_local std::vector<std::vector<cv::Point>> contours;
    cv::absdiff(live, templ, d);
    if (circular)
        cv::min(d, 255 - d, d);
    cv::threshold(d, b, threshold, 255, cv::THRESH_BINARY);
    if (!mask.empty())
        cv::bitwise_and(b, mask, b);
    cv::morphologyEx(b, o, cv::MORPH_OPEN, kernel);
    cv::findContours(o, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    double area = 0;
    for (const auto& c : contours) area += cv::contourArea(c);
    return area;
}

// Every rectangle judged so; returns the number of regions whose area exceeds areaLimit (its
// sanity figure).
inline int PlainJudgement(const cv::Mat& live, const cv::Mat& templ, const std::vector<cv::Rect>& rects,
                          int threshold = 14, int areaLimit = 100)
{
    int failing = 0;
    for (const cv::Rect& r : rects) failing += PlainArea(live(r), templ(r), cv::Mat(), false, threshold) > areaLimit;
    return failing;
}
