// Picture sources of the simulated camera and their conversion to the camera's size and kind.
#include "simframesource.h"

#include <malloc.h>

#include <QDebug>
#include <QMap>

namespace {
using Producer = QImage (SimFrameSource::*)();

// A long series of big pictures would fill the memory: beyond this many files each
// picture is read again when its turn comes.
constexpr int kMaxCachedFiles = 32;
}  // namespace

SimFrameSource::SimFrameSource(const SimCameraSettings& s) : settings(s)
{
    const QMap<QString, Producer> producers = {
        {"scene", &SimFrameSource::nextScene},
        {"files", &SimFrameSource::nextFile},
        {"inject", &SimFrameSource::lastInjected},
    };
    if (!producers.contains(settings.source))
        qWarning().noquote() << "simcamera: unknown frame source" << settings.source << "- using the scene";
    configured = producers.value(settings.source, &SimFrameSource::nextScene);
    if (configured == &SimFrameSource::nextScene)
        pendingCanvas = std::async(std::launch::async, &SimScene::canvas, settings.scene);
}

void SimFrameSource::inject(const QImage& picture)
{
    injected.append(fitted(picture));
}

void SimFrameSource::setDefect(bool on, int x, int y, int radius)
{
    SimSceneOptions& o = settings.scene;
    o.defect = on;
    if (on) {
        o.defectX = x;
        o.defectY = y;
        if (radius > 0)
            o.defectRadius = radius;
    }
    // The canvas carries the defect: both are drawn afresh.
    if (pendingCanvas.valid())
        pendingCanvas.wait();
    pendingCanvas = std::future<cv::Mat>();
    canvas.release();
    still = QImage();
}

QImage SimFrameSource::next()
{
    if (!injected.isEmpty()) {
        repeated = injected.takeFirst();
        return repeated;
    }
    return (this->*configured)();
}

// A camera fed only by a test keeps showing the last picture it was given.
QImage SimFrameSource::lastInjected()
{
    return repeated;
}

QImage SimFrameSource::nextFile()
{
    if (settings.files.isEmpty())
        return QImage();
    const int index = fileIndex;
    fileIndex = (fileIndex + 1) % settings.files.size();
    if (fileCache.contains(index))
        return fileCache.value(index);
    const QImage picture(settings.files[index]);
    if (picture.isNull())
        qWarning().noquote() << "simcamera: cannot read" << settings.files[index];
    const QImage frame = picture.isNull() ? QImage() : fitted(picture);
    if (settings.files.size() <= kMaxCachedFiles)
        fileCache.insert(index, frame);
    return frame;
}

QImage SimFrameSource::nextScene()
{
    if (canvas.empty() && pendingCanvas.valid()) {
        canvas = pendingCanvas.get();
        // The drawing's scratch memory, freed by now, would otherwise stay with the drawing
        // thread's allocator arena for the rest of the run.
        malloc_trim(0);
    }
    if (canvas.empty())
        canvas = SimScene::canvas(settings.scene);
    if (settings.scene.noise <= 0) {
        if (still.isNull())
            still = SimScene::toImage(SimScene::render(settings.scene, canvas));
        return still;
    }
    SimSceneOptions options = settings.scene;
    options.noiseSeed = sceneFrames++;
    return SimScene::toImage(SimScene::render(options, canvas));
}

QImage SimFrameSource::fitted(const QImage& picture) const
{
    QImage out = picture;
    if (out.width() != settings.width || out.height() != settings.height)
        out = out.scaled(settings.width, settings.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return out.convertToFormat(settings.color ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
}
