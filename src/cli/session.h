#pragma once

#include "core/batch/batchrunner.h"

#include <QCoreApplication>
#include <QTimer>

#include <functional>
#include <memory>

namespace kestrune {
class QuitSignals;
}

namespace kestrune::cli {

// Runs one command's work in the event loop: `cancel` is what SIGINT and
// SIGTERM do (as "取消"), `progress` what a terminal is shown.
class Session {
public:
    explicit Session(QCoreApplication& app);
    ~Session();

    void onCancel(std::function<void()> cancel) { m_cancel = std::move(cancel); }
    void watch(std::function<std::shared_ptr<ProgressSink>()> sink);
    // Runs the loop until finish().
    int exec();
    void finish(int code);
    bool cancelled() const { return m_cancelled; }

private:
    void showProgress();

    QCoreApplication& m_app;
    std::unique_ptr<QuitSignals> m_signals;
    std::function<void()> m_cancel;
    std::function<std::shared_ptr<ProgressSink>()> m_sink;
    QTimer m_timer;
    bool m_cancelled = false;
};

// Runs `job` as the windows run their batches (on a worker thread of a
// BatchRunner) and `done` with its result; returns the exit status.
template <typename Result>
int runBatch(Session& session, std::function<Result(ProgressSink&)> job, std::function<int(Result)> done)
{
    BatchRunner runner;
    session.onCancel([&runner] { runner.cancel(); });
    session.watch([&runner] { return runner.progress(); });
    QTimer::singleShot(0, &runner, [&] {
        runner.start<Result>(std::move(job), [&session, done](Result r) { session.finish(done(std::move(r))); });
    });
    return session.exec();
}

}  // namespace kestrune::cli
