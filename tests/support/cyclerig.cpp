// Cycle rig: builds the main window on the simulated board and cameras and drives it through them.
#include "cyclerig.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include "cameramanager.h"
#include "cammerrecongnize.h"
#include "cammersingleton.h"
#include "cammerwidget.h"
#include "choosebox.h"
#include "controlport.h"
#include "demomould.h"
#include "factoryfixture.h"
#include "globals.h"
#include "iothread.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "productalarmwarnbox.h"
#include "systempaths.h"
#include "warnbox.h"
#include "wizardpara.h"

namespace {

constexpr int kSceneSeed = 14;  // a light part of the texture lies under the blob
constexpr int kFps = 25;
constexpr int kReconnectTries = 3;
constexpr int kPartLevelMax = 10;  // the blob is black; the texture under it is lighter
constexpr int kSettleMs = 300;
// Deadlines of the waits are multiplied by this: a test states how soon a thing is expected on
// an idle machine, the rig allows for a busy one (a wait ends as soon as its condition holds).
constexpr int kLoadFactor = 5;
// How long the board may take to receive a word the program has published.
constexpr int kBoardSyncMs = 5000;
// Detections taught: both steps of both sides of the two-sided machines.
constexpr int kTaughtDetections = 4;

// A rectangle region on the canvas the operator draws on (the window's screen size).
void AddRegion(CammerWidget* v, int d, const QRect& display)
{
    CammerSingleton& s = *v->storeB;
    const int i = s.roiNum[d]++;
    ClustomRect& r = s.rects[d][i];
    r.rect = display;
    r.setShowA(v->fullScaleX, v->fullScaleY);
    r.setImageRect();
    v->editMasks[d][i] = r.UpdateMask();
    s.shapeType[d][i] = kShapeRect;
    s.func[d][i] = kFuncDefect;
    s.para1[d][i] = 45;  // sensitivity a new defect region gets on the teaching page
    s.para2[d][i] = gpWPara->filterArea;
    s.para3[d][i] = gpWPara->filterSize;
    s.outN[i] = i % 4;
}

int CentreLevel(const CammerWidget* v)
{
    return v->rawImage[(v->imageHeight / 2) * v->imageWidth * (v->isColor ? 4 : 1) +
                       (v->imageWidth / 2) * (v->isColor ? 4 : 1)];
}

}  // namespace

CycleRig::~CycleRig()
{
    joinPulse();
    if (gpControlIO && gpControlIO->ioThread) {
        gpControlIO->ioThread->requestInterruption();
        gpControlIO->ioThread->wait(2000);
    }
    board.stop();
    delete answerer;
}

namespace {

bool StorePresets(const QVector<CycleRig::Preset>& presets)
{
    if (presets.isEmpty())
        return true;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "cyclerig");
        db.setDatabaseName("PARAM.db");
        if (db.open()) {
            QSqlQuery query(db);
            WizardPara para;
            para.LoadDatafromFile(query);
            ok = true;
            for (const CycleRig::Preset& p : presets) {
                int* v = para.sysParamValue(QString::fromLatin1(p.row), p.position);
                ok = ok && v;
                if (v)
                    *v = p.value;
            }
            ok = ok && para.SaveDatatoFile(query);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("cyclerig");
    return ok;
}

}  // namespace

bool CycleRig::start(int cameras, int regions, const QVector<Preset>& presets)
{
    regionCount = regions;
    if (!build(cameras, presets))
        return false;
    gLan = 0;
    // No position correction: the scene does not move, and the judgement stays quick.
    if (!demoMould)
        gpWPara->motionCorrect = -1;
    resetParams();
    for (int c = 0; c < cameras && !demoMould; ++c) {
        if (!teach(view(c), regions))
            return false;
    }
    return restartDetection();
}

bool CycleRig::build(int cameras, const QVector<Preset>& presets)
{
    cameraCount = cameras;
    // What main() does before the window: the text table and the shared mutexes.
    InitLanStr();
    gLan = 0;
    CreateGlobalMutexes();
    if (!FactoryFixture::writeAll()) {
        qWarning("cycle rig: factory data not written");
        return false;
    }
    if (!StorePresets(presets)) {
        qWarning("cycle rig: parameter presets not stored");
        return false;
    }
    if (!board.start()) {
        qWarning("cycle rig: no pseudo-terminal for the IO board");
        return false;
    }
    SystemPaths::setSerialDevice(board.devicePath());

    QJsonArray list;
    for (int c = 0; c < cameras; ++c)
        list.append(QJsonObject{{"scene", QJsonObject{{"seed", kSceneSeed + c}, {"defect", partAtStart}}}});
    const QJsonObject config{{"pluginName", "SimCamera"},
                             {"cameraType", 0},
                             {"cameraCount", cameras},
                             {"width", 640},
                             {"height", 480},
                             {"color", false},
                             {"source", "scene"},
                             {"fps", kFps},
                             {"reconnectTries", kReconnectTries},
                             {"cameras", list}};
    QFile file("simcamera.json");
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) < 0) {
        qWarning("cycle rig: simcamera.json not written");
        return false;
    }
    file.close();
    QFile::remove("simcamera.in");
    if (demoMould) {
        // Drawn on the panel's screen, as the camera views will read it.
        QString message;
        if (!DemoMould::write(QDir::currentPath(), gShowW, gShowH, &message)) {
            qWarning("cycle rig: %s", qPrintable(message));
            return false;
        }
    }

    // Only simulated cameras: the start asks whether to forget the stored camera order.
    answerer = new ModalAnswerer(10000);
    answerer->watch("camera count", [] {
        CameraManager* m = CameraManager::getInstance();
        return m ? static_cast<QDialog*>(m->countCheckBox) : nullptr;
    });
    answerer->answer(ModalAnswerer::No);
    window = new MoJuWizard;
    // Published on the GUI thread, which is the one that reads the list.
    publications.append({nowUs(), gDataOut});
    QObject::connect(
        gpControlIO, &ControlPort::sigIOChange, gpControlIO,
        [this] {
            publications.append({nowUs(), gDataOut});
        },
        Qt::DirectConnection);
    gpControlIO->InitIOThread();
    if (numCamera != cameras) {
        qWarning("cycle rig: %d cameras opened, %d configured", numCamera, cameras);
        return false;
    }
    return true;
}

CammerWidget* CycleRig::view(int camera) const
{
    return window && camera >= 0 && camera < cameraCount ? window->cammerWidgets[camera] : nullptr;
}

bool CycleRig::teach(CammerWidget* v, int regions)
{
    if (!v) {
        qWarning("cycle rig: no camera view");
        return false;
    }
    *v->storeB = *v->storeA;
    v->BackMask();
    const int columns = regions <= 1 ? 1 : 10;
    const int rows = (regions + columns - 1) / columns;
    for (int d = 0; d < kTaughtDetections; ++d) {
        v->storeB->roiNum[d] = 0;
        if (regions == 1) {
            // The middle half of the picture, on the canvas of the window's screen.
            AddRegion(v, d, QRect(gShowW / 4, gShowH / 4, gShowW / 2, gShowH / 2));
            continue;
        }
        const int cw = (gShowW - 80) / columns, ch = (gShowH - 80) / rows;
        for (int i = 0; i < regions; ++i) {
            const int x = 40 + (i % columns) * cw, y = 40 + (i / columns) * ch;
            AddRegion(v, d, QRect(x + 4, y + 4, cw - 8, ch - 8));
        }
    }
    *v->storeA = *v->storeB;
    v->RestorMask();
    if (!setPart(v->cameraIndex, false))
        return false;
    for (int d = 0; d < kTaughtDetections; ++d) {
        if (!v->templates[d])
            continue;  // a detection the machine mode does not prepare
        v->SaveReTrainImage(d);
        v->recognizer->CreateShape(d);
        v->recognizer->CreateHomoShape(d);
        v->recognizer->VarTrain(d);
    }
    return true;
}

void CycleRig::setParam(const char* row, int position, int value)
{
    if (int* v = gpWPara->sysParamValue(QString::fromLatin1(row), position))
        *v = value;
    else
        qWarning("cycle rig: no parameter %s %d", row, position);
}

void CycleRig::setMode(int mode)
{
    gpWPara->detectMode = mode;
}

void CycleRig::apply()
{
    const WizardPara::DerivedGlobals derived = gpWPara->applyLoadRules();
    gDNum = derived.detections;
    if (derived.leftMoldOnly != WizardPara::DerivedGlobals::kLeave)
        window->moldSide = derived.leftMoldOnly;
    gPicNumNG = gpWPara->ngRecordNum;
    gPicNumOK = gpWPara->okRecordNum;
}

void CycleRig::resetParams()
{
    WizardPara fresh;
    fresh.LoadDatafromFile(window->queryIn);
    const int motion = gpWPara->motionCorrect;
    *gpWPara = fresh;
    gpWPara->motionCorrect = motion;
    apply();
}

bool CycleRig::restartDetection()
{
    for (int i = 0; i < 8; ++i) board.setInput(i, false);
    wait(50);
    window->StopDetect();
    for (QTimer* t : {window->showTimer, window->reCheckTimer, window->inCheckTimer, window->outNGTimer,
                      window->notAllowCloseTimer, window->notAllowThimbleTimer, window->outputsOffTimer,
                      window->clearNGAlarmTimer, window->sysFunc4OutputTimer, window->resetAlarmTimer}) {
        if (t)
            t->stop();
    }
    window->productAlarm = false;
    window->productCount = 0;
    window->noInputAlarm = false;
    for (QWidget* box : std::initializer_list<QWidget*>{gpWarnBox, gpProductAlarmWarnBox}) {
        if (box)
            box->hide();
    }
    std::fill(std::begin(window->stepCameraMask), std::end(window->stepCameraMask), 0);
    window->restartStep = -1;
    window->pendingInput = -1;
    window->reTrigInput = -1;
    window->reTrainState = 0;
    window->manualTrig = gDNum;
    window->multiDetectIndex = gDNum - 1;
    window->step = gpWPara->detectMode == 3 ? 0 : (gpWPara->detectProd ? 0 : 1);
    window->shownStep = -1;
    window->cyclePhase = 3;
    for (int c = 0; c < cameraCount; ++c)
        std::fill(std::begin(window->detectState[c]), std::end(window->detectState[c]), 0);
    window->StartDetect();
    // The pass publishes; the IO thread brings the word to the board.
    wait(kSettleMs);
    if (!syncOutputs()) {
        qWarning("cycle rig: the board never took the outputs the start of detection set");
        return false;
    }
    return true;
}

bool CycleRig::mouldOnly(int tenths)
{
    resetParams();
    setParam("system1", 2, 0);  // product step off
    setParam("trigInDelay", 2, tenths);
    apply();
    if (!restartDetection())
        return false;
    if (gpWPara->detectEnabled[0] || !gpWPara->detectEnabled[1]) {
        qWarning() << "mould only: detections 0 and 1 enabled" << gpWPara->detectEnabled[0]
                   << gpWPara->detectEnabled[1];
        return false;
    }
    return true;
}

bool CycleRig::setPart(int camera, bool present)
{
    CammerWidget* v = view(camera);
    if (!v)
        return false;
    QFile file("simcamera.in");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QString("defect %1 %2\n").arg(camera + 1).arg(present ? "on" : "off").toUtf8());
    file.close();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3000 * kLoadFactor) {
        wait(20);
        const bool dark = CentreLevel(v) <= kPartLevelMax;
        if (dark == present)
            return true;
    }
    qWarning("cycle rig: camera %d never showed the part %s", camera + 1, present ? "in" : "out");
    return false;
}

void CycleRig::setInput(int input, bool on)
{
    board.setInput(input, on);
}

qint64 CycleRig::pulse(int input, int ms)
{
    joinPulse();
    const qint64 at = nowUs();
    board.setInput(input, true);
    // A starved IO thread could let a short pulse rise and fall between two of its polls; a
    // machine holds its signal far longer than the monitor needs to read it.
    pulseEnd = std::thread([this, input, ms, at] {
        const unsigned int bit = 1u << input;
        for (;;) {
            bool seen;
            {
                QMutexLocker lock(pMutexIO);
                seen = (gDataIn & bit) != 0;
            }
            if ((seen && nowUs() - at >= qint64(ms) * kMs) || nowUs() - at > qint64(kBoardSyncMs) * kMs)
                break;
            QThread::usleep(500);
        }
        board.setInput(input, false);
    });
    return at;
}

void CycleRig::joinPulse()
{
    if (pulseEnd.joinable())
        pulseEnd.join();
}

void CycleRig::beginScenario()
{
    scenarioStartUs = nowUs();
}

void CycleRig::reportIfFailed() const
{
    if (QTest::currentTestFailed())
        traceOutputs(scenarioStartUs);
}

void CycleRig::endScenario()
{
    reportIfFailed();
    joinPulse();
    gisTempAlarm = false;
    PlatformClock::resetNow();
    board.resetFaults();
    resetParams();
}

void CycleRig::traceOutputs(qint64 fromUs) const
{
    struct Line
    {
        qint64 atUs;
        const char* who;
        unsigned int word;
    };
    QVector<Line> lines;
    for (const IOBoardSim::OutputChange& c : board.outputChanges()) {
        if (c.atUs >= fromUs)
            lines.append({c.atUs, "board took", c.word});
    }
    for (const IOBoardSim::OutputChange& p : publications) {
        if (p.atUs >= fromUs)
            lines.append({p.atUs, "published ", p.word});
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.atUs < b.atUs; });
    constexpr int kLatest = 60;
    const int first = qMax(0, lines.size() - kLatest);
    qWarning("output words since the scenario began (%d of %d; bit 0 = output 1):", lines.size() - first, lines.size());
    for (int i = first; i < lines.size(); ++i)
        qWarning("  %+10.1f ms  %s %s", Ms(fromUs, lines[i].atUs), lines[i].who,
                 qPrintable(QString::number(lines[i].word, 2).rightJustified(kDrivenOutputs, '0')));
    qWarning("  %+10.1f ms  now; the board holds %s", Ms(fromUs, nowUs()),
             qPrintable(QString::number(board.outputs(), 2).rightJustified(kDrivenOutputs, '0')));
}

qint64 CycleRig::nowUs()
{
    return IOBoardSim::clockUs();
}

unsigned int CycleRig::outputs() const
{
    return board.outputs();
}

bool CycleRig::syncOutputs()
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        unsigned int word;
        {
            QMutexLocker lock(pMutexIO);
            word = gDataOut;
        }
        if (board.outputs() == word)
            return true;
        if (t.elapsed() >= kBoardSyncMs)
            return false;
        QThread::msleep(1);
    }
}

unsigned int CycleRig::syncedOutputs()
{
    if (!syncOutputs())
        qWarning("cycle rig: the board does not hold the published outputs");
    return board.outputs();
}

qint64 CycleRig::waitOutput(int n, bool on, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    const qint64 from = nowUs();
    while (t.elapsed() < qint64(timeoutMs) * kLoadFactor) {
        // Also a level the board held only briefly, between two looks.
        const qint64 at = firstChange(n, on, from);
        if (at >= 0)
            return at;
        if (bit(board.outputs(), n) == on)
            return from;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(500);
    }
    return -1;
}

qint64 CycleRig::published(int n, bool on, qint64 afterUs) const
{
    for (int i = 1; i < publications.size(); ++i) {
        const bool begins = bit(publications[i].word, n) == on && bit(publications[i - 1].word, n) != on;
        if (begins && publications[i].atUs > afterUs)
            return publications[i].atUs;
    }
    return -1;
}

qint64 CycleRig::publishedAt(int n, bool on, qint64 boardAtUs) const
{
    if (boardAtUs < 0)
        return -1;
    // The other level's publication was stamped before the one the board took was even
    // written (both on the GUI thread, in order), however late that stamp came.
    qint64 other = -1;
    for (int i = 0; i < publications.size() && publications[i].atUs <= boardAtUs; ++i) {
        if (bit(publications[i].word, n) != on && (i == 0 || bit(publications[i - 1].word, n) == on))
            other = publications[i].atUs;
    }
    return published(n, on, other);
}

qint64 CycleRig::firstChange(int n, bool on, qint64 sinceUs) const
{
    for (const IOBoardSim::OutputChange& c : board.outputChanges()) {
        if (c.atUs >= sinceUs && bit(c.word, n) == on)
            return c.atUs;
    }
    return -1;
}

bool CycleRig::wasAt(int n, bool on, qint64 fromUs, qint64 toUs) const
{
    unsigned int level = 0;
    bool known = false;
    for (const IOBoardSim::OutputChange& c : board.outputChanges()) {
        if (c.atUs <= fromUs) {
            level = c.word;
            known = true;
            continue;
        }
        if (c.atUs > toUs)
            break;
        if (bit(c.word, n) == on)
            return true;
    }
    return known && bit(level, n) == on;
}

qint64 CycleRig::heldSince(int n, qint64 fromUs) const
{
    qint64 since = -1;
    bool level = false;
    for (const IOBoardSim::OutputChange& c : board.outputChanges()) {
        const bool on = bit(c.word, n);
        if (c.atUs <= fromUs) {
            level = on;
            since = on ? fromUs : -1;
            continue;
        }
        if (on && !level)
            since = c.atUs;
        if (!on && level && since >= 0)
            return -1;  // it came on and went off again
        level = on;
    }
    return level ? since : -1;
}

bool CycleRig::heldBefore(int held, int judged, qint64 fromUs) const
{
    const qint64 since = heldSince(held, fromUs);
    const qint64 judgement = firstChange(judged, true, fromUs);
    return since >= 0 && judgement >= 0 && since < judgement;
}

void CycleRig::wait(int ms)
{
    QTest::qWait(ms);
}

QStringList CycleRig::records(const QString& type) const
{
    QStringList out;
    QSqlQuery q(window->dbRecord);
    q.prepare("SELECT remarks FROM RECORD WHERE recordtype = ? ORDER BY rowid");
    q.addBindValue(type);
    if (!q.exec())
        return out;
    while (q.next()) out << q.value(0).toString();
    return out;
}
