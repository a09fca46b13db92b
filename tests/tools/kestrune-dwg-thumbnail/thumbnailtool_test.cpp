#include "documents/dwgpreview.h"

#include "support/tempdir.h"

#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

using kestrune::test::TempDir;

namespace {

QString sample(const char* name)
{
    return QStringLiteral(KESTRUNE_TEST_DATA "/dwg/") + QLatin1String(name);
}

struct ToolRun {
    int status = -1;
    QString errors;
};

ToolRun thumbnail(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-dwg-thumbnail"), args);
    process.waitForFinished(30000);
    ToolRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

}  // namespace

TEST(DwgThumbnailTool, WritesThePreviewFittedButNeverEnlarged)
{
    TempDir dir;
    const QImage preview = kestrune::readDwgPreview(sample("2000_Line.dwg")).image;

    EXPECT_EQ(thumbnail({sample("2000_Line.dwg"), dir.file("full.png")}).status, 0);
    EXPECT_EQ(QImage(dir.file("full.png")).convertToFormat(QImage::Format_RGB32), preview);

    EXPECT_EQ(thumbnail({sample("2000_Line.dwg"), dir.file("big.png"), "1024"}).status, 0);
    EXPECT_EQ(QImage(dir.file("big.png")).size(), QSize(256, 102));

    EXPECT_EQ(thumbnail({sample("2013_Arc.dwg"), dir.file("small.png"), "64"}).status, 0);
    const QImage small(dir.file("small.png"));
    EXPECT_EQ(small.width(), 64);
    EXPECT_NEAR(small.height(), 25, 1);
}

TEST(DwgThumbnailTool, StatusTellsNoPictureFromUnreadableInput)
{
    TempDir dir;
    for (const char* name : {"2018_Line.dwg", "2000_PolyLine2D.dwg", "r11_entities-2d.dwg"}) {
        const ToolRun run = thumbnail({sample(name), dir.file("out.png")});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_TRUE(run.errors.contains(kestrune::readDwgPreview(sample(name)).reason())) << name;
        EXPECT_FALSE(QFile::exists(dir.file("out.png"))) << name;
    }
    EXPECT_EQ(thumbnail({dir.write("notes.dwg", "hello"), dir.file("out.png")}).status, 1);

    EXPECT_EQ(thumbnail({dir.file("missing.dwg"), dir.file("out.png")}).status, 2);
    EXPECT_EQ(thumbnail({dir.path(), dir.file("out.png")}).status, 2);
    EXPECT_EQ(thumbnail({}).status, 2);
    EXPECT_EQ(thumbnail({sample("2000_Line.dwg")}).status, 2);
    EXPECT_EQ(thumbnail({sample("2000_Line.dwg"), dir.file("out.png"), "0"}).status, 2);
    EXPECT_EQ(thumbnail({sample("2000_Line.dwg"), dir.file("out.png"), "big"}).status, 2);
    EXPECT_EQ(thumbnail({sample("2000_Line.dwg"), dir.file("no/such/folder/out.png")}).status, 2);
    EXPECT_FALSE(QFile::exists(dir.file("out.png")));
}
