// One checked way to run an SQL statement: bound values, a log line on failure, the result.
#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

// Runs statement on query. With values the statement is prepared and the values are bound
// in order; without, it runs as it stands. On failure the statement and the database's error
// go to the log (warning) and the result is false.
bool SqlExec(QSqlQuery& query, const QString& statement, const QVariantList& values = {});
