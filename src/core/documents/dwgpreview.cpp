#include "core/documents/dwgpreview.h"

#include "core/fs/fsnames.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

// Largest picture decoded, in pixels: a preview is a few hundred pixels
// square, and this keeps a hostile header from asking for gigabytes.
constexpr quint64 kMaxPixels = quint64(1) << 24;
// Most bytes read for one picture. A preview takes some kilobytes; the
// length its entry states is not trusted (a sparse file can state gigabytes
// that cost nothing on disk): only what the picture's own header needs is
// read, and a picture needing more than this is refused as unsupported.
constexpr quint64 kMaxPictureBytes = quint64(16) << 20;

const unsigned char kSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                     0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};

enum EntryCode { EntryHeader = 1, EntryBmp = 2, EntryWmf = 3, EntryPng = 6 };

quint32 le32(const unsigned char* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
quint16 le16(const unsigned char* p)
{
    return quint16(p[0] | (p[1] << 8));
}

// Random access to the bytes of a drawing; a read that would pass the end
// fails without touching `out`.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual quint64 size() const = 0;
    virtual bool read(quint64 offset, quint64 length, void* out) = 0;

protected:
    bool fits(quint64 offset, quint64 length) const
    {
        return offset <= size() && length <= size() - offset;
    }
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const QByteArray& bytes) : m_bytes(bytes) {}
    quint64 size() const override { return quint64(m_bytes.size()); }
    bool read(quint64 offset, quint64 length, void* out) override
    {
        if (!fits(offset, length))
            return false;
        if (length)
            std::memcpy(out, m_bytes.constData() + offset, length);
        return true;
    }

private:
    const QByteArray& m_bytes;
};

class FileSource : public ByteSource {
public:
    FileSource(int fd, quint64 size) : m_fd(fd), m_size(size) {}
    quint64 size() const override { return m_size; }
    bool read(quint64 offset, quint64 length, void* out) override
    {
        if (!fits(offset, length))
            return false;
        auto* to = static_cast<char*>(out);
        while (length > 0) {
            const ssize_t got = ::pread(m_fd, to, size_t(std::min<quint64>(length, quint64(1) << 30)), off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;  // an error, or the file was cut short meanwhile
            to += got;
            offset += quint64(got);
            length -= quint64(got);
        }
        return true;
    }

private:
    int m_fd;
    quint64 m_size;
};

DwgPreview fail(DwgPreviewStatus status)
{
    DwgPreview result;
    result.status = status;
    return result;
}

// The first six bytes name the format generation: "AC1015" and the like.
// Generations before R13 ("AC1012") keep no preview section.
DwgPreviewStatus classifyVersion(const unsigned char* magic)
{
    if (magic[0] != 'A' || magic[1] != 'C')
        return DwgPreviewStatus::NotDrawing;
    // The earliest releases wrote "AC1.2", "AC1.50", "AC2.10" and so on.
    if ((magic[2] == '1' || magic[2] == '2') && magic[3] == '.')
        return DwgPreviewStatus::OldGeneration;
    int number = 0;
    for (int i = 2; i < 6; ++i) {
        if (magic[i] < '0' || magic[i] > '9')
            return DwgPreviewStatus::NotDrawing;
        number = number * 10 + (magic[i] - '0');
    }
    if (number < 1001)
        return DwgPreviewStatus::NotDrawing;
    return number < 1012 ? DwgPreviewStatus::OldGeneration : DwgPreviewStatus::Ok;
}

QImage finish(const QImage& image)
{
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

QImage decodePng(const QByteArray& bytes, DwgPreviewStatus* status)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        *status = DwgPreviewStatus::Damaged;
        return QImage();
    }
    if (quint64(size.width()) * quint64(size.height()) > kMaxPixels) {
        *status = DwgPreviewStatus::Unsupported;
        return QImage();
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        *status = DwgPreviewStatus::Damaged;
        return QImage();
    }
    *status = DwgPreviewStatus::Ok;
    return finish(image);
}

quint32 be32(const unsigned char* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// How many bytes of a bitmap decodeDib reads, from its 40-byte header at `p`:
// header, palette and rows. 0 when the header alone decides (`status` set
// to Unsupported or Damaged).
quint64 dibExtent(const unsigned char* p, DwgPreviewStatus* status)
{
    *status = DwgPreviewStatus::Damaged;
    const quint64 headerSize = le32(p);
    if (headerSize == 12) {  // the old core header
        *status = DwgPreviewStatus::Unsupported;
        return 0;
    }
    if (headerSize < 40)
        return 0;
    const qint32 width = qint32(le32(p + 4));
    const qint32 rawHeight = qint32(le32(p + 8));
    const int bits = le16(p + 14);
    const quint32 compression = le32(p + 16);
    const quint64 colorsUsed = le32(p + 32);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        return 0;
    const quint64 height = quint64(rawHeight < 0 ? -qint64(rawHeight) : qint64(rawHeight));
    if (compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
        *status = DwgPreviewStatus::Unsupported;
        return 0;
    }
    if (quint64(width) * height > kMaxPixels) {
        *status = DwgPreviewStatus::Unsupported;
        return 0;
    }
    // Palette: as many entries as the header says, or all 2^bits of them.
    const quint64 paletteCount = colorsUsed ? colorsUsed : (bits <= 8 ? (quint64(1) << bits) : 0);
    const quint64 rowBytes = (quint64(width) * quint64(bits) + 7) / 8;
    const quint64 stride = (quint64(width) * quint64(bits) + 31) / 32 * 4;
    // The last row may come without its padding. Every term is far below
    // 2^64: the pixels are bounded above, the rest are 32-bit values.
    *status = DwgPreviewStatus::Ok;
    return headerSize + paletteCount * 4 + stride * (height - 1) + rowBytes;
}

// The bytes of the picture of one entry that starts at `start` and may run
// for `length` bytes (both checked against the file): no more than the
// picture's own header says it takes. Sets `status` to Ok, or to why the
// picture is refused.
QByteArray readPicture(ByteSource& source, int code, quint64 start, quint64 length, DwgPreviewStatus* status)
{
    *status = DwgPreviewStatus::Damaged;
    QByteArray bytes;
    if (code == EntryBmp) {
        unsigned char header[40];
        if (length < sizeof header || !source.read(start, sizeof header, header))
            return QByteArray();
        const quint64 extent = dibExtent(header, status);
        if (extent == 0)
            return QByteArray();
        if (extent > length) {
            *status = DwgPreviewStatus::Damaged;
            return QByteArray();
        }
        if (extent > kMaxPictureBytes) {
            *status = DwgPreviewStatus::Unsupported;
            return QByteArray();
        }
        bytes = QByteArray(qsizetype(extent), Qt::Uninitialized);
        if (!source.read(start, extent, bytes.data()))
            return QByteArray();
        *status = DwgPreviewStatus::Ok;
        return bytes;
    }

    // A PNG is a signature and chunks (length, type, data, check) up to
    // IEND: the chunk headers are followed to where it ends, reading the
    // picture a block at a time as far as they lead.
    const quint64 limit = std::min(length, kMaxPictureBytes + 1);
    bool readFailed = false;
    const auto have = [&](quint64 end) {
        const quint64 held = quint64(bytes.size());
        if (end <= held)
            return true;
        const quint64 want = std::min(limit, std::max(end, held + (quint64(64) << 10)));
        if (end > want)
            return false;
        bytes.resize(qsizetype(want));
        if (!source.read(start + held, want - held, bytes.data() + held)) {
            readFailed = true;
            return false;
        }
        return true;
    };
    // Without an end within the entry, the whole entry is the picture.
    quint64 extent = limit;
    for (quint64 at = 8; have(at + 8);) {
        const auto* chunk = reinterpret_cast<const unsigned char*>(bytes.constData()) + at;
        const quint64 next = at + 12 + be32(chunk);
        if (std::memcmp(chunk + 4, "IEND", 4) == 0) {
            extent = std::min(next, limit);
            break;
        }
        at = next;
    }
    if (readFailed)
        return QByteArray();
    if (extent > kMaxPictureBytes) {
        *status = DwgPreviewStatus::Unsupported;
        return QByteArray();
    }
    if (!have(extent))
        return QByteArray();
    bytes.truncate(qsizetype(extent));
    *status = DwgPreviewStatus::Ok;
    return bytes;
}

DwgPreview readFrom(ByteSource& source)
{
    unsigned char head[0x11];
    if (source.size() < 6)
        return fail(DwgPreviewStatus::NotDrawing);
    if (!source.read(0, 6, head))
        return fail(DwgPreviewStatus::FileUnreadable);
    const DwgPreviewStatus generation = classifyVersion(head);
    if (generation != DwgPreviewStatus::Ok)
        return fail(generation);
    if (!source.read(0, sizeof head, head))
        return fail(DwgPreviewStatus::Damaged);

    // The preview section: sentinel, overall size, entry count, entries.
    const quint64 section = le32(head + 0x0D);
    unsigned char table[21];
    if (!source.read(section, sizeof table, table))
        return fail(DwgPreviewStatus::Damaged);
    if (std::memcmp(table, kSentinel, sizeof kSentinel) != 0)
        return fail(DwgPreviewStatus::Damaged);
    const int count = table[20];
    std::vector<unsigned char> entries(size_t(count) * 9);
    if (!source.read(section + sizeof table, entries.size(), entries.data()))
        return fail(DwgPreviewStatus::Damaged);

    bool sawWmf = false;
    bool sawPicture = false;
    DwgPreviewStatus failure = DwgPreviewStatus::Ok;
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = entries.data() + size_t(i) * 9;
        const int code = entry[0];
        const quint64 start = le32(entry + 1);
        const quint64 length = le32(entry + 5);
        if (code == EntryWmf)
            sawWmf = true;
        if (code != EntryBmp && code != EntryPng)
            continue;
        sawPicture = true;
        // Checked before anything is read: a size past the end reads nothing.
        if (length == 0 || start > source.size() || length > source.size() - start) {
            failure = DwgPreviewStatus::Damaged;
            continue;
        }
        DwgPreviewStatus status = DwgPreviewStatus::Damaged;
        const QByteArray bytes = readPicture(source, code, start, length, &status);
        QImage image;
        if (status == DwgPreviewStatus::Ok)
            image = code == EntryBmp ? decodeDib(bytes.constData(), bytes.size(), &status) : decodePng(bytes, &status);
        if (status == DwgPreviewStatus::Ok) {
            DwgPreview result;
            result.status = DwgPreviewStatus::Ok;
            result.image = image;
            return result;
        }
        // A damaged picture outweighs an unsupported one in the reason given.
        if (failure != DwgPreviewStatus::Damaged)
            failure = status;
    }
    if (sawPicture)
        return fail(failure);
    return fail(sawWmf ? DwgPreviewStatus::WmfOnly : DwgPreviewStatus::NoPicture);
}

}  // namespace

QString dwgPreviewReason(DwgPreviewStatus status)
{
    switch (status) {
    case DwgPreviewStatus::Ok:
        return QString();
    case DwgPreviewStatus::FileUnreadable:
        return QStringLiteral("无法打开该文件");
    case DwgPreviewStatus::NotDrawing:
        return QStringLiteral("该文件不是DWG文件");
    case DwgPreviewStatus::OldGeneration:
        return QStringLiteral("该版本(R13以前)的DWG文件没有预览图像");
    case DwgPreviewStatus::NoPicture:
        return QStringLiteral("该文件没有预览图像");
    case DwgPreviewStatus::WmfOnly:
        return QStringLiteral("该文件的预览图像为WMF格式,无法显示");
    case DwgPreviewStatus::Unsupported:
        return QStringLiteral("该文件的预览图像格式不受支持");
    case DwgPreviewStatus::Damaged:
        return QStringLiteral("该文件已损坏,无法读取预览图像");
    }
    return QString();
}

QString DwgPreview::reason() const
{
    return dwgPreviewReason(status);
}

DwgPreview readDwgPreview(const QString& path)
{
    if (path.isEmpty())
        return fail(DwgPreviewStatus::FileUnreadable);
    // By the name's exact bytes. Regular files only: opening a pipe or a
    // device could wait for ever (and a pipe put there after the look is
    // not waited on either).
    const QByteArray name = encodeFileName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(DwgPreviewStatus::FileUnreadable);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(DwgPreviewStatus::FileUnreadable);
    DwgPreview result;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = fail(DwgPreviewStatus::FileUnreadable);
    } else {
        FileSource source(fd, quint64(st.st_size));
        result = readFrom(source);
    }
    ::close(fd);
    return result;
}

DwgPreview readDwgPreviewData(const QByteArray& bytes)
{
    MemorySource source(bytes);
    return readFrom(source);
}

QImage decodeDib(const char* data, qint64 size, DwgPreviewStatus* status)
{
    *status = DwgPreviewStatus::Damaged;
    if (!data || size < 40)
        return QImage();
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const quint64 extent = dibExtent(p, status);
    if (extent == 0)
        return QImage();
    if (extent > quint64(size)) {
        *status = DwgPreviewStatus::Damaged;
        return QImage();
    }
    const quint64 headerSize = le32(p);
    const qint32 width = qint32(le32(p + 4));
    const qint32 rawHeight = qint32(le32(p + 8));
    const int bits = le16(p + 14);
    const quint64 colorsUsed = le32(p + 32);
    const bool topDown = rawHeight < 0;
    const quint64 height = quint64(topDown ? -qint64(rawHeight) : qint64(rawHeight));
    const quint64 paletteCount = colorsUsed ? colorsUsed : (bits <= 8 ? (quint64(1) << bits) : 0);
    const quint64 bitsOffset = headerSize + paletteCount * 4;
    const quint64 stride = (quint64(width) * quint64(bits) + 31) / 32 * 4;

    QRgb palette[256];
    const int usable = bits <= 8 ? int(std::min<quint64>(paletteCount, quint64(1) << bits)) : 0;
    for (int i = 0; i < 256; ++i) {
        if (i < usable) {
            const unsigned char* q = p + headerSize + quint64(i) * 4;
            palette[i] = qRgb(q[2], q[1], q[0]);
        } else {
            palette[i] = qRgb(0, 0, 0);
        }
    }

    QImage image(width, int(height), QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    for (quint64 y = 0; y < height; ++y) {
        const quint64 storedRow = topDown ? y : height - 1 - y;
        const unsigned char* row = p + bitsOffset + storedRow * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        switch (bits) {
        case 1:
            for (qint32 x = 0; x < width; ++x)
                out[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (qint32 x = 0; x < width; ++x)
                out[x] = palette[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
            break;
        case 8:
            for (qint32 x = 0; x < width; ++x)
                out[x] = palette[row[x]];
            break;
        case 24:
            for (qint32 x = 0; x < width; ++x) {
                const unsigned char* q = row + quint64(x) * 3;
                out[x] = qRgb(q[2], q[1], q[0]);
            }
            break;
        case 32:
            for (qint32 x = 0; x < width; ++x) {
                const unsigned char* q = row + quint64(x) * 4;
                out[x] = qRgb(q[2], q[1], q[0]);
            }
            break;
        }
    }
    *status = DwgPreviewStatus::Ok;
    return image;
}

}  // namespace kestrune
