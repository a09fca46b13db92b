// Moving and copying where the file system lacks a call the usual way
// needs, and flushing what a move across file systems wrote.

#include "core/fs/fso.h"
#include "core/fs/fsointernal.h"

#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::test::namesOf;
using kestrune::test::TempDir;

namespace {

// The calls a FUSE mount answers as it does: no rename without replacing,
// no hard links.
struct FuseLikeFileSystem {
    FuseLikeFileSystem() : saved(fsodetail::noReplaceCalls())
    {
        fsodetail::noReplaceCalls() = {[](int, const char*, int, const char*) { return errno = EINVAL, -1; },
                                       [](int, const char*, int, const char*) { return errno = EPERM, -1; }};
    }
    ~FuseLikeFileSystem() { fsodetail::noReplaceCalls() = saved; }
    fsodetail::NoReplaceCalls saved;
};

}  // namespace

TEST(FileMove, WithoutRenameNoReplaceOrLinksMovesAndCopiesStillNeverReplace)
{
    FuseLikeFileSystem fuse;
    TempDir t;
    t.write("a/x.txt", "mover");
    t.write("a/y.txt", "copied");
    t.write("b/taken.txt", "resident");
    t.write("a/taken.txt", "newcomer");
    FileSystemObject fso;
    const std::vector<File> files = fso.GetFolder(t.file("a")).Files();
    ASSERT_EQ(namesOf(files), (QStringList{"taken.txt", "x.txt", "y.txt"}));

    files[1].Move(t.file("b/"));
    EXPECT_EQ(t.read("b/x.txt"), QByteArray("mover"));
    EXPECT_FALSE(t.exists("a/x.txt"));
    files[2].Copy(t.file("b/"), false);
    EXPECT_EQ(t.read("b/y.txt"), QByteArray("copied"));
    EXPECT_EQ(t.read("a/y.txt"), QByteArray("copied"));

    try {
        files[0].Move(t.file("b/"));
        ADD_FAILURE() << "a move replaced a file";
    } catch (const FsError& e) {
        EXPECT_EQ(e.errorNumber(), EEXIST);
    }
    EXPECT_THROW(files[0].Copy(t.file("b/"), false), FsError);
    EXPECT_EQ(t.read("b/taken.txt"), QByteArray("resident"));
    EXPECT_EQ(t.read("a/taken.txt"), QByteArray("newcomer"));
    EXPECT_EQ(QDir(t.file("b")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"taken.txt", "x.txt", "y.txt"}));
}

namespace {

// A disk whose flushes are counted, each noting whether a watched file (a
// move's source) was still there, and which can fail them.
struct WatchedDisk {
    static inline QString watched;
    static inline int fsyncs = 0;
    static inline int syncfses = 0;
    static inline int flushesWithSource = 0;
    static inline int error = 0;
    fsodetail::FlushCalls saved = fsodetail::flushCalls();

    static int note()
    {
        if (!watched.isEmpty() && QFileInfo::exists(watched))
            ++flushesWithSource;
        return error != 0 ? (errno = error, -1) : 0;
    }
    WatchedDisk()
    {
        watched.clear();
        fsyncs = syncfses = flushesWithSource = error = 0;
        fsodetail::flushCalls() = {[](int) { return ++fsyncs, note(); }, [](int) { return ++syncfses, note(); }};
    }
    ~WatchedDisk() { fsodetail::flushCalls() = saved; }
};

// A folder on a file system other than `t`'s, or none.
std::unique_ptr<QTemporaryDir> otherFileSystem(const TempDir& t)
{
    auto other = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/kestrune-test-XXXXXX"));
    struct stat a, b;
    if (!other->isValid() || ::stat(QFile::encodeName(t.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(other->path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        return nullptr;
    return other;
}

}  // namespace

TEST(FileMove, AcrossFileSystemsTheCopyIsOnDiskBeforeTheSourceGoes)
{
    WatchedDisk disk;
    TempDir t;
    const auto other = otherFileSystem(t);
    if (!other)
        GTEST_SKIP() << "no second file system (/dev/shm) beside the temporary folder";
    FileSystemObject fso;

    disk.watched = t.write("x.txt", "payload");
    fso.GetFile(disk.watched).Move(other->path() + "/");
    EXPECT_GE(disk.fsyncs, 2);  // the copy and its folder
    EXPECT_EQ(disk.flushesWithSource, disk.fsyncs);
    EXPECT_FALSE(t.exists("x.txt"));
    EXPECT_EQ(test::readBytes(other->path() + "/x.txt"), QByteArray("payload"));

    // A disk that fails to take the copy: the source stays, no copy is left.
    disk.error = EIO;
    disk.watched = t.write("y.txt", "kept");
    EXPECT_THROW(fso.GetFile(disk.watched).Move(other->path() + "/"), FsError);
    EXPECT_EQ(t.read("y.txt"), QByteArray("kept"));
    EXPECT_EQ(QDir(other->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"x.txt"});
}

TEST(FileMove, AGroupFlushesItsFileSystemOnceAndOnlyThenRemovesTheSources)
{
    WatchedDisk disk;
    TempDir t;
    const auto other = otherFileSystem(t);
    if (!other)
        GTEST_SKIP() << "no second file system (/dev/shm) beside the temporary folder";
    const QString to = other->path() + "/";
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
        t.write(QStringLiteral("src/") + QLatin1String(name), name);
    FileSystemObject fso;
    std::vector<File> files = fso.GetFolder(t.file("src")).Files();
    ASSERT_EQ(files.size(), 5u);
    {
        MoveGroup group;
        for (size_t i = 0; i < 3; ++i)
            files[i].Move(to, &group);
        EXPECT_EQ(group.Waiting(), 3);
        EXPECT_TRUE(t.exists("src/a.txt") && t.exists("src/c.txt"));  // both until the flush
        EXPECT_EQ(test::readBytes(to + "b.txt"), QByteArray("b.txt"));
        EXPECT_EQ(disk.syncfses + disk.fsyncs, 0);

        // A source replaced meanwhile is another file: kept, and said so.
        t.write("c.new", "newer");
        ASSERT_EQ(::rename(QFile::encodeName(t.file("c.new")).constData(),
                           QFile::encodeName(t.file("src/c.txt")).constData()),
                  0);
        const std::vector<FsError> failures = group.Flush();
        EXPECT_EQ(disk.syncfses, 1);
        EXPECT_EQ(disk.fsyncs, 0);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].path(), t.file("src/c.txt"));
        EXPECT_FALSE(t.exists("src/a.txt") || t.exists("src/b.txt"));
        EXPECT_EQ(t.read("src/c.txt"), QByteArray("newer"));
        EXPECT_EQ(test::readBytes(to + "c.txt"), QByteArray("c.txt"));
        EXPECT_EQ(group.Waiting(), 0);

        // A flush the disk fails: the sources stay, their copies go.
        disk.error = EIO;
        files[3].Move(to, &group);
        files[4].Move(to, &group);
    }  // the group flushes as it ends
    EXPECT_EQ(disk.syncfses, 2);
    EXPECT_EQ(t.read("src/d.txt"), QByteArray("d.txt"));
    EXPECT_EQ(t.read("src/e.txt"), QByteArray("e.txt"));
    EXPECT_EQ(QDir(other->path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.txt", "b.txt", "c.txt"}));
}
