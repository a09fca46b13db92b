#include "core/batch/batchrunner.h"
#include "core/fs/fso.h"

#include "support/batchwait.h"
#include "support/tempdir.h"

#include <QDir>

#include <cerrno>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// r/a/1.txt, r/b/2.txt, r/b/deep/3.txt, r/c/4.txt, r/top.txt
QString writeTree(TempDir& t)
{
    for (const char* n : {"r/a/1.txt", "r/b/2.txt", "r/b/deep/3.txt", "r/c/4.txt", "r/top.txt"})
        t.write(QString::fromLatin1(n));
    return t.file(QStringLiteral("r"));
}

QString relative(const TempDir& t, const QString& path)
{
    return path.mid(t.path().size() + 1);
}

}  // namespace

TEST(Walker, VisitsFilesBeforeSubfoldersDepthFirstInListingOrder)
{
    TempDir t;
    for (const char* n : {"r/z.txt", "r/a.txt", "r/B/x.txt", "r/B/c/y.txt", "r/a2/w.txt", "r/B/d/v.txt"})
        t.write(QString::fromLatin1(n));
    FileSystemObject fso;
    QStringList seen;
    walkFiles(fso.GetFolder(t.file("r")), true, [&](const File& f) { seen << f.Path().mid(t.path().size() + 3); });
    EXPECT_EQ(seen, (QStringList{"a.txt", "z.txt", "a2/w.txt", "B/x.txt", "B/c/y.txt", "B/d/v.txt"}));

    seen.clear();
    walkFiles(fso.GetFolder(t.file("r")), false, [&](const File& f) { seen << f.Name(); });
    EXPECT_EQ(seen, (QStringList{"a.txt", "z.txt"}));
}

TEST(Walker, SkipsAFolderThatCannotBeListedAndSubtreesTheVisitorDeclines)
{
    TempDir t;
    for (const char* n : {"r/a/1.txt", "r/b/2.txt", "r/b/deep/3.txt", "r/c/4.txt"})
        t.write(QString::fromLatin1(n));
    FileSystemObject fso;
    QStringList visited;
    walkFolders(fso.GetFolder(t.file("r")), true, [&](const Folder& f) {
        visited << f.Name();
        // "a" takes "c" away before the walk reaches it: the walk still
        // visits it, its listing fails, and the walk ends without error.
        if (f.Name() == "a")
            QDir(t.file("r/c")).removeRecursively();
        return f.Name() != "b" ? WalkOn::Go : WalkOn::SkipTree;
    });
    EXPECT_EQ(visited, (QStringList{"r", "a", "b", "c"}));

    QStringList files;
    walkFiles(fso.GetFolder(t.file("r")), true, [&](const File& f) { files << f.Name(); });
    EXPECT_EQ(files, (QStringList{"1.txt", "2.txt", "3.txt"}));
}

TEST(Walker, StepsItsSinkBeforeEachFolderWithTheCountAndEndsWhereTheSinkStops)
{
    TempDir t;
    const Folder root = FileSystemObject().GetFolder(writeTree(t));
    int visited = 0;
    QStringList steps;
    QStringList seen;
    const auto visit = [&](const Folder& f) {
        seen << f.Name();
        ++visited;
        return WalkOn::Go;
    };
    {
        const StepHook hook([&](const QString& doing, int done) {
            steps << relative(t, doing) + QLatin1Char('@') + QString::number(done);
            return doing.endsWith(QLatin1String("deep"));
        });
        ProgressSink sink;
        EXPECT_FALSE(walkFolders(root, true, visit, {&sink, &visited}));
        EXPECT_TRUE(sink.stopped());
    }
    EXPECT_EQ(steps, (QStringList{"r@0", "r/a@1", "r/b@2", "r/b/deep@3"}));
    EXPECT_EQ(seen, (QStringList{"r", "a", "b"}));

    // Run to its end, the walk says so; a sink stopped before it starts
    // lets nothing be visited.
    seen.clear();
    ProgressSink sink;
    EXPECT_TRUE(walkFolders(root, true, visit, {&sink}));
    EXPECT_EQ(seen, (QStringList{"r", "a", "b", "deep", "c"}));
    seen.clear();
    sink.stopToken().requestStop();
    EXPECT_FALSE(walkFolders(root, true, visit, {&sink}));
    EXPECT_FALSE(walkFiles(root, true, [&](const File& f) { seen << f.Name(); return WalkOn::Go; }, {&sink}));
    EXPECT_TRUE(seen.isEmpty());
}

TEST(Walker, FileVisitsGoOnSkipTheirFolderOrEndTheWalk)
{
    TempDir t;
    const Folder root = FileSystemObject().GetFolder(writeTree(t));
    t.write(QStringLiteral("r/b/2b.txt"));
    struct Case {
        const char* at;
        WalkOn answer;
        bool ended;
        QStringList files;
    };
    const Case cases[] = {
        {"none", WalkOn::Go, true, {"top.txt", "1.txt", "2.txt", "2b.txt", "3.txt", "4.txt"}},
        {"2.txt", WalkOn::SkipTree, true, {"top.txt", "1.txt", "2.txt", "4.txt"}},
        {"2.txt", WalkOn::Stop, false, {"top.txt", "1.txt", "2.txt"}},
    };
    for (const Case& c : cases) {
        QStringList files;
        QStringList steps;
        int handled = 0;
        const StepHook hook([&](const QString& doing, int done) {
            steps << QDir(doing).dirName() + QLatin1Char('@') + QString::number(done);
            return false;
        });
        ProgressSink sink;
        const bool ended = walkFiles(
            root, true,
            [&](const File& f) {
                files << f.Name();
                ++handled;
                return f.Name() == QLatin1String(c.at) ? c.answer : WalkOn::Go;
            },
            {&sink, &handled});
        EXPECT_EQ(ended, c.ended) << c.at;
        EXPECT_EQ(files, c.files) << c.at;
        // One step per file, before it, with the files handled before it.
        QStringList expected;
        for (int i = 0; i < files.size(); ++i)
            expected << files[i] + QLatin1Char('@') + QString::number(i);
        EXPECT_EQ(steps, expected) << c.at;
    }
}

TEST(Walker, AFolderThatCannotBeListedIsToldAndPassedOver)
{
    TempDir t;
    const Folder root = FileSystemObject().GetFolder(writeTree(t));
    QStringList listed;
    QStringList unlisted;
    const bool ended = walkListings(
        root, true,
        [&](const Folder& f, std::vector<File>& files) {
            listed << f.Name() + QLatin1Char('/') + QString::number(files.size());
            // "a" takes "c" away after the root's listing saw it.
            if (f.Name() == QLatin1String("a"))
                QDir(t.file(QStringLiteral("r/c"))).removeRecursively();
            return WalkOn::Go;
        },
        {}, [&](const Folder& f, const FsError& e) { unlisted << f.Name() + QLatin1Char(':') + QString::number(e.errorNumber()); });
    EXPECT_TRUE(ended);
    EXPECT_EQ(listed, (QStringList{"r/1", "a/1", "b/1", "deep/1"}));
    EXPECT_EQ(unlisted, (QStringList{QStringLiteral("c:%1").arg(ENOENT)}));
}
