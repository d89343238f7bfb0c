// CammerWidget camera control: opening, settings, grabbing, defaults, region hand-over, lost-camera recovery.
#include "cammerwidget.h"

#include <cstring>

#include <QDebug>
#include <QEventLoop>
#include <QJsonObject>
#include <QMetaType>
#include <QTimer>
#include <QVariant>

#include "cammersingleton.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "platformclock.h"
#include "recordsink.h"
#include "textids.h"
#include "windowhooks.h"
#include "wizardpara.h"

Q_DECLARE_METATYPE(CammerSingleton*)

namespace {
constexpr int kReconnectPeriodMs = 1000;

// One entry of the settings object that initSetting sends: the camera's key and how the
// value is read for camera c. The plug-ins know these keys, "gammma" included.
struct SettingKey
{
    const char* key;
    QJsonValue (*value)(const WizardPara& p, int c);
};
const SettingKey kSettingKeys[] = {
    {"exposetime", [](const WizardPara& p, int c) { return QJsonValue(p.exposeTime[c]); }},
    {"gain", [](const WizardPara& p, int c) { return QJsonValue(p.adjustPlus[c]); }},
    {"contrast", [](const WizardPara& p, int c) { return QJsonValue(p.contrast[c]); }},
    {"sharp", [](const WizardPara& p, int c) { return QJsonValue(p.sharp[c]); }},
    {"gammma", [](const WizardPara& p, int c) { return QJsonValue(p.gamma[c]); }},
    {"WDR", [](const WizardPara& p, int) { return QJsonValue(p.autoShading != 0); }},
    {"VMirror", [](const WizardPara& p, int c) { return QJsonValue(p.vMirror[c] != 0); }},
    {"HMirror", [](const WizardPara& p, int c) { return QJsonValue(p.hMirror[c] != 0); }},
    {"sysUsage", [](const WizardPara& p, int) { return QJsonValue(p.externalTrigger != 0); }},
    {"speed", [](const WizardPara& p, int) { return QJsonValue(p.speed); }},
};

// The defaults request and what is read back from the answer (per camera or system-wide).
struct DefaultKey
{
    const char* key;
    int* (*field)(WizardPara& p, int c);
    bool readBack;
};
const DefaultKey kDefaultKeys[] = {
    {"exposeTime", [](WizardPara& p, int c) { return &p.exposeTime[c]; }, true},
    {"adjustPlus", [](WizardPara& p, int c) { return &p.adjustPlus[c]; }, true},
    {"sharp", [](WizardPara& p, int c) { return &p.sharp[c]; }, true},
    {"contrast", [](WizardPara& p, int c) { return &p.contrast[c]; }, true},
    {"gamma", [](WizardPara& p, int c) { return &p.gamma[c]; }, true},
    {"isHMirror", [](WizardPara& p, int c) { return &p.hMirror[c]; }, false},
    {"isVMirror", [](WizardPara& p, int c) { return &p.vMirror[c]; }, false},
    {"speed", [](WizardPara& p, int) { return &p.speed; }, true},
    {"sysUsage", [](WizardPara& p, int) { return &p.externalTrigger; }, false},
    {"isWDR", [](WizardPara& p, int) { return &p.autoShading; }, false},
};
}  // namespace

void CammerWidget::CameraOpen()
{
    camera->setColorMode(gisColor);
    cameraOpen = camera->openCamera();
    if (!cameraOpen) {
        qInfo() << "camera open fail"
                << "camera NO " << cameraIndex << "camera SN" << cameraSerial;
        return;
    }
    int width = 0;
    int height = 0;
    if (!camera->getImageSize(&width, &height) || width <= 0 || height <= 0) {
        // Every buffer and scale is derived from this size: a camera without one is unusable.
        qWarning() << "camera" << cameraIndex << "SN" << cameraSerial << "reports no picture size:" << width << "x"
                   << height;
        camera->closeCamera();
        cameraOpen = false;
        return;
    }
    imageWidth = width;
    imageHeight = height;
    imagePixels = width * height;
    showScaleX = fullScaleX = float(gShowW) / float(imageWidth);
    showScaleY = fullScaleY = float(gShowH) / float(imageHeight);
    imageBytes = gisColor ? imagePixels * 4 : imagePixels;
    initSetting();
}

void CammerWidget::initSetting()
{
    if (!camera)
        return;
    QJsonObject settings;
    for (const SettingKey& s : kSettingKeys) settings.insert(s.key, s.value(LivePara(), cameraIndex));
    camera->setParams(settings);
}

bool CammerWidget::CameraStart()
{
    if (!cameraOpen)
        return false;
    camera->startGrab();
    return true;
}

void CammerWidget::CameraStop()
{
    if (cameraOpen)
        camera->stopGrab();
}

void CammerWidget::CameraClose()
{
    if (!cameraOpen)
        return;
    camera->closeCamera();
    cameraOpen = false;
}

void CammerWidget::CameraChangeTrig(bool on)
{
    if (cameraOpen)
        camera->setTriggerMode(on);
}

void CammerWidget::SetExposeTime()
{
    if (!cameraOpen)
        return;
    camera->setExposeTime(TunedPara().exposeTime[cameraIndex]);
    SetWB();
}

void CammerWidget::SetAdjustPlus()
{
    if (!cameraOpen)
        return;
    camera->setAdjustPlus(TunedPara().adjustPlus[cameraIndex]);
    SetWB();
}

void CammerWidget::SetSharp()
{
    if (cameraOpen)
        camera->setSharp(TunedPara().sharp[cameraIndex]);
}

void CammerWidget::SetContrast()
{
    if (cameraOpen)
        camera->setContrast(TunedPara().contrast[cameraIndex]);
}

void CammerWidget::SetGamma()
{
    if (cameraOpen)
        camera->setGamma(TunedPara().gamma[cameraIndex]);
}

// Wide dynamic range, mirrors and speed are taken by the camera only while it is stopped.
void CammerWidget::SetWhileStopped(bool (CameraInterface::*setter)(bool), bool on)
{
    if (!cameraOpen)
        return;
    CameraStop();
    (camera->*setter)(on);
    CameraStart();
}

void CammerWidget::SetWDR()
{
    SetWhileStopped(&CameraInterface::setWDR, TunedPara().autoShading != 0);
}

void CammerWidget::SetHMirror()
{
    SetWhileStopped(&CameraInterface::setHMirror, TunedPara().hMirror[cameraIndex] != 0);
}

void CammerWidget::SetVMirror()
{
    SetWhileStopped(&CameraInterface::setVMirror, TunedPara().vMirror[cameraIndex] != 0);
}

void CammerWidget::SetSpeed()
{
    if (!cameraOpen)
        return;
    CameraStop();
    camera->setSpeed(LivePara().speed);
    CameraStart();
}

void CammerWidget::SetWB()
{
    if (cameraOpen && gisColor)
        camera->setWhiteBalance();
}

bool CammerWidget::UpdateImage()
{
    if (!camera || !rawImage)
        return false;
    const bool ok = camera->grabImage(rawImage);
    if (ok)
        ++frameCount;
    frameShownTime = 0;
    const qint64 now = PlatformClock::now().toMSecsSinceEpoch();
    const WizardPara& p = LivePara();
    const bool alarmHeld = p.holdImageAfterAlarm && gpState && gpState->pageState == kPageAlarm;
    if ((gSource != kSourceDetecting && gSource != kSourceLiveImage) || p.externalTrigger || alarmHeld)
        return ok;
    // Also after a failed grab: the previous frame is shown again.
    frameShownTime = now;
    std::memcpy(curImage, rawImage, imageBytes);
    update();
    return ok;
}

void CammerWidget::ManualUpdateImage()
{
    if (cameraOpen && simulated)
        camera->softTrigger();
}

void CammerWidget::RestoreDefaultSettings()
{
    if (!camera || !gpWParaBak)
        return;
    WizardPara& bak = *gpWParaBak;
    QJsonObject request;
    for (const DefaultKey& k : kDefaultKeys) request.insert(k.key, *k.field(bak, cameraIndex));
    camera->restoreDefaultSettings(request, cameraIndex);
    for (const DefaultKey& k : kDefaultKeys) {
        if (k.readBack)
            *k.field(bak, cameraIndex) = request.value(k.key).toInt();
    }
}

// A camera that measures inside regions (a thermal one) learns the current regions.
void CammerWidget::HotCameraUpdateROI()
{
    static const int kStoreType = qRegisterMetaType<CammerSingleton*>("CammerSingleton *");
    Q_UNUSED(kStoreType);
    if (camera)
        camera->setExtendParam(QVariant::fromValue(storeA), 0);
}

int CammerWidget::HotCameraGetTemperature(int detect, int funcNo)
{
    if (!camera)
        return 0;
    const QVariant request(QJsonObject{{"detect", detect}, {"funcNO", funcNo}});
    QVariant reply(0);
    camera->getExtendParam(request, reply, 0);
    return reply.toInt();
}

CameraInterface* CammerWidget::CreateCamera(_cameraInfo info)
{
    CameraInterface* plugin = cameraInterfaceMap.value(info.pluginName, nullptr);
    return plugin ? plugin->createCamera(info) : nullptr;
}

// Blocks in a nested event loop until the camera is back; the rest of the program keeps
// running meanwhile and sees cameraConnected false.
void CammerWidget::SlotLoss()
{
    if (!camera)
        return;
    if (reconnecting) {
        // A second loop would nest inside the first and record the same loss twice.
        qWarning() << "camera" << cameraIndex + 1 << "reported lost again while reconnecting";
        return;
    }
    reconnecting = true;
    cameraConnected = false;
    ReportLostCamera();
    camera->handleLost();
    update();
    ++lostCount;
    RecordOperation(LanStr(kTextCameraLost).arg(cameraIndex + 1).arg(lostCount), "info");

    QEventLoop loop;
    QTimer retry;
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, &loop, [&] {
        cameraConnected = camera->reconnect();
        if (!cameraConnected) {
            retry.start(kReconnectPeriodMs);
            return;
        }
        initSetting();
        loop.quit();
    });
    retry.start(kReconnectPeriodMs);
    loop.exec();
    reconnecting = false;
}
