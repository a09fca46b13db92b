#include "core/records/exactnames.h"

#include "core/fs/fsnames.h"

#include <QSqlQuery>

namespace kestrune {

const char* const kExactNamesTable = "exactNames";

QByteArray exactNamesKey(const QString& table)
{
    return table.toLower().toUtf8();
}

QStringList exactNamesSchema(const QString& table)
{
    QString key = QString::fromUtf8(exactNamesKey(table));
    key.replace(QLatin1Char('\''), QLatin1String("''"));
    const QString names = quoteIdentifier(QString::fromLatin1(kExactNamesTable));
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (tbl TEXT NOT NULL, id INTEGER NOT NULL, bytes BLOB NOT NULL, "
                       "PRIMARY KEY (tbl, id))")
            .arg(names),
        // Deleting a record, one at a time or all, deletes its name too, so
        // that a later record given the same rowid never finds it.
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN "
                       "DELETE FROM %3 WHERE tbl = '%4' AND id = old.rowid; END")
            .arg(quoteIdentifier(QString::fromLatin1(kExactNamesTable) + QLatin1Char('_') + key),
                 quoteIdentifier(table), names, key),
    };
}

QString exactNamesInsert()
{
    return QStringLiteral("INSERT OR REPLACE INTO %1 (tbl, id, bytes) VALUES (?, ?, ?)")
        .arg(quoteIdentifier(QString::fromLatin1(kExactNamesTable)));
}

ExactNames::ExactNames(const RecordStore& store, const QString& table)
{
    if (!store.isOpen())
        return;
    QSqlQuery q(store.database());
    q.setForwardOnly(true);
    // A store without the table (no such name was ever recorded) fails here.
    if (!q.prepare(QStringLiteral("SELECT id, bytes FROM %1 WHERE tbl = ?")
                       .arg(quoteIdentifier(QString::fromLatin1(kExactNamesTable)))))
        return;
    q.addBindValue(QString::fromUtf8(exactNamesKey(table)));
    if (!q.exec())
        return;
    while (q.next())
        m_bytes.insert(q.value(0).toLongLong(), q.value(1).toByteArray());
}

QByteArray ExactNames::bytes(qint64 id, const QString& text) const
{
    const auto kept = m_bytes.constFind(id);
    if (kept != m_bytes.cend() && !kept->isEmpty() && displayFileName(decodeFileName(*kept)) == text)
        return *kept;
    return displayFileName(text).toUtf8();
}

}  // namespace kestrune
