#include "core/records/recorder.h"

#include "core/fs/fsnames.h"
#include "core/fs/mimecache.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kestrune {

QString leftCharacters(const QString& text, int limit)
{
    if (limit <= 0)
        return text;
    qsizetype units = 0;
    int characters = 0;
    while (units < text.size() && characters < limit) {
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size() && text.at(units + 1).isLowSurrogate())
                     ? 2
                     : 1;
        ++characters;
    }
    return text.left(units);
}

namespace {

// What the reading thread hands to the storing one: the file's status (the
// values that come from the name are made by the storing thread).
struct ReadRecord {
    std::optional<qint64> size;
    std::optional<qint64> modifiedMSecs;
};

// Stores the records of a run as the reading thread makes them ready, after
// working out the folder's short names.
class RecordWriter {
public:
    RecordWriter(TableAppender& appender, const std::vector<QString>& names, int nameLimit,
                 const std::vector<ReadRecord>& records)
        : m_appender(appender), m_names(names), m_nameLimit(nameLimit), m_records(records)
    {
    }

    ~RecordWriter()
    {
        stop();
        join();
    }

    void start() { m_thread = std::thread([this] { run(); }); }
    // Records [0, count) are ready to be stored.
    void ready(size_t count)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ready = count;
        }
        m_wake.notify_one();
    }
    // Ends the thread before it has stored everything.
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool failed() const { return m_failed.load(std::memory_order_acquire); }
    // The records the table refused, by their place in the run, and why;
    // read once the thread has been joined.
    const std::vector<std::pair<size_t, QString>>& dropped() const { return m_dropped; }

private:
    void run()
    {
        try {
            const std::vector<QString> aliases = shortNamesFor(m_names);
            // The types by name, with answers kept for this thread.
            MimeNameCache types;
            size_t available = 0;
            for (size_t i = 0; i < m_records.size(); ++i) {
                if (i >= available) {
                    std::unique_lock<std::mutex> lock(m_mutex);
                    m_wake.wait(lock, [&] { return m_stop || m_ready > i; });
                    if (m_stop)
                        return;
                    available = m_ready;
                }
                const TableAppender::Added added = store(m_records[i], m_names[i], types, aliases[i]);
                if (added == TableAppender::Added::Failed) {
                    m_failed.store(true, std::memory_order_release);
                    return;
                }
                if (added == TableAppender::Added::Dropped)
                    m_dropped.push_back({i, m_appender.dropReason()});
            }
        } catch (...) {
            m_failed.store(true, std::memory_order_release);
        }
    }

    TableAppender::Added store(const ReadRecord& r, const QString& name, MimeNameCache& types, const QString& shortName)
    {
        m_appender.bindText(0, leftCharacters(name, m_nameLimit));
        m_appender.bindText(1, types.comment(name));
        if (r.size)
            m_appender.bindInt(2, *r.size);
        else
            m_appender.bindNull(2);
        char text[32];
        const int length = r.modifiedMSecs ? recordTimeChars(*r.modifiedMSecs, text) : 0;
        if (length > 0)
            m_appender.bindLatin1(3, text, length);
        else if (r.modifiedMSecs)
            m_appender.bindText(3, recordTimeText(QDateTime::fromMSecsSinceEpoch(*r.modifiedMSecs, Qt::UTC)));
        else
            m_appender.bindNull(3);
        m_appender.bindText(4, shortName);
        return m_appender.add();
    }

    TableAppender& m_appender;
    const std::vector<QString>& m_names;
    const int m_nameLimit;
    const std::vector<ReadRecord>& m_records;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    size_t m_ready = 0;
    bool m_stop = false;
    std::atomic<bool> m_failed{false};
    std::vector<std::pair<size_t, QString>> m_dropped;
};

// The records are handed over in batches of this many.
constexpr size_t kHandOver = 256;

}  // namespace

RecordRun recordFolder(const FileSystemObject& fso, const QString& folderPath, TableCursor& fileInf, int nameLimit,
                       const RecordProgress& progress)
{
    RecordRun run;
    Folder folder;
    try {
        folder = fso.GetFolder(folderPath);
    } catch (const FsError&) {
        run.outcome = RecordRun::Outcome::NoFolder;
        return run;
    }
    std::vector<File> files;
    try {
        files = folder.Files();
    } catch (const FsError& e) {
        run.outcome = RecordRun::Outcome::ListFailed;
        run.error = e.message();
        return run;
    }
    if (files.empty()) {
        run.outcome = RecordRun::Outcome::NoFiles;
        return run;
    }
    std::vector<QString> names;
    names.reserve(files.size());
    for (const File& f : files)
        names.push_back(displayFileName(f.Name()));  // stored readable

    TableAppender appender(fileInf);
    if (!appender.begin()) {
        run.outcome = RecordRun::Outcome::StoreFailed;
        run.error = appender.error();
        return run;
    }
    std::vector<ReadRecord> records(files.size());
    RecordWriter writer(appender, names, nameLimit, records);
    writer.start();
    bool cancelled = false;
    std::vector<std::pair<size_t, QString>> unread;
    size_t i = 0;
    for (; i < files.size(); ++i) {
        if (progress && !progress(files[i], int(i))) {
            cancelled = true;
            break;
        }
        if (writer.failed())
            break;
        // A file that cannot be looked at leaves size and date empty (and
        // is named when the run has ended).
        ReadRecord& r = records[i];
        try {
            const File::Status status = files[i].SizeAndModified();
            r.size = status.size;
            r.modifiedMSecs = status.modifiedMSecs;
        } catch (const FsError& e) {
            unread.push_back({i, e.message()});
        } catch (const std::exception& e) {
            unread.push_back({i, QString::fromLocal8Bit(e.what())});
        }
        if ((i + 1) % kHandOver == 0)
            writer.ready(i + 1);
    }
    run.handled = int(i);
    if (cancelled)
        writer.stop();
    else
        writer.ready(i);
    writer.join();
    if (cancelled) {
        appender.rollback();
        run.outcome = RecordRun::Outcome::Cancelled;
        return run;
    }
    if (writer.failed()) {
        run.outcome = RecordRun::Outcome::StoreFailed;
        run.error = appender.error().isEmpty() ? QStringLiteral("数据库写入失败") : appender.error();
        appender.rollback();
        return run;
    }
    const TableCursor::AddResult added = appender.commit();
    run.stored = added.stored;
    run.dropped = added.dropped;
    if (!added.ok) {
        run.outcome = RecordRun::Outcome::StoreFailed;
        run.error = added.error;
        return run;
    }
    run.outcome = RecordRun::Outcome::Recorded;
    // The failures in the folder's order: a refused record is not stored at
    // all, so its reading failure (if any) is not told twice.
    std::vector<std::pair<size_t, QString>> failures;
    for (const auto& [index, why] : unread)
        failures.push_back({index, QStringLiteral("大小和修改时间未能读取（%1）").arg(why)});
    for (const auto& [index, why] : writer.dropped())
        failures.push_back({index, QStringLiteral("数据库拒绝了这条记录（%1）").arg(why)});
    std::stable_sort(failures.begin(), failures.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t k = 0; k < failures.size(); ++k) {
        if (k + 1 < failures.size() && failures[k + 1].first == failures[k].first)
            continue;  // the refusal, added after the reading failure, is told
        run.failures.add(files[failures[k].first].Path(), failures[k].second);
    }
    return run;
}

QString recordFailureHeading()
{
    return QStringLiteral("以下文件未能完整记录:");
}

bool addLogRecord(TableCursor& log, const QString& folderText, const QDateTime& time)
{
    // A folder whose name is not UTF-8 is kept readable, as the file names
    // are: the table's text cannot hold those bytes and would garble them.
    return log.addNew({QVariant(displayFileName(folderText)), QVariant(recordTimeText(time))});
}

}  // namespace kestrune
