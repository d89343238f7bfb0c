// Times a repaint of a 1920 x 1080 camera view with 100 regions against a plain scaled picture repaint.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include "cameramanager.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "mojuwizard.h"
#include "simcameracontrol.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

constexpr int kRuns = 50;
constexpr int kCamW = 1280;
constexpr int kCamH = 1024;

template <typename F>
void Time(const char* what, F paint)
{
    double best = 1e9, total = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        paint();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms);
        total += ms;
    }
    std::printf("%-44s best %6.2f ms, mean %6.2f ms over %d runs\n", what, best, total / kRuns, kRuns);
}

// 100 regions of every shape across the canvas, half of them failing, with defect pixels.
void FillRegions(CammerWidget* v, CammerSingleton* s, int d)
{
    s->roiNum[d] = 100;
    for (int i = 0; i < 100; ++i) {
        const int col = i % 10, row = i / 10;
        const QRect cell(QPoint(20 + col * 188, 60 + row * 100), QPoint(20 + col * 188 + 150, 60 + row * 100 + 70));
        s->func[d][i] = i % 7 == 0 ? 2 : 6;
        s->para1[d][i] = 80;
        s->para2[d][i] = 500;
        s->para3[d][i] = 3;
        if (i % 3 == 0) {
            s->shapeType[d][i] = kShapeCircle;
            s->circles[d][i].rect = cell;
            s->circles[d][i].UpdateAll();
            s->circles[d][i].setShowA(v->fullScaleX, v->fullScaleY);
            s->circles[d][i].setImageRect();
        } else if (i % 3 == 1) {
            const QPoint pts[5] = {cell.topLeft(), cell.topRight(), cell.bottomRight(),
                                   QPoint(cell.center().x(), cell.bottom() - 20), cell.bottomLeft()};
            s->shapeType[d][i] = kShapePolygon;
            s->polygons[d][i] = RePolygon(5, pts);
            s->polygons[d][i].setShowA(v->fullScaleX, v->fullScaleY);
            s->polygons[d][i].setImageRect();
        } else {
            s->shapeType[d][i] = kShapeRect;
            s->rects[d][i].rect = cell;
            s->rects[d][i].setShowA(v->fullScaleX, v->fullScaleY);
            s->rects[d][i].setImageRect();
        }
        v->roiOk[d][i] = i % 2 == 0;
        v->roiValue[d][i] = i * 3;
    }
    for (int y = 0; y < v->imageHeight; y += 7) {
        for (int x = 0; x < v->imageWidth; x += 5) v->displayMask[y * v->imageWidth + x] = 255;
    }
    for (int y = 0; y < v->imageHeight; y += 11) {
        for (int x = 0; x < v->imageWidth; x += 13) v->ignoreMask[d][y * v->imageWidth + x] = 255;
    }
}

}  // namespace

// Optional argument: a PNG file to write one painted view to (the Template page).
int main(int argc, char** argv)
{
    const QString png = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString here = QDir::currentPath();
    TestSupport::initTestProcess();
    QApplication app(argc, argv);
    TestSupport::setPanelScreen();
    InitLanStr();
    gLan = 1;
    CreateGlobalMutexes();
    if (!FactoryFixture::writeAll())
        return 1;
    auto* window = new MoJuWizard(MoJuWizard::LightConstruction{});
    window->dbIn = QSqlDatabase::addDatabase("QSQLITE", "dbIn");
    window->dbIn.setDatabaseName("PARAM.db");
    window->dbIn.open();
    window->queryIn = QSqlQuery(window->dbIn);
    gpWPara = new WizardPara;
    gpWParaBak = new WizardPara;
    gDNum = 2;
    gTempNum = 3;
    gSource = -1;

    CameraManager* manager = CameraManager::getInstance();
    manager->loadPlugins();
    if (manager->plugins.isEmpty())
        return 1;
    auto* control = qobject_cast<SimCameraControl*>(manager->plugins.first());
    control->configure(QJsonObject{{"cameraCount", 1},
                                   {"width", kCamW},
                                   {"height", kCamH},
                                   {"color", false},
                                   {"source", "inject"},
                                   {"fps", 0},
                                   {"cameras", QJsonArray{QJsonObject{}}}});
    const QVector<_cameraInfo> cameras = manager->plugins.first()->findCameras();
    auto* view = new CammerWidget(window, 0, cameras.at(0));
    if (!view->cameraOpen)
        return 1;
    view->resize(gShowW, gShowH);
    for (int i = 0; i < view->imagePixels; ++i) view->curImage[i] = uchar((i * 7 + i / view->imageWidth) & 0xFF);
    FillRegions(view, view->storeA, 0);
    FillRegions(view, view->storeB, 0);
    QTimer showTimer;
    showTimer.start(600000);
    gpState->showTimer = &showTimer;
    view->cameraOk = false;
    gpState->viewCamera = 0;
    gpState->step = 0;
    gpState->curDetect = 0;

    QImage target(gShowW, gShowH, QImage::Format_RGB32);
    std::printf("camera %dx%d on a %dx%d view, 100 regions (rectangles, circles, polygons)\n", kCamW, kCamH, gShowW,
                gShowH);
    Time("baseline: scaled picture only", [&] {
        QPainter painter(&target);
        std::memset(view->displayRgb, 0, 16);
        painter.drawImage(target.rect(), view->displayImage);
    });
    gSource = 1;
    gpState->pageState = 1;
    Time("view, Live source, result shown", [&] { view->render(&target); });
    gSource = 0;
    gpState->pageState = 3;
    Time("view, Template source (ignore points, legend)", [&] { view->render(&target); });

    if (!png.isEmpty()) {
        // What the operator sees: the teaching page with a region selected and its panel, and
        // the live picture with the result of a failed cycle.
        view->storeB->roiNum[0] = 12;
        view->setCurRoi(4);
        view->storeB->polygons[0][4].SetSelected(true);
        view->ShowHideROIPara();
        const QString base = QDir(here).absoluteFilePath(png);
        const bool savedTeach = view->grab().save(base + "-teach.png");
        view->DeselectROI();
        view->ShowHideROIPara();
        gSource = 1;
        gpState->pageState = 1;
        view->storeA->roiNum[0] = 12;
        const bool savedLive = view->grab().save(base + "-live.png");
        std::printf("%s %s-teach.png and -live.png\n", savedTeach && savedLive ? "wrote" : "could not write",
                    qPrintable(base));
    }
    return 0;
}
