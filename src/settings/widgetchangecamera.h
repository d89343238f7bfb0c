// The camera numbering page: for each screen position the physical camera shown there.
#pragma once

#include <QVector>
#include <QWidget>

class MoJuWizard;
class QComboBox;
class QPushButton;

class WidgetChangeCamera : public QWidget
{
    Q_OBJECT

public:
    explicit WidgetChangeCamera(MoJuWizard* parent);

    // Per screen position (0-based) the chosen physical camera (0-based).
    QVector<int> chosen;
    QVector<QComboBox*> choices;
    QPushButton* okButton = nullptr;

    // The caption rectangle of camera i (1-based) on a page `width` wide.
    static QRect captionRect(int camera, int width);

public slots:
    void SetCameraNO0(int index);
    void SetCameraNO1(int index);
    void SetCameraNO2(int index);
    void SetCameraNO3(int index);
    void SetCameraNO4(int index);
    void SetCameraNO5(int index);
    void SetCameraNO6(int index);
    void SetCameraNO7(int index);
    // Refuses repeated numbers; otherwise re-orders the cameras and asks to restart or power off.
    bool SlotOK();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setCameraNO(int position, int index);
};
