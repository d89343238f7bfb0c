// The baseline of the judgement benches and of the recognition floor test: what a user could
// write with OpenCV in an afternoon.
#pragma once

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// The area a difference picture marks: a threshold, the region's mask (empty: every pixel), a
// 3 x 3 opening and the summed areas of the outer contours.
inline double PlainMarkedArea(const cv::Mat& d, const cv::Mat& mask, int threshold)
{
    static const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    thread_local cv::Mat b, o;
    thread_local std::vector<std::vector<cv::Point>> contours;
    cv::threshold(d, b, threshold, 255, cv::THRESH_BINARY);
    if (!mask.empty())
        cv::bitwise_and(b, mask, b);
    cv::morphologyEx(b, o, cv::MORPH_OPEN, kernel);
    cv::findContours(o, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    double area = 0;
    for (const auto& c : contours) area += cv::contourArea(c);
    return area;
}

// One region's crops: the absolute difference to the template (on a hue picture the distance
// round the 0..255 circle), marked as above.
inline double PlainArea(const cv::Mat& live, const cv::Mat& templ, const cv::Mat& mask = cv::Mat(),
                        bool circular = false, int threshold = 14)
{
    thread_local cv::Mat d;
    cv::absdiff(live, templ, d);
    if (circular)
        cv::min(d, 255 - d, d);
    return PlainMarkedArea(d, mask, threshold);
}

// The same for colour crops (8UC3 or 8UC4, B, G, R first): the distance of the two colours in the
// plane of chroma, which brightness alone does not move and which is small wherever both are near
// a grey, so that it is as sure of a change of colour as the colour is clear.
inline double PlainColourArea(const cv::Mat& live, const cv::Mat& templ, const cv::Mat& mask = cv::Mat(),
                              int threshold = 14)
{
    std::vector<cv::Mat> l, t, c(3);
    cv::split(live, l);
    cv::split(templ, t);
    for (int k = 0; k < 3; ++k) cv::subtract(l[size_t(k)], t[size_t(k)], c[size_t(k)], cv::noArray(), CV_32F);
    // (c: the change of B, G and R)
    cv::Mat d, x = c[2] - 0.5 * (c[1] + c[0]), y = 0.8660254 * (c[1] - c[0]);
    cv::magnitude(x, y, d);
    d.convertTo(d, CV_8U);
    return PlainMarkedArea(d, mask, threshold);
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
