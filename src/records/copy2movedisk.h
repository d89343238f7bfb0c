// Copy2MoveDisk: a second copy of every failure picture on the current USB disk, one folder
// per day, the newest `days` day folders kept.
#pragma once

#include <atomic>

#include <QFuture>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include "upaninfo.h"

class Copy2MoveDisk : public QObject
{
    Q_OBJECT

public:
    static Copy2MoveDisk* getInstance();
    static Copy2MoveDisk* _instance;

    explicit Copy2MoveDisk(QObject* parent = nullptr);
    ~Copy2MoveDisk() override;

    // The copy loop on the global thread pool. stop tells it to end without waiting for it;
    // a start after it runs a new loop at once, and the old one ends after its current write.
    void start();
    void stop();
    // The stop of the program: stop, then wait until every loop, also one stopped before,
    // has ended (after its current write). GUI thread.
    void stopAndWait();
    bool isRunning() const { return !is_stop; }

    // Queues one picture written locally into `folder` (a path under alarmimage) as
    // `name`.jpg. Any thread.
    void add_map_actqueue(QString folder, QString name, QImage image);
    // One pass of the copy loop: the picture with the smallest destination is written.
    // Public so that tests can run passes one at a time.
    void copyOnce();

    // Mount path and uuid of the current disk; empty when there is none. Any thread.
    QString currentPrepath();
    QString currentDeviceId();
    int queued();

    // Day folders kept on the disk; a value below 1 counts as this.
    static constexpr int kDefaultDays = 31;
    static constexpr int kMaxQueued = 11;
    std::atomic<int> days{kDefaultDays};

public slots:
    // Follows the watcher's list: stays with the current disk while it is listed, otherwise
    // takes the first one.
    void diskInfoChange(QVector<UPanInfo> infos);

signals:
    void diskStateChange(bool present);

private:
    // Removes the oldest date folder (yyyyMMdd) under `root` when more than `days` of them exist.
    void pruneDays(const QString& root);

    std::atomic<bool> is_stop{true};
    QFuture<void> _future;
    // Numbers the loops: a loop that is not the latest ends.
    std::atomic<int> generation{0};
    QList<QFuture<void>> retired;  // stopped loops that may still be writing; GUI thread only
    QMap<QString, QImage> map_actqueue;
    QMutex map_mutex;
    QString prepath;
    QString device_id;
};
