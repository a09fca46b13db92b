#pragma once

// Names that are not UTF-8, kept in their exact bytes. The first field of a
// record (fileInf's FileName, log's FolderPath) holds such a name in its
// readable form (displayFileName), which is what the windows show; the text
// fields cannot hold the bytes themselves. They are kept beside the record in
// the table exactNames (table, rowid, bytes), made by the first run that
// stores such a name, and a trigger deletes them with their record. The
// command line prints the exact bytes, so that a script gets names it can
// use.

#include "core/records/recordstore.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace kestrune {

extern const char* const kExactNamesTable;  // "exactNames"

// The statements that make the table and the trigger for `table` (each
// only when missing).
QStringList exactNamesSchema(const QString& table);
// Inserts (or replaces) one name: the table's key, the rowid, the bytes.
QString exactNamesInsert();
// How the names of `table` are told apart from other tables' names.
QByteArray exactNamesKey(const QString& table);

// The exact names of one table, read at once.
class ExactNames {
public:
    // None when the store has none (or cannot read them).
    ExactNames(const RecordStore& store, const QString& table);

    // What to print for the first field of record `id`, whose stored text is
    // `text`: the bytes kept for it while their readable form is still that
    // text, else the text in UTF-8, readable.
    QByteArray bytes(qint64 id, const QString& text) const;
    bool isEmpty() const { return m_bytes.isEmpty(); }

private:
    QHash<qint64, QByteArray> m_bytes;
};

}  // namespace kestrune
