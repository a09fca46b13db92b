#include "core/records/exactnames.h"
#include "core/records/recordstore.h"
#include "core/records/sqlitehelpers.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace kestrune {

namespace {
const QString kOtherThread = QStringLiteral("数据库连接只能由打开它的线程使用");
}  // namespace

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

bool TableCursor::addNew(const QVariantList& values, const QByteArray& exactName)
{
    const AddResult r = addAll({values}, {exactName});
    return r.ok && r.stored == 1;
}

TableCursor::AddResult TableCursor::addAll(const std::vector<QVariantList>& records,
                                           const std::vector<QByteArray>& exactNames)
{
    TableAppender appender(*this);
    if (!appender.begin()) {
        AddResult result;
        result.error = m_error = appender.error();
        return result;
    }
    for (size_t r = 0; r < records.size(); ++r) {
        const QVariantList& values = records[r];
        if (r < exactNames.size())
            appender.keepExactName(exactNames[r]);
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
        sqlite3_bind_text16(m_stmt, field + 1, text.constData(), int(text.size() * 2), SQLITE_TRANSIENT);
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
    const QByteArray exactName = std::exchange(m_exactName, QByteArray());
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_DONE) {
        const qint64 id = sqlite3_last_insert_rowid(m_handle);
        m_added.push_back(id);
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (!exactName.isEmpty() && !storeExactName(id, exactName))
            return Added::Failed;
        return Added::Stored;
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_handle));
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    if (isRecordErrorCode(rc)) {
        ++m_dropped;
        m_dropReason = message;
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
    finalizeStatements();
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
    finalizeStatements();
    if (m_open) {
        m_open = false;
        m_cursor.m_store.database().rollback();
    }
    m_added.clear();
}

void TableAppender::finalizeStatements()
{
    sqlite3_finalize(m_stmt);  // harmless on nullptr
    m_stmt = nullptr;
    sqlite3_finalize(m_exactStmt);
    m_exactStmt = nullptr;
}

bool TableAppender::storeExactName(qint64 id, const QByteArray& bytes)
{
    if (!m_exactStmt) {
        // The table of exact names is made by the first run that needs it.
        // Where it cannot be made, such names are printed readable instead:
        // the record itself is kept all the same.
        if (m_exactTried)
            return true;
        m_exactTried = true;
        for (const QString& statement : exactNamesSchema(m_cursor.table())) {
            if (sqlite3_exec(m_handle, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                return true;
        }
        const QByteArray insert = exactNamesInsert().toUtf8();
        if (sqlite3_prepare_v2(m_handle, insert.constData(), int(insert.size()), &m_exactStmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_exactStmt);
            m_exactStmt = nullptr;
            return true;
        }
    }
    const QByteArray key = exactNamesKey(m_cursor.table());
    sqlite3_bind_text(m_exactStmt, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(m_exactStmt, 2, id);
    sqlite3_bind_blob(m_exactStmt, 3, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(m_exactStmt);
    sqlite3_reset(m_exactStmt);
    sqlite3_clear_bindings(m_exactStmt);
    if (rc == SQLITE_DONE || isRecordErrorCode(rc))
        return true;  // a name refused is printed readable
    m_error = QString::fromUtf8(sqlite3_errmsg(m_handle));
    return false;
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
