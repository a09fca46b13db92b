#include "core/same/samefinder.h"

#include "core/batch/batchrunner.h"
#include "core/fs/fsnames.h"
#include "core/fs/fso.h"
#include "core/same/samereader.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <atomic>
#include <mutex>
#include <thread>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

// What the walk keeps of a file: 40 bytes and its name in the pool, so that
// a tree of a million files is held in some tens of megabytes.
struct Entry {
    qint64 size;
    qint64 modifiedNs;
    quint64 device;
    quint64 inode;
    quint32 folder;  // into Walked::folders
    quint32 name;    // offset of its NUL-ended name in Walked::names
};

struct WalkedFolder {
    QByteArray path;  // exact bytes
    int root;
};

// Names one after another, NUL-ended, in blocks that never move: growing
// the pool never copies it (a vector would hold twice its size for a moment).
class NamePool {
public:
    static constexpr quint32 kBlock = 1 << 16;

    quint32 add(const QByteArray& name)
    {
        const auto size = quint32(name.size()) + 1;
        if (m_blocks.empty() || m_used + size > kBlock) {
            m_blocks.emplace_back(new char[kBlock]);
            m_used = 0;
        }
        const quint32 at = quint32(m_blocks.size() - 1) * kBlock + m_used;
        std::memcpy(m_blocks.back().get() + m_used, name.constData(), size);
        m_used += size;
        return at;
    }
    const char* at(quint32 offset) const { return m_blocks[offset / kBlock].get() + offset % kBlock; }

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
    quint32 m_used = 0;
};

struct Walked {
    std::vector<WalkedFolder> folders;
    std::deque<Entry> entries;  // in walk order; a deque grows without copying
    NamePool names;
    std::vector<SameProblem> problems;
    bool stopped = false;

    QByteArray pathOf(const Entry& e) const
    {
        QByteArray path = folders[e.folder].path;
        if (!path.endsWith('/'))
            path += '/';
        return path + QByteArray(names.at(e.name));
    }
};

std::vector<QRegularExpression> namePatterns(const QString& pattern)
{
    std::vector<QRegularExpression> out;
    for (const QString& part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p.isEmpty() || p == QLatin1String("*") || p == QLatin1String("*.*"))
            return {};
        out.emplace_back(QRegularExpression::wildcardToRegularExpression(p),
                         QRegularExpression::CaseInsensitiveOption);
    }
    return out;
}

bool nameMatches(const std::vector<QRegularExpression>& patterns, const QString& name)
{
    if (patterns.empty())
        return true;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const QRegularExpression& re) { return re.match(name).hasMatch(); });
}

void walkRoots(const SameOptions& options, ProgressSink* progress, Walked& walked)
{
    const FileSystemObject fso;
    const std::vector<QRegularExpression> patterns = namePatterns(options.pattern);
    const qint64 minSize = std::max<qint64>(1, options.minSize);
    for (int root = 0; root < options.folders.size() && !walked.stopped; ++root) {
        Folder top;
        try {
            top = fso.GetFolder(options.folders[root]);
            top.FileCount();  // lists it, so that a folder that cannot be opened is named
        } catch (const FsError& e) {
            walked.problems.push_back({options.folders[root], e.message()});
            continue;
        }
        int entries = int(walked.entries.size());
        const auto unlisted = [&walked](const Folder& folder, const FsError& e) {
            walked.problems.push_back({folder.Path(), e.message()});
        };
        const bool ended = walkListings(
            top, true,
            [&](const Folder& folder, std::vector<File>& files) {
                const auto folderIndex = quint32(walked.folders.size());
                walked.folders.push_back({encodeFileName(folder.Path()), root});
                // Each file is looked at through one handle on its folder, not
                // by its whole path. The walk never enters a link below the
                // chosen folder; the chosen folder itself may be one.
                const bool isTop = folder.Path() == top.Path();
                const int dir = ::open(walked.folders.back().path.constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isTop ? 0 : O_NOFOLLOW));
                if (dir < 0) {
                    walked.problems.push_back({folder.Path(), describeError(errno)});
                    return WalkOn::Go;
                }
                for (const File& file : files) {
                    const QString name = file.Name();
                    if (!nameMatches(patterns, name))
                        continue;
                    const QByteArray bytes = encodeFileName(name);
                    struct stat st;
                    // Links are not followed: a link to a file may lead out of the tree.
                    if (::fstatat(dir, bytes.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
                        || st.st_size < minSize)
                        continue;
                    walked.entries.push_back({qint64(st.st_size),
                                              qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                                              quint64(st.st_dev), quint64(st.st_ino), folderIndex,
                                              walked.names.add(bytes)});
                }
                ::close(dir);
                entries = int(walked.entries.size());
                return WalkOn::Go;
            },
            {progress, &entries}, unlisted);
        if (!ended)
            walked.stopped = true;
        if (progress && progress->stopped())
            walked.stopped = true;
    }
}

// Runs `work(item, reader)` for every item on `threads` threads, each with a
// reader of its own; stops early once `stop()` answers true.
template <typename Work, typename Stop>
void forEachParallel(size_t count, int threads, Work&& work, Stop&& stop)
{
    std::atomic<size_t> next{0};
    auto run = [&] {
        ContentReader reader;
        for (size_t i = next++; i < count && !stop(); i = next++)
            work(i, reader);
    };
    const int extra = int(std::min<size_t>(count, size_t(std::max(1, threads)))) - 1;
    std::vector<std::thread> pool;
    for (int t = 0; t < extra; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& t : pool)
        t.join();
}

// Ranges [begin, end) of `items` where `same` holds between neighbours.
template <typename Item, typename Same, typename Visit>
void forEachRun(const std::vector<Item>& items, Same&& same, Visit&& visit)
{
    size_t begin = 0;
    for (size_t i = 1; i <= items.size(); ++i) {
        if (i == items.size() || !same(items[begin], items[i])) {
            visit(begin, i);
            begin = i;
        }
    }
}

}  // namespace

SameResult findSameFiles(const SameOptions& options, ProgressSink* progress)
{
    SameResult result;
    Walked walked;
    walkRoots(options, progress, walked);
    result.filesWalked = int(walked.entries.size());
    result.unreadable = std::move(walked.problems);
    if (walked.stopped) {
        result.cancelled = true;
        return result;
    }

    // Sizes met more than once, each inode once (its first name).
    std::vector<quint32> order(walked.entries.size());
    for (quint32 i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto& entries = walked.entries;
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const Entry& x = entries[a];
        const Entry& y = entries[b];
        if (x.size != y.size)
            return x.size < y.size;
        if (x.device != y.device)
            return x.device < y.device;
        if (x.inode != y.inode)
            return x.inode < y.inode;
        return a < b;
    });
    struct Candidate {
        quint32 entry;
        ContentHash hash;
        bool ok;
    };
    std::vector<Candidate> candidates;
    forEachRun(
        order, [&](quint32 a, quint32 b) { return entries[a].size == entries[b].size; },
        [&](size_t begin, size_t end) {
            std::vector<quint32> inodes;
            for (size_t i = begin; i < end; ++i) {
                const Entry& e = entries[order[i]];
                if (i == begin || e.inode != entries[order[i - 1]].inode || e.device != entries[order[i - 1]].device)
                    inodes.push_back(order[i]);
            }
            if (inodes.size() > 1)
                for (quint32 entry : inodes)
                    candidates.push_back({entry, {}, false});
        });
    std::vector<quint32>().swap(order);

    // First blocks, then whole contents where the first blocks agree.
    std::mutex mutex;
    std::atomic<int> hashed{0};
    std::atomic<qint64> bytesDone{0};
    qint64 bytesToRead = 0;
    for (const Candidate& c : candidates)
        bytesToRead += std::min<qint64>(entries[c.entry].size, ContentReader::kFirstBlock);
    auto stopped = [progress] { return progress && progress->stopped(); };
    auto hashPass = [&](std::vector<Candidate*>& items, bool whole) {
        forEachParallel(
            items.size(), options.threads > 0 ? options.threads : int(std::thread::hardware_concurrency()),
            [&](size_t i, ContentReader& reader) {
                Candidate& c = *items[i];
                const Entry& e = entries[c.entry];
                const QByteArray path = walked.pathOf(e);
                const ContentReader::Expect expect{e.size, e.device, e.inode};
                QString why;
                // The rest of a file whose first block is hashed already.
                const std::optional<ContentHash> hash =
                    whole ? reader.hashFrom(ContentReader::kFirstBlock, path, expect, &why, &bytesDone, stopped)
                          : reader.hashFirstBlock(path, expect, &why, &bytesDone);
                c.ok = bool(hash);
                if (hash)
                    c.hash = whole ? combineHashes(c.hash, *hash) : *hash;
                std::lock_guard<std::mutex> lock(mutex);
                if (!hash && !stopped())
                    result.unreadable.push_back({decodeFileName(path), why});
                if (progress) {
                    progress->setItemBytes(bytesDone.load(), bytesToRead);
                    progress->step(++hashed, [&path] { return decodeFileName(path); });
                }
            },
            stopped);
    };
    auto sameKey = [&](const Candidate* a, const Candidate* b) {
        return entries[a->entry].size == entries[b->entry].size && a->hash == b->hash;
    };
    auto byKey = [&](const Candidate* a, const Candidate* b) {
        const qint64 sa = entries[a->entry].size;
        const qint64 sb = entries[b->entry].size;
        if (sa != sb)
            return sa < sb;
        if (a->hash != b->hash)
            return a->hash < b->hash;
        return a->entry < b->entry;
    };
    // Keeps the candidates whose key some other candidate shares.
    auto matched = [&](std::vector<Candidate*> items) {
        items.erase(std::remove_if(items.begin(), items.end(), [](const Candidate* c) { return !c->ok; }),
                    items.end());
        std::sort(items.begin(), items.end(), byKey);
        std::vector<Candidate*> out;
        forEachRun(items, sameKey, [&](size_t begin, size_t end) {
            if (end - begin > 1)
                out.insert(out.end(), items.begin() + qsizetype(begin), items.begin() + qsizetype(end));
        });
        return out;
    };

    std::vector<Candidate*> first;
    first.reserve(candidates.size());
    for (Candidate& c : candidates)
        first.push_back(&c);
    if (progress)
        progress->setTotal(int(candidates.size()));
    hashPass(first, false);
    // A large file whose first block no other shares has no copy; those
    // that share it are told apart by their whole contents.
    const std::vector<Candidate*> shared = matched(first);
    for (Candidate& c : candidates)
        if (entries[c.entry].size > ContentReader::kFirstBlock)
            c.ok = false;
    std::vector<Candidate*> big;
    for (Candidate* c : shared)
        if (entries[c->entry].size > ContentReader::kFirstBlock)
            big.push_back(c);
    for (const Candidate* c : big)
        bytesToRead += entries[c->entry].size - ContentReader::kFirstBlock;
    if (progress)
        progress->setTotal(int(candidates.size() + big.size()));
    hashPass(big, true);
    result.filesHashed = hashed.load();
    result.bytesRead = bytesDone.load();
    if (stopped()) {
        result.cancelled = true;
        return result;
    }

    // The groups: small files by their one hash, large ones by the whole.
    std::vector<Candidate*> final;
    for (Candidate& c : candidates)
        if (c.ok)
            final.push_back(&c);
    std::sort(final.begin(), final.end(), byKey);
    forEachRun(final, sameKey, [&](size_t begin, size_t end) {
        if (end - begin < 2)
            return;
        SameGroup group;
        group.size = entries[final[begin]->entry].size;
        std::vector<quint32> members;
        for (size_t i = begin; i < end; ++i)
            members.push_back(final[i]->entry);
        std::sort(members.begin(), members.end());  // walk order
        for (quint32 m : members) {
            const Entry& e = entries[m];
            group.files.push_back({decodeFileName(walked.pathOf(e)), e.size, e.modifiedNs, e.device, e.inode,
                                   walked.folders[e.folder].root});
        }
        result.groups.push_back(std::move(group));
    });
    std::sort(result.groups.begin(), result.groups.end(), [](const SameGroup& a, const SameGroup& b) {
        if (a.wasted() != b.wasted())
            return a.wasted() > b.wasted();
        if (a.size != b.size)
            return a.size > b.size;
        return a.files.front().path < b.files.front().path;
    });
    return result;
}

bool pathWithin(const QString& path, const QString& folder)
{
    QString f = folder;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    if (path == f)
        return true;
    return path.startsWith(f == QLatin1String("/") ? f : f + QLatin1Char('/'));
}

int keeperOf(const SameGroup& group, KeepRule rule, const QStringList& referenceFolders)
{
    std::vector<int> pool;
    for (int i = 0; i < int(group.files.size()); ++i)
        for (const QString& folder : referenceFolders)
            if (pathWithin(group.files[i].path, folder)) {
                pool.push_back(i);
                break;
            }
    if (pool.empty())
        for (int i = 0; i < int(group.files.size()); ++i)
            pool.push_back(i);
    if (pool.empty())
        return -1;
    int best = pool.front();
    for (int i : pool) {
        const qint64 t = group.files[i].modifiedNs;
        const qint64 b = group.files[best].modifiedNs;
        if ((rule == KeepRule::Oldest && t < b) || (rule == KeepRule::Newest && t > b))
            best = i;
    }
    return best;
}

QString readableSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 字节").arg(bytes);
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}

QString groupHeader(const SameGroup& group)
{
    return QStringLiteral("%1 个文件，每个 %2").arg(group.files.size()).arg(readableSize(group.size));
}

}  // namespace kestrune
