// Recognition quality at factory parameters: faint defects found; sensor noise, brightness, glare, small
// uncorrected movements and hue noise ignored.
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

#include "cammerrecongnize.h"
#include "globals.h"
#include "mainstate.h"
#include "recogrig.h"
#include "simscene.h"
#include "testsupport.h"

namespace {
constexpr int kW = 640;
constexpr int kH = 480;

// Grey levels f (32-bit) with sensor noise of the given seed, as the camera's 8-bit picture.
cv::Mat WithNoise(const cv::Mat& f, double noise, quint32 noiseSeed)
{
    cv::Mat n(f.size(), CV_32F), out;
    cv::theRNG().state = noiseSeed;
    cv::randn(n, 0, noise);
    cv::Mat(f + n).convertTo(out, CV_8U);
    return out;
}

// The textured scene as a grey camera sees it, with sensor noise of the given seed.
cv::Mat Grey(double noise, quint32 noiseSeed, double gain = 1.0)
{
    SimSceneOptions o;
    o.width = kW;
    o.height = kH;
    o.seed = 21;
    cv::Mat f;
    SimScene::render(o).convertTo(f, CV_32F, gain);
    return WithNoise(f, noise, noiseSeed);
}

// The scene moved by whole pixels (dx, dy), the uncovered border repeated.
cv::Mat Moved(const cv::Mat& picture, int dx, int dy)
{
    cv::Mat out;
    const cv::Mat m = (cv::Mat_<double>(2, 3) << 1, 0, dx, 0, 1, dy);
    cv::warpAffine(picture, out, m, picture.size(), cv::INTER_NEAREST, cv::BORDER_REPLICATE);
    return out;
}

// A flat polished surface: grey 130 with a faint gradient, and sensor noise.
cv::Mat Flat(double noise, quint32 noiseSeed)
{
    cv::Mat f(kH, kW, CV_32F);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) f.at<float>(y, x) = 120.0f + 20.0f * x / kW + 6.0f * y / kH;
    return WithNoise(f, noise, noiseSeed);
}

// A grooved surface: grey 150 with dark grooves (40) two pixels wide every five, sensor noise.
cv::Mat Grooves(double noise, quint32 noiseSeed)
{
    cv::Mat f(kH, kW, CV_32F, cv::Scalar(150));
    for (int x = 0; x + 2 <= kW; x += 5) f.colRange(x, x + 2).setTo(40);
    return WithNoise(f, noise, noiseSeed);
}

// Fur: grain of a pixel or two with a spread of about 30 grey levels (the 3 x 3 neighbourhood of
// every pixel spans more than a faint part's contrast), sensor noise of the given seed on top.
cv::Mat Fur(double noise, quint32 noiseSeed)
{
    cv::Mat grain(kH, kW, CV_32F);
    cv::theRNG().state = 77;
    cv::randn(grain, 0, 1);
    cv::GaussianBlur(grain, grain, cv::Size(0, 0), 0.8);
    cv::Scalar mean, spread;
    cv::meanStdDev(grain, mean, spread);
    return WithNoise((grain - mean[0]) * (30.0 / spread[0]) + 120.0, noise, noiseSeed);
}

// The textured scene as a colour camera sees it, 8UC4 in memory order: grey levels scaled and
// offset, a tint added per channel (blue, green, red), the whole times gain (clipping at white),
// sensor noise of the given seed. NearGrey: a tint of 3 levels; WarmWhite: a near-white wall of
// a faint warm tint that clips at white in a frame 10 % brighter; DimTint: a dark surface of a
// faint tint; Drowned: a darker one that sensor noise of 5 all but drowns; Teal: a clear colour
// (about 110 levels from grey) that neither noise nor brightness blurs; Faint: a tint of 2 levels
// (unpainted steel under a white balance slightly off), on which a clear green part shows, and
// FaintGreen the same towards green, the part's own hue.
struct Tint
{
    double scale, offset, blue, green, red;
    bool clear = false;  // a colour far from grey
    bool faint = false;  // a tint of 2 levels away from green
};
const Tint kNearGrey{0.5, 60, 0, 3, 0}, kWarmWhite{0.1, 226, -6, 2, 6}, kDimTint{0.2, 40, 0, 5, 9},
    kDrowned{0.1, 20, 0, 2, 4}, kTeal{0.2, 80, 60, 40, -50, true}, kFaint{0.5, 60, 2, 0, 0, false, true},
    kFaintGreen{0.5, 60, 0, 2, 0, false, true};
cv::Mat Tinted(const Tint& t, double noise, quint32 noiseSeed, double gain = 1.0)
{
    cv::Mat grey = Grey(0, 0), planes[3], f;
    grey.convertTo(planes[0], CV_32F, t.scale, t.offset);
    planes[1] = (planes[0] + t.green) * gain;
    planes[2] = (planes[0] + t.red) * gain;
    planes[0] = (planes[0] + t.blue) * gain;
    cv::merge(planes, 3, f);
    cv::Mat n(kH, kW, CV_32FC3);
    cv::theRNG().state = noiseSeed;
    cv::randn(n, cv::Scalar::all(0), cv::Scalar::all(noise));
    cv::Mat bgr, bgra;
    cv::Mat(f + n).convertTo(bgr, CV_8U);
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    return bgra;
}

// A colour picture through the camera's compression at the given quality (4 channels kept).
cv::Mat Compressed(const cv::Mat& bgra, int quality)
{
    std::vector<unsigned char> bytes;
    cv::Mat bgr;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    cv::imencode(".jpg", bgr, bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    cv::cvtColor(cv::imdecode(bytes, cv::IMREAD_COLOR), bgr, cv::COLOR_BGR2BGRA);
    return bgr;
}

// The rectangle of a colour picture with its colour faded to share of it (to the grey of each pixel
// of the noiseless picture), under sensor noise of the given seed.
void Fade(cv::Mat& picture, const cv::Mat& noiseless, cv::Rect r, double noise, quint32 noiseSeed, double share)
{
    cv::Mat n(r.size(), CV_32FC3);
    cv::theRNG().state = noiseSeed;
    cv::randn(n, cv::Scalar::all(0), cv::Scalar::all(noise));
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const cv::Vec4b c = noiseless.at<cv::Vec4b>(r.y + y, r.x + x);
            const double grey = (c[0] + c[1] + c[2]) / 3.0;
            for (int k = 0; k < 3; ++k)
                picture.at<cv::Vec4b>(r.y + y, r.x + x)[k] =
                    cv::saturate_cast<uchar>(grey + share * (c[k] - grey) + n.at<cv::Vec3f>(y, x)[k]);
        }
}
}  // namespace

class TestQuality : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!win)
            win.reset(new MainState);
        win->step = 0;
    }
    void defectAtFactorySensitivityFindsAFaintSquareAndIgnoresNoiseAndBrightness();
    void hueJudgementIgnoresNoiseOnNearGreyAndFindsAColouredPatch();
    void glareOnNearWhiteAreasIsNoDefectButADarkObjectIs();
    void regionOnAHighlightPassesInABrighterFrame();
    void smallUncorrectedShiftsPassButADarkObjectFails();
    void severalTemplatesStillPassAOnePixelShift();
    void similarityFindsASmallObjectAndIgnoresShaking();
    void partsAtTheRegionsEdgeFail();
    void partsMovedUpToEightPixelsPassWithinTheirMask();

private:
    std::unique_ptr<MainState> win;
};

void TestQuality::defectAtFactorySensitivityFindsAFaintSquareAndIgnoresNoiseAndBrightness()
{
    RecogRig rig(kW, kH);
    rig.setTemplate(0, 0, Grey(2, 1));
    const cv::Rect region(200, 150, 120, 100);
    rig.addRect(0, region, kFuncDefect, 45, 100, 3);  // factory sensitivity, filter area 100, filter 3
    // A sensitive one beside it: sensor noise scatters single marks there, which stay apart.
    rig.addRect(0, cv::Rect(400, 300, 120, 100), kFuncDefect, 65, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;

    // A 25 x 25 square 45 grey levels brighter than what it covers.
    cv::Mat live = Grey(2, 2);
    const cv::Rect square(240, 180, 25, 25);
    cv::Mat covered;
    live(square).convertTo(covered, CV_32F);
    cv::Mat(covered + 45).convertTo(live(square), CV_8U);
    rig.setAligned(live);
    rec.Run(0);
    QVERIFY2(!v.roiOk[0][0], qPrintable(QString("area %1").arg(v.roiValue[0][0])));

    // Unchanged frames: heavier sensor noise, and the lighting 10 % up or down.
    for (double gain : {1.0, 1.1, 0.9}) {
        rig.setAligned(Grey(5, 3, gain));
        rec.Run(0);
        for (int r : {0, 1})
            QVERIFY2(v.roiOk[0][r],
                     qPrintable(QString("gain %1, region %2: area %3").arg(gain).arg(r).arg(v.roiValue[0][r])));
    }
}

void TestQuality::hueJudgementIgnoresNoiseOnNearGreyAndFindsAColouredPatch()
{
    struct Frame
    {
        double noise, gain;
        int jpeg = 0;  // compressed at this quality (0: not)
    };
    // Unchanged surfaces under sensor noise of 3 and 5 and in a frame 10 % brighter pass the
    // similarity and the defect function, and a frame 10 % darker at noise 5 the similarity; a
    // violet part (a hue far from every tint) fails them. In the brighter frame a cyan part clipped
    // at white in green and blue fails the similarity on the warm tints, where no brightening clips
    // those two channels. On the clear colour, which no frame clips, a part of 15 px clipped white
    // at a region's edge, a black and a grey part, and a region whose colour all but vanished (faded
    // to 3 %) fail too, and one keeping a twentieth, whose hue noise no longer leaves clear, fails the
    // defect function and the similarity, and so does a 14 px part of its own hue half as strong again (the hue cannot
    // tell it). On the faint tints a 14 px part of the surface's grey but a clear green fails the
    // defect function, also where the tint leans to green. A frame compressed at quality 50 (which
    // turns a near-grey's hue in blocks) passes the similarity and the defect function, and its parts
    // fail them.
    for (const Tint& tint : {kNearGrey, kWarmWhite, kDimTint, kDrowned, kTeal, kFaint, kFaintGreen}) {
        RecogRig rig(kW, kH, true);
        gisGrayHue = false;  // the factory conversion of colour cameras
        rig.setTemplate(0, 0, Tinted(tint, 2, 1));
        rig.addRect(0, cv::Rect(60, 60, 160, 120), kFuncSimilarity, 80);
        rig.addRect(0, cv::Rect(300, 60, 160, 120), kFuncDefect, 45, 100, 3);
        CammerRecong& rec = rig.build();
        CammerRecogData& v = *rig.view;
        quint32 seed = 1;
        for (const Frame fr :
             {Frame{3, 1.0}, Frame{3, 1.0}, Frame{5, 1.0}, Frame{5, 0.9}, Frame{3, 1.1}, Frame{2, 1.0, 50}}) {
            const QString at =
                QString("tint %1, noise %2, gain %3, jpeg %4").arg(tint.red).arg(fr.noise).arg(fr.gain).arg(fr.jpeg);
            const cv::Mat clean = Tinted(tint, fr.noise, ++seed, fr.gain);
            const cv::Scalar violet(220, 60, 150, 0), cyan(255, 255, 150, 0), white(255, 255, 255, 0), faded, pale;
            const cv::Scalar green(-20, 40, -20, 0);  // added to the surface: its grey, a clear green
            const cv::Scalar stronger(30, 20, -25, 0);  // added to teal: more of it
            const cv::Scalar black(0, 0, 0, 0), grey(110, 110, 110, 0);
            for (const cv::Scalar* part : {(const cv::Scalar*)nullptr, &violet, &cyan, &white, &faded, &pale, &green,
                                           &black, &grey, &stronger}) {
                if (part == &green && !tint.faint)
                    continue;
                if (part == &cyan && (fr.gain == 1.0 || tint.red <= tint.green))
                    continue;
                if ((part == &white || part == &faded || part == &pale || part == &black || part == &grey ||
                     part == &stronger) &&
                    !tint.clear)
                    continue;
                cv::Mat live = clean.clone();
                const cv::Rect place = part == &white || part == &grey       ? cv::Rect(60, 100, 15, 15)
                                       : part == &green || part == &stronger ? cv::Rect(100, 90, 14, 14)
                                                                             : cv::Rect(100, 90, 30, 30);
                for (const cv::Rect r : {place, place + cv::Point(240, 0)}) {
                    if (part == &faded || part == &pale)  // the whole region
                        Fade(live, Tinted(tint, 0, 0, fr.gain), r + cv::Point(-40, -30) + cv::Size(100, 60), fr.noise,
                             seed, part == &faded ? 0.03 : 0.05);
                    else if (part == &green || part == &stronger)
                        cv::add(live(r), *part, live(r), cv::noArray(), CV_8U);
                    else if (part)
                        live(r).setTo(*part);
                }
                rig.setAligned(fr.jpeg ? Compressed(live, fr.jpeg) : live);
                rec.Run(0);
                const QString what = at + (part == &violet     ? ", violet"
                                           : part == &cyan     ? ", cyan"
                                           : part == &white    ? ", white"
                                           : part == &pale     ? ", faded to 5 %"
                                           : part == &green    ? ", green"
                                           : part == &black    ? ", black"
                                           : part == &grey     ? ", grey"
                                           : part == &stronger ? ", stronger teal"
                                           : part              ? ", faded"
                                                               : ", no part");
                // The similarity weighs colours as hues; compression bleeds the clear colour into a
                // 15 px grey part, which keeps its hue.
                if (part == &pale)
                    QVERIFY2(!v.roiOk[0][0], qPrintable(what + QString(": similarity %1").arg(v.roiValue[0][0])));
                if (part != &pale && part != &green && part != &stronger && !(fr.jpeg && part == &grey)) {
                    QVERIFY2(v.roiOk[0][0] == !part,
                             qPrintable(what + QString(": similarity %1").arg(v.roiValue[0][0])));
                    // The blobs shown lie on the part.
                    const cv::Mat shown(kH, kW, CV_8UC1, v.displayMask);
                    QVERIFY2((cv::countNonZero(shown(place)) > 0) == bool(part), qPrintable(what));
                }
                if (part != &cyan && fr.gain >= 1.0)
                    QVERIFY2(v.roiOk[0][1] == !part,
                             qPrintable(what + QString(": defect area %1").arg(v.roiValue[0][1])));
            }
        }
    }
    gisGrayHue = true;
}

// Polished steel under a lamp: a flat near-white patch (250) over 10 % and 25 % of the region
// in the reference, and the frame 10 % brighter, so the patch and the brightest texture clip
// at white. Unchanged, the region passes in every frame; a small dark object still fails.
void TestQuality::glareOnNearWhiteAreasIsNoDefectButADarkObjectIs()
{
    const cv::Rect region(200, 150, 120, 100);
    struct Glare
    {
        cv::Rect patch;
        int level;  // 235: clips at white in the brighter frame, 16 levels above the references
        double gain;
        int bare;  // columns of the region from its 3rd on left to the texture
    };
    // (The last two cover the whole region: in the brighter frame every pixel clips, and the
    // region follows the most a frame may brighten; or a highlight clipped already in the
    // references leaves only a strip of texture too narrow for a sparse look, which tells that
    // the frame is no brighter.)
    for (const Glare g :
         {Glare{{230, 170, 40, 30}, 250, 1.1, 0}, Glare{{220, 170, 60, 50}, 250, 1.1, 0},
          Glare{{220, 170, 60, 50}, 235, 1.1, 0}, Glare{region, 238, 1.1, 0}, Glare{region, 255, 1.0, 4}}) {
        const cv::Rect patch = g.patch;
        RecogRig rig(kW, kH);
        auto withPatch = [&](cv::Mat picture, double gain) {
            const cv::Mat texture = picture(patch).clone();
            cv::Mat(patch.size(), CV_8UC1, cv::Scalar(cv::saturate_cast<uchar>(g.level * gain))).copyTo(picture(patch));
            if (g.bare)
                texture.colRange(3, 3 + g.bare).copyTo(picture(patch).colRange(3, 3 + g.bare));
            return picture;
        };
        rig.setTemplate(0, 0, withPatch(Grey(2, 1), 1.0));
        rig.addRect(0, region, kFuncDefect, 45, 100, 3);
        CammerRecong& rec = rig.build();
        CammerRecogData& v = *rig.view;
        const QString share =
            QString("patch of %1, %2 % of the region").arg(g.level).arg(100 * patch.area() / region.area());
        for (quint32 seed : {2u, 3u, 4u, 5u}) {
            cv::Mat live = withPatch(Grey(2, seed, g.gain), g.gain);
            rig.setAligned(live);
            rec.Run(0);
            QVERIFY2(v.roiOk[0][0], qPrintable(share + QString(", frame %1: area %2").arg(seed).arg(v.roiValue[0][0])));
            // A 15 x 15 object of grey 30 on the texture beside the patch.
            live(cv::Rect(region.x + 95, region.y + 75, 15, 15)).setTo(30);
            rig.setAligned(live);
            rec.Run(0);
            QVERIFY2(!v.roiOk[0][0], qPrintable(share + QString(", object in frame %1").arg(seed)));
        }
    }
}

// A region drawn on a highlight: nearly all of it near white and half of it clipped in the
// references; in a frame 10 % brighter all but a few pixels clip. It passes; a dark part fails.
void TestQuality::regionOnAHighlightPassesInABrighterFrame()
{
    const cv::Rect region(280, 200, 66, 66);
    // The scene under the highlight, its brightness times gain, sensor noise, then clipped.
    auto lit = [&](quint32 noiseSeed, double gain) {
        cv::Mat picture = Grey(0, 0), f, spot = cv::Mat::zeros(picture.size(), CV_32F), noise(kH, kW, CV_32F);
        picture.convertTo(f, CV_32F);
        cv::theRNG().state = noiseSeed;
        cv::randn(noise, 0, 2);
        cv::circle(spot, (region.tl() + region.br()) / 2, 1, cv::Scalar(1), cv::FILLED);
        cv::GaussianBlur(spot, spot, cv::Size(0, 0), 26);
        double peak = 0;
        cv::minMaxLoc(spot, nullptr, &peak);
        cv::Mat((f + spot * (330.0 / peak)) * gain + noise).convertTo(picture, CV_8U);
        return picture;
    };
    RecogRig rig(kW, kH);
    rig.setTemplate(0, 0, lit(1, 1.0));
    rig.addRect(0, region, kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    for (quint32 seed : {2u, 3u, 4u}) {
        cv::Mat live = lit(seed, 1.1);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(v.roiOk[0][0], qPrintable(QString("frame %1: area %2").arg(seed).arg(v.roiValue[0][0])));
        live(cv::Rect(region.x + 26, region.y + 26, 14, 14)).setTo(30);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY(!v.roiOk[0][0]);
    }
}

// Vibration that no correction takes out: the textured scene 1 and 2 pixels off in several
// directions passes at the factory setting; a small dark object in the moved frame still fails.
void TestQuality::smallUncorrectedShiftsPassButADarkObjectFails()
{
    RecogRig rig(kW, kH);
    rig.setTemplate(0, 0, Grey(2, 1));
    const cv::Rect region(200, 150, 120, 100);
    rig.addRect(0, region, kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    const cv::Point shifts[] = {{1, 0}, {0, -1}, {-1, 1}, {2, 0}, {0, 2}, {-2, -2}, {2, -1}};
    quint32 seed = 10;
    for (const cv::Point d : shifts) {
        cv::Mat live = Moved(Grey(2, ++seed), d.x, d.y);
        rig.setAligned(live);
        rec.Run(0);
        const QString at = QString("shift %1,%2").arg(d.x).arg(d.y);
        QVERIFY2(v.roiOk[0][0], qPrintable(at + QString(": area %1").arg(v.roiValue[0][0])));
        live(cv::Rect(region.x + 20, region.y + 40, 15, 15)).setTo(20);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(!v.roiOk[0][0], qPrintable(at + ": object passed"));
    }
}

// With several taught pictures the band takes in every one of them: a part that is taught with
// and without a light label passes in both states also one pixel off; an object still fails.
void TestQuality::severalTemplatesStillPassAOnePixelShift()
{
    const cv::Rect label(240, 180, 25, 25);
    auto withLabel = [&](cv::Mat picture) {
        cv::Mat brighter;
        picture(label).convertTo(brighter, CV_8U, 1.0, 60);
        brighter.copyTo(picture(label));
        return picture;
    };
    RecogRig rig(kW, kH, false, 2);
    rig.setTemplate(0, 0, Grey(2, 1));
    rig.setTemplate(0, 1, withLabel(Grey(2, 2)));
    rig.addRect(0, cv::Rect(200, 150, 120, 100), kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    quint32 seed = 20;
    for (const cv::Point d : {cv::Point(0, 1), cv::Point(-1, 0), cv::Point(1, -1)}) {
        for (bool labelled : {false, true}) {
            cv::Mat live = Grey(2, ++seed);
            live = Moved(labelled ? withLabel(live) : live, d.x, d.y);
            rig.setAligned(live);
            rec.Run(0);
            QVERIFY2(
                v.roiOk[0][0],
                qPrintable(
                    QString("shift %1,%2, label %3: area %4").arg(d.x).arg(d.y).arg(labelled).arg(v.roiValue[0][0])));
            live(cv::Rect(285, 215, 15, 15)).setTo(20);
            rig.setAligned(live);
            rec.Run(0);
            QVERIFY(!v.roiOk[0][0]);
        }
    }
}

// The similarity at its factory minimum: a small object covering a twentieth of the region fails
// it although the region as a whole is still much alike; noise, lighting and a frame shaken by
// up to about 8 pixels do not.
void TestQuality::similarityFindsASmallObjectAndIgnoresShaking()
{
    RecogRig rig(kW, kH);
    rig.setTemplate(0, 0, Grey(2, 1));
    const cv::Rect region(200, 150, 120, 100);
    rig.addRect(0, region, kFuncSimilarity, 80);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    struct Nuisance
    {
        double gain;
        cv::Point shift;
    };
    quint32 seed = 30;
    for (const Nuisance n : {Nuisance{1.0, {0, 0}}, Nuisance{1.1, {0, 0}}, Nuisance{0.9, {0, 0}},
                             Nuisance{1.0, {2, -2}}, Nuisance{1.0, {6, 6}}, Nuisance{1.0, {-7, 5}}}) {
        const QString what = QString("gain %1, shift %2,%3").arg(n.gain).arg(n.shift.x).arg(n.shift.y);
        cv::Mat live = Moved(Grey(3, ++seed, n.gain), n.shift.x, n.shift.y);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(v.roiOk[0][0], qPrintable(what + QString(": score %1").arg(v.roiValue[0][0])));
        live(cv::Rect(region.x + 70, region.y + 20, 25, 25)).setTo(20);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(!v.roiOk[0][0], qPrintable(what + QString(": object scored %1").arg(v.roiValue[0][0])));
    }
    // A colour camera's shaking is never corrected: six regions on a colour photograph (fur, hue
    // everywhere) moved by 2 to 4 px pass, and a dark part fails.
    QFile file(":/floor/baboon.jpg");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    cv::Mat canvas, photo = cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8UC1, (void*)bytes.data()), cv::IMREAD_COLOR);
    constexpr int kMargin = 16;
    cv::resize(photo, canvas, cv::Size(kW + 2 * kMargin, kH + 2 * kMargin), 0, 0, cv::INTER_AREA);
    auto shaken = [&](cv::Point d, quint32 noiseSeed) {
        cv::Mat f, n(kH, kW, CV_32FC3), out;
        canvas(cv::Rect(kMargin - d.x, kMargin - d.y, kW, kH)).convertTo(f, CV_32F);
        cv::theRNG().state = noiseSeed;
        cv::randn(n, cv::Scalar::all(0), cv::Scalar::all(2));
        cv::Mat(f + n).convertTo(out, CV_8U);
        cv::cvtColor(out, out, cv::COLOR_BGR2BGRA);
        return out;
    };
    RecogRig colour(kW, kH, true);
    gisGrayHue = false;
    colour.setTemplate(0, 0, shaken({}, 1));
    for (int i = 0; i < 6; ++i)
        colour.addRect(0, cv::Rect(40 + (i % 3) * 200, 60 + (i / 3) * 220, 120 + 20 * (i % 2), 100), kFuncSimilarity, 80);
    CammerRecong& hue = colour.build();
    for (const cv::Point d : {cv::Point(2, -3), cv::Point(-4, 1), cv::Point(3, 4), cv::Point(-2, -4), cv::Point(4, 0),
                              cv::Point(0, 3), cv::Point(-3, 3), cv::Point(4, -2)}) {
        cv::Mat live = shaken(d, quint32(40 + d.x * 10 + d.y));
        colour.setAligned(live);
        hue.Run(0);
        for (int i = 0; i < 6; ++i)
            QVERIFY2(colour.view->roiOk[0][i], qPrintable(QString("colour, shift %1,%2, region %3: score %4")
                                                               .arg(d.x).arg(d.y).arg(i).arg(colour.view->roiValue[0][i])));
        live(cv::Rect(110, 80, 25, 25)).setTo(cv::Scalar::all(20));
        colour.setAligned(live);
        hue.Run(0);
        QVERIFY2(!colour.view->roiOk[0][0], qPrintable(QString("colour, shift %1,%2: object scored %3")
                                                            .arg(d.x).arg(d.y).arg(colour.view->roiValue[0][0])));
    }
    gisGrayHue = true;
}

// A left-over part of 12 x 12 px touching any side of a region fails it, in a still frame and in
// frames moved by 1 and 2 px that nothing corrects, on a textured part, on a flat polished
// surface, on fur, where the part is faint (a flat patch 35 grey levels off the mean it
// covers, inside every pixel's band there), and on grooves as dark as the part (its pixels
// on them cannot depart); the same frames without it pass.
void TestQuality::partsAtTheRegionsEdgeFail()
{
    const cv::Rect region(200, 150, 120, 100);
    enum Surface { Textured, Flat, FurFaint, Grooved };
    for (Surface surface : {Textured, Flat, FurFaint, Grooved}) {
        auto picture = [&](double noise, quint32 seed) {
            return surface == Flat       ? ::Flat(noise, seed)
                   : surface == FurFaint ? Fur(noise, seed)
                   : surface == Grooved  ? Grooves(noise, seed)
                                         : Grey(2, seed);
        };
        RecogRig rig(kW, kH);
        rig.setTemplate(0, 0, picture(2, 1));
        rig.addRect(0, region, kFuncDefect, 45, 100, 3);
        CammerRecong& rec = rig.build();
        CammerRecogData& v = *rig.view;
        quint32 seed = 40;
        for (int move : {0, 1, 2}) {
            // (The strip a movement of 2 px uncovers is judged against the grooves within its
            // reach: nothing as dark as they are can depart there.)
            if (surface == Grooved && move == 2)
                continue;
            for (int side = 0; side < 4; ++side) {
                cv::Mat live = Moved(picture(3, ++seed), move, -move);
                const QString at = QString("surface %1, moved %2 px, side %3").arg(surface).arg(move).arg(side);
                rig.setAligned(live);
                rec.Run(0);
                QVERIFY2(v.roiOk[0][0], qPrintable(at + QString(", no part: area %1").arg(v.roiValue[0][0])));
                const int along = 20 + 23 * side + 7 * move;
                const cv::Point corner[] = {{region.x + along, region.y},
                                            {region.br().x - 12, region.y + along / 2},
                                            {region.x + along, region.br().y - 12},
                                            {region.x, region.y + along / 2}};
                // Dark, or bright where the texture there is dark: a part that stands out; on fur
                // a faint one.
                cv::Mat at12 = live(cv::Rect(corner[side], cv::Size(12, 12)));
                const double covered = cv::mean(at12)[0];
                at12.setTo(surface == Flat       ? 90
                           : surface == Grooved  ? 40
                           : surface == FurFaint ? covered + (side % 2 ? 35 : -35)
                           : covered > 127       ? 0
                                                 : 255);
                rig.setAligned(live);
                rec.Run(0);
                QVERIFY2(!v.roiOk[0][0], qPrintable(at + QString(": part passed, area %1").arg(v.roiValue[0][0])));
            }
        }
    }
}

// A part in a region on a flat surface moved by up to 8 px each way is brought back by the
// movement search and passes; after the movement, marks that the region's mask leaves out (its
// right part here) still do not count, also where the moved references are judged ones.
void TestQuality::partsMovedUpToEightPixelsPassWithinTheirMask()
{
    const cv::Rect region(200, 150, 120, 100);
    const cv::Rect part(region.x + 24, region.y + 28, 50, 44);
    auto scene = [&](quint32 seed, cv::Point moved) {
        cv::Mat picture = Flat(2, seed);
        Grey(2, seed)(part).copyTo(picture(part + moved));
        return picture;
    };
    RecogRig rig(kW, kH);
    rig.setTemplate(0, 0, scene(1, {}));
    const int i = rig.addRect(0, region, kFuncDefect, 45, 100, 3);
    rig.view->workMasks[0][i].colRange(84, region.width).setTo(0);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;
    quint32 seed = 60;
    for (const cv::Point d : {cv::Point(6, 0), cv::Point(-5, 7), cv::Point(8, -8), cv::Point(-8, 3)}) {
        const QString at = QString("part moved %1,%2").arg(d.x).arg(d.y);
        cv::Mat live = scene(++seed, d);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(v.roiOk[0][0], qPrintable(at + QString(": area %1").arg(v.roiValue[0][0])));
        // A dark mark in the left-out part, where the moved references are judged pixels.
        live(cv::Rect(region.x + 86, region.y + 30, 14, 30)).setTo(20);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(v.roiOk[0][0], qPrintable(at + QString(", mark outside the mask: area %1").arg(v.roiValue[0][0])));
        // The strip the movement uncovers is judged too: a dark part lying wholly in it fails.
        if (d.x == 8) {
            cv::Mat inStrip = live.clone();
            inStrip(cv::Rect(region.x, region.y + 10, 8, 20)).setTo(20);
            rig.setAligned(inStrip);
            rec.Run(0);
            QVERIFY2(!v.roiOk[0][0], qPrintable(at + ": part in the uncovered strip passed"));
        }
        // A dark part inside the mask still fails.
        live(cv::Rect(region.x + 4, region.y + 80, 14, 14)).setTo(20);
        rig.setAligned(live);
        rec.Run(0);
        QVERIFY2(!v.roiOk[0][0], qPrintable(at + ": part passed"));
    }
}

MONITOR_TEST_MAIN(TestQuality)
#include "tst_quality.moc"
