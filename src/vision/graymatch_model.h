// What a trained grey template matcher keeps, grouped by the stage that reads it.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

struct GrayMatchModel
{
    bool valid = false;
    bool circular = false;  // the pictures are hue
    int width = 0;
    int height = 0;
    int tolerance = 1;
    int gain = 1;
    int tempCount = 0;
    // The darkest and the brightest reference value a pixel may take (8-bit, the crop's size);
    // with one reference both may be one buffer.
    struct Band
    {
        cv::Mat low, high;
        // Widens the band to take in lo..hi (the first call sets it; same = one buffer).
        void fold(const cv::Mat& lo, const cv::Mat& hi);
        // The whole range where out is set: such pixels never depart.
        void open(const cv::Mat& out);
    };
    cv::Mat judged;     // 255 = judged pixel
    bool wholeMask = true;  // every pixel of the crop is judged
    // A region that leaves pixels out: the pixels whose 5 x 5 window holds some judged pixels
    // but not 25, and how many it holds, where a mean is not the plain box mean. The judged ones
    // come first: only theirs are ever compared (the others' feed the references' bands).
    struct MeanRim
    {
        std::vector<cv::Point> at;
        std::vector<unsigned char> count;
        size_t judged = 0;
    } meanRim;

    // The band (graymatch_band.cpp).
    Band band;     // each pixel's 3 x 3 neighbourhood over the references
    Band own;      // the pixel itself over the references
    Band mean;     // the means over 5 x 5 judged pixels, a pixel around
    Band ownMean;  // the mean at the pixel itself
    // Whole crops 40 pixels and wider: the references' means and their band read over the picture
    // around the crop (aroundAt: half a window and a pixel wider each side), taken for mean and
    // ownMean at training where every reference had it.
    Band meanAround, ownMeanAround;
    bool rimMeans = false;  // the rim of mean and ownMean was read so

    // The floor (graymatch_floor.cpp).
    cv::Mat firm;         // judged pixels where the plain comparison is reliable (255)
    cv::Mat textured;     // the other judged pixels: reliable while the region sits still
    cv::Mat textureSpan;  // textured with the gaps of a pixel or two between them closed
    int texturedCount = 0;
    Band nearby;          // the references' own values within a few pixels

    // The movement and alignment search (graymatch_search.cpp, graymatch_moved.cpp).
    Band context;         // the band as taught over the whole crop, outline included
    Band ownContext;      // the references' own values over the whole crop, outline included
    cv::Rect aroundAt;    // the window around the crop (crop coordinates; empty: none)
    Band around;          // narrow crops: the references' own values over it
    int aroundCount = 0;  // the references it holds
    // A region that leaves pixels out, against which a movement compares a judged pixel that
    // comes to lie on a pixel left out: the references' values within reach of the nearest
    // judged pixel, as the strip a movement uncovers at the crop's edge is judged. at: the
    // pixels left out within 8 pixels (the search's reach) of a judged one (offsets in the crop);
    // low and high, per reach r = 0 .. 7 (at.size() values each, reach after reach), the darkest
    // and brightest band value of the judged pixels within r of the nearest judged pixel.
    struct Outline
    {
        std::vector<int> at;  // nearest first
        std::vector<unsigned char> low, high;
        std::vector<size_t> within;  // [d]: how many of them lie within d of a judged pixel
        std::vector<size_t> edge;    // the indices in at of those within the reach of the crop's edge
    } outline;

    // Colour and hue (graymatch_hue.cpp).
    std::vector<cv::Mat> hueRefs;        // HueField of each reference
    cv::Mat hueExcuse;                   // the losses of hue excused per pixel (see HueExcuse)
    std::vector<cv::Mat> chromaRefs;     // AddColour: each reference's B, G, R (32FC3)
    cv::Mat chromaStep;                  // the most a pixel of movement changes their chroma (32F)
    std::vector<cv::Point> chromaFirm;   // judged pixels where the plain colour comparison is reliable
    std::vector<cv::Point> chromaLoose;  // the other judged pixels
    std::vector<cv::Mat> chromaMeans;    // AddColour: ChromaMeans of each reference's colour
};
