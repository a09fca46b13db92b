#pragma once

// Running the program as a command: each run its own process, without a
// display, with its output, error and exit status kept.

#include "support/tempdir.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <gtest/gtest.h>

#include <functional>

#include <sys/types.h>

namespace kestrune::test {

struct CliRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Starts `program` with arguments in their exact bytes, standard output and
// error into files of `scratch`; `whileRunning` is called with its pid.
CliRun runProgram(const QString& scratch, const QList<QByteArray>& args,
                  const std::function<void(pid_t)>& whileRunning = {}, const QList<QByteArray>& prefix = {});

// Every file of a tree: its path below the root and its contents.
QMap<QByteArray, QByteArray> treeOf(const QString& root);

QList<QByteArray> lines(const QByteArray& out, char separator = '\n');

// Each test has a program folder of its own for the window (`winProg`) and
// one for the command (`cliProg`, holding a link to the built program and
// its decompiler), so each keeps its own db1.mdb.
struct CliTest : ::testing::Test {
    TempDir dir;
    QString winProg = dir.mkdir(QStringLiteral("winprog"));
    QString cliProg = dir.mkdir(QStringLiteral("cliprog"));
    QString scratch = dir.mkdir(QStringLiteral("scratch"));

    void SetUp() override;
    CliRun kestrune(const QList<QByteArray>& args, const std::function<void(pid_t)>& whileRunning = {})
    {
        return runProgram(scratch, args, whileRunning, {(cliProg + QStringLiteral("/kestrune")).toUtf8()});
    }
    // The same tree twice: one for the window, one for the command.
    QString makeTree(const QString& name);
};

}  // namespace kestrune::test
