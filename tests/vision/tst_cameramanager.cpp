// Camera manager: plug-in loading, SN.db order and its repairs, re-sorting, the camera-count check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "cameramanager.h"
#include "choosebox.h"
#include "commandrunner.h"
#include "factorydata.h"
#include "globals.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "platformclock.h"
#include "simcameracontrol.h"
#include "testsupport.h"
#include "warnbox.h"

namespace {

// The plug-in scan runs in a copy of this test placed in a folder of its own, so that its
// Plugins/Cameras can hold a broken library without touching the shared runtime folder.
const char* const kScanAppDir = "plugin-scan-app";

_cameraInfo camera(const QString& serial, const QString& plugin = "P")
{
    _cameraInfo info;
    info.pluginName = plugin;
    info.setSerial(serial);
    return info;
}

QStringList serialsOf(const QVector<_cameraInfo>& list)
{
    QStringList out;
    for (const _cameraInfo& info : list) out << info.serial();
    return out;
}

QStringList stored()
{
    return QStringList(CameraManager::getInstance()->storedSN.toList());
}

// The rows serialNB0..7 as they are in SN.db of the working folder.
QStringList snRows()
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName("SN.db");
        db.open();
        QSqlQuery q(db);
        for (int k = 0; k < 8; ++k) {
            q.exec(QString("select value from sysparam where name='serialNB%1'").arg(k));
            rows << (q.next() ? q.value(0).toString() : QString("<missing>"));
        }
    }
    QSqlDatabase::removeDatabase("check");
    return rows;
}

void writeSnRows(const QStringList& values)
{
    QFile::remove("SN.db");
    QVERIFY(FactoryData::writeSerialDb("SN.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "setup");
        db.setDatabaseName("SN.db");
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (int k = 0; k < 8; ++k) {
            if (k >= values.size() || values[k].isNull()) {
                q.exec(QString("delete from sysparam where name='serialNB%1'").arg(k));
                continue;
            }
            q.prepare("update sysparam set value=? where name=?");
            q.addBindValue(values[k]);
            q.addBindValue(QString("serialNB%1").arg(k));
            QVERIFY(q.exec());
        }
    }
    QSqlDatabase::removeDatabase("setup");
}

QStringList repeated(int count, const QString& text)
{
    QStringList out;
    for (int i = 0; i < count; ++i) out << text;
    return out;
}

QStringList saveRecords()
{
    return TestSupport::capturedMessages().filter("InsertRecord info Save SN");
}

// Itanium C++ ABI: a pointer to a virtual member holds 1 + the byte offset of its slot.
template <typename Member>
std::ptrdiff_t vtableSlot(Member member)
{
    struct Raw
    {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(Member) == sizeof(Raw), "unexpected member pointer layout");
    Raw raw;
    std::memcpy(&raw, &member, sizeof raw);
    return std::ptrdiff_t((raw.ptr - 1) / sizeof(void*));
}

struct QObjectProbe : QObject
{
    static std::ptrdiff_t lastSlot() { return vtableSlot(&QObjectProbe::disconnectNotify); }
};

}  // namespace

class TestCameraManager : public QObject
{
    Q_OBJECT

    MoJuWizard* window = nullptr;
    CameraManager* manager = CameraManager::getInstance();
    QSize countBoxSize;

    // The count check asks in a full-screen box of its own, not in the shared one.
    void watchCountBox(ModalAnswerer& answerer)
    {
        answerer.watch(
            "CountCheckBox", [this] { return static_cast<QDialog*>(manager->countCheckBox); },
            [this](QDialog* box) {
                countBoxSize = box->size();
                return ModalAnswerer::boxText(box);
            });
    }

private slots:
    void initTestCase()
    {
        InitLanStr();
        PlatformClock::setSleepScale(0.0);
        window = new MoJuWizard(MoJuWizard::LightConstruction{});
        gpWarnBox = new WarnBox(nullptr);
        // the factory copy beside the working SN.db, as the panel has it
        QVERIFY(QDir().mkpath("paraGroup/default"));
        QVERIFY(FactoryData::writeSerialDb("paraGroup/default/SN.db"));
    }

    void init()
    {
        CommandRunner::clearCalls();
        TestSupport::clearCapturedMessages();
        manager->cameras.clear();
        manager->storedSN.clear();
        manager->noRealCamera = false;
    }

    void interfaceKeepsOperationOrder()
    {
        using CI = CameraInterface;
        const std::ptrdiff_t order[] = {
            vtableSlot(&CI::openCamera),
            vtableSlot(&CI::closeCamera),
            vtableSlot(&CI::startGrab),
            vtableSlot(&CI::stopGrab),
            vtableSlot(&CI::handleLost),
            vtableSlot(&CI::reconnect),
            vtableSlot(&CI::getParams),
            vtableSlot(&CI::setParams),
            vtableSlot(&CI::setExposeTime),
            vtableSlot(&CI::setAdjustPlus),
            vtableSlot(&CI::setSharp),
            vtableSlot(&CI::setContrast),
            vtableSlot(&CI::setGamma),
            vtableSlot(&CI::reserved14),
            vtableSlot(&CI::setWDR),
            vtableSlot(&CI::setHMirror),
            vtableSlot(&CI::setVMirror),
            vtableSlot(&CI::setWhiteBalance),
            vtableSlot(&CI::reserved19),
            vtableSlot(&CI::setColorMode),
            vtableSlot(&CI::setSpeed),
            vtableSlot(&CI::setExtendParam),
            vtableSlot(&CI::getExtendParam),
            vtableSlot(&CI::getFps),
            vtableSlot(&CI::setTriggerMode),
            vtableSlot(&CI::softTrigger),
            vtableSlot(&CI::getImageSize),
            vtableSlot(&CI::pluginName),
            vtableSlot(&CI::reserved29),
            vtableSlot(&CI::grabImage),
            vtableSlot(&CI::restoreDefaultSettings),
            vtableSlot(&CI::findCameras),
            vtableSlot(&CI::reserved33),
            vtableSlot(&CI::createCamera),
            vtableSlot(&CI::cameraType),
        };
        const std::ptrdiff_t first = QObjectProbe::lastSlot() + 1;
        for (int position = 1; position <= 35; ++position) QCOMPARE(order[position - 1], first + position - 1);
    }

    void cameraInfoLayoutAndSerial()
    {
        // Plug-ins built elsewhere fill this structure by position.
        static_assert(std::is_standard_layout_v<_cameraInfo>);
        QCOMPARE(offsetof(_cameraInfo, pluginPrivate), size_t(0));
        QCOMPARE(offsetof(_cameraInfo, pluginName), size_t(8));
        QCOMPARE(offsetof(_cameraInfo, serialNumber), size_t(8) + sizeof(QString));
        QCOMPARE(offsetof(_cameraInfo, params), size_t(8) + sizeof(QString) + 288);

        _cameraInfo info;
        std::memset(info.serialNumber, 'x', sizeof info.serialNumber);
        info.setSerial("CAM-Ä-0001");
        QCOMPARE(info.serial(), QString("CAM-Ä-0001"));
        QCOMPARE(info.serialNumber[sizeof info.serialNumber - 1], 'x');
        info.setSerial(QString(400, 'S'));
        QCOMPARE(info.serial().size(), 287);
    }

    // One real plug-in and one shared library that is not a plug-in in Plugins/Cameras.
    void loadPluginsAcceptsOnlyPlugins()
    {
        if (QFileInfo(QCoreApplication::applicationDirPath()).fileName() == kScanAppDir) {
            manager->loadPlugins();
            QCOMPARE(manager->loaders.size(), 2);
            QCOMPARE(manager->plugins.size(), 1);
            QCOMPARE(manager->plugins[0]->pluginName(), QString("SimCamera"));
            const QStringList log = TestSupport::capturedMessages();
            QCOMPARE(log.filter(QRegularExpression("^Cameras plugins load fail: ")).size(), 1);
            QVERIFY(log.contains("Cameras plugins libsimcamera.so load sucess."));
            QVERIFY(log.contains("Start loading plugins."));
            return;
        }
        const QString runtime = QCoreApplication::applicationDirPath();
        const QString app = TestSupport::workDir() + "/" + kScanAppDir;
        const QString plugins = app + "/Plugins/Cameras";
        QVERIFY(QDir().mkpath(plugins));
        const QString copy = app + "/" + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QVERIFY(QFile::copy(runtime + "/Plugins/Cameras/libsimcamera.so", plugins + "/libsimcamera.so"));
        QVERIFY(QFile::copy(runtime + "/libcamerainterface.so", plugins + "/libnotaplugin.so"));

        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(copy, {"loadPluginsAcceptsOnlyPlugins"});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("PASS   : TestCameraManager::loadPluginsAcceptsOnlyPlugins"), output.constData());
    }

    void loadCameraSNSkipsPlaceholdersAndAddsMissingRows()
    {
        writeSnRows({"SERIAL-2", "SHORT07", "SERIAL-1", "0", QString(), QString(), QString(), QString()});
        manager->loadCameraSN();
        QCOMPARE(stored(), QStringList({"SERIAL-2", "SERIAL-1"}));
        QCOMPARE(snRows(), QStringList({"SERIAL-2", "SHORT07", "SERIAL-1", "0", "0", "0", "0", "0"}));
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    void sortCameraFollowsStoredOrder()
    {
        manager->storedSN = {"SERIAL-2", "SERIAL-1", "SERIAL-9"};
        manager->cameras = {camera("SERIAL-1"), camera("SERIAL-2"), camera("SERIAL-3")};
        manager->sortCamera();
        QCOMPARE(serialsOf(manager->cameras), QStringList({"SERIAL-2", "SERIAL-1", "SERIAL-3"}));

        // A serial found twice moves both cameras, the one found last first.
        manager->storedSN = {"SERIAL-2"};
        manager->cameras = {camera("SERIAL-2", "first"), camera("SERIAL-1"), camera("SERIAL-2", "second")};
        manager->sortCamera();
        QCOMPARE(serialsOf(manager->cameras), QStringList({"SERIAL-2", "SERIAL-2", "SERIAL-1"}));
        QCOMPARE(manager->cameras[0].pluginName, QString("second"));
        QCOMPARE(manager->cameras[1].pluginName, QString("first"));
    }

    void saveCameraSNBindsSerialsAndRecordsEach()
    {
        writeSnRows({"0", "0", "0", "0", "0", "0", "0", "0"});
        manager->loadCameraSN();
        manager->storedSN = {"O'NEIL-CAM-1", "SERIAL-B2", "SERIAL-C3"};
        manager->saveCameraSN();
        QCOMPARE(snRows(), QStringList({"O'NEIL-CAM-1", "SERIAL-B2", "SERIAL-C3", "0", "0", "0", "0", "0"}));
        QCOMPARE(saveRecords(),
                 QStringList({"InsertRecord info Save SN 1: O'NEIL-CAM-1", "InsertRecord info Save SN 2: SERIAL-B2",
                              "InsertRecord info Save SN 3: SERIAL-C3"}));
        manager->loadCameraSN();
        QCOMPARE(stored(), QStringList({"O'NEIL-CAM-1", "SERIAL-B2", "SERIAL-C3"}));
    }

    void missingSnDbRestoresFactoryCopyAndKeepsWorking()
    {
        QFile::remove("SN.db");
        ModalAnswerer answerer;
        answerer.answer(ModalAnswerer::Confirm);
        manager->loadCameraSN();
        QCOMPARE(answerer.texts(), QStringList({gaLanStr[160 * 4 + gLan]}));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"cp -f ./paraGroup/default/SN.db ./", "sync", "reboot"}));
        for (const CommandCall& call : CommandRunner::calls()) QVERIFY(!call.executed);
        QVERIFY(manager->storedSN.isEmpty());
        QCOMPARE(snRows(), repeated(8, "0"));

        manager->storedSN = {"SERIAL-A1"};
        manager->saveCameraSN();
        QCOMPARE(snRows().first(), QString("SERIAL-A1"));
    }

    // With neither SN.db nor its factory copy, or with a copy that fails, a restart would
    // bring the same state back: no reboot, and the panel goes on with a fresh SN.db.
    void withoutAFactoryCopyNoReboot()
    {
        const QString factory = "./paraGroup/default/SN.db";
        QVERIFY(QFile::exists(factory));
        QVERIFY(QFile::rename(factory, factory + ".aside"));
        QFile::remove("SN.db");
        {
            ModalAnswerer answerer;
            answerer.answer(ModalAnswerer::Confirm);
            manager->loadCameraSN();
            QCOMPARE(answerer.texts().size(), 1);
        }
        QVERIFY(QFile::rename(factory + ".aside", factory));
        QVERIFY(CommandRunner::callTexts().isEmpty());
        QCOMPARE(snRows(), repeated(8, "0"));

        QFile::remove("SN.db");
        CommandRunner::addAnswer("cp -f", 1);
        {
            ModalAnswerer answerer;
            answerer.answer(ModalAnswerer::Confirm);
            manager->loadCameraSN();
        }
        CommandRunner::clearAnswers();
        QCOMPARE(CommandRunner::callTexts(), QStringList({"cp -f ./paraGroup/default/SN.db ./"}));
        QCOMPARE(snRows(), repeated(8, "0"));
    }

    void resortCameraSNSkipsIndicesOutsideTheList()
    {
        writeSnRows(repeated(8, "0"));
        manager->loadCameraSN();
        manager->cameras = {camera("SERIAL-A1"), camera("SERIAL-B2"), camera("SERIAL-C3")};
        manager->resortCameraSN({2, 5, -1, 0});
        QCOMPARE(stored(), QStringList({"SERIAL-C3", "SERIAL-A1"}));
        QCOMPARE(snRows(), QStringList({"SERIAL-C3", "SERIAL-A1", "0", "0", "0", "0", "0", "0"}));
        const QStringList log = TestSupport::capturedMessages().filter("resortCameraSN");
        QCOMPARE(log.size(), 2);
        QVERIFY(log[0].contains(" 5 "));
        QVERIFY(log[1].contains(" -1 "));
    }

    void countCheckWithoutRealCameraOffersToForgetTheOrder()
    {
        writeSnRows({"SERIAL-A1", "SERIAL-B2", "0", "0", "0", "0", "0", "0"});
        manager->loadCameraSN();
        manager->cameras = {camera("SIMCAM01")};
        manager->noRealCamera = true;
        ModalAnswerer answerer;
        watchCountBox(answerer);
        answerer.answer({ModalAnswerer::No, ModalAnswerer::Yes});
        manager->checkCameraCount();
        QCOMPARE(stored(), QStringList({"SERIAL-A1", "SERIAL-B2"}));
        manager->checkCameraCount();
        QCOMPARE(answerer.texts(), repeated(2, gaLanStr[134 * 4 + gLan]));
        QCOMPARE(stored(), QStringList({"SIMCAM01"}));
        QCOMPARE(snRows(), QStringList({"SIMCAM01", "0", "0", "0", "0", "0", "0", "0"}));
        QVERIFY(CommandRunner::callTexts().isEmpty());
    }

    void countCheckAsksOnChangedCountAndReboots()
    {
        writeSnRows({"SERIAL-A1", "SERIAL-B2", "0", "0", "0", "0", "0", "0"});
        manager->loadCameraSN();
        manager->cameras = {camera("SERIAL-A1")};
        ModalAnswerer answerer;
        watchCountBox(answerer);
        answerer.answer(ModalAnswerer::No);
        manager->checkCameraCount();
        QCOMPARE(answerer.texts(), QStringList({gaLanStr[360 * 4 + gLan]}));
        QCOMPARE(countBoxSize, QSize(gShowW, gShowH));
        QVERIFY(!manager->countCheckBox);
        QCOMPARE(stored(), QStringList({"SERIAL-A1", "SERIAL-B2"}));
        QVERIFY(CommandRunner::callTexts().isEmpty());

        answerer.answer(ModalAnswerer::Yes);
        manager->checkCameraCount();
        QCOMPARE(stored(), QStringList({"SERIAL-A1"}));
        QCOMPARE(snRows(), QStringList({"SERIAL-A1", "0", "0", "0", "0", "0", "0", "0"}));
        QCOMPARE(saveRecords(), QStringList({"InsertRecord info Save SN 1: SERIAL-A1"}));
        QCOMPARE(CommandRunner::callTexts(), QStringList({"reboot"}));
        QVERIFY(!CommandRunner::calls().first().executed);

        // Same count, or nothing stored: no question.
        answerer.clearShown();
        manager->checkCameraCount();
        manager->storedSN.clear();
        manager->checkCameraCount();
        QVERIFY(answerer.shown().isEmpty());
    }

    void findsOrdersAndCreatesSimulatedCameras()
    {
        manager->loadPlugins();
        SimCameraControl* control = nullptr;
        for (CameraInterface* plugin : manager->plugins) {
            if ((control = qobject_cast<SimCameraControl*>(plugin)))
                break;
        }
        QVERIFY(control);
        control->configure(
            QJsonObject{{"cameraCount", 3}, {"serials", QJsonArray{"SIM-0001", "SIM-0002", "SIM-0003"}}});
        manager->findCameras();
        QVERIFY(manager->noRealCamera);
        QCOMPARE(serialsOf(manager->cameras), QStringList({"SIM-0001", "SIM-0002", "SIM-0003"}));

        control->configure(
            QJsonObject{{"cameraType", 2}, {"serials", QJsonArray{"REAL-0001", "REAL-0002"}}, {"cameraCount", 2}});
        manager->findCameras();
        QVERIFY(!manager->noRealCamera);
        QCOMPARE(manager->cameras.size(), 2);
        QVERIFY(manager->findSumulateCameras().isEmpty());
        QVERIFY(manager->noRealCamera);

        manager->findCameras();
        manager->storedSN = {"REAL-0002"};
        manager->sortCamera();
        QCOMPARE(serialsOf(manager->cameras), QStringList({"REAL-0002", "REAL-0001"}));
        std::unique_ptr<CameraInterface> first(manager->createCamera(manager->cameras[0]));
        QVERIFY(first);
        QCOMPARE(first->cameraType(), 2);
        QCOMPARE(first->pluginName(), QString("SimCamera"));
        QVERIFY(first->openCamera());
        QCOMPARE(qobject_cast<SimCameraControl*>(first.get())->recordedCalls(), QStringList({"openCamera"}));

        _cameraInfo stranger = manager->cameras[0];
        stranger.pluginName = "NoSuchPlugin";
        QVERIFY(!manager->createCamera(stranger));
        control->configure(QJsonObject());
    }

    // Three cameras whose order SN.db holds. At every start (the manager driven as the main
    // window drives it) camera k is the camera of the k-th stored serial, whatever order the
    // driver reaches them in, and the camera created for number k is that camera. Saving the
    // order again, as re-sampling and the count question do, moves no number.
    void camerasKeepTheirNumbersByTheStoredSerials()
    {
        if (manager->plugins.isEmpty())
            manager->loadPlugins();
        SimCameraControl* control = nullptr;
        for (CameraInterface* plugin : manager->plugins) {
            if ((control = qobject_cast<SimCameraControl*>(plugin)))
                break;
        }
        QVERIFY(control);
        const auto restore = qScopeGuard([control] { control->configure(QJsonObject()); });
        // Each camera has a picture width of its own, to tell the created cameras apart.
        const QMap<QString, int> widths{{"SIM-A0001", 320}, {"SIM-B0002", 400}, {"SIM-C0003", 480}};
        const auto reach = [&](const QStringList& order) {
            QJsonArray serials, cameras;
            for (const QString& serial : order) {
                serials.append(serial);
                cameras.append(QJsonObject{{"width", widths[serial]}, {"height", 240}});
            }
            control->configure(QJsonObject{
                {"cameraType", 2}, {"cameraCount", order.size()}, {"serials", serials}, {"cameras", cameras}});
        };
        const auto start = [this] {
            manager->storedSN.clear();
            manager->loadCameraSN();
            manager->findCameras();
            manager->sortCamera();
            return serialsOf(manager->cameras);
        };
        const auto createdWidths = [this] {
            QList<int> out;
            for (const _cameraInfo& info : manager->cameras) {
                std::unique_ptr<CameraInterface> created(manager->createCamera(info));
                int w = 0, h = 0;
                if (created)
                    created->getImageSize(&w, &h);
                out << w;
            }
            return out;
        };
        const QStringList numbered{"SIM-C0003", "SIM-A0001", "SIM-B0002"};
        writeSnRows({"SIM-C0003", "SIM-A0001", "SIM-B0002", "0", "0", "0", "0", "0"});

        reach({"SIM-A0001", "SIM-B0002", "SIM-C0003"});
        QCOMPARE(start(), numbered);
        QVERIFY(!manager->noRealCamera);
        QCOMPARE(createdWidths(), QList<int>({480, 320, 400}));

        manager->resetCameraSN();
        manager->saveCameraSN();
        QCOMPARE(snRows(), QStringList({"SIM-C0003", "SIM-A0001", "SIM-B0002", "0", "0", "0", "0", "0"}));

        reach({"SIM-B0002", "SIM-C0003", "SIM-A0001"});
        QCOMPARE(start(), numbered);
        reach(numbered);
        QCOMPARE(start(), numbered);
        QCOMPARE(createdWidths(), QList<int>({480, 320, 400}));
    }
};

MONITOR_TEST_MAIN(TestCameraManager)
#include "tst_cameramanager.moc"
