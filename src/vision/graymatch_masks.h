// Mask and morphology helpers of the matchers, shared with the recogniser: the results of
// OpenCV's openings and erosions on a region's crop, without the general filter's set-up.
#pragma once

#include <opencv2/core.hpp>

// marks (8-bit, a picture of its own: not a part of a larger one) opened in place by the 3 x 3
// cross (a 3 x 3 ellipse), as cv::morphologyEx does it, without the general filter's set-up.
void OpenCross(cv::Mat& marks);
// The box around marks' non-zero pixels (8-bit), empty when there are none.
cv::Rect MarksBox(const cv::Mat& marks);
// marks (8-bit) opened in place by a square span pixels wide, as cv::morphologyEx does it with
// a rectangle (an even one: as cv::erode about the pixel up and left of its middle, then cv::dilate
// about the one down and right).
void OpenSquare(cv::Mat& marks, int span);
// marks (8-bit, a picture of its own) eroded in place by the ring of a 3 x 3 square without its
// middle, as cv::erode does it with that kernel.
void ErodeRing(cv::Mat& marks);
