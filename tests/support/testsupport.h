// Shared test set-up: record-mode commands, a private working folder, the panel's screen size.
#pragma once

#include <QApplication>
#include <QString>
#include <QtTest>

namespace TestSupport {

// Puts the command runner in record mode. Must run before anything else in a test.
void installRecordMode();
// Makes a temporary folder the working directory (and <it>/sysroot the system-path
// root) for the rest of the process; returns the folder. It is removed at exit; the folders
// of earlier test processes that were killed before their exit are removed first.
QString enterTempWorkDir();
QString workDir();
QString sysRoot();
// Writes a file under the system-path root, making its folders ("/proc/cpuinfo" -> ...).
void writeSysFile(const QString& absolutePath, const QByteArray& content);
// The panel's screen: 1920 x 1080.
void setPanelScreen();
// The network services listen on 127.0.0.1 at free ports and look for the companion peer at
// a free one: a test never takes the panel's ports nor another interface.
void setLoopbackPorts();
// Listening sockets the test process was kept from binding (another address than loopback,
// or a fixed port of the panel or the demo), as "address:port"; taking them clears the list.
// Any left at the end fails the test process.
QStringList takeRefusedListens();
// Everything above, in that order; called by MONITOR_TEST_MAIN before QApplication exists.
void initTestProcess();
// After QTest::qExec: messages of the shutdown go to the default handler. False when the
// process tried to listen where no test may (see takeRefusedListens).
bool finishTestProcess();
// Text of every log line written through Qt's message functions since the last clear.
// Call clearCapturedMessages() at the start of a test function: QtTest replaces message
// handlers when it starts running tests, and the clear puts the capture back on top (also on
// top of a handler the code under test installed, such as the log manager's, which still
// receives every message).
QStringList capturedMessages();
void clearCapturedMessages();

// Whether a pixel inside `area` of the image is bright green (green above 200, red and blue
// below 80), the colour the window draws its clock and version in.
bool containsGreen(const QImage& image, const QRect& area);

// The command the start-up runs to find the platform plug-ins' folder.
inline const char* const kPluginPathProbe = "echo $QT_QPA_PLATFORM_PLUGIN_PATH";
// Ends the start-up's event loop once it runs: the splash processes events before it, so a
// plain queued quit would be spent too early.
void quitWhenLoopRuns();

}  // namespace TestSupport

// Like QTEST_MAIN, but with the platform seams installed before the application exists;
// MONITOR_TEST_MAIN_APP builds the application as the given class (the program's own).
#define MONITOR_TEST_MAIN_APP(TestObject, Application)           \
    int main(int argc, char** argv)                              \
    {                                                            \
        TestSupport::initTestProcess();                          \
        Application app(argc, argv);                             \
        app.setAttribute(Qt::AA_Use96Dpi, true);                 \
        TestSupport::setPanelScreen();                           \
        TestObject tc;                                           \
        QTEST_SET_MAIN_SOURCE_PATH                               \
        const int result = QTest::qExec(&tc, argc, argv);        \
        const bool boundWell = TestSupport::finishTestProcess(); \
        return result != 0 ? result : (boundWell ? 0 : 1);       \
    }
#define MONITOR_TEST_MAIN(TestObject) MONITOR_TEST_MAIN_APP(TestObject, QApplication)
