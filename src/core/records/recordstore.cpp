#include "core/records/recordstore.h"

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
const QString kOtherThread = QStringLiteral("数据库连接只能由打开它的线程使用");

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

QString errorDetail(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

}  // namespace

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
    if (!q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(quoteIdentifier(table))))
        return std::nullopt;
    TableContents contents;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        contents.fields << rec.fieldName(i);
    while (q.next()) {
        QVariantList row;
        row.reserve(rec.count());
        for (int i = 0; i < rec.count(); ++i) {
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

// ---------------------------------------------------------------------------
// TableCursor

TableCursor::TableCursor(RecordStore& store, QString table) : m_store(store), m_table(std::move(table)) {}

bool TableCursor::requery()
{
    m_ids.clear();
    m_gone.clear();
    m_pos = 0;
    m_noMatch = false;
    m_error.clear();
    if (!m_store.isOpen()) {
        m_error = m_store.errorText();
        return false;
    }
    QSqlQuery q(m_store.database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid").arg(quoteIdentifier(m_table)))) {
        m_error = errorDetail(q.lastError());
        return false;
    }
    while (q.next())
        m_ids.push_back(q.value(0).toLongLong());
    m_gone.assign(m_ids.size(), 0);
    return true;
}

void TableCursor::skipGone()
{
    while (m_pos < m_ids.size() && m_gone[m_pos])
        ++m_pos;
}

void TableCursor::moveFirst()
{
    m_pos = 0;
    skipGone();
}

void TableCursor::moveNext()
{
    if (m_pos < m_ids.size())
        ++m_pos;
    skipGone();
}

bool TableCursor::deleteCurrent()
{
    if (eof() || m_gone[m_pos] || !m_store.isOpen())
        return false;
    QSqlQuery q(m_store.database());
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdentifier(m_table)));
    q.addBindValue(m_ids[m_pos]);
    if (!q.exec()) {
        m_error = errorDetail(q.lastError());
        return false;
    }
    m_gone[m_pos] = 1;
    return true;
}

bool TableCursor::deleteAll()
{
    if (!m_store.isOpen())
        return false;
    QSqlDatabase db = m_store.database();
    if (!db.transaction()) {
        m_error = errorDetail(db.lastError());
        return false;
    }
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdentifier(m_table)));
        for (size_t i = 0; i < m_ids.size(); ++i) {
            if (m_gone[i])
                continue;
            q.bindValue(0, m_ids[i]);
            if (!q.exec()) {
                m_error = errorDetail(q.lastError());
                q.finish();
                db.rollback();
                return false;
            }
        }
    }
    if (!db.commit()) {
        m_error = errorDetail(db.lastError());
        db.rollback();
        return false;
    }
    std::fill(m_gone.begin(), m_gone.end(), 1);
    m_pos = m_ids.size();
    return true;
}

QString TableCursor::insertStatement() const
{
    const QStringList fields = m_store.actualFields(m_table);
    const qsizetype n = recordFields(m_table).size();
    if (fields.size() < n)
        return QString();
    QStringList names;
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i) {
        names << quoteIdentifier(fields[i]);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quoteIdentifier(m_table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

bool TableCursor::addNew(const QVariantList& values)
{
    const AddResult r = addAll({values});
    return r.ok && r.stored == 1;
}

TableCursor::AddResult TableCursor::addAll(const std::vector<QVariantList>& records)
{
    TableAppender appender(*this);
    if (!appender.begin()) {
        AddResult result;
        result.error = m_error = appender.error();
        return result;
    }
    for (const QVariantList& values : records) {
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& value = values[i];
            if (!value.isValid() || value.isNull()) {
                appender.bindNull(i);
                continue;
            }
            switch (value.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::Long:
                appender.bindInt(i, value.toLongLong());
                break;
            default:
                appender.bindText(i, value.toString());
                break;
            }
        }
        if (appender.add() == TableAppender::Added::Failed) {
            AddResult result;
            result.error = m_error = appender.error();
            appender.rollback();
            return result;
        }
    }
    const AddResult result = appender.commit();
    if (!result.ok)
        m_error = result.error;
    return result;
}

// ---------------------------------------------------------------------------
// TableAppender

TableAppender::TableAppender(TableCursor& cursor) : m_cursor(cursor) {}

TableAppender::~TableAppender()
{
    rollback();
}

bool TableAppender::begin()
{
    RecordStore& store = m_cursor.m_store;
    if (!store.isOpen()) {
        m_error = store.errorText();
        return false;
    }
    const QString statement = m_cursor.insertStatement();
    if (statement.isEmpty()) {
        m_error = QStringLiteral("表 %1 的字段不全").arg(m_cursor.table());
        return false;
    }
    QSqlDatabase db = store.database();
    m_handle = sqliteHandle(db);
    if (!m_handle) {
        m_error = QStringLiteral("数据库连接不可用");
        return false;
    }
    if (!db.transaction()) {
        m_error = errorDetail(db.lastError());
        return false;
    }
    m_open = true;
    // The driver's own connection, one prepared statement for the run.
    const QByteArray sql = statement.toUtf8();
    if (sqlite3_prepare_v2(m_handle, sql.constData(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_handle));
        rollback();
        return false;
    }
    return true;
}

bool TableAppender::usable() const
{
    return m_stmt && m_cursor.m_store.onOwnThread();
}

void TableAppender::bindNull(int field)
{
    if (usable())
        sqlite3_bind_null(m_stmt, field + 1);
}

void TableAppender::bindText(int field, const QString& text)
{
    if (usable())
        sqlite3_bind_text16(m_stmt, field + 1, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}

void TableAppender::bindLatin1(int field, const char* text, int length)
{
    // Latin-1 text of the characters below 128 is its own UTF-8.
    if (usable())
        sqlite3_bind_text(m_stmt, field + 1, text, length, SQLITE_TRANSIENT);
}

void TableAppender::bindInt(int field, qint64 value)
{
    if (usable())
        sqlite3_bind_int64(m_stmt, field + 1, value);
}

TableAppender::Added TableAppender::add()
{
    if (!m_stmt)
        return Added::Failed;
    if (!m_cursor.m_store.onOwnThread()) {
        m_error = kOtherThread;
        return Added::Failed;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_DONE) {
        m_added.push_back(sqlite3_last_insert_rowid(m_handle));
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        return Added::Stored;
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_handle));
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    if (isRecordErrorCode(rc)) {
        ++m_dropped;
        return Added::Dropped;
    }
    m_error = message;
    return Added::Failed;
}

TableCursor::AddResult TableAppender::commit()
{
    TableCursor::AddResult result;
    if (!m_cursor.m_store.onOwnThread()) {
        result.error = m_error = kOtherThread;
        return result;
    }
    if (!m_open) {
        result.error = m_error.isEmpty() ? QStringLiteral("数据库事务未开始") : m_error;
        return result;
    }
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    QSqlDatabase db = m_cursor.m_store.database();
    m_open = false;
    if (!db.commit()) {
        result.error = m_error = errorDetail(db.lastError());
        db.rollback();
        m_added.clear();
        return result;
    }
    m_cursor.m_ids.insert(m_cursor.m_ids.end(), m_added.begin(), m_added.end());
    m_cursor.m_gone.resize(m_cursor.m_ids.size(), 0);
    result.ok = true;
    result.stored = int(m_added.size());
    result.dropped = m_dropped;
    m_added.clear();
    return result;
}

void TableAppender::rollback()
{
    if (!m_cursor.m_store.onOwnThread())
        return;  // left to the store's thread, which ends the transaction when the appender goes
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
    if (m_open) {
        m_open = false;
        m_cursor.m_store.database().rollback();
    }
    m_added.clear();
}

bool TableCursor::find(double lower, double upper, qint64 afterId)
{
    m_noMatch = true;
    if (!m_store.isOpen())
        return false;
    const QStringList fields = m_store.actualFields(m_table);
    const auto it = std::find_if(fields.begin(), fields.end(), [](const QString& f) {
        return f.compare(QLatin1String("filesize"), Qt::CaseInsensitive) == 0;
    });
    if (it == fields.end()) {
        m_error = QStringLiteral("表 %1 没有字段 filesize").arg(m_table);
        return false;
    }
    QSqlQuery q(m_store.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 BETWEEN ? AND ? AND rowid > ? ORDER BY rowid")
                       .arg(quoteIdentifier(m_table), quoteIdentifier(*it)))) {
        m_error = errorDetail(q.lastError());
        return false;
    }
    q.addBindValue(lower);
    q.addBindValue(upper);
    q.addBindValue(afterId);
    if (!q.exec()) {
        m_error = errorDetail(q.lastError());
        return false;
    }
    // Only records this cursor knows count.
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        const auto pos = std::lower_bound(m_ids.begin(), m_ids.end(), id);
        if (pos != m_ids.end() && *pos == id && !m_gone[size_t(pos - m_ids.begin())]) {
            m_pos = size_t(pos - m_ids.begin());
            m_noMatch = false;
            return true;
        }
    }
    if (q.lastError().isValid()) {
        m_error = errorDetail(q.lastError());
        return false;
    }
    return true;
}

bool TableCursor::findFirst(double lower, double upper)
{
    return find(lower, upper, std::numeric_limits<qint64>::min());
}

bool TableCursor::findNext(double lower, double upper)
{
    if (eof()) {
        m_noMatch = true;
        return true;
    }
    return find(lower, upper, m_ids[m_pos]);
}

std::optional<QVariant> TableCursor::field(const QString& name) const
{
    if (eof() || m_gone[m_pos] || !m_store.isOpen())
        return std::nullopt;
    const QStringList fields = m_store.actualFields(m_table);
    const auto it = std::find_if(fields.begin(), fields.end(),
                                 [&](const QString& f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
    if (it == fields.end())
        return std::nullopt;
    QSqlQuery q(m_store.database());
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(quoteIdentifier(*it), quoteIdentifier(m_table)));
    q.addBindValue(m_ids[m_pos]);
    if (!q.exec() || !q.next())
        return std::nullopt;
    const QVariant v = q.value(0);
    return v.isNull() ? QVariant() : v;
}

}  // namespace kestrune
