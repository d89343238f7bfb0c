// Seeded synthetic textured scene with a defect blob, shift, rotation, perspective and noise.
#pragma once

#include <QImage>
#include <QJsonObject>

#include <opencv2/core.hpp>

// What to draw and how the part moved. The "reference frame" is the picture with no shift,
// rotation and perspective; the defect sits on the part and moves with it.
struct SimSceneOptions
{
    int width = 640;
    int height = 480;
    quint32 seed = 1;    // same seed, same scene
    bool color = false;  // true: 8UC4 B,G,R,A; false: 8UC1 grey
    bool defect = false;
    int defectX = -1;  // blob centre in reference-frame pixels; -1 = the frame's centre
    int defectY = -1;
    int defectRadius = 15;
    int defectLevel = 0;     // grey level of the blob in every channel
    double shiftX = 0;       // pixels, positive moves the part right
    double shiftY = 0;       // pixels, positive moves the part down
    double rotation = 0;     // degrees about the frame's centre, positive turns counter-clockwise
    double perspective = 0;  // the top corners move inwards by this fraction of the width
    double noise = 0;        // standard deviation of Gaussian noise in grey levels
    quint32 noiseSeed = 0;   // varies the noise from frame to frame

    // Keys: "seed", "color", "defect" (false or {"x", "y", "radius", "level"}), "shiftX",
    // "shiftY", "rotation", "perspective", "noise"; missing keys keep the values of `base`.
    static SimSceneOptions fromJson(const QJsonObject& json, const SimSceneOptions& base);
    static SimSceneOptions fromJson(const QJsonObject& json);
};

class SimScene
{
public:
    // The unchanged textured scene with a margin on every side, so that a moved part still
    // fills the frame: 8UC3 B,G,R of (width + 2 * margin) x (height + 2 * margin).
    static cv::Mat canvas(const SimSceneOptions& options);
    static int margin(const SimSceneOptions& options);
    // Maps reference-frame pixel coordinates to the changed frame (3 x 3, CV_64F).
    static cv::Mat homography(const SimSceneOptions& options);
    // The frame as the camera sees it; `canvas` must come from canvas() with the same
    // seed, size and defect (pass an empty Mat to have it made).
    static cv::Mat render(const SimSceneOptions& options, const cv::Mat& canvas = cv::Mat());
    static QImage renderImage(const SimSceneOptions& options);
    // 8UC1 -> Format_Grayscale8, 8UC3 / 8UC4 -> Format_RGB32 (deep copies).
    static QImage toImage(const cv::Mat& frame);
};
