// Reading and parsing of the simulated cameras' command file.
#include "simcameraknob.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

const char* const SimCameraKnob::kFileName = "simcamera.in";

SimCameraKnob::SimCameraKnob(const QString& p) : path(p)
{
    // What the file holds when the camera starts is old news.
    const QFileInfo info(path);
    if (info.exists()) {
        lastModified = info.lastModified();
        lastSize = info.size();
    }
}

QStringList SimCameraKnob::poll()
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.lastModified() == lastModified && info.size() == lastSize)
        return {};
    lastModified = info.lastModified();
    lastSize = info.size();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty())
            lines << text;
    }
    return lines;
}

SimCameraKnob::Command SimCameraKnob::parse(const QString& line)
{
    Command c;
    const QStringList w = line.simplified().split(' ');
    bool ok = w.size() >= 2;
    if (ok)
        c.camera = w[1].toInt(&ok);
    if (ok && w[0] == "lose" && w.size() == 2) {
        c.kind = Command::Lose;
    } else if (ok && w[0] == "defect" && w.size() == 3 && w[2] == "off") {
        c.kind = Command::DefectOff;
    } else if (ok && w[0] == "defect" && (w.size() == 3 || w.size() == 6) && w[2] == "on") {
        c.kind = Command::DefectOn;
        if (w.size() == 6) {
            bool a = false, b = false, r = false;
            c.x = w[3].toInt(&a);
            c.y = w[4].toInt(&b);
            c.radius = w[5].toInt(&r);
            if (!a || !b || !r || c.radius < 1)
                c.kind = Command::None;
        }
    }
    if (c.kind == Command::None || c.camera < 1)
        qWarning().noquote() << "simcamera: ignored command" << line;
    return c.camera < 1 ? Command() : c;
}
