// cnt_net/config.json, the file the network services, the version file and the network settings
// share: where it is, and reading a JSON file as one object.
#pragma once

#include <QJsonObject>
#include <QString>

// Relative to the working folder, as every reader and writer opens it.
inline constexpr const char* kNetConfigFile = "./cnt_net/config.json";

// True when the file opens and holds one JSON object, which goes to `out`; otherwise `out` is
// left empty and `error` (when given) says why.
bool ReadJsonObject(const QString& path, QJsonObject& out, QString* error = nullptr);
