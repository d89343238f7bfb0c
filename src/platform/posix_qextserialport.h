// Serial port on POSIX termios: raw bytes, non-blocking reads, settings that apply while open.
#pragma once

#include "qextserialbase.h"

class Posix_QextSerialPort : public QextSerialBase
{
    Q_OBJECT

public:
    // Reads are polled (bytesAvailable, then read) whatever the query mode.
    explicit Posix_QextSerialPort(const QString& name, QueryMode mode = Polling);
    ~Posix_QextSerialPort() override;

    // Opens the device in raw mode: no byte is translated, swallowed or echoed.
    bool open(OpenMode mode) override;
    void close() override;

    // Bytes received and not yet read (the driver's count plus anything Qt buffered).
    qint64 bytesAvailable() const override;

    void setBaudRate(BaudRateType rate) override;
    void setDataBits(DataBitsType bits) override;
    void setParity(ParityType parity) override;
    void setStopBits(StopBitsType bits) override;
    void setFlowControl(FlowType flow) override;
    // How long a write may wait in total for room in a full line before it gives up.
    void setTimeout(long millisec) override;

protected:
    // Returns at once: what is waiting, possibly nothing.
    qint64 readData(char* data, qint64 maxSize) override;
    // Loops over partial writes until all is written or the time-out runs out.
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    bool applySettings();

    int fd = -1;
};
