// IndexButton: the operator's button column at the right edge of the main window.
#pragma once

#include <QPushButton>
#include <QTimer>
#include <QWidget>

class ColorButton;
class ComboBox;
class MoJuWizard;
class QPaintEvent;
class QShowEvent;

class IndexButton : public QWidget
{
    Q_OBJECT

public:
    explicit IndexButton(MoJuWizard* parent);

    // Mode 0 hides the bar, 1 shows it exactly when expanded; any other mode leaves the
    // bar's own visibility alone and shows the main buttons.
    void ShowHide(int mode);
    // Expands a collapsed bar.
    void checkShowHide();
    // Hidden, with a freshly filled detection combo.
    void Reset();
    void ResetComboChooseManualTrig();
    // The detection chosen for a manual snapshot; -1 while the combo is empty.
    int CurChooseTrig();
    // The start/stop caption, fitted to the button like every caption of the bar.
    void SetStartStopText(const QString& text);

    // Members in the bar's declared order. The settings and statistics buttons stay null
    // until their screens exist (the statistics one while start-up gives no page to show);
    // every rule below skips a null button.
    ColorButton* startStopButton = nullptr;
    QTimer* hideTimer = nullptr;  // started with 120000 ms by a press on a camera view
    bool expanded = false;
    QPushButton* logoButton = nullptr;
    ColorButton* resampleButton = nullptr;
    ColorButton* areaButton = nullptr;
    ColorButton* systemButton = nullptr;
    ColorButton* multiScreenButton = nullptr;
    ColorButton* statisticsButton = nullptr;
    ColorButton* productTrigButton = nullptr;
    ColorButton* mouldTrigButton = nullptr;
    ComboBox* detectCombo = nullptr;
    ColorButton* snapshotButton = nullptr;
    int logoHeight = 96;

public slots:
    // Collapses the bar.
    void SlotShowHideTimeout();

protected:
    // Paints nothing: only the buttons show over the camera views.
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
