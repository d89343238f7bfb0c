// Grey template defect matcher: a per-pixel tolerance band learnt from reference crops.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

// Contract
// - Create(width, height, mask, 0) starts a new model for crops of width x height. mask
//   (8-bit, that size; empty = all judged) has 255 where a pixel is judged; any other value
//   keeps the pixel out of every result. Any previous model is dropped.
// - AddTemp(crop) folds one reference crop (8-bit, exactly width x height) into the bands:
//   each pixel's band widens to the darkest and brightest value seen in its 3 x 3
//   neighbourhood over all crops, so edges tolerate a shift of one pixel and the spread
//   between references is accepted; the same is kept of the pixel itself, of the mean over the
//   5 x 5 judged pixels around it and of that mean a pixel around. Crops of another size or
//   type are ignored.
// - Train(sensitivity, amplify, toleranceScale, toleranceMax) finishes the model; it becomes
//   valid only when at least one crop was added. A pixel departs when its distance outside
//   the band, multiplied by (1 + amplify), exceeds
//       tolerance = clamp(1 + (100 - sensitivity)^2 * toleranceScale / 100 / 220, 1, toleranceMax)
//   grey levels (sensitivity clamped to 0..100, amplify to 0..4): higher sensitivity and
//   higher amplify find fainter defects. The factory sensitivity 45 gives 14 grey levels,
//   0 gives 46, 80 gives 2.
// Design: three guarantees stand on their own, whatever the band makes of a crop.
//   The floor: wherever a plain comparison (each pixel against the references' own value at its
//   place, at the region's alignment and light, beyond the tolerance, a 3 x 3 opening) marks a
//   part and is reliable there, the pixel is marked. Reliable, decided at training per pixel: firm
//   where a whole pixel of movement changes the references by at most a third of the tolerance
//   (marked where the pixel also lies off every reference value within 3 pixels, so a shake the
//   band takes in is no part); textured elsewhere (fine ribs, knurls, edges), marked while the
//   crop sits at its alignment: the band itself departs little there (where those marks lie: a
//   compression's specks elsewhere say nothing of it), at most half of those pixels depart, no
//   movement of up to 2 pixels leaves clearly fewer of them departing (counted where the
//   references judged the pixels it compares: a knurl fits itself moved along its diagonal, and a
//   part half outside moved over the outline meets references that take in anything), and only
//   solid areas (7 x 7) count, or the marks (as they are, and as opened over the whole crop), on
//   any judged pixel, within a solid
//   area (4 x 4, and a pixel around) where the crop is smooth though the references were textured
//   (its 3 x 3 range at most half theirs, and theirs beyond the tolerance; gaps of up to 2 pixels
//   where theirs is not, such as a coarser texture's middles, closed, and single noise holes): a
//   turn or a shift keeps the texture's range, displaced, so that theirs exceeds the crop's only
//   along strips up to 3 pixels wide beside its edges; a smooth part takes it away, holes noise
//   leaves in its marks and all. A smooth part of a fine texture's mean grey 6 pixels wide or
//   more thus departs though it stays inside every pixel's band; one over nearly all of a region
//   where the crop keeps no trace of the texture's phase (a blur or a compression keeps it).
//   A piece of ribs moved half an odd period keeps a column in each period and departs on the
//   firm pixels between the ribs' edges too: the strips the opening keeps there, joined across
//   gaps of a pixel or two, count as a solid area (firm pixels within the texture included)
//   where the marks elsewhere are at most half as many (a turn departs all over, a part only
//   where it lies).
//   The light: read by the caller from the whole frame (see light below) and taken as it is, so
//   a part over half of the region, or over all of it and far around, is no light. Where the
//   frame's light is less sure (a frame off its place) only the region's own pixels that agree
//   with it tell it, and without it all of them; read again after a movement where the crop fits.
//   A movement is taken only where what it explains on the region it explains on the whole crop
//   (the outline's pixels judged against the references as taught there), and the means it
//   explains it explains where their pixels stay on pixels the references judged: on a flat
//   surface a movement that carries a part off a thin or concave region's mask explains nothing
//   around it, nor does a movement of a texture's period that carries a faint part's means off it.
//   A fine texture a few pixels off (ribs half a period off turn every pixel) stays inside the
//   band, which spans its range, and the plain comparison there holds only at the alignment: where
//   more than a quarter of the textured pixels depart from the references' own values and the band
//   takes that in, the crop (40 pixels or more each way) is moved, where the band's own search
//   takes no movement, by up to 4 pixels each way to
//   where the fewest of its pixels depart from the references as taught over the whole crop,
//   every movement counted on the same pixels, nearest first, and only where that clears a
//   quarter of them: a part departs wherever the crop lies, the texture only off its alignment.
//   A narrower crop is too little to tell its texture's alignment from a part that covers most of
//   it (a piece moved half a period fits where the texture does not): there the alignment is read
//   so on the picture around it (see AddContext), searched where more than a quarter of the crop's
//   textured pixels or of that window depart, where a part the region holds is a small share; the
//   crop is judged at it, and sits still there while at most half of the window departs (the
//   textured floor then holds however much of the crop a part covers). A movement the band's
//   search finds for such a crop is taken only where it fits that window better than no movement,
//   by at least half of what it gains on the region: one that explains a part on a crop that small
//   moves the whole window's texture and edges off.
// - AddContext(picture, at) (grey pictures): the picture the reference crop last added was cut
//   from at `at`. For a crop narrower than 40 pixels either way the references' own values over
//   a window 40 pixels wider each side (within the picture: aroundAt, in the crop's coordinates)
//   are kept, one call after each AddTemp; a model trained with fewer calls keeps none. For a
//   wider crop that judges every pixel, the references' 5 x 5 means in its 2-pixel rim are read
//   over the picture around it instead of the crop's mirrored edge (aroundAt: 3 pixels wider
//   each side), and a match given the frame's picture around reads the crop's alike and judges
//   those means where the crop sits still; after a movement those at the references' rim too,
//   against their means within two pixels (the search reads its movement on the crop's middle:
//   a turn leaves the rim up to a pixel further off).
// - Match(image, diff, light, agree, colour, around): image is an 8-bit crop of the model's size;
//   around (empty or of another size: none) the frame's picture over aroundAt, which the match
//   brings to the references' brightness as it does the crop (above); light (0: none)
//   the frame's brightness against the references at the region, even across the crop, sure to
//   within agree (0: as it is). A change of the whole crop's brightness of up to 15 % (lighting,
//   exposure) is not a defect: the crop is first scaled back by its brightness ratio to the
//   references (light, or the median over the judged pixels that are not clipped at white, with
//   light within agree of it; limited to 0.85..1.18; a crop nearly all clipped is taken as 1.18
//   times as bright, one with too few pixels agreeing with light as light), and departures are
//   counted at the references' brightness (in a darker frame, under a sure light, whose crop
//   would pass white so scaled, the references are dimmed to the crop's instead, tolerance and
//   all: a part brighter than a near-white surface keeps its contrast). A pixel clipped at 255 only says its light was at least 255 / ratio: it
//   never lies below its band, and above it only by that much (glare and near-white areas of
//   a brighter frame pass). diff becomes an 8-bit picture of that size, 255 where the pixel
//   departs and is judged by the mask, 0 elsewhere:
//   - the plain comparison's floor (above);
//   - a pixel departs from the band by more than the tolerance;
//   - or its 5 x 5 mean departs from the references' means a pixel around by more than a
//     third of the tolerance (at least 3 levels) while the pixel itself differs from the
//     references' value at its place by more than half of it: a small part of low contrast
//     on a textured surface stays inside every pixel's band but moves the mean around it;
//   - the rim of a departing area: next to a departing pixel, a pixel that departs from the
//     references' value at its own place by more than the tolerance, or, where the band is
//     wider than the tolerance (texture), whose mean departs from the references' mean at
//     its place.
//   On a flat surface a change marks what differs by more than the tolerance, and nothing
//   beyond the part. A part partly on a surface of its own brightness departs only where the
//   surface differed: gaps of up to 6 pixels between and inside marks that a 3 x 3 opening
//   keeps are closed (a 7 x 7 closing), so it is judged whole; marks scattered alone are never
//   joined. The area the caller weighs is then that of the closed marks: two 8 x 8 marks up to
//   6 pixels apart are one area with the gap between them (117 to 133 pixels instead of 2 x 47).
//   A crop a few pixels off its references (vibration, a slight turn of the camera, nothing
//   corrected) is judged where it lies: when it departs, the whole-pixel movement of up to 8
//   pixels each way that at least halves the departures of the pixels and of the means inside
//   the crop's central part (those every movement compares) is used (nearest first: a farther one
//   only where it leaves clearly fewer, since a fine texture fits itself a period on about as
//   well and a farther movement judges more against bands widened to its reach), the one of the
//   movements a pixel apart that fits the references' own values best, when the whole crop agrees (above)
//   and those values fit it clearly better than no movement (of the pixels whose verdict it
//   changes it clears twice as many as it makes depart): the band spans a fine texture's range,
//   so it fits any movement about as well, also one that carries a piece moved half a period off. After it every judged pixel is
//   judged: the strip it uncovers, and the pixels it brings onto pixels the mask leaves out (a
//   circle's or polygon's outline, ignored points), against the references within the
//   movement's reach of the nearest judged pixel (their widest band), and the means wherever
//   their window lies on what the references saw. Pixels the mask leaves out never depart, also
//   in the search. An invalid model or a crop of another size gives an all-zero diff.
// - Hue pictures (circular = true before AddTemp; Create keeps the flag): grey values are
//   angles on a 0..255 circle. Where both the references' and the crop's hue are coherent
//   over 5 x 5 pixels, or the references' colour is firm (see AddColour) and the crop shows
//   some hue, the departure is the circular distance of the mean directions (0 and 255 are
//   neighbours); where hue jumps from pixel to pixel (near-grey colours under sensor
//   noise) it carries no information and weighs nothing, so there only a clear hue
//   appearing, or a clear hue of the references vanishing, departs (as a whole-circle
//   distance). Besides, the mean hues' resultants (direction times coherence, which grows with
//   the colour's distance from grey without a step) depart by their distance less twice its
//   sensor-noise spread, the reference's first shortened to the crop's length (more noise only
//   shortens a faint tint's resultant), as far as the crop's window shows a direction: a clear
//   hue on a faint tint departs however faint, with no gap between "no hue" and "clear". A pixel of equal brightest channels (grey, black, white clipped in all three
//   or in two of them) has lost its hue; where the references could lose theirs (see
//   AddColour) that says nothing, so a crop window mostly of such losses departs from nothing.
//   With colour (the crop's colour picture, 8-bit, 3 or 4 channels, the crop's size; else none)
//   and the references' colours known (AddColour), a hue departs only where the crop's colour
//   also moved: where its mean over 5 x 5 pixels (in the plane of chroma, see ChromaMeans) lies
//   more than a third of the tolerance (at least 3 levels) from every reference's mean a pixel
//   around. Colour cameras correct no position: where the hue departs, the crop is compared at the
//   movement of up to 3 pixels (nearest first) that at least halves the region's pixels whose
//   colour lies off every reference's where it holds them (the pixels are the crop's, and every
//   reference pixel is one the camera saw, so no movement carries a part off a thin region's mask),
//   only where the references lie on the crop (they never saw what a movement brings in at the
//   edge).
//   The hue of a faint tint turns every way under compression, which shifts chroma by a few
//   levels in blocks; its colour does not move that far, while any part a plain comparison of the
//   colours would find does.
//   Elsewhere a lost hue is a change: where the references show a clear hue, a part clipped
//   white, crushed black or grey departs, and one clipped in two channels departs by the hue
//   those two give. Departures are in the same grey levels (1/255 of the circle), a reference
//   one pixel away is accepted, and the brightness scaling does not apply.
// - AddColour(colour) (hue pictures): the colour camera's picture of the reference crop last
//   added (8-bit, 3 or 4 channels, the crop's size; others are ignored). Where all its
//   channels lie within a brighter frame's reach of white (200 and up: x1.18, the most the
//   grey band follows, less sensor noise), clipping may take its hue, and where it is near
//   black (every channel up to 8) crushing may: a lost hue is excused there (and a pixel
//   around). Where a reference's own hue is mostly lost a lost hue is excused too; without
//   AddColour only there. Where its colour lies 20 or more levels from grey (brightest less
//   darkest channel) it is firm: sensor noise and brightness leave its hue clear, so a hue
//   there that is no longer clear, or a faint one of another direction, departs.
// - Match(image, diff, light, agree, colour) on a hue model whose references all had AddColour: colour is
//   the colour camera's crop (8-bit, 3 or 4 channels, the crop's size; else, or empty, the hue
//   alone judges). The plain colour comparison is a floor there as the grey one is: each pixel's
//   chroma (R - (G + B) / 2, (G - B) sqrt(3) / 2: what brightness alone does not move) against the
//   references' lit by the crop's light (the median ratio over the firm pixels, too few: all, of
//   the sums of the channels neither clipped at white nor crushed to black, 0.85..1.18) and
//   clipped at white as the camera clips, beyond the tolerance and opened by a 3 x 3 cross. An
//   area it finds reliably is marked whole, with the comparison's departures that hold together
//   with it: one on pixels where the references' colour is firm (a whole pixel of movement changes
//   their 3 x 3 mean chroma by at most a third of the tolerance), or a solid one (5 x 5)
//   elsewhere, where a fraction of a pixel of movement, blur and compression depart only in
//   lines. It is compared at the
//   movement of up to 3 pixels that at least halves the departures, if any (colour cameras
//   correct no position). The distance is continuous in chroma: a stronger colour of the
//   references' own hue on a faint tint, or a white or black part on a colour, departs by that
//   distance alone, where the hue cannot tell it.
// Construction allocates nothing, so thousands can be held by value.
class GrayMatch
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
    cv::Mat judged;                // 255 = judged pixel
    Band band;                     // each pixel's 3 x 3 neighbourhood over the references
    Band own;                      // the pixel itself over the references
    Band mean;                     // the means over 5 x 5 judged pixels, a pixel around
    Band ownMean;                  // the mean at the pixel itself
    Band context;                  // the band as taught over the whole crop, outline included
    Band ownContext;               // the references' own values over the whole crop, outline included
    Band nearby;                   // the references' own values within a few pixels
    cv::Rect aroundAt;             // the window around the crop (crop coordinates; empty: none)
    Band around;                   // narrow crops: the references' own values over it
    int aroundCount = 0;           // the references it holds
    // Whole crops 40 pixels and wider: the references' means and their band read over the picture
    // around the crop (aroundAt: half a window and a pixel wider each side), taken for mean and
    // ownMean at training where every reference had it.
    Band meanAround, ownMeanAround;
    bool rimMeans = false;         // the rim of mean and ownMean was read so
    cv::Mat firm;                  // judged pixels where the plain comparison is reliable (255)
    cv::Mat textured;              // the other judged pixels: reliable while the region sits still
    cv::Mat textureSpan;           // textured with the gaps of a pixel or two between them closed
    int texturedCount = 0;
    bool wholeMask = true;         // every pixel of the crop is judged
    std::vector<cv::Mat> hueRefs;  // circular: HueField of each reference
    cv::Mat hueExcuse;             // circular: the losses of hue excused per pixel (see HueExcuse)
    std::vector<cv::Mat> chromaRefs;     // circular, AddColour: each reference's B, G, R (32FC3)
    cv::Mat chromaStep;                  // the most a pixel of movement changes their chroma (32F)
    std::vector<cv::Point> chromaFirm;   // judged pixels where the plain colour comparison is reliable
    std::vector<cv::Point> chromaLoose;  // the other judged pixels
    std::vector<cv::Mat> chromaMeans;    // circular, AddColour: ChromaMeans of each reference's colour
    // A region that leaves pixels out: the pixels whose 5 x 5 window holds some judged pixels
    // but not 25, and how many it holds, where a mean is not the plain box mean. The judged ones
    // come first: only theirs are ever compared (the others' feed the references' bands).
    struct MeanRim
    {
        std::vector<cv::Point> at;
        std::vector<unsigned char> count;
        size_t judged = 0;
    } meanRim;
    // A region that leaves pixels out, against which a movement compares a judged pixel that
    // comes to lie on a pixel left out: the references' values within reach of the nearest
    // judged pixel, as the strip a movement uncovers at the crop's edge is judged. at: the
    // pixels left out within kMaxShift of a judged one (offsets in the crop); low and high, per
    // reach r = 0 .. 7 (at.size() values each, reach after reach), the darkest and brightest
    // band value of the judged pixels within r of the nearest judged pixel.
    struct Outline
    {
        std::vector<int> at;  // nearest first
        std::vector<unsigned char> low, high;
        std::vector<size_t> within;  // [d]: how many of them lie within d of a judged pixel
        std::vector<size_t> edge;    // the indices in at of those within kMaxShift of the crop's edge
    } outline;
};

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
// clip at white or is near black; see GrayMatch::AddColour).
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
