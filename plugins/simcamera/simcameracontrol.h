// Test controls of the simulated camera plug-in, reached with qobject_cast on its objects.
#pragma once

#include <QImage>
#include <QJsonObject>
#include <QStringList>
#include <QtPlugin>

// Use: `auto* control = qobject_cast<SimCameraControl*>(cameraInterfacePointer);` on the
// plug-in's factory (from CameraManager::plugins) or on a camera it created; null for any
// other plug-in. Needs only this header, not the plug-in's code.
class SimCameraControl
{
public:
    virtual ~SimCameraControl() = default;

    // Factory: replaces the configuration (the keys of simcamera.json, relative paths from
    // the working folder) for the next findCameras and createCamera; an empty object goes
    // back to reading simcamera.json.
    virtual void configure(const QJsonObject& config) = 0;
    virtual QJsonObject configuration() const = 0;

    // Camera: the next new frames are these pictures, each once, in order (scaled to the
    // camera's size and converted to its kind).
    virtual void injectFrame(const QImage& picture) = 0;
    // The next `count` grabs fail.
    virtual void failGrabs(int count) = 0;
    // The camera stops delivering and emits sigCameraLost, from a thread of its own when asked.
    virtual void loseCamera(bool fromWorkerThread) = 0;
    // reconnect() succeeds on this try after a loss; below 1 it never does.
    virtual void setReconnectTries(int tries) = 0;
    virtual bool isLost() const = 0;
    // Every call but the per-frame ones (grabImage, softTrigger, getFps), in order, as
    // "name" or "name argument" (bools as true/false, objects as compact JSON).
    virtual QStringList recordedCalls() const = 0;
    virtual void clearRecordedCalls() = 0;
    virtual int softTriggerCount() const = 0;
    virtual qint64 deliveredFrames() const = 0;
};

#define SimCameraControl_iid "com.zel.quorvex.simcameracontrol"
Q_DECLARE_INTERFACE(SimCameraControl, SimCameraControl_iid)
