// The settings screen: its pages and controls, applying the edits, and camera tuning.
#pragma once

#include <functional>

#include <QMap>
#include <QVector>
#include <QWidget>

class CheckBox;
class ChooseCaliNumWidget;
class ColorButton;
class ComboBox;
class DataExportAction;
class Edit;
class EditBox;
class IOWidget;
class ModifyTimeWidget;
class MoJuWizard;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QSqlTableModel;
class QTableView;
class QTimer;
class WizardPara;

// What the screen reaches beyond its own layers; start-up fills what exists.
struct SettingsServices
{
    // The USB image copier: its image-storage days, and starting or stopping its loop.
    std::function<void(int days)> copierDays;
    std::function<void(bool run)> copierRun;
    // Clears the cycle state of every camera and detection below `count` after the
    // detection count changed (the window's cycle fields today).
    std::function<void(MoJuWizard* win, int count)> clearCycle;
};
SettingsServices& Settings();

class WizardParaWidget : public QWidget
{
    Q_OBJECT

public:
    // The window's screen builds its pages when it is first shown (pagesWhenShown): they are
    // most of its cost, and the machine must not wait for them at start.
    explicit WizardParaWidget(MoJuWizard* parent, bool pagesWhenShown = false);
    // The navigation, the controls of every page and the dialogs of the pages; once.
    void buildPages();
    bool pagesBuilt = false;

    MoJuWizard* win;
    int page = 0;
    int cameraIndex = 0;
    int simpleDisplay = 0;
    bool wdrOffPending = false;
    // Set while the screen hides for the IO naming page.
    bool hidingForNaming = false;

    IOWidget* ioWidget = nullptr;
    QListWidget* recordList = nullptr;
    QTableView* recordTable = nullptr;
    QTimer* autoExposeTimer = nullptr;
    // Typed with the on-screen keypads: letters for the name, digits for the passwords.
    Edit* groupNameEdit = nullptr;
    ComboBox* groupCombo = nullptr;
    Edit* newPwdEdit = nullptr;
    Edit* confirmPwdEdit = nullptr;
    ComboBox* languageCombo = nullptr;
    ModifyTimeWidget* modifyTimeWidget = nullptr;
    // Made with the screen and kept; nothing shows it.
    ChooseCaliNumWidget* chooseCaliNumWidget = nullptr;
    QSqlTableModel* recordModel = nullptr;
    DataExportAction* exportAction = nullptr;

    // The buttons of the system actions (pages 0 and 4).
    ColorButton* resetCountButton = nullptr;
    ColorButton* shutDownButton = nullptr;
    ColorButton* backupButton = nullptr;
    ColorButton* restoreGroupButton = nullptr;
    ColorButton* deleteGroupButton = nullptr;
    ColorButton* changePwdButton = nullptr;
    ColorButton* factoryRestoreButton = nullptr;
    ColorButton* versionButton = nullptr;
    ColorButton* updateButton = nullptr;
    ColorButton* exportButton = nullptr;
    ColorButton* exitButton = nullptr;
    ColorButton* saveImageButton = nullptr;
    ColorButton* modifyTimeButton = nullptr;
    ColorButton* calibrateButton = nullptr;
    ColorButton* recordButton = nullptr;

    // The navigation buttons: common, camera, network, IO, advanced, confirm.
    QVector<ColorButton*> navButtons;
    // Camera page: exposure, gain, clarity, truth, Gamma boxes and the mirrors.
    EditBox* exposureBox = nullptr;
    EditBox* gainBox = nullptr;
    EditBox* clarityBox = nullptr;
    EditBox* truthBox = nullptr;
    EditBox* gammaBox = nullptr;
    CheckBox* hMirrorBox = nullptr;
    CheckBox* vMirrorBox = nullptr;
    ColorButton* showModeButton = nullptr;
    ColorButton* tuneCameraButton = nullptr;
    ColorButton* customIoButton = nullptr;
    ColorButton* ioNameButton = nullptr;

    // The widget of each table control, by index in SettingsTable::controls().
    QVector<QWidget*> controlWidgets;
    EditBox* box(int row) const;
    CheckBox* check(int row) const;
    ComboBox* combo(int row, int output = 0) const;

    // Buttons and widgets that are not table controls, with their page and condition.
    enum class ExtraShow {
        Always,
        NotSimple,      // hidden in simple display
        Factory,        // while "Display factory param" is ticked
        FactoryDetail,  // factory, and hidden in simple display
    };
    struct Extra
    {
        QWidget* widget;
        int page;
        ExtraShow show;
    };
    QVector<Extra> extras;

    bool checkOutputNum(int i) const;
    void ResetEBoxTrigDelayPos(int count);
    void ResetReCheck1Text(const QString& text);
    // A button's caption, fitted to the button.
    void fitButton(ColorButton* button, const QString& text);
    void WizardParaInit();
    void setVisible(bool visible) override;
    Q_INVOKABLE int GetoutSet() const { return cameraIndex; }

signals:
    void sigExportDataStart();
    void sigExportDataFinish();

public slots:
    void accept();
    void SetExposeTime(int v);
    void SetAdjust(int v);
    void SetSharp(int v);
    void SetContrast(int v);
    void SetGamma(int v);
    void SetAutoWDR(int state);
    void SetHMirror();
    void SetVMirror();
    void SlotTuneCamera();
    void DoChangePage();
    void SlotRestoreDefaultSettings();
    void SlotChangeShowMode();
    void SlotChangeCamera();
    void SlotAutoExposeTime() {}
    void SlotAutoExposeTimeTimeout();
    void SlotParaGroupChange(int index);
    void ParaGroupUpdateList();
    void SlotToCommon();
    void SlotToCamera();
    // The network settings dialog, made on first use; accepted settings restart the services.
    void SlotToNetwork();
    void SlotToIO();
    void SlotToAdvance();
    void SlotChangeSysFun(int mode);
    void SlotShowIOWidget();

    // The system actions, parameter groups, records and data export behind the buttons.
    void ResetTotal();
    void ChangePwd();
    void SlotUpdateApp();
    void SlotExportData();
    void SlotToRecord();
    void SlotShutDown();
    void SlotChangeLan(int index);
    void SlotExit();
    void UpdateRecord(QListWidgetItem* item);
    void SlotParaGroupBackup();
    void SlotParaGroupRestore();
    void SlotParaGroupDelete();
    void SlotClearRecord();
    void SlotModifyTime();
    void SlotCalibration();
    // Hides the screen for the IO naming page, which shows the screen again when it closes.
    void SlotShowCustomIONameWidget();
    void SlotRestoreFactorySet();
    void SlotToVerion();
    void SlotSaveImageSetting();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void buildControls();
    void buildExtras();
    void connectActions();
    void layoutColumns();
    bool controlShown(int index) const;
    // Controls into gpWParaBak (steps 2 and 3 of applying).
    void readControls();
    bool noDetectionFunction() const;
    // YES: record, mapping, commit, save and effects; NO: the cameras back to the live values.
    void commit();
    void applyDetectionMapping();
    void applyEffects(const WizardPara& before);
    void restoreCameras();
    void finish();
    void cameraBoxesFromRecord();
    int modeInForce() const;
    int shownDetections() const;
};
