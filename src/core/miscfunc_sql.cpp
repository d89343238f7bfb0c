// SQL column utilities: column look-up and addition on an open SQLite database.
#include "miscfunc.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

bool columnExists(QSqlDatabase& db, const QString& table, const QString& column)
{
    QSqlQuery query(db);
    if (!query.exec(QString("PRAGMA table_info(%1);").arg(table))) {
        qWarning() << "Failed to get table info:" << query.lastError().text();
        return false;
    }
    while (query.next()) {
        if (query.value(1).toString() == column)
            return true;
    }
    return false;
}

bool addColumnIfNotExists(QSqlDatabase& db, const QString& table, const QString& column, const QString& type)
{
    if (columnExists(db, table, column)) {
        qDebug() << "Column" << column << "already exists in table" << table;
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QString("ALTER TABLE %1 ADD COLUMN %2 %3;").arg(table, column, type))) {
        qWarning() << "Failed to add column:" << query.lastError().text();
        return false;
    }
    qInfo() << "Column" << column << "added to table" << table;
    return true;
}
