// Reads platform.json, the file that tells an off-panel run how to reach the host.
#pragma once

#include <QString>

class PlatformConfig
{
public:
    // Applies "commands" (real / log / record), "serial" (device path) and "root" (the
    // system-path root) from the file when it exists. Returns false when there is no file
    // or it cannot be parsed; the panel defaults (real commands, real paths) then hold.
    static bool load(const QString& path = "platform.json");
};
