// `kestrune same`: groups of identical files as jdupes -r prints them, and
// --delete --keep.

#include "core/fs/fsnames.h"
#include "support/clirun.h"
#include "support/sametree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// Paths ended by `separator`, each group ended by one more.
PathGroups parseGroups(const QByteArray& out, char separator)
{
    PathGroups groups;
    std::set<QByteArray> group;
    for (const QByteArray& item : lines(out, separator)) {
        if (!item.isEmpty()) {
            group.insert(item);
        } else if (!group.empty()) {
            groups.insert(group);
            group.clear();
        }
    }
    EXPECT_TRUE(group.empty() && (out.isEmpty() || out.endsWith(QByteArray(2, separator)))) << "a group without its end";
    return groups;
}

}  // namespace

// On the trap tree (names not UTF-8 among them) the groups are those cmp finds.
TEST_F(CliTest, SamePrintsTheGroupsCmpFindsAsJdupesDoes)
{
    const QString tree = dir.file(QStringLiteral("tree"));
    makeTrapTree(tree, dir.mkdir(QStringLiteral("outside")));
    const PathGroups expected = groupsByCmp(tree);
    for (const char* null : {"", "-0"}) {
        QList<QByteArray> args{"same", encodeFileName(tree)};
        if (*null)
            args << null;
        const CliRun run = kestrune(args);
        EXPECT_EQ(run.code, 0) << run.err.constData();
        EXPECT_EQ(byInodeName(parseGroups(run.out, *null ? '\0' : '\n'), tree), expected) << null;
    }
}

// --delete keeps the file --keep names in each group and deletes the others;
// wrong options are usage errors.
TEST_F(CliTest, SameDeleteKeepsOnePerGroup)
{
    const struct {
        const char* keep;
        const char* kept;
    } cases[] = {{"oldest", "b/x"}, {"newest", "c/x"}, {"first", "a/x"}};
    for (const auto& c : cases) {
        const QString root = dir.mkdir(QLatin1String(c.keep));
        const time_t when[] = {2000000, 1000000, 3000000};
        QList<QByteArray> args{"same", "--delete", "--keep", c.keep, "--no-trash"};
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("%1/%2/x").arg(QLatin1String(c.keep)).arg(QChar(u'a' + i));
            const struct timespec times[2] = {{0, UTIME_OMIT}, {when[i], 0}};
            ::utimensat(AT_FDCWD, encodeFileName(dir.write(name, "copy")).constData(), times, 0);
            args << encodeFileName(root + QLatin1Char('/') + QChar(u'a' + i));
        }
        const CliRun run = kestrune(args);
        EXPECT_EQ(run.code, 0) << c.keep << run.err.constData();
        for (const char* name : {"a/x", "b/x", "c/x"})
            EXPECT_EQ(dir.exists(QLatin1String(c.keep) + QLatin1Char('/') + QLatin1String(name)),
                      qstrcmp(name, c.kept) == 0)
                << c.keep << " " << name;
    }
    const QByteArray folder = encodeFileName(dir.path());
    for (const QList<QByteArray>& args : QList<QList<QByteArray>>{
             {"same"},
             {"same", "--keep", "oldest", folder},
             {"same", "--delete", "--keep", "largest", folder},
             {"same", "--min-size", "ten", folder},
             {"same", "--delete", "--keep", "first", "--trash", "--no-trash", folder}})
        EXPECT_EQ(kestrune(args).code, 2) << args.join(' ').constData();
}

// A file its user cannot read is named and never in a group; the status is 1.
TEST_F(CliTest, SameNamesAnUnreadableFileAndLeavesItOut)
{
    if (::geteuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0)
        GTEST_SKIP() << "needs root and runuser to become nobody";
    for (const char* name : {"d/a", "d/b", "d/secret"})
        dir.write(QLatin1String(name), "same");
    ::chmod(encodeFileName(dir.file(QStringLiteral("d/secret"))).constData(), 0600);
    for (const QString& p : {dir.path(), dir.file(QStringLiteral("d"))})
        ::chmod(encodeFileName(p).constData(), 0777);
    const CliRun run = runProgram(scratch, {"same", encodeFileName(dir.file(QStringLiteral("d")))}, {},
                                  {"/usr/sbin/runuser", "-u", "nobody", "--", (cliProg + "/kestrune").toUtf8()});
    EXPECT_EQ(run.code, 1) << run.err.constData();
    EXPECT_EQ(parseGroups(run.out, '\n'), (PathGroups{{encodeFileName(dir.file(QStringLiteral("d/a"))),
                                                       encodeFileName(dir.file(QStringLiteral("d/b")))}}));
    EXPECT_TRUE(run.err.contains(encodeFileName(dir.file(QStringLiteral("d/secret"))))) << run.err.constData();
}
