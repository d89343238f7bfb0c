// Camera manager: loads the driver plug-ins, lists and orders the cameras, keeps SN.db.
#include "cameramanager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>

#include "commandrunner.h"
#include "globals.h"
#include "lanstr.h"
#include "monitorlimits.h"
#include "operatorprompts.h"
#include "recordsink.h"
#include "sqlexec.h"
#include "textids.h"
#include "windowhooks.h"

namespace {
const char* const kPluginsDir = "Plugins";
const char* const kCamerasDir = "Cameras";
const char* const kSnConnection = "dbT";
const char* const kSnFile = "SN.db";
const char* const kSnFactoryCopy = "./paraGroup/default/SN.db";
const char* const kSnFactoryRestore = "cp -f ./paraGroup/default/SN.db ./";
constexpr int kSerialMinLength = 8;
constexpr int kSerialMaxLength = 256;
const char* const kEmptySerial = "0";

// Text entries of the questions and warnings.

QString serialRowName(int position)
{
    return QString("serialNB%1").arg(position);
}

void insertRecord(const QString& text, const QString& type)
{
    if (!HasRecordSink())
        qWarning().noquote() << "no main window for the record" << type << text;
    RecordOperation(text, type);
}
}  // namespace

CameraManager* CameraManager::_instance = nullptr;

CameraManager* CameraManager::getInstance()
{
    if (!_instance)
        _instance = new CameraManager;
    return _instance;
}

void CameraManager::loadPlugins()
{
    qInfo() << "Start loading plugins.";
    QDir dir(QCoreApplication::applicationDirPath());
    if (!dir.cd(kPluginsDir) || !dir.cd(kCamerasDir))
        return;
    qDebug() << "Loading camera plugins.";
    const QStringList files = dir.entryList({"*.so"}, QDir::Files, QDir::Unsorted);
    for (const QString& file : files) {
        auto* loader = new QPluginLoader(dir.absoluteFilePath(file));
        loaders.append(loader);
        QObject* instance = loader->instance();
        if (!loader->isLoaded()) {
            qWarning().noquote() << "Cameras plugins load fail:" << loader->errorString();
            continue;
        }
        if (!instance)
            continue;
        auto* plugin = static_cast<CameraInterface*>(instance->qt_metacast(CameraInterface_iid));
        if (!plugin)
            continue;
        qInfo().noquote() << "Cameras plugins " + file + " load sucess.";
        plugins.append(plugin);
    }
}

bool CameraManager::openSnDatabase()
{
    if (!QSqlDatabase::contains(kSnConnection))
        snDatabase = QSqlDatabase::addDatabase("QSQLITE", kSnConnection);
    else
        snDatabase = QSqlDatabase::database(kSnConnection, false);
    if (snDatabase.isOpen())
        snDatabase.close();
    snDatabase.setDatabaseName(kSnFile);
    return snDatabase.open();
}

// SQLite creates an empty file for a missing database; without the table every later
// statement would fail unnoticed while the "Save SN" records still claim success.
bool CameraManager::ensureSnTable()
{
    QSqlQuery create(snDatabase);
    if (create.exec("create table if not exists sysparam(name text, value text)"))
        return true;
    qWarning().noquote() << "SN.db table sysparam unusable:" << create.lastError().text();
    return false;
}

void CameraManager::restoreFactorySnDatabase()
{
    snDatabase.close();  // the copy replaces the file under this connection
    WarnOperator(LanStr(kTextParamFileError));
    // Only a copy that produced the file is worth a restart: without the factory copy, or with
    // a failed copy, the panel would otherwise reboot at every start. It then carries on with a
    // fresh SN.db (no stored order).
    if (!QFileInfo::exists(kSnFactoryCopy)) {
        qWarning().noquote() << "SN.db not restored: no factory copy" << kSnFactoryCopy;
        return;
    }
    if (CommandRunner::runLine(kSnFactoryRestore) != 0) {
        qWarning().noquote() << "SN.db not restored: the copy failed";
        return;
    }
    CommandRunner::runLine("sync");
    CommandRunner::runLine("reboot");
}

void CameraManager::loadCameraSN()
{
    const bool existed = QFileInfo::exists(kSnFile);
    bool usable = openSnDatabase() && existed;
    if (usable)
        usable = ensureSnTable();
    if (!usable) {
        qWarning().noquote() << "SN.db cannot be used:"
                             << (existed ? snDatabase.lastError().text() : QString("the file is missing"));
        restoreFactorySnDatabase();
        // The machine restarts soon; until then carry on with what can be opened.
        if (openSnDatabase())
            ensureSnTable();
    }
    snQuery = QSqlQuery(snDatabase);
    storedSN.clear();
    for (int k = 0; k < kMaxCameras; ++k) {
        snQuery.prepare("select value from sysparam where name=?");
        snQuery.addBindValue(serialRowName(k));
        if (snQuery.exec() && snQuery.next()) {
            const QString serial = snQuery.value(0).toString();
            if (serial.length() >= kSerialMinLength && serial.length() <= kSerialMaxLength)
                storedSN.append(serial);
            continue;
        }
        SqlExec(snQuery, "insert into sysparam values(?, ?)", {serialRowName(k), QString(kEmptySerial)});
    }
}

bool CameraManager::updateSerialRow(int position, const QString& value)
{
    snQuery = QSqlQuery(snDatabase);
    return SqlExec(snQuery, "update sysparam set value=? where name=?", {value, serialRowName(position)});
}

void CameraManager::saveCameraSN()
{
    for (int k = 0; k < storedSN.size(); ++k) {
        updateSerialRow(k, storedSN[k]);
        insertRecord(QString("Save SN %1: %2").arg(k + 1).arg(storedSN[k]), "info");
    }
    for (int k = storedSN.size(); k < kMaxCameras; ++k) updateSerialRow(k, kEmptySerial);
}

void CameraManager::findCameras()
{
    cameras.clear();
    simulateCameras.clear();
    for (CameraInterface* plugin : plugins) {
        const QVector<_cameraInfo> found = plugin->findCameras();
        qInfo().noquote() << plugin->pluginName() << "find camera count:" << found.size();
        if (plugin->cameraType() != 0)
            cameras += found;
        else
            simulateCameras += found;
    }
    noRealCamera = false;
    if (cameras.isEmpty()) {
        cameras = simulateCameras;
        noRealCamera = true;
    }
}

QVector<_cameraInfo> CameraManager::findSumulateCameras()
{
    noRealCamera = true;
    cameras.clear();
    for (CameraInterface* plugin : plugins) {
        if (plugin->cameraType() == 0)
            cameras += plugin->findCameras();
    }
    return cameras;
}

void CameraManager::sortCamera()
{
    QVector<_cameraInfo> remaining = cameras;
    QVector<_cameraInfo> sorted;
    for (const QString& serial : storedSN) {
        // From the back, so that removing keeps the indices still to visit valid.
        for (int i = remaining.size() - 1; i >= 0; --i) {
            if (remaining[i].serial() == serial) {
                sorted.append(remaining[i]);
                remaining.remove(i);
            }
        }
    }
    sorted += remaining;
    cameras = sorted;
}

void CameraManager::resetCameraSN()
{
    storedSN.clear();
    for (const _cameraInfo& info : cameras) storedSN.append(info.serial());
}

void CameraManager::resortCameraSN(QVector<int> order)
{
    storedSN.clear();
    for (int index : order) {
        if (index < 0 || index >= cameras.size()) {
            qWarning() << "resortCameraSN: camera index" << index << "outside the" << cameras.size()
                       << "cameras, skipped";
            continue;
        }
        storedSN.append(cameras[index].serial());
    }
    saveCameraSN();
}

CameraInterface* CameraManager::createCamera(_cameraInfo info)
{
    CameraInterface* camera = nullptr;
    for (CameraInterface* plugin : plugins) {
        if (plugin->pluginName() == info.pluginName)
            camera = plugin->createCamera(info);
    }
    return camera;
}

// The camera questions fill the whole screen rather than the shared 750 x 370 box: they
// come up at start-up, before the main window shows anything around them.
int CameraManager::askFullScreen(const QString& text)
{
    return AskOperatorFullScreen(text, [this](QDialog* box) { countCheckBox = box; });
}

void CameraManager::checkCameraCount()
{
    if (noRealCamera) {
        if (askFullScreen(LanStr(kTextNoCameraClearSn)) == 1) {
            resetCameraSN();
            saveCameraSN();
        }
        return;
    }
    if (storedSN.isEmpty() || storedSN.size() == cameras.size())
        return;
    if (askFullScreen(LanStr(kTextCameraCountChanged)) != 1)
        return;
    resetCameraSN();
    saveCameraSN();
    FlushAll();
    CommandRunner::runLine("reboot");
}
