// Refusals before the start: an untrusted platform file, a second monitor.
#include "startupguard.h"

#include <unistd.h>

#include <cstdio>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>

#include "instancelock.h"
#include "logmanager.h"
#include "platformclock.h"
#include "platformconfig.h"
#include "platformexit.h"
#include "systempaths.h"

namespace {

// Named like the log file of a run's errors, so the next start archives it with the others,
// marked as a run that ended in an error.
const char* const kRefusalLogName = "ERROR_%1.%2.log";
const char* const kStampFormat = "yyyyMMdd-hhmmss";
const char* const kLineTimeFormat = "yyyyMMdd hh:mm:ss.zzz";

}  // namespace

int RefuseStart(const QString& why, int exitCode)
{
    const QString text = QStringLiteral("monitor not started: %1").arg(why);
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    if (LogManager::__instance) {
        qCritical().noquote() << text;
        return exitCode;
    }
    const QDateTime now = PlatformClock::now();
    QDir().mkpath(QString::fromLatin1(kLogDir));
    QFile log(
        QString::fromLatin1(kLogDir) +
        QString::fromLatin1(kRefusalLogName).arg(now.toString(QString::fromLatin1(kStampFormat))).arg(::getpid()));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(QStringLiteral("E%1 %2 startupguard.cpp] %3\n")
                      .arg(now.toString(QString::fromLatin1(kLineTimeFormat)))
                      .arg(::getpid())
                      .arg(text)
                      .toUtf8());
    return exitCode;
}

int ClaimPlatform()
{
    QString why;
    // A typo in the file must not leave the commands real on a development machine.
    if (PlatformConfig::load(QStringLiteral("platform.json"), &why) == PlatformConfig::Refused)
        return RefuseStart(why, kExitPlatformFile);
    // Two monitors on one board fight over its outputs and write the same databases. On the
    // panel the board's device follows a stored parameter; the board link locks it there.
    const QString device = SystemPaths::configuredSerialDevice();
    if (!InstanceLock::holdWorkFolder(&why) || (!device.isEmpty() && !InstanceLock::holdSerialDevice(device, &why)))
        return RefuseStart(why, kExitAnotherMonitor);
    return 0;
}
