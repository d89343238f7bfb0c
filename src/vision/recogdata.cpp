// Buffers of the camera view that the recogniser works on.
#include "recogdata.h"

#include <cstdlib>

#include <QDebug>

// calloc hands out fresh pages from the system already zeroed and untouched, so a picture
// buffer costs memory only once something is written into it: eight colour cameras hold
// gigabytes of recent-NG and template slots that mostly stay empty.
unsigned char* ZeroedBuffer(size_t bytes)
{
    return static_cast<unsigned char*>(std::calloc(bytes, 1));
}

void FreeBuffer(unsigned char* buffer)
{
    std::free(buffer);
}

CammerRecogData::~CammerRecogData()
{
    for (unsigned char* p : {rawImage, workImage, alignedImage, grayImage, displayMask}) FreeBuffer(p);
    for (int d = 0; d < kMaxDetections; ++d) {
        FreeBuffer(ignoreMask[d]);
        for (int k = 0; k < templateSlots[d]; ++k) FreeBuffer(templates[d][k]);
        delete[] templates[d];
        delete[] templateValid[d];
    }
}

void CammerRecogData::AllocImages(int width, int height, bool color)
{
    if (rawImage) {
        qWarning() << "camera" << cameraIndex << "picture buffers exist already; sizes stay" << imageWidth << "x"
                   << imageHeight;
        return;
    }
    imageWidth = width;
    imageHeight = height;
    imagePixels = width * height;
    isColor = color;
    imageBytes = color ? imagePixels * 4 : imagePixels;
    rawImage = ZeroedBuffer(imageBytes);
    workImage = ZeroedBuffer(imageBytes);
    alignedImage = ZeroedBuffer(imageBytes);
    if (color)
        grayImage = ZeroedBuffer(imagePixels);
    displayMask = ZeroedBuffer(imagePixels);
    for (unsigned char*& mask : ignoreMask) mask = ZeroedBuffer(imagePixels);
}

void CammerRecogData::AllocTemplates(int det, int count)
{
    if (det < 0 || det >= kMaxDetections || count < 0 || imageBytes == 0 || templates[det])
        return;
    templates[det] = new unsigned char*[count];
    for (int k = 0; k < count; ++k) templates[det][k] = ZeroedBuffer(imageBytes);
    templateValid[det] = new int[count]();
    templateSlots[det] = count;
    templateCount[det] = 0;
}

cv::Mat CammerRecogData::GrayMat(unsigned char* buffer) const
{
    if (!buffer || imagePixels == 0)
        return cv::Mat();
    return cv::Mat(imageHeight, imageWidth, CV_8UC1, buffer);
}

cv::Mat CammerRecogData::ColorMat(unsigned char* buffer) const
{
    if (!buffer || !isColor || imagePixels == 0)
        return cv::Mat();
    return cv::Mat(imageHeight, imageWidth, CV_8UC4, buffer);
}
