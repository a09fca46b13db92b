#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariant>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace kestrune {

// The message of a cancelled batch: "操作已取消!" and the number of files handled.
QString cancelledText(int handled);

// Asks a running batch to stop. Set from any thread; the batch looks at it
// between two files and, in a copy, between two chunks of a file.
//
// A stop leaves the item in hand whole where it cannot be undone (a
// document being saved); when the window itself goes (the program quits),
// the batch is abandoned as well: even such an item is given up at once.
class StopToken {
public:
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    bool abandonRequested() const { return m_abandon.load(std::memory_order_relaxed); }
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    void requestAbandon()
    {
        m_abandon.store(true, std::memory_order_relaxed);
        requestStop();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_abandon{false};
};

// What a running batch reports, and how it reaches its window. The batch
// writes it on its own thread; the window reads it when it repaints its
// progress (a few times a second), so a million quick steps cost next to
// nothing. Lines and questions travel to the window's thread in order.
class ProgressSink {
public:
    ProgressSink();
    ProgressSink(const ProgressSink&) = delete;
    ProgressSink& operator=(const ProgressSink&) = delete;

    StopToken& stopToken() { return *m_stop; }
    bool stopped() const { return m_stop->stopRequested(); }

    // Between two items: `done` handled so far, `doing` what comes next (a
    // folder or a file). False once the batch is to stop.
    bool step(int done, const QString& doing);
    // The same for batches that step very often: `describe()` makes the text
    // only when it will be shown (or a test hook asks for it).
    template <typename Describe, typename = std::enable_if_t<std::is_invocable_v<Describe>>>
    bool step(int done, Describe&& describe)
    {
        if (stopped())
            return false;
        m_done.store(done, std::memory_order_relaxed);
        if (!hookSet() && !textDue())
            return true;
        return step(done, describe());
    }
    // How many items the batch will handle (0: not known).
    void setTotal(int total) { m_total.store(total, std::memory_order_relaxed); }
    // The bytes of a large item in hand (a file being copied); 0, 0 when none.
    void setItemBytes(qint64 done, qint64 total)
    {
        m_itemDone.store(done, std::memory_order_relaxed);
        m_itemTotal.store(total, std::memory_order_relaxed);
    }

    struct State {
        int done = 0;
        int total = 0;
        QString doing;
        qint64 itemDone = 0;
        qint64 itemTotal = 0;
    };
    State state() const;

    // A line for the window (an information box), shown in the order sent.
    void line(const QString& text);
    // Runs `question` on the window's thread (a message or input box) and
    // waits for its answer. Once the batch is to stop, or when no window
    // listens, it answers nothing (an invalid QVariant) at once.
    QVariant ask(std::function<QVariant()> question);

    // Where lines and questions go: a function that runs its argument on the
    // window's thread. Set by the runner before the batch starts.
    using Post = std::function<void(std::function<void()>)>;
    void setPost(Post post) { m_post = std::move(post); }
    // Lines go through this on the window's thread.
    void setLineSink(std::function<void(const QString&)> sink) { m_lineSink = std::move(sink); }

    // Tests: a hook asked at every step with what the batch is about to
    // handle; answering true stops the batch there, as a click on "取消"
    // would. It is asked on the batch's thread.
    using Hook = std::function<bool(const QString& doing, int done)>;
    static void setTestHook(Hook hook);

private:
    static bool hookSet();
    bool textDue();

    // Shared with what the sink posts to the window's thread, which may run
    // after the sink is gone.
    std::shared_ptr<StopToken> m_stop = std::make_shared<StopToken>();
    std::atomic<int> m_done{0};
    std::atomic<int> m_total{0};
    std::atomic<qint64> m_itemDone{0};
    std::atomic<qint64> m_itemTotal{0};
    mutable std::mutex m_textMutex;
    QString m_doing;
    QElapsedTimer m_clock;
    qint64 m_lastText = -1;
    Post m_post;
    std::function<void(const QString&)> m_lineSink;
};

// Runs one batch at a time on a worker thread of its own. The batch is a
// plain function of its inputs (taken by value when it starts: a snapshot of
// the window's controls), its progress sink and stop token; its result
// comes back on the runner's thread. Owned by its window: destroying the
// runner stops the batch and waits for it, and a result that would come
// after that is dropped. So a window may go at any time.
class BatchRunner : public QObject {
    Q_OBJECT
public:
    explicit BatchRunner(QObject* parent = nullptr);
    ~BatchRunner() override;

    // Starts `job` on the worker; when it has ended, `done` is called with
    // its result on this runner's thread, then finished() is emitted. False
    // (and nothing started) while a batch runs.
    template <typename Result>
    bool start(std::function<Result(ProgressSink&)> job, std::function<void(Result)> done)
    {
        auto result = std::make_shared<Result>();
        return startErased([job = std::move(job), result](ProgressSink& progress) { *result = job(progress); },
                           [done = std::move(done), result] {
                               if (done)
                                   done(std::move(*result));
                           });
    }

    bool busy() const { return bool(m_sink); }
    // Asks the running batch to stop, as "取消" does.
    void cancel();
    // The progress of the running batch (nullptr when none runs).
    std::shared_ptr<ProgressSink> progress() const { return m_sink; }

    // Batches running in the whole program right now (tests wait for them).
    static int runningCount();

Q_SIGNALS:
    void started();
    void lineAdded(const QString& line);
    // The batch has ended; its result is delivered right after this.
    void ended();
    // The result has been delivered.
    void finished();

private Q_SLOTS:
    // Runs the oldest call the worker handed over (on this runner's thread).
    void runPosted();

private:
    bool startErased(std::function<void(ProgressSink&)> job, std::function<void()> done);
    void jobEnded();
    // Hands `call` from the worker to this runner's thread. The call itself
    // travels through a queue under the runner's own lock, so everything the
    // worker did before is seen by the call, by the race checker too (Qt's
    // event queue orders it as well, out of its sight).
    void post(std::function<void()> call);

    std::shared_ptr<ProgressSink> m_sink;
    std::thread m_worker;
    std::function<void()> m_done;
    std::shared_ptr<std::atomic<bool>> m_ended;
    std::mutex m_postedMutex;
    std::deque<std::function<void()>> m_posted;
};

}  // namespace kestrune
