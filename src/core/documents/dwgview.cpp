#include "core/documents/dwgview.h"

#include "core/fs/fso.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSaveFile>

#include <QtGlobal>
#include <cmath>

namespace kestrune {

// ---------------------------------------------------------------------------
// Geometry

void DwgViewGeometry::load()
{
    HomeWidth = width;
    HomeHeight = height;
    HomeLeft = left;
    HomeTop = qint16(qBound(-32768.0f, std::nearbyint(top), 32767.0f));
}

void DwgViewGeometry::resized()
{
    HomeWidth = width;
    HomeHeight = height;
}

void DwgViewGeometry::home()
{
    width = HomeWidth;
    height = HomeHeight;
    left = HomeLeft;
    top = HomeTop;
}

void DwgViewGeometry::zoom(double factor)
{
    // Each product is stored in single precision before the next step uses it.
    width = float(double(width) * factor);
    height = float(double(height) * factor);
    hScrollVisible = width + 2 * vScrollWidth > viewportWidth;
    vScrollVisible = height + 2 * hScrollHeight > viewportHeight;
}

void DwgViewGeometry::scrollHorizontal(int value, int maximum)
{
    if (maximum == 0)
        return;
    left = HomeLeft - width * float(value) / float(maximum);
}

void DwgViewGeometry::scrollVertical(int value, int maximum)
{
    if (maximum == 0)
        return;
    top = float(HomeTop) - height * float(value) / float(maximum);
}

namespace {
// The largest size a widget takes (Qt's QWIDGETSIZE_MAX).
constexpr double kLargestPixels = (1 << 24) - 1;

// Twips to pixels, within what a widget's geometry can hold.
int toPixels(float twips)
{
    const double px = std::nearbyint(double(twips) / 15.0);
    return int(qBound(-kLargestPixels, px, kLargestPixels));
}
}  // namespace

QRect DwgViewGeometry::pixels() const
{
    return QRect(toPixels(left), toPixels(top), qMax(0, toPixels(width)), qMax(0, toPixels(height)));
}

// ---------------------------------------------------------------------------
// Stepping through a folder

bool isDrawingName(const QString& name)
{
    return name.right(3).toLower() == QLatin1String("dwg");
}

void DwgFolderSteps::open(const QString& drawingPath, const FileSystemObject& fso)
{
    FolderNames = QStringList{QString()};
    FolderPos = 0;
    // Worked out on the text, so that a name that is not UTF-8 keeps its bytes.
    const QString absolute = normalizeFolderPath(drawingPath);
    const qsizetype slash = absolute.lastIndexOf(QDir::separator());
    m_folder = slash <= 0 ? QString(QDir::separator()) : absolute.left(slash);
    try {
        for (const File& f : fso.GetFolder(m_folder).Files()) {
            FolderNames[0] = f.Name();
            FolderNames.append(f.Name());
        }
    } catch (const FsError&) {
        // A typed path whose folder does not exist: nothing to step through.
    }
}

std::optional<QString> DwgFolderSteps::next()
{
    return step(1);
}

std::optional<QString> DwgFolderSteps::previous()
{
    return step(-1);
}

std::optional<QString> DwgFolderSteps::step(int direction)
{
    const int count = int(FolderNames.size());
    if (count == 0)
        return std::nullopt;
    int pos = FolderPos;
    // Every entry once, the one we stand on last.
    for (int tried = 0; tried < count; ++tried) {
        if (direction > 0)
            pos = pos + 1 > count - 1 ? 0 : pos + 1;
        else
            pos = pos != 0 ? pos - 1 : count - 1;
        if (isDrawingName(FolderNames[pos])) {
            FolderPos = pos;
            return joinPath(m_folder, FolderNames[pos]);
        }
    }
    return std::nullopt;
}

void DwgFolderSteps::clear()
{
    FolderNames.clear();
    FolderPos = 0;
    m_folder.clear();
}

// ---------------------------------------------------------------------------
// Saving

std::optional<QString> saveBitmap(const QImage& picture, const QString& path)
{
    return savePicture(picture, path, "BMP");
}

std::optional<QString> savePicture(const QImage& picture, const QString& path, const char* format)
{
    if (picture.isNull())
        return QStringLiteral("没有图像");
    const QFileInfo target(path);
    if (target.isDir())
        return describeError(EISDIR);
    if (target.exists() && !(target.permissions() & QFileDevice::WriteOwner))
        return QStringLiteral("目标文件只读");

    const bool png = qstricmp(format, "PNG") == 0;
    QImage flat(picture.size(), QImage::Format_RGB32);
    if (png) {
        flat = picture;  // PNG keeps the transparency
    } else if (picture.hasAlphaChannel()) {
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, picture);
    } else {
        flat = picture.convertToFormat(QImage::Format_RGB32);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!flat.save(&buffer, format))
        return QStringLiteral("无法生成位图");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    return std::nullopt;
}

}  // namespace kestrune
