#include "core/duplicates/listdelete.h"

#include "support/batchwait.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

// The list delete of the window's 删除所选 / 删除全部 and of dupes --delete:
// while the first found file is being deleted, someone who can write in the
// searched tree swaps one of its folders for a link to a folder outside it.
TEST(ListDelete, AFolderSwappedForALinkDuringTheDeletesKeepsItsFileAndNamesIt)
{
    TempDir t;
    for (const char* n : {"tree/plan.doc", "tree/old/plan.doc", "tree/zz/plan.doc", "outside/plan.doc"})
        t.write(QString::fromLatin1(n));
    const QString root = QDir::toNativeSeparators(t.file("tree"));
    const QStringList found{root + "/plan.doc", root + "/old/plan.doc", root + "/zz/plan.doc"};
    SearchRoots roots;
    roots.add(root);

    bool swapped = false;
    const StepHook hook([&](const QString& doing, int) {
        if (!swapped && doing == found[0]) {
            swapped = QDir(t.file("tree/old")).removeRecursively() && QFile::link(t.file("outside"), t.file("tree/old"));
        }
        return false;
    });
    ProgressSink progress;
    const ListedDeletion deleted = deleteListedFiles(found, false, progress, roots);
    ASSERT_TRUE(swapped);

    EXPECT_EQ(deleted.handled, 3);
    EXPECT_FALSE(deleted.cancelled);
    EXPECT_TRUE(t.exists("outside/plan.doc"));
    EXPECT_FALSE(t.exists("tree/plan.doc") || t.exists("tree/zz/plan.doc"));
    ASSERT_EQ(deleted.notDeleted.size(), 1);
    EXPECT_EQ(deleted.notDeleted[0].first, found[1]);
    EXPECT_EQ(deleted.notDeleted[0].second, QStringLiteral("文件夹已被替换"));
}
