// Shared test set-up implementation.
#include "testsupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

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
#include "platformconfig.h"
#include "platformexit.h"
#include "platformscreen.h"
#include "systempaths.h"

namespace {
QTemporaryDir* gTempDir = nullptr;
QMutex gRefusedMutex;
QStringList gRefusedListens;

// The fixed ports of the panel and of the demo (VNC, API, peer, Modbus): a test on one of them
// would meet a running program, or keep it from starting.
const int kFixedPorts[] = {
    NetPorts::kApiDefault, NetPorts::kPeerDefault, NetPorts::kModbusDefault, 5900, 18100, 18431, 18502};

// Whether a test may bind this address: only loopback and a port that is not a fixed one.
// Other families (local sockets) are not network listens.
bool mayBind(const sockaddr* addr, socklen_t len, QString* where)
{
    if (!addr)
        return true;
    char text[INET6_ADDRSTRLEN] = {};
    int port = 0;
    bool loopback = false;
    if (addr->sa_family == AF_INET && len >= socklen_t(sizeof(sockaddr_in))) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
        loopback = (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    } else if (addr->sa_family == AF_INET6 && len >= socklen_t(sizeof(sockaddr_in6))) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
        const unsigned char* b = in6->sin6_addr.s6_addr;
        loopback = IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr) || (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && b[12] == 127);
    } else {
        return true;
    }
    *where = QStringLiteral("%1:%2").arg(QString::fromLatin1(text)).arg(port);
    return loopback && std::find(std::begin(kFixedPorts), std::end(kFixedPorts), port) == std::end(kFixedPorts);
}

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

// Every bind of a test process comes here before the C library's: the executable's own
// definition goes first, also for the Qt and HTTP libraries. A listen that no test may make
// is refused (nothing listens there) and kept for the end of the process, which then fails.
extern "C" int bind(int fd, const struct sockaddr* addr, socklen_t len)
{
    using BindFn = int (*)(int, const struct sockaddr*, socklen_t);
    static const auto realBind = reinterpret_cast<BindFn>(dlsym(RTLD_NEXT, "bind"));
    QString where;
    if (!mayBind(addr, len, &where)) {
        {
            QMutexLocker lock(&gRefusedMutex);
            gRefusedListens << where;
        }
        std::fprintf(stderr, "test support: refused to listen on %s (tests listen on 127.0.0.1 at free ports)\n",
                     qPrintable(where));
        errno = EACCES;
        return -1;
    }
    return realBind(fd, addr, len);
}

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

void setLoopbackPorts()
{
    NetPorts& ports = NetPorts::current();
    ports.listen = QStringLiteral("127.0.0.1");
    ports.api = 0;
    ports.modbus = 0;
    // The peer is only connected to: a port free now has nobody behind it.
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in in = {};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof in;
    if (probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&in), len) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&in), &len) == 0)
        ports.peer = ntohs(in.sin_port);
    if (probe >= 0)
        ::close(probe);
}

QStringList takeRefusedListens()
{
    QMutexLocker lock(&gRefusedMutex);
    const QStringList refused = gRefusedListens;
    gRefusedListens.clear();
    return refused;
}

void initTestProcess()
{
    installRecordMode();
    setLoopbackPorts();
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

bool finishTestProcess()
{
    // QtTest puts back the handler it found (the capture), whose previous handler is QtTest's
    // own: that one asserts once QtTest has stopped, so the default handler takes over.
    gPreviousHandler = nullptr;
    qInstallMessageHandler(nullptr);
    const QStringList refused = takeRefusedListens();
    if (!refused.isEmpty())
        std::fprintf(stderr, "FAIL: the test tried to listen on %s\n", qPrintable(refused.join(", ")));
    return refused.isEmpty();
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
