// Captions of the screens in the four languages: each one whole, on the screen, clear of the
// next control and, save where a screen fixes a smaller text or box, 16 px or more.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "cameramanager.h"
#include "camereatabwidget.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "choosebox.h"
#include "colorbutton.h"
#include "combobox.h"
#include "constructionhooks.h"
#include "controlport.h"
#include "drawroiwidget.h"
#include "factoryfixture.h"
#include "floatslider.h"
#include "globals.h"
#include "indexbutton.h"
#include "iostatus.h"
#include "iowidget.h"
#include "lanstr.h"
#include "mainstate.h"
#include "mainwindowrig.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "roiparampanel.h"
#include "simcameracontrol.h"
#include "slider.h"
#include "statisticswidget.h"
#include "testsupport.h"
#include "textfit.h"
#include "warnbox.h"
#include "windowhooks.h"
#include "wizardpara.h"
#include "wizardparawidget.h"

namespace {

constexpr int kFloorPx = 16;
constexpr int kButtonEdges = 6;  // a button's face keeps this much of its width and height
constexpr int kTabPadding = 8;

QString Name(const QWidget* w)
{
    return QString("%1 \"%2\"").arg(w->metaObject()->className(), w->property("text").toString());
}

// The height `lines` lines take: one line its full height, more lines their spacing each.
int LinesHeight(const QFontMetrics& m, int lines)
{
    return lines == 1 ? m.height() : lines * m.lineSpacing();
}

// What is wrong with `text` in `font` in a room of `room`: a line too wide, too many lines,
// or a font below the floor (unless the screen fixes a smaller one: `small`).
QStringList TextFaults(const QString& text, const QFont& font, const QSize& room, bool small = false)
{
    QStringList found;
    const QFontMetrics m(font);
    const QStringList lines = text.split('\n');
    for (const QString& line : lines)
        if (m.horizontalAdvance(line) > room.width())
            found << QString("\"%1\" cut: %2 px in %3").arg(line).arg(m.horizontalAdvance(line)).arg(room.width());
    if (!text.trimmed().isEmpty() && LinesHeight(m, lines.size()) > room.height())
        found << QString("\"%1\" too tall for %2 px").arg(text).arg(room.height());
    if (!text.trimmed().isEmpty() && !small && QFontInfo(font).pixelSize() < kFloorPx)
        found << QString("\"%1\" small: %2 px").arg(text).arg(QFontInfo(font).pixelSize());
    return found;
}

// The captions a widget holds, and the room it gives them.
QStringList HeldFaults(QWidget* w)
{
    QStringList found;
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
        found << TextFaults(label->text(), label->font(), label->contentsRect().size());
    } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        if (box->sizeHint().width() > box->width() + 1)
            found << "check box cut: " + box->text();
        found << TextFaults(box->text(), box->font(), QSize(INT_MAX, box->height()));
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        found << TextFaults(button->text(), button->font(), button->size() - QSize(kButtonEdges, kButtonEdges));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) found << TextFaults(combo->itemText(i), combo->font(), field.size());
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            found << TextFaults(tabs->tabText(i), tabs->font(), tabs->tabRect(i).size() - QSize(kTabPadding, 0));
            if (!tabs->rect().contains(tabs->tabRect(i)))
                found << "tab past its bar: " + tabs->tabText(i);
        }
    }
    for (QString& f : found) f = Name(w) + ": " + f;
    return found;
}

bool IsControl(const QWidget* w)
{
    // The teaching page's column counts whole: what it stands over is hidden, gaps included.
    return qobject_cast<const DrawROIWidget*>(w) || qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QLabel*>(w) || qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTabBar*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const Slider*>(w) || qobject_cast<const QSlider*>(w);
}

bool Inside(const QWidget* w, const QWidget* ancestor)
{
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (p == ancestor)
            return true;
    return false;
}

// The part of the screen a control takes: a check box only as far as its caption.
QRect Area(QWidget* w, QWidget* root)
{
    QRect r(w->mapTo(root, QPoint(0, 0)), w->size());
    if (qobject_cast<QCheckBox*>(w))
        r.setWidth(std::min(r.width(), w->sizeHint().width()));
    return r;
}

// A text the fitting helper painted: its room and what it took of it, in the widget.
struct Painted
{
    const QWidget* widget;
    QRect room;
    QRect used;
    QString shown;
    QFont font;
};
QList<Painted> gPainted;

// Painted texts whose size the screens fix below the floor, or whose box cannot hold it: the
// chart's labels and legend, the status strip's signal names in their 70 px boxes.
bool SmallByDesign(const Painted& p)
{
    const QString cls = p.widget->metaObject()->className();
    return cls == "Histogram" || (cls == "IOStatusWidget" && p.room.width() == 70);
}

// The captions a widget paints itself, which must pass through the fitting helper: a
// slider's name, the camera view's legend on the teaching page's template.
QStringList PaintedCaptions(const QWidget* w)
{
    if (qobject_cast<const Slider*>(w))
        return {w->objectName()};
    if (qobject_cast<const CammerWidget*>(w) && gSource == kSourceTemplate && gpState->pageState != kPageMain)
        return {LanStr(22) + " :", LanStr(24) + " :"};
    return {};
}

// Every caption under `root`, held or painted: whole, large enough, within `root` (the
// screen) and clear of every other control.
QStringList Faults(QWidget* root)
{
    gPainted.clear();
    root->grab();  // paints every visible widget: the painted captions are told
    QStringList found;
    QList<QWidget*> controls;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        found << HeldFaults(w);
        bool part = false;  // of a composite control (a combo's list, a box's field)
        for (QWidget* p = w->parentWidget(); p && p != root && !part; p = p->parentWidget()) part = IsControl(p);
        if (IsControl(w) && !part)
            controls << w;
        for (const QString& caption : PaintedCaptions(w)) {
            bool told = false;
            for (const Painted& p : gPainted)
                told = told || (p.widget == w &&
                                QString(p.shown).remove(QRegularExpression("\\s")) == QString(caption).remove(' '));
            if (!told)
                found << Name(w) + " painted without fitting: " + caption;
        }
    }
    const QRect screen = root->rect();
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a = Area(controls[i], root);
        if (!screen.contains(a))
            found << Name(controls[i]) + QString(" off the screen at %1, %2").arg(a.x()).arg(a.y());
        for (int j = i + 1; j < controls.size(); ++j)
            if (a.intersects(Area(controls[j], root)))
                found << Name(controls[i]) + " over " + Name(controls[j]);
    }
    for (const Painted& p : gPainted) {
        if (!Inside(p.widget, root) || !p.widget->isVisible())
            continue;
        for (const QString& f : TextFaults(p.shown, p.font, p.room.size(), SmallByDesign(p)))
            found << QString("painted on %1: %2").arg(p.widget->metaObject()->className(), f);
        const QRect used(p.widget->mapTo(root, p.used.topLeft()), p.used.size());
        if (!screen.contains(used))
            found << "painted off the screen: " + p.shown;
        for (QWidget* c : controls)
            if (!Inside(c, p.widget) && !Inside(p.widget, c) && used.intersects(Area(c, root)))
                found << QString("\"%1\" painted under %2").arg(p.shown, Name(c));
    }
    found.removeDuplicates();
    return found;
}

void Tag(QStringList& all, const QString& where, const QStringList& found)
{
    for (const QString& f : found) all << where + ": " + f;
}

}  // namespace

class TestCaptions : public QObject
{
    Q_OBJECT

    MoJuWizard* win = nullptr;
    CameraInterface* cameras = nullptr;
    _cameraInfo cameraInfo;
    QDateTime clock = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));

    // The window's parts that hold texts of the current language, built afresh.
    struct Surface
    {
        CammerWidget* view = nullptr;
        IOStatusWidget* strip = nullptr;
        IndexButton* bar = nullptr;
        FloatSlider* zoom = nullptr;
        DrawROIWidget* page = nullptr;
    };
    Surface surface;

    void buildSurface()
    {
        dropSurface();
        surface.view = new CammerWidget(win, 0, cameraInfo);
        win->cammerWidgets[0] = surface.view;
        win->viewCamera = 0;
        win->ChangeCammer();
        surface.strip = new IOStatusWidget(win);
        win->ioStatusWidget = surface.strip;
        surface.bar = new IndexButton(win);
        win->indexButton = surface.bar;
        surface.zoom = new FloatSlider(win);
        surface.zoom->setFixedSize(1000, 35);
        surface.zoom->move((gShowW - 1000) / 2, gShowH - 125);
        win->zoomSlider = surface.zoom;
        surface.page = new DrawROIWidget(win, win->cammerWidgets);
        surface.page->hide();
        win->drawROIWidget = surface.page;
    }

    void dropSurface()
    {
        win->drawROIWidget = nullptr;
        win->indexButton = nullptr;
        win->ioStatusWidget = nullptr;
        win->zoomSlider = nullptr;
        win->cammerWidgets[0] = nullptr;
        delete surface.page;
        delete surface.bar;
        delete surface.strip;
        delete surface.zoom;
        delete surface.view;
        surface = Surface{};
    }

    // The main screen with the bar out and the strip showing everything it can: the
    // standard mode with both snapshot buttons, then eight detections with the combo.
    QStringList mainScreen()
    {
        QStringList all;
        gpWPara->isPswUsed = 1;
        gpWPara->showManualSnapshot = 1;
        gpWPara->detectProd = 1;
        gpWPara->useStatistics = 1;
        gpWPara->groupIndex = 1;
        IOStatusWidget::groupNames = [] { return QStringList{"default", "Bumper-Mould-A27"}; };
        IOStatusWidget::usbDiskPresent = [] { return true; };
        for (int mode : {kModeStandard, kModeMulti}) {
            gpWPara->detectMode = mode;
            gpWPara->detectCount = 8;
            for (int d = 0; d < kMaxDetections; ++d) gpWPara->detectTrigIn[d] = d;
            // The strip's signal names of the mode in the row's language, as a start loads them.
            win->queryIn.finish();  // a select left open would hold the writes up
            MainWindowRig::setLanguage("PARAM.db", gLan);
            MainWindowRig::setParam("PARAM.db", "numFailDetect", 1, mode);
            WizardPara().LoadDatafromFile();
            gDNum = 2;
            buildSurface();
            surface.bar->show();
            surface.strip->show();
            win->cycleTime = 123;
            for (int level : {kPswNone, kFactoryLevel}) {
                win->pswLevel = level;
                Tag(all, QString("mode %1 level %2").arg(mode).arg(level), Faults(win));
            }
        }
        gpWPara->detectMode = kModeStandard;
        return all;
    }

    // A region drawn on the view with the page's tool: its panel comes up.
    bool drawRegion(QPushButton* tool, QPoint from, QPoint to)
    {
        tool->click();
        CammerWidget* v = surface.view;
        for (auto [type, p] : {std::pair{QEvent::MouseButtonPress, from}, std::pair{QEvent::MouseMove, (from + to) / 2},
                               std::pair{QEvent::MouseMove, to}, std::pair{QEvent::MouseButtonRelease, to}}) {
            QMouseEvent event(type, QPointF(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(v, &event);
        }
        clock = clock.addSecs(2);
        PlatformClock::setNow(clock);
        return v->curRoi >= 0;
    }

    // The teaching page in every source, the region panel of every function on both of its
    // pages and with its move buttons, and the drawing tools while they draw.
    QStringList teachingPage()
    {
        QStringList all;
        buildSurface();
        RoiParamPanel* panel = surface.view->panel;
        DrawROIWidget* page = surface.page;
        win->pageState = kPageTeaching;
        page->Reset(false);
        for (int s = 0; s < 5; ++s) {
            page->setSource(s);
            Tag(all, QString("source %1").arg(s), Faults(win));
            page->showHideButton->click();  // the column to the left
            Tag(all, QString("source %1, column left").arg(s), Faults(win));
        }
        page->setSource(kSourceTemplate);
        for (QPushButton* tool : {page->rectButton, page->circleButton, page->polygonButton, page->handButton}) {
            tool->click();
            Tag(all, "drawing " + tool->text(), Faults(win));
            tool->click();
        }
        if (!drawRegion(page->circleButton, QPoint(700, 400), QPoint(900, 600)))
            all << "no circle drawn";
        for (int point = 0; point < 3; ++point) {
            panel->buttonObject->click();
            Tag(all, "circle point " + panel->buttonObject->text(), Faults(win));
        }
        if (!drawRegion(page->rectButton, QPoint(300, 500), QPoint(600, 700)))
            all << "no rectangle drawn";
        for (int f = 0; f < kFuncCount; ++f) {
            const QString func = panel->buttonFunc->text();
            Tag(all, "function " + func, Faults(win));
            if (!panel->buttonParaSwitch->isHidden()) {
                panel->buttonParaSwitch->click();
                Tag(all, "page 2 of " + func, Faults(win));
            }
            panel->buttonFunc->click();
        }
        panel->buttonMoveToggle->click();
        Tag(all, "moving", Faults(win));
        panel->buttonMoveToggle->click();
        return all;
    }

    // The page an NG alarm brings up, on the live picture and on the template.
    QStringList alarmPage()
    {
        QStringList all;
        buildSurface();
        win->pageState = kPageAlarm;
        surface.strip->show();
        surface.page->Reset(false);
        Tag(all, "live", Faults(win));
        surface.page->showHideButton->click();
        Tag(all, "live, column left", Faults(win));
        surface.page->setSource(kSourceTemplate);
        Tag(all, "template", Faults(win));
        win->pageState = kPageMain;
        return all;
    }

    // The statistics page with every camera tab and every detection page.
    QStringList statisticsPage()
    {
        QStringList all;
        delete StatisticsWidget::instance;
        StatisticsWidget* page = StatisticsWidget::getInstance();
        page->createWidget({LanStr(584), LanStr(263), LanStr(264)});
        page->show();
        for (int t = 0; t < page->cameraTabs->count(); ++t) {
            page->cameraTabs->setCurrentIndex(t);
            auto* tabs = static_cast<QTabWidget*>(page->cameraTabs->widget(t));
            for (int k = 0; k < tabs->count(); ++k) {
                tabs->setCurrentIndex(k);
                Tag(all, QString("tab %1 page %2").arg(t).arg(k), Faults(page));
            }
        }
        page->hide();
        return all;
    }

    // Every page of the settings screen, with the factory details shown, in the
    // multi-detection mode with eight detections.
    QStringList settingsScreen()
    {
        QStringList all;
        const WizardPara live = *gpWPara;
        gpWPara->detectMode = kModeMulti;
        gpWPara->detectCount = 8;
        gpWPara->showFactoryParams = 1;
        *gpWParaBak = *gpWPara;
        // A record of someone not logged in, in the language of the page.
        QSqlQuery(win->dbRecord)
            .exec(QStringLiteral("INSERT INTO RECORD VALUES('2026-01-01 08:00:00', '%1', 'x', 'operate')")
                      .arg(LanStr(156)));
        win->pswLevel = kFactoryLevel;
        WizardParaWidget page(win);
        page.show();
        page.SlotToRecord();
        for (int p : {0, 1, 3, 4, 5}) {
            page.page = p;
            page.DoChangePage();
            if (p == 3)
                page.combo(64)->setCurrentIndex(kModeMulti);
            Tag(all, QString("page %1").arg(p), Faults(&page));
        }
        page.SlotToCamera();
        page.SlotChangeShowMode();
        page.SlotChangeShowMode();
        Tag(all, "colour spot shown", Faults(&page));
        page.SlotShowIOWidget();
        Tag(all, "IO dialog", Faults(page.ioWidget));
        page.hide();
        *gpWPara = live;
        return all;
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        gLan = 1;
        CreateGlobalMutexes();
        LoadGlobalPixmaps();
        PlatformClock::setNow(clock);
        QVERIFY(FactoryFixture::writeAll());
        gShowW = 1920;
        gShowH = 1080;
        numCamera = 1;
        gDNum = 2;
        gTempNum = 3;

        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        win->setFixedSize(gShowW, gShowH);
        QVERIFY(MainWindowRig::openWindowDatabases(win, true));
        win->noteLabel = new QLabel(win);
        win->noteLabel->hide();
        gpWPara = new WizardPara;
        gpWParaBak = new WizardPara;
        gpWPara->LoadDatafromFile();
        gpControlIO = new ControlPort;
        gpWarnBox = new WarnBox(nullptr);
        gpChooseBox = new ChooseBox(nullptr, 750, 370);
        // Every detection function on, so that the region panel shows every caption.
        for (int* f : {&gpWPara->defectDetect, &gpWPara->spotDetect, &gpWPara->ignoreArea, &gpWPara->manualLocate,
                       &gpWPara->blackArea, &gpWPara->whiteArea, &gpWPara->similarity, &gpWPara->whiteNumber,
                       &gpWPara->blackNumber, &gpWPara->colorSpot, &gpWPara->angleCorrect})
            *f = 1;
        gpWPara->showAllParams = 1;
        gpWPara->ejectorPulseNoAlarm = 1;
        gpWPara->isPswUsed = 0;
        *gpWParaBak = *gpWPara;

        // The bar shows its statistics button only when start-up gives it a page to show.
        ConstructionHooks hooks;
        hooks.showStatistics = [] {};
        SetConstructionHooks(hooks);

        CameraManager* manager = CameraManager::getInstance();
        manager->loadPlugins();
        QVERIFY(!manager->plugins.isEmpty());
        cameras = manager->plugins.first();
        auto* control = qobject_cast<SimCameraControl*>(cameras);
        QVERIFY(control);
        control->configure(
            QJsonObject{{"cameraCount", 1}, {"width", 640}, {"height", 480}, {"color", false}, {"source", "scene"}});
        const QVector<_cameraInfo> found = cameras->findCameras();
        QCOMPARE(found.size(), 1);
        cameraInfo = found.first();
        manager->noRealCamera = false;
        win->show();

        TextFit::SetDrawObserver([](const TextFit::Drawn& d) {
            const QFontMetrics m(d.font);
            const QStringList lines = d.shown.split('\n');
            int widest = 0;
            for (const QString& line : lines) widest = std::max(widest, m.horizontalAdvance(line));
            const QRect used = QStyle::alignedRect(Qt::LeftToRight, Qt::Alignment(d.flags),
                                                   QSize(widest, LinesHeight(m, lines.size())), d.rect);
            gPainted << Painted{d.widget, d.rect, used, d.shown, d.font};
        });
    }

    void cleanupTestCase()
    {
        TextFit::SetDrawObserver({});
        dropSurface();
        delete StatisticsWidget::instance;
    }

    // Screens by language: every caption found whole, on the screen, clear and readable.
    void everyCaptionReadable_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<int>("lan");
        for (const char* screen : {"main", "teaching", "alarm", "statistics", "settings"})
            for (int lan = 0; lan < 4; ++lan)
                QTest::newRow(qPrintable(QString("%1 %2").arg(screen).arg(lan))) << screen << lan;
    }

    void everyCaptionReadable()
    {
        QFETCH(QString, screen);
        QFETCH(int, lan);
        gLan = lan;
        QStringList found;
        if (screen == "main")
            found = mainScreen();
        else if (screen == "teaching")
            found = teachingPage();
        else if (screen == "alarm")
            found = alarmPage();
        else if (screen == "statistics")
            found = statisticsPage();
        else
            found = settingsScreen();
        gLan = 1;
        found.removeDuplicates();
        for (const QString& f : found) qWarning().noquote() << f;
        QVERIFY2(found.isEmpty(), qPrintable(QString("%1 captions cut, covered or small").arg(found.size())));
    }
};

MONITOR_TEST_MAIN(TestCaptions)
#include "tst_captions.moc"
