// make-icons OUTDIR: writes the program icon for the hicolor theme, drawn by
// the same code as the windows' icon: OUTDIR/NxN.png for each size and
// OUTDIR/scalable.svg. Run at build time; not installed.

#include "core/system/appicon.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "make-icons: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        kestrune::paintAppIcon(painter, size);
        painter.end();
        const QString file = out.filePath(QStringLiteral("%1x%1.png").arg(size));
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    QSvgGenerator svg;
    svg.setFileName(out.filePath(QStringLiteral("scalable.svg")));
    svg.setSize(QSize(64, 64));
    svg.setViewBox(QRectF(0, 0, 64, 64));
    svg.setTitle(QStringLiteral("Kestrune"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "make-icons: cannot write the SVG icon\n");
        return 1;
    }
    kestrune::paintAppIcon(painter, 64);
    painter.end();
    return 0;
}
