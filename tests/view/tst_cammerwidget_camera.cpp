// Camera view and its camera: construction order, a camera that does not open, grabbing by source, setters, loss.
// ctest-timeout: 120
#include <cstring>
#include <memory>

#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "cammerwidgetrig.h"
#include "platformclock.h"
#include "testsupport.h"

namespace {

// The settings object of a recorded "setParams {...}" call.
QJsonObject settingsOf(const QString& call)
{
    return QJsonDocument::fromJson(call.mid(call.indexOf(' ') + 1).toUtf8()).object();
}

QList<QStringList> records()
{
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName("RECORD.db");
        db.open();
        QSqlQuery q(db);
        q.exec("select recordtime, recordpassword, remarks, recordtype from RECORD");
        while (q.next())
            rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                q.value(3).toString()};
    }
    QSqlDatabase::removeDatabase("check");
    return rows;
}

}  // namespace

class TestCammerWidgetCamera : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    CammerWidget* view = nullptr;

    // The camera was told to mirror vertically: that is how a served picture arrives.
    static QImage arriving(const QImage& picture) { return picture.mirrored(false, true); }

    QJsonObject expectedSettings() const
    {
        return QJsonObject{{"exposetime", 111}, {"gain", 22},  {"contrast", 33},  {"sharp", 44},
                           {"gammma", 55},      {"WDR", true}, {"VMirror", true}, {"HMirror", false},
                           {"sysUsage", false}, {"speed", 7}};
    }

private slots:
    void initTestCase()
    {
        QJsonObject defaults{{"exposeTime", 300}, {"adjustPlus", 12}, {"gamma", 80}, {"contrast", 60}, {"sharp", 5},
                             {"isHMirror", 1},    {"isVMirror", 1},   {"speed", 3},  {"sysUsage", 1},  {"isWDR", 1}};
        rig.start(QJsonArray{QJsonObject{{"defaults", defaults}}, QJsonObject{{"openFails", true}}});
        WizardPara& p = *gpWPara;
        p.exposeTime[0] = 111;
        p.adjustPlus[0] = 22;
        p.contrast[0] = 33;
        p.sharp[0] = 44;
        p.gamma[0] = 55;
        p.autoShading = 1;
        p.vMirror[0] = 1;
        p.hMirror[0] = 0;
        p.speed = 7;
        view = rig.view(0, 0);
    }

    void init() { TestSupport::clearCapturedMessages(); }

    // The camera is prepared before it grabs, and gets the full settings again once the
    // regions are known.
    void constructionSendsTheCameraCallsInOrder()
    {
        QVERIFY(view->cameraOpen);
        QVERIFY(view->simulated);
        QCOMPARE(view->imageWidth, 640);
        QCOMPARE(view->imageHeight, 480);
        QCOMPARE(view->imageBytes, 640 * 480);
        QCOMPARE(view->fullScaleX, 3.0f);
        QCOMPARE(view->fullScaleY, 2.25f);
        QCOMPARE(QString::fromUtf8(view->cameraSerial), QString("SIMCAM01"));

        const QStringList calls = CammerWidgetRig::control(view)->recordedCalls();
        QCOMPARE(calls.size(), 7);
        QCOMPARE(calls[0], QString("setColorMode false"));
        QCOMPARE(calls[1], QString("openCamera"));
        QCOMPARE(calls[2], QString("getImageSize"));
        QVERIFY(calls[3].startsWith("setParams "));
        QVERIFY2(calls[4].startsWith("setExtendParam CammerSingleton"), qPrintable(calls[4]));
        QVERIFY(calls[4].endsWith(" 0"));
        QCOMPARE(calls[5], QString("startGrab"));
        QVERIFY(calls[6].startsWith("setParams "));
        QCOMPARE(settingsOf(calls[3]), expectedSettings());
        QCOMPARE(settingsOf(calls[6]), expectedSettings());
        QVERIFY(view->timerFps->isActive());
        QVERIFY(!view->timerShowAlarm->isActive());
        QVERIFY(view->storeA && view->storeB && view->recognizer);
    }

    void cameraThatDoesNotOpenIsReleased()
    {
        std::unique_ptr<CammerWidget> failed(rig.view(1, 1));
        QVERIFY(!failed->cameraOpen);
        QVERIFY(!failed->camera);
        QVERIFY(!failed->rawImage && !failed->curImage && !failed->storeA && !failed->timerFps);
        QVERIFY(!failed->UpdateImage());
        QCOMPARE(failed->frameCount, qint64(0));
        QVERIFY(!failed->CameraStart());
        failed->SetSpeed();
        failed->SaveFailImage(0, 0);
        failed->SaveReTrainImage(0);
        const QString log = TestSupport::capturedMessages().join('\n');
        QVERIFY2(log.contains("camera open fail") && log.contains("camera NO ") && log.contains("SIMCAM02"),
                 qPrintable(log));

        // A description whose serial fills the whole block: the view's copy still ends.
        _cameraInfo unknown;
        unknown.pluginName = "NoSuchPlugin";
        std::memset(unknown.serialNumber, 'A', sizeof(unknown.serialNumber));
        std::unique_ptr<CammerWidget> orphan(new CammerWidget(rig.window, 2, unknown));
        QVERIFY(!orphan->cameraOpen && !orphan->camera);
        QCOMPARE(int(std::strlen(orphan->cameraSerial)), kCameraSerialBytes - 1);
    }

    void grabbingFollowsTheImageSource()
    {
        const QDateTime t0(QDate(2026, 3, 4), QTime(10, 0, 0));
        PlatformClock::setNow(t0);
        // Shared with the later cases: given back however this one ends.
        const auto restore = qScopeGuard([this] {
            gpWPara->externalTrigger = 0;
            gpWPara->holdImageAfterAlarm = 0;
            rig.window->pageState = 0;
            PlatformClock::resetNow();
        });
        std::memset(view->curImage, 0, size_t(view->imageBytes));
        const qint64 before = view->frameCount;

        // Template source: the frame is counted, not shown.
        gSource = 0;
        const QImage first = CammerWidgetRig::pattern(640, 480, 1);
        QVERIFY(CammerWidgetRig::grab(view, first));
        QCOMPARE(view->frameCount, before + 1);
        QVERIFY(CammerWidgetRig::samePixels(view->rawImage, arriving(first)));
        QCOMPARE(view->frameShownTime, qint64(0));
        QCOMPARE(int(view->curImage[12345]), 0);

        // Live: shown and stamped.
        gSource = 1;
        const QImage second = CammerWidgetRig::pattern(640, 480, 2);
        QVERIFY(CammerWidgetRig::grab(view, second));
        QCOMPARE(view->frameCount, before + 2);
        QVERIFY(CammerWidgetRig::samePixels(view->curImage, arriving(second)));
        QCOMPARE(view->frameShownTime, t0.toMSecsSinceEpoch());

        // Live, failed grab: the previous frame is shown again and stamped.
        PlatformClock::setNow(t0.addSecs(1));
        std::memset(view->curImage, 9, size_t(view->imageBytes));
        CammerWidgetRig::control(view)->failGrabs(1);
        QVERIFY(!view->UpdateImage());
        QCOMPARE(view->frameCount, before + 2);
        QVERIFY(CammerWidgetRig::samePixels(view->curImage, arriving(second)));
        QCOMPARE(view->frameShownTime, t0.addSecs(1).toMSecsSinceEpoch());

        // External trigger, or a held alarm picture: not shown even while running.
        gSource = -1;
        std::memset(view->curImage, 9, size_t(view->imageBytes));
        gpWPara->externalTrigger = 1;
        QVERIFY(CammerWidgetRig::grab(view, first));
        QCOMPARE(int(view->curImage[0]), 9);
        gpWPara->externalTrigger = 0;
        gpWPara->holdImageAfterAlarm = 1;
        rig.window->pageState = 2;
        QVERIFY(CammerWidgetRig::grab(view, first));
        QCOMPARE(int(view->curImage[0]), 9);
        QCOMPARE(view->frameShownTime, qint64(0));
        rig.window->pageState = 0;
        gpWPara->holdImageAfterAlarm = 0;
        PlatformClock::resetNow();
    }

    void settersStopTheCameraOnlyWhereNeeded()
    {
        SimCameraControl* control = CammerWidgetRig::control(view);
        control->clearRecordedCalls();
        view->SetSpeed();
        view->SetHMirror();
        view->SetWDR();
        view->SetExposeTime();
        view->SetWB();  // grey camera: no white balance
        view->CameraChangeTrig(true);
        view->CameraChangeTrig(false);
        QCOMPARE(control->recordedCalls(),
                 QStringList({"stopGrab", "setSpeed 7", "startGrab", "stopGrab", "setHMirror false", "startGrab",
                              "stopGrab", "setWDR true", "startGrab", "setExposeTime 111", "setTriggerMode true",
                              "setTriggerMode false"}));
    }

    void defaultsAreReadBackIntoTheEditedRecord()
    {
        WizardPara& bak = *gpWParaBak;
        bak.hMirror[0] = 0;
        bak.externalTrigger = 0;
        bak.autoShading = 0;
        view->RestoreDefaultSettings();
        QCOMPARE(bak.exposeTime[0], 300);
        QCOMPARE(bak.adjustPlus[0], 12);
        QCOMPARE(bak.gamma[0], 80);
        QCOMPARE(bak.contrast[0], 60);
        QCOMPARE(bak.sharp[0], 5);
        QCOMPARE(bak.speed, 3);
        QCOMPARE(bak.hMirror[0], 0);
        QCOMPARE(bak.externalTrigger, 0);
        QCOMPARE(bak.autoShading, 0);
        QCOMPARE(gpWPara->exposeTime[0], 111);
    }

    // Reconnection fails twice and then succeeds; a second loss reported from the camera's
    // own thread while the view waits starts no second loop and no second record.
    void lostCameraIsRecoveredOnce()
    {
        SimCameraControl* control = CammerWidgetRig::control(view);
        control->setReconnectTries(3);
        control->clearRecordedCalls();
        QVERIFY(records().isEmpty());
        bool disconnectedMeanwhile = false;
        QTimer::singleShot(1500, [&] {
            disconnectedMeanwhile = !view->cameraConnected;
            control->loseCamera(true);
        });
        control->loseCamera(false);  // returns once the view has reconnected

        QVERIFY(disconnectedMeanwhile);
        QVERIFY(view->cameraConnected);
        QCOMPARE(view->lostCount, 1);
        const QList<QStringList> rows = records();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][2], QString("Camera 1 lost for the 1 time!"));
        QCOMPARE(rows[0][3], QString("info"));

        const QStringList calls = control->recordedCalls();
        QCOMPARE(calls.first(), QString("handleLost"));
        QCOMPARE(calls.count("handleLost"), 1);
        QVERIFY(calls.count("reconnect") >= 3);
        QCOMPARE(calls.last(),
                 QStringLiteral("setParams %1")
                     .arg(QString::fromUtf8(QJsonDocument(expectedSettings()).toJson(QJsonDocument::Compact))));
        QCOMPARE(calls.count(calls.last()), 1);
        QVERIFY(TestSupport::capturedMessages().join('\n').contains("reported lost again while reconnecting"));

        gSource = 1;
        const QImage after = CammerWidgetRig::pattern(640, 480, 5);
        QVERIFY(CammerWidgetRig::grab(view, after));
        QVERIFY(CammerWidgetRig::samePixels(view->curImage, arriving(after)));
        gSource = -1;
    }

    void secondLossIsCountedAsSuch()
    {
        SimCameraControl* control = CammerWidgetRig::control(view);
        control->setReconnectTries(1);
        control->loseCamera(false);
        QCOMPARE(view->lostCount, 2);
        QCOMPARE(records().last()[2], QString("Camera 1 lost for the 2 time!"));
    }

    void manualTriggerOnlyForSimulatedCameras()
    {
        SimCameraControl* control = CammerWidgetRig::control(view);
        const int before = control->softTriggerCount();
        view->ManualUpdateImage();
        QCOMPARE(control->softTriggerCount(), before + 1);
        view->simulated = false;
        view->ManualUpdateImage();
        QCOMPARE(control->softTriggerCount(), before + 1);
        view->simulated = true;
    }

    void closingStopsEveryCameraOperation()
    {
        SimCameraControl* control = CammerWidgetRig::control(view);
        view->CameraClose();
        QVERIFY(!view->cameraOpen);
        control->clearRecordedCalls();
        view->SetSpeed();
        view->SetGamma();
        view->CameraStop();
        QVERIFY(!view->CameraStart());
        QVERIFY(control->recordedCalls().isEmpty());
    }
};

MONITOR_TEST_MAIN(TestCammerWidgetCamera)
#include "tst_cammerwidget_camera.moc"
