// Picture road of one detection: simulated camera, view grab, drawn regions, re-train, corrections and judgement.
#include <cmath>

#include <QMutexLocker>

#include <opencv2/core.hpp>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidgetrig.h"
#include "simscene.h"
#include "testsupport.h"

namespace {

constexpr int kGreyCamera = 0;
constexpr int kColourCamera = 1;
constexpr int kOddCamera = 2;
constexpr int kOddWidth = 642;
constexpr int kDet = 1;  // the mould step, the detection the factory parameters enable
const QSize kViewSize(960, 540);

// Regions as the operator draws them on the 1920 x 1080 canvas.
const QRect kDefectDisplay(QPoint(480, 270), QPoint(1439, 809));
const QRect kPositionDisplay(QPoint(300, 169), QPoint(1619, 910));
// Defaults a new region of these functions gets on the teaching page (besides the filter
// area and size of the parameters).
constexpr int kDefectSensitivity = 45;
constexpr int kPositionParas[3] = {10, 0, 1};

constexpr int kBlobRadius = 15;
const double kBlobArea = 3.14159265358979 * kBlobRadius * kBlobRadius;

// The camera's view of the scene; the defect (when asked) sits at `blob` in image pixels.
SimSceneOptions Scene(const CammerWidget* v, QPoint blob = QPoint(-1, -1))
{
    SimSceneOptions o;
    o.width = v->imageWidth;
    o.height = v->imageHeight;
    o.seed = 14;  // a light part of the texture under the blob
    o.color = v->isColor;
    o.defect = blob.x() >= 0;
    o.defectX = blob.x();
    o.defectY = blob.y();
    o.defectRadius = kBlobRadius;
    o.defectLevel = 0;
    return o;
}

// A rectangle drawn by touch: the release stores it in the edit store with its image geometry
// and mask from the shape's own conversion.
int DrawRect(CammerWidget* v, const QRect& display, int func, const int (&paras)[3])
{
    CammerSingleton& s = *v->storeB;
    const int i = s.roiNum[kDet]++;
    ClustomRect& r = s.rects[kDet][i];
    r.rect = display;
    r.setShowA(v->fullScaleX, v->fullScaleY);
    r.setImageRect();
    v->editMasks[kDet][i] = r.UpdateMask();
    s.shapeType[kDet][i] = kShapeRect;
    s.func[kDet][i] = func;
    s.para1[kDet][i] = paras[0];
    s.para2[kDet][i] = paras[1];
    s.para3[kDet][i] = paras[2];
    return i;
}

// The retraining of the periodic step (and of a committed position region).
void Retrain(CammerWidget* v)
{
    v->recognizer->CreateShape(kDet);
    v->recognizer->CreateHomoShape(kDet);
    v->recognizer->VarTrain(kDet);
}

// What the recogniser's grey conversion makes of a camera's 32-bit pixel: weights 0.299,
// 0.587, 0.114 on memory bytes 0, 1, 2 (table entries floor(i x w x 1024)).
int GreyOfBytes(const uchar* p)
{
    static const double kWeights[3] = {0.299, 0.587, 0.114};
    int sum = 0;
    for (int k = 0; k < 3; ++k) sum += int(std::floor(p[k] * kWeights[k] * 1024));
    return sum / 1024;
}

}  // namespace

class TestPictureRoad : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    CammerWidget* view = nullptr;
    int defectRoi = -1;
    int positionRoi = -1;

    // The camera's view as the main window builds it, at a size of its own on the screen.
    void Open(int camera, bool color)
    {
        gisColor = color;
        view = rig.view(camera, camera);
        QVERIFY(view->cameraOpen);
        QCOMPARE(view->isColor, color);
        QCOMPARE(view->imageBytes, view->imagePixels * (color ? 4 : 1));
        // On screen the view is smaller than the canvas the regions are drawn on.
        view->resize(kViewSize);
        QImage painted(kViewSize, QImage::Format_RGB32);
        view->render(&painted);
        QCOMPARE(view->showScaleX, float(kViewSize.width()) / float(view->imageWidth));
    }

    // Camera view of `camera` with a defect and a position region committed and template 0
    // re-sampled from a clean frame, the way the product does it.
    void Teach(int camera, bool color)
    {
        Open(camera, color);
        if (QTest::currentTestFailed())
            return;
        // Teaching page: the edit store starts as the working store; regions of an earlier
        // scenario are deleted.
        *view->storeB = *view->storeA;
        view->BackMask();
        view->storeB->roiNum[kDet] = 0;
        const int defectParas[3] = {kDefectSensitivity, gpWPara->filterArea, gpWPara->filterSize};
        defectRoi = DrawRect(view, kDefectDisplay, kFuncDefect, defectParas);
        positionRoi = DrawRect(view, kPositionDisplay, kFuncPosition, kPositionParas);
        // Commit: working store, masks, database, position model, matchers.
        *view->storeA = *view->storeB;
        view->RestorMask();
        QVERIFY(view->storeA->SaveDatatoFile());
        Retrain(view);
        for (int i : {defectRoi, positionRoi}) {
            const QRect drawn = view->storeB->rects[kDet][i].rect;
            const QRect image = view->storeA->rects[kDet][i].imageRect;
            // Each image coordinate is the display one over the scale, rounded once.
            const double sx = view->imageWidth / double(gShowW), sy = view->imageHeight / double(gShowH);
            const double errors[4] = {image.left() - drawn.left() * sx, image.top() - drawn.top() * sy,
                                      image.width() - drawn.width() * sx, image.height() - drawn.height() * sy};
            for (double e : errors)
                QVERIFY2(std::abs(e) <= 0.501, qPrintable(QString("region %1 off by %2 pixels").arg(i).arg(e)));
            QCOMPARE(view->workMasks[kDet][i].cols, image.width());
            QCOMPARE(view->workMasks[kDet][i].rows, image.height());
        }

        // Re-sampling: the next grabbed frame of the detection becomes template 0, then retraining.
        const QImage clean = SimScene::renderImage(Scene(view));
        view->pendingTemplate[kDet] = true;
        QVERIFY(Grab(clean));
        view->SaveReTrainImage(kDet);
        view->pendingTemplate[kDet] = false;
        QVERIFY(CammerWidgetRig::samePixels(view->templates[kDet][0], clean));
        const QImage file(view->DetectionDir(kDet) + "/template0.bmp");
        QCOMPARE(file.size(), clean.size());
        QVERIFY(CammerWidgetRig::samePixels(view->templates[kDet][0],
                                            color ? file.convertToFormat(QImage::Format_RGB32) : file));
        Retrain(view);
        QCOMPARE(view->recognizer->findShape[kDet].IsValid(), !color);
        QVERIFY(view->recognizer->grayMatch[kDet][defectRoi].IsValid());
    }

    // The view's own grab while detecting; the frame must arrive byte for byte.
    bool Grab(const QImage& frame)
    {
        gSource = kSourceDetecting;
        if (!CammerWidgetRig::grab(view, frame))
            return false;
        return CammerWidgetRig::samePixels(view->rawImage, frame) && CammerWidgetRig::samePixels(view->curImage, frame);
    }

    // The painted picture is the camera's frame in colour order, row for row.
    void CheckShown(const QImage& frame)
    {
        QImage painted(view->size(), QImage::Format_RGB32);
        view->render(&painted);
        const int w = view->imageWidth, h = view->imageHeight;
        for (const QPoint& p :
             {QPoint(0, 0), QPoint(w - 1, 1), QPoint(101, 37), QPoint(w / 2, h / 2), QPoint(w - 1, h - 1)})
            QCOMPARE(view->displayImage.pixel(p) & 0xFFFFFF, frame.pixel(p) & 0xFFFFFF);
        // Scaled onto the widget, every colour channel keeps its mean.
        const QImage expected = frame.convertToFormat(QImage::Format_RGB32);
        const cv::Scalar a = cv::mean(cv::Mat(painted.height(), painted.width(), CV_8UC4, painted.bits()));
        const cv::Scalar b = cv::mean(cv::Mat(expected.height(), expected.width(), CV_8UC4,
                                              const_cast<uchar*>(expected.constBits()), expected.bytesPerLine()));
        for (int c = 0; c < 3; ++c) QVERIFY2(std::abs(a[c] - b[c]) < 2, qPrintable(QString("channel %1").arg(c)));
    }

    // One detection step of the camera as the main window runs it.
    void Judge(const QImage& frame)
    {
        QVERIFY(Grab(frame));
        CheckShown(frame);
        gpWin->step = kDet;
        QCOMPARE(view->recognizer->HomoTransShape(kDet), 1);
        view->recognizer->ShapeMatch();
        view->recognizer->Run(kDet);
    }

    QRect DefectImageRect() const { return view->storeA->rects[kDet][defectRoi].imageRect; }

    // A dark blob in the middle of the defect region: NG on that region alone, value about the
    // blob's area, one box over the blob in image pixels.
    void CheckDefectFound(QImage* judged = nullptr)
    {
        const QPoint blob = DefectImageRect().center();
        const QImage frame = SimScene::renderImage(Scene(view, blob));
        if (judged)
            *judged = frame;
        Judge(frame);
        QVERIFY(!view->cameraOk);
        QVERIFY(!view->roiOk[kDet][defectRoi]);
        QVERIFY(view->roiOk[kDet][positionRoi]);
        const int value = view->roiValue[kDet][defectRoi];
        QVERIFY2(value > 0.7 * kBlobArea && value < 1.2 * kBlobArea, qPrintable(QString::number(value)));
        const auto& boxes = view->roiBoxes[kDet][defectRoi];
        QCOMPARE(boxes[0][0], 1);
        const QRect expected(blob.x() - kBlobRadius, blob.y() - kBlobRadius, 2 * kBlobRadius + 1, 2 * kBlobRadius + 1);
        const QRect box(QPoint(boxes[1][0], boxes[1][1]), QPoint(boxes[1][2] - 1, boxes[1][3] - 1));
        // The blob's soft edge and a rim of marks on the grain beside it may reach a few pixels out.
        QVERIFY2(box.contains(expected.adjusted(3, 3, -3, -3)) && expected.adjusted(-4, -4, 4, 4).contains(box),
                 qPrintable(QString("box %1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
        const cv::Mat mask = view->GrayMat(view->displayMask);
        QVERIFY(mask.at<uchar>(blob.y(), blob.x()) != 0);
        QCOMPARE(cv::countNonZero(mask), cv::countNonZero(mask(cv::Rect(box.x(), box.y(), box.width(), box.height()))));

        // The failure picture outlines the box and the failed region in red, the passed one in green.
        CammerWidgetRig::allocFailSlots(view);
        view->SaveFailImage(kDet, 0);
        const auto failPixel = [this](QPoint p) {
            QMutexLocker lock(pMutexSaveFail);
            const auto* slot =
                reinterpret_cast<const QRgb*>(gpFailImage[(view->cameraIndex * kMaxDetections + kDet) * 2]);
            return slot[p.y() * view->imageWidth + p.x()] & 0xFFFFFF;
        };
        const QRect position = view->storeA->rects[kDet][positionRoi].imageRect;
        QCOMPARE(failPixel(QPoint(box.left(), blob.y())), 0xFF0000u);
        QCOMPARE(failPixel(QPoint(DefectImageRect().left(), blob.y())), 0xFF0000u);
        QCOMPARE(failPixel(QPoint(position.left(), blob.y())), 0x00FF00u);
        QVERIFY(qGray(failPixel(blob)) < 10);
    }

    // A restart: the new view reads the regions from the database in display units and template 0
    // from its file, and its recogniser trains on them.
    void CheckRestart(int camera, bool color)
    {
        const CammerSingleton& taught = *view->storeA;
        const QRect rects[2] = {taught.rects[kDet][defectRoi].imageRect, taught.rects[kDet][positionRoi].imageRect};
        delete view;
        view = nullptr;
        Open(camera, color);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(view->storeA->roiNum[kDet], 2);
        QCOMPARE(view->storeA->rects[kDet][defectRoi].imageRect, rects[0]);
        QCOMPARE(view->storeA->rects[kDet][positionRoi].imageRect, rects[1]);
        CheckDefectFound();
    }

    void CheckClean()
    {
        Judge(SimScene::renderImage(Scene(view)));
        QVERIFY(view->cameraOk);
        QCOMPARE(view->roiValue[kDet][defectRoi], 0);
        QCOMPARE(view->roiBoxes[kDet][defectRoi][0][0], 0);
    }

    // The part moved a few pixels and turned 2 degrees: position correction brings it back.
    void CheckMoved()
    {
        SimSceneOptions moved = Scene(view);
        moved.shiftX = 5;
        moved.shiftY = -4;
        moved.rotation = 2.0;
        const QImage frame = SimScene::renderImage(moved);
        Judge(frame);
        QVERIFY2(view->cameraOk, qPrintable(QString::number(view->roiValue[kDet][defectRoi])));
        QVERIFY(view->roiValue[kDet][defectRoi] <= gpWPara->filterArea);

        gpWPara->motionCorrect = -1;
        Judge(frame);
        gpWPara->motionCorrect = 0;
        QVERIFY(!view->cameraOk);
        QVERIFY(view->roiValue[kDet][defectRoi] > gpWPara->filterArea);
    }

    // A tilted view of the part: the perspective correction alone brings it back.
    void CheckTilted()
    {
        SimSceneOptions tilted = Scene(view);
        tilted.perspective = 0.02;
        const QImage frame = SimScene::renderImage(tilted);
        gpWPara->motionCorrect = -1;
        gpWPara->angleCorrect = 1;
        Retrain(view);
        Judge(frame);
        const bool corrected = view->cameraOk;
        gpWPara->angleCorrect = 0;
        Judge(frame);
        gpWPara->motionCorrect = 0;
        QVERIFY2(corrected, qPrintable(QString::number(view->roiValue[kDet][defectRoi])));
        QVERIFY(!view->cameraOk);
    }

private slots:
    void initTestCase()
    {
        rig.start(QJsonArray{QJsonObject{}, QJsonObject{{"color", true}}, QJsonObject{{"width", kOddWidth}}});
        numCamera = 3;  // as the main window counts the cameras it opened: every view paints
        // Factory parameters as the main window loads them; rotation allowed by the operator.
        WizardPara& p = *gpWPara;
        p.LoadDatafromFile();
        QVERIFY(p.detectEnabled[kDet]);
        p.matchAngle = 10;
        gisGrayHue = true;
    }

    void cleanup()
    {
        delete view;
        view = nullptr;
        gisColor = false;
    }

    // One camera per row; the colour one (B,G,R,A frames) is judged on its grey conversion, the
    // 642-pixel one has rows that Qt pads to 644 and the camera and the recogniser must not.
    void judgesDefectCleanAndMovedFrames_data()
    {
        QTest::addColumn<int>("camera");
        QTest::addColumn<bool>("color");
        QTest::addColumn<int>("width");
        QTest::newRow("grey 640 x 480") << kGreyCamera << false << 640;
        QTest::newRow("colour 640 x 480") << kColourCamera << true << 640;
        QTest::newRow("grey 642 x 480") << kOddCamera << false << kOddWidth;
    }

    void judgesDefectCleanAndMovedFrames()
    {
        QFETCH(int, camera);
        QFETCH(bool, color);
        QFETCH(int, width);
        Teach(camera, color);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(view->imageWidth, width);
        QImage frame;
        CheckDefectFound(&frame);
        if (color) {
            // The recogniser's grey conversion reads the camera's bytes in their memory order.
            QCOMPARE(frame.format(), QImage::Format_RGB32);
            for (int y = 0; y < frame.height(); y += 7) {
                const uchar* row = frame.constScanLine(y);
                for (int x = 0; x < frame.width(); x += 5) {
                    if (view->grayImage[y * frame.width() + x] != GreyOfBytes(row + 4 * x))
                        QFAIL(qPrintable(QString("grey of (%1, %2)").arg(x).arg(y)));
                }
            }
        }
        CheckClean();
        // Position and perspective correction work on grey cameras only.
        if (!color) {
            CheckMoved();
            CheckTilted();
        }
        CheckRestart(camera, color);
    }
};

MONITOR_TEST_MAIN(TestPictureRoad)
#include "tst_picture_road.moc"
