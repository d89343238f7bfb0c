// StatisticsWidget: the full-screen statistics page (days, groups, shift hours, camera tabs, export).
#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QWidget>

class CamereaTabWidget;
class ComboBox;
class ExportResultWorker;
class QListWidget;
class QListWidgetItem;
class QShowEvent;
class QTabWidget;
class QThread;

class StatisticsWidget : public QWidget
{
    Q_OBJECT

public:
    // The page, created on first use; the window makes it its child at construction.
    static StatisticsWidget* instance;
    static StatisticsWidget* getInstance(QWidget* parent = nullptr);

    explicit StatisticsWidget(QWidget* parent = nullptr);
    ~StatisticsWidget() override;

    // Builds the controls once; titles: the page of all detections, then one per detection.
    void createWidget(QStringList titles);
    // The same, when the page is first shown: the window's page costs nothing at start.
    void createWidgetWhenShown(QStringList titles);
    void setVisible(bool visible) override;
    void initWidget();
    void updateList();
    void updateGroupsList(bool block);
    // After a counted detection: the running day, when shown, follows the model's counts.
    void checkUpdate();

    ExportResultWorker* exportWorker = nullptr;
    bool canExport = true;
    QTabWidget* cameraTabs = nullptr;
    CamereaTabWidget* cameraPages[9] = {};
    ComboBox* groupBox = nullptr;
    ComboBox* morningStartBox = nullptr;
    ComboBox* morningEndBox = nullptr;
    ComboBox* nightStartBox = nullptr;
    ComboBox* nightEndBox = nullptr;
    QListWidget* dayList = nullptr;

public slots:
    void UpdateRecord(QListWidgetItem* item);
    void slotUpdateRecord(bool ok);
    void SlotConfirm();
    void SlotExportData();
    // A closed day became a day file: a shown list takes it in.
    void slotDayListChanged();

signals:
    void sigUpdateRecord(int row, QString file);
    void sigExportData(QPair<QString, QString> dates);
    void sigExportDataFinish();
    void sigExportProgress(int total, int done);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateShownTab();
    void exportFinished();
    // The mount path (panel form) of the USB disk an export writes to; empty when there is none.
    QString exportDisk();

    QThread* exportThread = nullptr;
    QStringList pendingTitles;
    bool controlsPending = false;
};
