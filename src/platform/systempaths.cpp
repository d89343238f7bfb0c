// System path mapping onto a configurable root folder.
#include "systempaths.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex gPathMutex;
QString gRoot;
QString gSerialDevice;
}  // namespace

void SystemPaths::setRoot(const QString& root)
{
    QMutexLocker lock(&gPathMutex);
    gRoot = root.isEmpty() ? QString() : QDir(root).absolutePath();
    if (gRoot == "/")
        gRoot.clear();
}

QString SystemPaths::root()
{
    QMutexLocker lock(&gPathMutex);
    return gRoot;
}

QString SystemPaths::map(const QString& absolutePath)
{
    if (!absolutePath.startsWith('/'))
        return absolutePath;
    QMutexLocker lock(&gPathMutex);
    if (gRoot.isEmpty())
        return absolutePath;
    return gRoot + absolutePath;
}

void SystemPaths::setSerialDevice(const QString& path)
{
    QMutexLocker lock(&gPathMutex);
    gSerialDevice = path;
}

QString SystemPaths::serialDevice(int port)
{
    {
        QMutexLocker lock(&gPathMutex);
        if (!gSerialDevice.isEmpty())
            return gSerialDevice;
    }
    return map(QString("/dev/ttyS%1").arg(port));
}
