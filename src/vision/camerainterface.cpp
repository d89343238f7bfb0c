// The camera plug-in interface's shared parts: the serial of a camera description, reserved slots.
#include "camerainterface.h"

#include <cstring>

QString _cameraInfo::serial() const
{
    const void* end = std::memchr(serialNumber, 0, sizeof(serialNumber));
    const int length = end ? int(static_cast<const char*>(end) - serialNumber) : int(sizeof(serialNumber));
    return QString::fromUtf8(serialNumber, length);
}

void _cameraInfo::setSerial(const QString& serial)
{
    const QByteArray bytes = serial.toUtf8();
    const int length = qMin(bytes.size(), int(sizeof(serialNumber)) - 1);
    std::memcpy(serialNumber, bytes.constData(), size_t(length));
    serialNumber[length] = '\0';
}

CameraInterface::CameraInterface(QObject* parent) : QObject(parent) {}

CameraInterface::~CameraInterface() = default;

bool CameraInterface::reserved14(int)
{
    return false;
}

bool CameraInterface::reserved19(int)
{
    return false;
}

QString CameraInterface::reserved29()
{
    return QString();
}

int CameraInterface::reserved33()
{
    return 0;
}
