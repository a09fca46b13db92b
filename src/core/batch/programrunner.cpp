#include "core/batch/programrunner.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace kestrune {

namespace {
std::atomic<int> g_runners{0};
}

ProgramRunner::ProgramRunner(int maxParallel, QObject* parent)
    : QObject(parent), m_maxParallel(qMax(1, maxParallel)), m_sink(std::make_shared<ProgressSink>())
{
}

ProgramRunner::~ProgramRunner()
{
    // Nothing started here outlives the runner: every program still running
    // is asked to end, given the grace, then killed.
    std::vector<QPointer<RunningProgram>> running;
    for (const QPointer<RunningProgram>& p : m_running)
        if (p)
            running.push_back(p);
    for (const QPointer<RunningProgram>& p : running)
        p->terminate();
    const QDeadlineTimer grace(kGraceMs);
    for (const QPointer<RunningProgram>& p : running)
        if (p && !p->waitForEnd(int(qMax<qint64>(0, grace.remainingTime()))))
            p->kill();
    if (m_counted)
        g_runners.fetch_sub(1);
    // The programs themselves are children of this runner and go with it.
}

int ProgramRunner::runningCount()
{
    return g_runners.load();
}

int ProgramRunner::add(ProgramJob job)
{
    m_jobs.push_back(std::move(job));
    m_outcomes.emplace_back();
    m_running.emplace_back();
    const int index = int(m_jobs.size()) - 1;
    m_pending.push_back(index);
    m_sink->setTotal(int(m_jobs.size()));
    if (m_started && !m_allEnded)
        startMore();
    return index;
}

void ProgramRunner::start()
{
    if (m_started)
        return;
    m_started = true;
    m_counted = true;
    g_runners.fetch_add(1);
    startMore();
    checkAllEnded();
}

void ProgramRunner::cancel()
{
    if (m_cancelled || !m_started || m_allEnded)
        return;
    m_cancelled = true;
    m_sink->stopToken().requestStop();
    // What has not started will not: it is reported as cancelled.
    const std::deque<int> pending = std::exchange(m_pending, {});
    for (int index : pending) {
        m_outcomes[size_t(index)] = ProgramOutcome{ProgramEnd{}, true};
        ++m_ended;
        Q_EMIT programEnded(index, *m_outcomes[size_t(index)]);
    }
    for (const QPointer<RunningProgram>& p : m_running)
        if (p)
            p->terminate();
    // Those still there after the grace are killed.
    QTimer::singleShot(kGraceMs, this, [this] {
        for (const QPointer<RunningProgram>& p : m_running)
            if (p)
                p->kill();
    });
    checkAllEnded();
}

void ProgramRunner::startMore()
{
    if (m_cancelled)
        return;
    for (auto it = m_pending.begin(); it != m_pending.end() && m_runningCount < m_maxParallel;) {
        const int index = *it;
        const ProgramJob& job = m_jobs[size_t(index)];
        // The first waiting program of a key is the next in the order added.
        if (!job.key.isEmpty() && std::find(m_busyKeys.begin(), m_busyKeys.end(), job.key) != m_busyKeys.end()) {
            ++it;
            continue;
        }
        it = m_pending.erase(it);
        if (!job.key.isEmpty())
            m_busyKeys.push_back(job.key);
        ++m_runningCount;
        stepProgress(job.doing);
        m_running[size_t(index)] = platform().runProgram(job.program, job.arguments, this,
                                                          [this, index](const ProgramEnd& end) { ended(index, end); });
    }
}

void ProgramRunner::ended(int index, const ProgramEnd& end)
{
    const ProgramJob& job = m_jobs[size_t(index)];
    if (!job.key.isEmpty())
        m_busyKeys.erase(std::find(m_busyKeys.begin(), m_busyKeys.end(), job.key));
    m_running[size_t(index)] = nullptr;
    --m_runningCount;
    ++m_ended;
    // A program that still ended well within the grace keeps its own end.
    m_outcomes[size_t(index)] = ProgramOutcome{end, m_cancelled && !end.ok()};
    stepProgress(job.doing);
    Q_EMIT programEnded(index, *m_outcomes[size_t(index)]);
    startMore();
    checkAllEnded();
}

void ProgramRunner::stepProgress(const QString& doing)
{
    // A test hook may stop the run at a chosen step, as "取消" would.
    if (!m_sink->step(m_ended, doing) && !m_cancelled)
        QTimer::singleShot(0, this, &ProgramRunner::cancel);
}

void ProgramRunner::checkAllEnded()
{
    if (m_allEnded || !m_started || m_runningCount > 0 || !m_pending.empty())
        return;
    m_allEnded = true;
    if (m_counted) {
        m_counted = false;
        g_runners.fetch_sub(1);
    }
    Q_EMIT allEnded();
}

}  // namespace kestrune
