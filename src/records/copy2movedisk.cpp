// The USB image copier: pictures queued by the failure-image writer, written to the disk by a pool task.
#include "copy2movedisk.h"

#include <algorithm>
#include <cstdlib>

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "platformclock.h"

namespace {

constexpr int kLoopMs = 50;
const char* const kDayFormat = "yyyyMMdd";
const char* const kAlarmRoot = "alarmimage";

bool IsDayFolderName(const QString& name)
{
    static const QRegularExpression digits("^\\d{8}$");
    return digits.match(name).hasMatch() && QDate::fromString(name, kDayFormat).isValid();
}

}  // namespace

Copy2MoveDisk* Copy2MoveDisk::_instance = nullptr;

namespace {
void StopInstanceAtExit();
}

Copy2MoveDisk* Copy2MoveDisk::getInstance()
{
    if (!_instance)
        _instance = new Copy2MoveDisk(nullptr);
    return _instance;
}

Copy2MoveDisk::Copy2MoveDisk(QObject* parent) : QObject(parent) {}

Copy2MoveDisk::~Copy2MoveDisk()
{
    stopAndWait();
}

void Copy2MoveDisk::start()
{
    if (!is_stop)
        return;
    is_stop = false;
    const int loop = ++generation;
    // A loop stopped before may still hang in a write to its disk: it is left to end on its own.
    retired.erase(std::remove_if(retired.begin(), retired.end(), [](const QFuture<void>& f) { return f.isFinished(); }),
                  retired.end());
    if (!_future.isFinished())
        retired << _future;
    // The pool waits for its tasks when the application object goes (its post routines run
    // first) or, when that object is never destroyed, at the pool's own clean-up (registered
    // before this exit handler, so it runs after it).
    QThreadPool* pool = QThreadPool::globalInstance();
    static const bool atExit = [] {
        qAddPostRoutine(StopInstanceAtExit);
        return std::atexit(StopInstanceAtExit) == 0;
    }();
    Q_UNUSED(atExit)
    _future = QtConcurrent::run(pool, [this, loop] {
        auto current = [this, loop] { return !is_stop && generation == loop; };
        while (current()) {
            PlatformClock::sleepMs(kLoopMs);
            if (!current())
                break;
            copyOnce();
        }
        qDebug() << "_future" << "exit";
    });
}

namespace {

// The global thread pool waits for its tasks when the application or the process ends; the
// endless loop of the process's instance must end first.
void StopInstanceAtExit()
{
    if (Copy2MoveDisk::_instance)
        Copy2MoveDisk::_instance->stop();
}

}  // namespace

void Copy2MoveDisk::stop()
{
    // Not waited for: the loop may hang in a write to a failing disk, and the settings screen
    // stops the copier on the GUI thread, which the detection cycle shares.
    is_stop = true;
}

void Copy2MoveDisk::stopAndWait()
{
    stop();
    for (QFuture<void>& loop : retired) loop.waitForFinished();
    retired.clear();
    _future.waitForFinished();
}

QString Copy2MoveDisk::currentPrepath()
{
    QMutexLocker lock(&map_mutex);
    return prepath;
}

QString Copy2MoveDisk::currentDeviceId()
{
    QMutexLocker lock(&map_mutex);
    return device_id;
}

int Copy2MoveDisk::queued()
{
    QMutexLocker lock(&map_mutex);
    return map_actqueue.size();
}

void Copy2MoveDisk::diskInfoChange(QVector<UPanInfo> infos)
{
    bool before = false;
    bool after = false;
    QString path;
    QString id;
    {
        QMutexLocker lock(&map_mutex);
        before = !device_id.isEmpty();
        if (infos.isEmpty()) {
            prepath.clear();
            device_id.clear();
        } else {
            const bool stillThere =
                before && std::any_of(infos.begin(), infos.end(), [&](const UPanInfo& d) { return d.uuid == device_id; });
            if (!stillThere) {
                prepath = infos.first().mountPath;
                device_id = infos.first().uuid;
            }
        }
        after = !device_id.isEmpty();
        path = prepath;
        id = device_id;
    }
    if (before != after && !is_stop)
        emit diskStateChange(after);
    qDebug() << "prepath" << path << "device_id" << id;
}

void Copy2MoveDisk::pruneDays(const QString& root)
{
    QDir dir(root);
    QStringList dayFolders;
    for (const QFileInfo& child : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        // Only real day folders directly below the disk's root; links and other names stay.
        if (child.isSymLink() || !IsDayFolderName(child.fileName()))
            continue;
        dayFolders << child.fileName();
    }
    int keep = days;
    if (keep < 1)
        keep = kDefaultDays;
    if (dayFolders.size() <= keep)
        return;
    const QString oldest = dir.absoluteFilePath(dayFolders.first());
    if (QFileInfo(oldest).absolutePath() != dir.absolutePath())
        return;
    if (!QDir(oldest).removeRecursively())
        qWarning() << "could not remove the old day folder" << oldest;
}

void Copy2MoveDisk::add_map_actqueue(QString folder, QString name, QImage image)
{
    QString path;
    QString id;
    {
        QMutexLocker lock(&map_mutex);
        path = prepath;
        id = device_id;
    }
    if (is_stop || path.isEmpty())
        return;
    const QString day = PlatformClock::now().date().toString(kDayFormat);
    const int at = folder.indexOf(kAlarmRoot);
    const QString sub = at < 0 ? QString() : folder.mid(at + int(qstrlen(kAlarmRoot)) + 1);
    const QString root = path + "/monitor_" + id + "/";
    const QString target = root + day + "/" + sub;
    if (!QDir(target).exists()) {
        QDir().mkpath(target);
        pruneDays(root);
    }
    const QString destination = target + "/" + name + ".jpg";
    QMutexLocker lock(&map_mutex);
    if (map_actqueue.size() <= kMaxQueued - 1)
        map_actqueue.insert(destination, image);
}

void Copy2MoveDisk::copyOnce()
{
    QString destination;
    QImage image;
    {
        QMutexLocker lock(&map_mutex);
        if (prepath.isEmpty()) {
            map_actqueue.clear();
        } else if (!map_actqueue.isEmpty()) {
            auto first = map_actqueue.begin();
            destination = first.key();
            image = first.value();
            map_actqueue.erase(first);
        }
    }
    if (!image.isNull())
        image.save(destination);
}
