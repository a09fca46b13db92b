#pragma once

// Helpers shared by the file record tests: a second, independent look at
// db1.mdb, and files that are not a database of the right shape.

#include "core/records/recordstore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace kestrune::test {

// Every record of a table as text ("" for an empty field, "<null>" marked).
std::vector<QStringList> tableRows(const QString& dbPath, const QString& table);
// Runs statements on a database file through a connection of its own.
bool execOn(const QString& dbPath, const QStringList& statements);
// Bytes that begin like an old Access file: not an SQLite database.
QByteArray accessLikeBytes();
// The file names of a folder, sorted.
QStringList folderEntries(const QString& folder);

}  // namespace kestrune::test
