// Grey template defect matcher: which pixels of a region's crop depart from the taught references.
#pragma once

#include <opencv2/core.hpp>

#include "graymatch_model.h"

// Create(width, height, mask, 0): a new model for crops of that size; mask (8-bit, that size;
//   empty: all) has 255 where a pixel is judged, and no other pixel ever departs.
// AddTemp(crop): folds in one reference crop (8-bit, exactly that size; others are ignored).
// AddContext(picture, at) (grey): the picture the last reference was cut from at `at`, so that
//   the match may read the window around a crop as the references had it (see aroundAt).
// AddColour(colour) (hue, circular = true before AddTemp): the colour picture (8-bit, 3 or 4
//   channels, the crop's size) of the last reference, so that colour, not hue alone, is compared.
// Train(sensitivity, amplify, toleranceScale, toleranceMax): finishes the model, valid when at
//   least one crop was added. A departure counts beyond
//       tolerance = clamp(1 + (100 - sensitivity)^2 * toleranceScale / 100 / 220, 1, toleranceMax)
//   grey levels, divided by 1 + amplify (sensitivity 0..100, amplify 0..4): the factory
//   sensitivity 45 gives 14 levels, 0 gives 46, 80 gives 2.
// Match(image, diff, light, agree, colour, around): image is the crop (8-bit, the model's size);
//   light (0: none) the frame's brightness against the references at the region, sure to within
//   agree (0: as it is); colour the colour crop for hue models; around the frame over aroundAt.
//   diff becomes an 8-bit picture of the crop's size, 255 where the crop departs, else 0:
//   - a change of the whole crop's light of up to 15 % departs nowhere (graymatch_light.cpp);
//   - a pixel departs beyond the tolerance outside what the references show in its 3 x 3
//     neighbourhood, or its 5 x 5 mean beyond a third of it, with its rim and the gaps of up to
//     6 pixels in a part closed (graymatch_band.cpp);
//   - a crop up to 8 pixels off (vibration, a slight turn) is judged where it lies
//     (graymatch_search.cpp, graymatch_moved.cpp);
//   - whatever a plain comparison with the references finds where it is reliable departs,
//     whatever the band makes of it (graymatch_floor.cpp);
//   - hue crops compare circular hue and, given colour, the chroma (graymatch_hue.cpp).
//   An invalid model or a crop of another size gives an all-zero diff.
// Construction allocates nothing, so thousands can be held by value.
class GrayMatch : public GrayMatchModel
{
public:
    bool IsValid() const { return valid; }
    void Clear();
    void Create(int width, int height, const cv::Mat& mask, int reserved);
    void AddTemp(const cv::Mat& crop);
    void AddColour(const cv::Mat& colour);
    void AddContext(const cv::Mat& picture, cv::Rect at);
    void Train(int sensitivity, int amplify, int toleranceScale, int toleranceMax);
    void Match(const cv::Mat& image, cv::Mat& diff, double light = 0, double agree = 0,
               const cv::Mat& colour = cv::Mat(), const cv::Mat& around = cv::Mat()) const;
};
