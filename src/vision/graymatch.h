// Grey template defect matcher: a per-pixel tolerance band learnt from reference crops.
#pragma once

#include <opencv2/core.hpp>

// Contract
// - Create(width, height, mask, 0) starts a new model for crops of width x height. mask
//   (8-bit, that size; empty = all judged) has 255 where a pixel is judged; any other value
//   keeps the pixel out of every result. Any previous model is dropped.
// - AddTemp(crop) folds one reference crop (8-bit, exactly width x height) into the band:
//   each pixel's band widens to the darkest and brightest value seen in its 3 x 3
//   neighbourhood over all crops, so edges tolerate a shift of one pixel and the spread
//   between references is accepted. Crops of another size or type are ignored.
// - Train(sensitivity, amplify, toleranceScale, toleranceMax) finishes the model; it becomes
//   valid only when at least one crop was added. A pixel departs when its distance outside
//   the band, multiplied by (1 + amplify), exceeds
//       tolerance = clamp((100 - sensitivity) * toleranceScale / 100, 1, toleranceMax)
//   grey levels (sensitivity clamped to 0..100, amplify to 0..4): higher sensitivity and
//   higher amplify find fainter defects.
// - Match(image, diff): image is an 8-bit crop of the model's size. diff becomes an 8-bit
//   picture of that size, 255 where the pixel departs from the band and is judged by the
//   mask, 0 elsewhere. An invalid model or a crop of another size gives an all-zero diff of
//   the crop's size.
// Construction allocates nothing, so thousands can be held by value.
class GrayMatch
{
public:
    bool IsValid() const { return valid; }
    void Clear();
    void Create(int width, int height, const cv::Mat& mask, int reserved);
    void AddTemp(const cv::Mat& crop);
    void Train(int sensitivity, int amplify, int toleranceScale, int toleranceMax);
    void Match(const cv::Mat& image, cv::Mat& diff) const;

    bool valid = false;
    int width = 0;
    int height = 0;
    int tolerance = 1;
    int gain = 1;
    int tempCount = 0;
    cv::Mat judged;  // 255 = judged pixel
    cv::Mat low;     // darkest accepted grey per pixel
    cv::Mat high;    // brightest accepted grey per pixel
};
