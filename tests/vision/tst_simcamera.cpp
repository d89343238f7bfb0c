// Simulated camera plug-in and synthetic scene: frames, timing, setters, loss; defect and movement.
#include <memory>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPluginLoader>
#include <QThread>

#include <opencv2/imgproc.hpp>

#include "camerainterface.h"
#include "simcameracontrol.h"
#include "simscene.h"
#include "testsupport.h"

namespace {

QImage greyNoise(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    quint32 state = seed;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = uchar(state >> 24);
        }
    }
    return image;
}

QImage filled(int width, int height, QColor colour, QImage::Format format)
{
    QImage image(width, height, format);
    image.fill(colour);
    return image;
}

// Packed rows, as a camera delivers them.
QByteArray packed(const QImage& image)
{
    QByteArray bytes;
    const int rowBytes = image.width() * image.depth() / 8;
    for (int y = 0; y < image.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes);
    return bytes;
}

cv::Mat asMat(const QImage& grey)
{
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                   size_t(grey.bytesPerLine()))
        .clone();
}

cv::Point2d mapped(const cv::Mat& h, cv::Point2d p)
{
    const cv::Mat v = h * (cv::Mat_<double>(3, 1) << p.x, p.y, 1.0);
    return {v.at<double>(0) / v.at<double>(2), v.at<double>(1) / v.at<double>(2)};
}

// Where a patch of the reference frame around `p` is found in `moved`.
cv::Point2d locate(const cv::Mat& reference, const cv::Mat& moved, cv::Point p, int half = 20)
{
    const cv::Mat patch = reference(cv::Rect(p.x - half, p.y - half, 2 * half + 1, 2 * half + 1));
    cv::Mat score;
    cv::matchTemplate(moved, patch, score, cv::TM_CCOEFF_NORMED);
    cv::Point best;
    cv::minMaxLoc(score, nullptr, nullptr, nullptr, &best);
    return {double(best.x + half), double(best.y + half)};
}

}  // namespace

class TestSimCamera : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    CameraInterface* factory = nullptr;
    SimCameraControl* factoryControl = nullptr;

    // A camera of the given configuration, opened and grabbing.
    struct Camera
    {
        std::unique_ptr<CameraInterface> object;
        SimCameraControl* control = nullptr;
        QByteArray buffer;
        int width = 0;
        int height = 0;

        bool grab() { return object->grabImage(reinterpret_cast<unsigned char*>(buffer.data())); }
        bool triggerAndGrab() { return object->softTrigger() && grab(); }
    };

    Camera start(const QJsonObject& config, bool colour = false, int index = 0)
    {
        factoryControl->configure(config);
        Camera c;
        const QVector<_cameraInfo> found = factory->findCameras();
        if (index >= found.size())
            return c;
        c.object.reset(factory->createCamera(found[index]));
        c.control = qobject_cast<SimCameraControl*>(c.object.get());
        c.object->setColorMode(colour);
        if (!c.object->openCamera())
            return c;
        c.object->getImageSize(&c.width, &c.height);
        c.buffer.fill('\0', c.width * c.height * (colour ? 4 : 1));
        c.object->startGrab();
        return c;
    }

private slots:
    void initTestCase()
    {
        loader.setFileName(QCoreApplication::applicationDirPath() + "/Plugins/Cameras/libsimcamera.so");
        QObject* instance = loader.instance();
        QVERIFY2(instance, qPrintable(loader.errorString()));
        factory = qobject_cast<CameraInterface*>(instance);
        factoryControl = qobject_cast<SimCameraControl*>(instance);
        QVERIFY(factory && factoryControl);
    }

    void configurationFromWorkingFolderFile()
    {
        QFile file("simcamera.json");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"pluginName": "Bench", "cameraType": 3, "cameraCount": 12,
                       "serials": ["BENCH-0001", "ÄÖÜß", "BENCH-0003"],
                       "cameras": [{}, {}, {"serial": "OWN-SERIAL-3"}]})");
        file.close();
        factoryControl->configure(QJsonObject());
        const QVector<_cameraInfo> found = factory->findCameras();
        QFile::remove("simcamera.json");
        QCOMPARE(factory->pluginName(), QString("Bench"));
        QCOMPARE(factory->cameraType(), 3);
        QCOMPARE(found.size(), 8);
        QCOMPARE(found[0].serial(), QString("BENCH-0001"));
        QCOMPARE(found[1].serial(), QString("SIMCAM02"));  // 8 bytes but 4 characters: too short
        QCOMPARE(found[2].serial(), QString("OWN-SERIAL-3"));
        QCOMPARE(found[7].serial(), QString("SIMCAM08"));
        for (const _cameraInfo& info : found) QCOMPARE(info.pluginName, QString("Bench"));

        _cameraInfo unknown = found[0];
        unknown.setSerial("NOT-LISTED-1");
        QVERIFY(!factory->createCamera(unknown));
    }

    void greyFileIsGrabbedByteForByte()
    {
        QDir().mkpath("grey");
        const QImage picture = greyNoise(640, 480, 7);
        QVERIFY(picture.save("grey/frame.png"));
        Camera cam = start({{"source", "files"}, {"files", "grey"}, {"fps", 0}});
        QVERIFY(cam.object);
        QCOMPARE(cam.width, 640);
        QCOMPARE(cam.height, 480);
        QVERIFY(!cam.grab());  // no free-running at 0 fps: only triggers give frames
        QVERIFY(cam.triggerAndGrab());
        QCOMPARE(cam.buffer, packed(picture));
        QVERIFY(cam.triggerAndGrab());  // one file loops
        QCOMPARE(cam.buffer, packed(picture));
    }

    void filesServedInNameOrderLooping()
    {
        QDir().mkpath("series");
        const int levels[] = {30, 10, 20};
        const char* names[] = {"c.png", "a.bmp", "b.png"};
        for (int i = 0; i < 3; ++i)
            QVERIFY(filled(8, 4, QColor(levels[i], levels[i], levels[i]), QImage::Format_Grayscale8)
                        .save(QString("series/") + names[i]));
        Camera cam = start({{"source", "files"}, {"files", "series"}, {"width", 8}, {"height", 4}, {"fps", 0}});
        QList<int> served;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(cam.triggerAndGrab());
            served << uchar(cam.buffer[0]);
        }
        QCOMPARE(served, QList<int>({10, 20, 30, 10}));

        // A long series is read from disk on each turn rather than kept.
        QDir().mkpath("long");
        QList<int> expected;
        for (int i = 0; i < 40; ++i) {
            QVERIFY(filled(8, 4, QColor(i, i, i), QImage::Format_Grayscale8)
                        .save(QString("long/%1.png").arg(i, 2, 10, QChar('0'))));
            expected << i;
        }
        expected << 0;
        Camera many = start({{"source", "files"}, {"files", "long"}, {"width", 8}, {"height", 4}, {"fps", 0}});
        served.clear();
        for (int i = 0; i < expected.size(); ++i) {
            QVERIFY(many.triggerAndGrab());
            served << uchar(many.buffer[0]);
        }
        QCOMPARE(served, expected);
    }

    void colourFramesAreBgra()
    {
        QVERIFY(filled(16, 8, QColor(10, 20, 30), QImage::Format_RGB32).save("colour.png"));
        Camera cam = start(
            {{"source", "files"}, {"files", "colour.png"}, {"color", true}, {"width", 16}, {"height", 8}, {"fps", 0}},
            true);
        QVERIFY(cam.triggerAndGrab());
        QCOMPARE(cam.buffer.size(), 16 * 8 * 4);
        for (int i = 0; i < cam.buffer.size(); i += 4)
            QCOMPARE(cam.buffer.mid(i, 4), QByteArray("\x1e\x14\x0a\xff", 4));

        // A colour scene fills the fourth byte as Format_RGB32 requires.
        Camera scene = start({{"color", true}, {"width", 64}, {"height", 48}, {"fps", 0}}, true);
        QVERIFY(scene.triggerAndGrab());
        for (int i = 3; i < scene.buffer.size(); i += 4) QCOMPARE(uchar(scene.buffer[i]), uchar(0xFF));
    }

    void mirrorsAndExposureChangeThePicture()
    {
        const QImage picture = greyNoise(32, 16, 3);
        QVERIFY(picture.save("mirror.png"));
        Camera cam = start({{"source", "files"}, {"files", "mirror.png"}, {"width", 32}, {"height", 16}, {"fps", 0}});
        cam.object->stopGrab();
        cam.object->setHMirror(true);
        cam.object->startGrab();
        QVERIFY(cam.triggerAndGrab());
        QCOMPARE(cam.buffer, packed(picture.mirrored(true, false)));
        cam.object->setHMirror(false);
        cam.object->setVMirror(true);
        QVERIFY(cam.triggerAndGrab());
        QCOMPARE(cam.buffer, packed(picture.mirrored(false, true)));
        QCOMPARE(cam.object->getParams(0).value("VMirror").toBool(), true);

        // Brightness follows exposure and gain when asked to, relative to the defaults 30 and 32.
        QVERIFY(filled(4, 4, QColor(50, 50, 50), QImage::Format_Grayscale8).save("level.png"));
        Camera lit = start({{"source", "files"},
                            {"files", "level.png"},
                            {"width", 4},
                            {"height", 4},
                            {"fps", 0},
                            {"exposureEffect", true}});
        QVERIFY(lit.triggerAndGrab());
        QCOMPARE(lit.buffer, QByteArray(16, char(50)));
        lit.object->setExposeTime(60);
        lit.object->setAdjustPlus(48);
        QVERIFY(lit.triggerAndGrab());
        QCOMPARE(lit.buffer, QByteArray(16, char(150)));
    }

    void freeRunningAndTriggerMode()
    {
        // One frame per 50 ms at most, counted from the start, however late the grabs come.
        QElapsedTimer sinceStart;
        sinceStart.start();
        Camera cam = start({{"width", 64}, {"height", 48}, {"fps", 20}});
        int frames = 0;
        while (frames < 4 && sinceStart.elapsed() < 10000) {
            if (cam.grab())
                ++frames;
            else
                QTest::qWait(2);
        }
        QCOMPARE(frames, 4);
        QVERIFY2(frames <= sinceStart.elapsed() / 50 + 1, qPrintable(QString::number(sinceStart.elapsed())));
        int fps = 0;
        QVERIFY(cam.object->getFps(&fps));
        QCOMPARE(fps, 20);

        cam.object->setTriggerMode(true);
        QTest::qWait(60);
        QVERIFY(!cam.grab());
        QVERIFY(cam.triggerAndGrab());
        QVERIFY(!cam.grab());
        QCOMPARE(cam.control->softTriggerCount(), 1);

        // Without free-running the rate is what was delivered in the last second.
        Camera triggered = start({{"width", 64}, {"height", 48}, {"fps", 0}});
        for (int i = 0; i < 3; ++i) QVERIFY(triggered.triggerAndGrab());
        QVERIFY(triggered.object->getFps(&fps));
        QCOMPARE(fps, 3);
    }

    void failedGrabsStoppedAndUnopenableCameras()
    {
        Camera cam = start({{"width", 64}, {"height", 48}, {"fps", 0}});
        cam.control->failGrabs(2);
        QVERIFY(!cam.triggerAndGrab());
        QVERIFY(!cam.triggerAndGrab());
        QVERIFY(cam.triggerAndGrab());
        cam.object->stopGrab();
        QVERIFY(!cam.object->softTrigger());
        QVERIFY(!cam.grab());
        cam.object->closeCamera();
        QVERIFY(!cam.object->startGrab());

        Camera broken = start(
            {{"cameraCount", 2}, {"cameras", QJsonArray{QJsonObject(), QJsonObject{{"openFails", true}}}}}, false, 1);
        QVERIFY(broken.object);
        QCOMPARE(broken.width, 0);  // openCamera refused, so the size was never asked
    }

    void lossFromWorkerThreadArrivesOnGuiThread()
    {
        Camera cam = start({{"width", 64}, {"height", 48}, {"fps", 0}, {"reconnectTries", 3}});
        QThread* emitter = nullptr;
        QThread* receiver = nullptr;
        connect(
            cam.object.get(), &CameraInterface::sigCameraLost, this, [&] { emitter = QThread::currentThread(); },
            Qt::DirectConnection);
        connect(cam.object.get(), &CameraInterface::sigCameraLost, this, [&] { receiver = QThread::currentThread(); });
        cam.control->loseCamera(true);
        QVERIFY(cam.control->isLost());
        QVERIFY(!cam.triggerAndGrab());
        QTRY_VERIFY(receiver);
        QCOMPARE(receiver, QCoreApplication::instance()->thread());
        QVERIFY(emitter && emitter != receiver);

        cam.object->handleLost();
        QVERIFY(!cam.object->reconnect());
        QVERIFY(!cam.object->reconnect());
        QVERIFY(cam.object->reconnect());
        QVERIFY(cam.triggerAndGrab());

        // Scripted by configuration: lost after the second frame. The loss comes from a thread
        // of its own and may arrive before any wait could begin, so it is counted from the
        // start (on this thread, queued) and the count is awaited.
        Camera scripted = start({{"width", 64}, {"height", 48}, {"fps", 0}, {"lossAfterFrames", 2}});
        QObject watcher;
        int lost = 0;
        connect(scripted.object.get(), &CameraInterface::sigCameraLost, &watcher, [&lost] { ++lost; });
        QVERIFY(scripted.triggerAndGrab());
        QVERIFY(scripted.triggerAndGrab());
        QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 10000);
        QVERIFY(!scripted.triggerAndGrab());
        QVERIFY(scripted.object->reconnect());
    }

    void settersRecordedAndParamsReported()
    {
        Camera cam = start({{"width", 64}, {"height", 48}, {"fps", 0}});
        const QJsonObject settings{{"exposetime", 45},  {"gain", 12},  {"contrast", 60},   {"sharp", 5},
                                   {"gammma", 80},      {"WDR", true}, {"VMirror", false}, {"HMirror", true},
                                   {"sysUsage", false}, {"speed", 9}};
        cam.object->setParams(settings);
        cam.object->setExposeTime(50);
        cam.object->setWhiteBalance();
        const QJsonObject params = cam.object->getParams(0);
        QCOMPARE(params.value("ExposureTime").toDouble() / 1000, 50.0);
        QCOMPARE(params.value("Gain").toInt(), 12);
        QCOMPARE(params.value("Gamma").toInt(), 80);
        QCOMPARE(params.value("HMirror").toBool(), true);
        QCOMPARE(cam.control->recordedCalls(),
                 QStringList({"setColorMode false", "openCamera", "getImageSize", "startGrab",
                              "setParams " + QString::fromUtf8(QJsonDocument(settings).toJson(QJsonDocument::Compact)),
                              "setExposeTime 50", "setWhiteBalance"}));

        QJsonObject request{{"exposeTime", 99}, {"adjustPlus", 1}, {"sharp", 1}, {"contrast", 1}, {"gamma", 1},
                            {"isHMirror", 1},   {"isVMirror", 1},  {"speed", 1}, {"sysUsage", 1}, {"isWDR", 1}};
        QVERIFY(cam.object->restoreDefaultSettings(request, 0));
        const QStringList keys = {"exposeTime", "adjustPlus", "gamma", "contrast", "sharp",
                                  "isHMirror",  "isVMirror",  "speed", "sysUsage", "isWDR"};
        for (const QString& key : keys) QVERIFY2(request.value(key).isDouble(), qPrintable(key));
        QCOMPARE(request.value("exposeTime").toInt(), 30);
        QCOMPARE(request.value("isHMirror").toInt(), 0);
    }

    void injectedFramesComeFirst()
    {
        Camera cam = start({{"width", 8}, {"height", 4}, {"fps", 0}});
        cam.control->injectFrame(filled(8, 4, Qt::white, QImage::Format_Grayscale8));
        cam.control->injectFrame(filled(16, 8, QColor(100, 100, 100), QImage::Format_RGB32));  // scaled, made grey
        QVERIFY(cam.triggerAndGrab());
        QCOMPARE(cam.buffer, QByteArray(32, char(255)));
        QVERIFY(cam.triggerAndGrab());
        QCOMPARE(cam.buffer, QByteArray(32, char(100)));
        QVERIFY(cam.triggerAndGrab());
        QVERIFY(cam.buffer != QByteArray(32, char(100)));  // back to the scene

        Camera fed = start({{"source", "inject"}, {"width", 8}, {"height", 4}, {"fps", 0}});
        QVERIFY(!fed.triggerAndGrab());  // nothing given yet
        fed.control->injectFrame(filled(8, 4, QColor(7, 7, 7), QImage::Format_Grayscale8));
        QVERIFY(fed.triggerAndGrab());
        QVERIFY(fed.triggerAndGrab());  // the last picture stays
        QCOMPARE(fed.buffer, QByteArray(32, char(7)));
        QCOMPARE(fed.control->deliveredFrames(), qint64(2));
    }

    void sceneIsSeededAndTextured()
    {
        SimSceneOptions o;
        const cv::Mat a = SimScene::render(o);
        QCOMPARE(cv::norm(a, SimScene::render(o), cv::NORM_INF), 0.0);
        o.seed = 2;
        QVERIFY(cv::norm(a, SimScene::render(o), cv::NORM_L1) > 0);
        cv::Mat edges;
        cv::Canny(a, edges, 50, 150);
        QVERIFY(cv::countNonZero(edges) > int(a.total() / 50));  // texture everywhere, not a flat picture

        SimSceneOptions noisy;
        noisy.noise = 8;
        const cv::Mat n1 = SimScene::render(noisy);
        noisy.noiseSeed = 1;
        const cv::Mat n2 = SimScene::render(noisy);
        cv::Mat diff;
        cv::absdiff(n1, a, diff);
        QVERIFY(cv::mean(diff)[0] > 3 && cv::mean(diff)[0] < 12);
        QVERIFY(cv::norm(n1, n2, cv::NORM_L1) > 0);
    }

    void sceneDefectChangesOnlyItsSpot()
    {
        SimSceneOptions clean;
        SimSceneOptions spotted = clean;
        spotted.defect = true;
        spotted.defectX = 200;
        spotted.defectY = 150;
        spotted.defectRadius = 12;
        spotted.defectLevel = 0;
        cv::Mat diff;
        cv::absdiff(SimScene::render(clean), SimScene::render(spotted), diff);
        cv::Mat changed;
        cv::threshold(diff, changed, 0, 255, cv::THRESH_BINARY);
        const cv::Rect box = cv::boundingRect(changed);
        QVERIFY(box.contains(cv::Point(200, 150)));
        QVERIFY(box.width <= 2 * 12 + 6 && box.height <= 2 * 12 + 6);  // anti-aliased, soft edge
        QVERIFY(SimScene::render(spotted).at<uchar>(150, 200) < 5);
    }

    void sceneMovementFollowsItsHomography()
    {
        SimSceneOptions reference;
        const cv::Mat ref = SimScene::render(reference);

        SimSceneOptions shifted = reference;
        shifted.shiftX = 10;
        shifted.shiftY = -6;
        const cv::Mat s = SimScene::render(shifted);
        QCOMPARE(cv::norm(ref(cv::Rect(0, 6, 600, 440)), s(cv::Rect(10, 0, 600, 440)), cv::NORM_INF), 0.0);

        SimSceneOptions turned = reference;
        turned.rotation = 90;
        turned.width = turned.height = 400;
        const cv::Mat square = SimScene::render([&] {
            SimSceneOptions o = turned;
            o.rotation = 0;
            return o;
        }());
        const cv::Mat r = SimScene::render(turned);
        // Counter-clockwise on screen: the picture's right edge becomes its top edge.
        QCOMPARE(int(r.at<uchar>(50, 200)), int(square.at<uchar>(200, 350)));
        QCOMPARE(int(r.at<uchar>(300, 120)), int(square.at<uchar>(120, 100)));

        for (const auto& [rotation, perspective] : {std::pair{4.0, 0.0}, std::pair{0.0, 0.08}}) {
            SimSceneOptions moved = reference;
            moved.rotation = rotation;
            moved.perspective = perspective;
            const cv::Mat m = SimScene::render(moved);
            const cv::Mat h = SimScene::homography(moved);
            for (const cv::Point p : {cv::Point(320, 380), cv::Point(200, 300), cv::Point(450, 250)}) {
                const cv::Point2d expected = mapped(h, p);
                const cv::Point2d found = locate(ref, m, p);
                QVERIFY2(cv::norm(expected - found) <= 1.5,
                         qPrintable(QString("rotation %1 perspective %2 at %3,%4: expected %5,%6 found %7,%8")
                                        .arg(rotation)
                                        .arg(perspective)
                                        .arg(p.x)
                                        .arg(p.y)
                                        .arg(expected.x)
                                        .arg(expected.y)
                                        .arg(found.x)
                                        .arg(found.y)));
            }
        }
        QCOMPARE(SimScene::toImage(ref).format(), QImage::Format_Grayscale8);
        QCOMPARE(asMat(SimScene::toImage(ref)).at<uchar>(7, 9), ref.at<uchar>(7, 9));
    }
};

MONITOR_TEST_MAIN(TestSimCamera)
#include "tst_simcamera.moc"
