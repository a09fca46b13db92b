#include "core/filemanager/batchwalk.h"

#include "support/batchwait.h"
#include "support/rawnames.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>


using namespace kestrune;
using kestrune::test::TempDir;

namespace {

// The window's controls as the walk reads them when it starts.
struct Fixed {
    bool multiType = false;
    QString typeList = QStringLiteral("txt");
    QString singleType = QStringLiteral("*.txt");
    int operation = kOpCopy;
    QString destination;
    bool overwrite = true;
    int missingCalls = 0;

    BatchInputs inputs()
    {
        BatchInputs in;
        in.multiType = multiType;
        in.typeList = typeList;
        in.singleType = singleType;
        in.operation = operation;
        in.destination = destination;
        in.overwrite = overwrite;
        in.typeListMissing = [this] { ++missingCalls; };
        return in;
    }
};

void walk(const TempDir& dir, const QString& relative, bool recurse, Fixed& fixed)
{
    batchWalk(dir.file(relative), recurse, fixed.inputs());
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

}  // namespace

TEST(TypeListFilter, EntriesAreTrimmedComparedWithoutCaseAndNeedNoDot)
{
    EXPECT_TRUE(matchesTypeList(QStringLiteral("A.CHM"), QStringLiteral("chm ; DOC")));
    EXPECT_TRUE(matchesTypeList(QStringLiteral("b.doc"), QStringLiteral("chm ; DOC")));
    EXPECT_FALSE(matchesTypeList(QStringLiteral("b.docx"), QStringLiteral("chm ; DOC")));
    // No dot is added: "doc" is a plain suffix, ".doc" needs the dot.
    EXPECT_TRUE(matchesTypeList(QStringLiteral("adoc"), QStringLiteral("doc")));
    EXPECT_FALSE(matchesTypeList(QStringLiteral("adoc"), QStringLiteral(".doc")));
    EXPECT_TRUE(matchesTypeList(QStringLiteral("a.doc"), QStringLiteral(".doc")));
    // An entry longer than the name never matches.
    EXPECT_FALSE(matchesTypeList(QStringLiteral("c"), QStringLiteral("abc")));
    EXPECT_TRUE(matchesTypeList(QStringLiteral("文档.文本"), QStringLiteral("文本")));
}

TEST(TypeListFilter, EmptyEntriesMatchNothing)
{
    // "chm;" used with delete must not delete every file of the tree.
    EXPECT_FALSE(matchesTypeList(QStringLiteral("x.txt"), QStringLiteral("chm;")));
    EXPECT_FALSE(matchesTypeList(QStringLiteral("x.txt"), QStringLiteral(";chm")));
    EXPECT_FALSE(matchesTypeList(QStringLiteral("x.txt"), QStringLiteral("chm; ;doc")));
    EXPECT_FALSE(matchesTypeList(QStringLiteral("x.txt"), QStringLiteral(";;")));
    EXPECT_TRUE(matchesTypeList(QStringLiteral("x.doc"), QStringLiteral("chm;;doc")));
}

TEST(SingleTypeFilter, ComparesTheLastThreeCharactersOfTheShortName)
{
    TempDir dir;
    dir.write(QStringLiteral("f/page.html"));
    dir.write(QStringLiteral("f/notes.txtx"));
    dir.write(QStringLiteral("f/MOVIE.RM"));
    dir.write(QStringLiteral("f/setup.exe.bak"));
    FileSystemObject fso;
    QMap<QString, QString> shortNames;
    for (const File& f : fso.GetFolder(dir.file(QStringLiteral("f"))).Files())
        shortNames.insert(f.Name(), f.ShortName());
    ASSERT_EQ(shortNames.value(QStringLiteral("page.html")), QStringLiteral("PAGE~1.HTM"));
    ASSERT_EQ(shortNames.value(QStringLiteral("notes.txtx")), QStringLiteral("NOTES~1.TXT"));

    EXPECT_TRUE(matchesSingleType(shortNames.value(QStringLiteral("page.html")), QStringLiteral("*.htm")));
    EXPECT_FALSE(matchesSingleType(shortNames.value(QStringLiteral("page.html")), QStringLiteral("*.html")));
    EXPECT_TRUE(matchesSingleType(shortNames.value(QStringLiteral("notes.txtx")), QStringLiteral("*.txt")));
    EXPECT_TRUE(matchesSingleType(shortNames.value(QStringLiteral("MOVIE.RM")), QStringLiteral("*.rm")));
    EXPECT_FALSE(matchesSingleType(shortNames.value(QStringLiteral("setup.exe.bak")), QStringLiteral("*.exe")));
    EXPECT_TRUE(matchesSingleType(QStringLiteral("SETUP.EXE"), QStringLiteral("*.exe")));
    EXPECT_TRUE(matchesSingleType(QStringLiteral("setup.exe"), QStringLiteral("*.EXE")));
    // The pattern is not trimmed, and a pattern shorter than three
    // characters is compared whole.
    EXPECT_FALSE(matchesSingleType(QStringLiteral("A.TXT"), QStringLiteral("*.txt ")));
    EXPECT_FALSE(matchesSingleType(QStringLiteral("A.RM"), QStringLiteral("rm")));
    EXPECT_FALSE(matchesSingleType(QStringLiteral("A.TXT"), QString()));
}

TEST(SingleTypeFilter, WalkUsesShortNamesOfRealFiles)
{
    TempDir dir;
    dir.write(QStringLiteral("src/page.html"));
    dir.write(QStringLiteral("src/old.htm"));
    dir.write(QStringLiteral("src/notes.txtx"));
    Fixed fixed;
    fixed.operation = kOpDelete;
    fixed.singleType = QStringLiteral("*.html");
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))).size(), 3);  // "tml" matches no short name

    fixed.singleType = QStringLiteral("*.htm");
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))), QStringList{QStringLiteral("notes.txtx")});

    fixed.singleType = QStringLiteral("*.txt");
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_TRUE(entries(dir.file(QStringLiteral("src"))).isEmpty());
}

TEST(SingleTypeFilter, StarDotStarAndStarTakeEveryFile)
{
    for (const QString& pattern : {QStringLiteral("*.*"), QStringLiteral("*"), QStringLiteral(" *.* ")}) {
        SCOPED_TRACE(pattern.toStdString());
        TempDir dir;
        for (const QString& name : {QStringLiteral("README"), QStringLiteral("a.b.c"), QStringLiteral(".hidden"),
                                    QStringLiteral("page.html"), QStringLiteral("sub/x.doc")})
            dir.write(QStringLiteral("src/") + name);
        dir.mkdir(QStringLiteral("dest"));
        Fixed fixed;
        fixed.singleType = pattern;
        fixed.destination = dir.file(QStringLiteral("dest"));
        walk(dir, QStringLiteral("src"), true, fixed);
        QStringList copied = entries(dir.file(QStringLiteral("dest")));
        copied.sort();
        EXPECT_EQ(copied, (QStringList{QStringLiteral(".hidden"), QStringLiteral("README"), QStringLiteral("a.b.c"),
                                       QStringLiteral("page.html"), QStringLiteral("x.doc")}));
    }
    // Other patterns with wildcards match as before: by their last three
    // characters, which no short name ends in.
    EXPECT_FALSE(matchesSingleType(QStringLiteral("A.TXT"), QStringLiteral("*.?")));
    EXPECT_FALSE(matchesSingleType(QStringLiteral("A.TXT"), QStringLiteral("**")));
}

TEST(BatchWalk, CopyFlattensTheTreeAndTheLaterFileWins)
{
    TempDir dir;
    dir.write(QStringLiteral("src/a/x.txt"), "x");
    dir.write(QStringLiteral("src/a/b/y.txt"), "y");
    dir.write(QStringLiteral("src/dup.txt"), "first");
    dir.write(QStringLiteral("src/z/dup.txt"), "second");
    dir.write(QStringLiteral("src/z/skip.doc"), "doc");
    dir.mkdir(QStringLiteral("dest"));
    Fixed fixed;
    fixed.destination = dir.file(QStringLiteral("dest"));
    walk(dir, QStringLiteral("src"), true, fixed);

    EXPECT_EQ(entries(dir.file(QStringLiteral("dest"))),
              (QStringList{QStringLiteral("dup.txt"), QStringLiteral("x.txt"), QStringLiteral("y.txt")}));
    EXPECT_EQ(dir.read(QStringLiteral("dest/dup.txt")), QByteArray("second"));
    EXPECT_EQ(dir.read(QStringLiteral("dest/y.txt")), QByteArray("y"));
    // Copies leave the sources in place.
    EXPECT_TRUE(dir.exists(QStringLiteral("src/a/b/y.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/z/dup.txt")));
}

TEST(BatchWalk, MoveNeverReplacesSoTheLaterFileStays)
{
    TempDir dir;
    dir.write(QStringLiteral("src/dup.txt"), "first");
    dir.write(QStringLiteral("src/z/dup.txt"), "second");
    dir.write(QStringLiteral("src/z/other.txt"), "other");
    dir.mkdir(QStringLiteral("dest"));
    Fixed fixed;
    fixed.operation = kOpMove;
    fixed.overwrite = true;  // does not make a move replace
    fixed.destination = dir.file(QStringLiteral("dest"));
    walk(dir, QStringLiteral("src"), true, fixed);

    EXPECT_EQ(dir.read(QStringLiteral("dest/dup.txt")), QByteArray("first"));
    EXPECT_EQ(dir.read(QStringLiteral("src/z/dup.txt")), QByteArray("second"));
    EXPECT_FALSE(dir.exists(QStringLiteral("src/dup.txt")));
    // The failure of one file does not end the walk.
    EXPECT_EQ(dir.read(QStringLiteral("dest/other.txt")), QByteArray("other"));
    EXPECT_FALSE(dir.exists(QStringLiteral("src/z/other.txt")));
}

TEST(BatchWalk, SubfoldersOnlyWhenAsked)
{
    TempDir dir;
    dir.write(QStringLiteral("src/top.txt"));
    dir.write(QStringLiteral("src/sub/inner.txt"));
    Fixed fixed;
    fixed.operation = kOpDelete;
    walk(dir, QStringLiteral("src"), false, fixed);
    EXPECT_FALSE(dir.exists(QStringLiteral("src/top.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/sub/inner.txt")));

    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_FALSE(dir.exists(QStringLiteral("src/sub/inner.txt")));
}

TEST(BatchWalk, TellsItsProgressOfEveryFileInDepthFirstOrderAndStopsWhenAsked)
{
    TempDir dir;
    dir.write(QStringLiteral("src/B.txt"));
    dir.write(QStringLiteral("src/a.txt"));
    dir.write(QStringLiteral("src/sub/c.txt"));
    dir.write(QStringLiteral("src/sub/deeper/d.txt"));
    dir.write(QStringLiteral("src/zz/e.txt"));
    dir.mkdir(QStringLiteral("out"));
    Fixed fixed;
    fixed.destination = dir.file(QStringLiteral("out"));
    QStringList seen;
    ProgressSink::setTestHook([&](const QString& doing, int done) {
        seen << QFileInfo(doing).fileName() + QLatin1Char('@') + QString::number(done);
        return done == 4;  // stop before the fifth file
    });
    ProgressSink progress;
    bool stopped = false;
    const int handled = batchWalk(dir.file(QStringLiteral("src")), true, fixed.inputs(), &progress, &stopped);
    ProgressSink::setTestHook({});

    EXPECT_EQ(seen, (QStringList{"a.txt@0", "B.txt@1", "c.txt@2", "d.txt@3", "e.txt@4"}));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(handled, 4);
    EXPECT_EQ(entries(dir.file(QStringLiteral("out"))),
              (QStringList{"B.txt", "a.txt", "c.txt", "d.txt"}));
}

TEST(BatchWalk, ACopyStoppedBetweenChunksLeavesNeitherItNorATemporaryFile)
{
    TempDir dir;
    // Four chunks' worth: the copy is asked whether to go on after each.
    dir.write(QStringLiteral("src/big.txt"), QByteArray(4 << 20, 'x'));
    dir.write(QStringLiteral("out/big.txt"), QByteArray("the old one"));
    FileSystemObject fso;
    const std::vector<File> files = fso.GetFolder(dir.file(QStringLiteral("src"))).Files();
    ASSERT_EQ(files.size(), 1u);
    std::vector<qint64> seen;
    const CopyObserver stopHalfway = [&](qint64 copied, qint64 size) {
        seen.push_back(copied);
        EXPECT_EQ(size, 4 << 20);
        return copied < size / 2;
    };
    // Replacing a file, and putting a new one in place without replacing.
    dir.mkdir(QStringLiteral("new"));
    for (const QString& folder : {QStringLiteral("out"), QStringLiteral("new")}) {
        seen.clear();
        try {
            files[0].Copy(dir.file(folder) + QLatin1Char('/'), folder == QLatin1String("out"), stopHalfway);
            ADD_FAILURE() << "a stopped copy reported success";
        } catch (const FsError& e) {
            EXPECT_EQ(e.errorNumber(), ECANCELED);
        }
        EXPECT_EQ(seen, (std::vector<qint64>{1 << 20, 2 << 20}));
    }
    // The old file is whole and nothing half written is left.
    EXPECT_EQ(entries(dir.file(QStringLiteral("out"))), QStringList{"big.txt"});
    EXPECT_EQ(dir.read(QStringLiteral("out/big.txt")), QByteArray("the old one"));
    EXPECT_TRUE(entries(dir.file(QStringLiteral("new"))).isEmpty());
    // A move across file systems copies too, and is stopped the same way.
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        QTemporaryDir other(QStringLiteral("/dev/shm/kestrune-test-XXXXXX"));
        seen.clear();
        EXPECT_THROW(files[0].Move(other.path() + QLatin1Char('/'), nullptr, stopHalfway), FsError);
        EXPECT_TRUE(entries(other.path()).isEmpty());
        EXPECT_TRUE(dir.exists(QStringLiteral("src/big.txt")));
    }
}

TEST(BatchWalk, EmptyTypeListIsReportedOncePerFolderReachedAndTouchesNothing)
{
    TempDir dir;
    // Root without files; "a" has files and a subfolder that is skipped
    // with it; "b" has no files, so its subfolder "c" is reached.
    dir.write(QStringLiteral("src/a/one.txt"));
    dir.write(QStringLiteral("src/a/inner/two.txt"));
    dir.write(QStringLiteral("src/b/c/three.txt"));
    dir.mkdir(QStringLiteral("src/empty"));
    Fixed fixed;
    fixed.multiType = true;
    fixed.typeList = QStringLiteral("   ");
    fixed.operation = kOpForceDelete;
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(fixed.missingCalls, 2);
    EXPECT_TRUE(dir.exists(QStringLiteral("src/a/one.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/a/inner/two.txt")));
    EXPECT_TRUE(dir.exists(QStringLiteral("src/b/c/three.txt")));

    // A list that holds only separators is not empty: nothing is reported and
    // nothing matches.
    fixed.missingCalls = 0;
    fixed.typeList = QStringLiteral(" ; ");
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(fixed.missingCalls, 0);
    EXPECT_TRUE(dir.exists(QStringLiteral("src/a/one.txt")));

    fixed.typeList = QStringLiteral("txt ;");
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_FALSE(dir.exists(QStringLiteral("src/a/one.txt")));
    EXPECT_FALSE(dir.exists(QStringLiteral("src/b/c/three.txt")));
}

TEST(BatchWalk, MultiTypeListSelectsByLongName)
{
    TempDir dir;
    dir.write(QStringLiteral("src/A.CHM"));
    dir.write(QStringLiteral("src/b.doc"));
    dir.write(QStringLiteral("src/adoc"));
    dir.write(QStringLiteral("src/keep.docx"));
    Fixed fixed;
    fixed.multiType = true;
    fixed.typeList = QStringLiteral("  chm ; DOC  ");
    fixed.singleType = QStringLiteral("*.docx");  // not used while the switch is on
    fixed.operation = kOpDelete;
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))), QStringList{QStringLiteral("keep.docx")});
}

TEST(BatchWalk, PlainDeleteLeavesReadOnlyFilesForcedDeleteRemovesThem)
{
    TempDir dir;
    const QString locked = dir.write(QStringLiteral("src/locked.txt"));
    dir.write(QStringLiteral("src/plain.txt"));
    kestrune::test::setReadOnly(locked, true);
    Fixed fixed;
    fixed.operation = kOpDelete;
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_TRUE(dir.exists(QStringLiteral("src/locked.txt")));
    EXPECT_FALSE(dir.exists(QStringLiteral("src/plain.txt")));

    fixed.operation = kOpForceDelete;
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_FALSE(dir.exists(QStringLiteral("src/locked.txt")));
}

// Deletes for good go a folder at a time on two lanes; what they did is
// still told file by file in the walk's order, and a stop leaves untold only
// files that are still there.
namespace {

// src/dNN/fNN.txt, 40 folders of 25 files, every seventh read-only, deleted
// by one walk that notes what it is told.
struct DeleteRun {
    TempDir dir;
    QStringList all, readOnly, done, failed;
    bool stopped = false;
    int handled = 0;

    DeleteRun()
    {
        for (int i = 0; i < 40 * 25; ++i) {
            const QString path = dir.write(QStringLiteral("src/d%1/f%2.txt")
                                               .arg(i / 25, 2, 10, QLatin1Char('0'))
                                               .arg(i % 25, 2, 10, QLatin1Char('0')));
            all << path;
            if (i % 7 == 3) {
                kestrune::test::setReadOnly(path, true);
                readOnly << path;
            }
        }
    }
    void walk(int operation)
    {
        Fixed fixed;
        fixed.operation = operation;
        BatchInputs inputs = fixed.inputs();
        inputs.done = [this](const QString& path) { done << path; };
        inputs.failed = [this](const QString& path, const QString& why) {
            failed << path;
            EXPECT_EQ(why, QStringLiteral("文件只读")) << path.toStdString();
        };
        ProgressSink progress;
        handled = batchWalk(dir.file(QStringLiteral("src")), true, inputs, &progress, &stopped);
    }
    QStringList gone() const
    {
        QStringList out;
        for (const QString& p : all) {
            if (!QFileInfo::exists(p))
                out << p;
        }
        return out;
    }
};

}  // namespace

TEST(BatchWalk, DeletesForGoodAreToldInWalkOrderAndKeepReadOnlyFilesUnlessForced)
{
    for (const int operation : {kOpDelete, kOpForceDelete}) {
        DeleteRun run;
        run.walk(operation);
        const bool force = operation == kOpForceDelete;
        QStringList gone = run.all;
        if (!force) {
            for (const QString& p : run.readOnly)
                gone.removeOne(p);
        }
        EXPECT_FALSE(run.stopped);
        EXPECT_EQ(run.handled, run.all.size());
        EXPECT_EQ(run.done, gone);
        EXPECT_EQ(run.gone(), gone);
        EXPECT_EQ(run.failed, force ? QStringList() : run.readOnly);
    }
}

TEST(BatchWalk, ADeleteStoppedMidwayCountsAndTellsExactlyTheFilesItDeleted)
{
    DeleteRun run;
    // Stopped ten files into the 25th folder: those ten were passed by the
    // filter but never deleted.
    const kestrune::test::StepHook hook([](const QString&, int handledSoFar) { return handledSoFar == 610; });
    run.walk(kOpForceDelete);

    EXPECT_TRUE(run.stopped);
    const QStringList gone = run.gone();
    EXPECT_GT(gone.size(), 0);
    EXPECT_LE(gone.size(), 600);
    EXPECT_EQ(run.done, gone);
    EXPECT_EQ(run.handled, gone.size());
}

TEST(BatchWalk, CopyWithoutOverwriteKeepsExistingFiles)
{
    TempDir dir;
    dir.write(QStringLiteral("src/a.txt"), "new");
    dir.write(QStringLiteral("src/b.txt"), "b");
    dir.write(QStringLiteral("dest/a.txt"), "old");
    Fixed fixed;
    fixed.overwrite = false;
    fixed.destination = dir.file(QStringLiteral("dest"));
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(dir.read(QStringLiteral("dest/a.txt")), QByteArray("old"));
    EXPECT_EQ(dir.read(QStringLiteral("dest/b.txt")), QByteArray("b"));

    fixed.overwrite = true;
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(dir.read(QStringLiteral("dest/a.txt")), QByteArray("new"));
}

TEST(BatchWalk, TheDestinationsTreeIsNeverTakenAsInput)
{
    // Where each file ends up for each destination inside (or equal to) the
    // source: files already in the destination's tree stay where they are.
    struct Case {
        QString destination;
        QStringList expected;  // a, b, c in turn
    };
    const QList<Case> cases{
        {QStringLiteral("src"), {QStringLiteral("src/a.txt"), QStringLiteral("src/sub/b.txt"), QStringLiteral("src/sub/deep/c.txt")}},
        {QStringLiteral("src/out"), {QStringLiteral("src/out/a.txt"), QStringLiteral("src/out/b.txt"), QStringLiteral("src/out/c.txt")}},
        {QStringLiteral("src/sub"), {QStringLiteral("src/sub/a.txt"), QStringLiteral("src/sub/b.txt"), QStringLiteral("src/sub/deep/c.txt")}},
    };
    for (int operation : {kOpCopy, kOpMove}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(QStringLiteral("%1 into %2").arg(operation).arg(c.destination).toStdString());
            TempDir dir;
            dir.write(QStringLiteral("src/a.txt"), "aaaa");
            dir.write(QStringLiteral("src/sub/b.txt"), "bbbb");
            dir.write(QStringLiteral("src/sub/deep/c.txt"), "cccc");
            dir.mkdir(QStringLiteral("src/out"));
            Fixed fixed;
            fixed.operation = operation;
            fixed.destination = dir.file(c.destination);
            walk(dir, QStringLiteral("src"), true, fixed);

            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(dir.read(c.expected[i]), QByteArray(4, char('a' + i))) << c.expected[i].toStdString();
            if (operation == kOpCopy) {
                EXPECT_EQ(dir.read(QStringLiteral("src/a.txt")), QByteArray("aaaa"));
                EXPECT_EQ(dir.read(QStringLiteral("src/sub/b.txt")), QByteArray("bbbb"));
                EXPECT_EQ(dir.read(QStringLiteral("src/sub/deep/c.txt")), QByteArray("cccc"));
            }
            // No temporary file is left behind anywhere.
            for (const QString& folder : {QStringLiteral("src"), QStringLiteral("src/out"), QStringLiteral("src/sub")})
                for (const QString& entry : entries(dir.file(folder)))
                    EXPECT_FALSE(entry.startsWith(QLatin1Char('.'))) << entry.toStdString();
        }
    }

    // A copy that replaces, into a folder of the source, never takes a file
    // of that folder's tree to replace another of it.
    TempDir dir;
    dir.write(QStringLiteral("src/keep/report.txt"), "keep");
    dir.write(QStringLiteral("src/keep/archive/report.txt"), "archive");
    Fixed fixed;
    fixed.operation = kOpCopy;
    fixed.overwrite = true;
    fixed.destination = dir.file(QStringLiteral("src/keep"));
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(dir.read(QStringLiteral("src/keep/report.txt")), QByteArray("keep"));
    EXPECT_EQ(dir.read(QStringLiteral("src/keep/archive/report.txt")), QByteArray("archive"));
}

TEST(BatchWalk, EmptyDestinationIsNeverTheRootAndOtherOperationsDoNothing)
{
    TempDir dir;
    const QString path = dir.write(QStringLiteral("src/a.txt"), "a");
    FileSystemObject fso;
    const File file = fso.GetFile(path);
    EXPECT_THROW(applyBatchOperation(file, kOpCopy, QString(), true), FsError);
    EXPECT_THROW(applyBatchOperation(file, kOpMove, QStringLiteral("  "), true), FsError);
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/a.txt")));
    for (int operation : {0, 5, -1})
        applyBatchOperation(file, operation, dir.file(QStringLiteral("src")), true);
    EXPECT_EQ(dir.read(QStringLiteral("src/a.txt")), QByteArray("a"));
}

TEST(BatchWalk, MissingDestinationFailsEveryFileSilently)
{
    TempDir dir;
    dir.write(QStringLiteral("src/a.txt"), "a");
    dir.write(QStringLiteral("src/b.txt"), "b");
    Fixed fixed;
    fixed.operation = kOpMove;
    fixed.destination = dir.file(QStringLiteral("nowhere"));
    walk(dir, QStringLiteral("src"), true, fixed);
    EXPECT_EQ(entries(dir.file(QStringLiteral("src"))), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_FALSE(dir.exists(QStringLiteral("nowhere")));
}

// Names that are not UTF-8 (GBK, a lone invalid byte) beside ASCII and UTF-8
// ones: every operation reaches every one of them.
TEST(BatchWalk, EveryOperationReachesNamesThatAreNotUtf8)
{
    using namespace kestrune::test;
    const QList<QByteArray> names = mixedNames();
    auto fill = [&](const QString& folder) {
        for (const QByteArray& n : names)
            writeRaw(folder, n, n);
    };
    auto all = [&](const QString& folder, bool present) {
        for (const QByteArray& n : names)
            EXPECT_EQ(rawExists(folder, n), present) << n.toHex().toStdString();
    };
    TempDir t;
    const QString src = t.mkdir(QStringLiteral("src"));
    const QString dst = t.mkdir(QStringLiteral("dst"));
    fill(src);

    Fixed copy;
    copy.destination = dst;
    walk(t, QStringLiteral("src"), false, copy);
    all(dst, true);
    all(src, true);
    EXPECT_EQ(readBytes(dst + QStringLiteral("/ok.txt")), "ok.txt");

    // Moved within the file system and onto another one.
    Fixed move;
    move.operation = kOpMove;
    move.destination = t.mkdir(QStringLiteral("moved"));
    walk(t, QStringLiteral("dst"), false, move);
    all(dst, false);
    all(t.file(QStringLiteral("moved")), true);
    ShmDir shm;
    ASSERT_TRUE(shm.valid());
    move.destination = shm.path();
    walk(t, QStringLiteral("moved"), false, move);
    all(t.file(QStringLiteral("moved")), false);
    all(shm.path(), true);

    Fixed del;
    del.operation = kOpDelete;
    walk(t, QStringLiteral("src"), false, del);
    all(src, false);

    // Read-only files: only the forced delete takes them.
    fill(src);
    for (const QByteArray& n : names)
        setRawReadOnly(src, n);
    walk(t, QStringLiteral("src"), false, del);
    all(src, true);
    Fixed force;
    force.operation = kOpForceDelete;
    walk(t, QStringLiteral("src"), false, force);
    all(src, false);
}
