// What the file-system object does to files: copy, move, delete, and the
// text files it writes.
#include "shell/fso.h"

#include "shell/fsointernal.h"
#include "shell/textcodec.h"
#include "shell/trash.h"

#include <QDir>
#include <QSaveFile>

#include <cerrno>
#include <optional>
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
// nothing behind on failure.
QByteArray copyToTemporary(int in, const QString& sourcePath, const struct stat& sourceStat, const QString& folder,
                           bool keepOwner, const CopyObserver& observer)
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

}  // namespace

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

void File::Move(const QString& destination, const CopyObserver& observer) const
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
    // replacing, and only then remove the source.
    QByteArray tmp;
    {
        const OpenSource in(at, source);
        tmp = copyToTemporary(in.fd, source, in.st, parentOf(target), true, observer);
    }
    e = putInPlace(AT_FDCWD, tmp.constData(), AT_FDCWD, targetNative.constData());
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
    if (::unlinkat(at.dir(), at.name.constData(), 0) != 0) {
        // The source cannot go: take the copy back so that the file is not
        // left twice and the caller learns the move failed.
        e = errno;
        ::unlink(targetNative.constData());
        fail(source, e);
    }
}

void File::Delete(bool force) const
{
    // A file from a listing is reached through its folder's handle; the
    // folder's path is then looked up once, not once per file.
    const FileAt at = locate(*m_parent, m_name, m_index);
    struct stat st;
    if (::fstatat(at.dir(), at.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        fail(Path(), errno);
    if (!force && !S_ISLNK(st.st_mode) && isReadOnlyMode(st.st_mode))
        fail(Path(), EACCES, QStringLiteral("文件只读"));
    if (::unlinkat(at.dir(), at.name.constData(), 0) != 0)
        fail(Path(), errno);
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

// ---------------------------------------------------------------------------
// Text files

struct TextStream::Impl {
    QSaveFile file;
    QByteArray buffer;
    bool closed = false;
};

TextStream::TextStream(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
TextStream::TextStream(TextStream&&) noexcept = default;
TextStream& TextStream::operator=(TextStream&&) noexcept = default;

TextStream::~TextStream()
{
    if (m_impl && !m_impl->closed) {
        try {
            Close();
        } catch (const FsError&) {
        }
    }
}

void TextStream::Write(const QString& text)
{
    m_impl->buffer += toGb18030(text);
}

void TextStream::WriteLine(const QString& line)
{
    m_impl->buffer += toGb18030(line);
    m_impl->buffer += "\r\n";
}

void TextStream::Close()
{
    if (m_impl->closed)
        return;
    m_impl->closed = true;
    QSaveFile& f = m_impl->file;
    if (f.write(m_impl->buffer) != m_impl->buffer.size() || !f.commit()) {
        const QString name = f.fileName();
        const QString why = f.errorString();
        f.cancelWriting();
        fail(name, EIO, why);
    }
}

TextStream FileSystemObject::CreateTextFile(const QString& path, bool overwrite) const
{
    struct stat st;
    if (!overwrite && ::stat(encoded(path).constData(), &st) == 0)
        fail(path, EEXIST);
    auto impl = std::make_unique<TextStream::Impl>();
    impl->file.setFileName(path);
    if (!impl->file.open(QIODevice::WriteOnly))
        fail(path, EACCES, impl->file.errorString());
    return TextStream(std::move(impl));
}

}  // namespace kestrune
