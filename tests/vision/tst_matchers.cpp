// Tests of the matchers GrayMatch, SURF, FindShape and of the perspective correction ImgHomoTrans.
#include <cmath>

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include "cammerrecongnize.h"
#include "findshape.h"
#include "graymatch.h"
#include "graymatch_masks.h"
#include "imghomotrans.h"
#include "miscfunc.h"
#include "simscene.h"
#include "surf.h"
#include "testsupport.h"

namespace {
cv::Mat Scene(int w, int h, quint32 seed = 7, double noise = 0, quint32 noiseSeed = 0)
{
    SimSceneOptions o;
    o.width = w;
    o.height = h;
    o.seed = seed;
    o.noise = noise;
    o.noiseSeed = noiseSeed;
    return SimScene::render(o);
}

cv::Mat Shifted(const cv::Mat& src, int dx, int dy)
{
    cv::Mat out(src.size(), src.type());
    MoveImage(src, out, dx, dy);
    return out;
}

// Rotation in cv::getRotationMatrix2D's convention about c (counter-clockwise on screen).
cv::Mat Rotated(const cv::Mat& src, cv::Point2f c, double angle)
{
    cv::Mat out;
    cv::warpAffine(src, out, cv::getRotationMatrix2D(c, angle, 1.0), src.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    return out;
}

double Mad(const cv::Mat& a, const cv::Mat& b, cv::Rect r)
{
    cv::Mat d;
    cv::absdiff(a(r), b(r), d);
    return cv::mean(d)[0];
}

// The hue picture of a BGR colour picture.
cv::Mat HueOf(const cv::Mat& bgr)
{
    cv::Mat bgra, hue(bgr.size(), CV_8UC1);
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    RGBA2Hue(hue.data, reinterpret_cast<int*>(bgra.data), bgr.cols, bgr.rows);
    return hue;
}
}  // namespace

class TestMatchers : public QObject
{
    Q_OBJECT

private slots:
    void grayMatchMarksADefectAndHonoursItsMask();
    void grayMatchToleranceFollowsSensitivityAndAmplify();
    void grayMatchTakesAMovementOnlyWhereItExplainsTheCrop();
    void grayMatchKeepsThePlainMarksOfAStrandOnAStillTexture();
    void grayMatchMarksOfEachShapeAfterAMovement();
    void floorOpeningsAgreeWithTheGeneralFilter();
    void grayMatchIsInvalidUntilTrainedWithAPicture();
    void grayMatchBandWidensWithEveryTemplate();
    void hueZeroOfGreyPixelsIsNoHue();
    void hueMatchWithColourMarksWhatThePlainColourComparisonFinds();
    void surfScoresSimilarityAndToleratesSmallShifts();
    void surfMarksDeparturesOnlyWhenFailing();
    void surfGridCellsAreAreaMeansOfTheCrop();
    void findShapeReportsTheCorrectingShift();
    void findShapeReportsTheCorrectingRotation();
    void findShapeRefusesFlatPatternsAndMissingShapes();
    void homographyBringsAWarpedPictureBack();
    void homographyRefusesUniformPicturesAndBadMasks();
};

void TestMatchers::grayMatchMarksADefectAndHonoursItsMask()
{
    const cv::Mat ref = Scene(200, 150)(cv::Rect(20, 20, 120, 100)).clone();
    cv::Mat bad = ref.clone();
    cv::rectangle(bad, cv::Rect(40, 30, 20, 20), cv::Scalar(0), cv::FILLED);

    GrayMatch gm;
    gm.Create(ref.cols, ref.rows, cv::Mat(), 0);
    gm.AddTemp(ref);
    gm.Train(45, 0, 100, 150);
    QVERIFY(gm.IsValid());

    cv::Mat diff;
    gm.Match(ref, diff);
    QCOMPARE(cv::countNonZero(diff), 0);
    gm.Match(bad, diff);
    QCOMPARE(diff.size(), ref.size());
    // Everything marked lies in the blob, and nearly all of the blob is marked (its pixels
    // that were already dark in the reference cannot depart).
    QCOMPARE(cv::countNonZero(diff(cv::Rect(40, 30, 20, 20))), cv::countNonZero(diff));
    QVERIFY2(cv::countNonZero(diff) > 300, qPrintable(QString::number(cv::countNonZero(diff))));

    // A faint part on a fine grain (inside every pixel's band there) departs through the means
    // around it: what is marked is the part and a pixel of rim, not the means' windows beyond. Also
    // in the crop's rim, whose means read the picture around the crop as the references' did (a
    // fainter part there: its means hold more of the grain beyond the crop), beside a dark edge of
    // the frame a pixel outside the crop. Where that edge lies a pixel farther off, under sensor
    // noise, the rim's means (read on what lies there, not mirrored) stay in their band.
    {
        cv::Mat grain(106, 126, CV_32F), wide, edged, noise(106, 126, CV_16SC1);
        cv::theRNG().state = 77;
        cv::randn(grain, 0, 1);
        cv::GaussianBlur(grain, grain, cv::Size(0, 0), 0.8);
        cv::normalize(grain, grain, 60, 180, cv::NORM_MINMAX);
        grain.convertTo(wide, CV_8U);
        const cv::Mat even = wide.clone();  // the grain alone, for the movements below
        edged = wide.clone();
        wide.col(2).setTo(10);
        edged.col(1).setTo(10);
        cv::randn(noise, 0, 3);
        cv::add(edged, noise, edged, cv::noArray(), CV_8U);
        const cv::Rect crop(3, 3, 120, 100);
        GrayMatch furry;
        furry.Create(crop.width, crop.height, cv::Mat(), 0);
        furry.AddTemp(wide(crop));
        furry.AddContext(wide, crop);
        furry.Train(45, 0, 100, 150);
        furry.Match(wide(crop), diff, 0, 0, cv::Mat(), wide);  // the grain as taught: nothing
        QCOMPARE(cv::countNonZero(diff), 0);
        furry.Match(edged(crop), diff, 0, 0, cv::Mat(), edged);
        QCOMPARE(cv::countNonZero(diff), 0);
        for (const auto& [part, contrast] : {std::pair(cv::Rect(40, 30, 16, 16), 35), std::pair(cv::Rect(0, 30, 3, 16), 15)}) {
            cv::Mat live = wide.clone();
            live(part + crop.tl()).setTo(cv::mean(wide(part + crop.tl()))[0] + contrast);
            furry.Match(live(crop), diff, 0, 0, cv::Mat(), live);
            const cv::Rect rim = cv::Rect(part.x - 1, part.y - 1, part.width + 2, part.height + 2) &
                                 cv::Rect(cv::Point(), crop.size());
            QCOMPARE(cv::countNonZero(diff(rim)), cv::countNonZero(diff));
            QVERIFY2(cv::countNonZero(diff(part)) > part.area() / 2,
                     qPrintable(QString::number(cv::countNonZero(diff(part)))));
        }
        // After a movement too: a strip 2 px in, where the references' rim lands and the means
        // compare the grain their windows read around them with the frame's around it. A turn the
        // movement explains only in part leaves the rim's means as quiet as the rest (on a coarser
        // grain too, turned 1.5 deg: its rim lies over a pixel off where the middle puts it), and a region
        // that leaves a corner out, whose frame means read the region moved with the references,
        // stays quiet where they lie. (No dark edge here: beside one the means' band is as wide as
        // the edge's move.)
        GrayMatch grainy;
        grainy.Create(crop.width, crop.height, cv::Mat(), 0);
        grainy.AddTemp(even(crop));
        grainy.AddContext(even, crop);
        grainy.Train(45, 0, 100, 150);
        cv::Mat cornerless(crop.size(), CV_8UC1, cv::Scalar(255));
        cornerless(cv::Rect(100, 80, 20, 20)).setTo(0);
        GrayMatch cut;
        cut.Create(crop.width, crop.height, cornerless, 0);
        cut.AddTemp(even(crop));
        cut.Train(45, 0, 100, 150);
        cv::Mat broad;
        cv::GaussianBlur(even, broad, cv::Size(0, 0), 2.5);
        cv::normalize(broad, broad, 60, 180, cv::NORM_MINMAX);
        GrayMatch coarse;
        coarse.Create(crop.width, crop.height, cv::Mat(), 0);
        coarse.AddTemp(broad(crop));
        coarse.AddContext(broad, crop);
        coarse.Train(45, 0, 100, 150);
        struct Moved
        {
            const GrayMatch& model;
            const cv::Mat& picture;
            cv::Point shift;
            double turn;
            cv::Rect part;  // empty: a clean frame
        };
        for (const Moved& m : {Moved{grainy, even, {2, -2}, 0, {2, 30, 2, 16}}, Moved{grainy, even, {2, 1}, 0.6, {}},
                               Moved{coarse, broad, {2, -2}, 1.5, {}}, Moved{cut, even, {2, -2}, 0, {}},
                               Moved{cut, even, {-3, 2}, 0, {}}}) {
            cv::Mat live = Shifted(Rotated(m.picture, cv::Point2f(63, 53), m.turn), m.shift.x, m.shift.y);
            if (!m.part.empty())
                live(m.part + crop.tl()).setTo(cv::mean(live(m.part + crop.tl()))[0] + 20);
            m.model.Match(live(crop), diff, 0, 0, cv::Mat(), m.model.wholeMask ? live : cv::Mat());
            const QString at = QString("%1, %2 turned %3").arg(m.shift.x).arg(m.shift.y).arg(m.turn);
            // (clean: nothing where the references lie; the strip the movement uncovers is judged apart)
            const cv::Rect seen = cv::Rect(cv::Point(), crop.size()) & (cv::Rect(cv::Point(), crop.size()) + m.shift);
            if (m.part.empty())
                QVERIFY2(cv::countNonZero(diff(seen)) == 0, qPrintable(at + QString(": %1").arg(cv::countNonZero(diff(seen)))));
            else
                QVERIFY2(cv::countNonZero(diff(m.part)) > m.part.area() / 2,
                         qPrintable(at + QString(": %1").arg(cv::countNonZero(diff(m.part)))));
        }
    }

    // The pieces of a part (where it lies partly on a surface of its own brightness) are weighed
    // as one: marks up to 6 px apart are joined over the gap, marks 7 px apart stay two.
    for (const int gap : {6, 7}) {
        const cv::Mat flat(100, 120, CV_8UC1, cv::Scalar(150));
        GrayMatch pieces;
        pieces.Create(flat.cols, flat.rows, cv::Mat(), 0);
        pieces.AddTemp(flat);
        pieces.Train(45, 0, 100, 150);
        cv::Mat live = flat.clone(), labels;
        live(cv::Rect(30, 40, 8, 8)).setTo(40);
        live(cv::Rect(38 + gap, 40, 8, 8)).setTo(40);
        pieces.Match(live, diff);
        QCOMPARE(cv::connectedComponents(diff, labels) - 1, gap == 6 ? 1 : 2);
        QCOMPARE(cv::countNonZero(diff(cv::Rect(38, 40, gap, 8))) > 0, gap == 6);  // the gap counts to the area
    }

    // Pixels that the mask leaves out are never marked.
    cv::Mat mask(ref.size(), CV_8UC1, cv::Scalar(255));
    mask(cv::Rect(30, 20, 40, 40)).setTo(0);
    GrayMatch masked;
    masked.Create(ref.cols, ref.rows, mask, 0);
    masked.AddTemp(ref);
    masked.Train(45, 0, 100, 150);
    masked.Match(bad, diff);
    QCOMPARE(cv::countNonZero(diff), 0);

    // One pixel of shift is tolerated on a noisy scene.
    const cv::Mat big = Scene(200, 150, 7, 3, 1);
    const cv::Mat moved = Shifted(Scene(200, 150, 7, 3, 2), 1, 0);
    GrayMatch shift;
    shift.Create(120, 100, cv::Mat(), 0);
    shift.AddTemp(big(cv::Rect(40, 30, 120, 100)));
    shift.Train(45, 0, 100, 150);
    shift.Match(moved(cv::Rect(40, 30, 120, 100)), diff);
    QCOMPARE(cv::countNonZero(diff), 0);
}

// A movement is taken only where it explains most of what departs: a dark part moved by 4 px
// alone is brought back, but beside a foreign object with more departures than the part's the
// movement would explain too little, and the part's moved edges stay marked with the object.
void TestMatchers::grayMatchTakesAMovementOnlyWhereItExplainsTheCrop()
{
    cv::Mat ref(100, 120, CV_8UC1, cv::Scalar(120));
    ref(cv::Rect(20, 30, 20, 30)).setTo(40);
    GrayMatch gm;
    gm.Create(ref.cols, ref.rows, cv::Mat(), 0);
    gm.AddTemp(ref);
    gm.Train(45, 0, 100, 150);
    cv::Mat moved(ref.size(), CV_8UC1, cv::Scalar(120)), diff;
    moved(cv::Rect(24, 30, 20, 30)).setTo(40);
    gm.Match(moved, diff);
    QCOMPARE(cv::countNonZero(diff), 0);

    moved(cv::Rect(70, 20, 24, 24)).setTo(220);
    gm.Match(moved, diff);
    QCOMPARE(cv::countNonZero(diff(cv::Rect(70, 20, 24, 24))), 24 * 24);
    QVERIFY2(cv::countNonZero(diff(cv::Rect(20, 30, 4, 30))) > 50, "the part's uncovered edge is not marked");

    // On a flat surface every movement fits: none may carry a faint part off a thin L's mask, and
    // a part over most of a region is no light when the light around it is known (the light then
    // stays as read, also after a movement).
    cv::Mat flat(100, 120, CV_8UC1, cv::Scalar(120)), ell = cv::Mat::zeros(flat.size(), CV_8UC1);
    ell(cv::Rect(0, 0, 12, 100)).setTo(255);
    ell(cv::Rect(0, 88, 120, 12)).setTo(255);
    struct Case
    {
        const cv::Mat& mask;
        cv::Rect part;
        double light;
    } cases[] = {{ell, cv::Rect(2, 40, 8, 16), 0}, {ell, cv::Rect(60, 90, 16, 8), 1.0}, {cv::Mat(), cv::Rect(0, 0, 90, 80), 1.0}};
    for (const Case& c : cases) {
        GrayMatch thin;
        thin.Create(flat.cols, flat.rows, c.mask, 0);
        thin.AddTemp(flat);
        thin.Train(45, 0, 100, 150);
        cv::Mat live = flat.clone();
        live(c.part) += cv::Scalar(17);
        thin.Match(live, diff, c.light);
        QVERIFY2(cv::countNonZero(diff(c.part)) > c.part.area() * 9 / 10, qPrintable(QString::number(cv::countNonZero(diff))));
        QVERIFY(cv::countNonZero(diff) <= c.part.area() * 3 / 2);  // a gap to the crop's edge is closed
    }

    // Ribs of 4 px: a smooth part of their mean grey, or a piece of them half a period off, stays
    // inside every pixel's band and leaves the means as they were; the plain comparison marks it,
    // the smooth part with the holes sensor noise leaves in its marks at a low contrast, also over
    // most of the region (it does not sit still, yet leaves the ribs around it) or all of it (no
    // trace of the ribs is left, where a blur keeps their phase), and 6 px thin,
    // across the ribs and along them (at a sensor noise of 3 levels: at this lowest contrast a 4 px
    // core loses squares to more), 5 px thin without noise (its rim spans its grey and a rib's, just
    // half the ribs' range: smooth still), and on a knurl of 3 px squares, whose middles the references
    // show smooth. Ribs blurred as a whole keep nothing of their range anywhere: no part, left to
    // the band. A piece of ribs of 5 px moved 2 px keeps every fifth column (and departs between
    // the ribs' edges, where a shake moves nothing): marked as the plain comparison marks it, also
    // at the crop's edge.
    cv::Mat ribs(100, 120, CV_8UC1), knurl(ribs.size(), CV_8UC1);
    for (int x = 0; x < ribs.cols; ++x) ribs.col(x).setTo(x % 4 < 2 ? 141 : 99);
    for (int y = 0; y < knurl.rows; ++y)
        for (int x = 0; x < knurl.cols; ++x) knurl.at<unsigned char>(y, x) = (x / 3 + y / 3) % 2 ? 141 : 99;
    const cv::Rect small(40, 30, 18, 18), most(10, 10, 100, 80), all(0, 0, 120, 100), upright(40, 30, 6, 24),
        lying(30, 40, 24, 6), thin(40, 30, 5, 24);
    const struct
    {
        const cv::Mat* surface;
        cv::Rect part;
        bool smooth;
        double noise;
    } textureParts[] = {{&ribs, small, true, 4},   {&ribs, small, false, 0}, {&ribs, most, true, 4}, {&ribs, all, true, 2},
                        {&ribs, upright, true, 3}, {&ribs, lying, true, 3},  {&ribs, thin, true, 0}, {&knurl, small, true, 4},
                        {&knurl, upright, true, 3}, {&knurl, lying, true, 3}};
    GrayMatch ribbed;
    for (const auto& c : textureParts) {
        ribbed.Create(c.surface->cols, c.surface->rows, cv::Mat(), 0);
        ribbed.AddTemp(*c.surface);
        ribbed.Train(45, 0, 100, 150);
        cv::Mat live = c.surface->clone();
        if (c.smooth)
            cv::RNG(7).fill(live(c.part), cv::RNG::NORMAL, 120, c.noise);
        else
            (*c.surface)(c.part + cv::Point(2, 0)).copyTo(live(c.part));
        ribbed.Match(live, diff, 1.0);
        QVERIFY2(cv::countNonZero(diff(c.part)) > c.part.area() * 5 / 6,
                 qPrintable(QString("%1 x %2 on %3: %4").arg(c.part.width).arg(c.part.height)
                                .arg(c.surface == &ribs ? "ribs" : "knurl").arg(cv::countNonZero(diff))));
        ribbed.Match(*c.surface, diff, 1.0);
        QCOMPARE(cv::countNonZero(diff), 0);
    }
    // A faint part across a sliver on the ribs stays inside the band and moves only the means; a
    // movement along the ribs that carries it off the sliver's mask explains nothing around it.
    cv::Mat sliver(ribs.size(), CV_8UC1, cv::Scalar(0)), live = ribs.clone();
    sliver(cv::Rect(0, 44, ribs.cols, 12)).setTo(255);
    const cv::Rect across(50, 35, 18, 30);
    cv::RNG(7).fill(live(across), cv::RNG::NORMAL, 143, 2);
    ribbed.Create(ribs.cols, ribs.rows, sliver, 0);
    ribbed.AddTemp(ribs);
    ribbed.Train(45, 0, 100, 150);
    ribbed.Match(live, diff, 1.0);
    QVERIFY2(cv::countNonZero(diff(across & cv::Rect(0, 44, ribs.cols, 12))) > across.width * 12 * 3 / 4,
             qPrintable(QString::number(cv::countNonZero(diff))));
    ribbed.Create(ribs.cols, ribs.rows, cv::Mat(), 0);
    ribbed.AddTemp(ribs);
    ribbed.Train(45, 0, 100, 150);
    const cv::Rect edge(0, 40, 14, 30);
    cv::Mat odd(100, 122, CV_8UC1), noise(100, 120, CV_8SC1);
    for (int x = 0; x < odd.cols; ++x) odd.col(x).setTo(x % 5 < 2 ? 150 : 90);
    GrayMatch oddRibs;
    oddRibs.Create(120, 100, cv::Mat(), 0);
    oddRibs.AddTemp(odd(cv::Rect(0, 0, 120, 100)));
    oddRibs.Train(45, 0, 100, 150);
    for (const cv::Rect& part : {small, edge}) {
        cv::Mat live = odd(cv::Rect(0, 0, 120, 100)).clone();
        odd(part + cv::Point(2, 0)).copyTo(live(part));
        cv::RNG(part.x + 3).fill(noise, cv::RNG::NORMAL, 0, 5);
        cv::add(live, noise, live, cv::noArray(), CV_8U);
        oddRibs.Match(live, diff, 1.0);
        QVERIFY2(cv::countNonZero(diff(part)) > part.area() * 3 / 4 && cv::countNonZero(diff) < part.area() * 3 / 2,
                 qPrintable(QString("%1: %2 marked").arg(part.x).arg(cv::countNonZero(diff))));
    }
    ribbed.Match(ribs, diff, 1.0);
    QCOMPARE(cv::countNonZero(diff), 0);
    // A crop too small to tell the ribs' alignment from a piece over most of it reads it on the
    // picture around it: still, and with the whole frame 1 to 3 px off (and 10 % brighter, which the
    // window is brought back from without being written), the piece is marked, a clean frame not.
    auto ribsAt = [](int shift, double gain) {
        cv::Mat out(100, 120, CV_8UC1);
        for (int x = 0; x < out.cols; ++x) out.col(x).setTo(((x + shift) & 3) < 2 ? 141 * gain : 99 * gain);
        return out;
    };
    const cv::Rect crop(50, 40, 20, 20), window = crop + cv::Size(80, 80) - cv::Point(40, 40), piece(2, 2, 16, 16);
    GrayMatch narrow;
    narrow.Create(crop.width, crop.height, cv::Mat(), 0);
    narrow.AddTemp(ribs(crop));
    narrow.AddContext(ribs, crop);
    narrow.Train(45, 0, 100, 150);
    QCOMPARE(narrow.aroundAt, window - crop.tl());
    for (const int shift : {0, 1, 2, 3})
        for (const bool part : {false, true}) {
            cv::Mat live = ribsAt(shift, 1.1);
            if (part)
                ribsAt(shift + 2, 1.1)(crop)(piece).copyTo(live(crop)(piece));
            const cv::Mat around = live(window).clone();
            narrow.Match(live(crop), diff, 1.1, 0, cv::Mat(), live(window));
            const int marked = cv::countNonZero(diff(piece));
            QVERIFY2(part ? marked > piece.area() * 3 / 4 : cv::countNonZero(diff) == 0,
                     qPrintable(QString("shift %1, part %2: %3 marked").arg(shift).arg(part).arg(cv::countNonZero(diff))));
            QCOMPARE(cv::norm(live(window), around, cv::NORM_INF), 0.0);
        }
    cv::Mat blurred;
    cv::GaussianBlur(ribs, blurred, cv::Size(0, 0), 1.0);
    ribbed.Match(blurred, diff, 1.0);
    QCOMPARE(cv::countNonZero(diff), 0);
    // Diagonal ribs turned 0.35 deg and a fraction of a pixel off, under sensor noise: the band
    // departs along their edges in specks and short strips, narrower than any solid area of a part.
    cv::Mat diagonal(ribs.size(), CV_8UC1), turned, noisy(ribs.size(), CV_16SC1);
    for (int y = 0; y < diagonal.rows; ++y)
        for (int x = 0; x < diagonal.cols; ++x) diagonal.at<unsigned char>(y, x) = (x + y) % 4 < 2 ? 170 : 90;
    cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(60, 50), 0.35, 1.0);
    turn.at<double>(0, 2) += 0.9, turn.at<double>(1, 2) += 0.4;
    cv::warpAffine(diagonal, turned, turn, diagonal.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    cv::RNG(0).fill(noisy, cv::RNG::NORMAL, 0, 3);
    cv::add(turned, noisy, turned, cv::noArray(), CV_8U);
    ribbed.Create(diagonal.cols, diagonal.rows, cv::Mat(), 0);
    ribbed.AddTemp(diagonal);
    ribbed.Train(45, 0, 100, 150);
    ribbed.Match(turned, diff, 1.0);
    QCOMPARE(cv::countNonZero(diff), 0);
}

// The marks of circle, hexagon and rectangle regions on a textured scene, pixel for pixel, with
// dark parts touching the outline from inside and lying at the crop's edge (and a faint one
// there, found by the means), still, after movements of 1 to 6 px and in a brighter frame: the
// outline band of each reach, the strip's band, the brightness read where the crop lies (kept
// after the movement), the plain comparison's marks and the change's rim all show in them. Pinned figures (marked pixels and
// the sums of their columns and rows): a change of any of them changes what a user sees.
// The floor's own openings stand in for the general filter's on every crop: seeded marks of any
// size down to a pixel, sparse to dense, with marks on the edges.
// A strand of a texture's own grey (its mean over the strand and 4 px around), 3 to 8 px wide, on
// ribs or a knurl of any period and contrast, straight or oblique, in a still crop: the matcher
// marks whatever the plain comparison (the references' own values, beyond the tolerance, opened
// 3 x 3) keeps, however thin; the same crop without it, or drifted a fraction of a pixel and
// turned slightly, is marked nowhere. Scenes drawn from seeds.
void TestMatchers::grayMatchKeepsThePlainMarksOfAStrandOnAStillTexture()
{
    constexpr int kW = 120, kH = 100, kTolerance = 14, kAlarmArea = 100;  // sensitivity 45
    const cv::Mat cross = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    for (quint32 seed = 1; seed <= 40; ++seed) {
        cv::RNG rng(0x9E3779B97F4A7C15ull * seed);  // (neighbouring seeds, unrelated scenes)
        const int period = rng.uniform(3, 9), half = std::max(1, period / 2), contrast = rng.uniform(40, 81);
        const int kind = rng.uniform(0, 3), grey = rng.uniform(80, 171);  // ribs down, ribs across, a knurl
        cv::Mat texture(kH, kW, CV_32F);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const bool high = kind == 2 ? (x / half + y / half) % 2 : (kind ? y : x) % period < half;
                texture.at<float>(y, x) = float(grey + (high ? 0.5 : -0.5) * contrast);
            }
        const cv::RotatedRect strand(cv::Point2f(float(rng.uniform(40, 80)), float(rng.uniform(35, 65))),
                                     cv::Size2f(float(rng.uniform(30, 51)), float(rng.uniform(3, 9))),
                                     rng.uniform(0, 3) ? 90.0f * float(rng.uniform(0, 2)) : float(rng.uniform(0, 180)));
        cv::Point2f corners[4];
        strand.points(corners);
        std::vector<cv::Point> outline;
        for (const cv::Point2f& c : corners) outline.emplace_back(int(std::lround(c.x)), int(std::lround(c.y)));
        cv::Mat onStrand = cv::Mat::zeros(kH, kW, CV_8UC1);
        cv::fillConvexPoly(onStrand, outline, cv::Scalar(255));
        cv::Mat around;
        cv::dilate(onStrand, around, cv::Mat(), cv::Point(-1, -1), 4);
        cv::Mat parted = texture.clone(), drifted;
        parted.setTo(cv::mean(texture, around), onStrand);
        cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(kW / 2.0f, kH / 2.0f), rng.uniform(-0.25, 0.25), 1.0);
        turn.at<double>(0, 2) += rng.uniform(-0.3, 0.3), turn.at<double>(1, 2) += rng.uniform(-0.3, 0.3);
        cv::warpAffine(texture, drifted, turn, texture.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
        auto noisy = [&](const cv::Mat& picture) {
            cv::Mat noise(kH, kW, CV_32F), out;
            rng.fill(noise, cv::RNG::NORMAL, 0, 2);
            cv::Mat(picture + noise).convertTo(out, CV_8U);
            return out;
        };
        const cv::Mat ref = noisy(texture), live = noisy(parted);
        GrayMatch gm;
        gm.Create(kW, kH, cv::Mat(), 0);
        gm.AddTemp(ref);
        gm.Train(45, 0, 100, 150);
        cv::Mat diff, plain;
        cv::absdiff(live, ref, plain);
        cv::threshold(plain, plain, kTolerance, 255, cv::THRESH_BINARY);
        cv::morphologyEx(plain, plain, cv::MORPH_OPEN, cross);
        gm.Match(live, diff, 1.0);
        const int kept = cv::countNonZero(plain), missed = cv::countNonZero(plain & ~diff);
        const QString what = QString("seed %1 (period %2, contrast %3, %4 px wide): %5 of the plain comparison's %6 "
                                     "missed, %7 marked")
                                 .arg(seed)
                                 .arg(period)
                                 .arg(contrast)
                                 .arg(strand.size.height)
                                 .arg(missed)
                                 .arg(kept)
                                 .arg(cv::countNonZero(diff));
        // (Where the plain comparison finds the strand, with the factory alarm area.)
        QVERIFY2(kept <= kAlarmArea || missed * 20 <= kept, qPrintable(what));
        // (Ribs of 3 px depart from themselves drifted by a quarter pixel everywhere: off by far.)
        for (const cv::Mat& clean : {noisy(texture), noisy(period > 3 ? drifted : texture)}) {
            gm.Match(clean, diff, 1.0);
            const QString marked = QString(", clean: %1 marked").arg(cv::countNonZero(diff));
            QVERIFY2(cv::countNonZero(diff) == 0, qPrintable(what + marked));
        }
    }
}

void TestMatchers::floorOpeningsAgreeWithTheGeneralFilter()
{
    cv::RNG rng(20261208);
    for (int i = 0; i < 400; ++i) {
        const cv::Size size(rng.uniform(1, 70), rng.uniform(1, 70));
        cv::Mat marks(size, CV_8UC1), noise(size, CV_8UC1);
        rng.fill(noise, cv::RNG::UNIFORM, 0, 100);
        cv::compare(noise, rng.uniform(1, 100), marks, cv::CMP_LT);
        int x0 = size.width, y0 = size.height, x1 = -1, y1 = -1;
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                if (marks.at<unsigned char>(y, x))
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        const cv::Rect box = x1 < 0 ? cv::Rect() : cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
        QCOMPARE(MarksBox(marks), box);
        // (An even square: eroded and dilated about opposite anchors, as the smooth areas take it.)
        const int span = 3 + i % 5;
        const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(span, span));
        cv::Mat ours = marks.clone(), theirs, crossOurs = marks.clone(), crossTheirs, ring = noise.clone(), ringTheirs;
        OpenSquare(ours, span);
        cv::erode(marks, theirs, square, cv::Point((span - 1) / 2, (span - 1) / 2));
        cv::dilate(theirs, theirs, square, cv::Point(span / 2, span / 2));
        ErodeRing(ring);
        cv::erode(noise, ringTheirs, cv::Mat(cv::Matx<uchar, 3, 3>(1, 1, 1, 1, 0, 1, 1, 1, 1)));
        QVERIFY2(cv::countNonZero(ring != ringTheirs) == 0, qPrintable(QString("%1 x %2, ring").arg(size.width).arg(size.height)));
        const int lo = rng.uniform(-5, 110), hi = rng.uniform(-5, 110);
        cv::Mat inBand, inRange;
        CammerRecong::ThresholdFUNC(noise, inBand, lo, hi);
        cv::inRange(noise, lo, hi, inRange);
        QVERIFY2(cv::countNonZero(inBand != inRange) == 0, qPrintable(QString("%1 x %2, %3..%4").arg(size.width).arg(size.height).arg(lo).arg(hi)));
        QVERIFY2(cv::countNonZero(ours != theirs) == 0, qPrintable(QString("%1 x %2, square %3").arg(size.width).arg(size.height).arg(span)));
        OpenCross(crossOurs);
        cv::morphologyEx(marks, crossTheirs, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
        QVERIFY2(cv::countNonZero(crossOurs != crossTheirs) == 0, qPrintable(QString("%1 x %2, cross").arg(size.width).arg(size.height)));
    }
}

void TestMatchers::grayMatchMarksOfEachShapeAfterAMovement()
{
    const cv::Rect box(60, 50, 101, 101);
    const cv::Mat ref = Scene(240, 200, 11, 3, 1)(box).clone();
    const cv::Mat rectangle;
    cv::Mat circle(box.size(), CV_8UC1, cv::Scalar(0)), hexagon = circle.clone();
    cv::circle(circle, cv::Point(50, 50), 50, cv::Scalar(255), cv::FILLED);
    std::vector<cv::Point> corners;
    for (int k = 0; k < 6; ++k)
        corners.emplace_back(50 + int(std::lround(50 * std::cos((k * 60 + 15) * CV_PI / 180))),
                             50 + int(std::lround(50 * std::sin((k * 60 + 15) * CV_PI / 180))));
    cv::fillConvexPoly(hexagon, corners, cv::Scalar(255));
    struct Case
    {
        const cv::Mat& mask;
        int dx, dy;
        double gain;
        const char* marks;  // marked pixels, the sums of their columns and of their rows
    };
    const Case cases[] = {
        {circle, 1, 1, 1.0, "252 16411 13525"},    {circle, 3, -2, 1.0, "222 14994 11001"},
        {circle, -6, 5, 1.0, "293 18201 12317"},   {circle, 2, -2, 1.08, "497 27615 27723"},
        {circle, 3, 2, 1.03, "224 15070 11172"},   {hexagon, 1, 1, 1.0, "160 9090 8000"},
        {hexagon, 3, -2, 1.0, "166 9713 8253"},    {hexagon, -6, 5, 1.0, "172 9605 8565"},
        {hexagon, 2, -2, 1.08, "405 21307 22545"}, {hexagon, 3, 2, 1.03, "169 9886 8434"},
        {rectangle, 0, 0, 1.0, "267 15746 14116"}, {rectangle, 2, -2, 1.0, "672 40479 42173"},
        {circle, -2, 2, 1.0, "450 25682 24908"},   {hexagon, 2, -3, 1.0, "414 22707 22496"},
        {circle, 4, 1, 1.05, "219 15117 10887"},
    };
    for (const Case& c : cases) {
        GrayMatch gm;
        gm.Create(box.width, box.height, c.mask, 0);
        gm.AddTemp(ref);
        gm.Train(45, 0, 100, 150);
        cv::Mat live = Shifted(Scene(240, 200, 11, 3, 2), c.dx, c.dy)(box).clone(), diff;
        live.convertTo(live, CV_8U, c.gain);
        // Dark parts touching the outline from inside on the right and at the crop's left edge, a
        // faint one at that edge.
        live(cv::Rect(88, 44, 12, 12)).setTo(10);
        live(cv::Rect(c.mask.data == hexagon.data ? 6 : 0, 46, 8, 8)).setTo(10);
        live(cv::Rect(0, 70, 10, 10)) += cv::Scalar(12);
        gm.Match(live, diff);
        long n = 0, sx = 0, sy = 0;
        for (int y = 0; y < diff.rows; ++y)
            for (int x = 0; x < diff.cols; ++x)
                if (diff.at<unsigned char>(y, x))
                    ++n, sx += x, sy += y;
        QCOMPARE(QString("%1 %2 %3").arg(n).arg(sx).arg(sy), QString(c.marks));
    }
}

void TestMatchers::grayMatchToleranceFollowsSensitivityAndAmplify()
{
    const cv::Mat ref(60, 60, CV_8UC1, cv::Scalar(120));
    cv::Mat faint = ref.clone();
    faint(cv::Rect(44, 20, 10, 10)).setTo(90);  // 30 grey levels darker, partly in the rows' last columns

    auto marked = [&](int sensitivity, int amplify) {
        GrayMatch gm;
        gm.Create(60, 60, cv::Mat(), 0);
        gm.AddTemp(ref);
        gm.Train(sensitivity, amplify, 100, 150);
        cv::Mat diff;
        gm.Match(faint, diff);
        return cv::countNonZero(diff);
    };
    QCOMPARE(marked(45, 0), 100);   // factory sensitivity: tolerance 14
    QCOMPARE(marked(21, 0), 100);   // tolerance 1 + 79^2 / 220 = 29
    QCOMPARE(marked(20, 0), 0);     // tolerance 30: the departure must exceed it
    QCOMPARE(marked(0, 0), 0);      // tolerance 46
    QCOMPARE(marked(-5, 0), 0);     // sensitivity clamped to 0
    QCOMPARE(marked(0, 1), 100);    // departure doubled: 60 > 46
    QCOMPARE(marked(0, 9), 100);    // amplify is clamped to 4, still finds it
    QCOMPARE(marked(100, 0), 100);  // tolerance 1
}

void TestMatchers::grayMatchBandWidensWithEveryTemplate()
{
    GrayMatch gm;
    gm.Create(40, 40, cv::Mat(), 0);
    gm.AddTemp(cv::Mat(40, 40, CV_8UC1, cv::Scalar(50)));
    gm.AddTemp(cv::Mat(40, 40, CV_8UC1, cv::Scalar(200)));
    gm.Train(45, 0, 100, 150);
    cv::Mat diff;
    for (int level : {50, 125, 200}) {
        gm.Match(cv::Mat(40, 40, CV_8UC1, cv::Scalar(level)), diff);
        QVERIFY2(cv::countNonZero(diff) == 0, qPrintable(QString::number(level)));
    }
    // Outside both references it still departs.
    gm.Match(cv::Mat(40, 40, CV_8UC1, cv::Scalar(20)), diff);
    QCOMPARE(cv::countNonZero(diff), 40 * 40);
}

void TestMatchers::grayMatchIsInvalidUntilTrainedWithAPicture()
{
    GrayMatch gm;
    QVERIFY(!gm.IsValid());
    gm.Create(30, 30, cv::Mat(), 0);
    gm.Train(45, 0, 100, 150);
    QVERIFY(!gm.IsValid());                               // nothing added
    gm.AddTemp(cv::Mat(20, 20, CV_8UC1, cv::Scalar(5)));  // wrong size: ignored
    gm.Train(45, 0, 100, 150);
    QVERIFY(!gm.IsValid());
    cv::Mat diff;
    gm.Match(cv::Mat(30, 30, CV_8UC1, cv::Scalar(0)), diff);
    QCOMPARE(diff.size(), cv::Size(30, 30));
    QCOMPARE(cv::countNonZero(diff), 0);

    gm.AddTemp(cv::Mat(30, 30, CV_8UC1, cv::Scalar(200)));
    gm.Train(45, 0, 100, 150);
    QVERIFY(gm.IsValid());
    gm.Match(cv::Mat(40, 40, CV_8UC1, cv::Scalar(0)), diff);  // crop of another size
    QCOMPARE(diff.size(), cv::Size(40, 40));
    QCOMPARE(cv::countNonZero(diff), 0);
    gm.Clear();
    QVERIFY(!gm.IsValid());
}

// Hue pictures: the conversion gives 0 where all channels are equal (white clipped by a
// brighter frame, grey). A patch of such zeros on a near-grey part (whose hue is noise) is no
// coloured part appearing; a red part, whose noisy hue lies around 0, still is.
void TestMatchers::hueZeroOfGreyPixelsIsNoHue()
{
    cv::Mat noise(100, 120, CV_8UC1);
    cv::theRNG().state = 5;
    cv::randu(noise, 1, 256);  // the hue of near-grey pixels under sensor noise
    GrayMatch gm;
    gm.circular = true;
    gm.Create(120, 100, cv::Mat(), 0);
    gm.AddTemp(noise);
    gm.Train(45, 0, 100, 150);

    cv::Mat live(100, 120, CV_8UC1), diff;
    cv::randu(live, 1, 256);
    live(cv::Rect(30, 30, 40, 30)).setTo(0);  // clipped white
    gm.Match(live, diff);
    QCOMPARE(cv::countNonZero(diff), 0);

    cv::Mat red(30, 40, CV_8UC1), wrapped(30, 40, CV_8UC1);
    cv::randu(red, 0, 7);
    for (int y = 0; y < red.rows; ++y)  // hue around 0 under noise: 253..255, 0..3
        for (int x = 0; x < red.cols; ++x) wrapped.at<uchar>(y, x) = uchar((red.at<uchar>(y, x) + 253) % 256);
    wrapped.copyTo(live(cv::Rect(30, 30, 40, 30)));
    gm.Match(live, diff);
    QVERIFY2(cv::countNonZero(diff(cv::Rect(30, 30, 40, 30))) > 600,
             qPrintable(QString::number(cv::countNonZero(diff))));
}

// A colour camera's defect matcher given the crop's colour marks what comparing the colours finds
// on a firm colour and as a solid area on a textured one, and stays quiet where they are unchanged
// under noise, a brighter frame (clipping a channel at white), blur and a movement.
void TestMatchers::hueMatchWithColourMarksWhatThePlainColourComparisonFinds()
{
    constexpr int kW = 120, kH = 100;
    const cv::Rect part(50, 40, 14, 14);
    // A photograph's texture of colour, a fine one (2 x 2 cells), a flat teal and a bright orange.
    std::vector<cv::Mat> planes;
    // (Cut from a wider picture: a movement brings in what lay beyond the crop's edge.)
    constexpr int kPad = 4;
    for (quint32 seed : {7u, 8u, 9u}) planes.push_back(Scene(kW + 2 * kPad, kH + 2 * kPad, seed));
    cv::Mat wide, textured, cells(kH / 2, kW / 2, CV_8UC3), fine;
    cv::merge(planes, wide);
    textured = wide(cv::Rect(kPad, kPad, kW, kH)).clone();
    cv::theRNG().state = 4;
    cv::randu(cells, 60, 180);
    cv::resize(cells, fine, textured.size(), 0, 0, cv::INTER_NEAREST);
    const cv::Mat teal(kH, kW, CV_8UC3, cv::Scalar(150, 130, 40)), bright(kH, kW, CV_8UC3, cv::Scalar(150, 200, 245));
    cv::Mat rainbow(kH, kW, CV_8UC3);  // a strong colour whose hue turns along the rows: nowhere firm
    for (int x = 0; x < kW; ++x)
        rainbow.col(x).setTo(cv::Scalar(120 + 80 * std::sin(x / 3.0), 120 + 80 * std::sin(x / 3.0 + 2),
                                        120 + 80 * std::sin(x / 3.0 + 4)));
    struct Row
    {
        const char* name;
        const cv::Mat* surface;
        double gain, blur;
        cv::Point shift;
        cv::Scalar added;  // to the part's pixels
        bool found;
        const cv::Mat* mask = nullptr;  // the region's (none: the whole crop)
    };
    // An L around the part: colour cameras correct no position, so the hue is judged where the
    // whole crop fits, outline and all.
    cv::Mat ell = cv::Mat::zeros(kH, kW, CV_8UC1);
    ell(cv::Rect(40, 0, 32, kH)).setTo(255);
    ell(cv::Rect(0, 80, kW, 20)).setTo(255);
    const Row rows[] = {
        {"texture, noise", &textured, 1.0, 0, {}, {}, false},
        {"texture, 10 % brighter", &textured, 1.1, 0, {}, {}, false},
        {"texture, blurred", &textured, 1.0, 1.0, {}, {}, false},
        {"fine texture, 10 % darker", &fine, 0.9, 0, {}, {}, false},
        {"rainbow, 15 % brighter", &rainbow, 1.15, 0, {}, {}, false},
        {"teal, moved 3 px", &teal, 1.0, 0, {3, -2}, {}, false},
        {"texture, moved 2 px", &textured, 1.0, 0, {2, -1}, {}, false},
        {"orange clipped in a brighter frame", &bright, 1.15, 0, {}, {}, false},
        {"texture, a part redder by 30", &textured, 1.0, 0, {}, {-15, -15, 30}, true},
        {"texture moved 2 px, a part redder by 30", &textured, 1.0, 0, {2, -1}, {-15, -15, 30}, true},
        {"texture blurred, a part redder by 30", &textured, 1.0, 1.0, {}, {-15, -15, 30}, true},
        {"fine texture, a part redder by 30", &fine, 1.0, 0, {}, {-15, -15, 30}, true},
        {"teal, more of it", &teal, 1.0, 0, {}, {30, 20, -25}, true},
        {"texture moved 3 px, an L", &textured, 1.0, 0, {-3, 2}, {}, false, &ell},
        {"texture moved 3 px, a part redder by 30 on an L", &textured, 1.0, 0, {-3, 2}, {-15, -15, 30}, true, &ell},
    };
    for (const Row& r : rows) {
        GrayMatch gm;
        gm.circular = true;
        gm.Create(kW, kH, r.mask ? *r.mask : cv::Mat(), 0);
        cv::Mat ref, noise(kH, kW, CV_16SC3);
        cv::theRNG().state = 3;
        cv::randn(noise, 0, 2);
        cv::add(*r.surface, noise, ref, cv::noArray(), CV_8UC3);
        gm.AddTemp(HueOf(ref));
        gm.AddColour(ref);
        gm.Train(45, 0, 100, 150);
        cv::Mat live;
        const cv::Matx23d move(1, 0, r.shift.x, 0, 1, r.shift.y);
        if (r.surface == &textured)
            live = wide(cv::Rect(kPad - r.shift.x, kPad - r.shift.y, kW, kH)).clone();
        else
            cv::warpAffine(*r.surface, live, move, r.surface->size(), cv::INTER_NEAREST, cv::BORDER_REFLECT);
        cv::add(live(part), r.added, live(part));
        live.convertTo(live, CV_8UC3, r.gain);
        if (r.blur > 0)
            cv::GaussianBlur(live, live, cv::Size(), r.blur);
        cv::randn(noise, 0, 2);
        cv::add(live, noise, live, cv::noArray(), CV_8UC3);
        cv::Mat diff;
        gm.Match(HueOf(live), diff, 0, 0, live);
        // (Marks may reach past the part by the 5 x 5 hue window and the movement.)
        const cv::Rect around(part.tl() - cv::Point(5, 5), part.size() + cv::Size(10, 10));
        const int marked = cv::countNonZero(diff), onPart = cv::countNonZero(diff(part));
        QVERIFY2(r.found ? onPart >= part.area() / 2 && marked == cv::countNonZero(diff(around)) : marked == 0,
                 qPrintable(QString("%1: %2 marked, %3 on the part").arg(r.name).arg(marked).arg(onPart)));
    }
}

void TestMatchers::surfScoresSimilarityAndToleratesSmallShifts()
{
    const cv::Mat scene = Scene(400, 300, 11, 2, 1);
    const cv::Rect r(100, 80, 200, 150);
    SURF s;
    s.Create(r.width, r.height, cv::Mat());
    s.AddTemp(scene(r).clone(), 1, 50, 80);
    s.Train(0, 0, 0, 0);
    QVERIFY(s.IsValid());

    cv::Mat out;
    cv::Mat same = Scene(400, 300, 11, 2, 2)(r).clone();  // same part, other noise
    const float identical = s.Match(same, out);
    QVERIFY2(identical > 95, qPrintable(QString::number(identical)));

    cv::Mat shifted = Shifted(scene, 3, -2)(r).clone();
    const float nearby = s.Match(shifted, out);
    QVERIFY2(nearby > 85, qPrintable(QString::number(nearby)));

    cv::Mat other = Scene(400, 300, 99)(r).clone();
    const float unrelated = s.Match(other, out);
    QVERIFY2(unrelated < 40, qPrintable(QString::number(unrelated)));

    cv::Mat covered = scene(r).clone();
    cv::rectangle(covered, cv::Rect(40, 30, 100, 80), cv::Scalar(30), cv::FILLED);
    const float partly = s.Match(covered, out);
    QVERIFY2(partly < identical - 20 && partly > unrelated, qPrintable(QString::number(partly)));

    // A second reference: a crop like either is similar.
    s.AddTemp(other.clone(), 1, 50, 80);
    s.Train(0, 0, 0, 0);
    for (cv::Mat* crop : {&same, &other})
        QVERIFY2(s.Match(*crop, out) > 95, qPrintable(QString::number(s.Match(*crop, out))));

    // Flat patches: equal brightness is similar, a texture against flat is not.
    SURF flat;
    flat.Create(80, 80, cv::Mat());
    flat.AddTemp(cv::Mat(80, 80, CV_8UC1, cv::Scalar(140)), 1, 50, 80);
    flat.Train(0, 0, 0, 0);
    cv::Mat flatSame(80, 80, CV_8UC1, cv::Scalar(140));
    QVERIFY(flat.Match(flatSame, out) > 95);
    cv::Mat textured = scene(cv::Rect(0, 0, 80, 80)).clone();
    QVERIFY(flat.Match(textured, out) < 50);

    // Hue: a flat colour flush with another, with a dark line across that one. A shake of 3 px
    // brings a strip of it in, which the picture around the region explains; a 15 px grey part at
    // either edge of the shaken region it does not.
    cv::Mat hue(160, 200, CV_8UC1);
    cv::randu(hue, 79, 86);
    hue.colRange(0, 40).setTo(220);
    cv::line(hue, cv::Point(0, 60), cv::Point(39, 75), cv::Scalar(13), 3);
    const cv::Rect at(40, 30, 120, 100);
    SURF colour;
    colour.circular = true;
    colour.Create(at.width, at.height, cv::Mat());
    colour.AddTemp(hue(at).clone(), 1, 50, 80);
    colour.AddColour(cv::Mat(at.size(), CV_8UC3, cv::Scalar(60, 180, 60)));  // a firm green
    colour.AddContext(hue, at);
    colour.Train(0, 0, 0, 0);
    const cv::Mat shakenHue = Shifted(hue, 3, 1);
    cv::Mat moved = shakenHue(at).clone();
    const float shaken = colour.Match(moved, out);
    QVERIFY2(shaken > 80, qPrintable(QString::number(shaken)));
    for (const cv::Point corner : {cv::Point(0, 40), cv::Point(at.width - 15, 40)}) {
        moved = shakenHue(at).clone();
        moved(cv::Rect(corner, cv::Size(15, 15))).setTo(0);
        const float grey = colour.Match(moved, out);
        QVERIFY2(grey < 80, qPrintable(QString("%1 at %2").arg(grey).arg(corner.x)));
    }
    // Nor a 30 px grey part half off a round region's outline, still or shaken: a displacement
    // that takes it off the region's cells explains nothing of it.
    cv::Mat round = cv::Mat::zeros(at.size(), CV_8UC1);
    cv::ellipse(round, cv::Point(60, 50), cv::Size(45, 40), 0, 0, 360, cv::Scalar(255), cv::FILLED);
    SURF oval;
    oval.circular = true;
    oval.Create(at.width, at.height, round);
    oval.AddTemp(hue(at).clone(), 1, 50, 80);
    oval.AddColour(cv::Mat(at.size(), CV_8UC3, cv::Scalar(60, 180, 60)));
    oval.AddContext(hue, at);
    oval.Train(0, 0, 0, 0);
    for (const cv::Mat& picture : {hue, shakenHue}) {
        moved = picture(at).clone();
        moved(cv::Rect(90, 35, 30, 30)).setTo(0);
        const float grey = oval.Match(moved, out);
        QVERIFY2(grey < 80, qPrintable(QString::number(grey)));
    }

    // Given the colours, a hue weighs as much as its colour lies from grey: a grey tinted 6 levels
    // whose hue turns by a third of the circle in 8 px blocks (as compression turns it) is alike,
    // the same turn of a clear colour is not, and a clear colour where the faint tint was is not.
    auto painted = [&at](int chroma, bool turned) {
        cv::Mat bgr(at.size(), CV_8UC3);
        for (int y = 0; y < bgr.rows; ++y)
            for (int x = 0; x < bgr.cols; ++x) {
                const double a = 0.5 + (turned ? 2.1 * ((x / 8 + y / 8) % 3) : 0.0);
                bgr.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(120 + chroma * std::cos(a + 4.2)),
                                                    cv::saturate_cast<uchar>(120 + chroma * std::cos(a + 2.1)),
                                                    cv::saturate_cast<uchar>(120 + chroma * std::cos(a)));
            }
        return std::make_pair(HueOf(bgr), bgr);
    };
    // A similarity region of the crop's size taught one hue picture and its colours.
    auto teach = [&at](SURF& s, const cv::Mat& hue, const cv::Mat& colour) {
        s.circular = true;
        s.Create(at.width, at.height, cv::Mat());
        s.AddTemp(hue.clone(), 1, 50, 80);
        s.AddColour(colour);
        s.Train(0, 0, 0, 0);
    };
    for (const int chroma : {6, 60}) {
        const auto [refHue, refColour] = painted(chroma, false);
        SURF tinted;
        teach(tinted, refHue, refColour);
        const auto [turnedHue, turnedColour] = painted(chroma, true);
        const float turnedScore = tinted.Match(turnedHue, out, turnedColour);
        QVERIFY2((turnedScore >= 80) == (chroma == 6), qPrintable(QString("chroma %1: %2").arg(chroma).arg(turnedScore)));
        const auto [clearHue, clearColour] = painted(60, true);
        if (chroma == 6) {
            QVERIFY2(tinted.Match(clearHue, out, clearColour) < 80, "a clear colour on the faint tint");
            cv::Mat part = refColour.clone();  // a 12 px one too: where it rises it is compared sharp
            part(cv::Rect(50, 40, 12, 12)).setTo(cv::Scalar(60, 180, 60));
            QVERIFY2(tinted.Match(HueOf(part), out, part) < 80, "a clear part on the faint tint");
        }
    }
    // Compression turns a tint but makes none out of grey: a faint colour of chroma 5 that appears
    // on a grey surface is a part (wholly, once it rises above grey by more than noise leaves), on
    // the faint tint it is not told from the tint turned. Nor does noise take chroma: a clear
    // colour faded in place to chroma 8, its hue kept, is a change, and so is a near grey part on a
    // faint but steady tint (of a quarter and a half of a clear colour's weight).
    const struct
    {
        int surface, part;
        bool turned, changed;
    } faint[] = {{0, 5, true, true}, {6, 5, true, false}, {6, 10, true, false}, {30, 8, false, true},
                 {8, 2, false, true}, {10, 2, false, true}};
    for (const auto& f : faint) {
        const auto [refHue, refColour] = painted(f.surface, false);
        SURF plain;
        teach(plain, refHue, refColour);
        auto [partHue, partColour] = painted(f.surface, false);
        const auto [faintHue, faintColour] = painted(f.part, f.turned);
        const cv::Rect part(40, 30, 30, 30);
        faintHue(part).copyTo(partHue(part));
        faintColour(part).copyTo(partColour(part));
        const float score = plain.Match(partHue, out, partColour);
        QVERIFY2((score < 80) == f.changed, qPrintable(QString("surface %1, part %2: %3").arg(f.surface).arg(f.part).arg(score)));
    }
    // A grey 15 px part that takes a clear colour away is no faint tint where two clear hues meet
    // (the blocks' smoothing would cancel them into a faint one) or inside one; on 6 px stripes of
    // the two (taught sharp too) sensor noise is alike.
    for (const int stripe : {60, 120, 6}) {
        cv::Mat clear(at.size(), CV_8UC3, cv::Scalar(60, 180, 60)), noise(at.size(), CV_16SC3), frame;
        for (int x = stripe; x < at.width; x += 2 * stripe)
            clear.colRange(x, std::min(at.width, x + stripe)).setTo(cv::Scalar(200, 70, 150));
        SURF two;
        teach(two, HueOf(clear), clear);
        cv::theRNG().state = 7;
        cv::randn(noise, 0, 3);
        cv::add(clear, noise, frame, cv::noArray(), CV_8U);
        QVERIFY2(two.Match(HueOf(frame), out, frame) > 95, qPrintable(QString("noise, stripes %1").arg(stripe)));
        frame(cv::Rect(at.width / 2 - 7, 40, 15, 15)).setTo(cv::Scalar(128, 130, 126));
        QVERIFY2(stripe < 60 || two.Match(HueOf(frame), out, frame) < 80, qPrintable(QString("stripes %1").arg(stripe)));
    }
    // Nor is that faint colour where it lay beside the region on the taught picture, and a shake
    // brings it in.
    cv::Mat besideColour(hue.size(), CV_8UC3, cv::Scalar::all(120));
    besideColour.colRange(0, at.x).setTo(cv::Scalar(115, 115, 125));
    const cv::Mat besideHue = HueOf(besideColour);
    SURF beside;
    beside.circular = true;
    beside.Create(at.width, at.height, cv::Mat());
    beside.AddTemp(besideHue(at).clone(), 1, 50, 80);
    beside.AddContext(besideHue, at, besideColour);
    beside.AddColour(besideColour(at));
    beside.Train(0, 0, 0, 0);
    const cv::Rect shook = at - cv::Point(9, 0);
    const float broughtIn = beside.Match(besideHue(shook).clone(), out, besideColour(shook).clone());
    QVERIFY2(broughtIn >= 80, qPrintable(QString::number(broughtIn)));

    // Cyan and magenta of two equal brightest channels get the hue of white clipped in two: on a
    // yellowish white and on a white of no colour, both alike clipped in a frame 10 % brighter, a
    // magenta and a pale cyan part that clipping cannot give are parts.
    for (const auto& [wall, part] : {std::pair(cv::Scalar(200, 240, 245), cv::Scalar(215, 25, 215)),
                                     std::pair(cv::Scalar::all(236), cv::Scalar(252, 252, 224))}) {
        const cv::Mat ref(at.size(), CV_8UC3, wall);
        cv::Mat brighter = ref * 1.1;
        SURF white;
        teach(white, HueOf(ref), ref);
        QVERIFY(white.Match(HueOf(brighter), out, brighter) >= 80);
        brighter(cv::Rect(70, 10, 18, 28)).setTo(part);
        QVERIFY2(white.Match(HueOf(brighter), out, brighter) < 80, qPrintable(QString::number(part[0])));
    }
}

// A grey crop's working grid holds the mean of the area each cell covers, the cells spread evenly
// over the crop also where its sides are no multiple of the cell (up to the rounding of an 8-bit
// area reduction): whole cells, parts of border pixels, tall crops.
void TestMatchers::surfGridCellsAreAreaMeansOfTheCrop()
{
    for (const cv::Size size : {cv::Size(120, 96), cv::Size(120, 100), cv::Size(97, 130), cv::Size(400, 700)}) {
        cv::Mat crop(size, CV_8UC1);
        cv::theRNG().state = 5;
        cv::randu(crop, 0, 256);
        SURF s;
        s.Create(size.width, size.height, cv::Mat());
        cv::Mat area, expected;
        cv::resize(crop, area, s.grid, 0, 0, cv::INTER_AREA);
        area.convertTo(expected, CV_32F);
        const double off = cv::norm(s.ToGrid(crop), expected, cv::NORM_INF);
        QVERIFY2(off <= 0.51, qPrintable(QString("%1 x %2: off by %3").arg(size.width).arg(size.height).arg(off)));
    }
}

void TestMatchers::surfMarksDeparturesOnlyWhenFailing()
{
    const cv::Mat scene = Scene(300, 300, 5);
    const cv::Rect r(50, 50, 192, 192);
    SURF s;
    cv::Mat mask(r.size(), CV_8UC1, cv::Scalar(255));
    mask(cv::Rect(0, 0, 96, 192)).setTo(0);  // only the right half counts
    s.Create(r.width, r.height, mask);
    s.AddTemp(scene(r).clone(), 1, 50, 90);
    s.Train(0, 0, 0, 0);

    cv::Mat out;
    cv::Mat leftChanged = scene(r).clone();
    leftChanged(cv::Rect(0, 0, 96, 192)).setTo(0);
    QVERIFY(s.Match(leftChanged, out) > 95);  // masked half does not count
    QCOMPARE(cv::countNonZero(out), 0);

    cv::Mat rightChanged = scene(r).clone();
    rightChanged(cv::Rect(120, 40, 48, 48)).setTo(255);
    QVERIFY(s.Match(rightChanged, out) < 90);
    QCOMPARE(out.size(), r.size());
    QVERIFY(cv::countNonZero(out) > 0);
    // The marks lie on the change (one cell of slack around it).
    QCOMPARE(cv::countNonZero(out(cv::Rect(112, 32, 64, 64))), cv::countNonZero(out));

    SURF empty;
    QCOMPARE(empty.Match(rightChanged, out), 0.0f);
    QCOMPARE(out.size(), r.size());
}

void TestMatchers::findShapeReportsTheCorrectingShift()
{
    const cv::Mat picture = Scene(640, 480, 3);
    const cv::Rect model(220, 160, 200, 160);
    const int cx = model.x + model.width / 2, cy = model.y + model.height / 2;
    FindShape fs;
    QVERIFY(fs.CreateShape(picture(model), 0.0, 0, 0, cx, cy, false, 255, cv::Mat(), 5, 5));

    const int sx = 140, sy = 80;  // search crop origin
    const cv::Rect search(sx, sy, model.width + 160, model.height + 160);
    const cv::Mat moved = Shifted(picture, 17, -11);
    cv::Mat crop = moved(search).clone();
    int x = 0, y = 0;
    double score = 0, angle = 99;
    QVERIFY(fs.Find(crop, 0, &x, &y, &score, &angle));
    // Moving the picture by the reported offset takes the content back.
    QCOMPARE(x - sx, -17);
    QCOMPARE(y - sy, 11);
    QCOMPARE(angle, 0.0);
    QVERIFY(score > 0.9);

    // Every zoom-layer value finds the same place, also those whose own top level would be
    // too fine for an exhaustive search; with rotation allowed as well.
    for (int layers : {0, 1, 10}) {
        FindShape z;
        QVERIFY(z.CreateShape(picture(model), 0.0, 0, 5, cx, cy, false, 255, cv::Mat(), 5, layers));
        x = y = 0;
        QVERIFY(z.Find(crop, 0, &x, &y, &score, &angle));
        QVERIFY2(x - sx == -17 && y - sy == 11 && std::abs(angle) < 0.1,
                 qPrintable(QString("layers %1: %2 %3 %4").arg(layers).arg(x - sx).arg(y - sy).arg(angle)));
    }
}

void TestMatchers::findShapeReportsTheCorrectingRotation()
{
    const cv::Mat picture = Scene(640, 480, 4);
    const cv::Rect model(200, 140, 240, 200);
    const cv::Point c(model.x + model.width / 2, model.y + model.height / 2);
    FindShape fs;
    QVERIFY(fs.CreateShape(picture(model), 0.0, 0, 10, c.x, c.y, false, 255, cv::Mat(), 5, 5));

    // Content turned 4 degrees counter-clockwise about the centre and moved by (9, 6).
    const cv::Mat turned = Shifted(Rotated(picture, c, 4.0), 9, 6);
    cv::Mat crop = turned.clone();
    int x = 0, y = 0;
    double score = 0, angle = 0;
    QVERIFY(fs.Find(crop, 0, &x, &y, &score, &angle));
    QVERIFY2(std::abs(angle + 4.0) < 0.3, qPrintable(QString::number(angle)));
    QVERIFY2(std::abs(x + 9) <= 1 && std::abs(y + 6) <= 1, qPrintable(QString("%1 %2").arg(x).arg(y)));

    cv::Mat back;
    TransformImage(turned, back, cv::Point(x, y), c, angle);
    const double corrected = Mad(back, picture, model);
    const double uncorrected = Mad(turned, picture, model);
    QVERIFY2(corrected < 1.5 && uncorrected > 5 * corrected,
             qPrintable(QString("%1 %2").arg(corrected).arg(uncorrected)));
}

void TestMatchers::findShapeRefusesFlatPatternsAndMissingShapes()
{
    FindShape fs;
    QVERIFY(!fs.IsValid());
    QVERIFY(
        !fs.CreateShape(cv::Mat(100, 100, CV_8UC1, cv::Scalar(80)), 0.0, 0, 0, 50, 50, false, 255, cv::Mat(), 5, 5));
    QVERIFY(!fs.IsValid());
    // A mask that keeps nothing leaves no model either.
    const cv::Mat picture = Scene(320, 240, 8);
    QVERIFY(!fs.CreateShape(picture(cv::Rect(60, 60, 100, 100)), 0.0, 0, 0, 110, 110, false, 255,
                            cv::Mat::zeros(100, 100, CV_8UC1), 5, 5));

    QVERIFY(fs.CreateShape(picture(cv::Rect(60, 60, 100, 100)), 0.0, 0, 0, 110, 110, false, 255, cv::Mat(), 5, 5));
    cv::Mat elsewhere = Scene(320, 240, 1234);
    int x = -7, y = -7;
    double score = 0, angle = 0;
    QVERIFY(!fs.Find(elsewhere, 0, &x, &y, &score, &angle));
    QCOMPARE(x, -7);  // nothing written when not found
    cv::Mat flat(240, 320, CV_8UC1, cv::Scalar(100));
    QVERIFY(!fs.Find(flat, 0, &x, &y, &score, &angle));
}

void TestMatchers::homographyBringsAWarpedPictureBack()
{
    SimSceneOptions o;
    o.width = 640;
    o.height = 480;
    o.seed = 21;
    const cv::Mat templ = SimScene::render(o);
    o.perspective = 0.04;
    o.rotation = 2.0;
    o.shiftX = 8;
    const cv::Mat warped = SimScene::render(o);

    ImgHomoTrans h;
    QVERIFY(h.setTemplate(templ, cv::Mat(), 300));
    QCOMPARE(h.scale, 1.0f);
    cv::Mat dst;
    QVERIFY(h.transImageHomo(warped, dst, 0.4f));
    const cv::Rect inner(80, 80, 480, 320);
    const double corrected = Mad(dst, templ, inner);
    const double uncorrected = Mad(warped, templ, inner);
    QVERIFY2(corrected < 2 && uncorrected > 5 * corrected,
             qPrintable(QString("%1 %2").arg(corrected).arg(uncorrected)));

    ImgHomoTrans big;
    big.setTemplate(cv::Mat(1024, 1280, CV_8UC1, cv::Scalar(0)), cv::Mat(), 0);
    QVERIFY(std::abs(big.scale - 0.6176f) < 0.001f);
}

void TestMatchers::homographyRefusesUniformPicturesAndBadMasks()
{
    const cv::Mat templ = Scene(640, 480, 21);
    ImgHomoTrans h;
    QVERIFY(h.setTemplate(templ, cv::Mat(), 300));
    cv::Mat dst(480, 640, CV_8UC1, cv::Scalar(7));
    QVERIFY(!h.transImageHomo(cv::Mat(480, 640, CV_8UC1, cv::Scalar(128)), dst, 0.4f));
    QCOMPARE(cv::countNonZero(dst != 7), 0);  // untouched
    QVERIFY(!h.transImageHomo(cv::Mat(), dst, 0.4f));

    QVERIFY(!h.setTemplate(templ, cv::Mat(10, 10, CV_8UC1, cv::Scalar(255)), 0));
    QVERIFY(!h.setTemplate(cv::Mat(), cv::Mat(), 0));
    QVERIFY(!h.transImageHomo(templ, dst, 0.4f));  // no template features left

    // A mask restricts the template's features to its area.
    cv::Mat mask = cv::Mat::zeros(480, 640, CV_8UC1);
    mask(cv::Rect(200, 150, 100, 100)).setTo(255);
    QVERIFY(h.setTemplate(templ, mask, 0));
    for (const cv::KeyPoint& k : h.features[1].keypoints) QVERIFY(cv::Rect(200, 150, 100, 100).contains(k.pt));
}

MONITOR_TEST_MAIN(TestMatchers)
#include "tst_matchers.moc"
