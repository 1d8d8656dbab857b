#pragma once
// A message target that records what is posted to it, for tests. Thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "common/message_target.h"

namespace qarv::test {

struct PostedMessage {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool operator==(const PostedMessage&) const = default;
};

class RecordingMessageTarget : public MessageTarget {
  public:
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
        changed_.notify_all();
    }

    std::vector<PostedMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    // Waits until at least `count` messages have arrived; false on time-out.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PostedMessage> messages_;
};

}  // namespace qarv::test
