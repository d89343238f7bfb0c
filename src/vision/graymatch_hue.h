// Hue and colour helpers of the matchers (GrayMatch on hue pictures, SURF): hue coherence over
// a window, the losses of hue a reference explains, and the plane of chroma.
#pragma once

#include <opencv2/core.hpp>

// Hue crop (8-bit, 0..255 circle) -> CV_32FC4 per pixel: the mean hue direction over 5 x 5
// pixels as a unit vector (x, y), its coherence (mean resultant length: about 1 for one clear
// hue, below about 0.55 where near-grey colours make the hue noise) and the share of the
// window's pixels that count: all but those whose hue is lost (see HueLost) where excuse (8-bit,
// the crop's size, see HueExcuse) is set. With no excuse every loss is left out (a reference's
// own lost hue).
cv::Mat HueField(const cv::Mat& hue, const cv::Mat& excuse = cv::Mat());
// Sets in excuse (8-bit, created at picture's size, 255 = excused) the pixels, and the pixels
// around, where a reference picture explains a lost hue: picture is its hue (8-bit: where most
// of its 5 x 5 window has lost its hue) or its colour (3 or 4 channels: where every channel may
// clip at white or is near black; see AddColour in graymatch_hue.cpp).
void HueExcuse(cv::Mat& excuse, const cv::Mat& picture);
// Colour crop (8-bit, 3 or 4 channels) -> CV_32FC2: the mean over 5 x 5 pixels of each pixel's
// place in the plane of chroma (its distance from grey, along two axes; the channels' order does
// not change distances), which a faint tint keeps small whatever its hue.
cv::Mat ChromaMeans(const cv::Mat& colour);
// Whether a hue is lost: one the conversion gives for equal brightest channels, 0 for grey,
// black and white clipped in all three, 60, 180 and 300 degrees where two clip at white.
bool HueLost(unsigned char hue);
// 255 where a colour picture (3 or 4 channels) is firm: 20 or more levels from grey (brightest
// less darkest channel), so that sensor noise and brightness leave its hue clear; else 0.
void FirmColour(const cv::Mat& colour, cv::Mat& firm);
// 0 below lo, 1 above hi, linear between.
float HueRamp(float r, float lo, float hi);
// Weight 0..1 of a hue direction of that coherence: 0 for noise, 1 for a clear hue.
float HueDirectionWeight(float coherence);
// Strength 0..1 of a hue of that coherence: the coherence itself, faded out to 0 where hue is
// noise (near-grey colours), so that noise leaves nothing behind when averaged.
float HueStrength(float coherence);
