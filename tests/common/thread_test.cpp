#include "common/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace qarv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Counts its runs and polls the running flag until stopped, or works for a fixed time
// without looking at the flag.
class Worker : public Thread {
  public:
    explicit Worker(std::chrono::milliseconds busy = 0ms) : busy_(busy) {}
    ~Worker() override { Join(); }

    void run() override {
        const int now = ++concurrent;
        maxConcurrent = std::max(maxConcurrent.load(), now);
        ++runs;
        if (busy_ > 0ms) {
            std::this_thread::sleep_for(busy_);
        } else {
            while (running())
                std::this_thread::sleep_for(1ms);
        }
        --concurrent;
        finished = true;
    }

    std::atomic<int> runs{0};
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};
    std::atomic<bool> finished{false};

  private:
    std::chrono::milliseconds busy_;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30000ms) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(ThreadTest, StartOnRunningWorkerCreatesNoSecondThread) {
    Worker worker;
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return worker.runs == 1; }));
    const auto id = worker.threadId();
    EXPECT_EQ(worker.start(), 0);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(worker.runs, 1);
    EXPECT_EQ(worker.threadId(), id);
    worker.stop();
    EXPECT_TRUE(worker.finished);
}

TEST(ThreadTest, StopOnIdleWorkerDoesNothing) {
    Worker worker;
    const auto begin = Clock::now();
    worker.stop();
    EXPECT_LT(Clock::now() - begin, 90ms);  // no wait for the 100 ms stop limit
    EXPECT_FALSE(worker.running());
    EXPECT_TRUE(worker.idle());
    EXPECT_EQ(worker.runs, 0);
}

TEST(ThreadTest, StopAfterRunRoutineEndedReturnsAtOnceAndReleasesThread) {
    Worker worker(1ms);
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return worker.idle(); }));
    EXPECT_TRUE(worker.running());  // the routine did not clear the flag itself
    const auto begin = Clock::now();
    worker.stop();
    EXPECT_LT(Clock::now() - begin, 90ms);  // no wait for the 100 ms stop limit
    EXPECT_EQ(worker.threadId(), std::thread::id());
}

TEST(ThreadTest, StopOnBusyWorkerReturnsAfterAboutHundredMilliseconds) {
    Worker worker(2000ms);
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return worker.runs == 1; }));
    const auto begin = Clock::now();
    worker.stop();
    const auto waited = Clock::now() - begin;
    EXPECT_GE(waited, 95ms);
    EXPECT_LT(waited, 1000ms);      // it gave up waiting: the routine is busy for two seconds
    EXPECT_FALSE(worker.finished);  // still busy: it finishes by itself
    EXPECT_TRUE(WaitFor([&] { return worker.finished.load(); }, 10000ms));
}

TEST(ThreadTest, DestructorWaitsForRunningRoutine) {
    std::atomic<bool> finished{false};
    {
        struct Slow : Runnable {
            std::atomic<bool>* done;
            void run() override {
                std::this_thread::sleep_for(250ms);
                *done = true;
            }
        };
        auto target = std::make_unique<Slow>();
        target->done = &finished;
        Thread thread(std::move(target));
        ASSERT_EQ(thread.start(), 0);
    }
    EXPECT_TRUE(finished);  // the object was not destroyed under its thread
}

TEST(ThreadTest, RestartAfterTimedOutStopNeverOverlapsRunRoutines) {
    Worker worker(200ms);
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return worker.runs == 1; }));
    worker.stop();  // times out: the first routine is still busy
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return worker.runs == 2; }));
    worker.stop();
    ASSERT_TRUE(WaitFor([&] { return worker.idle(); }));
    EXPECT_EQ(worker.maxConcurrent, 1);
}

// A worker that ends by itself clears its flag and can be started again.
class SelfEndingWorker : public Thread {
  public:
    ~SelfEndingWorker() override { Join(); }
    void run() override {
        ++runs;
        SetRunning(false);
    }
    std::atomic<int> runs{0};
};

TEST(ThreadTest, WorkerThatClearsItsFlagCanBeStartedAgain) {
    SelfEndingWorker worker;
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return !worker.running(); }));
    ASSERT_EQ(worker.start(), 0);
    ASSERT_TRUE(WaitFor([&] { return worker.runs == 2 && worker.idle(); }));
}

}  // namespace
}  // namespace qarv
