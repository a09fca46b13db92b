// Writes the preview picture of a drawing as a PNG scaled to fit SIZE x SIZE
// (never enlarged). Exit status: 0 written; 1 the drawing has no picture
// (the reason on stderr); 2 wrong arguments, or a file that cannot be read
// or written.
#include "documents/dwgpreview.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageWriter>
#include <QString>

#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: kestrune-dwg-thumbnail INPUT OUTPUT [SIZE]\n");
    return 2;
}

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4)
        return usage();
    const QString input = args.at(1);
    const QString output = args.at(2);
    int size = 256;
    if (args.size() == 4) {
        bool ok = false;
        size = args.at(3).toInt(&ok);
        if (!ok || size <= 0)
            return usage();
    }
    if (input.isEmpty() || output.isEmpty())
        return usage();

    const QFileInfo info(input);
    if (!info.exists() || !info.isFile() || !info.isReadable()) {
        say(QStringLiteral("%1: %2").arg(input, kestrune::dwgPreviewReason(kestrune::DwgPreviewStatus::FileUnreadable)));
        return 2;
    }
    const kestrune::DwgPreview preview = kestrune::readDwgPreview(input);
    if (preview.status == kestrune::DwgPreviewStatus::FileUnreadable) {
        say(QStringLiteral("%1: %2").arg(input, preview.reason()));
        return 2;
    }
    if (!preview.ok()) {
        say(QStringLiteral("%1: %2").arg(input, preview.reason()));
        return 1;
    }

    QImage image = preview.image;
    if (image.width() > size || image.height() > size) {
        const QSize fitted = image.size().scaled(size, size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        image = kestrune::stretchImage(image, fitted, kestrune::StretchSmooth);
    }
    QImageWriter writer(output, "png");
    if (!writer.write(image)) {
        say(QStringLiteral("%1: %2").arg(output, writer.errorString()));
        return 2;
    }
    return 0;
}
