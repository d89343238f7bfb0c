// Configuration of the simulated camera plug-in, read from simcamera.json.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "simscene.h"

// Everything one simulated camera needs to know about itself.
struct SimCameraSettings
{
    int index = 0;
    QString serial;
    int width = 640;
    int height = 480;
    bool color = false;
    QString source = "scene";  // "scene", "files" or "inject"
    QStringList files;         // absolute paths, in the order they are served
    SimSceneOptions scene;
    double fps = 10;  // free-running frame rate; 0 = frames only on trigger
    int cameraType = 0;
    int reconnectTries = 1;   // reconnect succeeds on this try; below 1 never
    int lossAfterFrames = 0;  // lost (from a worker thread) after this many frames; 0 never
    bool openFails = false;
    bool exposureEffect = false;  // exposure and gain scale the brightness
    QJsonObject defaults;         // restoreDefaultSettings answer, all ten keys
};

// The file's keys (all optional): "pluginName", "cameraType", "cameraCount" (1..8),
// "serials" [..], and per-camera defaults "width", "height", "color", "source", "files"
// (a folder, served in name order, or a list of files/folders), "scene" {see SimSceneOptions},
// "fps", "reconnectTries", "lossAfterFrames", "openFails", "exposureEffect", "defaults"
// {exposeTime, adjustPlus, ...}; "cameras" [{...}] overrides any of them per camera
// (including "serial"). Relative paths are taken from the folder of the file.
class SimCameraConfig
{
public:
    static constexpr int kMaxCameras = 8;
    static constexpr int kMinSerialLength = 8;
    static constexpr int kMaxSerialLength = 256;
    static const char* const kFileName;

    QString pluginName = "SimCamera";
    int cameraType = 0;
    QVector<SimCameraSettings> cameras;
    QJsonObject json;  // what it was made from

    static SimCameraConfig fromJson(const QJsonObject& json, const QString& baseDir);
    // simcamera.json of the working folder, else the one in `pluginDir`, else built-in
    // defaults (one grey 640 x 480 scene camera).
    static SimCameraConfig load(const QString& pluginDir);
    static QString defaultSerial(int index);
    static QJsonObject builtInDefaults();
};
