#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

namespace kestrune {

// Why a drawing gave no preview picture.
enum class DwgPreviewStatus {
    Ok,             // a picture was read
    FileUnreadable, // missing, a folder, or cannot be opened
    NotDrawing,     // the file does not start like a drawing
    OldGeneration,  // a drawing from before R13: no preview section
    NoPicture,      // a preview section with no entries or only header data
    WmfOnly,        // only a metafile picture, which is not drawn
    Unsupported,    // a bitmap encoding that is not decoded (RLE, bit fields, ...)
    Damaged,        // an address, size or picture that does not hold together
};

struct DwgPreview {
    DwgPreviewStatus status = DwgPreviewStatus::FileUnreadable;
    QImage image;  // RGB32, or ARGB32 for a picture with transparency; null unless Ok

    bool ok() const { return status == DwgPreviewStatus::Ok; }
    // The reason shown to the user, in Chinese; empty when ok.
    QString reason() const;
};

QString dwgPreviewReason(DwgPreviewStatus status);

// Reads the preview picture embedded in the drawing at `path`. Only the
// header, the preview section's table and the chosen picture are read; every
// address and size is checked against the file's size first.
DwgPreview readDwgPreview(const QString& path);
// The same for a drawing held in memory.
DwgPreview readDwgPreviewData(const QByteArray& bytes);

// Decodes a device-independent bitmap without a file header (info header,
// palette, bits): 1, 4, 8, 24 and 32 bits per pixel, uncompressed, bottom-up
// or top-down. Sets `status` to Ok, Unsupported or Damaged.
QImage decodeDib(const char* data, qint64 size, DwgPreviewStatus* status);

// The four ways of scaling a picture to another size:
// 1 keeps the darkest source pixel of each covered block (dark lines on white
// survive shrinking), 2 keeps the lightest (light lines on black), 3 takes
// the nearest pixel, 4 averages the covered block (and interpolates when
// enlarging). Only `part` of the scaled picture is computed and returned
// (the whole of it when `part` is null).
enum StretchMode { StretchDark = 1, StretchLight = 2, StretchNearest = 3, StretchSmooth = 4 };
QImage stretchImage(const QImage& source, const QSize& size, int mode, const QRect& part = QRect());

}  // namespace kestrune
