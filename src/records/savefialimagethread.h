// SaveFialImageThread: writes the judged pictures waiting in the failure-image slots as JPEG
// files under ./alarmimage and hands them on to the USB copier and the network service.
#pragma once

#include <functional>

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QSize>
#include <QString>
#include <QThread>

#include "monitorlimits.h"

class SaveFialImageThread : public QThread
{
public:
    SaveFialImageThread();
    // Ends the loop at its next pause.
    ~SaveFialImageThread() override;

    // Size of each camera's pictures (the slots hold width x height RGB32 pixels); a camera
    // without a size is not looked at.
    void setImageSize(int camera, QSize size);

    // The stop of the program: the loop ends after its pass, then one more pass on the
    // calling thread writes what was judged meanwhile. Returns when the thread has ended.
    void stop();

    // One pass over every camera and each detection whose slots wait, with the pauses; run()
    // repeats it.
    void pass();

    // Where a written picture goes besides the USB copier: camera and detection from 0,
    // whether it is the OK picture, the file's full path. Empty: the network service.
    static std::function<void(int camera, int detection, bool ok, const QString& path)> pictureHandOff;

    // Deletes the oldest "*.jpg" entries so that one more file leaves `limit` of them.
    static void prune(const QString& folder, int limit);
    // When a picture was taken: the time its name carries, else its modification time.
    static QDateTime pictureTime(const QFileInfo& entry);
    // Deletes the pictures a write left unfinished (the process ended during it) from every
    // failure-image folder; run() does it before its first pass.
    static void removeUnfinished();

protected:
    void run() override;

private:
    // The waiting pictures of one detection of camera c, on the camera's work picture.
    void saveDetection(int c, int d, QImage& work);
    // Writes one picture; the file's full path, or empty when nothing was written (`error`
    // then holds the errno of a failed write, else 0).
    static QString write(const QImage& image, const QString& folder, int limit, int failIndex, int* error);

    QSize sizes[kMaxCameras];
};

extern SaveFialImageThread* gpSaveFialImageThread;
