#pragma once
// Base of every worker thread: start() sets the running flag and starts run() on a new
// thread; stop() clears the flag and waits at most 100 ms for run() to notice. The thread
// is never killed: run() must poll running(). start(), stop() and destruction are called by
// one controlling thread; running() may be read from any thread.
//
// A Thread is never destroyed while its run routine executes: the destructor waits for it
// to return. A derived worker whose run() uses its own members must call Join() in its own
// destructor, because those members are gone before the base destructor runs.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace qarv {

class Runnable {
  public:
    virtual ~Runnable();
    virtual void run() = 0;
};

class Thread : public Runnable {
  public:
    Thread();
    // The thread runs target->run() instead of run(); the Thread owns the target.
    explicit Thread(std::unique_ptr<Runnable> target);
    ~Thread() override;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    void run() override {}

    // Starts the thread unless it is running. A previous run routine that has not yet
    // returned (after a stop() that timed out) is waited for first, so two run routines
    // of one object never overlap. Returns 0, or -1 if no thread could be created.
    int start();

    // Clears the running flag and waits at most 100 ms for the run routine to return.
    virtual void stop();

    bool running() const { return running_.load(); }
    // True while no run routine executes (before start and after run() returned).
    bool idle() const;
    std::thread::id threadId() const;

  protected:
    // The worker's own run() may clear the flag at its end to return to idle by itself.
    void SetRunning(bool running) { running_.store(running); }
    // Waits until the run routine has returned and releases the thread.
    void Join();

  private:
    static constexpr int kStopWaitMs = 100;
    void Entry();

    std::unique_ptr<Runnable> target_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool active_ = false;  // a run routine executes; guarded by mutex_
};

}  // namespace qarv
