// Data export to a USB disk: the working folder copied into a folder named after the start
// time, then the saved raw camera pictures removed, but only once the copy is complete.
#pragma once

#include <functional>

#include <QObject>
#include <QString>

namespace DataExport {

// The worker (on a pool thread): <mount>/<yyyy-MM-dd_hh.mm.ss>/bin-AOI receives the working
// folder; the mount path is a panel path (mapped through SysPath) that the mount table must
// show as mounted, before the copy and again after it. True when everything was copied; the
// raw pictures are kept otherwise.
bool Run(const QString& mountPath);

}  // namespace DataExport

// The settings screen's export action: asks, finds a disk, runs the worker on the global
// thread pool while the screen stays responsive, and tells the window (start and finish).
class DataExportAction : public QObject
{
    Q_OBJECT

public:
    // firstDisk: the mount path of the first USB disk known, empty when there is none.
    // notice: shows a text without waiting for the operator (may be empty).
    explicit DataExportAction(std::function<QString()> firstDisk, std::function<void(const QString&)> notice = {},
                              QObject* parent = nullptr);

    // SlotExportData. Returns after the export ended (or was refused or declined).
    void exportData();
    static bool running();
    // The window's note shows "数据导出中" while an export runs and is emptied after it.
    void showProgressOn(class QLabel* note);

signals:
    void sigExportDataStart();
    void sigExportDataFinish();
    // For tests and logs: how the last export ended.
    void sigExportResult(bool ok);

private:
    std::function<QString()> firstDisk;
    std::function<void(const QString&)> notice;
};
