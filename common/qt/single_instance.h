#pragma once
// Keeps one running instance of a program per installation folder and user. The first start
// holds the folder's InstanceLock for its whole life and listens on a local socket; a later
// start asks it to show itself and leaves. A start that finds the holder ending (no longer
// listening) waits for the lock, so that a program ended and restarted at once still runs.
// Made and used on the UI thread (the socket is served by its event loop); ShowRequested
// comes there.

#include <QObject>
#include <memory>
#include <string>

#include "common/qt/instance_lock.h"

class QLocalServer;
class QLocalSocket;

namespace qarv {

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    enum AcquireResult {
        kOwner = 0,         // this process is the instance
        kHandedOver = 1,    // the running instance was asked to show itself and said it did
        kUnavailable = -1,  // no lock can be made here; the caller decides whether to run
        kBusy = -2,         // another process holds the lock, and neither answered nor ended in time
    };

    // `folder`: the installation folder the instance stands for.
    explicit SingleInstance(const std::string& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the instance, or hands over to the running one, waiting at most `timeoutMs`
    // for an answer or for the lock. Blocks the calling thread meanwhile.
    int Acquire(int timeoutMs);

    // The program is ending: later starts are no longer answered and wait for the lock,
    // which is kept until this object goes.
    void StopListening();

  signals:
    // A later start asked this instance to show itself.
    void ShowRequested();

  private:
    void Listen();
    void Answer(QLocalSocket* socket);

    InstanceLock lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace qarv
