#pragma once

// What the record store and its cursors share about the SQLite underneath.

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

struct sqlite3;

namespace kestrune {

// SQLite's primary result codes that concern one record, not the store.
bool isRecordErrorCode(int rc);

// The SQLite connection under a Qt connection, or nullptr.
sqlite3* sqliteHandle(const QSqlDatabase& db);

// The database's own words for an error, else Qt's.
QString errorDetail(const QSqlError& error);

}  // namespace kestrune
