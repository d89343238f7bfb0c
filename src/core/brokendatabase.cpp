// Unreadable SQLite files: the check and the move aside.
#include "brokendatabase.h"

#include <atomic>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "platformclock.h"

namespace {

// SQLite's result codes of a file that is in use rather than damaged.
const char* const kBusyCodes[] = {"5", "6"};  // SQLITE_BUSY, SQLITE_LOCKED

}  // namespace

bool DatabaseReadable(const QString& file, const QString& probe, QString* why)
{
    // Opening a missing file would create an empty one.
    if (!QFileInfo(file).isFile()) {
        if (why)
            *why = QFileInfo::exists(file) ? QStringLiteral("not a file") : QStringLiteral("missing");
        return false;
    }
    static std::atomic<int> serial{0};
    const QString connection = QStringLiteral("readable-check-%1").arg(++serial);
    bool readable = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        QSqlError error;
        if (db.open()) {
            QSqlQuery query(db);
            readable = query.exec(probe);
            error = query.lastError();
            query.clear();
        } else {
            error = db.lastError();
        }
        for (const char* code : kBusyCodes) readable = readable || error.nativeErrorCode() == QLatin1String(code);
        if (!readable && why)
            *why = error.text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return readable;
}

bool SetAsideBrokenDatabase(const QString& file, const QString& probe, const QString& replacement)
{
    QString why;
    if (!QFileInfo::exists(file) || DatabaseReadable(file, probe, &why))
        return false;
    if (!DatabaseReadable(replacement, probe)) {
        qCritical().noquote() << file << "cannot be read (" + why + ") and neither can" << replacement
                              << "- it stays in place";
        return false;
    }
    // An earlier broken copy of the same second keeps its name.
    const QFileInfo info(file);
    const QString stem =
        QStringLiteral("%1-broken-%2")
            .arg(info.completeBaseName(), PlatformClock::now().toString(QStringLiteral("yyyyMMdd-hhmmss")));
    QString aside = info.dir().filePath(stem + '.' + info.suffix());
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = info.dir().filePath(QStringLiteral("%1_%2.%3").arg(stem).arg(n).arg(info.suffix()));
    if (!QFile::rename(file, aside)) {
        qCritical().noquote() << file << "cannot be read (" + why + ") nor moved aside to" << aside;
        return false;
    }
    qCritical().noquote() << file << "cannot be read (" + why + "); it is kept as" << aside << "and replaced by"
                          << replacement;
    return true;
}
