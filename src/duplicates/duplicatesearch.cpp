#include "duplicates/duplicatesearch.h"

#include <QSet>

#include <algorithm>

#include <optional>

namespace kestrune {

QString nameKey(const QString& name)
{
    return name.toLower();
}

// ---------------------------------------------------------------------------

NameIndex::NameIndex(const Folder& root, const QSet<QString>* wanted)
{
    walkFolders(root, true, [this, wanted](const Folder& folder) {
        std::vector<File> files;
        try {
            files = folder.Files();
        } catch (const FsError&) {
            // Unreadable: nothing of it is listed, and the walk skips its tree.
            return true;
        }
        const int index = int(m_folders.size());
        m_folders.push_back(folder.Path());
        for (const File& f : files) {
            QString name = f.Name();
            QString key = nameKey(name);
            if (wanted && !wanted->contains(key))
                continue;
            m_byKey[std::move(key)].push_back(Hit{index, std::move(name)});
        }
        m_fileCount += int(files.size());
        return true;
    });
}

void NameIndex::appendMatches(const QString& key, QStringList& out) const
{
    const auto it = m_byKey.constFind(key);
    if (it == m_byKey.constEnd())
        return;
    for (const Hit& hit : it.value())
        out.append(joinPath(m_folders[size_t(hit.folder)], hit.name));
}

// ---------------------------------------------------------------------------

void DuplicateSearch::match(const File& searchfile, const Folder& b, QStringList& out)
{
    const QString key = nameKey(trimBlanks(searchfile.Name()));
    if (!m_running || !m_wanted.contains(key)) {
        const QSet<QString> only{key};
        NameIndex(b, &only).appendMatches(key, out);
        return;
    }
    std::shared_ptr<NameIndex>& index = m_indexes[b.Path()];
    if (!index) {
        index = std::make_shared<NameIndex>(b, &m_wanted);
        ++m_walks;
    }
    index->appendMatches(key, out);
}

DuplicateSearch::Outcome DuplicateSearch::run(const QStringList& files, const QStringList& folders)
{
    Outcome outcome;
    m_indexes.clear();
    m_wanted.clear();
    m_running = true;
    m_walks = 0;

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

    // The files to look for are opened first, so that the trees are indexed
    // only for the names that are looked for.
    std::vector<std::optional<File>> searchfiles;
    searchfiles.reserve(size_t(files.size()));
    for (const QString& entry : files) {
        const QString path = trimBlanks(entry);
        try {
            File f = m_fso.GetFile(path);
            m_wanted.insert(nameKey(trimBlanks(f.Name())));
            searchfiles.emplace_back(std::move(f));
        } catch (const FsError&) {
            outcome.skipped << path;
            searchfiles.emplace_back(std::nullopt);
        }
    }

    for (const std::optional<File>& searchfile : searchfiles) {
        if (!searchfile)
            continue;
        for (const std::optional<Folder>& target : targets)
            if (target)
                match(*searchfile, *target, outcome.found);
    }

    outcome.skipped << skippedFolders;
    outcome.walks = m_walks;
    m_indexes.clear();
    m_wanted.clear();
    m_running = false;
    return outcome;
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

QStringList newPathsOfTree(const Folder& b, const QStringList& listed)
{
    // One walk reaches every path once: only the entries listed before need
    // a look-up.
    const QSet<QString> seen(listed.begin(), listed.end());
    QStringList added;
    walkFolders(b, true, [&](const Folder& folder) {
        std::vector<File> files;
        try {
            files = folder.Files();
        } catch (const FsError&) {
            return true;
        }
        const QString base = folder.Path();
        for (const File& f : files) {
            QString path = joinPath(base, f.Name());
            if (seen.isEmpty() || !seen.contains(path))
                added.append(std::move(path));
        }
        return true;
    });
    return added;
}

bool deleteListedFile(const FileSystemObject& fso, const QString& path)
{
    try {
        fso.GetFile(path).Delete(false);
        return true;
    } catch (const FsError&) {
        return false;
    }
}

}  // namespace kestrune
