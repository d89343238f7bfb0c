// Start-up's helpers: the USB data partition search (FindAU) and the version file (writeVersionToJson).
#include "startupfiles.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include "commandrunner.h"
#include "configfile.h"
#include "globals.h"
#include "systempaths.h"

namespace {

const char* const kMountPoint = "/mnt";
const char* const kMountTable = "/proc/mounts";
constexpr int kCommandWaitMs = 1000;

// Data partitions a stick may carry; ext4 marks the system disk.
const char* const kSystemType = "TYPE=\"ext4\"";
const char* const kDataTypes[] = {"TYPE=\"vfat\"", "TYPE=\"ntfs\"", "TYPE=\"exfat\""};

CommandResult bashLine(const QString& line)
{
    return CommandRunner::run("bash", {"-c", line}, kCommandWaitMs, true);
}

bool readMountTable(QString& table)
{
    QFile file(SysPath(kMountTable));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    table = QString::fromLocal8Bit(file.readAll());
    return true;
}

bool isDataPartition(const QString& line)
{
    for (const char* type : kDataTypes) {
        if (line.contains(QLatin1String(type)))
            return true;
    }
    return false;
}

QString deviceOf(const QString& line)
{
    return line.section(':', 0, 0);
}

}  // namespace

QString FindAU()
{
    qInfo() << "findAU";
    const QString listing = QString::fromLocal8Bit(bashLine("blkid").output);
    if (listing.isEmpty())
        return QString();

    // Only a partition listed after the system disk is known can be told apart from it.
    QString systemDisk;
    QStringList candidates;
    for (const QString& line : listing.split('\n', Qt::SkipEmptyParts)) {
        if (line.contains(QLatin1String(kSystemType))) {
            QString disk = deviceOf(line);
            while (!disk.isEmpty() && disk.back().isDigit()) disk.chop(1);
            systemDisk = disk;
        } else if (isDataPartition(line)) {
            const QString device = deviceOf(line);
            if (!systemDisk.isEmpty() && !device.contains(systemDisk))
                candidates << device;
        }
    }
    if (candidates.isEmpty())
        return QString();
    const QString device = candidates.first();
    qInfo() << "FindAU"
            << "pickdev" << device;

    QString table;
    if (!readMountTable(table))
        return QString();
    const QString mountPoint = QString::fromLatin1(kMountPoint);
    int mounted = 0;
    for (const QString& line : table.split('\n', Qt::SkipEmptyParts)) {
        if (line.contains(mountPoint))
            ++mounted;
    }
    for (int i = 0; i < mounted; ++i) bashLine(QString("umount %1").arg(mountPoint));
    bashLine(QString("mount %1 %2").arg(device, mountPoint));

    if (!readMountTable(table))
        return QString();
    return table.contains(device + ' ' + mountPoint) ? mountPoint : QString();
}

void writeVersionToJson()
{
    const QString path = QString::fromLatin1(kNetConfigFile);
    QJsonObject config;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        file.close();
        // An empty file holds no keys yet: it gets the two written here.
        if (!text.trimmed().isEmpty()) {
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
            // The network settings live in this file too: one that does not parse is kept as
            // it is for someone to repair, rather than replaced by the two keys written here.
            if (error.error != QJsonParseError::NoError || !doc.isObject()) {
                qWarning().noquote() << path << "is not a JSON object (" << error.errorString()
                                     << "); version and camera count not written";
                return;
            }
            config = doc.object();
        }
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    config.insert("version", QString::fromLatin1(kAppVersion));
    config.insert("camcount", numCamera);
    file.write(QJsonDocument(config).toJson(QJsonDocument::Indented));
}
