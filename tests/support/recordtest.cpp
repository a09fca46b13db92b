#include "support/recordtest.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kestrune::test {

namespace {
int g_connection = 0;
}

std::vector<QStringList> tableRows(const QString& dbPath, const QString& table)
{
    std::vector<QStringList> rows;
    const QString name = QStringLiteral("test.look.%1").arg(++g_connection);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbPath);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table))) {
                while (q.next()) {
                    QStringList row;
                    for (int i = 0; i < q.record().count(); ++i)
                        row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
                    rows.push_back(row);
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

bool execOn(const QString& dbPath, const QStringList& statements)
{
    bool ok = true;
    const QString name = QStringLiteral("test.exec.%1").arg(++g_connection);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbPath);
        ok = db.open();
        for (const QString& s : statements) {
            QSqlQuery q(db);
            ok = ok && q.exec(s);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QByteArray accessLikeBytes()
{
    QByteArray bytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    for (int i = 0; i < 4096; ++i)
        bytes.append(char((i * 37 + 11) & 0xff));
    return bytes;
}

QStringList folderEntries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

}  // namespace kestrune::test
