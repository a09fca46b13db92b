#include "core/fs/fso.h"
#include "core/system/platform.h"
#include "core/system/textcodec.h"
#include "core/about/tips.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {
QString startupKey()
{
    return settingsAppName() + QStringLiteral("/Options/在启动时显示提示");
}
}  // namespace

TEST(TipLines, EveryLineIsATipBlankOnesIncluded)
{
    EXPECT_EQ(splitTipLines(QStringLiteral("a\r\nb\r\nc")), QStringList({"a", "b", "c"}));
    // A closing line end adds no empty tip; blank lines inside are tips.
    EXPECT_EQ(splitTipLines(QStringLiteral("a\r\n\r\nc\r\n")), QStringList({"a", "", "c"}));
    EXPECT_EQ(splitTipLines(QStringLiteral("\r\n\r\n")), QStringList({"", ""}));
    // Files edited on Linux or old Macs end lines differently.
    EXPECT_EQ(splitTipLines(QStringLiteral("a\nb\rc\n")), QStringList({"a", "b", "c"}));
    EXPECT_EQ(splitTipLines(QStringLiteral("\r\r\n")), QStringList({"", ""}));
    EXPECT_TRUE(splitTipLines(QString()).isEmpty());
}

TEST(TipsFile, ReadsWhatIsThereAndTellsMissingEmptyAndUnreadableApart)
{
    TempDir dir;
    EXPECT_EQ(readTipsFile(QString()).status, TipsFileContent::NoFile);
    EXPECT_EQ(readTipsFile(dir.file("readme.txt")).status, TipsFileContent::NoFile);
    // A folder of that name is no tips file.
    EXPECT_EQ(readTipsFile(dir.mkdir("folder.txt")).status, TipsFileContent::NoFile);
    EXPECT_EQ(readTipsFile(dir.write("empty.txt", QByteArray())).status, TipsFileContent::Empty);

    const TipsFileContent gb = readTipsFile(dir.write("gb.txt", toGb18030(QStringLiteral("第一条\r\n第二条"))));
    EXPECT_EQ(gb.status, TipsFileContent::Read);
    EXPECT_EQ(gb.lines, QStringList({QStringLiteral("第一条"), QStringLiteral("第二条")}));
    const TipsFileContent utf8 = readTipsFile(dir.write("utf8.txt", QStringLiteral("提示\n").toUtf8()));
    EXPECT_EQ(utf8.lines, QStringList({QStringLiteral("提示")}));

    // A file that exists but whose reading fails (the kernel refuses reads of it).
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), dir.file("bad.txt")));
    const TipsFileContent bad = readTipsFile(dir.file("bad.txt"));
    EXPECT_EQ(bad.status, TipsFileContent::Unreadable);
    EXPECT_FALSE(bad.error.isEmpty());
}

TEST(TipsFile, BuiltInTipsAreWrittenInCodePage936WithCrLf)
{
    TempDir dir;
    const QString path = dir.write("readme.txt", "old content that is replaced");
    writeBuiltInTips(path);
    const QByteArray bytes = test::readBytes(path);
    ASSERT_EQ(builtInTips().size(), 11);
    EXPECT_EQ(bytes, toGb18030(builtInTips().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    EXPECT_TRUE(bytes.startsWith(toGb18030(QStringLiteral("Kestrune有多种非常实用的功能，"))));
    EXPECT_TRUE(bytes.endsWith(toGb18030(QStringLiteral("让您做到滴水不漏!\r\n"))));
    EXPECT_EQ(readTipsFile(path).lines, builtInTips());

    // A folder in the file's place cannot be replaced: the failure reaches the caller.
    EXPECT_THROW(writeBuiltInTips(dir.mkdir("taken.txt")), FsError);
}

TEST(TipIndexTest, MovesOnAndWrapsToTheFirstTip)
{
    resetTips();
    QString tip = QStringLiteral("unchanged");
    EXPECT_FALSE(currentTip(&tip));
    EXPECT_EQ(tip, QStringLiteral("unchanged"));
    TipList = QStringList({"a", "b", "c"});
    QStringList seen;
    for (int i = 0; i < 5; ++i) {
        advanceTipIndex();
        ASSERT_TRUE(currentTip(&tip));
        seen << tip;
    }
    EXPECT_EQ(seen, QStringList({"a", "b", "c", "a", "b"}));
    EXPECT_EQ(TipIndex, 2);
    resetTips();
    EXPECT_TRUE(TipList.isEmpty());
    EXPECT_EQ(TipIndex, 0);
}

TEST(TipStartupSetting, AbsentMeansShowOnlyANumberZeroHides)
{
    EXPECT_TRUE(showTipsAtStartup());
    const QStringList hiding = {"0", " 0 ", "00"};
    for (const QString& v : hiding) {
        scripted().settings[startupKey()] = v;
        EXPECT_FALSE(showTipsAtStartup()) << v.toStdString();
    }
    for (const QString& v : {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("是"), QString()}) {
        scripted().settings[startupKey()] = v;
        EXPECT_TRUE(showTipsAtStartup()) << v.toStdString();
    }
    saveShowTipsAtStartup(false);
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("0"));
    saveShowTipsAtStartup(true);
    EXPECT_EQ(scripted().settings.value(startupKey()), QStringLiteral("1"));
}

TEST(TipLines, OverlongLinesKeepTheirStartOnly)
{
    const QString limit(kLongestTip, QLatin1Char('a'));
    EXPECT_EQ(shortenedTip(limit), limit);
    EXPECT_EQ(shortenedTip(limit + QLatin1Char('b')), limit + QChar(0x2026));
    // A character outside the BMP across the limit goes whole.
    const QString face = QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(shortenedTip(limit.left(kLongestTip - 1) + face + QLatin1Char('b')),
              limit.left(kLongestTip - 1) + QChar(0x2026));

    TempDir dir;
    const QString path = dir.write("readme.txt", QByteArray(5 * kLongestTip, 'x') + "\r\nshort\r\n");
    const TipsFileContent content = readTipsFile(path);
    ASSERT_EQ(content.lines.size(), 2);
    EXPECT_EQ(content.lines[0], QString(kLongestTip, QLatin1Char('x')) + QChar(0x2026));
    EXPECT_EQ(content.lines[1], QStringLiteral("short"));
}

TEST(TipsFile, OnlyTheStartOfALargeFileIsReadAndEndsOnAWholeLine)
{
    TempDir dir;
    QByteArray lines;
    for (int i = 0; i < 3 * kMostTips; ++i)
        lines += "tip " + QByteArray::number(i) + "\r\n";
    const TipsFileContent many = readTipsFile(dir.write("many.txt", lines));
    ASSERT_EQ(many.status, TipsFileContent::Read);
    ASSERT_EQ(many.lines.size(), kMostTips);
    EXPECT_EQ(many.lines.last(), QStringLiteral("tip %1").arg(kMostTips - 1));

    // Long lines: as many as end within the bytes read, each whole.
    const int length = 4000;
    lines.clear();
    for (int i = 0; lines.size() < kTipsFileReadLimit + 8 * length; ++i) {
        const QByteArray number = QByteArray::number(i);
        lines += number + QByteArray(length - 1 - number.size(), '.') + '\n';
    }
    const TipsFileContent big = readTipsFile(dir.write("big.txt", lines));
    ASSERT_EQ(big.lines.size(), int(kTipsFileReadLimit / length));
    for (int i = 0; i < big.lines.size(); ++i)
        ASSERT_TRUE(big.lines.at(i).startsWith(QString::number(i) + QLatin1Char('.'))) << i;
    EXPECT_EQ(tipsFileStart(lines, kTipsFileReadLimit).size(), kTipsFileReadLimit / length * length);

    // One line longer than what is read: still UTF-8, no character cut in
    // half; the tip is shortened as usual.
    QByteArray one;
    while (one.size() <= kTipsFileReadLimit + 8)
        one += QStringLiteral("提示").toUtf8();
    const TipsFileContent single = readTipsFile(dir.write("one.txt", one));
    ASSERT_EQ(single.lines.size(), 1);
    EXPECT_TRUE(single.lines.at(0).startsWith(QStringLiteral("提示提示")));
    EXPECT_EQ(single.lines.at(0).size(), kLongestTip + 1);
    for (qint64 limit : {7, 8, 9, 10})  // 3-byte characters, cut anywhere
        EXPECT_EQ(tipsFileStart(one, limit).size(), limit / 3 * 3) << limit;
}
