// Camera view pictures: templates and ignore masks from files, re-train picture, failure-image slots and stamps.
#include <algorithm>

#include <QDir>
#include <QFile>

#include "cammersingleton.h"
#include "cammerwidgetrig.h"
#include "testsupport.h"

namespace {

constexpr int kOddWidth = 642;  // 8-bit rows of this width are padded by Qt
constexpr int kHeight = 480;

QImage indexedGrey(const QImage& grey)
{
    QImage indexed(grey.width(), grey.height(), QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(i, i, i));
    indexed.setColorTable(table);
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(indexed.scanLine(y), grey.constScanLine(y), size_t(grey.width()));
    return indexed;
}

// Bits per pixel stored in a BMP file's header.
int bmpBitCount(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = f.read(30);
    return head.size() < 30 ? -1 : int(uchar(head[28])) | (int(uchar(head[29])) << 8);
}

QRgb pixelOfSlot(int slot, int width, int x, int y)
{
    QMutexLocker lock(pMutexSaveFail);
    return reinterpret_cast<const QRgb*>(gpFailImage[slot])[y * width + x] & 0xFFFFFF;
}

QByteArray slotBytes(int slot, int pixels)
{
    QMutexLocker lock(pMutexSaveFail);
    return QByteArray(reinterpret_cast<const char*>(gpFailImage[slot]), pixels * 4);
}

void addRect(CammerSingleton& s, int d, const QRect& r, bool passed, CammerWidget* v)
{
    const int i = s.roiNum[d]++;
    s.shapeType[d][i] = kShapeRect;
    s.rects[d][i].imageRect = r;
    s.func[d][i] = 3;
    v->roiOk[d][i] = passed;
}

}  // namespace

class TestCammerWidgetImages : public QObject
{
    Q_OBJECT

    CammerWidgetRig rig;
    CammerWidget* plain = nullptr;  // 640 x 480, no picture files
    CammerWidget* odd = nullptr;    // 642 x 480, files written before it was built
    QImage oddTemplate;
    QImage oddIgnore;

private slots:
    void initTestCase()
    {
        rig.start(QJsonArray{QJsonObject{}, QJsonObject{{"width", kOddWidth}}});
        plain = rig.view(0, 0);
        QVERIFY(plain->cameraOpen);

        QVERIFY(QDir().mkpath("cammer21") && QDir().mkpath("cammer22"));
        // The last slot holds the latest template taught; slot 1 one taught before the camera
        // took pictures of another height; detection 2's slot 1 one of another width.
        oddTemplate = indexedGrey(CammerWidgetRig::pattern(kOddWidth, kHeight, 3));
        QVERIFY(oddTemplate.save("cammer21/template2.bmp"));
        QVERIFY(indexedGrey(CammerWidgetRig::pattern(kOddWidth, kHeight + 120, 5)).save("cammer21/template1.bmp"));
        QVERIFY(indexedGrey(CammerWidgetRig::pattern(640, kHeight, 4)).save("cammer22/template1.bmp"));
        QImage colour(kOddWidth, kHeight, QImage::Format_RGB32);
        colour.fill(Qt::white);
        QVERIFY(colour.save("cammer21/template0.bmp"));

        oddIgnore = QImage(kOddWidth, kHeight, QImage::Format_Mono);
        oddIgnore.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        oddIgnore.fill(0);
        for (int y = 100; y < 140; ++y) {
            for (int x = 600; x < kOddWidth; ++x) oddIgnore.setPixel(x, y, 1);
        }
        QVERIFY(oddIgnore.save("cammer21/ignorepoint.bmp"));
        QCOMPARE(bmpBitCount("cammer21/ignorepoint.bmp"), 1);
        QImage wrongSize(640, kHeight, QImage::Format_Indexed8);
        wrongSize.setColorTable(oddTemplate.colorTable());
        wrongSize.fill(255);
        QVERIFY(wrongSize.save("cammer22/ignorepoint.bmp"));

        odd = rig.view(1, 1);
        QVERIFY(odd->cameraOpen);
        CammerWidgetRig::allocFailSlots(plain);
        CammerWidgetRig::allocFailSlots(odd);
    }

    void init() { TestSupport::clearCapturedMessages(); }

    void missingTemplateIsTheWhiteMiddleHalf()
    {
        QVERIFY(QDir("cammer11").exists() && QDir("cammer12").exists());
        QVERIFY(!QDir("cammer13").exists());
        QCOMPARE(plain->templateCount[0], 1);
        QCOMPARE(plain->templateValid[0][0], 1);
        QCOMPARE(plain->templateValid[0][1], 0);
        QCOMPARE(plain->templateValid[0][2], 0);
        const unsigned char* t = plain->templates[0][0];
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < 640; ++x) {
                const int expected = (x >= 160 && x <= 480 && y >= 120 && y <= 360) ? 255 : 0;
                wrong += t[y * 640 + x] != expected;
            }
        }
        QCOMPARE(wrong, 0);
        // The ring of recent NG frames exists for the prepared detections only.
        QVERIFY(plain->recentNg[1][9] && !plain->recentNg[2][0]);
        QCOMPARE(plain->recentNgPos[1], 0);
    }

    // Rows of files whose width Qt pads are packed in the buffers; unusable files are ignored.
    void templateAndIgnoreFilesOfAnOddWidth()
    {
        QCOMPARE(odd->templateValid[0][0], 1);  // the colour file does not fit a grey camera
        QCOMPARE(odd->templateValid[0][1], 0);  // another height
        QCOMPARE(odd->templateValid[0][2], 1);
        QCOMPARE(odd->templateCount[0], 2);
        QVERIFY(CammerWidgetRig::samePixels(odd->templates[0][2], oddTemplate));
        QVERIFY(std::all_of(odd->templates[0][1], odd->templates[0][1] + odd->imageBytes,
                            [](unsigned char v) { return v == 0; }));
        QCOMPARE(odd->templateValid[1][1], 0);  // another width
        QCOMPARE(odd->templateCount[1], 1);
        QCOMPARE(int(odd->templates[0][0][kHeight / 2 * kOddWidth + kOddWidth / 2]), 255);
        QCOMPARE(int(odd->templates[0][0][0]), 0);

        int wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kOddWidth; ++x) {
                const int expected = oddIgnore.pixelIndex(x, y) ? 255 : 0;
                wrong += odd->ignoreMask[0][y * kOddWidth + x] != expected;
            }
        }
        QCOMPARE(wrong, 0);
        QVERIFY(std::all_of(odd->ignoreMask[1], odd->ignoreMask[1] + odd->imagePixels,
                            [](unsigned char v) { return v == 0; }));
    }

    void ignorePointsSurviveSaveAndLoad()
    {
        for (int i = 0; i < odd->imagePixels; ++i) odd->ignoreMask[1][i] = (i % 7 == 0) ? 255 : 0;
        odd->SaveIgnorePoint(1);
        const QImage saved("cammer22/ignorepoint.bmp");
        QCOMPARE(saved.size(), QSize(kOddWidth, kHeight));
        QCOMPARE(saved.format(), QImage::Format_Indexed8);
        QVERIFY(CammerWidgetRig::samePixels(odd->ignoreMask[1], saved));

        std::memset(odd->ignoreMask[1], 0, size_t(odd->imagePixels));
        odd->LoadIgnorePoint();
        QCOMPARE(int(odd->ignoreMask[1][7]), 255);
        QCOMPARE(int(odd->ignoreMask[1][8]), 0);
    }

    void retrainWritesTheRawFrame()
    {
        gSource = 0;  // not shown: the re-train still makes it the current picture
        for (CammerWidget* v : {plain, odd}) {
            const QImage frame = CammerWidgetRig::pattern(v->imageWidth, kHeight, 9 + v->cameraIndex);
            QVERIFY(CammerWidgetRig::grab(v, frame));
            v->SaveReTrainImage(0);
            const QString file = QString("cammer%1%2/template0.bmp").arg(v->cameraIndex + 1).arg(1);
            const QImage saved(file);
            QCOMPARE(saved.size(), QSize(v->imageWidth, kHeight));
            QCOMPARE(saved.depth(), 8);
            QVERIFY2(CammerWidgetRig::samePixels(v->rawImage, saved), qPrintable(file));
            QVERIFY(CammerWidgetRig::samePixels(v->rawImage, frame));
            QCOMPARE(std::memcmp(v->templates[0][0], v->rawImage, size_t(v->imageBytes)), 0);
            QCOMPARE(std::memcmp(v->curImage, v->rawImage, size_t(v->imageBytes)), 0);
            QCOMPARE(std::memcmp(v->alignedImage, v->rawImage, size_t(v->imageBytes)), 0);
        }
        QCOMPARE(plain->templateCount[0], 1);
        gSource = -1;
    }

    void failurePictureLandsInItsSlot()
    {
        CammerSingleton& s = *plain->storeA;
        s.roiNum[0] = 0;
        addRect(s, 0, QRect(QPoint(100, 200), QPoint(149, 239)), true, plain);
        addRect(s, 0, QRect(QPoint(280, 280), QPoint(379, 359)), false, plain);
        const int failing = 1;
        plain->roiBoxes[0][failing][0][0] = 1;
        const int box[4] = {300, 300, 340, 330};
        std::memcpy(plain->roiBoxes[0][failing][1], box, sizeof(box));
        const int poly = s.roiNum[0]++;
        s.shapeType[0][poly] = kShapePolygon;
        s.polygons[0][poly].count = 3;
        s.polygons[0][poly].imagePoints[0] = QPoint(400, 50);
        s.polygons[0][poly].imagePoints[1] = QPoint(500, 50);
        s.polygons[0][poly].imagePoints[2] = QPoint(450, 120);
        plain->roiOk[0][poly] = false;
        std::memset(plain->alignedImage, 100, size_t(plain->imageBytes));
        gFailIndex[0] = 0;

        plain->SaveFailImage(0, 0);
        {
            QMutexLocker lock(pMutexSaveFail);
            QCOMPARE(gFailIndex[0], 2);
        }
        QCOMPARE(pixelOfSlot(0, 640, 100, 220), qRgb(0, 255, 0) & 0xFFFFFF);  // passed outline
        QCOMPARE(pixelOfSlot(0, 640, 280, 320), qRgb(255, 0, 0) & 0xFFFFFF);  // failed outline
        QCOMPARE(pixelOfSlot(0, 640, 300, 310), qRgb(255, 0, 0) & 0xFFFFFF);  // its blob box
        QCOMPARE(pixelOfSlot(0, 640, 450, 50), qRgb(255, 0, 0) & 0xFFFFFF);   // failed polygon
        QCOMPARE(pixelOfSlot(0, 640, 600, 450), qRgb(100, 100, 100) & 0xFFFFFF);

        // The first failing region already noted stays; the OK picture goes to slot 1.
        {
            QMutexLocker lock(pMutexSaveFail);
            gFailIndex[0] = 5;
        }
        plain->SaveFailImage(0, 1);
        {
            QMutexLocker lock(pMutexSaveFail);
            QCOMPARE(gFailIndex[0], 5);
        }
        QCOMPARE(pixelOfSlot(1, 640, 100, 220), qRgb(0, 255, 0) & 0xFFFFFF);

        // Camera 1 (index 1), detection 1, OK picture: slot (1 x 8 + 1) x 2 + 1.
        std::memset(odd->alignedImage, 60, size_t(odd->imageBytes));
        odd->SaveFailImage(1, 1);
        QCOMPARE(pixelOfSlot(19, kOddWidth, kOddWidth - 1, kHeight - 1), qRgb(60, 60, 60) & 0xFFFFFF);
        QCOMPARE(pixelOfSlot(18, kOddWidth, kOddWidth - 1, kHeight - 1), 0u);
        {
            QMutexLocker lock(pMutexSaveFail);
            QCOMPARE(gFailIndex[9], 0);
        }
    }

    // Up to ten regions a label tells limit and value; from eleven on only the value. Counted
    // by the label's ink in its band above the first region.
    void failureLabelsShortenFromElevenRegions()
    {
        CammerSingleton& s = *plain->storeA;
        std::memset(plain->alignedImage, 100, size_t(plain->imageBytes));
        const auto ink = [&](int regions) {
            s.roiNum[0] = 0;
            for (int k = 0; k < regions; ++k) {
                addRect(s, 0, QRect(20, 40 + 40 * k, 20, 10), true, plain);
                s.para2[0][k] = 12345;
                plain->roiValue[0][k] = 0;
            }
            plain->SaveFailImage(0, 1);
            int count = 0;
            for (int y = 14; y <= 38; ++y)
                for (int x = 20; x <= 419; ++x) count += pixelOfSlot(1, 640, x, y) != (qRgb(100, 100, 100) & 0xFFFFFF);
            return count;
        };
        const int one = ink(1);
        QVERIFY(one > 0);
        QCOMPARE(ink(10), one);
        QVERIFY(ink(11) < one);
        s.roiNum[0] = 0;
    }

    void clearingMethodIsStampedOnce()
    {
        plain->SaveFailImage(0, 0);
        const int pixels = plain->imagePixels;
        QByteArray before = slotBytes(0, pixels);

        rig.window->detectState[0][0] = 3;  // still waiting: nothing to stamp
        plain->UpdateFailImage(0, 0);
        QCOMPARE(rig.window->detectState[0][0], 3);
        QCOMPARE(slotBytes(0, pixels), before);

        rig.window->detectState[0][0] = 7;
        plain->UpdateFailImage(0, 0);
        QCOMPARE(rig.window->detectState[0][0], 8);
        QVERIFY(slotBytes(0, pixels) != before);

        before = slotBytes(0, pixels);
        plain->UpdateFailImage(0, 0);
        QCOMPARE(rig.window->detectState[0][0], 10);
        QVERIFY(slotBytes(0, pixels) != before);

        before = slotBytes(0, pixels);
        plain->UpdateFailImage(0, 0);
        QCOMPARE(rig.window->detectState[0][0], 10);
        QCOMPARE(slotBytes(0, pixels), before);

        for (int state : {4, 5, 6}) {
            rig.window->detectState[0][1] = state;
            plain->UpdateFailImage(1, 0);
            QCOMPARE(rig.window->detectState[0][1], 9);
        }
    }
};

MONITOR_TEST_MAIN(TestCammerWidgetImages)
#include "tst_cammerwidget_images.moc"
