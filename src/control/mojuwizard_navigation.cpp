// Main window: camera layout, zoom and pan, opening the pages, the login and screen timers, view duties.
#include <iterator>

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

#include "cammerwidget.h"
#include "colorbutton.h"
#include "constructionhooks.h"
#include "drawroiwidget.h"
#include "floatslider.h"
#include "globals.h"
#include "indexbutton.h"
#include "iostatus.h"
#include "ledlcd.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "wizardpara.h"

namespace {

constexpr int kTempeLongMs = 3600000;
constexpr int kTempeSlowAfter = 3;  // timeouts of tempeTimer before it slows to an hour
constexpr int kBarHideMs = 120000;  // the button bar collapses this long after the last press on a view

// The camera grid for 2 to 8 cameras: columns and rows; the cell is screen / columns wide
// (plus one pixel with three columns) and screen / rows high.
struct GridRow
{
    int cameras;  // up to this many cameras
    int columns;
    int rows;
    int extraWidth;
};
const GridRow kGrid[] = {
    {2, 2, 1, 0},
    {4, 2, 2, 0},
    {6, 3, 2, 1},
    {8, 4, 2, 0},
};

void OpenRoiPage(MoJuWizard* win)
{
    if (win->drawROIWidget)
        win->drawROIWidget->Reset(false);
}

// The teaching page takes the screen: the button bar and the status strip go.
void EnterTeachingPage(MoJuWizard* win)
{
    win->pageState = kPageTeaching;
    if (win->indexButton)
        win->indexButton->hide();
    if (win->ioStatusWidget)
        win->ioStatusWidget->hide();
    OpenRoiPage(win);
}

}  // namespace

// ---- camera layout ----

void MoJuWizard::ChangeCammer()
{
    const int W = gShowW;
    const int H = gShowH;
    zoomOffsetX = 0;
    zoomOffsetY = 0;
    zoomFactor = 1.0;
    if (numCamera <= 0 || !cammerWidgets[0])
        return;

    if (numCamera == 1) {
        viewCamera = 0;
        cammerWidgets[0]->setGeometry(0, 0, W, H);
        cammerWidgets[0]->show();
        return;
    }

    int cellW = W;
    int cellH = H;
    if (viewCamera >= numCamera) {
        viewCamera = numCamera;
        const GridRow* grid = &kGrid[std::size(kGrid) - 1];
        for (const GridRow& row : kGrid)
            if (numCamera <= row.cameras) {
                grid = &row;
                break;
            }
        cellW = W / grid->columns + grid->extraWidth;
        cellH = H / grid->rows;
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (!cammerWidgets[c])
                continue;
            cammerWidgets[c]->setGeometry((c % grid->columns) * cellW, (c / grid->columns) * cellH, cellW, cellH);
            cammerWidgets[c]->show();
        }
    } else {
        for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
            if (!cammerWidgets[c])
                continue;
            if (c == viewCamera) {
                cammerWidgets[c]->setGeometry(0, 0, W, H);
                cammerWidgets[c]->show();
            } else {
                cammerWidgets[c]->hide();
            }
        }
    }

    showhideMscale();
    if (zoomSlider)
        zoomSlider->setToMinValue();
    for (int c = 0; c < numCamera && c < kMaxCameras; ++c) {
        CammerWidget* view = cammerWidgets[c];
        if (!view)
            continue;
        if (view->imageWidth > 0)
            view->showScaleX = float(cellW) / float(view->imageWidth);
        if (view->imageHeight > 0)
            view->showScaleY = float(cellH) / float(view->imageHeight);
        view->winScaleX = float(cellW) / float(W);
        view->winScaleY = float(cellH) / float(H);
    }
}

void MoJuWizard::SlotReturn()
{
    if (PageShown(kSettingsPageClass) || TeachingShown())
        return;
    if (numCamera == 1) {
        viewCamera = 0;
        zoomOffsetX = 0;
        zoomOffsetY = 0;
        zoomFactor = 1.0;
        update();
        return;
    }
    viewCamera = numCamera;
    ChangeCammer();
}

// ---- zoom and pan of the single camera ----

void MoJuWizard::MScale(float value)
{
    if (value == 1.0f) {
        zoomOffsetX = 0;
        zoomOffsetY = 0;
        zoomFactor = 1.0;
        update();
        return;
    }
    // Single precision on purpose: the image point under the zoom centre stays put.
    const float z = float(zoomFactor);
    zoomOffsetX = float(zoomCentreX) - ((float(zoomCentreX) - float(zoomOffsetX)) / z) * value;
    zoomOffsetY = float(zoomCentreY) - ((float(zoomCentreY) - float(zoomOffsetY)) / z) * value;
    zoomFactor = value;
    update();
}

void MoJuWizard::MScaleSetToMin()
{
    if (zoomSlider)
        zoomSlider->setToMinValue();
}

void MoJuWizard::updateMScale(int x, int y)
{
    if (zoomFactor <= 1.0)
        return;
    zoomOffsetX += x - panLastX;
    zoomOffsetY += y - panLastY;
    panLastX = x;
    panLastY = y;
    update();
    if (zoomSlider)
        zoomSlider->startTimer();
}

void MoJuWizard::showhideMscale(bool show)
{
    if (zoomSlider)
        zoomSlider->setVisible(show);
}

void MoJuWizard::showhideMscale()
{
    const bool zoomOn = gpWPara && gpWPara->zoomEnable != 0;
    showhideMscale(zoomOn && (numCamera == 1 || viewCamera != numCamera));
}

void MoJuWizard::showhideHelp(bool show)
{
    if (helpButton)
        helpButton->setVisible(show);
}

void MoJuWizard::showhideVersion(bool show)
{
    if (versionLabel)
        versionLabel->setVisible(show);
    if (modeLabel)
        modeLabel->setVisible(show);
}

// ---- pages ----

// The pages still to come are found by class name among the window's children until they
// exist: kSettingsPageClass is the settings screen, "HelpWidget" the help page,
// "WidgetChangeCamera" the camera re-numbering page, "CustomIONameWidget" the IO naming page.
QWidget* MoJuWizard::PageByClass(const char* className) const
{
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w->inherits(className))
            return w;
    }
    return nullptr;
}

bool MoJuWizard::PageShown(const char* className) const
{
    const QWidget* page = PageByClass(className);
    return page && page->isVisible();
}

bool MoJuWizard::TeachingShown() const
{
    return drawROIWidget && drawROIWidget->isVisible();
}

namespace {

// The teaching page and the settings screen are not opened over one another or over the
// camera numbering and IO naming pages.
bool AnotherPageOpen(const MoJuWizard* win)
{
    for (const char* page : {kSettingsPageClass, "WidgetChangeCamera", "CustomIONameWidget"})
        if (win->PageShown(page))
            return true;
    return win->TeachingShown();
}

}  // namespace

void MoJuWizard::SlotHelp()
{
    if (QWidget* help = PageByClass("HelpWidget"))
        help->show();
}

void MoJuWizard::SlotAdjustArea()
{
    if (AnotherPageOpen(this) || pageState == kPageAlarm)
        return;
    if (CheckPassword() == 0)
        return;
    EnterTeachingPage(this);
}

void MoJuWizard::SlotShowAlarmImgae()
{
    if (AnotherPageOpen(this) || pageState == kPageAlarm)
        return;
    EnterTeachingPage(this);
    if (drawROIWidget)
        drawROIWidget->setSource(kSourceNGRecord);
}

void MoJuWizard::CheckArea(bool)
{
    CheckArea();
}

void MoJuWizard::CheckArea()
{
    if (QWidget* settings = PageByClass(kSettingsPageClass); settings && settings->isVisible())
        settings->hide();
    if (CheckPassword() == 0) {
        runState = kRunDetecting;
        return;
    }
    pageState = kPageTeaching;
    if (indexButton)
        indexButton->hide();
    OpenRoiPage(this);
    gFromTrain = 1;
}

void MoJuWizard::SlotSystemPara()
{
    if (AnotherPageOpen(this))
        return;
    // The factory level is for one visit: entering the settings lowers it.
    if (pswLevel == kFactoryLevel)
        pswLevel = gpWPara && gpWPara->isPswUsed != 0 ? kPswOperator : kPswNone;
    if (CheckPassword() == 0 || pageState == kPageAlarm)
        return;
    if (gpWPara && gpWParaBak)
        *gpWParaBak = *gpWPara;
    if (indexButton)
        indexButton->SlotShowHideTimeout();
    if (QWidget* settings = PageByClass(kSettingsPageClass))
        settings->show();
    if (zoomSlider)
        zoomSlider->hide();
}

void MoJuWizard::SlotMuliManualTrig()
{
    // An empty detection combo (standard machine mode) chooses nothing to trigger.
    const int chosen = indexButton ? indexButton->CurChooseTrig() : -1;
    if (chosen < 0)
        return;
    SlotManualTrig(chosen);
}

// ---- login, screen and counting timers ----

void MoJuWizard::TimerLogout()
{
    logoutTimer->stop();
    pswLevel = kPswNone;
    if (ioStatusWidget)
        ioStatusWidget->update();
}

void MoJuWizard::TimerLCD()
{
    lcdTimer->stop();
    LCDOnOff(0);
}

void MoJuWizard::TimerTempe()
{
    ++tempeCount;
    if (tempeCount == kTempeSlowAfter)
        tempeTimer->start(kTempeLongMs);
}

void MoJuWizard::TimerTempe1()
{
    tempe1Timer->stop();
}

// ---- view duties ----

void MoJuWizard::SlotDrawHint()
{
    if (drawHintTimer)
        drawHintTimer->stop();
    gDrawHint = 0;
    update();
}

void MoJuWizard::SlotFPS()
{
    static bool ledOn = true;  // the first tick switches the LED off
    if (runState != kRunStopped) {
        ledOn = !ledOn;
        LEDOnOff(kLedRunBlink, ledOn ? 1 : 0);
    } else {
        LEDOnOff(kLedRunBlink, 1);
    }
    update();
}

void MoJuWizard::ViewPressed()
{
    if (!indexButton)
        return;
    indexButton->hideTimer->start(kBarHideMs);
    if (pageState != kPageMain && pageState != kPageResult)
        return;
    if (indexButton->isVisible()) {
        indexButton->checkShowHide();
    } else if (!PageShown(kSettingsPageClass)) {
        // Shown, the bar expands itself.
        indexButton->show();
        if (gpNumPad)
            gpNumPad->HideUpdate();
    }
}

bool MoJuWizard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (gpNumPad && gpNumPad->isVisible() && gpNumPad != watched)
            gpNumPad->hide();
        if (gpNumCharPad && gpNumCharPad->isVisible() && gpNumCharPad != watched)
            gpNumCharPad->hide();
    }
    return QWidget::eventFilter(watched, event);
}

void MoJuWizard::mouseReleaseEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    QWidget::mouseReleaseEvent(event);
}
