#pragma once

// 查找内容相同的文件: files with identical contents anywhere in a list of
// folder trees.
//
// The trees are walked with the one folder walk (links to folders are never
// entered, so nothing outside the chosen trees is reached); only regular
// files count, a link to a file is passed over. Names of one inode (hard
// links) count once: the first name met stands for the inode. Files are
// grouped by size, then by a hash of their first block, then by an XXH3-128
// hash of their whole content, read on several threads. Empty files are
// never copies of anything: there is nothing to gain from deleting them.

#include <QString>
#include <QStringList>

#include <vector>

namespace kestrune {

class ProgressSink;

struct SameOptions {
    QStringList folders;
    // Smaller files are passed over (at least 1: empty files never count).
    qint64 minSize = 1;
    // A wildcard pattern ("*.doc;*.xls" holds several) the name must match,
    // without regard to case; empty: every name.
    QString pattern;
    // Reader threads; 0: one per core.
    int threads = 0;
};

// A file as the search saw it.
struct SameFile {
    QString path;
    qint64 size = 0;
    qint64 modifiedNs = 0;  // nanoseconds since the epoch
    quint64 device = 0;
    quint64 inode = 0;
    int root = 0;  // the folder of the list it was found under
};

// Files of the same size and content, in the order the walk met them (the
// folders in list order, each tree depth first).
struct SameGroup {
    qint64 size = 0;
    std::vector<SameFile> files;
    // What deleting all but one would free.
    qint64 wasted() const { return size * qint64(files.size() > 0 ? files.size() - 1 : 0); }
};

// A file that was not compared or not deleted, and why.
struct SameProblem {
    QString path;
    QString why;
};

struct SameResult {
    // Largest waste first.
    std::vector<SameGroup> groups;
    // Files that could not be read (never counted as copies) and folders
    // that could not be opened.
    std::vector<SameProblem> unreadable;
    int filesWalked = 0;
    int filesHashed = 0;
    qint64 bytesRead = 0;
    bool cancelled = false;
};

// Walks and compares. `progress` (may be null) is stepped with the files
// walked, then with the files compared; its item bytes follow the bytes
// read of all that are to be read. A stop ends the search with what it had
// (`cancelled`, no groups).
SameResult findSameFiles(const SameOptions& options, ProgressSink* progress);

// Which file of a group stays when the others go.
enum class KeepRule { Oldest, Newest, First };

// The file of `group` that stays: among the files under one of
// `referenceFolders` when there are any, else among all, the oldest (or
// newest) by modification time, ties by walk order; First: the first met.
int keeperOf(const SameGroup& group, KeepRule rule, const QStringList& referenceFolders = {});

// Whether `path` lies in the tree of `folder` (or is it).
bool pathWithin(const QString& path, const QString& folder);

// A size as people read it: "512 字节", "1.5 KB", "23.4 MB", "2.1 GB".
QString readableSize(qint64 bytes);

// The header line of a group: "N 个文件，每个 X".
QString groupHeader(const SameGroup& group);

}  // namespace kestrune
