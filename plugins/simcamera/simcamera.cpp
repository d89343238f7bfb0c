// Simulated camera: discovery from the configuration, frame timing, setters, loss and reconnection.
#include "simcamera.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutexLocker>

namespace {
constexpr qint64 kFpsWindowMs = 1000;
constexpr double kExposureToParams = 1000.0;  // getParams reports the exposure in 1/1000 units

struct IntParam
{
    const char* setKey;      // key of setParams
    const char* defaultKey;  // key of restoreDefaultSettings
    const char* reportKey;   // key of getParams
    int SimCamera::Tuning::*field;
};
struct BoolParam
{
    const char* setKey;
    const char* defaultKey;
    const char* reportKey;
    bool SimCamera::Tuning::*field;
};

const IntParam kIntParams[] = {
    {"exposetime", "exposeTime", "ExposureTime", &SimCamera::Tuning::exposeTime},
    {"gain", "adjustPlus", "Gain", &SimCamera::Tuning::gain},
    {"contrast", "contrast", "Contrast", &SimCamera::Tuning::contrast},
    {"sharp", "sharp", "Sharp", &SimCamera::Tuning::sharp},
    {"gammma", "gamma", "Gamma", &SimCamera::Tuning::gamma},
    {"speed", "speed", "Speed", &SimCamera::Tuning::speed},
};
const BoolParam kBoolParams[] = {
    {"WDR", "isWDR", "WDR", &SimCamera::Tuning::wdr},
    {"VMirror", "isVMirror", "VMirror", &SimCamera::Tuning::vMirror},
    {"HMirror", "isHMirror", "HMirror", &SimCamera::Tuning::hMirror},
    {"sysUsage", "sysUsage", "SysUsage", &SimCamera::Tuning::sysUsage},
};

// The folder this plug-in file lies in, where its simcamera.json is looked for.
QString ownDirectory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownDirectory), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
    return QCoreApplication::applicationDirPath() + "/Plugins/Cameras";
}

QString boolText(bool on)
{
    return on ? "true" : "false";
}

SimCamera::Tuning tuningFrom(const QJsonObject& defaults)
{
    SimCamera::Tuning t;
    for (const IntParam& p : kIntParams) t.*p.field = defaults.value(p.defaultKey).toInt();
    for (const BoolParam& p : kBoolParams) t.*p.field = defaults.value(p.defaultKey).toInt() != 0;
    return t;
}
}  // namespace

SimCamera::SimCamera() : factory(true), pluginDir(ownDirectory())
{
    reloadConfig();
}

SimCamera::SimCamera(const SimCameraSettings& s, const QString& pluginName)
    : settings(s),
      ownPluginName(pluginName),
      source(std::make_unique<SimFrameSource>(s)),
      tuning(tuningFrom(s.defaults)),
      colorMode(s.color),
      reconnectTries(s.reconnectTries),
      knob(std::make_unique<SimCameraKnob>(QDir::current().filePath(SimCameraKnob::kFileName)))
{
    knobClock.start();
}

SimCamera::~SimCamera()
{
    if (lossThread.joinable())
        lossThread.join();
}

void SimCamera::record(const QString& name, const QString& argument)
{
    QMutexLocker lock(&mutex);
    calls << (argument.isEmpty() ? name : name + ' ' + argument);
}

void SimCamera::reloadConfig()
{
    config = pinnedConfig.isEmpty() ? SimCameraConfig::load(pluginDir)
                                    : SimCameraConfig::fromJson(pinnedConfig, QDir::currentPath());
}

// ---- camera role ----

bool SimCamera::tune(const char* call, int Tuning::*field, int value)
{
    record(call, QString::number(value));
    tuning.*field = value;
    return true;
}

bool SimCamera::tune(const char* call, bool Tuning::*field, bool on)
{
    record(call, boolText(on));
    tuning.*field = on;
    return true;
}

bool SimCamera::openCamera()
{
    record("openCamera");
    if (factory || settings.openFails)
        return false;
    open = true;
    return true;
}

bool SimCamera::closeCamera()
{
    record("closeCamera");
    open = false;
    grabbing = false;
    return true;
}

bool SimCamera::startGrab()
{
    record("startGrab");
    if (!open)
        return false;
    grabbing = true;
    clock.start();
    lastFrameSlot = -1;
    deliveryTimes.clear();
    return true;
}

bool SimCamera::stopGrab()
{
    record("stopGrab");
    grabbing = false;
    return true;
}

void SimCamera::handleLost()
{
    record("handleLost");
}

bool SimCamera::reconnect()
{
    record("reconnect");
    if (!lost)
        return true;
    ++reconnectAttempts;
    if (reconnectTries < 1 || reconnectAttempts < reconnectTries)
        return false;
    reconnectAttempts = 0;
    lost = false;
    return true;
}

QJsonObject SimCamera::getParams(int)
{
    QJsonObject params;
    for (const IntParam& p : kIntParams) params.insert(p.reportKey, tuning.*p.field);
    for (const BoolParam& p : kBoolParams) params.insert(p.reportKey, tuning.*p.field);
    params.insert("ExposureTime", tuning.exposeTime * kExposureToParams);
    params.insert("TriggerMode", externalTrigger);
    params.insert("ColorMode", colorMode);
    return params;
}

bool SimCamera::setParams(const QJsonObject& values)
{
    record("setParams", QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)));
    for (const IntParam& p : kIntParams) {
        if (values.contains(p.setKey))
            tuning.*p.field = values.value(p.setKey).toInt();
    }
    for (const BoolParam& p : kBoolParams) {
        if (values.contains(p.setKey))
            tuning.*p.field = values.value(p.setKey).toBool();
    }
    return true;
}

bool SimCamera::setExposeTime(int exposeTime)
{
    return tune("setExposeTime", &Tuning::exposeTime, exposeTime);
}

bool SimCamera::setAdjustPlus(int gain)
{
    return tune("setAdjustPlus", &Tuning::gain, gain);
}

bool SimCamera::setSharp(int sharp)
{
    return tune("setSharp", &Tuning::sharp, sharp);
}

bool SimCamera::setContrast(int contrast)
{
    return tune("setContrast", &Tuning::contrast, contrast);
}

bool SimCamera::setGamma(int gamma)
{
    return tune("setGamma", &Tuning::gamma, gamma);
}

bool SimCamera::setWDR(bool on)
{
    return tune("setWDR", &Tuning::wdr, on);
}

bool SimCamera::setHMirror(bool on)
{
    return tune("setHMirror", &Tuning::hMirror, on);
}

bool SimCamera::setVMirror(bool on)
{
    return tune("setVMirror", &Tuning::vMirror, on);
}

bool SimCamera::setWhiteBalance()
{
    record("setWhiteBalance");
    return true;
}

bool SimCamera::setColorMode(bool color)
{
    record("setColorMode", boolText(color));
    colorMode = color;
    return true;
}

bool SimCamera::setSpeed(int speed)
{
    return tune("setSpeed", &Tuning::speed, speed);
}

bool SimCamera::setExtendParam(const QVariant& value, int index)
{
    record("setExtendParam", QString("%1 %2").arg(QString::fromLatin1(value.typeName())).arg(index));
    return true;
}

// No thermal measurement here: the reply is left as the caller made it.
bool SimCamera::getExtendParam(const QVariant& request, QVariant&, int index)
{
    record("getExtendParam", QString("%1 %2").arg(QString::fromLatin1(request.typeName())).arg(index));
    return false;
}

bool SimCamera::getFps(int* fps)
{
    if (!fps)
        return false;
    QMutexLocker lock(&mutex);
    if (grabbing && !externalTrigger && settings.fps > 0) {
        *fps = int(std::lround(settings.fps));
        return true;
    }
    forgetOldDeliveries(clock.isValid() ? clock.elapsed() : 0);
    *fps = deliveryTimes.size();
    return true;
}

bool SimCamera::setTriggerMode(bool external)
{
    record("setTriggerMode", boolText(external));
    externalTrigger = external;
    return true;
}

bool SimCamera::softTrigger()
{
    QMutexLocker lock(&mutex);
    ++triggers;
    if (!open || !grabbing)
        return false;
    triggerPending = true;
    return true;
}

bool SimCamera::getImageSize(int* width, int* height)
{
    record("getImageSize");
    if (!width || !height)
        return false;
    *width = settings.width;
    *height = settings.height;
    return true;
}

// Only the last second counts for the rate; without this the list grows with every frame
// when nobody asks for the rate.
void SimCamera::forgetOldDeliveries(qint64 now)
{
    while (!deliveryTimes.isEmpty() && now - deliveryTimes.first() > kFpsWindowMs) deliveryTimes.removeFirst();
}

// A trigger gives a frame at once; free-running gives one per 1/fps, counted from startGrab.
bool SimCamera::newFrameDue()
{
    if (triggerPending) {
        triggerPending = false;
        return true;
    }
    if (externalTrigger || settings.fps <= 0)
        return false;
    const qint64 slot = qint64(double(clock.elapsed()) * settings.fps / 1000.0);
    if (slot <= lastFrameSlot)
        return false;
    lastFrameSlot = slot;
    return true;
}

QImage SimCamera::processed(QImage frame) const
{
    if (tuning.hMirror || tuning.vMirror)
        frame = frame.mirrored(tuning.hMirror, tuning.vMirror);
    if (settings.exposureEffect) {
        const double refExposure = std::max(1, settings.defaults.value("exposeTime").toInt());
        const double refGain = std::max(1, settings.defaults.value("adjustPlus").toInt());
        const double factor = (tuning.exposeTime / refExposure) * (tuning.gain / refGain);
        uchar table[256];
        for (int v = 0; v < 256; ++v) table[v] = uchar(std::clamp(int(std::lround(v * factor)), 0, 255));
        const int channels = frame.format() == QImage::Format_RGB32 ? 4 : 1;
        for (int y = 0; y < frame.height(); ++y) {
            uchar* row = frame.scanLine(y);
            for (int x = 0; x < frame.width() * channels; ++x) {
                if (channels == 1 || x % 4 != 3)
                    row[x] = table[row[x]];
            }
        }
    }
    return frame.convertToFormat(colorMode ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
}

// The file is looked at no more often than this.
constexpr qint64 kKnobPollMs = 100;

void SimCamera::applyKnob()
{
    if (!knob || knobClock.elapsed() < kKnobPollMs)
        return;
    knobClock.restart();
    bool loseNow = false;
    for (const QString& line : knob->poll()) {
        const SimCameraKnob::Command c = SimCameraKnob::parse(line);
        if (c.camera != settings.index + 1)
            continue;
        QMutexLocker lock(&mutex);
        if (c.kind == SimCameraKnob::Command::DefectOn && source)
            source->setDefect(true, c.x, c.y, c.radius);
        else if (c.kind == SimCameraKnob::Command::DefectOff && source)
            source->setDefect(false);
        else if (c.kind == SimCameraKnob::Command::Lose)
            loseNow = true;
    }
    if (loseNow)
        loseCamera(true);
}

bool SimCamera::grabImage(unsigned char* buffer)
{
    if (!factory)
        applyKnob();
    QImage frame;
    bool loseNow = false;
    {
        QMutexLocker lock(&mutex);
        if (!buffer || !open || !grabbing || lost)
            return false;
        if (failCount > 0) {
            --failCount;
            return false;
        }
        if (!newFrameDue())
            return false;
        frame = source->next();
        if (frame.isNull())
            return false;
        frame = processed(frame);
        const size_t rowBytes = size_t(frame.width()) * size_t(frame.depth() / 8);
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(buffer + rowBytes * size_t(y), frame.constScanLine(y), rowBytes);
        ++delivered;
        deliveryTimes.append(clock.elapsed());
        forgetOldDeliveries(deliveryTimes.last());
        loseNow = settings.lossAfterFrames > 0 && delivered == settings.lossAfterFrames;
    }
    if (loseNow)
        loseCamera(true);
    return true;
}

bool SimCamera::restoreDefaultSettings(QJsonObject& values, int cameraIndex)
{
    record("restoreDefaultSettings", QString::number(cameraIndex));
    values = settings.defaults;
    return true;
}

// ---- factory role ----

QString SimCamera::pluginName()
{
    return factory ? config.pluginName : ownPluginName;
}

QVector<_cameraInfo> SimCamera::findCameras()
{
    QVector<_cameraInfo> found;
    if (!factory)
        return found;
    reloadConfig();
    for (const SimCameraSettings& s : config.cameras) {
        _cameraInfo info;
        info.pluginName = config.pluginName;
        info.setSerial(s.serial);
        info.params = QJsonObject{{"index", s.index}, {"width", s.width}, {"height", s.height}, {"color", s.color}};
        found.append(info);
    }
    return found;
}

CameraInterface* SimCamera::createCamera(_cameraInfo info)
{
    if (!factory)
        return nullptr;
    const QString serial = info.serial();
    for (const SimCameraSettings& s : config.cameras) {
        if (s.serial == serial)
            return new SimCamera(s, config.pluginName);
    }
    qWarning().noquote() << "simcamera: no camera with serial" << serial;
    return nullptr;
}

int SimCamera::cameraType()
{
    return factory ? config.cameraType : settings.cameraType;
}

// ---- test controls ----

void SimCamera::configure(const QJsonObject& json)
{
    pinnedConfig = json;
    reloadConfig();
}

QJsonObject SimCamera::configuration() const
{
    return config.json;
}

void SimCamera::injectFrame(const QImage& picture)
{
    QMutexLocker lock(&mutex);
    if (source)
        source->inject(picture);
}

void SimCamera::failGrabs(int count)
{
    QMutexLocker lock(&mutex);
    failCount = std::max(0, count);
}

void SimCamera::loseCamera(bool fromWorkerThread)
{
    {
        QMutexLocker lock(&mutex);
        lost = true;
        reconnectAttempts = 0;
    }
    if (!fromWorkerThread) {
        emit sigCameraLost();
        return;
    }
    if (lossThread.joinable())
        lossThread.join();
    lossThread = std::thread([this] { emit sigCameraLost(); });
}

void SimCamera::setReconnectTries(int tries)
{
    reconnectTries = tries;
}

bool SimCamera::isLost() const
{
    return lost;
}

QStringList SimCamera::recordedCalls() const
{
    QMutexLocker lock(&mutex);
    return calls;
}

void SimCamera::clearRecordedCalls()
{
    QMutexLocker lock(&mutex);
    calls.clear();
}

int SimCamera::softTriggerCount() const
{
    QMutexLocker lock(&mutex);
    return triggers;
}

qint64 SimCamera::deliveredFrames() const
{
    QMutexLocker lock(&mutex);
    return delivered;
}
