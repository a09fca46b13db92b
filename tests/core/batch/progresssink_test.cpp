#include "core/batch/batchrunner.h"

#include "support/batchwait.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// Spins (yielding) until `done()` holds or a minute has passed.
template <typename Done>
bool waitFor(Done done)
{
    const QDeadlineTimer deadline(60000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

TEST(ProgressSink, AQuestionComingUpAfterItsSinkIsGoneAsksNothing)
{
    std::mutex mutex;
    std::vector<std::function<void()>> posted;
    bool asked = false;
    {
        ProgressSink sink;
        sink.setPost([&](std::function<void()> f) {
            std::lock_guard<std::mutex> lock(mutex);
            posted.push_back(std::move(f));
        });
        QVariant answer = 1;
        std::thread batch([&] { answer = sink.ask([&] { asked = true; return QVariant(2); }); });
        EXPECT_TRUE(waitFor([&] {
            std::lock_guard<std::mutex> lock(mutex);
            return !posted.empty();
        }));
        // The window closes: the batch stops waiting and ends with its sink.
        sink.stopToken().requestStop();
        batch.join();
        EXPECT_FALSE(answer.isValid());
    }
    // The window's thread comes to the question only now.
    ASSERT_EQ(posted.size(), 1u);
    posted.front()();
    EXPECT_FALSE(asked);
}

TEST(ProgressSink, ATestHookSetWhileABatchStepsTakesEffect)
{
    ProgressSink sink;
    std::atomic<int> steps{0};
    std::thread batch([&] {
        while (sink.step(steps.load(), QStringLiteral("item")))
            ++steps;
    });
    EXPECT_TRUE(waitFor([&] { return steps.load() > 100; }));
    {
        const StepHook passing([](const QString&, int) { return false; });
        const int before = steps.load();
        EXPECT_TRUE(waitFor([&] { return steps.load() > before + 100; }));
    }
    {
        const StepHook stopping([](const QString& doing, int) { return doing == QLatin1String("item"); });
        EXPECT_TRUE(waitFor([&] { return sink.stopped(); }));
    }
    sink.stopToken().requestStop();  // ends the batch whatever happened
    batch.join();
}
