#include "core/duplicates/duplicatesearch.h"

#include "core/duplicates/pathlistmodel.h"
#include "support/rawnames.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <random>

using namespace kestrune;
using kestrune::test::TempDir;

namespace {

// Native form of a path made by TempDir.
QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

DuplicateSearch::Outcome search(const QStringList& files, const QStringList& folders)
{
    FileSystemObject fso;
    DuplicateSearch s(fso);
    return s.run(files, folders);
}

}  // namespace

TEST(DuplicateSearch, FindsEqualNamesWithoutRegardToCaseInWalkOrder)
{
    TempDir t;
    const QString wanted = t.write("a/Readme.TXT");
    t.write("b/readme.txt");
    t.write("b/x/README.TXT");
    t.write("b/readme.txt.bak");
    t.write("b/readme.doc");
    t.write("b/x/areadme.txt");

    const auto out = search({wanted}, {t.file("b")});
    EXPECT_EQ(out.found, QStringList({native(t.file("b/readme.txt")), native(t.file("b/x/README.TXT"))}));
    EXPECT_TRUE(out.skipped.isEmpty());

    // The file looked for lies in a searched tree: it is a result too.
    const auto withOwn = search({wanted}, {t.file("b"), t.file("a")});
    EXPECT_EQ(withOwn.found, QStringList({native(t.file("b/readme.txt")), native(t.file("b/x/README.TXT")),
                                          native(t.file("a/Readme.TXT"))}));

    // The entry written otherwise than a walk would write it, inside and
    // outside a searched tree: the same file, the same results.
    for (const QString& spelt : {t.file("a") + QStringLiteral("/./Readme.TXT"), t.file("a") + QStringLiteral("//Readme.TXT"),
                                 t.file("b/x/../../a/Readme.TXT")}) {
        const auto again = search({spelt}, {t.file("b"), t.file("a")});
        EXPECT_EQ(again.found, withOwn.found) << spelt.toStdString();
        EXPECT_TRUE(again.skipped.isEmpty());
    }
}

TEST(DuplicateSearch, OrdersByFileEntryThenFolderEntryThenOwnFilesBeforeSubfolders)
{
    TempDir t;
    const QString one = t.write("find/one.dat");
    const QString two = t.write("find/Two.dat");
    // In each tree a subfolder that sorts before the folder's own file: the
    // own file still comes first.
    t.write("p/zz/two.dat");
    t.write("p/A/one.dat");
    t.write("p/a2/b/ONE.DAT");
    t.write("p/one.dat");
    t.write("p/TWO.DAT");
    t.write("q/one.dat");

    const auto out = search({two, one}, {t.file("q"), t.file("p")});
    EXPECT_EQ(out.found, QStringList({
                             native(t.file("p/TWO.DAT")),
                             native(t.file("p/zz/two.dat")),
                             native(t.file("q/one.dat")),
                             native(t.file("p/one.dat")),
                             native(t.file("p/A/one.dat")),
                             native(t.file("p/a2/b/ONE.DAT")),
                         }));
}

TEST(DuplicateSearch, RepeatsEveryMatchForEveryPairThatReachesIt)
{
    TempDir t;
    const QString wanted = t.write("find/x.txt");
    const QString sameName = t.write("find/other/X.TXT");
    t.write("b/x.txt");
    t.write("b/sub/x.txt");
    const QString top = native(t.file("b/x.txt"));
    const QString deep = native(t.file("b/sub/x.txt"));

    // A folder listed twice, and a folder together with its own subfolder.
    auto out = search({wanted}, {t.file("b"), t.file("b"), t.file("b/sub")});
    EXPECT_EQ(out.found, QStringList({top, deep, top, deep, deep}));
    // Three listed folders, two distinct trees: two walks.
    EXPECT_EQ(out.walks, 2);

    // Two files of one name, and the same file listed with a blank after it.
    out = search({wanted, sameName, wanted + QStringLiteral(" ")}, {t.file("b")});
    EXPECT_EQ(out.found, QStringList({top, deep, top, deep, top, deep}));
    EXPECT_EQ(out.walks, 1);
}

TEST(DuplicateSearch, PassesOverEmptyFoldersAndReportsWhatCannotBeOpened)
{
    TempDir t;
    const QString wanted = t.write("find/x.txt");
    t.write("b/x.txt");
    t.mkdir("empty");
    t.mkdir("onlyfolders/inner");
    const QString notAFolder = t.write("plain.txt");

    const QStringList files = {t.file("find/missing.txt"), QStringLiteral("  ") + wanted + QStringLiteral("  "),
                               t.file("find"), QStringLiteral("   ")};
    const QStringList folders = {t.file("empty"), QStringLiteral(" ") + t.file("nothere") + QStringLiteral(" "),
                                 t.file("onlyfolders"), notAFolder, QStringLiteral(" ") + t.file("b")};
    const auto out = search(files, folders);
    EXPECT_EQ(out.found, QStringList({native(t.file("b/x.txt"))}));
    // Files first, then folders, each trimmed; the empty folders are not named.
    EXPECT_EQ(out.skipped,
              QStringList({t.file("find/missing.txt"), t.file("find"), QString(), t.file("nothere"), notAFolder}));
}

TEST(DuplicateSearch, CompletionMessageNamesTheSkippedEntries)
{
    EXPECT_EQ(searchDoneMessage({}), QStringLiteral("查找完毕！"));
    EXPECT_EQ(searchDoneMessage({QStringLiteral("/a/x.txt"), QStringLiteral("/b")}),
              QStringLiteral("查找完毕！\n以下条目无法打开,已跳过:\n/a/x.txt\n/b"));

    QStringList many;
    for (int i = 0; i < 70; ++i)
        many << QStringLiteral("/m/%1").arg(i);
    const QStringList lines = searchDoneMessage(many).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2 + 50 + 1);
    EXPECT_EQ(lines.at(2), QStringLiteral("/m/0"));
    EXPECT_EQ(lines.at(51), QStringLiteral("/m/49"));
    EXPECT_TRUE(lines.last().contains(QStringLiteral("20")));
}

TEST(DuplicateSearch, MatchOutsideASearchSeesTheTreeAsItIsNow)
{
    TempDir t;
    const QString wanted = t.write("find/x.txt");
    t.write("b/x.txt");
    FileSystemObject fso;
    DuplicateSearch s(fso);
    const File searchfile = fso.GetFile(wanted);
    const Folder b = fso.GetFolder(t.file("b"));

    QStringList out;
    s.match(searchfile, b, out);
    EXPECT_EQ(out, QStringList({native(t.file("b/x.txt"))}));
    t.write("b/c/X.txt");
    s.match(searchfile, fso.GetFolder(t.file("b")), out);
    EXPECT_EQ(out, QStringList({native(t.file("b/x.txt")), native(t.file("b/x.txt")), native(t.file("b/c/X.txt"))}));
}

TEST(FolderExpander, AddsEveryFileInWalkOrderExceptExactlyListedPaths)
{
    TempDir t;
    t.write("d/b.txt");
    t.write("d/A.doc");
    t.write("d/sub/c");
    t.write("d/.hidden");
    t.mkdir("d/emptysub");
    const QString d = t.file("d");

    const QStringList all = newPathsOfTree(d, {});
    EXPECT_EQ(all, QStringList({native(t.file("d/.hidden")), native(t.file("d/A.doc")), native(t.file("d/b.txt")),
                                native(t.file("d/sub/c"))}));
    // A second expansion adds nothing.
    EXPECT_TRUE(newPathsOfTree(d, all).isEmpty());

    // Letter case and blanks count: only the exact path is taken as listed.
    const QString upper = native(t.file("d/")) + QStringLiteral("B.TXT");
    const QStringList listed = {upper, native(t.file("d/A.doc")) + QStringLiteral(" "), native(t.file("d/sub/c"))};
    EXPECT_EQ(newPathsOfTree(d, listed), QStringList({native(t.file("d/.hidden")), native(t.file("d/A.doc")),
                                                      native(t.file("d/b.txt"))}));
}

TEST(DeleteListedFile, DeletesExactlyThatPathAndReportsWhatItCouldNot)
{
    TempDir t;
    const QString literal = t.write("d/x*.txt");
    t.write("d/xa.txt");
    t.write("d/a.txt");
    const QString readOnly = t.write("d/ro.txt");
    kestrune::test::setReadOnly(readOnly, true);
    FileSystemObject fso;

    // A pattern is never expanded: with no file of that literal name nothing goes.
    EXPECT_FALSE(deleteListedFile(fso, t.file("d/?.txt"), nullptr));
    EXPECT_TRUE(t.exists("d/a.txt"));
    EXPECT_TRUE(deleteListedFile(fso, literal, nullptr));
    EXPECT_FALSE(t.exists("d/x*.txt"));
    EXPECT_TRUE(t.exists("d/xa.txt"));

    EXPECT_FALSE(deleteListedFile(fso, literal, nullptr));  // already gone
    EXPECT_FALSE(deleteListedFile(fso, readOnly, nullptr));
    EXPECT_TRUE(t.exists("d/ro.txt"));
    EXPECT_FALSE(deleteListedFile(fso, t.file("d"), nullptr));
    EXPECT_TRUE(QFileInfo(t.file("d")).isDir());
    EXPECT_FALSE(deleteListedFile(fso, QString(), nullptr));
}

TEST(DeleteFoundFile, KeepsAFileWhoseFolderWasSwappedForALinkAfterTheSearch)
{
    TempDir t;
    for (const char* n : {"tree/plan.doc", "tree/old/plan.doc", "tree/old/deep/plan.doc", "outside/plan.doc",
                          "outside/deep/plan.doc", "elsewhere/plan.doc"})
        t.write(QString::fromLatin1(n));
    // The user reached the tree through a link of their own: that one is
    // followed, as the search followed it.
    ASSERT_TRUE(QFile::link(t.file("tree"), t.file("chosen")));
    const QString root = native(t.file("chosen"));
    const DuplicateSearch::Outcome found = search({native(t.file("tree/plan.doc"))}, {root});
    const QStringList paths{root + "/plan.doc", root + "/old/plan.doc", root + "/old/deep/plan.doc"};
    ASSERT_EQ(found.found, paths);
    SearchRoots roots;
    roots.add(root + "/");

    // Between the search and the delete "old" becomes a link to a folder
    // outside every tree the user chose.
    ASSERT_TRUE(QDir(t.file("tree/old")).removeRecursively());
    ASSERT_TRUE(QFile::link(t.file("outside"), t.file("tree/old")));
    FileSystemObject fso;
    QString why;
    EXPECT_TRUE(deleteFoundFile(fso, roots, paths[0], nullptr, &why)) << why.toStdString();
    for (const QString& path : {paths[1], paths[2]}) {
        why.clear();
        EXPECT_FALSE(deleteFoundFile(fso, roots, path, nullptr, &why));
        EXPECT_EQ(why, QStringLiteral("文件夹已被替换")) << path.toStdString();
    }
    EXPECT_FALSE(t.exists("tree/plan.doc"));
    EXPECT_TRUE(t.exists("outside/plan.doc") && t.exists("outside/deep/plan.doc"));

    // A path below no root is reached from the root folder, through no link.
    EXPECT_FALSE(deleteFoundFile(fso, SearchRoots(), root + "/old/plan.doc", nullptr));
    EXPECT_TRUE(t.exists("outside/plan.doc"));
    EXPECT_TRUE(deleteFoundFile(fso, SearchRoots(), native(t.file("elsewhere/plan.doc")), nullptr));
    EXPECT_FALSE(t.exists("elsewhere/plan.doc"));
}

// ---------------------------------------------------------------------------
// The indexed search against the plain nested walk, on random trees.

namespace {

// The matcher written out directly: own files, then each subfolder.
void nestedMatch(const QString& key, const Folder& b, QStringList& out)
{
    std::vector<File> files;
    std::vector<Folder> subs;
    try {
        files = b.Files();
        subs = b.SubFolders();
    } catch (const FsError&) {
        return;
    }
    for (const File& f : files)
        if (f.Name().toLower() == key)
            out << f.Path();
    for (const Folder& s : subs)
        nestedMatch(key, s, out);
}

QStringList nestedSearch(const QStringList& files, const QStringList& folders)
{
    FileSystemObject fso;
    QStringList out;
    for (const QString& fileEntry : files) {
        File searchfile;
        try {
            searchfile = fso.GetFile(fileEntry.trimmed());
        } catch (const FsError&) {
            continue;
        }
        for (const QString& folderEntry : folders) {
            try {
                const Folder b = fso.GetFolder(folderEntry.trimmed());
                if (b.FileCount() > 0 || b.SubFolderCount() > 0)
                    nestedMatch(searchfile.Name().trimmed().toLower(), b, out);
            } catch (const FsError&) {
            }
        }
    }
    return out;
}

}  // namespace

TEST(DuplicateSearch, GivesTheSameResultsAsTheNestedWalkOnRandomTrees)
{
    const QStringList names = {QStringLiteral("a.txt"), QStringLiteral("B.doc"), QStringLiteral("c"),
                               QStringLiteral("报告.xls"), QStringLiteral("d.TXT"), QStringLiteral("e f.dat")};
    for (unsigned seed : {1u, 7u, 42u, 1234u, 99991u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        auto randomCase = [&](QString s) {
            for (QChar& c : s)
                if (rng() % 2)
                    c = c.toUpper();
            return s;
        };
        TempDir t;
        QStringList dirs = {QStringLiteral("root")};
        t.mkdir(QStringLiteral("root"));
        for (int i = 0; i < 30; ++i) {
            const QString d = dirs.at(pick(int(dirs.size()))) + QStringLiteral("/") +
                              randomCase(QStringLiteral("s%1").arg(pick(5)));
            t.mkdir(d);
            if (!dirs.contains(d))
                dirs << d;
        }
        QStringList allFiles;
        for (int i = 0; i < 150; ++i) {
            const QString f = dirs.at(pick(int(dirs.size()))) + QStringLiteral("/") + randomCase(names.at(pick(6)));
            allFiles << t.write(f);
        }
        t.mkdir(QStringLiteral("root/emptyone"));
        dirs << QStringLiteral("root/emptyone") << QStringLiteral("root/gone");

        QStringList files;
        for (int i = 0; i < 8; ++i) {
            QString f = allFiles.at(pick(int(allFiles.size())));
            if (rng() % 4 == 0)
                f = QStringLiteral(" ") + f + QStringLiteral("  ");
            files << f;
        }
        files << t.file(QStringLiteral("root/none.txt"));
        QStringList folders;
        for (int i = 0; i < 6; ++i)
            folders << t.file(dirs.at(pick(int(dirs.size()))));
        folders << folders.first();

        const auto out = search(files, folders);
        const QStringList expected = nestedSearch(files, folders);
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(out.found, expected);
        QStringList distinct = folders;
        distinct.removeDuplicates();
        EXPECT_LE(out.walks, int(distinct.size()));
    }
}

// A file named in GBK bytes is found by the UTF-8 spelling of its name, shown
// readable, and the entry deletes exactly that file.
TEST(DuplicateSearch, FindsAndDeletesAGbkNamedFileByItsUtf8Name)
{
    using namespace kestrune::test;
    TempDir t;
    const QString wanted = t.write(QStringLiteral("a/你好.txt"));
    const QString b = t.mkdir(QStringLiteral("b"));
    const QByteArray gbk("\xC4\xE3\xBA\xC3.txt");
    const QString gbkPath = writeRaw(b, gbk);
    writeRaw(b, QByteArray("\xC4\xE3\xBA\xC3.txt\xFF"));
    t.write(QStringLiteral("b/你好.txt.bak"));

    const DuplicateSearch::Outcome out = search({native(wanted)}, {native(b)});
    ASSERT_EQ(out.found, QStringList{native(gbkPath)});

    PathListModel list(true);
    list.append(out.found);
    EXPECT_EQ(list.data(list.index(0), Qt::DisplayRole).toString(), native(b + QStringLiteral("/你好.txt")));
    EXPECT_EQ(encodeFileName(list.entry(0)), encodeFileName(native(b)) + '/' + gbk);

    FileSystemObject fso;
    EXPECT_TRUE(deleteListedFile(fso, list.entry(0), nullptr));
    EXPECT_FALSE(rawExists(b, gbk));
    EXPECT_TRUE(rawExists(b, QByteArray("\xC4\xE3\xBA\xC3.txt\xFF")));
    EXPECT_TRUE(QFile::exists(wanted));
}
