// Feature-score matcher: a 0..100 similarity of a crop to its reference crops.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

// Contract
// - Create(width, height, mask): new model for crops of width x height; mask (8-bit, that
//   size; empty = all used) has 255 on the pixels that count. Any previous model is dropped.
// - AddTemp(crop, shift, diffLevel, minScore): adds one reference crop (8-bit, exactly
//   width x height; others are ignored). shift is the tolerated displacement in cells of the
//   working grid (a cell is the crop reduced so that its longer side has at most 48 cells, so
//   one cell is about 1/48 of the region); diffLevel is the grey difference a cell must show
//   to be marked in Match's out picture; minScore is the score below which Match marks the
//   departures. The last call's values hold for the model.
// - Train(0, 0, 0, 0): finishes the model; valid when at least one crop was added.
// - Match(image, out) returns the similarity 0..100 (float): the best, over the references and
//   every displacement up to shift cells (up to 3 x shift cells when the nearby ones score
//   below 90; on hue pictures, only where the displacement at least halves the dissimilarity
//   (1 - similarity) of none, every cell of the crop the region holds where it lies held against
//   the reference displaced, outline and picture around included (the reference's nearest cells
//   where the picture around is unknown), or takes a third of it away on the very cells it
//   compares: on a surface of one colour any displacement fits as well, and one would move a
//   part at the region's edge or outline out of the compared cells), of a global
//   structural similarity of the two grids (mean-luminance term
//   times zero-mean correlation term, each stabilised so that two flat patches of equal
//   brightness score high and a flat patch against a textured one scores low), lowered to its
//   mean with
//   the similarity of the least similar block of 8 x 8 cells (blocks overlap by half; grids
//   smoothed over 3 x 3 cells, hue grids only as far as their colour is faint in the reference
//   and the crop: see AddColour): a small foreign part fails the region although the region as
//   a whole is still much alike. Identical content scores about 100; unrelated content about
//   0 or less (clamped 0).
//   out becomes an 8-bit picture of the crop's size: when the score is below minScore, 255 on
//   the cells whose brightness-compensated difference to the best reference exceeds
//   diffLevel; otherwise all 0. An invalid model or a crop of another size scores 0 with an
//   all-zero out.
// - Hue pictures (circular = true before AddTemp; Create keeps the flag): grey values are
//   angles on a 0..255 circle. The grids then hold the cells' mean hue directions, each
//   pixel's direction weighted by how coherent the hue is around it (see HueField in
//   graymatch_hue.h; 100 = one clear hue), and the similarity compares those directions:
//   near-grey areas, whose hue is noise, are near empty in both, and 0 and 255 are
//   neighbours. Hue the conversion gives for equal brightest channels (grey, black, white
//   clipped) is lost; in a reference it weighs nothing. In the crop, where the references
//   explain that loss (their own hue is lost there, or their colour lies near white or black
//   so that a brighter or darker frame may take it; see AddColour) it weighs nothing
//   and cells where it is most of the hue are left out of the sums (a crop all of such losses
//   scores 100), except cells clipped in a pair of channels where the reference shows a clear
//   hue whose brightest two are another pair (no brightening gives that): they count at the
//   pair's hue. Elsewhere a lost hue counts as the near-empty hue it is, and stays so where
//   faint tints are brought up and where the blocks' grids are smoothed: a part or a whole
//   region that lost a clear colour (clipped white, crushed black, grey) scores low. Faint
//   tints lose coherence as the noise grows while their direction stays: a crop weaker than its
//   references is compared at up to 3 times its strength, and at the best displacement each
//   crop cell that still shows a direction is compared at its reference cell's strength where
//   that is stronger (where the reference's colour is firm, see AddColour, at up to 3 times its
//   own: noise cannot blur a firm colour that much, so a colour that all but vanished fails).
//   The least similar block then weighs 4 times the whole region instead of once. diffLevel is
//   a distance on that scale; no brightness compensation applies.
// - AddContext(picture, at) (hue pictures): the picture the reference crop last added was cut
//   from at `at`. The displacement's test above then holds the crop's cells it brings in against
//   the reference around the region instead of its border repeated: a region beside a strong
//   edge that shakes brings that edge in, and fits the displacement; a part at its edge fits
//   neither.
// - AddColour(colour) (hue pictures): the colour picture of the reference crop last added, as
//   for GrayMatch::AddColour; where it may clip (or be crushed), a lost hue is excused, and
//   where it is firm the crop is brought up by 3 times at most. The blocks compare the cells of
//   a clear colour (in the reference, or rising in the crop) unsmoothed: smoothing mixes
//   neighbouring hues, filling a cell whose colour a part took away. Every pixel's hue then weighs
//   as much as its colour lies from grey (nothing for a faint tint, whose hue noise and
//   compression turn in blocks; wholly from a firm colour on), in the references and, given
//   Match's colour (the crop's colour picture, the crop's size), in the crop; AddContext's
//   colour (the whole colour picture) weighs the picture around likewise. Without Match's
//   colour the crop's hue weighs whole. Compression turns a faint tint but makes none out of
//   grey: where the crop's colour lies clearly farther from grey than every reference's within
//   a displacement's reach, the picture around included (by more than sensor noise moves it),
//   its hue weighs as much as it rises above theirs, however faint: a faint colour that appears
//   on grey is a part. A block's mean hue is then held against the noise its cells' weights leave
//   (their squares' mean, with the swing a tenth of light and sensor noise give a weight): a faint
//   but steady tint that goes is a part there.
// Construction allocates nothing, so thousands can be held by value.
class SURF
{
public:
    bool IsValid() const { return valid; }
    void Clear();
    void Create(int width, int height, const cv::Mat& mask);
    void AddTemp(const cv::Mat& crop, int shift, int diffLevel, int minScore);
    void AddColour(const cv::Mat& colour);
    void AddContext(const cv::Mat& picture, cv::Rect at, const cv::Mat& colour = cv::Mat());
    void Train(int, int, int, int);
    float Match(const cv::Mat& image, cv::Mat& out, const cv::Mat& colour = cv::Mat()) const;

    bool valid = false;
    bool circular = false;  // the pictures are hue
    int width = 0;
    int height = 0;
    cv::Size grid;  // working grid size in cells
    int cell = 1;   // pixels along a cell's side
    int shift = 1;
    int diffLevel = 50;
    int minScore = 0;
    cv::Mat cellMask;                 // 8-bit grid, 255 = cell counts
    cv::Mat blockMask;                // cellMask without its rim: the cells the local similarity uses
    cv::Mat blockKept;                // integral of blockMask as 0 / 1 (cells a block keeps)
    std::vector<cv::Mat> refs;        // CV_32F grids of the references (CV_32FC2 for hue)
    std::vector<cv::Mat> smoothRefs;  // the same smoothed over 3 x 3 cells (the local similarity)

    // A reference grid ready for the similarity sums: the mask as 0 / 1 in every channel (m),
    // the grid times it (rm) and its square times it (rrm), all CV_32F of the grid's channels.
    struct Grids
    {
        cv::Mat m, rm, rrm;
    };
    std::vector<Grids> refSums;     // refs with cellMask
    std::vector<Grids> smoothSums;  // smoothRefs with blockMask
    std::vector<cv::Mat> edgeRefs;  // hue: refs with edgePad cells around, of contextRefs or their border repeated
    std::vector<cv::Mat> contextRefs;  // hue: per reference, the grid of the picture around it (AddContext)
    int edgePad = 0;
    std::vector<cv::Mat> firmCells;  // hue: per reference, the share of each cell of firm colour (empty: none)
    std::vector<cv::Mat> clearCells;  // hue, weighed: per reference, each cell's mean weight of its hue (see Sharpened)
    cv::Mat hueExcuse;              // hue: the losses of hue excused per pixel (see HueExcuse)
    cv::Mat lastHue;                // hue: the reference crop last added (AddColour weighs it again)
    bool weighed = false;           // hue: AddColour weighed the references' hue by their colour
    std::vector<cv::Mat> plainRefs, plainSmoothRefs;  // hue, weighed: refs and smoothRefs unweighed
    cv::Mat refChroma;  // hue, weighed: per pixel the references' largest chroma within reach (AddColour, AddContext)
    cv::Mat greyFloor;  // hue, weighed: per pixel the chroma from which the crop's hue weighs (Train)
    // hue, weighed: per reference the share of a clear colour's energy its cells' colour weights leave
    // (their squares), summed (an integral) over the cells the blocks keep (Train)
    std::vector<cv::Mat> blockEnergy;

    // The crop's working grid. faded: the same with hue directions weighted by HueStrength
    // instead of the coherence itself (grey: the grid again); known (hue only): per cell 0..1 how
    // much of its hue is known, in both channels; gone (hue only): per cell the share of pixels
    // whose lost hue the references do not excuse.
    // colour (hue only, the crop's size): each pixel's hue weighed by its colour's strength;
    // weights: per cell the mean of those weights (left alone without a colour).
    cv::Mat ToGrid(const cv::Mat& crop, cv::Mat* faded = nullptr, cv::Mat* known = nullptr, cv::Mat* pairs = nullptr,
                   cv::Mat* gone = nullptr, const cv::Mat& colour = cv::Mat(), const cv::Mat& floor = cv::Mat(),
                   cv::Mat* weights = nullptr) const;

private:
    void SetLastRef(const cv::Mat& crop, const cv::Mat& colour);  // the last reference's grids again
};
