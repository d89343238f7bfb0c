// The IO configuration dialog of the settings screen: detection count, triggers and signal names.
#pragma once

#include <QVector>
#include <QWidget>

class ColorButton;
class ComboBox;
class EditBox;
class WizardParaWidget;

class IOWidget : public QWidget
{
    Q_OBJECT

public:
    explicit IOWidget(WizardParaWidget* parent);

    // The multi-detection count (2..8).
    EditBox* countBox = nullptr;
    // Per detection: which row of the choice list triggers it ("-" for none).
    QVector<ComboBox*> triggerCombos;
    // The choice list: per row the input that triggers and its output mode.
    QVector<ComboBox*> inputCombos;
    QVector<ComboBox*> outModeCombos;
    // Names shown for the monitored inputs and outputs.
    QVector<ComboBox*> inNameCombos;
    QVector<ComboBox*> outNameCombos;
    ColorButton* confirmButton = nullptr;
    ColorButton* returnButton = nullptr;

    // Fills the controls from the edit copy and names the re-check box.
    void init();
    // The re-check box's caption: the mould in modes 0..2, the second detection's trigger
    // input in mode 3.
    static QString reCheckCaption();

public slots:
    // Writes the controls into the edit copy and closes.
    void SlotConfirm();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    WizardParaWidget* settings;
};
