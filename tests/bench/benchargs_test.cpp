#include "support/tempdir.h"

#include <QDir>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

using kestrune::test::TempDir;

namespace {

// Every benchmark program, by name.
QStringList benchmarks()
{
    return QString::fromLatin1(KESTRUNE_BENCHMARKS).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs a benchmark in `folder` (its working folder).
Outcome run(const QString& name, const QStringList& arguments, const QString& folder)
{
    QProcess program;
    program.setWorkingDirectory(folder);
    program.start(QStringLiteral(KESTRUNE_BIN_DIR "/") + name, arguments);
    Outcome result;
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return result;
    }
    if (program.exitStatus() == QProcess::NormalExit)
        result.status = program.exitCode();
    result.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(program.readAllStandardError());
    return result;
}

}  // namespace

TEST(Benchmarks, AnswerHelpWithTheirUsageAndTakeNoOptionAsAFolder)
{
    ASSERT_GE(benchmarks().size(), 10);
    for (const QString& name : benchmarks()) {
        TempDir dir;
        for (const char* help : {"--help", "-h"}) {
            const Outcome answer = run(name, {QLatin1String(help)}, dir.path());
            EXPECT_EQ(answer.status, 0) << qPrintable(name) << ' ' << help;
            EXPECT_TRUE(answer.out.startsWith(QStringLiteral("usage: ") + name)) << qPrintable(name + answer.out);
        }
        // An unknown option, before or after the positional arguments.
        for (const QStringList& arguments : {QStringList{QStringLiteral("--bogus")},
                                             QStringList{QStringLiteral("1"), QStringLiteral("-x")}}) {
            const Outcome refused = run(name, arguments, dir.path());
            EXPECT_EQ(refused.status, 2) << qPrintable(name + ' ' + arguments.join(' ') + '\n' + refused.err);
            EXPECT_TRUE(refused.err.contains(QStringLiteral("usage: ") + name)) << qPrintable(name + refused.err);
        }
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
            << qPrintable(name);
    }
}
