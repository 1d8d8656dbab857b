#include "common/qt/qt_message_target.h"

#include <QCoreApplication>

namespace qarv {

QEvent::Type WindowMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QtMessageTarget::QtMessageTarget(QObject* receiver) : receiver_(receiver) {
    // The receiver announces its end before Qt discards its pending events; from then on
    // messages are dropped, as for a window that is gone.
    watch_ = QObject::connect(
        receiver, &QObject::destroyed, receiver,
        [this] {
            std::lock_guard lock(mutex_);
            receiver_ = nullptr;
        },
        Qt::DirectConnection);
}

QtMessageTarget::~QtMessageTarget() {
    QObject::disconnect(watch_);
}

void QtMessageTarget::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lock(mutex_);
    if (receiver_ == nullptr)
        return;
    QCoreApplication::postEvent(receiver_, new WindowMessageEvent(message, wParam, lParam));
}

}  // namespace qarv
