#include "core/fs/trash.h"

#include "core/fs/fso.h"
#include "support/rawnames.h"
#include "support/tempdir.h"
#include "support/trashsupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::test::TempDir;

// What is already in the trash: a stale size line for a name a file now
// takes goes (the others stay), a file of the trash itself is not trashed
// again, and a name too long for its .trashinfo is shortened, not refused.
TEST(Trash, KeepsTheSizeCacheValidLeavesTrashedFilesAndFitsLongNames)
{
    TempDir t;
    test::OwnTrash own;
    const FileSystemObject fso;
    TrashCan trash;
    fso.GetFile(t.write("a/first.txt")).MoveToTrash(trash);
    const QString sizes = own.trash() + QStringLiteral("/directorysizes");
    {
        QFile f(sizes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("4096 1700000000 old%20dir\n8 1700000000 other\n12 1700000000 x.txt\n");
    }
    TrashCan later;
    fso.GetFile(t.write("b/x.txt", "file x")).MoveToTrash(later);
    fso.GetFile(t.write("b/old dir")).MoveToTrash(later);
    EXPECT_EQ(test::readBytes(sizes), QByteArray("8 1700000000 other\n"));
    EXPECT_EQ(test::trashEntries(own.trash()), (QList<QByteArray>{"first.txt", "old dir", "x.txt"}));

    const QString inTrash = own.trash() + QStringLiteral("/files/x.txt");
    EXPECT_THROW(fso.GetFile(inTrash).MoveToTrash(later), FsError);
    for (const File& f : fso.GetFolder(own.trash() + QStringLiteral("/files")).Files())
        EXPECT_THROW(f.MoveToTrash(later), FsError);
    EXPECT_EQ(test::readBytes(inTrash), QByteArray("file x"));

    const QByteArray longName = QByteArray(240, 'n') + ".txt";
    fso.GetFile(test::writeRaw(t.mkdir("c"), longName)).MoveToTrash(later);
    EXPECT_FALSE(test::rawExists(t.file("c"), longName));
    const QByteArray cut(233, 'n');
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), cut),
                                     QDir(t.file("c")).canonicalPath().toUtf8() + "/" + longName));
}

// Another file system's trash: the administrator's shared .Trash (a real
// folder with the sticky bit) gets a folder per user; without the sticky bit
// it is not used and .Trash-$uid is.
TEST(Trash, UsesTheSharedTrashOfAFileSystemOnlyWhenItIsSticky)
{
    TempDir t;
    test::OwnTrash own;
    test::LoopMount stick(t.file("stick"));
    if (!stick.mounted())
        GTEST_SKIP() << "no second file system: " << stick.why().toStdString();
    const QString shared = t.mkdir("stick/.Trash");
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    const FileSystemObject fso;
    TrashCan trash;
    fso.GetFile(t.write("stick/d/a.txt")).MoveToTrash(trash);
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(shared + "/0", "a.txt"), "d/a.txt"));

    ::chmod(QFile::encodeName(shared).constData(), 0777);
    TrashCan next;
    fso.GetFile(t.write("stick/b.txt")).MoveToTrash(next);
    EXPECT_EQ(test::trashEntries(t.file("stick/.Trash-0")), QList<QByteArray>{"b.txt"});
    EXPECT_EQ(test::trashEntries(shared + "/0"), QList<QByteArray>{"a.txt"});
}

// A .Trash-$uid put there as a link (to a folder of the user's own on the
// same file system) is refused as a link: the file stays where it is and
// nothing is written where the link points.
TEST(Trash, RefusesAPlantedTrashLinkAsALink)
{
    TempDir t;
    test::OwnTrash own;
    test::LoopMount stick(t.file("stick"));
    if (!stick.mounted())
        GTEST_SKIP() << "no second file system: " << stick.why().toStdString();
    const QString elsewhere = t.mkdir("stick/elsewhere");
    const QString link = t.file("stick/.Trash-" + QString::number(::geteuid()));
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(link).constData()), 0);
    const QString victim = t.write("stick/d/a.txt", "a");
    TrashCan trash;
    try {
        FileSystemObject().GetFile(victim).MoveToTrash(trash);
        ADD_FAILURE() << "moved to the trash through a link";
    } catch (const FsError& e) {
        EXPECT_EQ(e.errorNumber(), ELOOP);
        EXPECT_TRUE(e.message().contains(QStringLiteral("链接"))) << e.message().toStdString();
    }
    EXPECT_EQ(test::readBytes(victim), QByteArray("a"));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}
