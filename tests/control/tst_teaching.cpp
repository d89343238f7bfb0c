// The operator's teaching on the whole window: regions, templates, ignore points, the commit and the alarm answers.
// ctest-timeout: 300
#include <QtTest>

#include <QJsonArray>
#include <QJsonObject>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "combobox.h"
#include "cyclerig.h"
#include "drawroiwidget.h"
#include "globals.h"
#include "iostatus.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "roiparampanel.h"
#include "slider.h"
#include "testsupport.h"
#include "viewwatch2vrq.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace {

constexpr int kMould = 1;  // the detection input 0 starts: the mould step
constexpr int kEnglish = 1;
const QString kTitle = "Detection Mold of camera %1 ";

void send(QWidget* w, QEvent::Type type, QPoint p)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(p), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

void drag(QWidget* w, QPoint from, QPoint to)
{
    send(w, QEvent::MouseButtonPress, from);
    send(w, QEvent::MouseMove, (from + to) / 2);
    send(w, QEvent::MouseMove, to);
    send(w, QEvent::MouseButtonRelease, to);
    // Presses this far apart in time are never a double tap.
    CycleRig::wait(900);
}

QString Value(MoJuWizard* w, int camera, const QString& row)
{
    QSqlQuery q(w->queryIn);
    q.exec(QString("select value from cammer%1 where name='%2'").arg(camera).arg(row));
    return q.next() ? q.value(0).toString() : QString();
}

}  // namespace

class TestTeaching : public QObject
{
    Q_OBJECT

    CycleRig rig;
    DrawROIWidget* page = nullptr;
    ModalAnswerer* answers = nullptr;

    CammerWidget* view(int c) { return rig.view(c); }

    // Clicks the region panel's function button until the selected region has function f.
    bool setFunction(CammerWidget* v, int f)
    {
        for (int i = 0; i < 12; ++i) {
            if (v->storeB->func[kMould][v->curRoi] == f)
                return true;
            v->panel->buttonFunc->click();
        }
        return false;
    }

    // An NG judgement of the mould step; the alarm page is up when it returns true.
    bool alarm()
    {
        rig.pulse(0, 100);
        return rig.waitOutput(kAlarmOut, true, 3000) > 0 && rig.window->pageState == 2 && page->isVisible();
    }

    QStringList newRecords(const QString& type, int before) { return rig.records(type).mid(before); }

    // The teaching page opened by the operator on one camera.
    void teachOn(int camera)
    {
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(camera);
        QCOMPARE(rig.window->viewCamera, camera);
        QCOMPARE(gSource, kSourceTemplate);
    }

    // End Set, keeping the changes; the page closes.
    void endSet()
    {
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        QTRY_COMPARE(answers->pendingAnswers(), 0);
        QVERIFY(page->isHidden());
    }

    // A quadrilateral drawn from `from` to `to` made a defect region.
    bool drawDefect(CammerWidget* v, QPoint from, QPoint to)
    {
        page->rectButton->click();
        drag(v, from, to);
        return setFunction(v, 0);
    }

    // A mould whose parts all pass: the clamp is released and no alarm follows.
    bool mouldPasses()
    {
        rig.pulse(0, 100);
        if (rig.waitOutput(kClampOut, false, 3000) < 0)
            return false;
        CycleRig::wait(300);
        return !rig.bit(rig.syncedOutputs(), kAlarmOut) && rig.window->pageState != 2;
    }

    // Every camera leaves the alarmed mould undetected; the alarm and the page go.
    bool notDetectAll()
    {
        if (rig.window->viewCamera != numCamera)
            page->cameraCombo->setCurrentIndex(numCamera);
        answers->answer(ModalAnswerer::Yes);
        page->noCheckButton->click();
        return rig.waitOutput(kAlarmOut, false, 2000) > 0 && rig.window->pageState != 2 && page->isHidden();
    }

    // The simulated camera's left-over part as a blob of `radius` pixels at the picture's centre.
    bool setBlob(int camera, int radius)
    {
        QFile file("simcamera.in");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(QString("defect %1 on -1 -1 %2\n").arg(camera + 1).arg(radius).toUtf8());
        file.close();
        // Dark a little inside the rim, the clean scene (template 0) a little beyond it.
        CammerWidget* v = view(camera);
        const int centre = (v->imageHeight / 2) * v->imageWidth + v->imageWidth / 2;
        const unsigned char* clean = v->templates[kMould][0];
        const auto shown = [&] {
            const int inside = centre + radius - 4, outside = centre + radius + 4;
            return v->rawImage[inside] <= 10 && qAbs(int(v->rawImage[outside]) - int(clean[outside])) <= 10;
        };
        return QTest::qWaitFor(shown, 15000);
    }

private slots:
    void init() { rig.beginScenario(); }

    // The live options a case switches for itself go back however it ends.
    void cleanup()
    {
        rig.reportIfFailed();
        gpWPara->motionCorrect = -1;
        gpWPara->isPswUsed = 0;
        gpWPara->continuationArea = 0;
    }

    void initTestCase()
    {
        // The mould step only, three templates per detection.
        QVERIFY(rig.start(3, 1, {{"system1", 2, 0}, {"system2", 2, 3}}));
        page = rig.window->drawROIWidget;
        rig.window->show();
        QVERIFY(page);
        QVERIFY(page->isHidden());
        QCOMPARE(page->parentWidget(), rig.window);
        answers = rig.answerer;
        gLan = kEnglish;
        QCOMPARE(gTempNum, 3);
        QCOMPARE(gDNum, 2);
        gpWPara->isPswUsed = 0;
        gpWPara->sameParams = 0;
        gpWPara->continuationArea = 0;
        gpWPara->continuousCopy = 0;
        for (int* f : {&gpWPara->defectDetect, &gpWPara->spotDetect, &gpWPara->ignoreArea, &gpWPara->manualLocate})
            *f = 1;
        for (int* f : {&gpWPara->blackArea, &gpWPara->whiteArea, &gpWPara->similarity, &gpWPara->whiteNumber,
                       &gpWPara->blackNumber, &gpWPara->colorSpot, &gpWPara->angleCorrect})
            *f = 0;
        QVERIFY(!gpWPara->detectEnabled[0]);
        QVERIFY(gpWPara->detectEnabled[kMould]);
    }

    // The whole session: regions of several functions drawn and committed, the planted part
    // ignored on camera 1, a template taken from camera 3's live alarm picture; the cycles
    // that alarmed before then pass.
    void teachingSession()
    {
        CammerWidget* v0 = view(0);
        const int setBefore = rig.records("set").size();
        rig.window->SlotAdjustArea();
        QVERIFY(page->isVisible());
        QCOMPARE(rig.window->pageState, 3);
        QCOMPARE(gSource, kSourceTemplate);
        QCOMPARE(rig.window->curDetect, kMould);
        QCOMPARE(rig.window->viewCamera, 0);
        QVERIFY(rig.window->ioStatusWidget->isHidden());
        QCOMPARE(page->geometry(), QRect(gShowW - 240, 0, 240, gShowH));
        QVERIFY(page->rectButton->isVisible() && page->tempDeleteButton->isVisible());
        QVERIFY(page->reCheckButton->isHidden() && page->addTempButton->isHidden());
        QVERIFY(page->cameraCombo->isVisible());
        QCOMPARE(page->cameraCombo->count(), 4);  // three cameras and "All Camera"
        QCOMPARE(page->lastButton->text().replace(QLatin1Char('\n'), QLatin1Char(' ')), LanStr(559));  // on two lines

        // A quadrilateral away from the part, made an ignore area; a circle made a position region.
        page->rectButton->click();
        QCOMPARE(rig.window->drawMode, 1);
        drag(v0, QPoint(100, 100), QPoint(400, 300));
        QCOMPARE(v0->storeB->roiNum[kMould], 2);
        QVERIFY(setFunction(v0, 2));
        page->circleButton->click();
        drag(v0, QPoint(1500, 100), QPoint(1700, 300));
        QCOMPARE(v0->storeB->roiNum[kMould], 3);
        QCOMPARE(v0->storeB->shapeType[kMould][2], kShapeCircle);
        QVERIFY(setFunction(v0, 3));
        QCOMPARE(v0->storeA->roiNum[kMould], 1);  // nothing committed while teaching

        answers->clearShown();
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        QCOMPARE(answers->texts(), QStringList{LanStr(72)});
        QVERIFY(page->isHidden());
        QCOMPARE(gSource, kSourceDetecting);
        QCOMPARE(rig.window->pageState, 0);
        QVERIFY(rig.window->ioStatusWidget->isVisible());
        const QStringList added = newRecords("set", setBefore);
        QCOMPARE(added.size(), 2);
        QCOMPARE(added[0], kTitle.arg(1) + "Added rectangular  area 2, function is Ignore Area");
        const CammerSingleton& a = *v0->storeA;
        // The values as the texts name them: the search speed is the third, the accuracy the first.
        QCOMPARE(added[1], kTitle.arg(1) + QString("Added circle area 3, function is Target Position,the search speed "
                                                   "is %1, the positioning accuracy is %2, the least match is %3")
                                               .arg(a.para3[kMould][2])
                                               .arg(a.para1[kMould][2])
                                               .arg(a.para2[kMould][2]));
        QVERIFY(a.para1[kMould][2] != a.para3[kMould][2]);
        QCOMPARE(a.roiNum[kMould], 3);
        QVERIFY(!Value(rig.window, a.camera, "ROI1-2").isEmpty());
        QCOMPARE(Value(rig.window, a.camera, "detect1").section(' ', 0, 0), QString("3"));

        // Camera 1 alarms on the planted part; its blobs become ignored points.
        QVERIFY(rig.setPart(0, true));
        QVERIFY(alarm());
        QCOMPARE(gSource, kSourceLiveImage);
        QVERIFY(!v0->cameraOk);
        QVERIFY(page->reCheckButton->isVisible() && page->addTempButton->isVisible());
        QVERIFY(page->ignoreButton->isHidden());  // not with all cameras shown
        page->cameraCombo->setCurrentIndex(0);
        QCOMPARE(rig.window->viewCamera, 0);
        QVERIFY(page->ignoreButton->isVisible() && page->deleteIgnoredButton->isVisible());
        const int operateBefore = rig.records("operate").size();
        answers->answer(ModalAnswerer::Yes);
        page->ignoreButton->click();
        QCOMPARE(newRecords("operate", operateBefore), QStringList{"Camera 1 ignoring the current alarm point"});
        const int centre = (v0->imageHeight / 2) * v0->imageWidth + v0->imageWidth / 2;
        QCOMPARE(int(v0->ignoreMask[kMould][centre]), 255);
        QCOMPARE(int(v0->ignoreMask[kMould][0]), 0);
        QVERIFY(QFile::exists("./cammer12/ignorepoint.bmp"));

        // Re-detect judges the same picture again: it passes, the alarm and the page go.
        page->reCheckButton->click();
        QVERIFY(v0->cameraOk);
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        QVERIFY(rig.window->pageState != 2);
        QVERIFY(page->isHidden());

        // The next mould with the part still there is OK.
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kClampOut, false, 3000) > 0);
        CycleRig::wait(300);
        QVERIFY(!rig.bit(rig.syncedOutputs(), kAlarmOut));
        QVERIFY(v0->cameraOk);
        QVERIFY(v0->roiOk[kMould][0]);

        // Camera 3 alarms; its live picture becomes template 1 and the step passes.
        CammerWidget* v2 = view(2);
        QVERIFY(rig.setPart(2, true));
        QVERIFY(alarm());
        QVERIFY(!v2->cameraOk);
        page->cameraCombo->setCurrentIndex(2);
        const int operate2 = rig.records("operate").size();
        answers->clearShown();
        answers->answer(ModalAnswerer::Yes);
        page->addTempButton->click();
        QCOMPARE(answers->texts(), QStringList{LanStr(108)});
        QCOMPARE(newRecords("operate", operate2), QStringList{"Camerar 3 added a template"});
        QCOMPARE(v2->templateValid[kMould][1], 1);
        QCOMPARE(v2->templateCount[kMould], 2);
        QVERIFY(QFile::exists("./cammer32/template1.bmp"));
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        QVERIFY(rig.window->pageState != 2);
        rig.pulse(0, 100);
        QVERIFY(rig.waitOutput(kClampOut, false, 3000) > 0);
        CycleRig::wait(300);
        QVERIFY(!rig.bit(rig.syncedOutputs(), kAlarmOut));
        QVERIFY(v2->cameraOk);
    }

    // The commit writes one record per changed region and nothing for a NO; deleting the
    // regions removes their rows; only position edits rebuild the position models.
    void commitRecords()
    {
        CammerWidget* v0 = view(0);
        const int setBefore = rig.records("set").size();
        rig.window->SlotAdjustArea();
        QCOMPARE(gSource, kSourceTemplate);
        page->cameraCombo->setCurrentIndex(0);
        QCOMPARE(rig.window->viewCamera, 0);

        // Moving the ignore quadrilateral: one record.
        const QRect before = v0->storeA->rects[kMould][1].rect;
        drag(v0, QPoint(250, 200), QPoint(290, 230));
        QCOMPARE(v0->storeB->rects[kMould][1].rect, before.translated(40, 30));
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        QCOMPARE(newRecords("set", setBefore),
                 QStringList{kTitle.arg(1) +
                             "Changed the rectangular  area 2, The function is Ignore Area,Detection position has "
                             "been modified"});
        QCOMPARE(v0->storeA->rects[kMould][1].rect, before.translated(40, 30));

        // NO keeps the working store; a template deleted on camera 3 still retrains it.
        CammerWidget* v2 = view(2);
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(2);
        QCOMPARE(rig.window->viewCamera, 2);
        page->nextButton->click();
        QCOMPARE(v2->curTempIndex, 1);
        const int operateBefore = rig.records("operate").size();
        answers->answer(ModalAnswerer::Yes);
        page->tempDeleteButton->click();
        QCOMPARE(newRecords("operate", operateBefore), QStringList{"Camera 3 has deleted the 2 template "});
        QCOMPARE(v2->templateCount[kMould], 1);
        QCOMPARE(v2->curTempIndex, 0);  // the next valid slot, wrapping
        QVERIFY(!QFile::exists("./cammer32/template1.bmp"));
        // Template 0 stays: the operator is sent to re-sample instead.
        answers->clearShown();
        answers->answer(ModalAnswerer::Confirm);
        page->tempDeleteButton->click();
        QCOMPARE(answers->texts(), QStringList{LanStr(68)});
        QCOMPARE(v2->templateCount[kMould], 1);
        QVERIFY(QFile::exists("./cammer32/template0.bmp"));
        v2->recognizer->detMask[kMould] = cv::Mat();
        page->cameraCombo->setCurrentIndex(0);
        drag(v0, QPoint(300, 220), QPoint(350, 260));
        const int setNo = rig.records("set").size();
        answers->answer(ModalAnswerer::No);
        page->returnButton->click();
        QCOMPARE(rig.records("set").size(), setNo);
        QCOMPARE(v0->storeA->rects[kMould][1].rect, before.translated(40, 30));
        QVERIFY(v0->storeB->rects[kMould][1].rect != v0->storeA->rects[kMould][1].rect);
        QVERIFY(!v2->recognizer->detMask[kMould].empty());

        // Deleting all three regions: three records, the rows gone, the ignore points with them.
        rig.window->SlotAdjustArea();
        QCOMPARE(v0->storeB->rects[kMould][1].rect, v0->storeA->rects[kMould][1].rect);  // the page reloaded
        std::memset(v0->ignoreMask[kMould], 255, size_t(v0->imagePixels));
        v0->SaveIgnorePoint(kMould);
        answers->answer(ModalAnswerer::Yes);
        page->deleteAllButton->click();
        QCOMPARE(v0->storeB->roiNum[kMould], 0);
        QCOMPARE(cv::countNonZero(cv::Mat(v0->imageHeight, v0->imageWidth, CV_8UC1, v0->ignoreMask[kMould])), 0);
        QCOMPARE(QImage("./cammer12/ignorepoint.bmp").pixelIndex(v0->imageWidth / 2, v0->imageHeight / 2), 0);
        const int setDel = rig.records("set").size();
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        const QStringList deleted = newRecords("set", setDel);
        QCOMPARE(deleted.size(), 3);
        QCOMPARE(deleted[0], kTitle.arg(1) + "Deleted rectangular  area 1, function is Defect");
        QCOMPARE(deleted[1], kTitle.arg(1) + "Deleted rectangular  area 2, function is Ignore Area");
        QCOMPARE(deleted[2], kTitle.arg(1) + "Deleted circle area 3, function is Position");
        for (const char* row : {"ROI1-0", "ROI1-1", "ROI1-2"})
            QVERIFY(Value(rig.window, v0->storeA->camera, row).isEmpty());
        QCOMPARE(Value(rig.window, v0->storeA->camera, "detect1").section(' ', 0, 0), QString("0"));

        // Position models: rebuilt for a position region's edit, not for a defect region's.
        CammerWidget* v1 = view(1);
        gpWPara->motionCorrect = 0;
        v1->recognizer->shapeCenterX[kMould] = -7;
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(1);
        const QRect region = v1->storeA->rects[kMould][0].rect;
        drag(v1, region.center(), region.center() + QPoint(20, 0));
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        QCOMPARE(v1->recognizer->shapeCenterX[kMould], -7);
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(1);
        page->circleButton->click();
        drag(v1, QPoint(100, 700), QPoint(300, 900));
        QVERIFY(setFunction(v1, 3));
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        const QRect circle = v1->storeA->circles[kMould][1].imageRect;
        QVERIFY(qAbs(v1->recognizer->shapeCenterX[kMould] - (circle.x() + circle.width() / 2)) <= 2);
        // An angle-correction region is a position region too.
        for (const int f : {10, 0}) {
            v1->recognizer->shapeCenterX[kMould] = -7;
            v1->storeB->func[kMould][0] = f;
            answers->answer(ModalAnswerer::Yes);
            page->SlotSaveData();
            QCOMPARE(v1->storeA->func[kMould][0], f);
            QVERIFY(v1->recognizer->shapeCenterX[kMould] != -7);
        }
        gpWPara->motionCorrect = -1;
        // Camera 1 keeps a region for the scenarios below.
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(0);
        page->rectButton->click();
        drag(v0, QPoint(gShowW / 4, gShowH / 4), QPoint(gShowW * 3 / 4, gShowH * 3 / 4));
        QVERIFY(setFunction(v0, 0));
        v0->storeB->para2[kMould][0] = 321;  // the alarm area, as the panel's area slider sets it
        v0->storeB->para3[kMould][0] = 4;    // the filter size, as the panel's filter slider sets it
        const int setAdded = rig.records("set").size();
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
        QCOMPARE(v0->storeA->roiNum[kMould], 1);
        QCOMPARE(newRecords("set", setAdded),
                 QStringList{kTitle.arg(1) + "Added rectangular  area 1, function is Defect Detection,the sensitivity "
                                             "is 45,, the filter size is 4, the alarm area is 321"});
    }

    // A spot region's grey limits are told apart in the record: byte 0 is the minimum.
    void spotRecord()
    {
        CammerWidget* v1 = view(1);
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(1);
        CammerSingleton& b = *v1->storeB;
        b.func[kMould][0] = 1;
        b.para3[kMould][0] = (200 << 8) | 20;
        *v1->storeA = b;
        b.para3[kMould][0] = (200 << 8) | 30;
        const int setBefore = rig.records("set").size();
        answers->answer(ModalAnswerer::Yes);
        page->SlotSaveData();
        QCOMPARE(newRecords("set", setBefore),
                 QStringList{kTitle.arg(2) +
                             "Changed the rectangular  area 1, The function is Spot detection , Changing the minimum "
                             "gradation from 20 to 30"});
        b.func[kMould][0] = 0;
        answers->answer(ModalAnswerer::Yes);
        page->returnButton->click();
    }

    // The template library: slots fill, a full library gives up its oldest picture but
    // template 0, and deleting all tells the peer and keeps template0.bmp.
    void templateLibrary()
    {
        CammerWidget* v0 = view(0);
        QVERIFY(v0->recentNgPos[kMould] > 0);
        rig.window->SlotAdjustArea();
        page->cameraCombo->setCurrentIndex(0);
        page->setSource(kSourceRecentNG);
        QCOMPARE(gSource, kSourceRecentNG);
        QVERIFY(page->addTempButton->isVisible());
        // Browsing wraps within the frames stored: three of them, or the ring of ten.
        const int stored = v0->recentNgPos[kMould];
        for (const auto& [count, last] : {std::pair{3, 2}, std::pair{15, 9}}) {
            v0->recentNgPos[kMould] = count;
            v0->recentNgView = 0;
            page->lastButton->click();
            QCOMPARE(v0->recentNgView, last);
            page->nextButton->click();
            QCOMPARE(v0->recentNgView, 0);
        }
        v0->recentNgPos[kMould] = stored;
        v0->recentNgView = 0;
        const auto add = [&] {
            answers->answer(ModalAnswerer::Yes);
            page->addTempButton->click();
        };
        add();
        add();
        QCOMPARE(v0->templateCount[kMould], 3);
        QVERIFY(QFile::exists("./cammer12/template1.bmp") && QFile::exists("./cammer12/template2.bmp"));
        QVERIFY(page->retrainCamera[0]);

        // Full: the oldest of template1.bmp and template2.bmp goes, never template0.bmp.
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        for (const char* f : {"./cammer12/template0.bmp", "./cammer12/template2.bmp"}) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(f[19] == '0' ? old.addDays(-1) : old, QFileDevice::FileModificationTime));
        }
        add();
        QVERIFY(QFileInfo("./cammer12/template2.bmp").lastModified() > old.addDays(1));
        QVERIFY(QFileInfo("./cammer12/template0.bmp").lastModified() < old);
        QCOMPARE(v0->templateCount[kMould], 3);

        // Only template0.bmp and a stray name on disk: the last slot, not template 0.
        QFile::remove("./cammer12/template1.bmp");
        QFile::remove("./cammer12/template2.bmp");
        QFile stray("./cammer12/templateX.bmp");
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();
        add();
        QVERIFY(QFile::exists("./cammer12/template2.bmp"));
        QVERIFY(QFileInfo("./cammer12/template0.bmp").lastModified() < old);

        // A slot already empty is not counted down twice.
        v0->templateValid[kMould][1] = 0;
        v0->templateCount[kMould] = 2;
        page->setSource(kSourceTemplate);
        v0->curTempIndex = 1;
        answers->answer(ModalAnswerer::Yes);
        page->tempDeleteButton->click();
        QCOMPARE(v0->templateCount[kMould], 2);

        const int runBefore = rig.records("run").size();
        page->SlotTempDeleteAll();
        const QJsonObject sent = ViewWatch2VRQ::ofManager()->sentTempLists.last();
        QCOMPARE(sent.value("camera").toArray(), (QJsonArray{0, 0, 1, 1, 2, 2}));
        QCOMPARE(sent.value("detect").toArray(), (QJsonArray{0, 1, 0, 1, 0, 1}));
        QCOMPARE(newRecords("run", runBefore), QStringList{"Delete all templates"});
        QVERIFY(QFile::exists("./cammer12/template0.bmp"));
        QVERIFY(!QFile::exists("./cammer12/template2.bmp"));
        QVERIFY(!QFile::exists("./cammer12/templateX.bmp"));
        QCOMPARE(v0->templateCount[kMould], 1);
        page->returnButton->click();
        QVERIFY(!page->retrainCamera[0]);
    }

    // Alarm answers on cameras 1 and 3: the template source keeps its password, not-detect
    // wants the alarm camera, re-detect moves on to the camera still NG.
    void alarmAnswers()
    {
        CammerWidget* v0 = view(0);
        CammerWidget* v2 = view(2);
        std::memset(v0->ignoreMask[kMould], 0, size_t(v0->imagePixels));
        v0->recognizer->VarTrain(kMould);
        QVERIFY(rig.setPart(0, true));
        QVERIFY(rig.setPart(2, true));
        QVERIFY(rig.setPart(1, false));
        // NG pictures are kept: each waits for the operator's answer to stamp how it was cleared.
        const int ngPictures = gPicNumNG;
        gPicNumNG = 5;
        QVERIFY(alarm());
        QVERIFY(!v0->cameraOk && view(1)->cameraOk && !v2->cameraOk);

        // A refused password leaves the live picture shown.
        gpWPara->isPswUsed = 1;
        rig.window->pswLevel = 0;
        answers->answer(ModalAnswerer::No);
        page->sourceCombo->setCurrentIndex(kSourceTemplate);
        QTRY_COMPARE(answers->pendingAnswers(), 0);
        QCOMPARE(gSource, kSourceLiveImage);
        QCOMPARE(page->sourceCombo->currentIndex(), int(kSourceLiveImage));
        gpWPara->isPswUsed = 0;

        // Not-detect on the OK camera 2 is refused.
        page->cameraCombo->setCurrentIndex(1);
        answers->clearShown();
        answers->answer(ModalAnswerer::Confirm);
        page->noCheckButton->click();
        QCOMPARE(answers->texts(), QStringList{LanStr(107)});
        QCOMPARE(rig.window->pageState, 2);

        // Camera 1 shown and still NG: re-detect stays on it; once it passes, on to camera 3.
        page->cameraCombo->setCurrentIndex(0);
        page->reCheckButton->click();
        QCOMPARE(rig.window->pageState, 2);
        QCOMPARE(rig.window->viewCamera, 0);
        QVERIFY(rig.setPart(0, false));
        page->reCheckButton->click();
        QCOMPARE(rig.window->pageState, 2);
        QVERIFY(v0->cameraOk);
        QCOMPARE(rig.window->viewCamera, 2);
        QCOMPARE(page->cameraCombo->currentIndex(), 2);
        QCOMPARE(gSource, kSourceLiveImage);

        // The step is judged again with camera 3 marked not detected: the clear method its
        // stored picture and the peer are told.
        const TeachingHooks hooks = Teaching();
        int stateJudged = -1;
        TeachingHooks watching = hooks;
        watching.redetectStep = [&] {
            stateJudged = rig.window->detectState[2][kMould];
            hooks.redetectStep();
        };
        SetTeachingHooks(watching);
        const int operateBefore = rig.records("operate").size();
        answers->answer(ModalAnswerer::Yes);
        page->noCheckButton->click();
        SetTeachingHooks(hooks);
        QCOMPARE(stateJudged, kStateClearedNotDetect);
        QCOMPARE(newRecords("operate", operateBefore), QStringList{"Camera 3 do not detect the mold"});
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        QVERIFY(rig.window->pageState != 2);
        QVERIFY(page->isHidden());
        QCOMPARE(gSource, kSourceDetecting);
        QVERIFY(rig.setPart(2, false));
        gPicNumNG = ngPictures;
    }

    // Ignored points end at a blob's exclusive bound, clipped to the picture.
    void ignoreBounds()
    {
        CammerWidget* v1 = view(1);
        const int w = v1->imageWidth;
        rig.window->viewCamera = 1;
        rig.window->step = kMould;
        v1->cameraOk = false;
        v1->roiOk[kMould][0] = false;
        v1->roiValue[kMould][0] = 100;
        v1->roiBoxes[kMould][0][0][0] = 1;
        const int box[4] = {w - 5, 0, w + 3, 3};
        std::copy(std::begin(box), std::end(box), v1->roiBoxes[kMould][0][1]);
        std::memset(v1->displayMask, 255, size_t(v1->imagePixels));
        std::memset(v1->ignoreMask[kMould], 0, size_t(v1->imagePixels));
        answers->answer(ModalAnswerer::Yes);
        page->SlotIgnoreAlarmPoint();
        QCOMPARE(int(v1->ignoreMask[kMould][w - 1]), 255);
        QCOMPARE(int(v1->ignoreMask[kMould][2 * w + w - 5]), 255);
        QCOMPARE(int(v1->ignoreMask[kMould][w]), 0);  // not wrapped into the next row
        QCOMPARE(int(v1->ignoreMask[kMould][3 * w - 1 + 1]), 0);
        QCOMPARE(int(v1->ignoreMask[kMould][3 * w + w - 1]), 0);  // row 3 is past the box
        QCOMPARE(int(v1->ignoreMask[kMould][w - 6]), 0);

        // A region alarming over 2000 pixels is left out with the warning.
        v1->roiValue[kMould][0] = 2001;
        std::memset(v1->ignoreMask[kMould], 0, size_t(v1->imagePixels));
        answers->clearShown();
        answers->answer({ModalAnswerer::Yes, ModalAnswerer::Confirm});
        const int operateBefore = rig.records("operate").size();
        page->SlotIgnoreAlarmPoint();
        QCOMPARE(answers->texts().last(), LanStr(115).arg(2000));
        QCOMPARE(int(v1->ignoreMask[kMould][w - 1]), 0);
        QCOMPARE(newRecords("operate", operateBefore), QStringList());  // nothing was ignored
        v1->cameraOk = true;
        std::memset(v1->displayMask, 0, size_t(v1->imagePixels));
        v1->SaveIgnorePoint(kMould);
        v1->recognizer->VarTrain(kMould);
    }

    // The NG pictures of the failure folders, newest first, shown by the camera view.
    void recordBrowsing()
    {
        const QDir ngDir = rig.window->failDirs[0][kMould][0];
        const QDir okDir = rig.window->failDirs[0][kMould][1];
        for (const QString& f : ngDir.entryList({"*.jpg"}, QDir::Files)) QFile::remove(ngDir.filePath(f));
        for (const QString& f : okDir.entryList({"*.jpg"}, QDir::Files)) QFile::remove(okDir.filePath(f));
        const QDateTime now = QDateTime::currentDateTime();
        // By time, not by name: the newest sorts between the others by its name.
        const struct
        {
            QDir dir;
            const char* name;
            QColor colour;
            int ageS;
        } pictures[] = {{ngDir, "c-oldest", Qt::red, 90},  {ngDir, "a-older", Qt::green, 60},
                        {ngDir, "b-newer", Qt::blue, 10},  {okDir, "z-ok-newer", Qt::white, 5},
                        {okDir, "y-ok-older", Qt::gray, 30}};
        for (const auto& p : pictures) {
            QImage picture(640, 480, QImage::Format_RGB32);
            picture.fill(p.colour);
            const QString file = p.dir.filePath(QString(p.name) + ".jpg");
            QVERIFY(picture.save(file));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(now.addSecs(-p.ageS), QFileDevice::FileModificationTime));
        }
        rig.window->viewCamera = 0;
        rig.window->SlotShowAlarmImgae();
        QVERIFY(page->isVisible());
        QCOMPARE(gSource, kSourceNGRecord);
        QCOMPARE(page->recordCount, 3);
        QCOMPARE(page->recordName, QString("b-newer"));
        QVERIFY(page->nextButton->isVisible() && page->detectCombo->isVisible());
        const QImage shown = view(0)->grab().toImage();
        QCOMPARE(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)).blue() > 200, true);
        page->nextButton->click();
        QCOMPARE(page->recordName, QString("a-older"));
        page->nextButton->click();
        page->nextButton->click();
        QCOMPARE(page->recordIndex, 0);
        page->lastButton->click();
        QCOMPARE(page->recordName, QString("c-oldest"));
        // Each list opens on its newest picture, wherever the other was left.
        page->setSource(kSourceOKRecord);
        QCOMPARE(page->recordCount, 2);
        QCOMPARE(page->recordName, QString("z-ok-newer"));
        page->nextButton->click();
        QCOMPARE(page->recordIndex, 1);
        page->setSource(kSourceNGRecord);
        QCOMPARE(page->recordName, QString("b-newer"));
        for (const QDir& dir : {okDir, ngDir})
            for (const QString& f : dir.entryList({"*.jpg"}, QDir::Files)) QFile::remove(dir.filePath(f));
        page->setSource(kSourceOKRecord);
        QCOMPARE(page->recordCount, 0);
        page->nextButton->click();
        QCOMPARE(page->recordIndex, 0);
        page->returnButton->click();
        QVERIFY(page->isHidden());
        QCOMPARE(rig.window->pageState, 0);
    }

    // Toggle drawing: one press leaves only its button; leaving the toggle switch off
    // frees every button again.
    void toggleDrawing()
    {
        rig.window->SlotAdjustArea();
        gpWPara->continuationArea = 1;
        page->SlotChangeSource(kSourceTemplate);
        page->rectButton->click();
        QCOMPARE(rig.window->drawMode, 1);
        QVERIFY(page->rectButton->isChecked() && page->rectButton->isEnabled());
        QVERIFY(!page->circleButton->isEnabled() && !page->deleteAllButton->isEnabled());
        QCOMPARE(page->rectButton->text(), QString::fromUtf8("结束画四边形"));
        page->rectButton->click();
        QCOMPARE(rig.window->drawMode, 0);
        page->rectButton->click();
        gpWPara->continuationArea = 0;
        page->SlotChangeSource(kSourceTemplate);
        for (ColorButton* b : {page->rectButton, page->circleButton, page->polygonButton, page->handButton,
                               page->copyButton, page->deleteRoiButton, page->deleteAllButton})
            QVERIFY(b->isEnabled() && !b->isCheckable());
        page->returnButton->click();
        QVERIFY(page->isHidden());
    }

    // Selecting a region, pressing it or hovering over its handles changes nothing taught:
    // End Set asks nothing, writes no record and keeps the working store.
    void lookingIsNotChanging()
    {
        CammerWidget* v0 = view(0);
        QCOMPARE(v0->storeA->roiNum[kMould], 1);
        const QRect region = v0->storeA->rects[kMould][0].rect;
        const int setBefore = rig.records("set").size();
        teachOn(0);
        const QPoint inside = region.center();
        send(v0, QEvent::MouseButtonPress, inside);
        send(v0, QEvent::MouseButtonRelease, inside);
        QCOMPARE(v0->curRoi, 0);
        CycleRig::wait(900);
        // A press on the selected region's edge grabs a handle; released where it was pressed.
        const QPoint edge(region.right(), region.center().y());
        send(v0, QEvent::MouseButtonPress, edge);
        QVERIFY(v0->touchState == 3);
        send(v0, QEvent::MouseButtonRelease, edge);
        send(v0, QEvent::MouseMove, QPoint(region.left(), region.top()));
        QCOMPARE(v0->storeB->rects[kMould][0].rect, region);
        answers->clearShown();
        page->returnButton->click();
        QVERIFY(page->isHidden());
        QCOMPARE(answers->texts(), QStringList());
        QCOMPARE(rig.records("set").size(), setBefore);
        QCOMPARE(v0->storeA->rects[kMould][0].rect, region);

        // A real change beside a handle pressed: the record names the change, not a move.
        teachOn(0);
        send(v0, QEvent::MouseButtonPress, inside);
        send(v0, QEvent::MouseButtonRelease, inside);
        CycleRig::wait(900);
        send(v0, QEvent::MouseButtonPress, edge);
        send(v0, QEvent::MouseButtonRelease, edge);
        const int before = v0->storeB->para1[kMould][0];
        v0->panel->sliderSensitivity->setValue(before + 5);
        QCOMPARE(v0->storeB->para1[kMould][0], before + 5);
        endSet();
        QCOMPARE(newRecords("set", setBefore),
                 QStringList{kTitle.arg(1) + QString("Changed the rectangular  area 1, The function is Defect "
                                                     "detection, Changing the sensitivity  from %1 to %2")
                                                 .arg(before)
                                                 .arg(before + 5)});
    }

    // A commit the database refuses is told to the operator; the teaching is used all the same.
    void failedSaveIsTold()
    {
        CammerWidget* v0 = view(0);
        teachOn(0);
        const QRect region = v0->storeB->rects[kMould][0].rect;
        drag(v0, region.center(), region.center() + QPoint(30, 0));
        QSqlQuery q(rig.window->dbIn);
        QVERIFY(q.exec("alter table cammer0 rename to cammer0_away"));
        answers->clearShown();
        answers->answer({ModalAnswerer::Yes, ModalAnswerer::Confirm});
        page->returnButton->click();
        QTRY_COMPARE(answers->pendingAnswers(), 0);
        QVERIFY(q.exec("alter table cammer0_away rename to cammer0"));
        QCOMPARE(answers->texts(), (QStringList{LanStr(72), LanStr(679)}));
        QVERIFY(LanStr(679).contains("restart"));
        QCOMPARE(v0->storeA->rects[kMould][0].rect, region.translated(30, 0));
        QVERIFY(page->isHidden());
        // Saved once the database takes it again.
        teachOn(0);
        drag(v0, region.center() + QPoint(30, 0), region.center());
        endSet();
        QCOMPARE(Value(rig.window, 0, "ROI1-0").section(' ', 7, 7).toInt(), region.left());
    }

    // End Set retrains: a defect region enlarged over the left-over part, moved over it or newly
    // drawn over it fails the next mould.
    void committedRegionsJudge()
    {
        CammerWidget* v0 = view(0);
        const QRect away(QPoint(60, 45), QPoint(300, 225));  // image (20, 20)-(100, 100)
        const QPoint centre(gShowW / 2, gShowH / 2);         // where the part lies
        QVERIFY(rig.setPart(0, true));
        teachOn(0);
        answers->answer(ModalAnswerer::Yes);
        page->deleteAllButton->click();
        QVERIFY(drawDefect(v0, away.topLeft(), away.bottomRight()));
        endSet();
        QCOMPARE(v0->storeA->roiNum[kMould], 1);
        QVERIFY(mouldPasses());

        // Enlarged: select, then drag the bottom-right corner past the part.
        teachOn(0);
        send(v0, QEvent::MouseButtonPress, away.center());
        send(v0, QEvent::MouseButtonRelease, away.center());
        CycleRig::wait(900);
        drag(v0, away.bottomRight(), centre + QPoint(150, 150));
        QVERIFY(v0->storeB->rects[kMould][0].rect.contains(centre));
        endSet();
        QVERIFY(alarm());
        QVERIFY(!v0->cameraOk);
        QVERIFY(notDetectAll());

        // Moved: back to the small region away from the part, then dragged over it.
        teachOn(0);
        answers->answer(ModalAnswerer::Yes);
        page->deleteAllButton->click();
        QVERIFY(drawDefect(v0, away.topLeft(), away.bottomRight()));
        endSet();
        teachOn(0);
        drag(v0, away.center(), centre);
        QVERIFY(v0->storeB->rects[kMould][0].rect.contains(centre));
        endSet();
        QVERIFY(alarm());
        QVERIFY(notDetectAll());

        // Newly drawn: the region away again, and a second one drawn over the part.
        teachOn(0);
        drag(v0, centre, away.center());
        endSet();
        QVERIFY(!v0->storeA->rects[kMould][0].rect.contains(centre));
        teachOn(0);
        QVERIFY(drawDefect(v0, centre - QPoint(150, 150), centre + QPoint(150, 150)));
        QCOMPARE(v0->storeB->roiNum[kMould], 2);
        endSet();
        QVERIFY(alarm());
        QVERIFY(v0->roiOk[kMould][0] && !v0->roiOk[kMould][1]);
        QVERIFY(notDetectAll());
        QVERIFY(rig.setPart(0, false));
    }

    // The alarm ends by its timed release while a not-detect or ignore question waits: the
    // answer finds no alarm left and does nothing.
    void answersAfterTheAlarmEnded()
    {
        CammerWidget* v0 = view(0);
        QVERIFY(rig.setPart(0, true));
        const auto releaseThenYes = [&](QDialog* box) {
            rig.window->clearNGAlarmTimer->start(0);
            QVERIFY(QTest::qWaitFor([&] { return rig.window->pageState != 2; }, 10000));
            static_cast<ChooseBox*>(box)->yesButton->click();
        };
        for (ColorButton* button : {page->noCheckButton, page->ignoreButton}) {
            // The next mould once the released one's result is no longer shown.
            QTRY_VERIFY_WITH_TIMEOUT(rig.window->pageState == 0 && rig.window->cyclePhase == 3, 15000);
            QVERIFY(alarm());
            page->cameraCombo->setCurrentIndex(0);
            QVERIFY(!v0->cameraOk);
            std::memset(v0->ignoreMask[kMould], 0, size_t(v0->imagePixels));
            const int operateBefore = rig.records("operate").size();
            answers->clearShown();
            answers->answerWith(releaseThenYes);
            button->click();
            QTRY_COMPARE(answers->pendingAnswers(), 0);
            QCOMPARE(answers->texts().size(), 1);
            QVERIFY(rig.window->pageState != 2);
            QVERIFY(page->isHidden());
            QCOMPARE(newRecords("operate", operateBefore), QStringList());
            QCOMPARE(cv::countNonZero(cv::Mat(v0->imageHeight, v0->imageWidth, CV_8UC1, v0->ignoreMask[kMould])), 0);
            QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        }
        QVERIFY(rig.setPart(0, false));
    }

    // A region deleted on the alarm page but not saved leaves the judgement as it was: ignoring
    // the alarm points takes each failed region's own blobs, and refuses the one alarming over
    // 2000 pixels without ignoring its blobs through another region's flag.
    void unsavedDeletionKeepsTheJudgement()
    {
        CammerWidget* v0 = view(0);
        const int w = v0->imageWidth;
        const int centre = (v0->imageHeight / 2) * w + w / 2;
        // Region 1 holds the whole part (radius 45, about 6000 pixels), region 2 a sliver of its
        // right edge; region 0 lies away from it.
        const QRect toDisplay[3] = {QRect(QPoint(60, 45), QPoint(300, 225)),       // image (20, 20)-(100, 100)
                                    QRect(QPoint(750, 382), QPoint(1170, 697)),    // image (250, 170)-(390, 310)
                                    QRect(QPoint(1050, 517), QPoint(1140, 562))};  // image (350, 230)-(380, 250)
        teachOn(0);
        answers->answer(ModalAnswerer::Yes);
        page->deleteAllButton->click();
        for (const QRect& r : toDisplay) QVERIFY(drawDefect(v0, r.topLeft(), r.bottomRight()));
        endSet();
        QCOMPARE(v0->storeA->roiNum[kMould], 3);
        std::memset(v0->ignoreMask[kMould], 0, size_t(v0->imagePixels));
        v0->SaveIgnorePoint(kMould);
        v0->recognizer->VarTrain(kMould);
        QVERIFY(setBlob(0, 45));
        QVERIFY(alarm());
        QVERIFY(v0->roiOk[kMould][0] && !v0->roiOk[kMould][1] && !v0->roiOk[kMould][2]);
        QVERIFY(v0->roiValue[kMould][1] > 2000);
        QVERIFY(v0->roiValue[kMould][2] > 0 && v0->roiValue[kMould][2] <= 2000);

        // Region 1 of the picture is deleted on the teaching picture, not saved.
        page->sourceCombo->setCurrentIndex(kSourceTemplate);
        QCOMPARE(rig.window->viewCamera, 0);
        const QPoint pick = toDisplay[0].center();
        send(v0, QEvent::MouseButtonPress, pick);
        send(v0, QEvent::MouseButtonRelease, pick);
        QCOMPARE(v0->curRoi, 0);
        answers->answer(ModalAnswerer::Yes);
        page->deleteRoiButton->click();
        QCOMPARE(v0->storeB->roiNum[kMould], 2);
        QCOMPARE(v0->storeA->roiNum[kMould], 3);

        page->sourceCombo->setCurrentIndex(kSourceLiveImage);
        page->cameraCombo->setCurrentIndex(0);
        QVERIFY(!v0->cameraOk);
        answers->clearShown();
        answers->answer({ModalAnswerer::Yes, ModalAnswerer::Confirm});
        const int operateBefore = rig.records("operate").size();
        page->SlotIgnoreAlarmPoint();
        QTRY_COMPARE(answers->pendingAnswers(), 0);
        QCOMPARE(answers->texts(), (QStringList{LanStr(113), LanStr(115).arg(2000)}));
        QCOMPARE(newRecords("operate", operateBefore), QStringList{"Camera 1 ignoring the current alarm point"});
        QCOMPARE(int(v0->ignoreMask[kMould][centre]), 0);           // the refused region's blob
        QCOMPARE(int(v0->ignoreMask[kMould][centre + 40]), 255);    // the sliver of region 2
        QCOMPARE(int(v0->ignoreMask[kMould][centre + 40 * w]), 0);  // the blob below the sliver

        // Back to a clean part and one region, as the other scenarios found them.
        page->cameraCombo->setCurrentIndex(numCamera);
        answers->answer({ModalAnswerer::Yes, ModalAnswerer::No});  // the unsaved deletion is not kept
        page->noCheckButton->click();
        QVERIFY(rig.waitOutput(kAlarmOut, false, 2000) > 0);
        QVERIFY(page->isHidden());
        QCOMPARE(v0->storeA->roiNum[kMould], 3);
        QVERIFY(setBlob(0, 15));
        QVERIFY(rig.setPart(0, false));
        std::memset(v0->ignoreMask[kMould], 0, size_t(v0->imagePixels));
        v0->SaveIgnorePoint(kMould);
        v0->recognizer->VarTrain(kMould);
    }
};

MONITOR_TEST_MAIN(TestTeaching)
#include "tst_teaching.moc"
