// Checked execution of SQL statements.
#include "sqlexec.h"

#include <QDebug>
#include <QSqlError>

bool SqlExec(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    bool ok = false;
    if (values.isEmpty()) {
        ok = query.exec(statement);
    } else if (query.prepare(statement)) {
        for (const QVariant& v : values) query.addBindValue(v);
        ok = query.exec();
    }
    if (!ok)
        qWarning().noquote() << "SQL failed:" << statement << "--" << query.lastError().text();
    return ok;
}
