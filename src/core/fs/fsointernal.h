#pragma once

// What the parts of the file-system object share: the listing behind a
// Folder and the ways they fail. Not for use outside src/shell/fso*.

#include "core/fs/fso.h"
#include "core/fs/fsnames.h"

#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace kestrune {

// Which folder a handle or a listing entry stands for.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;
};

// A handle on a folder; closes it when it was opened for the occasion.
class FolderHandle {
public:
    FolderHandle(int fd, bool owned) : m_fd(fd), m_owned(owned) {}
    FolderHandle(FolderHandle&& o) noexcept : m_fd(o.m_fd), m_owned(o.m_owned) { o.m_owned = false; }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    FolderHandle& operator=(FolderHandle&&) = delete;
    ~FolderHandle();

    int fd() const { return m_fd; }
    // Hands the descriptor over: the caller closes it.
    int release();

private:
    int m_fd;
    bool m_owned;
};

struct FolderData {
    // A folder named by its path (what the user chose): opened by that path.
    explicit FolderData(QString folderPath, FolderIdentity seen = {});
    // A subfolder from its parent's listing. It is opened through the
    // parent's handle without following links, and only while it is still
    // the folder the listing saw (device and inode), so that no folder
    // swapped for a link or another folder during a walk is ever entered.
    FolderData(std::shared_ptr<FolderData> parentFolder, const QString& name, FolderIdentity seen);
    ~FolderData();
    FolderData(const FolderData&) = delete;
    FolderData& operator=(const FolderData&) = delete;

    QString path;
    std::shared_ptr<FolderData> parent;  // for a subfolder from a listing
    QByteArray nativeName;               // its name in the parent
    FolderIdentity identity;             // once seen, every opening must agree
    bool listed = false;
    int listError = 0;
    QString listMessage;
    std::vector<QString> files;
    std::vector<QString> subfolders;
    std::vector<FolderIdentity> subfolderIdentities;  // parallel to subfolders
    bool aliasesDone = false;
    std::vector<QString> aliases;  // parallel to files

    void list();
    const std::vector<QString>& shortNames();
    // The handle the folder keeps for working on its listed files by name: one
    // path lookup per folder instead of one per file. -1 when none can be
    // kept (too many are held, or the folder cannot be opened).
    int handle();
    // A handle on this very folder: the kept one, or one opened for the
    // occasion. Throws FsError when the folder cannot be opened or is no
    // longer the folder that was listed.
    FolderHandle open();

private:
    // Opens the folder afresh and checks it; -1 with `*error` and
    // `*replaced` set on failure.
    int openChecked(int* error, bool* replaced);

    int m_handle = -1;
    bool m_handleTried = false;
};

// A listed file, reached through its folder's handle; a file named by its
// path is reached by that path.
struct FileAt {
    FolderHandle folder;
    QByteArray name;  // relative to folder, or the full path
    int dir() const { return folder.fd(); }
};
FileAt locate(FolderData& folder, const QString& name, int index);

namespace fsodetail {

[[noreturn]] void fail(const QString& path, int errorNumber);
[[noreturn]] void fail(const QString& path, int errorNumber, const QString& message);

inline QByteArray encoded(const QString& path)
{
    return encodeFileName(path);
}

bool isSeparator(QChar c);

// Read-only means the owner's write bit is clear, for root too.
inline bool isReadOnlyMode(mode_t mode)
{
    return (mode & S_IWUSR) == 0;
}

// The status of what `path` names (following links); throws FsError.
struct stat statOrFail(const QString& path);

// The calls that put a file at a name without replacing what is there. A
// variable so that tests can play a file system that supports neither (FUSE
// mounts answer EINVAL to the rename and EPERM to the link).
struct NoReplaceCalls {
    int (*renameNoReplace)(int fromDir, const char* from, int toDir, const char* to);
    int (*link)(int fromDir, const char* from, int toDir, const char* to);
};
NoReplaceCalls& noReplaceCalls();

// The calls that put written data on disk: a file (and a folder's entries),
// or a whole file system. A variable so that tests can see when they are made
// and play a disk that fails.
struct FlushCalls {
    int (*fsync)(int fd);
    int (*syncfs)(int fd);
};
FlushCalls& flushCalls();

// Puts `from` at `to` unless something is there already: renamed without
// replacing, else linked and unlinked, else renamed onto a placeholder
// created exclusively. Returns 0 or an errno value (EEXIST: the name is
// taken).
int putInPlace(int fromDir, const char* from, int toDir, const char* to);

}  // namespace fsodetail
}  // namespace kestrune
