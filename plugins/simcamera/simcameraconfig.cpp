// Reading simcamera.json: plug-in keys, per-camera keys with overrides, file lists.
#include "simcameraconfig.h"

#include <algorithm>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "camerainterface.h"

const char* const SimCameraConfig::kFileName = "simcamera.json";

namespace {
const QStringList kImagePatterns = {"*.bmp", "*.png", "*.jpg", "*.jpeg", "*.pgm", "*.ppm", "*.tif", "*.tiff"};

QString resolve(const QString& path, const QString& baseDir)
{
    return QFileInfo(path).isAbsolute() ? path : QDir(baseDir).absoluteFilePath(path);
}

// A folder gives its pictures in name order; a file stands for itself.
void appendPictures(const QString& path, QStringList& out)
{
    const QFileInfo info(path);
    if (!info.isDir()) {
        out << info.absoluteFilePath();
        return;
    }
    const QDir dir(path);
    for (const QString& name : dir.entryList(kImagePatterns, QDir::Files, QDir::Name))
        out << dir.absoluteFilePath(name);
}

QStringList pictureList(const QJsonValue& value, const QString& baseDir)
{
    QStringList files;
    if (value.isString()) {
        appendPictures(resolve(value.toString(), baseDir), files);
    } else {
        for (const QJsonValue& v : value.toArray()) appendPictures(resolve(v.toString(), baseDir), files);
    }
    return files;
}

// Per-camera keys over the plug-in-wide ones; "scene" and "defaults" merge one level deeper.
QJsonObject merged(QJsonObject base, const QJsonObject& over)
{
    for (auto it = over.begin(); it != over.end(); ++it) {
        if (it.value().isObject() && base.value(it.key()).isObject()) {
            QJsonObject inner = base.value(it.key()).toObject();
            const QJsonObject overInner = it.value().toObject();
            for (auto in = overInner.begin(); in != overInner.end(); ++in) inner.insert(in.key(), in.value());
            base.insert(it.key(), inner);
        } else {
            base.insert(it.key(), it.value());
        }
    }
    return base;
}

SimCameraSettings cameraSettings(const QJsonObject& json, int index, const QString& baseDir, int cameraType)
{
    SimCameraSettings s;
    s.index = index;
    s.cameraType = cameraType;
    s.serial = json.value("serial").toString(SimCameraConfig::defaultSerial(index));
    // The camera manager keeps only serials of 8 to 256 characters in its stored order, and
    // the camera description holds the serial's UTF-8 bytes and a NUL.
    const bool fits = s.serial.size() >= SimCameraConfig::kMinSerialLength &&
                      s.serial.size() <= SimCameraConfig::kMaxSerialLength &&
                      s.serial.toUtf8().size() < kCameraInfoSerialBlockBytes;
    if (!fits) {
        qWarning().noquote() << "simcamera: serial" << s.serial << "not" << SimCameraConfig::kMinSerialLength << "to"
                             << SimCameraConfig::kMaxSerialLength << "characters, using"
                             << SimCameraConfig::defaultSerial(index);
        s.serial = SimCameraConfig::defaultSerial(index);
    }
    s.width = std::max(1, json.value("width").toInt(s.width));
    s.height = std::max(1, json.value("height").toInt(s.height));
    s.color = json.value("color").toBool(s.color);
    s.source = json.value("source").toString(s.source);
    s.files = pictureList(json.value("files"), baseDir);
    s.fps = std::max(0.0, json.value("fps").toDouble(s.fps));
    s.reconnectTries = json.value("reconnectTries").toInt(s.reconnectTries);
    s.lossAfterFrames = json.value("lossAfterFrames").toInt(s.lossAfterFrames);
    s.openFails = json.value("openFails").toBool(s.openFails);
    s.exposureEffect = json.value("exposureEffect").toBool(s.exposureEffect);
    s.defaults = merged(SimCameraConfig::builtInDefaults(), json.value("defaults").toObject());

    const QJsonObject scene = json.value("scene").toObject();
    s.scene = SimSceneOptions::fromJson(scene);
    s.scene.width = s.width;
    s.scene.height = s.height;
    s.scene.color = s.color;
    if (s.source == "files" && s.files.isEmpty())
        qWarning().noquote() << "simcamera: camera" << s.serial << "has no picture files";
    return s;
}
}  // namespace

QString SimCameraConfig::defaultSerial(int index)
{
    return QString("SIMCAM%1").arg(index + 1, 2, 10, QChar('0'));
}

// The values a camera gives back on restoreDefaultSettings: the parameter record's own
// fall-backs, so that a restore changes nothing on a fresh system.
QJsonObject SimCameraConfig::builtInDefaults()
{
    return QJsonObject{{"exposeTime", 30}, {"adjustPlus", 32}, {"gamma", 70}, {"contrast", 50}, {"sharp", 0},
                       {"isHMirror", 0},   {"isVMirror", 0},   {"speed", 12}, {"sysUsage", 0},  {"isWDR", 0}};
}

SimCameraConfig SimCameraConfig::fromJson(const QJsonObject& json, const QString& baseDir)
{
    SimCameraConfig config;
    config.json = json;
    config.pluginName = json.value("pluginName").toString(config.pluginName);
    config.cameraType = json.value("cameraType").toInt(config.cameraType);
    const QJsonArray perCamera = json.value("cameras").toArray();
    const QJsonArray serials = json.value("serials").toArray();
    int count = json.value("cameraCount").toInt(std::max<int>(1, int(perCamera.size())));
    count = std::clamp(count, 1, kMaxCameras);

    QJsonObject common = json;
    for (const char* key : {"pluginName", "cameraType", "cameraCount", "serials", "cameras"}) common.remove(key);
    for (int i = 0; i < count; ++i) {
        QJsonObject camera = common;
        if (i < serials.size())
            camera.insert("serial", serials[i]);
        const QJsonObject own = perCamera.at(i).toObject();
        // Cameras show different scenes unless a camera names its own seed.
        QJsonObject scene = common.value("scene").toObject();
        if (!own.value("scene").toObject().contains("seed"))
            scene.insert("seed", scene.value("seed").toDouble(SimSceneOptions().seed) + i);
        camera.insert("scene", scene);
        camera = merged(camera, own);
        config.cameras.append(cameraSettings(camera, i, baseDir, config.cameraType));
    }
    return config;
}

SimCameraConfig SimCameraConfig::load(const QString& pluginDir)
{
    for (const QString& dir : {QDir::currentPath(), pluginDir}) {
        QFile file(QDir(dir).absoluteFilePath(kFileName));
        if (!file.exists())
            continue;
        QJsonParseError error;
        const QJsonDocument doc =
            file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
        if (!doc.isObject()) {
            qWarning().noquote() << "simcamera:" << file.fileName() << "is not a JSON object:" << error.errorString();
            continue;
        }
        return fromJson(doc.object(), dir);
    }
    return fromJson(QJsonObject(), pluginDir);
}
