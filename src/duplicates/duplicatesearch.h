#pragma once

#include "shell/fso.h"
#include "shell/textutil.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

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
    // With `wanted`, only the files whose name key is among it are kept.
    explicit NameIndex(const Folder& root, const QSet<QString>* wanted = nullptr);

    // Appends the full path of every file of the tree whose name key is
    // `key`, in walk order.
    void appendMatches(const QString& key, QStringList& out) const;
    int fileCount() const { return m_fileCount; }

private:
    struct Hit {
        int folder;  // into m_folders
        QString name;
    };
    std::vector<QString> m_folders;
    QHash<QString, std::vector<Hit>> m_byKey;
    int m_fileCount = 0;
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
    };

    explicit DuplicateSearch(const FileSystemObject& fso) : m_fso(fso) {}

    // The whole search over the two lists.
    Outcome run(const QStringList& files, const QStringList& folders);

    // One pair: appends the files of the tree of `b` named like `searchfile`.
    // Within run() each tree is indexed on its first use and the index kept
    // to the end of the search; outside it the tree is walked afresh.
    void match(const File& searchfile, const Folder& b, QStringList& out);

private:
    const FileSystemObject& m_fso;
    bool m_running = false;
    int m_walks = 0;
    QSet<QString> m_wanted;  // the name keys of the running search
    QHash<QString, std::shared_ptr<NameIndex>> m_indexes;
};

// The completion message of a search: "查找完毕！", followed by the entries
// that were skipped when there were any.
QString searchDoneMessage(const QStringList& skipped);

// The paths of every file of the tree of `b`, in walk order, that are not
// among `listed` (compared exactly: letter case counts, no blanks removed).
QStringList newPathsOfTree(const Folder& b, const QStringList& listed);

// Deletes the one file at exactly `path` (no pattern is expanded) for good.
// A file that is read-only, a folder or gone is not deleted: false.
bool deleteListedFile(const FileSystemObject& fso, const QString& path);

}  // namespace kestrune
