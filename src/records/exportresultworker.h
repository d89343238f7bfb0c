// ExportResultWorker: exports a range of statistics days with the companion exporter and moves its results to the USB
// disk.
#pragma once

#include <atomic>

#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class ExportResultWorker : public QObject
{
    Q_OBJECT

public:
    explicit ExportResultWorker(QObject* parent = nullptr);

    // Runs the exporter and counts its "Done" lines; timeout in ms, -1 without limit. False
    // when it could not start, crashed, exited non-zero or was ended at the limit.
    bool exportToHistogram(const QString& program, const QStringList& arguments, int timeout);

    // How long the exporter may run for a number of day files: a hung exporter would keep the
    // statistics day timer stopped for good.
    static int exportTimeLimitMs(int files);
    // True when the mount table lists a file system mounted exactly at `mountPoint`.
    static bool isMountPoint(const QString& mountPoint);

    int fileCount = 0;
    int doneCount = 0;
    // The disk the results go to (a panel path), "/mnt" unless the page found the disk
    // elsewhere. Set by the page before it asks for an export, read by `work`.
    QString mountPoint;
    static constexpr const char* kDefaultMountPoint = "/mnt";
    // The outcome of the last export; read by the page when `finish` arrives.
    std::atomic<bool> succeeded{false};

public slots:
    void work(QPair<QString, QString> dates);

signals:
    void exportProgress(int total, int done);
    void finish();

private:
    void countLine(const QByteArray& line);
};

// Runs a program, logging its output; false when it failed to start, crashed or exited non-zero.
bool runAndPrintOutput(const QString& program, const QStringList& arguments, int timeout);
