#include "core/batch/batchrunner.h"

#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>

namespace kestrune {

namespace {

// The tests' hook: set on a test's thread while batches may be stepping on
// theirs. A step looks at the flag alone; the hook itself is taken under the
// lock and called outside it, so a hook set or cleared meanwhile never goes
// while it runs.
struct TestHook {
    std::atomic<bool> set{false};
    std::mutex mutex;
    std::shared_ptr<const ProgressSink::Hook> hook;
};

TestHook& testHook()
{
    static TestHook hook;
    return hook;
}

std::shared_ptr<const ProgressSink::Hook> currentHook()
{
    TestHook& h = testHook();
    if (!h.set.load(std::memory_order_acquire))
        return nullptr;
    std::lock_guard<std::mutex> lock(h.mutex);
    return h.hook;
}

// The text of what is being done is made at most this often (milliseconds):
// the window shows it a few times a second at most.
constexpr qint64 kTextInterval = 50;
// How often a batch waiting for the window's answer looks whether it is to
// stop (milliseconds).
constexpr int kAskPollMs = 50;

std::atomic<int> g_running{0};

}  // namespace

QString cancelledText(int handled)
{
    return QStringLiteral("操作已取消!") + QStringLiteral("已处理%1个文件。").arg(handled);
}

// ---------------------------------------------------------------------------

ProgressSink::ProgressSink()
{
    m_clock.start();
}

void ProgressSink::setTestHook(Hook hook)
{
    TestHook& h = testHook();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.hook = hook ? std::make_shared<const Hook>(std::move(hook)) : nullptr;
    h.set.store(bool(h.hook), std::memory_order_release);
}

bool ProgressSink::hookSet()
{
    return testHook().set.load(std::memory_order_acquire);
}

bool ProgressSink::textDue()
{
    const qint64 now = m_clock.elapsed();
    if (m_lastText >= 0 && now - m_lastText < kTextInterval)
        return false;
    m_lastText = now;
    return true;
}

bool ProgressSink::step(int done, const QString& doing)
{
    if (stopped())
        return false;
    m_done.store(done, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(m_textMutex);
        m_doing = doing;
    }
    if (const auto hook = currentHook(); hook && (*hook)(doing, done)) {
        m_stop->requestStop();
        return false;
    }
    return !stopped();
}

ProgressSink::State ProgressSink::state() const
{
    State s;
    s.done = m_done.load(std::memory_order_relaxed);
    s.total = m_total.load(std::memory_order_relaxed);
    s.itemDone = m_itemDone.load(std::memory_order_relaxed);
    s.itemTotal = m_itemTotal.load(std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(m_textMutex);
    s.doing = m_doing;
    return s;
}

void ProgressSink::line(const QString& text)
{
    if (!m_post)
        return;
    auto sink = m_lineSink;
    m_post([sink, text] {
        if (sink)
            sink(text);
    });
}

QVariant ProgressSink::ask(std::function<QVariant()> question)
{
    if (!m_post || stopped())
        return QVariant();
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        bool given = false;
        QVariant value;
    };
    auto answer = std::make_shared<Answer>();
    // What the question needs is owned by it: the sink (and the batch that
    // waits) may be gone by the time it comes up. A batch stopped meanwhile
    // (its window closing) asks nothing more.
    m_post([stop = m_stop, answer, question = std::move(question)] {
        QVariant value = stop->stopRequested() ? QVariant() : question();
        std::lock_guard<std::mutex> lock(answer->mutex);
        answer->value = std::move(value);
        answer->given = true;
        answer->ready.notify_all();
    });
    std::unique_lock<std::mutex> lock(answer->mutex);
    while (!answer->given) {
        if (stopped())
            return QVariant();
        answer->ready.wait_for(lock, std::chrono::milliseconds(kAskPollMs));
    }
    return answer->value;
}

// ---------------------------------------------------------------------------

BatchRunner::BatchRunner(QObject* parent) : QObject(parent) {}

BatchRunner::~BatchRunner()
{
    if (!m_sink)
        return;
    // The window goes: the batch stops at its next look at the token, what
    // it has half written is removed, and its result is dropped.
    m_sink->stopToken().requestAbandon();
    if (m_worker.joinable())
        m_worker.join();
    m_sink.reset();
    g_running.fetch_sub(1);
}

int BatchRunner::runningCount()
{
    return g_running.load();
}

void BatchRunner::cancel()
{
    if (m_sink)
        m_sink->stopToken().requestStop();
}

bool BatchRunner::startErased(std::function<void(ProgressSink&)> job, std::function<void()> done)
{
    if (m_sink)
        return false;
    auto sink = std::make_shared<ProgressSink>();
    sink->setPost([this](std::function<void()> f) { post(std::move(f)); });
    sink->setLineSink([this](const QString& text) { Q_EMIT lineAdded(text); });
    m_sink = sink;
    m_done = std::move(done);
    m_ended = std::make_shared<std::atomic<bool>>(false);
    g_running.fetch_add(1);
    auto ended = m_ended;
    m_worker = std::thread([this, sink, ended, job = std::move(job)] {
        try {
            job(*sink);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kestrune: a batch ended on an error: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "kestrune: a batch ended on an unknown error\n");
        }
        ended->store(true);
        // The runner outlives its worker (its destructor waits for it), so
        // it is there to take the call; once it is gone the call is dropped.
        post([this, ended] {
            if (m_ended == ended)
                jobEnded();
        });
    });
    Q_EMIT started();
    return true;
}

void BatchRunner::post(std::function<void()> call)
{
    {
        std::lock_guard<std::mutex> lock(m_postedMutex);
        m_posted.push_back(std::move(call));
    }
    QMetaObject::invokeMethod(this, "runPosted", Qt::QueuedConnection);
}

void BatchRunner::runPosted()
{
    std::function<void()> call;
    {
        std::lock_guard<std::mutex> lock(m_postedMutex);
        if (m_posted.empty())
            return;
        call = std::move(m_posted.front());
        m_posted.pop_front();
    }
    call();
}

void BatchRunner::jobEnded()
{
    if (m_worker.joinable())
        m_worker.join();
    m_sink.reset();
    m_ended.reset();
    g_running.fetch_sub(1);
    std::function<void()> done = std::move(m_done);
    m_done = nullptr;
    // Lines the batch sent before it ended were queued before this call, so
    // they have been shown by now.
    Q_EMIT ended();
    if (done)
        done();
    Q_EMIT finished();
}

}  // namespace kestrune
