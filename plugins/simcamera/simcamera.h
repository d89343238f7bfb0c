// The simulated camera driver plug-in: its factory and its camera objects in one class.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QStringList>

#include "camerainterface.h"
#include "simcameraconfig.h"
#include "simcameracontrol.h"
#include "simcameraknob.h"
#include "simframesource.h"

class SimCamera : public CameraInterface, public SimCameraControl
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID CameraInterface_iid)
    Q_INTERFACES(CameraInterface SimCameraControl)

public:
    // The factory, as the plug-in loader makes it.
    SimCamera();
    // One camera, as createCamera makes it.
    SimCamera(const SimCameraSettings& settings, const QString& pluginName);
    ~SimCamera() override;

    bool openCamera() override;
    bool closeCamera() override;
    bool startGrab() override;
    bool stopGrab() override;
    void handleLost() override;
    bool reconnect() override;
    QJsonObject getParams(int index) override;
    bool setParams(const QJsonObject& settings) override;
    bool setExposeTime(int exposeTime) override;
    bool setAdjustPlus(int gain) override;
    bool setSharp(int sharp) override;
    bool setContrast(int contrast) override;
    bool setGamma(int gamma) override;
    bool setWDR(bool on) override;
    bool setHMirror(bool on) override;
    bool setVMirror(bool on) override;
    bool setWhiteBalance() override;
    bool setColorMode(bool color) override;
    bool setSpeed(int speed) override;
    bool setExtendParam(const QVariant& value, int index) override;
    bool getExtendParam(const QVariant& request, QVariant& reply, int index) override;
    bool getFps(int* fps) override;
    bool setTriggerMode(bool external) override;
    bool softTrigger() override;
    bool getImageSize(int* width, int* height) override;
    QString pluginName() override;
    bool grabImage(unsigned char* buffer) override;
    bool restoreDefaultSettings(QJsonObject& settings, int cameraIndex) override;
    QVector<_cameraInfo> findCameras() override;
    CameraInterface* createCamera(_cameraInfo info) override;
    int cameraType() override;

    void configure(const QJsonObject& config) override;
    QJsonObject configuration() const override;
    void injectFrame(const QImage& picture) override;
    void failGrabs(int count) override;
    void loseCamera(bool fromWorkerThread) override;
    void setReconnectTries(int tries) override;
    bool isLost() const override;
    QStringList recordedCalls() const override;
    void clearRecordedCalls() override;
    int softTriggerCount() const override;
    qint64 deliveredFrames() const override;

    // The camera's adjustable values; the initial ones are its defaults.
    struct Tuning
    {
        int exposeTime = 0;
        int gain = 0;
        int sharp = 0;
        int contrast = 0;
        int gamma = 0;
        int speed = 0;
        bool wdr = false;
        bool hMirror = false;
        bool vMirror = false;
        bool sysUsage = false;
    };

private:
    void record(const QString& name, const QString& argument = QString());
    bool tune(const char* call, int Tuning::*field, int value);
    bool tune(const char* call, bool Tuning::*field, bool on);
    void reloadConfig();
    bool newFrameDue();
    void forgetOldDeliveries(qint64 now);
    QImage processed(QImage frame) const;
    // Commands of the demo's command file addressed to this camera.
    void applyKnob();

    // Factory side.
    bool factory = false;
    QString pluginDir;
    QJsonObject pinnedConfig;
    SimCameraConfig config;

    // Camera side.
    SimCameraSettings settings;
    QString ownPluginName;
    std::unique_ptr<SimFrameSource> source;
    Tuning tuning;
    bool open = false;
    bool grabbing = false;
    bool colorMode = false;
    bool externalTrigger = false;
    bool triggerPending = false;
    int failCount = 0;
    int reconnectTries = 1;
    int reconnectAttempts = 0;
    std::atomic<bool> lost{false};
    QElapsedTimer clock;
    qint64 lastFrameSlot = -1;
    qint64 delivered = 0;
    int triggers = 0;
    QList<qint64> deliveryTimes;  // ms on `clock` of the frames of the last second
    QStringList calls;
    mutable QMutex mutex;
    std::thread lossThread;
    std::unique_ptr<SimCameraKnob> knob;
    QElapsedTimer knobClock;
};
