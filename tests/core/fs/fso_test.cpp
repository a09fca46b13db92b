#include "core/fs/fso.h"
#include "core/fs/fsointernal.h"

#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::test::namesOf;
using kestrune::test::TempDir;

namespace {

time_t mtimeOf(const QString& path)
{
    struct stat st;
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mtime;
}

ino_t inodeOf(const QString& path)
{
    struct stat st;
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

}  // namespace

TEST(FileSystemObject, ListsFilesAndFoldersSortedWithoutRegardToCaseIncludingHidden)
{
    TempDir t;
    for (const char* n : {"b.txt", "A.txt", "a.txt", "C.doc", ".hidden"})
        t.write(QString::fromLatin1(n));
    t.mkdir("Zeta");
    t.mkdir("alpha");
    t.mkdir("Beta");
    FileSystemObject fso;
    const Folder folder = fso.GetFolder(t.path());
    // Ties without regard to case are broken by the exact name.
    EXPECT_EQ(namesOf(folder.Files()), (QStringList{".hidden", "A.txt", "a.txt", "b.txt", "C.doc"}));
    EXPECT_EQ(namesOf(folder.SubFolders()), (QStringList{"alpha", "Beta", "Zeta"}));
    EXPECT_EQ(folder.FileCount(), 5);
    EXPECT_EQ(folder.SubFolderCount(), 3);
}

TEST(FileSystemObject, PathsHaveNoClosingSeparatorExceptTheRoot)
{
    TempDir t;
    t.mkdir("sub");
    FileSystemObject fso;
    EXPECT_EQ(fso.GetFolder(t.path() + "/sub/").Path(), t.path() + "/sub");
    EXPECT_EQ(fso.GetFolder(t.path() + "//sub/./").Path(), t.path() + "/sub");
    EXPECT_EQ(fso.GetFolder("/").Path(), QString("/"));
    EXPECT_EQ(joinPath("/", "etc"), QString("/etc"));
    EXPECT_EQ(joinPath("/tmp", "x"), QString("/tmp/x"));
    const File f = fso.GetFile(t.write("sub/n.txt"));
    EXPECT_EQ(f.Path(), t.path() + "/sub/n.txt");
    EXPECT_EQ(f.ParentFolder().Path(), t.path() + "/sub");
}

TEST(FileSystemObject, GetFolderAndGetFileFailOnTheWrongKindOrNothing)
{
    TempDir t;
    const QString file = t.write("f.txt");
    const QString dir = t.mkdir("d");
    FileSystemObject fso;
    EXPECT_THROW(fso.GetFolder(file), FsError);
    EXPECT_THROW(fso.GetFolder(t.file("missing")), FsError);
    EXPECT_THROW(fso.GetFolder(""), FsError);
    EXPECT_THROW(fso.GetFile(dir), FsError);
    EXPECT_THROW(fso.GetFile(t.file("missing.txt")), FsError);
    EXPECT_TRUE(fso.FileExists(file));
    EXPECT_FALSE(fso.FileExists(dir));
    EXPECT_TRUE(fso.FolderExists(dir));
    EXPECT_FALSE(fso.FolderExists(file));
    try {
        fso.GetFile(t.file("missing.txt"));
    } catch (const FsError& e) {
        EXPECT_EQ(e.errorNumber(), ENOENT);
        EXPECT_FALSE(e.message().isEmpty());
    }
}

TEST(FileSystemObject, FolderLinksAreNeitherListedNorWalkedFileLinksAreFiles)
{
    TempDir t;
    t.write("tree/a.txt");
    t.write("tree/sub/b.txt");
    ASSERT_EQ(::symlink(QFile::encodeName(t.file("tree")).constData(),
                        QFile::encodeName(t.file("tree/sub/loop")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(t.file("tree/a.txt")).constData(),
                        QFile::encodeName(t.file("tree/sub/link.txt")).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(t.file("tree/sub/broken")).constData()), 0);
    FileSystemObject fso;
    const Folder sub = fso.GetFolder(t.file("tree/sub"));
    EXPECT_EQ(namesOf(sub.Files()), (QStringList{"b.txt", "link.txt"}));
    EXPECT_TRUE(sub.SubFolders().empty());

    QStringList seen;
    walkFiles(fso.GetFolder(t.file("tree")), true, [&](const File& f) { seen << f.Path().mid(t.path().size()); });
    EXPECT_EQ(seen, (QStringList{"/tree/a.txt", "/tree/sub/b.txt", "/tree/sub/link.txt"}));
}

TEST(FileDetails, SizeDateAndType)
{
    TempDir t;
    const QString p = t.write("report.txt", QByteArray(1234, 'x'));
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(p).constData(), times, 0), 0);
    FileSystemObject fso;
    const File f = fso.GetFile(p);
    EXPECT_EQ(f.Size(), 1234);
    EXPECT_EQ(f.DateLastModified().toSecsSinceEpoch(), 1000000000);
    EXPECT_EQ(f.DateLastModified().timeSpec(), Qt::LocalTime);
    EXPECT_FALSE(f.Type().isEmpty());
    EXPECT_NE(f.Type(), fso.GetFile(t.write("x.png")).Type());
}

TEST(FileCopy, NeverCopiesAFileOntoItself)
{
    TempDir t;
    const QString p = t.write("d/same.txt", "precious");
    FileSystemObject fso;
    const File f = fso.GetFile(p);
    EXPECT_THROW(f.Copy(t.file("d/"), true), FsError);
    EXPECT_THROW(f.Copy(p, true), FsError);
    // Through another name of the same folder.
    ASSERT_EQ(::symlink(QFile::encodeName(t.file("d")).constData(), QFile::encodeName(t.file("alias")).constData()),
              0);
    EXPECT_THROW(f.Copy(t.file("alias/"), true), FsError);
    EXPECT_EQ(t.read("d/same.txt"), QByteArray("precious"));
}

TEST(FileCopy, ReplacesThroughATemporaryFileAndKeepsTheModificationTime)
{
    TempDir t;
    const QString src = t.write("src/a.txt", "new content");
    t.write("dst/a.txt", "old");
    struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(src).constData(), times, 0);
    const ino_t oldInode = inodeOf(t.file("dst/a.txt"));
    FileSystemObject fso;
    fso.GetFile(src).Copy(t.file("dst/"), true);
    EXPECT_EQ(t.read("dst/a.txt"), QByteArray("new content"));
    EXPECT_EQ(mtimeOf(t.file("dst/a.txt")), 1500000000);
    // A new file was put in place, not the old one truncated.
    EXPECT_NE(inodeOf(t.file("dst/a.txt")), oldInode);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(t.file("dst")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
    // Copy to an explicit file name.
    fso.GetFile(src).Copy(t.file("dst/b.txt"), true);
    EXPECT_EQ(t.read("dst/b.txt"), QByteArray("new content"));
}

TEST(FileCopy, RefusesWithoutOverwriteAndOverReadOnlyOrFolders)
{
    TempDir t;
    const QString src = t.write("a.txt", "new");
    t.write("dst/a.txt", "old");
    t.write("ro/a.txt", "locked");
    test::setReadOnly(t.file("ro/a.txt"), true);
    t.mkdir("dir/a.txt");
    FileSystemObject fso;
    const File f = fso.GetFile(src);
    EXPECT_THROW(f.Copy(t.file("dst/"), false), FsError);
    EXPECT_EQ(t.read("dst/a.txt"), QByteArray("old"));
    EXPECT_THROW(f.Copy(t.file("ro/"), true), FsError);
    EXPECT_EQ(t.read("ro/a.txt"), QByteArray("locked"));
    EXPECT_THROW(f.Copy(t.file("dir/"), true), FsError);
    EXPECT_THROW(f.Copy(t.file("missing/"), true), FsError);
    EXPECT_FALSE(t.exists("missing"));
    EXPECT_EQ(QDir(t.file("dst")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
}

TEST(FileMove, NeverReplacesAnExistingFile)
{
    TempDir t;
    const QString src = t.write("a/x.txt", "mover");
    t.write("b/x.txt", "resident");
    FileSystemObject fso;
    EXPECT_THROW(fso.GetFile(src).Move(t.file("b/")), FsError);
    EXPECT_EQ(t.read("a/x.txt"), QByteArray("mover"));
    EXPECT_EQ(t.read("b/x.txt"), QByteArray("resident"));
    // Onto itself: the name is taken by the file itself.
    EXPECT_THROW(fso.GetFile(src).Move(t.file("a/")), FsError);
    EXPECT_EQ(t.read("a/x.txt"), QByteArray("mover"));

    // Into a folder that does not exist.
    EXPECT_THROW(fso.GetFile(src).Move(t.file("c/")), FsError);
    EXPECT_EQ(t.read("a/x.txt"), QByteArray("mover"));
}

TEST(FileMove, MovesIntoAFolderOrToANewName)
{
    TempDir t;
    const QString src = t.write("a/x.txt", "mover");
    t.mkdir("b");
    FileSystemObject fso;
    fso.GetFile(src).Move(t.file("b/"));
    EXPECT_FALSE(t.exists("a/x.txt"));
    EXPECT_EQ(t.read("b/x.txt"), QByteArray("mover"));
    fso.GetFile(t.file("b/x.txt")).Move(t.file("b/y.txt"));
    EXPECT_EQ(t.read("b/y.txt"), QByteArray("mover"));
    EXPECT_FALSE(t.exists("b/x.txt"));
}

TEST(FileMove, AcrossFileSystemsCopiesThenRemovesTheSource)
{
    TempDir t;
    QTemporaryDir other(QStringLiteral("/dev/shm/kestrune-test-XXXXXX"));
    struct stat a, b;
    if (!other.isValid() || ::stat(QFile::encodeName(t.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(other.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system (/dev/shm) beside the temporary folder";

    const QString src = t.write("x.txt", QByteArray(300000, 'k'));
    struct timespec times[2] = {{1400000000, 0}, {1400000000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(src).constData(), times, 0);
    FileSystemObject fso;
    fso.GetFile(src).Move(other.path() + "/");
    EXPECT_FALSE(t.exists("x.txt"));
    EXPECT_EQ(test::readBytes(other.path() + "/x.txt"), QByteArray(300000, 'k'));
    EXPECT_EQ(mtimeOf(other.path() + "/x.txt"), 1400000000);

    // Onto an existing name across file systems: nothing moves, nothing is left.
    const QString again = t.write("x.txt", "second");
    EXPECT_THROW(fso.GetFile(again).Move(other.path() + "/"), FsError);
    EXPECT_EQ(t.read("x.txt"), QByteArray("second"));
    EXPECT_EQ(test::readBytes(other.path() + "/x.txt"), QByteArray(300000, 'k'));
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"x.txt"});
}

TEST(FileDelete, PlainDeleteRefusesReadOnlyFilesForcedDeleteRemovesThem)
{
    TempDir t;
    const QString ro = t.write("ro.txt", "keep");
    const QString rw = t.write("rw.txt", "go");
    test::setReadOnly(ro, true);
    FileSystemObject fso;
    EXPECT_THROW(fso.GetFile(ro).Delete(false), FsError);
    EXPECT_TRUE(t.exists("ro.txt"));
    fso.GetFile(ro).Delete(true);
    EXPECT_FALSE(t.exists("ro.txt"));
    fso.GetFile(rw).Delete(false);
    EXPECT_FALSE(t.exists("rw.txt"));
    EXPECT_THROW(fso.GetFile(t.file("gone.txt")), FsError);
}

TEST(FileDelete, ListedFilesOfManyFoldersAreDeletedWithTheSameChecks)
{
    // Files taken from listings of more folders than the program keeps
    // handles for: each is still deleted, read-only ones only by force, and
    // a file gone since the listing is reported.
    TempDir t;
    FileSystemObject fso;
    std::vector<std::vector<File>> held;
    for (int i = 0; i < 150; ++i) {
        const QString dir = QString("d%1").arg(i);
        t.write(dir + "/a.txt", "a");
        t.write(dir + "/b.txt", "b");
        t.write(dir + "/gone.txt", "g");
        test::setReadOnly(t.file(dir + "/b.txt"), true);
        held.push_back(fso.GetFolder(t.file(dir)).Files());
    }
    for (int i = 0; i < 150; ++i) {
        const QString dir = QString("d%1").arg(i);
        const std::vector<File>& files = held[size_t(i)];
        ASSERT_EQ(namesOf(files), (QStringList{"a.txt", "b.txt", "gone.txt"}));
        ASSERT_TRUE(QFile::remove(t.file(dir + "/gone.txt")));
        files[0].Delete(false);
        EXPECT_THROW(files[1].Delete(false), FsError) << i;
        EXPECT_THROW(files[2].Delete(true), FsError) << i;
        EXPECT_FALSE(t.exists(dir + "/a.txt")) << i;
        EXPECT_TRUE(t.exists(dir + "/b.txt")) << i;
    }
    for (const std::vector<File>& files : held)
        files[1].Delete(true);
    for (int i = 0; i < 150; ++i)
        EXPECT_EQ(QDir(t.file(QString("d%1").arg(i))).entryList(QDir::Files | QDir::Hidden), QStringList{}) << i;
}

TEST(FileDelete, ALinkIsRemovedNotItsTarget)
{
    TempDir t;
    const QString target = t.write("target.txt", "stays");
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(t.file("link.txt")).constData()), 0);
    FileSystemObject fso;
    fso.GetFile(t.file("link.txt")).Delete(false);
    EXPECT_FALSE(QFileInfo(t.file("link.txt")).isSymLink());
    EXPECT_EQ(t.read("target.txt"), QByteArray("stays"));
}

namespace {

// Replaces the folder at `path` by a link to `target` (or, with `asFolder`,
// by `target` itself, moved there), keeping the old one beside it.
void swapFolder(const QString& path, const QString& target, bool asFolder)
{
    ASSERT_EQ(::rename(QFile::encodeName(path).constData(), QFile::encodeName(path + "-old").constData()), 0);
    if (asFolder)
        ASSERT_EQ(::rename(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
    else
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
}

// A forced delete of every file of a walk, as the batch file manager does
// it; `before` is told of each file first.
QStringList deleteAll(const QString& root, const std::function<void(const File&)>& before)
{
    FileSystemObject fso;
    QStringList deleted;
    walkFiles(fso.GetFolder(root), true, [&](const File& f) {
        before(f);
        try {
            f.Delete(true);
            deleted << f.Path();
        } catch (const FsError&) {
        }
    });
    return deleted;
}

}  // namespace

TEST(Walker, NeverEntersAFolderSwappedForALinkOrAnotherFolderDuringTheWalk)
{
    // With and without handles to spare: holding the listings of many
    // folders leaves none, and folders are then opened by path.
    for (const bool spareHandles : {true, false}) {
        for (const bool asFolder : {false, true}) {
            SCOPED_TRACE(std::string(spareHandles ? "handles" : "paths") + (asFolder ? ", folder" : ", link"));
            TempDir t;
            std::vector<std::vector<File>> held;
            FileSystemObject fso;
            if (!spareHandles) {
                for (int i = 0; i < 80; ++i)
                    held.push_back(fso.GetFolder(t.mkdir(QString("held/%1").arg(i))).Files());
            }
            t.write("r/a/1.log");
            t.write("r/b/2.log");
            t.write("r/c/0.log");
            t.write("r/c/d/3.log");
            t.write("other/2.log", "other");
            t.write("elsewhere/d/3.log", "elsewhere");
            const QStringList deleted = deleteAll(t.file("r"), [&](const File& f) {
                // "b" is swapped while listed but not yet opened; "c" once
                // opened, before its subfolder "d" is.
                if (f.Name() == "1.log")
                    swapFolder(t.file("r/b"), t.file("other"), asFolder);
                if (f.Name() == "0.log")
                    swapFolder(t.file("r/c"), t.file("elsewhere"), asFolder);
            });
            EXPECT_TRUE(deleted.contains(t.file("r/a/1.log")));
            EXPECT_TRUE(deleted.contains(t.file("r/c/0.log")));
            EXPECT_FALSE(t.exists("r/a/1.log"));
            EXPECT_TRUE(t.exists("r/b-old/2.log"));
            EXPECT_EQ(t.read(asFolder ? "r/b/2.log" : "other/2.log"), QByteArray("other"));
            EXPECT_EQ(t.read(asFolder ? "r/c/d/3.log" : "elsewhere/d/3.log"), QByteArray("elsewhere"));
            // Through the handle of the "c" that was listed, its own "d" is
            // still reached.
            if (spareHandles) {
                EXPECT_FALSE(t.exists("r/c-old/d/3.log"));
            }
        }
    }
}

TEST(FileCopy, SetUserAndGroupIdBitsOnlyWhenTheCopyKeepsOwnerAndGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to own files of another user";
    TempDir t;
    const QString foreign = t.write("foreign", "program");
    const QString own = t.write("own", "program");
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(foreign).constData(), 06755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 06755), 0);
    FileSystemObject fso;
    fso.GetFile(foreign).Copy(t.file("foreign-copy"), true);
    fso.GetFile(own).Copy(t.file("own-copy"), false);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(t.file("foreign-copy")).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat(QFile::encodeName(t.file("own-copy")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 06755u);
}

TEST(FileMove, AcrossFileSystemsKeepsOwnerGroupAndTheirBits)
{
    TempDir t;
    QTemporaryDir other(QStringLiteral("/dev/shm/kestrune-test-XXXXXX"));
    struct stat a, b;
    if (::geteuid() != 0 || !other.isValid() || ::stat(QFile::encodeName(t.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(other.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "needs root and a second file system (/dev/shm)";
    const QString src = t.write("private.txt", "mine");
    ASSERT_EQ(::chown(QFile::encodeName(src).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(src).constData(), 02600), 0);
    FileSystemObject fso;
    fso.GetFile(src).Move(other.path() + "/");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(other.path() + "/private.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 02600u);
    EXPECT_FALSE(t.exists("private.txt"));
}
