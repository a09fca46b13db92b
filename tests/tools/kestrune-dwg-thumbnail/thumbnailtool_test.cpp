#include "core/documents/dwgpreview.h"

#include "core/system/rawargs.h"
#include "support/rawnames.h"
#include "support/sanitized.h"
#include "support/tempdir.h"

#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/resource.h>

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

// Caps the memory of the tool `process` starts at `bytes`. A sanitizer
// reserves terabytes of address space for itself, so a sanitized tool gets
// its sanitizer's own limits instead of an address-space limit: no single
// block and no resident set over the cap, each ending it with a report.
void limitMemory(QProcess& process, rlim_t bytes)
{
    if (!kestrune::test::kSanitized) {
        process.setChildProcessModifier([bytes] {
            const rlimit limit{bytes, bytes};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        return;
    }
    const QByteArray mb = QByteArray::number(quint64(bytes >> 20));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
        const QString options = env.value(name);
        env.insert(name, options + (options.isEmpty() ? "" : ":") + "max_allocation_size_mb=" + mb +
                             ":hard_rss_limit_mb=" + mb);
    }
    process.setProcessEnvironment(env);
}

// With `addressSpace` (bytes), the tool runs with no more memory than that.
// Names that are not UTF-8 are handed over as their bytes, as file managers do.
ToolRun thumbnail(const QStringList& args, rlim_t addressSpace = 0)
{
    QProcess process;
    if (addressSpace)
        limitMemory(process, addressSpace);
    const QString program = QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-dwg-thumbnail");
    if (!addressSpace)
        kestrune::handRawNamesOver(process, program, args);
    process.start(program, args);
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

// A truncated drawing (its first 107 bytes) cannot be read: status 2, as for
// any unreadable input.
TEST(DwgThumbnailTool, ATruncatedDrawingIsUnreadableInput)
{
    TempDir dir;
    QFile whole(sample("2000_Line.dwg"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QString cut = dir.write("cut.dwg", whole.read(107));
    const ToolRun run = thumbnail({cut, dir.file("out.png")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.errors.contains(kestrune::dwgPreviewReason(kestrune::DwgPreviewStatus::Damaged)));
    EXPECT_FALSE(QFile::exists(dir.file("out.png")));
}

// File managers hand over names that are not UTF-8 as their bytes, and run
// the tool unasked: a drawing that states a gigabyte for its picture is
// thumbnailed within little memory.
TEST(DwgThumbnailTool, ReadsAndWritesNamesThatAreNotUtf8AndStaysSmall)
{
    TempDir dir;
    const QString input = kestrune::test::writeRaw(dir.path(), "\xB0\xEF\xD6\xFA.dwg", kestrune::test::readBytes(sample("2013_Arc.dwg")));
    const QString output = kestrune::decodeFileName(kestrune::encodeFileName(dir.path()) + "/\xCD\xBC.png");
    ASSERT_EQ(thumbnail({input, output}).status, 0);
    ASSERT_TRUE(kestrune::test::rawExists(dir.path(), "\xCD\xBC.png"));

    // The sample's bitmap entry (its second), stated to run to the end of a
    // sparse gigabyte.
    QByteArray bytes = kestrune::test::readBytes(sample("2000_Line.dwg"));
    const auto le32 = [&bytes](int at) {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | uchar(bytes[at + i]);
        return v;
    };
    const int entry = int(le32(0x0D)) + 21 + 9;
    ASSERT_EQ(bytes[entry], char(2));
    const quint32 length = (quint32(1) << 30) - le32(entry + 1);
    for (int i = 0; i < 4; ++i)
        bytes[entry + 5 + i] = char((length >> (8 * i)) & 0xFF);
    QFile sparse(dir.file("sparse.dwg"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    sparse.write(bytes);
    ASSERT_TRUE(sparse.resize(qint64(1) << 30));
    sparse.close();
    EXPECT_EQ(thumbnail({sparse.fileName(), dir.file("sparse.png")}, rlim_t(768) << 20).status, 0);
    EXPECT_EQ(QImage(dir.file("sparse.png")).size(), QSize(256, 102));
}
