// CammerSingleton: construction, load and save of one camera's region store.
#include "cammersingleton.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <QDebug>
#include <QSqlError>
#include <QTextStream>
#include <QVariant>

#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "miscfunc.h"
#include "operatorprompts.h"
#include "sqlexec.h"
#include "textids.h"

namespace {

constexpr int kMaxOutput = 3;
constexpr int kShapeTypeMask = 0xFF;
constexpr int kHandBits = 0xFF00;
constexpr int kRadiusBits = 16;
constexpr unsigned kRadiusMask = 0xFFFF;

// The region a missing or unusable row stands for.
constexpr int kDefaultPara1 = 25;
constexpr int kDefaultPara2 = 100;
constexpr int kDefaultPara3 = 3;
const QRect kDefaultRect(QPoint(50, 50), QPoint(100, 100));

// Reads the blank-separated integers of a row with a text stream, as the rows were always
// read: a missing or unreadable value reads as 0, and so does everything after it; numbers
// too big for 32 bits keep their low 32 bits, which the unsigned type word relies on.
class ValueReader
{
public:
    explicit ValueReader(const QString& value) : text(value), stream(&text, QIODevice::ReadOnly) {}

    int next()
    {
        int v = 0;
        stream >> v;
        return stream.status() == QTextStream::Ok ? v : 0;
    }

    unsigned nextUnsigned()
    {
        unsigned v = 0;
        stream >> v;
        return stream.status() == QTextStream::Ok ? v : 0;
    }

    int nextX()
    {
        int v = next();
        CheckInRange(&v, 1, 0, 0);
        return v;
    }

    int nextY()
    {
        int v = next();
        CheckInRange(&v, 0, 0, 0);
        return v;
    }

private:
    QString text;
    QTextStream stream;
};

// Image geometry and mask of a loaded shape; the mask goes to the view's working masks.
template <typename Shape>
void RebuildShape(Shape& shape, ViewGeometry* view, int d, int i)
{
    if (view)
        shape.setShowA(view->fullScaleX, view->fullScaleY);
    shape.setImageRect();
    if (view)
        view->workMasks[d][i] = shape.UpdateMask();
}

}  // namespace

CammerSingleton::CammerSingleton(int cameraIndex)
    : camera(cameraIndex),
      roiNum(),
      para1(),
      para2(),
      para3(),
      func(),
      shapeType(),
      outN(),
      detectPara(),
      selRoi(0),
      selFunc(0),
      selPara1(0),
      selPara2(0),
      selPara3(0)
{
}

// Zeroed by calloc, whose fresh pages cost no memory until written: most of a store is
// polygon slots that are never used.
void* CammerSingleton::operator new(std::size_t size)
{
    void* p = std::calloc(1, size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void CammerSingleton::operator delete(void* p)
{
    std::free(p);
}

void CopyStore(CammerSingleton& to, const CammerSingleton& from)
{
    // A chunk that already matches is only read, and reading never-written calloc memory maps
    // the kernel's shared zero page instead of memory of its own.
    constexpr std::size_t kChunk = 4096;
    auto* dst = reinterpret_cast<unsigned char*>(&to);
    const auto* src = reinterpret_cast<const unsigned char*>(&from);
    for (std::size_t at = 0; at < sizeof(CammerSingleton); at += kChunk) {
        const std::size_t n = std::min(kChunk, sizeof(CammerSingleton) - at);
        if (std::memcmp(dst + at, src + at, n) != 0)
            std::memcpy(dst + at, src + at, n);
    }
}

QString CammerSingleton::TableName() const
{
    return QStringLiteral("cammer%1").arg(camera);
}

void CammerSingleton::LoadDatafromFile(ViewGeometry* view)
{
    LoadDatafromFile(view, gpState->queryIn);
}

void CammerSingleton::LoadDatafromFile(ViewGeometry* view, QSqlQuery& query)
{
    for (int d = 0; d < kMaxDetections; ++d) LoadDetection(d, view, query);
}

void CammerSingleton::LoadDetection(int d, ViewGeometry* view, QSqlQuery& query)
{
    const QString table = TableName();
    // Not through SqlExec: a camera without its table loads silently as empty (every count 0),
    // and the save is where a missing table is reported.
    query.exec(QStringLiteral("select value from %1 where name='detect%2'").arg(table).arg(d));
    if (!query.next()) {
        roiNum[d] = 0;
        query.exec(QStringLiteral("insert into %1 values('detect%2', '0')").arg(table).arg(d));
        return;
    }
    ValueReader values(query.value(0).toString());
    roiNum[d] = values.next();
    for (int k = 0; k < kDetectParaCount; ++k) detectPara[d][k] = values.next();

    if (static_cast<unsigned>(roiNum[d]) > kMaxRegions) {
        qWarning() << "region count" << roiNum[d] << "of detection" << d << "in" << table << "is out of range";
        WarnOperator(LanStr(kTextCameraParamFileError));
        roiNum[d] = 0;
    }

    for (int i = 0; i < roiNum[d]; ++i) {
        query.exec(QStringLiteral("select value from %1 where name='ROI%2-%3'").arg(table).arg(d).arg(i));
        if (query.next())
            LoadRoi(d, i, query.value(0).toString(), view);
        else
            SetDefaultRoi(d, i, view);
    }
}

void CammerSingleton::LoadRoi(int d, int i, const QString& value, ViewGeometry* view)
{
    ValueReader values(value);
    para3[d][i] = values.next();
    para1[d][i] = values.next();
    para2[d][i] = values.next();
    func[d][i] = values.next();
    const unsigned typeWord = values.nextUnsigned();
    outN[i] = values.next();
    const int n = values.next();
    if (static_cast<unsigned>(outN[i]) > kMaxOutput)
        outN[i] = 0;
    shapeType[d][i] = static_cast<int>(typeWord & kShapeTypeMask);

    // An unknown type keeps its shapes and mask as they were.
    VisitShape(*this, d, i,
               ShapeCases{[&](RePolygon& polygon) {
                              if (n < 1 || n > kMaxPolygonPoints) {
                                  SetDefaultRoi(d, i, view);
                                  return;
                              }
                              polygon.SetHand((typeWord & kHandBits) != 0);
                              for (int k = 0; k < n; ++k) {
                                  const int x = values.nextX();
                                  polygon.points[k] = QPoint(x, values.nextY());
                              }
                              polygon.count = n;
                              RebuildShape(polygon, view, d, i);
                          },
                          [&](Circle& circle) {
                              circle.cx = values.nextX();
                              circle.cy = values.nextY();
                              const unsigned packed = values.nextUnsigned();
                              circle.r = static_cast<int>(packed & kRadiusMask);
                              circle.innerR = static_cast<int>(packed >> kRadiusBits);
                              circle.UpdateRect();
                              RebuildShape(circle, view, d, i);
                          },
                          [&](ClustomRect& rect) {
                              const int left = values.nextX();
                              const int top = values.nextY();
                              const int right = values.nextX();
                              rect.rect.setCoords(left, top, right, values.nextY());
                              RebuildShape(rect, view, d, i);
                          }});
}

void CammerSingleton::SetDefaultRoi(int d, int i, ViewGeometry* view)
{
    para1[d][i] = kDefaultPara1;
    para2[d][i] = kDefaultPara2;
    para3[d][i] = kDefaultPara3;
    func[d][i] = 0;
    shapeType[d][i] = kShapeRect;
    outN[i] = 0;
    rects[d][i].rect = kDefaultRect;
    RebuildShape(rects[d][i], view, d, i);
}

bool CammerSingleton::SaveDatatoFile()
{
    return SaveDatatoFile(gpState->queryIn);
}

bool CammerSingleton::SaveDatatoFile(QSqlQuery& query)
{
    // One transaction: a thousand single-row commits take seconds on the panel's flash disk.
    // It also keeps a failed save from leaving half a store behind: the first statement that
    // fails (a missing table, a locked file) ends the save and nothing of it is kept.
    if (!SqlExec(query, QStringLiteral("BEGIN TRANSACTION"))) {
        qWarning() << "region store of camera" << camera << "not saved";
        return false;
    }
    bool saved = true;
    for (int d = 0; d < kMaxDetections && saved; ++d) saved = SaveDetection(d, query);
    if (saved && SqlExec(query, QStringLiteral("COMMIT")))
        return true;
    qWarning() << "region store of camera" << camera << "not saved";
    SqlExec(query, QStringLiteral("ROLLBACK"));
    return false;
}

bool CammerSingleton::SaveDetection(int d, QSqlQuery& query)
{
    const QString table = TableName();
    // A count out of range would index past the arrays; it is stored as the nearest valid one.
    const int n = std::clamp(roiNum[d], 0, kMaxRegions);
    QString detectValue = QString::number(n);
    for (int k = 0; k < kDetectParaCount; ++k) detectValue += QLatin1Char(' ') + QString::number(detectPara[d][k]);
    if (!SqlExec(query,
                 QStringLiteral("update %1 set value='%2' where name='detect%3'").arg(table, detectValue).arg(d)))
        return false;

    for (int i = 0; i < n; ++i) {
        const QString name = QStringLiteral("ROI%1-%2").arg(d).arg(i);
        if (!SqlExec(query, QStringLiteral("select * from %1 where name='%2'").arg(table, name)))
            return false;
        const QString statement =
            query.next()
                ? QStringLiteral("update %1 set value='%2' where name='%3'").arg(table, RoiValueText(d, i), name)
                : QStringLiteral("insert into %1 values('%2', '%3')").arg(table, name, RoiValueText(d, i));
        if (!SqlExec(query, statement))
            return false;
    }
    for (int i = n; i < kMaxRegions; ++i) {
        const QString name = QStringLiteral("ROI%1-%2").arg(d).arg(i);
        if (!SqlExec(query, QStringLiteral("select * from %1 where name='%2'").arg(table, name)))
            return false;
        if (query.next() && !SqlExec(query, QStringLiteral("delete from %1 where name='%2'").arg(table, name)))
            return false;
    }
    return true;
}

QString CammerSingleton::RoiValueText(int d, int i) const
{
    const int type = shapeType[d][i];
    const bool handPolygon = type == kShapePolygon && polygons[d][i].getHand();
    QString text;
    for (int v :
         {para3[d][i], para1[d][i], para2[d][i], func[d][i], handPolygon ? type + kShapeHandFlag : type, outN[i]})
        text += QString::number(v) + QLatin1Char(' ');
    switch (type) {
        case kShapeRect: {
            const QRect& r = rects[d][i].rect;
            text += QStringLiteral("0 %1 %2 %3 %4").arg(r.left()).arg(r.top()).arg(r.right()).arg(r.bottom());
            break;
        }
        case kShapeCircle: {
            const Circle& c = circles[d][i];
            // Unsigned, so that a large inner radius wraps into the sign bit as the load expects.
            const int packed =
                static_cast<int>((static_cast<unsigned>(c.innerR) << kRadiusBits) + static_cast<unsigned>(c.r));
            text += QStringLiteral("0 %1 %2 %3").arg(c.cx).arg(c.cy).arg(packed);
            break;
        }
        case kShapePolygon: {
            const RePolygon& p = polygons[d][i];
            const int count = std::clamp(p.count, 0, kMaxPolygonPoints);
            text.reserve(text.size() + 12 * (count + 1));
            text += QString::number(count) + QLatin1Char(' ');
            for (int k = 0; k < count; ++k) {
                text += QString::number(p.points[k].x()) + QLatin1Char(' ');
                text += QString::number(p.points[k].y()) + QLatin1Char(' ');
            }
            break;
        }
        default:
            break;
    }
    return text;
}

void CammerSingleton::setSelectRoi(int i)
{
    const int d = gpState ? gpState->curDetect : 0;
    if (d < 0 || d >= kMaxDetections || i < 0 || i >= roiNum[d])
        return;
    selRoi = i;
    selFunc = func[d][i];
    selPara1 = para1[d][i];
    selPara2 = para2[d][i];
    selPara3 = para3[d][i];
}
