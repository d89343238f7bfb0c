// Modbus TCP server from outside: a real client (mbpoll) and raw frames; units, registers, writes, bad frames, bounds.
// ctest-timeout: 120
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <thread>

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "globals.h"
#include "modbusserver.h"
#include "netpeer.h"
#include "platformclock.h"
#include "testsupport.h"

namespace {

// A connection from `source` (a loopback address).
int ConnectTo(int port, const char* source = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &a.sin_addr);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (!bound || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// "Read holding registers 0..4" of unit 1 with the given transaction, protocol id and length.
QByteArray ReadFrame(quint16 transaction, quint16 protocol = 0, quint16 length = 6)
{
    QByteArray frame;
    for (quint16 v : {transaction, protocol, length}) frame += char(v >> 8) + QByteArray(1, char(v & 0xff));
    return frame + QByteArray::fromHex("010300000005");
}

// One read of the five registers on fd: whether it was answered.
bool Poll(int fd, quint16 transaction)
{
    const QByteArray frame = ReadFrame(transaction);
    if (::send(fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL) != frame.size())
        return false;
    unsigned char reply[19];
    return ::recv(fd, reply, sizeof reply, MSG_WAITALL) == ssize_t(sizeof reply) &&
           (reply[0] << 8 | reply[1]) == transaction;
}

// What this process holds in memory now.
qint64 ResidentBytes()
{
    QFile statm("/proc/self/statm");
    return statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE)
                                           : 0;
}

}  // namespace

class TestNetModbus : public QObject
{
    Q_OBJECT

    ModbusServer* server = nullptr;
    int port = 0;

    // mbpoll against the server: its whole output.
    QString mbpoll(const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("mbpoll", QStringList{"-m", "tcp", "-p", QString::number(port), "-t", "4", "-0", "-1", "-o", "1"} +
                              args.mid(0, 4) + QStringList{"127.0.0.1"} + args.mid(4));
        if (!p.waitForFinished(15000))
            p.kill();
        return QString::fromLocal8Bit(p.readAll());
    }
    // The five registers as unit `unit` reads them; empty when it gets no answer.
    QVector<int> readAll(int unit)
    {
        const QString out = mbpoll({"-a", QString::number(unit), "-r", "0", "-c", "5"});
        QVector<int> values;
        const QRegularExpression line(R"(\[(\d+)\]:\s+(-?\d+))");
        for (auto it = line.globalMatch(out); it.hasNext();) values.append(it.next().captured(2).toInt());
        return values;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable("mbpoll").isEmpty(), "mbpoll: scripts/install-deps.sh installs it");
        port = FreePort();
        server = new ModbusServer("127.0.0.1", port);
        QVERIFY(server->listening());
        gAllCycleNum[0] = 70000;  // 70000 mod 65536
        gSyncNGCycleNum = 3;      // NG cycles
        gAllNum[0] = 140001;
        gSyncNGNum = 7;  // NG steps, more than NG cycles
        server->refresh();
    }

    // Unit 1 answers, and so do 0 and 255, which clients use for a TCP server; another
    // unit gets no answer. Register 2 counts the NG cycles, register 4 the NG steps.
    void registersOfUnits_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<bool>("answers");
        QTest::newRow("1") << 1 << true;
        QTest::newRow("0") << 0 << true;
        QTest::newRow("255") << 255 << true;
        QTest::newRow("7") << 7 << false;
    }
    void registersOfUnits()
    {
        QFETCH(int, unit);
        QFETCH(bool, answers);
        const QVector<int> expected{0, 70000 % 65536, 3, 140001 % 65536, 7};
        QCOMPARE(readAll(unit), answers ? expected : QVector<int>());
    }

    // Writes, single and multiple, are an illegal function; the registers stay as they were.
    void writesRefused_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("one register") << QStringList{"9"};
        QTest::newRow("two registers") << QStringList{"9", "9"};
    }
    void writesRefused()
    {
        QFETCH(QStringList, values);
        const QString out = mbpoll(QStringList{"-a", "1", "-r", "2"} + values);
        QVERIFY2(out.contains("Illegal function"), qPrintable(out));
        server->refresh();
        QCOMPARE(readAll(1), (QVector<int>{0, 70000 % 65536, 3, 140001 % 65536, 7}));
    }

    // A frame of another protocol is dropped unanswered, the next one answered; a frame whose
    // length field lies ends the connection unanswered.
    void malformedFramesDropped()
    {
        const int fd = ConnectTo(port);
        QVERIFY(fd >= 0);
        const QByteArray frames = ReadFrame(0x0101, 0x0001) + ReadFrame(0x0202);
        QCOMPARE(::send(fd, frames.constData(), size_t(frames.size()), MSG_NOSIGNAL), ssize_t(frames.size()));
        unsigned char reply[19];
        QCOMPARE(::recv(fd, reply, sizeof reply, MSG_WAITALL), ssize_t(sizeof reply));
        QCOMPARE(reply[0] << 8 | reply[1], 0x0202);
        QCOMPARE(int(reply[7]), 3);
        ::close(fd);

        const int liar = ConnectTo(port);
        const QByteArray lie = ReadFrame(0x0303, 0, 8) + QByteArray(2, '\0');  // says 2 bytes more
        QCOMPARE(::send(liar, lie.constData(), size_t(lie.size()), MSG_NOSIGNAL), ssize_t(lie.size()));
        QCOMPARE(::recv(liar, reply, sizeof reply, 0), ssize_t(0));
        ::close(liar);
    }

    // A connection is served kFramesPerTurn requests at a time, each turn's answers sent before
    // its next: of 300 requests ahead of a frame that ends it, the client has whole turns' answers.
    void requestsServedInTurns()
    {
        const int fd = ConnectTo(port);
        QByteArray frames;
        for (int i = 0; i < 300; ++i) frames += ReadFrame(quint16(i));
        frames += ReadFrame(0xffff, 0, 8) + QByteArray(2, '\0');  // its length field lies
        QCOMPARE(::send(fd, frames.constData(), size_t(frames.size()), MSG_NOSIGNAL), ssize_t(frames.size()));
        std::string got;
        QTRY_VERIFY(ClosedByServer(fd, &got));
        ::close(fd);
        const size_t turn = 19 * ModbusServer::kFramesPerTurn;  // an answer is 19 bytes
        QVERIFY2(got.size() >= turn && got.size() < 300 * 19 && got.size() % turn == 0,
                 qPrintable(QString::number(got.size())));
    }

    // A client that sends requests and never reads the answers is no longer read from once
    // its unread answers pass the bound, so what it can push in stays bounded by the kernel's
    // buffers and the server's memory by about the bound; another client is answered all the
    // while.
    void floodWithoutReadingStaysBounded()
    {
        const qint64 before = ResidentBytes();
        const int flood = ConnectTo(port);
        const int other = ConnectTo(port);
        QVERIFY(flood >= 0 && other >= 0);
        ::fcntl(flood, F_SETFL, ::fcntl(flood, F_GETFL) | O_NONBLOCK);
        QByteArray frames;
        for (int i = 0; i < 1000; ++i) frames += ReadFrame(quint16(i));
        constexpr qint64 kUnbounded = 64LL << 20;
        qint64 sent = 0;
        int stuck = 0;
        quint16 t = 0;
        while (sent < kUnbounded && stuck < 20) {
            const ssize_t n = ::send(flood, frames.constData(), size_t(frames.size()), MSG_NOSIGNAL);
            if (n > 0) {
                sent += n;
                stuck = 0;
                continue;
            }
            ++stuck;
            QVERIFY(Poll(other, ++t));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        qInfo("the flood pushed %lld KiB before it was held", sent / 1024);
        QVERIFY2(sent < kUnbounded, qPrintable(QString::number(sent)));
        QVERIFY2(ResidentBytes() - before < (1 << 20), qPrintable(QString::number(ResidentBytes() - before)));
        for (int i = 0; i < 5; ++i) QVERIFY(Poll(other, ++t));
        ::close(flood);
        ::close(other);
        QTRY_COMPARE(server->connections(), 0);
    }

    // At most kMaxConnections are held, yet no set of clients shuts another out: one more from
    // the address holding the most is closed at once; one from elsewhere takes the place of the
    // oldest connection of the address holding the most (not the oldest of all, nor one of the
    // address holding the fewest); when every address holds one, of the least recently active,
    // and a second one from such an address is closed. A connection without a request for
    // kIdleCloseMs is closed; a request starts the time again.
    void capShareAndIdleClose()
    {
        std::vector<int> held;
        quint16 t = 0;
        // Whether `gone` alone of `held` was closed: every other one still answers.
        auto onlyClosed = [&](size_t gone) {
            bool others = QTest::qWaitFor([&] { return ClosedByServer(held[gone]); });
            for (size_t i = 0; i < held.size(); ++i) others = others && (i == gone || Poll(held[i], ++t));
            return others;
        };
        // 127.0.0.12 holds the oldest, 127.0.0.11 twenty, 127.0.0.10 the rest; then one each.
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < ModbusServer::kMaxConnections; ++i) {
                const QByteArray one = "127.0.0." + QByteArray::number(20 + i);
                held.push_back(ConnectTo(port, round ? one.constData() : i == 0 ? "127.0.0.12" : i < 21 ? "127.0.0.11" : "127.0.0.10"));
            }
            QTRY_COMPARE(server->connections(), ModbusServer::kMaxConnections);
            PlatformClock::advanceMonotonic(1000);
            const size_t quiet = 30;  // neither the oldest nor the newest: all but it ask again
            for (size_t i = 0; round && i < held.size(); ++i) QVERIFY(i == quiet || Poll(held[i], ++t));
            const int extra = ConnectTo(port, round ? "127.0.0.21" : "127.0.0.10");
            QTRY_VERIFY(ClosedByServer(extra));
            ::close(extra);
            held.push_back(ConnectTo(port, "127.0.0.2"));  // a reader from elsewhere
            QVERIFY(Poll(held.back(), ++t));
            QVERIFY(onlyClosed(round ? quiet : 21));  // 127.0.0.10's oldest; the least active
            if (round)
                break;
            for (int fd : held) ::close(fd);
            held.clear();
            QTRY_COMPARE(server->connections(), 0);
        }

        PlatformClock::advanceMonotonic(ModbusServer::kIdleCloseMs - 1000);
        QVERIFY(Poll(held[1], 2));
        PlatformClock::advanceMonotonic(1000);
        QTRY_VERIFY(ClosedByServer(held.back()));
        QTest::qWait(600);  // two looks for idle connections
        QVERIFY(!ClosedByServer(held[1]));
        QVERIFY(Poll(held[1], 3));
        PlatformClock::advanceMonotonic(ModbusServer::kIdleCloseMs);
        QTRY_VERIFY(ClosedByServer(held[1]));
        for (int fd : held) ::close(fd);
        QTRY_COMPARE(server->connections(), 0);
    }

    void cleanupTestCase() { delete server; }
};

MONITOR_TEST_MAIN(TestNetModbus)
#include "tst_netmodbus.moc"
