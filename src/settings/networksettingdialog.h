// The network settings dialog: card rows with live state, and the peer link and API switches.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include "ccomp_dialogframe.h"
#include "configfile.h"

class AsyncCommand;
class Edit;
class EditIP;
class Network_CardItem;
class TextShowWidget;

class NetworkSettingDialog : public CComp_DialogFrame
{
    Q_OBJECT

public:
    explicit NetworkSettingDialog(QWidget* parent);

    // The peer link settings as cnt_net/config.json holds them.
    struct Config
    {
        QString devicename;
        QString serveraddr;
        QString serverport = "10432";
        bool device_workapifunc = false;
        bool device_worknetfunc = false;
        bool device_workvideo = false;
        QString videoapp_dir = "/root/bin-AOI/cnt_net/";
        QString workspace = "/root/bin-AOI/cnt_net/workspace/";
    };

    static constexpr const char* kConfigFile = kNetConfigFile;
    static constexpr const char* kApplyButtonStyle =
        "QPushButton{outline:0px;border:none;font-size:32px;color:white;background-color:rgb(110,110,110)}"
        "QPushButton:pressed{color:#ffffff;background:#f1c232;}";
    static constexpr const char* kCancelButtonStyle =
        "outline:0px;border:none;font-size:32px;color:white;background-color:#E91E63;";

    // Reads stuconfig from the config file; false when it cannot be opened or does not parse.
    bool ininconfig();
    // Whether the four octets can show `address` exactly (a dotted IPv4 address, no zeros in front).
    static bool ShowableAddress(const QString& address);
    // The state text for a result of the peer client's link check.
    static QString linkStateText(int result);
    // The peer client's link check; -1 (not started) while no peer client reports one.
    static int linkResult();

    Config stuconfig;
    QMap<QString, Network_CardItem*> cardItems;
    QTimer cardTimer;
    QTimer stateTimer;
    QTimer pingTimer;
    QCheckBox* apiCheck;
    QCheckBox* netCheck;
    QCheckBox* videoCheck;
    Edit* deviceNameEdit;
    EditIP* serverEdit;
    QLabel* stateLabel;
    QPushButton* applyButton;
    QPushButton* pingButton;
    Edit* pingTargetEdit;
    TextShowWidget* pingPanel;
    AsyncCommand* pingProcess;

public slots:
    void slotUpdateAll();
    void slotUpdateVRQ();
    void slotTimeout_ChKState();
    void slotTimeout_VRQState();
    void slotPing();
    void slotPingOutput();
    void slotClosePing();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

// The dialog, created on first use without a parent and kept for the run.
extern NetworkSettingDialog* gpNetDialog;

// The settings screen's "Network Param": creates the dialog on first use, runs it as a dialog
// of `page` (it closes unsaved when the page is hidden meanwhile), applies the peer link
// settings when it is accepted, and stops the calibration hold in any case.
// Returns the dialog's result.
int OpenNetworkDialog(const QWidget* page = nullptr);
