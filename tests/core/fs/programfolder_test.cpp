#include "app/mdiform1.h"
#include "gui/about/frmtip.h"
#include "core/fs/fso.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"
#include "core/about/tips.h"
#include "support/tempdir.h"

#include <QDir>
#include <QLabel>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// A program folder and a home of their own; whether the program folder is
// writable is decided by the test (root may write anywhere).
struct DataFolder : ::testing::Test {
    TempDir dir;
    QString prog = dir.mkdir(QStringLiteral("prog"));
    QString home = dir.mkdir(QStringLiteral("home"));
    QByteArray savedHome = qgetenv("HOME");
    QByteArray savedXdg = qgetenv("XDG_DATA_HOME");
    bool writable = false;
    QStringList asked;

    void SetUp() override
    {
        setProgramFolder(prog);
        qputenv("HOME", home.toLocal8Bit());
        qunsetenv("XDG_DATA_HOME");
        setFolderWritableCheck([this](const QString& folder) {
            asked << folder;
            return writable;
        });
        resetTips();
    }
    void TearDown() override
    {
        setFolderWritableCheck({});
        qputenv("HOME", savedHome);
        if (savedXdg.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedXdg);
        resetTips();
        TipFromMenu = false;
    }
};

}  // namespace

TEST_F(DataFolder, WritableProgramFolderKeepsTheFilesBesideTheProgram)
{
    writable = true;
    EXPECT_EQ(dataFile(QStringLiteral("db1.mdb")), prog + QStringLiteral("/db1.mdb"));
    EXPECT_EQ(asked, QStringList{prog});
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/.local")));
}

TEST_F(DataFolder, OtherwiseTheUsersDataFolderIsMadeOnFirstUse)
{
    const QString fallback = home + QStringLiteral("/.local/share/Kestrune");
    EXPECT_EQ(userDataFolder(), fallback);
    EXPECT_FALSE(QFileInfo::exists(fallback));
    EXPECT_EQ(dataFile(QStringLiteral("setting.txt")), fallback + QStringLiteral("/setting.txt"));
    EXPECT_TRUE(QFileInfo(fallback).isDir());
    // The "current folder" is still the program's.
    EXPECT_EQ(programFolder(), prog);

    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/xdg/")).toLocal8Bit());
    EXPECT_EQ(dataFile(QStringLiteral("db1.mdb")), dir.file(QStringLiteral("xdg/Kestrune/db1.mdb")));
    EXPECT_TRUE(dir.exists(QStringLiteral("xdg/Kestrune")));
    // A relative XDG_DATA_HOME is no base folder and is ignored.
    qputenv("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(dataFolder(), fallback);
}

TEST_F(DataFolder, TipsAreReadFromTheUsersFileElseFromOneBesideTheProgram)
{
    const QString own = home + QStringLiteral("/.local/share/Kestrune/readme.txt");
    dir.write(QStringLiteral("prog/readme.txt"), QByteArray());
    // An empty file beside the program is no tips file: the user's gets the
    // built-in tips.
    EXPECT_EQ(tipsFilePath(), own);

    dir.write(QStringLiteral("prog/readme.txt"), toGb18030(QStringLiteral("装在程序旁的提示\r\n")));
    EXPECT_EQ(tipsFilePath(), prog + QStringLiteral("/readme.txt"));
    TipFromMenu = true;
    {
        frmTip tip;
        EXPECT_EQ(tip.lblTipText->text(), QStringLiteral("装在程序旁的提示"));
    }
    EXPECT_FALSE(QFileInfo::exists(own));  // read, not copied

    dir.write(QStringLiteral("home/.local/share/Kestrune/readme.txt"), "mine\r\n");
    EXPECT_EQ(tipsFilePath(), own);
    resetTips();
    {
        frmTip tip;
        EXPECT_EQ(tip.lblTipText->text(), QStringLiteral("mine"));
    }
}

TEST_F(DataFolder, AProgramFolderAnotherUserMayWriteIsNotTheDataFolder)
{
    setFolderWritableCheck({});  // the system decides: root may write all of these
    const QString fallback = home + QStringLiteral("/.local/share/Kestrune");
    const QByteArray native = QFile::encodeName(prog);
    ASSERT_EQ(::chmod(native.constData(), 0755), 0);
    EXPECT_EQ(dataFolder(), prog);

    ASSERT_EQ(::chmod(native.constData(), 0777), 0);  // unpacked into a shared folder
    EXPECT_EQ(dataFolder(), fallback);
    ASSERT_EQ(::chmod(native.constData(), 01777), 0);  // sticky: others still create names
    EXPECT_EQ(dataFolder(), fallback);

    // Writable by a group of others (nogroup stands for one), or owned by another user.
    ASSERT_EQ(::chmod(native.constData(), 0775), 0);
    ASSERT_EQ(::chown(native.constData(), uid_t(-1), 65534), 0);
    EXPECT_EQ(dataFolder(), fallback);
    ASSERT_EQ(::chmod(native.constData(), 0755), 0);
    ASSERT_EQ(::chown(native.constData(), 65534, ::getegid()), 0);
    if (::geteuid() != 65534) {
        EXPECT_EQ(dataFolder(), fallback);
    }
    ASSERT_EQ(::chown(native.constData(), ::geteuid(), ::getegid()), 0);
    EXPECT_EQ(dataFolder(), prog);
}

TEST_F(DataFolder, DataFilesAreNeverWrittenThroughALink)
{
    writable = true;
    const QString victim = dir.write(QStringLiteral("victim.txt"), QByteArray());
    ASSERT_TRUE(QFile::link(victim, prog + QStringLiteral("/readme.txt")));
    ASSERT_TRUE(QFile::link(victim, prog + QStringLiteral("/setting.txt")));

    // An empty tips file gets the built-in tips: not through the link.
    TipFromMenu = true;
    {
        frmTip tip;
        EXPECT_TRUE(tip.lblTipText->text().contains(QStringLiteral("链接")));
    }
    EXPECT_THROW(writeBuiltInTips(tipsFilePath()), FsError);
    try {
        TextStream out = FileSystemObject().CreateDataTextFile(prog + QStringLiteral("/setting.txt"));
        out.WriteLine(QStringLiteral("filter=.doc"));
        out.Close();
        ADD_FAILURE() << "wrote through a link";
    } catch (const FsError& e) {
        EXPECT_EQ(e.errorNumber(), ELOOP);
    }
    EXPECT_EQ(dir.read(QStringLiteral("victim.txt")), QByteArray());
    EXPECT_TRUE(QFileInfo(prog + QStringLiteral("/readme.txt")).isSymLink());

    // A link put there after the file was begun is replaced, not written through.
    const QString setting = prog + QStringLiteral("/setting.txt");
    QFile::remove(setting);
    TextStream out = FileSystemObject().CreateDataTextFile(setting);
    out.WriteLine(QStringLiteral("filter=.doc"));
    ASSERT_TRUE(QFile::link(victim, setting));
    EXPECT_THROW(out.Close(), FsError);
    EXPECT_EQ(dir.read(QStringLiteral("victim.txt")), QByteArray());
}
