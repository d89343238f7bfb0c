// The demo knob of the simulated cameras: commands read from simcamera.in in the working folder.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Each write of the file (`echo 'defect 1 on' > simcamera.in`) is read once, as a whole;
// its lines are handed out once. Commands, camera numbers from 1:
//   defect N on [X Y R]   a left-over part (dark blob, radius R pixels) at X, Y of camera N
//   defect N off          the part is gone
//   lose N                camera N stops delivering and reports itself lost
class SimCameraKnob
{
public:
    static const char* const kFileName;

    explicit SimCameraKnob(const QString& path);
    // Lines of a new write since the last call; empty when the file has not changed.
    QStringList poll();

    struct Command
    {
        enum Kind { None, DefectOn, DefectOff, Lose };
        Kind kind = None;
        int camera = 0;  // 1-based
        int x = -1;      // -1: the picture's centre
        int y = -1;
        int radius = 0;  // 0: the camera's configured radius
    };
    // None for a line that is no command (unknown words are ignored with a warning).
    static Command parse(const QString& line);

private:
    QString path;
    QDateTime lastModified;
    qint64 lastSize = -1;
};
