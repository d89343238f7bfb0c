// Serial port settings and their enums, shared by the platform implementations of the port.
#pragma once

#include <QIODevice>
#include <QString>

// The numeric values of these enums are what callers pass (e.g. 19 for 115200 baud); keep
// the order.
enum BaudRateType {
    BAUD50,
    BAUD75,
    BAUD110,
    BAUD134,
    BAUD150,
    BAUD200,
    BAUD300,
    BAUD600,
    BAUD1200,
    BAUD1800,
    BAUD2400,
    BAUD4800,
    BAUD9600,
    BAUD14400,
    BAUD19200,
    BAUD38400,
    BAUD56000,
    BAUD57600,
    BAUD76800,
    BAUD115200,
    BAUD128000,
    BAUD256000
};
enum DataBitsType { DATA_5, DATA_6, DATA_7, DATA_8 };
enum ParityType { PAR_NONE, PAR_ODD, PAR_EVEN, PAR_MARK, PAR_SPACE };
enum StopBitsType { STOP_1, STOP_1_5, STOP_2 };
enum FlowType { FLOW_OFF, FLOW_HARDWARE, FLOW_XONXOFF };

struct PortSettings
{
    BaudRateType BaudRate = BAUD9600;
    DataBitsType DataBits = DATA_8;
    ParityType Parity = PAR_NONE;
    StopBitsType StopBits = STOP_1;
    FlowType FlowControl = FLOW_OFF;
    long Timeout_Millisec = 0;
};

class QextSerialBase : public QIODevice
{
    Q_OBJECT

public:
    enum QueryMode { Polling, EventDriven };

    explicit QextSerialBase(const QString& name, QueryMode mode = Polling);
    ~QextSerialBase() override;

    QString portName() const { return port; }
    void setPortName(const QString& name);
    QueryMode queryMode() const { return _queryMode; }

    BaudRateType baudRate() const { return Settings.BaudRate; }
    DataBitsType dataBits() const { return Settings.DataBits; }
    ParityType parity() const { return Settings.Parity; }
    StopBitsType stopBits() const { return Settings.StopBits; }
    FlowType flowControl() const { return Settings.FlowControl; }
    long timeout() const { return Settings.Timeout_Millisec; }

    // Each setter stores the value and, on an open port, applies it at once.
    virtual void setBaudRate(BaudRateType rate) = 0;
    virtual void setDataBits(DataBitsType bits) = 0;
    virtual void setParity(ParityType parity) = 0;
    virtual void setStopBits(StopBitsType bits) = 0;
    virtual void setFlowControl(FlowType flow) = 0;
    virtual void setTimeout(long millisec) = 0;

    // A serial line has no end and no position.
    bool isSequential() const override { return true; }
    bool atEnd() const override { return false; }

protected:
    QString port;
    PortSettings Settings;
    QueryMode _queryMode;
};
