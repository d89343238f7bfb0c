// Histogram: the two-series hourly bar chart of the statistics pages (OK green, NG red).
#pragma once

#include <QList>
#include <QWidget>

class QPaintEvent;

class Histogram : public QWidget
{
    Q_OBJECT

public:
    Histogram(QWidget* parent, QList<int> axisX, QList<int> axisY1, QList<int> axisY2);

    void modifyDataAxisX(QList<int> axisX);
    bool modifyDataAxisY(QList<int> axisY1, QList<int> axisY2);
    bool modifyDataAxisY1(QList<int> axisY1);
    bool modifyDataAxisY2(QList<int> axisY2);
    void clcMaxY();

    QList<int> dataAxisX;
    QList<int> dataAxisY1;
    QList<int> dataAxisY2;
    int dataCount = 0;
    int maxY = 0;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void recount();
};
