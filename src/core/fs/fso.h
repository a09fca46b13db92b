#pragma once

#include "core/fs/fsoshortnames.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include <sys/types.h>

namespace kestrune {

// Every failure of the file-system object reaches the caller as an FsError.
// Walks catch it and go on with the next step; other callers report it.
class FsError : public std::runtime_error {
public:
    FsError(const QString& path, int errorNumber, const QString& message);

    const QString& path() const { return m_path; }
    int errorNumber() const { return m_errno; }
    // A short description in the user's language.
    const QString& message() const { return m_message; }

private:
    QString m_path;
    int m_errno;
    QString m_message;
};

// A short user-facing description of an errno value.
QString describeError(int errorNumber);

// A folder path in its native form: absolute, cleaned, native separators and
// no closing separator except for the root.
QString normalizeFolderPath(const QString& path);
// A folder path, one separator and a name (no doubled separator after the root).
QString joinPath(const QString& folder, const QString& name);

struct FolderData;
class Folder;
class File;
class TrashCan;
class ProgressSink;

// Follows a copy of file contents between two chunks (a megabyte each) with
// how much is copied of how much; answering false stops the copy there: what
// was written is removed and the copy fails with ECANCELED.
using CopyObserver = std::function<bool(qint64 copied, qint64 size)>;

// Moves to another file system whose sources are removed together, once the
// copies are on disk.
//
// Such a move copies the file, and until the copy has reached the disk a power
// cut can take it away again: a source removed before that is lost with it.
// Flushing every copy on its own (fsync of the file and its folder) costs many
// times the move itself, so a group puts its copies in place, keeps their
// sources, and flushes each destination file system at once (syncfs) for all
// the moves of the last half second or more, on a thread of its own while the
// moves go on; the sources of a flushed group are removed at the next move (or
// FlushIfDue) after the flush has ended. Flush() finishes everything. A crash
// before a flush leaves a file twice, never nowhere.
//
// Moves on one file system are renames and do not wait.
class MoveGroup {
public:
    MoveGroup();
    // Flushes what still waits; failures are then dropped (call Flush() to
    // learn of them).
    ~MoveGroup();
    MoveGroup(const MoveGroup&) = delete;
    MoveGroup& operator=(const MoveGroup&) = delete;

    // Flushes the waiting copies, removes their sources, and returns every
    // move of the group that failed since the last call: when a copy could
    // not be flushed it is taken away and its source stays; when a source
    // cannot be removed (or is no longer the file that was copied) the copy is
    // taken away, as a move that fails at once does.
    std::vector<FsError> Flush();
    // Removes the sources of a flush that has ended and starts the next one
    // when it is due; returns the failures found so far. A caller that looks
    // at many files between moves calls it now and then, so that no source
    // waits long.
    std::vector<FsError> FlushIfDue();
    // Moves whose sources wait for a flush.
    int Waiting() const;

private:
    friend class File;
    struct Pending;
    struct State;
    void add(Pending&& move, const QString& targetFolder);
    void advance(bool finish);

    std::unique_ptr<State> m_state;
};

// Deletes files for good, the files of one folder at a time, on two lanes:
// the caller's thread and one helper thread. A file system removes the names
// of two folders side by side, so a tree of many folders goes in about half
// the time. Each file is deleted as File::Delete does it (through its folder's
// handle; without `force` a read-only file is kept), and what came of it is
// told on the caller's thread, in the order the files were added.
class DeleteGroup {
public:
    // `stopped` is asked before each file, on either lane: once it is true
    // no further file is tried.
    DeleteGroup(bool force, std::function<bool()> stopped);
    // Stops the helper at its next file and waits for it; what was not yet
    // told is dropped.
    ~DeleteGroup();
    DeleteGroup(const DeleteGroup&) = delete;
    DeleteGroup& operator=(const DeleteGroup&) = delete;

    // Adds files of one folder's listing. They go to the helper when it is
    // free; otherwise the caller deletes them now.
    void Add(std::vector<File> files);
    // Tells each file that has been tried, in order, as far as every file
    // before it has been: `deleted`, or `failed` with the reason. With
    // `finish` it first waits for every file added (deleting some itself).
    // Returns how many files were left untried because the group was
    // stopped.
    int Report(bool finish, const std::function<void(const File&)>& deleted,
               const std::function<void(const FsError&)>& failed);

private:
    struct Batch;
    struct State;
    void run(Batch& batch);
    void runHere(Batch& batch);  // on the caller's thread
    void serve();                // the helper thread

    std::unique_ptr<State> m_state;
};

class File {
public:
    File() = default;

    QString Name() const { return m_name; }
    QString Path() const;
    // The emulated 8.3 name: unique among the folder's files.
    QString ShortName() const;
    // ShortName().right(count), found without working out the aliases of
    // the whole folder whenever the ending does not depend on them.
    QString ShortNameEnding(int count) const;
    // The shared-mime-info description of the file's type, in the user's locale.
    QString Type() const;
    qint64 Size() const;
    QDateTime DateLastModified() const;
    // The same moment as milliseconds since the epoch, with no local-time
    // conversion (which costs a time zone check on every call).
    qint64 ModifiedMSecs() const;
    // Size() and ModifiedMSecs() from one look at the file.
    struct Status {
        qint64 size = 0;
        qint64 modifiedMSecs = 0;
    };
    Status SizeAndModified() const;
    Folder ParentFolder() const;

    // Copies the file. A destination ending in a separator keeps the file's
    // name. With `overwrite` an existing file is replaced (through a temporary
    // file and a rename, never truncated in place); a read-only destination,
    // an existing folder or the file itself are refused.
    void Copy(const QString& destination, bool overwrite = true, const CopyObserver& observer = {}) const;
    // Moves the file; never replaces an existing file (atomically). Across
    // file systems the file is copied beside the destination, put in place,
    // flushed to disk with its folder, and only then removed from its source.
    // With a `group`, the flush and the removal wait for the group's next
    // flush (see MoveGroup): failures found then are the group's to report.
    void Move(const QString& destination, MoveGroup* group = nullptr, const CopyObserver& observer = {}) const;
    // Deletes the file for good. Without `force` a read-only file is refused.
    void Delete(bool force = false) const;
    // Deletes the file into the trash of its own file system (see
    // shell/trash.h); refuses what Delete refuses. A file that cannot go
    // there stays where it is (FsError says why).
    void MoveToTrash(TrashCan& trash, bool force = false) const;

private:
    friend class Folder;
    friend class FileSystemObject;
    friend class MoveGroup;
    friend class DeleteGroup;
    File(std::shared_ptr<FolderData> parent, QString name, int index = -1)
        : m_parent(std::move(parent)), m_name(std::move(name)), m_index(index)
    {
    }

    std::shared_ptr<FolderData> m_parent;
    QString m_name;
    // Reached through its folder's handle without a listing of the folder.
    static constexpr int kBelowRoot = std::numeric_limits<int>::max();

    int m_index = -1;  // position in the parent's listing, when it came from one
};

class Folder {
public:
    Folder() = default;

    // The full path: no closing separator except for the root.
    QString Path() const;
    QString Name() const;
    // There is no short form of a path on Linux that the file system accepts:
    // the real path.
    QString ShortPath() const { return Path(); }

    // The folder's own files and its direct subfolders, sorted by name
    // without regard to case (ties by exact name). Hidden files are listed; a
    // link to a file is a file; a link to a folder is neither listed nor
    // descended into. A subfolder is opened through its parent's handle,
    // never through a link, and only while it is still the folder its
    // parent's listing saw (device and inode); its files are reached through
    // its own handle. Throws FsError when the folder cannot be listed.
    std::vector<File> Files() const;
    std::vector<Folder> SubFolders() const;
    // The number of files and subfolders without building the objects.
    int FileCount() const;
    int SubFolderCount() const;
    // True when `path` names this very folder or one the walk came through
    // to reach it, up to where it began (the same device and inode).
    bool IsWithin(const QString& path) const;

private:
    friend class File;
    friend class FileSystemObject;
    explicit Folder(std::shared_ptr<FolderData> data) : m_data(std::move(data)) {}

    std::shared_ptr<FolderData> m_data;
};

// A text file being written: each line in code page 936 (written as
// GB18030, which agrees with it for every character it has) and CR LF. The
// file replaces its old content only on Close, through a temporary file and
// a rename.
class TextStream {
public:
    TextStream(TextStream&&) noexcept;
    TextStream& operator=(TextStream&&) noexcept;
    ~TextStream();

    void Write(const QString& text);
    void WriteLine(const QString& line = QString());
    // Puts the file in place; throws FsError when that fails.
    void Close();

private:
    friend class FileSystemObject;
    struct Impl;
    explicit TextStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

class FileSystemObject {
public:
    Folder GetFolder(const QString& path) const;
    File GetFile(const QString& path) const;
    // The file at `path`, a path within the tree of the folder `root`,
    // reached from `root` without following any link: each folder between
    // them is opened through its parent's handle, so a folder swapped for a
    // link (or anything else but a folder) after a walk saw it makes every
    // use of the file fail. `root` itself is looked up by its path. Throws
    // FsError (EXDEV) when `path` is not below `root`.
    File GetFileBelow(const QString& root, const QString& path) const;
    bool FileExists(const QString& path) const;
    bool FolderExists(const QString& path) const;
    TextStream CreateTextFile(const QString& path, bool overwrite = true) const;
    // As CreateTextFile, for a file the program keeps for itself (its
    // settings, its tips): a link under `path` is refused, before writing and
    // again on Close, and Close puts a new file in place by a rename, which
    // replaces a name and never writes into a file another name links to.
    TextStream CreateDataTextFile(const QString& path) const;
};

// How a walk reports and is stopped: the sink is stepped before each folder
// (each file in walkFiles) with what comes next and the count `done` points
// at (0 without one), and the walk ends as soon as the sink is to stop (its
// stop token, or a test hook).
struct WalkProgress {
    ProgressSink* sink = nullptr;
    const int* done = nullptr;
};

// What a visit tells the walk to do next: go on (into the folder's
// subfolders), pass over the rest of the folder's tree, or end the walk.
enum class WalkOn { Go, SkipTree, Stop };

// A folder whose files cannot be listed: it is passed over with its tree.
using UnlistedFolder = std::function<void(const Folder& folder, const FsError& error)>;

// The one depth-first walk: `visit` gets a folder before each subfolder's
// whole tree is walked in listing order. A folder that cannot be opened is
// passed over with its tree. With `recurse` false only the root is visited.
// True when the walk reached its end, false when it was stopped (by the sink
// or a visit).
bool walkFolders(const Folder& root, bool recurse, const std::function<WalkOn(const Folder&)>& visit,
                 WalkProgress progress = {});
// The same walk with each folder's files listed for the visit, which may
// take them; a folder whose files cannot be listed is told to `unlisted`.
bool walkListings(const Folder& root, bool recurse,
                  const std::function<WalkOn(const Folder&, std::vector<File>& files)>& visit,
                  WalkProgress progress = {}, const UnlistedFolder& unlisted = {});
// The same walk file by file, the sink stepped before each file (its path
// made only when it is shown). SkipTree from a file passes over the rest of
// its folder and the folder's subfolders.
bool walkFiles(const Folder& root, bool recurse, const std::function<WalkOn(const File&)>& visit,
               WalkProgress progress = {}, const UnlistedFolder& unlisted = {});
// Every file, for a visit that never stops the walk.
template <typename Visit, typename = std::enable_if_t<std::is_void_v<std::invoke_result_t<Visit&, const File&>>>>
void walkFiles(const Folder& root, bool recurse, Visit&& visit)
{
    walkFiles(root, recurse, std::function<WalkOn(const File&)>([&visit](const File& file) {
                  visit(file);
                  return WalkOn::Go;
              }));
}

}  // namespace kestrune
