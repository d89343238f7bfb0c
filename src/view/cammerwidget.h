// CammerWidget: the view of one camera: camera object, region stores, recogniser, picture buffers.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "camerainterface.h"
#include "circle.h"
#include "recogdata.h"
#include "rect.h"

class CammerRecong;
class CammerSingleton;
class RoiParamPanel;
class WizardPara;
class QMouseEvent;
class RePolygon;
class QPaintEvent;
class QResizeEvent;

// Failure-image slots shared with the image writer thread, all under pMutexSaveFail.
// Slot (camera x 8 + detection) x 2 + k holds width x height RGB32 pixels (k 0 NG, 1 OK);
// the main window allocates the buffers of every camera in use.
constexpr int kFailSlotCount = 128;
constexpr int kFailIndexCount = 64;
extern unsigned char* gpFailImage[kFailSlotCount];
extern bool gisSaveFail[kFailSlotCount];
extern int gFailIndex[kFailIndexCount];  // 1-based first failing region of the waiting NG picture
// What the writer needs of the judgement that raised a slot's flag, handed over with the flag:
// the writer thread never reads the globals the GUI thread changes (gDNum, gPicNumNG, gPicNumOK).
struct FailImageJob
{
    int detections = 0;  // gDNum
    int ngLimit = 0;     // gPicNumNG
    int okLimit = 0;     // gPicNumOK
};
extern FailImageJob gFailImageJob[kFailSlotCount];
// Raises the slot's flag with a job of the current values; on the GUI thread.
void RaiseFailImage(int slot);

constexpr int kRecentNgCount = 10;
constexpr int kCameraSerialBytes = 100;
constexpr int kMaxDrawPoints = 8096;

class CammerWidget : public QWidget, public CammerRecogData
{
    Q_OBJECT

public:
    // The parent is the main window.
    CammerWidget(QWidget* parent, int cameraIndex, _cameraInfo info);
    ~CammerWidget() override;

    // ---- object (the detection cycle and the teaching page read and write these) ----
    CammerRecong* recognizer = nullptr;
    char cameraSerial[kCameraSerialBytes] = {};  // only logged
    QString pluginName;
    bool cameraOpen = false;
    float showScaleX = 1.0f;  // view size / picture size
    float showScaleY = 1.0f;
    float winScaleX = 1.0f;  // view size / (gShowW, gShowH)
    float winScaleY = 1.0f;

    unsigned char* curImage = nullptr;    // the picture shown and judged, imageBytes
    unsigned char* displayRgb = nullptr;  // RGB32 drawing buffer under displayImage
    QImage displayImage;

    unsigned char* recentNg[kMaxDetections][kRecentNgCount] = {};
    QString recentNgTime[kMaxDetections][kRecentNgCount];  // "yyyy-MM-dd hh.mm.ss"
    int recentNgPos[kMaxDetections] = {};                  // NG frames stored so far; the next slot is this modulo 10
    int recentNgView = 0;

    bool pendingTemplate[kMaxDetections] = {};  // the next frame becomes template 0
    bool detected[kMaxDetections] = {};         // judged or learned in the current cycle

    int blinkState = 0;  // 0/1 alarm blink phase, 2 while the ignored points are shown
    qint64 frameCount = 0;
    int fps = 0;
    qint64 frameShownTime = 0;  // ms since the epoch of the last frame shown, 0 when not shown
    int lostCount = 0;
    bool cameraConnected = true;
    bool simulated = true;  // the camera is a simulated source (type 0)
    CameraInterface* camera = nullptr;
    QTimer* timerShowAlarm = nullptr;
    QTimer* timerFps = nullptr;

    // ---- selection and touch state of the region editor ----
    int curRoi = -1;
    int lastRoi = -1;
    int curPoint = 0;
    int moveMode = 0;
    bool panelPage2 = false;
    int hintX = 0;
    int hintY = 0;
    QPoint touchPoint;
    QPoint drawPoints[kMaxDrawPoints];
    int drawPointCount = 0;
    bool polygonByDoubleClick = false;
    int touchState = 0;
    bool touchMoved = false;
    bool polygonActive = false;
    bool pressed = false;
    int dragHandle = 0;
    QPoint prevPos;
    QPoint curPos;
    ClustomRect drawRect;
    Circle drawCircle;

    // Floating parameter panel of the selected region (teaching page).
    RoiParamPanel* panel = nullptr;

    // What the teaching page shows beside region k of the edit store: `origin` is the region of
    // the working store it stands for (-1 for one drawn or copied since), whose verdict and
    // value it shows; `preview` is the value a parameter preview measured on it (-1: none).
    // The judgement arrays (roiOk, roiValue, roiBoxes) keep the working store's numbering while
    // regions are deleted or added unsaved: the alarm answers pair a region's flag with its
    // own blobs. A commit renumbers them (RestorMask).
    struct EditLabel
    {
        int origin;
        int preview;
    };
    EditLabel editLabels[kMaxDetections][kMaxRegions];

    // ---- object ----
    void setWinSW();
    void setWinSH();
    void setShowSW();
    void setShowSH();
    // The working masks into the edit masks; the edit store's regions stand for the working
    // store's regions of the same number again (editLabels).
    void BackMask();
    // The edit masks into the working masks; the judgement arrays follow their regions to the
    // numbers the edit gave them (a region deleted takes its verdict along, a new one has none).
    void RestorMask();
    // Every region of the edit store stands for the working store's region of its number.
    void ResetEditLabels();
    // Verdict and value the painter shows for region i of detection d of store s: the edit
    // store's through editLabels, the working store's as judged.
    bool ShownOk(const CammerSingleton& s, int d, int i) const;
    int ShownValue(const CammerSingleton& s, int d, int i) const;
    // A region added to the edit store at index i of detection d: nothing judged yet.
    void MarkNewRegion(int d, int i);
    void setCurRoi(int i);
    void DeselectROI();
    void RecogRepaint() override;

    // ---- region parameter panel ----
    // Shows, fills and places the panel for the current selection.
    void ShowHideROIPara();

    // ---- region selection and editing (edit store, current detection) ----
    bool PtInRegion(QPoint p);      // p inside the selected region or on one of its handles
    bool PtInRect(QPoint p);        // picks and selects the region under p, the selected one first
    bool PtInRectMove(QPoint p);    // some region is under p; the selection stays
    bool GetSelectedRect();         // the first region whose shape is marked selected becomes curRoi
    void SlotSize(int step);        // fine step 0..3 of the selected point
    void SlotMove(int dx, int dy);  // the selected region, or every region in whole-detection mode
    void SavePolygon();             // the drawn points become a new polygon region
    void SlotCopyArea(QPoint p);    // copies the selected region so that it lands at p
    void DeleteROI(int i);
    void MUpdateXYV(int x, int y);  // pixel readout for the main window
    QPoint getPointsCenter();
    // Region i of detection d of the edit store: image geometry and edit mask from its display shape.
    void RebuildMask(int d, int i);

    // ---- camera control ----
    void CameraOpen();
    void initSetting();
    bool CameraStart();
    void CameraStop();
    void CameraClose();
    void CameraChangeTrig(bool on);
    void SetExposeTime();
    void SetAdjustPlus();
    void SetSharp();
    void SetContrast();
    void SetGamma();
    void SetWDR();
    void SetHMirror();
    void SetVMirror();
    void SetSpeed();
    void SetWB();
    bool UpdateImage();
    void ManualUpdateImage();
    void RestoreDefaultSettings();
    void HotCameraUpdateROI();
    int HotCameraGetTemperature(int detect, int funcNo);
    CameraInterface* CreateCamera(_cameraInfo info);

    // ---- templates and ignore points ----
    void LoadTemplate(int detection);
    void LoadIgnorePoint();
    void SaveIgnorePoint(int detection);
    // "./cammer<camera+1><detection+1>", created when missing.
    QString DetectionDir(int detection) const;

signals:
    void clicked(QPoint);

public slots:
    void SaveReTrainImage(int detection);
    void SaveFailImage(int detection, int k);
    void UpdateFailImage(int detection, int k);
    void CopyPara();
    void TimerShowAlarm();
    void TimerFPS();
    void SlotLoss();
    void SlotCheckDoubleClicked(QPoint p);
    void SlotNextROI();
    void SlotChangeObject();
    void SlotAdd10();
    void SlotAdd1();
    void SlotSub1();
    void SlotSub10();
    void SlotMoveT();
    void SlotMoveB();
    void SlotMoveL();
    void SlotMoveR();
    void SlotMoveAll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Width of the teaching page's column over the view's left edge, taken at each paint.
    int columnCover = 0;
    // The parameter record the camera setters follow: the settings screen's copy while that
    // screen is visible, else the live one (LivePara).
    static const WizardPara& TunedPara();
    // Detections the view prepares: all 8 in multi-detection mode, else gDNum.
    static int PreparedDetections();
    // Whether every vertex of the polygon moved by `shift` keeps a small margin from the view's
    // edges (a moved polygon must stay where the operator can still take it).
    bool PolygonFits(const RePolygon& poly, QPoint shift) const;
    // Fills displayRgb from a camera-format buffer (grey expanded, colour copied).
    void ExpandToDisplay(const unsigned char* picture);
    void SetWhileStopped(bool (CameraInterface::*setter)(bool), bool on);
    // The picture buffer as an image of the camera's format, rows of exactly imageWidth pixels.
    QImage PictureImage(unsigned char* buffer) const;

    // The commit: the judgement arrays renumbered as editLabels says, then the labels reset.
    void FollowEditLabels();

    // Editing helpers on the edit store.
    void SetHint(int d, int i);  // label position: the region's first point, 26 units up
    bool HitRegion(int d, int i, QPoint p);
    void SelectShape(int d, int i, bool on);
    int RegionCount(int d) const;
    // Function and parameters of new region c: its predecessor's, or the first enabled
    // function's defaults.
    void NewRegionFunction(int d, int c);
    // The display-space point of a widget position under the main window's pan and zoom.
    QPoint EditPoint(int x, int y) const;
    // A drag on the view pans the main window's zoomed picture.
    void PanWindow(int x, int y);

    // Painting.
    void ApplyPanZoom(QPainter& painter) const;
    // curImage into displayRgb as opaque RGB32 pixels.
    void ExpandOpaque();
    void PaintOverlay(int d, int i, const unsigned char* mask, quint32 colour, const CammerSingleton& s);
    void PastColumn(QPainter& painter) const;
    void LegendPastColumn(QPainter& painter) const;
    void PaintRecentNg(QPainter& painter, QFont& font);
    // A picture of the OK or NG folders that the teaching page browses, with its header.
    void PaintRecord(QPainter& painter, QFont& font);
    void PaintLive(QPainter& painter, QFont& font);
    void PaintRegions(QPainter& painter, QFont& font, const CammerSingleton& s, int d, int n, QString& selectedText);
    void PaintHeader(QPainter& painter, QFont& font, int d, const QString& selectedText);
    void PaintDrawing(QPainter& painter, QFont& font);

    bool reconnecting = false;  // SlotLoss is waiting for the camera to come back
};
