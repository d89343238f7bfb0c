// CammerWidget pictures: template and ignore-point files, the re-train picture, the failure-image slots.
#include "cammerwidget.h"

#include <algorithm>
#include <cstring>

#include <QDebug>
#include <QDir>
#include <QFont>
#include <QMutexLocker>
#include <QPainter>

#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "miscfunc.h"
#include "textids.h"
#include "wizardpara.h"

namespace {
const char* const kFontFamily = "wqy-microhei";
constexpr int kVerdictFontPx = 26;
constexpr int kLabelFontPx = 16;
const QPoint kVerdictPos(5, 80);
const QPoint kDoorTextPos(5, 110);
const QPoint kClearStampPos(55, 80);
constexpr int kLabelWidth = 400;
constexpr int kLabelRise = 26;  // the label sits in the 25 px band ending 2 px above its anchor
constexpr int kLabelGap = 2;
constexpr int kShortLabelsAbove = 10;  // with more regions a label carries only number and value

constexpr int kNoText = -1;

// How the operator cleared an alarm, stamped on its stored picture; a stamped state
// (9, 10) is not stamped again.
struct ClearStamp
{
    int state;
    int first;  // text entries, kNoText for none
    int second;
    int next;  // the detection state afterwards
};
const ClearStamp kClearStamps[] = {
    {4, 120, 47, 9},        // "Alarm clear method:" "Don't Detect"
    {5, 120, 48, 9},        // "Add As Temp"
    {6, 120, 338, 9},       // "Re-detect switch to mold detection"
    {7, 120, 61, 8},        // "Re-detected"
    {8, 143, kNoText, 10},  // "OK Image Re-detect"
};

// Slot indices exist for 8 cameras x 8 detections x NG/OK.
bool HasFailSlot(int camera, int detection, int k)
{
    return camera >= 0 && camera < kMaxCameras && detection >= 0 && detection < kMaxDetections && (k == 0 || k == 1);
}

int FailSlot(int camera, int detection, int k)
{
    return (camera * kMaxDetections + detection) * 2 + k;
}

QVector<QRgb> GrayTable()
{
    if (gpState && gpState->grayTable && gpState->grayTable->size() == 256)
        return *gpState->grayTable;
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(i, i, i));
    return table;
}

// Rows of exactly `rowBytes` from a picture whose rows Qt pads to 4 bytes.
void CopyRows(const QImage& picture, unsigned char* dst, int rowBytes)
{
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(dst + size_t(y) * size_t(rowBytes), picture.constScanLine(y), size_t(rowBytes));
}

QString RoiLimitText(const CammerSingleton& s, int d, int i, const WizardPara& p)
{
    const int p1 = s.para1[d][i];
    const int p2 = s.para2[d][i];
    switch (s.func[d][i]) {
        case kFuncDefect:
            return p.showAllParams ? QString::number(p2) : QString::number(p.filterArea);
        case kFuncSimilarity:
            return QString::number(p1);
        case kFuncSpot:
            return QString("%1--%2").arg(p1).arg(p2);
        case kFuncWhiteNumber:
        case kFuncBlackNumber:
            return QString("%1--%2").arg(p2 & 0xFFFF).arg(int((unsigned(p2) >> 16) & 0xFFFF));
        case kFuncColorSpot:
            return QString("%1, %2").arg(p.colorMinArea).arg(p.colorMaxArea);
        default:
            return QString::number(p2);
    }
}
}  // namespace

QString CammerWidget::DetectionDir(int detection) const
{
    const QString dir = QString("./cammer%1%2").arg(cameraIndex + 1).arg(detection + 1);
    if (!QDir(dir).exists() && !QDir().mkpath(dir))
        qWarning().noquote() << "cannot create the folder" << dir;
    return dir;
}

QImage CammerWidget::PictureImage(unsigned char* buffer) const
{
    return isColor ? PackedRowsImage(buffer, imageWidth, imageHeight, 4)
                   : PackedRowsImage(buffer, imageWidth, imageHeight, 1, GrayTable());
}

void CammerWidget::ExpandToDisplay(const unsigned char* picture)
{
    if (isColor)
        std::memcpy(displayRgb, picture, size_t(imageBytes));
    else
        Gray2RGBA(const_cast<unsigned char*>(picture), reinterpret_cast<int*>(displayRgb), imageWidth, imageHeight);
}

// ---- templates ----

void CammerWidget::LoadTemplate(int detection)
{
    // Template 0 always exists, whatever the template count says.
    AllocTemplates(detection, std::max(gTempNum, 1));
    if (!templates[detection])
        return;
    const int bytesPerPixel = isColor ? 4 : 1;
    const QString dir = DetectionDir(detection);
    for (int k = 0; k < templateSlots[detection]; ++k) {
        const QImage picture(QString("%1/template%2.bmp").arg(dir).arg(k));
        const bool fits = !picture.isNull() && picture.width() == imageWidth && picture.height() == imageHeight &&
                          picture.depth() == bytesPerPixel * 8;
        // A slot never filled is still the untouched zero buffer: clearing it would only make
        // the system hand it real memory.
        const bool written = templateValid[detection][k] != 0;
        templateValid[detection][k] = fits ? 1 : 0;
        if (fits) {
            ++templateCount[detection];
            CopyRows(picture, templates[detection][k], imageWidth * bytesPerPixel);
        } else if (written) {
            std::memset(templates[detection][k], 0, size_t(imageBytes));
        }
    }
    if (templateValid[detection][0])
        return;
    // No re-train picture yet: a white middle half on black.
    templateValid[detection][0] = 1;
    ++templateCount[detection];
    const int q = imageWidth / 4;
    const int r = imageHeight / 4;
    unsigned char* t = templates[detection][0];
    for (int y = r; y <= 3 * r && y < imageHeight; ++y) {
        const int from = y * imageWidth + q;
        const int to = y * imageWidth + std::min(3 * q, imageWidth - 1);
        std::memset(t + size_t(from) * bytesPerPixel, 255, size_t(to - from + 1) * bytesPerPixel);
    }
}

void CammerWidget::SaveReTrainImage(int detection)
{
    if (detection < 0 || detection >= kMaxDetections || !templates[detection] || !rawImage)
        return;
    std::memcpy(alignedImage, rawImage, size_t(imageBytes));
    std::memcpy(curImage, alignedImage, size_t(imageBytes));
    std::memcpy(templates[detection][0], alignedImage, size_t(imageBytes));
    const QString file = DetectionDir(detection) + "/template0.bmp";
    if (!PictureImage(templates[detection][0]).save(file))
        qWarning().noquote() << "cannot write the re-train picture" << file;
}

// ---- ignore points ----

void CammerWidget::LoadIgnorePoint()
{
    const int nd = PreparedDetections();
    for (int d = 0; d < nd; ++d) {
        if (!ignoreMask[d])
            continue;
        QImage picture(DetectionDir(d) + "/ignorepoint.bmp");
        if (picture.isNull() || picture.width() != imageWidth || picture.height() != imageHeight) {
            std::memset(ignoreMask[d], 0, size_t(imagePixels));
            continue;
        }
        // Masks are written 8-bit; a file of another depth is read by its grey values.
        if (picture.format() != QImage::Format_Indexed8 && picture.format() != QImage::Format_Grayscale8)
            picture = picture.convertToFormat(QImage::Format_Grayscale8);
        CopyRows(picture, ignoreMask[d], imageWidth);
    }
}

void CammerWidget::SaveIgnorePoint(int detection)
{
    if (detection < 0 || detection >= kMaxDetections || !ignoreMask[detection])
        return;
    const QImage mask = PackedRowsImage(ignoreMask[detection], imageWidth, imageHeight, 1, GrayTable());
    const QString file = DetectionDir(detection) + "/ignorepoint.bmp";
    if (!mask.save(file))
        qWarning().noquote() << "cannot write the ignore points" << file;
}

// ---- failure pictures ----

void RaiseFailImage(int slot)
{
    if (slot < 0 || slot >= kFailSlotCount)
        return;
    QMutexLocker lock(pMutexSaveFail);
    gisSaveFail[slot] = true;
    gFailImageJob[slot] = {gDNum, gPicNumNG, gPicNumOK};
}

// Rendering happens on displayRgb outside the lock; the lock covers only the slot copies
// and gFailIndex.
void CammerWidget::SaveFailImage(int detection, int k)
{
    if (!HasFailSlot(cameraIndex, detection, k) || !alignedImage || !storeA)
        return;
    const int d = detection;
    const WizardPara& p = LivePara();
    ExpandToDisplay(alignedImage);
    QImage picture(displayRgb, imageWidth, imageHeight, imageWidth * 4, QImage::Format_RGB32);
    {
        QPainter painter(&picture);
        QFont font(kFontFamily);
        font.setPixelSize(kVerdictFontPx);
        painter.setFont(font);
        painter.setPen(k != 0 ? Qt::green : Qt::red);
        painter.drawText(kVerdictPos, k != 0 ? "OK" : "NG");
        if (gpState && gpState->doorTriggered)
            painter.drawText(kDoorTextPos, LanStr(kTextDoorTrigger));
        font.setPixelSize(kLabelFontPx);
        painter.setFont(font);

        const CammerSingleton& s = *storeA;
        const int n = std::clamp(s.roiNum[d], 0, kMaxRegions);
        QPoint anchor = kVerdictPos;
        for (int j = 1; j <= n; ++j) {
            const int i = j - 1;
            const bool passed = roiOk[d][i];
            painter.setPen(passed ? Qt::green : Qt::red);
            if (!passed) {
                {
                    QMutexLocker lock(pMutexSaveFail);
                    int& first = gFailIndex[cameraIndex * kMaxDetections + d];
                    if (first == 0)
                        first = j;
                }
                const int boxes = std::clamp(roiBoxes[d][i][0][0], 0, kMaxRoiBoxes - 1);
                for (int b = 1; b <= boxes; ++b) {
                    const int* box = roiBoxes[d][i][b];
                    painter.drawRect(QRect(QPoint(box[0], box[1]), QPoint(box[2] - 1, box[3] - 1)));
                }
            }
            // In image coordinates; a circle draws itself in display units.
            VisitShape(s, d, i,
                       ShapeCases{[&](const RePolygon& polygon) {
                                      const int count = std::clamp(polygon.count, 0, kMaxPolygonPoints);
                                      painter.drawPolygon(polygon.imagePoints, count);
                                      if (count > 0)
                                          anchor = polygon.imagePoints[0];
                                  },
                                  [&](const Circle& circle) {
                                      painter.save();
                                      painter.scale(1.0 / fullScaleX, 1.0 / fullScaleY);
                                      circle.Draw(painter);
                                      painter.restore();
                                      anchor = circle.imageRect.topLeft();
                                  },
                                  [&](const ClustomRect& rect) {
                                      painter.drawRect(rect.imageRect);
                                      anchor = rect.imageRect.topLeft();
                                  }});
            const QString value = QString::number(roiValue[d][i]);
            const QString label = n > kShortLabelsAbove
                                      ? QString("%1: %2").arg(j).arg(value)
                                      : QString("%1: %2 / %3 ").arg(j).arg(RoiLimitText(s, d, i, p), value);
            const QRect band(QPoint(anchor.x(), anchor.y() - kLabelRise),
                             QPoint(anchor.x() + kLabelWidth - 1, anchor.y() - kLabelGap));
            painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, label);
        }
    }
    const int slot = FailSlot(cameraIndex, d, k);
    QMutexLocker lock(pMutexSaveFail);
    if (!gpFailImage[slot]) {
        qWarning() << "failure-image slot" << slot << "has no buffer";
        return;
    }
    std::memcpy(gpFailImage[slot], displayRgb, size_t(imagePixels) * 4);
}

void CammerWidget::UpdateFailImage(int detection, int k)
{
    if (!HasFailSlot(cameraIndex, detection, k) || imagePixels <= 0)
        return;
    const int slot = FailSlot(cameraIndex, detection, k);
    QImage picture(imageWidth, imageHeight, QImage::Format_RGB32);
    {
        QMutexLocker lock(pMutexSaveFail);
        if (!gpFailImage[slot])
            return;
        std::memcpy(picture.bits(), gpFailImage[slot], size_t(imagePixels) * 4);
    }
    QString first;
    QString second;
    if (gpState) {
        int& state = gpState->detectState[cameraIndex][detection];
        for (const ClearStamp& stamp : kClearStamps) {
            if (stamp.state != state)
                continue;
            first = stamp.first == kNoText ? QString() : LanStr(stamp.first);
            second = stamp.second == kNoText ? QString() : LanStr(stamp.second);
            state = stamp.next;
            break;
        }
    }
    {
        QPainter painter(&picture);
        QFont font(kFontFamily);
        font.setPixelSize(kVerdictFontPx);
        painter.setFont(font);
        painter.setPen(Qt::red);
        painter.drawText(kClearStampPos, QString("%1%2").arg(first, second));
    }
    QMutexLocker lock(pMutexSaveFail);
    std::memcpy(gpFailImage[slot], picture.constBits(), size_t(imagePixels) * 4);
}
