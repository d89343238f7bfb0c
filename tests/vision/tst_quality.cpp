// Recognition quality at factory parameters: faint defects found, sensor noise, brightness and hue noise ignored.
#include <QtTest>

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

// The textured scene as a grey camera sees it, with sensor noise of the given seed.
cv::Mat Grey(double noise, quint32 noiseSeed, double gain = 1.0)
{
    SimSceneOptions o;
    o.width = kW;
    o.height = kH;
    o.seed = 21;
    cv::Mat scene = SimScene::render(o), f, n(kH, kW, CV_32F);
    scene.convertTo(f, CV_32F, gain);
    cv::theRNG().state = noiseSeed;
    cv::randn(n, 0, noise);
    cv::Mat out;
    cv::Mat(f + n).convertTo(out, CV_8U);
    return out;
}

// A near-grey scene (a tint of 3 levels) as a colour camera sees it, 8UC4 in memory order.
cv::Mat NearGrey(double noise, quint32 noiseSeed)
{
    cv::Mat grey = Grey(0, 0), planes[3], f;
    grey.convertTo(planes[0], CV_32F, 0.5, 60);
    planes[1] = planes[0] + 3;
    planes[2] = planes[0].clone();
    cv::merge(planes, 3, f);
    cv::Mat n(kH, kW, CV_32FC3);
    cv::theRNG().state = noiseSeed;
    cv::randn(n, cv::Scalar::all(0), cv::Scalar::all(noise));
    cv::Mat bgr, bgra;
    cv::Mat(f + n).convertTo(bgr, CV_8U);
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    return bgra;
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

private:
    std::unique_ptr<MainState> win;
};

void TestQuality::defectAtFactorySensitivityFindsAFaintSquareAndIgnoresNoiseAndBrightness()
{
    RecogRig rig(kW, kH);
    rig.setTemplate(0, 0, Grey(2, 1));
    const cv::Rect region(200, 150, 120, 100);
    rig.addRect(0, region, kFuncDefect, 45, 100, 3);  // factory sensitivity, filter area 100, filter 3
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
        QVERIFY2(v.roiOk[0][0], qPrintable(QString("gain %1: area %2").arg(gain).arg(v.roiValue[0][0])));
    }
}

void TestQuality::hueJudgementIgnoresNoiseOnNearGreyAndFindsAColouredPatch()
{
    RecogRig rig(kW, kH, true);
    gisGrayHue = false;  // the factory conversion of colour cameras
    rig.setTemplate(0, 0, NearGrey(2, 1));
    rig.addRect(0, cv::Rect(60, 60, 160, 120), kFuncSimilarity, 80);
    rig.addRect(0, cv::Rect(300, 60, 160, 120), kFuncDefect, 45, 100, 3);
    CammerRecong& rec = rig.build();
    CammerRecogData& v = *rig.view;

    for (quint32 seed : {2u, 3u}) {
        rig.setAligned(NearGrey(3, seed));
        rec.Run(0);
        QVERIFY2(v.roiOk[0][0], qPrintable(QString("similarity %1").arg(v.roiValue[0][0])));
        QVERIFY2(v.roiOk[0][1], qPrintable(QString("defect area %1").arg(v.roiValue[0][1])));
    }

    cv::Mat patched = NearGrey(3, 4);
    patched(cv::Rect(340, 90, 30, 30)).setTo(cv::Scalar(40, 60, 200, 0));  // a red part
    rig.setAligned(patched);
    rec.Run(0);
    QVERIFY(v.roiOk[0][0]);
    QVERIFY2(!v.roiOk[0][1], qPrintable(QString("defect area %1").arg(v.roiValue[0][1])));
    gisGrayHue = true;
}

MONITOR_TEST_MAIN(TestQuality)
#include "tst_quality.moc"
