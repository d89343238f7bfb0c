// Reads platform.json, the file that tells an off-panel run how to reach the host.
#pragma once

#include <QString>

class PlatformConfig
{
public:
    enum Outcome {
        Absent,   // no file: the panel, whose defaults (real commands, real paths) hold
        Applied,  // the file's settings are in force
        Refused,  // a file that cannot be trusted: nothing applied, the program must not start
    };

    // Applies "commands" (real / log / record), "serial" (device path) and "root" (the
    // system-path root) from the file when it exists, and the network services' listening
    // address and ports (NetPorts). A file that is there but cannot be read, is no JSON
    // object, names no or an unknown command mode, gives "root" or "serial" as anything but
    // text, "listen" as anything but an IP address (blanks around it included), or "ports" as
    // anything but an object of one or more of "api", "peer" and "modbus", each a whole number
    // from 1 to 65535, is refused with the reason in *why: a typo must never mean real
    // commands on a development machine, nor servers on every interface or the panel's ports.
    static Outcome load(const QString& path = "platform.json", QString* why = nullptr);
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
