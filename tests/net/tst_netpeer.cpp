// Companion-peer client and period records: switched off, delivered, the peer's link codes, the peer away, subscribers.
// ctest-timeout: 120
#include <thread>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSettings>
#include <QtTest>

#include "globals.h"
#include "httpapiserver.h"
#include "netpeer.h"
#include "networksettingdialog.h"
#include "platformclock.h"
#include "platformconfig.h"
#include "tcp_push2app.h"
#include "testsupport.h"
#include "tnr_netmn.h"
#include "viewwatch2vrq.h"

namespace {

void writeConfig(bool net, bool api)
{
    QDir().mkpath("cnt_net/workspace");
    QFile f("cnt_net/config.json");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(QJsonObject{{"devicename", "Press 7"},
                                      {"device_worknetfunc", net},
                                      {"device_workvideo", false},
                                      {"device_workapifunc", api},
                                      {"workspace", "./cnt_net/workspace"}})
                .toJson());
}

QJsonObject record(const QString& remarks)
{
    return QJsonObject{
        {"recordtime", "09.07.03"}, {"recordpassword", "Unlogged"}, {"remarks", remarks}, {"recordtype", "run"}};
}

const QString kRecordPath = "/inline/bymain/recordoperate";

// Moves the monotonic clock on in steps of `stepMs` (events run between them) until `done`
// holds or `limitMs` of clock time have passed.
template <typename Done>
bool FastForward(Done done, int stepMs = 250, int limitMs = 60000)
{
    for (int t = 0; t < limitMs && !done(); t += stepMs) {
        PlatformClock::advanceMonotonic(stepMs);
        QTest::qWait(20);
    }
    return done();
}

QStringList remarksOf(const QList<TestPeer::Message>& messages)
{
    QStringList r;
    for (const TestPeer::Message& m : messages) r.append(m.body.value("remarks").toString());
    return r;
}

}  // namespace

class TestNetPeer : public QObject
{
    Q_OBJECT

    TNR_NETMN* net = nullptr;
    ViewWatch2VRQ* vw = nullptr;
    TestPeer peer;

    void restart(bool on, bool api = false)
    {
        writeConfig(on, api);
        net->initStart();
    }

private slots:
    void initTestCase()
    {
        NetPorts::current().listen = "127.0.0.1";
        NetPorts::current().api = 0;
        QVERIFY(peer.listen());
        NetPorts::current().peer = peer.port();
        gDeviceID = "SN-0042";
        net = TNR_NETMN::getInstance();
        vw = ViewWatch2VRQ::ofManager();
        QCOMPARE(vw, net->vw);
    }

    // Nothing the services started may still run while the process ends: the API's listener
    // thread, or the HTTP thread of pushes still under way to a subscriber that never answered,
    // outliving the application is a crash at exit. The program's own stop ends them all.
    void cleanupTestCase() { net->stopServices(); }

    // platform.json moves the services.
    void portsFromThePlatformFile()
    {
        const NetPorts saved = NetPorts::current();
        const auto restore = qScopeGuard([saved] { NetPorts::current() = saved; });
        QFile f("ports-platform.json");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            R"({"commands": "record", "listen": "127.0.0.1", "ports": {"api": 18100, "peer": 18431, "modbus": 18502}})");
        f.close();
        NetPorts::current() = NetPorts();
        QVERIFY(PlatformConfig::load("ports-platform.json"));
        QCOMPARE(NetPorts::current().listen, QString("127.0.0.1"));
        QCOMPARE(NetPorts::current().api, 18100);
        QCOMPARE(NetPorts::current().peer, 18431);
        QCOMPARE(NetPorts::current().modbus, 18502);
    }

    void init()
    {
        peer.messages.clear();
        peer.answer = R"({"code":0})";
        peer.mode = TestPeer::Answer;
    }

    // Networking off: -1, nothing queued, no connection; switched on, the next record is the
    // first thing the peer ever sees, a POST with the four keys and the device id.
    void offTriesNothingThenRecordsArrive()
    {
        restart(false);
        QCOMPARE(net->isAllowSnd_2_VW(), -1);
        vw->sndRecordOperate(record("while off"));
        vw->sndAlarmStartTiming(0);
        QCOMPARE(vw->pending(), 0);

        restart(true);
        vw->sndRecordOperate(record("switched on"));
        QTRY_COMPARE_WITH_TIMEOUT(peer.messages.size(), 1, 10000);
        QCOMPARE(peer.connections, 1);
        const TestPeer::Message m = peer.messages.first();
        QCOMPARE(m.method, QString("POST"));
        QCOMPARE(m.path, kRecordPath);
        QCOMPARE(m.deviceId, QByteArray("SN-0042"));
        QCOMPARE(m.body, record("switched on"));
        // The peer has the message before the client has read its answer.
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, 3000);
    }

    // The peer's answer tells how its own link to the server stands.
    void peerCodesBecomeTheLinkState()
    {
        restart(true);
        peer.answer = R"({"code":-4})";
        vw->sndRecordOperate(record("a"));
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), -4, 10000);
        peer.answer = R"({"code":-3})";
        vw->sndRecordOperate(record("b"));
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), -3, 10000);
        peer.answer = R"({"code":0})";
        vw->sndRecordOperate(record("c"));
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, 10000);
    }

    // A peer that closes every connection after its reply (with or without saying so) still
    // gets every message, in order, each on a new connection.
    void peerClosingConnectionsGetsEverything()
    {
        restart(true);
        peer.closeAfterReply = true;
        const int before = peer.connections;
        for (int i = 0; i < 6; ++i) vw->sndRecordOperate(record(QString::number(i)));
        QTRY_COMPARE_WITH_TIMEOUT(peer.on(kRecordPath).size(), 6, 10000);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(peer.on(kRecordPath)[i].body.value("remarks").toString(), QString::number(i));
        QVERIFY(peer.connections - before >= 5);  // the first may go on the connection kept from before
        peer.closeAfterReply = false;
    }

    // An NG's alarm opens under a new uuid; the finish goes only once the judgement marked it
    // pending, with the clear methods gathered meanwhile, and only once.
    void alarmStartAndFinish()
    {
        restart(true);
        vw->sndAlarmStartTiming(1);
        vw->addClearMethod(0, 4);
        vw->addClearMethod(1, 6);
        vw->sndAlarmFinishTiming();  // not yet cleared
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/alarmstart").size(), 1, 10000);
        const QJsonObject start = peer.on("/inline/bymain/alarmstart").first().body;
        QVERIFY(start.value("uuid").toString().startsWith("SC_#"));
        QCOMPARE(start.value("step").toInt(), 1);

        vw->alarmState = ViewWatch2VRQ::kAlarmFinishPending;
        vw->sndAlarmFinishTiming();
        vw->sndAlarmFinishTiming();
        vw->sndRecordOperate(record("after"));
        QTRY_COMPARE_WITH_TIMEOUT(peer.on(kRecordPath).size(), 1, 10000);
        const QList<TestPeer::Message> finish = peer.on("/inline/bymain/alarmfinish");
        QCOMPARE(finish.size(), 1);
        QCOMPARE(finish.first().body.value("uuid"), start.value("uuid"));
        const QJsonArray methods = finish.first().body.value("clearmethods").toArray();
        QCOMPARE(methods.size(), 2);
        QCOMPARE(methods[0].toObject().value("method").toString(), QString("notdetect"));
        QCOMPARE(methods[1].toObject().value("camera").toInt(), 1);
        QCOMPARE(methods[1].toObject().value("method").toString(), QString("redetectmould"));
        QCOMPARE(vw->alarmState, ViewWatch2VRQ::kAlarmNone);
    }

    // A cycle's record carries its regions' values; a picture saved on another thread joins
    // the latest record and reaches the peer and the subscriber of subscriber.ini.
    void periodRecordAndPictures()
    {
        TestPeer subscriber;
        QVERIFY(subscriber.listen());
        {
            QSettings ini("cnt_net/workspace/subscriber.ini", QSettings::IniFormat);
            ini.setValue("subscribers/line3", QString("http://127.0.0.1:%1/results").arg(subscriber.port()));
        }
        restart(true, true);
        QCOMPARE(net->push->subscribers.size(), 1);

        net->roiCache.insert(TNR_NETMN::roiKey(0, 0, 0), param_roi{0, 0, 0, 1, 999, 0, 0, -1, 1});
        net->start_PeriodRecord();
        QVERIFY(net->roiCache.isEmpty());  // the last cycle's results are gone
        net->roiCache.insert(TNR_NETMN::roiKey(0, 1, 0), param_roi{0, 1, 0, 2, 17, 0, 40, -1, 1});
        net->roiCache.insert(TNR_NETMN::roiKey(1, 1, 2), param_roi{1, 1, 2, 3, 55, 10, 40, 7, 0});
        net->finish_PeriodRecord();
        std::thread writer(
            [this] { net->add_PeriodRecord_Picture(1, 1, false, "/w/alarmimage/camera2/detect2/NG/x.jpg"); });
        writer.join();

        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/picture").size(), 1, 10000);
        const QList<TestPeer::Message> records = peer.on("/inline/bymain/periodrecord");
        QCOMPARE(records.size(), 1);
        const QJsonObject rec = records.first().body;
        const QJsonArray regions = rec.value("regions").toArray();
        QCOMPARE(regions.size(), 2);
        QCOMPARE(regions[0].toObject().value("value").toInt(), 17);
        QCOMPARE(regions[1].toObject().value("camera").toInt(), 1);
        QCOMPARE(regions[1].toObject().value("value").toInt(), 55);
        QCOMPARE(regions[1].toObject().value("low").toInt(), 10);
        QCOMPARE(regions[1].toObject().value("cameraok").toInt(), 0);
        QVERIFY(!rec.value("starttime").toString().isEmpty());
        const QJsonObject picture = peer.on("/inline/bymain/picture").first().body;
        QCOMPARE(picture.value("uuid"), rec.value("uuid"));
        QCOMPARE(picture.value("ok").toBool(), false);
        QCOMPARE(net->periodPictures.value("1;1;0"), QString("/w/alarmimage/camera2/detect2/NG/x.jpg"));
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.messages.size(), 2, 10000);
        QCOMPARE(subscriber.messages[0].path, QString("/results"));
        QCOMPARE(subscriber.messages[0].body.value("uuid"), rec.value("uuid"));

        // Detection stops: everything pending goes.
        net->clear_PeriodRecords();
        QVERIFY(net->periodRecords.isEmpty());
        QVERIFY(net->periodPictures.isEmpty());
        QVERIFY(net->roiCache.isEmpty());

        // With neither publishing on, a picture only empties the pending records.
        restart(false, false);
        net->start_PeriodRecord();
        net->add_PeriodRecord_Picture(0, 0, true, "/w/p.jpg");
        QVERIFY(net->periodPictures.isEmpty());
        QFile::remove("cnt_net/workspace/subscriber.ini");
    }

    // The peer away: -2, at most the bound waits (the oldest go), and once the peer is back
    // the rest arrive in order.
    void peerAwayQueuesWithinTheBound()
    {
        const int port = peer.port();
        peer.close();
        restart(true);
        // A small bound keeps the drain short (the peer takes one message at a time).
        constexpr int kBound = 30;
        constexpr int kExtra = 50;
        vw->queueBound = kBound;
        for (int i = 0; i < kBound + kExtra; ++i) vw->sndRecordOperate(record(QString::number(i)));
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), -2, 10000);
        QVERIFY(vw->pending() <= kBound + ViewWatch2VRQ::kInFlight);

        peer.messages.clear();
        QVERIFY(peer.listen(port));
        QTRY_COMPARE_WITH_TIMEOUT(peer.on(kRecordPath).size(), kBound, 30000);
        const QList<TestPeer::Message> got = peer.on(kRecordPath);
        QCOMPARE(got.first().body.value("remarks").toString(), QString::number(kExtra));
        QCOMPARE(got.last().body.value("remarks").toString(), QString::number(kBound + kExtra - 1));
        for (int i = 1; i < got.size(); ++i)
            QCOMPARE(got[i].body.value("remarks").toString().toInt(),
                     got[i - 1].body.value("remarks").toString().toInt() + 1);
        // The peer has the message before the client has read its answer.
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, 3000);
        vw->queueBound = ViewWatch2VRQ::kQueueBound;
    }

    // Nothing to send: the state still follows the peer, up after the start, down once it
    // goes, up again when it is back; a connection the peer ends while idle is opened again.
    void linkStateFollowsAnIdlePeer()
    {
        restart(true);
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, 3000);
        const int port = peer.port();
        const int before = peer.connections;
        PlatformClock::advanceMonotonic(ViewWatch2VRQ::kRetryMs);
        peer.dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(peer.connections, before + 1, 1500);
        QCOMPARE(net->isAllowSnd_2_VW(), 1);

        peer.close();
        QVERIFY(FastForward([&] { return net->isAllowSnd_2_VW() == -2; }));
        QVERIFY(peer.listen(port));
        QVERIFY(FastForward([&] { return net->isAllowSnd_2_VW() == 1; }));
        QVERIFY(peer.messages.isEmpty());
    }

    // A peer that does not answer in time, answers garbage, cuts its answer off or hangs up gets
    // a message three times (and a hang-up on the kept connection once more at once), tries
    // spaced by a growing pause; then it is dropped with one log line saying why, the next goes.
    void misbehavingPeerGetsBoundedTries_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("why");
        QTest::addColumn<int>("stepMs");
        QTest::newRow("silent") << int(TestPeer::Silent) << "no answer in 5 s" << 250;
        // Finer steps: the peer's own 6 s must not pass before the client's 5 s are seen.
        QTest::newRow("slow") << int(TestPeer::Slow) << "no answer in 5 s" << 50;
        QTest::newRow("garbled") << int(TestPeer::Garbled) << "answer not understood" << 250;
        QTest::newRow("cut off") << int(TestPeer::CutOff) << "connection closed mid-answer" << 250;
        QTest::newRow("hangs up") << int(TestPeer::HangUp) << "connection closed without an answer" << 250;
    }
    void misbehavingPeerGetsBoundedTries()
    {
        QFETCH(int, mode);
        QFETCH(QString, why);
        QFETCH(int, stepMs);
        const int copies = mode == TestPeer::HangUp ? ViewWatch2VRQ::kTries + 1 : ViewWatch2VRQ::kTries;
        restart(true);
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, 3000);
        TestSupport::clearCapturedMessages();
        peer.mode = TestPeer::Mode(mode);
        vw->sndRecordOperate(record("A"));
        vw->sndRecordOperate(record("B"));
        const int first = copies - (ViewWatch2VRQ::kTries - 1);
        QTRY_COMPARE_WITH_TIMEOUT(peer.on(kRecordPath).size(), first, 3000);
        // The first pause is kRetryMs: nothing goes again before it.
        QTest::qWait(ViewWatch2VRQ::kTickMs * 2);
        QCOMPARE(peer.on(kRecordPath).size(), first);
        QVERIFY(FastForward([&] { return peer.on(kRecordPath).size() >= copies; }, stepMs));
        QCOMPARE(net->isAllowSnd_2_VW(), -2);
        peer.mode = TestPeer::Answer;
        QVERIFY(FastForward([&] { return vw->pending() == 0; }, stepMs));
        // B may have had a failed try of its own before the peer mended.
        const QStringList got = remarksOf(peer.on(kRecordPath));
        QCOMPARE(got.mid(0, copies).count("A"), copies);
        QCOMPARE(got.count("A"), copies);
        QCOMPARE(got.last(), QString("B"));
        QCOMPARE(net->isAllowSnd_2_VW(), 1);
        const QStringList log = TestSupport::capturedMessages();
        QCOMPARE(log.filter("dropped").size(), 1);  // A's
        QVERIFY2(log.filter("dropped").first().contains("recordoperate message dropped after 3 tries: " + why),
                 qPrintable(log.join('\n')));
        QVERIFY(log.filter("Unknown error").isEmpty());
        QCOMPARE(vw->pending(), 0);
    }

    // A reply in pieces is read whole (its link code kept); a kept connection the peer had
    // closed before it read the message gets the message again at once, on a new one.
    void replyInPiecesAndAClosedKeptConnection()
    {
        restart(true);
        peer.mode = TestPeer::Pieces;
        peer.answer = R"({"code":-4})";
        vw->sndRecordOperate(record("pieces"));
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), -4, 3000);

        peer.answer = R"({"code":0})";
        peer.mode = TestPeer::CloseOld;
        const int before = peer.connections;
        vw->sndRecordOperate(record("again"));
        // At once: well before the pause after a failed try.
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, ViewWatch2VRQ::kRetryMs * 3 / 4);
        QCOMPARE(remarksOf(peer.on(kRecordPath)), (QStringList{"pieces", "again", "again"}));
        QVERIFY(peer.connections > before);
    }

    // The peer away, then back: whatever waited arrives once and in order.
    void awayThenBackDeliversEachOnce()
    {
        const int port = peer.port();
        peer.close();
        restart(true);
        for (int i = 0; i < 5; ++i) vw->sndRecordOperate(record(QString::number(i)));
        QVERIFY(FastForward([&] { return net->isAllowSnd_2_VW() == -2; }));
        QVERIFY(peer.listen(port));
        QVERIFY(FastForward([&] { return peer.on(kRecordPath).size() >= 5 && vw->pending() == 0; }));
        QCOMPARE(remarksOf(peer.on(kRecordPath)), (QStringList{"0", "1", "2", "3", "4"}));
    }

    // A silent peer, then a healthy one in its place: what waited arrives there once and in
    // order (a message the silent one used up its tries on is dropped with a log line), and
    // the network page's state follows each within 5 s.
    void silentThenHealthyPeerOnTheNetworkPage()
    {
        restart(true);
        QTRY_COMPARE_WITH_TIMEOUT(net->isAllowSnd_2_VW(), 1, 3000);
        NetworkSettingDialog page(nullptr);
        page.show();
        QTRY_COMPARE_WITH_TIMEOUT(page.stateLabel->text(), NetworkSettingDialog::linkStateText(1), 5000);
        TestSupport::clearCapturedMessages();
        peer.mode = TestPeer::Silent;
        for (int i = 0; i < 3; ++i) vw->sndRecordOperate(record(QString("queued %1").arg(i)));
        QVERIFY(FastForward([&] { return net->isAllowSnd_2_VW() == -2; }));
        QTRY_COMPARE_WITH_TIMEOUT(page.stateLabel->text(), NetworkSettingDialog::linkStateText(-2), 5000);

        const int port = peer.port();
        peer.close();
        const int silentGot = peer.messages.size();
        peer.mode = TestPeer::Answer;
        QVERIFY(peer.listen(port));
        QTRY_COMPARE_WITH_TIMEOUT(page.stateLabel->text(), NetworkSettingDialog::linkStateText(1), 5000);
        QVERIFY(FastForward([&] { return vw->pending() == 0; }));
        const QStringList healthy = remarksOf(peer.messages.mid(silentGot));
        const bool dropped = !TestSupport::capturedMessages().filter("queued 0").isEmpty() ||
                             !TestSupport::capturedMessages().filter("dropped").isEmpty();
        QCOMPARE(healthy,
                 dropped ? (QStringList{"queued 1", "queued 2"}) : (QStringList{"queued 0", "queued 1", "queued 2"}));
        page.hide();
    }

    // Pictures of both steps of a cycle carry the uuid of their own cycle's record, the first
    // step's handed while the record is open; at most kKeptPeriods records are kept; a finish
    // never overwrites a finished record.
    void picturesTaggedWithTheirCycleAndRecordsKept()
    {
        restart(true);
        QStringList cycles;
        for (int cycle = 0; cycle < TNR_NETMN::kKeptPeriods + 2; ++cycle) {
            net->start_PeriodRecord();
            net->add_PeriodRecord_Picture(0, 0, true, QString("/w/%1-0.jpg").arg(cycle));
            net->finish_PeriodRecord();
            net->add_PeriodRecord_Picture(0, 1, true, QString("/w/%1-1.jpg").arg(cycle));
            cycles.append(net->periodRecords.last().value("uuid").toString());
        }
        QTRY_COMPARE_WITH_TIMEOUT(peer.on("/inline/bymain/picture").size(), 2 * cycles.size(), 10000);
        const QList<TestPeer::Message> records = peer.on("/inline/bymain/periodrecord");
        const QList<TestPeer::Message> pictures = peer.on("/inline/bymain/picture");
        QCOMPARE(records.size(), cycles.size());
        for (int cycle = 0; cycle < cycles.size(); ++cycle) {
            QCOMPARE(records[cycle].body.value("uuid").toString(), cycles[cycle]);
            QVERIFY(!records[cycle].body.value("starttime").toString().isEmpty());
            for (int step = 0; step < 2; ++step) {
                const QJsonObject p = pictures[2 * cycle + step].body;
                QCOMPARE(p.value("path").toString(), QString("/w/%1-%2.jpg").arg(cycle).arg(step));
                QCOMPARE(p.value("uuid").toString(), cycles[cycle]);
            }
        }
        QCOMPARE(net->periodRecords.size(), TNR_NETMN::kKeptPeriods);
        QCOMPARE(net->periodRecords.first().value("uuid").toString(), cycles[2]);

        // A finish without a cycle open is a record of its own: the last cycle's stays as it was.
        const QJsonObject last = net->periodRecords.last();
        net->finish_PeriodRecord();
        QCOMPARE(net->periodRecords.at(net->periodRecords.size() - 2), last);
        QVERIFY(net->periodRecords.last().value("uuid") != last.value("uuid"));
    }

    // Subscribers: one that answers gets every push however many; one that never answers
    // has at most kMaxInFlight waiting and misses the rest, without holding up the other.
    void subscribersPushedBoundedly()
    {
        TestPeer live, dead;
        dead.mode = TestPeer::Silent;
        QVERIFY(live.listen() && dead.listen());
        {
            QSettings ini("cnt_net/workspace/subscriber.ini", QSettings::IniFormat);
            ini.setValue("subscribers/live", QString("http://127.0.0.1:%1/live").arg(live.port()));
            ini.setValue("subscribers/dead", QString("http://127.0.0.1:%1/dead").arg(dead.port()));
        }
        restart(false, true);
        QCOMPARE(net->push->subscribers.size(), 2);
        constexpr int kPushes = 3 * Tcp_Push2APP::kMaxInFlight;
        for (int i = 0; i < kPushes; ++i) {
            net->push->publish(QJsonObject{{"n", i}});
            QTRY_COMPARE_WITH_TIMEOUT(live.messages.size(), i + 1, 5000);
        }
        QVERIFY(!dead.messages.isEmpty());
        QVERIFY(dead.messages.size() <= Tcp_Push2APP::kMaxInFlight);
        QCOMPARE(live.messages.last().body.value("n").toInt(), kPushes - 1);
        QCOMPARE(live.messages.last().deviceId, QByteArray("SN-0042"));
        QFile::remove("cnt_net/workspace/subscriber.ini");

        // The stop ends the pushes still under way (their HTTP thread must not outlive the
        // program): the silent subscriber sees its connections closed now, not at their time-out.
        QVERIFY(dead.open() > 0);
        net->stopServices();
        for (int i = 0; i < 100 && dead.open() > 0; ++i) QCoreApplication::processEvents();
        QCOMPARE(dead.open(), 0);
    }
};

MONITOR_TEST_MAIN(TestNetPeer)
#include "tst_netpeer.moc"
