#include "recorder/library/orphan_adoption_thread.h"

#include "common/messages.h"
#include "recorder/library/orphan_recordings.h"

namespace qarv {

OrphanAdoptionThread::OrphanAdoptionThread(std::shared_ptr<QarvFileManagement> catalogue,
                                           MessageTargetPtr catalogueWindow)
    : catalogue_(std::move(catalogue)), catalogueWindow_(std::move(catalogueWindow)) {}

OrphanAdoptionThread::~OrphanAdoptionThread() {
    stop();
    Join();  // run() uses the members above
}

void OrphanAdoptionThread::run() {
    OrphanRecordings orphans(*catalogue_);
    orphans.AdoptAll([this] { return running(); },
                     [this] {
                         if (catalogueWindow_)
                             catalogueWindow_->post(WM_VIDEO_ADDED, 0, 0);
                     });
    SetRunning(false);  // done: idle again without a stop()
}

}  // namespace qarv
