// Settings screen: construction of the pages and controls, page switching, filling and painting.
#include "wizardparawidget.h"

#include <QHideEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>

#include "cammerwidget.h"
#include "checkbox.h"
#include "choosecalinumwidget.h"
#include "colorbutton.h"
#include "combobox.h"
#include "edit.h"
#include "editbox.h"
#include "globals.h"
#include "iowidget.h"
#include "lanstr.h"
#include "modifytimewidget.h"
#include "networksettingdialog.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "pagedialogs.h"
#include "settingstable.h"
#include "textfit.h"
#include "wizardpara.h"

using SettingsTable::Control;
using SettingsTable::Kind;
using SettingsTable::Show;

namespace {

constexpr int kNavX = 700;
constexpr int kNavY = 10;
constexpr int kNavWidth = 195;
constexpr int kNavHeight = 60;
constexpr int kNavGap = 8;
constexpr int kTop = 105;
constexpr int kBoxStep = 60;
constexpr int kCheckStep = 44;
constexpr int kCheckLineStep = 34;  // each further line of a check box's caption
constexpr int kComboWidth = 230;
constexpr int kComboCaptionWidth = 330;
constexpr int kComboHeight = 50;
constexpr int kButtonWidth = 270;
constexpr int kButtonHeight = 60;
constexpr int kButtonSizeClass = 3;
constexpr int kFontPx = 25;
constexpr int kComboFontPx = 25;
// Page 1 leaves the left part open, so the camera shown full size stays in sight.
constexpr int kCameraPanelX = 620;
const QColor kBackground(18, 40, 70);

// Text entries of the pages.
constexpr int kTextConfirm = 121;
constexpr int kTextCameraParam = 128;
constexpr int kTextSwitchCamera = 163;
constexpr int kTextExposure = 164;
constexpr int kTextGain = 165;
constexpr int kTextChangePwd = 171;
constexpr int kTextResetCount = 172;
constexpr int kTextBackup = 182;
constexpr int kTextRestoreGroup = 183;
constexpr int kTextDeleteGroup = 184;
constexpr int kTextAdvanced = 205;
constexpr int kTextOpRecord = 206;
constexpr int kTextShutDownButton = 209;
constexpr int kTextExit = 210;
constexpr int kTextSystemParam = 215;
constexpr int kTextDelay = 219;
constexpr int kTextParamCamera = 221;
constexpr int kTextReDetectTimes = 222;
constexpr int kTextPasswordSettings = 225;
constexpr int kTextNewPwd = 226;
constexpr int kTextConfirmPwd = 227;
constexpr int kTextFunctionSettings = 228;
constexpr int kTextAdvancedTitle = 229;
constexpr int kTextClarity = 241;
constexpr int kTextTruth = 242;
constexpr int kTextInputOutputTitle = 259;
constexpr int kTextCameraTitle = 260;
constexpr int kTextParamGroup = 261;
constexpr int kTextNetworkParam = 262;
constexpr int kTextInputOutput = 266;
constexpr int kTextSystemTitle = 267;
constexpr int kTextCompletely = 299;
constexpr int kTextSimply = 300;
constexpr int kTextLanguage = 317;
constexpr int kTextUpdate = 325;
constexpr int kTextExport = 326;
constexpr int kTextSameFilter = 333;
constexpr int kTextGamma = 364;
constexpr int kTextReordering = 396;
constexpr int kTextModifyTime = 401;
constexpr int kTextCalibrate = 458;
constexpr int kTextCustomIo = 473;
constexpr int kTextIoName = 498;
constexpr int kTextAutoExposure = 500;
constexpr int kTextRestoreCamera = 526;
constexpr int kTextFactoryRestore = 551;
constexpr int kTextVersionLibrary = 615;
constexpr int kTextHMirror = 617;
constexpr int kTextVMirror = 618;
constexpr int kTextMultiDelayFirst = 508;
constexpr int kTextMultiDelaySecond = 509;
constexpr int kTextEnableFirst = 510;
constexpr int kTextSameAllMolds = 514;
constexpr int kTextEnableProd = 175;
constexpr int kTextSameParams = 177;

constexpr int kRowFactoryParams = 82;
constexpr int kRowShowAll = 41;
constexpr int kRowNextMode = 64;
constexpr int kRowOutputs = 53;
constexpr int kRowTestImages = 87;
constexpr int kIoPage = 3;

const char* const kVersion = "V18.0.1.67";
const char* const kFont = "wqy-microhei";

QFont PageFont(int px = kFontPx)
{
    QFont f(QString::fromLatin1(kFont));
    f.setPixelSize(px);
    return f;
}

// A combo with its caption on the left; the caption may be empty.
QWidget* CaptionedCombo(QWidget* parent, const QString& caption, ComboBox** combo)
{
    auto* holder = new QWidget(parent);
    auto* label = new QLabel(caption, holder);
    label->setFont(PageFont());
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::yellow);
    label->setPalette(p);
    const int captionWidth = caption.isEmpty() ? 0 : kComboCaptionWidth;
    label->setGeometry(0, 0, captionWidth, kComboHeight);
    TextFit::FitLabel(label, caption);
    *combo = new ComboBox(holder);
    (*combo)->setFont(PageFont(kComboFontPx));
    (*combo)->setGeometry(captionWidth, 0, kComboWidth, kComboHeight);
    holder->resize(captionWidth + kComboWidth, kComboHeight);
    return holder;
}

// A check box's caption may run over several lines.
int StepOf(const Control& c, const QWidget* w)
{
    if (c.kind != Kind::Check && c.kind != Kind::InvertedCheck)
        return kBoxStep;
    const auto* box = static_cast<const QCheckBox*>(w);
    return kCheckStep + kCheckLineStep * box->text().count('\n');
}

// Where a page's column starts: page 1 keeps its titles and buttons above its details.
int ColumnTop(int page, int column)
{
    if (page == 1 && column == 2)
        return kTop + 7 * kBoxStep;
    if (page == 1 && column == 1)
        return kTop + 60;
    return kTop;
}

// Captions of the compact boxes: as wide as their column leaves room for.
constexpr int kBoxCaptionWidth = 270;
// Room a check box's indicator and its gap take from the caption.
constexpr int kCheckIndicatorRoom = 48;
// The painted captions beside the delay boxes of page 0 end before its last column.
constexpr int kPage0LabelX = 935;
constexpr int kLabelHeight = 70;

// Where a column of a page starts: the camera page gives its switches more room, its
// tuning boxes are compact.
int ColumnX(int page, int column)
{
    constexpr int kCameraPageLastColumn = 1320;
    return page == 1 && column == 2 ? kCameraPageLastColumn : SettingsTable::kColumnX[column];
}

// The right edge a control of `column` may reach: the next column, or the screen's edge.
int ColumnRight(int page, int column)
{
    constexpr int kGap = 10;
    const int columns = int(std::size(SettingsTable::kColumnX));
    return column + 1 < columns ? ColumnX(page, column + 1) - kGap : gShowW - 2 * kGap;
}

// A check box's caption broken into lines that end before the next column.
void SetCheckText(QCheckBox* box, const QString& text, int right)
{
    const int room = right - box->x() - kCheckIndicatorRoom;
    box->setText(TextFit::Wrap(text, QFontMetrics(box->font()), room));
    box->adjustSize();
}
// Page 4's system actions stand under its last column, from this height on.
constexpr int kActionsTop = 540;
constexpr int kActionsGap = 20;
// Page 4's group and password rows.
constexpr int kGroupNameWidth = 250;
constexpr int kGroupGap = 15;
constexpr int kPwdRowY = 975;
constexpr int kPwdGap = 10;
// Page 5: the list of record files, and the table beside it in a smaller font.
constexpr int kRecordListWidth = 250;
constexpr int kRecordGap = 15;
constexpr int kRecordHeight = 940;
constexpr int kRecordFontPx = 20;
// Room the rounded edges of a button keep from its caption.
constexpr int kButtonPadding = 12;
// Keypads of the page's text fields, shown in the screen itself.
constexpr int kTypeText = Edit::kCharPad | Edit::kInParent;
constexpr int kTypePassword = Edit::kNumericPad | Edit::kInParent;

}  // namespace

SettingsServices& Settings()
{
    static SettingsServices services;
    return services;
}

WizardParaWidget::WizardParaWidget(MoJuWizard* parent, bool pagesWhenShown) : QWidget(parent), win(parent)
{
    setObjectName(QStringLiteral("WizardParaWidget"));
    setGeometry(0, 0, gShowW, gShowH);
    setFont(PageFont());

    autoExposeTimer = new QTimer(this);
    autoExposeTimer->setSingleShot(true);
    connect(autoExposeTimer, &QTimer::timeout, this, &WizardParaWidget::SlotAutoExposeTimeTimeout);
    chooseCaliNumWidget = new ChooseCaliNumWidget(this);
    chooseCaliNumWidget->hide();

    if (!pagesWhenShown)
        buildPages();
}

void WizardParaWidget::buildPages()
{
    if (pagesBuilt)
        return;
    pagesBuilt = true;
    const QVector<int> nav = {kTextSystemParam, kTextCameraParam, kTextNetworkParam,
                              kTextInputOutput, kTextAdvanced,    kTextConfirm};
    for (int i = 0; i < nav.size(); ++i) {
        auto* b = new ColorButton(LanStr(nav[i]), this, kButtonSizeClass);
        b->setGeometry(kNavX + i * (kNavWidth + kNavGap), kNavY, kNavWidth, kNavHeight);
        navButtons << b;
    }
    connect(navButtons[0], &QPushButton::clicked, this, &WizardParaWidget::SlotToCommon);
    connect(navButtons[1], &QPushButton::clicked, this, &WizardParaWidget::SlotToCamera);
    connect(navButtons[2], &QPushButton::clicked, this, &WizardParaWidget::SlotToNetwork);
    connect(navButtons[3], &QPushButton::clicked, this, &WizardParaWidget::SlotToIO);
    connect(navButtons[4], &QPushButton::clicked, this, &WizardParaWidget::SlotToAdvance);
    connect(navButtons[5], &QPushButton::clicked, this, &WizardParaWidget::accept);

    buildControls();
    buildExtras();
    layoutColumns();
    ResetEBoxTrigDelayPos(2);

    ioWidget = new IOWidget(this);
    ioWidget->hide();
    modifyTimeWidget = new ModifyTimeWidget(this);
    modifyTimeWidget->hide();
    // The touch-calibration question stays above the pages built after it.
    chooseCaliNumWidget->raise();

    connectActions();
    ParaGroupUpdateList();
}

void WizardParaWidget::buildControls()
{
    const QVector<Control>& table = SettingsTable::controls();
    controlWidgets.resize(table.size());
    for (int i = 0; i < table.size(); ++i) {
        const Control& c = table[i];
        QString text = SettingsTable::caption(c);
        QWidget* w = nullptr;
        switch (c.kind) {
            case Kind::Box: {
                auto* b = new EditBox(c.min, c.max, this, text, QString(), c.tenths ? 2 : 0, c.tenths ? 10 : 1);
                if (c.page != 0) {
                    b->setSampleMode();
                    b->caption->setFixedWidth(kBoxCaptionWidth);
                    TextFit::Refit(b->caption);
                }
                w = b;
                break;
            }
            case Kind::Check:
            case Kind::InvertedCheck: {
                auto* box = new CheckBox(this, text);
                box->move(ColumnX(c.page, c.column), 0);
                SetCheckText(box, text, ColumnRight(c.page, c.column));
                w = box;
                break;
            }
            case Kind::Combo: {
                ComboBox* cb = nullptr;
                w = CaptionedCombo(this, c.row == 64 || c.row == 65 ? QString() : text, &cb);
                if (c.items)
                    cb->addItems(QString::fromUtf8(c.items).split('|'));
                for (int entry : c.itemEntries) cb->addItem(LanStr(entry));
                break;
            }
        }
        w->hide();
        controlWidgets[i] = w;
    }
    connect(check(27), &QCheckBox::stateChanged, this, &WizardParaWidget::SetAutoWDR);
    connect(combo(kRowNextMode), QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &WizardParaWidget::SlotChangeSysFun);
    // Switches that change what the pages show take effect at once.
    for (int row : {kRowFactoryParams, kRowShowAll})
        connect(check(row), &QCheckBox::clicked, this, &WizardParaWidget::DoChangePage);
}

void WizardParaWidget::buildExtras()
{
    using S = ExtraShow;
    auto add = [this](QWidget* w, int page, ExtraShow show, int x, int y) {
        w->move(x, y);
        w->hide();
        extras << Extra{w, page, show};
    };
    auto button = [this](int entry, const QString& fixed = QString()) {
        auto* b = new ColorButton(entry >= 0 ? LanStr(entry) : fixed, this, kButtonSizeClass);
        b->resize(kButtonWidth, kButtonHeight);
        return b;
    };
    const int x2 = SettingsTable::kColumnX[2];
    const int x1 = SettingsTable::kColumnX[1];
    const int x0 = SettingsTable::kColumnX[0];

    // Page 0: reset count, language, shut down.
    resetCountButton = button(kTextResetCount);
    add(resetCountButton, 0, S::Always, x2, 700);
    ComboBox* lan = nullptr;
    QWidget* lanHolder = CaptionedCombo(this, QString(), &lan);
    languageCombo = lan;
    for (int l = 0; l < kLanColumns; ++l) languageCombo->addItem(gaLanStr[kTextLanguage * kLanColumns + l]);
    add(lanHolder, 0, S::Always, x2, 780);
    shutDownButton = button(kTextShutDownButton);
    add(shutDownButton, 0, S::Always, x2, 850);

    // Page 1: the camera boxes and buttons.
    const int cx = ColumnX(1, 2);
    auto cameraBox = [this](int entry, const char* fallback, int min, int max) {
        auto* b = new EditBox(min, max, this, entry >= 0 ? LanStr(entry) : QString::fromLatin1(fallback));
        b->setSampleMode();
        b->caption->setFixedWidth(kBoxCaptionWidth);
        TextFit::Refit(b->caption);
        return b;
    };
    exposureBox = cameraBox(kTextExposure, nullptr, 1, 100);
    gainBox = cameraBox(kTextGain, nullptr, 0, 64);
    clarityBox = cameraBox(kTextClarity, nullptr, 0, 100);
    truthBox = cameraBox(kTextTruth, nullptr, 0, 200);
    gammaBox = cameraBox(kTextGamma, nullptr, 0, 250);
    connect(exposureBox, &EditBox::valueChanged, this, &WizardParaWidget::SetExposeTime);
    connect(gainBox, &EditBox::valueChanged, this, &WizardParaWidget::SetAdjust);
    connect(clarityBox, &EditBox::valueChanged, this, &WizardParaWidget::SetSharp);
    connect(truthBox, &EditBox::valueChanged, this, &WizardParaWidget::SetContrast);
    connect(gammaBox, &EditBox::valueChanged, this, &WizardParaWidget::SetGamma);
    add(exposureBox, 1, S::Always, cx, kTop + 2 * kBoxStep);
    add(gainBox, 1, S::Always, cx, kTop + 3 * kBoxStep);
    add(clarityBox, 1, S::Factory, cx, kTop + 4 * kBoxStep);
    add(truthBox, 1, S::Factory, cx, kTop + 5 * kBoxStep);
    add(gammaBox, 1, S::Factory, cx, kTop + 6 * kBoxStep);
    hMirrorBox = new CheckBox(this, LanStr(kTextHMirror));
    vMirrorBox = new CheckBox(this, LanStr(kTextVMirror));
    for (CheckBox* mirror : {hMirrorBox, vMirrorBox}) {
        mirror->move(cx, 0);
        SetCheckText(mirror, mirror->text(), ColumnRight(1, 2));
    }
    connect(hMirrorBox, &QCheckBox::clicked, this, &WizardParaWidget::SetHMirror);
    connect(vMirrorBox, &QCheckBox::clicked, this, &WizardParaWidget::SetVMirror);
    add(hMirrorBox, 1, S::FactoryDetail, cx, kTop + 8 * kBoxStep);
    add(vMirrorBox, 1, S::FactoryDetail, cx, kTop + 8 * kBoxStep + kCheckStep);
    showModeButton = button(kTextSimply);
    connect(showModeButton, &QPushButton::clicked, this, &WizardParaWidget::SlotChangeShowMode);
    add(showModeButton, 1, S::Always, cx, kTop);
    auto* switchCamera = button(kTextSwitchCamera);
    connect(switchCamera, &QPushButton::clicked, this, &WizardParaWidget::SlotChangeCamera);
    add(switchCamera, 1, S::Always, cx + kButtonWidth + 20, kTop);
    auto* restore = button(kTextRestoreCamera);
    connect(restore, &QPushButton::clicked, this, &WizardParaWidget::SlotRestoreDefaultSettings);
    add(restore, 1, S::Always, cx, kTop + kBoxStep + 5);
    auto* autoExpose = button(kTextAutoExposure);
    connect(autoExpose, &QPushButton::clicked, this, &WizardParaWidget::SlotAutoExposeTime);
    add(autoExpose, 1, S::Always, cx + kButtonWidth + 20, kTop + kBoxStep + 5);
    tuneCameraButton = button(kTextReordering);
    connect(tuneCameraButton, &QPushButton::clicked, this, &WizardParaWidget::SlotTuneCamera);
    add(tuneCameraButton, 1, S::NotSimple, cx, kTop + 10 * kBoxStep);

    // Page 3: the multi-detection IO dialog and the IO naming page.
    customIoButton = button(kTextCustomIo);
    connect(customIoButton, &QPushButton::clicked, this, &WizardParaWidget::SlotShowIOWidget);
    ioNameButton = button(kTextIoName);
    customIoButton->move(x1, 900);
    ioNameButton->move(x1 + kButtonWidth + 20, 900);
    customIoButton->hide();
    ioNameButton->hide();

    // Page 4: groups, password and the system actions.
    groupNameEdit = new Edit(kTypeText, this, 1);
    groupNameEdit->setFont(PageFont());
    groupNameEdit->resize(kGroupNameWidth, kComboHeight);
    add(groupNameEdit, 4, S::Always, x0, 800);
    ComboBox* groups = nullptr;
    QWidget* groupHolder = CaptionedCombo(this, QString(), &groups);
    groupCombo = groups;
    // Group names are the operator's: the list has the room up to the next column.
    groupCombo->resize(x1 - x0 - kGroupNameWidth - 2 * kGroupGap, kComboHeight);
    groupHolder->resize(groupCombo->size());
    connect(groupCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &WizardParaWidget::SlotParaGroupChange);
    add(groupHolder, 4, S::Always, x0 + kGroupNameWidth + kGroupGap, 800);
    backupButton = button(kTextBackup);
    restoreGroupButton = button(kTextRestoreGroup);
    deleteGroupButton = button(kTextDeleteGroup);
    ColorButton* const groupButtons[] = {backupButton, restoreGroupButton, deleteGroupButton};
    for (int i = 0; i < 3; ++i) {
        ColorButton* b = groupButtons[i];
        b->resize(180, kButtonHeight);
        add(b, 4, S::Always, x0 + i * 190, 860);
    }
    newPwdEdit = new Edit(kTypePassword, this, 1);
    confirmPwdEdit = new Edit(kTypePassword, this, 1);
    for (Edit* e : {newPwdEdit, confirmPwdEdit}) {
        e->setFont(PageFont());
        e->setEchoMode(QLineEdit::Password);
        e->resize(200, kComboHeight);
    }
    // Each edit follows its painted caption ("New:", "Confirm:"), whose width the language sets.
    const QFontMetrics captions(PageFont());
    newPwdEdit->move(x0 + captions.horizontalAdvance(LanStr(kTextNewPwd)) + kPwdGap, kPwdRowY);
    const int confirmLabelX = newPwdEdit->geometry().right() + 2 * kPwdGap;
    confirmPwdEdit->move(confirmLabelX + captions.horizontalAdvance(LanStr(kTextConfirmPwd)) + kPwdGap, kPwdRowY);
    add(newPwdEdit, 4, S::Always, newPwdEdit->x(), kPwdRowY);
    add(confirmPwdEdit, 4, S::Always, confirmPwdEdit->x(), kPwdRowY);
    changePwdButton = button(kTextChangePwd);
    add(changePwdButton, 4, S::Always, std::max(x1 + 160, confirmPwdEdit->geometry().right() + 2 * kPwdGap), kPwdRowY);
    // The system actions, two to a row.
    factoryRestoreButton = button(kTextFactoryRestore);
    versionButton = button(kTextVersionLibrary);
    updateButton = button(kTextUpdate);
    exportButton = button(kTextExport);
    exitButton = button(kTextExit);
    saveImageButton = button(-1, tr("存图设置"));
    modifyTimeButton = button(kTextModifyTime);
    calibrateButton = button(kTextCalibrate);
    recordButton = button(kTextOpRecord);
    // Placed under the last column by layoutColumns.
    for (ColorButton* b : {factoryRestoreButton, versionButton, updateButton, exportButton, exitButton,
                           saveImageButton, modifyTimeButton, calibrateButton, recordButton})
        add(b, 4, S::Always, x2, 0);

    // Page 5: the records.
    // The table is as wide as its three columns, so none is cut off at the right.
    recordList = new QListWidget(this);
    recordList->setGeometry(x0, kTop, kRecordListWidth, kRecordHeight);
    recordTable = new QTableView(this);
    const int tableX = x0 + kRecordListWidth + kRecordGap;
    recordTable->setGeometry(tableX, kTop, gShowW - tableX - kRecordGap, kRecordHeight);
    recordTable->setFont(PageFont(kRecordFontPx));
    add(recordList, 5, S::Always, x0, kTop);
    add(recordTable, 5, S::Always, tableX, kTop);

    // Button captions fitted to their buttons.
    for (ColorButton* b : findChildren<ColorButton*>(QString(), Qt::FindDirectChildrenOnly))
        fitButton(b, b->text());
}

void WizardParaWidget::layoutColumns()
{
    const QVector<Control>& table = SettingsTable::controls();
    int y[6][3];
    for (int p = 0; p < 6; ++p)
        for (int c = 0; c < 3; ++c) y[p][c] = ColumnTop(p, c);
    for (int i = 0; i < table.size(); ++i) {
        const Control& c = table[i];
        // Page 0's first column follows the delay boxes (ResetEBoxTrigDelayPos); controls
        // hidden on this visit leave no gap.
        if (c.page == 0 && c.column == 0)
            continue;
        if (c.page == page && !controlWidgets[i]->isVisibleTo(this))
            continue;
        int& at = y[c.page][c.column];
        controlWidgets[i]->move(ColumnX(c.page, c.column), at);
        at += StepOf(c, controlWidgets[i]);
    }
    // Page 4's system actions, two to a row, under its last column of switches.
    ColorButton* const actions[] = {factoryRestoreButton, versionButton,    updateButton,    exportButton, exitButton,
                                    saveImageButton,      modifyTimeButton, calibrateButton, recordButton};
    const int top = std::max(kActionsTop, y[4][2] + kActionsGap);
    for (int i = 0; i < int(std::size(actions)); ++i)
        actions[i]->move(SettingsTable::kColumnX[2] + (i % 2) * (kButtonWidth + 15), top + (i / 2) * (kButtonHeight + 8));
}

EditBox* WizardParaWidget::box(int row) const
{
    const auto& t = SettingsTable::controls();
    for (int i = 0; i < t.size(); ++i)
        if (t[i].row == row)
            return qobject_cast<EditBox*>(controlWidgets[i]);
    return nullptr;
}

CheckBox* WizardParaWidget::check(int row) const
{
    const auto& t = SettingsTable::controls();
    for (int i = 0; i < t.size(); ++i)
        if (t[i].row == row)
            return dynamic_cast<CheckBox*>(controlWidgets[i]);
    return nullptr;
}

ComboBox* WizardParaWidget::combo(int row, int output) const
{
    const auto& t = SettingsTable::controls();
    for (int i = 0; i < t.size(); ++i)
        if (t[i].row == row && t[i].outputNumber == output)
            return controlWidgets[i]->findChild<ComboBox*>();
    return nullptr;
}

int WizardParaWidget::modeInForce() const
{
    return gpWPara ? gpWPara->detectMode : kModeStandard;
}

int WizardParaWidget::shownDetections() const
{
    return gpWParaBak ? gpWParaBak->detectCount : 2;
}

bool WizardParaWidget::checkOutputNum(int i) const
{
    return modeInForce() == kModeMulti || i < 4;
}

bool WizardParaWidget::controlShown(int index) const
{
    const Control& c = SettingsTable::controls()[index];
    const bool factory = check(kRowFactoryParams)->isChecked();
    switch (c.show) {
        case Show::Always:
            return true;
        case Show::Factory:
            return factory;
        case Show::MultiDelay:
            return modeInForce() == kModeMulti && c.row - 1 < shownDetections();
        case Show::UnlessShowAll:
            return !check(kRowShowAll)->isChecked();
        case Show::Never:
            return false;
        case Show::OutputState:
            if (c.outputNumber <= 4)
                return factory;
            return factory && modeInForce() == kModeMulti && shownDetections() >= c.outputNumber - 1;
        case Show::MouldSide: {
            const int next = combo(kRowNextMode)->currentIndex();
            return next == kModeTwoColour || next == kModeTurntable;
        }
        case Show::FactoryDetail:
            return factory && !simpleDisplay;
    }
    return false;
}

void WizardParaWidget::DoChangePage()
{
    if (gpNumPad)
        gpNumPad->HideUpdate();
    if (gpNumCharPad)
        gpNumCharPad->HideUpdate();
    for (QWidget* w : controlWidgets) w->hide();
    for (const Extra& e : extras) e.widget->hide();
    customIoButton->hide();
    ioNameButton->hide();
    for (ColorButton* b : navButtons) b->setVisible(!simpleDisplay);

    const QVector<Control>& table = SettingsTable::controls();
    for (int i = 0; i < table.size(); ++i)
        if (table[i].page == page && controlShown(i))
            controlWidgets[i]->show();
    const bool factory = check(kRowFactoryParams)->isChecked();
    for (const Extra& e : extras) {
        if (e.page != page)
            continue;
        bool shown = true;
        switch (e.show) {
            case ExtraShow::Always:
                break;
            case ExtraShow::NotSimple:
                shown = !simpleDisplay;
                break;
            case ExtraShow::Factory:
                shown = factory;
                break;
            case ExtraShow::FactoryDetail:
                shown = factory && !simpleDisplay;
                break;
        }
        e.widget->setVisible(shown);
    }
    if (page == 3)
        SlotChangeSysFun(combo(kRowNextMode)->currentIndex());
    layoutColumns();
    if (page == 0)
        ResetEBoxTrigDelayPos(modeInForce() == kModeMulti ? shownDetections() : 2);
    update();
}

void WizardParaWidget::ResetEBoxTrigDelayPos(int count)
{
    const bool wide = gShowW > 1024;
    const int row = wide ? (modeInForce() == kModeMulti ? 53 : 60) : 35;
    const int step = wide ? 60 : 35;
    const int gap = wide ? 50 : 30;
    const int top = wide ? 105 : 63;
    const int y0 = count * row + top;
    constexpr int x = 30;
    // The delay boxes themselves stand one row apart from the top.
    for (int d = 1; d <= 8; ++d)
        if (EditBox* b = box(d))
            b->move(x, top + (d - 1) * row);
    box(9)->move(x, y0 + gap);
    box(10)->move(x, y0 + 2 * gap);
    const int filter = y0 + 2 * gap + row + step;
    box(11)->move(x, filter);
    box(12)->move(x, filter + step);
    box(13)->move(x, filter + 2 * step);
    box(14)->move(x, filter + 3 * step);
}

void WizardParaWidget::fitButton(ColorButton* button, const QString& text)
{
    TextFit::FitButton(button, text, kButtonPadding);
}

void WizardParaWidget::ResetReCheck1Text(const QString& text)
{
    box(9)->setText(text);
}

void WizardParaWidget::WizardParaInit()
{
    if (!gpWParaBak)
        return;
    if (win && win->viewCamera == numCamera && numCamera > 0) {
        win->viewCamera = 0;
        win->ChangeCammer();
    }
    cameraIndex = win ? win->viewCamera : 0;
    simpleDisplay = 0;
    fitButton(showModeButton, LanStr(kTextSimply));

    WizardPara& bak = *gpWParaBak;
    const bool multi = modeInForce() == kModeMulti;
    // Captions that follow the machine mode in force.
    box(1)->setText(LanStr(multi ? kTextMultiDelayFirst : 161));
    box(2)->setText(LanStr(multi ? kTextMultiDelaySecond : 162));
    SetCheckText(check(19), LanStr(multi ? kTextEnableFirst : kTextEnableProd), ColumnRight(0, 2));
    const bool sides = modeInForce() == kModeTwoColour || modeInForce() == kModeTurntable;
    SetCheckText(check(20), LanStr(sides ? kTextSameAllMolds : kTextSameParams), ColumnRight(0, 2));

    const QVector<Control>& table = SettingsTable::controls();
    for (int i = 0; i < table.size(); ++i) {
        const Control& c = table[i];
        if (c.row >= 3 && c.row <= 8 && !multi)
            continue;
        QWidget* w = controlWidgets[i];
        const QSignalBlocker block(w);
        if (c.row == kRowTestImages) {
            check(c.row)->setValue(win && win->saveTestImages ? 1 : 0);
            continue;
        }
        const int v = SettingsTable::fieldValue(bak, c);
        switch (c.kind) {
            case Kind::Box:
                static_cast<EditBox*>(w)->setInputValue(v);
                static_cast<EditBox*>(w)->setValue();
                break;
            case Kind::Check:
                static_cast<CheckBox*>(w)->setValue(v);
                break;
            case Kind::InvertedCheck:
                static_cast<CheckBox*>(w)->setValue(v + 1);
                break;
            case Kind::Combo: {
                ComboBox* cb = w->findChild<ComboBox*>();
                const QSignalBlocker blockCombo(cb);
                cb->setCurrentIndex(v >= 0 && v < cb->count() ? v : 0);
                break;
            }
        }
    }
    cameraBoxesFromRecord();
    {
        const QSignalBlocker block(languageCombo);
        languageCombo->setCurrentIndex(gLan);
    }
    newPwdEdit->clear();
    confirmPwdEdit->clear();
    groupNameEdit->clear();
    if (groupCombo->count() > 0) {
        groupCombo->setCurrentIndex(0);
        const int current = gpWPara ? groupCombo->findData(gpWPara->groupIndex) : -1;
        if (current >= 0)
            groupCombo->setCurrentIndex(current);
    }
    DoChangePage();
}

// The camera page's boxes show camera cameraIndex of the edit copy, without sending anything.
void WizardParaWidget::cameraBoxesFromRecord()
{
    const WizardPara& bak = *gpWParaBak;
    const int c = cameraIndex;
    const std::pair<EditBox*, int> values[] = {{exposureBox, bak.exposeTime[c]},
                                               {clarityBox, bak.sharp[c]},
                                               {gainBox, bak.adjustPlus[c]},
                                               {truthBox, bak.contrast[c]},
                                               {gammaBox, bak.gamma[c]}};
    for (const auto& [b, v] : values) {
        const QSignalBlocker block(b);
        b->setValue(v);
    }
    hMirrorBox->setValue(bak.hMirror[c]);
    vMirrorBox->setValue(bak.vMirror[c]);
}

void WizardParaWidget::SlotToCommon()
{
    if (page == 0)
        return;
    page = 0;
    DoChangePage();
}

void WizardParaWidget::SlotToNetwork()
{
    OpenNetworkDialog(this);
}

void WizardParaWidget::SlotToCamera()
{
    if (page == 1)
        return;
    page = 1;
    DoChangePage();
}

void WizardParaWidget::SlotToIO()
{
    if (page == 3 || !win || !win->CheckRoot())
        return;
    page = 3;
    DoChangePage();
}

void WizardParaWidget::SlotToAdvance()
{
    if (page == 4 || !win || !win->CheckRoot())
        return;
    page = 4;
    DoChangePage();
}

void WizardParaWidget::SlotChangeSysFun(int mode)
{
    combo(65)->parentWidget()->hide();
    customIoButton->hide();
    ioNameButton->hide();
    if (page != 3)
        return;
    if (mode == kModeTwoColour || mode == kModeTurntable)
        combo(65)->parentWidget()->show();
    if (mode == kModeMulti) {
        customIoButton->show();
        ioNameButton->show();
    }
}

void WizardParaWidget::SlotShowIOWidget()
{
    ioWidget->init();
    ioWidget->show();
    ioWidget->raise();
}

void WizardParaWidget::SlotParaGroupChange(int)
{
    groupNameEdit->setText(groupCombo->currentText());
}

// Every show passes here, also with the parent: the pages are built before Qt shows the
// children, as if they had been built at once.
void WizardParaWidget::setVisible(bool visible)
{
    if (visible)
        buildPages();
    QWidget::setVisible(visible);
}

void WizardParaWidget::showEvent(QShowEvent* event)
{
    WizardParaInit();
    QWidget::showEvent(event);
}

void WizardParaWidget::hideEvent(QHideEvent* event)
{
    // Hidden under an open dialog of its own (an NG alarm takes the screen): the dialog goes
    // too, unsaved, as the keypads do, so that nothing stands over the alarm page.
    PageDialogs::CloseOf(this);
    if (gpNumPad)
        gpNumPad->HideUpdate();
    if (gpNumCharPad)
        gpNumCharPad->HideUpdate();
    // The way through the IO naming page keeps the IO page; every other hide starts over.
    page = hidingForNaming ? kIoPage : 0;
    DoChangePage();
    QWidget::hideEvent(event);
}

void WizardParaWidget::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
}

void WizardParaWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(PageFont());
    p.setPen(Qt::yellow);
    auto title = [&p](int x, int y, const QString& text) { p.drawText(x, y, text); };
    if (page == 1) {
        if (!simpleDisplay)
            p.fillRect(QRect(kCameraPanelX, 0, width() - kCameraPanelX, height()), kBackground);
        title(SettingsTable::kColumnX[1], kTop, LanStr(kTextParamCamera).arg(cameraIndex + 1));
        title(SettingsTable::kColumnX[1], kTop + 40, LanStr(kTextCameraTitle));
        return;
    }
    p.fillRect(rect(), kBackground);
    switch (page) {
        case 0: {
            title(30, 60, LanStr(kTextSystemTitle));
            // Beside the boxes they name, in lines that end before the function switches.
            auto label = [this, &p](const QWidget* beside, int entry) {
                const QRect room(kPage0LabelX, beside->y() + 5, ColumnRight(0, 1) - kPage0LabelX, kLabelHeight);
                TextFit::Draw(p, room, Qt::AlignLeft | Qt::AlignTop, LanStr(entry));
            };
            label(box(1), kTextDelay);
            label(box(9), kTextReDetectTimes);
            if (box(11)->isVisible())
                label(box(11), kTextSameFilter);
            title(SettingsTable::kColumnX[2], kTop - 8, LanStr(kTextFunctionSettings));
            break;
        }
        case 3:
            title(30, 60, LanStr(kTextInputOutputTitle));
            break;
        case 4:
            title(30, 60, LanStr(kTextAdvancedTitle));
            title(30, 790, LanStr(kTextParamGroup));
            title(30, 960, LanStr(kTextPasswordSettings));
            title(30, 1010, LanStr(kTextNewPwd));
            title(newPwdEdit->geometry().right() + 2 * kPwdGap, 1010, LanStr(kTextConfirmPwd));
            title(SettingsTable::kColumnX[1] + 20, 1060, kVersion);
            break;
        case 5:
            title(30, 60, LanStr(kTextOpRecord));
            break;
        default:
            break;
    }
}
