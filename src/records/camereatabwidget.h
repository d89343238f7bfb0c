// CamereaTabWidget: the detection pages of one camera view on the statistics page.
#pragma once

#include <QStringList>
#include <QTabWidget>

class CameraStatisticsWidget;

class CamereaTabWidget : public QTabWidget
{
    Q_OBJECT

public:
    // titles[0] names the page of all detections, titles[k] detection k - 1.
    CamereaTabWidget(int camera, QStringList titles, QWidget* parent);

    // Refreshes the page shown.
    void updateData();

    int cameraCode;
    QList<CameraStatisticsWidget*> pages;
};
