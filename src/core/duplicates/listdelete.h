#pragma once

#include "core/batch/batchrunner.h"
#include "core/duplicates/duplicatesearch.h"

#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrune {

// Files known by their device and inode, whatever path names them (a path
// is not followed when it is a link).
class FileIdentities {
public:
    void add(const QString& path);
    bool contains(const QString& path) const;
    bool isEmpty() const { return m_ids.isEmpty(); }

private:
    QSet<QPair<quint64, quint64>> m_ids;
};

struct ListedDeletion {
    int handled = 0;         // entries passed, in list order
    bool cancelled = false;  // the progress stopped it before the end
    QStringList kept;        // entries left alone because `keep` holds them
    QList<QPair<QString, QString>> notDeleted;  // path and why
};

// Deletes the files of a found list (the duplicate finder's 删除所选 and
// 删除全部): each path once, in list order, into the trash of its file
// system or for good, never a file among `keep`. Each file is reached only
// through the folders the search went (see deleteFoundFile): one whose
// folder was swapped for a link meanwhile is kept and named. `progress` is
// stepped before each entry and can stop the run between two files.
ListedDeletion deleteListedFiles(const QStringList& paths, bool toTrash, ProgressSink& progress,
                                 const SearchRoots& roots, const FileIdentities& keep = {});

}  // namespace kestrune
