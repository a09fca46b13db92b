#include "gui/common/batchprogress.h"
#include "core/batch/batchrunner.h"
#include "core/system/platform.h"
#include "core/batch/programrunner.h"

#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include <signal.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::spinUntil;

namespace {

// A batch that steps until it is told to stop.
int stepUntilStopped(ProgressSink& progress)
{
    int done = 0;
    while (progress.step(done, QStringLiteral("/data/%1.txt").arg(done)))
        ++done, QThread::msleep(1);
    return done;
}

}  // namespace

TEST(BatchProgress, AShortBatchNeverShowsADialog)
{
    QDialog window;
    BatchProgress view(&window);
    BatchRunner runner;
    int result = -1;
    runner.start<int>(
        [](ProgressSink& progress) {
            for (int i = 0; i < 100; ++i)
                progress.step(i, QStringLiteral("/tmp/f%1").arg(i));
            return 100;
        },
        [&](int r) {
            view.stop();
            result = r;
        });
    view.watch(runner);
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(result, 100);
    EXPECT_FALSE(view.dialogShown());
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

TEST(BatchProgress, ALongBatchShowsAModalDialogOverItsWindowWhoseCancelStopsTheBatch)
{
    BatchProgress::setShowDelay(0);
    QDialog window;
    window.setGeometry(300, 200, 600, 400);
    window.show();
    BatchProgress view(&window);
    BatchRunner runner;
    std::optional<int> result;
    runner.start<int>(stepUntilStopped, [&](int r) {
        view.stop();
        result = r;
    });
    view.watch(runner);
    ASSERT_TRUE(spinUntil([&] { return view.dialog() && view.dialog()->labelText().contains(QLatin1String(".txt")); }));
    QProgressDialog* dialog = view.dialog();
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->objectName(), QStringLiteral("BatchProgress"));
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    // Centred on its window, never at the screen's corner.
    EXPECT_LE((dialog->frameGeometry().center() - window.frameGeometry().center()).manhattanLength(), 2);
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    cancel->click();
    ASSERT_TRUE(finishBatches(2000));
    ASSERT_TRUE(result.has_value());
    EXPECT_GT(*result, 0);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

TEST(BatchProgress, TheWindowTakesNoInputWhileItsBatchRunsAndAgainAfterwards)
{
    QDialog window;
    auto* button = new QPushButton(QStringLiteral("开始"), &window);
    window.show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    auto click = [&] {
        const QPoint at = button->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &press);
        QApplication::sendEvent(button, &release);
    };
    BatchProgress view(&window);
    BatchRunner runner;
    runner.start<int>(stepUntilStopped, [&](int) { view.stop(); });
    view.watch(runner);
    click();
    EXPECT_EQ(clicks, 0);
    runner.cancel();
    ASSERT_TRUE(finishBatches());
    click();
    EXPECT_EQ(clicks, 1);
}

TEST(ProgressSink, FrequentStepsMakeTheirTextRarelyAndTheHookStopsAtTheChosenStep)
{
    ProgressSink progress;
    int made = 0;
    auto describe = [&] {
        ++made;
        return QStringLiteral("/data/%1.txt").arg(made);
    };
    for (int i = 0; i <= 100000; ++i)
        ASSERT_TRUE(progress.step(i, describe));
    EXPECT_LT(made, 100);  // far fewer texts than steps
    EXPECT_EQ(progress.state().done, 100000);

    std::vector<int> seen;
    ProgressSink::setTestHook([&](const QString&, int done) {
        seen.push_back(done);
        return done == 3;
    });
    ProgressSink hooked;
    int handled = 0;
    while (hooked.step(handled, QString()))
        ++handled;
    ProgressSink::setTestHook({});
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(hooked.stopped());
}

TEST(BatchRunner, LinesAndQuestionsReachTheWindowsThreadInOrderAndTheResultComesLast)
{
    BatchRunner runner;
    QStringList seen;
    QObject::connect(&runner, &BatchRunner::lineAdded, [&](const QString& line) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        seen << line;
    });
    runner.start<QString>(
        [](ProgressSink& progress) {
            progress.line(QStringLiteral("one"));
            const QVariant answer = progress.ask([] {
                EXPECT_EQ(QThread::currentThread(), qApp->thread());
                return QVariant(QStringLiteral("answer"));
            });
            progress.line(QStringLiteral("two"));
            return answer.toString();
        },
        [&](QString result) { seen << QStringLiteral("result ") + result; });
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(seen, (QStringList{"one", "two", "result answer"}));
}

TEST(BatchRunner, DestroyingTheRunnerStopsItsBatchAndWaitsForItWithoutDeliveringTheResult)
{
    std::atomic<bool> ended{false};
    std::atomic<bool> abandoned{false};
    bool delivered = false;
    {
        BatchRunner runner;
        runner.start<int>(
            [&](ProgressSink& progress) {
                // Waits for an answer that never comes: a question to a
                // window that is going away.
                const QVariant answer = progress.ask([] { return QVariant(1); });
                const int done = stepUntilStopped(progress);
                abandoned = progress.stopToken().abandonRequested();
                ended = true;
                return answer.isValid() ? -1 : done;
            },
            [&](int) { delivered = true; });
        EXPECT_EQ(BatchRunner::runningCount(), 1);
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(abandoned);
    QApplication::processEvents();
    EXPECT_FALSE(delivered);
    EXPECT_EQ(BatchRunner::runningCount(), 0);
}

// ---------------------------------------------------------------------------

TEST(ProgramRunner, RunsAtMostNAtOnceAndOneAtATimePerKeyInTheOrderAdded)
{
    test::TempDir dir;
    const QString log = dir.file(QStringLiteral("log"));
    ProgramRunner runner(3);
    // Each program writes its name when it starts and when it ends.
    auto job = [&](const QString& name, const QString& key) {
        return ProgramJob{QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("echo +%1 >> \"$0\"; sleep 0.2; echo -%1 >> \"$0\"").arg(name), log},
                          key,
                          name};
    };
    runner.add(job(QStringLiteral("a1"), QStringLiteral("A")));
    runner.add(job(QStringLiteral("a2"), QStringLiteral("A")));
    runner.add(job(QStringLiteral("b"), QStringLiteral("B")));
    runner.add(job(QStringLiteral("c"), QString()));
    runner.add(job(QStringLiteral("d"), QString()));
    int ended = 0;
    QObject::connect(&runner, &ProgramRunner::programEnded, [&](int, const ProgramOutcome& o) {
        EXPECT_TRUE(o.end.ok());
        ++ended;
    });
    runner.start();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(ended, 5);
    const QStringList lines = QString::fromLatin1(dir.read(QStringLiteral("log"))).split('\n', Qt::SkipEmptyParts);
    int running = 0, most = 0;
    for (const QString& l : lines) {
        running += l.startsWith('+') ? 1 : -1;
        most = qMax(most, running);
    }
    EXPECT_EQ(most, 3);
    // a2 starts only after a1 has ended.
    EXPECT_LT(lines.indexOf(QStringLiteral("-a1")), lines.indexOf(QStringLiteral("+a2")));
}

TEST(ProgramRunner, CancelEndsAHungProgramAfterTheGraceAndStartsNothingMore)
{
    test::TempDir dir;
    // The first ignores SIGTERM: only the kill after the grace ends it.
    ProgramRunner runner(1);
    runner.add({QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("trap '' TERM; sleep 60")}, {}, {}});
    runner.add({QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("touch \"$0\""), dir.file("second")}, {}, {}});
    std::vector<ProgramOutcome> outcomes(2);
    QObject::connect(&runner, &ProgramRunner::programEnded,
                     [&](int index, const ProgramOutcome& o) { outcomes[size_t(index)] = o; });
    runner.start();
    spinUntil([] { return false; }, 300);  // the hung program is running
    QElapsedTimer clock;
    clock.start();
    runner.cancel();
    ASSERT_TRUE(finishBatches(10000));
    EXPECT_GE(clock.elapsed(), ProgramRunner::kGraceMs - 100);
    EXPECT_LT(clock.elapsed(), ProgramRunner::kGraceMs + 2000);
    EXPECT_TRUE(outcomes[0].cancelled);
    EXPECT_TRUE(outcomes[0].end.started);
    EXPECT_TRUE(outcomes[1].cancelled);
    EXPECT_FALSE(outcomes[1].end.started);
    EXPECT_FALSE(dir.exists(QStringLiteral("second")));
}

TEST(ProgramRunner, DestroyingTheRunnerLeavesNoProgramRunning)
{
    test::TempDir dir;
    qint64 pid = 0;
    {
        ProgramRunner runner(1);
        runner.add({QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("echo $$ > \"$0\"; exec sleep 60"), dir.file("pid")},
                    {},
                    {}});
        runner.start();
        ASSERT_TRUE(spinUntil([&] { return dir.exists(QStringLiteral("pid")) && !dir.read("pid").isEmpty(); }));
        pid = dir.read(QStringLiteral("pid")).trimmed().toLongLong();
        ASSERT_GT(pid, 0);
    }
    EXPECT_NE(::kill(pid_t(pid), 0), 0);  // gone (and reaped)
}

TEST(ProgramRunner, KeepsOnlyTheStartOfAFloodOnStandardError)
{
    ProgramRunner runner(1);
    // 64 MB on standard error: memory must not follow it.
    runner.add({QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("echo first line >&2; head -c 67108864 /dev/zero >&2; exit 2")},
                {},
                {}});
    runner.start();
    ASSERT_TRUE(finishBatches(60000));
    const ProgramOutcome& o = *runner.outcome(0);
    EXPECT_EQ(o.end.exitCode, 2);
    EXPECT_EQ(o.end.standardError.size(), kStandardErrorLimit);
    EXPECT_TRUE(o.end.standardError.startsWith("first line\n"));
}

// ---------------------------------------------------------------------------

namespace {
std::optional<ProgramEnd> runAndWait(const QString& program, const QStringList& args)
{
    std::optional<ProgramEnd> end;
    QObject context;
    platform().runProgram(program, args, &context, [&](const ProgramEnd& e) { end = e; });
    EXPECT_FALSE(end.has_value()) << "reported from inside the call";
    spinUntil([&] { return end.has_value(); });
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

// ---------------------------------------------------------------------------

namespace {
class BatchWindow : public QDialog {
public:
    WindowBatch batch{this};

protected:
    void closeEvent(QCloseEvent* event) override { batch.holdClose() ? event->ignore() : QDialog::closeEvent(event); }
};
}  // namespace

// A walk that steps until released, then two programs that wait for a
// file, the second failing.
TEST(WindowBatch, AWalkThenItsProgramsKeepOneDialogAndAClosedWindowStartsNoProgram)
{
    BatchProgress::setShowDelay(0);
    test::TempDir dir;
    const QString gate = dir.file(QStringLiteral("gate"));
    BatchWindow w;
    w.show();
    std::atomic<bool> release{false};
    bool madePrograms = false;
    std::vector<int> exitCodes;
    auto start = [&] {
        w.batch.run<int, ProgramRunner>(
            [&](ProgressSink& p) {
                for (int i = 0; !release && p.step(i, QStringLiteral("/data/walk")); ++i)
                    QThread::msleep(1);
                return 0;
            },
            [&](int) {
                auto runner = std::make_unique<ProgramRunner>(2);
                for (const char* end : {"", "; exit 4"})
                    runner->add({QStringLiteral("/bin/sh"),
                                 {QStringLiteral("-c"), QStringLiteral("until [ -e \"$0\" ]; do sleep 0.02; done") + end, gate},
                                 {},
                                 {}});
                madePrograms = true;
                return runner;
            },
            &ProgramRunner::allEnded,
            [&](ProgramRunner& r) {
                for (int i = 0; i < r.size(); ++i)
                    exitCodes.push_back(r.outcome(i)->end.exitCode);
            });
    };
    start();
    QPointer<QProgressDialog> walkDialog;
    ASSERT_TRUE(spinUntil([&] { return (walkDialog = w.findChild<QProgressDialog*>()) && walkDialog->isVisible(); }));
    release = true;
    ASSERT_TRUE(spinUntil([&] { return madePrograms; }));
    QApplication::processEvents();
    EXPECT_TRUE(walkDialog && walkDialog->isVisible());  // it goes on over the programs
    dir.write(QStringLiteral("gate"));
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(exitCodes, (std::vector<int>{0, 4}));
    BatchProgress::setShowDelay(500);

    // Closed during the walk: the walk stops, no program starts, no result.
    release = false;
    madePrograms = false;
    exitCodes.clear();
    start();
    w.close();
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(madePrograms);
    EXPECT_TRUE(exitCodes.empty());
}
