// Region teaching on a camera view by touch: drawing, limits, freehand areas, picking, moving, deleting, the parameter
// panel.
#include <QMouseEvent>
#include <QRegularExpression>

#include "cammersingleton.h"
#include "cammerwidgetrig.h"
#include "choosebox.h"
#include "combobox.h"
#include "mainstate.h"
#include "modalanswerer.h"
#include "roiparampanel.h"
#include "slider.h"
#include "testsupport.h"
#include "warnbox.h"

namespace {

constexpr int kCamW = 640;  // display units per image pixel: 3 across, 2.25 down
constexpr int kCamH = 480;

void send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(p), type == QEvent::MouseButtonRelease ? Qt::LeftButton : Qt::NoButton, held,
                      Qt::NoModifier);
    if (type == QEvent::MouseButtonPress)
        event = QMouseEvent(type, QPointF(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

QString entry(int n)
{
    return gaLanStr[n * kLanColumns + gLan];
}

}  // namespace

class TestRegionEditing : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    CammerWidget* view = nullptr;
    CammerSingleton* s = nullptr;

    void press(QPoint p) { send(view, QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void move(QPoint p) { send(view, QEvent::MouseMove, p, Qt::LeftButton); }
    void release(QPoint p) { send(view, QEvent::MouseButtonRelease, p, Qt::NoButton); }
    void drag(QPoint from, QPoint to)
    {
        press(from);
        move(to);
        release(to);
    }

    void clearDetection(int d)
    {
        view->DeselectROI();
        s->roiNum[d] = 0;
        view->curRoi = -1;
        view->moveMode = 0;
    }

    // Region i of detection d as a rectangle with display corners tl and br.
    void putRect(int d, int i, QPoint tl, QPoint br, int func = 6)
    {
        s->shapeType[d][i] = kShapeRect;
        s->rects[d][i] = ClustomRect();
        s->rects[d][i].rect = QRect(tl, br);
        s->rects[d][i].setShowA(view->fullScaleX, view->fullScaleY);
        s->rects[d][i].setImageRect();
        view->editMasks[d][i] = s->rects[d][i].UpdateMask();
        s->func[d][i] = func;
        s->para1[d][i] = 40;
        s->para2[d][i] = 100;
        s->para3[d][i] = 0;
        s->roiNum[d] = std::max(s->roiNum[d], i + 1);
    }

    void select(int i)
    {
        view->setCurRoi(i);
        s->rects[gpState->curDetect][i].SetSelected(true);
        view->ShowHideROIPara();
    }

private slots:
    void initTestCase()
    {
        rig.start(QJsonArray{QJsonObject{}});
        view = rig.view(0, 0);
        QVERIFY(view->cameraOpen);
        QCOMPARE(view->imageWidth, kCamW);
        QVERIFY(view->panel);
        s = view->storeB;
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
        view->resize(gShowW, gShowH);
        view->show();
        numCamera = 1;
        gSource = 0;
        gpState->pageState = 3;
        gpState->viewCamera = 0;
        gpState->curDetect = 0;
        gpWPara->spotDetect = 1;
        gpWPara->colorSpot = 1;
    }

    // A dragged rectangle becomes the next region of the edit store, with the first enabled
    // function's defaults; small, backwards and over-limit drags create nothing.
    void rectangleDrawing()
    {
        clearDetection(0);
        const int workingBefore = view->storeA->roiNum[0];
        gpState->drawMode = 1;
        drag(QPoint(100, 100), QPoint(200, 180));
        QCOMPARE(s->roiNum[0], 1);
        QCOMPARE(s->shapeType[0][0], kShapeRect);
        QCOMPARE(s->rects[0][0].rect, QRect(QPoint(100, 100), QPoint(200, 180)));
        QCOMPARE(s->func[0][0], 1);
        QCOMPARE(s->para1[0][0], 80);
        QCOMPARE(s->para2[0][0], 500);
        QCOMPARE(s->para3[0][0], 12800);
        QCOMPARE(view->curRoi, 0);
        QVERIFY(s->rects[0][0].IsSelected());
        QCOMPARE(gpState->drawMode, 0);  // one shape per press of the tool
        QCOMPARE(view->editMasks[0][0].cols, s->rects[0][0].imageRect.width());
        QCOMPARE(view->storeA->roiNum[0], workingBefore);  // nothing committed
        QVERIFY(!view->panel->sliderSensitivity->isHidden());
        QCOMPARE(view->hintY, 100 - 26);

        // Drawn as a quadrilateral: the corners in order round the rectangle, its mask filled.
        gpWPara->rectToQuad = 1;
        gpState->drawMode = 1;
        drag(QPoint(600, 300), QPoint(900, 525));
        gpWPara->rectToQuad = 0;
        QCOMPARE(s->roiNum[0], 2);
        QCOMPARE(s->shapeType[0][1], kShapePolygon);
        const RePolygon& quad = s->polygons[0][1];
        QCOMPARE(quad.count, 4);
        QVERIFY(!quad.getHand());
        const QPoint corners[4] = {{600, 300}, {900, 300}, {900, 525}, {600, 525}};
        for (int k = 0; k < 4; ++k) QCOMPARE(quad.points[k], corners[k]);
        QVERIFY(cv::countNonZero(view->editMasks[0][1]) > 0.9 * view->editMasks[0][1].total());
        view->DeleteROI(1);

        gpState->drawMode = 1;
        drag(QPoint(300, 300), QPoint(309, 400));  // 9 units wide
        gpState->drawMode = 1;
        drag(QPoint(500, 500), QPoint(400, 400));  // up-left
        gpState->drawMode = 1;
        press(QPoint(700, 700));  // press and release without a move
        release(QPoint(700, 700));
        QCOMPARE(s->roiNum[0], 1);
        QCOMPARE(gpState->drawMode, 0);

        // The second region copies the function and parameters of the one before it.
        s->para1[0][0] = 33;
        gpState->drawMode = 4;
        drag(QPoint(800, 300), QPoint(900, 420));
        QCOMPARE(s->roiNum[0], 2);
        QCOMPARE(s->shapeType[0][1], kShapeCircle);
        QCOMPARE(s->circles[0][1].r, 50);
        QCOMPARE(s->para1[0][1], 33);
        QVERIFY(!s->rects[0][0].IsSelected());

        for (int i = 2; i < 100; ++i) putRect(0, i, QPoint(10 + i, 10), QPoint(40 + i, 40));
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        gpState->drawMode = 1;
        drag(QPoint(1000, 600), QPoint(1100, 700));
        QTRY_COMPARE(answerer.pendingAnswers(), 0);
        QCOMPARE(answerer.texts(), QStringList{entry(36)});
        QCOMPARE(s->roiNum[0], 100);

        // Nor a clicked polygon: the warning, and the points are not taken.
        answerer.clearShown();
        answerer.answer(ModalAnswerer::Confirm);
        gpState->drawMode = 2;
        gpState->handDraw = false;
        for (const QPoint& p : {QPoint(1200, 600), QPoint(1400, 620), QPoint(1300, 800)}) {
            press(p);
            release(p);
        }
        const RePolygon next = s->polygons[1][0];
        view->SavePolygon();
        QTRY_COMPARE(answerer.pendingAnswers(), 0);
        QCOMPARE(answerer.texts(), QStringList{entry(36)});
        QCOMPARE(s->roiNum[0], 100);
        QCOMPARE(std::memcmp(&s->polygons[1][0], &next, sizeof next), 0);
        // Nor a copy: the warning once confirmed, nothing written past the last region.
        answerer.clearShown();
        answerer.answer({ModalAnswerer::Yes, ModalAnswerer::Confirm});
        const QRect beyond = s->rects[1][0].rect;
        view->SlotCopyArea(QPoint(1000, 500));
        QTRY_COMPARE(answerer.pendingAnswers(), 0);
        QCOMPARE(answerer.texts(), (QStringList{entry(38), entry(36)}));
        QCOMPARE(s->roiNum[0], 100);
        QCOMPARE(s->rects[1][0].rect, beyond);
        gpState->drawMode = 0;
        view->drawPointCount = 0;
        view->touchState = 0;
        view->polygonActive = false;
    }

    // The pixel under the finger: widget position through the pan and zoom into the picture.
    void pixelReadout_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<QPoint>("touch");
        QTest::addColumn<QPoint>("pixel");
        QTest::newRow("whole picture") << 1.0 << QPoint(0, 0) << QPoint(1500, 300) << QPoint(500, 133);
        QTest::newRow("zoomed and panned") << 2.0 << QPoint(-100, -50) << QPoint(700, 500) << QPoint(133, 122);
        QTest::newRow("past the right edge") << 1.0 << QPoint(0, 0) << QPoint(1925, 300) << QPoint(641, 133);
    }

    void pixelReadout()
    {
        QFETCH(double, zoom);
        QFETCH(QPoint, offset);
        QFETCH(QPoint, touch);
        QFETCH(QPoint, pixel);
        for (int y = 0; y < kCamH; ++y)
            for (int x = 0; x < kCamW; ++x) view->curImage[y * kCamW + x] = uchar((x + 3 * y) & 0xFF);
        gpState->zoomFactor = zoom;
        gpState->zoomOffsetX = offset.x();
        gpState->zoomOffsetY = offset.y();
        gpState->pixelValue = -1;
        view->MUpdateXYV(touch.x(), touch.y());
        QCOMPARE(QPoint(gpState->pixelX, gpState->pixelY), pixel);
        const bool inside = pixel.x() < kCamW && pixel.y() < kCamH;
        QCOMPARE(gpState->pixelValue, inside ? (pixel.x() + 3 * pixel.y()) & 0xFF : -1);
        gpState->zoomFactor = 1.0;
        gpState->zoomOffsetX = 0;
        gpState->zoomOffsetY = 0;
    }

    // A freehand gesture of five points is dropped; six make a hand-drawn polygon, stored as 258.
    void freehandArea()
    {
        clearDetection(0);
        putRect(0, 0, QPoint(100, 100), QPoint(300, 300));
        gpState->drawMode = 2;
        gpState->handDraw = true;
        press(QPoint(600, 600));
        for (int k = 1; k <= 5; ++k) move(QPoint(600 + 40 * k, 600 + (k % 2) * 60));
        release(QPoint(800, 600));
        QCOMPARE(s->roiNum[0], 1);
        QCOMPARE(view->drawPointCount, 0);
        QCOMPARE(gpState->drawMode, 0);

        gpState->drawMode = 2;
        press(QPoint(600, 600));
        const QPoint gesture[6] = {{600, 600}, {800, 610}, {900, 700}, {850, 850}, {700, 880}, {620, 760}};
        for (const QPoint& p : gesture) move(p);
        release(QPoint(620, 760));
        QCOMPARE(s->roiNum[0], 2);
        QCOMPARE(s->shapeType[0][1], kShapePolygon);
        QCOMPARE(s->polygons[0][1].count, 6);
        QVERIFY(s->polygons[0][1].getHand());
        QCOMPARE(s->func[0][1], s->func[0][0]);
        QCOMPARE(view->curRoi, 1);
        QVERIFY(!view->editMasks[0][1].empty());
        QVERIFY(cv::countNonZero(view->editMasks[0][1]) > 0);
        gpState->handDraw = false;

        QVERIFY(s->SaveDatatoFile(rig.window->queryIn));
        QSqlQuery q(rig.window->dbIn);
        QVERIFY(q.exec("select value from cammer0 where name='ROI0-1'"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString().split(' ').value(4), QString("258"));
    }

    // Picking prefers the selected region; the switch button cycles through the others under
    // the touch; a press on a region drags it in steps of whole image pixels.
    void pickingAndMoving()
    {
        clearDetection(0);
        putRect(0, 0, QPoint(300, 300), QPoint(600, 600));
        putRect(0, 1, QPoint(400, 400), QPoint(700, 700));
        view->setCurRoi(1);
        QVERIFY(view->PtInRect(QPoint(500, 500)));
        QCOMPARE(view->curRoi, 1);
        s->rects[0][1].SetSelected(true);
        view->SlotNextROI();
        QCOMPARE(view->curRoi, 0);
        QVERIFY(s->rects[0][0].IsSelected());
        QVERIFY(!s->rects[0][1].IsSelected());

        // A press outside the selection only deselects.
        gpState->drawMode = 0;
        press(QPoint(1500, 900));
        release(QPoint(1500, 900));
        QCOMPARE(view->curRoi, -1);
        QCOMPARE(view->lastRoi, 0);
        QVERIFY(view->panel->sliderSensitivity->isHidden());

        // Select region 1 by pressing in it and drag it: 2 units (under 3 image pixels) do
        // nothing, the next 6 units move it by the whole distance from the press.
        press(QPoint(650, 650));
        QCOMPARE(view->curRoi, 1);
        move(QPoint(652, 650));
        QCOMPARE(s->rects[0][1].rect.topLeft(), QPoint(400, 400));
        move(QPoint(659, 650));
        release(QPoint(659, 650));
        QCOMPARE(s->rects[0][1].rect.topLeft(), QPoint(409, 400));
        QCOMPARE(s->rects[0][1].imageRect.left(), 136);

        // Fine steps: the top-left corner one unit left; the move buttons one unit down.
        view->curPoint = 0;
        view->SlotAdd1();
        QCOMPARE(s->rects[0][1].rect.left(), 408);
        view->SlotMoveB();
        QCOMPARE(s->rects[0][1].rect.top(), 401);

        // Moving every region stops as a whole when a polygon would leave the view.
        const QPoint tri[3] = {{5, 500}, {100, 450}, {100, 550}};
        s->polygons[0][2] = RePolygon(3, tri);
        s->shapeType[0][2] = kShapePolygon;
        s->roiNum[0] = 3;
        view->moveMode = 2;
        view->SlotMove(-3, 0);
        QCOMPARE(s->rects[0][0].rect.left(), 300);
        QCOMPARE(s->polygons[0][2].points[0].x(), 5);
        view->SlotMove(-2, 0);
        QCOMPARE(s->rects[0][0].rect.left(), 298);
        QCOMPARE(s->polygons[0][2].points[0].x(), 3);
        view->moveMode = 0;
    }

    // Deleting checks the index before touching ignore points and stays inside the picture.
    // The judgement keeps the working store's numbering until the commit: the edit store's
    // regions show the verdict and value of the region they stand for, a new one shows none,
    // and the commit moves verdict, value and blobs together to the new numbers.
    void deleting()
    {
        clearDetection(0);
        putRect(0, 0, QPoint(300, 225), QPoint(599, 449));  // image (100, 100)-(199, 199)
        putRect(0, 1, QPoint(900, 450), QPoint(1349, 674));  // wider: a mask of its own size
        putRect(0, 2, QPoint(1500, 900), QPoint(1910, 1070));
        for (int i = 0; i < 3; ++i) {
            s->func[0][i] = 4 + i;
            s->para1[0][i] = 10 + i;
            s->para2[0][i] = 20 + i;
            s->para3[0][i] = 30 + i;
        }
        *view->storeA = *s;
        view->ResetEditLabels();
        view->RestorMask();
        for (int i = 0; i < 3; ++i) {
            view->roiValue[0][i] = 10 * (i + 1);
            view->roiOk[0][i] = i != 1;
            view->roiBoxes[0][i][0][0] = i;
        }
        view->BackMask();  // the page opens on the working store
        // A stale rectangle reaching past the picture.
        s->rects[0][2].imageRect = QRect(QPoint(600, 400), QPoint(900, 700));
        unsigned char* ignore = view->ignoreMask[0];
        std::memset(ignore, 255, size_t(view->imagePixels));

        s->rects[0][5].imageRect = QRect(0, 0, kCamW, kCamH);
        view->DeleteROI(5);
        QCOMPARE(s->roiNum[0], 3);
        QCOMPARE(int(ignore[0]), 255);

        view->DeleteROI(2);
        QCOMPARE(s->roiNum[0], 2);
        QCOMPARE(int(ignore[479 * kCamW + 639]), 0);
        QCOMPARE(int(ignore[399 * kCamW + 599]), 255);

        view->DeleteROI(0);
        QCOMPARE(s->roiNum[0], 1);
        QCOMPARE(int(ignore[150 * kCamW + 150]), 0);
        QCOMPARE(int(ignore[99 * kCamW + 150]), 255);
        QCOMPARE(s->rects[0][0].rect.topLeft(), QPoint(900, 450));
        QCOMPARE(s->func[0][0], 5);
        QCOMPARE(s->para1[0][0], 11);
        QCOMPARE(s->para2[0][0], 21);
        QCOMPARE(s->para3[0][0], 31);
        QCOMPARE(view->ShownValue(*s, 0, 0), 20);
        QVERIFY(!view->ShownOk(*s, 0, 0));
        QCOMPARE(view->roiValue[0][0], 10);
        QVERIFY(view->roiOk[0][0] && !view->roiOk[0][1]);
        QCOMPARE(view->ShownValue(*view->storeA, 0, 1), 20);

        // A region drawn in place of the deleted ones, then the commit.
        putRect(0, 1, QPoint(60, 60), QPoint(300, 300));
        view->MarkNewRegion(0, 1);
        QCOMPARE(view->ShownValue(*s, 0, 1), 0);
        QVERIFY(view->ShownOk(*s, 0, 1));
        QVERIFY(!view->roiOk[0][1]);
        *view->storeA = *s;
        view->RestorMask();
        QCOMPARE(view->roiValue[0][0], 20);
        QVERIFY(!view->roiOk[0][0]);
        QCOMPARE(view->roiBoxes[0][0][0][0], 1);
        QCOMPARE(view->roiValue[0][1], 0);
        QVERIFY(view->roiOk[0][1]);
        QCOMPARE(view->roiBoxes[0][1][0][0], 0);
        QCOMPARE(view->ShownValue(*s, 0, 0), 20);
        // The region that moved up and the new one are judged inside their own masks from the commit on.
        for (int i = 0; i < 2; ++i) {
            const cv::Mat own = s->rects[0][i].UpdateMask();
            QCOMPARE(view->workMasks[0][i].cols, own.cols);
            QCOMPARE(cv::countNonZero(view->workMasks[0][i] != own), 0);
        }
        std::memset(ignore, 0, size_t(view->imagePixels));
        view->SaveIgnorePoint(0);
        view->roiOk[0][0] = true;
    }

    // Clicked polygons collect one vertex per press until the page closes them; copies land
    // where the operator points once confirmed; circles step their radii.
    void clickedPolygonCopyAndSteps()
    {
        clearDetection(0);
        QCOMPARE(view->getPointsCenter(), QPoint(499999, 499999));
        gpState->drawMode = 2;
        gpState->handDraw = false;
        for (const QPoint& p : {QPoint(400, 400), QPoint(800, 420)}) {
            press(p);
            release(p);
        }
        QCOMPARE(view->drawPointCount, 2);
        QCOMPARE(view->touchState, 1);
        view->SavePolygon();  // two points make no area
        QCOMPARE(view->drawPointCount, 0);
        QCOMPARE(s->roiNum[0], 0);
        for (const QPoint& p : {QPoint(400, 400), QPoint(800, 420), QPoint(600, 700)}) {
            press(p);
            release(p);
        }
        QCOMPARE(view->getPointsCenter(), QPoint(600, 550));
        view->SavePolygon();
        QCOMPARE(s->roiNum[0], 1);
        QCOMPARE(s->polygons[0][0].count, 3);
        QVERIFY(!s->polygons[0][0].getHand());
        QCOMPARE(gpState->drawMode, 0);
        QCOMPARE(view->curRoi, 0);

        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::No, ModalAnswerer::Yes});
        view->SlotCopyArea(QPoint(1000, 500));
        QCOMPARE(s->roiNum[0], 1);
        view->SlotCopyArea(QPoint(1000, 500));
        QCOMPARE(s->roiNum[0], 2);
        QCOMPARE(answerer.texts(), QStringList({entry(38), entry(38)}));
        QCOMPARE(s->polygons[0][1].points[0], QPoint(1000, 500));
        QCOMPARE(s->polygons[0][1].points[2], QPoint(1200, 800));
        QCOMPARE(view->curRoi, 1);
        QVERIFY(s->polygons[0][1].IsSelected());
        QVERIFY(!s->polygons[0][0].IsSelected());

        // Copy mode: the next press copies instead of selecting.
        gpState->copyMode = true;
        answerer.answer(ModalAnswerer::Yes);
        press(QPoint(300, 300));
        release(QPoint(300, 300));
        QCOMPARE(s->roiNum[0], 3);
        QVERIFY(!gpState->copyMode);

        view->DeselectROI();
        s->shapeType[0][2] = kShapeCircle;
        s->circles[0][2].rect = QRect(QPoint(1300, 300), QPoint(1499, 499));
        s->circles[0][2].UpdateAll();
        view->setCurRoi(2);
        view->curPoint = 1;
        view->SlotAdd1();
        QCOMPARE(s->circles[0][2].r, 101);
        view->SlotSub10();
        QCOMPARE(s->circles[0][2].r, 91);
        view->curPoint = 0;
        view->SlotAdd10();
        QCOMPARE(s->circles[0][2].innerR, 10);
        view->SlotChangeObject();
        view->SlotChangeObject();
        QCOMPARE(view->curPoint, 2);
        view->SlotChangeObject();
        QCOMPARE(view->curPoint, 0);
        view->DeselectROI();
    }

    // A copy takes the limits of the region it copies, not those of its neighbour, and keeps
    // them as its own afterwards.
    void copyKeepsItsOwnLimits()
    {
        clearDetection(0);
        putRect(0, 0, QPoint(300, 300), QPoint(500, 500), 0);
        s->para1[0][0] = 20;
        s->para2[0][0] = 300;
        s->para3[0][0] = 5;
        putRect(0, 1, QPoint(900, 300), QPoint(1100, 500), 0);
        s->para1[0][1] = 60;
        s->para2[0][1] = 700;
        s->para3[0][1] = 2;
        s->outN[0] = 2;
        s->outN[1] = 3;
        select(0);
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Yes);
        view->SlotCopyArea(QPoint(1500, 800));
        QCOMPARE(s->roiNum[0], 3);
        QCOMPARE(s->outN[2], 2);
        QCOMPARE(view->curRoi, 2);
        QCOMPARE(s->rects[0][2].rect.center(), QPoint(1500, 800));
        QCOMPARE(s->func[0][2], 0);
        QCOMPARE(s->para1[0][2], 20);
        QCOMPARE(s->para2[0][2], 300);
        QCOMPARE(s->para3[0][2], 5);
        const int all = gpWPara->showAllParams;
        gpWPara->showAllParams = 1;
        view->ShowHideROIPara();
        view->panel->sliderArea->setValue(450);
        QCOMPARE(s->para2[0][2], 450);
        QCOMPARE(s->para2[0][0], 300);
        gpWPara->showAllParams = all;
        view->DeselectROI();
    }

    // Each slider shows its own parameter within its own range: sensitivity the first, area
    // the second, filter size the third; moving one writes only its own. A preview's value is
    // the edited region's label and leaves the judgement of the working store alone.
    void panelSlidersShowTheirOwnParameters()
    {
        clearDetection(0);
        const int all = gpWPara->showAllParams;
        gpWPara->showAllParams = 1;
        putRect(0, 0, QPoint(300, 600), QPoint(600, 800), 0);
        s->para1[0][0] = 30;
        s->para2[0][0] = 500;
        s->para3[0][0] = 7;
        select(0);
        RoiParamPanel* panel = view->panel;
        Slider* const sliders[3] = {panel->sliderSensitivity, panel->sliderArea, panel->sliderFilter};
        const auto shows = [&](int k, int value, int min, int max) {
            return !sliders[k]->isHidden() && sliders[k]->value() == value && sliders[k]->minimum() == min &&
                   sliders[k]->maximum() == max;
        };
        QVERIFY(shows(0, 30, 0, 100));
        QVERIFY(shows(1, 500, 0, 1000));
        QVERIFY(shows(2, 7, 1, 10));
        view->roiValue[0][0] = 1234;
        view->roiBoxes[0][0][0][0] = 3;
        panel->sliderArea->setValue(650);
        QCOMPARE(s->para2[0][0], 650);
        panel->sliderFilter->setValue(4);
        QCOMPARE(s->para3[0][0], 4);
        QCOMPARE(s->para1[0][0], 30);
        QCOMPARE(s->para2[0][0], 650);
        QCOMPARE(view->roiValue[0][0], 1234);
        QCOMPARE(view->roiBoxes[0][0][0][0], 3);
        QCOMPARE(view->ShownValue(*s, 0, 0), 0);  // a defect region's preview measures nothing

        // Black area: the area slider reaches 50000.
        view->DeselectROI();
        s->func[0][0] = 4;
        s->para1[0][0] = 90;
        s->para2[0][0] = 20000;
        select(0);
        QVERIFY(shows(0, 90, 0, 255));
        QVERIFY(shows(1, 20000, 0, 50000));
        QVERIFY(sliders[2]->isHidden());

        // White number: the area slider holds the low half of the second value, the filter
        // slider the third value.
        view->DeselectROI();
        s->func[0][0] = 7;
        s->para2[0][0] = (60 << 16) | 3;
        s->para3[0][0] = 11;
        select(0);
        QVERIFY(shows(1, 3, 0, 100));
        QVERIFY(shows(2, 11, 1, 100));
        panel->sliderFilter->setValue(12);
        QCOMPARE(s->para3[0][0], 12);
        QCOMPARE(s->para2[0][0], (60 << 16) | 3);
        gpWPara->showAllParams = all;
        view->roiValue[0][0] = 0;
        view->roiBoxes[0][0][0][0] = 0;
        view->DeselectROI();
    }

    // The panel stands above a region with room there, else below it, else by the shape.
    void panelPlacement()
    {
        clearDetection(0);
        gpWPara->showAllParams = 0;
        putRect(0, 0, QPoint(300, 900), QPoint(600, 1000), 0);  // image top 400 -> 900
        select(0);
        Slider* sens = view->panel->sliderSensitivity;
        QVERIFY(view->panel->sliderArea->isHidden());  // function 0: only the sensitivity slider
        QVERIFY(view->panel->sliderFilter->isHidden());
        QCOMPARE(sens->geometry(), QRect(400, 900 - 102 - 20, gShowW / 2 + 424 - 400 + 1, 45));
        QCOMPARE(view->panel->buttonFunc->y(), 900 - 122 + 50);

        view->DeselectROI();
        putRect(0, 0, QPoint(300, 9), QPoint(600, 134), 0);  // image rows 4..59
        select(0);
        QCOMPARE(sens->y(), 135 + 20);

        view->DeselectROI();
        putRect(0, 0, QPoint(300, 90), QPoint(600, 1000), 0);
        select(0);
        QCOMPARE(sens->y(), 90 + 20);

        // Function 1 shows three sliders (four rows): the circle leaves no room above or below,
        // so its big radius puts the panel inside it, above its centre.
        view->DeselectROI();
        s->shapeType[0][0] = kShapeCircle;
        s->circles[0][0].rect = QRect(QPoint(500, 80), QPoint(1499, 1079));
        s->circles[0][0].UpdateAll();
        view->RebuildMask(0, 0);
        s->func[0][0] = 1;
        view->setCurRoi(0);
        s->circles[0][0].SetSelected(true);
        view->ShowHideROIPara();
        QCOMPARE(sens->y(), s->circles[0][0].cy - (4 * 51 + 20));
        QVERIFY(!view->panel->sliderFilter->isHidden());

        // A polygon fills the gap between its vertices' rows.
        view->DeselectROI();
        const QPoint pts[4] = {{300, 60}, {900, 100}, {900, 1000}, {300, 1020}};
        s->polygons[0][0] = RePolygon(4, pts);
        s->shapeType[0][0] = kShapePolygon;
        view->RebuildMask(0, 0);
        s->func[0][0] = 6;
        view->setCurRoi(0);
        s->polygons[0][0].SetSelected(true);
        view->ShowHideROIPara();
        QCOMPARE(sens->y(), 1000 - (2 * 51 + 20));
        view->DeselectROI();
        view->ShowHideROIPara();
        QVERIFY(sens->isHidden());
    }

    // Sliders write whole values, bytes or 16-bit halves; function changes bring defaults;
    // a synchronised change stays inside each packed value.
    void panelParameters()
    {
        clearDetection(0);
        putRect(0, 0, QPoint(300, 300), QPoint(600, 600), 9);
        putRect(0, 1, QPoint(900, 300), QPoint(1200, 600), 9);
        for (int i = 0; i < 2; ++i) {
            int p1 = 0, p2 = 0, p3 = 0;
            QCOMPARE(GetFuncInitParam(9, p1, p2, p3), 1);
            s->para1[0][i] = p1;
            s->para2[0][i] = p2;
            s->para3[0][i] = p3;
        }
        s->para1[0][1] = (100 << 16) | 254;
        putRect(0, 2, QPoint(300, 700), QPoint(600, 900), 6);  // another function: never synchronised
        s->para1[0][2] = 40;
        s->para2[0][2] = 100;
        select(0);
        RoiParamPanel* panel = view->panel;
        QVERIFY(!panel->buttonParaSwitch->isHidden());
        panel->buttonParaSwitch->click();
        QVERIFY(view->panelPage2);
        QCOMPARE(panel->sliderArea->value(), 100);
        gDrawHint = 5;
        panel->sliderArea->setValue(200);
        QCOMPARE(s->para2[0][0], (200 << 16) | 1);
        QCOMPARE(gDrawHint, 0);

        panel->buttonParaSwitch->click();
        QVERIFY(!view->panelPage2);
        QCOMPARE(panel->sliderSensitivity->value(), 1);
        panel->sliderSensitivity->setValue(9);  // low half of para1: 1 -> 9
        QCOMPARE(s->para1[0][0], (100 << 16) | 9);
        panel->buttonSync->click();
        QCOMPARE(s->para1[0][1], (100 << 16) | 255);  // 254 + 8 held at 255, no carry
        QCOMPARE(s->para2[0][1], (200 << 16) | 1);
        QCOMPARE(s->para1[0][2], 40);
        QCOMPARE(s->para2[0][2], 100);

        // Whole values: function 6, 40 -> 55 adds 15 to its peers.
        view->DeselectROI();
        s->func[0][0] = s->func[0][1] = 6;
        s->para1[0][0] = s->para1[0][1] = 40;
        s->func[0][2] = 9;
        select(0);
        panel->sliderSensitivity->setValue(55);
        panel->buttonSync->click();
        QCOMPARE(s->para1[0][1], 55);
        panel->buttonSync->click();  // pressed again: nothing new to carry
        QCOMPARE(s->para1[0][1], 55);
        QCOMPARE(s->para1[0][2], 40);
        s->roiNum[0] = 2;

        // The function button steps to the next switched-on function with its defaults, and
        // keeps the function when none is switched on.
        s->func[0][0] = 1;
        view->ShowHideROIPara();
        panel->buttonFunc->click();
        QCOMPARE(s->func[0][0], 9);
        QCOMPARE(s->para3[0][0], (100 << 16) | 1);
        panel->buttonFunc->click();
        QCOMPARE(s->func[0][0], 1);
        QCOMPARE(s->para3[0][0], 12800);
        const int spot = gpWPara->spotDetect, color = gpWPara->colorSpot;
        gpWPara->spotDetect = gpWPara->colorSpot = 0;
        s->para1[0][0] = 77;
        panel->SlotChangeFunc();
        QCOMPARE(s->func[0][0], 1);
        QCOMPARE(s->para1[0][0], 77);
        gpWPara->spotDetect = spot;
        gpWPara->colorSpot = color;

        // The output number is kept per region number and set on the product detection only.
        s->outN[0] = 1;
        gpState->curDetect = 1;
        putRect(1, 0, QPoint(300, 300), QPoint(600, 600), 6);
        view->setCurRoi(0);
        for (int n : {0, 3}) {
            panel->comboOutN->setCurrentIndex(n);
            QCOMPARE(s->outN[0], 1);
        }
        view->DeselectROI();
        s->roiNum[1] = 0;
        gpState->curDetect = 0;
        select(0);
        panel->comboOutN->setCurrentIndex(2);
        QCOMPARE(s->outN[0], 2);

        // Function 1 keeps its grey band in bytes 0 and 1 of para3.
        panel->buttonParaSwitch->click();
        panel->sliderFilter->setValue(70);
        QCOMPARE(s->para3[0][0], 70 << 8);
        view->DeselectROI();
    }
};

MONITOR_TEST_MAIN(TestRegionEditing)
#include "tst_regionediting.moc"
