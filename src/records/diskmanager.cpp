// The USB disk watcher: the udev database read every 50 ms, disks mounted at /mnt, /mnt0 .. /mnt3.
#include "diskmanager.h"

#include <algorithm>
#include <map>

#include <cstdlib>

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "commandrunner.h"
#include "platformclock.h"
#include "systempaths.h"

namespace {

constexpr int kPollMs = 50;
constexpr int kMountWaitMs = 2000;
constexpr int kMountSettleMs = 300;
constexpr int kUmountWaitMs = 200;
constexpr qint64 kFirstBackoffMs = 1000;
constexpr qint64 kUnmountRetryMs = 1000;
const char* const kUdevDir = "/run/udev/data/";
const char* const kRecordFilter = "b8:*";

}  // namespace

DiskManager* DiskManager::_instance = nullptr;

namespace {
void StopInstanceAtExit();
}

QString DiskManager::toPanelPath(const QString& path)
{
    const QString root = SystemPaths::root();
    if (!root.isEmpty() && path.startsWith(root + "/"))
        return path.mid(root.size());
    return path;
}

DiskManager* DiskManager::getInstance()
{
    if (!_instance)
        _instance = new DiskManager(nullptr);
    return _instance;
}

void get_device(QString name, QString& out, DiskInfoType type)
{
    const QString folder = SysPath(type == DiskByUuid ? "/dev/disk/by-uuid/" : "/dev/disk/by-path/");
    if (name.isEmpty() || name.contains('/'))
        return;
    const QFileInfo entry(folder + name);
    if (!entry.isSymLink()) {
        if (entry.exists())
            qDebug() << "The provided path is not a symbolic link.";
        return;
    }
    out = DiskManager::toPanelPath(QDir::cleanPath(entry.symLinkTarget()));
}

DiskManager::DiskManager(QObject* parent) : QObject(parent)
{
    udevDir = QDir(SysPath(kUdevDir));
    // The system disk: the device behind the last ext4 partition read.
    QString systemDisk;
    std::map<QString, QString> uuidByRecord;
    for (const QFileInfo& record : records()) {
        bool opened = false;
        const Record r = readRecord(record.absoluteFilePath(), &opened);
        if (!opened)
            continue;
        uuidByRecord[record.fileName()] = r.uuid;
        if (r.fsType == "ext4") {
            QString node;
            get_device(r.uuid, node, DiskByUuid);
            node.remove(QRegularExpression("\\d+$"));
            systemDisk = node;
        }
    }
    if (!systemDisk.isEmpty()) {
        for (const auto& [name, uuid] : uuidByRecord) {
            QString node;
            get_device(uuid, node, DiskByUuid);
            if (!node.isEmpty() && node.contains(systemDisk))
                ignoreList << name;
        }
    }
    for (const QString& point : mountPoints()) clear_mount(point);
}

DiskManager::~DiskManager()
{
    stop();
}

void DiskManager::start()
{
    if (pollFuture.isRunning())
        return;
    stopFlag = false;
    // The pool waits for its tasks when the application object goes (its post routines run
    // first) or, when that object is never destroyed, at the pool's own clean-up (registered
    // before this exit handler, so it runs after it).
    QThreadPool* pool = QThreadPool::globalInstance();
    static const bool atExit = [] {
        qAddPostRoutine(StopInstanceAtExit);
        return std::atexit(StopInstanceAtExit) == 0;
    }();
    Q_UNUSED(atExit)
    pollFuture = QtConcurrent::run(pool, [this] {
        while (!stopFlag) {
            PlatformClock::sleepMs(kPollMs);
            pollOnce();
        }
    });
}

namespace {

// The global thread pool waits for its tasks when the application or the process ends; the
// endless loop of the process's instance must end first.
void StopInstanceAtExit()
{
    if (DiskManager::_instance)
        DiskManager::_instance->stopSoon();
}

}  // namespace

void DiskManager::stopSoon()
{
    stopFlag = true;
}

void DiskManager::stop()
{
    stopFlag = true;
    pollFuture.waitForFinished();
}

QStringList DiskManager::mountPoints()
{
    QStringList points{SysPath("/mnt")};
    for (int i = 0; i < 4; ++i) points << SysPath(QString("/mnt%1").arg(i));
    return points;
}

bool DiskManager::readMounts(QVector<QPair<QString, QString>>& out)
{
    return ReadMountTable(out);
}

QFileInfoList DiskManager::records() const
{
    QDir dir(udevDir);
    dir.refresh();
    return dir.entryInfoList({kRecordFilter}, QDir::Files | QDir::System | QDir::Hidden, QDir::Time);
}

QString DiskManager::ignoreKey(const QFileInfo& record)
{
    return record.fileName() + "@" + QString::number(record.lastModified().toMSecsSinceEpoch());
}

DiskManager::Record DiskManager::readRecord(const QString& path, bool* opened)
{
    Record r;
    QFile f(path);
    *opened = f.open(QIODevice::ReadOnly);
    if (!*opened)
        return r;
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
        if (line.startsWith("S:disk/by-uuid/"))
            r.uuid = line.mid(line.lastIndexOf('/') + 1);
        else if (line.startsWith("E:ID_BUS"))
            r.bus = line.mid(line.lastIndexOf('=') + 1);
        else if (line.startsWith("S:disk/by-label"))
            r.label = line.mid(line.lastIndexOf('/') + 1);
        else if (line.startsWith("E:ID_FS_TYPE"))
            r.fsType = line.mid(line.lastIndexOf('=') + 1);
    }
    return r;
}

bool DiskManager::mountedElsewhere(const QString& devNode)
{
    QVector<QPair<QString, QString>> mounts;
    if (!readMounts(mounts))
        return false;
    const QStringList ours = mountPoints();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const auto& m) { return m.first == devNode && !ours.contains(m.second); });
}

QStringList DiskManager::clear_mount(QString target)
{
    qDebug() << "clear_mount";
    QVector<QPair<QString, QString>> mounts;
    if (!readMounts(mounts))
        return {};
    const QStringList ours = mountPoints();
    QStringList points;
    for (const auto& [device, point] : mounts) {
        if (device != target && point != target)
            continue;
        if (!ours.contains(point)) {
            // The system's own disks live outside our mount points; never touch them.
            if (device == target) {
                qInfo() << "clear_mount: left alone, mounted outside the USB mount points:" << target << point;
                return {};
            }
            continue;
        }
        points << point;
    }
    QStringList failed;
    for (int i = 0; i < points.size(); ++i) {
        const QString cmd = "umount " + points[i];
        const CommandResult r = CommandRunner::shell(cmd, kUmountWaitMs);
        qDebug() << "clear_mount:" << cmd << i << !r.timedOut;
        if ((!r.started || r.timedOut || r.exitCode != 0) && !failed.contains(points[i]))
            failed << points[i];
    }
    qDebug() << "end" << "clear_mount";
    return failed;
}

void DiskManager::noteStaleMounts(const QStringList& points)
{
    if (points.isEmpty())
        return;
    const qint64 retryAt = PlatformClock::monotonicMs() + kUnmountRetryMs;
    QMutexLocker lock(&diskMutex);
    for (const QString& point : points) {
        if (std::any_of(staleMounts.begin(), staleMounts.end(), [&](const StaleMount& s) { return s.point == point; }))
            continue;
        qWarning() << "USB disk gone but still mounted; the unmount is tried again:" << point;
        staleMounts.append({point, retryAt});
    }
}

void DiskManager::retryStaleMounts()
{
    QVector<StaleMount> stale;
    {
        QMutexLocker lock(&diskMutex);
        stale = staleMounts;
    }
    const qint64 now = PlatformClock::monotonicMs();
    for (const StaleMount& s : stale) {
        if (now < s.retryAtMs)
            continue;
        const bool stillThere = !clear_mount(s.point).isEmpty();
        QMutexLocker lock(&diskMutex);
        for (int i = 0; i < staleMounts.size(); ++i) {
            if (staleMounts[i].point != s.point)
                continue;
            if (stillThere)
                staleMounts[i].retryAtMs = now + kUnmountRetryMs;
            else
                staleMounts.remove(i);
            break;
        }
    }
}

bool DiskManager::mountCommand(QString devNode, QString path)
{
    const QString cmd = QString("mount %1 %2").arg(devNode, path);
    const CommandResult r = CommandRunner::shell(cmd, kMountWaitMs);
    const bool finished = r.started && !r.timedOut;
    qInfo() << cmd << devNode << "finished" << finished;
    if (!finished)
        return false;
    PlatformClock::sleepMs(kMountSettleMs);
    QVector<QPair<QString, QString>> mounts;
    if (!readMounts(mounts))
        return false;
    const bool mounted = std::any_of(mounts.begin(), mounts.end(),
                                     [&](const auto& m) { return m.first == devNode && m.second == path; });
    qInfo() << "/proc/mounts" << mounts.size() << "entries; mounted" << mounted;
    return mounted;
}

QStringList DiskManager::getMountPath()
{
    QMutexLocker lock(&diskMutex);
    QStringList paths;
    for (const UPanInfo& d : diskList)
        if (!d.mountPath.isEmpty())
            paths << d.mountPath;
    return paths;
}

QString DiskManager::get_efficientMountPath()
{
    QStringList used = getMountPath();
    {
        // A point whose unmount failed still holds the pulled disk: a new one mounted there
        // would be stacked on it.
        QMutexLocker lock(&diskMutex);
        for (const StaleMount& s : staleMounts) used << s.point;
    }
    const QStringList points = mountPoints();
    for (const QString& p : points)
        if (!used.contains(p))
            return p;
    return points.last();
}

UPanInfo DiskManager::get_mountDisk(QString uuid)
{
    QMutexLocker lock(&diskMutex);
    for (const UPanInfo& d : diskList)
        if (d.uuid == uuid)
            return d;
    return UPanInfo();
}

void DiskManager::updateUPanInfo(UPanInfo info)
{
    QMutexLocker lock(&diskMutex);
    bool found = false;
    for (UPanInfo& d : diskList) {
        if (d.uuid != info.uuid)
            continue;
        d.devNode = info.devNode;
        d.bus = info.bus;
        d.mountPath = info.mountPath;
        found = true;
    }
    if (!found)
        diskList.append(info);
}

void DiskManager::removeUPanInfo(int index)
{
    QMutexLocker lock(&diskMutex);
    if (index >= 0 && index < diskList.size())
        diskList.remove(index);
}

void DiskManager::removeUPanInfo(QString uuid)
{
    QMutexLocker lock(&diskMutex);
    diskList.erase(std::remove_if(diskList.begin(), diskList.end(), [&](const UPanInfo& d) { return d.uuid == uuid; }),
                   diskList.end());
}

QVector<UPanInfo> DiskManager::disks()
{
    QMutexLocker lock(&diskMutex);
    return diskList;
}

void DiskManager::noteMountFailure(const QString& uuid)
{
    Backoff& b = mountBackoff[uuid];
    if (b.pauseMs == 0)
        qWarning() << "USB disk could not be mounted; retrying with growing pauses:" << uuid;
    b.pauseMs = b.pauseMs == 0 ? kFirstBackoffMs : std::min(b.pauseMs * 2, kMaxMountBackoffMs);
    b.retryAtMs = PlatformClock::monotonicMs() + b.pauseMs;
}

bool DiskManager::pollOnce()
{
    // Present disks of this pass by uuid; the first record read (the newest) wins.
    std::map<QString, Record> present;
    for (const QFileInfo& file : records()) {
        const QString name = file.fileName();
        const QString key = ignoreKey(file);
        if (ignoreList.contains(name) || ignoreList.contains(key))
            continue;
        bool opened = false;
        const Record r = readRecord(file.absoluteFilePath(), &opened);
        if (!opened)
            continue;
        // A record without uuid (a whole disk, or one udev is still writing) and a disk on
        // another bus are ignored until the record changes.
        if (r.uuid.isEmpty() || r.bus != "usb") {
            ignoreList << key;
            continue;
        }
        present.emplace(r.uuid, r);
    }

    retryStaleMounts();
    bool changed = false;
    for (int i = disks().size() - 1; i >= 0; --i) {
        UPanInfo known;
        {
            QMutexLocker lock(&diskMutex);
            if (i >= diskList.size())
                continue;
            known = diskList.at(i);
        }
        auto it = present.find(known.uuid);
        if (it == present.end()) {
            noteStaleMounts(clear_mount(known.devNode));
            removeUPanInfo(i);
            changed = true;
            continue;
        }
        present.erase(it);
        QString node;
        get_device(known.uuid, node, DiskByUuid);
        if (node == known.devNode)
            continue;
        // The old node's mount goes first, or the disk would be mounted again on top of it.
        noteStaleMounts(clear_mount(known.devNode));
        if (node.isEmpty()) {
            removeUPanInfo(i);
            changed = true;
            continue;
        }
        known.devNode = node;
        known.mountPath.clear();
        updateUPanInfo(known);
    }

    const qint64 now = PlatformClock::monotonicMs();
    for (const auto& [uuid, r] : present) {
        if (!get_mountDisk(uuid).uuid.isEmpty())
            continue;
        const auto b = mountBackoff.constFind(uuid);
        if (b != mountBackoff.constEnd() && now < b->retryAtMs)
            continue;
        QString node;
        get_device(uuid, node, DiskByUuid);
        if (node.isEmpty())
            continue;
        UPanInfo info;
        info.uuid = uuid;
        info.label = r.label;
        info.devNode = node;
        info.bus = r.bus;
        updateUPanInfo(info);
    }

    for (int i = disks().size() - 1; i >= 0; --i) {
        UPanInfo d;
        {
            QMutexLocker lock(&diskMutex);
            if (i >= diskList.size())
                continue;
            d = diskList.at(i);
        }
        if (!d.mountPath.isEmpty())
            continue;
        if (mountedElsewhere(d.devNode)) {
            // Mounted by the system itself: neither unmounted nor mounted a second time.
            noteMountFailure(d.uuid);
            removeUPanInfo(d.uuid);
            continue;
        }
        const QString point = get_efficientMountPath();
        if (!QDir(point).exists())
            QDir().mkpath(point);
        noteStaleMounts(clear_mount(d.devNode));
        if (mountCommand(d.devNode, point)) {
            d.mountPath = point;
            updateUPanInfo(d);
            mountBackoff.remove(d.uuid);
            changed = true;
        } else {
            noteMountFailure(d.uuid);
            removeUPanInfo(d.uuid);
        }
    }

    if (changed)
        emit diskInfoChange(disks());
    return changed;
}
