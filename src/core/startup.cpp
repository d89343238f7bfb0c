// Start-up sequence: process-wide state, splash, logging, texts, main window, event loop.
#include "startup.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QTextCodec>

#include "commandrunner.h"
#include "devices.h"
#include "globals.h"
#include "platformconfig.h"
#include "systempaths.h"

namespace {

QString ReadProcVersion()
{
    QFile file(SysPath("/proc/version"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray data = file.readAll();
    const int nul = data.indexOf('\0');
    return QString::fromUtf8(nul >= 0 ? data.left(nul) : data);
}

}  // namespace

int StartUp(int argc, char** argv)
{
    // Off the panel this decides whether commands run and where system files are.
    PlatformConfig::load();

    linux_kernel_proc_version = ReadProcVersion();
    Devices::requestIoPrivilege(3);
    gfLED = Devices::openLed();

    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        app = new QApplication(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    qInfo() << "***********************" << "application" << kAppVersion << "***********************";
    CreateGlobalMutexes();
    LoadGlobalPixmaps();
    gAppDirPath = QCoreApplication::applicationDirPath();

    return app->exec();
}
