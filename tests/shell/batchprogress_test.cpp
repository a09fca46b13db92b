#include "shell/batchprogress.h"
#include "shell/platform.h"

#include "support/scriptedplatform.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

using namespace kestrune;

TEST(BatchProgress, AShortBatchNeverShowsADialog)
{
    QDialog window;
    BatchProgress progress(&window, 100);
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(progress.step(QStringLiteral("/tmp/f%1").arg(i), i));
    EXPECT_FALSE(progress.dialogShown());
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

TEST(BatchProgress, ALongBatchShowsAWindowModalDialogWhoseCancelStopsAtTheNextStep)
{
    BatchProgress::setShowDelay(0);
    QDialog window;
    window.show();
    BatchProgress progress(&window, 10);
    QThread::msleep(40);  // past the pause between two looks at the events
    ASSERT_TRUE(progress.step(QStringLiteral("/data/a.txt"), 1));
    QProgressDialog* dialog = progress.dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(dialog->labelText().contains(QStringLiteral("/data/a.txt")));
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    cancel->click();
    EXPECT_FALSE(progress.step(QStringLiteral("/data/b.txt"), 2));
    EXPECT_TRUE(progress.cancelled());
}

TEST(BatchProgress, AFrequentStepMakesItsTextOnlyWhenItIsShown)
{
    BatchProgress::setShowDelay(0);
    QDialog window;
    window.show();
    BatchProgress progress(&window);
    int made = 0;
    auto describe = [&] {
        ++made;
        return QStringLiteral("/data/%1.txt").arg(made);
    };
    ASSERT_TRUE(progress.step(0, describe));  // the first step always looks at the events
    for (int i = 1; i <= 1000; ++i)
        ASSERT_TRUE(progress.step(i, describe));
    EXPECT_LT(made, 100);  // far fewer texts than steps
    QThread::msleep(40);
    ASSERT_TRUE(progress.step(1001, describe));
    ASSERT_NE(progress.dialog(), nullptr);
    EXPECT_TRUE(progress.dialog()->labelText().contains(QStringLiteral("/data/%1.txt").arg(made)));
    EXPECT_TRUE(progress.dialog()->labelText().contains(QStringLiteral("1001")));
}

TEST(BatchProgress, TheTestHookCancelsAtTheChosenStep)
{
    std::vector<int> seen;
    BatchProgress::setTestHook([&](const QString&, int done) {
        seen.push_back(done);
        return done == 3;
    });
    BatchProgress progress(nullptr);
    int handled = 0;
    while (progress.step(QString(), handled))
        ++handled;
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
}

namespace {
std::optional<ProgramEnd> runAndWait(const QString& program, const QStringList& args)
{
    std::optional<ProgramEnd> end;
    QObject context;
    platform().runProgram(program, args, &context, [&](const ProgramEnd& e) { end = e; });
    EXPECT_FALSE(end.has_value()) << "reported from inside the call";
    QElapsedTimer clock;
    clock.start();
    while (!end && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return end;
}
}  // namespace

TEST(RunProgram, ReportsExitStatusAndStandardErrorAndRecordsTheRun)
{
    const auto end = runAndWait(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo 坏了 >&2; exit 3")});
    ASSERT_TRUE(end.has_value());
    EXPECT_TRUE(end->started);
    EXPECT_FALSE(end->ok());
    EXPECT_EQ(end->exitCode, 3);
    EXPECT_EQ(QString::fromUtf8(end->standardError).trimmed(), QStringLiteral("坏了"));
    const auto runs = test::scripted().of(test::Interaction::Run);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments.size(), 2);
}

TEST(RunProgram, AProgramThatCannotStartIsReportedAsNotStarted)
{
    const auto end = runAndWait(QStringLiteral("/nonexistent/kestrune-no-such-program"), {});
    ASSERT_TRUE(end.has_value());
    EXPECT_FALSE(end->started);
    EXPECT_FALSE(end->ok());
    EXPECT_FALSE(end->error.isEmpty());
}

TEST(RunProgram, AProgramWhoseOwnerGoesFirstIsEndedWithoutReport)
{
    bool reported = false;
    {
        QObject context;
        platform().runProgram(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}, &context,
                              [&](const ProgramEnd&) { reported = true; });
        QApplication::processEvents();
    }
    QApplication::processEvents();
    EXPECT_FALSE(reported);
}
