// The recognition floor at factory parameters: wherever the plain comparison finds a part and is
// quiet on the same clean frame, Run finds it; wherever it is quiet on a clean frame, Run is quiet.
// ctest-timeout: 300
#include <QtTest>

#include <memory>

#include <QLoggingCategory>

#include <opencv2/imgcodecs.hpp>

#include "floorcases.h"
#include "mainstate.h"
#include "testsupport.h"

namespace {
using namespace floorcase;

// Pieces of the bench's photographs (tst_floor.qrc), colour, of the frame's size.
cv::Mat Photo(const char* name)
{
    QFile f(QString(":/floor/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return cv::Mat();
    const QByteArray bytes = f.readAll();
    return cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8UC1, const_cast<char*>(bytes.data())), cv::IMREAD_COLOR);
}

// A flat polished surface with a faint gradient, grey or of one clear hue.
cv::Mat Surface(cv::Scalar base)
{
    cv::Mat out(kFrameH, kFrameW, CV_8UC3);
    for (int y = 0; y < kFrameH; ++y)
        for (int x = 0; x < kFrameW; ++x)
            out.at<cv::Vec3b>(y, x) =
                cv::Vec3b(cv::saturate_cast<uchar>(base[0] + 20.0 * x / kFrameW + 6.0 * y / kFrameH),
                          cv::saturate_cast<uchar>(base[1] + 20.0 * x / kFrameW + 6.0 * y / kFrameH),
                          cv::saturate_cast<uchar>(base[2] + 20.0 * x / kFrameW + 6.0 * y / kFrameH));
    return out;
}
}  // namespace

class TestFloor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        win.reset(new MainState);
        QLoggingCategory::setFilterRules("default.info=false");  // the position correction's timings
    }
    void runFindsWhatThePlainComparisonFinds_data();
    void runFindsWhatThePlainComparisonFinds();

private:
    std::unique_ptr<MainState> win;
};

void TestFloor::runFindsWhatThePlainComparisonFinds_data()
{
    QTest::addColumn<QString>("surface");
    QTest::addColumn<bool>("colour");
    QTest::addColumn<bool>("correction");
    for (const char* grey : {"baboon.jpg", "building.jpg", "fruits.jpg", "flat"})
        QTest::newRow(grey) << QString(grey) << false << true;
    QTest::newRow("flat, no correction") << QString("flat") << false << false;
    QTest::newRow("colour fruits.jpg") << QString("fruits.jpg") << true << false;
    QTest::newRow("colour teal") << QString("teal") << true << false;
}

void TestFloor::runFindsWhatThePlainComparisonFinds()
{
    QFETCH(QString, surface);
    QFETCH(bool, colour);
    QFETCH(bool, correction);
    const cv::Mat canvas = surface == "flat"   ? Surface(cv::Scalar::all(120))
                           : surface == "teal" ? Surface(cv::Scalar(140, 120, 30))
                                               : Photo(qPrintable(surface));
    QVERIFY(!canvas.empty() && canvas.cols == kFrameW && canvas.rows == kFrameH);
    Options o;
    o.parts = colour ? std::vector<Part>{Part::Hue, Part::White, Part::Black, Part::WashedWhite, Part::WashedBlack}
                     : std::vector<Part>{Part::Dark, Part::Bright, Part::Faint};
    o.sizes = colour ? std::vector<int>{15, 30} : std::vector<int>{12, 15, 30};
    o.places = {Place::Centre, Place::Touching, Place::TwoIn};
    o.nuisances = {{"still", 1.0, 3}, {"+10 %", 1.1, 3}, {"-10 %", 0.9, 3}};
    o.correction = correction;
    Tally t;
    Walk(surface.toStdString(), canvas, colour, o, t);
    for (size_t k = 0; k < t.violations.size() && k < (qEnvironmentVariableIsSet("FLOOR_ALL") ? 100000u : 12u); ++k)
        qWarning("%s", t.violations[k].c_str());
    const QString counts = QString("%1 of %2 parts missed, %3 of %4 clean frames NG")
                               .arg(t.partsMissed)
                               .arg(t.partsAsked)
                               .arg(t.cleanRaised)
                               .arg(t.cleanAsked);
    qWarning("%s", qPrintable(counts));
    // The plain comparison must ask something of every surface.
    QVERIFY2(t.partsAsked >= 40 && t.cleanAsked >= 100, qPrintable(counts));
    QVERIFY2(t.violations.empty(), qPrintable(counts));
}

MONITOR_TEST_MAIN(TestFloor)
#include "tst_floor.moc"
