// The custom IO naming page: the name chosen for each named input and output of machine
// mode 3, written into the edited parameters; closing it returns to the settings screen.
#pragma once

#include <QVector>
#include <QWidget>

class MoJuWizard;
class QComboBox;
class QPushButton;

class CustomIONameWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CustomIONameWidget(MoJuWizard* parent);

    // Fills the combos with the name tables and selects the current choices of gpWParaBak.
    void init();

    QVector<QComboBox*> inputNames;   // 8, inNameSel
    QVector<QComboBox*> outputNames;  // 8, outNameSel
    QPushButton* confirmButton = nullptr;

public slots:
    // Takes the choices into gpWParaBak, hides the page, shows the settings screen.
    void slotConfirm();

private:
    MoJuWizard* window;
};
