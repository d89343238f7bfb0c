// DrawROIWidget: the teaching page: picture sources, templates, ignore points, drawing commands and the commit.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "monitorlimits.h"

class CammerWidget;
class ColorButton;
class ComboBox;
class QHideEvent;
class QShowEvent;
class QVBoxLayout;

class DrawROIWidget : public QWidget
{
    Q_OBJECT

public:
    // The parent is the main window; views is its array of camera views (indexed by camera),
    // which lives as long as the window.
    DrawROIWidget(QWidget* parent, CammerWidget* const* views);
    ~DrawROIWidget() override;

    // The one page of the run (null before it is built): the camera views paint its
    // browsed picture and end drawings through it.
    static DrawROIWidget* instance();
    // How far the page's column, shown, stands over the left edge of `w` (0 when it stands
    // elsewhere): what `w` draws itself at its left edge moves right by this much.
    static int LeftCover(const QWidget* w);

    // ---- page fields ----
    bool panelLeft = false;
    bool reloadEditStore = false;
    bool retrainCamera[kMaxCameras] = {};
    int recordCamera = 0;
    int recordDetect = 0;
    bool recordIsOk = false;
    int recordCount = 0;
    int recordIndex = 0;
    QString recordName;
    QImage recordImage;

    // ---- controls ----
    ColorButton* showHideButton = nullptr;
    ComboBox* sourceCombo = nullptr;
    ComboBox* cameraCombo = nullptr;
    ComboBox* detectCombo = nullptr;
    ColorButton* returnButton = nullptr;
    ColorButton* noCheckButton = nullptr;
    ColorButton* addTempButton = nullptr;
    ColorButton* autoChangeButton = nullptr;
    ColorButton* helpButton = nullptr;
    ColorButton* rectButton = nullptr;
    ColorButton* circleButton = nullptr;
    ColorButton* polygonButton = nullptr;
    ColorButton* handButton = nullptr;
    ColorButton* copyButton = nullptr;
    ColorButton* deleteRoiButton = nullptr;
    ColorButton* deleteAllButton = nullptr;
    ColorButton* lastButton = nullptr;
    ColorButton* nextButton = nullptr;
    ColorButton* tempDeleteButton = nullptr;
    ColorButton* showIgnoredButton = nullptr;
    ColorButton* ignoreButton = nullptr;
    ColorButton* deleteIgnoredButton = nullptr;
    ColorButton* reCheckButton = nullptr;

    // ---- page (drawroiwidget.cpp) ----
    void Reset(bool);
    void Restart();
    void setSource(int s);
    void ChangeDetectNum(int n);
    void GetTempTIme(int c, int d, int n);
    void LoadPic();

    // ---- templates and ignore points (drawroiwidget_templates.cpp) ----
    void AddTemp(int camera, int d);

    // ---- drawing, deleting, not-detect, re-detect (drawroiwidget_commands.cpp) ----
    void setCheckable();
    void notCheckcur();

public slots:
    void SlotChangePage();
    void SlotHelp();
    void SlotShowHide();
    void SlotChangeCamera(int i);
    void SlotChangeDetect(int d);
    void SlotChangeSource(int s);
    void SlotAutoChange();
    void SlotTempLast();
    void SlotTempNext();

    void SlotAddTemp();
    void SlotTempDeleteCur();
    void SlotTempDeleteAll();
    void SlotShowHideAlarmPoint();
    void SlotIgnoreAlarmPoint();
    void SlotDeleteIgnorePoint();

    // ---- the commit (drawroiwidget_save.cpp) ----
    void SlotSaveData();
    void SlotReturn();

    void SlotDrawRect();
    void SlotDrawCircle();
    void SlotDrawPloygn();
    void SlotDrawHand();
    void SlotCopyArea();
    void startDrawPloygn();
    void SlotDeleteROI();
    void SlotDeleteAllROI();
    void SlotNoCheckCur();
    void SlotReCheck();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The view of camera c, or null outside 0 .. numCamera - 1.
    CammerWidget* View(int c) const;
    // The single selected camera's view; null while all cameras (or none) are selected.
    CammerWidget* SelectedView() const;
    // The template shown on view v into its curImage (and grey picture for colour cameras).
    void ShowTemplate(CammerWidget* v, int index);
    // Writes the record texts of one camera's changes; true when a position region changed.
    bool RecordChanges(int c);
    // Starts drawing mode m on view v (deselects, hides the panel).
    void StartDrawMode(CammerWidget* v, int mode);
    // Every camera's alarm of the current step is left undetected: back to detection, judged
    // again, one record of the given type.
    void NotDetectStep(const char* recordType);
    // The rectangle or circle button pressed: draw one shape, or with continued drawing switch
    // the tool on (button caption endText) or off again (caption idleText).
    void ToggleShapeTool(int mode, ColorButton* button, int idleText, const char* endText);
    void SetIdleCaptions();
    // Every caption in the largest font up to its size class's that fits its button.
    void FitCaptions();
    // Rows of the column lower than 76 px where the shown controls need it.
    void FitRows(const QList<QWidget*>& shown);

    // What a question was asked on: the page's opening and the main window's page state. The
    // alarm can end by itself (the timed release) while a question waits; its answer then
    // has nothing left to act on.
    struct AskedOn
    {
        int opening;
        int pageState;
    };
    AskedOn Asking() const;
    bool StillOn(const AskedOn& asked) const;

    CammerWidget* const* views;
    QVBoxLayout* layout = nullptr;
    int openings = 0;  // Reset and Restart each count one
};
