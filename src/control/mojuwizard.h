// The main window: owner of the camera views, dialogs, timers and the detection cycle.
#pragma once

#include <QDir>
#include <QList>
#include <QRgb>
#include <QSharedPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include "globals.h"
#include "mainstate.h"

class CammerWidget;
class ColorButton;
class CustomIONameWidget;
class DrawROIWidget;
class Edit;
class FloatSlider;
class HardwareConfigurationWidget;
class HelpWidget;
class IOStatusWidget;
class IndexButton;
class ModbusServer;
class QLabel;
class QSettings;
class WidgetChangeCamera;
class WizardParaWidget;

// The plain state it shares with the lower layers lives in MainState (gpState).
class MoJuWizard : public QWidget, public MainState
{
    Q_OBJECT

public:
    // Tag for tests: sets gpState, gpWin and the record sink, so a test fills only what it needs.
    struct LightConstruction
    {
    };
    explicit MoJuWizard(LightConstruction, QWidget* parent = nullptr);
    ~MoJuWizard() override;
    // Makes InsertRecord the sink of RecordOperation; every constructor calls it.
    void InstallRecordSink();

    // Screens and views; the camera views are indexed by camera number - 1.
    CammerWidget* cammerWidgets[kMaxCameras] = {};
    DrawROIWidget* drawROIWidget = nullptr;
    WizardParaWidget* wizardParaWidget = nullptr;
    IOStatusWidget* ioStatusWidget = nullptr;
    IndexButton* indexButton = nullptr;
    HelpWidget* helpWidget = nullptr;
    WidgetChangeCamera* widgetChangeCamera = nullptr;
    CustomIONameWidget* customIONameWidget = nullptr;
    HardwareConfigurationWidget* hardwareConfigurationWidget = nullptr;

    ColorButton* helpButton = nullptr;
    QLabel* versionLabel = nullptr;
    QLabel* modeLabel = nullptr;
    QLabel* noteLabel = nullptr;
    FloatSlider* zoomSlider = nullptr;
    QSettings* countSettings = nullptr;
    QSharedPointer<ModbusServer> modbusServer;

    // Reacts to a camera view that lost its camera, before the view reconnects.
    void LostCamera();
    int CheckPassword();
    bool CheckRoot();

    // The keypads always exist: a destroyed one is replaced at once, except while the
    // program closes down.
    static bool KeypadsClosingDown();
    static void CreateNumPad();
    static void CreateNumCharPad();

signals:
    void sendRecord(int step, int hour, QList<bool> cameraOK, bool lastStep);

public slots:
    // Operation records in RECORD.db, each mirrored to the companion peer.
    void InsertRecord(QString s, QString type);
    void InsertRecord(QString s);
    void ClearRecord();
    void SlotCheckDate();
    // Closes PARAM.db and RECORD.db before files are replaced or the machine goes down.
    void FLushAll();

private:
    bool openRecordDb();
};
