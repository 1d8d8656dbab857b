#include "common/thread.h"

#include <chrono>
#include <system_error>

namespace qarv {

Runnable::~Runnable() = default;

Thread::Thread() = default;

Thread::Thread(std::unique_ptr<Runnable> target) : target_(std::move(target)) {}

Thread::~Thread() {
    Thread::stop();
    Join();
}

int Thread::start() {
    if (running_.load())
        return 0;
    Join();
    running_.store(true);
    {
        std::lock_guard lock(mutex_);
        active_ = true;
    }
    try {
        thread_ = std::thread(&Thread::Entry, this);
    } catch (const std::system_error&) {
        running_.store(false);
        std::lock_guard lock(mutex_);
        active_ = false;
        return -1;
    }
    return 0;
}

void Thread::stop() {
    if (!running_.exchange(false))
        return;
    std::unique_lock lock(mutex_);
    const bool ended =
        ended_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [this] { return !active_; });
    lock.unlock();
    // A routine that ended is released now; one still busy is joined by the next start()
    // or by the destructor.
    if (ended && thread_.joinable())
        thread_.join();
}

bool Thread::idle() const {
    std::lock_guard lock(mutex_);
    return !active_;
}

std::thread::id Thread::threadId() const {
    return thread_.get_id();
}

void Thread::Join() {
    if (!thread_.joinable())
        return;
    // A worker that ends its own object cannot wait for itself; it returns right after.
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void Thread::Entry() {
    if (target_) {
        target_->run();
    } else {
        run();
    }
    std::lock_guard lock(mutex_);
    active_ = false;
    ended_.notify_all();
}

}  // namespace qarv
