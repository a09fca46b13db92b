// The duplicate finder's deletes: the current, the marked or every entry,
// cancelled part-way, into the trash or for good, and the files that could
// not go named in one message.
#include "gui/duplicates/frmdlg.h"
#include "gui/common/batchprogress.h"

#include "support/batchwait.h"
#include "support/duplicateswindow.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"
#include "support/rawnames.h"
#include "support/trashsupport.h"
#include "core/duplicates/duplicatesearch.h"
#include "core/fs/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::expectNotDeleted;
using kestrune::test::finishBatches;
using kestrune::test::marks;
using kestrune::test::native;
using kestrune::test::scripted;
using kestrune::test::select;
using kestrune::test::Shown;
using kestrune::test::TempDir;

TEST(FrmDlgWindow, DeletesCurrentMarkedOrAllFilesAndKeepsTheEntries)
{
    TempDir t;
    QStringList paths;
    for (const char* name : {"k/one.txt", "k/two.txt", "k/three.txt", "k/four.txt", "k/five.txt"})
        paths << t.write(QString::fromLatin1(name));
    Shown s;
    FrmDlg& w = s.w;
    w.found().append(paths);

    // No current entry: nothing is deleted.
    w.Command10->click();
    for (const QString& p : paths)
        EXPECT_TRUE(QFileInfo::exists(p));

    // The current entry only.
    w.List3->setCurrentIndex(w.found().index(3));
    w.Command10->click();
    EXPECT_FALSE(QFileInfo::exists(paths[3]));
    EXPECT_TRUE(QFileInfo::exists(paths[2]) && QFileInfo::exists(paths[4]));

    EXPECT_TRUE(scripted().log.empty());

    // The marked entries: one is already gone, one read-only; both are passed
    // over, the one after them is still deleted, and the two are named.
    kestrune::test::setReadOnly(paths[0], true);
    for (int i : {0, 3, 4})
        w.found().setMarked(i, true);
    w.Command11->click();
    ASSERT_TRUE(finishBatches());
    expectNotDeleted({paths[0], paths[3]});
    EXPECT_TRUE(QFileInfo::exists(paths[0]));
    EXPECT_FALSE(QFileInfo::exists(paths[4]));
    EXPECT_TRUE(QFileInfo::exists(paths[1]) && QFileInfo::exists(paths[2]));
    EXPECT_EQ(w.found().entries(), paths);
    EXPECT_EQ(marks(w.found()), std::vector<bool>({true, false, false, true, true}));

    // All of them: those that could not go are named again.
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    expectNotDeleted({paths[0], paths[3], paths[4]});
    EXPECT_FALSE(QFileInfo::exists(paths[1]) || QFileInfo::exists(paths[2]));
    EXPECT_TRUE(QFileInfo::exists(paths[0]));
    EXPECT_EQ(w.found().entries(), paths);
    EXPECT_EQ(w.found().markedCount(), 3);
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    expectNotDeleted(paths);

    // The current entry alone, when it cannot go.
    select(w.List3, 0);
    w.Command10->click();
    expectNotDeleted({paths[0]});
}

TEST(FrmDlgWindow, DeleteAllAfterASearchTakesTheListedFileTooButNoPattern)
{
    TempDir t;
    const QString wanted = t.write("a/x?.txt");
    t.write("a/x1.txt");
    t.write("b/X?.TXT");
    t.write("b/xa.txt");
    FrmDlg w;
    w.files().append(wanted);
    w.folders().append({t.file("b"), t.file("a")});
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(w.found().entries(), QStringList({native(t.file("b/X?.TXT")), native(wanted)}));
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(t.exists("b/X?.TXT"));
    EXPECT_FALSE(t.exists("a/x?.txt"));
    EXPECT_TRUE(t.exists("a/x1.txt"));
    EXPECT_TRUE(t.exists("b/xa.txt"));
    EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("查找完毕！")}));
}

TEST(FrmDlgWindow, DeletesNeverFollowAFolderSwappedForALinkAfterTheSearch)
{
    TempDir t;
    const QString wanted = t.write("names/plan.doc");
    for (const char* n : {"tree/plan.doc", "tree/a/plan.doc", "tree/b/plan.doc", "outside/plan.doc"})
        t.write(QString::fromLatin1(n));
    FrmDlg w;
    w.files().append(wanted);
    w.folders().append(t.file("tree"));
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    scripted().clear();
    const QStringList found = w.found().entries();
    ASSERT_EQ(found, QStringList({native(t.file("tree/plan.doc")), native(t.file("tree/a/plan.doc")),
                                  native(t.file("tree/b/plan.doc"))}));

    // "a" becomes a link to a folder outside the tree before the deletes.
    ASSERT_TRUE(QDir(t.file("tree/a")).removeRecursively());
    ASSERT_TRUE(QFile::link(t.file("outside"), t.file("tree/a")));
    select(w.List3, 1);
    w.Command10->click();
    expectNotDeleted({found[1]});
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    expectNotDeleted({found[1]});
    EXPECT_TRUE(t.exists("outside/plan.doc"));
    EXPECT_FALSE(t.exists("tree/plan.doc") || t.exists("tree/b/plan.doc"));
}

TEST(FrmDlgWindow, CancelledBatchesKeepWhatWasDoneAndSayHowFarTheyCame)
{
    TempDir t;
    QStringList wanted;
    for (const char* name : {"find/one.txt", "find/two.txt", "find/three.txt", "find/four.txt"})
        wanted << t.write(QString::fromLatin1(name));
    for (const char* name : {"tree/one.txt", "tree/a/TWO.txt", "tree/b/three.txt", "tree/b/c/four.txt"})
        t.write(QString::fromLatin1(name));
    FrmDlg w;
    auto& sp = scripted();

    // Adding a folder tree, stopped at its third folder: the files of the
    // first two are kept.
    sp.folders.push_back(t.file("tree"));
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == native(t.file("tree/b")); });
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.files().entries(), QStringList({native(t.file("tree/one.txt")), native(t.file("tree/a/TWO.txt"))}));
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(2)}));

    // The search, stopped before the third file entry: the matches of the
    // first two are listed, nothing of the rest.
    w.files().removeAt(1);
    w.files().removeAt(0);
    w.files().append(wanted);
    w.folders().append(t.file("tree"));
    sp.clear();
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == wanted[2]; });
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.found().entries(), QStringList({native(t.file("tree/one.txt")), native(t.file("tree/a/TWO.txt"))}));
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(2)}));

    // Run to the end: every match, the completion message, no dialog.
    sp.clear();
    BatchProgress::setTestHook({});
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(w.found().count(), 6);
    EXPECT_EQ(sp.messages(), QStringList({QStringLiteral("查找完毕！")}));
    EXPECT_EQ(w.findChild<QProgressDialog*>(), nullptr);

    // Deleting all, stopped at the fourth entry: three files deleted, the
    // rest untouched, every entry still listed.
    FrmDlg d;
    d.found().append(wanted);
    sp.clear();
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == wanted[3]; });
    d.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(3)}));
    EXPECT_FALSE(t.exists("find/one.txt") || t.exists("find/two.txt") || t.exists("find/three.txt"));
    EXPECT_TRUE(t.exists("find/four.txt"));
    EXPECT_EQ(d.found().entries(), wanted);

    // Deleting the marked ones counts only those.
    sp.clear();
    t.write("find/one.txt");
    d.found().setMarked(2, true);
    d.found().setMarked(3, true);
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == wanted[3]; });
    d.Command11->click();
    ASSERT_TRUE(finishBatches());
    // The one it reached was already gone: the cancel and that file are
    // told together.
    ASSERT_EQ(sp.messages().size(), 1);
    EXPECT_TRUE(sp.messages()[0].startsWith(BatchProgress::cancelledText(1) +
                                            QStringLiteral("\n\n以下文件未能删除:\n") + wanted[2] +
                                            QStringLiteral("：")))
        << sp.messages()[0].toStdString();
    EXPECT_TRUE(t.exists("find/four.txt"));
    EXPECT_TRUE(t.exists("find/one.txt"));
}

// With the main menu's trash entry on, "删除", "删除所选" and "删除全部" put
// each file in the trash of its own file system, where the desktop finds and
// restores it; a file on a read-only mount stays, with its reason. With the
// entry off, files go for good.
TEST(FrmDlgWindow, DeletesGoToTheTrashOfTheirFileSystemOrForGoodWhenTheEntryIsOff)
{
    TempDir t;
    test::OwnTrash own;
    test::LoopMount stick(t.file("stick"));
    test::LoopMount readOnly(t.file("ro"));
    if (!stick.mounted() || !readOnly.mounted())
        GTEST_SKIP() << "no second file system: " << stick.why().toStdString() << readOnly.why().toStdString();
    const QByteArray gbk("\xC4\xE3\xBA\xC3.txt");
    const QString first = t.write("home/a.txt", "first a");
    const QString second = t.write("home/sub/a.txt", "second a");
    const QString raw = test::writeRaw(t.file("home"), gbk, "raw name");
    const QString onStick = t.write("stick/a.txt", "stick a");
    const QString kept = t.write("ro/a.txt", "kept");
    ASSERT_TRUE(readOnly.makeReadOnly()) << readOnly.why().toStdString();

    Shown s;
    FrmDlg& w = s.w;
    w.found().append({first, second, raw, onStick, kept});
    select(w.List3, 0);
    w.Command10->click();
    EXPECT_TRUE(scripted().log.empty());
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    // The first entry went before: it and the file the read-only mount kept
    // are named.
    expectNotDeleted({first, kept});
    EXPECT_FALSE(QFileInfo::exists(first) || QFileInfo::exists(second) || QFileInfo::exists(onStick) ||
                 test::rawExists(t.file("home"), gbk));
    EXPECT_EQ(test::readBytes(kept), QByteArray("kept"));
    QString why;
    TrashCan trash;
    EXPECT_FALSE(deleteListedFile(FileSystemObject(), kept, &trash, &why));
    EXPECT_EQ(why, QStringLiteral("无法移到回收站：文件系统只读"));

    // The second a.txt gets a name of its own; the name that is not UTF-8 is
    // kept in its exact bytes.
    const QByteArray home = QDir(t.file("home")).canonicalPath().toUtf8();
    EXPECT_EQ(test::trashEntries(own.trash()), (QList<QByteArray>{"a.2.txt", "a.txt", gbk}));
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), "a.txt"), home + "/a.txt"));
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), "a.2.txt"), home + "/sub/a.txt"));
    EXPECT_TRUE(test::trashInfo(own.trash(), gbk).contains("Path=" + home + "/%C4%E3%BA%C3.txt\n"));
    const QString stickTrash = t.file("stick/.Trash-0");
    EXPECT_EQ(test::trashEntries(stickTrash), QList<QByteArray>{"a.txt"});
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(stickTrash, "a.txt"), "a.txt"));

    QString error;
    const QMap<QString, QString> listed = test::gioTrashList(&error);
    for (const QString& path : {first, second, onStick}) {
        const QString real = QFileInfo(QFileInfo(path).path()).canonicalFilePath() + "/a.txt";
        ASSERT_TRUE(listed.contains(real)) << real.toStdString() << " " << error.toStdString();
        EXPECT_TRUE(test::gioTrashRestore(listed[real], &error)) << error.toStdString();
    }
    EXPECT_EQ(test::readBytes(first), QByteArray("first a"));
    EXPECT_EQ(test::readBytes(second), QByteArray("second a"));
    EXPECT_EQ(test::readBytes(onStick), QByteArray("stick a"));

    saveDeleteToTrashSetting(false);
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    expectNotDeleted({raw, kept});
    EXPECT_FALSE(QFileInfo::exists(first) || QFileInfo::exists(second) || QFileInfo::exists(onStick));
    EXPECT_EQ(test::trashEntries(own.trash()), QList<QByteArray>{gbk});
    EXPECT_TRUE(test::trashEntries(stickTrash).isEmpty());
    EXPECT_EQ(test::readBytes(kept), QByteArray("kept"));
}
