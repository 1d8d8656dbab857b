#include "common/qt/single_instance.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace qarv {
namespace {

constexpr char kShowRequest[] = "show\n";
constexpr char kShownReply[] = "shown\n";
constexpr qint64 kMaxRequestBytes = 64;
// How often a waiting start looks at the lock again.
constexpr int kStepMs = 50;

}  // namespace

SingleInstance::SingleInstance(const std::string& folder, QObject* parent) : QObject(parent), lock_(folder) {}

SingleInstance::~SingleInstance() = default;

int SingleInstance::Acquire(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const QString name = QString::fromStdString(lock_.SocketName());
    QLocalSocket running;
    for (;;) {
        const int lock = lock_.TryTake();
        if (lock == InstanceLock::kTaken) {
            Listen();
            return kOwner;
        }
        if (lock != InstanceLock::kHeld)
            return kUnavailable;
        if (deadline.hasExpired())
            return kBusy;
        if (running.state() != QLocalSocket::ConnectedState) {
            // Not listening (yet, or any more): the holder is starting or ending.
            running.abort();
            running.connectToServer(name);
            if (!running.waitForConnected(kStepMs) || running.write(kShowRequest) < 0 || !running.flush()) {
                QThread::msleep(kStepMs);
                continue;
            }
        }
        // Ends on the answer, when the holder drops the connection, or after a step.
        if (running.waitForReadyRead(kStepMs) && running.canReadLine() && running.readLine() == kShownReply)
            return kHandedOver;
    }
}

void SingleInstance::StopListening() {
    // Also drops connections not answered yet: their senders then wait for the lock.
    server_.reset();
}

void SingleInstance::Listen() {
    const QString name = QString::fromStdString(lock_.SocketName());
    // A socket file still there was left by an instance that was killed: the lock is ours.
    QLocalServer::removeServer(name);
    // The socket lies in a folder only this user can enter, so it needs no access options
    // of its own.
    auto server = std::make_unique<QLocalServer>();
    if (!server->listen(name))
        return;  // later starts then find no answer and wait for the lock
    connect(server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Answer(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    server_ = std::move(server);
}

void SingleInstance::Answer(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestBytes)
            socket->abort();
        return;
    }
    if (socket->readLine(kMaxRequestBytes) != kShowRequest) {
        socket->abort();
        return;
    }
    emit ShowRequested();
    socket->write(kShownReply);
    socket->disconnectFromServer();  // once the answer is out
}

}  // namespace qarv
