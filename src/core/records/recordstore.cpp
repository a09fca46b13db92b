#include "core/records/recordstore.h"
#include "core/records/sqlitehelpers.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlDriver>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

namespace kestrune {

const char* const kFileInfTable = "fileInf";
const char* const kLogTable = "log";

namespace {

const QString kDriver = QStringLiteral("QSQLITE");

bool isNotADatabase(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    return ok && code == 26;
}

QString uniqueConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("kestrune.records.%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

QString createStatement(const QString& table)
{
    if (table == QLatin1String(kFileInfTable))
        return QStringLiteral(
            "CREATE TABLE fileInf (FileName TEXT, FileType TEXT, filesize INTEGER, LastModified DATETIME, "
            "ShortName TEXT)");
    return QStringLiteral("CREATE TABLE log (FolderPath TEXT, RecordTime DATETIME)");
}

}  // namespace

// SQLite's primary result codes that concern one record, not the store.
bool isRecordErrorCode(int rc)
{
    const int code = rc & 0xff;
    return code == SQLITE_TOOBIG || code == SQLITE_CONSTRAINT || code == SQLITE_MISMATCH || code == SQLITE_RANGE;
}

// The SQLite connection under a Qt connection, or nullptr.
sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    if (!db.driver())
        return nullptr;
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

QString errorDetail(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

QStringList recordFields(const QString& table)
{
    if (table.compare(QLatin1String(kFileInfTable), Qt::CaseInsensitive) == 0)
        return {QStringLiteral("FileName"), QStringLiteral("FileType"), QStringLiteral("filesize"),
                QStringLiteral("LastModified"), QStringLiteral("ShortName")};
    if (table.compare(QLatin1String(kLogTable), Qt::CaseInsensitive) == 0)
        return {QStringLiteral("FolderPath"), QStringLiteral("RecordTime")};
    return {};
}

int recordTimeChars(qint64 ms, char* out)
{
    // Written by hand: a format string is parsed anew on every call, and
    // this runs once per recorded file. The C library's localtime_r gives
    // the local wall clock without the time zone check Qt makes on every
    // conversion.
    const time_t secs = time_t(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    struct tm parts;
    if (!::localtime_r(&secs, &parts))
        return 0;
    const int n = std::snprintf(out, 32, "%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return n > 0 && n < 32 ? n : 0;
}

QString recordTimeText(const QDateTime& time)
{
    if (time.isValid()) {
        char text[32];
        if (const int n = recordTimeChars(time.toMSecsSinceEpoch(), text))
            return QString::fromLatin1(text, n);
    }
    const QDateTime local = time.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                                t.hour(), t.minute(), t.second());
    return QString::fromLatin1(text, n);
}

QString quoteIdentifier(const QString& name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QVariantList FileRecord::values() const
{
    QVariantList v;
    v << (name ? QVariant(*name) : QVariant());
    v << (type ? QVariant(*type) : QVariant());
    v << (size ? QVariant(*size) : QVariant());
    v << (lastModified ? QVariant(recordTimeText(*lastModified)) : QVariant());
    v << (shortName ? QVariant(*shortName) : QVariant());
    return v;
}

// ---------------------------------------------------------------------------
// RecordStore

RecordStore::RecordStore(QString path) : m_path(std::move(path)), m_connection(uniqueConnectionName()) {}

RecordStore::~RecordStore()
{
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QSqlDatabase RecordStore::database() const
{
    if (!onOwnThread()) {
        qWarning("kestrune: the record store %s was used on a thread that did not open it",
                 qPrintable(m_connection));
        return QSqlDatabase();
    }
    return QSqlDatabase::database(m_connection, false);
}

bool RecordStore::onOwnThread() const
{
    return m_thread == std::thread::id() || m_thread == std::this_thread::get_id();
}

void RecordStore::fail(Status status, const QString& text)
{
    m_status = status;
    m_error = text;
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool RecordStore::createFile()
{
    // Built under a name of its own beside the final one and put in place
    // without replacing anything, so that no half-made file is ever left under
    // the real name and a file that appeared meanwhile is kept.
    static QAtomicInt counter;
    QString temp;
    do {
        temp = QStringLiteral("%1.new-%2-%3")
                   .arg(m_path)
                   .arg(QCoreApplication::applicationPid())
                   .arg(counter.fetchAndAddRelaxed(1));
    } while (QFileInfo::exists(temp) || QFileInfo(temp).isSymLink());

    const QString name = m_connection + QStringLiteral(".create");
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
        db.setDatabaseName(temp);
        if (!db.open()) {
            problem = errorDetail(db.lastError());
        } else {
            QSqlQuery q(db);
            if (!db.transaction() || !q.exec(createStatement(QLatin1String(kFileInfTable))) ||
                !q.exec(createStatement(QLatin1String(kLogTable)))) {
                problem = errorDetail(q.lastError().isValid() ? q.lastError() : db.lastError());
                db.rollback();
            } else if (!db.commit()) {
                problem = errorDetail(db.lastError());
                db.rollback();
            }
            q.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (problem.isEmpty()) {
        QFile file(temp);
        if (file.rename(m_path))
            return true;
        if (QFileInfo::exists(m_path)) {
            // Someone else made it in the meantime: use theirs.
            QFile::remove(temp);
            return true;
        }
        problem = file.errorString();
    }
    QFile::remove(temp);
    QFile::remove(temp + QStringLiteral("-journal"));
    fail(Status::CannotCreate, QStringLiteral("无法创建数据库文件 %1：%2").arg(m_path, problem));
    return false;
}

bool RecordStore::open(const QStringList& tables)
{
    if (m_status == Status::Ok)
        return onOwnThread();
    m_thread = std::this_thread::get_id();
    m_error.clear();
    const QFileInfo info(m_path);
    if (info.isSymLink()) {
        // The database is written where it is: never into a file a link
        // points to.
        fail(Status::CannotOpen,
             QStringLiteral("无法打开数据库文件 %1：这是一个链接，不会写入它所指的文件。").arg(m_path));
        return false;
    }
    if (!info.exists()) {
        if (!createFile())
            return false;
    } else if (info.isDir()) {
        fail(Status::CannotOpen, QStringLiteral("无法打开数据库文件 %1：这是一个文件夹。").arg(m_path));
        return false;
    }

    // The connection's objects are gone before a failure removes it.
    Status failure = Status::Ok;
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, m_connection);
        // mode=rw: an existing file is opened, nothing is ever created here.
        db.setDatabaseName(QUrl::fromLocalFile(m_path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=3000"));
        if (!db.open()) {
            failure = Status::CannotOpen;
            problem = QStringLiteral("无法打开数据库文件 %1：%2").arg(m_path, errorDetail(db.lastError()));
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
                const QSqlError error = q.lastError();
                if (isNotADatabase(error)) {
                    failure = Status::NotDatabase;
                    problem = QStringLiteral(
                                  "文件 %1 不是可读取的 SQLite 数据库（%2），文件信息记录功能不可用。该文件未被改动。")
                                  .arg(m_path, errorDetail(error));
                } else {
                    failure = Status::CannotOpen;
                    problem = QStringLiteral("无法打开数据库文件 %1：%2").arg(m_path, errorDetail(error));
                }
            }
        }
    }
    if (failure != Status::Ok) {
        fail(failure, problem);
        return false;
    }
    m_status = Status::Ok;
    for (const QString& table : tables)
        if (!checkTable(table))
            return false;
    return true;
}

QStringList RecordStore::actualFields(const QString& table) const
{
    // The program never changes the tables' structure: read once.
    const auto known = m_fields.constFind(table.toLower());
    if (known != m_fields.cend())
        return *known;
    QStringList names;
    if (!QSqlDatabase::contains(m_connection))
        return names;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table))))
        return names;
    while (q.next())
        names << q.value(1).toString();
    if (!names.isEmpty())
        m_fields.insert(table.toLower(), names);
    return names;
}

bool RecordStore::checkTable(const QString& table)
{
    // The connection's objects are gone before a failure removes it.
    bool found = false;
    QString readError;
    {
        QSqlQuery q(database());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
        q.addBindValue(table);
        if (!q.exec())
            readError = errorDetail(q.lastError());
        else
            found = q.next();
    }
    if (!readError.isEmpty()) {
        fail(Status::CannotOpen, QStringLiteral("无法读取数据库文件 %1：%2").arg(m_path, readError));
        return false;
    }
    if (!found) {
        fail(Status::MissingTable,
             QStringLiteral("数据库文件 %1 中没有表 %2，文件信息记录功能不可用。").arg(m_path, table));
        return false;
    }
    const QStringList expected = recordFields(table);
    const QStringList actual = actualFields(table);
    for (int i = 0; i < expected.size(); ++i) {
        if (i >= actual.size() || actual[i].compare(expected[i], Qt::CaseInsensitive) != 0) {
            fail(Status::MissingField,
                 QStringLiteral("数据库文件 %1 的表 %2 缺少字段 %3（应为第 %4 个字段），文件信息记录功能不可用。")
                     .arg(m_path, table, expected[i])
                     .arg(i + 1));
            return false;
        }
    }
    bool ordered = false;
    {
        // Records are read in insertion order through the rowid.
        QSqlQuery q(database());
        ordered = q.exec(QStringLiteral("SELECT rowid FROM %1 LIMIT 0").arg(quoteIdentifier(table)));
    }
    if (!ordered) {
        fail(Status::MissingField,
             QStringLiteral("数据库文件 %1 的表 %2 无法按记录顺序读取，文件信息记录功能不可用。").arg(m_path, table));
        return false;
    }
    return true;
}

std::optional<TableContents> RecordStore::read(const QString& table) const
{
    if (!isOpen())
        return std::nullopt;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(quoteIdentifier(table))))
        return std::nullopt;
    TableContents contents;
    const QSqlRecord rec = q.record();
    for (int i = 1; i < rec.count(); ++i)
        contents.fields << rec.fieldName(i);
    while (q.next()) {
        contents.ids.push_back(q.value(0).toLongLong());
        QVariantList row;
        row.reserve(rec.count() - 1);
        for (int i = 1; i < rec.count(); ++i) {
            const QVariant v = q.value(i);
            row << (v.isNull() ? QVariant() : v);
        }
        contents.rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        return std::nullopt;
    return contents;
}

qint64 RecordStore::count(const QString& table) const
{
    if (!isOpen())
        return -1;
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdentifier(table))) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}


}  // namespace kestrune
