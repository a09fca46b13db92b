// The text files the file-system object writes.
#include "core/fs/fso.h"

#include "core/fs/fsointernal.h"
#include "core/system/textcodec.h"

#include <QAtomicInt>
#include <QSaveFile>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kestrune {

using namespace fsodetail;

struct TextStream::Impl {
    QSaveFile file;
    QByteArray buffer;
    bool closed = false;
    QString dataPath;  // CreateDataTextFile's: written by writeDataFile, not through `file`
};

namespace {

const QString kLinkRefused = QStringLiteral("这是一个链接，不会写入它所指的文件");

// Refuses a link under `path`.
void refuseLink(const QString& path)
{
    struct stat st;
    if (::lstat(encoded(path).constData(), &st) == 0 && S_ISLNK(st.st_mode))
        fail(path, ELOOP, kLinkRefused);
}

// Writes `bytes` to a new file beside `path` and renames it onto `path`. The
// file keeps the permission bits of the file it replaces.
void writeDataFile(const QString& path, const QByteArray& bytes)
{
    refuseLink(path);
    const QByteArray target = encoded(path);
    struct stat old;
    const bool replacing = ::lstat(target.constData(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        fail(path, EISDIR);
    static QAtomicInt counter;
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = target + ".new-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter.fetchAndAddRelaxed(1));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100))
            fail(path, errno);
    }
    auto failed = [&](int e) {
        ::close(fd);
        ::unlink(temp.constData());
        fail(path, e);
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            failed(errno);
        if (n > 0)
            done += n;
    }
    if (replacing && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    if (::fsync(fd) != 0)
        failed(errno);
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        fail(path, e);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        fail(path, e);
    }
}

}  // namespace

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
    if (!m_impl->dataPath.isEmpty()) {
        writeDataFile(m_impl->dataPath, m_impl->buffer);
        return;
    }
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

TextStream FileSystemObject::CreateDataTextFile(const QString& path) const
{
    refuseLink(path);
    auto impl = std::make_unique<TextStream::Impl>();
    impl->dataPath = path;
    return TextStream(std::move(impl));
}

}  // namespace kestrune
