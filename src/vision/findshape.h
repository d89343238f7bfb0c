// Shape locator: finds a taught grey pattern's shift and rotation over an image pyramid.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

// Contract
// - CreateShape(templ, minScore, finestLevel, angleRange, centerX, centerY, reserved,
//   maskThreshold, mask, accuracy, layers) teaches the pattern templ (8-bit). centerX/centerY
//   say where templ's pixel (cols / 2, rows / 2) lies in the picture; rotations turn about
//   it. mask (8-bit, templ's size, or empty = all) keeps the pixels whose value is at least
//   maskThreshold. angleRange (0..180 degrees) is searched both ways; 0 searches shift only.
//   layers (0..10) is the number of pyramid halvings above full resolution at which the
//   exhaustive search (every second position of that level) starts (fewer are used when the
//   pattern would fall below 12 pixels, more while that search would cost more than a few
//   milliseconds; the refinement always climbs down to finestLevel, so the accuracy does not
//   depend on it); the points of each level are the strongest edges across x and across y and
//   a spread of the rest. accuracy (0..10) refines the final angle by accuracy / 2 halvings of
//   its step; then position and turn are polished together to the correlation's peak between
//   the pixels, and the position given to the nearest pixel (a part a fraction of a pixel off
//   would otherwise be met by a wrong turn, and that turn by a wrong whole pixel). Whether there
//   is a find is judged on that fit; the pose given is polished once more with samples between
//   the pixels whose noise is the same wherever they fall (linear interpolation averages the
//   noise of neighbours away half-way between them, and on a smooth picture a turn of a few
//   tenths of a degree, every point off its pixel, would win by that alone and be met by a
//   shift a pixel off); finestLevel
//   is the level the search refines down to (0 = full resolution). minScore is the least
//   normalised correlation (0..1) a find must reach; 0 or less means 0.5. Returns false,
//   leaving the model invalid, for an empty or flat pattern or a mask that keeps too few pixels.
// - Find(image, minScorePercent, x, y, score, angle) searches the whole of image (8-bit;
//   typically a crop of the picture around the taught place) and returns true when the
//   pattern is found with at least the model's minScore (or minScorePercent / 100 when that
//   is above 0) and the find is distinct: the correlation 8 pixels around it in any direction
//   stays at least 0.1 below, or twice what the find lacks of a perfect fit (1 - score) below
//   where that is less (on a featureless picture, a polished surface or a gradient, every place
//   fits about as well and the best of them is no find; a small region on a smooth part of a
//   photograph fits almost perfectly and falls off 8 pixels away by a few hundredths). With the
//   found centre (fx, fy) in image's coordinates it writes
//       *x = centerX - fx,  *y = centerY - fy,  *angle = rotation in degrees,
//   so that for a crop taken at (sx, sy) of the picture, moving the picture by
//   (*x - sx, *y - sy) puts the found pattern on its taught centre, and then rotating by
//   *angle about that centre in cv::getRotationMatrix2D's convention turns it back onto the
//   template. *score gets the correlation. Nothing is written when not found. Up to three poses
//   go down the pyramid level by level, within 0.15 of the best below the coarsest level and
//   within 0.02 further down, and the best at the finest level wins: on a coarse level a
//   repeating pattern (a grid, a chessboard, rows of text) may fit a place a period off, turned,
//   better than the true one.
// - SetSearchOrigin(sx, sy): the next Finds' image is a crop taken at (sx, sy) of the picture;
//   the place where nothing moved then goes down the pyramid with those poses, whatever it
//   scores on the coarse levels (a small vibration is the common case).
// - StandsOut(image, x, y, rival) says whether the pattern, unturned where a find on image
//   would give (x, y), stands out there at a quarter size (or the coarsest level the pattern
//   has, if that is finer), where sensor noise is averaged away: it reaches the model's
//   minScore and the places 8 of that level's pixels around it, and the pose rival (x, y,
//   angle as a find gives them) when one is given, score at least 0.1 less. On the taught
//   picture it tells a place the search missed (a photograph: the place stands out) from a
//   featureless or repeating picture (flat, a faint gradient, tiles: only the noise of that
//   very picture makes the place unique, and a quarter size averages it away).
// - Repeats(image, x, y) says whether the pattern, unturned at full resolution, fits image
//   almost perfectly (within 0.012 of a correlation of 1) at a peak of the correlation (no
//   pixel around fits better) 2.5 to 12 pixels off where a find would give (x, y): on the
//   taught picture, a repeating surface (ribs, a knurl, tiles),
//   whose periods fit a live picture about as well as its true place, so that noise and parts
//   pick one of them.
// Construction allocates nothing (8 are held by value per camera).
class FindShape
{
public:
    bool IsValid() const { return !levels.empty(); }
    bool CreateShape(const cv::Mat& templ, double minScore, int finestLevel, int angleRange, int centerX, int centerY,
                     bool reserved, int maskThreshold, cv::Mat mask, int accuracy, int layers);
    bool Find(cv::Mat& image, int minScorePercent, int* x, int* y, double* score, double* angle);
    bool StandsOut(const cv::Mat& image, int x, int y, const cv::Vec3d* rival = nullptr) const;
    bool Repeats(const cv::Mat& image, int x, int y) const;
    void SetSearchOrigin(int x, int y)
    {
        origin = cv::Point(x, y);
        hasOrigin = true;
    }

    // Sample points of one pyramid level, relative to the pattern centre at that level.
    struct Level
    {
        std::vector<cv::Point2f> offsets;
        std::vector<float> values;
        float angleStep = 1.0f;  // degrees that move the farthest point by one pixel
    };
    std::vector<Level> levels;  // [0] full resolution
    int finest = 0;
    int range = 0;
    int halvings = 0;
    int wantedTop = 0;         // the layers asked for at CreateShape
    double topBudget = 6.0e6;  // sample-point evaluations the top-level search may spend
    int centreX = 0;
    int centreY = 0;
    double minimum = 0.5;
    cv::Point origin;  // where Find's image lies in the picture, when hasOrigin
    bool hasOrigin = false;
};
