// Serial port settings common to every implementation of the port.
#include "qextserialbase.h"

QextSerialBase::QextSerialBase(const QString& name, QueryMode mode) : port(name), _queryMode(mode) {}

QextSerialBase::~QextSerialBase() = default;

void QextSerialBase::setPortName(const QString& name)
{
    port = name;
}
