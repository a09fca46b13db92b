#pragma once

// Deleting the copies found by 查找内容相同的文件, and writing the groups out.

#include "core/duplicates/duplicatesearch.h"
#include "core/same/samefinder.h"

#include <functional>

namespace kestrune {

class ProgressSink;

// A file to delete as a copy of the one that stays.
struct SameDeletion {
    SameFile copy;
    SameFile kept;
};

// The deletions of the files `wanted(group, file)` names: each against the
// file of its group that stays (the keeper by `rule` when it is not wanted
// itself, else the first file that is not). Of a group whose every file is
// wanted the keeper stays all the same: it is named in `refused`.
std::vector<SameDeletion> planDeletions(const std::vector<SameGroup>& groups,
                                        const std::function<bool(int group, int file)>& wanted, KeepRule rule,
                                        const QStringList& referenceFolders, std::vector<SameProblem>* refused);

struct SameDeleteOutcome {
    QStringList deleted;
    // Files left where they were, and why: changed since the search, no
    // longer the same as the file kept, or not deletable.
    std::vector<SameProblem> kept;
    int handled = 0;
    bool cancelled = false;
};

// Deletes each copy (into the trash of its file system when `toTrash`)
// after checking, right before, that it and the file kept still have the
// size and modification time the search saw, are still two different files
// and hold the same bytes. Each copy is reached only through the folders
// the search went from `roots` (see deleteFoundFile), never through a link
// put in their place since. `progress` (may be null) is stepped per file.
SameDeleteOutcome deleteCopies(const std::vector<SameDeletion>& deletions, bool toTrash, ProgressSink* progress,
                               const SearchRoots& roots);

// Files that were not compared or not deleted, one line each ("path：why")
// for a message; past the first twenty the rest are only counted.
QString problemLines(const std::vector<SameProblem>& problems);

// Writes the groups to `path` as CSV in UTF-8 with a byte-order mark (so
// that spreadsheet programs read the Chinese names): a heading line, then
// one line per file with its group's number, the size in bytes, the path
// (shown readably) and the modification time. False with `why` when the
// file cannot be written; an existing file is replaced whole.
bool writeSameCsv(const QString& path, const std::vector<SameGroup>& groups, QString* why);

}  // namespace kestrune
