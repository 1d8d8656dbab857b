#pragma once
// Turns the system's polite requests to end the program (SIGTERM, SIGINT, SIGHUP on this
// platform) into a Qt signal on the UI thread, so that the program closes its windows and
// finishes a running recording instead of dying in the middle of it.
// Made and used on the UI thread; one instance at a time.

#include <QObject>
#include <memory>

namespace qarv {

class TerminationWatcher : public QObject {
    Q_OBJECT

  public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

    // False when the signals could not be taken over; they then keep their default action.
    bool IsWatching() const;

  signals:
    void TerminationRequested();

  private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
};

}  // namespace qarv
