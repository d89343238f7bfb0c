// The painted pictures in the working folder: loaded by start-up and the widgets, and shown.
#include <QStyleOptionSlider>

#include "checkbox.h"
#include "floatslider.h"
#include "globals.h"
#include "slider.h"
#include "testsupport.h"

namespace {

constexpr int kVisible = 150;  // summed channel difference a glance tells apart
constexpr int kAboveGrip = 8;  // rows above a handle's middle, clear of its grip grooves

int colourDistance(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
}

// Pixels of the check mark's green, clearly apart from white, grey and the yellow caption.
int tickPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40)
                ++count;
        }
    return count;
}

}  // namespace

class TestAssets : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureTheCodeNamesLoads()
    {
        LoadGlobalPixmaps();
        QPixmap* const startup[] = {gpPixmapLogo,      gpPixmapBG,        gpPixmapTitle,   gpPixmapLine,
                                    gpPixmapEdit,      gpPixmapSlideru,   gpPixmapSliderd, gpPixmapSlidert,
                                    gpPixmapButton[0], gpPixmapButton[1], gpPixmapOUT[0],  gpPixmapOUT[1],
                                    gpPixmapMove[0],   gpPixmapMove[1],   gpPixmapMove[2], gpPixmapMove[3],
                                    gpPixmapMove[4],   gpPixmapMove[5],   gpPixmapMove[6]};
        for (QPixmap* pixmap : startup) QVERIFY(pixmap && !pixmap->isNull());
        // The lamps for an inactive and an active signal must not be confused.
        QVERIFY(gpPixmapOUT[0]->toImage() != gpPixmapOUT[1]->toImage());

        for (const char* name : {"check", "CheckBox1", "CheckBox2", "left", "right", "wait", "hide", "show", "error",
                                 "help", "logo2", "disk"})
            QVERIFY2(!QPixmap(QString("./images/%1.png").arg(name)).isNull(), name);
    }

    void checkedAndUncheckedCheckBoxesDiffer()
    {
        CheckBox box(nullptr, "Alarm");
        box.resize(240, 40);
        box.setValue(0);
        const QImage off = box.grab().toImage();
        box.setValue(1);
        const QImage on = box.grab().toImage();

        QStyleOptionButton option;
        option.initFrom(&box);
        const QRect indicator = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
        QCOMPARE(indicator.size(), QSize(32, 32));
        QVERIFY(off.copy(indicator) != on.copy(indicator));
        QCOMPARE(tickPixels(off), 0);
        QVERIFY(tickPixels(on.copy(indicator)) > 20);
    }

    // The handle stands out from the unfilled track right of it and from the fill left of it
    // (sampled above the grip grooves in its middle).
    void sliderHandlesAreVisible()
    {
        LoadGlobalPixmaps();
        Slider painted(0, 100, 1, 50, nullptr, "Sensitivity");
        painted.resize(611, 60);
        const QImage image = painted.grab().toImage();
        const QRect handle(painted.handleX, painted.handleY, painted.handleWidth, painted.handleHeight);
        QCOMPARE(handle, QRect(421, 3, 10, 54));
        const int y = handle.center().y() - kAboveGrip;
        const QRgb knob = image.pixel(handle.center().x(), y);
        QVERIFY(colourDistance(knob, image.pixel(handle.right() + 20, y)) > kVisible);
        QVERIFY(colourDistance(knob, image.pixel(handle.left() - 20, y)) > kVisible);

        // The zoom slider's handle is where the style puts it; its drawn width comes from the
        // style sheet, so only its centre is taken.
        FloatSlider zoom(nullptr);
        zoom.resize(500, 50);
        zoom.show();
        QVERIFY(QTest::qWaitForWindowExposed(&zoom));
        zoom.slider->setValue(50);
        QStyleOptionSlider option;
        option.initFrom(zoom.slider);
        option.orientation = Qt::Horizontal;
        option.minimum = zoom.slider->minimum();
        option.maximum = zoom.slider->maximum();
        option.sliderPosition = option.sliderValue = zoom.slider->value();
        const QPoint centre = zoom.slider->style()
                                  ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, zoom.slider)
                                  .center();
        const QImage zoomImage = zoom.slider->grab().toImage();
        const QRgb zoomKnob = zoomImage.pixel(centre.x(), centre.y() - kAboveGrip);
        QVERIFY(colourDistance(zoomKnob, zoomImage.pixel(centre.x() + 25, centre.y() - kAboveGrip)) > kVisible);
        // Not merely the style sheet's plain fill colour shown when the picture is missing.
        QVERIFY(colourDistance(zoomKnob, qRgb(193, 204, 208)) > 40);
    }
};

MONITOR_TEST_MAIN(TestAssets)
#include "tst_assets.moc"
