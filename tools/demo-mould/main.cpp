// demo-mould: teaches the demo's mould in a runtime folder: a defect region and template 0 of camera 1's mould step.
//
// Usage: demo-mould <runtime folder> [screen width height]
// The region is the middle half of the picture, drawn on the screen the demo runs on
// (1920 x 1080 unless given); the template is the simulated camera's clean scene as the
// folder's (or the plug-in's) simcamera.json describes camera 1. Regions already taught in
// the folder are left alone.
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "cammersingleton.h"
#include "simscene.h"

namespace {

constexpr int kCamera = 0;
constexpr int kMouldStep = 1;
constexpr int kFuncDefect = 0;
constexpr int kSensitivity = 45;
constexpr int kFilterArea = 100;
constexpr int kFilterSize = 3;

// Camera 1 of simcamera.json: size and scene seed (the plug-in's defaults when absent).
SimSceneOptions CameraScene(const QString& dir)
{
    SimSceneOptions o;
    for (const QString& path : {dir + "/simcamera.json", dir + "/Plugins/Cameras/simcamera.json"}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
        o = SimSceneOptions::fromJson(json.value("scene").toObject(), o);
        o.width = json.value("width").toInt(o.width);
        o.height = json.value("height").toInt(o.height);
        break;
    }
    o.defect = false;
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: demo-mould <runtime folder> [screen width height]\n");
        return 2;
    }
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int screenW = argc >= 4 ? QString(argv[2]).toInt() : 1920;
    const int screenH = argc >= 4 ? QString(argv[3]).toInt() : 1080;

    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "demo");
        db.setDatabaseName(dir + "/PARAM.db");
        if (!QFile::exists(dir + "/PARAM.db") || !db.open()) {
            std::fprintf(stderr, "demo-mould: no PARAM.db in %s\n", qPrintable(dir));
            return 1;
        }
        QSqlQuery query(db);
        std::unique_ptr<CammerSingleton> store(new CammerSingleton(kCamera));
        // Read what is there with a view of the screen's size, so display units stay as stored.
        ViewGeometry view;
        store->LoadDatafromFile(&view, query);
        if (store->roiNum[kMouldStep] > 0) {
            std::printf("demo-mould: camera 1 already has regions; nothing changed\n");
            return 0;
        }
        const int i = store->roiNum[kMouldStep]++;
        store->rects[kMouldStep][i].rect = QRect(screenW / 4, screenH / 4, screenW / 2, screenH / 2);
        store->shapeType[kMouldStep][i] = kShapeRect;
        store->func[kMouldStep][i] = kFuncDefect;
        store->para1[kMouldStep][i] = kSensitivity;
        store->para2[kMouldStep][i] = kFilterArea;
        store->para3[kMouldStep][i] = kFilterSize;
        ok = store->SaveDatatoFile(query);
        db.close();
    }
    QSqlDatabase::removeDatabase("demo");
    if (!ok) {
        std::fprintf(stderr, "demo-mould: the region was not saved\n");
        return 1;
    }
    const QString folder = QString("%1/cammer%2%3").arg(dir).arg(kCamera + 1).arg(kMouldStep + 1);
    QDir().mkpath(folder);
    if (!SimScene::renderImage(CameraScene(dir)).save(folder + "/template0.bmp")) {
        std::fprintf(stderr, "demo-mould: template not written into %s\n", qPrintable(folder));
        return 1;
    }
    std::printf("demo-mould: camera 1 guards the middle of its picture on the mould step\n");
    return 0;
}
