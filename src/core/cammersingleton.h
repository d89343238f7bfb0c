// CammerSingleton: one camera's detections and regions, kept in table "cammer<camera>" of PARAM.db.
#pragma once

#include <cstddef>
#include <type_traits>

#include <QSqlQuery>

#include "circle.h"
#include "polygon.h"
#include "rect.h"
#include "viewgeometry.h"

// Shape types of a region; a hand-drawn polygon is stored with kShapeHandFlag added.
constexpr int kShapeRect = 1;
constexpr int kShapePolygon = 2;
constexpr int kShapeCircle = 4;
constexpr int kShapeHandFlag = 0x100;

// Detection functions of a region (func).
enum RoiFunc {
    kFuncDefect = 0,
    kFuncSpot = 1,
    kFuncIgnore = 2,
    kFuncPosition = 3,
    kFuncBlackArea = 4,
    kFuncWhiteArea = 5,
    kFuncSimilarity = 6,
    kFuncWhiteNumber = 7,
    kFuncBlackNumber = 8,
    kFuncColorSpot = 9,
    kFuncPerspective = 10,
};
constexpr int kFuncCount = 11;  // detection functions 0..10

constexpr int kDetectParaCount = 8;

// About 104 MB: always create it with new (memory comes zeroed, padding included, so that
// stores can be compared byte-wise). Copy with plain assignment or memcpy.
class CammerSingleton
{
public:
    explicit CammerSingleton(int camera);

    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    // Reads the table through the main window's queryIn, or through the given query.
    // The view's scales go to every loaded shape and each mask into view->workMasks.
    void LoadDatafromFile(ViewGeometry* view);
    void LoadDatafromFile(ViewGeometry* view, QSqlQuery& query);
    // Writes the whole store in one transaction; false when the transaction failed.
    bool SaveDatatoFile();
    bool SaveDatatoFile(QSqlQuery& query);
    // Selects region i of the main window's current detection, when it exists.
    void setSelectRoi(int i);

    int camera;
    int roiNum[kMaxDetections];
    int para1[kMaxDetections][kMaxRegions];
    int para2[kMaxDetections][kMaxRegions];
    int para3[kMaxDetections][kMaxRegions];
    int func[kMaxDetections][kMaxRegions];
    ClustomRect rects[kMaxDetections][kMaxRegions];
    Circle circles[kMaxDetections][kMaxRegions];
    RePolygon polygons[kMaxDetections][kMaxRegions];
    int shapeType[kMaxDetections][kMaxRegions];
    int outN[kMaxRegions];  // shared by region i of every detection
    int detectPara[kMaxDetections][kDetectParaCount];
    int selRoi;
    int selFunc;
    int selPara1;
    int selPara2;
    int selPara3;

private:
    void LoadDetection(int d, ViewGeometry* view, QSqlQuery& query);
    void LoadRoi(int d, int i, const QString& value, ViewGeometry* view);
    void SetDefaultRoi(int d, int i, ViewGeometry* view);
    bool SaveDetection(int d, QSqlQuery& query);  // false at the first failed statement
    QString RoiValueText(int d, int i) const;
    QString TableName() const;
};

static_assert(std::is_trivially_copyable<CammerSingleton>::value, "stores are copied and compared byte-wise");
