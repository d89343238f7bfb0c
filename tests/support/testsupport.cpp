// Shared test set-up implementation.
#include "testsupport.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "commandrunner.h"
#include "globals.h"
#include "platformclock.h"
#include "platformexit.h"
#include "platformscreen.h"
#include "systempaths.h"

namespace {
QTemporaryDir* gTempDir = nullptr;
QMutex gMessageMutex;
QStringList gMessages;
std::atomic<QtMessageHandler> gPreviousHandler{nullptr};

void captureHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg);

// QTest::qExec installs its own message handler when it starts, so the capture is
// (re)installed on top of whatever handler is current whenever a test asks for it.
void ensureCapture()
{
    const QtMessageHandler previous = qInstallMessageHandler(captureHandler);
    if (previous != captureHandler)
        gPreviousHandler = previous;
}

void captureHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    {
        QMutexLocker lock(&gMessageMutex);
        gMessages << msg;
    }
    if (const QtMessageHandler previous = gPreviousHandler.load())
        previous(type, ctx, msg);
}

// Working folders are named after the process that owns them: monitor-test-<pid>-XXXXXX.
const char* const kWorkDirPrefix = "monitor-test-";

bool processGone(qint64 pid)
{
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// A test that CTest kills at its time-out never runs its clean-up at exit: the next test
// process removes the folders whose owner is gone. A folder whose process still runs (a test
// of a parallel run) is left alone.
void removeStaleWorkDirs()
{
    const QDir temp(QDir::tempPath());
    const QString prefix = QString::fromLatin1(kWorkDirPrefix);
    const QFileInfoList dirs = temp.entryInfoList({prefix + "*"}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& dir : dirs) {
        const QStringList parts = dir.fileName().mid(prefix.size()).split('-');
        bool ok = false;
        const qint64 pid = parts.size() == 2 ? parts.first().toLongLong(&ok) : 0;
        if (!ok || pid <= 0 || pid == ::getpid() || !processGone(pid))
            continue;
        QDir(dir.absoluteFilePath()).removeRecursively();
    }
}

// The build paints the program's pictures into images/ of the runtime folder, beside the test
// executables; each test gets its own copy, as the program finds them in its working folder.
void copyRuntimePictures(const QString& workDir)
{
    const QString exeDir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
    for (const QString& base : {exeDir, QDir::currentPath()}) {
        const QDir source(base + "/images");
        if (!source.exists())
            continue;
        QDir().mkpath(workDir + "/images");
        for (const QString& name : source.entryList(QDir::Files))
            QFile::copy(source.filePath(name), workDir + "/images/" + name);
        return;
    }
}
}  // namespace

namespace TestSupport {

void installRecordMode()
{
    CommandRunner::setMode(CommandRunner::Record);
}

QString enterTempWorkDir()
{
    if (!gTempDir) {
        removeStaleWorkDirs();
        gTempDir = new QTemporaryDir(QString("%1/%2%3-XXXXXX").arg(QDir::tempPath(), kWorkDirPrefix).arg(::getpid()));
        gTempDir->setAutoRemove(true);
        // Removed when the process ends, after the test object and the application are gone
        // (their destructors may still close files in it), also when a test calls exit().
        std::atexit([] {
            delete gTempDir;
            gTempDir = nullptr;
        });
        QDir().mkpath(gTempDir->path() + "/sysroot");
        copyRuntimePictures(gTempDir->path());
        QDir::setCurrent(gTempDir->path());
        SystemPaths::setRoot(gTempDir->path() + "/sysroot");
    }
    return gTempDir->path();
}

QString workDir()
{
    return gTempDir ? gTempDir->path() : QDir::currentPath();
}

QString sysRoot()
{
    return SystemPaths::root();
}

void writeSysFile(const QString& absolutePath, const QByteArray& content)
{
    const QString path = SysPath(absolutePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
}

void quitWhenLoopRuns()
{
    QTimer::singleShot(0, qApp, [] {
        if (QThread::currentThread()->loopLevel() > 0)
            QCoreApplication::quit();
        else
            quitWhenLoopRuns();
    });
}

bool containsGreen(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80)
                return true;
        }
    return false;
}

void setPanelScreen()
{
    gShowW = 1920;
    gShowH = 1080;
    // The main window takes its size from the screen seam.
    PlatformScreen::setGeometry(QRect(0, 0, gShowW, gShowH));
}

void initTestProcess()
{
    installRecordMode();
    const QString work = enterTempWorkDir();
    // Without one Qt makes (and leaves behind) a runtime folder of its own in the temp folder.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = work + "/runtime";
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    setPanelScreen();
    // A test must never end the process behind QtTest's back.
    PlatformExit::setHandler([](int code) { qWarning("Exit(%d) called", code); });
    ensureCapture();
}

void finishTestProcess()
{
    // QtTest puts back the handler it found (the capture), whose previous handler is QtTest's
    // own: that one asserts once QtTest has stopped, so the default handler takes over.
    gPreviousHandler = nullptr;
    qInstallMessageHandler(nullptr);
}

QStringList capturedMessages()
{
    ensureCapture();
    QMutexLocker lock(&gMessageMutex);
    return gMessages;
}

void clearCapturedMessages()
{
    ensureCapture();
    QMutexLocker lock(&gMessageMutex);
    gMessages.clear();
}

}  // namespace TestSupport
