// Grey template defect matcher: a per-pixel tolerance band learnt from reference crops.
#pragma once

#include <vector>

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
//       tolerance = clamp(1 + (100 - sensitivity)^2 * toleranceScale / 100 / 220, 1, toleranceMax)
//   grey levels (sensitivity clamped to 0..100, amplify to 0..4): higher sensitivity and
//   higher amplify find fainter defects. The factory sensitivity 45 gives 14 grey levels,
//   0 gives 46, 80 gives 2.
// - Match(image, diff): image is an 8-bit crop of the model's size. A change of the whole
//   crop's brightness of up to 15 % (lighting, exposure) is not a defect: the crop is first
//   scaled back by its brightness ratio to the references (the median over the judged
//   pixels that are not clipped at white, limited to 0.85..1.18), and departures are counted
//   at the references' brightness. A pixel clipped at 255 only says its light was at least
//   255 / ratio: it never lies below its band, and above it only by that much (glare and
//   near-white areas of a brighter frame pass). A crop a few pixels off its references
//   (vibration, a slight turn of the camera, nothing corrected) is judged where it lies: when
//   it departs, the whole-pixel movement of up to 8 pixels each way that leaves clearly the
//   fewest departures is used, and the strip it uncovers is not judged. diff becomes an 8-bit
//   picture of that size, 255 where the pixel departs from the band and is judged by the
//   mask, 0 elsewhere. The band's neighbourhood would take a pixel from the
//   rim of every changed area on textured references: a pixel next to a departing one that
//   departs from the references' values at its own place by more than the tolerance is
//   marked as well. An invalid model or a crop of another size gives an all-zero diff.
// - Hue pictures (circular = true before AddTemp; Create keeps the flag): grey values are
//   angles on a 0..255 circle. Where both the references' and the crop's hue are coherent
//   over 5 x 5 pixels, the departure is the circular distance of the mean directions (0 and
//   255 are neighbours); where hue jumps from pixel to pixel (near-grey colours under sensor
//   noise) it carries no information and weighs nothing, so there only a clear hue
//   appearing, or a clear hue of the references vanishing, departs (as a whole-circle
//   distance). Departures are in the same grey levels (1/255 of the circle), a reference
//   one pixel away is accepted, and the brightness scaling does not apply.
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
    bool circular = false;  // the pictures are hue
    int width = 0;
    int height = 0;
    int tolerance = 1;
    int gain = 1;
    int tempCount = 0;
    cv::Mat judged;                // 255 = judged pixel
    cv::Mat low;                   // darkest accepted grey per pixel
    cv::Mat high;                  // brightest accepted grey per pixel
    cv::Mat pointLow;              // darkest reference grey at the pixel itself
    cv::Mat pointHigh;             // brightest reference grey at the pixel itself (may share pointLow)
    std::vector<cv::Mat> hueRefs;  // circular: HueField of each reference
};

// Hue crop (8-bit, 0..255 circle) -> CV_32FC3 per pixel: the mean hue direction over 5 x 5
// pixels as a unit vector (x, y) and its coherence (mean resultant length: about 1 for one
// clear hue, below about 0.55 where near-grey colours make the hue noise).
cv::Mat HueField(const cv::Mat& hue);
// Weight 0..1 of a hue direction of that coherence: 0 for noise, 1 for a clear hue.
float HueDirectionWeight(float coherence);
// Strength 0..1 of a hue of that coherence: the coherence itself, faded out to 0 where hue is
// noise (near-grey colours), so that noise leaves nothing behind when averaged.
float HueStrength(float coherence);
