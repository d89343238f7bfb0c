// The network services on the real main window: Modbus registers and the companion peer follow judged cycles.
// ctest-timeout: 240
#include <QJsonArray>
#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QtTest>

#include "cammerwidget.h"
#include "constructionhooks.h"
#include "cyclerig.h"
#include "globals.h"
#include "modalanswerer.h"
#include "modbusserver.h"
#include "mojuwizard.h"
#include "netpeer.h"
#include "platformconfig.h"
#include "savefialimagethread.h"
#include "startup.h"
#include "testsupport.h"
#include "tnr_netmn.h"
#include "wizardpara.h"

namespace {

struct Registers
{
    bool ok = false;
    quint16 v[ModbusServer::kRegisters] = {};
};

Registers readRegisters(QModbusTcpClient& client)
{
    Registers r;
    QModbusReply* reply = client.sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 0, ModbusServer::kRegisters), ModbusServer::kServerAddress);
    if (!reply)
        return r;
    QDeadlineTimer deadline(10000);
    while (!reply->isFinished() && !deadline.hasExpired()) QTest::qWait(5);
    if (reply->isFinished() && reply->error() == QModbusDevice::NoError) {
        const QModbusDataUnit unit = reply->result();
        r.ok = unit.valueCount() == ModbusServer::kRegisters;
        for (int i = 0; r.ok && i < ModbusServer::kRegisters; ++i) r.v[i] = unit.value(i);
    }
    reply->deleteLater();
    return r;
}

}  // namespace

class TestNetWindow : public QObject
{
    Q_OBJECT

    CycleRig rig;
    TestPeer peer;
    QModbusTcpClient modbus;
    int modbusPort = 0;

    // Polls the registers until `done` holds for them; the last read.
    template <typename Pred>
    Registers waitRegisters(Pred done)
    {
        Registers r;
        QDeadlineTimer deadline(15000);
        do {
            r = readRegisters(modbus);
            if (r.ok && done(r))
                return r;
            QTest::qWait(20);
        } while (!deadline.hasExpired());
        return r;
    }

private slots:
    void initTestCase()
    {
        NetPorts& ports = NetPorts::current();
        ports.listen = "127.0.0.1";
        ports.api = 0;
        modbusPort = FreePort();
        ports.modbus = modbusPort;
        QVERIFY(peer.listen());
        ports.peer = peer.port();

        // The window's servers step as start-up fills it.
        ConstructionHooks hooks;
        AddServersHook(hooks);
        AddImageAndDiskHooks(hooks);  // the picture writer
        SetConstructionHooks(hooks);
        QVERIFY(rig.start(1, 1));
        SetConstructionHooks({});
        QVERIFY(rig.window->modbusServer);
        QVERIFY(rig.window->modbusServer->listening());

        QDir().mkpath("cnt_net");
        QFile f("cnt_net/config.json");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(
            R"({"devicename": "Press 7", "device_worknetfunc": true, "device_workvideo": false, "device_workapifunc": true})");
        f.close();
        TNR_NETMN::getInstance()->initStart();

        modbus.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
        modbus.setConnectionParameter(QModbusDevice::NetworkPortParameter, modbusPort);
        modbus.setTimeout(5000);
        QVERIFY(modbus.connectDevice());
        QTRY_COMPARE_WITH_TIMEOUT(modbus.state(), QModbusDevice::ConnectedState, 10000);
    }

    // An OK cycle counts; an NG cycle raises the alarm, which the registers show and the peer
    // hears of (its start, the operation record, the cycle's record with the region's value);
    // the operator's clearing sends the finish with the clear method.
    void cyclesReachModbusAndThePeer()
    {
        QVERIFY(rig.mouldOnly(1));
        const Registers before = waitRegisters([](const Registers& r) { return r.v[0] == 1; });
        QVERIFY(before.ok);
        QCOMPARE(before.v[0], quint16(1));

        QVERIFY(rig.setPart(0, false));
        rig.openMould();
        const Registers ok = waitRegisters([&](const Registers& r) { return r.v[1] == before.v[1] + 1; });
        QCOMPARE(ok.v[1], quint16(before.v[1] + 1));
        QCOMPARE(ok.v[2], before.v[2]);
        QCOMPARE(ok.v[3], quint16(before.v[3] + 1));
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/periodrecord").size(), 1, 10000);
        const QJsonArray regions = peer.on("/inline/bymain/periodrecord").first().body.value("regions").toArray();
        QVERIFY(!regions.isEmpty());
        QCOMPARE(regions[0].toObject().value("camera").toInt(), 0);
        QCOMPARE(regions[0].toObject().value("detect").toInt(), 1);
        QCOMPARE(regions[0].toObject().value("cameraok").toInt(), 1);

        // NG pictures kept: the operator's clearing then has a method to report.
        gPicNumNG = 5;
        QVERIFY(rig.setPart(0, true));
        rig.openMould();
        const Registers ng = waitRegisters([](const Registers& r) { return r.v[0] == 2; });
        QCOMPARE(ng.v[0], quint16(2));
        QCOMPARE(ng.v[1], quint16(before.v[1] + 2));
        QCOMPARE(ng.v[2], quint16(before.v[2] + 1));
        QCOMPARE(ng.v[4], quint16(before.v[4] + 1));
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/alarmstart").size(), 1, 10000);
        const QJsonObject start = peer.on("/inline/bymain/alarmstart").first().body;
        QCOMPARE(start.value("step").toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!peer.on("/inline/bymain/recordoperate").isEmpty(), 10000);
        const QJsonObject alarmRecord = peer.on("/inline/bymain/recordoperate").last().body;
        QCOMPARE(alarmRecord.value("remarks").toString(), QStringLiteral("1号相机 报警"));
        QCOMPARE(alarmRecord.value("recordtype").toString(), QString("run"));
        QVERIFY(alarmRecord.contains("recordtime") && alarmRecord.contains("recordpassword"));
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/periodrecord").size(), 2, 10000);
        QCOMPARE(peer.on("/inline/bymain/periodrecord")
                     .last()
                     .body.value("regions")
                     .toArray()[0]
                     .toObject()
                     .value("cameraok")
                     .toInt(),
                 0);
        QVERIFY(peer.on("/inline/bymain/alarmfinish").isEmpty());

        QVERIFY(rig.setPart(0, false));
        QCOMPARE(rig.window->detectState[0][1], 3);  // the NG picture waits for the operator
        rig.window->SlotClearNGAlarm();
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/alarmfinish").size(), 1, 10000);
        const QJsonObject finish = peer.on("/inline/bymain/alarmfinish").first().body;
        QCOMPARE(finish.value("uuid"), start.value("uuid"));
        const QJsonArray methods = finish.value("clearmethods").toArray();
        QCOMPARE(methods.size(), 1);
        QCOMPARE(methods[0].toObject().value("camera").toInt(), 0);
        QCOMPARE(methods[0].toObject().value("method").toString(), QString("notdetect"));
        const Registers cleared = waitRegisters([](const Registers& r) { return r.v[0] != 2; });
        QCOMPARE(cleared.v[0], quint16(1));
    }

    // Re-sampling takes the next mould's frame as template 0 and tells the peer in the shape
    // of every template-list message: lists of cameras and of detections.
    void resamplingSendsTheTemplateLists()
    {
        QVERIFY(rig.mouldOnly(1));
        QVERIFY(rig.setPart(0, false));
        const int before = peer.on("/inline/bymain/synctemplist").size();
        rig.answerer->answer(ModalAnswerer::Yes);
        rig.window->SlotReTrain();
        rig.openMould();
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->pageState, 3, 10000);  // the teaching page
        // The deletion of the other templates, then the re-sampled one.
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/synctemplist").size(), before + 2, 10000);
        const QJsonObject sent = peer.on("/inline/bymain/synctemplist").last().body;
        QCOMPARE(sent.value("camera").toArray(), QJsonArray{0});
        QCOMPARE(sent.value("detect").toArray(), QJsonArray{1});
        gFromTrain = 0;
        rig.window->pageState = 0;
        rig.window->BackTrain();
        QTRY_VERIFY_WITH_TIMEOUT(!gisReTrain, 10000);
    }

    // Two-step cycles: the OK pictures of both steps carry the uuid of their own cycle's
    // record, the product step's too, which the writer hands while the record is still open.
    void picturesOfBothStepsTaggedWithTheirCycle()
    {
        rig.resetParams();
        rig.setParam("system1", 2, 1);  // product step on
        rig.setParam("trigInDelay", 1, 1);
        rig.setParam("trigInDelay", 2, 30);
        rig.apply();
        QVERIFY(rig.restartDetection());
        QVERIFY(gpWPara->detectEnabled[0] && gpWPara->detectEnabled[1]);
        QVERIFY(rig.setPart(0, false));
        gPicNumOK = 5;
        peer.messages.clear();
        constexpr int kCycles = 2;
        for (int cycle = 1; cycle <= kCycles; ++cycle) {
            rig.openMould();
            QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/periodrecord").size(), cycle, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/picture").size(), 2 * cycle, 20000);
        }
        gPicNumOK = 0;
        const QList<TestPeer::Message> records = peer.on("/inline/bymain/periodrecord");
        const QList<TestPeer::Message> pictures = peer.on("/inline/bymain/picture");
        for (int i = 0; i < pictures.size(); ++i) {
            const QJsonObject p = pictures[i].body;
            QCOMPARE(p.value("detect").toInt(), i % 2);
            QCOMPARE(p.value("uuid").toString(), records[i / 2].body.value("uuid").toString());
        }
        QVERIFY(records[0].body.value("uuid") != records[1].body.value("uuid"));
    }

    void cleanupTestCase()
    {
        modbus.disconnectDevice();
        if (gpSaveFialImageThread) {
            gpSaveFialImageThread->requestInterruption();
            gpSaveFialImageThread->wait(10000);
        }
    }
};

MONITOR_TEST_MAIN(TestNetWindow)
#include "tst_netwindow.moc"
