// The camera manager: driver plug-in loading, camera discovery and the stored camera order (SN.db).
#pragma once

#include <QPluginLoader>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

#include "camerainterface.h"

class QDialog;

class CameraManager
{
public:
    static CameraManager* _instance;
    static CameraManager* getInstance();

    QVector<QPluginLoader*> loaders;    // one per plug-in file tried, accepted or not
    QVector<CameraInterface*> plugins;  // accepted factories, in loading order
    QVector<_cameraInfo> cameras;
    QSqlDatabase snDatabase;
    QSqlQuery snQuery;
    QVector<QString> storedSN;  // position k: serial of camera k + 1
    bool noRealCamera = false;
    QVector<_cameraInfo> simulateCameras;  // found by plug-ins of camera type 0
    QDialog* countCheckBox = nullptr;    // the count check's question while it waits

    void loadPlugins();
    void loadCameraSN();
    void saveCameraSN();
    void findCameras();
    QVector<_cameraInfo> findSumulateCameras();
    void sortCamera();
    void resetCameraSN();
    void resortCameraSN(QVector<int> order);
    CameraInterface* createCamera(_cameraInfo info);
    void checkCameraCount();

private:
    CameraManager() = default;

    bool openSnDatabase();
    bool ensureSnTable();
    void restoreFactorySnDatabase();
    bool updateSerialRow(int position, const QString& value);
    int askFullScreen(const QString& text);
};
