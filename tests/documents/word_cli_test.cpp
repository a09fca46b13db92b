// The helper's command line for people and scripts.

#include "word_support.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

TEST(WordCommandLine, OneLinePerFileAndStatusOnlyZeroWhenAllOk)
{
    TempDir dir;
    const QString docx = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("a.docx"));
    const QString text = dir.write(QStringLiteral("b.txt"), "plain\n");

    QProcess run;
    run.start(wordHelperPath(), {QStringLiteral("--open-password"), QStringLiteral("739"),
                                 QStringLiteral("--modify-password"), QStringLiteral("5917"), docx, text});
    ASSERT_TRUE(run.waitForFinished(240000));
    EXPECT_EQ(run.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(run.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines[0], docx + QStringLiteral("\tok"));
    EXPECT_TRUE(lines[1].startsWith(text + QLatin1Char('\t')));
    EXPECT_NE(lines[1], text + QStringLiteral("\tok"));
    EXPECT_EQ(readBytes(text), QByteArray("plain\n"));
    Protection p = inspect(docx, QStringLiteral("739"), QStringLiteral("5917"));
    EXPECT_TRUE(p.decrypts);
    EXPECT_EQ(p.writeProtection, QStringLiteral("match"));

    // An encrypted file cannot be opened without its password here.
    run.start(wordHelperPath(), {QStringLiteral("--open-password"), QString(), docx});
    ASSERT_TRUE(run.waitForFinished(240000));
    EXPECT_EQ(run.exitCode(), 1);
    EXPECT_TRUE(inspect(docx, QStringLiteral("739"), QString()).encrypted);
}
