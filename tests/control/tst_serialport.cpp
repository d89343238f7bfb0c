// The termios serial port on a real pseudo-terminal: raw bytes, non-blocking reads, settings while open.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <thread>

#include <QElapsedTimer>

#include "posix_qextserialport.h"
#include "testsupport.h"

namespace {

// A pseudo-terminal left in the kernel's default (cooked) settings, as a fresh serial line would be.
struct Pty
{
    int master = -1;
    QString slavePath;

    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        char name[256];
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, name, sizeof name) == 0)
            slavePath = QString::fromLocal8Bit(name);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { ::close(master); }

    // Everything the port side sent within waitMs.
    QByteArray readAll(int waitMs)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, int(n));
            }
        }
        return got;
    }
    void write(const QByteArray& bytes)
    {
        QVERIFY(::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size());
    }
};

// The settings the kernel holds for the line, read through a descriptor of our own.
termios lineSettings(const QString& path)
{
    termios t{};
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    tcgetattr(fd, &t);
    ::close(fd);
    return t;
}

QByteArray everyByteValue()
{
    QByteArray all(256, 0);
    for (int i = 0; i < 256; ++i) all[i] = char(i);
    return all;
}

bool waitForAvailable(Posix_QextSerialPort& port, qint64 count, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (port.bytesAvailable() < count && t.elapsed() < timeoutMs) QThread::msleep(1);
    return port.bytesAvailable() >= count;
}

}  // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void everyByteValuePassesBothWaysUnchanged()
    {
        Pty pty;
        QVERIFY(!pty.slavePath.isEmpty());
        Posix_QextSerialPort port(pty.slavePath, QextSerialBase::Polling);
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.setTimeout(1000);

        // Line feed, ^C, XON and XOFF are the bytes a cooked line would translate or swallow.
        const QByteArray all = everyByteValue();
        QCOMPARE(port.write(all), qint64(all.size()));
        QCOMPARE(pty.readAll(200), all);

        pty.write(all);
        QVERIFY(waitForAvailable(port, all.size(), 2000));
        QByteArray back(all.size(), 0);
        QCOMPARE(port.read(back.data(), back.size()), qint64(all.size()));
        QCOMPARE(back, all);
        // Nothing was echoed to the other side.
        QVERIFY(pty.readAll(50).isEmpty());
    }

    void readsNeverWaitAndCountWhatIsWaiting()
    {
        Pty pty;
        Posix_QextSerialPort port(pty.slavePath);
        QVERIFY(port.open(QIODevice::ReadWrite));
        char buf[16];
        QElapsedTimer t;
        t.start();
        QCOMPARE(port.bytesAvailable(), qint64(0));
        QCOMPARE(port.read(buf, sizeof buf), qint64(0));
        // A read that waited would wait for ever on the silent terminal; a busy machine may
        // take its time over one that does not.
        QVERIFY(t.elapsed() < 2000);

        pty.write("0123456789");
        QVERIFY(waitForAvailable(port, 10, 2000));
        QCOMPARE(port.bytesAvailable(), qint64(10));
        QCOMPARE(port.read(buf, 4), qint64(4));
        QCOMPARE(QByteArray(buf, 4), QByteArray("0123"));
        QCOMPARE(port.bytesAvailable(), qint64(6));
        QCOMPARE(port.read(buf, sizeof buf), qint64(6));
        QCOMPARE(QByteArray(buf, 6), QByteArray("456789"));
    }

    void settingsApplyBeforeAndAfterOpen()
    {
        Pty pty;
        Posix_QextSerialPort port(pty.slavePath);
        port.setBaudRate(BAUD9600);
        QVERIFY(port.open(QIODevice::ReadWrite));
        termios t = lineSettings(pty.slavePath);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));

        // The link's own sequence, given as the numbers it passes.
        port.setBaudRate(BaudRateType(19));
        port.setDataBits(DataBitsType(3));
        port.setParity(ParityType(0));
        port.setStopBits(StopBitsType(0));
        port.setFlowControl(FlowType(0));
        t = lineSettings(pty.slavePath);
        QCOMPARE(cfgetospeed(&t), speed_t(B115200));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));

        // A pseudo-terminal keeps 8 data bits and no parity whatever it is told; stop bits
        // and flow control it does keep.
        port.setDataBits(DATA_7);
        port.setParity(PAR_ODD);
        port.setStopBits(STOP_2);
        port.setFlowControl(FLOW_XONXOFF);
        QCOMPARE(port.dataBits(), DATA_7);
        QCOMPARE(port.parity(), PAR_ODD);
        t = lineSettings(pty.slavePath);
        QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
        // Still raw apart from what was asked for.
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));

        // A rate the line cannot take leaves the one in force.
        port.setBaudRate(BAUD14400);
        QCOMPARE(port.baudRate(), BAUD115200);
        t = lineSettings(pty.slavePath);
        QCOMPARE(cfgetospeed(&t), speed_t(B115200));
    }

    void bigWritesLoopUntilDoneAndStalledWritesGiveUp()
    {
        Pty pty;
        Posix_QextSerialPort port(pty.slavePath);
        QVERIFY(port.open(QIODevice::ReadWrite));

        // Far more than the terminal buffers: the write must wait for the reader, in pieces.
        QByteArray big(256 * 1024, 0);
        for (int i = 0; i < big.size(); ++i) big[i] = char(i * 7 + i / 256);
        std::atomic<bool> done{false};
        QByteArray got;
        std::thread reader([&] {
            while (!done || got.size() < big.size()) {
                pollfd p{pty.master, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) {
                    if (done)
                        break;
                    continue;
                }
                char buf[1024];
                const ssize_t n = ::read(pty.master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, int(n));
                QThread::usleep(200);
            }
        });
        port.setTimeout(5000);
        const qint64 written = port.write(big);
        done = true;
        reader.join();
        QCOMPARE(written, qint64(big.size()));
        QCOMPARE(got, big);

        // Nobody reads: a short time-out bounds the write instead of hanging the caller.
        port.setTimeout(1);
        QElapsedTimer t;
        t.start();
        const qint64 stalled = port.write(big);
        QVERIFY(t.elapsed() < 4000);
        QVERIFY(stalled >= 0 && stalled < big.size());
    }

    void missingDeviceFailsCleanly()
    {
        Posix_QextSerialPort port(TestSupport::sysRoot() + "/dev/ttyS7");
        QVERIFY(!port.open(QIODevice::ReadWrite));
        QVERIFY(!port.isOpen());
        QVERIFY(!port.errorString().isEmpty());
        QCOMPARE(port.bytesAvailable(), qint64(0));
        port.setBaudRate(BAUD115200);  // stored, nothing to apply
        QCOMPARE(port.baudRate(), BAUD115200);
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (Posix_QextSerialPort): device not open");
        QCOMPARE(port.write("x", 1), qint64(-1));
    }
};

MONITOR_TEST_MAIN(TestSerialPort)
#include "tst_serialport.moc"
