// demo-mould: teaches the demo's mould in a runtime folder (a defect region and template 0 of camera 1's mould step).
//
// Usage: demo-mould <runtime folder> [screen width height]
// The region is the middle half of the picture, drawn on the screen the demo runs on
// (1920 x 1080 unless given); the template is the simulated camera's clean scene as the
// folder's (or the plug-in's) simcamera.json describes camera 1. Regions already taught in
// the folder are left alone.
#include <cstdio>

#include <QCoreApplication>
#include <QDir>

#include "demomould.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: demo-mould <runtime folder> [screen width height]\n");
        return 2;
    }
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int screenW = argc == 4 ? QString(argv[2]).toInt() : 1920;
    const int screenH = argc == 4 ? QString(argv[3]).toInt() : 1080;
    QString message;
    const bool ok = DemoMould::write(dir, screenW, screenH, &message);
    std::fprintf(ok ? stdout : stderr, "demo-mould: %s\n", qPrintable(message));
    return ok ? 0 : 1;
}
