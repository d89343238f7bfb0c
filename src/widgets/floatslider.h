// The zoom slider: a two-decimal value label, a fold button and a pictured QSlider that
// falls back to its minimum 30 seconds after the last change.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QWidget>

class FloatSlider : public QWidget
{
    Q_OBJECT

public:
    explicit FloatSlider(QWidget* parent);

    // Slider position = v x scale truncated toward zero; label and current value = v.
    void setValue(float v);
    void setToMinValue();
    // Restarts the idle timer.
    void startTimer();

    QSlider* slider;
    QLabel* label;
    QPushButton* foldButton;
    QTimer* idleTimer;
    float value = 1.0f;
    float scale = 1.0f;  // slider position = value x scale

signals:
    void updateValue(float value);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void updateLabel(int intValue);

private:
    void setFoldIcon(const char* picture);
    void fold();
};
