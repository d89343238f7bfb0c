// DrawROIWidget: construction, entry and exit, picture sources, camera and detection choice, picture browsing.
#include "drawroiwidget.h"

#include <algorithm>
#include <cstring>

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "cammersingleton.h"
#include "cammerwidget.h"
#include "colorbutton.h"
#include "combobox.h"
#include "drawroiwidget_p.h"
#include "globals.h"
#include "miscfunc.h"
#include "textfit.h"
#include "windowhooks.h"

using namespace teach;

namespace {

constexpr int kPageWidth = 240;
constexpr int kButtonHeight = 76;
constexpr int kHalfButtonWidth = 118;
constexpr int kHalfButtonSpacing = 4;
constexpr int kButtonSizeClass = 4;
constexpr int kComboFontJapanese = 21;
constexpr int kComboFont = 33;
constexpr int kBottomMargin = 30;
constexpr int kHelpPageTeaching = 6;
constexpr int kAlarmBlinkMs = 1000;
constexpr int kRecentNgLast = kRecentNgCount - 1;

const char* const kShowHidePicture = "./images/ShowHide.png";
const char* const kTempTimeFormat = "yyyy-MM-dd hh.mm.ss";

const char* const kShowHideStyle =
    "QPushButton{background-image:url(./images/ShowHide.png);background-color:#322f2f;border-radius:8px;}"
    "QPushButton:checked{background-image:url(./images/ShowHideChecked.png);}";
const char* const kReCheckStyle =
    "QPushButton{outline:0px;border:none;color:white;font-size:%1px;background: qlineargradient(x1:0, y1:0, x2:0, "
    "y2:1, stop:0 #ff0000, stop:1 #ff0000);border-radius: 8px;}QPushButton:pressed{color:#ffffff;background: "
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ed9d11, stop:1 #ff9900);}";

// The source combo: caption entry per source 0..4.
const int kSourceCaptions[] = {kTextTemplate, kTextLiveImage, kTextRecentNG, kTextOKRecord, kTextNGRecord};

DrawROIWidget* gPage = nullptr;

// Width a button's rounded face keeps free beside its caption.
constexpr int kCaptionEdges = 6;

int ComboFontSize()
{
    return gLan == kLanJapanese ? kComboFontJapanese : kComboFont;
}

// The detection combo's captions by detection mode (mode 3 is filled by ChangeDetectNum).
QStringList DetectionCaptions(int mode)
{
    QStringList names;
    if (mode == kModeStandard) {
        for (int i = 0; i < 2; ++i) names << LanStr(kTextProd + i);
    } else if (mode == 1 || mode == 2) {
        for (int i = 0; i < 4; ++i) names << LanStr(kTextLeftProd + i);
    }
    return names;
}

}  // namespace

DrawROIWidget* DrawROIWidget::instance()
{
    return gPage;
}

int DrawROIWidget::LeftCover(const QWidget* w)
{
    if (!gPage || !w || !gPage->isVisible() || w == gPage)
        return 0;
    const QRect column(gPage->mapToGlobal(QPoint(0, 0)), gPage->size());
    const QRect area(w->mapToGlobal(QPoint(0, 0)), w->size());
    const QRect covered = column & area;
    return !covered.isEmpty() && covered.left() == area.left() ? covered.width() : 0;
}

DrawROIWidget::DrawROIWidget(QWidget* parent, CammerWidget* const* cameraViews) : QWidget(parent), views(cameraViews)
{
    gPage = this;
    setFixedSize(kPageWidth, std::max(gShowH, 1));
    layout = new QVBoxLayout(this);
    layout->setSpacing(1);
    layout->setContentsMargins(0, 0, 0, kBottomMargin);

    const auto button = [this](int entry, void (DrawROIWidget::*slot)()) {
        auto* b = new ColorButton(LanStr(entry), this, kButtonSizeClass);
        b->setFixedSize(kPageWidth, kButtonHeight);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    showHideButton = new ColorButton(QString(), this, kButtonSizeClass);
    showHideButton->setFixedSize(kPageWidth, kButtonHeight);
    showHideButton->setStyleSheet(kShowHideStyle);
    // Without its pictures the button still says what it does.
    if (!QFile::exists(kShowHidePicture))
        showHideButton->setText(QStringLiteral("<  >"));
    showHideButton->setCheckable(true);
    showHideButton->setChecked(false);
    connect(showHideButton, &QPushButton::clicked, this, &DrawROIWidget::SlotShowHide);

    // The combos are filled before they are connected: filling must not switch anything.
    sourceCombo = new ComboBox(this);
    for (int s = 0; s < int(std::size(kSourceCaptions)); ++s) sourceCombo->addItem(LanStr(kSourceCaptions[s]), s);
    cameraCombo = new ComboBox(this);
    for (int c = 0; c < numCamera; ++c) cameraCombo->addItem(LanStr(kTextCameraN).arg(c + 1));
    if (numCamera > 1)
        cameraCombo->addItem(LanStr(kTextAllCamera));
    detectCombo = new ComboBox(this);
    for (const QString& name : DetectionCaptions(LivePara().detectMode))
        detectCombo->addItem(LanStr(kTextItem).arg(name));
    for (auto [c, slot] : {std::pair{sourceCombo, &DrawROIWidget::SlotChangeSource},
                           std::pair{cameraCombo, &DrawROIWidget::SlotChangeCamera},
                           std::pair{detectCombo, &DrawROIWidget::SlotChangeDetect}}) {
        QFont font("wqy-microhei");
        font.setPixelSize(ComboFontSize());
        c->setFont(font);
        c->setItemHeight(kButtonHeight);
        c->setFixedSize(kPageWidth, kButtonHeight);
        connect(c, QOverload<int>::of(&QComboBox::currentIndexChanged), this, slot);
    }
    if (LivePara().detectMode == kModeMulti)
        ChangeDetectNum(LivePara().detectCount);

    returnButton = button(kTextEndSet, &DrawROIWidget::SlotReturn);
    noCheckButton = button(kTextDontDetect, &DrawROIWidget::SlotNoCheckCur);
    addTempButton = button(kTextAddAsTemp, &DrawROIWidget::SlotAddTemp);
    autoChangeButton = button(kTextLiveTemp, &DrawROIWidget::SlotAutoChange);
    helpButton = button(kTextHelp, &DrawROIWidget::SlotHelp);
    rectButton = button(kTextDrawRect, &DrawROIWidget::SlotDrawRect);
    circleButton = button(kTextDrawCircle, &DrawROIWidget::SlotDrawCircle);
    polygonButton = button(kTextDrawPolygon, &DrawROIWidget::SlotDrawPloygn);
    handButton = button(kTextDrawGesture, &DrawROIWidget::SlotDrawHand);
    copyButton = button(kTextCopyCurrent, &DrawROIWidget::SlotCopyArea);
    deleteRoiButton = button(kTextDelThisRoi, &DrawROIWidget::SlotDeleteROI);
    deleteAllButton = button(kTextDelAllRoi, &DrawROIWidget::SlotDeleteAllROI);
    lastButton = button(kTextPreviousPicture, &DrawROIWidget::SlotTempLast);
    nextButton = button(kTextNextPicture, &DrawROIWidget::SlotTempNext);
    lastButton->setFixedSize(kHalfButtonWidth, kButtonHeight);
    nextButton->setFixedSize(kHalfButtonWidth, kButtonHeight);
    tempDeleteButton = button(kTextDeleteTemp, &DrawROIWidget::SlotTempDeleteCur);
    showIgnoredButton = button(kTextDisplayIgnoredP, &DrawROIWidget::SlotShowHideAlarmPoint);
    ignoreButton = button(kTextIgnoreAlarmP, &DrawROIWidget::SlotIgnoreAlarmPoint);
    deleteIgnoredButton = button(kTextDelIgnoredP, &DrawROIWidget::SlotDeleteIgnorePoint);
    reCheckButton = button(kTextReDetected, &DrawROIWidget::SlotReCheck);
    reCheckButton->setStyleSheet(QString(kReCheckStyle).arg(ComboFontSize()));

    auto* browseRow = new QHBoxLayout;
    browseRow->setSpacing(kHalfButtonSpacing);
    browseRow->setContentsMargins(0, 0, 0, 0);
    browseRow->addWidget(lastButton);
    browseRow->addWidget(nextButton);
    browseRow->addStretch();

    for (QWidget* w : std::initializer_list<QWidget*>{showHideButton, sourceCombo, cameraCombo, detectCombo,
                                                      returnButton, noCheckButton, addTempButton, autoChangeButton,
                                                      helpButton, rectButton, circleButton, polygonButton, handButton,
                                                      copyButton, deleteRoiButton, deleteAllButton})
        layout->addWidget(w);
    layout->addLayout(browseRow);
    for (QWidget* w : {tempDeleteButton, showIgnoredButton, ignoreButton, deleteIgnoredButton}) layout->addWidget(w);
    layout->addStretch();
    layout->addWidget(reCheckButton);
}

DrawROIWidget::~DrawROIWidget()
{
    if (gPage == this)
        gPage = nullptr;
}

CammerWidget* DrawROIWidget::View(int c) const
{
    if (!views || c < 0 || c >= numCamera || c >= kMaxCameras)
        return nullptr;
    return views[c];
}

CammerWidget* DrawROIWidget::SelectedView() const
{
    return gpState ? View(gpState->viewCamera) : nullptr;
}

// ---- entry and exit ----

DrawROIWidget::AskedOn DrawROIWidget::Asking() const
{
    return {openings, gpState ? gpState->pageState : kPageMain};
}

bool DrawROIWidget::StillOn(const AskedOn& asked) const
{
    return gpState && gpState->pageState == asked.pageState && openings == asked.opening;
}

void DrawROIWidget::Reset(bool)
{
    ++openings;
    panelLeft = false;
    reloadEditStore = true;
    gDrawHint = 0;
    for (int c = 0; c < numCamera; ++c) {
        CammerWidget* v = View(c);
        if (!v || !v->storeA || !v->storeB)
            continue;
        CopyStore(*v->storeB, *v->storeA);
        v->BackMask();
    }

    // The detection the page opens on.
    const WizardPara& p = LivePara();
    const int d = gpState ? gpState->step : 0;
    int chosen = d;
    if (gpState && gpState->pageState != kPageAlarm) {
        if (p.detectMode == kModeStandard) {
            chosen = !p.detectEnabled[0] ? 1 : (!p.sameParams ? d : 0);
        } else if (p.detectMode == 1 || p.detectMode == 2) {
            int e = d;
            if (d >= 2) {
                if (p.sameParams)
                    e = d - 2;
                if (p.moldSide == 0 && e >= 2)
                    e -= 2;
            }
            if (p.moldSide == 1 && e <= 1)
                e = p.detectEnabled[0] ? 2 : 3;
            else if (e % 2 == 0 && !p.detectEnabled[0])
                e += 1;
            chosen = e;
        } else {
            chosen = (d == 0 && p.detectMode == kModeMulti && !p.detectEnabled[0]) ? 1 : d;
        }
    }
    if (chosen < 0 || chosen >= gDNum)
        chosen = 0;
    if (gpState)
        gpState->curDetect = chosen;
    {
        const QSignalBlocker block(detectCombo);
        detectCombo->setCurrentIndex(chosen < detectCombo->count() ? chosen : -1);
    }

    const int source = gpState && gpState->pageState == kPageAlarm ? kSourceLiveImage : kSourceTemplate;
    if (sourceCombo->currentIndex() == source)
        SlotChangeSource(source);
    else
        sourceCombo->setCurrentIndex(source);
    showHideButton->setChecked(false);
    show();
    raise();
}

void DrawROIWidget::Restart()
{
    ++openings;
    if (gpState)
        gpState->pageState = kPageMain;
    for (int c = 0; c < numCamera; ++c)
        if (CammerWidget* v = View(c))
            v->DeselectROI();
    Call(Teaching().showButtonBar, true);
    Call(Teaching().showHelpButton, true);
    hide();
    for (int c = 0; c < numCamera; ++c) {
        if (CammerWidget* v = View(c)) {
            v->ShowHideROIPara();
            v->update();
        }
    }
}

void DrawROIWidget::setSource(int s)
{
    sourceCombo->setCurrentIndex(s);
}

void DrawROIWidget::ChangeDetectNum(int n)
{
    detectCombo->clear();
    for (int i = 0; i < n; ++i) detectCombo->addItem(LanStr(kTextItem).arg(LanStr(kTextFirst + i)));
}

void DrawROIWidget::GetTempTIme(int c, int d, int n)
{
    const QString file = QString("./cammer%1%2/template%3.bmp").arg(c + 1).arg(d + 1).arg(n);
    gTempTime = QFileInfo(file).lastModified().toString(kTempTimeFormat);
}

void DrawROIWidget::showEvent(QShowEvent* event)
{
    Call(Teaching().showVersion, false);
    QWidget::showEvent(event);
}

void DrawROIWidget::hideEvent(QHideEvent* event)
{
    Call(Teaching().showVersion, true);
    QWidget::hideEvent(event);
}

void DrawROIWidget::SlotHelp()
{
    gHelpC = kHelpPageTeaching;
    Call(Teaching().showHelpPage);
}

void DrawROIWidget::SlotShowHide()
{
    panelLeft = !panelLeft;
    SlotChangePage();
}

// ---- which controls show ----

void DrawROIWidget::SlotChangePage()
{
    for (QObject* child : children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w != showHideButton)
            w->hide();
    const int page = gpState ? gpState->pageState : 0;
    const bool manyCameras = numCamera > 1;
    QList<QWidget*> shown;
    if (gSource == kSourceTemplate) {
        if (LivePara().continuationArea && gpState)
            gpState->drawMode = kDrawNone;
        shown = {detectCombo, returnButton,    sourceCombo,     rectButton, circleButton, polygonButton,   handButton,
                 copyButton,  deleteRoiButton, deleteAllButton, lastButton, nextButton,   tempDeleteButton};
        if (page == kPageAlarm)
            shown << autoChangeButton;
    } else if (gSource == kSourceLiveImage) {
        shown = {sourceCombo};
        // The ignore-point commands belong to the alarm camera's live picture, the help to the
        // page's plain live view: the only columns with room for them.
        if (page == kPageAlarm) {
            shown << addTempButton << noCheckButton << autoChangeButton << reCheckButton;
            if (SelectedView())
                shown << showIgnoredButton << ignoreButton << deleteIgnoredButton;
        } else {
            shown << returnButton << helpButton;
        }
    } else if (gSource >= kSourceRecentNG && gSource <= kSourceNGRecord) {
        shown = {sourceCombo, detectCombo, returnButton, lastButton, nextButton};
        if (gSource == kSourceRecentNG)
            shown << addTempButton;
    }
    if (manyCameras && gSource >= kSourceTemplate)
        shown << cameraCombo;
    for (QWidget* w : shown) w->show();
    FitRows(shown);
    FitCaptions();
    move(panelLeft ? 0 : gShowW - kPageWidth, 0);
    update();
    // The views and the status strip move their texts clear of the column's new place.
    if (parentWidget())
        parentWidget()->update();
}

// The alarm's template column holds more rows than 76 px each leave room for: then every
// row gives up the same few pixels, so that the last one stays above the screen's edge.
void DrawROIWidget::FitRows(const QList<QWidget*>& shown)
{
    int rows = 1;  // the show/hide button
    for (QWidget* w : shown)
        if (w != nextButton)  // beside the previous button, on its row
            ++rows;
    const int room = height() - kBottomMargin - (rows - 1) * layout->spacing();
    const int rowHeight = std::min(kButtonHeight, room / rows);
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (qobject_cast<QPushButton*>(w) || qobject_cast<ComboBox*>(w))
            w->setFixedHeight(rowHeight);
}

void DrawROIWidget::FitCaptions()
{
    // The page's own font sizes may be smaller than the size class's: long captions (English
    // and Japanese on the half-width buttons) take two lines, and shrink only as far as needed.
    for (ColorButton* b : findChildren<ColorButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (b != showHideButton)
            TextFit::RefitButton(b, kCaptionEdges);
}

// ---- sources ----

void DrawROIWidget::SlotChangeSource(int s)
{
    const int previous = gSource;
    panelLeft = false;
    gSource = s;
    if (gpState)
        gpState->copyMode = false;
    const int page = gpState ? gpState->pageState : 0;
    if (page == kPageAlarm) {
        // The template source edits regions: during an alarm only with the password. A refusal
        // goes back to the source shown before, or the views would edit unguarded.
        if (s == kSourceTemplate && !PasswordGranted()) {
            gSource = previous;
            const QSignalBlocker block(sourceCombo);
            sourceCombo->setCurrentIndex(previous >= 0 ? previous : kSourceLiveImage);
            if (previous < 0)
                gSource = kSourceLiveImage;
            return;
        }
        if (s != kSourceLiveImage) {
            Call(Teaching().setOutput, kAlarmOut, 0);
            Call(Teaching().flushOutputs);
        }
    }
    for (int c = 0; c < numCamera; ++c) {
        if (CammerWidget* v = View(c)) {
            v->curTempIndex = 0;
            v->DeselectROI();
            v->ShowHideROIPara();
        }
    }

    if (gpState) {
        int& camera = gpState->viewCamera;
        if (camera < 0 || camera > numCamera || (s != kSourceLiveImage && camera == numCamera)) {
            camera = 0;
            Call(Teaching().changeCammer);
        }
        const QSignalBlocker block(cameraCombo);
        cameraCombo->setCurrentIndex(std::min(camera, cameraCombo->count() - 1));
    }

    Call(Teaching().showStatusStrip, s != kSourceTemplate);
    showHideButton->setChecked(false);
    lastButton->setText(LanStr(kTextPreviousPicture));
    nextButton->setText(LanStr(kTextNextPicture));
    Call(Teaching().showHelpButton, false);
    Call(Teaching().zoomToMin);

    const int d = gpState ? std::clamp(gpState->curDetect, 0, kMaxDetections - 1) : 0;
    CammerWidget* v = SelectedView();
    switch (s) {
        case kSourceTemplate:
            SetIdleCaptions();
            lastButton->setText(LanStr(kTextPreviousTemplate));
            nextButton->setText(LanStr(kTextNextTemplate));
            if (gpState)
                gpState->drawMode = kDrawNone;
            setCheckable();
            if (reloadEditStore) {
                reloadEditStore = false;
                for (int c = 0; c < numCamera; ++c) {
                    CammerWidget* w = View(c);
                    if (!w || !w->storeA || !w->storeB)
                        continue;
                    CopyStore(*w->storeB, *w->storeA);
                    w->BackMask();
                }
            }
            if (v) {
                ShowTemplate(v, v->curTempIndex);
                v->update();
            }
            break;
        case kSourceLiveImage:
            if (page == kPageAlarm) {
                const WizardPara& p = LivePara();
                const int step = gpState ? gpState->step : 0;
                const bool hold = p.holdImageAfterAlarm && !p.okNgPulses &&
                                  ((!p.ejectorPulseNoAlarm && step == 0) || (!p.moldNgPulse && step == 1));
                for (int c = 0; c < numCamera; ++c) {
                    CammerWidget* w = View(c);
                    if (!w)
                        continue;
                    w->blinkState = 0;
                    if (hold && w->alignedImage && w->curImage)
                        std::memcpy(w->curImage, w->alignedImage, size_t(w->imageBytes));
                }
                showIgnoredButton->setText(LanStr(kTextDisplayIgnoredP));
            }
            break;
        case kSourceRecentNG:
            if (v) {
                v->recentNgView = 0;
                if (v->recentNg[d][0] && v->curImage)
                    std::memcpy(v->curImage, v->recentNg[d][0], size_t(v->imageBytes));
                v->update();
            }
            break;
        case kSourceOKRecord:
        case kSourceNGRecord:
            recordIndex = 0;
            recordIsOk = s == kSourceOKRecord;
            LoadPic();
            if (v)
                v->update();
            break;
        default:
            break;
    }
    SlotChangePage();
}

void DrawROIWidget::ShowTemplate(CammerWidget* v, int index)
{
    const int d = gpState ? gpState->curDetect : 0;
    if (d < 0 || d >= kMaxDetections || !v->templates[d] || index < 0 || index >= v->templateSlots[d] || !v->curImage)
        return;
    std::memcpy(v->curImage, v->templates[d][index], size_t(v->imageBytes));
    GetTempTIme(v->cameraIndex, d, index);
    if (gisColor && v->grayImage) {
        auto* rgba = reinterpret_cast<int*>(v->templates[d][index]);
        if (gisGrayHue)
            RGBA2Gray(v->grayImage, rgba, v->imageWidth, v->imageHeight);
        else
            RGBA2Hue(v->grayImage, rgba, v->imageWidth, v->imageHeight);
    }
}

// ---- camera and detection ----

void DrawROIWidget::SlotChangeCamera(int i)
{
    if (i >= numCamera)
        i = gSource == kSourceLiveImage ? numCamera : numCamera - 1;
    if (gpState)
        gpState->viewCamera = i;
    Call(Teaching().changeCammer);
    SlotChangeSource(gSource);
}

void DrawROIWidget::SlotChangeDetect(int d)
{
    static int sisShowWarn = 1;  // each note once per run
    if (!gpState || !SelectedView() || d < 0)
        return;
    if (gSource != kSourceTemplate && gSource != kSourceRecentNG && gSource != kSourceOKRecord &&
        gSource != kSourceNGRecord)
        return;
    const WizardPara& p = LivePara();
    gpState->copyMode = false;
    const bool sides = SideModes();
    const int k = sides ? (d & 1) : d;
    const auto sidesNote = [&] {
        if (p.sameParams && gSource == kSourceTemplate && sisShowWarn && sides && d > 1) {
            WarnOperator(LanStr(kTextSameParamsSides));
            sisShowWarn = 0;
        }
    };
    if (k == 0 && p.detectMode != kModeMulti) {
        if (!p.detectProd) {
            WarnOperator(LanStr(kTextProdNotEnabled));
            detectCombo->setCurrentIndex(1);
            return;
        }
        sidesNote();
    } else {
        if (p.sameParams && p.detectEnabled[0] && sisShowWarn && p.detectMode == kModeStandard &&
            gSource == kSourceTemplate) {
            WarnOperator(LanStr(kTextSameParamsStandard));
            sisShowWarn = 0;
        }
        sidesNote();
    }
    SelectedView()->DeselectROI();
    gpState->drawMode = kDrawNone;
    gpState->curDetect = d;
    SlotChangeSource(gSource);
}

// ---- picture lists and browsing ----

void DrawROIWidget::LoadPic()
{
    recordCamera = cameraCombo->currentIndex();
    recordDetect = detectCombo->currentIndex();
    if (recordCamera < 0 || recordCamera >= numCamera || recordCamera >= kMaxCameras)
        recordCamera = 0;
    if (recordDetect < 0 || recordDetect >= gDNum || recordDetect >= kMaxDetections)
        recordDetect = 0;
    if (!gpState) {
        recordCount = 0;
        return;
    }
    const QDir& dir = gpState->failDirs[recordCamera][recordDetect][recordIsOk ? 1 : 0];
    const QFileInfoList pictures =
        dir.path().isEmpty() ? QFileInfoList() : dir.entryInfoList({"*.jpg"}, QDir::Files, QDir::Time);
    recordCount = pictures.size();
    if (recordCount == 0) {
        recordIndex = 0;
        recordName.clear();
        return;
    }
    recordIndex = std::clamp(recordIndex, 0, recordCount - 1);
    const QFileInfo& shown = pictures.at(recordIndex);
    recordName = shown.fileName();
    recordName.chop(4);  // ".jpg"
    recordImage = QImage(shown.absoluteFilePath());
}

void DrawROIWidget::SlotTempLast()
{
    CammerWidget* v = SelectedView();
    const int d = gpState ? gpState->curDetect : -1;
    if (!v || v->curTempIndex < 0 || v->curTempIndex >= gTempNum || d < 0 || d >= gDNum || d >= kMaxDetections)
        return;
    if (gSource == kSourceTemplate && v->templateValid[d]) {
        const int slotCount = std::min(gTempNum, v->templateSlots[d]);
        int index = v->curTempIndex;
        for (int tries = 0; tries < slotCount; ++tries) {
            index = index <= 0 ? slotCount - 1 : index - 1;
            if (v->templateValid[d][index] == 1)
                break;
        }
        v->curTempIndex = index;
        ShowTemplate(v, index);
    } else if (gSource == kSourceRecentNG) {
        const int n = v->recentNgPos[d];
        if (n > kRecentNgCount)
            v->recentNgView = v->recentNgView <= 0 ? kRecentNgLast : v->recentNgView - 1;
        else if (n >= 1)
            v->recentNgView = v->recentNgView <= 0 ? n - 1 : v->recentNgView - 1;
        else
            v->recentNgView = 0;
        if (v->recentNg[d][v->recentNgView] && v->curImage)
            std::memcpy(v->curImage, v->recentNg[d][v->recentNgView], size_t(v->imageBytes));
    } else if (gSource == kSourceOKRecord || gSource == kSourceNGRecord) {
        if (recordCount == 0)
            return;
        recordIndex = recordIndex <= 0 ? recordCount - 1 : recordIndex - 1;
        LoadPic();
    }
    v->update();
}

void DrawROIWidget::SlotTempNext()
{
    CammerWidget* v = SelectedView();
    const int d = gpState ? gpState->curDetect : -1;
    if (!v || v->curTempIndex < 0 || v->curTempIndex >= gTempNum || d < 0 || d >= gDNum || d >= kMaxDetections)
        return;
    if (gSource == kSourceTemplate && v->templateValid[d]) {
        const int slotCount = std::min(gTempNum, v->templateSlots[d]);
        int index = v->curTempIndex;
        for (int tries = 0; tries < slotCount; ++tries) {
            index = index >= slotCount - 1 ? 0 : index + 1;
            if (v->templateValid[d][index] == 1)
                break;
        }
        v->curTempIndex = index;
        ShowTemplate(v, index);
    } else if (gSource == kSourceRecentNG) {
        const int n = v->recentNgPos[d];
        const int last = n >= kRecentNgCount + 1 ? kRecentNgLast : n - 1;
        v->recentNgView = n == 0 ? 0 : (v->recentNgView >= last ? 0 : v->recentNgView + 1);
        if (v->recentNg[d][v->recentNgView] && v->curImage)
            std::memcpy(v->curImage, v->recentNg[d][v->recentNgView], size_t(v->imageBytes));
    } else if (gSource == kSourceOKRecord || gSource == kSourceNGRecord) {
        if (recordCount == 0)
            return;
        recordIndex = recordIndex >= recordCount - 1 ? 0 : recordIndex + 1;
        LoadPic();
    }
    v->update();
}

void DrawROIWidget::SlotAutoChange()
{
    if (!gpState || gpState->pageState != kPageAlarm || !SelectedView())
        return;
    if (gSource == kSourceLiveImage) {
        setSource(kSourceTemplate);
    } else if (gSource == kSourceTemplate) {
        setSource(kSourceLiveImage);
        for (int c = 0; c < numCamera; ++c) {
            CammerWidget* v = View(c);
            if (!v || v->cameraOk)
                continue;
            v->blinkState = 0;
            if (v->timerShowAlarm)
                v->timerShowAlarm->start(kAlarmBlinkMs);
        }
    }
}
