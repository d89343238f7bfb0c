// CameraStatisticsWidget: one camera's and one detection's figures and hourly charts on the statistics page.
#pragma once

#include <QWidget>

class Histogram;
class QLabel;
class QShowEvent;

class CameraStatisticsWidget : public QWidget
{
    Q_OBJECT

public:
    // camera and detect: 0..7 one camera or detection, 8 all cameras or the whole cycle.
    CameraStatisticsWidget(int camera, int detect, QWidget* parent);

    // The figures and charts from the model's viewed day and group.
    void updateData();

    int cameraCode;
    int detectCode;
    Histogram* morningChart = nullptr;
    Histogram* nightChart = nullptr;
    // Per block (morning shift, night shift, whole day): total, OK count, pass rate.
    QLabel* valueLabels[3][3] = {};

protected:
    void showEvent(QShowEvent* event) override;
};
