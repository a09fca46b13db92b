#include "core/fs/fso.h"
#include "core/system/textcodec.h"

#include "support/tempdir.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::TempDir;

TEST(TextCodec, Gb18030AgreesWithCodePage936AndKeepsEveryOtherCharacter)
{
    // 中文 in code page 936.
    EXPECT_EQ(toGb18030(QStringLiteral("中文")), QByteArray("\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(toGb18030(QStringLiteral("filter=*.txt")), QByteArray("filter=*.txt"));
    EXPECT_EQ(toGb18030(QStringLiteral("é")), QByteArray("\xA8\xA6"));
    // U+20000 has no code in 936; GB18030 keeps it in four bytes.
    const QString rare = QString::fromUcs4(U"\U00020000é主页");
    const QByteArray bytes = toGb18030(rare);
    EXPECT_EQ(bytes, QByteArray("\x95\x32\x82\x36\xA8\xA6\xD6\xF7\xD2\xB3"));
    EXPECT_EQ(fromGb18030(bytes), rare);
    EXPECT_EQ(decodeProgramText(bytes), rare);
}

TEST(TextCodec, ProgramTextIsUtf8WhenValidElseGb18030)
{
    EXPECT_EQ(decodeProgramText(QByteArray("\xEF\xBB\xBF") + QStringLiteral("每日").toUtf8()), QStringLiteral("每日"));
    EXPECT_EQ(decodeProgramText(QStringLiteral("日积月累").toUtf8()), QStringLiteral("日积月累"));
    EXPECT_EQ(decodeProgramText(toGb18030(QStringLiteral("日积月累"))), QStringLiteral("日积月累"));
    EXPECT_EQ(decodeProgramText(QByteArray("plain\r\n")), QStringLiteral("plain\r\n"));

    TempDir t;
    QString error;
    EXPECT_EQ(readProgramTextFile(t.write("t.txt", toGb18030(QStringLiteral("提示")))), QStringLiteral("提示"));
    EXPECT_FALSE(readProgramTextFile(t.file("missing.txt"), &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(readProgramTextFile(t.path(), &error).has_value());
}

TEST(TextFiles, CreateTextFileWritesGb18030LinesWithCrLfAndReplacesOnClose)
{
    TempDir t;
    const QString path = t.write("setting.txt", "old content that is longer than the new one");
    FileSystemObject fso;
    {
        TextStream s = fso.CreateTextFile(path, true);
        s.WriteLine(QStringLiteral("filter=*.chm;文档"));
        s.WriteLine(QString::fromUcs4(U"\U00020000"));
        // The old content stays until the file is closed.
        EXPECT_EQ(t.read("setting.txt"), QByteArray("old content that is longer than the new one"));
        s.Close();
    }
    EXPECT_EQ(t.read("setting.txt"),
              QByteArray("filter=*.chm;\xCE\xC4\xB5\xB5\r\n") + toGb18030(QString::fromUcs4(U"\U00020000")) + "\r\n");
    EXPECT_EQ(QDir(t.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"setting.txt"});

    // Without replacing, an existing file is an error; a missing folder always is.
    EXPECT_THROW(fso.CreateTextFile(path, false), FsError);
    EXPECT_THROW(fso.CreateTextFile(t.file("no/such/folder.txt")), FsError);
    {
        TextStream s = fso.CreateTextFile(t.file("fresh.txt"), false);
        s.WriteLine(QStringLiteral("a"));
    }  // closed by going out of scope
    EXPECT_EQ(t.read("fresh.txt"), QByteArray("a\r\n"));
}
