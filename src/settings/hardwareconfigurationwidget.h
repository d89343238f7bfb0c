// The hardware information page: how many cameras are connected, and a confirm button back
// to the settings screen.
#pragma once

#include <QWidget>

class MoJuWizard;
class QLabel;
class QPushButton;

class HardwareConfigurationWidget : public QWidget
{
    Q_OBJECT

public:
    explicit HardwareConfigurationWidget(MoJuWizard* parent);

    QLabel* countLabel = nullptr;
    QPushButton* confirmButton = nullptr;

public slots:
    void slotConfirm();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    MoJuWizard* window;
};
