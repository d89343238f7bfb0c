// Reads platform.json, the file that tells an off-panel run how to reach the host.
#pragma once

#include <QString>

class PlatformConfig
{
public:
    // Applies "commands" (real / log / record), "serial" (device path) and "root" (the
    // system-path root) from the file when it exists. Returns false when there is no file
    // or it cannot be parsed; the panel defaults (real commands, real paths) then hold.
    // Also reads the network services' listening address and ports (NetPorts).
    static bool load(const QString& path = "platform.json");
};

// Where the network services listen and where the companion peer is reached. The panel
// listens on every interface at the ports its peers know; platform.json may move them
// ("listen": an address, "ports": {"api": n, "peer": n, "modbus": n}) so that an off-panel run
// binds 127.0.0.1 at unprivileged ports. Tests set them directly.
struct NetPorts
{
    static constexpr int kApiDefault = 10100;
    static constexpr int kPeerDefault = 10431;
    static constexpr int kModbusDefault = 502;

    QString listen = QStringLiteral("0.0.0.0");
    int api = kApiDefault;
    int peer = kPeerDefault;
    int modbus = kModbusDefault;

    static NetPorts& current();
};
