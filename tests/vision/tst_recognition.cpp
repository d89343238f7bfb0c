// Tests of the region judgement, the matcher training and the parameter preview of CammerRecong.
#include <climits>

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include "cammerrecongnize.h"
#include "floorgen.h"
#include "mainstate.h"
#include "recogrig.h"
#include "simscene.h"
#include "testsupport.h"
#include "tnr_netmn.h"

namespace {
constexpr int kW = 640;
constexpr int kH = 480;

cv::Mat Scene(quint32 seed = 7)
{
    SimSceneOptions o;
    o.width = kW;
    o.height = kH;
    o.seed = seed;
    return SimScene::render(o);
}

cv::Mat Flat(int level)
{
    return cv::Mat(kH, kW, CV_8UC1, cv::Scalar(level));
}

void Square(cv::Mat& m, int x, int y, int side, int level)
{
    m(cv::Rect(x, y, side, side)).setTo(level);
}

// Contour area of a side x side square after the 3 x 3 elliptic opening (corners cut).
int OpenedSquareArea(int side)
{
    return (side - 1) * (side - 1) - 2;
}

param_roi Record(int camera, int det, int roi)
{
    return TNR_NETMN::getInstance()->roiCache.value(TNR_NETMN::roiKey(camera, det, roi));
}

bool HasRecord(int camera, int det, int roi)
{
    return TNR_NETMN::getInstance()->roiCache.contains(TNR_NETMN::roiKey(camera, det, roi));
}
}  // namespace

class TestRecognition : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defectBlobIsFoundWithItsAreaUnlessIgnored();
    void defectJudgementHonoursTemplateIsNg();
    void defectLimitsComeFromTheRegionWhenAllParametersAreShown();
    void spotMeasuresTheAreaInsideTheGreyBand();
    void blackAndWhiteAreasMeasureTheirBands();
    void similarityReportsTheScore();
    void valuesExactlyOnTheirLimitsPass();
    void numbersCountBlobsAndCapTheBoxes();
    void numbersClearTheBandWhenTheKernelFillsTheRegion();
    void colourSpotMeasuresTheColourBand();
    void brightnessMatchingJudgesADimmerPicture();
    void regionsThatCannotBeJudgedFailTheCamera();
    void regionsLeavingThePictureAreClipped();
    void kernelsOfZeroOrLessAreUsedAsOne();
    void trainingAddsOnlyCountedTemplatesAndCopiesIgnoreAreas();
    void trainingWithoutBuffersIsSkipped();
    void previewMeasuresTheEditedRegion();

private:
    std::unique_ptr<MainState> win;
};

void TestRecognition::init()
{
    if (!win)
        win.reset(new MainState);
    win->step = 0;
    TNR_NETMN::getInstance()->roiCache.clear();
}

void TestRecognition::defectBlobIsFoundWithItsAreaUnlessIgnored()
{
    RecogRig rig(kW, kH);
    cv::Mat templ = Scene();
    templ(cv::Rect(140, 130, 60, 60)).setTo(150);  // a plain patch, so the blob's area is exact
    rig.setTemplate(0, 0, templ);
    rig.addRect(0, cv::Rect(100, 100, 200, 150), kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;

    cv::Mat live = templ.clone();
    Square(live, 150, 140, 30, 0);
    rig.setAligned(live);
    rec.Run(0);
    QVERIFY(!v.cameraOk);
    QVERIFY(!v.roiOk[0][0]);
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(30));
    QCOMPARE(v.roiBoxes[0][0][0][0], 1);
    QCOMPARE(
        QVector<int>({v.roiBoxes[0][0][1][0], v.roiBoxes[0][0][1][1], v.roiBoxes[0][0][1][2], v.roiBoxes[0][0][1][3]}),
        QVector<int>({150, 140, 180, 170}));
    QCOMPARE(cv::countNonZero(v.GrayMat(v.displayMask)), 30 * 30 - 4);
    const param_roi r = Record(0, 0, 0);
    QCOMPARE(QVector<int>({r.camera, r.detect, r.roi, r.func, r.value, r.low, r.high, r.third, r.cameraOk}),
             QVector<int>({0, 0, 0, kFuncDefect, OpenedSquareArea(30), 45, 100, 3, 0}));

    rig.setAligned(templ);
    rec.Run(0);
    QVERIFY(v.cameraOk);
    QVERIFY(v.roiOk[0][0]);
    QCOMPARE(v.roiValue[0][0], 0);
    QCOMPARE(cv::countNonZero(v.GrayMat(v.displayMask)), 0);  // the overlay is cleared each run
    QCOMPARE(Record(0, 0, 0).cameraOk, 1);

    // An ignore point over the blob, trained, makes the same picture pass.
    rig.ignore(0)(cv::Rect(145, 135, 40, 40)).setTo(255);
    rec.VarTrain(0);
    rig.setAligned(live);
    rec.Run(0);
    QVERIFY(v.cameraOk);
    QCOMPARE(v.roiValue[0][0], 0);

    // A blob below the area limit passes with its area measured.
    rig.ignore(0).setTo(0);
    rec.VarTrain(0);
    cv::Mat small = templ.clone();
    Square(small, 150, 140, 8, 0);
    rig.setAligned(small);
    rec.Run(0);
    QVERIFY(v.cameraOk);
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(8));

    // A region's light is the frame's: a faint part over most of a flat region, or over all of
    // it and far around, is found, the same frame 12 % brighter or darker passes, and so does
    // one lit a fifth more on one side than on the other, with the part brighter still. A glare
    // clipped at white in the references and in every frame is no part, however dark the frame.
    RecogRig flat(kW, kH);
    cv::Mat plainGrey(kH, kW, CV_8UC1, cv::Scalar(120));
    const cv::Rect glare(176, 150, 12, 12);
    plainGrey(glare).setTo(255);
    flat.setTemplate(0, 0, plainGrey);
    flat.addRect(0, cv::Rect(100, 100, 100, 80), kFuncDefect, 45, 100, 3);
    flat.addRect(0, cv::Rect(20, 300, 600, 60), kFuncDefect, 45, 100, 3);
    CammerRecong& lit = flat.build();
    const cv::Rect parts[] = {cv::Rect(), cv::Rect(100, 100, 70, 64), cv::Rect(60, 60, 180, 160)};
    for (const double gain : {1.0, 1.12, 0.88})
        for (const double slope : {0.0, 0.2})
            for (const cv::Rect& part : parts) {
                cv::Mat frame = plainGrey.clone();
                if (!part.empty())
                    frame(part) += cv::Scalar(17);
                frame.convertTo(frame, CV_32F, gain);
                for (int x = 0; x < kW; ++x) frame.col(x) *= 1 + slope * (x - kW / 2) / kW;
                frame.convertTo(frame, CV_8U);
                frame(glare).setTo(255);
                flat.setAligned(frame);
                lit.Run(0);
                QVERIFY2(flat.view->roiOk[0][0] == part.empty(), qPrintable(QString("gain %1, slope %2, part %3, value %4")
                                                                                .arg(gain)
                                                                                .arg(slope)
                                                                                .arg(part.width)
                                                                                .arg(flat.view->roiValue[0][0])));
            }
    // A long strip under that gradient is judged at each pixel's own light: its dim end passes
    // clean and shows the part there.
    for (const bool part : {false, true}) {
        cv::Mat frame = plainGrey.clone();
        if (part)
            frame(cv::Rect(30, 310, 40, 40)) += cv::Scalar(17);
        frame.convertTo(frame, CV_32F);
        for (int x = 0; x < kW; ++x) frame.col(x) *= 1 + 0.2 * (x - kW / 2) / kW;
        frame.convertTo(frame, CV_8U);
        flat.setAligned(frame);
        lit.Run(0);
        QVERIFY2(flat.view->roiOk[0][1] != part, qPrintable(QString("strip, value %1").arg(flat.view->roiValue[0][1])));
    }
    // A detailed picture shifted 2 px: its cells scatter, and the ring around a flat region holds
    // only four cells, each across one edge, which the shift darkens alike. Four cells agreeing
    // tell no light: the region's own pixels do, and it passes.
    RecogRig detailed(kW, kH);
    cv::Mat blocks(kH / 8, kW / 8, CV_8UC1);
    cv::RNG(5).fill(blocks, cv::RNG::UNIFORM, 40, 200);
    cv::resize(blocks, blocks, cv::Size(kW, kH), 0, 0, cv::INTER_NEAREST);
    const cv::Rect region(200, 160, 100, 80);
    blocks(cv::Rect(region.tl() - cv::Point(40, 40), region.size() + cv::Size(80, 80))).setTo(0);
    blocks(cv::Rect(region.tl() - cv::Point(3, 3), region.size() + cv::Size(6, 6))).setTo(150);
    for (const cv::Point cell : {cv::Point(176, 128), cv::Point(304, 128), cv::Point(176, 256), cv::Point(304, 256)}) {
        blocks(cv::Rect(cell, cv::Size(12, 24))).setTo(10);  // cells partly over it stay too dark to count
        blocks(cv::Rect(cell + cv::Point(12, 0), cv::Size(12, 24))).setTo(70);
    }
    detailed.setTemplate(0, 0, blocks);
    detailed.addRect(0, region, kFuncDefect, 45, 100, 3);
    CammerRecong& shaken = detailed.build();
    cv::Mat shifted;
    cv::warpAffine(blocks, shifted, cv::Matx23d(1, 0, 2, 0, 1, 0), blocks.size(), cv::INTER_NEAREST, cv::BORDER_REPLICATE);
    detailed.setAligned(shifted);
    shaken.Run(0);
    QVERIFY2(detailed.view->roiOk[0][0], qPrintable(QString("ring of four, value %1").arg(detailed.view->roiValue[0][0])));
    // Where the frame's cells scatter (blocks far off lit each their own way), the ring of cells
    // around a region tells its light: a part over all of the region is found under it; a ring
    // split between two lights tells none, and the region's own brighter light passes; a few of
    // its cells under a bright part are left out of it. Where they scatter a little about a
    // smooth light (a frame a pixel off), ring cells off it are detail: the region passes. A
    // second region at the picture's bottom, whose ring holds the last cells read, alike.
    RecogRig ringed(kW, kH);
    const cv::Mat grey(kH, kW, CV_8UC1, cv::Scalar(120));
    const cv::Rect inner(208, 160, 96, 80), near(140, 92, 232, 216), picture(0, 0, kW, kH);
    const cv::Point low(0, 232);
    ringed.setTemplate(0, 0, grey);
    ringed.addRect(0, inner, kFuncDefect, 45, 100, 3);
    ringed.addRect(0, inner + low, kFuncDefect, 45, 100, 3);
    CammerRecong& ringLit = ringed.build();
    struct RingScene
    {
        const char* name;
        float scatter, left, right, bright, region;  // the blocks' gains 1 +- scatter; gains: the
        bool ok;                                     // ring's halves, its top right cells, the region
    };
    for (const RingScene& s : {RingScene{"part over all of it", 0.2f, 1, 1, 1, 137.f / 120, false},
                               RingScene{"ring split", 0.2f, 0.8f, 1, 1, 1.15f, true},
                               RingScene{"bright ring cells", 0.2f, 1, 1, 2, 1, true},
                               RingScene{"dark ring, frame a pixel off", 0.03f, 0.88f, 0.88f, 0.88f, 1, true}}) {
        cv::Mat gain(kH / 32, kW / 32, CV_32F), frame;
        cv::RNG(9).fill(gain, cv::RNG::UNIFORM, 1 - s.scatter, 1 + s.scatter);
        cv::resize(gain, gain, grey.size(), 0, 0, cv::INTER_NEAREST);
        for (const cv::Point at : {cv::Point(), low}) {
            gain((near + at) & picture).setTo(s.right);
            gain((cv::Rect(near.x, near.y, 256 - near.x, near.height) + at) & picture).setTo(s.left);
            gain(cv::Rect(304, near.y, near.br().x - 304, 200 - near.y) + at).setTo(s.bright);
            gain(inner + at).setTo(s.region);
        }
        grey.convertTo(frame, CV_32F);
        frame = frame.mul(gain);
        frame.convertTo(frame, CV_8U);
        ringed.setAligned(frame);
        ringLit.Run(0);
        for (int r = 0; r < 2; ++r)
            QVERIFY2(ringed.view->roiOk[0][r] == s.ok,
                     qPrintable(QString("%1, region %2, value %3").arg(s.name).arg(r).arg(ringed.view->roiValue[0][r])));
    }
    // Ribs of an even period are read whole, row by row: a blur that evens out their phases is
    // no change of light.
    RecogRig ribbed(kW, kH);
    cv::Mat ribs(kH, kW, CV_8UC1);
    for (int y = 0; y < kH; ++y) ribs.row(y).setTo(y % 6 < 3 ? 160 : 80);
    ribbed.setTemplate(0, 0, ribs);
    ribbed.addRect(0, cv::Rect(100, 100, 100, 80), kFuncDefect, 45, 100, 3);
    CammerRecong& blurredRibs = ribbed.build();
    cv::Mat blurred;
    cv::GaussianBlur(ribs, blurred, cv::Size(0, 0), 1.0);
    ribbed.setAligned(blurred);
    blurredRibs.Run(0);
    QVERIFY2(ribbed.view->roiOk[0][0], qPrintable(QString("blurred ribs, value %1").arg(ribbed.view->roiValue[0][0])));

    // On ribs of 4 and 6 px moved 1 to 3 px, nothing corrected: the frame's light and the
    // region's are read as they are, and a smooth part of the ribs' mean grey is found where they fit,
    // with nearly its whole area also where two touch a ring's outline (a movement along the ribs,
    // which they fit as well, must not judge them against the outline's wider band). A piece of the
    // ribs moved half a period over most of a small circle (too small to tell the ribs' alignment
    // from the piece on its own) is found still and moved, the ribs' alignment read around it.
    for (const int period : {4, 6}) {
        RecogRig moved(kW, kH);
        cv::Mat ribs(kH + 8, kW, CV_8UC1), noise(ribs.size(), CV_8SC1);
        for (int y = 0; y < ribs.rows; ++y) ribs.row(y).setTo(y % period < period / 2 ? 167 : 99);
        cv::RNG(3).fill(noise, cv::RNG::NORMAL, 0, 2);
        cv::add(ribs, noise, ribs, cv::noArray(), CV_8U);
        moved.setTemplate(0, 0, ribs(cv::Rect(0, 4, kW, kH)).clone());
        moved.addRect(0, cv::Rect(100, 100, 100, 80), kFuncDefect, 45, 100, 3);
        moved.addCircle(0, cv::Point(400, 240), 60, 30, kFuncDefect, 45, 100, 3);
        moved.addCircle(0, cv::Point(250, 350), 12, 0, kFuncDefect, 45, 100, 3);
        CammerRecong& movedRec = moved.build();
        for (const int dy : {0, 1, 2, 3, -2})
            for (const bool part : {false, true}) {
                cv::Mat frame = ribs(cv::Rect(0, 4 - dy, kW, kH)).clone();
                if (part) {
                    for (const cv::Rect at : {cv::Rect(130, 120, 20, 20), cv::Rect(446, 233, 14, 14), cv::Rect(393, 181, 14, 14)})
                        frame(at).setTo(133);
                    const cv::Rect piece(240, 340, 20, 20);
                    ribs(piece + cv::Point(0, 4 - dy + period / 2)).copyTo(frame(piece));
                }
                moved.setAligned(frame);
                movedRec.Run(0);
                const int* value = moved.view->roiValue[0];
                const bool found = part ? value[0] > 100 && value[1] >= 2 * OpenedSquareArea(14) * 7 / 8 && value[2] > 100
                                        : value[0] == 0 && value[1] == 0 && value[2] == 0;
                QVERIFY2(found && moved.view->roiOk[0][0] != part,
                         qPrintable(QString("ribs %1 moved %2, values %3 %4 %5")
                                        .arg(period).arg(dy).arg(value[0]).arg(value[1]).arg(value[2])));
            }
    }

    // Pieces of ribs and knurls moved half a period, in scenes of the floor's generator where the
    // band alone takes a movement that carries them into the strip it uncovers or onto the
    // texture's other phase: the references' own values keep the crop where it lies.
    floorgen::Tally t;
    for (const unsigned seed : {11u, 265u, 337u, 960629u, 960783u}) floorgen::Evaluate(floorgen::Draw(seed), {}, t);
    const floorgen::Count& pieces = t.by[3]["moved piece"];
    QVERIFY2(pieces.partsAsked >= 8 && pieces.partsMissed == 0,
             qPrintable(QString("%1 of %2 missed").arg(pieces.partsMissed).arg(pieces.partsAsked)));
}

void TestRecognition::defectJudgementHonoursTemplateIsNg()
{
    RecogRig rig(kW, kH);
    const cv::Mat templ = Flat(150);
    rig.setTemplate(0, 0, templ);
    rig.setTemplate(2, 0, templ);
    rig.para->detectEnabled[2] = 1;
    rig.para->templateIsNg[0] = 1;
    rig.addRect(0, cv::Rect(50, 50, 100, 100), kFuncDefect, 45, 100, 3);
    rig.addRect(2, cv::Rect(50, 50, 100, 100), kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;

    rig.setAligned(templ);  // within the limit: inverted to NG
    rec.Run(0);
    QVERIFY(!v.roiOk[0][0]);
    QVERIFY(!v.cameraOk);
    QCOMPARE(Record(0, 0, 0).cameraOk, 0);
    cv::Mat big = templ.clone();
    Square(big, 60, 60, 30, 0);  // above the limit: inverted to OK
    rig.setAligned(big);
    rec.Run(0);
    QVERIFY(v.roiOk[0][0]);
    QVERIFY(v.cameraOk);

    // Detection 2 in mode 0 has no flag of its own and is never inverted.
    rec.Run(2);
    QVERIFY(!v.roiOk[2][0]);
    // In the two-colour mode detection 2 takes the flag of detection 0.
    rig.para->detectMode = 1;
    rec.Run(2);
    QVERIFY(v.roiOk[2][0]);
}

void TestRecognition::defectLimitsComeFromTheRegionWhenAllParametersAreShown()
{
    RecogRig rig(kW, kH);
    const cv::Mat templ = Flat(150);
    rig.setTemplate(0, 0, templ);
    // The region's own limit and opening differ from the global ones.
    rig.addRect(0, cv::Rect(50, 50, 120, 100), kFuncDefect, 45, 1000, 3);
    rig.para->filterArea = 100;
    rig.para->filterSize = 25;  // would open the 20 x 20 blob away
    rig.para->showAllParams = 1;
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    cv::Mat blob = templ.clone();
    Square(blob, 80, 80, 20, 0);
    rig.setAligned(blob);
    rec.Run(0);
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(20));  // 359: above 100, within 1000
    QVERIFY(v.roiOk[0][0]);
    QCOMPARE(Record(0, 0, 0).high, 1000);

    rig.storeA->para2[0][0] = 100;
    rig.para->filterArea = 1000;
    rec.Run(0);
    QVERIFY(!v.roiOk[0][0]);

    // With the parameters hidden the global limit and opening hold.
    rig.para->showAllParams = 0;
    rig.para->filterSize = 3;
    rig.storeA->para3[0][0] = 25;
    rec.Run(0);
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(20));
    QVERIFY(v.roiOk[0][0]);
    rig.para->filterArea = 100;
    rec.Run(0);
    QVERIFY(!v.roiOk[0][0]);
}

void TestRecognition::spotMeasuresTheAreaInsideTheGreyBand()
{
    RecogRig rig(kW, kH);
    cv::Mat pic = Flat(200);
    Square(pic, 110, 110, 10, 20);
    Square(pic, 150, 150, 20, 40);
    Square(pic, 220, 120, 15, 100);  // outside the band
    Square(pic, 400, 400, 20, 10);   // outside the region
    // Band written reversed (byte 0 = 50, byte 1 = 0): used as 0..50.
    rig.addRect(0, cv::Rect(100, 100, 200, 150), kFuncSpot, 80, 500, 50);
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    const int area = OpenedSquareArea(10) + OpenedSquareArea(20);
    QCOMPARE(v.roiValue[0][0], area);
    QVERIFY(v.cameraOk);
    QCOMPARE(v.roiBoxes[0][0][0][0], 2);
    QCOMPARE(Record(0, 0, 0).low, 80);
    QCOMPARE(Record(0, 0, 0).high, 500);

    // Both limits belong to the band: an area equal to either passes.
    rig.storeA->para1[0][0] = area;
    rec.Run(0);
    QVERIFY(v.roiOk[0][0]);
    rig.storeA->para1[0][0] = 80;
    rig.storeA->para2[0][0] = area;
    rec.Run(0);
    QVERIFY(v.roiOk[0][0]);

    rig.storeA->para2[0][0] = area - 1;  // above the maximum
    rec.Run(0);
    QVERIFY(!v.cameraOk);
    rig.storeA->para2[0][0] = 500;
    rig.storeA->para1[0][0] = area + 1;  // below the minimum
    rec.Run(0);
    QVERIFY(!v.roiOk[0][0]);

    // Band 50..200 (byte 0 = 200, byte 1 = 50) takes in the third square and the background.
    rig.storeA->para1[0][0] = 0;
    rig.storeA->para2[0][0] = 100000;
    rig.storeA->para3[0][0] = 200 | (50 << 8);
    rec.Run(0);
    QCOMPARE(v.roiValue[0][0], 199 * 149);  // one outer contour: holes do not count
}

void TestRecognition::blackAndWhiteAreasMeasureTheirBands()
{
    RecogRig rig(kW, kH);
    cv::Mat pic = Flat(128);
    Square(pic, 20, 20, 12, 30);    // dark, in the black region
    Square(pic, 320, 20, 16, 230);  // bright, in the white region
    Square(pic, 340, 60, 16, 30);   // dark, in the white region: not counted
    Square(pic, 150, 100, 14, 30);  // dark, in the black region over ignore points: not counted
    rig.ignore(0)(cv::Rect(145, 95, 24, 24)).setTo(255);
    rig.addRect(0, cv::Rect(0, 0, 300, 200), kFuncBlackArea, 60, 100);
    rig.addRect(0, cv::Rect(300, 0, 300, 200), kFuncWhiteArea, 200, 300);
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(12));
    QCOMPARE(v.roiValue[0][1], OpenedSquareArea(16));
    QVERIFY(!v.roiOk[0][0]);  // 119 > 100
    QVERIFY(v.roiOk[0][1]);   // 223 <= 300
    QVERIFY(!v.cameraOk);
    QCOMPARE(Record(0, 0, 1).low, 0);
    QCOMPARE(Record(0, 0, 1).high, 300);
    // The record's flag is the camera's state after its region.
    QCOMPARE(Record(0, 0, 1).cameraOk, 0);
}

void TestRecognition::similarityReportsTheScore()
{
    RecogRig rig(kW, kH);
    const cv::Mat templ = Scene(31);
    rig.setTemplate(0, 0, templ);
    rig.addRect(0, cv::Rect(200, 150, 192, 144), kFuncSimilarity, 80);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    QVERIFY(rec.surf[0][0].IsValid());

    rig.setAligned(templ);
    rec.Run(0);
    QVERIFY2(v.roiValue[0][0] >= 98, qPrintable(QString::number(v.roiValue[0][0])));
    QVERIFY(v.cameraOk);
    QCOMPARE(Record(0, 0, 0).value, 0);  // the record carries the area of the departures
    QCOMPARE(Record(0, 0, 0).low, 80);
    QCOMPARE(Record(0, 0, 0).high, -1);

    cv::Mat changed = templ.clone();
    changed(cv::Rect(230, 170, 120, 100)).setTo(250);
    rig.setAligned(changed);
    rec.Run(0);
    QVERIFY2(v.roiValue[0][0] < 80, qPrintable(QString::number(v.roiValue[0][0])));
    QVERIFY(!v.cameraOk);
    QVERIFY(v.roiBoxes[0][0][0][0] >= 1);  // the departure is drawn
    QVERIFY(Record(0, 0, 0).value > 0);

    // An untrained matcher scores 0.
    rig.addRect(0, cv::Rect(10, 10, 50, 50), kFuncSimilarity, 1);
    rec.Run(0);
    QCOMPARE(v.roiValue[0][1], 0);
    QVERIFY(!v.roiOk[0][1]);
}

// The area limits of the defect, black and white areas let a value equal to the limit pass and
// one more fail; a similarity equal to its minimum passes, one below fails; the grey bands of
// the black and white areas hold their threshold itself.
void TestRecognition::valuesExactlyOnTheirLimitsPass()
{
    RecogRig rig(kW, kH);
    const cv::Mat templ = Scene(31);
    rig.setTemplate(0, 0, templ);
    rig.addRect(0, cv::Rect(20, 20, 200, 150), kFuncBlackArea, 60, 0);
    rig.addRect(0, cv::Rect(320, 20, 200, 150), kFuncWhiteArea, 200, 0);
    rig.addRect(0, cv::Rect(200, 250, 192, 144), kFuncSimilarity, 80);
    rig.addRect(0, cv::Rect(20, 300, 150, 150), kFuncDefect, 45, 0, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;

    cv::Mat pic = templ.clone();
    pic(cv::Rect(20, 20, 200, 150)).setTo(128);
    pic(cv::Rect(320, 20, 200, 150)).setTo(128);
    Square(pic, 40, 40, 12, 60);    // exactly the black threshold: in the band
    Square(pic, 120, 40, 12, 61);   // one above: not
    Square(pic, 340, 40, 16, 200);  // exactly the white threshold: in the band
    Square(pic, 420, 40, 16, 199);  // one below: not
    Square(pic, 60, 340, 14, 255);  // a defect blob on the flat-free scene
    rig.setAligned(pic);
    rec.Run(0);
    const int black = v.roiValue[0][0], white = v.roiValue[0][1], score = v.roiValue[0][2], defect = v.roiValue[0][3];
    QCOMPARE(black, OpenedSquareArea(12));
    QCOMPARE(white, OpenedSquareArea(16));
    QVERIFY2(defect > 0, qPrintable(QString::number(defect)));

    rig.storeA->para2[0][0] = black;
    rig.storeA->para2[0][1] = white;
    rig.storeA->para1[0][2] = score;
    rig.para->filterArea = defect;
    rec.Run(0);
    for (int r = 0; r < 4; ++r) QVERIFY2(v.roiOk[0][r], qPrintable(QString("region %1 on its limit").arg(r)));
    QVERIFY(v.cameraOk);

    rig.storeA->para2[0][0] = black - 1;
    rig.storeA->para2[0][1] = white - 1;
    rig.storeA->para1[0][2] = score + 1;
    rig.para->filterArea = defect - 1;
    rec.Run(0);
    for (int r = 0; r < 4; ++r) QVERIFY2(!v.roiOk[0][r], qPrintable(QString("region %1 past its limit").arg(r)));
}

void TestRecognition::numbersCountBlobsAndCapTheBoxes()
{
    RecogRig rig(kW, kH);
    cv::Mat pic = Flat(40);
    for (int k = 0; k < 5; ++k) Square(pic, 20 + 30 * k, 20, 6, 220);  // five bright dots
    pic(cv::Rect(0, 200, 160, 130)).setTo(200);                        // a bright field with 120 dark dots
    for (int k = 0; k < 120; ++k) Square(pic, 10 + 12 * (k % 12), 210 + 12 * (k / 12), 5, 10);
    const int band1to100 = 1 | (100 << 16);
    rig.addRect(0, cv::Rect(0, 0, 200, 60), kFuncWhiteNumber, 128, band1to100, 1);
    rig.addRect(0, cv::Rect(0, 200, 160, 130), kFuncBlackNumber, 128, band1to100, 1);
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    QCOMPARE(v.roiValue[0][0], 5);
    QVERIFY(v.roiOk[0][0]);
    QCOMPARE(v.roiValue[0][1], 120);                             // every blob counts ...
    QCOMPARE(v.roiBoxes[0][1][0][0], 99);                        // ... 99 are drawn
    QVERIFY(!v.roiOk[0][1]);                                     // above the band's 100
    QCOMPARE(Record(0, 0, 1).value, 120 * OpenedSquareArea(5));  // the record carries the area
    QCOMPARE(Record(0, 0, 1).low, 1);
    QCOMPARE(Record(0, 0, 1).high, 100);

    // A count band written reversed is used swapped: 100..1 is 1..100.
    rig.storeA->para2[0][0] = 100 | (1 << 16);
    rec.Run(0);
    QVERIFY(v.roiOk[0][0]);
    QCOMPARE(Record(0, 0, 0).low, 1);
    rig.storeA->para2[0][0] = 3 | (2 << 16);  // 2..3: five is too many
    rec.Run(0);
    QVERIFY(!v.roiOk[0][0]);
}

void TestRecognition::numbersClearTheBandWhenTheKernelFillsTheRegion()
{
    RecogRig rig(kW, kH);
    cv::Mat pic = Flat(40);
    Square(pic, 100, 100, 20, 220);
    // para3 = 10 on a 20 x 20 region: k = 21 >= 18, nothing is counted.
    rig.addRect(0, cv::Rect(100, 100, 20, 20), kFuncWhiteNumber, 128, 1 | (100 << 16), 10);
    // para3 = 8: k = 17 < 18, the blob survives the opening when judging.
    rig.addRect(0, cv::Rect(100, 100, 20, 20), kFuncWhiteNumber, 128, 1 | (100 << 16), 8);
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    QCOMPARE(v.roiValue[0][0], 0);
    QVERIFY(!v.roiOk[0][0]);
    QCOMPARE(v.roiValue[0][1], 1);
    QVERIFY(v.roiOk[0][1]);
}

void TestRecognition::colourSpotMeasuresTheColourBand()
{
    RecogRig rig(kW, kH, true);
    // Pixels in memory order B, G, R, A.
    cv::Mat pic(kH, kW, CV_8UC4, cv::Scalar(90, 90, 90, 0));
    pic(cv::Rect(120, 120, 20, 20)).setTo(cv::Scalar(20, 30, 220, 0));  // red
    // Blue, outside the band, and of another size, so that planes read in the wrong order
    // would measure a different area.
    pic(cv::Rect(160, 120, 26, 26)).setTo(cv::Scalar(220, 30, 20, 0));
    auto band = [](int lo, int hi) { return lo | (hi << 16); };
    // para1 bands byte 2 (red), para2 byte 1, para3 byte 0; the red band is given reversed.
    rig.addRect(0, cv::Rect(100, 100, 200, 100), kFuncColorSpot, band(255, 150), band(0, 80), band(0, 80));
    CammerRecong& rec = rig.build();
    std::memcpy(rig.view->alignedImage, pic.data, rig.view->imageBytes);
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(20));
    QVERIFY(v.cameraOk);
    QCOMPARE(Record(0, 0, 0).low, -1);

    rig.para->colorMaxArea = 300;
    rec.Run(0);
    QVERIFY(!v.cameraOk);

    // On a grey camera the colour function measures nothing.
    RecogRig grey(kW, kH);
    grey.addRect(0, cv::Rect(100, 100, 200, 100), kFuncColorSpot, band(0, 255), band(0, 255), band(0, 255));
    CammerRecong& greyRec = grey.build();
    grey.setAligned(Flat(100));
    greyRec.Run(0);
    QCOMPARE(grey.view->roiValue[0][0], 0);
    QVERIFY(!grey.view->cameraOk);  // below the colour minimum area 1
}

void TestRecognition::brightnessMatchingJudgesADimmerPicture()
{
    RecogRig rig(kW, kH);
    cv::Mat templ = Scene(12);
    rig.setTemplate(0, 0, templ);
    rig.addRect(0, cv::Rect(100, 100, 400, 250), kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    QVERIFY(rec.norm[0] > 0);
    cv::Mat dim;
    templ.convertTo(dim, CV_8UC1, 0.55);
    rig.setAligned(dim);
    rec.Run(0);
    QVERIFY(!rig.view->cameraOk);
    rig.para->matchBrightness = 1;
    rec.Run(0);
    QVERIFY2(rig.view->cameraOk, qPrintable(QString::number(rig.view->roiValue[0][0])));
}

void TestRecognition::regionsThatCannotBeJudgedFailTheCamera()
{
    RecogRig rig(kW, kH);
    CammerRecogData& v = *rig.view;
    {
        CammerRecong& rec = rig.build();
        rig.setAligned(Flat(100));
        rec.Run(0);  // no regions
        QVERIFY(v.cameraOk);
        QVERIFY(TNR_NETMN::getInstance()->roiCache.isEmpty());
    }
    cv::Mat pic = Flat(200);
    Square(pic, 320, 120, 10, 0);
    rig.addRect(0, cv::Rect(10, 10, 50, 50), kFuncBlackArea, 60, 100);
    rig.addRect(0, cv::Rect(300, 100, 100, 100), kFuncBlackArea, 60, 1000);
    rig.view->workMasks[0][0] = cv::Mat();  // code -1
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    QTest::ignoreMessage(QtWarningMsg, "REG RUN ERROR = 0, 0, -1");
    rec.Run(0);
    QVERIFY(!v.cameraOk);
    QVERIFY(v.roiOk[0][0]);  // the region itself keeps its pass flag
    QVERIFY(!HasRecord(0, 0, 0));
    QCOMPARE(v.roiValue[0][1], OpenedSquareArea(10));  // the next region is still judged
    QVERIFY(v.roiOk[0][1]);
    QVERIFY(HasRecord(0, 0, 1));

    // Detection 1 was never trained: it has no judging mask (code -2).
    rig.addRect(1, cv::Rect(10, 10, 50, 50), kFuncBlackArea, 60, 100);
    QTest::ignoreMessage(QtWarningMsg, "REG RUN ERROR = 0, 1, -2");
    rec.Run(1);
    QVERIFY(!v.cameraOk);

    // A polygon of two points encloses nothing: it cannot be judged either (code -1), where
    // its all-zero mask would otherwise let it pass forever.
    rig.para->detectEnabled[3] = 1;
    rig.addRect(3, cv::Rect(300, 100, 100, 100), kFuncBlackArea, 60, 10);
    RePolygon& line = rig.storeA->polygons[3][0];
    rig.storeA->shapeType[3][0] = kShapePolygon;
    line.count = 2;
    line.imagePoints[0] = QPoint(300, 100);
    line.imagePoints[1] = QPoint(400, 200);
    line.imageRect = QRect(300, 100, 100, 100);
    rig.view->workMasks[3][0] = line.UpdateMask();
    QCOMPARE(cv::countNonZero(rig.view->workMasks[3][0]), 0);
    rec.VarTrain(3);
    QTest::ignoreMessage(QtWarningMsg, "REG RUN ERROR = 0, 3, -1");
    rec.Run(3);
    QVERIFY(!v.cameraOk);
    QVERIFY(!HasRecord(0, 3, 0));
    line.count = 3;  // a triangle is judged: the square lies inside it
    line.imagePoints[1] = QPoint(400, 100);
    line.imagePoints[2] = QPoint(300, 200);
    rig.view->workMasks[3][0] = line.UpdateMask();
    rec.VarTrain(3);
    rec.Run(3);
    QVERIFY(HasRecord(0, 3, 0));
    QCOMPARE(v.roiValue[3][0], OpenedSquareArea(10));
    QVERIFY(!v.cameraOk);  // 79 above 10

    // Correction-only regions are neither judged nor recorded.
    rig.addRect(2, cv::Rect(10, 10, 50, 50), kFuncPosition);
    rig.view->roiValue[2][0] = 77;
    rec.Run(2);
    QVERIFY(v.cameraOk);
    QCOMPARE(v.roiValue[2][0], 0);
    QVERIFY(!HasRecord(0, 2, 0));
}

void TestRecognition::regionsLeavingThePictureAreClipped()
{
    RecogRig rig(kW, kH);
    cv::Mat pic = Flat(200);
    Square(pic, 610, 450, 20, 0);
    // Drawn at another screen scale: the rectangle runs 60 pixels past the corner.
    rig.addRect(0, cv::Rect(600, 440, 100, 100), kFuncBlackArea, 60, 1000);
    rig.addRect(0, cv::Rect(700, 100, 50, 50), kFuncBlackArea, 60, 1000);  // wholly outside
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    QTest::ignoreMessage(QtWarningMsg, "REG RUN ERROR = 0, 0, -3");
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    QCOMPARE(v.roiValue[0][0], OpenedSquareArea(20));
    QVERIFY(v.roiOk[0][0]);
    QVERIFY(!v.cameraOk);
    QVERIFY(!HasRecord(0, 0, 1));
}

void TestRecognition::kernelsOfZeroOrLessAreUsedAsOne()
{
    RecogRig rig(kW, kH);
    rig.para->minSpot = 0;
    rig.para->showAllParams = 1;
    cv::Mat pic = Flat(200);
    Square(pic, 110, 110, 10, 0);
    rig.setTemplate(0, 0, Flat(200));
    rig.addRect(0, cv::Rect(100, 100, 50, 50), kFuncBlackArea, 60, 1000);
    rig.addRect(0, cv::Rect(100, 100, 50, 50), kFuncDefect, 45, 1000, -4);
    rig.addRect(0, cv::Rect(100, 100, 50, 50), kFuncBlackNumber, 60, 1 | (5 << 16), -3);
    // Sizes no crop can hold: nothing survives the opening, and nothing huge is allocated.
    rig.addRect(0, cv::Rect(100, 100, 50, 50), kFuncDefect, 45, 1000, 1 << 30);
    rig.addRect(0, cv::Rect(100, 100, 50, 50), kFuncBlackNumber, 60, 5 << 16, INT_MAX);
    CammerRecong& rec = rig.build();
    rig.setAligned(pic);
    rec.Run(0);
    CammerRecogData& v = *rig.view;
    QCOMPARE(v.roiValue[0][0], 81);  // unopened 10 x 10 square
    QCOMPARE(v.roiValue[0][1], 81);
    QCOMPARE(v.roiValue[0][2], 1);
    QCOMPARE(v.roiValue[0][3], 0);
    QCOMPARE(v.roiValue[0][4], 0);
    QVERIFY(v.cameraOk);
}

void TestRecognition::trainingAddsOnlyCountedTemplatesAndCopiesIgnoreAreas()
{
    RecogRig rig(kW, kH, false, 4);
    for (int k = 0; k < 3; ++k) rig.setTemplate(0, k, Scene(40 + k));
    rig.view->templateCount[0] = 2;  // three valid pictures, two counted
    rig.addRect(0, cv::Rect(100, 100, 100, 100), kFuncDefect, 45, 100, 3);
    rig.addRect(0, cv::Rect(300, 100, 100, 100), kFuncSimilarity, 80);
    rig.addRect(0, cv::Rect(50, 300, 80, 60), kFuncIgnore);
    rig.ignore(0)(cv::Rect(60, 310, 10, 10)).setTo(255);
    rig.addRect(0, cv::Rect(600, 440, 80, 60), kFuncIgnore);  // runs past the corner
    rig.ignore(0)(cv::Rect(620, 450, 10, 10)).setTo(255);
    CammerRecong& rec = rig.build();
    QCOMPARE(rec.grayMatch[0][0].tempCount, 2);
    QCOMPARE(int(rec.surf[0][1].refs.size()), 2);
    QVERIFY(!rec.grayMatch[0][1].IsValid());
    // The norm is that of the last picture used.
    QCOMPARE(rec.norm[0], cv::norm(Scene(41), cv::NORM_L2));
    // The ignore area's mask is the ignore picture inside its rectangle; the judging mask
    // is the ignore picture inverted.
    const cv::Mat& m = rig.view->workMasks[0][2];
    QCOMPARE(m.size(), cv::Size(80, 60));
    QCOMPARE(cv::countNonZero(m), 100);
    QCOMPARE(int(m.at<unsigned char>(10, 10)), 255);
    QCOMPARE(cv::countNonZero(rec.detMask[0]), kW * kH - 200);
    // Past the picture's edge the mask keeps the shape's size and place.
    const cv::Mat& edge = rig.view->workMasks[0][3];
    QCOMPARE(edge.size(), cv::Size(80, 60));
    QCOMPARE(cv::countNonZero(edge), 100);
    QCOMPARE(int(edge.at<unsigned char>(10, 20)), 255);

    // Without any valid picture the matchers stay untrained and the norm is kept.
    const double norm = rec.norm[0];
    for (int k = 0; k < 4; ++k) rig.view->templateValid[0][k] = 0;
    rec.VarTrain(0);
    QVERIFY(!rec.grayMatch[0][0].IsValid());
    QVERIFY(!rec.surf[0][1].IsValid());
    QCOMPARE(rec.norm[0], norm);
}

void TestRecognition::trainingWithoutBuffersIsSkipped()
{
    RecogRig rig(kW, kH);
    CammerRecogData bare;  // buffers never prepared
    rig.para->motionCorrect = 0;
    rig.para->angleCorrect = 1;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^perspective model skipped"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^position model skipped"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^training skipped"));
    CammerRecong rec(rig.storeA.get(), &bare);
    QVERIFY(!rec.findShape[0].IsValid());
    rec.Run(0);
    QVERIFY(!bare.cameraOk);
    rec.RunTest(0, 0);
    QCOMPARE(rec.HomoTransShape(0), 1);
    rec.ShapeMatch();
}

void TestRecognition::previewMeasuresTheEditedRegion()
{
    RecogRig rig(kW, kH);
    cv::Mat pic = Flat(40);
    Square(pic, 100, 100, 20, 220);
    Square(pic, 300, 300, 12, 220);
    Square(pic, 330, 300, 12, 220);
    rig.setTemplate(0, 1, pic);
    rig.view->curTempIndex = 1;
    rig.addRect(0, cv::Rect(100, 100, 20, 20), kFuncWhiteNumber, 128, 1 | (100 << 16), 8);
    rig.addRect(0, cv::Rect(290, 290, 80, 40), kFuncWhiteArea, 128, 10);
    rig.addRect(0, cv::Rect(290, 290, 80, 40), kFuncDefect, 45, 10, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;

    // The preview bound is one lower than the judgement's: k = 17 clears a 20 x 20 region.
    rec.RunTest(0, 0);
    QCOMPARE(v.roiValue[0][0], 0);
    QVERIFY(v.showTestMask);

    rec.RunTest(0, 1);
    QCOMPARE(v.roiValue[0][1], 2 * OpenedSquareArea(12));
    QCOMPARE(cv::countNonZero(v.GrayMat(v.displayMask)), 2 * (12 * 12 - 4));
    QVERIFY(!HasRecord(0, 0, 1));  // nothing is judged or recorded

    // The preview works on the edit store: a change there shows, the working store keeps its own.
    rig.storeB->para1[0][1] = 250;
    rec.RunTest(0, 1);
    QCOMPARE(v.roiValue[0][1], 0);
    QCOMPARE(rig.storeA->para1[0][1], 128);

    // Defect regions only clear the overlay and the value.
    v.roiValue[0][2] = 55;
    rec.RunTest(0, 2);
    QCOMPARE(v.roiValue[0][2], 0);
    QCOMPARE(cv::countNonZero(v.GrayMat(v.displayMask)), 0);
    rec.RunTest(0, 7);  // no such region
    QCOMPARE(v.roiValue[0][7], 0);
}

MONITOR_TEST_MAIN(TestRecognition)
#include "tst_recognition.moc"
