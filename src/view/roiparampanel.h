// RoiParamPanel: the floating panel of the selected region: function, parameter sliders, output number, fine moves.
#pragma once

#include <QObject>
#include <QString>
#include "cammersingleton.h"

class CammerSingleton;
class CammerWidget;
class ColorButton;
class ComboBox;
class QLabel;
class Slider;
class QWidget;
class WizardPara;

// Defaults of detection function f; values a function does not use are left as they are, so
// callers clear them first. 1 for f 0..10, else 0 with the defaults of function 0.
int GetFuncInitParam(int f, int& p1, int& p2, int& p3);

// Whether detection function f is switched on in the parameters.
bool FuncEnabled(const WizardPara& p, int f);

// A part of a region parameter: the whole int, a 16-bit half or one of the two low bytes.
enum class ParamPart { Whole, Low16, High16, Byte0, Byte1 };
int ReadPart(int word, ParamPart part);
int WritePart(int word, ParamPart part, int value);

// Top y of a panel h units high beside region i of detection d: above the region when there is
// room, else below it, else a place that depends on the shape.
int PanelTop(const CammerSingleton& store, int d, int i, int h, float fullScaleY);

class RoiParamPanel : public QObject
{
    Q_OBJECT

public:
    // The widgets are children of the view, created hidden.
    explicit RoiParamPanel(CammerWidget* view);

    // Shows, fills and places the panel for the view's selection; hides it without one.
    void ShowHideROIPara();

    Slider* sliderFilter = nullptr;       // para3
    Slider* sliderSensitivity = nullptr;  // para1
    Slider* sliderArea = nullptr;         // para2
    QLabel* labelFunc = nullptr;
    ColorButton* buttonFunc = nullptr;
    ColorButton* buttonParaSwitch = nullptr;
    ComboBox* comboOutN = nullptr;
    ColorButton* buttonNextRoi = nullptr;
    ColorButton* buttonObject = nullptr;
    ColorButton* buttonAdd10 = nullptr;
    ColorButton* buttonAdd1 = nullptr;
    ColorButton* buttonSub1 = nullptr;
    ColorButton* buttonSub10 = nullptr;
    ColorButton* buttonSync = nullptr;
    ColorButton* buttonMoveToggle = nullptr;
    ColorButton* buttonMoveT = nullptr;
    ColorButton* buttonMoveB = nullptr;
    ColorButton* buttonMoveL = nullptr;
    ColorButton* buttonMoveR = nullptr;
    ColorButton* buttonMoveAll = nullptr;

public slots:
    void SlotSensitivity(int v);
    void SlotArea(int v);
    void SlotMinWH(int v);
    void SlotOutN(int n);
    void SlotChangeFunc();
    void SlotChangeParaShow();
    void SlotSyncParam();

private:
    // Every button's caption fitted to its button.
    void FitCaptions();
    // The selected region's parameter of slider s (0 para1, 1 para2, 2 para3), null without one.
    int* SelectedParam(int s) const;
    int SelectedFunc() const;
    // Writes v into the part of parameter s that the slider edits on the page shown; true when
    // the slider edits the whole value.
    bool WriteSlider(int s, int v);
    // Loads slider s from the selected region for the page shown.
    void FillSlider(int s);
    void Preview();
    void StartHint(int value);
    void HideAll();
    void Place(int y);

    CammerWidget* view;
};
