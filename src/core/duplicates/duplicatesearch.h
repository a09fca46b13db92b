#pragma once

#include "core/batch/batchrunner.h"
#include "core/fs/fso.h"
#include "core/system/textutil.h"
#include "core/fs/trash.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kestrune {

// The form in which two file names are compared: lower case, so that names
// that differ only in letter case are equal.
QString nameKey(const QString& name);

// Every file of one folder tree, grouped by name key, each group in walk
// order (a folder's own files in listing order before its subfolders' trees).
// The tree is walked once, when the index is built.
class NameIndex {
public:
    // Name keys, each with the number of its group (0, 1, 2, ...).
    using Keys = QHash<QString, int>;

    // With `wanted`, only the files whose name key is among it are kept (the
    // keys must outlive the index). `progress` is stepped before each folder
    // (with 0 handled); when it stops the walk, stopped() is true and the
    // index holds what was walked.
    explicit NameIndex(const Folder& root, const Keys* wanted = nullptr, ProgressSink* progress = nullptr);
    NameIndex(const NameIndex&) = delete;
    NameIndex& operator=(const NameIndex&) = delete;

    // Appends the full path of every file of the tree whose name key is
    // `key` (or whose group is `group`), in walk order.
    void appendMatches(const QString& key, QStringList& out) const;
    void appendGroup(int group, QStringList& out) const;
    // The number of the walked folder at `path` (exactly as the walk gives
    // it), or -1.
    int folderNumber(const QString& path) const;
    // Whether the walk listed a file `name` (exactly) of the group `group`
    // in the folder numbered `folder`.
    bool listed(int folder, const QString& name, int group) const;
    int fileCount() const { return m_fileCount; }
    bool stopped() const { return m_stopped; }

private:
    struct Hit {
        int folder;  // into m_folders
        QString name;
    };
    Keys m_ownKeys;  // without a filter: every key met
    const Keys* m_keys = nullptr;
    std::vector<QString> m_folders;
    QHash<QString, int> m_folderNumbers;
    std::vector<Hit> m_hits;         // group by group, each in walk order
    std::vector<int> m_groupStart;  // where each group begins in m_hits; one more at the end
    int m_fileCount = 0;
    bool m_stopped = false;
};

// Finds, in a list of folder trees, every file that bears the name of one of
// a list of files.
//
// The result is that of the plain nested loops: for each file entry in list
// order, for each folder entry in list order, every file of that tree whose
// name equals the file's name without regard to case, in walk order, with a
// repeat for every pair that reaches it. Each distinct folder is walked only
// once per search, however many files are looked for and however often it is
// listed; the pairs are answered from its index.
class DuplicateSearch {
public:
    struct Outcome {
        QStringList found;
        // Entries that could not be opened, trimmed: files in list order, then
        // folders in list order. Empty folders are not among them.
        QStringList skipped;
        // How many folder trees were walked.
        int walks = 0;
        // Stopped by the user: `found` holds what the entries searched
        // before were found to match.
        bool cancelled = false;
        int searched = 0;  // file entries searched
    };

    explicit DuplicateSearch(const FileSystemObject& fso) : m_fso(fso) {}

    // The whole search over the two lists. `progress` is stepped before each
    // folder of the walks and before each file entry is searched for.
    Outcome run(const QStringList& files, const QStringList& folders, ProgressSink* progress = nullptr);

    // One pair: appends the files of the tree of `b` named like `searchfile`.
    // Within run() each tree is indexed on its first use and the index kept
    // to the end of the search; outside it the tree is walked afresh.
    void match(const File& searchfile, const Folder& b, QStringList& out);

private:
    const FileSystemObject& m_fso;
    bool m_running = false;
    int m_walks = 0;
    NameIndex::Keys m_wanted;  // the name keys of the running search
    QHash<QString, std::shared_ptr<NameIndex>> m_indexes;
};

// The completion message of a search: "查找完毕！", followed by the entries
// that were skipped when there were any.
QString searchDoneMessage(const QStringList& skipped);

// The paths of every file of the tree of the folder at `b`, in walk order,
// that are not among `listed` (compared exactly: letter case counts, no
// blanks removed); none when the folder cannot be opened.
// `progress` is stepped before each folder with the number of paths found
// so far; when it stops the walk, `stopped` is set and the paths found before
// are returned.
QStringList newPathsOfTree(const QString& b, const QStringList& listed, ProgressSink* progress = nullptr,
                           bool* stopped = nullptr);

// Deletes the one file at exactly `path` (no pattern is expanded): into
// `trash` when given, else for good. A file that is read-only, a folder or
// gone, or that cannot go to the trash of its file system, is not deleted:
// false, with the reason in `why` when asked for.
bool deleteListedFile(const FileSystemObject& fso, const QString& path, TrashCan* trash, QString* why = nullptr);

// The folders a search looked in, for deleting what it found: a found file
// is reached from the deepest of these roots that holds it (the root is
// looked up by its path, as the search did) and from there only through
// folders, never through a link, as the search's walk went. A path below
// none of them is reached from the root folder without any link.
class SearchRoots {
public:
    void add(const QString& folder);
    // The deepest root that holds `path`, else the root folder.
    QString rootOf(const QString& path) const;

private:
    QStringList m_roots;  // normalized
};

// deleteListedFile for a file a search found below one of `roots`: a file
// that can no longer be reached that way (a folder of its tree swapped for a
// link to another folder) is kept: false, the reason in `why`.
bool deleteFoundFile(const FileSystemObject& fso, const SearchRoots& roots, const QString& path, TrashCan* trash,
                     QString* why = nullptr);

}  // namespace kestrune
