// Test fixture of the main-window scenarios: factory data, simulated cameras, language, record rows.
#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include "factoryfixture.h"
#include "globals.h"
#include "lanstr.h"
#include "mojuwizard.h"

namespace MainWindowRig {

// The light window's own connections as start-up opens them: PARAM.db, and RECORD.db when the
// test reads or writes operation records.
inline bool openWindowDatabases(MoJuWizard* w, bool records)
{
    w->dbIn = QSqlDatabase::addDatabase("QSQLITE", "dbIn");
    w->dbIn.setDatabaseName("PARAM.db");
    if (!w->dbIn.open())
        return false;
    w->queryIn = QSqlQuery(w->dbIn);
    if (!records)
        return true;
    w->dbRecord = QSqlDatabase::addDatabase("QSQLITE", "dbRecord");
    w->dbRecord.setDatabaseName("RECORD.db");
    return w->dbRecord.open();
}

// simcamera.json in the working folder, read by the plug-in before its own.
inline void writeSimCameras(const QJsonObject& config)
{
    QFile f("simcamera.json");
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QJsonDocument(config).toJson());
}

// Sets one value (1-based position) of a sysparam row of a PARAM.db.
inline bool setParam(const QString& db, const QString& row, int position, int value)
{
    bool ok = false;
    {
        QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "rig-param");
        conn.setDatabaseName(db);
        if (conn.open()) {
            QSqlQuery q(conn);
            q.prepare("SELECT value FROM sysparam WHERE name=?");
            q.addBindValue(row);
            if (q.exec() && q.next()) {
                QStringList values = q.value(0).toString().split(' ');
                if (position >= 1 && position <= values.size()) {
                    values[position - 1] = QString::number(value);
                    QSqlQuery u(conn);
                    u.prepare("UPDATE sysparam SET value=? WHERE name=?");
                    u.addBindValue(values.join(' '));
                    u.addBindValue(row);
                    ok = u.exec();
                }
            }
        }
    }
    QSqlDatabase::removeDatabase("rig-param");
    return ok;
}

// The language is system2 value 13 (1 = English).
inline bool setLanguage(const QString& db, int lan)
{
    return setParam(db, "system2", 13, lan);
}

// "remarks|recordtype" of every row of table RECORD in RECORD.db, in order.
inline QStringList recordRows()
{
    QStringList rows;
    {
        QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "rig-record");
        conn.setDatabaseName("RECORD.db");
        if (conn.open()) {
            QSqlQuery q(conn);
            q.exec("SELECT remarks, recordtype FROM RECORD");
            while (q.next()) rows << q.value(0).toString() + "|" + q.value(1).toString();
        }
    }
    QSqlDatabase::removeDatabase("rig-record");
    return rows;
}

// Three simulated grey cameras of 320 x 240; the one at `failing` (0-based) does not open.
inline QJsonObject threeCameras(int failing)
{
    QJsonArray cameras;
    for (int i = 0; i < 3; ++i) {
        QJsonObject cam{{"serial", QString("SIMCAM%1X").arg(i + 1, 2, 10, QChar('0'))}};
        if (i == failing)
            cam.insert("openFails", true);
        cameras.append(cam);
    }
    return QJsonObject{{"cameraType", 0}, {"cameraCount", 3}, {"width", 320},      {"height", 240},
                       {"color", false},  {"fps", 20},        {"cameras", cameras}};
}

}  // namespace MainWindowRig

namespace MainWindowRig {

// One simulated camera that reports itself as a real one, so no camera question comes up.
inline QJsonObject oneRealLookingCamera()
{
    return QJsonObject{{"cameraType", 1}, {"cameraCount", 1}, {"serials", QJsonArray{"SIMREAL01"}},
                       {"width", 320},    {"height", 240},    {"fps", 10}};
}

// What a main window built next needs: the text table, the global mutexes, the factory data
// and one camera that looks real. False when the factory data could not be written.
inline bool prepareOneCameraStart()
{
    InitLanStr();
    CreateGlobalMutexes();
    if (!FactoryFixture::writeAll())
        return false;
    writeSimCameras(oneRealLookingCamera());
    return true;
}

// An entry of the text table in English: the start-up's warnings come before the language is
// loaded, so they are English whatever it will be.
inline QString english(int entry)
{
    return gaLanStr[entry * kLanColumns + 1];
}

}  // namespace MainWindowRig
