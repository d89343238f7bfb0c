// paint-assets: writes every picture the monitor loads from images/ into the folder given.
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "pictures.h"

int main(int argc, char** argv)
{
    // Painting needs no screen; the offscreen platform keeps the tool runnable on a build host.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without one Qt makes (and leaves behind) a runtime folder of its own in the temp folder
    // of the build host; a private temporary one goes with the tool.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: paint-assets <output folder>\n");
        return 2;
    }
    const QString dir = args.at(1);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "paint-assets: cannot create %s\n", qPrintable(dir));
        return 1;
    }
    // The help pages sit beside images/, where the program looks for ./help and ./help-en.
    const QStringList failed = WritePictures(dir) + WriteHelpPages(QDir(dir).filePath(QStringLiteral("..")));
    for (const QString& file : failed) std::fprintf(stderr, "paint-assets: cannot write %s\n", qPrintable(file));
    return failed.isEmpty() ? 0 : 1;
}
