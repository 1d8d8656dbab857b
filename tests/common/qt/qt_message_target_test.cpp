#include "common/qt/qt_message_target.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

#include "common/messages.h"

namespace qarv {
namespace {

class Receiver : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() != WindowMessageEvent::EventType())
            return QObject::event(event);
        const auto* message = static_cast<WindowMessageEvent*>(event);
        received.push_back({message->message(), message->wParam(), message->lParam()});
        receivedOnThread = QThread::currentThread();
        return true;
    }
    struct Entry {
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    std::vector<Entry> received;
    QThread* receivedOnThread = nullptr;
};

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "common_qt_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

TEST(QtMessageTargetTest, MessagesFromAWorkerArriveInOrderOnTheReceiversThread) {
    App();
    Receiver receiver;
    auto target = std::make_shared<QtMessageTarget>(&receiver);
    std::thread worker([target] {
        target->post(WM_RECORD_STATUS, 1, 0);
        target->post(WM_RECORD_STATUS, 0, 0);
        target->post(WM_VIDEO_ADDED, 0, -5);
    });
    worker.join();
    EXPECT_TRUE(receiver.received.empty());  // posted, never sent
    QCoreApplication::processEvents();
    ASSERT_EQ(receiver.received.size(), 3u);
    EXPECT_EQ(receiver.received[0].message, 1025u);
    EXPECT_EQ(receiver.received[0].wParam, 1u);
    EXPECT_EQ(receiver.received[1].wParam, 0u);
    EXPECT_EQ(receiver.received[2].message, 1040u);
    EXPECT_EQ(receiver.received[2].lParam, -5);
    EXPECT_EQ(receiver.receivedOnThread, App().thread());
}

TEST(QtMessageTargetTest, MessagesToADestroyedReceiverAreDropped) {
    App();
    auto receiver = std::make_unique<Receiver>();
    auto target = std::make_shared<QtMessageTarget>(receiver.get());
    target->post(WM_RECORD_STATUS, 1, 0);  // pending when the receiver goes
    receiver.reset();
    target->post(WM_RECORD_STATUS, 0, 0);
    QCoreApplication::processEvents();  // nothing is delivered to freed memory
    SUCCEED();
}

}  // namespace
}  // namespace qarv
