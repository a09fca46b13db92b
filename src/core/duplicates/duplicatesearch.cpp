#include "core/duplicates/duplicatesearch.h"

#include "core/fs/fsnames.h"

#include <QDir>
#include <QSet>

#include <algorithm>

#include <optional>

namespace kestrune {

QString nameKey(const QString& name)
{
    // Compared as shown: a GB18030 name on disk matches its UTF-8 spelling.
    return displayFileName(name).toLower();
}

// ---------------------------------------------------------------------------

NameIndex::NameIndex(const Folder& root, const Keys* wanted, ProgressSink* progress)
    : m_keys(wanted ? wanted : &m_ownKeys)
{
    // The files kept, in walk order, with their groups; sorted into groups
    // once the walk is done.
    std::vector<std::pair<int, Hit>> kept;
    m_stopped = !walkListings(
        root, true,
        [&](const Folder& folder, std::vector<File>& files) {
            QString path = folder.Path();
            const int number = int(m_folders.size());
            m_folderNumbers.insert(path, number);
            m_folders.push_back(std::move(path));
            for (const File& f : files) {
                QString name = f.Name();
                const QString key = nameKey(name);
                int group;
                if (wanted) {
                    group = wanted->value(key, -1);
                    if (group < 0)
                        continue;
                } else {
                    const auto known = m_ownKeys.constFind(key);
                    if (known != m_ownKeys.constEnd()) {
                        group = known.value();
                    } else {
                        group = int(m_ownKeys.size());
                        m_ownKeys.insert(key, group);
                    }
                }
                kept.emplace_back(group, Hit{number, std::move(name)});
            }
            m_fileCount += int(files.size());
            return WalkOn::Go;
        },
        {progress});

    // A stable counting sort: each group keeps its walk order.
    m_groupStart.assign(size_t(m_keys->size()) + 1, 0);
    for (const auto& k : kept)
        ++m_groupStart[size_t(k.first) + 1];
    for (size_t g = 1; g < m_groupStart.size(); ++g)
        m_groupStart[g] += m_groupStart[g - 1];
    std::vector<int> next(m_groupStart.begin(), m_groupStart.end() - 1);
    m_hits.resize(kept.size());
    for (auto& k : kept)
        m_hits[size_t(next[size_t(k.first)]++)] = std::move(k.second);
}

void NameIndex::appendGroup(int group, QStringList& out) const
{
    if (group < 0 || size_t(group) + 1 >= m_groupStart.size())
        return;
    for (int i = m_groupStart[size_t(group)]; i < m_groupStart[size_t(group) + 1]; ++i) {
        const Hit& hit = m_hits[size_t(i)];
        out.append(joinPath(m_folders[size_t(hit.folder)], hit.name));
    }
}

void NameIndex::appendMatches(const QString& key, QStringList& out) const
{
    appendGroup(m_keys->value(key, -1), out);
}

int NameIndex::folderNumber(const QString& path) const
{
    return m_folderNumbers.value(path, -1);
}

bool NameIndex::listed(int folder, const QString& name, int group) const
{
    if (folder < 0 || group < 0 || size_t(group) + 1 >= m_groupStart.size())
        return false;
    // A group is in walk order, so by folder.
    const auto begin = m_hits.begin() + m_groupStart[size_t(group)];
    const auto end = m_hits.begin() + m_groupStart[size_t(group) + 1];
    auto it = std::lower_bound(begin, end, folder, [](const Hit& hit, int f) { return hit.folder < f; });
    for (; it != end && it->folder == folder; ++it)
        if (it->name == name)
            return true;
    return false;
}

// ---------------------------------------------------------------------------

void DuplicateSearch::match(const File& searchfile, const Folder& b, QStringList& out)
{
    const QString key = nameKey(trimBlanks(searchfile.Name()));
    const int group = m_running ? m_wanted.value(key, -1) : -1;
    if (group < 0) {
        const NameIndex::Keys only{{key, 0}};
        NameIndex(b, &only).appendGroup(0, out);
        return;
    }
    std::shared_ptr<NameIndex>& index = m_indexes[b.Path()];
    if (!index) {
        index = std::make_shared<NameIndex>(b, &m_wanted);
        ++m_walks;
    }
    index->appendGroup(group, out);
}

namespace {

// A file entry of a search, trimmed, split into its folder and its name,
// with the group of its name's key.
struct FileEntry {
    QString path;
    QStringView folder;  // into path (whose text stays put when the entry moves)
    QString name;
    int group = -1;
};

FileEntry splitEntry(const QString& entry)
{
    FileEntry e;
    e.path = trimBlanks(entry);
    const qsizetype slash = e.path.lastIndexOf(QDir::separator());
    e.name = e.path.mid(slash + 1);
    if (slash >= 0)
        e.folder = QStringView(e.path).left(slash == 0 ? 1 : slash);
    return e;
}

}  // namespace

DuplicateSearch::Outcome DuplicateSearch::run(const QStringList& files, const QStringList& folders,
                                              ProgressSink* progress)
{
    Outcome outcome;
    m_indexes.clear();
    m_wanted.clear();
    m_running = true;
    m_walks = 0;
    auto finish = [&] {
        outcome.walks = m_walks;
        m_indexes.clear();
        m_wanted.clear();
        m_running = false;
        return outcome;
    };

    // Each folder entry is opened once; one that holds neither files nor
    // subfolders of its own is passed over without a word, one that cannot be
    // opened or listed is reported.
    std::vector<std::optional<Folder>> targets;
    targets.reserve(size_t(folders.size()));
    QStringList skippedFolders;
    for (const QString& entry : folders) {
        const QString path = trimBlanks(entry);
        try {
            Folder folder = m_fso.GetFolder(path);
            if (folder.FileCount() > 0 || folder.SubFolderCount() > 0)
                targets.emplace_back(std::move(folder));
            else
                targets.emplace_back(std::nullopt);
        } catch (const FsError&) {
            skippedFolders << path;
            targets.emplace_back(std::nullopt);
        }
    }

    // The trees are indexed only for the names looked for, taken from the
    // entries as written (an entry that names no file only adds a name
    // nobody asks for).
    std::vector<FileEntry> entries;
    entries.reserve(size_t(files.size()));
    m_wanted.reserve(files.size());
    for (const QString& entry : files) {
        entries.push_back(splitEntry(entry));
        const QString key = nameKey(trimBlanks(entries.back().name));
        auto known = m_wanted.constFind(key);
        if (known == m_wanted.constEnd())
            known = m_wanted.insert(key, int(m_wanted.size()));
        entries.back().group = known.value();
    }

    // Each distinct tree is walked once, before any entry is searched for.
    std::vector<std::shared_ptr<NameIndex>> indexes(targets.size());
    std::vector<NameIndex*> distinct;
    for (size_t j = 0; j < targets.size(); ++j) {
        if (!targets[j])
            continue;
        std::shared_ptr<NameIndex>& index = m_indexes[targets[j]->Path()];
        if (!index) {
            index = std::make_shared<NameIndex>(*targets[j], &m_wanted, progress);
            ++m_walks;
            distinct.push_back(index.get());
            if (index->stopped()) {
                outcome.cancelled = true;
                return finish();
            }
        }
        indexes[j] = index;
    }

    // The folder of the last entry, numbered in each walk: entries added
    // from a folder tree come folder by folder.
    QString lastFolder;
    std::vector<int> lastNumbers(distinct.size(), -1);
    for (size_t i = 0; i < entries.size(); ++i) {
        const FileEntry& entry = entries[i];
        if (progress && !progress->step(int(i), entry.path)) {
            outcome.cancelled = true;
            outcome.searched = int(i);
            return finish();
        }
        if (i == 0 || entry.folder != lastFolder) {
            lastFolder = entry.folder.toString();
            for (size_t d = 0; d < distinct.size(); ++d)
                lastNumbers[d] = distinct[d]->folderNumber(lastFolder);
        }
        // An entry that a walk has just listed is a file; any other is
        // opened to find out.
        int group = entry.group;
        bool isFile = false;
        for (size_t d = 0; d < distinct.size() && !isFile; ++d)
            isFile = distinct[d]->listed(lastNumbers[d], entry.name, group);
        std::optional<File> opened;
        if (!isFile) {
            try {
                opened = m_fso.GetFile(entry.path);
                group = m_wanted.value(nameKey(trimBlanks(opened->Name())), -1);
            } catch (const FsError&) {
                outcome.skipped << entry.path;
                continue;
            }
        }
        for (size_t j = 0; j < targets.size(); ++j) {
            if (!targets[j])
                continue;
            if (group >= 0) {
                indexes[j]->appendGroup(group, outcome.found);
            } else if (opened) {
                // A name the entry's text did not give away: a walk of its own.
                match(*opened, *targets[j], outcome.found);
            }
        }
    }
    outcome.searched = int(entries.size());
    outcome.skipped << skippedFolders;
    return finish();
}

// ---------------------------------------------------------------------------

namespace {
// A message box taller than the screen cannot be answered: past this many
// lines the rest is only counted.
constexpr int kMaxSkippedLines = 50;
}  // namespace

QString searchDoneMessage(const QStringList& skipped)
{
    QString text = QStringLiteral("查找完毕！");
    if (skipped.isEmpty())
        return text;
    text += QStringLiteral("\n以下条目无法打开,已跳过:");
    const qsizetype shown = std::min<qsizetype>(skipped.size(), kMaxSkippedLines);
    for (qsizetype i = 0; i < shown; ++i)
        text += QLatin1Char('\n') + skipped.at(i);
    if (skipped.size() > shown)
        text += QStringLiteral("\n……另有%1项未列出").arg(skipped.size() - shown);
    return text;
}

QStringList newPathsOfTree(const QString& b, const QStringList& listed, ProgressSink* progress, bool* stopped)
{
    if (stopped)
        *stopped = false;
    Folder root;
    try {
        root = FileSystemObject().GetFolder(b);
    } catch (const FsError&) {
        return {};
    }
    // One walk reaches every path once: only the entries listed before need
    // a look-up.
    const QSet<QString> seen(listed.begin(), listed.end());
    QStringList added;
    int count = 0;
    const bool stop = !walkListings(
        root, true,
        [&](const Folder& folder, std::vector<File>& files) {
            const QString base = folder.Path();
            for (const File& f : files) {
                QString path = joinPath(base, f.Name());
                if (seen.isEmpty() || !seen.contains(path))
                    added.append(std::move(path));
            }
            count = int(added.size());
            return WalkOn::Go;
        },
        {progress, &count});
    if (stopped)
        *stopped = stop;
    return added;
}

namespace {

// Deletes the file the lookup finds (to the trash when one is given); false
// with the reason when it cannot.
template <typename Lookup>
bool deleteLookedUp(const Lookup& lookup, TrashCan* trash, QString* why)
{
    try {
        const File file = lookup();
        if (trash)
            file.MoveToTrash(*trash, false);
        else
            file.Delete(false);
        return true;
    } catch (const FsError& e) {
        if (why)
            *why = e.message();
        return false;
    }
}

}  // namespace

bool deleteListedFile(const FileSystemObject& fso, const QString& path, TrashCan* trash, QString* why)
{
    return deleteLookedUp([&] { return fso.GetFile(path); }, trash, why);
}

// ---------------------------------------------------------------------------

void SearchRoots::add(const QString& folder)
{
    const QString root = normalizeFolderPath(trimBlanks(folder));
    if (!root.isEmpty() && !m_roots.contains(root))
        m_roots << root;
}

QString SearchRoots::rootOf(const QString& path) const
{
    const QString absolute = normalizeFolderPath(path);
    QString best = QDir::toNativeSeparators(QDir::rootPath());
    for (const QString& root : m_roots) {
        if (root.size() <= best.size())
            continue;
        const bool below = root.size() == 1 ? absolute.size() > 1 && absolute.startsWith(root)
                                            : absolute.size() > root.size() + 1 && absolute.startsWith(root)
                                                  && absolute.at(root.size()) == QDir::separator();
        if (below)
            best = root;
    }
    return best;
}

bool deleteFoundFile(const FileSystemObject& fso, const SearchRoots& roots, const QString& path, TrashCan* trash,
                     QString* why)
{
    return deleteLookedUp([&] { return fso.GetFileBelow(roots.rootOf(path), path); }, trash, why);
}

}  // namespace kestrune
