// What the file-system object does to files: copy, move, put in the trash
// (deleting is in fsodelete.cpp, the text files it writes in
// fsotextfiles.cpp).
#include "core/fs/fso.h"

#include "core/fs/fsointernal.h"
#include "core/system/textcodec.h"
#include "core/fs/trash.h"

#include <QAtomicInt>
#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kestrune {

using namespace fsodetail;

namespace fsodetail {

namespace {

int systemRenameNoReplace(int fromDir, const char* from, int toDir, const char* to)
{
    return ::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE);
}

int systemLink(int fromDir, const char* from, int toDir, const char* to)
{
    return ::linkat(fromDir, from, toDir, to, 0);
}

}  // namespace

NoReplaceCalls& noReplaceCalls()
{
    static NoReplaceCalls calls{systemRenameNoReplace, systemLink};
    return calls;
}

FlushCalls& flushCalls()
{
    static FlushCalls calls{::fsync, ::syncfs};
    return calls;
}

int putInPlace(int fromDir, const char* from, int toDir, const char* to)
{
    const NoReplaceCalls& calls = noReplaceCalls();
    if (calls.renameNoReplace(fromDir, from, toDir, to) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // The file system cannot rename without replacing: a hard link fails on
    // an existing name just as atomically.
    if (calls.link(fromDir, from, toDir, to) == 0) {
        ::unlinkat(fromDir, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // Nor can it link (FUSE mounts of FAT-like file systems): claim the name
    // with an exclusive create, which fails when it is taken, then rename
    // onto that empty placeholder.
    const int claim = ::openat(toDir, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0)
        return errno;
    struct stat placeholder;
    const bool known = ::fstat(claim, &placeholder) == 0;
    ::close(claim);
    if (::renameat(fromDir, from, toDir, to) == 0)
        return 0;
    const int e = errno;
    // Take the placeholder away again, unless something else is there now.
    struct stat now;
    if (known && ::fstatat(toDir, to, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == placeholder.st_dev &&
        now.st_ino == placeholder.st_ino && now.st_size == 0)
        ::unlinkat(toDir, to, 0);
    return e;
}

}  // namespace fsodetail

namespace {

// Copies the open file `in` into a new temporary file in `folder`; returns
// its path. Keeps the modification time and the permission bits, except
// that, as cp does, the set-user-ID and set-group-ID bits are kept only when
// the copy has the source's owner and group. With `keepOwner` the copy gets
// the source's owner and group as far as the process may give them. Leaves
// nothing behind on failure. With `flush` the copy is on disk (fsync) before
// it is closed. `made`, when given, gets the copy's status.
QByteArray copyToTemporary(int in, const QString& sourcePath, const struct stat& sourceStat, const QString& folder,
                           bool keepOwner, const CopyObserver& observer, bool flush = false,
                           struct stat* made = nullptr)
{
    QByteArray tmpl = encoded(joinPath(folder, QStringLiteral(".kestrune-XXXXXX")));
    const int out = ::mkstemp(tmpl.data());
    if (out < 0)
        fail(folder, errno);
    auto cleanup = [&](int e, const QString& where) {
        ::close(out);
        ::unlink(tmpl.constData());
        fail(where, e);
    };
    static constexpr size_t kChunk = 1 << 20;
    std::vector<char> buffer;
    qint64 copiedBytes = 0;
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            // Fall back to plain reads and writes.
            buffer.resize(kChunk);
            n = ::read(in, buffer.data(), buffer.size());
            if (n < 0)
                cleanup(errno, sourcePath);
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
                if (w < 0)
                    cleanup(errno, folder);
                done += w;
            }
        } else if (n < 0) {
            cleanup(errno, sourcePath);
        }
        if (n == 0)
            break;
        copiedBytes += n;
        if (observer && !observer(copiedBytes, qint64(sourceStat.st_size)))
            cleanup(ECANCELED, sourcePath);
    }
    if (keepOwner && ::fchown(out, sourceStat.st_uid, sourceStat.st_gid) != 0) {
        // Not allowed to give the file away: keep at least the group when it
        // is one of ours.
        (void)::fchown(out, uid_t(-1), sourceStat.st_gid);
    }
    mode_t mode = sourceStat.st_mode & 07777;
    struct stat copied;
    if (::fstat(out, &copied) != 0 || copied.st_uid != sourceStat.st_uid || copied.st_gid != sourceStat.st_gid)
        mode &= ~mode_t(S_ISUID | S_ISGID);
    ::fchmod(out, mode);
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(out, times);
    if (made && ::fstat(out, made) != 0)
        cleanup(errno, folder);
    if (flush && flushCalls().fsync(out) != 0)
        cleanup(errno, folder);
    if (::close(out) != 0) {
        const int e = errno;
        ::unlink(tmpl.constData());
        fail(folder, e);
    }
    return tmpl;
}

// A listed file opened for reading through its folder's handle, with its
// status.
struct OpenSource {
    int fd = -1;
    struct stat st;
    OpenSource(const OpenSource&) = delete;
    OpenSource& operator=(const OpenSource&) = delete;
    OpenSource(const FileAt& at, const QString& path)
    {
        fd = ::openat(at.dir(), at.name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            fail(path, errno);
        if (::fstat(fd, &st) != 0) {
            const int e = errno;
            ::close(fd);
            fail(path, e);
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            fail(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        }
    }
    ~OpenSource() { ::close(fd); }
};

QString destinationPath(const QString& destination, const QString& name)
{
    if (!destination.isEmpty() && isSeparator(destination.back()))
        return destination + name;
    return destination;
}

QString parentOf(const QString& path)
{
    // On the text alone, so that names with raw bytes survive.
    const QString p = QDir::fromNativeSeparators(normalizeFolderPath(path));
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return QDir::toNativeSeparators(slash <= 0 ? QStringLiteral("/") : p.left(slash));
}

// Whether `name` (relative to `dir`) is still the file `device` and `inode`
// name, not followed if it is a link.
bool stillTheFile(int dir, const char* name, dev_t device, ino_t inode)
{
    struct stat st;
    return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == device && st.st_ino == inode;
}

// Flushes a folder's entries to disk; 0 or the error.
int flushFolder(const QString& folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int e = flushCalls().fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return e;
}

}  // namespace

// ---------------------------------------------------------------------------
// Moves across file systems

struct MoveGroup::Pending {
    File source;
    dev_t sourceDevice;
    ino_t sourceInode;
    QString target;
    QByteArray targetNative;
    dev_t copyDevice;
    ino_t copyInode;

    // Takes the copy away again, unless something else is under its name now.
    void removeCopy() const
    {
        if (stillTheFile(AT_FDCWD, targetNative.constData(), copyDevice, copyInode))
            ::unlink(targetNative.constData());
    }
};

namespace {
// More moves than this wait for the flush before them to end.
constexpr size_t kMostWaiting = 20000;
// The least time between the starts of two flushes.
constexpr std::chrono::milliseconds kFlushInterval(500);

// Flushes the file systems; each one's error, 0 when it flushed.
std::vector<int> flushFileSystems(const std::vector<int>& handles)
{
    std::vector<int> errors;
    for (int fd : handles)
        // syncfs reports write-back errors of the file system since the
        // handle was opened (Linux 5.8 on).
        errors.push_back(flushCalls().syncfs(fd) == 0 ? 0 : errno);
    return errors;
}
}  // namespace

struct MoveGroup::State {
    std::vector<Pending> waiting;  // copies in place, not yet being flushed
    std::chrono::steady_clock::time_point oldest;
    std::vector<Pending> flushing;  // copies of the flush under way
    std::vector<dev_t> flushed;     // its file systems, as flushing's result has them
    std::future<std::vector<int>> result;
    std::vector<FsError> failures;
    std::map<dev_t, int> fileSystems;  // a folder handle on each destination file system
};

MoveGroup::MoveGroup() : m_state(std::make_unique<State>()) {}

MoveGroup::~MoveGroup()
{
    advance(true);
    for (const auto& fileSystem : m_state->fileSystems)
        ::close(fileSystem.second);
}

int MoveGroup::Waiting() const
{
    return int(m_state->waiting.size() + m_state->flushing.size());
}

std::vector<FsError> MoveGroup::Flush()
{
    advance(true);
    return std::exchange(m_state->failures, {});
}

std::vector<FsError> MoveGroup::FlushIfDue()
{
    advance(false);
    return std::exchange(m_state->failures, {});
}

void MoveGroup::add(Pending&& move, const QString& targetFolder)
{
    State& s = *m_state;
    if (s.fileSystems.find(move.copyDevice) == s.fileSystems.end()) {
        const int fd = ::open(encoded(targetFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_dev != move.copyDevice) {
            // No handle on the copy's file system to flush it by: flush this
            // copy and its folder on their own.
            const int e = fd < 0 ? errno : 0;
            if (fd >= 0)
                ::close(fd);
            int flushed = e;
            const int copy = flushed == 0 ? ::open(move.targetNative.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
            if (flushed == 0 && copy < 0)
                flushed = errno;
            if (copy >= 0) {
                if (flushCalls().fsync(copy) != 0)
                    flushed = errno;
                ::close(copy);
            }
            if (flushed == 0)
                flushed = flushFolder(targetFolder);
            if (flushed != 0) {
                move.removeCopy();
                s.failures.emplace_back(move.target, flushed, describeError(flushed));
                return;
            }
            move.copyDevice = dev_t(-1);  // flushed already: only the source waits
        } else {
            s.fileSystems.emplace(move.copyDevice, fd);
        }
    }
    if (s.waiting.empty())
        s.oldest = std::chrono::steady_clock::now();
    s.waiting.push_back(std::move(move));
    advance(false);
}

void MoveGroup::advance(bool finish)
{
    State& s = *m_state;
    for (;;) {
        if (s.result.valid()) {
            // A flush is under way: its sources go once it has ended.
            if (!finish && s.waiting.size() < kMostWaiting &&
                s.result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                return;
            const std::vector<int> errors = s.result.get();
            std::map<dev_t, int> failed;
            for (size_t i = 0; i < s.flushed.size(); ++i) {
                if (errors[i] != 0)
                    failed.emplace(s.flushed[i], errors[i]);
            }
            for (const Pending& p : s.flushing) {
                const auto bad = failed.find(p.copyDevice);
                if (bad != failed.end()) {
                    p.removeCopy();
                    s.failures.emplace_back(p.target, bad->second, describeError(bad->second));
                    continue;
                }
                const QString sourcePath = p.source.Path();
                try {
                    const FileAt at = locate(*p.source.m_parent, p.source.m_name, p.source.m_index);
                    struct stat now;
                    if (::fstatat(at.dir(), at.name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
                        continue;  // gone already: the copy is all there is
                    if (!stillTheFile(at.dir(), at.name.constData(), p.sourceDevice, p.sourceInode)) {
                        // Another file under the source's name now: both are kept.
                        s.failures.emplace_back(sourcePath, EBUSY, QStringLiteral("源文件在移动时被替换，已保留"));
                        continue;
                    }
                    if (::unlinkat(at.dir(), at.name.constData(), 0) != 0 && errno != ENOENT) {
                        const int e = errno;
                        p.removeCopy();
                        s.failures.emplace_back(sourcePath, e, describeError(e));
                    }
                } catch (const FsError& e) {
                    p.removeCopy();
                    s.failures.push_back(e);
                }
            }
            s.flushing.clear();
            s.flushed.clear();
        }
        if (s.waiting.empty())
            return;
        if (!finish && s.waiting.size() < kMostWaiting &&
            std::chrono::steady_clock::now() - s.oldest < kFlushInterval)
            return;
        // Start the next flush, on the file systems its copies are on.
        s.flushing = std::exchange(s.waiting, {});
        std::vector<int> handles;
        for (const auto& fileSystem : s.fileSystems) {
            const bool used = std::any_of(s.flushing.begin(), s.flushing.end(),
                                          [&](const Pending& p) { return p.copyDevice == fileSystem.first; });
            if (used) {
                s.flushed.push_back(fileSystem.first);
                handles.push_back(fileSystem.second);
            }
        }
        // On a thread of its own when one can be had, else when it is waited for.
        s.result = std::async(std::launch::async | std::launch::deferred, flushFileSystems, std::move(handles));
        if (!finish)
            return;
    }
}

void File::Copy(const QString& destination, bool overwrite, const CopyObserver& observer) const
{
    const QString source = Path();
    const QString target = destinationPath(destination, m_name);
    if (target.isEmpty())
        fail(target, ENOENT);
    const FileAt at = locate(*m_parent, m_name, m_index);
    const OpenSource in(at, source);
    struct stat targetStat;
    const QByteArray targetNative = encoded(target);
    const bool targetExists = ::stat(targetNative.constData(), &targetStat) == 0;
    if (targetExists) {
        if (targetStat.st_dev == in.st.st_dev && targetStat.st_ino == in.st.st_ino)
            fail(target, EINVAL, QStringLiteral("不能将文件复制到它自身"));
        if (S_ISDIR(targetStat.st_mode))
            fail(target, EISDIR);
        if (!overwrite)
            fail(target, EEXIST);
        if (isReadOnlyMode(targetStat.st_mode))
            fail(target, EACCES, QStringLiteral("目标文件只读"));
    }
    const QByteArray tmp = copyToTemporary(in.fd, source, in.st, parentOf(target), false, observer);
    int e = 0;
    if (overwrite) {
        if (::rename(tmp.constData(), targetNative.constData()) != 0)
            e = errno;
    } else {
        e = putInPlace(AT_FDCWD, tmp.constData(), AT_FDCWD, targetNative.constData());
    }
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
}

void File::Move(const QString& destination, MoveGroup* group, const CopyObserver& observer) const
{
    const QString source = Path();
    const QString target = destinationPath(destination, m_name);
    if (target.isEmpty())
        fail(target, ENOENT);
    const FileAt at = locate(*m_parent, m_name, m_index);
    const QByteArray targetNative = encoded(target);
    int e = putInPlace(at.dir(), at.name.constData(), AT_FDCWD, targetNative.constData());
    if (e == 0)
        return;
    if (e != EXDEV)
        fail(target, e);
    // Across file systems: copy beside the destination with the source's
    // owner and group (as a rename keeps them), put it in place without
    // replacing, flush it to disk, and only then remove the source. A group
    // flushes many copies at once (see MoveGroup).
    QByteArray tmp;
    struct stat sourceStat;
    struct stat copyStat;
    const QString targetFolder = parentOf(target);
    {
        const OpenSource in(at, source);
        sourceStat = in.st;
        tmp = copyToTemporary(in.fd, source, in.st, targetFolder, true, observer, group == nullptr, &copyStat);
    }
    e = putInPlace(AT_FDCWD, tmp.constData(), AT_FDCWD, targetNative.constData());
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
    if (group) {
        group->add({*this, sourceStat.st_dev, sourceStat.st_ino, target, targetNative, copyStat.st_dev, copyStat.st_ino},
                   targetFolder);
        return;
    }
    e = flushFolder(targetFolder);
    if (e != 0) {
        // The copy's name may not be on disk: keep the source.
        if (stillTheFile(AT_FDCWD, targetNative.constData(), copyStat.st_dev, copyStat.st_ino))
            ::unlink(targetNative.constData());
        fail(target, e);
    }
    if (::unlinkat(at.dir(), at.name.constData(), 0) != 0 && errno != ENOENT) {
        // The source cannot go: take the copy back so that the file is not
        // left twice and the caller learns the move failed.
        e = errno;
        ::unlink(targetNative.constData());
        fail(source, e);
    }
}

void File::MoveToTrash(TrashCan& trash, bool force) const
{
    const FileAt at = locate(*m_parent, m_name, m_index);
    // The trash works from the file's folder handle (its real path and file
    // system); a file named by its path gets its folder opened.
    std::optional<FolderHandle> opened;
    int folder = at.dir();
    QByteArray name = at.name;
    if (folder == AT_FDCWD) {
        const int fd = ::open(encoded(m_parent->path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            fail(Path(), errno);
        opened.emplace(fd, true);
        folder = fd;
        name = encodeFileName(m_name);
    }
    struct stat st;
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        fail(Path(), errno);
    if (!force && !S_ISLNK(st.st_mode) && isReadOnlyMode(st.st_mode))
        fail(Path(), EACCES, QStringLiteral("文件只读"));
    trash.put(folder, name, Path());
}

}  // namespace kestrune
