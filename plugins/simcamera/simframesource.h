// Where a simulated camera's pictures come from: injected pictures, files, or the synthetic scene.
#pragma once

#include <future>

#include <QHash>
#include <QImage>
#include <QList>

#include <opencv2/core.hpp>

#include "simcameraconfig.h"

class SimFrameSource
{
public:
    explicit SimFrameSource(const SimCameraSettings& settings);

    // Served before the configured source, each once, in the order injected.
    void inject(const QImage& picture);
    // The scene's defect blob (the demo's left-over part) on or off; x, y -1 the centre,
    // radius 0 the configured one.
    void setDefect(bool on, int x = -1, int y = -1, int radius = 0);
    // The next picture at the camera's size, Format_Grayscale8 for a grey camera and
    // Format_RGB32 for a colour one; null when the source has nothing to give.
    QImage next();

private:
    QImage nextScene();
    QImage nextFile();
    QImage lastInjected();
    QImage fitted(const QImage& picture) const;

    SimCameraSettings settings;
    QImage (SimFrameSource::*configured)() = &SimFrameSource::nextScene;
    QList<QImage> injected;
    QImage repeated;
    int fileIndex = 0;
    QHash<int, QImage> fileCache;
    cv::Mat canvas;
    // The scene's canvas takes tens of milliseconds to draw: it is drawn on a thread of its own
    // from the camera's creation on, as a real camera's first picture comes in while the
    // program is still starting up.
    std::future<cv::Mat> pendingCanvas;
    QImage still;  // the scene when nothing changes between frames
    quint32 sceneFrames = 0;
};
