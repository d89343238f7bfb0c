// Test rig of the camera view: light main window, factory databases, parameters and simulated cameras.
#pragma once

#include <cstring>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include "cameramanager.h"
#include "cammerwidget.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainwindowrig.h"
#include "mojuwizard.h"
#include "simcameracontrol.h"
#include "wizardpara.h"

// One per test process: the main window may be built once. Cameras come from the simulated
// plug-in, configured with `cameras` (one object per camera, keys of simcamera.json) and
// serving only injected frames, each after a soft trigger.
struct CammerWidgetRig
{
    MoJuWizard* window = nullptr;
    CameraInterface* factory = nullptr;
    QVector<_cameraInfo> cameras;

    void start(const QJsonArray& cameraList)
    {
        InitLanStr();
        gLan = 1;
        CreateGlobalMutexes();
        QVERIFY(FactoryFixture::writeAll());
        window = new MoJuWizard(MoJuWizard::LightConstruction{});
        QVERIFY(MainWindowRig::openWindowDatabases(window, false));

        gpWPara = new WizardPara;
        gpWParaBak = new WizardPara;
        for (int& enabled : gpWPara->detectEnabled) enabled = 0;
        gpWPara->detectMode = 0;
        gpWPara->externalTrigger = 0;
        gpWPara->holdImageAfterAlarm = 0;
        gDNum = 2;
        gTempNum = 3;
        gisColor = false;
        gSource = -1;

        CameraManager* manager = CameraManager::getInstance();
        manager->loadPlugins();
        QVERIFY(!manager->plugins.isEmpty());
        factory = manager->plugins.first();
        auto* control = qobject_cast<SimCameraControl*>(factory);
        QVERIFY(control);
        control->configure(QJsonObject{{"cameraCount", cameraList.size()},
                                       {"width", 640},
                                       {"height", 480},
                                       {"color", false},
                                       {"source", "inject"},
                                       {"fps", 0},
                                       {"cameras", cameraList}});
        cameras = factory->findCameras();
        QCOMPARE(cameras.size(), cameraList.size());
    }

    CammerWidget* view(int cameraIndex, int camera)
    {
        return new CammerWidget(window, cameraIndex, cameras.at(camera));
    }

    static SimCameraControl* control(CammerWidget* v) { return qobject_cast<SimCameraControl*>(v->camera); }

    // A grey picture of the camera's size whose every pixel differs from its neighbours.
    static QImage pattern(int w, int h, int seed)
    {
        QImage picture(w, h, QImage::Format_Grayscale8);
        for (int y = 0; y < h; ++y) {
            uchar* row = picture.scanLine(y);
            for (int x = 0; x < w; ++x) row[x] = uchar((x * 7 + y * 13 + seed) & 0xFF);
        }
        return picture;
    }

    // Serves `picture` as the camera's next frame and grabs it.
    static bool grab(CammerWidget* v, const QImage& picture)
    {
        control(v)->injectFrame(picture);
        v->ManualUpdateImage();
        return v->UpdateImage();
    }

    // Byte-wise equality of a packed camera buffer with a picture's pixel rows.
    static bool samePixels(const unsigned char* buffer, const QImage& picture)
    {
        const int rowBytes = picture.width() * picture.depth() / 8;
        for (int y = 0; y < picture.height(); ++y) {
            if (std::memcmp(buffer + size_t(y) * rowBytes, picture.constScanLine(y), size_t(rowBytes)) != 0)
                return false;
        }
        return true;
    }

    // The failure-image slots of one camera, as the main window allocates them.
    static void allocFailSlots(CammerWidget* v)
    {
        for (int d = 0; d < 8; ++d) {
            for (int k = 0; k < 2; ++k) {
                const int slot = (v->cameraIndex * 8 + d) * 2 + k;
                if (!gpFailImage[slot])
                    gpFailImage[slot] = new unsigned char[size_t(v->imagePixels) * 4]();
            }
        }
    }
};
