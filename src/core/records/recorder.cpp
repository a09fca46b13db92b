#include "core/records/recorder.h"

#include "core/fs/fsnames.h"
#include "core/fs/mimecache.h"

#include <algorithm>
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

// A file's status as the calling thread reads it.
struct ReadRecord {
    std::optional<qint64> size;
    std::optional<qint64> modifiedMSecs;
};

// Works out the values that come from the names alone (the folder's short
// names, each file's type) on a thread of its own, while the calling thread
// reads the files and stores the records: the store is used only by the
// thread that opened it.
class NameValues {
public:
    explicit NameValues(const std::vector<QString>& names) : m_names(names), m_types(names.size()) {}

    ~NameValues()
    {
        stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    void start() { m_thread = std::thread([this] { run(); }); }
    // The number of names whose values are ready; with `wait`, waits until
    // `count` are (or the thread has failed).
    size_t ready(size_t count, bool wait)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (wait)
            m_wake.wait(lock, [&] { return m_failed || m_ready >= count; });
        return m_ready;
    }
    bool failed()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_failed;
    }
    // Ends the thread before it has worked out everything.
    void stop()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    // Only for indexes below ready().
    const QString& alias(size_t i) const { return m_aliases[i]; }
    const QString& type(size_t i) const { return m_types[i]; }

private:
    void run()
    {
        try {
            m_aliases = shortNamesFor(m_names);
            // The types by name, with answers kept for this thread.
            MimeNameCache types;
            for (size_t i = 0; i < m_names.size(); ++i) {
                m_types[i] = types.comment(m_names[i]);
                if ((i + 1) % kHandOver == 0 || i + 1 == m_names.size()) {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_ready = i + 1;
                    m_wake.notify_one();
                    if (m_stop)
                        return;
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_failed = true;
            m_wake.notify_one();
        }
    }

    // The values are handed over in batches of this many.
    static constexpr size_t kHandOver = 256;

    const std::vector<QString>& m_names;
    std::vector<QString> m_aliases;
    std::vector<QString> m_types;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    size_t m_ready = 0;
    bool m_stop = false;
    bool m_failed = false;
};

TableAppender::Added storeRecord(TableAppender& appender, const ReadRecord& r, const QString& name,
                                 const QString& shownName, int nameLimit, const QString& type,
                                 const QString& shortName)
{
    const QString stored = leftCharacters(shownName, nameLimit);
    appender.bindText(0, stored);
    // A name that is not UTF-8 keeps its bytes beside it, when stored whole.
    if (stored.size() == shownName.size() && hasRawBytes(name))
        appender.keepExactName(encodeFileName(name));
    appender.bindText(1, type);
    if (r.size)
        appender.bindInt(2, *r.size);
    else
        appender.bindNull(2);
    char text[32];
    const int length = r.modifiedMSecs ? recordTimeChars(*r.modifiedMSecs, text) : 0;
    if (length > 0)
        appender.bindLatin1(3, text, length);
    else if (r.modifiedMSecs)
        appender.bindText(3, recordTimeText(QDateTime::fromMSecsSinceEpoch(*r.modifiedMSecs, Qt::UTC)));
    else
        appender.bindNull(3);
    appender.bindText(4, shortName);
    return appender.add();
}

// Records are stored after every this many files read.
constexpr size_t kStoreEvery = 256;

}  // namespace

RecordRun recordFolder(const FileSystemObject& fso, const QString& folderPath, TableCursor& fileInf, int nameLimit,
                       ProgressSink* progress)
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
    NameValues values(names);
    values.start();
    // The records the table refused, by their place in the run, and why.
    std::vector<std::pair<size_t, QString>> dropped;
    // Stores the records read so far whose name values are ready (all of
    // [stored, end) with `wait`); false when the store failed.
    size_t stored = 0;
    const auto storeReady = [&](size_t end, bool wait) {
        const size_t upTo = std::min(end, values.ready(end, wait));
        for (; stored < upTo; ++stored) {
            const TableAppender::Added added =
                storeRecord(appender, records[stored], files[stored].Name(), names[stored], nameLimit,
                            values.type(stored), values.alias(stored));
            if (added == TableAppender::Added::Failed)
                return false;
            if (added == TableAppender::Added::Dropped)
                dropped.push_back({stored, appender.dropReason()});
        }
        return !values.failed();
    };
    bool cancelled = false;
    bool storeFailed = false;
    std::vector<std::pair<size_t, QString>> unread;
    size_t i = 0;
    for (; i < files.size(); ++i) {
        if (progress && !progress->step(int(i), [&] { return files[i].Path(); })) {
            cancelled = true;
            break;
        }
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
        if ((i + 1) % kStoreEvery == 0 && !storeReady(i + 1, false)) {
            storeFailed = true;
            break;
        }
    }
    run.handled = int(i);
    if (cancelled || storeFailed)
        values.stop();
    else
        storeFailed = !storeReady(i, true);
    if (cancelled) {
        appender.rollback();
        run.outcome = RecordRun::Outcome::Cancelled;
        return run;
    }
    if (storeFailed) {
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
    for (const auto& [index, why] : dropped)
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
    // Its exact bytes are kept beside it.
    return log.addNew({QVariant(displayFileName(folderText)), QVariant(recordTimeText(time))},
                      hasRawBytes(folderText) ? encodeFileName(folderText) : QByteArray());
}

}  // namespace kestrune
