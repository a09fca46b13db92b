// Writes the preview picture of a drawing as a PNG scaled to fit SIZE x SIZE
// (never enlarged). Exit status: 0 written; 1 no picture (not a drawing, or
// a drawing without a picture that can be shown; the reason on stderr); 2
// wrong arguments, a drawing that cannot be read (missing, unreadable, cut
// short or damaged), or an output that cannot be written.
//
// Paths are taken and used as their bytes: file managers hand over names
// that are not UTF-8 as they are on the disk.
#include "core/documents/dwgpreview.h"
#include "core/fs/fsnames.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: kestrune-dwg-thumbnail INPUT OUTPUT [SIZE]\n");
    return 2;
}

void say(const QString& path, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", kestrune::displayFileName(path).toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
}

// Writes `bytes` to the file at `path` (its exact bytes); the reason when
// that fails.
QString writeFile(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(kestrune::encodeFileName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, p, size_t(left));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : EIO;
            ::close(fd);
            return QString::fromLocal8Bit(std::strerror(error));
        }
        p += put;
        left -= put;
    }
    if (::close(fd) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || argc > 4)
        return usage();
    const QString input = kestrune::decodeFileName(argv[1]);
    const QString output = kestrune::decodeFileName(argv[2]);
    int size = 256;
    if (argc == 4) {
        bool ok = false;
        size = QString::fromLocal8Bit(argv[3]).toInt(&ok);
        if (!ok || size <= 0)
            return usage();
    }
    if (input.isEmpty() || output.isEmpty())
        return usage();

    const kestrune::DwgPreview preview = kestrune::readDwgPreview(input);
    if (!preview.ok()) {
        say(input, preview.reason());
        const bool unreadable = preview.status == kestrune::DwgPreviewStatus::FileUnreadable ||
                                preview.status == kestrune::DwgPreviewStatus::Damaged;
        return unreadable ? 2 : 1;
    }

    QImage image = preview.image;
    if (image.width() > size || image.height() > size) {
        const QSize fitted = image.size().scaled(size, size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        image = kestrune::stretchImage(image, fitted, kestrune::StretchSmooth);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        say(output, writer.errorString());
        return 2;
    }
    const QString why = writeFile(output, png);
    if (!why.isEmpty()) {
        say(output, why);
        return 2;
    }
    return 0;
}
