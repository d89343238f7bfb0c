// Serial port on POSIX termios.
#include "posix_qextserialport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <QElapsedTimer>

namespace {

// Indexed by BaudRateType; 0 marks rates a POSIX line cannot be set to.
const speed_t kBaudTable[] = {B50,   B75,   B110, B134,   B150,   B200, B300,   B600, B1200,   B1800, B2400,
                              B4800, B9600, 0,    B19200, B38400, 0,    B57600, 0,    B115200, 0,     0};
const tcflag_t kDataBitsTable[] = {CS5, CS6, CS7, CS8};

void makeRaw(termios& t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY |
                           IMAXBEL | INPCK);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

}  // namespace

Posix_QextSerialPort::Posix_QextSerialPort(const QString& name, QueryMode mode) : QextSerialBase(name, mode) {}

Posix_QextSerialPort::~Posix_QextSerialPort()
{
    close();
}

bool Posix_QextSerialPort::open(OpenMode mode)
{
    if (isOpen())
        return true;
    int flags = O_NOCTTY | O_NONBLOCK;
    if ((mode & ReadWrite) == ReadWrite)
        flags |= O_RDWR;
    else if (mode & WriteOnly)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    const QByteArray path = port.toLocal8Bit();
    fd = ::open(path.constData(), flags);
    if (fd < 0) {
        setErrorString(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    termios t;
    if (tcgetattr(fd, &t) != 0) {
        setErrorString(QString::fromLocal8Bit(strerror(errno)));
        ::close(fd);
        fd = -1;
        return false;
    }
    makeRaw(t);
    tcsetattr(fd, TCSANOW, &t);
    applySettings();
    // Qt's own read buffer would hide bytes from the driver's count.
    return QIODevice::open(mode | Unbuffered);
}

void Posix_QextSerialPort::close()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    QIODevice::close();
}

qint64 Posix_QextSerialPort::bytesAvailable() const
{
    int waiting = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0)
        waiting = 0;
    return qint64(waiting) + QIODevice::bytesAvailable();
}

void Posix_QextSerialPort::setBaudRate(BaudRateType rate)
{
    if (int(rate) < 0 || size_t(rate) >= sizeof(kBaudTable) / sizeof(kBaudTable[0]) || kBaudTable[rate] == 0) {
        qWarning("serial port %s: baud rate %d not available on this system", qPrintable(port), int(rate));
        return;
    }
    Settings.BaudRate = rate;
    applySettings();
}

void Posix_QextSerialPort::setDataBits(DataBitsType bits)
{
    if (int(bits) < DATA_5 || int(bits) > DATA_8)
        return;
    Settings.DataBits = bits;
    applySettings();
}

void Posix_QextSerialPort::setParity(ParityType parity)
{
    if (int(parity) < PAR_NONE || int(parity) > PAR_SPACE)
        return;
    Settings.Parity = parity;
    applySettings();
}

void Posix_QextSerialPort::setStopBits(StopBitsType bits)
{
    if (bits != STOP_1 && bits != STOP_2) {
        qWarning("serial port %s: stop bits %d not available on this system", qPrintable(port), int(bits));
        return;
    }
    Settings.StopBits = bits;
    applySettings();
}

void Posix_QextSerialPort::setFlowControl(FlowType flow)
{
    if (int(flow) < FLOW_OFF || int(flow) > FLOW_XONXOFF)
        return;
    Settings.FlowControl = flow;
    applySettings();
}

void Posix_QextSerialPort::setTimeout(long millisec)
{
    Settings.Timeout_Millisec = millisec < 0 ? 0 : millisec;
}

bool Posix_QextSerialPort::applySettings()
{
    if (fd < 0)
        return false;
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    makeRaw(t);
    cfsetispeed(&t, kBaudTable[Settings.BaudRate]);
    cfsetospeed(&t, kBaudTable[Settings.BaudRate]);
    t.c_cflag = (t.c_cflag & ~tcflag_t(CSIZE)) | kDataBitsTable[Settings.DataBits];
    t.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (Settings.Parity) {
        case PAR_NONE:
            break;
        case PAR_ODD:
            t.c_cflag |= PARENB | PARODD;
            break;
        case PAR_EVEN:
            t.c_cflag |= PARENB;
            break;
        case PAR_MARK:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case PAR_SPACE:
            t.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (Settings.Parity != PAR_NONE)
        t.c_iflag |= INPCK;
    if (Settings.StopBits == STOP_2)
        t.c_cflag |= CSTOPB;
    if (Settings.FlowControl == FLOW_HARDWARE)
        t.c_cflag |= CRTSCTS;
    else if (Settings.FlowControl == FLOW_XONXOFF)
        t.c_iflag |= IXON | IXOFF;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

qint64 Posix_QextSerialPort::readData(char* data, qint64 maxSize)
{
    if (fd < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(fd, data, size_t(maxSize));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        setErrorString(QString::fromLocal8Bit(strerror(errno)));
        return -1;
    }
}

qint64 Posix_QextSerialPort::writeData(const char* data, qint64 maxSize)
{
    if (fd < 0)
        return -1;
    QElapsedTimer waited;
    waited.start();
    qint64 done = 0;
    while (done < maxSize) {
        const ssize_t n = ::write(fd, data + done, size_t(maxSize - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            setErrorString(QString::fromLocal8Bit(strerror(errno)));
            return done > 0 ? done : -1;
        }
        const qint64 left = Settings.Timeout_Millisec - waited.elapsed();
        if (left <= 0)
            break;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, int(left));
    }
    return done;
}
