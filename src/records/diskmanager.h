// DiskManager: finds USB disks in the udev database, mounts them at the fixed mount points
// and announces the list of mounted disks.
#pragma once

#include <atomic>

#include <QDir>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "upaninfo.h"

enum DiskInfoType { DiskByUuid = 0, DiskByPath = 1 };

// Resolves a link of /dev/disk/by-uuid (type 0) or /dev/disk/by-path (type 1) to the device
// node it names, as the panel sees it (for example /dev/sdb1). `out` stays as it was when
// there is no such entry.
void get_device(QString name, QString& out, DiskInfoType type);

class DiskManager : public QObject
{
    Q_OBJECT

public:
    // The watcher of the process, created on first use.
    static DiskManager* getInstance();
    static DiskManager* _instance;

    // Scans for the system disk (its records are never read) and unmounts whatever our
    // mount points hold.
    explicit DiskManager(QObject* parent = nullptr);
    ~DiskManager() override;

    // Polls the udev database on the global thread pool every 50 ms until destroyed.
    void start();
    void stop();
    // Tells the loop to end without waiting for it.
    void stopSoon();

    // One pass of the polling task: unmount what went, mount what came; true when the list
    // was announced. Public so that tests can run passes one at a time.
    bool pollOnce();

    QStringList getMountPath();
    QStringList getMountPaths() { return getMountPath(); }
    // The first free mount point: /mnt, then /mnt0 .. /mnt3 (mapped paths).
    QString get_efficientMountPath();
    UPanInfo get_mountDisk(QString uuid);
    void updateUPanInfo(UPanInfo info);
    void removeUPanInfo(int index);
    void removeUPanInfo(QString uuid);
    QVector<UPanInfo> disks();

    bool mountCommand(QString devNode, QString path);
    // Unmounts `target` (a device node or one of our mount points) wherever /proc/mounts shows
    // it on one of our mount points. A device also mounted elsewhere is the system's own and
    // is left alone. Returns the mount points whose unmount failed.
    QStringList clear_mount(QString target);

    // The mount points in order of preference, mapped: /mnt, /mnt0 .. /mnt3.
    static QStringList mountPoints();
    // A path as the panel names it: a path under the mapped root loses the root.
    static QString toPanelPath(const QString& path);
    // The (device, mount point) pairs of /proc/mounts; false when it cannot be read.
    static bool readMounts(QVector<QPair<QString, QString>>& out);

    // Pauses after a failed mount before the disk is tried again: 1 s, doubling up to this.
    static constexpr qint64 kMaxMountBackoffMs = 60000;

    QDir udevDir;
    QStringList ignoreList;

signals:
    void diskInfoChange(QVector<UPanInfo> infos);

private:
    struct Record
    {
        QString uuid;
        QString bus;
        QString label;
        QString fsType;
    };
    static Record readRecord(const QString& path, bool* opened);
    // Records of block devices of major 8, newest first.
    QFileInfoList records() const;
    static QString ignoreKey(const QFileInfo& record);
    // Whether the device shows in /proc/mounts on a mount point that is not ours.
    static bool mountedElsewhere(const QString& devNode);
    void noteMountFailure(const QString& uuid);
    // Mount points still holding a disk that went (its unmount failed): not handed out, and
    // unmounted again on later passes until it works.
    void noteStaleMounts(const QStringList& points);
    void retryStaleMounts();

    QVector<UPanInfo> diskList;
    QMutex diskMutex;
    QFuture<void> pollFuture;
    std::atomic<bool> stopFlag{false};

    struct Backoff
    {
        qint64 retryAtMs = 0;
        qint64 pauseMs = 0;
    };
    QHash<QString, Backoff> mountBackoff;  // by uuid; only the polling task touches it
    struct StaleMount
    {
        QString point;
        qint64 retryAtMs = 0;
    };
    QVector<StaleMount> staleMounts;  // under diskMutex
};
