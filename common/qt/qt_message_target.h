#pragma once
// The window side of a message target: post() turns a message into a WindowMessageEvent
// posted to a QObject, which receives it on its own thread. A receiver that has been
// destroyed drops the message. post() is thread-safe.

#include <QEvent>
#include <QObject>
#include <mutex>

#include "common/message_target.h"

namespace qarv {

class WindowMessageEvent : public QEvent {
  public:
    static QEvent::Type EventType();

    WindowMessageEvent(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

    unsigned message() const { return message_; }
    std::uintptr_t wParam() const { return wParam_; }
    std::intptr_t lParam() const { return lParam_; }

  private:
    unsigned message_;
    std::uintptr_t wParam_;
    std::intptr_t lParam_;
};

// Made and destroyed on the receiver's thread.
class QtMessageTarget : public MessageTarget {
  public:
    explicit QtMessageTarget(QObject* receiver);
    ~QtMessageTarget() override;
    void post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

  private:
    std::mutex mutex_;
    QObject* receiver_;  // null once the receiver is being destroyed; guarded by mutex_
    QMetaObject::Connection watch_;
};

}  // namespace qarv
