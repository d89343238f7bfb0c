// Writing the demo's taught mould: region store and template picture.
#include "demomould.h"

#include <memory>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "cammersingleton.h"
#include "simscene.h"
#include "wizardpara.h"

namespace {

constexpr int kCamera = 0;
constexpr int kMouldStep = 1;
constexpr int kFuncDefect = 0;
constexpr int kSensitivity = 45;
constexpr int kFilterArea = 100;
constexpr int kFilterSize = 3;
constexpr int kMouldDelayTenths = 10;
constexpr int kReleaseTenths = 50;
// The NG pictures kept per detection, so that an NG mould of the demo leaves its picture.
constexpr int kNgPicturesKept = 20;
const char* const kConnection = "demomould";

// Camera 1 of simcamera.json: size and scene seed (the plug-in's defaults when absent).
SimSceneOptions CameraScene(const QString& dir)
{
    SimSceneOptions o;
    for (const QString& path : {dir + "/simcamera.json", dir + "/Plugins/Cameras/simcamera.json"}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
        QJsonObject scene = json.value("scene").toObject();
        const QJsonArray cameras = json.value("cameras").toArray();
        if (!cameras.isEmpty()) {
            const QJsonObject own = cameras.first().toObject().value("scene").toObject();
            for (auto it = own.begin(); it != own.end(); ++it) scene.insert(it.key(), it.value());
        }
        o = SimSceneOptions::fromJson(scene, o);
        o.width = json.value("width").toInt(o.width);
        o.height = json.value("height").toInt(o.height);
        break;
    }
    o.defect = false;
    return o;
}

// 1: saved, 0: regions already there, -1: failed.
int SaveRegion(const QString& dir, int screenW, int screenH)
{
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", kConnection);
    db.setDatabaseName(dir + "/PARAM.db");
    if (!QFile::exists(dir + "/PARAM.db") || !db.open())
        return -1;
    QSqlQuery query(db);
    std::unique_ptr<CammerSingleton> store(new CammerSingleton(kCamera));
    ViewGeometry view;  // unit scales: display units are read and written as stored
    store->LoadDatafromFile(&view, query);
    if (store->roiNum[kMouldStep] > 0)
        return 0;
    const int i = store->roiNum[kMouldStep]++;
    store->rects[kMouldStep][i].rect = QRect(screenW / 4, screenH / 4, screenW / 2, screenH / 2);
    store->shapeType[kMouldStep][i] = kShapeRect;
    store->func[kMouldStep][i] = kFuncDefect;
    store->para1[kMouldStep][i] = kSensitivity;
    store->para2[kMouldStep][i] = kFilterArea;
    store->para3[kMouldStep][i] = kFilterSize;
    bool saved = store->SaveDatatoFile(query);
    // A one-second delay, so that the clamp output is seen going on and off again.
    WizardPara para;
    para.LoadDatafromFile(query);
    para.trigInDelay[kMouldStep] = kMouldDelayTenths;
    // No teaching page yet to clear an alarm from: the mould alarm releases itself.
    para.moldNgTimedRelease = 1;
    *para.sysParamValue("system9", 12) = kReleaseTenths;
    para.ngRecordNum = kNgPicturesKept;
    saved = saved && para.SaveDatatoFile(query);
    db.close();
    return saved ? 1 : -1;
}

}  // namespace

bool DemoMould::write(const QString& dir, int screenW, int screenH, QString* message)
{
    const int region = SaveRegion(dir, screenW, screenH);
    QSqlDatabase::removeDatabase(kConnection);
    if (region < 0) {
        *message = QString("the region was not saved into %1/PARAM.db").arg(dir);
        return false;
    }
    if (region == 0) {
        *message = "camera 1 already has regions; nothing changed";
        return true;
    }
    const QString folder = QString("%1/cammer%2%3").arg(dir).arg(kCamera + 1).arg(kMouldStep + 1);
    QDir().mkpath(folder);
    if (!SimScene::renderImage(CameraScene(dir)).save(folder + "/template0.bmp")) {
        *message = QString("template not written into %1").arg(folder);
        return false;
    }
    *message = "camera 1 guards the middle of its picture on the mould step";
    return true;
}
