#include "support/recordtest.h"

#include "core/records/recorder.h"
#include "core/fs/fsnames.h"
#include "support/batchwait.h"
#include "support/rawnames.h"
#include "support/tempdir.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

struct Recording {
    TempDir dir;
    QString db = dir.file(QStringLiteral("prog/db1.mdb"));
    RecordStore store{db};
    TableCursor files{store, QStringLiteral("fileInf")};
    FileSystemObject fso;

    Recording()
    {
        dir.mkdir(QStringLiteral("prog"));
        EXPECT_TRUE(store.open({QStringLiteral("fileInf"), QStringLiteral("log")}));
        EXPECT_TRUE(files.requery());
    }
};

}  // namespace

TEST(RecordFolder, StoresEachFileOfTheFolderOnlyAndTwiceMeansTwice)
{
    Recording r;
    r.dir.write(QStringLiteral("src/b.txt"), "12345");
    r.dir.write(QStringLiteral("src/A long name.html"), "1");
    r.dir.write(QStringLiteral("src/.hidden"), "");
    r.dir.write(QStringLiteral("src/sub/deep.txt"), "deep");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);

    const RecordRun run = recordFolder(r.fso, r.dir.file(QStringLiteral("src")), r.files);
    EXPECT_EQ(run.outcome, RecordRun::Outcome::Recorded);
    EXPECT_EQ(run.stored, 3);
    auto rows = tableRows(r.db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 3u);
    // Listing order, files of subfolders not visited.
    EXPECT_EQ(rows[0][0], ".hidden");
    EXPECT_EQ(rows[1][0], "A long name.html");
    EXPECT_EQ(rows[2][0], "b.txt");
    EXPECT_EQ(rows[2][2], "5");
    EXPECT_EQ(rows[1][4], "ALONGN~1.HTM");
    EXPECT_EQ(rows[2][4], "b.txt");
    EXPECT_FALSE(rows[2][1].isEmpty());
    EXPECT_NE(rows[2][1], "<null>");
    const QDateTime modified = QDateTime::fromString(rows[2][3], QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    ASSERT_TRUE(modified.isValid()) << rows[2][3].toStdString();
    EXPECT_GE(modified, before);
    EXPECT_LE(modified, QDateTime::currentDateTime().addSecs(2));

    EXPECT_EQ(recordFolder(r.fso, r.dir.file(QStringLiteral("src")), r.files).outcome,
              RecordRun::Outcome::Recorded);
    rows = tableRows(r.db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[3], tableRows(r.db, QStringLiteral("fileInf"))[0]);
}

namespace {

// Puts a time zone in force for one test and takes it back afterwards.
class TimeZoneInForce {
public:
    explicit TimeZoneInForce(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TimeZoneInForce()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

void setModified(const QString& path, time_t seconds, long nanoseconds)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

}  // namespace

TEST(RecordFolder, DatesAreStoredAsTheLocalClockOfTheZoneInForce)
{
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")));
    const TimeZoneInForce berlin(":Europe/Berlin");
    Recording r;
    // Summer time, winter time with a fraction of a second, and a moment
    // before 1970 (seconds are counted down, not towards zero).
    setModified(r.dir.write(QStringLiteral("src/a.txt")), 1782907200, 0);          // 2026-07-01 12:00:00 UTC
    setModified(r.dir.write(QStringLiteral("src/b.txt")), 1768478400, 750000000);  // 2026-01-15 12:00:00.75 UTC
    setModified(r.dir.write(QStringLiteral("src/c.txt")), -2, 500000000);          // 1969-12-31 23:59:58.5 UTC
    ASSERT_EQ(recordFolder(r.fso, r.dir.file(QStringLiteral("src")), r.files).outcome,
              RecordRun::Outcome::Recorded);
    const auto rows = tableRows(r.db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][3], "2026-07-01 14:00:00");
    EXPECT_EQ(rows[1][3], "2026-01-15 13:00:00");
    EXPECT_EQ(rows[2][3], "1970-01-01 00:59:58");

    // Whatever the form of the moment, its text is Qt's local clock.
    for (const QDateTime& t : {QDateTime::fromSecsSinceEpoch(1782907200, Qt::UTC),
                               QDateTime::fromSecsSinceEpoch(1782907200, Qt::LocalTime),
                               QDateTime::fromSecsSinceEpoch(1782907200, Qt::OffsetFromUTC, 3600),
                               QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC)}) {
        EXPECT_EQ(recordTimeText(t), t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
            << t.toString(Qt::ISODateWithMs).toStdString();
    }
}

TEST(RecordFolder, NothingIsStoredForAMissingFolderAFileOrAFolderWithoutFiles)
{
    Recording r;
    r.dir.write(QStringLiteral("plain.txt"), "x");
    r.dir.mkdir(QStringLiteral("onlysubs/one"));
    r.dir.write(QStringLiteral("onlysubs/two/x.txt"), "x");
    r.dir.mkdir(QStringLiteral("empty"));
    EXPECT_EQ(recordFolder(r.fso, r.dir.file(QStringLiteral("nosuch")), r.files).outcome,
              RecordRun::Outcome::NoFolder);
    EXPECT_EQ(recordFolder(r.fso, r.dir.file(QStringLiteral("plain.txt")), r.files).outcome,
              RecordRun::Outcome::NoFolder);
    EXPECT_EQ(recordFolder(r.fso, QString(), r.files).outcome, RecordRun::Outcome::NoFolder);
    EXPECT_EQ(recordFolder(r.fso, r.dir.file(QStringLiteral("onlysubs")), r.files).outcome,
              RecordRun::Outcome::NoFiles);
    EXPECT_EQ(recordFolder(r.fso, r.dir.file(QStringLiteral("empty")), r.files).outcome,
              RecordRun::Outcome::NoFiles);
    EXPECT_TRUE(tableRows(r.db, QStringLiteral("fileInf")).empty());
}

TEST(RecordFolder, NameCutToFiftyCharactersWhenAsked)
{
    Recording r;
    const QString sixty = QString(30, QChar(0x6587)) + QString(30, QLatin1Char('n'));  // 60 characters
    r.dir.write(QStringLiteral("src/") + sixty, "x");
    recordFolder(r.fso, r.dir.file(QStringLiteral("src")), r.files, 50);
    recordFolder(r.fso, r.dir.file(QStringLiteral("src")), r.files, 0);
    const auto rows = tableRows(r.db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], sixty.left(50));
    EXPECT_EQ(rows[1][0], sixty);
}

TEST(RecordFolder, CutNeverSplitsACharacterOutsideTheBasicPlane)
{
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");  // two UTF-16 units
    const QString name = QString(49, QLatin1Char('a')) + clef + QStringLiteral("tail");
    EXPECT_EQ(leftCharacters(name, 50), QString(49, QLatin1Char('a')) + clef);
    EXPECT_EQ(leftCharacters(name, 49), QString(49, QLatin1Char('a')));
    EXPECT_EQ(leftCharacters(QStringLiteral("short"), 50), "short");
    EXPECT_EQ(leftCharacters(name, 0), name);
}

TEST(RecordFolder, AValueThatCannotBeReadLeavesOnlyItsFieldEmpty)
{
    Recording r;
    const QString path = r.dir.write(QStringLiteral("src/gone.txt"), "abc");
    r.dir.write(QStringLiteral("src/kept.txt"), "abcd");
    // The first file vanishes between listing and reading.
    const StepHook hook([&](const QString& doing, int) {
        if (doing.endsWith(QLatin1String("gone.txt")))
            QFile::remove(path);
        return false;
    });
    ProgressSink progress;
    const RecordRun run = recordFolder(r.fso, r.dir.file(QStringLiteral("src")), r.files, 0, &progress);
    EXPECT_EQ(run.outcome, RecordRun::Outcome::Recorded);
    EXPECT_EQ(run.stored, 2);
    const auto rows = tableRows(r.db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "gone.txt");
    EXPECT_NE(rows[0][1], "<null>");
    EXPECT_EQ(rows[0][2], "<null>");
    EXPECT_EQ(rows[0][3], "<null>");
    EXPECT_EQ(rows[0][4], "gone.txt");
    EXPECT_EQ(rows[1][2], "4");
    EXPECT_NE(rows[1][3], "<null>");
    // The run names it, with why, for the message at its end.
    ASSERT_EQ(run.failures.count(), 1);
    EXPECT_EQ(run.failures.named()[0].path, path);
    EXPECT_TRUE(run.failures.named()[0].reason.startsWith(QStringLiteral("大小和修改时间未能读取")));
}

// The folder text is kept as given; a name that is not UTF-8 is kept
// readable, never garbled.
TEST(RecordFolder, LogRecordKeepsTheFolderTextUnchanged)
{
    const struct {
        QString given;
        QString stored;
    } cases[] = {
        {QStringLiteral(" /some/where/ "), QStringLiteral(" /some/where/ ")},
        {decodeFileName(QByteArray("/tmp/\xC4\xE3\xBA\xC3")), QStringLiteral("/tmp/你好")},
        {decodeFileName(QByteArray("/x/bad\xFF/y")), QStringLiteral("/x/bad\\xFF/y")},
    };
    Recording r;
    TableCursor log(r.store, QStringLiteral("log"));
    ASSERT_TRUE(log.requery());
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 59, 58));
    for (const auto& c : cases)
        ASSERT_TRUE(addLogRecord(log, c.given, when));
    const auto rows = tableRows(r.db, QStringLiteral("log"));
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], QStringList({cases[i].stored, "2024-02-29 23:59:58"}));
}

TEST(ShortNames, ManySimilarNamesStayUniqueAndQuick)
{
    std::vector<QString> names;
    for (int i = 10000; i < 40000; ++i)
        names.push_back(QStringLiteral("file%1.txt").arg(i));
    names.push_back(QStringLiteral("FILE10~2.TXT"));  // already taken as it stands
    const auto start = std::chrono::steady_clock::now();
    const std::vector<QString> aliases = shortNamesFor(names);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0);
    ASSERT_EQ(aliases.size(), names.size());
    QSet<QString> seen;
    for (const QString& a : aliases) {
        EXPECT_TRUE(isValidShortName(a)) << a.toStdString();
        seen.insert(a.toUpper());
    }
    EXPECT_EQ(seen.size(), qsizetype(names.size()));
    // Each name gets the first free tail, in listing order; longer tails
    // shorten the prefix, which similar names then share.
    EXPECT_EQ(aliases[0], "FILE10~1.TXT");
    EXPECT_EQ(aliases[1], "FILE10~3.TXT");
    EXPECT_EQ(aliases[7], "FILE10~9.TXT");
    EXPECT_EQ(aliases[8], "FILE1~10.TXT");
    EXPECT_EQ(aliases[97], "FILE1~99.TXT");
    EXPECT_EQ(aliases[98], "FILE~100.TXT");
    EXPECT_EQ(aliases[998], "FIL~1000.TXT");
    EXPECT_EQ(aliases[1000], "FILE11~1.TXT");
    EXPECT_EQ(aliases[1008], "FILE11~9.TXT");
    EXPECT_EQ(aliases[1009], "FIL~1002.TXT");
    EXPECT_EQ(aliases.back(), "FILE10~2.TXT");
}

// Names that are not UTF-8 are stored readable, each with its own size.
TEST(RecordFolder, NamesThatAreNotUtf8AreStoredReadableWithTheirSizes)
{
    Recording r;
    const QString src = r.dir.mkdir(QStringLiteral("src"));
    writeRaw(src, QByteArray("\xC4\xE3\xBA\xC3.txt"), "12345");
    writeRaw(src, QByteArray("bad\xFF.txt"), "123");
    ASSERT_EQ(recordFolder(r.fso, src, r.files).outcome, RecordRun::Outcome::Recorded);
    const auto rows = tableRows(r.db, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "bad\\xFF.txt");
    EXPECT_EQ(rows[0][2], "3");
    EXPECT_EQ(rows[1][0], QStringLiteral("你好.txt"));
    EXPECT_EQ(rows[1][2], "5");
}
