// The camera driver plug-in interface (factory and camera roles) and the camera description.
#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>
#include <QtPlugin>

#define CameraInterface_iid "com.zel.quorvex.camerainterface"

constexpr int kCameraInfoPrivateBytes = 8;
constexpr int kCameraInfoSerialBlockBytes = 288;

// One reachable camera, handed from a plug-in's findCameras through the camera manager to
// createCamera and kept by the camera view. Field order and sizes are shared with driver
// plug-ins built elsewhere: do not reorder or resize.
struct _cameraInfo
{
    char pluginPrivate[kCameraInfoPrivateBytes] = {};  // the plug-in's own, never read here
    QString pluginName;
    // Leading bytes: the serial number, NUL-terminated UTF-8; the rest is the plug-in's.
    char serialNumber[kCameraInfoSerialBlockBytes] = {};
    QJsonObject params;

    // The serial number at the head of the block (stops at the NUL or the block's end).
    QString serial() const;
    // Writes the serial at the head of the block, cut so that its NUL still fits; the rest
    // of the block is left as it is.
    void setSerial(const QString& serial);
};
Q_DECLARE_METATYPE(_cameraInfo)

// One class for both roles: the object a plug-in exports is the factory (name, camera
// list, camera creation); each object it creates is one camera. All calls come from the
// GUI thread; sigCameraLost may be emitted from a plug-in's own thread.
class CameraInterface : public QObject
{
    Q_OBJECT

public:
    explicit CameraInterface(QObject* parent = nullptr);
    ~CameraInterface() override;

    // Driver plug-ins built elsewhere call through these vtable slots by position: do not
    // reorder, insert or remove. The reserved slots are never called by the system and
    // only hold the places of the operations after them.
    virtual bool openCamera() = 0;
    virtual bool closeCamera() = 0;
    virtual bool startGrab() = 0;
    virtual bool stopGrab() = 0;
    virtual void handleLost() = 0;
    virtual bool reconnect() = 0;
    virtual QJsonObject getParams(int index) = 0;
    virtual bool setParams(const QJsonObject& settings) = 0;
    virtual bool setExposeTime(int exposeTime) = 0;
    virtual bool setAdjustPlus(int gain) = 0;
    virtual bool setSharp(int sharp) = 0;
    virtual bool setContrast(int contrast) = 0;
    virtual bool setGamma(int gamma) = 0;
    virtual bool reserved14(int value);
    virtual bool setWDR(bool on) = 0;
    virtual bool setHMirror(bool on) = 0;
    virtual bool setVMirror(bool on) = 0;
    virtual bool setWhiteBalance() = 0;
    virtual bool reserved19(int value);
    virtual bool setColorMode(bool color) = 0;
    virtual bool setSpeed(int speed) = 0;
    virtual bool setExtendParam(const QVariant& value, int index) = 0;
    virtual bool getExtendParam(const QVariant& request, QVariant& reply, int index) = 0;
    virtual bool getFps(int* fps) = 0;
    virtual bool setTriggerMode(bool external) = 0;
    virtual bool softTrigger() = 0;
    virtual bool getImageSize(int* width, int* height) = 0;
    virtual QString pluginName() = 0;
    virtual QString reserved29();
    // Copies one new frame: width x height bytes of grey, or width x height 32-bit pixels
    // in QImage::Format_RGB32 memory order (B, G, R, A) in colour mode; false = no new frame.
    virtual bool grabImage(unsigned char* buffer) = 0;
    virtual bool restoreDefaultSettings(QJsonObject& settings, int cameraIndex) = 0;
    virtual QVector<_cameraInfo> findCameras() = 0;
    virtual int reserved33();
    // A new camera object owned by the caller, or null when it cannot be made.
    virtual CameraInterface* createCamera(_cameraInfo info) = 0;
    // 0 = a simulated source (pictures instead of a camera); any other value = a real camera.
    virtual int cameraType() = 0;

signals:
    void sigCameraLost();
};

Q_DECLARE_INTERFACE(CameraInterface, CameraInterface_iid)
