#include "core/devtools/helpproject.h"

#include "core/fs/fsnames.h"
#include "support/rawnames.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::TempDir;

namespace {

QStringList linesFor(const TempDir& tmp, const QString& folder, const QString& helpFileName)
{
    return helpProjectLines(FileSystemObject().GetFolder(tmp.file(folder)), helpFileName);
}

QString lineStarting(const QStringList& lines, const QString& start)
{
    for (const QString& l : lines) {
        if (l.startsWith(start))
            return l;
    }
    return QString();
}

}  // namespace

TEST(HelpProject, WritesTheProjectOfTheExampleByteForByte)
{
    TempDir tmp;
    for (const char* f : {"index.htm", "Help.hhk", "Help.hhc", "img/a.gif"})
        tmp.write(QStringLiteral("out/Help/") + QLatin1String(f));
    const QByteArray out = QFile::encodeName(tmp.file(QStringLiteral("out/Help")));

    writeHelpProject(FileSystemObject(), tmp.file(QStringLiteral("out/Help")), QStringLiteral("Help"),
                     QStringLiteral("Help.chm"));

    const QByteArray expected = "[OPTIONS]\r\nCompatibility=1.1 or later\r\n\r\nCompiled file=Help.chm\r\n"
                                "Contents file=Help.hhc\r\nDefault topic=" + out + "/index.htm\r\n"
                                "Display compile progress=No\r\nIndex file=Help.hhk\r\n"
                                "Language=0x804 \xD6\xD0\xCE\xC4(\xD6\xD0\xB9\xFA)\r\n\r\n[FILES]\r\n" +
                                out + "/Help.hhc\r\n" + out + "/Help.hhk\r\n" + out + "/Help.hhp\r\n" + out +
                                "/index.htm\r\n" + out + "/img/a.gif\r\n[INFOTYPES]\r\n";
    EXPECT_EQ(tmp.read(QStringLiteral("out/Help/Help.hhp")), expected);
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(tmp.file(QStringLiteral("out/Help"))).entryList(QDir::Files).size(), 4);
}

TEST(HelpProject, DefaultTopicTakesTheStemPageThenTheHomePageThenIndex)
{
    TempDir tmp;
    const struct {
        QStringList files;
        QString expected;  // "" = no default topic line; "*" stands for the output folder
    } cases[] = {
        {{QStringLiteral("主页.htm"), QStringLiteral("index.htm")}, QStringLiteral("*/主页.htm")},
        {{QStringLiteral("Help.htm"), QStringLiteral("index.htm"), QStringLiteral("主页.htm")}, QStringLiteral("Help.htm")},
        {{QStringLiteral("index.htm"), QStringLiteral("INDEX.HTM.bak")}, QStringLiteral("*/index.htm")},
        {{QStringLiteral("Index.htm"), QStringLiteral("help.htm"), QStringLiteral("start.htm")}, QString()},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString folder = QStringLiteral("case%1").arg(n++);
        for (const QString& f : c.files)
            tmp.write(folder + QLatin1Char('/') + f);
        const QStringList lines = linesFor(tmp, folder, QStringLiteral("Help.chm"));
        QString expected = c.expected;
        if (!expected.isEmpty())
            expected = QStringLiteral("Default topic=") + expected.replace(QLatin1Char('*'), tmp.file(folder));
        EXPECT_EQ(lineStarting(lines, QStringLiteral("Default topic=")), expected) << folder.toStdString();
        // Every other line is there whether or not a default topic is.
        EXPECT_EQ(lines.size(), (expected.isEmpty() ? 9 : 10) + c.files.size()) << folder.toStdString();
    }
}

TEST(HelpProject, ContentsAndIndexPreferTheStemElseTheFirstMatchInListingOrder)
{
    TempDir tmp;
    // Help.CHM has the stem "Help.": Help.hhc is preferred to a.hhc.
    for (const char* f : {"a.hhc", "Help.hhc", "Help.htm", "b.HHK", "c.hhk", "Help.hhk.old"})
        tmp.write(QStringLiteral("one/") + QLatin1String(f));
    QStringList lines = linesFor(tmp, QStringLiteral("one"), QStringLiteral("Help.CHM"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Contents file=Help.hhc")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Default topic=Help.htm")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Index file=b.HHK")));

    // Neither: those lines are left out (a folder named toc.hhc is no contents file).
    tmp.write(QStringLiteral("two/page.htm"));
    tmp.mkdir(QStringLiteral("two/toc.hhc"));
    lines = linesFor(tmp, QStringLiteral("two"), QStringLiteral("Help.chm"));
    EXPECT_EQ(lineStarting(lines, QStringLiteral("Contents file=")), QString());
    EXPECT_EQ(lineStarting(lines, QStringLiteral("Index file=")), QString());
}

TEST(HelpProject, ASecondWriteReplacesTheProjectAndListsWhatIsStillThere)
{
    TempDir tmp;
    const QString out = tmp.mkdir(QStringLiteral("Help"));
    tmp.write(QStringLiteral("Help/old.htm"));
    tmp.write(QStringLiteral("Help/gone.htm"));
    writeHelpProject(FileSystemObject(), out, QStringLiteral("Help"), QStringLiteral("Help.chm"));
    ASSERT_TRUE(tmp.read(QStringLiteral("Help/Help.hhp")).contains("/gone.htm\r\n"));

    QFile::remove(tmp.file(QStringLiteral("Help/gone.htm")));
    tmp.write(QStringLiteral("Help/new.htm"));
    writeHelpProject(FileSystemObject(), out, QStringLiteral("Help"), QStringLiteral("Help.chm"));
    const QByteArray second = tmp.read(QStringLiteral("Help/Help.hhp"));
    EXPECT_FALSE(second.contains("gone.htm"));
    EXPECT_TRUE(second.contains(QFile::encodeName(out) + "/new.htm\r\n"));
    EXPECT_EQ(second.count("[OPTIONS]"), 1);
    EXPECT_EQ(second.count("/Help.hhp\r\n"), 1);
    EXPECT_TRUE(second.endsWith("/old.htm\r\n[INFOTYPES]\r\n"));

    // A missing output folder is reported, and nothing is created.
    EXPECT_THROW(writeHelpProject(FileSystemObject(), tmp.file(QStringLiteral("none")), QStringLiteral("Help"),
                                  QStringLiteral("Help.chm")),
                 FsError);
    EXPECT_FALSE(tmp.exists(QStringLiteral("none")));
}

// Links planted in the output (out/Help -> elsewhere, Notes.hhp -> a file of
// someone else's) are refused, never written through.
TEST(HelpProject, NeverWritesThroughALink)
{
    TempDir tmp;
    const QString elsewhere = tmp.mkdir(QStringLiteral("elsewhere"));
    tmp.mkdir(QStringLiteral("out"));
    ASSERT_TRUE(QFile::link(elsewhere, tmp.file(QStringLiteral("out/Help"))));
    EXPECT_THROW(writeHelpProject(FileSystemObject(), tmp.file(QStringLiteral("out/Help")), QStringLiteral("Help"),
                                  QStringLiteral("Help.chm")),
                 FsError);
    EXPECT_TRUE(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    const QString victim = tmp.write(QStringLiteral("victim.txt"), "victim's own");
    tmp.write(QStringLiteral("out/Notes/page.htm"));
    ASSERT_TRUE(QFile::link(victim, tmp.file(QStringLiteral("out/Notes/Notes.hhp"))));
    try {
        writeHelpProject(FileSystemObject(), tmp.file(QStringLiteral("out/Notes")), QStringLiteral("Notes"),
                         QStringLiteral("Notes.chm"));
        ADD_FAILURE() << "written through the link";
    } catch (const FsError& e) {
        EXPECT_EQ(e.path(), tmp.file(QStringLiteral("out/Notes/Notes.hhp")));
    }
    EXPECT_EQ(tmp.read(QStringLiteral("victim.txt")), "victim's own");
    EXPECT_TRUE(QFileInfo(tmp.file(QStringLiteral("out/Notes/Notes.hhp"))).isSymLink());
    EXPECT_EQ(QDir(tmp.file(QStringLiteral("out/Notes"))).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

// A name the project cannot hold (a CR, bytes that are not GB18030) is left
// out with its line and given back; a GBK name is written as its bytes.
TEST(HelpProject, NamesTheProjectCannotHoldAreLeftOutAndGivenBack)
{
    TempDir tmp;
    const QString out = tmp.mkdir(QStringLiteral("Help"));
    const QString gbk = kestrune::test::writeRaw(out, "\xC4\xE3.htm");
    const QString bad = kestrune::test::writeRaw(out, "bad\xFF.htm");
    const QString cr = tmp.write(QStringLiteral("Help/a\rContents file=b.hhc"));
    const QStringList unlisted = writeHelpProject(FileSystemObject(), out, QStringLiteral("Help"), QStringLiteral("Help.chm"));
    EXPECT_EQ(unlisted, (QStringList{cr, bad}));
    const QByteArray project = tmp.read(QStringLiteral("Help/Help.hhp"));
    EXPECT_TRUE(project.contains("\r\n" + encodeFileName(gbk) + "\r\n"));
    EXPECT_FALSE(project.contains("bad"));
    EXPECT_FALSE(project.contains("Contents file"));
    EXPECT_EQ(project.count("\r\n"), project.count('\n'));
}
