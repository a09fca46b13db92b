#include "core/same/samefinder.h"

#include "core/batch/batchrunner.h"
#include "core/fs/fsnames.h"
#include "support/rawnames.h"
#include "support/sametree.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kestrune;
using kestrune::test::TempDir;

namespace {

SameResult find(const QStringList& folders, qint64 minSize = 1, const QString& pattern = {}, int threads = 0)
{
    SameOptions options;
    options.folders = folders;
    options.minSize = minSize;
    options.pattern = pattern;
    options.threads = threads;
    return findSameFiles(options, nullptr);
}

}  // namespace

// The traps (same size, same first block, hard links, empty files, links,
// names that are not UTF-8) give exactly the groups cmp finds, on one
// reader thread or several, and each inode once.
TEST(SameFinder, GroupsEqualCmpOnTrapTree)
{
    TempDir t;
    TempDir outside;
    test::makeTrapTree(t.file("tree"), outside.path());
    const test::PathGroups expected = test::groupsByCmp(t.file("tree"));
    ASSERT_EQ(expected.size(), 4u);  // small, large, block, the hard-linked file with its copy
    for (int threads : {1, 3}) {
        const SameResult r = find({t.file("tree")}, 1, {}, threads);
        EXPECT_FALSE(r.cancelled);
        EXPECT_TRUE(r.unreadable.empty());
        EXPECT_EQ(test::byInodeName(test::pathGroups(r.groups), t.file("tree")), expected) << threads;
        for (const SameGroup& g : r.groups)
            for (size_t i = 1; i < g.files.size(); ++i)
                EXPECT_NE(g.files[i].inode, g.files[i - 1].inode);
    }
}

TEST(SameFinder, GroupsSortedByWastedSpaceWithHeader)
{
    TempDir t;
    for (const char* name : {"a", "b", "c"})
        t.write(QStringLiteral("x/") + QLatin1String(name), QByteArray(100, 'a'));
    t.write("x/big1", QByteArray(250, 'b'));
    t.write("x/big2", QByteArray(250, 'b'));
    const SameResult r = find({t.file("x")});
    ASSERT_EQ(r.groups.size(), 2u);
    EXPECT_EQ(r.groups[0].size, 250);  // 250 wasted against 200
    EXPECT_EQ(groupHeader(r.groups[1]), QStringLiteral("3 个文件，每个 100 字节"));
}

// A folder listed twice, or inside another listed one, adds no file twice.
TEST(SameFinder, OverlappingFoldersCountEachFileOnce)
{
    TempDir t;
    t.write("a/b/one", "same");
    t.write("a/two", "same");
    const SameResult r = find({t.file("a"), t.file("a/b"), t.file("a")});
    ASSERT_EQ(r.groups.size(), 1u);
    EXPECT_EQ(r.groups[0].files.size(), 2u);
}

// A chosen folder may itself be a link (to a folder kept elsewhere): it is
// searched like the folder it leads to.
TEST(SameFinder, ChosenFolderThatIsALinkIsSearched)
{
    TempDir t;
    t.write("real/one", "same");
    t.write("real/sub/two", "same");
    ASSERT_EQ(::symlink(encodeFileName(t.file("real")).constData(), encodeFileName(t.file("link")).constData()), 0);
    const SameResult r = find({t.file("link")});
    EXPECT_TRUE(r.unreadable.empty());
    ASSERT_EQ(r.groups.size(), 1u);
    EXPECT_EQ(r.groups[0].files.size(), 2u);
}

TEST(SameFinder, MinimumSizeAndPatternFilter)
{
    TempDir t;
    t.write("d/a.doc", QByteArray(10, 'x'));
    t.write("d/b.DOC", QByteArray(10, 'x'));
    t.write("d/c.txt", QByteArray(10, 'x'));
    t.write("d/big.txt", QByteArray(5000, 'y'));
    t.write("d/big.doc", QByteArray(5000, 'y'));
    const struct {
        qint64 minSize;
        const char* pattern;
        size_t groups;
        size_t firstGroupFiles;
    } cases[] = {
        {1, "", 2, 2},          // the 5000-byte pair wastes more
        {100, "", 1, 2},        // only the large pair
        {1, "*.doc", 1, 2},     // a.doc and b.DOC: case does not matter
        {1, "*.txt;*.doc", 2, 2},
        {1, "a.*;c.*", 1, 2},
        {6000, "", 0, 0},
    };
    for (const auto& c : cases) {
        const SameResult r = find({t.file("d")}, c.minSize, QString::fromLatin1(c.pattern));
        ASSERT_EQ(r.groups.size(), c.groups) << c.minSize << c.pattern;
        if (c.groups) {
            EXPECT_EQ(r.groups[0].files.size(), c.firstGroupFiles) << c.pattern;
        }
    }
}

TEST(SameFinder, MissingFolderIsNamed)
{
    TempDir t;
    const SameResult r = find({t.file("nowhere")});
    ASSERT_EQ(r.unreadable.size(), 1u);
    EXPECT_EQ(r.unreadable[0].path, t.file("nowhere"));
}

// A stop while the walk or the comparison goes on gives no groups.
TEST(SameFinder, StopGivesNoGroups)
{
    TempDir t;
    for (int i = 0; i < 20; ++i)
        t.write(QStringLiteral("f%1/x").arg(i), QByteArray(200 * 1024, 'z'));
    for (int stopAt : {3, 25}) {  // a folder of the walk, a file being compared
        ProgressSink sink;
        ProgressSink::setTestHook([&](const QString&, int done) { return done >= stopAt; });
        SameOptions options;
        options.folders = {t.path()};
        const SameResult r = findSameFiles(options, &sink);
        ProgressSink::setTestHook({});
        EXPECT_TRUE(r.cancelled) << stopAt;
        EXPECT_TRUE(r.groups.empty()) << stopAt;
    }
}

TEST(SameFinder, KeeperByRuleAndReferenceFolder)
{
    SameGroup g;
    g.size = 1;
    g.files = {{"/t/a/x", 1, 300, 1, 1, 0}, {"/t/b/x", 1, 100, 1, 2, 0}, {"/t/ref/x", 1, 200, 1, 3, 0},
               {"/t/ref/y", 1, 250, 1, 4, 0}};
    const struct {
        KeepRule rule;
        QStringList reference;
        int keeper;
    } cases[] = {
        {KeepRule::Oldest, {}, 1},
        {KeepRule::Newest, {}, 0},
        {KeepRule::First, {}, 0},
        {KeepRule::Oldest, {"/t/ref/"}, 2},
        {KeepRule::Newest, {"/t/ref"}, 3},
        {KeepRule::Oldest, {"/t/re"}, 1},  // not a folder of those paths
    };
    for (const auto& c : cases)
        EXPECT_EQ(keeperOf(g, c.rule, c.reference), c.keeper) << c.reference.join(',').toStdString();
}

TEST(SameFinder, ReadableSize)
{
    const std::pair<qint64, const char*> cases[] = {
        {0, "0 字节"}, {1023, "1023 字节"}, {1536, "1.5 KB"}, {23 * 1024 * 1024 + 400000, "23 MB"},
        {qint64(3) << 30, "3.0 GB"}};
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(readableSize(bytes), QString::fromUtf8(text));
}
