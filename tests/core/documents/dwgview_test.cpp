#include "core/documents/dwgview.h"

#include "core/fs/fso.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::readBytes;
using kestrune::test::setReadOnly;
using kestrune::test::TempDir;

namespace {

DwgViewGeometry homeGeometry()
{
    DwgViewGeometry g;
    g.load();
    return g;
}

QString nameOf(const std::optional<QString>& path)
{
    return path ? QFileInfo(*path).fileName() : QStringLiteral("(nothing)");
}

}  // namespace

TEST(DwgViewGeometry, EnlargeAndShrinkInSinglePrecisionWithTheBarRules)
{
    DwgViewGeometry g = homeGeometry();
    EXPECT_FALSE(g.hScrollVisible);
    EXPECT_FALSE(g.vScrollVisible);
    EXPECT_EQ(g.pixels(), QRect(0, 0, 689, 441));

    // One enlarge: 11368.5 + 2 x 255 > 10575 and 7276.5 + 2 x 255 > 6855.
    g.enlarge();
    EXPECT_EQ(g.width, 11368.5f);
    EXPECT_EQ(g.height, 7276.5f);
    EXPECT_TRUE(g.hScrollVisible);
    EXPECT_TRUE(g.vScrollVisible);
    g.enlarge();
    g.enlarge();
    EXPECT_NEAR(g.width, 13755.9, 0.05);
    EXPECT_EQ(g.pixels().size(), QSize(917, 587));  // 15 twips a pixel
    EXPECT_EQ(g.left, 0.0f);  // grows to the right and down
    EXPECT_EQ(g.top, 0.0f);

    // One shrink from home: 9301.5 + 510 <= 10575, 5953.5 + 510 <= 6855.
    g.home();
    g.shrink();
    EXPECT_EQ(g.width, 9301.5f);
    EXPECT_EQ(g.height, 5953.5f);
    EXPECT_FALSE(g.hScrollVisible);
    EXPECT_FALSE(g.vScrollVisible);

    // 0.9 is not the inverse of 1.1: the pair leaves 99 %.
    g.home();
    g.enlarge();
    g.shrink();
    EXPECT_NEAR(g.width, 10335 * 0.99, 0.01);
    // No bounds either way.
    for (int i = 0; i < 200; ++i)
        g.shrink();
    EXPECT_GT(g.width, 0.0f);
    EXPECT_EQ(g.pixels().width(), 0);
    for (int i = 0; i < 400; ++i)
        g.enlarge();
    EXPECT_GT(g.width, 1e9f);
    EXPECT_GT(g.pixels().width(), 1000000);  // held within what a widget takes
}

TEST(DwgViewGeometry, ScrollOffsetsHomeAndResize)
{
    DwgViewGeometry g;
    g.left = 30;
    g.top = 44.6f;
    g.load();
    EXPECT_EQ(g.HomeLeft, 30.0f);
    EXPECT_EQ(g.HomeTop, 45);  // the nearest whole twip
    g.enlarge();
    // At the bar's maximum the drawing has moved by its whole size.
    g.scrollHorizontal(100, 100);
    EXPECT_EQ(g.left, 30.0f - 11368.5f);
    g.scrollVertical(100, 100);
    EXPECT_EQ(g.top, 45.0f - 7276.5f);
    g.scrollHorizontal(25, 100);
    EXPECT_EQ(g.left, 30.0f - 11368.5f / 4);
    EXPECT_EQ(g.pixels().left(), qRound((30.0 - 11368.5 / 4) / 15));
    g.scrollVertical(0, 0);  // a bar without range moves nothing
    EXPECT_EQ(g.top, 45.0f - 7276.5f);

    // Home puts size and place back; the bars stay as the zoom left them.
    g.home();
    EXPECT_EQ(g.width, 10335.0f);
    EXPECT_EQ(g.left, 30.0f);
    EXPECT_EQ(g.top, 45.0f);
    EXPECT_TRUE(g.hScrollVisible);

    // A resize takes the zoomed size as the new home size.
    g.enlarge();
    g.resized();
    g.shrink();
    g.home();
    EXPECT_EQ(g.width, 11368.5f);
}

TEST(DwgFolderSteps, NextAndPreviousLoadOnlyDrawingsAndWrapOnce)
{
    TempDir dir;
    for (const char* name : {"a.dwg", "b.txt", "c.dwg", "d.txt"})
        dir.write(QString::fromLatin1(name));
    FileSystemObject fso;
    DwgFolderSteps steps;
    EXPECT_FALSE(steps.next());  // nothing opened yet
    EXPECT_FALSE(steps.previous());

    steps.open(dir.file("b.txt"), fso);
    EXPECT_EQ(steps.FolderNames, QStringList({"d.txt", "a.dwg", "b.txt", "c.dwg", "d.txt"}));
    EXPECT_EQ(steps.FolderPos, 0);
    EXPECT_EQ(steps.folder(), dir.path());
    // The step that wraps keeps looking instead of loading d.txt.
    QStringList seen;
    for (int i = 0; i < 5; ++i)
        seen << nameOf(steps.next());
    EXPECT_EQ(seen, QStringList({"a.dwg", "c.dwg", "a.dwg", "c.dwg", "a.dwg"}));
    EXPECT_EQ(steps.next(), dir.file("c.dwg"));

    steps.open(dir.file("a.dwg"), fso);
    seen.clear();
    for (int i = 0; i < 3; ++i)
        seen << nameOf(steps.previous());
    EXPECT_EQ(seen, QStringList({"c.dwg", "a.dwg", "c.dwg"}));
}

TEST(DwgFolderSteps, FoldersWithoutDrawingsChangeNothing)
{
    FileSystemObject fso;
    DwgFolderSteps steps;

    TempDir text;
    text.write("notes.txt");
    text.write("dwg.bak");
    steps.open(text.file("notes.txt"), fso);
    steps.FolderPos = 1;
    EXPECT_FALSE(steps.next());
    EXPECT_FALSE(steps.previous());
    EXPECT_EQ(steps.FolderPos, 1);

    // A path in an empty folder, and one in a folder that does not exist:
    // the single empty entry, nothing to step to.
    TempDir empty;
    steps.open(empty.file("missing.dwg"), fso);
    EXPECT_EQ(steps.FolderNames, QStringList({QString()}));
    EXPECT_FALSE(steps.next());
    steps.open(empty.file("no/such/folder/x.dwg"), fso);
    EXPECT_EQ(steps.FolderNames, QStringList({QString()}));
    EXPECT_FALSE(steps.previous());

    // The name test needs no dot and ignores case; the folder's only
    // drawing is found again from itself.
    TempDir odd;
    odd.write("planxdwg");
    odd.write("readme");
    steps.open(odd.file("readme"), fso);
    EXPECT_EQ(nameOf(steps.next()), "planxdwg");
    EXPECT_EQ(nameOf(steps.next()), "planxdwg");
    EXPECT_TRUE(isDrawingName("A.DWG"));
    EXPECT_FALSE(isDrawingName("a.dw"));

    steps.clear();
    EXPECT_TRUE(steps.FolderNames.isEmpty());
    EXPECT_FALSE(steps.next());
}

TEST(DwgFolderSteps, MoreThan32767FilesDoNotOverflow)
{
    TempDir dir;
    for (int i = 0; i < 33000; ++i) {
        QFile f(dir.file(QStringLiteral("f%1.txt").arg(i, 5, 10, QLatin1Char('0'))));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    dir.write("zz.dwg");
    FileSystemObject fso;
    DwgFolderSteps steps;
    steps.open(dir.file("f00000.txt"), fso);
    ASSERT_EQ(steps.FolderNames.size(), 33002);
    EXPECT_EQ(nameOf(steps.next()), "zz.dwg");
    EXPECT_EQ(steps.FolderPos, 33001);
    EXPECT_EQ(nameOf(steps.previous()), "zz.dwg");  // wraps through entry 0
    EXPECT_EQ(steps.FolderPos, 0);
}

TEST(SaveBitmap, WritesABmpThatReadsBackAndReplacesThroughARename)
{
    TempDir dir;
    QImage picture(37, 21, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 7, y * 11, (x * y) % 256));
    const QString path = dir.write("out.bmp", "old contents");

    EXPECT_EQ(saveBitmap(picture, path), std::nullopt);
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "bmp");
    const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(back, picture);
    EXPECT_EQ(readBytes(path).left(2), "BM");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"out.bmp"}));  // no leftovers

    // Transparency is laid on white, as the control shows it.
    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    clear.setPixel(1, 1, qRgba(0, 0, 255, 255));
    ASSERT_EQ(saveBitmap(clear, path), std::nullopt);
    const QImage flat = QImage(path).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(flat.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(flat.pixel(1, 1), qRgb(0, 0, 255));
}

TEST(SaveBitmap, AFailedSaveLeavesTheOldFileWhole)
{
    TempDir dir;
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);

    const QString locked = dir.write("locked.bmp", "keep me");
    setReadOnly(locked, true);
    const std::optional<QString> why = saveBitmap(picture, locked);
    ASSERT_TRUE(why);
    EXPECT_EQ(*why, QStringLiteral("目标文件只读"));
    EXPECT_EQ(readBytes(locked), "keep me");

    EXPECT_TRUE(saveBitmap(picture, dir.file("no/such/folder/x.bmp")));
    EXPECT_TRUE(saveBitmap(picture, dir.mkdir("folder.bmp")));
    EXPECT_TRUE(saveBitmap(QImage(), dir.file("none.bmp")));
    EXPECT_FALSE(dir.exists("none.bmp"));
}
