// The helper's command line for people and scripts.

#include "support/word_support.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

TEST(WordCommandLine, OneLinePerFileAndStatusOnlyZeroWhenAllOk)
{
    TempDir dir;
    const QString docx = copyWordFixture(dir, QStringLiteral("word_sample.docx"), QStringLiteral("a.docx"));
    const QString text = dir.write(QStringLiteral("b.txt"), "plain\n");

    // The passwords come on standard input, where no other user can see them.
    QProcess run;
    run.start(wordHelperPath(), {QStringLiteral("--passwords-from"), QStringLiteral("-"), docx, text});
    run.write("739\r\n5917\n");
    run.closeWriteChannel();
    ASSERT_TRUE(run.waitForFinished(240000));
    EXPECT_FALSE(run.readAllStandardError().contains("警告"));
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
    // An empty password on the command line gives nothing away: no warning.
    run.start(wordHelperPath(), {QStringLiteral("--open-password"), QString(), docx});
    ASSERT_TRUE(run.waitForFinished(240000));
    EXPECT_EQ(run.exitCode(), 1);
    EXPECT_FALSE(run.readAllStandardError().contains("警告"));
    EXPECT_TRUE(inspect(docx, QStringLiteral("739"), QString()).encrypted);
}

TEST(WordCommandLine, PasswordsOnTheCommandLineAreWarnedAboutAndAFileIsTheSafeWay)
{
    // No office is needed to see how the passwords are taken: an office
    // folder that does not exist ends each run right after that (status 3).
    TempDir dir;
    const QString noOffice = dir.file(QStringLiteral("no-office"));
    const QString docx = dir.file(QStringLiteral("a.docx"));
    auto run = [&](const QStringList& args, int* status) {
        QProcess helper;
        helper.start(wordHelperPath(), QStringList{QStringLiteral("--office"), noOffice} + args);
        helper.closeWriteChannel();
        EXPECT_TRUE(helper.waitForFinished(60000));
        *status = helper.exitCode();
        return QString::fromUtf8(helper.readAllStandardError());
    };
    int status = 0;
    QString err = run({QStringLiteral("--open-password"), QStringLiteral("739"), docx}, &status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(err.contains(QStringLiteral("警告")) && err.contains(QStringLiteral("--passwords-from")))
        << err.toStdString();

    const QString own = dir.write(QStringLiteral("own"), "739\n5917\n");
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner);
    err = run({QStringLiteral("--passwords-from"), own, docx}, &status);
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(err.contains(QStringLiteral("警告"))) << err.toStdString();

    const QString open = dir.write(QStringLiteral("open"), "739\n");
    QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    err = run({QStringLiteral("--passwords-from"), open, docx}, &status);
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(err.contains(QStringLiteral("其他用户也能读取"))) << err.toStdString();

    // One way at a time; a file that cannot be read ends the run at once.
    run({QStringLiteral("--passwords-from"), own, QStringLiteral("--modify-password"), QStringLiteral("x"), docx},
        &status);
    EXPECT_EQ(status, 2);
    err = run({QStringLiteral("--passwords-from"), dir.file(QStringLiteral("missing")), docx}, &status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("无法读取密码文件"))) << err.toStdString();

    QProcess help;
    help.start(wordHelperPath(), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(60000));
    EXPECT_TRUE(help.readAllStandardOutput().contains("--passwords-from"));
}
