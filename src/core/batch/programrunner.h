#pragma once

#include "core/batch/batchrunner.h"
#include "core/system/platform.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace kestrune {

// One program for the program runner: what to start and what it is about.
struct ProgramJob {
    QString program;
    QStringList arguments;  // each handed over as one word, never a command line
    // Programs with the same non-empty key run one after another, in the
    // order they were added (e.g. decompiles into the same folder).
    QString key;
    QString doing;  // what the progress dialog shows while it runs
};

// How a program of the runner ended.
struct ProgramOutcome {
    ProgramEnd end;
    // Ended by a cancel (terminated, or killed after the grace) or never
    // started because of one.
    bool cancelled = false;
};

// Starts programs through the platform and follows them by their signals
// only: at most `maxParallel` run at once, one at a time per key; nothing
// on this thread ever waits for a program. A cancel starts nothing new and
// asks the running programs to end (SIGTERM), killing those still there
// after the grace. Destroying the runner does the same and waits out the
// grace, so no program it started outlives it.
class ProgramRunner : public QObject {
    Q_OBJECT
public:
    static constexpr int kGraceMs = 2000;

    explicit ProgramRunner(int maxParallel, QObject* parent = nullptr);
    ~ProgramRunner() override;

    // Queues a program; returns its index. Programs start with start().
    int add(ProgramJob job);
    int size() const { return int(m_jobs.size()); }
    // Starts what may start; the rest follows as programs end. allEnded()
    // comes when every program has ended (at once for an empty runner).
    void start();
    void cancel();
    bool busy() const { return m_started && !m_allEnded; }
    bool cancelled() const { return m_cancelled; }
    // The progress of the run: programs ended, of all added.
    std::shared_ptr<ProgressSink> progress() const { return m_sink; }
    const std::optional<ProgramOutcome>& outcome(int index) const { return m_outcomes.at(size_t(index)); }

    static int runningCount();

Q_SIGNALS:
    // One program has ended (or will not start because of a cancel).
    void programEnded(int index, const kestrune::ProgramOutcome& outcome);
    void allEnded();

private:
    void startMore();
    void ended(int index, const ProgramEnd& end);
    void checkAllEnded();
    void stepProgress(const QString& doing);

    int m_maxParallel;
    std::vector<ProgramJob> m_jobs;
    std::vector<std::optional<ProgramOutcome>> m_outcomes;
    std::deque<int> m_pending;
    std::vector<QPointer<RunningProgram>> m_running;  // by index
    std::vector<QString> m_busyKeys;
    std::shared_ptr<ProgressSink> m_sink;
    int m_runningCount = 0;
    int m_ended = 0;
    bool m_started = false;
    bool m_cancelled = false;
    bool m_allEnded = false;
    bool m_counted = false;
};

}  // namespace kestrune
