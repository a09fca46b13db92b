#include "core/documents/dwgpreview.h"

#include "support/dwgtestfiles.h"
#include "support/sanitized.h"
#include "support/tempdir.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

QString sample(const char* name)
{
    return QStringLiteral(KESTRUNE_TEST_DATA "/dwg/") + QLatin1String(name);
}

const QColor kA(10, 20, 30), kB(200, 150, 100), kC(1, 2, 3), kD(250, 128, 7);

// Decodes the 2x2 picture of a drawing holding `picture` and compares it with
// the colours expected, top row first.
void expect2x2(const QByteArray& picture, const QList<QColor>& topLeftFirst)
{
    const DwgPreview p = readDwgPreviewData(drawing({{1, QByteArray(80, '\0')}, {2, picture}}));
    ASSERT_EQ(p.status, DwgPreviewStatus::Ok) << qPrintable(p.reason());
    ASSERT_EQ(p.image.size(), QSize(2, 2));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(QColor(p.image.pixel(i % 2, i / 2)), topLeftFirst[i]) << "pixel " << i;
}

// The rows of a picture are stored bottom row first unless the height is
// negative; each depth is checked both ways.
QList<QByteArray> stored(const QByteArray& top, const QByteArray& bottom, bool topDown)
{
    return topDown ? QList<QByteArray>{top, bottom} : QList<QByteArray>{bottom, top};
}

}  // namespace

TEST(DwgPreviewReader, SamplesGiveTheirPictureOrReason)
{
    // The BMP entry (0x153, 27176 bytes) read through Qt's own BMP reader once
    // a file header is put in front of it.
    QFile line(sample("2000_Line.dwg"));
    ASSERT_TRUE(line.open(QIODevice::ReadOnly));
    const QByteArray dibBytes = line.readAll().mid(0x153, 27176);
    QByteArray bmp = "BM";
    putLe(bmp, quint64(14 + dibBytes.size()), 4);
    putLe(bmp, 0, 4);
    putLe(bmp, 14 + 40 + 256 * 4, 4);
    const QImage expectedBmp = QImage::fromData(bmp + dibBytes, "BMP").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(expectedBmp.size(), QSize(256, 102));
    const DwgPreview fromBmp = readDwgPreview(sample("2000_Line.dwg"));
    ASSERT_TRUE(fromBmp.ok());
    EXPECT_EQ(fromBmp.image, expectedBmp);

    QFile arc(sample("2013_Arc.dwg"));
    ASSERT_TRUE(arc.open(QIODevice::ReadOnly));
    const QByteArray arcBytes = arc.readAll();
    const QImage expectedPng = QImage::fromData(arcBytes.mid(0x237, 1088), "PNG").convertToFormat(QImage::Format_RGB32);
    const DwgPreview fromPng = readDwgPreviewData(arcBytes);
    ASSERT_TRUE(fromPng.ok());
    EXPECT_EQ(fromPng.image.convertToFormat(QImage::Format_RGB32), expectedPng);

    EXPECT_EQ(readDwgPreview(sample("2000_PolyLine2D.dwg")).status, DwgPreviewStatus::NoPicture);
    EXPECT_EQ(readDwgPreview(sample("2018_Line.dwg")).status, DwgPreviewStatus::NoPicture);
    EXPECT_EQ(readDwgPreview(sample("2018_Line.dwg")).reason(), QStringLiteral("该文件没有预览图像"));
    const DwgPreview old = readDwgPreview(sample("r11_entities-2d.dwg"));
    EXPECT_EQ(old.status, DwgPreviewStatus::OldGeneration);
    EXPECT_TRUE(old.image.isNull());
    EXPECT_FALSE(old.reason().isEmpty());
}

TEST(DwgPreviewReader, DecodesEachDepthBottomUpAndTopDown)
{
    const QColor black(0, 0, 0);
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        const int h = topDown ? -2 : 2;
        // 1 bit: top row indices 0 1, bottom row 1 0 (leftmost pixel in the high bit).
        expect2x2(dib(1, 2, h, {kA, kB}, 0,
                      stored(QByteArray::fromHex("40000000"), QByteArray::fromHex("80000000"), topDown)),
                  {kA, kB, kB, kA});
        // 4 bits, three colours listed: index 5 lies past them and reads as black.
        expect2x2(dib(4, 2, h, {kA, kB, kC}, 3,
                      stored(QByteArray::fromHex("21000000"), QByteArray::fromHex("05000000"), topDown)),
                  {kC, kB, kA, black});
        // 8 bits with the whole 256-colour palette.
        QList<QColor> ramp;
        for (int i = 0; i < 256; ++i)
            ramp << QColor(i, 255 - i, i / 2);
        expect2x2(dib(8, 2, h, ramp, 0, stored(QByteArray::fromHex("05FA0000"), QByteArray::fromHex("00FF0000"), topDown)),
                  {QColor(5, 250, 2), QColor(250, 5, 125), QColor(0, 255, 0), QColor(255, 0, 127)});
        // 24 bits, B G R, rows padded to 8 bytes.
        expect2x2(dib(24, 2, h, {}, 0,
                      stored(QByteArray::fromHex("1E140A 6496C8 0000"), QByteArray::fromHex("030201 0780FA 0000"), topDown)),
                  {kA, kB, kC, kD});
        // 32 bits, B G R and an unused byte.
        expect2x2(dib(32, 2, h, {}, 0,
                      stored(QByteArray::fromHex("1E140AFF 6496C800"), QByteArray::fromHex("03020100 0780FA7F"), topDown)),
                  {kA, kB, kC, kD});
    }
}

TEST(DwgPreviewReader, ChoosesTheFirstUsablePictureAndNamesWhatIsMissing)
{
    const QByteArray red = dib(24, 1, 1, {}, 0, {QByteArray::fromHex("0000FF00")});
    QImage blue(1, 1, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    blue.save(&buffer, "PNG");
    const QByteArray header(80, '\0'), wmf(64, 'w');

    EXPECT_EQ(readDwgPreviewData(drawing({{1, header}, {6, png}, {2, red}})).image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(readDwgPreviewData(drawing({{3, wmf}, {2, red}})).image.pixel(0, 0), qRgb(255, 0, 0));
    // A picture that cannot be decoded gives way to the next one.
    EXPECT_EQ(readDwgPreviewData(drawing({{2, red.left(30)}, {6, png}})).image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(readDwgPreviewData(drawing({{1, header}, {3, wmf}})).status, DwgPreviewStatus::WmfOnly);
    EXPECT_EQ(readDwgPreviewData(drawing({})).status, DwgPreviewStatus::NoPicture);
    EXPECT_EQ(readDwgPreviewData(drawing({{2, red}}, "AC1012")).status, DwgPreviewStatus::Ok);
    EXPECT_EQ(readDwgPreviewData(drawing({{2, red}}, "AC1009")).status, DwgPreviewStatus::OldGeneration);
    EXPECT_EQ(readDwgPreviewData(drawing({{2, red}}, "AC1.50")).status, DwgPreviewStatus::OldGeneration);
    EXPECT_EQ(readDwgPreviewData(drawing({{2, red}}, "PK\x03\x04zz")).status, DwgPreviewStatus::NotDrawing);
    EXPECT_EQ(readDwgPreviewData("AC10").status, DwgPreviewStatus::NotDrawing);
    EXPECT_EQ(readDwgPreviewData("AC1015\0\0").status, DwgPreviewStatus::Damaged);
    // Encodings that are not decoded are told apart from damage.
    EXPECT_EQ(readDwgPreviewData(drawing({{2, dib(8, 1, 1, {kA}, 1, {QByteArray(4, '\0')}, 1)}})).status,
              DwgPreviewStatus::Unsupported);
    EXPECT_EQ(readDwgPreviewData(drawing({{2, dib(16, 1, 1, {}, 0, {QByteArray(4, '\0')})}})).status,
              DwgPreviewStatus::Unsupported);

    TempDir dir;
    EXPECT_EQ(readDwgPreview(dir.path()).status, DwgPreviewStatus::FileUnreadable);
    EXPECT_EQ(readDwgPreview(dir.file("none.dwg")).status, DwgPreviewStatus::FileUnreadable);
    // A pipe named like a drawing is refused rather than waited on.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("pipe.dwg")).constData(), 0600), 0);
    EXPECT_EQ(readDwgPreview(dir.file("pipe.dwg")).status, DwgPreviewStatus::FileUnreadable);
    EXPECT_EQ(readDwgPreview(dir.write("a.dwg", drawing({{2, red}}))).image.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(DwgPreviewReader, RefusesAddressesAndSizesBeyondTheFile)
{
    const QByteArray good = drawing({{2, dib(24, 1, 1, {}, 0, {QByteArray::fromHex("0000FF00")})}});
    const auto patched = [&](int at, quint32 value) {
        QByteArray bytes = good;
        QByteArray le;
        putLe(le, value, 4);
        bytes.replace(at, 4, le);
        return readDwgPreviewData(bytes).status;
    };
    ASSERT_EQ(readDwgPreviewData(good).status, DwgPreviewStatus::Ok);
    const int entry = 0x20 + 21;  // code, start, size
    EXPECT_EQ(patched(0x0D, quint32(good.size())), DwgPreviewStatus::Damaged);
    EXPECT_EQ(patched(0x0D, 0xFFFFFFF0u), DwgPreviewStatus::Damaged);
    EXPECT_EQ(patched(0x0D, 0x21), DwgPreviewStatus::Damaged);  // sentinel not there
    EXPECT_EQ(patched(entry + 5, 0xFFFFFFFFu), DwgPreviewStatus::Damaged);
    EXPECT_EQ(patched(entry + 1, 0xFFFFFFF0u), DwgPreviewStatus::Damaged);
    EXPECT_EQ(patched(entry + 5, 0), DwgPreviewStatus::Damaged);
    const int info = entry + 9;  // the bitmap header
    EXPECT_EQ(patched(info, 0x7FFFFFFF), DwgPreviewStatus::Damaged);     // header size
    EXPECT_EQ(patched(info + 4, 0x00FFFFFF), DwgPreviewStatus::Damaged); // width past the bits
    EXPECT_EQ(patched(info + 8, 0x80000000u), DwgPreviewStatus::Damaged);
    EXPECT_EQ(patched(info + 8, 0), DwgPreviewStatus::Damaged);
    EXPECT_EQ(patched(info + 32, 0x40000000), DwgPreviewStatus::Damaged); // palette past the end
    // The count says more entries than the file holds.
    QByteArray many = good;
    many[0x20 + 20] = char(200);
    EXPECT_EQ(readDwgPreviewData(many).status, DwgPreviewStatus::Damaged);
    // The last row may lack its padding, but not a pixel.
    const auto oneRow = [](const char* hex) {
        return readDwgPreviewData(drawing({{2, dib(24, 1, 1, {}, 0, {QByteArray::fromHex(hex)})}})).status;
    };
    EXPECT_EQ(oneRow("0000FF"), DwgPreviewStatus::Ok);
    EXPECT_EQ(oneRow("0000"), DwgPreviewStatus::Damaged);
}

TEST(DwgPreviewReader, TruncatedAndCorruptedSamplesFailCleanly)
{
    for (const char* name : {"2000_Line.dwg", "2013_Arc.dwg", "2018_Line.dwg"}) {
        QFile file(sample(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        const bool hasPicture = readDwgPreviewData(whole).ok();
        // The pictures end at 0x153 + 27176 and 0x237 + 1088; the table of 2018_Line at 0x1E7.
        const qsizetype end = QByteArray(name).startsWith("2000") ? 0x153 + 27176
                              : QByteArray(name).startsWith("2013") ? 0x237 + 1088 : 0x1C0 + 21 + 9;
        for (qsizetype cut : {qsizetype(6), qsizetype(0x10), qsizetype(0xE0), end - 1})
            EXPECT_EQ(readDwgPreviewData(whole.left(cut)).status, DwgPreviewStatus::Damaged) << name << " cut " << cut;
        EXPECT_EQ(readDwgPreviewData(whole.left(end)).ok(), hasPicture) << name;

        QRandomGenerator random(7);
        QElapsedTimer timer;
        timer.start();
        for (int round = 0; round < 300; ++round) {
            QByteArray bent = whole.left(std::min<qsizetype>(whole.size(), end + 64));
            for (int flips = 0; flips < 4; ++flips)
                bent[int(random.bounded(std::min<qsizetype>(bent.size(), 0x260)))] = char(random.bounded(256));
            const DwgPreview p = readDwgPreviewData(bent);
            EXPECT_EQ(p.ok(), !p.image.isNull());
            EXPECT_EQ(p.ok(), p.reason().isEmpty());
        }
        EXPECT_LT(timer.elapsed(), 5000) << name;
    }
}

// The picture of one entry whose table states it runs to the end of a
// sparse file of `fileSize` bytes: a gigabyte that costs nothing on disk.
QString sparseDrawing(const TempDir& dir, const char* name, const QByteArray& picture, int code, qint64 fileSize)
{
    QByteArray bytes = drawing({{code, picture}});
    const int entry = 0x20 + 21;
    const quint32 start = quint32(bytes.size() - picture.size());
    QByteArray le;
    putLe(le, quint32(fileSize) - start, 4);
    bytes.replace(entry + 5, 4, le);
    QFile f(dir.file(QLatin1String(name)));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.resize(fileSize))
        return QString();
    return f.fileName();
}

long peakKilobytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(DwgPreviewReader, ReadsOnlyWhatThePictureNeedsWhateverLengthItsEntryStates)
{
    TempDir dir;
    constexpr qint64 kGigabyte = qint64(1) << 30;
    QByteArray png;
    {
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(qRgb(0, 0, 255));
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&buffer, "PNG"));
    }
    const QString bmpFile =
        sparseDrawing(dir, "bmp.dwg", dib(24, 1, 1, {}, 0, {QByteArray::fromHex("0000FF00")}), 2, kGigabyte);
    const QString pngFile = sparseDrawing(dir, "png.dwg", png, 6, kGigabyte);
    ASSERT_FALSE(bmpFile.isEmpty());
    ASSERT_FALSE(pngFile.isEmpty());

    const long before = peakKilobytes();
    QElapsedTimer timer;
    timer.start();
    const DwgPreview bmp = readDwgPreview(bmpFile);
    const DwgPreview fromPng = readDwgPreview(pngFile);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_LT(peakKilobytes() - before, 64 * 1024 * kestrune::test::kMemoryFactor);  // not the gigabyte stated
    ASSERT_EQ(bmp.status, DwgPreviewStatus::Ok);
    EXPECT_EQ(bmp.image.pixel(0, 0), qRgb(255, 0, 0));
    ASSERT_EQ(fromPng.status, DwgPreviewStatus::Ok);
    EXPECT_EQ(fromPng.image.size(), QSize(3, 2));

    // A picture that really needs more than a preview ever takes is refused
    // with the control's note: a bitmap of 2048 x 2048 at 32 bits, and a PNG
    // whose chunks run on past that.
    const QString huge = sparseDrawing(dir, "huge.dwg", dib(32, 2048, 2048, {}, 0, {}), 2, kGigabyte);
    EXPECT_EQ(readDwgPreview(huge).status, DwgPreviewStatus::Unsupported);
    const QString endless = sparseDrawing(dir, "endless.dwg", png.left(png.size() - 12), 6, kGigabyte);
    EXPECT_EQ(readDwgPreview(endless).status, DwgPreviewStatus::Unsupported);
    EXPECT_LT(peakKilobytes() - before, 64 * 1024 * kestrune::test::kMemoryFactor);
}

TEST(DwgStretch, FourModesOnACheckerboard)
{
    QImage board(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const auto uniform = [](const QImage& image, QRgb colour) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != colour)
                    return false;
        return true;
    };
    EXPECT_TRUE(uniform(stretchImage(board, QSize(2, 2), StretchDark), qRgb(0, 0, 0)));
    EXPECT_TRUE(uniform(stretchImage(board, QSize(2, 2), StretchLight), qRgb(255, 255, 255)));
    // Nearest samples the pixel under each destination centre: (1,1), (3,1), ...
    EXPECT_TRUE(uniform(stretchImage(board, QSize(2, 2), StretchNearest), board.pixel(1, 1)));
    const QImage average = stretchImage(board, QSize(2, 2), StretchSmooth);
    ASSERT_EQ(average.size(), QSize(2, 2));
    EXPECT_NEAR(qRed(average.pixel(1, 0)), 128, 1);
    EXPECT_TRUE(uniform(average, average.pixel(0, 0)));

    // Enlarging: the first three repeat pixels, smoothing blends neighbours.
    const QImage small = board.copy(0, 0, 2, 2);
    for (int mode : {StretchDark, StretchLight, StretchNearest}) {
        const QImage big = stretchImage(small, QSize(4, 4), mode);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(big.pixel(x, y), small.pixel(x / 2, y / 2)) << mode << " at " << x << "," << y;
    }
    const QImage blended = stretchImage(small, QSize(4, 4), StretchSmooth);
    EXPECT_EQ(blended.pixel(0, 0), small.pixel(0, 0));
    EXPECT_EQ(blended.pixel(3, 3), small.pixel(1, 1));
    EXPECT_GT(qRed(blended.pixel(1, 0)), 0);
    EXPECT_LT(qRed(blended.pixel(1, 0)), 255);
    // Unequal factors: 4x4 to 1x8.
    EXPECT_EQ(stretchImage(board, QSize(1, 8), StretchDark).pixel(0, 5), qRgb(0, 0, 0));
    EXPECT_TRUE(stretchImage(board, QSize(0, 3), StretchSmooth).isNull());
    EXPECT_TRUE(stretchImage(board, QSize(1000000, 1000000), StretchNearest).isNull());
    EXPECT_EQ(stretchImage(board, QSize(1000000, 1000000), StretchNearest, QRect(500000, 0, 3, 2)).size(), QSize(3, 2));

    // A part of the scaled picture is that part of the whole, in every mode.
    QImage odd(5, 3, QImage::Format_RGB32);
    for (int i = 0; i < 15; ++i)
        odd.setPixel(i % 5, i / 5, qRgb(i * 17, 255 - i * 13, (i * 71) % 256));
    for (int mode = 1; mode <= 4; ++mode)
        for (const QSize& size : {QSize(3, 2), QSize(11, 7)})
            EXPECT_EQ(stretchImage(odd, size, mode, QRect(1, 1, 2, 5)),
                      stretchImage(odd, size, mode).copy(QRect(1, 1, 2, 5) & QRect(QPoint(), size)))
                << mode << " " << size.width();
}
