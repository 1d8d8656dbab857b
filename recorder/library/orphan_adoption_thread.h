#pragma once
// The start-up worker that takes the recordings no catalogue entry holds into the catalogue
// (OrphanRecordings) and posts WM_VIDEO_ADDED to the catalogue's window after each. start(),
// stop() and destruction are called on one controlling thread (the UI thread); stop() asks
// the worker to end after its current step, the destructor waits for it.

#include <memory>

#include "common/message_target.h"
#include "common/thread.h"

namespace qarv {

class QarvFileManagement;

class OrphanAdoptionThread : public Thread {
  public:
    // `catalogueWindow` may be null: nothing is posted then.
    OrphanAdoptionThread(std::shared_ptr<QarvFileManagement> catalogue, MessageTargetPtr catalogueWindow);
    ~OrphanAdoptionThread() override;

    void run() override;

  private:
    const std::shared_ptr<QarvFileManagement> catalogue_;
    const MessageTargetPtr catalogueWindow_;
};

}  // namespace qarv
