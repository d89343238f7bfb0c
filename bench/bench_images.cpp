// Failure pictures: what a hand-off costs the GUI thread while the writer works, and what the
// writer spends per 1280 x 1024 JPEG (slot copy, pruning, encoding, writing).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QMutexLocker>
#include <QTemporaryDir>

#include "cammerwidget.h"
#include "commandrunner.h"
#include "globals.h"
#include "mainstate.h"
#include "platformclock.h"
#include "savefialimagethread.h"
#include "simscene.h"

namespace {

constexpr int kW = 1280;
constexpr int kH = 1024;
constexpr int kPictures = 40;
constexpr int kHandOffs = 20000;

using Clock = std::chrono::steady_clock;

double Us(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv)
{
    CommandRunner::setMode(CommandRunner::Record);
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    CreateGlobalMutexes();
    MainState state;
    numCamera = 1;
    gDNum = 1;
    gPicNumNG = 20;
    gPicNumOK = 20;
    state.failDirs[0][0][0] = QDir("./alarmimage//camera1//detect1//NG");
    state.failDirs[0][0][1] = QDir("./alarmimage//camera1//detect1//OK");
    QDir().mkpath("alarmimage/camera1/detect1/NG");
    QDir().mkpath("alarmimage/camera1/detect1/OK");

    SimSceneOptions options;
    options.width = kW;
    options.height = kH;
    options.color = true;
    options.noise = 4;
    const QImage scene = SimScene::renderImage(options).convertToFormat(QImage::Format_RGB32);
    for (int k = 0; k < 2; ++k) {
        gpFailImage[k] = new unsigned char[size_t(kW) * kH * 4];
        std::memcpy(gpFailImage[k], scene.constBits(), size_t(kW) * kH * 4);
    }
    PlatformClock::setSleepHook([](int) {});
    SaveFialImageThread::pictureHandOff = [](int, int, bool, const QString&) {};
    SaveFialImageThread writer;
    writer.setImageSize(0, QSize(kW, kH));

    // The writer alone: one NG picture per pass.
    std::vector<double> writeUs;
    for (int i = 0; i < kPictures; ++i) {
        {
            QMutexLocker lock(pMutexSaveFail);
            gisSaveFail[0] = true;
        }
        const auto t0 = Clock::now();
        writer.pass();
        writeUs.push_back(Us(Clock::now() - t0));
    }
    const qint64 fileBytes = QFileInfo(QDir("alarmimage/camera1/detect1/NG").entryInfoList({"*.jpg"}).value(0)).size();
    std::printf("writer per %dx%d JPEG: median %.1f ms, 90%% %.1f ms (file %lld KiB)\n", kW, kH,
                Percentile(writeUs, 0.5) / 1000, Percentile(writeUs, 0.9) / 1000, fileBytes / 1024);

    // The GUI thread's hand-off (the flag raised under the slot mutex) while the writer copies
    // slots out as fast as it can.
    std::atomic<bool> done{false};
    std::thread busy([&] {
        while (!done) writer.pass();
    });
    std::vector<double> handUs;
    handUs.reserve(kHandOffs);
    for (int i = 0; i < kHandOffs; ++i) {
        const auto t0 = Clock::now();
        {
            QMutexLocker lock(pMutexSaveFail);
            gisSaveFail[i & 1] = true;
        }
        handUs.push_back(Us(Clock::now() - t0));
        if ((i & 255) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
    busy.join();
    std::printf("GUI hand-off while the writer runs: median %.2f us, 99%% %.1f us, worst %.1f us (%d hand-offs)\n",
                Percentile(handUs, 0.5), Percentile(handUs, 0.99), *std::max_element(handUs.begin(), handUs.end()),
                kHandOffs);
    PlatformClock::setSleepHook({});
    return 0;
}
