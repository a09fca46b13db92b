#include "core/duplicates/listdelete.h"

#include "core/duplicates/duplicatesearch.h"
#include "core/fs/fsnames.h"

#include <optional>

#include <sys/stat.h>

namespace kestrune {

namespace {

std::optional<QPair<quint64, quint64>> identity(const QString& path)
{
    struct stat st {};
    if (::lstat(encodeFileName(path).constData(), &st) != 0)
        return std::nullopt;
    return qMakePair(quint64(st.st_dev), quint64(st.st_ino));
}

}  // namespace

void FileIdentities::add(const QString& path)
{
    if (const auto id = identity(path))
        m_ids.insert(*id);
}

bool FileIdentities::contains(const QString& path) const
{
    if (m_ids.isEmpty())
        return false;
    const auto id = identity(path);
    return id && m_ids.contains(*id);
}

ListedDeletion deleteListedFiles(const QStringList& paths, bool toTrash, ProgressSink& progress,
                                 const SearchRoots& roots, const FileIdentities& keep)
{
    ListedDeletion out;
    progress.setTotal(int(paths.size()));
    const FileSystemObject fso;
    std::optional<TrashCan> trash;
    if (toTrash)
        trash.emplace();
    QSet<QString> seen;
    for (const QString& path : paths) {
        if (!progress.step(out.handled, path)) {
            out.cancelled = true;
            break;
        }
        ++out.handled;
        if (seen.contains(path))
            continue;
        seen.insert(path);
        if (keep.contains(path)) {
            out.kept << path;
            continue;
        }
        QString why;
        if (!deleteFoundFile(fso, roots, path, trash ? &*trash : nullptr, &why))
            out.notDeleted.append(qMakePair(path, why));
    }
    return out;
}

}  // namespace kestrune
