// The command line as a new user meets it: typing slips, relative paths,
// empty folders, odd names, a copy onto itself, and scripts that delete
// duplicates.

#include "core/fs/fsnames.h"
#include "core/records/recordstore.h"
#include "support/clirun.h"
#include "support/rawnames.h"
#include "support/tempdir.h"

#include <QDir>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;

// Every command `kestrune help` lists answers --help with its own usage.
TEST_F(CliTest, EveryListedCommandAnswersItsOwnHelp)
{
    const CliRun help = kestrune({"help"});
    ASSERT_EQ(help.code, 0);
    QList<QByteArray> names;
    for (const QByteArray& line : lines(help.out))
        if (line.startsWith("  kestrune "))
            names << line.mid(11, line.indexOf(' ', 11) - 11);
    ASSERT_GE(names.size(), 12);
    for (const QByteArray& name : names) {
        const CliRun run = kestrune({name, "--help"});
        EXPECT_EQ(run.code, 0) << name.constData();
        EXPECT_TRUE(run.out.startsWith("用法: kestrune " + name + ' ')) << run.out.constData();
    }
}

// A single bare word that is no command and no file here is a typing slip:
// status 2 and the nearest command, never a drawing to open.
TEST_F(CliTest, AnUnknownWordIsAMistypedCommand)
{
    const struct {
        const char* typed;
        const char* nearest;  // nullptr: none near
    } cases[] = {{"lgo", "log"}, {"recrod", "record"}, {"dupe", "dupes"}, {"Copy", "copy"}, {"zzzzzz", nullptr}};
    InFolder here(scratch);
    for (const auto& c : cases) {
        const CliRun run = kestrune({c.typed});
        EXPECT_EQ(run.code, 2) << c.typed;
        EXPECT_TRUE(run.err.contains(QByteArray("未知的命令: ") + c.typed)) << run.err.constData();
        if (c.nearest)
            EXPECT_TRUE(run.err.contains(QByteArray("是否要运行 kestrune ") + c.nearest + "?")) << run.err.constData();
        else
            EXPECT_TRUE(run.err.contains("用法见 kestrune help")) << run.err.constData();
    }
    // A file of that name is opened as before (here: no display to show it).
    dir.write(QStringLiteral("scratch/lgo"));
    const CliRun file = kestrune({"lgo"});
    EXPECT_NE(file.code, 2);
    EXPECT_FALSE(file.err.contains("未知的命令")) << file.err.constData();
}

// record logs a relative folder as its absolute path; a folder without
// files is said to have none and logs nothing.
TEST_F(CliTest, RecordLogsTheFolderAsAnAbsolutePath)
{
    const QString folder = dir.write(QStringLiteral("files/数据/a.txt"), "12345").section(QLatin1Char('/'), 0, -2);
    dir.mkdir(QStringLiteral("files/empty"));
    {
        InFolder here(dir.file(QStringLiteral("files")));
        const CliRun empty = kestrune({"record", "empty"});
        EXPECT_EQ(empty.code, 0);
        EXPECT_TRUE(empty.err.contains("没有文件")) << empty.err.constData();
        EXPECT_TRUE(kestrune({"log"}).out.isEmpty());

        const CliRun record = kestrune({"record", "./数据/"});
        ASSERT_EQ(record.code, 0) << record.err.constData();
    }
    const CliRun log = kestrune({"log"});
    EXPECT_TRUE(log.out.startsWith(folder.toUtf8() + '\t')) << log.out.constData();
}

// copy and move onto their own source say so and fail; nothing changes.
TEST_F(CliTest, ACopyOrMoveOntoItsSourceIsRefused)
{
    const QString src = makeTree(QStringLiteral("src"));
    const auto before = treeOf(src);
    ASSERT_EQ(::symlink(encodeFileName(src).constData(), encodeFileName(dir.file(QStringLiteral("alias"))).constData()), 0);
    for (const char* command : {"copy", "move"}) {
        for (const QString& destination : {src, src + QStringLiteral("/."), dir.file(QStringLiteral("alias"))}) {
            const CliRun run = kestrune({command, "--pattern", "*.*", encodeFileName(src), encodeFileName(destination)});
            EXPECT_EQ(run.code, 1) << command << ' ' << destination.toStdString();
            EXPECT_TRUE(run.err.contains("源目录和目标目录相同")) << run.err.constData();
            EXPECT_TRUE(run.out.isEmpty());
        }
    }
    EXPECT_EQ(treeOf(src), before);
}

// dupes --delete never deletes a file it was told to look for, named or in
// a folder of names, whatever path the search finds it by; it says so.
TEST_F(CliTest, DupesDeleteKeepsTheFilesItLooksFor)
{
    dir.write(QStringLiteral("t/keep/plan.doc"), "keep");
    dir.write(QStringLiteral("t/old/plan.doc"), "old");
    dir.write(QStringLiteral("t/notes.txt"), "named");
    dir.write(QStringLiteral("t/old/NOTES.TXT"), "old notes");
    InFolder here(dir.file(QStringLiteral("t")));
    const CliRun run = kestrune({"dupes", "--delete", "--no-trash", "--names", "keep", "./notes.txt", "--in", "."});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(lines(run.out).size(), 4) << run.out.constData();
    EXPECT_TRUE(run.err.contains("未删除")) << run.err.constData();
    EXPECT_EQ(treeOf(dir.file(QStringLiteral("t"))),
              (QMap<QByteArray, QByteArray>{{"/keep/plan.doc", "keep"}, {"/notes.txt", "named"}}));
}

// log and query print each name in its exact bytes, though the window shows
// a GBK name and its UTF-8 twin alike; a name whose kept bytes no longer fit
// its record, or whose record is gone, is printed as stored.
TEST_F(CliTest, LogAndQueryPrintNamesInTheirExactBytes)
{
    const QList<QByteArray> names = {"\xC4\xE3\xBA\xC3.txt", "\xFF\xFE.txt", "\xE4\xBD\xA0\xE5\xA5\xBD.txt",
                                     "\\xFF\\xFE.txt", "ok.txt"};
    const QByteArray root = encodeFileName(dir.mkdir(QStringLiteral("t"))) + '/';
    const auto query = [&](qsizetype size) {
        return kestrune({"query", "--size", QByteArray::number(size), "--unit", "B", "--range", "0"}).out;
    };
    for (qsizetype i = 0; i < names.size(); ++i) {
        ASSERT_EQ(::mkdir(root + names[i], 0755), 0);
        writeRaw(decodeFileName(root + names[i]), names[i], QByteArray(i + 1, 'x'));
        ASSERT_EQ(kestrune({"record", root + names[i]}).code, 0);
        EXPECT_EQ(query(i + 1), names[i] + '\n') << i;
    }
    const QList<QByteArray> logged = lines(kestrune({"log"}).out);
    ASSERT_EQ(logged.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        EXPECT_TRUE(logged[i].startsWith(root + names[i] + '\t')) << logged[i].constData();

    // The UTF-8 twin logged after a clear takes the GBK entry's place.
    ASSERT_EQ(kestrune({"log", "--clear"}).code, 0);
    ASSERT_EQ(kestrune({"record", root + names[2]}).code, 0);
    EXPECT_TRUE(kestrune({"log"}).out.startsWith(root + names[2] + '\t'));
    {
        RecordStore store(cliProg + QStringLiteral("/db1.mdb"));
        ASSERT_TRUE(store.open({QStringLiteral("fileInf")}));
        QSqlQuery q(store.database());
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE fileInf SET FileName = 'b.txt' WHERE filesize = 2")));
    }
    EXPECT_EQ(query(2), "b.txt\n");
}
