// dupes: the duplicate finder.

#include "cli/command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/duplicates/duplicatesearch.h"
#include "core/duplicates/listdelete.h"

namespace kestrune::cli {

int dupesCommand(Session& session, const Parsed& p)
{
    const QStringList names = p.lists.value(QStringLiteral("--names"));
    const QStringList in = p.lists.value(QStringLiteral("--in"));
    if (names.isEmpty())
        return usageError(QStringLiteral("要查找的文件列表为空,请先添加文件到列表!"));
    if (in.isEmpty())
        return usageError(QStringLiteral("被查找的文件夹列表为空,请先添加文件夹到列表!"));
    const bool remove = p.has("--delete");
    const std::optional<bool> toTrash = trashChoice(p);
    if (!toTrash)
        return usageError(QStringLiteral("--trash 和 --no-trash 只能选一个"));
    struct Outcome {
        DuplicateSearch::Outcome search;
        ListedDeletion deletion;
    };
    return runBatch<Outcome>(
        session,
        [names, in, remove, trashing = *toTrash](ProgressSink& progress) {
            const FileSystemObject fso;
            // The two lists as the window builds them: typed entries once
            // each, a folder of names as "添加目录到列表" adds it.
            QStringList files;
            QStringList folders;
            for (const QString& entry : names) {
                if (trimBlanks(entry).isEmpty() || files.contains(entry))
                    continue;
                if (fso.FolderExists(entry)) {
                    try {
                        bool stopped = false;
                        fso.GetFolder(entry);  // one that cannot be opened is named
                        files += newPathsOfTree(entry, files, &progress, &stopped);
                        if (stopped)
                            break;
                    } catch (const FsError& e) {
                        failure(QStringLiteral("无法打开文件夹"), entry, e.message());
                    }
                    continue;
                }
                files << entry;
            }
            for (const QString& entry : in)
                if (!trimBlanks(entry).isEmpty() && !folders.contains(entry))
                    folders << entry;
            Outcome outcome;
            if (progress.stopped()) {
                outcome.search.cancelled = true;
                return outcome;
            }
            progress.setTotal(int(files.size()));
            DuplicateSearch search(fso);
            outcome.search = search.run(files, folders, &progress);
            for (const QString& path : std::as_const(outcome.search.found))
                result(path);
            if (!remove || outcome.search.cancelled)
                return outcome;
            // "删除全部", except that a script sees no lists: the files it
            // was told to look for are never deleted, whatever path finds
            // them again.
            FileIdentities listed;
            for (const QString& file : std::as_const(files))
                listed.add(file);
            // Through the folders the search went, never through a link.
            SearchRoots roots;
            for (const QString& folder : std::as_const(folders))
                roots.add(folder);
            outcome.deletion = deleteListedFiles(outcome.search.found, trashing, progress, roots, listed);
            return outcome;
        },
        [](Outcome outcome) {
            if (outcome.search.cancelled) {
                message(cancelledText(outcome.search.searched));
                return kExitFailed;
            }
            for (const QString& skipped : std::as_const(outcome.search.skipped))
                failure(QStringLiteral("无法打开"), skipped, QString());
            for (const QString& kept : std::as_const(outcome.deletion.kept))
                failure(QStringLiteral("未删除"), kept, QStringLiteral("它是要查找的文件"));
            for (const auto& [path, why] : std::as_const(outcome.deletion.notDeleted))
                failure(QStringLiteral("无法删除"), path, why);
            if (outcome.deletion.cancelled) {
                message(cancelledText(outcome.deletion.handled));
                return kExitFailed;
            }
            return outcome.search.skipped.isEmpty() && outcome.deletion.notDeleted.isEmpty() ? kExitOk : kExitFailed;
        });
}

}  // namespace kestrune::cli
