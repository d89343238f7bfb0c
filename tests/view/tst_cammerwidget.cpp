// Camera view object: double tap, alarm blink, paired-detection copies, mask sets, deselection, release.
#include <QPointer>

#include "cammersingleton.h"
#include "cammerwidgetrig.h"
#include "platformclock.h"
#include "testsupport.h"

namespace {

const QDateTime kT0(QDate(2026, 5, 6), QTime(8, 0, 0));

cv::Mat filled(int value)
{
    return cv::Mat(10, 10, CV_8UC1, cv::Scalar(value));
}

}  // namespace

class TestCammerWidget : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    CammerWidget* view = nullptr;

    // A tap at ms after kT0; true when it ended a drawing (the teaching page was asked).
    bool tap(qint64 ms, QPoint p)
    {
        TestSupport::clearCapturedMessages();
        PlatformClock::setNow(kT0.addMSecs(ms));
        emit view->clicked(p);
        return TestSupport::capturedMessages().join('\n').contains("double tap");
    }

    void fillDetection(CammerSingleton& s, int d)
    {
        s.roiNum[d] = 2;
        s.shapeType[d][0] = kShapeRect;
        s.rects[d][0].imageRect = QRect(10 + d, 20, 30, 40);
        s.rects[d][0].SetSelected(true);
        s.shapeType[d][1] = kShapePolygon;
        s.polygons[d][1].count = 3;
        s.polygons[d][1].SetSelected(true);
        for (int i = 0; i < 2; ++i) {
            s.func[d][i] = 4 + i + d;
            s.para1[d][i] = 100 + d;
            s.para2[d][i] = 200 + d;
            s.para3[d][i] = 300 + d;
            view->workMasks[d][i] = filled(d + 1);
        }
    }

private slots:
    void initTestCase()
    {
        rig.start(QJsonArray{QJsonObject{}});
        view = rig.view(0, 0);
        QVERIFY(view->cameraOpen);
    }

    void cleanupTestCase() { PlatformClock::resetNow(); }

    void doubleTapEndsTheDrawing()
    {
        gpWPara->continuationArea = 1;
        gSource = 0;
        rig.window->drawMode = 2;
        rig.window->handDraw = false;
        view->drawPointCount = 5;

        QVERIFY(!tap(0, QPoint(100, 100)));  // a first tap alone is no double tap
        QCOMPARE(view->drawPointCount, 5);
        QVERIFY(tap(799, QPoint(119, 119)));
        QCOMPARE(view->drawPointCount, 4);
        QVERIFY(view->polygonByDoubleClick);
        QVERIFY(TestSupport::capturedMessages().join('\n').contains("SlotDrawPloygn"));
        view->polygonByDoubleClick = false;

        QVERIFY(!tap(1599, QPoint(119, 119)));  // 800 ms: too slow, timing restarts here
        QVERIFY(!tap(2099, QPoint(139, 119)));  // 20 px in x: too far, restarts here
        QVERIFY(!tap(2599, QPoint(158, 139)));  // 19 px in x but 20 in y: restarts here
        QVERIFY(!view->polygonByDoubleClick);
        QCOMPARE(view->drawPointCount, 4);

        rig.window->drawMode = 4;
        QVERIFY(tap(2699, QPoint(158, 139)));
        QVERIFY(TestSupport::capturedMessages().join('\n').contains("SlotDrawCircle"));
        rig.window->drawMode = 2;
        rig.window->handDraw = true;
        QVERIFY(tap(2799, QPoint(158, 139)));
        QVERIFY(TestSupport::capturedMessages().join('\n').contains("SlotDrawHand"));
        QCOMPARE(view->drawPointCount, 4);
        rig.window->handDraw = false;

        rig.window->drawMode = 0;  // selecting: nothing to end
        QVERIFY(!tap(2899, QPoint(158, 139)));
        rig.window->drawMode = 1;
        gSource = 1;  // only on the template picture
        QVERIFY(!tap(2999, QPoint(158, 139)));
        gSource = 0;
        gpWPara->continuationArea = 0;
        QVERIFY(!tap(3099, QPoint(158, 139)));
        rig.window->drawMode = 0;
        gSource = -1;
    }

    void alarmBlinksUntilTheCameraIsOk()
    {
        view->cameraOk = false;
        view->blinkState = 0;
        view->timerShowAlarm->start(1000);
        view->TimerShowAlarm();
        QCOMPARE(view->blinkState, 1);
        view->TimerShowAlarm();
        QCOMPARE(view->blinkState, 0);
        view->TimerShowAlarm();
        QCOMPARE(view->blinkState, 1);
        QVERIFY(view->timerShowAlarm->isActive());
        view->cameraOk = true;
        view->TimerShowAlarm();
        QCOMPARE(view->blinkState, 0);
        QVERIFY(!view->timerShowAlarm->isActive());
    }

    void pairedDetectionsShareRegions_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<int>>("pairs");  // from, to, from, to ...
        QTest::newRow("standard") << 0 << QList<int>{0, 1};
        QTest::newRow("two-colour") << 1 << QList<int>{1, 3, 0, 2};
        QTest::newRow("turntable") << 2 << QList<int>{1, 3, 0, 2};
        QTest::newRow("multiple") << 3 << QList<int>{};
    }

    void pairedDetectionsShareRegions()
    {
        QFETCH(int, mode);
        QFETCH(QList<int>, pairs);
        CammerSingleton& s = *view->storeA;
        for (int d = 0; d < 4; ++d) {
            s.roiNum[d] = 0;
            for (int i = 0; i < 2; ++i) view->workMasks[d][i] = cv::Mat();
        }
        fillDetection(s, 0);
        fillDetection(s, 1);
        gpWPara->detectMode = mode;
        view->CopyPara();
        QSet<int> targets;
        for (int k = 0; k + 1 < pairs.size(); k += 2) {
            const int from = pairs[k];
            const int to = pairs[k + 1];
            targets << to;
            QCOMPARE(s.roiNum[to], 2);
            QCOMPARE(s.rects[to][0].imageRect, s.rects[from][0].imageRect);
            QVERIFY(!s.rects[to][0].IsSelected());
            QVERIFY(!s.polygons[to][1].IsSelected());
            QCOMPARE(s.polygons[to][1].count, 3);
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(s.shapeType[to][i], s.shapeType[from][i]);
                QCOMPARE(s.func[to][i], s.func[from][i]);
                QCOMPARE(s.para3[to][i], s.para3[from][i]);
                QCOMPARE(view->workMasks[to][i].data, view->workMasks[from][i].data);  // shared, not copied
            }
        }
        for (int d : {1, 2, 3}) {
            if (!targets.contains(d) && d > 1)
                QCOMPARE(s.roiNum[d], 0);
        }
        if (mode == 3)
            QCOMPARE(s.func[1][0], 5);
        gpWPara->detectMode = 0;
    }

    // The edit masks become the working masks, but for the detections that take their
    // partner's regions (and masks) when the parameters are shared.
    void masksRestoreExceptCopiedDetections_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("shared");
        QTest::addColumn<int>("product");
        QTest::addColumn<QList<int>>("kept");
        QTest::newRow("two-colour, shared") << 1 << 1 << 1 << QList<int>{2, 3};
        QTest::newRow("turntable, shared") << 2 << 1 << 0 << QList<int>{2, 3};
        QTest::newRow("standard, shared") << 0 << 1 << 1 << QList<int>{1, 3};
        QTest::newRow("standard, shared, no product") << 0 << 1 << 0 << QList<int>{};
        QTest::newRow("two-colour, own") << 1 << 0 << 1 << QList<int>{};
        QTest::newRow("multiple, shared") << 3 << 1 << 1 << QList<int>{};
    }

    void masksRestoreExceptCopiedDetections()
    {
        QFETCH(int, mode);
        QFETCH(int, shared);
        QFETCH(int, product);
        QFETCH(QList<int>, kept);
        gDNum = 4;
        gpWPara->detectMode = mode;
        gpWPara->sameParams = shared;
        gpWPara->detectEnabled[0] = product;
        for (int d = 0; d < 4; ++d) {
            view->workMasks[d][0] = filled(10 + d);
            view->editMasks[d][0] = filled(20 + d);
        }
        view->RestorMask();
        for (int d = 0; d < 4; ++d)
            QCOMPARE(int(view->workMasks[d][0].at<uchar>(0, 0)), kept.contains(d) ? 10 + d : 20 + d);

        view->workMasks[2][5] = filled(7);
        view->BackMask();
        QCOMPARE(view->editMasks[2][5].data, view->workMasks[2][5].data);
        gpWPara->detectMode = 0;
        gpWPara->sameParams = 0;
        gpWPara->detectEnabled[0] = 0;
        gDNum = 2;
    }

    void deselectingClearsSelectionAndTool()
    {
        CammerSingleton& b = *view->storeB;
        rig.window->curDetect = 0;
        b.roiNum[0] = 1;
        b.shapeType[0][0] = kShapeCircle;
        b.circles[0][0].SetSelected(true);
        view->setCurRoi(0);
        QCOMPARE(b.selRoi, 0);
        rig.window->drawMode = 2;
        view->drawPointCount = 3;
        view->touchState = 2;
        view->polygonActive = true;

        gpWPara->continuationArea = 1;  // continuous drawing keeps the tool and its points
        view->DeselectROI();
        QCOMPARE(rig.window->drawMode, 2);
        QCOMPARE(view->drawPointCount, 3);
        QVERIFY(!b.circles[0][0].IsSelected());
        QCOMPARE(view->curRoi, -1);
        QCOMPARE(view->touchState, 0);
        QVERIFY(!view->polygonActive);

        gpWPara->continuationArea = 0;
        view->DeselectROI();
        QCOMPARE(rig.window->drawMode, 0);
        QCOMPARE(view->drawPointCount, 0);
    }

    void destroyingAViewReleasesItsCamera()
    {
        CammerWidget* second = rig.view(1, 0);
        QVERIFY(second->cameraOpen);
        QPointer<QObject> cameraObject(second->camera);
        delete second;
        QVERIFY(cameraObject.isNull());
    }
};

MONITOR_TEST_MAIN(TestCammerWidget)
#include "tst_cammerwidget.moc"
