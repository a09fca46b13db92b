#include "core/same/samereader.h"

#include "core/fs/fso.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kestrune {

namespace {

QString changedText()
{
    return QStringLiteral("文件在查找过程中已改变");
}

// A descriptor closed on leaving scope.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens a regular file for reading without following a link and without
// waiting on a pipe put in its place; -1 with `why` set.
int openForReading(const QByteArray& path, QString* why, struct stat* st)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        *why = describeError(errno);
        return -1;
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(fd);
        *why = changedText();
        return -1;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

// Reads up to `size` bytes; the count read, or -1 with `why` set.
qint64 readFully(int fd, char* buffer, qint64 size, QString* why)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *why = describeError(errno);
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

ContentHash fromXxh(XXH128_hash_t h)
{
    return {h.low64, h.high64};
}

}  // namespace

ContentReader::ContentReader() : m_buffer(size_t(kChunk)) {}

std::optional<ContentHash> ContentReader::hashFirstBlock(const QByteArray& path, const Expect& expect, QString* why,
                                                         std::atomic<qint64>* bytesRead)
{
    struct stat st;
    const Fd fd(openForReading(path, why, &st));
    if (fd.get() < 0)
        return std::nullopt;
    if (st.st_size != expect.size || quint64(st.st_dev) != expect.device || quint64(st.st_ino) != expect.inode) {
        *why = changedText();
        return std::nullopt;
    }
    const qint64 want = std::min(expect.size, kFirstBlock);
    const qint64 got = readFully(fd.get(), m_buffer.data(), want, why);
    if (got < 0)
        return std::nullopt;
    if (got != want) {
        *why = changedText();
        return std::nullopt;
    }
    if (bytesRead)
        *bytesRead += got;
    return fromXxh(XXH3_128bits(m_buffer.data(), size_t(got)));
}

std::optional<ContentHash> ContentReader::hashFrom(qint64 from, const QByteArray& path, const Expect& expect,
                                                   QString* why, std::atomic<qint64>* bytesRead,
                                                   const std::function<bool()>& stop)
{
    struct stat st;
    const Fd fd(openForReading(path, why, &st));
    if (fd.get() < 0)
        return std::nullopt;
    if (st.st_size != expect.size || quint64(st.st_dev) != expect.device || quint64(st.st_ino) != expect.inode) {
        *why = changedText();
        return std::nullopt;
    }
    if (from > 0 && ::lseek(fd.get(), from, SEEK_SET) != from) {
        *why = describeError(errno);
        return std::nullopt;
    }
    XXH3_state_t state;
    XXH3_128bits_reset(&state);
    qint64 total = from;
    for (;;) {
        if (stop && stop()) {
            *why = QStringLiteral("操作已取消");
            return std::nullopt;
        }
        const qint64 got = readFully(fd.get(), m_buffer.data(), kChunk, why);
        if (got < 0)
            return std::nullopt;
        XXH3_128bits_update(&state, m_buffer.data(), size_t(got));
        total += got;
        if (bytesRead)
            *bytesRead += got;
        if (got < kChunk)
            break;
    }
    // Grown or shrunk while it was read: not the file that was seen.
    if (total != expect.size) {
        *why = changedText();
        return std::nullopt;
    }
    return fromXxh(XXH3_128bits_digest(&state));
}

ContentHash combineHashes(const ContentHash& a, const ContentHash& b)
{
    const quint64 words[4] = {a.low, a.high, b.low, b.high};
    return fromXxh(XXH3_128bits(words, sizeof words));
}

bool sameBytes(const QByteArray& a, const QByteArray& b, QString* why)
{
    struct stat sa;
    struct stat sb;
    const Fd fa(openForReading(a, why, &sa));
    if (fa.get() < 0)
        return false;
    const Fd fb(openForReading(b, why, &sb));
    if (fb.get() < 0)
        return false;
    if (sa.st_size != sb.st_size)
        return false;
    std::vector<char> x(size_t(ContentReader::kChunk));
    std::vector<char> y(size_t(ContentReader::kChunk));
    for (;;) {
        const qint64 nx = readFully(fa.get(), x.data(), ContentReader::kChunk, why);
        const qint64 ny = readFully(fb.get(), y.data(), ContentReader::kChunk, why);
        if (nx < 0 || ny < 0)
            return false;
        if (nx != ny || std::memcmp(x.data(), y.data(), size_t(nx)) != 0)
            return false;
        if (nx < ContentReader::kChunk)
            return true;
    }
}

}  // namespace kestrune
