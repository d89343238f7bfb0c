// The baseline of the judgement benches: what a user could write with OpenCV in an afternoon.
#pragma once

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// Per region, on the same crops Run judges: the absolute difference to the template, a
// threshold, a morphological opening and the areas of the outer contours. Returns the number
// of regions whose area exceeds areaLimit (its sanity figure).
inline int PlainJudgement(const cv::Mat& live, const cv::Mat& templ, const std::vector<cv::Rect>& rects,
                          int threshold = 14, int areaLimit = 100)
{
    static const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    int failing = 0;
    cv::Mat d, b, o;
    std::vector<std::vector<cv::Point>> contours;
    for (const cv::Rect& r : rects) {
        cv::absdiff(live(r), templ(r), d);
        cv::threshold(d, b, threshold, 255, cv::THRESH_BINARY);
        cv::morphologyEx(b, o, cv::MORPH_OPEN, kernel);
        cv::findContours(o, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
        double area = 0;
        for (const auto& c : contours) area += cv::contourArea(c);
        failing += area > areaLimit;
    }
    return failing;
}
