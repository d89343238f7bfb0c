// Region store: rows of table cammer<N> loaded and saved back, clamps, missing and bad rows, copies.
#include <cstring>
#include <memory>

#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "cammersingleton.h"
#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mainstate.h"
#include "modalanswerer.h"
#include "testsupport.h"
#include "warnbox.h"

namespace {

constexpr float kScaleX = 3.0f;  // a 640 x 480 camera on the 1920 x 1080 canvas
constexpr float kScaleY = 2.25f;

}  // namespace

class TestCammerSingleton : public QObject
{
    Q_OBJECT

    MainState* window = nullptr;
    std::unique_ptr<ViewGeometry> view;

    void exec(const QString& sql)
    {
        QSqlQuery q(window->dbIn);
        QVERIFY2(q.exec(sql), qPrintable(sql));
    }

    void setRows(const QMap<QString, QString>& rows, int camera = 0)
    {
        for (auto it = rows.begin(); it != rows.end(); ++it)
            exec(QStringLiteral("insert into cammer%1 values('%2', '%3')").arg(camera).arg(it.key(), it.value()));
    }

    QMap<QString, QString> tableRows(int camera = 0)
    {
        QMap<QString, QString> rows;
        QSqlQuery q(window->dbIn);
        q.exec(QStringLiteral("select name, value from cammer%1").arg(camera));
        while (q.next()) rows.insert(q.value(0).toString(), q.value(1).toString());
        return rows;
    }

    std::unique_ptr<CammerSingleton> load(int camera = 0)
    {
        std::unique_ptr<CammerSingleton> store(new CammerSingleton(camera));
        store->LoadDatafromFile(view.get());
        return store;
    }

    static QString detectRow(int count) { return QStringLiteral("%1 0 0 0 0 0 0 0 0").arg(count); }

private slots:
    void initTestCase()
    {
        InitLanStr();
        window = new MainState;
    }

    void init()
    {
        gLan = 1;
        QVERIFY(FactoryFixture::writeAll());
        window->dbIn = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
        window->dbIn.setDatabaseName(QStringLiteral("PARAM.db"));
        QVERIFY(window->dbIn.open());
        window->queryIn = QSqlQuery(window->dbIn);
        view = std::make_unique<ViewGeometry>();
        view->fullScaleX = kScaleX;
        view->fullScaleY = kScaleY;
        window->curDetect = 0;
    }

    void cleanup()
    {
        window->queryIn = QSqlQuery();
        window->dbIn.close();
        window->dbIn = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("dbIn"));
    }

    void cleanupTestCase() { delete window; }

    void rowsLoadAndSaveBackIdentically()
    {
        const QMap<QString, QString> rows = {
            {"detect0", "3 11 12 13 14 15 16 17 -18"},
            {"ROI0-0", "3 25 100 0 1 0 0 50 50 100 100"},
            {"ROI0-1", "9 8 7 5 4 1 0 500 400 131112"},              // inner radius 2, radius 40
            {"ROI0-2", "5 6 7 2 258 2 3 100 100 300 100 200 300 "},  // hand-drawn triangle
            {"detect1", "1 0 0 0 0 0 0 0 0"},
            {"ROI1-0", "1 2 3 10 2 3 4 30 30 90 30 90 90 30 90 "},
        };
        setRows(rows);
        for (int d = 2; d < kMaxDetections; ++d) setRows({{QStringLiteral("detect%1").arg(d), detectRow(0)}});
        auto store = load();

        QCOMPARE(store->roiNum[0], 3);
        QCOMPARE(store->detectPara[0][7], -18);
        QCOMPARE(store->para3[0][0], 3);
        QCOMPARE(store->para1[0][0], 25);
        QCOMPARE(store->para2[0][0], 100);
        QCOMPARE(store->func[0][0], 0);
        QCOMPARE(store->shapeType[0][0], kShapeRect);
        QCOMPARE(store->rects[0][0].rect, QRect(QPoint(50, 50), QPoint(100, 100)));
        QCOMPARE(store->rects[0][0].imageRect, QRect(17, 22, 17, 23));
        QCOMPARE(view->workMasks[0][0].size(), cv::Size(17, 23));

        const Circle& c = store->circles[0][1];
        QCOMPARE(store->shapeType[0][1], kShapeCircle);
        QCOMPARE(QPoint(c.cx, c.cy), QPoint(500, 400));
        QCOMPARE(c.r, 40);
        QCOMPARE(c.innerR, 2);
        QCOMPARE(c.rect, QRect(460, 360, 80, 80));
        QCOMPARE(view->workMasks[0][1].size(), cv::Size(32, 32));
        QCOMPARE(store->outN[1], 1);

        const RePolygon& hand = store->polygons[0][2];
        QCOMPARE(store->shapeType[0][2], kShapePolygon);
        QVERIFY(hand.getHand());
        QCOMPARE(hand.count, 3);
        QCOMPARE(hand.points[2], QPoint(200, 300));
        QCOMPARE(hand.imagePoints[1], QPoint(100, 44));
        QVERIFY(cv::countNonZero(view->workMasks[0][2]) > 0);
        QVERIFY(!store->polygons[1][0].getHand());
        QCOMPARE(store->polygons[1][0].count, 4);
        QCOMPARE(store->roiNum[1], 1);

        QVERIFY(store->SaveDatatoFile());
        QCOMPARE(tableRows().value("ROI0-2"), rows["ROI0-2"]);
        QMap<QString, QString> expected = rows;
        expected["ROI0-0"] = "3 25 100 0 1 3 0 50 50 100 100";  // region 0 of detection 1 set the shared output
        for (int d = 2; d < kMaxDetections; ++d) expected.insert(QStringLiteral("detect%1").arg(d), detectRow(0));
        QCOMPARE(tableRows(), expected);
    }

    void circleAndPolygonSurviveASecondRound()
    {
        auto store = std::unique_ptr<CammerSingleton>(new CammerSingleton(0));
        for (int d = 0; d < kMaxDetections; ++d) setRows({{QStringLiteral("detect%1").arg(d), detectRow(0)}});
        store->roiNum[3] = 2;
        store->shapeType[3][0] = kShapeCircle;
        store->circles[3][0].cx = 700;
        store->circles[3][0].cy = 500;
        store->circles[3][0].r = 40;
        store->circles[3][0].innerR = 2;
        store->shapeType[3][1] = kShapePolygon;
        const QPoint pts[3] = {{10, 10}, {100, 10}, {10, 100}};
        store->polygons[3][1] = RePolygon(3, pts);  // heap store: the temporary is the one big stack value
        store->polygons[3][1].SetHand(true);
        QVERIFY(store->SaveDatatoFile());
        QCOMPARE(tableRows().value("ROI3-0"), QStringLiteral("0 0 0 0 4 0 0 700 500 131112"));
        QCOMPARE(tableRows().value("ROI3-1"), QStringLiteral("0 0 0 0 258 0 3 10 10 100 10 10 100 "));

        auto again = load();
        QCOMPARE(again->circles[3][0].r, 40);
        QCOMPARE(again->circles[3][0].innerR, 2);
        QVERIFY(again->polygons[3][1].getHand());
        QCOMPARE(again->polygons[3][1].points[1], QPoint(100, 10));
    }

    void coordinatesOffTheScreenAreClamped()
    {
        setRows({{"detect0", detectRow(3)},
                 {"ROI0-0", "0 0 0 0 1 0 0 0 1080 1920 -5"},
                 {"ROI0-1", "0 0 0 0 2 0 3 0 2 1920 500 1918 1079 "},
                 {"ROI0-2", "0 0 0 0 4 0 0 5000 -7 20"}});
        auto store = load();
        QCOMPARE(store->rects[0][0].rect, QRect(QPoint(3, 1077), QPoint(1917, 3)));
        QCOMPARE(store->polygons[0][1].points[0], QPoint(3, 3));
        QCOMPARE(store->polygons[0][1].points[1], QPoint(1917, 500));
        QCOMPARE(store->polygons[0][1].points[2], QPoint(1917, 1077));
        QCOMPARE(QPoint(store->circles[0][2].cx, store->circles[0][2].cy), QPoint(1917, 3));
        // The circle reaches past the picture; its image rectangle does not.
        QCOMPARE(store->circles[0][2].imageRect, QRect(QPoint(631, 0), QPoint(639, 8)));
        QCOMPARE(view->workMasks[0][2].size(), cv::Size(9, 9));
    }

    void countAboveAHundredWarnsAndLoadsNothing()
    {
        gpWarnBox = new WarnBox(nullptr);
        ModalAnswerer answerer;
        answerer.answer({ModalAnswerer::Confirm, ModalAnswerer::Confirm});
        setRows({{"detect0", "101 1 2 3 4 5 6 7 8"},
                 {"ROI0-0", "3 25 100 0 1 0 0 50 50 100 100"},
                 {"detect1", "-1"},
                 {"ROI1-0", "3 25 100 0 1 0 0 50 50 100 100"},
                 {"detect2", "100"}});
        auto store = load();
        QCOMPARE(store->roiNum[0], 0);
        QCOMPARE(store->roiNum[1], 0);
        QCOMPARE(store->roiNum[2], 100);  // a hundred is allowed; its missing rows are defaults
        QCOMPARE(store->detectPara[0][7], 8);
        QCOMPARE(answerer.texts(), QStringList({"Camera parameter file error!", "Camera parameter file error!"}));
        QVERIFY(view->workMasks[0][0].empty());
        QVERIFY(tableRows().contains("ROI0-0"));  // kept until the next save

        QVERIFY(store->SaveDatatoFile());
        const QMap<QString, QString> rows = tableRows();
        QVERIFY(!rows.contains("ROI0-0"));
        QVERIFY(!rows.contains("ROI1-0"));
        QCOMPARE(rows.value("detect0"), QStringLiteral("0 1 2 3 4 5 6 7 8"));
        QCOMPARE(rows.value("ROI2-99"), QStringLiteral("3 25 100 0 1 0 0 50 50 100 100"));
        delete gpWarnBox;
        gpWarnBox = nullptr;
    }

    void missingAndBadRows()
    {
        setRows({{"detect0", "4"},
                 {"ROI0-1", "1 1 1 1 2 1 0 "},         // polygon of no points
                 {"ROI0-2", "1 1 1 1 2 7 8097 5 5 "},  // more than a polygon holds
                 {"ROI0-3", "1 2 3 4 3 2 0 9 9 9 9"},  // a type the store does not know
                 {"detect1", "abc 5"}});
        auto store = load();
        QCOMPARE(store->roiNum[0], 4);
        QCOMPARE(store->roiNum[1], 0);
        QCOMPARE(store->detectPara[1][0], 0);
        for (int i : {0, 1, 2}) {
            QCOMPARE(store->shapeType[0][i], kShapeRect);
            QCOMPARE(store->para1[0][i], 25);
            QCOMPARE(store->para2[0][i], 100);
            QCOMPARE(store->para3[0][i], 3);
            QCOMPARE(store->func[0][i], 0);
            QCOMPARE(store->rects[0][i].rect, QRect(QPoint(50, 50), QPoint(100, 100)));
            QCOMPARE(view->workMasks[0][i].size(), cv::Size(17, 23));
        }
        QCOMPARE(store->outN[2], 0);
        QCOMPARE(store->shapeType[0][3], 3);
        QCOMPARE(store->para3[0][3], 1);
        QVERIFY(view->workMasks[0][3].empty());
        QCOMPARE(store->outN[3], 2);

        const QMap<QString, QString> rows = tableRows();
        QVERIFY(!rows.contains("ROI0-0"));  // a missing region row is not created by the load
        for (int d = 2; d < kMaxDetections; ++d)
            QCOMPARE(rows.value(QStringLiteral("detect%1").arg(d)), QStringLiteral("0"));

        QVERIFY(store->SaveDatatoFile());
        QCOMPARE(tableRows().value("ROI0-3"), QStringLiteral("1 2 3 4 3 2 "));
        QCOMPARE(tableRows().value("ROI0-0"), QStringLiteral("3 25 100 0 1 0 0 50 50 100 100"));
        QCOMPARE(tableRows().value("detect2"), detectRow(0));
    }

    void outputsAreSharedByRegionNumber()
    {
        setRows({{"detect0", detectRow(1)},
                 {"ROI0-0", "3 25 100 0 1 1 0 50 50 100 100"},
                 {"detect1", detectRow(2)},
                 {"ROI1-0", "3 25 100 0 1 2 0 60 60 100 100"},
                 {"ROI1-1", "3 25 100 0 1 7 0 60 60 100 100"}});
        auto store = load();
        QCOMPARE(store->outN[0], 2);  // the later row wins
        QCOMPARE(store->outN[1], 0);  // 7 is no output
        QVERIFY(store->SaveDatatoFile());
        QCOMPARE(tableRows().value("ROI0-0"), QStringLiteral("3 25 100 0 1 2 0 50 50 100 100"));
        QCOMPARE(tableRows().value("ROI1-0"), QStringLiteral("3 25 100 0 1 2 0 60 60 100 100"));
    }

    void loweredCountDeletesTheRowsBeyondIt()
    {
        QMap<QString, QString> rows = {{"detect4", detectRow(5)}};
        for (int i = 0; i < 5; ++i)
            rows.insert(QStringLiteral("ROI4-%1").arg(i), QStringLiteral("3 25 100 0 1 0 0 50 50 100 100"));
        setRows(rows);
        auto store = load();
        QCOMPARE(store->roiNum[4], 5);
        store->roiNum[4] = 2;
        QVERIFY(store->SaveDatatoFile());
        const QMap<QString, QString> after = tableRows();
        QVERIFY(after.contains("ROI4-0"));
        QVERIFY(after.contains("ROI4-1"));
        for (int i = 2; i < 5; ++i) QVERIFY(!after.contains(QStringLiteral("ROI4-%1").arg(i)));
        QCOMPARE(after.value("detect4"), detectRow(2));
    }

    // Detection 8 is stored like the others: its count, its eight values and its regions go
    // to the table and come back; a lowered count removes its rows.
    void lastDetectionSavedAndReadBack()
    {
        constexpr int last = kMaxDetections - 1;
        for (int d = 0; d < kMaxDetections; ++d) setRows({{QStringLiteral("detect%1").arg(d), detectRow(0)}});
        std::unique_ptr<CammerSingleton> store(new CammerSingleton(0));
        store->roiNum[last] = 2;
        store->detectPara[last][3] = 42;
        store->shapeType[last][0] = kShapeRect;
        store->rects[last][0].rect = QRect(QPoint(30, 40), QPoint(300, 400));
        store->para1[last][0] = 11;
        store->para2[last][0] = 222;
        store->para3[last][0] = 3;
        store->func[last][0] = kFuncSpot;
        store->shapeType[last][1] = kShapeCircle;
        store->circles[last][1].cx = 900;
        store->circles[last][1].cy = 500;
        store->circles[last][1].r = 60;
        store->func[last][1] = kFuncWhiteArea;
        QVERIFY(store->SaveDatatoFile());
        QCOMPARE(tableRows().value("detect7"), QStringLiteral("2 0 0 0 42 0 0 0 0"));
        QCOMPARE(tableRows().value("ROI7-0"), QStringLiteral("3 11 222 1 1 0 0 30 40 300 400"));

        auto again = load();
        QCOMPARE(again->roiNum[last], 2);
        QCOMPARE(again->detectPara[last][3], 42);
        QCOMPARE(again->rects[last][0].rect, QRect(QPoint(30, 40), QPoint(300, 400)));
        QCOMPARE(again->para2[last][0], 222);
        QCOMPARE(again->func[last][0], int(kFuncSpot));
        QCOMPARE(again->shapeType[last][1], kShapeCircle);
        QCOMPARE(QPoint(again->circles[last][1].cx, again->circles[last][1].cy), QPoint(900, 500));
        QCOMPARE(again->circles[last][1].r, 60);
        QVERIFY(!view->workMasks[last][1].empty());

        again->roiNum[last] = 1;
        QVERIFY(again->SaveDatatoFile());
        QVERIFY(!tableRows().contains("ROI7-1"));
        QCOMPARE(tableRows().value("detect7"), QStringLiteral("1 0 0 0 42 0 0 0 0"));
    }

    void missingTableAndClosedDatabase()
    {
        auto store = load(9);  // no table cammer9
        for (int d = 0; d < kMaxDetections; ++d) QCOMPARE(store->roiNum[d], 0);
        window->dbIn.close();
        QVERIFY(!store->SaveDatatoFile());
    }

    // A save that cannot write says so and names the statement; a row is read the way a
    // text stream reads it, so a value glued to letters still counts up to the letters.
    void saveWithoutItsTableFailsAndNamesTheStatement()
    {
        auto store = load(9);  // no table cammer9
        store->roiNum[0] = 1;
        store->shapeType[0][0] = kShapeRect;
        TestSupport::clearCapturedMessages();
        QVERIFY(!store->SaveDatatoFile());
        const QString log = TestSupport::capturedMessages().join('\n');
        QVERIFY2(log.contains("update cammer9 set value='1 0 0 0 0 0 0 0 0' where name='detect0'"), qPrintable(log));
        QVERIFY(log.contains("no such table"));
        QVERIFY(!log.contains("ROI0-0"));  // the save stopped at the first failure

        setRows({{"detect0", detectRow(1)}, {"ROI0-0", "3 25 100 0 1 2 0 50 60x 100 100"}});
        auto glued = load();
        QCOMPARE(glued->outN[0], 2);
        QCOMPARE(glued->rects[0][0].rect.topLeft(), QPoint(50, 60));
        QCOMPARE(glued->rects[0][0].rect.bottomRight(), QPoint(3, 3));
    }

    void aSaveThatCannotCommitChangesNothing()
    {
        setRows({{"detect0", detectRow(1)}, {"ROI0-0", "3 25 100 0 1 0 0 50 50 100 100"}});
        auto store = load();
        const QMap<QString, QString> before = tableRows();
        store->roiNum[0] = 0;
        store->detectPara[0][0] = 42;
        {
            // A reader in the middle of a select keeps the file from being written.
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
            other.setDatabaseName(QStringLiteral("PARAM.db"));
            other.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=50"));
            QVERIFY(other.open());
            window->dbIn.close();
            window->dbIn.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=50"));
            QVERIFY(window->dbIn.open());
            window->queryIn = QSqlQuery(window->dbIn);
            QSqlQuery reading(other);
            QVERIFY(reading.exec(QStringLiteral("select name from cammer0")));
            QVERIFY(reading.next());
            QVERIFY(!store->SaveDatatoFile());
            reading.finish();
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        QCOMPARE(tableRows(), before);
        QVERIFY(store->SaveDatatoFile());
        QCOMPARE(tableRows().value("detect0"), QStringLiteral("0 42 0 0 0 0 0 0 0"));
        QVERIFY(!tableRows().contains("ROI0-0"));
    }

    void storesAreZeroedAndCopiedWhole()
    {
        std::unique_ptr<CammerSingleton> a(new CammerSingleton(2));
        std::unique_ptr<CammerSingleton> b(new CammerSingleton(2));
        QVERIFY(sizeof(CammerSingleton) > 100 * 1000 * 1000);
        QCOMPARE(std::memcmp(a.get(), b.get(), sizeof(CammerSingleton)), 0);
        QCOMPARE(a->camera, 2);
        QCOMPARE(a->roiNum[7], 0);
        QCOMPARE(a->polygons[7][99].node, -1);

        setRows({{"detect0", detectRow(1)}, {"ROI0-0", "0 0 0 0 2 0 3 10 10 100 10 10 100 "}}, 2);
        std::unique_ptr<CammerSingleton> loaded = load(2);
        QVERIFY(std::memcmp(a.get(), loaded.get(), sizeof(CammerSingleton)) != 0);
        *a = *loaded;
        QCOMPARE(std::memcmp(a.get(), loaded.get(), sizeof(CammerSingleton)), 0);

        // The copy that writes only what differs gives the same bytes, zeros over old data and
        // the store's last byte included.
        a->polygons[7][99].points[8095] = QPoint(3, 4);
        a->outN[99] = 5;
        b->roiNum[0] = 9;
        reinterpret_cast<unsigned char*>(b.get())[sizeof(CammerSingleton) - 1] = 0x5A;
        CopyStore(*loaded, *b);
        CopyStore(*a, *loaded);
        QCOMPARE(std::memcmp(a.get(), b.get(), sizeof(CammerSingleton)), 0);
    }

    void selectionFollowsTheCurrentDetection()
    {
        setRows({{"detect1", detectRow(2)},
                 {"ROI1-0", "3 25 100 6 1 0 0 50 50 100 100"},
                 {"ROI1-1", "13 14 15 9 1 0 0 50 50 100 100"}});
        auto store = load();
        window->curDetect = 1;
        store->setSelectRoi(1);
        QCOMPARE(store->selRoi, 1);
        QCOMPARE(store->selFunc, 9);
        QCOMPARE(store->selPara1, 14);
        QCOMPARE(store->selPara2, 15);
        QCOMPARE(store->selPara3, 13);
        store->setSelectRoi(2);
        store->setSelectRoi(-1);
        QCOMPARE(store->selRoi, 1);
        window->curDetect = 0;  // detection 0 has no regions
        store->setSelectRoi(0);
        QCOMPARE(store->selRoi, 1);
    }

    // Every view and the recognition pick a region's shape through the dispatcher: each type
    // reaches its own shape of its own slot, and a type that is none of the three reaches nothing.
    void shapeTypeReachesItsOwnShape()
    {
        std::unique_ptr<CammerSingleton> store(new CammerSingleton(0));
        const int types[] = {kShapeRect, kShapeCircle, kShapePolygon, kShapeRect | kShapeCircle, 0};
        for (int i = 0; i < 5; ++i) store->shapeType[3][i] = types[i];
        QStringList reached;
        const auto record =
            ShapeCases{[&](ClustomRect& r) { reached << QString("rect %1").arg(&r == &store->rects[3][0]); },
                       [&](Circle& c) { reached << QString("circle %1").arg(&c == &store->circles[3][1]); },
                       [&](RePolygon& p) { reached << QString("polygon %1").arg(&p == &store->polygons[3][2]); }};
        QList<bool> known;
        for (int i = 0; i < 5; ++i) known << VisitShape(*store, 3, i, record);
        QCOMPARE(reached, QStringList({"rect 1", "circle 1", "polygon 1"}));
        QCOMPARE(known, QList<bool>({true, true, true, false, false}));

        // Copies between slots stay within the array of the type.
        store->circles[3][1].r = 17;
        store->polygons[3][1].count = 5;
        QVERIFY(VisitShapeArrays(*store, kShapeCircle, [](auto& shapes) { shapes[4][0] = shapes[3][1]; }));
        QCOMPARE(store->circles[4][0].r, 17);
        QCOMPARE(store->polygons[4][0].count, 0);
        QVERIFY(!VisitShapeArrays(*store, 3, [](auto& shapes) { shapes[4][1] = shapes[3][1]; }));
        QCOMPARE(store->circles[4][1].r, 0);
    }
};

MONITOR_TEST_MAIN(TestCammerSingleton)
#include "tst_cammersingleton.moc"
