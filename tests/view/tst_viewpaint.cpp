// Camera view painting: failure and ignore overlays by page and blink, clipped overlays, labels, countdown, re-checks.
#include <climits>

#include <QPaintEngine>
#include <QTimer>

#include "cammersingleton.h"
#include "cammerwidgetrig.h"
#include "drawroiwidget.h"
#include "mainstate.h"
#include "testsupport.h"

namespace {

// Records the texts a painter draws and their pens' colours, whatever fonts the machine has.
class TextEngine : public QPaintEngine
{
public:
    TextEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override
    {
        if (state.state() & DirtyPen)
            pen = state.pen().color();
        if (state.state() & DirtyTransform)
            transform = state.transform();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawImage(const QRectF& r, const QImage&, const QRectF&, Qt::ImageConversionFlags) override
    {
        images << transform.mapRect(r);
    }
    void drawTextItem(const QPointF& at, const QTextItem& item) override
    {
        texts << item.text();
        colours << pen;
        const QFontMetricsF m(item.font());
        places << transform.mapRect(QRectF(at.x(), at.y() - m.ascent(), m.horizontalAdvance(item.text()), m.height()));
        sizes << item.font().pixelSize();
    }
    Type type() const override { return QPaintEngine::User; }

    QStringList texts;
    QList<QColor> colours;
    QColor pen;
    QList<QRectF> places;  // where each text stands on the device
    QList<int> sizes;      // and its font's pixel size
    QList<QRectF> images;  // where each picture stands on the device
    QTransform transform;
};

class TextDevice : public QPaintDevice
{
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable TextEngine engine;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
            case PdmWidth:
                return 1920;
            case PdmHeight:
                return 1080;
            case PdmWidthMM:
                return 508;
            case PdmHeightMM:
                return 286;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 96;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return INT_MAX;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return int(QPaintDevice::devicePixelRatioFScale());
        }
        return 0;
    }
};

// Display point over the middle of image pixel (x, y) of a 640 x 480 camera on 1920 x 1080.
QPoint over(int x, int y)
{
    return QPoint(x * 3 + 1, int(y * 2.25) + 1);
}

}  // namespace

class TestViewPaint : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    CammerWidget* view = nullptr;
    QTimer showTimer;
    QTimer upTimers[2];

    QList<QColor> paintedColours;

    // The texts of one paint, one item per drawn text (a text may arrive in pieces, one per font);
    // their colours in paintedColours.
    QStringList paintedItems()
    {
        TextDevice device;
        view->render(&device);
        paintedColours = device.engine.colours;
        return device.engine.texts;
    }

    QString paintedText() { return paintedItems().join(QString()); }

    QColor at(const QImage& picture, int x, int y) { return picture.pixelColor(over(x, y)); }

    void putRect(CammerSingleton* s, int i, QRect image, int func)
    {
        s->shapeType[0][i] = kShapeRect;
        s->rects[0][i] = ClustomRect();
        s->rects[0][i].rect = QRect(QPoint(image.left() * 3, int(image.top() * 2.25)),
                                    QPoint(image.right() * 3 + 2, int((image.bottom() + 1) * 2.25) - 1));
        s->rects[0][i].setShowA(view->fullScaleX, view->fullScaleY);
        s->rects[0][i].setImageRect();
        s->func[0][i] = func;
        s->para1[0][i] = 100;
        s->para2[0][i] = 500;
        s->para3[0][i] = 3;
    }

private slots:
    void initTestCase()
    {
        rig.start(QJsonArray{QJsonObject{}});
        view = rig.view(0, 0);
        QVERIFY(view->cameraOpen);
        view->resize(gShowW, gShowH);
        numCamera = 1;
        gpState->viewCamera = 0;
        gpState->step = 0;
        gpState->curDetect = 0;
        gpState->showTimer = &showTimer;
        gpState->upTimers[0] = &upTimers[0];
        gpState->upTimers[1] = &upTimers[1];
        std::memset(view->curImage, 128, size_t(view->imageBytes));

        for (CammerSingleton* s : {view->storeA, view->storeB}) {
            s->roiNum[0] = 2;
            putRect(s, 0, QRect(QPoint(100, 100), QPoint(199, 199)), 6);
            putRect(s, 1, QRect(QPoint(560, 400), QPoint(639, 479)), 6);
            // A rectangle that left the picture, as a store filled elsewhere may hold.
            s->rects[0][1].imageRect = QRect(QPoint(560, 400), QPoint(900, 700));
        }
        view->roiValue[0][0] = 7;
        view->roiOk[0][0] = false;
        view->roiOk[0][1] = false;
        std::memset(view->displayMask, 0, size_t(view->imagePixels));
        for (int y = 145; y < 155; ++y) std::memset(view->displayMask + y * view->imageWidth + 145, 255, 10);
        view->displayMask[479 * 640 + 639] = 255;
        std::memset(view->ignoreMask[0], 0, size_t(view->imagePixels));
        for (int y = 115; y < 125; ++y) std::memset(view->ignoreMask[0] + y * view->imageWidth + 115, 255, 10);
    }

    // A failing region shows its defect pixels red while the result is shown, grey after; on
    // the alarm page they blink, and the ignore points take their turn in cyan.
    void overlays()
    {
        gSource = 1;
        gpState->pageState = 1;
        view->cameraOk = false;
        showTimer.start(60000);
        QImage shot = view->grab().toImage();
        QCOMPARE(shot.size(), QSize(1920, 1080));
        QCOMPARE(at(shot, 150, 150), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(1918, 1078), QColor(Qt::red));  // clipped at the picture's corner
        QCOMPARE(at(shot, 120, 120), QColor(128, 128, 128));
        QCOMPARE(shot.pixelColor(300 + 1, 225 + 40), QColor(Qt::red));  // NG region outline

        showTimer.stop();
        shot = view->grab().toImage();
        QCOMPARE(at(shot, 150, 150), QColor(128, 128, 128));

        gpState->pageState = 2;
        view->blinkState = 1;
        shot = view->grab().toImage();
        QCOMPARE(at(shot, 150, 150), QColor(Qt::red));
        QCOMPARE(at(shot, 120, 120), QColor(128, 128, 128));
        view->blinkState = 2;
        shot = view->grab().toImage();
        QCOMPARE(at(shot, 150, 150), QColor(128, 128, 128));
        QCOMPARE(at(shot, 120, 120), QColor(Qt::cyan));
        view->blinkState = 0;
        shot = view->grab().toImage();
        QCOMPARE(at(shot, 120, 120), QColor(128, 128, 128));

        // The Template shows the ignore points always and leaves the picture itself alone.
        gSource = 0;
        gpState->pageState = 3;
        shot = view->grab().toImage();
        QCOMPARE(at(shot, 120, 120), QColor(Qt::cyan));
        QCOMPARE(int(view->curImage[120 * 640 + 120]), 128);
        view->cameraOk = true;
    }

    // A position region shows only on the Template; the rectangle being dragged shows green.
    void positionRegionAndDrawing()
    {
        gpState->pageState = 1;
        view->cameraOk = true;
        view->storeA->func[0][0] = 3;
        view->storeB->func[0][0] = 3;
        gSource = 1;
        QImage shot = view->grab().toImage();
        QCOMPARE(shot.pixelColor(300, 300), QColor(128, 128, 128));
        gSource = 0;
        gpState->pageState = 3;
        shot = view->grab().toImage();
        QCOMPARE(shot.pixelColor(300, 300), QColor(Qt::green));
        view->storeA->func[0][0] = 6;
        view->storeB->func[0][0] = 6;

        gpState->drawMode = 1;
        view->touchState = 1;
        view->drawRect.rect = QRect(QPoint(1000, 600), QPoint(1200, 800));
        shot = view->grab().toImage();
        QCOMPARE(shot.pixelColor(1000, 700), QColor(Qt::green));
        view->touchState = 0;
        gpState->drawMode = 0;
    }

    // The large result says what the camera judged, on the result page, on the alarm's live
    // picture and on the live picture while the regions are shown; nowhere else.
    void largeResult_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("realtime");
        QTest::addColumn<bool>("shown");
        QTest::newRow("result page") << kPageResult << 1 << 0 << true;
        QTest::newRow("alarm, live") << kPageAlarm << 1 << 0 << true;
        QTest::newRow("detecting, live regions") << kPageMain << 1 << 1 << true;
        QTest::newRow("detecting") << kPageMain << 1 << 0 << false;
        QTest::newRow("alarm, template") << kPageAlarm << 0 << 0 << false;
        QTest::newRow("teaching") << kPageTeaching << 0 << 1 << false;
    }

    void largeResult()
    {
        QFETCH(int, page);
        QFETCH(int, source);
        QFETCH(int, realtime);
        QFETCH(bool, shown);
        gpState->pageState = page;
        gSource = source;
        const int wasRealtime = gpWPara->realtimeRoi;
        gpWPara->realtimeRoi = realtime;
        for (const bool ok : {false, true}) {
            view->cameraOk = ok;
            const QStringList items = paintedItems();
            const QString verdict = ok ? "OK" : "NG";
            const QString other = ok ? "NG" : "OK";
            QCOMPARE(items.contains(verdict), shown);
            if (shown)
                QCOMPARE(paintedColours.value(items.indexOf(verdict)), QColor(ok ? Qt::green : Qt::red));
            QVERIFY2(!items.contains(other), qPrintable(items.join('|')));
        }
        gpWPara->realtimeRoi = wasRealtime;
        view->cameraOk = true;
    }

    // The view's own texts (status, counters, result, legend, record and recent lines) stay
    // clear of the teaching page's column on either side, in every language; the legend's
    // area name keeps its 30 px.
    void textsClearOfTheColumn()
    {
        view->parentWidget()->setFixedSize(gShowW, gShowH);
        view->parentWidget()->show();
        DrawROIWidget column(view->parentWidget(), rig.window->cammerWidgets);
        column.show();
        upTimers[0].start(60000);
        gpState->countdown[0] = 1.5f;
        view->storeA->roiNum[0] = view->storeB->roiNum[0] = 0;  // regions belong to the covered picture
        const auto restore = qScopeGuard([this] {
            upTimers[0].stop(), gLan = 1, view->storeA->roiNum[0] = view->storeB->roiNum[0] = 2;
            view->resize(gShowW, gShowH);
        });
        for (int lan = 0; lan < 4; ++lan)
            for (auto [source, page] : std::initializer_list<std::pair<int, int>>{
                     {0, kPageTeaching}, {1, kPageAlarm}, {2, kPageTeaching}, {3, kPageTeaching}})
                for (int x : {0, gShowW - column.width(), -1}) {  // -1: a grid's half-size view
                    gLan = lan, gSource = source, gpState->pageState = page;
                    view->resize(x < 0 ? gShowW / 2 : gShowW, x < 0 ? gShowH / 2 : gShowH);
                    column.move(std::max(x, 0), 0);
                    TextDevice device;
                    view->render(&device);
                    const QStringList& texts = device.engine.texts;
                    for (int i = 0; i < texts.size(); ++i)
                        QVERIFY2(!device.engine.places[i].intersects(column.geometry()), qPrintable(texts[i]));
                    const int area = texts.indexOf(QRegularExpression(QRegularExpression::escape(LanStr(24)) + ".*"));
                    QVERIFY(source != 0 || x < 0 || device.engine.sizes.value(area) == 30);
                }
        column.hide();  // left where it stood: the texts come back to the edge
        TextDevice device;
        view->render(&device);
        QVERIFY(device.engine.places.value(0).left() < 20);
    }

    // With the column on the left what belongs to the picture keeps its place and shows whole:
    // the regions and their labels stand where they stand with the column on the right, the
    // legend stays clear of the region panel's bottom row, and a record picture fits right of
    // the column, so that its stamps at its left edge show.
    void columnLeavesPictureRegionsAndPanelWhole()
    {
        QWidget* window = view->parentWidget();
        window->setFixedSize(gShowW, gShowH);
        window->show();
        DrawROIWidget column(window, rig.window->cammerWidgets);
        column.show();
        column.recordCount = 1;
        column.recordImage = QImage(640, 480, QImage::Format_RGB32);
        const auto restore = qScopeGuard([this] {
            view->curRoi = -1, view->ShowHideROIPara(), view->storeB->roiNum[0] = 2, gSource = 1;
        });
        gpState->pageState = kPageTeaching;
        view->storeB->roiNum[0] = 1;
        QRectF label[2];
        for (int k = 0; k < 2; ++k) {
            const int x = k == 0 ? 0 : gShowW - column.width();
            column.move(x, 0);
            TextDevice labels, own, record;
            gSource = kSourceTemplate;
            view->curRoi = -1;
            view->ShowHideROIPara();
            view->render(&labels);
            label[k] = labels.engine.places.value(labels.engine.texts.indexOf(QRegularExpression("^1: .*")));
            view->curRoi = 0;
            view->ShowHideROIPara();
            view->render(&own, QPoint(), QRegion(), QWidget::DrawWindowBackground);  // the view's own texts
            int panel = 0;
            for (QWidget* w : view->findChildren<QWidget*>()) {
                const QRect place(w->mapTo(view, QPoint()), w->size());
                for (int i = 0; i < own.engine.texts.size() && w->isVisibleTo(view); ++i)
                    QVERIFY2(!own.engine.places[i].intersects(place) && !own.engine.places[i].intersects(column.geometry()),
                             qPrintable(QString("%1 at x %2").arg(own.engine.texts[i]).arg(x)));
                panel += w->isVisibleTo(view);
            }
            QVERIFY(panel >= 3);
            gSource = kSourceNGRecord;
            view->render(&record);
            const int left = x == 0 ? column.width() : 0;
            QCOMPARE(record.engine.images.value(0), QRectF(left, 0, gShowW - left, gShowH));
        }
        QVERIFY(!label[0].isEmpty());
        QCOMPARE(label[0], label[1]);
    }

    // Labels carry number, parameters and value below 11 regions, number and value from 11 on;
    // the countdown shows three digits above 0.02; a re-check shows the cycle's count.
    void texts()
    {
        gSource = 0;
        gpState->pageState = 3;
        view->curRoi = -1;
        QString text = paintedText();
        QVERIFY2(text.contains("1: 100 / 7 "), qPrintable(text));

        CammerSingleton* s = view->storeB;
        for (int i = 2; i < 11; ++i) putRect(s, i, QRect(QPoint(10 * i, 300), QPoint(10 * i + 5, 305)), 6);
        s->roiNum[0] = 11;
        text = paintedText();
        QVERIFY(text.contains("1: 7"));
        QVERIFY(!text.contains("1: 100"));
        s->roiNum[0] = 2;

        gSource = 1;
        gpState->pageState = 0;
        upTimers[0].start(60000);
        upTimers[1].start(60000);
        gpState->countdown[0] = 1.234f;
        gpState->countdown[1] = 5.5f;
        text = paintedText();
        QVERIFY2(text.contains("1.23"), qPrintable(text));
        QVERIFY(!text.contains("1.234"));
        gpState->countdown[0] = 0.02f;
        text = paintedText();
        QVERIFY(!text.contains("0.02"));
        QVERIFY(!text.contains("5.5"));
        upTimers[0].stop();
        upTimers[1].stop();

        // Recent failures: at most ten are kept, whatever the running count says.
        gSource = 2;
        view->recentNgPos[0] = 15;
        view->recentNgView = 3;
        view->recentNgTime[0][3] = "2026-05-06 08.00.00";
        text = paintedText();
        QVERIFY2(text.contains("NG 4 / 10"), qPrintable(text));
        QVERIFY(text.contains("2026-05-06 08.00.00"));

        // The record pages say which folder they browse.
        DrawROIWidget page(rig.window, rig.window->cammerWidgets);
        page.recordCount = 2;
        for (const auto& [source, folder] : {std::pair{kSourceOKRecord, "OK"}, std::pair{kSourceNGRecord, "NG"}}) {
            gSource = source;
            text = paintedText();
            QVERIFY2(text.contains(QString::fromUtf8("%1图片数 1 / 2").arg(folder)), qPrintable(text));
            // The Japanese page says it on one line: camera, detection, title and counts.
            gLan = 3;
            text = paintedText();
            const QString line = QString::fromUtf8("カメラ1 検出%1 %2記録 1 / 2").arg(LanStr(263), folder);
            gLan = 1;
            QVERIFY2(text.contains(line), qPrintable(text));
        }
        gSource = 1;

        gpState->runState = 1;
        gpState->reCheckPending = 1;
        gpState->reCheckCount[0] = 2;
        text = paintedText();
        QVERIFY2(text.contains(QString::fromUtf8("2次重检中")), qPrintable(text));
        gpState->reCheckPending = 0;
    }
};

MONITOR_TEST_MAIN(TestViewPaint)
#include "tst_viewpaint.moc"
