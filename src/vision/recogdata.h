// CammerRecogData: the camera view's picture buffers and result fields that the recogniser works on.
#pragma once

#include <opencv2/core.hpp>

#include "viewgeometry.h"

class CammerSingleton;

// Zeroed picture buffer that occupies memory only where it is written; release with FreeBuffer.
unsigned char* ZeroedBuffer(size_t bytes);
void FreeBuffer(unsigned char* buffer);

constexpr int kMaxRoiBoxes = 100;  // element 0 holds the count, 1..99 the boxes

// The camera view inherits this; the recogniser reaches the view only through it, so that
// recognition runs and is tested without widgets or cameras. Buffers are allocated once at
// the camera's size by the Alloc functions and released with the object.
struct CammerRecogData : ViewGeometry
{
    CammerRecogData() = default;
    virtual ~CammerRecogData();
    CammerRecogData(const CammerRecogData&) = delete;
    CammerRecogData& operator=(const CammerRecogData&) = delete;

    // Sizes, then rawImage, workImage, alignedImage, displayMask, the 8 ignore masks (zeroed)
    // and, for colour, grayImage. A second call does nothing.
    void AllocImages(int width, int height, bool color);
    // count zeroed template buffers of imageBytes for detection det, none of them valid.
    void AllocTemplates(int det, int count);
    // Called after a parameter preview changed displayMask; the view repaints.
    virtual void RecogRepaint() {}

    int cameraIndex = 0;
    bool isColor = false;  // the buffers hold 32-bit pixels
    int imageWidth = 0;
    int imageHeight = 0;
    int imagePixels = 0;
    int imageBytes = 0;

    CammerSingleton* storeA = nullptr;  // working store (the recogniser's)
    CammerSingleton* storeB = nullptr;  // edit store (the parameter preview's)
    cv::Mat editMasks[kMaxDetections][kMaxRegions];

    unsigned char* rawImage = nullptr;               // grabbed frame
    unsigned char* workImage = nullptr;              // after perspective correction
    unsigned char* alignedImage = nullptr;           // after position correction: what is judged
    unsigned char* grayImage = nullptr;              // colour only: grey or hue of a colour frame
    unsigned char* displayMask = nullptr;            // 255 on the blobs shown over the picture
    unsigned char* ignoreMask[kMaxDetections] = {};  // 255 at ignored pixels

    unsigned char** templates[kMaxDetections] = {};  // templateSlots[d] buffers of imageBytes
    int* templateValid[kMaxDetections] = {};
    int templateSlots[kMaxDetections] = {};
    int templateCount[kMaxDetections] = {};
    int curTempIndex = 0;

    bool roiOk[kMaxDetections][kMaxRegions] = {};
    bool cameraOk = true;
    int roiValue[kMaxDetections][kMaxRegions] = {};
    // Per region: [0][0] the number of boxes n, [1..n] left, top, right, bottom (exclusive).
    int roiBoxes[kMaxDetections][kMaxRegions][kMaxRoiBoxes][4] = {};
    bool showTestMask = false;

    // 8-bit headers over the buffers (no copies); empty while a buffer is missing.
    cv::Mat GrayMat(unsigned char* buffer) const;
    cv::Mat ColorMat(unsigned char* buffer) const;
};
