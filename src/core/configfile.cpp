// Reading the shared JSON settings files.
#include "configfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

bool ReadJsonObject(const QString& path, QJsonObject& out, QString* error)
{
    out = QJsonObject();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parse.error != QJsonParseError::NoError ? parse.errorString() : QStringLiteral("not an object");
        return false;
    }
    out = doc.object();
    return true;
}
