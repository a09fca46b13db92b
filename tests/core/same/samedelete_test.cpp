#include "core/same/samedelete.h"

#include "core/fs/fsnames.h"
#include "support/rawnames.h"
#include "support/tempdir.h"
#include "support/trashsupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::test::TempDir;

namespace {

SameGroup onlyGroup(const QString& folder)
{
    SameOptions options;
    options.folders = {folder};
    const SameResult r = findSameFiles(options, nullptr);
    EXPECT_EQ(r.groups.size(), 1u);
    return r.groups.empty() ? SameGroup{} : r.groups[0];
}

// Sets a file's modification time back to what it was.
void setModified(const QString& path, qint64 ns)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(ns / 1000000000), long(ns % 1000000000)}};
    ::utimensat(AT_FDCWD, encodeFileName(path).constData(), times, 0);
}

void overwrite(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace

// Every file of a group wanted gone: the keeper stays and is named.
TEST(SameDelete, PlanKeepsOnePerGroup)
{
    SameGroup g;
    g.size = 1;
    g.files = {{"/a", 1, 30, 1, 1, 0}, {"/b", 1, 10, 1, 2, 0}, {"/c", 1, 20, 1, 3, 0}};
    std::vector<SameProblem> refused;
    const auto all = planDeletions({g}, [](int, int) { return true; }, KeepRule::Oldest, {}, &refused);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].kept.path, QStringLiteral("/b"));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].path, QStringLiteral("/b"));
    // The oldest wanted and another not: it goes against the one left.
    refused.clear();
    const auto some = planDeletions({g}, [](int, int f) { return f != 2; }, KeepRule::Oldest, {}, &refused);
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0].kept.path, QStringLiteral("/c"));
    EXPECT_TRUE(refused.empty());
}

// A copy goes (also one named with bytes that are not UTF-8), into the trash
// when asked; the file kept stays.
TEST(SameDelete, DeletesVerifiedCopiesForGoodOrToTrash)
{
    for (bool toTrash : {false, true}) {
        test::OwnTrash trash;
        TempDir t;
        t.write("d/keep", "content");
        test::writeRaw(t.file("d"), "bad\xFF", "content");
        setModified(t.file("d/keep"), 1000000000);
        const SameGroup g = onlyGroup(t.file("d"));
        const auto plan = planDeletions({g}, [](int, int) { return true; }, KeepRule::Oldest, {}, nullptr);
        const SameDeleteOutcome out = deleteCopies(plan, toTrash, nullptr, SearchRoots());
        EXPECT_EQ(out.deleted.size(), 1) << toTrash;
        EXPECT_TRUE(out.kept.empty());
        EXPECT_TRUE(t.exists("d/keep"));
        EXPECT_FALSE(test::rawExists(t.file("d"), "bad\xFF"));
        EXPECT_EQ(test::trashEntries(trash.trash()).size(), toTrash ? 1 : 0);
    }
}

// A file changed between the search and the delete stays and is named:
// its size, its time, its content behind a restored time, or the file kept.
TEST(SameDelete, ChangedFilesAreKeptAndNamed)
{
    const struct {
        const char* what;
        bool changeKept;
        QByteArray content;
        bool restoreTime;
    } cases[] = {
        {"longer", false, "content!", false},
        {"same size, new time", false, "CONTENT", false},
        {"same size and time", false, "CONTENT", true},
        {"the file kept", true, "CONTENT", false},
    };
    for (const auto& c : cases) {
        TempDir t;
        t.write("d/a", "content");
        t.write("d/b", "content");
        setModified(t.file("d/a"), 1000000000);
        const SameGroup g = onlyGroup(t.file("d"));
        const auto plan = planDeletions({g}, [](int, int f) { return f == 1; }, KeepRule::First, {}, nullptr);
        ASSERT_EQ(plan.size(), 1u);
        const SameFile& target = c.changeKept ? plan[0].kept : plan[0].copy;
        overwrite(target.path, c.content);
        if (c.restoreTime)
            setModified(target.path, target.modifiedNs);
        const SameDeleteOutcome out = deleteCopies(plan, false, nullptr, SearchRoots());
        EXPECT_TRUE(out.deleted.isEmpty()) << c.what;
        ASSERT_EQ(out.kept.size(), 1u) << c.what;
        EXPECT_EQ(out.kept[0].path, plan[0].copy.path);
        EXPECT_FALSE(out.kept[0].why.isEmpty());
        EXPECT_TRUE(QFile::exists(plan[0].copy.path)) << c.what;
    }
}

// The CSV reads back: a byte-order mark, the heading, one line per file,
// a name with a comma and a quote quoted.
TEST(SameDelete, CsvReadsBack)
{
    TempDir t;
    t.write("d/报告,\"1\".doc", "same");
    t.write("d/plain", "same");
    const SameGroup g = onlyGroup(t.file("d"));
    QString why;
    ASSERT_TRUE(writeSameCsv(t.file("out.csv"), {g}, &why)) << why.toStdString();
    const QByteArray bytes = t.read("out.csv");
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("组,文件数,大小(字节),路径,修改时间"));
    for (int i = 0; i < 2; ++i) {
        const QString& line = lines[i + 1];
        EXPECT_TRUE(line.startsWith(QStringLiteral("1,2,4,"))) << line.toStdString();
        const QString path = g.files[i].path;
        const QString field = path.contains(QLatin1Char(','))
                                  ? QLatin1Char('"') + QString(path).replace(QStringLiteral("\""), QStringLiteral("\"\""))
                                        + QLatin1Char('"')
                                  : path;
        EXPECT_TRUE(line.contains(QLatin1Char(',') + field + QLatin1Char(','))) << line.toStdString();
    }
    // A folder that is not there: refused with a reason.
    EXPECT_FALSE(writeSameCsv(t.file("none/out.csv"), {g}, &why));
    EXPECT_FALSE(why.isEmpty());
}
