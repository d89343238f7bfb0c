// Statistics screens on the model's viewed day: the chart's bars, the figures, the tabs, the day list, the date
// range, the following of the running day and the shift hours.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include "camerastatisticswidget.h"
#include "camereatabwidget.h"
#include "choosebox.h"
#include "combobox.h"
#include "dateseletdialog.h"
#include "globals.h"
#include "histogram.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "platformclock.h"
#include "resstatisticsparam.h"
#include "statisticsrig.h"
#include "statisticswidget.h"
#include "testsupport.h"
#include "textfit.h"
#include "warnbox.h"

namespace {

QList<int> range(int from, int count)
{
    QList<int> l;
    for (int i = 0; i < count; ++i) l << from + i;
    return l;
}

// The bars' fill over white: green (0, 255, 0) or red (255, 0, 0) at alpha 200.
bool isGreen(QRgb p)
{
    return qGreen(p) > 240 && qRed(p) < 90 && qBlue(p) < 90;
}
bool isRed(QRgb p)
{
    return qRed(p) > 240 && qGreen(p) < 90 && qBlue(p) < 90;
}
bool isWhite(QRgb p)
{
    return qRed(p) > 250 && qGreen(p) > 250 && qBlue(p) > 250;
}

QImage onWhite(QWidget& w)
{
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The model's viewed day: group "g", the given OK and NG counts of the whole cycle of all cameras in the morning's
// first hour (hour bucket 0), nothing else.
void viewCounts(int ok, int ng)
{
    ResStatisticsParam* m = ResStatisticsParam::getInstance();
    CountGroup g;
    ResStatisticsParam::initStuCountGroup(g, "g");
    g.all.count.OK[0] = ok;
    g.all.count.NG[0] = ng;
    m->viewCount.groups = {g};
    m->viewGroupName = "g";
    m->calcCount(m->viewCount);
}

QStringList texts(CameraStatisticsWidget& page, int block)
{
    return {page.valueLabels[block][0]->text(), page.valueLabels[block][1]->text(), page.valueLabels[block][2]->text()};
}

}  // namespace

class TestStatisticsScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        StatRig::useUtc();
        InitLanStr();
        gLan = 1;
        numCamera = 2;
        gDNum = 3;
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
    }

    void cleanup() { PlatformClock::resetNow(); }

    // 12 slots on 1550 x 420: slot width 116, bars 58 wide, the largest value 360 pixels high from y 40.
    void histogramBarsAndColours()
    {
        QList<int> ok{10, 5};
        QList<int> ng{0, 4};
        while (ok.size() < 12) ok << 0, ng << 0;
        Histogram chart(nullptr, range(8, 12), ok, ng);
        chart.setFixedHeight(420);
        QCOMPARE(chart.size(), QSize(1550, 420));
        QCOMPARE(chart.dataCount, 12);
        QCOMPARE(chart.maxY, 10);
        const QImage image = onWhite(chart);

        QVERIFY(isGreen(image.pixel(100, 200)));
        QVERIFY(isWhite(image.pixel(150, 200)));  // the second series is 0 in slot 0
        // The first bar spans x 78-135 and y 40-399.
        for (const QPoint& inside : {QPoint(78, 40), QPoint(135, 40), QPoint(78, 399), QPoint(135, 399)})
            QVERIFY2(isGreen(image.pixel(inside)), qPrintable(QString("%1,%2").arg(inside.x()).arg(inside.y())));
        for (const QPoint& outside : {QPoint(77, 200), QPoint(136, 200), QPoint(100, 39)})
            QVERIFY2(!isGreen(image.pixel(outside)), qPrintable(QString("%1,%2").arg(outside.x()).arg(outside.y())));
        QVERIFY(!isGreen(image.pixel(100, 400)));  // the x axis
        // Slot 1: OK 5 is 180 pixels high, NG 4 is 144 pixels high in the right half (x 252-309).
        QVERIFY(isGreen(image.pixel(220, 400 - 179)));
        QVERIFY(!isGreen(image.pixel(220, 400 - 181)));
        QVERIFY(isRed(image.pixel(280, 400 - 143)));
        QVERIFY(!isRed(image.pixel(280, 400 - 146)));

        // The legend's swatches: slot-wide halves left of their texts.
        auto legend = [](const QImage& image) {
            QString row;
            for (int x = 600; x < 1420; x += 10) {
                const QRgb p = image.pixel(x, 20);
                row += isGreen(p) ? 'g' : isRed(p) ? 'r' : '.';
            }
            return row.simplified();
        };
        QVector<int> legendPx;  // English on two lines, as large as Chinese on one: 10 pt
        QStringList captions;   // OK and NG each named, in the screen's language
        TextFit::SetDrawObserver([&](const TextFit::Drawn& d) {
            legendPx << d.font.pixelSize();
            captions << QString(d.shown).replace('\n', ' ');
        });
        for (int lan : {0, 1}) gLan = lan, chart.grab();
        TextFit::SetDrawObserver({});
        QFont tenPoint = chart.font();
        tenPoint.setPointSize(10);
        QCOMPARE(legendPx, QVector<int>(4, QFontInfo(tenPoint).pixelSize()));
        const int qualified = 589, anomaly = 590;  // the texts of the OK and the NG bars
        QCOMPARE(captions, (QStringList{gaLanStr[qualified * 4], gaLanStr[anomaly * 4], gaLanStr[qualified * 4 + 1],
                                        gaLanStr[anomaly * 4 + 1]}));
        const QString withData = legend(image);
        QVERIFY2(withData.count('g') == 6 && withData.count('r') == 6, qPrintable(withData));

        // All zeros: no bar at all. No data at all: the legend keeps its swatches.
        chart.modifyDataAxisY(QList<int>(), QList<int>());
        QCOMPARE(chart.dataCount, 0);
        QCOMPARE(legend(onWhite(chart)), withData);
        chart.modifyDataAxisY(StatRig::filled(12, 0), StatRig::filled(12, 0));
        QCOMPARE(chart.maxY, 0);
        const QImage empty = onWhite(chart);
        for (int x = 30; x < 1400; x += 7)
            for (int y = 45; y < 398; y += 11) QVERIFY(!isGreen(empty.pixel(x, y)) && !isRed(empty.pixel(x, y)));
    }

    // Total, OK and pass rate per block; an empty shift has no rate ("-").
    void figuresAndPassRate()
    {
        viewCounts(2, 1);
        CameraStatisticsWidget page(kStatAllIndex, kStatAllIndex, nullptr);
        QCOMPARE(texts(page, 2), (QStringList{"3", "2", "66.67%"}));
        QCOMPARE(texts(page, 0), (QStringList{"3", "2", "66.67%"}));
        QCOMPARE(texts(page, 1), (QStringList{"0", "0", "-"}));
        QCOMPARE(page.morningChart->dataAxisY1.value(0), 2);
        QCOMPARE(page.morningChart->dataAxisY2.value(0), 1);
        QCOMPARE(page.morningChart->dataAxisX.value(0), 8);

        viewCounts(3, 1);
        page.updateData();
        QCOMPARE(texts(page, 2), (QStringList{"4", "3", "75%"}));
        // Another camera's page shows none of it.
        CameraStatisticsWidget camera1(0, kStatAllIndex, nullptr);
        QCOMPARE(texts(camera1, 2), (QStringList{"0", "0", "-"}));
    }

    // 2 cameras, 3 detections: three camera tabs of four pages each, with the codes of the model.
    void tabsPerCameraAndDetection()
    {
        StatisticsWidget page;
        page.createWidget({"All detect", "Prod", "Mold", "Third"});
        QCOMPARE(page.cameraTabs->count(), 3);
        QCOMPARE(page.cameraTabs->tabText(0), QString("All Camera"));
        QCOMPARE(page.cameraTabs->tabText(1), QString("Camera 1"));
        QCOMPARE(page.cameraTabs->tabText(2), QString("Camera 2"));
        QCOMPARE(page.cameraTabs->size(), QSize(1738, 980));
        const QList<int> cameraCodes{8, 0, 1};
        for (int t = 0; t < 3; ++t) {
            CamereaTabWidget* tab = page.cameraPages[t];
            QVERIFY(tab);
            QCOMPARE(tab->count(), 4);
            QStringList titles;
            for (int k = 0; k < 4; ++k) titles << tab->tabText(k);
            QCOMPARE(titles, (QStringList{"All detect", "Prod", "Mold", "Third"}));
            QCOMPARE(tab->pages[0]->cameraCode, cameraCodes[t]);
            QCOMPARE(tab->pages[0]->detectCode, 8);
            QCOMPARE(tab->pages[3]->detectCode, 2);
        }
        QVERIFY(!page.cameraPages[3]);
        page.show();  // the hour lists open with rows a finger can pick, 40 px high
        page.nightEndBox->showPopup();
        QTRY_COMPARE(page.nightEndBox->view()->visualRect(page.nightEndBox->model()->index(1, 0)).height(), 40);
    }

    // Asked to update, shown or answered before the window built its controls: nothing happens.
    void pageWithoutControls()
    {
        StatisticsWidget page;
        page.checkUpdate();
        page.slotUpdateRecord(true);
        page.slotDayListChanged();
        page.show();
        page.hide();
        QVERIFY(!page.dayList);
    }

    // "7天" is today and the six days before; a date edited by hand makes the range custom.
    void dateRanges()
    {
        PlatformClock::setNow(StatRig::at("2026-12-05 10:00:00"));
        DateSeletDialog dialog(nullptr);
        QCOMPARE(dialog.rangeType, 1);
        QCOMPARE(dialog.getDays(), qMakePair(QString("2026-12-05"), QString("2026-12-05")));
        dialog.rangeGroup->button(2)->click();
        QCOMPARE(dialog.getDays(), qMakePair(QString("2026-11-29"), QString("2026-12-05")));
        dialog.rangeGroup->button(3)->click();
        QCOMPARE(dialog.getDays().first, QString("2026-11-06"));
        dialog.rangeGroup->button(2)->click();

        dialog.startEdit->setDate(QDate(2026, 11, 20));
        QCOMPARE(dialog.rangeType, 0);
        QVERIFY(dialog.rangeGroup->button(0)->isChecked());
        QCOMPARE(dialog.getDays(), qMakePair(QString("2026-11-20"), QString("2026-12-05")));
        dialog.endEdit->setDate(QDate(2026, 12, 1));
        QCOMPARE(dialog.getDays(), qMakePair(QString("2026-11-20"), QString("2026-12-01")));
    }

    // The running day first, then the day files newest first; the shown page follows the running day only.
    void dayListAndRunningDay()
    {
        ResStatisticsParam* m = ResStatisticsParam::getInstance();
        m->dayStart = StatRig::secs("2026-12-05 08:00:00");
        m->curGroupName = "g";
        m->curCount.date = "2026-12-05";
        m->curCount.groups.clear();
        m->cameraCycleOK = {true, true, true, true, true, true, true, true};
        QDir("ResStatistics").removeRecursively();
        StatRig::dayFile("2026-12-01");
        StatRig::dayFile("2026-12-03");

        StatisticsWidget page;
        page.createWidget({"All detect", "Prod", "Mold", "Third"});
        connect(&page, &StatisticsWidget::sigUpdateRecord, m, &ResStatisticsParam::slotUpdateRecord);
        connect(m, &ResStatisticsParam::sigLoadFinish, &page, &StatisticsWidget::slotUpdateRecord);
        connect(m, &ResStatisticsParam::sigCheckUpdate, &page, &StatisticsWidget::checkUpdate);
        QSignalSpy asked(&page, &StatisticsWidget::sigUpdateRecord);
        page.updateList();
        QStringList days;
        for (int i = 0; i < page.dayList->count(); ++i) days << page.dayList->item(i)->text();
        QCOMPARE(days, (QStringList{"2026-12-05", "2026-12-03", "2026-12-01"}));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0][0].toInt(), 0);
        QCOMPARE(asked[0][1].toString(), QDir("ResStatistics").absolutePath() + "//2026-12-05.db");

        // A judged cycle (camera 1 OK, camera 2 NG) moves the figures of the running day.
        PlatformClock::setNow(StatRig::at("2026-12-05 09:30:00"));
        CameraStatisticsWidget* all = page.cameraPages[0]->pages[0];
        m->addRecord(0, 9, {true, false}, true);
        QCOMPARE(texts(*all, 2), (QStringList{"1", "0", "0%"}));
        m->addRecord(0, 9, {true, true}, true);
        QCOMPARE(texts(*all, 2), (QStringList{"2", "1", "50%"}));
        QCOMPARE(m->viewGroupName, QString("g"));

        // An archived day shown: a new result leaves it alone.
        page.dayList->setCurrentRow(1);
        page.UpdateRecord(page.dayList->item(1));
        QCOMPARE(asked.last()[0].toInt(), 1);
        m->addRecord(0, 9, {true, true}, true);
        QCOMPARE(texts(*all, 2), (QStringList{"2", "1", "50%"}));

        // A day archived while the page is shown joins its list.
        connect(m, &ResStatisticsParam::sigDayListChanged, &page, &StatisticsWidget::slotDayListChanged);
        page.show();
        StatRig::dayFile("2026-12-04");
        emit m->sigDayListChanged();
        QCOMPARE(page.dayList->count(), 4);
        QCOMPARE(page.dayList->item(1)->text(), QString("2026-12-04"));
        page.hide();
    }

    // Hours confirmed with YES are in resstatistics.json at once; unchanged hours ask nothing.
    void shiftHoursSavedAtOnce()
    {
        ResStatisticsParam* m = ResStatisticsParam::getInstance();
        m->morningsStart = 8;
        m->morningsEnd = 20;
        m->nightStart = 20;
        m->nightEnd = 8;
        m->dayStart = StatRig::secs("2026-12-05 08:00:00");
        PlatformClock::setNow(StatRig::at("2026-12-05 10:00:00"));
        QFile::remove("resstatistics.json");
        StatisticsWidget page;
        ModalAnswerer answerer;  // after the page: its watches look into the page until they end
        StatRig::watchPageBoxes(answerer, &page);
        page.createWidget({"All detect", "Prod"});
        page.show();
        page.SlotConfirm();
        QVERIFY(answerer.texts().isEmpty());
        QVERIFY(page.isHidden());

        page.show();
        page.morningStartBox->setCurrentIndex(7);
        page.morningEndBox->setCurrentIndex(19);
        page.nightStartBox->setCurrentIndex(19);
        page.nightEndBox->setCurrentIndex(7);
        answerer.answer(ModalAnswerer::Yes);
        QSignalSpy saves(m, &ResStatisticsParam::sigSaveRecord);
        page.SlotConfirm();
        QCOMPARE(answerer.texts(), QStringList{LanStr(234)});
        // The running day is saved at once, under its own date.
        QCOMPARE(saves.size(), 1);
        QCOMPARE(saves[0][0].toString(), QString("2026-12-05"));
        QCOMPARE(saves[0][2].toBool(), false);
        QVERIFY(page.isHidden());
        QCOMPARE(m->morningsStart, 7);
        QFile file("resstatistics.json");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(saved.value("morningsStart").toInt(), 7);
        QCOMPARE(saved.value("morningsEnd").toInt(), 19);
        QCOMPARE(saved.value("nightStart").toInt(), 19);
        QCOMPARE(saved.value("nightEnd").toInt(), 7);
        QCOMPARE(saved.value("time").toString().toUInt(), m->dayStart.load());
    }
};

MONITOR_TEST_MAIN(TestStatisticsScreens)
#include "tst_statistics_screens.moc"
