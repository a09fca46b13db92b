// What the file-system object does to files: copy, move, delete, and the
// text files it writes.
#include "shell/fso.h"

#include "shell/fsointernal.h"
#include "shell/textcodec.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kestrune {

using namespace fsodetail;

namespace {

// Copies `source` into a new temporary file in `folder`; returns its path.
// Keeps the source's permission bits and modification time. Leaves nothing
// behind on failure.
QByteArray copyToTemporary(const QString& sourcePath, const struct stat& sourceStat, const QString& folder)
{
    const int in = ::open(encoded(sourcePath).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        fail(sourcePath, errno);
    QByteArray tmpl = encoded(joinPath(folder, QStringLiteral(".kestrune-XXXXXX")));
    const int out = ::mkstemp(tmpl.data());
    if (out < 0) {
        const int e = errno;
        ::close(in);
        fail(folder, e);
    }
    auto cleanup = [&](int e, const QString& where) {
        ::close(in);
        ::close(out);
        ::unlink(tmpl.constData());
        fail(where, e);
    };
    static constexpr size_t kChunk = 1 << 20;
    std::vector<char> buffer;
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
    }
    ::fchmod(out, sourceStat.st_mode & 07777);
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(out, times);
    if (::close(out) != 0) {
        const int e = errno;
        ::close(in);
        ::unlink(tmpl.constData());
        fail(folder, e);
    }
    ::close(in);
    return tmpl;
}

// Puts `from` at `to` unless something is there already; atomic.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot rename without replacing: a hard link fails on
    // an existing name just as atomically.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

QString destinationPath(const QString& destination, const QString& name)
{
    if (!destination.isEmpty() && isSeparator(destination.back()))
        return destination + name;
    return destination;
}

QString parentOf(const QString& path)
{
    QString parent = QFileInfo(path).absolutePath();
    return QDir::toNativeSeparators(parent);
}

}  // namespace

void File::Copy(const QString& destination, bool overwrite) const
{
    const QString source = Path();
    const QString target = destinationPath(destination, m_name);
    if (target.isEmpty())
        fail(target, ENOENT);
    const struct stat sourceStat = statOrFail(source);
    struct stat targetStat;
    const QByteArray targetNative = encoded(target);
    const bool targetExists = ::stat(targetNative.constData(), &targetStat) == 0;
    if (targetExists) {
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
            fail(target, EINVAL, QStringLiteral("不能将文件复制到它自身"));
        if (S_ISDIR(targetStat.st_mode))
            fail(target, EISDIR);
        if (!overwrite)
            fail(target, EEXIST);
        if (isReadOnlyMode(targetStat.st_mode))
            fail(target, EACCES, QStringLiteral("目标文件只读"));
    }
    const QByteArray tmp = copyToTemporary(source, sourceStat, parentOf(target));
    int e = 0;
    if (overwrite) {
        if (::rename(tmp.constData(), targetNative.constData()) != 0)
            e = errno;
    } else {
        e = renameNoReplace(tmp, targetNative);
    }
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
}

void File::Move(const QString& destination) const
{
    const QString source = Path();
    const QString target = destinationPath(destination, m_name);
    if (target.isEmpty())
        fail(target, ENOENT);
    const QByteArray sourceNative = encoded(source);
    const QByteArray targetNative = encoded(target);
    int e = renameNoReplace(sourceNative, targetNative);
    if (e == 0)
        return;
    if (e != EXDEV)
        fail(target, e);
    // Across file systems: copy beside the destination, put it in place
    // without replacing, and only then remove the source.
    const struct stat sourceStat = statOrFail(source);
    const QByteArray tmp = copyToTemporary(source, sourceStat, parentOf(target));
    e = renameNoReplace(tmp, targetNative);
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
    if (::unlink(sourceNative.constData()) != 0) {
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
    const int folder = m_index >= 0 ? m_parent->handle() : -1;
    const QByteArray native = folder >= 0 ? QFile::encodeName(m_name) : encoded(Path());
    const int at = folder >= 0 ? folder : AT_FDCWD;
    struct stat st;
    if (::fstatat(at, native.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        fail(Path(), errno);
    if (!force && !S_ISLNK(st.st_mode) && isReadOnlyMode(st.st_mode))
        fail(Path(), EACCES, QStringLiteral("文件只读"));
    if (::unlinkat(at, native.constData(), 0) != 0)
        fail(Path(), errno);
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
    if (!overwrite && QFileInfo::exists(path))
        fail(path, EEXIST);
    auto impl = std::make_unique<TextStream::Impl>();
    impl->file.setFileName(path);
    if (!impl->file.open(QIODevice::WriteOnly))
        fail(path, EACCES, impl->file.errorString());
    return TextStream(std::move(impl));
}

}  // namespace kestrune
