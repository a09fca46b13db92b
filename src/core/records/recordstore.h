#pragma once

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <thread>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrune {

// The file record database db1.mdb: an SQLite 3 file beside the program with
// the tables fileInf(FileName, FileType, filesize, LastModified, ShortName)
// and log(FolderPath, RecordTime). Fields are written by position; dates are
// local date and time as text "yyyy-MM-dd HH:mm:ss"; sizes are 64-bit
// integers. Records are read in insertion order (rowid order). Names that
// are not UTF-8 are stored readable, their exact bytes beside them in a third
// table (exactnames.h).

extern const char* const kFileInfTable;  // "fileInf"
extern const char* const kLogTable;      // "log"
// The fields of a table in their order; empty for an unknown table.
QStringList recordFields(const QString& table);
// How dates are written and read.
QString recordTimeText(const QDateTime& time);
// The same text for a moment in milliseconds since the epoch, written into
// `out` (32 bytes at least); its length, or 0 when the local time cannot be
// had.
int recordTimeChars(qint64 msecs, char* out);

// One record of fileInf. An empty value leaves its field empty (NULL).
struct FileRecord {
    std::optional<QString> name;
    std::optional<QString> type;
    std::optional<qint64> size;
    std::optional<QDateTime> lastModified;
    std::optional<QString> shortName;

    QVariantList values() const;
};

// A table's contents as a grid shows them: the field names and the rows in
// table order, each value as stored (NULL as an invalid QVariant).
struct TableContents {
    QStringList fields;
    std::vector<QVariantList> rows;
    std::vector<qint64> ids;  // each row's rowid
};

// One connection to db1.mdb, owned by one window and used only on the thread
// that opened it: from any other thread database() is an invalid connection
// (with a warning) and an appender refuses to work. Opening never alters,
// truncates or replaces a file that is not a database of the right shape:
// only a missing file is created (with both tables, built aside and put in
// place without replacing anything).
class RecordStore {
public:
    enum class Status { Closed, Ok, CannotCreate, CannotOpen, NotDatabase, MissingTable, MissingField };

    explicit RecordStore(QString path);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens the file (creating it when missing) and checks that each of
    // `tables` is there with its fields in order. False on failure, with
    // status() and errorText() telling why.
    bool open(const QStringList& tables);
    bool isOpen() const { return m_status == Status::Ok; }
    Status status() const { return m_status; }
    // A message for the user naming the file and what is wrong with it.
    QString errorText() const { return m_error; }
    QString path() const { return m_path; }
    QString connectionName() const { return m_connection; }
    // The connection; invalid when asked for on another thread than the one
    // that opened it.
    QSqlDatabase database() const;
    // True on the thread that opened the store (or any before it is opened).
    bool onOwnThread() const;

    // The table's field names as the file has them (by position).
    QStringList actualFields(const QString& table) const;
    // Every record of the table in table order.
    std::optional<TableContents> read(const QString& table) const;
    // The number of records of the table, or -1 when it cannot be counted.
    qint64 count(const QString& table) const;

private:
    bool createFile();
    bool checkTable(const QString& table);
    void fail(Status status, const QString& text);

    QString m_path;
    QString m_connection;
    Status m_status = Status::Closed;
    QString m_error;
    std::thread::id m_thread;  // the one that opened the connection
    mutable QHash<QString, QStringList> m_fields;  // by lower-case table name
};

// A cursor over one whole table, as a window holds it: it knows the records
// that were there when it was opened or last re-read (plus those added through
// it), in table order, and stands on one of them or at the end. Changes made
// through another cursor are not seen until re-read.
class TableCursor {
public:
    TableCursor(RecordStore& store, QString table);

    const QString& table() const { return m_table; }
    // Re-opens the cursor on the table: it stands on the first record.
    bool requery();
    bool eof() const { return m_pos >= m_ids.size(); }
    void moveFirst();
    void moveNext();
    // Removes the record under the cursor; the cursor stays there until it
    // is moved (the deleted record is then passed over).
    bool deleteCurrent();
    // Deletes every record the cursor knows in one transaction: false and
    // nothing deleted when that fails.
    bool deleteAll();

    // Appends one record, values by field position. `exactName`, when not
    // empty, is the exact bytes of the name whose readable form the first
    // value is (see exactnames.h).
    bool addNew(const QVariantList& values, const QByteArray& exactName = QByteArray());
    // Result of appending a whole run.
    struct AddResult {
        bool ok = false;
        int stored = 0;
        int dropped = 0;  // records the table would not take (constraint, type)
        QString error;
    };
    // Appends the records in one transaction. A record the table refuses is
    // dropped and the run goes on; a failure of the store itself rolls the
    // whole run back (ok false, nothing stored).
    // `exactNames`, when given, holds each record's exact name as addNew's.
    AddResult addAll(const std::vector<QVariantList>& records, const std::vector<QByteArray>& exactNames = {});

    // Moves to the first (next) record, in table order, whose filesize lies
    // in [lower, upper]; noMatch() tells when none was found (the cursor then
    // stays where it was).
    bool findFirst(double lower, double upper);
    bool findNext(double lower, double upper);
    bool noMatch() const { return m_noMatch; }
    // A field of the record under the cursor, by name (no regard to case).
    std::optional<QVariant> field(const QString& name) const;
    // The rowid of the record under the cursor; -1 at the end.
    qint64 currentId() const { return eof() ? -1 : m_ids[m_pos]; }

    QString lastError() const { return m_error; }

private:
    friend class TableAppender;
    bool find(double lower, double upper, qint64 afterId);
    void skipGone();
    QString insertStatement() const;

    RecordStore& m_store;
    QString m_table;
    std::vector<qint64> m_ids;  // ascending: table order
    std::vector<char> m_gone;   // deleted through this cursor
    size_t m_pos = 0;
    bool m_noMatch = false;
    QString m_error;
};

// Appends records to a cursor's table in one transaction through one
// prepared statement, value by value (no variants are built). Everything
// runs on the store's thread: on another, the values are not bound and
// add() fails (see error()). What is not committed is rolled back when the
// appender goes.
class TableAppender {
public:
    explicit TableAppender(TableCursor& cursor);
    ~TableAppender();
    TableAppender(const TableAppender&) = delete;
    TableAppender& operator=(const TableAppender&) = delete;

    // Opens the transaction; false (see error()) when the store cannot.
    bool begin();

    // The values of the next record, by field position (from 0).
    void bindNull(int field);
    void bindText(int field, const QString& text);
    void bindLatin1(int field, const char* text, int length);
    void bindInt(int field, qint64 value);
    // The exact bytes of the name whose readable form is bound to the first
    // field, kept with the record when add() stores it (see exactnames.h).
    void keepExactName(const QByteArray& bytes) { m_exactName = bytes; }

    enum class Added { Stored, Dropped, Failed };
    // Stores the record bound: Dropped when the table refuses this record
    // (the run goes on), Failed when the store itself failed (the run must
    // be rolled back).
    Added add();

    // Commits: the cursor then knows the records added. On failure nothing
    // of the run is kept.
    TableCursor::AddResult commit();
    void rollback();
    QString error() const { return m_error; }
    // Why the last record dropped was refused.
    QString dropReason() const { return m_dropReason; }

private:
    bool usable() const;
    bool storeExactName(qint64 id, const QByteArray& bytes);
    void finalizeStatements();

    TableCursor& m_cursor;
    ::sqlite3* m_handle = nullptr;
    ::sqlite3_stmt* m_stmt = nullptr;
    ::sqlite3_stmt* m_exactStmt = nullptr;
    bool m_exactTried = false;
    QByteArray m_exactName;
    bool m_open = false;
    std::vector<qint64> m_added;
    int m_dropped = 0;
    QString m_error;
    QString m_dropReason;
};

// Quotes an identifier for SQL.
QString quoteIdentifier(const QString& name);

}  // namespace kestrune
