#include "core/fs/fsnames.h"
#include "core/fs/fso.h"
#include "core/fs/fsoshortnames.h"
#include "core/system/platform.h"
#include "gui/common/qtplatform.h"
#include "support/rawnames.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <optional>
#include <set>

#include <sys/stat.h>

using namespace kestrune;
using namespace kestrune::test;

TEST(FileNameMapping, EveryByteValueComesBackAsItWas)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        const QString s = decodeFileName(one);
        ASSERT_EQ(s.size(), 1) << b;
        EXPECT_EQ(encodeFileName(s), one) << b;
        // Bytes that are not UTF-8 on their own are kept as U+DC80..U+DCFF.
        EXPECT_EQ(s.at(0).unicode(), b < 0x80 ? b : 0xDC00 + b) << b;
        all += one;
    }
    EXPECT_EQ(encodeFileName(decodeFileName(all)), all);
    // UTF-8 next to raw bytes stays UTF-8; the UTF-8 form of an escape code
    // (ED B2 80) and an overlong form are bytes, not characters.
    const QByteArray mixed("\xE4\xBD\xA0\xC4\xE3-\xED\xB2\x80-\xC0\xAF-\xF0\x9F\x98\x80\xFF");
    const QString m = decodeFileName(mixed);
    EXPECT_TRUE(m.startsWith(QStringLiteral("你")));
    EXPECT_TRUE(m.contains(QStringLiteral("😀")));
    EXPECT_EQ(encodeFileName(m), mixed);
    EXPECT_FALSE(m.contains(QChar::ReplacementCharacter));
}

TEST(FileNameMapping, ShownAsGb18030OrEscapedAndUtf8Unchanged)
{
    EXPECT_EQ(displayFileName(decodeFileName(QByteArray("\xC4\xE3\xBA\xC3.txt"))), QStringLiteral("你好.txt"));
    EXPECT_EQ(displayFileName(decodeFileName(QByteArray("bad\xFF.txt"))), QStringLiteral("bad\\xFF.txt"));
    // Each part of a path is read on its own: a UTF-8 folder above a GBK name.
    EXPECT_EQ(displayFileName(decodeFileName(QByteArray("/\xE6\x96\x87/\xC4\xE3\xBA\xC3.txt"))),
              QStringLiteral("/文/你好.txt"));
    EXPECT_EQ(displayFileName(QStringLiteral("/a/中文.txt")), QStringLiteral("/a/中文.txt"));
}

// A batch reads copies of the names its window shows: reading a name must
// never rewrite the string (a literal's text moved to a buffer of its own is
// a write another thread may meet half done).
TEST(FileNameMapping, ReadingANameLeavesTheStringItWasGivenUntouched)
{
    const QString names[] = {QStringLiteral("a.doc"), QStringLiteral("LONGFILENAME.TEXT"),
                             QString::fromRawData(reinterpret_cast<const QChar*>(u"raw.txt"), 7)};
    for (const QString& name : names) {
        const QChar* before = name.constData();
        encodeFileName(name);
        hasRawBytes(name);
        displayFileName(name);
        isValidShortName(name);
        shortNamesFor({name});
        EXPECT_EQ(name.constData(), before) << name.toStdString();
    }
}

TEST(FileNameMapping, ListingReachesEveryNameInAFixedOrderWithUniqueAliases)
{
    TempDir t;
    const QList<QByteArray> names = mixedNames();
    for (const QByteArray& n : names)
        writeRaw(t.path(), n, n);  // each file holds its own name
    writeRaw(t.path(), QByteArray("\xC4\xE3\xBA\xC3 2.txt"));
    FileSystemObject fso;
    auto listing = [&] {
        QStringList out;
        for (const File& f : fso.GetFolder(t.path()).Files())
            out << f.Name() + QLatin1Char('|') + f.ShortName();
        return out;
    };
    const QStringList first = listing();
    ASSERT_EQ(first.size(), 5);
    EXPECT_EQ(listing(), first);
    std::set<QString> aliases;
    for (const File& f : fso.GetFolder(t.path()).Files()) {
        const QString alias = f.ShortName();
        EXPECT_TRUE(aliases.insert(alias.toUpper()).second) << alias.toStdString();
        for (QChar c : alias)
            EXPECT_LT(c.unicode(), 0x80) << alias.toStdString();
        EXPECT_LE(alias.size(), 12);
        // The file is reached again by its name, through the folder and by
        // its path alone.
        const QByteArray bytes = encodeFileName(f.Name());
        if (names.contains(bytes)) {
            EXPECT_EQ(f.Size(), bytes.size()) << f.Path().toStdString();
            EXPECT_EQ(fso.GetFile(f.Path()).Size(), bytes.size());
        }
    }
    EXPECT_EQ(first[0], QStringLiteral("bad%1.txt|BAD_~1.TXT").arg(QChar(0xDCFF)));
    EXPECT_EQ(first[1], QStringLiteral("ok.txt|ok.txt"));
}

// A program handed a path with raw bytes gets those very bytes.
TEST(FileNameMapping, StartedProgramsGetTheExactBytesOfTheirArguments)
{
    TempDir t;
    const QString path = writeRaw(t.path(), QByteArray("\xC4\xE3\xBA\xC3 \xFF.txt"));
    QObject context;
    std::optional<ProgramEnd> end;
    runProgramWithQProcess(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"), QStringLiteral("test -f \"$1\""), QStringLiteral("sh"), path},
                           &context, [&](const ProgramEnd& e) { end = e; });
    QElapsedTimer clock;
    clock.start();
    while (!end && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(end.has_value());
    EXPECT_TRUE(end->ok()) << end->exitCode << " " << end->error.toStdString();
}

// A program started without waiting (the compilers) gets the exact bytes too,
// and one that cannot be started is said so.
TEST(FileNameMapping, DetachedProgramsGetTheExactBytesOfTheirArguments)
{
    TempDir t;
    const QString from = writeRaw(t.path(), QByteArray("\xC4\xE3\xBA\xC3 \xFF.vbp"), "project");
    const QString to = decodeFileName(encodeFileName(t.path()) + "/\xB0\xEF\xD6\xFA.out");
    QtPlatform qt;
    ASSERT_TRUE(qt.startProgram(QStringLiteral("/bin/sh"),
                                {QStringLiteral("-c"), QStringLiteral("cp \"$1\" \"$2\""), QStringLiteral("sh"), from, to},
                                WindowState::Hidden));
    QElapsedTimer clock;
    clock.start();
    while (!rawExists(t.path(), "\xB0\xEF\xD6\xFA.out") && clock.elapsed() < 10000)
        QThread::msleep(20);
    EXPECT_TRUE(rawExists(t.path(), "\xB0\xEF\xD6\xFA.out"));
    EXPECT_FALSE(qt.startProgram(t.path() + QStringLiteral("/no such program"), {from}, WindowState::Hidden));
}

// Qt's dialogs give U+FFFD for each byte that is not UTF-8; the picked file
// is found again by its bytes, in every part of its path.
TEST(FileNameMapping, NamesFromQtsDialogsAreFoundAgainByTheirBytes)
{
    TempDir t;
    ASSERT_EQ(::mkdir((encodeFileName(t.path()) + "/\xB0\xEF\xD6\xFA").constData(), 0700), 0);
    const QString folder = decodeFileName(encodeFileName(t.path()) + "/\xB0\xEF\xD6\xFA");
    const QString file = writeRaw(folder, "\xC4\xE3.dwg");
    const QString asQtGivesIt = QFile::decodeName(encodeFileName(file));
    ASSERT_NE(asQtGivesIt, file);
    EXPECT_EQ(fileNameFromQt(asQtGivesIt), file);
    // A new name (a file to save) keeps its text; only its folder is found.
    EXPECT_EQ(fileNameFromQt(QFile::decodeName(encodeFileName(folder)) + QStringLiteral("/新.bmp")),
              folder + QStringLiteral("/新.bmp"));
    // Two names Qt reads alike: neither is guessed.
    writeRaw(folder, "\xC4\xE5.dwg");
    EXPECT_EQ(fileNameFromQt(asQtGivesIt), folder + QLatin1Char('/') + asQtGivesIt.section(QLatin1Char('/'), -1));
    EXPECT_EQ(fileNameFromQt(t.path()), t.path());
}
