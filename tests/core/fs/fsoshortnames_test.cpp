#include "core/fs/fso.h"
#include "core/fs/fsoshortnames.h"

#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::TempDir;

TEST(ShortNames, ValidNamesStandAndOthersGetUniqueAliasesInListingOrder)
{
    EXPECT_TRUE(isValidShortName("README.TXT"));
    EXPECT_TRUE(isValidShortName("readme.txt"));
    EXPECT_TRUE(isValidShortName("A"));
    EXPECT_FALSE(isValidShortName("notes.txtx"));
    EXPECT_FALSE(isValidShortName("page.html"));
    EXPECT_FALSE(isValidShortName("a.b.c"));
    EXPECT_FALSE(isValidShortName("longername.txt"));
    EXPECT_FALSE(isValidShortName("with space.txt"));
    EXPECT_FALSE(isValidShortName("主页.htm"));

    const std::vector<QString> in{"notes.txtx", "page.html", "Page.htm", "pageone.html", "pagetwo.html",
                                  "setup.exe.bak", ".bashrc", "a+b.txt", "PAGE~1.HTM"};
    const std::vector<QString> out = shortNamesFor(in);
    EXPECT_EQ(out[0], "NOTES~1.TXT");
    // PAGE~1.HTM is taken by a real file of that name.
    EXPECT_EQ(out[1], "PAGE~2.HTM");
    EXPECT_EQ(out[2], "Page.htm");
    EXPECT_EQ(out[3], "PAGEON~1.HTM");
    EXPECT_EQ(out[4], "PAGETW~1.HTM");
    EXPECT_EQ(out[5], "SETUPE~1.BAK");
    EXPECT_EQ(out[6], "BASHRC~1");
    EXPECT_EQ(out[7], "A_B~1.TXT");
    EXPECT_EQ(out[8], "PAGE~1.HTM");

    std::vector<QString> many;
    for (int i = 0; i < 12; ++i)
        many.push_back(QString("document%1.html").arg(i, 2, 10, QChar('0')));
    const std::vector<QString> aliases = shortNamesFor(many);
    EXPECT_EQ(aliases[0], "DOCUME~1.HTM");
    EXPECT_EQ(aliases[8], "DOCUME~9.HTM");
    EXPECT_EQ(aliases[9], "DOCUM~10.HTM");
    EXPECT_EQ(QSet<QString>(aliases.begin(), aliases.end()).size(), 12);
}

TEST(ShortNames, FilesOfAFolderGetTheirAliases)
{
    TempDir t;
    t.write("page.html");
    t.write("notes.txtx");
    t.write("A.TXT");
    FileSystemObject fso;
    QStringList shortNames;
    for (const File& f : fso.GetFolder(t.path()).Files())
        shortNames << f.ShortName();
    EXPECT_EQ(shortNames, (QStringList{"A.TXT", "NOTES~1.TXT", "PAGE~1.HTM"}));
    EXPECT_EQ(fso.GetFile(t.file("page.html")).ShortName(), "PAGE~1.HTM");
    EXPECT_EQ(fso.GetFolder(t.path()).ShortPath(), fso.GetFolder(t.path()).Path());
}

TEST(ShortNames, EndingKnownAloneAgreesWithTheFoldersAliases)
{
    // Names whose alias ending depends on the other names (short or missing
    // extensions, numbered tails) sit beside ones where it does not.
    const std::vector<QString> in{"a.c",          "verylongname.c",  "verylongname2.c", "README",
                                  "longreadme",   "longreadme2",     "x.tx",            "another.tx",
                                  "page.html",    "Page.htm",        ".bashrc",         "..hidden.txt",
                                  "主页.htm",     "报告",            "a b.t t",         "file.名字",
                                  "trail.",       "setup.exe.bak",   "n.TXT",           "report.Txt1"};
    const std::vector<QString> aliases = shortNamesFor(in);
    int knownAlone = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        for (int count = 0; count <= 4; ++count) {
            const std::optional<QString> ending = shortNameEnding(in[i], count);
            if (ending) {
                ++knownAlone;
                EXPECT_EQ(*ending, aliases[i].right(count)) << in[i].toStdString() << " " << count;
            }
        }
    }
    // "verylongname.c" ends in a tail digit, so its last three characters
    // are left to the folder.
    EXPECT_FALSE(shortNameEnding("verylongname.c", 3).has_value());
    EXPECT_GT(knownAlone, 40);

    TempDir t;
    for (const QString& n : in)
        t.write(n);
    FileSystemObject fso;
    for (const File& f : fso.GetFolder(t.path()).Files())
        EXPECT_EQ(f.ShortNameEnding(3), f.ShortName().right(3)) << f.Name().toStdString();
}
