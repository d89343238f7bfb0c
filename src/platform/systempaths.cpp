// System path mapping onto a configurable root folder.
#include "systempaths.h"

#include <QDir>
#include <QFile>
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

QString SystemPaths::configuredSerialDevice()
{
    QMutexLocker lock(&gPathMutex);
    return gSerialDevice;
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

namespace {

// /proc/mounts escapes blanks and a few other characters as octal.
QString UnescapeMountField(const QString& field)
{
    if (!field.contains('\\'))
        return field;
    QString out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

}  // namespace

bool ReadMountTable(QVector<QPair<QString, QString>>& out)
{
    QFile f(SysPath(QStringLiteral("/proc/mounts")));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    out.clear();
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() >= 2)
            out.append({UnescapeMountField(fields[0]), UnescapeMountField(fields[1])});
    }
    return true;
}

bool IsMountPoint(const QString& mountPoint)
{
    QVector<QPair<QString, QString>> table;
    if (!ReadMountTable(table))
        return false;
    for (const auto& entry : table) {
        if (entry.second == mountPoint)
            return true;
    }
    return false;
}
