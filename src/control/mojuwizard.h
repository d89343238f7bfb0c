// The main window: owner of the camera views, dialogs, timers and the detection cycle.
#pragma once

#include <QDir>
#include <QRgb>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

class DrawROIWidget;
class Edit;
class WizardParaWidget;

// Globals of the detection control that the views and widgets read.
extern int numCamera;
extern int gDNum;
extern int gTempNum;
extern bool gisColor;
extern bool gisGrayHue;
extern int gDrawHint;
extern int gHelpC;
extern int gFromTrain;
extern bool gisSafeDoorOpen;
extern bool gisTempAlarm;
extern int gFailCycleNum[8];
extern int gAllCycleNum[8];

class MoJuWizard : public QWidget
{
    Q_OBJECT

public:
    // Tag for tests: sets gpWin and nothing else, so a test fills only what it needs.
    struct LightConstruction
    {
    };
    explicit MoJuWizard(LightConstruction, QWidget* parent = nullptr);
    ~MoJuWizard() override;

    // Database access of the parameters (connection "dbIn").
    QSqlDatabase dbIn;
    QSqlQuery queryIn;

    int moldSide = 0;   // 1 = left mould side only
    int pageState = 0;
    int viewCamera = 0;
    int step = 0;
    int curDetect = 0;
    int drawMode = 0;
    bool handDraw = false;
    bool copyMode = false;
    int runState = 0;
    int cyclePhase = 0;
    int reCheckPending = 0;
    int reCheckCount[8] = {};
    int detectState[8][8] = {};
    int stepCameraMask[8] = {};
    bool reCheckJudge = false;
    bool lastCycleNG = false;
    bool doorTriggered = false;
    QDir failDirs[8][8][2];
    QVector<QRgb> grayTable;
    double zoomOffsetX = 0;
    double zoomOffsetY = 0;
    double zoomFactor = 1.0;
    int pixelX = 0;
    int pixelY = 0;
    int pixelValue = 0;
    int clickX = 0;
    int clickY = 0;
    QTimer* showTimer = nullptr;
    QTimer* upTimers[8] = {};
    float countdown[8] = {};
    QTimer* drawHintTimer = nullptr;
    int screenOff = 0;
    QTimer* lcdTimer = nullptr;
    QTimer* logoutTimer = nullptr;
    int productCount = 0;
    bool productAlarm = false;
    int pswLevel = 0;
    Edit* curInputEdit = nullptr;
    DrawROIWidget* drawROIWidget = nullptr;
    WizardParaWidget* wizardParaWidget = nullptr;

    void InsertRecord(QString text, QString type);
    void FLushAll();
    int CheckPassword();
    int CheckRoot();
};
