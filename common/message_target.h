#pragma once
// Where a worker posts its window messages. post() is asynchronous and may be called
// from any thread; a target whose window is gone drops the message.

#include <cstdint>
#include <memory>

namespace qarv {

class MessageTarget {
  public:
    virtual ~MessageTarget();
    virtual void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

using MessageTargetPtr = std::shared_ptr<MessageTarget>;

}  // namespace qarv
