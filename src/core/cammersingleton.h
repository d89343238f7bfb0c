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

// Makes `to` a byte-wise copy of `from`, as memcpy would, writing only the parts that differ:
// a plain copy would give every unused polygon slot of `to` real memory (about 100 MB).
void CopyStore(CammerSingleton& to, const CammerSingleton& from);

// The one place where a region's shape type picks its shape. VisitShapeArrays calls visit
// with the store's whole array of that type (rects, circles or polygons), for copying a
// shape between slots; VisitShape calls it with region i of detection d itself. A type that
// is none of the three calls nothing and returns false. The store may be const.
template <class Store, class Visitor>
bool VisitShapeArrays(Store& store, int type, Visitor&& visit)
{
    switch (type) {
        case kShapeRect:
            visit(store.rects);
            return true;
        case kShapeCircle:
            visit(store.circles);
            return true;
        case kShapePolygon:
            visit(store.polygons);
            return true;
        default:
            return false;
    }
}

template <class Store, class Visitor>
bool VisitShape(Store& store, int d, int i, Visitor&& visit)
{
    return VisitShapeArrays(store, store.shapeType[d][i], [&](auto& shapes) { visit(shapes[d][i]); });
}

// One lambda per shape type for VisitShape, when the three are handled differently:
// VisitShape(s, d, i, ShapeCases{[](ClustomRect& r) {...}, [](Circle& c) {...}, [](RePolygon& p) {...}}).
template <class... Cases>
struct ShapeCases : Cases...
{
    using Cases::operator()...;
};
template <class... Cases>
ShapeCases(Cases...) -> ShapeCases<Cases...>;
